// The main loop's frame step: measures the frame time with the performance counter and runs one game frame.
//
// Main thread only. The game's start-up reads the counter frequency into m_iFrequency before the first tick.
// The first frame always counts as 0.016 s; the development setting "FIXED_DT", when present, replaces the
// measured time on every frame. A "FIXED_DT" that is not a number of seconds above 0 and at most
// gc_fMAX_FIXED_FRAME_TIME ("abc", "0", "-1", "nan") is reported once with its line, and the measured time is
// used. A measured frame time that is not positive is an assertion.
#pragma once

#include "Corvane/System/KvTypes.h"

// The longest frame time "FIXED_DT" may set, in seconds.
inline constexpr f32 gc_fMAX_FIXED_FRAME_TIME = 60.0f;

class ClMainLoop {
 public:
  // Counts per second of the performance counter.
  static i64 m_iFrequency;
  // Counter value at the previous tick (0 before the first).
  static i64 m_iPreviousCounter;
  // Set until the first tick.
  static bool m_bFirstFrame;

  // Reads the counter frequency (the game's start-up does this once).
  static void readFrequency();
  // One frame: true to keep running, false when the game frame asked to quit.
  static bool tick();
  // One step of the run loop: ClGraphics::processMessages, and the frame it finds due. 0 on WM_QUIT or when the
  // frame asked to end, else 1.
  static i32 pump();
  // Back to the state before the first tick (for a new run of the program body in tests).
  static void reset();
};
