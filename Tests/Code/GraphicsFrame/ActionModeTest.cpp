// A level played by the game itself: "SKIP_UI" goes from the front end straight into the Action mode, which sets
// up the first story level of the sample "Levels"; the random-input tester ("MONKEY_SCHEME") plays it with a fixed
// seed and frame time until the level's end shows the results screen.
#include <gtest/gtest.h>

#include <string>

#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/Math/KvRandom.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"

namespace {

struct SPlayedLevel {
  i32 iFrames = 0;
  i32 iScore = 0;
  i32 iKills = 0;
  i32 iPlayerState = -1;
  i32 iHitPoints = -1;
  i32 iRowsSpawned = 0;
  u32 uiDraws = 0;
  bool bResults = false;
  bool operator==(const SPlayedLevel&) const = default;
};

class ActionPlay : public GameFrame {
 protected:
  void SetUp() override {
    m_settings += "SKIP_SPLASH 1\nSKIP_UI 1\nRANDOM_SEED 1234\nMONKEY_SCHEME Scheme_InGame\n";
    m_bUntilLoadEnds = true;
    GameFrame::SetUp();
  }

  // Frames of 1/60 s from the front end into the Action mode and on until the results screen (or 150 s).
  static SPlayedLevel playFirstLevel() {
    SPlayedLevel played;
    for (int i = 0; i < 10 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i) ClGame::tickFrame(1.0f / 60.0f);
    EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
    EXPECT_EQ(g_iGameType, 0) << "SKIP_UI plays the story";
    while (played.iFrames < 150 * 60 && g_bResultsShown == 0) {
      ClGame::tickFrame(1.0f / 60.0f);
      ++played.iFrames;
    }
    played.bResults = g_bResultsShown != 0;
    played.iScore = g_iScore;
    played.iKills = g_iEnemiesKilled;
    played.iPlayerState = g_pPlayer != nullptr ? g_pPlayer->m_eState : -1;
    played.iHitPoints = g_pPlayer != nullptr ? g_pPlayer->m_iHitPoints : -1;
    played.iRowsSpawned = g_iNextSpawnRow;
    played.uiDraws = KvRandomGetDrawCount();
    return played;
  }
};

TEST_F(ActionPlay, TheFirstLevelPlaysToItsEndTheSameWayTwice) {
  const SPlayedLevel first = playFirstLevel();
  EXPECT_TRUE(first.bResults) << "the level ended within 150 s";
  EXPECT_GT(first.iRowsSpawned, 0);
  EXPECT_GT(first.uiDraws, 0u);
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
  std::printf("first level: %d frames, score %d, %d kills, player state %d with %d hit points, %d rows, %u draws\n",
              first.iFrames, first.iScore, first.iKills, first.iPlayerState, first.iHitPoints, first.iRowsSpawned,
              first.uiDraws);
  TearDown();
  SetUp();
  const SPlayedLevel second = playFirstLevel();
  EXPECT_EQ(second, first);
}

}  // namespace
