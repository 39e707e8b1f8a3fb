#include "Corvane/System/ClThreadMgr.h"

#include <gtest/gtest.h>

#include <atomic>

#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Corvane/System/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// What a test thread shares with its test: it runs until released or asked to stop.
struct SProbe {
  std::atomic<bool> bRelease{false};
  std::atomic<bool> bSawStop{false};
  std::atomic<bool> bReturned{false};
};

u32 runUntilReleasedOrStopped(ClThread* pThread, void* pArgument) {
  SProbe* pProbe = static_cast<SProbe*>(pArgument);
  while (!pProbe->bRelease.load() && !pThread->isStopRequested()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  pProbe->bSawStop = pThread->isStopRequested();
  pProbe->bReturned = true;
  return 0;
}

ClThreadInfo paramsFor(SProbe* pProbe) {
  ClThreadInfo params;
  params.mp_creationParams.mp_threadCall = &runUntilReleasedOrStopped;
  params.mp_creationParams.mp_pArgument = pProbe;
  return params;
}

class ClThreadMgrTest : public KvRuntimeTest {
 protected:
  void SetUp() override {
    KvRuntimeTest::SetUp();
    ClThreadMgr::initialize();
  }
  void TearDown() override {
    ClThreadMgr::shutdown();
    KvRuntimeTest::TearDown();
  }
};

TEST_F(ClThreadMgrTest, OrphanedThreadIsReapedAtTheFirstUpdateAfterItFinished) {
  SProbe probe;
  ClThreadInfo* pEntry = ClThreadMgr::createThread(paramsFor(&probe));
  ASSERT_NE(pEntry->mp_creationParams.mp_pThread, nullptr);
  ClThread* pThread = pEntry->mp_creationParams.mp_pThread;
  EXPECT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 1);

  ClThreadMgr::orphanThread(pEntry);
  EXPECT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 0);
  ASSERT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads[0].mp_creationParams.mp_pThread, pThread);

  ClThreadMgr::update();  // still running: stays listed
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);
  EXPECT_FALSE(pThread->isStopRequested());

  probe.bRelease = true;
  ASSERT_TRUE(eventually([&] { return pThread->isFinished(); }));
  ClThreadMgr::update();
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 0);
  EXPECT_FALSE(probe.bSawStop.load());
}

TEST_F(ClThreadMgrTest, OrphaningMovesExactlyThatEntryAndShutdownStopsEveryThread) {
  SProbe first, second, third;
  ClThread* pFirst = ClThreadMgr::createThread(paramsFor(&first))->mp_creationParams.mp_pThread;
  ClThread* pSecond = ClThreadMgr::createThread(paramsFor(&second))->mp_creationParams.mp_pThread;
  ClThreadMgr::orphanThread(ClThreadMgr::mp_daCurActiveThreads.at(0));
  ASSERT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 1);
  ASSERT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);
  EXPECT_EQ(ClThreadMgr::mp_daCurActiveThreads[0].mp_creationParams.mp_pThread, pSecond);
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads[0].mp_creationParams.mp_pThread, pFirst);

  // Orphaning an entry a second time (through a copy) is a programming error.
  ClThreadInfo copy = ClThreadMgr::mp_daOrphanedThreads[0];
  EXPECT_KV_ASSERT(ClThreadMgr::orphanThread(&copy), "!mp_daOrphanedThreads.objectExists(*pInfo)");

  ClThreadMgr::createThread(paramsFor(&third));
  // Shutdown requests a stop of every thread, orphaned or active, and waits until each routine returned.
  ClThreadMgr::shutdown();
  for (SProbe* pProbe : {&first, &second, &third}) {
    EXPECT_TRUE(pProbe->bReturned.load());
    EXPECT_TRUE(pProbe->bSawStop.load());
  }
  EXPECT_FALSE(ClThreadMgr::isInitialized());
}

TEST_F(ClThreadMgrTest, DestroyingAFinishedOrphanThroughTheOwnersCopy) {
  SProbe probe;
  probe.bRelease = true;
  ClThreadInfo* pEntry = ClThreadMgr::createThread(paramsFor(&probe));
  ClThreadInfo ownersCopy = *pEntry;
  ClThreadMgr::orphanThread(pEntry);
  ASSERT_TRUE(eventually([&] { return ownersCopy.mp_creationParams.mp_pThread->isFinished(); }));

  EXPECT_TRUE(ClThreadMgr::destroyThread(&ownersCopy));
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 0);
  EXPECT_FALSE(probe.bSawStop.load());
  // The copy no longer names a thread, so a second destroy is caught instead of touching freed memory.
  EXPECT_EQ(ownersCopy.mp_creationParams.mp_pThread, nullptr);
  EXPECT_KV_ASSERT(ClThreadMgr::destroyThread(&ownersCopy), "pInfo->mp_creationParams.mp_pThread");
  EXPECT_FALSE(ClThreadMgr::destroyThread(nullptr));
}

TEST_F(ClThreadMgrTest, DestroyingAListEntryLeavesTheEntryThatMovesIntoItsPlace) {
  SProbe first, second;
  ClThreadMgr::createThread(paramsFor(&first));
  ClThread* pSecond = ClThreadMgr::createThread(paramsFor(&second))->mp_creationParams.mp_pThread;

  EXPECT_TRUE(ClThreadMgr::destroyThread(ClThreadMgr::mp_daCurActiveThreads.at(0)));
  EXPECT_TRUE(first.bSawStop.load());
  ASSERT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 1);
  EXPECT_EQ(ClThreadMgr::mp_daCurActiveThreads[0].mp_creationParams.mp_pThread, pSecond);
  EXPECT_FALSE(pSecond->isStopRequested());

  EXPECT_TRUE(ClThreadMgr::destroyThread(ClThreadMgr::mp_daCurActiveThreads.at(0)));
  EXPECT_TRUE(second.bSawStop.load());
  EXPECT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 0);
}

TEST_F(ClThreadMgrTest, ThreadThatCannotStartOrBeAllocatedIsReportedAndNothingLeaks) {
  SProbe probe;
  Win32InjectFault(Win32Fault::ThreadCreate, 0, 1);
  EXPECT_KV_ASSERT(ClThreadMgr::createThread(paramsFor(&probe)), "bResult");
  KvAllocFailNext(1);
  EXPECT_KV_ASSERT(ClThreadMgr::createThread(paramsFor(&probe)), "newInfo.mp_creationParams.mp_pThread");
  EXPECT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 0);

  ClThreadInfo noRoutine;
  EXPECT_KV_ASSERT(ClThreadMgr::createThread(noRoutine), "threadCall");
  KvAllocFailNext(0);
}

TEST(ClThreadMgr, InitializeNeedsTheLockPoolAndALock) {
  ClMutexLock::shutdownPool();
  EXPECT_KV_ASSERT(ClThreadMgr::initialize(), "ClMutexLock::g_bInitialized");

  ClMutexLock::initializePool();
  ClMutexLock locks[gc_iMAX_MUTEX_LOCKS];
  for (ClMutexLock& lock : locks) {
    ASSERT_TRUE(ClMutexLock::create(&lock));
  }
  EXPECT_KV_ASSERT(ClThreadMgr::initialize(), "bResult");
  ClMutexLock::shutdownPool();
}

}  // namespace
