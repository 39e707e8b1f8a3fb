// The UI manager's textures and sprite drawing (declared in ClUI.h).
#include "Corvane/UI/ClUI.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"

namespace {

constexpr const char* gc_pUI_IMAGE_FOLDER = "Images/UI/";
constexpr i32 gc_iDEFERRED_NAME_SLOTS = 32;
const kv_vector2 gc_vUV_TOP_LEFT{0.0f, 0.0f};
const kv_vector2 gc_vUV_BOTTOM_RIGHT{1.0f, 1.0f};

ClDynamicHashTable& deferredNames(bool bLocalized) { return ClUI::mp_aDeferredTextureNames[bLocalized ? 1 : 0]; }

// A box of w x h pixels placed on the canvas (or the current parent window) at the offset in canvas units.
struct SPlacedBox {
  kv_vector2 vTopLeft;
  f32 fWidth;
  f32 fHeight;
};

SPlacedBox placeBox(const Cl2dCanvas* pCanvas, f32 fX, f32 fY, f32 fWidth, f32 fHeight,
                    u32 uiScreenFlags, u32 uiAnchorFlags, f32* pOutRect) {
  const f32 fBoxWidth = Cl2d::roundToPixel(fWidth);
  const f32 fBoxHeight = Cl2d::roundToPixel(fHeight);
  const kv_vector2 vTopLeft = Cl2d::computePositionOnCanvas(pCanvas, fX * pCanvas->mp_fScale,
                                                            fY * pCanvas->mp_fScale, fBoxWidth, fBoxHeight,
                                                            uiScreenFlags, uiAnchorFlags);
  if (pOutRect != nullptr) {
    pOutRect[0] = vTopLeft.x;
    pOutRect[1] = vTopLeft.x + fBoxWidth;
    pOutRect[2] = vTopLeft.y;
    pOutRect[3] = vTopLeft.y + fBoxHeight;
  }
  return {vTopLeft, fBoxWidth, fBoxHeight};
}

// The record's best-fit version for the canvas's resolution height.
SUITexture* bestFitFor(const char* pName, const Cl2dCanvas* pCanvas) {
  return ClUI::getBestFitUITexture(KvStrHash(pName), pCanvas->mp_fResolutionHeight);
}

// The box of a UI texture at its best-fit size x fScale; its best texture in *ppTexture.
SPlacedBox placeUITexture(SUITexture* pRecord, u32 uiCanvasHash, f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags,
                          f32 fScale, f32* pOutRect, ClTexture** ppTexture) {
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const SUITexture* pUITex = ClUI::getBestFitUITexture(pRecord, pCanvas->mp_fResolutionHeight);
  ClTexture* pTexture = pUITex->mp_pBestTexture;
  const f32 fFactor = pUITex->mp_fBestScale * fScale;
  *ppTexture = pTexture;
  return placeBox(pCanvas, fX, fY, pTexture->getWidth() * fFactor, pTexture->getHeight() * fFactor,
                  uiScreenFlags, uiAnchorFlags, pOutRect);
}

const SAtlasEntry* findAtlasEntry(u32 uiAtlasHash, u32 uiEntryHash) {
  KV_ASSERT_MSG(uiAtlasHash != 0, "hAtlasName");
  KV_ASSERT_MSG(uiEntryHash != 0, "hTextureName");
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntryByHash(uiAtlasHash, uiEntryHash);
  KV_ASSERT_MSG(pEntry != nullptr, "Atlas entry not found for UI widget!");
  return pEntry;
}

kv_vector2 atlasUV0(const SAtlasEntry* pEntry) {
  return {pEntry->mp_pAtlasTexInfo->mp_fU0, pEntry->mp_pAtlasTexInfo->mp_fV0};
}
kv_vector2 atlasUV1(const SAtlasEntry* pEntry) {
  return {pEntry->mp_pAtlasTexInfo->mp_fU1, pEntry->mp_pAtlasTexInfo->mp_fV1};
}

}  // namespace

// --- Loading ---

void ClUI::loadUITexture(const char* pName, bool bLocalized) {
  KV_ASSERTF(std::strchr(pName, '_') == nullptr, "UI TEXTURE LOADED HAS A '_' IN NAME: [%s]", pName);
  const u32 uiHash = KvStrHash(pName);
  SUITexture* pUITex = mp_UITextureTable.findPtr<SUITexture>(uiHash);
  if (pUITex == nullptr) {
    void* pMemory = KvAlignedAlloc(sizeof(SUITexture), alignof(SUITexture));
    KV_ASSERT_MSG(pMemory != nullptr, "pUITex");
    std::memset(pMemory, 0, sizeof(SUITexture));
    pUITex = static_cast<SUITexture*>(pMemory);
    KvSNPrintf(pUITex->mp_szName, sizeof(pUITex->mp_szName), "%s", pName);
    pUITex->mp_bLocalized = bLocalized;
    mp_UITextureTable.insertPtr(uiHash, pUITex);
  }
  const ClDynamicVector<SCanvasAssetHeight>& heights = Cl2d::getFullCanvas()->mp_potentialAssetHeights;
  KV_ASSERT_MSG(heights.isInitialized() && heights.getCount() > 0,
                "Canvases MUST define potential asset heights, so the game can look for a 'best fit'");
  for (i32 i = 0; i < heights.getCount(); ++i) {
    char acFile[KV_MAX_PATH_LEN];
    std::snprintf(acFile, sizeof(acFile), "%s%s", pName, heights[i].mp_szSuffix);
    // A height the data lacks is skipped (the name may be an atlas image's); one that is there and refused (its
    // loader said why) ends the game.
    KvForgetLastProblem();
    ClTexture* pTexture = loadUITextureVersion(acFile, bLocalized);
    if (pTexture == nullptr && KvGetLastProblem()[0] != '\0') {
      KV_DATA_FATALF("UI image [%s%s] was refused: %s", gc_pUI_IMAGE_FOLDER, acFile, KvGetLastProblem());
    }
    if (pTexture == nullptr) {
      continue;
    }
    const i32 iNewIdx = pUITex->mp_iNumVersions;
    KV_ASSERT_MSG(iNewIdx < KV_MAX_VERSIONS_PER_UI_TEXTURE, "iNewIdx<KV_MAX_VERSIONS_PER_UI_TEXTURE");
    pUITex->mp_versions[iNewIdx] = {pTexture, static_cast<f32>(heights[i].mp_iHeight)};
    pUITex->mp_iNumVersions = iNewIdx + 1;
  }
}

ClTexture* ClUI::loadUITextureVersion(const char* pFilenameWithSuffix, bool bLocalized) {
  const u32 uiFolderLen = KvStrLen(gc_pUI_IMAGE_FOLDER);
  KV_ASSERT_MSG(KvStrLen(pFilenameWithSuffix) + uiFolderLen < KV_MAX_PATH_LEN,
                "KvStrLen(pcFilenameWithSuffix) < KV_MAX_PATH_LEN");
  char acPath[KV_MAX_PATH_LEN];
  std::snprintf(acPath, sizeof(acPath), "%s%s", gc_pUI_IMAGE_FOLDER, pFilenameWithSuffix);
  if (ClTexture* pRegistered = ClTextureMgr::findTexture(acPath)) {
    return pRegistered;
  }
  // UI images are drawn close to their own size: no mip chain.
  return bLocalized ? ClTextureMgr::loadLocalizedTexture(acPath) : ClTextureMgr::loadTexture(acPath, 1);
}

bool ClUI::hasUITextureBeenLoaded(const char* pFilename) {
  const ClTexture* pTexture = mp_UITextureTable.isAllocated() ? ClTextureMgr::findTexture(pFilename) : nullptr;
  if (pTexture == nullptr) {
    return false;
  }
  bool bHeld = false;
  mp_UITextureTable.forEachValue([&](uintptr_t uiValue, i32) {
    const SUITexture* pUITex = reinterpret_cast<const SUITexture*>(uiValue);
    for (i32 i = 0; i < pUITex->mp_iNumVersions; ++i) {
      bHeld = bHeld || pUITex->mp_versions[i].mp_pTex == pTexture;
    }
  });
  return bHeld;
}

void ClUI::queueDeferredUITexture(const char* pName, bool bLocalized) {
  ClDynamicHashTable& table = deferredNames(bLocalized);
  const u32 uiHash = KvStrHash(pName);
  if (table.find(uiHash) != 0) {
    return;
  }
  const u32 uiSize = KvStrLen(pName) + 1;
  char* pNewString = static_cast<char*>(KvAlignedAlloc(uiSize, 16));
  KV_ASSERT(pNewString);
  std::memcpy(pNewString, pName, uiSize);
  table.insertPtr(uiHash, pNewString);
}

void ClUI::loadDeferredUITextures() {
  for (bool bLocalized : {false, true}) {
    ClDynamicHashTable& table = deferredNames(bLocalized);
    if (!table.isAllocated()) {
      continue;
    }
    table.forEachValue([bLocalized](uintptr_t uiValue, i32) {
      char* pName = reinterpret_cast<char*>(uiValue);
      loadUITexture(pName, bLocalized);
      KvAlignedFree(pName);
    });
    table.terminate();
    table.initialize(gc_iDEFERRED_NAME_SLOTS);
  }
}

SUITexture* ClUI::getBestFitUITexture(u32 uiNameHash, f32 fTargetHeight) {
  return getBestFitUITexture(findUITexture(uiNameHash), fTargetHeight);
}

SUITexture* ClUI::findUITexture(u32 uiNameHash) {
  SUITexture* pUITex = mp_UITextureTable.isAllocated() ? mp_UITextureTable.findPtr<SUITexture>(uiNameHash) : nullptr;
  if (pUITex == nullptr) {
    KV_FATAL("ClUI::getBestFitUITexture() -> texture requested but not loaded!");
  }
  return pUITex;
}

SUITexture* ClUI::getBestFitUITexture(SUITexture* pUITex, f32 fTargetHeight) {
  if (pUITex == nullptr) {
    return nullptr;
  }
  if (pUITex->mp_iNumVersions == 0) {
    // A screen names an image that is neither in an atlas nor under the UI images in any height: where the first
    // height's file was looked for.
    const ClDynamicVector<SCanvasAssetHeight>& heights = Cl2d::getFullCanvas()->mp_potentialAssetHeights;
    char szFile[KV_MAX_PATH_LEN];
    KvSNPrintf(szFile, sizeof(szFile), "%s%s%s", gc_pUI_IMAGE_FOLDER, pUITex->mp_szName,
               heights.getCount() > 0 ? heights[0].mp_szSuffix : "");
    KvForgetLastProblem();
    char szWhy[gc_uiMAX_MESSAGE_LEN + 1];
    KV_DATA_FATALF("UI image [%s] (0x%08X) named by a screen is in no atlas and not under [%s] (%s)",
                   pUITex->mp_szName, KvStrHash(pUITex->mp_szName), gc_pUI_IMAGE_FOLDER,
                   ClTextureMgr::describeNotLoaded(szFile, pUITex->mp_bLocalized, szWhy, sizeof(szWhy)));
  }
  i32 iBest = 0;
  f32 fBestDistance = FLT_MAX;
  for (i32 i = 0; i < pUITex->mp_iNumVersions; ++i) {
    KV_ASSERT_MSG(pUITex->mp_versions[i].mp_pTex != nullptr, "pUITex->mp_versions[i].mp_pTex");
    const f32 fDistance = std::fabs(pUITex->mp_versions[i].mp_fHeight - fTargetHeight);
    if (fDistance < fBestDistance) {
      fBestDistance = fDistance;
      iBest = i;
    }
  }
  pUITex->mp_pBestTexture = pUITex->mp_versions[iBest].mp_pTex;
  pUITex->mp_fBestScale = fTargetHeight / pUITex->mp_versions[iBest].mp_fHeight;
  return pUITex;
}

// --- Drawing ---

void ClUI::renderUITexture(const char* pName, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash, u16 uiLayer, f32 fX,
                           f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fScale, f32* pOutRect,
                           const ClTexture* pSecondTexture) {
  renderUITextureOf(findUITexture(KvStrHash(pName)), uiShaderHash, uiColor, uiCanvasHash, uiLayer, fX, fY, uiScreenFlags,
                        uiAnchorFlags, fScale, pOutRect, pSecondTexture);
}

void ClUI::renderUITextureOf(SUITexture* pUITex, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash, u16 uiLayer, f32 fX,
                             f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fScale, f32* pOutRect,
                             const ClTexture* pSecondTexture) {
  ClTexture* pTexture = nullptr;
  const SPlacedBox box =
      placeUITexture(pUITex, uiCanvasHash, fX, fY, uiScreenFlags, uiAnchorFlags, fScale, pOutRect, &pTexture);
  // The signature manager's sets take mutable textures; the second one is only bound for sampling.
  const SRenderSignature* pSig =
      pSecondTexture != nullptr
          ? ClSignatureMgr::getSignatureByHash2(uiShaderHash, pTexture, const_cast<ClTexture*>(pSecondTexture))
          : ClSignatureMgr::getSignatureByHash(uiShaderHash, pTexture);
  Cl2d::addSprite(uiLayer, pSig, uiColor, box.vTopLeft.x, box.vTopLeft.y, box.fWidth, box.fHeight, gc_vUV_TOP_LEFT,
                  gc_vUV_BOTTOM_RIGHT);
}

void ClUI::renderUITextureKept(SUITextureSprite* pKept, SUITexture* pUITex, u32 uiShaderHash, u32 uiColor,
                               u32 uiCanvasHash, u16 uiLayer, f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags,
                               f32 fScale, f32* pOutRect, const ClTexture* pSecondTexture) {
  SUITextureSprite& kept = *pKept;
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const SParentWindow rect = Cl2d::mp_parentWindowStack.getCount() > 0 ? *Cl2d::getParentWindow() : pCanvas->rect();
  // Compared bit for bit: a value that changed in any way (or a NaN) works the sprite out again, with the calls
  // that make it in their own order.
  const bool bSame = kept.mp_pUITex == pUITex && kept.mp_iNumVersions == pUITex->mp_iNumVersions &&
                     kept.mp_pCanvas == pCanvas && kept.mp_pSecond == pSecondTexture &&
                     kept.mp_uiSignatureGeneration == ClSignatureMgr::getGeneration() &&
                     std::memcmp(&kept.mp_fCanvasScale, &pCanvas->mp_fScale, sizeof(f32)) == 0 &&
                     std::memcmp(&kept.mp_fResolutionHeight, &pCanvas->mp_fResolutionHeight, sizeof(f32)) == 0 &&
                     std::memcmp(&kept.mp_rect, &rect, sizeof(rect)) == 0 &&
                     ((kept.mp_uiShaderHash == uiShaderHash &&
                       kept.mp_uiShaderGeneration == ClShaderMgr::getGeneration()) ||
                      kept.mp_pShader == ClShaderMgr::getShaderByHash(uiShaderHash));
  if (bSame) {
    // The same shader under this hash: no lookup until the shader table changes again.
    kept.mp_uiShaderHash = uiShaderHash;
    kept.mp_uiShaderGeneration = ClShaderMgr::getGeneration();
    // What the best-fit choice leaves on the record, as it would have.
    pUITex->mp_pBestTexture = kept.mp_pTexture;
    pUITex->mp_fBestScale = kept.mp_fBestScale;
  } else {
    ClTexture* pTexture = nullptr;
    const SPlacedBox box =
        placeUITexture(pUITex, uiCanvasHash, fX, fY, uiScreenFlags, uiAnchorFlags, fScale, nullptr, &pTexture);
    kept.mp_pSignature =
        pSecondTexture != nullptr
            ? ClSignatureMgr::getSignatureByHash2(uiShaderHash, pTexture, const_cast<ClTexture*>(pSecondTexture))
            : ClSignatureMgr::getSignatureByHash(uiShaderHash, pTexture);
    kept.mp_pUITex = pUITex;
    kept.mp_iNumVersions = pUITex->mp_iNumVersions;
    kept.mp_pCanvas = pCanvas;
    kept.mp_pShader = kept.mp_pSignature->mp_pShader;
    kept.mp_uiShaderHash = uiShaderHash;
    kept.mp_uiShaderGeneration = ClShaderMgr::getGeneration();
    kept.mp_pSecond = pSecondTexture;
    kept.mp_uiSignatureGeneration = ClSignatureMgr::getGeneration();
    kept.mp_fCanvasScale = pCanvas->mp_fScale;
    kept.mp_fResolutionHeight = pCanvas->mp_fResolutionHeight;
    kept.mp_rect = rect;
    kept.mp_pTexture = pTexture;
    kept.mp_fBestScale = pUITex->mp_fBestScale;
    kept.mp_afBox[0] = box.vTopLeft.x;
    kept.mp_afBox[1] = box.vTopLeft.y;
    kept.mp_afBox[2] = box.fWidth;
    kept.mp_afBox[3] = box.fHeight;
  }
  const f32* pBox = kept.mp_afBox;
  if (pOutRect != nullptr) {
    pOutRect[0] = pBox[0];
    pOutRect[1] = pBox[0] + pBox[2];
    pOutRect[2] = pBox[1];
    pOutRect[3] = pBox[1] + pBox[3];
  }
  Cl2d::addSprite(uiLayer, kept.mp_pSignature, uiColor, pBox[0], pBox[1], pBox[2], pBox[3], gc_vUV_TOP_LEFT,
                  gc_vUV_BOTTOM_RIGHT);
}

void ClUI::renderUITextureSized(const char* pName, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash, u16 uiLayer,
                                f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fWidth, f32 fHeight,
                                f32* pOutRect) {
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const SRenderSignature* pSig =
      pName != nullptr
          ? ClSignatureMgr::getSignatureByHash(uiShaderHash, bestFitFor(pName, pCanvas)->mp_pBestTexture)
          : ClSignatureMgr::getSignatureByHashNoTex(uiShaderHash);
  const SPlacedBox box = placeBox(pCanvas, fX, fY, fWidth * pCanvas->mp_fScale,
                                  fHeight * pCanvas->mp_fScale, uiScreenFlags, uiAnchorFlags, pOutRect);
  Cl2d::addSprite(uiLayer, pSig, uiColor, box.vTopLeft.x, box.vTopLeft.y, box.fWidth, box.fHeight, gc_vUV_TOP_LEFT,
                  gc_vUV_BOTTOM_RIGHT);
}

void ClUI::renderAtlasEntry(u32 uiAtlasHash, u32 uiEntryHash, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash,
                            u16 uiLayer, f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fScale,
                            f32* pOutRect) {
  renderAtlasEntryData(findAtlasEntry(uiAtlasHash, uiEntryHash), uiShaderHash, uiColor, uiCanvasHash, uiLayer, fX, fY,
                       uiScreenFlags, uiAnchorFlags, fScale, pOutRect);
}

void ClUI::renderAtlasEntryData(const SAtlasEntry* pEntry, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash,
                                u16 uiLayer, f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fScale,
                                f32* pOutRect) {
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const SAtlasTexInfo& info = *pEntry->mp_pAtlasTexInfo;
  // The trimmed image keeps its place in the untrimmed frame at the same (unrounded) scale.
  const f32 k = pCanvas->mp_fScale * fScale;
  const SPlacedBox box = placeBox(pCanvas, fX, fY, info.mp_fFrameWidth * k, info.mp_fFrameHeight * k,
                                  uiScreenFlags, uiAnchorFlags, pOutRect);
  const SRenderSignature* pSig = ClSignatureMgr::getSignatureByHash(uiShaderHash, pEntry->mp_pTexture);
  Cl2d::addSprite(uiLayer, pSig, uiColor, box.vTopLeft.x + info.mp_fAnchorX * k, box.vTopLeft.y + info.mp_fAnchorY * k,
                  info.mp_fWidth * k, info.mp_fHeight * k, atlasUV0(pEntry), atlasUV1(pEntry));
}

void ClUI::renderAtlasEntrySized(u32 uiAtlasHash, u32 uiEntryHash, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash,
                                 u16 uiLayer, f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fWidth,
                                 f32 fHeight, f32* pOutRect) {
  const SAtlasEntry* pEntry = findAtlasEntry(uiAtlasHash, uiEntryHash);
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const SPlacedBox box = placeBox(pCanvas, fX, fY, fWidth * pCanvas->mp_fScale,
                                  fHeight * pCanvas->mp_fScale, uiScreenFlags, uiAnchorFlags, pOutRect);
  const SRenderSignature* pSig = ClSignatureMgr::getSignatureByHash(uiShaderHash, pEntry->mp_pTexture);
  Cl2d::addSprite(uiLayer, pSig, uiColor, box.vTopLeft.x, box.vTopLeft.y, box.fWidth, box.fHeight, atlasUV0(pEntry),
                  atlasUV1(pEntry));
}

void ClUI::renderShaderQuad(u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash, f32 fX, f32 fY, f32 fWidth,
                            f32 fHeight) {
  const SRenderSignature* pSig = ClSignatureMgr::getSignatureByHashNoTex(uiShaderHash);
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const SPlacedBox box = placeBox(pCanvas, fX, fY, fWidth * pCanvas->mp_fScale,
                                  fHeight * pCanvas->mp_fScale, gc_ui2D_ALIGN_TOP_LEFT, gc_ui2D_ALIGN_TOP_LEFT, nullptr);
  Cl2d::addSprite(gc_uUI_SHADER_QUAD_LAYER, pSig, uiColor, box.vTopLeft.x, box.vTopLeft.y, box.fWidth, box.fHeight,
                  gc_vUV_TOP_LEFT, gc_vUV_BOTTOM_RIGHT);
}

void ClUI::getUITextureRect(f32* pOutRect, const char* pName, u32 uiCanvasHash, u32 uiScreenFlags,
                            u32 uiAnchorFlags, f32 fX, f32 fY, f32 fScale) {
  ClTexture* pTexture = nullptr;
  placeUITexture(findUITexture(KvStrHash(pName)), uiCanvasHash, fX, fY, uiScreenFlags, uiAnchorFlags, fScale, pOutRect,
                 &pTexture);
}
