// Threads, events, critical sections, waits and the per-thread queue of completion routines of the Win32
// stand-in, backed by the host's threads.
//
// Every call may be made from any thread. Handles of threads and events are closed with CloseHandle; a thread
// keeps running after its handle is closed, and an event lives until its last handle is closed.
//
// Completion routines (QueueUserAPC, and the completions of ReadFileEx in Win32Files.h) belong to one thread:
// they run only on that thread and only while it is in an alertable wait (SleepEx or WaitForSingleObjectEx with
// bAlertable TRUE). Such a wait first runs every routine queued to its thread, including routines queued by
// those routines, and then returns WAIT_IO_COMPLETION at once. A wait that is not alertable never runs them.
//
// Differences from the platform, chosen because the engine relies on none of them:
//  - _beginthreadex always starts the thread at once; an init flag other than 0 is refused (EINVAL).
//  - Leaving a critical section that the caller does not own, or using one that is not initialised, ends the
//    process with a message on standard error instead of corrupting the section.
#pragma once

#include <cstdint>

#include "Platform/Win32/Win32Types.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_IO_COMPLETION 0x000000C0u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 0x00000103u

typedef void(CALLBACK* PAPCFUNC)(ULONG_PTR dwParam);

// A recursive lock: the owning thread may enter again and must leave as often as it entered. Only the calls
// below may touch the fields.
typedef struct _CRITICAL_SECTION {
  alignas(16) BYTE Storage[48];  // the host's mutex, held while the section is owned
  DWORD OwningThread;            // id of the owning thread, 0 while free
  LONG RecursionCount;           // entries of the owner not yet left
  LONG Waiters;                  // threads blocked in EnterCriticalSection, counted after the blocking-call hook ran
  DWORD Magic;                   // set while initialised, so that use after DeleteCriticalSection is caught
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
// TRUE when the section was free or already owned by the caller (then entered once more).
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Starts start_address(arglist) on a new thread and answers its handle (0 on failure, with errno and the last
// error set). The handle is signalled when the routine has returned; its result is the thread's exit code.
// stack_size 0 takes the default; thrdaddr, when given, receives the thread id.
std::uintptr_t _beginthreadex(void* security, unsigned stack_size, unsigned(__stdcall* start_address)(void*),
                              void* arglist, unsigned initflag, unsigned* thrdaddr);
// The exit code of a finished thread, STILL_ACTIVE while it runs.
BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// A pseudo-handle meaning "the calling thread" (for QueueUserAPC); closing it does nothing.
HANDLE GetCurrentThread();
DWORD GetCurrentThreadId();

// Events. A manual-reset event stays signalled until ResetEvent and releases every waiter; an auto-reset event
// releases exactly one waiter (or the next wait) per SetEvent and is then unsignalled again. A name shares one
// event across the process: creating an existing name answers a new handle to it (its reset mode and state are
// kept) and sets the last error to ERROR_ALREADY_EXISTS. Attributes are ignored.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

// Waits for a thread or an event. Answers WAIT_OBJECT_0, WAIT_TIMEOUT (dwMilliseconds passed; 0 only tests),
// WAIT_IO_COMPLETION (alertable waits only: completion routines ran) or WAIT_FAILED (not a thread or event).
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable);
// Closes a handle of any kind. FALSE with ERROR_INVALID_HANDLE for a handle that is not open.
BOOL CloseHandle(HANDLE hObject);

// Sleeps dwMilliseconds (INFINITE: until woken by a completion routine, alertable only). Alertable: runs the
// calling thread's queued completion routines and answers WAIT_IO_COMPLETION as soon as any ran, else 0 after
// the time. SleepEx(0, TRUE) runs whatever is queued and otherwise only yields.
DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable);
// A plain sleep; never runs completion routines.
void Sleep(DWORD dwMilliseconds);
// Queues pfnAPC(dwData) to the thread (a handle from _beginthreadex, or GetCurrentThread()). 0 when the handle
// is not a running thread.
DWORD QueueUserAPC(PAPCFUNC pfnAPC, HANDLE hThread, ULONG_PTR dwData);

// --- Stand-in interface for the other stand-ins (not a platform call) ---

// Called on the calling thread at the start of every SetEvent, WaitForSingleObject(Ex), SleepEx and Sleep, before
// it signals or may block; in EnterCriticalSection when the section is owned by another thread, before blocking;
// and on a thread started by _beginthreadex after its routine returned, before its handle is signalled. The
// graphics stand-in gives its context back here, so that threads that meet at events or locks can take turns
// with it and a thread that ends never keeps it. Null for none.
void Win32SetBlockingCallHook(void (*pfnHook)());

// --- Test controls (not platform calls) ---

// How many threads are blocked waiting for the event or thread now (released waiters no longer count).
DWORD Win32TestWaitingThreads(HANDLE hObject);
// Whether the thread is blocked in a wait or an alertable sleep now.
BOOL Win32TestThreadIsWaiting(HANDLE hThread);
// While held, the completion routines queued from then on (QueueUserAPC, ReadFileEx; to any thread) are kept
// back, as those of I/O still in progress; ending the hold hands them to their threads in the order queued, as
// if all completed at that moment (those of threads that have ended meanwhile are dropped). Any thread.
void Win32TestHoldCompletions(BOOL bHold);
// How many completion routines wait in the thread's queue (GetCurrentThread(): the caller's); held ones do not
// count.
DWORD Win32TestQueuedCompletions(HANDLE hThread);

// The calling thread's last error code, set by failing calls (and by a few succeeding ones, as noted).
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
