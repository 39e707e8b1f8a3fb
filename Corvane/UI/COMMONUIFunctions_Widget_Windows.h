// The engine's event procedures of window widgets. A window is an invisible rectangle that groups its children:
// its render places the rectangle ("widgetLayout" and FLOATXY "size", canvas units of the ID "canvas") on the
// canvas, or inside the current parent window so that windows nest, and pushes it as the parent window; the
// widget render pops it after the children. A window may also register its rectangle with the pointer tracker
// once ("usePointerInput", or systemWindowRegisterWithPointer), keeping the detector's handle in INT
// "PtrDetector", and turns pointer enter and leave into its events "onWindowPointerEnter" and
// "onWindowPointerLeave".
//
// An unknown canvas and a full parent-window pool are fatal; a missing "canvas" at registration, a full detector
// pool and an inverted rectangle are assertions. Main thread, inside the UI's render.
#pragma once

class ClWidget;
struct WidgetEventProcedureCall;

// Registers the window procedures with the procedure registry, in their fixed order.
void registerWindowsUIFunctions();

void systemWindowRender(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemWindowGetPointer(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemWindowLosePointer(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// Once, and only after the widget's transition is done.
void systemWindowRegisterWithPointer(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// Removes the detector kept in "PtrDetector" and sets it to 0; nothing when there is none. Any widget with a
// detector handle may use it (it is the pointer unregistration of buttons too).
void systemWindowUnregisterWithPointer(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
