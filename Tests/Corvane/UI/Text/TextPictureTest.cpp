// Text read back from the device's back buffer against reference pictures: the sample font families as the build
// makes them, drawn through the text elements and a text-file widget on a 320 x 240 device ("FULL" at resolution
// height 432, scale 2). The references were made once by this test (GRINDLOW_WRITE_REFERENCES=1 writes them into
// Reference/ instead of comparing; look at them before keeping them).
//
// Tolerance: every channel of at least 99.5 % of the pixels within 8 levels of the reference, none further off than
// 64, and a mean absolute difference of at most 0.25 levels. Another rasteriser may round a glyph's filtered edge
// differently, but a glyph moved by one pixel changes well over 0.5 % of the pixels of a line of text by far more
// than 8 levels, and a missing or extra glyph moves the mean past the bound.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_TextFile.h"
#include "Corvane/UI/ClWidget.h"
#include "Platform/D3D9/D3D9.h"
#include "Tests/Corvane/UI/Text/TextTestSupport.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

constexpr STestPictureTolerance gc_TOLERANCE = {8, 0.995, 64, 0.25};

class TextPictureTest : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    if (HasFatalFailure()) return;
    std::filesystem::copy(KV_CONTENT_FONTS_DIR, m_root,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
    for (const char* pFamily : {"FontAcknowledge", "FontAcknowledgeRUS", "FontAcknowledgeCHS"}) {
      ClFontFamilyMgr::loadFontFamilyForHeight(pFamily, nullptr, 432);
    }
  }

  static STextDrawArgs white(u32 uiAlignment = gc_uiTEXT_ALIGN_LEFT) {
    STextDrawArgs a = args(2700, uiAlignment);
    a.mp_afShadowOffset[0] = 2.0f;
    a.mp_afShadowOffset[1] = 2.0f;
    a.mp_uiShadowColor = 0xFF802020u;
    return a;
  }

  static void text(const char* pFamily, const std::u16string& text, u32 uiSize, const STextDrawArgs& a, f32 fX,
                   f32 fY, bool bBestFit = false, f32 fMaxWidth = 0.0f, f32 fMaxHeight = 0.0f) {
    const f32 afAt[2] = {fX, fY};
    ClUI::renderTextElement({KvStrHash("FULL"), 0, KvStrHash(pFamily)}, reinterpret_cast<const wchar16*>(text.c_str()),
                            uiSize, a, bBestFit, fMaxWidth, fMaxHeight, afAt);
  }

  static STestPicture drawQueue() { return KvTestDrawUIQueue(); }
  static void expectMatchesReference(const STestPicture& picture, const std::string& name) {
    KvTestExpectReference(picture, name, gc_TOLERANCE);
  }

  // The picture has text: lit pixels, and not everywhere.
  static void expectSomeText(const STestPicture& picture) {
    size_t uLit = 0;
    for (uint32_t pixel : picture.pixels) uLit += (pixel & 0x00FFFFFFu) != 0 ? 1 : 0;
    EXPECT_GT(uLit, 50u);
    EXPECT_LT(uLit, picture.pixels.size() / 2);
  }
};

TEST_F(TextPictureTest, LatinLine) {
  text("FontAcknowledge", u"Grindlow: Œuvre à côté", 24, white(), 8.0f, 20.0f);
  const STestPicture picture = drawQueue();
  expectSomeText(picture);
  expectMatchesReference(picture, "LatinLine");
}

TEST_F(TextPictureTest, CyrillicLine) {
  text("FontAcknowledgeRUS", u"Начать игру — Выход", 24, white(), 8.0f, 20.0f);
  const STestPicture picture = drawQueue();
  expectSomeText(picture);
  expectMatchesReference(picture, "CyrillicLine");
}

TEST_F(TextPictureTest, ChineseLine) {
  text("FontAcknowledgeCHS", u"开始游戏，选项，退出！", 24, white(), 8.0f, 20.0f);
  const STestPicture picture = drawQueue();
  expectSomeText(picture);
  expectMatchesReference(picture, "ChineseLine");
}

// Three right-aligned lines against the right edge, and a long line shrunk to fit a box 140 units wide.
TEST_F(TextPictureTest, RightAlignedAndBestFitText) {
  STextDrawArgs right = white(gc_uiTEXT_ALIGN_RIGHT);
  right.mp_uiScreenFlags = gc_ui2D_ALIGN_RIGHT | gc_ui2D_ALIGN_TOP;
  right.mp_uiAnchorFlags = gc_ui2D_ALIGN_RIGHT | gc_ui2D_ALIGN_TOP;
  text("FontAcknowledge", u"Options\nMusic volume\nQuit", 16, right, 4.0f, 4.0f);
  text("FontAcknowledge", u"This sentence is shrunk until it fits its box", 36, white(), 4.0f, 70.0f, true, 140.0f,
       30.0f);
  const STestPicture picture = drawQueue();
  expectSomeText(picture);
  expectMatchesReference(picture, "RightAlignedBestFit");
}

class CTextFileHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerTextFileUIFunctions();
  }
};

// The credits the build makes, in a text-file widget four lines down, each line centred on the screen.
TEST_F(TextPictureTest, ScrolledTextFile) {
  CTextFileHooks hooks;
  ClUI::terminate();
  KvTestSetUIHooks(&hooks);
  ClUI::initialise();
  std::filesystem::create_directories(m_root + "/Text");
  std::filesystem::copy_file(std::string(KV_CONTENT_TEXT_DIR) + "/Credits.txt", m_root + "/Text/Credits.txt");
  SKuiScreenSet set;
  std::string error;
  ASSERT_TRUE(KuiParseDescription(R"({"root": {"name": "Credits", "properties": {
      "canvas": {"id": "FULL"}, "shader": {"id": "system_blend_premult"}, "textLayer": 2700,
      "fontName": {"id": "FontAcknowledge"}, "pointSize": 12, "maxWidth": 150.0, "maxHeight": 96.0,
      "maxScroll": 0.0, "textLayout": {"layout": {"screenAnchor": 1, "x": 0.0, "y": 4.0, "widgetAnchor": 1}},
      "textAlign": {"id": "C"}, "textColor": {"color": "0xFFFFE0A0"}, "textFilename": "Text/Credits.txt",
      "onRender": {"event": {"single": "systemTextFileRender"}}}}})",
                                  "credits.json", &set, &error))
      << error;
  const std::vector<uint8_t> bytes = KuiWriteImage(set);
  ASSERT_TRUE(ClUI::loadUIDataFromImage("Credits", bytes.data(), static_cast<u32>(bytes.size())));
  ClWidget* pWidget = ClUI::getWidget("Credits");
  systemTextFileTransitionIn(pWidget, nullptr);
  const STextFilePage* pPage = KvTextFilePageOf(pWidget);
  ASSERT_NE(pPage, nullptr);
  ASSERT_GT(pPage->mp_daLines.getCount(), 12);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(pPage->mp_daLines[0])), u"GRINDLOW");
  for (i32 i = 0; i < 4; ++i) systemTextFileScrollDown(pWidget, nullptr);
  Cl2d::clearSprites();
  systemTextFileRender(pWidget, nullptr);
  Cl2d::clearParentWindows();
  const STestPicture picture = drawQueue();
  systemTextFileTransitionOut(pWidget, nullptr);
  ClUI::terminate();
  KvTestSetUIHooks(&m_uiHooks);
  ClUI::initialise();
  expectSomeText(picture);
  expectMatchesReference(picture, "ScrolledTextFile");
}

}  // namespace
