#include "Platform/Win32/Win32Threads.h"

#include <pthread.h>

#include <algorithm>
#include <SDL.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits.h>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Platform/Win32/Win32KernelObjects.h"

using Win32Internal::KernelObject;
using Win32Internal::ObjectKind;

namespace {

// The value GetCurrentThread answers, as on the platform.
HANDLE const g_hCurrentThreadPseudo = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));

// One lock guards every event's state, the waiter lists, the threads' exit codes and every thread's completion
// queue, so that one wait can watch its object and its own queue at the same time. Nothing slow runs under
// it; completion routines run after it has been released. Never destroyed, so that threads still running at
// process exit find it intact.
std::mutex& waitLock() {
  static std::mutex* const s_pLock = new std::mutex;
  return *s_pLock;
}

// What the stand-in knows of one thread: its id and its queue of completion routines.
struct ThreadState {
  std::condition_variable wake;  // notified whenever this thread's wait may be over
  std::deque<std::function<void()>> completions;
  bool bExited = false;  // no routine may be queued any more
  bool bWaiting = false;  // blocked in a wait or an alertable sleep (for tests)
  DWORD dwId = 0;
};

std::atomic<DWORD> g_dwNextThreadId{1};

std::shared_ptr<ThreadState> newThreadState() {
  auto pState = std::make_shared<ThreadState>();
  pState->dwId = g_dwNextThreadId.fetch_add(1, std::memory_order_relaxed);
  return pState;
}

thread_local std::shared_ptr<ThreadState> t_pState;
thread_local DWORD t_dwLastError = ERROR_SUCCESS;

const std::shared_ptr<ThreadState>& currentState() {
  if (!t_pState) t_pState = newThreadState();
  return t_pState;
}

// One thread blocked on one object; bReleased is set (under the wait lock) when a signal was handed to it.
struct Waiter {
  ThreadState* pThread;
  bool bReleased;
};

// Events and threads. All fields are guarded by the wait lock.
struct WaitableObject : KernelObject {
  WaitableObject(ObjectKind eKindIn, bool bManual, bool bInitial)
      : KernelObject(eKindIn), bManualReset(bManual), bSignalled(bInitial) {}

  // Consumes the signal of an auto-reset object.
  bool tryTake() {
    if (!bSignalled) return false;
    if (!bManualReset) bSignalled = false;
    return true;
  }

  // A manual-reset object stays signalled and releases every waiter; an auto-reset one hands its signal to the
  // longest waiter, or keeps it for the next wait when nobody waits.
  void signal() {
    if (bManualReset) {
      bSignalled = true;
      for (Waiter* pWaiter : waiters) {
        pWaiter->bReleased = true;
        pWaiter->pThread->wake.notify_one();
      }
      waiters.clear();
    } else if (!waiters.empty()) {
      Waiter* pWaiter = waiters.front();
      waiters.erase(waiters.begin());
      pWaiter->bReleased = true;
      pWaiter->pThread->wake.notify_one();
    } else {
      bSignalled = true;
    }
  }

  const bool bManualReset;
  bool bSignalled;
  std::vector<Waiter*> waiters;  // in arrival order
};

struct ThreadObject : WaitableObject {
  ThreadObject() : WaitableObject(ObjectKind::Thread, true, false) {}
  // The last reference may be dropped by the thread itself (its handle was closed first) or by whoever closes
  // the handle after the routine returned; the host thread is detached or joined accordingly.
  ~ThreadObject() override {
    if (!bStarted) return;
    if (pthread_equal(thread, pthread_self())) {
      pthread_detach(thread);
    } else {
      pthread_join(thread, nullptr);
    }
  }

  unsigned (*pRoutine)(void*) = nullptr;
  void* pArgument = nullptr;
  std::shared_ptr<ThreadState> pState;
  DWORD dwExitCode = STILL_ACTIVE;  // guarded by the wait lock
  pthread_t thread{};
  bool bStarted = false;
};

// Names of named events; an entry whose event is gone is replaced by the next create of that name.
struct EventNames {
  std::mutex lock;
  std::map<std::string, std::weak_ptr<KernelObject>> events;
};

EventNames& eventNames() {
  static EventNames* const s_pNames = new EventNames;
  return *s_pNames;
}

struct EventObject : WaitableObject {
  EventObject(bool bManual, bool bInitial, std::string nameIn)
      : WaitableObject(ObjectKind::Event, bManual, bInitial), name(std::move(nameIn)) {}
  ~EventObject() override {
    if (name.empty()) return;
    EventNames& names = eventNames();
    std::lock_guard<std::mutex> guard(names.lock);
    auto it = names.events.find(name);
    if (it != names.events.end() && it->second.expired()) names.events.erase(it);
  }
  const std::string name;
};

struct HandleTable {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  std::uintptr_t uiNext = 0x1000;  // far from null, INVALID_HANDLE_VALUE and the pseudo-handles
};

HandleTable& handleTable() {
  static HandleTable* const s_pTable = new HandleTable;
  return *s_pTable;
}

std::shared_ptr<KernelObject> findAnyHandle(HANDLE hHandle) {
  HandleTable& table = handleTable();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(hHandle));
  return it == table.objects.end() ? nullptr : it->second;
}

void runCompletions(ThreadState& self, std::unique_lock<std::mutex>& lock) {
  while (!self.completions.empty()) {
    std::function<void()> routine = std::move(self.completions.front());
    self.completions.pop_front();
    lock.unlock();
    routine();
    routine = nullptr;
    lock.lock();
  }
}

void plainSleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
  }
}

// The one wait behind WaitForSingleObject(Ex) and SleepEx; pObject null waits for completion routines only.
DWORD waitCore(WaitableObject* pObject, DWORD dwMilliseconds, bool bAlertable) {
  ThreadState& self = *currentState();
  const bool bForever = dwMilliseconds == INFINITE;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(bForever ? 0 : dwMilliseconds);
  Waiter waiter{&self, false};
  bool bListed = false;
  DWORD dwResult;

  std::unique_lock<std::mutex> lock(waitLock());
  for (;;) {
    // A signal already handed over must not be lost to a completion or a time-out.
    if (waiter.bReleased || (pObject && pObject->tryTake())) {
      dwResult = WAIT_OBJECT_0;
      break;
    }
    if (bAlertable && !self.completions.empty()) {
      dwResult = WAIT_IO_COMPLETION;
      break;
    }
    if (!bForever && std::chrono::steady_clock::now() >= deadline) {
      dwResult = WAIT_TIMEOUT;
      break;
    }
    if (pObject && !bListed) {
      pObject->waiters.push_back(&waiter);
      bListed = true;
    }
    self.bWaiting = true;
    if (bForever) {
      self.wake.wait(lock);
    } else {
      self.wake.wait_until(lock, deadline);
    }
    self.bWaiting = false;
  }
  if (bListed && !waiter.bReleased) {
    auto& waiters = pObject->waiters;
    waiters.erase(std::find(waiters.begin(), waiters.end(), &waiter));
  }
  if (dwResult == WAIT_IO_COMPLETION) runCompletions(self, lock);
  return dwResult;
}

// Routines held back by Win32TestHoldCompletions, with their threads; guarded by the wait lock.
bool g_bHoldCompletions = false;
std::vector<std::pair<std::shared_ptr<ThreadState>, std::function<void()>>> g_heldCompletions;

bool queueTo(const std::shared_ptr<ThreadState>& pTarget, std::function<void()> routine) {
  std::lock_guard<std::mutex> guard(waitLock());
  if (pTarget->bExited) return false;
  if (g_bHoldCompletions) {
    g_heldCompletions.emplace_back(pTarget, std::move(routine));
    return true;
  }
  pTarget->completions.push_back(std::move(routine));
  pTarget->wake.notify_one();
  return true;
}

std::atomic<void (*)()> g_pfnBlockingCallHook{nullptr};

void runBlockingCallHook() {
  if (void (*pfnHook)() = g_pfnBlockingCallHook.load(std::memory_order_acquire)) {
    pfnHook();
  }
}

void* threadTrampoline(void* pStart) {
  std::shared_ptr<ThreadObject> pObject = std::move(*static_cast<std::shared_ptr<ThreadObject>*>(pStart));
  delete static_cast<std::shared_ptr<ThreadObject>*>(pStart);
  t_pState = pObject->pState;

  const unsigned uResult = pObject->pRoutine(pObject->pArgument);
  // Whatever the thread still holds through the hook (the graphics context) goes back before anybody waiting
  // for the thread's end runs on.
  runBlockingCallHook();
  // SDL keeps per-thread data (its error text) for threads that call it; threads it did not make must give it back.
  SDL_TLSCleanup();

  std::deque<std::function<void()>> dropped;  // routines queued too late die outside the lock
  {
    std::lock_guard<std::mutex> guard(waitLock());
    pObject->dwExitCode = uResult;
    pObject->signal();
    pObject->pState->bExited = true;
    dropped.swap(pObject->pState->completions);
  }
  pObject.reset();
  return nullptr;
}

std::shared_ptr<ThreadObject> findThread(HANDLE hThread) {
  return Win32Internal::findHandleAs<ThreadObject>(hThread, ObjectKind::Thread);
}

// Critical sections: a host mutex held while the section is owned; the owner's id and its entry count make it
// recursive and let a wrong Leave be caught. OwningThread is read by other threads, so it is accessed
// atomically; RecursionCount is touched by the owner only.
constexpr DWORD gc_dwSECTION_MAGIC = 0x43534543u;

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::Storage), "section storage too small");
static_assert(alignof(pthread_mutex_t) <= 16, "section storage under-aligned");

pthread_mutex_t* sectionMutex(LPCRITICAL_SECTION pSection, const char* pCall) {
  if (!pSection || pSection->Magic != gc_dwSECTION_MAGIC) {
    std::fprintf(stderr, "%s: the critical section is not initialised\n", pCall);
    std::abort();
  }
  return reinterpret_cast<pthread_mutex_t*>(pSection->Storage);
}

DWORD sectionOwner(LPCRITICAL_SECTION pSection) {
  return __atomic_load_n(&pSection->OwningThread, __ATOMIC_RELAXED);
}

void takeSection(LPCRITICAL_SECTION pSection, DWORD dwSelf) {
  __atomic_store_n(&pSection->OwningThread, dwSelf, __ATOMIC_RELAXED);
  pSection->RecursionCount = 1;
}

}  // namespace

namespace Win32Internal {

HANDLE addHandle(std::shared_ptr<KernelObject> pObject) {
  HandleTable& table = handleTable();
  std::lock_guard<std::mutex> guard(table.lock);
  const std::uintptr_t uiValue = table.uiNext;
  table.uiNext += 4;
  table.objects.emplace(uiValue, std::move(pObject));
  return reinterpret_cast<HANDLE>(uiValue);
}

std::shared_ptr<KernelObject> findHandle(HANDLE hHandle, ObjectKind eKind) {
  std::shared_ptr<KernelObject> pObject = findAnyHandle(hHandle);
  if (!pObject || pObject->eKind != eKind) return nullptr;
  return pObject;
}

void queueToCurrentThread(std::function<void()> routine) { queueTo(currentState(), std::move(routine)); }

}  // namespace Win32Internal

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(lpCriticalSection->Storage), nullptr);
  lpCriticalSection->OwningThread = 0;
  lpCriticalSection->RecursionCount = 0;
  lpCriticalSection->Waiters = 0;
  lpCriticalSection->Magic = gc_dwSECTION_MAGIC;
}

void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_t* pMutex = sectionMutex(lpCriticalSection, "EnterCriticalSection");
  const DWORD dwSelf = GetCurrentThreadId();
  if (sectionOwner(lpCriticalSection) == dwSelf) {
    ++lpCriticalSection->RecursionCount;
    return;
  }
  if (pthread_mutex_trylock(pMutex) != 0) {
    // The owner may need what this thread holds through the hook (the graphics context) before it leaves.
    runBlockingCallHook();
    __atomic_add_fetch(&lpCriticalSection->Waiters, 1, __ATOMIC_RELEASE);
    pthread_mutex_lock(pMutex);
    __atomic_sub_fetch(&lpCriticalSection->Waiters, 1, __ATOMIC_RELAXED);
  }
  takeSection(lpCriticalSection, dwSelf);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_t* pMutex = sectionMutex(lpCriticalSection, "TryEnterCriticalSection");
  const DWORD dwSelf = GetCurrentThreadId();
  if (sectionOwner(lpCriticalSection) == dwSelf) {
    ++lpCriticalSection->RecursionCount;
    return TRUE;
  }
  if (pthread_mutex_trylock(pMutex) != 0) return FALSE;
  takeSection(lpCriticalSection, dwSelf);
  return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_t* pMutex = sectionMutex(lpCriticalSection, "LeaveCriticalSection");
  if (sectionOwner(lpCriticalSection) != GetCurrentThreadId()) {
    std::fprintf(stderr, "LeaveCriticalSection: the calling thread does not own the section\n");
    std::abort();
  }
  if (--lpCriticalSection->RecursionCount == 0) {
    __atomic_store_n(&lpCriticalSection->OwningThread, DWORD{0}, __ATOMIC_RELAXED);
    pthread_mutex_unlock(pMutex);
  }
}

void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_destroy(sectionMutex(lpCriticalSection, "DeleteCriticalSection"));
  lpCriticalSection->Magic = 0;
}

std::uintptr_t _beginthreadex(void* /*security*/, unsigned stack_size, unsigned(__stdcall* start_address)(void*),
                              void* arglist, unsigned initflag, unsigned* thrdaddr) {
  if (!start_address || initflag != 0) {
    errno = EINVAL;
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD dwFault = 0;
  if (Win32Internal::takeFault(Win32Fault::ThreadCreate, dwFault)) {
    errno = EAGAIN;
    SetLastError(dwFault);
    return 0;
  }

  auto pObject = std::make_shared<ThreadObject>();
  pObject->pRoutine = start_address;
  pObject->pArgument = arglist;
  pObject->pState = newThreadState();

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  if (stack_size != 0) {
    pthread_attr_setstacksize(&attributes, std::max<size_t>(stack_size, PTHREAD_STACK_MIN));
  }
  auto* pStart = new std::shared_ptr<ThreadObject>(pObject);
  pthread_t thread;
  const int iError = pthread_create(&thread, &attributes, &threadTrampoline, pStart);
  pthread_attr_destroy(&attributes);
  if (iError != 0) {
    delete pStart;
    errno = iError;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  // Read again only when the last reference goes, which is ordered after this through the reference count.
  pObject->thread = thread;
  pObject->bStarted = true;

  if (thrdaddr) *thrdaddr = pObject->pState->dwId;
  return reinterpret_cast<std::uintptr_t>(Win32Internal::addHandle(std::move(pObject)));
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  if (hThread == g_hCurrentThreadPseudo) {
    *lpExitCode = STILL_ACTIVE;
    return TRUE;
  }
  std::shared_ptr<ThreadObject> pThread = findThread(hThread);
  if (!pThread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(waitLock());
  *lpExitCode = pThread->dwExitCode;
  return TRUE;
}

HANDLE GetCurrentThread() { return g_hCurrentThreadPseudo; }

DWORD GetCurrentThreadId() { return currentState()->dwId; }

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset, BOOL bInitialState,
                    LPCSTR lpName) {
  DWORD dwFault = 0;
  if (Win32Internal::takeFault(Win32Fault::EventCreate, dwFault)) {
    SetLastError(dwFault);
    return nullptr;
  }
  if (!lpName || !*lpName) {
    SetLastError(ERROR_SUCCESS);
    return Win32Internal::addHandle(std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE, ""));
  }
  std::shared_ptr<KernelObject> pEvent;  // outlives the name lock: dropping it may take that lock
  EventNames& names = eventNames();
  std::lock_guard<std::mutex> guard(names.lock);
  std::weak_ptr<KernelObject>& entry = names.events[lpName];
  pEvent = entry.lock();
  if (pEvent) {
    SetLastError(ERROR_ALREADY_EXISTS);
  } else {
    pEvent = std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE, lpName);
    entry = pEvent;
    SetLastError(ERROR_SUCCESS);
  }
  return Win32Internal::addHandle(pEvent);
}

void Win32SetBlockingCallHook(void (*pfnHook)()) { g_pfnBlockingCallHook.store(pfnHook, std::memory_order_release); }

BOOL SetEvent(HANDLE hEvent) {
  runBlockingCallHook();
  auto pEvent = Win32Internal::findHandleAs<EventObject>(hEvent, ObjectKind::Event);
  if (!pEvent) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(waitLock());
  pEvent->signal();
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  auto pEvent = Win32Internal::findHandleAs<EventObject>(hEvent, ObjectKind::Event);
  if (!pEvent) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(waitLock());
  pEvent->bSignalled = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForSingleObjectEx(hHandle, dwMilliseconds, FALSE);
}

DWORD WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable) {
  runBlockingCallHook();
  std::shared_ptr<KernelObject> pObject = findAnyHandle(hHandle);
  if (!pObject || (pObject->eKind != ObjectKind::Thread && pObject->eKind != ObjectKind::Event)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return waitCore(static_cast<WaitableObject*>(pObject.get()), dwMilliseconds, bAlertable != FALSE);
}

BOOL CloseHandle(HANDLE hObject) {
  if (hObject == g_hCurrentThreadPseudo) return TRUE;
  std::shared_ptr<KernelObject> pObject;  // released after the table lock, as it may end a thread or an event
  {
    HandleTable& table = handleTable();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(hObject));
    if (it != table.objects.end()) {
      pObject = std::move(it->second);
      table.objects.erase(it);
    }
  }
  if (!pObject) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD dwFault = 0;
  if (pObject->eKind == ObjectKind::File && Win32Internal::takeFault(Win32Fault::FileClose, dwFault)) {
    SetLastError(dwFault);
    return FALSE;
  }
  return TRUE;
}

DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable) {
  runBlockingCallHook();
  if (!bAlertable) {
    plainSleep(dwMilliseconds);
    return 0;
  }
  if (waitCore(nullptr, dwMilliseconds, true) == WAIT_IO_COMPLETION) return WAIT_IO_COMPLETION;
  if (dwMilliseconds == 0) std::this_thread::yield();
  return 0;
}

void Sleep(DWORD dwMilliseconds) {
  runBlockingCallHook();
  plainSleep(dwMilliseconds);
}

DWORD QueueUserAPC(PAPCFUNC pfnAPC, HANDLE hThread, ULONG_PTR dwData) {
  if (!pfnAPC) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::shared_ptr<ThreadState> pTarget;
  if (hThread == g_hCurrentThreadPseudo) {
    pTarget = currentState();
  } else if (std::shared_ptr<ThreadObject> pThread = findThread(hThread)) {
    pTarget = pThread->pState;
  }
  if (!pTarget || !queueTo(pTarget, [pfnAPC, dwData] { pfnAPC(dwData); })) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return 1;
}

DWORD Win32TestWaitingThreads(HANDLE hObject) {
  std::shared_ptr<KernelObject> pObject = findAnyHandle(hObject);
  if (!pObject || (pObject->eKind != ObjectKind::Thread && pObject->eKind != ObjectKind::Event)) return 0;
  std::lock_guard<std::mutex> guard(waitLock());
  return static_cast<DWORD>(static_cast<WaitableObject*>(pObject.get())->waiters.size());
}

BOOL Win32TestThreadIsWaiting(HANDLE hThread) {
  std::shared_ptr<ThreadObject> pThread = findThread(hThread);
  if (!pThread) return FALSE;
  std::lock_guard<std::mutex> guard(waitLock());
  return pThread->pState->bWaiting ? TRUE : FALSE;
}

void Win32TestHoldCompletions(BOOL bHold) {
  std::vector<std::pair<std::shared_ptr<ThreadState>, std::function<void()>>> released;
  {
    std::lock_guard<std::mutex> guard(waitLock());
    g_bHoldCompletions = bHold != FALSE;
    if (g_bHoldCompletions) return;
    released.swap(g_heldCompletions);
    for (auto& [pTarget, routine] : released) {
      if (pTarget->bExited) continue;
      pTarget->completions.push_back(std::move(routine));
      pTarget->wake.notify_one();
    }
  }
  // What was dropped goes outside the lock, as the routines of a thread that ended.
}

DWORD Win32TestQueuedCompletions(HANDLE hThread) {
  std::shared_ptr<ThreadState> pState;
  if (hThread == g_hCurrentThreadPseudo) {
    pState = currentState();
  } else if (std::shared_ptr<ThreadObject> pThread = findThread(hThread)) {
    pState = pThread->pState;
  }
  if (!pState) return 0;
  std::lock_guard<std::mutex> guard(waitLock());
  return static_cast<DWORD>(pState->completions.size());
}

DWORD GetLastError() { return t_dwLastError; }

void SetLastError(DWORD dwErrCode) { t_dwLastError = dwErrCode; }
