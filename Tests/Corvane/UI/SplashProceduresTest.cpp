// The splash procedures driven from compiled screen descriptions on a clock the tests move: the registry's names and
// order, the colour fades, the start, the per-frame checks (timers, the ready flag, skips, movies and the demo flag)
// and the sample splash set run from its first splash to its end, with a skip given through the pad.
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "Corvane/Development/ClDevINI.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"
#include "Tests/Corvane/UI/UIPadInput.h"
#include "Tests/Corvane/UI/UITestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

// The image procedures stand in for nothing here: loading and drawing need a device these tests do not start.
class CSplashHooks : public ClRecordingUIHooks {
 public:
  void registerGameUIFunctions() override {
    ClRecordingUIHooks::registerGameUIFunctions();
    registerSystemUIFunctions();
    registerSplashUIFunctions();
    ClUIEventSystemFunctions::registerFunction(H("systemImageLoad"), &systemIdle);
    ClUIEventSystemFunctions::registerFunction(H("systemImageRender"), &systemIdle);
  }
};

// One frame is an eighth of a second: every time of the descriptions below is a whole number of frames, exactly.
constexpr f32 gc_fFRAME = 0.125f;

class SplashTest : public UITest {
 protected:
  void SetUp() override {
    m_bStartUI = false;
    UITest::SetUp();
    KvTestSetUIHooks(&m_splashHooks);
    ClUI::initialise();
    splashSetCanSkip(true);
    ClFullScreenFMVPlayer_Win32::mp_bVideoAvailable = 0;
    ClFullScreenFMVPlayer_Win32::mp_iState = E_FMV_STATE_CLOSED;
    setFrameTime(gc_fFRAME);
  }
  void TearDown() override {
    splashSetCanSkip(true);
    ClDevINI::terminate();
    ClFullScreenFMVPlayer_Win32::mp_iState = E_FMV_STATE_CLOSED;
    UITest::TearDown();
  }

  // A switcher "Sw" over the splash "A" (its extra properties given), "B" and "C". "A" fades in from black for
  // 0.5 s, starts with the two times, and checks on every tick with the procedure named; going out it fades to
  // black for 0.5 s. "B" and "C" come in at once.
  void loadSplash(const std::string& extra, f32 fFadeout, f32 fSkip,
                  const std::string& check = "systemSplashCheckForSkip") {
    const std::string start = "[" + std::to_string(fFadeout) + ", " + std::to_string(fSkip) + "]";
    const std::string splash =
        R"({"name": "A", "properties": {"switcherName": "Sw", "nextScreenID": {"id": "B"},
            "nextScreenID_ALT": {"id": "C"},)" +
        extra + R"("onTransitionIn": {"event": {"calls": [
              {"call": "systemSplashTransitionInFromColor", "params": [{"int": -16777216}, 0.5]},
              {"call": "systemSplashTransitionIn", "params": )" +
        start + R"(}]}},
            "onTransitionOut": {"event": {"calls": [
              {"call": "systemSplashTransitionOutToColor", "params": [{"int": -16777216}, 0.5]}]}},
            "onTick": {"event": {"single": ")" +
        check + R"(", "calls": [{"call": "systemSetTransitionDoneAndClickEventMaskAfterTimer"}]}},
            "onClick": {"event": {"single": "systemSplashRequestSkip"}}}})";
    const std::string plain = R"(, "properties": {
        "onTransitionIn": {"event": {"calls": [{"call": "systemImmediateTransitionIn"}]}}}})";
    ASSERT_TRUE(load("Splash", R"({"root": {"name": "Sw", "children": [)" + splash + R"(, {"name": "B")" + plain +
                                   R"(, {"name": "C")" + plain + R"(], "switched": ["A", "B", "C"]}})"));
    ClUI::switchTo("Sw", "A");
  }

  // The screen the last switch asked for, by name ("" before any).
  static std::string lastSwitch() {
    const ClWidget* pWidget = ClUI::getSwitchHistory(0);
    return pWidget == nullptr ? "" : pWidget->getName();
  }

  // Runs frames until a switch away from "A" is asked for; answers the frame (1 = the first) and the screen, or
  // frame 0 when none came within iLimit frames. Before each frame, beforeFrame(frame) may change the world.
  template <typename F>
  std::pair<i32, std::string> framesUntilSwitch(i32 iLimit, F beforeFrame) {
    for (i32 iFrame = 1; iFrame <= iLimit; ++iFrame) {
      beforeFrame(iFrame);
      ClUI::update();
      if (lastSwitch() != "A") {
        return {iFrame, lastSwitch()};
      }
    }
    return {0, ""};
  }
  std::pair<i32, std::string> framesUntilSwitch(i32 iLimit) {
    return framesUntilSwitch(iLimit, [](i32) {});
  }

  CSplashHooks m_splashHooks;
};

TEST_F(SplashTest, RegistersItsProceduresInOrderAndTheSkipDoesNothing) {
  const char* const apNames[] = {"systemSplashTransitionIn",         "systemSplashTransitionOutToColor",
                                 "systemSplashTransitionInFromColor", "systemSplashSkip",
                                 "systemSplashCheckForSkip",          "systemDemoOrNotSplashCheckForSkip",
                                 "systemSplashRequestSkip"};
  u32 uiFirst = 0;
  while (uiFirst < ClUIEventSystemFunctions::getCount() &&
         ClUIEventSystemFunctions::mp_entries[uiFirst].mp_uiNameHash != H(apNames[0])) {
    ++uiFirst;
  }
  ASSERT_LT(uiFirst + std::size(apNames), ClUIEventSystemFunctions::getCount() + 1);
  for (u32 i = 0; i < std::size(apNames); ++i) {
    EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[uiFirst + i].mp_uiNameHash, H(apNames[i])) << apNames[i];
  }
  EXPECT_EQ(ClUIEventSystemFunctions::findFunction(H("systemSplashSkip")), &systemEmptyProcedure);
}

// Both fades: visible, the flags, "transitionTimer", and a linear fade between alpha 0 and alpha 255 of the colour
// whatever alpha it came with, replacing the fade under way; half-way through, the alpha is half-way.
TEST_F(SplashTest, FadesRunBetweenTransparentAndOpaqueOfTheColour) {
  struct SCase {
    const char* pProcedure;
    i32 iColor;
    u32 uiStart;
    u32 uiEnd;
    u32 bOut;
  };
  const SCase aCases[] = {
      {"systemSplashTransitionInFromColor", 0x40123456, 0x00123456u, 0xFF123456u, 0},
      {"systemSplashTransitionOutToColor", static_cast<i32>(0x80ABCDEFu), 0xFFABCDEFu, 0x00ABCDEFu, 1},
      {"systemSplashTransitionInFromColor", static_cast<i32>(0xFF000000u), 0x00000000u, 0xFF000000u, 0},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pProcedure);
    ClUI::terminate();
    ClUI::initialise();
    ASSERT_TRUE(load("F", R"({"root": {"name": "F", "properties": {
        "onBecomeVisible": {"event": {"calls": [{"call": "record0"}]}},
        "onGo": {"event": {"calls": [{"call": ")" + std::string(c.pProcedure) +
                                R"(", "params": [{"int": )" + std::to_string(c.iColor) + R"(}, 1.0]}]}}}}})"));
    ClWidget* pF = W("F");
    pF->mp_bTransitionDone = 1;
    pF->mp_bTransitioningOut = 1 - c.bOut;
    pF->mp_aColorAnimators[0].mp_bActive = 1;
    g_uiTrace.runs.clear();
    pF->callEvent(H("onGo"));
    EXPECT_EQ(runNames(), std::vector<std::string>{"record0"}) << "became visible";
    EXPECT_EQ(pF->mp_bVisible, 1u);
    EXPECT_EQ(pF->mp_bTransitionDone, 0u);
    EXPECT_EQ(pF->mp_bTransitioningOut, c.bOut);
    EXPECT_EQ(pF->getFloat("transitionTimer"), 1.0f);
    const SAnimatorParams& request = pF->mp_aColorAnimators[0].mp_params;
    EXPECT_EQ(request.mp_iKind, gc_iANIM_PLAY_ONCE);
    EXPECT_EQ(request.mp_iMethod, gc_iANIM_EASE_LINEAR);
    EXPECT_EQ(request.mp_uiStartColor, c.uiStart);
    EXPECT_EQ(request.mp_uiEndColor, c.uiEnd);
    EXPECT_EQ(request.mp_fDuration, 1.0f);
    EXPECT_EQ(pF->mp_aColorAnimators[0].mp_uiCurrentColor, c.uiStart);
    setFrameTime(0.5f);
    pF->tick();
    const u32 uiAlpha = pF->mp_aColorAnimators[0].mp_uiCurrentColor >> 24;
    EXPECT_NEAR(static_cast<f32>(uiAlpha), 127.5f, 1.0f);
    EXPECT_EQ(pF->mp_aColorAnimators[0].mp_uiCurrentColor & 0x00FFFFFFu, c.uiStart & 0x00FFFFFFu);
    pF->tick();
    EXPECT_EQ(pF->mp_aColorAnimators[0].mp_uiCurrentColor, c.uiEnd);
  }
}

TEST_F(SplashTest, TheStartAndTheFadesCheckTheirCallData) {
  for (const char* pProcedure :
       {"systemSplashTransitionIn", "systemSplashTransitionOutToColor", "systemSplashTransitionInFromColor"}) {
    SCOPED_TRACE(pProcedure);
    ClUI::terminate();
    ClUI::initialise();
    const std::string name = pProcedure;
    ASSERT_TRUE(load("F", R"({"root": {"name": "F", "properties": {
        "onNone": {"event": {"single": ")" + name + R"("}},
        "onOne": {"event": {"calls": [{"call": ")" + name + R"(", "params": [1.0]}]}},
        "onThree": {"event": {"calls": [{"call": ")" + name + R"(", "params": [1.0, 1.0, 1.0]}]}}}}})"));
    EXPECT_KV_ASSERT(W("F")->callEvent(H("onNone")), "pData");
    EXPECT_KV_ASSERT(W("F")->callEvent(H("onOne")), "pData->mp_iNumberWidgetEventProcedureCallDatas == 2");
    EXPECT_KV_ASSERT(W("F")->callEvent(H("onThree")), "pData->mp_iNumberWidgetEventProcedureCallDatas == 2");
  }
  EXPECT_KV_ASSERT(splashStart(nullptr, 1.0f, 1.0f), "pWidget");
}

// The start: both timers, the skip request reset, the flags cleared, the widget and everything below it visible,
// "onTransitionIn" on each drawn child in order; without a movie name, no movie.
TEST_F(SplashTest, TheStartSetsTheTimersShowsTheTreeAndStartsTheChildren) {
  ASSERT_TRUE(load("S", R"({"root": {"name": "S", "properties": {"userSkippedThis": true},
      "children": [
        {"name": "K1", "properties": {"onTransitionIn": {"event": {"calls": [{"call": "record1"}]}}},
         "children": [{"name": "G", "properties": {}}]},
        {"name": "K2", "properties": {"onTransitionIn": {"event": {"calls": [{"call": "record2"}]}}}}]}})"));
  ClWidget* pS = W("S");
  pS->mp_bTransitionDone = 1;
  pS->mp_bTransitioningOut = 1;
  g_uiTrace.runs.clear();
  splashStart(pS, 2.5f, 0.75f);
  EXPECT_EQ(pS->getFloat("timeUntilFadeout"), 2.5f);
  EXPECT_EQ(pS->getFloat("timeUntilCanSkip"), 0.75f);
  EXPECT_EQ(pS->getInt("userSkippedThis"), 0);
  EXPECT_EQ(pS->mp_bTransitionDone, 0u);
  EXPECT_EQ(pS->mp_bTransitioningOut, 0u);
  for (const char* pName : {"S", "K1", "G", "K2"}) {
    EXPECT_EQ(W(pName)->mp_bVisible, 1u) << pName;
  }
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1", "record2"}));
  EXPECT_EQ(pS->getInt("_splashIsFMV"), 0);
  EXPECT_EQ(pS->getInt("_splashFMVFailed"), 0);
  ASSERT_NE(pS->findProperty(H("_splashIsFMV")), nullptr);
  EXPECT_EQ(pS->findProperty(H("_splashIsFMV"))->mp_eType, E_BASE_TYPE_BOOL);
}

// A splash of its own widgets on a clock of eighths of a second: the fade in is done after frame 4 (0.5 s), so the
// first frame that may switch is frame 5. Each case gives the frame and screen of the switch (0: none in 80 frames).
TEST_F(SplashTest, TimedSplashSwitchesWhenItsTimeRunsOutOrASkipIsAllowed) {
  struct SCase {
    const char* pName;
    f32 fFadeout;
    f32 fSkip;
    i32 iSkipAtFrame;     // 0: never
    i32 iReadyFromFrame;  // the ready flag is clear before this frame (0: always set)
    i32 iReadyUntilFrame;  // ... and clear again from this frame on (0: never)
    i32 iFrame;
  };
  const SCase aCases[] = {
      {"runs its time", 1.5f, 0.5f, 0, 0, 0, 12},
      {"fade-out 0 switches once the fade in is done", 0.0f, 0.0f, 0, 0, 0, 5},
      {"fade-out 0 switches even while not ready", 0.0f, 0.0f, 0, 1000, 0, 5},
      {"an early skip waits for the skip time", 3.0f, 1.0f, 1, 0, 0, 8},
      {"a skip once allowed switches at once", 3.0f, 0.25f, 10, 0, 0, 10},
      {"a skip that would wait longer than the fade-out", 1.0f, 2.0f, 1, 0, 0, 8},
      {"timers stand still while not ready", 1.0f, 0.5f, 0, 20, 0, 27},
      {"a time already run out still switches while not ready", 0.25f, 0.5f, 0, 0, 3, 5},
      {"never ready: no switch", 1.0f, 0.5f, 0, 1000, 0, 0},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    ClUI::terminate();
    ClUI::initialise();
    splashSetCanSkip(true);
    loadSplash("", c.fFadeout, c.fSkip);
    const auto result = framesUntilSwitch(80, [&c](i32 iFrame) {
      splashSetCanSkip(c.iReadyFromFrame == 0 || iFrame >= c.iReadyFromFrame);
      if (c.iReadyUntilFrame != 0 && iFrame >= c.iReadyUntilFrame) {
        splashSetCanSkip(false);
      }
      if (iFrame == c.iSkipAtFrame) {
        W("A")->callEvent(H("onClick"));
      }
    });
    EXPECT_EQ(result.first, c.iFrame);
    EXPECT_EQ(result.second, c.iFrame == 0 ? "" : "B");
  }
}

// Once switched, the splash fades out: the check does nothing more, and the next screen comes in after the fade.
// The fade's 0.5 s start counting in the frame of the switch (the check runs before the timer in the same "onTick"),
// so the fade ends 3 frames after it.
TEST_F(SplashTest, SwitchingHappensOnceAndTheNextScreenComesInAfterTheFadeOut) {
  loadSplash("", 1.0f, 0.5f);
  ASSERT_EQ(framesUntilSwitch(80).first, 8);
  ClWidget* pSw = W("Sw");
  EXPECT_EQ(W("A")->mp_bTransitioningOut, 1u);
  for (i32 i = 0; i < 2; ++i) {
    ClUI::update();
    EXPECT_EQ(pSw->getActiveSwitchedChild(), nullptr) << "fading out, frame " << i;
  }
  ClUI::update();
  EXPECT_EQ(pSw->getActiveSwitchedChild(), W("B"));
  EXPECT_EQ(W("A")->mp_bVisible, 0u);
  EXPECT_EQ(ClUI::getSwitchHistory(1), W("A")) << "one switch, not one a frame";
}

// A movie splash: one that did not start goes to the alternative screen as soon as its fade in is done; one that
// runs holds the splash whatever the timers and the skip say, and the splash switches once the player stops.
TEST_F(SplashTest, MovieSplashFollowsThePlayerAndIgnoresTimersAndSkips) {
  loadSplash(R"("fullScreenFMVName": "Splash",)", 0.0f, 0.0f);
  ClWidget* pA = W("A");
  EXPECT_EQ(pA->getInt("_splashIsFMV"), 1);
  EXPECT_EQ(pA->getInt("_splashFMVFailed"), 1) << "no video in this test: the movie cannot start";
  EXPECT_EQ(framesUntilSwitch(80), (std::pair<i32, std::string>{5, "C"}));

  ClUI::terminate();
  ClUI::initialise();
  loadSplash(R"("fullScreenFMVName": "Splash",)", 0.0f, 0.0f);
  // The player as it is while a movie runs.
  W("A")->setBool(H("_splashFMVFailed"), 0);
  ClFullScreenFMVPlayer_Win32::mp_iState = E_FMV_STATE_RUNNING;
  const auto result = framesUntilSwitch(80, [](i32 iFrame) {
    if (iFrame == 6) W("A")->callEvent(H("onClick"));
    if (iFrame == 30) ClFullScreenFMVPlayer_Win32::mp_iState = E_FMV_STATE_STOPPED;
  });
  EXPECT_EQ(result, (std::pair<i32, std::string>{30, "B"}));
}

// The demo check: the timers and skips as above, the alternative screen when the development setting "DEMO_MODE" is
// above 0 (no settings at all: not a demo), and never the movie.
TEST_F(SplashTest, DemoCheckPicksTheScreenByTheDemoFlagAndNeverLooksAtTheMovie) {
  struct SCase {
    const char* pSettings;  // null: no settings read
    const char* pExpected;
  };
  const SCase aCases[] = {{nullptr, "B"}, {"", "B"}, {"DEMO_MODE 0\n", "B"}, {"DEMO_MODE 1\n", "C"}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pSettings != nullptr ? c.pSettings : "no settings");
    ClUI::terminate();
    ClUI::initialise();
    ClDevINI::terminate();
    if (c.pSettings != nullptr) {
      ClDevINI::initialize();
      ClDevINI::loadFromBuffer(c.pSettings, std::strlen(c.pSettings), "project.ini");
    }
    loadSplash("", 1.5f, 0.5f, "systemDemoOrNotSplashCheckForSkip");
    // A movie that failed and a player that runs would each decide the plain check; here they count for nothing.
    W("A")->setBool(H("_splashIsFMV"), 1);
    W("A")->setBool(H("_splashFMVFailed"), 1);
    ClFullScreenFMVPlayer_Win32::mp_iState = E_FMV_STATE_RUNNING;
    EXPECT_EQ(framesUntilSwitch(80), (std::pair<i32, std::string>{12, c.pExpected}));
  }
}

// The sample splash set from the build's content, as the game runs it: two logos of 3 s each (fading in for 0.5 s
// from black and out for 0.5 s to black), then the movie splash, which goes on to the end screen at once here
// because this test has no video.
class SampleSplashTest : public SplashTest {
 protected:
  void SetUp() override {
    SplashTest::SetUp();
    m_pads.start();
    std::ifstream file(std::string(KV_UI_CONTENT_DIR) + "/UI/Switcher_Splash.kui", std::ios::binary);
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(image.empty());
    ASSERT_TRUE(ClUI::loadUIDataFromImage("Switcher_Splash", image.data(), static_cast<u32>(image.size())));
    ClUI::switchTo("SplashSwitcher", "SplashActive1");
  }
  void TearDown() override {
    m_pads.stop();
    SplashTest::TearDown();
  }
  // The frames at which each screen became the switcher's active screen, until "SplashInactive" or iLimit frames.
  std::vector<std::pair<std::string, i32>> run(i32 iLimit, i32 iPressAcceptAtFrame = 0) {
    std::vector<std::pair<std::string, i32>> shown;
    const ClWidget* pLast = nullptr;
    for (i32 iFrame = 1; iFrame <= iLimit; ++iFrame) {
      std::map<i32, f32> actions;
      if (iFrame == iPressAcceptAtFrame) actions[gc_iUI_ACTION_ACCEPT] = 1.0f;
      m_pads.frame(actions);
      const ClWidget* pActive = W("SplashSwitcher")->getActiveSwitchedChild();
      if (pActive != nullptr && pActive != pLast) {
        shown.emplace_back(pActive->getName(), iFrame);
        pLast = pActive;
        if (shown.back().first == "SplashInactive") break;
      }
    }
    return shown;
  }
  CUIPadInput m_pads;
};

// Frames of an eighth of a second. The first logo starts at frame 0: in after its 0.5 s fade (frame 4), switched
// when its 3 s have run (frame 24). Its fade out starts counting in that frame and ends 3 frames later (27), when
// the second logo starts and counts its first frame too: in at frame 27 + 3, switched at 27 + 23, out and the movie
// splash started at 50 + 3. The movie splash's fade in of 0 s is done in that same frame, and its failed movie sends
// it on to the end screen at the next.
TEST_F(SampleSplashTest, RunsFromTheFirstLogoToTheEnd) {
  const std::vector<std::pair<std::string, i32>> expected = {
      {"SplashActive1", 4}, {"SplashActive2", 30}, {"SplashActive3", 53}, {"SplashInactive", 54}};
  EXPECT_EQ(run(200), expected);
  EXPECT_EQ(W("SplashActive3")->getInt("_splashFMVFailed"), 1);
  EXPECT_EQ(W("SplashActive1")->mp_bVisible, 0u);
  EXPECT_EQ(W("SplashActive2")->mp_bVisible, 0u);
}

// Accept on the pad reaches the focused logo as "onClick": pressed at frame 10 (after the 0.5 s before a skip is
// allowed), the first logo switches in that frame instead of at frame 24, so the second is in 6 frames later.
TEST_F(SampleSplashTest, AcceptOnThePadSkipsTheLogo) {
  const auto shown = run(200, 10);
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[0], (std::pair<std::string, i32>{"SplashActive1", 4}));
  EXPECT_EQ(shown[1], (std::pair<std::string, i32>{"SplashActive2", 16}));
}

}  // namespace
