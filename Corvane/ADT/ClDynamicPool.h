// Fixed pool of N records whose frames and pointer table are allocated on the heap by initialize(N).
//
// Works as ClPool: the frames in use sit densely at positions 0..count-1 of the pointer table; alloc hands
// out the frame at position count, free swaps the last frame in use into the freed position (order not
// stable). Records are default-constructed by initialize and destroyed by terminate; alloc hands a record
// out as it was left. An exhausted pool is the fatal error "Pool alloc failed"; a double free or a second
// initialize is an assertion. No lock: the owner serialises access.
#pragma once

#include <new>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

template <typename T>
class ClDynamicPool {
 public:
  ClDynamicPool() = default;
  ClDynamicPool(const ClDynamicPool&) = delete;
  ClDynamicPool& operator=(const ClDynamicPool&) = delete;

  // Allocates N frames and the pointer table, every frame free in storage order. 1 on success.
  i32 initialize(i32 iMaxAllocs) {
    KV_ASSERT_MSG(!m_bInitialized, "Dynamic pool already init! I see dangling pointers in your future!");
    KV_ASSERT(iMaxAllocs > 0);
    m_ppFrames = static_cast<SFrame*>(KvAlignedAlloc(sizeof(SFrame) * static_cast<size_t>(iMaxAllocs), 16));
    KV_ASSERT(m_ppFrames);
    if (m_ppFrames == nullptr) {
      KV_FATAL("Could not allocate m_ppFrames!");
      return 0;
    }
    m_ppPointers = static_cast<SFrame**>(KvAlignedAlloc(sizeof(SFrame*) * static_cast<size_t>(iMaxAllocs), 16));
    if (m_ppPointers == nullptr) {
      KvAlignedFree(m_ppFrames);
      m_ppFrames = nullptr;
      KV_FATAL("Could not allocate m_ppPointers!");
      return 0;
    }
    for (i32 i = 0; i < iMaxAllocs; ++i) {
      new (&m_ppFrames[i]) SFrame();
      m_ppFrames[i].absoluteImmutableIndex = i;
      m_ppPointers[i] = &m_ppFrames[i];
    }
    m_iAllocCount = 0;
    m_iMaxAllocs = iMaxAllocs;
    m_bInitialized = 1;
    return 1;
  }

  // Destroys every record and frees both blocks; the pool may be initialised again.
  void terminate() {
    if (!m_bInitialized) {
      return;
    }
    for (i32 i = 0; i < m_iMaxAllocs; ++i) {
      m_ppFrames[i].~SFrame();
    }
    KvAlignedFree(m_ppFrames);
    KvAlignedFree(m_ppPointers);
    m_ppFrames = nullptr;
    m_ppPointers = nullptr;
    m_iAllocCount = 0;
    m_iMaxAllocs = 0;
    m_bInitialized = 0;
  }

  T* alloc() {
    if (m_iAllocCount >= m_iMaxAllocs) {
      KV_FATAL("Pool alloc failed");
    }
    return &m_ppPointers[m_iAllocCount++]->data;
  }

  // Returns a record to the pool; null is ignored.
  void free(T* pData) {
    if (pData == nullptr) {
      return;
    }
    SFrame* frame = reinterpret_cast<SFrame*>(pData);
    KV_ASSERTF(frame->absoluteImmutableIndex < m_iAllocCount,
               "Pool double-free detected! frame->absoluteImmutableIndex [%d] < m_iAllocCount [%d]",
               frame->absoluteImmutableIndex, m_iAllocCount);
    KV_ASSERT((m_iAllocCount - 1) >= 0);
    --m_iAllocCount;
    const i32 iFreed = frame->absoluteImmutableIndex;
    if (iFreed != m_iAllocCount) {
      SFrame* pLast = m_ppPointers[m_iAllocCount];
      m_ppPointers[iFreed] = pLast;
      pLast->absoluteImmutableIndex = iFreed;
      m_ppPointers[m_iAllocCount] = frame;
      frame->absoluteImmutableIndex = m_iAllocCount;
    }
  }

  // Frees every record in use, walking from the last position down.
  void freeAll() {
    for (i32 i = m_iAllocCount - 1; i >= 0; --i) {
      free(&m_ppPointers[i]->data);
    }
  }

  // The index-th record in use.
  T* get(i32 index) const {
    KV_ASSERT_MSG(index >= 0 && index < m_iAllocCount, "index < m_iAllocCount");
    return &m_ppPointers[index]->data;
  }

  i32 getCount() const { return m_iAllocCount; }
  i32 getMaxAllocs() const { return m_iMaxAllocs; }
  bool isInitialized() const { return m_bInitialized != 0; }
  bool isFull() const { return m_iAllocCount >= m_iMaxAllocs; }

  // Position of a record in use (linear search); a record not in use is a fatal error.
  i32 indexOf(const T* pData) const {
    for (i32 i = 0; i < m_iAllocCount; ++i) {
      if (&m_ppPointers[i]->data == pData) {
        return i;
      }
    }
    KV_FATAL("Could not find element in pool! RETURNING -1 FOR INDEX!!!  BEWARE!!!");
    return -1;
  }

 private:
  struct SFrame {
    T data;  // first, so a record's address is its frame's address
    i32 absoluteImmutableIndex;
  };

  SFrame* m_ppFrames = nullptr;
  SFrame** m_ppPointers = nullptr;
  i32 m_iAllocCount = 0;
  i32 m_iMaxAllocs = 0;
  u32 m_bInitialized = 0;
};
