// The pad tester, a development aid for soak tests: it feeds random presses into logical pad 0's record and
// wanders the pointer, so the game runs unattended through its menus; the game's mappers turn its presses into
// actions as they would a player's. On when the development setting "PAD_MONKEY" is above 0 as the input layer
// starts (ClGAMEInputHooks).
//
// Each press is a sequence (a pool of 32; a 33rd at once is an assertion "pSeq"): a slot held for a hold time,
// released for the between time, repeated a number of times; one-shot sequences last one applied frame. A new
// sequence starts when the previous batch's time has passed, on a slot drawn by weight (built in: only the two
// mouse buttons, left 10 shares to right 3). The pointer moves every 0.05 s: of each thirty moves, the nineteen
// before the last jump to the centre of a clickable widget (a widget's pointer detector) drawn at random, the
// others are random steps. Tuned by "PAD_MONKEY_BETWEEN_TIME" (seconds, 0.05),
// "PAD_MONKEY_DIGITAL_MIN_HOLD"/"_MAX_HOLD" (0.03/0.03), "PAD_MONKEY_DIGITAL_MIN_REPS"/"_MAX_REPS" (1/5),
// "PAD_MONKEY_ANALOG_MIN_HOLD"/"_MAX_HOLD" (0.075/0.075), "PAD_MONKEY_ANALOG_MIN_REPS"/"_MAX_REPS" (1/1): a time
// counts when above 0, a count when 1 or more; a minimum above its maximum is swapped with it.
//
// Times are clock 0's real frame time. Draws come from the engine's generator. Main thread, inside the input
// layer's tick.
#pragma once

#include "Corvane/Input/ClInputHWtoKv.h"

struct SPointerDetector;

struct SPadMonkeyControl {
  u32 m_uiKind;   // 0 digital, 1 analog
  u32 m_bOneShot;
  i32 m_iMinReps;
  i32 m_iMaxReps;
  f32 m_fMinHold;  // seconds
  f32 m_fMaxHold;
};

struct SPadMonkeySequence {
  i32 m_iSlot;
  f32 m_fValue;  // +1, or +-1 for analog slots
  f32 m_fHoldTime;
  f32 m_fBetweenTime;
  u32 m_bPressed;
  f32 m_fCountdown;
  i32 m_iRepsLeft;
  u32 m_bOneShot;
  u32 m_bInUse;
};

inline constexpr i32 gc_iPAD_MONKEY_SEQUENCES = 32;

class GAMEPadTester final {
 public:
  // Reads the settings and builds the tables.
  void init();
  void tick();
  // The sequences running now.
  i32 getActiveCount() const;

  SPadMonkeyControl m_aControls[gc_iPAD_STATE_FLOATS] = {};
  i32 m_aiWeights[gc_iPAD_STATE_FLOATS] = {};
  SPadMonkeySequence m_aSequences[gc_iPAD_MONKEY_SEQUENCES] = {};
  f32 m_fBetweenTime = 0.05f;
  f32 m_fNewSequenceCountdown = 0.0f;
  f32 m_fTimeFactor = 1.0f;
  f32 m_fPointerCountdown = 0.0f;
  i32 m_iPointerSteps = 30;
  f32 m_fPointerX = 0.0f;
  f32 m_fPointerY = 0.0f;
  bool m_bTicked = false;

 private:
  void startSequence();
  void wanderPointer(f32 fDT);
  // A pointer detector of a widget (the UI's clickable widgets, rectangles in screen fractions) drawn
  // uniformly; null when there is none.
  static const SPointerDetector* randomClickableWidget();
};

extern GAMEPadTester g_GAMEPadTester;
