// The player's magic specials: start and refusal, each timeline's length on the system clock, the freeze, the
// hit-all frames after the end, the Bolt's dash and hit effects, the Ninja's clones, the Dragon's embers, and
// the effects freed by clear.
#include <gtest/gtest.h>

#include <cmath>

#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

constexpr f32 cMagicDT = 1.0f / 64.0f;

bool drawsImage(const std::vector<SWorldQuad>& quads, const char* pImage) {
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pImage));
  for (const SWorldQuad& quad : quads) {
    if (quad.mp_pEntry == pEntry) return true;
  }
  return false;
}

}  // namespace

TEST(PlayerMagic, WithoutAChargeMagicDoesNothing) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  g_iMagicCharges = 0;
  world.press(E_GAME_ACTION_MAGIC);
  world.step();
  EXPECT_EQ(world.player().m_eState, E_PLAYER_STATE_RUNNING);
  EXPECT_EQ(g_bMagicFreeze, 0);
  g_iMagicCharges = 1;
  g_iGameType = 4;
  g_fTimeLeft = 0.5f;
  world.step();
  world.press(E_GAME_ACTION_MAGIC);
  world.step();
  EXPECT_EQ(world.player().m_eState, E_PLAYER_STATE_RUNNING) << "refused in a survivor wave's last second";
  EXPECT_EQ(g_iMagicCharges, 1);
}

// Each special runs its length in real time whatever the gameplay clock does, holds the world still while it
// runs, and then hits every enemy on three frames, including one that appeared during the special.
TEST(PlayerMagic, EachSpecialRunsItsTimelineThenHitsAllThreeTimes) {
  struct SCase {
    i32 iKind;
    i32 eState;
    f32 fSeconds;
    const char* pCue;
    i32 iVoiceOver;
    f32 fGameplayDT;
  };
  const SCase cases[] = {
      {0, E_PLAYER_STATE_BOLT, 2.4f, "BoltSpecialStart", 11, 0.0f},
      {1, E_PLAYER_STATE_NINJA, 4.5f, "NinjaMagic", 13, 0.0f},
      {1, E_PLAYER_STATE_NINJA, 4.5f, "NinjaMagic", 13, cMagicDT * 0.25f},  // slow motion changes nothing
      {2, E_PLAYER_STATE_DRAGON, 4.6f, "DragonMagic", 12, 0.0f},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pCue);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    g_iMagicKind = c.iKind;
    g_iMagicCharges = 1;
    world.press(E_GAME_ACTION_MAGIC);
    world.step(cMagicDT, c.fGameplayDT);
    EXPECT_EQ(player.m_eState, c.eState);
    EXPECT_EQ(g_iMagicCharges, 0);
    EXPECT_EQ(world.cues(c.pCue), 1);
    EXPECT_EQ(world.services().m_voiceOvers, std::vector<i32>{c.iVoiceOver});
    ClEntityEnemy* pLate = nullptr;
    i32 iFrames = 1;
    while (player.m_eState == c.eState && iFrames < 1000) {
      EXPECT_EQ(g_bMagicFreeze, 1);
      EXPECT_EQ(player.m_bHittable, 0);
      if (iFrames == 32) {
        pLate = world.spawn("Walker", player.m_vPosition[0] + 200.0f, 0);
      }
      if (pLate != nullptr) {
        EXPECT_EQ(pLate->m_bHitReceived, 0) << "no damage while the special plays";
      }
      world.step(cMagicDT, c.fGameplayDT);
      ++iFrames;
    }
    EXPECT_NEAR(static_cast<f32>(iFrames) * cMagicDT, c.fSeconds, 3.0f * cMagicDT);
    EXPECT_EQ(player.m_eState, E_PLAYER_STATE_RUNNING);
    EXPECT_EQ(g_bMagicFreeze, 0);
    ASSERT_NE(pLate, nullptr);
    i32 iHitFrames = pLate->m_bHitReceived;
    for (i32 i = 0; i < 6; ++i) {
      pLate->m_bHitReceived = 0;
      world.step(cMagicDT, c.fGameplayDT);
      iHitFrames += pLate->m_bHitReceived;
    }
    EXPECT_EQ(iHitFrames, 3);
    EXPECT_FALSE(g_boltHitEffects.isInitialized());
    EXPECT_FALSE(g_ninjaClones.isInitialized());
    EXPECT_FALSE(g_dragonEmbers.isInitialized());
  }
}

TEST(PlayerMagic, TheBoltDashesOutAndBackWithAHitEffectPerEntity) {
  for (const i32 iEnemies : {0, 2}) {
    SCOPED_TRACE(iEnemies);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    for (i32 i = 0; i < iEnemies; ++i) {
      world.spawn("Walker", 300.0f + 40.0f * static_cast<f32>(i), i);
    }
    g_iMagicKind = 0;
    world.press(E_GAME_ACTION_MAGIC);
    world.step(cMagicDT, 0.0f);
    const f32 x0 = player.m_vPosition[0];
    for (i32 i = 0; i < 10; ++i) world.step(cMagicDT, 0.0f);
    EXPECT_EQ(g_boltHitEffects.getCount(), iEnemies);
    EXPECT_GT(player.m_vPosition[0] - x0, 80.0f) << "the dash";
    std::vector<SWorldQuad> quads;
    bool bTop = false;
    bool bHit = false;
    while (player.m_eState == E_PLAYER_STATE_BOLT) {
      world.m_world.m_sink.m_quads.clear();
      world.step(cMagicDT, 0.0f);
      bTop = bTop || drawsImage(world.m_world.m_sink.m_quads, "BoltTop-0001_216");
      bHit = bHit || drawsImage(world.m_world.m_sink.m_quads, "BoltHit-0001_216");
    }
    EXPECT_TRUE(bTop);
    EXPECT_EQ(bHit, iEnemies > 0);
    // Back where it started, up to the difference of the dash's and the return's frame steps.
    EXPECT_NEAR(player.m_vPosition[0], x0, 900.0f * cMagicDT);
  }
}

TEST(PlayerMagic, NinjaClonesFanOutAndTurnBackIntoTheView) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  g_iMagicKind = 1;
  world.press(E_GAME_ACTION_MAGIC);
  world.step(cMagicDT, 0.0f);
  while (player.m_fStateTime < 0.95f) world.step(cMagicDT, 0.0f);
  ASSERT_EQ(g_ninjaClones.getCount(), 15);
  // Clone i drifts at 13 i units a second, even ones forward, odd ones back.
  for (i32 i = 0; i < 15; ++i) {
    EXPECT_FLOAT_EQ(g_ninjaCloneAngles[i], static_cast<f32>(i % 2 == 0 ? i * 5 : -(i * 5)));
    const f32 fDrift = g_ninjaClonePoints[i].x - player.m_vPosition[0];
    EXPECT_EQ(fDrift > 0.0f, i % 2 == 0 && i > 0) << i;
  }
  EXPECT_TRUE(world.draw().empty()) << "the player itself is hidden once the clones are out";
  while (player.m_fStateTime < 1.6f) world.step(cMagicDT, 0.0f);  // fully faded in after 1.5 s
  // One clone below the view's bottom, one left of the camera.
  g_ninjaClonePoints[0] = {g_fWorldCameraX + 100.0f, 310.0f};
  g_ninjaCloneAngles[0] = 0.5f * 3.14159265f;
  g_ninjaClonePoints[1] = {g_fWorldCameraX - 5.0f, 100.0f};
  g_ninjaCloneAngles[1] = 3.14159265f;
  world.m_world.m_sink.m_quads.clear();
  world.step(cMagicDT, 0.0f);
  EXPECT_FLOAT_EQ(g_ninjaCloneAngles[0], 1.5f * 3.14159265f);
  EXPECT_LT(g_ninjaClonePoints[0].y, 300.0f) << "it heads back up";
  EXPECT_FLOAT_EQ(g_ninjaCloneAngles[1], 2.0f * 3.14159265f);
  EXPECT_GT(g_ninjaClonePoints[1].x, g_fWorldCameraX) << "it heads forward";
  i32 iRotated = 0;
  for (const SWorldQuad& quad : world.m_world.m_sink.m_quads) {
    iRotated += quad.m_bRotated;
    if (quad.m_bRotated != 0) {
      EXPECT_EQ(quad.m_uiColor >> 24, 255u);
      EXPECT_EQ(quad.m_fDepth, -1000.0f);
    }
  }
  EXPECT_EQ(iRotated, 15);
}

TEST(PlayerMagic, TheDragonsEmbersComeSixtyThenFortyASecondWithTwoDrawsEach) {
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  ClEntityPlayer& player = world.player();
  g_iMagicKind = 2;
  world.press(E_GAME_ACTION_MAGIC);
  world.step(cMagicDT, 0.0f);
  while (player.m_fStateTime < 1.5f) world.step(cMagicDT, 0.0f);
  const u32 uiDraws = KvRandomGetDrawCount();
  while (player.m_fStateTime < 2.0f) world.step(cMagicDT, 0.0f);
  const i32 iFirst = g_dragonEmbers.getCount();
  EXPECT_NEAR(iFirst, 30, 1);
  EXPECT_EQ(KvRandomGetDrawCount() - uiDraws, 2u * static_cast<u32>(iFirst));
  world.m_world.m_sink.m_quads.clear();
  while (player.m_fStateTime < 3.0f) world.step(cMagicDT, 0.0f);
  EXPECT_NEAR(g_dragonEmbers.getCount() - iFirst, 40, 1);
  for (i32 i = 0; i < g_dragonEmberPoints.getCount(); ++i) {
    EXPECT_GE(g_dragonEmberPoints[i].x, g_fWorldCameraX);
    EXPECT_LE(g_dragonEmberPoints[i].x, g_fWorldCameraX + 400.0f);
    EXPECT_GE(g_dragonEmberPoints[i].y, 50.0f);
    EXPECT_LE(g_dragonEmberPoints[i].y, 216.0f);
  }
  EXPECT_TRUE(drawsImage(world.m_world.m_sink.m_quads, "DragonHead_216"));
  EXPECT_TRUE(drawsImage(world.m_world.m_sink.m_quads, "DragonBreath-0001_216") ||
              drawsImage(world.m_world.m_sink.m_quads, "DragonBreath-0002_216"));
}

TEST(PlayerMagic, ClearInTheMiddleOfASpecialFreesItsEffects) {
  for (i32 iKind = 0; iKind < 3; ++iKind) {
    SCOPED_TRACE(iKind);
    ClPlayerTestWorld world;
    ASSERT_EQ(world.m_error, "");
    ClEntityPlayer& player = world.player();
    world.spawn("Walker", 300.0f, 1);
    g_iMagicKind = iKind;
    world.press(E_GAME_ACTION_MAGIC);
    world.step(cMagicDT, 0.0f);
    while (player.m_fStateTime < 2.2f) world.step(cMagicDT, 0.0f);
    EXPECT_TRUE(g_boltHitEffects.isInitialized() || g_ninjaClones.isInitialized() || g_dragonEmbers.isInitialized());
    player.clear();
    EXPECT_FALSE(g_boltHitEffects.isInitialized());
    EXPECT_FALSE(g_boltHitPoints.isInitialized());
    EXPECT_FALSE(g_ninjaClones.isInitialized());
    EXPECT_FALSE(g_ninjaClonePoints.isInitialized());
    EXPECT_FALSE(g_ninjaCloneAngles.isInitialized());
    EXPECT_FALSE(g_dragonEmbers.isInitialized());
    EXPECT_FALSE(g_dragonEmberPoints.isInitialized());
    EXPECT_EQ(g_bMagicFreeze, 0);
    const f32 afStart[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    player.m_eState = E_PLAYER_STATE_RUNNING;
    player.reset(afStart, 0);
    g_iMagicCharges = 1;
    world.step(cMagicDT, 0.0f);
    world.press(E_GAME_ACTION_MAGIC);
    world.step(cMagicDT, 0.0f);
    world.step(cMagicDT, 0.0f);
    EXPECT_EQ(player.m_eState, E_PLAYER_STATE_BOLT + iKind) << "a new special starts from fresh vectors";
  }
}
