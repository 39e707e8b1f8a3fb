// The task manager: runs small units of work (tasks) on a fixed set of worker threads, one per logical
// processor. The job manager (ClJobMgr) is its only client: it splits jobs into tasks and counts their
// completions.
//
// Tasks are queued and retired by one controlling thread at a time, which also runs every task's completion
// routine: the render worker during its frame, and the main thread at the start of each game frame while the
// render worker waits (the frame hand-over keeps the two apart). The queue, the running, finished and idle
// lists are shared with the workers under one short lock (m_listLock); completion routines run outside it.
//
// Hand-out is last-in, first-out on both sides: the task queued most recently runs first, and a dispatch hands
// it to the worker that became idle most recently. Each worker runs one task at a time. A worker that
// finishes its tasks files them as finished and takes the latest queued tasks in the same step, so a busy worker
// never waits for the controlling thread; only a worker that finds the queue empty (or dispatching suspended,
// or shutdown begun) goes idle. An idle worker that has just run tasks watches its entry for a few tens of
// microseconds before it sleeps on its event: a job that follows at once (the sprite jobs come in a row) is
// handed to it without a wake-up, which costs far more than the work of a small task; a dispatch signals the
// event of a worker that no longer watches. The controlling
// thread, waiting for a job, runs queued tasks itself (runQueuedTasks), and tasks handed to workers that have
// not woken up yet, and sleeps only when none is left, until a worker finishes a task. dispatchTasks never
// blocks on a task.
//
// A long queue is shared out a share at a time (takeShare): whoever takes from it (a worker that has finished,
// or the waiting controlling thread) takes the latest tasks in one step, up to a share of the queue per thread
// that may take from it, so that the lock is taken a few times per thread and job rather than once per task,
// and shares shrink as the queue empties, down to a few tasks, keeping the threads' last shares short. A share
// runs in the order its tasks were queued. A worker's share is its first task, running (in the running list),
// and the rest of the share, which it keeps in its entry and runs in turn; the controlling thread, once nothing
// is queued, takes back half of what a busy worker has not started yet, so that a worker that has lost its core
// does not hold the job up. A worker files the share it has run as one record per run of tasks with the same
// owner.
#pragma once

#include <atomic>
#include <mutex>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/KvTypes.h"

class ClJob;

// A task routine: runs on a worker (or on the waiting controlling thread) with the task's data.
typedef void (*KvTaskCallback)(void* pTaskData);
// A task's completion routine: runs on the controlling thread with the task's owner.
typedef void (*KvTaskCompletion)(ClJob* pOwner);

struct SThreadEntry;

struct ClTask {
  void* pTaskData = nullptr;
  KvTaskCallback taskCallback = nullptr;
  KvTaskCompletion mp_completion = nullptr;
  SThreadEntry* mp_pWorker = nullptr;  // null while queued
  ClJob* mp_pOwner = nullptr;
};

// Tasks that a worker has run, filed for the controlling thread to retire: a run of them with the same completion
// routine and owner (a worker files its share at once, and a share is usually one job's).
struct SFinishedTasks {
  KvTaskCompletion mp_completion = nullptr;
  ClJob* mp_pOwner = nullptr;
  i32 m_iCount = 0;
};

// Queued tasks as the workers read them (ClTaskMgr::mp_daQueuedRuns): a run of tasks next to each other in the
// queue, added one after another, with the same routines and owner. Their data are at consecutive tickets of the
// task data ring, from the first task's.
struct SQueuedRun {
  i32 m_iFirst = 0;  // queue index of the run's first task
  u32 m_uiFirstTicket = 0;
  KvTaskCallback taskCallback = nullptr;
  KvTaskCompletion mp_completion = nullptr;
  ClJob* mp_pOwner = nullptr;
};

// The most tasks one take from the queue moves at a time, and the fewest while as many are queued (takeShare).
inline constexpr i32 gc_iMAX_TASK_SHARE = 128;
inline constexpr i32 gc_iMIN_TASK_SHARE = 4;

// One worker. Zeroed at creation. The handles are the platform's thread and event handles. The task data and
// routine are written under the list lock by whoever hands the task over (a dispatch, or the worker itself)
// and read by the worker under the same lock. The rest of the worker's share is written by the worker under
// the lock and then read by it alone until it files those tasks as finished.
struct alignas(64) SThreadEntry {
  void* m_hThread = nullptr;
  u32 m_uiThreadId = 0;
  u32 m_uiWorkerIndex = 0;
  void* m_hEvent = nullptr;
  void* mp_pTaskData = nullptr;  // argument of the next call
  KvTaskCallback mp_taskCallback = nullptr;
  bool m_bPickedUp = false;  // the worker has read the task handed to it (under the list lock)
  std::atomic<u32> m_bAwake{0};  // 0 while the worker waits on its event, 1 from its wake-up until it waits again
  std::atomic<u32> m_bQuit{0};
  std::atomic<i32> m_iStatus{0};  // -1 running, 0 stopped in order, 1 failed (never started or a failed wait)
  // gc_uiWATCH_* : whether the idle worker watches for a hand-over before sleeping, and whether one came.
  std::atomic<u32> m_uiWatch{0};
  // The rest of the share, in queue order: the worker runs them from the front, and the controlling thread, with
  // nothing queued, may take some back from the end. The cursor holds the next one to run (low 16 bits) and the
  // end (high 16 bits); both sides move it with compare-and-swap, so each task goes to one of them.
  std::atomic<u32> m_uiShareCursor{0};
  ClTask m_aShare[gc_iMAX_TASK_SHARE - 1];
};

// The lock of the task lists. Held for a few list operations at a time: a thread that finds it taken tries
// again for a moment before it blocks, since blocking and being woken costs far more than the wait.
class ClTaskListLock {
 public:
  void lock();
  void unlock() { m_mutex.unlock(); }

 private:
  std::mutex m_mutex;
};

// An idle worker's watch: not watching (asleep on its event, or on its way there), watching its entry, or
// handed a task while watching (the dispatch then leaves its event alone).
inline constexpr u32 gc_uiWATCH_NONE = 0;
inline constexpr u32 gc_uiWATCH_WATCHING = 1;
inline constexpr u32 gc_uiWATCH_HANDED = 2;
// How long an idle worker watches before it sleeps on its event (ClTaskMgr::mp_iWatchMicroseconds).
inline constexpr i32 gc_iWATCH_MICROSECONDS = 50;

inline constexpr i32 gc_iWORKER_STATUS_RUNNING = -1;
inline constexpr i32 gc_iWORKER_STATUS_STOPPED = 0;
inline constexpr i32 gc_iWORKER_STATUS_FAILED = 1;

class ClTaskMgr {
 public:
  // Counts the processors, sets the lists up and starts one worker per logical processor. A worker whose
  // event or thread cannot be created is left out (status 1); the others run. Main thread.
  static void initialize();
  // Queues a task whose completion routine is the job manager's. Controlling thread. The task is staged on
  // the controlling thread, without the list lock, and moved into the queue with the rest of the stage when the
  // stage is full, or by publishTasks, dispatchTasks or runQueuedTasks, whichever comes first: a job of many
  // tasks takes the lock a few times rather than once per task. A full stage is also handed out to idle workers
  // at once (while the job manager runs and dispatching is not suspended), keeping a processor for the caller
  // as dispatchTasks(true) does, so that a long job's workers start while its dispatch adds the rest.
  static void addTask(ClJob* pOwner, void* pTaskData, KvTaskCallback taskCallback);
  // Controlling thread: moves the staged tasks into the queue.
  static void publishTasks();
  // Retires every finished task (calling its completion routine here), then hands queued tasks to idle
  // workers, keeping as many tasks in flight as there are logical processors at most. With bCallerRunsTasks
  // (the job manager, whose calling thread runs queued tasks while it waits for its job) that thread's task
  // counts as one of them, so one worker fewer is handed a task, unless that would leave none. Controlling
  // thread; never on a worker.
  static void dispatchTasks(bool bCallerRunsTasks = false);
  // Controlling thread: retires finished tasks, then takes the latest queued task, or else the task handed
  // most recently to a worker that has not woken up to it yet (that worker goes back to the idle list), or else
  // tasks of a busy worker's share that it has not started, runs them here and calls their completion routines.
  // False when there was no such task.
  static bool runQueuedTask() { return runQueuedTasks(1) > 0; }
  // The same with a share of the queue (takeShare, at most iMost tasks): the latest tasks, taken in one step and
  // run in the order they were queued; each task's completion routine is called as soon as it has run. Answers
  // how many ran.
  static i32 runQueuedTasks(i32 iMost);
  // Under the list lock: how many of iQueued queued tasks one taker takes at a time, at most iMost.
  static i32 takeShare(i32 iQueued, i32 iMost);
  // Waits for every busy worker, stops all workers and releases everything. Queued and unretired tasks are
  // dropped without their completion routines. Main thread.
  static void shutdown();
  // A worker thread's routine. True after an orderly stop.
  static bool workerThreadProc(SThreadEntry* pMyEntry);
  // Controlling thread, between dispatches: returns once a task has finished and awaits retirement, or after
  // at most a millisecond (a suspended dispatch is looked at again). Watches for a worker's filing for a few
  // microseconds, then sleeps, alertable (the thread's completion routines run), until a worker finishes a task.
  static void waitForFinishedTask();
  // Counts cores and logical processors from the system's processor records (0 each when unavailable).
  static void countLogicalProcessors();

  static i32 getNumLogicalProcessors() { return m_iNumLogicalProcessors; }
  static i32 getNumCores() { return m_iNumCores; }
  // True while any worker is awake (the focus-loss hook waits until none is).
  static bool isAnyWorkerAwake();
  static bool isInitialized() { return mp_pThreadEntries != nullptr; }

  static i32 m_iNumCores;
  static i32 m_iNumLogicalProcessors;
  static SThreadEntry* mp_pThreadEntries;  // one per logical processor
  static ClDynamicVector<ClTask> mp_daTaskQueue;
  static ClDynamicVector<ClTask> mp_daRunningTasks;
  static ClDynamicVector<SFinishedTasks> mp_daFinishedTasks;  // run, waiting for the controlling thread to retire them
  static ClDynamicVector<SThreadEntry*> mp_daIdleWorkers;  // a stack: the top is the last entry
  static ClTaskListLock m_listLock;
  // Set while the controlling thread sleeps in waitForFinishedTask; a worker that finishes a task then sets
  // the event.
  static std::atomic<u32> mp_bDispatcherAsleep;
  // Counts the workers' filings of finished tasks (under the list lock); read without it by the waiting thread.
  static std::atomic<u32> mp_uiFilings;
  static void* mp_hDispatcherEvent;
  // Tasks added but not yet in the queue (addTask), in order; the controlling thread's alone.
  static ClTask mp_aStagedTasks[gc_iMAX_TASK_SHARE * 2];
  static i32 mp_iNumStagedTasks;
  // The queue as a worker reads it when it takes a share, under the list lock: its tasks in runs, the last run
  // ending at the queue's end, and each task's data in a ring at the task's ticket (tickets count the tasks added).
  // The controlling thread writes a task's data into the ring as it adds the task, outside the lock, so a worker's
  // share costs it a run and the share's data rather than every task's record: where the controlling thread and
  // a worker sit on cores that share no cache, each cache line that goes from one to the other is dear.
  static ClDynamicVector<SQueuedRun> mp_daQueuedRuns;
  static void** mp_apTaskData;  // mp_uiTaskDataMask + 1 entries, a power of two
  static u32 mp_uiTaskDataMask;
  // The controlling thread's: the next task's ticket, and no later than the oldest ticket still queued or staged.
  static u32 mp_uiNextTicket;
  static u32 mp_uiOldestTicket;
  // How long an idle worker that has just run tasks watches for a hand-over (0: it sleeps at once). Read by the
  // workers as they go idle.
  static std::atomic<i32> mp_iWatchMicroseconds;
  // Set at shutdown: workers take no further queued task, and idle workers stop watching.
  static std::atomic<bool> mp_bStopping;
};
