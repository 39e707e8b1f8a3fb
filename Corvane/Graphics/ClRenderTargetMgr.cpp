#include "Corvane/Graphics/ClRenderTargetMgr.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

ClDynamicVector<SAutoRenderTarget> ClRenderTargetMgr::mp_autoRenderTargets;
ClDynamicVector<SBlurEffectSpecs> ClRenderTargetMgr::mp_blurEffects;

namespace {

constexpr i32 gc_iAUTO_RENDER_TARGETS_CAPACITY = 8;
constexpr i32 gc_iBLUR_EFFECTS_CAPACITY = 8;
constexpr u32 gc_uiFULL_SCREEN_PASS_COLOR = 0xFFFFFFFFu;
// The Gaussian pass reads at most the centre and, on each side, three pairs of neighbouring taps and the last one.
constexpr i32 gc_iMAX_BLUR_FETCHES = 9;
// A fetch lighter than this changes no output by as much as a hundredth of a level (8 bits a channel): left out.
constexpr f32 gc_fNEGLIGIBLE_FETCH_WEIGHT = 1.0f / (255.0f * 128.0f);

ClRenderTargetGroup* newGroup(f32 fWidth, f32 fHeight) {
  void* pMemory = KvAlignedAlloc(sizeof(ClRenderTargetGroup), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pNewRenderTargetGroup");
  return new (pMemory) ClRenderTargetGroup(fWidth, fHeight);
}

void deleteGroup(ClRenderTargetGroup* pGroup) {
  pGroup->~ClRenderTargetGroup();
  KvAlignedFree(pGroup);
}

// A global of the blur shaders, set when some effect declares it.
void setBlurFloat(const char* pName, f32 fValue) {
  if (ClShaderMgr::findGlobalVar(pName) != nullptr) {
    ClShaderMgr::setGlobalFloatArray(pName, &fValue, 1);
  }
}

// The Gaussian pass's fetches along one axis (offsets in texture coordinates and weights) and their count.
void setBlurFetches(const SBlurEffectSpecs& effect, const kv_vector4* pOffsets) {
  kv_vector4 avFetches[gc_iMAX_BLUR_FETCHES] = {};
  const i32 iCount = ClRenderTargetMgr::foldBlurTaps(effect, pOffsets, avFetches);
  if (ClShaderMgr::findGlobalVar("g_avBlurFetches") != nullptr) {
    ClShaderMgr::setGlobalVector3Array("g_avBlurFetches", &avFetches[0].x, gc_iMAX_BLUR_FETCHES);
  }
  setBlurFloat("g_fBlurFetchCount", static_cast<f32>(iCount));
}

}  // namespace

i32 ClRenderTargetMgr::foldBlurTaps(const SBlurEffectSpecs& effect, const kv_vector4* pOffsets, kv_vector4* pFetches) {
  // The taps come as the centre, then +d and -d texels for d = 1..7: taps i and i + 2 are d and d + 1 away on one
  // side, read by one linearly filtered fetch between their texels, placed by their weights.
  i32 iCount = 0;
  const auto add = [&](f32 fWeight, f32 fX, f32 fY) {
    if (fWeight >= gc_fNEGLIGIBLE_FETCH_WEIGHT && iCount < gc_iMAX_BLUR_FETCHES) {
      pFetches[iCount++] = kv_vector4{fX, fY, fWeight, 0.0f};
    }
  };
  add(effect.mp_afWeights[0], pOffsets[0].x, pOffsets[0].y);
  for (i32 i = 1; i < effect.mp_iTaps; i += 4) {
    for (i32 iSide = i; iSide < i + 2 && iSide < effect.mp_iTaps; ++iSide) {
      const i32 iFar = iSide + 2;
      if (iFar >= effect.mp_iTaps) {
        add(effect.mp_afWeights[iSide], pOffsets[iSide].x, pOffsets[iSide].y);
        continue;
      }
      const f32 fNear = effect.mp_afWeights[iSide];
      const f32 fFarWeight = effect.mp_afWeights[iFar];
      const f32 fWeight = fNear + fFarWeight;
      if (fWeight <= 0.0f) continue;
      add(fWeight, (pOffsets[iSide].x * fNear + pOffsets[iFar].x * fFarWeight) / fWeight,
          (pOffsets[iSide].y * fNear + pOffsets[iFar].y * fFarWeight) / fWeight);
    }
  }
  return iCount;
}

void ClRenderTargetMgr::initAutoRenderTargets() { mp_autoRenderTargets.initialize(gc_iAUTO_RENDER_TARGETS_CAPACITY); }

void ClRenderTargetMgr::initBlurEffects() { mp_blurEffects.initialize(gc_iBLUR_EFFECTS_CAPACITY); }

void ClRenderTargetMgr::terminate() {
  if (mp_autoRenderTargets.isInitialized()) {
    for (i32 i = 0; i < mp_autoRenderTargets.getCount(); ++i) {
      if (ClGraphics::mp_pBoundRenderTargetGroup == mp_autoRenderTargets[i].mp_pGroup) {
        ClGraphics::mp_pBoundRenderTargetGroup = nullptr;
      }
      deleteGroup(mp_autoRenderTargets[i].mp_pGroup);
      mp_autoRenderTargets[i] = SAutoRenderTarget{nullptr, 0};
    }
    mp_autoRenderTargets.terminate();
  }
  if (mp_blurEffects.isInitialized()) {
    mp_blurEffects.terminate();
  }
}

ClRenderTargetGroup* ClRenderTargetMgr::lockAutoRenderTarget(u32 uiTag, f32 fWidth, f32 fHeight) {
  KV_ASSERT_MSG(mp_autoRenderTargets.isInitialized(), "Uninitialized Dynamic vector used!");
  for (i32 i = 0; i < mp_autoRenderTargets.getCount(); ++i) {
    SAutoRenderTarget& entry = mp_autoRenderTargets[i];
    if (entry.mp_uiLockTag != gc_uiRENDER_TARGET_BORROWED || entry.mp_pGroup == ClGraphics::mp_pBoundRenderTargetGroup) {
      continue;
    }
    const ClRenderTarget* pFirst = entry.mp_pGroup->getRenderTarget(0);
    if (pFirst->mp_fWidth == fWidth && pFirst->mp_fHeight == fHeight &&
        pFirst->mp_iFormat == E_RENDER_TARGET_FORMAT_A8R8G8B8) {
      entry.mp_uiLockTag = uiTag;
      return entry.mp_pGroup;
    }
  }
  ClRenderTargetGroup* pGroup = newGroup(fWidth, fHeight);
  mp_autoRenderTargets.append(SAutoRenderTarget{pGroup, uiTag});
  return pGroup;
}

void ClRenderTargetMgr::unlockAutoRenderTarget(ClRenderTargetGroup* pGroup) {
  for (i32 i = 0; i < mp_autoRenderTargets.getCount(); ++i) {
    SAutoRenderTarget& entry = mp_autoRenderTargets[i];
    if (entry.mp_pGroup == pGroup && entry.mp_uiLockTag != gc_uiRENDER_TARGET_BORROWED) {
      entry.mp_uiLockTag = gc_uiRENDER_TARGET_BORROWED;
      return;
    }
  }
  KV_FATAL("unlockAutoRenderTarget(): Could not find locked target!");
}

void ClRenderTargetMgr::releaseAutoRenderTargets() {
  for (i32 i = 0; i < mp_autoRenderTargets.getCount(); ++i) {
    mp_autoRenderTargets[i].mp_pGroup->releaseResources();
  }
}

void ClRenderTargetMgr::restoreAutoRenderTargets() {
  for (i32 i = 0; i < mp_autoRenderTargets.getCount(); ++i) {
    mp_autoRenderTargets[i].mp_pGroup->restoreResources();
  }
}

SBlurEffectSpecs* ClRenderTargetMgr::findBlurEffect(const char* pName) {
  for (i32 i = 0; i < mp_blurEffects.getCount(); ++i) {
    if (std::strncmp(mp_blurEffects[i].mp_szName, pName, gc_iBLUR_NAME_LEN) == 0) {
      return &mp_blurEffects[i];
    }
  }
  return nullptr;
}

SBlurEffectSpecs* ClRenderTargetMgr::setupBlurEffect(const char* pName, const f32* pSourceDimensions, f32 fScale,
                                                     f32 fThreshold, f32 fDeviationFactor) {
  SBlurEffectSpecs* pSpecs = findBlurEffect(pName);
  if (pSpecs == nullptr) {
    SBlurEffectSpecs zeroed;
    std::memset(&zeroed, 0, sizeof(zeroed));
    mp_blurEffects.append(zeroed);
    pSpecs = mp_blurEffects.getLast();
  }
  KvStrLCpy(pSpecs->mp_szName, pName, gc_iBLUR_NAME_LEN);
  pSpecs->mp_iMode = gc_iBLUR_MODE_DIRECT;
  pSpecs->mp_fSourceWidth = pSourceDimensions[0];
  pSpecs->mp_fSourceHeight = pSourceDimensions[1];
  pSpecs->mp_fWorkWidth = pSourceDimensions[0] * fScale;
  pSpecs->mp_fWorkHeight = pSourceDimensions[1] * fScale;
  pSpecs->mp_iTaps = gc_iBLUR_TAPS;
  pSpecs->mp_fThreshold = fThreshold;
  pSpecs->mp_fDeviationFactor = fDeviationFactor;
  pSpecs->mp_pShrinkAndExtractShader = ClShaderMgr::getShader("PostFx_ExtractThreshold");
  KV_ASSERT_MSG(pSpecs->mp_pShrinkAndExtractShader != nullptr, "pSpecs->mp_pShrinkAndExtractShader");
  pSpecs->mp_pGaussShader = ClShaderMgr::getShader("PostFx_Blur15");
  KV_ASSERT_MSG(pSpecs->mp_pGaussShader != nullptr, "pSpecs->mp_pGaussShader");
  pSpecs->mp_pCompositeShader = nullptr;

  const f32 fSigma = (static_cast<f32>(pSpecs->mp_iTaps) * 0.5f / 2.8f) * fDeviationFactor;
  const f32 fA = 6.2831855f * fSigma * fSigma;
  const f32 fB = 2.0f * fSigma * fSigma;
  const f32 fRootA = KvMath::sqrt(fA);
  pSpecs->mp_afWeights[0] = (1.0f / fRootA) * std::exp(-0.0f / fB);
  pSpecs->mp_avHorizontalOffsets[0] = kv_vector4{0.0f, 0.0f, 0.0f, 0.0f};
  pSpecs->mp_avVerticalOffsets[0] = kv_vector4{0.0f, 0.0f, 0.0f, 0.0f};
  f32 fSum = pSpecs->mp_afWeights[0];
  for (i32 i = 0; i < pSpecs->mp_iTaps / 2; ++i) {
    const f32 x = static_cast<f32>(i + 1);
    const f32 w = std::exp(-(x * x) / fB) / fRootA;
    pSpecs->mp_afWeights[2 * i + 1] = w;
    pSpecs->mp_afWeights[2 * i + 2] = w;
    pSpecs->mp_avHorizontalOffsets[2 * i + 1] = kv_vector4{x / pSpecs->mp_fWorkWidth, 0.0f, 0.0f, 0.0f};
    pSpecs->mp_avHorizontalOffsets[2 * i + 2] = kv_vector4{-x / pSpecs->mp_fWorkWidth, 0.0f, 0.0f, 0.0f};
    pSpecs->mp_avVerticalOffsets[2 * i + 1] = kv_vector4{0.0f, x / pSpecs->mp_fWorkHeight, 0.0f, 0.0f};
    pSpecs->mp_avVerticalOffsets[2 * i + 2] = kv_vector4{0.0f, -x / pSpecs->mp_fWorkHeight, 0.0f, 0.0f};
    fSum += 2.0f * w;
  }
  for (f32& fWeight : pSpecs->mp_afWeights) {
    fWeight /= fSum;
  }
  // The Gaussian pass compiled for this many fetches, when the game registered it: a loop whose bound the compiler
  // knows is unrolled, which a software rasteriser runs several times faster than the general pass's loop.
  kv_vector4 avFetches[gc_iMAX_BLUR_FETCHES] = {};
  const i32 iFetches = foldBlurTaps(*pSpecs, pSpecs->mp_avHorizontalOffsets, avFetches);
  char szFixed[64];
  std::snprintf(szFixed, sizeof(szFixed), "PostFx_Blur15_Fetches%d", static_cast<int>(iFetches));
  if (ClShader* pFixed = ClShaderMgr::findShader(KvStrHash(szFixed))) {
    pSpecs->mp_pGaussShader = pFixed;
  }
  return pSpecs;
}

void ClRenderTargetMgr::fullScreenPass(ClShader* pShader, ClTexture* pSource) {
  if (!ClShaderMgr::mp_bAllShadersLoaded) {
    return;
  }
  const SRenderSignature* pSignature = ClSignatureMgr::getSignature(pShader, ClSignatureMgr::getTexSet(pSource));
  f32 fWidth = ClGraphics::mp_fScreenWidth;
  f32 fHeight = ClGraphics::mp_fScreenHeight;
  if (ClRenderTargetGroup* pBound = ClGraphics::mp_pBoundRenderTargetGroup) {
    f32 afDimensions[2];
    pBound->getDimensions(afDimensions);
    fWidth = afDimensions[0];
    fHeight = afDimensions[1];
  }
  KvUIRenderHooks().renderAspectFitQuad(pSignature, gc_uiFULL_SCREEN_PASS_COLOR, 0.0f, 0.0f, fWidth, fHeight);
}

void ClRenderTargetMgr::applyBlurEffect(const char* pName, ClRenderTargetGroup* pSource, u32,
                                        ClRenderTargetGroup* pDestination, f32, u32, f32, f32, f32, f32) {
  SBlurEffectSpecs* pSpecs = findBlurEffect(pName);
  KV_ASSERT_MSG(pSpecs != nullptr, "pSpecs");
  if (pSpecs->mp_iMode != gc_iBLUR_MODE_DIRECT) {
    KV_FATAL("Unhandled case");
  }
  ClTexture* pPassSource = pSource->getColorTexture();
  // With no threshold and nothing to shrink the extraction would copy the source texel for texel: the Gaussian
  // pass reads the source itself.
  const bool bExtractChanges = pSpecs->mp_fThreshold > 0.0f || pSpecs->mp_fWorkWidth != pSpecs->mp_fSourceWidth ||
                               pSpecs->mp_fWorkHeight != pSpecs->mp_fSourceHeight;
  if (pSpecs->mp_pShrinkAndExtractShader != nullptr && bExtractChanges) {
    setBlurFloat("g_fBlurThreshold", pSpecs->mp_fThreshold);
    ClRenderTargetGroup* pExtracted =
        lockAutoRenderTarget(gc_uiRENDER_TARGET_BORROWED, pSpecs->mp_fWorkWidth, pSpecs->mp_fWorkHeight);
    ClGraphics::setRenderTargetGroup(pExtracted);
    fullScreenPass(pSpecs->mp_pShrinkAndExtractShader, pPassSource);
    pPassSource = pExtracted->getColorTexture();
  }
  ClShaderMgr::setGlobalFloatArray("g_afBlurWeights", pSpecs->mp_afWeights, pSpecs->mp_iTaps);
  // Borrowing skips the bound group: the horizontal pass never reads what it writes.
  ClRenderTargetGroup* pAcross =
      lockAutoRenderTarget(gc_uiRENDER_TARGET_BORROWED, pSpecs->mp_fWorkWidth, pSpecs->mp_fWorkHeight);
  ClGraphics::setRenderTargetGroup(pAcross);
  ClShaderMgr::setGlobalVector3Array("g_av2BlurOffsets", &pSpecs->mp_avHorizontalOffsets[0].x, pSpecs->mp_iTaps);
  setBlurFetches(*pSpecs, pSpecs->mp_avHorizontalOffsets);
  fullScreenPass(pSpecs->mp_pGaussShader, pPassSource);
  ClGraphics::setRenderTargetGroup(pDestination);
  ClShaderMgr::setGlobalVector3Array("g_av2BlurOffsets", &pSpecs->mp_avVerticalOffsets[0].x, pSpecs->mp_iTaps);
  setBlurFetches(*pSpecs, pSpecs->mp_avVerticalOffsets);
  fullScreenPass(pSpecs->mp_pGaussShader, pAcross->getColorTexture());
}
