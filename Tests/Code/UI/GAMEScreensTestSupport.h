// The front-end screens as the game registers their procedures: a small screen set holding every screen and
// widget the procedures name, the game's full registration, a fresh profile, development settings, and pad
// input of the test's own (UIPadInput.h). Procedures run through the registry by name, as the UI data calls them.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEUI_Options.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Code/UI/GAMEUIRegistration.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Corvane/Development/ClDevINI.h"
#include "Tests/Corvane/UI/UIPadInput.h"
#include "Tests/Corvane/UI/UITestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

// A call record with INT or STRING parameters, laid out as the UI data lays them out.
class CTestCall {
 public:
  static CTestCall ints(std::initializer_list<i32> values) {
    CTestCall call;
    for (i32 iValue : values) {
      WidgetEventProcedureCallData& data = call.next(8);
      data.mp_eType = E_ESCP_TYPE_INT;
      data.mp_iValue = iValue;
    }
    return call;
  }
  static CTestCall string(const char* pText) {
    CTestCall call;
    const size_t uiLength = std::strlen(pText) + 1;
    WidgetEventProcedureCallData& data = call.next(offsetof(WidgetEventProcedureCallData, mp_acString) + uiLength);
    data.mp_eType = E_ESCP_TYPE_STRING;
    std::memcpy(reinterpret_cast<char*>(&data) + offsetof(WidgetEventProcedureCallData, mp_acString), pText, uiLength);
    return call;
  }
  WidgetEventProcedureCall* get() {
    for (i32 i = 0; i < m_iCount; ++i) {
      m_apData[i] = reinterpret_cast<WidgetEventProcedureCallData*>(m_aBytes + m_auiOffsets[i]);
    }
    m_call = {m_apData, m_iCount, 0};
    return &m_call;
  }

 private:
  WidgetEventProcedureCallData& next(size_t uiSize) {
    m_auiOffsets[m_iCount++] = m_uiUsed;
    WidgetEventProcedureCallData& data = *reinterpret_cast<WidgetEventProcedureCallData*>(m_aBytes + m_uiUsed);
    m_uiUsed += (uiSize + 7) / 8 * 8;
    return data;
  }
  alignas(8) u8 m_aBytes[256] = {};
  size_t m_auiOffsets[4] = {};
  size_t m_uiUsed = 0;
  WidgetEventProcedureCallData* m_apData[4] = {};
  i32 m_iCount = 0;
  WidgetEventProcedureCall m_call = {};
};

// Every screen on the top-level switcher, with the widgets the procedures look up.
inline std::string KvTestFrontEndScreens() {
  std::string pickChapter;
  for (int c = 1; c <= 3; ++c) {
    for (int l = 1; l <= 3; ++l) {
      pickChapter += R"({"name": "PickChapterChapter)" + std::to_string(c) + "Level" + std::to_string(l) + R"("},)";
    }
  }
  std::string options = R"({"name": "OptionsVersionNumber"}, {"name": "OptionsVideoSettings"})";
  for (const char* pRow : {"MusicVolume", "SoundEffectVolume", "MasterVolume", "CrtEffect", "ShowCrosshair",
                           "UltraGib", "Slomo"}) {
    options += std::string(R"(, {"name": "Options)") + pRow + R"(Value"})";
  }
  options += R"(, {"name": "OptionsUltraGib"})";
  std::string video = R"({"name": "VideoSettingsResolutionValue"})";
  for (const char* pRow : {"WindowMode", "VSync", "FieldOfView", "Antialiasing", "ShaderModel"}) {
    video += std::string(R"(, {"name": "VideoSettings)") + pRow + R"(Value"})";
  }
  return R"({"root": {"name": "TopLevelSwitcher", "children": [
    {"name": "TitleScreen"}, {"name": "AttractLeaderboard"}, {"name": "WarningScreen"},
    {"name": "MainMenu", "children": [
      {"name": "MainMenuDebugCatModeButton", "children": [{"name": "MainMenuDebugCatModeLabel"}]},
      {"name": "MainMenuMarathonModeButton"}, {"name": "MainMenuSurvivorModeButton"},
      {"name": "MainMenuQuitModeButton"}, {"name": "MainMenuChangeProfileButton_XBoxOne"},
      {"name": "MainMenuProfileLabel_XBoxOne"}, {"name": "MainMenuModeDescription"}]},
    {"name": "Options", "children": [)" + options + R"(]},
    {"name": "VideoSettings", "children": [)" + video + R"(]},
    {"name": "Leaderboards"}, {"name": "ChooseEquipement"},
    {"name": "MarathonSelect", "children": [{"name": "MarathonSelectUltraButton"},
                                            {"name": "MarathonSelectDescription"}]},
    {"name": "SurvivorSelect", "children": [{"name": "SurvivorSelectDescription"}]},
    {"name": "PickChapter", "children": [)" + pickChapter + R"({"name": "PickChapterModeDesc"}]},
    {"name": "Credits", "children": [{"name": "CreditsImage", "properties": {"widgetLayout":
      {"layout": {"screenAnchor": 0, "x": 0.0, "y": 0.0, "widgetAnchor": 0}}}}]}],
    "switched": ["TitleScreen", "AttractLeaderboard", "WarningScreen", "MainMenu", "Options", "VideoSettings",
                 "Leaderboards", "ChooseEquipement", "MarathonSelect", "SurvivorSelect", "PickChapter", "Credits"]}})";
}

// The game's UI with the screens loaded; input, settings and profile of the test's own.
class CFrontEndUI {
 public:
  void startUI(const std::string& screens = KvTestFrontEndScreens()) {
    KvTestSetUIHooks(&g_GAMEUIHooks);
    ClUI::initialise();
    ClProfileMgr::initialize();
    m_bOwnSettings = !ClDevINI::mp_bInitialized;
    if (m_bOwnSettings) ClDevINI::initialize();
    m_pads.start();
    SKuiScreenSet set;
    std::string error;
    ASSERT_TRUE(KuiParseDescription(screens, "screens.json", &set, &error)) << error;
    const std::vector<uint8_t> image = KuiWriteImage(set);
    ASSERT_TRUE(ClUI::loadUIDataFromImage("Screens", image.data(), static_cast<u32>(image.size())));
    for (SClockFrame& clock : ClClock::m_aClockFrames) {
      clock = SClockFrame();
    }
    g_eCurrentGameMode = E_GAME_MODE_FRONTEND;
    g_bReturnToFrontEnd = 0;
    g_bQuitGame = 0;
    g_iSelectedGameType = 0;
    g_iLeaderboardIndex = 0;
    g_gameModeAction.m_bQuitToMenu = 0;
  }
  void stopUI() {
    m_pads.stop();
    if (m_bOwnSettings) ClDevINI::terminate();
    ClProfileMgr::terminate();
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    for (SClockFrame& clock : ClClock::m_aClockFrames) {
      clock = SClockFrame();
    }
    g_eCurrentGameMode = E_GAME_MODE_NONE;
    g_bReturnToFrontEnd = 0;
    g_bQuitGame = 0;
  }

  // Runs a registered procedure as the UI data would.
  static void run(const char* pName, WidgetEventProcedureCall* pCall = nullptr, ClWidget* pWidget = nullptr) {
    WidgetEventProcedure pfnProcedure = ClUIEventSystemFunctions::findFunction(KvStrHash(pName));
    ASSERT_NE(pfnProcedure, nullptr) << pName;
    pfnProcedure(pWidget, pCall);
  }
  // The screen the top-level switcher was last switched to.
  static ClWidget* lastSwitch() { return ClUI::getSwitchHistory(0); }
  static ClWidget* W(const char* pName) { return ClUI::getWidget(pName); }

  CUIPadInput m_pads;
  bool m_bOwnSettings = false;
};
