// The benchmarks' switch for showing that a pair's checks can fail: GRINDLOW_BENCH_SKIP names steps, separated by
// commas, as "<case>.<side>.<step>" (e.g. "UIFrame.engine.tick"), and a benchmark leaves out each step named there
// in every frame it runs, set-up included. The check of what that side drew or computed must then stop it with an
// error (cmake/CheckBenchChecks.sh runs each such switch). The step "everysecond" leaves a side's work out of every
// second frame or iteration only (CBenchEverySecond), so that a check of the last frame alone would miss it. Read
// only by the benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>

// Whether the step "<case>.<side>.<step>" is to be left out.
inline bool benchSkips(const std::string& step) {
  const char* pList = std::getenv("GRINDLOW_BENCH_SKIP");
  if (pList == nullptr) return false;
  return ("," + std::string(pList) + ",").find("," + step + ",") != std::string::npos;
}

// The step "everysecond" of a side: left out of every second frame or iteration. Counted back from a run's last
// iteration (or item, for a loop whose iterations are few and long), which keeps it, when the run's length is given;
// else frames 1, 3, 5... of a run (counted from 0).
class CBenchEverySecond {
 public:
  // sSide: "<case>.<side>"; asked by frame index.
  explicit CBenchEverySecond(const std::string& sSide) : m_iLeft(0), m_bSkips(benchSkips(sSide + ".everysecond")) {}
  // step: "<case>.<side>.everysecond"; asked once in every iteration (or for every item), in order.
  CBenchEverySecond(const benchmark::State& state, const std::string& step)
      : CBenchEverySecond(state.max_iterations, step) {}
  CBenchEverySecond(benchmark::IterationCount iTimes, const std::string& step)
      : m_iLeft(iTimes), m_bSkips(benchSkips(step)) {}
  bool leavesOut(int64_t iFrame) const { return m_bSkips && iFrame % 2 == 1; }
  bool leavesOut() { return --m_iLeft % 2 == 1 && m_bSkips; }

 private:
  benchmark::IterationCount m_iLeft;
  bool m_bSkips;
};
