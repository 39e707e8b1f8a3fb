// Intrusive doubly linked list of entries of type T (derived from ClListNode), oldest at the head: the
// asynchronous asset queue, queued flip-book plays, entity lists.
//
// The list never allocates or frees: entries belong to whoever created them, and removeAll hands each
// unlinked entry to a callback that usually frees it. remove leaves the removed node's own links as they
// were, so a caller walking the list may still step to the next node. No lock: the owner serialises access.
#pragma once

#include "Corvane/ADT/ClListNode.h"
#include "Corvane/System/KvTypes.h"

template <typename T>
class ClList {
 public:
  // Appends at the tail.
  void addTail(T* pEntry) {
    ClListNode* pNode = pEntry;
    pNode->mp_pNext = nullptr;
    pNode->mp_pPrev = mp_pTail;
    if (mp_pTail != nullptr) {
      mp_pTail->mp_pNext = pNode;
    } else {
      mp_pHead = pNode;
    }
    mp_pTail = pNode;
    ++m_iCount;
  }

  // Unlinks the entry (which must be in this list); an empty list is left alone.
  void remove(T* pEntry) {
    if (mp_pHead == nullptr) {
      return;
    }
    ClListNode* pNode = pEntry;
    if (pNode->mp_pPrev != nullptr) {
      pNode->mp_pPrev->mp_pNext = pNode->mp_pNext;
    } else {
      mp_pHead = pNode->mp_pNext;
    }
    if (pNode->mp_pNext != nullptr) {
      pNode->mp_pNext->mp_pPrev = pNode->mp_pPrev;
    } else {
      mp_pTail = pNode->mp_pPrev;
    }
    --m_iCount;
  }

  // Unlinks every entry from the head on, calling pfnCallback (when given) on each after its unlinking.
  void removeAll(void (*pfnCallback)(T* pEntry) = nullptr) {
    while (mp_pHead != nullptr) {
      T* pEntry = static_cast<T*>(mp_pHead);
      remove(pEntry);
      if (pfnCallback != nullptr) {
        pfnCallback(pEntry);
      }
    }
  }

  T* getHead() const { return static_cast<T*>(mp_pHead); }
  T* getTail() const { return static_cast<T*>(mp_pTail); }
  static T* getNext(const T* pEntry) { return static_cast<T*>(static_cast<const ClListNode*>(pEntry)->mp_pNext); }
  static T* getPrev(const T* pEntry) { return static_cast<T*>(static_cast<const ClListNode*>(pEntry)->mp_pPrev); }
  i32 getCount() const { return m_iCount; }

 private:
  i32 m_iCount = 0;
  ClListNode* mp_pHead = nullptr;
  ClListNode* mp_pTail = nullptr;
};
