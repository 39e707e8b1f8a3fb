// One frame of the bonus stage's world on the main thread: the 500 enemies, the bullets, blood and gibs walked and
// every object queued as a quad sprite by the nine passes (the game started in-process on the archives the build
// makes, "TEST_CAT_FPS" with a fixed seed, played for 5 s so that gore lies about), against the same number of quads
// written plainly into one vertex buffer. The frame is held still (dt 0, the gameplay clock that the animations
// follow stopped) so every iteration queues the same quads.
// The frame budget is 16.7 ms; the aim for this part of it is under 1 ms.
// Each side checks every frame in its loop: the quads queued (written) must be as many as the stage's objects give,
// counted from its lists (two a bullet, one for each enemy, blood drop, gib, street piece and scenery piece, the
// crosshair and the six foreground pieces), and a hash of their places (two opposite corners of each, in order),
// taken in the loop, must be the one of the quads the engine's passes queued in one frame drawn untimed before the
// loop with every kind (the baseline writes those quads: their corners, colours and texture coordinates).
// GRINDLOW_BENCH_SKIP "CatFPSStageFrame.<side>.<step>" leaves out the enemies, the bullets, the gore (blood drops
// and gibs) or the street (standing pieces, ground tiles, scenery); ".<side>.everysecond" every kind in every second
// frame; ".engine.places" the aim's place (the timed frames aim elsewhere than the record's), ".baseline.places"
// the passes' order (written last to first): as many quads, elsewhere.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
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
#include "Corvane/System/ClClock.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/InProcessGameTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Code/System/GAMEGameHooks.h"
#include "Bench/BenchCheck.h"
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

// The quads of one still frame: the stage's simulation step and its nine passes (those of the kinds drawn); the
// sprite buffer they went into.
const SQuadSprite* stageFrame(const std::array<bool, NUM_KINDS>& drawn, i32* piQuads,
                              std::vector<std::pair<EKind, i32>>* pPassEnds = nullptr) {
  ClGameModeCatFPS& m = g_gameModeCatFPS;
  const i32 iBuffer = 1 - ClGraphics::getCurCPUBuffer();
  ClSpriteMgr::mp_iNumQuadSprites[iBuffer] = 0;
  const auto passes = [&](EKind eKind, auto draw) {
    if (drawn[eKind]) draw();
    if (pPassEnds != nullptr) pPassEnds->push_back({eKind, ClSpriteMgr::mp_iNumQuadSprites[iBuffer]});
  };
  m.simulate(0.0f);
  passes(FIXED, [&m] { m.drawForeground(); });
  passes(BULLETS, [&m] { m.drawBullets(); });
  passes(ENEMIES, [&m] { m.drawEnemies(); });
  passes(GORE, [&m] {
    m.drawBloodDrops();
    m.drawGibs();
  });
  passes(FIXED, [&m] { m.drawCrosshair(); });
  passes(STREET, [&m] {
    m.drawStandingPieces();
    m.drawGroundTiles();
    m.drawScenery();
  });
  *piQuads = ClSpriteMgr::mp_iNumQuadSprites[iBuffer];
  return ClSpriteMgr::mp_aQuadSprites[iBuffer];
}

// The places of a frame's quads: two opposite corners of each (x, y, z), in order.
u64 placesHash(const kv_vector4* pCorners0, const kv_vector4* pCorners3, size_t uiStride, i32 iQuads) {
  u64 uiHash = static_cast<u64>(iQuads);
  for (i32 i = 0; i < iQuads; ++i) {
    const kv_vector4& a = *reinterpret_cast<const kv_vector4*>(reinterpret_cast<const u8*>(pCorners0) + i * uiStride);
    const kv_vector4& b = *reinterpret_cast<const kv_vector4*>(reinterpret_cast<const u8*>(pCorners3) + i * uiStride);
    uiHash = benchFold(uiHash, a.x, a.y, a.z, b.x, b.y, b.z);
  }
  return uiHash;
}

// Holds the gameplay clock still while it lives: the stage's animations follow that clock, not the simulation's
// step, and would move the enemies' quads from one frame to the next.
class CStillClock {
 public:
  CStillClock() : m_fSaved(ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime) {
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
  }
  ~CStillClock() { ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = m_fSaved; }

 private:
  f32 m_fSaved;
};

// One still frame drawn untimed with every kind: its quads, where each pass ended, and the hash of their places.
struct SStageRecord {
  std::vector<SQuadSprite> quads;
  std::vector<std::pair<EKind, i32>> passEnds;
  u64 uiPlaces = 0;
};
SStageRecord recordStage() {
  SStageRecord record;
  std::array<bool, NUM_KINDS> all{};
  all.fill(true);
  i32 iQuads = 0;
  const SQuadSprite* pQuads = stageFrame(all, &iQuads, &record.passEnds);
  record.quads.assign(pQuads, pQuads + iQuads);
  record.uiPlaces = placesHash(&pQuads[0].mp_avCorners[0], &pQuads[0].mp_avCorners[3], sizeof(SQuadSprite), iQuads);
  return record;
}

// Stops the benchmark when a frame's quads were not as many as the stage's objects give or not at the record's
// places.
void checkFrames(benchmark::State& state, i32 iBadFrames, i32 iMisplacedFrames, i32 iLastQuads, i32 iExpected) {
  state.counters["quads"] = iLastQuads;
  if (iBadFrames > 0) {
    state.SkipWithError((std::to_string(iBadFrames) + " of " + std::to_string(state.iterations()) +
                         " frames made other than the " + std::to_string(iExpected) +
                         " quads the stage's objects give (the last " + std::to_string(iLastQuads) + ")")
                            .c_str());
  } else if (iMisplacedFrames > 0) {
    state.SkipWithError((std::to_string(iMisplacedFrames) + " of " + std::to_string(state.iterations()) +
                         " frames put their quads elsewhere than the engine's passes do")
                            .c_str());
  }
}

void BM_Engine_CatFPSStageFrame(benchmark::State& state) {
  if (!stageReady()) {
    state.SkipWithError("the game did not reach the bonus stage");
    return;
  }
  const std::array<bool, NUM_KINDS> drawn = kindsDrawn("engine");
  const CBenchEverySecond everySecond("CatFPSStageFrame.engine");
  const std::array<bool, NUM_KINDS> none{};
  // The frame is still: the stage's lists keep their lengths from frame to frame.
  const i32 iExpected = total(stageQuads());
  const CStillClock still;
  const SStageRecord record = recordStage();
  const f32 fAim = g_gameModeCatFPS.m_fAim;
  if (benchSkips("CatFPSStageFrame.engine.places")) g_gameModeCatFPS.m_fAim += 1.0f;
  i32 iQuads = 0;
  i32 iBadFrames = 0;
  i32 iMisplacedFrames = 0;
  i64 iFrame = 0;
  for (auto _ : state) {
    const SQuadSprite* pQuads = stageFrame(everySecond.leavesOut(iFrame++) ? none : drawn, &iQuads);
    iBadFrames += iQuads != iExpected ? 1 : 0;
    iMisplacedFrames +=
        placesHash(&pQuads[0].mp_avCorners[0], &pQuads[0].mp_avCorners[3], sizeof(SQuadSprite), iQuads) !=
                record.uiPlaces
            ? 1
            : 0;
  }
  g_gameModeCatFPS.m_fAim = fAim;
  if (total(stageQuads()) != iExpected) {
    state.SkipWithError("the still frame changed the stage's objects");
    return;
  }
  checkFrames(state, iBadFrames, iMisplacedFrames, iQuads, iExpected);
  state.counters["drops"] = g_gameModeCatFPS.m_daDropPos.getCount();
  state.counters["gibs"] = g_gameModeCatFPS.m_daGibPos.getCount();
}
BENCHMARK(BM_Engine_CatFPSStageFrame)->Unit(benchmark::kMicrosecond);

// The same quads, each four corners with colour and texture coordinates, written into one buffer pass by pass from
// the record of the engine's frame (the kinds drawn).
void BM_Baseline_CatFPSStageFrame(benchmark::State& state) {
  if (!stageReady()) {
    state.SkipWithError("the game did not reach the bonus stage");
    return;
  }
  const std::array<bool, NUM_KINDS> drawn = kindsDrawn("baseline");
  const CBenchEverySecond everySecond("CatFPSStageFrame.baseline");
  const i32 iExpected = total(stageQuads());
  const SStageRecord record = recordStage();
  // The passes as ranges of the record's quads, in the order they are written.
  std::vector<std::tuple<EKind, i32, i32>> passes;
  for (size_t i = 0; i < record.passEnds.size(); ++i) {
    passes.emplace_back(record.passEnds[i].first, i == 0 ? 0 : record.passEnds[i - 1].second, record.passEnds[i].second);
  }
  if (benchSkips("CatFPSStageFrame.baseline.places")) std::reverse(passes.begin(), passes.end());
  std::vector<SDynamicGeometryVertex> buffer(record.quads.size() * 4);
  i32 iQuads = 0;
  i32 iBadFrames = 0;
  i32 iMisplacedFrames = 0;
  i64 iFrame = 0;
  for (auto _ : state) {
    SDynamicGeometryVertex* pV = buffer.data();
    const bool bFrame = !everySecond.leavesOut(iFrame++);
    for (const auto& [eKind, iFirst, iEnd] : passes) {
      for (i32 q = iFirst; q < iEnd && bFrame && drawn[eKind]; ++q) {
        const SQuadSprite& quad = record.quads[static_cast<size_t>(q)];
        for (i32 c = 0; c < 4; ++c) {
          const kv_vector4& p = quad.mp_avCorners[c];
          const kv_vector4& t = quad.mp_avTexCoords[c];
          *pV++ = {p.x, p.y, p.z, quad.mp_uiColor, 0.0f, 0.0f, 1.0f, t.x, t.y};
        }
      }
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
    iQuads = static_cast<i32>(pV - buffer.data()) / 4;
    iBadFrames += iQuads != iExpected ? 1 : 0;
    iMisplacedFrames += placesHash(reinterpret_cast<const kv_vector4*>(&buffer[0].x),
                                   reinterpret_cast<const kv_vector4*>(&buffer[3].x),
                                   4 * sizeof(SDynamicGeometryVertex), iQuads) != record.uiPlaces
                            ? 1
                            : 0;
  }
  checkFrames(state, iBadFrames, iMisplacedFrames, iQuads, iExpected);
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
