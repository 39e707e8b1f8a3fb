// Name hash throughput against the same hash written plainly, and hash-table lookups against std::unordered_map.
// NameHash: each pass sums the hashes of 4,096 names, a window of its own (from its own start) into 8,192, and every
// pass's sum must be the one the other implementation gives for that window; GRINDLOW_BENCH_SKIP
// "NameHash.<side>.names" leaves out every second name, "NameHash.baseline.fold" the plain hash's clearing of bit 5.
// <Simple|Dynamic>HashTableFind: each pass looks every probe up, from a probe of its own on (wrapping round), and
// folds each probe's key with the value found, in that order, into the pass's witness, and counts the misses; every
// pass's witness must be that of the keys themselves (hits) or of nothing found (misses) in its order, checked after
// the loop; "<case>.<side>.probes" leaves out every second probe. "<case>.<side>.everysecond" leaves out every second
// pass. The steps of CBenchCheat leave out the last name or probe of each pass ("partial"), give the previous
// pass's result in every third ("repeat"), give the result of a pass made before the loop instead of working
// ("replay"), or change one name's hash or one probe's answer in the middle pass ("middle").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "Bench/BenchCheck.h"
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

constexpr size_t gc_uiNAMES_PER_PASS = 4096;
constexpr size_t gc_uiNAME_POOL = 2 * gc_uiNAMES_PER_PASS;

// Where pass iPass starts its window of names in the pool.
size_t nameWindowStart(int64_t iPass) {
  return static_cast<size_t>(iPass + 1) * 1031u % (gc_uiNAME_POOL - gc_uiNAMES_PER_PASS + 1);
}

// The sum of the hashes of every uiStride-th of uiCount names from uiStart on.
template <uint32_t (*HASH)(const char*)>
uint32_t hashSum(const std::vector<std::string>& names, size_t uiStart, size_t uiCount, size_t uiStride) {
  uint32_t uiSum = 0;
  for (size_t i = uiStart; i < uiStart + uiCount; i += uiStride) {
    uiSum += HASH(names[i].c_str());
  }
  return uiSum;
}

// Sums the hashes of each pass's window of names (HASH, or UNFOLDED when pSide's fold step is left out); after the
// loop every pass's sum must be the one the other implementation gives for its window.
template <uint32_t (*HASH)(const char*), uint32_t (*UNFOLDED)(const char*), uint32_t (*OTHER)(const char*)>
void hashNames(benchmark::State& state, const char* pSide) {
  const std::vector<std::string> names = makeNames(gc_uiNAME_POOL, 1);
  // The other implementation's hashes as running sums: a window's sum is the difference of two.
  std::vector<uint32_t> prefix(1, 0);
  std::vector<int64_t> bytes(1, 0);
  for (const std::string& s : names) {
    if (HASH(s.c_str()) != OTHER(s.c_str())) {
      state.SkipWithError("the two name hashes differ");
      return;
    }
    prefix.push_back(prefix.back() + OTHER(s.c_str()));
    bytes.push_back(bytes.back() + static_cast<int64_t>(s.size()));
  }
  const std::string side = std::string("NameHash.") + pSide;
  const bool bFold = !benchSkips(side + ".fold");
  const size_t uiStride = benchSkips(side + ".names") ? 2 : 1;
  const CBenchCheat cheat(side);
  const size_t uiCount = gc_uiNAMES_PER_PASS - (cheat.partial() ? 1 : 0);
  const uint32_t uiReplayed = hashSum<HASH>(names, nameWindowStart(0), gc_uiNAMES_PER_PASS, 1);
  CBenchEverySecond everySecond(state, side + ".everysecond");
  CBenchFrameRecord<uint32_t> sums(state, 1);
  int64_t iPass = 0;
  uint32_t uiAcc = 0;
  for (auto _ : state) {
    const size_t uiStart = nameWindowStart(iPass);
    if (cheat.replays()) {
      uiAcc = uiReplayed;
    } else if (everySecond.leavesOut()) {
      uiAcc = 0;
    } else if (!cheat.repeats(iPass)) {
      uiAcc = bFold ? hashSum<HASH>(names, uiStart, uiCount, uiStride)
                    : hashSum<UNFOLDED>(names, uiStart, uiCount, uiStride);
      if (cheat.changes(iPass, state.max_iterations)) {
        const uint32_t uiFirst = HASH(names[uiStart].c_str());
        uiAcc = uiAcc - uiFirst + (uiFirst ^ 1u);
      }
    }
    benchmark::DoNotOptimize(uiAcc);
    sums.add(uiAcc);
    ++iPass;
  }
  const std::string problem = sums.check(state.iterations(), [&](int64_t i, const uint32_t* puiSum) {
    const size_t uiStart = nameWindowStart(i);
    return *puiSum == prefix[uiStart + gc_uiNAMES_PER_PASS] - prefix[uiStart]
               ? std::string()
               : "its hashes add up to another sum than the other implementation's";
  });
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  int64_t iBytes = 0;
  for (int64_t i = 0; i < state.iterations(); ++i) {
    iBytes += bytes[nameWindowStart(i) + gc_uiNAMES_PER_PASS] - bytes[nameWindowStart(i)];
  }
  state.SetBytesProcessed(iBytes);
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

// What the look-ups of one pass leave: each probe's key with the value found (the key itself for a hit, 0 for a
// miss) folded in the order of the pass, and the number of misses.
struct SPassWitness {
  uint64_t ulFold = 0xCBF29CE484222325ull;
  size_t uiMisses = 0;
  void add(uint32_t uiKey, uintptr_t uiValue) {
    ulFold = (ulFold ^ (uint64_t(uiKey) << 32 | uint32_t(uiValue))) * 0x100000001B3ull;
    uiMisses += uiValue == 0 ? 1 : 0;
  }
  bool operator==(const SPassWitness&) const = default;
};

// Where pass iPass starts going through the probes (wrapping round).
size_t probeStart(int64_t iPass, size_t uiProbes) { return static_cast<size_t>(iPass + 1) * 389u % uiProbes; }

// The probes' own places from uiStart on, as the passes take them.
template <typename FVisit>
void forProbesFrom(size_t uiStart, size_t uiProbes, FVisit visit) {
  for (size_t i = 0, k = uiStart; i < uiProbes; ++i, k = k + 1 == uiProbes ? 0 : k + 1) visit(k);
}

// The probes' look-ups, pass after pass, each from its own start (find(key): the value found, 0 for none), every
// uiStride-th only when the side's probes step is left out; after the loop every pass's witness must be that of the
// probes answered with their keys (hits) or with nothing (misses) in its order.
template <typename FFind>
void runProbes(benchmark::State& state, const std::string& side, const SLookupSet& set, bool bHits, size_t uiStride,
               FFind find) {
  const size_t uiProbes = set.probes.size();
  // What every start wants, worked out once: a pass costs as much as its check.
  std::vector<SPassWitness> wanted(uiProbes);
  for (size_t uiStart = 0; uiStart < uiProbes; ++uiStart) {
    forProbesFrom(uiStart, uiProbes, [&](size_t k) { wanted[uiStart].add(set.probes[k], bHits ? set.probes[k] : 0); });
  }
  const CBenchCheat cheat(side);
  CBenchEverySecond everySecond(state, side + ".everysecond");
  SPassWitness replayed;
  forProbesFrom(probeStart(0, uiProbes), uiProbes, [&](size_t k) { replayed.add(set.probes[k], find(set.probes[k])); });
  const size_t uiCount = uiProbes - (cheat.partial() ? 1 : 0);
  CBenchFrameRecord<SPassWitness> witnesses(state, 1);
  SPassWitness witness;
  int64_t iPass = 0;
  for (auto _ : state) {
    if (cheat.replays()) {
      witness = replayed;
    } else if (!cheat.repeats(iPass)) {
      witness = SPassWitness{};
      size_t k = probeStart(iPass, uiProbes);
      for (size_t i = everySecond.leavesOut() ? uiCount : 0; i < uiCount; i += uiStride) {
        uintptr_t uiValue = find(set.probes[k]);
        if (i == 0 && cheat.changes(iPass, state.max_iterations)) uiValue ^= 1;
        witness.add(set.probes[k], uiValue);
        k += uiStride;
        if (k >= uiProbes) k -= uiProbes;
      }
    }
    benchmark::DoNotOptimize(witness);
    witnesses.add(witness);
    ++iPass;
  }
  const std::string problem = witnesses.check(state.iterations(), [&](int64_t i, const SPassWitness* pWitness) {
    return *pWitness == wanted[probeStart(i, uiProbes)] ? std::string() : "its look-ups answered other values";
  });
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(uiProbes));
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
  runProbes(state, std::string(pCase) + ".engine", set, state.range(1) != 0, probeStride(pCase, "engine"),
            [&](uint32_t uiKey) { return uintptr_t(table.find(uiKey)); });
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
  runProbes(state, std::string(pCase) + ".baseline", set, state.range(1) != 0, probeStride(pCase, "baseline"),
            [&](uint32_t uiKey) {
              const auto it = table.find(uiKey);
              return it == table.end() ? uintptr_t(0) : it->second;
            });
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
