// 2D canvas benchmarks, engine against a common baseline with the same work:
// - SpriteSort: ordering 3,000 queued sprites (random layers 0..3999, four signatures) by layer, then signature
//   address (Cl2d::sortSprites on the queue's parallel arrays), against std::sort of a u16 index array over the same
//   (layer, signature) keys kept the same way. The keys change in every iteration, and no two iterations' keys are
//   alike: iteration i takes the next of 16 sets of keys with every layer moved on by a step of its round of 16
//   (round past the last layer), written into the side's key arrays (the queue's own on the engine's side), then
//   sorts (both refill the index array first).
// - SpriteSortSameKeys: the same call when the keys are those of the last sort, as when a frame queues what the last
//   one did: the engine compares the keys with the last sort's and copies that sort's order, against the same
//   compare of plain arrays kept from the last sort and a copy of its order.
// Every iteration copies its whole order (3,000 indices) into a record made room for before the loop; after it,
// untimed, SpriteSort's every recorded order must visit every sprite once in the order of that iteration's keys,
// SpriteSortSameKeys's be the kept order to the index. GRINDLOW_BENCH_SKIP "SpriteSort.<side>.keys" leaves out
// writing the new keys, "SpriteSort.<side>.sort" the sort, "SpriteSortSameKeys.engine.sort" the call and
// "SpriteSortSameKeys.baseline.copy" the copy of the kept order (each iteration first spoils the first and the last
// index, so that an order not written again shows); ".everysecond" that step in every second iteration. Steps that
// stand for a side that cheats: "<case>.<side>.partial" orders all but the last sprite, ".middle" changes one index
// of the middle iteration's order, "SpriteSort.<side>.repeat" gives the last iteration's keys and order again in
// every third iteration, "SpriteSort.<side>.replay" gives the order of the first iteration's keys, sorted before the
// loop, in every iteration. SpriteSortSameKeys's work is to give the last sort's order again: a repeated or
// replayed order is that work, so it has no such steps.
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

// The order of keys sorted plainly: what "replay" gives, sorted untimed.
std::vector<u16> sortedOrder(const SKeys& keys) {
  std::vector<u16> order(gc_iSPRITES);
  for (int k = 0; k < gc_iSPRITES; ++k) order[static_cast<size_t>(k)] = static_cast<u16>(k);
  std::sort(order.begin(), order.end(), [&keys](u16 a, u16 b) {
    return keyLess(keys.layers[a], keys.signatures[a], keys.layers[b], keys.signatures[b]);
  });
  return order;
}

// Writes iteration i's keys: set (i + 1) mod 16 with every layer moved on by a step of the round of 16 it is in
// (1,031 layers a round, round past the last layer), so that no two of 64,000 iterations sort the same keys.
void writeKeys(int64_t i, u16* pLayers, const SRenderSignature** ppSignatures) {
  const SKeys& set = keySets()[static_cast<size_t>((i + 1) % gc_iKEY_SETS)];
  constexpr int iLAYERS = gc_u2D_MAX_LAYER + 1;
  const int iStep = static_cast<int>((i / gc_iKEY_SETS * 1031) % iLAYERS);
  for (int k = 0; k < gc_iSPRITES; ++k) {
    const int iLayer = set.layers[static_cast<size_t>(k)] + iStep;
    pLayers[k] = static_cast<u16>(iLayer < iLAYERS ? iLayer : iLayer - iLAYERS);
  }
  std::memcpy(ppSignatures, set.signatures.data(), gc_iSPRITES * sizeof(ppSignatures[0]));
}

SKeys keysOf(int64_t i) {
  SKeys keys = startingKeys();
  writeKeys(i, keys.layers.data(), keys.signatures.data());
  return keys;
}

// Every iteration's whole order, copied in the loop into room made before it.
class COrders {
 public:
  explicit COrders(const benchmark::State& state) {
    m_indices.reserve(static_cast<size_t>(state.max_iterations) * gc_iSPRITES);
  }
  void add(const u16* pIndices) { m_indices.insert(m_indices.end(), pIndices, pIndices + gc_iSPRITES); }
  // Empty when the record holds iIterations orders and wanted(i, order) answers empty for each; else the first
  // answer that was not.
  template <typename FWanted>
  std::string check(int64_t iIterations, FWanted wanted) const {
    if (m_indices.size() != static_cast<size_t>(iIterations) * gc_iSPRITES) return "an iteration left no order";
    for (int64_t i = 0; i < iIterations; ++i) {
      if (!wanted(i, m_indices.data() + static_cast<size_t>(i) * gc_iSPRITES)) {
        return "iteration " + std::to_string(i) + "'s order is not the one of its keys";
      }
    }
    return std::string();
  }

 private:
  std::vector<u16> m_indices;
};

std::string checkSorted(const benchmark::State& state, const COrders& orders) {
  return orders.check(state.iterations(), [](int64_t i, const u16* pOrder) { return inOrder(pOrder, keysOf(i)); });
}

std::string checkKept(const benchmark::State& state, const COrders& orders, const std::vector<u16>& kept) {
  return orders.check(state.iterations(), [&kept](int64_t, const u16* pOrder) {
    return std::memcmp(pOrder, kept.data(), gc_iSPRITES * sizeof(u16)) == 0;
  });
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
  CQueuedSprites queue(startingKeys());
  const bool bKeys = !benchSkips("SpriteSort.engine.keys");
  const bool bSort = !benchSkips("SpriteSort.engine.sort");
  const CBenchEverySecond everySecond("SpriteSort.engine");
  const CBenchCheat cheat("SpriteSort.engine");
  const std::vector<u16> replayed = sortedOrder(keysOf(0));
  COrders orders(state);
  S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
  int64_t iIteration = 0;
  for (auto _ : state) {
    if (cheat.replays()) {
      std::memcpy(q.mp_auSortedIndex, replayed.data(), gc_iSPRITES * sizeof(u16));
    } else if (!cheat.repeats(iIteration)) {
      if (bKeys) writeKeys(iIteration, q.mp_auLayer, q.mp_apSignature);
      if (cheat.partial()) --q.mp_uCount;
      if (bSort && !everySecond.leavesOut(iIteration)) Cl2d::sortSprites();
      if (cheat.partial()) ++q.mp_uCount;
      if (cheat.changes(iIteration, state.max_iterations)) q.mp_auSortedIndex[gc_iSPRITES / 2] = q.mp_auSortedIndex[0];
    }
    orders.add(q.mp_auSortedIndex);
    ++iIteration;
  }
  const std::string error = checkSorted(state, orders);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
  } else if (!cheat.any() && !CQueuedSprites::sortedAs(keysOf(state.iterations() - 1))) {
    state.SkipWithError("the queue is not in the (layer, signature) order of the last keys");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iSPRITES);
}
BENCHMARK(BM_Engine_SpriteSort)->Unit(benchmark::kMicrosecond);

void BM_Baseline_SpriteSort(benchmark::State& state) {
  SKeys keys = startingKeys();
  std::vector<u16> indices(gc_iSPRITES);
  const bool bKeys = !benchSkips("SpriteSort.baseline.keys");
  const bool bSort = !benchSkips("SpriteSort.baseline.sort");
  const CBenchEverySecond everySecond("SpriteSort.baseline");
  const CBenchCheat cheat("SpriteSort.baseline");
  const std::vector<u16> replayed = sortedOrder(keysOf(0));
  COrders orders(state);
  int64_t iIteration = 0;
  for (auto _ : state) {
    if (cheat.replays()) {
      std::copy(replayed.begin(), replayed.end(), indices.begin());
    } else if (!cheat.repeats(iIteration)) {
      if (bKeys) writeKeys(iIteration, keys.layers.data(), keys.signatures.data());
      for (int i = 0; i < gc_iSPRITES; ++i) indices[static_cast<size_t>(i)] = static_cast<u16>(i);
      if (bSort && !everySecond.leavesOut(iIteration)) {
        std::sort(indices.begin(), indices.end() - (cheat.partial() ? 1 : 0), [&keys](u16 a, u16 b) {
          return keyLess(keys.layers[a], keys.signatures[a], keys.layers[b], keys.signatures[b]);
        });
      }
      if (cheat.changes(iIteration, state.max_iterations)) indices[gc_iSPRITES / 2] = indices[0];
    }
    orders.add(indices.data());
    ++iIteration;
  }
  if (const std::string error = checkSorted(state, orders); !error.empty()) state.SkipWithError(error.c_str());
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
  S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
  const std::vector<u16> kept(q.mp_auSortedIndex, q.mp_auSortedIndex + gc_iSPRITES);
  const bool bSort = !benchSkips("SpriteSortSameKeys.engine.sort");
  const CBenchEverySecond everySecond("SpriteSortSameKeys.engine");
  const CBenchCheat cheat("SpriteSortSameKeys.engine");
  COrders orders(state);
  int64_t iIteration = 0;
  for (auto _ : state) {
    spoil(q.mp_auSortedIndex);
    if (cheat.partial()) --q.mp_uCount;
    if (bSort && !everySecond.leavesOut(iIteration)) Cl2d::sortSprites();
    if (cheat.partial()) ++q.mp_uCount;
    if (cheat.changes(iIteration, state.max_iterations)) q.mp_auSortedIndex[gc_iSPRITES / 2] = q.mp_auSortedIndex[0];
    orders.add(q.mp_auSortedIndex);
    ++iIteration;
  }
  const std::string error = checkKept(state, orders, kept);
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
  const std::vector<u16> lastOrder = sortedOrder(keys);
  std::vector<u16> indices(gc_iSPRITES);
  const bool bCopy = !benchSkips("SpriteSortSameKeys.baseline.copy");
  const CBenchEverySecond everySecond("SpriteSortSameKeys.baseline");
  const CBenchCheat cheat("SpriteSortSameKeys.baseline");
  const size_t uiCopied = gc_iSPRITES - (cheat.partial() ? 1 : 0);
  COrders orders(state);
  int64_t iIteration = 0;
  for (auto _ : state) {
    spoil(indices.data());
    const bool bSame =
        std::memcmp(lastKeys.layers.data(), keys.layers.data(), gc_iSPRITES * sizeof(u16)) == 0 &&
        std::memcmp(lastKeys.signatures.data(), keys.signatures.data(), gc_iSPRITES * sizeof(keys.signatures[0])) == 0;
    if (bSame && bCopy && !everySecond.leavesOut(iIteration)) {
      std::memcpy(indices.data(), lastOrder.data(), uiCopied * sizeof(u16));
    }
    if (cheat.changes(iIteration, state.max_iterations)) indices[gc_iSPRITES / 2] = indices[0];
    orders.add(indices.data());
    ++iIteration;
  }
  const std::string error = checkKept(state, orders, lastOrder);
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
