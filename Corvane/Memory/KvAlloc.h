// Aligned blocks from the run-time heap: every engine container, string and file buffer is allocated here.
//
// KvAlignedAlloc answers null when the heap refuses; callers decide whether that is fatal. Tests can make
// the next allocations fail (KvAllocFailNext) to drive those paths. Thread-safe.
#pragma once

#include <cstddef>

#include "Corvane/System/KvTypes.h"

// A block of uiBytes (0 is taken as 1) aligned to uiAlignment (a power of two, at least sizeof(void*)).
void* KvAlignedAlloc(size_t uiBytes, size_t uiAlignment = 16);
// Frees a block of KvAlignedAlloc; null is ignored.
void KvAlignedFree(void* pBlock);

// Blocks of KvAlignedAlloc not yet freed, and their usable bytes (as the heap reports them): what a long run
// watches to see that its memory stays flat.
i64 KvAllocLiveBlocks();
i64 KvAllocLiveBytes();
// Test hook: the next iCount calls of KvAlignedAlloc answer null (0 turns it off).
void KvAllocFailNext(i32 iCount);
// For owners that hand out blocks they keep for reuse: true (and one failure used up) when a failure is
// injected, so a reused block fails as a fresh allocation would.
bool KvAllocFailureInjected();
