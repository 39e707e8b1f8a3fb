// The pointer table that ClPool and ClDynamicPool share; the pools own the frames and the table's storage.
//
// A table of frame pointers keeps the frames in use densely at positions 0..count-1: alloc hands out the
// frame at position count; free swaps the last frame in use into the freed position, so free is O(1) and
// the order of the frames in use is not stable. An exhausted table is the fatal error "Pool alloc failed";
// a double free is an assertion. No lock: the owner serialises access.
#pragma once

#include "Corvane/System/KvDebug.h"

template <typename T>
class ClPoolFrameTable {
 public:
  ClPoolFrameTable(const ClPoolFrameTable&) = delete;
  ClPoolFrameTable& operator=(const ClPoolFrameTable&) = delete;

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

 protected:
  struct SFrame {
    T data;  // first, so a record's address is its frame's address
    i32 absoluteImmutableIndex;
  };

  ClPoolFrameTable() = default;
  ~ClPoolFrameTable() = default;

  // Points the table at iMaxAllocs frames and their pointer storage, every frame free in storage order.
  void resetTable(SFrame* pFrames, SFrame** ppPointers, i32 iMaxAllocs) {
    for (i32 i = 0; i < iMaxAllocs; ++i) {
      ppPointers[i] = &pFrames[i];
      pFrames[i].absoluteImmutableIndex = i;
    }
    m_ppPointers = ppPointers;
    m_iAllocCount = 0;
    m_iMaxAllocs = iMaxAllocs;
  }

  // Forgets the frames: the table holds nothing and hands out nothing.
  void clearTable() {
    m_ppPointers = nullptr;
    m_iAllocCount = 0;
    m_iMaxAllocs = 0;
  }

  SFrame** m_ppPointers = nullptr;
  i32 m_iAllocCount = 0;
  i32 m_iMaxAllocs = 0;
};
