// Pool of records found by the name hash (KvStrHash) of their names, such as the graphics options (32
// integer options) or the UI's canvases.
//
// initialize(N) sets up room for N records (a power of two: the index is a ClSimpleHashTable of N slots).
// getOrCreate hands out records in storage order and registers each under its name's hash; records are
// never removed until terminate. Two names with the same hash are the same record. Use before initialize
// is a fatal error; a record beyond N is the index's overflow assertion. No lock.
#pragma once

#include "Corvane/ADT/ClDynamicPool.h"
#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/System/KvDebug.h"

template <typename T>
class ClDictionaryPool {
 public:
  ClDictionaryPool() = default;
  ClDictionaryPool(const ClDictionaryPool&) = delete;
  ClDictionaryPool& operator=(const ClDictionaryPool&) = delete;

  // Records are value-initialised.
  void initialize(i32 iMaxRecords) {
    m_records.initialize(iMaxRecords);
    m_table.initialize(iMaxRecords);
    m_bInitialized = 1;
  }

  void terminate() {
    m_table.terminate();
    m_records.terminate();
    m_bInitialized = 0;
  }

  // The record of this name, created (the next free record) when absent.
  T* getOrCreate(const char* pName) {
    if (!m_bInitialized || !m_records.isInitialized()) {
      KV_FATAL("ClDictionaryPool is not initialized properly!");
    }
    KvCheckPointer(pName);
    const u32 uiHash = KvStrHash(pName);
    if (T* pRecord = m_table.findPtr<T>(uiHash)) {
      return pRecord;
    }
    // The index and the pool have the same size: the index's overflow is the report for both.
    KV_ASSERT_MSG(m_table.getCount() < m_table.getMaxAllocs(), "Simple Hash Table overflow!");
    T* pRecord = m_records.alloc();
    m_table.insertPtr(uiHash, pRecord);
    return pRecord;
  }

  i32 has(const char* pName) const {
    if (!m_bInitialized) {
      KV_FATAL("Dictionary not init!");
    }
    KvCheckPointer(pName);
    return hasHash(KvStrHash(pName));
  }
  i32 hasHash(u32 uiNameHash) const {
    if (!m_bInitialized) {
      KV_FATAL("Dictionary not init!");
    }
    return m_table.find(uiNameHash) != 0 ? 1 : 0;
  }

  T* get(u32 uiNameHash) const {
    if (!m_bInitialized) {
      KV_FATAL("Dictionary not init!");
    }
    T* pRecord = m_table.findPtr<T>(uiNameHash);
    if (pRecord == nullptr) {
      KV_FATAL("Dictionary item not found");
    }
    return pRecord;
  }
  T* get(const char* pName) const {
    KvCheckPointer(pName);
    return get(KvStrHash(pName));
  }

  i32 getCount() const { return m_records.getCount(); }
  // Calls fn with every record made so far.
  template <typename F>
  void forEach(F fn) const {
    for (i32 i = 0; i < m_records.getCount(); ++i) {
      fn(m_records.get(i));
    }
  }
  bool isInitialized() const { return m_bInitialized != 0; }

 private:
  ClDynamicPool<T> m_records;
  ClSimpleHashTable m_table;
  u32 m_bInitialized = 0;
};
