#include "Corvane/Assets/ClGeometryDataMgr_WIN32.h"

#include <gtest/gtest.h>

#include <new>

#include "Corvane/Memory/KvAlloc.h"

namespace {

struct SFakeBuffer final : IKvUnknown {
  u32 Release() override { return static_cast<u32>(++iReleases); }
  i32 iReleases = 0;
};

template <typename T>
T* block(size_t uiCount = 1) {
  return static_cast<T*>(KvAlignedAlloc(sizeof(T) * uiCount));
}

TEST(ClGeometryDataMgr, ReleaseAllReleasesEveryBufferOnceAndEmptiesThePools) {
  ClGeometryDataMgr_WIN32::initializePools();
  ClGeometryDataMgr_WIN32::releaseAll();  // empty pools: nothing to do
  EXPECT_EQ(ClGeometryDataMgr_WIN32::m_geometryContainerPool.getCount(), 0);

  SFakeBuffer streamBuffer, second0, second1, third0;
  SGeometryContainer* pContainer = ClGeometryDataMgr_WIN32::m_geometryContainerPool.alloc();
  *pContainer = SGeometryContainer{};
  pContainer->m_iNumVertexStreams = 2;
  pContainer->mp_ppVertexStreams = block<SGeometryVertexStream*>(2);
  for (i32 i = 0; i < 2; ++i) {
    // The second stream's buffer was never made.
    pContainer->mp_ppVertexStreams[i] =
        new (block<SGeometryVertexStream>()) SGeometryVertexStream{i == 0 ? &streamBuffer : nullptr, block<u8>(64)};
  }
  IKvUnknown** ppSecond = block<IKvUnknown*>(3);
  ppSecond[0] = &second0;
  ppSecond[1] = nullptr;
  ppSecond[2] = &second1;
  pContainer->m_secondBuffers = {ppSecond, block<u8>(32), 3};
  IKvUnknown** ppThird = block<IKvUnknown*>(1);
  ppThird[0] = &third0;
  pContainer->m_thirdBuffers = {ppThird, block<u8>(32), 1};
  *ClGeometryDataMgr_WIN32::m_geometryContainerPool.alloc() = SGeometryContainer{};
  *ClGeometryDataMgr_WIN32::m_geometryDataPool.alloc() = SGeometryData{nullptr, 7, 0};

  // Every block is freed (the leak check sees it otherwise) and every buffer released once.
  ClGeometryDataMgr_WIN32::releaseAll();
  for (SFakeBuffer* pBuffer : {&streamBuffer, &second0, &second1, &third0}) {
    EXPECT_EQ(pBuffer->iReleases, 1);
  }
  EXPECT_EQ(ClGeometryDataMgr_WIN32::m_geometryDataPool.getCount(), 0);
  EXPECT_EQ(ClGeometryDataMgr_WIN32::m_geometryContainerPool.getCount(), 0);
  EXPECT_EQ(pContainer->m_secondBuffers.mp_ppObjects, nullptr);  // nothing left to release twice
}

}  // namespace
