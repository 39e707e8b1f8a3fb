// Fixed pool of N records living inside the pool object (pools are globals sized at build time).
//
// A table of frame pointers keeps the frames in use densely at positions 0..count-1: alloc hands out the
// frame at position count; free swaps the last frame in use into the freed position, so free is O(1) and
// the order of the frames in use is not stable. Iterate with get(0..getCount()-1). Records are constructed
// once with the pool and handed out as they were left: the owner initialises a record after alloc. An
// exhausted pool is the fatal error "Pool alloc failed" (owners that want their own message test getCount
// first); a double free is an assertion. No lock: the owner serialises access.
#pragma once

#include "Corvane/System/KvDebug.h"

template <typename T, i32 N>
class ClPool {
  static_assert(N > 0);

 public:
  ClPool() { initialize(); }
  ClPool(const ClPool&) = delete;
  ClPool& operator=(const ClPool&) = delete;

  // Every frame free, in storage order.
  void initialize() {
    for (i32 i = 0; i < N; ++i) {
      m_ppPointers[i] = &m_frames[i];
      m_frames[i].absoluteImmutableIndex = i;
    }
    m_iAllocCount = 0;
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

  // The index-th record in use.
  T* get(i32 index) const {
    KV_ASSERT_MSG(index >= 0 && index < m_iAllocCount, "index < m_iAllocCount");
    return &m_ppPointers[index]->data;
  }

  i32 getCount() const { return m_iAllocCount; }
  i32 getMaxAllocs() const { return m_iMaxAllocs; }
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

  SFrame m_frames[N];
  SFrame* m_ppPointers[N];
  i32 m_iAllocCount = 0;
  i32 m_iMaxAllocs = N;
};
