// Engine locks. Every lock is a critical section taken from one fixed pool of 32, so the number of locks is
// bounded and all of them can be deleted together at shutdown. A separate guard section serialises taking
// and giving back frames, so locks may be created and destroyed on any thread once the pool is set up
// (the program body sets it up on the main thread before any other thread exists).
//
// A lock is re-entrant for the thread that holds it. A null lock (never created, or destroyed) is skipped
// by enter and leave, as the engine's users expect.
#pragma once

#include "Corvane/System/KvTypes.h"

struct _CRITICAL_SECTION;

inline constexpr i32 gc_iMAX_MUTEX_LOCKS = 32;

class ClMutexLock {
 public:
  // Set once the pool is laid out and its guard initialised; never cleared.
  static bool g_bInitialized;

  // Lays the pool out and initialises the guard, then sets g_bInitialized; does nothing when already set.
  static void initializePool();
  // Takes a frame and initialises its section into pLock. False when all 32 are in use (pLock unchanged).
  static bool create(ClMutexLock* pLock);
  // Deletes the section, gives the frame back and nulls the lock. A null lock is left alone.
  static void destroy(ClMutexLock* pLock);
  // Deletes every section still in use, gives every frame back and deletes the guard. Returns 0.
  static i32 shutdownPool();
  // Number of frames in use.
  static i32 getPoolCount();

  void enter();
  // Enters when the section is free or already held by this thread, without waiting; false when another
  // thread holds it. A null lock has nothing to take: true, and the matching leave does nothing.
  bool tryEnter();
  void leave();
  bool isCreated() const { return mp_pSection != nullptr; }

  _CRITICAL_SECTION* mp_pSection = nullptr;
};

// Holds a lock for a scope.
class ClScopedMutexLock {
 public:
  explicit ClScopedMutexLock(ClMutexLock& lock) : m_lock(lock) { m_lock.enter(); }
  ~ClScopedMutexLock() { m_lock.leave(); }
  ClScopedMutexLock(const ClScopedMutexLock&) = delete;
  ClScopedMutexLock& operator=(const ClScopedMutexLock&) = delete;

 private:
  ClMutexLock& m_lock;
};
