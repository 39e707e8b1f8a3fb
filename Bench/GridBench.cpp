// Grid focus navigation, engine against the plainest code that makes the same choice:
// - GridMove: 32 moves to the right across a 32 x 32 grid of widgets (a quarter of them hidden, a few marked
//   "gridDisabled"), one from each row of a column that moves on by one every iteration (so that no iteration's
//   moves are the last one's), through the grid widget's handler as a focused cell's forwarded event runs it (the
//   focus entry, the forwarding stack, the table, the widgets' visibility and properties, the focus change), against
//   a scan of the same cells in the same order with the same score over a flat array of usable flags (visible and
//   not "gridDisabled"). Both fold every move's target into a running hash and keep the last iteration's targets:
//   all must be the ones worked out at start by comparing the moves' slopes exactly. GRINDLOW_BENCH_SKIP
//   "GridMove.engine.focus" leaves out focusing the move's cell, ".engine.forward" its forwarding entry;
//   "GridMove.baseline.hidden" and ".baseline.disabled" leave the cells' visibility or "gridDisabled" out of the
//   usable flags; "GridMove.<side>.everysecond" leaves out every second iteration's moves; ".<side>.partial" the
//   last row's move, ".<side>.repeat" every third iteration's moves (the last iteration's targets given again),
//   ".<side>.replay" all moves (the targets of the first column, worked out before the loop, given instead) and
//   ".<side>.middle" changes one target of the middle iteration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Corvane/UI/ClUI.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

constexpr int gc_iSIDE = gc_iWIDGET_GRID_SIZE;

class CGridBenchHooks : public ClTestUIHooks {
 public:
  void registerGameUIFunctions() override { registerGridUIFunctions(); }
};

// The loaded grid, its cells' visibility and "gridDisabled", and the expected target of each row's move (-1: none).
struct SGridBench {
  bool bReady = false;
  std::string problem;
  ClWidget* pGrid = nullptr;
  std::vector<ClWidget*> widgets;  // at x * 32 + y
  std::vector<unsigned char> visible;
  std::vector<unsigned char> disabled;
  std::vector<int> expected;  // at x * 32 + y: the target of the move from cell (x, y)
};

// The usable flags of the cells: visible and not disabled (either left out when asked).
std::vector<unsigned char> usableFlags(const SGridBench& b, bool bVisible, bool bEnabled) {
  std::vector<unsigned char> usable;
  for (size_t i = 0; i < b.visible.size(); ++i) {
    usable.push_back((!bVisible || b.visible[i]) && (!bEnabled || !b.disabled[i]) ? 1 : 0);
  }
  return usable;
}

// The move's target worked out apart from the scan: the usable cell right of the start whose direction is nearest
// the x axis (the smallest |dy| / dx, compared exactly), the nearer column and then the smaller row first.
int exactTargetRight(const std::vector<unsigned char>& usable, int iStartX, int iStartY) {
  int iBest = -1;
  int iBestDX = 0;
  int iBestDY = 0;
  for (int iX = iStartX + 1; iX < gc_iSIDE; ++iX) {
    for (int iY = 0; iY < gc_iSIDE; ++iY) {
      const int iDX = iX - iStartX;
      const int iDY = std::abs(iY - iStartY);
      if (usable[iX * gc_iSIDE + iY] && (iBest < 0 || iDY * iBestDX < iBestDY * iDX)) {
        iBest = iX * gc_iSIDE + iY;
        iBestDX = iDX;
        iBestDY = iDY;
      }
    }
  }
  return iBest;
}

// The baseline: the best usable cell right of (iStartX, iStartY) by the x part of its unit vector, nearer columns
// first, smaller rows first, the first of equal scores kept.
int plainScanRight(const std::vector<unsigned char>& usable, int iStartX, int iStartY) {
  float fBest = -999.0f;
  int iBest = -1;
  for (int iX = iStartX + 1; iX < gc_iSIDE; ++iX) {
    const float fDX = static_cast<float>(iX - iStartX);
    for (int iY = 0; iY < gc_iSIDE; ++iY) {
      if (!usable[iX * gc_iSIDE + iY]) {
        continue;
      }
      const float fDY = static_cast<float>(iY - iStartY);
      const float fScore = fDX / std::sqrt(fDX * fDX + fDY * fDY);
      if (fScore > fBest) {
        fBest = fScore;
        iBest = iX * gc_iSIDE + iY;
      }
    }
  }
  return iBest;
}

SGridBench& bench() {
  static SGridBench s = [] {
    SGridBench b;
    static CGridBenchHooks s_hooks;
    KvTestSetUIHooks(&s_hooks);
    ClUI::initialise();
    std::string cells;
    for (int iX = 0; iX < gc_iSIDE; ++iX) {
      for (int iY = 0; iY < gc_iSIDE; ++iY) {
        cells += std::string(cells.empty() ? "" : ",") + R"({"name": "Cell_)" + std::to_string(iX) + "_" +
                 std::to_string(iY) + R"(", "properties": {"gridPos": {"gridxy": [)" + std::to_string(iX) + ", " +
                 std::to_string(iY) + "]}" + ((iX * 7 + iY * 3) % 41 == 0 ? R"(, "gridDisabled": true)" : "") + "}}";
      }
    }
    SKuiScreenSet set;
    if (!KuiParseDescription(R"({"root": {"name": "Grid", "properties": {"onLoad": {"event": {"calls": [
        {"call": "systemGridRegisterChildren"}]}}}, "children": [)" + cells + "]}}",
                             "grid.json", &set, &b.problem)) {
      return b;
    }
    const std::vector<uint8_t> image = KuiWriteImage(set);
    if (!ClUI::loadUIDataFromImage("Grid", image.data(), static_cast<u32>(image.size()))) {
      b.problem = "the grid did not load";
      return b;
    }
    b.pGrid = ClUI::getWidget("Grid");
    b.pGrid->setVisible(1);
    std::mt19937 random(2026);
    for (int i = 0; i < gc_iSIDE * gc_iSIDE; ++i) {
      ClWidget* pCell = b.pGrid->mp_pWidgetGrid->mp_apCells[i];
      const bool bVisible = random() % 4 != 0;
      pCell->setVisible(bVisible ? 1 : 0);
      b.widgets.push_back(pCell);
      b.visible.push_back(bVisible ? 1 : 0);
      b.disabled.push_back(pCell->getInt("gridDisabled") != 0 ? 1 : 0);
    }
    const std::vector<unsigned char> usable = usableFlags(b, true, true);
    for (int iX = 0; iX < gc_iSIDE; ++iX) {
      for (int iY = 0; iY < gc_iSIDE; ++iY) b.expected.push_back(exactTargetRight(usable, iX, iY));
    }
    b.bReady = true;
    return b;
  }();
  return s;
}

// The column iteration i moves from: every column but the last in turn, each an iteration's.
int moveColumn(benchmark::IterationCount i) { return static_cast<int>(i % (gc_iSIDE - 1)); }

// The expected target of the move from row iY of column iX (-1: none).
int expectedTarget(const SGridBench& b, int iX, int iY) { return b.expected[static_cast<size_t>(iX * gc_iSIDE + iY)]; }

// The running hash of iIterations rounds of moves that all reached their expected targets, each move folded as
// word(cell, target) gives it.
template <typename FWord>
CBenchHash expectedMoves(const SGridBench& b, benchmark::IterationCount iIterations, FWord word) {
  CBenchHash record;
  for (benchmark::IterationCount i = 0; i < iIterations; ++i) {
    const int iX = moveColumn(i);
    for (int iY = 0; iY < gc_iSIDE; ++iY) record.add(word(iX * gc_iSIDE + iY, expectedTarget(b, iX, iY)));
  }
  return record;
}

// Empty when every row's move of the last iteration (from column iX) reached its expected target and the running
// hash of every iteration's moves is the record's; else the first move that did not.
std::string checkTargets(const SGridBench& b, int iX, const std::vector<int>& targets, const CBenchHash& hash,
                         const CBenchHash& record) {
  for (int iY = 0; iY < gc_iSIDE; ++iY) {
    if (targets[static_cast<size_t>(iY)] != expectedTarget(b, iX, iY)) {
      return "the move from cell (" + std::to_string(iX) + ", " + std::to_string(iY) + ") reached cell " +
             std::to_string(targets[static_cast<size_t>(iY)]) + ", not " + std::to_string(expectedTarget(b, iX, iY));
    }
  }
  return hash == record ? std::string() : "an earlier iteration's moves reached other cells";
}

void BM_Engine_GridMove(benchmark::State& state) {
  SGridBench& b = bench();
  if (!b.bReady) {
    state.SkipWithError(b.problem.c_str());
    return;
  }
  const bool bFocus = !benchSkips("GridMove.engine.focus");
  const bool bForward = !benchSkips("GridMove.engine.forward");
  CBenchEverySecond everySecond(state, "GridMove.engine.everysecond");
  const CBenchCheat cheat("GridMove.engine");
  // The running hash takes the focused widget's address: a move without a target leaves the focus on its own cell.
  const auto focusOf = [&b](int iCell, int iTarget) { return b.widgets[static_cast<size_t>(iTarget >= 0 ? iTarget : iCell)]; };
  const auto address = [&focusOf](int iCell, int iTarget) {
    return static_cast<u64>(reinterpret_cast<uintptr_t>(focusOf(iCell, iTarget)));
  };
  std::vector<ClWidget*> replayed;
  for (int iY = 0; iY < gc_iSIDE; ++iY) replayed.push_back(focusOf(iY, expectedTarget(b, 0, iY)));
  std::vector<ClWidget*> focused(gc_iSIDE, nullptr);
  CBenchHash hash;
  benchmark::IterationCount iIteration = 0;
  int iX = 0;
  for (auto _ : state) {
    iX = moveColumn(iIteration);
    const bool bMove = !everySecond.leavesOut();
    const bool bWork = !cheat.repeats(iIteration) && !cheat.replays();
    for (int iY = 0; iY < gc_iSIDE; ++iY) {
      const size_t uiRow = static_cast<size_t>(iY);
      if (bWork) {
        ClWidget* pSource = b.widgets[static_cast<size_t>(iX * gc_iSIDE + iY)];
        if (bFocus) ClUI::setFocus(pSource, gc_uiANY_PAD);
        if (bForward) ClUI::mp_daEventForwardingStack.append(pSource);
        if (bMove && !(cheat.partial() && iY == gc_iSIDE - 1)) systemGridHandleRight(b.pGrid, nullptr);
        if (bForward) ClUI::mp_daEventForwardingStack.erase(0);
        focused[uiRow] = ClUI::getFocusedWidget(gc_uiANY_PAD);
      } else if (cheat.replays()) {
        focused[uiRow] = replayed[uiRow];
      }
      if (iY == 0 && cheat.changes(iIteration, state.max_iterations)) focused[uiRow] = b.pGrid;
      hash.add(static_cast<u64>(reinterpret_cast<uintptr_t>(focused[uiRow])));
    }
    ++iIteration;
  }
  std::vector<int> targets;
  for (int iY = 0; iY < gc_iSIDE; ++iY) {
    const auto cell = std::find(b.widgets.begin(), b.widgets.end(), focused[static_cast<size_t>(iY)]);
    const int iCell = cell != b.widgets.end() ? static_cast<int>(cell - b.widgets.begin()) : -2;
    targets.push_back(iCell == iX * gc_iSIDE + iY ? -1 : iCell);
  }
  const std::string problem = checkTargets(b, iX, targets, hash, expectedMoves(b, state.iterations(), address));
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iSIDE);
}
BENCHMARK(BM_Engine_GridMove)->Unit(benchmark::kMicrosecond);

void BM_Baseline_GridMove(benchmark::State& state) {
  SGridBench& b = bench();
  if (!b.bReady) {
    state.SkipWithError(b.problem.c_str());
    return;
  }
  const std::vector<unsigned char> usable =
      usableFlags(b, !benchSkips("GridMove.baseline.hidden"), !benchSkips("GridMove.baseline.disabled"));
  CBenchEverySecond everySecond(state, "GridMove.baseline.everysecond");
  const CBenchCheat cheat("GridMove.baseline");
  const auto cell = [](int, int iTarget) { return static_cast<u64>(static_cast<u32>(iTarget)); };
  std::vector<int> replayed;
  for (int iY = 0; iY < gc_iSIDE; ++iY) replayed.push_back(expectedTarget(b, 0, iY));
  std::vector<int> targets(gc_iSIDE, -2);
  CBenchHash hash;
  benchmark::IterationCount iIteration = 0;
  int iX = 0;
  for (auto _ : state) {
    iX = moveColumn(iIteration);
    const bool bScan = !everySecond.leavesOut();
    const bool bWork = !cheat.repeats(iIteration) && !cheat.replays();
    for (int iY = 0; iY < gc_iSIDE; ++iY) {
      const size_t uiRow = static_cast<size_t>(iY);
      if (bWork) {
        targets[uiRow] = bScan && !(cheat.partial() && iY == gc_iSIDE - 1) ? plainScanRight(usable, iX, iY) : -2;
      } else if (cheat.replays()) {
        targets[uiRow] = replayed[uiRow];
      }
      if (iY == 0 && cheat.changes(iIteration, state.max_iterations)) targets[uiRow] = -3;
      hash.add(cell(iY, targets[uiRow]));
    }
    ++iIteration;
  }
  const std::string problem = checkTargets(b, iX, targets, hash, expectedMoves(b, state.iterations(), cell));
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iSIDE);
}
BENCHMARK(BM_Baseline_GridMove)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The grid's UI ends before the program does, so nothing it holds is left to the exit checks.
  ClUI::terminate();
  KvTestSetUIHooks(nullptr);
  return 0;
}
