#include "Corvane/Input/ClInputMapperDebugCamera.h"

#include <algorithm>

#include "Corvane/Input/ClInputManager.h"

namespace {

f32 aboveHalf(f32 fValue) { return fValue > 0.5f ? KV_ONE : KV_ZERO; }

}  // namespace

void ClInputMapperDebugCamera::process(u8 uiPlayerIndex) {
  const f32* pPad = ClInputManager::getPadState(uiPlayerIndex).mp_afInputs;
  const u8 uiFrame = ClInputManager::m_uiCurInputFrame;
  auto add = [uiFrame](i32 iAction, f32 fValue) {
    ClInputManager::m_aDebugCameraActions[iAction].mp_afValues[uiFrame] += fValue;
  };
  const f32 fLeftX = pPad[E_PAD_INPUT_LEFT_STICK_X];
  const f32 fLeftY = pPad[E_PAD_INPUT_LEFT_STICK_Y];
  add(0, -std::clamp(fLeftX, -KV_ONE, KV_ZERO));
  add(1, std::clamp(fLeftX, KV_ZERO, KV_ONE));
  add(2, aboveHalf(pPad[E_PAD_INPUT_DPAD_UP]));
  add(3, aboveHalf(pPad[E_PAD_INPUT_DPAD_DOWN]));
  add(4, std::clamp(fLeftY, KV_ZERO, KV_ONE));
  add(5, -std::clamp(fLeftY, -KV_ONE, KV_ZERO));
  add(6, pPad[E_PAD_INPUT_RIGHT_STICK_X] * 3.0f);
  add(7, pPad[E_PAD_INPUT_RIGHT_STICK_Y] * 3.0f);
  add(9, aboveHalf(pPad[E_PAD_INPUT_LEFT_TRIGGER]) + aboveHalf(pPad[E_PAD_INPUT_RIGHT_TRIGGER]));
  add(10, aboveHalf(pPad[E_PAD_INPUT_LEFT_SHOULDER]));
  add(11, aboveHalf(pPad[E_PAD_INPUT_RIGHT_SHOULDER]));
  add(13, pPad[E_PAD_INPUT_BACK]);
  add(14, ClInputHWtoKv::mp_auiKeyStates[gc_iKEY_INDEX_C] == E_KEY_DOWN ? KV_ONE : KV_ZERO);
}
