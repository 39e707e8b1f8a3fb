#include "Corvane/Graphics/ClSignatureMgr.h"

#include <cstring>

#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/System/KvDebug.h"

// The pools are fixed globals of the engine (Program/KvEngineGlobals_Win32.cpp).
u32 ClSignatureMgr::mp_bInitialized = 0;
u32 ClSignatureMgr::mp_uiGeneration = 0;

namespace {

SRenderSignature* findOrAddSignature(ClShader* pShader, STextureSet* pTexSet) {
  auto& pool = ClSignatureMgr::mp_signaturePool;
  for (i32 i = 0; i < pool.getCount(); ++i) {
    SRenderSignature* pSignature = pool.get(i);
    if (pSignature->mp_pShader == pShader && pSignature->mp_pLighting == nullptr &&
        pSignature->mp_pTextureSet == pTexSet) {
      return pSignature;
    }
  }
  SRenderSignature* pNew = pool.isFull() ? nullptr : pool.alloc();
  KV_ASSERT_MSG(pNew != nullptr, "pNew");
  *pNew = SRenderSignature{pTexSet, nullptr, pShader};
  return pNew;
}

}  // namespace

void ClSignatureMgr::initialize() {
  KV_ASSERT_MSG(mp_signaturePool.getMaxAllocs() == gc_iMAX_SIGNATURES, "initSignaturePool() before initialize()");
  KV_ASSERT_MSG(mp_texSetPool.getMaxAllocs() == gc_iMAX_TEXTURE_SETS, "initTexSetPool() before initialize()");
  mp_bInitialized = 1;
}

void ClSignatureMgr::initSignaturePool() {
  mp_signaturePool.initialize();
  ++mp_uiGeneration;
}
void ClSignatureMgr::initTexSetPool() {
  mp_texSetPool.initialize();
  ++mp_uiGeneration;
}

void ClSignatureMgr::termSignaturePool() {
  ++mp_uiGeneration;
  while (mp_signaturePool.getCount() > 0) {
    mp_signaturePool.free(mp_signaturePool.get(mp_signaturePool.getCount() - 1));
  }
}

void ClSignatureMgr::termTexSetPool() {
  ++mp_uiGeneration;
  while (mp_texSetPool.getCount() > 0) {
    mp_texSetPool.free(mp_texSetPool.get(mp_texSetPool.getCount() - 1));
  }
}

SRenderSignature* ClSignatureMgr::getSignatureNoTex(ClShader* pShader) {
  KV_ASSERT_MSG(pShader != nullptr, "pShader");
  return findOrAddSignature(pShader, nullptr);
}

SRenderSignature* ClSignatureMgr::getSignature(ClShader* pShader, STextureSet* pTexSet) {
  KV_ASSERT_MSG(pShader != nullptr, "pShader");
  KV_ASSERT_MSG(pTexSet != nullptr, "pTexSet");
  return findOrAddSignature(pShader, pTexSet);
}

SRenderSignature* ClSignatureMgr::getSignatureByName(const char* pShaderName, ClTextureBase* pTexture) {
  return getSignature(ClShaderMgr::getShader(pShaderName), getTexSet(pTexture));
}

SRenderSignature* ClSignatureMgr::getSignatureByHashNoTex(u32 uiShaderNameHash) {
  return getSignatureNoTex(ClShaderMgr::getShaderByHash(uiShaderNameHash));
}

SRenderSignature* ClSignatureMgr::getSignatureByHash(u32 uiShaderNameHash, ClTextureBase* pTexture) {
  return getSignature(ClShaderMgr::getShaderByHash(uiShaderNameHash), getTexSet(pTexture));
}

SRenderSignature* ClSignatureMgr::getSignatureByHash2(u32 uiShaderNameHash, ClTextureBase* pTexture1,
                                                      ClTextureBase* pTexture2) {
  return getSignature(ClShaderMgr::getShaderByHash(uiShaderNameHash), getTexSet2(pTexture1, pTexture2));
}

STextureSet* ClSignatureMgr::findOrAddTexSet(ClTextureBase* const* ppTextures, u32 uiCount) {
  for (i32 i = 0; i < mp_texSetPool.getCount(); ++i) {
    STextureSet* pSet = mp_texSetPool.get(i);
    if (pSet->mp_uiCount != uiCount) continue;
    bool bSame = true;
    for (u32 j = 0; j < uiCount && bSame; ++j) {
      bSame = pSet->mp_aSlots[j].mp_uiSamplerIndex == j && pSet->mp_aSlots[j].mp_pTexture == ppTextures[j];
    }
    if (bSame) return pSet;
  }
  STextureSet* pNew = mp_texSetPool.isFull() ? nullptr : mp_texSetPool.alloc();
  KV_ASSERT_MSG(pNew != nullptr, "pNew");
  std::memset(pNew, 0, sizeof(*pNew));
  pNew->mp_uiCount = uiCount;
  for (u32 j = 0; j < uiCount; ++j) {
    pNew->mp_aSlots[j] = STextureSet::SSlot{j, ppTextures[j]};
  }
  return pNew;
}

STextureSet* ClSignatureMgr::getTexSet(ClTextureBase* pTexture) { return findOrAddTexSet(&pTexture, 1); }

STextureSet* ClSignatureMgr::getTexSet2(ClTextureBase* pTexture1, ClTextureBase* pTexture2) {
  ClTextureBase* const apTextures[2] = {pTexture1, pTexture2};
  return findOrAddTexSet(apTextures, 2);
}

STextureSet* ClSignatureMgr::getTexSet4(ClTextureBase* pTexBase1, ClTextureBase* pTexBase2, ClTextureBase* pTexBase3,
                                        ClTextureBase* pTexBase4) {
  KV_ASSERT_MSG(pTexBase1 && pTexBase2 && pTexBase3 && pTexBase4, "pTexBase1 && pTexBase2 && pTexBase3 && pTexBase4");
  ClTextureBase* const apTextures[4] = {pTexBase1, pTexBase2, pTexBase3, pTexBase4};
  return findOrAddTexSet(apTextures, 4);
}

void ClSignatureMgr::releaseTexture(ClTextureBase* pTex) {
  KV_ASSERT_MSG(pTex != nullptr, "pTex");
  // From the last record to the first: a free moves the last record into the freed place.
  for (i32 i = mp_texSetPool.getCount() - 1; i >= 0; --i) {
    STextureSet* pSet = mp_texSetPool.get(i);
    bool bHolds = false;
    for (u32 j = 0; j < pSet->mp_uiCount && j < MAX_TEXTURES_PER_SET; ++j) {
      bHolds = bHolds || pSet->mp_aSlots[j].mp_pTexture == pTex;
    }
    if (!bHolds) continue;
    ++mp_uiGeneration;
    for (i32 k = mp_signaturePool.getCount() - 1; k >= 0; --k) {
      SRenderSignature* pSignature = mp_signaturePool.get(k);
      if (pSignature->mp_pTextureSet == pSet) {
        mp_signaturePool.free(pSignature);
      }
    }
    mp_texSetPool.free(pSet);
  }
}
