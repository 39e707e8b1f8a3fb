#include "Corvane/Memory/KvAlloc.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<i32> g_iFailNext{0};
// Blocks handed out and not yet freed, and their usable bytes.
std::atomic<i64> g_iLiveBlocks{0};
std::atomic<i64> g_iLiveBytes{0};
}  // namespace

bool KvAllocFailureInjected() {
  return g_iFailNext.load(std::memory_order_relaxed) > 0 && g_iFailNext.fetch_sub(1) > 0;
}

void* KvAlignedAlloc(size_t uiBytes, size_t uiAlignment) {
  if (KvAllocFailureInjected()) {
    return nullptr;
  }
  if (uiAlignment < sizeof(void*)) {
    uiAlignment = sizeof(void*);
  }
  void* pBlock = nullptr;
  if (posix_memalign(&pBlock, uiAlignment, uiBytes ? uiBytes : 1) != 0) {
    return nullptr;
  }
  g_iLiveBlocks.fetch_add(1, std::memory_order_relaxed);
  g_iLiveBytes.fetch_add(static_cast<i64>(malloc_usable_size(pBlock)), std::memory_order_relaxed);
  return pBlock;
}

void KvAlignedFree(void* pBlock) {
  if (pBlock == nullptr) {
    return;
  }
  g_iLiveBlocks.fetch_sub(1, std::memory_order_relaxed);
  g_iLiveBytes.fetch_sub(static_cast<i64>(malloc_usable_size(pBlock)), std::memory_order_relaxed);
  std::free(pBlock);
}

i64 KvAllocLiveBlocks() { return g_iLiveBlocks.load(std::memory_order_relaxed); }
i64 KvAllocLiveBytes() { return g_iLiveBytes.load(std::memory_order_relaxed); }

void KvAllocFailNext(i32 iCount) { g_iFailNext.store(iCount < 0 ? 0 : iCount); }
