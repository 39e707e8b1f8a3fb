// Growable array of elements stored by value, contiguously, in insertion order.
//
// initialize() sets the first capacity (8 unless the caller gives one); append doubles the capacity when
// size + 1 reaches it, so the capacity always exceeds the size (a vector of 8 holds 7 before it grows). A
// fixed-size vector never grows: needing to is a programming error. Misuse (use before initialize, a bad
// index, a second initialize or terminate) stops the program with an assertion; nothing is returned as an
// error. No lock: the owner serialises access.
//
// The vector owns its elements: erase, clear and terminate destroy them, and growth move-constructs them
// into the new block, so element types that own memory (String) are safe. A vector may start in a block that
// someone else owns (initializeInBlock: nodes built in one block per file); it then frees that block never,
// and moves into a block of its own when it grows. The vector itself has no
// destructor work: its owner calls terminate(). Copying a vector copies the handle, not the elements (both
// copies then share one block, and only one may terminate it).
#pragma once

#include <new>
#include <utility>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

template <typename T>
class ClDynamicVector {
 public:
  void initialize() { initialize(8); }

  void initialize(i32 iInitialSize, bool bFixedSize = false) {
    assertNotStarted();
    KV_ASSERT(iInitialSize > 0);
    T* pBlock = static_cast<T*>(KvAlignedAlloc(sizeof(T) * static_cast<size_t>(iInitialSize), 16));
    KV_ASSERT_MSG(pBlock, "m_pObjects");
    start(pBlock, iInitialSize, bFixedSize, true);
  }

  // Starts the vector in a block of iCapacity elements that its owner keeps and frees; the vector never frees
  // it (a growth moves the elements into a block of the vector's own).
  void initializeInBlock(T* pBlock, i32 iCapacity) {
    assertNotStarted();
    KV_ASSERT(pBlock != nullptr && iCapacity > 0);
    start(pBlock, iCapacity, false, false);
  }

  // Appends a copy of the element (which may live in this vector) and returns the new size.
  i32 append(const T& element) {
    KV_ASSERT_MSG(m_bInitialized, "Uninitialized Dynamic vector used!");
    if (m_iSize + 1 >= m_iCapacity) {
      grow(element);
    } else {
      new (m_pObjects + m_iSize) T(element);
    }
    if (m_pFirst == nullptr) {
      m_pFirst = m_pObjects;
    }
    m_pLast = m_pObjects + m_iSize;
    return ++m_iSize;
  }

  // Appends an element made in place by default initialisation and returns it: the fields of a plain struct are
  // left as they are, for large records that the caller fills field by field instead of copying a whole one in.
  T* appendInPlace() {
    KV_ASSERT_MSG(m_bInitialized, "Uninitialized Dynamic vector used!");
    if (m_iSize + 1 >= m_iCapacity) {
      moveToDoubledBlock(allocateDoubledBlock());
    }
    T* pElement = new (m_pObjects + m_iSize) T;
    if (m_pFirst == nullptr) {
      m_pFirst = m_pObjects;
    }
    m_pLast = pElement;
    ++m_iSize;
    return pElement;
  }

  T* at(i32 index) {
    KV_ASSERT_MSG(m_bInitialized, "Uninitialized Dynamic vector used!");
    KV_ASSERT(index >=0 && index < m_iSize);
    return m_pObjects + index;
  }
  const T* at(i32 index) const { return const_cast<ClDynamicVector*>(this)->at(index); }
  T& operator[](i32 index) { return *at(index); }
  const T& operator[](i32 index) const { return *at(index); }

  // Removes one element; the later ones move down by one.
  void erase(i32 iIndexToErase) {
    KV_ASSERT_MSG(m_bInitialized, "Uninitialized Dynamic vector used!");
    KV_ASSERT(iIndexToErase >= 0 && iIndexToErase < m_iSize);
    for (i32 i = iIndexToErase; i + 1 < m_iSize; ++i) {
      m_pObjects[i] = std::move(m_pObjects[i + 1]);
    }
    m_pObjects[m_iSize - 1].~T();
    --m_iSize;
    m_pLast = m_iSize > 0 ? m_pObjects + m_iSize - 1 : nullptr;
  }

  // Erases the first element equal to value; none equal is a fatal error.
  void removeValue(const T& value) {
    KV_ASSERT_MSG(m_bInitialized, "Uninitialized Dynamic vector used!");
    for (i32 i = 0; i < m_iSize; ++i) {
      if (m_pObjects[i] == value) {
        erase(i);
        return;
      }
    }
    KV_FATAL("Item not found to delete by value!");
  }

  i32 getCount() const { return m_iSize; }
  i32 getCapacity() const { return m_iCapacity; }
  bool isInitialized() const { return m_bInitialized; }
  // First and last element (null when empty).
  T* getFirst() const { return m_iSize > 0 ? m_pFirst : nullptr; }
  T* getLast() const { return m_pLast; }

  // Size 0; the block stays.
  void clear() {
    KV_ASSERT_MSG(m_bInitialized, "Uninitialized Dynamic vector used!");
    destroyAll();
    m_iSize = 0;
    m_pLast = nullptr;
  }

  void terminate() {
    KV_ASSERT_MSG(m_iCapacity >= 0, "Dynamic vector impossibility detected!  Is this a memory overwrite?");
    KV_ASSERT_MSG(m_bInitialized, "Dynamic vector double-free OR terminating an uninitialized dynamic vector!");
    destroyAll();
    if (m_bOwnsBlock) {
      KvAlignedFree(m_pObjects);
    }
    *this = ClDynamicVector();
  }

 private:
  void assertNotStarted() const {
    KV_ASSERT_MSG(!m_bInitialized,
                  "initialize(): Dynamic vector already initialized!  I see dangling pointers in your future!");
  }

  void start(T* pBlock, i32 iCapacity, bool bFixedSize, bool bOwnsBlock) {
    m_pObjects = pBlock;
    m_bInitialized = true;
    m_bFixedSize = bFixedSize;
    m_bOwnsBlock = bOwnsBlock;
    m_iCapacity = iCapacity;
    m_iInitialSize = iCapacity;
    m_iSize = 0;
    m_pLast = nullptr;
    m_pFirst = nullptr;
  }

  void destroyAll() {
    for (i32 i = 0; i < m_iSize; ++i) {
      m_pObjects[i].~T();
    }
  }

  // Doubles the block and stores the new element at index size. The element is copied before the old
  // block is released, so appending an element of this same vector is safe.
  void grow(const T& element) {
    T* pTempFrames = allocateDoubledBlock();
    new (pTempFrames + m_iSize) T(element);
    moveToDoubledBlock(pTempFrames);
  }

  // A block of twice the capacity, not yet used.
  T* allocateDoubledBlock() {
    KV_ASSERT_MSG(!m_bFixedSize, "CANNOT RESIZE THIS VECTOR; PLEASE CHANGE INITIAL SIZE OR CHECK YOUR LOGIC!");
    KV_ASSERT_MSG(m_iCapacity >= 1, "Dynamic vector used before being initialized!!!");
    const size_t uiBytes = sizeof(T) * static_cast<size_t>(m_iCapacity) * 2;
    T* pTempFrames = static_cast<T*>(KvAlignedAlloc(uiBytes, 16));
    KV_ASSERT(pTempFrames);
    if (pTempFrames == nullptr) {
      KV_FATALF("Could not allocate [%d] bytes for realloc of vector at [0x%08llX]!", static_cast<i32>(uiBytes),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }
    return pTempFrames;
  }

  // Moves the elements into the block of allocateDoubledBlock and releases the old one.
  void moveToDoubledBlock(T* pTempFrames) {
    const i32 iNewCapacity = m_iCapacity * 2;
    for (i32 i = 0; i < m_iSize; ++i) {
      new (pTempFrames + i) T(std::move(m_pObjects[i]));
      m_pObjects[i].~T();
    }
    if (m_pFirst != nullptr) {
      m_pFirst = pTempFrames + (m_pFirst - m_pObjects);
    }
    if (m_bOwnsBlock) {
      KvAlignedFree(m_pObjects);
    }
    m_bOwnsBlock = true;
    m_pObjects = pTempFrames;
    m_iCapacity = iNewCapacity;
  }

  u32 m_bInitialized = 0;
  u16 m_bFixedSize = 0;
  u16 m_bOwnsBlock = 0;
  T* m_pObjects = nullptr;
  T* m_pLast = nullptr;
  T* m_pFirst = nullptr;
  i32 m_iCapacity = 0;
  i32 m_iSize = 0;
  i32 m_iInitialSize = 0;
};
