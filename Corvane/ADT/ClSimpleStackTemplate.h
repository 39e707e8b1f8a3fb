// Fixed stack of 32 items held by value (game-state stacks of mappers and cameras).
//
// A push onto a full stack is ignored, a pop of an empty stack does nothing; top() of an empty stack is an
// assertion. No lock.
#pragma once

#include "Corvane/System/KvDebug.h"

template <typename T>
class ClSimpleStackTemplate {
 public:
  static constexpr i32 MAX_ITEMS = 32;

  void push(const T& item) {
    if (m_iCount < MAX_ITEMS) {
      m_items[m_iCount++] = item;
    }
  }

  void pop() {
    if (m_iCount > 0) {
      --m_iCount;
    }
  }

  T& top() {
    KV_ASSERT(m_iCount > 0);
    return m_items[m_iCount - 1];
  }

  i32 getCount() const { return m_iCount; }

 private:
  T m_items[MAX_ITEMS] = {};
  i32 m_iCount = 0;
};
