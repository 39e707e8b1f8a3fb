// The engine's abstract allocator: a heap that an owner lays inside a block of memory it provides.
//
// The operations keep a fixed slot order (destructor, eleven operations, one empty operation), so every
// implementation lines up with the others. Everyday allocation does not go through an allocator of this
// kind: it uses KvAlignedAlloc (KvAlloc.h).
#pragma once

#include <cstddef>

#include "Corvane/System/KvTypes.h"

// Heap statistics, in bytes and chunks (a chunk is one allocation or one free run, headers included).
struct SMemoryHeapStatistics {
  u32 m_uiFreeBytes;         // all free chunks, the top chunk included
  u32 m_uiBytesInUse;        // all chunks in use, the heap's own header chunk included
  u32 m_uiLargestFreeChunk;  // size of the largest free chunk
  u32 m_uiChunksInUse;       // the heap's own header chunk included
  u32 m_uiFreeChunks;        // the top chunk included
};

class ClMemoryAllocatorInterface {
 public:
  virtual ~ClMemoryAllocatorInterface() = default;

  // Null when the heap cannot satisfy the request (or there is no heap).
  virtual void* allocate(size_t uiSize) = 0;
  // Aligned to uiAlignment (rounded up to a power of two, at least 16).
  virtual void* allocateAligned(size_t uiSize, size_t uiAlignment) = 0;
  // A block of this heap; null is ignored.
  virtual void free(void* pMemory) = 0;
  // True while anything is allocated.
  virtual bool hasAllocations() = 0;
  // Lays a heap inside the owner's block; the block stays the owner's.
  virtual bool createHeap(void* pBlock, size_t uiSize) = 0;
  virtual void resetHeap() = 0;
  // Gives free memory at the top of the heap back where the heap can.
  virtual void trim() = 0;
  // Computes the statistics (a consistency walk) and discards them.
  virtual void updateStatistics() = 0;
  virtual void reserved9(void* pArgument) = 0;
  virtual void getStatistics(SMemoryHeapStatistics& stats) = 0;
  virtual void reserved11() = 0;
  virtual void reserved12() {}
};
