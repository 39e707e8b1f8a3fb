#include <chrono>
#include <cstdio>
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
void* ClTaskMgr::mp_hDispatcherEvent = nullptr;
ClDynamicVector<ClTask> ClTaskMgr::mp_daTaskQueue;
ClDynamicVector<ClTask> ClTaskMgr::mp_daRunningTasks;
ClDynamicVector<SThreadEntry*> ClTaskMgr::mp_daIdleWorkers;

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KV_SPIN_PAUSE() _mm_pause()
#else
#define KV_SPIN_PAUSE() ((void)0)
#endif

namespace {

typedef BOOL(WINAPI* KvGetLogicalProcessorInformation)(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION, PDWORD);

unsigned __stdcall startWorker(void* pEntry) {
  return ClTaskMgr::workerThreadProc(static_cast<SThreadEntry*>(pEntry)) ? 1u : 0u;
}

// Microseconds on the steady clock, for the spin limits.
u64 nowMicroseconds() {
  return static_cast<u64>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

// The worker's side of a signal, entered with the worker announced as polling. It polls for a hand-over for
// at most the spin time, and only while the controlling thread is awake: a controlling thread asleep in
// waitForFinishedTask needs a core to wake on, and a hand-over from it is a while away. Then the worker
// commits to the wait on its event unless a hand-over came first, and sleeps until its signal word says
// handed (a set event without a hand-over is one whose hand-over was taken while polling). Answers the
// wait's result.
DWORD awaitSignal(SThreadEntry& entry) {
  const u64 ulStart = nowMicroseconds();
  while (ClTaskMgr::mp_bDispatcherAsleep.load(std::memory_order_relaxed) == 0) {
    for (i32 i = 0; i < 16; ++i) {
      if (entry.m_uiSignalState.load(std::memory_order_acquire) == gc_uiSIGNAL_HANDED) {
        return WAIT_OBJECT_0;
      }
      KV_SPIN_PAUSE();
    }
    if (nowMicroseconds() - ulStart >= gc_uiWORKER_SPIN_MICROSECONDS) {
      break;
    }
  }
  u32 uiPolling = gc_uiSIGNAL_POLLING;
  if (!entry.m_uiSignalState.compare_exchange_strong(uiPolling, gc_uiSIGNAL_NOT_POLLING, std::memory_order_acq_rel)) {
    return WAIT_OBJECT_0;  // handed over just before the worker committed
  }
  for (;;) {
    // Sleeping is announced before the last look at the signal word; the controlling thread looks at both
    // in the other order at each of its waits (wakeStrandedWorkers), so a hand-over that raced the commit is
    // not slept through for longer than until the controlling thread next waits.
    entry.m_bSleeping.store(1, std::memory_order_seq_cst);
    if (entry.m_uiSignalState.load(std::memory_order_seq_cst) == gc_uiSIGNAL_HANDED) {
      entry.m_bSleeping.store(0, std::memory_order_relaxed);
      return WAIT_OBJECT_0;
    }
    const DWORD dwResult = WaitForSingleObject(entry.m_hEvent, INFINITE);
    entry.m_bSleeping.store(0, std::memory_order_relaxed);
    if (dwResult != WAIT_OBJECT_0 || entry.m_uiSignalState.load(std::memory_order_acquire) == gc_uiSIGNAL_HANDED) {
      return dwResult;
    }
  }
}

// True when a running task's worker has set its done flag. The controlling thread is about to write that
// worker's entry (retirement, then most likely the next hand-over): the entry's cache line is asked for at
// once, so that it arrives while the dispatch does its bookkeeping.
bool anyRunningTaskDone() {
  for (i32 i = 0; i < ClTaskMgr::mp_daRunningTasks.getCount(); ++i) {
    SThreadEntry* pWorker = ClTaskMgr::mp_daRunningTasks[i].mp_pWorker;
    if (pWorker->m_bDone.load(std::memory_order_acquire) != 0) {
      __builtin_prefetch(pWorker, 1, 3);
      return true;
    }
  }
  return false;
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
  mp_daRunningTasks.initialize(8);
  mp_daIdleWorkers.initialize(8);

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
  // The controlling thread sleeps on this event when it waits for tasks that take long. Without it, it
  // yields between its looks instead.
  mp_hDispatcherEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  mp_bDispatcherAsleep.store(0, std::memory_order_relaxed);
}

void ClTaskMgr::addTask(ClJob* pOwner, void* pTaskData, KvTaskCallback taskCallback) {
  KV_ASSERT(pTaskData);
  KV_ASSERT(taskCallback);
  ClTask task;
  task.pTaskData = pTaskData;
  task.taskCallback = taskCallback;
  task.mp_completion = &ClJobMgr::taskFinished;
  task.mp_pOwner = pOwner;
  mp_daTaskQueue.append(task);
}

void ClTaskMgr::dispatchTasks() {
  // Retire. The worker goes back to the idle list before the completion routine runs, so a routine that
  // queues or dispatches again finds the lists consistent.
  for (i32 i = 0; i < mp_daRunningTasks.getCount();) {
    SThreadEntry* pWorker = mp_daRunningTasks[i].mp_pWorker;
    if (pWorker->m_bDone.load(std::memory_order_acquire) == 0) {
      ++i;
      continue;
    }
    const ClTask finished = mp_daRunningTasks[i];
    pWorker->mp_pTaskData = nullptr;
    pWorker->mp_taskCallback.store(nullptr, std::memory_order_relaxed);
    pWorker->m_bDone.store(0, std::memory_order_relaxed);
    mp_daRunningTasks.erase(i);
    mp_daIdleWorkers.append(pWorker);
    if (finished.mp_completion != nullptr) {
      finished.mp_completion(finished.mp_pOwner);
    }
  }

  // Hand out, last in first out on both sides.
  while (mp_daRunningTasks.getCount() < m_iNumLogicalProcessors && mp_daTaskQueue.getCount() > 0 &&
         mp_daIdleWorkers.getCount() > 0) {
    ClTask task = *mp_daTaskQueue.getLast();
    SThreadEntry* pWorker = *mp_daIdleWorkers.getLast();
    pWorker->mp_pTaskData = task.pTaskData;
    pWorker->mp_taskCallback.store(task.taskCallback, std::memory_order_release);
    task.mp_pWorker = pWorker;
    signalWorker(pWorker);
    mp_daRunningTasks.append(task);
    mp_daTaskQueue.erase(mp_daTaskQueue.getCount() - 1);
    mp_daIdleWorkers.erase(mp_daIdleWorkers.getCount() - 1);
  }
}

void ClTaskMgr::waitForFinishedTask() {
  // Most waits end within the first polls, before the clock is worth reading.
  for (i32 i = 0; i < 64; ++i) {
    if (anyRunningTaskDone()) {
      return;
    }
    KV_SPIN_PAUSE();
  }
  wakeStrandedWorkers();
  const u64 ulStart = nowMicroseconds();
  for (;;) {
    for (i32 i = 0; i < 16; ++i) {
      if (anyRunningTaskDone()) {
        return;
      }
      KV_SPIN_PAUSE();
    }
    if (nowMicroseconds() - ulStart >= gc_uiDISPATCHER_SPIN_MICROSECONDS) {
      break;
    }
  }
  if (mp_hDispatcherEvent == nullptr) {
    SleepEx(0, TRUE);
    return;
  }
  // Asleep is announced before the last look: a worker that sets its done flag afterwards sees it and wakes
  // this thread. The wait is alertable, so the thread's completion routines run meanwhile, and bounded, so
  // that a suspended dispatch is looked at again.
  mp_bDispatcherAsleep.store(1, std::memory_order_seq_cst);
  wakeStrandedWorkers();
  if (!anyRunningTaskDone()) {
    WaitForSingleObjectEx(mp_hDispatcherEvent, 1, TRUE);
  }
  mp_bDispatcherAsleep.store(0, std::memory_order_relaxed);
}

bool ClTaskMgr::signalWorker(SThreadEntry* pEntry) {
  // A plain store, so that handing over to a polling worker never stalls the controlling thread on the
  // worker's cache line. A worker that committed to its sleep just before the store lands is found and woken
  // by wakeStrandedWorkers.
  const u32 uiBefore = pEntry->m_uiSignalState.load(std::memory_order_relaxed);
  pEntry->m_uiSignalState.store(gc_uiSIGNAL_HANDED, std::memory_order_release);
  if (uiBefore == gc_uiSIGNAL_POLLING) {
    return true;
  }
  return SetEvent(pEntry->m_hEvent) != FALSE;
}

void ClTaskMgr::wakeStrandedWorkers() {
  for (i32 i = 0; i < mp_daRunningTasks.getCount(); ++i) {
    SThreadEntry* pWorker = mp_daRunningTasks[i].mp_pWorker;
    if (pWorker->m_bSleeping.load(std::memory_order_seq_cst) != 0 &&
        pWorker->m_uiSignalState.load(std::memory_order_relaxed) == gc_uiSIGNAL_HANDED &&
        pWorker->m_bDone.load(std::memory_order_relaxed) == 0) {
      SetEvent(pWorker->m_hEvent);
    }
  }
}

bool ClTaskMgr::workerThreadProc(SThreadEntry* pMyEntry) {
  KV_ASSERT(pMyEntry);
  pMyEntry->m_iStatus.store(gc_iWORKER_STATUS_RUNNING, std::memory_order_relaxed);
  // A task handed over before the thread got here stays handed.
  u32 uiNotPolling = gc_uiSIGNAL_NOT_POLLING;
  pMyEntry->m_uiSignalState.compare_exchange_strong(uiNotPolling, gc_uiSIGNAL_POLLING, std::memory_order_acq_rel);
  if (pMyEntry->m_bQuit.load(std::memory_order_acquire) == 0) {
    do {
      if (pMyEntry->m_iStatus.load(std::memory_order_relaxed) == gc_iWORKER_STATUS_FAILED) {
        break;
      }
      pMyEntry->m_bAwake.store(0, std::memory_order_release);
      const DWORD dwResult = awaitSignal(*pMyEntry);
      pMyEntry->m_bAwake.store(1, std::memory_order_release);
      if (dwResult == WAIT_OBJECT_0) {
        const KvTaskCallback taskCallback = pMyEntry->mp_taskCallback.load(std::memory_order_acquire);
        if (taskCallback != nullptr) {
          taskCallback(pMyEntry->mp_pTaskData);
        } else if (pMyEntry->m_bQuit.load(std::memory_order_acquire) != 0) {
          pMyEntry->m_iStatus.store(gc_iWORKER_STATUS_STOPPED, std::memory_order_relaxed);
        }
        // Polling is announced before done: the controller signals only after it has seen done, so the next
        // task can be handed over directly.
        pMyEntry->m_uiSignalState.store(gc_uiSIGNAL_POLLING, std::memory_order_release);
        pMyEntry->m_bDone.store(1, std::memory_order_seq_cst);
        // A controlling thread asleep in waitForFinishedTask is woken; one that polls sees the flag itself.
        if (mp_bDispatcherAsleep.load(std::memory_order_seq_cst) != 0) {
          SetEvent(mp_hDispatcherEvent);
        }
      } else if (dwResult != WAIT_TIMEOUT) {
        pMyEntry->m_iStatus.store(gc_iWORKER_STATUS_FAILED, std::memory_order_relaxed);
      }
    } while (pMyEntry->m_bQuit.load(std::memory_order_acquire) == 0);
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
    // hand-over words under a worker that is about to read them would lose or garble that task.
    while (entry.m_bAwake.load(std::memory_order_acquire) != 0 ||
           (entry.mp_taskCallback.load(std::memory_order_relaxed) != nullptr &&
            entry.m_bDone.load(std::memory_order_acquire) == 0)) {
      SleepEx(16, TRUE);
    }
    entry.mp_pTaskData = nullptr;
    entry.mp_taskCallback.store(nullptr, std::memory_order_relaxed);
    entry.m_bQuit.store(1, std::memory_order_release);
    // The event is set whatever the worker was doing, so that the quit is never slept through.
    signalWorker(&entry);
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
  mp_daTaskQueue.terminate();
  mp_daRunningTasks.terminate();
  mp_daIdleWorkers.terminate();
}
