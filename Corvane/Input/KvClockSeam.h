// Temporary: timers and frame times come from ClClock; until that class is in the tree timers never run
// and frame times read 0.
#pragma once

#if __has_include("Corvane/System/ClClock.h")
#include "Corvane/System/ClClock.h"
#else
#include "Corvane/System/KvTypes.h"
inline constexpr u32 gc_uiCLOCK_SYSTEM = 0;
inline constexpr u32 gc_uiNUM_CLOCKS = 2;
struct SClockFrame {
  f32 m_fFrameTime = 0.0f;
  u32 m_uiUnused = 0;
  f64 m_dTotalTime = 0.0;
};
struct SClockTimer {
  f32 m_fDuration = 0.0f;
  f32 m_fRemaining = 0.0f;
  u32 m_uiClockIndex = 1;
};
class ClClock {
 public:
  static SClockTimer* createTimer(f32 fSeconds) { return new SClockTimer{fSeconds, fSeconds, 1}; }
  static void releaseTimer(SClockTimer* pTimer) { delete pTimer; }
  static inline SClockFrame m_aClockFrames[gc_uiNUM_CLOCKS];
};
#endif
