#include "Corvane/UI/COMMONUIFunctions_System.h"

#include <cmath>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

// The record exists and holds exactly iCount parameters.
void checkParams(const WidgetEventProcedureCall* pData, i32 iCount) {
  KV_ASSERT_MSG(pData, "pData");
  if (iCount == 1) {
    KV_ASSERT_MSG(pData->mp_iNumberWidgetEventProcedureCallDatas == 1,
                  "pData->mp_iNumberWidgetEventProcedureCallDatas == 1");
  } else {
    KV_ASSERT_MSG(pData->mp_iNumberWidgetEventProcedureCallDatas == 2,
                  "pData->mp_iNumberWidgetEventProcedureCallDatas == 2");
  }
}

const WidgetEventProcedureCallData* param(const WidgetEventProcedureCall* pData, i32 iIndex) {
  return pData->mp_ppWidgetEventProcedureCallDatas[iIndex];
}

// The widget named by the ID parameter, or null.
ClWidget* widgetParam(const WidgetEventProcedureCall* pData, i32 iIndex) {
  return ClUI::findWidget(getParamID(pData, iIndex));
}

// Sets the variable named by parameter 0 to parameter 1 with the parameter's type.
void setValue(ClWidget* pTarget, const WidgetEventProcedureCall* pData, const char* pUnsupportedMessage) {
  checkParams(pData, 2);
  const u32 uiNameHash = KvStrHash(getParamString(pData));
  const WidgetEventProcedureCallData* pValue = param(pData, 1);
  switch (pValue->mp_eType) {
    case E_ESCP_TYPE_INT:
      pTarget->setInt(uiNameHash, pValue->mp_iValue);
      break;
    case E_ESCP_TYPE_FLOAT:
      pTarget->setFloat(uiNameHash, pValue->mp_fValue);
      break;
    case E_ESCP_TYPE_STRING:
      pTarget->setString(uiNameHash, pValue->mp_acString);
      break;
    case E_ESCP_TYPE_ID:
      pTarget->setID(uiNameHash, pValue->mp_uiID);
      break;
    default:
      KV_FATAL(pUnsupportedMessage);
  }
}

// runSingle (index 1) and runList (index 2) default to true; an INT there gives (value > 0).
bool forwardFlag(const WidgetEventProcedureCall* pData, i32 iIndex) {
  if (pData == nullptr || pData->mp_iNumberWidgetEventProcedureCallDatas <= iIndex ||
      param(pData, iIndex)->mp_eType != E_ESCP_TYPE_INT) {
    return true;
  }
  return param(pData, iIndex)->mp_iValue > 0;
}

struct SDeferralMessages {
  const char* pEventType;
  const char* pTimeType;
};

void deferEvent(ClWidget* pThis, const WidgetEventProcedureCall* pData, u32 uiClock,
                const SDeferralMessages& messages) {
  checkParams(pData, 2);
  const WidgetEventProcedureCallData* pEvent = param(pData, 0);
  u32 uiEventHash = 0;
  if (pEvent->mp_eType == E_ESCP_TYPE_STRING) {
    uiEventHash = KvStrHash(pEvent->mp_acString);
  } else if (pEvent->mp_eType == E_ESCP_TYPE_ID) {
    uiEventHash = pEvent->mp_uiID;
  } else {
    KV_FATAL(messages.pEventType);
  }
  const WidgetEventProcedureCallData* pTime = param(pData, 1);
  f32 fSeconds = KV_ZERO;
  if (pTime->mp_eType == E_ESCP_TYPE_INT) {
    fSeconds = static_cast<f32>(pTime->mp_iValue);
  } else if (pTime->mp_eType == E_ESCP_TYPE_FLOAT) {
    fSeconds = pTime->mp_fValue;
  } else {
    KV_FATAL(messages.pTimeType);
  }
  // A full pool drops the event: the UI goes on without it.
  ClUI::addDeferredEvent(pThis, uiClock, uiEventHash, fSeconds);
}

// The end of a transition: done, and hidden when it was a transition out. Repeats on every call.
void finishTransition(ClWidget* pThis) {
  pThis->mp_bTransitionDone = 1;
  if (pThis->mp_bTransitioningOut == 1) {
    pThis->setVisibleRecursively(0);
  }
}

// The switcher and the target of a two-ID switch call.
void switchPair(const WidgetEventProcedureCall* pData, ClWidget** ppSwitcher, ClWidget** ppTarget) {
  checkParams(pData, 2);
  *ppSwitcher = widgetParam(pData, 0);
  *ppTarget = widgetParam(pData, 1);
  KV_ASSERT_MSG(*ppSwitcher, "pSwitcher");
  KV_ASSERT_MSG(*ppTarget, "pTarget");
}

ClWidget* switcherParam(const WidgetEventProcedureCall* pData) {
  checkParams(pData, 1);
  ClWidget* pSwitcher = widgetParam(pData, 0);
  KV_ASSERT_MSG(pSwitcher, "pSwitcher");
  return pSwitcher;
}

ClWidget* requiredWidgetParam(const WidgetEventProcedureCall* pData) {
  ClWidget* pWid = widgetParam(pData, 0);
  KV_ASSERT_MSG(pWid, "pWid");
  return pWid;
}

}  // namespace

void systemIdle(ClWidget*, WidgetEventProcedureCall*) {}

void systemSetGlobalValue(ClWidget*, WidgetEventProcedureCall* pData) {
  setValue(ClUI::getRootWidget(), pData, "systemSetGlobalValue: target variable type not yet supported!");
}

void systemSetLocalValue(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  setValue(pThis, pData, "systemSetLocalValue: target variable type not yet supported!");
}

void systemForwardEvent(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  if (pData == nullptr || pData->mp_iNumberWidgetEventProcedureCallDatas < 1 ||
      param(pData, 0)->mp_eType != E_ESCP_TYPE_ID) {
    return;
  }
  ClWidget* pTarget = ClUI::findWidget(param(pData, 0)->mp_uiID);
  if (pTarget == nullptr) {
    return;
  }
  pTarget->callEventFrom(pThis->mp_uiInstanceNameHash, pThis->mp_uiCurrentEventHash, forwardFlag(pData, 1),
                         forwardFlag(pData, 2));
}

void systemForwardEventToParent(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  ClWidget* pParent = pThis->mp_pParent;
  if (pParent == nullptr) {
    return;
  }
  // The parent's procedures find the widget that first forwarded the event at the bottom of the stack.
  ClUI::mp_daEventForwardingStack.append(pThis);
  pParent->callEventFrom(pThis->mp_uiInstanceNameHash, pThis->mp_uiCurrentEventHash, forwardFlag(pData, 1),
                         forwardFlag(pData, 2));
  ClUI::mp_daEventForwardingStack.erase(ClUI::mp_daEventForwardingStack.getCount() - 1);
}

void systemDoDeferredEventCallSystemClock(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  deferEvent(pThis, pData, gc_uiCLOCK_SYSTEM,
             {"systemDoDeferredEventCallSystemClock: event to call MUST be ID or string!",
              "systemDoDeferredEventCallSystemClock: time must be integer or floating-point constant!"});
}

void systemDoDeferredEventCallGameplayClock(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  deferEvent(pThis, pData, gc_uiCLOCK_GAMEPLAY,
             {"systemDoDeferredEventCallGameplayClock: event to call MUST be ID or string!",
              "systemDoDeferredEventCallGameplayClock: time must be integer or floating-point constant!"});
}

void systemCallEvent(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  checkParams(pData, 1);
  const u32 uiEventHash = KvStrHash(getParamString(pData));
  if (pThis->mp_bTransitionDone && pThis->mp_bVisible) {
    pThis->callEvent(uiEventHash);
  }
}

void systemImmediateTransitionIn(ClWidget* pThis, WidgetEventProcedureCall*) {
  pThis->mp_bTransitioningOut = 0;
  pThis->setVisibleRecursively(1);
  for (u32 i = 0; i < pThis->mp_DrawnChildren.getSize(); ++i) {
    pThis->mp_DrawnChildren[i]->callEvent(gc_ON_TRANSITION_IN.mp_uiHash);
  }
  KV_ASSERTF(pThis->areChildrenTransitionsDone(),
             "Widget [%s]: Calling an immediate transition IN, but some children of this widget do NOT have an "
             "immediate transition",
             pThis->getName());
  pThis->mp_bTransitionDone = 1;
}

void systemImmediateTransitionOut(ClWidget* pThis, WidgetEventProcedureCall*) {
  pThis->mp_bTransitioningOut = 1;
  pThis->setVisibleRecursively(0);
  pThis->callEventOnChildren("onTransitionOut");
  pThis->mp_bTransitionDone = 1;
}

void systemChildrenTransitionIn(ClWidget* pThis, WidgetEventProcedureCall*) {
  pThis->mp_bTransitionDone = 0;
  pThis->mp_bTransitioningOut = 0;
  pThis->callEventOnChildren("onTransitionIn");
  pThis->setVisibleRecursively(1);
}

void systemChildrenTransitionOut(ClWidget* pThis, WidgetEventProcedureCall*) {
  pThis->mp_bTransitionDone = 0;
  pThis->mp_bTransitioningOut = 1;
  pThis->callEventOnChildren("onTransitionOut");
}

void systemSetTransitionDoneBasedOnChildren(ClWidget* pThis, WidgetEventProcedureCall*) {
  for (u32 i = 0; i < pThis->mp_DrawnChildren.getSize(); ++i) {
    if (!pThis->mp_DrawnChildren[i]->mp_bTransitionDone) {
      return;
    }
  }
  finishTransition(pThis);
}

void systemSetTransitionDoneWhenInterpolationsAreDone(ClWidget* pThis, WidgetEventProcedureCall*) {
  for (const ClAnimator<ClColor>& animator : pThis->mp_aColorAnimators) {
    if (animator.mp_bActive) {
      return;
    }
  }
  for (const ClAnimator<kv_vector2>& animator : pThis->mp_aVectorAnimators) {
    if (animator.mp_bRunning) {
      return;
    }
  }
  finishTransition(pThis);
}

void systemSetTransitionDoneAndClickEventMaskAfterTimer(ClWidget* pThis, WidgetEventProcedureCall*) {
  // The timer has no lower bound: it keeps counting below 0 on later calls.
  const f32 fTimer = pThis->getFloat(gc_TRANSITION_TIMER) - ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;
  pThis->setCountdown(gc_TRANSITION_TIMER.mp_uiHash, fTimer);
  if (fTimer > KV_ZERO) {
    return;
  }
  finishTransition(pThis);
  if (!pThis->mp_bTransitioningOut) {
    // The click and other input bits come back once the transition-in time is over.
    pThis->mp_uiInputMask |= pThis->mp_uiSavedInputMask;
  }
}

void systemSetPointerDisplay(ClWidget*, WidgetEventProcedureCall* pData) {
  checkParams(pData, 1);
  ClPointerTracker::setPointerShown(getParamInt(pData, 0) > 0);
}

void systemSetFocus(ClWidget*, WidgetEventProcedureCall* pData) {
  checkParams(pData, 1);
  ClWidget* pTarget = widgetParam(pData, 0);
  KV_ASSERT_MSG(pTarget, "pTarget");
  if (pTarget->mp_bVisible) {
    ClUI::setFocus(pTarget, gc_uiANY_PAD);
  }
}

void systemGrabFullFocus(ClWidget* pThis, WidgetEventProcedureCall*) { ClUI::setFocus(pThis, gc_uiANY_PAD); }

void systemSwitch(ClWidget*, WidgetEventProcedureCall* pData) {
  ClWidget* pSwitcher = nullptr;
  ClWidget* pTarget = nullptr;
  switchPair(pData, &pSwitcher, &pTarget);
  ClUI::pushSwitchHistory(pTarget);
  pSwitcher->switchTo(pTarget);
}

void systemSwitchKeepFocus(ClWidget*, WidgetEventProcedureCall* pData) {
  ClWidget* pSwitcher = nullptr;
  ClWidget* pTarget = nullptr;
  switchPair(pData, &pSwitcher, &pTarget);
  ClUI::pushSwitchHistory(pTarget);
  pSwitcher->switchToKeepFocus(pTarget);
}

void systemSwitchIfNotTransitioning(ClWidget*, WidgetEventProcedureCall* pData) {
  ClWidget* pSwitcher = nullptr;
  ClWidget* pTarget = nullptr;
  switchPair(pData, &pSwitcher, &pTarget);
  if (pSwitcher->areTransitionsCompleted()) {
    pSwitcher->switchTo(pTarget);
  }
}

void systemSwitchToNextChild(ClWidget*, WidgetEventProcedureCall* pData) { switcherParam(pData)->switchToNext(); }
void systemSwitchToPrevChild(ClWidget*, WidgetEventProcedureCall* pData) { switcherParam(pData)->switchToPrev(); }

void systemSetFocusToSwitchedChild(ClWidget* pThis, WidgetEventProcedureCall*) {
  KV_ASSERT_MSG(pThis, "pThis");
  pThis->setFocusToSwitchedChild();
}

void systemSetFocusToParentIfInFocus(ClWidget* pThis, WidgetEventProcedureCall*) {
  KV_ASSERT_MSG(pThis, "pThis");
  KV_ASSERT_MSG(pThis->mp_pParent, "pThis->mp_pParent");
  if (ClUI::getFocusedWidget(gc_uiANY_PAD) == pThis) {
    ClUI::setFocus(pThis->mp_pParent, gc_uiANY_PAD);
  }
}

void systemResetPointerFocus(ClWidget*, WidgetEventProcedureCall*) { ClPointerTracker::clearCurrentHits(); }

void systemSetWidgetAsPointerExclusive(ClWidget*, WidgetEventProcedureCall* pData) {
  ClWidget* pNewRoot = widgetParam(pData, 0);
  KV_ASSERT_MSG(pNewRoot, "pNewRoot");
  ClUI::mp_pPointerExclusiveWidget = pNewRoot;
}

void systemRemovePointerExclusivity(ClWidget*, WidgetEventProcedureCall*) {
  ClUI::mp_pPointerExclusiveWidget = nullptr;
}

void systemAddWidgetToExclusiveClickableList(ClWidget*, WidgetEventProcedureCall* pData) {
  checkParams(pData, 1);
  // A null entry would make the list non-empty while admitting no widget: every focus request refused.
  ClWidget* pWidget = widgetParam(pData, 0);
  KV_ASSERT_MSG(pWidget, "pWidget");
  ClUI::mp_daExclusiveAvailableWidgets.append(pWidget);
}

void systemClearExclusiveWidgetList(ClWidget*, WidgetEventProcedureCall*) {
  ClUI::mp_daExclusiveAvailableWidgets.clear();
}

void systemSaveWhichLogicalPadIntoGlobalVariable(ClWidget*, WidgetEventProcedureCall* pData) {
  checkParams(pData, 1);
  ClUI::getRootWidget()->setInt(KvStrHash(getParamString(pData)), static_cast<i32>(ClUI::mp_uiCurrentLogicalPad));
}

void systemLockPointer(ClWidget*, WidgetEventProcedureCall*) {
  for (i32 i = 0; i < 2; ++i) {
    ClPointerTracker::m_afSavedPosition[i] = ClPointerTracker::m_afPosition[i];
    ClPointerTracker::m_abAxisLocked[i] = 1;
    ClPointerTracker::m_afLockedMovement[i] = KV_ZERO;
  }
}

void systemUnlockPointer(ClWidget*, WidgetEventProcedureCall*) {
  ClPointerTracker::m_abAxisLocked[0] = 0;
  ClPointerTracker::m_abAxisLocked[1] = 0;
}

void systemMovePointer(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  checkParams(pData, 2);
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(pThis->getID(gc_CANVAS));
  const f32 fX = pCanvas->mp_fLeft + std::floor(static_cast<f32>(getParamInt(pData, 0)) * pCanvas->mp_fScale + 0.5f);
  const f32 fY = pCanvas->mp_fTop + std::floor(static_cast<f32>(getParamInt(pData, 1)) * pCanvas->mp_fScale + 0.5f);
  // Screen pixels of pointer 0; the input layer turns them into the fractions the pointer tracker follows on
  // its next tick.
  KV_ASSERT_MSG(g_pInputHWToKv, "g_pInputHWToKv");
  g_pInputHWToKv->setPointerPosition(0, fX, fY);
}

void systemBecomeVisible(ClWidget* pThis, WidgetEventProcedureCall*) { pThis->setVisible(1); }

void systemBecomeVisibleAndChildren(ClWidget* pThis, WidgetEventProcedureCall*) {
  pThis->setVisible(1);
  for (u32 i = 0; i < pThis->mp_AllChildren.getSize(); ++i) {
    ClWidget* pChild = pThis->mp_AllChildren[i];
    if (!pChild->mp_bVisible) {
      pChild->mp_bVisible = 1;
      pChild->callEvent(gc_ON_BECOME_VISIBLE.mp_uiHash);
    }
  }
}

void systemSetVisible(ClWidget*, WidgetEventProcedureCall* pData) {
  ClWidget* pWid = requiredWidgetParam(pData);
  pWid->setVisible(static_cast<u32>(getParamInt(pData, 1)));
}

void systemSetVisibleAndOnAllChildren(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  pThis->setVisibleRecursively(static_cast<u32>(getParamInt(pData, 0)));
}

void systemSetVisibleRecursively(ClWidget*, WidgetEventProcedureCall* pData) {
  ClWidget* pWid = requiredWidgetParam(pData);
  pWid->setVisibleRecursively(static_cast<u32>(getParamInt(pData, 1)));
}

void systemPlayOneShotSound(ClWidget*, WidgetEventProcedureCall* pData) {
  checkParams(pData, 1);
  ClAudioManager::playCue(KvStrHash(getParamString(pData)));
}

void systemSetBuildNumberText(ClWidget*, WidgetEventProcedureCall* pData) {
  checkParams(pData, 1);
  if (ClWidget* pWidget = widgetParam(pData, 0)) {
    pWidget->setString(gc_DYNAMIC_TEXT.mp_uiHash, gc_pBUILD_NUMBER_TEXT);
  }
}

void registerSystemUIFunctions() {
  struct SEntry {
    const char* pName;
    WidgetEventProcedure pfnProcedure;
  };
  static constexpr SEntry s_aEntries[] = {
      {"systemIdle", systemIdle},
      {"systemSetGlobalValue", systemSetGlobalValue},
      {"systemSetLocalValue", systemSetLocalValue},
      {"systemForwardEvent", systemForwardEvent},
      {"systemForwardEventToParent", systemForwardEventToParent},
      {"systemDoDeferredEventCallSystemClock", systemDoDeferredEventCallSystemClock},
      {"systemDoDeferredEventCallGameplayClock", systemDoDeferredEventCallGameplayClock},
      {"systemCallEvent", systemCallEvent},
      {"systemImmediateTransitionIn", systemImmediateTransitionIn},
      {"systemImmediateTransitionOut", systemImmediateTransitionOut},
      {"systemChildrenTransitionIn", systemChildrenTransitionIn},
      {"systemChildrenTransitionOut", systemChildrenTransitionOut},
      {"systemSetTransitionDoneBasedOnChildren", systemSetTransitionDoneBasedOnChildren},
      {"systemSetTransitionDoneWhenInterpolationsAreDone", systemSetTransitionDoneWhenInterpolationsAreDone},
      {"systemSetTransitionDoneAndClickEventMaskAfterTimer", systemSetTransitionDoneAndClickEventMaskAfterTimer},
      {"systemSetPointerDisplay", systemSetPointerDisplay},
      {"systemSetFocus", systemSetFocus},
      {"systemGrabFullFocus", systemGrabFullFocus},
      {"systemSwitch", systemSwitch},
      {"systemSwitchKeepFocus", systemSwitchKeepFocus},
      {"systemSwitchIfNotTransitioning", systemSwitchIfNotTransitioning},
      {"systemSwitchToNextChild", systemSwitchToNextChild},
      {"systemSwitchToPrevChild", systemSwitchToPrevChild},
      {"systemSetFocusToSwitchedChild", systemSetFocusToSwitchedChild},
      {"systemSetFocusToParentIfInFocus", systemSetFocusToParentIfInFocus},
      {"systemResetPointerFocus", systemResetPointerFocus},
      {"systemSetWidgetAsPointerExclusive", systemSetWidgetAsPointerExclusive},
      {"systemRemovePointerExclusivity", systemRemovePointerExclusivity},
      {"systemClearPointerExclusive", systemRemovePointerExclusivity},
      {"systemAddWidgetToExclusiveClickableList", systemAddWidgetToExclusiveClickableList},
      {"systemClearExclusiveWidgetList", systemClearExclusiveWidgetList},
      {"systemSaveWhichLogicalPadIntoGlobalVariable", systemSaveWhichLogicalPadIntoGlobalVariable},
      {"systemLockPointer", systemLockPointer},
      {"systemUnlockPointer", systemUnlockPointer},
      {"systemMovePointer", systemMovePointer},
      {"systemBecomeVisible", systemBecomeVisible},
      {"systemBecomeVisibleAndChildren", systemBecomeVisibleAndChildren},
      {"systemSetVisible", systemSetVisible},
      {"systemSetVisibleAndOnAllChildren", systemSetVisibleAndOnAllChildren},
      {"systemSetVisibleRecursively", systemSetVisibleRecursively},
      {"systemPlayOneShotSound", systemPlayOneShotSound},
      {"systemSetBuildNumberText", systemSetBuildNumberText},
  };
  static_assert(sizeof(s_aEntries) / sizeof(s_aEntries[0]) == 42, "the system group registers 42 names");
  for (const SEntry& entry : s_aEntries) {
    ClUIEventSystemFunctions::registerFunction(KvStrHash(entry.pName), entry.pfnProcedure);
  }
}
