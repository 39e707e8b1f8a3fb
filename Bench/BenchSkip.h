// The benchmarks' switch for showing that a pair's checks can fail: GRINDLOW_BENCH_SKIP names steps, separated by
// commas, as "<case>.<side>.<step>" (e.g. "UIFrame.engine.tick"), and a benchmark leaves out each step named there
// in every frame it runs, set-up included. The check of what that side drew or computed must then stop it with an
// error (cmake/CheckBenchChecks.sh runs each such switch). The step "everysecond" leaves a side's work out of every
// second frame or iteration only (CBenchEverySecond), so that a check of the last frame alone would miss it.
// Four more steps stand for a side that cheats its checks rather than leaving a stage out (CBenchCheat):
// "partial" makes only part of each frame's or iteration's output (a scissored corner, all but the last item),
// "repeat" gives the previous iteration's result again in every third iteration instead of making it, "replay" gives
// the untimed record's result without doing the work, and "middle" changes one item of the output of one frame in
// the middle of the run. Read only by the benchmark programs.
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

// The steps "partial", "repeat", "replay" and "middle" of a side (see the top of this file), read once before its
// loop. A side asks the one that fits where it makes its output; the others answer false.
class CBenchCheat {
 public:
  // sSide: "<case>.<side>".
  explicit CBenchCheat(const std::string& sSide)
      : m_bPartial(benchSkips(sSide + ".partial")), m_bRepeat(benchSkips(sSide + ".repeat")),
        m_bReplay(benchSkips(sSide + ".replay")), m_bMiddle(benchSkips(sSide + ".middle")) {}
  // Whether each frame or iteration makes only part of its output.
  bool partial() const { return m_bPartial; }
  // Whether iteration iIndex (counted from 0) gives the previous one's result again: every third, from the third.
  bool repeats(int64_t iIndex) const { return m_bRepeat && iIndex % 3 == 2; }
  // Whether the side gives its untimed record's result instead of doing the work.
  bool replays() const { return m_bReplay; }
  // Whether iIndex is the one frame or iteration, of iCount, whose output gets one item changed: the middle one,
  // never the first or the last, so that a check of only those cannot catch it (a run of fewer than three changes
  // nothing).
  bool changes(int64_t iIndex, int64_t iCount) const { return m_bMiddle && iCount >= 3 && iIndex == iCount / 2; }
  bool any() const { return m_bPartial || m_bRepeat || m_bReplay || m_bMiddle; }

 private:
  bool m_bPartial;
  bool m_bRepeat;
  bool m_bReplay;
  bool m_bMiddle;
};
