#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <new>
#include <thread>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/ClTaskMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Win32/Win32System.h"
#include "Platform/Win32/Win32Threads.h"

i32 ClTaskMgr::m_iNumCores = 0;
i32 ClTaskMgr::m_iNumLogicalProcessors = 0;
SThreadEntry* ClTaskMgr::mp_pThreadEntries = nullptr;
std::atomic<u32> ClTaskMgr::mp_bDispatcherAsleep{0};
std::atomic<u32> ClTaskMgr::mp_uiFilings{0};
ClTask ClTaskMgr::mp_aStagedTasks[gc_iMAX_TASK_SHARE * 2];
i32 ClTaskMgr::mp_iNumStagedTasks = 0;
ClDynamicVector<SQueuedRun> ClTaskMgr::mp_daQueuedRuns;
void** ClTaskMgr::mp_apTaskData = nullptr;
u32 ClTaskMgr::mp_uiTaskDataMask = 0;
u32 ClTaskMgr::mp_uiNextTicket = 0;
u32 ClTaskMgr::mp_uiOldestTicket = 0;
void* ClTaskMgr::mp_hDispatcherEvent = nullptr;
std::atomic<bool> ClTaskMgr::mp_bStopping{false};
std::atomic<i32> ClTaskMgr::mp_iWatchMicroseconds{gc_iWATCH_MICROSECONDS};
ClTaskListLock ClTaskMgr::m_listLock;
ClDynamicVector<ClTask> ClTaskMgr::mp_daTaskQueue;
ClDynamicVector<ClTask> ClTaskMgr::mp_daRunningTasks;
ClDynamicVector<SFinishedTasks> ClTaskMgr::mp_daFinishedTasks;
ClDynamicVector<SThreadEntry*> ClTaskMgr::mp_daIdleWorkers;

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KV_SPIN_PAUSE() _mm_pause()
#else
#define KV_SPIN_PAUSE() ((void)0)
#endif

void ClTaskListLock::lock() {
  for (i32 i = 0; i < 100; ++i) {
    if (m_mutex.try_lock()) {
      return;
    }
    KV_SPIN_PAUSE();
  }
  m_mutex.lock();
}

namespace {

typedef BOOL(WINAPI* KvGetLogicalProcessorInformation)(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION, PDWORD);

unsigned __stdcall startWorker(void* pEntry) {
  return ClTaskMgr::workerThreadProc(static_cast<SThreadEntry*>(pEntry)) ? 1u : 0u;
}

// Under the list lock: the task goes to the worker and into the running list.
void handOver(SThreadEntry* pWorker, ClTask task) {
  task.mp_pWorker = pWorker;
  pWorker->mp_pTaskData = task.pTaskData;
  pWorker->mp_taskCallback = task.taskCallback;
  ClTaskMgr::mp_daRunningTasks.append(task);
}

// Under the list lock: iCount tasks leave the end of the queue, and the runs that covered only them go.
void dropLatest(i32 iCount) {
  ClDynamicVector<ClTask>& queue = ClTaskMgr::mp_daTaskQueue;
  ClDynamicVector<SQueuedRun>& runs = ClTaskMgr::mp_daQueuedRuns;
  const i32 iEnd = queue.getCount() - iCount;
  while (queue.getCount() > iEnd) {
    queue.erase(queue.getCount() - 1);
  }
  while (runs.getCount() > 0 && runs.getLast()->m_iFirst >= iEnd) {
    runs.erase(runs.getCount() - 1);
  }
}

// Under the list lock, on the controlling thread: moves the latest iCount queued tasks to aTasks, in the order
// they were queued. A share runs in that order: a dispatch queues its pieces of work in the order of their data,
// so each thread walks its share's data forwards, which the processor's prefetching follows, also through data
// that another core wrote last.
void takeLatest(ClTask* aTasks, i32 iCount) {
  ClDynamicVector<ClTask>& queue = ClTaskMgr::mp_daTaskQueue;
  const i32 iFirst = queue.getCount() - iCount;
  for (i32 i = 0; i < iCount; ++i) {
    aTasks[i] = queue[iFirst + i];
  }
  dropLatest(iCount);
}

// Under the list lock, on a worker: as takeLatest, but at most the last run's tasks, read through the run and the
// data ring rather than the records; answers how many.
i32 takeLatestRun(ClTask* aTasks, i32 iCount) {
  const SQueuedRun* pRun = ClTaskMgr::mp_daQueuedRuns.getLast();
  KV_ASSERT(pRun);
  const i32 iQueued = ClTaskMgr::mp_daTaskQueue.getCount();
  iCount = std::min(iCount, iQueued - pRun->m_iFirst);
  const u32 uiFirstTicket = pRun->m_uiFirstTicket + static_cast<u32>(iQueued - iCount - pRun->m_iFirst);
  for (i32 i = 0; i < iCount; ++i) {
    ClTask& task = aTasks[i];
    task.pTaskData = ClTaskMgr::mp_apTaskData[(uiFirstTicket + static_cast<u32>(i)) & ClTaskMgr::mp_uiTaskDataMask];
    task.taskCallback = pRun->taskCallback;
    task.mp_completion = pRun->mp_completion;
    task.mp_pWorker = nullptr;
    task.mp_pOwner = pRun->mp_pOwner;
  }
  dropLatest(iCount);
  return iCount;
}

// Under the list lock, on the controlling thread: the staged tasks go to the end of the queue, in order, each
// continuing the last run when it can.
void queueStaged() {
  ClDynamicVector<ClTask>& queue = ClTaskMgr::mp_daTaskQueue;
  ClDynamicVector<SQueuedRun>& runs = ClTaskMgr::mp_daQueuedRuns;
  u32 uiTicket = ClTaskMgr::mp_uiNextTicket - static_cast<u32>(ClTaskMgr::mp_iNumStagedTasks);
  for (i32 i = 0; i < ClTaskMgr::mp_iNumStagedTasks; ++i, ++uiTicket) {
    const ClTask& task = ClTaskMgr::mp_aStagedTasks[i];
    const SQueuedRun* pLast = runs.getLast();
    if (pLast == nullptr || pLast->taskCallback != task.taskCallback || pLast->mp_completion != task.mp_completion ||
        pLast->mp_pOwner != task.mp_pOwner ||
        pLast->m_uiFirstTicket + static_cast<u32>(queue.getCount() - pLast->m_iFirst) != uiTicket) {
      runs.append({queue.getCount(), uiTicket, task.taskCallback, task.mp_completion, task.mp_pOwner});
    }
    queue.append(task);
  }
  ClTaskMgr::mp_iNumStagedTasks = 0;
  if (runs.getCount() > 0) {
    ClTaskMgr::mp_uiOldestTicket = runs[0].m_uiFirstTicket;
  }
}

// The worker's next task of its share, or null when the rest is run or taken back.
const ClTask* takeFromShareFront(SThreadEntry* pWorker) {
  u32 uiCursor = pWorker->m_uiShareCursor.load(std::memory_order_acquire);
  while ((uiCursor & 0xFFFFu) < (uiCursor >> 16)) {
    if (pWorker->m_uiShareCursor.compare_exchange_weak(uiCursor, uiCursor + 1, std::memory_order_acq_rel,
                                                      std::memory_order_acquire)) {
      return &pWorker->m_aShare[uiCursor & 0xFFFFu];
    }
  }
  return nullptr;
}

// Under the list lock, on the controlling thread: takes back the later half of what a busy worker has not started
// of its share (at least one task, at most iMost), copied to aTasks; answers how many (0 when no worker has any
// left).
i32 takeFromShareEnds(ClTask* aTasks, i32 iMost) {
  for (i32 i = ClTaskMgr::mp_daRunningTasks.getCount() - 1; i >= 0; --i) {
    SThreadEntry* pWorker = ClTaskMgr::mp_daRunningTasks[i].mp_pWorker;
    u32 uiCursor = pWorker->m_uiShareCursor.load(std::memory_order_acquire);
    for (;;) {
      const u32 uiNext = uiCursor & 0xFFFFu;
      const u32 uiEnd = uiCursor >> 16;
      if (uiNext >= uiEnd) {
        break;
      }
      const u32 uiNewEnd = uiEnd - std::clamp((uiEnd - uiNext) / 2, 1u, static_cast<u32>(iMost));
      if (pWorker->m_uiShareCursor.compare_exchange_weak(uiCursor, (uiNewEnd << 16) | uiNext,
                                                        std::memory_order_acq_rel, std::memory_order_acquire)) {
        for (u32 j = uiNewEnd; j < uiEnd; ++j) {
          aTasks[j - uiNewEnd] = pWorker->m_aShare[j];
          aTasks[j - uiNewEnd].mp_pWorker = nullptr;
        }
        return static_cast<i32>(uiEnd - uiNewEnd);
      }
    }
  }
  return 0;
}

// Under the list lock: one more finished task, counted into the last run filed when it continues it.
void fileFinished(const ClTask& task) {
  ClDynamicVector<SFinishedTasks>& finished = ClTaskMgr::mp_daFinishedTasks;
  if (finished.getCount() > 0) {
    SFinishedTasks* pLast = finished.getLast();
    if (pLast->mp_completion == task.mp_completion && pLast->mp_pOwner == task.mp_pOwner) {
      ++pLast->m_iCount;
      return;
    }
  }
  finished.append({task.mp_completion, task.mp_pOwner, 1});
}

// A worker has run its share: its running task and the rest of its share move to the finished list, and in the
// same step the worker takes the next share of the queue unless dispatching is suspended or shutdown has begun;
// else it goes onto the idle list, watching for a hand-over unless dispatching is suspended or shutdown has
// begun. Answers the next routine to call (null when idle) and its data. A worker going idle wakes a controlling
// thread asleep waiting for finished tasks; one that goes on to its next share does not, since that share's end
// will (the wait is bounded anyway, and the controlling thread sleeps only when nothing is queued).
KvTaskCallback finishAndTakeNext(SThreadEntry* pWorker, void** ppTaskData) {
  bool bWakeDispatcher = false;
  KvTaskCallback next = nullptr;
  {
    std::lock_guard<ClTaskListLock> hold(ClTaskMgr::m_listLock);
    for (i32 i = 0; i < ClTaskMgr::mp_daRunningTasks.getCount(); ++i) {
      if (ClTaskMgr::mp_daRunningTasks[i].mp_pWorker == pWorker) {
        fileFinished(ClTaskMgr::mp_daRunningTasks[i]);
        ClTaskMgr::mp_daRunningTasks.erase(i);
        break;
      }
    }
    ClTaskMgr::mp_uiFilings.fetch_add(1, std::memory_order_release);
    // Every task before the end ran here: the controlling thread took back those past it.
    const u32 uiRun = pWorker->m_uiShareCursor.load(std::memory_order_acquire) >> 16;
    for (u32 i = 0; i < uiRun; ++i) {
      fileFinished(pWorker->m_aShare[i]);
    }
    pWorker->mp_pTaskData = nullptr;
    pWorker->mp_taskCallback = nullptr;
    const i32 iQueued = ClTaskMgr::mp_daTaskQueue.getCount();
    const bool bGoOn = !ClTaskMgr::mp_bStopping.load(std::memory_order_relaxed) &&
                       !ClJobMgr::isDispatchSuspended() && pWorker->m_bQuit.load(std::memory_order_relaxed) == 0;
    if (bGoOn && iQueued > 0) {
      ClTask aTaken[gc_iMAX_TASK_SHARE];
      const i32 iShare = takeLatestRun(aTaken, ClTaskMgr::takeShare(iQueued, gc_iMAX_TASK_SHARE));
      handOver(pWorker, aTaken[0]);
      for (i32 i = 0; i + 1 < iShare; ++i) {
        pWorker->m_aShare[i] = aTaken[i + 1];
        pWorker->m_aShare[i].mp_pWorker = pWorker;
      }
      pWorker->m_uiShareCursor.store(static_cast<u32>(iShare - 1) << 16, std::memory_order_release);
      pWorker->m_bPickedUp = true;
      next = pWorker->mp_taskCallback;
      *ppTaskData = pWorker->mp_pTaskData;
    } else {
      pWorker->m_uiShareCursor.store(0, std::memory_order_release);
      pWorker->m_uiWatch.store(bGoOn ? gc_uiWATCH_WATCHING : gc_uiWATCH_NONE, std::memory_order_relaxed);
      ClTaskMgr::mp_daIdleWorkers.append(pWorker);
      bWakeDispatcher = ClTaskMgr::mp_bDispatcherAsleep.exchange(0, std::memory_order_relaxed) != 0;
    }
  }
  if (bWakeDispatcher) {
    SetEvent(ClTaskMgr::mp_hDispatcherEvent);
  }
  return next;
}

constexpr i32 gc_iRETIRE_BATCH = 32;

// Under the list lock: moves up to a batch of finished tasks out of the finished list; answers how many.
i32 takeFinished(SFinishedTasks* aRetiring) {
  i32 iRetiring = 0;
  while (iRetiring < gc_iRETIRE_BATCH && ClTaskMgr::mp_daFinishedTasks.getCount() > 0) {
    aRetiring[iRetiring++] = *ClTaskMgr::mp_daFinishedTasks.getLast();
    ClTaskMgr::mp_daFinishedTasks.erase(ClTaskMgr::mp_daFinishedTasks.getCount() - 1);
  }
  return iRetiring;
}

constexpr i32 gc_iHAND_OUT_BATCH = 64;
// How many times the waiting controlling thread looks for a filing before it sleeps (a few microseconds).
constexpr i32 gc_iFINISH_SPINS = 2000;

// Under the list lock: hands queued tasks to idle workers, last in first out on both sides, while fewer than
// iInFlight are running, at most a batch at a time; answers how many. The workers to signal once the lock is
// released (a woken worker's first step is to take the lock) go to apToSignal, iToSignal of them: a worker that
// is still watching its entry sees the hand-over without a signal.
i32 handOutToIdleWorkers(i32 iInFlight, SThreadEntry** apToSignal, i32* piToSignal) {
  i32 iHanded = 0;
  *piToSignal = 0;
  while (iHanded < gc_iHAND_OUT_BATCH && ClTaskMgr::mp_daRunningTasks.getCount() < iInFlight &&
         ClTaskMgr::mp_daTaskQueue.getCount() > 0 && ClTaskMgr::mp_daIdleWorkers.getCount() > 0) {
    SThreadEntry* pWorker = *ClTaskMgr::mp_daIdleWorkers.getLast();
    ClTaskMgr::mp_daIdleWorkers.erase(ClTaskMgr::mp_daIdleWorkers.getCount() - 1);
    handOver(pWorker, *ClTaskMgr::mp_daTaskQueue.getLast());
    dropLatest(1);
    pWorker->m_bPickedUp = false;
    u32 uiWatching = gc_uiWATCH_WATCHING;
    if (!pWorker->m_uiWatch.compare_exchange_strong(uiWatching, gc_uiWATCH_HANDED, std::memory_order_acq_rel)) {
      apToSignal[(*piToSignal)++] = pWorker;
    }
    ++iHanded;
  }
  return iHanded;
}

// Outside the lock, on the controlling thread: the completion routines of retired tasks.
void complete(const SFinishedTasks* aRetired, i32 iCount) {
  for (i32 i = 0; i < iCount; ++i) {
    for (i32 j = 0; aRetired[i].mp_completion != nullptr && j < aRetired[i].m_iCount; ++j) {
      aRetired[i].mp_completion(aRetired[i].mp_pOwner);
    }
  }
}

void complete(const ClTask* aRetired, i32 iCount) {
  for (i32 i = 0; i < iCount; ++i) {
    if (aRetired[i].mp_completion != nullptr) {
      aRetired[i].mp_completion(aRetired[i].mp_pOwner);
    }
  }
}

// An idle worker that finishAndTakeNext left watching: looks at its entry until a dispatch hands it a task
// (true), or until the watch ends (false: its time is up, dispatching is suspended, shutdown has begun or the
// worker is told to quit), after which a dispatch signals its event instead. It gives its core away now and
// then: the thread about to dispatch may be waiting for this core.
bool watchForHandOver(SThreadEntry* pWorker) {
  if (pWorker->m_uiWatch.load(std::memory_order_acquire) == gc_uiWATCH_NONE) {
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::microseconds(ClTaskMgr::mp_iWatchMicroseconds.load(std::memory_order_relaxed));
  for (i32 iSpin = 0; pWorker->m_uiWatch.load(std::memory_order_acquire) != gc_uiWATCH_HANDED; ++iSpin) {
    if (iSpin % 64 != 63) {
      KV_SPIN_PAUSE();
      continue;
    }
    if (ClTaskMgr::mp_bStopping.load(std::memory_order_relaxed) || ClJobMgr::isDispatchSuspended() ||
        pWorker->m_bQuit.load(std::memory_order_acquire) != 0 || std::chrono::steady_clock::now() >= deadline) {
      u32 uiWatching = gc_uiWATCH_WATCHING;
      if (pWorker->m_uiWatch.compare_exchange_strong(uiWatching, gc_uiWATCH_NONE, std::memory_order_acq_rel)) {
        return false;
      }
      break;  // handed a task as the watch ended
    }
    std::this_thread::yield();
  }
  pWorker->m_uiWatch.store(gc_uiWATCH_NONE, std::memory_order_relaxed);
  return true;
}

// The data ring's first size. Large, so that a slot comes round again only long after the worker that read it
// last has dropped it from its caches: the controlling thread's write then waits for no other core.
constexpr u32 gc_uiFIRST_TASK_DATA_RING = 16384;

void** allocTaskData(u32 uiEntries) {
  const size_t uiBytes = sizeof(void*) * uiEntries;
  void** apData = static_cast<void**>(KvAlignedAlloc(uiBytes, 64));
  KV_ASSERT(apData);
  if (apData == nullptr) {
    KV_FATALF("Could not allocate [%d] bytes for the task data!", static_cast<i32>(uiBytes));
  }
  return apData;
}

// On the controlling thread, when the data ring may be full: under the list lock, moves the oldest ticket still
// queued or staged up to date and, if the next task's data would still land on it, doubles the ring (workers read
// it under the lock only).
void makeRoomForTaskData() {
  std::lock_guard<ClTaskListLock> hold(ClTaskMgr::m_listLock);
  const u32 uiNext = ClTaskMgr::mp_uiNextTicket;
  const u32 uiOldest = ClTaskMgr::mp_daQueuedRuns.getCount() > 0
                           ? ClTaskMgr::mp_daQueuedRuns[0].m_uiFirstTicket
                           : uiNext - static_cast<u32>(ClTaskMgr::mp_iNumStagedTasks);
  ClTaskMgr::mp_uiOldestTicket = uiOldest;
  u32 uiEntries = ClTaskMgr::mp_uiTaskDataMask + 1;
  if (uiNext - uiOldest < uiEntries) {
    return;
  }
  while (uiNext - uiOldest >= uiEntries) {
    uiEntries *= 2;
  }
  void** apData = allocTaskData(uiEntries);
  for (u32 uiTicket = uiOldest; uiTicket != uiNext; ++uiTicket) {
    apData[uiTicket & (uiEntries - 1)] = ClTaskMgr::mp_apTaskData[uiTicket & ClTaskMgr::mp_uiTaskDataMask];
  }
  KvAlignedFree(ClTaskMgr::mp_apTaskData);
  ClTaskMgr::mp_apTaskData = apData;
  ClTaskMgr::mp_uiTaskDataMask = uiEntries - 1;
}

// The mask is pointer-sized: one bit per logical processor of the group.
i32 countBits(ULONG_PTR uiMask) {
  i32 iBits = 0;
  for (; uiMask != 0; uiMask &= uiMask - 1) {
    ++iBits;
  }
  return iBits;
}

}  // namespace

void ClTaskMgr::countLogicalProcessors() {
  m_iNumCores = 0;
  m_iNumLogicalProcessors = 0;
  const KvGetLogicalProcessorInformation getInformation = reinterpret_cast<KvGetLogicalProcessorInformation>(
      GetProcAddress(GetModuleHandleA("kernel32"), "GetLogicalProcessorInformation"));
  if (getInformation == nullptr) {
    return;
  }
  PSYSTEM_LOGICAL_PROCESSOR_INFORMATION pBuffer = nullptr;
  DWORD dwLength = 0;
  while (!getInformation(pBuffer, &dwLength)) {
    KvAlignedFree(pBuffer);
    pBuffer = nullptr;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      return;
    }
    pBuffer = static_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION>(KvAlignedAlloc(dwLength, 16));
    if (pBuffer == nullptr) {
      return;
    }
  }
  const DWORD dwRecords = dwLength / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION);
  for (DWORD i = 0; i < dwRecords; ++i) {
    if (pBuffer[i].Relationship == RelationProcessorCore) {
      ++m_iNumCores;
      m_iNumLogicalProcessors += countBits(pBuffer[i].ProcessorMask);
    }
  }
  KvAlignedFree(pBuffer);
}

void ClTaskMgr::initialize() {
  countLogicalProcessors();
  if (m_iNumCores == 0) {
    m_iNumCores = 1;
  }
  if (m_iNumLogicalProcessors == 0) {
    m_iNumLogicalProcessors = 1;
  }
  mp_daTaskQueue.initialize(8);
  mp_daQueuedRuns.initialize(8);
  mp_apTaskData = allocTaskData(gc_uiFIRST_TASK_DATA_RING);
  mp_uiTaskDataMask = gc_uiFIRST_TASK_DATA_RING - 1;
  mp_uiNextTicket = 0;
  mp_uiOldestTicket = 0;
  mp_daRunningTasks.initialize(8);
  mp_daFinishedTasks.initialize(8);
  mp_daIdleWorkers.initialize(8);
  mp_bStopping.store(false, std::memory_order_relaxed);
  mp_iNumStagedTasks = 0;

  const i32 iWorkers = m_iNumLogicalProcessors;
  void* pBlock = KvAlignedAlloc(sizeof(SThreadEntry) * static_cast<size_t>(iWorkers), alignof(SThreadEntry));
  mp_pThreadEntries = static_cast<SThreadEntry*>(pBlock);
  KV_ASSERT(mp_pThreadEntries);
  for (i32 i = 0; i < iWorkers; ++i) {
    new (&mp_pThreadEntries[i]) SThreadEntry;
  }

  for (i32 i = 0; i < iWorkers; ++i) {
    SThreadEntry& entry = mp_pThreadEntries[i];
    entry.m_uiWorkerIndex = static_cast<u32>(i);
    char szName[32];
    std::snprintf(szName, sizeof(szName), "WTT_WaitEvent_%d", i);
    entry.m_hEvent = CreateEventA(nullptr, FALSE, FALSE, szName);
    if (entry.m_hEvent == nullptr) {
      // Without its event the worker could never be woken: it is left out, and no thread is started.
      (void)GetLastError();
      entry.m_iStatus.store(gc_iWORKER_STATUS_FAILED, std::memory_order_relaxed);
      continue;
    }
    unsigned uiThreadId = 0;
    const std::uintptr_t uiHandle = _beginthreadex(nullptr, 0, &startWorker, &entry, 0, &uiThreadId);
    if (uiHandle == 0) {
      (void)GetLastError();
      CloseHandle(entry.m_hEvent);
      entry.m_hEvent = nullptr;
      entry.m_iStatus.store(gc_iWORKER_STATUS_FAILED, std::memory_order_relaxed);
      continue;
    }
    entry.m_hThread = reinterpret_cast<HANDLE>(uiHandle);
    entry.m_uiThreadId = uiThreadId;
    mp_daIdleWorkers.append(&entry);
  }
  // The controlling thread sleeps on this event while it waits for a worker to finish a task. Without it, it
  // yields between its looks instead.
  mp_hDispatcherEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  mp_bDispatcherAsleep.store(0, std::memory_order_relaxed);
}

void ClTaskMgr::addTask(ClJob* pOwner, void* pTaskData, KvTaskCallback taskCallback) {
  KV_ASSERT(pTaskData);
  KV_ASSERT(taskCallback);
  KV_ASSERT(mp_apTaskData);
  if (mp_uiNextTicket - mp_uiOldestTicket > mp_uiTaskDataMask) {
    makeRoomForTaskData();
  }
  mp_apTaskData[mp_uiNextTicket++ & mp_uiTaskDataMask] = pTaskData;
  ClTask& task = mp_aStagedTasks[mp_iNumStagedTasks++];
  task.pTaskData = pTaskData;
  task.taskCallback = taskCallback;
  task.mp_completion = &ClJobMgr::taskFinished;
  task.mp_pWorker = nullptr;
  task.mp_pOwner = pOwner;
  if (mp_iNumStagedTasks < static_cast<i32>(std::size(mp_aStagedTasks))) {
    return;
  }
  // A long job's first tasks go to idle workers while its dispatch is still adding the rest, as the dispatch
  // after it would hand them out (its caller waits for the job: a processor is kept for it).
  SThreadEntry* apToSignal[gc_iHAND_OUT_BATCH];
  i32 iToSignal = 0;
  {
    std::lock_guard<ClTaskListLock> hold(m_listLock);
    queueStaged();
    if (!mp_bStopping.load(std::memory_order_relaxed) && ClJobMgr::isInitialized() &&
        !ClJobMgr::isDispatchSuspended()) {
      handOutToIdleWorkers(std::max(1, m_iNumLogicalProcessors - 1), apToSignal, &iToSignal);
    }
  }
  for (i32 i = 0; i < iToSignal; ++i) {
    SetEvent(apToSignal[i]->m_hEvent);
  }
}

void ClTaskMgr::publishTasks() {
  if (mp_iNumStagedTasks == 0) {
    return;
  }
  std::lock_guard<ClTaskListLock> hold(m_listLock);
  queueStaged();
}

void ClTaskMgr::dispatchTasks(bool bCallerRunsTasks) {
  const i32 iInFlight = std::max(1, m_iNumLogicalProcessors - (bCallerRunsTasks ? 1 : 0));
  // Retire, a few at a time: the completion routines run outside the lock, so that one that queues or
  // dispatches again finds the lists free. Queued tasks are handed out in the same hold as the last batch.
  for (;;) {
    SFinishedTasks aRetiring[gc_iRETIRE_BATCH];
    SThreadEntry* apToSignal[gc_iHAND_OUT_BATCH];
    i32 iRetiring = 0;
    i32 iHanded = 0;
    i32 iToSignal = 0;
    bool bMore = false;
    {
      std::lock_guard<ClTaskListLock> hold(m_listLock);
      queueStaged();
      iRetiring = takeFinished(aRetiring);
      if (mp_daFinishedTasks.getCount() == 0) {
        iHanded = handOutToIdleWorkers(iInFlight, apToSignal, &iToSignal);
        bMore = iHanded == gc_iHAND_OUT_BATCH;
      } else {
        bMore = true;
      }
    }
    for (i32 i = 0; i < iToSignal; ++i) {
      SetEvent(apToSignal[i]->m_hEvent);
    }
    complete(aRetiring, iRetiring);
    if (!bMore) {
      return;
    }
  }
}

i32 ClTaskMgr::takeShare(i32 iQueued, i32 iMost) {
  // Half the queue spread over every thread that takes from it: the workers and the controlling thread; but not
  // less than a few tasks while there are, as a take costs the lock and lines of the lists, more than a small task.
  const i32 iShare = iQueued / (2 * (m_iNumLogicalProcessors + 1));
  return std::max(std::min({gc_iMIN_TASK_SHARE, iQueued, iMost}), std::min(std::min(iShare, iMost), iQueued));
}

i32 ClTaskMgr::runQueuedTasks(i32 iMost) {
  SFinishedTasks aRetiring[gc_iRETIRE_BATCH];
  i32 iRetiring = 0;
  ClTask aShare[gc_iMAX_TASK_SHARE];
  i32 iShare = 0;
  {
    std::lock_guard<ClTaskListLock> hold(m_listLock);
    queueStaged();
    iRetiring = takeFinished(aRetiring);
    if (mp_daTaskQueue.getCount() > 0) {
      iShare = takeShare(mp_daTaskQueue.getCount(), std::min(iMost, gc_iMAX_TASK_SHARE));
      takeLatest(aShare, iShare);
    } else {
      // A woken worker may be slow to get a core: rather than wait for it, take its task back.
      for (i32 i = mp_daRunningTasks.getCount() - 1; i >= 0; --i) {
        SThreadEntry* pWorker = mp_daRunningTasks[i].mp_pWorker;
        if (!pWorker->m_bPickedUp) {
          aShare[iShare++] = mp_daRunningTasks[i];
          aShare[0].mp_pWorker = nullptr;
          mp_daRunningTasks.erase(i);
          pWorker->mp_pTaskData = nullptr;
          pWorker->mp_taskCallback = nullptr;
          mp_daIdleWorkers.append(pWorker);
          break;
        }
      }
      if (iShare == 0) {
        iShare = takeFromShareEnds(aShare, std::min(iMost, gc_iMAX_TASK_SHARE));
      }
    }
  }
  complete(aRetiring, iRetiring);
  for (i32 i = 0; i < iShare; ++i) {
    aShare[i].taskCallback(aShare[i].pTaskData);
    complete(&aShare[i], 1);
  }
  return iShare;
}

void ClTaskMgr::waitForFinishedTask() {
  u32 uiFilings = 0;
  {
    std::lock_guard<ClTaskListLock> hold(m_listLock);
    if (mp_daFinishedTasks.getCount() > 0) {
      return;
    }
    uiFilings = mp_uiFilings.load(std::memory_order_relaxed);
  }
  // A worker near the end of its share files it in a moment: watch for that briefly before sleeping, since a
  // sleep and a wake-up cost far more. The watch gives its core away now and then: with a worker per core and
  // this thread besides, the worker it waits for may be waiting for this core.
  for (i32 iSpin = 0; iSpin < gc_iFINISH_SPINS; ++iSpin) {
    if (mp_uiFilings.load(std::memory_order_acquire) != uiFilings) {
      return;
    }
    if (iSpin % 64 == 63) {
      std::this_thread::yield();
    } else {
      KV_SPIN_PAUSE();
    }
  }
  {
    std::lock_guard<ClTaskListLock> hold(m_listLock);
    if (mp_daFinishedTasks.getCount() > 0) {
      return;
    }
    if (mp_hDispatcherEvent != nullptr) {
      // Announced under the lock: a worker that finishes a task after this look sees it and wakes this thread.
      mp_bDispatcherAsleep.store(1, std::memory_order_relaxed);
    }
  }
  if (mp_hDispatcherEvent == nullptr) {
    SleepEx(0, TRUE);
    return;
  }
  // Alertable, so the thread's completion routines run meanwhile, and bounded, so that a suspended dispatch is
  // looked at again.
  WaitForSingleObjectEx(mp_hDispatcherEvent, 1, TRUE);
  mp_bDispatcherAsleep.store(0, std::memory_order_relaxed);
}

bool ClTaskMgr::workerThreadProc(SThreadEntry* pMyEntry) {
  KV_ASSERT(pMyEntry);
  pMyEntry->m_iStatus.store(gc_iWORKER_STATUS_RUNNING, std::memory_order_relaxed);
  bool bHandedWhileWatching = false;
  while (pMyEntry->m_bQuit.load(std::memory_order_acquire) == 0) {
    if (pMyEntry->m_iStatus.load(std::memory_order_relaxed) == gc_iWORKER_STATUS_FAILED) {
      break;
    }
    if (!bHandedWhileWatching) {
      pMyEntry->m_bAwake.store(0, std::memory_order_release);
      const DWORD dwResult = WaitForSingleObject(pMyEntry->m_hEvent, INFINITE);
      pMyEntry->m_bAwake.store(1, std::memory_order_release);
      if (dwResult != WAIT_OBJECT_0) {
        if (dwResult != WAIT_TIMEOUT) {
          pMyEntry->m_iStatus.store(gc_iWORKER_STATUS_FAILED, std::memory_order_relaxed);
        }
        continue;
      }
    }
    void* pTaskData = nullptr;
    KvTaskCallback taskCallback = nullptr;
    {
      std::lock_guard<ClTaskListLock> hold(m_listLock);
      pTaskData = pMyEntry->mp_pTaskData;
      taskCallback = pMyEntry->mp_taskCallback;
      pMyEntry->m_bPickedUp = true;
    }
    // Run the task handed over, then every share taken from the queue after it, until the queue is empty.
    while (taskCallback != nullptr) {
      taskCallback(pTaskData);
      for (const ClTask* pTask = takeFromShareFront(pMyEntry); pTask != nullptr; pTask = takeFromShareFront(pMyEntry)) {
        pTask->taskCallback(pTask->pTaskData);
      }
      taskCallback = finishAndTakeNext(pMyEntry, &pTaskData);
    }
    bHandedWhileWatching = watchForHandOver(pMyEntry);
    if (pMyEntry->m_bQuit.load(std::memory_order_acquire) != 0) {
      pMyEntry->m_iStatus.store(gc_iWORKER_STATUS_STOPPED, std::memory_order_relaxed);
    }
  }
  pMyEntry->m_bAwake.store(0, std::memory_order_release);
  return pMyEntry->m_iStatus.load(std::memory_order_relaxed) == gc_iWORKER_STATUS_STOPPED;
}

bool ClTaskMgr::isAnyWorkerAwake() {
  for (i32 i = 0; mp_pThreadEntries != nullptr && i < m_iNumLogicalProcessors; ++i) {
    if (mp_pThreadEntries[i].m_bAwake.load(std::memory_order_acquire) != 0) {
      return true;
    }
  }
  return false;
}

void ClTaskMgr::shutdown() {
  if (mp_pThreadEntries == nullptr) {
    return;
  }
  {
    std::lock_guard<ClTaskListLock> hold(m_listLock);
    mp_bStopping.store(true, std::memory_order_relaxed);
  }
  for (i32 i = 0; i < m_iNumLogicalProcessors; ++i) {
    SThreadEntry& entry = mp_pThreadEntries[i];
    if (entry.m_hThread == nullptr) {
      // A worker that never started has nothing to stop; only its event, if any, is closed.
      if (entry.m_hEvent != nullptr) {
        CloseHandle(entry.m_hEvent);
        entry.m_hEvent = nullptr;
      }
      continue;
    }
    // Wait while the worker is awake, and also while a task handed to it has not run yet: clearing the
    // hand-over words under a worker that is about to read them would lose that task. A worker still watching
    // its entry holds nothing and is on its way to its event (it has seen the stop, or will at its next look):
    // the quit flag and the signal below reach it either way.
    for (;;) {
      bool bHolding = false;
      {
        std::lock_guard<ClTaskListLock> hold(m_listLock);
        bHolding = entry.mp_taskCallback != nullptr;
      }
      if (!bHolding && (entry.m_bAwake.load(std::memory_order_acquire) == 0 ||
                        entry.m_uiWatch.load(std::memory_order_acquire) == gc_uiWATCH_WATCHING)) {
        break;
      }
      SleepEx(16, TRUE);
    }
    entry.m_bQuit.store(1, std::memory_order_release);
    if (!SetEvent(entry.m_hEvent)) {
      KV_FATALF("CreateEvent failed [0x%08X]!", static_cast<u32>(GetLastError()));
    }
    WaitForSingleObject(entry.m_hThread, INFINITE);
    CloseHandle(entry.m_hEvent);
    CloseHandle(entry.m_hThread);
    entry.m_hEvent = nullptr;
    entry.m_hThread = nullptr;
  }
  for (i32 i = 0; i < m_iNumLogicalProcessors; ++i) {
    mp_pThreadEntries[i].~SThreadEntry();
  }
  KvAlignedFree(mp_pThreadEntries);
  mp_pThreadEntries = nullptr;
  if (mp_hDispatcherEvent != nullptr) {
    CloseHandle(mp_hDispatcherEvent);
    mp_hDispatcherEvent = nullptr;
  }
  mp_bDispatcherAsleep.store(0, std::memory_order_relaxed);
  mp_daTaskQueue.terminate();
  mp_daQueuedRuns.terminate();
  KvAlignedFree(mp_apTaskData);
  mp_apTaskData = nullptr;
  mp_uiTaskDataMask = 0;
  mp_daRunningTasks.terminate();
  mp_daFinishedTasks.terminate();
  mp_daIdleWorkers.terminate();
  mp_bStopping.store(false, std::memory_order_relaxed);
  mp_iNumStagedTasks = 0;
}
