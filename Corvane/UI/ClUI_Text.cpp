// The UI manager's text elements (declared in ClUI.h): the font of a family for a canvas, best-fit shrinking, and
// the layout handed to ClFont for drawing or measuring.
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/KvTextLayoutCache.h"

namespace {

const Cl2dCanvas* elementCanvas(const STextElement& crElement) {
  KV_ASSERT_MSG(Cl2d::mp_canvasDictionary.hasHash(crElement.mp_uiCanvasHash),
                "Invalid canvas specified for text element!");
  return Cl2d::getCanvasByHash(crElement.mp_uiCanvasHash);
}

// The text laid out with the element's font at the point size, wrapped at fWidth pixels (0: no wrapping). With
// fHeight above 0 the size goes down one of the family's sizes at a time while the text is higher than fHeight
// (or, with bLimitWidth, wider than a non-zero fWidth: 0 does not wrap, so it sets no limit either), until the
// family has no smaller size. The caller frees the package.
STextPackage* layoutElement(const STextElement& crElement, const Cl2dCanvas* pCanvas, const wchar16* puiText,
                            u32 uiPointSize, f32 fWidth, f32 fHeight, bool bLimitWidth) {
  const i32 iCanvasHeight = static_cast<i32>(pCanvas->mp_fResolutionHeight);
  u32 uiSize = uiPointSize;
  ClFontEntry* pFont = ClFontFamilyMgr::getFont(crElement.mp_uiFontFamilyHash, uiPointSize, iCanvasHeight, &uiSize);
  KV_ASSERTF(pFont != nullptr, "Could not get a font (handle 0x%x): %d points, %d height\n",
             crElement.mp_uiFontFamilyHash, static_cast<i32>(uiPointSize), iCanvasHeight);
  if (pFont == nullptr) return nullptr;
  STextPackage* pPackage = ClFont::layoutText(pFont, puiText, fWidth);
  if (fHeight <= 0.0f) return pPackage;
  while (pPackage->mp_fHeight > fHeight || (bLimitWidth && fWidth > 0.0f && pPackage->mp_fWidth > fWidth)) {
    if (uiSize <= 1) break;
    u32 uiSmaller = uiSize;
    ClFontEntry* pSmaller =
        ClFontFamilyMgr::getFont(crElement.mp_uiFontFamilyHash, uiSize - 1, iCanvasHeight, &uiSmaller);
    if (pSmaller == nullptr || uiSmaller >= uiSize) break;
    ClFont::freePackage(pPackage);
    uiSize = uiSmaller;
    pPackage = ClFont::layoutText(pSmaller, puiText, fWidth);
  }
  return pPackage;
}

}  // namespace

namespace {

// True when the cache holds the layout of the text with these inputs.
bool keptLayoutMatches(const STextLayoutCache& crCache, const STextElement& crElement, const Cl2dCanvas* pCanvas,
                       const wchar16* puiText, u32 uiPointSize, f32 fWidth, f32 fHeight) {
  if (crCache.mp_bValid == 0 || crCache.mp_uiFontFamilyHash != crElement.mp_uiFontFamilyHash ||
      crCache.mp_uiPointSize != uiPointSize || crCache.mp_fCanvasHeight != pCanvas->mp_fResolutionHeight ||
      crCache.mp_fWidth != fWidth || crCache.mp_fHeight != fHeight ||
      crCache.mp_uiFontGeneration != ClFontFamilyMgr::getGeneration()) {
    return false;
  }
  const wchar16* puiKept = crCache.mp_puiText;
  i32 i = 0;
  while (i < crCache.mp_iTextLength && puiText[i] == puiKept[i]) ++i;
  return i == crCache.mp_iTextLength && puiText[i] == 0;
}

// Lays the text out into the cache; false (the cache left empty) when there is nothing the cache can keep.
bool keepElementLayout(STextLayoutCache* pCache, const STextElement& crElement, const Cl2dCanvas* pCanvas,
                       const wchar16* puiText, u32 uiPointSize, f32 fWidth, f32 fHeight) {
  pCache->mp_bValid = 0;
  STextPackage* pPackage = layoutElement(crElement, pCanvas, puiText, uiPointSize, fWidth, fHeight, true);
  if (pPackage == nullptr) return false;
  const bool bKept = ClFont::keepLayout(*pPackage, pCache);
  ClFont::freePackage(pPackage);
  if (!bKept) return false;
  i32 iLength = 0;
  while (puiText[iLength] != 0) ++iLength;
  KvReserveTextLayoutCache(pCache, iLength, 0, 0);
  std::memcpy(pCache->mp_puiText, puiText, sizeof(wchar16) * static_cast<size_t>(iLength + 1));
  pCache->mp_iTextLength = iLength;
  pCache->mp_uiFontFamilyHash = crElement.mp_uiFontFamilyHash;
  pCache->mp_uiPointSize = uiPointSize;
  pCache->mp_fCanvasHeight = pCanvas->mp_fResolutionHeight;
  pCache->mp_fWidth = fWidth;
  pCache->mp_fHeight = fHeight;
  pCache->mp_uiFontGeneration = ClFontFamilyMgr::getGeneration();
  pCache->mp_bValid = 1;
  return true;
}

}  // namespace

void ClUI::renderTextElement(const STextElement& crElement, const wchar16* puiText, u32 uiPointSize,
                             const STextDrawArgs& crArgs, bool bBestFit, f32 fMaxWidth, f32 fMaxHeight,
                             const f32 afPosition[2], f32* pOutRect, STextLayoutCache** ppCache) {
  const Cl2dCanvas* pCanvas = elementCanvas(crElement);
  const f32 fWidth = pCanvas->mp_fScale * fMaxWidth;
  const f32 fHeight = bBestFit ? pCanvas->mp_fScale * fMaxHeight : 0.0f;
  if (ppCache != nullptr) {
    if (*ppCache == nullptr) *ppCache = KvNewTextLayoutCache();
    STextLayoutCache* pCache = *ppCache;
    if (keptLayoutMatches(*pCache, crElement, pCanvas, puiText, uiPointSize, fWidth, fHeight) ||
        keepElementLayout(pCache, crElement, pCanvas, puiText, uiPointSize, fWidth, fHeight)) {
      ClFont::drawKeptLayout(pCache, crArgs.mp_uiShaderHash, crArgs.mp_uiSecondaryTextureHash,
                             crElement.mp_uiCanvasHash, crArgs.mp_uLayer, crArgs.mp_uiScreenFlags, afPosition[0],
                             afPosition[1], crArgs.mp_uiAnchorFlags, crArgs.mp_uiAlignment, &crArgs.mp_uiColor,
                             pOutRect, crArgs.mp_afShadowOffset, crArgs.mp_uiShadowColor);
      return;
    }
  }
  STextPackage* pPackage = layoutElement(crElement, pCanvas, puiText, uiPointSize, fWidth, fHeight, true);
  if (pPackage == nullptr) return;
  ClFont::drawText(*pPackage, crArgs.mp_uiShaderHash, crArgs.mp_uiSecondaryTextureHash, crElement.mp_uiCanvasHash,
                   crArgs.mp_uLayer, crArgs.mp_uiScreenFlags, afPosition[0], afPosition[1], crArgs.mp_uiAnchorFlags,
                   crArgs.mp_uiAlignment, &crArgs.mp_uiColor, pOutRect, crArgs.mp_afShadowOffset,
                   crArgs.mp_uiShadowColor);
  ClFont::freePackage(pPackage);
}

void ClUI::getTextElementRect(f32* pOutRect, const STextElement& crElement, const wchar16* puiText, u32 uiPointSize,
                              f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fMaxWidth, f32 fMaxHeight) {
  const Cl2dCanvas* pCanvas = elementCanvas(crElement);
  const f32 fScale = pCanvas->mp_fScale;
  STextPackage* pPackage =
      layoutElement(crElement, pCanvas, puiText, uiPointSize, fScale * fMaxWidth, fScale * fMaxHeight, false);
  if (pPackage == nullptr) return;
  const kv_vector2 vTopLeft = Cl2d::computePositionOnCanvas(crElement.mp_uiCanvasHash, fX * fScale, fY * fScale,
                                                            pPackage->mp_fWidth, pPackage->mp_fHeight,
                                                            uiScreenFlags, uiAnchorFlags);
  pOutRect[0] = vTopLeft.x;
  pOutRect[1] = vTopLeft.x + pPackage->mp_fWidth;
  pOutRect[2] = vTopLeft.y;
  pOutRect[3] = vTopLeft.y + pPackage->mp_fHeight;
  ClFont::freePackage(pPackage);
}

void ClUI::renderAsciiText(const char* pText, const char* pName, const char* pFamily, u32 uiPointSize,
                           const STextDrawArgs& crArgs, f32 fMaxWidth, f32 fMaxHeight, const f32 afPosition[2]) {
  const size_t uLength = std::strlen(pText);
  if (uLength == 0) return;
  auto* puiString = static_cast<wchar16*>(KvAlignedAlloc(2 * (uLength + 1), 16));
  KV_ASSERT_MSG(puiString != nullptr, "puiString");
  for (size_t i = 0; i <= uLength; ++i) puiString[i] = static_cast<u8>(pText[i]);
  const STextElement element{KvStrHash("FULL"), KvStrHash(pName), KvStrHash(pFamily)};
  renderTextElement(element, puiString, uiPointSize, crArgs, false, fMaxWidth, fMaxHeight, afPosition);
  KvAlignedFree(puiString);
}
