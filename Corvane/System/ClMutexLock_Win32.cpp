#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClMutexLockPool_Win32.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Win32/Win32Threads.h"

bool ClMutexLock::g_bInitialized = false;

namespace {

// The pool's static lay-out leaves it valid and empty before the program body runs; the guard is
// initialised later by initializePool.
CRITICAL_SECTION g_mutexLockGuard;

}  // namespace

void ClMutexLock::initializePool() {
  if (g_bInitialized) {
    return;
  }
  g_mutexLockPool.initialize();
  InitializeCriticalSection(&g_mutexLockGuard);
  g_bInitialized = true;
}

bool ClMutexLock::create(ClMutexLock* pLock) {
  KvCheckPointer(pLock);
  initializePool();
  CRITICAL_SECTION* pSection = nullptr;
  EnterCriticalSection(&g_mutexLockGuard);
  if (g_mutexLockPool.getCount() < gc_iMAX_MUTEX_LOCKS) {
    pSection = g_mutexLockPool.alloc();
  }
  LeaveCriticalSection(&g_mutexLockGuard);
  if (pSection == nullptr) {
    return false;
  }
  InitializeCriticalSection(pSection);
  pLock->mp_pSection = pSection;
  return true;
}

void ClMutexLock::destroy(ClMutexLock* pLock) {
  KvCheckPointer(pLock);
  if (pLock->mp_pSection == nullptr) {
    return;
  }
  DeleteCriticalSection(pLock->mp_pSection);
  EnterCriticalSection(&g_mutexLockGuard);
  g_mutexLockPool.free(pLock->mp_pSection);
  LeaveCriticalSection(&g_mutexLockGuard);
  pLock->mp_pSection = nullptr;
}

i32 ClMutexLock::shutdownPool() {
  if (!g_bInitialized) {
    return 0;
  }
  EnterCriticalSection(&g_mutexLockGuard);
  const i32 iCount = g_mutexLockPool.getCount();
  for (i32 i = 0; i < iCount; ++i) {
    DeleteCriticalSection(g_mutexLockPool.get(i));
  }
  while (g_mutexLockPool.getCount() > 0) {
    g_mutexLockPool.free(g_mutexLockPool.get(0));
  }
  LeaveCriticalSection(&g_mutexLockGuard);
  DeleteCriticalSection(&g_mutexLockGuard);
  // The guard is gone; a later create lays the pool out again.
  g_bInitialized = false;
  return 0;
}

i32 ClMutexLock::getPoolCount() { return g_mutexLockPool.getCount(); }

void ClMutexLock::enter() {
  if (mp_pSection != nullptr) {
    EnterCriticalSection(mp_pSection);
  }
}

bool ClMutexLock::tryEnter() { return mp_pSection == nullptr || TryEnterCriticalSection(mp_pSection) != FALSE; }

void ClMutexLock::leave() {
  if (mp_pSection != nullptr) {
    LeaveCriticalSection(mp_pSection);
  }
}
