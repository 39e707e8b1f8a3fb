#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Corvane/ADT/ClDynamicPool.h"
#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/ClPool.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

TEST(ClDynamicVector, GrowsWhenSizePlusOneReachesCapacity) {
  ClDynamicVector<int> v;
  v.initialize();
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(v.append(i), i + 1);
  }
  EXPECT_EQ(v.getCapacity(), 8);
  v.append(7);
  EXPECT_EQ(v.getCapacity(), 16);
  EXPECT_EQ(v.getFirst(), v.at(0));  // the first-element pointer follows the block
  EXPECT_EQ(v.getLast(), v.at(7));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(*v.at(i), i);
  }
  v.terminate();
}

TEST(ClDynamicVector, EraseRemoveValueAndClear) {
  ClDynamicVector<std::string> v;  // owns memory: growth and erase must move, not alias
  v.initialize(2);
  v.append("alpha");
  v.append(*v.at(0));  // an element of the vector itself, appended while the block grows
  for (const char* s : {"beta", "gamma", "delta"}) {
    v.append(s);
  }
  EXPECT_EQ(*v.at(1), "alpha");
  v.erase(1);
  v.removeValue("alpha");
  ASSERT_EQ(v.getCount(), 3);
  EXPECT_EQ(*v.at(0), "beta");
  EXPECT_EQ(*v.at(2), "delta");
  EXPECT_KV_FATAL(v.removeValue("omega"), "Item not found to delete by value!");
  v.clear();
  EXPECT_EQ(v.getCount(), 0);
  EXPECT_EQ(v.getLast(), nullptr);
  v.append("one");
  v.erase(0);
  EXPECT_EQ(v.getCount(), 0);
  EXPECT_EQ(v.getLast(), nullptr);
  v.terminate();
}

// Appending in place grows by the same rule as append, keeps the elements already there (moved, not copied by
// bytes), and hands back the new last element for the caller to fill; a fixed-size vector refuses to grow.
TEST(ClDynamicVector, AppendInPlaceGrowsAndKeepsTheElements) {
  ClDynamicVector<std::string> v;
  v.initialize(2);
  for (const char* pText : {"alpha", "beta", "gamma", "delta", "epsilon"}) {
    std::string* pSlot = v.appendInPlace();
    EXPECT_EQ(pSlot, v.getLast());
    EXPECT_TRUE(pSlot->empty()) << "a class type is default-constructed";
    *pSlot = pText;
  }
  ASSERT_EQ(v.getCount(), 5);
  EXPECT_EQ(v.getCapacity(), 8);
  EXPECT_EQ(v.getFirst(), v.at(0));
  const char* const apExpected[] = {"alpha", "beta", "gamma", "delta", "epsilon"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(*v.at(i), apExpected[i]) << i;
  v.terminate();
  ClDynamicVector<int> fixed;
  fixed.initialize(2, true);
  *fixed.appendInPlace() = 1;
  EXPECT_KV_ASSERT(fixed.appendInPlace(), "CANNOT RESIZE THIS VECTOR; PLEASE CHANGE INITIAL SIZE OR CHECK YOUR LOGIC!");
  fixed.terminate();
}

TEST(ClDynamicVector, MisuseIsReported) {
  ClDynamicVector<int> v;
  EXPECT_KV_ASSERT(v.append(1), "Uninitialized Dynamic vector used!");
  EXPECT_KV_ASSERT(v.terminate(), "Dynamic vector double-free OR terminating an uninitialized dynamic vector!");
  EXPECT_KV_ASSERT(v.initialize(0), "iInitialSize > 0");
  KvAllocFailNext(1);
  EXPECT_KV_ASSERT(v.initialize(4), "m_pObjects");
  v.initialize(4, true);
  EXPECT_KV_ASSERT(v.initialize(), "initialize(): Dynamic vector already initialized!  I see dangling pointers");
  v.append(1);
  v.append(2);
  v.append(3);
  EXPECT_KV_ASSERT(v.append(4), "CANNOT RESIZE THIS VECTOR; PLEASE CHANGE INITIAL SIZE OR CHECK YOUR LOGIC!");
  EXPECT_KV_ASSERT(v.at(3), "index >=0 && index < m_iSize");
  EXPECT_KV_ASSERT(v.at(-1), "index >=0 && index < m_iSize");
  EXPECT_KV_ASSERT(v.erase(3), "iIndexToErase >= 0 && iIndexToErase < m_iSize");
  v.terminate();
  v.initialize(1);
  KvAllocFailNext(1);
  EXPECT_KV_ASSERT(v.append(1), "pTempFrames");
  EXPECT_EQ(v.getCount(), 0);
  v.terminate();
}

// The pool's frames in use are exactly the records handed out, each found at its own position.
template <typename Pool>
void expectPoolHolds(const Pool& pool, const std::set<int*>& live) {
  ASSERT_EQ(pool.getCount(), static_cast<i32>(live.size()));
  std::set<int*> seen;
  for (i32 i = 0; i < pool.getCount(); ++i) {
    ASSERT_TRUE(seen.insert(pool.get(i)).second);
    ASSERT_EQ(pool.indexOf(pool.get(i)), i);
  }
  ASSERT_EQ(seen, live);
}

template <typename Pool>
void randomAllocFree(Pool& pool, i32 n, unsigned seed) {
  std::mt19937 rng(seed);
  std::set<int*> live;
  std::set<int*> everHanded;
  for (int op = 0; op < 2000; ++op) {
    if (static_cast<i32>(live.size()) < n && (live.empty() || rng() % 2 == 0)) {
      int* p = pool.alloc();
      ASSERT_FALSE(live.count(p));
      live.insert(p);
      everHanded.insert(p);
    } else {
      auto it = live.begin();
      std::advance(it, rng() % live.size());
      pool.free(*it);
      live.erase(it);
    }
    expectPoolHolds(pool, live);
  }
  EXPECT_EQ(static_cast<i32>(everHanded.size()), n);  // only N distinct records ever exist
}

TEST(ClPool, InvariantUnderRandomAllocFreeOrders) {
  static ClPool<int, 16> pool;
  randomAllocFree(pool, 16, 99);
}

TEST(ClPool, SwapOnFreeExhaustionAndDoubleFree) {
  static ClPool<int, 3> pool;
  int* a = pool.alloc();
  int* b = pool.alloc();
  int* c = pool.alloc();
  EXPECT_KV_FATAL(pool.alloc(), "Pool alloc failed");
  pool.free(a);  // the last in-use frame takes the freed position
  EXPECT_EQ(pool.get(0), c);
  EXPECT_EQ(pool.get(1), b);
  pool.free(nullptr);
  EXPECT_EQ(pool.getCount(), 2);
  EXPECT_KV_ASSERT(pool.free(a),
                   "Pool double-free detected! frame->absoluteImmutableIndex [2] < m_iAllocCount [2]");
  EXPECT_KV_ASSERT(pool.get(2), "index < m_iAllocCount");
  EXPECT_KV_FATAL(pool.indexOf(a), "Could not find element in pool! RETURNING -1 FOR INDEX!!!  BEWARE!!!");
  EXPECT_EQ(pool.alloc(), a);  // the freed frame is the next handed out
  pool.initialize();
  EXPECT_EQ(pool.getCount(), 0);
}

TEST(ClDynamicPool, InvariantInitialisationAndFreeAll) {
  ClDynamicPool<int> pool;
  EXPECT_KV_FATAL(pool.alloc(), "Pool alloc failed");
  KvAllocFailNext(1);
  EXPECT_KV_ASSERT(pool.initialize(8), "m_ppFrames");
  EXPECT_EQ(pool.initialize(8), 1);
  EXPECT_KV_ASSERT(pool.initialize(8), "Dynamic pool already init! I see dangling pointers in your future!");
  randomAllocFree(pool, 8, 7);
  while (pool.getCount() < 5) {
    pool.alloc();
  }
  pool.freeAll();
  EXPECT_EQ(pool.getCount(), 0);
  expectPoolHolds(pool, {});
  pool.terminate();
  EXPECT_FALSE(pool.isInitialized());
}

}  // namespace
