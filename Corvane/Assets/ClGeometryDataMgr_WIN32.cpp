#include "Corvane/Assets/ClGeometryDataMgr_WIN32.h"

#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

void releaseBufferArray(SGeometryBufferArray& buffers) {
  for (i32 i = 0; i < buffers.m_iCount && buffers.mp_ppObjects != nullptr; ++i) {
    if (buffers.mp_ppObjects[i] != nullptr) {
      buffers.mp_ppObjects[i]->Release();
      buffers.mp_ppObjects[i] = nullptr;
    }
  }
  KvAlignedFree(buffers.mp_ppObjects);
  KvAlignedFree(buffers.mp_pData);
  buffers = SGeometryBufferArray{};
}

void releaseContainer(SGeometryContainer* pContainer) {
  for (i32 i = 0; i < pContainer->m_iNumVertexStreams && pContainer->mp_ppVertexStreams != nullptr; ++i) {
    SGeometryVertexStream* pStream = pContainer->mp_ppVertexStreams[i];
    if (pStream == nullptr) {
      continue;
    }
    KvAlignedFree(pStream->mp_pData);
    if (pStream->mp_pBuffer != nullptr) {
      pStream->mp_pBuffer->Release();
      pStream->mp_pBuffer = nullptr;
    }
    KvAlignedFree(pStream);
  }
  KvAlignedFree(pContainer->mp_ppVertexStreams);
  pContainer->mp_ppVertexStreams = nullptr;
  pContainer->m_iNumVertexStreams = 0;
  releaseBufferArray(pContainer->m_secondBuffers);
  releaseBufferArray(pContainer->m_thirdBuffers);
}

}  // namespace

void ClGeometryDataMgr_WIN32::initializePools() {
  m_geometryDataPool.initialize();
  m_geometryContainerPool.initialize();
}

void ClGeometryDataMgr_WIN32::releaseAll() {
  for (i32 i = 0; i < m_geometryContainerPool.getCount(); ++i) {
    SGeometryContainer* pContainer = m_geometryContainerPool.get(i);
    KV_ASSERT(pContainer);
    releaseContainer(pContainer);
  }
  while (m_geometryContainerPool.getCount() > 0) {
    m_geometryContainerPool.free(m_geometryContainerPool.get(m_geometryContainerPool.getCount() - 1));
  }

  // A loaded record's file reference frees its own buffer, closes its disk file and goes back to the archive
  // reader's pool.
  for (i32 i = 0; i < m_geometryDataPool.getCount(); ++i) {
    SGeometryData* pData = m_geometryDataPool.get(i);
    if (pData->m_bLoaded && pData->mp_pFileRef != nullptr) {
      ClMagFileIO::close(pData->mp_pFileRef);
    }
    pData->m_bLoaded = 0;
    pData->mp_pFileRef = nullptr;
  }
  while (m_geometryDataPool.getCount() > 0) {
    m_geometryDataPool.free(m_geometryDataPool.get(m_geometryDataPool.getCount() - 1));
  }
}
