#include "Corvane/UI/COMMONUIFunctions_Widget_Buttons.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Windows.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

// The properties of one look.
struct SButtonLook {
  SWidgetPropertyName mp_texture;
  SWidgetPropertyName mp_textureShader;
  SWidgetPropertyName mp_textShader;
  SWidgetPropertyName mp_textureColor;
  SWidgetPropertyName mp_textColor;
};

SButtonLook makeLook(const char* pTexture, const char* pTextureShader, const char* pTextShader,
                     const char* pTextureColor, const char* pTextColor) {
  return {SWidgetPropertyName(pTexture), SWidgetPropertyName(pTextureShader), SWidgetPropertyName(pTextShader),
          SWidgetPropertyName(pTextureColor), SWidgetPropertyName(pTextColor)};
}

const SButtonLook gc_LOOK_OFF = makeLook("textureName_off", "textureShader_off", "textShader_off",
                                         "textureColor_off", "textColor_off");
const SButtonLook gc_LOOK_ON =
    makeLook("textureName_on", "textureShader_on", "textShader_on", "textureColor_on", "textColor_on");
const SButtonLook gc_LOOK_ROLLOVER = makeLook("textureName_rollover", "textureShader_rollover",
                                              "textShader_rollover", "textureColor_rollover", "textColor_rollover");
const SButtonLook gc_LOOK_ROLLOVER_ON =
    makeLook("textureName_rollover_on", "textureShader_rollover_on", "textShader_rollover_on",
             "textureColor_rollover_on", "textColor_rollover_on");

const SWidgetPropertyName gc_IS_ON("isOn");
const SWidgetPropertyName gc_TEXTURE_LAYER("textureLayer");
const SWidgetPropertyName gc_TEXTURE_LAYER_ROLLOVER("textureLayer_rollover");
const SWidgetPropertyName gc_TEXT_LAYER_ROLLOVER("textLayer_rollover");
const SWidgetPropertyName gc_TEXTURE_COLOR_DISABLED("textureColor_disabled");
const SWidgetPropertyName gc_TEXT_COLOR_DISABLED("textColor_disabled");
const SWidgetPropertyName gc_TRANSITION_IN_TIME("buttonTransitionInTime");
const SWidgetPropertyName gc_TRANSITION_OUT_TIME("buttonTransitionOutTime");
const SWidgetPropertyName gc_ROLLOVER_IN_TIME("buttonRolloverInTime");
const SWidgetPropertyName gc_ROLLOVER_OUT_TIME("buttonRolloverOutTime");
const SWidgetPropertyName gc_TIME_UNTIL_FIRST_HELD("timeUntilFirstHeldEvent");
const SWidgetPropertyName gc_TIME_UNTIL_NEXT_HELD("timeUntilNextHeldEvents");
const SWidgetPropertyName gc_TIME_UNTIL_HELD_EVENT("TimeUntilButtonHeldEvent");
const SWidgetPropertyName gc_BUTTON_HELD("ButtonHeld");
const u32 gc_uiON_HELD_BUTTON_EVENT = KvStrHash("onHeldButtonEvent");

// The alpha byte of a D3DCOLOR, and the rest.
constexpr u32 gc_uiRGB_MASK = 0x00FFFFFFu;
// A click may switch once the timer has counted this far below zero after the fade in.
constexpr f32 gc_fCLICK_SWITCH_SETTLE = -0.5f;

ClAnimator<ClColor>& imageColor(ClWidget* pWidget) { return pWidget->mp_aColorAnimators[0]; }
ClAnimator<ClColor>& textColor(ClWidget* pWidget) { return pWidget->mp_aColorAnimators[1]; }

u32 colorOf(const ClWidget* pWidget, const SWidgetPropertyName& name) {
  return static_cast<u32>(pWidget->getInt(name));
}

const SButtonLook& normalLook(const ClWidget* pWidget) {
  return pWidget->getInt(gc_IS_ON) != 0 ? gc_LOOK_ON : gc_LOOK_OFF;
}

const SButtonLook& rolloverLook(const ClWidget* pWidget) {
  return pWidget->getInt(gc_IS_ON) != 0 ? gc_LOOK_ROLLOVER_ON : gc_LOOK_ROLLOVER;
}

// The look's image and shader become current when it names an image; bTextureFirst gives the order of the writes.
bool applyImagePart(ClWidget* pWidget, const SButtonLook& look, bool bTextureFirst) {
  if (!pWidget->hasString(look.mp_texture)) {
    return false;
  }
  const char* pTexture = pWidget->getString(look.mp_texture);
  if (bTextureFirst) {
    pWidget->setString(gc_CUR_TEXTURE.mp_uiHash, pTexture);
  }
  pWidget->setString(gc_CUR_SHADER.mp_uiHash, pWidget->getString(look.mp_textureShader));
  if (!bTextureFirst) {
    pWidget->setString(gc_CUR_TEXTURE.mp_uiHash, pTexture);
  }
  return true;
}

void applyTextPart(ClWidget* pWidget, const SButtonLook& look) {
  pWidget->setString(gc_CUR_TEXT_SHADER.mp_uiHash, pWidget->getString(look.mp_textShader));
}

// A linear once-play over fDuration seconds, from the colour shown now or from uiStartColor.
void fadeColor(ClAnimator<ClColor>& animator, u32 uiStartColor, u32 uiEndColor, f32 fDuration, bool bFromCurrent) {
  SAnimatorParams request{};
  request.mp_iKind = gc_iANIM_PLAY_ONCE;
  request.mp_iMethod = gc_iANIM_EASE_LINEAR;
  request.mp_uiStartColor = uiStartColor;
  request.mp_uiEndColor = uiEndColor;
  request.mp_fDuration = fDuration;
  request.mp_bFromCurrent = bFromCurrent ? 1 : 0;
  animator.play(request);
}

void setNormalLayers(ClWidget* pWidget) {
  pWidget->setInt(gc_CUR_TEXTURE_LAYER.mp_uiHash, pWidget->getInt(gc_TEXTURE_LAYER));
  pWidget->setInt(gc_CUR_TEXT_LAYER.mp_uiHash, pWidget->getInt(gc_TEXT_LAYER));
}

void loadButton(ClWidget* pWidget, bool bLocalized) {
  pWidget->mp_bTransitionDone = 1;
  if (pWidget->hasString(gc_LOOK_OFF.mp_texture)) {
    if (!bLocalized) {
      applyImagePart(pWidget, gc_LOOK_OFF, false);
    }
    ClUI::queueDeferredUITexture(pWidget->getString(gc_LOOK_OFF.mp_texture), bLocalized);
  }
  if (pWidget->hasString(gc_LOOK_ROLLOVER.mp_texture)) {
    ClUI::queueDeferredUITexture(pWidget->getString(gc_LOOK_ROLLOVER.mp_texture), bLocalized);
  }
  if (!bLocalized) {
    applyTextPart(pWidget, gc_LOOK_OFF);
  }
  KvSetColorAtOnce(imageColor(pWidget), colorOf(pWidget, gc_LOOK_OFF.mp_textureColor));
  KvSetColorAtOnce(textColor(pWidget), colorOf(pWidget, gc_LOOK_OFF.mp_textColor));
  setNormalLayers(pWidget);
}

// A fade starts: no click and no back until the system procedures see "transitionTimer" run out.
void startFade(ClWidget* pWidget, u32 bOut, f32 fSeconds) {
  pWidget->mp_bTransitionDone = 0;
  pWidget->mp_bTransitioningOut = bOut;
  pWidget->setFloat(gc_TRANSITION_TIMER.mp_uiHash, fSeconds);
  pWidget->mp_uiInputMask &= ~(gc_uiINPUT_CLICK | gc_uiINPUT_BACK);
}

}  // namespace

void KvSetColorAtOnce(ClAnimator<ClColor>& animator, u32 uiColor) {
  animator.mp_params.mp_iKind = gc_iANIM_PLAY_SET;
  animator.mp_params.mp_uiEndColor = uiColor;
  animator.mp_uiCurrentColor = uiColor;
  animator.mp_end = ClColor::fromARGB(uiColor);
}

void KvRetargetColor(ClAnimator<ClColor>& animator, u32 uiColor) {
  if (!animator.mp_bActive) {
    KvSetColorAtOnce(animator, uiColor);
    return;
  }
  SAnimatorParams request{};
  request.mp_iKind = gc_iANIM_PLAY_ONCE;
  request.mp_iMethod = animator.mp_params.mp_iMethod;
  request.mp_uiEndColor = uiColor;
  request.mp_fHeadStart = animator.mp_fCurrentTime;
  request.mp_fDuration = animator.mp_params.mp_fDuration;
  request.mp_bFromCurrent = 1;
  animator.play(request);
}

void systemButtonLoad(ClWidget* pWidget, WidgetEventProcedureCall*) { loadButton(pWidget, false); }

void systemButtonLocalizedLoad(ClWidget* pWidget, WidgetEventProcedureCall*) { loadButton(pWidget, true); }

void systemButtonTransitionInFromAlpha(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const f32 fSeconds = pWidget->getFloat(gc_TRANSITION_IN_TIME);
  startFade(pWidget, 0, fSeconds);
  const SButtonLook& look = normalLook(pWidget);
  if (applyImagePart(pWidget, look, false)) {
    const u32 uiColor = colorOf(pWidget, look.mp_textureColor);
    fadeColor(imageColor(pWidget), uiColor & gc_uiRGB_MASK, uiColor, fSeconds, false);
  }
  applyTextPart(pWidget, look);
  const u32 uiText = colorOf(pWidget, look.mp_textColor);
  fadeColor(textColor(pWidget), uiText & gc_uiRGB_MASK, uiText, fSeconds, false);
}

void systemButtonImmediateTransitionIn(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->mp_bTransitionDone = 1;
  pWidget->mp_bTransitioningOut = 0;
  const SButtonLook& look = normalLook(pWidget);
  if (applyImagePart(pWidget, look, false)) {
    KvSetColorAtOnce(imageColor(pWidget), colorOf(pWidget, look.mp_textureColor));
  }
  applyTextPart(pWidget, look);
  KvSetColorAtOnce(textColor(pWidget), colorOf(pWidget, look.mp_textColor));
}

void systemButtonTransitionOutToAlpha(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const f32 fSeconds = pWidget->getFloat(gc_TRANSITION_OUT_TIME);
  startFade(pWidget, 1, fSeconds);
  for (ClAnimator<ClColor>& animator : pWidget->mp_aColorAnimators) {
    fadeColor(animator, 0, animator.mp_uiCurrentColor & gc_uiRGB_MASK, fSeconds, true);
  }
}

void systemButtonImmediateTransitionOut(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->mp_bTransitionDone = 1;
  pWidget->mp_bTransitioningOut = 1;
  for (ClAnimator<ClColor>& animator : pWidget->mp_aColorAnimators) {
    KvSetColorAtOnce(animator, animator.mp_uiCurrentColor & gc_uiRGB_MASK);
  }
  if (pWidget->mp_bVisible) {
    pWidget->setVisible(0);
  }
  pWidget->callEventOnChildren("onTransitionOut");
}

void systemButtonGetFocus(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (const WidgetProperty* pLayer = pWidget->findProperty(gc_TEXTURE_LAYER_ROLLOVER.mp_uiHash)) {
    pWidget->setInt(gc_CUR_TEXTURE_LAYER.mp_uiHash, *static_cast<const i32*>(pLayer->mp_pData));
  }
  if (const WidgetProperty* pLayer = pWidget->findProperty(gc_TEXT_LAYER_ROLLOVER.mp_uiHash)) {
    pWidget->setInt(gc_CUR_TEXT_LAYER.mp_uiHash, *static_cast<const i32*>(pLayer->mp_pData));
  }
  const SButtonLook& look = rolloverLook(pWidget);
  applyImagePart(pWidget, look, true);
  applyTextPart(pWidget, look);
  const u32 uiImage = colorOf(pWidget, look.mp_textureColor);
  const u32 uiText = colorOf(pWidget, look.mp_textColor);
  if (!pWidget->mp_bTransitionDone) {
    KvRetargetColor(imageColor(pWidget), uiImage);
    KvRetargetColor(textColor(pWidget), uiText);
    return;
  }
  const f32 fSeconds = pWidget->getFloat(gc_ROLLOVER_IN_TIME);
  fadeColor(imageColor(pWidget), 0, uiImage, fSeconds, true);
  fadeColor(textColor(pWidget), 0, uiText, fSeconds, true);
}

void systemButtonLoseFocus(ClWidget* pWidget, WidgetEventProcedureCall*) {
  setNormalLayers(pWidget);
  const SButtonLook& look = normalLook(pWidget);
  const u32 uiImage = colorOf(pWidget, look.mp_textureColor);
  const u32 uiText = colorOf(pWidget, look.mp_textColor);
  if (!pWidget->mp_bTransitionDone) {
    KvRetargetColor(imageColor(pWidget), uiImage);
    KvRetargetColor(textColor(pWidget), uiText);
  } else {
    const f32 fSeconds = pWidget->getFloat(gc_ROLLOVER_OUT_TIME);
    fadeColor(imageColor(pWidget), 0, uiImage, fSeconds, true);
    fadeColor(textColor(pWidget), 0, uiText, fSeconds, true);
  }
  applyImagePart(pWidget, look, true);
  applyTextPart(pWidget, look);
}

void systemButtonClickSwitch(ClWidget* pWidget, WidgetEventProcedureCall* pData) {
  if (pWidget->findProperty(gc_TRANSITION_TIMER.mp_uiHash) == nullptr ||
      pWidget->getFloat(gc_TRANSITION_TIMER) > gc_fCLICK_SWITCH_SETTLE) {
    return;
  }
  KV_ASSERT_MSG(pData != nullptr, "pData");
  KV_ASSERT_MSG(pData != nullptr && pData->mp_iNumberWidgetEventProcedureCallDatas == 2,
                "pData->mp_iNumberWidgetEventProcedureCallDatas==2");
  if (pData == nullptr || pData->mp_iNumberWidgetEventProcedureCallDatas != 2) {
    return;
  }
  ClWidget* pSwitcher = ClUI::findWidget(getParamID(pData, 0));
  KV_ASSERT_MSG(pSwitcher != nullptr, "pSwitcher");
  ClWidget* pTarget = ClUI::findWidget(getParamID(pData, 1));
  KV_ASSERT_MSG(pTarget != nullptr, "pTarget");
  if (pSwitcher != nullptr && pTarget != nullptr) {
    pSwitcher->switchTo(pTarget);
  }
}

void disableButton(ClWidget* pWidget) {
  buttonUnregisterWithPointer(pWidget);
  pWidget->setBool(gc_DISABLED.mp_uiHash, 1);
  pWidget->setBool(gc_GRID_DISABLED.mp_uiHash, 1);
  if (pWidget->findProperty(gc_TEXT_COLOR_DISABLED.mp_uiHash) != nullptr) {
    KvSetColorAtOnce(textColor(pWidget), colorOf(pWidget, gc_TEXT_COLOR_DISABLED));
  }
  if (pWidget->findProperty(gc_TEXTURE_COLOR_DISABLED.mp_uiHash) != nullptr) {
    KvSetColorAtOnce(imageColor(pWidget), colorOf(pWidget, gc_TEXTURE_COLOR_DISABLED));
  }
}

void systemDisableButton(ClWidget*, WidgetEventProcedureCall* pData) {
  KV_ASSERT_MSG(pData != nullptr, "pData");
  KV_ASSERT_MSG(pData != nullptr && pData->mp_iNumberWidgetEventProcedureCallDatas == 1,
                "pData->mp_iNumberWidgetEventProcedureCallDatas == 1");
  if (pData == nullptr || pData->mp_iNumberWidgetEventProcedureCallDatas != 1) {
    return;
  }
  if (ClWidget* pButton = ClUI::getWidget(getParamString(pData))) {
    disableButton(pButton);
  }
}

void systemButtonStartHeldEventTimer(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const WidgetProperty* pFirst = pWidget->requireProperty(gc_TIME_UNTIL_FIRST_HELD);
  pWidget->setFloat(gc_TIME_UNTIL_HELD_EVENT.mp_uiHash, *static_cast<const f32*>(pFirst->mp_pData));
  pWidget->setBool(gc_BUTTON_HELD.mp_uiHash, 1);
}

void systemButtonTickHeldEvent(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (pWidget->getInt(gc_BUTTON_HELD) == 0) {
    return;
  }
  if (!pWidget->mp_bVisible) {
    pWidget->setBool(gc_BUTTON_HELD.mp_uiHash, 0);
    return;
  }
  const WidgetProperty* pLeft = pWidget->requireProperty(gc_TIME_UNTIL_HELD_EVENT);
  f32 fLeft = *static_cast<const f32*>(pLeft->mp_pData) -
              ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
  if (fLeft < KV_ZERO) {
    pWidget->callEvent(gc_uiON_HELD_BUTTON_EVENT);
    fLeft = pWidget->getFloat(gc_TIME_UNTIL_NEXT_HELD);
  }
  pWidget->setFloat(gc_TIME_UNTIL_HELD_EVENT.mp_uiHash, fLeft);
}

void systemButtonStopHeldEventTimer(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->setBool(gc_BUTTON_HELD.mp_uiHash, 0);
}

void buttonUnregisterWithPointer(ClWidget* pWidget) { systemWindowUnregisterWithPointer(pWidget, nullptr); }

void registerButtonsUIFunctions() {
  // Names that share a procedure: the hot-spot removal is the windows' one, the full focus grab the system one,
  // and the tooltips behave as the images' tooltips.
  static constexpr ClUIEventSystemFunctions::SNamedProcedure s_aProcedures[] = {
      {"systemButtonUnregisterWithMouse", systemWindowUnregisterWithPointer},
      {"systemButtonRender", systemButtonRender},
      {"systemButtonLoad", systemButtonLoad},
      {"systemButtonLocalizedLoad", systemButtonLocalizedLoad},
      {"systemButtonImmediateTransitionIn", systemButtonImmediateTransitionIn},
      {"systemButtonImmediateTransitionOut", systemButtonImmediateTransitionOut},
      {"systemButtonTransitionInFromAlpha", systemButtonTransitionInFromAlpha},
      {"systemButtonTransitionOutToAlpha", systemButtonTransitionOutToAlpha},
      {"systemButtonGrabFullFocus", systemGrabFullFocus},
      {"systemButtonGetFocus", systemButtonGetFocus},
      {"systemButtonLoseFocus", systemButtonLoseFocus},
      {"systemButtonClickSwitch", systemButtonClickSwitch},
      {"systemDisableButton", systemDisableButton},
      {"systemButtonStartHeldEventTimer", systemButtonStartHeldEventTimer},
      {"systemButtonTickHeldEvent", systemButtonTickHeldEvent},
      {"systemButtonStopHeldEventTimer", systemButtonStopHeldEventTimer},
      {"systemButtonShowTooltipIfPresent", systemImageShowTooltipIfPresent},
      {"systemButtonHideTooltipIfPresent", systemImageHideTooltipIfPresent},
  };
  ClUIEventSystemFunctions::registerFunctions(s_aProcedures);
}
