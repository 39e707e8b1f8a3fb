#include "Code/UI/GAMEScreenPause.h"

#include <cstring>

#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/Input/GAMEInputMappers.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"

namespace {

constexpr i32 gc_iACTION_OPTIONS = 23;

// The top-level switcher's history as it stood when play started.
ClWidget* s_apSavedHistory[NUM_OF_WIDGETS_SWITCHED_IN_HISTORY] = {};

void setVisibleIfPresent(const char* pName, u32 bVisible) {
  if (ClWidget* pWidget = ClUI::findWidget(KvStrHash(pName))) {
    pWidget->setVisible(bVisible);
  }
}

}  // namespace

void systemSavePreviousWidgets(ClWidget*, WidgetEventProcedureCall*) {
  std::memcpy(s_apSavedHistory, ClUI::mp_apSwitchHistory, sizeof(s_apSavedHistory));
}

void systemPauseInitialize(ClWidget*, WidgetEventProcedureCall*) {
  const u32 bVisible = GAMEGetRootValue("PauseFromCatFPS", 0) != 0 ? 0 : 1;
  for (const char* pName : {"PauseRestartButton", "PauseHowToPlayButton", "PauseQuitButton"}) {
    setVisibleIfPresent(pName, bVisible);
  }
}

void systemPauseTick(ClWidget*, WidgetEventProcedureCall*) {
  if (ClInputManager::m_bInitialized && ClInputManager::isActionJustPressedAnyPad(gc_iACTION_OPTIONS) &&
      ClUI::findWidget(KvStrHash("Options")) != nullptr) {
    GAMESetRootValue("_options_mainmenu", 1);
    ClUI::switchTo("TopLevelSwitcher", "Options");
  }
}

void systemUnpauseAndReturnToGame(ClWidget*, WidgetEventProcedureCall*) {
  if (GAMEGetRootValue("PauseGame", 0) == 0) {
    return;
  }
  GAMESetRootValue("PauseGame", 0);
  ClAudioManager::resumeAllCues();
  const bool bFromBonusStage = GAMEGetRootValue("PauseFromCatFPS", 0) != 0;
  ClUI::switchTo("TopLevelSwitcher", bFromBonusStage ? "EmptyScreen" : "InGame");
  GAMESetRootValue("PauseFromCatFPS", 0);
  ClGameStateMgr::popInputMapper(0);
  ClGameStateMgr::pushInputMapper(0, g_pInputMapperGameplay);
  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::start("Monkey", "Scheme_InGame");
  }
  // The HUD's multiplier display is drawn again from scratch.
  if (ClWidget* pCombos = ClUI::findWidget(KvStrHash("InGameMultiplierCombos"))) {
    for (u32 i = 0; i < pCombos->mp_AllChildren.getSize(); ++i) {
      pCombos->mp_AllChildren[i]->setBool(KvStrHash("TickActive"), 0);
    }
  }
  setVisibleIfPresent("InGameMultiplier_Under", 0);
  setVisibleIfPresent("InGameMultiplier_Over", 0);
}

void systemRestartLevel(ClWidget* pWidget, WidgetEventProcedureCall* pCall) {
  systemUnpauseAndReturnToGame(pWidget, pCall);
  g_bRestartRequest = 1;
}
