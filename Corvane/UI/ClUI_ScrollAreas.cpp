// Drag-scrolled areas: the pointer drags an area's list of children up and down; after a drag the list
// keeps its momentum, and past either end it springs back. Offsets and velocities are in screen pixels; the
// time step is the gameplay clock's, which is 0 while the game is paused.
#include <cmath>
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/KvUIPropertyNames.h"

ClDynamicVector<SScrollFingerArea*> ClUI::mp_daScrollAreas;
SScrollFingerArea* ClUI::mp_pCapturedScrollArea = nullptr;
u32 ClUI::mp_bScrollDragging = 0;
f32 ClUI::mp_afScrollCapturePosition[2] = {};
f32 ClUI::mp_afScrollLastPosition[2] = {};
u32 ClUI::mp_bScrollAreaRegisteredThisFrame = 0;

namespace {

// How far (pixels) the pointer moves vertically from the capture before a drag starts.
constexpr f32 gc_fDRAG_THRESHOLD = 0.0f;
// What is left of a spring-back offset or a momentum velocity after one frame.
constexpr f32 gc_fSCROLL_DAMPING = 0.85f;
// The share of the distance back to the end that a list scrolled past its end recovers in one frame.
constexpr f32 gc_fSCROLL_END_PULL = 0.14999998f;
// The vertical offset of a LAYOUT value (a float in word 5).
constexpr i32 gc_iLAYOUT_Y_WORD = 5;

f32 layoutY(const void* pLayout) {
  f32 fY;
  std::memcpy(&fY, static_cast<const u8*>(pLayout) + gc_iLAYOUT_Y_WORD * 4, sizeof(fY));
  return fY;
}

// The drag of the captured area: the list follows the pointer, half as far when pulled beyond an end.
void dragArea(SScrollFingerArea* pArea, f32 fPointerY, f32 fDT) {
  const f32 fV = pArea->mp_fViewBottom - pArea->mp_fViewTop;
  const f32 fL = pArea->mp_fListHeight;
  f32 fDelta = fPointerY - ClUI::mp_afScrollLastPosition[1];
  const f32 fOffset = pArea->mp_fOffset;
  if (fOffset > KV_ZERO || (fL >= fV && fOffset + fL < fV) || (fV > fL && fOffset < KV_ZERO)) {
    fDelta *= 0.5f;
  }
  pArea->mp_fOffset += fDelta;
  // A paused gameplay clock gives no time step: the velocity stays what it was.
  if (fDT > KV_ZERO) {
    pArea->mp_fVelocity = fDelta / fDT;
  }
}

// An area that is not dragged: spring back from beyond either end, else coast.
void settleArea(SScrollFingerArea* pArea, f32 fDT) {
  const f32 fV = pArea->mp_fViewBottom - pArea->mp_fViewTop;
  const f32 fL = pArea->mp_fListHeight;
  f32& fOffset = pArea->mp_fOffset;
  if (fOffset > KV_ZERO || (fV > fL && fOffset < KV_ZERO)) {
    fOffset *= gc_fSCROLL_DAMPING;
    pArea->mp_fVelocity = KV_ZERO;
  } else if (fL >= fV && fV > fOffset + fL) {
    fOffset += (fV - fL - fOffset) * gc_fSCROLL_END_PULL;
    pArea->mp_fVelocity = KV_ZERO;
  } else if (fDT > KV_ZERO) {
    fOffset += pArea->mp_fVelocity * fDT;
    pArea->mp_fVelocity *= gc_fSCROLL_DAMPING;
  }
}

// Positions the area's children on the scrolled layout and shows those inside the view.
void layOutArea(const SScrollFingerArea* pArea) {
  ClWidget* pWidget = pArea->mp_pAreaWidget;
  KV_ASSERT(pWidget);
  const f32 fScale = Cl2d::getCanvasByHash(pArea->mp_uiCanvasHash)->mp_fScale;
  const f32 fV = pArea->mp_fViewBottom - pArea->mp_fViewTop;
  const f32 fOffset = pArea->mp_fOffset;

  u8 auiLayout[gc_iLAYOUT_SIZE];
  std::memcpy(auiLayout, pWidget->getLayout(gc_SCROLL_AREA_LAYOUT), gc_iLAYOUT_SIZE);
  (void)pWidget->getLayout(gc_MOVING_WIDGET_LAYOUT_FOR_CHILDREN);
  const f32 fMovedY = layoutY(auiLayout) + fOffset / fScale;
  std::memcpy(auiLayout + gc_iLAYOUT_Y_WORD * 4, &fMovedY, sizeof(fMovedY));
  pWidget->setLayout(gc_MOVING_WIDGET_LAYOUT_FOR_CHILDREN.mp_uiHash, auiLayout);

  // The last two children always pass the top test (an area with fewer has only those); any child below
  // the view is hidden. Each child's visibility is decided first and set once, so a child that stays hidden
  // fires no events.
  const i32 iNumChildren = static_cast<i32>(pWidget->mp_AllChildren.getSize());
  const i32 iFirstAlwaysShown = iNumChildren >= 2 ? iNumChildren - 2 : 0;
  for (i32 i = 0; i < iNumChildren; ++i) {
    ClWidget* pChild = pWidget->mp_AllChildren[static_cast<u32>(i)];
    const f32 fY = layoutY(pChild->getLayout(gc_WIDGET_LAYOUT));
    bool bVisible = i >= iFirstAlwaysShown || fOffset / fScale + fY + pArea->mp_fTopMargin >= KV_ZERO;
    if (fY * fScale + fOffset > fV) {
      bVisible = false;
    }
    pChild->setVisible(bVisible ? 1u : 0u);
  }
}

}  // namespace

void ClUI::registerScrollArea(SScrollFingerArea* pArea) {
  KV_ASSERT(pArea);
  if (!mp_daScrollAreas.isInitialized()) {
    mp_daScrollAreas.initialize();
  }
  if (!isScrollAreaRegistered(pArea)) {
    mp_daScrollAreas.append(pArea);
  }
  mp_bScrollAreaRegisteredThisFrame = 1;
}

bool ClUI::isScrollAreaRegistered(const SScrollFingerArea* pArea) {
  for (i32 i = 0; mp_daScrollAreas.isInitialized() && i < mp_daScrollAreas.getCount(); ++i) {
    if (mp_daScrollAreas[i] == pArea) {
      return true;
    }
  }
  return false;
}

void ClUI::unregisterScrollArea(SScrollFingerArea* pArea) {
  if (!mp_daScrollAreas.isInitialized()) {
    return;
  }
  for (i32 i = mp_daScrollAreas.getCount() - 1; i >= 0; --i) {
    if (mp_daScrollAreas[i] == pArea) {
      mp_daScrollAreas.erase(i);
    }
  }
  if (mp_pCapturedScrollArea == pArea) {
    mp_pCapturedScrollArea = nullptr;
    mp_bScrollDragging = 0;
  }
}

void ClUI::updateScrollAreas() {
  if (!mp_daScrollAreas.isInitialized()) {
    return;
  }
  const f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
  const f32 afPointer[2] = {pInputs[E_PAD_INPUT_POINTER_X] * ClGraphics::mp_fScreenWidth,
                            pInputs[E_PAD_INPUT_POINTER_Y] * ClGraphics::mp_fScreenHeight};
  const f32 fDT = ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;

  if (pInputs[E_PAD_INPUT_POINTER_PRESENT] == KV_ZERO) {
    mp_pCapturedScrollArea = nullptr;
    mp_bScrollDragging = 0;
  } else if (mp_pCapturedScrollArea == nullptr) {
    for (u32 i = 0; i < ClPointerTracker::m_uiNumEntered; ++i) {
      const SPointerDetector* pDetector = ClPointerTracker::m_aEntered[i].mp_pDetector;
      if (pDetector->mp_uiKind == E_POINTER_DETECTOR_SCROLL_AREA) {
        mp_pCapturedScrollArea = static_cast<SScrollFingerArea*>(pDetector->mp_pOwner);
        for (i32 j = 0; j < 2; ++j) {
          mp_afScrollCapturePosition[j] = afPointer[j];
          mp_afScrollLastPosition[j] = afPointer[j];
        }
        mp_pCapturedScrollArea->mp_fVelocity = KV_ZERO;
        break;
      }
    }
  }

  for (i32 i = 0; i < mp_daScrollAreas.getCount(); ++i) {
    SScrollFingerArea* pArea = mp_daScrollAreas[i];
    if (pArea != mp_pCapturedScrollArea) {
      settleArea(pArea, fDT);
      continue;
    }
    if (!mp_bScrollDragging) {
      if (!(std::fabs(afPointer[1] - mp_afScrollCapturePosition[1]) > gc_fDRAG_THRESHOLD)) {
        continue;
      }
      mp_bScrollDragging = 1;
      mp_afScrollLastPosition[0] = afPointer[0];
      mp_afScrollLastPosition[1] = afPointer[1];
    }
    dragArea(pArea, afPointer[1], fDT);
    mp_afScrollLastPosition[0] = afPointer[0];
    mp_afScrollLastPosition[1] = afPointer[1];
  }

  for (i32 i = 0; i < mp_daScrollAreas.getCount(); ++i) {
    layOutArea(mp_daScrollAreas[i]);
  }
}
