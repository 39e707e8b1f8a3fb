// The player's melee weapons (table, pickups, drain and blink) and super weapons (durations, shots, contact, the
// chainsaw's sound sequence and its timers).
#include <gtest/gtest.h>

#include <algorithm>

#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

constexpr f32 cWeaponDT = 1.0f / 64.0f;

bool weaponBodyPlays(const ClEntityPlayer& player, const char* pBook) {
  return player.m_mainAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook() == ClFlipBookMgr::getFlipBook(pBook);
}

i32 count(const std::vector<std::string>& list, const char* pItem) {
  return static_cast<i32>(std::count(list.begin(), list.end(), pItem));
}

// Starts the super weapon of the kind with the meter and runs until the player leaves its state; answers the
// frames it ran.
i32 runSuperWeapon(ClPlayerTestWorld& world, i32 iKind, f32 fMeter) {
  g_iSuperWeaponKind = iKind;
  g_fSuperMeter = fMeter;
  world.press(E_GAME_ACTION_SUPER_WEAPON);
  world.step();
  i32 iFrames = 1;
  while (world.player().m_eState == E_PLAYER_STATE_CHAINSAW + iKind && iFrames < 10000) {
    world.step();
    ++iFrames;
  }
  return iFrames;
}

}  // namespace

TEST(PlayerWeapons, TakingAWeaponSetsItsRow) {
  struct SCase {
    i32 eWeapon;
    const char* pSet;
    f32 fReach;
    i32 iIcon;
    f32 fVoiceRange;
    i32 iKillsAfter;
  };
  const SCase cases[] = {
      {E_PLAYER_WEAPON_SLEDGEHAMMER, "Sledgehammer", 75.0f, 1, 1.1f, 7},  // the sledgehammer keeps its kills
      {E_PLAYER_WEAPON_MACHETE, "Machete", 45.0f, 2, 0.8f, 0},
      {E_PLAYER_WEAPON_AXE, "Axe", 70.0f, 2, 0.8f, 0},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pSet);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    player.m_iSledgehammerKills = 7;
    player.m_fWeaponLeft = 0.5f;
    if (c.eWeapon == E_PLAYER_WEAPON_SLEDGEHAMMER) player.takeSledgehammer(0);
    if (c.eWeapon == E_PLAYER_WEAPON_MACHETE) player.takeMachete(0);
    if (c.eWeapon == E_PLAYER_WEAPON_AXE) player.takeAxe(0);
    EXPECT_EQ(player.m_eWeapon, c.eWeapon);
    EXPECT_EQ(player.m_strAnimSet, c.pSet);
    EXPECT_EQ(player.m_fReach, c.fReach);
    EXPECT_EQ(player.m_eTargetIcon, c.iIcon);
    EXPECT_FLOAT_EQ(player.m_fVoiceRange, c.fVoiceRange);
    EXPECT_FLOAT_EQ(player.m_fWeaponDrain, 1.0f / 12.0f);
    EXPECT_EQ(player.m_fWeaponWearPerHit, 0.0f);
    EXPECT_EQ(player.m_fWeaponLeft, 1.0f) << "a pickup replaces what was left with a full charge";
    EXPECT_EQ(player.m_iSledgehammerKills, c.iKillsAfter);
    EXPECT_TRUE(weaponBodyPlays(player, (std::string(c.pSet) + "Running").c_str()));
    EXPECT_EQ(world.cues("PowerUpTransEffect"), 1);
    EXPECT_EQ(count(world.services().m_music, "PlayLoop"), 1);
    EXPECT_EQ(world.services().m_voiceOvers, std::vector<i32>{10});
    player.dropWeapon(0);
    EXPECT_EQ(player.m_fReach, 36.0f);
    EXPECT_EQ(player.m_fWeaponLeft, 0.0f);
    EXPECT_TRUE(weaponBodyPlays(player, "AnimationsRunning"));
  }
}

TEST(PlayerWeapons, AWeaponDrainsInTwelveSecondsAndBlinksInItsLastTwo) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  player.takeAxe(0);
  i32 iFrames = 0;
  i32 iBlinkFrame = -1;
  while (player.m_eWeapon != E_PLAYER_WEAPON_NONE && iFrames < 2000) {
    world.step();
    ++iFrames;
    if (iBlinkFrame < 0 && player.m_fGraceTime > 0.0f) {
      iBlinkFrame = iFrames;
      EXPECT_EQ(player.m_fGraceTime, 2.0f);
      EXPECT_EQ(player.m_bHittable, 0);
    }
  }
  EXPECT_NEAR(iFrames * cWeaponDT, 12.0f, 2.0f * cWeaponDT);
  EXPECT_NEAR(iBlinkFrame * cWeaponDT, 10.0f, 2.0f * cWeaponDT);
  EXPECT_EQ(count(world.services().m_music, "StopLoop"), 1);
  EXPECT_TRUE(weaponBodyPlays(player, "AnimationsRunning"));
}

TEST(PlayerWeapons, RunningOutMidPunchKeepsThePunch) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  player.takeMachete(0);
  player.m_fWeaponLeft = 1.5f * cWeaponDT / 12.0f;  // gone in the second frame
  world.press(E_GAME_ACTION_LOW_PUNCH);
  world.step();
  world.step();
  EXPECT_EQ(player.m_eWeapon, E_PLAYER_WEAPON_NONE);
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_LOW_PUNCH);
  EXPECT_TRUE(weaponBodyPlays(player, "MacheteLowPunch"));
}

TEST(PlayerWeapons, SuperWeaponsLastFiveSecondsForEachWholeMeter) {
  struct SCase {
    i32 iKind;
    f32 fMeter;
  };
  const SCase cases[] = {{0, 1.0f}, {0, 2.6f}, {1, 1.0f}, {1, 2.6f}, {2, 1.0f}, {2, 2.6f}};
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.iKind * 10 + static_cast<i32>(c.fMeter));
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    const f32 x0 = world.player().m_vPosition[0];
    const i32 iFrames = runSuperWeapon(world, c.iKind, c.fMeter);
    EXPECT_NEAR(static_cast<f32>(iFrames) * cWeaponDT, c.fMeter * 5.0f, 2.0f * cWeaponDT);
    EXPECT_EQ(g_fSuperMeter, 0.0f);
    EXPECT_EQ(world.player().m_eState, E_PLAYER_STATE_RUNNING);
    EXPECT_EQ(world.player().m_bUpperBody, 0);
    // 150 units a second while it ran, 100 in the frame that ended it.
    EXPECT_NEAR(world.player().m_vPosition[0] - x0, 150.0f * c.fMeter * 5.0f, 150.0f * 3.0f * cWeaponDT);
    EXPECT_EQ(count(world.services().m_music, "PlayStinger"), 1);
    EXPECT_EQ(count(world.services().m_music, "StopStinger"), 1);
    EXPECT_EQ(world.services().m_voiceOvers, std::vector<i32>{7 + c.iKind});
  }
}

TEST(PlayerWeapons, TheGunsFireAtOnceThenByTheirInterval) {
  struct SCase {
    i32 iKind;
    const char* pCue;
    const char* pProjectile;
    i32 iShots;  // in 5 s: the first at once, then one each interval
  };
  const SCase cases[] = {{1, "SawbladeCrossbowShooting", "PlayerCrossbowSawblades", 5},
                         {2, "ShirtShooting", "PlayerBulletTShirt", 17}};
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pCue);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    g_iSuperWeaponKind = c.iKind;
    g_fSuperMeter = 1.0f;
    world.press(E_GAME_ACTION_SUPER_WEAPON);
    world.step();
    ASSERT_EQ(world.cues(c.pCue), 1);
    ClEntityEnemy* pShot = ClEntityEnemy::hitTarget(g_entityList[g_entityList.getCount() - 1]);
    ASSERT_NE(pShot, nullptr);
    EXPECT_EQ(pShot->m_typeName, c.pProjectile);
    EXPECT_EQ(pShot->m_iLane, player.m_iLane);
    EXPECT_EQ(player.m_bUpperBody, 1);
    runSuperWeapon(world, c.iKind, g_fSuperMeter);  // already running: the press is refused, the run goes on
    EXPECT_EQ(world.cues(c.pCue), c.iShots);
    // The fire timer is not reset by a start: a second use first waits out what was left.
    const f32 fLeft = 0.5f;
    player.m_fFireTimer = fLeft;
    g_fSuperMeter = 1.0f;
    world.press(E_GAME_ACTION_SUPER_WEAPON);
    world.step();
    EXPECT_EQ(world.cues(c.pCue), c.iShots);
    EXPECT_FLOAT_EQ(player.m_fFireTimer, fLeft - cWeaponDT);
  }
}

TEST(PlayerWeapons, TheSuperCommandNeedsAFullMeterAndANewWeapon) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  g_fSuperMeter = 0.99f;
  world.press(E_GAME_ACTION_SUPER_WEAPON);
  world.step();
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_RUNNING);
  g_iGameType = 3;
  g_fTimeLeft = 1.0f;
  g_fSuperMeter = 1.5f;
  world.step();
  world.press(E_GAME_ACTION_SUPER_WEAPON);
  world.step();
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_RUNNING) << "the last second of a survivor wave";
  g_fTimeLeft = 30.0f;
  world.step();
  world.press(E_GAME_ACTION_SUPER_WEAPON);
  world.step();
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_CHAINSAW);
  EXPECT_EQ(player.m_fReach, 40.0f);
  EXPECT_EQ(player.m_eTargetIcon, 3);
}

TEST(PlayerWeapons, AHeldMacheteComesBackAfterASuperWeapon) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  player.takeMachete(0);
  player.m_fWeaponLeft = 0.7f;
  runSuperWeapon(world, 0, 1.0f);
  EXPECT_EQ(player.m_eWeapon, E_PLAYER_WEAPON_MACHETE);
  EXPECT_FLOAT_EQ(player.m_fWeaponLeft, 0.7f - cWeaponDT / 12.0f) << "frozen while the chainsaw ran";
  EXPECT_EQ(player.m_fReach, 45.0f);
  EXPECT_EQ(player.m_eTargetIcon, 2);
  EXPECT_TRUE(weaponBodyPlays(player, "MacheteRunning"));
  EXPECT_EQ(count(world.services().m_music, "PlayLoop"), 2) << "the pickup, then back after the chainsaw";
  EXPECT_EQ(count(world.services().m_music, "StopLoop"), 1) << "stopped while the chainsaw ran";
}

TEST(PlayerWeapons, TheChainsawCutsWhatItTouchesEveryFrame) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  ClEntityEnemy* pTouching = world.spawn("Walker", 0.0f, 1);
  ClEntityEnemy* pOtherLane = world.spawn("Walker", 0.0f, 2);
  g_fSuperMeter = 2.0f;
  i32 iHits = 0;
  for (i32 i = 0; i < 64; ++i) {
    pTouching->m_vPosition[0] = player.m_vPosition[0] + 40.0f;
    pOtherLane->m_vPosition[0] = player.m_vPosition[0] + 40.0f;
    if (i == 0) world.press(E_GAME_ACTION_SUPER_WEAPON);
    pTouching->m_bHitReceived = 0;
    world.step();
    iHits += pTouching->m_bHitReceived;
    EXPECT_EQ(pOtherLane->m_bHitReceived, 0);
  }
  EXPECT_EQ(iHits, 64);
  EXPECT_EQ(world.cues("WeedWhackerHit"), 4) << "one every 0.3 s: frames 0, 20, 40 and 60";
}

TEST(PlayerWeapons, TheChainsawSoundSequence) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  const i32 iTimers = ClClock::m_timerPool.getCount();
  g_fSuperMeter = 1.0f;
  world.press(E_GAME_ACTION_SUPER_WEAPON);
  world.step();
  EXPECT_EQ(world.cues("WeedWhackerStart"), 1);
  EXPECT_EQ(ClClock::m_timerPool.getCount(), iTimers + 1);
  // The timer counts from the next frame's clock tick: 0.094 s after six frames, 0.109 s after seven.
  for (i32 i = 0; i < 6; ++i) world.step();
  EXPECT_TRUE(world.services().m_heldCues.empty());
  world.step();
  ASSERT_EQ(world.services().m_heldCues.size(), 1u);
  EXPECT_EQ(world.services().m_heldCues[0], KvStrHash("WeedWhackerLoop"));
  EXPECT_EQ(ClClock::m_timerPool.getCount(), iTimers);
  while (player.m_eState == E_PLAYER_STATE_CHAINSAW) world.step();
  EXPECT_EQ(world.cues("WeedWhackerEnd"), 1);
  for (i32 i = 0; i < 6; ++i) world.step();
  EXPECT_TRUE(world.services().m_stoppedHeldCues.empty());
  world.step();
  EXPECT_EQ(world.services().m_stoppedHeldCues, std::vector<u32>{1});
  EXPECT_EQ(player.m_bChainsawSound, 0);
  EXPECT_EQ(player.mp_chainsawLoopDelayEndTimer, nullptr);
  EXPECT_EQ(ClClock::m_timerPool.getCount(), iTimers);
  // A second use runs the whole sequence again: its loop starts and stops on its own timers.
  g_fSuperMeter = 1.0f;
  world.press(E_GAME_ACTION_SUPER_WEAPON);
  world.step();
  for (i32 i = 0; i < 7; ++i) world.step();
  EXPECT_EQ(world.cues("WeedWhackerStart"), 2);
  EXPECT_EQ(world.services().m_heldCues.size(), 2u);
  EXPECT_EQ(world.services().m_stoppedHeldCues.size(), 1u) << "the new loop plays on";
  while (player.m_eState == E_PLAYER_STATE_CHAINSAW) world.step();
  for (i32 i = 0; i < 7; ++i) world.step();
  EXPECT_EQ(world.services().m_stoppedHeldCues, (std::vector<u32>{1, 2}));
  EXPECT_EQ(ClClock::m_timerPool.getCount(), iTimers);
}

TEST(PlayerWeapons, RestartingTheChainsawWithinATenthPlaysNoNewStart) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  runSuperWeapon(world, 0, 1.0f);
  g_fSuperMeter = 1.0f;
  world.press(E_GAME_ACTION_SUPER_WEAPON);
  world.step();
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_CHAINSAW);
  EXPECT_EQ(world.cues("WeedWhackerStart"), 1);
  EXPECT_EQ(count(world.services().m_music, "PlayStinger"), 1);
  EXPECT_EQ(world.services().m_voiceOvers, std::vector<i32>{7});
}

// Ending a level in the middle of the sequence gives back both timers and stops the loop; so does a new level.
TEST(PlayerWeapons, ClearAndResetReleaseTheChainsawsTimersAndLoop) {
  for (const bool bClear : {true, false}) {
    SCOPED_TRACE(bClear ? "clear" : "reset");
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    const i32 iTimers = ClClock::m_timerPool.getCount();
    runSuperWeapon(world, 0, 1.0f);  // the end timer now runs, the loop plays
    ASSERT_EQ(world.services().m_heldCues.size(), 1u);
    EXPECT_EQ(ClClock::m_timerPool.getCount(), iTimers + 1);
    if (bClear) {
      player.clear();
    } else {
      const f32 afStart[4] = {0.0f, 0.0f, 0.0f, 0.0f};
      player.reset(afStart, 0);
    }
    EXPECT_EQ(ClClock::m_timerPool.getCount(), iTimers);
    EXPECT_EQ(world.services().m_stoppedHeldCues, std::vector<u32>{1});
    EXPECT_TRUE(player.m_chainsawLoopCue.isNull());
    EXPECT_EQ(player.m_bChainsawSound, 0);
  }
}
