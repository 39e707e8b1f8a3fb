// Open-addressing hash table from a non-zero 32-bit key (as a rule a name hash, KvStrHash) to one
// pointer-sized value, which doubles its slot count when an insert finds it completely full.
//
// Same slots, probing and removal as ClSimpleHashTable (both are ClHashSlotBlock's): N keys then N values
// in one 16-byte-aligned block, home slot key AND (N - 1), probes walk down with wrap-around, removal
// re-inserts the entries that follow. Growth allocates a block of 2N slots and re-inserts the old slots from
// slot 0 upward, so every slot is filled before the table grows. Key 0 is never a key; a value of 0 reads as
// absent. A duplicate key, key 0, a second initialisation or a block that cannot be allocated stops the
// program. No lock: the owner serialises access and terminates the table; it is not copyable because it
// owns its block.
#pragma once

#include <cstdint>

#include "Corvane/ADT/ClHashSlotBlock.h"
#include "Corvane/System/KvTypes.h"

class ClDynamicHashTable : public ClHashSlotBlock {
 public:
  ClDynamicHashTable() = default;

  // iInitialAllocNumEntries slots to start (a non-zero power of two). Asserts it was not initialised.
  void initialize(i32 iInitialAllocNumEntries);
  // Zero-fills and frees the block; the table may be initialised again. Values are not released.
  void terminate();

  // Asserts a non-zero key that is not stored yet; grows first when every slot is taken.
  void insert(u32 id, uintptr_t uiValue);
  void insertPtr(u32 id, const void* pValue) { insert(id, reinterpret_cast<uintptr_t>(pValue)); }
  // The removed value, or 0 when the key is absent. Asserts a non-zero key.
  uintptr_t remove(u32 id);

  i32 getCapacity() const { return m_iSlots; }
};
