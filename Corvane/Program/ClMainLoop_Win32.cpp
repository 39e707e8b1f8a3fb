#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Program/KvProgram.h"
#include "Platform/Win32/Win32Time.h"

i64 ClMainLoop::m_iFrequency = 0;
i64 ClMainLoop::m_iPreviousCounter = 0;
bool ClMainLoop::m_bFirstFrame = true;

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
  if (ClDevINI::mp_bInitialized && ClDevINI::hasKey("FIXED_DT")) {
    fDT = ClDevINI::getFloat("FIXED_DT");
  }
  KV_ASSERT(fDT > KV_ZERO);
  return KvGetGameEntryPoints().pfnTickFrame(fDT) != 0;
}

void ClMainLoop::reset() {
  m_iPreviousCounter = 0;
  m_bFirstFrame = true;
}
