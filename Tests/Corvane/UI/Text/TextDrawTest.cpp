// Glyph drawing and text elements: the sprites a laid-out text queues (positions from the pen, kerning within a
// token, alignment of lines, shadows a layer lower, fallback glyphs) and the best-fit shrinking of text elements.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClUI.h"
#include "Tests/Corvane/UI/Text/TextTestSupport.h"

namespace {

class TextDrawTest : public TextTest {
 protected:
  void TearDown() override {
    ClFont::freePackage(m_pPackage);
    TextTest::TearDown();
  }

  // Lays the text out with a font of "Mono" (or another family) and draws it at canvas units (x, y).
  void draw(const std::u16string& text, u32 uiSize, const STextDrawArgs& a, f32 fX = 0.0f, f32 fY = 0.0f,
            const char* pFamily = "Mono", f32 fWidth = 0.0f) {
    m_text = text;
    ClFont::freePackage(m_pPackage);
    m_pPackage = ClFont::layoutText(font(pFamily, uiSize), m_text.c_str(), fWidth);
    ClFont::drawText(*m_pPackage, a.mp_uiShaderHash, a.mp_uiSecondaryTextureHash, KvStrHash("FULL"), a.mp_uLayer,
                     a.mp_uiScreenFlags, fX, fY, a.mp_uiAnchorFlags, a.mp_uiAlignment, &a.mp_uiColor, m_afRect,
                     a.mp_afShadowOffset, a.mp_uiShadowColor);
  }

  std::u16string m_text;
  STextPackage* m_pPackage = nullptr;
  f32 m_afRect[4] = {};
};

// Each visible glyph is one sprite at pen + offset with its quad and texture coordinates; a blank moves the pen by
// its advance; 'o' after 'W' inside a word takes the kerning; the box is placed at the offset x canvas scale.
TEST_F(TextDrawTest, GlyphsFollowThePenWithKerningInsideAWord) {
  draw(u"AW o Wo", 12, args(), 5.0f, 3.0f);
  const f32 fA = monoAdvance(12);
  const f32 fSpace = monoSpace(12);
  // The package is placed at (10, 6) pixels; each glyph sits 1 pixel right and down of its pen.
  const f32 fX0 = 10.0f + 1.0f;
  const std::vector<f32> expectedX = {fX0, fX0 + fA, fX0 + 2 * fA + fSpace,
                                      fX0 + 3 * fA + 2 * fSpace,
                                      fX0 + 4 * fA + 2 * fSpace + gc_fMONO_KERN_W_O};
  const std::vector<SQueuedSprite> queuedSprites = sprites();
  ASSERT_EQ(queuedSprites.size(), expectedX.size());
  for (size_t i = 0; i < expectedX.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FLOAT_EQ(queuedSprites[i].fX, expectedX[i]);
    EXPECT_FLOAT_EQ(queuedSprites[i].fY, 7.0f);
    EXPECT_FLOAT_EQ(queuedSprites[i].fWidth, 6.0f);
    EXPECT_FLOAT_EQ(queuedSprites[i].fHeight, 12.0f);
    EXPECT_EQ(queuedSprites[i].uLayer, 100);
    EXPECT_EQ(queuedSprites[i].uiColor, 0xFFFFFFFFu);
  }
  // 'A' is code 0x41: column 1, row 0 of the 8 x 8 page.
  EXPECT_FLOAT_EQ(queuedSprites[0].fU0, 0.125f);
  EXPECT_FLOAT_EQ(queuedSprites[0].fV1, 0.125f);
  // The lone 'o' starts its word: measuring kerned it against the blank, drawing does not.
  EXPECT_EQ((std::vector<f32>{m_afRect[0], m_afRect[2]}), (std::vector<f32>{10.0f, 6.0f}));
  EXPECT_FLOAT_EQ(m_afRect[1] - m_afRect[0], m_pPackage->mp_fWidth);
  EXPECT_FLOAT_EQ(m_pPackage->mp_fWidth, 5 * fA + 2 * fSpace + gc_fMONO_KERN_W_O + gc_fMONO_KERN_SPACE_O);
}

// A short second line starts where its alignment puts it in the package; lines follow each other by their heights.
TEST_F(TextDrawTest, LinesAreAlignedInThePackage) {
  struct SCase {
    u32 uiAlignment;
    const char* pName;
  };
  const f32 fA = monoAdvance(16);
  for (const SCase& c : {SCase{gc_uiTEXT_ALIGN_LEFT, "left"}, SCase{gc_uiTEXT_ALIGN_CENTRE, "centre"},
                         SCase{gc_uiTEXT_ALIGN_RIGHT, "right"}}) {
    SCOPED_TRACE(c.pName);
    Cl2d::clearSprites();
    draw(u"ABCDE\nAB", 16, args(100, c.uiAlignment));
    const std::vector<SQueuedSprite> queuedSprites = sprites();
    ASSERT_EQ(queuedSprites.size(), 7u);
    const f32 fSlack = 3 * fA;  // the package is 5 advances wide, the second line 2
    const f32 fStart = c.uiAlignment == gc_uiTEXT_ALIGN_LEFT     ? 0.0f
                       : c.uiAlignment == gc_uiTEXT_ALIGN_CENTRE ? std::floor(fSlack * 0.5f + 0.5f)
                                                                 : std::floor(fSlack + 0.5f);
    EXPECT_FLOAT_EQ(queuedSprites[0].fX, 1.0f);
    EXPECT_FLOAT_EQ(queuedSprites[5].fX, fStart + 1.0f);
    EXPECT_FLOAT_EQ(queuedSprites[6].fX, fStart + fA + 1.0f);
    EXPECT_FLOAT_EQ(queuedSprites[5].fY, monoLineHeight(16) + 1.0f);
  }
  EXPECT_KV_FATAL(draw(u"A", 16, args(100, 3)), "Unhandled case");
}

// No shadow at (0, 0); otherwise each glyph gets a second sprite a layer lower at the offset in the shadow colour.
// Text on layer 0 keeps its shadow on layer 0.
TEST_F(TextDrawTest, ShadowsGoOneLayerLowerAndNeverBelowZero) {
  struct SCase {
    u16 uLayer;
    f32 fOffsetX, fOffsetY;
    u16 uShadowLayer;
  };
  for (const SCase& c : {SCase{100, 0.0f, 0.0f, 0}, SCase{100, 1.0f, 1.0f, 99}, SCase{1, -2.0f, 0.0f, 0},
                         SCase{0, 1.0f, 2.0f, 0}}) {
    SCOPED_TRACE(c.uLayer);
    Cl2d::clearSprites();
    STextDrawArgs a = args(c.uLayer);
    a.mp_afShadowOffset[0] = c.fOffsetX;
    a.mp_afShadowOffset[1] = c.fOffsetY;
    a.mp_uiShadowColor = 0x80000000u;
    draw(u"AB", 8, a);
    const bool bShadow = c.fOffsetX != 0.0f || c.fOffsetY != 0.0f;
    const std::vector<SQueuedSprite> queuedSprites = sprites();
    ASSERT_EQ(queuedSprites.size(), bShadow ? 4u : 2u);
    if (!bShadow) continue;
    for (size_t g = 0; g < 2; ++g) {
      const SQueuedSprite& glyph = queuedSprites[2 * g];
      const SQueuedSprite& shadow = queuedSprites[2 * g + 1];
      EXPECT_EQ(glyph.uLayer, c.uLayer);
      EXPECT_EQ(shadow.uLayer, c.uShadowLayer);
      EXPECT_EQ(shadow.uiColor, 0x80000000u);
      EXPECT_FLOAT_EQ(shadow.fX, glyph.fX + c.fOffsetX);
      EXPECT_FLOAT_EQ(shadow.fY, glyph.fY + c.fOffsetY);
    }
  }
}

// A no-break space is drawn as a space; a code the font lacks is drawn as the default character '?'; a font
// without that glyph draws nothing for it and does not move the pen. The text measures what is drawn.
TEST_F(TextDrawTest, FallbackGlyphs) {
  const f32 fA = monoAdvance(8);
  draw(u"A\u00A0B\u263AC", 8, args());
  std::vector<SQueuedSprite> queuedSprites = sprites();
  ASSERT_EQ(queuedSprites.size(), 4u);
  EXPECT_FLOAT_EQ(queuedSprites[1].fX - queuedSprites[0].fX, fA + monoSpace(8));
  EXPECT_FLOAT_EQ(queuedSprites[2].fU0, static_cast<f32>('?' % 8) / 8.0f);
  EXPECT_FLOAT_EQ(queuedSprites[3].fX - queuedSprites[2].fX, fA);
  EXPECT_FLOAT_EQ(m_pPackage->mp_fWidth, 4 * fA + monoSpace(8));

  Cl2d::clearSprites();
  draw(u"A\u263AB", 8, args(), 0.0f, 0.0f, "Bare");
  queuedSprites = sprites();
  ASSERT_EQ(queuedSprites.size(), 2u);
  EXPECT_FLOAT_EQ(queuedSprites[1].fX - queuedSprites[0].fX, fA);
  EXPECT_FLOAT_EQ(m_pPackage->mp_fWidth, 2 * fA);
}

// A colour token replaces the colour's RGB (keeping its alpha) for the glyphs after it, and flag 1 restores it.
TEST_F(TextDrawTest, ColourTokensRecolourTheFollowingGlyphs) {
  m_text = u"ABC";
  m_pPackage = ClFont::layoutText(font("Mono", 8), m_text.c_str(), 0.0f);
  STextLine& line = m_pPackage->mp_daLines[0];
  ASSERT_EQ(line.mp_daTokens.getCount(), 1);
  // Split "ABC" into "A", colour, "B", restore, "C".
  STextToken* pWord = line.mp_daTokens[0];
  static STextToken s_aTokens[4] = {};
  s_aTokens[0] = {E_TEXT_TOKEN_COLOR, 0.0f, 0.0f, nullptr, 0, 0x00123456u};
  s_aTokens[1] = {E_TEXT_TOKEN_WORD, 0.0f, 0.0f, m_text.c_str() + 1, 1, 0};
  s_aTokens[2] = {E_TEXT_TOKEN_COLOR, 0.0f, 0.0f, nullptr, 1, 0};
  s_aTokens[3] = {E_TEXT_TOKEN_WORD, 0.0f, 0.0f, m_text.c_str() + 2, 1, 0};
  pWord->mp_iCount = 1;
  for (STextToken& token : s_aTokens) line.mp_daTokens.append(&token);
  STextDrawArgs a = args();
  a.mp_uiColor = 0x80FFFFFFu;
  ClFont::drawText(*m_pPackage, a.mp_uiShaderHash, 0, KvStrHash("FULL"), a.mp_uLayer, a.mp_uiScreenFlags, 0.0f, 0.0f,
                   a.mp_uiAnchorFlags, a.mp_uiAlignment, &a.mp_uiColor, nullptr, a.mp_afShadowOffset, 0);
  const std::vector<SQueuedSprite> queuedSprites = sprites();
  ASSERT_EQ(queuedSprites.size(), 3u);
  EXPECT_EQ(queuedSprites[0].uiColor, 0x80FFFFFFu);
  EXPECT_EQ(queuedSprites[1].uiColor, 0x80123456u);
  EXPECT_EQ(queuedSprites[2].uiColor, 0x80FFFFFFu);
  // The static tokens are not the package's to free.
  while (line.mp_daTokens.getCount() > 1) line.mp_daTokens.erase(line.mp_daTokens.getCount() - 1);
}

// --- Text elements ---

// The point size the element drew with: the synthetic glyphs are as high as their size.
u32 drawnSize() {
  EXPECT_GT(Cl2d::getNumSprites(), 0);
  return Cl2d::getNumSprites() > 0 ? static_cast<u32>(Cl2d::mp_spriteQueue.mp_afHeight[0]) : 0;
}

// Best fit shrinks one of the family's sizes at a time while the text is too high or too wide, stops at the
// smallest size even when it still overflows, and does nothing without a height or with best fit off. A width of 0
// does not wrap and so does not limit the width either.
TEST_F(TextDrawTest, BestFitShrinksUntilTheTextFits) {
  const STextElement element{KvStrHash("FULL"), 0, KvStrHash("Mono")};
  const f32 afAt[2] = {0.0f, 0.0f};
  // Heights in canvas units (2 pixels each): a line of size s is s + 2 pixels high.
  struct SCase {
    const char* pName;
    const char16_t* pText;
    bool bBestFit;
    f32 fMaxWidth, fMaxHeight;
    u32 uiExpected;
  };
  const SCase aCases[] = {
      {"fits at the size asked", u"AB", true, 0.0f, 9.0f, 16},
      {"one line too high for 16", u"AB", true, 0.0f, 8.0f, 12},
      {"two lines need 8", u"AB\nCD", true, 0.0f, 10.0f, 8},
      {"too high even at 8", u"AB\nCD\nEF", true, 0.0f, 10.0f, 8},
      {"too wide for 16", u"ABCDEFGH", true, 30.0f, 100.0f, 12},
      {"too wide for 16 and 12", u"ABCDEFGH", true, 25.0f, 100.0f, 8},
      {"height 0 turns best fit off", u"AB\nCD", true, 0.0f, 0.0f, 16},
      {"best fit off", u"AB\nCD", false, 0.0f, 5.0f, 16},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    Cl2d::clearSprites();
    ClUI::renderTextElement(element, reinterpret_cast<const wchar16*>(c.pText), 16, args(), c.bBestFit, c.fMaxWidth,
                            c.fMaxHeight, afAt);
    EXPECT_EQ(drawnSize(), c.uiExpected);
  }
}

// The rectangle of an element shrinks by height only and is placed like the drawing; an element on a canvas that
// does not exist, or of a family that is not loaded, stops with the element's messages.
TEST_F(TextDrawTest, ElementRectangleAndFailures) {
  const STextElement element{KvStrHash("FULL"), 0, KvStrHash("Mono")};
  f32 afRect[4] = {};
  const std::u16string text = u"ABCDEFGH";
  ClUI::getTextElementRect(afRect, element, reinterpret_cast<const wchar16*>(text.c_str()), 16, 10.0f, 5.0f,
                           gc_ui2D_ALIGN_TOP_LEFT, gc_ui2D_ALIGN_TOP_LEFT, 0.0f, 8.0f);
  // 8 units high is 16 pixels: size 12 (14 pixels high) fits; the width does not shrink it further.
  EXPECT_EQ((std::vector<f32>{afRect[0], afRect[1], afRect[2], afRect[3]}),
            (std::vector<f32>{20.0f, 20.0f + 8 * monoAdvance(12), 10.0f, 10.0f + monoLineHeight(12)}));
  EXPECT_EQ(Cl2d::getNumSprites(), 0);

  const f32 afAt[2] = {0.0f, 0.0f};
  EXPECT_KV_ASSERT(ClUI::renderTextElement({KvStrHash("NOPE"), 0, KvStrHash("Mono")},
                                           reinterpret_cast<const wchar16*>(text.c_str()), 16, args(), false, 0.0f,
                                           0.0f, afAt),
                   "Invalid canvas specified for text element!");
  char acMessage[96];
  std::snprintf(acMessage, sizeof(acMessage), "Could not get a font (handle 0x%x): %d points, %d height\n",
                KvStrHash("Missing"), 16, 432);
  EXPECT_KV_ASSERT(ClUI::renderTextElement({KvStrHash("FULL"), 0, KvStrHash("Missing")},
                                           reinterpret_cast<const wchar16*>(text.c_str()), 16, args(), false, 0.0f,
                                           0.0f, afAt),
                   acMessage);
}

// An 8-bit text is widened byte by byte and drawn on "FULL"; an empty one draws nothing.
TEST_F(TextDrawTest, AsciiText) {
  const f32 afAt[2] = {1.0f, 1.0f};
  ClUI::renderAsciiText("", "Label", "Mono", 8, args(), 0.0f, 0.0f, afAt);
  EXPECT_EQ(Cl2d::getNumSprites(), 0);
  ClUI::renderAsciiText("Hi \xE9!", "Label", "Mono", 8, args(), 0.0f, 0.0f, afAt);
  // 'H', 'i', the default character for U+00E9 (not in the font), '!'.
  const std::vector<SQueuedSprite> queuedSprites = sprites();
  ASSERT_EQ(queuedSprites.size(), 4u);
  EXPECT_FLOAT_EQ(queuedSprites[0].fX, 3.0f);
  EXPECT_FLOAT_EQ(queuedSprites[2].fU0, static_cast<f32>('?' % 8) / 8.0f);
}

}  // namespace
