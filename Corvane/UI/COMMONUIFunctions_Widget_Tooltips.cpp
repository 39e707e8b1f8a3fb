#include "Corvane/UI/COMMONUIFunctions_Widget_Tooltips.h"

#include <cstring>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const SWidgetPropertyName gc_ORIGINAL_TT_POS("originalTTPos");

}  // namespace

void positionTooltipAtPointer(ClWidget* pTooltip) {
  KV_ASSERT(pTooltip);
  u8 auiLayout[gc_iLAYOUT_SIZE];
  std::memcpy(auiLayout, pTooltip->getLayout(gc_WIDGET_LAYOUT), sizeof(auiLayout));
  if (pTooltip->findProperty(gc_ORIGINAL_TT_POS.mp_uiHash) == nullptr) {
    f32 afFirst[2];
    std::memcpy(&afFirst[0], auiLayout + gc_iLAYOUT_X_WORD * 4, sizeof(f32));
    std::memcpy(&afFirst[1], auiLayout + gc_iLAYOUT_Y_WORD * 4, sizeof(f32));
    pTooltip->setFloatXY(gc_ORIGINAL_TT_POS.mp_uiHash, afFirst);
  }
  const kv_vector2 vOriginal = pTooltip->getXY(gc_ORIGINAL_TT_POS.mp_pName);
  pTooltip->requireProperty(gc_CANVAS);
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(pTooltip->getID(gc_CANVAS));
  const f32 fPixelX = ClPointerTracker::m_afPosition[0] * ClGraphics::mp_fScreenWidth;
  const f32 fPixelY = ClPointerTracker::m_afPosition[1] * ClGraphics::mp_fScreenHeight;
  const f32 fX = vOriginal.x + (fPixelX - pCanvas->mp_fLeft) / pCanvas->mp_fScale;
  const f32 fY = vOriginal.y + (fPixelY - pCanvas->mp_fTop) / pCanvas->mp_fScale;
  std::memcpy(auiLayout + gc_iLAYOUT_X_WORD * 4, &fX, sizeof(f32));
  std::memcpy(auiLayout + gc_iLAYOUT_Y_WORD * 4, &fY, sizeof(f32));
  pTooltip->setLayout(gc_WIDGET_LAYOUT.mp_uiHash, auiLayout);
}
