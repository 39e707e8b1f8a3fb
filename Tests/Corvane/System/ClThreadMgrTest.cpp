#include "Corvane/System/ClThreadMgr.h"

#include <gtest/gtest.h>

#include <atomic>

#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
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

// Sees the stop request, then holds its owner's wait until released.
u32 holdTheStopUntilReleased(ClThread* pThread, void* pArgument) {
  SProbe* pProbe = static_cast<SProbe*>(pArgument);
  while (!pThread->isStopRequested()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  pProbe->bSawStop = true;
  while (!pProbe->bRelease.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  pProbe->bReturned = true;
  return 0;
}

ClThreadInfo paramsFor(SProbe* pProbe, KvThreadCall threadCall = &runUntilReleasedOrStopped) {
  ClThreadInfo params;
  params.mp_creationParams.mp_threadCall = threadCall;
  params.mp_creationParams.mp_pArgument = pProbe;
  return params;
}

ClThread* threadOf(const ClThreadInfo* pInfo) { return pInfo->mp_creationParams.mp_pThread; }

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
  SProbe first, second;
  ClThreadMgr::createThread(paramsFor(&first));
  ClThread* pSecond = threadOf(ClThreadMgr::createThread(paramsFor(&second)));
  ClThread* pFirst = threadOf(ClThreadMgr::mp_daCurActiveThreads.at(0));
  ClThreadMgr::orphanThread(ClThreadMgr::mp_daCurActiveThreads.at(0));
  ASSERT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 1);
  EXPECT_EQ(threadOf(ClThreadMgr::mp_daCurActiveThreads.at(0)), pSecond);
  ASSERT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);
  EXPECT_EQ(threadOf(ClThreadMgr::mp_daOrphanedThreads.at(0)), pFirst);

  ClThreadMgr::update();  // still running: stays listed
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);
  first.bRelease = true;
  ASSERT_TRUE(eventually([&] { return pFirst->isFinished(); }));
  ClThreadMgr::update();
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 0);
  EXPECT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 1);  // active threads are never reaped
  EXPECT_FALSE(first.bSawStop.load());

  // Orphaning an entry a second time (through a copy) is a programming error.
  ClThreadInfo copy = *ClThreadMgr::mp_daCurActiveThreads.at(0);
  ClThreadMgr::orphanThread(&copy);
  EXPECT_KV_ASSERT(ClThreadMgr::orphanThread(&copy), "!mp_daOrphanedThreads.objectExists(*pInfo)");
  ClThreadMgr::shutdown();  // while the probes live
}

TEST_F(ClThreadMgrTest, ShutdownStopsEveryThreadAndWaitsForIt) {
  SProbe orphaned, active;
  ClThreadMgr::orphanThread(ClThreadMgr::createThread(paramsFor(&orphaned)));
  ClThreadMgr::createThread(paramsFor(&active));
  ClThreadMgr::shutdown();
  for (SProbe* pProbe : {&orphaned, &active}) {
    EXPECT_TRUE(pProbe->bReturned.load());
    EXPECT_TRUE(pProbe->bSawStop.load());
  }
  EXPECT_FALSE(ClThreadMgr::isInitialized());
}

TEST_F(ClThreadMgrTest, DestroyThroughAListEntryOrTheOwnersCopy) {
  SProbe first, second, finished;
  ClThreadMgr::createThread(paramsFor(&first));
  ClThread* pSecond = threadOf(ClThreadMgr::createThread(paramsFor(&second)));
  // Destroying the first list entry leaves alone the entry that moves into its place.
  EXPECT_TRUE(ClThreadMgr::destroyThread(ClThreadMgr::mp_daCurActiveThreads.at(0)));
  EXPECT_TRUE(first.bSawStop.load());
  ASSERT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 1);
  EXPECT_EQ(threadOf(ClThreadMgr::mp_daCurActiveThreads.at(0)), pSecond);
  EXPECT_FALSE(pSecond->isStopRequested());

  // A finished orphan destroyed through the owner's copy: the copy no longer names a thread, so a second
  // destroy is caught instead of touching freed memory.
  finished.bRelease = true;
  ClThreadInfo ownersCopy = *ClThreadMgr::createThread(paramsFor(&finished));
  ClThreadMgr::orphanThread(&ownersCopy);
  ASSERT_TRUE(eventually([&] { return threadOf(&ownersCopy)->isFinished(); }));
  EXPECT_TRUE(ClThreadMgr::destroyThread(&ownersCopy));
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 0);
  EXPECT_FALSE(finished.bSawStop.load());
  EXPECT_EQ(threadOf(&ownersCopy), nullptr);
  EXPECT_KV_ASSERT(ClThreadMgr::destroyThread(&ownersCopy), "pInfo->mp_creationParams.mp_pThread");
  EXPECT_FALSE(ClThreadMgr::destroyThread(nullptr));
  ClThreadMgr::shutdown();
}

TEST_F(ClThreadMgrTest, DestroyOnAnotherThreadRemovesItsOwnEntryWhileTheListChanges) {
  SProbe first, held, third;
  ClThreadMgr::createThread(paramsFor(&first));
  ClThreadMgr::createThread(paramsFor(&held, &holdTheStopUntilReleased));
  ClThread* pThird = threadOf(ClThreadMgr::createThread(paramsFor(&third)));
  ClThreadInfo firstCopy = *ClThreadMgr::mp_daCurActiveThreads.at(0);
  ClThreadInfo* pHeldEntry = ClThreadMgr::mp_daCurActiveThreads.at(1);
  std::thread destroyer([pHeldEntry] { EXPECT_TRUE(ClThreadMgr::destroyThread(pHeldEntry)); });
  // While the destroyer waits for the held thread, the list changes under the entry it was given.
  ASSERT_TRUE(eventually([&] { return held.bSawStop.load(); }));
  ClThreadMgr::orphanThread(&firstCopy);
  held.bRelease = true;
  destroyer.join();
  ASSERT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 1);
  EXPECT_EQ(threadOf(ClThreadMgr::mp_daCurActiveThreads.at(0)), pThird);
  EXPECT_FALSE(pThird->isStopRequested());
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);
  ClThreadMgr::update();
  ClThreadMgr::shutdown();
  EXPECT_TRUE(first.bSawStop.load());
  EXPECT_TRUE(third.bSawStop.load());
}

TEST_F(ClThreadMgrTest, ThreadThatCannotStartOrBeAllocatedIsReportedAndNothingLeaks) {
  SProbe probe;
  Win32InjectFault(Win32Fault::ThreadCreate, 0, 1);
  EXPECT_KV_ASSERT(ClThreadMgr::createThread(paramsFor(&probe)), "bResult");
  KvAllocFailNext(1);
  EXPECT_KV_ASSERT(ClThreadMgr::createThread(paramsFor(&probe)), "newInfo.mp_creationParams.mp_pThread");
  EXPECT_KV_ASSERT(ClThreadMgr::createThread(ClThreadInfo{}), "threadCall");
  EXPECT_EQ(ClThreadMgr::mp_daCurActiveThreads.getCount(), 0);
}

}  // namespace
