#include "Corvane/UI/COMMONUIFunctions_Widget_Tooltips.h"

#include <cstring>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"

namespace {

const SWidgetPropertyName gc_WIDGET_LAYOUT("widgetLayout");
const SWidgetPropertyName gc_ORIGINAL_TT_POS("originalTTPos");
const SWidgetPropertyName gc_CANVAS("canvas");

}  // namespace

void positionTooltipAtPointer(ClWidget* pTooltip) {
  KV_ASSERT(pTooltip);
  u8 auiLayout[gc_iLAYOUT_SIZE];
  std::memcpy(auiLayout, pTooltip->getLayout(gc_WIDGET_LAYOUT), sizeof(auiLayout));
  f32* pfX = reinterpret_cast<f32*>(auiLayout + gc_iLAYOUT_X_WORD * 4);
  f32* pfY = reinterpret_cast<f32*>(auiLayout + gc_iLAYOUT_Y_WORD * 4);
  if (pTooltip->findProperty(gc_ORIGINAL_TT_POS.mp_uiHash) == nullptr) {
    const f32 afFirst[2] = {*pfX, *pfY};
    pTooltip->setFloatXY(gc_ORIGINAL_TT_POS.mp_uiHash, afFirst);
  }
  const kv_vector2 vOriginal = pTooltip->getXY(gc_ORIGINAL_TT_POS.mp_pName);
  pTooltip->requireProperty(gc_CANVAS);
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(pTooltip->getID(gc_CANVAS));
  const f32 fPixelX = ClPointerTracker::m_afPosition[0] * ClGraphics::mp_fScreenWidth;
  const f32 fPixelY = ClPointerTracker::m_afPosition[1] * ClGraphics::mp_fScreenHeight;
  *pfX = vOriginal.x + (fPixelX - pCanvas->mp_fLeft) / pCanvas->mp_fScale;
  *pfY = vOriginal.y + (fPixelY - pCanvas->mp_fTop) / pCanvas->mp_fScale;
  pTooltip->setLayout(gc_WIDGET_LAYOUT.mp_uiHash, auiLayout);
}
