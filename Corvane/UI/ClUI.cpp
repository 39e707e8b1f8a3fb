#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUI_Win32.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/KvUIPropertyNames.h"

u32 ClUI::mp_bInitialized = 0;
ClDynamicHashTable ClUI::mp_MasterWidgetList;
SWidgetFocus ClUI::mp_aFocus[gc_iMAX_FOCUS_ENTRIES] = {};
i32 ClUI::mp_iNumFocus = 0;
u32 ClUI::mp_uiCurrentLogicalPad = 0;
u32 ClUI::mp_abPadEnabled[gc_iNUM_UI_PADS] = {1, 1, 1, 1};
ClWidget* ClUI::mp_apSwitchHistory[NUM_OF_WIDGETS_SWITCHED_IN_HISTORY] = {};
ClWidget* ClUI::mp_pPointerExclusiveWidget = nullptr;
ClDynamicVector<ClWidget*> ClUI::mp_daClonedWidgets;
ClDynamicVector<ClWidget*> ClUI::mp_daExclusiveAvailableWidgets;
ClDynamicVector<ClWidget*> ClUI::mp_daEventForwardingStack;
ClDynamicPool<SDeferredWidgetEvent> ClUI::mp_DeferredEventPool;
ClDynamicHashTable ClUI::mp_UITextureTable;
ClDynamicHashTable ClUI::mp_aDeferredTextureNames[2];

namespace {

const u32 gc_uiON_FOCUS = KvStrHash("onFocus");
const u32 gc_uiON_LOSE_FOCUS = KvStrHash("onLoseFocus");
constexpr const char* gc_pTOP_LEVEL_SWITCHER = "TopLevelSwitcher";

ClUIHooks* g_pUIHooks = nullptr;

// Frees the blocks a table's values point at, then the table.
void freeTableOfBlocks(ClDynamicHashTable& table) {
  if (!table.isAllocated()) {
    return;
  }
  table.forEachValue([](uintptr_t uiValue, i32) { KvAlignedFree(reinterpret_cast<void*>(uiValue)); });
  table.terminate();
}

// Removes every entry equal to the widget from a vector of widgets.
void removeAll(ClDynamicVector<ClWidget*>& widgets, const ClWidget* pWidget) {
  if (!widgets.isInitialized()) {
    return;
  }
  for (i32 i = widgets.getCount() - 1; i >= 0; --i) {
    if (widgets[i] == pWidget) {
      widgets.erase(i);
    }
  }
}

}  // namespace

void KvSetUIGameHooks(ClUIHooks& hooks) { g_pUIHooks = &hooks; }

ClUIHooks& KvGetUIGameHooks() {
  KV_ASSERT_MSG(g_pUIHooks != nullptr, "The game's UI hooks are not installed");
  return *g_pUIHooks;
}


ClWidget* ClUI::getRootWidget() { return &mp_RootWidget; }

void ClUI::initialise() {
  mp_RootWidget.reset();
  mp_iNumFocus = 0;
  ClPointerTracker::reset();
  mp_UITextureTable.initialize(32);
  mp_UIDataPool.initialize();
  mp_MasterWidgetList.initialize(32);
  mp_daClonedWidgets.initialize();
  mp_aDeferredTextureNames[0].initialize(32);
  mp_aDeferredTextureNames[1].initialize(32);
  mp_DeferredEventPool.initialize(gc_iMAX_DEFERRED_EVENTS);
  ClUIEventSystemFunctions::createTable();
  KvGetUIGameHooks().registerGameUIFunctions();
  mp_RootWidget.setFloat(gc_DELAY_MENU_INPUT_CLICK_BACK.mp_uiHash, KV_ZERO);
  mp_daExclusiveAvailableWidgets.initialize();
  for (u32& bEnabled : mp_abPadEnabled) {
    bEnabled = 1;
  }
  mp_daEventForwardingStack.initialize();
  mp_bInitialized = 1;
}

void ClUI::terminate() {
  if (!mp_bInitialized) {
    return;
  }
  mp_daClonedWidgets.terminate();
  mp_RootWidget.destroy();
  ClPointerTracker::freeAllDetectors();
  ClUI_Win32::releaseDeviceObjects();
  // Every widget is destroyed before any is freed, so "onDestroy" procedures never meet a freed widget.
  mp_MasterWidgetList.forEachValue([](uintptr_t uiValue, i32) { reinterpret_cast<ClWidget*>(uiValue)->destroy(); });
  mp_MasterWidgetList.forEachValue([](uintptr_t uiValue, i32) {
    ClWidget* pWidget = reinterpret_cast<ClWidget*>(uiValue);
    pWidget->~ClWidget();
    KvAlignedFree(pWidget);
  });
  mp_MasterWidgetList.terminate();
  mp_daExclusiveAvailableWidgets.terminate();
  freeTableOfBlocks(mp_aDeferredTextureNames[0]);
  freeTableOfBlocks(mp_aDeferredTextureNames[1]);
  mp_DeferredEventPool.freeAll();
  mp_DeferredEventPool.terminate();
  freeTableOfBlocks(mp_UITextureTable);
  for (i32 i = 0; i < mp_UIDataPool.getCount(); ++i) {
    SUIDataEntry* pEntry = mp_UIDataPool.get(i);
    if (pEntry->mp_bOwnsData) {
      freeRelocationArrays(pEntry);
      KvAlignedFree(pEntry->mp_pBlock);
    }
    *pEntry = SUIDataEntry{};
  }
  mp_UIDataPool.initialize();
  ClUIEventSystemFunctions::terminate();
  mp_daEventForwardingStack.terminate();
  if (mp_daScrollAreas.isInitialized()) {
    mp_daScrollAreas.terminate();
  }
  mp_pCapturedScrollArea = nullptr;
  mp_bScrollDragging = 0;
  mp_bScrollAreaRegisteredThisFrame = 0;
  // Nothing may point at the freed widgets once the UI has ended.
  mp_iNumFocus = 0;
  for (ClWidget*& pEntry : mp_apSwitchHistory) {
    pEntry = nullptr;
  }
  mp_pPointerExclusiveWidget = nullptr;
  mp_bInitialized = 0;
}

ClWidget* ClUI::findWidget(u32 uiInstanceNameHash) { return mp_MasterWidgetList.findPtr<ClWidget>(uiInstanceNameHash); }

ClWidget* ClUI::getWidget(const char* pName) {
  ClWidget* pWidget = findWidget(KvStrHash(pName));
  KV_ASSERTF(pWidget != nullptr, "Widget [%s] does not exist!!!", pName);
  return pWidget;
}

ClWidget* ClUI::getWidgetFormatted(const char* pFormat, ...) {
  char acTemp[KV_MAX_PATH_LEN];
  va_list args;
  va_start(args, pFormat);
  const i32 iLength = std::vsnprintf(acTemp, sizeof(acTemp), pFormat, args);
  va_end(args);
  KV_ASSERT_MSG(iLength >= 0 && iLength < KV_MAX_PATH_LEN, "KvStrLen(acTemp) < KV_MAX_PATH_LEN");
  return getWidget(acTemp);
}

bool ClUI::isWidgetInSubtree(const ClWidget* pWidget, const ClWidget* pRoot) {
  if (pWidget == nullptr || pWidget == pRoot) {
    return true;
  }
  for (u32 i = 0; i < pRoot->mp_AllChildren.getSize(); ++i) {
    if (isWidgetInSubtree(pWidget, pRoot->mp_AllChildren[i])) {
      return true;
    }
  }
  return false;
}

// --- Focus ---

void ClUI::setFocus(ClWidget* pWidget, u32 uiPad) {
  KV_ASSERT(pWidget);
  if (mp_daExclusiveAvailableWidgets.getCount() > 0) {
    bool bAllowed = false;
    for (i32 i = 0; i < mp_daExclusiveAvailableWidgets.getCount() && !bAllowed; ++i) {
      bAllowed = mp_daExclusiveAvailableWidgets[i] == pWidget;
    }
    if (!bAllowed) {
      return;
    }
  }
  for (i32 i = 0; i < mp_iNumFocus; ++i) {
    if (mp_aFocus[i].mp_pWidget == pWidget &&
        (mp_aFocus[i].mp_uiPad == gc_uiANY_PAD || mp_aFocus[i].mp_uiPad == uiPad)) {
      return;
    }
  }
  // The entry of this very pad gives way; an entry of pad 4 stays when a single pad gets focus (and the
  // other way round), so each pad value holds at most one entry.
  for (i32 i = 0; i < mp_iNumFocus; ++i) {
    if (mp_aFocus[i].mp_uiPad == uiPad) {
      removeFocus(mp_aFocus[i].mp_pWidget, uiPad);
      break;
    }
  }
  KV_ASSERT_MSG(mp_iNumFocus < gc_iMAX_FOCUS_ENTRIES, "ClUI::setFocus() -> focus list full");
  mp_aFocus[mp_iNumFocus++] = {uiPad, pWidget};
  pWidget->callEvent(gc_uiON_FOCUS);
}

void ClUI::removeFocus(ClWidget* pWidget, u32 uiPad) {
  i32 iEntry = -1;
  for (i32 i = 0; i < mp_iNumFocus && iEntry < 0; ++i) {
    if (mp_aFocus[i].mp_pWidget == pWidget) {
      iEntry = i;
    }
  }
  if (iEntry < 0) {
    return;
  }
  const bool bEntryAny = mp_aFocus[iEntry].mp_uiPad == gc_uiANY_PAD;
  if (bEntryAny != (uiPad == gc_uiANY_PAD)) {
    KV_FATAL("ClUI::removeFocus() -> Widget pad assignment mismatch");
  }
  for (i32 i = iEntry; i + 1 < mp_iNumFocus; ++i) {
    mp_aFocus[i] = mp_aFocus[i + 1];
  }
  --mp_iNumFocus;
  pWidget->callEvent(gc_uiON_LOSE_FOCUS);
}

ClWidget* ClUI::getFocusedWidget(u32 uiPad) {
  for (i32 i = 0; i < mp_iNumFocus; ++i) {
    if (mp_aFocus[i].mp_uiPad == gc_uiANY_PAD || mp_aFocus[i].mp_uiPad == uiPad) {
      return mp_aFocus[i].mp_pWidget;
    }
  }
  return nullptr;
}

// --- Switching ---

void ClUI::switchTo(const char* pSwitcherName, const char* pTargetName) {
  ClWidget* pSwitcher = getWidget(pSwitcherName);
  ClWidget* pTarget = getWidget(pTargetName);
  KV_ASSERT(pSwitcher);
  KV_ASSERT(pTarget);
  pushSwitchHistory(pTarget);
  pSwitcher->switchTo(pTarget);
  ClPointerTracker::clearCurrentHits();
}

void ClUI::switchToByHash(const char* pSwitcherName, u32 uiTargetID) {
  ClWidget* pSwitcher = getWidget(pSwitcherName);
  ClWidget* pTarget = findWidget(uiTargetID);
  KV_ASSERTF(pTarget != nullptr, "Widget [0x%08X] does not exist!!!", uiTargetID);
  KV_ASSERT(pSwitcher);
  pushSwitchHistory(pTarget);
  pSwitcher->switchTo(pTarget);
  ClPointerTracker::clearCurrentHits();
}

void ClUI::pushSwitchHistory(ClWidget* pWidget) {
  KV_ASSERT(pWidget);
  for (i32 i = NUM_OF_WIDGETS_SWITCHED_IN_HISTORY - 1; i > 0; --i) {
    mp_apSwitchHistory[i] = mp_apSwitchHistory[i - 1];
  }
  mp_apSwitchHistory[0] = pWidget;
}

ClWidget* ClUI::getSwitchHistory(i32 iIndex) {
  KV_ASSERT(iIndex >= 0 && iIndex < NUM_OF_WIDGETS_SWITCHED_IN_HISTORY);
  return mp_apSwitchHistory[iIndex];
}

void ClUI::copySwitchHistory(ClWidget* (&apOut)[NUM_OF_WIDGETS_SWITCHED_IN_HISTORY]) {
  std::copy(mp_apSwitchHistory, mp_apSwitchHistory + NUM_OF_WIDGETS_SWITCHED_IN_HISTORY, apOut);
}

void ClUI::restoreSwitchHistory(ClWidget* const (&apSaved)[NUM_OF_WIDGETS_SWITCHED_IN_HISTORY]) {
  std::copy(apSaved, apSaved + NUM_OF_WIDGETS_SWITCHED_IN_HISTORY, mp_apSwitchHistory);
}

void ClUI::switchBack() {
  ClWidget* pSwitcher = getWidget(gc_pTOP_LEVEL_SWITCHER);
  KV_ASSERT(pSwitcher);
  i32 iInvalidCount = 0;
  for (;;) {
    ClWidget* pTarget = mp_apSwitchHistory[1];
    KV_ASSERT(pTarget);
    for (i32 i = 1; i + 1 < NUM_OF_WIDGETS_SWITCHED_IN_HISTORY; ++i) {
      mp_apSwitchHistory[i] = mp_apSwitchHistory[i + 1];
    }
    mp_apSwitchHistory[0] = pTarget;
    if (pSwitcher->isSwitchedChildByID(pTarget->mp_uiInstanceNameHash)) {
      pSwitcher->switchTo(pTarget);
      ClPointerTracker::clearCurrentHits();
      return;
    }
    ++iInvalidCount;
    KV_ASSERT(iInvalidCount < NUM_OF_WIDGETS_SWITCHED_IN_HISTORY);
  }
}

// --- Deferred events ---

bool ClUI::addDeferredEvent(ClWidget* pWidget, u32 uiClock, u32 uiEventHash, f32 fSeconds) {
  KV_ASSERT(pWidget);
  const f32 fTime = fSeconds;
  KV_ASSERT(fTime >= KV_ZERO);
  if (mp_DeferredEventPool.isFull()) {
    return false;
  }
  SDeferredWidgetEvent* pEvent = mp_DeferredEventPool.alloc();
  pEvent->mp_pWidget = pWidget;
  pEvent->mp_uiEventHash = uiEventHash;
  pEvent->mp_fTimeLeft = fTime;
  pEvent->mp_uiClock = uiClock;
  pEvent->mp_iPoolIndex = mp_DeferredEventPool.getCount() - 1;
  for (i32 i = 0; i < mp_iNumDeferredDue; ++i) {
    if (mp_apDeferredDue[i] == pEvent) {
      mp_apDeferredDue[i] = nullptr;
    }
  }
  return true;
}

// --- Destroyed widgets ---

namespace {

// The widgets that own a focus grid. Never destroyed: widgets (static ones among them) may go at exit after it.
std::vector<ClWidget*>& gridOwners() {
  static std::vector<ClWidget*>* s_pOwners = new std::vector<ClWidget*>();
  return *s_pOwners;
}

}  // namespace

void ClUI::noteGridOwner(ClWidget* pWidget, bool bOwns) {
  std::vector<ClWidget*>& owners = gridOwners();
  const auto it = std::find(owners.begin(), owners.end(), pWidget);
  if (bOwns && it == owners.end()) {
    owners.push_back(pWidget);
  } else if (!bOwns && it != owners.end()) {
    owners.erase(it);
  }
}

void ClUI::forgetWidget(ClWidget* pWidget) {
  for (i32 i = mp_iNumFocus - 1; i >= 0; --i) {
    if (mp_aFocus[i].mp_pWidget == pWidget) {
      for (i32 j = i; j + 1 < mp_iNumFocus; ++j) {
        mp_aFocus[j] = mp_aFocus[j + 1];
      }
      --mp_iNumFocus;
    }
  }
  // The history closes up over the widget, keeping the order of the other screens.
  i32 iKept = 0;
  for (i32 i = 0; i < NUM_OF_WIDGETS_SWITCHED_IN_HISTORY; ++i) {
    if (mp_apSwitchHistory[i] != pWidget) {
      mp_apSwitchHistory[iKept++] = mp_apSwitchHistory[i];
    }
  }
  for (; iKept < NUM_OF_WIDGETS_SWITCHED_IN_HISTORY; ++iKept) {
    mp_apSwitchHistory[iKept] = nullptr;
  }
  if (mp_pPointerExclusiveWidget == pWidget) {
    mp_pPointerExclusiveWidget = nullptr;
  }
  removeAll(mp_daExclusiveAvailableWidgets, pWidget);
  removeAll(mp_daEventForwardingStack, pWidget);
  if (mp_DeferredEventPool.isInitialized()) {
    for (i32 i = mp_DeferredEventPool.getCount() - 1; i >= 0; --i) {
      if (mp_DeferredEventPool.get(i)->mp_pWidget == pWidget) {
        mp_DeferredEventPool.free(mp_DeferredEventPool.get(i));
      }
    }
  }
  // Focus grids of other widgets.
  // A grid has 1,024 cells: they are compared a block at a time without branches, and only a block that holds the
  // widget is written.
  const auto clearCells = [pWidget](const ClWidget* pOwner) {
    if (SWidgetGrid* pGrid = pOwner->mp_pWidgetGrid) {
      constexpr i32 iBLOCK = 16;
      static_assert(gc_iWIDGET_GRID_SIZE * gc_iWIDGET_GRID_SIZE % iBLOCK == 0);
      for (i32 i = 0; i < gc_iWIDGET_GRID_SIZE * gc_iWIDGET_GRID_SIZE; i += iBLOCK) {
        ClWidget** pBlock = pGrid->mp_apCells + i;
        u32 uiFound = 0;
#if defined(__SSE2__)
        // Two pointers a register: a pointer is equal when both of its 32-bit halves are.
        const __m128i key = _mm_set1_epi64x(static_cast<long long>(reinterpret_cast<uintptr_t>(pWidget)));
        __m128i found = _mm_setzero_si128();
        for (i32 j = 0; j < iBLOCK; j += 2) {
          const __m128i halves = _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pBlock + j)), key);
          found = _mm_or_si128(found, _mm_and_si128(halves, _mm_shuffle_epi32(halves, _MM_SHUFFLE(2, 3, 0, 1))));
        }
        uiFound = static_cast<u32>(_mm_movemask_epi8(found));
#else
        for (i32 j = 0; j < iBLOCK; ++j) {
          uiFound |= pBlock[j] == pWidget ? 1u : 0u;
        }
#endif
        if (uiFound != 0) [[unlikely]] {
          for (i32 j = 0; j < iBLOCK; ++j) {
            if (pBlock[j] == pWidget) {
              pBlock[j] = nullptr;
            }
          }
        }
      }
    }
  };
  // Only the widgets that own one: a HUD frame forgets its cloned bars every frame, and the UI has thousands of
  // widgets and few grids.
  clearCells(&mp_RootWidget);
  for (const ClWidget* pOwner : gridOwners()) {
    clearCells(pOwner);
  }
  // Its pointer detectors, and the scroll areas of it with theirs.
  ClPointerTracker::unregisterDetectorsOf(pWidget);
  if (mp_daScrollAreas.isInitialized()) {
    for (i32 i = mp_daScrollAreas.getCount() - 1; i >= 0; --i) {
      SScrollFingerArea* pArea = mp_daScrollAreas[i];
      if (pArea->mp_pAreaWidget == pWidget) {
        ClPointerTracker::unregisterDetectorsOf(pArea);
        unregisterScrollArea(pArea);
      }
    }
  }
}
