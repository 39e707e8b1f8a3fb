#include "Corvane/UI/Cl2d.h"

#include <cmath>
#include <cstdio>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClRenderTargetGroup.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/System/KvDebug.h"

ClDictionaryPool<Cl2dCanvas> Cl2d::mp_canvasDictionary;
u32 Cl2d::mp_uiFullCanvasHash = 0;
Cl2dCanvas* Cl2d::mp_pFullCanvas = nullptr;
u32 Cl2d::mp_uiLastCanvasHash = 0;
Cl2dCanvas* Cl2d::mp_pLastCanvas = nullptr;
u32 Cl2d::mp_bInitialized = 0;

namespace {

constexpr i32 gc_iASSET_HEIGHTS_CAPACITY = 8;

void setResolution(Cl2dCanvas* pCanvas, f32 fResolutionHeight, f32 fDesignHeight) {
  pCanvas->mp_fResolutionHeight = fResolutionHeight;
  pCanvas->mp_fScale = fResolutionHeight / fDesignHeight;
  std::snprintf(pCanvas->mp_acResolutionSuffixToUse, sizeof(pCanvas->mp_acResolutionSuffixToUse), "_%.0f",
                static_cast<f64>(fResolutionHeight));
  KV_ASSERT_MSG(KvStrLen(pCanvas->mp_acResolutionSuffixToUse) < MAX_2D_CANVAS_SUFFIX_LEN - 1,
                "KvStrLen(rCanvas.mp_acResolutionSuffixToUse) < MAX_2D_CANVAS_SUFFIX_LEN - 1");
}

void resetAssetHeights(Cl2dCanvas* pCanvas) {
  if (pCanvas->mp_potentialAssetHeights.isInitialized()) {
    pCanvas->mp_potentialAssetHeights.terminate();
  }
  pCanvas->mp_potentialAssetHeights.initialize(gc_iASSET_HEIGHTS_CAPACITY);
}

// One axis of computePosition: the position on a span of the given length from the screen bits, then moved by the
// anchor bits. aBits holds the axis's low, centre and high bits.
f32 placeOnAxis(f32 fSpan, f32 fOffset, f32 fSize, u32 uiScreenFlags, u32 uiAnchorFlags, const u32 (&aBits)[3],
                const char* pScreenMissing, const char* pTextureMissing) {
  const u32 uiLow = aBits[0];
  const u32 uiCentre = aBits[1];
  const u32 uiHigh = aBits[2];
  for (u32 uiFlags : {uiScreenFlags, uiAnchorFlags}) {
    const u32 uiAxis = uiFlags & (uiLow | uiCentre | uiHigh);
    KV_ASSERT_MSG(uiAxis == 0 || uiAxis == uiLow || uiAxis == uiCentre || uiAxis == uiHigh,
                  "Too many flags for positionning!");
  }
  f32 fPosition = 0.0f;
  if (uiScreenFlags & uiLow) {
    fPosition = fOffset;
  } else if (uiScreenFlags & uiHigh) {
    fPosition = fSpan - fOffset;
  } else if (uiScreenFlags & uiCentre) {
    fPosition = fSpan * 0.5f + fOffset;
  } else {
    KV_FATAL(pScreenMissing);
  }
  if (uiAnchorFlags & uiLow) {
  } else if (uiAnchorFlags & uiHigh) {
    fPosition -= fSize;
  } else if (uiAnchorFlags & uiCentre) {
    fPosition -= fSize * 0.5f;
  } else {
    KV_FATAL(pTextureMissing);
  }
  return fPosition;
}

}  // namespace

void Cl2dCanvas::addAssetHeight(i32 iHeight) {
  SCanvasAssetHeight assetHeight{iHeight, {}};
  std::snprintf(assetHeight.mp_szSuffix, sizeof(assetHeight.mp_szSuffix), "_%d", iHeight);
  mp_potentialAssetHeights.append(assetHeight);
}

void Cl2d::initialise() {
  terminate();
  mp_pLastCanvas = nullptr;
  mp_canvasDictionary.initialize(gc_iMAX_2D_CANVASES);
  mp_uiFullCanvasHash = KvStrHash("FULL");
  Cl2dCanvas* pFull = mp_canvasDictionary.getOrCreate("FULL");
  resetAssetHeights(pFull);
  pFull->mp_fLeft = 0.0f;
  pFull->mp_fTop = 0.0f;
  pFull->mp_fRight = ClGraphics::mp_fScreenWidth;
  pFull->mp_fBottom = ClGraphics::mp_fScreenHeight;
  setResolution(pFull, ClGraphics::mp_fScreenHeight, gc_f2D_DESIGN_HEIGHT);
  mp_pFullCanvas = pFull;
  mp_spriteQueue.mp_uCount = 0;
  mp_spriteQueue.mp_bSorted = 0;
  refreshView();
  mp_spriteQueue.mp_bActive = 1;
  mp_parentWindowStack.initialize();
  mp_bInitialized = 1;
}

void Cl2d::terminate() {
  if (!mp_bInitialized) {
    return;
  }
  mp_spriteQueue.mp_bActive = 0;
  mp_pFullCanvas = nullptr;
  mp_pLastCanvas = nullptr;
  clearParentWindows();
  mp_canvasDictionary.forEach([](Cl2dCanvas* pCanvas) {
    if (pCanvas->mp_potentialAssetHeights.isInitialized()) {
      pCanvas->mp_potentialAssetHeights.terminate();
    }
  });
  mp_canvasDictionary.terminate();
  mp_bInitialized = 0;
}

Cl2dCanvas* Cl2d::createCanvas(const char* pName, u32 uiScreenFlags, f32 fDesignHeight, f32 fResolutionHeight, f32 fX,
                               f32 fY, f32 fWidth, f32 fHeight, u32 uiAnchorFlags) {
  Cl2dCanvas* pCanvas = mp_canvasDictionary.getOrCreate(pName);
  resetAssetHeights(pCanvas);
  const kv_vector2 vPosition = computePositionOnFullCanvas(fX, fY, fWidth, fHeight, uiScreenFlags, uiAnchorFlags);
  pCanvas->mp_fLeft = vPosition.x;
  pCanvas->mp_fTop = vPosition.y;
  pCanvas->mp_fRight = vPosition.x + roundToPixel(fWidth);
  pCanvas->mp_fBottom = vPosition.y + roundToPixel(fHeight);
  setResolution(pCanvas, fResolutionHeight, fDesignHeight);
  return pCanvas;
}

Cl2dCanvas* Cl2d::getFullCanvas() { return getCanvasByHash(KvStrHash("FULL")); }

kv_vector2 Cl2d::computePosition(const SParentWindow& rect, f32 fX, f32 fY, f32 fWidth, f32 fHeight, u32 uiScreenFlags,
                                 u32 uiAnchorFlags) {
  static constexpr u32 s_aXBits[3] = {gc_ui2D_ALIGN_LEFT, gc_ui2D_ALIGN_CENTRE_X, gc_ui2D_ALIGN_RIGHT};
  static constexpr u32 s_aYBits[3] = {gc_ui2D_ALIGN_TOP, gc_ui2D_ALIGN_CENTRE_Y, gc_ui2D_ALIGN_BOTTOM};
  const f32 fPositionX = placeOnAxis(rect.mp_fRight - rect.mp_fLeft, fX, fWidth, uiScreenFlags, uiAnchorFlags,
                                     s_aXBits, "X SCREEN alignment not specified!", "X TEXTURE alignment not specified!");
  const f32 fPositionY = placeOnAxis(rect.mp_fBottom - rect.mp_fTop, fY, fHeight, uiScreenFlags, uiAnchorFlags,
                                     s_aYBits, "Y SCREEN alignment not specified!", "Y TEXTURE alignment not specified!");
  return {roundToPixel(fPositionX) + rect.mp_fLeft, roundToPixel(fPositionY) + rect.mp_fTop};
}

kv_vector2 Cl2d::computePositionOnFullCanvas(f32 fX, f32 fY, f32 fWidth, f32 fHeight, u32 uiScreenFlags,
                                             u32 uiAnchorFlags) {
  if (!mp_canvasDictionary.isInitialized()) {
    KV_FATAL("Dictionary not init!");
  }
  KV_ASSERT_MSG(mp_canvasDictionary.has("FULL"), "mp_canvasDictionary.keyExists(cpcCanvasName)");
  return computePositionOnCanvas(KvStrHash("FULL"), fX, fY, fWidth, fHeight, uiScreenFlags, uiAnchorFlags);
}

kv_vector2 Cl2d::computePositionOnCanvas(u32 uiCanvasHash, f32 fX, f32 fY, f32 fWidth, f32 fHeight,
                                         u32 uiScreenFlags, u32 uiAnchorFlags) {
  return computePositionOnCanvas(getCanvasByHash(uiCanvasHash), fX, fY, fWidth, fHeight, uiScreenFlags,
                                 uiAnchorFlags);
}

kv_vector2 Cl2d::computePositionOnCanvas(const Cl2dCanvas* pCanvas, f32 fX, f32 fY, f32 fWidth, f32 fHeight,
                                         u32 uiScreenFlags, u32 uiAnchorFlags) {
  const SParentWindow rect = mp_parentWindowStack.getCount() > 0 ? *getParentWindow() : pCanvas->rect();
  return computePosition(rect, fX, fY, fWidth, fHeight, uiScreenFlags, uiAnchorFlags);
}

void Cl2d::pushProjection() {
  f32 fWidth = ClGraphics::mp_fScreenWidth;
  f32 fHeight = ClGraphics::mp_fScreenHeight;
  if (ClRenderTargetGroup* pBound = ClGraphics::mp_pBoundRenderTargetGroup) {
    if (const ClTexture* pColor = pBound->getColorTexture()) {
      fWidth = pColor->getWidth();
      fHeight = pColor->getHeight();
    }
  }
  ClGraphics::pushOrtho2D(fWidth, fHeight);
}

void Cl2d::popProjection() {
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
}

void Cl2d::pushParentWindow(const SParentWindow& window) { *mp_parentWindowStack.alloc() = window; }

SParentWindow* Cl2d::getParentWindow() {
  const i32 m_iAllocCount = mp_parentWindowStack.getCount();
  KV_ASSERT(m_iAllocCount > 0);
  return mp_parentWindowStack.get(m_iAllocCount - 1);
}

void Cl2d::popParentWindow(SParentWindow* pWindow) { mp_parentWindowStack.free(pWindow); }

void Cl2d::clearParentWindows() {
  while (mp_parentWindowStack.getCount() > 0) {
    mp_parentWindowStack.free(mp_parentWindowStack.get(mp_parentWindowStack.getCount() - 1));
  }
}
