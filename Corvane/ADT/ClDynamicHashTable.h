// Open-addressing hash table from a non-zero 32-bit key (as a rule a name hash, KvStrHash) to one
// pointer-sized value, which doubles its slot count when an insert finds it completely full.
//
// Same slots, probing and removal as ClSimpleHashTable: N keys then N values in one 16-byte-aligned block,
// home slot key AND (N - 1), probes walk down with wrap-around, removal re-inserts the entries that follow.
// Growth allocates a block of 2N slots and re-inserts the old slots from slot 0 upward, so every slot is
// filled before the table grows. Key 0 is never a key; a value of 0 reads as absent. A duplicate key, key 0,
// a second initialisation or a block that cannot be allocated stops the program. No lock: the owner
// serialises access and terminates the table; it is not copyable because it owns its block.
#pragma once

#include <cstdint>

#include "Corvane/ADT/KvHashSlotSearch.h"
#include "Corvane/System/KvTypes.h"

class ClDynamicHashTable {
 public:
  ClDynamicHashTable() = default;
  ClDynamicHashTable(const ClDynamicHashTable&) = delete;
  ClDynamicHashTable& operator=(const ClDynamicHashTable&) = delete;

  // iInitialAllocNumEntries slots to start (a non-zero power of two). Asserts it was not initialised.
  void initialize(i32 iInitialAllocNumEntries);
  // Zero-fills and frees the block; the table may be initialised again. Values are not released.
  void terminate();

  // Asserts a non-zero key that is not stored yet; grows first when every slot is taken.
  void insert(u32 id, uintptr_t uiValue);
  void insertPtr(u32 id, const void* pValue) { insert(id, reinterpret_cast<uintptr_t>(pValue)); }
  // The removed value, or 0 when the key is absent. Asserts a non-zero key.
  uintptr_t remove(u32 id);
  // The value, or 0 when the key is absent (key 0 is simply absent).
  uintptr_t find(u32 id) const;
  template <typename T>
  T* findPtr(u32 id) const {
    return reinterpret_cast<T*>(find(id));
  }

  // Calls fn(value, 0) for every non-zero value, in slot order 0..N-1.
  template <typename Fn>
  void forEachValue(Fn fn) const {
    for (i32 i = 0; i < m_iCapacity; ++i) {
      if (mpr_pValues[i] != 0) {
        fn(mpr_pValues[i], 0);
      }
    }
  }

  i32 getCount() const { return m_iCount; }
  i32 getCapacity() const { return m_iCapacity; }
  bool isAllocated() const { return mpr_bDidAllocateTable != 0; }
  // The raw slot contents (0 for an empty slot), for owners that walk the table and for tests.
  u32 getKeyAt(i32 iSlot) const { return mpr_pTable[iSlot]; }
  uintptr_t getValueAt(i32 iSlot) const { return mpr_pValues[iSlot]; }

 private:
  void grow();

  u32 mpr_bDidAllocateTable = 0;
  u32* mpr_pTable = nullptr;       // N keys, then (8-byte aligned) the N values
  uintptr_t* mpr_pValues = nullptr;  // recomputed whenever the block changes
  i32 m_iCapacity = 0;             // N
  i32 m_iCount = 0;
};

inline uintptr_t ClDynamicHashTable::find(u32 id) const {
  if (mpr_pTable == nullptr || id == 0) {
    return 0;
  }
  const i32 iSlot = KvHashSlotSearch(mpr_pTable, m_iCapacity, id);
  return iSlot >= 0 ? mpr_pValues[iSlot] : 0;
}
