#include "Corvane/Memory/ClGenericMemoryAllocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

struct SLive {
  u8* pData;
  size_t uiSize;
  u8 uiFill;
};

// A heap over a block of the run-time heap, freed with the fixture.
class ClGenericMemoryAllocatorTest : public ::testing::Test {
 protected:
  void makeHeap(size_t uiSize) {
    mp_pBlock = static_cast<u8*>(KvAlignedAlloc(uiSize, 16));
    ASSERT_NE(mp_pBlock, nullptr);
    EXPECT_TRUE(m_heap.createHeap(mp_pBlock, uiSize));
    ASSERT_TRUE(m_heap.hasHeap());
    m_heap.getStatistics(m_empty);
  }
  void TearDown() override { KvAlignedFree(mp_pBlock); }

  SMemoryHeapStatistics stats() {
    SMemoryHeapStatistics s;
    m_heap.getStatistics(s);
    return s;
  }
  void expectEmpty() {
    const SMemoryHeapStatistics s = stats();
    EXPECT_EQ(std::memcmp(&s, &m_empty, sizeof(s)), 0);
  }
  // What must hold between any two operations.
  void expectConsistent(size_t uiLive) {
    const SMemoryHeapStatistics s = stats();
    ASSERT_EQ(s.m_uiFreeBytes + s.m_uiBytesInUse, m_empty.m_uiFreeBytes + m_empty.m_uiBytesInUse);
    ASSERT_EQ(s.m_uiChunksInUse, uiLive + 1);
    ASSERT_LE(s.m_uiLargestFreeChunk, s.m_uiFreeBytes);
    ASSERT_EQ(s.m_uiFreeChunks == 0, s.m_uiFreeBytes == 0);
    ASSERT_EQ(m_heap.hasAllocations(), uiLive > 0);
  }

  ClGenericMemoryAllocator m_heap;
  u8* mp_pBlock = nullptr;
  SMemoryHeapStatistics m_empty = {};
};

TEST_F(ClGenericMemoryAllocatorTest, BlockSizeDecidesWhetherThereIsAHeap) {
  alignas(16) static u8 small[1024];
  ClGenericMemoryAllocator tooSmall;
  EXPECT_TRUE(tooSmall.createHeap(small, 520));
  EXPECT_FALSE(tooSmall.hasHeap());
  EXPECT_EQ(tooSmall.allocate(8), nullptr);
  EXPECT_EQ(tooSmall.allocateAligned(8, 64), nullptr);
  SMemoryHeapStatistics s;
  std::memset(&s, 0xAB, sizeof(s));
  tooSmall.getStatistics(s);
  EXPECT_EQ(s.m_uiFreeBytes + s.m_uiBytesInUse + s.m_uiChunksInUse + s.m_uiFreeChunks, 0u);
  // A block that would reach past the end of the address space is refused without being touched.
  EXPECT_TRUE(tooSmall.createHeap(reinterpret_cast<void*>(UINTPTR_MAX - 4095), 8192));
  EXPECT_FALSE(tooSmall.hasHeap());

  ClGenericMemoryAllocator smallest;
  EXPECT_TRUE(smallest.createHeap(small + 1, 521));  // unaligned start as well
  ASSERT_TRUE(smallest.hasHeap());
  u8* p = static_cast<u8*>(smallest.allocate(100));
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p >= small + 1 && p + 100 <= small + 522 && reinterpret_cast<uintptr_t>(p) % 16 == 0);
  EXPECT_TRUE(smallest.hasAllocations());
  smallest.free(p);
  EXPECT_FALSE(smallest.hasAllocations());
}

TEST_F(ClGenericMemoryAllocatorTest, RandomAllocFreeKeepsBlocksIntactAndCoalesces) {
  makeHeap(512 * 1024);
  EXPECT_EQ(m_empty.m_uiChunksInUse, 1u);  // the heap's own header
  EXPECT_EQ(m_empty.m_uiFreeChunks, 1u);   // the top chunk
  EXPECT_EQ(m_empty.m_uiLargestFreeChunk, m_empty.m_uiFreeBytes);
  EXPECT_GT(m_empty.m_uiFreeBytes + m_empty.m_uiBytesInUse, 512u * 1024u - 64u);
  std::mt19937 rng(12345);
  std::vector<SLive> live;
  i32 iRefused = 0;
  for (i32 iStep = 0; iStep < 20000; ++iStep) {
    const bool bAllocate = live.empty() || (rng() % 100) < 55;
    if (bAllocate) {
      const size_t uiSize = (rng() % 8 == 0) ? rng() % 20000 : rng() % 300;
      const size_t uiAlign = (rng() % 4 == 0) ? size_t{1} << (rng() % 13) : 0;
      u8* p = static_cast<u8*>(uiAlign ? m_heap.allocateAligned(uiSize, uiAlign) : m_heap.allocate(uiSize));
      if (p == nullptr) {
        ++iRefused;
        continue;
      }
      ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % std::max<size_t>(uiAlign, 16), 0u);
      ASSERT_GE(p, mp_pBlock);
      ASSERT_LE(p + uiSize, mp_pBlock + 512 * 1024);
      const u8 uiFill = static_cast<u8>(rng());
      std::memset(p, uiFill, uiSize);
      live.push_back({p, uiSize, uiFill});
    } else {
      const size_t uiIndex = rng() % live.size();
      const SLive block = live[uiIndex];
      // No other allocation may have written into this block.
      for (size_t i = 0; i < block.uiSize; ++i) {
        ASSERT_EQ(block.pData[i], block.uiFill) << "step " << iStep;
      }
      m_heap.free(block.pData);
      live[uiIndex] = live.back();
      live.pop_back();
    }
    expectConsistent(live.size());
  }
  EXPECT_GT(iRefused, 0);  // the heap was driven to exhaustion at times
  for (const SLive& block : live) {
    m_heap.free(block.pData);
  }
  // Everything merged back into the one top chunk.
  expectEmpty();
  void* pAll = m_heap.allocate(m_empty.m_uiLargestFreeChunk - 16);
  EXPECT_NE(pAll, nullptr);
  EXPECT_EQ(stats().m_uiFreeChunks, 0u);
  EXPECT_EQ(m_heap.allocate(0), nullptr);
  m_heap.free(pAll);
}

TEST_F(ClGenericMemoryAllocatorTest, AlignedAllocation) {
  makeHeap(256 * 1024);
  void* p1 = m_heap.allocateAligned(10, 4096);
  void* p2 = m_heap.allocateAligned(10, 48);  // rounded up to 64
  void* p3 = m_heap.allocateAligned(1000, 8);
  ASSERT_TRUE(p1 && p2 && p3);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p1) % 4096, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p2) % 64, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p3) % 16, 0u);
  // Slack around aligned blocks goes back to the heap: only the three blocks stay in use.
  EXPECT_EQ(stats().m_uiChunksInUse, 4u);
  EXPECT_LT(stats().m_uiBytesInUse, m_empty.m_uiBytesInUse + 1200u);
  EXPECT_EQ(m_heap.allocateAligned(SIZE_MAX - 64, 4096), nullptr);
  EXPECT_EQ(m_heap.allocate(SIZE_MAX), nullptr);
  m_heap.free(p2);
  m_heap.free(p1);
  m_heap.free(p3);
  expectEmpty();
}

TEST_F(ClGenericMemoryAllocatorTest, BadFreesAreCaught) {
  makeHeap(64 * 1024);
  m_heap.free(nullptr);
  void* p = m_heap.allocate(64);
  void* q = m_heap.allocate(64);
  ASSERT_TRUE(p && q);
  std::memset(p, 0x11, 64);
  const char* pText = "ClGenericMemoryAllocator::free(): not a block in use of this heap";
  alignas(16) u8 foreign[64] = {};
  EXPECT_KV_ASSERT(m_heap.free(foreign + 16), pText);
  EXPECT_KV_ASSERT(m_heap.free(static_cast<u8*>(p) + 16), pText);
  EXPECT_KV_ASSERT(m_heap.free(m_heap.getBlock()), pText);
  m_heap.free(p);
  EXPECT_KV_ASSERT(m_heap.free(p), pText);  // twice
  m_heap.free(q);                           // q merges with p's free chunk
  EXPECT_KV_ASSERT(m_heap.free(q), pText);
  expectEmpty();
}

TEST_F(ClGenericMemoryAllocatorTest, StopsAndFatalErrors) {
  makeHeap(8 * 1024);
  EXPECT_KV_FATAL(m_heap.resetHeap(), "FATAL ERROR: ClGenericMemoryAllocator::resetHeap() is not allowed!");

  EXPECT_KV_SILENT_STOP(ClGenericMemoryAllocator::initParameters(4000, 65536), gc_uiSTOP_FATAL);
  EXPECT_KV_SILENT_STOP(ClGenericMemoryAllocator::initParameters(4096, 0), gc_uiSTOP_FATAL);
  ClGenericMemoryAllocator::initParameters(4096, 65536);

  // A heap whose header was overwritten stops the aligned allocation at once.
  std::memset(mp_pBlock, 0x5A, 8 * 1024);
  EXPECT_KV_SILENT_STOP(m_heap.allocateAligned(32, 64), gc_uiSTOP_FATAL);
}

}  // namespace
