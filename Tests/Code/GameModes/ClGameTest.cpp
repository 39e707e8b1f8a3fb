#include "Code/GameModes/ClGame.h"
#include "Code/Input/GAMEInputActions.h"
#include "Code/Input/GAMEInputHooks.h"
#include "Code/System/GAMEProfileSave.h"
#include "Code/UI/GAMEUI_ChooseEquipement.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/Store/ClSaveGameUtility.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/Stats/ClDiffMgr.h"
#include "Corvane/Store/ClSteamMgr.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Corvane/Language/KvLangID.h"
#include "Platform/Store/StoreApi.h"
#include "Platform/Store/StoreTest.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tests/Support/KvTestSupport.h"
#include "Code/System/GAMEGameHooks.h"

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
    GameSpecificInstallHooks();
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
    SteamAPI_Shutdown();
    unsetenv("GRINDLOW_STORE_DIR");
    std::filesystem::current_path(m_previous);
    KvTestInstallHookDoubles();
  }
  static void writeSettings(const std::string& text) { std::ofstream("project.ini") << text; }
  // Copies the main archive the build made into this test's data root.
  static void useMainArchive() {
    for (const char* pName : {"RWN_win32.mtc", "RWN_win32.mdf"}) {
      std::filesystem::copy_file(KvTestBinaryDir() + "/Data/" + pName, pName,
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
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

// What a first-stage step leaves that can be seen from outside, named by the step in the game's own table: up
// once start-up has run, down again after shutdown.
struct SStepProbe {
  const char* pStep;
  bool (*pfnUp)();
};

const SStepProbe gc_aFirstStageProbes[] = {
    {"ClThreadMgr::initialize", [] { return ClThreadMgr::isInitialized(); }},
    {"ClDevINI::initialize", [] { return ClDevINI::mp_bInitialized; }},
    {"ClDScriptMgr2::initialize", [] { return ClDScriptMgr2::isInitialized(); }},
    {"ClClock::initialize", [] { return ClClock::mp_bIsInitialized; }},
    {"ClMagFileIO::loadTOC RWN", [] { return ClMagFileIO::findTOC(KvStrHash("RWN")) != nullptr; }},
    {"ClFileIO::initialize", [] { return ClFileIO::getFileLock() != nullptr; }},
    {"ClSteamMgr::initialize", [] { return ClSteamMgr::mp_bInitialized; }},
    {"ClAudioManager::initialize", [] { return ClAudioManager::isInitialized(); }},
    {"ClDiffMgr::initialize", [] { return ClDiffMgr::mp_bInitialized; }},
    {"KvLangID::loadStringTable Win32", [] { return KvLangID::getNumLoadedTables() > 0; }},
    {"ClProfileMgr::initialize", [] { return mpr_pPlayerProfile != nullptr; }},
    // Its stacks hold 32 entries: a game's defaults must not sit on a previous game's.
    {"ClGameStateMgr::initialize", [] { return ClGameStateMgr::m_aFloatStateStack[1].getCount() > 0; }},
};

const SGameStep* findStep(const char* pName) {
  for (const SGameStep& step : ClGame::getSteps()) {
    if (std::strcmp(step.mp_pName, pName) == 0) {
      return &step;
    }
  }
  return nullptr;
}

TEST_F(GameTopLevel, StartUpAndShutdownRunInTheirOrder) {
  // Every step has a name of its own, and every phase has steps.
  std::vector<std::string> names;
  i32 aiPerPhase[3] = {};
  for (const SGameStep& step : ClGame::getSteps()) {
    names.push_back(step.mp_pName);
    ++aiPerPhase[step.m_ePhase];
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << "two steps share a name";
  EXPECT_GT(aiPerPhase[E_GAME_PHASE_START_UP], 0);
  EXPECT_GT(aiPerPhase[E_GAME_PHASE_SECOND_STAGE], 0);
  EXPECT_GT(aiPerPhase[E_GAME_PHASE_SHUT_DOWN], 0);

  useMainArchive();
  std::vector<std::string> log;
  CRecordingMode preLoad("preload", &log);
  ClGame::registerGameMode(E_GAME_MODE_PRELOAD, &preLoad, E_GAME_MODE_LOAD);
  for (const SStepProbe& probe : gc_aFirstStageProbes) {
    const SGameStep* pStep = findStep(probe.pStep);
    ASSERT_NE(pStep, nullptr) << probe.pStep << " is no step of the game";
    EXPECT_EQ(pStep->m_ePhase, E_GAME_PHASE_START_UP) << probe.pStep;
    EXPECT_FALSE(probe.pfnUp()) << probe.pStep << " is up before start-up";
  }
  EXPECT_EQ(ClGame::startUp(), 1);
  for (const SStepProbe& probe : gc_aFirstStageProbes) {
    EXPECT_TRUE(probe.pfnUp()) << probe.pStep << " is not up after start-up";
  }
  EXPECT_EQ(ClInputManager::getActionCount(), NUM_E_GAME_ACTION);
  EXPECT_EQ(ClGraphics::hasGraphicsOption("VSYNC"), 1);
  g_iSelectedWeaponIndex = 2;
  g_iEquipementFocusedRow = 2;
  EXPECT_EQ(ClGame::shutDown(), 1);
  // The equipment screen opens on its first items again, as in a new process.
  EXPECT_EQ(g_iSelectedWeaponIndex + 10 * g_iEquipementFocusedRow, 10);
  for (const SStepProbe& probe : gc_aFirstStageProbes) {
    EXPECT_FALSE(probe.pfnUp()) << probe.pStep << " is still up after shutdown";
  }
  EXPECT_EQ(log, std::vector<std::string>({"preload.enter(0)", "preload.exit"}));
  ClMutexLock::shutdownPool();
  const char* pFirst = nullptr;
  EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 0) << (pFirst ? pFirst : "");
}

// Whole store writes reach this hook; while writes are held the writer waits in it, so its save keeps running.
std::atomic<bool> g_bHoldWrites{false};
std::atomic<int> g_iWrites{0};
void holdWholeWrites(const char*, std::int64_t iWritten, std::int64_t iTotal) {
  if (iWritten != iTotal) {
    return;
  }
  ++g_iWrites;
  while (g_bHoldWrites.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST_F(GameTopLevel, FirstStageMakesTheSaveFolderAndFramesIssueASaveAskedForDuringAnother) {
  const auto setProfile = [](u8 uiValue) { std::memset(mpr_pPlayerProfile, uiValue, sizeof(SPlayerProfile)); };
  ClGame::startUp();
  ASSERT_NE(mpr_pPlayerProfile, nullptr);
  setProfile(1);
  // In the player's folder (the store's), never in the data root the game runs in.
  EXPECT_TRUE(std::filesystem::is_directory("../store/SAVEDATA"));
  EXPECT_FALSE(std::filesystem::exists("SAVEDATA"));

  g_iWrites = 0;
  g_bHoldWrites = true;
  StoreSetWriteHook(&holdWholeWrites);
  ClSaveGameUtility::gameSpecificAutoSave();
  ASSERT_TRUE(eventually([] { return g_iWrites.load() == 1; }));
  // Two requests while the first save is held: kept, not started.
  setProfile(2);
  ClSaveGameUtility::gameSpecificAutoSave();
  setProfile(3);
  ClSaveGameUtility::gameSpecificAutoSave();
  ClGame::tickFrame(0.016f);
  EXPECT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_BUSY);
  EXPECT_TRUE(ClSaveGameUtility::isSaveAgainRequested());
  g_bHoldWrites = false;
  // The frames issue one more save once the first has ended, with the profile as it is then.
  ASSERT_TRUE(eventually([] {
    ClGame::tickFrame(0.016f);
    return g_iWrites.load() == 2 && !ClSaveGameUtility::isSaveRunning() && !ClSaveGameUtility::isSaveAgainRequested();
  }));
  EXPECT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_WRITTEN);
  std::vector<u8> stored(gc_uiSAVE_SNAPSHOT_SIZE + 1);
  EXPECT_EQ(SteamRemoteStorage()->FileRead(gc_szPROFILE_FILE_NAME, stored.data(), std::int32_t(stored.size())),
            std::int32_t(gc_uiSAVE_SNAPSHOT_SIZE));
  stored.resize(gc_uiSAVE_SNAPSHOT_SIZE);
  EXPECT_EQ(stored, std::vector<u8>(gc_uiSAVE_SNAPSHOT_SIZE, 3));
  StoreSetWriteHook(nullptr);

  ClGame::shutDown();
  ClMutexLock::shutdownPool();
  EXPECT_EQ(ClSaveGameUtility::mpr_pSaveGameDataSnapshot, nullptr);
  EXPECT_EQ(g_iWrites.load(), 2);
  EXPECT_EQ(mpr_pPlayerProfile, nullptr);  // freed at shutdown
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

// "PAD_MONKEY" above 0 puts the pad tester behind the input layer; otherwise it stays dormant.
TEST_F(GameTopLevel, PadMonkeySettingInstallsThePadTester) {
  struct SCase {
    const char* pSettings;
    bool bInstalled;
  };
  const SCase aCases[] = {{"PAD_MONKEY 1\n", true}, {"PAD_MONKEY 0\n", false}, {"", false}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pSettings);
    writeSettings(c.pSettings);
    ClGame::startUp();
    g_GAMEInputHooks.initPadMonkey();
    EXPECT_EQ(g_GAMEInputHooks.isPadMonkeyOn(), c.bInstalled);
    ClGame::shutDown();
    ClMutexLock::shutdownPool();
  }
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

// The voice-over gaps run on the frame's own time, whatever the game clock's scale (here 0).
TEST_F(GameTopLevel, FramesAdvanceTheVoiceOverTimersByTheRawFrameTime) {
  // A mode that runs the clocks, as every mode does first in its tick.
  class CClockMode : public CRecordingMode {
   public:
    using CRecordingMode::CRecordingMode;
    i32 tick(f32 fDT) override {
      ClGame::tickClocks(fDT);
      return CRecordingMode::tick(fDT);
    }
  };
  std::vector<std::string> log;
  CClockMode preLoad("preload", &log);
  ClGame::registerGameMode(E_GAME_MODE_PRELOAD, &preLoad, E_GAME_MODE_LOAD);
  ClGame::startUp();
  g_fTimeSinceVoiceOver = 0.0f;
  g_fTimeSinceSpacedVoiceOver = 1.0f;
  ClGameStateMgr::setFloatState(1, 0.0f);
  for (const f32 fDT : {0.25f, 0.5f, 0.125f}) {
    ClGame::tickFrame(fDT);
  }
  EXPECT_EQ(g_fTimeSinceVoiceOver, 0.875f);
  EXPECT_EQ(g_fTimeSinceSpacedVoiceOver, 1.875f);
  EXPECT_EQ(ClClock::m_aClockFrames[1].m_fFrameTime, 0.0f) << "the game clock stood still";
  ClGameStateMgr::setFloatState(1, 1.0f);
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

// The second stage's canvas "UBER", made by its step for screens of each shape: the largest 16:9 rectangle that
// fits, centred (a narrower screen keeps its width, a wider one its height), a canvas unit being a pixel of a
// 1080-line picture.
TEST(GameCanvases, UberIsTheLargestCentred16By9RectangleOfTheScreen) {
  const struct {
    f32 fScreenWidth;
    f32 fScreenHeight;
    SParentWindow uber;
  } aCases[] = {
      {1024.0f, 768.0f, {0.0f, 1024.0f, 96.0f, 672.0f}},     // 4:3
      {2560.0f, 1080.0f, {320.0f, 2240.0f, 0.0f, 1080.0f}},  // 21:9
      {1280.0f, 720.0f, {0.0f, 1280.0f, 0.0f, 720.0f}},      // 16:9
  };
  const SGameStep* pStep = findStep("canvases UBER, FULL, HUD");
  ASSERT_NE(pStep, nullptr);
  ASSERT_EQ(pStep->m_ePhase, E_GAME_PHASE_SECOND_STAGE);
  const f32 fSavedWidth = ClGraphics::mp_fScreenWidth;
  const f32 fSavedHeight = ClGraphics::mp_fScreenHeight;
  f32 afSavedPicture[6];
  std::copy(std::begin(ClGraphics::mp_af2DPicture), std::end(ClGraphics::mp_af2DPicture), afSavedPicture);
  for (const auto& c : aCases) {
    ClGraphics::mp_fScreenWidth = c.fScreenWidth;
    ClGraphics::mp_fScreenHeight = c.fScreenHeight;
    Cl2d::initialise();
    pStep->mp_pfnRun();
    const Cl2dCanvas* pUber = Cl2d::getCanvasByHash(KvStrHash("UBER"));
    const SParentWindow uber = pUber->rect();
    const std::string screen = std::to_string(int(c.fScreenWidth)) + " x " + std::to_string(int(c.fScreenHeight));
    EXPECT_EQ(uber.mp_fLeft, c.uber.mp_fLeft) << screen;
    EXPECT_EQ(uber.mp_fRight, c.uber.mp_fRight) << screen;
    EXPECT_EQ(uber.mp_fTop, c.uber.mp_fTop) << screen;
    EXPECT_EQ(uber.mp_fBottom, c.uber.mp_fBottom) << screen;
    EXPECT_FLOAT_EQ(pUber->mp_fScale, (c.uber.mp_fBottom - c.uber.mp_fTop) / 1080.0f) << screen;
    Cl2d::terminate();
  }
  ClGraphics::mp_fScreenWidth = fSavedWidth;
  ClGraphics::mp_fScreenHeight = fSavedHeight;
  std::copy(std::begin(afSavedPicture), std::end(afSavedPicture), ClGraphics::mp_af2DPicture);
}

}  // namespace
