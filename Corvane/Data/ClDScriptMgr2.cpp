#include "Corvane/Data/ClDScriptMgr2.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Data/KvDataFileRead.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

ClSimpleHashTable s_scriptCache;
bool s_bInitialized = false;
// The file of the load in progress; released by the load itself, or by terminate after a stop.
SDataFileRead s_currentLoad;

// Arrays with more named children than this are checked for duplicate names by sorting, not pairwise.
constexpr i32 gc_iPAIRWISE_DUPLICATE_CHECK = 16;

}  // namespace

// Reads a file image by offset, checking every record against the image before it is used. The image is
// never written.
//
// Two walks over the same records: the first checks everything and measures the tree (nodes, child-table
// slots, text bytes); the second builds it in one block of exactly that size, so a load costs one allocation
// whatever the size of the file and the tree's nodes lie side by side. Each value record read makes one node;
// the node budget (one node per 20 bytes of file) keeps a file whose records are shared or loop back on
// themselves from making more nodes than a well-formed file of its size could, and the texts of a tree may
// come to gc_uiKDS_MAX_TEXT_BYTES (the limit the compiler keeps too).
struct SKdsTreeBuilder {
  const u8* m_pImage;
  u64 m_uiSize;
  const char* m_pFileName;
  char* m_pError;
  u32 m_uiErrorSize;
  u64 m_uiNodesLeft = 0;
  // Measured by the first walk.
  u64 m_uiNodes = 0;
  u64 m_uiSlots = 0;
  u64 m_uiText = 0;
  // Where the second walk puts the next node, child table and text in the block.
  ClDScriptData2* m_pNextNode = nullptr;
  ClDScriptData2** m_ppNextSlot = nullptr;
  char* m_pNextText = nullptr;

  bool fail(const char* pFormat, ...) __attribute__((format(printf, 2, 3))) {
    if (m_pError != nullptr && m_uiErrorSize > 0) {
      char szProblem[gc_uiKDS_ERROR_SIZE];
      va_list args;
      va_start(args, pFormat);
      std::vsnprintf(szProblem, sizeof(szProblem), pFormat, args);
      va_end(args);
      std::snprintf(m_pError, m_uiErrorSize, "Data script [%s] refused: %s", m_pFileName, szProblem);
    }
    return false;
  }

  bool inside(u64 uiOffset, u64 uiBytes) const { return uiOffset <= m_uiSize && uiBytes <= m_uiSize - uiOffset; }

  u32 u32At(u64 uiOffset) const {
    u32 uiValue;
    std::memcpy(&uiValue, m_pImage + uiOffset, sizeof(uiValue));
    return uiValue;
  }

  // The offset a slot holds (0 for none). The caller has checked that the slot lies inside the image.
  u64 slotAt(u64 uiOffset) const {
    return static_cast<u64>(u32At(uiOffset)) | (static_cast<u64>(u32At(uiOffset + 4)) << 32);
  }

  bool textAt(u64 uiOffset, const char* pWhat, const char** ppText, size_t* puiLength) {
    if (uiOffset >= m_uiSize) {
      return fail("%s at 0x%llX lies outside the file (%llu bytes)", pWhat,
                  static_cast<unsigned long long>(uiOffset), static_cast<unsigned long long>(m_uiSize));
    }
    const void* pEnd = std::memchr(m_pImage + uiOffset, 0, m_uiSize - uiOffset);
    if (pEnd == nullptr) {
      return fail("%s at 0x%llX has no terminating zero inside the file", pWhat,
                  static_cast<unsigned long long>(uiOffset));
    }
    *ppText = reinterpret_cast<const char*>(m_pImage + uiOffset);
    *puiLength = static_cast<size_t>(static_cast<const u8*>(pEnd) - (m_pImage + uiOffset));
    return true;
  }

  // Counts a text (first walk) or copies it into the block (second walk).
  template <bool kBuild>
  bool takeText(const char* pText, size_t uiLength, char** ppCopy) {
    if constexpr (kBuild) {
      std::memcpy(m_pNextText, pText, uiLength);
      m_pNextText[uiLength] = 0;
      *ppCopy = m_pNextText;
      m_pNextText += uiLength + 1;
    } else {
      m_uiText += uiLength + 1;
      if (m_uiText > gc_uiKDS_MAX_TEXT_BYTES) {
        return fail("its texts come to more than the %llu bytes a data script may hold",
                    static_cast<unsigned long long>(gc_uiKDS_MAX_TEXT_BYTES));
      }
    }
    return true;
  }

  // A name record or hash-id record at uiOffset: its text (empty when its character slot is none) and hash.
  bool nameRecordAt(u64 uiOffset, const char* pWhat, const char** ppText, size_t* puiLength, u32* puiHash) {
    if (!inside(uiOffset, sizeof(SKdsNameRecord))) {
      return fail("%s at 0x%llX lies outside the file (%llu bytes)", pWhat,
                  static_cast<unsigned long long>(uiOffset), static_cast<unsigned long long>(m_uiSize));
    }
    *puiHash = u32At(uiOffset + offsetof(SKdsNameRecord, uiHash));
    const u64 uiCharacters = slotAt(uiOffset);
    if (uiCharacters == 0) {
      *ppText = "";
      *puiLength = 0;
      return true;
    }
    return textAt(uiCharacters, "text", ppText, puiLength);
  }

  bool checkDuplicateNames(ClDScriptData2* pNode) {
    const i32 iCount = pNode->mp_Children.getCount();
    if (iCount <= gc_iPAIRWISE_DUPLICATE_CHECK) {
      for (i32 i = 0; i < iCount; ++i) {
        const ClDScriptData2* pA = pNode->mp_Children[i];
        for (i32 j = 0; pA->mp_bHasName && j < i; ++j) {
          const ClDScriptData2* pB = pNode->mp_Children[j];
          if (pB->mp_bHasName && pB->mp_uiNameHash == pA->mp_uiNameHash) {
            return fail("array [%s] has two children named [%s]", pNode->getDisplayName(), pA->getDisplayName());
          }
        }
      }
      return true;
    }
    u32* pHashes = static_cast<u32*>(KvAlignedAlloc(sizeof(u32) * static_cast<size_t>(iCount), 16));
    KV_ASSERT_MSG(pHashes, "pArray");
    i32 iNamed = 0;
    for (i32 i = 0; i < iCount; ++i) {
      if (pNode->mp_Children[i]->mp_bHasName) {
        pHashes[iNamed++] = pNode->mp_Children[i]->mp_uiNameHash;
      }
    }
    std::sort(pHashes, pHashes + iNamed);
    const u32* pDuplicate = std::adjacent_find(pHashes, pHashes + iNamed);
    const bool bDuplicate = pDuplicate != pHashes + iNamed;
    const u32 uiDuplicate = bDuplicate ? *pDuplicate : 0;
    KvAlignedFree(pHashes);
    if (bDuplicate) {
      return fail("array [%s] has two children named [%s]", pNode->getDisplayName(),
                  pNode->findChildByHash(uiDuplicate)->getDisplayName());
    }
    return true;
  }

  // A new node in the block, its child table (room for iCount children and one more, as the vector keeps)
  // when it is an array.
  ClDScriptData2* placeNode() {
    ClDScriptData2* pNode = new (m_pNextNode++) ClDScriptData2();
    pNode->m_uiBlockParts = ClDScriptData2::E_BLOCK_NODE;
    return pNode;
  }
  // The root, first in the block, holds the block.
  ClDScriptData2* placeRoot(void* pBlock, i32 iCount) {
    ClDScriptData2* pRoot = placeNode();
    pRoot->mp_pBlock = pBlock;
    placeChildTable(pRoot, iCount);
    return pRoot;
  }
  void placeChildTable(ClDScriptData2* pNode, i32 iCount) {
    pNode->mp_Children.initializeInBlock(m_ppNextSlot, iCount + 1);
    m_ppNextSlot += iCount + 1;
    pNode->mp_eValueType = E_DSVT_ARRAY;
  }

  // The child count of an array record, for the size of its child table (0 for one the walk refuses).
  i32 childCountOf(u64 uiRecord) const {
    if (uiRecord == 0 || !inside(uiRecord, sizeof(SKdsArrayRecord))) {
      return 0;
    }
    const i32 iCount = static_cast<i32>(u32At(uiRecord + offsetof(SKdsArrayRecord, iCount)));
    return iCount > 0 ? iCount : 0;
  }

  // Walks the array record at uiRecord: the first walk measures it, the second fills pNode (an array whose
  // child table the caller has placed).
  template <bool kBuild>
  bool convertArray(u64 uiRecord, ClDScriptData2* pNode, i32 iDepth) {
    if (!inside(uiRecord, sizeof(SKdsArrayRecord))) {
      return fail("array record at 0x%llX lies outside the file (%llu bytes)",
                  static_cast<unsigned long long>(uiRecord), static_cast<unsigned long long>(m_uiSize));
    }
    const i32 iCount = static_cast<i32>(u32At(uiRecord + offsetof(SKdsArrayRecord, iCount)));
    if (iCount < 0) {
      return fail("array record at 0x%llX has a negative child count (%d)",
                  static_cast<unsigned long long>(uiRecord), iCount);
    }
    if (iCount == 0) {
      return true;
    }
    const u64 uiTable = slotAt(uiRecord);
    if (uiTable == 0 || !inside(uiTable, static_cast<u64>(iCount) * 4)) {
      return fail("child table of %d entries at 0x%llX lies outside the file (%llu bytes)", iCount,
                  static_cast<unsigned long long>(uiTable), static_cast<unsigned long long>(m_uiSize));
    }
    if (static_cast<u64>(iCount) > m_uiNodesLeft) {
      return fail("it holds more values than a file of %llu bytes has room for (shared or looping records)",
                  static_cast<unsigned long long>(m_uiSize));
    }
    for (i32 i = 0; i < iCount; ++i) {
      if (!convertValue<kBuild>(u32At(uiTable + 4 * static_cast<u64>(i)), pNode, iDepth)) {
        return false;
      }
    }
    if constexpr (kBuild) {
      return checkDuplicateNames(pNode);
    }
    return true;
  }

  template <bool kBuild>
  bool convertValue(u64 uiRecord, ClDScriptData2* pParent, i32 iDepth) {
    if (m_uiNodesLeft == 0) {
      return fail("it holds more values than a file of %llu bytes has room for (shared or looping records)",
                  static_cast<unsigned long long>(m_uiSize));
    }
    --m_uiNodesLeft;
    if (!inside(uiRecord, sizeof(SKdsValueRecord))) {
      return fail("value record at 0x%llX lies outside the file (%llu bytes)",
                  static_cast<unsigned long long>(uiRecord), static_cast<unsigned long long>(m_uiSize));
    }
    const i32 iType = static_cast<i32>(u32At(uiRecord + offsetof(SKdsValueRecord, iType)));
    if (iType < E_DSCT_INT || iType >= NUM_E_DSCT) {
      return fail("value record at 0x%llX has the invalid type %d", static_cast<unsigned long long>(uiRecord),
                  iType);
    }

    ClDScriptData2* pChild = nullptr;
    if constexpr (kBuild) {
      pChild = placeNode();
      pParent->mp_Children.append(pChild);
      pChild->mp_pParent = pParent;
    } else {
      ++m_uiNodes;
    }

    const u64 uiName = slotAt(uiRecord + offsetof(SKdsValueRecord, name));
    if (uiName != 0) {
      const char* pText = "";
      size_t uiLength = 0;
      u32 uiHash = 0;
      char* pCopy = nullptr;
      if (!nameRecordAt(uiName, "name record", &pText, &uiLength, &uiHash) ||
          !takeText<kBuild>(pText, uiLength, &pCopy)) {
        return false;
      }
      if constexpr (kBuild) {
        pChild->mp_pNamedKey = pCopy;
        pChild->mp_uiNameHash = uiHash;
        pChild->mp_bHasName = 1;
        pChild->m_uiBlockParts |= ClDScriptData2::E_BLOCK_NAME;
      }
    }

    const u64 uiValueSlot = uiRecord + offsetof(SKdsValueRecord, value);
    const u64 uiValue = slotAt(uiValueSlot);
    const char* pText = "";
    size_t uiLength = 0;
    char* pCopy = nullptr;
    switch (iType) {
      case E_DSCT_INT:
      case E_DSCT_INT2:
      case E_DSCT_FLOAT:
        if constexpr (kBuild) {
          pChild->mp_Value.mp_uiHash = u32At(uiValueSlot);
          pChild->mp_eValueType = iType == E_DSCT_FLOAT ? E_DSVT_FLOAT : E_DSVT_INT;
        }
        return true;
      case E_DSCT_STRING:
        if ((uiValue != 0 && !textAt(uiValue, "text", &pText, &uiLength)) ||
            !takeText<kBuild>(pText, uiLength, &pCopy)) {
          return false;
        }
        if constexpr (kBuild) {
          pChild->mp_Value.mp_pStringValue = pCopy;
          pChild->mp_eValueType = E_DSVT_STRING;
          pChild->m_uiBlockParts |= ClDScriptData2::E_BLOCK_TEXT;
        }
        return true;
      case E_DSCT_HASH_ID: {
        u32 uiHash = 0;
        if ((uiValue != 0 && !nameRecordAt(uiValue, "hash-id record", &pText, &uiLength, &uiHash)) ||
            !takeText<kBuild>(pText, uiLength, &pCopy)) {
          return false;
        }
        if constexpr (kBuild) {
          pChild->mp_Value.mp_pStringValue = pCopy;
          pChild->mp_Value.mp_uiHash = uiHash;
          pChild->mp_eValueType = E_DSVT_HASH_ID;
          pChild->m_uiBlockParts |= ClDScriptData2::E_BLOCK_TEXT;
        }
        return true;
      }
      default: {  // E_DSCT_ARRAY
        if (iDepth + 1 > gc_iKDS_MAX_DEPTH) {
          return fail("arrays nest deeper than %d levels", gc_iKDS_MAX_DEPTH);
        }
        if constexpr (kBuild) {
          placeChildTable(pChild, childCountOf(uiValue));
        } else {
          m_uiSlots += static_cast<u64>(childCountOf(uiValue)) + 1;
        }
        return uiValue == 0 || convertArray<kBuild>(uiValue, pChild, iDepth + 1);
      }
    }
  }
};

ClDScriptData2* ClDScriptMgr2::buildTree(const void* pImage, size_t uiSize, const char* pFileName, char* pError,
                                         u32 uiErrorSize) {
  SKdsTreeBuilder builder{static_cast<const u8*>(pImage), uiSize, pFileName ? pFileName : "(unnamed)", pError,
                          uiErrorSize};
  if (pError != nullptr && uiErrorSize > 0) {
    pError[0] = 0;
  }
  if (pImage == nullptr || uiSize < sizeof(SKdsSlot)) {
    builder.fail("the file is %llu bytes long, too short to hold the root slot",
                 static_cast<unsigned long long>(uiSize));
    return nullptr;
  }
  const u64 uiRoot = builder.slotAt(0);
  if (uiRoot == 0) {
    builder.fail("the root slot is empty");
    return nullptr;
  }

  // The first walk checks the file and measures the tree.
  const u64 uiNodeBudget = uiSize / sizeof(SKdsValueRecord);
  builder.m_uiNodesLeft = uiNodeBudget;
  builder.m_uiSlots = static_cast<u64>(builder.childCountOf(uiRoot)) + 1;
  if (!builder.convertArray<false>(uiRoot, nullptr, 0)) {
    return nullptr;
  }

  // The second builds it in one block: the nodes (the root first), the child tables, the texts.
  const u64 uiNodeBytes = sizeof(ClDScriptData2) * (builder.m_uiNodes + 1);
  const u64 uiSlotBytes = sizeof(ClDScriptData2*) * builder.m_uiSlots;
  u8* pBlock = static_cast<u8*>(KvAlignedAlloc(uiNodeBytes + uiSlotBytes + builder.m_uiText, 16));
  KV_ASSERT_MSG(pBlock, "pNewValue");
  builder.m_pNextNode = reinterpret_cast<ClDScriptData2*>(pBlock);
  builder.m_ppNextSlot = reinterpret_cast<ClDScriptData2**>(pBlock + uiNodeBytes);
  builder.m_pNextText = reinterpret_cast<char*>(pBlock + uiNodeBytes + uiSlotBytes);
  builder.m_uiNodesLeft = uiNodeBudget;
  ClDScriptData2* pRoot = builder.placeRoot(pBlock, builder.childCountOf(uiRoot));
  if (!builder.convertArray<true>(uiRoot, pRoot, 0)) {
    // Only a duplicate name fails here; what was built goes with the block.
    ClDScriptData2::destroyTree(pRoot);
    return nullptr;
  }
  return pRoot;
}

void ClDScriptMgr2::initialize() {
  KV_ASSERT_MSG(!s_bInitialized, "ClDScriptMgr2 already initialized");
  s_scriptCache.initialize(gc_iDSCRIPT_CACHE_SLOTS);
  s_bInitialized = true;
}

bool ClDScriptMgr2::isInitialized() { return s_bInitialized; }

i32 ClDScriptMgr2::getCachedCount() { return s_scriptCache.getCount(); }

ClDScriptData2* ClDScriptMgr2::getScript(const char* pName, const char* pFolder) {
  KV_ASSERT(pName);
  KV_ASSERT_MSG(s_bInitialized, "ClDScriptMgr2 used before initialize");
  char szPath[KV_MAX_PATH_LEN];
  if (pFolder != nullptr) {
    KvStrLCpy(szPath, pFolder, sizeof(szPath));
    KvStrLCat(szPath, "\\", sizeof(szPath));
    KvStrLCat(szPath, pName, sizeof(szPath));
  } else {
    KvStrLCpy(szPath, pName, sizeof(szPath));
  }
  const u32 uiKey = KvStrHash(szPath);
  if (ClDScriptData2* pCached = s_scriptCache.findPtr<ClDScriptData2>(uiKey)) {
    return pCached;
  }
  ClDScriptData2* pRoot = loadScript(szPath, pFolder == nullptr);
  if (pRoot != nullptr) {
    s_scriptCache.insertPtr(uiKey, pRoot);
  }
  return pRoot;
}

namespace {

// The full path of a script: data root, "Scripts\" unless it has a folder of its own, name, ".kds".
void scriptPath(char* pPath, const char* pName, bool bUseScriptsFolder) {
  KvStrLCpy(pPath, KvGetDataRootPath(), KV_MAX_PATH_LEN);
  if (bUseScriptsFolder) {
    KvStrLCat(pPath, "Scripts", KV_MAX_PATH_LEN);
    KvStrLCat(pPath, "\\", KV_MAX_PATH_LEN);
  }
  KvStrLCat(pPath, pName, KV_MAX_PATH_LEN);
  KvStrLCat(pPath, ".kds", KV_MAX_PATH_LEN);
  for (char* p = pPath; *p; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
}

}  // namespace

const char* ClDScriptMgr2::describeLocation(const char* pName, const char* pFolder, char* pText, u32 uiSize) {
  char szName[KV_MAX_PATH_LEN];
  KvSNPrintf(szName, sizeof(szName), "%s%s%s", pFolder != nullptr ? pFolder : "", pFolder != nullptr ? "\\" : "",
             pName);
  char szPath[KV_MAX_PATH_LEN];
  scriptPath(szPath, szName, pFolder == nullptr);
  return KvDescribeDataFileLocation(szPath, pText, uiSize);
}

ClDScriptData2* ClDScriptMgr2::loadScript(const char* pName, bool bUseScriptsFolder) {
  KV_ASSERT(pName);
  char szPath[KV_MAX_PATH_LEN];
  scriptPath(szPath, pName, bUseScriptsFolder);
  KvReleaseDataFile(&s_currentLoad);
  const E_DATA_READ eRead = KvReadDataFile(szPath, &s_currentLoad);
  // The archive reader's reason names the file on disk.
  if (eRead == E_DATA_READ_CANNOT_OPEN) {
    KV_DATA_FATALF("Could not open script data file at [%s]! (%s)", pName, KvGetDataFileProblem());
    return nullptr;
  }
  if (eRead != E_DATA_READ_OK) {
    KvPrintProblem("Data script [%s] could not be read (%s)", szPath, KvGetDataFileProblem());
    return nullptr;
  }
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot =
      buildTree(s_currentLoad.mp_pBytes, s_currentLoad.mp_uiSize, szPath, szError, sizeof(szError));
  KvReleaseDataFile(&s_currentLoad);
  if (pRoot == nullptr) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvPrintProblem("%s (%s)", szError, KvDescribeDataFileLocation(szPath, szWhere, sizeof(szWhere)));
  }
  return pRoot;
}

void ClDScriptMgr2::terminate() {
  if (s_scriptCache.isAllocated()) {
    s_scriptCache.forEachValue([](uintptr_t uiValue, i32) {
      ClDScriptData2::destroyTree(reinterpret_cast<ClDScriptData2*>(uiValue));
    });
    s_scriptCache.terminate();
  }
  KvReleaseDataFile(&s_currentLoad);
  s_bInitialized = false;
}
