// The front end's screen procedures driven as the UI runs them: the attract cycle on the gameplay clock and its
// background, press start on any pad, the prompt's blink, the main menu's looks and keys, the sub-menus' game
// types and leaderboard boards, pick chapter, the credits' scrolling, the pre-main-menu wait, quit and the error
// dialog.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include "Code/Objects/Backgrounds.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/UI/KvUILayout.h"
#include "Tests/Code/UI/GAMEScreensTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tools/kdsc/KdsSource.h"

namespace {

class FrontEndScreens : public ::testing::Test, protected CFrontEndUI {
 protected:
  void SetUp() override { startUI(); }
  void TearDown() override { stopUI(); }

  static void setGameplayFrame(f32 fDT) { ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = fDT; }
  static void setSystemFrame(f32 fDT) { ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = fDT; }
  // One input frame with the actions held on the hardware pad, then the procedure.
  void press(const char* pProcedure, const std::map<i32, f32>& actions, u32 uiPad = 0) {
    m_pads.frame(actions, uiPad);
    run(pProcedure);
  }
  // A press that reaches the procedure of a screen on its way out. The test screens' transitions end at once, so
  // the screen is put back in that state after the input frame's UI update has finished the switch.
  void pressWhileGoingOut(const char* pProcedure, const char* pScreen, i32 iAction) {
    m_pads.frame({{iAction, 1.0f}}, 0);
    setSwitchState(W(pScreen), E_SWITCH_STATE_OUT);
    run(pProcedure, nullptr, W(pScreen));
  }
  // A screen of the top-level switcher put in a switch state.
  static void setSwitchState(const ClWidget* pScreen, u32 uiState) {
    ClWidget* pTop = W("TopLevelSwitcher");
    for (u32 i = 0; i < pTop->mp_SwitchedChildren.getSize(); ++i) {
      if (pTop->mp_SwitchedChildren[i].mp_pChild == pScreen) pTop->mp_SwitchedChildren[i].mp_uiState = uiState;
    }
  }
  static f32 creditsY() { return KvLayoutPlacement(W("CreditsImage")->getLayout("widgetLayout")).mp_fY; }
};

// The attract loop over a "Backgrounds" script whose chapter-1 pattern has one spacer layer.
class AttractLoop : public FrontEndScreens {
 protected:
  void SetUp() override {
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    SKdsSourceNode root;
    std::string error;
    ASSERT_TRUE(KdsParseSource(R"(BackgroundPatternChapter1A = [ { Bottom_Y = 200.0, ScrollingSpeed = 1.0,
                                    Images = [ "buffer_150" ] } ]
                                  ImageAnims = {})",
                               "Backgrounds.kdt", &root, &error))
        << error;
    const std::vector<uint8_t> image = KdsWriteImage(root);
    std::filesystem::create_directories("Scripts");
    std::ofstream("Scripts/Backgrounds.kds", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    KvTestStartFileIO();
    ClDScriptMgr2::initialize();
    g_bBackgroundsLoaded = 0;
    g_fWorldCameraX = 7.0f;
    FrontEndScreens::SetUp();
  }
  void TearDown() override {
    FrontEndScreens::TearDown();
    if (g_backgroundLayers.isInitialized()) Backgrounds::release();
    g_bBackgroundsLoaded = 0;
    g_fWorldCameraX = 0.0f;
    ClDScriptMgr2::terminate();
    KvTestStopFileIO();
    std::filesystem::current_path(m_previous);
  }
  // Ticks of 0.5 s of gameplay time; the screen switched to by the last of them that switched, or null.
  ClWidget* tickScreens(int iTicks) {
    ClWidget* pBefore = lastSwitch();
    setGameplayFrame(0.5f);
    for (int i = 0; i < iTicks; ++i) {
      run("systemTickAttractLoopScreen");
    }
    return lastSwitch() != pBefore ? lastSwitch() : nullptr;
  }
  std::filesystem::path m_previous;
};

TEST_F(AttractLoop, ScreensChangeEveryFiveSecondsOfGameplayTimeInTheirOrder) {
  run("systemInitializeAttractLoopBackground");
  EXPECT_EQ(g_backgroundLayers.getCount(), 1) << "the chapter-1 pattern is loaded";
  EXPECT_EQ(g_fWorldCameraX, 0.0f);
  setSystemFrame(10.0f);
  setGameplayFrame(0.0f);
  run("systemTickAttractLoopScreen");
  EXPECT_EQ(lastSwitch(), nullptr) << "the system clock does not drive the cycle";
  for (const char* pScreen : {"AttractLeaderboard", "WarningScreen", "TitleScreen", "AttractLeaderboard"}) {
    EXPECT_EQ(tickScreens(9), nullptr) << "4.5 s before " << pScreen;
    EXPECT_EQ(tickScreens(1), W(pScreen));
  }
}

TEST_F(AttractLoop, ASecondInitialiseKeepsTheCycleAndTheBackground) {
  run("systemInitializeAttractLoopBackground");
  EXPECT_EQ(tickScreens(10), W("AttractLeaderboard"));
  EXPECT_EQ(tickScreens(4), nullptr);
  g_eCurrentGameMode = E_GAME_MODE_FRONTEND;
  setGameplayFrame(2.0f);
  run("systemTickAttractLoopBackground");
  EXPECT_EQ(g_fWorldCameraX, 100.0f) << "50 units a second in the front end";
  g_eCurrentGameMode = E_GAME_MODE_ACTION;
  run("systemTickAttractLoopBackground");
  EXPECT_EQ(g_fWorldCameraX, 100.0f) << "still in any other mode";
  run("systemInitializeAttractLoopBackground");
  EXPECT_EQ(g_fWorldCameraX, 100.0f);
  EXPECT_EQ(tickScreens(5), nullptr);
  EXPECT_EQ(tickScreens(1), W("WarningScreen")) << "the timer ran on where it stood";
}

// A start press switches away from the title while the title still ticks on its way out: neither its press nor a
// cycle step that falls due then may switch away from where the press went.
TEST_F(AttractLoop, AScreenOnItsWayOutNeitherTakesAPressNorMovesTheCycle) {
  run("systemInitializeAttractLoopBackground");
  ClWidget* pTitle = W("TitleScreen");
  ClUI::switchTo("TopLevelSwitcher", "MainMenu");
  setSwitchState(pTitle, E_SWITCH_STATE_OUT);
  setGameplayFrame(5.0f);
  run("systemTickAttractLoopScreen", nullptr, pTitle);
  EXPECT_EQ(lastSwitch(), W("MainMenu"));
  m_pads.release();
  pressWhileGoingOut("systemTickAttractLoopPressStartClick", "TitleScreen", gc_iUI_ACTION_START);
  EXPECT_EQ(lastSwitch(), W("MainMenu"));
  run("systemTickAttractLoopScreen", nullptr, W("MainMenu"));
  EXPECT_EQ(lastSwitch(), W("AttractLeaderboard")) << "a screen that is not switched keeps the cycle going";
}

// Back pressed right after an accept reaches the screen being left while it goes out: it must neither leave the
// menus nor switch away from the screen being switched to.
TEST_F(FrontEndScreens, ScreensOnTheirWayOutTakeNoBackPress) {
  for (const char* pScreen : {"MainMenu", "MarathonSelect", "SurvivorSelect", "Credits"}) {
    SCOPED_TRACE(pScreen);
    ClUI::switchTo("TopLevelSwitcher", pScreen);
    ClUI::switchTo("TopLevelSwitcher", "ChooseEquipement");
    const std::string screen = pScreen;
    const std::string procedure = screen == "Credits" ? "systemCreditsTick" : "system" + screen + "Tick";
    m_pads.release();
    pressWhileGoingOut(procedure.c_str(), pScreen, gc_iUI_ACTION_BACK);
    EXPECT_EQ(lastSwitch(), W("ChooseEquipement"));
    EXPECT_EQ(g_bReturnToFrontEnd, 0u);
  }
}

TEST_F(FrontEndScreens, StartOrAcceptNewlyPressedOnAnyPadLeavesForTheMainMenu) {
  struct SCase {
    i32 iAction;
    u32 uiPad;
    bool bHeldBefore;
    i32 iBlocked;
    bool bLeaves;
  };
  const SCase aCases[] = {
      {gc_iUI_ACTION_START, 0, false, 0, true},  {gc_iUI_ACTION_ACCEPT, 1, false, 0, true},
      {gc_iUI_ACTION_START, 2, false, 0, true},  {gc_iUI_ACTION_ACCEPT, 3, false, 0, true},
      {gc_iUI_ACTION_START, 1, true, 0, false},  {gc_iUI_ACTION_ACCEPT, 0, false, 1, false},
      {gc_iUI_ACTION_BACK, 0, false, 0, false},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(testing::Message() << "action " << c.iAction << " pad " << c.uiPad);
    ClUI::switchTo("TopLevelSwitcher", "TitleScreen");
    m_pads.release();
    m_pads.frame(c.bHeldBefore ? std::map<i32, f32>{{c.iAction, 1.0f}} : std::map<i32, f32>{}, c.uiPad);
    ClGameStateMgr::blockInput(c.iBlocked);
    press("systemTickAttractLoopPressStartClick", {{c.iAction, 1.0f}}, c.uiPad);
    ClGameStateMgr::blockInput(0);
    EXPECT_EQ(lastSwitch(), W(c.bLeaves ? "MainMenu" : "TitleScreen"));
  }
}

TEST_F(FrontEndScreens, ThePromptColourFollowsItsParametersAndTheCRTOption) {
  struct SCase {
    f64 dGameplayTotal;
    i32 iColor;
  };
  for (const SCase& c : {SCase{0.0, 22}, SCase{0.49, 22}, SCase{0.5, 11}, SCase{0.99, 11}, SCase{1.0, 22},
                         SCase{1.75, 11}, SCase{7.25, 22}}) {
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_dTotalTime = c.dGameplayTotal;
    CTestCall call = CTestCall::ints({11, 22});
    u32 uiColor = 0;
    EXPECT_TRUE(pressStartPromptColor(call.get(), &uiColor));
    EXPECT_EQ(uiColor, static_cast<u32>(c.iColor)) << c.dGameplayTotal << " s";
  }
  CTestCall one = CTestCall::ints({-16777216});
  u32 uiColor = 0;
  g_pPlayerProfileData->m_bCRTEffect = 1;
  EXPECT_TRUE(pressStartPromptColor(one.get(), &uiColor));
  EXPECT_EQ(uiColor, 0xFF000000u);
  g_pPlayerProfileData->m_bCRTEffect = 0;
  EXPECT_FALSE(pressStartPromptColor(one.get(), &uiColor)) << "one parameter draws only with the CRT effect on";
  CTestCall three = CTestCall::ints({1, 2, 3});
  EXPECT_KV_FATAL(pressStartPromptColor(three.get(), &uiColor),
                  "systemDrawPlayButton() need 1 or two parameters. 3 given!");
  EXPECT_KV_FATAL(pressStartPromptColor(nullptr, &uiColor), "0 given!");
}

TEST_F(FrontEndScreens, MainMenuButtonsLookLockedUntilTheirModeIsUnlocked) {
  for (const i32 bMarathon : {0, 1}) {
    SCOPED_TRACE(bMarathon);
    g_pPlayerProfileData->m_bMarathonUnlocked = bMarathon;
    g_pPlayerProfileData->m_bSurvivorUnlocked = 1 - bMarathon;
    run("systemMainMenuInitialize");
    const std::pair<const char*, bool> aButtons[] = {{"MainMenuMarathonModeButton", bMarathon != 0},
                                                     {"MainMenuSurvivorModeButton", bMarathon == 0}};
    for (const auto& [pButton, bEnabled] : aButtons) {
      const ClWidget* pW = W(pButton);
      EXPECT_EQ(pW->getInt("gridDisabled"), bEnabled ? 0 : 1) << pButton;
      EXPECT_EQ(pW->getID("textColor_off"), bEnabled ? 0xFFF07C36u : 0x33000000u) << pButton;
      EXPECT_EQ(pW->getID("textColor_rollover"), bEnabled ? 0xFFFFFFFFu : 0x33000000u) << pButton;
      EXPECT_EQ(pW->getID("textureColor"), bEnabled ? 0xFFF07C36u : 0x33000000u) << pButton;
      EXPECT_EQ(pW->getXY("textShadowOffset").x, bEnabled ? 1.0f : 0.0f) << pButton;
    }
  }
}

TEST_F(FrontEndScreens, MainMenuShowsTheBonusShortcutOnlyWithItsSettingAndNeverTheProfileButtons) {
  const std::pair<const char*, u32> aCases[] = {
      {"", 0}, {"DEBUG_OPTION_CAT_FPS 0\n", 0}, {"DEBUG_OPTION_CAT_FPS 0.5\n", 1}};
  for (const auto& [pSettings, bShown] : aCases) {
    SCOPED_TRACE(pSettings);
    ClDevINI::terminate();
    ClDevINI::initialize();
    ClDevINI::loadFromBuffer(pSettings, std::strlen(pSettings), "project.ini");
    W("MainMenuDebugCatModeButton")->setVisibleRecursively(1);
    W("MainMenuChangeProfileButton_XBoxOne")->setVisible(1);
    W("MainMenuQuitModeButton")->setVisible(1);
    run("systemMainMenuInitialize");
    EXPECT_EQ(W("MainMenuDebugCatModeLabel")->mp_bVisible, bShown);
    EXPECT_EQ(W("MainMenuChangeProfileButton_XBoxOne")->mp_bVisible, 0u);
    EXPECT_EQ(W("MainMenuQuitModeButton")->mp_bVisible, 1u) << "quit stays without the input tester";
    g_eNextGameMode = E_GAME_MODE_NONE;
    run("systemMainMenuDebugCatModeClick");
    EXPECT_EQ(g_eNextGameMode, bShown != 0 ? E_GAME_MODE_CATFPS : E_GAME_MODE_NONE);
    EXPECT_EQ(GAMEGetRootValue("StartGame", -1), bShown != 0 ? 1 : -1);
    EXPECT_EQ(GAMEGetRootValue("_mode_selected", -1), bShown != 0 ? 3 : -1);
  }
  g_eNextGameMode = E_GAME_MODE_NONE;
}

TEST_F(FrontEndScreens, MainMenuKeysTakeStartBeforeLeaderboardsBeforeBack) {
  struct SCase {
    std::map<i32, f32> actions;
    const char* pScreen;  // "MainMenu": no switch
    i32 iOptionsFlag;
    u32 bReturn;
  };
  const SCase aCases[] = {
      {{{gc_iUI_ACTION_START, 1.0f}, {gc_iUI_ACTION_ALT2, 1.0f}}, "Options", 1, 0},
      {{{gc_iUI_ACTION_ALT2, 1.0f}, {gc_iUI_ACTION_BACK, 1.0f}}, "Leaderboards", 0, 0},
      {{{gc_iUI_ACTION_BACK, 1.0f}}, "MainMenu", 0, 1},
      {{{gc_iUI_ACTION_ACCEPT, 1.0f}}, "MainMenu", 0, 0},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(testing::Message() << c.pScreen << " " << c.bReturn);
    ClUI::switchTo("TopLevelSwitcher", "MainMenu");
    GAMESetRootValue("_options_mainmenu", 0);
    g_bReturnToFrontEnd = 0;
    m_pads.release();
    press("systemMainMenuTick", c.actions);
    EXPECT_EQ(lastSwitch(), W(c.pScreen));
    EXPECT_EQ(GAMEGetRootValue("_options_mainmenu", 0), c.iOptionsFlag);
    EXPECT_EQ(g_bReturnToFrontEnd, c.bReturn);
  }
}

TEST_F(FrontEndScreens, ModeEntriesOpenTheirSubMenuOnlyOnceItsHarderModeIsUnlocked) {
  struct SCase {
    const char* pProcedure;
    i32 SPlayerProfileData::*pFlag;
    i32 bUnlocked;
    const char* pScreen;
    i32 iModeSelected;  // -1: not set
  };
  const SCase aCases[] = {
      {"systemMarathonSelectSwitchOrSkip", &SPlayerProfileData::m_bMarathonExtremeUnlocked, 1, "MarathonSelect", -1},
      {"systemMarathonSelectSwitchOrSkip", &SPlayerProfileData::m_bMarathonExtremeUnlocked, 0, "ChooseEquipement", 1},
      {"systemSurvivorSelectSwitchOrSkip", &SPlayerProfileData::m_bSurvivorHardcoreUnlocked, 1, "SurvivorSelect", -1},
      {"systemSurvivorSelectSwitchOrSkip", &SPlayerProfileData::m_bSurvivorHardcoreUnlocked, 0, "ChooseEquipement", 3},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(testing::Message() << c.pProcedure << " " << c.bUnlocked);
    ClUI::getRootWidget()->setInt(KvStrHash("_mode_selected"), -1);
    g_pPlayerProfileData->*c.pFlag = c.bUnlocked;
    g_iSelectedGameType = 42;
    run(c.pProcedure);
    EXPECT_EQ(lastSwitch(), W(c.pScreen));
    EXPECT_EQ(GAMEGetRootValue("_mode_selected", 0), c.iModeSelected);
    EXPECT_EQ(g_iSelectedGameType, 42) << "the chosen type stays as it was";
  }
}

TEST_F(FrontEndScreens, SubMenuEntriesChooseTheGameTypeAndTheShortcutItsBoard) {
  struct SCase {
    const char* pMenu;
    const char* pChoice;
    i32 iType;
    i32 iBoard;
  };
  const SCase aCases[] = {
      {"MarathonSelect", "normal", 1, 24},   {"MarathonSelect", "extreme", 2, 29},
      {"MarathonSelect", "ultra", 6, 30},    {"MarathonSelect", "Extreme", 6, 30},
      {"SurvivorSelect", "normal", 3, 25},   {"SurvivorSelect", "hardcore", 4, 26},
      {"SurvivorSelect", "Normal", 4, 26},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(testing::Message() << c.pMenu << " " << c.pChoice);
    const std::string menu = c.pMenu;
    const std::string prefix = menu == "MarathonSelect" ? "marathonselect_" : "survivorselect_";
    CTestCall call = CTestCall::string(c.pChoice);
    run(("system" + menu + "Selection").c_str(), call.get());
    EXPECT_EQ(g_iSelectedGameType, c.iType);
    EXPECT_EQ(W((menu + "Description").c_str())->getID("localizedID"),
              KvStrHash((prefix + c.pChoice + "_desc").c_str()));
    ClUI::switchTo("TopLevelSwitcher", c.pMenu);
    m_pads.release();
    press(("system" + menu + "Tick").c_str(), {{gc_iUI_ACTION_ALT2, 1.0f}});
    EXPECT_EQ(lastSwitch(), W("Leaderboards"));
    EXPECT_EQ(g_iLeaderboardIndex, c.iBoard);
  }
}

TEST_F(FrontEndScreens, SubMenusBlockInputTwoTicksAndLeaveBackOrForTheOptions) {
  g_pPlayerProfileData->m_bMarathonUltraUnlocked = 0;
  run("systemMarathonSelectInitialize");
  EXPECT_EQ(ClGameStateMgr::getInputBlockedFrames(), 2);
  EXPECT_EQ(W("MarathonSelectUltraButton")->getInt("gridDisabled"), 1);
  ClGameStateMgr::blockInput(0);
  run("systemSurvivorSelectInitialize");
  EXPECT_EQ(ClGameStateMgr::getInputBlockedFrames(), 2);
  ClGameStateMgr::blockInput(0);
  for (const char* pMenu : {"MarathonSelect", "SurvivorSelect"}) {
    SCOPED_TRACE(pMenu);
    const std::string tick = std::string("system") + pMenu + "Tick";
    ClUI::switchTo("TopLevelSwitcher", "MainMenu");
    ClUI::switchTo("TopLevelSwitcher", pMenu);
    m_pads.release();
    press(tick.c_str(), {{gc_iUI_ACTION_BACK, 1.0f}});
    EXPECT_EQ(lastSwitch(), W("MainMenu"));
    GAMESetRootValue("_options_mainmenu", 0);
    press(tick.c_str(), {{gc_iUI_ACTION_START, 1.0f}});
    EXPECT_EQ(lastSwitch(), W("Options"));
    EXPECT_EQ(GAMEGetRootValue("_options_mainmenu", 0), 1);
  }
}

TEST_F(FrontEndScreens, PickChapterNumbersItsEntriesEnablesTheFirstAndTellsTheMode) {
  struct SCase {
    const char* pValue;  // the root value set before, or null
    const char* pText;   // the description's text, or null when untouched
  };
  const SCase aCases[] = {{"_pickchapter_storymode", "pickchapter_modedesc_story"},
                          {"_pickchapter_truesurvivormode", "pickchapter_modedesc_truesurvivor"},
                          {nullptr, nullptr}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pValue != nullptr ? c.pValue : "none");
    W("PickChapterModeDesc")->setID(KvStrHash("localizedID"), 0);
    if (c.pValue != nullptr) GAMESetRootValue(c.pValue, 1);
    run("systemPickChapterInitialize");
    EXPECT_EQ(W("PickChapterModeDesc")->getID("localizedID"), c.pText != nullptr ? KvStrHash(c.pText) : 0u);
    if (c.pValue != nullptr) {
      EXPECT_EQ(GAMEGetRootValue(c.pValue, -1), 0) << "the value is used once";
    }
  }
  for (int iChapter = 1; iChapter <= 3; ++iChapter) {
    for (int iLevel = 1; iLevel <= 3; ++iLevel) {
      const ClWidget* pEntry = ClUI::getWidgetFormatted("PickChapterChapter%dLevel%d", iChapter, iLevel);
      EXPECT_EQ(pEntry->getInt("ChapterNumber"), iChapter);
      EXPECT_EQ(pEntry->getInt("gridDisabled"), iChapter == 1 && iLevel == 1 ? 0 : 1) << iChapter << iLevel;
    }
  }
  GAMESetRootValue("PauseGame", 1);
  run("systemPickChapterBackToMainMenuButtonClick");
  EXPECT_EQ(GAMEGetRootValue("PauseGame", -1), 0);
  EXPECT_EQ(g_gameModeAction.m_bQuitToMenu, 1u);
}

TEST_F(FrontEndScreens, CreditsScrollByHandWithinTheirBoundsThenByThemselves) {
  g_fCreditsIdleTimer = gc_fCREDITS_IDLE_SECONDS;
  setSystemFrame(0.5f);
  for (int i = 0; i < 20; ++i) press("systemCreditsTick", {{gc_iUI_ACTION_DOWN, 1.0f}});
  EXPECT_EQ(creditsY(), -2610.0f);
  for (int i = 0; i < 20; ++i) press("systemCreditsTick", {{gc_iUI_ACTION_UP, 1.0f}});
  EXPECT_EQ(creditsY(), 0.0f);
  press("systemCreditsTick", {{gc_iUI_ACTION_DOWN, 0.05f}});
  EXPECT_EQ(creditsY(), 0.0f) << "a touch below the threshold is no hold";
  for (int i = 0; i < 3; ++i) press("systemCreditsTick", {});
  EXPECT_EQ(creditsY(), 0.0f) << "three seconds from the last manual scroll's frame";
  press("systemCreditsTick", {});
  EXPECT_EQ(creditsY(), -25.0f);
  press("systemCreditsTick", {});
  EXPECT_EQ(creditsY(), -50.0f) << "50 units a second";
  for (int i = 0; i < 200; ++i) press("systemCreditsTick", {});
  EXPECT_EQ(creditsY(), -2610.0f);
}

TEST_F(FrontEndScreens, PreMainMenuWaitsTenSecondsOfSystemTime) {
  run("systemPreMainMenuInitialize");
  setGameplayFrame(100.0f);
  setSystemFrame(0.5f);
  for (int i = 0; i < 19; ++i) run("systemPreMainMenuTick");
  EXPECT_EQ(lastSwitch(), nullptr);
  run("systemPreMainMenuTick");
  EXPECT_EQ(lastSwitch(), W("MainMenu"));
}

TEST_F(FrontEndScreens, QuitRequestsTheEndAndTheErrorDialogClosesItsState) {
  run("systemQuit");
  EXPECT_EQ(g_bQuitGame, 1u);
  g_bErrorDialogActive = 1;
  ClUI::mp_pPointerExclusiveWidget = W("Options");
  run("systemErrorDialogTransitionOut");
  EXPECT_EQ(g_bErrorDialogActive, 0);
  EXPECT_EQ(ClUI::mp_pPointerExclusiveWidget, nullptr);
}

}  // namespace
