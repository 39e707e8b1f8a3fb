#include "Corvane/ADT/ClDynamicHashTable.h"

#include <cstring>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

bool powof2(i32 iValue) { return iValue > 0 && (iValue & (iValue - 1)) == 0; }

// Keys take 4 bytes a slot; the values follow at the next 8-byte boundary (only N = 1 needs padding).
size_t valueOffset(i32 iSlots) { return (static_cast<size_t>(iSlots) * sizeof(u32) + 7) & ~size_t(7); }
size_t blockBytes(i32 iSlots) { return valueOffset(iSlots) + static_cast<size_t>(iSlots) * sizeof(uintptr_t); }

uintptr_t* valuesOf(u32* pTable, i32 iSlots) {
  return reinterpret_cast<uintptr_t*>(reinterpret_cast<u8*>(pTable) + valueOffset(iSlots));
}

}  // namespace

void ClDynamicHashTable::initialize(i32 iInitialAllocNumEntries) {
  KV_ASSERT(!mpr_bDidAllocateTable);
  KV_ASSERT(iInitialAllocNumEntries);
  KV_ASSERT(powof2(iInitialAllocNumEntries));
  m_iCapacity = iInitialAllocNumEntries;
  m_iCount = 0;
  mpr_pTable = static_cast<u32*>(KvAlignedAlloc(blockBytes(m_iCapacity), 16));
  if (mpr_pTable == nullptr) {
    KV_FATAL("Could not allocate mpr_pTable!");
  }
  mpr_bDidAllocateTable = 1;
  std::memset(mpr_pTable, 0, blockBytes(m_iCapacity));
  mpr_pValues = valuesOf(mpr_pTable, m_iCapacity);
}

void ClDynamicHashTable::terminate() {
  if (mpr_pTable != nullptr) {
    std::memset(mpr_pTable, 0, blockBytes(m_iCapacity));
  }
  if (mpr_bDidAllocateTable) {
    KvAlignedFree(mpr_pTable);
  }
  mpr_bDidAllocateTable = 0;
  mpr_pTable = nullptr;
  mpr_pValues = nullptr;
  m_iCapacity = 0;
  m_iCount = 0;
}

void ClDynamicHashTable::insert(u32 id, uintptr_t uiValue) {
  KV_ASSERT(id != 0);
  KV_ASSERT(mpr_pTable);
  if (!mpr_bDidAllocateTable) {
    return;
  }
  if (m_iCount == m_iCapacity) {
    grow();
  }
  const u32 uiMask = static_cast<u32>(m_iCapacity) - 1;
  u32 uiSlot = id & uiMask;
  while (mpr_pTable[uiSlot] != 0) {
    KV_ASSERT_MSG(mpr_pTable[uiSlot] != id, "Dynamic Hash Table COLLISION/DUPLICATE KEY!");
    uiSlot = (uiSlot - 1) & uiMask;
  }
  mpr_pTable[uiSlot] = id;
  mpr_pValues[uiSlot] = uiValue;
  ++m_iCount;
}

void ClDynamicHashTable::grow() {
  u32* const pOldTable = mpr_pTable;
  const uintptr_t* const pOldValues = mpr_pValues;
  const i32 iOldCapacity = m_iCapacity;

  const i32 iNewCapacity = iOldCapacity * 2;
  u32* const pNewTable = static_cast<u32*>(KvAlignedAlloc(blockBytes(iNewCapacity), 16));
  KV_ASSERT_MSG(pNewTable != nullptr, "mpr_pTable");
  std::memset(pNewTable, 0, blockBytes(iNewCapacity));
  mpr_pTable = pNewTable;
  mpr_pValues = valuesOf(pNewTable, iNewCapacity);
  m_iCapacity = iNewCapacity;
  m_iCount = 0;
  for (i32 i = 0; i < iOldCapacity; ++i) {
    if (pOldTable[i] != 0) {
      insert(pOldTable[i], pOldValues[i]);
    }
  }
  KvAlignedFree(pOldTable);
}

uintptr_t ClDynamicHashTable::remove(u32 id) {
  KV_ASSERT(id != 0);
  if (mpr_pTable == nullptr) {
    return 0;
  }
  const i32 iFound = KvHashSlotSearch(mpr_pTable, m_iCapacity, id);
  if (iFound < 0) {
    return 0;
  }
  const u32 uiMask = static_cast<u32>(m_iCapacity) - 1;
  u32 uiSlot = static_cast<u32>(iFound);
  const uintptr_t uiRemoved = mpr_pValues[uiSlot];
  mpr_pTable[uiSlot] = 0;
  mpr_pValues[uiSlot] = 0;
  --m_iCount;

  // Entries below the freed slot may have probed past it; put each back by the insert rule so that none
  // is left behind an empty slot. The walk ends at the first empty slot.
  uiSlot = (uiSlot - 1) & uiMask;
  for (const u32* pHash = mpr_pTable + uiSlot; *pHash != 0; pHash = mpr_pTable + uiSlot) {
    KV_ASSERT(pHash >= mpr_pTable);
    const u32 uiKey = *pHash;
    const uintptr_t uiValue = mpr_pValues[uiSlot];
    mpr_pTable[uiSlot] = 0;
    mpr_pValues[uiSlot] = 0;
    --m_iCount;
    insert(uiKey, uiValue);
    uiSlot = (uiSlot - 1) & uiMask;
  }
  return uiRemoved;
}
