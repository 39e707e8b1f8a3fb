// The Action mode's level flow: enter, the frame, pausing, the next level or wave, exit. The music overlay's
// operations are in ClGameModeActionMusic.cpp.
#include <cmath>
#include <cstdio>
#include <iterator>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeFMV.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Input/GAMEInputMappers.h"
#include "Code/Objects/Backgrounds.h"
#include "Code/GameModes/GAMEWorldServices.h"
#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/GAMEEnemyScript.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMERunState.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEScreenPause.h"
#include "Code/UI/GAMEInGameUI.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Input/ClRumbleMgr.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Platform/Win32/Win32.h"

namespace {

constexpr u32 gc_uiTIME_SCALE_STATE = 1;

f32 speedFactor(i32 iType) {
  switch (iType) {
    case E_GAME_TYPE_SURVIVOR:
      return 1.0f + 0.05f * static_cast<f32>(g_iWave);
    case E_GAME_TYPE_SURVIVOR_HARDCORE:
      return 1.0f + 0.05f * static_cast<f32>(g_iWave + 10);
    case E_GAME_TYPE_MARATHON_EXTREME:
      return 2.0f;
    case E_GAME_TYPE_MARATHON_ULTRA:
      return 3.0f;
    default:
      return 1.0f;
  }
}

bool profileOption(i32 SPlayerProfileData::*pField) {
  return g_pPlayerProfileData != nullptr && g_pPlayerProfileData->*pField != 0;
}

void pushGameplayMapper() {
  ClGameStateMgr::pushInputMapper(0, ClInputManager::getGameplayMapper());
  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::start("Monkey", "Scheme_InGame");
  }
}

// Hides one of the multiplier widgets (its "onBecomeInvisible" runs); a screen set without it is reported.
void hideWidget(const char* pName) {
  ClWidget* pWidget = ClUI::findWidget(KvStrHash(pName));
  if (pWidget == nullptr) {
    std::fprintf(stderr, "Action: the widget \"%s\" is not in the loaded screens\n", pName);
    return;
  }
  if (pWidget->mp_bVisible != 0) {
    pWidget->setVisible(0);
    pWidget->callEvent(KvStrHash("onBecomeInvisible"));
  }
}

// The level's rows and scenery: the level data, the spawner, the backgrounds and the effect vectors. A script its
// loader refuses ends the game: there would be no level to play.
void prepareWorld() {
  KV_DATA_REQUIRE(ClLevelMgr::resetLevelData(), "Script [Scripts\\Levels.kds] was refused");
  ClSpawnMgr::initialize();
  KV_DATA_REQUIRE(Backgrounds::initialize(), "Script [Scripts\\Backgrounds.kds] was refused");
  GoreFx::initialize();
}

// A story-style level by its entry in "Levels"; an entry or background pattern refused ends the game.
void setUpStoryLevel(i32 iChapter, i32 iLevel) {
  char szName[32];
  std::snprintf(szName, sizeof(szName), "Chapter%d_%d", iChapter + 1, iLevel + 1);
  KV_DATA_REQUIRE(ClLevelMgr::setupLevel(szName), "Level [%s] of [Scripts\\Levels.kds] was refused", szName);
}

i32 setUpEndlessLevel() {
  bool bLoaded = false;
  const i32 iChapter = ClLevelMgr::setupEndlessLevel(&bLoaded);
  if (!bLoaded) {
    KV_DATA_FATALF("The background pattern of an endless level in [Scripts\\Backgrounds.kds] was refused: %s",
                   KvGetLastProblem());
  }
  return iChapter;
}

void setUpLevel(ClGameModeAction& mode) {
  if (GameTypes::isTimed(mode.m_iGameType)) {
    mode.m_iChapter = setUpEndlessLevel();
    return;
  }
  setUpStoryLevel(mode.m_iChapter, mode.m_iLevel);
}

void showResults() { ClUI::switchTo("TopLevelSwitcher", "Results"); }

// Whether a screen stands over play: the results up, or another screen over the in-game HUD.
bool screenOverPlay() { return g_bResultsShown != 0 || GAMEScreenOverPlay("InGame"); }

// The story's last level won: the outro video, then the bonus stage; the mode finishes.
void requestOutro() {
  GAMERequestMovie("Outro", E_GAME_MODE_CATFPS);
  g_gameModeAction.m_bFinished = 1;
}

void resetVoiceOverTimers(f32 fLong) {
  g_fTimeSinceVoiceOver = 0.0f;
  g_fTimeSinceSpacedVoiceOver = fLong;
}

i32 levelCounter() { return g_gameModeAction.m_iLevel; }

// The world's services and level hooks installed and its scripts read and checked; a refused script is reported
// and the level plays without it.
void loadWorldScripts() {
  WorldServices::set(&g_gameWorldServices);
  SLevelHooks hooks;
  hooks.pShowResults = &showResults;
  hooks.pRequestOutro = &requestOutro;
  hooks.pResetVoiceOverTimers = &resetVoiceOverTimers;
  hooks.pLevelCounter = &levelCounter;
  ClLevelMgr::setHooks(hooks);
  // Read again at every entry: the script manager may have been restarted since the last one. Play cannot go on
  // without either.
  KV_DATA_REQUIRE(EnemyScript::load(), "Script [Scripts\\EntityEnemy.kds] was refused");
  KV_DATA_REQUIRE(PlayerScript::load(), "Script [Scripts\\EntityPlayer.kds] was refused");
}

}  // namespace

void ClGameModeAction::startLevelMusic() {
  if (m_iLevel >= 4 && m_iChapter == 0) {
    mp_levelMusicCue = ClAudioManager::createCueInstanceByName("InGameLoop1b");
    return;
  }
  char szName[32];
  std::snprintf(szName, sizeof(szName), "InGameLoop%d", m_iChapter + 1);
  mp_levelMusicCue = ClAudioManager::createCueInstanceByName(szName);
}

void ClGameModeAction::pauseGame() {
  ClUI::switchTo("TopLevelSwitcher", "Pause");
  GAMEEnterPause();
}

i32 ClGameModeAction::enter(i32) {
  loadWorldScripts();
  pushGameplayMapper();
  prepareWorld();
  m_iGameType = g_iSelectedGameType;
  m_iChapter = g_iSelectedChapter;
  m_iLevel = g_iSelectedLevel;
  g_iWave = 0;
  g_iLevel = 0;
  g_iChapter = 0;
  g_iDay = 0;
  g_fStarCooldown = 1500.0f;
  m_iGameType = GAMEGetRootValue("_mode_selected", E_GAME_TYPE_SURVIVOR);
  if (GameTypes::isMarathon(m_iGameType) || GameTypes::isSurvivor(m_iGameType)) {
    m_iChapter = 0;
    m_iLevel = 0;
    g_iSelectedChapter = 0;
    g_iSelectedLevel = 0;
  }
  g_iChapter = m_iChapter;
  g_iLevel = m_iLevel;
  g_iEnemyCueBudgetUsed = 0;
  if (m_iGameType == E_GAME_TYPE_DAILY) {
    const f32 d = static_cast<f32>(g_iDay);
    g_iWave = static_cast<i32>(0.3f * d + 1.0f + 6.0f * std::sqrt(d));
  }
  if (m_iLevel < 0 || m_iChapter < 0 || m_iGameType != E_GAME_TYPE_STORY) {
    m_iChapter = 0;
    m_iLevel = 0;
  }
  g_iGameType = m_iGameType;
  setUpLevel(*this);
  g_iChapter = m_iChapter;
  g_iPlayerHealth = 3;
  g_iMagicCharges = 1;
  createPlayer(0);
  m_bFinished = 0;
  m_bQuitToMenu = 0;
  resetInGameHudState();
  ClUI::switchTo("TopLevelSwitcher", "InGame");
  startLevelMusic();
  resetInGameMusicOverlay();
  g_bCrateDue = 1;
  for (const char* pName : {"InGameMultiplier_Under", "InGameMultiplier_Over", "InGameMultiplier"}) {
    hideWidget(pName);
  }
  GAMESetRootValue("InResultsScreen", 0);
  if (m_iGameType == E_GAME_TYPE_STORY && m_iChapter == 0 && m_iLevel == 0 &&
      ClUI::findWidget(KvStrHash("HowToPlay")) != nullptr) {
    GAMESetRootValue("HowToPlayFromGame", 1);
    systemSavePreviousWidgets(nullptr, nullptr);
    ClUI::switchTo("TopLevelSwitcher", "HowToPlay");
    GAMEEnterPause();
    ClAudioManager::stopCue(&mp_levelMusicCue, 0.0f);
  }
  return 1;
}

i32 ClGameModeAction::tick(f32 fDT) {
  g_iEnemyCueBudgetUsed = 0;
  if (g_bRestartRequest != 0) {
    exit();
    enter(E_GAME_MODE_ACTION);
  }
  if (g_bNextLevelRequest != 0) {
    changeChapter();
  }
  if (GAMEGetRootValue("PauseGame", 0) == 0) {
    const bool bInResults = GAMEGetRootValue("InResultsScreen", 0) != 0;
    const bool bPausePressed = ClInputManager::m_bInitialized && !ClGameStateMgr::isInputBlocked() &&
                               ClInputManager::isActionJustPressed(ClInputManager::getActions(0)[E_GAME_ACTION_PAUSE]);
    const bool bInactive = ClGraphics::mp_hWnd != nullptr && GetForegroundWindow() != ClGraphics::mp_hWnd;
    if ((bPausePressed || bInactive) && !bInResults) {
      pauseGame();
    }
  }
  if (g_bReturnToFrontEnd != 0) {
    m_bFinished = 1;
  }
  const f32 fSlowMotion = profileOption(&SPlayerProfileData::m_bSlowMotion) ? g_slowMotionAnimator.mp_current : 1.0f;
  ClGameStateMgr::setFloatState(gc_uiTIME_SCALE_STATE, fSlowMotion * speedFactor(g_iGameType));
  ClGame::tickClocks(fDT);
  ClDynamicGeometry::beginFrame();
  tickInGameMusicOverlay();
  if (GAMEGetRootValue("PauseGame", 0) == 0) {
    ClLevelMgr::update();
    ClSpawnMgr::tick();
    updateScoreAndCombo();
    GoreFx::update();
  }
  Backgrounds::tick();
  ClLevelMgr::draw(screenOverPlay());
  GoreFx::draw();
  if (profileOption(&SPlayerProfileData::m_bCRTEffect)) {
    ClUI::renderAtlasEntry(KvStrHash("TexturesUIAtlas"), KvStrHash("IM-CRT-Overlay_216"),
                           KvStrHash("system_blend_premult"), 0xFFFFFFFFu, KvStrHash("UBER"), 2700, 0.0f, 0.0f,
                           gc_ui2D_ALIGN_TOP_LEFT, gc_ui2D_ALIGN_TOP_LEFT, 1.0f);
  }
  g_vWorldCameraPosition = kv_vector2{g_fWorldCameraX, g_fWorldCameraY};
  ClUI::update();
  ClUI::render();
  ClCameraMgr::advanceTVChannel(0);
  ClGraphics::endFrame();
  if (m_bQuitToMenu != 0) {
    m_bFinished = 1;
    g_gameModeFrontEnd.m_bLeftFromPlay = 1;
    GAMESetRootValue("StartGame", 0);
  }
  return static_cast<i32>(m_bFinished);
}

void ClGameModeAction::tearDownLevel() {
  Backgrounds::release();
  g_pPlayer = nullptr;
  ClSpawnMgr::terminate();
  ClLevelMgr::destroyAllEntities();
  GoreFx::releaseAll();
}

void ClGameModeAction::changeChapter() {
  GAMESetRootValue("InResultsScreen", 0);
  stopInGameMusicCues();
  tearDownLevel();
  ++m_iLevel;
  ++g_iWave;
  bool bChapterVideo = false;
  if (!GameTypes::isSurvivor(m_iGameType)) {
    if (m_iLevel >= NUMBER_MAX_OF_LEVELS) {
      ++m_iChapter;
      m_iLevel = 0;
      if (m_iGameType == E_GAME_TYPE_STORY) {
        static const char* const s_apVideos[] = {"Interstitial_Chapter1", "Interstitial_Chapter2",
                                                 "Interstitial_Chapter3"};
        static_assert(std::size(s_apVideos) == NUMBER_MAX_OF_CHAPTERS, "one video a chapter");
        const i32 iVideo = m_iChapter >= 0 && m_iChapter < NUMBER_MAX_OF_CHAPTERS ? m_iChapter : 0;
        GAMERequestMovie(s_apVideos[iVideo], E_GAME_MODE_ACTION);
        bChapterVideo = true;
      }
    }
    if (m_iChapter >= NUMBER_MAX_OF_CHAPTERS) {
      m_iChapter = 0;
    }
  }
  if (m_iGameType == E_GAME_TYPE_MARATHON && m_iChapter == 1 && m_iLevel == 4) {
    WorldServices::get().setAchievement("ARE_WE_THERE_YET");
  }
  g_iLevel = m_iLevel;
  g_iChapter = m_iChapter;
  g_iSelectedChapter = m_iChapter;
  g_iSelectedLevel = m_iLevel;
  prepareWorld();
  if (GameTypes::isSurvivor(m_iGameType)) {
    m_iChapter = setUpEndlessLevel();
    g_iChapter = m_iChapter;
  } else {
    // The daily game's next level is a story-style one too: only the survivor waves are generated here.
    setUpStoryLevel(m_iChapter, m_iLevel);
  }
  createPlayer(1);
  m_bFinished = 0;
  m_bQuitToMenu = 0;
  startLevelMusic();
  if (bChapterVideo) {
    m_bFinished = 1;
  }
}

i32 ClGameModeAction::exit() {
  stopInGameMusicCues();
  ClGameStateMgr::popInputMapper(0);
  tearDownLevel();
  return 1;
}
