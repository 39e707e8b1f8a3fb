// Frames through the render worker against the same frames drawn on one thread with the same device, the cost of
// the hand-over itself, and the CPU an idle vsync'd loop uses. Headless (SDL offscreen, Mesa llvmpipe), 320 x 240.
// ClearPresentFrame clears every frame to a colour of its own (seven in turn), and every Present reads four pixels
// back (the device's probes), spread over the frame and moved frame by frame so that the run's probes cover it all:
// after the run each frame must have shown its colour at each. Both sides draw one untimed frame before the timed
// ones. HandOver checks that every turn was taken. GRINDLOW_BENCH_SKIP "ClearPresentFrame.engine.handover" and
// "HandOver.engine.handover" leave out the hand-over, "ClearPresentFrame.baseline.render" the frame drawn,
// "HandOver.baseline.wait" the wait for the worker's turn; "<case>.<side>.everysecond" the frame's clear in every
// second one (only its Present is left) or the hand-over (the wait) in every second turn; and
// "ClearPresentFrame.<side>.<partial|repeat|middle>" clear only the top-left 200 x 200 pixels, clear every third
// frame to the previous frame's colour, or the middle frame to a colour 16 levels of blue off (BenchSkip.h); and
// fail that.
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

// The pixels read at frame iFrame's Present: four, one in each quarter of the 320 x 240 frame, each moved by a step
// prime to its quarter's size frame by frame, so that over a run they fall on every part of the frame.
std::vector<POINT> probesOf(i64 iFrame) {
  std::vector<POINT> points;
  for (LONG k = 0; k < 4; ++k) {
    points.push_back({static_cast<LONG>(160 * (k & 1) + (iFrame * 37 + 11 * k) % 160),
                      static_cast<LONG>(120 * (k >> 1) + (iFrame * 53 + 7 * k) % 120)});
  }
  return points;
}
constexpr size_t gc_uiPROBES = 4;

// The test hooks' frame in its frame's colour, counted from the first timed frame (startTimed); a frame that sSide's
// step "everysecond" leaves out only presents, and the steps of CBenchCheat clear part of it or to another colour.
class CColourFrameHooks : public CTestGraphicsHooks {
 public:
  explicit CColourFrameHooks(const std::string& sSide) : m_everySecond(sSide), m_cheat(sSide) {}
  // The frames drawn so far were the warm-up: the next is timed frame 0 of iFrames.
  void startTimed(i64 iFrames) {
    m_iFirst = m_iRendered.load();
    m_iFrames = iFrames;
  }
  void renderFrame() override {
    const i64 iFrame = m_iRendered.load() - m_iFirst;
    if (m_bDraw && m_everySecond.leavesOut(iFrame)) {
      ClGraphics::setLastPresentResult(ClGraphics::mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr));
      m_iRendered.fetch_add(1);
      return;
    }
    m_uiColor = frameColor(m_cheat.repeats(iFrame) ? iFrame - 1 : iFrame);
    if (m_cheat.changes(iFrame, m_iFrames)) m_uiColor ^= 0x10u;
    if (!m_bDraw || !m_cheat.partial()) {
      CTestGraphicsHooks::renderFrame();
      return;
    }
    IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
    const D3DRECT corner = {0, 0, 200, 200};
    pDevice->BeginScene();
    pDevice->Clear(1, &corner, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, m_uiColor, 1.0f, 0);
    pDevice->EndScene();
    ClGraphics::setLastPresentResult(pDevice->Present(nullptr, nullptr, nullptr, nullptr));
    m_iRendered.fetch_add(1);
  }
  // The timed frames rendered so far.
  i64 timedFrames() const { return m_iRendered.load() - m_iFirst; }

 private:
  CBenchEverySecond m_everySecond;
  CBenchCheat m_cheat;
  i64 m_iFirst = 0;
  i64 m_iFrames = 0;
};

// After the graphics stopped: every timed frame was rendered (the hand-over waits for the worker's frame), the last
// present succeeded and, when the frames drew, each showed its colour at each of its probes.
void checkFrames(benchmark::State& state, const CColourFrameHooks& hooks, const std::vector<DWORD>& probed) {
  CBenchFrameRecord<u32> record(state, gc_uiPROBES);
  for (DWORD uiPixel : probed) record.add(uiPixel);
  const auto shows = [](i64 i, const u32* p) {
    const std::vector<POINT> points = probesOf(i);
    for (size_t k = 0; k < gc_uiPROBES; ++k) {
      if (!benchNearColor(p[k], frameColor(i), 1)) {
        return "the pixel (" + std::to_string(points[k].x) + ", " + std::to_string(points[k].y) +
               ") is not the frame's colour";
      }
    }
    return std::string();
  };
  const std::string colours = hooks.m_bDraw ? record.check(state.iterations(), shows) : std::string();
  if (hooks.timedFrames() != state.iterations()) {
    state.SkipWithError(("frames rendered: " + std::to_string(hooks.timedFrames()) + " of " +
                         std::to_string(state.iterations())).c_str());
  } else if (hooks.m_bDraw && ClGraphics::mp_hrLastPresent.load() != D3D_OK) {
    state.SkipWithError("the last present failed");
  } else if (!colours.empty()) {
    state.SkipWithError(colours.c_str());
  }
}

// Runs one untimed frame (frame(-1)), then the timed frames (frame(iFrame) one of them) with each Present, when the
// frames draw, probed at its frame's points (set before the frame: the hand-over waits for the worker's Present),
// then stops the graphics and checks them (checkFrames).
template <typename FFrame>
void runFrames(benchmark::State& state, CColourFrameHooks& hooks, FFrame frame) {
  frame(-1);
  hooks.startTimed(state.max_iterations);
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  i64 iFrame = 0;
  for (auto _ : state) {
    if (hooks.m_bDraw) D3D9TestProbeAtPresent(pDevice, probesOf(iFrame));
    frame(iFrame++);
  }
  D3D9TestProbeAtPresent(pDevice, {});
  const std::vector<DWORD> probed = D3D9TestTakeProbes(pDevice);
  KvTestStopGraphics();
  checkFrames(state, hooks, probed);
}

// Clear + present, drawn by the worker after the hand-over.
void BM_Engine_ClearPresentFrame(benchmark::State& state) {
  CColourFrameHooks hooks("ClearPresentFrame.engine");
  startGraphics(&hooks, false);
  const bool bHandOver = !benchSkips("ClearPresentFrame.engine.handover");
  runFrames(state, hooks, [bHandOver](i64 iFrame) {
    if (bHandOver || iFrame < 0) ClGraphics::endFrame();
  });
}
BENCHMARK(BM_Engine_ClearPresentFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same frame drawn on the calling thread with the same device.
void BM_Baseline_ClearPresentFrame(benchmark::State& state) {
  CColourFrameHooks hooks("ClearPresentFrame.baseline");
  startGraphics(&hooks, false);
  const bool bRender = !benchSkips("ClearPresentFrame.baseline.render");
  runFrames(state, hooks, [&hooks, bRender](i64 iFrame) {
    if (bRender || iFrame < 0) hooks.renderFrame();
  });
}
BENCHMARK(BM_Baseline_ClearPresentFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The hand-over alone: the worker's frame draws nothing.
void BM_Engine_HandOver(benchmark::State& state) {
  CColourFrameHooks hooks("HandOver.engine");
  hooks.m_bDraw = false;
  startGraphics(&hooks, false);
  const bool bHandOver = !benchSkips("HandOver.engine.handover");
  const CBenchEverySecond everySecond("HandOver.engine");
  runFrames(state, hooks, [bHandOver, &everySecond](i64 iFrame) {
    if (iFrame < 0 || (bHandOver && !everySecond.leavesOut(iFrame))) ClGraphics::endFrame();
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
  // One untimed turn, as the engine's side hands over one untimed frame.
  {
    std::unique_lock<std::mutex> lock(mutex);
    iTurn = 1;
    wake.notify_all();
    wake.wait(lock, [&] { return iTurn == 0; });
    iServed = 0;
  }
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
  std::clock_t cpuStart = 0;
  auto wallStart = std::chrono::steady_clock::now();
  runFrames(state, hooks, [&state, &cpuStart, &wallStart](i64 iFrame) {
    // Counted from the first timed frame on: the untimed one before it is not.
    if (iFrame == 0) {
      cpuStart = std::clock();
      wallStart = std::chrono::steady_clock::now();
    }
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
