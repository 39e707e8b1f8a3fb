#include "Corvane/UI/ClWidget.h"

#include <cstring>
#include <algorithm>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/KvTextLayoutCache.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const u32 gc_uiON_DESTROY = KvStrHash("onDestroy");
const u32 gc_uiON_LOAD = KvStrHash("onLoad");
const u32 gc_uiON_TICK = KvStrHash("onTick");
const u32 gc_uiON_RENDER = KvStrHash("onRender");
const u32 gc_uiON_BECOME_INVISIBLE = KvStrHash("onBecomeInvisible");
const u32 gc_uiON_TRANSITION_OUT_IS_DONE = KvStrHash("onTransitionOutIsDone");
const u32 gc_uiDO_NOT_AUTOMATICALLY_FOCUS = KvStrHash("doNotAutomaticallyFocus");

// The clone names handed out so far ("Clone#0", "Clone#1", ...).
i32 g_iCloneCounter = 0;

void freeWidget(ClWidget* pWidget) {
  pWidget->~ClWidget();
  KvAlignedFree(pWidget);
}

}  // namespace

ClWidget::ClWidget()
    : mp_bInitialized(0),
      mp_pRawData(nullptr),
      mp_uiInstanceNameHash(0),
      mp_pParent(nullptr),
      mp_pWidgetGrid(nullptr),
      mp_iGridX(-1),
      mp_iGridY(-1),
      mp_bTransitioningOut(0),
      mp_uiInputMask(0xFFFFFFFFu),
      mp_uiSavedInputMask(0xFFFFFFFFu),
      mp_bVisible(0),
      mp_bTransitionDone(0),
      mpr_pDefaultPropertyContainers(nullptr),
      mpr_iNumDefaultPropertyContainers(0),
      mp_uiForwardSourceHash(0),
      mp_uiCurrentEventHash(0),
      mp_uiSwitchTargetIndex(0),
      mp_uiPropertyVersion(1),
      mp_frameCache(),
      mp_pTextLayoutCache(nullptr) {}

ClWidget::~ClWidget() {
  ClUI::noteGridOwner(this, false);  // also when its grid was dropped without this note
  // The arrays assert a leak themselves; the table and containers are let go quietly.
  if (mp_Properties.isAllocated()) {
    mp_Properties.terminate();
  }
  KvAlignedFree(mpr_pDefaultPropertyContainers);
  KvFreeTextLayoutCache(mp_pTextLayoutCache);
}

void ClWidget::initialiseFromRawData() {
  KV_ASSERT(mp_pRawData);
  mp_pWidgetGrid = nullptr;
  mp_iGridX = -1;
  mp_iGridY = -1;

  const i32 iNumProperties = mp_pRawData->mp_iNumProperties;
  if (iNumProperties <= 0) {
    mp_Properties.initialize(8);
    mpr_pDefaultPropertyContainers = nullptr;
    mpr_iNumDefaultPropertyContainers = 0;
  } else {
    i32 iSlots = 8;
    while (iSlots < iNumProperties) {
      iSlots *= 2;
    }
    mp_Properties.initialize(iSlots);
    mpr_pDefaultPropertyContainers = static_cast<WidgetProperty*>(
        KvAlignedAlloc(sizeof(WidgetProperty) * static_cast<size_t>(iNumProperties), 16));
    KV_ASSERT(mpr_pDefaultPropertyContainers);
    std::memset(mpr_pDefaultPropertyContainers, 0, sizeof(WidgetProperty) * static_cast<size_t>(iNumProperties));
    mpr_iNumDefaultPropertyContainers = iNumProperties;
    for (i32 i = 0; i < iNumProperties; ++i) {
      SRawWidgetProperty* pRaw = mp_pRawData->mp_ppProperties[i];
      WidgetProperty* pContainer = &mpr_pDefaultPropertyContainers[i];
      const u32 uiType = pRaw->mp_uiType;
      if (uiType == E_BASE_TYPE_UNICODE_STRING || uiType >= NUM_E_BASE_TYPE) {
        KV_FATALF("Unknown Widget base type [%d]", static_cast<i32>(uiType));
      }
      pContainer->mp_eType = static_cast<i32>(uiType);
      pContainer->mp_pData = pRaw->mp_aucValue;
      KV_ASSERTF(mp_Properties.find(pRaw->mp_uiNameHash) == 0,
                 "Duplicate property defined in widget [%s]: this can be caused by duplicate properties in the base "
                 "class in the CHI/CHF.",
                 getName());
      mp_Properties.insertPtr(pRaw->mp_uiNameHash, pContainer);
    }
  }
  mp_uiSwitchTargetIndex = 0;
  mp_bTransitionDone = 1;
  mp_bVisible = 0;
  mp_uiInputMask = 0xFFFFFFFFu;
  mp_uiSavedInputMask = 0xFFFFFFFFu;
  invalidateFrameCache();
  mp_bInitialized = 1;
}

void ClWidget::reset() {
  mp_pRawData = nullptr;
  mp_pWidgetGrid = nullptr;
  mp_Properties.initialize(8);
  mpr_pDefaultPropertyContainers = nullptr;
  mpr_iNumDefaultPropertyContainers = 0;
  mp_uiSwitchTargetIndex = 0;
  mp_iGridX = -1;
  mp_iGridY = -1;
  mp_uiInputMask = 0xFFFFFFFFu;
  mp_uiSavedInputMask = 0xFFFFFFFFu;
  invalidateFrameCache();
  setBool(KvStrHash("transitionInDone"), 0);
  setBool(KvStrHash("transitionOutDone"), 0);
  setBool(KvStrHash("isVisible"), 0);
  mp_bInitialized = 1;
}

void ClWidget::freeRuntimeProperties() {
  for (u32 i = 0; i < mp_RuntimeProperties.getSize(); ++i) {
    WidgetProperty* pProp = mp_RuntimeProperties[i];
    // An event-callback value is borrowed (from the data or from the widget it was cloned from).
    if (pProp->mp_eType != E_BASE_TYPE_EVENTCALLBACK) {
      KvAlignedFree(pProp->mp_pData);
    }
    KvAlignedFree(pProp);
  }
  mp_RuntimeProperties.terminate();
}

void ClWidget::destroy() {
  callEvent(gc_uiON_DESTROY);
  if (mp_pWidgetGrid != nullptr) {
    ClUI::noteGridOwner(this, false);
  }
  KvAlignedFree(mp_pWidgetGrid);
  mp_pWidgetGrid = nullptr;
  KvAlignedFree(mpr_pDefaultPropertyContainers);
  mpr_pDefaultPropertyContainers = nullptr;
  mpr_iNumDefaultPropertyContainers = 0;
  freeRuntimeProperties();
  if (mp_Properties.isAllocated()) {
    mp_Properties.terminate();
  }
  mp_AllChildren.terminate();
  mp_SwitchedChildren.terminate();
  mp_DrawnChildren.terminate();
  KvFreeTextLayoutCache(mp_pTextLayoutCache);
  mp_pTextLayoutCache = nullptr;
  invalidateFrameCache();
  mp_bInitialized = 0;
}

void ClWidget::load() {
  for (u32 i = 0; i < mp_AllChildren.getSize(); ++i) {
    mp_AllChildren[i]->load();
  }
  callEvent(gc_uiON_LOAD);
}

void ClWidget::startTargetTransitionIn(u32 uiTargetIndex, bool bFocus) {
  ClWidget* pTarget = mp_SwitchedChildren[uiTargetIndex].mp_pChild;
  mp_SwitchedChildren[uiTargetIndex].mp_uiState = E_SWITCH_STATE_IN;
  pTarget->callEvent(gc_ON_TRANSITION_IN.mp_uiHash);
  if (bFocus) {
    ClUI::setFocus(pTarget, gc_uiANY_PAD);
  } else if (!pTarget->mp_bTransitionDone) {
    pTarget->setBool(gc_uiDO_NOT_AUTOMATICALLY_FOCUS, 1);
  }
  if (pTarget->mp_bTransitionDone) {
    mp_SwitchedChildren[uiTargetIndex].mp_uiState = E_SWITCH_STATE_ACTIVE;
    mp_uiSwitchTargetIndex = 0;
  }
}

void ClWidget::tick() {
  KV_ASSERT(mp_bInitialized);
  const f32 fDT = ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;
  for (ClAnimator<kv_vector2>& animator : mp_aVectorAnimators) {
    if (animator.mp_iPlayKind != gc_iANIM_PLAY_OFF && animator.mp_bRunning == 1) {
      animator.update(fDT);
    }
  }
  for (ClAnimator<ClColor>& animator : mp_aColorAnimators) {
    if (animator.mp_params.mp_iKind != gc_iANIM_PLAY_OFF && animator.mp_bActive == 1) {
      animator.update(fDT);
    }
  }

  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    ClWidget* pChild = mp_SwitchedChildren[i].mp_pChild;
    switch (mp_SwitchedChildren[i].mp_uiState) {
      case E_SWITCH_STATE_ACTIVE:
        pChild->tick();
        break;
      case E_SWITCH_STATE_IN:
        pChild->tick();
        if (pChild->mp_bTransitionDone) {
          mp_SwitchedChildren[i].mp_uiState = E_SWITCH_STATE_ACTIVE;
          mp_uiSwitchTargetIndex = 0;
        }
        break;
      case E_SWITCH_STATE_OUT: {
        pChild->tick();
        if (!pChild->mp_bTransitionDone) {
          break;
        }
        pChild->callEvent(gc_uiON_TRANSITION_OUT_IS_DONE);
        mp_SwitchedChildren[i].mp_uiState = E_SWITCH_STATE_INACTIVE;
        const u32 uiTarget = mp_uiSwitchTargetIndex;
        ClWidget* pTarget = mp_SwitchedChildren[uiTarget].mp_pChild;
        mp_SwitchedChildren[uiTarget].mp_uiState = E_SWITCH_STATE_IN;
        pTarget->callEvent(gc_ON_TRANSITION_IN.mp_uiHash);
        WidgetProperty* pNoFocus = pTarget->findProperty(gc_uiDO_NOT_AUTOMATICALLY_FOCUS);
        if (pNoFocus != nullptr && pNoFocus->mp_eType == E_BASE_TYPE_BOOL &&
            *static_cast<u32*>(pNoFocus->mp_pData) != 0) {
          pTarget->setBool(gc_uiDO_NOT_AUTOMATICALLY_FOCUS, 0);
        } else {
          ClUI::setFocus(pTarget, gc_uiANY_PAD);
        }
        if (pTarget->mp_bTransitionDone) {
          mp_SwitchedChildren[uiTarget].mp_uiState = E_SWITCH_STATE_ACTIVE;
          mp_uiSwitchTargetIndex = 0;
        }
        break;
      }
      default:
        break;
    }
  }
  for (u32 i = 0; i < mp_DrawnChildren.getSize(); ++i) {
    mp_DrawnChildren[i]->tick();
  }
  callFrameEvent(E_WIDGET_FRAME_EVENT_TICK, gc_uiON_TICK);
}

void ClWidget::render() {
  if (!mp_bVisible) {
    return;
  }
  const i32 iPrevStackSize = Cl2d::mp_parentWindowStack.getCount();
  const bool bClipBefore = g_kvClipRect.mp_fX2 - g_kvClipRect.mp_fX1 != KV_ZERO;
  callFrameEvent(E_WIDGET_FRAME_EVENT_RENDER, gc_uiON_RENDER);
  const i32 iStackSize = Cl2d::mp_parentWindowStack.getCount();
  KV_ASSERT_MSG(iStackSize >= iPrevStackSize, "Cl2d::mp_parentWindowStack.size() >= iPrevStackSize");
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    if (mp_SwitchedChildren[i].mp_uiState != E_SWITCH_STATE_INACTIVE) {
      mp_SwitchedChildren[i].mp_pChild->render();
    }
  }
  for (u32 i = 0; i < mp_DrawnChildren.getSize(); ++i) {
    mp_DrawnChildren[i]->render();
  }
  if (iStackSize != iPrevStackSize) {
    Cl2d::popParentWindow(Cl2d::getParentWindow());
  }
  if (!bClipBefore && g_kvClipRect.mp_fX2 - g_kvClipRect.mp_fX1 != KV_ZERO) {
    g_kvClipRect = gc_kvEmptyRect;
  }
}

bool ClWidget::isSwitchedChildByID(u32 uiInstanceNameHash) const {
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    if (mp_SwitchedChildren[i].mp_pChild->mp_uiInstanceNameHash == uiInstanceNameHash) {
      return true;
    }
  }
  return false;
}

bool ClWidget::isSwitchedChild(const ClWidget* pWidget) const {
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    if (mp_SwitchedChildren[i].mp_pChild == pWidget) {
      return true;
    }
  }
  return false;
}

ClWidget* ClWidget::getActiveSwitchedChild() const {
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    if (mp_SwitchedChildren[i].mp_uiState == E_SWITCH_STATE_ACTIVE) {
      return mp_SwitchedChildren[i].mp_pChild;
    }
  }
  return nullptr;
}

bool ClWidget::showsSwitchedChildOtherThan(u32 uiInstanceNameHash) const {
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    if (mp_SwitchedChildren[i].mp_uiState != E_SWITCH_STATE_INACTIVE &&
        mp_SwitchedChildren[i].mp_pChild->mp_uiInstanceNameHash != uiInstanceNameHash) {
      return true;
    }
  }
  return false;
}

void ClWidget::setVisible(u32 bVisible) {
  const u32 bNew = bVisible != 0 ? 1u : 0u;
  if (bNew == mp_bVisible) {
    return;
  }
  mp_bVisible = bNew;
  callEvent(bNew ? gc_ON_BECOME_VISIBLE.mp_uiHash : gc_uiON_BECOME_INVISIBLE);
}

void ClWidget::setVisibleRecursively(u32 bVisible) {
  setVisible(bVisible);
  for (u32 i = 0; i < mp_AllChildren.getSize(); ++i) {
    mp_AllChildren[i]->setVisibleRecursively(bVisible);
  }
}

void ClWidget::callEventOnChildren(const char* pEventName) {
  const u32 uiEventHash = KvStrHash(pEventName);
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    if (mp_SwitchedChildren[i].mp_uiState == E_SWITCH_STATE_ACTIVE) {
      mp_SwitchedChildren[i].mp_pChild->callEvent(uiEventHash);
    }
  }
  for (u32 i = 0; i < mp_DrawnChildren.getSize(); ++i) {
    mp_DrawnChildren[i]->callEvent(uiEventHash);
  }
}

void ClWidget::callTransitionInOnDrawnChildren() {
  for (u32 i = 0; i < mp_DrawnChildren.getSize(); ++i) {
    mp_DrawnChildren[i]->callEvent(gc_ON_TRANSITION_IN.mp_uiHash);
  }
}

bool ClWidget::areTransitionsCompleted() const {
  KV_ASSERT_MSG(mp_SwitchedChildren.getSize(), "mp_SwitchedChildren.getSize()");
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    const u32 uiState = mp_SwitchedChildren[i].mp_uiState;
    if (uiState == E_SWITCH_STATE_IN || uiState == E_SWITCH_STATE_OUT) {
      return false;
    }
  }
  return true;
}

bool ClWidget::areChildrenTransitionsDone() const {
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    if (mp_SwitchedChildren[i].mp_uiState == E_SWITCH_STATE_ACTIVE &&
        !mp_SwitchedChildren[i].mp_pChild->mp_bTransitionDone) {
      return false;
    }
  }
  for (u32 i = 0; i < mp_DrawnChildren.getSize(); ++i) {
    if (!mp_DrawnChildren[i]->mp_bTransitionDone) {
      return false;
    }
  }
  return true;
}

void ClWidget::switchToImpl(ClWidget* pTarget, bool bFocus) {
  KV_ASSERT_MSG(mp_SwitchedChildren.getSize(), "mp_SwitchedChildren.getSize()");
  bool bFoundTarget = false;
  i32 iOutgoing = -1;
  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    SWidgetSwitchedChild& entry = mp_SwitchedChildren[i];
    if (entry.mp_uiState == E_SWITCH_STATE_IN) {
      entry.mp_uiState = E_SWITCH_STATE_ACTIVE;
    } else if (entry.mp_uiState == E_SWITCH_STATE_OUT) {
      entry.mp_uiState = E_SWITCH_STATE_INACTIVE;
    }
    if (entry.mp_pChild == pTarget) {
      mp_uiSwitchTargetIndex = i;
      bFoundTarget = true;
    }
    if (entry.mp_uiState == E_SWITCH_STATE_ACTIVE) {
      iOutgoing = static_cast<i32>(i);
    }
  }
  KV_ASSERT(bFoundTarget);
  const u32 uiTarget = mp_uiSwitchTargetIndex;
  if (iOutgoing >= 0) {
    ClWidget* pOutgoing = mp_SwitchedChildren[static_cast<u32>(iOutgoing)].mp_pChild;
    mp_SwitchedChildren[static_cast<u32>(iOutgoing)].mp_uiState = E_SWITCH_STATE_OUT;
    pOutgoing->callEvent(gc_ON_TRANSITION_OUT.mp_uiHash);
    if (!pOutgoing->mp_bTransitionDone) {
      // The tick brings the target in once the outgoing child is done.
      ClPointerTracker::clearCurrentHits();
      return;
    }
    mp_SwitchedChildren[static_cast<u32>(iOutgoing)].mp_uiState = E_SWITCH_STATE_INACTIVE;
    pOutgoing->callEvent(gc_uiON_TRANSITION_OUT_IS_DONE);
  }
  startTargetTransitionIn(uiTarget, bFocus);
  ClPointerTracker::clearCurrentHits();
}

void ClWidget::switchTo(ClWidget* pTarget) { switchToImpl(pTarget, true); }

void ClWidget::switchToKeepFocus(ClWidget* pTarget) { switchToImpl(pTarget, false); }

namespace {

// The index of the active switched child (-1 when none); every child passed in state 2 or 3 is the
// assertion pMessage.
i32 activeIndexWhenSettled(const ClVarArray<SWidgetSwitchedChild, 2>& children, const char* pMessage) {
  KV_ASSERT_MSG(children.getSize(), "mp_SwitchedChildren.getSize()");
  i32 iActive = -1;
  for (u32 i = 0; i < children.getSize(); ++i) {
    const u32 uiState = children[i].mp_uiState;
    KV_ASSERT_MSG(uiState != E_SWITCH_STATE_IN && uiState != E_SWITCH_STATE_OUT, pMessage);
    if (uiState == E_SWITCH_STATE_ACTIVE && iActive < 0) {
      iActive = static_cast<i32>(i);
    }
  }
  return iActive;
}

}  // namespace

void ClWidget::switchToNext() {
  const i32 iActive =
      activeIndexWhenSettled(mp_SwitchedChildren, "Only supporting switchToNext when transitions are completed (for now)");
  if (iActive >= 0 && static_cast<u32>(iActive) + 1 < mp_SwitchedChildren.getSize()) {
    switchTo(mp_SwitchedChildren[static_cast<u32>(iActive) + 1].mp_pChild);
  }
}

void ClWidget::switchToPrev() {
  const i32 iActive =
      activeIndexWhenSettled(mp_SwitchedChildren, "Only supporting switchToPrev when transitions are completed (for now)");
  if (iActive > 0) {
    switchTo(mp_SwitchedChildren[static_cast<u32>(iActive) - 1].mp_pChild);
  }
}

void ClWidget::setFocusToSwitchedChild() {
  const i32 iActive = activeIndexWhenSettled(
      mp_SwitchedChildren, "Only supporting setFocusToSwitchedChild when transitions are completed (for now)");
  if (iActive < 0) {
    KV_FATAL("No selected child!");
  }
  ClUI::setFocus(mp_SwitchedChildren[static_cast<u32>(iActive)].mp_pChild, gc_uiANY_PAD);
}

ClWidget* ClWidget::clone(ClWidget* /*pUnused*/) {
  void* pMemory = KvAlignedAlloc(sizeof(ClWidget), 16);
  KV_ASSERT(pMemory);
  ClWidget* pNew = new (pMemory) ClWidget();
  pNew->reset();

  char szName[32];
  u32 uiHash = 0;
  do {
    KvSNPrintf(szName, sizeof(szName), "Clone#%d", g_iCloneCounter);
    ++g_iCloneCounter;
    uiHash = KvStrHash(szName);
  } while (ClUI::mp_MasterWidgetList.find(uiHash) != 0);
  pNew->mp_uiInstanceNameHash = uiHash;
  ClUI::mp_MasterWidgetList.insertPtr(uiHash, pNew);
  ClUI::mp_daClonedWidgets.append(pNew);

  pNew->mp_pParent = mp_pParent;
  for (i32 i = 0; i < 2; ++i) {
    pNew->mp_aColorAnimators[i] = mp_aColorAnimators[i];
    pNew->mp_aVectorAnimators[i] = mp_aVectorAnimators[i];
  }
  pNew->mp_bTransitioningOut = mp_bTransitioningOut;
  pNew->mp_uiInputMask = mp_uiInputMask;
  pNew->mp_uiSavedInputMask = mp_uiSavedInputMask;
  pNew->mp_bVisible = mp_bVisible;
  pNew->mp_bTransitionDone = mp_bTransitionDone;
  pNew->mp_uiForwardSourceHash = mp_uiForwardSourceHash;
  pNew->mp_uiCurrentEventHash = mp_uiCurrentEventHash;
  pNew->mp_uiSwitchTargetIndex = mp_uiSwitchTargetIndex;

  for (i32 iSlot = 0; iSlot < mp_Properties.getCapacity(); ++iSlot) {
    const u32 uiName = mp_Properties.getKeyAt(iSlot);
    const WidgetProperty* pProp = reinterpret_cast<const WidgetProperty*>(mp_Properties.getValueAt(iSlot));
    if (uiName == 0 || pProp == nullptr) {
      continue;
    }
    void* pData = pProp->mp_pData;
    switch (pProp->mp_eType) {
      case E_BASE_TYPE_INT:
        pNew->setInt(uiName, *static_cast<const i32*>(pData));
        break;
      case E_BASE_TYPE_FLOAT:
        pNew->setFloat(uiName, *static_cast<const f32*>(pData));
        break;
      case E_BASE_TYPE_BOOL:
        pNew->setBool(uiName, *static_cast<const u32*>(pData));
        break;
      case E_BASE_TYPE_ID:
        pNew->setID(uiName, *static_cast<const u32*>(pData));
        break;
      case E_BASE_TYPE_ASCII_STRING:
        pNew->setString(uiName, static_cast<const char*>(pData));
        break;
      case E_BASE_TYPE_COLOR:
        pNew->setColor(uiName, *static_cast<const u32*>(pData));
        break;
      case E_BASE_TYPE_LAYOUT:
        pNew->setLayout(uiName, pData);
        break;
      case E_BASE_TYPE_PERCENTXY:
      case E_BASE_TYPE_UNNAMED_9:
        pNew->setPercentXY(uiName, static_cast<const f32*>(pData));
        break;
      case E_BASE_TYPE_GRIDXY: {
        const i32* piXY = static_cast<const i32*>(pData);
        pNew->setGridXY(uiName, piXY[0], piXY[1]);
        break;
      }
      case E_BASE_TYPE_FLOATXY:
        pNew->setFloatXY(uiName, static_cast<const f32*>(pData));
        break;
      case E_BASE_TYPE_UNNAMED_12:
        break;
      case E_BASE_TYPE_EVENTCALLBACK:
        pNew->setEventCallback(uiName, static_cast<SWidgetEventCallback*>(pData));
        break;
      default:
        KV_FATALF("Port this code to the Win32 (NOW!!!) -> [%s] in [%s], Line [%d]!", "ClWidget::clone", __FILE__,
                  __LINE__);
    }
  }

  for (u32 i = 0; i < mp_SwitchedChildren.getSize(); ++i) {
    ClWidget* pChild = mp_SwitchedChildren[i].mp_pChild->clone();
    pNew->mp_SwitchedChildren.append({mp_SwitchedChildren[i].mp_uiState, pChild});
    pNew->mp_AllChildren.append(pChild);
    pChild->mp_pParent = pNew;
  }
  for (u32 i = 0; i < mp_DrawnChildren.getSize(); ++i) {
    pNew->addDrawnChild(mp_DrawnChildren[i]->clone());
  }
  if (pNew->findProperty(gc_PTR_DETECTOR.mp_uiHash) != nullptr) {
    pNew->setInt(gc_PTR_DETECTOR.mp_uiHash, 0);
  }
  return pNew;
}

void ClWidget::addDrawnChild(ClWidget* pChild) {
  KV_ASSERT(pChild);
  mp_AllChildren.append(pChild);
  mp_DrawnChildren.append(pChild);
  pChild->mp_pParent = this;
}

namespace {

i32 indexOfClone(const ClWidget* pWidget) {
  for (i32 i = 0; i < ClUI::mp_daClonedWidgets.getCount(); ++i) {
    if (ClUI::mp_daClonedWidgets[i] == pWidget) {
      return i;
    }
  }
  return -1;
}

// Removes the child from mp_AllChildren; fatal when it is not there.
void detachFromAllChildren(ClVarArray<ClWidget*, 2>& allChildren, const ClWidget* pChild) {
  for (u32 i = 0; i < allChildren.getSize(); ++i) {
    if (allChildren[i] == pChild) {
      allChildren.removeAt(i);
      return;
    }
  }
  KV_FATAL("Item not found to delete!");
}

void destroyClone(ClWidget* pChild, i32 iCloneIndex) {
  pChild->destroyChildren();
  KV_ASSERT_MSG(ClUI::mp_MasterWidgetList.find(pChild->mp_uiInstanceNameHash),
                "ClUI::mp_MasterWidgetList.find(pChild->mp_uiInstanceNameHash)");
  ClUI::mp_MasterWidgetList.remove(pChild->mp_uiInstanceNameHash);
  // The recursive destruction may have moved the clone in the list.
  const i32 iIndex = ClUI::mp_daClonedWidgets[iCloneIndex] == pChild ? iCloneIndex : indexOfClone(pChild);
  ClUI::mp_daClonedWidgets.erase(iIndex);
  if (pChild->mp_bVisible) {
    pChild->mp_bVisible = 0;
    pChild->callEvent(gc_uiON_BECOME_INVISIBLE);
  }
  pChild->destroy();
  ClUI::forgetWidget(pChild);
  freeWidget(pChild);
}

}  // namespace

void ClWidget::destroyChildren() {
  for (u32 i = mp_SwitchedChildren.getSize(); i-- > 0;) {
    ClWidget* pChild = mp_SwitchedChildren[i].mp_pChild;
    mp_SwitchedChildren.removeAt(i);
    detachFromAllChildren(mp_AllChildren, pChild);
    const i32 iClone = indexOfClone(pChild);
    if (iClone >= 0) {
      destroyClone(pChild, iClone);
    }
    i = std::min(i, mp_SwitchedChildren.getSize());
  }
  for (u32 i = mp_DrawnChildren.getSize(); i-- > 0;) {
    ClWidget* pChild = mp_DrawnChildren[i];
    mp_DrawnChildren.removeAt(i);
    detachFromAllChildren(mp_AllChildren, pChild);
    const i32 iClone = indexOfClone(pChild);
    if (iClone >= 0) {
      destroyClone(pChild, iClone);
    }
    i = std::min(i, mp_DrawnChildren.getSize());
  }
}

void ClWidget::callEvent(u32 uiEventHash) { callEventFrom(0, uiEventHash, true, true); }

namespace {

// Only an event-callback value is read as one: a value of another type under an event's name (which data may hold)
// is no event.
const SWidgetEventCallback* eventCallbackOf(const WidgetProperty* pProp) {
  if (pProp == nullptr || pProp->mp_pData == nullptr || pProp->mp_eType != E_BASE_TYPE_EVENTCALLBACK) {
    return nullptr;
  }
  return static_cast<const SWidgetEventCallback*>(pProp->mp_pData);
}

WidgetEventProcedure singleOf(const SWidgetEventCallback* pCallback) {
  if (pCallback == nullptr || pCallback->mp_uiSingleProcedureNameHash == 0) {
    return nullptr;
  }
  return ClUIEventSystemFunctions::findFunction(pCallback->mp_uiSingleProcedureNameHash);
}

}  // namespace

void ClWidget::callEventFrom(u32 uiSourceHash, u32 uiEventHash, bool bRunSingle, bool bRunList) {
  mp_uiForwardSourceHash = uiSourceHash;
  mp_uiCurrentEventHash = uiEventHash;
  const SWidgetEventCallback* pCallback = eventCallbackOf(findProperty(uiEventHash));
  if (pCallback == nullptr) {
    return;
  }
  runEventCallback(pCallback, bRunSingle ? singleOf(pCallback) : nullptr, bRunSingle, bRunList);
}

void ClWidget::callFrameEvent(E_WIDGET_FRAME_EVENT eEvent, u32 uiEventHash) {
  mp_uiForwardSourceHash = 0;
  mp_uiCurrentEventHash = uiEventHash;
  SWidgetFrameCache& cache = mp_frameCache;
  if (cache.mp_uiEventsVersion != mp_uiPropertyVersion) {
    cache.mp_apEvents[E_WIDGET_FRAME_EVENT_TICK] = eventCallbackOf(findProperty(gc_uiON_TICK));
    cache.mp_apEvents[E_WIDGET_FRAME_EVENT_RENDER] = eventCallbackOf(findProperty(gc_uiON_RENDER));
    cache.mp_uiEventsVersion = mp_uiPropertyVersion;
    cache.mp_uiRegistryVersion = ClUIEventSystemFunctions::getVersion() - 1;
  }
  if (cache.mp_uiRegistryVersion != ClUIEventSystemFunctions::getVersion()) {
    for (u32 i = 0; i < 2; ++i) {
      cache.mp_apfnSingle[i] = singleOf(cache.mp_apEvents[i]);
    }
    cache.mp_uiRegistryVersion = ClUIEventSystemFunctions::getVersion();
  }
  if (const SWidgetEventCallback* pCallback = cache.mp_apEvents[eEvent]) {
    runEventCallback(pCallback, cache.mp_apfnSingle[eEvent], true, true);
  }
}

void ClWidget::runEventCallback(const SWidgetEventCallback* pCallback, WidgetEventProcedure pfnSingle, bool bRunSingle,
                                bool bRunList) {
  if (bRunSingle && pfnSingle != nullptr) {
    pfnSingle(this, nullptr);
  }
  if (!bRunList) {
    return;
  }
  for (i32 i = 0; i < pCallback->mp_iNumberCalls; ++i) {
    WidgetEventProcedureCall* pCall = pCallback->mp_ppCalls[i];
    if (WidgetEventProcedure pfnCall = ClUIEventSystemFunctions::findFunction(pCall->mp_uiProcedureNameHash)) {
      pfnCall(this, pCall);
    }
  }
}

void ClWidget::invalidateFrameCache() { propertiesChanged(); }

i32 KvWidgetCloneCounter() { return g_iCloneCounter; }
