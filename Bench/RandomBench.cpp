// 32-bit draws of the engine's generator against the standard library's Mersenne Twister, and the cost of
// one refill of the whole state. The SFMT draw should be the faster of the two.
//
// Both sides check their values: before timing, the generator's published output (SFMT-19937's first words for
// seed 1234; the standard's 10,000th word of a default-seeded std::mt19937), in every iteration the mean of its
// 4,096 words within eight standard deviations of 2^31 (a stuck, zero or truncated generator fails it), and after
// the run, untimed, the sum of all the words drawn against the same generator drawn again from the same seed (a
// word left out fails it). GRINDLOW_BENCH_SKIP "RandomWord.<side>.words" leaves out every second word,
// ".everysecond" the last word of every second iteration.
#include <benchmark/benchmark.h>

#include <random>

#include "Bench/BenchSkip.h"
#include "Corvane/Math/KvRandom.h"

namespace {

constexpr int gc_iWORDS_PER_ITERATION = 4096;

// The words' sum must lie within 8 sigma of its expectation: one word's deviation is 2^32 / sqrt(12), the sum's
// that times sqrt(4096) = 64.
bool plausibleSum(u64 ulSum) {
  constexpr double dEXPECTED = 2147483647.5 * gc_iWORDS_PER_ITERATION;
  constexpr double dSIGMA = 4294967296.0 / 3.4641016151377544 * 64.0;
  const double dOff = static_cast<double>(ulSum) - dEXPECTED;
  return dOff < 8.0 * dSIGMA && dOff > -8.0 * dSIGMA;
}

void BM_Engine_RandomWord(benchmark::State& state) {
  // Published SFMT-19937 output of init_gen_rand(1234).
  const u32 auiExpected[] = {3440181298u, 1564997079u, 1510669302u, 2930277156u, 1452439940u};
  sfmtInitGenRand(1234);
  for (u32 uiWord : auiExpected) {
    if (sfmtNextWord() != uiWord) {
      state.SkipWithError("the generator does not give SFMT-19937's published words");
      return;
    }
  }
  const int iStride = benchSkips("RandomWord.engine.words") ? 2 : 1;
  CBenchEverySecond everySecond(state, "RandomWord.engine.everysecond");
  sfmtInitGenRand(1234);
  u64 ulTotal = 0;
  for (auto _ : state) {
    u64 ulSum = 0;
    const int iWords = everySecond.leavesOut() ? gc_iWORDS_PER_ITERATION - 1 : gc_iWORDS_PER_ITERATION;
    for (int i = 0; i < iWords; i += iStride) {
      ulSum += sfmtNextWord();
    }
    if (!plausibleSum(ulSum)) {
      state.SkipWithError("the words' mean is far from uniform");
      return;
    }
    ulTotal += ulSum;
  }
  sfmtInitGenRand(1234);
  for (i64 i = 0; i < state.iterations() * gc_iWORDS_PER_ITERATION; ++i) ulTotal -= sfmtNextWord();
  if (ulTotal != 0) state.SkipWithError("the words drawn are not the generator's first words from the seed");
  state.SetItemsProcessed(state.iterations() * gc_iWORDS_PER_ITERATION);
}
BENCHMARK(BM_Engine_RandomWord);

void BM_Baseline_RandomWord(benchmark::State& state) {
  std::mt19937 reference;
  reference.discard(9999);
  if (reference() != 4123659995u) {
    state.SkipWithError("std::mt19937 does not give the standard's 10,000th word");
    return;
  }
  const int iStride = benchSkips("RandomWord.baseline.words") ? 2 : 1;
  CBenchEverySecond everySecond(state, "RandomWord.baseline.everysecond");
  std::mt19937 rng(1234);
  u64 ulTotal = 0;
  for (auto _ : state) {
    u64 ulSum = 0;
    const int iWords = everySecond.leavesOut() ? gc_iWORDS_PER_ITERATION - 1 : gc_iWORDS_PER_ITERATION;
    for (int i = 0; i < iWords; i += iStride) {
      ulSum += static_cast<u32>(rng());
    }
    if (!plausibleSum(ulSum)) {
      state.SkipWithError("the words' mean is far from uniform");
      return;
    }
    ulTotal += ulSum;
  }
  std::mt19937 again(1234);
  for (i64 i = 0; i < state.iterations() * gc_iWORDS_PER_ITERATION; ++i) ulTotal -= static_cast<u32>(again());
  if (ulTotal != 0) state.SkipWithError("the words drawn are not the generator's first words from the seed");
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
