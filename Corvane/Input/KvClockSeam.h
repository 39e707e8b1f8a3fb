// Temporary: timers and frame times come from ClClock; until that class is in the tree timers never run
// and frame times read 0.
#pragma once

#if __has_include("Corvane/System/ClClock.h")
#include "Corvane/System/ClClock.h"
#else
#include "Corvane/System/KvTypes.h"
struct SClockTimer {
  f32 mp_fDuration;
  f32 mp_fRemaining;
  u32 mp_uiClockIndex;
  i32 mp_iPoolIndex;
};
class ClClock {
 public:
  static SClockTimer* createTimer(f32 fDuration) { return new SClockTimer{fDuration, fDuration, 1, 0}; }
  static void releaseTimer(SClockTimer* pTimer) { delete pTimer; }
  static f32 getFrameTime(u32) { return KV_ZERO; }
};
#endif
