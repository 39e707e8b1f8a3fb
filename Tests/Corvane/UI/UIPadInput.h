// Pad input for the UI suites as the input manager makes it: each pad's game actions in arrays of the test's own,
// no pad but hardware pad 0 connected, the logical pads mapped straight, input not blocked. start() saves what it
// replaces and stop() puts it back.
#pragma once

#include <map>

#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/UI/ClUI.h"

class CUIPadInput {
 public:
  static constexpr i32 gc_iACTIONS = 37;

  void start() {
    for (u32 i = 0; i < cuiMAX_GAME_PADS; ++i) {
      m_apSavedInputs[i] = ClInputManager::m_apGameSpecificInputs[i];
      ClInputManager::m_apGameSpecificInputs[i] = m_aaActions[i];
      m_auiSavedConnected[i] = ClInputHWtoKv::mp_auiPadConnected[i];
      ClInputHWtoKv::mp_auiPadConnected[i] = 0;
    }
    m_iSavedActionCount = ClInputManager::getActionCount();
    ClInputManager::setActionCount(gc_iACTIONS);
    ClInputManager::resetLogicalPadMap();
    ClInputManager::m_uiCurInputFrame = 0;
    ClGameStateMgr::blockInput(0);
    m_bStarted = true;
  }
  void stop() {
    if (!m_bStarted) return;
    for (u32 i = 0; i < cuiMAX_GAME_PADS; ++i) {
      ClInputManager::m_apGameSpecificInputs[i] = m_apSavedInputs[i];
      ClInputHWtoKv::mp_auiPadConnected[i] = m_auiSavedConnected[i];
    }
    ClInputManager::setActionCount(m_iSavedActionCount);
    ClGameStateMgr::blockInput(0);
    m_bStarted = false;
  }

  // One input frame: the frame flips, this frame's values are the given ones (action -> value) on the hardware
  // pad, 0 elsewhere. Then the UI's update.
  void frame(const std::map<i32, f32>& values = {}, u32 uiHardwarePad = 0) {
    ClInputManager::m_uiCurInputFrame = static_cast<u8>(1 - ClInputManager::m_uiCurInputFrame);
    const u32 uiCur = ClInputManager::m_uiCurInputFrame;
    for (auto& pad : m_aaActions) {
      for (SGameInputAction& action : pad) {
        action.mp_afValues[uiCur] = 0.0f;
      }
    }
    for (const auto& [iAction, fValue] : values) {
      m_aaActions[uiHardwarePad][iAction].mp_afValues[uiCur] = fValue;
    }
    ClUI::update();
  }

  // Every action of every pad back to nothing held.
  void release() {
    for (auto& pad : m_aaActions) {
      for (SGameInputAction& action : pad) {
        action = SGameInputAction{};
      }
    }
  }

 private:
  SGameInputAction m_aaActions[cuiMAX_GAME_PADS][gc_iACTIONS] = {};
  SGameInputAction* m_apSavedInputs[cuiMAX_GAME_PADS] = {};
  u32 m_auiSavedConnected[cuiMAX_GAME_PADS] = {};
  i32 m_iSavedActionCount = 0;
  bool m_bStarted = false;
};
