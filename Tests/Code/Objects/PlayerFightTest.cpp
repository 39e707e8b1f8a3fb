// A seeded minute of the real player against the sample enemies, with the sample "EntityPlayer" and "EntityEnemy":
// scripted commands (punches, lanes, super weapons, the three specials, a weapon pickup) fed straight into pad 0's
// actions. The same seed gives the same final state, score and draw count.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "Tests/Code/Objects/PlayerTestWorld.h"
#include "Tests/Code/Objects/SampleWorldRun.h"

namespace {

struct SFightResult {
  std::string m_state;  // the player, then every live entity
  i32 m_iScore = 0;
  i32 m_iKills = 0;
  u32 m_uiDraws = 0;
  i32 m_iCues = 0;
  i32 m_iSpecials = 0;
  i32 m_iSuperWeapons = 0;
  i32 m_iQuads = 0;
  std::string m_error;

  bool operator==(const SFightResult& other) const {
    return m_state == other.m_state && m_iScore == other.m_iScore && m_iKills == other.m_iKills &&
           m_uiDraws == other.m_uiDraws && m_iCues == other.m_iCues && m_iQuads == other.m_iQuads;
  }
};

SFightResult fight(u32 uiSeed, f32 fSeconds) {
  SFightResult result;
  ClPlayerTestWorld world(uiSeed, KvReadSourceFile("Content/Scripts/EntityEnemy.kdt"),
                          KvReadSourceFile("Content/Scripts/EntityPlayer.kdt"));
  result.m_error = world.m_error;
  if (!result.m_error.empty()) {
    return result;
  }
  ClEntityPlayer& player = world.player();
  player.m_iHitPoints = 40;  // long enough to see the minute through
  static const char* const s_apTypes[] = {"EnemyThug", "EnemyFast", "EnemyPistol", "EnemyRiot", "EnemyBarrel",
                                          "EnemyGrenadier", "EnemyStomper", "EnemyLeft", "PickupSupportCrate"};
  static constexpr i32 s_aiPunches[] = {E_GAME_ACTION_HIGH_PUNCH, E_GAME_ACTION_LOW_PUNCH,
                                        E_GAME_ACTION_UPPERCUT, E_GAME_ACTION_HIGH_PUNCH,
                                        E_GAME_ACTION_LEFT_PUNCH};
  const f32 dt = 1.0f / 60.0f;
  const i32 iFrames = static_cast<i32>(fSeconds * 60.0f + 0.5f);
  for (i32 iFrame = 0; iFrame < iFrames; ++iFrame) {
    g_fWorldCameraX = player.m_vPosition[0] - 150.0f;
    if (iFrame % 72 == 0) {
      const i32 iType = KvMath::randomIntBelow(static_cast<i32>(sizeof(s_apTypes) / sizeof(s_apTypes[0])));
      world.spawn(s_apTypes[iType], g_fWorldCameraX + 460.0f, KvMath::randomIntBelow(3));
    }
    if (iFrame % 11 == 0) {
      world.press(s_aiPunches[(iFrame / 11) % 5]);
    }
    if (iFrame % 150 == 40) {
      world.press((iFrame / 150) % 2 == 0 ? E_GAME_ACTION_LANE_UP : E_GAME_ACTION_LANE_DOWN);
    }
    if (iFrame == 600 || iFrame == 2000 || iFrame == 2900) {
      g_iSuperWeaponKind = (iFrame / 1000) % 3;
      g_fSuperMeter = 1.0f;
      world.press(E_GAME_ACTION_SUPER_WEAPON);
      ++result.m_iSuperWeapons;
    }
    if (iFrame == 1200 || iFrame == 2500 || iFrame == 3300) {
      g_iMagicKind = (iFrame / 1000) % 3;
      g_iMagicCharges = 1;
      world.press(E_GAME_ACTION_MAGIC);
      ++result.m_iSpecials;
    }
    if (iFrame == 1800) {
      player.takeMachete(0);
    }
    // The level holds gameplay time still while a special runs.
    world.step(dt, g_bMagicFreeze != 0 ? 0.0f : dt);
    result.m_iQuads += static_cast<i32>(world.draw().size());
  }
  std::ostringstream out;
  out << "player " << player.m_eState << " " << player.m_iLane << " " << player.m_vPosition[0] << " "
      << player.m_vPosition[1] << " " << player.m_iHitPoints << " " << player.m_eWeapon << " " << player.m_fWeaponLeft
      << "\n";
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    if (ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i])) {
      out << pEnemy->m_typeName.getCStr() << " " << pEnemy->m_stateName.getCStr() << " " << pEnemy->m_iLane << " "
          << pEnemy->m_vPosition[0] << " " << pEnemy->m_vPosition[1] << " " << pEnemy->m_vPosition[2] << "\n";
    }
  }
  result.m_state = out.str();
  result.m_iScore = g_iScore;
  result.m_iKills = g_iEnemiesKilled;
  result.m_uiDraws = KvRandomGetDrawCount();
  result.m_iCues = static_cast<i32>(world.services().m_cues.size());
  return result;
}

}  // namespace

TEST(PlayerFight, TheSampleScriptsPassTheirChecks) {
  ClPlayerTestWorld world(1, KvReadSourceFile("Content/Scripts/EntityEnemy.kdt"),
                          KvReadSourceFile("Content/Scripts/EntityPlayer.kdt"));
  EXPECT_EQ(world.m_error, "");
}

TEST(PlayerFight, ASeededMinuteReplaysExactly) {
  const SFightResult first = fight(20261208, 60.0f);
  ASSERT_EQ(first.m_error, "");
  const SFightResult second = fight(20261208, 60.0f);
  EXPECT_TRUE(first == second);
  EXPECT_EQ(first.m_state, second.m_state);
  EXPECT_EQ(first.m_uiDraws, second.m_uiDraws);
  EXPECT_EQ(first.m_iScore, second.m_iScore);
  // The fight is not idle: the player beat enemies and scored, specials and super weapons ran.
  EXPECT_GT(first.m_iKills, 5);
  EXPECT_GT(first.m_iScore, 0);
  EXPECT_GT(first.m_iCues, 100);
  EXPECT_GT(first.m_uiDraws, 3600u);
  EXPECT_EQ(first.m_iSpecials, 3);
  EXPECT_EQ(first.m_iSuperWeapons, 3);
  const SFightResult other = fight(7, 60.0f);
  EXPECT_FALSE(first == other);
}
