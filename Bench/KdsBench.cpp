// Loading a compiled data script into its tree, against the least a binary loader does with the same file
// (copying the bytes into a block and turning the offsets of its slots into pointers in place, with no checks),
// and (KdsLoadJson) against parsing the JSON form of the same tree with a widely used JSON library, at 1k, 10k,
// 100k and 1M nodes. Every side loads the whole script and frees it again in every iteration. items_per_second
// (nodes a second) shows how the engine's cost per node holds as scripts grow: a tree is built in one block sized
// from the file, so the cost should grow with the node count and no faster (the aim: the time per node at 1M within
// 2x of that at 1k).
//
// The script ends in a seed, an integer each iteration writes its own value into before it loads (in the side's
// copy of the compiled or the JSON form), so that no two iterations load the same script. Each side checks, untimed,
// what its last iteration loaded: every node of the tree, in order, with its type, name and value (a digest of
// them) must be the script's as written with that iteration's seed, and (engine and plain loader) the heap must hold
// no more blocks after the run than before. Every iteration folds a sample of what it loaded into a running hash:
// iteration k reads enemy type k (round again after the last) from the root down, its name and its first key
// (name and value), and the seed; after the loop the hash must be the one of the same samples of the script as
// written with each iteration's seed. A digest of the whole tree in every iteration would cost more than the plain
// loader's whole load at the small sizes, so one node changed in an iteration other than the last shows only where
// that iteration's sample reads. GRINDLOW_BENCH_SKIP "<case>.engine.build" leaves out building the tree,
// "<case>.engine.free" destroying it, "KdsLoad.baseline.names" the plain loader's relocation of the names,
// "KdsLoad.baseline.free" its free, "KdsLoadJson.baseline.floats" the parsed floats (the parser drops them);
// "<case>.<side>.everysecond" the build, the names' relocation or the floats in every second iteration;
// "<case>.<side>.partial" loads the script without its last node (the seed), ".repeat" gives the last iteration's
// tree again in every third iteration, ".replay" gives the tree of the first iteration's script, loaded before the
// loop, in every iteration.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
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

// The script's last node, "Seed", is an integer each iteration writes its own value into before it loads, so that no
// two iterations load the same script: iteration i's is gc_iSEED_BASE + i mod 1,000,000 (ten digits in the JSON
// form, as the base; in the compiled form the only four bytes of the base's value).
constexpr i32 gc_iSEED_BASE = 0x5EED0000;
i32 seedOf(int64_t iIteration) { return gc_iSEED_BASE + static_cast<i32>(iIteration % 1000000); }

// An enemy script of iCount types, each with properties, states, reactions and animations, and its seed.
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
  SKdsSourceNode root =
      arrayNode({named("EntityEnemy", arrayNode(std::move(types))), named("Seed", intNode(gc_iSEED_BASE))});
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

// The running check's sample of a tree: enemy type uiType's name and the digest of its first key, then the digest of
// the seed, of the script as written (up to the seed, which seedDigest adds), of the engine's tree and of the JSON
// tree (false when that tree lacks them).
void sampleSource(const SKdsSourceNode& root, size_t uiType, SKdsDigest* pDigest) {
  const SKdsSourceNode& type = root.children[0].children[uiType];
  pDigest->text(type.name.c_str());
  digestSource(type.children[0], pDigest);
}

// The seed's node with iIteration's value, as a digest of the tree walks it.
SKdsDigest seedDigest(SKdsDigest digest, int64_t iIteration) {
  digest.node(E_DSCT_INT, "Seed");
  digest.word(static_cast<u32>(seedOf(iIteration)));
  return digest;
}

bool sampleTree(const ClDScriptData2* pRoot, size_t uiType, SKdsDigest* pDigest) {
  const i32 iType = static_cast<i32>(uiType);
  if (pRoot->getType() != E_DSVT_ARRAY || pRoot->getCount() < 2) return false;
  const ClDScriptData2* pTypes = pRoot->getChildAt(0);
  if (pTypes->getType() != E_DSVT_ARRAY || pTypes->getCount() <= iType) return false;
  const ClDScriptData2* pType = pTypes->getChildAt(iType);
  if (pType->getType() != E_DSVT_ARRAY || pType->getCount() < 1 || !pType->hasName()) return false;
  pDigest->text(pType->getName());
  return digestTree(pType->getChildAt(0), pDigest) && digestTree(pRoot->getChildAt(1), pDigest);
}

bool sampleJson(const nlohmann::json& root, size_t uiType, SKdsDigest* pDigest) {
  const auto rootChildren = root.find("children");
  if (rootChildren == root.end() || !rootChildren->is_array() || rootChildren->size() < 2) return false;
  const nlohmann::json* pNode = &root;
  for (const size_t uiChild : {size_t{0}, uiType}) {
    const auto children = pNode->find("children");
    if (children == pNode->end() || !children->is_array() || children->size() <= uiChild) return false;
    pNode = &(*children)[uiChild];
  }
  const auto name = pNode->find("name");
  const auto children = pNode->find("children");
  if (name == pNode->end() || !name->is_string() || children == pNode->end() || !children->is_array() ||
      children->empty()) {
    return false;
  }
  pDigest->text(name->get_ref<const std::string&>().c_str());
  return digestJson((*children)[0], pDigest) && digestJson((*rootChildren)[1], pDigest);
}

// A loop's running check: iteration k folds the sample of enemy type k (0 when the load lacks it).
template <typename FSample>
void foldSample(CBenchHash* pHash, benchmark::IterationCount iIteration, size_t uiTypes, FSample sample) {
  SKdsDigest digest;
  pHash->add(sample(static_cast<size_t>(iIteration) % uiTypes, &digest) ? digest.uiHash : 0);
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

struct SData {
  std::vector<uint8_t> image;
  std::string json;
  size_t uiNodes = 0;
  SKdsDigest digest;  // of the script as written, up to its seed
  std::vector<SKdsDigest> samples;  // each enemy type's sample of the script as written, up to the seed
  size_t uiImageSeed = 0;  // where the seed's value lies in the compiled form
  size_t uiJsonSeed = 0;  // where its ten digits lie in the JSON form
  // The running hash of iIterations loads of the script as written, each with its seed.
  CBenchHash written(benchmark::IterationCount iIterations) const {
    CBenchHash record;
    for (benchmark::IterationCount i = 0; i < iIterations; ++i) {
      record.add(seedDigest(samples[static_cast<size_t>(i) % samples.size()], i).uiHash);
    }
    return record;
  }
  // The digest of the whole script as iteration iIteration loads it.
  SKdsDigest loaded(int64_t iIteration) const { return seedDigest(digest, iIteration); }
  // Writes iteration iIteration's seed into a copy of the compiled form, or of the JSON form.
  void writeSeed(std::vector<uint8_t>* pImage, int64_t iIteration) const {
    const i32 iSeed = seedOf(iIteration);
    std::memcpy(pImage->data() + uiImageSeed, &iSeed, sizeof(iSeed));
  }
  void writeSeed(std::string* pJson, int64_t iIteration) const {
    u32 uiSeed = static_cast<u32>(seedOf(iIteration));
    for (size_t i = 10; i-- > 0; uiSeed /= 10) (*pJson)[uiJsonSeed + i] = static_cast<char>('0' + uiSeed % 10);
  }
};

// Where the only copy of the seed's digits lies in the JSON form.
size_t onlyPlace(const std::string_view json, const std::string_view digits) {
  const size_t uiAt = json.find(digits);
  if (uiAt == std::string_view::npos || json.find(digits, uiAt + 1) != std::string_view::npos) {
    std::fprintf(stderr, "KdsBench: the script's seed is not found once in its JSON form\n");
    std::abort();
  }
  return uiAt;
}

// Where the seed's value lies in the compiled form: the value slot of the root's second child.
size_t seedPlace(const std::vector<uint8_t>& image) {
  const u8* pImage = image.data();
  const u64 uiRoot = slotOffset(pImage);
  const u64 uiTable = slotOffset(pImage + uiRoot + offsetof(SKdsArrayRecord, table));
  const u64 uiPlace = slotOffset(pImage + uiTable + 4) + offsetof(SKdsValueRecord, value);
  if (slotOffset(pImage + uiPlace) != static_cast<u32>(gc_iSEED_BASE)) {
    std::fprintf(stderr, "KdsBench: the script's seed is not where the compiled form's root leads\n");
    std::abort();
  }
  return uiPlace;
}

// The compiled form without the root's last child (the seed): the step "partial"'s script.
void leaveOutLastRootChild(std::vector<uint8_t>* pImage) {
  const size_t uiCount = slotOffset(pImage->data()) + offsetof(SKdsArrayRecord, iCount);
  i32 iCount;
  std::memcpy(&iCount, pImage->data() + uiCount, sizeof(iCount));
  --iCount;
  std::memcpy(pImage->data() + uiCount, &iCount, sizeof(iCount));
}

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
  const size_t uiPerType = countNodes(makeScript(1)) - 3;
  const SKdsSourceNode root = makeScript(static_cast<int>(std::max<size_t>(1, uiNodes / uiPerType)));
  d.image = KdsWriteImage(root);
  d.uiNodes = countNodes(root);
  d.digest.node(E_DSCT_ARRAY, nullptr);
  d.digest.word(static_cast<u32>(root.children.size()));
  digestSource(root.children[0], &d.digest);
  for (size_t i = 0; i < root.children[0].children.size(); ++i) {
    SKdsDigest sample;
    sampleSource(root, i, &sample);
    d.samples.push_back(sample);
  }
  ClDScriptData2* pTree = ClDScriptMgr2::buildTree(d.image.data(), d.image.size(), "bench.kds");
  if (pTree == nullptr) {
    std::fprintf(stderr, "KdsBench: the script of %zu nodes does not load\n", d.uiNodes);
    std::abort();
  }
  d.json = KdsTreeToJson(pTree);
  ClDScriptData2::destroyTree(pTree);
  d.uiImageSeed = seedPlace(d.image);
  d.uiJsonSeed = onlyPlace(d.json, std::to_string(gc_iSEED_BASE));
  return s_scripts.emplace(uiNodes, std::move(d)).first->second;
}

void setCounters(benchmark::State& state, const SData& d, size_t uiBytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * uiBytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiNodes));
  state.counters["nodes"] = static_cast<double>(d.uiNodes);
}

// Empty when the digest is the script's as iteration iIteration loads it; else what differs.
std::string compareDigest(const SKdsDigest& loaded, const SData& d, int64_t iIteration) {
  const SKdsDigest wanted = d.loaded(iIteration);
  if (loaded.uiNodes != wanted.uiNodes) {
    return "the tree loaded has " + std::to_string(loaded.uiNodes) + " nodes, the script " +
           std::to_string(wanted.uiNodes);
  }
  return loaded == wanted ? std::string() : "the tree loaded differs from the script in its types, names or values";
}

void engineLoad(benchmark::State& state, const std::string& name) {
  const SData& d = data(static_cast<size_t>(state.range(0)));
  const bool bBuild = !benchSkips(name + ".engine.build");
  const bool bFree = !benchSkips(name + ".engine.free");
  CBenchEverySecond everySecond(state, name + ".engine.everysecond");
  const CBenchCheat cheat(name + ".engine");
  std::vector<uint8_t> image = d.image;  // each iteration writes its seed into it
  if (cheat.partial()) leaveOutLastRootChild(&image);
  const i64 iBlocks = KvAllocLiveBlocks();
  const auto build = [&image] { return ClDScriptMgr2::buildTree(image.data(), image.size(), "bench.kds"); };
  // The tree "replay" gives: of the first iteration's script, loaded before the loop.
  ClDScriptData2* pReplayed = cheat.replays() ? (d.writeSeed(&image, 0), build()) : nullptr;
  CBenchLastIteration last(state);
  CBenchHash hash;
  benchmark::IterationCount iIteration = 0;
  std::string problem;
  ClDScriptData2* pRoot = nullptr;
  for (auto _ : state) {
    const bool bLeftOut = everySecond.leavesOut() || !bBuild;
    d.writeSeed(&image, iIteration);
    if (cheat.replays()) {
      pRoot = pReplayed;
    } else if (!cheat.repeats(iIteration)) {
      pRoot = bLeftOut ? nullptr : build();
    }
    foldSample(&hash, iIteration, d.samples.size(), [pRoot](size_t uiType, SKdsDigest* pDigest) {
      return pRoot != nullptr && sampleTree(pRoot, uiType, pDigest);
    });
    if (last.next()) {
      state.PauseTiming();
      SKdsDigest loaded;
      problem = pRoot == nullptr               ? "the script did not load"
                : digestTree(pRoot, &loaded) ? compareDigest(loaded, d, iIteration)
                                             : "a node of the tree has no value";
      state.ResumeTiming();
    }
    // A tree that the next iteration gives again ("repeat") is kept.
    if (bFree && pRoot != nullptr && pRoot != pReplayed && !cheat.repeats(iIteration + 1)) {
      ClDScriptData2::destroyTree(pRoot);
      pRoot = nullptr;
    }
    ++iIteration;
  }
  if (pRoot != nullptr && pRoot != pReplayed && bFree) ClDScriptData2::destroyTree(pRoot);
  if (pReplayed != nullptr) ClDScriptData2::destroyTree(pReplayed);
  if (problem.empty() && !(hash == d.written(state.iterations()))) {
    problem = "an earlier iteration's tree differs from the script";
  }
  if (problem.empty()) problem = benchHeapLeftOver(iBlocks);
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  setCounters(state, d, d.image.size());
}

void BM_Engine_KdsLoad(benchmark::State& state) { engineLoad(state, "KdsLoad"); }
void BM_Engine_KdsLoadJson(benchmark::State& state) { engineLoad(state, "KdsLoadJson"); }

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
  // The running check's sample (sampleTree).
  bool sample(size_t uiType, SKdsDigest* pDigest) const {
    const u8* pRoot = slotPointer(m_pBlock);
    const u8* pTypes = inside(pRoot, sizeof(SKdsArrayRecord)) ? arrayOf(child(pRoot, 0)) : nullptr;
    const u8* pType = pTypes != nullptr ? child(pTypes, static_cast<i32>(uiType)) : nullptr;
    const u8* pNameRecord = pType != nullptr ? slotPointer(pType + offsetof(SKdsValueRecord, name)) : nullptr;
    const char* pName =
        pNameRecord != nullptr && inside(pNameRecord, sizeof(SKdsNameRecord)) ? text(pNameRecord) : nullptr;
    const u8* pKey = pName != nullptr ? child(arrayOf(pType), 0) : nullptr;
    const u8* pSeed = inside(pRoot, sizeof(SKdsArrayRecord)) ? child(pRoot, 1) : nullptr;
    if (pKey == nullptr || pSeed == nullptr) return false;
    pDigest->text(pName);
    return value(pKey, pDigest) && value(pSeed, pDigest);
  }

 private:
  // The value record of child i of an array record; null when it is not in the block.
  const u8* child(const u8* pRecord, i32 i) const {
    if (pRecord == nullptr) return nullptr;
    i32 iCount;
    std::memcpy(&iCount, pRecord + offsetof(SKdsArrayRecord, iCount), sizeof(iCount));
    const u8* pTable = slotPointer(pRecord);
    if (i < 0 || i >= iCount || !inside(pTable, 4 * static_cast<size_t>(i + 1))) return nullptr;
    const u8* pValue = m_pBlock + slotOffset(pTable + 4 * i);
    return inside(pValue, sizeof(SKdsValueRecord)) ? pValue : nullptr;
  }
  // The array record an array's value record leads to; null when it is no array or not in the block.
  const u8* arrayOf(const u8* pValue) const {
    if (pValue == nullptr) return nullptr;
    i32 iType;
    std::memcpy(&iType, pValue + offsetof(SKdsValueRecord, iType), sizeof(iType));
    const u8* pRecord = iType == E_DSCT_ARRAY ? slotPointer(pValue + offsetof(SKdsValueRecord, value)) : nullptr;
    return pRecord != nullptr && inside(pRecord, sizeof(SKdsArrayRecord)) ? pRecord : nullptr;
  }
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
  CBenchEverySecond everySecond(state, "KdsLoad.baseline.everysecond");
  const CBenchCheat cheat("KdsLoad.baseline");
  std::vector<uint8_t> image = d.image;  // each iteration writes its seed into it
  if (cheat.partial()) leaveOutLastRootChild(&image);
  const i64 iBlocks = KvAllocLiveBlocks();
  const auto load = [&image](bool bNamesToo) {
    u8* pBlock = static_cast<u8*>(KvAlignedAlloc(image.size(), 16));
    std::memcpy(pBlock, image.data(), image.size());
    fixSlot(pBlock, pBlock);
    fixArray(pBlock, slotPointer(pBlock), bNamesToo);
    return pBlock;
  };
  // The block "replay" gives: of the first iteration's script, loaded before the loop.
  u8* pReplayed = cheat.replays() ? (d.writeSeed(&image, 0), load(true)) : nullptr;
  CBenchLastIteration last(state);
  CBenchHash hash;
  benchmark::IterationCount iIteration = 0;
  std::string problem;
  u8* pBlock = nullptr;
  for (auto _ : state) {
    const bool bLeftOut = everySecond.leavesOut() || !bNames;
    d.writeSeed(&image, iIteration);
    if (cheat.replays()) {
      pBlock = pReplayed;
    } else if (!cheat.repeats(iIteration)) {
      pBlock = load(!bLeftOut);
    }
    const CBlockDigest block(pBlock, d.image.size());
    foldSample(&hash, iIteration, d.samples.size(),
               [&block](size_t uiType, SKdsDigest* pDigest) { return block.sample(uiType, pDigest); });
    if (last.next()) {
      state.PauseTiming();
      SKdsDigest loaded;
      problem = block.root(&loaded) ? compareDigest(loaded, d, iIteration) : "a slot of the block was not relocated";
      state.ResumeTiming();
    }
    // A block that the next iteration gives again ("repeat") is kept.
    if (bFree && pBlock != pReplayed && !cheat.repeats(iIteration + 1)) {
      KvAlignedFree(pBlock);
      pBlock = nullptr;
    }
    ++iIteration;
  }
  if (pBlock != nullptr && pBlock != pReplayed && bFree) KvAlignedFree(pBlock);
  if (pReplayed != nullptr) KvAlignedFree(pReplayed);
  if (problem.empty() && !(hash == d.written(state.iterations()))) {
    problem = "an earlier iteration's block differs from the script";
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
  CBenchEverySecond everySecond(state, "KdsLoadJson.baseline.everysecond");
  const CBenchCheat cheat("KdsLoadJson.baseline");
  std::string json = d.json;  // each iteration writes its seed into it
  // The tree "replay" gives: of the first iteration's script, parsed before the loop.
  nlohmann::json replayed;
  if (cheat.replays()) {
    d.writeSeed(&json, 0);
    replayed = nlohmann::json::parse(json, nullptr, false);
  }
  CBenchLastIteration last(state);
  CBenchHash hash;
  benchmark::IterationCount iIteration = 0;
  std::string problem;
  nlohmann::json tree;
  const nlohmann::json& loadedTree = cheat.replays() ? replayed : tree;
  for (auto _ : state) {
    const bool bDrop = everySecond.leavesOut() || !bFloats;
    d.writeSeed(&json, iIteration);
    if (!cheat.replays() && !cheat.repeats(iIteration)) {
      tree = nlohmann::json::parse(json, bDrop ? dropFloats : nullptr, false);
      if (cheat.partial() && tree.contains("children")) tree["children"].erase(tree["children"].size() - 1);
    }
    if (loadedTree.is_discarded()) {
      state.SkipWithError("the JSON did not parse");
      return;
    }
    foldSample(&hash, iIteration, d.samples.size(), [&loadedTree](size_t uiType, SKdsDigest* pDigest) {
      return sampleJson(loadedTree, uiType, pDigest);
    });
    if (last.next()) {
      state.PauseTiming();
      SKdsDigest loaded;
      problem = digestJson(loadedTree, &loaded) ? compareDigest(loaded, d, iIteration)
                                                : "a node of the JSON tree lacks a member";
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(tree);
    // The tree goes in its iteration, unless the next gives it again ("repeat").
    if (!cheat.repeats(iIteration + 1)) tree = nlohmann::json();
    ++iIteration;
  }
  if (problem.empty() && !(hash == d.written(state.iterations()))) {
    problem = "an earlier iteration's JSON tree differs from the script";
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
