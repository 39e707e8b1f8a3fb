#include "Corvane/UI/COMMONUIFunctions_ScrollFinger.h"

#include <cmath>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const SWidgetPropertyName gc_SCROLL_AREA_NAME("scrollAreaName");
const SWidgetPropertyName gc_RENDER_Y_OFFSET("scrollAreaRenderYOffset");
const SWidgetPropertyName gc_SCROLL_AREA_SIZE("scrollAreaSize");
const SWidgetPropertyName gc_STENCIL_SHADER("stencilShader");
const SWidgetPropertyName gc_STENCIL_LAYER("stencilLayer");

SScrollFingerArea g_aAreas[gc_iMAX_SCROLL_FINGER_AREAS];

// Areas registered by other code (not from this table) are never taken over.
bool isTableArea(const SScrollFingerArea* pArea) {
  for (const SScrollFingerArea& area : g_aAreas) {
    if (&area == pArea) {
      return true;
    }
  }
  return false;
}

// A record the UI does not hold, for a new area.
SScrollFingerArea* takeFreeArea() {
  for (SScrollFingerArea& area : g_aAreas) {
    if (!ClUI::isScrollAreaRegistered(&area)) {
      return &area;
    }
  }
  KV_FATAL("Scroll-finger areas exhausted");
}

// The canvas, its scale and where a layout places a box of a given size, on the current parent window or on the
// canvas.
struct SAreaGeometry {
  const Cl2dCanvas* mp_pCanvas;
  f32 mp_fScale;
  SParentWindow mp_reference;
};

SAreaGeometry geometryOf(const ClWidget* pWidget) {
  SAreaGeometry geometry;
  geometry.mp_pCanvas = Cl2d::getCanvasByHash(pWidget->getID(gc_CANVAS));
  geometry.mp_fScale = geometry.mp_pCanvas->mp_fScale;
  geometry.mp_reference =
      Cl2d::mp_parentWindowStack.getCount() > 0 ? *Cl2d::getParentWindow() : geometry.mp_pCanvas->rect();
  return geometry;
}

kv_vector2 place(const SAreaGeometry& geometry, const void* pLayout, f32 fWidth, f32 fHeight) {
  const SLayoutPlacement at = KvLayoutPlacement(pLayout);
  return Cl2d::computePosition(geometry.mp_reference, at.mp_fX * geometry.mp_fScale, at.mp_fY * geometry.mp_fScale,
                               fWidth, fHeight, at.mp_uiScreenFlags, at.mp_uiAnchorFlags);
}


}  // namespace

SScrollFingerArea* findScrollFingerArea(u32 uiAreaName) {
  SScrollFingerArea* pFound = nullptr;
  for (i32 i = 0; ClUI::mp_daScrollAreas.isInitialized() && i < ClUI::mp_daScrollAreas.getCount(); ++i) {
    SScrollFingerArea* pArea = ClUI::mp_daScrollAreas[i];
    if (pArea->mp_uiAreaName == uiAreaName && isTableArea(pArea)) {
      pFound = pArea;
    }
  }
  return pFound;
}

void systemRegisterScrollFingerArea(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const u32 uiAreaName = pWidget->getID(gc_SCROLL_AREA_NAME);
  SScrollFingerArea* pArea = findScrollFingerArea(uiAreaName);
  if (pArea == nullptr) {
    pArea = takeFreeArea();
  }
  const SAreaGeometry geometry = geometryOf(pWidget);
  const kv_vector2 vSize = pWidget->getXY(gc_SCROLL_AREA_SIZE.mp_pName);
  const f32 fWidth = vSize.x * geometry.mp_fScale;
  const f32 fHeight = vSize.y * geometry.mp_fScale;
  const kv_vector2 vAt = place(geometry, pWidget->getLayout(gc_SCROLL_AREA_LAYOUT), fWidth, fHeight);

  *pArea = SScrollFingerArea{};
  pArea->mp_pAreaWidget = pWidget;
  pArea->mp_uiCanvasHash = pWidget->getID(gc_CANVAS);
  pArea->mp_uiAreaName = uiAreaName;
  pArea->mp_fTopMargin = pWidget->getFloat(gc_RENDER_Y_OFFSET);
  pArea->mp_fLeft = vAt.x;
  pArea->mp_fRight = vAt.x + fWidth;
  pArea->mp_fViewTop = vAt.y;
  pArea->mp_fViewBottom = vAt.y + fHeight;

  // A widget registered again without unregistering would otherwise leave its old detector in the pool.
  releaseWidgetPointerDetector(pWidget);
  const f32 afMin[2] = {vAt.x / ClGraphics::mp_fScreenWidth, vAt.y / ClGraphics::mp_fScreenHeight};
  const f32 afMax[2] = {(vAt.x + fWidth) / ClGraphics::mp_fScreenWidth,
                        (vAt.y + fHeight) / ClGraphics::mp_fScreenHeight};
  SPointerDetector* pDetector =
      ClPointerTracker::registerDetector(pArea, afMin, afMax, E_POINTER_DETECTOR_SCROLL_AREA);
  pWidget->setInt(gc_PTR_DETECTOR.mp_uiHash, ClPointerTracker::handleOf(pDetector));
  ClUI::registerScrollArea(pArea);
}

void systemUnregisterScrollFingerArea(ClWidget* pWidget, WidgetEventProcedureCall*) { releaseWidgetPointerDetector(pWidget); }

void systemScrollFingerPushOnWindowStackForChildRender(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const SAreaGeometry geometry = geometryOf(pWidget);
  const kv_vector2 vSize = pWidget->getXY(gc_SCROLL_AREA_SIZE.mp_pName);
  const f32 fWidth = std::floor(vSize.x * geometry.mp_fScale + 0.5f);
  const f32 fHeight = std::floor(vSize.y * geometry.mp_fScale + 0.5f);
  const kv_vector2 vAt = place(geometry, pWidget->getLayout(gc_SCROLL_AREA_LAYOUT), fWidth, fHeight);

  const SRenderSignature* pStencil = ClSignatureMgr::getSignatureByHashNoTex(pWidget->getID(gc_STENCIL_SHADER));
  Cl2d::addSprite(static_cast<u16>(pWidget->getInt(gc_STENCIL_LAYER)), pStencil, 0, vAt.x, vAt.y, fWidth, fHeight,
                  {0.0f, 0.0f}, {1.0f, 1.0f});
  g_kvClipRect = {vAt.x / ClGraphics::mp_fScreenWidth, (vAt.x + fWidth) / ClGraphics::mp_fScreenWidth,
                  vAt.y / ClGraphics::mp_fScreenHeight, (vAt.y + fHeight) / ClGraphics::mp_fScreenHeight};

  const kv_vector2 vChildren =
      place(geometry, pWidget->getLayout(gc_MOVING_WIDGET_LAYOUT_FOR_CHILDREN), fWidth, fHeight);
  Cl2d::pushParentWindow({vChildren.x, vChildren.x + fWidth, vChildren.y, vChildren.y + fHeight});
}

void registerScrollFingerUIFunctions() {
  static constexpr ClUIEventSystemFunctions::SNamedProcedure s_aProcedures[] = {
      {"systemScrollFingerRender", systemEmptyProcedure},
      {"systemRegisterScrollFingerArea", systemRegisterScrollFingerArea},
      {"systemUnregisterScrollFingerArea", systemUnregisterScrollFingerArea},
      {"systemScrollFingerPushOnWindowStackForChildRender", systemScrollFingerPushOnWindowStackForChildRender},
      {"systemScrollFingerTransitionIn", systemEmptyProcedure},
      {"systemScrollFingerTransitionOut", systemEmptyProcedure},
  };
  ClUIEventSystemFunctions::registerFunctions(s_aProcedures);
}
