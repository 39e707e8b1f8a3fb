// The world drawn on the device through the game's frame composition: the game started into its front end on the
// archives the build makes, the sample "EntityEnemy" and "Backgrounds" read from them, a still frame of enemies in
// several types and states (a star enemy, a projectile in its bright phase, a spinning one, a shielded one, a
// rolling barrel, a crate) over the sample background, composed as the Action mode with the CRT option off, read
// back and compared with Reference/WorldEnemies.png within the tolerance of GameFrameFixture.h.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Objects/Backgrounds.h"
#include "Code/Objects/ClEntity.h"
#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/GAMEEnemyScript.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClRenderTargetMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/System/ClClock.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"

namespace {

// The game's shaders in the order the game registers them.
constexpr const char* gc_apGAME_SHADER_ORDER[] = {
    "system_blend_premult",      "system_blend_color",     "system_copy_tv",    "system_copy_nofiltering",
    "PostFx_ExtractThreshold",   "PostFx_Blur15",          "vosk_bullet",       "vosk_star",
    "vosk_star_world",           "vosk_blood",             "vosk_blood_orange", "vosk_shadow",
    "vosk_blend_premult_zwrite", "vosk_blend_color_zwrite"};

// The front end with the world loaded as a level would load it: every sample flip book that the load mode left for
// the world, the checked enemy script and the first background pattern; the list and the backgrounds go with the
// test.
class WorldFrame : public GameFrontEnd {
 protected:
  void SetUp() override {
    GameFrontEnd::SetUp();
    if (HasFatalFailure()) return;
    for (const auto& entry : std::filesystem::directory_iterator(KV_FLIPBOOK_CONTENT_DIR)) {
      const std::string name = entry.path().stem().string();
      if (entry.path().extension() == ".kdt" && ClFlipBookMgr::findByHash(KvStrHash(name.c_str())) == nullptr) {
        ClFlipBookMgr::loadFlipBook(name.c_str(), "TexturesGameAtlas", 1.0f);
      }
    }
    ASSERT_TRUE(EnemyScript::load());
    ASSERT_TRUE(Backgrounds::initialize());
    ASSERT_TRUE(Backgrounds::loadPattern("BackgroundPatternChapter1A"));
    WorldRunState::reset();
    EntityList::initialize();
  }
  // The game's shutdown takes the entities and the run state (the camera with it).
  void TearDown() override {
    if (g_bBackgroundsLoaded != 0) Backgrounds::release();
    g_pEntityEnemyScript = nullptr;
    g_bCRTEffectOption = 1;
    GameFrontEnd::TearDown();
  }

  static ClEntityEnemy* spawn(const char* pType, f32 fX, i32 iLane, const char* pState = nullptr) {
    ClEntityEnemy* pEnemy = EntityList::create<ClEntityEnemy>();
    pEnemy->setup(fX, 0.0f, 0.0f, 0.0f, iLane, pType);
    if (pState != nullptr) pEnemy->setState(pState);
    EntityList::add(pEnemy);
    return pEnemy;
  }

  // One frame of the world alone (no menus) as the Action mode composes it: the backgrounds and the entities queued
  // into the world batch with the camera at x, then handed to the render worker.
  static STestPicture worldFrame(f32 fCameraX) {
    g_fWorldCameraX = fCameraX;
    g_vWorldCameraPosition = {fCameraX, 0.0f};
    const E_GAME_MODE eSaved = g_eCurrentGameMode;
    g_eCurrentGameMode = E_GAME_MODE_ACTION;
    // A still frame: the background's animations do not advance.
    for (SClockFrame& clock : ClClock::m_aClockFrames) clock.m_fFrameTime = 0.0f;
    ClDynamicGeometry::beginFrame();
    Backgrounds::tick();
    EntityList::drawPass();
    ClGraphics::endFrame();
    g_eCurrentGameMode = eSaved;
    return readBackBuffer();
  }
};

}  // namespace

// The game's start-up registers the engine's shaders and the world's, so every name the world draws with resolves.
TEST_F(GameFrontEnd, StartUpRegistersEveryShaderOfTheGame) {
  EXPECT_EQ(ClShaderMgr::mp_bAllShadersLoaded, 1u);
  for (const char* pName : gc_apGAME_SHADER_ORDER) {
    EXPECT_NE(ClShaderMgr::findShader(KvStrHash(pName)), nullptr) << pName;
  }
  // The bloom of the scene takes the Gaussian pass compiled for its 5 fetches.
  const f32 afScene[2] = {480.0f, 270.0f};
  const SBlurEffectSpecs* pBloom = ClRenderTargetMgr::setupBlurEffect("Bloom1", afScene, 1.0f, 0.0f, 0.35f);
  EXPECT_EQ(pBloom->mp_pGaussShader, ClShaderMgr::findShader(KvStrHash("PostFx_Blur15_Fetches5")));
  EXPECT_NE(pBloom->mp_pGaussShader, nullptr);
}

// Walkers (one staggering), a star walker in gold, a pistol bullet in its bright phase and the pistol enemy
// firing, a runner spinning in the air, a shielded rioter, a rolling barrel and a crate, each with its shadow, over the
// sample background's sky, buildings, street and a foreground post.
TEST_F(WorldFrame, EnemiesOverTheBackgroundMatchTheReference) {
  g_bCRTEffectOption = 0;
  spawn("EnemyThug", 70.0f, 2);
  spawn("EnemyThug", 120.0f, 1, "Hurt");
  ClEntityEnemy* pStar = spawn("EnemyThug", 175.0f, 0);
  pStar->m_bStarLook = 1;
  ClEntityEnemy* pFast = spawn("EnemyFast", 235.0f, 2, "Spinning");
  pFast->m_bRotate = 1;
  pFast->m_fRotationTime = 0.15f;
  // In the air: its shadow stays on the ground below it.
  pFast->m_vPosition[2] = -45.0f;
  spawn("EnemyRiot", 285.0f, 1);
  spawn("EnemyPistol", 345.0f, 0, "Firing");
  // The disarmed pistol's shot, a projectile (hit type 'B'): 0.04 s into its flight the blink is in its bright
  // phase ("vosk_bullet").
  ClEntityEnemy* pBullet = spawn("EnemyBulletPistolDisarmedWeapon", 300.0f, 0);
  pBullet->m_vPosition[2] = -30.0f;
  pBullet->m_fDuration = 0.04f;
  spawn("EnemyBarrel", 195.0f, 1);
  spawn("PickupSupportCrate", 30.0f, 0);
  const STestPicture picture = worldFrame(0.0f);
  ASSERT_EQ(picture.iWidth, gc_iWIDTH);
  ASSERT_EQ(picture.iHeight, gc_iHEIGHT);
  expectMatchesReference(picture, "WorldEnemies");
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// The star look and a projectile's bright phase change the bodies' pixels and nothing else: a walker and a shot
// drawn plainly, then lit, differ only inside their bodies; and the walker's shadow at least halves the street's
// brightness under it.
TEST_F(WorldFrame, StarAndBulletShadersChangeOnlyTheirBodies) {
  g_bCRTEffectOption = 0;
  const STestPicture bare = worldFrame(0.0f);
  ClEntityEnemy* pStar = spawn("EnemyThug", 175.0f, 1);
  ClEntityEnemy* pBullet = spawn("EnemyBulletPistolDisarmedWeapon", 300.0f, 0);
  pBullet->m_vPosition[2] = -30.0f;
  pBullet->m_fDuration = 0.02f;  // the plain phase
  const STestPicture plain = worldFrame(0.0f);
  pStar->m_bStarLook = 1;
  pBullet->m_fDuration = 0.04f;  // the bright phase
  const STestPicture lit = worldFrame(0.0f);
  // Boxes on the back buffer (the scene doubled) around each body, from its anchor (set-up moved x by the first
  // frame's anchor) up: the thug is 24 x 40 texels, the shot 6 x 4.
  const auto screen = [](f32 fWorld) { return static_cast<int>(WorldDraw::snap(fWorld)) * 2; };
  const int iStarX = screen(pStar->m_vPosition[0]);
  const int iStarY = screen(pStar->m_vPosition[1]);
  const int iShotX = screen(pBullet->m_vPosition[0]);
  const int iShotY = screen(pBullet->m_vPosition[1] + pBullet->m_vPosition[2]);
  struct SBox {
    const char* pName;
    int x0, y0, x1, y1;
  };
  const SBox aBodies[] = {{"star thug", iStarX - 40, iStarY - 110, iStarX + 40, iStarY + 2},
                          {"shot", iShotX - 30, iShotY - 30, iShotX + 30, iShotY + 30}};
  int aiChangedInside[2] = {0, 0};
  int iChangedOutside = 0;
  for (int y = 0; y < gc_iHEIGHT; ++y) {
    for (int x = 0; x < gc_iWIDTH; ++x) {
      if (KvTestChannelDistance(pixelAt(plain, x, y), pixelAt(lit, x, y)) <= 2) continue;
      bool bInside = false;
      for (int i = 0; i < 2; ++i) {
        const SBox& b = aBodies[i];
        if (x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1) {
          ++aiChangedInside[i];
          bInside = true;
        }
      }
      iChangedOutside += bInside ? 0 : 1;
    }
  }
  EXPECT_GT(aiChangedInside[0], 200) << aBodies[0].pName;
  EXPECT_GT(aiChangedInside[1], 10) << aBodies[1].pName;
  EXPECT_EQ(iChangedOutside, 0);
  // The star thug's shadow is centred on its feet: just below them it darkens the street of the bare frame.
  const int iShadowX = iStarX;
  const int iShadowY = iStarY + 2;
  const auto luma = [](uint32_t c) { return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF); };
  EXPECT_LT(2 * luma(pixelAt(lit, iShadowX, iShadowY)), luma(pixelAt(bare, iShadowX, iShadowY)))
      << std::hex << pixelAt(lit, iShadowX, iShadowY) << " with the shadow, " << pixelAt(bare, iShadowX, iShadowY)
      << " without";
}
