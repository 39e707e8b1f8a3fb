// 2D canvas benchmarks, engine against a common baseline with the same work:
// - SpriteSort: ordering 3,000 queued sprites (random layers 0..3999, four signatures) by layer, then signature
//   address (Cl2d::sortSprites on the queue's parallel arrays), against std::sort of a u16 index array over the same
//   (layer, signature) keys kept the same way. The keys change in every iteration: both sides copy the next of 16
//   sets of keys into their key arrays (the queue's own on the engine's side), then sort (both refill the index
//   array first).
// - SpriteSortSameKeys: the same call when the keys are those of the last sort, as when a frame queues what the last
//   one did: the engine compares the keys with the last sort's and copies that sort's order, against the same
//   compare of plain arrays kept from the last sort and a copy of its order.
// Both sides check, after the run, that the last iteration's indices visit every sprite once in the order of that
// iteration's keys. GRINDLOW_BENCH_SKIP "SpriteSort.<side>.keys" leaves out the copy of the new keys,
// "SpriteSort.<side>.sort" the sort, "SpriteSortSameKeys.engine.sort" the call and
// "SpriteSortSameKeys.baseline.copy" the copy of the kept order (each iteration first spoils the first and the last
// index, so that an order not written again shows).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

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
  size_t uiSet = 0;
  for (auto _ : state) {
    uiSet = (uiSet + 1) % gc_iKEY_SETS;
    if (bKeys) copyIntoQueue(sets[uiSet]);
    if (bSort) Cl2d::sortSprites();
    benchmark::DoNotOptimize(Cl2d::mp_spriteQueue.mp_auSortedIndex[0]);
  }
  if (!CQueuedSprites::sortedAs(sets[uiSet])) {
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
  size_t uiSet = 0;
  for (auto _ : state) {
    uiSet = (uiSet + 1) % gc_iKEY_SETS;
    if (bKeys) {
      std::copy(sets[uiSet].layers.begin(), sets[uiSet].layers.end(), keys.layers.begin());
      std::copy(sets[uiSet].signatures.begin(), sets[uiSet].signatures.end(), keys.signatures.begin());
    }
    for (int i = 0; i < gc_iSPRITES; ++i) indices[i] = static_cast<u16>(i);
    if (bSort) {
      std::sort(indices.begin(), indices.end(), [&keys](u16 a, u16 b) {
        return keyLess(keys.layers[a], keys.signatures[a], keys.layers[b], keys.signatures[b]);
      });
    }
    benchmark::DoNotOptimize(indices[0]);
  }
  if (!inOrder(indices.data(), sets[uiSet])) {
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
  const bool bSort = !benchSkips("SpriteSortSameKeys.engine.sort");
  for (auto _ : state) {
    spoil(Cl2d::mp_spriteQueue.mp_auSortedIndex);
    if (bSort) Cl2d::sortSprites();
    benchmark::DoNotOptimize(Cl2d::mp_spriteQueue.mp_auSortedIndex[0]);
  }
  if (!CQueuedSprites::sortedAs(keys)) state.SkipWithError("the queue is not in the (layer, signature) order");
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
  const bool bCopy = !benchSkips("SpriteSortSameKeys.baseline.copy");
  for (auto _ : state) {
    spoil(indices.data());
    const bool bSame =
        std::memcmp(lastKeys.layers.data(), keys.layers.data(), gc_iSPRITES * sizeof(u16)) == 0 &&
        std::memcmp(lastKeys.signatures.data(), keys.signatures.data(), gc_iSPRITES * sizeof(keys.signatures[0])) == 0;
    if (bSame && bCopy) std::memcpy(indices.data(), lastOrder.data(), gc_iSPRITES * sizeof(u16));
    benchmark::DoNotOptimize(indices[0]);
  }
  if (!inOrder(indices.data(), keys)) state.SkipWithError("the indices are not in the (layer, signature) order");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iSPRITES);
}
BENCHMARK(BM_Baseline_SpriteSortSameKeys)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
