// Weighted random choice among items.
//
// Each pick draws exactly one word from the engine's random generator and counts it (KvRandomCountDraws),
// so the number and order of draws is part of a replay: r = unit float of the word x total weight, then
// the first item whose running weight sum is not below r is the pick. The owner initialises, fills,
// picks and terminates; destroying a picker that is still initialised is an assertion. Main thread only
// (the random generator is not synchronised).
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"

template <typename T>
class ClListPicker {
 public:
  ClListPicker() = default;
  ClListPicker(const ClListPicker&) = delete;
  ClListPicker& operator=(const ClListPicker&) = delete;
  ~ClListPicker() { KV_ASSERT_MSG(!mp_bInitialized, "Please explicitly terminate ClListPicker's"); }

  void initialize() {
    m_daPossibilities.initialize();
    m_fTotalWeights = KV_ZERO;
    mp_bInitialized = 1;
  }

  void terminate() {
    m_daPossibilities.terminate();
    m_fTotalWeights = KV_ZERO;
    mp_bInitialized = 0;
  }

  // Items 0..iNumIndices-1, each of weight 1.
  void addIndices(i32 iNumIndices) {
    for (i32 i = 0; i < iNumIndices; ++i) {
      KV_ASSERT(mp_bInitialized);
      m_daPossibilities.append(SPossibility{T(i), KV_ONE});
      m_fTotalWeights += KV_ONE;
    }
  }

  void add(const T& item, f32 fWeight) {
    KV_ASSERT(mp_bInitialized);
    KV_ASSERT(fWeight>KV_EPSILON);
    m_daPossibilities.append(SPossibility{item, fWeight});
    m_fTotalWeights += fWeight;
  }

  T pick() {
    KV_ASSERT(mp_bInitialized);
    KV_ASSERT(m_fTotalWeights>KV_EPSILON);
    KV_ASSERT_MSG(m_daPossibilities.getCount() > 0, "m_daPossibilities.size()>0");
    const u32 uiWord = sfmtNextWord();
    KvRandomCountDraws(1);
    const f32 r = KvMath::wordToUnitFloat(uiWord) * m_fTotalWeights;
    const i32 iLast = m_daPossibilities.getCount() - 1;
    i32 i = 0;
    f32 fSum = m_daPossibilities[0].fWeight;
    // The bound only guards against float rounding: the sum of all weights is the total.
    while (r > fSum && i < iLast) {
      ++i;
      fSum += m_daPossibilities[i].fWeight;
    }
    return m_daPossibilities[i].item;
  }

  i32 getCount() const { return m_daPossibilities.getCount(); }
  f32 getTotalWeights() const { return m_fTotalWeights; }
  bool isInitialized() const { return mp_bInitialized != 0; }

 private:
  struct SPossibility {
    T item;
    f32 fWeight;
  };

  u32 mp_bInitialized = 0;
  ClDynamicVector<SPossibility> m_daPossibilities;
  f32 m_fTotalWeights = KV_ZERO;
};
