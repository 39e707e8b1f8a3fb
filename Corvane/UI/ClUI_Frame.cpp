// The UI's frame: ClUI::update (pointer, scroll areas, pad events, tree ticks, deferred events) and
// ClUI::render (the pointer image, then the trees).
#include <algorithm>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

// An edge of one action that fires an event on the focused widget when its mask bit is set (0: always).
struct SPadEvent {
  i32 iAction;
  bool bRelease;  // the release edge instead of the press edge
  u32 uiMask;
  u32 uiEventHash;
};

const SPadEvent gc_aDirectionEvents[] = {
    {gc_iUI_ACTION_LEFT, false, gc_uiINPUT_LEFT, KvStrHash("onLeft")},
    {gc_iUI_ACTION_RIGHT, false, gc_uiINPUT_RIGHT, KvStrHash("onRight")},
    {gc_iUI_ACTION_DOWN, false, gc_uiINPUT_DOWN, KvStrHash("onDown")},
    {gc_iUI_ACTION_UP, false, gc_uiINPUT_UP, KvStrHash("onUp")},
};

// Held back while "delayMenuInputClickBack" runs.
const SPadEvent gc_aDelayedEvents[] = {
    {gc_iUI_ACTION_ACCEPT, false, gc_uiINPUT_CLICK, KvStrHash("onClick")},
    {gc_iUI_ACTION_ACCEPT, true, gc_uiINPUT_CLICK, KvStrHash("onUnClick")},
    {gc_iUI_ACTION_ALT1, false, gc_uiINPUT_CLICK, KvStrHash("onClickAlt1")},
    {gc_iUI_ACTION_ALT2, false, gc_uiINPUT_CLICK, KvStrHash("onClickAlt2")},
    {gc_iUI_ACTION_BACK, false, gc_uiINPUT_BACK, KvStrHash("onBack")},
    {gc_iUI_ACTION_START, false, 0, KvStrHash("onStart")},
};


bool isAbove(f32 fValue) { return fValue > gc_fACTION_PRESSED_THRESHOLD; }

// Whether the edge happened on hardware pad h this input frame. Nothing fires while input is blocked or
// before the input manager has made the pad's actions.
bool edgeHappened(u32 uiHardwarePad, const SPadEvent& event) {
  const SGameInputAction* pActions = ClInputManager::m_apGameSpecificInputs[uiHardwarePad];
  if (ClGameStateMgr::isInputBlocked() || pActions == nullptr || event.iAction >= ClInputManager::getActionCount()) {
    return false;
  }
  const u32 uiCur = ClInputManager::m_uiCurInputFrame & 1u;
  const bool bNow = isAbove(pActions[event.iAction].mp_afValues[uiCur]);
  const bool bBefore = isAbove(pActions[event.iAction].mp_afValues[1 - uiCur]);
  return event.bRelease ? (!bNow && bBefore) : (bNow && !bBefore);
}

// Fires the event on w when its edge happened and w lets it through, then looks the pad's focus up again (a
// procedure may have moved it). False when the pad has no focused widget any more. A click of the pointer that
// hit nothing keeps its accept press (the mouse's, hardware pad 0) from the focused widget.
bool checkPadEvent(u32 uiPad, u32 uiHardwarePad, const SPadEvent& event, ClWidget** ppWidget) {
  const bool bMissedClick = ClUI::mp_bPointerClickMissed != 0 && uiHardwarePad == 0 &&
                            event.iAction == gc_iUI_ACTION_ACCEPT && !event.bRelease;
  const bool bAllowed =
      !bMissedClick && (event.uiMask == 0 || ((*ppWidget)->mp_uiInputMask & event.uiMask) != 0);
  if (bAllowed && edgeHappened(uiHardwarePad, event)) {
    (*ppWidget)->callEvent(event.uiEventHash);
  }
  *ppWidget = ClUI::getFocusedWidget(uiPad);
  return *ppWidget != nullptr;
}

bool exclusiveListHolds(const ClWidget* pWidget) {
  for (i32 i = 0; i < ClUI::mp_daExclusiveAvailableWidgets.getCount(); ++i) {
    if (ClUI::mp_daExclusiveAvailableWidgets[i] == pWidget) {
      return true;
    }
  }
  return false;
}

// Whether the trees' render reaches the widget: it and its ancestors visible, and none of them a switched child
// that its switcher leaves out (inactive).
bool onScreen(const ClWidget* pWidget) {
  for (; pWidget != nullptr; pWidget = pWidget->mp_pParent) {
    const ClWidget* pParent = pWidget->mp_pParent;
    for (u32 i = 0; pParent != nullptr && i < pParent->mp_SwitchedChildren.getSize(); ++i) {
      const SWidgetSwitchedChild& entry = pParent->mp_SwitchedChildren[i];
      if (entry.mp_pChild == pWidget && entry.mp_uiState == E_SWITCH_STATE_INACTIVE) {
        return false;
      }
    }
    if (pWidget->mp_bVisible == 0) {
      return false;
    }
  }
  return true;
}

// Whether a click may go to the widget: it takes clicks and has something to do with them, may be chosen (not
// disabled, not skipped by the grid's focus moves), is drawn (on the screen, not on its way out) and may hold
// focus (the exclusive list). A hot spot outlives all of these, so the click asks each time.
bool takesPointerClick(const ClWidget* pWidget) {
  static const u32 s_uiOnClick = KvStrHash("onClick");
  if ((pWidget->mp_uiInputMask & gc_uiINPUT_CLICK) == 0 || pWidget->mp_bTransitioningOut != 0 ||
      pWidget->getInt(gc_DISABLED) != 0 || pWidget->getInt(gc_GRID_DISABLED) != 0 ||
      pWidget->findProperty(s_uiOnClick) == nullptr || !onScreen(pWidget)) {
    return false;
  }
  return ClUI::mp_daExclusiveAvailableWidgets.getCount() == 0 || exclusiveListHolds(pWidget);
}

// The widget a click goes to: among the widget hot spots under the pointer, one that takes the click; the
// smallest when several do (a button before the panel behind it). Null when none.
ClWidget* widgetUnderPointer() {
  ClWidget* pBest = nullptr;
  f32 fBestArea = KV_ZERO;
  const SPointerHit* pHits = ClPointerTracker::getCurrentHits();
  for (u32 i = 0; i < ClPointerTracker::getNumCurrentHits(); ++i) {
    const SPointerDetector* pDetector = pHits[i].mp_pDetector;
    if (pDetector->mp_uiKind != E_POINTER_DETECTOR_WIDGET) {
      continue;
    }
    ClWidget* pWidget = static_cast<ClWidget*>(pDetector->mp_pOwner);
    const f32 fArea = (pDetector->mp_fMaxX - pDetector->mp_fMinX) * (pDetector->mp_fMaxY - pDetector->mp_fMinY);
    if (takesPointerClick(pWidget) && (pBest == nullptr || fArea < fBestArea)) {
      pBest = pWidget;
      fBestArea = fArea;
    }
  }
  return pBest;
}

bool deferredEventInUse(const SDeferredWidgetEvent* pEvent) {
  for (i32 i = 0; i < ClUI::mp_DeferredEventPool.getCount(); ++i) {
    if (ClUI::mp_DeferredEventPool.get(i) == pEvent) {
      return true;
    }
  }
  return false;
}

}  // namespace

SDeferredWidgetEvent* ClUI::mp_apDeferredDue[gc_iMAX_DEFERRED_EVENTS] = {};
i32 ClUI::mp_iNumDeferredDue = 0;
u32 ClUI::mp_bPointerClickMissed = 0;

void ClUI::clickWithPointer() {
  mp_bPointerClickMissed = 0;
  if (ClPointerTracker::m_bClicked == 0 || ClGameStateMgr::isInputBlocked()) {
    return;
  }
  // The logical pad the mouse's hardware pad 0 stands for.
  u32 uiPad = 0;
  while (uiPad + 1 < gc_iNUM_UI_PADS && ClInputManager::m_auiPadMap[uiPad] != 0) {
    ++uiPad;
  }
  ClWidget* pTarget = widgetUnderPointer();
  if (pTarget != nullptr) {
    // The focus goes where that pad's focus is kept: its own entry, or the any-pad one the screens give.
    u32 uiFocusPad = gc_uiANY_PAD;
    for (i32 i = 0; i < mp_iNumFocus; ++i) {
      if (mp_aFocus[i].mp_uiPad == uiPad || mp_aFocus[i].mp_uiPad == gc_uiANY_PAD) {
        uiFocusPad = mp_aFocus[i].mp_uiPad;
        break;
      }
    }
    setFocus(pTarget, uiFocusPad);
  }
  mp_bPointerClickMissed = pTarget == nullptr || getFocusedWidget(uiPad) != pTarget ? 1u : 0u;
}

void ClUI::updatePad(u32 uiPad) {
  if (mp_abPadEnabled[uiPad] == 0) {
    return;
  }
  const u32 uiHardwarePad = ClInputManager::m_auiPadMap[uiPad];
  KV_ASSERT(uiHardwarePad < cuiMAX_GAME_PADS);
  if (uiHardwarePad != 0 && ClInputHWtoKv::mp_auiPadConnected[uiHardwarePad] == 0) {
    return;
  }
  ClWidget* pWidget = getFocusedWidget(uiPad);
  if (pWidget == nullptr) {
    return;
  }
  if (mp_daExclusiveAvailableWidgets.getCount() > 0 && !exclusiveListHolds(pWidget)) {
    removeFocus(pWidget, gc_uiANY_PAD);
    return;
  }
  mp_uiCurrentLogicalPad = uiHardwarePad;
  for (const SPadEvent& event : gc_aDirectionEvents) {
    if (!checkPadEvent(uiPad, uiHardwarePad, event, &pWidget)) {
      return;
    }
  }
  // The delay runs down once for every pad that gets this far, so two active pads halve it.
  const WidgetProperty* pDelay = mp_RootWidget.findProperty(gc_DELAY_MENU_INPUT_CLICK_BACK.mp_uiHash);
  if (pDelay != nullptr && pDelay->mp_eType == E_BASE_TYPE_FLOAT) {
    const f32 fDelay = *static_cast<const f32*>(pDelay->mp_pData);
    if (fDelay > KV_ZERO) {
      const f32 fDT = ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
      mp_RootWidget.setFloat(gc_DELAY_MENU_INPUT_CLICK_BACK.mp_uiHash, std::max(KV_ZERO, fDelay - fDT));
      return;
    }
  }
  for (const SPadEvent& event : gc_aDelayedEvents) {
    if (!checkPadEvent(uiPad, uiHardwarePad, event, &pWidget)) {
      return;
    }
  }
}

void ClUI::fireDeferredEvents() {
  mp_iNumDeferredDue = mp_DeferredEventPool.getCount();
  for (i32 i = 0; i < mp_iNumDeferredDue; ++i) {
    mp_apDeferredDue[i] = mp_DeferredEventPool.get(i);
  }
  // From the last record to the first, as the pool orders them now.
  for (i32 i = mp_iNumDeferredDue - 1; i >= 0; --i) {
    SDeferredWidgetEvent* pEvent = mp_apDeferredDue[i];
    if (pEvent == nullptr || !deferredEventInUse(pEvent)) {
      continue;  // queued during this countdown, or freed by a procedure (its widget was destroyed)
    }
    KV_ASSERT(pEvent->mp_uiClock < gc_uiNUM_CLOCKS);
    pEvent->mp_fTimeLeft = std::max(KV_ZERO, pEvent->mp_fTimeLeft - ClClock::m_aClockFrames[pEvent->mp_uiClock].m_fFrameTime);
    if (pEvent->mp_fTimeLeft > KV_ZERO) {
      continue;
    }
    ClWidget* pWidget = pEvent->mp_pWidget;
    const u32 uiEventHash = pEvent->mp_uiEventHash;
    mp_DeferredEventPool.free(pEvent);
    pWidget->callEvent(uiEventHash);
  }
  mp_iNumDeferredDue = 0;
}

void ClUI::update() {
  KV_ASSERT(mp_daExclusiveAvailableWidgets.isInitialized());
  KV_ASSERT_MSG(mp_daExclusiveAvailableWidgets.getCount() < 255, "mp_daExclusiveAvailableWidgets.getCount() < 255");
  if (mp_bScrollDragging) {
    ClPointerTracker::m_bHideRequest = 1;
  }
  ClPointerTracker::tick();
  updateScrollAreas();
  clickWithPointer();
  for (u32 uiPad = 0; uiPad < gc_iNUM_UI_PADS; ++uiPad) {
    updatePad(uiPad);
  }
  for (i32 i = 0; i < mp_UIDataPool.getCount(); ++i) {
    if (ClWidget* pRoot = mp_UIDataPool.get(i)->mp_pRootWidget) {
      pRoot->tick();
    }
  }
  fireDeferredEvents();
  if (mp_bScrollAreaRegisteredThisFrame) {
    updateScrollAreas();
    mp_bScrollAreaRegisteredThisFrame = 0;
  }
}

void ClUI::render() {
  ClPointerTracker::render();
  for (i32 i = 0; i < mp_UIDataPool.getCount(); ++i) {
    if (ClWidget* pRoot = mp_UIDataPool.get(i)->mp_pRootWidget) {
      pRoot->render();
    }
  }
}
