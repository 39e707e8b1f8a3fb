// The task manager: runs small units of work (tasks) on a fixed set of worker threads, one per logical
// processor. The job manager (ClJobMgr) is its only client: it splits jobs into tasks and counts their
// completions.
//
// Tasks are queued, handed to idle workers and retired by one controlling thread at a time, which also runs
// every task's completion routine: the render worker during its frame, and the main thread at the start of
// each game frame while the render worker waits (the frame hand-over keeps the two apart). So the queue, the
// running list and the idle list take no lock. Each worker exchanges its hand-over words with the controlling
// thread through its own event: the task data and routine are written before the event is signalled and
// read by the worker after its wait; the worker sets its done flag after the call, and the controller reuses
// the entry only after it has seen that flag.
//
// Hand-out is last-in, first-out on both sides: the task queued most recently runs first, on the worker that
// became idle most recently. At most one task per logical processor is in flight. dispatchTasks never blocks.
//
// Waiting is cheap on both sides, and nobody yields in a loop. A worker that has finished a task polls for its
// next hand-over for at most gc_uiWORKER_SPIN_MICROSECONDS (a hand-over meanwhile costs no system call), and
// only while the controlling thread is awake; then it sleeps on its event. The controlling thread, waiting for
// a job (waitForFinishedTask), polls the running workers' done flags for at most
// gc_uiDISPATCHER_SPIN_MICROSECONDS, then sleeps, alertable, until a worker that finishes a task wakes it.
// A sleeping controlling thread makes polling workers sleep at once: it needs a core to wake on.
#pragma once

#include <atomic>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/KvTypes.h"

class ClJob;

// A task routine: runs on a worker with the task's data.
typedef void (*KvTaskCallback)(void* pTaskData);
// A task's completion routine: runs on the controlling thread with the task's owner.
typedef void (*KvTaskCompletion)(ClJob* pOwner);

// One worker. Zeroed at creation. The handles are the platform's thread and event handles. Each entry has
// cache lines of its own, so a worker polling its entry does not slow down its neighbours' hand-overs.
struct alignas(64) SThreadEntry {
  void* m_hThread = nullptr;
  u32 m_uiThreadId = 0;
  u32 m_uiWorkerIndex = 0;
  void* m_hEvent = nullptr;
  void* mp_pTaskData = nullptr;  // argument of the next call
  std::atomic<KvTaskCallback> mp_taskCallback{nullptr};
  std::atomic<u32> m_bAwake{0};  // 0 while the worker waits on its event, 1 from its wake-up until it waits again
  std::atomic<u32> m_bDone{0};   // set by the worker after a call, cleared by the controller on retirement
  std::atomic<u32> m_bQuit{0};
  std::atomic<i32> m_iStatus{0};  // -1 running, 0 stopped in order, 1 failed (never started or a failed wait)
  // How the next signal reaches the worker. Every signal sets this word to handed. Before it blocks on its
  // event, a worker polls for a moment (polling) and takes a hand-over from the word alone, so a worker kept
  // busy costs neither a sleep nor a wake-up. Once the worker has committed to its wait (not polling), the
  // event is set too; the worker sleeps until the word says handed.
  std::atomic<u32> m_uiSignalState{0};
  std::atomic<u32> m_bSleeping{0};  // 1 from the worker's last look at the signal word to its wake-up
};

inline constexpr u32 gc_uiSIGNAL_NOT_POLLING = 0;
inline constexpr u32 gc_uiSIGNAL_POLLING = 1;
inline constexpr u32 gc_uiSIGNAL_HANDED = 2;

struct ClTask {
  void* pTaskData = nullptr;
  KvTaskCallback taskCallback = nullptr;
  KvTaskCompletion mp_completion = nullptr;
  SThreadEntry* mp_pWorker = nullptr;  // null while queued
  ClJob* mp_pOwner = nullptr;
};

inline constexpr u32 gc_uiWORKER_SPIN_MICROSECONDS = 20;
inline constexpr u32 gc_uiDISPATCHER_SPIN_MICROSECONDS = 20;
inline constexpr i32 gc_iWORKER_STATUS_RUNNING = -1;
inline constexpr i32 gc_iWORKER_STATUS_STOPPED = 0;
inline constexpr i32 gc_iWORKER_STATUS_FAILED = 1;

class ClTaskMgr {
 public:
  // Counts the processors, sets the lists up and starts one worker per logical processor. A worker whose
  // event or thread cannot be created is left out (status 1); the others run. Main thread.
  static void initialize();
  // Queues a task whose completion routine is the job manager's. Controlling thread.
  static void addTask(ClJob* pOwner, void* pTaskData, KvTaskCallback taskCallback);
  // Retires every finished task (calling its completion routine here), then hands queued tasks to idle
  // workers. Controlling thread; never on a worker.
  static void dispatchTasks();
  // Waits for every busy worker, stops all workers and releases everything. Queued and unretired tasks are
  // dropped without their completion routines. Main thread.
  static void shutdown();
  // A worker thread's routine. True after an orderly stop.
  static bool workerThreadProc(SThreadEntry* pMyEntry);
  // Wakes the worker for the hand-over words written before: through the polling word when the worker is
  // polling, else through its event. False when the event could not be signalled.
  static bool signalWorker(SThreadEntry* pEntry);
  // Controlling thread: sets the event of every running worker that went to sleep just as its task was handed
  // over by the polling word (it would otherwise sleep on with the task).
  static void wakeStrandedWorkers();
  // Controlling thread, between dispatches: returns once a running task has finished, or after at most a
  // millisecond (a suspended dispatch is looked at again). Polls briefly, then sleeps, alertable (the thread's
  // completion routines run), until a worker finishes a task.
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
  static ClDynamicVector<SThreadEntry*> mp_daIdleWorkers;  // a stack: the top is the last entry
  // Set while the controlling thread sleeps in waitForFinishedTask; a worker that finishes a task then sets
  // the event.
  static std::atomic<u32> mp_bDispatcherAsleep;
  static void* mp_hDispatcherEvent;
};
