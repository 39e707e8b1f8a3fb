// The entity list's passes, its growth, the body's shader and depth and the shadow sizes.
#include <gtest/gtest.h>

#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

// An entity that counts its updates and may append another in its first update.
class ClCountingEntity final : public ClEntity {
 public:
  explicit ClCountingEntity(bool bSpawns) : m_bSpawns(bSpawns) {}
  void update() override {
    ++m_iUpdates;
    if (m_bSpawns && m_iUpdates == 1) {
      mp_pChild = EntityList::create<ClCountingEntity>(false);
      EntityList::add(mp_pChild);
    }
  }
  void draw(u32 uiOrder) override { m_uiDrawnAt = uiOrder; }
  bool m_bSpawns;
  i32 m_iUpdates = 0;
  u32 m_uiDrawnAt = 0xFFFFFFFF;
  ClCountingEntity* mp_pChild = nullptr;
};

class EntityListTest : public ::testing::Test {
 protected:
  ClWorldHarness m_world;
};

}  // namespace

TEST_F(EntityListTest, AnEntityAppendedDuringTheUpdatePassIsUpdatedInThatPass) {
  auto* pParent = EntityList::create<ClCountingEntity>(true);
  EntityList::add(pParent);
  EntityList::updatePass();
  ASSERT_NE(pParent->mp_pChild, nullptr);
  EXPECT_EQ(pParent->mp_pChild->m_iUpdates, 1);
  EXPECT_EQ(g_entityList.getCount(), 2);
}

TEST_F(EntityListTest, RemovalRetestsThePlaceAfterEachMove) {
  // Gone flags by place; the second and last are adjacent and both gone.
  const struct {
    std::vector<i32> gone;
    i32 iLeft;
  } cases[] = {
      {{0, 1, 1}, 1},
      {{1, 1, 1}, 0},
      {{1, 0, 1, 0}, 2},
      {{0, 0, 0}, 3},
  };
  for (const auto& c : cases) {
    std::vector<ClCountingEntity*> kept;
    for (i32 bGone : c.gone) {
      auto* p = EntityList::create<ClCountingEntity>(false);
      p->m_bGone = bGone;
      EntityList::add(p);
      if (bGone == 0) kept.push_back(p);
    }
    EntityList::removalPass();
    ASSERT_EQ(g_entityList.getCount(), c.iLeft);
    for (i32 i = 0; i < g_entityList.getCount(); ++i) {
      EXPECT_EQ(g_entityList[i]->m_bGone, 0);
      EXPECT_NE(std::find(kept.begin(), kept.end(), g_entityList[i]), kept.end());
    }
    EntityList::destroyAll();
    EntityList::initialize();
  }
}

TEST_F(EntityListTest, TheDrawPassPassesEachEntityItsIndex) {
  std::vector<ClCountingEntity*> entities;
  for (i32 i = 0; i < 3; ++i) {
    entities.push_back(EntityList::create<ClCountingEntity>(false));
    EntityList::add(entities.back());
  }
  EntityList::drawPass();
  for (u32 i = 0; i < 3; ++i) {
    EXPECT_EQ(entities[i]->m_uiDrawnAt, i);
  }
}

TEST_F(EntityListTest, TheEighthEntityDoublesTheRoomOfEight) {
  for (i32 i = 0; i < 7; ++i) {
    EntityList::add(EntityList::create<ClCountingEntity>(false));
  }
  EXPECT_EQ(g_entityList.getCapacity(), 8);
  EntityList::add(EntityList::create<ClCountingEntity>(false));
  EXPECT_EQ(g_entityList.getCapacity(), 16);
}

TEST_F(EntityListTest, BodyShaderDepthAndShadowSizes) {
  ASSERT_EQ(m_world.loadEnemies(KvTestEnemyScript(KvTestEnemyTypes())), "");
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  const struct {
    i32 eKind;
    i32 bStar;
    const char* pShader;
  } shaders[] = {
      {E_ENTITY_KIND_PLAYER, 1, "vosk_star_world"}, {E_ENTITY_KIND_ENEMY, 1, "vosk_star"},
      {E_ENTITY_KIND_STAR_ENEMY, 1, "vosk_star"},   {E_ENTITY_KIND_PICKUP, 1, "system_blend_premult"},
      {E_ENTITY_KIND_ENEMY, 0, "system_blend_premult"},
  };
  for (const auto& c : shaders) {
    pEnemy->m_eKind = c.eKind;
    pEnemy->m_bStar = c.bStar;
    m_world.m_sink.m_quads.clear();
    pEnemy->ClEntity::draw(4);
    ASSERT_EQ(m_world.m_sink.m_quads.size(), 1u);
    EXPECT_EQ(m_world.m_sink.m_quads[0].m_uiShaderHash, KvStrHash(c.pShader)) << c.pShader;
    EXPECT_FLOAT_EQ(m_world.m_sink.m_quads[0].m_fDepth, (100.0f - 157.0f) + 0.4f);
  }
  const struct {
    i32 iSize;
    const char* pImage;
  } shadows[] = {{0, "shad-large_216"}, {1, "shad-tiny_216"}, {2, "shad-small_216"},
                 {3, "shad-med_216"},   {5, "shad-large_216"}};
  for (const auto& c : shadows) {
    m_world.m_sink.m_quads.clear();
    pEnemy->m_vPosition[2] = -40.0f;
    pEnemy->drawShadow(c.iSize);
    ASSERT_EQ(m_world.m_sink.m_quads.size(), 1u);
    const SWorldQuad& quad = m_world.m_sink.m_quads[0];
    EXPECT_EQ(quad.mp_pEntry, ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(c.pImage))) << c.pImage;
    EXPECT_EQ(quad.m_uiShaderHash, KvStrHash("vosk_shadow"));
    EXPECT_FLOAT_EQ(quad.m_fDepth, 100.0f);
    EXPECT_FLOAT_EQ(quad.m_vPosition.y, std::floor(157.0f * 1.25f + 0.5f));  // z does not lift the shadow
  }
}

TEST_F(EntityListTest, TheScreenTransformRoundsHalfUp) {
  const struct {
    f32 fWorld;
    f32 fScreen;
  } cases[] = {{0.0f, 0.0f}, {0.4f, 1.0f}, {1.2f, 2.0f}, {-0.3f, 0.0f}, {-0.6f, -1.0f}, {100.0f, 125.0f}};
  for (const auto& c : cases) {
    EXPECT_FLOAT_EQ(WorldDraw::snap(c.fWorld), c.fScreen) << c.fWorld;
  }
}
