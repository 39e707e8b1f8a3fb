// Drawing of buttons and their pointer hot spot (declared in COMMONUIFunctions_Widget_Buttons.h).
#include <cstdio>
#include <cstring>

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

// What the button's render reads by name, kept in the widget's frame cache (ClWidget::frameRecord) while the
// properties stay as they were; made in the order the render reads them, so a missing property stops the program
// with the same message at the same point.
struct SButtonFrameRecord {
  // The pointer hot spot and the tooltip.
  i32 iDisabled;
  i32 iDetectorHandle;
  i32 iAlwaysRecalc;
  u32 uiTooltipID;
  // The image of the current look; bImage 0: none.
  u32 bImage;
  u32 uiAtlasHash;  // 0: not an atlas image
  u32 uiImageCanvasHash;
  u32 uiImageShaderHash;
  u32 uiImageLayer;
  SLayoutPlacement imageAt;
  const char* pTexture;     // "curTexture"; it lives in the property's value block
  const char* pSecondName;  // "textureName2", "" when none
  u32 uiEntryHash;          // the atlas entry of pTexture for the canvas suffix acSuffix
  char acSuffix[MAX_2D_CANVAS_SUFFIX_LEN];
  // The text.
  u32 uiCanvasHash;
  u32 uiTextShaderHash;
  u32 uiFontHash;
  u32 uiTextLayer;
  u32 uiPointSize;
  SLayoutPlacement textAt;
  f32 afShadowOffset[2];
  u32 uiShadowColor;
  u32 uiAlignHash;
  f32 fMaxWidth;
  f32 fMaxHeight;
  u32 bRelativeToImage;
  u32 bUnclamped;  // "clampTextToImage" present and 0
  SWidgetTextSource textSource;
};

// The tag of the render's records.
const char gc_cBUTTON_RECORD_TAG = 0;

void readButtonImage(const ClWidget* pWidget, SButtonFrameRecord* pRecord) {
  if (!pWidget->hasString(gc_CUR_TEXTURE)) return;
  pRecord->bImage = 1;
  if (pWidget->hasAtlas()) {
    requireInOrder(pWidget, {&gc_CUR_SHADER, &gc_CUR_TEXTURE_LAYER, &gc_CANVAS, &gc_CUR_TEXTURE, &gc_CUR_SHADER});
    pRecord->imageAt = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
    pRecord->uiImageCanvasHash = pWidget->getID(gc_CANVAS);
    pRecord->pTexture = pWidget->getString(gc_CUR_TEXTURE);
    pRecord->pSecondName = pWidget->hasString(gc_TEXTURE_NAME_2) ? pWidget->getString(gc_TEXTURE_NAME_2) : "";
    pRecord->uiAtlasHash = pWidget->getID(gc_ATLAS);
    pRecord->uiImageShaderHash = KvStrHash(pWidget->getString(gc_CUR_SHADER));
    pRecord->uiImageLayer = static_cast<u32>(pWidget->getInt(gc_CUR_TEXTURE_LAYER));
    return;
  }
  requireInOrder(pWidget, {&gc_CUR_SHADER, &gc_IMAGE_LAYER, &gc_CANVAS, &gc_CUR_TEXTURE, &gc_CUR_SHADER});
  pRecord->imageAt = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
  pRecord->uiImageCanvasHash = pWidget->getID(gc_CANVAS);
  pRecord->pSecondName = pWidget->hasString(gc_TEXTURE_NAME_2) ? pWidget->getString(gc_TEXTURE_NAME_2) : "";
  pRecord->pTexture = pWidget->getString(gc_CUR_TEXTURE);
  pRecord->uiImageShaderHash = KvStrHash(pWidget->getString(gc_CUR_SHADER));
  pRecord->uiImageLayer = static_cast<u32>(pWidget->getInt(gc_IMAGE_LAYER));
}

void readButtonText(const ClWidget* pWidget, SButtonFrameRecord* pRecord) {
  pRecord->uiCanvasHash = pWidget->getID(gc_CANVAS);
  pRecord->uiTextShaderHash = KvStrHash(pWidget->getString(gc_CUR_TEXT_SHADER));
  pRecord->uiFontHash = pWidget->getID(gc_FONT_NAME);
  pRecord->uiTextLayer = static_cast<u32>(pWidget->getInt(gc_CUR_TEXT_LAYER));
  pRecord->uiPointSize = static_cast<u32>(pWidget->getInt(gc_POINT_SIZE));
  pRecord->textAt = KvLayoutPlacement(pWidget->getLayout(gc_TEXT_LAYOUT));
  if (const WidgetProperty* pShadow = pWidget->findProperty(gc_TEXT_SHADOW_OFFSET.mp_uiHash)) {
    const auto* pfOffset = static_cast<const f32*>(pShadow->mp_pData);
    pRecord->afShadowOffset[0] = pfOffset[0];
    pRecord->afShadowOffset[1] = pfOffset[1];
    if (pfOffset[0] != 0.0f || pfOffset[1] != 0.0f) {
      pRecord->uiShadowColor = static_cast<u32>(pWidget->getInt(gc_TEXT_SHADOW_COLOR));
    }
  }
  pRecord->uiAlignHash = pWidget->getID(gc_TEXT_ALIGN);
  pRecord->fMaxWidth = pWidget->getFloat(gc_MAX_WIDTH);
  pRecord->fMaxHeight = pWidget->getFloat(gc_MAX_HEIGHT);
  pRecord->bRelativeToImage = pWidget->getInt(gc_TEXT_RELATIVE_TO_IMAGE) != 0 ? 1 : 0;
  const WidgetProperty* pClamp = pWidget->findProperty(gc_CLAMP_TEXT_TO_IMAGE.mp_uiHash);
  pRecord->bUnclamped = pClamp != nullptr && *static_cast<const u32*>(pClamp->mp_pData) == 0 ? 1 : 0;
  pRecord->textSource = KvWidgetTextSource(pWidget);
}

// Draws the image of the current look; true when it was an atlas image, which is then the parent window.
bool renderButtonImage(ClWidget* pWidget, SButtonFrameRecord* pRecord) {
  if (pRecord->bImage == 0) {
    return false;
  }
  const u32 uiColor = pWidget->mp_aColorAnimators[0].mp_uiCurrentColor;
  const SLayoutPlacement& at = pRecord->imageAt;
  const u32 uiCanvasHash = pRecord->uiImageCanvasHash;
  if (pRecord->uiAtlasHash != 0) {
    // The entry's name takes the canvas's current suffix.
    const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
    if (std::strncmp(pRecord->acSuffix, pCanvas->mp_acResolutionSuffixToUse, sizeof(pRecord->acSuffix)) != 0 ||
        pRecord->uiEntryHash == 0) {
      pRecord->uiEntryHash = atlasEntryHash(pRecord->pTexture, pCanvas);
      std::memcpy(pRecord->acSuffix, pCanvas->mp_acResolutionSuffixToUse, sizeof(pRecord->acSuffix));
    }
    if (pRecord->pSecondName[0] != '\0') {
      unsupportedAlignment("systemButtonRender", __LINE__);
      return false;
    }
    f32 afRect[4] = {};
    ClUI::renderAtlasEntry(pRecord->uiAtlasHash, pRecord->uiEntryHash, pRecord->uiImageShaderHash, uiColor,
                           uiCanvasHash, static_cast<u16>(pRecord->uiImageLayer), at.mp_fX, at.mp_fY,
                           at.mp_uiScreenFlags, at.mp_uiAnchorFlags, 1.0f, afRect);
    Cl2d::pushParentWindow({afRect[0], afRect[1], afRect[2], afRect[3]});
    return true;
  }
  ClUI::renderUITexture(pRecord->pTexture, pRecord->uiImageShaderHash, uiColor, uiCanvasHash,
                        static_cast<u16>(pRecord->uiImageLayer), at.mp_fX, at.mp_fY, at.mp_uiScreenFlags,
                        at.mp_uiAnchorFlags, 1.0f, nullptr, KvSecondUITexture(pRecord->pSecondName, uiCanvasHash));
  return false;
}

void renderButtonText(ClWidget* pWidget, const SButtonFrameRecord& crRecord, bool bAtlasImageDrawn) {
  const u32 uiCanvasHash = crRecord.uiCanvasHash;
  const STextElement element{uiCanvasHash, crRecord.uiTextShaderHash, crRecord.uiFontHash};
  STextDrawArgs args{};
  args.mp_uiShaderHash = crRecord.uiTextShaderHash;
  args.mp_uLayer = static_cast<u16>(crRecord.uiTextLayer);
  args.mp_afShadowOffset[0] = crRecord.afShadowOffset[0];
  args.mp_afShadowOffset[1] = crRecord.afShadowOffset[1];
  args.mp_uiShadowColor = crRecord.uiShadowColor;
  wchar16 auiWidened[gc_iMAX_UI_STRING_LEN];
  const wchar16* puiText = KvWidgetTextFrom(crRecord.textSource, auiWidened, gc_iMAX_UI_STRING_LEN);
  if (puiText == nullptr) {
    return;
  }
  args.mp_uiAlignment = KvTextAlignment(crRecord.uiAlignHash);
  f32 fMaxWidth = crRecord.fMaxWidth;
  f32 fMaxHeight = crRecord.fMaxHeight;
  if (crRecord.bRelativeToImage != 0 && bAtlasImageDrawn) {
    const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
    const SParentWindow* pImage = Cl2d::getParentWindow();
    if (crRecord.bUnclamped != 0) {
      fMaxWidth = 0.0f;
      fMaxHeight = 0.0f;
    } else {
      // The image rectangle is in pixels, the text box in canvas units.
      fMaxWidth = (pImage->mp_fRight - pImage->mp_fLeft) / pCanvas->mp_fScale;
      fMaxHeight = (pImage->mp_fBottom - pImage->mp_fTop) / pCanvas->mp_fScale;
    }
  }
  const SLayoutPlacement& at = crRecord.textAt;
  args.mp_uiScreenFlags = at.mp_uiScreenFlags;
  args.mp_uiAnchorFlags = at.mp_uiAnchorFlags;
  args.mp_uiColor = pWidget->mp_aColorAnimators[1].mp_uiCurrentColor;
  const f32 afPosition[2] = {at.mp_fX, at.mp_fY};
  ClUI::renderTextElement(element, puiText, crRecord.uiPointSize, args, true, fMaxWidth, fMaxHeight, afPosition,
                          nullptr, &pWidget->mp_pTextLayoutCache);
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
  SButtonFrameRecord* pRecord = pWidget->frameRecord<SButtonFrameRecord>(&gc_cBUTTON_RECORD_TAG);
  // The hot spot is registered while it has no handle (or always recalculated); registering stores the handle, a
  // property, so the record is made after it.
  if (pRecord == nullptr ||
      (pRecord->iDisabled == 0 && (pRecord->iDetectorHandle == 0 || pRecord->iAlwaysRecalc != 0))) {
    buttonRegisterWithPointer(pWidget);
    pRecord = pWidget->frameRecord<SButtonFrameRecord>(&gc_cBUTTON_RECORD_TAG);
  }
  if (pRecord == nullptr) {
    SButtonFrameRecord record = {};
    record.iDisabled = pWidget->getInt(gc_DISABLED);
    record.iDetectorHandle = pWidget->getInt(gc_PTR_DETECTOR);
    record.iAlwaysRecalc = pWidget->getInt(gc_ALWAYS_RECALC_HOT_SPOT);
    record.uiTooltipID = pWidget->getID(gc_TOOLTIP_WIDGET_ID);
    readButtonImage(pWidget, &record);
    readButtonText(pWidget, &record);
    pWidget->setFrameRecord(&gc_cBUTTON_RECORD_TAG, record);
    pRecord = pWidget->frameRecord<SButtonFrameRecord>(&gc_cBUTTON_RECORD_TAG);
  }
  if (pRecord->uiTooltipID != 0) {
    ClWidget* pTT = ClUI::findWidget(pRecord->uiTooltipID);
    KV_ASSERT_MSG(pTT != nullptr, "pTT");
    if (pTT != nullptr) positionTooltipAtPointer(pTT);
  }
  const bool bAtlasImageDrawn = renderButtonImage(pWidget, pRecord);
  renderButtonText(pWidget, *pRecord, bAtlasImageDrawn);
}
