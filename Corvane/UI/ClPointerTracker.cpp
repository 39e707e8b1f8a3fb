#include "Corvane/UI/ClPointerTracker.h"

#include <algorithm>
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClUI.h"

SPointerGridSquare ClPointerTracker::m_aGrid[MD_GRID_SIZE][MD_GRID_SIZE] = {};
SPointerHit ClPointerTracker::m_aaHits[2][MAX_DETECTORS] = {};
u32 ClPointerTracker::m_uiNumDetectorsWithFocus[2] = {};
i32 ClPointerTracker::m_iDetectionCurBuffer = 0;
SPointerHit ClPointerTracker::m_aEntered[MAX_DETECTORS] = {};
u32 ClPointerTracker::m_uiNumEntered = 0;
SPointerHit ClPointerTracker::m_aLeft[MAX_DETECTORS] = {};
u32 ClPointerTracker::m_uiNumLeft = 0;
f32 ClPointerTracker::m_afPosition[2] = {};
f32 ClPointerTracker::m_afSavedPosition[2] = {};
f32 ClPointerTracker::m_afPrevRawPosition[2] = {};
u32 ClPointerTracker::m_abAxisLocked[2] = {};
f32 ClPointerTracker::m_afLockedMovement[2] = {};
u32 ClPointerTracker::m_bHideRequest = 0;
u32 ClPointerTracker::m_bButtonDown = 0;
u32 ClPointerTracker::m_bClicked = 0;
u32 ClPointerTracker::m_bPointerShown = 0;
char ClPointerTracker::m_acPointerImage[gc_iPOINTER_IMAGE_NAME_LEN] = {};
u32 ClPointerTracker::m_uiPointerColor = 0;

namespace {

bool listHolds(const SPointerHit* pList, u32 uiCount, const SPointerDetector* pDetector) {
  for (u32 i = 0; i < uiCount; ++i) {
    if (pList[i].mp_pDetector == pDetector) {
      return true;
    }
  }
  return false;
}

// Removes the detector from a list; later entries move up.
void removeFromList(SPointerHit* pList, u32* puiCount, const SPointerDetector* pDetector) {
  u32 uiKept = 0;
  for (u32 i = 0; i < *puiCount; ++i) {
    if (pList[i].mp_pDetector != pDetector) {
      pList[uiKept++] = pList[i];
    }
  }
  *puiCount = uiKept;
}

}  // namespace

i32 ClPointerTracker::gridColumn(f32 fX) {
  return static_cast<i32>(std::clamp(fX * static_cast<f32>(MD_GRID_SIZE), 0.0f, static_cast<f32>(MD_GRID_SIZE - 1)));
}

void ClPointerTracker::reset() {
  m_uiNumDetectorsWithFocus[0] = 0;
  m_uiNumDetectorsWithFocus[1] = 0;
  m_iDetectionCurBuffer = 0;
  m_uiNumEntered = 0;
  m_uiNumLeft = 0;
  m_acPointerImage[0] = '\0';
  m_bPointerShown = 0;
  for (i32 i = 0; i < 2; ++i) {
    m_afPosition[i] = KV_ZERO;
    m_afSavedPosition[i] = KV_ZERO;
    m_afPrevRawPosition[i] = KV_ZERO;
    m_abAxisLocked[i] = 0;
    m_afLockedMovement[i] = KV_ZERO;
  }
  m_bHideRequest = 0;
  m_bButtonDown = 0;
  m_bClicked = 0;
  freeAllDetectors();
  // Each record learns its storage place once: the pool hands frames out in storage order after a reset.
  for (i32 i = 0; i < MAX_DETECTORS; ++i) {
    m_detectorPool.alloc()->mp_iPoolIndex = i;
  }
  m_detectorPool.initialize();
}

i32 ClPointerTracker::handleOf(const SPointerDetector* pDetector) {
  KV_ASSERT(pDetector);
  return pDetector->mp_iPoolIndex + 1;
}

SPointerDetector* ClPointerTracker::detectorOfHandle(i32 iHandle) {
  for (i32 i = 0; iHandle > 0 && i < m_detectorPool.getCount(); ++i) {
    if (m_detectorPool.get(i)->mp_iPoolIndex == iHandle - 1) {
      return m_detectorPool.get(i);
    }
  }
  return nullptr;
}

bool ClPointerTracker::isRegistered(const SPointerDetector* pDetector) {
  for (i32 i = 0; i < m_detectorPool.getCount(); ++i) {
    if (m_detectorPool.get(i) == pDetector) {
      return true;
    }
  }
  return false;
}

namespace {

// Calls fn with every grid square a detector's rectangle touches, from the square of its top-left corner to that of
// its bottom-right corner, both included.
template <typename FSquare>
void forEachSquareOf(const SPointerDetector* pDetector, FSquare fn) {
  const i32 iMinX = ClPointerTracker::gridColumn(pDetector->mp_fMinX);
  const i32 iMinY = ClPointerTracker::gridColumn(pDetector->mp_fMinY);
  const i32 iMaxX = ClPointerTracker::gridColumn(pDetector->mp_fMaxX);
  const i32 iMaxY = ClPointerTracker::gridColumn(pDetector->mp_fMaxY);
  for (i32 x = iMinX; x <= iMaxX; ++x) {
    for (i32 y = iMinY; y <= iMaxY; ++y) {
      fn(ClPointerTracker::m_aGrid[x][y]);
    }
  }
}

}  // namespace

void ClPointerTracker::addToGrid(SPointerDetector* pDetector) {
  forEachSquareOf(pDetector, [pDetector](SPointerGridSquare& square) {
    SPointerDetector** ppFree = std::find(square.mp_apSlots, square.mp_apSlots + MD_GRID_DEPTH, nullptr);
    KV_ASSERT_MSG(ppFree != square.mp_apSlots + MD_GRID_DEPTH,
                  "ClPointerTracker::addToGrid() -> Too many pointer detectors allocated in a grid square. "
                  "Increase grid depth?");
    *ppFree = pDetector;
  });
}

void ClPointerTracker::removeFromGrid(SPointerDetector* pDetector) {
  forEachSquareOf(pDetector, [pDetector](SPointerGridSquare& square) {
    SPointerDetector** ppSlot = std::find(square.mp_apSlots, square.mp_apSlots + MD_GRID_DEPTH, pDetector);
    KV_ASSERT_MSG(ppSlot != square.mp_apSlots + MD_GRID_DEPTH,
                  "ClPointerTracker::removeFromGrid() -> Pointer detector not found for deletion in a grid square!");
    *ppSlot = nullptr;
  });
}

SPointerDetector* ClPointerTracker::registerDetector(void* pOwner, const f32 afMin[2], const f32 afMax[2],
                                                     u32 uiKind) {
  SPointerDetector* pNew = m_detectorPool.isFull() ? nullptr : m_detectorPool.alloc();
  KV_ASSERT(pNew);
  pNew->mp_uiKind = uiKind;
  pNew->mp_uiPad = gc_uiANY_PAD;
  pNew->mp_pOwner = pOwner;
  pNew->mp_fMinX = afMin[0];
  pNew->mp_fMinY = afMin[1];
  pNew->mp_fMaxX = afMax[0];
  pNew->mp_fMaxY = afMax[1];
  if (afMax[0] < afMin[0] || afMax[1] < afMin[1]) {
    m_detectorPool.free(pNew);
    KV_ASSERT_MSG(false, "Invalid rectangle for pointer registration!");
  }
  addToGrid(pNew);
  return pNew;
}

void ClPointerTracker::updateDetector(SPointerDetector* pDetector, const f32 afMin[2], const f32 afMax[2]) {
  KV_ASSERT(pDetector);
  KV_ASSERT_MSG(isRegistered(pDetector), "m_detectorPool.objectExists(pDetector)");
  removeFromGrid(pDetector);
  pDetector->mp_fMinX = afMin[0];
  pDetector->mp_fMinY = afMin[1];
  pDetector->mp_fMaxX = afMax[0];
  pDetector->mp_fMaxY = afMax[1];
  addToGrid(pDetector);
}

void ClPointerTracker::unregisterDetector(SPointerDetector* pDetector) {
  KV_ASSERT(pDetector);
  if (!isRegistered(pDetector)) {
    return;
  }
  removeFromGrid(pDetector);
  removeFromList(m_aaHits[0], &m_uiNumDetectorsWithFocus[0], pDetector);
  removeFromList(m_aaHits[1], &m_uiNumDetectorsWithFocus[1], pDetector);
  removeFromList(m_aEntered, &m_uiNumEntered, pDetector);
  removeFromList(m_aLeft, &m_uiNumLeft, pDetector);
  m_detectorPool.free(pDetector);
}

void ClPointerTracker::unregisterDetectorsOf(const void* pOwner) {
  for (i32 i = m_detectorPool.getCount() - 1; i >= 0; --i) {
    SPointerDetector* pDetector = m_detectorPool.get(i);
    if (pDetector->mp_pOwner == pOwner) {
      unregisterDetector(pDetector);
    }
  }
}

void ClPointerTracker::freeAllDetectors() {
  while (m_detectorPool.getCount() > 0) {
    m_detectorPool.free(m_detectorPool.get(m_detectorPool.getCount() - 1));
  }
  std::memset(m_aGrid, 0, sizeof(m_aGrid));
  m_uiNumDetectorsWithFocus[0] = 0;
  m_uiNumDetectorsWithFocus[1] = 0;
  m_uiNumEntered = 0;
  m_uiNumLeft = 0;
}

void ClPointerTracker::updatePosition() {
  if (m_afPosition[0] == gc_fPOINTER_HIDDEN) {
    m_afPosition[0] = m_afSavedPosition[0];
    m_afPosition[1] = m_afSavedPosition[1];
  }
  const f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
  if (pInputs[E_PAD_INPUT_POINTER_PRESENT] != KV_ZERO) {
    const f32 afRaw[2] = {pInputs[E_PAD_INPUT_POINTER_X], pInputs[E_PAD_INPUT_POINTER_Y]};
    for (i32 i = 0; i < 2; ++i) {
      const f32 fMovement = afRaw[i] - m_afPrevRawPosition[i];
      m_afPrevRawPosition[i] = afRaw[i];
      if (m_abAxisLocked[i]) {
        m_afLockedMovement[i] = fMovement;
      } else {
        m_afPosition[i] += fMovement;
      }
    }
  }
  if (m_bHideRequest) {
    m_afSavedPosition[0] = m_afPosition[0];
    m_afSavedPosition[1] = m_afPosition[1];
    m_afPosition[0] = gc_fPOINTER_HIDDEN;
    m_afPosition[1] = gc_fPOINTER_HIDDEN;
  }
  m_bHideRequest = 0;
}

void ClPointerTracker::tick() {
  const i32 iPrevious = m_iDetectionCurBuffer;
  m_iDetectionCurBuffer = 1 - m_iDetectionCurBuffer;
  m_uiNumDetectorsWithFocus[m_iDetectionCurBuffer] = 0;
  updatePosition();
  const f32 fButton = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_MOUSE_LEFT];
  const u32 bDown = fButton > gc_fACTION_PRESSED_THRESHOLD ? 1u : 0u;
  m_bClicked = bDown != 0 && m_bButtonDown == 0 ? 1u : 0u;
  m_bButtonDown = bDown;

  const f32 fX = m_afPosition[0];
  const f32 fY = m_afPosition[1];
  const i32 iPadGridX = gridColumn(fX);
  const i32 iPadGridY = gridColumn(fY);
  KV_ASSERT(iPadGridX >= 0 && iPadGridX < MD_GRID_SIZE);
  KV_ASSERT(iPadGridY >= 0 && iPadGridY < MD_GRID_SIZE);
  SPointerHit* pCurrent = m_aaHits[m_iDetectionCurBuffer];
  u32& uiNumCurrent = m_uiNumDetectorsWithFocus[m_iDetectionCurBuffer];
  for (SPointerDetector* pDetector : m_aGrid[iPadGridX][iPadGridY].mp_apSlots) {
    if (pDetector == nullptr || (pDetector->mp_uiPad != 0 && pDetector->mp_uiPad != gc_uiANY_PAD)) {
      continue;
    }
    if (pDetector->mp_fMinX <= fX && fX <= pDetector->mp_fMaxX && pDetector->mp_fMinY <= fY &&
        fY <= pDetector->mp_fMaxY) {
      KV_ASSERT(m_uiNumDetectorsWithFocus[m_iDetectionCurBuffer] < MAX_DETECTORS);
      pCurrent[uiNumCurrent++] = {pDetector, 0};
    }
  }

  const SPointerHit* pPrevious = m_aaHits[iPrevious];
  const u32 uiNumPrevious = m_uiNumDetectorsWithFocus[iPrevious];
  m_uiNumEntered = 0;
  for (u32 i = 0; i < uiNumCurrent; ++i) {
    if (!listHolds(pPrevious, uiNumPrevious, pCurrent[i].mp_pDetector)) {
      m_aEntered[m_uiNumEntered++] = pCurrent[i];
    }
  }
  m_uiNumLeft = 0;
  for (u32 i = 0; i < uiNumPrevious; ++i) {
    if (!listHolds(pCurrent, uiNumCurrent, pPrevious[i].mp_pDetector)) {
      m_aLeft[m_uiNumLeft++] = pPrevious[i];
    }
  }
}

void ClPointerTracker::clearCurrentHits() { m_uiNumDetectorsWithFocus[m_iDetectionCurBuffer] = 0; }

void ClPointerTracker::setDefaultPointer(u32 uiColor) {
  std::strncpy(m_acPointerImage, "PointerDefault", sizeof(m_acPointerImage) - 1);
  m_acPointerImage[sizeof(m_acPointerImage) - 1] = '\0';
  m_uiPointerColor = uiColor;
}

void ClPointerTracker::render() {
  if (!m_bPointerShown || m_acPointerImage[0] == '\0' || !Cl2d::isInitialised()) {
    return;
  }
  // The hot spots' fractions are of the display's size, in the 2D picture's pixels; the pointer's layer is drawn
  // over the display, so the image goes where that picture position shows.
  const Cl2dCanvas* pCanvas = Cl2d::getFullCanvas();
  const kv_vector2 vShown = ClGraphics::displayFrom2DPicture(
      {m_afPosition[0] * ClGraphics::mp_fScreenWidth, m_afPosition[1] * ClGraphics::mp_fScreenHeight});
  const f32 fX = (vShown.x - pCanvas->mp_fLeft) / pCanvas->mp_fScale;
  const f32 fY = (vShown.y - pCanvas->mp_fTop) / pCanvas->mp_fScale;
  static const u32 s_uiShader = KvStrHash("system_blend_premult");
  static const u32 s_uiCanvas = KvStrHash("FULL");
  ClUI::renderUITexture(m_acPointerImage, s_uiShader, m_uiPointerColor, s_uiCanvas, gc_uiPOINTER_LAYER, fX, fY,
                        gc_ui2D_ALIGN_TOP_LEFT, gc_ui2D_ALIGN_CENTRE, 1.0f);
}
