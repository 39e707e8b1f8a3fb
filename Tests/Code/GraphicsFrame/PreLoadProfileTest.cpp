// The game's road through the pre-load mode with each kind of stored profile: the second start-up stage runs
// exactly once with the profile's video options, input starts after it, defaults are saved only when the profile
// did not load, and a stored file that did not load is kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEProfileSave.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Input/ClRumbleMgr.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Store/StoreApi.h"
#include "Platform/Store/StoreTest.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Code/System/GAMEGameHooks.h"

namespace {

std::atomic<int> g_iProfileWrites{0};
void countProfileWrites(const char* pName, std::int64_t iWritten, std::int64_t iTotal) {
  if (iWritten == iTotal && std::string(pName) == gc_szPROFILE_FILE_NAME) {
    ++g_iProfileWrites;
  }
}

std::vector<u8> storedFile(const char* pName) {
  const std::int32_t iSize = SteamRemoteStorage()->GetFileSize(pName);
  std::vector<u8> bytes(static_cast<size_t>(iSize));
  if (iSize > 0) {
    bytes.resize(static_cast<size_t>(SteamRemoteStorage()->FileRead(pName, bytes.data(), iSize)));
  }
  return bytes;
}

// A profile as a player's game would have stored it: progress, a record, windowed without vsync at 800 x 450.
std::vector<u8> playedProfile() {
  SPlayerProfile profile{};
  profile.m_iVersion = gc_iPROFILE_VERSION;
  ClProfileMgr::resetToDefaults(&profile);
  profile.m_data.m_iStoryChapterReached = 1;
  profile.m_data.m_aLevelRecords[3].m_iBestScore = 12345;
  profile.m_data.m_iMusicVolume = 30;
  profile.m_data.m_bVSync = 0;
  profile.m_data.m_iDisplayWidth = 800;
  profile.m_data.m_iDisplayHeight = 450;
  profile.m_data.m_iDisplayRefreshRate = 60;
  std::vector<u8> bytes(sizeof(profile));
  std::memcpy(bytes.data(), &profile, sizeof(profile));
  return bytes;
}

std::vector<u8> defaultProfile() {
  SPlayerProfile profile{};
  profile.m_iVersion = gc_iPROFILE_VERSION;
  ClProfileMgr::resetToDefaults(&profile);
  std::vector<u8> bytes(sizeof(profile));
  std::memcpy(bytes.data(), &profile, sizeof(profile));
  return bytes;
}

// What a second-stage step leaves that can be seen from outside, named by the step in the game's own table: up
// once the pre-load mode has run the stage, down again after shutdown.
struct SStepProbe {
  const char* pStep;
  bool (*pfnUp)();
};

bool gameDynamicPoolsReady() {
  for (i32 i = 0; i < gc_iNUM_GAME_DYNAMIC_POOLS; ++i) {
    const ClDynamicPool<u32>& pool = ClGame::getDynamicPool(i);
    if (!pool.isInitialized() || pool.getMaxAllocs() != 1 || pool.getCount() != 0) {
      return false;
    }
  }
  return true;
}

const SStepProbe gc_aSecondStageProbes[] = {
    {"ClGraphics::initialize", [] { return ClGraphics::mp_pDevice != nullptr; }},
    {"ClUI::initialise", [] { return ClUI::isInitialised(); }},
    {"Cl2d::initialise", [] { return Cl2d::isInitialised(); }},
    {"signatures", [] { return ClSignatureMgr::isInitialized(); }},
    {"ClJobMgr::initialize", [] { return ClJobMgr::isInitialized(); }},
    {"ClFlipBookMgr::initialize", [] { return ClFlipBookMgr::isInitialized(); }},
    {"fonts", [] { return ClFont::isInitialised(); }},
    {"ClDynamicPool::initialize_Game", &gameDynamicPoolsReady},
    {"lock the scene render targets", [] { return g_pSmallRenderTarget != nullptr && g_pBlurRenderTarget != nullptr; }},
};

// Every probe names a second-stage step of the game's table.
TEST(GameSteps, SecondStageProbesNameStepsOfTheTable) {
  for (const SStepProbe& probe : gc_aSecondStageProbes) {
    const auto steps = ClGame::getSteps();
    const auto it = std::find_if(steps.begin(), steps.end(),
                                 [&](const SGameStep& step) { return std::string(step.mp_pName) == probe.pStep; });
    ASSERT_NE(it, steps.end()) << probe.pStep << " is no step of the game";
    EXPECT_EQ(it->m_ePhase, E_GAME_PHASE_SECOND_STAGE) << probe.pStep;
  }
}

enum class EStored { VALID, MISSING, TRUNCATED, DAMAGED };

struct SCase {
  const char* pName;
  EStored eStored;
};

void PrintTo(const SCase& c, std::ostream* pOut) { *pOut << c.pName; }

class PreLoadProfile : public ::testing::TestWithParam<SCase> {
 protected:
  void SetUp() override {
    GameSpecificInstallHooks();
    m_previous = std::filesystem::current_path();
    const std::string dir = KvTestTempDir(std::string("PreLoadProfile_") + GetParam().pName);
    std::filesystem::create_directories(dir + "/Data");
    for (const char* pFile : {"RWN_win32.mtc", "RWN_win32.mdf", "RWG_win32.mtc", "RWG_win32.mdf"}) {
      std::filesystem::copy_file(KvTestBinaryDir() + "/Data/" + pFile, dir + "/Data/" + pFile);
    }
    std::filesystem::current_path(dir + "/Data");
    // Rumble is asked for in one run only: the second stage starts the rumble manager with the setting.
    std::ofstream("project.ini") << "NOVSYNC 1\n" << (GetParam().eStored == EStored::VALID ? "ENABLE_RUMBLE 1\n" : "");
    setenv("GRINDLOW_STORE_DIR", (dir + "/store").c_str(), 1);
    ASSERT_TRUE(SteamAPI_Init());
    D3D9TestReset();
    // The display offers the played profile's size, which the loaded profile then keeps.
    D3D9TestSetAdapterModes({{D3DFMT_X8R8G8B8, {1280, 720, 60, D3DFMT_X8R8G8B8}},
                             {D3DFMT_X8R8G8B8, {800, 450, 60, D3DFMT_X8R8G8B8}}});
    ClGame::registerGameMode(E_GAME_MODE_PRELOAD, &g_gameModePreLoad, E_GAME_MODE_LOAD,
                             &g_gameModePreLoad.m_eNextGameMode);
  }
  void TearDown() override {
    StoreSetWriteHook(nullptr);
    g_bGameInitialized = 0;
    ClGame::registerGameMode(E_GAME_MODE_PRELOAD, nullptr, E_GAME_MODE_LOAD);
    D3D9TestReset();
    SteamAPI_Shutdown();
    unsetenv("GRINDLOW_STORE_DIR");
    std::filesystem::current_path(m_previous);
    KvTestInstallHookDoubles();
  }
  std::filesystem::path m_previous;
};

TEST_P(PreLoadProfile, ReachesTheSecondStageOnceAndSavesDefaultsOnlyWhenTheProfileDidNotLoad) {
  const EStored eStored = GetParam().eStored;
  std::vector<u8> stored;
  switch (eStored) {
    case EStored::VALID:
      stored = playedProfile();
      break;
    case EStored::MISSING:
      break;
    case EStored::TRUNCATED:
      stored = playedProfile();
      stored.resize(1000);
      break;
    case EStored::DAMAGED:
      stored = playedProfile();
      stored.insert(stored.end(), 77, 0xEE);
      break;
  }
  if (eStored != EStored::MISSING) {
    ASSERT_TRUE(SteamRemoteStorage()->FileWrite(gc_szPROFILE_FILE_NAME, stored.data(), std::int32_t(stored.size())));
  }
  g_iProfileWrites = 0;
  StoreSetWriteHook(&countProfileWrites);

  ClGame::startUp();
  ASSERT_TRUE(eventually([] {
    ClGame::tickFrame(0.016f);
    return g_bGameInitialized != 0;
  }));
  // The second stage ran once: the device it made stays the one in use over the next frames.
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  ASSERT_NE(pDevice, nullptr);
  for (int i = 0; i < 5; ++i) {
    ClGame::tickFrame(0.016f);
  }
  EXPECT_EQ(ClGraphics::mp_pDevice, pDevice);
  for (const SStepProbe& probe : gc_aSecondStageProbes) {
    EXPECT_TRUE(probe.pfnUp()) << probe.pStep << " is not up after the second stage";
  }
  EXPECT_EQ(ClInputManager::m_bInitialized, 1u);
  EXPECT_NE(ClInputManager::getMenusMapper(), nullptr);
  EXPECT_NE(ClInputManager::getGameplayMapper(), nullptr);
  EXPECT_EQ(ClRumbleMgr::mp_bEnabled, eStored == EStored::VALID ? 1u : 0u);
  const bool bLoads = eStored == EStored::VALID;
  EXPECT_EQ(g_uiAutoLoadState.load(), bLoads ? gc_uiAUTO_LOAD_LOADED : gc_uiAUTO_LOAD_FAILED);
  EXPECT_EQ(g_iProfileWrites.load(), bLoads ? 0 : 1);
  std::vector<u8> inMemory(gc_uiPLAYER_PROFILE_SIZE);
  std::memcpy(inMemory.data(), mpr_pPlayerProfile, inMemory.size());
  EXPECT_EQ(inMemory, bLoads ? stored : defaultProfile());
  EXPECT_EQ(storedFile(gc_szPROFILE_FILE_NAME), bLoads ? stored : defaultProfile());
  const bool bKept = eStored == EStored::TRUNCATED || eStored == EStored::DAMAGED;
  EXPECT_EQ(storedFile(gc_szPROFILE_KEPT_FILE_NAME), bKept ? stored : std::vector<u8>{});
  // The window was asked for with the profile's video options.
  EXPECT_EQ(*ClGraphics::accessGraphicsOption("VSYNC"), bLoads ? 0 : 1);
  EXPECT_EQ(*ClGraphics::accessGraphicsOption("FULLSCREEN"), 0);
  if (bLoads) {
    EXPECT_EQ(*ClGraphics::accessGraphicsOption("RES_X"), 800);
    EXPECT_EQ(*ClGraphics::accessGraphicsOption("RES_Y"), 450);
  } else {
    // No resolution chosen (height -1): the graphics code picks the size, no option is set for it.
    EXPECT_EQ(ClGraphics::hasGraphicsOption("RES_X"), 0);
    EXPECT_EQ(ClGraphics::hasGraphicsOption("RES_Y"), 0);
  }

  ClGame::shutDown();
  for (const SStepProbe& probe : gc_aSecondStageProbes) {
    EXPECT_FALSE(probe.pfnUp()) << probe.pStep << " is still up after shutdown";
  }
  ClMutexLock::shutdownPool();
  EXPECT_EQ(mpr_pPlayerProfile, nullptr);
  const char* pFirst = nullptr;
  EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 0) << (pFirst ? pFirst : "");
}

INSTANTIATE_TEST_SUITE_P(Stored, PreLoadProfile,
                         ::testing::Values(SCase{"Valid", EStored::VALID}, SCase{"Missing", EStored::MISSING},
                                           SCase{"Truncated", EStored::TRUNCATED},
                                           SCase{"Damaged", EStored::DAMAGED}),
                         [](const ::testing::TestParamInfo<SCase>& info) { return std::string(info.param.pName); });

}  // namespace
