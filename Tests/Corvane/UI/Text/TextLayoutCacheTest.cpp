// The laid-out text a text widget keeps from frame to frame: after each kind of change (text, colour, language,
// font, size, wrapping, alignment, canvas scale, fonts reloaded, shader) the next frame queues exactly the sprites
// of a fresh layout and reads back the same pixels, and they differ from the frame before the change.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "Corvane/Language/KvLangID.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvTextLayoutCache.h"
#include "Tests/Corvane/UI/Text/TextTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tools/kuic/KuiSource.h"

namespace {

class CCacheTextHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerTextUIFunctions();
  }
};

// A string table of the key "menu_play" (the table layout of KvLangID.h), loaded under the name given.
void loadMenuString(const char* pTable, const std::u16string& text) {
  const std::vector<u8> image = stringTable(KvStrHash("menu_play"), text);
  u8* pImage = static_cast<u8*>(KvAlignedAlloc(image.size(), 16));
  std::memcpy(pImage, image.data(), image.size());
  ASSERT_EQ(KvLangID::loadStringTableFromMemory(pTable, pImage, static_cast<u32>(image.size())), 1);
}

bool sameSprites(const std::vector<SQueuedSprite>& a, const std::vector<SQueuedSprite>& b) {
  if (a.size() != b.size()) return false;
  const auto fields = [](const SQueuedSprite& s) {
    return std::make_tuple(s.fX, s.fY, s.fWidth, s.fHeight, s.fU0, s.fV0, s.fU1, s.fV1, s.pSignature, s.uiColor,
                           s.uLayer);
  };
  for (size_t i = 0; i < a.size(); ++i) {
    if (fields(a[i]) != fields(b[i])) return false;
  }
  return true;
}

class TextLayoutCacheTest : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    if (HasFatalFailure()) return;
    restartUIWith(&m_hooks);
    loadMenuString("Menu", u"Play  Wow");
    const std::string description = R"({"root": {"name": "Screen", "children": [{"name": "Label", "properties": {
        "canvas": {"id": "FULL"}, "shader": {"id": "system_blend_premult"}, "textLayer": 200,
        "fontName": {"id": "Mono"}, "pointSize": 8, "maxWidth": 0.0, "maxHeight": 0.0, "textAlign": {"id": "L"},
        "textLayout": {"layout": {"screenAnchor": 0, "x": 2.0, "y": 3.0, "widgetAnchor": 0}},
        "textColor": {"color": "0xFF80C0FF"}, "localizedID": {"id": "menu_play"},
        "onLoad": {"event": {"calls": [{"call": "systemTextLoad"}]}},
        "onRender": {"event": {"single": "systemTextRender"}}}}]}})";
    loadScreenSet("Cache", description);
    m_pLabel = ClUI::getWidget("Label");
    ASSERT_NE(m_pLabel, nullptr);
  }
  void TearDown() override {
    KvLangID::unloadAllStringTables();
    TextTest::TearDown();
  }

  // One frame of the label: its sprites and the picture they make.
  struct SFrame {
    std::vector<SQueuedSprite> sprites;
    STestPicture picture;
  };
  SFrame frame() {
    Cl2d::clearSprites();
    m_pLabel->render();
    SFrame f{sprites(), {}};
    f.picture = KvTestDrawUIQueue();
    Cl2d::clearSprites();
    return f;
  }
  // The same frame laid out afresh: the kept layout dropped first.
  SFrame freshFrame() {
    KvFreeTextLayoutCache(m_pLabel->mp_pTextLayoutCache);
    m_pLabel->mp_pTextLayoutCache = nullptr;
    return frame();
  }

  CCacheTextHooks m_hooks;
  ClWidget* m_pLabel = nullptr;
};

TEST_F(TextLayoutCacheTest, EachChangeShowsInTheNextFrameAsAFreshLayoutDrawsIt) {
  Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(KvStrHash("FULL"));
  const f32 fScale = pCanvas->mp_fScale;
  const f32 fHeight = pCanvas->mp_fResolutionHeight;
  struct SCase {
    const char* pWhat;
    const char* pText;  // the dynamic text before the change ("": the localized one)
    std::function<void(ClWidget*)> change;
  };
  const std::vector<SCase> cases = {
      {"dynamic text", "Wo Wo", [](ClWidget* p) { p->setString(KvStrHash("dynamicText"), "Options"); }},
      {"colour", "Wo Wo", [](ClWidget* p) { p->setTextAndTextureColor(0xFF20FF40u); }},
      {"language", "",
       [](ClWidget*) {
         KvLangID::unloadAllStringTables();
         loadMenuString("Menu", u"Jouer");
       }},
      {"point size (another font)", "Wo Wo", [](ClWidget* p) { p->setInt(KvStrHash("pointSize"), 16); }},
      {"font family (without the default glyph)", "Wo\xE9",
       [](ClWidget* p) { p->setID(KvStrHash("fontName"), KvStrHash("Bare")); }},
      {"wrapping width", "Wo Wo", [](ClWidget* p) { p->setFloat(KvStrHash("maxWidth"), 8.0f); }},
      {"alignment", "Wo Wo\\nW", [](ClWidget* p) { p->setID(KvStrHash("textAlign"), KvStrHash("R")); }},
      {"canvas scale", "Wo Wo",
       [pCanvas](ClWidget*) {
         pCanvas->mp_fScale = 1.0f;
         pCanvas->mp_fResolutionHeight = 216.0f;
       }},
      {"fonts reloaded with other sizes", "Wo Wo",
       [this](ClWidget*) {
         ClFontFamilyMgr::terminate();
         writeFamily("Mono", {12, 16, 20}, true);
         ClFontFamilyMgr::loadFontFamilyForHeight("Mono", nullptr, 432);
       }},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pWhat);
    m_pLabel->setString(KvStrHash("dynamicText"), c.pText);
    m_pLabel->setInt(KvStrHash("pointSize"), 8);
    m_pLabel->setID(KvStrHash("fontName"), KvStrHash("Mono"));
    m_pLabel->setFloat(KvStrHash("maxWidth"), 0.0f);
    m_pLabel->setID(KvStrHash("textAlign"), KvStrHash("L"));
    m_pLabel->setTextAndTextureColor(0xFF80C0FFu);
    frame();
    const SFrame before = frame();  // drawn from the kept layout
    ASSERT_FALSE(before.sprites.empty());
    c.change(m_pLabel);
    const SFrame after = frame();
    const SFrame fresh = freshFrame();
    EXPECT_TRUE(sameSprites(after.sprites, fresh.sprites));
    EXPECT_TRUE(KvTestPictureMatches(after.picture, fresh.picture, {}));
    EXPECT_FALSE(sameSprites(after.sprites, before.sprites));
    EXPECT_FALSE(KvTestPictureMatches(after.picture, before.picture, {}));
    pCanvas->mp_fScale = fScale;
    pCanvas->mp_fResolutionHeight = fHeight;
  }
}

}  // namespace
