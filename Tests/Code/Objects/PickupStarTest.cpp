// Pickups (each kind's effect, the collect radius, lanes, scrolling away, the magic kind's draw, drawing) and
// star enemies (mirroring the inner enemy, groups rewarded once, runaways never counted).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Code/Objects/ClEntityPickup.h"
#include "Code/Objects/ClEntityStarEnemy.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

class PickupStarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Distinct anchors and widths so that a test can tell which picture a pickup took.
    m_world.flipBook("PickupHealth", 2, 4.0f, 5.0f, 16.0f);
    m_world.flipBook("PickupPoints", 2, 6.0f, 6.0f, 16.0f);
    m_world.flipBook("PickupMachete", 2, 5.0f, 7.0f, 12.0f);
    m_world.flipBook("PickupAxe", 4, 10.0f, 8.0f, 16.0f);
    m_world.flipBook("PickupSledgehammer", 2, 5.0f, 9.0f, 20.0f);
    m_world.uiImage("IM-HUD-Bomb-2_216", 20.0f, 18.0f);  // magic kind 0
    m_world.uiImage("IM-HUD-Bomb-1_216", 22.0f, 18.0f);  // 1
    m_world.uiImage("IM-HUD-Bomb-3_216", 24.0f, 18.0f);  // 2
    ASSERT_EQ(m_world.loadEnemies(KvTestEnemyScript({{"Walker", "HitPoints = 3.0"}})), "");
    ClSpawnMgr::initialize();
  }
  ClEntityPickup* pickup(const char* pName, f32 fX, i32 iLane = 1) {
    ClEntityPickup* pPickup = ClSpawnMgr::spawnPickup(iLane, pName, fX);
    EXPECT_NE(pPickup, nullptr) << pName;
    return pPickup;
  }
  void step(f32 dt = 1.0f / 60.0f) { m_world.step(dt); }
  bool listed(const ClEntity* pEntity) const {
    for (i32 i = 0; i < g_entityList.getCount(); ++i) {
      if (g_entityList[i] == pEntity) return true;
    }
    return false;
  }
  ClWorldHarness m_world;
};

TEST_F(PickupStarTest, EachKindHasItsEffect) {
  struct SCase {
    const char* pName;
    i32 eKind;
    f32 fShift;  // x added by the set-up: the frame's anchor or half the image
    i32 iHitPoints;
    i32 iScore;
    i32 iMagicCharges;
    const char* pMessage;  // null: none
    i32 iVoiceOver;
    E_PLAYER_WEAPON eWeapon;
  };
  const SCase aCases[] = {
      {"PickupHealth", E_PICKUP_KIND_HEALTH, 5.0f, 3, 500, 0, "bonus_health", 14, E_PLAYER_WEAPON_NONE},
      {"PickupMagic", E_PICKUP_KIND_MAGIC, -1.0f, 1, 500, 1, "bonus_magic", 15, E_PLAYER_WEAPON_NONE},
      {"PickupPoints", E_PICKUP_KIND_POINTS, 6.0f, 1, 2500, 0, "bonus_points", 16, E_PLAYER_WEAPON_NONE},
      {"PickupMachete", E_PICKUP_KIND_MACHETE, 7.0f, 1, 500, 0, nullptr, -1, E_PLAYER_WEAPON_MACHETE},
      {"PickupFireAxe", E_PICKUP_KIND_AXE, 8.0f, 1, 500, 0, nullptr, -1, E_PLAYER_WEAPON_AXE},
      {"PickupSledgehammer", E_PICKUP_KIND_SLEDGEHAMMER, 9.0f, 1, 500, 0, nullptr, -1, E_PLAYER_WEAPON_SLEDGEHAMMER},
  };
  ClTestPlayer& player = m_world.addPlayer(0.0f, 1);
  for (const SCase& c : aCases) {
    player.m_takes.clear();
    player.m_iHitPoints = 1;
    g_iPlayerHealth = 1;
    g_iScore = 500;
    g_fMultiplier = 8.0f;  // points are not multiplied
    g_iMagicCharges = 0;
    g_iMagicKind = 7;
    g_fMessageTime = 0.0f;
    g_uiMessageId = 0;
    m_world.m_services.m_voiceOvers.clear();
    ClEntityPickup* pPickup = pickup(c.pName, 1000.0f);
    ASSERT_NE(pPickup, nullptr);
    EXPECT_EQ(pPickup->m_ePickupKind, c.eKind) << c.pName;
    EXPECT_EQ(pPickup->m_ePickupKind, ClEntityPickup::kindOf(c.pName));
    EXPECT_EQ(pPickup->m_eKind, E_ENTITY_KIND_PICKUP);
    if (c.fShift >= 0.0f) {
      EXPECT_EQ(pPickup->m_vPosition[0], 1000.0f + c.fShift) << c.pName;
    }
    const i32 iMagicKind = pPickup->m_iMagicKind;
    // Exactly the collect radius away (16 units) counts.
    player.m_vPosition[0] = pPickup->m_vPosition[0] - 16.0f;
    g_fWorldCameraX = player.m_vPosition[0] - 80.0f;
    step();
    EXPECT_FALSE(listed(pPickup)) << c.pName;
    EXPECT_EQ(player.m_iHitPoints, c.iHitPoints) << c.pName;
    EXPECT_EQ(g_iPlayerHealth, c.iHitPoints) << c.pName;
    EXPECT_EQ(g_iScore, c.iScore) << c.pName;
    EXPECT_EQ(g_iMagicCharges, c.iMagicCharges) << c.pName;
    EXPECT_EQ(g_iMagicKind, c.iMagicCharges == 1 ? iMagicKind : 7) << c.pName;
    EXPECT_EQ(g_uiMessageId, c.pMessage != nullptr ? KvStrHash(c.pMessage) : 0u) << c.pName;
    EXPECT_EQ(g_fMessageTime, c.pMessage != nullptr ? 3.0f : 0.0f) << c.pName;
    if (c.iVoiceOver < 0) {
      EXPECT_TRUE(m_world.m_services.m_voiceOvers.empty()) << c.pName;
    } else {
      ASSERT_EQ(m_world.m_services.m_voiceOvers.size(), 1u) << c.pName;
      EXPECT_EQ(m_world.m_services.m_voiceOvers[0], c.iVoiceOver);
    }
    if (c.eWeapon == E_PLAYER_WEAPON_NONE) {
      EXPECT_TRUE(player.m_takes.empty()) << c.pName;
    } else {
      ASSERT_EQ(player.m_takes.size(), 1u) << c.pName;
      EXPECT_EQ(player.m_takes[0].m_eWeapon, c.eWeapon);
      EXPECT_EQ(player.m_takes[0].m_bKeepCharge, 0);
    }
  }
}

TEST_F(PickupStarTest, OnlyTheSameLaneWithinSixteenUnitsCollects) {
  struct SCase {
    i32 iPickupLane;
    i32 iPlayerLane;
    f32 fDX;
    bool bCollected;
  };
  const SCase aCases[] = {{1, 1, 16.0f, true},   {1, 1, -16.0f, true}, {1, 1, 0.0f, true},  {1, 1, 16.01f, false},
                          {1, 1, -16.5f, false}, {0, 1, 0.0f, false},  {2, 1, 3.0f, false}, {0, 0, 10.0f, true}};
  ClTestPlayer& player = m_world.addPlayer(0.0f, 1);
  for (const SCase& c : aCases) {
    player.m_iLane = c.iPlayerLane;
    ClEntityPickup* pPickup = pickup("PickupPoints", 1000.0f, c.iPickupLane);
    player.m_vPosition[0] = pPickup->m_vPosition[0] + c.fDX;
    g_fWorldCameraX = 0.0f;
    step();
    EXPECT_EQ(!listed(pPickup), c.bCollected) << "lanes " << c.iPickupLane << "/" << c.iPlayerLane << " dx " << c.fDX;
    if (listed(pPickup)) pPickup->m_bGone = 1;
    step();
  }
}

TEST_F(PickupStarTest, PickupsLieOnTheirLaneAndGoBehindTheCamera) {
  const f32 afLines[] = {115.0f, 157.0f, 200.0f, 200.0f};
  for (i32 iLane = 0; iLane < 4; ++iLane) {
    ClEntityPickup* pPickup = pickup("PickupHealth", 300.0f, iLane);
    EXPECT_EQ(pPickup->m_vPosition[1], afLines[iLane]) << iLane;
    EXPECT_EQ(pPickup->m_ePickupKind, E_PICKUP_KIND_HEALTH);
    EXPECT_EQ(pPickup->m_eKind, E_ENTITY_KIND_PICKUP);
  }
  // No player: nothing is collected; x + 32 below the camera's x removes it.
  ClEntityPickup* pPickup = pickup("PickupHealth", 300.0f);
  const f32 fX = pPickup->m_vPosition[0];
  g_fWorldCameraX = fX + 32.0f;
  step();
  EXPECT_TRUE(listed(pPickup));
  g_fWorldCameraX = fX + 32.5f;
  step();
  EXPECT_FALSE(listed(pPickup));
}

TEST_F(PickupStarTest, MagicPickupsDrawTheirKindOnce) {
  const f32 afWidths[3] = {20.0f, 22.0f, 24.0f};
  for (u32 uiSeed : {1u, 2u, 3u, 4u, 5u, 6u}) {
    sfmtInitGenRand(uiSeed);
    const i32 iExpectedKind = KvMath::randomIntBelow(3);
    sfmtInitGenRand(uiSeed);
    ClEntityPickup* pPickup = pickup("PickupMagic", 400.0f);
    EXPECT_EQ(KvRandomGetDrawCount(), 1u);
    EXPECT_EQ(pPickup->m_iMagicKind, iExpectedKind) << uiSeed;
    ASSERT_NE(pPickup->mp_pImage, nullptr);
    EXPECT_EQ(pPickup->mp_pImage->mp_pAtlasTexInfo->mp_fWidth, afWidths[iExpectedKind]);
    EXPECT_EQ(pPickup->m_vPosition[0], 400.0f + afWidths[iExpectedKind] * 0.5f);
  }
  // Flip-book pickups draw nothing.
  sfmtInitGenRand(9);
  pickup("PickupFireAxe", 400.0f);
  EXPECT_EQ(KvRandomGetDrawCount(), 0u);
}

TEST_F(PickupStarTest, TheAxeShowsItsFlipBookAndAnimatesOnTheGameplayClock) {
  ClEntityPickup* pAxe = pickup("PickupFireAxe", 400.0f);
  ClEntityPickup* pMagic = pickup("PickupMagic", 500.0f);
  const SFlipBookFrame* pFirst = pAxe->m_mainAnim.getCurFrame();
  EXPECT_EQ(pFirst->mp_pImage->mp_pAtlasTexInfo->mp_uiNameHash, KvStrHash("PickupAxe-0001_216"));
  ClClock::m_aClockFrames[0].m_fFrameTime = 0.0f;
  ClClock::m_aClockFrames[1].m_fFrameTime = 0.15f;
  g_iEnemyCueBudgetUsed = 0;
  EntityList::updatePass();
  EXPECT_EQ(pAxe->m_mainAnim.getCurFrame()->mp_pImage->mp_pAtlasTexInfo->mp_uiNameHash, KvStrHash("PickupAxe-0002_216"));
  EXPECT_EQ(pMagic->m_mainAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook(), nullptr);
}

TEST_F(PickupStarTest, PickupsDrawSnappedWithTheStarShader) {
  ClEntityPickup* pAxe = pickup("PickupFireAxe", 400.3f, 0);
  ClEntityPickup* pMagic = pickup("PickupMagic", 501.0f, 2);
  m_world.m_sink.m_quads.clear();
  EntityList::drawPass();
  ASSERT_EQ(m_world.m_sink.m_quads.size(), 2u);
  const SWorldQuad& axe = m_world.m_sink.m_quads[0];
  EXPECT_EQ(axe.m_vPosition.x, std::floor(pAxe->m_vPosition[0] * 1.25f + 0.5f));
  EXPECT_EQ(axe.m_vPosition.y, std::floor(115.0f * 1.25f + 0.5f));
  EXPECT_EQ(axe.m_vPivot.x, 8.0f);
  EXPECT_EQ(axe.m_vPivot.y, 16.0f);
  EXPECT_EQ(axe.m_uiShaderHash, KvStrHash("vosk_star"));
  EXPECT_FLOAT_EQ(axe.m_fDepth, 100.0f - 115.0f);
  EXPECT_EQ(axe.m_uiColor, 0xFFFFFFFFu);
  EXPECT_EQ(axe.m_fScale, 1.0f);
  const SWorldQuad& magic = m_world.m_sink.m_quads[1];
  EXPECT_EQ(magic.mp_pEntry, pMagic->mp_pImage);
  EXPECT_EQ(magic.m_vPivot.x, pMagic->mp_pImage->mp_pAtlasTexInfo->mp_fWidth * 0.5f);
  EXPECT_EQ(magic.m_vPivot.y, 18.0f);
  EXPECT_FLOAT_EQ(magic.m_fDepth, 100.0f - 200.0f + 0.1f);
}

TEST_F(PickupStarTest, UnknownPickupsAreRefused) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(ClSpawnMgr::spawnPickup(1, "PickupBanana", 0.0f), nullptr);
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("[PickupBanana]"), std::string::npos) << error;
  EXPECT_EQ(g_entityList.getCount(), 0);
}

ClEntityStarEnemy* starAt(i32 iLane, f32 fX, i32 iGroup) {
  ClSpawnMgr::spawnStarEnemy(iLane, "Walker", iGroup, fX);
  return static_cast<ClEntityStarEnemy*>(g_entityList[g_entityList.getCount() - 1]);
}

TEST_F(PickupStarTest, StarEnemiesMirrorTheirInnerEnemy) {
  ClEntityStarEnemy* pStar = starAt(2, 300.0f, -1);
  EXPECT_EQ(pStar->m_eKind, E_ENTITY_KIND_ENEMY);  // the inner's kind until the first update
  EXPECT_EQ(pStar->m_bStarLook, 1);
  EXPECT_EQ(pStar->m_inner.m_bStarLook, 1);
  EXPECT_EQ(pStar->m_vPosition[0], pStar->m_inner.m_vPosition[0]);
  EXPECT_EQ(pStar->m_vPosition[1], 200.0f);
  EXPECT_EQ(pStar->m_iLane, 2);
  pStar->m_inner.m_vVelocity[0] = -60.0f;
  pStar->m_inner.m_iLane = 1;
  step(0.5f);
  EXPECT_EQ(pStar->m_eKind, E_ENTITY_KIND_STAR_ENEMY);
  EXPECT_EQ(pStar->m_vPosition[0], pStar->m_inner.m_vPosition[0]);
  EXPECT_EQ(pStar->m_iLane, 1);
  EXPECT_EQ(ClEntityEnemy::hitTarget(pStar), &pStar->m_inner);
  // Hits and drawing go to the inner enemy.
  const f32 fBefore = pStar->m_inner.m_fHitPoints;
  EXPECT_TRUE(pStar->tryHit('H', 0.0f, 0));
  EXPECT_EQ(pStar->m_inner.m_cHitLetter, 'H');
  pStar->m_inner.m_fHitPoints = fBefore;
  m_world.m_sink.m_quads.clear();
  pStar->draw(0);
  const size_t uiOuter = m_world.m_sink.m_quads.size();
  m_world.m_sink.m_quads.clear();
  pStar->m_inner.draw(0);
  EXPECT_EQ(uiOuter, m_world.m_sink.m_quads.size());
  EXPECT_GT(uiOuter, 0u);
}

TEST_F(PickupStarTest, AStarGroupIsRewardedOnceWhenItsLastEnemyFalls) {
  g_aiStarGroupCounts.append(3);
  ClEntityStarEnemy* apStars[3] = {starAt(0, 300.0f, 0), starAt(1, 320.0f, 0), starAt(2, 340.0f, 0)};
  g_fSuperMeter = 0.5f;
  for (i32 k = 0; k < 3; ++k) {
    apStars[k]->m_inner.m_fHitPoints = 0.0f;
    step();
    step();  // a second report of the same enemy counts for nothing
    EXPECT_EQ(g_aiStarGroupCounts[0], 2 - k) << k;
    EXPECT_EQ(apStars[k]->m_bCounted, 1);
    EXPECT_EQ(apStars[k]->m_inner.m_bStarLook, 0);
    EXPECT_EQ(g_fSuperMeter, k < 2 ? 0.5f : 1.5f) << k;
    EXPECT_EQ(m_world.m_services.cueCount("Refueled"), k < 2 ? 0 : 1) << k;
  }
}

TEST_F(PickupStarTest, AStarEnemyThatRunsOffIsNeverCounted) {
  g_aiStarGroupCounts.append(2);
  ClEntityStarEnemy* pRunner = starAt(0, 300.0f, 0);
  ClEntityStarEnemy* pRemoved = starAt(1, 320.0f, 0);
  // Gone without leaving the screen (removed by an action) counts; leaving the screen alive does not.
  pRunner->m_inner.m_bGone = 1;
  pRunner->m_inner.m_bLeftScreen = 1;
  pRemoved->m_inner.m_bGone = 1;
  m_world.m_services.m_cues.clear();
  g_iEnemyCueBudgetUsed = 0;
  pRunner->update();
  pRemoved->update();
  EXPECT_EQ(pRunner->m_bCounted, 0);
  EXPECT_EQ(pRemoved->m_bCounted, 1);
  EXPECT_EQ(pRunner->m_bGone, 1);
  EXPECT_EQ(g_aiStarGroupCounts[0], 1);
  EXPECT_EQ(m_world.m_services.cueCount("Refueled"), 0);
  EXPECT_EQ(g_fSuperMeter, 0.0f);
  step();
  EXPECT_EQ(g_entityList.getCount(), 0);
}

TEST_F(PickupStarTest, AStarEnemyOutsideTheGroupsCountsForNothing) {
  ClEntityStarEnemy* pStar = starAt(0, 300.0f, 4);
  pStar->m_inner.m_fHitPoints = 0.0f;
  step();
  EXPECT_EQ(pStar->m_bCounted, 1);
  EXPECT_EQ(g_fSuperMeter, 0.0f);
}

}  // namespace
