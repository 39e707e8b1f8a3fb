// The job manager: a job has a type and a piece of user data; its type's dispatch callback splits it into
// tasks (startTask, once per task), the task manager runs the tasks on the workers, and when the last task
// has completed the type's finished callback runs on the thread that dispatches (never on a worker).
//
// Job types 0 to 3 are the built-in rows (0 to 2 the sprite manager's, 3 the one-off jobs); types 4 and up
// are the rows the game hands over (ClSystemGameHooks::gameJobTypes). A missing row or routine is an assertion.
//
// Threads: jobs are added, waited for, finished and removed by one controlling thread at a time (the render
// worker during its frame; the main thread dispatches at the start of a game frame while the render worker
// waits), so the job list takes no lock. initialize and shutdown run on the main thread. The suspended flag
// is written by the main thread's focus hooks and read by the controlling thread.
//
// Ownership: addJob allocates the job; releasing it is the caller's (waitForJob, KvAlignedFree, removeJob),
// except for one-off jobs (type 3), which release themselves when they finish: their callers must neither
// wait for nor release the handle.
#pragma once

#include <atomic>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClTaskMgr.h"

class alignas(16) ClJob {
 public:
  i32 m_iJobType = 0;
  void* mp_pUserData = nullptr;
  i32 m_iNumTasks = 0;
  i32 m_iNumFinishedTasks = 0;
  u32 m_uiResult = 0;  // 0 unless the job type's code sets it
};

struct ClJobType {
  void (*mp_dispatchTasksCallback)(void* pUserData, ClJob* hJob);
  KvTaskCallback mp_taskCallback;
  void (*mp_finishedWithAllTasksCallback)(void* pUserData);
};

inline constexpr i32 gc_iNUM_BUILT_IN_JOB_TYPES = 4;
inline constexpr i32 gc_iJOB_TYPE_ONE_OFF = 3;
inline constexpr i32 gc_iNUM_GAME_JOB_TYPES = 4;
inline constexpr i32 gc_iMAX_ONE_OFF_JOBS = 64;

// A parameter block of a one-off job, handed to its routines as they were filled by the job's creator.
struct SOneOffJobParams {
  void* mp_pData = nullptr;
  i32 m_iSize = 0;
};

typedef void (*KvOneOffJobCall)(SOneOffJobParams* pParam0, SOneOffJobParams* pParam1, SOneOffJobParams* pParam2);

// A one-off job: one routine run on a worker, then an optional finished routine on the dispatching thread.
struct SOneOffJobData {
  ClJob* mp_hJob = nullptr;
  KvOneOffJobCall mp_workCallback = nullptr;
  KvOneOffJobCall mp_finishedCallback = nullptr;
  u32 m_uiReserved = 0;
  SOneOffJobParams m_aParams[3];
  i32 mp_iOnOffJobResource = 0;
};

class ClJobMgr {
 public:
  // Registers the game's rows, starts the task workers and creates the job lock (fatal error when the lock
  // pool is exhausted). Returns 1.
  static i32 initialize();
  // Stops the workers and releases the list, the one-off records and the lock; only when initialised.
  static void shutdown();

  // Creates a job, writes its handle to *phJob, runs its type's dispatch callback, then dispatches tasks
  // (unless suspended), keeping a processor for this thread, which runs tasks while it waits (not for one-off
  // jobs, which nobody waits for). Returns 1.
  static i32 addJob(i32 iJobType, void* pUserData, ClJob** phJob);
  // For dispatch callbacks: counts one task and queues it with the type's task routine. False for a null job.
  static bool startTask(ClJob* hJob, void* pTaskData);
  // For dispatch callbacks whose work is too small to share with the workers: counts one task, runs it with the
  // type's task routine on this thread and counts it finished (the finished callback runs here when it was the
  // job's last). Call it after any startTask of the same job. False for a null job.
  static bool runTaskOnThisThread(ClJob* hJob, void* pTaskData);
  // The task manager's completion routine: one task of hJob has run (null is ignored). Runs the finished
  // callback when it was the last.
  static void taskFinished(ClJob* hJob);
  // True when every task started has finished, and for a null job.
  static bool isJobComplete(ClJob* hJob);
  // For dispatch callbacks that started no task: the job must be complete; runs the finished callback.
  // False for a null job.
  static bool finishJob(ClJob* hJob);
  // Dispatches (keeping a processor for this thread) and runs queued tasks on this thread until none is left,
  // then sleeps until a worker finishes a task (ClTaskMgr::waitForFinishedTask, alertable), until the job is
  // complete, which it looks at after every step; answers its result (0 for a
  // null job). While dispatching is suspended it waits until it resumes.
  static u32 waitForJob(ClJob* hJob);
  // Removes the handle from the job list; a handle not listed is a fatal error.
  static void removeJob(ClJob* hJob);

  // The built-in one-off job type's rows.
  static void dispatchOneOffJob(void* pUserData, ClJob* hJob);
  static void runOneOffJob(void* pTaskData);
  static void finishOneOffJob(void* pUserData);
  // A cleared one-off record from the pool of 64 ("Pool alloc failed" when all are in use). The caller fills
  // its routines and parameters and adds it as a job of type 3.
  static SOneOffJobData* allocOneOffJob();

  static bool isInitialized() { return mp_bInitialized.load(std::memory_order_acquire) != 0; }
  static bool isDispatchSuspended() { return mp_bDispatchSuspended.load(std::memory_order_acquire) != 0; }
  // Set by the focus-loss hook, cleared by the focus-regain hook; queued tasks stay queued meanwhile.
  static void setDispatchSuspended(bool bSuspended) {
    mp_bDispatchSuspended.store(bSuspended ? 1 : 0, std::memory_order_release);
  }

  static ClJobType m_aBuiltInJobTypes[gc_iNUM_BUILT_IN_JOB_TYPES];
  static ClJobType* mp_pRegisteredJobTypes;
  static i32 m_iNumRegisteredJobTypes;
  static ClDynamicVector<ClJob*> mp_daJobs;
  static ClPool<SOneOffJobData, gc_iMAX_ONE_OFF_JOBS> m_oneOffJobPool;
  static ClMutexLock m_jobLock;
  static std::atomic<u32> mp_bInitialized;
  static std::atomic<u32> mp_bDispatchSuspended;

 private:
  static ClJobType* getJobType(i32 iJobType);
};
