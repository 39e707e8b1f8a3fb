// The action rows, damage and first hits, the cue budget, the T-shirt conversion, hit grading, spawners and
// explosions.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

class EnemyActionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(m_world.loadEnemies(KvTestEnemyScript(KvTestEnemyTypes())), ""); }
  // Chooses the action named like the state and runs one frame of actions.
  static void act(ClEntityEnemy* pEnemy, const char* pAction) {
    pEnemy->setState(pAction);
    pEnemy->runActions();
  }
  i32 countType(const char* pType) const {
    i32 iCount = 0;
    for (i32 i = 0; i < g_entityList.getCount(); ++i) {
      ClEntityEnemy* p = ClEntityEnemy::hitTarget(g_entityList[i]);
      iCount += (p != nullptr && p->typeIs(pType)) ? 1 : 0;
    }
    return iCount;
  }
  ClEntityEnemy* findType(const char* pType, i32 iSkip = 0) const {
    for (i32 i = 0; i < g_entityList.getCount(); ++i) {
      ClEntityEnemy* p = ClEntityEnemy::hitTarget(g_entityList[i]);
      if (p != nullptr && p->typeIs(pType) && iSkip-- == 0) return p;
    }
    return nullptr;
  }
  ClWorldHarness m_world;
};

}  // namespace

TEST_F(EnemyActionTest, DamageDealsWhatIsLeftAndCountsTheKill) {
  g_fMultiplier = 2.0f;
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);  // 3 of 3 hit points, score 90
  pEnemy->m_fHitGrade = 2.0f;
  act(pEnemy, "Damage5");
  EXPECT_FLOAT_EQ(pEnemy->m_fHitPoints, -2.0f);
  EXPECT_EQ(g_iScore, static_cast<i32>(90.0f * 3.0f * 2.0f / 3.0f));
  EXPECT_EQ(g_iKillStreak, 1);
  EXPECT_EQ(g_iEnemiesKilled, 1);
  EXPECT_EQ(g_bCrateDue, 1);
  EXPECT_FLOAT_EQ(pEnemy->m_fOrderOffset, 1.0f);
  EXPECT_EQ(g_sparkAnims.getCount(), 1);  // a plain hit: sparks, no rings
  EXPECT_EQ(g_enemyActionFx.getCount(), 0);
}

TEST_F(EnemyActionTest, DamageOnANegativeEnemyDealsNothingButStillDies) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  pEnemy->m_fHitPoints = -1.0f;
  pEnemy->m_cHitLetter = 'E';
  act(pEnemy, "Damage2");
  EXPECT_FLOAT_EQ(pEnemy->m_fHitPoints, -3.0f);
  EXPECT_EQ(g_iScore, 0);
  EXPECT_EQ(g_iKillStreak, 0);
  EXPECT_EQ(g_sparkAnims.getCount(), 0);
  ASSERT_EQ(m_world.m_services.m_gibs.size(), 1u);  // the death rules run: an 'E' letter throws gibs
  EXPECT_EQ(pEnemy->m_bGibsSpawned, 1);
}

TEST_F(EnemyActionTest, FirstHitBonusesTextsAndEffectsByGrade) {
  g_fMultiplier = 3.0f;
  const struct {
    const char* pAction;
    f32 fGrade;
    i32 iScore;             // added to g_iScore
    const char* pText;      // the floating text, or null
    i32 iShown;
    bool bStacked;
    i32 iRings;
    i32 iSlowMotions;
  } cases[] = {
      {"Damage1Score", 0.0f, 40 * 3 + 300 + 90, "enemy_score_hit_perfect", 300, true, 3, 1},
      {"Damage1Score", 1.0f, 40 * 3 + 150 + 90, "enemy_score_hit_good", 150, false, 2, 0},
      {"Damage1Score", 2.0f, 40 * 3 + 90, nullptr, 0, false, 0, 0},
      {"Damage1Text", 1.0f, 150 + 90, "custom", 150, true, 2, 0},
  };
  for (const auto& c : cases) {
    WorldRunState::reset();
    g_fMultiplier = 3.0f;
    g_enemyActionFx.clear();
    m_world.m_services.m_texts.clear();
    m_world.m_services.m_iSlowMotions = 0;
    ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
    pEnemy->m_fHitGrade = c.fGrade;
    act(pEnemy, c.pAction);
    EXPECT_EQ(g_iScore, c.iScore) << c.pAction << " grade " << c.fGrade;
    if (c.pText == nullptr) {
      EXPECT_TRUE(m_world.m_services.m_texts.empty());
    } else {
      ASSERT_EQ(m_world.m_services.m_texts.size(), 1u);
      EXPECT_EQ(m_world.m_services.m_texts[0].m_text, c.pText);
      EXPECT_EQ(m_world.m_services.m_texts[0].m_iPoints, c.iShown);
      EXPECT_EQ(m_world.m_services.m_texts[0].m_bStacked, c.bStacked);
    }
    EXPECT_EQ(g_enemyActionFx.getCount(), c.iRings);
    EXPECT_EQ(m_world.m_services.m_iSlowMotions, c.iSlowMotions);
  }
}

TEST_F(EnemyActionTest, TheFourthCueOfATickIsDropped) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  pEnemy->m_fHitGrade = 0.0f;
  act(pEnemy, "FourCues");  // a perfect first hit: two stingers, then "CueA"; "CueB" is the fourth
  EXPECT_EQ(m_world.m_services.cueCount("PerfectStinger"), 1);
  EXPECT_EQ(m_world.m_services.cueCount("PlayerHittingPerfect"), 1);
  EXPECT_EQ(m_world.m_services.cueCount("CueA"), 1);
  EXPECT_EQ(m_world.m_services.cueCount("CueB"), 0);
  g_iEnemyCueBudgetUsed = 0;  // the next tick
  act(pEnemy, "Sounds");
  EXPECT_EQ(m_world.m_services.cueCount("CueC") + m_world.m_services.cueCount("CueD"), 2);
}

TEST_F(EnemyActionTest, IncrementFrameStopsOnTheLastFrameAndReentersTheState) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  ClFlipBookAnimator& animator = pEnemy->m_mainAnim.mp_curAnimators.mp_flipBookAnimator;
  pEnemy->m_fDuration = 5.0f;
  act(pEnemy, "NextFrame");
  EXPECT_EQ(animator.getCurrentFrameIndex(), 1);
  EXPECT_FLOAT_EQ(pEnemy->m_fDuration, 0.0f);
  pEnemy->runActions();
  EXPECT_EQ(animator.getCurrentFrameIndex(), 1);  // two frames: the last stays
}

TEST_F(EnemyActionTest, ChangeLane) {
  for (i32 iLane : {0, 2}) {
    ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, iLane);
    act(pEnemy, "Lane");
    EXPECT_EQ(pEnemy->m_iLane, 1);
  }
  i32 aiSeen[3] = {0, 0, 0};
  for (i32 i = 0; i < 40; ++i) {
    ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
    act(pEnemy, "Lane");
    ++aiSeen[pEnemy->m_iLane];
  }
  EXPECT_EQ(aiSeen[1], 0);
  EXPECT_GT(aiSeen[0], 0);
  EXPECT_GT(aiSeen[2], 0);
}

TEST_F(EnemyActionTest, NoApplicableReactionRunsNoKeys) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  pEnemy->setState("Plain");  // no reaction answers "Plain"
  const f32 fHitPoints = pEnemy->m_fHitPoints;
  EXPECT_EQ(pEnemy->evaluateReactions(), nullptr);
  pEnemy->runActions();
  EXPECT_FLOAT_EQ(pEnemy->m_fHitPoints, fHitPoints);
  pEnemy->m_bTShirtHit = 1;  // the conversion still runs
  pEnemy->runActions();
  EXPECT_STREQ(pEnemy->m_stateName.getCStr(), "Shirt");
}

TEST_F(EnemyActionTest, TShirtConversionScoresThenExplodesAndRemovesItself) {
  g_fMultiplier = 1.5f;
  ClEntityEnemy* pEnemy = m_world.spawn("EnemyFlankerB", 300.0f, 1);
  pEnemy->m_bTShirtHit = 1;
  m_world.step(0.0f);
  EXPECT_STREQ(pEnemy->m_stateName.getCStr(), "Shirt");
  EXPECT_EQ(pEnemy->m_mainAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook(),
            ClFlipBookMgr::getFlipBook("EnemyFlankerTShirt"));
  EXPECT_EQ(g_iScore, 150);
  EXPECT_EQ(g_iEnemiesKilled, 1);
  i32 iFrames = 0;
  while (!pEnemy->stateIs("ShirtExplosion") && iFrames < 100) {
    m_world.step(0.125f);
    ++iFrames;
  }
  EXPECT_EQ(iFrames, 9);  // the duration must pass 1.0 s: 1.0 is not enough
  EXPECT_EQ(m_world.m_services.cueCount("GrenadeExplosion"), 1);
  ASSERT_EQ(m_world.m_services.m_gibs.size(), 1u);
  EXPECT_EQ(m_world.m_services.m_gibs[0].m_iClass, 2);
  EXPECT_EQ(m_world.m_services.m_gibs[0].m_iStyle, 1);
  EXPECT_EQ(g_iEnemiesKilled, 1);
  for (i32 i = 0; i < 10 && countType("EnemyFlankerB") > 0; ++i) {
    m_world.step(0.1f);
  }
  EXPECT_EQ(countType("EnemyFlankerB"), 0);
}

TEST_F(EnemyActionTest, AnObstacleKilledWithAMeleeWeaponKeepsItsGoneFlagAndThrowsNothing) {
  ClTestPlayer& player = m_world.addPlayer(0.0f, 1);
  player.m_eWeapon = E_PLAYER_WEAPON_AXE;
  ClEntityEnemy* pWall = m_world.spawn("EnemyWall", 100.0f, 1);
  ASSERT_TRUE(pWall->tryHit('L', 50.0f, 0));  // any letter lands on a wall while a melee weapon is held
  act(pWall, "Kill");
  EXPECT_EQ(pWall->m_bGone, 0);
  EXPECT_TRUE(m_world.m_services.m_gibs.empty());
  ClEntityEnemy* pWalker = m_world.spawn("Walker", 100.0f, 1);
  ASSERT_TRUE(pWalker->tryHit('L', 50.0f, 0));
  act(pWalker, "Kill");
  EXPECT_EQ(pWalker->m_bGone, 1);
  ASSERT_EQ(m_world.m_services.m_gibs.size(), 1u);
  EXPECT_EQ(m_world.m_services.m_gibs[0].m_iClass, 0);
  EXPECT_EQ(m_world.m_services.m_gibs[0].m_iStyle, 1);
}

TEST_F(EnemyActionTest, TheSledgehammerAchievementReachesTheStoreOnce) {
  ClTestPlayer& player = m_world.addPlayer(0.0f, 1);
  player.m_eWeapon = E_PLAYER_WEAPON_SLEDGEHAMMER;
  for (i32 i = 0; i < 12; ++i) {
    ClEntityEnemy* pEnemy = m_world.spawn("Walker", 100.0f, 1);
    ASSERT_TRUE(pEnemy->tryHit('H', 0.0f, 0));
    act(pEnemy, "Kill");
  }
  EXPECT_EQ(player.m_iSledgehammerKills, 12);
  EXPECT_EQ(m_world.m_services.m_achievements, std::vector<std::string>{"POUND_CAKE"});
  EXPECT_EQ(player.m_bNoKillThisLevel, 0);
}

TEST_F(EnemyActionTest, HitGrading) {
  const struct {
    bool bPlayer;
    i32 eWeapon;
    f32 fDistance;
    f32 fGrade;
  } cases[] = {
      {true, E_PLAYER_WEAPON_NONE, 3.0f, 0.0f},          {true, E_PLAYER_WEAPON_NONE, 3.01f, 1.0f},
      {true, E_PLAYER_WEAPON_NONE, 10.01f, 2.0f},        {true, E_PLAYER_WEAPON_SLEDGEHAMMER, 15.0f, 0.0f},
      {true, E_PLAYER_WEAPON_AXE, 20.0f, 1.0f},          {true, E_PLAYER_WEAPON_MACHETE, 20.5f, 2.0f},
      {false, E_PLAYER_WEAPON_NONE, 0.0f, 0.0f},         {false, E_PLAYER_WEAPON_NONE, 1.01f, 2.0f},
  };
  for (const auto& c : cases) {
    g_pPlayer = nullptr;
    if (c.bPlayer) {
      m_world.m_player.m_eWeapon = c.eWeapon;
      g_pPlayer = &m_world.m_player;
    }
    ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
    ASSERT_TRUE(pEnemy->tryHit('H', c.fDistance, 0));
    EXPECT_FLOAT_EQ(pEnemy->m_fHitGrade, c.fGrade) << c.eWeapon << " at " << c.fDistance;
  }
}

TEST_F(EnemyActionTest, HitAcceptance) {
  ClTestPlayer& player = m_world.addPlayer(0.0f, 1);
  const struct {
    const char* pType;
    const char* pMask;
    char cLetter;
    i32 ePlayerState;
    i32 iHitAllFrames;
    bool bResult;
    i32 bRecorded;
  } cases[] = {
      {"Walker", "B", 'E', 0, 0, false, 0},
      {"Walker", "B", 'E', E_PLAYER_STATE_CHAINSAW, 0, true, 1},
      {"Walker", "L", 'E', 0, 2, true, 1},
      {"Walker", "H", 'E', E_PLAYER_STATE_CHAINSAW, 0, false, 0},
      {"Walker", "", 'H', 0, 0, false, 0},
      {"EnemyLeader", "LHUCEB", 'H', 0, 0, false, 1},
      {"EnemyLeader", "LHUCEB", 'L', 0, 0, true, 1},
  };
  for (const auto& c : cases) {
    ClEntityEnemy* pEnemy = m_world.spawn(c.pType, 0.0f, 1);
    std::snprintf(pEnemy->m_szHitMask, sizeof(pEnemy->m_szHitMask), "%s", c.pMask);
    player.m_eState = c.ePlayerState;
    player.m_iHitAllFrames = c.iHitAllFrames;
    EXPECT_EQ(pEnemy->tryHit(c.cLetter, 0.0f, 0), c.bResult) << c.pType << " " << c.pMask << " " << c.cLetter;
    EXPECT_EQ(pEnemy->m_bHitReceived, c.bRecorded);
  }
  EXPECT_EQ(m_world.m_services.cueCount("WeedWhackerHit"), 1);
}

TEST_F(EnemyActionTest, RingsAndBlood) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  g_fWorldCameraX = 30.0f;
  pEnemy->spawnPerfectRing(100.0f, 60.0f);
  ASSERT_EQ(g_enemyActionFx.getCount(), 1);
  const SEnemyActionFx& ring = g_enemyActionFx[0];
  EXPECT_FLOAT_EQ(ring.m_afRadii[2], 220.0f);
  EXPECT_EQ(ring.m_uiOuterColor, 0x80FFFF80u);
  EXPECT_FLOAT_EQ(ring.m_fLifetime, 0.15f);
  EXPECT_FLOAT_EQ(ring.m_vPosition[0], 70.0f);
  const struct {
    i32 iAmount;
    i32 iDrops;
  } cases[] = {{0, 0}, {1, 10}, {2, 30}, {3, 50}, {9, 50}};
  for (const auto& c : cases) {
    g_bloodSplats.clear();
    pEnemy->spawnBlood(c.iAmount, 10.0f, 20.0f);
    EXPECT_EQ(g_bloodSplats.getCount(), c.iDrops);
  }
  // Amount 1: each size step needs a draw below 0.5, so size 5 is rare.
  g_bloodSplats.clear();
  i32 iFives = 0;
  const i32 iRounds = 200;
  for (i32 i = 0; i < iRounds; ++i) pEnemy->spawnBlood(1, 0.0f, 0.0f);
  for (i32 i = 0; i < g_bloodSplats.getCount(); ++i) {
    iFives += g_bloodSplats[i].m_iSize == 5 ? 1 : 0;
    EXPECT_FLOAT_EQ(g_bloodSplats[i].m_vAcceleration[2], 300.0f);
    EXPECT_GE(g_bloodSplats[i].m_fLifetime, 0.1f);
    EXPECT_LE(g_bloodSplats[i].m_fLifetime, 5.6f);
  }
  EXPECT_LT(iFives, iRounds * 10 / 16);
}

TEST_F(EnemyActionTest, APistolDisarmDropsTheWeaponTenBehindTheBullet) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 200.0f, 2);
  act(pEnemy, "Disarm");
  ClEntityEnemy* pWeapon = findType("EnemyPistolDisarmedWeapon");
  ClEntityEnemy* pBullet = findType("EnemyBulletPistolDisarmedWeapon");
  ASSERT_NE(pWeapon, nullptr);
  ASSERT_NE(pBullet, nullptr);
  EXPECT_FLOAT_EQ(pBullet->m_vPosition[0] - pWeapon->m_vPosition[0], 10.0f);
  EXPECT_FLOAT_EQ(pBullet->m_vPosition[0], pEnemy->m_vPosition[0]);
  EXPECT_FLOAT_EQ(pWeapon->m_vPosition[2], -6.0f);
  EXPECT_EQ(pWeapon->m_iLane, 2);
  EXPECT_FLOAT_EQ(pWeapon->m_vPosition[1], 200.0f);
}

TEST_F(EnemyActionTest, AShieldIsKnockedOffOnce) {
  ClEntityEnemy* pEnemy = m_world.spawn("Shielded", 200.0f, 1);
  pEnemy->m_vPosition[2] = -10.0f;
  act(pEnemy, "Shield");
  pEnemy->knockOffShield();
  EXPECT_EQ(countType("EnemyBulletShield"), 1);
  EXPECT_LT(pEnemy->m_fShield, 0.0f);
  ClEntityEnemy* pShield = findType("EnemyBulletShield");
  EXPECT_FLOAT_EQ(pShield->m_vPosition[0], pEnemy->m_vPosition[0]);
  EXPECT_FLOAT_EQ(pShield->m_vPosition[2], -44.0f);
}

TEST_F(EnemyActionTest, CratePickups) {
  const struct {
    bool bPlayer;
    i32 iHitPoints;
    i32 iMagic;
    const char* pContent;
    const char* pExpected;
  } cases[] = {
      {true, 2, 0, "", "PickupHealth"},   {true, 3, 0, "", "PickupMagic"}, {true, 4, 1, "", "PickupPoints"},
      {false, 0, 0, "", "PickupHealth"},  {true, 2, 0, "PickupFireAxe", "PickupFireAxe"},
  };
  for (const auto& c : cases) {
    g_pPlayer = c.bPlayer ? &m_world.m_player : nullptr;
    m_world.m_player.m_iHitPoints = c.iHitPoints;
    g_iMagicCharges = c.iMagic;
    ClEntityEnemy* pCrate = m_world.spawn("Crate", 0.0f, 1);
    pCrate->m_crateContent = c.pContent;
    m_world.m_services.m_pickups.clear();
    act(pCrate, "Support");
    ASSERT_EQ(m_world.m_services.m_pickups.size(), 1u);
    EXPECT_EQ(m_world.m_services.m_pickups[0], c.pExpected);
  }
  std::set<std::string> weapons;
  ClEntityEnemy* pCrate = m_world.spawn("Crate", 0.0f, 1);
  for (i32 i = 0; i < 30; ++i) {
    m_world.m_services.m_pickups.clear();
    act(pCrate, "Weapon");
    weapons.insert(m_world.m_services.m_pickups.at(0));
  }
  EXPECT_EQ(weapons, (std::set<std::string>{"PickupMachete", "PickupSledgehammer", "PickupFireAxe"}));
}

TEST_F(EnemyActionTest, TheFlameSweepBurnsItsLaneBehindTheFlamer) {
  ClEntityEnemy* pFlamer = m_world.spawn("EnemyFlamer", 0.0f, 1);
  pFlamer->m_vPosition[0] = 1000.0f;
  const struct {
    const char* pType;
    f32 fX;
    i32 iLane;
    i32 bBurnt;
  } cases[] = {
      {"Walker", 725.0f, 1, 0},       {"Walker", 725.5f, 1, 1}, {"Walker", 999.0f, 1, 1},
      {"Walker", 1000.0f, 1, 0},      {"Walker", 900.0f, 2, 0}, {"EnemyWall", 900.0f, 1, 0},
      {"EnemyBarrel", 900.0f, 1, 0},  {"EnemyFlamer", 900.0f, 1, 0},
  };
  std::vector<ClEntityEnemy*> targets;
  for (const auto& c : cases) {
    ClEntityEnemy* p = m_world.spawn(c.pType, 0.0f, c.iLane);
    p->m_vPosition[0] = c.fX;
    targets.push_back(p);
  }
  act(pFlamer, "Flame");
  for (size_t i = 0; i < targets.size(); ++i) {
    EXPECT_EQ(targets[i]->m_bGone, cases[i].bBurnt) << cases[i].pType << " at " << cases[i].fX;
  }
}

TEST_F(EnemyActionTest, ExplosionsReachPlayerAndEnemies) {
  ClTestPlayer& player = m_world.addPlayer(0.0f, 1);
  const struct {
    const char* pAction;
    i32 iPlayerHurt;
    i32 iDrops;
  } cases[] = {{"Boom", 1, 100}, {"Grenade", 0, 0}};
  for (const auto& c : cases) {
    player.m_iDamageTaken = 0;
    g_bloodSplats.clear();
    ClEntityEnemy* pSource = m_world.spawn("Walker", 0.0f, 1);
    pSource->m_vPosition[0] = 60.0f;
    ClEntityEnemy* pNear = m_world.spawn("Walker", 0.0f, 1);
    pNear->m_vPosition[0] = 120.0f;
    std::snprintf(pNear->m_szHitMask, sizeof(pNear->m_szHitMask), "H");  // refuses 'E'
    pNear->m_fShield = 3.0f;
    ClEntityEnemy* pShieldObject = m_world.spawn("EnemyBulletShield", 0.0f, 1);
    pShieldObject->m_vPosition[0] = 70.0f;
    ClEntityEnemy* pFar = m_world.spawn("Walker", 0.0f, 1);
    pFar->m_vPosition[0] = 140.0f;
    act(pSource, c.pAction);
    EXPECT_EQ(player.m_iDamageTaken, c.iPlayerHurt) << c.pAction;
    EXPECT_EQ(pNear->m_bHitReceived, 0);
    EXPECT_LT(pNear->m_fShield, 0.0f);  // knocked off although the mask refuses 'E'
    EXPECT_EQ(pShieldObject->m_bHitReceived, 0);
    EXPECT_EQ(pFar->m_bHitReceived, 0);
    EXPECT_EQ(g_bloodSplats.getCount(), c.iDrops);
  }
}

TEST_F(EnemyActionTest, WithoutHooksCallsAreCountedNotLost) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  WorldServices::set(nullptr);
  const i32 iBefore = WorldServices::unhandledCalls();
  act(pEnemy, "Sounds");
  EXPECT_EQ(WorldServices::unhandledCalls() - iBefore, 2);
  EXPECT_FALSE(WorldServices::get().targetMarkerOption());
  WorldServices::set(&m_world.m_services);
}
