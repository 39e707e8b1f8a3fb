// The engine's own event procedures that any UI data may call: values on the root widget or on the widget
// itself, forwarding and deferring the current event, the transition helpers, visibility, switching and focus,
// the pointer (shown, locked, moved, exclusive widget), one-shot sounds and the build number text.
//
// Each is a WidgetEventProcedure: pThis is the widget whose event runs, pData the call record (null when the
// procedure is an event's single procedure). Widgets named by an ID parameter are looked up by instance ID.
// A missing record, a wrong number or type of parameters and a missing widget stop the program (assertion or
// fatal error); nothing here recovers. Times are seconds; pointer positions given to systemMovePointer are
// canvas units of the widget's "canvas". Main thread, inside the UI's update and render.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

// The text systemSetBuildNumberText writes.
inline constexpr const char* gc_pBUILD_NUMBER_TEXT = "v1.0.4.534 [Steam]";

// Registers the 42 system procedure names with the procedure registry, in their fixed order.
void registerSystemUIFunctions();

void systemIdle(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetGlobalValue(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetLocalValue(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemForwardEvent(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemForwardEventToParent(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemDoDeferredEventCallSystemClock(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemDoDeferredEventCallGameplayClock(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemCallEvent(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemImmediateTransitionIn(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemImmediateTransitionOut(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemChildrenTransitionIn(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemChildrenTransitionOut(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetTransitionDoneBasedOnChildren(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetTransitionDoneWhenInterpolationsAreDone(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetTransitionDoneAndClickEventMaskAfterTimer(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetPointerDisplay(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetFocus(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemGrabFullFocus(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSwitch(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSwitchKeepFocus(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSwitchIfNotTransitioning(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSwitchToNextChild(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSwitchToPrevChild(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetFocusToSwitchedChild(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetFocusToParentIfInFocus(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemResetPointerFocus(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetWidgetAsPointerExclusive(ClWidget* pThis, WidgetEventProcedureCall* pData);
// Also registered as "systemClearPointerExclusive".
void systemRemovePointerExclusivity(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemAddWidgetToExclusiveClickableList(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemClearExclusiveWidgetList(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSaveWhichLogicalPadIntoGlobalVariable(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemLockPointer(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemUnlockPointer(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemMovePointer(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemBecomeVisible(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemBecomeVisibleAndChildren(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetVisible(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetVisibleAndOnAllChildren(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetVisibleRecursively(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemPlayOneShotSound(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemSetBuildNumberText(ClWidget* pThis, WidgetEventProcedureCall* pData);
