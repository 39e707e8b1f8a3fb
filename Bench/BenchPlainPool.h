// The plain pool of the job benchmarks' baselines: a run of items split into chunks that the calling thread and
// (threads - 1) workers claim from one atomic word, as a plain program would share a loop between cores. Workers
// sleep on an atomic word between runs (a futex: nothing while idle) and are woken once per run; the calling thread
// works too and, when no chunk is left, waits (a short spin, then the futex) for the last chunk to end.
//
// The claim word holds the run's number, its item count and the next item, so a worker that wakes late for a run
// that has ended claims nothing from the next one; what a chunk reads (routine, context, chunk size) is written
// before the run is published and stays put until every claimed chunk has ended.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "Corvane/System/KvTypes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BENCH_SPIN_PAUSE() _mm_pause()
#else
#define BENCH_SPIN_PAUSE() ((void)0)
#endif

class CPlainPool {
 public:
  // Runs fn(iFirst, iCount) on one chunk of the run.
  typedef void (*KvChunkRoutine)(void* pContext, i32 iFirst, i32 iCount);

  explicit CPlainPool(i32 iThreads) {
    for (i32 i = 1; i < iThreads; ++i) {
      m_workers.emplace_back([this] { workerLoop(); });
    }
  }
  ~CPlainPool() {
    m_bQuit.store(true, std::memory_order_release);
    m_uiWake.fetch_add(1, std::memory_order_release);
    m_uiWake.notify_all();
    for (std::thread& worker : m_workers) {
      worker.join();
    }
  }
  i32 getNumThreads() const { return static_cast<i32>(m_workers.size()) + 1; }

  // Runs every item of [0, iItems) in chunks of iChunk on the workers and this thread; returns when all have run.
  void run(i32 iItems, i32 iChunk, KvChunkRoutine routine, void* pContext) {
    if (iItems <= 0) {
      return;
    }
    m_routine = routine;
    m_pContext = pContext;
    m_iChunk = std::max(iChunk, 1);
    m_iDone.store(0, std::memory_order_relaxed);
    m_uiRun = (m_uiRun + 1) & 0xFFFFu;
    m_uiClaim.store(pack(m_uiRun, static_cast<u32>(iItems), 0), std::memory_order_release);
    if (!m_workers.empty()) {
      m_uiWake.fetch_add(1, std::memory_order_release);
      m_uiWake.notify_all();
    }
    work();
    for (i32 iSpin = 0; iSpin < 2000; ++iSpin) {
      if (m_iDone.load(std::memory_order_acquire) == iItems) {
        return;
      }
      BENCH_SPIN_PAUSE();
    }
    for (i32 iDone = m_iDone.load(std::memory_order_acquire); iDone != iItems;
         iDone = m_iDone.load(std::memory_order_acquire)) {
      m_iDone.wait(iDone, std::memory_order_acquire);
    }
  }

 private:
  static u64 pack(u32 uiRun, u32 uiItems, u32 uiNext) {
    return (static_cast<u64>(uiRun) << 48) | (static_cast<u64>(uiItems) << 24) | uiNext;
  }

  // Claims and runs chunks of the published run until none is left.
  void work() {
    u64 uiClaim = m_uiClaim.load(std::memory_order_acquire);
    for (;;) {
      const u32 uiItems = static_cast<u32>(uiClaim >> 24) & 0xFFFFFFu;
      const u32 uiNext = static_cast<u32>(uiClaim) & 0xFFFFFFu;
      if (uiNext >= uiItems) {
        return;
      }
      // Read only once the claim holds: the chunk size is the run's while any of its chunks is outstanding.
      if (!m_uiClaim.compare_exchange_weak(uiClaim, uiClaim + 1, std::memory_order_acq_rel,
                                           std::memory_order_acquire)) {
        continue;
      }
      // One item claimed; widen the claim to a whole chunk when nobody has claimed meanwhile.
      u32 uiCount = 1;
      const u32 uiWanted = std::min(static_cast<u32>(m_iChunk), uiItems - uiNext);
      u64 uiNow = uiClaim + 1;
      if (uiWanted > 1 && m_uiClaim.compare_exchange_strong(uiNow, uiNow + (uiWanted - 1), std::memory_order_acq_rel,
                                                             std::memory_order_acquire)) {
        uiCount = uiWanted;
      }
      m_routine(m_pContext, static_cast<i32>(uiNext), static_cast<i32>(uiCount));
      const i32 iDone = m_iDone.fetch_add(static_cast<i32>(uiCount), std::memory_order_acq_rel) +
                        static_cast<i32>(uiCount);
      if (static_cast<u32>(iDone) == uiItems) {
        m_iDone.notify_one();
        return;
      }
      uiClaim = m_uiClaim.load(std::memory_order_acquire);
    }
  }

  void workerLoop() {
    u32 uiSeen = 0;
    for (;;) {
      m_uiWake.wait(uiSeen, std::memory_order_acquire);
      uiSeen = m_uiWake.load(std::memory_order_acquire);
      if (m_bQuit.load(std::memory_order_acquire)) {
        return;
      }
      work();
    }
  }

  std::atomic<u64> m_uiClaim{0};
  std::atomic<i32> m_iDone{0};
  std::atomic<u32> m_uiWake{0};
  std::atomic<bool> m_bQuit{false};
  KvChunkRoutine m_routine = nullptr;
  void* m_pContext = nullptr;
  i32 m_iChunk = 1;
  u32 m_uiRun = 0;
  std::vector<std::thread> m_workers;
};
