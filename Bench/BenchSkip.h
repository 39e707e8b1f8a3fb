// The benchmarks' switch for showing that a pair's checks can fail: GRINDLOW_BENCH_SKIP names steps, separated by
// commas, as "<case>.<side>.<step>" (e.g. "UIFrame.engine.tick"), and a benchmark leaves out each step named there
// in every frame it runs, set-up included. The check of what that side drew or computed must then stop it with an
// error (cmake/CheckBenchChecks.sh runs each such switch). Read only by the benchmark programs.
#pragma once

#include <cstdlib>
#include <string>

// Whether the step "<case>.<side>.<step>" is to be left out.
inline bool benchSkips(const std::string& step) {
  const char* pList = std::getenv("GRINDLOW_BENCH_SKIP");
  if (pList == nullptr) return false;
  return ("," + std::string(pList) + ",").find("," + step + ",") != std::string::npos;
}
