// The game's font family by language: the variant loaded under "FontAcknowledge" and what is adjusted after it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Code/UI/GAMEFontFamily.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Tests/Support/FontTestSupport.h"

namespace {

// A family of sizes 20 and 21 at one height; every font's line heights are 30 and its one glyph sits 1 below the
// line top.
void writeFamily(const std::string& name) {
  SFontFamilyDesc family{name, {20, 21}, {{216, {0, 1}}}};
  for (int32_t n : {0, 1}) {
    SFontDesc font;
    font.name = name + "_" + std::to_string(n);
    font.fLineHeight = 30.0f;
    font.fEmptyLineHeight = 30.0f;
    SFontGlyphDesc glyph;
    glyph.uiCode = '?';
    glyph.fOffsetY = 1.0f;
    font.glyphs.push_back(glyph);
    KvTestWriteFontFile("Fonts/" + font.name + ".kcf", FontWriteFont(font));
  }
  KvTestWriteFontFile("Fonts/" + name + ".kff", FontWriteFamily(family));
}

class GameFontFamily : public FontFilesTest {
 protected:
  void SetUp() override {
    FontFilesTest::SetUp();
    for (const char* pName : {"FontAcknowledge", "FontAcknowledgeCHS", "FontAcknowledgeRUS", "FontAcknowledgePOL"}) {
      writeFamily(pName);
    }
  }
};

TEST_F(GameFontFamily, EachLanguageGetsItsVariantUnderOneName) {
  struct SCase {
    i32 iLanguage;
    const char* pFamily;
  };
  const SCase aCases[] = {{0, "FontAcknowledge"},     {1, "FontAcknowledge"},     {7, "FontAcknowledge"},
                          {8, "FontAcknowledgeCHS"},  {9, "FontAcknowledgeCHS"},  {10, "FontAcknowledge"},
                          {11, "FontAcknowledgeCHS"}, {12, "FontAcknowledgeRUS"}, {13, "FontAcknowledge"},
                          {17, "FontAcknowledgePOL"}, {18, "FontAcknowledge"}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.iLanguage);
    EXPECT_STREQ(GAMEFontFamilyFor(c.iLanguage), c.pFamily);
    GAMELoadFontFamily(c.iLanguage);
    ASSERT_EQ(ClFontFamilyMgr::mp_familyPool.getCount(), 1);
    const ClFontFamily* pFamily = ClFontFamilyMgr::findFamily(KvStrHash("FontAcknowledge"));
    ASSERT_NE(pFamily, nullptr);
    EXPECT_STREQ(pFamily->mp_pFamilyData->mp_acName, c.pFamily);
    const std::string fontName = std::string(c.pFamily) + "_";
    const SFontData* p20 = ClFontFamilyMgr::findFont(KvStrHash((fontName + "0").c_str()))->mp_pFontData;
    const SFontData* p21 = ClFontFamilyMgr::findFont(KvStrHash((fontName + "1").c_str()))->mp_pFontData;
    if (std::string(c.pFamily) == "FontAcknowledge") {
      // The 21-point font is drawn tighter; nothing moves.
      EXPECT_FLOAT_EQ(p21->mp_fEmptyLineHeight, 26.0f);
      EXPECT_FLOAT_EQ(p21->mp_fLineHeight, 26.0f);
      EXPECT_FLOAT_EQ(p20->mp_fLineHeight, 30.0f);
      EXPECT_FLOAT_EQ(p20->mp_ppGlyphs[0]->mp_fOffsetY, 1.0f);
    } else {
      // Baselines at floor(a / 20 * 22 + 0.5) from the top: 22 for 20 points, 23 for 21, against line height 30.
      EXPECT_FLOAT_EQ(p20->mp_ppGlyphs[0]->mp_fOffsetY, 1.0f + 22.0f - 30.0f);
      EXPECT_FLOAT_EQ(p21->mp_ppGlyphs[0]->mp_fOffsetY, 1.0f + 23.0f - 30.0f);
      EXPECT_FLOAT_EQ(p21->mp_fLineHeight, 30.0f);
    }
    ClFontFamilyMgr::terminate();
  }
}

}  // namespace
