// The run-time heap's live counters: what a block adds while it is held, and that freeing it (or null) takes
// exactly that back.
#include <gtest/gtest.h>

#include <vector>

#include "Corvane/Memory/KvAlloc.h"

namespace {

TEST(KvAlloc, LiveCountersFollowTheBlocksHeld) {
  struct SCase {
    size_t uiBytes;
    size_t uiAlignment;
  };
  const SCase aCases[] = {{0, 16}, {1, 8}, {24, 16}, {4096, 64}, {100000, 4096}};
  const i64 iBlocks = KvAllocLiveBlocks();
  const i64 iBytes = KvAllocLiveBytes();
  std::vector<void*> blocks;
  i64 iAsked = 0;
  for (const SCase& c : aCases) {
    blocks.push_back(KvAlignedAlloc(c.uiBytes, c.uiAlignment));
    ASSERT_NE(blocks.back(), nullptr) << c.uiBytes;
    iAsked += static_cast<i64>(c.uiBytes ? c.uiBytes : 1);
    EXPECT_EQ(KvAllocLiveBlocks(), iBlocks + static_cast<i64>(blocks.size())) << c.uiBytes;
  }
  EXPECT_GE(KvAllocLiveBytes() - iBytes, iAsked) << "at least what was asked for";
  KvAlignedFree(nullptr);
  EXPECT_EQ(KvAllocLiveBlocks(), iBlocks + static_cast<i64>(blocks.size())) << "null frees nothing";
  for (void* p : blocks) KvAlignedFree(p);
  EXPECT_EQ(KvAllocLiveBlocks(), iBlocks);
  EXPECT_EQ(KvAllocLiveBytes(), iBytes);
  // A refused allocation counts nothing.
  KvAllocFailNext(1);
  EXPECT_EQ(KvAlignedAlloc(64), nullptr);
  EXPECT_EQ(KvAllocLiveBlocks(), iBlocks);
}

}  // namespace
