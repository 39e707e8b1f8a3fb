// Reservations and the building of batches; the device side is in ClDynamicGeometry_Win32.cpp.
#include "Corvane/Graphics/ClDynamicGeometry.h"

#include <algorithm>
#include <cstring>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/KvDebug.h"

u32 ClDynamicGeometry::mp_auiFlags[gc_iDYNGEO_MAX_ELEMENTS];
SDynamicGeometryRange ClDynamicGeometry::mp_aRanges[gc_iDYNGEO_MAX_ELEMENTS];
f32 ClDynamicGeometry::mp_afDepths[gc_iDYNGEO_MAX_ELEMENTS];
const SRenderSignature* ClDynamicGeometry::mp_apSignatures[gc_iDYNGEO_MAX_ELEMENTS];
std::uintptr_t ClDynamicGeometry::mp_auiUserWords[gc_iDYNGEO_MAX_ELEMENTS];
u32 ClDynamicGeometry::mp_auiStagingIndexes[gc_iDYNGEO_MAX_INDICES];
SDynamicGeometryBatch ClDynamicGeometry::mp_aBatches[MAX_DYNGEO_REGISTERED_RENDER_TARGETS][gc_iDYNGEO_NUM_BATCHES];
u32 ClDynamicGeometry::mp_auiRegisteredTargetFlags[MAX_DYNGEO_REGISTERED_RENDER_TARGETS];
i32 ClDynamicGeometry::m_iNumRegisteredRenderTargets = 0;
i32 ClDynamicGeometry::m_iCurBuffer = 0;
SDynamicGeometryVertex* ClDynamicGeometry::m_pLockedVerts = nullptr;
u32* ClDynamicGeometry::m_pLockedIdxes = nullptr;
ClMutexLock ClDynamicGeometry::m_lock;
std::atomic<u32> ClDynamicGeometry::mp_bReady{0};
i32 ClDynamicGeometry::m_iNumElements = 0;
i32 ClDynamicGeometry::m_iNumVerts = 0;
i32 ClDynamicGeometry::m_iNumIndexes = 0;
u32 ClDynamicGeometry::m_uiIndexWritePos = 0;

namespace {

// The elements of the batch being built, as 16-bit element numbers.
u16 g_auiSortList[gc_iDYNGEO_MAX_ELEMENTS];

}  // namespace

void ClDynamicGeometry::reserve(i32 iNumElements, i32 iNumVerts, i32 iNumIndexes, SDynamicGeometryAlloc* pAlloc) {
  std::memset(pAlloc, 0, sizeof(*pAlloc));
  if (!isReady() || !ClGraphics::mp_bReady.load(std::memory_order_acquire)) {
    return;
  }
  ClScopedMutexLock lock(m_lock);
  if (m_iNumVerts + iNumVerts >= gc_iDYNGEO_MAX_VERTICES || m_iNumIndexes + iNumIndexes >= gc_iDYNGEO_MAX_INDICES ||
      m_iNumElements + iNumElements >= gc_iDYNGEO_MAX_ELEMENTS) {
    return;
  }
  KV_ASSERT_MSG(iNumElements > 0, "iNumElements>0");
  KV_ASSERT_MSG(iNumVerts > 0, "iNumVerts>0");
  KV_ASSERT_MSG(iNumIndexes > 0, "iNumIndexes>0");
  KV_ASSERT_MSG(m_pLockedVerts != nullptr, "m_pLockedVerts");
  pAlloc->mp_pVerts = m_pLockedVerts + m_iNumVerts;
  pAlloc->mp_pIndexes = mp_auiStagingIndexes + m_iNumIndexes;
  pAlloc->mp_uiFirstIndex = static_cast<u32>(m_iNumIndexes);
  pAlloc->mp_uiFirstVertex = static_cast<u32>(m_iNumVerts);
  pAlloc->mp_puiFlags = mp_auiFlags + m_iNumElements;
  pAlloc->mp_pRanges = mp_aRanges + m_iNumElements;
  pAlloc->mp_pfDepths = mp_afDepths + m_iNumElements;
  pAlloc->mp_ppSignatures = mp_apSignatures + m_iNumElements;
  pAlloc->mp_puiUserWords = mp_auiUserWords + m_iNumElements;
  m_iNumElements += iNumElements;
  m_iNumVerts += iNumVerts;
  m_iNumIndexes += iNumIndexes;
}

void ClDynamicGeometry::buildBatch(i32 iBatch, u32 uiMask) {
  KV_ASSERT(iBatch >= 0 && iBatch < gc_iDYNGEO_NUM_BATCHES);
  if (m_pLockedVerts == nullptr || m_pLockedIdxes == nullptr) {
    return;
  }
  const i32 ciNum = m_iNumElements;
  KV_ASSERT_MSG(ciNum < 0xFFFF, "ciNum < 0xFFFF");
  if (ciNum == 0) {
    return;
  }
  i32 iListed = 0;
  for (i32 i = 0; i < ciNum; ++i) {
    if ((mp_auiFlags[i] & uiMask) == uiMask) {
      g_auiSortList[iListed++] = static_cast<u16>(i);
    }
  }
  // Farther first; equal depths by signature, so equal signatures meet and merge.
  std::sort(g_auiSortList, g_auiSortList + iListed, [](u16 a, u16 b) {
    if (mp_afDepths[a] != mp_afDepths[b]) return mp_afDepths[a] > mp_afDepths[b];
    return std::less<const SRenderSignature*>()(mp_apSignatures[a], mp_apSignatures[b]);
  });
  SDynamicGeometryBatch& batch = mp_aBatches[0][iBatch];
  batch.mp_uiNumDrawCalls = 0;
  const SRenderSignature* pCurrent = nullptr;
  for (i32 i = 0; i < iListed; ++i) {
    const u16 uiElement = g_auiSortList[i];
    const SDynamicGeometryRange& range = mp_aRanges[uiElement];
    KV_ASSERT_MSG(range.mp_uiNumIndices > 0, "A dynamic geometry object was defined with no indices!");
    KV_ASSERT_MSG(m_uiIndexWritePos + range.mp_uiNumIndices < static_cast<u32>(gc_iDYNGEO_MAX_INDICES),
                  "Out of indices in the dynamic geometry buffer!");
    KV_ASSERT_MSG(range.mp_uiFirstIndex + range.mp_uiNumIndices <= static_cast<u32>(m_iNumIndexes),
                  "range.mp_uiFirstIndex + range.mp_uiNumIndices <= m_iNumIndexes");
    if (i == 0 || mp_apSignatures[uiElement] != pCurrent) {
      KV_ASSERT_MSG(batch.mp_uiNumDrawCalls < static_cast<u32>(gc_iDYNGEO_MAX_DRAW_CALLS),
                    "Too many draw calls in the same batch!");
      pCurrent = mp_apSignatures[uiElement];
      batch.mp_aDrawCalls[batch.mp_uiNumDrawCalls++] = SDynamicGeometryDrawCall{pCurrent, m_uiIndexWritePos, 0};
    }
    batch.mp_aDrawCalls[batch.mp_uiNumDrawCalls - 1].mp_uiNumIndices += range.mp_uiNumIndices;
    std::memcpy(m_pLockedIdxes + m_uiIndexWritePos, mp_auiStagingIndexes + range.mp_uiFirstIndex,
                range.mp_uiNumIndices * sizeof(u32));
    m_uiIndexWritePos += range.mp_uiNumIndices;
  }
}
