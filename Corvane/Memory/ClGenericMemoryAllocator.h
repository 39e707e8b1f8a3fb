// A general-purpose heap laid inside a block of memory that its owner hands over (createHeap).
//
// Chunks carry boundary tags (the previous chunk's size and their own size with an in-use bit); free chunks
// are coalesced with their neighbours at once and kept on one list searched first-fit. The heap's own header
// lives in the first chunk of the block, so an empty heap shows one chunk in use. The block stays the
// owner's: the heap never hands it back, and the owner must keep it alive while the heap is used.
//
// Failures: a block smaller than 521 bytes (or one that would wrap the address space) leaves no heap, and
// every allocation then answers null. A heap whose magic word is wrong (an overwritten header) and a page
// size or allocation granularity that is not a power of two stop the program at once, without a report.
// Freeing a pointer that is not a block in use of this heap is an assertion. Not thread-safe.
#pragma once

#include "Corvane/Memory/ClMemoryAllocatorInterface.h"

inline constexpr size_t gc_uiMIN_HEAP_BLOCK_SIZE = 521;

struct SGenericHeap;
struct SGenericHeapChunk;

class ClGenericMemoryAllocator : public ClMemoryAllocatorInterface {
 public:
  ClGenericMemoryAllocator() = default;
  ClGenericMemoryAllocator(const ClGenericMemoryAllocator&) = delete;
  ClGenericMemoryAllocator& operator=(const ClGenericMemoryAllocator&) = delete;
  // Leaves the block as it is: it belongs to the owner.
  ~ClGenericMemoryAllocator() override = default;

  void* allocate(size_t uiSize) override;
  void* allocateAligned(size_t uiSize, size_t uiAlignment) override;
  void free(void* pMemory) override;
  // True when more than the heap's own header chunk is in use.
  bool hasAllocations() override;
  // Always answers true; whether a heap now exists shows in hasHeap.
  bool createHeap(void* pBlock, size_t uiSize) override;
  // Not supported: always a fatal error.
  void resetHeap() override;
  // The heap lives in the owner's block and never shrinks it, so there is nothing to give back.
  void trim() override;
  void updateStatistics() override;
  void reserved9(void* pArgument) override;
  // All zero when there is no heap.
  void getStatistics(SMemoryHeapStatistics& stats) override;
  void reserved11() override;

  bool hasHeap() const { return mp_pHeap != nullptr; }
  void* getBlock() const { return mp_pBlock; }

  // Sets the process-wide heap parameters; both must be powers of two, else the program stops. createHeap
  // calls it with the system's values before the first heap is made.
  static void initParameters(u32 uiPageSize, u32 uiAllocationGranularity);

 private:
  // The system's page size and allocation granularity (platform-bound).
  static void readSystemParameters(u32& uiPageSize, u32& uiAllocationGranularity);

  void checkMagic() const;
  void unlinkFree(SGenericHeapChunk* pChunk);
  // Marks an in-use chunk free, merges it with free neighbours and puts the result on the free list.
  void releaseChunk(SGenericHeapChunk* pChunk);
  // Cuts an in-use chunk down to uiSize bytes when the rest can form a chunk, and releases the rest.
  void shrinkChunk(SGenericHeapChunk* pChunk, size_t uiSize);
  bool isChunkInUseHere(const SGenericHeapChunk* pChunk) const;

  void* mp_pBlock = nullptr;
  SGenericHeap* mp_pHeap = nullptr;
};
