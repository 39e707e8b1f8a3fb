// Fuzzes the settings-file parser with arbitrary file contents: bad lines are reported and skipped, never
// a stop of the program.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "Corvane/Development/ClDevINI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  static const bool bQuiet = [] {
    // The bad-line reports would flood the fuzzer's output: they go to a stream of their own. The fuzzer
    // keeps its own handle on the error output, and sanitizer reports write to the descriptor directly.
    if (std::FILE* pNull = std::fopen("/dev/null", "w")) {
      stderr = pNull;
    }
    return true;
  }();
  (void)bQuiet;
  ClDevINI::initialize();
  ClDevINI::loadFromBuffer(pData, uiSize, "project.ini");
  volatile int32_t iSink = ClDevINI::getInt("FIXED_DT") + ClDevINI::hasKey("NOGFX") +
                           static_cast<int32_t>(ClDevINI::getFloat("KEY3"));
  const char* pLang = ClDevINI::getStringValue("LANG");
  iSink = iSink + (pLang != nullptr ? pLang[0] : 0);
  (void)iSink;
  ClDevINI::terminate();
  return 0;
}
