#include "Corvane/UI/COMMONUIFunctions.h"

#include <cstring>

#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"

namespace {

const SWidgetPropertyName gc_WIDGET_LAYOUT("widgetLayout");
const SWidgetPropertyName gc_TEXT_LAYOUT("textLayout");

void moveLayoutOffScreen(ClWidget* pWidget, const SWidgetPropertyName& name) {
  if (pWidget->findProperty(name.mp_uiHash) == nullptr) {
    return;
  }
  u8 aLayout[gc_iLAYOUT_SIZE];
  std::memcpy(aLayout, pWidget->getLayout(name), sizeof(aLayout));
  std::memcpy(aLayout + gc_iLAYOUT_X_WORD * 4, &gc_fOFF_SCREEN_OFFSET, sizeof(f32));
  std::memcpy(aLayout + gc_iLAYOUT_Y_WORD * 4, &gc_fOFF_SCREEN_OFFSET, sizeof(f32));
  pWidget->setLayout(name.mp_uiHash, aLayout);
}

}  // namespace

void reverseString(const char* pStr1, char* pStr2) {
  KV_ASSERT_MSG(pStr1, "pStr1");
  KV_ASSERT_MSG(pStr2, "pStr2");
  const size_t uiLength = std::strlen(pStr1);
  for (size_t i = 0; i < uiLength; ++i) {
    pStr2[i] = pStr1[uiLength - 1 - i];
  }
  pStr2[uiLength] = '\0';
}

void addThousandsSeparators(const char* pSource, char* pDest) {
  KV_ASSERT_MSG(pSource, "pSource");
  KV_ASSERT_MSG(pDest, "pDest");
  const size_t uiLength = std::strlen(pSource);
  const size_t uiSeparated = uiLength == 0 ? 0 : uiLength + (uiLength - 1) / 3;
  KV_ASSERT_MSG(uiSeparated < static_cast<size_t>(gc_iTHOUSANDS_WORK_LEN),
                "Thousands-separated number does not fit its work buffer!");
  // Grouping runs from the right: reverse, insert after every third digit, reverse back.
  char acReversed[gc_iTHOUSANDS_WORK_LEN];
  reverseString(pSource, acReversed);
  char acGrouped[gc_iTHOUSANDS_WORK_LEN];
  size_t uiOut = 0;
  for (size_t i = 0; i < uiLength; ++i) {
    acGrouped[uiOut++] = acReversed[i];
    if ((i + 1) % 3 == 0 && i + 1 < uiLength) {
      acGrouped[uiOut++] = ',';
    }
  }
  acGrouped[uiOut] = '\0';
  reverseString(acGrouped, pDest);
}

void moveWidgetOffScreen(ClWidget* pWidget) {
  KV_ASSERT_MSG(pWidget, "pWidget");
  moveLayoutOffScreen(pWidget, gc_WIDGET_LAYOUT);
  moveLayoutOffScreen(pWidget, gc_TEXT_LAYOUT);
  gridRemoveWidget(pWidget);
}

void resetAccept7Layout() { moveWidgetOffScreen(ClUI::getWidget("accept_7")); }
