#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Corvane/ADT/ClListPicker.h"
#include "Corvane/ADT/ClListPickerNoRepeat.h"
#include "Corvane/Math/KvRandom.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// The words a fresh generator with this seed produces, read without disturbing the draw counter's test.
std::vector<u32> wordsOf(u32 uiSeed, int iCount) {
  sfmtInitGenRand(uiSeed);
  std::vector<u32> words(iCount);
  for (u32& w : words) {
    w = sfmtNextWord();
  }
  sfmtInitGenRand(uiSeed);
  return words;
}

// With weights of 1 the running sums are whole numbers: the pick among k items is the first i with
// r <= i + 1, r = word / 2^32 x k in single precision.
int equalWeightIndex(u32 uiWord, int k) {
  const f32 r = static_cast<f32>(static_cast<f64>(uiWord)) * 2.3283064e-10f * static_cast<f32>(k);
  return std::max(0, std::min(k - 1, static_cast<int>(std::ceil(r)) - 1));
}

TEST(ClListPicker, EqualWeightsFollowTheWordStreamOneDrawEach) {
  ClListPicker<int> picker;
  picker.initialize();
  picker.addIndices(10);
  const std::vector<u32> words = wordsOf(1234, 500);
  for (int n = 0; n < 500; ++n) {
    ASSERT_EQ(picker.pick(), equalWeightIndex(words[n], 10)) << n;
  }
  EXPECT_EQ(KvRandomGetDrawCount(), 500u);
  picker.terminate();
}

TEST(ClListPicker, WeightsAndMisuse) {
  ClListPicker<char> picker;
  EXPECT_KV_ASSERT(picker.addIndices(1), "mp_bInitialized");
  picker.initialize();
  EXPECT_KV_ASSERT(picker.pick(), "m_fTotalWeights>KV_EPSILON");
  EXPECT_KV_ASSERT(picker.add('x', 0.00001f), "fWeight>KV_EPSILON");
  picker.add('a', 1.0f);
  picker.add('b', 3.0f);
  const std::vector<u32> words = wordsOf(77, 4000);
  for (u32 w : words) {
    ASSERT_EQ(picker.pick(), KvMath::wordToUnitFloat(w) * 4.0f <= 1.0f ? 'a' : 'b');
  }
  picker.terminate();
}

TEST(ClListPickerNoRepeat, WindowOfHalfTheItems) {
  for (int n = 1; n <= 7; ++n) {
    sfmtInitGenRand(500 + n);
    ClListPickerNoRepeat<std::string> picker;
    picker.initialize();
    for (int i = 0; i < n; ++i) {
      picker.add("line_" + std::to_string(i), 1.0f);
    }
    std::vector<std::string> history;
    for (int k = 0; k < 300; ++k) {
      const std::string s = picker.pick();
      const int window = std::min<int>(n / 2, history.size());
      for (int j = 0; j < window; ++j) {
        ASSERT_NE(s, history[history.size() - 1 - j]) << "n=" << n << " pick " << k;
      }
      if (n == 2 && k > 0) {
        ASSERT_NE(s, history.back());  // two items alternate
      }
      history.push_back(s);
    }
    EXPECT_EQ(picker.getPickCounter(), 300);
    EXPECT_EQ(KvRandomGetDrawCount(), 300u);
    if (n == 1) {
      EXPECT_EQ(history.back(), "line_0");
    }
    picker.terminate();
  }
}

TEST(ClListPickerNoRepeat, PicksAmongEligibleItemsByTheWord) {
  // Four items of weight 1: after picks of A and then B, two are eligible (C, D).
  ClListPickerNoRepeat<char> picker;
  picker.initialize();
  EXPECT_KV_ASSERT(picker.pick(), "m_fTotalWeights > KV_EPSILON");
  EXPECT_KV_ASSERT(picker.add('z', 0.0f), "fWeight>KV_EPSILON");
  for (char c : {'A', 'B', 'C', 'D'}) {
    picker.add(c, 1.0f);
  }
  const std::vector<u32> words = wordsOf(2024, 200);
  std::vector<int> stamps(4, static_cast<int>(0x80000000u));
  for (int k = 0; k < 200; ++k) {
    std::vector<int> eligible;
    for (int i = 0; i < 4; ++i) {
      if (stamps[i] < k - 2) {
        eligible.push_back(i);
      }
    }
    const int expected = eligible[equalWeightIndex(words[k], static_cast<int>(eligible.size()))];
    ASSERT_EQ(picker.pick(), 'A' + expected) << k;
    stamps[expected] = k;
  }
  picker.terminate();
}

}  // namespace
