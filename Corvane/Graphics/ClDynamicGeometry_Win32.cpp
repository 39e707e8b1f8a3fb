// The device side of dynamic geometry: the buffers, their locks and the draws.
#include <cstring>

#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClShader.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Graphics/KvReleaseAndClear.h"
#include "Platform/D3D9/D3D9.h"

IDirect3DVertexDeclaration9* ClDynamicGeometry::mp_pVertexDeclaration = nullptr;
IDirect3DVertexBuffer9* ClDynamicGeometry::m_apVtxBuffer[2] = {};
IDirect3DIndexBuffer9* ClDynamicGeometry::m_apIdxBuffer[2] = {};

namespace {

constexpr UINT gc_uiVERTEX_BUFFER_BYTES = gc_iDYNGEO_MAX_VERTICES * sizeof(SDynamicGeometryVertex);
constexpr UINT gc_uiINDEX_BUFFER_BYTES = gc_iDYNGEO_MAX_INDICES * sizeof(u32);
static_assert(gc_uiVERTEX_BUFFER_BYTES == 1080000 && gc_uiINDEX_BUFFER_BYTES == 480000);

const D3DVERTEXELEMENT9 gc_aVertexElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 16, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};

}  // namespace

void ClDynamicGeometry::platformInitialize(u32 bResetRegisteredTargets) {
  KV_ASSERT_MSG(ClMutexLock::g_bInitialized, "ClMutexLock::g_bInitialized");
  KV_ASSERT_MSG(!isReady(), "ClDynamicGeometry::platformInitialize() twice without platformTerminate()");
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  m_iCurBuffer = 0;
  m_pLockedVerts = nullptr;
  m_pLockedIdxes = nullptr;
  if (bResetRegisteredTargets) {
    m_iNumRegisteredRenderTargets = 1;
    mp_auiRegisteredTargetFlags[0] = 0;
  }
  if (!ClMutexLock::create(&m_lock)) {
    KV_FATAL("ClDynamicGeometry::platformInitialize() -> Could NOT create mutex lock for dynamic geometry!");
  }
  pDevice->CreateVertexDeclaration(gc_aVertexElements, &mp_pVertexDeclaration);
  KV_ASSERT_MSG(mp_pVertexDeclaration != nullptr, "mp_pVertexDeclaration");
  for (i32 i = 0; i < 2; ++i) {
    pDevice->CreateIndexBuffer(gc_uiINDEX_BUFFER_BYTES, D3DUSAGE_DYNAMIC, D3DFMT_INDEX32, D3DPOOL_DEFAULT,
                               &m_apIdxBuffer[i], nullptr);
    KV_ASSERT_MSG(m_apIdxBuffer[i] != nullptr, "m_apIdxBuffer[i]");
    pDevice->CreateVertexBuffer(gc_uiVERTEX_BUFFER_BYTES, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &m_apVtxBuffer[i],
                                nullptr);
    KV_ASSERT_MSG(m_apVtxBuffer[i] != nullptr, "m_apVtxBuffer[i]");
  }
  m_iNumElements = 0;
  m_iNumVerts = 0;
  m_iNumIndexes = 0;
  m_uiIndexWritePos = 0;
  mp_bReady.store(1, std::memory_order_release);
}

void ClDynamicGeometry::platformTerminate() {
  mp_bReady.store(0, std::memory_order_release);
  if (m_lock.isCreated()) {
    ClMutexLock::destroy(&m_lock);
  }
  // A buffer still locked goes with its lock.
  m_pLockedVerts = nullptr;
  m_pLockedIdxes = nullptr;
  KvReleaseAndClear(mp_pVertexDeclaration);
  for (i32 i = 0; i < 2; ++i) {
    KvReleaseAndClear(m_apIdxBuffer[i]);
    KvReleaseAndClear(m_apVtxBuffer[i]);
  }
}

void ClDynamicGeometry::lockBuffers() {
  void* pVerts = nullptr;
  void* pIdxes = nullptr;
  m_apVtxBuffer[m_iCurBuffer]->Lock(0, 0, &pVerts, D3DLOCK_DISCARD);
  m_apIdxBuffer[m_iCurBuffer]->Lock(0, 0, &pIdxes, D3DLOCK_DISCARD);
  KV_ASSERT_MSG(pVerts != nullptr && pIdxes != nullptr, "m_pLockedVerts && m_pLockedIdxes");
  m_pLockedVerts = static_cast<SDynamicGeometryVertex*>(pVerts);
  m_pLockedIdxes = static_cast<u32*>(pIdxes);
}

void ClDynamicGeometry::beginFrame() {
  if (!isReady()) {
    return;
  }
  ClScopedMutexLock lock(m_lock);
  KV_ASSERT_MSG(m_pLockedVerts == nullptr, "m_pLockedVerts == KVNULL");
  KV_ASSERT_MSG(m_pLockedIdxes == nullptr, "m_pLockedIdxes == KVNULL");
  m_iCurBuffer = (m_iCurBuffer + 1) % 2;
  lockBuffers();
  m_iNumElements = 0;
  m_iNumVerts = 0;
  m_iNumIndexes = 0;
  m_uiIndexWritePos = 0;
  for (auto& targetBatches : mp_aBatches) {
    for (SDynamicGeometryBatch& batch : targetBatches) {
      batch.mp_uiNumDrawCalls = 0;
    }
  }
}

void ClDynamicGeometry::unlockBuffers() {
  if (!isReady()) {
    return;
  }
  ClScopedMutexLock lock(m_lock);
  if (m_pLockedVerts != nullptr) {
    m_apVtxBuffer[m_iCurBuffer]->Unlock();
    m_pLockedVerts = nullptr;
  }
  if (m_pLockedIdxes != nullptr) {
    m_apIdxBuffer[m_iCurBuffer]->Unlock();
    m_pLockedIdxes = nullptr;
  }
}

void ClDynamicGeometry::drawBatch(i32 iBatch) {
  KV_ASSERT(iBatch >= 0 && iBatch < gc_iDYNGEO_NUM_BATCHES);
  if (!isReady() || m_pLockedVerts != nullptr || m_pLockedIdxes != nullptr) {
    return;
  }
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  pDevice->SetVertexDeclaration(mp_pVertexDeclaration);
  pDevice->SetStreamSource(0, m_apVtxBuffer[m_iCurBuffer], 0, sizeof(SDynamicGeometryVertex));
  pDevice->SetIndices(m_apIdxBuffer[m_iCurBuffer]);
  KV_ASSERT_MSG(m_iNumRegisteredRenderTargets <= MAX_DYNGEO_REGISTERED_RENDER_TARGETS,
                "m_iNumRegisteredRenderTargets <= MAX_DYNGEO_REGISTERED_RENDER_TARGETS");
  const SDynamicGeometryBatch* pBatch = nullptr;
  for (i32 i = 0; i < m_iNumRegisteredRenderTargets && pBatch == nullptr; ++i) {
    if (mp_auiRegisteredTargetFlags[i] == 0) {
      pBatch = &mp_aBatches[i][iBatch];
    }
  }
  if (pBatch == nullptr) {
    KV_FATAL("Could not find registered render target for this batch");
  }
  for (u32 i = 0; i < pBatch->mp_uiNumDrawCalls; ++i) {
    const SDynamicGeometryDrawCall& call = pBatch->mp_aDrawCalls[i];
    const SRenderSignature* pFinalSignature = call.mp_pSignature;
    ClShader* pFinalShaderForPipeline = pFinalSignature->mp_pShader->resolveOverride();
    KV_ASSERT_MSG(pFinalShaderForPipeline != nullptr, "pFinalShaderForPipeline");
    if (pFinalShaderForPipeline != pFinalSignature->mp_pShader) {
      KV_ASSERT_MSG(pFinalSignature->mp_pLighting == nullptr, "pFinalSignature->mp_pLighting == KVNULL");
      pFinalSignature = pFinalSignature->mp_pTextureSet != nullptr
                            ? ClSignatureMgr::getSignature(pFinalShaderForPipeline, pFinalSignature->mp_pTextureSet)
                            : ClSignatureMgr::getSignatureNoTex(pFinalShaderForPipeline);
    }
    ClGraphics::setSignature(pFinalSignature);
    pDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(m_iNumVerts), call.mp_uiFirstIndex,
                                  call.mp_uiNumIndices / 3);
  }
  ClGraphics::endSignature();
}
