// Font families: the size and resolution choice, aliases, glyph and kerning look-ups, the baseline adjustment and
// the refusal of damaged family and font files. The files are written by the font builder's writer as loose files
// under a fresh data root; fonts without textures need no graphics device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Tests/Support/FontTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// A font whose glyphs are the given codes; glyph c advances by c / 10 so look-ups can be told apart.
SFontDesc fontWith(const std::string& name, const std::vector<uint32_t>& codes, float fLineHeight = 10.0f) {
  SFontDesc font;
  font.name = name;
  font.fLineHeight = fLineHeight;
  font.fEmptyLineHeight = fLineHeight;
  font.usDefaultCharacter = '?';
  for (uint32_t uiCode : codes) {
    SFontGlyphDesc glyph;
    glyph.uiCode = uiCode;
    glyph.fAdvanceX = static_cast<float>(uiCode) / 10.0f;
    glyph.fOffsetY = 1.0f;
    font.glyphs.push_back(glyph);
  }
  return font;
}

class FontFamilyTest : public FontFilesTest {
 protected:
  // Writes the family "Fonts/<name>.kff" with its fonts: font r * sizes + i for resolution r and size i, each
  // holding "A" and "B" and a line height of its point size.
  void writeFamily(const std::string& name, const std::vector<uint32_t>& sizes, const std::vector<uint32_t>& heights) {
    SFontFamilyDesc family;
    family.name = name;
    family.sizes = sizes;
    int32_t iNumber = 0;
    for (uint32_t uiHeight : heights) {
      SFontResolutionDesc resolution;
      resolution.uiHeight = uiHeight;
      for (uint32_t uiSize : sizes) {
        const std::string fontName = name + "_" + std::to_string(iNumber);
        KvTestWriteFontFile("Fonts/" + fontName + ".kcf", FontWriteFont(fontWith(fontName, {'A', 'B'}, static_cast<float>(uiSize))));
        resolution.fontNumbers.push_back(iNumber++);
      }
      family.resolutions.push_back(resolution);
    }
    KvTestWriteFontFile("Fonts/" + name + ".kff", FontWriteFamily(family));
  }

  static ClFontEntry* font(const std::string& name) { return ClFontFamilyMgr::findFont(KvStrHash(name.c_str())); }
};

TEST_F(FontFamilyTest, PointSizesFallToTheNearestSizeTheFamilyHas) {
  struct SCase {
    std::vector<uint32_t> sizes;
    uint32_t uiAsked;
    uint32_t uiChosen;
  };
  const SCase aCases[] = {
      {{10, 20, 40}, 20, 20}, {{10, 20, 40}, 25, 20}, {{10, 20, 40}, 12, 10}, {{10, 20, 40}, 7, 10},
      {{10, 20, 40}, 3, 10},  {{10, 20, 40}, 100, 40}, {{10, 20, 40}, 1, 10}, {{3, 10}, 4, 3},
      {{3, 10}, 5, 10},       {{3, 10}, 21, 10},       {{30, 50}, 200, 50},   {{30, 50}, 12, 30},
      // Sizes far apart answer as the one-by-one search would, without walking the billions between.
      {{10, 4000000000u}, 3000000000u, 10}, {{10, 20}, 0xFFFFFFFFu, 20}, {{3000000000u, 4000000000u}, 5, 3000000000u},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(::testing::Message() << "asked " << c.uiAsked << " of " << c.sizes.size() << " sizes from "
                                      << c.sizes[0]);
    writeFamily("Sizes", c.sizes, {216});
    ClFontFamilyMgr::loadFontFamilyForHeight("Sizes", nullptr, 216);
    u32 uiActual = 0;
    ClFontEntry* pFont = ClFontFamilyMgr::getFont(KvStrHash("Sizes"), c.uiAsked, -1, &uiActual);
    EXPECT_EQ(uiActual, c.uiChosen);
    size_t uiIndex = 0;
    while (uiIndex < c.sizes.size() && c.sizes[uiIndex] != c.uiChosen) ++uiIndex;
    EXPECT_EQ(pFont, font("Sizes_" + std::to_string(uiIndex)));
    ClFontFamilyMgr::terminate();
  }
  writeFamily("Sizes", {10}, {216});
  ClFontFamilyMgr::loadFontFamilyForHeight("Sizes", nullptr, 216);
  EXPECT_KV_ASSERT(ClFontFamilyMgr::getFont(KvStrHash("Sizes"), 0, -1, nullptr), "uiPointSize");
  u32 uiUntouched = 77;
  EXPECT_EQ(ClFontFamilyMgr::getFont(KvStrHash("NotLoaded"), 10, -1, &uiUntouched), nullptr);
  EXPECT_EQ(uiUntouched, 77u) << "no font, no actual size";
}

TEST_F(FontFamilyTest, TheBestResolutionIsTheFirstUnlessALaterOneIsHighEnoughAndStrictlyNearer) {
  struct SCase {
    std::vector<uint32_t> heights;
    uint32_t uiScreen;
    size_t uiChosen;
  };
  const SCase aCases[] = {{{720, 1080}, 1080, 1}, {{720, 1080}, 1000, 1}, {{720, 1080}, 900, 0},
                          {{720, 1080}, 600, 0},  {{1080, 720}, 700, 1},  {{216, 432, 1080}, 400, 1},
                          {{216, 432, 1080}, 1200, 0}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(::testing::Message() << "screen " << c.uiScreen << ", first height " << c.heights[0]);
    writeFamily("Res", {12}, c.heights);
    ClFontFamilyMgr::loadFontFamilyForHeight("Res", nullptr, c.uiScreen);
    EXPECT_EQ(ClFontFamilyMgr::getFont(KvStrHash("Res"), 12, -1, nullptr), font("Res_" + std::to_string(c.uiChosen)));
    ClFontFamilyMgr::terminate();
  }
}

TEST_F(FontFamilyTest, ACanvasHeightPicksTheNearestResolutionTheEarlierOnATie) {
  struct SCase {
    std::vector<uint32_t> heights;
    i32 iCanvas;
    size_t uiChosen;
  };
  const SCase aCases[] = {{{720, 1080}, 216, 0}, {{200, 232}, 216, 0}, {{232, 200}, 216, 0},
                          {{720, 1080}, 1000, 1}, {{216, 1080}, 1080, 1}, {{216, 1080}, 600, 0}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(::testing::Message() << "canvas " << c.iCanvas << ", first height " << c.heights[0]);
    writeFamily("Canvas", {8, 16}, c.heights);
    ClFontFamilyMgr::loadFontFamilyForHeight("Canvas", nullptr, 1080);
    u32 uiActual = 0;
    EXPECT_EQ(ClFontFamilyMgr::getFont(KvStrHash("Canvas"), 16, c.iCanvas, &uiActual),
              font("Canvas_" + std::to_string(c.uiChosen * 2 + 1)));
    EXPECT_EQ(uiActual, 16u);
    ClFontFamilyMgr::terminate();
  }
}

TEST_F(FontFamilyTest, AnAliasFindsTheFamilyWhileItsFontsKeepTheirNames) {
  writeFamily("FontAcknowledgeRUS", {12, 24}, {216});
  writeFamily("FontAcknowledge", {12}, {216});
  ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledgeRUS", "FontAcknowledge", 216);
  EXPECT_EQ(ClFontFamilyMgr::getFont(0xAEE302CEu, 24, 216, nullptr), font("FontAcknowledgeRUS_1"));
  EXPECT_EQ(ClFontFamilyMgr::getFont(KvStrHash("FontAcknowledgeRUS"), 24, 216, nullptr), nullptr);
  EXPECT_EQ(font("FontAcknowledge_0"), nullptr) << "the plain family's fonts were not loaded";
  EXPECT_KV_FATAL(ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledge", nullptr, 216),
                  "Font family [FontAcknowledge] is already loaded!");
  EXPECT_KV_FATAL(ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledgeRUS", "FontAcknowledge", 216),
                  "Font family [FontAcknowledge] (Alias we would like to use for font [FontAcknowledgeRUS] is already "
                  "loaded!");
  // A family that is not there is simply not loaded.
  ClFontFamilyMgr::loadFontFamilyForHeight("Missing", nullptr, 216);
  EXPECT_EQ(ClFontFamilyMgr::getFont(KvStrHash("Missing"), 12, -1, nullptr), nullptr);
  EXPECT_EQ(ClFontFamilyMgr::mp_familyPool.getCount(), 1);
}

TEST_F(FontFamilyTest, GlyphLookUpsFindEveryCodeAndNothingElse) {
  const std::vector<std::vector<uint32_t>> tables = {
      {}, {'A'}, {' ', '?', 'A', 'B', 'z'}, {' ', 0x0416, 0x4E00, 0x8000, 0xFF01, 0xFFFF}};
  for (const std::vector<uint32_t>& codes : tables) {
    writeFamily("Glyphs", {12}, {216});
    KvTestWriteFontFile("Fonts/Glyphs_0.kcf", FontWriteFont(fontWith("Glyphs_0", codes)));
    ClFontFamilyMgr::loadFontFamilyForHeight("Glyphs", nullptr, 216);
    const SFontData* pData = font("Glyphs_0")->mp_pFontData;
    for (uint32_t uiCode : {0x20u, 0x3Fu, 0x41u, 0x42u, 0x43u, 0x7Au, 0x416u, 0x4E00u, 0x7FFFu, 0x8000u, 0xFF01u,
                            0xFFFFu, 0u}) {
      const bool bPresent = std::find(codes.begin(), codes.end(), uiCode) != codes.end();
      const SFontGlyph* pGlyph = ClFontFamilyMgr::findGlyph(pData, uiCode);
      ASSERT_EQ(pGlyph != nullptr, bPresent) << "code " << uiCode << " in a table of " << codes.size();
      if (pGlyph != nullptr) {
        EXPECT_EQ(pGlyph->mp_uiCode, uiCode);
        EXPECT_FLOAT_EQ(pGlyph->mp_fAdvanceX, static_cast<float>(uiCode) / 10.0f);
      }
    }
    EXPECT_EQ(pData->mp_usDefaultCharacter, '?');
    ClFontFamilyMgr::terminate();
  }
  EXPECT_KV_ASSERT(ClFontFamilyMgr::findGlyph(nullptr, 'A'), "pData");
  EXPECT_KV_ASSERT(ClFontFamilyMgr::findKerning(nullptr, 'A'), "pCharacter");
}

TEST_F(FontFamilyTest, KerningPairsApplyToThePreviousCharacter) {
  SFontDesc desc = fontWith("Kern_0", {'A', 'T', 'V', 'o'});
  // Written out of order: the writer sorts them as the look-up needs.
  desc.glyphs[2].kerning = {{'o', -0.5f, 0.0f}, {'A', -1.5f, 0.25f}, {'T', 0.75f, 0.0f}};
  desc.glyphs[0].kerning = {{'V', -1.25f, 0.0f}};
  writeFamily("Kern", {12}, {216});
  KvTestWriteFontFile("Fonts/Kern_0.kcf", FontWriteFont(desc));
  ClFontFamilyMgr::loadFontFamilyForHeight("Kern", nullptr, 216);
  const SFontData* pData = font("Kern_0")->mp_pFontData;
  struct SCase {
    uint32_t uiPrevious;
    uint32_t uiGlyph;
    bool bFound;
    float fX;
    float fY;
  };
  const SCase aCases[] = {{'A', 'V', true, -1.5f, 0.25f}, {'T', 'V', true, 0.75f, 0.0f}, {'o', 'V', true, -0.5f, 0.0f},
                          {'V', 'A', true, -1.25f, 0.0f}, {'V', 'V', false, 0, 0},       {'A', 'T', false, 0, 0},
                          {'B', 'V', false, 0, 0},        {'A', 'o', false, 0, 0}};
  for (const SCase& c : aCases) {
    const SFontKerning* pKerning = ClFontFamilyMgr::findKerning(ClFontFamilyMgr::findGlyph(pData, c.uiGlyph), c.uiPrevious);
    ASSERT_EQ(pKerning != nullptr, c.bFound) << static_cast<char>(c.uiPrevious) << static_cast<char>(c.uiGlyph);
    if (pKerning != nullptr) {
      EXPECT_EQ(pKerning->mp_uiPrevious, c.uiPrevious);
      EXPECT_FLOAT_EQ(pKerning->mp_fX, c.fX);
      EXPECT_FLOAT_EQ(pKerning->mp_fY, c.fY);
    }
  }
}

TEST_F(FontFamilyTest, BaselinesMoveOnceForEachSizeOfTheResolutionNearest216) {
  // Line heights equal to the point size: 20 points move by floor(22 + 0.5) - 20 = 2, 30 points by 33 - 30 = 3.
  writeFamily("FontAcknowledgePOL", {20, 30}, {216, 1080});
  ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledgePOL", "FontAcknowledge", 1080);
  ClFontFamilyMgr::adjustFontAcknowledgeBaselines();
  struct SCase {
    const char* pFont;
    float fOffsetY;
  };
  const SCase aCases[] = {{"FontAcknowledgePOL_0", 1.0f + 2.0f},
                          {"FontAcknowledgePOL_1", 1.0f + 3.0f},
                          {"FontAcknowledgePOL_2", 1.0f},
                          {"FontAcknowledgePOL_3", 1.0f}};
  for (const SCase& c : aCases) {
    const SFontData* pData = font(c.pFont)->mp_pFontData;
    for (i32 g = 0; g < pData->mp_iNumberGlyphs; ++g) {
      EXPECT_FLOAT_EQ(pData->mp_ppGlyphs[g]->mp_fOffsetY, c.fOffsetY) << c.pFont << " glyph " << g;
    }
  }
}

// New line heights reach the font, and what was laid out with the old ones is laid out again.
TEST_F(FontFamilyTest, SetLineHeightsChangesTheGeneration) {
  writeFamily("FontAcknowledge", {20}, {216});
  ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledge", nullptr, 216);
  ClFontEntry* pFont = font("FontAcknowledge_0");
  const u32 uiBefore = ClFontFamilyMgr::getGeneration();
  ClFontFamilyMgr::setLineHeights(pFont, 17.0f, 15.0f);
  EXPECT_FLOAT_EQ(pFont->mp_pFontData->mp_fLineHeight, 17.0f);
  EXPECT_FLOAT_EQ(pFont->mp_pFontData->mp_fEmptyLineHeight, 15.0f);
  EXPECT_NE(ClFontFamilyMgr::getGeneration(), uiBefore);
}

// One damaged copy of a good file: what was changed, and a word the refusal must name.
struct SDamage {
  const char* pWhat;
  std::vector<uint8_t> bytes;
  const char* pNamed;
};

TEST_F(FontFamilyTest, DamagedFontFilesAreRefusedNamingTheFileAndTheField) {
  SFontDesc desc = fontWith("Bad_0", {' ', 'A', 'V'});
  desc.textures = {};
  desc.glyphs[2].kerning = {{'A', -1.0f, 0.0f}};
  const std::vector<uint8_t> good = FontWriteFont(desc);
  const uint32_t uiGlyphTable = KvTestU32At(good, 0);
  const uint32_t uiGlyph1 = KvTestU32At(good, uiGlyphTable + 4);
  const uint32_t uiGlyph2 = KvTestU32At(good, uiGlyphTable + 8);
  std::vector<SDamage> damages;
  damages.push_back({"truncated header", std::vector<uint8_t>(good.begin(), good.begin() + 30), "header"});
  damages.push_back({"cut in a record", std::vector<uint8_t>(good.begin(), good.end() - 4), "inside the file"});
  std::vector<uint8_t> bytes = good;
  KvTestPutU32At(&bytes, 16, 0x10000000u);
  damages.push_back({"glyph count past the end", bytes, "glyph table"});
  bytes = good;
  KvTestPutU32At(&bytes, 16, 0xFFFFFFFFu);
  damages.push_back({"negative glyph count", bytes, "glyph count"});
  bytes = good;
  KvTestPutU32At(&bytes, 0, 0xFFFFFFF0u);
  damages.push_back({"glyph table offset out of the file", bytes, "glyph table"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyphTable + 4, static_cast<uint32_t>(good.size()) - 8);
  damages.push_back({"glyph offset out of the file", bytes, "glyph 1"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyphTable + 4, uiGlyph1 + 2);
  damages.push_back({"misaligned glyph", bytes, "glyph 1"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyph2 + 56, 0x00FFFFFFu);
  damages.push_back({"kerning count past the end", bytes, "kerning"});
  bytes = good;
  KvTestPutU32At(&bytes, KvTestU32At(good, uiGlyph2), 0xFFFFFF00u);
  damages.push_back({"kerning offset out of the file", bytes, "kerning"});
  bytes = good;
  KvTestPutU32At(&bytes, KvTestU32At(good, KvTestU32At(good, uiGlyph2)), 0xFFFF0041u);
  damages.push_back({"kerning code above 16 bits", bytes, "previous code 4294901825"});
  bytes = good;
  KvTestPutU32At(&bytes, KvTestU32At(good, uiGlyph2), uiGlyph1);
  damages.push_back({"kerning record over a glyph", bytes, "overlaps glyph 1"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyph1 + 52, 2);
  damages.push_back({"glyph texture index out of range", bytes, "texture 2"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyph1 + 20, 0x3F800000u);
  KvTestPutU32At(&bytes, uiGlyph1 + 24, 0x3F800000u);
  damages.push_back({"a drawn glyph on a texture the font lacks", bytes, "texture 0"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyph1 + 52, 0xFFFFFFFFu);
  damages.push_back({"negative glyph texture index", bytes, "texture -1"});
  bytes = good;
  KvTestPutU32At(&bytes, 20, 3);
  damages.push_back({"three textures", bytes, "texture count"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyph1 + 8, 'z');
  damages.push_back({"glyphs out of order", bytes, "ascending"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyph1 + 8, 0x10041u);
  damages.push_back({"code above 16 bits", bytes, "0xFFFF"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyphTable + 8, uiGlyph1);
  damages.push_back({"two glyphs on one record", bytes, "overlaps"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyphTable, 8);
  damages.push_back({"a glyph over the header", bytes, "overlaps"});
  bytes = good;
  KvTestPutU32At(&bytes, uiGlyph1 + 12, 0x7FC00000u);
  damages.push_back({"advance not a number", bytes, "finite"});
  bytes = good;
  KvTestPutU32At(&bytes, 32, 0x7F800000u);
  damages.push_back({"infinite line height", bytes, "line height"});
  // The loader finds a loaded font by the name hash it holds.
  bytes = good;
  KvTestPutU32At(&bytes, 24, KvStrHash("Other_0"));
  damages.push_back({"the name hash of another font", bytes, "holds the name hash"});
  damages.push_back({"all zero", std::vector<uint8_t>(good.size(), 0), "holds the name hash 0x00000000"});
  for (const SDamage& damage : damages) {
    SCOPED_TRACE(damage.pWhat);
    char szError[gc_uiFONT_FILE_ERROR_SIZE] = "";
    std::vector<uint8_t> aligned(damage.bytes);
    alignas(16) static u8 s_aImage[4096];
    ASSERT_LE(aligned.size(), sizeof(s_aImage));
    std::memcpy(s_aImage, aligned.data(), aligned.size());
    EXPECT_FALSE(KvCheckFontFile(s_aImage, static_cast<u32>(aligned.size()), "Fonts\\Bad_0.kcf", KvStrHash("Bad_0"),
                                 szError, sizeof(szError)));
    EXPECT_EQ(std::string(szError).rfind("Fonts\\Bad_0.kcf: ", 0), 0u) << szError;
    EXPECT_NE(std::string(szError).find(damage.pNamed), std::string::npos) << szError;
    // Loaded with its family, the font is a fatal data error naming it; nothing is left open.
    writeFamily("Bad", {12}, {216});
    KvTestWriteFontFile("Fonts/Bad_0.kcf", damage.bytes);
    EXPECT_KV_FATAL(ClFontFamilyMgr::loadFontFamilyForHeight("Bad", nullptr, 216),
                    "Could NOT load textures for font [Bad_0]");
    EXPECT_EQ(font("Bad_0"), nullptr);
    ClFontFamilyMgr::terminate();
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  }
  // The good file loads, and so does a glyph that draws nothing on a texture the font lacks.
  writeFamily("Bad", {12}, {216});
  KvTestWriteFontFile("Fonts/Bad_0.kcf", good);
  ClFontFamilyMgr::loadFontFamilyForHeight("Bad", nullptr, 216);
  EXPECT_NE(font("Bad_0"), nullptr);
}

TEST_F(FontFamilyTest, DamagedFamilyFilesAreRefusedAndNotLoaded) {
  SFontFamilyDesc family;
  family.name = "BadFam";
  family.sizes = {10, 20};
  family.resolutions = {{216, {0, 1}}, {1080, {2, 3}}};
  const std::vector<uint8_t> good = FontWriteFamily(family);
  const uint32_t uiResolutionTable = KvTestU32At(good, 0);
  const uint32_t uiResolution0 = KvTestU32At(good, uiResolutionTable);
  const uint32_t uiSizeTable = KvTestU32At(good, 8);
  std::vector<SDamage> damages;
  damages.push_back({"truncated header", std::vector<uint8_t>(good.begin(), good.begin() + 60), "header"});
  std::vector<uint8_t> bytes = good;
  KvTestPutU32At(&bytes, 16, 0x01000000u);
  damages.push_back({"resolution count past the end", bytes, "resolution table"});
  bytes = good;
  KvTestPutU32At(&bytes, 16, 0);
  damages.push_back({"no resolution", bytes, "resolution count"});
  bytes = good;
  KvTestPutU32At(&bytes, 20, 0);
  damages.push_back({"no size", bytes, "size count"});
  bytes = good;
  KvTestPutU32At(&bytes, 8, 0xFFFFFFFCu);
  damages.push_back({"size table out of the file", bytes, "size table"});
  bytes = good;
  KvTestPutU32At(&bytes, uiResolutionTable, static_cast<uint32_t>(good.size()) - 4);
  damages.push_back({"resolution out of the file", bytes, "resolution 0"});
  bytes = good;
  KvTestPutU32At(&bytes, uiResolution0 + 8, 1);
  damages.push_back({"fewer fonts than sizes", bytes, "1 fonts for 2 sizes"});
  bytes = good;
  KvTestPutU32At(&bytes, uiResolution0 + 8, 0x00100000u);
  damages.push_back({"font count past the end", bytes, "font table"});
  bytes = good;
  KvTestPutU32At(&bytes, KvTestU32At(good, uiSizeTable + 4), 10);
  damages.push_back({"sizes not ascending", bytes, "ascend"});
  bytes = good;
  KvTestPutU32At(&bytes, uiResolutionTable + 4, uiResolution0);
  damages.push_back({"two resolutions on one record", bytes, "overlaps"});
  bytes = good;
  std::memset(bytes.data() + 24, 'x', 64);
  damages.push_back({"unterminated name", bytes, "family name"});
  bytes = good;
  KvTestPutU32At(&bytes, 88, KvStrHash("Other"));
  damages.push_back({"the name hash of another family", bytes, "holds the name hash"});
  for (const SDamage& damage : damages) {
    SCOPED_TRACE(damage.pWhat);
    alignas(16) static u8 s_aImage[4096];
    ASSERT_LE(damage.bytes.size(), sizeof(s_aImage));
    std::memcpy(s_aImage, damage.bytes.data(), damage.bytes.size());
    char szError[gc_uiFONT_FILE_ERROR_SIZE] = "";
    EXPECT_FALSE(KvCheckFontFamily(s_aImage, static_cast<u32>(damage.bytes.size()), "BadFam.kff",
                                   KvStrHash("BadFam"), szError, sizeof(szError)));
    EXPECT_NE(std::string(szError).find("BadFam.kff: "), std::string::npos) << szError;
    EXPECT_NE(std::string(szError).find(damage.pNamed), std::string::npos) << szError;
    KvTestWriteFontFile("Fonts/BadFam.kff", damage.bytes);
    ClFontFamilyMgr::loadFontFamilyForHeight("BadFam", nullptr, 216);
    EXPECT_EQ(ClFontFamilyMgr::mp_familyPool.getCount(), 0);
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  }
}

TEST_F(FontFamilyTest, AFontWhoseStoredHashIsNotItsNameIsFatal) {
  writeFamily("Hash", {12}, {216});
  KvTestWriteFontFile("Fonts/Hash_0.kcf", FontWriteFont(fontWith("Other_0", {'A'})));
  EXPECT_KV_FATAL(ClFontFamilyMgr::loadFontFamilyForHeight("Hash", nullptr, 216),
                  "Could NOT load textures for font [Hash_0] ([0x");
}

TEST_F(FontFamilyTest, PoolsRunOutWithTheirOwnMessages) {
  for (i32 i = 0; i < gc_iMAX_FONT_FAMILIES; ++i) {
    const std::string name = "Fam" + std::to_string(i);
    writeFamily(name, {12}, {216});
    ClFontFamilyMgr::loadFontFamilyForHeight(name.c_str(), nullptr, 216);
  }
  EXPECT_EQ(ClFontFamilyMgr::mp_familyPool.getCount(), gc_iMAX_FONT_FAMILIES);
  writeFamily("OneMore", {12}, {216});
  EXPECT_KV_FATAL(ClFontFamilyMgr::loadFontFamilyForHeight("OneMore", nullptr, 216),
                  "Could not load font family [OneMore]; out of font entries in pool!");
  ClFontFamilyMgr::terminate();
  writeFamily("Many", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
                       26, 27, 28, 29, 30, 31, 32, 33},
              {216, 1080});
  EXPECT_KV_FATAL(ClFontFamilyMgr::loadFontFamilyForHeight("Many", nullptr, 216),
                  "Could not load font [Many_64]; out of font entries in pool!");
}

}  // namespace
