// A job of 1,000 small tasks through the job manager (task workers running, dispatch and wait on the calling
// thread, which runs tasks too while it waits, as the engine's frame does), against the same work on a plain pool
// (BenchPlainPool.h): as many threads as the job manager has workers, the calling thread among them, the slices
// claimed in chunks. Wall time. Each task adds 2.0 to every float of its slice, so both sides check at the end
// that every slice was added to exactly once per job, every job's work counted (each side runs one job untimed
// first, alike, whose result is the record "replay" gives). GRINDLOW_BENCH_SKIP "Job1000Tasks.<side>.tasks" leaves
// the last task out of every job, ".everysecond" out of every second job, ".partial" has the last task of every job
// write elsewhere, ".repeat" runs no tasks in every third job (the last job's result stands again), ".replay" copies
// the untimed job's result in place of every job's, ".middle" has one task of the middle job write elsewhere.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "Bench/BenchPlainPool.h"
#include "Bench/BenchSkip.h"
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
    pSlice->pOut[i] += std::sqrt(pSlice->pIn[i]) * 0.5f + 1.0f;
  }
}

struct SWork {
  i32 iTasks = gc_iTASKS;  // the tasks a job runs: the first iTasks slices
  std::vector<f32> in = std::vector<f32>(static_cast<size_t>(gc_iTASKS * gc_iFLOATS_PER_TASK), 4.0f);
  std::vector<f32> out = std::vector<f32>(static_cast<size_t>(gc_iTASKS * gc_iFLOATS_PER_TASK), 0.0f);
  std::vector<f32> elsewhere = std::vector<f32>(static_cast<size_t>(gc_iFLOATS_PER_TASK), 0.0f);
  std::vector<SSlice> slices;
  SWork() {
    for (i32 i = 0; i < gc_iTASKS; ++i) {
      slices.push_back({&in[static_cast<size_t>(i * gc_iFLOATS_PER_TASK)],
                        &out[static_cast<size_t>(i * gc_iFLOATS_PER_TASK)]});
    }
  }
  // Whether task i writes its own slice, or (a step's cheat) a slice that no check reads.
  void writesOwn(i32 i, bool bOwn) {
    slices[static_cast<size_t>(i)].pOut = bOwn ? &out[static_cast<size_t>(i * gc_iFLOATS_PER_TASK)] : elsewhere.data();
  }
};

// One side's jobs as CBenchCheat's steps make them, around the side's own run of a job.
class CJobRound {
 public:
  CJobRound(benchmark::State& state, const std::string& sSide, SWork& work, const std::vector<f32>& replayed)
      : m_cheat(sSide), m_work(work), m_replayed(replayed), m_iCount(state.max_iterations) {
    if (m_cheat.partial()) m_work.writesOwn(gc_iTASKS - 1, false);
  }
  // Whether this iteration's job runs its tasks; else the step has given its result.
  bool begin() {
    if (m_cheat.changes(m_iIteration, m_iCount)) m_work.writesOwn(gc_iTASKS / 2, false);
    if (m_cheat.replays()) std::copy(m_replayed.begin(), m_replayed.end(), m_work.out.begin());
    return !m_cheat.replays() && !m_cheat.repeats(m_iIteration);
  }
  void end() {
    if (m_cheat.changes(m_iIteration, m_iCount)) m_work.writesOwn(gc_iTASKS / 2, true);
    ++m_iIteration;
  }

 private:
  CBenchCheat m_cheat;
  SWork& m_work;
  const std::vector<f32>& m_replayed;
  int64_t m_iIteration = 0;
  int64_t m_iCount;
};

// Whether every task added its 2.0 to its slice once per job: exact in floats for millions of jobs.
bool allSlicesDone(const SWork& work, benchmark::IterationCount iJobs) {
  const f32 fExpected = 2.0f * static_cast<f32>(iJobs);
  return std::all_of(work.out.begin(), work.out.end(), [&](f32 f) { return f == fExpected; });
}

void dispatchSlices(void* pUserData, ClJob* hJob) {
  SWork* pWork = static_cast<SWork*>(pUserData);
  for (i32 i = 0; i < pWork->iTasks; ++i) {
    ClJobMgr::startTask(hJob, &pWork->slices[static_cast<size_t>(i)]);
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
  const bool bTasks = !benchSkips("Job1000Tasks.engine.tasks");
  CBenchEverySecond everySecond(state, "Job1000Tasks.engine.everysecond");
  const auto runJob = [&work] {
    ClJob* hJob = nullptr;
    ClJobMgr::addJob(gc_iNUM_BUILT_IN_JOB_TYPES, &work, &hJob);
    ClJobMgr::waitForJob(hJob);
    KvAlignedFree(hJob);
    ClJobMgr::removeJob(hJob);
  };
  runJob();
  const std::vector<f32> firstJob = work.out;
  CJobRound round(state, "Job1000Tasks.engine", work, firstJob);
  for (auto _ : state) {
    work.iTasks = everySecond.leavesOut() || !bTasks ? gc_iTASKS - 1 : gc_iTASKS;
    if (round.begin()) runJob();
    round.end();
  }
  if (!allSlicesDone(work, state.iterations() + 1)) state.SkipWithError("a task did not run once per job");
  state.counters["workers"] = ClTaskMgr::getNumLogicalProcessors();
  state.SetItemsProcessed(state.iterations() * gc_iTASKS);
  ClJobMgr::shutdown();
  ClMutexLock::shutdownPool();
}
BENCHMARK(BM_Engine_Job1000Tasks)->UseRealTime();

// The plain pool of the same work: as many threads as the job manager has workers, the calling thread one of
// them, sharing the slices in chunks claimed from one atomic word (BenchPlainPool.h); eight chunks a thread.
void runSlices(void* pContext, i32 iFirst, i32 iCount) {
  SWork* pWork = static_cast<SWork*>(pContext);
  for (i32 i = iFirst; i < iFirst + iCount; ++i) {
    runSlice(&pWork->slices[static_cast<size_t>(i)]);
  }
}

void BM_Baseline_Job1000Tasks(benchmark::State& state) {
  ClTaskMgr::countLogicalProcessors();
  const i32 iThreads = std::max(ClTaskMgr::getNumLogicalProcessors(), 1);
  CPlainPool pool(iThreads);
  SWork work;
  const bool bTasks = !benchSkips("Job1000Tasks.baseline.tasks");
  CBenchEverySecond everySecond(state, "Job1000Tasks.baseline.everysecond");
  const i32 iChunk = std::max(gc_iTASKS / (8 * iThreads), 1);
  pool.run(work.iTasks, iChunk, &runSlices, &work);
  const std::vector<f32> firstJob = work.out;
  CJobRound round(state, "Job1000Tasks.baseline", work, firstJob);
  for (auto _ : state) {
    work.iTasks = everySecond.leavesOut() || !bTasks ? gc_iTASKS - 1 : gc_iTASKS;
    if (round.begin()) pool.run(work.iTasks, iChunk, &runSlices, &work);
    round.end();
  }
  if (!allSlicesDone(work, state.iterations() + 1)) state.SkipWithError("a task did not run once per job");
  state.counters["workers"] = iThreads;
  state.SetItemsProcessed(state.iterations() * gc_iTASKS);
}
BENCHMARK(BM_Baseline_Job1000Tasks)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
