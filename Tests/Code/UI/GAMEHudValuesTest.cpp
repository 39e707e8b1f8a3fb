// The in-game HUD's values worked out from the run's state: each table holds the vectors of one HUD update.
#include <gtest/gtest.h>

#include <string>

#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEHudValues.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

TEST(HudValues, ScoreIsShownToTheNearestFive) {
  const struct {
    i32 iScore, iShown;
  } aCases[] = {{12, 10}, {13, 15}, {2, 0}, {0, 0}, {3, 5}, {17, 15}, {18, 20}, {123456, 123455}};
  for (const auto& c : aCases) EXPECT_EQ(HudValues::roundedScore(c.iScore), c.iShown) << c.iScore;
}

// The best score to beat comes from the record of the game being played, and is never below the score itself; the
// daily game keeps no record, so its best starts at 0.
TEST(HudValues, BestScoreReadsTheRecordOfTheGameType) {
  SPlayerProfileData profile{};
  profile.m_aLevelRecords[1 * gc_iPROFILE_LEVEL_SLOTS_PER_CHAPTER + 4].m_iBestScore = 700;
  profile.m_marathon.m_iBestScore = 1100;
  profile.m_marathonExtreme.m_iBestScore = 1200;
  profile.m_marathonUltra.m_iBestScore = 1600;
  profile.m_survivor.m_iBestScore = 1300;
  profile.m_survivorHardcore.m_iBestScore = 1400;
  const struct {
    i32 iGameType, iChapter, iLevel, iRounded, iBest;
  } aCases[] = {{0, 1, 4, 500, 700}, {0, 1, 4, 900, 900}, {0, 0, 4, 5, 5},       {1, 0, 0, 10, 1100},
                {2, 0, 0, 10, 1200}, {3, 0, 0, 10, 1300}, {4, 0, 0, 10, 1400}, {6, 0, 0, 10, 1600},
                {6, 0, 0, 2000, 2000}, {5, 0, 0, 0, 0},      {5, 2, 7, 35, 35}};
  for (const auto& c : aCases) {
    EXPECT_EQ(HudValues::bestScore(c.iRounded, c.iGameType, c.iChapter, c.iLevel, profile), c.iBest)
        << "game type " << c.iGameType << ", score " << c.iRounded;
  }
  for (i32 iGameType : {7, -1}) {
    SCOPED_TRACE(iGameType);
    EXPECT_KV_FATAL(HudValues::bestScore(0, iGameType, 0, 0, profile), "UNSUPPORTED GAME MODE");
  }
}

TEST(HudValues, LevelPercentAndTimeLeftBelongToTheirGameTypes) {
  const struct {
    i32 iGameType;
    bool bPercent, bTime;
  } aTypes[] = {{0, true, false}, {1, true, false}, {2, true, false}, {3, false, true},
                {4, false, true}, {5, false, true}, {6, true, false}};
  for (const auto& c : aTypes) {
    EXPECT_EQ(HudValues::showsLevelPercent(c.iGameType), c.bPercent) << c.iGameType;
    EXPECT_EQ(HudValues::showsTimeLeft(c.iGameType), c.bTime) << c.iGameType;
  }
  const struct {
    f32 fCameraX, fLength;
    i32 iPercent;
  } aPercents[] = {{250.0f, 1000.0f, 25}, {999.0f, 1000.0f, 99}, {1500.0f, 1000.0f, 100}, {300.0f, 0.0f, 0},
                   {300.0f, -5.0f, 0},    {0.0f, 1000.0f, 0}};
  for (const auto& c : aPercents) {
    EXPECT_EQ(HudValues::levelPercent(c.fCameraX, c.fLength), c.iPercent) << c.fCameraX << " of " << c.fLength;
  }
  const struct {
    f32 fTimeLeft;
    const char* pText;
  } aTimes[] = {{75.0f, "1:15"}, {-0.5f, "0:00"}, {60.999f, "1:00"}, {9.99f, "0:09"}, {0.0f, "0:00"}, {600.0f, "10:00"}};
  for (const auto& c : aTimes) EXPECT_EQ(HudValues::timeLeftText(c.fTimeLeft), c.pText) << c.fTimeLeft;
}

TEST(HudValues, HealthBarsAndCharacterIconFollowTheHitPoints) {
  ClTestPlayer player;
  const struct {
    i32 iHitPoints, iBars, iIcon;
  } aCases[] = {{5, 3, 1}, {3, 3, 1}, {2, 2, 2}, {1, 1, 3}, {0, 0, 4}, {-2, 0, 4}};
  for (const auto& c : aCases) {
    player.m_iHitPoints = c.iHitPoints;
    EXPECT_EQ(HudValues::healthBars(&player), c.iBars) << c.iHitPoints;
    EXPECT_EQ(HudValues::characterIcon(HudValues::healthBars(&player)), c.iIcon) << c.iHitPoints;
  }
  EXPECT_EQ(HudValues::healthBars(nullptr), 0);
  EXPECT_EQ(HudValues::characterIcon(HudValues::healthBars(nullptr)), 4);
}

TEST(HudValues, ComboPipsAndTheirTiming) {
  const struct {
    i32 iStreak, iPips;
  } aPips[] = {{0, 0}, {9, 9}, {10, 0}, {19, 9}, {20, 0}, {31, 11}, {35, 15}};
  for (const auto& c : aPips) EXPECT_EQ(HudValues::comboPips(c.iStreak), c.iPips) << c.iStreak;
  // A pip lit at phase 0 waits for the loop's next boundary, 1.09 s away; later pips wait for the same boundaries.
  const struct {
    f32 fTimer, fDelay;
  } aDelays[] = {{0.0f, 1.09f}, {1.0f, 0.09f}, {1.2f, 1.47f}, {3.0f, 1.25f}, {-1.0f, 0.51f}};
  for (const auto& c : aDelays) EXPECT_NEAR(HudValues::pipDelay(c.fTimer), c.fDelay, 1e-4f) << c.fTimer;
  ClTestPlayer player;
  for (i32 iState = 0; iState < 14; ++iState) {
    player.m_eState = iState;
    EXPECT_EQ(HudValues::isPlayerPowered(&player), iState >= 5 && iState <= 7) << iState;
  }
  EXPECT_FALSE(HudValues::isPlayerPowered(nullptr));
}

TEST(HudValues, BombWeaponAndLevelBar) {
  const char* const apBombs[] = {"IM-HUD-Bomb-2", "IM-HUD-Bomb-1", "IM-HUD-Bomb-3"};
  const char* const apWeapons[] = {"IM-HUD-Powerup-1", "IM-HUD-Powerup-2", "IM-HUD-Powerup-3"};
  for (i32 i = 0; i < 3; ++i) {
    EXPECT_STREQ(HudValues::bombTexture(i), apBombs[i]) << i;
    EXPECT_STREQ(HudValues::weaponTexture(i), apWeapons[i]) << i;
  }
  EXPECT_KV_FATAL(HudValues::bombTexture(3), "Unhandled case");
  EXPECT_KV_FATAL(HudValues::weaponTexture(-1), "Unhandled case");
  const struct {
    f32 fMeter, fWidth, fCapX;
  } aBars[] = {{3.0f, 41.0f, 56.0f}, {1.5f, 20.5f, 35.5f}, {0.0f, 0.0f, 15.0f}, {4.0f, 164.0f / 3.0f, 15.0f + 164.0f / 3.0f}};
  for (const auto& c : aBars) {
    const f32 fWidth = HudValues::levelBarWidth(c.fMeter);
    EXPECT_FLOAT_EQ(fWidth, c.fWidth) << c.fMeter;
    EXPECT_FLOAT_EQ(fWidth + gc_fHUD_BAR_X - gc_fHUD_BAR_CAP_OVERLAP, c.fCapX) << c.fMeter;
  }
}

TEST(HudValues, ControllerImagesFollowTheKeyboardPromptFlag) {
  const struct {
    bool bKeyboard;
    const char* pName;
    const char* pShown;
    bool bChanged;
  } aCases[] = {{true, "IM-Controller-A", "IM-Controller-A-KB", true},
                {true, "IM-Controller-A-KB", "IM-Controller-A-KB", false},
                {false, "IM-Controller-A-KB", "IM-Controller-A", true},
                {false, "IM-Controller-B", "IM-Controller-B", false},
                {false, "IM-Controller-A-KB-Wide", "IM-Controller-A", true},
                {true, "", "-KB", true}};
  for (const auto& c : aCases) {
    std::string name = c.pName;
    EXPECT_EQ(HudValues::controllerTexture(c.bKeyboard, &name), c.bChanged) << c.pName;
    EXPECT_EQ(name, c.pShown) << c.pName;
  }
}

}  // namespace
