// Splash screens that play a full-screen movie, with the real player on the test clock: the splash holds while the
// movie runs, whatever its timers say, and switches on once the movie has ended; a movie that cannot be played sends
// the splash to its alternative screen at once.
#include <string>
#include <vector>

#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/System/ClClock.h"
#include "Tests/Support/FMVTestSupport.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

class CSplashMovieUIHooks : public ClTestUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerSystemUIFunctions();
    registerSplashUIFunctions();
  }
};

class SplashMovie : public FMVTestBase {
 protected:
  void SetUp() override {
    startVideo(&m_hooks);
    if (HasFatalFailure()) return;
    useTestClock();
    KvTestSetUIHooks(&m_uiHooks);
    ClUI::initialise();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.02f;
  }
  void TearDown() override {
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    FMVTestBase::TearDown();
  }

  // The switcher "Sw" over the movie splash "A" (next "B", alternative "C"), whose fade in and both timers are 0 s, so
  // only the movie can hold it; switched to "A".
  void loadMovieSplash(const char* pMovie) {
    const std::string plain = R"(, "properties": {
        "onTransitionIn": {"event": {"calls": [{"call": "systemImmediateTransitionIn"}]}}}})";
    const std::string description = R"({"root": {"name": "Sw", "children": [
        {"name": "A", "properties": {"switcherName": "Sw", "nextScreenID": {"id": "B"}, "nextScreenID_ALT": {"id": "C"},
          "fullScreenFMVName": ")" + std::string(pMovie) + R"(",
          "onTransitionIn": {"event": {"calls": [
            {"call": "systemSplashTransitionInFromColor", "params": [{"int": -1}, 0.0]},
            {"call": "systemSplashTransitionIn", "params": [0.0, 0.0]}]}},
          "onTransitionOut": {"event": {"calls": [{"call": "systemImmediateTransitionOut"}]}},
          "onTick": {"event": {"single": "systemSplashCheckForSkip",
                               "calls": [{"call": "systemSetTransitionDoneAndClickEventMaskAfterTimer"}]}}}},
        {"name": "B")" + plain + R"(, {"name": "C")" + plain + R"(],
      "switched": ["A", "B", "C"]}})";
    SKuiScreenSet set;
    std::string error;
    ASSERT_TRUE(KuiParseDescription(description, "splash.json", &set, &error)) << error;
    const std::vector<uint8_t> image = KuiWriteImage(set);
    ASSERT_TRUE(ClUI::loadUIDataFromImage("Splash", image.data(), static_cast<u32>(image.size())));
    ClUI::switchTo("Sw", "A");
  }

  static ClWidget* active() { return ClUI::getWidget("Sw")->getActiveSwitchedChild(); }

  CConsumingHooks m_hooks;
  CSplashMovieUIHooks m_uiHooks;
};

// The 2 s movie: the splash is still on after 1.9 s of movie and UI frames of 20 ms, and switches to the next screen
// in the first UI frame after the player has stopped.
TEST_F(SplashMovie, HoldsWhileTheMovieRunsAndSwitchesWhenItEnds) {
  loadMovieSplash("Test_Counter");
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::getState(), E_FMV_STATE_RUNNING);
  ClWidget* pA = ClUI::getWidget("A");
  EXPECT_EQ(pA->getInt("_splashIsFMV"), 1);
  EXPECT_EQ(pA->getInt("_splashFMVFailed"), 0);
  EXPECT_FALSE(advanceMovieUntil(
      [] {
        ClUI::update();
        return active() != ClUI::getWidget("A") || ClFullScreenFMVPlayer_Win32::getState() != E_FMV_STATE_RUNNING;
      },
      0.02, 1.9));
  EXPECT_LT(pA->getFloat("timeUntilFadeout"), -1.5f) << "the timers ran out long ago";
  ASSERT_TRUE(advanceMovieUntil(
      [] { return ClFullScreenFMVPlayer_Win32::getState() != E_FMV_STATE_RUNNING; }, 0.02, 1.0));
  EXPECT_EQ(active(), pA) << "the player stopped after this frame's check";
  ClUI::update();
  EXPECT_EQ(active(), ClUI::getWidget("B"));
}

// A movie the player cannot open: the splash goes to its alternative screen in its first frame.
TEST_F(SplashMovie, AMovieThatCannotPlayGoesToTheAlternativeScreen) {
  loadMovieSplash("No_Such_Movie");
  EXPECT_EQ(ClUI::getWidget("A")->getInt("_splashFMVFailed"), 1);
  EXPECT_NE(ClFullScreenFMVPlayer_Win32::getState(), E_FMV_STATE_RUNNING);
  ClUI::update();
  EXPECT_EQ(active(), ClUI::getWidget("A")) << "the fade in is done at the end of the first frame";
  ClUI::update();
  EXPECT_EQ(active(), ClUI::getWidget("C"));
}

}  // namespace
