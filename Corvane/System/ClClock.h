// The engine's two clocks and the countdown timers and stopwatches that run on them.
//
// Clock 0 is the system clock: it advances by the real frame time. Clock 1 is the gameplay clock: it advances
// by the frame time clamped to 0.15 s and multiplied by the time scale (float game state 1), so slow motion,
// pauses and long hitches affect play but not the user interface. The game's clock tick writes both frame
// records once per game frame and then calls updateTimers. All times are seconds.
//
// Main thread only. Timers are owned by whoever created them: a timer that has run out stays in use with 0
// remaining until its owner releases it.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/KvTypes.h"

inline constexpr u32 gc_uiCLOCK_SYSTEM = 0;
inline constexpr u32 gc_uiCLOCK_GAMEPLAY = 1;
inline constexpr u32 gc_uiNUM_CLOCKS = 2;
inline constexpr i32 gc_iMAX_TIMERS = 1024;
inline constexpr i32 gc_iMAX_STOPWATCHES = 128;

// What one clock did in the current game frame. Readable by everyone.
struct SClockFrame {
  f32 m_fFrameTime = 0.0f;  // seconds this clock advanced in the current frame
  u32 m_uiUnused = 0;
  f64 m_dTotalTime = 0.0;  // sum of all frame times since start
};

// A countdown timer; callers read m_fRemaining directly (0 = run out).
struct SClockTimer {
  f32 m_fDuration = 0.0f;
  f32 m_fRemaining = 0.0f;
  u32 m_uiClockIndex = gc_uiCLOCK_GAMEPLAY;
};

// A stopwatch counts up by its clock's frame time while running. The pool is offered; the engine itself
// creates none.
struct SClockStopwatch {
  f32 m_fElapsed = 0.0f;
  u32 m_uiClockIndex = gc_uiCLOCK_GAMEPLAY;
  u32 m_bRunning = 0;
};

class ClClock {
 public:
  // Lays both pools out again (empty) and sets mp_bIsInitialized. Game start-up.
  static void initialize();
  // Releases every timer and stopwatch and clears mp_bIsInitialized. Game shutdown.
  static void shutdown();

  // A timer on the gameplay clock with duration and remaining set to fSeconds. "Out of timers!" when all
  // 1024 are in use.
  static SClockTimer* createTimer(f32 fSeconds);
  // Resets the timer and gives it back; null is ignored, releasing twice is an assertion.
  static void releaseTimer(SClockTimer* pTimer);
  static void releaseAllTimers();
  static void releaseAllStopwatches();
  // Advances every timer and running stopwatch by its clock's current frame time. Once per game frame,
  // right after the frame records are written.
  static void updateTimers();
  // Advances a clock by one frame: its frame time becomes fFrameTime and its total time grows by it. The
  // game's clock tick, once per game frame and clock.
  static void advanceFrame(u32 uiClock, f32 fFrameTime);
  // Stops a clock for the rest of the current frame: its frame time becomes 0 (its total keeps the advance).
  static void holdFrame(u32 uiClock);

  static bool mp_bIsInitialized;
  static SClockFrame m_aClockFrames[gc_uiNUM_CLOCKS];
  static ClPool<SClockTimer, gc_iMAX_TIMERS> m_timerPool;
  static ClPool<SClockStopwatch, gc_iMAX_STOPWATCHES> m_stopwatchPool;
};
