#include "Corvane/Memory/KvAlloc.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<i32> g_iFailNext{0};
}

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
  return pBlock;
}

void KvAlignedFree(void* pBlock) { std::free(pBlock); }

void KvAllocFailNext(i32 iCount) { g_iFailNext.store(iCount < 0 ? 0 : iCount); }
