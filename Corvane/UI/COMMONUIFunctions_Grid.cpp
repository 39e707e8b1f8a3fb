#include "Corvane/UI/COMMONUIFunctions_Grid.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const SWidgetPropertyName gc_GRID_POS("gridPos");
const u32 gc_uiUI_MOVE = KvStrHash("UIMove");

// The four moves. A move scans the columns (left, right) or rows (down, up) beyond the start, nearest first, and
// scores each usable cell by the component of its unit vector along the move, signed so that a larger score is
// better (left and up negate it).
struct SGridMove {
  SWidgetPropertyName overrideName;
  u32 uiExitEventHash;
  bool bHorizontal;
  i32 iStep;  // along the move's axis: -1 towards 0, +1 away from it
};

const SGridMove gc_MOVE_LEFT{SWidgetPropertyName("gridOverrideLeft"), KvStrHash("onExitLeft"), true, -1};
const SGridMove gc_MOVE_RIGHT{SWidgetPropertyName("gridOverrideRight"), KvStrHash("onExitRight"), true, 1};
const SGridMove gc_MOVE_DOWN{SWidgetPropertyName("gridOverrideDown"), KvStrHash("onExitDown"), false, 1};
const SGridMove gc_MOVE_UP{SWidgetPropertyName("gridOverrideUp"), KvStrHash("onExitUp"), false, -1};

struct SCell {
  i32 iX;
  i32 iY;
  bool isNone() const { return iX == -1 && iY == -1; }
  bool isInTable() const {
    return iX >= 0 && iX < gc_iWIDGET_GRID_SIZE && iY >= 0 && iY < gc_iWIDGET_GRID_SIZE;
  }
  i32 index() const { return iX * gc_iWIDGET_GRID_SIZE + iY; }
};

SCell gridXYOf(const ClWidget* pWidget, const SWidgetPropertyName& name) {
  SCell cell;
  pWidget->getGridXY(name, &cell.iX, &cell.iY);
  return cell;
}

// A cell read at move time: one outside the table (or with a single coordinate set) counts as none.
SCell tableCellOf(const ClWidget* pWidget, const SWidgetPropertyName& name) {
  const SCell cell = gridXYOf(pWidget, name);
  return cell.isInTable() ? cell : SCell{-1, -1};
}

bool isExclusivelyAvailable(const ClWidget* pWidget) {
  const ClDynamicVector<ClWidget*>& exclusive = ClUI::mp_daExclusiveAvailableWidgets;
  if (exclusive.getCount() == 0) {
    return true;
  }
  for (i32 i = 0; i < exclusive.getCount(); ++i) {
    if (exclusive[i] == pWidget) {
      return true;
    }
  }
  return false;
}

// The widget of a usable cell (in the table), or null.
ClWidget* usableWidgetAt(const SWidgetGrid& grid, SCell cell) {
  ClWidget* pWidget = grid.mp_apCells[cell.index()];
  if (pWidget == nullptr || !pWidget->mp_bVisible || !isExclusivelyAvailable(pWidget) ||
      pWidget->getInt(gc_GRID_DISABLED) != 0) {
    return nullptr;
  }
  return pWidget;
}

// No call data, a call without parameters or a parameter 0 of another type: on. INT or FLOAT: on above 0.
bool soundSwitch(const WidgetEventProcedureCall* pData) {
  if (pData == nullptr || pData->mp_iNumberWidgetEventProcedureCallDatas <= 0) {
    return true;
  }
  switch (pData->mp_ppWidgetEventProcedureCallDatas[0]->mp_eType) {
    case E_ESCP_TYPE_INT:
      return getParamInt(pData, 0) > 0;
    case E_ESCP_TYPE_FLOAT:
      return getParamFloat(pData, 0) > 0.0f;
    default:
      return true;
  }
}

// The pad of the first focus entry that holds the widget, or -1.
i32 focusPadOf(const ClWidget* pWidget) {
  for (i32 i = 0; i < ClUI::mp_iNumFocus; ++i) {
    if (ClUI::mp_aFocus[i].mp_pWidget == pWidget) {
      return static_cast<i32>(ClUI::mp_aFocus[i].mp_uiPad);
    }
  }
  return -1;
}

void giveFocus(ClWidget* pGrid, ClWidget* pTarget, u32 uiPad, bool bSound, SCell lastCell) {
  if (bSound) {
    ClAudioManager::playCue(gc_uiUI_MOVE);
  }
  ClUI::setFocus(pTarget, uiPad);
  pGrid->mp_iGridX = lastCell.iX;
  pGrid->mp_iGridY = lastCell.iY;
}

// Focus into the grid when no focused widget stands behind the event. The grid records the target's cell when the
// target holds that cell of its table, else (-1, -1).
void enterGrid(ClWidget* pGrid, bool bSound) {
  ClWidget* pTarget = gridFindFirstFocusable(pGrid);
  if (pTarget == nullptr && ClUI::mp_pPointerExclusiveWidget != nullptr) {
    pTarget = gridFindFirstFocusable(ClUI::mp_pPointerExclusiveWidget);
  }
  if (pTarget == nullptr) {
    return;
  }
  SCell cell = tableCellOf(pTarget, gc_GRID_POS);
  if (cell.isNone() || pGrid->mp_pWidgetGrid->mp_apCells[cell.index()] != pTarget) {
    cell = {-1, -1};
  }
  giveFocus(pGrid, pTarget, gc_uiANY_PAD, bSound, cell);
}

// The best usable cell beyond the start in the move's scan order, or {-1, -1}. One copy per axis keeps the scan's
// inner loop free of the axis test.
template <bool bHorizontal>
SCell searchMove(const SWidgetGrid& grid, const SGridMove& move, SCell start) {
  const f32 fSign = move.iStep < 0 ? -1.0f : 1.0f;
  f32 fBest = -999.0f;
  SCell best{-1, -1};
  // The score is worked out before the widget is looked at: most cells lose on it alone.
  const auto visit = [&](i32 iX, i32 iY) {
    if (grid.mp_apCells[iX * gc_iWIDGET_GRID_SIZE + iY] == nullptr) {
      return;
    }
    // The move's component of the unit vector, as normalising the whole vector gives it; the vector is never zero
    // (the start's own column or row is not scanned). A sum of squares needs no checked square root.
    const kv_vector2 direction{static_cast<f32>(iX - start.iX), static_cast<f32>(iY - start.iY)};
    const f32 fScore = fSign * ((bHorizontal ? direction.x : direction.y) / std::sqrt(direction.lengthSquared()));
    if (fScore > fBest && usableWidgetAt(grid, {iX, iY}) != nullptr) {
      fBest = fScore;
      best = {iX, iY};
    }
  };
  const i32 iWidth = static_cast<i32>(grid.mp_uiWidth);
  const i32 iHeight = static_cast<i32>(grid.mp_uiHeight);
  if constexpr (bHorizontal) {
    for (i32 iX = start.iX + move.iStep; iX >= 0 && iX < iWidth; iX += move.iStep) {
      for (i32 iY = 0; iY < iHeight; ++iY) {
        visit(iX, iY);
      }
    }
  } else {
    for (i32 iX = 0; iX < iWidth; ++iX) {
      for (i32 iY = start.iY + move.iStep; iY >= 0 && iY < iHeight; iY += move.iStep) {
        visit(iX, iY);
      }
    }
  }
  return best;
}

void handleMove(ClWidget* pGrid, WidgetEventProcedureCall* pData, const SGridMove& move) {
  KV_ASSERT_MSG(pGrid->mp_pWidgetGrid != nullptr, "pThis->mp_pWidgetGrid");
  const SWidgetGrid& grid = *pGrid->mp_pWidgetGrid;
  const bool bSound = soundSwitch(pData);

  const ClDynamicVector<ClWidget*>& forwarding = ClUI::mp_daEventForwardingStack;
  ClWidget* pSource = forwarding.getCount() > 0 ? forwarding[0] : nullptr;
  const i32 iPad = pSource != nullptr ? focusPadOf(pSource) : -1;
  if (iPad < 0) {
    enterGrid(pGrid, bSound);
    return;
  }

  SCell start = tableCellOf(pSource, gc_GRID_POS);
  const SCell override = tableCellOf(pSource, move.overrideName);
  SCell target{-1, -1};
  if (!override.isNone()) {
    if (usableWidgetAt(grid, override) != nullptr) {
      target = override;
    } else {
      start = override;
    }
  }
  if (target.isNone()) {
    if (start.isNone()) {
      start = {pGrid->mp_iGridX, pGrid->mp_iGridY};
    }
    target = move.bHorizontal ? searchMove<true>(grid, move, start) : searchMove<false>(grid, move, start);
  }
  if (target.isNone()) {
    pGrid->callEvent(move.uiExitEventHash);
    return;
  }
  giveFocus(pGrid, grid.mp_apCells[target.index()], static_cast<u32>(iPad), bSound, target);
}

// Puts the descendants of pWidget with a cell into the table, depth first in child order; raises the largest x, y.
void registerDescendants(ClWidget* pGrid, ClWidget* pWidget, f32* pfMaxX, f32* pfMaxY) {
  SWidgetGrid& grid = *pGrid->mp_pWidgetGrid;
  for (u32 i = 0; i < pWidget->mp_AllChildren.getSize(); ++i) {
    ClWidget* pChild = pWidget->mp_AllChildren[i];
    const SCell cell = gridXYOf(pChild, gc_GRID_POS);
    if (cell.iX != -1) {
      KV_ASSERT_MSG(cell.iY != -1, "gridVal.mp_iY!=-1");
      KV_ASSERTF(cell.isInTable(), "Grid element [%s] of grid [%s] at (%d, %d) lies outside the %d x %d table!",
                 pChild->getName(), pGrid->getName(), cell.iX, cell.iY, gc_iWIDGET_GRID_SIZE, gc_iWIDGET_GRID_SIZE);
      KV_ASSERTF(grid.mp_apCells[cell.index()] == nullptr, "Duplicate grid elements in grid [%s] at (%d, %d)!",
                 pGrid->getName(), cell.iX, cell.iY);
      *pfMaxX = std::max(*pfMaxX, static_cast<f32>(cell.iX));
      *pfMaxY = std::max(*pfMaxY, static_cast<f32>(cell.iY));
      grid.mp_apCells[cell.index()] = pChild;
    }
    if (pChild->mp_AllChildren.getSize() > 0) {
      registerDescendants(pGrid, pChild, pfMaxX, pfMaxY);
    }
  }
}

}  // namespace

void systemGridRegisterChildren(ClWidget* pThis, WidgetEventProcedureCall*) {
  KvAlignedFree(pThis->mp_pWidgetGrid);
  pThis->mp_pWidgetGrid = static_cast<SWidgetGrid*>(KvAlignedAlloc(sizeof(SWidgetGrid), 16));
  KV_ASSERT(pThis->mp_pWidgetGrid);
  std::memset(pThis->mp_pWidgetGrid, 0, sizeof(SWidgetGrid));
  ClUI::noteGridOwner(pThis, true);
  f32 fMaxX = 0.0f;
  f32 fMaxY = 0.0f;
  registerDescendants(pThis, pThis, &fMaxX, &fMaxY);
  pThis->mp_pWidgetGrid->mp_uiWidth = static_cast<u32>(fMaxX) + 1;
  pThis->mp_pWidgetGrid->mp_uiHeight = static_cast<u32>(fMaxY) + 1;
}

void systemGridHandleLeft(ClWidget* pThis, WidgetEventProcedureCall* pData) { handleMove(pThis, pData, gc_MOVE_LEFT); }
void systemGridHandleRight(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  handleMove(pThis, pData, gc_MOVE_RIGHT);
}
void systemGridHandleDown(ClWidget* pThis, WidgetEventProcedureCall* pData) { handleMove(pThis, pData, gc_MOVE_DOWN); }
void systemGridHandleUp(ClWidget* pThis, WidgetEventProcedureCall* pData) { handleMove(pThis, pData, gc_MOVE_UP); }

void systemSetFocusAndSnapPointer(ClWidget*, WidgetEventProcedureCall* pData) {
  setFocusAndSnapPointer(ClUI::findWidget(getParamID(pData, 0)));
}

void setFocusAndSnapPointer(ClWidget* pWidget) {
  const i32 iPad = pWidget != nullptr ? focusPadOf(pWidget) : -1;
  ClUI::setFocus(pWidget, iPad >= 0 ? static_cast<u32>(iPad) : gc_uiANY_PAD);
}

ClWidget* gridFindFirstFocusable(ClWidget* pWidget) {
  for (u32 i = 0; i < pWidget->mp_AllChildren.getSize(); ++i) {
    ClWidget* pChild = pWidget->mp_AllChildren[i];
    const SCell cell = gridXYOf(pChild, gc_GRID_POS);
    if (cell.iX >= 0 && cell.iY >= 0 && pChild->mp_bVisible) {
      return pChild;
    }
    if (ClWidget* pFound = gridFindFirstFocusable(pChild)) {
      return pFound;
    }
  }
  return nullptr;
}

void gridRemoveWidget(ClWidget* pWidget) {
  const SCell cell = gridXYOf(pWidget, gc_GRID_POS);
  if (!cell.isNone()) {
    ClWidget* pOwner = pWidget->mp_pParent;
    while (pOwner != nullptr && pOwner->mp_pWidgetGrid == nullptr) {
      pOwner = pOwner->mp_pParent;
    }
    // Only the widget's own cell is cleared: a cell that another widget holds stays with it.
    if (pOwner != nullptr && cell.isInTable() && pOwner->mp_pWidgetGrid->mp_apCells[cell.index()] == pWidget) {
      pOwner->mp_pWidgetGrid->mp_apCells[cell.index()] = nullptr;
    }
    pWidget->setGridXY(gc_GRID_POS.mp_uiHash, -1, -1);
  }
  for (u32 i = 0; i < pWidget->mp_AllChildren.getSize(); ++i) {
    gridRemoveWidget(pWidget->mp_AllChildren[i]);
  }
}

void registerGridUIFunctions() {
  struct SEntry {
    const char* pName;
    WidgetEventProcedure pfnProcedure;
  };
  static constexpr SEntry s_aEntries[] = {
      {"systemGridRegisterChildren", systemGridRegisterChildren},
      {"systemGridHandleLeft", systemGridHandleLeft},
      {"systemGridHandleRight", systemGridHandleRight},
      {"systemGridHandleDown", systemGridHandleDown},
      {"systemGridHandleUp", systemGridHandleUp},
      {"systemSetFocusAndSnapPointer", systemSetFocusAndSnapPointer},
  };
  for (const SEntry& entry : s_aEntries) {
    ClUIEventSystemFunctions::registerFunction(KvStrHash(entry.pName), entry.pfnProcedure);
  }
}
