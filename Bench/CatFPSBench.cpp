// One frame of the bonus stage's world on the main thread: the 500 enemies, the bullets, blood and gibs walked and
// every object queued as a quad sprite by the nine passes (the game started in-process on the archives the build
// makes, "TEST_CAT_FPS" with a fixed seed, played for 5 s so that gore lies about), against the same number of quads
// written plainly into one vertex buffer. The frame is held still (dt 0, the gameplay clock that the animations
// follow stopped), its aim moved a little from frame to frame (four aims in turn: the crosshair and the foreground
// follow it) and its random draws seeded afresh (the bullets' colours; the seeding is the engine's side's alone),
// so that no frame queues the quads the last one did.
// The frame budget is 16.7 ms; the aim for this part of it is under 1 ms.
// Each side checks every frame in its loop: the quads queued (written) must be as many as the stage's objects give,
// counted from its lists (two a bullet, one for each enemy, blood drop, gib, street piece and scenery piece, the
// crosshair and the six foreground pieces), and a hash of them (two opposite corners of each with their texture
// coordinates, and its colour, in order), taken in the loop, must be the one of the quads the engine's passes queued
// in a frame of the same aim drawn untimed before the loop with every kind (the baseline writes those quads, the
// frame's aim's: their corners, colours and texture coordinates).
// GRINDLOW_BENCH_SKIP "CatFPSStageFrame.<side>.<step>" leaves out the enemies, the bullets, the gore (blood drops
// and gibs) or the street (standing pieces, ground tiles, scenery); ".<side>.everysecond" every kind in every second
// frame; ".engine.places" the aim's place (the timed frames aim elsewhere than the record's), ".baseline.places"
// the passes' order (written last to first): as many quads, elsewhere; ".<side>.partial" leaves out the last quad of
// every frame, ".<side>.repeat" every third frame's work (the last frame's quads stay), ".<side>.replay" all of it
// (the quads of the first aim's record given instead), ".<side>.middle" changes one quad's colour in the middle
// frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "Corvane/Math/KvRandom.h"
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
SQuadSprite* stageFrame(const std::array<bool, NUM_KINDS>& drawn, i32* piQuads,
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

// A hash of a frame's quads, in order: two opposite corners of each (x, y, z) with their texture coordinates, and
// its colour; quad(i) gives quad i's corners, texture coordinates (as vectors) and colour.
template <typename FQuad>
u64 quadsHash(i32 iQuads, FQuad quad) {
  u64 uiHash = static_cast<u64>(iQuads);
  for (i32 i = 0; i < iQuads; ++i) {
    const auto [a, b, ta, tb, uiColor] = quad(i);
    uiHash = benchFold(uiHash, a.x, a.y, a.z, b.x, b.y, b.z);
    uiHash = benchFold(uiHash, uiColor, ta.x, ta.y, tb.x, tb.y);
  }
  return uiHash;
}
u64 spritesHash(const SQuadSprite* pQuads, i32 iQuads) {
  return quadsHash(iQuads, [pQuads](i32 i) {
    const SQuadSprite& q = pQuads[i];
    return std::make_tuple(q.mp_avCorners[0], q.mp_avCorners[3], q.mp_avTexCoords[0], q.mp_avTexCoords[3],
                           q.mp_uiColor);
  });
}
u64 verticesHash(const SDynamicGeometryVertex* pVertices, i32 iQuads) {
  return quadsHash(iQuads, [pVertices](i32 i) {
    const SDynamicGeometryVertex& a = pVertices[4 * i];
    const SDynamicGeometryVertex& b = pVertices[4 * i + 3];
    return std::make_tuple(kv_vector3{a.x, a.y, a.z}, kv_vector3{b.x, b.y, b.z}, kv_vector2{a.u, a.v},
                           kv_vector2{b.u, b.v}, a.color);
  });
}

// The aims the frames take in turn, from the stage's own: a small step away from its limit each; and the seed of
// the random draws each takes (the bullets' colours).
constexpr i32 gc_iAIMS = 4;
f32 frameAim(f32 fAim, i64 iFrame) {
  return fAim + (fAim > 0.0f ? -0.05f : 0.05f) * static_cast<f32>(iFrame % gc_iAIMS);
}
void seedFrame(i64 iFrame) { sfmtInitGenRand(4321u + static_cast<u32>(iFrame % gc_iAIMS)); }

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

// One still frame drawn untimed with every kind at the aim fAim: its quads, where each pass ended, and their hash.
struct SStageRecord {
  std::vector<SQuadSprite> quads;
  std::vector<std::pair<EKind, i32>> passEnds;
  u64 uiHash = 0;
};
SStageRecord recordStage(f32 fAim, i64 iFrame) {
  SStageRecord record;
  std::array<bool, NUM_KINDS> all{};
  all.fill(true);
  i32 iQuads = 0;
  const f32 fSaved = g_gameModeCatFPS.m_fAim;
  g_gameModeCatFPS.m_fAim = fAim;
  seedFrame(iFrame);
  const SQuadSprite* pQuads = stageFrame(all, &iQuads, &record.passEnds);
  g_gameModeCatFPS.m_fAim = fSaved;
  record.quads.assign(pQuads, pQuads + iQuads);
  record.uiHash = spritesHash(pQuads, iQuads);
  return record;
}
// The records of the frames' aims, in turn. A frame's gun follows the aim of the frame before (the simulation
// places it before it takes the new aim): each record is drawn after the one of the aim before it, the first after
// one of the last aim, as the timed frames run.
std::vector<SStageRecord> recordStages() {
  std::vector<SStageRecord> records;
  recordStage(frameAim(g_gameModeCatFPS.m_fAim, gc_iAIMS - 1), gc_iAIMS - 1);
  for (i64 i = 0; i < gc_iAIMS; ++i) records.push_back(recordStage(frameAim(g_gameModeCatFPS.m_fAim, i), i));
  return records;
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
                         " frames put their quads elsewhere, or coloured or textured them otherwise, than the "
                         "engine's passes do")
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
  const CBenchCheat cheat("CatFPSStageFrame.engine");
  const std::array<bool, NUM_KINDS> none{};
  // The frame is still: the stage's lists keep their lengths from frame to frame.
  const i32 iExpected = total(stageQuads());
  const CStillClock still;
  const std::vector<SStageRecord> records = recordStages();
  const f32 fAim = g_gameModeCatFPS.m_fAim;
  const f32 fPlaced = fAim + (benchSkips("CatFPSStageFrame.engine.places") ? 1.0f : 0.0f);
  SQuadSprite* pQuads = nullptr;
  i32 iQuads = 0;
  i32 iBadFrames = 0;
  i32 iMisplacedFrames = 0;
  i64 iFrame = 0;
  for (auto _ : state) {
    g_gameModeCatFPS.m_fAim = frameAim(fPlaced, iFrame);
    seedFrame(iFrame);
    if (cheat.replays()) {
      pQuads = const_cast<SQuadSprite*>(records[0].quads.data());
      iQuads = static_cast<i32>(records[0].quads.size());
    } else if (pQuads == nullptr || !cheat.repeats(iFrame)) {
      pQuads = stageFrame(everySecond.leavesOut(iFrame) ? none : drawn, &iQuads);
    }
    if (cheat.partial() && iQuads > 0) --iQuads;
    if (cheat.changes(iFrame, state.max_iterations)) pQuads[0].mp_uiColor ^= 0x00010000u;
    iBadFrames += iQuads != iExpected ? 1 : 0;
    iMisplacedFrames += spritesHash(pQuads, iQuads) != records[static_cast<size_t>(iFrame % gc_iAIMS)].uiHash ? 1 : 0;
    ++iFrame;
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
// the record of the engine's frame of the same aim (the kinds drawn).
void BM_Baseline_CatFPSStageFrame(benchmark::State& state) {
  if (!stageReady()) {
    state.SkipWithError("the game did not reach the bonus stage");
    return;
  }
  const std::array<bool, NUM_KINDS> drawn = kindsDrawn("baseline");
  const CBenchEverySecond everySecond("CatFPSStageFrame.baseline");
  const CBenchCheat cheat("CatFPSStageFrame.baseline");
  const i32 iExpected = total(stageQuads());
  const std::vector<SStageRecord> records = recordStages();
  // The passes as ranges of a record's quads (the same in every record), in the order they are written.
  std::vector<std::tuple<EKind, i32, i32>> passes;
  const SStageRecord& first = records[0];
  for (size_t i = 0; i < first.passEnds.size(); ++i) {
    passes.emplace_back(first.passEnds[i].first, i == 0 ? 0 : first.passEnds[i - 1].second, first.passEnds[i].second);
  }
  if (benchSkips("CatFPSStageFrame.baseline.places")) std::reverse(passes.begin(), passes.end());
  // What "replay" gives: the first record's quads, written before the loop.
  std::vector<SDynamicGeometryVertex> replayed;
  for (const SQuadSprite& quad : first.quads) {
    for (i32 c = 0; c < 4; ++c) {
      const kv_vector4& p = quad.mp_avCorners[c];
      const kv_vector4& t = quad.mp_avTexCoords[c];
      replayed.push_back({p.x, p.y, p.z, quad.mp_uiColor, 0.0f, 0.0f, 1.0f, t.x, t.y});
    }
  }
  std::vector<SDynamicGeometryVertex> buffer(first.quads.size() * 4);
  const SDynamicGeometryVertex* pWritten = buffer.data();
  i32 iQuads = 0;
  i32 iBadFrames = 0;
  i32 iMisplacedFrames = 0;
  i64 iFrame = 0;
  for (auto _ : state) {
    const SStageRecord& record = records[static_cast<size_t>(iFrame % gc_iAIMS)];
    if (cheat.replays()) {
      pWritten = replayed.data();
      iQuads = static_cast<i32>(replayed.size() / 4);
    } else if (!cheat.repeats(iFrame) || iFrame == 0) {
      SDynamicGeometryVertex* pV = buffer.data();
      const bool bFrame = !everySecond.leavesOut(iFrame);
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
      if (cheat.partial() && pV != buffer.data()) pV -= 4;
      benchmark::DoNotOptimize(buffer.data());
      benchmark::ClobberMemory();
      iQuads = static_cast<i32>(pV - buffer.data()) / 4;
    }
    if (cheat.changes(iFrame, state.max_iterations)) buffer[0].color ^= 0x00010000u;
    iBadFrames += iQuads != iExpected ? 1 : 0;
    iMisplacedFrames += verticesHash(pWritten, iQuads) != record.uiHash ? 1 : 0;
    ++iFrame;
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
