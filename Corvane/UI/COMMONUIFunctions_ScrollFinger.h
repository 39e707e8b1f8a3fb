// The engine's event procedures that make a widget a drag-scrolled area (ClUI's scroll-area update does the
// scrolling): registering the area with its rectangle on screen and a pointer detector over it, unregistering the
// detector, and, before the area's children are drawn, a stencil quad over the area and a parent window moved by the
// scroll offset, so the children draw scrolled and only inside the area.
//
// Properties: ID "scrollAreaName" (the record an area keeps across registrations), ID "canvas", FLOAT
// "scrollAreaRenderYOffset" (the top margin), LAYOUT "scrollAreaLayout" (required), FLOATXY "scrollAreaSize" (canvas
// units, (0, 0) when missing), LAYOUT "movingWidgetLayoutForChildren" (written by the scroll update), ID
// "stencilShader", INT "stencilLayer" and INT "PtrDetector" (the detector's handle, ClPointerTracker::handleOf).
//
// Records live in a fixed table of gc_iMAX_SCROLL_FINGER_AREAS and never move, so a detector's owner stays valid
// whatever else registers; a record is in use while the UI's scroll update holds it (the UI lets go of the areas of
// a destroyed widget and of every area at terminate). Registering the same name again takes the same record back
// with its scroll state at rest; a full table is the fatal error "Scroll-finger areas exhausted". Registering a
// widget that still holds a detector unregisters that one first. Main thread.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;
struct SScrollFingerArea;

inline constexpr i32 gc_iMAX_SCROLL_FINGER_AREAS = 32;

// Registers the scroll-finger procedures with the procedure registry, in their fixed order.
void registerScrollFingerUIFunctions();

void systemRegisterScrollFingerArea(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemUnregisterScrollFingerArea(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemScrollFingerPushOnWindowStackForChildRender(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

// The registered record of an area name (the last one when several match), or null.
SScrollFingerArea* findScrollFingerArea(u32 uiAreaName);
