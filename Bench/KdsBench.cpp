// Loading a compiled data script into its tree, against the least a binary loader does with the same file
// (copying the bytes into a block and turning the offsets of its slots into pointers in place, with no checks),
// and (KdsLoadJson) against parsing the JSON form of the same tree with a widely used JSON library, at 1k, 10k,
// 100k and 1M nodes. Every side loads the whole script and frees it again in every iteration. items_per_second (nodes a second) shows how the engine's cost per node holds as scripts grow: a
// tree is built in one block sized from the file, so the cost should grow with the node count and no faster
// (the aim: the time per node at 1M within 2x of that at 1k).
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Memory/KvAlloc.h"
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
  if (pTree == nullptr) {
    std::fprintf(stderr, "KdsBench: the script of %zu nodes does not load\n", d.uiNodes);
    std::abort();
  }
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
    if (pRoot == nullptr || pRoot->getCount() != 1) {
      state.SkipWithError("the script did not load");
      return;
    }
    ClDScriptData2::destroyTree(pRoot);
  }
  setCounters(state, d, d.image.size());
}

// The plain binary loader. A slot's offset becomes a pointer in place; child tables stay offsets from the block.
u64 slotOffset(const u8* pSlot) {
  u32 uiOffset;
  std::memcpy(&uiOffset, pSlot, sizeof(uiOffset));
  return uiOffset;
}
void fixSlot(u8* pBlock, u8* pSlot) {
  const u64 uiOffset = slotOffset(pSlot);
  const u8* pTarget = uiOffset != 0 ? pBlock + uiOffset : nullptr;
  std::memcpy(pSlot, &pTarget, sizeof(pTarget));
}
u8* slotPointer(const u8* pSlot) {
  u8* pTarget;
  std::memcpy(&pTarget, pSlot, sizeof(pTarget));
  return pTarget;
}

// Fixes the array record at pRecord and everything below it; the values it holds.
size_t fixArray(u8* pBlock, u8* pRecord) {
  i32 iCount;
  std::memcpy(&iCount, pRecord + offsetof(SKdsArrayRecord, iCount), sizeof(iCount));
  fixSlot(pBlock, pRecord);
  const u8* pTable = slotPointer(pRecord);
  size_t uiValues = static_cast<size_t>(iCount);
  for (i32 i = 0; i < iCount; ++i) {
    u8* pValue = pBlock + slotOffset(pTable + 4 * i);
    i32 iType;
    std::memcpy(&iType, pValue + offsetof(SKdsValueRecord, iType), sizeof(iType));
    u8* pName = pValue + offsetof(SKdsValueRecord, name);
    fixSlot(pBlock, pName);
    if (slotPointer(pName) != nullptr) fixSlot(pBlock, slotPointer(pName));
    u8* pSlot = pValue + offsetof(SKdsValueRecord, value);
    switch (iType) {
      case E_DSCT_STRING:
        fixSlot(pBlock, pSlot);
        break;
      case E_DSCT_HASH_ID:
        fixSlot(pBlock, pSlot);
        if (slotPointer(pSlot) != nullptr) fixSlot(pBlock, slotPointer(pSlot));
        break;
      case E_DSCT_ARRAY:
        fixSlot(pBlock, pSlot);
        if (slotPointer(pSlot) != nullptr) uiValues += fixArray(pBlock, slotPointer(pSlot));
        break;
      default:
        break;
    }
  }
  return uiValues;
}

void BM_Baseline_KdsLoad(benchmark::State& state) {
  const SData& d = data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    u8* pBlock = static_cast<u8*>(KvAlignedAlloc(d.image.size(), 16));
    std::memcpy(pBlock, d.image.data(), d.image.size());
    fixSlot(pBlock, pBlock);
    const size_t uiValues = fixArray(pBlock, slotPointer(pBlock));
    KvAlignedFree(pBlock);
    // The nodes counted include the root array, which has no value record.
    if (uiValues + 1 != d.uiNodes) {
      state.SkipWithError("the plain loader found another number of values");
      return;
    }
  }
  setCounters(state, d, d.image.size());
}

void BM_Baseline_KdsLoadJson(benchmark::State& state) {
  const SData& d = data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::parse(d.json);
    if (tree.empty()) {
      state.SkipWithError("the JSON did not parse");
      return;
    }
    benchmark::DoNotOptimize(tree);
  }
  setCounters(state, d, d.json.size());
}

}  // namespace

// On the thread's CPU time: every side's work is its own thread's, start to end, and a shared machine's other
// processes moved the wall time of the small sizes by a tenth and more between runs.
#define KV_KDS_SIZES ->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Engine_KdsLoad) KV_KDS_SIZES;
BENCHMARK(BM_Baseline_KdsLoad) KV_KDS_SIZES;
BENCHMARK(BM_Engine_KdsLoad)->Name("BM_Engine_KdsLoadJson") KV_KDS_SIZES;
BENCHMARK(BM_Baseline_KdsLoadJson) KV_KDS_SIZES;

BENCHMARK_MAIN();
