#include "Corvane/Assets/ClGeometryDataMgr_WIN32.h"

#include <gtest/gtest.h>

#include <new>

#include "Corvane/Memory/KvAlloc.h"

namespace {

struct SFakeBuffer final : IKvUnknown {
  u32 Release() override { return static_cast<u32>(++iReleases); }
  i32 iReleases = 0;
};

IKvUnknown** objectArray(std::initializer_list<IKvUnknown*> objects) {
  auto** ppObjects = static_cast<IKvUnknown**>(KvAlignedAlloc(sizeof(IKvUnknown*) * objects.size()));
  i32 i = 0;
  for (IKvUnknown* pObject : objects) {
    ppObjects[i++] = pObject;
  }
  return ppObjects;
}

TEST(ClGeometryDataMgr, ReleaseAllOnEmptyPoolsDoesNothing) {
  ClGeometryDataMgr_WIN32::initializePools();
  ClGeometryDataMgr_WIN32::releaseAll();
  EXPECT_EQ(ClGeometryDataMgr_WIN32::m_geometryDataPool.getCount(), 0);
  EXPECT_EQ(ClGeometryDataMgr_WIN32::m_geometryContainerPool.getCount(), 0);
}

TEST(ClGeometryDataMgr, ReleaseAllReleasesEveryBufferOnceAndFreesEveryBlock) {
  ClGeometryDataMgr_WIN32::initializePools();
  SFakeBuffer streamBuffer, second0, second1, third0;

  SGeometryContainer* pContainer = ClGeometryDataMgr_WIN32::m_geometryContainerPool.alloc();
  *pContainer = SGeometryContainer{};
  pContainer->m_iNumVertexStreams = 2;
  pContainer->mp_ppVertexStreams =
      static_cast<SGeometryVertexStream**>(KvAlignedAlloc(sizeof(SGeometryVertexStream*) * 2));
  for (i32 i = 0; i < 2; ++i) {
    auto* pStream = new (KvAlignedAlloc(sizeof(SGeometryVertexStream))) SGeometryVertexStream;
    pStream->mp_pData = KvAlignedAlloc(64);
    pStream->mp_pBuffer = i == 0 ? &streamBuffer : nullptr;  // a stream whose buffer was never made
    pContainer->mp_ppVertexStreams[i] = pStream;
  }
  pContainer->m_secondBuffers = {objectArray({&second0, nullptr, &second1}), KvAlignedAlloc(32), 3};
  pContainer->m_thirdBuffers = {objectArray({&third0}), KvAlignedAlloc(32), 1};
  SGeometryContainer* pEmpty = ClGeometryDataMgr_WIN32::m_geometryContainerPool.alloc();
  *pEmpty = SGeometryContainer{};

  SGeometryData* pData = ClGeometryDataMgr_WIN32::m_geometryDataPool.alloc();
  *pData = SGeometryData{nullptr, 7, 0};

  ClGeometryDataMgr_WIN32::releaseAll();
  for (SFakeBuffer* pBuffer : {&streamBuffer, &second0, &second1, &third0}) {
    EXPECT_EQ(pBuffer->iReleases, 1);
  }
  EXPECT_EQ(pContainer->mp_ppVertexStreams, nullptr);
  EXPECT_EQ(pContainer->m_secondBuffers.mp_ppObjects, nullptr);
  EXPECT_EQ(ClGeometryDataMgr_WIN32::m_geometryDataPool.getCount(), 0);
  EXPECT_EQ(ClGeometryDataMgr_WIN32::m_geometryContainerPool.getCount(), 0);

  // A second release finds nothing to release again.
  ClGeometryDataMgr_WIN32::releaseAll();
  EXPECT_EQ(second0.iReleases, 1);
}

}  // namespace
