// Light growable array {size, capacity, data}.
//
// The first append allocates FIRST_CAPACITY elements (8 unless the owner chooses another, such as 1024 for
// the UI's procedure registry); an append to a full array doubles the capacity. Elements are moved into a
// new block on growth, so types that own memory are safe. The owner calls terminate(); destroying an array
// that still holds a block is the assertion "Leak! Call terminate() on ClVarArray's!". An index out of
// range is an assertion; a block that cannot be allocated is a fatal error. removeAt keeps the order of the
// others. No lock.
#pragma once

#include <new>
#include <utility>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

template <typename T, u32 FIRST_CAPACITY = 8>
class ClVarArray {
  static_assert(FIRST_CAPACITY > 0);

 public:
  ClVarArray() = default;
  ClVarArray(const ClVarArray&) = delete;
  ClVarArray& operator=(const ClVarArray&) = delete;
  ~ClVarArray() { KV_ASSERT_MSG(m_pData == nullptr, "Leak! Call terminate() on ClVarArray's!"); }

  // Appends a copy of the element (which may live in this array) and returns the new size.
  u32 append(const T& element) {
    if (m_uiSize + 1 > m_uiCapacity) {
      const u32 uiNewCapacity = m_uiCapacity == 0 ? FIRST_CAPACITY : m_uiCapacity * 2;
      KV_ASSERT_MSG(uiNewCapacity > m_uiCapacity, "ClVarArray capacity overflow!");
      T* pNewData = static_cast<T*>(KvAlignedAlloc(sizeof(T) * static_cast<size_t>(uiNewCapacity), 16));
      if (pNewData == nullptr) {
        KV_FATALF("Could not allocate [%u] elements for ClVarArray!", uiNewCapacity);
      }
      // The new element is copied before the old block goes, in case it lives there.
      new (pNewData + m_uiSize) T(element);
      for (u32 i = 0; i < m_uiSize; ++i) {
        new (pNewData + i) T(std::move(m_pData[i]));
        m_pData[i].~T();
      }
      KvAlignedFree(m_pData);
      m_pData = pNewData;
      m_uiCapacity = uiNewCapacity;
    } else {
      new (m_pData + m_uiSize) T(element);
    }
    return ++m_uiSize;
  }

  T& at(u32 uiIndex) {
    KV_ASSERT(uiIndex < m_uiSize);
    return m_pData[uiIndex];
  }
  const T& at(u32 uiIndex) const {
    KV_ASSERT(uiIndex < m_uiSize);
    return m_pData[uiIndex];
  }
  T& operator[](u32 uiIndex) { return at(uiIndex); }
  const T& operator[](u32 uiIndex) const { return at(uiIndex); }

  // Removes one element; the later ones move down by one.
  void removeAt(u32 uiIndex) {
    KV_ASSERT(uiIndex < m_uiSize);
    for (u32 i = uiIndex; i + 1 < m_uiSize; ++i) {
      m_pData[i] = std::move(m_pData[i + 1]);
    }
    m_pData[--m_uiSize].~T();
  }

  u32 getSize() const { return m_uiSize; }
  u32 getCapacity() const { return m_uiCapacity; }

  // Destroys the elements and frees the block; the array may be used again.
  void terminate() {
    for (u32 i = 0; i < m_uiSize; ++i) {
      m_pData[i].~T();
    }
    KvAlignedFree(m_pData);
    m_pData = nullptr;
    m_uiSize = 0;
    m_uiCapacity = 0;
  }

 private:
  u32 m_uiSize = 0;
  u32 m_uiCapacity = 0;
  T* m_pData = nullptr;
};
