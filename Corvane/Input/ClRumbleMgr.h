// Pad rumble: one vibration envelope at a time, played on all four pads. The envelope ramps up, holds and
// ramps down, each phase timed by a gameplay-clock timer (so it follows game time: it stands still while the
// game's time scale is 0), with a fixed strength for each of the two motors. Starting again restarts it.
//
// Rumble is a development option: start and tick do nothing unless the development setting "ENABLE_RUMBLE"
// is above 0 at initialize. stopAll silences the pads whatever the setting and ends the envelope, so a pause
// stays quiet until the next start. Motors keep the last level sent until another is sent. Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

struct SClockTimer;

// Envelope: times in seconds, strengths 0..1.
struct SRumbleEnvelope {
  i32 mp_iKind;                  // 5 in the preset; not read
  f32 mp_fRampUpTime;
  f32 mp_fHoldTime;
  f32 mp_fRampDownTime;
  f32 mp_fHighFrequencyStrength;  // sent as wRightMotorSpeed
  f32 mp_fLowFrequencyStrength;   // sent as wLeftMotorSpeed
};

enum E_RUMBLE_PHASE : u32 {
  E_RUMBLE_PHASE_OFF = 0,
  E_RUMBLE_PHASE_RAMP_UP = 1,
  E_RUMBLE_PHASE_HOLD = 2,
  E_RUMBLE_PHASE_RAMP_DOWN = 3,
};

class ClRumbleMgr {
 public:
  // Motors of the 4 pads to 0, no timer, phase off; enabled when "ENABLE_RUMBLE" exists and is above 0.
  static void initialize();
  // Releases the phase timer, phase off, motors to 0.
  static void terminate();
  // Starts the preset envelope from its ramp up (nothing when disabled).
  static void startRumble();
  // Advances the phases and sends the strengths of the current phase; once per game frame.
  static void tick();
  // Motors of the 4 pads to 0 whatever the enabled flag, and the envelope ends (timer released, phase off).
  static void stopAll();
  // Sends the two strengths (each clamped to 0..1) to every pad while enabled.
  static void setMotors(f32 fHighFrequency, f32 fLowFrequency);

  static const SRumbleEnvelope mp_preset;

  static u32 mp_bEnabled;
  static u32 mp_uiPhase;  // E_RUMBLE_PHASE
  static SClockTimer* mp_pPhaseTimer;
  static SRumbleEnvelope mp_activeEnvelope;

 private:
  // XInputSetState of both motors on pads 0..3 (called with the enabled check done by the caller).
  static void sendToAllPads(f32 fHighFrequency, f32 fLowFrequency);
};
