#include "Code/GameModes/ClGameModeFrontEnd.h"

#include <iterator>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeFMV.h"
#include "Code/Input/GAMEInputActions.h"
#include "Code/Objects/Backgrounds.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEGameTypes.h"
#include "Code/System/GAMEVolumes.h"
#include "Code/UI/GAMEInGameUI.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClWidget.h"

ClGameModeFrontEnd g_gameModeFrontEnd;

namespace {

constexpr i32 gc_iRETURN_VOLUME = 80;

// The screen sets back to their title state, in this order.
const char* const gc_aapTitleSwitches[][2] = {
    {"TopLevelSwitcher", "TitleScreen"},         {"HowToPlaySwitcher", "HowToPlayInactive"},
    {"InfoMenuSwitcher", "InfoMenuInactive"},    {"LoadingSwitcher", "LoadingInactive"},
    {"UnlockPopupSwitcher", "UnlockPopupInactive"}, {"SplashSwitcher", "SplashInactive"},
    {"ControllerOffSwitcher", "ControllerOffInactive"},
};

// The chapter videos of the story, by chapter.
const char* const gc_apChapterVideos[] = {"Interstitial_Chapter1", "Interstitial_Chapter2", "Interstitial_Chapter3"};
static_assert(std::size(gc_apChapterVideos) == NUMBER_MAX_OF_CHAPTERS, "one video a chapter");

}  // namespace

i32 ClGameModeFrontEnd::enter(i32) {
  m_bEntered = 1;
  ClPointerTracker::setPointerShown(false);
  for (u32 uiPlayer = 0; uiPlayer < cMAX_LOCAL_PLAYERS; ++uiPlayer) {
    ClGameStateMgr::pushInputMapper(uiPlayer, ClInputManager::getMenusMapper());
  }
  // The random-input tester, when it runs, plays the menus' scheme.
  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::start("monkey", "Scheme_UI");
  }
  ClInputManager::resetLogicalPadMap();
  ClGameStateMgr::setTVChannel(0, 0);
  mp_camera = new ClCameraGAME_InGameOne();
  ClCameraMgr::registerCamera(mp_camera);
  mp_camera->m_vFollowTarget = {0.0f, 0.0f, 0.0f, 0.0f};
  mp_camera->activate();
  // Pushing cuts channel 0 to it.
  ClGameStateMgr::pushCamera(mp_camera);
  if (ClCamera* pFirst = ClCameraMgr::getDebugCamera()) {
    pFirst->activate();
  }
  m_bFinished = 0;
  if (ClWidget* pRoot = ClUI::getRootWidget()) {
    pRoot->setBool(KvStrHash("displayLoadingText"), 1);
  }
  GAMESetRootValue("StartGame", 0);
  mp_menuMusicCue = ClAudioManager::createCueInstanceByName("MainMenuLoop");
  if (GAMEGetRootValue("CatResults", 0) == 1) {
    ClUI::switchTo("TopLevelSwitcher", "Results");
  } else if (GAMEGetRootValue("_quit_to_mainmenu", 0) == 1) {
    // Quit from the pause menu: back on the main menu, with the street the title would have laid behind it.
    GAMESetRootValue("_quit_to_mainmenu", 0);
    systemInitializeAttractLoopBackground(nullptr, nullptr);
    ClUI::switchTo("TopLevelSwitcher", "MainMenu");
  } else {
    ClUI::switchTo("TopLevelSwitcher", "TitleScreen");
  }
  return 1;
}

i32 ClGameModeFrontEnd::tick(f32 fDT) {
  ClGame::tickClocks(fDT);
  ClDynamicGeometry::beginFrame();
  // A key wins over a pad control pressed in the same frame.
  if (ClInputManager::m_bInitialized) {
    if (ClInputManager::isActionJustPressedAnyPad(E_GAME_ACTION_ANY_PAD_CONTROL)) {
      g_bShowKeyboardPrompts = 0;
    }
    if (ClInputManager::isActionJustPressedAnyPad(E_GAME_ACTION_ANY_MENU_KEY)) {
      g_bShowKeyboardPrompts = 1;
    }
  }
  // The title's screens load the backgrounds that scroll behind every menu.
  if (g_bBackgroundsLoaded != 0) {
    Backgrounds::tick();
  }
  if (g_pPlayerProfileData != nullptr && g_pPlayerProfileData->m_bCRTEffect != 0) {
    ClUI::renderAtlasEntry(KvStrHash("TexturesUIAtlas"), KvStrHash("IM-CRT-Overlay_216"),
                           KvStrHash("system_blend_premult"), 0xFFFFFFFFu, KvStrHash("UBER"), 2700, 0.0f, 0.0f,
                           gc_ui2D_ALIGN_TOP_LEFT, gc_ui2D_ALIGN_TOP_LEFT, 1.0f);
  }
  ClUI::update();
  ClUI::render();
  ClCameraMgr::advanceTVChannel(0);
  ClGraphics::endFrame();
  if (ClDevINI::getInt("SKIP_UI") == 1) {
    ClUI::switchTo("TopLevelSwitcher", "InGame");
    GAMESetRootValue("StartGame", 0);
    m_bFinished = 1;
  }
  if (GAMEGetRootValue("StartGame", 0) == 1) {
    startPlay();
  }
  if (g_bReturnToFrontEnd) {
    returnToTitle();
  }
  return static_cast<i32>(m_bFinished);
}

void ClGameModeFrontEnd::startPlay() {
  m_bFinished = 1;
  GAMESetRootValue("StartGame", 0);
  g_iSelectedGameType = GAMEGetRootValue("_mode_selected", E_GAME_TYPE_SURVIVOR);
  const bool bChapterStart = g_iSelectedLevel == 0 || ClDevINI::getInt("FORCE_FMVS") != 0;
  if (g_iSelectedGameType == E_GAME_TYPE_STORY && bChapterStart && g_iSelectedChapter >= 0 &&
      g_iSelectedChapter < NUMBER_MAX_OF_CHAPTERS) {
    GAMERequestMovie(gc_apChapterVideos[g_iSelectedChapter], E_GAME_MODE_ACTION);
  }
}

void ClGameModeFrontEnd::returnToTitle() {
  for (const auto& apSwitch : gc_aapTitleSwitches) {
    ClUI::switchTo(apSwitch[0], apSwitch[1]);
  }
  GAMESetRootValue("PauseGame", 0);
  GAMESetRootValue("StartGame", 0);
  g_bReturnToFrontEnd = 0;
  if (g_pPlayerProfileData != nullptr) {
    g_pPlayerProfileData->m_iMusicVolume = gc_iRETURN_VOLUME;
    g_pPlayerProfileData->m_iSoundEffectVolume = gc_iRETURN_VOLUME;
    g_pPlayerProfileData->m_iMasterVolume = gc_iRETURN_VOLUME;
    GAMESetCategoryVolumesFromProfile();
  }
}

i32 ClGameModeFrontEnd::exit() {
  ClAudioManager::stopCue(&mp_menuMusicCue, 0.0f);
  ClGameStateMgr::popCamera(0.0f);
  for (u32 uiPlayer = 0; uiPlayer < cMAX_LOCAL_PLAYERS; ++uiPlayer) {
    ClGameStateMgr::popInputMapper(uiPlayer);
  }
  ClCameraMgr::terminateCamera(mp_camera);
  mp_camera = nullptr;
  Backgrounds::release();
  return 1;
}
