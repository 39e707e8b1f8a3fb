#include "Code/GameModes/ClGameModePreLoad.h"

#include "Code/GameModes/ClGame.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEProfileSave.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/Store/ClSteamMgr.h"
#include "Corvane/Store/ClTrophyAchMgr.h"
#include "Corvane/System/KvDebug.h"

ClGameModePreLoad g_gameModePreLoad;
u32 g_bGameInitialized = 0;

i32 ClGameModePreLoad::enter(i32) {
  m_bFinished = 0;
  m_bAutoLoadStarted = 0;
  m_bDataPreLoadDone = 0;
  m_bAutoLoadPending = 0;
  return 1;
}

i32 ClGameModePreLoad::tick(f32 fDT) {
  ClGame::tickClocks(fDT);
  ClDynamicGeometry::beginFrame();
  ClCameraMgr::advanceTVChannel(0);
  ClGraphics::endFrame();
  if (!m_bAutoLoadStarted) {
    startAutoLoad();
    m_bAutoLoadStarted = 1;
  } else if (!m_bDataPreLoadDone) {
    tickDataPreLoad();
  }
  if (m_bDataPreLoadDone && ClGame::getGameMode(static_cast<E_GAME_MODE>(m_eNextGameMode)) != nullptr) {
    g_eNextGameMode = static_cast<E_GAME_MODE>(m_eNextGameMode);
    m_bFinished = 1;
  }
  return static_cast<i32>(m_bFinished);
}

i32 ClGameModePreLoad::exit() { return 1; }

void ClGameModePreLoad::startAutoLoad() {
  // Without the archive its files are looked for loose. One whose data file does not open is damaged: its entries
  // could not be read.
  if (ClMagFileIO::loadTOC(gc_pszPRELOAD_ARCHIVE)) {
    const u32 uiHash = KvStrHash(gc_pszPRELOAD_ARCHIVE);
    if (!ClMagFileIO::loadDataFile(uiHash) && !ClMagFileIO::dataFileOpens(uiHash)) {
      KV_DATA_FATALF("Mag archive [%s] was refused: %s", gc_pszPRELOAD_ARCHIVE, ClMagFileIO::getLastProblem());
    }
  } else if (ClMagFileIO::archiveIsPresent(gc_pszPRELOAD_ARCHIVE)) {
    // A damaged archive is no missing one: loose files do not stand in for it.
    KV_DATA_FATALF("Mag archive [%s] was refused: %s", gc_pszPRELOAD_ARCHIVE, ClMagFileIO::getLastProblem());
  }
  if (!ClSaveGameUtility::gameSpecificAutoLoad()) {
    KV_FATAL("ClSaveGameUtility::gameSpecificAutoLoad() failed (this should not happen at this point)!");
  }
  m_bAutoLoadPending = 1;
  ClSteamMgr::addStatsReceivedListener(&ClTrophyAchMgr::refreshAchievements);
  ClSteamMgr::addAchievementStatsListener();
  ClScoreLeaderboardMgr::initializeListeners();
  ClScoreLeaderboardMgr::platformInitialize();
}

void ClGameModePreLoad::tickDataPreLoad() {
  if (m_bAutoLoadPending) {
    // Acquire: a loaded state comes with the block the load thread wrote.
    const u32 uiState = g_uiAutoLoadState.load(std::memory_order_acquire);
    if (uiState == 0 || uiState == 2 || uiState == 3) {
      m_bDataPreLoadDone = 0;
    } else if (uiState == gc_uiAUTO_LOAD_LOADED) {
      runSecondStage();
    } else if (uiState >= 4 && uiState <= 9) {
      // The load thread has kept a stored file it could not load before this save replaces it; one it could not
      // even read holds the saves back, and this request ends at once as failed, writing nothing.
      m_bAutoLoadPending = 0;
      ClProfileMgr::resetToDefaults(mpr_pPlayerProfile);
      ClSaveGameUtility::gameSpecificAutoSave();
      m_bDataPreLoadDone = 0;
    } else {
      KV_FATALF("ClGameModePreLoad::tickDataPreLoad() -> Unhandled auto-load error code [%d]!",
                static_cast<i32>(uiState));
    }
    return;
  }
  const u32 uiState = g_uiAutoSaveState.load(std::memory_order_acquire);
  if (uiState == 0 || uiState == 2 || uiState == 3) {
    m_bDataPreLoadDone = 0;
  } else if (uiState == gc_uiAUTO_SAVE_WRITTEN || (uiState >= 4 && uiState <= 6)) {
    // A failed write is not retried: the game goes on with the default profile.
    runSecondStage();
  } else {
    KV_FATALF("ClGameModePreLoad::tickDataPreLoad() -> Unhandled auto-save error code [%d]!",
              static_cast<i32>(uiState));
  }
}

void ClGameModePreLoad::runSecondStage() {
  if (!g_bGameInitialized) {
    g_bGameInitialized = 1;
    ClGame::initialize();
    // The input layer needs the window the second stage opened.
    ClInputManager::initialize();
  }
  m_bDataPreLoadDone = 1;
}
