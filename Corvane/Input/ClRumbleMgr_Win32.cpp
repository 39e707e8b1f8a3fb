#include <algorithm>

#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/Input/ClRumbleMgr.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/DInput/XInput.h"

// Only the low-frequency motor, at full strength: 0.2 s, then a fade over 0.1 s.
const SRumbleEnvelope ClRumbleMgr::mp_preset = {5, 0.0f, 0.2f, 0.1f, 0.0f, 1.0f};

u32 ClRumbleMgr::mp_bEnabled = 0;
u32 ClRumbleMgr::mp_uiPhase = E_RUMBLE_PHASE_OFF;
SClockTimer* ClRumbleMgr::mp_pPhaseTimer = nullptr;
SRumbleEnvelope ClRumbleMgr::mp_activeEnvelope = {};

namespace {

WORD motorSpeed(f32 fStrength) { return static_cast<WORD>(std::clamp(fStrength, KV_ZERO, KV_ONE) * 65535.0f); }

void releasePhaseTimer() {
  if (ClRumbleMgr::mp_pPhaseTimer != nullptr) {
    ClClock::releaseTimer(ClRumbleMgr::mp_pPhaseTimer);
    ClRumbleMgr::mp_pPhaseTimer = nullptr;
  }
}

}  // namespace

void ClRumbleMgr::sendToAllPads(f32 fHighFrequency, f32 fLowFrequency) {
  for (i32 iControllerIndex = 0; iControllerIndex < static_cast<i32>(cuiMAX_GAME_PADS); ++iControllerIndex) {
    KV_ASSERT_MSG(iControllerIndex >= 0 && static_cast<u32>(iControllerIndex) < cuiMAX_GAME_PADS,
                  "iControllerIndex >= 0 && (kv_uint)iControllerIndex < cuiMAX_GAME_PADS");
    XINPUT_VIBRATION vibration{};
    vibration.wLeftMotorSpeed = motorSpeed(fLowFrequency);
    vibration.wRightMotorSpeed = motorSpeed(fHighFrequency);
    // A pad that is not connected ignores the call.
    XInputSetState(static_cast<DWORD>(iControllerIndex), &vibration);
  }
}

void ClRumbleMgr::initialize() {
  sendToAllPads(KV_ZERO, KV_ZERO);
  mp_pPhaseTimer = nullptr;
  mp_uiPhase = E_RUMBLE_PHASE_OFF;
  mp_bEnabled = ClDevINI::hasKey("ENABLE_RUMBLE") && ClDevINI::getFloat("ENABLE_RUMBLE") > KV_ZERO ? 1 : 0;
}

void ClRumbleMgr::terminate() {
  releasePhaseTimer();
  mp_uiPhase = E_RUMBLE_PHASE_OFF;
  sendToAllPads(KV_ZERO, KV_ZERO);
}

void ClRumbleMgr::startRumble() {
  if (!mp_bEnabled) {
    return;
  }
  mp_activeEnvelope = mp_preset;
  releasePhaseTimer();
  mp_uiPhase = E_RUMBLE_PHASE_RAMP_UP;
  mp_pPhaseTimer = ClClock::createTimer(mp_activeEnvelope.mp_fRampUpTime);
}

void ClRumbleMgr::stopAll() {
  sendToAllPads(KV_ZERO, KV_ZERO);
  // The envelope ends too: otherwise the next tick would send its strength again (a pause would vibrate).
  releasePhaseTimer();
  mp_uiPhase = E_RUMBLE_PHASE_OFF;
}

void ClRumbleMgr::setMotors(f32 fHighFrequency, f32 fLowFrequency) {
  if (mp_bEnabled) {
    sendToAllPads(fHighFrequency, fLowFrequency);
  }
}

void ClRumbleMgr::tick() {
  if (!mp_bEnabled || mp_pPhaseTimer == nullptr) {
    return;
  }
  if (mp_pPhaseTimer->m_fRemaining == KV_ZERO) {
    releasePhaseTimer();
    switch (mp_uiPhase) {
      case E_RUMBLE_PHASE_RAMP_UP:
        mp_pPhaseTimer = ClClock::createTimer(mp_activeEnvelope.mp_fHoldTime);
        mp_uiPhase = E_RUMBLE_PHASE_HOLD;
        break;
      case E_RUMBLE_PHASE_HOLD:
        mp_pPhaseTimer = ClClock::createTimer(mp_activeEnvelope.mp_fRampDownTime);
        mp_uiPhase = E_RUMBLE_PHASE_RAMP_DOWN;
        break;
      case E_RUMBLE_PHASE_RAMP_DOWN:
        mp_uiPhase = E_RUMBLE_PHASE_OFF;
        setMotors(KV_ZERO, KV_ZERO);
        break;
      default:
        break;
    }
  }

  // Fraction of the current phase still to run.
  f32 f = KV_ZERO;
  if (mp_pPhaseTimer != nullptr && mp_pPhaseTimer->m_fDuration > KV_ZERO) {
    f = mp_pPhaseTimer->m_fRemaining / mp_pPhaseTimer->m_fDuration;
  }
  const f32 fHigh = mp_activeEnvelope.mp_fHighFrequencyStrength;
  const f32 fLow = mp_activeEnvelope.mp_fLowFrequencyStrength;
  switch (mp_uiPhase) {
    case E_RUMBLE_PHASE_OFF:
      setMotors(KV_ZERO, KV_ZERO);
      break;
    case E_RUMBLE_PHASE_RAMP_UP:
      setMotors((KV_ONE - f) * fHigh, (KV_ONE - f) * fLow);
      break;
    case E_RUMBLE_PHASE_HOLD:
      setMotors(fHigh, fLow);
      break;
    case E_RUMBLE_PHASE_RAMP_DOWN:
      setMotors(f * fHigh, f * fLow);
      break;
    default:
      break;
  }
}
