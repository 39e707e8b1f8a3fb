// The benchmarks' switch for showing that a pair's checks can fail: GRINDLOW_BENCH_SKIP names steps, separated by
// commas, as "<case>.<side>.<step>" (e.g. "UIFrame.engine.tick"), and a benchmark leaves out each step named there
// in every frame it runs, set-up included. The check of what that side drew or computed must then stop it with an
// error (cmake/CheckBenchChecks.sh runs each such switch). The step "everysecond" leaves a side's frame's work out
// in every second frame only (CBenchEverySecond), so that a check of the first or the last frame alone would miss
// it. Read only by the benchmark programs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

// Whether the step "<case>.<side>.<step>" is to be left out.
inline bool benchSkips(const std::string& step) {
  const char* pList = std::getenv("GRINDLOW_BENCH_SKIP");
  if (pList == nullptr) return false;
  return ("," + std::string(pList) + ",").find("," + step + ",") != std::string::npos;
}

// Whether a frame leaves its work out under "<case>.<side>.everysecond": frames 1, 3, 5... of a run (counted from 0),
// the first done. A run of one frame leaves nothing out; cmake/CheckBenchChecks.sh gives these steps runs long
// enough for several.
class CBenchEverySecond {
 public:
  // sSide: "<case>.<side>".
  explicit CBenchEverySecond(const std::string& sSide) : m_bOn(benchSkips(sSide + ".everysecond")) {}
  bool leavesOut(int64_t iFrame) const { return m_bOn && iFrame % 2 == 1; }

 private:
  bool m_bOn;
};
