// The compiled sample scripts read with a reader that relocates the file in place, the way the format's own
// loader works: each offset held in an 8-byte slot is replaced by the address it names, written over the slot.
// Such a reader breaks on a record that two values share, since it relocates that record's slot twice; the
// compiler gives every use its own record, and these tests hold it to that.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tools/kdsc/KdsJson.h"
#include "Tools/kdsc/KdsSource.h"

namespace {

using Json = nlohmann::ordered_json;

// Relocates a file image in place and reads the tree through the addresses it wrote. The child tables hold
// 4-byte offsets, which cannot take an address on a 64-bit machine: they are resolved as base + offset and left
// as they are. The image is assumed sound (the engine's loader has checked it); what is checked here is that no
// slot is relocated twice.
class InPlaceReader {
 public:
  explicit InPlaceReader(const std::vector<u8>& image) : m_uiSize(image.size()) {
    m_pBase = static_cast<u8*>(KvAlignedAlloc(image.size(), 16));
    std::memcpy(m_pBase, image.data(), image.size());
  }
  ~InPlaceReader() { KvAlignedFree(m_pBase); }
  InPlaceReader(const InPlaceReader&) = delete;
  InPlaceReader& operator=(const InPlaceReader&) = delete;

  // Relocates the whole file; false with the problem when a slot comes round a second time.
  bool relocate(std::string* pProblem) {
    m_pProblem = pProblem;
    if (!relocateSlot(m_pBase)) {
      return false;
    }
    u8* pRoot = addressIn(m_pBase);
    if (!relocateSlot(pRoot)) {
      return false;
    }
    return relocateChildren(pRoot);
  }

  // The tree, read through the relocated slots, in the form of the engine's JSON dump.
  Json tree() const {
    Json root = Json::object();
    root["type"] = "array";
    root["children"] = childrenOf(addressIn(m_pBase));
    return root;
  }

 private:
  u32 wordAt(const u8* p) const {
    u32 uiValue;
    std::memcpy(&uiValue, p, 4);
    return uiValue;
  }
  u8* addressIn(const u8* pSlot) const {
    u8* pAddress;
    std::memcpy(&pAddress, pSlot, sizeof(pAddress));
    return pAddress;
  }
  bool isNone(const u8* pSlot) const { return wordAt(pSlot) == 0 && wordAt(pSlot + 4) == 0; }

  // slot += base: the 8 bytes of the slot take the address of the offset in its low word.
  bool relocateSlot(u8* pSlot) {
    if (!m_relocated.insert(pSlot).second) {
      *m_pProblem = "the slot at offset " + std::to_string(pSlot - m_pBase) + " is relocated a second time";
      return false;
    }
    u8* pAddress = m_pBase + wordAt(pSlot);
    std::memcpy(pSlot, &pAddress, sizeof(pAddress));
    return true;
  }

  // The child table of a relocated array record.
  bool relocateChildren(const u8* pArray) {
    const i32 iCount = static_cast<i32>(wordAt(pArray + offsetof(SKdsArrayRecord, iCount)));
    const u8* pTable = iCount > 0 ? addressIn(pArray) : nullptr;
    for (i32 i = 0; i < iCount; ++i) {
      if (!relocateValue(m_pBase + wordAt(pTable + 4 * i))) {
        return false;
      }
    }
    return true;
  }

  bool relocateValue(u8* pRecord) {
    u8* pName = pRecord + offsetof(SKdsValueRecord, name);
    if (!isNone(pName) && (!relocateSlot(pName) || !relocateSlot(addressIn(pName)))) {
      return false;
    }
    u8* pValue = pRecord + offsetof(SKdsValueRecord, value);
    if (isNone(pValue)) {
      return true;
    }
    switch (wordAt(pRecord + offsetof(SKdsValueRecord, iType))) {
      case E_DSCT_STRING:
        return relocateSlot(pValue);
      case E_DSCT_HASH_ID:
        return relocateSlot(pValue) && relocateSlot(addressIn(pValue));
      case E_DSCT_ARRAY: {
        u8* pArray = m_pBase + wordAt(pValue);
        if (wordAt(pArray + offsetof(SKdsArrayRecord, iCount)) > 0 && !relocateSlot(pArray)) {
          return false;
        }
        return relocateChildren(pArray) && relocateSlot(pValue);
      }
      default:
        return true;
    }
  }

  Json childrenOf(const u8* pArray) const {
    Json children = Json::array();
    const i32 iCount = static_cast<i32>(wordAt(pArray + offsetof(SKdsArrayRecord, iCount)));
    const u8* pTable = iCount > 0 ? addressIn(pArray) : nullptr;
    for (i32 i = 0; i < iCount; ++i) {
      children.push_back(valueOf(m_pBase + wordAt(pTable + 4 * i)));
    }
    return children;
  }

  Json valueOf(const u8* pRecord) const {
    Json node = Json::object();
    const u8* pName = pRecord + offsetof(SKdsValueRecord, name);
    if (!isNone(pName)) {
      const u8* pNameRecord = addressIn(pName);
      node["name"] = reinterpret_cast<const char*>(addressIn(pNameRecord));
      node["nameHash"] = wordAt(pNameRecord + offsetof(SKdsNameRecord, uiHash));
    }
    const u8* pValue = pRecord + offsetof(SKdsValueRecord, value);
    const bool bNone = isNone(pValue);
    switch (wordAt(pRecord + offsetof(SKdsValueRecord, iType))) {
      case E_DSCT_FLOAT: {
        float fValue;
        std::memcpy(&fValue, pValue, 4);
        node["type"] = "float";
        node["value"] = static_cast<double>(fValue);
        break;
      }
      case E_DSCT_STRING:
        node["type"] = "string";
        node["value"] = bNone ? "" : reinterpret_cast<const char*>(addressIn(pValue));
        break;
      case E_DSCT_HASH_ID: {
        const u8* pId = bNone ? nullptr : addressIn(pValue);
        node["type"] = "hash_id";
        node["value"] = pId != nullptr ? reinterpret_cast<const char*>(addressIn(pId)) : "";
        node["hash"] = pId != nullptr ? wordAt(pId + offsetof(SKdsNameRecord, uiHash)) : 0u;
        break;
      }
      case E_DSCT_ARRAY:
        node["type"] = "array";
        node["children"] = bNone ? Json::array() : childrenOf(addressIn(pValue));
        break;
      default:
        node["type"] = "int";
        node["value"] = static_cast<i32>(wordAt(pValue));
        break;
    }
    return node;
  }

  u8* m_pBase;
  size_t m_uiSize;
  std::set<const u8*> m_relocated;
  std::string* m_pProblem = nullptr;
};

std::vector<u8> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The engine's tree of an image, as JSON.
Json engineTree(const std::vector<u8>& image, const std::string& name) {
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(image.data(), image.size(), name.c_str(), szError, sizeof(szError));
  EXPECT_NE(pRoot, nullptr) << szError;
  if (pRoot == nullptr) {
    return Json();
  }
  const Json tree = Json::parse(KdsTreeToJson(pRoot));
  ClDScriptData2::destroyTree(pRoot);
  return tree;
}

TEST(KdsInPlaceReader, TheSampleScriptsRelocateInPlaceAndReadAsTheEngineReadsThem) {
  i32 iScripts = 0;
  for (const auto& file : std::filesystem::directory_iterator(KV_SAMPLE_SCRIPTS_DIR)) {
    if (file.path().extension() != ".kds") continue;
    SCOPED_TRACE(file.path().string());
    ++iScripts;
    const std::vector<u8> image = readFile(file.path());
    InPlaceReader reader(image);
    std::string problem;
    ASSERT_TRUE(reader.relocate(&problem)) << problem;
    EXPECT_EQ(reader.tree(), engineTree(image, file.path().filename().string()));
  }
  EXPECT_GT(iScripts, 0) << "the build compiles Content/Scripts into " << KV_SAMPLE_SCRIPTS_DIR;
}

// A file whose values share one name record, as the compiler wrote them before, is caught: the shared record's
// slot comes round twice.
TEST(KdsInPlaceReader, ASharedNameRecordIsRelocatedTwice) {
  SKdsSourceNode root;
  std::string error;
  ASSERT_TRUE(KdsParseSource("A = [ { Weight = 1 }, { Weight = 2 } ]", "t.kdt", &root, &error)) << error;
  std::vector<u8> image = KdsWriteImage(root);
  // Point the second "Weight" value at the first one's name record.
  std::vector<size_t> nameSlots;
  for (size_t at = 0; at + sizeof(SKdsValueRecord) <= image.size(); at += 4) {
    u32 uiType;
    u32 uiName;
    std::memcpy(&uiType, &image[at + offsetof(SKdsValueRecord, iType)], 4);
    std::memcpy(&uiName, &image[at + offsetof(SKdsValueRecord, name)], 4);
    if (uiType == E_DSCT_INT && uiName != 0 && uiName + 12 <= image.size()) {
      u32 uiChars;
      std::memcpy(&uiChars, &image[uiName], 4);
      if (uiChars < image.size() && std::strcmp(reinterpret_cast<const char*>(&image[uiChars]), "Weight") == 0) {
        nameSlots.push_back(at + offsetof(SKdsValueRecord, name));
      }
    }
  }
  ASSERT_EQ(nameSlots.size(), 2u);
  std::memcpy(&image[nameSlots[1]], &image[nameSlots[0]], 4);
  EXPECT_EQ(engineTree(image, "shared.kds"), engineTree(KdsWriteImage(root), "t.kds"));  // the engine takes it
  InPlaceReader reader(image);
  std::string problem;
  EXPECT_FALSE(reader.relocate(&problem));
  EXPECT_NE(problem.find("relocated a second time"), std::string::npos) << problem;
}

}  // namespace
