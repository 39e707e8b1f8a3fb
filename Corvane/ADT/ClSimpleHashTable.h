// Fixed-size open-addressing hash table from a non-zero 32-bit key (as a rule a name hash, KvStrHash) to
// one pointer-sized value (a pointer or an index).
//
// N slots, a power of two chosen by the owner at start-up; keys and values live in one 16-byte-aligned
// block (N keys, then N values). The home slot of a key is key AND (N - 1); probes walk down, wrapping
// from slot 0 to slot N - 1; removal re-inserts the entries that follow, so an entry never has an empty
// slot between its home slot and itself. Key 0 marks an empty slot and is never a key; a value of 0 reads
// as absent. Inserting into a full table, a duplicate key, or key 0 stops the program, as does a block
// that cannot be allocated. No lock: the owner serialises access. The owner terminates the table (after
// releasing whatever its values point to); the table is not copyable because it owns its block.
#pragma once

#include <cstdint>

#include "Corvane/ADT/KvHashSlotSearch.h"
#include "Corvane/System/KvTypes.h"

class ClSimpleHashTable {
 public:
  ClSimpleHashTable() = default;
  ClSimpleHashTable(const ClSimpleHashTable&) = delete;
  ClSimpleHashTable& operator=(const ClSimpleHashTable&) = delete;

  // iMaxAllocs slots (a power of two); allocates and zero-fills the block.
  void initialize(i32 iMaxAllocs);
  // Zero-fills and frees the block; count, pointer and sizes are cleared. Values are not released.
  void terminate();

  // Asserts a non-zero key, room for it, and that the key is not stored yet.
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
  // find(KvStrHash(pName)) after a pointer check of the name.
  uintptr_t findByName(const char* pName) const;

  // Calls fn(value, 0) for every non-zero value, in slot order 0..N-1.
  template <typename Fn>
  void forEachValue(Fn fn) const {
    for (i32 i = 0; i < m_iMaxAllocs; ++i) {
      if (mpr_pValues[i] != 0) {
        fn(mpr_pValues[i], 0);
      }
    }
  }

  i32 getCount() const { return m_iCount; }
  i32 getMaxAllocs() const { return m_iMaxAllocs; }
  bool isAllocated() const { return mpr_bDidAllocateTable != 0; }
  // The raw slot contents (0 for an empty slot), for owners that walk the table and for tests.
  u32 getKeyAt(i32 iSlot) const { return mpr_pTable[iSlot]; }
  uintptr_t getValueAt(i32 iSlot) const { return mpr_pValues[iSlot]; }

 private:
  u32 mpr_bDidAllocateTable = 0;
  u32* mpr_pTable = nullptr;       // N keys, then (8-byte aligned) the N values
  uintptr_t* mpr_pValues = nullptr;
  i32 m_iMaxAllocs = 0;            // N
  i32 m_iCount = 0;
};

inline uintptr_t ClSimpleHashTable::find(u32 id) const {
  if (mpr_pTable == nullptr || id == 0) {
    return 0;
  }
  const i32 iSlot = KvHashSlotSearch(mpr_pTable, m_iMaxAllocs, id);
  return iSlot >= 0 ? mpr_pValues[iSlot] : 0;
}
