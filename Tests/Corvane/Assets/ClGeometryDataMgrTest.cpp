#include "Corvane/Assets/ClGeometryDataMgr_WIN32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <new>

#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

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

// Loaded records hold archive references: one with its disk file still open, one whose file is closed but
// whose buffer is held. Release closes both files and gives both references and buffers back; a record that
// is not loaded is left alone.
TEST(ClGeometryDataMgr, ReleaseAllClosesTheReferencesOfLoadedRecords) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(KvTestTempDir("geometry-release"));
  std::ofstream("Mesh.geo") << "vertices";
  std::ofstream("Other.geo") << "more vertices";
  KvTestStartFileIO();
  ClGeometryDataMgr_WIN32::initializePools();

  u32 uiSize = 0;
  SMagRef* pOpen = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Mesh.geo", &uiSize, &pOpen), E_FILE_OK);
  ASSERT_EQ(ClMagFileIO::allocReadBuffers(pOpen, uiSize, 16), 1);
  ASSERT_EQ(ClMagFileIO::read(pOpen, uiSize), E_FILE_OK);
  SMagRef* pRead = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Other.geo", &uiSize, &pRead), E_FILE_OK);
  ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRead, uiSize, 16), 1);
  ASSERT_EQ(ClMagFileIO::read(pRead, uiSize), E_FILE_OK);
  ASSERT_EQ(ClMagFileIO::closeFileHandle(pRead), E_FILE_OK);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 1);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 2);

  *ClGeometryDataMgr_WIN32::m_geometryDataPool.alloc() = SGeometryData{pOpen, 1, 1};
  *ClGeometryDataMgr_WIN32::m_geometryDataPool.alloc() = SGeometryData{nullptr, 2, 0};
  *ClGeometryDataMgr_WIN32::m_geometryDataPool.alloc() = SGeometryData{pRead, 3, 1};
  ClGeometryDataMgr_WIN32::releaseAll();
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  EXPECT_EQ(ClGeometryDataMgr_WIN32::m_geometryDataPool.getCount(), 0);
  KvTestStopFileIO();
  std::filesystem::current_path(previous);
}

}  // namespace
