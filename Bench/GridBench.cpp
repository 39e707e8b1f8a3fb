// Grid focus navigation, engine against the plainest code that makes the same choice:
// - GridMove: 32 moves to the right across a 32 x 32 grid of widgets (a quarter of them hidden, a few marked
//   "gridDisabled"), one from the first cell of each row, through the grid widget's handler as a focused cell's
//   forwarded event runs it (the focus entry, the forwarding stack, the table, the widgets' visibility and
//   properties, the focus change), against a scan of the same cells in the same order with the same score over a
//   flat array of usable flags. Both check every move's target against the one worked out at start.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

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

// The loaded grid, the usable flags and the expected target of each row's move (-1: none).
struct SGridBench {
  bool bReady = false;
  std::string problem;
  ClWidget* pGrid = nullptr;
  std::vector<ClWidget*> widgets;  // at x * 32 + y
  std::vector<unsigned char> usable;
  std::vector<int> expected;
};

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
      b.usable.push_back(bVisible && pCell->getInt("gridDisabled") == 0 ? 1 : 0);
    }
    for (int iY = 0; iY < gc_iSIDE; ++iY) {
      b.expected.push_back(plainScanRight(b.usable, 0, iY));
    }
    b.bReady = true;
    return b;
  }();
  return s;
}

void BM_Engine_GridMove(benchmark::State& state) {
  SGridBench& b = bench();
  if (!b.bReady) {
    state.SkipWithError(b.problem.c_str());
    return;
  }
  bool bRight = true;
  for (auto _ : state) {
    for (int iY = 0; iY < gc_iSIDE; ++iY) {
      ClWidget* pSource = b.widgets[iY];
      ClUI::setFocus(pSource, gc_uiANY_PAD);
      ClUI::mp_daEventForwardingStack.append(pSource);
      systemGridHandleRight(b.pGrid, nullptr);
      ClUI::mp_daEventForwardingStack.erase(0);
      ClWidget* pFocused = ClUI::getFocusedWidget(gc_uiANY_PAD);
      bRight &= b.expected[iY] < 0 ? pFocused == pSource : pFocused == b.widgets[b.expected[iY]];
    }
    benchmark::DoNotOptimize(bRight);
  }
  if (!bRight) {
    state.SkipWithError("a move focused another cell than the expected one");
  }
  state.SetItemsProcessed(state.iterations() * gc_iSIDE);
}
BENCHMARK(BM_Engine_GridMove)->Unit(benchmark::kMicrosecond);

void BM_Baseline_GridMove(benchmark::State& state) {
  SGridBench& b = bench();
  if (!b.bReady) {
    state.SkipWithError(b.problem.c_str());
    return;
  }
  bool bRight = true;
  for (auto _ : state) {
    for (int iY = 0; iY < gc_iSIDE; ++iY) {
      int iTarget = plainScanRight(b.usable, 0, iY);
      benchmark::DoNotOptimize(iTarget);
      bRight &= iTarget == b.expected[iY];
    }
    benchmark::DoNotOptimize(bRight);
  }
  if (!bRight) {
    state.SkipWithError("a scan chose another cell than the expected one");
  }
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
