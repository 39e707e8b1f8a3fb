#include "Corvane/System/ClTaskMgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <vector>

#include "Corvane/System/ClJobMgr.h"
#include "Platform/Win32/Win32Threads.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// Task data: the task counts its arrival (when asked), waits at the gate (when given), then notes its thread,
// whether the flag was already up as it ended (when given), its place in the sequence (when given) and which
// routine ran it, and counts itself.
struct STaskProbe {
  std::atomic<bool>* pGate = nullptr;
  std::atomic<i32>* pRun = nullptr;
  std::atomic<i32>* pArrived = nullptr;
  const std::atomic<bool>* pFlag = nullptr;
  std::atomic<i32>* pSequence = nullptr;
  std::atomic<DWORD> dwThread{0};
  std::atomic<bool> bFlagAtEnd{false};
  std::atomic<i32> iOrder{-1};
  std::atomic<i32> iRuns{0};
  std::atomic<bool> bOtherRoutine{false};
};

void probeTask(void* pTaskData) {
  STaskProbe* pProbe = static_cast<STaskProbe*>(pTaskData);
  if (pProbe->pArrived != nullptr) ++*pProbe->pArrived;
  while (pProbe->pGate != nullptr && !pProbe->pGate->load()) std::this_thread::yield();
  pProbe->dwThread = GetCurrentThreadId();
  if (pProbe->pFlag != nullptr) pProbe->bFlagAtEnd = pProbe->pFlag->load();
  if (pProbe->pSequence != nullptr) pProbe->iOrder = (*pProbe->pSequence)++;
  ++pProbe->iRuns;
  ++*pProbe->pRun;
}

void otherProbeTask(void* pTaskData) {
  static_cast<STaskProbe*>(pTaskData)->bOtherRoutine = true;
  probeTask(pTaskData);
}

class ClTaskMgrTest : public KvRuntimeTest {
 protected:
  void TearDown() override {
    Win32SetBlockingCallHook(nullptr);
    ClTaskMgr::shutdown();
    ClTaskMgr::mp_iWatchMicroseconds = gc_iWATCH_MICROSECONDS;
    KvRuntimeTest::TearDown();
  }
  void queue(STaskProbe* aProbes, i32 iCount, std::atomic<bool>* pGate) {
    for (i32 i = 0; i < iCount; ++i) {
      aProbes[i].pGate = pGate;
      aProbes[i].pRun = &m_iRun;
      ClTaskMgr::addTask(&m_owner, &aProbes[i], &probeTask);
    }
  }
  bool retireAll(i32 iCount) {
    return eventually([&] {
      ClTaskMgr::dispatchTasks();
      return m_owner.m_iNumFinishedTasks == iCount;
    });
  }
  // Owner of the tasks: its task count stays 0, so the job manager's completion routine counts retirements
  // without ever calling a finished callback.
  ClJob m_owner;
  std::atomic<i32> m_iRun{0};
};

TEST_F(ClTaskMgrTest, WorkerCountFollowsTheProcessorRecords) {
  Win32SetProcessorTopology(2, 2);
  ClTaskMgr::initialize();
  EXPECT_EQ(ClTaskMgr::getNumCores(), 2);
  EXPECT_EQ(ClTaskMgr::mp_daIdleWorkers.getCount(), 4);
  ClTaskMgr::shutdown();

  // Masks are pointer-sized: processors past the 32nd count too.
  Win32SetProcessorTopology(2, 20);
  ClTaskMgr::countLogicalProcessors();
  EXPECT_EQ(ClTaskMgr::getNumCores(), 2);
  EXPECT_EQ(ClTaskMgr::getNumLogicalProcessors(), 40);
  Win32SetProcessorTopology(64, 1);
  ClTaskMgr::countLogicalProcessors();
  EXPECT_EQ(ClTaskMgr::getNumLogicalProcessors(), 64);

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
}

TEST_F(ClTaskMgrTest, LatestTaskGoesToTheLatestIdleWorkerAndIsRetiredByTheDispatcher) {
  Win32SetProcessorTopology(2, 1);
  ClTaskMgr::initialize();
  SThreadEntry* pFirstIdle = &ClTaskMgr::mp_pThreadEntries[0];
  SThreadEntry* pSecondIdle = &ClTaskMgr::mp_pThreadEntries[1];
  ASSERT_EQ(ClTaskMgr::mp_daIdleWorkers[0], pFirstIdle);

  std::atomic<bool> bGate{false};
  STaskProbe aProbes[3];  // T1, T2, T3 in queueing order
  queue(aProbes, 3, &bGate);
  ClTaskMgr::dispatchTasks();
  ASSERT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), 2);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks[0].pTaskData, &aProbes[2]);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks[0].mp_pWorker, pSecondIdle);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks[1].pTaskData, &aProbes[1]);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks[1].mp_pWorker, pFirstIdle);
  EXPECT_EQ(ClTaskMgr::mp_daTaskQueue[0].pTaskData, &aProbes[0]);

  // Once the gate opens, the first worker to finish takes T1 from the queue itself, with no dispatch in
  // between; nothing is retired until the controlling thread dispatches.
  bGate = true;
  ASSERT_TRUE(eventually([&] { return m_iRun.load() == 3; }));
  EXPECT_EQ(aProbes[2].dwThread.load(), pSecondIdle->m_uiThreadId);
  EXPECT_EQ(aProbes[1].dwThread.load(), pFirstIdle->m_uiThreadId);
  EXPECT_TRUE(aProbes[0].dwThread == pFirstIdle->m_uiThreadId || aProbes[0].dwThread == pSecondIdle->m_uiThreadId);
  EXPECT_EQ(m_owner.m_iNumFinishedTasks, 0);
  ASSERT_TRUE(retireAll(3));
  EXPECT_EQ(ClTaskMgr::mp_daIdleWorkers.getCount(), 2);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), 0);
  // Idle workers sleep on their events.
  EXPECT_TRUE(eventually([&] { return !ClTaskMgr::isAnyWorkerAwake(); }));
  EXPECT_KV_ASSERT(ClTaskMgr::addTask(&m_owner, nullptr, &probeTask), "pTaskData");
}

// The controlling thread runs queued tasks itself, latest first, and completes each at once; the task held by
// the only worker stays with it.
TEST_F(ClTaskMgrTest, ControllingThreadRunsQueuedTasksLatestFirst) {
  Win32SetProcessorTopology(1, 1);
  ClTaskMgr::initialize();
  std::atomic<bool> bGate{false};
  std::atomic<i32> iArrived{0};
  STaskProbe aProbes[3];
  queue(aProbes, 2, nullptr);
  aProbes[2].pArrived = &iArrived;
  queue(&aProbes[2], 1, &bGate);
  ClTaskMgr::dispatchTasks();  // T3 to the worker, held at the gate
  ASSERT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), 1);
  ASSERT_TRUE(eventually([&] { return iArrived.load() == 1; }));

  ASSERT_TRUE(ClTaskMgr::runQueuedTask());
  EXPECT_EQ(aProbes[1].dwThread.load(), GetCurrentThreadId());
  EXPECT_EQ(aProbes[0].dwThread.load(), 0u) << "T2 before T1";
  EXPECT_EQ(m_owner.m_iNumFinishedTasks, 1);
  ASSERT_TRUE(ClTaskMgr::runQueuedTask());
  EXPECT_EQ(aProbes[0].dwThread.load(), GetCurrentThreadId());
  EXPECT_EQ(m_owner.m_iNumFinishedTasks, 2);
  EXPECT_FALSE(ClTaskMgr::runQueuedTask());
  EXPECT_EQ(aProbes[2].dwThread.load(), 0u);

  bGate = true;
  ASSERT_TRUE(retireAll(3));
  EXPECT_EQ(aProbes[2].dwThread.load(), ClTaskMgr::mp_pThreadEntries[0].m_uiThreadId);
}

// A worker takes a share of a long queue in one step; once nothing is queued the controlling thread takes back,
// half at a time, what the worker has not started of its share while it is held in its running task, the first
// of its share. Tasks reach the queue only when the controlling thread publishes them (here: its dispatch).
TEST_F(ClTaskMgrTest, WorkersTakeSharesAndTheControllingThreadTakesBackTheUnstartedRest) {
  Win32SetProcessorTopology(1, 1);
  ClTaskMgr::initialize();
  constexpr i32 iTASKS = 41;
  constexpr i32 iHELD = 30;  // 40 queued when the worker takes its share: a quarter (it and this thread, half)
  std::atomic<bool> bGate{false};
  std::atomic<i32> iArrived{0};
  STaskProbe aProbes[iTASKS];
  aProbes[iHELD].pArrived = &iArrived;
  queue(aProbes, iHELD, nullptr);
  queue(&aProbes[iHELD], 1, &bGate);
  queue(&aProbes[iHELD + 1], iTASKS - iHELD - 1, nullptr);  // the last is the worker's first hand-out
  EXPECT_EQ(ClTaskMgr::mp_daTaskQueue.getCount(), 0) << "staged, not queued";
  ClTaskMgr::dispatchTasks();
  ASSERT_TRUE(eventually([&] { return iArrived.load() == 1; }));
  i32 iRunHere = 0;
  std::vector<i32> shares;
  for (i32 iRun = ClTaskMgr::runQueuedTasks(gc_iMAX_TASK_SHARE); iRun > 0;
       iRun = ClTaskMgr::runQueuedTasks(gc_iMAX_TASK_SHARE)) {
    iRunHere += iRun;
    shares.push_back(iRun);
  }
  EXPECT_EQ(iRunHere, iTASKS - 2);
  // The queue's 30 in shares of a quarter, four at least, then halves of the worker's 9 unstarted.
  EXPECT_EQ(shares, (std::vector<i32>{7, 5, 4, 4, 4, 4, 2, 4, 2, 1, 1, 1}));
  EXPECT_EQ(aProbes[iHELD].dwThread.load(), 0u);
  for (i32 i = 0; i < iTASKS - 1; ++i) {
    if (i != iHELD) {
      EXPECT_EQ(aProbes[i].dwThread.load(), GetCurrentThreadId()) << i;
    }
  }
  bGate = true;
  ASSERT_TRUE(retireAll(iTASKS));
  EXPECT_EQ(m_iRun.load(), iTASKS);
  EXPECT_EQ(aProbes[iHELD].dwThread.load(), ClTaskMgr::mp_pThreadEntries[0].m_uiThreadId);
}

// The latest tasks are taken first, a share of a few tasks at least at a time, and a share runs in the order its
// tasks were queued: no task runs right after the one queued after it. So whether the controlling thread takes the
// shares or a worker does.
TEST_F(ClTaskMgrTest, SharesAreTakenLatestFirstAndRunInQueueOrder) {
  Win32SetProcessorTopology(1, 1);
  ClTaskMgr::initialize();
  constexpr i32 iTASKS = 200;
  for (bool bWorkerTakes : {false, true}) {
    std::atomic<i32> iSequence{0};
    std::vector<STaskProbe> probes(iTASKS);
    for (STaskProbe& probe : probes) probe.pSequence = &iSequence;
    const i32 iRetired = m_owner.m_iNumFinishedTasks;
    queue(probes.data(), iTASKS, nullptr);
    if (bWorkerTakes) {
      ASSERT_TRUE(retireAll(iRetired + iTASKS));
    } else {
      while (ClTaskMgr::runQueuedTasks(gc_iMAX_TASK_SHARE) > 0) {
      }
    }
    std::vector<i32> ranAt(iTASKS, -1);
    for (i32 i = 0; i < iTASKS; ++i) {
      ASSERT_EQ(probes[static_cast<size_t>(i)].iRuns.load(), 1) << i;
      ranAt[static_cast<size_t>(probes[static_cast<size_t>(i)].iOrder.load())] = i;
    }
    for (size_t k = 1; k < ranAt.size(); ++k) {
      EXPECT_NE(ranAt[k], ranAt[k - 1] - 1) << (bWorkerTakes ? "worker: " : "this thread: ") << ranAt[k];
    }
    EXPECT_LT(probes[iTASKS - 1].iOrder.load(), probes[iTASKS / 2].iOrder.load());
    EXPECT_LT(probes[iTASKS / 2].iOrder.load(), probes[0].iOrder.load());
  }
}

// A worker's shares keep each task's data, routine and owner, with the tasks of two jobs queued in turn, in runs
// and alone; each task's completion reaches its own owner.
TEST_F(ClTaskMgrTest, AWorkerRunsEachTaskWithItsOwnDataRoutineAndOwner) {
  Win32SetProcessorTopology(1, 1);
  ClTaskMgr::initialize();
  ClJob other;
  const i32 aRuns[] = {5, 1, 3, 40, 1, 1, 7};  // alternately this test's owner's and the other's
  std::vector<STaskProbe> probes(58);
  std::vector<bool> isOther;
  for (i32 iRun = 0; iRun < static_cast<i32>(std::size(aRuns)); ++iRun) {
    for (i32 i = 0; i < aRuns[iRun]; ++i) {
      STaskProbe& probe = probes[isOther.size()];
      probe.pRun = &m_iRun;
      isOther.push_back(iRun % 2 == 1);
      ClTaskMgr::addTask(isOther.back() ? &other : &m_owner, &probe, isOther.back() ? &otherProbeTask : &probeTask);
    }
  }
  ASSERT_TRUE(eventually([&] {
    ClTaskMgr::dispatchTasks();
    return m_owner.m_iNumFinishedTasks + other.m_iNumFinishedTasks == 58;
  }));
  for (size_t i = 0; i < probes.size(); ++i) {
    EXPECT_EQ(probes[i].iRuns.load(), 1) << i;
    EXPECT_EQ(probes[i].bOtherRoutine.load(), isOther[i]) << i;
    EXPECT_EQ(probes[i].dwThread.load(), ClTaskMgr::mp_pThreadEntries[0].m_uiThreadId) << i;
  }
  EXPECT_EQ(other.m_iNumFinishedTasks, 1 + 40 + 1);
  EXPECT_EQ(m_owner.m_iNumFinishedTasks, 5 + 3 + 1 + 7);
}

// More tasks queued at once than the task data ring first holds: it grows, and each task keeps its data.
TEST_F(ClTaskMgrTest, ManyQueuedTasksKeepTheirDataWhileTheRingGrows) {
  Win32SetProcessorTopology(1, 1);
  ClTaskMgr::initialize();
  const i32 iTasks = static_cast<i32>(ClTaskMgr::mp_uiTaskDataMask) + 1000;
  std::vector<STaskProbe> probes(static_cast<size_t>(iTasks));
  queue(probes.data(), iTasks, nullptr);
  ASSERT_TRUE(retireAll(iTasks));
  EXPECT_EQ(std::count_if(probes.begin(), probes.end(), [](const STaskProbe& probe) { return probe.iRuns != 1; }), 0);
}

TEST(ClTaskMgrShareTest, ShareIsHalfTheQueueSpreadOverEveryTakerWithinItsBounds) {
  const i32 iSaved = ClTaskMgr::m_iNumLogicalProcessors;
  struct SCase {
    i32 iQueued, iWorkers, iMost, iExpected;
  };
  for (const SCase& c : {SCase{1000, 2, 32, 32}, SCase{30, 2, 32, 5}, SCase{10, 2, 32, 4}, SCase{3, 2, 32, 3},
                         SCase{100, 8, 32, 5}, SCase{40, 1, 32, 10}, SCase{40, 1, 1, 1}, SCase{1, 8, 32, 1}}) {
    ClTaskMgr::m_iNumLogicalProcessors = c.iWorkers;
    EXPECT_EQ(ClTaskMgr::takeShare(c.iQueued, c.iMost), c.iExpected) << c.iQueued << " " << c.iWorkers;
  }
  ClTaskMgr::m_iNumLogicalProcessors = iSaved;
}

// Holds every thread but the test's own at the start of its waits while s_bHoldWorkers is set.
std::atomic<bool> s_bHoldWorkers{false};
std::atomic<i32> s_iHeld{0};
std::atomic<DWORD> s_dwTestThread{0};
void holdWorkersHook() {
  if (GetCurrentThreadId() == s_dwTestThread.load() || !s_bHoldWorkers.load()) return;
  ++s_iHeld;
  while (s_bHoldWorkers.load()) std::this_thread::yield();
  --s_iHeld;
}

// A task handed to a worker that has not woken up to it yet is taken back by the controlling thread when
// nothing else is queued; the worker goes back to the idle list and wakes to find nothing.
TEST_F(ClTaskMgrTest, ControllingThreadTakesBackATaskItsWorkerHasNotPickedUp) {
  Win32SetProcessorTopology(1, 1);
  s_dwTestThread = GetCurrentThreadId();
  s_bHoldWorkers = true;
  Win32SetBlockingCallHook(&holdWorkersHook);
  ClTaskMgr::initialize();
  ASSERT_TRUE(eventually([] { return s_iHeld.load() == 1; }));  // the worker, on its way into its first wait
  STaskProbe probe;
  queue(&probe, 1, nullptr);
  ClTaskMgr::dispatchTasks();
  ASSERT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), 1);
  ASSERT_TRUE(ClTaskMgr::runQueuedTask());
  EXPECT_EQ(probe.dwThread.load(), GetCurrentThreadId());
  EXPECT_EQ(m_owner.m_iNumFinishedTasks, 1);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), 0);
  EXPECT_EQ(ClTaskMgr::mp_daIdleWorkers.getCount(), 1);
  EXPECT_FALSE(ClTaskMgr::runQueuedTask());
  s_bHoldWorkers = false;
  Win32SetBlockingCallHook(nullptr);

  // The worker still runs what it is handed next.
  STaskProbe next;
  queue(&next, 1, nullptr);
  ASSERT_TRUE(retireAll(2));
  EXPECT_EQ(next.dwThread.load(), ClTaskMgr::mp_pThreadEntries[0].m_uiThreadId);
  EXPECT_EQ(m_iRun.load(), 2);
}

// While dispatching is suspended, a worker that finishes its task takes no queued one and goes to sleep (the
// focus-loss hook waits for that); the queued task waits for the next dispatch after resuming.
TEST_F(ClTaskMgrTest, SuspendedDispatchKeepsWorkersFromTakingQueuedTasks) {
  Win32SetProcessorTopology(1, 1);
  ClTaskMgr::initialize();
  std::atomic<bool> bGate{false};
  STaskProbe aProbes[2];
  queue(aProbes, 1, nullptr);
  queue(&aProbes[1], 1, &bGate);
  ClTaskMgr::dispatchTasks();
  ClJobMgr::setDispatchSuspended(true);
  bGate = true;
  ASSERT_TRUE(eventually([&] { return m_iRun.load() == 1 && !ClTaskMgr::isAnyWorkerAwake(); }));
  EXPECT_EQ(ClTaskMgr::mp_daTaskQueue.getCount(), 1);
  EXPECT_EQ(aProbes[0].dwThread.load(), 0u);
  ClJobMgr::setDispatchSuspended(false);
  ASSERT_TRUE(retireAll(2));
  EXPECT_EQ(aProbes[0].dwThread.load(), ClTaskMgr::mp_pThreadEntries[0].m_uiThreadId);
}

// Blocking calls made on the test's thread (its dispatches' signals: retireAll makes no other), counted by the
// hook while s_dwCounted is set.
std::atomic<DWORD> s_dwCounted{0};
std::atomic<i32> s_iBlockingCalls{0};
void countBlockingCallsHook() {
  if (GetCurrentThreadId() == s_dwCounted.load()) ++s_iBlockingCalls;
}

// An idle worker that has just run a task watches its entry: a dispatch meanwhile hands it the next task without
// signalling its event. The watch ends when dispatching is suspended, at shutdown, or when its time is up (0
// here), after which the worker sleeps on its event and a dispatch signals it.
TEST_F(ClTaskMgrTest, AnIdleWorkerWatchingItsEntryIsHandedTheNextTaskWithoutASignal) {
  Win32SetProcessorTopology(1, 1);
  ClTaskMgr::mp_iWatchMicroseconds = 60 * 1000 * 1000;  // ended by the steps below, not by its time
  ClTaskMgr::initialize();
  SThreadEntry& worker = ClTaskMgr::mp_pThreadEntries[0];
  s_dwCounted = GetCurrentThreadId();
  Win32SetBlockingCallHook(&countBlockingCallsHook);
  STaskProbe aProbes[4];
  struct SStep {
    const char* pWhat;
    i32 iWatchMicroseconds;  // set before the step's task is handed out
    bool bSuspendFirst;      // dispatching suspended (and resumed) while the worker watches
    i32 iSignals;            // from the hand-out to the task's retirement
  };
  const SStep aSteps[] = {{"first task: the worker sleeps on its event", 60 * 1000 * 1000, false, 1},
                          {"handed while watching", 60 * 1000 * 1000, false, 0},
                          {"the watch ended by a suspension", 0, true, 1},
                          {"no watch: asleep at once", 0, false, 1}};
  for (i32 i = 0; i < 4; ++i) {
    const SStep& step = aSteps[i];
    if (step.bSuspendFirst) {
      ClJobMgr::setDispatchSuspended(true);
      ASSERT_TRUE(eventually([] { return !ClTaskMgr::isAnyWorkerAwake(); })) << step.pWhat;
      ClJobMgr::setDispatchSuspended(false);
    } else if (i > 0 && aSteps[i - 1].iWatchMicroseconds == 0) {
      ASSERT_TRUE(eventually([] { return !ClTaskMgr::isAnyWorkerAwake(); })) << step.pWhat;
    } else if (i > 0) {
      ASSERT_TRUE(eventually([&] { return worker.m_uiWatch.load() == gc_uiWATCH_WATCHING; })) << step.pWhat;
    }
    ClTaskMgr::mp_iWatchMicroseconds = step.iWatchMicroseconds;
    s_iBlockingCalls = 0;
    queue(&aProbes[i], 1, nullptr);
    ClTaskMgr::dispatchTasks();
    ASSERT_TRUE(retireAll(i + 1)) << step.pWhat;
    EXPECT_EQ(aProbes[i].dwThread.load(), worker.m_uiThreadId) << step.pWhat;
    EXPECT_EQ(s_iBlockingCalls.load(), step.iSignals) << step.pWhat;
  }
  // Shutdown ends a watch too, and the worker stops in order.
  ClTaskMgr::mp_iWatchMicroseconds = 60 * 1000 * 1000;
  queue(&aProbes[0], 1, nullptr);
  ClTaskMgr::dispatchTasks();
  ASSERT_TRUE(retireAll(5));
  ASSERT_TRUE(eventually([&] { return worker.m_uiWatch.load() == gc_uiWATCH_WATCHING; }));
  Win32SetBlockingCallHook(nullptr);
  ClTaskMgr::shutdown();
  EXPECT_FALSE(ClTaskMgr::isInitialized());
}

TEST_F(ClTaskMgrTest, WorkersThatCannotStartAreLeftOutAndShutdownStaysClean) {
  Win32SetProcessorTopology(4, 1);
  Win32InjectFault(Win32Fault::EventCreate, 0, 1);      // worker 0: no event, so no thread either
  Win32InjectFault(Win32Fault::ThreadCreate, 0, 1, 1);  // worker 2: its thread is refused
  ClTaskMgr::initialize();
  EXPECT_EQ(ClTaskMgr::mp_pThreadEntries[0].m_iStatus.load(), gc_iWORKER_STATUS_FAILED);
  EXPECT_EQ(ClTaskMgr::mp_pThreadEntries[2].m_iStatus.load(), gc_iWORKER_STATUS_FAILED);
  ASSERT_EQ(ClTaskMgr::mp_daIdleWorkers.getCount(), 2);

  STaskProbe aProbes[10];
  queue(aProbes, 10, nullptr);
  ASSERT_TRUE(retireAll(10));
  for (const STaskProbe& probe : aProbes) {
    EXPECT_TRUE(probe.dwThread == ClTaskMgr::mp_pThreadEntries[1].m_uiThreadId ||
                probe.dwThread == ClTaskMgr::mp_pThreadEntries[3].m_uiThreadId);
  }
  ClTaskMgr::shutdown();
  EXPECT_FALSE(ClTaskMgr::isInitialized());
}

// Both workers hold a task at the gate when shutdown starts; the gate opens only once the main thread is on its
// way into shutdown (after many chances for a shutdown that does not wait to return), and neither task may find
// shutdown returned as it ends.
TEST_F(ClTaskMgrTest, ShutdownWaitsForBusyWorkersAndDropsQueuedTasks) {
  Win32SetProcessorTopology(2, 1);
  ClTaskMgr::initialize();
  std::atomic<bool> bGate{false};
  std::atomic<i32> iArrived{0};
  std::atomic<bool> bShuttingDown{false};
  std::atomic<bool> bShutDown{false};
  STaskProbe aProbes[5];
  for (STaskProbe& probe : aProbes) {
    probe.pArrived = &iArrived;
    probe.pFlag = &bShutDown;
  }
  queue(aProbes, 5, &bGate);
  ClTaskMgr::dispatchTasks();  // two handed out, both held at the gate
  ASSERT_TRUE(eventually([&] { return iArrived.load() == 2; }));
  std::thread opener([&] {
    while (!bShuttingDown.load()) std::this_thread::yield();
    for (int i = 0; i < 10000 && !bShutDown.load(); ++i) std::this_thread::yield();
    bGate = true;
  });
  bShuttingDown = true;
  ClTaskMgr::shutdown();
  bShutDown = true;
  opener.join();
  // The handed-out tasks ran to their end before shutdown returned; the queued ones never started, and no
  // completion ran.
  EXPECT_EQ(m_iRun.load(), 2);
  for (const STaskProbe& probe : aProbes) EXPECT_FALSE(probe.bFlagAtEnd.load());
  EXPECT_EQ(m_owner.m_iNumFinishedTasks, 0);
}

}  // namespace
