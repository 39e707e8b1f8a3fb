// Gore effects: the gib cap, gib tables, spin, landing and bounces with their decals, blood landing and its
// persistence under the end flags, removal, and the draw's shaders, colours and depths.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "Code/Objects/GAMEGoreFx.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

const char* const gc_apGibBooks[] = {"GibNormal1",   "GibNormal2",   "GibNormal3",   "GibNormal4",  "GibNormal5",
                                     "GibNormal6",   "GibFire1",     "GibFire2",     "GibFire3",    "GibElectric1",
                                     "GibElectric2", "GibElectric3", "GibMagic1",    "GibMagic2",   "GibMagic3",
                                     "GibFireAir",   "GibMagicAir"};

class GoreFxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* pName : gc_apGibBooks) m_world.flipBook(pName, 4, 10.0f, 3.0f, 5.0f);
    // The landing bursts and the second spark end by themselves; the first spark loops.
    m_world.flipBook("GibFireLand", 2, 10.0f, 6.0f, 7.0f);
    m_world.flipBook("GibMagicLand", 2, 10.0f, 6.0f, 7.0f);
    for (const std::string& name : KvWorldFixedFlipBooks()) m_world.flipBook(name);
    m_world.finishAtlas();
  }

  // One frame of dt seconds on the gameplay clock.
  void step(f32 dt) {
    ClClock::m_aClockFrames[1].m_fFrameTime = dt;
    GoreFx::update();
  }
  void draw() {
    m_world.m_sink.m_quads.clear();
    m_world.m_sink.m_rings.clear();
    m_world.m_sink.m_texts.clear();
    GoreFx::draw();
  }
  // The gibs' quads of one draw (gibs are the only turned images), in draw order.
  std::vector<SWorldQuad> gibQuads() {
    draw();
    std::vector<SWorldQuad> quads;
    for (const SWorldQuad& quad : m_world.m_sink.m_quads) {
      if (quad.m_bRotated != 0) quads.push_back(quad);
    }
    return quads;
  }
  void spawn(i32 iStyle, i32 iClass, f32 fX = 200.0f, f32 fY = 150.0f, f32 fZ = 0.0f, f32 fW = 20.0f, f32 fH = 10.0f) {
    GoreFx::spawnGibs(iStyle, iClass, fX, fY, fZ, fW, fH);
  }
  static const SAtlasEntry* entry(const char* pName) {
    return ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pName));
  }
  static std::string bookOf(const ClTexAnimObj& anim) {
    const ClFlipBook* pBook = anim.mp_curAnimators.mp_flipBookAnimator.getFlipBook();
    for (const char* pName : {"GibFireAir", "GibMagicAir", "GibFireLand", "GibMagicLand", "HitSpark1", "HitSpark2"}) {
      if (pBook == ClFlipBookMgr::getFlipBook(pName)) return pName;
    }
    for (const char* pName : gc_apGibBooks) {
      if (pBook == ClFlipBookMgr::getFlipBook(pName)) return pName;
    }
    return pBook == nullptr ? "" : "?";
  }
  // A gib placed by hand, airborne under gravity.
  static SGib gibAt(f32 fX, f32 fY, f32 fZ, f32 fVZ) {
    SGib gib;
    gib.m_bodyAnim.playFlipBook(ClFlipBookMgr::getFlipBook("GibNormal1"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    gib.m_vPosition[0] = fX;
    gib.m_vPosition[1] = fY;
    gib.m_vPosition[2] = fZ;
    gib.m_vVelocity[2] = fVZ;
    gib.m_vAcceleration[2] = gc_fGORE_GRAVITY;
    return gib;
  }

  ClWorldHarness m_world;
};

}  // namespace

// The spawner stops as soon as more than 1500 gibs exist; the number thrown follows the class, doubled with the
// ultra-gib option.
TEST_F(GoreFxTest, TheGibCapAndThePiecesOfEachClass) {
  const struct {
    i32 iAlive;
    i32 iClass;
    bool bUltra;
    i32 iMin;
    i32 iMax;
  } cases[] = {{1400, 3, true, 101, 101}, {1499, 1, false, 2, 2},  {1500, 0, false, 1, 1}, {1501, 2, true, 0, 0},
               {0, 0, false, 6, 8},      {0, 1, false, 25, 30},   {0, 2, false, 55, 65},  {0, 3, false, 150, 250},
               {0, 0, true, 12, 16},     {0, 3, true, 300, 500}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "alive " << c.iAlive << ", class " << c.iClass << ", ultra " << c.bUltra);
    g_gibs.clear();
    for (i32 i = 0; i < c.iAlive; ++i) g_gibs.append(SGib());
    m_world.m_services.m_bUltraGib = c.bUltra;
    spawn(0, c.iClass);
    const i32 iAdded = g_gibs.getCount() - c.iAlive;
    EXPECT_GE(iAdded, c.iMin);
    EXPECT_LE(iAdded, c.iMax);
    if (c.bUltra && c.iAlive == 0) {
      EXPECT_EQ(iAdded % 2, 0);
    }
  }
}

// Each piece: spin in [-6, 6), speed within the class's maximum (doubled with ultra), scattered over the area, the
// body flip book of its style, the air trail for fire and magic only.
TEST_F(GoreFxTest, PiecesFollowTheirClassAndStyle) {
  const struct {
    i32 iStyle;
    i32 iClass;
    bool bUltra;
    f32 fSpeedMax;
    const char* pPrefix;
    const char* pTrail;
  } cases[] = {{0, 0, false, 60.0f, "GibNormal", ""},   {1, 1, false, 150.0f, "GibFire", "GibFireAir"},
               {2, 2, false, 150.0f, "GibElectric", ""}, {3, 3, false, 450.0f, "GibMagic", "GibMagicAir"},
               {1, 3, true, 450.0f, "GibFire", "GibFireAir"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << c.iStyle << ", class " << c.iClass << ", ultra " << c.bUltra);
    g_gibs.clear();
    m_world.m_services.m_bUltraGib = c.bUltra;
    spawn(c.iStyle, c.iClass, 200.0f, 150.0f, -10.0f, 20.0f, 10.0f);
    ASSERT_GT(g_gibs.getCount(), 0);
    const f32 m = c.bUltra ? 2.0f : 1.0f;
    std::set<i32> frames;
    for (i32 i = 0; i < g_gibs.getCount(); ++i) {
      const SGib& gib = g_gibs[i];
      EXPECT_GE(gib.m_fSpinRate, -6.0f);
      EXPECT_LE(gib.m_fSpinRate, 6.0f);
      EXPECT_LE(std::fabs(gib.m_vVelocity[0] - 50.0f * m), c.fSpeedMax * m + 1e-3f);
      EXPECT_LE(std::fabs(gib.m_vVelocity[1]), 0.5f * c.fSpeedMax * m + 1e-3f);
      EXPECT_LE(std::fabs(gib.m_vVelocity[2] + 100.0f * m), c.fSpeedMax * m + 1e-3f);
      EXPECT_GE(gib.m_vPosition[0], 200.0f);
      EXPECT_LE(gib.m_vPosition[0], 220.0f);
      EXPECT_GE(gib.m_vPosition[1], 150.0f);
      EXPECT_LE(gib.m_vPosition[1], 160.0f);
      EXPECT_FLOAT_EQ(gib.m_vPosition[2], -10.0f);
      EXPECT_FLOAT_EQ(gib.m_vAcceleration[2], 300.0f);
      EXPECT_EQ(gib.m_bMagic, c.iStyle == 3 ? 1 : 0);
      EXPECT_EQ(bookOf(gib.m_bodyAnim).rfind(c.pPrefix, 0), 0u) << bookOf(gib.m_bodyAnim);
      EXPECT_EQ(bookOf(gib.m_trailAnim), c.pTrail);
      frames.insert(gib.m_bodyAnim.mp_curAnimators.mp_flipBookAnimator.getCurrentFrameIndex());
    }
    EXPECT_GT(frames.size(), 1u) << "pieces of one body start on different frames";
  }
}

// From the ground, a piece thrown upward first lands after -2 vz / 300 seconds; one thrown downward at once.
// Until then it turns at its spin rate; from its first landing on it lies at angle 0, bouncing or not.
TEST_F(GoreFxTest, SpinTimeIsTheFirstLandingAndThePieceThenRestsUpright) {
  spawn(0, 3, 200.0f, 150.0f, 0.0f, 0.0f, 0.0f);
  ASSERT_GT(g_gibs.getCount(), 100);
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    const SGib& gib = g_gibs[i];
    const f32 vz = gib.m_vVelocity[2];
    EXPECT_NEAR(gib.m_fSpinTime, vz < 0.0f ? -2.0f * vz / 300.0f : 0.0f, 1e-4f) << "vz " << vz;
  }
  const struct {
    f32 fSpinRate;
    f32 fSpinTime;
    f32 fAge;
    f32 fAngle;
  } cases[] = {{2.0f, 1.0f, 0.0f, 2.0f}, {2.0f, 1.0f, 0.75f, 0.5f}, {-4.0f, 0.5f, 0.25f, -1.0f},
               {3.0f, 0.4f, 0.4f, 0.0f}, {3.0f, 0.4f, 2.0f, 0.0f}};
  for (const auto& c : cases) {
    g_gibs.clear();
    SGib gib = gibAt(200.0f, 150.0f, -20.0f, 0.0f);
    gib.m_fSpinRate = c.fSpinRate;
    gib.m_fSpinTime = c.fSpinTime;
    gib.m_fAge = c.fAge;
    g_gibs.append(gib);
    draw();
    ASSERT_EQ(m_world.m_sink.m_quads.size(), 1u);
    const SWorldQuad& quad = m_world.m_sink.m_quads[0];
    EXPECT_EQ(quad.m_bRotated, 1);
    EXPECT_NEAR(quad.m_vDirection.x, -std::sin(c.fAngle), 1e-5f) << c.fAge;
    EXPECT_NEAR(quad.m_vDirection.y, -std::cos(c.fAngle), 1e-5f) << c.fAge;
  }
  // Flown for real: after the first landing every piece is drawn upright.
  g_gibs.clear();
  spawn(0, 2, 200.0f, 150.0f, 0.0f, 0.0f, 0.0f);
  for (i32 n = 0; n < 400; ++n) step(1.0f / 120.0f);
  const std::vector<SWorldQuad> quads = gibQuads();
  ASSERT_EQ(quads.size(), static_cast<size_t>(g_gibs.getCount()));
  i32 iLanded = 0;
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    if (g_gibs[i].m_iBounces == 0) continue;
    ++iLanded;
    EXPECT_FLOAT_EQ(quads[i].m_vDirection.x, 0.0f);
    EXPECT_FLOAT_EQ(quads[i].m_vDirection.y, -1.0f);
  }
  EXPECT_EQ(iLanded, g_gibs.getCount());
}

// A piece thrown from below the ground lands in its first frame instead of stopping the game on the root of a
// negative number.
TEST_F(GoreFxTest, APieceThrownFromBelowTheGroundLandsAtOnce) {
  spawn(0, 0, 200.0f, 150.0f, 100.0f, 0.0f, 0.0f);
  ASSERT_GT(g_gibs.getCount(), 0);
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    const SGib& gib = g_gibs[i];
    EXPECT_TRUE(std::isfinite(gib.m_fSpinTime));
    EXPECT_NEAR(gib.m_fSpinTime, -gib.m_vVelocity[2] / 300.0f, 1e-5f);
  }
  step(0.01f);
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    EXPECT_EQ(g_gibs[i].m_iBounces, 1);
    EXPECT_FLOAT_EQ(g_gibs[i].m_vPosition[2], 0.0f);
  }
}

// A landing stops the piece when a uniform number r <= bounces x 0.1 + 0.2; otherwise it bounces with 0.3 of its
// speed, upward, and leaves one splatter decal. The draw of r is the next word of the generator, so the outcome is
// known before the frame.
TEST_F(GoreFxTest, LandingEitherRestsOrBouncesWithOneDecal) {
  for (u32 uiSeed : {1u, 2u, 3u, 7u, 11u}) {
    for (i32 iBounces = 0; iBounces <= 8; ++iBounces) {
      SCOPED_TRACE(testing::Message() << "seed " << uiSeed << ", bounces " << iBounces);
      g_gibs.clear();
      g_bloodSplats.clear();
      SGib gib = gibAt(200.0f, 150.0f, -0.5f, 100.0f);
      gib.m_vVelocity[0] = 40.0f;
      gib.m_vVelocity[1] = -20.0f;
      gib.m_iBounces = iBounces;
      g_gibs.append(gib);
      sfmtInitGenRand(uiSeed);
      const f32 r = KvMath::randomUnitFloat();
      sfmtInitGenRand(uiSeed);
      step(0.01f);
      const SGib& landed = g_gibs[0];
      EXPECT_EQ(landed.m_iBounces, iBounces + 1);
      EXPECT_FLOAT_EQ(landed.m_vPosition[2], 0.0f);
      if (r <= static_cast<f32>(iBounces) * 0.1f + 0.2f) {
        EXPECT_FLOAT_EQ(landed.m_vAcceleration[2], 0.0f);
        for (f32 v : {landed.m_vVelocity[0], landed.m_vVelocity[1], landed.m_vVelocity[2]}) EXPECT_FLOAT_EQ(v, 0.0f);
        EXPECT_EQ(g_bloodSplats.getCount(), 0);
      } else {
        EXPECT_FLOAT_EQ(landed.m_vAcceleration[2], 300.0f);
        EXPECT_FLOAT_EQ(landed.m_vVelocity[0], 12.0f);
        EXPECT_FLOAT_EQ(landed.m_vVelocity[1], -6.0f);
        EXPECT_FLOAT_EQ(landed.m_vVelocity[2], -(100.0f + 3.0f) * 0.3f);
        ASSERT_EQ(g_bloodSplats.getCount(), 1);
        const SBloodSplat& decal = g_bloodSplats[0];
        EXPECT_EQ(decal.m_bLanded, 1);
        EXPECT_EQ(decal.m_bOrange, 0);
        EXPECT_FLOAT_EQ(decal.m_fLifetime, 10.0f);
        EXPECT_FLOAT_EQ(decal.m_vPosition[0], landed.m_vPosition[0]);
        EXPECT_FLOAT_EQ(decal.m_vPosition[2], 0.0f);
        EXPECT_GE(decal.m_iSize, 3);
        EXPECT_LE(decal.m_iSize, 5);
        EXPECT_EQ(decal.mp_pDecal, entry(("IM-splatter" + std::to_string(decal.m_iSize) + "_216").c_str()));
      }
      if (iBounces == 8) {
        EXPECT_FLOAT_EQ(landed.m_vAcceleration[2], 0.0f) << "the ninth landing always rests";
      }
    }
  }
}

// Flown to rest: one decal per bounce and none for the landing that ends it; no piece bounces more than 8 times.
TEST_F(GoreFxTest, EveryBounceLeavesOneDecal) {
  g_fWorldCameraX = 100.0f;
  spawn(0, 2, 300.0f, 150.0f, -30.0f, 10.0f, 10.0f);
  const i32 iPieces = g_gibs.getCount();
  // 5 s: every piece has come to rest and no decal has reached its 10 s yet.
  for (i32 n = 0; n < 300; ++n) step(1.0f / 60.0f);
  ASSERT_EQ(g_gibs.getCount(), iPieces) << "all still in view";
  i32 iBounces = 0;
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    const SGib& gib = g_gibs[i];
    EXPECT_FLOAT_EQ(gib.m_vAcceleration[2], 0.0f) << "at rest";
    EXPECT_GE(gib.m_iBounces, 1);
    EXPECT_LE(gib.m_iBounces, 9);
    iBounces += gib.m_iBounces - 1;
  }
  EXPECT_GT(iBounces, 0);
  EXPECT_EQ(g_bloodSplats.getCount(), iBounces);
}

// Fire and magic pieces trail their air loop until the first landing, then play their landing burst once.
TEST_F(GoreFxTest, TheLandingBurstPlaysOnce) {
  for (i32 iStyle : {1, 3}) {
    g_gibs.clear();
    spawn(iStyle, 0);
    SGib gib = gibAt(200.0f, 150.0f, -0.5f, 100.0f);
    gib.m_trailAnim = g_gibs[0].m_trailAnim;
    gib.m_bMagic = g_gibs[0].m_bMagic;
    g_gibs.clear();
    g_gibs.append(gib);
    const std::string burst = iStyle == 3 ? "GibMagicLand" : "GibFireLand";
    step(0.01f);
    EXPECT_EQ(bookOf(g_gibs[0].m_trailAnim), burst);
    EXPECT_EQ(g_gibs[0].m_bBurstPlayed, 1);
    EXPECT_EQ(gibQuads().size(), 2u) << "body and burst";
    for (i32 n = 0; n < 60; ++n) step(1.0f / 60.0f);
    EXPECT_EQ(bookOf(g_gibs[0].m_trailAnim), burst) << "never replayed";
    EXPECT_EQ(gibQuads().size(), 1u) << "the burst has ended";
  }
}

// Blood lands at z > 0 and lies 10 s longer; it is removed when its time is up or the camera passed it, but never
// while the results, the victory or the fade-out is on.
TEST_F(GoreFxTest, BloodPersistsUnderTheEndFlags) {
  const struct {
    i32 bResults;
    i32 bWon;
    i32 bFade;
    f32 fAge;
    f32 fCameraX;
    bool bRemoved;
  } cases[] = {{0, 0, 0, 0.5f, 0.0f, false}, {0, 0, 0, 2.0f, 0.0f, true},  {1, 0, 0, 2.0f, 0.0f, false},
               {0, 1, 0, 2.0f, 0.0f, false}, {0, 0, 1, 2.0f, 0.0f, false}, {0, 0, 0, 0.5f, 300.0f, false},
               {0, 0, 0, 0.5f, 301.0f, true}, {1, 1, 1, 0.5f, 900.0f, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bResults << c.bWon << c.bFade << " age " << c.fAge << " camera " << c.fCameraX);
    g_bloodSplats.clear();
    SBloodSplat drop;
    drop.m_bLanded = 1;
    drop.m_fLifetime = 1.0f;
    drop.m_fAge = c.fAge;
    drop.m_vPosition[0] = 200.0f;
    drop.m_vPosition[1] = 150.0f;
    g_bloodSplats.append(drop);
    g_bResultsShown = c.bResults;
    g_bLevelWon = c.bWon;
    g_bFadeOut = c.bFade;
    g_fWorldCameraX = c.fCameraX;
    step(0.0f);
    EXPECT_EQ(g_bloodSplats.getCount(), c.bRemoved ? 0 : 1);
  }
}

TEST_F(GoreFxTest, BloodLandsAndStaysOnTheNearSide) {
  SBloodSplat drop;
  drop.m_anim.playFlipBook(ClFlipBookMgr::getFlipBook("Blood1"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  drop.m_fLifetime = 2.0f;
  drop.m_vPosition[1] = 90.0f;
  drop.m_vPosition[2] = -0.2f;
  drop.m_vVelocity[0] = 30.0f;
  drop.m_vVelocity[2] = 40.0f;
  drop.m_vAcceleration[2] = 300.0f;
  g_bloodSplats.append(drop);
  step(0.01f);
  const SBloodSplat& landed = g_bloodSplats[0];
  EXPECT_EQ(landed.m_bLanded, 1);
  EXPECT_FLOAT_EQ(landed.m_fLifetime, 12.0f);
  EXPECT_FLOAT_EQ(landed.m_vPosition[0], 0.3f);
  EXPECT_FLOAT_EQ(landed.m_vPosition[1], 100.0f);
  for (f32 v : {landed.m_vPosition[2], landed.m_vVelocity[0], landed.m_vVelocity[2], landed.m_vAcceleration[2]}) {
    EXPECT_FLOAT_EQ(v, 0.0f);
  }
  step(1.0f);
  EXPECT_FLOAT_EQ(g_bloodSplats[0].m_vPosition[0], 0.3f) << "a landed drop does not move";
}

// Removal: rings and sparks by time and animation, gibs by their distance from the camera (behind by more than
// 100, ahead by more than 700); the record moved into a freed slot is tested too.
TEST_F(GoreFxTest, RemovalRules) {
  g_fWorldCameraX = 1000.0f;
  const struct {
    f32 fX;
    bool bKept;
  } gibs[] = {{899.0f, false}, {899.5f, false}, {900.0f, true}, {1700.0f, true}, {1700.5f, false},
              {1200.0f, true}, {0.0f, false},   {5000.0f, false}};
  for (const auto& g : gibs) {
    SGib gib = gibAt(g.fX, 150.0f, 0.0f, 0.0f);
    gib.m_vAcceleration[2] = 0.0f;
    g_gibs.append(gib);
  }
  SEnemyActionFx ring;
  ring.m_fLifetime = 0.1f;
  g_enemyActionFx.append(ring);
  ring.m_fAge = 0.2f;
  g_enemyActionFx.append(ring);
  g_enemyActionFx.append(ring);
  SSparkAnim looping;
  looping.m_anim.playFlipBook(ClFlipBookMgr::getFlipBook("HitSpark1"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  SSparkAnim once;
  once.m_anim.playFlipBook(ClFlipBookMgr::getFlipBook("HitSpark2"), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
  g_sparkAnims.append(once);
  g_sparkAnims.append(looping);
  g_sparkAnims.append(once);
  step(0.0f);
  std::multiset<f32> kept;
  for (i32 i = 0; i < g_gibs.getCount(); ++i) kept.insert(g_gibs[i].m_vPosition[0]);
  EXPECT_EQ(kept, (std::multiset<f32>{900.0f, 1200.0f, 1700.0f}));
  EXPECT_EQ(g_enemyActionFx.getCount(), 1);
  EXPECT_EQ(g_sparkAnims.getCount(), 3);
  for (i32 n = 0; n < 600; ++n) step(1.0f / 60.0f);
  EXPECT_EQ(g_enemyActionFx.getCount(), 0);
  ASSERT_EQ(g_sparkAnims.getCount(), 1) << "a looping spark never ends";
  EXPECT_EQ(bookOf(g_sparkAnims[0].m_anim), "HitSpark1");
  EXPECT_EQ(g_gibs.getCount(), 3) << "gibs have no lifetime";
}

// Blood: shader and colour by kind and state at depth 10, snapped; a landed drop centred on its decal, a flying one
// on its frame's anchor. Sparks in front at -100; gibs at the entities' depth (100 - y) + index x 0.1 with the trail
// mirrored while the spin is negative.
TEST_F(GoreFxTest, DrawShadersColoursAndDepths) {
  const struct {
    i32 bOrange;
    i32 bLanded;
    const char* pShader;
    u32 uiColor;
  } blood[] = {{0, 0, "vosk_blood", 0xFFB2B2B2}, {0, 1, "vosk_blood", 0xFFFFFFFF},
               {1, 0, "vosk_blood_orange", 0xE5E5E5E5}, {1, 1, "vosk_blood_orange", 0xE5E5E5E5}};
  for (const auto& c : blood) {
    SCOPED_TRACE(testing::Message() << "orange " << c.bOrange << ", landed " << c.bLanded);
    g_bloodSplats.clear();
    SBloodSplat drop;
    drop.m_anim.playFlipBook(ClFlipBookMgr::getFlipBook("Blood2"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    drop.mp_pDecal = entry("IM-splatter4_216");
    drop.m_bOrange = c.bOrange;
    drop.m_bLanded = c.bLanded;
    drop.m_vPosition[0] = 10.3f;
    drop.m_vPosition[1] = 120.0f;
    drop.m_vPosition[2] = c.bLanded != 0 ? 0.0f : -7.9f;
    g_bloodSplats.append(drop);
    draw();
    ASSERT_EQ(m_world.m_sink.m_quads.size(), 1u);
    const SWorldQuad& quad = m_world.m_sink.m_quads[0];
    EXPECT_EQ(quad.m_uiShaderHash, KvStrHash(c.pShader));
    EXPECT_EQ(quad.m_uiColor, c.uiColor);
    EXPECT_FLOAT_EQ(quad.m_fDepth, 10.0f);
    EXPECT_FLOAT_EQ(quad.m_vPosition.x, std::floor(10.3f * 1.25f + 0.5f));
    EXPECT_FLOAT_EQ(quad.m_vPosition.y, std::floor((120.0f + drop.m_vPosition[2]) * 1.25f + 0.5f));
    EXPECT_EQ(quad.m_bRotated, 0);
    if (c.bLanded != 0) {
      EXPECT_EQ(quad.mp_pEntry, entry("IM-splatter4_216"));
      EXPECT_FLOAT_EQ(quad.m_vPivot.x, 2.0f);
      EXPECT_FLOAT_EQ(quad.m_vPivot.y, 2.0f);
    } else {
      EXPECT_EQ(quad.mp_pEntry, entry("Blood2-0001_216"));
      EXPECT_FLOAT_EQ(quad.m_vPivot.x, 8.0f);
      EXPECT_FLOAT_EQ(quad.m_vPivot.y, 16.0f);
    }
  }
  g_bloodSplats.clear();

  SSparkAnim spark;
  spark.m_anim.playFlipBook(ClFlipBookMgr::getFlipBook("HitSpark1"), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
  spark.m_vPosition[0] = 50.0f;
  spark.m_vPosition[1] = 157.0f;
  g_sparkAnims.append(spark);
  draw();
  ASSERT_EQ(m_world.m_sink.m_quads.size(), 1u);
  EXPECT_EQ(m_world.m_sink.m_quads[0].m_uiShaderHash, KvStrHash("system_blend_premult"));
  EXPECT_EQ(m_world.m_sink.m_quads[0].m_uiColor, 0xFFFFFFFFu);
  EXPECT_FLOAT_EQ(m_world.m_sink.m_quads[0].m_fDepth, -100.0f);
  g_sparkAnims.clear();

  const struct {
    f32 fY;
    f32 fSpinRate;
    f32 fExpectedTrailScale;
  } gibs[] = {{115.0f, 2.0f, 1.0f}, {157.0f, -2.0f, -1.0f}, {200.0f, 0.0f, 1.0f}};
  for (const auto& g : gibs) {
    SGib gib = gibAt(300.0f, g.fY, -12.0f, 0.0f);
    gib.m_trailAnim.playFlipBook(ClFlipBookMgr::getFlipBook("GibFireAir"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    gib.m_fSpinRate = g.fSpinRate;
    gib.m_fSpinTime = 1.0f;
    g_gibs.append(gib);
  }
  draw();
  ASSERT_EQ(m_world.m_sink.m_quads.size(), 6u);
  for (i32 i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const SWorldQuad& body = m_world.m_sink.m_quads[2 * i];
    const SWorldQuad& trail = m_world.m_sink.m_quads[2 * i + 1];
    EXPECT_FLOAT_EQ(body.m_fDepth, (100.0f - gibs[i].fY) + static_cast<f32>(i) * 0.1f);
    EXPECT_FLOAT_EQ(body.m_vPosition.x, 375.0f);
    EXPECT_FLOAT_EQ(body.m_vPosition.y, (gibs[i].fY - 12.0f) * 1.25f);
    EXPECT_EQ(body.m_uiShaderHash, KvStrHash("system_blend_premult"));
    EXPECT_EQ(body.m_uiColor, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(body.m_fScale, 1.0f);
    EXPECT_FLOAT_EQ(body.m_vPivot.x, 3.0f);
    EXPECT_EQ(trail.mp_pEntry, entry("GibFireAir-0001_216"));
    EXPECT_FLOAT_EQ(trail.m_fScale, gibs[i].fExpectedTrailScale);
    EXPECT_FLOAT_EQ(trail.m_fDepth, body.m_fDepth);
  }
}

// Rings hang on the screen: their drawn centre moves with the camera. Blood, sparks and gibs stay in the world.
// A ring grows from its start radii to its end radii over its life, in front of what lies at its depth line.
TEST_F(GoreFxTest, RingsHangOnTheScreenAndGrow) {
  SEnemyActionFx fx;
  fx.m_afRadii[0] = 0.0f;
  fx.m_afRadii[1] = 15.0f;
  fx.m_afRadii[2] = 220.0f;
  fx.m_afRadii[3] = 250.0f;
  fx.m_uiInnerColor = 0x00FFFF80;
  fx.m_uiOuterColor = 0x80FFFF80;
  fx.m_fLifetime = 0.2f;
  fx.m_vPosition[0] = 40.0f;
  fx.m_vPosition[1] = 140.0f;
  fx.m_vVelocity[0] = 10.0f;
  g_enemyActionFx.append(fx);
  SGib gib = gibAt(300.0f, 150.0f, 0.0f, 0.0f);
  gib.m_vAcceleration[2] = 0.0f;
  g_gibs.append(gib);
  const struct {
    f32 fCameraX;
    f32 fAge;
  } cases[] = {{0.0f, 0.0f}, {100.0f, 0.05f}, {250.0f, 0.1f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fCameraX);
    g_fWorldCameraX = c.fCameraX;
    g_enemyActionFx[0].m_fAge = c.fAge;
    draw();
    ASSERT_EQ(m_world.m_sink.m_rings.size(), 1u);
    const SWorldRing& ring = m_world.m_sink.m_rings[0];
    const f32 f = c.fAge / 0.2f;
    EXPECT_FLOAT_EQ(ring.m_vCentre.x - c.fCameraX * 1.25f, (40.0f + c.fAge * 10.0f) * 1.25f);
    EXPECT_FLOAT_EQ(ring.m_vCentre.y, 140.0f * 1.25f);
    EXPECT_FLOAT_EQ(ring.m_fInnerRadius, 220.0f * f);
    EXPECT_FLOAT_EQ(ring.m_fOuterRadius, 15.0f * (1.0f - f) + 250.0f * f);
    EXPECT_EQ(ring.m_uiInnerColor, 0x00FFFF80u);
    EXPECT_EQ(ring.m_uiOuterColor, 0x80FFFF80u);
    EXPECT_EQ(ring.m_uiShaderHash, KvStrHash("system_blend_color"));
    EXPECT_FLOAT_EQ(ring.m_fDepth, (100.0f - 140.0f) + 5.0f);
    ASSERT_EQ(m_world.m_sink.m_quads.size(), 1u);
    EXPECT_FLOAT_EQ(m_world.m_sink.m_quads[0].m_vPosition.x, 375.0f) << "the gib stays in the world";
  }
}

// While paused the Action mode does not update: nothing ages or moves, and the draw still shows everything.
TEST_F(GoreFxTest, DrawingDoesNotAdvance) {
  spawn(1, 1);
  const f32 fX = g_gibs[0].m_vPosition[0];
  for (i32 n = 0; n < 5; ++n) draw();
  EXPECT_FLOAT_EQ(g_gibs[0].m_vPosition[0], fX);
  EXPECT_FLOAT_EQ(g_gibs[0].m_fAge, 0.0f);
  EXPECT_EQ(m_world.m_sink.m_quads.size(), static_cast<size_t>(2 * g_gibs.getCount()));
}

// The player's splatter: 10 or 100 red drops scattered around (x, y), none pushed sideways or up. Its draws come in
// the order size, x, z, azimuth, elevation, speed, lifetime.
TEST_F(GoreFxTest, ThePlayersBloodSplatter) {
  for (u32 uiSeed : {5u, 99u, 4242u}) {
    for (bool bHeavy : {false, true}) {
      SCOPED_TRACE(testing::Message() << "seed " << uiSeed << ", heavy " << bHeavy);
      sfmtInitGenRand(uiSeed);
      i32 k = 1;
      while (k < 5 && KvMath::randomUnitFloat() < (bHeavy ? 0.8f : 0.75f)) ++k;
      const f32 fX = 300.0f + KvMath::randomUnitFloat() * 24.0f - 12.0f;
      const f32 fZ = KvMath::randomUnitFloat() * 48.0f - 48.0f;
      const f32 a = KvMath::randomUnitFloat() * 360.0f * 3.1415f / 180.0f;
      const f32 b = KvMath::randomUnitFloat() * 360.0f * 3.1415f / 180.0f;
      const f32 fSpeed = KvMath::randomUnitFloat() * 240.0f + 10.0f;
      const f32 fLifetime = KvMath::randomUnitFloat() * 4.5f + 0.1f;
      sfmtInitGenRand(uiSeed);
      g_bloodSplats.clear();
      GoreFx::spawnBloodSplatter(300.0f, 157.0f, bHeavy);
      const SBloodSplat& first = g_bloodSplats[0];
      EXPECT_EQ(first.m_iSize, k);
      EXPECT_FLOAT_EQ(first.m_vPosition[0], fX);
      EXPECT_FLOAT_EQ(first.m_vPosition[2], fZ);
      EXPECT_FLOAT_EQ(first.m_vVelocity[0], std::cos(a) * fSpeed);
      EXPECT_FLOAT_EQ(first.m_vVelocity[1], std::sin(a) * std::cos(b) * fSpeed);
      EXPECT_FLOAT_EQ(first.m_vVelocity[2], std::sin(a) * std::sin(b) * fSpeed);
      EXPECT_FLOAT_EQ(first.m_fLifetime, fLifetime);
    }
  }
  for (bool bHeavy : {false, true}) {
    g_bloodSplats.clear();
    GoreFx::spawnBloodSplatter(300.0f, 157.0f, bHeavy);
    ASSERT_EQ(g_bloodSplats.getCount(), bHeavy ? 100 : 10);
    for (i32 i = 0; i < g_bloodSplats.getCount(); ++i) {
      const SBloodSplat& drop = g_bloodSplats[i];
      EXPECT_EQ(drop.m_bOrange, 0);
      EXPECT_EQ(drop.m_bLanded, 0);
      EXPECT_GE(drop.m_vPosition[0], 288.0f);
      EXPECT_LE(drop.m_vPosition[0], 312.0f);
      EXPECT_FLOAT_EQ(drop.m_vPosition[1], 157.0f);
      EXPECT_GE(drop.m_vPosition[2], -48.0f);
      EXPECT_LE(drop.m_vPosition[2], 0.0f);
      EXPECT_GE(drop.m_fLifetime, 0.1f);
      EXPECT_LE(drop.m_fLifetime, 4.6f);
      const f32 fSpeed = std::sqrt(drop.m_vVelocity[0] * drop.m_vVelocity[0] + drop.m_vVelocity[1] * drop.m_vVelocity[1] +
                                   drop.m_vVelocity[2] * drop.m_vVelocity[2]);
      EXPECT_LE(fSpeed, 250.0f + 1e-3f);
      EXPECT_FLOAT_EQ(drop.m_vAcceleration[2], 300.0f);
      EXPECT_EQ(drop.mp_pDecal, entry(("IM-splatter" + std::to_string(drop.m_iSize) + "_216").c_str()));
    }
  }
}

TEST_F(GoreFxTest, ReleaseAllFreesEveryVector) {
  spawn(3, 1);
  GoreFx::spawnBloodSplatter(300.0f, 157.0f, false);
  const f32 vAt[4] = {100.0f, 150.0f, 0.0f, 0.0f};
  GoreFx::addFloatingText("enemy_score_hit_good", 10, vAt);
  GoreFx::releaseAll();
  EXPECT_FALSE(g_gibs.isInitialized());
  EXPECT_FALSE(g_bloodSplats.isInitialized());
  EXPECT_FALSE(g_floatingTexts.isInitialized());
  EXPECT_FALSE(g_sparkAnims.isInitialized());
  EXPECT_FALSE(g_enemyActionFx.isInitialized());
  GoreFx::initialize();
  EXPECT_EQ(g_gibs.getCount(), 0);
  EXPECT_EQ(g_floatingTexts.getCapacity(), 8);
}
