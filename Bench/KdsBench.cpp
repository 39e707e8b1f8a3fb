// Loading a compiled data script into its tree, against parsing the JSON form of the same tree with a widely
// used JSON library, at 1k, 10k, 100k and 1M nodes. Both sides build their whole tree and free it again in every
// iteration. items_per_second (nodes a second) shows how the engine's cost per node holds as scripts grow: a
// tree is built in one block sized from the file, so the cost should grow with the node count and no faster
// (the aim: the time per node at 1M within 2x of that at 1k).
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
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

// The script of about uiNodes nodes (made once per size).
const SData& data(size_t uiNodes) {
  static std::map<size_t, SData> s_scripts;
  auto found = s_scripts.find(uiNodes);
  if (found != s_scripts.end()) {
    return found->second;
  }
  SData d;
  const size_t uiPerType = countNodes(makeScript(1)) - 2;
  const SKdsSourceNode root = makeScript(static_cast<int>(std::max<size_t>(1, uiNodes / uiPerType)));
  d.image = KdsWriteImage(root);
  d.uiNodes = countNodes(root);
  ClDScriptData2* pTree = ClDScriptMgr2::buildTree(d.image.data(), d.image.size(), "bench.kds");
  d.json = KdsTreeToJson(pTree);
  ClDScriptData2::destroyTree(pTree);
  return s_scripts.emplace(uiNodes, std::move(d)).first->second;
}

void setCounters(benchmark::State& state, const SData& d, size_t uiBytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * uiBytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiNodes));
  state.counters["nodes"] = static_cast<double>(d.uiNodes);
}

void BM_Engine_KdsLoad(benchmark::State& state) {
  const SData& d = data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(d.image.data(), d.image.size(), "bench.kds");
    benchmark::DoNotOptimize(pRoot);
    ClDScriptData2::destroyTree(pRoot);
  }
  setCounters(state, d, d.image.size());
}

void BM_Baseline_KdsLoad(benchmark::State& state) {
  const SData& d = data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::parse(d.json);
    benchmark::DoNotOptimize(tree);
  }
  setCounters(state, d, d.json.size());
}

}  // namespace

BENCHMARK(BM_Engine_KdsLoad)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline_KdsLoad)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
