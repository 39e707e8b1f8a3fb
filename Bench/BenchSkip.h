// The benchmarks' switch for showing that a pair's checks can fail: GRINDLOW_BENCH_SKIP names steps, separated by
// commas, as "<case>.<side>.<step>" (e.g. "UIFrame.engine.tick"), and a benchmark leaves out each step named there
// in every frame it runs, set-up included (a step named "everysecond" in every second frame, CBenchEverySecond). The
// check of what that side drew or computed must then stop it with an error (cmake/CheckBenchChecks.sh runs each such
// switch). Read only by the benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

// Whether the step "<case>.<side>.<step>" is to be left out.
inline bool benchSkips(const std::string& step) {
  const char* pList = std::getenv("GRINDLOW_BENCH_SKIP");
  if (pList == nullptr) return false;
  return ("," + std::string(pList) + ",").find("," + step + ",") != std::string::npos;
}

// A step left out of every second iteration of a loop, counted back from the last iteration, which keeps it: only a
// check that sees every iteration's output notices (a check of the last iteration alone passes). A loop whose
// iterations are few and long counts its items instead (every second entry read, counted back from the run's last).
class CBenchEverySecond {
 public:
  CBenchEverySecond(const benchmark::State& state, const std::string& step)
      : CBenchEverySecond(state.max_iterations, step) {}
  CBenchEverySecond(benchmark::IterationCount iTimes, const std::string& step)
      : m_iLeft(iTimes), m_bSkips(benchSkips(step)) {}
  // Asked once in every iteration (or for every item): true when this one leaves the step out.
  bool leavesOut() { return --m_iLeft % 2 == 1 && m_bSkips; }

 private:
  benchmark::IterationCount m_iLeft;
  bool m_bSkips;
};
