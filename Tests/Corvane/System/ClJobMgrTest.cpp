#include "Corvane/System/ClJobMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Corvane/Memory/KvAlloc.h"
#include "Platform/Win32/Win32Threads.h"
#include "Tests/Corvane/System/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// A job of the test type: its dispatch starts iTasks tasks (or finishes at once when there are none); each
// task waits at the gate, counts itself and notes its thread; the finished callback counts and notes its
// thread.
struct STestJob {
  i32 iTasks = 0;
  std::atomic<bool> bGateOpen{true};
  std::atomic<i32> iTasksRun{0};
  std::atomic<DWORD> dwTaskThread{0};
  i32 iFinishedCalls = 0;
  DWORD dwFinishedThread = 0;
  std::vector<i32> aiTaskData;
};

void testTask(void* pTaskData) {
  STestJob* pJob = *static_cast<STestJob**>(pTaskData);
  while (!pJob->bGateOpen.load()) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  pJob->dwTaskThread = GetCurrentThreadId();
  ++pJob->iTasksRun;
}

// Task data: a pointer to the job record per task, kept alive by the job record itself.
std::vector<STestJob*> g_taskData;

void testDispatch(void* pUserData, ClJob* hJob) {
  STestJob* pJob = static_cast<STestJob*>(pUserData);
  if (pJob->iTasks == 0) {
    ClJobMgr::finishJob(hJob);
    return;
  }
  g_taskData.assign(static_cast<size_t>(pJob->iTasks), pJob);
  for (i32 i = 0; i < pJob->iTasks; ++i) {
    EXPECT_TRUE(ClJobMgr::startTask(hJob, &g_taskData[static_cast<size_t>(i)]));
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

TEST_F(ClJobMgrTest, JobOfManyTasksCompletesOnceOnTheDispatchingThread) {
  EXPECT_EQ(ClTaskMgr::getNumLogicalProcessors(), 4);
  EXPECT_EQ(ClTaskMgr::getNumCores(), 2);
  for (i32 iTasks : {1, 3, 100}) {
    STestJob job;
    job.iTasks = iTasks;
    ClJob* hJob = nullptr;
    EXPECT_EQ(ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob), 1);
    ASSERT_NE(hJob, nullptr);
    EXPECT_EQ(hJob->m_iNumTasks, iTasks);
    EXPECT_EQ(ClJobMgr::waitForJob(hJob), 0u);
    EXPECT_TRUE(ClJobMgr::isJobComplete(hJob));
    EXPECT_EQ(job.iTasksRun.load(), iTasks);
    EXPECT_EQ(job.iFinishedCalls, 1);
    EXPECT_EQ(job.dwFinishedThread, GetCurrentThreadId());
    EXPECT_NE(job.dwTaskThread.load(), GetCurrentThreadId());
    release(hJob);
    // Nothing is left over for a later dispatch to call again.
    ClTaskMgr::dispatchTasks();
    EXPECT_EQ(job.iFinishedCalls, 1);
  }
  EXPECT_EQ(ClJobMgr::mp_daJobs.getCount(), 0);
}

TEST_F(ClJobMgrTest, CompletionIsCountedOnlyWhenTheLastTaskIsRetired) {
  STestJob job;
  job.iTasks = 3;
  job.bGateOpen = false;
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
  ClTaskMgr::dispatchTasks();
  EXPECT_EQ(hJob->m_iNumFinishedTasks, 0);
  job.bGateOpen = true;
  ASSERT_TRUE(eventually([&] { return job.iTasksRun.load() == 3; }));
  // The tasks have run, but only the dispatching thread retires them.
  EXPECT_FALSE(ClJobMgr::isJobComplete(hJob));
  EXPECT_EQ(job.iFinishedCalls, 0);
  ASSERT_TRUE(eventually([&] {
    ClTaskMgr::dispatchTasks();
    return ClJobMgr::isJobComplete(hJob);
  }));
  EXPECT_EQ(job.iFinishedCalls, 1);
  release(hJob);
}

TEST_F(ClJobMgrTest, JobWithoutTasksFinishesAtOnce) {
  STestJob job;
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
  EXPECT_EQ(job.iFinishedCalls, 1);
  EXPECT_TRUE(ClJobMgr::isJobComplete(hJob));
  hJob->m_uiResult = 5;
  EXPECT_EQ(ClJobMgr::waitForJob(hJob), 5u);
  release(hJob);

  EXPECT_EQ(ClJobMgr::waitForJob(nullptr), 0u);
  EXPECT_TRUE(ClJobMgr::isJobComplete(nullptr));
  EXPECT_FALSE(ClJobMgr::finishJob(nullptr));
  EXPECT_FALSE(ClJobMgr::startTask(nullptr, &job));
  ClJobMgr::taskFinished(nullptr);
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

  std::atomic<i32> iRunBeforeResume{-1};
  std::thread focusRegained([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    iRunBeforeResume = job.iTasksRun.load();
    ClJobMgr::setDispatchSuspended(false);
  });
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

void oneOffFinished(SOneOffJobParams* p0, SOneOffJobParams* p1, SOneOffJobParams*) {
  *static_cast<DWORD*>(p1->mp_pData) = GetCurrentThreadId();
  p0->m_iSize = -1;
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
  EXPECT_EQ(pData->mp_hJob, hJob);
  ASSERT_TRUE(eventually([] {
    ClTaskMgr::dispatchTasks();
    return ClJobMgr::m_oneOffJobPool.getCount() == 0;
  }));
  EXPECT_NE(dwWorkThread, 0u);
  EXPECT_NE(dwWorkThread, GetCurrentThreadId());
  EXPECT_EQ(dwFinishedThread, GetCurrentThreadId());
  EXPECT_EQ(pData->m_aParams[1].m_iSize, 5);  // the work ran before the finished routine
  EXPECT_EQ(pData->m_aParams[0].m_iSize, -1);
  EXPECT_EQ(ClJobMgr::mp_daJobs.getCount(), 0);  // its job record is gone with it
}

TEST_F(ClJobMgrTest, OneOffJobStillPendingAtShutdownIsReleased) {
  ClJobMgr::setDispatchSuspended(true);
  SOneOffJobData* pData = ClJobMgr::allocOneOffJob();
  pData->mp_workCallback = &oneOffWork;
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iJOB_TYPE_ONE_OFF, pData, &hJob);
  EXPECT_EQ(ClTaskMgr::mp_daTaskQueue.getCount(), 1);
  ClJobMgr::shutdown();  // the job record goes with its one-off record (the leak check sees it)
  EXPECT_EQ(ClJobMgr::m_oneOffJobPool.getCount(), 0);
  EXPECT_FALSE(ClJobMgr::isInitialized());
}

TEST_F(ClJobMgrTest, MissingRowsAndStubsStopWithTheirMessages) {
  ClJob* hJob = nullptr;
  EXPECT_KV_ASSERT(ClJobMgr::addJob(gc_iTEST_JOB_TYPE + 1, nullptr, &hJob), "pJobType");
  release(hJob);
  EXPECT_KV_ASSERT(ClJobMgr::addJob(0, nullptr, &hJob), "pJobType->mp_dispatchTasksCallback");
  release(hJob);

  // Type 4 reaches the first of the game's rows, whose routines stop naming what they were given.
  ClJobMgr::mp_pRegisteredJobTypes = GameSpecificJobMgr_Win32;
  ClJobMgr::m_iNumRegisteredJobTypes = gc_iNUM_GAME_JOB_TYPES;
  void* pUserData = reinterpret_cast<void*>(uintptr_t{0x1234ABCD});
  hJob = nullptr;
  try {
    ClJobMgr::addJob(4, pUserData, &hJob);
    ADD_FAILURE() << "the game's dispatch stub returned";
  } catch (const KvStopped& stop) {
    char szExpected[160];
    std::snprintf(szExpected, sizeof(szExpected),
                  "ENGINE JOB TYPE DISPATCH NOT IMPLEMENTED! (user data [0x1234ABCD], job [0x%08llX])!",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hJob)));
    EXPECT_EQ(stop.uiAddress, gc_uiSTOP_FATAL);
    EXPECT_NE(stop.message.find(szExpected), std::string::npos) << stop.message;
  }
  release(hJob);
  EXPECT_KV_FATAL(GameSpecificJobMgr_Win32[3].mp_taskCallback(pUserData),
                  "GAME SPECIFIC JOB TYPE NOT IMPLEMENTED! (user data [0x1234ABCD])!");
  EXPECT_KV_FATAL(GameSpecificJobMgr_Win32[2].mp_finishedWithAllTasksCallback(pUserData),
                  "GAME SPECIFIC JOB TYPE NOT IMPLEMENTED! (user data [0x1234ABCD])!");

  EXPECT_KV_FATAL(ClJobMgr::removeJob(hJob), "Item not found to delete by value!");
  STestJob job;
  job.iTasks = 1;
  job.bGateOpen = false;
  ClJobMgr::mp_pRegisteredJobTypes = g_testRows;
  ClJobMgr::addJob(gc_iTEST_JOB_TYPE, &job, &hJob);
  EXPECT_KV_ASSERT(ClJobMgr::finishJob(hJob), "isJobComplete(hJob)");
  job.bGateOpen = true;
  release(hJob);
}

TEST(ClJobMgr, LockPoolExhaustedAtInitialisationIsFatal) {
  ClMutexLock::initializePool();
  ClMutexLock locks[gc_iMAX_MUTEX_LOCKS];
  for (ClMutexLock& lock : locks) {
    ASSERT_TRUE(ClMutexLock::create(&lock));
  }
  Win32SetProcessorTopology(1, 1);
  EXPECT_KV_FATAL(ClJobMgr::initialize(), "ClJobMgr::initialize() -> Could NOT create mutex lock for job manager !");
  ClJobMgr::shutdown();
  Win32SetProcessorTopology(0, 0);
  ClMutexLock::shutdownPool();
  EXPECT_EQ(KvCountEngineGlobalsInUse(), 0);
}

}  // namespace
