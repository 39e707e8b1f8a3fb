#include "Corvane/System/ClTaskMgr.h"

#include <gtest/gtest.h>

#include <atomic>

#include "Corvane/System/ClJobMgr.h"
#include "Platform/Win32/Win32Threads.h"
#include "Tests/Corvane/System/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// Task data of the tests below: the task waits at the gate, then notes its thread and counts itself.
struct STaskProbe {
  std::atomic<bool>* pGate = nullptr;
  std::atomic<i32>* pRun = nullptr;
  std::atomic<DWORD> dwThread{0};
};

void probeTask(void* pTaskData) {
  STaskProbe* pProbe = static_cast<STaskProbe*>(pTaskData);
  while (pProbe->pGate != nullptr && !pProbe->pGate->load()) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  pProbe->dwThread = GetCurrentThreadId();
  if (pProbe->pRun != nullptr) {
    ++*pProbe->pRun;
  }
}

class ClTaskMgrTest : public KvRuntimeTest {
 protected:
  void TearDown() override {
    ClTaskMgr::shutdown();
    KvRuntimeTest::TearDown();
  }
};

TEST_F(ClTaskMgrTest, WorkerCountFollowsTheProcessorRecords) {
  Win32SetProcessorTopology(2, 2);
  ClTaskMgr::countLogicalProcessors();
  EXPECT_EQ(ClTaskMgr::getNumCores(), 2);
  EXPECT_EQ(ClTaskMgr::getNumLogicalProcessors(), 4);

  // Without the processor records, or when the call fails, one worker runs.
  for (Win32Fault eFault : {Win32Fault::ProcessorInfoMissing, Win32Fault::ProcessorInfoCall}) {
    Win32InjectFault(eFault, 0, -1);
    ClTaskMgr::initialize();
    EXPECT_EQ(ClTaskMgr::getNumCores(), 1);
    EXPECT_EQ(ClTaskMgr::getNumLogicalProcessors(), 1);
    EXPECT_EQ(ClTaskMgr::mp_daIdleWorkers.getCount(), 1);
    ClTaskMgr::shutdown();
    Win32ClearFaults();
  }

  // Each worker waits on its own named event.
  ClTaskMgr::initialize();
  EXPECT_EQ(ClTaskMgr::mp_daIdleWorkers.getCount(), 4);
  HANDLE hSame = CreateEventA(nullptr, FALSE, FALSE, "WTT_WaitEvent_3");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(hSame);
}

TEST_F(ClTaskMgrTest, LatestTaskGoesToTheLatestIdleWorkerAndCompletesOnTheDispatcher) {
  Win32SetProcessorTopology(2, 1);
  ClTaskMgr::initialize();
  SThreadEntry* pFirstIdle = &ClTaskMgr::mp_pThreadEntries[0];
  SThreadEntry* pSecondIdle = &ClTaskMgr::mp_pThreadEntries[1];
  ASSERT_EQ(ClTaskMgr::mp_daIdleWorkers[0], pFirstIdle);

  std::atomic<bool> bGate{false};
  std::atomic<i32> iRun{0};
  STaskProbe t1, t2, t3;
  for (STaskProbe* pProbe : {&t1, &t2, &t3}) {
    pProbe->pGate = &bGate;
    pProbe->pRun = &iRun;
  }
  // A job record as owner, so that each retirement is counted by the job manager's completion routine.
  ClJob job;
  ClTaskMgr::addTask(&job, &t1, &probeTask);
  ClTaskMgr::addTask(&job, &t2, &probeTask);
  ClTaskMgr::addTask(&job, &t3, &probeTask);
  job.m_iNumTasks = 4;  // never complete: no finished callback is wanted here
  ClTaskMgr::dispatchTasks();

  ASSERT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), 2);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks[0].pTaskData, &t3);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks[0].mp_pWorker, pSecondIdle);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks[1].pTaskData, &t2);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks[1].mp_pWorker, pFirstIdle);
  ASSERT_EQ(ClTaskMgr::mp_daTaskQueue.getCount(), 1);
  EXPECT_EQ(ClTaskMgr::mp_daTaskQueue[0].pTaskData, &t1);

  bGate = true;
  ASSERT_TRUE(eventually([&] { return iRun.load() == 2; }));
  EXPECT_EQ(t3.dwThread.load(), pSecondIdle->m_uiThreadId);
  EXPECT_EQ(t2.dwThread.load(), pFirstIdle->m_uiThreadId);
  // Finished on the workers, but retired (and counted) only by the next dispatch.
  EXPECT_EQ(job.m_iNumFinishedTasks, 0);
  ASSERT_TRUE(eventually([&] {
    ClTaskMgr::dispatchTasks();
    return job.m_iNumFinishedTasks == 3;
  }));
  EXPECT_EQ(ClTaskMgr::mp_daIdleWorkers.getCount(), 2);
  EXPECT_EQ(ClTaskMgr::mp_daTaskQueue.getCount(), 0);

  EXPECT_KV_ASSERT(ClTaskMgr::addTask(&job, nullptr, &probeTask), "pTaskData");
  EXPECT_KV_ASSERT(ClTaskMgr::addTask(&job, &t1, nullptr), "taskCallback");
}

TEST_F(ClTaskMgrTest, WorkersThatCannotStartAreLeftOutAndShutdownStaysClean) {
  Win32SetProcessorTopology(4, 1);
  Win32InjectFault(Win32Fault::EventCreate, 0, 1);      // worker 0: no event, so no thread either
  Win32InjectFault(Win32Fault::ThreadCreate, 0, 1, 1);  // worker 2: its thread is refused
  ClTaskMgr::initialize();
  EXPECT_EQ(ClTaskMgr::mp_pThreadEntries[0].m_iStatus.load(), gc_iWORKER_STATUS_FAILED);
  EXPECT_EQ(ClTaskMgr::mp_pThreadEntries[2].m_iStatus.load(), gc_iWORKER_STATUS_FAILED);
  ASSERT_EQ(ClTaskMgr::mp_daIdleWorkers.getCount(), 2);
  EXPECT_EQ(ClTaskMgr::mp_daIdleWorkers[0], &ClTaskMgr::mp_pThreadEntries[1]);
  EXPECT_EQ(ClTaskMgr::mp_daIdleWorkers[1], &ClTaskMgr::mp_pThreadEntries[3]);

  std::atomic<i32> iRun{0};
  STaskProbe aProbes[10];
  ClJob job;  // its task count stays 0, so the retirements are counted without a finished callback
  for (STaskProbe& probe : aProbes) {
    probe.pRun = &iRun;
    ClTaskMgr::addTask(&job, &probe, &probeTask);
  }
  ASSERT_TRUE(eventually([&] {
    ClTaskMgr::dispatchTasks();
    return job.m_iNumFinishedTasks == 10;
  }));
  EXPECT_EQ(iRun.load(), 10);
  for (const STaskProbe& probe : aProbes) {
    EXPECT_TRUE(probe.dwThread == ClTaskMgr::mp_pThreadEntries[1].m_uiThreadId ||
                probe.dwThread == ClTaskMgr::mp_pThreadEntries[3].m_uiThreadId);
  }
  ClTaskMgr::shutdown();
  EXPECT_FALSE(ClTaskMgr::isInitialized());
}

TEST_F(ClTaskMgrTest, ShutdownWaitsForBusyWorkersAndDropsQueuedTasks) {
  Win32SetProcessorTopology(2, 1);
  ClTaskMgr::initialize();
  std::atomic<bool> bGate{false};
  std::atomic<i32> iRun{0};
  STaskProbe aProbes[5];
  ClJob job;
  for (STaskProbe& probe : aProbes) {
    probe.pGate = &bGate;
    probe.pRun = &iRun;
    ClTaskMgr::addTask(&job, &probe, &probeTask);
  }
  ClTaskMgr::dispatchTasks();  // two tasks handed out, both held at the gate
  ASSERT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), 2);

  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    bGate = true;
  });
  ClTaskMgr::shutdown();
  opener.join();
  // The handed-out tasks ran to their end; the queued ones never started, and no completion ran.
  EXPECT_EQ(iRun.load(), 2);
  EXPECT_EQ(job.m_iNumFinishedTasks, 0);
  EXPECT_FALSE(ClTaskMgr::isInitialized());
}

}  // namespace
