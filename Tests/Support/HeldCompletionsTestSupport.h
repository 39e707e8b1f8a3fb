// Completion routines that arrive while a thread is blocked: the stand-in holds back the routines of what a test
// issues (Win32TestHoldCompletions(TRUE)), and KvTestReleaseHeldCompletionsDuringWait hands them over only once
// the calling thread is blocked in a wait, then ends that wait with a signal. A wait that must neither run them nor
// end for them (one that is not alertable, or routines of another thread) is thus checked against routines that
// come late, however long the machine takes, without a fixed sleep.
#pragma once

#include <chrono>
#include <thread>

#include "Platform/Win32/Win32Threads.h"

// Blocks in WaitForSingleObjectEx(bAlertable) on an event that a helper thread signals right after it has ended the
// hold, which it does once this thread waits (or after 10 s, so that a broken wait cannot hang the test). Answers
// the wait's result: WAIT_OBJECT_0 when no routine of this thread ended it.
inline DWORD KvTestReleaseHeldCompletionsDuringWait(BOOL bAlertable) {
  HANDLE hArrived = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const auto release = [](void* pArrived) -> unsigned {
    const HANDLE hEvent = static_cast<HANDLE>(pArrived);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Win32TestWaitingThreads(hEvent) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    Win32TestHoldCompletions(FALSE);
    SetEvent(hEvent);
    return 0;
  };
  HANDLE hHelper = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, release, hArrived, 0, nullptr));
  const DWORD dwResult = WaitForSingleObjectEx(hArrived, INFINITE, bAlertable);
  WaitForSingleObject(hHelper, INFINITE);
  CloseHandle(hHelper);
  CloseHandle(hArrived);
  return dwResult;
}
