// Name hash throughput against the same hash written plainly, and hash-table lookups against std::unordered_map.
// NameHash: both sides sum the hashes of 4,096 names, and every pass must give the sum the other implementation
// gives; GRINDLOW_BENCH_SKIP "NameHash.<side>.names" leaves out every second name, "NameHash.baseline.fold" the
// plain hash's clearing of bit 5. <Simple|Dynamic>HashTableFind: both sides add up the values found and count the
// misses of each pass, which must be the stored keys' sum with no miss (hits) or 0 with a miss a probe (misses);
// "<case>.<side>.probes" leaves out every second probe. "<case>.<side>.everysecond" leaves out every second pass.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "Bench/BenchSkip.h"
#include "Corvane/ADT/ClDynamicHashTable.h"
#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/ADT/KvStrHash.h"

namespace {

// Path-like names of 8 to 64 characters, as archives and data scripts name things.
std::vector<std::string> makeNames(size_t uiCount, unsigned uiSeed) {
  static const char* const apFolders[] = {"Scripts", "Levels", "Textures", "UI", "Sounds", "Effects", "Enemies",
                                          "AnimationsGame", "Fonts", "Backgrounds"};
  static const char* const apExt[] = {".kds", ".dds", ".fxo", ".wav", ".png"};
  std::mt19937 rng(uiSeed);
  std::vector<std::string> names;
  while (names.size() < uiCount) {
    std::string name;
    const int iDepth = 1 + rng() % 3;
    for (int d = 0; d < iDepth; ++d) {
      name += apFolders[rng() % 10];
      name += '\\';
    }
    name += "Item_" + std::to_string(rng() % 100000);
    name += apExt[rng() % 5];
    if (name.size() >= 8 && name.size() <= 64) {
      names.push_back(name);
    }
  }
  return names;
}

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) {
      c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    }
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> gc_CRC = makeCrcTable();

// The same name hash written plainly: a table-driven CRC-32 walk a byte at a time, from 0, bit 5 of every
// byte cleared, an arithmetic shift of the signed accumulator, no final complement.
template <uint32_t FOLD>
uint32_t plainHashWithFold(const char* pText) {
  int32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pText); *p; ++p) {
    h = static_cast<int32_t>(gc_CRC[(static_cast<uint32_t>(h) ^ (*p & FOLD)) & 0xFFu]) ^ (h >> 8);
  }
  return static_cast<uint32_t>(h);
}
uint32_t plainNameHash(const char* pText) { return plainHashWithFold<0xDFu>(pText); }
// The same without clearing bit 5 ("NameHash.baseline.fold").
uint32_t plainHashUnfolded(const char* pText) { return plainHashWithFold<0xFFu>(pText); }

uint32_t kvStrHash(const char* pText) { return KvStrHash(pText); }

// The sum of the hashes of every uiStride-th name.
template <uint32_t (*HASH)(const char*)>
uint32_t hashSum(const std::vector<std::string>& names, size_t uiStride) {
  uint32_t uiSum = 0;
  for (size_t i = 0; i < names.size(); i += uiStride) {
    uiSum += HASH(names[i].c_str());
  }
  return uiSum;
}

// Sums the hashes of 4096 names (HASH, or UNFOLDED when pSide's fold step is left out); every pass must give the
// sum the other implementation gives.
template <uint32_t (*HASH)(const char*), uint32_t (*UNFOLDED)(const char*), uint32_t (*OTHER)(const char*)>
void hashNames(benchmark::State& state, const char* pSide) {
  const std::vector<std::string> names = makeNames(4096, 1);
  int64_t iBytes = 0;
  uint32_t uiExpected = 0;
  for (const std::string& s : names) {
    iBytes += static_cast<int64_t>(s.size());
    if (HASH(s.c_str()) != OTHER(s.c_str())) {
      state.SkipWithError("the two name hashes differ");
      return;
    }
    uiExpected += OTHER(s.c_str());
  }
  const std::string side = std::string("NameHash.") + pSide;
  const bool bFold = !benchSkips(side + ".fold");
  const size_t uiStride = benchSkips(side + ".names") ? 2 : 1;
  CBenchEverySecond everySecond(state, side + ".everysecond");
  for (auto _ : state) {
    const uint32_t uiAcc = everySecond.leavesOut() ? 0
                           : bFold                 ? hashSum<HASH>(names, uiStride)
                                                   : hashSum<UNFOLDED>(names, uiStride);
    benchmark::DoNotOptimize(uiAcc);
    if (uiAcc != uiExpected) {
      state.SkipWithError("a pass's hashes add up to another sum than the other implementation's");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * iBytes);
}

// The engine's hash has no fold to leave out.
void BM_Engine_NameHash(benchmark::State& state) { hashNames<kvStrHash, kvStrHash, plainNameHash>(state, "engine"); }
void BM_Baseline_NameHash(benchmark::State& state) {
  hashNames<plainNameHash, plainHashUnfolded, kvStrHash>(state, "baseline");
}
BENCHMARK(BM_Engine_NameHash);
BENCHMARK(BM_Baseline_NameHash);

// A table of 1024 slots holding state.range(0) names (1024: full); lookups are hits (range(1) = 1) or misses of other
// names, in a shuffled order. The engine tables report the slots a look-up examines ("slots").
struct SLookupSet {
  std::vector<uint32_t> stored;
  std::vector<uint32_t> probes;
};

SLookupSet makeLookupSet(int iEntries, bool bHits) {
  const std::vector<std::string> names = makeNames(static_cast<size_t>(iEntries) * 2, 2);
  SLookupSet set;
  std::vector<uint32_t> others;
  for (size_t i = 0; i < names.size(); ++i) {
    const uint32_t uiHash = KvStrHash(names[i].c_str());
    if (uiHash == 0 || std::find(set.stored.begin(), set.stored.end(), uiHash) != set.stored.end()) {
      continue;
    }
    (static_cast<int>(set.stored.size()) < iEntries ? set.stored : others).push_back(uiHash);
  }
  set.probes = bHits ? set.stored : others;
  std::shuffle(set.probes.begin(), set.probes.end(), std::mt19937(3));
  return set;
}

// What the look-ups of one pass add up to: the values found (the keys themselves for hits, 0 for misses) and the
// number of misses.
struct SPassSum {
  uintptr_t uiValues = 0;
  size_t uiMisses = 0;
  void add(uintptr_t uiValue) {
    uiValues += uiValue;
    uiMisses += uiValue == 0 ? 1 : 0;
  }
  bool operator==(const SPassSum&) const = default;
};
SPassSum expectedSum(const SLookupSet& set, bool bHits) {
  SPassSum sum;
  for (uint32_t uiKey : set.probes) {
    sum.add(bHits ? uiKey : 0);
  }
  return sum;
}

// The probes of a pass are taken uiStride apart: 1, or 2 when pSide's probes step is left out.
size_t probeStride(const char* pCase, const char* pSide) {
  return benchSkips(std::string(pCase) + "." + pSide + ".probes") ? 2 : 1;
}

// Whether every probe finds its own key as the value (hits) or nothing (misses).
template <typename Find>
bool findsAsExpected(const SLookupSet& set, bool bHits, Find find) {
  for (uint32_t uiKey : set.probes) {
    if (find(uiKey) != (bHits ? uiKey : 0)) return false;
  }
  return !set.probes.empty();
}

template <typename Table>
void tableFind(benchmark::State& state, const char* pCase) {
  const SLookupSet set = makeLookupSet(static_cast<int>(state.range(0)), state.range(1) != 0);
  Table table;
  table.initialize(1024);
  for (uint32_t uiKey : set.stored) {
    table.insert(uiKey, uiKey);
  }
  if (!findsAsExpected(set, state.range(1) != 0, [&](uint32_t uiKey) { return uintptr_t(table.find(uiKey)); })) {
    state.SkipWithError("the table does not answer its keys");
    return;
  }
  const SPassSum expected = expectedSum(set, state.range(1) != 0);
  const size_t uiStride = probeStride(pCase, "engine");
  CBenchEverySecond everySecond(state, std::string(pCase) + ".engine.everysecond");
  for (auto _ : state) {
    SPassSum sum;
    for (size_t i = everySecond.leavesOut() ? set.probes.size() : 0; i < set.probes.size(); i += uiStride) {
      sum.add(table.find(set.probes[i]));
    }
    benchmark::DoNotOptimize(sum);
    if (sum != expected) {
      state.SkipWithError("a pass of look-ups added up wrong");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(set.probes.size()));
  // The run a look-up without a bound would examine on average: the home slot and the walk down to the key or
  // an empty slot, at most all 1024 (the tables' reaches stop most misses sooner).
  int64_t iSlots = 0;
  for (uint32_t uiKey : set.probes) {
    uint32_t uiSlot = uiKey & 1023u;
    for (int iStep = 0; iStep < 1024; ++iStep, uiSlot = (uiSlot - 1) & 1023u) {
      ++iSlots;
      if (table.getKeyAt(static_cast<i32>(uiSlot)) == uiKey || table.getKeyAt(static_cast<i32>(uiSlot)) == 0) {
        break;
      }
    }
  }
  state.counters["slots"] = static_cast<double>(iSlots) / static_cast<double>(set.probes.size());
  table.terminate();
}

void stdMapFind(benchmark::State& state, const char* pCase) {
  const SLookupSet set = makeLookupSet(static_cast<int>(state.range(0)), state.range(1) != 0);
  // As many buckets as the engine table has slots, so both run at the same load.
  std::unordered_map<uint32_t, uintptr_t> table;
  table.rehash(1024);
  for (uint32_t uiKey : set.stored) {
    table.emplace(uiKey, uiKey);
  }
  if (!findsAsExpected(set, state.range(1) != 0, [&](uint32_t uiKey) {
        const auto it = table.find(uiKey);
        return it == table.end() ? uintptr_t(0) : it->second;
      })) {
    state.SkipWithError("the map does not answer its keys");
    return;
  }
  const SPassSum expected = expectedSum(set, state.range(1) != 0);
  const size_t uiStride = probeStride(pCase, "baseline");
  CBenchEverySecond everySecond(state, std::string(pCase) + ".baseline.everysecond");
  for (auto _ : state) {
    SPassSum sum;
    for (size_t i = everySecond.leavesOut() ? set.probes.size() : 0; i < set.probes.size(); i += uiStride) {
      const auto it = table.find(set.probes[i]);
      sum.add(it == table.end() ? 0 : it->second);
    }
    benchmark::DoNotOptimize(sum);
    if (sum != expected) {
      state.SkipWithError("a pass of look-ups added up wrong");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(set.probes.size()));
}

// Each engine table is paired with the same std::unordered_map run.
void BM_Engine_SimpleHashTableFind(benchmark::State& state) {
  tableFind<ClSimpleHashTable>(state, "SimpleHashTableFind");
}
void BM_Baseline_SimpleHashTableFind(benchmark::State& state) { stdMapFind(state, "SimpleHashTableFind"); }
void BM_Engine_DynamicHashTableFind(benchmark::State& state) {
  tableFind<ClDynamicHashTable>(state, "DynamicHashTableFind");
}
void BM_Baseline_DynamicHashTableFind(benchmark::State& state) { stdMapFind(state, "DynamicHashTableFind"); }

// 512, 768, 900, 960 and 1024 of 1024 slots filled; hits (1) and misses (0).
#define KV_LOOKUP_ARGS ->ArgsProduct({{512, 768, 900, 960, 1024}, {1, 0}})->ArgNames({"entries", "hit"})
BENCHMARK(BM_Engine_SimpleHashTableFind) KV_LOOKUP_ARGS;
BENCHMARK(BM_Baseline_SimpleHashTableFind) KV_LOOKUP_ARGS;
BENCHMARK(BM_Engine_DynamicHashTableFind) KV_LOOKUP_ARGS;
BENCHMARK(BM_Baseline_DynamicHashTableFind) KV_LOOKUP_ARGS;

}  // namespace

BENCHMARK_MAIN();
