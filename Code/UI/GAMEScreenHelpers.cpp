#include "Code/UI/GAMEScreenHelpers.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"

bool isGoingOut(const ClWidget* pScreen) {
  const ClWidget* pSwitcher = pScreen != nullptr ? pScreen->mp_pParent : nullptr;
  for (u32 i = 0; pSwitcher != nullptr && i < pSwitcher->mp_SwitchedChildren.getSize(); ++i) {
    if (pSwitcher->mp_SwitchedChildren[i].mp_pChild == pScreen) {
      return pSwitcher->mp_SwitchedChildren[i].mp_uiState == E_SWITCH_STATE_OUT;
    }
  }
  return false;
}

bool justPressed(i32 iAction) { return ClInputManager::isActionJustPressedAnyPad(iAction); }

bool justPressedOnPad0(i32 iAction) {
  return ClInputManager::isActionJustPressed(ClInputManager::getActions(0)[iAction]);
}

bool heldOnAnyPad(i32 iAction) {
  for (u32 uiPad = 0; uiPad < cuiMAX_GAME_PADS; ++uiPad) {
    if (ClInputManager::getActions(uiPad)[iAction].mp_afValues[ClInputManager::m_uiCurInputFrame] >
        gc_fACTION_PRESSED_THRESHOLD) {
      return true;
    }
  }
  return false;
}

i32 GAMEGetRootValue(const char* pName, i32 iAbsent) {
  const ClWidget* pRoot = ClUI::getRootWidget();
  if (pRoot == nullptr || pRoot->findProperty(KvStrHash(pName)) == nullptr) {
    return iAbsent;
  }
  return pRoot->getInt(pName);
}

void GAMESetRootValue(const char* pName, i32 iValue) {
  if (ClWidget* pRoot = ClUI::getRootWidget()) {
    pRoot->setInt(KvStrHash(pName), iValue);
  }
}

bool GAMEScreenOverPlay(const char* pPlayScreen) {
  if (GAMEGetRootValue("PauseGame", 0) != 0) {
    return true;
  }
  const ClWidget* pSwitcher = ClUI::findWidget(KvStrHash("TopLevelSwitcher"));
  return pSwitcher != nullptr && pSwitcher->showsSwitchedChildOtherThan(KvStrHash(pPlayScreen));
}
