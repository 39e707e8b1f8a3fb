// Fixed pool of N records whose frames and pointer table are allocated on the heap by initialize(N).
//
// Works as ClPool (alloc, free, get and indexOf come from ClPoolFrameTable): the frames in use sit densely
// at positions 0..count-1 of the pointer table; alloc hands out the frame at position count, free swaps the
// last frame in use into the freed position (order not stable). Records are default-constructed by
// initialize and destroyed by terminate; alloc hands a record out as it was left. An exhausted pool is the
// fatal error "Pool alloc failed"; a double free or a second initialize is an assertion. No lock: the owner
// serialises access.
#pragma once

#include <new>

#include "Corvane/ADT/ClPoolFrameTable.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

template <typename T>
class ClDynamicPool : public ClPoolFrameTable<T> {
  using SFrame = typename ClPoolFrameTable<T>::SFrame;

 public:
  ClDynamicPool() = default;

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
    SFrame** ppPointers =
        static_cast<SFrame**>(KvAlignedAlloc(sizeof(SFrame*) * static_cast<size_t>(iMaxAllocs), 16));
    if (ppPointers == nullptr) {
      KvAlignedFree(m_ppFrames);
      m_ppFrames = nullptr;
      KV_FATAL("Could not allocate m_ppPointers!");
      return 0;
    }
    for (i32 i = 0; i < iMaxAllocs; ++i) {
      new (&m_ppFrames[i]) SFrame();
    }
    this->resetTable(m_ppFrames, ppPointers, iMaxAllocs);
    m_bInitialized = 1;
    return 1;
  }

  // Destroys every record and frees both blocks; the pool may be initialised again.
  void terminate() {
    if (!m_bInitialized) {
      return;
    }
    for (i32 i = 0; i < this->m_iMaxAllocs; ++i) {
      m_ppFrames[i].~SFrame();
    }
    KvAlignedFree(m_ppFrames);
    KvAlignedFree(this->m_ppPointers);
    m_ppFrames = nullptr;
    this->clearTable();
    m_bInitialized = 0;
  }

  // Frees every record in use, walking from the last position down.
  void freeAll() {
    for (i32 i = this->m_iAllocCount - 1; i >= 0; --i) {
      this->free(&this->m_ppPointers[i]->data);
    }
  }

  bool isInitialized() const { return m_bInitialized != 0; }

 private:
  SFrame* m_ppFrames = nullptr;
  u32 m_bInitialized = 0;
};
