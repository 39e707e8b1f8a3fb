#include "Corvane/System/ClJobMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Corvane/Memory/KvAlloc.h"
#include "Platform/Win32/Win32Threads.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// A job of the test type: its dispatch starts iTasks tasks (or finishes at once when there are none); the
// tasks count themselves and note their thread, and so does the finished callback.
struct STestJob {
  i32 iTasks = 0;
  std::vector<STestJob*> taskData;  // one entry per task, each pointing back here
  std::atomic<i32> iTasksRun{0};
  std::atomic<DWORD> dwTaskThread{0};
  i32 iFinishedCalls = 0;
  DWORD dwFinishedThread = 0;
};

void testTask(void* pTaskData) {
  STestJob* pJob = *static_cast<STestJob**>(pTaskData);
  pJob->dwTaskThread = GetCurrentThreadId();
  ++pJob->iTasksRun;
}

void testDispatch(void* pUserData, ClJob* hJob) {
  STestJob* pJob = static_cast<STestJob*>(pUserData);
  if (pJob->iTasks == 0) {
    ClJobMgr::finishJob(hJob);
  }
  pJob->taskData.assign(static_cast<size_t>(pJob->iTasks), pJob);
  for (STestJob*& pData : pJob->taskData) {
    ClJobMgr::startTask(hJob, &pData);
  }
}

void testFinished(void* pUserData) {
  STestJob* pJob = static_cast<STestJob*>(pUserData);
  ++pJob->iFinishedCalls;
  pJob->dwFinishedThread = GetCurrentThreadId();
}

ClJobType g_testRows[1] = {{&testDispatch, &testTask, &testFinished}};
constexpr i32 gc_iTEST_JOB_TYPE = gc_iNUM_BUILT_IN_JOB_TYPES;

class ClJobMgrTest : public KvRuntimeTest {
 protected:
  void SetUp() override {
    KvRuntimeTest::SetUp();
    Win32SetProcessorTopology(2, 2);
    ClJobMgr::initialize();
    // The game's rows are stubs; the tests run their own type in the first registered row.
    ClJobMgr::mp_pRegisteredJobTypes = g_testRows;
    ClJobMgr::m_iNumRegisteredJobTypes = 1;
  }
  void TearDown() override {
    ClJobMgr::shutdown();
    KvRuntimeTest::TearDown();
  }

  static void release(ClJob* hJob) {
    ClJobMgr::waitForJob(hJob);
    KvAlignedFree(hJob);
    ClJobMgr::removeJob(hJob);
  }
};

TEST_F(ClJobMgrTest, JobCompletesOnceOnTheDispatchingThread) {
  for (i32 iTasks : {0, 1, 3, 100}) {
    STestJob job;
    job.iTasks = iTasks;
    ClJob* hJob = nullptr;
    EXPECT_EQ(ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob), 1);
    EXPECT_EQ(hJob->m_iNumTasks, iTasks);
    hJob->m_uiResult = 5;  // what the type's code would set
    EXPECT_EQ(ClJobMgr::waitForJob(hJob), 5u);
    EXPECT_EQ(job.iTasksRun.load(), iTasks);
    EXPECT_EQ(job.iFinishedCalls, 1);
    EXPECT_EQ(job.dwFinishedThread, GetCurrentThreadId());
    // Its tasks ran on the workers or on this thread, which helps while it waits (WaitingThreadRunsQueuedTasks).
    release(hJob);
    ClTaskMgr::dispatchTasks();  // nothing left over to complete it again
    EXPECT_EQ(job.iFinishedCalls, 1);
  }
  EXPECT_EQ(ClJobMgr::mp_daJobs.getCount(), 0);
  EXPECT_EQ(ClJobMgr::waitForJob(nullptr), 0u);
}

// A task that lasts until the dispatching thread has gone to sleep in its wait.
std::atomic<bool> g_bLongTaskStarted{false};
void taskOutlastingThePoll(void* pTaskData) {
  g_bLongTaskStarted = true;
  testTask(pTaskData);
  eventually([] { return ClTaskMgr::mp_bDispatcherAsleep.load() != 0; });
}

TEST_F(ClJobMgrTest, WaitForALongTaskSleepsAndTheWorkerWakesIt) {
  g_testRows[0].mp_taskCallback = &taskOutlastingThePoll;
  STestJob job;
  job.iTasks = 1;
  ClJob* hJob = nullptr;
  g_bLongTaskStarted = false;
  ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
  // On a worker before the wait begins: a task still queued would be taken back and run by the waiting thread.
  ASSERT_TRUE(eventually([] { return g_bLongTaskStarted.load(); }));
  release(hJob);  // returns only once the task has seen the waiting thread asleep, and ended
  g_testRows[0].mp_taskCallback = &testTask;
  EXPECT_EQ(job.iTasksRun.load(), 1);
  EXPECT_EQ(job.iFinishedCalls, 1);
  EXPECT_EQ(ClTaskMgr::mp_bDispatcherAsleep.load(), 0u);
  // With nothing queued, the workers go to sleep on their events.
  EXPECT_TRUE(eventually([] { return !ClTaskMgr::isAnyWorkerAwake(); }));
}

// A task on a worker holds until some task of the job has run on the waiting thread: the wait ends only
// because the waiting thread runs queued tasks itself.
std::atomic<i32> g_iTasksOnWaiter{0};
std::atomic<DWORD> g_dwWaiter{0};
void taskHeldUntilTheWaiterHelps(void* pTaskData) {
  if (GetCurrentThreadId() == g_dwWaiter.load()) {
    ++g_iTasksOnWaiter;
  } else {
    eventually([] { return g_iTasksOnWaiter.load() > 0; });
  }
  testTask(pTaskData);
}

TEST_F(ClJobMgrTest, WaitingThreadRunsQueuedTasks) {
  g_testRows[0].mp_taskCallback = &taskHeldUntilTheWaiterHelps;
  g_dwWaiter = GetCurrentThreadId();
  g_iTasksOnWaiter = 0;
  STestJob job;
  job.iTasks = ClTaskMgr::getNumLogicalProcessors() + 2;  // every worker held, two queued
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
  EXPECT_EQ(g_iTasksOnWaiter.load(), 0) << "adding only hands out";
  release(hJob);
  g_testRows[0].mp_taskCallback = &testTask;
  EXPECT_GE(g_iTasksOnWaiter.load(), 1);
  EXPECT_EQ(job.iTasksRun.load(), job.iTasks);
  EXPECT_EQ(job.iFinishedCalls, 1);
}

// A dispatch that runs its only task on the calling thread: the job is complete, and its finished callback has
// run, when addJob returns; nothing reaches the task manager.
void dispatchHere(void* pUserData, ClJob* hJob) {
  STestJob* pJob = static_cast<STestJob*>(pUserData);
  pJob->taskData.assign(1, pJob);
  ClJobMgr::runTaskOnThisThread(hJob, &pJob->taskData[0]);
}

TEST_F(ClJobMgrTest, SmallJobRunsOnTheCallingThread) {
  g_testRows[0].mp_dispatchTasksCallback = &dispatchHere;
  STestJob job;
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
  g_testRows[0].mp_dispatchTasksCallback = &testDispatch;
  EXPECT_TRUE(ClJobMgr::isJobComplete(hJob));
  EXPECT_EQ(hJob->m_iNumTasks, 1);
  EXPECT_EQ(job.iTasksRun.load(), 1);
  EXPECT_EQ(job.dwTaskThread.load(), GetCurrentThreadId());
  EXPECT_EQ(job.iFinishedCalls, 1);
  EXPECT_EQ(ClTaskMgr::mp_daTaskQueue.getCount() + ClTaskMgr::mp_daRunningTasks.getCount(), 0);
  release(hJob);
  EXPECT_FALSE(ClJobMgr::runTaskOnThisThread(nullptr, &job));
}

// Tasks and pauses around the workers' and the dispatcher's polling times, so that hand-overs meet workers
// polling, committing to their sleep and asleep.
void taskOfRandomLength(void* pTaskData) {
  testTask(pTaskData);
  thread_local u32 uiState = GetCurrentThreadId();
  uiState = uiState * 1103515245u + 12345u;
  const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds((uiState >> 16) % 45u);
  while (std::chrono::steady_clock::now() < end) {
  }
}

// The waiting thread's blocking calls (waits and signals) made while the job it waits for is already complete.
ClJob* g_hWaitedFor = nullptr;
std::atomic<DWORD> g_dwWaiting{0};
std::atomic<i32> g_iBlockedWhenComplete{0};
void checkBlockingCallsOfTheWaiter() {
  if (GetCurrentThreadId() == g_dwWaiting.load() && g_hWaitedFor != nullptr && ClJobMgr::isJobComplete(g_hWaitedFor)) {
    ++g_iBlockedWhenComplete;
  }
}

// Also: the wait never sleeps on a job that is complete (a worker's filing retired by the wait's own look for
// tasks completes it).
TEST_F(ClJobMgrTest, ManyJobsAroundThePollingTimesAllComplete) {
  g_testRows[0].mp_taskCallback = &taskOfRandomLength;
  g_dwWaiting = GetCurrentThreadId();
  g_iBlockedWhenComplete = 0;
  Win32SetBlockingCallHook(&checkBlockingCallsOfTheWaiter);
  std::mt19937 random(99);
  for (i32 iJob = 0; iJob < 300; ++iJob) {
    STestJob job;
    job.iTasks = 1 + static_cast<i32>(random() % 8);
    ClJob* hJob = nullptr;
    ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
    g_hWaitedFor = hJob;
    ClJobMgr::waitForJob(hJob);
    g_hWaitedFor = nullptr;
    release(hJob);
    ASSERT_EQ(job.iTasksRun.load(), job.iTasks) << "job " << iJob;
    ASSERT_EQ(job.iFinishedCalls, 1) << "job " << iJob;
    const auto pause = std::chrono::steady_clock::now() + std::chrono::microseconds(random() % 45);
    while (std::chrono::steady_clock::now() < pause) {
    }
  }
  Win32SetBlockingCallHook(nullptr);
  EXPECT_EQ(g_iBlockedWhenComplete.load(), 0);
  g_testRows[0].mp_taskCallback = &testTask;
}

// Tasks in flight are at most as many as the logical processors: a waited-for job keeps one for its caller,
// which runs tasks while it waits (unless that would leave no worker); the main thread's dispatch does not.
std::atomic<bool> g_bTasksGate{false};
void gatedTask(void* pTaskData) {
  while (!g_bTasksGate.load()) std::this_thread::yield();
  testTask(pTaskData);
}

TEST_F(ClJobMgrTest, AWaitedJobKeepsAProcessorForItsCaller) {
  struct SCase {
    i32 iCores, iThreadsPerCore, iHandedOut;
  };
  for (const SCase& c : {SCase{1, 1, 1}, SCase{2, 1, 1}, SCase{2, 2, 3}, SCase{4, 2, 7}}) {
    ClJobMgr::shutdown();
    Win32SetProcessorTopology(c.iCores, c.iThreadsPerCore);
    ClJobMgr::initialize();
    ClJobMgr::mp_pRegisteredJobTypes = g_testRows;
    ClJobMgr::m_iNumRegisteredJobTypes = 1;
    g_testRows[0].mp_taskCallback = &gatedTask;
    g_bTasksGate = false;
    STestJob job;
    job.iTasks = 10;
    ClJob* hJob = nullptr;
    ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
    EXPECT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), c.iHandedOut) << c.iCores << " x " << c.iThreadsPerCore;
    EXPECT_EQ(ClTaskMgr::mp_daTaskQueue.getCount(), 10 - c.iHandedOut);
    // The main thread's dispatch keeps nothing back.
    ClTaskMgr::dispatchTasks();
    EXPECT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), c.iCores * c.iThreadsPerCore);
    g_bTasksGate = true;
    release(hJob);
    EXPECT_EQ(job.iTasksRun.load(), 10);
    g_testRows[0].mp_taskCallback = &testTask;
  }
}

// A long job's workers start on a full stage of its tasks while its dispatch is still adding the rest.
std::atomic<bool> g_bRanDuringDispatch{false};
void dispatchInTwoParts(void* pUserData, ClJob* hJob) {
  STestJob* pJob = static_cast<STestJob*>(pUserData);
  pJob->taskData.assign(static_cast<size_t>(pJob->iTasks), pJob);
  for (i32 i = 0; i < pJob->iTasks; ++i) {
    if (i == gc_iMAX_TASK_SHARE * 2) g_bRanDuringDispatch = eventually([&] { return pJob->iTasksRun.load() > 0; });
    ClJobMgr::startTask(hJob, &pJob->taskData[static_cast<size_t>(i)]);
  }
}

TEST_F(ClJobMgrTest, ALongJobsWorkersStartDuringItsDispatch) {
  g_testRows[0].mp_dispatchTasksCallback = &dispatchInTwoParts;
  STestJob job;
  job.iTasks = gc_iMAX_TASK_SHARE * 3;
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
  g_testRows[0].mp_dispatchTasksCallback = &testDispatch;
  EXPECT_TRUE(g_bRanDuringDispatch.load());
  release(hJob);
  EXPECT_EQ(job.iTasksRun.load(), job.iTasks);
  EXPECT_EQ(job.iFinishedCalls, 1);
}

TEST_F(ClJobMgrTest, SuspendedDispatchHoldsTasksUntilItResumes) {
  ClJobMgr::setDispatchSuspended(true);
  STestJob job;
  job.iTasks = 3;
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
  EXPECT_EQ(ClTaskMgr::mp_daTaskQueue.getCount(), 3);
  EXPECT_EQ(ClTaskMgr::mp_daRunningTasks.getCount(), 0);
  // The focus-loss hook waits until every worker sleeps.
  ASSERT_TRUE(eventually([] { return !ClTaskMgr::isAnyWorkerAwake(); }));

  // Focus comes back once the main thread is on its way into the wait, after many chances for a task to run.
  std::atomic<bool> bWaiting{false};
  std::atomic<i32> iRunBeforeResume{-1};
  std::thread focusRegained([&] {
    while (!bWaiting.load()) std::this_thread::yield();
    for (int i = 0; i < 10000 && job.iTasksRun.load() == 0; ++i) std::this_thread::yield();
    iRunBeforeResume = job.iTasksRun.load();
    ClJobMgr::setDispatchSuspended(false);
  });
  bWaiting = true;
  ClJobMgr::waitForJob(hJob);
  focusRegained.join();
  EXPECT_EQ(iRunBeforeResume.load(), 0);
  EXPECT_EQ(job.iTasksRun.load(), 3);
  EXPECT_EQ(job.iFinishedCalls, 1);
  release(hJob);
}

void oneOffWork(SOneOffJobParams* p0, SOneOffJobParams* p1, SOneOffJobParams* p2) {
  *static_cast<DWORD*>(p0->mp_pData) = GetCurrentThreadId();
  p1->m_iSize = p0->m_iSize + p2->m_iSize;
}

void oneOffFinished(SOneOffJobParams*, SOneOffJobParams* p1, SOneOffJobParams*) {
  *static_cast<DWORD*>(p1->mp_pData) = GetCurrentThreadId();
}

TEST_F(ClJobMgrTest, OneOffJobRunsOnAWorkerAndReleasesItself) {
  DWORD dwWorkThread = 0;
  DWORD dwFinishedThread = 0;
  SOneOffJobData* pData = ClJobMgr::allocOneOffJob();
  pData->mp_workCallback = &oneOffWork;
  pData->mp_finishedCallback = &oneOffFinished;
  pData->m_aParams[0] = {&dwWorkThread, 2};
  pData->m_aParams[1] = {&dwFinishedThread, 0};
  pData->m_aParams[2] = {nullptr, 3};
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iJOB_TYPE_ONE_OFF, pData, &hJob);
  ASSERT_TRUE(eventually([] {
    ClTaskMgr::dispatchTasks();
    return ClJobMgr::m_oneOffJobPool.getCount() == 0;
  }));
  EXPECT_NE(dwWorkThread, GetCurrentThreadId());
  EXPECT_EQ(dwFinishedThread, GetCurrentThreadId());
  EXPECT_EQ(pData->m_aParams[1].m_iSize, 5);
  EXPECT_EQ(ClJobMgr::mp_daJobs.getCount(), 0);  // its job record went with it

  // One still queued at shutdown is released there (the leak check sees it otherwise).
  ClJobMgr::setDispatchSuspended(true);
  pData = ClJobMgr::allocOneOffJob();
  pData->mp_workCallback = &oneOffWork;
  ClJobMgr::addJob(gc_iJOB_TYPE_ONE_OFF, pData, &hJob);
  ClJobMgr::shutdown();
  EXPECT_EQ(ClJobMgr::m_oneOffJobPool.getCount(), 0);
}

TEST_F(ClJobMgrTest, MissingRowsStop) {
  ClJob* hJob = nullptr;
  EXPECT_KV_ASSERT(ClJobMgr::addJob(gc_iTEST_JOB_TYPE + 1, nullptr, &hJob), "pJobType");
  release(hJob);
  EXPECT_KV_ASSERT(ClJobMgr::addJob(0, nullptr, &hJob), "pJobType->mp_dispatchTasksCallback");
  release(hJob);

  EXPECT_KV_FATAL(ClJobMgr::removeJob(hJob), "Item not found to delete by value!");
}

}  // namespace
