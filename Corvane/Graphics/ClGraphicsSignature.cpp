// The current render signature and its redundant-state filtering.
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClShader.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Math/ClWorldObject.h"
#include "Corvane/System/KvDebug.h"

ClShader* ClGraphics::mp_pCurrentShader = nullptr;
const STextureSet* ClGraphics::mp_pCurrentTextureSet = nullptr;
const ClWorldObject* ClGraphics::mp_pBoundObjectTransform = nullptr;

void ClGraphics::setSignature(const SRenderSignature* pSignature) {
  KV_ASSERT_MSG(pSignature != nullptr, "pSignature");
  ClShader* pShader = pSignature->mp_pShader;
  const STextureSet* pSet = pSignature->mp_pTextureSet;
  if (mp_pCurrentShader != nullptr && mp_pCurrentShader != pShader) {
    endSignature();
  }
  const bool bNewShader = mp_pCurrentShader != pShader;
  mp_pCurrentShader = pShader;
  bool bTexturesChanged = false;
  if (mp_pCurrentTextureSet != pSet) {
    mp_pCurrentTextureSet = pSet;
    if (pSet != nullptr) {
      for (u32 i = 0; i < pSet->mp_uiCount && i < MAX_TEXTURES_PER_SET; ++i) {
        pShader->setTexture(static_cast<i32>(pSet->mp_aSlots[i].mp_uiSamplerIndex), pSet->mp_aSlots[i].mp_pTexture);
      }
    }
    bTexturesChanged = true;
  }
  if (bNewShader) {
    pShader->begin();
  }
  if (mp_pBoundObjectTransform != &g_defaultObjectTransform) {
    mp_pBoundObjectTransform = &g_defaultObjectTransform;
    pShader->setTransforms(&g_defaultObjectTransform);
    pShader->commitChanges();
    return;
  }
  if (bTexturesChanged) {
    pShader->commitChanges();
  }
}

void ClGraphics::endSignature() {
  if (mp_pCurrentShader != nullptr) {
    mp_pCurrentShader->end();
  }
  mp_pCurrentShader = nullptr;
  mp_pCurrentTextureSet = nullptr;
  mp_pBoundObjectTransform = nullptr;
}
