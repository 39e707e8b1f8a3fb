#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"

#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const SWidgetPropertyName gc_ANIM_OBJ_KEY("AnimObjKey");
const SWidgetPropertyName gc_FLIPBOOK_NAME("flipbookName");
const SWidgetPropertyName gc_RENDER_CUMUL_KEY("RenderCumulKey");
const SWidgetPropertyName gc_CUR_FORCE_FRAME_KEY("CurForceFrameKey");

// The objects of the widgets; a widget's "AnimObjKey" is its slot + 1.
ClTexAnimObj* g_apAnimObjs[gc_iMAX_WIDGET_ANIM_OBJS] = {};
i32 g_iNumAnimObjs = 0;

ClTexAnimObj* objectOfKey(i32 iKey) {
  return iKey > 0 && iKey <= gc_iMAX_WIDGET_ANIM_OBJS ? g_apAnimObjs[iKey - 1] : nullptr;
}

ClTexAnimObj* requireObject(const ClWidget* pWidget) {
  ClTexAnimObj* pObj = objectOfKey(pWidget->getInt(gc_ANIM_OBJ_KEY));
  if (pObj == nullptr) {
    KV_FATAL("Widget has no Animation object initialized");
  }
  return pObj;
}

}  // namespace

ClTexAnimObj* getWidgetAnimObj(const ClWidget* pWidget) { return objectOfKey(pWidget->getInt(gc_ANIM_OBJ_KEY)); }

i32 getNumWidgetAnimObjs() { return g_iNumAnimObjs; }

void systemAnimInitColor(ClWidget* pWidget, WidgetEventProcedureCall* pCall) { systemImageInitColor(pWidget, pCall); }

void systemCreateTexAnimObj(ClWidget* pWidget, WidgetEventProcedureCall*) {
  i32 iSlot = 0;
  while (iSlot < gc_iMAX_WIDGET_ANIM_OBJS && g_apAnimObjs[iSlot] != nullptr) {
    ++iSlot;
  }
  if (iSlot == gc_iMAX_WIDGET_ANIM_OBJS) {
    KV_FATAL("Widget animation objects exhausted");
  }
  void* pBlock = KvAlignedAlloc(sizeof(ClTexAnimObj), 16);
  KV_ASSERT(pBlock);
  ClTexAnimObj* pObj = new (pBlock) ClTexAnimObj();
  g_apAnimObjs[iSlot] = pObj;
  ++g_iNumAnimObjs;
  pWidget->setInt(gc_ANIM_OBJ_KEY.mp_uiHash, iSlot + 1);
  pObj->playFlipBook(ClFlipBookMgr::getFlipBook(pWidget->getString(gc_FLIPBOOK_NAME)), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
}

void systemDeleteTexAnimObj(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const i32 iKey = pWidget->getInt(gc_ANIM_OBJ_KEY);
  ClTexAnimObj* pObj = objectOfKey(iKey);
  if (pObj == nullptr) {
    return;
  }
  pObj->mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
  pObj->~ClTexAnimObj();
  KvAlignedFree(pObj);
  g_apAnimObjs[iKey - 1] = nullptr;
  --g_iNumAnimObjs;
  pWidget->setInt(gc_ANIM_OBJ_KEY.mp_uiHash, 0);
}

void systemSetCumulRenderingOn(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->setBool(gc_RENDER_CUMUL_KEY.mp_uiHash, 1);
  pWidget->setInt(gc_CUR_FORCE_FRAME_KEY.mp_uiHash, 0);
}

void systemAnimRender(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const SLayoutPlacement at = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
  const auto value = [pWidget](const SWidgetPropertyName& name) -> const void* {
    return pWidget->requireProperty(name)->mp_pData;
  };
  const u16 uiLayer = static_cast<u16>(*static_cast<const i32*>(value(gc_IMAGE_LAYER)));
  const u32 uiCanvasHash = *static_cast<const u32*>(value(gc_CANVAS));
  value(gc_FLIPBOOK_NAME);
  const u32 uiShaderHash = *static_cast<const u32*>(value(gc_TEXTURE_SHADER));
  const f32 fForcedWidth = *static_cast<const f32*>(value(gc_FORCED_WIDTH));
  value(gc_FORCED_HEIGHT);
  Cl2d::getCanvasByHash(uiCanvasHash);

  ClTexAnimObj* pObj = getWidgetAnimObj(pWidget);
  if (pObj == nullptr) {
    return;
  }
  pObj->update(static_cast<i32>(gc_uiCLOCK_GAMEPLAY));
  f32 afRect[4] = {};
  f32* pOutRect = pWidget->mp_AllChildren.getSize() > 0 ? afRect : nullptr;
  if (fForcedWidth != 0.0f) {
    KV_FATALF("Port this code to the Win32 (NOW!!!) -> [%s] in [%s], Line [%d]!", "systemAnimRender", __FILE__,
              __LINE__);
  }
  const u32 uiColor = pWidget->mp_aColorAnimators[0].mp_uiCurrentColor;
  const auto draw = [&](const SFlipBookFrame* pFrame) {
    ClUI::renderAtlasEntryData(pFrame->mp_pImage, uiShaderHash, uiColor, uiCanvasHash, uiLayer, at.mp_fX, at.mp_fY,
                               at.mp_uiScreenFlags, at.mp_uiAnchorFlags, 1.0f, pOutRect);
  };
  // The chosen frame comes from data or game code: it never reads past the flip book's frames.
  const ClFlipBook* pFlipBook = pObj->mp_curAnimators.mp_flipBookAnimator.getFlipBook();
  KV_ASSERT(pFlipBook);
  const i32 iNumFrames = pFlipBook->getNumFrames();
  const WidgetProperty* pForced = pWidget->findProperty(gc_CUR_FORCE_FRAME_KEY.mp_uiHash);
  const i32 iForced = pForced != nullptr ? *static_cast<const i32*>(pForced->mp_pData) : -1;
  if (pWidget->getInt(gc_RENDER_CUMUL_KEY) != 0) {
    const i32 iCount = iForced < iNumFrames ? iForced : iNumFrames;
    for (i32 i = 0; i < iCount; ++i) {
      draw(&pFlipBook->mp_daFrames[i]);
    }
  } else if (iForced >= 0) {
    draw(&pFlipBook->mp_daFrames[iForced < iNumFrames ? iForced : iNumFrames - 1]);
  } else {
    draw(pObj->getCurFrame());
  }
  if (pOutRect != nullptr) {
    Cl2d::pushParentWindow({afRect[0], afRect[1], afRect[2], afRect[3]});
  }
}

void playAnimOnWidget(ClWidget* pWidget, const char* pFlipBookName, bool bLoop, f32 fDelaySeconds) {
  ClTexAnimObj* pObj = requireObject(pWidget);
  pObj->playFlipBook(ClFlipBookMgr::getFlipBook(pFlipBookName), bLoop ? E_FLIPBOOK_MODE_LOOP : E_FLIPBOOK_MODE_ONCE,
                     0, fDelaySeconds);
}

void queueAnimOnWidget(ClWidget* pWidget, const char* pFlipBookName) {
  ClTexAnimObj* pObj = requireObject(pWidget);
  pObj->playFlipBook(ClFlipBookMgr::getFlipBook(pFlipBookName), E_FLIPBOOK_MODE_LOOP, 1, 0.0f);
}

void registerAnimsUIFunctions() {
  static constexpr ClUIEventSystemFunctions::SNamedProcedure s_aProcedures[] = {
      {"systemAnimInitColor", systemAnimInitColor},
      {"systemAnimRender", systemAnimRender},
      {"systemDeleteTexAnimObj", systemDeleteTexAnimObj},
      {"systemCreateTexAnimObj", systemCreateTexAnimObj},
      {"systemSetCumulRenderingOn", systemSetCumulRenderingOn},
  };
  ClUIEventSystemFunctions::registerFunctions(s_aProcedures);
}
