#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"

#include <cstdio>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClColor.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Buttons.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Tooltips.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

// The properties the procedures read, hashed once.
const SWidgetPropertyName gc_TRANSITION_IN_TIME("imageTransitionInTime");
const SWidgetPropertyName gc_TRANSITION_OUT_TIME("imageTransitionOutTime");

// The alpha byte of a D3DCOLOR.
constexpr u32 gc_uiALPHA_MASK = 0xFF000000u;

// The texture name, or "" when the widget has none.
const char* textureNameOf(const ClWidget* pWidget, const SWidgetPropertyName& name) {
  return pWidget->findProperty(name.mp_uiHash) == nullptr ? "" : pWidget->getString(name);
}

// The image colour ("textureColor", required) shown at once by the first colour animator.
void seedColor(ClWidget* pWidget) {
  pWidget->requireProperty(gc_TEXTURE_COLOR);
  KvSetColorAtOnce(pWidget->mp_aColorAnimators[0], static_cast<u32>(pWidget->getInt(gc_TEXTURE_COLOR)));
}

void loadNow(ClWidget* pWidget, bool bLocalized) {
  const char* pName = textureNameOf(pWidget, gc_TEXTURE_NAME);
  if (pName[0] != '\0') {
    ClUI::loadUITexture(pName, bLocalized);
  }
  seedColor(pWidget);
}

void loadLater(ClWidget* pWidget, bool bLocalized) {
  const char* pName = textureNameOf(pWidget, gc_TEXTURE_NAME);
  if (pName[0] != '\0') {
    ClUI::queueDeferredUITexture(pName, bLocalized);
  }
  seedColor(pWidget);
}

void loadLaterByName(ClWidget* pWidget, WidgetEventProcedureCall* pCall, bool bLocalized) {
  ClUI::queueDeferredUITexture(getParamString(pCall), bLocalized);
  seedColor(pWidget);
}

// The properties every drawing path needs.
struct SImageDraw {
  u16 uiLayer;
  u32 uiCanvasHash;
  u32 uiShaderHash;
  f32 fForcedWidth;
  f32 fForcedHeight;
  u32 uiColor;
  SLayoutPlacement placement;
};

SImageDraw readDraw(const ClWidget* pWidget) {
  // Each required property is found once and read where it was found.
  const auto value = [pWidget](const SWidgetPropertyName& name) -> const void* {
    return pWidget->requireProperty(name)->mp_pData;
  };
  SImageDraw draw;
  draw.uiLayer = static_cast<u16>(*static_cast<const i32*>(value(gc_IMAGE_LAYER)));
  draw.uiCanvasHash = *static_cast<const u32*>(value(gc_CANVAS));
  draw.uiShaderHash = *static_cast<const u32*>(value(gc_TEXTURE_SHADER));
  draw.fForcedWidth = *static_cast<const f32*>(value(gc_FORCED_WIDTH));
  draw.fForcedHeight = *static_cast<const f32*>(value(gc_FORCED_HEIGHT));
  draw.uiColor = pWidget->mp_aColorAnimators[0].mp_uiCurrentColor;
  draw.placement = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
  return draw;
}

// A fade of the image colour: a linear once-play (kind 2, easing 1) over fDuration seconds.
SAnimatorParams fadeRequest(u32 uiStartColor, u32 uiEndColor, f32 fDuration, i32 bFromCurrent) {
  SAnimatorParams request{};
  request.mp_iKind = gc_iANIM_PLAY_ONCE;
  request.mp_iMethod = gc_iANIM_EASE_LINEAR;
  request.mp_uiStartColor = uiStartColor;
  request.mp_uiEndColor = uiEndColor;
  request.mp_fDuration = fDuration;
  request.mp_bFromCurrent = bFromCurrent;
  return request;
}

// Starts a transition of fSeconds: the system procedures end it when "transitionTimer" runs out.
void startTransition(ClWidget* pWidget, u32 bOut, f32 fSeconds) {
  pWidget->mp_bTransitionDone = 0;
  pWidget->mp_bTransitioningOut = bOut;
  pWidget->setFloat(gc_TRANSITION_TIMER.mp_uiHash, fSeconds);
}

// The tooltip widget an image names; a name that is no widget is the assertion "pTT".
ClWidget* tooltipOf(u32 uiTooltipID) {
  ClWidget* pTT = ClUI::findWidget(uiTooltipID);
  KV_ASSERT(pTT);
  return pTT;
}

}  // namespace

void registerImagePointerDetector(ClWidget* pWidget) {
  KV_ASSERT(pWidget);
  if (pWidget->getInt(gc_PTR_DETECTOR) != 0) {
    return;
  }
  if (!pWidget->mp_bVisible || !pWidget->mp_bTransitionDone) {
    return;
  }
  const char* pName = textureNameOf(pWidget, gc_TEXTURE_NAME);
  if (pName[0] == '\0') {
    return;
  }
  pWidget->requireProperty(gc_IMAGE_LAYER);
  pWidget->requireProperty(gc_CANVAS);
  const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
  f32 afRect[4];
  ClUI::getUITextureRect(afRect, pName, pWidget->getID(gc_CANVAS), at.mp_uiScreenFlags, at.mp_uiAnchorFlags, at.mp_fX,
                         at.mp_fY, 1.0f);
  const f32 afMin[2] = {afRect[0] / ClGraphics::mp_fScreenWidth, afRect[2] / ClGraphics::mp_fScreenHeight};
  const f32 afMax[2] = {afRect[1] / ClGraphics::mp_fScreenWidth, afRect[3] / ClGraphics::mp_fScreenHeight};
  SPointerDetector* pDetector =
      ClPointerTracker::registerDetector(pWidget, afMin, afMax, E_POINTER_DETECTOR_WIDGET);
  pWidget->setInt(gc_PTR_DETECTOR.mp_uiHash, ClPointerTracker::handleOf(pDetector));
}

const ClTexture* KvSecondUITexture(const char* pName, u32 uiCanvasHash) {
  if (pName[0] == '\0') {
    return nullptr;
  }
  const ClTexture* pSecond = ClTextureMgr::findTexture(pName);
  if (pSecond == nullptr) {
    const SUITexture* pUITex =
        ClUI::getBestFitUITexture(KvStrHash(pName), Cl2d::getCanvasByHash(uiCanvasHash)->mp_fResolutionHeight);
    KV_ASSERT_MSG(pUITex != nullptr, "pUITex");
    pSecond = pUITex != nullptr ? pUITex->mp_pBestTexture : nullptr;
    KV_ASSERT_MSG(pSecond != nullptr, "pSecondaryTex");
  }
  return pSecond;
}

void systemImageLoad(ClWidget* pWidget, WidgetEventProcedureCall*) { loadNow(pWidget, false); }
void systemImageLocalizedLoad(ClWidget* pWidget, WidgetEventProcedureCall*) { loadNow(pWidget, true); }
void systemImageInitColor(ClWidget* pWidget, WidgetEventProcedureCall*) { seedColor(pWidget); }
void systemDeferredImageLoad(ClWidget* pWidget, WidgetEventProcedureCall*) { loadLater(pWidget, false); }
void systemDeferredImageLocalizedLoad(ClWidget* pWidget, WidgetEventProcedureCall*) { loadLater(pWidget, true); }
void systemDeferredImageLoadByName(ClWidget* pWidget, WidgetEventProcedureCall* pCall) {
  loadLaterByName(pWidget, pCall, false);
}
void systemDeferredImageLocalizedLoadByName(ClWidget* pWidget, WidgetEventProcedureCall* pCall) {
  loadLaterByName(pWidget, pCall, true);
}
void systemEmptyProcedure(ClWidget*, WidgetEventProcedureCall*) {}

void systemImagePulse(ClWidget* pWidget, WidgetEventProcedureCall* pCall) {
  SAnimatorParams request{};
  request.mp_iKind = gc_iANIM_PLAY_OSCILLATE;
  request.mp_iMethod = gc_iANIM_EASE_COSINE;
  request.mp_uiStartColor = static_cast<u32>(getParamInt(pCall, 0));
  request.mp_uiEndColor = static_cast<u32>(getParamInt(pCall, 1));
  request.mp_fDuration = getParamFloat(pCall, 2);
  pWidget->mp_aColorAnimators[0].play(request);
}

void systemImageAutoHideOnZeroAlpha(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const ClAnimator<ClColor>& colour = pWidget->mp_aColorAnimators[0];
  if (!colour.mp_bActive && (colour.mp_uiCurrentColor & gc_uiALPHA_MASK) == 0) {
    pWidget->setVisibleRecursively(0);
  }
}

void systemImageTransitionInFromAlpha(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const f32 fSeconds = pWidget->getFloat(gc_TRANSITION_IN_TIME);
  startTransition(pWidget, 0, fSeconds);
  ClAnimator<ClColor>& colour = pWidget->mp_aColorAnimators[0];
  const u32 uiColor = static_cast<u32>(pWidget->getInt(gc_TEXTURE_COLOR));
  // A fade-in that meets a running fade carries on from the colour shown now.
  if (colour.mp_bActive) {
    colour.play(fadeRequest(0, uiColor, fSeconds, 1));
  } else {
    colour.play(fadeRequest(uiColor & ~gc_uiALPHA_MASK, uiColor, fSeconds, 0));
  }
}

void systemImageTransitionOutToAlpha(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const f32 fSeconds = pWidget->getFloat(gc_TRANSITION_OUT_TIME);
  startTransition(pWidget, 1, fSeconds);
  ClAnimator<ClColor>& colour = pWidget->mp_aColorAnimators[0];
  colour.play(fadeRequest(0, colour.mp_uiCurrentColor & ~gc_uiALPHA_MASK, fSeconds, 1));
}

void systemImageTransitionOutNoFade(ClWidget* pWidget, WidgetEventProcedureCall*) {
  startTransition(pWidget, 1, pWidget->getFloat(gc_TRANSITION_OUT_TIME));
}

void systemImageShowTooltipIfPresent(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (!pWidget->mp_bVisible) {
    return;
  }
  pWidget->requireProperty(gc_TOOLTIP_WIDGET_ID);
  const u32 uiTooltipID = pWidget->getID(gc_TOOLTIP_WIDGET_ID);
  if (uiTooltipID != 0) {
    ClWidget* pTT = tooltipOf(uiTooltipID);
    pTT->callEvent(gc_ON_TRANSITION_IN.mp_uiHash);
    positionTooltipAtPointer(pTT);
  }
}

void systemImageHideTooltipIfPresent(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->requireProperty(gc_TOOLTIP_WIDGET_ID);
  const u32 uiTooltipID = pWidget->getID(gc_TOOLTIP_WIDGET_ID);
  if (uiTooltipID != 0) {
    tooltipOf(uiTooltipID)->callEvent(gc_ON_TRANSITION_OUT.mp_uiHash);
  }
}

namespace {

// What the render reads by name, kept in the widget's frame cache (ClWidget::frameRecord) while the properties stay
// as they were: every required property was checked when it was made.
struct SImageFrameRecord {
  SImageDraw draw;  // the colour is the animator's, read every frame
  u32 uiTooltipID;
  u32 uiAtlasHash;  // 0: no atlas
  const char* pName;        // "textureName", "" when none; it lives in the property's value block
  SUITexture* pUITex;       // its UI texture record (records live as long as the UI), null while not needed
  const char* pSecondName;  // "textureName2", "" when none
  SUITextureSprite kept;    // the unsized UI texture's last sprite; zeroed with the record
};

// The tag of the render's records.
const char gc_cIMAGE_RECORD_TAG = 0;

SImageFrameRecord readImageRecord(const ClWidget* pWidget) {
  SImageFrameRecord record = {};
  record.uiTooltipID = pWidget->getID(gc_TOOLTIP_WIDGET_ID);
  record.uiAtlasHash = pWidget->hasAtlas() ? pWidget->getID(gc_ATLAS) : 0;
  record.pName = textureNameOf(pWidget, gc_TEXTURE_NAME);
  if (record.uiAtlasHash != 0 || record.pName[0] != '\0') {
    pWidget->requireProperty(gc_TEXTURE_NAME);
  }
  record.draw = readDraw(pWidget);
  // Only the unsized UI-texture path finds the record by name (an unknown name stops the program there).
  record.pUITex = record.uiAtlasHash == 0 && record.pName[0] != '\0' && record.draw.fForcedWidth == 0.0f
                      ? ClUI::findUITexture(KvStrHash(record.pName))
                      : nullptr;
  record.pSecondName = textureNameOf(pWidget, gc_TEXTURE_NAME_2);
  return record;
}

}  // namespace

void systemImageRender(ClWidget* pWidget, WidgetEventProcedureCall*) {
  SImageFrameRecord* pRecord = pWidget->frameRecord<SImageFrameRecord>(&gc_cIMAGE_RECORD_TAG);
  if (pRecord == nullptr) {
    pWidget->setFrameRecord(&gc_cIMAGE_RECORD_TAG, readImageRecord(pWidget));
    pRecord = pWidget->frameRecord<SImageFrameRecord>(&gc_cIMAGE_RECORD_TAG);
  }
  SImageFrameRecord& record = *pRecord;
  if (record.uiTooltipID != 0) {
    registerImagePointerDetector(pWidget);
    positionTooltipAtPointer(tooltipOf(record.uiTooltipID));
  }
  const SImageDraw& draw = record.draw;
  const u32 uiColor = pWidget->mp_aColorAnimators[0].mp_uiCurrentColor;
  const SLayoutPlacement& at = draw.placement;
  const char* pName = record.pName;
  // A widget with children places them inside the rectangle the image covers.
  f32 afRect[4] = {};
  f32* pOutRect = pWidget->mp_AllChildren.getSize() > 0 ? afRect : nullptr;
  const char* pSecondName = record.pSecondName;
  if (record.uiAtlasHash != 0) {
    if (pSecondName[0] != '\0') {
      KV_FATALF("Port this code to the Win32 (NOW!!!) -> [%s] in [%s], Line [%d]!", "systemImageRender", __FILE__,
                __LINE__);
    }
    const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(draw.uiCanvasHash);
    char acEntry[KV_MAX_PATH_LEN];
    std::snprintf(acEntry, sizeof(acEntry), "%s%s", pName, pCanvas->mp_acResolutionSuffixToUse);
    const u32 uiAtlasHash = record.uiAtlasHash;
    if (draw.fForcedWidth == 0.0f) {
      ClUI::renderAtlasEntry(uiAtlasHash, KvStrHash(acEntry), draw.uiShaderHash, uiColor, draw.uiCanvasHash,
                             draw.uiLayer, at.mp_fX, at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, 1.0f,
                             pOutRect);
    } else {
      ClUI::renderAtlasEntrySized(uiAtlasHash, KvStrHash(acEntry), draw.uiShaderHash, uiColor, draw.uiCanvasHash,
                                  draw.uiLayer, at.mp_fX, at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags,
                                  draw.fForcedWidth, draw.fForcedHeight, pOutRect);
    }
  } else if (pName[0] != '\0') {
    if (draw.fForcedWidth == 0.0f) {
      const ClTexture* pSecond = KvSecondUITexture(pSecondName, draw.uiCanvasHash);
      ClUI::renderUITextureKept(&record.kept, record.pUITex, draw.uiShaderHash, uiColor, draw.uiCanvasHash,
                                draw.uiLayer, at.mp_fX, at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, 1.0f,
                                pOutRect, pSecond);
    } else {
      KvSecondUITexture(pSecondName, draw.uiCanvasHash);
      ClUI::renderUITextureSized(pName, draw.uiShaderHash, uiColor, draw.uiCanvasHash, draw.uiLayer, at.mp_fX,
                                 at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, draw.fForcedWidth,
                                 draw.fForcedHeight, pOutRect);
    }
  } else {
    ClUI::renderUITextureSized(nullptr, draw.uiShaderHash, uiColor, draw.uiCanvasHash, draw.uiLayer, at.mp_fX,
                               at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, draw.fForcedWidth,
                               draw.fForcedHeight, pOutRect);
  }
  if (pOutRect != nullptr) {
    Cl2d::pushParentWindow({afRect[0], afRect[1], afRect[2], afRect[3]});
  }
}

void registerImagesUIFunctions() {
  static constexpr ClUIEventSystemFunctions::SNamedProcedure s_aProcedures[] = {
      {"systemImageLoad", systemImageLoad},
      {"systemImageInitColor", systemImageInitColor},
      {"systemImageParams", systemEmptyProcedure},
      {"systemDeferredImageLoad", systemDeferredImageLoad},
      {"systemDeferredImageLoadByName", systemDeferredImageLoadByName},
      {"systemImageLocalizedLoad", systemImageLocalizedLoad},
      {"systemDeferredImageLocalizedLoad", systemDeferredImageLocalizedLoad},
      {"systemDeferredImageLocalizedLoadByName", systemDeferredImageLocalizedLoadByName},
      {"systemImagePulse", systemImagePulse},
      {"systemImageRender", systemImageRender},
      {"systemImageAutoHideOnZeroAlpha", systemImageAutoHideOnZeroAlpha},
      {"systemImageTransitionInFromAlpha", systemImageTransitionInFromAlpha},
      {"systemImageTransitionOutToAlpha", systemImageTransitionOutToAlpha},
      {"systemImageTransitionOutNoFade", systemImageTransitionOutNoFade},
      {"systemImageShowTooltipIfPresent", systemImageShowTooltipIfPresent},
      {"systemImageHideTooltipIfPresent", systemImageHideTooltipIfPresent},
  };
  ClUIEventSystemFunctions::registerFunctions(s_aProcedures);
}
