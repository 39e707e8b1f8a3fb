// Loading a large compiled data script into its tree, against parsing the JSON form of the same tree with
// a widely used JSON library. Both sides build their whole tree and free it again in every iteration.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "Corvane/Data/ClDScriptMgr2.h"
#include "Tools/kdsc/KdsJson.h"
#include "Tools/kdsc/KdsSource.h"

namespace {

SKdsSourceNode named(const std::string& name, SKdsSourceNode node) {
  node.name = name;
  node.bNamed = true;
  return node;
}
SKdsSourceNode floatNode(float f) {
  SKdsSourceNode node;
  node.eType = E_DSCT_FLOAT;
  node.fValue = f;
  return node;
}
SKdsSourceNode intNode(int32_t i) {
  SKdsSourceNode node;
  node.eType = E_DSCT_INT;
  node.iValue = i;
  return node;
}
SKdsSourceNode textNode(E_DSCT eType, const std::string& text) {
  SKdsSourceNode node;
  node.eType = eType;
  node.text = text;
  return node;
}
SKdsSourceNode arrayNode(std::vector<SKdsSourceNode> children) {
  SKdsSourceNode node;
  node.eType = E_DSCT_ARRAY;
  node.children = std::move(children);
  return node;
}
SKdsSourceNode range(float fMin, float fMax) {
  return arrayNode({named("Min", floatNode(fMin)), named("Max", floatNode(fMax))});
}

// An enemy script of iCount types, each with properties, states, reactions and animations.
SKdsSourceNode makeScript(int iCount) {
  std::vector<SKdsSourceNode> types;
  for (int i = 0; i < iCount; ++i) {
    const std::string id = std::to_string(i);
    std::vector<SKdsSourceNode> states;
    for (const char* pState : {"Idle", "Walk", "Attack", "Dead"}) {
      states.push_back(named(pState, arrayNode({named("Animation", textNode(E_DSCT_HASH_ID, std::string(pState) + "_" + id)),
                                                named("Duration", range(0.5f, 1.5f + static_cast<float>(i % 7))),
                                                named("Velocity", arrayNode({floatNode(1.0f * i), floatNode(0.0f),
                                                                             floatNode(-2.5f)}))})));
    }
    types.push_back(named(
        "Enemy_" + id,
        arrayNode({named("HitPoints", floatNode(10.0f + i)), named("Score", intNode(100 * i)),
                   named("HitMask", textNode(E_DSCT_STRING, "abc")),
                   named("Title", textNode(E_DSCT_STRING, "Enemy number " + id + " of the sample wave")),
                   named("States", arrayNode(std::move(states))),
                   named("Reactions",
                         arrayNode({textNode(E_DSCT_STRING, "State == 'x'"),
                                    arrayNode({textNode(E_DSCT_STRING, "HitPoints <= 0"),
                                               named("Action", textNode(E_DSCT_HASH_ID, "Die"))}),
                                    arrayNode({textNode(E_DSCT_STRING, "Random < 0.5"),
                                               named("Action", textNode(E_DSCT_HASH_ID, "Walk"))})}))})));
  }
  SKdsSourceNode root = arrayNode({named("EntityEnemy", arrayNode(std::move(types)))});
  return root;
}

struct SData {
  std::vector<uint8_t> image;
  std::string json;
  size_t uiNodes = 0;
};

size_t countNodes(const SKdsSourceNode& node) {
  size_t n = 1;
  for (const SKdsSourceNode& child : node.children) n += countNodes(child);
  return n;
}

const SData& data() {
  static const SData s = [] {
    SData d;
    const SKdsSourceNode root = makeScript(680);
    d.image = KdsWriteImage(root);
    d.uiNodes = countNodes(root);
    ClDScriptData2* pTree = ClDScriptMgr2::buildTree(d.image.data(), d.image.size(), "bench.kds");
    d.json = KdsTreeToJson(pTree);
    ClDScriptData2::destroyTree(pTree);
    std::fprintf(stderr, "script: %zu bytes of .kds, %zu bytes of JSON, %zu nodes\n", d.image.size(), d.json.size(),
                 d.uiNodes);
    return d;
  }();
  return s;
}

void BM_LoadKds(benchmark::State& state) {
  const SData& d = data();
  for (auto _ : state) {
    ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(d.image.data(), d.image.size(), "bench.kds");
    benchmark::DoNotOptimize(pRoot);
    ClDScriptData2::destroyTree(pRoot);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.image.size()));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiNodes));
}
BENCHMARK(BM_LoadKds)->Unit(benchmark::kMillisecond);

void BM_ParseJson(benchmark::State& state) {
  const SData& d = data();
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::parse(d.json);
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.json.size()));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiNodes));
}
BENCHMARK(BM_ParseJson)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
