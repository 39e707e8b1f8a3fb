// The player's punches: variants drawn from the generator, the left punch's toggle, and resolveAttack (lanes,
// radius, passed enemies, insults, falling enemies, sounds and the close-hit voice-overs).
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

// An enemy of the test type placed exactly.
ClEntityEnemy* place(ClPlayerTestWorld& world, const char* pType, f32 fX, i32 iLane, f32 fZ = 0.0f) {
  ClEntityEnemy* pEnemy = world.spawn(pType, fX, iLane, fZ);
  pEnemy->m_vPosition[0] = fX;
  pEnemy->m_vPosition[2] = fZ;
  return pEnemy;
}

}  // namespace

// Each start draws one word; the next variant is one of the two others, chosen by that word.
TEST(PlayerAttack, PunchVariantsRotateWithOneDrawEach) {
  for (i32 iPunch = 0; iPunch < 3; ++iPunch) {
    SCOPED_TRACE(iPunch);
    ClPlayerTestWorld world(77 + iPunch);
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    g_aiPunchVariant[iPunch] = 0;
    std::vector<i32> variants;
    std::vector<u32> words;
    const u32 uiDraws = KvRandomGetDrawCount();
    for (i32 i = 0; i < 60; ++i) {
      variants.push_back(g_aiPunchVariant[iPunch]);
      if (iPunch == 0) player.startHighPunch();
      if (iPunch == 1) player.startLowPunch();
      if (iPunch == 2) player.startUppercut();
    }
    EXPECT_EQ(KvRandomGetDrawCount() - uiDraws, 60u);
    // The same words again from the same seed give the rule's sequence.
    sfmtInitGenRand(77 + iPunch);
    i32 v = 0;
    std::array<i32, 3> seen = {0, 0, 0};
    for (i32 i = 0; i < 60; ++i) {
      EXPECT_EQ(variants[i], v) << i;
      ++seen[v];
      const i32 next = (v + 1 + static_cast<i32>((sfmtNextWord() % 0x7FFFFFFFu) % 2u)) % 3;
      EXPECT_NE(next, v);
      v = next;
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
  }
}

TEST(PlayerAttack, TheLeftPunchTogglesAndDrawsNothing) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  g_bLeftPunchVariant = 0;
  const u32 uiDraws = KvRandomGetDrawCount();
  const ClFlipBook* pFirst = ClFlipBookMgr::getFlipBook("AnimationsLeftPunch");
  const ClFlipBook* pSecond = ClFlipBookMgr::getFlipBook("AnimationsLeftPunch2");
  for (i32 i = 0; i < 4; ++i) {
    player.startLeftPunch();
    EXPECT_EQ(player.m_mainAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook(), i % 2 == 0 ? pFirst : pSecond);
    EXPECT_EQ(player.m_eState, E_PLAYER_STATE_LEFT_PUNCH);
  }
  EXPECT_EQ(KvRandomGetDrawCount(), uiDraws);
}

TEST(PlayerAttack, ResolveAttackFindsWhatItHits) {
  // The player at x 100 in lane 1 with bare hands: the attack point is 136 forward or 64 backward.
  struct SCase {
    const char* pName;
    char cLetter;
    i32 bBackward;
    f32 fX;
    i32 iLane;
    f32 fZ;
    f32 fVelocityZ;
    bool bDead;
    bool bHit;
  };
  const SCase cases[] = {
      {"at the point", 'H', 0, 136.0f, 1, 0.0f, 0.0f, false, true},
      {"just inside the radius", 'L', 0, 167.9f, 1, 0.0f, 0.0f, false, true},
      {"at the radius", 'L', 0, 168.0f, 1, 0.0f, 0.0f, false, false},
      {"another lane", 'H', 0, 136.0f, 0, 0.0f, 0.0f, false, false},
      {"passed, near the player", 'U', 0, 101.0f, 1, 0.0f, 0.0f, false, true},
      {"passed but high in the air", 'U', 0, 101.0f, 1, -10.0f, 0.0f, false, false},
      {"height counts half", 'H', 0, 150.0f, 1, -50.0f, 0.0f, false, true},    // sqrt(625 + 196) < 32
      {"height counts half, too far", 'H', 0, 160.0f, 1, -50.0f, 0.0f, false, false},
      {"falling fast: three quarters", 'H', 0, 176.0f, 1, 0.0f, 250.0f, false, true},  // 40 * 0.75 = 30
      {"falling slowly", 'H', 0, 176.0f, 1, 0.0f, 200.0f, false, false},
      {"behind, backward", 'C', 1, 64.0f, 1, 0.0f, 0.0f, false, true},
      {"ahead, backward", 'C', 1, 136.0f, 1, 0.0f, 0.0f, false, false},
      {"between, backward: never passed", 'C', 1, 99.0f, 1, 0.0f, 0.0f, false, false},
      {"dead: insult spot", 'H', 0, 86.0f, 1, 0.0f, 0.0f, true, true},     // 86 + 50 = 136
      {"dead: off the insult spot", 'H', 0, 136.0f, 1, 0.0f, 0.0f, true, false},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pName);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    ClEntityEnemy* pEnemy = place(world, "Walker", c.fX, c.iLane, c.fZ);
    pEnemy->m_vVelocity[2] = c.fVelocityZ;
    if (c.bDead) {
      pEnemy->m_fHitPoints = 0.0f;
      pEnemy->m_fInsultOffset = 50.0f;
      pEnemy->m_fInsultRadius = 4.0f;
    }
    player.resolveAttack(c.cLetter, c.bBackward);
    EXPECT_EQ(player.m_bAttackResolved, 1);
    EXPECT_EQ(pEnemy->m_bHitReceived, c.bHit ? 1 : 0);
    EXPECT_EQ(world.cues("PlayerWhiff"), c.bHit ? 0 : 1);
    EXPECT_EQ(world.cues("PlayerHitting"), c.bHit ? 1 : 0);
  }
}

TEST(PlayerAttack, OnePunchHitsEveryEnemyInRangeWithOneImpactCue) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityEnemy* pA = place(world, "Walker", 130.0f, 1);
  ClEntityEnemy* pB = place(world, "EnemyFlankerB", 140.0f, 1);
  ClEntityEnemy* pC = place(world, "Walker", 140.0f, 2);
  world.player().resolveAttack('H', 0);
  EXPECT_EQ(pA->m_bHitReceived, 1);
  EXPECT_EQ(pB->m_bHitReceived, 1);
  EXPECT_EQ(pC->m_bHitReceived, 0);
  EXPECT_EQ(world.cues("PlayerHitting"), 1);
  EXPECT_EQ(world.cues("PlayerWhiff"), 0);
}

TEST(PlayerAttack, AHighPunchOnTheLeaderWhiffs) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityEnemy* pLeader = place(world, "EnemyLeader", 136.0f, 1);
  world.player().resolveAttack('H', 0);
  EXPECT_EQ(pLeader->m_bHitReceived, 1) << "the leader records the hit";
  EXPECT_EQ(world.cues("PlayerWhiff"), 1);
}

TEST(PlayerAttack, ImpactCuesAndCloseHitVoiceOversByWeapon) {
  struct SCase {
    i32 eWeapon;
    f32 fDistance;
    bool bHurt;
    const char* pCue;
    i32 iVoiceOver;  // -1: none
  };
  const SCase cases[] = {
      {E_PLAYER_WEAPON_SLEDGEHAMMER, 3.25f, false, "PlayerSledge", 4},  // limit 3 x 1.1; exact in binary
      {E_PLAYER_WEAPON_SLEDGEHAMMER, 3.4f, false, "PlayerSledge", -1},
      {E_PLAYER_WEAPON_SLEDGEHAMMER, 0.0f, true, "PlayerSledge", -1},  // not the first blow
      {E_PLAYER_WEAPON_MACHETE, 2.375f, false, "PlayerMachete", 5},  // limit 3 x 0.8
      {E_PLAYER_WEAPON_MACHETE, 2.5f, false, "PlayerMachete", -1},
      {E_PLAYER_WEAPON_AXE, 2.0f, false, "PlayerHitting", 6},
      {E_PLAYER_WEAPON_NONE, 0.0f, false, "PlayerHitting", -1},  // bare hands never speak here
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.eWeapon * 100 + static_cast<i32>(c.fDistance * 10.0f));
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    if (c.eWeapon == E_PLAYER_WEAPON_SLEDGEHAMMER) player.takeSledgehammer(1);
    if (c.eWeapon == E_PLAYER_WEAPON_MACHETE) player.takeMachete(1);
    if (c.eWeapon == E_PLAYER_WEAPON_AXE) player.takeAxe(1);
    ClEntityEnemy* pEnemy = place(world, "Walker", 100.0f + player.m_fReach + c.fDistance, 1);
    if (c.bHurt) {
      pEnemy->m_fHitPoints = 2.0f;
    }
    world.services().m_voiceOvers.clear();
    player.resolveAttack('L', 0);
    EXPECT_EQ(world.cues(c.pCue), 1);
    EXPECT_EQ(world.services().m_voiceOvers.size(), c.iVoiceOver < 0 ? 0u : 1u);
    if (c.iVoiceOver >= 0 && !world.services().m_voiceOvers.empty()) {
      EXPECT_EQ(world.services().m_voiceOvers[0], c.iVoiceOver);
    }
  }
}

// A punch is resolved once, on its first handled frame; a second press cuts it short with the next variant.
TEST(PlayerAttack, ARepeatedPressCutsThePunchShortAndResolvesAgain) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  world.press(E_GAME_ACTION_HIGH_PUNCH);
  world.step();
  world.step();
  EXPECT_EQ(world.cues("PlayerWhiff"), 1);
  const i32 iVariant = g_aiPunchVariant[0];
  world.press(E_GAME_ACTION_HIGH_PUNCH);
  world.step();
  EXPECT_EQ(player.m_eState, E_PLAYER_STATE_HIGH_PUNCH);
  EXPECT_EQ(player.m_bAttackResolved, 0);
  EXPECT_NE(g_aiPunchVariant[0], iVariant);
  world.step();
  world.step();
  EXPECT_EQ(world.cues("PlayerWhiff"), 2);
}
