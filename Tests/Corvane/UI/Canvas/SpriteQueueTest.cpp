// The 2D sprite queue: positions on canvases and parent windows, the queue's limits, the sort order, the geometry
// each sprite becomes, the layer ranges of the frame's two batches, and the pixels a drawn batch covers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"

namespace {

using SpriteQueueTest = CanvasTest;

// Distinct signature records whose addresses order the sort's secondary key; never drawn.
SRenderSignature g_aFakeSignatures[4];

const kv_vector2 gc_vUV0{0.0f, 0.0f};
const kv_vector2 gc_vUV1{1.0f, 1.0f};

void addPlain(u16 uLayer, const SRenderSignature* pSig, f32 fX = 0.0f) {
  Cl2d::addSprite(uLayer, pSig, 0xFFFFFFFFu, fX, 0.0f, 1.0f, 1.0f, gc_vUV0, gc_vUV1);
}

// The position rule on a 200 x 100 rectangle at (50.5, 20): each screen bit, each anchor bit, offsets that round.
TEST_F(SpriteQueueTest, PositionsOnARectangle) {
  struct SCase {
    const char* pWhat;
    f32 fX, fY, fW, fH;
    u32 uiScreen, uiAnchor;
    kv_vector2 vExpected;
  };
  const SParentWindow rect{50.5f, 250.5f, 20.0f, 120.0f};
  const SCase aCases[] = {
      {"top-left", 3, 4, 10, 10, 9, 9, {53.5f, 24}},
      {"right edge, anchored right", 3, 4, 10, 10, 4 | 8, 4 | 8, {50.5f + 187, 24}},
      {"centre, anchored centre", 0, 0, 11, 11, 18, 18, {50.5f + 95, 20 + 45}},  // 94.5 and 44.5 round up
      {"centre plus offset", 10, -10, 0, 0, 18, 9, {50.5f + 110, 20 + 40}},
      {"bottom, anchored bottom", 0, 5, 20, 30, 1 | 32, 1 | 32, {50.5f, 20 + 65}},
      {"bottom, anchored top", 0, 5, 20, 30, 33, 9, {50.5f, 20 + 95}},
      {"left, anchored right", 30, 0, 20, 0, 9, 4 | 8, {50.5f + 10, 20}},
      {"fraction below a half", 2.49f, 0, 0, 0, 9, 9, {52.5f, 20}},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pWhat);
    EXPECT_EQ(Cl2d::computePosition(rect, c.fX, c.fY, c.fW, c.fH, c.uiScreen, c.uiAnchor), c.vExpected);
  }
  struct SStop {
    u32 uiScreen, uiAnchor;
    const char* pText;
    bool bFatal;
  };
  const SStop aStops[] = {
      {9, 1 | 4 | 8, "Too many flags for positionning!", false},
      {4 | 2 | 8, 9, "Too many flags for positionning!", false},
      {1 | 8 | 16, 9, "Too many flags for positionning!", false},
      {9, 1 | 16 | 32, "Too many flags for positionning!", false},
      {9, 8, "X TEXTURE alignment not specified!", true},
      {1, 9, "Y SCREEN alignment not specified!", true},
  };
  for (const SStop& s : aStops) {
    SCOPED_TRACE(std::to_string(s.uiScreen) + " / " + std::to_string(s.uiAnchor));
    if (s.bFatal) {
      EXPECT_KV_FATAL(Cl2d::computePosition(rect, 0, 0, 1, 1, s.uiScreen, s.uiAnchor), s.pText);
    } else {
      EXPECT_KV_ASSERT(Cl2d::computePosition(rect, 0, 0, 1, 1, s.uiScreen, s.uiAnchor), s.pText);
    }
  }
}

// A named canvas places on its own rectangle, a pushed parent window wins over it, and an unknown name is fatal.
TEST_F(SpriteQueueTest, PositionsOnANamedCanvas) {
  Cl2d::createCanvas("HUD", 36, 216.0f, 216.0f, 10.0f, 10.0f, 100.0f, 50.0f, 36);  // (210, 180)-(310, 230)
  const u32 uiHud = KvStrHash("HUD");
  EXPECT_EQ(Cl2d::computePositionOnCanvas(uiHud, 0, 0, 10, 10, 36, 36), (kv_vector2{300, 220}));
  EXPECT_EQ(Cl2d::computePositionOnCanvas(uiHud, 5, 5, 10, 10, 9, 9), (kv_vector2{215, 185}));
  Cl2d::pushParentWindow({100, 300, 50, 150});
  EXPECT_EQ(Cl2d::computePositionOnCanvas(uiHud, 5, 5, 10, 10, 9, 9), (kv_vector2{105, 55}));
  Cl2d::popParentWindow(Cl2d::getParentWindow());
  EXPECT_EQ(Cl2d::computePositionOnCanvas(uiHud, 5, 5, 10, 10, 9, 9), (kv_vector2{215, 185}));
  EXPECT_KV_FATAL(Cl2d::computePositionOnCanvas(KvStrHash("NONE"), 0, 0, 1, 1, 9, 9), "Dictionary item not found");
}

// Layers up to 3999 are accepted, 4000 and a null signature stop the program; the 3073rd sprite is dropped without
// a word and never drawn.
TEST_F(SpriteQueueTest, QueueLimits) {
  const SRenderSignature* pSig = &g_aFakeSignatures[0];
  addPlain(gc_u2D_MAX_LAYER, pSig);
  EXPECT_EQ(Cl2d::getNumSprites(), 1);
  EXPECT_KV_ASSERT(addPlain(4000, pSig), "Layer ID out of range!");
  EXPECT_KV_ASSERT(addPlain(1, nullptr), "pSig");
  EXPECT_EQ(Cl2d::getNumSprites(), 1);
  for (i32 i = 1; i < gc_i2D_MAX_SPRITES; ++i) {
    addPlain(10, pSig);
  }
  EXPECT_EQ(Cl2d::getNumSprites(), gc_i2D_MAX_SPRITES);
  addPlain(5, &g_aFakeSignatures[1], 123.0f);
  EXPECT_EQ(Cl2d::getNumSprites(), gc_i2D_MAX_SPRITES);
  Cl2d::sortSprites();
  ClDynamicGeometry::beginFrame();
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_2D, 0, gc_u2D_MAX_LAYER, 0.0f);
  ASSERT_EQ(ClDynamicGeometry::getNumElements(), gc_i2D_MAX_SPRITES);
  for (i32 i = 0; i < ClDynamicGeometry::getNumElements(); ++i) {
    ASSERT_EQ(element(i).pSignature, pSig) << "the dropped sprite is not drawn";
  }
  ClDynamicGeometry::unlockBuffers();
}

// While a clip rectangle is set (a drag-scrolled area's children), sprites are cut to it with their texture
// coordinates, and those wholly outside are not queued; with none set, nothing is cut.
TEST_F(SpriteQueueTest, ClipRectangleCutsSpritesAndTheirTextureCoordinates) {
  struct SCase {
    const char* pWhat;
    f32 fX, fY, fW, fH;
    bool bQueued;
    f32 afRect[4];  // x, y, width, height as queued
    f32 afUV[4];    // left, top, right, bottom
  };
  // The clip rectangle covers pixels 80..160 across and 60..120 down of the 320 x 240 screen.
  const kv_rect clip{0.25f, 0.5f, 0.25f, 0.5f};
  const SCase aCases[] = {
      {"inside", 90, 70, 20, 10, true, {90, 70, 20, 10}, {0, 0, 1, 1}},
      {"over the left edge", 60, 70, 40, 10, true, {80, 70, 20, 10}, {0.5f, 0, 1, 1}},
      {"over the bottom right corner", 150, 110, 20, 40, true, {150, 110, 10, 10}, {0, 0, 0.5f, 0.25f}},
      {"around the whole rectangle", 0, 0, 320, 240, true, {80, 60, 80, 60}, {0.25f, 0.25f, 0.5f, 0.5f}},
      {"wholly above", 90, 10, 20, 50, false, {}, {}},
      {"wholly right, touching", 160, 70, 20, 10, false, {}, {}},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pWhat);
    Cl2d::clearSprites();
    g_kvClipRect = clip;
    Cl2d::addSprite(3, &g_aFakeSignatures[0], 0xFFFFFFFFu, c.fX, c.fY, c.fW, c.fH, gc_vUV0, gc_vUV1);
    g_kvClipRect = gc_kvEmptyRect;
    ASSERT_EQ(Cl2d::getNumSprites(), c.bQueued ? 1 : 0);
    if (!c.bQueued) continue;
    const S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
    EXPECT_FLOAT_EQ(q.mp_afX[0], c.afRect[0]);
    EXPECT_FLOAT_EQ(q.mp_afY[0], c.afRect[1]);
    EXPECT_FLOAT_EQ(q.mp_afWidth[0], c.afRect[2]);
    EXPECT_FLOAT_EQ(q.mp_afHeight[0], c.afRect[3]);
    EXPECT_FLOAT_EQ(q.mp_afLeftU[0], c.afUV[0]);
    EXPECT_FLOAT_EQ(q.mp_afTopV[0], c.afUV[1]);
    EXPECT_FLOAT_EQ(q.mp_afRightU[0], c.afUV[2]);
    EXPECT_FLOAT_EQ(q.mp_afBottomV[0], c.afUV[3]);
  }
  Cl2d::clearSprites();
  Cl2d::addSprite(3, &g_aFakeSignatures[0], 0xFFFFFFFFu, -50, -50, 1000, 1000, gc_vUV0, gc_vUV1);
  EXPECT_FLOAT_EQ(Cl2d::mp_spriteQueue.mp_afWidth[0], 1000.0f) << "no clip rectangle, no cut";
}

// The sort orders by layer, then by signature address; sprites are grouped by signature within a layer whatever
// the order they were queued in, and the index array holds every sprite once; each frame (the same count, other
// keys) is sorted for its own keys.
TEST_F(SpriteQueueTest, SortOrdersByLayerThenSignature) {
  const SRenderSignature* pA = &g_aFakeSignatures[1];
  const SRenderSignature* pB = &g_aFakeSignatures[2];
  ASSERT_LT(reinterpret_cast<std::uintptr_t>(pA), reinterpret_cast<std::uintptr_t>(pB));
  addPlain(7, pB, 1.0f);
  addPlain(7, pA, 2.0f);
  EXPECT_FALSE(Cl2d::areSpritesSorted());
  Cl2d::sortSprites();
  EXPECT_TRUE(Cl2d::areSpritesSorted());
  EXPECT_EQ(Cl2d::mp_spriteQueue.mp_auSortedIndex[0], 1) << "A before B on the same layer";
  EXPECT_EQ(Cl2d::mp_spriteQueue.mp_auSortedIndex[1], 0);
  addPlain(1, pB);
  EXPECT_FALSE(Cl2d::areSpritesSorted()) << "a new sprite unsorts the queue";
  Cl2d::clearSprites();
  // The next frame queues as many sprites with their keys swapped: the order follows the keys, not the last frame.
  addPlain(7, pA);
  addPlain(7, pB);
  Cl2d::sortSprites();
  EXPECT_EQ(Cl2d::mp_spriteQueue.mp_auSortedIndex[0], 0) << "the last order is not reused for other keys";
  Cl2d::clearSprites();

  for (u32 uiSeed : {1u, 2u, 3u}) {
    SCOPED_TRACE(uiSeed);
    std::mt19937 random(uiSeed);
    const i32 iCount = 3000;
    for (i32 i = 0; i < iCount; ++i) {
      // Few layers so that long runs of equal layers meet several signatures.
      addPlain(static_cast<u16>(random() % 40), &g_aFakeSignatures[random() % 4]);
    }
    Cl2d::sortSprites();
    const S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
    std::vector<u16> seen(q.mp_auSortedIndex, q.mp_auSortedIndex + iCount);
    std::sort(seen.begin(), seen.end());
    for (i32 i = 0; i < iCount; ++i) {
      ASSERT_EQ(seen[i], i) << "a permutation of the queue";
    }
    for (i32 i = 1; i < iCount; ++i) {
      const u16 a = q.mp_auSortedIndex[i - 1];
      const u16 b = q.mp_auSortedIndex[i];
      ASSERT_LE(q.mp_auLayer[a], q.mp_auLayer[b]) << "at " << i;
      if (q.mp_auLayer[a] == q.mp_auLayer[b]) {
        ASSERT_LE(reinterpret_cast<std::uintptr_t>(q.mp_apSignature[a]),
                  reinterpret_cast<std::uintptr_t>(q.mp_apSignature[b]))
            << "at " << i;
      }
    }
    Cl2d::clearSprites();
  }
}

// Each sprite becomes one element of four vertices half a pixel up and left, its colour and texture corners, two
// triangles (f, f+1, f+2) and (f+1, f+3, f+2), depth -layer, z = layer x factor, the batch mask as flag word.
TEST_F(SpriteQueueTest, SpritesBecomeGeometryElements) {
  const SRenderSignature* pSig = &g_aFakeSignatures[3];
  Cl2d::addSprite(300, pSig, 0x80112233u, 10.0f, 20.0f, 30.0f, 15.0f, {0.25f, 0.5f}, {0.75f, 1.0f});
  Cl2d::sortSprites();
  ClDynamicGeometry::beginFrame();
  SDynamicGeometryAlloc before;
  ClDynamicGeometry::reserve(1, 3, 3, &before);  // the sprite's vertices do not start at 0
  ClDynamicGeometry::setElement(before, 0, before.mp_uiFirstIndex, 3, gc_uiDYNGEO_FLAG_WORLD, pSig, 0.0f);
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 0, 3999, 0.5f);
  ASSERT_EQ(ClDynamicGeometry::getNumElements(), 2);
  const SElement e = element(1);
  EXPECT_EQ(e.uiFlags, gc_uiDYNGEO_FLAG_UI);
  EXPECT_EQ(e.pSignature, pSig);
  EXPECT_EQ(e.fDepth, -300.0f);
  EXPECT_EQ(e.uiUserWord, 0u);
  EXPECT_EQ(e.range.mp_uiFirstIndex, 3u);
  EXPECT_EQ(e.range.mp_uiNumIndices, 6u);
  const u32 f = 3;
  const u32 auiIndexes[6] = {f, f + 1, f + 2, f + 1, f + 3, f + 2};
  for (u32 i = 0; i < 6; ++i) {
    EXPECT_EQ(stagingIndex(e.range.mp_uiFirstIndex + i), auiIndexes[i]) << i;
  }
  struct SCorner {
    f32 x, y, u, v;
  };
  const SCorner aCorners[4] = {{9.5f, 19.5f, 0.25f, 0.5f},
                               {39.5f, 19.5f, 0.75f, 0.5f},
                               {9.5f, 34.5f, 0.25f, 1.0f},
                               {39.5f, 34.5f, 0.75f, 1.0f}};
  for (u32 i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const SDynamicGeometryVertex& v = vertex(f + i);
    EXPECT_EQ(v.x, aCorners[i].x);
    EXPECT_EQ(v.y, aCorners[i].y);
    EXPECT_EQ(v.z, 150.0f);
    EXPECT_EQ(v.u, aCorners[i].u);
    EXPECT_EQ(v.v, aCorners[i].v);
    EXPECT_EQ(v.color, 0x80112233u);
  }
  ClDynamicGeometry::unlockBuffers();
}

// The frame draws 0..2600 into one batch and 2600..2800 into another: a sprite on 2600 is drawn by both, sprites
// outside both ranges by neither; queue order stands when the queue was not sorted.
TEST_F(SpriteQueueTest, LayerRangesShareTheirBoundary) {
  const u16 auLayers[] = {2700, 0, 2600, 2599, 2801, 2800, 3999};
  for (u16 uLayer : auLayers) {
    addPlain(uLayer, &g_aFakeSignatures[0], static_cast<f32>(uLayer));
  }
  struct SPass {
    bool bSorted;
    std::vector<std::vector<f32>> layersByBatch;  // the layers drawn into each batch, in element order
  };
  const SPass aPasses[] = {{false, {{0, 2600, 2599}, {2700, 2600, 2800}}},
                           {true, {{0, 2599, 2600}, {2600, 2700, 2800}}}};
  for (const SPass& pass : aPasses) {
    SCOPED_TRACE(pass.bSorted ? "sorted" : "queue order");
    if (pass.bSorted) Cl2d::sortSprites();
    ClDynamicGeometry::beginFrame();
    Cl2d::renderSprites(gc_uiDYNGEO_FLAG_2D, 0, 2600, 0.0f);
    Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 2600, 2800, 0.0f);
    std::vector<std::vector<f32>> drawn(2);
    for (i32 i = 0; i < ClDynamicGeometry::getNumElements(); ++i) {
      const SElement e = element(i);
      drawn[e.uiFlags == gc_uiDYNGEO_FLAG_2D ? 0 : 1].push_back(-e.fDepth);
      EXPECT_EQ(vertex(stagingIndex(e.range.mp_uiFirstIndex)).x + 0.5f, -e.fDepth) << "the sprite's own vertices";
    }
    EXPECT_EQ(drawn, pass.layersByBatch);
    ClDynamicGeometry::unlockBuffers();
  }
}

// A full geometry skips the sprites that find no room; geometry that is not ready takes none; the sort and the
// clear wait for the queue to be active.
TEST_F(SpriteQueueTest, FullOrStoppedGeometryAndInactiveQueue) {
  for (u16 i = 0; i < 3; ++i) addPlain(i, &g_aFakeSignatures[0]);
  ClDynamicGeometry::beginFrame();
  SDynamicGeometryAlloc filler;
  ClDynamicGeometry::reserve(gc_iDYNGEO_MAX_ELEMENTS - 2, 4, 6, &filler);
  ASSERT_NE(filler.mp_pVerts, nullptr);
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_2D, 0, 3999, 0.0f);
  EXPECT_EQ(ClDynamicGeometry::getNumElements(), gc_iDYNGEO_MAX_ELEMENTS - 1) << "one sprite found room";
  ClDynamicGeometry::unlockBuffers();

  ClDynamicGeometry::platformTerminate();
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_2D, 0, 3999, 0.0f);
  ClDynamicGeometry::platformInitialize(0);
  EXPECT_EQ(ClDynamicGeometry::getNumElements(), 0);

  Cl2d::terminate();
  Cl2d::sortSprites();
  EXPECT_FALSE(Cl2d::areSpritesSorted()) << "no sort while the queue is inactive";
  Cl2d::clearSprites();
  EXPECT_EQ(Cl2d::getNumSprites(), 3) << "no clear while Cl2d is not initialised";
  Cl2d::initialise();
  EXPECT_EQ(Cl2d::getNumSprites(), 0);
  addPlain(1, &g_aFakeSignatures[0]);
  Cl2d::sortSprites();
  Cl2d::clearSprites();
  EXPECT_EQ(Cl2d::getNumSprites(), 0);
  EXPECT_FALSE(Cl2d::areSpritesSorted());
}

// Sprites of known colours drawn through the device land on exactly the pixels of their rectangles (whole-pixel
// positions cover whole pixels, no row or column more or less), the higher layer on top, whatever the queue order.
TEST_F(SpriteQueueTest, DrawnSpritesCoverTheirPixelsExactly) {
  const SRenderSignature* pColor = colorSignature();
  struct SRect {
    f32 fX, fY, fW, fH;
    u16 uLayer;
    u32 uiColor;
  };
  const SRect aRects[] = {{40, 30, 20, 10, 900, 0xFF0000FFu},  // blue on top of red
                          {10, 20, 40, 15, 100, 0xFFFF0000u},
                          {100, 50, 1, 1, 50, 0xFF00FF00u}};
  for (const SRect& r : aRects) {
    Cl2d::addSprite(r.uLayer, pColor, r.uiColor, r.fX, r.fY, r.fW, r.fH, gc_vUV0, gc_vUV1);
  }
  ClDynamicGeometry::beginFrame();
  Cl2d::sortSprites();
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 0, 3999, 0.0f);
  ClDynamicGeometry::buildBatch(9, gc_uiDYNGEO_FLAG_UI);
  ClDynamicGeometry::unlockBuffers();
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  ASSERT_EQ(pDevice->BeginScene(), D3D_OK);
  clear(0xFF000000u);
  Cl2d::pushProjection();
  ClDynamicGeometry::drawBatch(9);
  Cl2d::popProjection();
  pDevice->EndScene();

  UINT uiW = 0;
  UINT uiH = 0;
  const std::vector<DWORD> pixels = D3D9TestReadBackBuffer(pDevice, &uiW, &uiH);
  ASSERT_EQ(uiW * uiH, 320u * 240u);
  // The expected picture painted from the rectangles in layer order.
  std::vector<u32> expected(static_cast<size_t>(uiW) * uiH, 0xFF000000u);
  std::vector<SRect> byLayer(std::begin(aRects), std::end(aRects));
  std::sort(byLayer.begin(), byLayer.end(), [](const SRect& a, const SRect& b) { return a.uLayer < b.uLayer; });
  for (const SRect& r : byLayer) {
    for (i32 y = static_cast<i32>(r.fY); y < static_cast<i32>(r.fY + r.fH); ++y) {
      for (i32 x = static_cast<i32>(r.fX); x < static_cast<i32>(r.fX + r.fW); ++x) {
        expected[static_cast<size_t>(y) * uiW + x] = r.uiColor;
      }
    }
  }
  i32 iWrong = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    if ((pixels[i] | 0xFF000000u) != expected[i] && ++iWrong <= 5) {
      ADD_FAILURE() << "pixel (" << i % uiW << ", " << i / uiW << ") is " << std::hex << pixels[i] << ", not "
                    << expected[i];
    }
  }
  EXPECT_EQ(iWrong, 0);
}

}  // namespace
