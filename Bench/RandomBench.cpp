// 32-bit draws of the engine's generator against the standard library's Mersenne Twister, and the cost of
// one refill of the whole state. The SFMT draw should be the faster of the two.
#include <benchmark/benchmark.h>

#include <random>

#include "Corvane/Math/KvRandom.h"

namespace {

constexpr int gc_iWORDS_PER_ITERATION = 4096;

void BM_Engine_RandomWord(benchmark::State& state) {
  sfmtInitGenRand(1234);
  for (auto _ : state) {
    u32 uiSum = 0;
    for (int i = 0; i < gc_iWORDS_PER_ITERATION; ++i) {
      uiSum += sfmtNextWord();
    }
    benchmark::DoNotOptimize(uiSum);
  }
  state.SetItemsProcessed(state.iterations() * gc_iWORDS_PER_ITERATION);
}
BENCHMARK(BM_Engine_RandomWord);

void BM_Baseline_RandomWord(benchmark::State& state) {
  std::mt19937 rng(1234);
  for (auto _ : state) {
    u32 uiSum = 0;
    for (int i = 0; i < gc_iWORDS_PER_ITERATION; ++i) {
      uiSum += static_cast<u32>(rng());
    }
    benchmark::DoNotOptimize(uiSum);
  }
  state.SetItemsProcessed(state.iterations() * gc_iWORDS_PER_ITERATION);
}
BENCHMARK(BM_Baseline_RandomWord);

void BM_SfmtGenRandAll(benchmark::State& state) {
  sfmtInitGenRand(1234);
  for (auto _ : state) {
    sfmtGenRandAll();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * gc_iSFMT_N32);
}
BENCHMARK(BM_SfmtGenRandAll);

}  // namespace

BENCHMARK_MAIN();
