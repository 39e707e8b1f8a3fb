#include "Corvane/System/ClThread_Win32.h"

#include <new>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Win32/Win32Threads.h"

namespace {

// What the running thread needs, and its handle and id for the owner.
struct alignas(16) SThreadPlatformData {
  HANDLE m_hThread = INVALID_HANDLE_VALUE;
  unsigned m_uiThreadId = 0;
  ClThread* mp_pOwningThread = nullptr;
  KvThreadCall mp_threadCall = nullptr;
  void* mp_pArgument = nullptr;
};

unsigned __stdcall startThread(void* pPlatformRecord) { return ClThread_Win32::threadEntry(pPlatformRecord); }

SThreadPlatformData* platformData(ClThread* pThread) {
  return static_cast<SThreadPlatformData*>(pThread->mp_pPlatformSpecificData);
}

void closeThreadHandle(SThreadPlatformData* pThreadData) {
  if (pThreadData->m_hThread != INVALID_HANDLE_VALUE) {
    CloseHandle(pThreadData->m_hThread);
    pThreadData->m_hThread = INVALID_HANDLE_VALUE;
  }
}

}  // namespace

bool ClThread_Win32::create(ClThread* pThread, KvThreadCall threadCall, void* pArgument) {
  KvCheckPointer(pThread);
  KV_ASSERT(threadCall);
  pThread->mp_pArgument = pArgument;
  pThread->mp_threadCall = threadCall;
  pThread->m_bFinished.store(0, std::memory_order_relaxed);
  pThread->m_bStopRequested.store(0, std::memory_order_relaxed);

  void* pBlock = KvAlignedAlloc(sizeof(SThreadPlatformData), 16);
  KV_ASSERT_MSG(pBlock, "pThreadData");
  SThreadPlatformData* pThreadData = new (pBlock) SThreadPlatformData;
  pThreadData->mp_pOwningThread = pThread;
  pThreadData->mp_threadCall = threadCall;
  pThreadData->mp_pArgument = pArgument;
  pThread->mp_pPlatformSpecificData = pThreadData;

  unsigned uiThreadId = 0;
  const std::uintptr_t uiHandle = _beginthreadex(nullptr, 0, &startThread, pThreadData, 0, &uiThreadId);
  if (uiHandle == 0) {
    // The reason is of no use to the caller, which only learns that no thread runs. The record would
    // otherwise be lost: no terminate follows a failed create.
    (void)GetLastError();
    KvAlignedFree(pThreadData);
    pThread->mp_pPlatformSpecificData = nullptr;
    return false;
  }
  // The new thread reads only the routine, the argument and its owner, all stored before it started.
  pThreadData->m_hThread = reinterpret_cast<HANDLE>(uiHandle);
  pThreadData->m_uiThreadId = uiThreadId;
  return true;
}

u32 ClThread_Win32::threadEntry(void* pPlatformRecord) {
  SThreadPlatformData* pMyThreadData = static_cast<SThreadPlatformData*>(pPlatformRecord);
  KV_ASSERT(pMyThreadData);
  KV_ASSERT(pMyThreadData->mp_threadCall);
  KV_ASSERT(pMyThreadData->mp_pOwningThread);
  ClThread* pOwner = pMyThreadData->mp_pOwningThread;
  pMyThreadData->mp_threadCall(pOwner, pMyThreadData->mp_pArgument);
  // The last touch of engine memory: once the owner sees the flag it may free the thread and its record.
  pOwner->m_bFinished.store(1, std::memory_order_release);
  return 1;
}

void ClThread_Win32::stopAndJoin(ClThread* pThread) {
  SThreadPlatformData* pThreadData = platformData(pThread);
  KV_ASSERT(pThreadData);
  pThread->requestStop();
  if (pThreadData->m_hThread != INVALID_HANDLE_VALUE) {
    WaitForSingleObject(pThreadData->m_hThread, INFINITE);
    closeThreadHandle(pThreadData);
  }
}

void ClThread_Win32::terminate(ClThread* pThread) {
  KV_ASSERT_MSG(pThread->mp_pPlatformSpecificData, "mp_pPlatformSpecificData");
  SThreadPlatformData* pThreadData = platformData(pThread);
  if (!pThread->isFinished()) {
    pThread->requestStop();
    if (pThreadData->m_hThread != INVALID_HANDLE_VALUE) {
      WaitForSingleObject(pThreadData->m_hThread, INFINITE);
    }
  }
  closeThreadHandle(pThreadData);
  KvAlignedFree(pThreadData);
  pThread->mp_pPlatformSpecificData = nullptr;
}
