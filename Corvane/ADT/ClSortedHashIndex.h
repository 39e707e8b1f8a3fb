// A hash index over a table of 32-bit name hashes that is sorted by signed value (atlas entries, archive tables
// of contents): find answers the index the table's binary search answers, without the search's cache misses and
// mispredicted branches.
//
// The binary search (KvSortedHashSearch) halves [lo, hi] at mid = (lo + hi) / 2 and stops at the first mid whose
// key matches, so for a key stored more than once it picks one particular copy. The index is built by running
// that very search once for every distinct key, so it answers the same copy, and -1 for a key the table lacks.
//
// Open addressing with linear probing, at most half full; the home slot comes from a multiplicative mix of the
// key, so tables whose hashes share low bits still spread. The owner builds and terminates it (it lives in pool
// slots that are never destroyed); a default or terminated index answers -1 for every key. No lock.
#pragma once

#include "Corvane/System/KvTypes.h"

enum E_SORTED_HASH_ORDER : i32 {
  E_SORTED_HASH_ASCENDING = 0,  // smaller signed keys at lower indices
  E_SORTED_HASH_DESCENDING = 1,  // larger signed keys at lower indices
};

// The binary search over iCount keys in the given order: the index of a matching key, or -1.
i32 KvSortedHashSearch(const i32* piKeys, i32 iCount, i32 iKey, E_SORTED_HASH_ORDER eOrder);

class ClSortedHashIndex {
 public:
  // Indexes iCount keys (sorted in eOrder; not kept). Frees a previous index first. False when the block cannot be
  // allocated; the index is then empty.
  bool build(const i32* piKeys, i32 iCount, E_SORTED_HASH_ORDER eOrder);
  // Frees the block; the index is empty afterwards.
  void terminate();

  // What KvSortedHashSearch answers for the keys the index was built from.
  i32 find(i32 iKey) const {
    if (mpr_pSlots == nullptr) {
      return -1;
    }
    for (u32 uiSlot = homeSlot(iKey);; uiSlot = (uiSlot + 1) & m_uiMask) {
      const SSlot& slot = mpr_pSlots[uiSlot];
      if (slot.iIndex < 0 || slot.iKey == iKey) {
        return slot.iIndex;
      }
    }
  }

 private:
  struct SSlot {
    i32 iKey;
    i32 iIndex;  // -1: empty
  };

  u32 homeSlot(i32 iKey) const { return (static_cast<u32>(iKey) * 0x9E3779B1u) >> m_uiShift; }

  SSlot* mpr_pSlots = nullptr;
  u32 m_uiMask = 0;
  u32 m_uiShift = 32;
};
