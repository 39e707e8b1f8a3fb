// Fuzzes the settings-file parser with arbitrary file contents: bad lines are reported and skipped, never
// a stop of the program.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "Corvane/Development/ClDevINI.h"
#include "Fuzz/FuzzQuiet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  ClDevINI::initialize();
  ClDevINI::loadFromBuffer(pData, uiSize, "project.ini");
  const char* pLang = ClDevINI::getStringValue("LANG");
  volatile uint32_t uiSink = static_cast<uint32_t>(ClDevINI::getInt("FIXED_DT")) +
                             static_cast<uint32_t>(ClDevINI::hasKey("NOGFX")) +
                             static_cast<uint32_t>(ClDevINI::getFloat("KEY3") > 0.0f) +
                             (pLang != nullptr ? static_cast<uint8_t>(pLang[0]) : 0u);
  (void)uiSink;
  ClDevINI::terminate();
  return 0;
}
