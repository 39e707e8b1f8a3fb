#include "Corvane/Memory/ClGenericMemoryAllocator.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "Corvane/System/KvDebug.h"

// A chunk: a 16-byte boundary tag, then the payload. Free chunks keep their list links in the payload.
struct SGenericHeapChunk {
  size_t uiPrevSize;   // size of the chunk just below (0 for the heap's first chunk)
  size_t uiSizeFlags;  // own size (a multiple of 16) | the in-use bit
  SGenericHeapChunk* pNextFree;
  SGenericHeapChunk* pPrevFree;
};

// The heap's header: the payload of its first chunk.
struct SGenericHeap {
  u64 uiMagic;
  SGenericHeapChunk* pFirst;  // the chunk holding this header
  SGenericHeapChunk* pEnd;    // the fencepost: a tag only, size 0, in use, so nothing merges past it
  SGenericHeapChunk* pFreeList;
};

namespace {

typedef SGenericHeapChunk SChunk;

constexpr size_t gc_uiALIGN = 16;
constexpr size_t gc_uiTAG = 16;  // bytes of boundary tag before every payload
constexpr size_t gc_uiMIN_CHUNK = sizeof(SChunk);
constexpr size_t gc_uiIN_USE = 1;
constexpr size_t gc_uiTRIM_THRESHOLD = 2u * 1024u * 1024u;
constexpr u64 gc_uiHEAP_MAGIC = 0x4B7648656170AA58ull;
constexpr size_t gc_uiHEADER_CHUNK = (gc_uiTAG + sizeof(SGenericHeap) + gc_uiALIGN - 1) & ~(gc_uiALIGN - 1);
static_assert(gc_uiMIN_CHUNK == 32 && gc_uiTAG % gc_uiALIGN == 0);

struct SHeapParameters {
  bool bSet = false;
  u32 uiPageSize = 0;
  u32 uiGranularity = 0;
  size_t uiTrimThreshold = gc_uiTRIM_THRESHOLD;
  u64 uiMagic = gc_uiHEAP_MAGIC;
};

SHeapParameters g_heapParameters;

inline size_t chunkSize(const SChunk* pChunk) { return pChunk->uiSizeFlags & ~gc_uiIN_USE; }
inline bool chunkInUse(const SChunk* pChunk) { return (pChunk->uiSizeFlags & gc_uiIN_USE) != 0; }
inline SChunk* chunkAt(void* pAddress) { return static_cast<SChunk*>(pAddress); }
inline SChunk* nextChunk(SChunk* pChunk) {
  return chunkAt(reinterpret_cast<u8*>(pChunk) + chunkSize(pChunk));
}
inline SChunk* prevChunk(SChunk* pChunk) { return chunkAt(reinterpret_cast<u8*>(pChunk) - pChunk->uiPrevSize); }
inline void* payloadOf(SChunk* pChunk) { return reinterpret_cast<u8*>(pChunk) + gc_uiTAG; }
inline SChunk* chunkOfPayload(void* pPayload) { return chunkAt(static_cast<u8*>(pPayload) - gc_uiTAG); }
inline bool isPowerOfTwo(size_t uiValue) { return uiValue != 0 && (uiValue & (uiValue - 1)) == 0; }

// The chunk size for a payload of uiSize bytes; 0 when the request cannot be met by any heap.
inline size_t chunkSizeFor(size_t uiSize) {
  if (uiSize > std::numeric_limits<size_t>::max() / 2) {
    return 0;
  }
  return std::max(gc_uiMIN_CHUNK, (uiSize + gc_uiTAG + gc_uiALIGN - 1) & ~(gc_uiALIGN - 1));
}

inline u32 saturateU32(size_t uiValue) {
  return uiValue > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(uiValue);
}

}  // namespace

void ClGenericMemoryAllocator::initParameters(u32 uiPageSize, u32 uiAllocationGranularity) {
  if (!isPowerOfTwo(uiPageSize) || !isPowerOfTwo(uiAllocationGranularity)) {
    KvStop(gc_uiSTOP_FATAL);
  }
  g_heapParameters.uiPageSize = uiPageSize;
  g_heapParameters.uiGranularity = uiAllocationGranularity;
  g_heapParameters.uiTrimThreshold = gc_uiTRIM_THRESHOLD;
  g_heapParameters.uiMagic = gc_uiHEAP_MAGIC;
  g_heapParameters.bSet = true;
}

void ClGenericMemoryAllocator::checkMagic() const {
  if (mp_pHeap != nullptr && mp_pHeap->uiMagic != g_heapParameters.uiMagic) {
    KvStop(gc_uiSTOP_FATAL);
  }
}

bool ClGenericMemoryAllocator::createHeap(void* pBlock, size_t uiSize) {
  mp_pBlock = pBlock;
  mp_pHeap = nullptr;
  if (!g_heapParameters.bSet) {
    u32 uiPageSize = 0;
    u32 uiGranularity = 0;
    readSystemParameters(uiPageSize, uiGranularity);
    initParameters(uiPageSize, uiGranularity);
  }
  const uintptr_t uiStart = reinterpret_cast<uintptr_t>(pBlock);
  if (pBlock == nullptr || uiSize < gc_uiMIN_HEAP_BLOCK_SIZE || uiStart + uiSize < uiStart) {
    return true;
  }
  const uintptr_t uiFirst = (uiStart + gc_uiALIGN - 1) & ~uintptr_t{gc_uiALIGN - 1};
  const uintptr_t uiEnd = ((uiStart + uiSize) & ~uintptr_t{gc_uiALIGN - 1}) - gc_uiTAG;

  SChunk* pFirst = chunkAt(reinterpret_cast<void*>(uiFirst));
  pFirst->uiPrevSize = 0;
  pFirst->uiSizeFlags = gc_uiHEADER_CHUNK | gc_uiIN_USE;
  SGenericHeap* pHeap = static_cast<SGenericHeap*>(payloadOf(pFirst));
  pHeap->uiMagic = g_heapParameters.uiMagic;
  pHeap->pFirst = pFirst;
  pHeap->pEnd = chunkAt(reinterpret_cast<void*>(uiEnd));
  pHeap->pEnd->uiSizeFlags = gc_uiIN_USE;

  // Everything between the header chunk and the fencepost is the top chunk.
  SChunk* pTop = nextChunk(pFirst);
  pTop->uiPrevSize = gc_uiHEADER_CHUNK;
  pTop->uiSizeFlags = (uiEnd - reinterpret_cast<uintptr_t>(pTop)) | gc_uiIN_USE;
  pHeap->pEnd->uiPrevSize = chunkSize(pTop);
  pHeap->pFreeList = nullptr;
  mp_pHeap = pHeap;
  releaseChunk(pTop);
  return true;
}

void ClGenericMemoryAllocator::unlinkFree(SChunk* pChunk) {
  if (pChunk->pPrevFree != nullptr) {
    pChunk->pPrevFree->pNextFree = pChunk->pNextFree;
  } else {
    mp_pHeap->pFreeList = pChunk->pNextFree;
  }
  if (pChunk->pNextFree != nullptr) {
    pChunk->pNextFree->pPrevFree = pChunk->pPrevFree;
  }
}

void ClGenericMemoryAllocator::releaseChunk(SChunk* pChunk) {
  size_t uiSize = chunkSize(pChunk);
  // Cleared first: if this tag ends up inside a merged chunk, a second free of it is still seen as one.
  pChunk->uiSizeFlags = uiSize;
  SChunk* pNext = nextChunk(pChunk);
  if (!chunkInUse(pNext)) {
    unlinkFree(pNext);
    uiSize += chunkSize(pNext);
  }
  if (pChunk != mp_pHeap->pFirst) {
    SChunk* pPrev = prevChunk(pChunk);
    if (!chunkInUse(pPrev)) {
      unlinkFree(pPrev);
      uiSize += chunkSize(pPrev);
      pChunk = pPrev;
    }
  }
  pChunk->uiSizeFlags = uiSize;
  nextChunk(pChunk)->uiPrevSize = uiSize;
  pChunk->pPrevFree = nullptr;
  pChunk->pNextFree = mp_pHeap->pFreeList;
  if (mp_pHeap->pFreeList != nullptr) {
    mp_pHeap->pFreeList->pPrevFree = pChunk;
  }
  mp_pHeap->pFreeList = pChunk;
}

void ClGenericMemoryAllocator::shrinkChunk(SChunk* pChunk, size_t uiSize) {
  const size_t uiOld = chunkSize(pChunk);
  if (uiOld - uiSize < gc_uiMIN_CHUNK) {
    return;
  }
  pChunk->uiSizeFlags = uiSize | gc_uiIN_USE;
  SChunk* pRest = nextChunk(pChunk);
  pRest->uiPrevSize = uiSize;
  pRest->uiSizeFlags = (uiOld - uiSize) | gc_uiIN_USE;
  nextChunk(pRest)->uiPrevSize = uiOld - uiSize;
  releaseChunk(pRest);
}

void* ClGenericMemoryAllocator::allocate(size_t uiSize) {
  checkMagic();
  const size_t uiNeed = chunkSizeFor(uiSize);
  if (mp_pHeap == nullptr || uiNeed == 0) {
    return nullptr;
  }
  for (SChunk* pChunk = mp_pHeap->pFreeList; pChunk != nullptr; pChunk = pChunk->pNextFree) {
    if (chunkSize(pChunk) >= uiNeed) {
      unlinkFree(pChunk);
      pChunk->uiSizeFlags |= gc_uiIN_USE;
      shrinkChunk(pChunk, uiNeed);
      return payloadOf(pChunk);
    }
  }
  return nullptr;
}

void* ClGenericMemoryAllocator::allocateAligned(size_t uiSize, size_t uiAlignment) {
  if (mp_pHeap == nullptr) {
    return nullptr;
  }
  checkMagic();
  if (uiAlignment <= gc_uiALIGN) {
    return allocate(uiSize);
  }
  if (uiAlignment > std::numeric_limits<size_t>::max() / 4) {
    return nullptr;
  }
  if (!isPowerOfTwo(uiAlignment)) {
    uiAlignment = size_t{1} << (64 - __builtin_clzll(uiAlignment));
  }
  const size_t uiNeed = chunkSizeFor(uiSize);
  if (uiNeed == 0 || uiSize > std::numeric_limits<size_t>::max() / 2 - uiAlignment) {
    return nullptr;
  }
  // Room for the payload at any alignment, plus a leading gap big enough to stand as a chunk of its own.
  u8* pRaw = static_cast<u8*>(allocate(uiSize + uiAlignment + gc_uiMIN_CHUNK));
  if (pRaw == nullptr) {
    return nullptr;
  }
  const uintptr_t uiRaw = reinterpret_cast<uintptr_t>(pRaw);
  uintptr_t uiAligned = (uiRaw + uiAlignment - 1) & ~uintptr_t{uiAlignment - 1};
  if (uiAligned != uiRaw && uiAligned - uiRaw < gc_uiMIN_CHUNK) {
    uiAligned += uiAlignment;
  }
  SChunk* pChunk = chunkOfPayload(pRaw);
  if (uiAligned != uiRaw) {
    const size_t uiLead = uiAligned - uiRaw;
    SChunk* pAligned = chunkAt(reinterpret_cast<void*>(uiAligned - gc_uiTAG));
    pAligned->uiPrevSize = uiLead;
    pAligned->uiSizeFlags = (chunkSize(pChunk) - uiLead) | gc_uiIN_USE;
    nextChunk(pAligned)->uiPrevSize = chunkSize(pAligned);
    pChunk->uiSizeFlags = uiLead | gc_uiIN_USE;
    releaseChunk(pChunk);
    pChunk = pAligned;
  }
  shrinkChunk(pChunk, uiNeed);
  return payloadOf(pChunk);
}

bool ClGenericMemoryAllocator::isChunkInUseHere(const SChunk* pChunk) const {
  const uintptr_t uiChunk = reinterpret_cast<uintptr_t>(pChunk);
  const uintptr_t uiLow = reinterpret_cast<uintptr_t>(mp_pHeap->pFirst) + gc_uiHEADER_CHUNK;
  const uintptr_t uiEnd = reinterpret_cast<uintptr_t>(mp_pHeap->pEnd);
  if (uiChunk < uiLow || uiChunk >= uiEnd || uiChunk % gc_uiALIGN != 0 || !chunkInUse(pChunk)) {
    return false;
  }
  const size_t uiSize = chunkSize(pChunk);
  if (uiSize < gc_uiMIN_CHUNK || uiSize % gc_uiALIGN != 0 || uiSize > uiEnd - uiChunk ||
      pChunk->uiPrevSize > uiChunk - reinterpret_cast<uintptr_t>(mp_pHeap->pFirst)) {
    return false;
  }
  // Both neighbours must agree with this chunk's tags.
  SChunk* pSelf = const_cast<SChunk*>(pChunk);
  return nextChunk(pSelf)->uiPrevSize == uiSize && chunkSize(prevChunk(pSelf)) == pChunk->uiPrevSize;
}

void ClGenericMemoryAllocator::free(void* pMemory) {
  if (pMemory == nullptr) {
    return;
  }
  checkMagic();
  SChunk* pChunk = chunkOfPayload(pMemory);
  KV_ASSERT_MSG(mp_pHeap != nullptr && isChunkInUseHere(pChunk),
                "ClGenericMemoryAllocator::free(): not a block in use of this heap");
  releaseChunk(pChunk);
}

bool ClGenericMemoryAllocator::hasAllocations() {
  SMemoryHeapStatistics stats;
  getStatistics(stats);
  return stats.m_uiChunksInUse > 1;
}

void ClGenericMemoryAllocator::resetHeap() { KV_FATAL("ClGenericMemoryAllocator::resetHeap() is not allowed!"); }

void ClGenericMemoryAllocator::trim() { checkMagic(); }

void ClGenericMemoryAllocator::updateStatistics() {
  SMemoryHeapStatistics stats;
  getStatistics(stats);
}

void ClGenericMemoryAllocator::reserved9(void*) {}

void ClGenericMemoryAllocator::reserved11() {}

void ClGenericMemoryAllocator::getStatistics(SMemoryHeapStatistics& stats) {
  stats = {};
  if (mp_pHeap == nullptr) {
    return;
  }
  checkMagic();
  size_t uiFree = 0;
  size_t uiUsed = 0;
  size_t uiLargest = 0;
  size_t uiChunksUsed = 0;
  size_t uiChunksFree = 0;
  for (SChunk* pChunk = mp_pHeap->pFirst; pChunk != mp_pHeap->pEnd; pChunk = nextChunk(pChunk)) {
    const size_t uiSize = chunkSize(pChunk);
    if (chunkInUse(pChunk)) {
      uiUsed += uiSize;
      ++uiChunksUsed;
    } else {
      uiFree += uiSize;
      uiLargest = std::max(uiLargest, uiSize);
      ++uiChunksFree;
    }
  }
  stats.m_uiFreeBytes = saturateU32(uiFree);
  stats.m_uiBytesInUse = saturateU32(uiUsed);
  stats.m_uiLargestFreeChunk = saturateU32(uiLargest);
  stats.m_uiChunksInUse = saturateU32(uiChunksUsed);
  stats.m_uiFreeChunks = saturateU32(uiChunksFree);
}
