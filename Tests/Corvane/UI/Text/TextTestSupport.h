// The fixture of the text tests: the canvas fixture (a 320 x 240 device, the engine's effects, Cl2d and the UI
// manager) with "FULL" at resolution height 432 (scale 2) and a synthetic font family "Mono" written by the font
// builder's writer: sizes 8, 12 and 16 at height 432, each glyph of a size s a quad of s/2 x s at (1, 1) from the
// pen with an advance of s/2 + 1, a space of advance s/4 without a quad, 'o' kerned by -2 after 'W' and by -3
// after a space, and '?' the default character. "Bare" (size 8) lacks the default character's glyph.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Platform/D3D9/D3D9.h"
#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tools/fontc/FontFiles.h"

// A string table image of one key (the table layout of KvLangID.h).
inline std::vector<u8> stringTable(u32 uiKey, const std::u16string& text) {
  std::vector<u8> image(12 + 4 + 12 + 2 * (text.size() + 1), 0);
  const u32 auiHeader[3] = {12, 0, 1};
  std::memcpy(image.data(), auiHeader, 12);
  const u32 uiPair = 16;
  std::memcpy(image.data() + 12, &uiPair, 4);
  const u32 auiPair[3] = {28, 0, uiKey};
  std::memcpy(image.data() + 16, auiPair, 12);
  std::memcpy(image.data() + 28, text.data(), 2 * text.size());
  return image;
}

inline constexpr f32 gc_fMONO_KERN_W_O = -2.0f;
inline constexpr f32 gc_fMONO_KERN_SPACE_O = -3.0f;

// The metrics of the synthetic fonts, by point size.
inline f32 monoAdvance(u32 uiSize) { return static_cast<f32>(uiSize) / 2.0f + 1.0f; }
inline f32 monoSpace(u32 uiSize) { return static_cast<f32>(uiSize) / 4.0f; }
inline f32 monoLineHeight(u32 uiSize) { return static_cast<f32>(uiSize) + 2.0f; }

class TextTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (HasFatalFailure()) return;
    fullCanvas(432.0f, {216});
    ClFontFamilyMgr::initialiseFamilyPool();
    ClFontFamilyMgr::initialiseFontPool();
    writeLoose("ImagesFonts/MonoPage.png",
               KvTestEncodeImage(std::vector<uint32_t>(64 * 64, 0xFFFFFFFFu), 64, 64, ETestImageFormat::PNG));
    writeFamily("Mono", {8, 12, 16}, true);
    writeFamily("Bare", {8}, false);
    ClFontFamilyMgr::loadFontFamilyForHeight("Mono", nullptr, 432);
    ClFontFamilyMgr::loadFontFamilyForHeight("Bare", nullptr, 432);
  }
  void TearDown() override {
    ClFontFamilyMgr::terminate();
    CanvasTest::TearDown();
  }

  void writeFamily(const std::string& name, const std::vector<uint32_t>& sizes, bool bDefaultGlyph,
                   uint32_t uiHeight = 432) {
    SFontFamilyDesc family{name, sizes, {{uiHeight, {}}}};
    for (size_t i = 0; i < sizes.size(); ++i) {
      const uint32_t s = sizes[i];
      SFontDesc font;
      font.name = name + "_" + std::to_string(i);
      font.fLineHeight = monoLineHeight(s);
      font.fEmptyLineHeight = static_cast<float>(s);
      font.usDefaultCharacter = '?';
      font.textures = {"MonoPage"};
      for (uint32_t c = 0x20; c < 0x7F; ++c) {
        if (c == '?' && !bDefaultGlyph) continue;
        SFontGlyphDesc glyph;
        glyph.uiCode = c;
        glyph.fAdvanceX = c == ' ' ? monoSpace(s) : monoAdvance(s);
        if (c != ' ') {
          glyph.fWidth = static_cast<float>(s) / 2.0f;
          glyph.fHeight = static_cast<float>(s);
          glyph.fOffsetX = 1.0f;
          glyph.fOffsetY = 1.0f;
          glyph.fU0 = static_cast<float>(c % 8) / 8.0f;
          glyph.fV0 = static_cast<float>(c / 8 % 8) / 8.0f;
          glyph.fU1 = glyph.fU0 + 0.125f;
          glyph.fV1 = glyph.fV0 + 0.125f;
        }
        if (c == 'o') glyph.kerning = {{' ', gc_fMONO_KERN_SPACE_O, 0.0f}, {'W', gc_fMONO_KERN_W_O, 0.0f}};
        font.glyphs.push_back(glyph);
      }
      writeLoose("Fonts/" + font.name + ".kcf", FontWriteFont(font));
      family.resolutions[0].fontNumbers.push_back(static_cast<int32_t>(i));
    }
    writeLoose("Fonts/" + name + ".kff", FontWriteFamily(family));
  }

  static ClFontEntry* font(const char* pFamily, u32 uiSize) {
    return ClFontFamilyMgr::getFont(KvStrHash(pFamily), uiSize, 432, nullptr);
  }

  static std::vector<SQueuedSprite> sprites() {
    std::vector<SQueuedSprite> out;
    for (i32 i = 0; i < Cl2d::getNumSprites(); ++i) out.push_back(queued(i));
    return out;
  }

  // Drawing arguments for the glyph shader, left aligned at the top left, white, no shadow.
  static STextDrawArgs args(u16 uLayer = 100, u32 uiAlignment = gc_uiTEXT_ALIGN_LEFT) {
    STextDrawArgs a{};
    a.mp_uiShaderHash = KvStrHash("system_blend_premult");
    a.mp_uLayer = uLayer;
    a.mp_uiScreenFlags = gc_ui2D_ALIGN_TOP_LEFT;
    a.mp_uiAnchorFlags = gc_ui2D_ALIGN_TOP_LEFT;
    a.mp_uiAlignment = uiAlignment;
    a.mp_uiColor = 0xFFFFFFFFu;
    return a;
  }
};

// Draws the 2D queue on a black back buffer and reads it back.
inline STestPicture KvTestDrawUIQueue() {
  ClDynamicGeometry::beginFrame();
  Cl2d::sortSprites();
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 0, gc_u2D_MAX_LAYER, 0.0f);
  ClDynamicGeometry::buildBatch(9, gc_uiDYNGEO_FLAG_UI);
  ClDynamicGeometry::unlockBuffers();
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  EXPECT_EQ(pDevice->BeginScene(), D3D_OK);
  pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  Cl2d::pushProjection();
  ClDynamicGeometry::drawBatch(9);
  Cl2d::popProjection();
  pDevice->EndScene();
  UINT uiW = 0;
  UINT uiH = 0;
  const std::vector<DWORD> pixels = D3D9TestReadBackBuffer(pDevice, &uiW, &uiH);
  STestPicture picture;
  picture.pixels.assign(pixels.begin(), pixels.end());
  for (uint32_t& pixel : picture.pixels) pixel |= 0xFF000000u;
  picture.iWidth = static_cast<int>(uiW);
  picture.iHeight = static_cast<int>(uiH);
  return picture;
}

// Compares with the reference of that name in KV_TEST_REFERENCE_DIR, or writes it when GRINDLOW_WRITE_REFERENCES=1
// (the test then skips).
inline void KvTestExpectReference(const STestPicture& picture, const std::string& name,
                                  const STestPictureTolerance& tolerance) {
  const std::string path = std::string(KV_TEST_REFERENCE_DIR) + "/" + name + ".png";
  const char* pWrite = std::getenv("GRINDLOW_WRITE_REFERENCES");
  if (pWrite != nullptr && std::string(pWrite) == "1") {
    const std::vector<uint8_t> png =
        KvTestEncodeImage(picture.pixels, picture.iWidth, picture.iHeight, ETestImageFormat::PNG_OPAQUE);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    GTEST_SKIP() << "wrote " << path;
  }
  const ::testing::AssertionResult matches = KvTestPictureMatches(picture, KvTestLoadPicture(path), tolerance);
  std::printf("%s: %s\n", name.c_str(), matches.message());
  EXPECT_TRUE(matches) << path;
}
