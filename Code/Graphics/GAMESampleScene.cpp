#include "Code/Graphics/GAMESampleScene.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClDynamicGeometryHelper.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/UI/ClHLDrawUI.h"

namespace {

constexpr u32 gc_uiWHITE = 0xFFFFFFFFu;

struct SSampleImage {
  const SAtlasEntry* pEntry = nullptr;
  const SRenderSignature* pSignature = nullptr;
};

SSampleImage g_ground;
SSampleImage g_crate;
SSampleImage g_spark;
SSampleImage g_button;
bool g_bLoaded = false;

SSampleImage image(const char* pAtlas, const char* pName) {
  SSampleImage result;
  result.pEntry = ClAtlasMgr::getAtlasEntry(pAtlas, KvStrHash(pName));
  if (result.pEntry != nullptr) {
    result.pSignature = ClSignatureMgr::getSignatureByName("system_blend_premult", result.pEntry->mp_pTexture);
  }
  return result;
}

void draw(u32 uiFlags, const SSampleImage& sampleImage, f32 x, f32 y, f32 fScale, f32 fDepth, u32 uiFlip = 0) {
  if (sampleImage.pEntry == nullptr) return;
  ClDynamicGeometryHelper::drawAtlasEntry(uiFlags, sampleImage.pEntry, {x, y}, {0.0f, 0.0f}, gc_uiWHITE,
                                          sampleImage.pSignature, fDepth, fScale, uiFlip);
}

}  // namespace

void GAMESampleScene::load() {
  g_ground = image("TexturesGameAtlas", "Ground_216");
  g_crate = image("TexturesGameAtlas", "Crate_216");
  g_spark = image("TexturesGameAtlas", "Spark-0000_216");
  g_button = image("TexturesUIAtlas", "ButtonFocus");
  g_bLoaded = true;
}

bool GAMESampleScene::isLoaded() { return g_bLoaded; }

void GAMESampleScene::unload() {
  g_ground = g_crate = g_spark = g_button = SSampleImage{};
  g_bLoaded = false;
}

void GAMESampleScene::queue() {
  if (!g_bLoaded) return;
  // The world, farther first: the ground band across the scene, three crates on it, bright sparks over them.
  for (i32 i = 0; i < 8; ++i) {
    draw(gc_uiDYNGEO_FLAG_WORLD, g_ground, 64.0f * static_cast<f32>(i), 206.0f, 1.0f, 100.0f);
    draw(gc_uiDYNGEO_FLAG_WORLD, g_ground, 64.0f * static_cast<f32>(i), 214.0f, 1.0f, 100.0f, gc_uiATLAS_FLIP_V);
  }
  draw(gc_uiDYNGEO_FLAG_WORLD, g_crate, 96.0f, 174.0f, 1.0f, 50.0f);
  draw(gc_uiDYNGEO_FLAG_WORLD, g_crate, 128.0f, 174.0f, 1.0f, 50.0f);
  draw(gc_uiDYNGEO_FLAG_WORLD, g_crate, 112.0f, 142.0f, 1.0f, 49.0f);
  draw(gc_uiDYNGEO_FLAG_WORLD, g_crate, 300.0f, 142.0f, 2.0f, 50.0f);
  draw(gc_uiDYNGEO_FLAG_WORLD, g_spark, 200.0f, 100.0f, 2.0f, -100.0f);
  draw(gc_uiDYNGEO_FLAG_WORLD, g_spark, 240.0f, 70.0f, 1.0f, -100.0f);
  draw(gc_uiDYNGEO_FLAG_WORLD, g_spark, 420.0f, 40.0f, 1.0f, -100.0f);
  // The 2D batch: a translucent panel on the scene's canvas ("FULL", 480 x 270).
  const u32 uiPanel = 0xA0203860u;
  const kv_vector2 vPanel{16.0f, 16.0f};
  ClHLDrawUI::drawColoredRect(&uiPanel, &vPanel, 120.0f, 28.0f);
  // The UI batch, on the finished picture in screen pixels: never filtered by the CRT effect.
  draw(gc_uiDYNGEO_FLAG_UI, g_button, 24.0f, 24.0f, 2.0f, 0.0f);
}
