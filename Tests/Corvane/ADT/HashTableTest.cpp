#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <vector>

#include "Corvane/ADT/ClDynamicHashTable.h"
#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/ADT/KvHashSlotSearch.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

i32 slotCount(const ClSimpleHashTable& t) { return t.getMaxAllocs(); }
i32 slotCount(const ClDynamicHashTable& t) { return t.getCapacity(); }

// Every entry lies at its home slot or below it, with no empty slot in between, and is stored once.
template <typename Table>
void expectPlacementInvariant(const Table& t) {
  const i32 n = slotCount(t);
  std::unordered_map<u32, i32> seen;
  for (i32 s = 0; s < n; ++s) {
    const u32 key = t.getKeyAt(s);
    if (key == 0) {
      continue;
    }
    ASSERT_TRUE(seen.emplace(key, s).second) << "key stored twice: " << key;
    for (i32 p = static_cast<i32>(key & u32(n - 1)); p != s; p = (p + n - 1) % n) {
      ASSERT_NE(t.getKeyAt(p), 0u) << "empty slot " << p << " between home and slot " << s << " of " << key;
    }
  }
  ASSERT_EQ(static_cast<i32>(seen.size()), t.getCount());
}

template <typename Table>
class HashTable : public ::testing::Test {};
using TableTypes = ::testing::Types<ClSimpleHashTable, ClDynamicHashTable>;
TYPED_TEST_SUITE(HashTable, TableTypes);

TYPED_TEST(HashTable, CollisionWrapsBelowSlotZeroAndRemovalPullsBack) {
  TypeParam t;
  t.initialize(8);
  t.insert(0x10, 100);
  t.insert(0x18, 200);
  EXPECT_EQ(t.getKeyAt(0), 0x10u);
  EXPECT_EQ(t.getKeyAt(7), 0x18u);
  EXPECT_EQ(t.find(0x10), 100u);
  EXPECT_EQ(t.find(0x18), 200u);
  // The duplicate is found down the probe run, not at its home slot.
  const char* pDuplicate = std::is_same_v<TypeParam, ClSimpleHashTable>
                               ? "Simple Hash Table COLLISION/DUPLICATE KEY!"
                               : "Dynamic Hash Table COLLISION/DUPLICATE KEY!";
  EXPECT_KV_ASSERT(t.insert(0x18, 1), pDuplicate);
  EXPECT_EQ(t.remove(0x10), 100u);
  EXPECT_EQ(t.getKeyAt(0), 0x18u);
  EXPECT_EQ(t.getKeyAt(7), 0u);
  EXPECT_EQ(t.find(0x18), 200u);
  EXPECT_EQ(t.getCount(), 1);
  t.terminate();
}

TYPED_TEST(HashTable, KeyZeroValueZeroAbsentKeysAndSlotOrder) {
  TypeParam t;
  t.initialize(4);
  EXPECT_EQ(t.find(0), 0u);  // no assertion
  EXPECT_KV_ASSERT(t.insert(0, 1), "id != 0");
  EXPECT_KV_ASSERT(t.remove(0), "id != 0");
  for (u32 k = 1; k <= 4; ++k) {
    t.insert(k, k == 2 ? 0 : k * 10);
  }
  EXPECT_EQ(t.find(2), 0u);           // a stored 0 reads as absent
  EXPECT_EQ(t.find(0x40000001), 0u);  // a miss in a full table stops after N slots
  EXPECT_EQ(t.remove(0x40000001), 0u);
  EXPECT_EQ(t.getCount(), 4);
  std::vector<uintptr_t> values;
  t.forEachValue([&](uintptr_t v, int zero) {
    EXPECT_EQ(zero, 0);
    values.push_back(v);
  });
  EXPECT_EQ(values, (std::vector<uintptr_t>{40, 10, 30}));  // slots 0..3 hold keys 4, 1, 2, 3
  t.terminate();
}

TYPED_TEST(HashTable, RandomOperationsAgreeWithStdMapAndKeepPlacement) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 20; ++round) {
    TypeParam t;
    const i32 n = 64;
    t.initialize(std::is_same_v<TypeParam, ClDynamicHashTable> ? 4 : n);  // the dynamic one grows
    std::unordered_map<u32, uintptr_t> model;
    for (int op = 0; op < 600; ++op) {
      // Few distinct low bits, so that runs collide, wrap and merge.
      const u32 key = 1 + (rng() % 24) * 64 + (rng() % 6) * 9;
      if (rng() % 3 != 0 && !model.count(key) && static_cast<i32>(model.size()) < n) {
        const uintptr_t value = 1 + rng();
        t.insert(key, value);
        model[key] = value;
      } else {
        const auto it = model.find(key);
        ASSERT_EQ(t.remove(key), it == model.end() ? 0u : it->second);
        if (it != model.end()) {
          model.erase(it);
        }
      }
      expectPlacementInvariant(t);
      ASSERT_EQ(t.getCount(), static_cast<i32>(model.size()));
      // Every key of the universe: stored ones answer their value, the others (misses) 0.
      for (u32 a = 0; a < 24; ++a) {
        for (u32 b = 0; b < 6; ++b) {
          const auto it = model.find(1 + a * 64 + b * 9);
          ASSERT_EQ(t.find(1 + a * 64 + b * 9), it == model.end() ? 0u : it->second);
        }
      }
    }
    t.terminate();
  }
}

TYPED_TEST(HashTable, LongRunsSharingOneHomeAreFoundAndMissedThroughRemovals) {
  // 300 keys with home 1: long walks bounded by the home's reach, then removals that pull entries back.
  TypeParam t;
  t.initialize(512);
  const auto key = [](u32 i) { return 1 + 512 * i; };
  for (u32 i = 0; i < 300; ++i) {
    t.insert(key(i), i + 1);
  }
  for (u32 i = 0; i < 300; i += 7) {
    ASSERT_EQ(t.remove(key(i)), i + 1);
  }
  t.insert(2, 5);  // home 2, placed below the run
  for (u32 i = 0; i < 320; ++i) {
    ASSERT_EQ(t.find(key(i)), i < 300 && i % 7 != 0 ? i + 1 : 0u) << i;
  }
  EXPECT_EQ(t.find(2), 5u);
  EXPECT_EQ(t.find(2 + 512), 0u);
  expectPlacementInvariant(t);
  t.terminate();
}

TEST(KvHashSlotSearch, GroupedCompareMatchesASlotBySlotWalk) {
  // Random slot contents (not necessarily a valid table): the first key-or-empty slot in probe order.
  std::mt19937 rng(42);
  for (int round = 0; round < 3000; ++round) {
    const i32 n = 1 << (rng() % 8);
    std::vector<u32> keys(n);
    const u32 fillPercent = rng() % 101;
    for (u32& k : keys) {
      k = rng() % 100 < fillPercent ? 1 + rng() % 64 : 0;
    }
    const u32 id = 1 + rng() % 64;
    i32 expected = -1;
    for (i32 i = 0, slot = static_cast<i32>(id & u32(n - 1)); i < n; ++i, slot = (slot + n - 1) % n) {
      if (keys[slot] == id || keys[slot] == 0) {
        expected = keys[slot] == id ? slot : -1;
        break;
      }
    }
    ASSERT_EQ(KvHashSlotSearch(keys.data(), n, id), expected) << "round " << round;
    // With a bound on the slots examined: the same answer when the stop lies within it, else -1.
    const i32 bound = 1 + static_cast<i32>(rng() % n);
    i32 bounded = -1;
    for (i32 i = 0, slot = static_cast<i32>(id & u32(n - 1)); i < bound; ++i, slot = (slot + n - 1) % n) {
      if (keys[slot] == id || keys[slot] == 0) {
        bounded = keys[slot] == id ? slot : -1;
        break;
      }
    }
    ASSERT_EQ(KvHashSlotSearch(keys.data(), n, id, bound), bounded) << "round " << round << " bound " << bound;
  }
}

TEST(ClSimpleHashTable, OverflowAfterExactlyNAndRoomAgainAfterRemoval) {
  ClSimpleHashTable t;
  EXPECT_KV_ASSERT(t.initialize(6), "powof2(iMaxAllocs)");
  t.initialize(4);
  for (u32 k = 1; k <= 4; ++k) {
    t.insert(k * 0x100, k);
  }
  EXPECT_KV_ASSERT(t.insert(0x500, 5), "Simple Hash Table overflow!");
  EXPECT_EQ(t.remove(0x200), 2u);
  t.insert(0x500, 5);
  EXPECT_EQ(t.find(0x500), 5u);
  EXPECT_EQ(t.find(0x100), 1u);
  t.terminate();
  EXPECT_FALSE(t.isAllocated());
  EXPECT_EQ(t.find(0x500), 0u);
}

TEST(ClSimpleHashTable, FailedBlockIsFatalInsteadOfDroppingInserts) {
  ClSimpleHashTable t;
  KvAllocFailNext(1);
  EXPECT_KV_FATAL(t.initialize(16), "Could not allocate mpr_pTable!");
  EXPECT_FALSE(t.isAllocated());
}

TEST(ClSimpleHashTable, FindByNameUsesTheNameHash) {
  ClSimpleHashTable t;
  t.initialize(8);
  int target = 0;
  t.insertPtr(KvStrHash("Textures\\Hud"), &target);
  EXPECT_EQ(t.findPtr<int>(KvStrHash("TEXTURES\\HUD")), &target);
  EXPECT_EQ(t.findByName("textures\\hud"), reinterpret_cast<uintptr_t>(&target));
  EXPECT_EQ(t.findByName("textures/hud"), 0u);
  EXPECT_KV_FATAL(t.findByName(nullptr), "NULL Pointer!");
  t.terminate();
}

TEST(ClDynamicHashTable, GrowsWhenCompletelyFullReinsertingFromSlotZeroUp) {
  ClDynamicHashTable t;
  t.initialize(4);
  for (u32 k = 1; k <= 4; ++k) {
    t.insert(k * 4, k);  // all share home slot 0
  }
  EXPECT_EQ(t.getCapacity(), 4);
  t.insert(5 * 4, 5);
  EXPECT_EQ(t.getCapacity(), 8);
  for (u32 k = 1; k <= 5; ++k) {
    EXPECT_EQ(t.find(k * 4), k);
  }
  t.terminate();

  t.initialize(2);
  t.insert(2, 20);  // slot 0
  t.insert(6, 60);  // home 0 taken: wraps to slot 1
  t.insert(9, 90);  // full: grows to 4, where 2 and 6 both have home 2
  EXPECT_EQ(t.getKeyAt(2), 2u);  // slot 0 of the old block went in first
  EXPECT_EQ(t.getKeyAt(1), 6u);
  EXPECT_EQ(t.getKeyAt(0), 9u);
  t.terminate();
}

TEST(ClDynamicHashTable, InitialisationAndGrowthFailures) {
  ClDynamicHashTable t;
  EXPECT_KV_ASSERT(t.initialize(0), "iInitialAllocNumEntries");
  EXPECT_KV_ASSERT(t.initialize(12), "powof2(iInitialAllocNumEntries)");
  EXPECT_KV_ASSERT(t.insert(1, 1), "mpr_pTable");
  KvAllocFailNext(1);
  EXPECT_KV_FATAL(t.initialize(4), "Could not allocate mpr_pTable!");
  t.initialize(2);
  EXPECT_KV_ASSERT(t.initialize(2), "!mpr_bDidAllocateTable");
  t.insert(1, 10);
  t.insert(2, 20);
  KvAllocFailNext(1);
  EXPECT_KV_ASSERT(t.insert(3, 30), "mpr_pTable");
  EXPECT_EQ(t.find(1), 10u);  // a failed growth leaves the table as it was
  EXPECT_EQ(t.find(2), 20u);
  t.terminate();
  t.initialize(2);  // usable again after terminate
  EXPECT_EQ(t.getCount(), 0);
  t.terminate();
}

}  // namespace
