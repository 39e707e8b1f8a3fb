// Bucketed hash map from an integral key (as a rule a name hash) to a value, such as the flip-book table.
//
// 16 buckets chosen by key AND 15; each bucket keeps parallel key and value arrays, 4 entries to start,
// doubling when full, searched linearly. insertOrReplace returns the address of the stored value; that
// address stays valid until the bucket next grows. forEach visits the entries bucket by bucket. The owner
// initialises and terminates the table; one still valid when it is destroyed is reported. Use before
// initialize is an assertion; a block that cannot be allocated is a fatal error. No lock.
#pragma once

#include <new>
#include <utility>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

template <typename K, typename V>
class ClLinearHashTable {
 public:
  static constexpr i32 NUM_BUCKETS = 16;
  static constexpr i32 FIRST_BUCKET_CAPACITY = 4;

  ClLinearHashTable() = default;
  ClLinearHashTable(const ClLinearHashTable&) = delete;
  ClLinearHashTable& operator=(const ClLinearHashTable&) = delete;
  ~ClLinearHashTable() { KV_ASSERT_MSG(!mp_bIsValid, "ClLinearHashTable not properly terminated!"); }

  void initialize() {
    KV_ASSERT(!mp_bIsValid);
    mp_pBucketInfos = static_cast<SBucketInfo*>(KvAlignedAlloc(sizeof(SBucketInfo) * NUM_BUCKETS, 16));
    KV_ASSERT(mp_pBucketInfos);
    m_iNumBuckets = NUM_BUCKETS;
    m_uiMask = NUM_BUCKETS - 1;
    for (i32 i = 0; i < m_iNumBuckets; ++i) {
      SBucketInfo& bucket = mp_pBucketInfos[i];
      bucket.iCount = 0;
      bucket.iCapacity = FIRST_BUCKET_CAPACITY;
      bucket.pKeys = allocArray<K>(FIRST_BUCKET_CAPACITY);
      bucket.pValues = allocArray<V>(FIRST_BUCKET_CAPACITY);
    }
    mp_bIsValid = 1;
  }

  void terminate() {
    KV_ASSERT(mp_bIsValid);
    for (i32 i = 0; i < m_iNumBuckets; ++i) {
      SBucketInfo& bucket = mp_pBucketInfos[i];
      for (i32 j = 0; j < bucket.iCount; ++j) {
        bucket.pKeys[j].~K();
        bucket.pValues[j].~V();
      }
      KvAlignedFree(bucket.pKeys);
      KvAlignedFree(bucket.pValues);
    }
    KvAlignedFree(mp_pBucketInfos);
    mp_pBucketInfos = nullptr;
    m_iNumBuckets = 0;
    m_uiMask = 0;
    mp_bIsValid = 0;
  }

  // Address of the key's value, or null when absent.
  V* find(const K& key) const {
    KV_ASSERT(mp_bIsValid);
    SBucketInfo& bucket = bucketOf(key);
    for (i32 i = 0; i < bucket.iCount; ++i) {
      if (bucket.pKeys[i] == key) {
        return &bucket.pValues[i];
      }
    }
    return nullptr;
  }

  // Stores the value under the key (replacing an existing value) and returns its address.
  V* insertOrReplace(const K& key, const V& value) {
    KV_ASSERT(mp_bIsValid);
    SBucketInfo& bucket = bucketOf(key);
    for (i32 i = 0; i < bucket.iCount; ++i) {
      if (bucket.pKeys[i] == key) {
        bucket.pValues[i] = value;
        return &bucket.pValues[i];
      }
    }
    if (bucket.iCount == bucket.iCapacity) {
      // Copied first: the arguments may live in the blocks that growth releases.
      K keyCopy(key);
      V valueCopy(value);
      grow(bucket);
      new (bucket.pKeys + bucket.iCount) K(std::move(keyCopy));
      new (bucket.pValues + bucket.iCount) V(std::move(valueCopy));
    } else {
      new (bucket.pKeys + bucket.iCount) K(key);
      new (bucket.pValues + bucket.iCount) V(value);
    }
    return &bucket.pValues[bucket.iCount++];
  }

  // Calls fn(key, value) for every entry, bucket by bucket and within a bucket in insertion order. fn must not
  // insert into the table.
  template <typename F>
  void forEach(F&& fn) const {
    KV_ASSERT(mp_bIsValid);
    for (i32 i = 0; i < m_iNumBuckets; ++i) {
      const SBucketInfo& bucket = mp_pBucketInfos[i];
      for (i32 j = 0; j < bucket.iCount; ++j) {
        fn(bucket.pKeys[j], bucket.pValues[j]);
      }
    }
  }

  bool isValid() const { return mp_bIsValid != 0; }

 private:
  struct SBucketInfo {
    i32 iCount;
    i32 iCapacity;
    K* pKeys;
    V* pValues;
  };

  template <typename E>
  static E* allocArray(i32 iCount) {
    E* pBlock = static_cast<E*>(KvAlignedAlloc(sizeof(E) * static_cast<size_t>(iCount), 16));
    if (pBlock == nullptr) {
      KV_FATALF("ClLinearHashTable could not allocate a bucket of [%d] entries!", iCount);
    }
    return pBlock;
  }

  template <typename E>
  static void moveArray(E* pTo, E* pFrom, i32 iCount) {
    for (i32 i = 0; i < iCount; ++i) {
      new (pTo + i) E(std::move(pFrom[i]));
      pFrom[i].~E();
    }
  }

  SBucketInfo& bucketOf(const K& key) const {
    return mp_pBucketInfos[static_cast<u32>(key) & m_uiMask];
  }

  static void grow(SBucketInfo& bucket) {
    const i32 iNewCapacity = bucket.iCapacity * 2;
    K* pNewKeys = allocArray<K>(iNewCapacity);
    V* pNewValues = allocArray<V>(iNewCapacity);
    moveArray(pNewKeys, bucket.pKeys, bucket.iCount);
    moveArray(pNewValues, bucket.pValues, bucket.iCount);
    KvAlignedFree(bucket.pKeys);
    KvAlignedFree(bucket.pValues);
    bucket.pKeys = pNewKeys;
    bucket.pValues = pNewValues;
    bucket.iCapacity = iNewCapacity;
  }

  u32 mp_bIsValid = 0;
  i32 m_iNumBuckets = 0;
  SBucketInfo* mp_pBucketInfos = nullptr;
  u32 m_uiMask = 0;
};
