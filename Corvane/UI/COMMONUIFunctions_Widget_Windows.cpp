#include "Corvane/UI/COMMONUIFunctions_Widget_Windows.h"

#include <cmath>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const SWidgetPropertyName gc_SIZE("size");
const SWidgetPropertyName gc_USE_POINTER_INPUT("usePointerInput");
const u32 gc_uiON_WINDOW_POINTER_ENTER = KvStrHash("onWindowPointerEnter");
const u32 gc_uiON_WINDOW_POINTER_LEAVE = KvStrHash("onWindowPointerLeave");

// The window's box in pixels, its top-left corner on the canvas or the current parent window.
struct SWindowBox {
  f32 fX;
  f32 fY;
  f32 fWidth;
  f32 fHeight;
};

SWindowBox placeWindow(const ClWidget* pWidget, bool bRoundSize) {
  const u32 uiCanvasHash = pWidget->getID(gc_CANVAS);
  const f32 fScale = Cl2d::getCanvasByHash(uiCanvasHash)->mp_fScale;
  const kv_vector2 size = pWidget->getXY(gc_SIZE.mp_pName);
  SWindowBox box;
  box.fWidth = fScale * size.x;
  box.fHeight = fScale * size.y;
  if (bRoundSize) {
    box.fWidth = std::floor(box.fWidth + 0.5f);
    box.fHeight = std::floor(box.fHeight + 0.5f);
  }
  const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
  const kv_vector2 position = Cl2d::computePositionOnCanvas(uiCanvasHash, at.mp_fX * fScale, at.mp_fY * fScale,
                                                            box.fWidth, box.fHeight, at.mp_uiScreenFlags,
                                                            at.mp_uiAnchorFlags);
  box.fX = position.x;
  box.fY = position.y;
  return box;
}

}  // namespace

void systemWindowRegisterWithPointer(ClWidget* pWidget, WidgetEventProcedureCall*) {
  KV_ASSERT_MSG(pWidget, "pWidget");
  if (pWidget->getInt(gc_PTR_DETECTOR) != 0 || !pWidget->mp_bTransitionDone) {
    return;
  }
  pWidget->requireProperty(gc_CANVAS);
  // The detector keeps the unrounded box, in screen fractions.
  const SWindowBox box = placeWindow(pWidget, false);
  const f32 fScreenWidth = ClGraphics::mp_fScreenWidth;
  const f32 fScreenHeight = ClGraphics::mp_fScreenHeight;
  const f32 afMin[2] = {box.fX / fScreenWidth, box.fY / fScreenHeight};
  const f32 afMax[2] = {(box.fX + box.fWidth) / fScreenWidth, (box.fY + box.fHeight) / fScreenHeight};
  SPointerDetector* pDetector = ClPointerTracker::registerDetector(pWidget, afMin, afMax, E_POINTER_DETECTOR_WIDGET);
  pWidget->setInt(gc_PTR_DETECTOR.mp_uiHash, ClPointerTracker::handleOf(pDetector));
}

void systemWindowUnregisterWithPointer(ClWidget* pWidget, WidgetEventProcedureCall*) {
  releaseWidgetPointerDetector(pWidget);
}

void systemWindowRender(ClWidget* pWidget, WidgetEventProcedureCall* pCall) {
  if (pWidget->getInt(gc_USE_POINTER_INPUT) != 0) {
    systemWindowRegisterWithPointer(pWidget, pCall);
  }
  const SWindowBox box = placeWindow(pWidget, true);
  Cl2d::pushParentWindow({box.fX, box.fX + box.fWidth, box.fY, box.fY + box.fHeight});
}

void systemWindowGetPointer(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->callEvent(gc_uiON_WINDOW_POINTER_ENTER);
}

void systemWindowLosePointer(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->callEvent(gc_uiON_WINDOW_POINTER_LEAVE);
}

void registerWindowsUIFunctions() {
  struct SEntry {
    const char* pName;
    WidgetEventProcedure pfnProcedure;
  };
  static constexpr SEntry s_aEntries[] = {
      {"systemWindowRender", systemWindowRender},
      {"systemWindowGetPointer", systemWindowGetPointer},
      {"systemWindowLosePointer", systemWindowLosePointer},
      {"systemWindowRegisterWithPointer", systemWindowRegisterWithPointer},
      {"systemWindowUnregisterWithPointer", systemWindowUnregisterWithPointer},
  };
  for (const SEntry& entry : s_aEntries) {
    ClUIEventSystemFunctions::registerFunction(KvStrHash(entry.pName), entry.pfnProcedure);
  }
}
