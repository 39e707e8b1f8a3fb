#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Corvane/ADT/ClDictionaryPool.h"
#include "Corvane/ADT/ClLinearHashTable.h"
#include "Corvane/ADT/ClList.h"
#include "Corvane/ADT/ClSimpleStackTemplate.h"
#include "Corvane/ADT/ClVarArray.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// In death tests: show the report on stderr, then let the real stop fault.
void printingStopHook(u32) { std::fputs(KvGetLastMessage(), stderr); }

TEST(ClVarArray, GrowsFromFirstCapacityThenDoubles) {
  ClVarArray<std::string> a;
  EXPECT_EQ(a.getCapacity(), 0u);
  a.append("first");
  EXPECT_EQ(a.getCapacity(), 8u);
  for (u32 i = 1; i < 8; ++i) {
    a.append(std::to_string(i));
  }
  EXPECT_EQ(a.getCapacity(), 8u);
  a.append(a.at(0));  // ninth append, of an element of the array itself
  EXPECT_EQ(a.getCapacity(), 16u);
  EXPECT_EQ(a.at(8), "first");
  EXPECT_EQ(a.at(7), "7");
  EXPECT_KV_ASSERT(a.at(9), "uiIndex < m_uiSize");
  a.terminate();
  KvAllocFailNext(1);
  EXPECT_KV_FATAL(a.append("lost"), "Could not allocate [8] elements for ClVarArray!");  // not a write to null
  EXPECT_EQ(a.getSize(), 0u);

  ClVarArray<int, 2> small;
  small.append(1);
  EXPECT_EQ(small.getCapacity(), 2u);
  small.append(2);
  small.append(3);
  EXPECT_EQ(small.getCapacity(), 4u);
  small.terminate();
}

TEST(ClVarArrayDeathTest, DestroyedWhileHoldingABlock) {
  EXPECT_DEATH(
      {
        KvTestSystemHooks().m_onStop = &printingStopHook;
        ClVarArray<int> a;
        a.append(1);
      },
      "Leak! Call terminate\\(\\) on ClVarArray's!");
}

TEST(ClDictionaryPool, RecordsByNameHash) {
  ClDictionaryPool<int> dict;
  EXPECT_KV_FATAL(dict.getOrCreate("VSYNC"), "ClDictionaryPool is not initialized properly!");
  EXPECT_KV_FATAL(dict.has("VSYNC"), "Dictionary not init!");
  EXPECT_KV_FATAL(dict.get("VSYNC"), "Dictionary not init!");
  dict.initialize(4);
  int* pFull = dict.getOrCreate("FULLSCREEN");
  int* pVsync = dict.getOrCreate("VSYNC");
  EXPECT_LT(pFull, pVsync);  // handed out in storage order
  *pVsync = 1;
  EXPECT_EQ(dict.getOrCreate("vsync"), pVsync);  // the hash ignores case
  EXPECT_EQ(dict.get(KvStrHash("VSYNC")), pVsync);
  EXPECT_EQ(*dict.get("VSYNC"), 1);
  EXPECT_EQ(dict.has("FULLSCREEN"), 1);
  EXPECT_EQ(dict.has("RES_X"), 0);
  EXPECT_KV_FATAL(dict.get("RES_X"), "Dictionary item not found");
  dict.getOrCreate("RES_X");
  dict.getOrCreate("RES_Y");
  EXPECT_EQ(dict.getCount(), 4);
  EXPECT_KV_ASSERT(dict.getOrCreate("FORCED_RESOLUTION"), "Simple Hash Table overflow!");
  dict.terminate();
}

TEST(ClSimpleStackTemplate, FullPushIgnoredEmptyTopAsserts) {
  ClSimpleStackTemplate<int> stack;
  EXPECT_KV_ASSERT(stack.top(), "m_iCount > 0");
  stack.pop();
  EXPECT_EQ(stack.getCount(), 0);
  for (int i = 1; i <= 33; ++i) {
    stack.push(i);
  }
  EXPECT_EQ(stack.getCount(), 32);
  EXPECT_EQ(stack.top(), 32);
  stack.pop();
  EXPECT_EQ(stack.top(), 31);
}

TEST(ClLinearHashTable, ReplaceGrowAndFind) {
  ClLinearHashTable<u32, std::string> table;
  EXPECT_KV_ASSERT(table.find(1), "mp_bIsValid");
  KvAllocFailNext(1);
  EXPECT_KV_ASSERT(table.initialize(), "mp_pBucketInfos");
  table.initialize();
  EXPECT_KV_ASSERT(table.initialize(), "!mp_bIsValid");
  std::string* pFirst = table.insertOrReplace(3, "three");
  EXPECT_EQ(table.insertOrReplace(3, "drei"), pFirst);  // same address, new value
  EXPECT_EQ(*pFirst, "drei");
  for (u32 k = 0; k < 10; ++k) {
    table.insertOrReplace(5 + 16 * k, std::to_string(k));  // one bucket, grown twice
  }
  for (u32 k = 0; k < 10; ++k) {
    ASSERT_NE(table.find(5 + 16 * k), nullptr);
    EXPECT_EQ(*table.find(5 + 16 * k), std::to_string(k));
  }
  EXPECT_EQ(table.find(6), nullptr);
  for (u32 k = 0; k < 4; ++k) {
    table.insertOrReplace(7 + 16 * k, "x");
  }
  KvAllocFailNext(1);
  EXPECT_KV_FATAL(table.insertOrReplace(7 + 16 * 4, "y"), "ClLinearHashTable could not allocate a bucket");
  EXPECT_EQ(*table.find(7), "x");
  EXPECT_EQ(*table.find(3), "drei");
  // Bucket by bucket, and within a bucket in insertion order.
  std::vector<u32> keys;
  table.forEach([&](u32 uiKey, const std::string&) { keys.push_back(uiKey); });
  ASSERT_EQ(keys.size(), 15u);
  EXPECT_EQ(keys[0], 3u);
  EXPECT_EQ(keys[1], 5u);
  EXPECT_EQ(keys[10], 5u + 16 * 9);
  EXPECT_EQ(keys[11], 7u);
  EXPECT_EQ(keys[14], 7u + 16 * 3);
  table.terminate();
  EXPECT_FALSE(table.isValid());
}

struct SEntry : ClListNode {
  explicit SEntry(int iId) : id(iId) {}
  int id;
};

std::vector<int> idsOf(const ClList<SEntry>& list) {
  std::vector<int> ids;
  for (SEntry* p = list.getHead(); p != nullptr; p = ClList<SEntry>::getNext(p)) {
    ids.push_back(p->id);
  }
  std::vector<int> backwards;
  for (SEntry* p = list.getTail(); p != nullptr; p = ClList<SEntry>::getPrev(p)) {
    backwards.insert(backwards.begin(), p->id);
  }
  EXPECT_EQ(ids, backwards);
  EXPECT_EQ(static_cast<i32>(ids.size()), list.getCount());
  return ids;
}

std::vector<int> g_removed;
ClList<SEntry>* g_pList = nullptr;
void recordRemoval(SEntry* pEntry) {
  EXPECT_NE(g_pList->getHead(), pEntry);  // unlinked before the callback
  g_removed.push_back(pEntry->id);
}

TEST(ClList, RemoveAndRemoveAll) {
  ClList<SEntry> list;
  SEntry entries[5] = {SEntry(1), SEntry(2), SEntry(3), SEntry(4), SEntry(5)};
  list.remove(&entries[0]);  // empty list: left alone
  EXPECT_EQ(list.getCount(), 0);
  for (SEntry& e : entries) {
    list.addTail(&e);
  }
  list.remove(&entries[2]);
  list.remove(&entries[0]);
  list.remove(&entries[4]);
  EXPECT_EQ(idsOf(list), (std::vector<int>{2, 4}));
  g_pList = &list;
  list.removeAll(&recordRemoval);
  EXPECT_EQ(g_removed, (std::vector<int>{2, 4}));
  EXPECT_EQ(idsOf(list), std::vector<int>{});
}

}  // namespace
