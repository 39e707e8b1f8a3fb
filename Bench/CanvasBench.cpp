// 2D canvas benchmarks, engine against a common baseline with the same work:
// - SpriteSort: ordering 3,000 queued sprites (random layers 0..3999, four signatures) by layer, then signature
//   address (Cl2d::sortSprites on the queue's parallel arrays), against std::sort of a u16 index array over the same
//   (layer, signature) keys kept the same way. The keys change in every iteration: both sides copy the next of 16
//   sets of keys into their key arrays (the queue's own on the engine's side), then sort (both refill the index
//   array first).
// - SpriteSortSameKeys: the same call when the keys are those of the last sort, as when a frame queues what the last
//   one did: the engine compares the keys with the last sort's and copies that sort's order, against the same
//   compare of plain arrays kept from the last sort and a copy of its order.
// Every iteration folds a sample of its order into a running hash in the loop (SpriteSort: the keys at every 47th
// place and the last, which any order sorted by the same keys shares; SpriteSortSameKeys: the indices there), which
// must be the hash of the same places of the order sorted untimed; and both sides check, after the run, that the
// last iteration's indices visit every sprite once in the order of that iteration's keys. GRINDLOW_BENCH_SKIP
// "SpriteSort.<side>.keys" leaves out the copy of the new keys, "SpriteSort.<side>.sort" the sort,
// "SpriteSortSameKeys.engine.sort" the call and "SpriteSortSameKeys.baseline.copy" the copy of the kept order (each
// iteration first spoils the first and the last index, so that an order not written again shows); ".everysecond"
// that step in every second iteration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/UI/Cl2d.h"

namespace {

constexpr int gc_iSPRITES = 3000;
constexpr int gc_iSIGNATURES = 4;
constexpr int gc_iKEY_SETS = 16;

SRenderSignature g_aSignatures[gc_iSIGNATURES];

struct SKeys {
  std::vector<u16> layers;
  std::vector<const SRenderSignature*> signatures;
};

// The 16 sets of keys the iterations take in turn.
const std::vector<SKeys>& keySets() {
  static const std::vector<SKeys> s = [] {
    std::vector<SKeys> sets(gc_iKEY_SETS);
    std::mt19937 random(2026);
    for (SKeys& k : sets) {
      for (int i = 0; i < gc_iSPRITES; ++i) {
        k.layers.push_back(static_cast<u16>(random() % (gc_u2D_MAX_LAYER + 1)));
        k.signatures.push_back(&g_aSignatures[random() % gc_iSIGNATURES]);
      }
    }
    return sets;
  }();
  return s;
}

// Keys that are none of the sets' (every sprite on layer 0 with the first signature): what the arrays hold before
// the first iteration, so that an iteration that does not copy its keys leaves keys of no set.
SKeys startingKeys() {
  return SKeys{std::vector<u16>(gc_iSPRITES, 0), std::vector<const SRenderSignature*>(gc_iSPRITES, &g_aSignatures[0])};
}

bool keyLess(u16 uLayerA, const SRenderSignature* pA, u16 uLayerB, const SRenderSignature* pB) {
  return uLayerA != uLayerB ? uLayerA < uLayerB
                            : reinterpret_cast<std::uintptr_t>(pA) < reinterpret_cast<std::uintptr_t>(pB);
}

// Whether the indices visit every sprite once in (layer, signature) order of the keys.
bool inOrder(const u16* pIndices, const SKeys& keys) {
  std::vector<bool> seen(gc_iSPRITES, false);
  for (int i = 0; i < gc_iSPRITES; ++i) {
    if (pIndices[i] >= gc_iSPRITES || seen[pIndices[i]]) return false;
    seen[pIndices[i]] = true;
  }
  for (int i = 1; i < gc_iSPRITES; ++i) {
    const u16 a = pIndices[i - 1];
    const u16 b = pIndices[i];
    if (keyLess(keys.layers[b], keys.signatures[b], keys.layers[a], keys.signatures[a])) return false;
  }
  return true;
}

// The places of an order that an iteration's witness reads: every 47th and the last.
const std::vector<int>& witnessPlaces() {
  static const std::vector<int> s_places = [] {
    std::vector<int> places;
    for (int i = 0; i < gc_iSPRITES; i += 47) places.push_back(i);
    if (places.back() != gc_iSPRITES - 1) places.push_back(gc_iSPRITES - 1);
    return places;
  }();
  return s_places;
}

// An order's witness: the (layer, signature) keys at the witness's places (the same for any order sorted by the
// same keys).
u64 keysWitness(const u16* pIndices, const u16* pLayers, const SRenderSignature* const* ppSignatures) {
  u64 uiHash = 0;
  for (int i : witnessPlaces()) {
    const u16 uIndex = pIndices[i];
    uiHash = benchFold(uiHash, static_cast<u32>(pLayers[uIndex]),
                       static_cast<u32>(reinterpret_cast<std::uintptr_t>(ppSignatures[uIndex])));
  }
  return uiHash;
}

// The indices at the same places (an order copied from a kept one is the same to the index).
u64 indicesWitness(const u16* pIndices) {
  u64 uiHash = 0;
  for (int i : witnessPlaces()) uiHash = benchFold(uiHash, static_cast<u32>(pIndices[i]));
  return uiHash;
}

// An empty answer when SpriteSort's iteration i (which sorts set (i + 1) mod 16) left the witness of that set's
// order.
std::string checkKeysWitness(int64_t i, const u64* puiWitness) {
  static const std::vector<u64> s_perSet = [] {
    std::vector<u64> perSet;
    for (const SKeys& keys : keySets()) {
      std::vector<u16> order(gc_iSPRITES);
      for (int k = 0; k < gc_iSPRITES; ++k) order[k] = static_cast<u16>(k);
      std::sort(order.begin(), order.end(), [&keys](u16 a, u16 b) {
        return keyLess(keys.layers[a], keys.signatures[a], keys.layers[b], keys.signatures[b]);
      });
      perSet.push_back(keysWitness(order.data(), keys.layers.data(), keys.signatures.data()));
    }
    return perSet;
  }();
  return *puiWitness == s_perSet[static_cast<size_t>((i + 1) % gc_iKEY_SETS)] ? std::string()
                                                                              : "the order is not its keys' order";
}

// Puts the keys into the engine's queue, as the sprites of a frame leave them.
void copyIntoQueue(const SKeys& keys) {
  std::memcpy(Cl2d::mp_spriteQueue.mp_auLayer, keys.layers.data(), gc_iSPRITES * sizeof(u16));
  std::memcpy(Cl2d::mp_spriteQueue.mp_apSignature, keys.signatures.data(),
              gc_iSPRITES * sizeof(Cl2d::mp_spriteQueue.mp_apSignature[0]));
}

// The 2D canvas with a queue of 3,000 sprites of the given keys, ended when it goes.
class CQueuedSprites {
 public:
  explicit CQueuedSprites(const SKeys& keys) {
    ClGraphics::mp_fScreenWidth = 1920.0f;
    ClGraphics::mp_fScreenHeight = 1080.0f;
    Cl2d::initialise();
    for (int i = 0; i < gc_iSPRITES; ++i) {
      Cl2d::addSprite(keys.layers[i], keys.signatures[i], 0xFFFFFFFFu, 0.0f, 0.0f, 1.0f, 1.0f, {0.0f, 0.0f},
                      {1.0f, 1.0f});
    }
  }
  ~CQueuedSprites() {
    Cl2d::clearSprites();
    Cl2d::terminate();
  }
  // Whether the queue holds the 3,000 sprites sorted in the keys' order.
  static bool sortedAs(const SKeys& keys) {
    const S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
    return Cl2d::getNumSprites() == gc_iSPRITES && Cl2d::areSpritesSorted() && inOrder(q.mp_auSortedIndex, keys);
  }
};

void BM_Engine_SpriteSort(benchmark::State& state) {
  const std::vector<SKeys>& sets = keySets();
  CQueuedSprites queue(startingKeys());
  const bool bKeys = !benchSkips("SpriteSort.engine.keys");
  const bool bSort = !benchSkips("SpriteSort.engine.sort");
  const CBenchEverySecond everySecond("SpriteSort.engine");
  CBenchFrameRecord<u64> witnesses(state, 1);
  const S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
  size_t uiSet = 0;
  int64_t iIteration = 0;
  for (auto _ : state) {
    uiSet = (uiSet + 1) % gc_iKEY_SETS;
    if (bKeys) copyIntoQueue(sets[uiSet]);
    if (bSort && !everySecond.leavesOut(iIteration++)) Cl2d::sortSprites();
    witnesses.add(keysWitness(q.mp_auSortedIndex, q.mp_auLayer, q.mp_apSignature));
  }
  const std::string error = witnesses.check(state.iterations(), &checkKeysWitness);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
  } else if (!CQueuedSprites::sortedAs(sets[uiSet])) {
    state.SkipWithError("the queue is not in the (layer, signature) order of the last keys");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iSPRITES);
}
BENCHMARK(BM_Engine_SpriteSort)->Unit(benchmark::kMicrosecond);

void BM_Baseline_SpriteSort(benchmark::State& state) {
  const std::vector<SKeys>& sets = keySets();
  SKeys keys = startingKeys();
  std::vector<u16> indices(gc_iSPRITES);
  const bool bKeys = !benchSkips("SpriteSort.baseline.keys");
  const bool bSort = !benchSkips("SpriteSort.baseline.sort");
  const CBenchEverySecond everySecond("SpriteSort.baseline");
  CBenchFrameRecord<u64> witnesses(state, 1);
  size_t uiSet = 0;
  int64_t iIteration = 0;
  for (auto _ : state) {
    uiSet = (uiSet + 1) % gc_iKEY_SETS;
    if (bKeys) {
      std::copy(sets[uiSet].layers.begin(), sets[uiSet].layers.end(), keys.layers.begin());
      std::copy(sets[uiSet].signatures.begin(), sets[uiSet].signatures.end(), keys.signatures.begin());
    }
    for (int i = 0; i < gc_iSPRITES; ++i) indices[i] = static_cast<u16>(i);
    if (bSort && !everySecond.leavesOut(iIteration++)) {
      std::sort(indices.begin(), indices.end(), [&keys](u16 a, u16 b) {
        return keyLess(keys.layers[a], keys.signatures[a], keys.layers[b], keys.signatures[b]);
      });
    }
    witnesses.add(keysWitness(indices.data(), keys.layers.data(), keys.signatures.data()));
  }
  const std::string error = witnesses.check(state.iterations(), &checkKeysWitness);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
  } else if (!inOrder(indices.data(), sets[uiSet])) {
    state.SkipWithError("the indices are not in the (layer, signature) order of the last keys");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iSPRITES);
}
BENCHMARK(BM_Baseline_SpriteSort)->Unit(benchmark::kMicrosecond);

// Makes the first and the last index of an order invalid, so that a check sees whether the order was written again.
void spoil(u16* pIndices) {
  pIndices[0] = 0xFFFFu;
  pIndices[gc_iSPRITES - 1] = 0xFFFFu;
}

void BM_Engine_SpriteSortSameKeys(benchmark::State& state) {
  const SKeys& keys = keySets()[0];
  CQueuedSprites queue(keys);
  Cl2d::sortSprites();  // the sort whose keys every iteration repeats
  const u64 uiWanted = indicesWitness(Cl2d::mp_spriteQueue.mp_auSortedIndex);
  const bool bSort = !benchSkips("SpriteSortSameKeys.engine.sort");
  const CBenchEverySecond everySecond("SpriteSortSameKeys.engine");
  CBenchFrameRecord<u64> witnesses(state, 1);
  int64_t iIteration = 0;
  for (auto _ : state) {
    spoil(Cl2d::mp_spriteQueue.mp_auSortedIndex);
    if (bSort && !everySecond.leavesOut(iIteration++)) Cl2d::sortSprites();
    witnesses.add(indicesWitness(Cl2d::mp_spriteQueue.mp_auSortedIndex));
  }
  const std::string error = witnesses.check(state.iterations(), [uiWanted](int64_t, const u64* puiWitness) {
    return *puiWitness == uiWanted ? std::string() : "the order is not the kept one";
  });
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
  } else if (!CQueuedSprites::sortedAs(keys)) {
    state.SkipWithError("the queue is not in the (layer, signature) order");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iSPRITES);
}
BENCHMARK(BM_Engine_SpriteSortSameKeys)->Unit(benchmark::kMicrosecond);

void BM_Baseline_SpriteSortSameKeys(benchmark::State& state) {
  const SKeys& keys = keySets()[0];
  // The last sort's keys and order, kept as a plain program would keep them.
  const SKeys lastKeys = keys;
  std::vector<u16> lastOrder(gc_iSPRITES);
  for (int i = 0; i < gc_iSPRITES; ++i) lastOrder[i] = static_cast<u16>(i);
  std::sort(lastOrder.begin(), lastOrder.end(), [&keys](u16 a, u16 b) {
    return keyLess(keys.layers[a], keys.signatures[a], keys.layers[b], keys.signatures[b]);
  });
  std::vector<u16> indices(gc_iSPRITES);
  const u64 uiWanted = indicesWitness(lastOrder.data());
  const bool bCopy = !benchSkips("SpriteSortSameKeys.baseline.copy");
  const CBenchEverySecond everySecond("SpriteSortSameKeys.baseline");
  CBenchFrameRecord<u64> witnesses(state, 1);
  int64_t iIteration = 0;
  for (auto _ : state) {
    spoil(indices.data());
    const bool bSame =
        std::memcmp(lastKeys.layers.data(), keys.layers.data(), gc_iSPRITES * sizeof(u16)) == 0 &&
        std::memcmp(lastKeys.signatures.data(), keys.signatures.data(), gc_iSPRITES * sizeof(keys.signatures[0])) == 0;
    if (bSame && bCopy && !everySecond.leavesOut(iIteration++)) {
      std::memcpy(indices.data(), lastOrder.data(), gc_iSPRITES * sizeof(u16));
    }
    witnesses.add(indicesWitness(indices.data()));
  }
  const std::string error = witnesses.check(state.iterations(), [uiWanted](int64_t, const u64* puiWitness) {
    return *puiWitness == uiWanted ? std::string() : "the order is not the kept one";
  });
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
  } else if (!inOrder(indices.data(), keys)) {
    state.SkipWithError("the indices are not in the (layer, signature) order");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iSPRITES);
}
BENCHMARK(BM_Baseline_SpriteSortSameKeys)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
