// Read buffers of the archive reader: blocks given back by closed references are kept (a few, up to a size) for
// the next reads, which an archive read entry after entry asks for in like sizes.
#include <utility>

#include "Corvane/Files/ClMagFileIOInternal.h"
#include "Corvane/Memory/KvAlloc.h"

namespace {

// Read buffers given back by closed references, kept for the next reads: an archive is read entry after entry
// with buffers of like sizes, and a fresh block of a few hundred KiB costs page faults on every use.
struct SSpareBuffer {
  u8* pBlock;
  u32 uiCapacity;
};
constexpr i32 gc_iMAG_SPARE_BUFFERS = 4;
constexpr u32 gc_uiMAG_MAX_SPARE_BUFFER = 4u << 20;
SSpareBuffer g_aSpareBuffers[gc_iMAG_SPARE_BUFFERS];
i32 g_iSpareBufferCount = 0;

}  // namespace

namespace KvMag {

// A block of at least uiBytes at the alignment: a spare one that is not much larger, else a new one. Its
// capacity goes to *puiCapacity. Null when the heap refuses (a failure injected for tests counts here too).
u8* takeBuffer(u32 uiBytes, u32 uiAlignment, u32* puiCapacity) {
  uiAlignment = uiAlignment > gc_uiMAG_ALIGNMENT ? uiAlignment : gc_uiMAG_ALIGNMENT;
  i32 iBest = -1;
  for (i32 i = 0; i < g_iSpareBufferCount; ++i) {
    const SSpareBuffer& spare = g_aSpareBuffers[i];
    const bool bFits = spare.uiCapacity >= uiBytes && spare.uiCapacity - uiBytes <= uiBytes / 2 + 4096 &&
                       reinterpret_cast<uintptr_t>(spare.pBlock) % uiAlignment == 0;
    if (bFits && (iBest < 0 || spare.uiCapacity < g_aSpareBuffers[iBest].uiCapacity)) {
      iBest = i;
    }
  }
  if (iBest >= 0 && !KvAllocFailureInjected()) {
    u8* pBlock = g_aSpareBuffers[iBest].pBlock;
    *puiCapacity = g_aSpareBuffers[iBest].uiCapacity;
    g_aSpareBuffers[iBest] = g_aSpareBuffers[--g_iSpareBufferCount];
    return pBlock;
  }
  if (iBest >= 0) {
    return nullptr;
  }
  // On a cache line: reads are copied in fastest to a line boundary.
  u8* pBlock = static_cast<u8*>(KvAlignedAlloc(uiBytes, uiAlignment > 64 ? uiAlignment : 64));
  *puiCapacity = pBlock != nullptr ? uiBytes : 0;
  return pBlock;
}

// Keeps a block for a later read, or frees it when it is too large or enough are kept (the smallest kept
// block gives way to a larger one).
void giveBufferBack(u8* pBlock, u32 uiCapacity) {
  if (pBlock == nullptr) {
    return;
  }
  if (uiCapacity == 0 || uiCapacity > gc_uiMAG_MAX_SPARE_BUFFER) {
    KvAlignedFree(pBlock);
    return;
  }
  if (g_iSpareBufferCount < gc_iMAG_SPARE_BUFFERS) {
    g_aSpareBuffers[g_iSpareBufferCount++] = {pBlock, uiCapacity};
    return;
  }
  i32 iSmallest = 0;
  for (i32 i = 1; i < g_iSpareBufferCount; ++i) {
    if (g_aSpareBuffers[i].uiCapacity < g_aSpareBuffers[iSmallest].uiCapacity) {
      iSmallest = i;
    }
  }
  if (g_aSpareBuffers[iSmallest].uiCapacity < uiCapacity) {
    std::swap(g_aSpareBuffers[iSmallest].pBlock, pBlock);
    std::swap(g_aSpareBuffers[iSmallest].uiCapacity, uiCapacity);
  }
  KvAlignedFree(pBlock);
}

void freeSpareBuffers() {
  for (i32 i = 0; i < g_iSpareBufferCount; ++i) {
    KvAlignedFree(g_aSpareBuffers[i].pBlock);
  }
  g_iSpareBufferCount = 0;
}

}  // namespace KvMag
