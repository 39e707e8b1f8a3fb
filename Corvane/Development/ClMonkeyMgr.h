// The random-input tester: plays the game by itself. While it runs, the input hardware layer reads no device
// and the tester writes pad record 0 instead (pad records 1-3 stay zero, key states keep their last values):
// it presses pad buttons, moves the sticks and the d-pad, and moves and clicks the pointer, at random but
// shaped by the data script "monkey":
//
//   root      schemes by name ("Scheme_UI", "Scheme_InGame")
//   scheme    array of program sets
//   set       "Weight" FLOAT > 0.0001, "Duration" number (s), "Programs" array
//   program   "Buttons" array, "TimeBetweenPresses" number (s; a FLOAT "Min" child, the gap between
//             repetitions, when a button has "Repetitions"), "TimeHeld" number (s),
//             "AllowButtonPressOverlap" "yes" / "no", optional "Pointer"
//   pointer   "TimeBetweenMoves" number (s), "MoveLengths" number (pointer units), and
//             "FractionOfProgramSetTimeToSnapToDetectors" FLOAT 0..1
//   button    an input name (STRING or HASH_ID), or an array [name, optional "Weight" FLOAT (1.0 when absent),
//             optional "Repetitions" array of INT press counts, one chosen uniformly]
//
// A "number" is a FLOAT or INT node or a {"Min", "Max"} range read with a fresh random value. Input names:
// "A" "B" "X" "Y" "LB" "RB" "LTRIG" "RTRIG" "DPAD" "LA" "RA" "SELECT" "START" "P1" "P2". The tester writes
// "TimeLeftToProgramSet" into the running set and "TimeUntilNextButtonPress" into its programs (in the cached
// script tree). Every random value comes from the engine's generator in a fixed order, so a fixed seed
// replays a run exactly.
//
// The pointer lives in the unit square (0..1 both ways, the whole screen); while a set runs it first walks
// at random for the set's free fraction of its duration, then jumps between the centres of the UI's pointer
// detectors (read through a ClMonkeyPointerDetectors source; the rectangles are in the same unit square).
//
// A malformed script is an assertion or a fatal error; there is no recovery. Main thread only.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

class ClDScriptData2;

struct SMonkeyButtonPress {
  i32 mp_iInputCode;  // first pad-record index of the input (DPAD 14, LA 17, RA 19)
  i32 mp_iRepetitionsLeft;
  f32 mp_fGap;        // seconds released between repetitions
  u32 mp_uiPhase;     // 0 held, 1 released
  f32 mp_fTimeHeld;   // seconds
  f32 mp_fTimer;      // seconds left in the phase
  f32 mp_fDirectionX;
  f32 mp_fDirectionY;
};

// The UI's pointer detectors, read to aim the pointer. Default: none.
class ClMonkeyPointerDetectors {
 public:
  virtual ~ClMonkeyPointerDetectors() = default;
  virtual i32 getDetectorCount() { return 0; }
  // The rectangle of detector i (0 <= i < count).
  virtual void getDetectorRect(i32 iDetector, f32* pLeft, f32* pTop, f32* pRight, f32* pBottom) {
    (void)iDetector;
    *pLeft = *pTop = *pRight = *pBottom = KV_ZERO;
  }
};

class ClMonkeyMgr {
 public:
  // Creates the press vector; pointer at (0, 0), no pointer program, no movement.
  static void initialize();
  // Frees the press vector; the tester stops.
  static void terminate();
  // Runs (or switches to) scheme pSchemeName of the script pScriptName ("Could not find monkey script [%s]"
  // when the script cannot be had).
  static void start(const char* pScriptName, const char* pSchemeName);
  // Runs scheme pSchemeName of a script tree the caller already has.
  static void startScheme(ClDScriptData2* pScript, const char* pSchemeName);
  // Picks the next program set of the current scheme by weight and starts its programs.
  static void setupProgramSet();
  // One tick, by the system clock's frame time: called by the hardware layer instead of reading devices,
  // after the pad records were zeroed.
  static void tick();

  static bool isRunning() { return mp_pCurrentScheme != nullptr; }

  // Installs the detector source (not owned); null restores "no detectors".
  static void setPointerDetectors(ClMonkeyPointerDetectors* pDetectors);

  static ClDScriptData2* mp_pCurrentScheme;  // null while the tester is off
  static ClDScriptData2* mp_pCurrentProgramSet;
  static ClDScriptData2* mp_pPointerProgram;
  static ClDynamicVector<SMonkeyButtonPress> mp_daActivePresses;
  static f32 mp_fMoveTimer;          // seconds; the largest float means no pointer movement
  static f32 mp_fFreeMovementTime;   // seconds
  static kv_vector2 mp_vPointerPosition;
};
