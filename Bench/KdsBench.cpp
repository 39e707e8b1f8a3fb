// Loading a compiled data script into its tree, against the least a binary loader does with the same file
// (copying the bytes into a block and turning the offsets of its slots into pointers in place, with no checks),
// and (KdsLoadJson) against parsing the JSON form of the same tree with a widely used JSON library, at 1k, 10k,
// 100k and 1M nodes. Every side loads the whole script and frees it again in every iteration. items_per_second
// (nodes a second) shows how the engine's cost per node holds as scripts grow: a tree is built in one block sized
// from the file, so the cost should grow with the node count and no faster (the aim: the time per node at 1M within
// 2x of that at 1k).
//
// Each side checks, untimed, what its last iteration loaded: every node of the tree, in order, with its type, name
// and value (a digest of them) must be the script's as written, and (engine and plain loader) the heap must hold
// no more blocks after the run than before. GRINDLOW_BENCH_SKIP "<case>.engine.build" leaves out building the tree,
// "<case>.engine.free" destroying it, "KdsLoad.baseline.names" the plain loader's relocation of the names,
// "KdsLoad.baseline.free" its free, "KdsLoadJson.baseline.floats" the parsed floats (the parser drops them).
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Corvane/ADT/KvStrHash.h"
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

// A tree's nodes in depth-first order, each as its compiled type (both integer types as E_DSCT_INT), its name (or
// none), its value (an integer's or a float's bits, a text, a hash id's text and hash, an array's child count),
// folded into one word (FNV-1a), and their number.
struct SKdsDigest {
  u64 uiHash = 14695981039346656037ull;
  size_t uiNodes = 0;
  void bytes(const void* pBytes, size_t uiCount) {
    for (size_t i = 0; i < uiCount; ++i) {
      uiHash = (uiHash ^ static_cast<const u8*>(pBytes)[i]) * 1099511628211ull;
    }
  }
  void word(u32 uiWord) { bytes(&uiWord, sizeof(uiWord)); }
  void text(const char* pText) { bytes(pText, std::strlen(pText) + 1); }
  void node(E_DSCT eType, const char* pName) {
    ++uiNodes;
    word(static_cast<u32>(eType == E_DSCT_INT2 ? E_DSCT_INT : eType));
    word(pName != nullptr ? 1 : 0);
    if (pName != nullptr) text(pName);
  }
  bool operator==(const SKdsDigest&) const = default;
};

void digestSource(const SKdsSourceNode& node, SKdsDigest* pDigest) {
  pDigest->node(node.eType, node.bNamed ? node.name.c_str() : nullptr);
  switch (node.eType) {
    case E_DSCT_INT:
    case E_DSCT_INT2:
      pDigest->word(static_cast<u32>(node.iValue));
      break;
    case E_DSCT_FLOAT:
      pDigest->word(std::bit_cast<u32>(node.fValue));
      break;
    case E_DSCT_STRING:
      pDigest->text(node.text.c_str());
      break;
    case E_DSCT_HASH_ID:
      pDigest->text(node.text.c_str());
      pDigest->word(KvStrHash(node.text.c_str()));
      break;
    default:
      pDigest->word(static_cast<u32>(node.children.size()));
      for (const SKdsSourceNode& child : node.children) digestSource(child, pDigest);
      break;
  }
}

// The engine's tree; false for a node of no value.
bool digestTree(const ClDScriptData2* pNode, SKdsDigest* pDigest) {
  static const E_DSCT s_aeTypes[] = {E_DSCT_ARRAY, E_DSCT_FLOAT, E_DSCT_INT, E_DSCT_STRING, E_DSCT_HASH_ID};
  if (pNode->getType() < E_DSVT_ARRAY || pNode->getType() > E_DSVT_HASH_ID) return false;
  pDigest->node(s_aeTypes[pNode->getType()], pNode->hasName() ? pNode->getName() : nullptr);
  switch (pNode->getType()) {
    case E_DSVT_INT:
      pDigest->word(static_cast<u32>(pNode->getInt()));
      return true;
    case E_DSVT_FLOAT:
      pDigest->word(std::bit_cast<u32>(pNode->getFloatExact()));
      return true;
    case E_DSVT_STRING:
      pDigest->text(pNode->getString());
      return true;
    case E_DSVT_HASH_ID:
      pDigest->text(pNode->getString());
      pDigest->word(pNode->getHashValue());
      return true;
    default:
      pDigest->word(static_cast<u32>(pNode->getCount()));
      for (i32 i = 0; i < pNode->getCount(); ++i) {
        if (!digestTree(pNode->getChildAt(i), pDigest)) return false;
      }
      return true;
  }
}

// The JSON form (Tools/kdsc/KdsJson.h); false for a node without the members its type has.
bool digestJson(const nlohmann::json& node, SKdsDigest* pDigest) {
  static const std::map<std::string, E_DSCT> s_types = {{"array", E_DSCT_ARRAY},   {"int", E_DSCT_INT},
                                                        {"float", E_DSCT_FLOAT},   {"string", E_DSCT_STRING},
                                                        {"hash_id", E_DSCT_HASH_ID}};
  const auto type = node.find("type");
  const auto name = node.find("name");
  const auto value = node.find(node.contains("children") ? "children" : "value");
  if (type == node.end() || !type->is_string() || s_types.count(type->get<std::string>()) == 0 || value == node.end() ||
      (name != node.end() && !name->is_string())) {
    return false;
  }
  const E_DSCT eType = s_types.at(type->get<std::string>());
  pDigest->node(eType, name != node.end() ? name->get_ref<const std::string&>().c_str() : nullptr);
  switch (eType) {
    case E_DSCT_INT:
      if (!value->is_number_integer()) return false;
      pDigest->word(static_cast<u32>(value->get<i32>()));
      return true;
    case E_DSCT_FLOAT:
      if (!value->is_number()) return false;
      pDigest->word(std::bit_cast<u32>(static_cast<f32>(value->get<double>())));
      return true;
    case E_DSCT_STRING:
    case E_DSCT_HASH_ID:
      if (!value->is_string()) return false;
      pDigest->text(value->get_ref<const std::string&>().c_str());
      if (eType == E_DSCT_HASH_ID) {
        const auto hash = node.find("hash");
        if (hash == node.end() || !hash->is_number_unsigned()) return false;
        pDigest->word(hash->get<u32>());
      }
      return true;
    default:
      if (!value->is_array()) return false;
      pDigest->word(static_cast<u32>(value->size()));
      for (const nlohmann::json& child : *value) {
        if (!digestJson(child, pDigest)) return false;
      }
      return true;
  }
}

struct SData {
  std::vector<uint8_t> image;
  std::string json;
  size_t uiNodes = 0;
  SKdsDigest digest;  // of the script as written
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
  digestSource(root, &d.digest);
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

// Empty when the digest is the script's; else what differs.
std::string compareDigest(const SKdsDigest& loaded, const SData& d) {
  if (loaded.uiNodes != d.digest.uiNodes) {
    return "the tree loaded has " + std::to_string(loaded.uiNodes) + " nodes, the script " +
           std::to_string(d.digest.uiNodes);
  }
  return loaded == d.digest ? std::string() : "the tree loaded differs from the script in its types, names or values";
}

void engineLoad(benchmark::State& state, const std::string& name) {
  const SData& d = data(static_cast<size_t>(state.range(0)));
  const bool bBuild = !benchSkips(name + ".engine.build");
  const bool bFree = !benchSkips(name + ".engine.free");
  const i64 iBlocks = KvAllocLiveBlocks();
  CBenchLastIteration last(state);
  std::string problem;
  for (auto _ : state) {
    ClDScriptData2* pRoot = bBuild ? ClDScriptMgr2::buildTree(d.image.data(), d.image.size(), "bench.kds") : nullptr;
    if (pRoot == nullptr) {
      state.SkipWithError("the script did not load");
      return;
    }
    if (last.next()) {
      state.PauseTiming();
      SKdsDigest loaded;
      problem = digestTree(pRoot, &loaded) ? compareDigest(loaded, d) : "a node of the tree has no value";
      state.ResumeTiming();
    }
    if (bFree) ClDScriptData2::destroyTree(pRoot);
  }
  if (problem.empty()) problem = benchHeapLeftOver(iBlocks);
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  setCounters(state, d, d.image.size());
}

void BM_Engine_KdsLoad(benchmark::State& state) { engineLoad(state, "KdsLoad"); }
void BM_Engine_KdsLoadJson(benchmark::State& state) { engineLoad(state, "KdsLoadJson"); }

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

// Fixes the array record at pRecord and everything below it (the names only when bNames).
void fixArray(u8* pBlock, u8* pRecord, bool bNames) {
  i32 iCount;
  std::memcpy(&iCount, pRecord + offsetof(SKdsArrayRecord, iCount), sizeof(iCount));
  fixSlot(pBlock, pRecord);
  const u8* pTable = slotPointer(pRecord);
  for (i32 i = 0; i < iCount; ++i) {
    u8* pValue = pBlock + slotOffset(pTable + 4 * i);
    i32 iType;
    std::memcpy(&iType, pValue + offsetof(SKdsValueRecord, iType), sizeof(iType));
    u8* pName = pValue + offsetof(SKdsValueRecord, name);
    if (bNames) {
      fixSlot(pBlock, pName);
      if (slotPointer(pName) != nullptr) fixSlot(pBlock, slotPointer(pName));
    }
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
        if (slotPointer(pSlot) != nullptr) fixArray(pBlock, slotPointer(pSlot), bNames);
        break;
      default:
        break;
    }
  }
}

// The relocated block [pBlock, pBlock + uiSize) walked as the engine's tree is; false when a pointer leads outside it
// (a slot left unrelocated) or a text does not end inside it.
class CBlockDigest {
 public:
  CBlockDigest(const u8* pBlock, size_t uiSize) : m_pBlock(pBlock), m_uiSize(uiSize) {}
  bool root(SKdsDigest* pDigest) const {
    const u8* pRecord = slotPointer(m_pBlock);
    if (!inside(pRecord, sizeof(SKdsArrayRecord))) return false;
    pDigest->node(E_DSCT_ARRAY, nullptr);
    return array(pRecord, pDigest);
  }

 private:
  bool inside(const u8* pBytes, size_t uiBytes) const { return benchInside(pBytes, uiBytes, m_pBlock, m_uiSize); }
  // The characters a pointer slot leads to (a none slot: the empty text); null when they are not in the block.
  const char* text(const u8* pSlot) const {
    const u8* pChars = slotPointer(pSlot);
    if (pChars == nullptr) return "";
    if (!inside(pChars, 1) || std::memchr(pChars, 0, static_cast<size_t>(m_pBlock + m_uiSize - pChars)) == nullptr) {
      return nullptr;
    }
    return reinterpret_cast<const char*>(pChars);
  }
  bool array(const u8* pRecord, SKdsDigest* pDigest) const {
    i32 iCount;
    std::memcpy(&iCount, pRecord + offsetof(SKdsArrayRecord, iCount), sizeof(iCount));
    const u8* pTable = slotPointer(pRecord);
    if (iCount < 0 || (iCount > 0 && !inside(pTable, 4 * static_cast<size_t>(iCount)))) return false;
    pDigest->word(static_cast<u32>(iCount));
    for (i32 i = 0; i < iCount; ++i) {
      const u8* pValue = m_pBlock + slotOffset(pTable + 4 * i);
      if (!inside(pValue, sizeof(SKdsValueRecord)) || !value(pValue, pDigest)) return false;
    }
    return true;
  }
  bool value(const u8* pValue, SKdsDigest* pDigest) const {
    i32 iType;
    std::memcpy(&iType, pValue + offsetof(SKdsValueRecord, iType), sizeof(iType));
    const u8* pNameRecord = slotPointer(pValue + offsetof(SKdsValueRecord, name));
    const char* pName = nullptr;
    if (pNameRecord != nullptr) {
      pName = inside(pNameRecord, sizeof(SKdsNameRecord)) ? text(pNameRecord) : nullptr;
      if (pName == nullptr) return false;
    }
    pDigest->node(static_cast<E_DSCT>(iType), pName);
    const u8* pSlot = pValue + offsetof(SKdsValueRecord, value);
    switch (iType) {
      case E_DSCT_INT:
      case E_DSCT_INT2:
      case E_DSCT_FLOAT:
        pDigest->word(static_cast<u32>(slotOffset(pSlot)));
        return true;
      case E_DSCT_STRING: {
        const char* pText = text(pSlot);
        if (pText != nullptr) pDigest->text(pText);
        return pText != nullptr;
      }
      case E_DSCT_HASH_ID: {
        const u8* pRecord = slotPointer(pSlot);
        if (pRecord == nullptr) {
          pDigest->text("");
          pDigest->word(0);
          return true;
        }
        const char* pText = inside(pRecord, sizeof(SKdsNameRecord)) ? text(pRecord) : nullptr;
        if (pText == nullptr) return false;
        u32 uiHash;
        std::memcpy(&uiHash, pRecord + offsetof(SKdsNameRecord, uiHash), sizeof(uiHash));
        pDigest->text(pText);
        pDigest->word(uiHash);
        return true;
      }
      case E_DSCT_ARRAY: {
        const u8* pRecord = slotPointer(pSlot);
        if (pRecord == nullptr) {
          pDigest->word(0);
          return true;
        }
        return inside(pRecord, sizeof(SKdsArrayRecord)) && array(pRecord, pDigest);
      }
      default:
        return false;
    }
  }

  const u8* m_pBlock;
  size_t m_uiSize;
};

void BM_Baseline_KdsLoad(benchmark::State& state) {
  const SData& d = data(static_cast<size_t>(state.range(0)));
  const bool bNames = !benchSkips("KdsLoad.baseline.names");
  const bool bFree = !benchSkips("KdsLoad.baseline.free");
  const i64 iBlocks = KvAllocLiveBlocks();
  CBenchLastIteration last(state);
  std::string problem;
  for (auto _ : state) {
    u8* pBlock = static_cast<u8*>(KvAlignedAlloc(d.image.size(), 16));
    std::memcpy(pBlock, d.image.data(), d.image.size());
    fixSlot(pBlock, pBlock);
    fixArray(pBlock, slotPointer(pBlock), bNames);
    if (last.next()) {
      state.PauseTiming();
      SKdsDigest loaded;
      problem = CBlockDigest(pBlock, d.image.size()).root(&loaded) ? compareDigest(loaded, d)
                                                                    : "a slot of the block was not relocated";
      state.ResumeTiming();
    }
    if (bFree) KvAlignedFree(pBlock);
  }
  if (problem.empty()) problem = benchHeapLeftOver(iBlocks);
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  setCounters(state, d, d.image.size());
}

void BM_Baseline_KdsLoadJson(benchmark::State& state) {
  const SData& d = data(static_cast<size_t>(state.range(0)));
  // "KdsLoadJson.baseline.floats": the parser drops every float it reads.
  const nlohmann::json::parser_callback_t dropFloats = [](int, nlohmann::json::parse_event_t event,
                                                          nlohmann::json& parsed) {
    return event != nlohmann::json::parse_event_t::value || !parsed.is_number_float();
  };
  const bool bFloats = !benchSkips("KdsLoadJson.baseline.floats");
  CBenchLastIteration last(state);
  std::string problem;
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::parse(d.json, bFloats ? nullptr : dropFloats, false);
    if (tree.is_discarded()) {
      state.SkipWithError("the JSON did not parse");
      return;
    }
    if (last.next()) {
      state.PauseTiming();
      SKdsDigest loaded;
      problem = digestJson(tree, &loaded) ? compareDigest(loaded, d) : "a node of the JSON tree lacks a member";
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(tree);
  }
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  setCounters(state, d, d.json.size());
}

}  // namespace

// On the thread's CPU time: every side's work is its own thread's, start to end, and a shared machine's other
// processes moved the wall time of the small sizes by a tenth and more between runs.
#define KV_KDS_SIZES ->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Engine_KdsLoad) KV_KDS_SIZES;
BENCHMARK(BM_Baseline_KdsLoad) KV_KDS_SIZES;
BENCHMARK(BM_Engine_KdsLoadJson) KV_KDS_SIZES;
BENCHMARK(BM_Baseline_KdsLoadJson) KV_KDS_SIZES;

BENCHMARK_MAIN();
