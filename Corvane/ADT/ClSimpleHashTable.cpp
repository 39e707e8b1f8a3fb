#include "Corvane/ADT/ClSimpleHashTable.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/System/KvDebug.h"

namespace {

bool powof2(i32 iValue) { return iValue > 0 && (iValue & (iValue - 1)) == 0; }

constexpr const char* gc_pDUPLICATE_KEY = "Simple Hash Table COLLISION/DUPLICATE KEY!";

}  // namespace

void ClSimpleHashTable::initialize(i32 iMaxAllocs) {
  KV_ASSERT(powof2(iMaxAllocs));
  if (!allocateBlock(iMaxAllocs)) {
    // A table without a block would drop every insert and answer 0 to every lookup: stop instead.
    KV_FATAL("Could not allocate mpr_pTable!");
  }
}

void ClSimpleHashTable::terminate() { releaseBlock(); }

void ClSimpleHashTable::insert(u32 id, uintptr_t uiValue) {
  KV_ASSERT(id != 0);
  KV_ASSERT_MSG(m_iCount < m_iSlots, "Simple Hash Table overflow!");
  if (mpr_pTable == nullptr) {
    return;
  }
  placeEntry(id, uiValue, gc_pDUPLICATE_KEY);
}

uintptr_t ClSimpleHashTable::remove(u32 id) {
  KV_ASSERT(id != 0);
  return removeEntry(id, gc_pDUPLICATE_KEY);
}

uintptr_t ClSimpleHashTable::findByName(const char* pName) const {
  KvCheckPointer(pName);
  return find(KvStrHash(pName));
}
