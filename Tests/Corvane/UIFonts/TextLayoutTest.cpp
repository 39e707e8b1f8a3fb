// Text layout: tokens, greedy wrapping, newlines, break marks, empty lines, kerning, characters without glyphs
// and the alignment of lines in a package, on a font written by the builder's writer with chosen advances.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClFont.h"
#include "Tests/Support/FontTestSupport.h"

namespace {

constexpr float gc_fLINE = 12.0f;
constexpr float gc_fEMPTY = 8.0f;
constexpr float gc_fKERN_W_O = -2.5f;  // 'o' after 'W'

// Advances: space 4, '#' 7, every other printable character 10 + (code % 5).
float advanceOf(char16_t c) {
  if (c == u' ') return 4.0f;
  if (c == u'#') return 7.0f;
  return 10.0f + static_cast<float>(c % 5);
}

// The width the text has on one line: the advances, the default character's ('?') for a character the font lacks
// (it is drawn so), and the W-o pair.
float widthOf(const std::u16string& text) {
  float fWidth = 0.0f;
  char16_t previous = 0;
  for (char16_t c : text) {
    fWidth += c < 0x7F ? advanceOf(c) : advanceOf(u'?');
    if (previous == u'W' && c == u'o') fWidth += gc_fKERN_W_O;
    previous = c;
  }
  return fWidth;
}

class TextLayoutTest : public FontFilesTest {
 protected:
  void SetUp() override {
    FontFilesTest::SetUp();
    SFontDesc font;
    font.name = "Text_0";
    font.fLineHeight = gc_fLINE;
    font.fEmptyLineHeight = gc_fEMPTY;
    for (uint32_t c = 0x20; c < 0x7F; ++c) {
      SFontGlyphDesc glyph;
      glyph.uiCode = c;
      glyph.fAdvanceX = advanceOf(static_cast<char16_t>(c));
      if (c == 'o') glyph.kerning = {{'W', gc_fKERN_W_O, 0.0f}};
      font.glyphs.push_back(glyph);
    }
    KvTestWriteFontFile("Fonts/Text_0.kcf", FontWriteFont(font));
    KvTestWriteFontFile("Fonts/Text.kff", FontWriteFamily({"Text", {12}, {{216, {0}}}}));
    ClFontFamilyMgr::loadFontFamilyForHeight("Text", nullptr, 216);
    m_pFont = ClFontFamilyMgr::getFont(KvStrHash("Text"), 12, 216, nullptr);
    ASSERT_NE(m_pFont, nullptr);
  }
  void TearDown() override {
    ClFont::freePackage(m_pPackage);
    FontFilesTest::TearDown();
  }

  // Lays the text out and describes each line as its tokens' texts, "|" between, "_" for each blank.
  std::vector<std::string> lines(const std::u16string& text, float fWidth) {
    m_text = text;
    ClFont::freePackage(m_pPackage);
    m_pPackage = ClFont::layoutText(m_pFont, m_text.c_str(), fWidth);
    std::vector<std::string> out;
    for (i32 l = 0; l < m_pPackage->mp_daLines.getCount(); ++l) {
      const STextLine& line = m_pPackage->mp_daLines[l];
      std::string described;
      for (i32 t = 0; t < line.mp_daTokens.getCount(); ++t) {
        const STextToken* pToken = line.mp_daTokens[t];
        if (t > 0) described += "|";
        for (i32 k = 0; k < pToken->mp_iCount; ++k) {
          const char16_t c = pToken->mp_pFirst[k];
          described += pToken->mp_eKind == E_TEXT_TOKEN_BLANK ? '_' : c < 0x7F ? static_cast<char>(c) : '?';
        }
      }
      out.push_back(described);
    }
    return out;
  }
  const STextLine& line(i32 i) const { return m_pPackage->mp_daLines[i]; }

  ClFontEntry* m_pFont = nullptr;
  STextPackage* m_pPackage = nullptr;
  std::u16string m_text;
};

using Lines = std::vector<std::string>;

TEST_F(TextLayoutTest, TextBreaksAtNewlinesMarksAndTheWidth) {
  struct SCase {
    std::u16string text;
    float fWidth;
    Lines expected;
  };
  const float fHelloWorld = widthOf(u"Hello world");
  const SCase aCases[] = {
      {u"Hello world", 0.0f, {"Hello|_|world"}},
      {u"Hello world", fHelloWorld, {"Hello|_|world"}},
      {u"Hello world", fHelloWorld - 1.0f, {"Hello", "world"}},
      {u"a\\nb", 0.0f, {"a", "b"}},
      {u"a\r\nb", 0.0f, {"a", "b"}},
      {u"a\nb", 0.0f, {"a", "b"}},
      {u"a\rb", 0.0f, {"a\rb"}},
      {u"a\\b", 0.0f, {"a\\b"}},
      {u"abc##def", widthOf(u"abc##def") - 1.0f, {"abc", "##def"}},
      {u"abc##def", 0.0f, {"abc|##def"}},
      {u"a\n\nb", 0.0f, {"a", "", "b"}},
      {u"a\n  b", 0.0f, {"a", "__|b"}},
      {u"a  \nb", 0.0f, {"a", "b"}},
      {u"Incomprehensibilities are long", widthOf(u"Incomp"), {"Incomprehensibilities", "are", "long"}},
      {u"", 0.0f, {""}},
      {u"one two three", widthOf(u"one two"), {"one|_|two", "three"}},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(lines(c.text, c.fWidth), c.expected);
  }
}

TEST_F(TextLayoutTest, WidthsAndHeightsOfLinesAndThePackage) {
  // The break drops the blank run from the line but the package width keeps it.
  lines(u"Hello world", widthOf(u"Hello world") - 1.0f);
  EXPECT_FLOAT_EQ(line(0).mp_fWidth, widthOf(u"Hello"));
  EXPECT_FLOAT_EQ(line(1).mp_fWidth, widthOf(u"world"));
  EXPECT_FLOAT_EQ(m_pPackage->mp_fWidth, widthOf(u"Hello "));
  EXPECT_FLOAT_EQ(m_pPackage->mp_fHeight, 2 * gc_fLINE);
  // An empty line is the empty-line height; a line with text the line height.
  lines(u"a\n\nb", 0.0f);
  EXPECT_FLOAT_EQ(line(0).mp_fHeight, gc_fLINE);
  EXPECT_FLOAT_EQ(line(1).mp_fHeight, gc_fEMPTY);
  EXPECT_FLOAT_EQ(line(1).mp_fWidth, 0.0f);
  EXPECT_FLOAT_EQ(m_pPackage->mp_fHeight, 2 * gc_fLINE + gc_fEMPTY);
  // A word wider than the width overflows its own line.
  lines(u"Incomprehensibilities", 20.0f);
  EXPECT_GT(line(0).mp_fWidth, 20.0f);
  EXPECT_FLOAT_EQ(m_pPackage->mp_fWidth, widthOf(u"Incomprehensibilities"));
}

TEST_F(TextLayoutTest, KerningAndCharactersWithoutGlyphsAreMeasured) {
  struct SCase {
    std::u16string text;
    float fWidth;
  };
  const SCase aCases[] = {
      {u"Wo", advanceOf(u'W') + advanceOf(u'o') + gc_fKERN_W_O},
      {u"oW", advanceOf(u'W') + advanceOf(u'o')},
      {u"W o", advanceOf(u'W') + advanceOf(u' ') + advanceOf(u'o')},
      {u"a\u4E00b", advanceOf(u'a') + advanceOf(u'?') + advanceOf(u'b')},
      {u"\u00A0", advanceOf(u' ')},
  };
  for (const SCase& c : aCases) {
    lines(c.text, 0.0f);
    EXPECT_FLOAT_EQ(line(0).mp_fWidth, c.fWidth) << std::string(c.text.begin(), c.text.end());
  }
  // No kerning across an explicit newline: the previous character starts again with each line.
  lines(u"W\no", 0.0f);
  EXPECT_FLOAT_EQ(line(1).mp_fWidth, advanceOf(u'o'));
  // A wrapped word keeps the width measured against the end of the line before.
  lines(u"W##o", advanceOf(u'W') + 1.0f);
  ASSERT_EQ(m_pPackage->mp_daLines.getCount(), 2);
  EXPECT_FLOAT_EQ(line(1).mp_fWidth, 2 * advanceOf(u'#') + advanceOf(u'o'));
  lines(u"Wo##Wo", widthOf(u"Wo") + 1.0f);
  EXPECT_FLOAT_EQ(line(1).mp_fWidth, widthOf(u"##Wo"));
}

TEST_F(TextLayoutTest, LinesAlignInTheirPackage) {
  STextPackage package{};
  STextLine line{};
  line.mp_fWidth = 40.0f;
  struct SCase {
    float fPackageWidth;
    u32 uiAlignment;
    float fX;
  };
  const SCase aCases[] = {{100.0f, gc_uiTEXT_ALIGN_LEFT, 10.0f},   {100.0f, gc_uiTEXT_ALIGN_CENTRE, 40.0f},
                          {100.0f, gc_uiTEXT_ALIGN_RIGHT, 70.0f},  {101.0f, gc_uiTEXT_ALIGN_CENTRE, 41.0f},
                          {101.0f, gc_uiTEXT_ALIGN_RIGHT, 71.0f},  {40.0f, gc_uiTEXT_ALIGN_CENTRE, 10.0f}};
  for (const SCase& c : aCases) {
    package.mp_fWidth = c.fPackageWidth;
    EXPECT_FLOAT_EQ(ClFont::lineStartX(package, line, c.uiAlignment, 10.0f), c.fX)
        << c.fPackageWidth << " aligned " << c.uiAlignment;
  }
  EXPECT_KV_FATAL(ClFont::lineStartX(package, line, 3, 10.0f), "Unhandled case");
}

TEST_F(TextLayoutTest, NullArgumentsAreAssertions) {
  EXPECT_KV_ASSERT(ClFont::layoutText(nullptr, u"a", 0.0f), "pFont");
  EXPECT_KV_ASSERT(ClFont::layoutText(m_pFont, nullptr, 0.0f), "puiString");
  EXPECT_KV_ASSERT(ClFont::nextToken(nullptr, m_pFont->mp_pFontData), "INOUT_ppuiText");
  const char16_t* pText = u"a";
  EXPECT_KV_ASSERT(ClFont::nextToken(&pText, nullptr), "pFontMetaData");
}

}  // namespace
