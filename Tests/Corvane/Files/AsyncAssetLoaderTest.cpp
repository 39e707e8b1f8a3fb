#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Tests/Corvane/Files/FilesTestSupport.h"

namespace {

struct Report {
  std::vector<u8> bytes;  // copied inside the loaded callback
  i32 iLoaded = 0;
  i32 iFailed = 0;
  i32 iFailedStep = 0;
  i32 iErrorCode = 0;
};

void onLoaded(SAsyncAssetEntry* pEntry, void* pUser) {
  Report* pReport = static_cast<Report*>(pUser);
  ++pReport->iLoaded;
  pReport->bytes.assign(pEntry->mp_pData, pEntry->mp_pData + pEntry->mp_uiDataSize);
}

void onFailed(SAsyncAssetEntry*, void* pUser, i32 iFailedStep, i32 iErrorCode) {
  Report* pReport = static_cast<Report*>(pUser);
  ++pReport->iFailed;
  pReport->iFailedStep = iFailedStep;
  pReport->iErrorCode = iErrorCode;
}

class AsyncAssetLoader : public DataRootTest {
 protected:
  void SetUp() override {
    DataRootTest::SetUp();
    ClAsyncAssetLoaderMgr::initialize();
    copyFixture();
    ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  }
  void TearDown() override {
    ClAsyncAssetLoaderMgr::terminate();
    EXPECT_EQ(ClAsyncAssetLoaderMgr::getQueueCount(), 0);
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
    ClMagFileIO::closeIdleFiles();  // the data file the archive keeps between references
    EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
    DataRootTest::TearDown();
  }
  SAsyncAssetEntry* request(const char* pPath, Report* pReport) {
    return ClAsyncAssetLoaderMgr::requestAsset(pPath, pReport, &onLoaded, &onFailed);
  }
  // Ticks, with an alertable wait before each tick, until the entry reports; the number of ticks.
  static i32 tickUntilReported(const Report& report, i32 iLimit = 50) {
    for (i32 i = 1; i <= iLimit; ++i) {
      ClFileIO::sleepAlertable(0);
      ClAsyncAssetLoaderMgr::tick();
      ClAsyncAssetLoaderMgr::dispatchFinished();
      if (report.iLoaded + report.iFailed > 0) return i;
    }
    return -1;
  }
};

TEST_F(AsyncAssetLoader, AnEntryAdvancesOneStepPerTickAndLoadsOnItsFifthTick) {
  ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash("TST")), 1);
  Report report;
  SAsyncAssetEntry* pEntry = request(".\\Effects\\Glow.fxo", &report);
  ASSERT_NE(pEntry, nullptr);
  EXPECT_EQ(pEntry->mp_eState, E_AAS_WAITING);
  EXPECT_EQ(pEntry->mp_uiAssetType, gc_uiASSET_TYPE_EFFECT);
  EXPECT_EQ(pEntry->mp_iNameHash, static_cast<i32>(KvStrHash(".\\Effects\\Glow.fxo")));
  // An archive in memory completes every step at once: one state a tick, the callback on the fifth.
  for (i32 iState : {E_AAS_OPENING, E_AAS_READING, E_AAS_CLOSING, E_AAS_LOADED}) {
    ClAsyncAssetLoaderMgr::tick();
    EXPECT_EQ(pEntry->mp_eState, iState);
    EXPECT_EQ(report.iLoaded, 0);
  }
  ClAsyncAssetLoaderMgr::tick();
  EXPECT_EQ(report.iLoaded, 1);
  EXPECT_EQ(report.bytes, fixtureSource("Effects/Glow.fxo"));
  EXPECT_TRUE(pEntry->mp_bLoadedCallbackCalled);
  // The bytes point into the archive and stay valid until the entry is released.
  const ClMagTOC* pTOC = ClMagFileIO::findTOC(KvStrHash("TST"));
  EXPECT_GE(pEntry->mp_pData, pTOC->mp_pData);
  EXPECT_LT(pEntry->mp_pData, pTOC->mp_pData + pTOC->mp_uiDataSize);
  ClAsyncAssetLoaderMgr::tick();
  ClAsyncAssetLoaderMgr::dispatchFinished();
  EXPECT_EQ(report.iLoaded, 1);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::getQueueCount(), 1);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 1);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pEntry), 1);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(nullptr), 0);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::getQueueCount(), 0);
}

TEST_F(AsyncAssetLoader, ReadsFromDiskWaitForTheirCompletionInAnAlertableWait) {
  Report report;
  SAsyncAssetEntry* pEntry = request(".\\Effects\\Glow.fxo", &report);
  ClAsyncAssetLoaderMgr::tick();
  ClAsyncAssetLoaderMgr::tick();
  ASSERT_EQ(pEntry->mp_eState, E_AAS_READING);
  // Without an alertable wait the read never completes.
  for (i32 i = 0; i < 5; ++i) ClAsyncAssetLoaderMgr::tick();
  EXPECT_EQ(pEntry->mp_eState, E_AAS_READING);
  EXPECT_EQ(tickUntilReported(report), 3);
  EXPECT_EQ(report.bytes, fixtureSource("Effects/Glow.fxo"));
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);  // closed once read; the reference keeps the bytes
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pEntry), 1);
}

TEST_F(AsyncAssetLoader, LargeLooseFilesLoadInChunksAndRequestsRunOneAfterTheOther) {
  const std::vector<u8> bytes = patternBytes(2 * gc_uiMIB + gc_uiMIB / 2);
  writeBytes(m_dir + "/Effects/Big.fxo", bytes);
  Report first;
  Report second;
  SAsyncAssetEntry* pFirst = request(".\\Effects\\Big.fxo", &first);
  SAsyncAssetEntry* pSecond = request(".\\Effects\\Glow.fxo", &second);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::getQueueCount(), 2);
  for (i32 i = 0; i < 6 && pFirst->mp_eState != E_AAS_LOADED; ++i) {
    EXPECT_EQ(pSecond->mp_eState, E_AAS_WAITING);
    ClFileIO::sleepAlertable(0);
    ClAsyncAssetLoaderMgr::tick();
  }
  ASSERT_EQ(pFirst->mp_eState, E_AAS_LOADED);
  EXPECT_EQ(pSecond->mp_eState, E_AAS_WAITING);
  ASSERT_GT(tickUntilReported(second), 0);
  EXPECT_EQ(first.iLoaded, 1);
  EXPECT_EQ(first.bytes, bytes);
  EXPECT_EQ(second.bytes, fixtureSource("Effects/Glow.fxo"));
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pFirst), 1);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pSecond), 1);
}

TEST_F(AsyncAssetLoader, FailuresReportTheirStepAndCodeOnceAndAreReleasedByTheDispatch) {
  struct Case {
    const char* pPath;
    void (*setUp)();
    i32 iStep;
    i32 iCode;
  };
  const Case cases[] = {
      {".\\Effects\\Missing.fxo", [] {}, E_AAS_STEP_OPEN, E_FILE_CANNOT_OPEN},
      // Encoded entries cannot be read as stored.
      {".\\Text\\Both.txt", [] {}, E_AAS_STEP_OPEN, E_FILE_DAMAGED},
      {".\\Effects\\Glow.fxo", [] { Win32InjectFault(Win32Fault::ReadComplete, 0, 1); }, E_AAS_STEP_READ,
       ERROR_READ_FAULT},
      {".\\Effects\\Glow.fxo", [] { Win32InjectFault(Win32Fault::ReadStart, 0, 1); }, E_AAS_STEP_READ,
       E_FILE_READ_REFUSED},
      {".\\Effects\\Glow.fxo", [] { Win32InjectFault(Win32Fault::FileOpen, 0, 1); }, E_AAS_STEP_OPEN,
       E_FILE_CANNOT_OPEN},
      // A chunk that cannot be started ends the read with its error instead of leaving the loader waiting.
      {".\\Effects\\Big.fxo", [] { Win32InjectFault(Win32Fault::ReadStart, 0, 1, 1); }, E_AAS_STEP_READ,
       ERROR_READ_FAULT},
  };
  writeBytes(m_dir + "/Effects/Big.fxo", patternBytes(2 * gc_uiMIB + 7));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pPath) + " step " + std::to_string(c.iStep));
    Report report;
    c.setUp();
    ::testing::internal::CaptureStderr();
    SAsyncAssetEntry* pEntry = request(c.pPath, &report);
    ASSERT_NE(pEntry, nullptr);
    EXPECT_GT(tickUntilReported(report), 0);
    ::testing::internal::GetCapturedStderr();
    Win32ClearFaults();
    EXPECT_EQ(report.iFailed, 1);
    EXPECT_EQ(report.iLoaded, 0);
    EXPECT_EQ(report.iFailedStep, c.iStep);
    EXPECT_EQ(report.iErrorCode, c.iCode);
    // Gone after the dispatch, with its reference and file given back (the archive may keep its data file).
    EXPECT_EQ(ClAsyncAssetLoaderMgr::getQueueCount(), 0);
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
    ClMagFileIO::closeIdleFiles();
    EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
  }
  // A failed allocation of the read buffers.
  Report report;
  SAsyncAssetEntry* pEntry = request(".\\Effects\\Glow.fxo", &report);
  ClAsyncAssetLoaderMgr::tick();
  ASSERT_EQ(pEntry->mp_eState, E_AAS_OPENING);
  KvAllocFailNext(1);
  ClAsyncAssetLoaderMgr::tick();
  EXPECT_EQ(pEntry->mp_eState, E_AAS_FAILED);
  ClAsyncAssetLoaderMgr::dispatchFinished();
  EXPECT_EQ(report.iFailed, 1);
  EXPECT_EQ(report.iFailedStep, E_AAS_STEP_ALLOCATE);
  EXPECT_EQ(report.iErrorCode, 0);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
}

TEST_F(AsyncAssetLoader, ReleasingAnEntryWhoseReadIsInFlightWaitsForTheRead) {
  const std::vector<u8> bytes = patternBytes(3 * gc_uiMIB);
  writeBytes(m_dir + "/Effects/Big.fxo", bytes);
  Report report;
  Report next;
  SAsyncAssetEntry* pEntry = request(".\\Effects\\Big.fxo", &report);
  SAsyncAssetEntry* pNext = request(".\\Effects\\Glow.fxo", &next);
  ClAsyncAssetLoaderMgr::tick();
  ClAsyncAssetLoaderMgr::tick();
  ASSERT_EQ(pEntry->mp_eState, E_AAS_READING);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pEntry), 1);
  // The read completed before the entry went: nothing of it is still queued to this thread.
  EXPECT_NE(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
  EXPECT_EQ(report.iFailed, 0);
  // The loader goes on with the next request.
  ASSERT_GT(tickUntilReported(next), 0);
  EXPECT_EQ(next.bytes, fixtureSource("Effects/Glow.fxo"));
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pNext), 1);
}

TEST_F(AsyncAssetLoader, ReleasingTheCurrentEntryMovesTheLoaderOnToTheNextWaitingOne) {
  ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash("TST")), 1);
  writeBytes(m_dir + "/Effects/Other.fxo", patternBytes(100));
  Report first;
  Report second;
  Report third;
  SAsyncAssetEntry* pFirst = request(".\\Effects\\Glow.fxo", &first);
  SAsyncAssetEntry* pSecond = request(".\\Effects\\Glow.fxo", &second);
  request(".\\Effects\\Other.fxo", &third);
  // The first loads; released before the tick that would report it, the loader must not keep it as current.
  for (i32 i = 0; i < 4; ++i) ClAsyncAssetLoaderMgr::tick();
  ASSERT_EQ(pFirst->mp_eState, E_AAS_LOADED);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pFirst), 1);
  EXPECT_EQ(first.iLoaded, 0);
  // The second is current and still waiting: released, the loader continues with the third.
  ClAsyncAssetLoaderMgr::tick();
  ASSERT_EQ(pSecond->mp_eState, E_AAS_OPENING);
  for (i32 i = 0; i < 4; ++i) ClAsyncAssetLoaderMgr::tick();
  ASSERT_EQ(second.iLoaded, 1);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pSecond), 1);
  ASSERT_GT(tickUntilReported(third), 0);
  EXPECT_EQ(third.bytes, patternBytes(100));
  EXPECT_EQ(ClAsyncAssetLoaderMgr::getQueueCount(), 1);
}

TEST_F(AsyncAssetLoader, ReleasingAWaitingCurrentEntryLeavesTheLoaderOnTheFollowingOne) {
  Report reports[3];
  SAsyncAssetEntry* pEntries[3];
  for (i32 i = 0; i < 3; ++i) pEntries[i] = request(".\\Effects\\Glow.fxo", &reports[i]);
  // The first fails to open, so the loader makes the second current without starting it.
  Win32InjectFault(Win32Fault::FileOpen, 0, 1);
  ::testing::internal::CaptureStderr();
  ClAsyncAssetLoaderMgr::tick();
  ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(pEntries[0]->mp_eState, E_AAS_FAILED);
  ClAsyncAssetLoaderMgr::tick();
  ASSERT_EQ(ClAsyncAssetLoaderMgr::pCurrentAsset, pEntries[1]);
  EXPECT_EQ(reports[0].iFailed, 1);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::releaseAsset(pEntries[1]), 1);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::pCurrentAsset, pEntries[2]);
  ClAsyncAssetLoaderMgr::dispatchFinished();
  ASSERT_GT(tickUntilReported(reports[2]), 0);
  EXPECT_EQ(reports[2].iLoaded, 1);
}

TEST_F(AsyncAssetLoader, TerminateWaitsForEveryEntryAndReleasesThemAll) {
  writeBytes(m_dir + "/Effects/Big.fxo", patternBytes(2 * gc_uiMIB + 1));
  Report reports[3];
  request(".\\Effects\\Big.fxo", &reports[0]);
  request(".\\Effects\\Glow.fxo", &reports[1]);
  request(".\\Effects\\Missing.fxo", &reports[2]);
  ClAsyncAssetLoaderMgr::tick();
  ClAsyncAssetLoaderMgr::tick();  // the first read is in flight
  ClAsyncAssetLoaderMgr::terminate();
  EXPECT_EQ(ClAsyncAssetLoaderMgr::getQueueCount(), 0);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::pCurrentAsset, nullptr);
  EXPECT_NE(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
}

}  // namespace
