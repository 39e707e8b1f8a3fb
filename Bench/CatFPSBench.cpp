// One frame of the bonus stage's world on the main thread: the 500 enemies, the bullets, blood and gibs walked and
// every object queued as a quad sprite by the nine passes (the game started in-process on the archives the build
// makes, "TEST_CAT_FPS" with a fixed seed, played for 5 s so that gore lies about), against the same number of quads
// written plainly into one vertex buffer. The frame is held still (dt 0) so every iteration queues the same quads.
// The frame budget is 16.7 ms; the aim for this part of it is under 1 ms.
#include <benchmark/benchmark.h>

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

// The quads of one still frame: the stage's simulation step and its nine passes.
i32 stageFrame() {
  ClGameModeCatFPS& m = g_gameModeCatFPS;
  const i32 iBuffer = 1 - ClGraphics::getCurCPUBuffer();
  ClSpriteMgr::mp_iNumQuadSprites[iBuffer] = 0;
  m.simulate(0.0f);
  m.drawForeground();
  m.drawBullets();
  m.drawEnemies();
  m.drawBloodDrops();
  m.drawGibs();
  m.drawCrosshair();
  m.drawStandingPieces();
  m.drawGroundTiles();
  m.drawScenery();
  return ClSpriteMgr::mp_iNumQuadSprites[iBuffer];
}

void BM_Engine_CatFPSStageFrame(benchmark::State& state) {
  if (!stageReady()) {
    state.SkipWithError("the game did not reach the bonus stage");
    return;
  }
  i32 iQuads = 0;
  for (auto _ : state) {
    iQuads = stageFrame();
    benchmark::DoNotOptimize(iQuads);
  }
  state.counters["quads"] = iQuads;
  state.counters["drops"] = g_gameModeCatFPS.m_daDropPos.getCount();
  state.counters["gibs"] = g_gameModeCatFPS.m_daGibPos.getCount();
}
BENCHMARK(BM_Engine_CatFPSStageFrame)->Unit(benchmark::kMicrosecond);

// The same number of quads, each four corners with colour and texture coordinates, written into one buffer.
void BM_Baseline_CatFPSStageFrame(benchmark::State& state) {
  if (!stageReady()) {
    state.SkipWithError("the game did not reach the bonus stage");
    return;
  }
  const i32 iQuads = stageFrame();
  std::vector<SDynamicGeometryVertex> buffer(static_cast<size_t>(iQuads) * 4);
  for (auto _ : state) {
    SDynamicGeometryVertex* pV = buffer.data();
    for (i32 q = 0; q < iQuads; ++q) {
      const f32 x = static_cast<f32>(q % 64);
      const f32 z = -static_cast<f32>(q / 64);
      for (i32 k = 0; k < 4; ++k) {
        *pV++ = {x + static_cast<f32>(k & 1), static_cast<f32>(k >> 1), z, 0xFFFFFFFFu, 0.0f, 0.0f, 1.0f,
                 static_cast<f32>(k & 1), static_cast<f32>(k >> 1)};
      }
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.counters["quads"] = iQuads;
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
