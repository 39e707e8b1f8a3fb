// The start-up's phases, timed as they end on the monotonic clock: the first stage (the start-up call), the
// second stage (the frame that opened the window and made the device), the pre-load mode (to the frame that handed
// over to the load mode), the load mode's loads (to the frame that handed over to the front end) and the first
// front-end frame (its frame returns once the render worker has presented it).
//
// The program's start-up and frame calls go through startUp and tickFrame. With GRINDLOW_STARTUP_TIMES set in the
// environment, each phase's end is written to standard error as it happens:
//   Grindlow start-up: <phase> <microseconds on CLOCK_MONOTONIC>
// so that whoever started the program can take the times from its own clock at the start.
#pragma once

#include "Corvane/System/KvTypes.h"

enum E_STARTUP_PHASE {
  E_STARTUP_PHASE_STAGE1,
  E_STARTUP_PHASE_STAGE2,
  E_STARTUP_PHASE_PRELOAD,
  E_STARTUP_PHASE_LOADS,
  E_STARTUP_PHASE_FIRST_FRAME,
  NUM_E_STARTUP_PHASE
};

// The names the phases are written with: "stage1", "stage2", "preload", "loads", "firstframe".
extern const char* const g_apStartUpPhaseNames[NUM_E_STARTUP_PHASE];

class GAMEStartUpTimes {
 public:
  // Microseconds on CLOCK_MONOTONIC.
  static i64 now();
  // Forgets what was timed; bReport: write each phase's end to standard error.
  void reset(bool bReport);
  // Around the start-up call and around every frame call; the frame's mode and stage are the game's globals.
  void startUpBegins();
  void startUpEnded();
  void frameBegins();
  void frameEnded();
  // The time a phase ended, or -1 while it has not; the start-up's start.
  i64 endOf(E_STARTUP_PHASE ePhase) const { return m_aiEnd[ePhase]; }
  i64 start() const { return m_iStart; }
  // The second stage's own frame: from its start to its end.
  i64 stage2FrameStart() const { return m_iStage2FrameStart; }
  bool done() const { return m_aiEnd[E_STARTUP_PHASE_FIRST_FRAME] >= 0; }

  // The game's entry points with the program's times taken around them.
  static i32 startUp();
  static u32 tickFrame(f32 fDT);

 private:
  void ended(E_STARTUP_PHASE ePhase, i64 iTime);
  bool m_bReport = false;
  i64 m_iStart = -1;
  i64 m_iStage2FrameStart = -1;
  i64 m_iFrameStart = -1;
  u32 m_bInitializedBefore = 0;
  i32 m_eModeBefore = 0;
  i64 m_aiEnd[NUM_E_STARTUP_PHASE] = {-1, -1, -1, -1, -1};
};

// The program's own record, filled by startUp and tickFrame.
extern GAMEStartUpTimes g_startUpTimes;
