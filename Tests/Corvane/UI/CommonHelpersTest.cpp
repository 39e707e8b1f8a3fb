// The common UI helpers: thousands separators, reversal, and moving a widget's layouts off screen.
#include <cstring>
#include <string>
#include <vector>

#include "Corvane/UI/COMMONUIFunctions.h"
#include "Corvane/UI/KvUILayout.h"
#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

TEST(CommonHelpers, ThousandsSeparatorsGroupDigitsInThreesFromTheRight) {
  struct SCase {
    const char* pIn;
    const char* pOut;
  };
  const SCase aCases[] = {{"", ""},           {"7", "7"},         {"123", "123"},           {"1234", "1,234"},
                          {"12345", "12,345"}, {"123456", "123,456"}, {"1234567", "1,234,567"}, {"1000000", "1,000,000"}};
  for (const SCase& c : aCases) {
    char acOut[gc_iTHOUSANDS_WORK_LEN];
    std::memset(acOut, 'x', sizeof(acOut));
    addThousandsSeparators(c.pIn, acOut);
    EXPECT_STREQ(acOut, c.pOut) << c.pIn;
  }
}

// 576 digits give 767 characters, the most the work buffer holds with its terminator; 577 give 769.
TEST(CommonHelpers, ASeparatedResultPastTheWorkBufferIsAnAssertion) {
  char acOut[gc_iTHOUSANDS_WORK_LEN];
  const std::string fits(576, '9');
  addThousandsSeparators(fits.c_str(), acOut);
  EXPECT_EQ(std::strlen(acOut), 767u);
  EXPECT_EQ(acOut[3], ',');
  const std::string tooLong(577, '9');
  EXPECT_KV_ASSERT(addThousandsSeparators(tooLong.c_str(), acOut), "Thousands-separated number does not fit its work buffer!");
  EXPECT_KV_ASSERT(addThousandsSeparators(nullptr, acOut), "pSource");
  EXPECT_KV_ASSERT(addThousandsSeparators("1", nullptr), "pDest");
}

TEST(CommonHelpers, ReverseWritesTheCharactersBackwardsAndTerminates) {
  struct SCase {
    const char* pIn;
    const char* pOut;
  };
  for (const SCase& c : {SCase{"", ""}, SCase{"a", "a"}, SCase{"ab", "ba"}, SCase{"Hello!", "!olleH"}}) {
    char acOut[16];
    std::memset(acOut, 'x', sizeof(acOut));
    reverseString(c.pIn, acOut);
    EXPECT_STREQ(acOut, c.pOut) << c.pIn;
  }
  char acOut[4];
  EXPECT_KV_ASSERT(reverseString(nullptr, acOut), "pStr1");
  EXPECT_KV_ASSERT(reverseString("a", nullptr), "pStr2");
}

class OffScreenTest : public UITest {};

f32 layoutWord(const ClWidget* pWidget, const char* pName, i32 iWord) {
  f32 fValue = 0.0f;
  std::memcpy(&fValue, static_cast<const u8*>(pWidget->getLayout(pName)) + iWord * 4, sizeof(f32));
  return fValue;
}

// Only the x and y offsets move; the anchors and the other words stay, and a missing layout is not made.
TEST_F(OffScreenTest, TheLayoutsPresentMoveTheirOffsetsOffScreen) {
  const std::string layout = R"({"layout": {"screenAnchor": 4, "x": 12.5, "y": -3.0, "widgetAnchor": 7}})";
  ASSERT_TRUE(load("Screen", R"({"root": {"name": "Screen", "children": [
      {"name": "Both", "properties": {"widgetLayout": )" + layout + R"(, "textLayout": )" + layout + R"(,
                                      "gridPos": {"gridxy": [1, 2]}}},
      {"name": "accept_7", "properties": {"textLayout": )" + layout + R"(}}]}})"));
  moveWidgetOffScreen(W("Both"));
  for (const char* pName : {"widgetLayout", "textLayout"}) {
    EXPECT_EQ(layoutWord(W("Both"), pName, gc_iLAYOUT_X_WORD), -10000.0f) << pName;
    EXPECT_EQ(layoutWord(W("Both"), pName, gc_iLAYOUT_Y_WORD), -10000.0f) << pName;
    const SLayoutPlacement at = KvLayoutPlacement(W("Both")->getLayout(pName));
    EXPECT_EQ(at.mp_uiScreenFlags, KvLayoutAnchorFlags(4)) << pName;
    EXPECT_EQ(at.mp_uiAnchorFlags, KvLayoutAnchorFlags(7)) << pName;
  }
  i32 iGridX = 0;
  i32 iGridY = 0;
  W("Both")->getGridXY("gridPos", &iGridX, &iGridY);
  EXPECT_EQ((std::vector<i32>{iGridX, iGridY}), (std::vector<i32>{-1, -1})) << "off its grid too";
  resetAccept7Layout();
  EXPECT_EQ(layoutWord(W("accept_7"), "textLayout", gc_iLAYOUT_X_WORD), -10000.0f);
  EXPECT_EQ(W("accept_7")->findProperty(H("widgetLayout")), nullptr);
  EXPECT_KV_ASSERT(moveWidgetOffScreen(nullptr), "pWidget");
}

TEST_F(OffScreenTest, ResettingAMissingAccept7IsTheMissingWidgetAssertion) {
  EXPECT_KV_ASSERT(resetAccept7Layout(), "Widget [accept_7] does not exist!!!");
}

}  // namespace
