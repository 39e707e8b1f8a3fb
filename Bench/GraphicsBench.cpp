// Frames through the render worker against the same frames drawn on one thread with the same device, the cost of
// the hand-over itself, and the CPU an idle vsync'd loop uses. Headless (SDL offscreen, Mesa llvmpipe), 320 x 240.
// Each pair checks that every frame (turn) was taken: GRINDLOW_BENCH_SKIP "ClearPresentFrame.engine.handover" and
// "HandOver.engine.handover" leave out the hand-over, "ClearPresentFrame.baseline.render" the frame drawn,
// "HandOver.baseline.wait" the wait for the worker's turn, and fail that.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

#include "Bench/BenchSkip.h"
#include "Tests/Support/GraphicsTestSupport.h"

namespace {

void startGraphics(CTestGraphicsHooks* pHooks, bool bVsync) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  KvTestStartGraphics(pHooks, "", bVsync);
}

// After the graphics stopped: every frame was rendered (the last may have been handed over when the run ended, so one
// may be missing) and the last present succeeded.
void checkFrames(benchmark::State& state, const CTestGraphicsHooks& hooks) {
  if (hooks.m_iRendered.load() + 1 < state.iterations()) {
    state.SkipWithError(("frames rendered: " + std::to_string(hooks.m_iRendered.load()) + " of " +
                         std::to_string(state.iterations())).c_str());
  } else if (hooks.m_bDraw && ClGraphics::mp_hrLastPresent.load() != D3D_OK) {
    state.SkipWithError("the last present failed");
  }
}

// Clear + present, drawn by the worker after the hand-over.
void BM_Engine_ClearPresentFrame(benchmark::State& state) {
  CTestGraphicsHooks hooks;
  startGraphics(&hooks, false);
  const bool bHandOver = !benchSkips("ClearPresentFrame.engine.handover");
  for (auto _ : state) {
    if (bHandOver) ClGraphics::endFrame();
  }
  KvTestStopGraphics();
  checkFrames(state, hooks);
}
BENCHMARK(BM_Engine_ClearPresentFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same frame drawn on the calling thread with the same device.
void BM_Baseline_ClearPresentFrame(benchmark::State& state) {
  CTestGraphicsHooks hooks;
  startGraphics(&hooks, false);
  const bool bRender = !benchSkips("ClearPresentFrame.baseline.render");
  for (auto _ : state) {
    if (bRender) hooks.renderFrame();
  }
  KvTestStopGraphics();
  checkFrames(state, hooks);
}
BENCHMARK(BM_Baseline_ClearPresentFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The hand-over alone: the worker's frame draws nothing.
void BM_Engine_HandOver(benchmark::State& state) {
  CTestGraphicsHooks hooks;
  hooks.m_bDraw = false;
  startGraphics(&hooks, false);
  const bool bHandOver = !benchSkips("HandOver.engine.handover");
  for (auto _ : state) {
    if (bHandOver) ClGraphics::endFrame();
  }
  KvTestStopGraphics();
  checkFrames(state, hooks);
}
BENCHMARK(BM_Engine_HandOver)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A plain two-thread ping-pong over a mutex and condition variables: the floor of any lockstep hand-over. Each turn
// checks, under the lock it holds anyway, that the worker has taken every turn so far.
void BM_Baseline_HandOver(benchmark::State& state) {
  const bool bWait = !benchSkips("HandOver.baseline.wait");
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
    if (bWait) wake.wait(lock, [&] { return iTurn == 0; });
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
  CTestGraphicsHooks hooks;
  startGraphics(&hooks, true);
  const std::clock_t cpuStart = std::clock();
  const auto wallStart = std::chrono::steady_clock::now();
  for (auto _ : state) {
    ClGraphics::endFrame();
  }
  const double fWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double fCpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  state.counters["cpu_per_s"] = fCpu / fWall;
  state.counters["fps"] = static_cast<double>(state.iterations()) / fWall;
  KvTestStopGraphics();
  checkFrames(state, hooks);
}
BENCHMARK(BM_Engine_IdleVsyncFrame)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(120);

}  // namespace


BENCHMARK_MAIN();
