// Levels played by the game itself: "SKIP_UI" goes from the front end straight into the Action mode, which sets
// up the level chosen (by default the first story level of the sample "Levels"); the random-input tester
// ("MONKEY_SCHEME") plays it with a fixed seed and frame time until the level's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/UI/GAMEScreenPause.h"
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
    m_bMixedByTheTest = true;
    smallWindow();
    GameFrame::SetUp();
  }

  // Frames of 1/60 s (their sound mixed) from the front end into the Action mode and on until the results screen
  // (or 150 s).
  static SPlayedLevel playFirstLevel() {
    SPlayedLevel played;
    for (int i = 0; i < 10 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i) tickMixed();
    EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
    EXPECT_EQ(g_iGameType, 0) << "SKIP_UI plays the story";
    while (played.iFrames < 150 * 60 && g_bResultsShown == 0) {
      tickMixed();
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

// Every sample level ends soon after its last enemy: each story level, the first two marathon levels in a row, one
// at triple speed, and the first survivor wave, each in a game of its own without drawing ("NOGFX"). The player is
// kept alive (its hit points topped up before every frame: the level's end is measured here, not the fight) and a
// pause the tester opens is resumed at once. Times are the game's clock, frames of 1/60 s, each with its sound
// mixed (m_bMixedByTheTest), so the seeded game plays the same however fast the machine runs it.
struct SLevelEnd {
  i32 iType;
  i32 iChapter;
  i32 iLevel;
  i32 iEnds;  // levels (or waves) played in a row
};

std::string levelEndName(const ::testing::TestParamInfo<SLevelEnd>& info) {
  const SLevelEnd& c = info.param;
  return "Type" + std::to_string(c.iType) + "_" + std::to_string(c.iChapter + 1) + "_" + std::to_string(c.iLevel + 1);
}
void PrintTo(const SLevelEnd& c, std::ostream* pOut) {
  *pOut << levelEndName(::testing::TestParamInfo<SLevelEnd>(c, 0)) << " x" << c.iEnds;
}

// The story levels are a check of the data, which the sanitizers have nothing to add to: their builds play the
// first and last level of each chapter and the three that a trailing enemy once held open.
std::vector<SLevelEnd> everyLevel() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const bool bSanitized = true;
#else
  const bool bSanitized = false;
#endif
  std::vector<SLevelEnd> cases;
  for (i32 i = 0; i < 24; ++i) {
    const i32 iLevel = i % 8;
    if (bSanitized && iLevel != 0 && iLevel != 7 && i != 3 && i != 5) continue;
    cases.push_back({0, i / 8, iLevel, 1});
  }
  cases.push_back({1, 0, 0, 2});
  cases.push_back({6, 0, 0, 1});
  cases.push_back({3, 0, 0, 1});
  return cases;
}

class LevelEnd : public GameFrame, public ::testing::WithParamInterface<SLevelEnd> {
 protected:
  void SetUp() override {
    m_settings += "SKIP_SPLASH 1\nSKIP_UI 1\nRANDOM_SEED 1234\nMONKEY_SCHEME Scheme_InGame\nNOGFX 1\nDISABLE_VO 1\n";
    m_bUntilLoadEnds = true;
    m_bMixedByTheTest = true;
    GameFrame::SetUp();
  }
};

TEST_P(LevelEnd, ComesWithinTenSecondsOfTheLastEnemy) {
  const SLevelEnd& c = GetParam();
  GAMESetRootValue("_mode_selected", c.iType);
  g_iSelectedChapter = c.iChapter;
  g_iSelectedLevel = c.iLevel;
  for (int i = 0; i < 10 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i) tickMixed();
  ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
  ASSERT_EQ(g_iGameType, c.iType);
  const bool bSurvivor = c.iType == 3;
  for (i32 iEnd = 0; iEnd < c.iEnds; ++iEnd) {
    SCOPED_TRACE("level " + std::to_string(g_iChapter + 1) + "-" + std::to_string(g_iLevel + 1) + " wave " +
                 std::to_string(g_iWave));
    const i32 iStage = g_iChapter * 100 + g_iLevel * 10 + g_iWave;
    // Frames since the level began: when its last row came (its time ran out, in survivor) and when an enemy
    // was last on screen; -1 until then.
    i32 iFrame = 0, iLastRow = -1, iLastEnemy = -1;
    const auto ended = [&] {
      return g_bResultsShown != 0 || g_eCurrentGameMode != E_GAME_MODE_ACTION ||
             g_iChapter * 100 + g_iLevel * 10 + g_iWave != iStage;
    };
    while (!ended() && iFrame < 300 * 60) {
      if (g_pPlayer != nullptr) g_pPlayer->m_iHitPoints = 3;
      if (GAMEGetRootValue("HowToPlayFromGame", 0) != 0) {
        systemHowToPlayBackClick(nullptr, nullptr);
      } else if (GAMEGetRootValue("PauseGame", 0) != 0) {
        systemUnpauseAndReturnToGame(nullptr, nullptr);
      }
      tickMixed();
      ++iFrame;
      const bool bRowsDone = bSurvivor ? g_fTimeLeft <= 0.0f : g_iNextSpawnRow >= g_spawnRows.getCount();
      if (bRowsDone && iLastRow < 0) iLastRow = iFrame;
      if (levelEnemyOnScreen()) iLastEnemy = iFrame;
    }
    ASSERT_TRUE(ended()) << "no end within 300 s";
    ASSERT_GE(iLastRow, 0);
    EXPECT_LE(iFrame - std::max(iLastRow, iLastEnemy), 10 * 60) << "after the last enemy";
    // The last row is created 404 units ahead of the player: every sample enemy has met or passed it and left
    // well within 25 s, even while the tester stops to fight; an enemy trailing or pacing the player held levels
    // open for one to four minutes.
    EXPECT_LE(iFrame - iLastRow, 25 * 60) << "after the last row";
  }
}

INSTANTIATE_TEST_SUITE_P(EverySampleLevel, LevelEnd, ::testing::ValuesIn(everyLevel()), levelEndName);

}  // namespace
