#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const SWidgetPropertyName gc_SHADER("shader");
const SWidgetPropertyName gc_SHADOW_OFFSET("shadowOffset");
const SWidgetPropertyName gc_SHADOW_COLOR("shadowColor");
const SWidgetPropertyName gc_TRANSITION_IN_TIME("textTransitionInTime");
const SWidgetPropertyName gc_TRANSITION_OUT_TIME("textTransitionOutTime");

constexpr i32 gc_iMAX_DYNAMIC_UNICODE_TEXT = 256;

void playColor(ClWidget* pWidget, u32 uiStartColor, u32 uiEndColor, f32 fDuration, bool bFromCurrent) {
  SAnimatorParams params{};
  params.mp_iKind = gc_iANIM_PLAY_ONCE;
  params.mp_iMethod = gc_iANIM_EASE_LINEAR;
  params.mp_uiStartColor = uiStartColor;
  params.mp_uiEndColor = uiEndColor;
  params.mp_fDuration = fDuration;
  params.mp_bFromCurrent = bFromCurrent ? 1 : 0;
  pWidget->mp_aColorAnimators[0].play(params);
}

constexpr u32 gc_uiRGB_MASK = 0x00FFFFFFu;

}  // namespace

u32 KvTextAlignment(u32 uiAlignHash) {
  if (uiAlignHash == gc_uiTEXT_ALIGN_LEFT_HASH) return gc_uiTEXT_ALIGN_LEFT;
  if (uiAlignHash == gc_uiTEXT_ALIGN_CENTRE_HASH) return gc_uiTEXT_ALIGN_CENTRE;
  if (uiAlignHash == gc_uiTEXT_ALIGN_RIGHT_HASH) return gc_uiTEXT_ALIGN_RIGHT;
  KV_FATAL("Unspecified text align!");
  return gc_uiTEXT_ALIGN_LEFT;
}

SWidgetTextSource KvWidgetTextSource(const ClWidget* pWidget) {
  SWidgetTextSource source{};
  if (const WidgetProperty* pProp = pWidget->findProperty(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash)) {
    source.mp_puiUnicode = static_cast<const wchar16*>(pProp->mp_pData);
    // A UTF-16 text shows: the others are not looked at (until a setter changes it).
    if (source.mp_puiUnicode[0] != 0) return source;
  }
  if (pWidget->hasString(gc_DYNAMIC_TEXT)) {
    source.mp_pAscii = pWidget->getString(gc_DYNAMIC_TEXT);
  }
  source.mp_uiLocalizedKey = pWidget->getID(gc_LOCALIZED_ID);
  return source;
}

const wchar16* KvWidgetTextFrom(const SWidgetTextSource& crSource, wchar16* pBuffer, i32 iMaxDynamicText) {
  if (const wchar16* puiText = crSource.mp_puiUnicode; puiText != nullptr && puiText[0] != 0) {
    i32 iLength = 0;
    while (iLength < gc_iMAX_DYNAMIC_UNICODE_TEXT && puiText[iLength] != 0) ++iLength;
    KV_ASSERT_MSG(iLength < gc_iMAX_DYNAMIC_UNICODE_TEXT, "UI [dynamicUnicodeText] length too long!");
    return puiText;
  }
  if (const char* pText = crSource.mp_pAscii; pText != nullptr && pText[0] != '\0') {
    i32 iLength = 0;
    while (iLength < iMaxDynamicText && pText[iLength] != '\0') ++iLength;
    KV_ASSERTF(iLength < iMaxDynamicText, "KvStrLen(pThis->getString(\"dynamicText\")) < %d", iMaxDynamicText);
    if (iLength >= iMaxDynamicText) iLength = iMaxDynamicText - 1;
    for (i32 i = 0; i < iLength; ++i) pBuffer[i] = static_cast<u8>(pText[i]);
    pBuffer[iLength] = 0;
    return pBuffer;
  }
  if (crSource.mp_uiLocalizedKey != 0) {
    const wchar16* puiString = KvLangID::findStringByHash(crSource.mp_uiLocalizedKey);
    KV_ASSERT_MSG(puiString != nullptr, "puiString");
    return puiString;
  }
  return nullptr;
}

const wchar16* KvWidgetText(const ClWidget* pWidget, wchar16* pBuffer, i32 iMaxDynamicText) {
  return KvWidgetTextFrom(KvWidgetTextSource(pWidget), pBuffer, iMaxDynamicText);
}

STextWidgetDraw KvReadTextWidgetDraw(const ClWidget* pWidget, const SWidgetPropertyName* pExtra) {
  const auto value = [pWidget](const SWidgetPropertyName& name) -> const void* {
    return pWidget->requireProperty(name)->mp_pData;
  };
  STextWidgetDraw draw{};
  draw.mp_element.mp_uiCanvasHash = *static_cast<const u32*>(value(gc_CANVAS));
  draw.mp_args.mp_uiShaderHash = *static_cast<const u32*>(value(gc_SHADER));
  draw.mp_element.mp_uiNameHash = draw.mp_args.mp_uiShaderHash;
  draw.mp_args.mp_uLayer = static_cast<u16>(*static_cast<const i32*>(value(gc_TEXT_LAYER)));
  draw.mp_element.mp_uiFontFamilyHash = *static_cast<const u32*>(value(gc_FONT_NAME));
  draw.mp_uiPointSize = static_cast<u32>(*static_cast<const i32*>(value(gc_POINT_SIZE)));
  draw.mp_fMaxHeight = *static_cast<const f32*>(value(gc_MAX_HEIGHT));
  if (pExtra != nullptr) pWidget->requireProperty(*pExtra);
  draw.mp_fMaxWidth = *static_cast<const f32*>(value(gc_MAX_WIDTH));
  const SLayoutPlacement at = KvLayoutPlacement(value(gc_TEXT_LAYOUT));
  draw.mp_args.mp_uiAlignment = KvTextAlignment(*static_cast<const u32*>(value(gc_TEXT_ALIGN)));
  value(gc_TEXT_COLOR);
  draw.mp_args.mp_uiScreenFlags = at.mp_uiScreenFlags;
  draw.mp_args.mp_uiAnchorFlags = at.mp_uiAnchorFlags;
  draw.mp_afPosition[0] = at.mp_fX;
  draw.mp_afPosition[1] = at.mp_fY;
  draw.mp_args.mp_uiColor = pWidget->mp_aColorAnimators[0].mp_uiCurrentColor;
  if (const WidgetProperty* pShadow = pWidget->findProperty(gc_SHADOW_OFFSET.mp_uiHash)) {
    const auto* pfOffset = static_cast<const f32*>(pShadow->mp_pData);
    draw.mp_args.mp_afShadowOffset[0] = pfOffset[0];
    draw.mp_args.mp_afShadowOffset[1] = pfOffset[1];
    if (pfOffset[0] != 0.0f || pfOffset[1] != 0.0f) {
      draw.mp_args.mp_uiShadowColor = static_cast<u32>(pWidget->getInt(gc_SHADOW_COLOR));
    }
  }
  if (pWidget->hasString(gc_TEXTURE_NAME_2)) {
    draw.mp_args.mp_uiSecondaryTextureHash = KvStrHash(pWidget->getString(gc_TEXTURE_NAME_2));
  }
  return draw;
}

void KvSeedTextColor(ClWidget* pWidget) {
  SAnimatorParams params{};
  params.mp_iKind = gc_iANIM_PLAY_SET;
  params.mp_uiEndColor = static_cast<u32>(pWidget->getInt(gc_TEXT_COLOR));
  pWidget->mp_aColorAnimators[0].play(params);
}

namespace {

// The tag of the text render's records: what KvReadTextWidgetDraw read, kept in the widget's frame cache
// (ClWidget::frameRecord) while the properties stay as they were, with the text's sources. The text itself is taken
// from them every frame (a localized string follows the language).
const char gc_cTEXT_RECORD_TAG = 0;
struct STextFrameRecord {
  STextWidgetDraw draw;
  SWidgetTextSource source;
};

}  // namespace

void systemTextRender(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const STextFrameRecord* pKept = pWidget->frameRecord<STextFrameRecord>(&gc_cTEXT_RECORD_TAG);
  if (pKept == nullptr) {
    STextFrameRecord record{};
    record.draw = KvReadTextWidgetDraw(pWidget);
    record.source = KvWidgetTextSource(pWidget);
    pWidget->setFrameRecord(&gc_cTEXT_RECORD_TAG, record);
    pKept = pWidget->frameRecord<STextFrameRecord>(&gc_cTEXT_RECORD_TAG);
  }
  STextWidgetDraw draw = pKept->draw;
  draw.mp_args.mp_uiColor = pWidget->mp_aColorAnimators[0].mp_uiCurrentColor;
  wchar16 auiWidened[KV_MAX_PATH_LEN];
  const wchar16* puiText = KvWidgetTextFrom(pKept->source, auiWidened, KV_MAX_PATH_LEN);
  if (puiText == nullptr) return;
  // A widget with children places them inside the rectangle its text covers.
  f32 afRect[4] = {};
  f32* pOutRect = pWidget->mp_AllChildren.getSize() > 0 ? afRect : nullptr;
  ClUI::renderTextElement(draw.mp_element, puiText, draw.mp_uiPointSize, draw.mp_args, true, draw.mp_fMaxWidth,
                          draw.mp_fMaxHeight, draw.mp_afPosition, pOutRect, &pWidget->mp_pTextLayoutCache);
  if (pOutRect != nullptr) {
    Cl2d::pushParentWindow({afRect[0], afRect[1], afRect[2], afRect[3]});
  }
}

void systemTextLoad(ClWidget* pWidget, WidgetEventProcedureCall*) { KvSeedTextColor(pWidget); }

void systemTextTransitionInFromAlpha(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->mp_bTransitionDone = 0;
  pWidget->mp_bTransitioningOut = 0;
  const u32 uiColor = static_cast<u32>(pWidget->getInt(gc_TEXT_COLOR));
  playColor(pWidget, uiColor & gc_uiRGB_MASK, uiColor, pWidget->getFloat(gc_TRANSITION_IN_TIME), false);
}

void systemTextTransitionOutToAlpha(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->mp_bTransitionDone = 0;
  pWidget->mp_bTransitioningOut = 1;
  const u32 uiColor = pWidget->mp_aColorAnimators[0].mp_uiCurrentColor;
  playColor(pWidget, uiColor, uiColor & gc_uiRGB_MASK, pWidget->getFloat(gc_TRANSITION_OUT_TIME), true);
}

void registerTextUIFunctions() {
  struct SEntry {
    const char* pName;
    WidgetEventProcedure pfnProcedure;
  };
  // "systemTextPulse" is the image widgets' pulse under a second name.
  static constexpr SEntry s_aEntries[] = {
      {"systemTextRender", systemTextRender},
      {"systemTextLoad", systemTextLoad},
      {"systemTextPulse", systemImagePulse},
      {"systemTextTransitionInFromAlpha", systemTextTransitionInFromAlpha},
      {"systemTextTransitionOutToAlpha", systemTextTransitionOutToAlpha},
  };
  for (const SEntry& entry : s_aEntries) {
    ClUIEventSystemFunctions::registerFunction(KvStrHash(entry.pName), entry.pfnProcedure);
  }
}
