#include "Corvane/ADT/ClSimpleHashTable.h"

#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

bool powof2(i32 iValue) { return iValue > 0 && (iValue & (iValue - 1)) == 0; }

// Keys take 4 bytes a slot; the values follow at the next 8-byte boundary (only N = 1 needs padding).
size_t valueOffset(i32 iSlots) { return (static_cast<size_t>(iSlots) * sizeof(u32) + 7) & ~size_t(7); }
size_t blockBytes(i32 iSlots) { return valueOffset(iSlots) + static_cast<size_t>(iSlots) * sizeof(uintptr_t); }

}  // namespace

void ClSimpleHashTable::initialize(i32 iMaxAllocs) {
  KV_ASSERT(powof2(iMaxAllocs));
  m_iMaxAllocs = iMaxAllocs;
  m_iCount = 0;
  void* pBlock = KvAlignedAlloc(blockBytes(iMaxAllocs), 16);
  if (pBlock == nullptr) {
    // A table without a block would drop every insert and answer 0 to every lookup: stop instead.
    KV_FATAL("Could not allocate mpr_pTable!");
  }
  std::memset(pBlock, 0, blockBytes(iMaxAllocs));
  mpr_pTable = static_cast<u32*>(pBlock);
  mpr_pValues = reinterpret_cast<uintptr_t*>(static_cast<u8*>(pBlock) + valueOffset(iMaxAllocs));
  mpr_bDidAllocateTable = 1;
}

void ClSimpleHashTable::terminate() {
  if (mpr_pTable != nullptr) {
    std::memset(mpr_pTable, 0, blockBytes(m_iMaxAllocs));
  }
  m_iCount = 0;
  if (mpr_bDidAllocateTable) {
    KvAlignedFree(mpr_pTable);
  }
  mpr_bDidAllocateTable = 0;
  mpr_pTable = nullptr;
  mpr_pValues = nullptr;
  m_iMaxAllocs = 0;
}

void ClSimpleHashTable::insert(u32 id, uintptr_t uiValue) {
  KV_ASSERT(id != 0);
  KV_ASSERT_MSG(m_iCount < m_iMaxAllocs, "Simple Hash Table overflow!");
  if (mpr_pTable == nullptr) {
    return;
  }
  const u32 uiMask = static_cast<u32>(m_iMaxAllocs) - 1;
  u32 uiSlot = id & uiMask;
  while (mpr_pTable[uiSlot] != 0) {
    KV_ASSERT_MSG(mpr_pTable[uiSlot] != id, "Simple Hash Table COLLISION/DUPLICATE KEY!");
    uiSlot = (uiSlot - 1) & uiMask;
  }
  mpr_pTable[uiSlot] = id;
  mpr_pValues[uiSlot] = uiValue;
  ++m_iCount;
}

uintptr_t ClSimpleHashTable::remove(u32 id) {
  KV_ASSERT(id != 0);
  if (mpr_pTable == nullptr) {
    return 0;
  }
  const i32 iFound = KvHashSlotSearch(mpr_pTable, m_iMaxAllocs, id);
  if (iFound < 0) {
    return 0;
  }
  const u32 uiMask = static_cast<u32>(m_iMaxAllocs) - 1;
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
    insert(uiKey, uiValue);
    uiSlot = (uiSlot - 1) & uiMask;
  }
  return uiRemoved;
}

uintptr_t ClSimpleHashTable::findByName(const char* pName) const {
  KvCheckPointer(pName);
  return find(KvStrHash(pName));
}
