// The sample font families as the build makes them, loaded with their glyph textures on a running device: every
// font of every family, its pages and its glyphs' places on them, and a page that is missing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Tests/Corvane/GraphicsAssets/GraphicsAssetsTestSupport.h"

namespace {

class SampleFontsTest : public GraphicsAssetsTest {
 protected:
  void SetUp() override {
    GraphicsAssetsTest::SetUp();
    std::filesystem::copy(KV_CONTENT_FONTS_DIR, m_root, std::filesystem::copy_options::recursive);
    ClFontFamilyMgr::initialiseFamilyPool();
    ClFontFamilyMgr::initialiseFontPool();
  }
  void TearDown() override {
    ClFontFamilyMgr::terminate();
    GraphicsAssetsTest::TearDown();
  }
};

TEST_F(SampleFontsTest, EveryFamilyLoadsWithItsPagesAndGlyphsOnThem) {
  for (const char* pFamily : {"FontAcknowledge", "FontAcknowledgeCHS", "FontAcknowledgeRUS", "FontAcknowledgePOL"}) {
    SCOPED_TRACE(pFamily);
    ClFontFamilyMgr::loadFontFamilyForHeight(pFamily, "FontAcknowledge", 1080);
    ASSERT_NE(ClFontFamilyMgr::findFamily(KvStrHash("FontAcknowledge")), nullptr);
    // The sizes the screens ask for come at the design height and at full HD.
    for (u32 uiSize : {8u, 12u, 16u, 21u, 24u, 36u}) {
      for (i32 iHeight : {216, 1080}) {
        u32 uiActual = 0;
        EXPECT_NE(ClFontFamilyMgr::getFont(KvStrHash("FontAcknowledge"), uiSize, iHeight, &uiActual), nullptr);
        EXPECT_EQ(uiActual, uiSize);
      }
    }
    ASSERT_GT(ClFontFamilyMgr::mp_fontPool.getCount(), 0);
    for (i32 f = 0; f < ClFontFamilyMgr::mp_fontPool.getCount(); ++f) {
      const ClFontEntry* pFont = ClFontFamilyMgr::mp_fontPool.get(f);
      const SFontData* pData = pFont->mp_pFontData;
      ASSERT_GE(pData->mp_iNumberTextures, 1);
      for (i32 t = 0; t < gc_iMAX_SIGS_PER_FONT; ++t) {
        EXPECT_EQ(pFont->mp_apTextures[t] != nullptr, t < pData->mp_iNumberTextures) << "slot " << t;
      }
      EXPECT_NE(ClFontFamilyMgr::findGlyph(pData, pData->mp_usDefaultCharacter), nullptr);
      const SFontGlyph* pSpace = ClFontFamilyMgr::findGlyph(pData, ' ');
      ASSERT_NE(pSpace, nullptr);
      EXPECT_GT(pSpace->mp_fAdvanceX, 0.0f);
      for (i32 g = 0; g < pData->mp_iNumberGlyphs; ++g) {
        const SFontGlyph* pGlyph = pData->mp_ppGlyphs[g];
        if (pGlyph->mp_fWidth == 0.0f) continue;
        const ClTexture* pPage = pFont->mp_apTextures[pGlyph->mp_iTextureIndex];
        ASSERT_NE(pPage, nullptr);
        // The quad covers exactly its size in texels of the page.
        EXPECT_NEAR((pGlyph->mp_fU1 - pGlyph->mp_fU0) * pPage->getWidth(), pGlyph->mp_fWidth, 0.01f);
        EXPECT_GE(pGlyph->mp_fU0, 0.0f);
        EXPECT_LE(pGlyph->mp_fU1, 1.0f);
        EXPECT_LE(pGlyph->mp_fV1, 1.0f);
      }
    }
    ClFontFamilyMgr::terminate();
  }
}

TEST_F(SampleFontsTest, TheChineseFamilyHasTheCharactersOfItsTexts) {
  ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledgeCHS", "FontAcknowledge", 1080);
  const ClFontEntry* pFont = ClFontFamilyMgr::getFont(KvStrHash("FontAcknowledge"), 24, 216, nullptr);
  ASSERT_NE(pFont, nullptr);
  // "开始游戏" (start the game) and the Latin letters every family has.
  for (u32 uiCode : {0x5F00u, 0x59CBu, 0x6E38u, 0x620Fu, u32{'A'}, u32{'z'}}) {
    const SFontGlyph* pGlyph = ClFontFamilyMgr::findGlyph(pFont->mp_pFontData, uiCode);
    ASSERT_NE(pGlyph, nullptr) << uiCode;
    EXPECT_GT(pGlyph->mp_fWidth, 0.0f);
  }
  EXPECT_EQ(ClFontFamilyMgr::findGlyph(pFont->mp_pFontData, 0x4E01u), nullptr) << "only the texts' characters";
}

TEST_F(SampleFontsTest, AMissingGlyphPageIsFatalNamingIt) {
  std::filesystem::remove(m_root + "/ImagesFonts/FontAcknowledgePOL_3_0.png");
  EXPECT_KV_FATAL(ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledgePOL", nullptr, 216),
                  "Could not load font texture (ImagesFonts/FontAcknowledgePOL_3_0)!!");
}

}  // namespace
