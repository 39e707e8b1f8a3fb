// The sample main screen set driven with pad actions as the input manager makes them: the main menu gives its
// first entry the focus, its grid moves the focus with the "UIMove" cue, its buttons fade in, refuse a click while
// fading and accept it afterwards with "UI_Accept" and a switch to stage select, whose grid moves focus between level buttons and leaves it downwards for the back
// button. The cues are heard in the audio manager's mixed output ("UI_Accept" at +0.25, "UIMove" at -0.5).
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Buttons.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"
#include "Tests/Corvane/UI/UIPadInput.h"
#include "Tests/Corvane/UI/UITestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

constexpr f32 gc_fACCEPT_LEVEL = 0.25f;
constexpr f32 gc_fMOVE_LEVEL = -0.5f;

class CMenuHooks : public ClRecordingUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerSystemUIFunctions();
    registerButtonsUIFunctions();
    registerGridUIFunctions();
  }
};

class ButtonMenuTest : public AudioManagerTest {
 protected:
  void SetUp() override {
    AudioManagerTest::SetUp();
    writeLoose("Audio/VOSK_SFX.iAudioSB", compileBank(R"({"bank": "VOSK_SFX", "cues": [
        {"name": "UIMove", "sources": [{"file": "Move.wav"}]},
        {"name": "UI_Accept", "sources": [{"file": "Accept.wav"}]}]})"));
    writeLoose("Audio/Move.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {gc_fMOVE_LEVEL}));
    writeLoose("Audio/Accept.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {gc_fACCEPT_LEVEL}));
    start();
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
    g_uiTrace = SUITrace{};
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
    KvTestSetUIHooks(&m_hooks);
    ClUI::initialise();
    std::ifstream file(std::string(KV_UI_CONTENT_DIR) + "/Lang/eng/UI/VOSK_UI.kui", std::ios::binary);
    const std::vector<u8> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(ClUI::loadUIDataFromImage("VOSK_UI", bytes.data(), static_cast<u32>(bytes.size())));
    m_pads.start();
  }
  void TearDown() override {
    m_pads.stop();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    AudioManagerTest::TearDown();
  }

  static ClWidget* W(const char* pName) { return ClUI::getWidget(pName); }
  static ClWidget* focused() { return ClUI::getFocusedWidget(gc_uiANY_PAD); }

  // One UI frame of dt seconds of the system clock with the given actions held on pad 0, then one mixed audio
  // frame: the peak heard on the left channel.
  f32 step(const std::map<i32, f32>& actions = {}, f32 fDT = 0.05f) {
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = fDT;
    m_pads.frame(actions);
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    const std::vector<float> heard = frame();
    const f32 fPeak = KvTestPeak(heard, 0);
    // Let a cue end before the next step, so each step hears only its own.
    for (int i = 0; i < 20 && ClAudioManager::getActiveCueCount() > 0; ++i) {
      frame();
    }
    return heard.empty() ? 0.0f : (heard[0] < 0.0f ? -fPeak : fPeak);
  }

  // Switches the top level to the screen and runs frames until its transition in is done.
  void showScreen(const char* pScreen) {
    W("TopLevelSwitcher")->switchTo(W(pScreen));
    for (int i = 0; i < 40 && !W(pScreen)->mp_bTransitionDone; ++i) {
      step();
    }
    ASSERT_TRUE(W(pScreen)->mp_bTransitionDone) << pScreen;
  }

  CMenuHooks m_hooks;
  CUIPadInput m_pads;
};

TEST_F(ButtonMenuTest, MainMenuFocusesItsFirstEntryMovesInItsGridAndAcceptsWithTheirCues) {
  W("TopLevelSwitcher")->switchTo(W("MainMenu"));
  ClWidget* pStory = W("MainMenuStoryModeButton");
  EXPECT_EQ(focused(), pStory) << "the screen hands its focus to its first entry";
  EXPECT_EQ(pStory->mp_bTransitionDone, 0u) << "fading in";
  EXPECT_FALSE(W("MainMenuDebugCatModeButton")->mp_bVisible) << "the debug entry is hidden";
  EXPECT_FALSE(W("MainMenuChangeProfileButton_XBoxOne")->mp_bVisible);
  EXPECT_FALSE(W("MainMenuProfileLabel_XBoxOne")->mp_bVisible);
  // A click while the button fades in is refused: no cue, no switch.
  EXPECT_EQ(step({{gc_iUI_ACTION_ACCEPT, 1.0f}}), 0.0f);
  for (int i = 0; i < 10; ++i) step();
  ASSERT_EQ(pStory->mp_bTransitionDone, 1u);
  EXPECT_EQ(pStory->mp_aColorAnimators[1].mp_uiCurrentColor, 0xFFFFFFFFu) << "the rollover text colour";
  EXPECT_EQ(W("MainMenuOptionsModeButton")->mp_aColorAnimators[1].mp_uiCurrentColor, 0xFFF07C36u);
  struct SMove {
    i32 iAction;
    const char* pTo;
  };
  // Up from the first entry wraps round to the last visible one (quit: the debug entry is hidden), and back.
  const SMove aMoves[] = {{gc_iUI_ACTION_DOWN, "MainMenuMarathonModeButton"},
                          {gc_iUI_ACTION_UP, "MainMenuStoryModeButton"},
                          {gc_iUI_ACTION_UP, "MainMenuQuitModeButton"},
                          {gc_iUI_ACTION_DOWN, "MainMenuStoryModeButton"}};
  for (const SMove& move : aMoves) {
    SCOPED_TRACE(move.pTo);
    const f32 fHeard = step({{move.iAction, 1.0f}});
    EXPECT_EQ(focused(), W(move.pTo));
    EXPECT_NE(fHeard, 0.0f) << "a move is heard";
    step();  // release
  }
  EXPECT_FLOAT_EQ(step({{gc_iUI_ACTION_ACCEPT, 1.0f}}), gc_fACCEPT_LEVEL);
  EXPECT_EQ(ClUI::getRootWidget()->getInt("_mode_selected"), 0);
  EXPECT_EQ(ClUI::getRootWidget()->getInt("_pickchapter_storymode"), 1);
  EXPECT_EQ(W("TopLevelSwitcher")->mp_uiSwitchTargetIndex,
            [] {
              ClWidget* pSwitcher = W("TopLevelSwitcher");
              for (u32 i = 0; i < pSwitcher->mp_SwitchedChildren.getSize(); ++i) {
                if (pSwitcher->mp_SwitchedChildren[i].mp_pChild == W("StageSelect")) return i;
              }
              return 0xFFFFFFFFu;
            }())
      << "the story entry switched to stage select";
}

TEST_F(ButtonMenuTest, StageGridMovesFocusWithTheMoveCue) {
  showScreen("StageSelect");
  ClUI::setFocus(W("StageSelectLevelName1"), gc_uiANY_PAD);
  step();
  for (int i = 0; i < 10; ++i) step();
  struct SMove {
    i32 iAction;
    const char* pTo;
    f32 fHeard;
  };
  const SMove aMoves[] = {
      {gc_iUI_ACTION_DOWN, "StageSelectLevelName2", gc_fMOVE_LEVEL},
      {gc_iUI_ACTION_DOWN, "StageSelectLevelName3", gc_fMOVE_LEVEL},
      {gc_iUI_ACTION_UP, "StageSelectLevelName2", gc_fMOVE_LEVEL},
      {gc_iUI_ACTION_LEFT, "StageSelectLevelName2", 0.0f},  // left and right are the screen's: focus stays
  };
  for (const SMove& move : aMoves) {
    SCOPED_TRACE(move.pTo);
    const f32 fHeard = step({{move.iAction, 1.0f}});
    EXPECT_EQ(focused(), W(move.pTo));
    EXPECT_FLOAT_EQ(fHeard, move.fHeard);
    step();  // release
  }
  // Leaving the levels downwards focuses the back button.
  ClUI::setFocus(W("StageSelectLevelName8"), gc_uiANY_PAD);
  step();
  step({{gc_iUI_ACTION_DOWN, 1.0f}});
  EXPECT_EQ(focused(), W("StageSelectBackButton"));
}

}  // namespace
