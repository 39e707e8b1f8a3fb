#include "Code/UI/GAMEScreenPause.h"

#include "Code/Input/GAMEInputMappers.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/UI/GAMEInGameUI.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Input/ClRumbleMgr.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

constexpr i32 gc_iHOW_TO_PLAY_PAGES = 25;

// The top-level switcher's history as it stood when play started.
ClWidget* s_apSavedHistory[NUM_OF_WIDGETS_SWITCHED_IN_HISTORY] = {};

void setVisibleIfPresent(const char* pName, u32 bVisible) {
  if (ClWidget* pWidget = ClUI::findWidget(KvStrHash(pName))) {
    pWidget->setVisible(bVisible);
  }
}

}  // namespace

void systemSavePreviousWidgets(ClWidget*, WidgetEventProcedureCall*) {
  ClUI::copySwitchHistory(s_apSavedHistory);
}

void systemPauseInitialize(ClWidget*, WidgetEventProcedureCall*) {
  const u32 bVisible = GAMEGetRootValue("PauseFromCatFPS", 0) != 0 ? 0 : 1;
  for (const char* pName : {"PauseRestartButton", "PauseHowToPlayButton", "PauseQuitButton"}) {
    setVisibleIfPresent(pName, bVisible);
  }
}

void systemPauseTick(ClWidget*, WidgetEventProcedureCall*) {
  if (ClInputManager::m_bInitialized && justPressed(E_GAME_ACTION_MENU_START) &&
      ClUI::findWidget(KvStrHash("Options")) != nullptr) {
    GAMESetRootValue("_options_mainmenu", 1);
    ClUI::switchTo("TopLevelSwitcher", "Options");
  }
}

void GAMEEnterPause() {
  ClGameStateMgr::popInputMapper(0);
  ClGameStateMgr::pushInputMapper(0, ClInputManager::getMenusMapper());
  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::start("Monkey", "Scheme_UI");
  }
  GAMESetRootValue("PauseGame", 1);
  ClAudioManager::pauseAllCues();
  ClRumbleMgr::stopAll();
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
  ClGameStateMgr::pushInputMapper(0, ClInputManager::getGameplayMapper());
  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::start("Monkey", "Scheme_InGame");
  }
  // The HUD's multiplier display is drawn again from scratch: the pips relit and, with the kept state forgotten,
  // the multiplier's burst played again for the multiplier it shows.
  if (ClWidget* pCombos = ClUI::findWidget(KvStrHash("InGameMultiplierCombos"))) {
    for (u32 i = 0; i < pCombos->mp_AllChildren.getSize(); ++i) {
      pCombos->mp_AllChildren[i]->setBool(gc_TICK_ACTIVE.mp_uiHash, 0);
    }
  }
  g_inGameHudState.m_iLastComboCount = -1;
  g_inGameHudState.m_bLastPowered = 0;
  g_inGameHudState.m_fLastMultiplierShown = 1.0f;
  setVisibleIfPresent("InGameMultiplier_Under", 0);
  setVisibleIfPresent("InGameMultiplier_Over", 0);
}

void systemRestartLevel(ClWidget* pWidget, WidgetEventProcedureCall* pCall) {
  systemUnpauseAndReturnToGame(pWidget, pCall);
  g_bRestartRequest = 1;
}

void restoreSavedSwitchHistory() {
  ClWidget* pSwitcher = ClUI::getWidget("TopLevelSwitcher");
  KV_ASSERT(pSwitcher);
  ClWidget* pTarget = nullptr;
  for (ClWidget* pSaved : s_apSavedHistory) {
    if (pSaved != nullptr && pSwitcher->isSwitchedChild(pSaved)) {
      pTarget = pSaved;
      break;
    }
  }
  // With no saved screen to go back to the history was never saved or names only foreign widgets: stop here
  // rather than switch to nothing.
  KV_ASSERT_MSG(pTarget, "restoreSavedSwitchHistory: no saved entry is a screen of TopLevelSwitcher");
  ClUI::pushSwitchHistory(pTarget);
  pSwitcher->switchTo(pTarget);
  ClUI::restoreSwitchHistory(s_apSavedHistory);
}

void systemHowToPlayInit(ClWidget*, WidgetEventProcedureCall*) {
  const bool bFromGame = GAMEGetRootValue("HowToPlayFromGame", 0) != 0;
  // From the game the screen's button goes on into play: it says so, as the pages' prompt does.
  const char* pLeave = bFromGame ? "results_continue" : "how_to_play_back";
  for (i32 iPage = 1; iPage <= gc_iHOW_TO_PLAY_PAGES; ++iPage) {
    ClUI::getWidgetFormatted("back_htp_%d", iPage)
        ->setString(gc_TEXTURE_NAME.mp_uiHash, bFromGame ? "IM-Controller-A" : "IM-Controller-B");
    ClUI::getWidgetFormatted("backtext_htp_%d", iPage)->setLocalizedID(pLeave);
  }
  ClUI::getWidget("HowToPlayBack")->setLocalizedID(pLeave);
  ClUI::getWidget("HowToPlaySwitcher")->switchToKeepFocus(ClUI::getWidget("Max"));
}

void systemHowToPlayBackClick(ClWidget* pWidget, WidgetEventProcedureCall* pCall) {
  restoreSavedSwitchHistory();
  if (GAMEGetRootValue("HowToPlayFromGame", 0) == 0) {
    return;
  }
  GAMESetRootValue("HowToPlayFromGame", 0);
  // The pages go with the screen: the switch back into play below cuts the screen's way out short, so the
  // pages would otherwise stay over play.
  systemHowToPlaySwitchOutIfNotFromGame(pWidget, pCall);
  systemUnpauseAndReturnToGame(pWidget, pCall);
  // Play entered with the pages stops its music; from the pause menu the level music was paused and has just
  // been resumed, and a second loop would play over it with nobody to stop it.
  ScreenFlow::startLevelMusicIfNone("InGameLoop1");
}

void systemHowToPlaySwitchOutIfNotFromGame(ClWidget*, WidgetEventProcedureCall*) {
  if (GAMEGetRootValue("HowToPlayFromGame", 0) == 0) {
    ClUI::getWidget("HowToPlaySwitcher")->switchToKeepFocus(ClUI::getWidget("HowToPlaySwitchOut"));
  }
}
