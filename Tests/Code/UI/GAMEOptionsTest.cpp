// The options and video settings screens' procedures as the UI runs them: volume steps clamped and heard through
// the audio categories, the switches and their labels, the version text and the ultra gib row, back saving once;
// the video settings' stored mode found in the resolution list, the steps and their wrapping, Apply storing and
// saving, back storing nothing, and resolution lists too short to step through.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"
#include "Tests/Code/UI/GAMEScreensTestSupport.h"
#include "Tools/LangC/LangCompiler.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

class OptionsScreens : public ::testing::Test, protected CFrontEndUI {
 protected:
  void SetUp() override {
    startUI();
    ClProfileMgr::resetToDefaults(mpr_pPlayerProfile);
    KvTestSaveHooks().reset();
    const std::vector<LangEntry> entries = {{"options_value", u"<%s>", 1}};
    const std::vector<std::uint8_t> table = LangBuildTable(entries);
    u8* pImage = static_cast<u8*>(KvAlignedAlloc(table.size(), 16));
    std::memcpy(pImage, table.data(), table.size());
    ASSERT_EQ(KvLangID::loadStringTableFromMemory("Options", pImage, static_cast<u32>(table.size())), 1);
    g_videoSettings = SVideoSettingsState();
  }
  void TearDown() override {
    KvLangID::unloadAllStringTables();
    if (ClGraphics::mp_resolutionList.isInitialized()) ClGraphics::mp_resolutionList.terminate();
    KvTestSaveHooks().reset();
    stopUI();
  }

  static SPlayerProfileData& data() { return *g_pPlayerProfileData; }
  static std::string text(const char* pWidget) {
    std::string narrow;
    if (!W(pWidget)->hasUnicodeString("dynamicUnicodeText")) return narrow;
    for (const wchar16* p = W(pWidget)->getUnicodeString("dynamicUnicodeText"); *p != 0; ++p) {
      narrow.push_back(static_cast<char>(*p));
    }
    return narrow;
  }
  static u32 label(const char* pWidget) { return W(pWidget)->getID("localizedID"); }
  static void setModes(const std::vector<DisplayMode>& modes) {
    ClGraphics::mp_resolutionList.initialize(8);
    for (const DisplayMode& mode : modes) ClGraphics::mp_resolutionList.append(mode);
  }
  // Opens a screen from the main menu as a player does.
  void open(const char* pScreen, const char* pInit) {
    ClUI::switchTo("TopLevelSwitcher", "MainMenu");
    m_pads.frame();
    ClUI::switchTo("TopLevelSwitcher", pScreen);
    m_pads.frame();
    run(pInit);
  }
  void back(const char* pTick, const char* pScreen) {
    m_pads.frame({{gc_iUI_ACTION_BACK, 1.0f}});
    run(pTick, nullptr, W(pScreen));
  }

};

const std::vector<DisplayMode> gc_MODES = {
    {1920, 1080, 60, 22, 22, 32, 4}, {1600, 900, 60, 22, 22, 32, 4}, {1280, 720, 60, 22, 22, 32, 4},
    {1280, 720, 75, 22, 22, 32, 4}, {1280, 720, 60, 22, 22, 32, 4}, {800, 600, 60, 22, 22, 32, 1}};

TEST_F(OptionsScreens, VolumeStepsClampAndAreHeardAtOnce) {
  struct SCase {
    const char* pProcedure;
    i32 SPlayerProfileData::*pField;
    const char* pWidget;
    i32 iFrom;
    const char* pParam;
    i32 iTo;
  };
  const SCase aCases[] = {
      {"systemOptionsMusicVolume", &SPlayerProfileData::m_iMusicVolume, "OptionsMusicVolumeValue", 0, "dec", 0},
      {"systemOptionsMusicVolume", &SPlayerProfileData::m_iMusicVolume, "OptionsMusicVolumeValue", 100, "inc", 100},
      {"systemOptionsSoundEffectVolume", &SPlayerProfileData::m_iSoundEffectVolume, "OptionsSoundEffectVolumeValue",
       80, "inc", 90},
      {"systemOptionsMasterVolume", &SPlayerProfileData::m_iMasterVolume, "OptionsMasterVolumeValue", 50, "down", 40},
      {"systemOptionsMasterVolume", &SPlayerProfileData::m_iMasterVolume, "OptionsMasterVolumeValue", 5, "dec", 0},
  };
  for (const SCase& c : aCases) {
    data().*c.pField = c.iFrom;
    CTestCall call = CTestCall::string(c.pParam);
    run(c.pProcedure, call.get());
    EXPECT_EQ(data().*c.pField, c.iTo) << c.pProcedure << " " << c.iFrom << " " << c.pParam;
    EXPECT_EQ(text(c.pWidget), "<" + std::to_string(c.iTo) + ">");
    EXPECT_FLOAT_EQ(ClAudioManager::getCategory(E_AUDIO_CATEGORY_MASTER).m_fVolume, data().m_iMasterVolume * 0.01f);
    EXPECT_FLOAT_EQ(ClAudioManager::getCategory(E_AUDIO_CATEGORY_MUSIC).m_fVolume, data().m_iMusicVolume * 0.01f);
    for (int i : {E_AUDIO_CATEGORY_EFFECTS, E_AUDIO_CATEGORY_VOICE}) {
      EXPECT_FLOAT_EQ(ClAudioManager::getCategory(i).m_fVolume, data().m_iSoundEffectVolume * 0.01f) << i;
    }
    EXPECT_FLOAT_EQ(splashMovieVolume(), data().m_iMasterVolume * 0.01f) << "the splash movies' volume";
  }
  CTestCall up = CTestCall::string("inc");
  data().m_iMusicVolume = 80;
  for (int i = 0; i < 2; ++i) run("systemOptionsMusicVolume", up.get());
  EXPECT_EQ(data().m_iMusicVolume, 100) << "80 stepped up twice";
}

TEST_F(OptionsScreens, SwitchesFlipAndRelabel) {
  const std::pair<const char*, i32 SPlayerProfileData::*> aFlags[] = {
      {"CrtEffect", &SPlayerProfileData::m_bCRTEffect}, {"ShowCrosshair", &SPlayerProfileData::m_bShowCrosshair},
      {"UltraGib", &SPlayerProfileData::m_bUltraGib}, {"Slomo", &SPlayerProfileData::m_bSlowMotion}};
  for (const auto& [pName, pField] : aFlags) {
    const std::string widget = std::string("Options") + pName + "Value";
    data().*pField = 7;
    run(("systemOptions" + std::string(pName)).c_str());
    EXPECT_EQ(data().*pField, 0) << pName;
    EXPECT_EQ(label(widget.c_str()), KvStrHash("options_off"));
    run(("systemOptions" + std::string(pName)).c_str());
    EXPECT_EQ(data().*pField, 1) << pName;
    EXPECT_EQ(label(widget.c_str()), KvStrHash("options_on"));
  }
  run("systemOptionsCrtEffect");
  EXPECT_EQ(g_bCRTEffectOption, 0u) << "the frame composition follows the CRT effect";
  run("systemOptionsCrtEffect");
  EXPECT_EQ(g_bCRTEffectOption, 1u);
}

TEST_F(OptionsScreens, OpeningShowsTheProfileAndHidesALockedUltraGib) {
  for (i32 bUnlocked : {0, 1}) {
    data().m_bUltraGibOptionUnlocked = bUnlocked;
    data().m_iSoundEffectVolume = 30;
    data().m_bShowCrosshair = 0;
    open("Options", "systemInitializeOptionsMenu");
    EXPECT_EQ(text("OptionsSoundEffectVolumeValue"), "<30>");
    EXPECT_EQ(text("OptionsMasterVolumeValue"), "<80>");
    EXPECT_EQ(label("OptionsShowCrosshairValue"), KvStrHash("options_off"));
    EXPECT_STREQ(W("OptionsVersionNumber")->getString("dynamicText"), "v1.0.4.534 [Steam]");
    EXPECT_EQ(W("OptionsUltraGib")->mp_bVisible, static_cast<u32>(bUnlocked));
    EXPECT_EQ(W("OptionsUltraGibValue")->mp_bVisible, static_cast<u32>(bUnlocked));
    EXPECT_EQ(W("OptionsVideoSettings")->mp_bVisible, 1u);
  }
}

// Back saves once, lowers the flag that opened the screen and goes back.
TEST_F(OptionsScreens, BackSavesOnceAndLeaves) {
  open("Options", "systemInitializeOptionsMenu");
  GAMESetRootValue("_options_mainmenu", 1);
  GAMESetRootValue("_options_pause", 1);
  m_pads.frame();
  run("systemOptionsTick", nullptr, W("Options"));
  EXPECT_EQ(KvTestSaveHooks().m_iSaves, 0) << "no back, no save";
  back("systemOptionsTick", "Options");
  EXPECT_EQ(KvTestSaveHooks().m_iSaves, 1);
  EXPECT_EQ(lastSwitch(), W("MainMenu"));
  EXPECT_EQ(GAMEGetRootValue("_options_mainmenu", -1), 0);
  EXPECT_EQ(GAMEGetRootValue("_options_pause", -1), 1) << "only the first raised flag goes down";
}

// The stored mode as the last full match; without one (the default -1 x -1, or a mode not listed) the size the game
// runs at, so Apply keeps it; entry 1 when that is not listed either.
TEST_F(OptionsScreens, VideoSettingsFindTheStoredModeAsTheLastFullMatch) {
  setModes(gc_MODES);
  const f32 afScreen[2] = {ClGraphics::mp_fScreenWidth, ClGraphics::mp_fScreenHeight};
  struct SCase {
    i32 iWidth, iHeight, iRefresh;
    f32 fRunningWidth, fRunningHeight;
    i32 iIndex;
  };
  for (const SCase& c : {SCase{-1, -1, -1, 1024, 768, 1}, SCase{-1, -1, -1, 800, 600, 5},
                         SCase{-1, -1, -1, 1280, 720, 4}, SCase{1280, 720, 60, 800, 600, 4},
                         SCase{1280, 720, 75, 1280, 720, 3}, SCase{1280, 720, 50, 1024, 768, 1},
                         SCase{1280, 720, 50, 1920, 1080, 0}, SCase{1920, 1080, 60, 800, 600, 0}}) {
    data().m_iDisplayWidth = c.iWidth;
    data().m_iDisplayHeight = c.iHeight;
    data().m_iDisplayRefreshRate = c.iRefresh;
    ClGraphics::mp_fScreenWidth = c.fRunningWidth;
    ClGraphics::mp_fScreenHeight = c.fRunningHeight;
    open("VideoSettings", "systemInitializeVideoSettingsMenu");
    EXPECT_EQ(g_videoSettings.m_iResolutionIndex, c.iIndex)
        << c.iWidth << "x" << c.iHeight << "@" << c.iRefresh << " running at " << c.fRunningWidth;
  }
  ClGraphics::mp_fScreenWidth = afScreen[0];
  ClGraphics::mp_fScreenHeight = afScreen[1];
  EXPECT_EQ(text("VideoSettingsResolutionValue"), "<<1920x1080@60hz>>");
  for (const auto& [iMode, pLabel] : {std::pair{2, "video_settings_window_mode_windowed"},
                                      std::pair{1, "video_settings_window_mode_windowed_fullscreen"},
                                      std::pair{0, "video_settings_window_mode_fullscreen"}}) {
    data().m_iWindowMode = iMode;
    data().m_bVSync = iMode == 1 ? 0 : 1;
    open("VideoSettings", "systemInitializeVideoSettingsMenu");
    EXPECT_EQ(label("VideoSettingsWindowModeValue"), KvStrHash(pLabel));
    EXPECT_EQ(label("VideoSettingsVSyncValue"), KvStrHash(iMode == 1 ? "options_off" : "options_on"));
  }
}

TEST_F(OptionsScreens, VideoSettingsStepAndWrap) {
  setModes(gc_MODES);
  open("VideoSettings", "systemInitializeVideoSettingsMenu");
  CTestCall next = CTestCall::string("dec");
  CTestCall previous = CTestCall::string("inc");
  g_videoSettings.m_iResolutionIndex = 5;
  run("systemVideoSettingsResolution", next.get());
  EXPECT_EQ(g_videoSettings.m_iResolutionIndex, 0) << "dec from the last entry";
  run("systemVideoSettingsResolution", previous.get());
  EXPECT_EQ(g_videoSettings.m_iResolutionIndex, 5);
  EXPECT_EQ(text("VideoSettingsResolutionValue"), "<<800x600@60hz>>");
  // Window mode: windowed full screen and full screen go to windowed, windowed to full screen.
  for (const auto& [iFrom, iTo] : {std::pair{1, 2}, std::pair{2, 0}, std::pair{0, 2}}) {
    g_videoSettings.m_iWindowMode = iFrom;
    run("systemVideoSettingsWindowMode");
    EXPECT_EQ(g_videoSettings.m_iWindowMode, iTo);
  }
  run("systemVideoSettingsFieldOfView", next.get());
  EXPECT_EQ(label("VideoSettingsFieldOfViewValue"), KvStrHash("field_of_view_option_5")) << "1 down wraps to 5";
  for (int i = 0; i < 10; ++i) run("systemVideoSettingsAntialiasing", previous.get());
  EXPECT_EQ(label("VideoSettingsAntialiasingValue"), KvStrHash("antialiasing_option_11"));
  run("systemVideoSettingsAntialiasing", previous.get());
  EXPECT_EQ(label("VideoSettingsAntialiasingValue"), KvStrHash("antialiasing_option_1")) << "11 up wraps to 1";
}

// Back keeps the profile as it was and re-opening shows it; Apply stores the choice and saves once.
TEST_F(OptionsScreens, VideoSettingsBackStoresNothingAndApplyStores) {
  setModes(gc_MODES);
  const SPlayerProfile before = *mpr_pPlayerProfile;
  open("VideoSettings", "systemInitializeVideoSettingsMenu");
  CTestCall next = CTestCall::string("dec");
  run("systemVideoSettingsResolution", next.get());
  run("systemVideoSettingsWindowMode");
  run("systemVideoSettingsVSync");
  back("systemVideoSettingsTick", "VideoSettings");
  EXPECT_EQ(lastSwitch(), W("MainMenu"));
  EXPECT_EQ(std::memcmp(&before, mpr_pPlayerProfile, sizeof(before)), 0);
  EXPECT_EQ(KvTestSaveHooks().m_iSaves, 0);
  m_pads.release();
  open("VideoSettings", "systemInitializeVideoSettingsMenu");
  EXPECT_EQ(g_videoSettings.m_iResolutionIndex, 1);
  EXPECT_EQ(label("VideoSettingsWindowModeValue"), KvStrHash("video_settings_window_mode_windowed"));
  run("systemVideoSettingsResolution", next.get());
  run("systemVideoSettingsWindowMode");
  run("systemVideoSettingsVSync");
  run("systemVideoSettingsApply");
  EXPECT_EQ(KvTestSaveHooks().m_iSaves, 1);
  EXPECT_EQ(lastSwitch(), W("MainMenu"));
  EXPECT_EQ(data().m_iDisplayWidth, 1280);
  EXPECT_EQ(data().m_iDisplayHeight, 720);
  EXPECT_EQ(data().m_iDisplayRefreshRate, 60);
  EXPECT_EQ(data().m_iWindowMode, 0);
  EXPECT_EQ(data().m_bVSync, 0);
}

// An empty list shows no resolution, steps nowhere and Apply keeps the stored size; one entry is the only choice.
TEST_F(OptionsScreens, ShortResolutionListsStaySafe) {
  data().m_iDisplayWidth = 1024;
  data().m_iDisplayHeight = 768;
  data().m_iDisplayRefreshRate = 70;
  CTestCall next = CTestCall::string("dec");
  CTestCall previous = CTestCall::string("inc");
  for (const std::vector<DisplayMode>& modes : {std::vector<DisplayMode>{}, std::vector<DisplayMode>{gc_MODES[2]}}) {
    setModes(modes);
    open("VideoSettings", "systemInitializeVideoSettingsMenu");
    run("systemVideoSettingsResolution", next.get());
    run("systemVideoSettingsResolution", previous.get());
    EXPECT_EQ(text("VideoSettingsResolutionValue"), modes.empty() ? "" : "<<1280x720@60hz>>");
    run("systemVideoSettingsApply");
    EXPECT_EQ(data().m_iDisplayWidth, modes.empty() ? 1024 : 1280);
    EXPECT_EQ(data().m_iDisplayRefreshRate, modes.empty() ? 70 : 60);
    ClGraphics::mp_resolutionList.terminate();
  }
  open("VideoSettings", "systemInitializeVideoSettingsMenu");
  run("systemVideoSettingsResolution", next.get());
  EXPECT_EQ(text("VideoSettingsResolutionValue"), "") << "no list made at all";
}

}  // namespace
