// The run state's frame: multiplier by kill streak, "MultiplierUp", the super meter, camera follow, survivor
// crates, the player's creation through the factory and the freed player's pointer.
#include <gtest/gtest.h>

#include <cmath>

#include "Code/Objects/GAMERunState.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

class RunStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(m_world.loadEnemies(KvTestEnemyScript(
                  {{"Walker", "HitPoints = 3.0"}, {"PickupWeaponCrate", ""}, {"PickupSupportCrate", ""}})),
              "");
    ClSpawnMgr::initialize();
  }
  void frame(f32 dt = 1.0f / 60.0f) {
    ClClock::m_aClockFrames[0].m_fFrameTime = dt;
    ClClock::m_aClockFrames[1].m_fFrameTime = dt;
    updateScoreAndCombo();
  }
  i32 countType(const char* pType) const {
    i32 iCount = 0;
    for (i32 i = 0; i < g_entityList.getCount(); ++i) {
      const ClEntityEnemy* p = ClEntityEnemy::hitTarget(g_entityList[i]);
      iCount += p != nullptr && p->typeIs(pType) ? 1 : 0;
    }
    return iCount;
  }
  ClWorldHarness m_world;
};

TEST_F(RunStateTest, MultiplierFollowsTheStreakAndDoublesInPowerStates) {
  struct SCase {
    i32 iStreak;
    i32 eState;
    f32 fMultiplier;
  };
  const SCase aCases[] = {
      {0, 0, 1.0f},  {9, 0, 1.0f},  {10, 0, 2.0f}, {19, 0, 2.0f}, {20, 0, 3.0f}, {29, 0, 3.0f}, {30, 0, 4.0f},
      {99, 0, 4.0f}, {9, 5, 2.0f},  {10, 6, 4.0f}, {29, 7, 6.0f}, {30, 5, 8.0f}, {30, 4, 4.0f}, {30, 8, 4.0f},
  };
  ClTestPlayer& player = m_world.addPlayer(100.0f, 1);
  for (const SCase& c : aCases) {
    g_iKillStreak = c.iStreak;
    player.m_eState = c.eState;
    g_fTimeSinceKill = 5.0f;
    frame();
    EXPECT_EQ(g_fMultiplier, c.fMultiplier) << "streak " << c.iStreak << " state " << c.eState;
    EXPECT_EQ(isPlayerPowered(), c.eState >= 5 && c.eState <= 7);
    // A super weapon holds the time since the last kill at 0.
    EXPECT_EQ(g_fTimeSinceKill == 0.0f, isPlayerPowered()) << "streak " << c.iStreak;
  }
}

TEST_F(RunStateTest, MultiplierUpPlaysOnEachRiseOutsidePowerStates) {
  struct SStep {
    i32 iStreak;
    i32 eState;
    i32 iCues;       // "MultiplierUp" plays so far
    i32 iVoiceOver;  // the voice-over category of this frame, -1 none
  };
  const SStep aSteps[] = {
      {0, 0, 0, -1},  {10, 0, 1, 1},  {10, 0, 1, -1}, {20, 0, 2, 2},  {30, 0, 3, 3},  {45, 0, 3, -1},
      {0, 0, 3, -1},  // hit: the drop plays nothing
      {10, 0, 4, 1},  // back to 2.0 plays again
      {20, 5, 4, -1},  // rising while powered plays nothing
      {20, 0, 4, -1},  // and leaving the power state at the same streak neither
  };
  ClTestPlayer& player = m_world.addPlayer(100.0f, 1);
  const u32 uiCue = KvStrHash("MultiplierUp");
  for (const SStep& step : aSteps) {
    g_iKillStreak = step.iStreak;
    player.m_eState = step.eState;
    const size_t uiVoiceOvers = m_world.m_services.m_voiceOvers.size();
    frame();
    EXPECT_EQ(m_world.m_services.cueCount("MultiplierUp"), step.iCues) << "streak " << step.iStreak;
    if (step.iVoiceOver < 0) {
      EXPECT_EQ(m_world.m_services.m_voiceOvers.size(), uiVoiceOvers);
    } else {
      ASSERT_EQ(m_world.m_services.m_voiceOvers.size(), uiVoiceOvers + 1);
      EXPECT_EQ(m_world.m_services.m_voiceOvers.back(), step.iVoiceOver);
    }
  }
  EXPECT_NE(uiCue, 0u);
}

TEST_F(RunStateTest, SuperMeterIsCappedAndItsFirstUseAnnounced) {
  g_fSuperMeter = 0.9f;
  frame();
  EXPECT_LT(g_fPowerReadyTime, 0.0f);
  g_fSuperMeter = 5.5f;  // a star group's reward on top of a full meter
  frame(0.1f);
  EXPECT_EQ(g_fSuperMeter, 4.0f);
  EXPECT_EQ(g_fPowerReadyTime, 3.0f);
  frame(0.5f);
  EXPECT_FLOAT_EQ(g_fPowerReadyTime, 2.5f);
  g_fSuperMeter = 4.5f;  // already above 1.0: no new banner
  frame(0.5f);
  EXPECT_FLOAT_EQ(g_fPowerReadyTime, 2.0f);
  EXPECT_EQ(g_fSuperMeter, 4.0f);
}

TEST_F(RunStateTest, CameraFollowsThePlayerWithItsShake) {
  struct SCase {
    f32 fPlayerX;
    i32 eState;
    f32 fShakeTime;
    i32 iHold;  // 0 none, 1 results shown, 2 level won, 3 fade-out
    f32 fCameraX;
    f32 fCameraY;
  };
  const SCase aCases[] = {
      {300.0f, 0, 0.0f, 0, 220.0f, 0.0f},
      {40.0f, 0, 0.0f, 0, 0.0f, 0.0f},      // never left of 0
      {300.0f, 0, 0.5f, 0, 221.0f, 1.0f},   // shake amplitude twice the time, phase 0
      {300.0f, 10, 0.0f, 0, -7.0f, -7.0f},  // a magic special: the camera stays
      {300.0f, 13, 0.0f, 0, -7.0f, -7.0f},  // the level-end run
      {300.0f, 0, 0.0f, 1, -7.0f, -7.0f},
      {300.0f, 0, 0.0f, 2, -7.0f, -7.0f},
      {300.0f, 0, 0.0f, 3, -7.0f, -7.0f},
  };
  ClTestPlayer& player = m_world.addPlayer(0.0f, 1);
  for (const SCase& c : aCases) {
    g_fWorldCameraX = -7.0f;
    g_fWorldCameraY = -7.0f;
    player.m_vPosition[0] = c.fPlayerX;
    player.m_eState = c.eState;
    g_fShakeTime = c.fShakeTime;
    g_fShakeClock = 0.0f;
    g_bResultsShown = c.iHold == 1;
    g_bLevelWon = c.iHold == 2;
    g_bFadeOut = c.iHold == 3;
    updateCameraFollow();
    EXPECT_FLOAT_EQ(g_fWorldCameraX, c.fCameraX) << "player x " << c.fPlayerX << " state " << c.eState;
    EXPECT_FLOAT_EQ(g_fWorldCameraY, c.fCameraY) << "player x " << c.fPlayerX << " state " << c.eState;
  }
  // The phase clock runs the shake: a quarter turn of x puts the x offset at 0.
  player.m_eState = 0;
  g_bResultsShown = g_bLevelWon = g_bFadeOut = 0;
  g_fShakeTime = 0.5f;
  g_fShakeClock = static_cast<f32>(M_PI / 80.0);
  updateCameraFollow();
  EXPECT_NEAR(g_fWorldCameraX, 220.0f, 1e-4f);
  EXPECT_NEAR(g_fWorldCameraY, std::cos(static_cast<f32>(M_PI / 2.0) * 1.618034f), 1e-5f);
}

TEST_F(RunStateTest, ShakeCountsDownToZeroAndThePhaseClockRuns) {
  g_fShakeTime = 0.25f;
  frame(0.1f);
  EXPECT_FLOAT_EQ(g_fShakeTime, 0.15f);
  frame(0.2f);
  EXPECT_EQ(g_fShakeTime, 0.0f);
  EXPECT_FLOAT_EQ(g_fShakeClock, 0.3f);
}

TEST_F(RunStateTest, SurvivorCratesFollowStreaksOfThirty) {
  struct SCase {
    i32 iGameType;
    i32 iStreak;
    i32 bDue;
    i32 bPending;
    f32 fTimeLeft;
    i32 iWeaponCrates;
    i32 iSupportCrates;
    i32 bPendingAfter;
    i32 bBanner;
  };
  const SCase aCases[] = {
      {3, 30, 1, 0, 30.0f, 1, 0, 0, 1},  // earned and placed
      {4, 60, 1, 0, 10.0f, 1, 0, 0, 1},  // 10 s left is enough
      {3, 30, 0, 0, 30.0f, 0, 0, 0, 0},  // no kill since the last crate
      {3, 29, 1, 0, 30.0f, 0, 0, 0, 0},  // not a multiple of 30
      {3, 0, 1, 0, 30.0f, 0, 0, 0, 0},   // a streak of 0 earns nothing
      {0, 30, 1, 0, 30.0f, 0, 0, 0, 0},  // story play has no crates
      {5, 30, 1, 0, 30.0f, 0, 0, 0, 0},  // nor the daily level
      {3, 30, 1, 0, 9.0f, 0, 0, 1, 1},   // held with too little time, banner shown now
      {3, 7, 0, 1, 9.5f, 0, 0, 1, 0},    // still held: no second banner
      {3, 7, 0, 1, 40.0f, 1, 0, 0, 0},   // given at the first frame with time enough
  };
  for (const SCase& c : aCases) {
    EntityList::destroyAll();
    EntityList::initialize();
    g_iGameType = c.iGameType;
    createPlayer(0);
    g_iKillStreak = c.iStreak;
    g_bCrateDue = c.bDue;
    g_bCratePending = c.bPending;
    g_fTimeLeft = c.fTimeLeft;
    g_bWeaponCrateNext = 1;
    g_bCrateBanner = 0;
    g_fCrateBannerTime = 0.0f;
    g_fSpawnBase = 1000.0f;
    frame();
    const i32 iCrates = c.iWeaponCrates + c.iSupportCrates;
    EXPECT_EQ(countType("PickupWeaponCrate"), c.iWeaponCrates) << "type " << c.iGameType << " streak " << c.iStreak;
    EXPECT_EQ(countType("PickupSupportCrate"), c.iSupportCrates);
    EXPECT_EQ(g_bCratePending, c.bPendingAfter);
    EXPECT_EQ(g_bCrateBanner, c.bBanner);
    EXPECT_EQ(g_fCrateBannerTime, c.bBanner ? 4.0f : 0.0f);
    EXPECT_EQ(g_fSpawnBase, iCrates > 0 ? 1400.0f : 1000.0f);
    EXPECT_EQ(g_bWeaponCrateNext, iCrates > 0 ? 0 : 1);
    if (iCrates > 0) {
      EXPECT_EQ(g_bCrateDue, 0);
    }
    EntityList::destroyAll();
    EntityList::initialize();
  }
}

TEST_F(RunStateTest, SurvivorCratesAlternateAndLieAheadOfTheCamera) {
  g_iGameType = 3;
  g_fTimeLeft = 50.0f;
  m_world.addPlayer(600.0f, 1);
  const u32 uiDraws = KvRandomGetDrawCount();
  for (i32 k = 0; k < 4; ++k) {
    g_iKillStreak = 30 * (k + 1);
    g_bCrateDue = 1;
    frame();
  }
  EXPECT_EQ(countType("PickupWeaponCrate"), 2);
  EXPECT_EQ(countType("PickupSupportCrate"), 2);
  EXPECT_EQ(KvRandomGetDrawCount() - uiDraws, 4u);  // one lane draw a crate
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    const ClEntityEnemy* pCrate = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pCrate == nullptr) continue;
    // The camera follows the player (x - 80); the crate stands 520 ahead plus its frame's anchor.
    EXPECT_FLOAT_EQ(pCrate->m_vPosition[0], 520.0f + 520.0f + pCrate->m_mainAnim.getCurFrame()->mp_fAnchorX);
    EXPECT_TRUE(pCrate->m_crateContent.getLength() == 0);
  }
}

TEST_F(RunStateTest, CreatePlayerStartsFreshOrKeepsTheRun) {
  struct SCase {
    i32 iGameType;
    i32 bKeepState;
    f32 fX;
    bool bFresh;
  };
  const SCase aCases[] = {
      {0, 0, -75.0f, true}, {0, 1, -75.0f, true},  // story always starts at 0
      {1, 1, -75.0f, false}, {2, 0, -75.0f, true}, {3, 1, 100.0f, false},
      {4, 0, 100.0f, true}, {5, 1, 100.0f, false}, {6, 1, 100.0f, false},
  };
  for (const SCase& c : aCases) {
    EntityList::destroyAll();
    EntityList::initialize();
    g_iGameType = c.iGameType;
    g_iScore = 1234;
    g_fSuperMeter = 2.5f;
    g_iMagicCharges = 0;
    g_iMagicKind = 0;
    g_iDefaultMagicKind = 1;
    g_iKillStreak = 12;
    g_fMultiplier = 2.0f;
    g_bCratePending = 1;
    g_runStatistics = {7, 8, 9, 10, 11};
    g_fShakeTime = 1.0f;
    g_fShakeClock = 3.0f;
    g_fMessageTime = 2.0f;
    createPlayer(c.bKeepState);
    ASSERT_NE(g_pPlayer, nullptr);
    ASSERT_EQ(g_entityList.getCount(), 1);
    EXPECT_EQ(g_entityList[0], g_pPlayer);
    EXPECT_EQ(g_pPlayer, m_world.m_services.m_madePlayers.back());
    EXPECT_EQ(m_world.m_services.m_madePlayers.back()->m_bResetKeepState, c.bKeepState);
    EXPECT_EQ(g_pPlayer->m_vPosition[0], c.fX) << "type " << c.iGameType;
    EXPECT_EQ(g_pPlayer->m_vPosition[1], 100.0f);
    EXPECT_EQ(g_fShakeTime, 0.0f);
    EXPECT_EQ(g_fShakeClock, 0.0f);
    EXPECT_EQ(g_fMessageTime, 0.0f);
    EXPECT_EQ(g_iScore, c.bFresh ? 0 : 1234) << "type " << c.iGameType << " keep " << c.bKeepState;
    EXPECT_EQ(g_fSuperMeter, c.bFresh ? 0.0f : 2.5f);
    EXPECT_EQ(g_iMagicCharges, c.bFresh ? 1 : 0);
    EXPECT_EQ(g_iMagicKind, c.bFresh ? 1 : 0);
    EXPECT_EQ(g_iKillStreak, c.bFresh ? 0 : 12);
    EXPECT_EQ(g_fMultiplier, c.bFresh ? 1.0f : 2.0f);
    EXPECT_EQ(g_bCratePending, c.bFresh ? 0 : 1);
    EXPECT_EQ(g_runStatistics.m_iResultsWord, c.bFresh ? 0 : 7);
    EXPECT_EQ(g_iEnemiesKilled, c.bFresh ? 0 : 8);
    EXPECT_EQ(g_iBestStreak, c.bFresh ? 0 : 9);
    EXPECT_EQ(g_iPlayerDistance, c.bFresh ? 0 : 10);
    EXPECT_EQ(g_runStatistics.m_iSpare, c.bFresh ? 0 : 11);
  }
}

TEST_F(RunStateTest, NamedStatisticsAreTheBlocksWords) {
  g_runStatistics = {};
  g_iEnemiesKilled = 3;
  g_iBestStreak = 4;
  g_iPlayerDistance = 5;
  const i32* pWords = &g_runStatistics.m_iResultsWord;
  EXPECT_EQ(pWords[1], 3);
  EXPECT_EQ(pWords[2], 4);
  EXPECT_EQ(pWords[3], 5);
}

TEST_F(RunStateTest, AFreedPlayerLeavesNoPointerBehind) {
  createPlayer(0);
  ASSERT_NE(g_pPlayer, nullptr);
  g_pPlayer->m_bGone = 1;
  // The level update frees gone entities before the score state runs.
  EntityList::removalPass();
  EXPECT_EQ(g_pPlayer, nullptr);
  EXPECT_EQ(g_entityList.getCount(), 0);
  frame();
  EXPECT_EQ(g_pPlayer, nullptr);
}

TEST_F(RunStateTest, WithoutAFactoryThereIsNoPlayer) {
  WorldServices::set(nullptr);
  const i32 iCalls = WorldServices::unhandledCalls();
  createPlayer(0);
  EXPECT_EQ(g_pPlayer, nullptr);
  EXPECT_EQ(g_entityList.getCount(), 0);
  EXPECT_EQ(WorldServices::unhandledCalls(), iCalls + 1);
  frame();
  WorldServices::set(&m_world.m_services);
}

}  // namespace
