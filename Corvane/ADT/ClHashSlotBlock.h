// The slots behind ClSimpleHashTable and ClDynamicHashTable: N non-zero 32-bit keys (0 marks an empty slot)
// and N pointer-sized values in one 16-byte-aligned block (the N keys, then at the next 8-byte boundary the
// N values, then N 16-bit reaches). The home slot of a key is key AND (N - 1); probes walk down, wrapping
// from slot 0 to slot N - 1 (KvHashSlotSearch); removal re-inserts the entries that follow, so an entry never
// has an empty slot between its home slot and itself. A value of 0 reads as absent.
//
// The reach of a slot bounds the walk of the keys whose home it is: 0 when no key stored since the
// block was made has that home, else 1 + the largest distance below the home such a key was placed at
// (0xFFFF: no bound, walk to the empty slot). It only ever grows, so it stays a bound through removals; a
// look-up that has examined that many slots stops, which answers a miss in a crowded table without walking
// the whole run of occupied slots. It changes how far a walk goes, never what it answers.
//
// The tables derive from it and keep their own rules on top: which keys are allowed, what happens when the
// block is full, and their own reports. No lock; not copyable, because it owns its block.
#pragma once

#include <cstdint>

#include "Corvane/ADT/KvHashSlotSearch.h"
#include "Corvane/System/KvTypes.h"

class ClHashSlotBlock {
 public:
  ClHashSlotBlock(const ClHashSlotBlock&) = delete;
  ClHashSlotBlock& operator=(const ClHashSlotBlock&) = delete;

  // The value, or 0 when the key is absent (key 0 is simply absent).
  uintptr_t find(u32 id) const;
  template <typename T>
  T* findPtr(u32 id) const {
    return reinterpret_cast<T*>(find(id));
  }

  // Calls fn(value, 0) for every non-zero value, in slot order 0..N-1.
  template <typename Fn>
  void forEachValue(Fn fn) const {
    for (i32 i = 0; i < m_iSlots; ++i) {
      if (mpr_pValues[i] != 0) {
        fn(mpr_pValues[i], 0);
      }
    }
  }

  i32 getCount() const { return m_iCount; }
  bool isAllocated() const { return mpr_bDidAllocateTable != 0; }
  // The raw slot contents (0 for an empty slot), for owners that walk the table and for tests.
  u32 getKeyAt(i32 iSlot) const { return mpr_pTable[iSlot]; }
  uintptr_t getValueAt(i32 iSlot) const { return mpr_pValues[iSlot]; }

 protected:
  ClHashSlotBlock() = default;
  ~ClHashSlotBlock() = default;

  // Sets N to iSlots (a power of two) with no entries and allocates a zero-filled block. False when the
  // allocation fails: the block pointers are left as they were.
  bool allocateBlock(i32 iSlots);
  // Zero-fills and frees the block when there is one; afterwards there is no block, N is 0 and no entries.
  void releaseBlock();
  // Moves the entries into a new block of iSlots slots, taking the old slots from slot 0 upward, and frees
  // the old block. False when the allocation fails: nothing has changed then.
  bool reallocateBlock(i32 iSlots, const char* pDuplicateMessage);

  // Stores the entry in the first empty slot of the key's probe walk; the owner has checked that the key is
  // not 0 and that a slot is empty. Meeting the key on the way is the assertion pDuplicateMessage.
  void placeEntry(u32 id, uintptr_t uiValue, const char* pDuplicateMessage);
  // Empties the key's slot and re-places the entries below it (pDuplicateMessage as for placeEntry). The
  // removed value, or 0 when the key is absent or there is no block.
  uintptr_t removeEntry(u32 id, const char* pDuplicateMessage);
  // The slot holding id (the block exists and id is not 0), or -1: the walk of find, bounded by the reach.
  i32 findSlot(u32 id) const;

  u32 mpr_bDidAllocateTable = 0;
  u32* mpr_pTable = nullptr;         // N keys, then (8-byte aligned) the N values
  uintptr_t* mpr_pValues = nullptr;  // recomputed whenever the block changes
  u16* mpr_pReach = nullptr;         // N reaches after the values, recomputed with them
  i32 m_iSlots = 0;                  // N
  i32 m_iCount = 0;
};

inline uintptr_t ClHashSlotBlock::find(u32 id) const {
  if (mpr_pTable == nullptr || id == 0) {
    return 0;
  }
  const i32 iSlot = findSlot(id);
  return iSlot >= 0 ? mpr_pValues[iSlot] : 0;
}

inline i32 ClHashSlotBlock::findSlot(u32 id) const {
  const u32 uiHome = id & static_cast<u32>(m_iSlots - 1);
  // Most hits end at the home slot, and a miss at an empty one; the reach is read only to walk.
  if (mpr_pTable[uiHome] == id) {
    return static_cast<i32>(uiHome);
  }
  if (mpr_pTable[uiHome] == 0) {
    return -1;
  }
  const u32 uiReach = mpr_pReach[uiHome];
  if (uiReach == 0) {
    return -1;
  }
  return KvHashSlotSearch(mpr_pTable, m_iSlots, id, uiReach == 0xFFFFu ? m_iSlots : static_cast<i32>(uiReach));
}
