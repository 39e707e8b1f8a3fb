#include "Code/Objects/Backgrounds.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "Code/Objects/GAMEWorldDraw.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

ClDynamicVector<SBackgroundLayer*> g_backgroundLayers;
i32 g_bBackgroundsLoaded = 0;

namespace {

ClDScriptData2* s_pScript = nullptr;

struct SImageAnimation {
  const ClDScriptData2* mp_pEntry;
  ClTexAnimObj* mp_pAnim;
};
ClDynamicVector<SImageAnimation> s_imageAnims;

bool isText(const ClDScriptData2* p) {
  return (p->getType() == E_DSVT_STRING || p->getType() == E_DSVT_HASH_ID) && p->getString() != nullptr;
}

bool startsWith(const char* pText, const char* pPrefix) { return std::strncmp(pText, pPrefix, std::strlen(pPrefix)) == 0; }

// The spacer's width: the decimal number from its eighth character, 0 when none.
i32 bufferWidth(const char* pName) {
  if (std::strlen(pName) < 7) {
    return 0;
  }
  return static_cast<i32>(std::strtol(pName + 7, nullptr, 10));
}

void freeLayer(SBackgroundLayer* pLayer) {
  for (i32 i = 0; i < pLayer->m_items.getCount(); ++i) {
    KvAlignedFree(pLayer->m_items[i].mp_pName);
  }
  pLayer->m_items.terminate();
  pLayer->~SBackgroundLayer();
  KvAlignedFree(pLayer);
}

void emptyLayers() {
  for (i32 i = 0; i < g_backgroundLayers.getCount(); ++i) {
    freeLayer(g_backgroundLayers[i]);
  }
  g_backgroundLayers.clear();
}

// The image's base name for "ImageAnims": without "_216", every "-" as "_".
std::string animationBaseName(const char* pStoredName) {
  std::string base(pStoredName, std::strlen(pStoredName) - 4);
  for (char& c : base) {
    if (c == '-') c = '_';
  }
  return base;
}

struct SPatternLoader {
  std::string m_error;
  const ClDScriptData2* mp_pImageAnims = nullptr;

  bool fail(const std::string& entry, const std::string& what) {
    m_error = "Backgrounds [" + entry + "]: " + what;
    return false;
  }

  bool checkImageAnims() {
    mp_pImageAnims = s_pScript->findChild("ImageAnims");
    if (mp_pImageAnims == nullptr || mp_pImageAnims->getType() != E_DSVT_ARRAY) {
      return fail("ImageAnims", "missing, or not an array");
    }
    for (i32 i = 0; i < mp_pImageAnims->getCount(); ++i) {
      const ClDScriptData2* pImage = mp_pImageAnims->getChildAt(i);
      const std::string entry = std::string("ImageAnims/") + pImage->getDisplayName();
      if (!pImage->hasName() || pImage->getType() != E_DSVT_ARRAY) {
        return fail(entry, "each image's animations must be a named array");
      }
      for (i32 j = 0; j < pImage->getCount(); ++j) {
        const ClDScriptData2* pAnim = pImage->getChildAt(j);
        const std::string animEntry = entry + "/" + std::to_string(j);
        if (pAnim->getType() != E_DSVT_ARRAY) return fail(animEntry, "an animation entry must be an array");
        for (const char* pKey : {"OffsetX", "OffsetY"}) {
          const ClDScriptData2* p = pAnim->findChild(pKey);
          if (p == nullptr || p->getType() != E_DSVT_FLOAT) return fail(animEntry, std::string(pKey) + " must be a FLOAT");
        }
        const ClDScriptData2* pBook = pAnim->findChild("Flipbook");
        if (pBook == nullptr || !isText(pBook)) return fail(animEntry, "Flipbook must be a STRING or HASH_ID");
        if (ClFlipBookMgr::findByHash(KvStrHash(pBook->getString())) == nullptr) {
          return fail(animEntry, std::string("the flip book \"") + pBook->getString() + "\" is not loaded");
        }
      }
    }
    return true;
  }

  bool addItem(SBackgroundLayer* pLayer, const ClDScriptData2* pChild, const std::string& entry) {
    SBackgroundItem item;
    if (!pChild->hasName()) {
      if (!isText(pChild)) return fail(entry, "an image must be a STRING or HASH_ID");
      item.mp_pName = Backgrounds::makeImageName(pChild->getString());
      const char* pName = item.mp_pName;
      if (startsWith(pName, "Space")) {
        // The stored text read as a gap item: its sixth and seventh characters are the gap's bytes.
        item.m_eKind = E_BACKGROUND_ITEM_GAP;
        item.m_iWidth = static_cast<u8>(pName[5]) * 256 + static_cast<u8>(pName[6]);
      } else if (startsWith(pName, "buffer")) {
        item.m_eKind = E_BACKGROUND_ITEM_BUFFER;
        item.m_iWidth = bufferWidth(pName);
      } else {
        item.mp_pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pName));
        if (item.mp_pEntry == nullptr) {
          fail(entry, std::string("the image \"") + pName + "\" is not in TexturesGameAtlas");
          KvAlignedFree(item.mp_pName);
          return false;
        }
        item.m_iWidth = static_cast<i32>(item.mp_pEntry->mp_pAtlasTexInfo->mp_fWidth);
        item.mp_pAnims = mp_pImageAnims->findChild(animationBaseName(pName).c_str());
      }
    } else if (pChild->getNameHash() == KvStrHash("Space") && std::strcmp(pChild->getName(), "Space") == 0) {
      if (pChild->getType() != E_DSVT_INT) return fail(entry, "Space must be an INT");
      item.mp_pName = Backgrounds::makeImageName("Space");
      item.m_eKind = E_BACKGROUND_ITEM_GAP;
      item.m_iWidth = static_cast<i32>(static_cast<u32>(pChild->getInt()) & 0xFFFFu);
    } else {
      return true;  // other named children are no items
    }
    pLayer->m_items.append(item);
    return true;
  }

  // A layer record, or null: with an error when refused, without when skipped.
  SBackgroundLayer* loadLayer(const ClDScriptData2* pEntry, const std::string& entry) {
    if (pEntry->getType() != E_DSVT_ARRAY) {
      fail(entry, "a layer must be an array");
      return nullptr;
    }
    const ClDScriptData2* pBottom = pEntry->findChild("Bottom_Y");
    const ClDScriptData2* pSpeed = pEntry->findChild("ScrollingSpeed");
    const ClDScriptData2* pFore = pEntry->findChild("Foreground");
    const ClDScriptData2* pImages = pEntry->findChild("Images");
    if (pBottom == nullptr || pBottom->getType() != E_DSVT_FLOAT) return failNull(entry, "Bottom_Y must be a FLOAT");
    if (pSpeed == nullptr || pSpeed->getType() != E_DSVT_FLOAT) return failNull(entry, "ScrollingSpeed must be a FLOAT");
    if (pFore != nullptr && pFore->getType() != E_DSVT_INT) return failNull(entry, "Foreground must be an INT");
    if (pImages == nullptr || pImages->getType() != E_DSVT_ARRAY) return failNull(entry, "Images must be an array");
    SBackgroundLayer* pLayer = new (KvAlignedAlloc(sizeof(SBackgroundLayer), 16)) SBackgroundLayer();
    pLayer->Bottom_Y = pBottom->getFloatExact();
    pLayer->ScrollingSpeed = pSpeed->getFloatExact();
    pLayer->Foreground = pFore != nullptr ? pFore->getInt() : 0;
    pLayer->m_items.initialize(8);
    i64 iTotal = 0;
    for (i32 i = 0; i < pImages->getCount(); ++i) {
      if (!addItem(pLayer, pImages->getChildAt(i), entry + "/Images/" + std::to_string(i))) {
        freeLayer(pLayer);
        return nullptr;
      }
    }
    for (i32 i = 0; i < pLayer->m_items.getCount(); ++i) {
      iTotal += pLayer->m_items[i].m_iWidth;
    }
    if (iTotal <= 0) {
      std::fprintf(stderr, "Backgrounds [%s]: the layer has no width to repeat; skipped\n", entry.c_str());
      freeLayer(pLayer);
      return nullptr;
    }
    pLayer->m_fPeriod = static_cast<f32>(iTotal);
    return pLayer;
  }

  SBackgroundLayer* failNull(const std::string& entry, const std::string& what) {
    fail(entry, what);
    return nullptr;
  }
};

// Makes (on the first walk) and advances the entry's animation object; answers it.
ClTexAnimObj* imageAnimation(const ClDScriptData2* pEntry) {
  ClTexAnimObj* pAnim = Backgrounds::findImageAnimation(pEntry);
  if (pAnim == nullptr) {
    pAnim = new (KvAlignedAlloc(sizeof(ClTexAnimObj), 16)) ClTexAnimObj();
    const bool bOnce = pEntry->getChildWithIdentifier("noLoop") != nullptr;
    pAnim->playFlipBook(ClFlipBookMgr::getFlipBook(pEntry->getChild("Flipbook")->getString()),
                        bOnce ? E_FLIPBOOK_MODE_ONCE : E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    if (!s_imageAnims.isInitialized()) {
      s_imageAnims.initialize(8);
    }
    s_imageAnims.append({pEntry, pAnim});
  }
  return pAnim;
}

}  // namespace

void SBackgroundLayer::place(f32 fLeft) {
  // A bound on single steps once whole periods are skipped; it only bites when f32 can no longer tell the
  // positions apart (a camera billions of units away), and then the layer simply starts at the window's edge.
  const i32 iMaxSteps = 2 * m_items.getCount() + 2;
  if (m_fScrollPosition - fLeft > m_fPeriod) {
    m_fScrollPosition -= std::floor((m_fScrollPosition - fLeft) / m_fPeriod) * m_fPeriod;
  }
  i32 iSteps = 0;
  while (m_fScrollPosition > fLeft && iSteps++ < iMaxSteps) {
    stepBack();
  }
  if (fLeft - m_fScrollPosition > 2.0f * m_fPeriod) {
    // Keep a period in hand: each skipped period must end left of the window, as single steps would find.
    m_fScrollPosition += (std::floor((fLeft - m_fScrollPosition) / m_fPeriod) - 1.0f) * m_fPeriod;
  }
  iSteps = 0;
  while (m_fScrollPosition + static_cast<f32>(m_items[m_iCurrentItem].m_iWidth) < fLeft && iSteps++ < iMaxSteps) {
    stepForward();
  }
  if (iSteps > iMaxSteps || m_fScrollPosition > fLeft) {
    m_fScrollPosition = fLeft;
  }
}

void SBackgroundLayer::stepBack() {
  const i32 iCount = m_items.getCount();
  m_iCurrentItem = (m_iCurrentItem - 1 + iCount) % iCount;
  m_fScrollPosition -= static_cast<f32>(m_items[m_iCurrentItem].m_iWidth);
}

void SBackgroundLayer::stepForward() {
  m_fScrollPosition += static_cast<f32>(m_items[m_iCurrentItem].m_iWidth);
  m_iCurrentItem = (m_iCurrentItem + 1) % m_items.getCount();
}

namespace Backgrounds {

char* makeImageName(const char* pName) {
  const size_t uiLength = std::strlen(pName);
  char* pBuffer = static_cast<char*>(KvAlignedAlloc(uiLength + 5, 16));
  KV_ASSERT(pBuffer != nullptr);
  std::memcpy(pBuffer, pName, uiLength);
  std::memcpy(pBuffer + uiLength, "_216", 5);
  return pBuffer;
}

void initializeWithScript(ClDScriptData2* pScript) {
  s_pScript = pScript;
  // The front end's attract loop sets the backgrounds up before play does: a second start keeps the list.
  if (g_backgroundLayers.isInitialized()) {
    emptyLayers();
  } else {
    g_backgroundLayers.initialize(8);
  }
  g_bBackgroundsLoaded = 1;
}

bool initialize() {
  ClDScriptData2* pScript = ClDScriptMgr2::getScript("Backgrounds", nullptr);
  if (pScript == nullptr) {
    KvPrintProblem("Backgrounds: the script could not be read; no backgrounds (%s)", KvGetLastProblem());
    return false;
  }
  initializeWithScript(pScript);
  return true;
}

bool loadPattern(const char* pPatternName) {
  if (!g_backgroundLayers.isInitialized() || s_pScript == nullptr) {
    KvPrintProblem("Backgrounds [%s]: the script is not loaded", pPatternName);
    return false;
  }
  emptyLayers();
  SPatternLoader loader;
  const ClDScriptData2* pPattern = s_pScript->findChild(pPatternName);
  bool bOK = loader.checkImageAnims();
  if (bOK && (pPattern == nullptr || pPattern->getType() != E_DSVT_ARRAY)) {
    bOK = loader.fail(pPatternName, "the pattern is missing, or not an array");
  }
  for (i32 i = 0; bOK && i < pPattern->getCount(); ++i) {
    SBackgroundLayer* pLayer = loader.loadLayer(pPattern->getChildAt(i), std::string(pPatternName) + "/" + std::to_string(i));
    if (pLayer != nullptr) {
      g_backgroundLayers.append(pLayer);
    }
    bOK = loader.m_error.empty();
  }
  if (!bOK) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvPrintProblem("%s (%s)", loader.m_error.c_str(),
                   ClDScriptMgr2::describeLocation("Backgrounds", nullptr, szWhere, sizeof(szWhere)));
    emptyLayers();
  }
  return bOK;
}

void tick() {
  static const u32 s_uiPremult = KvStrHash("system_blend_premult");
  const f32 fCamera = g_fWorldCameraX;
  for (i32 i = 0; i < g_backgroundLayers.getCount(); ++i) {
    SBackgroundLayer& layer = *g_backgroundLayers[i];
    const f32 fScroll = std::floor(fCamera * 1.25f * layer.ScrollingSpeed + 0.5f);
    const f32 fLeft = fScroll - 600.0f;
    const f32 fRight = fScroll + 480.0f;
    layer.place(fLeft);
    const f32 fShift = std::floor((1.0f - layer.ScrollingSpeed) * fCamera * 1.25f + 0.5f);
    const f32 fDepth = 1000.0f - static_cast<f32>(i) - (layer.Foreground != 0 ? 2000.0f : 0.0f);
    f32 x = layer.m_fScrollPosition;
    i32 k = layer.m_iCurrentItem;
    f32 fRoundStart = x;
    for (i32 iWalked = 0; x < fRight; ++iWalked) {
      if (iWalked > 0 && iWalked % layer.m_items.getCount() == 0) {
        if (!(x > fRoundStart)) {
          break;  // a whole round moved nothing on: f32 cannot step this far out
        }
        fRoundStart = x;
      }
      const SBackgroundItem& item = layer.m_items[k];
      if (item.m_eKind == E_BACKGROUND_ITEM_IMAGE) {
        const SAtlasTexInfo* pInfo = item.mp_pEntry->mp_pAtlasTexInfo;
        const f32 fTop = layer.Bottom_Y - pInfo->mp_fHeight;
        if (fShift + x + pInfo->mp_fWidth >= 0.0f) {
          SWorldQuad quad;
          quad.mp_pEntry = item.mp_pEntry;
          quad.m_vPosition = {std::floor(fShift + x + 0.5f), fTop};
          quad.m_uiShaderHash = s_uiPremult;
          quad.m_fDepth = fDepth;
          WorldDraw::submit(quad);
        }
        for (i32 j = 0; item.mp_pAnims != nullptr && j < item.mp_pAnims->getCount(); ++j) {
          const ClDScriptData2* pEntry = item.mp_pAnims->getChildAt(j);
          const f32 fOffsetX = pEntry->getChild("OffsetX")->getFloatExact();
          const f32 fOffsetY = pEntry->getChild("OffsetY")->getFloatExact();
          ClTexAnimObj* pAnim = imageAnimation(pEntry);
          pAnim->mp_curAnimators.mp_flipBookAnimator.update(ClClock::m_aClockFrames[1].m_fFrameTime);
          const SFlipBookFrame* pFrame = pAnim->getCurFrame();
          if (fShift + x + fOffsetX + pFrame->mp_pImage->mp_pAtlasTexInfo->mp_fWidth >= 0.0f) {
            SWorldQuad quad;
            quad.mp_pEntry = pFrame->mp_pImage;
            quad.m_vPosition = {std::floor(fShift + x + 0.5f + fOffsetX), fTop + fOffsetY};
            quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
            quad.m_uiShaderHash = s_uiPremult;
            quad.m_fDepth = fDepth - static_cast<f32>(j + 1) * 0.05f;
            WorldDraw::submit(quad);
          }
        }
      }
      x += static_cast<f32>(item.m_iWidth);
      k = (k + 1) % layer.m_items.getCount();
    }
  }
}

void release() {
  // The front end releases on leaving whether or not a screen of it set the backgrounds up.
  if (g_backgroundLayers.isInitialized()) {
    emptyLayers();
    g_backgroundLayers.terminate();
  }
  g_bBackgroundsLoaded = 0;
}

ClTexAnimObj* findImageAnimation(const ClDScriptData2* pEntry) {
  for (i32 i = 0; s_imageAnims.isInitialized() && i < s_imageAnims.getCount(); ++i) {
    if (s_imageAnims[i].mp_pEntry == pEntry) {
      return s_imageAnims[i].mp_pAnim;
    }
  }
  return nullptr;
}

void releaseImageAnimations() {
  if (!s_imageAnims.isInitialized()) {
    return;
  }
  for (i32 i = 0; i < s_imageAnims.getCount(); ++i) {
    s_imageAnims[i].mp_pAnim->~ClTexAnimObj();
    KvAlignedFree(s_imageAnims[i].mp_pAnim);
  }
  s_imageAnims.terminate();
}

}  // namespace Backgrounds
