#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"

#include <cstdio>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClColor.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"

namespace {

// The properties the procedures read, hashed once.
const SWidgetPropertyName gc_TEXTURE_NAME("textureName");
const SWidgetPropertyName gc_TEXTURE_NAME_2("textureName2");
const SWidgetPropertyName gc_TEXTURE_COLOR("textureColor");
const SWidgetPropertyName gc_IMAGE_LAYER("imageLayer");
const SWidgetPropertyName gc_CANVAS("canvas");
const SWidgetPropertyName gc_TEXTURE_SHADER("textureShader");
const SWidgetPropertyName gc_FORCED_WIDTH("forcedWidth");
const SWidgetPropertyName gc_FORCED_HEIGHT("forcedHeight");
const SWidgetPropertyName gc_WIDGET_LAYOUT("widgetLayout");
const SWidgetPropertyName gc_ATLAS("atlas");

// The texture name, or "" when the widget has none.
const char* textureNameOf(const ClWidget* pWidget, const SWidgetPropertyName& name) {
  return pWidget->findProperty(name.mp_uiHash) == nullptr ? "" : pWidget->getString(name);
}

// The image colour ("textureColor", required) shown at once by the first colour animator.
void seedColor(ClWidget* pWidget) {
  pWidget->requireProperty(gc_TEXTURE_COLOR);
  const u32 uiColor = static_cast<u32>(pWidget->getInt(gc_TEXTURE_COLOR));
  ClAnimator<ClColor>& animator = pWidget->mp_aColorAnimators[0];
  animator.mp_params.mp_uiEndColor = uiColor;
  animator.mp_uiCurrentColor = uiColor;
  animator.mp_end = ClColor::fromARGB(uiColor);
  animator.mp_params.mp_iKind = 1;
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

}  // namespace

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

void systemImageRender(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const bool bAtlas = pWidget->hasAtlas();
  const char* pName = textureNameOf(pWidget, gc_TEXTURE_NAME);
  if (bAtlas || pName[0] != '\0') {
    pWidget->requireProperty(gc_TEXTURE_NAME);
  }
  const SImageDraw draw = readDraw(pWidget);
  const SLayoutPlacement& at = draw.placement;
  // A widget with children places them inside the rectangle the image covers.
  f32 afRect[4] = {};
  f32* pOutRect = pWidget->mp_AllChildren.getSize() > 0 ? afRect : nullptr;
  const char* pSecondName = textureNameOf(pWidget, gc_TEXTURE_NAME_2);
  if (bAtlas) {
    if (pSecondName[0] != '\0') {
      KV_FATALF("Port this code to the Win32 (NOW!!!) -> [%s] in [%s], Line [%d]!", "systemImageRender", __FILE__,
                __LINE__);
    }
    const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(draw.uiCanvasHash);
    char acEntry[KV_MAX_PATH_LEN];
    std::snprintf(acEntry, sizeof(acEntry), "%s%s", pName, pCanvas->mp_acResolutionSuffixToUse);
    const u32 uiAtlasHash = pWidget->getID(gc_ATLAS);
    if (draw.fForcedWidth == 0.0f) {
      ClUI::renderAtlasEntry(uiAtlasHash, KvStrHash(acEntry), draw.uiShaderHash, draw.uiColor, draw.uiCanvasHash,
                             draw.uiLayer, at.mp_fX, at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, 1.0f,
                             pOutRect);
    } else {
      ClUI::renderAtlasEntrySized(uiAtlasHash, KvStrHash(acEntry), draw.uiShaderHash, draw.uiColor,
                                  draw.uiCanvasHash, draw.uiLayer, at.mp_fX, at.mp_fY, at.mp_uiScreenFlags,
                                  at.mp_uiAnchorFlags, draw.fForcedWidth, draw.fForcedHeight, pOutRect);
    }
  } else if (pName[0] != '\0') {
    const ClTexture* pSecond = nullptr;
    if (pSecondName[0] != '\0') {
      pSecond = ClTextureMgr::findTexture(pSecondName);
      if (pSecond == nullptr) {
        const SUITexture* pUITex =
            ClUI::getBestFitUITexture(KvStrHash(pSecondName), Cl2d::getCanvasByHash(draw.uiCanvasHash)->mp_fResolutionHeight);
        KV_ASSERT(pUITex);
        pSecond = pUITex->mp_pBestTexture;
        KV_ASSERT_MSG(pSecond != nullptr, "pSecondaryTex");
      }
    }
    if (draw.fForcedWidth == 0.0f) {
      ClUI::renderUITexture(pName, draw.uiShaderHash, draw.uiColor, draw.uiCanvasHash, draw.uiLayer, at.mp_fX,
                            at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, 1.0f, pOutRect, pSecond);
    } else {
      ClUI::renderUITextureSized(pName, draw.uiShaderHash, draw.uiColor, draw.uiCanvasHash, draw.uiLayer, at.mp_fX,
                                 at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, draw.fForcedWidth,
                                 draw.fForcedHeight, pOutRect);
    }
  } else {
    ClUI::renderUITextureSized(nullptr, draw.uiShaderHash, draw.uiColor, draw.uiCanvasHash, draw.uiLayer, at.mp_fX,
                               at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, draw.fForcedWidth,
                               draw.fForcedHeight, pOutRect);
  }
  if (pOutRect != nullptr) {
    Cl2d::pushParentWindow({afRect[0], afRect[1], afRect[2], afRect[3]});
  }
}

void registerImagesUIFunctions() {
  struct SEntry {
    const char* pName;
    WidgetEventProcedure pfnProcedure;
  };
  // The fades, pulses, tooltips and the auto-hide of the image procedures are not part of this build yet; their
  // names stay unregistered, so data that calls them runs without them.
  static constexpr SEntry s_aEntries[] = {
      {"systemImageLoad", systemImageLoad},
      {"systemImageInitColor", systemImageInitColor},
      {"systemImageParams", systemEmptyProcedure},
      {"systemDeferredImageLoad", systemDeferredImageLoad},
      {"systemDeferredImageLoadByName", systemDeferredImageLoadByName},
      {"systemImageLocalizedLoad", systemImageLocalizedLoad},
      {"systemDeferredImageLocalizedLoad", systemDeferredImageLocalizedLoad},
      {"systemDeferredImageLocalizedLoadByName", systemDeferredImageLocalizedLoadByName},
      {"systemImageRender", systemImageRender},
  };
  for (const SEntry& entry : s_aEntries) {
    ClUIEventSystemFunctions::registerFunction(KvStrHash(entry.pName), entry.pfnProcedure);
  }
}
