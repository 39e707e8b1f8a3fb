// Floating score texts: the localized text with its number, plain texts rising, stacked texts counting repeats
// ("X2"), the clamp of stacked texts to the screen, the flicker, expiry, and the draw with the game's font.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Code/Objects/GAMEGoreFx.h"
#include "Corvane/Language/KvLangID.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"
#include "Tools/LangC/LangCompiler.h"

namespace {

class FloatingTextsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<LangEntry> entries = {{"enemy_score_hit_good", u"+%d", 1},
                                            {"enemy_score_hit_perfect", u"PERFECT %d", 2},
                                            {"enemy_text_plain", u"OUCH", 3}};
    const std::vector<std::uint8_t> table = LangBuildTable(entries);
    u8* pImage = static_cast<u8*>(KvAlignedAlloc(table.size(), 16));
    std::memcpy(pImage, table.data(), table.size());
    ASSERT_EQ(KvLangID::loadStringTableFromMemory("Score", pImage, static_cast<u32>(table.size())), 1);
  }
  void TearDown() override { KvLangID::unloadAllStringTables(); }

  static std::string textOf(const SFloatingText& text) {
    std::string narrow;
    for (const wchar16* p = text.m_text.getCStr(); *p != 0; ++p) narrow.push_back(static_cast<char>(*p));
    return narrow;
  }
  void step(f32 dt) {
    ClClock::m_aClockFrames[1].m_fFrameTime = dt;
    GoreFx::update();
  }
  std::vector<ClRecordingDrawSink::SText>& drawn() {
    m_world.m_sink.m_texts.clear();
    GoreFx::draw();
    return m_world.m_sink.m_texts;
  }
  static void plain(const char* pKey, i32 iNumber, f32 fX, f32 fY = 157.0f, f32 fZ = -40.0f) {
    GoreFx::addFloatingText(pKey, fX, fY, fZ, iNumber, false);
  }
  static void stacked(const char* pKey, i32 iNumber, f32 fX, f32 fY = 157.0f, f32 fZ = -40.0f) {
    GoreFx::addFloatingText(pKey, fX, fY, fZ, iNumber, true);
  }

  ClWorldHarness m_world;
};

}  // namespace

TEST_F(FloatingTextsTest, TheTextIsTheLocalizedStringWithItsNumber) {
  const struct {
    const char* pKey;
    i32 iNumber;
    const char* pText;
  } cases[] = {{"enemy_score_hit_good", 50, "+50"},
               {"enemy_score_hit_perfect", -7, "PERFECT -7"},
               {"enemy_text_plain", 10, "OUCH"},
               {"enemy_text_missing", 10, "enemy_text_missing"}};
  for (const auto& c : cases) {
    g_floatingTexts.clear();
    plain(c.pKey, c.iNumber, 100.0f);
    ASSERT_EQ(g_floatingTexts.getCount(), 1);
    EXPECT_EQ(textOf(g_floatingTexts[0]), c.pText);
  }
}

// Two stacked requests for the same text while it shows make one text counting "X2"; a different number is a
// different text.
TEST_F(FloatingTextsTest, StackedRequestsCountUp) {
  const struct {
    std::vector<i32> numbers;
    f32 fGap;
    std::vector<i32> counts;
  } cases[] = {{{100, 100}, 0.5f, {2}},
               {{100, 200}, 0.5f, {1, 1}},
               {{100, 100, 100}, 1.0f, {3}},
               {{100, 100}, 1.3f, {1}},  // the first expired before the second came
               {{100, 200, 100}, 0.2f, {2, 1}}};
  for (const auto& c : cases) {
    g_floatingTexts.clear();
    for (size_t i = 0; i < c.numbers.size(); ++i) {
      if (i > 0) step(c.fGap);
      stacked("enemy_score_hit_perfect", c.numbers[i], 150.0f);
    }
    ASSERT_EQ(static_cast<size_t>(g_floatingTexts.getCount()), c.counts.size());
    for (size_t i = 0; i < c.counts.size(); ++i) EXPECT_EQ(g_floatingTexts[static_cast<i32>(i)].m_iRepeatCount, c.counts[i]);
  }
  // Drawn: the text, and "X2" 16 units under it.
  g_floatingTexts.clear();
  stacked("enemy_score_hit_perfect", 100, 150.0f);
  stacked("enemy_score_hit_perfect", 100, 150.0f);
  const auto& texts = drawn();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].m_text, "PERFECT 100");
  EXPECT_FALSE(texts[0].m_bAscii);
  EXPECT_EQ(texts[1].m_text, "X2");
  EXPECT_TRUE(texts[1].m_bAscii);
  EXPECT_FLOAT_EQ(texts[1].m_afPosition[0], texts[0].m_afPosition[0]);
  EXPECT_FLOAT_EQ(texts[1].m_afPosition[1] - texts[0].m_afPosition[1], 16.0f * 1.25f);
}

// A stacked request equal to a plain text still rising restarts that text: it counts "X2" and keeps rising with
// its own 1 s life.
TEST_F(FloatingTextsTest, AStackedRequestRestartsAnEqualPlainText) {
  plain("enemy_score_hit_good", 50, 120.0f);
  step(0.6f);
  stacked("enemy_score_hit_good", 50, 300.0f);
  ASSERT_EQ(g_floatingTexts.getCount(), 1);
  const SFloatingText& text = g_floatingTexts[0];
  EXPECT_EQ(text.m_iRepeatCount, 2);
  EXPECT_FLOAT_EQ(text.m_fAge, 0.0f);
  EXPECT_FLOAT_EQ(text.m_fLifetime, 1.0f);
  EXPECT_FLOAT_EQ(text.m_vVelocity[2], -50.0f);
  EXPECT_FLOAT_EQ(text.m_vPosition[0], 120.0f);
  step(0.9f);
  EXPECT_EQ(g_floatingTexts.getCount(), 1);
  step(0.2f);
  EXPECT_EQ(g_floatingTexts.getCount(), 0);
}

// Stacked texts are kept between 82 and 304 units of the camera; plain ones are not clamped. Both are kept
// relative to the camera, so they stay put on the screen when it moves.
TEST_F(FloatingTextsTest, StackedTextsStayOnTheScreen) {
  const struct {
    f32 fCameraX;
    f32 fX;
    bool bStacked;
    f32 fShownX;
  } cases[] = {{0.0f, 50.0f, true, 82.0f},    {0.0f, 200.0f, true, 200.0f},   {0.0f, 400.0f, true, 304.0f},
               {1000.0f, 1050.0f, true, 82.0f}, {1000.0f, 1500.0f, true, 304.0f}, {1000.0f, 1050.0f, false, 50.0f},
               {0.0f, 400.0f, false, 400.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "camera " << c.fCameraX << ", x " << c.fX << ", stacked " << c.bStacked);
    g_floatingTexts.clear();
    g_fWorldCameraX = c.fCameraX;
    GoreFx::addFloatingText("enemy_score_hit_perfect", c.fX, 157.0f, -20.0f, 10, c.bStacked);
    g_fWorldCameraX = c.fCameraX + 500.0f;  // the camera moves on; the text does not
    const auto& texts = drawn();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_FLOAT_EQ(texts[0].m_afPosition[0], c.fShownX * 1.25f);
    EXPECT_FLOAT_EQ(texts[0].m_afPosition[1], (157.0f - 20.0f) * 1.25f);
  }
}

// Plain texts rise 50 units a second and last 1 s; stacked ones stay and last 1.25 s, flickering between white
// and yellow fifteen times a second.
TEST_F(FloatingTextsTest, RiseFlickerAndExpiry) {
  plain("enemy_score_hit_good", 10, 100.0f, 150.0f, -10.0f);
  stacked("enemy_score_hit_perfect", 10, 100.0f, 150.0f, -10.0f);
  const struct {
    f32 fDT;
    f32 fPlainY;  // -1: gone
    u32 uiStackedColor;
    f32 fStackedY;
  } frames[] = {{0.0f, 140.0f, 0xFFFFFFFF, 140.0f},    {0.02f, 139.0f, 0xFFFFFFFF, 140.0f},
                {0.02f, 138.0f, 0xFFFFFF00, 140.0f},   {0.0333f, 136.335f, 0xFFFFFFFF, 140.0f},
                {0.9167f, 90.5f, 0xFFFFFF00, 140.0f},  {0.02f, -1.0f, 0xFFFFFFFF, 140.0f},
                {0.25f, -1.0f, 0u, -1.0f}};
  i32 iFrame = 0;
  for (const auto& f : frames) {
    SCOPED_TRACE(iFrame++);
    step(f.fDT);
    const auto& texts = drawn();
    std::vector<const ClRecordingDrawSink::SText*> plainTexts;
    std::vector<const ClRecordingDrawSink::SText*> stackedTexts;
    for (const auto& text : texts) {
      (text.m_text[0] == '+' ? plainTexts : stackedTexts).push_back(&text);
    }
    ASSERT_EQ(plainTexts.size(), f.fPlainY < 0.0f ? 0u : 1u);
    ASSERT_EQ(stackedTexts.size(), f.fStackedY < 0.0f ? 0u : 1u);
    if (!plainTexts.empty()) {
      EXPECT_NEAR(plainTexts[0]->m_afPosition[1], f.fPlainY * 1.25f, 1e-3f);
      EXPECT_EQ(plainTexts[0]->m_args.mp_uiColor, 0xFFFFFFFFu);
    }
    if (!stackedTexts.empty()) {
      EXPECT_FLOAT_EQ(stackedTexts[0]->m_afPosition[1], f.fStackedY * 1.25f);
      EXPECT_EQ(stackedTexts[0]->m_args.mp_uiColor, f.uiStackedColor);
    }
  }
}

// Every text goes to the UI's text draw with the game's font family and the premultiplied shader, on layer 2000
// at 20 points, placed by its centre, with a black outline one pixel off.
TEST_F(FloatingTextsTest, DrawnWithTheGamesFont) {
  stacked("enemy_score_hit_perfect", 10, 100.0f);
  stacked("enemy_score_hit_perfect", 10, 100.0f);
  plain("enemy_score_hit_good", 10, 100.0f);
  const auto& texts = drawn();
  ASSERT_EQ(texts.size(), 3u);
  for (const auto& text : texts) {
    SCOPED_TRACE(text.m_text);
    EXPECT_EQ(text.m_fontFamily, "FontAcknowledge");
    EXPECT_EQ(text.m_shader, "system_blend_premult");
    EXPECT_EQ(text.m_args.mp_uiShaderHash, KvStrHash("system_blend_premult"));
    EXPECT_EQ(text.m_uiPointSize, 20u);
    EXPECT_EQ(text.m_args.mp_uLayer, 2000);
    EXPECT_EQ(text.m_args.mp_uiScreenFlags, 9u);
    EXPECT_EQ(text.m_args.mp_uiAnchorFlags, 18u);
    EXPECT_EQ(text.m_args.mp_uiAlignment, 2u);
    EXPECT_FLOAT_EQ(text.m_args.mp_afShadowOffset[0], 1.0f);
    EXPECT_FLOAT_EQ(text.m_args.mp_afShadowOffset[1], 1.0f);
    EXPECT_EQ(text.m_args.mp_uiShadowColor, 0xFF000000u);
  }
}

// While the game is paused nothing is updated: texts neither rise nor expire, and they are still drawn.
TEST_F(FloatingTextsTest, PausedTextsStay) {
  plain("enemy_score_hit_good", 10, 100.0f);
  for (i32 n = 0; n < 100; ++n) drawn();
  const auto& texts = drawn();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_FLOAT_EQ(texts[0].m_afPosition[1], (157.0f - 40.0f) * 1.25f);
}
