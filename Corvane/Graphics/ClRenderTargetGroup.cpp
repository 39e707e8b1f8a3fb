#include "Corvane/Graphics/ClRenderTargetGroup.h"

#include <new>

#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

ClRenderTarget* newTarget(f32 fWidth, f32 fHeight, i32 iFormat, u32 bHasDepth) {
  void* pMemory = KvAlignedAlloc(sizeof(ClRenderTarget), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pNewRenderTarget");
  ClRenderTarget* pTarget = new (pMemory) ClRenderTarget(fWidth, fHeight, iFormat, bHasDepth);
  pTarget->create();
  return pTarget;
}

}  // namespace

ClRenderTargetGroupBase::ClRenderTargetGroupBase(f32 fWidth, f32 fHeight)
    : mp_pSharedDepthTarget(nullptr), mp_bOwnsTargets(1) {
  mpr_pRenderTargets.initialize(gc_iMAX_GROUP_RENDER_TARGETS);
  mpr_pRenderTargets.append(newTarget(fWidth, fHeight, E_RENDER_TARGET_FORMAT_A8R8G8B8, 1));
}

void ClRenderTargetGroupBase::addRenderTarget(i32 iFormat) {
  KV_ASSERT_MSG(mpr_pRenderTargets.getCount() > 0, "mpr_pRenderTargets[0]");
  KV_ASSERT_MSG(mpr_pRenderTargets.getCount() < gc_iMAX_GROUP_RENDER_TARGETS,
                "mpr_pRenderTargets.getCount() < gc_iMAX_GROUP_RENDER_TARGETS");
  const ClRenderTarget* pFirst = mpr_pRenderTargets[0];
  const ClTexture* pSized = pFirst->m_pColorTex != nullptr ? pFirst->m_pColorTex : pFirst->m_pDepthTex;
  const f32 fWidth = pSized != nullptr ? pSized->getWidth() : pFirst->mp_fWidth;
  const f32 fHeight = pSized != nullptr ? pSized->getHeight() : pFirst->mp_fHeight;
  mpr_pRenderTargets.append(newTarget(fWidth, fHeight, iFormat, 0));
}

ClRenderTargetGroup::~ClRenderTargetGroup() {
  if (mp_bOwnsTargets) {
    for (i32 i = 0; i < mpr_pRenderTargets.getCount(); ++i) {
      ClRenderTarget* pTarget = mpr_pRenderTargets[i];
      pTarget->~ClRenderTarget();
      KvAlignedFree(pTarget);
    }
  }
  mpr_pRenderTargets.terminate();
}

ClRenderTarget* ClRenderTargetGroup::getRenderTarget(i32 iIndex) {
  KV_ASSERT_MSG(mpr_pRenderTargets.isInitialized(), "Uninitialized Dynamic vector used!");
  KV_ASSERT_MSG(iIndex >= 0 && iIndex < mpr_pRenderTargets.getCount(), "index >=0 && index < m_iSize");
  ClRenderTarget* pTarget = mpr_pRenderTargets[iIndex];
  KV_ASSERT_MSG(pTarget != nullptr, "mpr_pRenderTargets[iIndex]");
  return pTarget;
}

ClTexture* ClRenderTargetGroup::getColorTexture() { return getRenderTarget(0)->getColorTexture(); }

ClTexture* ClRenderTargetGroup::getDepthTexture() {
  if (mp_pSharedDepthTarget != nullptr) {
    return mp_pSharedDepthTarget->getDepthTexture();
  }
  KV_ASSERT_MSG(mpr_pRenderTargets.getCount() > 0, "mpr_pRenderTargets[0]");
  return mpr_pRenderTargets[0]->getDepthTexture();
}

void ClRenderTargetGroup::getDimensions(f32* pDimensions) {
  ClRenderTarget* pFirst = getRenderTarget(0);
  const ClTexture* pSized = pFirst->m_pColorTex != nullptr ? pFirst->m_pColorTex : pFirst->m_pDepthTex;
  KV_ASSERT_MSG(pSized != nullptr, "pFirst->getColorTexture() || pFirst->getDepthTexture()");
  pDimensions[0] = pSized->getWidth();
  pDimensions[1] = pSized->getHeight();
}

void ClRenderTargetGroup::releaseResources() {
  if (!mp_bOwnsTargets) return;
  for (i32 i = 0; i < mpr_pRenderTargets.getCount(); ++i) {
    KV_ASSERT_MSG(mpr_pRenderTargets[i] != nullptr, "mpr_pRenderTargets[i]");
    mpr_pRenderTargets[i]->release();
  }
}

void ClRenderTargetGroup::restoreResources() {
  if (!mp_bOwnsTargets) return;
  for (i32 i = 0; i < mpr_pRenderTargets.getCount(); ++i) {
    KV_ASSERT_MSG(mpr_pRenderTargets[i] != nullptr, "mpr_pRenderTargets[i]");
    mpr_pRenderTargets[i]->create();
  }
}

ClRenderTarget* ClRenderTargetGroup::getDepthTarget(ClRenderTargetGroup* pGroup) {
  return pGroup->mp_pSharedDepthTarget != nullptr ? pGroup->mp_pSharedDepthTarget : pGroup->getRenderTarget(0);
}
