#include "Corvane/ADT/ClHashSlotBlock.h"

#include <cstring>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

// Keys take 4 bytes a slot; the values follow at the next 8-byte boundary (only N = 1 needs padding), then a
// 16-bit reach a slot.
size_t valueOffset(i32 iSlots) { return (static_cast<size_t>(iSlots) * sizeof(u32) + 7) & ~size_t(7); }
size_t reachOffset(i32 iSlots) { return valueOffset(iSlots) + static_cast<size_t>(iSlots) * sizeof(uintptr_t); }
size_t blockBytes(i32 iSlots) { return reachOffset(iSlots) + static_cast<size_t>(iSlots) * sizeof(u16); }

uintptr_t* valuesOf(u32* pTable, i32 iSlots) {
  return reinterpret_cast<uintptr_t*>(reinterpret_cast<u8*>(pTable) + valueOffset(iSlots));
}
u16* reachOf(u32* pTable, i32 iSlots) {
  return reinterpret_cast<u16*>(reinterpret_cast<u8*>(pTable) + reachOffset(iSlots));
}

// A zero-filled block of iSlots slots, or null.
u32* newBlock(i32 iSlots) {
  u32* const pTable = static_cast<u32*>(KvAlignedAlloc(blockBytes(iSlots), 16));
  if (pTable != nullptr) {
    std::memset(pTable, 0, blockBytes(iSlots));
  }
  return pTable;
}

}  // namespace

bool ClHashSlotBlock::allocateBlock(i32 iSlots) {
  m_iSlots = iSlots;
  m_iCount = 0;
  u32* const pTable = newBlock(iSlots);
  if (pTable == nullptr) {
    return false;
  }
  mpr_pTable = pTable;
  mpr_pValues = valuesOf(pTable, iSlots);
  mpr_pReach = reachOf(pTable, iSlots);
  mpr_bDidAllocateTable = 1;
  return true;
}

void ClHashSlotBlock::releaseBlock() {
  if (mpr_pTable != nullptr) {
    std::memset(mpr_pTable, 0, blockBytes(m_iSlots));
  }
  if (mpr_bDidAllocateTable) {
    KvAlignedFree(mpr_pTable);
  }
  mpr_bDidAllocateTable = 0;
  mpr_pTable = nullptr;
  mpr_pValues = nullptr;
  mpr_pReach = nullptr;
  m_iSlots = 0;
  m_iCount = 0;
}

bool ClHashSlotBlock::reallocateBlock(i32 iSlots, const char* pDuplicateMessage) {
  u32* const pNewTable = newBlock(iSlots);
  if (pNewTable == nullptr) {
    return false;
  }
  u32* const pOldTable = mpr_pTable;
  const uintptr_t* const pOldValues = mpr_pValues;
  const i32 iOldSlots = m_iSlots;
  mpr_pTable = pNewTable;
  mpr_pValues = valuesOf(pNewTable, iSlots);
  mpr_pReach = reachOf(pNewTable, iSlots);
  m_iSlots = iSlots;
  m_iCount = 0;
  for (i32 i = 0; i < iOldSlots; ++i) {
    if (pOldTable[i] != 0) {
      placeEntry(pOldTable[i], pOldValues[i], pDuplicateMessage);
    }
  }
  KvAlignedFree(pOldTable);
  return true;
}

void ClHashSlotBlock::placeEntry(u32 id, uintptr_t uiValue, const char* pDuplicateMessage) {
  const u32 uiMask = static_cast<u32>(m_iSlots) - 1;
  const u32 uiHome = id & uiMask;
  u32 uiSlot = uiHome;
  while (mpr_pTable[uiSlot] != 0) {
    KV_ASSERT_MSG(mpr_pTable[uiSlot] != id, pDuplicateMessage);
    uiSlot = (uiSlot - 1) & uiMask;
  }
  mpr_pTable[uiSlot] = id;
  mpr_pValues[uiSlot] = uiValue;
  ++m_iCount;
  // Slots a look-up of this key examines, its own included; 0xFFFF stays "no bound" once reached.
  const u32 uiExamined = ((uiHome - uiSlot) & uiMask) + 1;
  u16& uiReach = mpr_pReach[uiHome];
  if (uiReach != 0xFFFFu && uiExamined > uiReach) {
    uiReach = static_cast<u16>(uiExamined < 0xFFFFu ? uiExamined : 0xFFFFu);
  }
}

uintptr_t ClHashSlotBlock::removeEntry(u32 id, const char* pDuplicateMessage) {
  if (mpr_pTable == nullptr) {
    return 0;
  }
  const i32 iFound = id == 0 ? -1 : findSlot(id);
  if (iFound < 0) {
    return 0;
  }
  const u32 uiMask = static_cast<u32>(m_iSlots) - 1;
  u32 uiSlot = static_cast<u32>(iFound);
  const uintptr_t uiRemoved = mpr_pValues[uiSlot];
  mpr_pTable[uiSlot] = 0;
  mpr_pValues[uiSlot] = 0;
  --m_iCount;

  // Entries below the freed slot may have probed past it; put each back by the insert rule so that none
  // is left behind an empty slot. The walk ends at the first empty slot.
  uiSlot = (uiSlot - 1) & uiMask;
  while (mpr_pTable[uiSlot] != 0) {
    const u32 uiKey = mpr_pTable[uiSlot];
    const uintptr_t uiValue = mpr_pValues[uiSlot];
    mpr_pTable[uiSlot] = 0;
    mpr_pValues[uiSlot] = 0;
    --m_iCount;
    placeEntry(uiKey, uiValue, pDuplicateMessage);
    uiSlot = (uiSlot - 1) & uiMask;
  }
  return uiRemoved;
}
