// A job of 1,000 small tasks through the job manager (task workers running, dispatch and wait on the calling
// thread, as the engine's frame does), against the same work on a plain pool of std::thread workers fed from
// a std::condition_variable queue. The job manager should not be the slower of the two.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClJobMgr.h"

namespace {

constexpr i32 gc_iTASKS = 1000;
constexpr i32 gc_iFLOATS_PER_TASK = 256;

// The work: one slice of an array per task, as the sprite jobs write disjoint vertex ranges.
struct SSlice {
  const f32* pIn;
  f32* pOut;
};

void runSlice(void* pTaskData) {
  SSlice* pSlice = static_cast<SSlice*>(pTaskData);
  for (i32 i = 0; i < gc_iFLOATS_PER_TASK; ++i) {
    pSlice->pOut[i] = std::sqrt(pSlice->pIn[i]) * 0.5f + 1.0f;
  }
}

struct SWork {
  std::vector<f32> in = std::vector<f32>(static_cast<size_t>(gc_iTASKS * gc_iFLOATS_PER_TASK), 2.0f);
  std::vector<f32> out = std::vector<f32>(static_cast<size_t>(gc_iTASKS * gc_iFLOATS_PER_TASK), 0.0f);
  std::vector<SSlice> slices;
  SWork() {
    for (i32 i = 0; i < gc_iTASKS; ++i) {
      slices.push_back({&in[static_cast<size_t>(i * gc_iFLOATS_PER_TASK)],
                        &out[static_cast<size_t>(i * gc_iFLOATS_PER_TASK)]});
    }
  }
};

// Whether every task wrote its slice.
bool allSlicesDone(const SWork& work) {
  const f32 fExpected = std::sqrt(2.0f) * 0.5f + 1.0f;
  return std::all_of(work.out.begin(), work.out.end(), [&](f32 f) { return std::fabs(f - fExpected) < 1e-5f; });
}

void dispatchSlices(void* pUserData, ClJob* hJob) {
  SWork* pWork = static_cast<SWork*>(pUserData);
  for (SSlice& slice : pWork->slices) {
    ClJobMgr::startTask(hJob, &slice);
  }
}

void slicesFinished(void*) {}

ClJobType g_benchRows[1] = {{&dispatchSlices, &runSlice, &slicesFinished}};

void BM_Engine_Job1000Tasks(benchmark::State& state) {
  ClMutexLock::initializePool();
  ClJobMgr::initialize();
  ClJobMgr::mp_pRegisteredJobTypes = g_benchRows;
  ClJobMgr::m_iNumRegisteredJobTypes = 1;
  SWork work;
  for (auto _ : state) {
    ClJob* hJob = nullptr;
    ClJobMgr::addJob(gc_iNUM_BUILT_IN_JOB_TYPES, &work, &hJob);
    ClJobMgr::waitForJob(hJob);
    KvAlignedFree(hJob);
    ClJobMgr::removeJob(hJob);
  }
  if (!allSlicesDone(work)) state.SkipWithError("a task did not run");
  state.counters["workers"] = ClTaskMgr::getNumLogicalProcessors();
  state.SetItemsProcessed(state.iterations() * gc_iTASKS);
  ClJobMgr::shutdown();
  ClMutexLock::shutdownPool();
}
BENCHMARK(BM_Engine_Job1000Tasks)->UseRealTime();

// The plain pool: workers take tasks from one queue under a mutex; the caller waits for the count to drop.
class ClPlainPool {
 public:
  explicit ClPlainPool(i32 iWorkers) {
    for (i32 i = 0; i < iWorkers; ++i) {
      m_workers.emplace_back([this] { run(); });
    }
  }
  ~ClPlainPool() {
    {
      std::lock_guard<std::mutex> hold(m_lock);
      m_bQuit = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers) {
      worker.join();
    }
  }

  void runAll(std::vector<SSlice>& slices) {
    {
      std::lock_guard<std::mutex> hold(m_lock);
      for (SSlice& slice : slices) {
        m_queue.push_back(&slice);
      }
      m_iPending = static_cast<i32>(slices.size());
    }
    m_wake.notify_all();
    std::unique_lock<std::mutex> hold(m_lock);
    m_done.wait(hold, [this] { return m_iPending == 0; });
  }

 private:
  void run() {
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
      m_wake.wait(hold, [this] { return m_bQuit || !m_queue.empty(); });
      if (m_bQuit) {
        return;
      }
      SSlice* pSlice = m_queue.front();
      m_queue.pop_front();
      hold.unlock();
      runSlice(pSlice);
      hold.lock();
      if (--m_iPending == 0) {
        m_done.notify_one();
      }
    }
  }

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::condition_variable m_done;
  std::deque<SSlice*> m_queue;
  i32 m_iPending = 0;
  bool m_bQuit = false;
  std::vector<std::thread> m_workers;
};

void BM_Baseline_Job1000Tasks(benchmark::State& state) {
  // As many workers as the task manager starts.
  ClTaskMgr::countLogicalProcessors();
  const i32 iWorkers = ClTaskMgr::getNumLogicalProcessors() > 0 ? ClTaskMgr::getNumLogicalProcessors() : 1;
  ClPlainPool pool(iWorkers);
  SWork work;
  for (auto _ : state) {
    pool.runAll(work.slices);
  }
  if (!allSlicesDone(work)) state.SkipWithError("a task did not run");
  state.counters["workers"] = iWorkers;
  state.SetItemsProcessed(state.iterations() * gc_iTASKS);
}
BENCHMARK(BM_Baseline_Job1000Tasks)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
