// 32-bit draws of the engine's generator against the standard library's Mersenne Twister, and the cost of
// one refill of the whole state. The SFMT draw should be the faster of the two.
//
// Both sides check their values: before timing, the generator's published output (SFMT-19937's first words for
// seed 1234; the standard's 10,000th word of a default-seeded std::mt19937), in every iteration the mean of its
// 4,096 words within eight standard deviations of 2^31 (a stuck, zero or truncated generator fails it), and after
// the run, untimed, every iteration's sum of its words against the same generator drawn again from the same seed,
// 4,096 words an iteration (a word left out, or an iteration's words not drawn, fails it). The generator moves on
// every iteration, so no two iterations draw the same words. GRINDLOW_BENCH_SKIP "RandomWord.<side>.words" leaves
// out every second word, ".everysecond" the last word of every second iteration, ".partial" the last word of every
// iteration, ".repeat" every third iteration's words (the last sum given again), ".replay" every iteration's (the
// sum of the first 4,096 words, drawn untimed before the loop, given instead), ".middle" adds one to a word of the middle
// iteration.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "Bench/BenchCheck.h"
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

// One side's iterations as CBenchCheat's steps make them: each iteration's sum goes into the record, which after the
// loop must hold the sums of the generator's words drawn again from the seed, 4,096 an iteration.
class CWordRound {
 public:
  CWordRound(benchmark::State& state, const std::string& sSide, u64 ulReplayed)
      : m_cheat(sSide), m_sums(state, 1), m_ulReplayed(ulReplayed), m_iCount(state.max_iterations) {}
  // The words this iteration draws, of iWords (none when the step gives a sum instead).
  int words(int iWords) const {
    return m_cheat.replays() || m_cheat.repeats(m_iIteration) ? 0 : iWords - (m_cheat.partial() ? 1 : 0);
  }
  // Keeps the iteration's sum, after the steps' changes; false when it is far from uniform.
  bool end(u64 ulSum) {
    if (m_cheat.replays()) ulSum = m_ulReplayed;
    if (m_cheat.repeats(m_iIteration)) ulSum = m_ulLast;
    if (m_cheat.changes(m_iIteration, m_iCount)) ++ulSum;
    m_ulLast = ulSum;
    m_sums.add(ulSum);
    ++m_iIteration;
    return plausibleSum(ulSum);
  }
  // Empty when every iteration's sum is that of the next 4,096 words of fNext, drawn now.
  template <typename FNext>
  std::string check(const benchmark::State& state, FNext fNext) const {
    return m_sums.check(state.iterations(), [&fNext](int64_t, const u64* pulSum) {
      u64 ulWanted = 0;
      for (int i = 0; i < gc_iWORDS_PER_ITERATION; ++i) ulWanted += fNext();
      return *pulSum == ulWanted ? std::string() : "the words drawn are not the generator's next words from the seed";
    });
  }

 private:
  CBenchCheat m_cheat;
  CBenchFrameRecord<u64> m_sums;
  u64 m_ulReplayed;
  u64 m_ulLast = 0;
  int64_t m_iIteration = 0;
  int64_t m_iCount;
};

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
  // The sum that "replay" gives: of the first 4,096 words from the seed, drawn before the loop.
  sfmtInitGenRand(1234);
  u64 ulReplayed = 0;
  for (int i = 0; i < gc_iWORDS_PER_ITERATION; ++i) ulReplayed += sfmtNextWord();
  CWordRound round(state, "RandomWord.engine", ulReplayed);
  sfmtInitGenRand(1234);
  for (auto _ : state) {
    u64 ulSum = 0;
    const int iWords = round.words(everySecond.leavesOut() ? gc_iWORDS_PER_ITERATION - 1 : gc_iWORDS_PER_ITERATION);
    for (int i = 0; i < iWords; i += iStride) {
      ulSum += sfmtNextWord();
    }
    if (!round.end(ulSum)) {
      state.SkipWithError("the words' mean is far from uniform");
      return;
    }
  }
  sfmtInitGenRand(1234);
  if (const std::string error = round.check(state, [] { return sfmtNextWord(); }); !error.empty()) {
    state.SkipWithError(error.c_str());
  }
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
  std::mt19937 other(1234);
  u64 ulReplayed = 0;
  for (int i = 0; i < gc_iWORDS_PER_ITERATION; ++i) ulReplayed += static_cast<u32>(other());
  CWordRound round(state, "RandomWord.baseline", ulReplayed);
  std::mt19937 rng(1234);
  for (auto _ : state) {
    u64 ulSum = 0;
    const int iWords = round.words(everySecond.leavesOut() ? gc_iWORDS_PER_ITERATION - 1 : gc_iWORDS_PER_ITERATION);
    for (int i = 0; i < iWords; i += iStride) {
      ulSum += static_cast<u32>(rng());
    }
    if (!round.end(ulSum)) {
      state.SkipWithError("the words' mean is far from uniform");
      return;
    }
  }
  std::mt19937 again(1234);
  if (const std::string error = round.check(state, [&again] { return static_cast<u32>(again()); }); !error.empty()) {
    state.SkipWithError(error.c_str());
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
