#include "Corvane/ADT/ClDynamicHashTable.h"

#include "Corvane/System/KvDebug.h"

namespace {

bool powof2(i32 iValue) { return iValue > 0 && (iValue & (iValue - 1)) == 0; }

constexpr const char* gc_pDUPLICATE_KEY = "Dynamic Hash Table COLLISION/DUPLICATE KEY!";

}  // namespace

void ClDynamicHashTable::initialize(i32 iInitialAllocNumEntries) {
  KV_ASSERT(!mpr_bDidAllocateTable);
  KV_ASSERT(iInitialAllocNumEntries);
  KV_ASSERT(powof2(iInitialAllocNumEntries));
  if (!allocateBlock(iInitialAllocNumEntries)) {
    KV_FATAL("Could not allocate mpr_pTable!");
  }
}

void ClDynamicHashTable::terminate() { releaseBlock(); }

void ClDynamicHashTable::insert(u32 id, uintptr_t uiValue) {
  KV_ASSERT(id != 0);
  KV_ASSERT(mpr_pTable);
  if (!mpr_bDidAllocateTable) {
    return;
  }
  if (m_iCount == m_iSlots) {
    // Doubles the slots; the old slots go in from slot 0 upward.
    const bool bGrown = reallocateBlock(m_iSlots * 2, gc_pDUPLICATE_KEY);
    KV_ASSERT_MSG(bGrown, "mpr_pTable");
  }
  placeEntry(id, uiValue, gc_pDUPLICATE_KEY);
}

uintptr_t ClDynamicHashTable::remove(u32 id) {
  KV_ASSERT(id != 0);
  return removeEntry(id, gc_pDUPLICATE_KEY);
}
