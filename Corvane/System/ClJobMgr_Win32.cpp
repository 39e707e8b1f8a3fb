#include <new>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/System/KvSystemGameHooks.h"
#include "Platform/Win32/Win32Threads.h"

// Rows 0 to 2 are the sprite manager's line, billboard and extended line sprite jobs; they are filled in
// with the sprite manager. Row 3 runs one-off jobs.
ClJobType ClJobMgr::m_aBuiltInJobTypes[gc_iNUM_BUILT_IN_JOB_TYPES] = {
    {nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr},
    {&ClJobMgr::dispatchOneOffJob, &ClJobMgr::runOneOffJob, &ClJobMgr::finishOneOffJob},
};
ClJobType* ClJobMgr::mp_pRegisteredJobTypes = nullptr;
i32 ClJobMgr::m_iNumRegisteredJobTypes = 0;
ClDynamicVector<ClJob*> ClJobMgr::mp_daJobs;
ClMutexLock ClJobMgr::m_jobLock;
std::atomic<u32> ClJobMgr::mp_bInitialized{0};
std::atomic<u32> ClJobMgr::mp_bDispatchSuspended{0};

ClJobType* ClJobMgr::getJobType(i32 iJobType) {
  if (iJobType >= 0 && iJobType < gc_iNUM_BUILT_IN_JOB_TYPES) {
    return &m_aBuiltInJobTypes[iJobType];
  }
  const i32 iRow = iJobType - gc_iNUM_BUILT_IN_JOB_TYPES;
  if (iRow >= 0 && iRow < m_iNumRegisteredJobTypes && mp_pRegisteredJobTypes != nullptr) {
    return &mp_pRegisteredJobTypes[iRow];
  }
  return nullptr;
}

i32 ClJobMgr::initialize() {
  KV_ASSERT(ClMutexLock::g_bInitialized);
  mp_pRegisteredJobTypes = KvGetSystemGameHooks().gameJobTypes(&m_iNumRegisteredJobTypes);
  KV_ASSERT(m_iNumRegisteredJobTypes >= 0 && m_iNumRegisteredJobTypes <= gc_iNUM_GAME_JOB_TYPES);
  mp_daJobs.initialize(8);
  ClTaskMgr::initialize();
  mp_bDispatchSuspended.store(0, std::memory_order_release);
  mp_bInitialized.store(1, std::memory_order_release);
  m_oneOffJobPool.initialize();
  if (!ClMutexLock::create(&m_jobLock)) {
    KV_FATAL("ClJobMgr::initialize() -> Could NOT create mutex lock for job manager !");
  }
  return 1;
}

void ClJobMgr::shutdown() {
  if (!isInitialized()) {
    return;
  }
  ClTaskMgr::shutdown();
  // A one-off job that has not finished still holds its job record, which nobody else may release.
  while (m_oneOffJobPool.getCount() > 0) {
    SOneOffJobData* pData = m_oneOffJobPool.get(m_oneOffJobPool.getCount() - 1);
    KvAlignedFree(pData->mp_hJob);
    pData->mp_hJob = nullptr;
    m_oneOffJobPool.free(pData);
  }
  mp_daJobs.terminate();
  mp_pRegisteredJobTypes = nullptr;
  m_iNumRegisteredJobTypes = 0;
  mp_bDispatchSuspended.store(0, std::memory_order_release);
  mp_bInitialized.store(0, std::memory_order_release);
  ClMutexLock::destroy(&m_jobLock);
}

i32 ClJobMgr::addJob(i32 iJobType, void* pUserData, ClJob** phJob) {
  KvCheckPointer(phJob);
  mp_daJobs.append(nullptr);
  void* pBlock = KvAlignedAlloc(sizeof(ClJob), 16);
  KV_ASSERT_MSG(pBlock, "hJob");
  ClJob* hJob = new (pBlock) ClJob;
  *mp_daJobs.getLast() = hJob;
  hJob->m_iJobType = iJobType;
  hJob->mp_pUserData = pUserData;
  *phJob = hJob;

  ClJobType* pJobType = getJobType(iJobType);
  KV_ASSERT(pJobType);
  KV_ASSERT(pJobType->mp_dispatchTasksCallback);
  pJobType->mp_dispatchTasksCallback(pUserData, hJob);

  ClTaskMgr::publishTasks();
  // The caller of a job other than a one-off waits for it and runs tasks meanwhile: a processor is its.
  if (isInitialized() && !isDispatchSuspended()) {
    ClTaskMgr::dispatchTasks(iJobType != gc_iJOB_TYPE_ONE_OFF);
  }
  return 1;
}

bool ClJobMgr::startTask(ClJob* hJob, void* pTaskData) {
  if (hJob == nullptr) {
    return false;
  }
  ClJobType* pJobType = getJobType(hJob->m_iJobType);
  KV_ASSERT(pJobType);
  ++hJob->m_iNumTasks;
  ClTaskMgr::addTask(hJob, pTaskData, pJobType->mp_taskCallback);
  return true;
}

void ClJobMgr::taskFinished(ClJob* hJob) {
  if (hJob == nullptr) {
    return;
  }
  ++hJob->m_iNumFinishedTasks;
  if (hJob->m_iNumFinishedTasks == hJob->m_iNumTasks) {
    ClJobType* pJobType = getJobType(hJob->m_iJobType);
    KV_ASSERT(pJobType);
    KV_ASSERT(pJobType->mp_finishedWithAllTasksCallback);
    pJobType->mp_finishedWithAllTasksCallback(hJob->mp_pUserData);
  }
}

bool ClJobMgr::isJobComplete(ClJob* hJob) {
  return hJob == nullptr || hJob->m_iNumTasks == hJob->m_iNumFinishedTasks;
}

bool ClJobMgr::finishJob(ClJob* hJob) {
  if (hJob == nullptr) {
    return false;
  }
  KV_ASSERT(isJobComplete(hJob));
  ClJobType* pJobType = getJobType(hJob->m_iJobType);
  KV_ASSERT(pJobType);
  KV_ASSERT(pJobType->mp_finishedWithAllTasksCallback);
  pJobType->mp_finishedWithAllTasksCallback(hJob->mp_pUserData);
  return true;
}

u32 ClJobMgr::waitForJob(ClJob* hJob) {
  if (hJob == nullptr) {
    return 0;
  }
  // Idle workers get their share first (a dispatch); then this thread runs queued tasks, retiring finished
  // ones on the way, and when none is left it dispatches again and sleeps until a worker finishes a task.
  // While dispatching is suspended, queued tasks stay queued: this thread neither hands them out nor runs
  // them, and looks again after a short sleep.
  bool bHandedOut = false;
  while (!isJobComplete(hJob)) {
    if (isInitialized() && !isDispatchSuspended()) {
      if (bHandedOut && ClTaskMgr::runQueuedTasks(gc_iMAX_TASK_SHARE) > 0) {
        continue;
      }
      ClTaskMgr::dispatchTasks(true);
      bHandedOut = true;
      if (isJobComplete(hJob)) {
        break;
      }
      if (ClTaskMgr::runQueuedTasks(gc_iMAX_TASK_SHARE) > 0) {
        continue;
      }
      // That look retires what workers filed meanwhile: the job may be complete with nothing left to run.
      if (isJobComplete(hJob)) {
        break;
      }
    } else {
      bHandedOut = false;
    }
    ClTaskMgr::waitForFinishedTask();
  }
  return isJobComplete(hJob) ? hJob->m_uiResult : 0;
}

bool ClJobMgr::runTaskOnThisThread(ClJob* hJob, void* pTaskData) {
  if (hJob == nullptr) {
    return false;
  }
  ClJobType* pJobType = getJobType(hJob->m_iJobType);
  KV_ASSERT(pJobType);
  KV_ASSERT(pJobType->mp_taskCallback);
  ++hJob->m_iNumTasks;
  pJobType->mp_taskCallback(pTaskData);
  taskFinished(hJob);
  return true;
}

void ClJobMgr::removeJob(ClJob* hJob) {
  KV_ASSERT_MSG(mp_daJobs.isInitialized(), "Uninitialized Dynamic vector used!");
  mp_daJobs.removeValue(hJob);
}

SOneOffJobData* ClJobMgr::allocOneOffJob() {
  SOneOffJobData* pData = m_oneOffJobPool.alloc();
  *pData = SOneOffJobData{};
  return pData;
}

void ClJobMgr::dispatchOneOffJob(void* pUserData, ClJob* hJob) {
  SOneOffJobData* pData = static_cast<SOneOffJobData*>(pUserData);
  ClJob* pJob = hJob;
  KV_ASSERT(pData);
  KV_ASSERT(pJob);
  pData->mp_hJob = pJob;
  startTask(pJob, pData);
}

void ClJobMgr::runOneOffJob(void* pTaskData) {
  SOneOffJobData* pData = static_cast<SOneOffJobData*>(pTaskData);
  if (pData->mp_workCallback != nullptr) {
    pData->mp_workCallback(&pData->m_aParams[0], &pData->m_aParams[1], &pData->m_aParams[2]);
  }
}

void ClJobMgr::finishOneOffJob(void* pUserData) {
  SOneOffJobData* pData = static_cast<SOneOffJobData*>(pUserData);
  KV_ASSERT(pData);
  if (pData->mp_finishedCallback != nullptr) {
    pData->mp_finishedCallback(&pData->m_aParams[0], &pData->m_aParams[1], &pData->m_aParams[2]);
  }
  if (pData->mp_hJob != nullptr) {
    ClJob* hJob = pData->mp_hJob;
    waitForJob(hJob);
    KvAlignedFree(hJob);
    removeJob(hJob);
    pData->mp_hJob = nullptr;
  }
  m_oneOffJobPool.free(pData);
}
