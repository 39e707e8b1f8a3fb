// 2D canvas benchmarks, engine against a common baseline with the same work:
// - SpriteSort: ordering 3,000 queued sprites (random layers 0..3999, four signatures) by layer, then signature
//   address (Cl2d::sortSprites on the queue's parallel arrays), against std::sort of a u16 index array over the same
//   (layer, signature) keys kept the same way. Both refill the index array every time and check the order.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/UI/Cl2d.h"

namespace {

constexpr int gc_iSPRITES = 3000;
constexpr int gc_iSIGNATURES = 4;

SRenderSignature g_aSignatures[gc_iSIGNATURES];

struct SKeys {
  std::vector<u16> layers;
  std::vector<const SRenderSignature*> signatures;
};

const SKeys& keys() {
  static const SKeys s = [] {
    SKeys k;
    std::mt19937 random(2026);
    for (int i = 0; i < gc_iSPRITES; ++i) {
      k.layers.push_back(static_cast<u16>(random() % (gc_u2D_MAX_LAYER + 1)));
      k.signatures.push_back(&g_aSignatures[random() % gc_iSIGNATURES]);
    }
    return k;
  }();
  return s;
}

bool keyLess(u16 uLayerA, const SRenderSignature* pA, u16 uLayerB, const SRenderSignature* pB) {
  return uLayerA != uLayerB ? uLayerA < uLayerB
                            : reinterpret_cast<std::uintptr_t>(pA) < reinterpret_cast<std::uintptr_t>(pB);
}

// Whether the indices visit every sprite once in (layer, signature) order.
bool inOrder(const u16* pIndices, const u16* pLayers, const SRenderSignature* const* ppSignatures) {
  std::vector<bool> seen(gc_iSPRITES, false);
  for (int i = 0; i < gc_iSPRITES; ++i) {
    if (pIndices[i] >= gc_iSPRITES || seen[pIndices[i]]) return false;
    seen[pIndices[i]] = true;
  }
  for (int i = 1; i < gc_iSPRITES; ++i) {
    const u16 a = pIndices[i - 1];
    const u16 b = pIndices[i];
    if (keyLess(pLayers[b], ppSignatures[b], pLayers[a], ppSignatures[a])) return false;
  }
  return true;
}

void BM_Engine_SpriteSort(benchmark::State& state) {
  ClGraphics::mp_fScreenWidth = 1920.0f;
  ClGraphics::mp_fScreenHeight = 1080.0f;
  Cl2d::initialise();
  const SKeys& k = keys();
  for (int i = 0; i < gc_iSPRITES; ++i) {
    Cl2d::addSprite(k.layers[i], k.signatures[i], 0xFFFFFFFFu, 0.0f, 0.0f, 1.0f, 1.0f, {0.0f, 0.0f}, {1.0f, 1.0f});
  }
  for (auto _ : state) {
    Cl2d::sortSprites();
    benchmark::DoNotOptimize(Cl2d::mp_spriteQueue.mp_auSortedIndex[0]);
  }
  const S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
  const bool bOrdered = Cl2d::getNumSprites() == gc_iSPRITES && Cl2d::areSpritesSorted() &&
                        inOrder(q.mp_auSortedIndex, q.mp_auLayer, q.mp_apSignature);
  Cl2d::clearSprites();
  Cl2d::terminate();
  if (!bOrdered) {
    state.SkipWithError("the queue is not in (layer, signature) order");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iSPRITES);
}
BENCHMARK(BM_Engine_SpriteSort)->Unit(benchmark::kMicrosecond);

void BM_Baseline_SpriteSort(benchmark::State& state) {
  const SKeys& k = keys();
  std::vector<u16> layers(k.layers);
  std::vector<const SRenderSignature*> signatures(k.signatures);
  std::vector<u16> indices(gc_iSPRITES);
  for (auto _ : state) {
    for (int i = 0; i < gc_iSPRITES; ++i) indices[i] = static_cast<u16>(i);
    std::sort(indices.begin(), indices.end(), [&layers, &signatures](u16 a, u16 b) {
      return keyLess(layers[a], signatures[a], layers[b], signatures[b]);
    });
    benchmark::DoNotOptimize(indices[0]);
  }
  if (!inOrder(indices.data(), layers.data(), signatures.data())) {
    state.SkipWithError("the indices are not in (layer, signature) order");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iSPRITES);
}
BENCHMARK(BM_Baseline_SpriteSort)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
