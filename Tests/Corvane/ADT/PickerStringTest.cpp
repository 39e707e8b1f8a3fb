// The no-repeat picker over the engine's strings, as the voice-over lines use it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Corvane/ADT/ClListPickerNoRepeat.h"
#include "Corvane/ADT/String.h"
#include "Corvane/Math/KvRandom.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

TEST(ClListPickerNoRepeat, HoldsStringsThroughGrowthAndReturnsCopies) {
  const char* const apLines[] = {"vo_5a", "vo_5b", "vo_5c", "vo_5d", "vo_5e", "vo_5f", "vo_5g", "vo_5h", "vo_5h5"};
  sfmtInitGenRand(31);
  ClListPickerNoRepeat<String> picker;
  picker.initialize();
  for (const char* pLine : apLines) {
    picker.add(String(pLine), 1.0f);  // nine lines: the item vector grows on the eighth
  }
  std::vector<std::string> history;
  for (int k = 0; k < 100; ++k) {
    String line = picker.pick();
    const std::string text(line.getCStr(), line.getLength());
    bool bKnown = false;
    for (const char* pLine : apLines) {
      bKnown = bKnown || line == pLine;
    }
    ASSERT_TRUE(bKnown) << text;
    for (size_t j = 0; j < 4 && j < history.size(); ++j) {
      ASSERT_NE(text, history[history.size() - 1 - j]) << "pick " << k;  // window of 9 / 2 = 4
    }
    history.push_back(text);
  }
  EXPECT_EQ(KvRandomGetDrawCount(), 100u);
  picker.terminate();  // destroys the nine strings
}

}  // namespace
