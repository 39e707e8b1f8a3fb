// The thread manager: starts general-purpose threads for the engine and the game and keeps two lists, the
// threads an owner still holds (active) and those their owner has let go (orphaned), which update() reaps
// once they have finished. The profile's load and save run on orphaned threads; the task workers and the
// render worker are not managed here.
//
// Lifecycle: initialize() in the game's start-up (the lock pool must exist), update() once per game frame,
// shutdown() in the game's shutdown, before the lock pool goes. Stop-requested is only a request: a thread
// whose routine never polls it makes destroyThread and shutdown wait until the routine returns; there is no
// time-out.
//
// Threads: every call may come from any thread; the manager's lock guards both lists (it is re-entrant, so
// shutdown may destroy threads while holding it). destroyThread takes its entry off the lists under the lock
// and only then waits, without the lock.
// Entry pointers into the lists stay valid only until a list changes: owners keep a copy of their entry
// (entries are compared by all three words) when they hold it across frames.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClThread.h"

struct ClThreadInfo {
  struct SCreationParams {
    ClThread* mp_pThread = nullptr;
    KvThreadCall mp_threadCall = nullptr;
    void* mp_pArgument = nullptr;
  };

  bool operator==(const ClThreadInfo& other) const {
    return mp_creationParams.mp_pThread == other.mp_creationParams.mp_pThread &&
           mp_creationParams.mp_threadCall == other.mp_creationParams.mp_threadCall &&
           mp_creationParams.mp_pArgument == other.mp_creationParams.mp_pArgument;
  }

  SCreationParams mp_creationParams;
};

class ClThreadMgr {
 public:
  // Creates the manager's lock (assertion "bResult" when the lock pool is exhausted) and both lists.
  static void initialize();
  // Starts creationParams' routine with its argument on a new thread (the thread word is ignored) and
  // answers its entry in the active list. Out of memory or a refused thread are assertions.
  static ClThreadInfo* createThread(const ClThreadInfo& creationParams);
  // The owner lets the thread go: the entry moves to the orphaned list and is reaped once finished.
  static void orphanThread(ClThreadInfo* pInfo);
  // Removes the entry from whichever list holds it, then requests a stop, waits for the thread (without the
  // lock) and releases it. pInfo may point into a list or be the owner's own copy; a copy has its thread word
  // cleared. An entry no list holds any more (an orphan already reaped) releases nothing. False for a null
  // entry, else true. Any thread.
  static bool destroyThread(ClThreadInfo* pInfo);
  // Reaps every orphaned thread that has finished. Once per game frame.
  static void update();
  // Destroys every orphaned, then every active thread (waiting for each), releases the lists and the lock.
  static void shutdown();

  static bool isInitialized() { return mp_daCurActiveThreads.isInitialized(); }

  static ClDynamicVector<ClThreadInfo> mp_daCurActiveThreads;
  static ClDynamicVector<ClThreadInfo> mp_daOrphanedThreads;
  static ClMutexLock m_lock;
};
