// A general-purpose engine thread: the record that the thread manager (ClThreadMgr) allocates for every
// thread it starts, and the routine type such a thread runs.
//
// The finished flag is written once, by the thread, after its routine has returned; the stop-requested flag
// is written by the owner and polled by the routine as it chooses (it is only a request: a routine that never
// polls it is waited for until it returns). Both are single words read across threads, hence atomic.
#pragma once

#include <atomic>

#include "Corvane/System/KvTypes.h"

class ClThread;

// A thread routine: runs on the new thread with the thread's record and the creator's argument. The result
// is ignored.
typedef u32 (*KvThreadCall)(ClThread* pThread, void* pArgument);

class alignas(16) ClThread {
 public:
  bool isFinished() const { return m_bFinished.load(std::memory_order_acquire) != 0; }
  bool isStopRequested() const { return m_bStopRequested.load(std::memory_order_acquire) != 0; }
  void requestStop() { m_bStopRequested.store(1, std::memory_order_release); }

  std::atomic<u32> m_bFinished{0};
  std::atomic<u32> m_bStopRequested{0};
  void* mp_pArgument = nullptr;
  KvThreadCall mp_threadCall = nullptr;
  // The platform's record of the running thread (handle, id); null once the thread has been terminated.
  void* mp_pPlatformSpecificData = nullptr;
};
