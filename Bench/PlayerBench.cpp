// The busiest second of a magic special: the Dragon's breath (2.0 to 3.0 s, embers coming at 40 a second on top
// of the 30 of the breath's start, every part and ember drawn) with 40 enemies on the list, one frame at a time
// into a recording sink, against a plain loop that updates and emits the same number of quads from arrays. The
// frame budget is 16.7 ms; the aim is under 2 ms on one core. Gibs are the gore effects' and not counted here.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

constexpr f32 gc_fDT = 1.0f / 60.0f;
constexpr int gc_iENEMIES = 40;
constexpr int gc_iFRAMES = 60;  // one second of the breath

void BM_Engine_DragonBusiestSecond(benchmark::State& state) {
  size_t uiQuads = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      ClPlayerTestWorld world(7);
      if (!world.m_error.empty()) {
        state.SkipWithError(world.m_error.c_str());
        return;
      }
      for (int i = 0; i < gc_iENEMIES; ++i) {
        world.spawn("Walker", 150.0f + static_cast<f32>(i) * 8.0f, i % 3);
      }
      g_iMagicKind = 2;
      world.press(E_PLAYER_COMMAND_MAGIC);
      while (world.player().m_eState != E_PLAYER_STATE_DRAGON || world.player().m_fStateTime < 2.0f) {
        world.step(gc_fDT, 0.0f);
      }
      state.ResumeTiming();
      for (int iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
        world.m_world.m_sink.m_quads.clear();
        world.step(gc_fDT, 0.0f);
        EntityList::drawPass();
        uiQuads += world.m_world.m_sink.m_quads.size();
      }
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  state.counters["frame_us"] = benchmark::Counter(static_cast<double>(state.iterations() * gc_iFRAMES),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["quads_per_frame"] =
      static_cast<double>(uiQuads) / static_cast<double>(state.iterations() * gc_iFRAMES);
}
BENCHMARK(BM_Engine_DragonBusiestSecond)->Unit(benchmark::kMillisecond);

// The same second from arrays: the embers appear at the same rates, move not at all, tick a frame timer, and
// every ember, part and enemy becomes one quad with a snapped position and a depth.
void BM_Baseline_DragonBusiestSecond(benchmark::State& state) {
  struct SQuad {
    f32 x, y, depth;
  };
  std::vector<SQuad> quads;
  quads.reserve(512);
  for (auto _ : state) {
    sfmtInitGenRand(7);
    std::vector<f32> ex, ey, et;
    for (int i = 0; i < 30; ++i) {
      ex.push_back(KvMath::randomUnitFloat() * 400.0f);
      ey.push_back(50.0f + KvMath::randomUnitFloat() * 166.0f);
      et.push_back(0.0f);
    }
    f32 t = 2.0f;
    for (int iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
      quads.clear();
      const int iNew = static_cast<int>(std::trunc(t * -40.0f)) - static_cast<int>(std::trunc((t + gc_fDT) * -40.0f));
      for (int i = 0; i < iNew; ++i) {
        ex.push_back(KvMath::randomUnitFloat() * 400.0f);
        ey.push_back(50.0f + KvMath::randomUnitFloat() * 166.0f);
        et.push_back(0.0f);
      }
      for (size_t i = 0; i < ex.size(); ++i) {
        et[i] += gc_fDT;
        quads.push_back({std::floor(ex[i] * 1.25f + 0.5f), std::floor(ey[i] * 1.25f + 0.5f), -990.0f});
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
BENCHMARK(BM_Baseline_DragonBusiestSecond)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
