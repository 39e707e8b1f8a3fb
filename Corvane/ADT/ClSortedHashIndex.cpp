#include "Corvane/ADT/ClSortedHashIndex.h"

#include "Corvane/Memory/KvAlloc.h"

i32 KvSortedHashSearch(const i32* piKeys, i32 iCount, i32 iKey, E_SORTED_HASH_ORDER eOrder) {
  i32 iLo = 0;
  i32 iHi = iCount - 1;
  while (iLo <= iHi) {
    const i32 iMid = (iLo + iHi) / 2;
    const i32 iAt = piKeys[iMid];
    if (iAt == iKey) {
      return iMid;
    }
    // The key lies after mid when mid's key comes before it in the table's order.
    if ((iAt < iKey) == (eOrder == E_SORTED_HASH_ASCENDING)) {
      iLo = iMid + 1;
    } else {
      iHi = iMid - 1;
    }
  }
  return -1;
}

bool ClSortedHashIndex::build(const i32* piKeys, i32 iCount, E_SORTED_HASH_ORDER eOrder) {
  terminate();
  if (iCount <= 0) {
    return true;
  }
  u32 uiBits = 1;
  while ((1ull << uiBits) < 2ull * static_cast<u64>(iCount)) {
    ++uiBits;
  }
  const u32 uiSlots = 1u << uiBits;
  SSlot* pSlots = static_cast<SSlot*>(KvAlignedAlloc(sizeof(SSlot) * uiSlots, 64));
  if (pSlots == nullptr) {
    return false;
  }
  for (u32 i = 0; i < uiSlots; ++i) {
    pSlots[i] = SSlot{0, -1};
  }
  mpr_pSlots = pSlots;
  m_uiMask = uiSlots - 1;
  m_uiShift = 32 - uiBits;
  for (i32 i = 0; i < iCount; ++i) {
    // Equal keys lie next to each other: each distinct key is placed once, with the copy the search picks.
    if (i > 0 && piKeys[i] == piKeys[i - 1]) {
      continue;
    }
    // A table out of order can hide a key from the search; such a key stays out of the index as well.
    const i32 iFound = KvSortedHashSearch(piKeys, iCount, piKeys[i], eOrder);
    if (iFound < 0) {
      continue;
    }
    u32 uiSlot = homeSlot(piKeys[i]);
    while (pSlots[uiSlot].iIndex >= 0) {
      uiSlot = (uiSlot + 1) & m_uiMask;
    }
    pSlots[uiSlot] = SSlot{piKeys[i], iFound};
  }
  return true;
}

void ClSortedHashIndex::terminate() {
  KvAlignedFree(mpr_pSlots);
  mpr_pSlots = nullptr;
  m_uiMask = 0;
  m_uiShift = 32;
}
