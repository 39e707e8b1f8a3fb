#include "Code/GameModes/ClGame.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Corvane/Language/KvLangID.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// A mode that records its calls and finishes after a set number of ticks.
class CRecordingMode : public ClGameMode {
 public:
  CRecordingMode(const char* pName, std::vector<std::string>* pLog) : m_pName(pName), m_pLog(pLog) {}
  i32 enter(i32 iPreviousMode) override {
    m_bFinished = 0;
    m_iTicks = 0;
    m_pLog->push_back(std::string(m_pName) + ".enter(" + std::to_string(iPreviousMode) + ")");
    return 1;
  }
  i32 tick(f32) override {
    m_pLog->push_back(std::string(m_pName) + ".tick");
    if (++m_iTicks >= m_iTicksToFinish) {
      if (m_eRequestNext != E_GAME_MODE_NONE) {
        g_eNextGameMode = m_eRequestNext;
      }
      if (m_bQuitOnFinish) {
        g_bQuitGame = 1;
      }
      m_bFinished = 1;
    }
    return static_cast<i32>(m_bFinished);
  }
  i32 exit() override {
    m_pLog->push_back(std::string(m_pName) + ".exit");
    return 1;
  }
  const char* m_pName;
  std::vector<std::string>* m_pLog;
  i32 m_iTicks = 0;
  i32 m_iTicksToFinish = 1000;
  E_GAME_MODE m_eRequestNext = E_GAME_MODE_NONE;
  bool m_bQuitOnFinish = false;
};

// Runs the game's start-up and shutdown in a fresh data root and store folder.
class GameTopLevel : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previous = std::filesystem::current_path();
    const std::string dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir + "/Data");
    std::filesystem::current_path(dir + "/Data");
    KvTestProvideEngineStringTable(dir + "/Data");
    setenv("GRINDLOW_STORE_DIR", (dir + "/store").c_str(), 1);
    ASSERT_TRUE(SteamAPI_Init());
    g_bReturnToFrontEnd = 0;
  }
  void TearDown() override {
    for (i32 i = 1; i < NUM_E_GAME_MODE; ++i) {
      ClGame::registerGameMode(static_cast<E_GAME_MODE>(i), nullptr, E_GAME_MODE_FRONTEND);
    }
    ClGame::setStepTrace(nullptr);
    SteamAPI_Shutdown();
    unsetenv("GRINDLOW_STORE_DIR");
    std::filesystem::current_path(m_previous);
  }
  static void writeSettings(const std::string& text) { std::ofstream("project.ini") << text; }
  // Start-up, then shutdown and the lock pool, as the program body does.
  static void fullRun(i32 iFrames = 0) {
    ClGame::startUp();
    for (i32 i = 0; i < iFrames; ++i) {
      ClGame::tickFrame(0.016f);
    }
    ClGame::shutDown();
    ClMutexLock::shutdownPool();
  }
  std::filesystem::path m_previous;
};

TEST_F(GameTopLevel, StartUpAndShutdownRunInTheirOrder) {
  std::vector<std::string> trace;
  ClGame::setStepTrace(&trace);
  ClGame::startUp();
  const std::vector<std::string> expectedStartUp = {
      "ClMutexLock::initializePool", "ClThreadMgr::initialize", "ClWorldObject::setIdentityTransform",
      "ClDevINI::initialize", "ClDScriptMgr2::initialize",
      "ClMainLoop::readFrequency", "KvInitializeDataPaths", "KvLangID::initialize", "ClClock::initialize",
      "ClFileIO::initialize", "ClMagFileIO::loadTOC RWN", "ClAsyncAssetLoaderMgr::initialize", "ClDevINI::load",
      "ClGame::seedRandom", "KvInitializeLanguagePath", "ClSteamMgr::initialize", "ClAudioManager::initialize", "ClDiffMgr::initialize",
      "KvLangID::loadStringTable Win32", "ClGraphics::mp_graphicsOptionsDict", "ClGameStateMgr::initialize",
      "ClGame::enterCurrentMode",
      "ClMonkeyMgr::initialize"};
  EXPECT_EQ(trace, expectedStartUp);
  trace.clear();
  ClGame::shutDown();
  const std::vector<std::string> expectedShutdown = {
      "ClMonkeyMgr::terminate", "ClDiffMgr::terminate", "ClRumbleMgr::terminate", "ClAudioManager::terminate",
      "ClCameraMgr::terminate",
      "ClSteamMgr::shutdown",
      "ClDScriptMgr2::terminate", "ClDevINI::terminate", "ClInputManager::terminate",
      "ClGeometryDataMgr_WIN32::releaseAll", "TV channel 0 cameras", "ClGraphics::terminate",
      "ClAsyncAssetLoaderMgr::terminate", "ClClock::shutdown",
      "KvLangID::unloadAllStringTables", "ClMagFileIO::unload RWN", "ClMagFileIO::shutdown", "ClFileIO::shutdown",
      "ClJobMgr::shutdown", "ClThreadMgr::shutdown"};
  EXPECT_EQ(trace, expectedShutdown);
  ClMutexLock::shutdownPool();
}

TEST_F(GameTopLevel, ShutdownLeavesEveryPoolAndLockFree) {
  writeSettings("RANDOM_SEED 5\n");
  fullRun(3);
  EXPECT_EQ(ClMutexLock::getPoolCount(), 0);
  const char* pFirst = nullptr;
  EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 0) << (pFirst ? pFirst : "");
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  EXPECT_EQ(KvLangID::getNumLoadedTables(), 0);
}

// The seed is taken after the settings file is read, so a fixed seed replays the same draws.
TEST_F(GameTopLevel, RandomSeedFromTheSettingsReplaysTheSameSequence) {
  writeSettings("// fixed run\nRANDOM_SEED 4321\n");
  auto firstWords = [] {
    ClGame::startUp();
    std::vector<u32> words;
    for (i32 i = 0; i < 5; ++i) {
      words.push_back(sfmtNextWord());
    }
    ClGame::shutDown();
    ClMutexLock::shutdownPool();
    return words;
  };
  const std::vector<u32> first = firstWords();
  EXPECT_EQ(first, firstWords());
  EXPECT_EQ(KvRandomGetSeed(), 4321u);
  EXPECT_EQ(first[0], 4079384732u);

  // A seed of 0 counts as absent: the clock seeds instead.
  writeSettings("RANDOM_SEED 0\n");
  ClGame::startUp();
  EXPECT_TRUE(KvRandomIsSeeded());
  ClGame::shutDown();
  ClMutexLock::shutdownPool();
}

TEST_F(GameTopLevel, ModeMachineSwitchesAfterTheFinishingTick) {
  std::vector<std::string> log;
  CRecordingMode preLoad("preload", &log);
  CRecordingMode load("load", &log);
  CRecordingMode frontEnd("frontend", &log);
  const i32 iPreLoadNext = E_GAME_MODE_LOAD;
  ClGame::registerGameMode(E_GAME_MODE_PRELOAD, &preLoad, E_GAME_MODE_LOAD, &iPreLoadNext);
  ClGame::registerGameMode(E_GAME_MODE_LOAD, &load, E_GAME_MODE_FRONTEND);
  ClGame::registerGameMode(E_GAME_MODE_FRONTEND, &frontEnd, E_GAME_MODE_ACTION);
  preLoad.m_iTicksToFinish = 2;
  load.m_iTicksToFinish = 1;
  load.m_eRequestNext = E_GAME_MODE_FRONTEND;

  ClGame::startUp();
  EXPECT_EQ(log, std::vector<std::string>({"preload.enter(0)"}));
  EXPECT_EQ(g_eNextGameMode, E_GAME_MODE_LOAD);
  for (i32 i = 0; i < 4; ++i) {
    EXPECT_EQ(ClGame::tickFrame(0.016f), 1u);
  }
  const std::vector<std::string> expected = {"preload.enter(0)", "preload.tick", "preload.tick", "preload.exit",
                                             "load.enter(5)",    "load.tick",    "load.exit",    "frontend.enter(6)",
                                             "frontend.tick"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FRONTEND);
  EXPECT_EQ(g_eNextGameMode, E_GAME_MODE_ACTION);

  // A quit asked during a frame ends that frame, after its switch.
  frontEnd.m_iTicksToFinish = frontEnd.m_iTicks + 1;
  frontEnd.m_bQuitOnFinish = true;
  EXPECT_EQ(ClGame::tickFrame(0.016f), 0u);
  EXPECT_EQ(log.back(), "frontend.exit");
  ClGame::shutDown();
  ClMutexLock::shutdownPool();
}

TEST_F(GameTopLevel, ReturnToFrontEndOverridesEverySwitch) {
  std::vector<std::string> log;
  CRecordingMode frontEnd("frontend", &log);
  CRecordingMode video("video", &log);
  ClGame::registerGameMode(E_GAME_MODE_FRONTEND, &frontEnd, E_GAME_MODE_ACTION);
  ClGame::registerGameMode(E_GAME_MODE_FMV, &video, E_GAME_MODE_FRONTEND);
  g_bReturnToFrontEnd = 1;
  g_ePreviousGameMode = E_GAME_MODE_ACTION;
  g_eCurrentGameMode = E_GAME_MODE_FMV;
  ClGame::enterCurrentMode();
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FRONTEND);
  EXPECT_EQ(g_pCurrentGameMode, &frontEnd);
  EXPECT_EQ(g_eNextGameMode, E_GAME_MODE_ACTION);
  EXPECT_EQ(log, std::vector<std::string>({"frontend.enter(2)"}));
  // An id outside the table is the front end too.
  g_bReturnToFrontEnd = 0;
  g_eCurrentGameMode = static_cast<E_GAME_MODE>(42);
  ClGame::enterCurrentMode();
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FRONTEND);
  EXPECT_EQ(g_ePreviousGameMode, E_GAME_MODE_NONE);
}

TEST(GameClocks, GameplayTimeIsCappedAndScaled) {
  ClClock::initialize();
  ClGameStateMgr::initialize();
  const f64 dSystemBefore = ClClock::m_aClockFrames[0].m_dTotalTime;
  const f64 dGameBefore = ClClock::m_aClockFrames[1].m_dTotalTime;
  ClGame::tickClocks(0.5f);
  EXPECT_EQ(ClClock::m_aClockFrames[0].m_fFrameTime, 0.5f);
  EXPECT_EQ(ClClock::m_aClockFrames[1].m_fFrameTime, 0.15f);

  ClGameStateMgr::setFloatState(1, 0.25f);
  ClGame::tickClocks(0.1f);
  EXPECT_FLOAT_EQ(ClClock::m_aClockFrames[1].m_fFrameTime, 0.025f);

  ClGameStateMgr::setFloatState(1, 0.0f);
  ClGame::tickClocks(0.1f);
  EXPECT_EQ(ClClock::m_aClockFrames[1].m_fFrameTime, 0.0f);
  // Totals add the float frame times in double precision.
  EXPECT_DOUBLE_EQ(ClClock::m_aClockFrames[0].m_dTotalTime - dSystemBefore,
                   f64(0.5f) + f64(0.1f) + f64(0.1f));
  EXPECT_DOUBLE_EQ(ClClock::m_aClockFrames[1].m_dTotalTime - dGameBefore, f64(0.15f) + f64(0.025f));

  EXPECT_KV_ASSERT(ClGame::tickClocks(-0.01f), "fDT>=KV_FLOAT(0.0f)");
  ClGameStateMgr::setFloatState(1, -1.0f);
  EXPECT_KV_ASSERT(ClGame::tickClocks(0.1f), "fDT>=KV_FLOAT(0.0f)");
  ClGameStateMgr::setFloatState(1, 1.0f);
  ClClock::shutdown();
}

}  // namespace
