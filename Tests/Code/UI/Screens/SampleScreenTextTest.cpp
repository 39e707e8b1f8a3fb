// The main screen set's texts in the language chosen: its string table and font family loaded as the game loads
// them, the main menu's description and the equipment's item names drawn from the table (one glyph and one shadow
// per visible character) and the version text from its 8-bit text, the build number the screen writes at load.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Code/UI/GAMEFontFamily.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Corvane/UI/ClWidget.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

// The groups the screen's texts need. The gallery's flip-book widgets need the flip books the game loads before
// the screens, which this test does not load, so the flip-book group stays out.
class CGameScreenHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerSystemUIFunctions();
    registerImagesUIFunctions();
    registerTextUIFunctions();
  }
};

class SampleScreenText : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (HasFatalFailure()) return;
    restartUIWith(&m_hooks);
    fullCanvas(432.0f, {216});
    const auto copy = [this](const char* pFrom, const std::string& to) {
      std::filesystem::create_directories(m_root + "/" + to);
      std::filesystem::copy(pFrom, m_root + "/" + to,
                            std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
    };
    copy(KV_CONTENT_UI_DIR, "");
    copy(KV_CONTENT_STRINGS_DIR, "Lang");
    copy(KV_CONTENT_FONTS_DIR, "");
    KvLangID::initialize();
    ClFontFamilyMgr::initialiseFamilyPool();
    ClFontFamilyMgr::initialiseFontPool();
  }
  void TearDown() override {
    ClUI::terminate();
    KvLangID::unloadAllStringTables();
    ClFontFamilyMgr::terminate();
    KvLangID::setLanguage(0, "./");
    CanvasTest::TearDown();
  }

  // The sprites a widget of the main set queues in a language.
  static i32 spritesOf(const char* pWidget) {
    Cl2d::clearSprites();
    ClUI::getWidget(pWidget)->render();
    const i32 iCount = Cl2d::getNumSprites();
    Cl2d::clearParentWindows();
    return iCount;
  }

  CGameScreenHooks m_hooks;
};

i32 visible(const wchar16* puiText) {
  i32 iCount = 0;
  for (; *puiText != 0; ++puiText) iCount += *puiText != u' ' ? 1 : 0;
  return iCount;
}

TEST_F(SampleScreenText, TheDescriptionComesFromTheStringTableOfTheLanguage) {
  struct SCase {
    const char* pCode;
    const char16_t* pDescription;
  };
  for (const SCase& c : {SCase{"eng", u"Fight through the chapters, level by level, and earn stars."},
                         SCase{"fra", u"Traversez les chapitres niveau par niveau et gagnez des étoiles."},
                         SCase{"rus", u"Пройдите главы уровень за уровнем и заработайте звёзды."},
                         SCase{"pol", u"Przejdź rozdziały poziom po poziomie i zdobywaj gwiazdki."},
                         SCase{"chs", u"一关一关地闯过各章，赢得星星。"}}) {
    SCOPED_TRACE(c.pCode);
    KvLangID::setLanguage(getLangIDFromCode(c.pCode), "./");
    ASSERT_EQ(KvLangID::loadStringTable("All"), 1) << KvLangID::getLastError();
    GAMELoadFontFamily(KvLangID::getLanguage());
    ASSERT_TRUE(ClUI::loadLocalizedUIData("VOSK_UI"));
    ClUI::getWidget("TopLevelSwitcher")->setVisibleRecursively(1);
    const wchar16* puiText = KvLangID::findStringByHash(KvStrHash("mainmenu_storymode_desc"));
    ASSERT_NE(puiText, nullptr);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(puiText)), c.pDescription);
    // The description has a shadow; the version text has none.
    EXPECT_EQ(spritesOf("MainMenuModeDescription"), 2 * visible(puiText));
    EXPECT_EQ(ClUI::getWidget("MainMenuModeDescription")->mp_aColorAnimators[0].mp_uiCurrentColor, 0xFFFFFFFFu);
    // The version text is the data's text with the build number written over it at load.
    const char* pVersion = ClUI::getWidget("VersionText")->getString("dynamicText");
    EXPECT_NE(std::string(pVersion), "Version") << "the build number replaced the data's text";
    std::u16string version;
    for (const char* p = pVersion; *p != '\0'; ++p) version += static_cast<char16_t>(*p);
    EXPECT_EQ(spritesOf("VersionText"), visible(reinterpret_cast<const wchar16*>(version.c_str())));
    // The equipment's items are named under their pictures in every language, in glyphs the language's font has
    // (each with its shadow).
    for (const char* pItem : {"WCrossbow", "WWeed", "WShirtcannon", "MBomb1", "MBomb2", "MBomb3"}) {
      const std::string id = std::string("chooseequip_item_") + pItem;
      const wchar16* puiName = KvLangID::findStringByHash(KvStrHash(id.c_str()));
      ASSERT_NE(puiName, nullptr) << id;
      ClUI::getWidget("ChooseEquipementWeapon2Name")->setLocalizedID(id.c_str());
      EXPECT_EQ(spritesOf("ChooseEquipementWeapon2Name"), 2 * visible(puiName)) << id;
    }
    ClUI::terminate();
    KvLangID::unloadAllStringTables();
    ClFontFamilyMgr::terminate();
    ClUI::initialise();
  }
}

}  // namespace
