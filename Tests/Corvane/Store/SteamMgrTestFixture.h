// Shared set-up of the store manager's and the leaderboard front's tests: a fresh store folder with the
// game's achievements, boards, statistics and friends, the store started, and the store manager initialised.
// tick() runs one frame of the manager and marks the time spent inside it, so that listeners can check that
// they are only ever called from the frame.
#pragma once

#include <string>

#include "Corvane/Store/ClSteamLeaderboardDef.h"
#include "Corvane/Store/ClSteamMgr.h"
#include "Corvane/Store/ClTrophyAchMgr.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Tests/Platform/Store/StoreTestFixture.h"

inline bool g_bInsideSteamUpdate = false;

inline constexpr AppId_t gc_uiTEST_APP_ID = 24680;
inline constexpr std::uint64_t gc_ulTEST_USER = 1000;

// The game's store configuration with display texts for every achievement; "extra" is appended.
inline std::string steamMgrTestConfig(AppId_t uiAppId = gc_uiTEST_APP_ID, const std::string& extra = "") {
  std::string text = "[app]\nid = " + std::to_string(uiAppId) +
                     "\ncreate_boards_on_find = 0\n[user]\nid = 1000\nname = Player\n"
                     "[friends]\n21 = Ann\n22 = Ben\n[stats]\nKILLS = int\nDISTANCE = float\n[leaderboards]\n";
  for (const ClSteamLeaderboardDef& def : g_steamLeaderboardDefs) {
    text += std::string("board = ") + def.mp_pName + "\n";
  }
  for (const ClTrophyAchDef& def : ClTrophyAchMgr::mp_achievements) {
    const std::string name = def.mp_pApiName;
    text += "[achievement " + name + "]\nname = Name of " + name + "\ndesc = How to earn " + name +
            "\nhidden = " + (name == "FLYING_BLIND" ? "1" : "0") + "\n";
  }
  return text + extra;
}

class SteamMgrTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    writeConfig(steamMgrTestConfig());
    ASSERT_TRUE(SteamAPI_Init());
    ASSERT_EQ(ClSteamMgr::initialize(), 1);
  }

  void TearDown() override {
    ClSteamMgr::shutdown();
    // Shutting down releases every list.
    const char* pFirst = nullptr;
    EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 0) << "still in use: " << (pFirst ? pFirst : "");
    StoreTest::TearDown();
  }

  static void tick(int iFrames = 1) {
    for (int i = 0; i < iFrames; ++i) {
      g_bInsideSteamUpdate = true;
      ClSteamMgr::update();
      g_bInsideSteamUpdate = false;
    }
  }

  // Ends the store and the manager and starts both again on the same store folder.
  void restartAll() {
    ClSteamMgr::shutdown();
    SteamAPI_Shutdown();
    ASSERT_TRUE(SteamAPI_Init());
    ASSERT_EQ(ClSteamMgr::initialize(), 1);
  }
};
