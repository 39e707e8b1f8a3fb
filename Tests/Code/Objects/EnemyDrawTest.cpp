// Enemy drawing: the blinking bullet shader, the target marker, the left arrow, the shield, rotation and trail.
#include <gtest/gtest.h>

#include <cmath>

#include "Corvane/Graphics/ClDynamicGeometryHelper.h"
#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

class EnemyDrawTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(m_world.loadEnemies(KvTestEnemyScript(KvTestEnemyTypes())), ""); }
  std::vector<SWorldQuad> drawn(ClEntityEnemy* pEnemy, u32 uiIndex = 0) {
    m_world.m_sink.m_quads.clear();
    pEnemy->draw(uiIndex);
    return m_world.m_sink.m_quads;
  }
  const SWorldQuad* quadOf(const std::vector<SWorldQuad>& quads, const char* pImage) {
    const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pImage));
    for (const SWorldQuad& quad : quads) {
      if (quad.mp_pEntry == pEntry) return &quad;
    }
    return nullptr;
  }
  ClWorldHarness m_world;
};

}  // namespace

TEST_F(EnemyDrawTest, BulletsBlink) {
  const struct {
    f32 fDuration;
    const char* pShader;
  } cases[] = {{0.04f, "vosk_bullet"}, {0.02f, "system_blend_premult"}, {0.06f, "vosk_bullet"}, {0.08f, "system_blend_premult"}};
  for (const auto& c : cases) {
    ClEntityEnemy* pBullet = m_world.spawn("Rocket", 100.0f, 1);
    pBullet->m_fDuration = c.fDuration;
    const std::vector<SWorldQuad> quads = drawn(pBullet);
    ASSERT_FALSE(quads.empty());
    EXPECT_EQ(quads[0].m_uiShaderHash, KvStrHash(c.pShader)) << c.fDuration;
  }
  ClEntityEnemy* pWalker = m_world.spawn("Walker", 100.0f, 1);
  pWalker->m_fDuration = 0.04f;
  EXPECT_EQ(drawn(pWalker)[0].m_uiShaderHash, KvStrHash("system_blend_premult"));
  pWalker->m_bStarLook = 1;
  EXPECT_EQ(drawn(pWalker)[0].m_uiShaderHash, KvStrHash("vosk_star"));
}

TEST_F(EnemyDrawTest, TheTargetMarkerFadesWithDistanceFromTheReach) {
  ClTestPlayer& player = m_world.addPlayer(100.0f, 1);
  player.m_fReach = 20.0f;
  const struct {
    f32 fX;
    f32 fZ;
    const char* pMask;
    const char* pType;
    i32 iAlpha;  // -1: no marker
  } cases[] = {
      {120.0f, 0.0f, "LHUCEB", "Walker", 255}, {170.0f, 0.0f, "LHUCEB", "Walker", 127},
      {220.0f, 0.0f, "LHUCEB", "Walker", -1},  {120.0f, -100.0f, "LHUCEB", "Walker", -1},
      {120.0f, 0.0f, "B", "Walker", -1},       {120.0f, 0.0f, "BE", "Walker", -1},
      {120.0f, 0.0f, "LHUCEB", "EnemyBarrel", -1},
  };
  for (const auto& c : cases) {
    ClEntityEnemy* pEnemy = m_world.spawn(c.pType, 0.0f, 1);
    pEnemy->m_vPosition[0] = c.fX;
    pEnemy->m_vPosition[2] = c.fZ;
    std::snprintf(pEnemy->m_szHitMask, sizeof(pEnemy->m_szHitMask), "%s", c.pMask);
    const std::vector<SWorldQuad> quads = drawn(pEnemy, 2);
    const SWorldQuad* pMarker = quadOf(quads, "EnemyTarget_216");
    if (c.iAlpha < 0) {
      EXPECT_EQ(pMarker, nullptr) << c.fX << " " << c.pMask;
    } else {
      ASSERT_NE(pMarker, nullptr) << c.fX;
      EXPECT_EQ(pMarker->m_uiColor >> 24, static_cast<u32>(c.iAlpha));
      EXPECT_FLOAT_EQ(pMarker->m_fDepth, (100.0f - 157.0f) + 0.2f - 1.0f);
      EXPECT_FLOAT_EQ(pMarker->m_vPosition.y, WorldDraw::snap(157.0f - 27.0f));
    }
  }
  ClEntityEnemy* pDead = m_world.spawn("Walker", 0.0f, 1);
  pDead->m_vPosition[0] = 120.0f;
  std::snprintf(pDead->m_szHitMask, sizeof(pDead->m_szHitMask), "L");
  EXPECT_NE(quadOf(drawn(pDead), "EnemyTarget_216"), nullptr);
  pDead->m_fHitPoints = 0.0f;
  EXPECT_EQ(quadOf(drawn(pDead), "EnemyTarget_216"), nullptr);
  m_world.m_services.m_bTargetMarker = false;
  pDead->m_fHitPoints = 1.0f;
  EXPECT_EQ(quadOf(drawn(pDead), "EnemyTarget_216"), nullptr);
}

TEST_F(EnemyDrawTest, TheLeftArrowFadesInBehindTheEdge) {
  g_fWorldCameraX = 1000.0f;
  const struct {
    f32 fX;
    f32 fVX;
    i32 iAlpha;
  } cases[] = {{925.0f, 50.0f, 127}, {960.0f, 50.0f, 255}, {900.0f, 50.0f, -1}, {925.0f, 0.0f, -1}, {1010.0f, 50.0f, -1}};
  for (const auto& c : cases) {
    ClEntityEnemy* pEnemy = m_world.spawn("Lefty", 0.0f, 1);
    pEnemy->m_vPosition[0] = c.fX;
    pEnemy->m_vVelocity[0] = c.fVX;
    const std::vector<SWorldQuad> quads = drawn(pEnemy);
    const SWorldQuad* pArrow = nullptr;
    for (const SWorldQuad& quad : quads) {
      if (quad.m_bRotated != 0) pArrow = &quad;
    }
    if (c.iAlpha < 0) {
      EXPECT_EQ(pArrow, nullptr) << c.fX;
    } else {
      ASSERT_NE(pArrow, nullptr) << c.fX;
      EXPECT_EQ(pArrow->m_uiColor >> 24, static_cast<u32>(c.iAlpha));
      EXPECT_FLOAT_EQ(pArrow->m_vPosition.x, 1020.0f * 1.25f);
    }
  }
}

TEST_F(EnemyDrawTest, TheShieldShowsOnlyWhilePositiveAndNotCountering) {
  const struct {
    f32 fShield;
    const char* pState;  // null: the state it spawned in
    bool bShown;
  } cases[] = {{5.0f, nullptr, true},    {0.0f, nullptr, false},          {-1.0f, nullptr, false},
               {5.0f, "Counter", false}, {5.0f, "CounterBullet", false}, {5.0f, "Plain", true}};
  for (const auto& c : cases) {
    ClEntityEnemy* pEnemy = m_world.spawn("Shielded", 100.0f, 1);
    if (c.pState != nullptr) pEnemy->setState(c.pState);
    pEnemy->m_fShield = c.fShield;
    const SWorldQuad* pShield = quadOf(drawn(pEnemy), "EnemyShieldShield_216");
    EXPECT_EQ(pShield != nullptr, c.bShown) << c.fShield << " " << (c.pState != nullptr ? c.pState : "spawned");
  }
}

TEST_F(EnemyDrawTest, ARotatingFlamerIsDrawnThirtyHigher) {
  ClEntityEnemy* pFlamer = m_world.spawn("EnemyFlamer", 100.0f, 1);
  ClEntityEnemy* pOther = m_world.spawn("Walker", 100.0f, 1);
  pOther->m_bRotate = 1;
  const SWorldQuad flamer = drawn(pFlamer)[0];
  const SWorldQuad other = drawn(pOther)[0];
  ASSERT_EQ(flamer.m_bRotated, 1);
  ASSERT_EQ(other.m_bRotated, 1);
  EXPECT_FLOAT_EQ(other.m_vPosition.y - flamer.m_vPosition.y, 30.0f * 1.25f);
}

TEST_F(EnemyDrawTest, BodyDepthMirrorAndShadow) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 100.0f, 2);
  pEnemy->m_fOrderOffset = 1.0f;
  pEnemy->playAnimation("Fall", E_FLIPBOOK_MODE_ONCE);
  const std::vector<SWorldQuad> quads = drawn(pEnemy, 3);
  ASSERT_GE(quads.size(), 2u);
  EXPECT_FLOAT_EQ(quads[0].m_fDepth, (100.0f - 200.0f) + 0.3f + 1.0f);
  EXPECT_EQ(quads[0].m_uiFlipFlags, gc_uiATLAS_FLIP_U);
  EXPECT_EQ(quads.back().m_uiShaderHash, KvStrHash("vosk_shadow"));
  pEnemy->m_iShadow = 0;
  for (const SWorldQuad& quad : drawn(pEnemy, 3)) {
    EXPECT_NE(quad.m_uiShaderHash, KvStrHash("vosk_shadow"));
  }
}
