// The hash index over sorted name hashes answers exactly what the binary search over them answers, also for keys
// stored more than once and for keys the table lacks.
#include "Corvane/ADT/ClSortedHashIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

namespace {

struct SIndexCase {
  const char* pWhat;
  std::vector<i32> keys;  // sorted ascending; the descending run uses them reversed
};

std::vector<SIndexCase> indexCases() {
  std::vector<SIndexCase> cases = {
      {"empty", {}},
      {"one", {7}},
      {"pairs", {-5, -5, 0, 0, 3, 3, 9, 9}},
      {"a run at the start", {1, 1, 1, 1, 1, 2, 3, 4}},
      {"a run at the end", {1, 2, 3, 4, 4, 4, 4, 4, 4}},
      {"all equal", std::vector<i32>(33, 12345)},
      {"the signed extremes", {INT_MIN, INT_MIN, -1, 0, 0, 1, INT_MAX, INT_MAX, INT_MAX}},
      {"shared low bits", {}},
  };
  for (i32 i = 0; i < 64; ++i) cases.back().keys.push_back(i << 20);
  std::mt19937 random(26);
  for (i32 iSize : {100, 1000, 4097}) {
    SIndexCase randomCase{"random with runs", {}};
    while (static_cast<i32>(randomCase.keys.size()) < iSize) {
      const i32 iKey = static_cast<i32>(random());
      const u32 uiCopies = random() % 4 == 0 ? 1 + random() % 6 : 1;
      randomCase.keys.insert(randomCase.keys.end(), uiCopies, iKey);
    }
    std::sort(randomCase.keys.begin(), randomCase.keys.end());
    cases.push_back(randomCase);
  }
  return cases;
}

TEST(SortedHashIndex, AnswersAsTheBinarySearchDoesInBothOrders) {
  for (const SIndexCase& c : indexCases()) {
    for (E_SORTED_HASH_ORDER eOrder : {E_SORTED_HASH_ASCENDING, E_SORTED_HASH_DESCENDING}) {
      SCOPED_TRACE(std::string(c.pWhat) + (eOrder == E_SORTED_HASH_ASCENDING ? ", ascending" : ", descending"));
      std::vector<i32> keys = c.keys;
      if (eOrder == E_SORTED_HASH_DESCENDING) std::reverse(keys.begin(), keys.end());
      ClSortedHashIndex index;
      ASSERT_TRUE(index.build(keys.data(), static_cast<i32>(keys.size()), eOrder));
      std::vector<i32> probes = keys;
      for (i32 iKey : keys) {
        probes.push_back(iKey == INT_MAX ? iKey : iKey + 1);
        probes.push_back(iKey == INT_MIN ? iKey : iKey - 1);
      }
      probes.insert(probes.end(), {0, 1, -1, INT_MIN, INT_MAX, 0x12345678});
      for (i32 iKey : probes) {
        const i32 iSearched = KvSortedHashSearch(keys.data(), static_cast<i32>(keys.size()), iKey, eOrder);
        const bool bHeld = std::find(keys.begin(), keys.end(), iKey) != keys.end();
        // The search itself finds every held key and nothing else.
        ASSERT_EQ(iSearched >= 0, bHeld) << iKey;
        if (iSearched >= 0) {
          ASSERT_EQ(keys[static_cast<size_t>(iSearched)], iKey);
        }
        ASSERT_EQ(index.find(iKey), iSearched) << iKey;
      }
      index.terminate();
      EXPECT_EQ(index.find(keys.empty() ? 0 : keys[0]), -1) << "a terminated index holds nothing";
    }
  }
}

// A table out of order can hide keys from the search: the index hides the same ones. Rebuilding replaces the
// previous keys.
TEST(SortedHashIndex, UnsortedTablesAndRebuildsFollowTheSearch) {
  const std::vector<i32> unsorted = {9, 1, 8, 2, 7, 3, 3, 6};
  ClSortedHashIndex index;
  ASSERT_TRUE(index.build(unsorted.data(), static_cast<i32>(unsorted.size()), E_SORTED_HASH_ASCENDING));
  for (i32 iKey = 0; iKey < 11; ++iKey) {
    EXPECT_EQ(index.find(iKey), KvSortedHashSearch(unsorted.data(), 8, iKey, E_SORTED_HASH_ASCENDING)) << iKey;
  }
  const std::vector<i32> other = {100, 200};
  ASSERT_TRUE(index.build(other.data(), 2, E_SORTED_HASH_ASCENDING));
  EXPECT_EQ(index.find(9), -1);
  EXPECT_EQ(index.find(200), 1);
  index.terminate();
}

}  // namespace
