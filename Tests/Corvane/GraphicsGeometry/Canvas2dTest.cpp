// The UI's 2D pieces the renderer uses: the canvas position rule, solid rectangles placed on "FULL" or a parent
// window, and the aspect-fit copy of a render target onto the back buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClHLDrawUI.h"
#include "Corvane/UI/ClUI.h"
#include "Tests/Corvane/GraphicsGeometry/GeometryTestSupport.h"

namespace {

class Canvas2dTest : public GeometryTest {
 protected:
  void SetUp() override {
    GeometryTest::SetUp();
    m_fSavedWidth = ClGraphics::mp_fScreenWidth;
    m_fSavedHeight = ClGraphics::mp_fScreenHeight;
  }
  void TearDown() override {
    Cl2d::terminate();
    ClGraphics::mp_fScreenWidth = m_fSavedWidth;
    ClGraphics::mp_fScreenHeight = m_fSavedHeight;
    GeometryTest::TearDown();
  }
  // "FULL" for a screen of w x h.
  static void screen(f32 fWidth, f32 fHeight) {
    ClGraphics::mp_fScreenWidth = fWidth;
    ClGraphics::mp_fScreenHeight = fHeight;
    Cl2d::initialise();
  }
  f32 m_fSavedWidth = 0.0f;
  f32 m_fSavedHeight = 0.0f;
};

// Screen flags place the box on the rectangle, anchor flags pick the box's point; positions round to whole pixels
// before the origin is added; conflicting or missing flags stop the program.
TEST_F(Canvas2dTest, PositionsFollowTheAlignmentFlags) {
  screen(1280.0f, 720.0f);
  const Cl2dCanvas* pFull = Cl2d::getFullCanvas();
  EXPECT_FLOAT_EQ(pFull->mp_fScale, 720.0f / 216.0f);
  EXPECT_STREQ(pFull->mp_acResolutionSuffixToUse, "_720");
  EXPECT_EQ(Cl2d::computePositionOnFullCanvas(0, 0, 100, 50, 18, 18), (kv_vector2{590, 335}));
  EXPECT_EQ(Cl2d::computePositionOnFullCanvas(10, 10, 100, 50, 36, 36), (kv_vector2{1170, 660}));
  const SParentWindow offset{0.25f, 100.25f, 0.0f, 100.0f};
  EXPECT_EQ(Cl2d::computePosition(offset, 10.5f, 10.49f, 0, 0, 9, 9), (kv_vector2{11.25f, 10.0f}));
  Cl2d::pushParentWindow({100, 300, 50, 150});
  EXPECT_EQ(Cl2d::computePositionOnFullCanvas(5, 5, 10, 10, 9, 9), (kv_vector2{105, 55}));
  Cl2d::clearParentWindows();
  EXPECT_EQ(Cl2d::computePositionOnFullCanvas(5, 5, 10, 10, 9, 9), (kv_vector2{5, 5}));
  EXPECT_KV_ASSERT(Cl2d::computePositionOnFullCanvas(0, 0, 1, 1, 3 | 8, 9), "Too many flags for positionning!");
  EXPECT_KV_FATAL(Cl2d::computePositionOnFullCanvas(0, 0, 1, 1, 8, 9), "X SCREEN alignment not specified!");
  EXPECT_KV_FATAL(Cl2d::computePositionOnFullCanvas(0, 0, 1, 1, 9, 1), "Y TEXTURE alignment not specified!");
  // A canvas made on "FULL": its rectangle, scale and suffix.
  const Cl2dCanvas* pCanvas = Cl2d::createCanvas("HUD", 9, 216.0f, 216.0f, 0, 0, 480.4f, 270.0f, 9);
  EXPECT_EQ(pCanvas->mp_fRight, 480.0f);
  EXPECT_EQ(pCanvas->mp_fScale, 1.0f);
  EXPECT_STREQ(pCanvas->mp_acResolutionSuffixToUse, "_216");
  EXPECT_KV_FATAL(Cl2d::getCanvasByHash(0x12345678u), "Dictionary item not found");
}

// On a 1080-line screen (scale 5) a rectangle at (10, 20) of 40 x 8 units is a 200 x 40 quad at (50, 100) on
// "FULL", or placed on the parent window while one is pushed; nothing while the geometry is not ready.
TEST_F(Canvas2dTest, ColoredRectanglesArePlacedLikeSprites) {
  screen(1920.0f, 1080.0f);
  ClHLDrawUI::initialize();
  EXPECT_EQ(ClHLDrawUI::getElementFlags(), 0x100u);
  const u32 uiColor = 0x80FF0000u;
  const kv_vector2 vPosition{10, 20};
  ClDynamicGeometry::beginFrame();
  ClHLDrawUI::drawColoredRect(&uiColor, &vPosition, 40, 8);
  ASSERT_EQ(ClDynamicGeometry::getNumElements(), 1);
  const f32 afX[4] = {50, 250, 250, 50};
  const f32 afY[4] = {100, 100, 140, 140};
  for (u32 i = 0; i < 4; ++i) {
    EXPECT_EQ(vertex(i).x, afX[i]);
    EXPECT_EQ(vertex(i).y, afY[i]);
    EXPECT_EQ(vertex(i).color, uiColor);
  }
  const SElement e = element(0);
  EXPECT_EQ(e.fDepth, -1999.0f);
  EXPECT_EQ(e.uiFlags, 0x100u);
  EXPECT_EQ(e.pSignature, colorSignature());
  EXPECT_EQ(e.uiUserWord, 0u);

  Cl2d::pushParentWindow({300, 700, 400, 600});
  ClHLDrawUI::setElementFlags(gc_uiDYNGEO_FLAG_2D);
  ClHLDrawUI::drawColoredRect(&uiColor, &vPosition, 40, 8);
  Cl2d::clearParentWindows();
  EXPECT_EQ(vertex(4).x, 350.0f) << "on the parent window, sized by FULL";
  EXPECT_EQ(vertex(6).y, 540.0f);
  EXPECT_EQ(element(1).uiFlags, gc_uiDYNGEO_FLAG_2D);
  ClDynamicGeometry::unlockBuffers();
  ClHLDrawUI::setElementFlags(0x100u);

  ClDynamicGeometry::platformTerminate();
  ClHLDrawUI::drawColoredRect(&uiColor, &vPosition, 40, 8);
  ClDynamicGeometry::platformInitialize(0);
  EXPECT_EQ(ClDynamicGeometry::getNumElements(), 0);
}

// Whether an aspect-fitted copy covers its target (so the target need not be cleared first) answers what the copy
// really does: a target cleared to blue keeps no blue pixel exactly when it is said to be covered. Margins narrower
// than half a pixel hold no pixel centre.
TEST_F(Canvas2dTest, AspectFitCopyCoversItsTargetExactlyWhenItSaysSo) {
  ClRenderTargetGroup* pPicture = ClRenderTargetMgr::lockAutoRenderTarget(1, 48, 27);
  ClGraphics::setRenderTargetGroup(pPicture);
  clear(0xFFFF0000u);
  ClTexture* pTexture = pPicture->getColorTexture();
  const SRenderSignature* pSig = ClSignatureMgr::getSignatureByName("system_copy_nofiltering", pTexture);
  struct SCase {
    f32 fWidth, fHeight;
    bool bCovers;
  };
  // The same aspect; margins of 0.22 and 0.28 rows; margins of 3 rows and of 4.5 columns.
  const SCase aCases[] = {{96, 54, true}, {97, 55, true}, {95, 54, true}, {96, 60, false}, {105, 54, false}};
  u32 uiTag = 2;
  for (const SCase& test : aCases) {
    SCOPED_TRACE(std::to_string(test.fWidth) + " x " + std::to_string(test.fHeight));
    ClRenderTargetGroup* pTarget = ClRenderTargetMgr::lockAutoRenderTarget(uiTag++, test.fWidth, test.fHeight);
    ClGraphics::setRenderTargetGroup(pTarget);
    clear(0xFF0000FFu);
    EXPECT_EQ(ClUI::aspectFitCoversTarget(pTexture), test.bCovers);
    ClUI::blitRenderTargetAspectFit(pTexture, pSig, 0xFFFFFFFFu);
    ClGraphics::setRenderTargetGroup(nullptr);
    UINT uiW = 0;
    UINT uiH = 0;
    const std::vector<DWORD> copied =
        D3D9TestReadTexture(static_cast<IDirect3DTexture9*>(pTarget->getColorTexture()->getD3DTexture()), 0, &uiW, &uiH);
    ASSERT_EQ(uiW * uiH, static_cast<UINT>(test.fWidth * test.fHeight));
    const size_t uiUncovered = static_cast<size_t>(std::count(copied.begin(), copied.end(), 0xFF0000FFu));
    EXPECT_EQ(uiUncovered == 0, test.bCovers) << uiUncovered << " pixels keep the clear colour";
  }
}

// The copy of a 16:9 picture onto the 4:3 back buffer keeps its aspect: k = 0.75, rows 30 to 209, centred; a copy
// onto a target of the same aspect covers it texel for texel.
TEST_F(Canvas2dTest, AspectFitCopiesKeepThePicturesShape) {
  ClRenderTargetGroup* pPicture = ClRenderTargetMgr::lockAutoRenderTarget(1, 48, 27);
  ClGraphics::setRenderTargetGroup(pPicture);
  clear(0xFFFF0000u);
  const D3DRECT corner{0, 0, 1, 1};
  ClGraphics::mp_pDevice->Clear(1, &corner, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0);
  ClGraphics::setRenderTargetGroup(nullptr);
  clear(0xFF000000u);
  ClTexture* pTexture = pPicture->getColorTexture();
  const SRenderSignature* pSig = ClSignatureMgr::getSignatureByName("system_copy_nofiltering", pTexture);
  ClUI::blitRenderTargetAspectFit(pTexture, pSig, 0xFFFFFFFFu);
  EXPECT_EQ(pixel(160, 29), 0xFF000000u);
  EXPECT_EQ(pixel(160, 30), 0xFFFF0000u);
  EXPECT_EQ(pixel(160, 209), 0xFFFF0000u);
  EXPECT_EQ(pixel(160, 210), 0xFF000000u);
  EXPECT_EQ(pixel(0, 30), 0xFF00FF00u) << "the picture's top-left texel at the quad's top-left";
  EXPECT_EQ(ClGraphics::getMatrixStackDepth(E_MATRIX_STACK_PROJECTION), 0) << "the projection is popped again";

  ClRenderTargetGroup* pSame = ClRenderTargetMgr::lockAutoRenderTarget(2, 48, 27);
  ClGraphics::setRenderTargetGroup(pSame);
  clear(0xFF000000u);
  ClUI::blitRenderTargetAspectFit(pTexture, pSig, 0xFFFFFFFFu);
  ClGraphics::setRenderTargetGroup(nullptr);
  UINT uiW = 0;
  UINT uiH = 0;
  const std::vector<DWORD> copied =
      D3D9TestReadTexture(static_cast<IDirect3DTexture9*>(pSame->getColorTexture()->getD3DTexture()), 0, &uiW, &uiH);
  EXPECT_EQ(copied[0], 0xFF00FF00u);
  EXPECT_EQ(copied[1], 0xFFFF0000u);
  EXPECT_EQ(copied[48], 0xFFFF0000u);
  EXPECT_EQ(copied.back(), 0xFFFF0000u);
}

}  // namespace
