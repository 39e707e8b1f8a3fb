// Pad navigation across a grid widget: its descendants name their cell in the GRIDXY property "gridPos", and the
// grid widget keeps a table of up to 32 x 32 cells (SWidgetGrid, owned through mp_pWidgetGrid) that points at them.
// systemGridRegisterChildren builds the table; the four direction procedures, on the grid's "onLeft", "onRight",
// "onDown" and "onUp" events, move focus from the widget that forwarded the event (the bottom of the UI's
// event-forwarding stack) to the usable cell most nearly straight in that direction, or fire the grid's
// "onExitLeft" / "onExitRight" / "onExitDown" / "onExitUp" when there is none.
//
// A cell is usable when it holds a visible widget, not marked "gridDisabled", that is in the UI's exclusive list
// whenever that list is not empty. A move that lands plays the cue "UIMove" unless the call's parameter 0 is an
// INT or FLOAT of 0 or less. Coordinates outside 0..31 never index the table: a "gridPos" outside it stops the build,
// and an override or a start outside it counts as none. The table refers to widgets the tree owns; the UI clears
// the cells of a widget it destroys (ClUI::forgetWidget).
//
// Failures are assertions: a move on a widget without a table, a "gridPos" with x set and y -1 or outside the table,
// two widgets in one cell. Main thread, inside event dispatch.
#pragma once

class ClWidget;
struct WidgetEventProcedureCall;

// Registers the grid procedures with the procedure registry, in their fixed order.
void registerGridUIFunctions();

void systemGridRegisterChildren(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemGridHandleLeft(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemGridHandleRight(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemGridHandleDown(ClWidget* pThis, WidgetEventProcedureCall* pData);
void systemGridHandleUp(ClWidget* pThis, WidgetEventProcedureCall* pData);
// Parameter 0: ID, the instance ID of the widget to focus.
void systemSetFocusAndSnapPointer(ClWidget* pThis, WidgetEventProcedureCall* pData);

// Takes the widget and its descendants off their grids: each one with a "gridPos" leaves the cell it holds in the
// nearest ancestor with a table, and its "gridPos" becomes (-1, -1). Widths and heights stay.
void gridRemoveWidget(ClWidget* pWidget);
// Gives the widget focus for the pad whose focus entry already holds it, else for any pad (4). The pointer stays.
void setFocusAndSnapPointer(ClWidget* pWidget);
// The first descendant, depth first in child order, that is visible and has a "gridPos" with both coordinates 0 or
// more ("gridDisabled" and the exclusive list are not consulted); null when none.
ClWidget* gridFindFirstFocusable(ClWidget* pWidget);
