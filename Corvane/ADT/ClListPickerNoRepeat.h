// Weighted random choice that never repeats one of its last floor(n / 2) picks (n items).
//
// Every item carries the pick counter of its last pick (the most negative 32-bit value when never
// picked); an item is eligible while that stamp is below counter - floor(n / 2). Each pick draws exactly
// one word from the engine's random generator and counts it: r = unit float of the word x the eligible
// weight, and the first eligible item whose running weight sum is not below r is the pick. The pick
// returns a copy of the item. The owner initialises, fills, picks and terminates; destroying a picker
// that is still initialised is an assertion. Main thread only (the random generator is not synchronised).
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"

template <typename T>
class ClListPickerNoRepeat {
 public:
  static constexpr i32 NEVER_PICKED = static_cast<i32>(0x80000000u);

  ClListPickerNoRepeat() = default;
  ClListPickerNoRepeat(const ClListPickerNoRepeat&) = delete;
  ClListPickerNoRepeat& operator=(const ClListPickerNoRepeat&) = delete;
  ~ClListPickerNoRepeat() { KV_ASSERT_MSG(!mp_bInitialized, "Please explicitly terminate ClListPickerNoRepeat's"); }

  void initialize() {
    m_daItems.initialize();
    m_fTotalWeights = KV_ZERO;
    m_iPickCounter = 0;
    mp_bInitialized = 1;
  }

  // Destroys the items.
  void terminate() {
    m_daItems.terminate();
    m_fTotalWeights = KV_ZERO;
    m_iPickCounter = 0;
    mp_bInitialized = 0;
  }

  void add(const T& item, f32 fWeight) {
    KV_ASSERT(mp_bInitialized);
    KV_ASSERT(fWeight>KV_EPSILON);
    m_daItems.append(SItem{item, fWeight, NEVER_PICKED});
    m_fTotalWeights += fWeight;
  }

  T pick() {
    KV_ASSERT(mp_bInitialized);
    KV_ASSERT(m_fTotalWeights > KV_EPSILON);
    const i32 ciNumTotal = m_daItems.getCount();
    KV_ASSERT(ciNumTotal > 0);

    // Widened so that a counter near the bottom of the i32 range cannot wrap the threshold.
    const i64 iThreshold = static_cast<i64>(m_iPickCounter) - ciNumTotal / 2;
    f32 fEligibleWeight = KV_ZERO;
    i32 iFirst = -1;
    i32 iLastEligible = -1;
    for (i32 i = 0; i < ciNumTotal; ++i) {
      if (m_daItems[i].iLastPick < iThreshold) {
        fEligibleWeight += m_daItems[i].fWeight;
        iFirst = iFirst < 0 ? i : iFirst;
        iLastEligible = i;
      }
    }
    // At most floor(n / 2) items were picked within the window, so one is always eligible.
    KV_ASSERT(iFirst >= 0);

    const u32 uiWord = sfmtNextWord();
    KvRandomCountDraws(1);
    const f32 r = KvMath::wordToUnitFloat(uiWord) * fEligibleWeight;
    i32 iPick = iFirst;
    f32 fSum = m_daItems[iPick].fWeight;
    while (r > fSum && iPick < iLastEligible) {
      do {
        ++iPick;
      } while (m_daItems[iPick].iLastPick >= iThreshold);
      fSum += m_daItems[iPick].fWeight;
    }
    m_daItems[iPick].iLastPick = m_iPickCounter;
    ++m_iPickCounter;
    return m_daItems[iPick].item;
  }

  i32 getCount() const { return m_daItems.getCount(); }
  i32 getPickCounter() const { return m_iPickCounter; }
  f32 getTotalWeights() const { return m_fTotalWeights; }
  bool isInitialized() const { return mp_bInitialized != 0; }

 private:
  struct SItem {
    T item;
    f32 fWeight;
    i32 iLastPick;
  };

  u32 mp_bInitialized = 0;
  i32 m_iPickCounter = 0;
  ClDynamicVector<SItem> m_daItems;
  f32 m_fTotalWeights = KV_ZERO;
};
