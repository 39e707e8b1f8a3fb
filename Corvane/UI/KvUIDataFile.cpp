#include "Corvane/UI/KvUIDataFile.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Corvane/ADT/ClDynamicHashTable.h"
#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/UI/ClWidget.h"

namespace {

constexpr u32 gc_uiINSTANCE_SIZE = sizeof(SRawWidgetInstance);
constexpr u32 gc_uiPROPERTY_SIZE = sizeof(SRawWidgetProperty);
constexpr u32 gc_uiCALL_SIZE = sizeof(WidgetEventProcedureCall);
constexpr u32 gc_uiNAME_OFFSET = offsetof(SRawWidgetInstance, mp_acName);

// A byte range of the file taken by one record or array. Exclusive ranges (everything the loader relocates
// or a widget writes, and every offset array) may overlap nothing; parameter records may be shared.
struct SByteRange {
  u64 uiStart;
  u64 uiEnd;
  u32 bExclusive;
};

// A block of T from the engine heap, freed when it goes out of scope.
template <typename T>
class ClScratch {
 public:
  explicit ClScratch(u64 uiCount)
      : m_pData(static_cast<T*>(KvAlignedAlloc(sizeof(T) * (uiCount > 0 ? uiCount : 1), 16))) {}
  ~ClScratch() { KvAlignedFree(m_pData); }
  ClScratch(const ClScratch&) = delete;
  ClScratch& operator=(const ClScratch&) = delete;
  T* get() const { return m_pData; }
  T& operator[](u64 i) const { return m_pData[i]; }

 private:
  T* m_pData;
};

// What the simulated build knows of one instance ID.
struct SIdState {
  u32 bOnStack;  // an ancestor of the widget being built
  u32 bBuilt;    // built (and finished unless on the stack)
  i64 iVisits;   // widgets the walk from here visits, shared children once per parent, capped
};

class ClUIDataChecker {
 public:
  ClUIDataChecker(const u8* pImage, u32 uiSize, const char* pFileName, KvUIDataKnownID pfnKnownID, char* pError,
                  u32 uiErrorSize)
      : m_pImage(pImage),
        m_uiSize(uiSize),
        m_pFileName(pFileName != nullptr ? pFileName : "?"),
        m_pfnKnownID(pfnKnownID),
        m_pError(pError),
        m_uiErrorSize(uiErrorSize) {
    m_ranges.initialize(64);
  }
  ~ClUIDataChecker() {
    m_ranges.terminate();
    if (m_ids.isAllocated()) {
      m_ids.terminate();
    }
    KvAlignedFree(m_pTableOffsets);
    KvAlignedFree(m_pSortedTable);
    KvAlignedFree(m_pIdStates);
  }
  ClUIDataChecker(const ClUIDataChecker&) = delete;
  ClUIDataChecker& operator=(const ClUIDataChecker&) = delete;

  bool run() {
    if (m_pImage == nullptr) {
      return fail("no image");
    }
    if (m_uiSize < gc_uiUI_DATA_HEADER_SIZE) {
      return fail("%u bytes is too short for the %u-byte header", m_uiSize, gc_uiUI_DATA_HEADER_SIZE);
    }
    addRange(0, gc_uiUI_DATA_HEADER_SIZE, true);
    m_iNumWidgets = readI32(16);
    if (!readOffsetArray(0, m_iNumWidgets, "the widget table", &m_pTableOffsets)) {
      return false;
    }
    m_pSortedTable = static_cast<u32*>(KvAlignedAlloc(sizeof(u32) * static_cast<u64>(m_iNumWidgets + 1), 16));
    if (m_pSortedTable == nullptr) {
      return fail("no memory to check %d widgets", m_iNumWidgets);
    }
    for (i32 i = 0; i < m_iNumWidgets; ++i) {
      const u32 uiInstance = m_pTableOffsets[i];
      if (!checkRecord(uiInstance, gc_uiINSTANCE_SIZE, 8, "widget", i)) {
        return false;
      }
      m_pSortedTable[i] = uiInstance;
    }
    std::sort(m_pSortedTable, m_pSortedTable + m_iNumWidgets);
    for (i32 i = 0; i < m_iNumWidgets; ++i) {
      if (!checkInstance(m_pTableOffsets[i])) {
        return false;
      }
    }
    const u32 uiRoot = readU32(8);
    if (!isInTable(uiRoot)) {
      return fail("the root widget at %u is not in the widget table", uiRoot);
    }
    return checkOverlaps() && checkTree(uiRoot);
  }

 private:
  bool fail(const char* pFormat, ...) __attribute__((format(printf, 2, 3))) {
    if (m_pError != nullptr && m_uiErrorSize > 0) {
      char szProblem[gc_uiUI_DATA_ERROR_SIZE];
      va_list args;
      va_start(args, pFormat);
      std::vsnprintf(szProblem, sizeof(szProblem), pFormat, args);
      va_end(args);
      std::snprintf(m_pError, m_uiErrorSize, "UI data [%s] refused: %s", m_pFileName, szProblem);
    }
    return false;
  }

  u32 readU32(u64 uiOffset) const {
    u32 uiValue;
    std::memcpy(&uiValue, m_pImage + uiOffset, sizeof(uiValue));
    return uiValue;
  }
  i32 readI32(u64 uiOffset) const { return static_cast<i32>(readU32(uiOffset)); }
  // The name of the instance at an offset checked before, for messages (at most 31 characters).
  const char* nameAt(u32 uiInstance) {
    std::memcpy(m_szName, m_pImage + uiInstance + gc_uiNAME_OFFSET, 31);
    m_szName[31] = '\0';
    return m_szName;
  }

  void addRange(u64 uiStart, u64 uiLength, bool bExclusive) {
    if (uiLength > 0) {
      m_ranges.append({uiStart, uiStart + uiLength, bExclusive ? 1u : 0u});
    }
  }

  bool checkRecord(u64 uiOffset, u64 uiLength, u32 uiAlignment, const char* pWhat, i32 iIndex) {
    if (uiOffset % uiAlignment != 0 || uiOffset + uiLength > m_uiSize) {
      return fail("%s %d at %llu lies outside the file or off a %u-byte boundary", pWhat, iIndex,
                  static_cast<unsigned long long>(uiOffset), uiAlignment);
    }
    addRange(uiOffset, uiLength, true);
    return true;
  }

  // Reads the offset array behind the pointer slot at uiSlot: count not negative, inside the file, on a
  // 4-byte boundary. *ppOffsets receives a copy of the offsets (the caller frees it).
  bool readOffsetArray(u64 uiSlot, i32 iCount, const char* pWhat, u32** ppOffsets) {
    *ppOffsets = nullptr;
    const u64 uiArray = readU32(uiSlot);
    if (iCount < 0) {
      return fail("%s has the negative count %d", pWhat, iCount);
    }
    const u64 uiBytes = 4ull * static_cast<u64>(iCount);
    if (iCount > 0 && (uiArray % 4 != 0 || uiArray + uiBytes > m_uiSize)) {
      return fail("%s at %llu with %d entries lies outside the file or off a 4-byte boundary", pWhat,
                  static_cast<unsigned long long>(uiArray), iCount);
    }
    addRange(uiArray, uiBytes, true);
    *ppOffsets = static_cast<u32*>(KvAlignedAlloc(uiBytes > 0 ? uiBytes : 4, 16));
    if (*ppOffsets == nullptr) {
      return fail("no memory to check %s", pWhat);
    }
    if (uiBytes > 0) {
      std::memcpy(*ppOffsets, m_pImage + uiArray, uiBytes);
    }
    return true;
  }

  bool isInTable(u32 uiInstance) const {
    return std::binary_search(m_pSortedTable, m_pSortedTable + m_iNumWidgets, uiInstance);
  }

  bool checkInstance(u32 uiInstance) {
    const char* pName = nameAt(uiInstance);
    if (readU32(uiInstance + offsetof(SRawWidgetInstance, mp_uiInstanceID)) == 0) {
      return fail("widget [%s] has the instance ID 0", pName);
    }
    u32* pOffsets = nullptr;
    // Properties.
    const i32 iNumProperties = readI32(uiInstance + offsetof(SRawWidgetInstance, mp_iNumProperties));
    if (!readOffsetArray(uiInstance, iNumProperties, "a property array", &pOffsets)) {
      return false;
    }
    ClScratch<u32> hashes(static_cast<u64>(iNumProperties));
    bool bOk = hashes.get() != nullptr || fail("no memory to check widget [%s]", pName);
    for (i32 i = 0; bOk && i < iNumProperties; ++i) {
      bOk = checkProperty(uiInstance, pOffsets[i], i, &hashes[i]);
    }
    KvAlignedFree(pOffsets);
    if (!bOk) {
      return false;
    }
    std::sort(hashes.get(), hashes.get() + iNumProperties);
    for (i32 i = 1; i < iNumProperties; ++i) {
      if (hashes[i] == hashes[i - 1]) {
        return fail("Duplicate property defined in widget [%s]: this can be caused by duplicate properties in the "
                    "base class in the CHI/CHF. (property 0x%08X)",
                    nameAt(uiInstance), hashes[i]);
      }
    }
    // Children, then switched children, which must be children too.
    const i32 iNumChildren = readI32(uiInstance + offsetof(SRawWidgetInstance, mp_iNumChildren));
    if (!readOffsetArray(uiInstance + 8, iNumChildren, "a child array", &pOffsets)) {
      return false;
    }
    ClScratch<u32> childIDs(static_cast<u64>(iNumChildren));
    bOk = childIDs.get() != nullptr || fail("no memory to check widget [%s]", pName);
    for (i32 i = 0; bOk && i < iNumChildren; ++i) {
      bOk = isInTable(pOffsets[i]) ||
            fail("widget [%s] child %d at %u is not in the widget table", nameAt(uiInstance), i, pOffsets[i]);
      if (bOk) {
        childIDs[i] = readU32(pOffsets[i] + offsetof(SRawWidgetInstance, mp_uiInstanceID));
      }
    }
    KvAlignedFree(pOffsets);
    if (!bOk) {
      return false;
    }
    std::sort(childIDs.get(), childIDs.get() + iNumChildren);
    const i32 iNumSwitched = readI32(uiInstance + offsetof(SRawWidgetInstance, mp_iNumSwitchedChildren));
    if (!readOffsetArray(uiInstance + 16, iNumSwitched, "a switched-child array", &pOffsets)) {
      return false;
    }
    for (i32 i = 0; bOk && i < iNumSwitched; ++i) {
      if (!isInTable(pOffsets[i])) {
        bOk = fail("widget [%s] switched child %d at %u is not in the widget table", nameAt(uiInstance), i,
                   pOffsets[i]);
      } else if (!std::binary_search(childIDs.get(), childIDs.get() + iNumChildren,
                                     readU32(pOffsets[i] + offsetof(SRawWidgetInstance, mp_uiInstanceID)))) {
        const char* pParent = nameAt(uiInstance);
        char szParent[32];
        std::memcpy(szParent, pParent, sizeof(szParent));
        bOk = fail("widget [%s] switches to [%s], which is not one of its children", szParent, nameAt(pOffsets[i]));
      }
    }
    KvAlignedFree(pOffsets);
    return bOk;
  }

  bool checkProperty(u32 uiInstance, u32 uiProperty, i32 iIndex, u32* pHash) {
    if (!checkRecord(uiProperty, gc_uiPROPERTY_SIZE, 8, "property", iIndex)) {
      return false;
    }
    const u32 uiType = readU32(uiProperty + offsetof(SRawWidgetProperty, mp_uiType));
    *pHash = readU32(uiProperty + offsetof(SRawWidgetProperty, mp_uiNameHash));
    if (uiType == E_BASE_TYPE_UNICODE_STRING || uiType >= NUM_E_BASE_TYPE) {
      return fail("widget [%s] property %d has the type %u, which a file cannot hold", nameAt(uiInstance), iIndex,
                  uiType);
    }
    if (*pHash == 0) {
      return fail("widget [%s] property %d has the name hash 0", nameAt(uiInstance), iIndex);
    }
    if (uiType == E_BASE_TYPE_ASCII_STRING && std::memchr(m_pImage + uiProperty, 0, gc_iMAX_UI_STRING_LEN) == nullptr) {
      return fail("widget [%s] property 0x%08X: the text does not end within %d bytes", nameAt(uiInstance), *pHash,
                  gc_iMAX_UI_STRING_LEN);
    }
    if (uiType == E_BASE_TYPE_EVENTCALLBACK) {
      return checkEventCallback(uiInstance, uiProperty, *pHash);
    }
    return true;
  }

  bool checkEventCallback(u32 uiInstance, u32 uiValue, u32 uiEventHash) {
    u32* pCalls = nullptr;
    const i32 iNumCalls = readI32(uiValue + offsetof(SWidgetEventCallback, mp_iNumberCalls));
    if (!readOffsetArray(uiValue, iNumCalls, "a call array", &pCalls)) {
      return false;
    }
    bool bOk = true;
    for (i32 i = 0; bOk && i < iNumCalls; ++i) {
      bOk = checkCall(pCalls[i], i);
    }
    KvAlignedFree(pCalls);
    if (!bOk) {
      // Name the event in the message that checkCall wrote.
      char szProblem[gc_uiUI_DATA_ERROR_SIZE];
      std::snprintf(szProblem, sizeof(szProblem), "%s", m_pError != nullptr ? m_pError : "");
      if (m_pError != nullptr && m_uiErrorSize > 0) {
        std::snprintf(m_pError, m_uiErrorSize, "%s (widget [%s], event 0x%08X)", szProblem, nameAt(uiInstance),
                      uiEventHash);
      }
    }
    return bOk;
  }

  bool checkCall(u32 uiCall, i32 iIndex) {
    if (!checkRecord(uiCall, gc_uiCALL_SIZE, 8, "call", iIndex)) {
      return false;
    }
    u32* pParams = nullptr;
    const i32 iNumParams = readI32(uiCall + offsetof(WidgetEventProcedureCall, mp_iNumberWidgetEventProcedureCallDatas));
    if (!readOffsetArray(uiCall, iNumParams, "a parameter array", &pParams)) {
      return false;
    }
    bool bOk = true;
    for (i32 i = 0; bOk && i < iNumParams; ++i) {
      const u64 uiParam = pParams[i];
      // A text parameter holds its characters in place, so it may be as short as its type word and a zero
      // byte; the other types take their full 8 bytes.
      if (uiParam % 4 != 0 || uiParam + 4 > m_uiSize) {
        bOk = fail("parameter %d of call %d at %llu lies outside the file or off a 4-byte boundary", i, iIndex,
                   static_cast<unsigned long long>(uiParam));
        break;
      }
      const u32 uiType = readU32(uiParam);
      if (uiType != E_ESCP_TYPE_STRING && uiParam + sizeof(WidgetEventProcedureCallData) > m_uiSize) {
        bOk = fail("parameter %d of call %d at %llu lies outside the file", i, iIndex,
                   static_cast<unsigned long long>(uiParam));
      } else if (uiType >= NUM_E_ESCP_TYPE) {
        bOk = fail("parameter %d of call %d has the unknown type %u", i, iIndex, uiType);
      } else if (uiType == E_ESCP_TYPE_STRING) {
        const u8* pEnd = static_cast<const u8*>(std::memchr(m_pImage + uiParam + 4, 0, m_uiSize - uiParam - 4));
        if (pEnd == nullptr) {
          bOk = fail("the text of parameter %d of call %d runs past the end of the file", i, iIndex);
        } else {
          addRange(uiParam, static_cast<u64>(pEnd - m_pImage) + 1 - uiParam, false);
        }
      } else {
        addRange(uiParam, sizeof(WidgetEventProcedureCallData), false);
      }
    }
    KvAlignedFree(pParams);
    return bOk;
  }

  bool checkOverlaps() {
    const i32 iCount = m_ranges.getCount();
    SByteRange* pRanges = m_ranges.getFirst();
    if (pRanges == nullptr) {
      return true;
    }
    std::sort(pRanges, pRanges + iCount,
              [](const SByteRange& a, const SByteRange& b) { return a.uiStart < b.uiStart; });
    u64 uiEndAll = 0;
    u64 uiEndExclusive = 0;
    for (i32 i = 0; i < iCount; ++i) {
      const SByteRange& range = pRanges[i];
      if (range.uiStart < uiEndExclusive || (range.bExclusive && range.uiStart < uiEndAll)) {
        return fail("records overlap at %llu (each record and array may be used once)",
                    static_cast<unsigned long long>(range.uiStart));
      }
      uiEndAll = std::max(uiEndAll, range.uiEnd);
      if (range.bExclusive) {
        uiEndExclusive = std::max(uiEndExclusive, range.uiEnd);
      }
    }
    return true;
  }

  // Walks the tree as the loader builds it: by instance ID, a child whose ID is built already (or names a
  // widget of another file) is linked, not built.
  bool checkTree(u32 uiRoot) {
    m_ids.initialize(64);
    m_pIdStates = static_cast<SIdState*>(KvAlignedAlloc(sizeof(SIdState) * static_cast<u64>(m_iNumWidgets), 16));
    if (m_pIdStates == nullptr) {
      return fail("no memory to check %d widgets", m_iNumWidgets);
    }
    i64 iVisits = 0;
    return visit(uiRoot, 1, &iVisits) &&
           (iVisits <= gc_iMAX_UI_TREE_VISITS ||
            fail("walking the tree visits more than %lld widgets", static_cast<long long>(gc_iMAX_UI_TREE_VISITS)));
  }

  SIdState* stateOf(u32 uiID, bool bCreate) {
    const uintptr_t uiIndex = m_ids.find(uiID);
    if (uiIndex != 0) {
      return &m_pIdStates[uiIndex - 1];
    }
    if (!bCreate) {
      return nullptr;
    }
    SIdState* pState = &m_pIdStates[m_iNumIds];
    *pState = SIdState{0, 0, 0};
    m_ids.insert(uiID, static_cast<uintptr_t>(++m_iNumIds));
    return pState;
  }

  bool visit(u32 uiInstance, i32 iDepth, i64* piVisits) {
    if (iDepth > gc_iMAX_UI_TREE_DEPTH) {
      return fail("widget [%s] lies more than %d levels deep", nameAt(uiInstance), gc_iMAX_UI_TREE_DEPTH);
    }
    const u32 uiID = readU32(uiInstance + offsetof(SRawWidgetInstance, mp_uiInstanceID));
    SIdState* pState = stateOf(uiID, true);
    pState->bBuilt = 1;
    pState->bOnStack = 1;
    i64 iVisits = 1;
    const u32 uiChildren = readU32(uiInstance + 8);
    const i32 iNumChildren = readI32(uiInstance + offsetof(SRawWidgetInstance, mp_iNumChildren));
    for (i32 i = 0; i < iNumChildren; ++i) {
      const u32 uiChild = readU32(uiChildren + 4ull * static_cast<u64>(i));
      const u32 uiChildID = readU32(uiChild + offsetof(SRawWidgetInstance, mp_uiInstanceID));
      SIdState* pChild = stateOf(uiChildID, false);
      i64 iChildVisits = 1;
      if (pChild != nullptr && pChild->bOnStack) {
        char szParent[32];
        std::memcpy(szParent, nameAt(uiInstance), sizeof(szParent));
        return fail("widget [%s] lists [%s] as a child, whose instance ID is that of the widget itself or of one of "
                    "its ancestors",
                    szParent, nameAt(uiChild));
      }
      if (pChild != nullptr) {
        iChildVisits = pChild->iVisits;
      } else if (m_pfnKnownID == nullptr || !m_pfnKnownID(uiChildID)) {
        if (!visit(uiChild, iDepth + 1, &iChildVisits)) {
          return false;
        }
      }
      iVisits = std::min(iVisits + iChildVisits, gc_iMAX_UI_TREE_VISITS + 1);
    }
    // Looked up again: the table of states may have been added to, not moved (a fixed block).
    pState = stateOf(uiID, false);
    pState->bOnStack = 0;
    pState->iVisits = iVisits;
    *piVisits = iVisits;
    return true;
  }

  const u8* m_pImage;
  u32 m_uiSize;
  const char* m_pFileName;
  KvUIDataKnownID m_pfnKnownID;
  char* m_pError;
  u32 m_uiErrorSize;
  char m_szName[32] = {};
  i32 m_iNumWidgets = 0;
  u32* m_pTableOffsets = nullptr;
  u32* m_pSortedTable = nullptr;
  ClDynamicVector<SByteRange> m_ranges;
  ClDynamicHashTable m_ids;  // instance ID -> 1 + index in m_pIdStates
  SIdState* m_pIdStates = nullptr;
  i32 m_iNumIds = 0;
};

}  // namespace

bool KvValidateUIData(const u8* pImage, u32 uiSize, const char* pFileName, KvUIDataKnownID pfnKnownID, char* pError,
                      u32 uiErrorSize) {
  if (pError != nullptr && uiErrorSize > 0) {
    pError[0] = '\0';
  }
  ClUIDataChecker checker(pImage, uiSize, pFileName, pfnKnownID, pError, uiErrorSize);
  return checker.run();
}
