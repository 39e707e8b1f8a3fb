#include <cmath>
#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Program/KvProgram.h"
#include "Platform/Win32/Win32Time.h"

i64 ClMainLoop::m_iFrequency = 0;
i64 ClMainLoop::m_iPreviousCounter = 0;
bool ClMainLoop::m_bFirstFrame = true;

namespace {

// The unusable "FIXED_DT" reported last (its line and text), so that it is reported once and not every frame.
i32 s_iReportedFixedLine = 0;
char s_szReportedFixedValue[gc_iINI_VALUE_SIZE] = "";

// The fixed frame time of the settings: true with the value when "FIXED_DT" holds a number of seconds above 0
// and at most gc_fMAX_FIXED_FRAME_TIME. Any other value is a bad line of the settings file: it is reported
// with its line and the measured time stays.
bool fixedFrameTime(f32* pfDT) {
  if (!ClDevINI::mp_bInitialized || !ClDevINI::hasKey("FIXED_DT")) {
    return false;
  }
  const f32 fValue = ClDevINI::getFloat("FIXED_DT");
  if (ClDevINI::getNumberKind("FIXED_DT") != E_INI_NUMBER_NONE && std::isfinite(fValue) && fValue > KV_ZERO &&
      fValue <= gc_fMAX_FIXED_FRAME_TIME) {
    *pfDT = fValue;
    return true;
  }
  const char* pValue = ClDevINI::getStringValue("FIXED_DT");
  const i32 iLine = ClDevINI::getLine("FIXED_DT");
  if (iLine != s_iReportedFixedLine || std::strcmp(pValue, s_szReportedFixedValue) != 0) {
    s_iReportedFixedLine = iLine;
    KvStrLCpy(s_szReportedFixedValue, pValue, sizeof(s_szReportedFixedValue));
    KvPrintProblem("%s(%d): FIXED_DT [%s] is not a frame time in seconds above 0 and at most %g; the measured "
                   "frame time is used",
                   ClDevINI::getFileName(), iLine, pValue, static_cast<double>(gc_fMAX_FIXED_FRAME_TIME));
  }
  return false;
}

}  // namespace

void ClMainLoop::readFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  m_iFrequency = frequency.QuadPart;
}

bool ClMainLoop::tick() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  KV_ASSERT(m_iFrequency > 0);
  f32 fDT = static_cast<f32>(counter.QuadPart - m_iPreviousCounter) * (1.0f / static_cast<f32>(m_iFrequency));
  m_iPreviousCounter = counter.QuadPart;
  if (m_bFirstFrame) {
    fDT = 0.016f;
    m_bFirstFrame = false;
  }
  fixedFrameTime(&fDT);
  KV_ASSERT(fDT > KV_ZERO);
  return KvGetProgramGameHooks().tickFrame(fDT) != 0;
}

i32 ClMainLoop::pump() {
  // A frame's problem lines are said at its end, each once (see ClProblemHold).
  const ClProblemHold hold;
  const i32 iStep = ClGraphics::processMessages();
  if (iStep == gc_iPUMP_FRAME_DUE) {
    return tick() ? 1 : 0;
  }
  return iStep;
}

void ClMainLoop::reset() {
  m_iPreviousCounter = 0;
  m_bFirstFrame = true;
}
