#include "Corvane/UI/COMMONUIFunctions.h"

#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

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

void releaseWidgetPointerDetector(ClWidget* pWidget) {
  const i32 iHandle = pWidget->getInt(gc_PTR_DETECTOR);
  if (iHandle == 0) {
    return;
  }
  if (SPointerDetector* pDetector = ClPointerTracker::detectorOfHandle(iHandle)) {
    ClPointerTracker::unregisterDetector(pDetector);
  }
  pWidget->setInt(gc_PTR_DETECTOR.mp_uiHash, 0);
}

void resetAccept7Layout() { moveWidgetOffScreen(ClUI::getWidget("accept_7")); }

namespace {

// What the fitting reads of a text widget: its font, point size, limits and text layout.
struct SFitLayout {
  STextElement mp_element;
  u32 mp_uiPointSize;
  f32 mp_fMaxWidth;
  f32 mp_fMaxHeight;
  SLayoutPlacement mp_at;
};

SFitLayout readFitLayout(const ClWidget* pWidget) {
  const SWidgetPropertyName* const apNames[] = {&gc_CANVAS,    &gc_FONT_NAME,   &gc_POINT_SIZE, &gc_MAX_HEIGHT,
                                                &gc_MAX_WIDTH, &gc_TEXT_LAYOUT, &gc_TEXT_ALIGN};
  const void* apValues[7];
  for (i32 i = 0; i < 7; ++i) apValues[i] = pWidget->requireProperty(*apNames[i])->mp_pData;
  KvTextAlignment(*static_cast<const u32*>(apValues[6]));  // "Unspecified text align!" unless L, R or C
  SFitLayout fit{};
  fit.mp_element.mp_uiCanvasHash = *static_cast<const u32*>(apValues[0]);
  fit.mp_element.mp_uiFontFamilyHash = *static_cast<const u32*>(apValues[1]);
  fit.mp_uiPointSize = static_cast<u32>(*static_cast<const i32*>(apValues[2]));
  fit.mp_fMaxHeight = *static_cast<const f32*>(apValues[3]);
  fit.mp_fMaxWidth = *static_cast<const f32*>(apValues[4]);
  fit.mp_at = KvLayoutPlacement(apValues[5]);
  return fit;
}

// The width in pixels of a text laid out on one line in the widget's font: wrapped at the widget's width, a text
// too wide for it would measure as its widest line and pass for fitting.
f32 laidOutWidth(const SFitLayout& fit, const wchar16* puiText) {
  f32 afRect[4] = {};
  ClUI::getTextElementRect(afRect, fit.mp_element, puiText, fit.mp_uiPointSize, fit.mp_at.mp_fX, fit.mp_at.mp_fY,
                           fit.mp_at.mp_uiScreenFlags, fit.mp_at.mp_uiAnchorFlags, 0.0f, fit.mp_fMaxHeight);
  return afRect[1] - afRect[0];
}

// Whether a cut before unit i would split a surrogate pair (a high surrogate at i - 1, a low one at i).
bool splitsCharacter(const wchar16* puiText, i32 i) {
  return i > 0 && puiText[i - 1] >= 0xD800 && puiText[i - 1] <= 0xDBFF && puiText[i] >= 0xDC00 &&
         puiText[i] <= 0xDFFF;
}

i32 unicodeLength(const wchar16* puiText) {
  i32 iLength = 0;
  while (puiText[iLength] != 0) ++iLength;
  return iLength;
}

constexpr wchar16 gc_auiELLIPSIS[] = {'.', '.', '.', 0};

}  // namespace

i32 findTextCutIndex(ClWidget* pWidget, const wchar16* puiString, f32 fWidthToFitArg) {
  KV_ASSERT(pWidget);
  KV_ASSERT(fWidthToFitArg > KV_ZERO);
  KV_ASSERT(puiString);
  const SFitLayout fit = readFitLayout(pWidget);
  const f32 fLimit = Cl2d::getCanvasByHash(fit.mp_element.mp_uiCanvasHash)->mp_fScale * fWidthToFitArg -
                     laidOutWidth(fit, gc_auiELLIPSIS);
  if (laidOutWidth(fit, puiString) <= fLimit) {
    return -1;
  }
  const i32 iOriginalStringLen = unicodeLength(puiString);
  auto* puiCopyOfString =
      static_cast<wchar16*>(KvAlignedAlloc(sizeof(wchar16) * static_cast<size_t>(iOriginalStringLen + 1)));
  KV_ASSERT(puiCopyOfString);
  i32 iLastStringIndexThatWorked = 0;
  for (i32 iCurrentStringIndex = iOriginalStringLen; iCurrentStringIndex >= 1; --iCurrentStringIndex) {
    KV_ASSERT(iCurrentStringIndex >= 0 && iLastStringIndexThatWorked < iOriginalStringLen);
    if (splitsCharacter(puiString, iCurrentStringIndex)) continue;
    for (i32 i = 0; i < iCurrentStringIndex; ++i) puiCopyOfString[i] = puiString[i];
    puiCopyOfString[iCurrentStringIndex] = 0;
    if (laidOutWidth(fit, puiCopyOfString) <= fLimit) {
      iLastStringIndexThatWorked = iCurrentStringIndex;
      break;
    }
  }
  KvAlignedFree(puiCopyOfString);
  return iLastStringIndexThatWorked;
}

void setFittedDynamicUnicodeText(ClWidget* pWidget, const wchar16* puiString, f32 fWidth) {
  const i32 iCut = findTextCutIndex(pWidget, puiString, fWidth);
  if (iCut < 0) {
    pWidget->setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, puiString);
    return;
  }
  const i32 iLength = unicodeLength(puiString);
  auto* puiNameToUse = static_cast<wchar16*>(KvAlignedAlloc(sizeof(wchar16) * static_cast<size_t>(iLength + 2 + 3)));
  KV_ASSERT(puiNameToUse);
  for (i32 i = 0; i < iCut; ++i) puiNameToUse[i] = puiString[i];
  for (i32 i = 0; i < 4; ++i) puiNameToUse[iCut + i] = gc_auiELLIPSIS[i];
  pWidget->setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, puiNameToUse);
  KvAlignedFree(puiNameToUse);
}
