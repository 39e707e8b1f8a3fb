// Fixed-size open-addressing hash table from a non-zero 32-bit key (as a rule a name hash, KvStrHash) to
// one pointer-sized value (a pointer or an index).
//
// N slots, a power of two chosen by the owner at start-up; keys and values live in one 16-byte-aligned
// block (N keys, then N values). The home slot of a key is key AND (N - 1); probes walk down, wrapping
// from slot 0 to slot N - 1; removal re-inserts the entries that follow, so an entry never has an empty
// slot between its home slot and itself (the slots are ClHashSlotBlock's). Key 0 marks an empty slot and
// is never a key; a value of 0 reads as absent. Inserting into a full table, a duplicate key, or key 0
// stops the program, as does a block that cannot be allocated. No lock: the owner serialises access. The
// owner terminates the table (after releasing whatever its values point to); the table is not copyable
// because it owns its block.
#pragma once

#include <cstdint>

#include "Corvane/ADT/ClHashSlotBlock.h"
#include "Corvane/System/KvTypes.h"

class ClSimpleHashTable : public ClHashSlotBlock {
 public:
  ClSimpleHashTable() = default;

  // iMaxAllocs slots (a power of two); allocates and zero-fills the block.
  void initialize(i32 iMaxAllocs);
  // Zero-fills and frees the block; count, pointer and sizes are cleared. Values are not released.
  void terminate();

  // Asserts a non-zero key, room for it, and that the key is not stored yet.
  void insert(u32 id, uintptr_t uiValue);
  void insertPtr(u32 id, const void* pValue) { insert(id, reinterpret_cast<uintptr_t>(pValue)); }
  // The removed value, or 0 when the key is absent. Asserts a non-zero key.
  uintptr_t remove(u32 id);
  // find(KvStrHash(pName)) after a pointer check of the name.
  uintptr_t findByName(const char* pName) const;

  i32 getMaxAllocs() const { return m_iSlots; }
};
