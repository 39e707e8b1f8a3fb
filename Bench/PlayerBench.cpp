// The busiest second of a magic special with everything drawn: the Dragon's last half second (its breath, the
// embers coming at 40 a second on top of the 30 of the breath's start, every part drawn) and the half second after
// it, when its hit-all frames beat 40 enemies at once and the gore effects take over: magic gibs (up to the cap),
// blood and score texts spawned by the hits through the world's services, moving and drawn every frame. One frame at
// a time into a recording sink, against a plain loop that updates and emits the same numbers of quads from arrays.
// The frame budget is 16.7 ms; the aim is under 2 ms on one core. The counters show the work was done: quads and
// live gibs a frame (the run stops with an error when no gib flew).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

constexpr f32 gc_fDT = 1.0f / 60.0f;
constexpr int gc_iENEMIES = 40;
constexpr int gc_iFRAMES = 60;           // one second
constexpr f32 gc_fDRAGON_SECONDS = 4.6f;  // the Dragon's length on the system clock
constexpr f32 gc_fWINDOW_START = gc_fDRAGON_SECONDS - 0.5f;

// The sample enemies' script text ("" when it cannot be read).
std::string sampleEnemies() {
  std::ifstream in(GRINDLOW_SAMPLE_ENEMIES, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// One world frame with its gore: the world's update (gameplay time stands still while the special plays, as the
// level holds it), the gore effects' update, then the entities and the gore drawn.
void worldFrame(ClPlayerTestWorld& world) {
  world.step(gc_fDT, g_bMagicFreeze != 0 ? 0.0f : gc_fDT);
  GoreFx::update();
  EntityList::drawPass();
  GoreFx::draw();
}

void BM_Engine_PlayerDragonBusiestSecond(benchmark::State& state) {
  size_t uiQuads = 0;
  size_t uiGibs = 0;
  size_t uiTexts = 0;
  i32 iMostGibs = 0;
  const std::string enemies = sampleEnemies();
  if (enemies.empty()) {
    state.SkipWithError("the sample enemies could not be read from " GRINDLOW_SAMPLE_ENEMIES);
    return;
  }
  static const char* const s_apTypes[] = {"EnemyThug", "EnemyFast", "EnemyPistol"};
  for (auto _ : state) {
    state.PauseTiming();
    {
      ClPlayerTestWorld world(7, enemies);
      if (!world.m_error.empty()) {
        state.SkipWithError(world.m_error.c_str());
        return;
      }
      world.services().m_bSpawnGore = true;
      for (int i = 0; i < gc_iENEMIES; ++i) {
        world.spawn(s_apTypes[i % 3], 150.0f + static_cast<f32>(i) * 8.0f, i % 3);
      }
      g_iMagicKind = 2;
      world.press(E_PLAYER_COMMAND_MAGIC);
      while (world.player().m_eState != E_PLAYER_STATE_DRAGON || world.player().m_fStateTime < gc_fWINDOW_START) {
        world.m_world.m_sink.m_quads.clear();
        worldFrame(world);
      }
      state.ResumeTiming();
      for (int iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
        world.m_world.m_sink.m_quads.clear();
        world.m_world.m_sink.m_texts.clear();
        worldFrame(world);
        uiQuads += world.m_world.m_sink.m_quads.size();
        uiTexts += world.m_world.m_sink.m_texts.size();
        uiGibs += static_cast<size_t>(g_gibs.getCount());
        iMostGibs = std::max(iMostGibs, g_gibs.getCount());
      }
      state.PauseTiming();
      GoreFx::releaseAll();
    }
    state.ResumeTiming();
  }
  if (iMostGibs == 0) {
    state.SkipWithError("no gib flew: the hits did not reach the gore effects");
    return;
  }
  const double dFrames = static_cast<double>(state.iterations() * gc_iFRAMES);
  state.counters["frame_us"] =
      benchmark::Counter(dFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["quads_per_frame"] = static_cast<double>(uiQuads) / dFrames;
  state.counters["gibs_per_frame"] = static_cast<double>(uiGibs) / dFrames;
  state.counters["texts_per_frame"] = static_cast<double>(uiTexts) / dFrames;
  state.counters["most_gibs"] = iMostGibs;
}
BENCHMARK(BM_Engine_PlayerDragonBusiestSecond)->Unit(benchmark::kMillisecond);

// The same second from arrays: the embers appear at the same rates for the first half and go with the special;
// then the gibs of 40 beaten enemies (the cap's 1501) fly under gravity with their spin, bounce once on the ground and
// each becomes one quad with a snapped position and a depth, as every ember, part and enemy does.
void BM_Baseline_PlayerDragonBusiestSecond(benchmark::State& state) {
  struct SQuad {
    f32 x, y, depth;
  };
  struct SPiece {
    f32 x, y, z, vx, vy, vz, spin, angle;
  };
  constexpr int iGIBS = gc_iGIB_CAP + 1;
  std::vector<SQuad> quads;
  quads.reserve(4096);
  std::vector<SPiece> gibs;
  gibs.reserve(iGIBS);
  for (auto _ : state) {
    sfmtInitGenRand(7);
    gibs.clear();
    std::vector<f32> ex, ey, et;
    for (int i = 0; i < 30 + 160; ++i) {
      ex.push_back(KvMath::randomUnitFloat() * 400.0f);
      ey.push_back(50.0f + KvMath::randomUnitFloat() * 166.0f);
      et.push_back(0.0f);
    }
    f32 t = gc_fWINDOW_START;
    for (int iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
      quads.clear();
      if (t < gc_fDRAGON_SECONDS) {
        const int iNew =
            static_cast<int>(std::trunc(t * -40.0f)) - static_cast<int>(std::trunc((t + gc_fDT) * -40.0f));
        for (int i = 0; i < iNew; ++i) {
          ex.push_back(KvMath::randomUnitFloat() * 400.0f);
          ey.push_back(50.0f + KvMath::randomUnitFloat() * 166.0f);
          et.push_back(0.0f);
        }
        for (size_t i = 0; i < ex.size(); ++i) {
          et[i] += gc_fDT;
          quads.push_back({std::floor(ex[i] * 1.25f + 0.5f), std::floor(ey[i] * 1.25f + 0.5f), -990.0f});
        }
      } else if (gibs.empty()) {
        for (int i = 0; i < iGIBS; ++i) {
          const f32 s = KvMath::randomUnitFloat() * 440.0f + 10.0f;
          const f32 a1 = KvMath::randomUnitFloat() * 6.283f;
          const f32 a2 = KvMath::randomUnitFloat() * 6.283f;
          gibs.push_back({150.0f + KvMath::randomUnitFloat() * 320.0f, 157.0f, -20.0f, s * std::cos(a1) + 50.0f,
                          std::cos(a2) * std::sin(a1) * s * 0.5f, std::sin(a2) * std::sin(a1) * s - 100.0f,
                          KvMath::randomUnitFloat() * 12.0f - 6.0f, 0.0f});
        }
      }
      for (SPiece& g : gibs) {
        g.x += g.vx * gc_fDT;
        g.y += g.vy * gc_fDT;
        g.z += g.vz * gc_fDT;
        g.vz += gc_fGORE_GRAVITY * gc_fDT;
        g.angle += g.spin * gc_fDT;
        if (g.z > 0.0f && g.vz > 0.0f) {
          g.z = 0.0f;
          g.vz *= -0.4f;
          g.spin = 0.0f;
        }
        quads.push_back({std::floor(g.x * 1.25f + 0.5f), std::floor((g.y + g.z) * 1.25f + 0.5f),
                         (100.0f - g.y) + std::cos(g.angle)});
      }
      for (int i = 0; i < 10 + gc_iENEMIES * 2; ++i) {
        quads.push_back({std::floor(static_cast<f32>(i) * 1.25f + 0.5f), 100.0f, static_cast<f32>(i) * 0.1f});
      }
      t += gc_fDT;
      benchmark::DoNotOptimize(quads.data());
    }
  }
  state.counters["frame_us"] = benchmark::Counter(static_cast<double>(state.iterations() * gc_iFRAMES),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Baseline_PlayerDragonBusiestSecond)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
