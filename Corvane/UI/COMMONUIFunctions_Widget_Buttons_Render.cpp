// Drawing of buttons and their pointer hot spot (declared in COMMONUIFunctions_Widget_Buttons.h).
#include <cstdio>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Buttons.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Tooltips.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const SWidgetPropertyName gc_TEXTURE_NAME_OFF("textureName_off");
const SWidgetPropertyName gc_TEXTURE_NAME_ROLLOVER("textureName_rollover");
const SWidgetPropertyName gc_TEXT_SHADOW_COLOR("textShadowColor");
const SWidgetPropertyName gc_TEXT_RELATIVE_TO_IMAGE("textRelativeToImage");
const SWidgetPropertyName gc_CLAMP_TEXT_TO_IMAGE("clampTextToImage");
const SWidgetPropertyName gc_ALWAYS_RECALC_HOT_SPOT("alwaysRecalcHotSpotPos");
const SWidgetPropertyName gc_FORCED_HOT_SPOT_WIDTH("forcedHotSpotWidth");
const SWidgetPropertyName gc_FORCED_HOT_SPOT_HEIGHT("forcedHotSpotHeight");

// A pixel rectangle, as the canvas code orders it.
struct SRect {
  f32 fLeft;
  f32 fRight;
  f32 fTop;
  f32 fBottom;
};

void requireInOrder(const ClWidget* pWidget, std::initializer_list<const SWidgetPropertyName*> names) {
  for (const SWidgetPropertyName* pName : names) {
    pWidget->requireProperty(*pName);
  }
}

void unsupportedAlignment(const char* pRoutine, int iLine) {
  KV_FATALF("Port this code to the Win32 (NOW!!!) -> [%s] in [%s], Line [%d]!", pRoutine, __FILE__, iLine);
}

// The atlas entry of an image base name on the canvas (the name followed by the canvas's resolution suffix).
u32 atlasEntryHash(const char* pName, const Cl2dCanvas* pCanvas) {
  char acEntry[KV_MAX_PATH_LEN];
  std::snprintf(acEntry, sizeof(acEntry), "%s%s", pName, pCanvas->mp_acResolutionSuffixToUse);
  return KvStrHash(acEntry);
}

// The trimmed image of an atlas entry exactly where ClUI::renderAtlasEntry draws it: the untrimmed frame box scaled
// by the canvas scale and rounded to whole pixels, placed by the layout, the image at its scaled offset in it.
SRect atlasHotSpot(const ClWidget* pWidget, const char* pName, const SLayoutPlacement& at) {
  const u32 uiCanvasHash = pWidget->getID(gc_CANVAS);
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntryByHash(pWidget->getID(gc_ATLAS), atlasEntryHash(pName, pCanvas));
  KV_ASSERT_MSG(pEntry != nullptr, "Atlas entry not found for UI widget!");
  if (pEntry == nullptr) return {0.0f, 0.0f, 0.0f, 0.0f};
  const SAtlasTexInfo& info = *pEntry->mp_pAtlasTexInfo;
  const f32 k = pCanvas->mp_fScale;
  const f32 fFrameWidth = Cl2d::roundToPixel(info.mp_fFrameWidth * k);
  const f32 fFrameHeight = Cl2d::roundToPixel(info.mp_fFrameHeight * k);
  const kv_vector2 vAt = Cl2d::computePositionOnCanvas(uiCanvasHash, at.mp_fX * k, at.mp_fY * k, fFrameWidth,
                                                        fFrameHeight, at.mp_uiScreenFlags, at.mp_uiAnchorFlags);
  SRect rect;
  rect.fLeft = vAt.x + info.mp_fAnchorX * k;
  rect.fRight = rect.fLeft + info.mp_fWidth * k;
  rect.fTop = vAt.y + info.mp_fAnchorY * k;
  rect.fBottom = rect.fTop + info.mp_fHeight * k;
  return rect;
}

// Which hot-spot case a forced size is applied in.
enum E_HOT_SPOT_CASE { E_HOT_SPOT_ATLAS, E_HOT_SPOT_TEXTURE, E_HOT_SPOT_TEXT };

void forceWidth(SRect& rect, f32 fWidth, u32 uiAnchorFlags, E_HOT_SPOT_CASE eCase) {
  if (eCase == E_HOT_SPOT_ATLAS) {
    if ((uiAnchorFlags & gc_ui2D_ALIGN_CENTRE_X) == 0) {
      unsupportedAlignment("buttonRegisterWithPointer", __LINE__);
      return;
    }
    rect.fLeft -= (fWidth - (rect.fRight - rect.fLeft)) * 0.5f;
  } else if ((uiAnchorFlags & gc_ui2D_ALIGN_LEFT) == 0) {
    const bool bCentred = eCase == E_HOT_SPOT_TEXT && (uiAnchorFlags & gc_ui2D_ALIGN_CENTRE_X) != 0;
    KV_ASSERT_MSG(bCentred, "Implement alignment");
    if (!bCentred) return;
    rect.fLeft = (rect.fLeft + rect.fRight) * 0.5f - fWidth * 0.5f;
  }
  rect.fRight = rect.fLeft + fWidth;
}

void forceHeight(SRect& rect, f32 fHeight, u32 uiAnchorFlags, E_HOT_SPOT_CASE eCase) {
  const f32 fCentre = (rect.fTop + rect.fBottom) * 0.5f;
  if (eCase == E_HOT_SPOT_ATLAS) {
    if ((uiAnchorFlags & gc_ui2D_ALIGN_CENTRE_Y) == 0) {
      unsupportedAlignment("buttonRegisterWithPointer", __LINE__);
      return;
    }
    rect.fTop -= (fHeight - (rect.fBottom - rect.fTop)) * 0.5f;
    rect.fBottom = rect.fTop + fHeight;
  } else if ((uiAnchorFlags & gc_ui2D_ALIGN_TOP) != 0) {
    rect.fBottom = rect.fTop + fHeight;
  } else if ((uiAnchorFlags & gc_ui2D_ALIGN_CENTRE_Y) != 0) {
    rect.fTop = fCentre - fHeight * 0.5f;
    rect.fBottom = rect.fTop + fHeight;
  } else if (eCase == E_HOT_SPOT_TEXTURE && (uiAnchorFlags & gc_ui2D_ALIGN_BOTTOM) != 0) {
    rect.fTop = rect.fBottom - fHeight;
  } else if (eCase == E_HOT_SPOT_TEXTURE) {
    unsupportedAlignment("buttonRegisterWithPointer", __LINE__);
  } else {
    KV_ASSERT_MSG(false, "Implement alignment");
  }
}

// The pixel rectangle of the hot spot, or false when the button has nothing to point at.
bool hotSpotRect(const ClWidget* pWidget, SRect* pRect, u32* puiAnchorFlags, E_HOT_SPOT_CASE* peCase) {
  const char* pName = getHotSpotTextureName(pWidget);
  if (pName != nullptr && pWidget->hasAtlas()) {
    pWidget->requireProperty(gc_CANVAS);
    const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
    *pRect = atlasHotSpot(pWidget, pName, at);
    *puiAnchorFlags = at.mp_uiAnchorFlags;
    *peCase = E_HOT_SPOT_ATLAS;
    return true;
  }
  if (pName != nullptr) {
    requireInOrder(pWidget, {&gc_IMAGE_LAYER, &gc_CANVAS});
    const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
    f32 afRect[4];
    ClUI::getUITextureRect(afRect, pName, pWidget->getID(gc_CANVAS), at.mp_uiScreenFlags, at.mp_uiAnchorFlags,
                           at.mp_fX, at.mp_fY, 1.0f);
    *pRect = {afRect[0], afRect[1], afRect[2], afRect[3]};
    *puiAnchorFlags = at.mp_uiAnchorFlags;
    *peCase = E_HOT_SPOT_TEXTURE;
    return true;
  }
  requireInOrder(pWidget, {&gc_CANVAS, &gc_FONT_NAME, &gc_POINT_SIZE, &gc_MAX_HEIGHT, &gc_MAX_WIDTH, &gc_TEXT_LAYOUT,
                           &gc_TEXT_ALIGN});
  KvTextAlignment(pWidget->getID(gc_TEXT_ALIGN));
  wchar16 auiWidened[KV_MAX_PATH_LEN];
  const wchar16* puiText = KvWidgetText(pWidget, auiWidened, KV_MAX_PATH_LEN);
  if (puiText == nullptr) {
    return false;
  }
  const STextElement element{pWidget->getID(gc_CANVAS), 0, pWidget->getID(gc_FONT_NAME)};
  const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_TEXT_LAYOUT));
  f32 afRect[4] = {};
  ClUI::getTextElementRect(afRect, element, puiText, static_cast<u32>(pWidget->getInt(gc_POINT_SIZE)), at.mp_fX,
                           at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, pWidget->getFloat(gc_MAX_WIDTH),
                           pWidget->getFloat(gc_MAX_HEIGHT));
  *pRect = {afRect[0], afRect[1], afRect[2], afRect[3]};
  *puiAnchorFlags = at.mp_uiAnchorFlags;
  *peCase = E_HOT_SPOT_TEXT;
  return true;
}

// Draws the image of the current look; true when it was an atlas image, which is then the parent window.
bool renderButtonImage(ClWidget* pWidget) {
  if (!pWidget->hasString(gc_CUR_TEXTURE)) {
    return false;
  }
  const u32 uiColor = pWidget->mp_aColorAnimators[0].mp_uiCurrentColor;
  if (pWidget->hasAtlas()) {
    requireInOrder(pWidget, {&gc_CUR_SHADER, &gc_CUR_TEXTURE_LAYER, &gc_CANVAS, &gc_CUR_TEXTURE, &gc_CUR_SHADER});
    const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
    const u32 uiCanvasHash = pWidget->getID(gc_CANVAS);
    const u32 uiEntryHash = atlasEntryHash(pWidget->getString(gc_CUR_TEXTURE), Cl2d::getCanvasByHash(uiCanvasHash));
    if (pWidget->hasString(gc_TEXTURE_NAME_2)) {
      unsupportedAlignment("systemButtonRender", __LINE__);
      return false;
    }
    f32 afRect[4] = {};
    ClUI::renderAtlasEntry(pWidget->getID(gc_ATLAS), uiEntryHash, KvStrHash(pWidget->getString(gc_CUR_SHADER)),
                           uiColor, uiCanvasHash, static_cast<u16>(pWidget->getInt(gc_CUR_TEXTURE_LAYER)), at.mp_fX,
                           at.mp_fY, at.mp_uiScreenFlags, at.mp_uiAnchorFlags, 1.0f, afRect);
    Cl2d::pushParentWindow({afRect[0], afRect[1], afRect[2], afRect[3]});
    return true;
  }
  requireInOrder(pWidget, {&gc_CUR_SHADER, &gc_IMAGE_LAYER, &gc_CANVAS, &gc_CUR_TEXTURE, &gc_CUR_SHADER});
  const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
  const u32 uiCanvasHash = pWidget->getID(gc_CANVAS);
  const char* pSecondName = pWidget->hasString(gc_TEXTURE_NAME_2) ? pWidget->getString(gc_TEXTURE_NAME_2) : "";
  ClUI::renderUITexture(pWidget->getString(gc_CUR_TEXTURE), KvStrHash(pWidget->getString(gc_CUR_SHADER)), uiColor,
                        uiCanvasHash, static_cast<u16>(pWidget->getInt(gc_IMAGE_LAYER)), at.mp_fX, at.mp_fY,
                        at.mp_uiScreenFlags, at.mp_uiAnchorFlags, 1.0f, nullptr,
                        KvSecondUITexture(pSecondName, uiCanvasHash));
  return false;
}

void renderButtonText(ClWidget* pWidget, bool bAtlasImageDrawn) {
  const u32 uiCanvasHash = pWidget->getID(gc_CANVAS);
  const u32 uiShaderHash = KvStrHash(pWidget->getString(gc_CUR_TEXT_SHADER));
  const STextElement element{uiCanvasHash, uiShaderHash, pWidget->getID(gc_FONT_NAME)};
  STextDrawArgs args{};
  args.mp_uiShaderHash = uiShaderHash;
  args.mp_uLayer = static_cast<u16>(pWidget->getInt(gc_CUR_TEXT_LAYER));
  const u32 uiPointSize = static_cast<u32>(pWidget->getInt(gc_POINT_SIZE));
  const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_TEXT_LAYOUT));
  if (const WidgetProperty* pShadow = pWidget->findProperty(gc_TEXT_SHADOW_OFFSET.mp_uiHash)) {
    const auto* pfOffset = static_cast<const f32*>(pShadow->mp_pData);
    args.mp_afShadowOffset[0] = pfOffset[0];
    args.mp_afShadowOffset[1] = pfOffset[1];
    if (pfOffset[0] != 0.0f || pfOffset[1] != 0.0f) {
      args.mp_uiShadowColor = static_cast<u32>(pWidget->getInt(gc_TEXT_SHADOW_COLOR));
    }
  }
  wchar16 auiWidened[gc_iMAX_UI_STRING_LEN];
  const wchar16* puiText = KvWidgetText(pWidget, auiWidened, gc_iMAX_UI_STRING_LEN);
  if (puiText == nullptr) {
    return;
  }
  args.mp_uiAlignment = KvTextAlignment(pWidget->getID(gc_TEXT_ALIGN));
  f32 fMaxWidth = pWidget->getFloat(gc_MAX_WIDTH);
  f32 fMaxHeight = pWidget->getFloat(gc_MAX_HEIGHT);
  if (pWidget->getInt(gc_TEXT_RELATIVE_TO_IMAGE) != 0 && bAtlasImageDrawn) {
    const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
    const SParentWindow* pImage = Cl2d::getParentWindow();
    const WidgetProperty* pClamp = pWidget->findProperty(gc_CLAMP_TEXT_TO_IMAGE.mp_uiHash);
    if (pClamp != nullptr && *static_cast<const u32*>(pClamp->mp_pData) == 0) {
      fMaxWidth = 0.0f;
      fMaxHeight = 0.0f;
    } else {
      // The image rectangle is in pixels, the text box in canvas units.
      fMaxWidth = (pImage->mp_fRight - pImage->mp_fLeft) / pCanvas->mp_fScale;
      fMaxHeight = (pImage->mp_fBottom - pImage->mp_fTop) / pCanvas->mp_fScale;
    }
  }
  args.mp_uiScreenFlags = at.mp_uiScreenFlags;
  args.mp_uiAnchorFlags = at.mp_uiAnchorFlags;
  args.mp_uiColor = pWidget->mp_aColorAnimators[1].mp_uiCurrentColor;
  const f32 afPosition[2] = {at.mp_fX, at.mp_fY};
  ClUI::renderTextElement(element, puiText, uiPointSize, args, true, fMaxWidth, fMaxHeight, afPosition, nullptr,
                          &pWidget->mp_pTextLayoutCache);
}

}  // namespace

const char* getHotSpotTextureName(const ClWidget* pWidget) {
  if (pWidget->hasString(gc_TEXTURE_NAME_OFF)) return pWidget->getString(gc_TEXTURE_NAME_OFF);
  if (pWidget->hasString(gc_TEXTURE_NAME_ROLLOVER)) return pWidget->getString(gc_TEXTURE_NAME_ROLLOVER);
  return nullptr;
}

void buttonRegisterWithPointer(ClWidget* pWidget) {
  KV_ASSERT_MSG(pWidget != nullptr, "pWidget");
  if (pWidget == nullptr || pWidget->getInt(gc_DISABLED) != 0) {
    return;
  }
  const i32 iHandle = pWidget->getInt(gc_PTR_DETECTOR);
  if (iHandle != 0 && pWidget->getInt(gc_ALWAYS_RECALC_HOT_SPOT) == 0) {
    return;
  }
  if (!pWidget->mp_bTransitionDone || pWidget->mp_bTransitioningOut) {
    return;
  }
  SRect rect{};
  u32 uiAnchorFlags = 0;
  E_HOT_SPOT_CASE eCase = E_HOT_SPOT_TEXT;
  if (!hotSpotRect(pWidget, &rect, &uiAnchorFlags, &eCase)) {
    return;
  }
  const f32 fScale = Cl2d::getCanvasByHash(pWidget->getID(gc_CANVAS))->mp_fScale;
  const f32 fForcedWidth = pWidget->getFloat(gc_FORCED_HOT_SPOT_WIDTH);
  if (fForcedWidth != 0.0f) {
    forceWidth(rect, fForcedWidth * fScale, uiAnchorFlags, eCase);
  }
  const f32 fForcedHeight = pWidget->getFloat(gc_FORCED_HOT_SPOT_HEIGHT);
  if (fForcedHeight != 0.0f) {
    forceHeight(rect, fForcedHeight * fScale, uiAnchorFlags, eCase);
  }
  kv_rect fractions{rect.fLeft / ClGraphics::mp_fScreenWidth, rect.fRight / ClGraphics::mp_fScreenWidth,
                    rect.fTop / ClGraphics::mp_fScreenHeight, rect.fBottom / ClGraphics::mp_fScreenHeight};
  if (g_kvClipRect.mp_fX2 - g_kvClipRect.mp_fX1 != 0.0f) {
    fractions = fractions.clipToViewport();
  }
  if (fractions.mp_fX2 - fractions.mp_fX1 == 0.0f) {
    return;
  }
  const f32 afMin[2] = {fractions.mp_fX1, fractions.mp_fY1};
  const f32 afMax[2] = {fractions.mp_fX2, fractions.mp_fY2};
  if (iHandle != 0) {
    SPointerDetector* pDetector = ClPointerTracker::detectorOfHandle(iHandle);
    KV_ASSERT_MSG(pDetector != nullptr, "pDetector");
    if (pDetector != nullptr) {
      ClPointerTracker::updateDetector(pDetector, afMin, afMax);
    }
    return;
  }
  SPointerDetector* pDetector = ClPointerTracker::registerDetector(pWidget, afMin, afMax, E_POINTER_DETECTOR_WIDGET);
  pWidget->setInt(gc_PTR_DETECTOR.mp_uiHash, ClPointerTracker::handleOf(pDetector));
}

void systemButtonRender(ClWidget* pWidget, WidgetEventProcedureCall*) {
  buttonRegisterWithPointer(pWidget);
  const u32 uiTooltipID = pWidget->getID(gc_TOOLTIP_WIDGET_ID);
  if (uiTooltipID != 0) {
    ClWidget* pTT = ClUI::findWidget(uiTooltipID);
    KV_ASSERT_MSG(pTT != nullptr, "pTT");
    if (pTT != nullptr) positionTooltipAtPointer(pTT);
  }
  const bool bAtlasImageDrawn = renderButtonImage(pWidget);
  renderButtonText(pWidget, bAtlasImageDrawn);
}
