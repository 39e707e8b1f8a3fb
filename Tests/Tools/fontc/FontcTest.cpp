// The font builder: a real font built and read back through the engine's loader (metrics, kerning and glyph pages
// against FreeType's own answers), the description's errors, and the command line.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Tests/Support/FontTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolVerdictTestSupport.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/atlasc/AtlasBuilder.h"
#include "Tools/fontc/FontBuilder.h"

namespace {

std::vector<uint8_t> readBytes(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(ToolReadFile(path, &bytes)) << path;
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// FreeType's answers for the test font at a pixel size, to compare the built files with.
class CReference {
 public:
  explicit CReference(uint32_t uiPixels) {
    EXPECT_EQ(FT_Init_FreeType(&m_library), 0);
    EXPECT_EQ(FT_New_Face(m_library, FONTC_TEST_FONT, 0, &m_face), 0);
    EXPECT_EQ(FT_Set_Pixel_Sizes(m_face, 0, uiPixels), 0);
  }
  ~CReference() {
    FT_Done_Face(m_face);
    FT_Done_FreeType(m_library);
  }
  float advance(uint32_t uiCode) {
    EXPECT_EQ(FT_Load_Char(m_face, uiCode, FT_LOAD_RENDER), 0);
    return static_cast<float>(m_face->glyph->advance.x) / 64.0f;
  }
  float kerning(uint32_t uiPrevious, uint32_t uiCode) {
    FT_Vector delta{0, 0};
    FT_Get_Kerning(m_face, FT_Get_Char_Index(m_face, uiPrevious), FT_Get_Char_Index(m_face, uiCode),
                   FT_KERNING_DEFAULT, &delta);
    return static_cast<float>(delta.x) / 64.0f;
  }
  // Coverage of the glyph's bitmap, row by row.
  std::vector<uint8_t> coverage(uint32_t uiCode, int* piWidth, int* piHeight) {
    EXPECT_EQ(FT_Load_Char(m_face, uiCode, FT_LOAD_RENDER), 0);
    const FT_Bitmap& bitmap = m_face->glyph->bitmap;
    *piWidth = static_cast<int>(bitmap.width);
    *piHeight = static_cast<int>(bitmap.rows);
    std::vector<uint8_t> texels;
    for (unsigned y = 0; y < bitmap.rows; ++y) {
      for (unsigned x = 0; x < bitmap.width; ++x) texels.push_back(bitmap.buffer[static_cast<ptrdiff_t>(y) * bitmap.pitch + x]);
    }
    return texels;
  }
  float lineHeight() const { return std::round(static_cast<float>(m_face->size->metrics.height) / 64.0f); }

 private:
  FT_Library m_library = nullptr;
  FT_Face m_face = nullptr;
};

TEST(Fontc, ARealFontRoundTripsThroughTheEngineLoader) {
  const std::string dir = KvTestTempDir("fontc-roundtrip");
  SFontBuildRequest request;
  request.familyName = "Trip";
  request.fontPath = FONTC_TEST_FONT;
  request.sizes = {12, 24};
  request.heights = {216, 432};
  request.characters = {0x0416, 0x0142};  // Ж and ł besides printable ASCII
  std::string lines;
  std::string error;
  ASSERT_TRUE(FontBuildFamily(request, dir, &lines, &error)) << error;

  nlohmann::ordered_json family;
  ASSERT_TRUE(FontDumpFamily(readBytes(dir + "/Fonts/Trip.kff"), "Trip.kff", &family, &error)) << error;
  EXPECT_EQ(family["sizes"], nlohmann::ordered_json({12, 24}));
  ASSERT_EQ(family["resolutions"].size(), 2u);
  EXPECT_EQ(family["resolutions"][1]["height"], 432);
  EXPECT_EQ(family["resolutions"][1]["fonts"][0], "Trip_2");

  // Font n is size n % 2 at height n / 2: rasterised at size * height / 216 pixels.
  for (int iFont = 0; iFont < 4; ++iFont) {
    SCOPED_TRACE(iFont);
    const uint32_t uiPixels = request.sizes[static_cast<size_t>(iFont % 2)] * request.heights[static_cast<size_t>(iFont / 2)] / 216;
    CReference reference(uiPixels);
    const std::string name = "Trip_" + std::to_string(iFont);
    nlohmann::ordered_json font;
    ASSERT_TRUE(FontDumpFont(readBytes(dir + "/Fonts/" + name + ".kcf"), name, &font, &error)) << error;
    EXPECT_FLOAT_EQ(font["lineHeight"].get<float>(), reference.lineHeight());
    EXPECT_TRUE(font["defaultCharacterHasGlyph"].get<bool>());
    std::map<uint32_t, nlohmann::ordered_json> glyphs;
    for (const auto& glyph : font["glyphs"]) glyphs[glyph["code"].get<uint32_t>()] = glyph;
    EXPECT_EQ(glyphs.size(), 95u + 2u);
    for (uint32_t uiCode : {uint32_t{'A'}, uint32_t{'V'}, uint32_t{'g'}, uint32_t{' '}, 0x0416u, 0x0142u}) {
      ASSERT_EQ(glyphs.count(uiCode), 1u) << uiCode;
      EXPECT_FLOAT_EQ(glyphs[uiCode]["advance"][0].get<float>(), reference.advance(uiCode)) << uiCode;
    }
    // Every pair the face kerns is in the file, on the second glyph, by the first's code.
    int iPairs = 0;
    for (const auto& [uiCode, glyph] : glyphs) {
      std::map<uint32_t, float> kerning;
      if (glyph.contains("kerning")) {
        for (const auto& pair : glyph["kerning"]) kerning[pair[0].get<uint32_t>()] = pair[1].get<float>();
      }
      for (const auto& [uiPrevious, unused] : glyphs) {
        const float fExpected = reference.kerning(uiPrevious, uiCode);
        const auto it = kerning.find(uiPrevious);
        EXPECT_FLOAT_EQ(it == kerning.end() ? 0.0f : it->second, fExpected) << uiPrevious << " then " << uiCode;
        iPairs += fExpected != 0.0f ? 1 : 0;
      }
    }
    EXPECT_GT(iPairs, 0) << "the test font kerns some pairs of ASCII";
    // The glyph's quad on its page holds FreeType's coverage as premultiplied white.
    for (uint32_t uiCode : {uint32_t{'A'}, 0x0416u}) {
      const auto& glyph = glyphs[uiCode];
      SAtlasImage page;
      const std::string pageName = font["textures"][glyph["texture"].get<size_t>()].get<std::string>();
      ASSERT_TRUE(AtlasReadImage(dir + "/ImagesFonts/" + pageName + ".png", &page, &error)) << error;
      int iWidth = 0;
      int iHeight = 0;
      const std::vector<uint8_t> coverage = reference.coverage(uiCode, &iWidth, &iHeight);
      EXPECT_EQ(glyph["size"][0].get<float>(), static_cast<float>(iWidth));
      EXPECT_EQ(glyph["size"][1].get<float>(), static_cast<float>(iHeight));
      const int iX = static_cast<int>(std::lround(glyph["uv"][0].get<float>() * page.iWidth));
      const int iY = static_cast<int>(std::lround(glyph["uv"][1].get<float>() * page.iHeight));
      int iDiffering = 0;
      for (int y = 0; y < iHeight; ++y) {
        for (int x = 0; x < iWidth; ++x) {
          const uint32_t uiTexel = page.texels[static_cast<size_t>(iY + y) * page.iWidth + iX + x];
          const uint32_t a = coverage[static_cast<size_t>(y) * iWidth + x];
          iDiffering += uiTexel != (a << 24 | a << 16 | a << 8 | a) ? 1 : 0;
        }
      }
      EXPECT_EQ(iDiffering, 0) << "code " << uiCode;
    }
  }
  // Every written file is listed for the archive.
  for (const char* pPath : {"Fonts/Trip.kff", "Fonts/Trip_3.kcf", "ImagesFonts/Trip_3_0.png"}) {
    EXPECT_NE(lines.find(std::string("file ") + pPath + " "), std::string::npos) << lines;
  }
}

TEST(Fontc, DescriptionErrorsNameTheFileAndThePlace) {
  const std::string dir = KvTestTempDir("fontc-description");
  struct SCase {
    const char* pText;
    const char* pMessage;
  };
  const SCase aCases[] = {
      {"{\n  \"families\": [ {\"name\": \"A\",, } ]\n}", "Fonts.json:2:30: error:"},
      {R"({"families": [{"name": "A", "font": "x.ttf", "sizes": [12, 8], "resolutions": [216]}]})",
       "Fonts.json: /families/0/sizes/1: the list ascends strictly"},
      {R"({"families": [{"name": "A", "font": "x.ttf", "sizes": [0], "resolutions": [216]}]})",
       "Fonts.json: /families/0/sizes/0: a whole number from 1"},
      {R"({"families": [{"name": "A", "font": "x.ttf", "sizes": [8], "resolutions": [216], "colour": 1}]})",
       "Fonts.json: /families/0/colour: is not a family field"},
      {R"({"families": [{"name": "A/B", "font": "x.ttf", "sizes": [8], "resolutions": [216]}]})",
       "Fonts.json: /families/0/name:"},
      {R"({"families": [{"name": "A", "sizes": [8], "resolutions": [216]}]})", "Fonts.json: /families/0/font: is needed"},
      {R"({"families": [{"name": "A", "font": "x.ttf", "sizes": [8], "resolutions": [216], "default": "ab"}]})",
       "Fonts.json: /families/0/default: one printable character"},
      {R"({"families": [{"name": "A", "font": "missing.ttf", "sizes": [8], "resolutions": [216]}]})",
       "missing.ttf: error: cannot read the file (it does not exist)"},
      {R"({"families": [{"name": "A", "font": "x.ttf", "sizes": [8], "resolutions": [216], "strings": ["no.txt"]}]})",
       "Fonts.json: /families/0/strings/0:"},
  };
  for (const SCase& c : aCases) {
    std::ofstream(dir + "/Fonts.json", std::ios::trunc) << c.pText;
    std::string lines;
    std::string error;
    EXPECT_FALSE(FontMakeContent(dir + "/Fonts.json", dir + "/out", dir, &lines, &error)) << c.pText;
    EXPECT_NE(error.find(c.pMessage), std::string::npos) << error;
  }
}

TEST(Fontc, CommandLine) {
  const std::string tool = KvTestShellQuote(FONTC_PATH);
  SKvToolRun run = KvTestRunTool(tool + " --help");
  EXPECT_EQ(run.iExit, 0);
  EXPECT_NE(run.out.find("usage: fontc"), std::string::npos) << run.out;
  EXPECT_EQ(KvTestRunTool(tool + " frobnicate x").iExit, 2);
  EXPECT_EQ(KvTestRunTool(tool + " content").iExit, 2);

  const std::string dir = KvTestTempDir("fontc-cli");
  std::ofstream(dir + "/Fonts.json")
      << R"({"families": [{"name": "Cli", "font": ")" << FONTC_TEST_FONT
      << R"(", "sizes": [10], "resolutions": [216], "characters": "ÿ"}]})";
  run = KvTestRunTool(tool + " content " + dir + "/Fonts.json -o " + dir + "/out --manifest " + dir + "/lines");
  ASSERT_EQ(run.iExit, 0) << run.out;
  run = KvTestRunTool(tool + " dump " + dir + "/out/Fonts/Cli.kff");
  ASSERT_EQ(run.iExit, 0) << run.out;
  EXPECT_NE(run.out.find("\"Cli_0\""), std::string::npos) << run.out;
  run = KvTestRunTool(tool + " dump " + dir + "/out/Fonts/Cli_0.kcf");
  ASSERT_EQ(run.iExit, 0) << run.out;
  EXPECT_NE(run.out.find("\"code\": 255"), std::string::npos) << run.out;

  // A damaged file is refused by the engine's check, named with what is wrong.
  std::vector<uint8_t> bytes = readBytes(dir + "/out/Fonts/Cli_0.kcf");
  bytes[20] = 9;  // texture count
  std::filesystem::create_directories(dir + "/bad");
  ASSERT_TRUE(ToolWriteFile(dir + "/bad/Cli_0.kcf", bytes.data(), bytes.size()));
  run = KvTestRunTool(tool + " dump " + dir + "/bad/Cli_0.kcf");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("Cli_0.kcf: the texture count is 9"), std::string::npos) << run.out;
  // A font is loaded by its file's name, and found by the name hash it holds: another font's file is refused.
  std::filesystem::copy_file(dir + "/out/Fonts/Cli_0.kcf", dir + "/Cli_1.kcf");
  run = KvTestRunTool(tool + " dump " + dir + "/Cli_1.kcf");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("Cli_1.kcf: it holds the name hash"), std::string::npos) << run.out;
  std::ofstream(dir + "/short.kff") << "short";
  run = KvTestRunTool(tool + " dump " + dir + "/short.kff");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("short.kff: the file is 5 bytes"), std::string::npos) << run.out;
  EXPECT_EQ(KvTestRunTool(tool + " dump " + dir + "/Fonts.json").iExit, 2);
}

// What "fontc dump" accepts, the font manager loads, and the other way round: the family "Tv" and its one font as the
// writer makes them (without glyph pages, so no device is needed), all zero, and cut in half.
class FontcVerdict : public FontFilesTest {};

TEST_F(FontcVerdict, TheDumpAcceptsWhatTheLoaderAccepts) {
  SFontDesc font;
  font.name = "Tv_0";
  font.glyphs.resize(2);
  font.glyphs[0].uiCode = 'A';
  font.glyphs[1].uiCode = 'B';
  const std::vector<uint8_t> built[] = {FontWriteFamily({"Tv", {12}, {{216, {0}}}}), FontWriteFont(font)};
  KvTestWriteFontFile("built/Tv.kff", built[0]);
  KvTestWriteFontFile("built/Tv_0.kcf", built[1]);
  const auto loads = [&built](const std::string& path, const std::vector<uint8_t>& bytes) {
    const bool bFamily = path.ends_with(".kff");
    KvTestWriteFontFile("Fonts/Tv.kff", bFamily ? bytes : built[0]);
    KvTestWriteFontFile("Fonts/Tv_0.kcf", bFamily ? built[1] : bytes);
    const bool bLoaded = KvTestLoadsWithoutAStop([] {
      ClFontFamilyMgr::loadFontFamilyForHeight("Tv", nullptr, 216);
      return ClFontFamilyMgr::findFamily(KvStrHash("Tv")) != nullptr;
    });
    ClFontFamilyMgr::terminate();
    return bLoaded;
  };
  KvTestToolAgreesWithTheLoader(KvTestShellQuote(FONTC_PATH) + " dump",
                                {{m_root + "/built/Tv.kff", {true, false, false}},
                                 {m_root + "/built/Tv_0.kcf", {true, false, false}}},
                                m_root + "/cuts", loads);
}

}  // namespace
