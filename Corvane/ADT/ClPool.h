// Fixed pool of N records living inside the pool object (pools are globals sized at build time).
//
// The frames and the pointer table are members; alloc, free, get and indexOf come from ClPoolFrameTable
// (frames in use dense at positions 0..count-1, swap on free, order not stable). Iterate with
// get(0..getCount()-1). Records are constructed once with the pool and handed out as they were left: the
// owner initialises a record after alloc. An exhausted pool is the fatal error "Pool alloc failed" (owners
// that want their own message test getCount first); a double free is an assertion. No lock: the owner
// serialises access.
#pragma once

#include "Corvane/ADT/ClPoolFrameTable.h"

template <typename T, i32 N>
class ClPool : public ClPoolFrameTable<T> {
  static_assert(N > 0);
  using SFrame = typename ClPoolFrameTable<T>::SFrame;

 public:
  ClPool() { initialize(); }

  // Every frame free, in storage order.
  void initialize() { this->resetTable(m_frames, m_pointerStorage, N); }

 private:
  SFrame m_frames[N];
  SFrame* m_pointerStorage[N];
};
