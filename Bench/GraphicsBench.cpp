// Frames through the render worker against the same frames drawn on one thread with the same device, the cost of
// the hand-over itself, and the CPU an idle vsync'd loop uses. Headless (SDL offscreen, Mesa llvmpipe), 320 x 240.
// ClearPresentFrame clears every frame to a colour of its own (seven in turn), and every Present reads the middle
// pixel back (the device's probes): after the run each frame must have shown its colour. HandOver checks that every
// turn was taken. GRINDLOW_BENCH_SKIP "ClearPresentFrame.engine.handover" and "HandOver.engine.handover" leave out
// the hand-over, "ClearPresentFrame.baseline.render" the frame drawn, "HandOver.baseline.wait" the wait for the
// worker's turn; "<case>.<side>.everysecond" the frame's clear in every second one (only its Present is left) or
// the hand-over (the wait) in every second turn; and fail that.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Tests/Support/GraphicsTestSupport.h"

namespace {

void startGraphics(CTestGraphicsHooks* pHooks, bool bVsync) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  KvTestStartGraphics(pHooks, "", bVsync);
}

// The colour frame iFrame clears to.
u32 frameColor(i64 iFrame) {
  const u32 k = static_cast<u32>(iFrame % 7);
  return 0xFF000000u | (0x10u + 0x20u * k) << 16 | (0xE0u - 0x20u * k) << 8 | (0x30u + 0x18u * (3u * k % 7u));
}
const std::vector<POINT> gc_aMIDDLE = {{160, 120}};

// The test hooks' frame in its frame's colour; a frame that sSide's step "everysecond" leaves out only presents.
class CColourFrameHooks : public CTestGraphicsHooks {
 public:
  explicit CColourFrameHooks(const std::string& sSide) : m_everySecond(sSide) {}
  void renderFrame() override {
    const i32 iFrame = m_iRendered.load();
    if (!m_bDraw || !m_everySecond.leavesOut(iFrame)) {
      m_uiColor = frameColor(iFrame);
      CTestGraphicsHooks::renderFrame();
      return;
    }
    ClGraphics::setLastPresentResult(ClGraphics::mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr));
    m_iRendered.fetch_add(1);
  }

 private:
  CBenchEverySecond m_everySecond;
};

// After the graphics stopped: every frame was rendered (the hand-over waits for the worker's frame), the last
// present succeeded and, when the frames drew, each showed its colour in the middle pixel.
void checkFrames(benchmark::State& state, const CTestGraphicsHooks& hooks, const std::vector<DWORD>& probed) {
  CBenchFrameRecord<u32> record(state, gc_aMIDDLE.size());
  for (DWORD uiPixel : probed) record.add(uiPixel);
  const std::string colours = !hooks.m_bDraw ? std::string() : record.check(state.iterations(), [](i64 i, const u32* p) {
    return benchNearColor(*p, frameColor(i), 1) ? std::string() : "the middle pixel is not the frame's colour";
  });
  if (hooks.m_iRendered.load() != state.iterations()) {
    state.SkipWithError(("frames rendered: " + std::to_string(hooks.m_iRendered.load()) + " of " +
                         std::to_string(state.iterations())).c_str());
  } else if (hooks.m_bDraw && ClGraphics::mp_hrLastPresent.load() != D3D_OK) {
    state.SkipWithError("the last present failed");
  } else if (!colours.empty()) {
    state.SkipWithError(colours.c_str());
  }
}

// Runs the frames (frame(iFrame) one of them) with the middle pixel probed at every Present, then stops the
// graphics and checks them (checkFrames).
template <typename FFrame>
void runFrames(benchmark::State& state, const CTestGraphicsHooks& hooks, FFrame frame) {
  D3D9TestProbeAtPresent(ClGraphics::mp_pDevice, gc_aMIDDLE);
  i64 iFrame = 0;
  for (auto _ : state) frame(iFrame++);
  const std::vector<DWORD> probed = D3D9TestTakeProbes(ClGraphics::mp_pDevice);
  KvTestStopGraphics();
  checkFrames(state, hooks, probed);
}

// Clear + present, drawn by the worker after the hand-over.
void BM_Engine_ClearPresentFrame(benchmark::State& state) {
  CColourFrameHooks hooks("ClearPresentFrame.engine");
  startGraphics(&hooks, false);
  const bool bHandOver = !benchSkips("ClearPresentFrame.engine.handover");
  runFrames(state, hooks, [bHandOver](i64) {
    if (bHandOver) ClGraphics::endFrame();
  });
}
BENCHMARK(BM_Engine_ClearPresentFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same frame drawn on the calling thread with the same device.
void BM_Baseline_ClearPresentFrame(benchmark::State& state) {
  CColourFrameHooks hooks("ClearPresentFrame.baseline");
  startGraphics(&hooks, false);
  const bool bRender = !benchSkips("ClearPresentFrame.baseline.render");
  runFrames(state, hooks, [&hooks, bRender](i64) {
    if (bRender) hooks.renderFrame();
  });
}
BENCHMARK(BM_Baseline_ClearPresentFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The hand-over alone: the worker's frame draws nothing.
void BM_Engine_HandOver(benchmark::State& state) {
  CTestGraphicsHooks hooks;
  hooks.m_bDraw = false;
  startGraphics(&hooks, false);
  const bool bHandOver = !benchSkips("HandOver.engine.handover");
  const CBenchEverySecond everySecond("HandOver.engine");
  runFrames(state, hooks, [bHandOver, &everySecond](i64 iFrame) {
    if (bHandOver && !everySecond.leavesOut(iFrame)) ClGraphics::endFrame();
  });
}
BENCHMARK(BM_Engine_HandOver)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A plain two-thread ping-pong over a mutex and condition variables: the floor of any lockstep hand-over. Each turn
// checks, under the lock it holds anyway, that the worker has taken every turn so far.
void BM_Baseline_HandOver(benchmark::State& state) {
  const bool bWait = !benchSkips("HandOver.baseline.wait");
  const CBenchEverySecond everySecond("HandOver.baseline");
  int64_t iTurns = 0;
  bool bEveryTurn = true;
  std::mutex mutex;
  std::condition_variable wake;
  int iTurn = 0;  // 1: the worker's, 0: the caller's
  bool bQuit = false;
  int64_t iServed = 0;  // turns the worker took
  std::thread worker([&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      wake.wait(lock, [&] { return iTurn == 1 || bQuit; });
      if (bQuit) return;
      ++iServed;
      iTurn = 0;
      wake.notify_all();
    }
  });
  for (auto _ : state) {
    std::unique_lock<std::mutex> lock(mutex);
    iTurn = 1;
    wake.notify_all();
    if (bWait && !everySecond.leavesOut(iTurns)) wake.wait(lock, [&] { return iTurn == 0; });
    bEveryTurn = bEveryTurn && iServed == ++iTurns;
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    bQuit = true;
  }
  wake.notify_all();
  worker.join();
  if (!bEveryTurn || iServed != state.iterations()) state.SkipWithError("the worker did not take every turn");
}
BENCHMARK(BM_Baseline_HandOver)->UseRealTime()->Unit(benchmark::kMicrosecond);

// An idle loop with vsync asked for: frames are paced to the refresh rate; the counter is the process's CPU
// seconds per second of wall time (1.0 = one core busy).
void BM_Engine_IdleVsyncFrame(benchmark::State& state) {
  CColourFrameHooks hooks("IdleVsyncFrame.engine");
  startGraphics(&hooks, true);
  const std::clock_t cpuStart = std::clock();
  const auto wallStart = std::chrono::steady_clock::now();
  runFrames(state, hooks, [&state, cpuStart, wallStart](i64 iFrame) {
    ClGraphics::endFrame();
    if (iFrame + 1 < state.max_iterations) return;
    const double fWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double fCpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    state.counters["cpu_per_s"] = fCpu / fWall;
    state.counters["fps"] = static_cast<double>(state.max_iterations) / fWall;
  });
}
BENCHMARK(BM_Engine_IdleVsyncFrame)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(120);

}  // namespace

BENCHMARK_MAIN();
