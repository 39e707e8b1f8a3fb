// The player's record and state machine: reset, same-frame re-dispatch and the latch, lanes, damage and death,
// blinking, the target marker and the level-end run.
#include <gtest/gtest.h>

#include <cmath>

#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

constexpr f32 cDT = 1.0f / 64.0f;

i32 quadsWith(const std::vector<SWorldQuad>& quads, const char* pImage) {
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pImage));
  i32 iCount = 0;
  for (const SWorldQuad& quad : quads) {
    iCount += quad.mp_pEntry == pEntry ? 1 : 0;
  }
  return iCount;
}

bool bodyPlays(const ClEntityPlayer& player, const char* pBook) {
  return player.m_mainAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook() == ClFlipBookMgr::getFlipBook(pBook);
}

}  // namespace

TEST(PlayerState, ResetStartsALevelRunningInLaneOne) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  player.m_iHitPoints = 1;
  player.m_iLane = 2;
  player.m_bNotHitThisLevel = 0;
  player.m_iProjectileKills = 4;
  player.takeMachete(0);
  const f32 afStart[4] = {300.0f, 12.0f, -3.0f, 1.0f};
  player.reset(afStart, 99);
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_RUNNING);
  EXPECT_EQ(player.m_iHitPoints, 3);
  EXPECT_EQ(player.m_iLane, 1);
  EXPECT_EQ(player.m_vPosition[0], 300.0f);
  EXPECT_EQ(player.m_vPosition[1], 157.0f);
  EXPECT_EQ(player.m_vPosition[2], -3.0f);
  EXPECT_EQ(player.m_eWeapon, E_PLAYER_WEAPON_NONE);
  EXPECT_EQ(player.m_fReach, 36.0f);
  EXPECT_EQ(player.m_bNotHitThisLevel, 1);
  EXPECT_EQ(player.m_iProjectileKills, 0);
  EXPECT_TRUE(bodyPlays(player, "AnimationsRunning"));
  EXPECT_EQ(player.m_fHitRadiusSq, 256.0f);
}

TEST(PlayerState, SurvivorResetTakesTheCarriedWeaponWithFiveSecondsMore) {
  struct SCase {
    i32 iGameType;
    i32 iCarried;
    f32 fCarriedTime;
    i32 eWeapon;
    f32 fLeft;
    i32 iHitPoints;
  };
  const SCase cases[] = {
      {3, 2, 0.5f, E_PLAYER_WEAPON_MACHETE, 5.0f / 12.0f + 0.5f, 2},
      {4, 3, 0.0f, E_PLAYER_WEAPON_AXE, 5.0f / 12.0f + 1.0f, 2},  // no time carried: the fresh charge stays
      {3, 0, 0.0f, E_PLAYER_WEAPON_NONE, 0.0f, 2},
      {0, 2, 0.5f, E_PLAYER_WEAPON_NONE, 0.0f, 3},  // story: nothing carried, full health
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.iGameType * 10 + c.iCarried);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    g_iGameType = c.iGameType;
    g_iCarriedWeaponKind = c.iCarried;
    g_fCarriedWeaponTime = c.fCarriedTime;
    g_iPlayerHealth = 2;
    const f32 afStart[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    world.player().reset(afStart, 0);
    EXPECT_EQ(world.player().m_eWeapon, c.eWeapon);
    EXPECT_FLOAT_EQ(world.player().m_fWeaponLeft, c.fLeft);
    EXPECT_EQ(world.player().m_iHitPoints, c.iHitPoints);
  }
}

// A punch started while running is first handled in the next frame (the latch eats this frame's step); a super
// weapon's handler runs in the frame it starts; magic lets the running step move and change lanes that frame.
TEST(PlayerState, StartsRunTheirHandlerWhenTheStateMachineSays) {
  struct SCase {
    const char* pName;
    i32 iCommand;
    i32 eState;
    f32 fMovedThisFrame;  // x moved in the starting frame
    bool bResolvedThisFrame;
  };
  const SCase cases[] = {
      {"high punch", E_GAME_ACTION_HIGH_PUNCH, E_PLAYER_STATE_HIGH_PUNCH, 0.0f, false},
      {"low punch", E_GAME_ACTION_LOW_PUNCH, E_PLAYER_STATE_LOW_PUNCH, 0.0f, false},
      {"uppercut", E_GAME_ACTION_UPPERCUT, E_PLAYER_STATE_UPPERCUT, 0.0f, false},
      {"left punch", E_GAME_ACTION_LEFT_PUNCH, E_PLAYER_STATE_LEFT_PUNCH, 0.0f, false},
      {"chainsaw", E_GAME_ACTION_SUPER_WEAPON, E_PLAYER_STATE_CHAINSAW, 150.0f * cDT, false},
      {"magic", E_GAME_ACTION_MAGIC, E_PLAYER_STATE_DRAGON, 100.0f * cDT, false},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pName);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    g_fSuperMeter = 1.0f;
    g_iMagicKind = 2;
    world.step();
    const f32 x0 = player.m_vPosition[0];
    world.press(c.iCommand);
    world.press(E_GAME_ACTION_LANE_DOWN);
    world.step();
    EXPECT_EQ(player.m_eState, c.eState);
    EXPECT_FLOAT_EQ(player.m_vPosition[0] - x0, c.fMovedThisFrame);
    EXPECT_EQ(g_bSkipStateStep, 0);
    EXPECT_EQ(player.m_iLane, 2);  // every start lets the lane change in its frame
    if (c.eState <= E_PLAYER_STATE_UPPERCUT || c.eState == E_PLAYER_STATE_LEFT_PUNCH) {
      EXPECT_EQ(player.m_bAttackResolved, 0);
      EXPECT_EQ(world.cues("PlayerWhiff"), 0);
      world.step();
      EXPECT_EQ(player.m_bAttackResolved, 1);
      EXPECT_EQ(world.cues("PlayerWhiff"), 1);
      EXPECT_FLOAT_EQ(player.m_vPosition[0] - x0, 100.0f * cDT);
    }
  }
}

TEST(PlayerState, APunchEndsIntoRunningAndRunsInTheSameFrame) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  world.press(E_GAME_ACTION_HIGH_PUNCH);
  world.step();
  i32 iFrames = 0;
  while (player.m_eState == E_PLAYER_STATE_HIGH_PUNCH && iFrames < 100) {
    world.step();
    ++iFrames;
  }
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_RUNNING);
  EXPECT_NEAR(iFrames * cDT, 0.2f, 2.0f * cDT);  // the two-frame move at 10 frames a second
  EXPECT_EQ(world.cues("PlayerWhiff"), 1);
  // x stood in the starting frame only; the frame that ended the punch also ran.
  EXPECT_FLOAT_EQ(player.m_vPosition[0], 100.0f + 100.0f * cDT * static_cast<f32>(iFrames));
}

TEST(PlayerState, LanesMoveAtFourHundredAndStopOnTheLine) {
  struct SCase {
    i32 iLane;
    std::vector<i32> commands;
    i32 iExpectedLane;
  };
  const SCase cases[] = {
      {0, {E_GAME_ACTION_LANE_UP}, 0},
      {2, {E_GAME_ACTION_LANE_DOWN}, 2},
      {1, {E_GAME_ACTION_LANE_UP, E_GAME_ACTION_LANE_DOWN}, 0},  // both: up only
      {1, {E_GAME_ACTION_LANE_DOWN}, 2},
  };
  for (const SCase& c : cases) {
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    player.m_iLane = c.iLane;
    player.m_vPosition[1] = KvLaneLine(c.iLane);
    for (i32 iCommand : c.commands) {
      world.press(iCommand);
    }
    world.step();
    EXPECT_EQ(player.m_iLane, c.iExpectedLane);
    EXPECT_EQ(player.m_bNoLaneChangeThisLevel, 0) << "any lane command clears the flag";
    for (i32 i = 0; i < 64; ++i) {
      world.step();
    }
    EXPECT_EQ(player.m_vPosition[1], KvLaneLine(c.iExpectedLane));
  }
  // A reversal in the middle of a move runs back at 400 units a second.
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  world.press(E_GAME_ACTION_LANE_DOWN);
  world.step();
  EXPECT_FLOAT_EQ(player.m_vPosition[1], 157.0f + 400.0f * cDT);
  world.step();
  EXPECT_FLOAT_EQ(player.m_vPosition[1], 157.0f + 800.0f * cDT);
  world.press(E_GAME_ACTION_LANE_UP);
  world.step();
  EXPECT_FLOAT_EQ(player.m_vPosition[1], 157.0f + 400.0f * cDT);
  world.step();
  EXPECT_FLOAT_EQ(player.m_vPosition[1], 157.0f);
  world.press(E_GAME_ACTION_LANE_UP);
  world.step();
  EXPECT_FLOAT_EQ(player.m_vPosition[1], 157.0f - 400.0f * cDT);
  world.step();  // a held command is not pressed again
  // A blocked input frame reads no command.
  ClGameStateMgr::blockInput(2);
  world.press(E_GAME_ACTION_LANE_DOWN);
  world.step();
  EXPECT_EQ(player.m_iLane, 0);
}

TEST(PlayerState, DamageAndDeath) {
  struct SCase {
    const char* pName;
    bool bQuiet;
    i32 iHitPoints;
    f32 fMultiplier;
    i32* pEndFlag;
    i32 iHealthLost;
    i32 eState;
    i32 iDeathCues;
    i32 iMultiplierCues;
    i32 iBlood;
    i32 iNotHit;
  };
  const SCase cases[] = {
      {"hit", false, 3, 2.0f, nullptr, 1, E_PLAYER_STATE_HIT, 0, 1, 10, 0},
      {"hit at multiplier 1", false, 3, 1.0f, nullptr, 1, E_PLAYER_STATE_HIT, 0, 0, 10, 0},
      {"last hit point", false, 1, 2.0f, nullptr, 1, E_PLAYER_STATE_DEATH, 1, 0, 10, 0},
      {"quiet hit", true, 3, 2.0f, nullptr, 1, E_PLAYER_STATE_RUNNING, 0, 1, 100, 1},
      {"quiet last hit point", true, 1, 2.0f, nullptr, 1, E_PLAYER_STATE_DEATH, 1, 0, 100, 1},
      {"results shown", false, 3, 2.0f, &g_bResultsShown, 0, E_PLAYER_STATE_RUNNING, 0, 0, 0, 1},
      {"level won", true, 3, 2.0f, &g_bLevelWon, 0, E_PLAYER_STATE_RUNNING, 0, 0, 0, 1},
      {"fading out", false, 3, 2.0f, &g_bFadeOut, 0, E_PLAYER_STATE_RUNNING, 0, 0, 0, 1},
      {"already dead", false, 0, 2.0f, nullptr, 0, E_PLAYER_STATE_RUNNING, 0, 0, 0, 1},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pName);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    player.m_iHitPoints = c.iHitPoints;
    g_fMultiplier = c.fMultiplier;
    g_iKillStreak = 5;
    if (c.pEndFlag != nullptr) {
      *c.pEndFlag = 1;
    }
    const i32 iHealth = g_iPlayerHealth;
    if (c.bQuiet) {
      player.takeDamageNoReaction();
    } else {
      player.takeDamage();
    }
    EXPECT_EQ(iHealth - g_iPlayerHealth, c.iHealthLost);
    EXPECT_EQ(player.m_eState, c.eState);
    EXPECT_EQ(world.cues("PlayerDeath"), c.iDeathCues);
    EXPECT_EQ(world.cues("MultiplierDown"), c.iMultiplierCues);
    EXPECT_EQ(g_bloodSplats.getCount(), c.iBlood);
    EXPECT_EQ(player.m_bNotHitThisLevel, c.iNotHit);
    EXPECT_EQ(g_iKillStreak, c.iHealthLost != 0 ? 0 : 5);
    if (c.iHealthLost != 0) {
      EXPECT_EQ(player.m_bHittable, 0);
      EXPECT_FLOAT_EQ(player.m_fGraceTime, c.eState == E_PLAYER_STATE_DEATH ? 0.0f : 1.5f);
    }
  }
}

TEST(PlayerState, HitRecoilsThenRunsAndGraceEnds) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  player.takeDamage();
  EXPECT_TRUE(bodyPlays(player, "AnimationsHit"));
  const f32 x0 = player.m_vPosition[0];
  world.step();
  EXPECT_FLOAT_EQ(player.m_vPosition[0], x0 - 100.0f * cDT);
  for (i32 i = 0; i < 20; ++i) world.step();
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_RUNNING);
  EXPECT_EQ(player.m_bHittable, 0);
  for (i32 i = 0; i < 100; ++i) world.step();
  EXPECT_EQ(player.m_bHittable, 1) << "the grace period of 1.5 s is over";
}

TEST(PlayerState, BlinkingAndTheTargetMarker) {
  struct SCase {
    const char* pName;
    i32 eState;
    f32 fGrace;
    f32 fMeter;
    f64 dGameplayTime;
    bool bDrawn;
    bool bMarker;
  };
  const SCase cases[] = {
      {"running", E_PLAYER_STATE_RUNNING, 0.0f, 0.0f, 0.0, true, true},
      {"grace, shown half", E_PLAYER_STATE_RUNNING, 0.1f, 0.0f, 0.0, true, true},      // frac(0.75) >= 0.5
      {"grace, hidden half", E_PLAYER_STATE_RUNNING, 0.05f, 0.0f, 0.0, false, false},  // frac(0.375) < 0.5
      {"bolt never blinks", E_PLAYER_STATE_BOLT, 0.05f, 0.0f, 0.0, true, false},
      {"meter low, even tenth", E_PLAYER_STATE_CHAINSAW, 0.0f, 0.3f, 0.25, true, false},
      {"meter low, odd tenth", E_PLAYER_STATE_CROSSBOW, 0.0f, 0.3f, 0.15, false, false},
      {"meter fine, odd tenth", E_PLAYER_STATE_RUNNING, 0.0f, 0.5f, 0.15, true, true},
      {"dead", E_PLAYER_STATE_DEATH, 0.0f, 0.0f, 0.0, true, false},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pName);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    player.m_eState = c.eState;
    player.m_fGraceTime = c.fGrace;
    g_fSuperMeter = c.fMeter;
    ClClock::m_aClockFrames[1].m_dTotalTime = c.dGameplayTime;
    const std::vector<SWorldQuad> quads = world.draw();
    EXPECT_EQ(quadsWith(quads, "AnimationsRunning-0001_216"), c.bDrawn ? 1 : 0);
    EXPECT_EQ(quadsWith(quads, "shad-small_216"), c.bDrawn ? 1 : 0);
    EXPECT_EQ(quadsWith(quads, "PlayerTarget_216"), c.bMarker ? 1 : 0);
  }
}

TEST(PlayerState, TheTargetMarkerFollowsTheWeaponAndTheOption) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  player.takeSledgehammer(0);
  std::vector<SWorldQuad> quads = world.draw();
  const SAtlasEntry* pSledge =
      ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash("PlayerTargetSledgehammer_216"));
  bool bFound = false;
  for (const SWorldQuad& quad : quads) {
    if (quad.mp_pEntry != pSledge) continue;
    bFound = true;
    EXPECT_EQ(quad.m_uiColor, 0x7FFFFFFFu);
    EXPECT_EQ(quad.m_fScale, 0.5f);
    EXPECT_FLOAT_EQ(quad.m_vPosition.x, std::floor((100.0f + 75.0f) * 1.25f + 0.5f));
    EXPECT_FLOAT_EQ(quad.m_vPosition.y, std::floor((157.0f - 27.0f) * 1.25f + 0.5f));
    EXPECT_FLOAT_EQ(quad.m_fDepth, (100.0f - 157.0f) - 1.0f);  // list index 0
  }
  EXPECT_TRUE(bFound);
  EXPECT_EQ(player.m_bNoTargetMarkerThisLevel, 1);
  world.step();
  EXPECT_EQ(player.m_bNoTargetMarkerThisLevel, 0) << "the option is on";
  world.services().m_bTargetMarker = false;
  EXPECT_EQ(quadsWith(world.draw(), "PlayerTargetSledgehammer_216"), 0);
}

TEST(PlayerState, TheLevelEndRunDashesOnTheSystemClock) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  player.startLevelEndRun();
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_LEVEL_END);
  const f32 x0 = player.m_vPosition[0];
  for (i32 i = 0; i < 64; ++i) {
    world.step(1.0f / 64.0f, 0.0f);  // the gameplay clock stands still
  }
  // 0.1 s of dash at 900 units a second (up to the frame that crosses 0.1 s), then it stands.
  EXPECT_NEAR(player.m_vPosition[0] - x0, 90.0f, 900.0f / 64.0f);
  EXPECT_TRUE(bodyPlays(player, "BoltMaxPose"));
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_LEVEL_END);
  EXPECT_EQ(player.m_bHittable, 0);
  EXPECT_FLOAT_EQ(player.m_fStateTime, 1.0f);
}

TEST(PlayerState, AReplacedPlayerNeitherUpdatesNorDraws) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  player.m_bReplaced = 1;
  const f32 x0 = player.m_vPosition[0];
  world.step();
  EXPECT_EQ(player.m_vPosition[0], x0);
  EXPECT_TRUE(world.draw().empty());
}
