// One frame of the bonus stage's world on the main thread: the 500 enemies, the bullets, blood and gibs walked and
// every object queued as a quad sprite by the nine passes (the game started in-process on the archives the build
// makes, "TEST_CAT_FPS" with a fixed seed, played for 5 s so that gore lies about), against the same number of quads
// written plainly into one vertex buffer. The frame is held still (dt 0) so every iteration queues the same quads.
// The frame budget is 16.7 ms; the aim for this part of it is under 1 ms.
// Each side checks every frame in its loop: the quads queued (written) must be as many as the stage's objects give,
// counted from its lists (two a bullet, one for each enemy, blood drop, gib, street piece and scenery piece, the
// crosshair and the six foreground pieces). GRINDLOW_BENCH_SKIP "CatFPSStageFrame.<side>.<step>" leaves out the
// enemies, the bullets, the gore (blood drops and gibs) or the street (standing pieces, ground tiles, scenery).
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/InProcessGameTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Code/System/GAMEGameHooks.h"
#include "Bench/BenchSkip.h"

namespace {

constexpr f32 gc_fDT = 1.0f / 60.0f;

// The game, started once by stageReady and stopped at the end of main.
CInProcessGame g_game;

// The game into the bonus stage in a fresh data root; false when it did not get there.
bool startStage() {
  const std::string dir = KvTestTempDir("CatFPSBench");
  SInProcessGameStart how;
  how.dataRoot = dir + "/Data";
  how.storeDir = dir + "/store";
  how.settings = "TEST_CAT_FPS 1\nRANDOM_SEED 4321\n";
  how.modes = {{D3DFMT_X8R8G8B8, {960, 540, 60, D3DFMT_X8R8G8B8}}};
  std::string error;
  if (!KvTestCopyGameArchives(KV_DATA_DIR, how.dataRoot, &error) || !g_game.start(how, &error)) {
    std::fprintf(stderr, "CatFPSBench: %s\n", error.c_str());
    return false;
  }
  // The profile loads on another thread: frames until the second start-up stage has run, then into the stage.
  for (int i = 0; i < 10000 && g_bGameInitialized == 0; ++i) {
    ClGame::tickFrame(0.016f);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (int i = 0; i < 2000 && g_eCurrentGameMode != E_GAME_MODE_CATFPS; ++i) ClGame::tickFrame(0.016f);
  for (int i = 0; i < 5 * 60 && g_eCurrentGameMode == E_GAME_MODE_CATFPS; ++i) ClGame::tickFrame(gc_fDT);
  if (g_eCurrentGameMode != E_GAME_MODE_CATFPS) {
    std::fprintf(stderr, "CatFPSBench: the game is in mode %d\n", static_cast<int>(g_eCurrentGameMode));
  }
  return g_eCurrentGameMode == E_GAME_MODE_CATFPS;
}

bool stageReady() {
  static const bool s_bReady = startStage();
  return s_bReady;
}

// The stage's objects by kind, as a frame queues them: the quads each kind takes, counted from the stage's lists.
enum EKind { ENEMIES, BULLETS, GORE, STREET, FIXED, NUM_KINDS };
constexpr const char* gc_apKIND_STEPS[NUM_KINDS] = {"enemies", "bullets", "gore", "street", nullptr};

std::array<i32, NUM_KINDS> stageQuads() {
  const ClGameModeCatFPS& m = g_gameModeCatFPS;
  return {m.m_daEnemyPos.getCount(), 2 * m.m_daBulletPos.getCount(),
          m.m_daDropPos.getCount() + m.m_daGibPos.getCount(),
          m.m_daStandingPos.getCount() + m.m_daGroundPos.getCount() + m.m_daSceneryPos.getCount(),
          1 + 6};  // the crosshair and the foreground's pieces
}

i32 total(const std::array<i32, NUM_KINDS>& quads) {
  i32 iTotal = 0;
  for (i32 iQuads : quads) iTotal += iQuads;
  return iTotal;
}

// Which kinds a side draws: all but those its steps leave out.
std::array<bool, NUM_KINDS> kindsDrawn(const std::string& side) {
  std::array<bool, NUM_KINDS> drawn{};
  for (i32 k = 0; k < NUM_KINDS; ++k) {
    drawn[static_cast<size_t>(k)] =
        gc_apKIND_STEPS[k] == nullptr || !benchSkips("CatFPSStageFrame." + side + "." + gc_apKIND_STEPS[k]);
  }
  return drawn;
}

// The quads of one still frame: the stage's simulation step and its nine passes (those of the kinds drawn).
i32 stageFrame(const std::array<bool, NUM_KINDS>& drawn) {
  ClGameModeCatFPS& m = g_gameModeCatFPS;
  const i32 iBuffer = 1 - ClGraphics::getCurCPUBuffer();
  ClSpriteMgr::mp_iNumQuadSprites[iBuffer] = 0;
  m.simulate(0.0f);
  m.drawForeground();
  if (drawn[BULLETS]) m.drawBullets();
  if (drawn[ENEMIES]) m.drawEnemies();
  if (drawn[GORE]) {
    m.drawBloodDrops();
    m.drawGibs();
  }
  m.drawCrosshair();
  if (drawn[STREET]) {
    m.drawStandingPieces();
    m.drawGroundTiles();
    m.drawScenery();
  }
  return ClSpriteMgr::mp_iNumQuadSprites[iBuffer];
}

// Stops the benchmark when a frame's quads were not as many as the stage's objects give.
void checkFrames(benchmark::State& state, i32 iBadFrames, i32 iLastQuads, i32 iExpected) {
  state.counters["quads"] = iLastQuads;
  if (iBadFrames > 0) {
    state.SkipWithError((std::to_string(iBadFrames) + " of " + std::to_string(state.iterations()) +
                         " frames made other than the " + std::to_string(iExpected) +
                         " quads the stage's objects give (the last " + std::to_string(iLastQuads) + ")")
                            .c_str());
  }
}

void BM_Engine_CatFPSStageFrame(benchmark::State& state) {
  if (!stageReady()) {
    state.SkipWithError("the game did not reach the bonus stage");
    return;
  }
  const std::array<bool, NUM_KINDS> drawn = kindsDrawn("engine");
  // The frame is still: the stage's lists keep their lengths from frame to frame.
  const i32 iExpected = total(stageQuads());
  i32 iQuads = 0;
  i32 iBadFrames = 0;
  for (auto _ : state) {
    iQuads = stageFrame(drawn);
    iBadFrames += iQuads != iExpected ? 1 : 0;
  }
  if (total(stageQuads()) != iExpected) {
    state.SkipWithError("the still frame changed the stage's objects");
    return;
  }
  checkFrames(state, iBadFrames, iQuads, iExpected);
  state.counters["drops"] = g_gameModeCatFPS.m_daDropPos.getCount();
  state.counters["gibs"] = g_gameModeCatFPS.m_daGibPos.getCount();
}
BENCHMARK(BM_Engine_CatFPSStageFrame)->Unit(benchmark::kMicrosecond);

// The same quads, each four corners with colour and texture coordinates, written into one buffer kind by kind.
void BM_Baseline_CatFPSStageFrame(benchmark::State& state) {
  if (!stageReady()) {
    state.SkipWithError("the game did not reach the bonus stage");
    return;
  }
  const std::array<i32, NUM_KINDS> quads = stageQuads();
  const std::array<bool, NUM_KINDS> drawn = kindsDrawn("baseline");
  const i32 iExpected = total(quads);
  std::vector<SDynamicGeometryVertex> buffer(static_cast<size_t>(iExpected) * 4);
  i32 iQuads = 0;
  i32 iBadFrames = 0;
  for (auto _ : state) {
    SDynamicGeometryVertex* pV = buffer.data();
    i32 q = 0;
    for (i32 k = 0; k < NUM_KINDS; ++k) {
      if (!drawn[static_cast<size_t>(k)]) continue;
      for (const i32 iEnd = q + quads[static_cast<size_t>(k)]; q < iEnd; ++q) {
        const f32 x = static_cast<f32>(q % 64);
        const f32 z = -static_cast<f32>(q / 64);
        for (i32 c = 0; c < 4; ++c) {
          *pV++ = {x + static_cast<f32>(c & 1), static_cast<f32>(c >> 1), z, 0xFFFFFFFFu, 0.0f, 0.0f, 1.0f,
                   static_cast<f32>(c & 1), static_cast<f32>(c >> 1)};
        }
      }
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
    iQuads = static_cast<i32>(pV - buffer.data()) / 4;
    iBadFrames += iQuads != iExpected ? 1 : 0;
  }
  checkFrames(state, iBadFrames, iQuads, iExpected);
}
BENCHMARK(BM_Baseline_CatFPSStageFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

// The game is shut down after the benchmarks, so that its tables are let go as they are at the end of a play.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_game.stop();
  return 0;
}
