// ClUI's loader of UI data files: reading, checking, relocating and building the widget trees.
#include <cstdio>
#include <cstring>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClUI.h"

namespace {

constexpr const char* gc_pSPLASH_UI_DATA = "Switcher_Splash";

// The block being relocated and built: widgets whose raw data lies in it get their child lists from this load.
const u8* g_pBuildBlock = nullptr;
u32 g_uiBuildBlockSize = 0;

u32 slotOffset(const void* pSlot) {
  u32 uiOffset;
  std::memcpy(&uiOffset, pSlot, sizeof(uiOffset));
  return uiOffset;
}

void storePointer(void* pSlot, const void* pPointer) { std::memcpy(pSlot, &pPointer, sizeof(pPointer)); }

// Replaces the offset array behind a slot by a new array of pointers (none for a count of 0).
void relocateArray(u8* pBlock, void* pSlot, i32 iCount) {
  void** ppArray = nullptr;
  if (iCount > 0) {
    const u8* pOffsets = pBlock + slotOffset(pSlot);
    ppArray = static_cast<void**>(KvAlignedAlloc(sizeof(void*) * static_cast<size_t>(iCount), 16));
    if (ppArray == nullptr) {
      KV_FATALF("Could not allocate [%d] pointers for UI data!", iCount);
    }
    for (i32 i = 0; i < iCount; ++i) {
      ppArray[i] = pBlock + slotOffset(pOffsets + 4 * static_cast<size_t>(i));
    }
  }
  storePointer(pSlot, ppArray);
}

bool isKnownWidget(u32 uiInstanceID) { return ClUI::findWidget(uiInstanceID) != nullptr; }

bool isBuiltByThisLoad(const ClWidget* pWidget) {
  if (g_pBuildBlock == nullptr) {
    return pWidget->mp_pRawData != nullptr;
  }
  const u8* pRaw = reinterpret_cast<const u8*>(pWidget->mp_pRawData);
  return pRaw >= g_pBuildBlock && pRaw < g_pBuildBlock + g_uiBuildBlockSize;
}

// Walks the tree below pWidget once per widget, calling fn on each widget that this load built.
template <typename Fn>
void forEachNewWidget(ClWidget* pWidget, ClDynamicHashTable& visited, Fn fn) {
  if (visited.find(pWidget->mp_uiInstanceNameHash) != 0) {
    return;
  }
  visited.insert(pWidget->mp_uiInstanceNameHash, 1);
  if (!isBuiltByThisLoad(pWidget)) {
    return;
  }
  fn(pWidget);
  for (u32 i = 0; i < pWidget->mp_AllChildren.getSize(); ++i) {
    forEachNewWidget(pWidget->mp_AllChildren[i], visited, fn);
  }
}

// The set of widgets met, released however the walk ends.
struct SVisitedWidgets {
  SVisitedWidgets() { table.initialize(64); }
  ~SVisitedWidgets() { table.terminate(); }
  ClDynamicHashTable table;
};

template <typename Fn>
void forEachNewWidget(ClWidget* pWidget, Fn fn) {
  SVisitedWidgets visited;
  forEachNewWidget(pWidget, visited.table, fn);
}

}  // namespace

SUIDataEntry* ClUI::takeEntry(const char* pUIDataName, bool bSplash) {
  KV_ASSERT_MSG(pUIDataName, "pUIDataName");
  const u32 uiNameHash = KvStrHash(pUIDataName);
  for (i32 i = 0; i < mp_UIDataPool.getCount(); ++i) {
    if (mp_UIDataPool.get(i)->mp_uiNameHash == uiNameHash) {
      if (bSplash) {
        KV_FATALF("ClUI::loadUIData() -> UI data [%s] is already loaded!", pUIDataName);
      }
      KV_FATALF("UI data [%s] is already loaded!", pUIDataName);
    }
  }
  if (mp_UIDataPool.isFull()) {
    if (bSplash) {
      KV_FATALF("ClUI::loadUIData() -> Could not load UI data [%s]; out of UI data entries in pool!", pUIDataName);
    }
    KV_FATALF("Could not load UI data [%s]; out of UI data entries in pool!", pUIDataName);
  }
  SUIDataEntry* pEntry = mp_UIDataPool.alloc();
  *pEntry = SUIDataEntry{};
  pEntry->mp_uiNameHash = uiNameHash;
  return pEntry;
}

bool ClUI::loadLocalizedUIData(const char* pUIDataName) { return loadFile(pUIDataName, false); }

bool ClUI::loadUIData() { return loadFile(gc_pSPLASH_UI_DATA, true); }

bool ClUI::loadFile(const char* pUIDataName, bool bSplash) {
  SUIDataEntry* pEntry = takeEntry(pUIDataName, bSplash);
  char szPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szPath, bSplash ? KvGetBaseDataPath() : g_szLanguagePath, sizeof(szPath));
  KvStrLCat(szPath, "UI/", sizeof(szPath));
  KvStrLCat(szPath, pUIDataName, sizeof(szPath));
  KvStrLCat(szPath, ".kui", sizeof(szPath));
  for (char* p = szPath; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }

  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  // The archive reader's reason follows each stop: it names the file on disk.
  if (ClMagFileIO::open(szPath, &uiSize, &pRef) != E_FILE_OK) {
    if (bSplash) {
      KV_DATA_FATALF("Could not open UI data file [%s]! (%s)", pUIDataName, ClMagFileIO::getLastProblem());
    }
    KV_DATA_FATALF("Could not open UI data file [%s] '%s'! (%s)", pUIDataName, szPath, ClMagFileIO::getLastProblem());
  }
  if (!ClMagFileIO::allocReadBuffers(pRef, uiSize, 16)) {
    ClMagFileIO::closeFileHandle(pRef);
    ClMagFileIO::close(pRef);
    return false;
  }
  pEntry->mp_bOwnsData = 1;
  if (ClMagFileIO::read(pRef, uiSize) != E_FILE_OK) {
    if (bSplash) {
      KV_DATA_FATALF("Could not open UI data file '%s'! (%s)", pUIDataName, ClMagFileIO::getLastProblem());
    }
    KV_DATA_FATALF("Could not read [%d] bytes from UI data file [%s] '%s'! (%s)", static_cast<i32>(uiSize),
                   pUIDataName, szPath, ClMagFileIO::getLastProblem());
  }
  ClMagFileIO::closeFileHandle(pRef);
  // The UI writes into its block, so it never keeps bytes that belong to an archive held in memory.
  u8* pBlock = nullptr;
  if (pRef->mp_eKind == E_MAG_REF_IN_MEMORY) {
    pBlock = static_cast<u8*>(KvAlignedAlloc(uiSize, 16));
    if (pBlock != nullptr) {
      std::memcpy(pBlock, pRef->mp_pDestinationBuffer, uiSize);
    }
  } else {
    pBlock = pRef->mp_pDestinationBuffer;
    pRef->mp_pDestinationBuffer = nullptr;
  }
  ClMagFileIO::close(pRef);
  if (pBlock == nullptr) {
    pEntry->mp_bOwnsData = 0;
    return false;
  }
  return installBlock(pEntry, pBlock, uiSize, szPath, true);
}

bool ClUI::loadUIDataFromImage(const char* pUIDataName, const u8* pImage, u32 uiSize) {
  SUIDataEntry* pEntry = takeEntry(pUIDataName, false);
  u8* pBlock = static_cast<u8*>(KvAlignedAlloc(uiSize, 16));
  if (pBlock == nullptr) {
    return false;
  }
  if (uiSize > 0) {
    std::memcpy(pBlock, pImage, uiSize);
  }
  pEntry->mp_bOwnsData = 1;
  return installBlock(pEntry, pBlock, uiSize, pUIDataName, false);
}

bool ClUI::installBlock(SUIDataEntry* pEntry, u8* pBlock, u32 uiSize, const char* pFileName, bool bIsFile) {
  char szError[gc_uiUI_DATA_ERROR_SIZE];
  if (!KvValidateUIData(pBlock, uiSize, pFileName, &isKnownWidget, szError, sizeof(szError))) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1] = "";
    if (bIsFile) {
      ClMagFileIO::describeLocation(pFileName, szWhere, sizeof(szWhere));
    }
    KvPrintProblem("%s%s%s%s", szError, bIsFile ? " (" : "", szWhere, bIsFile ? ")" : "");
    KvAlignedFree(pBlock);
    pEntry->mp_bOwnsData = 0;
    return false;
  }
  pEntry->mp_uiBlockSize = uiSize;
  relocateUIData(pBlock, pEntry);
  return true;
}

void ClUI::relocateUIData(u8* pBlock, SUIDataEntry* pEntry) {
  pEntry->mp_pBlock = pBlock;
  SUIDataHeader* pHeader = reinterpret_cast<SUIDataHeader*>(pBlock);
  storePointer(&pHeader->mp_pRoot, pBlock + slotOffset(&pHeader->mp_pRoot));
  relocateArray(pBlock, &pHeader->mp_ppWidgetTable, pHeader->mp_iNumWidgets);
  for (i32 i = 0; i < pHeader->mp_iNumWidgets; ++i) {
    SRawWidgetInstance* pRaw = pHeader->mp_ppWidgetTable[i];
    relocateArray(pBlock, &pRaw->mp_ppSwitchedChildren, pRaw->mp_iNumSwitchedChildren);
    relocateArray(pBlock, &pRaw->mp_ppChildren, pRaw->mp_iNumChildren);
    relocateArray(pBlock, &pRaw->mp_ppProperties, pRaw->mp_iNumProperties);
    for (i32 j = 0; j < pRaw->mp_iNumProperties; ++j) {
      SRawWidgetProperty* pProperty = pRaw->mp_ppProperties[j];
      if (pProperty->mp_uiType != E_BASE_TYPE_EVENTCALLBACK) {
        continue;
      }
      SWidgetEventCallback* pCallback = reinterpret_cast<SWidgetEventCallback*>(pProperty->mp_aucValue);
      relocateArray(pBlock, &pCallback->mp_ppCalls, pCallback->mp_iNumberCalls);
      for (i32 k = 0; k < pCallback->mp_iNumberCalls; ++k) {
        WidgetEventProcedureCall* pCall = pCallback->mp_ppCalls[k];
        relocateArray(pBlock, &pCall->mp_ppWidgetEventProcedureCallDatas,
                      pCall->mp_iNumberWidgetEventProcedureCallDatas);
      }
    }
  }

  g_pBuildBlock = pBlock;
  g_uiBuildBlockSize = pEntry->mp_uiBlockSize;
  recursivelyCreateWidgetsFromParent(pHeader->mp_pRoot, &pEntry->mp_pRootWidget, nullptr);
  buildSwitchedChildLists(pEntry->mp_pRootWidget);
  buildDrawnChildLists(pEntry->mp_pRootWidget);
  g_pBuildBlock = nullptr;
  g_uiBuildBlockSize = 0;
  pEntry->mp_pRootWidget->load();
}

void ClUI::freeRelocationArrays(SUIDataEntry* pEntry) {
  SUIDataHeader* pHeader = reinterpret_cast<SUIDataHeader*>(pEntry->mp_pBlock);
  for (i32 i = 0; i < pHeader->mp_iNumWidgets; ++i) {
    SRawWidgetInstance* pRaw = pHeader->mp_ppWidgetTable[i];
    for (i32 j = 0; j < pRaw->mp_iNumProperties; ++j) {
      SRawWidgetProperty* pProperty = pRaw->mp_ppProperties[j];
      if (pProperty->mp_uiType != E_BASE_TYPE_EVENTCALLBACK) {
        continue;
      }
      SWidgetEventCallback* pCallback = reinterpret_cast<SWidgetEventCallback*>(pProperty->mp_aucValue);
      for (i32 k = 0; k < pCallback->mp_iNumberCalls; ++k) {
        KvAlignedFree(pCallback->mp_ppCalls[k]->mp_ppWidgetEventProcedureCallDatas);
      }
      KvAlignedFree(pCallback->mp_ppCalls);
    }
    KvAlignedFree(pRaw->mp_ppSwitchedChildren);
    KvAlignedFree(pRaw->mp_ppChildren);
    KvAlignedFree(pRaw->mp_ppProperties);
  }
  KvAlignedFree(pHeader->mp_ppWidgetTable);
}

void ClUI::recursivelyCreateWidgetsFromParent(SRawWidgetInstance* pRawInstance, ClWidget** ppWidgetToCreate,
                                              ClWidget* pParent) {
  KV_ASSERT(pRawInstance);
  KV_ASSERT(ppWidgetToCreate);
  // Checked before anything is allocated, so a stop here leaves nothing behind.
  if (mp_MasterWidgetList.find(pRawInstance->mp_uiInstanceID) != 0) {
    pRawInstance->mp_acName[sizeof(pRawInstance->mp_acName) - 1] = '\0';
    KV_FATALF("Duplicate widget ID [0x%08X] '%s'", pRawInstance->mp_uiInstanceID, pRawInstance->mp_acName);
  }
  void* pMemory = KvAlignedAlloc(sizeof(ClWidget), 16);
  if (pMemory == nullptr) {
    KV_FATAL("ClUI::recursivelyCreateWidgetsFromParent() -> Could not allocate pNewWidget!");
  }
  ClWidget* pNewWidget = new (pMemory) ClWidget();
  pNewWidget->mp_uiInstanceNameHash = pRawInstance->mp_uiInstanceID;
  pNewWidget->mp_pParent = pParent;
  pNewWidget->mp_pRawData = pRawInstance;
  pRawInstance->mp_acName[sizeof(pRawInstance->mp_acName) - 1] = '\0';
  pNewWidget->initialiseFromRawData();
  mp_MasterWidgetList.insertPtr(pRawInstance->mp_uiInstanceID, pNewWidget);
  for (i32 i = 0; i < pRawInstance->mp_iNumChildren; ++i) {
    SRawWidgetInstance* pRawChild = pRawInstance->mp_ppChildren[i];
    ClWidget* pNewChild = findWidget(pRawChild->mp_uiInstanceID);
    if (pNewChild == nullptr) {
      recursivelyCreateWidgetsFromParent(pRawChild, &pNewChild, pNewWidget);
      KV_ASSERT(pNewChild);
    }
    pNewWidget->mp_AllChildren.append(pNewChild);
  }
  *ppWidgetToCreate = pNewWidget;
}

void ClUI::buildSwitchedChildLists(ClWidget* pWidget) {
  forEachNewWidget(pWidget, [](ClWidget* pThis) {
    const SRawWidgetInstance* pRaw = pThis->mp_pRawData;
    for (i32 i = 0; i < pRaw->mp_iNumSwitchedChildren; ++i) {
      ClWidget* pChild = findWidget(pRaw->mp_ppSwitchedChildren[i]->mp_uiInstanceID);
      KV_ASSERT(pChild);
      pThis->mp_SwitchedChildren.append({E_SWITCH_STATE_INACTIVE, pChild});
    }
  });
}

void ClUI::buildDrawnChildLists(ClWidget* pWidget) {
  forEachNewWidget(pWidget, [](ClWidget* pThis) {
    for (u32 i = 0; i < pThis->mp_AllChildren.getSize(); ++i) {
      ClWidget* pChild = pThis->mp_AllChildren[i];
      if (!pThis->isSwitchedChildByID(pChild->mp_uiInstanceNameHash)) {
        pThis->mp_DrawnChildren.append(pChild);
      }
    }
  });
}
