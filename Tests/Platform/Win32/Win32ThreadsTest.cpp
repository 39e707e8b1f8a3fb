#include "Platform/Win32/Win32Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/Win32/Win32System.h"
#include "Tests/Support/HeldCompletionsTestSupport.h"

namespace {

HANDLE startThread(unsigned (*pRoutine)(void*), void* pArgument, unsigned* pId = nullptr) {
  return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, pRoutine, pArgument, 0, pId));
}

DWORD exitCode(HANDLE hThread) {
  DWORD dwCode = 0;
  EXPECT_TRUE(GetExitCodeThread(hThread, &dwCode));
  return dwCode;
}

// Waits (up to 10 s) until the condition holds; false if it never did.
template <typename Condition>
bool eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class Win32Threads : public ::testing::Test {
 protected:
  void TearDown() override {
    Win32ClearFaults();
    Win32TestHoldCompletions(FALSE);
    Win32SetBlockingCallHook(nullptr);
  }
};

struct Gate {
  HANDLE hGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> dwSeenId{0};
  ~Gate() { CloseHandle(hGo); }
};

unsigned waitAtGate(void* pArgument) {
  auto* pGate = static_cast<Gate*>(pArgument);
  pGate->dwSeenId = GetCurrentThreadId();
  WaitForSingleObject(pGate->hGo, INFINITE);
  return 42;
}

unsigned returnSeven(void*) { return 7; }

TEST_F(Win32Threads, ThreadRunsWaitsAndReportsItsExitCode) {
  Gate gate;
  unsigned uId = 0;
  HANDLE hThread = startThread(&waitAtGate, &gate, &uId);
  ASSERT_NE(hThread, nullptr);
  EXPECT_EQ(WaitForSingleObject(hThread, 20), WAIT_TIMEOUT);
  EXPECT_EQ(exitCode(hThread), STILL_ACTIVE);

  SetEvent(gate.hGo);
  EXPECT_EQ(WaitForSingleObject(hThread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hThread, 0), WAIT_OBJECT_0);  // a finished thread stays signalled
  EXPECT_EQ(exitCode(hThread), 42u);
  EXPECT_EQ(gate.dwSeenId.load(), uId);
  EXPECT_NE(uId, GetCurrentThreadId());

  EXPECT_TRUE(CloseHandle(hThread));
  EXPECT_FALSE(CloseHandle(hThread));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(hThread, 0), WAIT_FAILED);
}

TEST_F(Win32Threads, ThreadCreationFailures) {
  Win32InjectFault(Win32Fault::ThreadCreate, ERROR_NOT_ENOUGH_MEMORY, 1);
  errno = 0;
  EXPECT_EQ(_beginthreadex(nullptr, 0, &returnSeven, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(errno, EAGAIN);

  // One failure only; the next thread starts, with the stack size asked for.
  HANDLE hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 256 * 1024, &returnSeven, nullptr, 0, nullptr));
  ASSERT_NE(hThread, nullptr);
  EXPECT_EQ(WaitForSingleObject(hThread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(exitCode(hThread), 7u);
  EXPECT_FALSE(SetEvent(hThread));  // not an event
  CloseHandle(hThread);

  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(_beginthreadex(nullptr, 0, &returnSeven, nullptr, 4 /* suspended */, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
}

// Events ------------------------------------------------------------------------------------------------------------

TEST_F(Win32Threads, AutoAndManualResetEvents) {
  HANDLE hAuto = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(hAuto, 0), WAIT_OBJECT_0);  // initially signalled
  EXPECT_EQ(WaitForSingleObject(hAuto, 0), WAIT_TIMEOUT);   // and consumed by that wait
  SetEvent(hAuto);
  SetEvent(hAuto);  // signals do not add up
  EXPECT_EQ(WaitForSingleObject(hAuto, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hAuto, 0), WAIT_TIMEOUT);
  SetEvent(hAuto);
  EXPECT_TRUE(ResetEvent(hAuto));
  EXPECT_EQ(WaitForSingleObject(hAuto, 10), WAIT_TIMEOUT);

  HANDLE hManual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(hManual, 0), WAIT_TIMEOUT);
  SetEvent(hManual);
  EXPECT_EQ(WaitForSingleObject(hManual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hManual, INFINITE), WAIT_OBJECT_0);
  ResetEvent(hManual);
  EXPECT_EQ(WaitForSingleObject(hManual, 0), WAIT_TIMEOUT);

  Win32InjectFault(Win32Fault::EventCreate, 0, 1);
  EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  CloseHandle(hAuto);
  CloseHandle(hManual);
}

struct WaiterGroup {
  HANDLE hEvent;
  std::atomic<int> iWaiting{0};
  std::atomic<int> iReleased{0};
};

unsigned waitOnGroupEvent(void* pArgument) {
  auto* pGroup = static_cast<WaiterGroup*>(pArgument);
  ++pGroup->iWaiting;
  const DWORD dwResult = WaitForSingleObject(pGroup->hEvent, INFINITE);
  ++pGroup->iReleased;
  return dwResult;
}

// Three threads block on one event: one SetEvent releases iReleasedAfterOne of them, two more release the rest.
void checkWaitersReleased(BOOL bManualReset, int iReleasedAfterOne) {
  WaiterGroup group;
  group.hEvent = CreateEventA(nullptr, bManualReset, FALSE, nullptr);
  std::vector<HANDLE> threads;
  for (int i = 0; i < 3; ++i) threads.push_back(startThread(&waitOnGroupEvent, &group));
  ASSERT_TRUE(eventually([&] { return Win32TestWaitingThreads(group.hEvent) == 3; })) << "all three wait";

  SetEvent(group.hEvent);
  EXPECT_TRUE(eventually([&] { return group.iReleased.load() == iReleasedAfterOne; }));
  EXPECT_EQ(Win32TestWaitingThreads(group.hEvent), static_cast<DWORD>(3 - iReleasedAfterOne)) << "the rest wait on";
  EXPECT_EQ(group.iReleased.load(), iReleasedAfterOne);
  SetEvent(group.hEvent);
  SetEvent(group.hEvent);
  for (HANDLE hThread : threads) {
    EXPECT_EQ(WaitForSingleObject(hThread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(exitCode(hThread), WAIT_OBJECT_0);
    CloseHandle(hThread);
  }
  CloseHandle(group.hEvent);
}

TEST_F(Win32Threads, AutoResetEventWakesExactlyOneWaiter) { checkWaitersReleased(FALSE, 1); }

TEST_F(Win32Threads, ManualResetEventWakesEveryWaiter) { checkWaitersReleased(TRUE, 3); }

TEST_F(Win32Threads, NamedEventsAreSharedWithinTheProcess) {
  HANDLE hFirst = CreateEventA(nullptr, FALSE, FALSE, "WTT_WaitEvent_0");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  HANDLE hOther = CreateEventA(nullptr, FALSE, FALSE, "WTT_WaitEvent_1");
  HANDLE hSame = CreateEventA(nullptr, TRUE, TRUE, "WTT_WaitEvent_0");  // keeps the existing mode and state
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_NE(hSame, hFirst);

  EXPECT_EQ(WaitForSingleObject(hSame, 0), WAIT_TIMEOUT);
  SetEvent(hFirst);
  EXPECT_EQ(WaitForSingleObject(hOther, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(hSame, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hFirst, 0), WAIT_TIMEOUT);  // auto-reset, consumed through the other handle

  // The event lives while any handle does; after the last one the name makes a fresh event.
  CloseHandle(hFirst);
  SetEvent(hSame);
  CloseHandle(hSame);
  HANDLE hFresh = CreateEventA(nullptr, TRUE, FALSE, "WTT_WaitEvent_0");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(WaitForSingleObject(hFresh, 0), WAIT_TIMEOUT);
  CloseHandle(hFresh);
  CloseHandle(hOther);
}

// Critical sections -------------------------------------------------------------------------------------------------

CRITICAL_SECTION* g_pProbedSection = nullptr;

unsigned tryEnterProbedSection(void*) {
  const BOOL bEntered = TryEnterCriticalSection(g_pProbedSection);
  if (bEntered) LeaveCriticalSection(g_pProbedSection);
  return unsigned(bEntered);
}

BOOL tryEnterOnAnotherThread(CRITICAL_SECTION& section) {
  g_pProbedSection = &section;
  HANDLE hThread = startThread(&tryEnterProbedSection, nullptr);
  WaitForSingleObject(hThread, INFINITE);
  const DWORD dwEntered = exitCode(hThread);
  CloseHandle(hThread);
  return BOOL(dwEntered);
}

TEST_F(Win32Threads, CriticalSectionIsRecursiveForItsOwner) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));  // the owner may always enter again
  EXPECT_FALSE(tryEnterOnAnotherThread(section));
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  EXPECT_FALSE(tryEnterOnAnotherThread(section));  // still entered once
  LeaveCriticalSection(&section);
  EXPECT_TRUE(tryEnterOnAnotherThread(section));
  DeleteCriticalSection(&section);
}

struct SharedCounter {
  CRITICAL_SECTION section;
  long lValue = 0;
};

unsigned countUnderSection(void* pArgument) {
  auto* pCounter = static_cast<SharedCounter*>(pArgument);
  for (int i = 0; i < 20000; ++i) {
    EnterCriticalSection(&pCounter->section);
    EnterCriticalSection(&pCounter->section);
    const long lSeen = pCounter->lValue;
    pCounter->lValue = lSeen + 1;
    LeaveCriticalSection(&pCounter->section);
    LeaveCriticalSection(&pCounter->section);
  }
  return 0;
}

TEST_F(Win32Threads, CriticalSectionExcludesOtherThreads) {
  SharedCounter counter;
  InitializeCriticalSection(&counter.section);
  std::vector<HANDLE> threads;
  for (int i = 0; i < 4; ++i) threads.push_back(startThread(&countUnderSection, &counter));
  for (HANDLE hThread : threads) {
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
  }
  EXPECT_EQ(counter.lValue, 80000);
  DeleteCriticalSection(&counter.section);
}

// The blocking-call hook ------------------------------------------------------------------------------------------

std::mutex g_hookLock;
std::vector<DWORD> g_hookThreads;  // the threads the hook ran on, in order

void recordHookThread() {
  std::lock_guard<std::mutex> guard(g_hookLock);
  g_hookThreads.push_back(GetCurrentThreadId());
}

bool hookRanOn(DWORD dwThread) {
  std::lock_guard<std::mutex> guard(g_hookLock);
  return std::find(g_hookThreads.begin(), g_hookThreads.end(), dwThread) != g_hookThreads.end();
}

size_t hookRuns() {
  std::lock_guard<std::mutex> guard(g_hookLock);
  return g_hookThreads.size();
}

unsigned enterAndLeave(void* pArgument) {
  auto* pSection = static_cast<CRITICAL_SECTION*>(pArgument);
  EnterCriticalSection(pSection);
  LeaveCriticalSection(pSection);
  return 0;
}

// What a thread holds through the hook (the graphics context) must go back when the thread ends and before it
// blocks on a section another thread owns, or the owner and every later user wait for ever.
TEST_F(Win32Threads, BlockingCallHookRunsWhenAThreadEndsAndBeforeAContendedEnter) {
  {
    std::lock_guard<std::mutex> guard(g_hookLock);
    g_hookThreads.clear();
  }
  Win32SetBlockingCallHook(&recordHookThread);

  unsigned uiEnded = 0;
  HANDLE hThread = startThread(&returnSeven, nullptr, &uiEnded);
  WaitForSingleObject(hThread, INFINITE);
  CloseHandle(hThread);
  EXPECT_TRUE(hookRanOn(uiEnded)) << "the hook did not run on the thread that ended";

  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  const size_t uiRunsBefore = hookRuns();
  EnterCriticalSection(&section);
  LeaveCriticalSection(&section);
  EXPECT_EQ(hookRuns(), uiRunsBefore) << "a free section does not make the caller give anything back";

  EnterCriticalSection(&section);
  unsigned uiBlocked = 0;
  hThread = startThread(&enterAndLeave, &section, &uiBlocked);
  // The waiter is counted once the hook has run on it.
  while (__atomic_load_n(&section.Waiters, __ATOMIC_ACQUIRE) == 0) std::this_thread::yield();
  EXPECT_TRUE(hookRanOn(uiBlocked)) << "the hook did not run before the thread blocked on the section";
  LeaveCriticalSection(&section);
  WaitForSingleObject(hThread, INFINITE);
  CloseHandle(hThread);
  EXPECT_EQ(section.Waiters, 0);
  DeleteCriticalSection(&section);
}

// Completion routines and alertable waits ---------------------------------------------------------------------------

std::vector<ULONG_PTR> g_ranValues;
std::atomic<DWORD> g_dwRanOn{0};

void CALLBACK recordApc(ULONG_PTR dwParam) {
  g_ranValues.push_back(dwParam);
  g_dwRanOn = GetCurrentThreadId();
}

void CALLBACK requeueApc(ULONG_PTR dwParam) {
  recordApc(dwParam);
  if (dwParam < 3) QueueUserAPC(&requeueApc, GetCurrentThread(), dwParam + 1);
}

TEST_F(Win32Threads, CompletionRoutinesRunOnlyInAlertableWaits) {
  g_ranValues.clear();
  HANDLE hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  // The routines arrive while the thread is blocked in a wait that is not alertable: neither that wait nor the
  // next ones run them.
  Win32TestHoldCompletions(TRUE);
  ASSERT_NE(QueueUserAPC(&recordApc, GetCurrentThread(), 10), 0u);
  ASSERT_NE(QueueUserAPC(&recordApc, GetCurrentThread(), 20), 0u);
  EXPECT_EQ(KvTestReleaseHeldCompletionsDuringWait(FALSE), WAIT_OBJECT_0);
  EXPECT_EQ(Win32TestQueuedCompletions(GetCurrentThread()), 2u);
  Sleep(0);
  EXPECT_EQ(SleepEx(0, FALSE), 0u);
  EXPECT_EQ(WaitForSingleObjectEx(hEvent, 0, FALSE), WAIT_TIMEOUT);
  EXPECT_TRUE(g_ranValues.empty());

  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(g_ranValues, (std::vector<ULONG_PTR>{10, 20}));
  EXPECT_EQ(g_dwRanOn.load(), GetCurrentThreadId());
  EXPECT_EQ(SleepEx(0, TRUE), 0u);  // nothing left

  // Routines queued by routines run in the same wait; a long sleep returns once the queue has run.
  QueueUserAPC(&requeueApc, GetCurrentThread(), 1);
  EXPECT_EQ(SleepEx(INFINITE, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(g_ranValues, (std::vector<ULONG_PTR>{10, 20, 1, 2, 3}));

  // An alertable object wait: routines end it, but a signal takes precedence and the routine waits its turn.
  QueueUserAPC(&recordApc, GetCurrentThread(), 4);
  EXPECT_EQ(WaitForSingleObjectEx(hEvent, INFINITE, TRUE), WAIT_IO_COMPLETION);
  SetEvent(hEvent);
  QueueUserAPC(&recordApc, GetCurrentThread(), 5);
  EXPECT_EQ(WaitForSingleObjectEx(hEvent, INFINITE, TRUE), WAIT_OBJECT_0);
  EXPECT_EQ(g_ranValues.size(), 6u);
  EXPECT_EQ(WaitForSingleObjectEx(hEvent, 0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(g_ranValues.size(), 7u);
  CloseHandle(hEvent);
}

std::atomic<bool> g_bAsleep{false};

unsigned sleepAlertably(void*) {
  g_bAsleep = true;
  return SleepEx(INFINITE, TRUE);
}

TEST_F(Win32Threads, RoutineQueuedToAnotherThreadRunsThere) {
  unsigned uId = 0;
  HANDLE hThread = startThread(&sleepAlertably, nullptr, &uId);
  ASSERT_TRUE(eventually([&] { return g_bAsleep.load() && Win32TestThreadIsWaiting(hThread); }));

  ASSERT_NE(QueueUserAPC(&recordApc, hThread, 0), 0u);
  EXPECT_EQ(SleepEx(0, TRUE), 0u);  // never on the queueing thread
  EXPECT_EQ(WaitForSingleObject(hThread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(exitCode(hThread), WAIT_IO_COMPLETION);
  EXPECT_EQ(g_dwRanOn.load(), uId);

  EXPECT_EQ(QueueUserAPC(&recordApc, hThread, 0), 0u);  // a finished thread takes no more routines
  EXPECT_EQ(QueueUserAPC(nullptr, GetCurrentThread(), 0), 0u);
  CloseHandle(hThread);
}

}  // namespace
