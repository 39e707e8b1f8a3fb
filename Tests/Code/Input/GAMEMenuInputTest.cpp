// The sample main screen set driven through the window and input stand-ins: keys, a virtual pad's d-pad and the
// mouse go through the input manager and the game's menu mapper into the UI, which moves focus down the stage
// select's levels, clicks the focused button on Return and the button under the pointer on a click.
#include <fstream>
#include <iterator>
#include <vector>

#include "Code/Input/GAMEInputMappers.h"
#include "Corvane/Input/ClInputMapperBase.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Buttons.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Tests/Corvane/Input/InputTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

// The procedure groups the menus' buttons and grids use; the images and animations of the screen set stay idle.
class CMenuHooks : public ClTestUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerSystemUIFunctions();
    registerButtonsUIFunctions();
    registerGridUIFunctions();
  }
};

class GameMenuInput : public InputTest {
 protected:
  void SetUp() override {
    KvTestInputHooks().m_createMappers = &createGameInputMappers;
    InputTest::SetUp();
    if (HasFatalFailure()) return;
    KvTestSetUIHooks(&m_hooks);
    ClUI::initialise();
    std::ifstream file(std::string(KV_UI_CONTENT_DIR) + "/Lang/eng/UI/VOSK_UI.kui", std::ios::binary);
    const std::vector<u8> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(ClUI::loadUIDataFromImage("VOSK_UI", bytes.data(), static_cast<u32>(bytes.size())));
  }
  void TearDown() override {
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    InputTest::TearDown();
    KvTestInputHooks().reset();
  }

  // The game's frame as far as the menus go: input, the menu mapper of player 0, the UI (50 ms of system clock).
  static void frame() {
    ClInputManager::tick();
    ClInputManager::getMenusMapper()->process(0);
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.05f;
    ClUI::update();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
  }

  CMenuHooks m_hooks;

  static ClWidget* W(const char* pName) { return ClUI::getWidget(pName); }
  static ClWidget* focused() { return ClUI::getFocusedWidget(4); }

  // Switches the top level to the screen and runs frames until the button has faded in and takes clicks again.
  static void showScreen(const char* pScreen, const char* pButton) {
    W("TopLevelSwitcher")->switchTo(W(pScreen));
    for (int i = 0; i < 40 && (W(pButton)->mp_uiInputMask & gc_uiINPUT_CLICK) == 0; ++i) frame();
    ASSERT_NE(W(pButton)->mp_uiInputMask & gc_uiINPUT_CLICK, 0u) << pButton;
  }

  // Whether the switcher's active child is the one named, after frames that let the switch finish.
  static bool switchedTo(const char* pSwitcher, const char* pChild) {
    for (int i = 0; i < 20 && W(pSwitcher)->getActiveSwitchedChild() != W(pChild); ++i) frame();
    return W(pSwitcher)->getActiveSwitchedChild() == W(pChild);
  }
};

TEST_F(GameMenuInput, KeysAndTheDpadMoveAcrossTheStageGrid) {
  showScreen("StageSelect", "StageSelectLevelName1");
  ClUI::setFocus(W("StageSelectLevelName1"), 4);
  frame();
  CVirtualPad& pad = attach(0x1201);
  frame();
  struct SStep {
    SDL_Scancode eKey;                  // SDL_SCANCODE_UNKNOWN: the d-pad button instead
    SDL_GameControllerButton eButton;
    const char* pTo;
  };
  const SStep aSteps[] = {
      {SDL_SCANCODE_DOWN, SDL_CONTROLLER_BUTTON_INVALID, "StageSelectLevelName2"},
      {SDL_SCANCODE_S, SDL_CONTROLLER_BUTTON_INVALID, "StageSelectLevelName3"},
      {SDL_SCANCODE_UNKNOWN, SDL_CONTROLLER_BUTTON_DPAD_DOWN, "StageSelectLevelName4"},
      {SDL_SCANCODE_RIGHT, SDL_CONTROLLER_BUTTON_INVALID, "StageSelectLevelName4"},  // left and right page chapters
      {SDL_SCANCODE_UNKNOWN, SDL_CONTROLLER_BUTTON_DPAD_UP, "StageSelectLevelName3"},
      {SDL_SCANCODE_UP, SDL_CONTROLLER_BUTTON_INVALID, "StageSelectLevelName2"},
  };
  for (const SStep& step : aSteps) {
    SCOPED_TRACE(step.pTo);
    if (step.eKey != SDL_SCANCODE_UNKNOWN) {
      Win32TestPushKey(step.eKey, true);
    } else {
      pad.setButton(step.eButton, true);
    }
    frame();
    EXPECT_EQ(focused(), W(step.pTo));
    if (step.eKey != SDL_SCANCODE_UNKNOWN) {
      Win32TestPushKey(step.eKey, false);
    } else {
      pad.setButton(step.eButton, false);
    }
    frame();
    EXPECT_EQ(focused(), W(step.pTo)) << "a held or released key moves nothing";
  }
  // The focused button shows its rollover text colour; the one left behind fades back.
  for (int i = 0; i < 4; ++i) frame();
  EXPECT_EQ(W("StageSelectLevelName2")->mp_aColorAnimators[1].mp_uiCurrentColor, 0xFFFFD040u);
  EXPECT_EQ(W("StageSelectLevelName4")->mp_aColorAnimators[1].mp_uiCurrentColor, 0xFFC0C0C0u);
}

// A click goes to the button under the pointer (its hot spot, here registered by hand: nothing is rendered), which
// takes the focus first; a click over no button clicks nothing, and Return clicks the focused button. Each row
// starts on the main menu with Story focused.
TEST_F(GameMenuInput, AClickGoesToTheButtonUnderThePointerAndReturnToTheFocusedOne) {
  // The Options entry's hot spot, in fractions of the 640 x 360 display.
  const f32 afMin[2] = {0.4f, 0.5f};
  const f32 afMax[2] = {0.6f, 0.6f};
  struct SRow {
    const char* pWhat;
    int iX;  // the pointer in window pixels; -1: Return instead of a click
    int iY;
    const char* pScreen;  // the screen switched to; null: none
    const char* pFocused;
  };
  const SRow aRows[] = {
      {"a click on Options", 320, 198, "Options", "MainMenuOptionsModeButton"},
      {"a click on the hot spot's corner", 384, 216, "Options", "MainMenuOptionsModeButton"},
      {"a click beside the buttons", 100, 198, nullptr, "MainMenuStoryModeButton"},
      {"a click just outside the hot spot", 390, 198, nullptr, "MainMenuStoryModeButton"},
      {"Return", -1, -1, "StageSelect", "MainMenuStoryModeButton"},
  };
  for (const SRow& row : aRows) {
    SCOPED_TRACE(row.pWhat);
    showScreen("MainMenu", "MainMenuOptionsModeButton");
    ClUI::setFocus(W("MainMenuStoryModeButton"), 4);
    SPointerDetector* pHotSpot =
        ClPointerTracker::registerDetector(W("MainMenuOptionsModeButton"), afMin, afMax, E_POINTER_DETECTOR_WIDGET);
    frame();
    if (row.iX >= 0) {
      Win32TestPushMouseMotion(ClGraphics::mp_hWnd, row.iX, row.iY, 1, 1);
      Win32TestPushMouseButton(ClGraphics::mp_hWnd, SDL_BUTTON_LEFT, true, row.iX, row.iY);
    } else {
      Win32TestPushKey(SDL_SCANCODE_RETURN, true);
    }
    frame();
    EXPECT_EQ(focused(), W(row.pFocused));
    if (row.iX >= 0) {
      Win32TestPushMouseButton(ClGraphics::mp_hWnd, SDL_BUTTON_LEFT, false, row.iX, row.iY);
    } else {
      Win32TestPushKey(SDL_SCANCODE_RETURN, false);
    }
    frame();
    if (row.pScreen != nullptr) {
      EXPECT_TRUE(switchedTo("TopLevelSwitcher", row.pScreen));
    } else {
      for (int i = 0; i < 20; ++i) frame();
      EXPECT_EQ(W("TopLevelSwitcher")->getActiveSwitchedChild(), W("MainMenu")) << "something was clicked";
    }
    ClPointerTracker::unregisterDetector(pHotSpot);
  }
}

}  // namespace
