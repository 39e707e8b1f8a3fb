// The front end played as a player does: the game runs in a window of a virtual X server of the test's own, keys
// are sent through that server (XTest), and what happens is heard in the mix the game writes (GRINDLOW_FMOD_WAV).
// Nothing is set inside the game: a screen that came in without a focused button would not answer the keys, and a
// press the menus did not take would not be heard.
#include "Tests/Code/System/Play/FrontEndPlay.h"

namespace {

// From the title to the main menu, into the credits and back, and out through Quit. Return on the title is heard
// as the coin; the main menu comes in with its first button focused, so Down moves (heard) and Up comes back; its
// entries wrap round, so Up from the first is Quit, the last, and Up again the credits, whose accept and back are
// heard (those three Up presses are 10 ms taps); back on the main menu the first entry has the focus again, and Quit ends the game with exit code 0.
TEST_F(FrontEndPlay, TitleMenusAndQuitThroughTheKeyboard) {
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dCOIN_HZ)) << "the title took no start press\n" << m_game.out();
  ASSERT_TRUE(pressUntilHeard(XK_Down, gc_dMOVE_HZ)) << "the main menu had no focused button\n" << m_game.out();
  // Taps shorter than a frame count as presses.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pressUntilHeard(XK_Up, gc_dMOVE_HZ, 1, true)) << i << "\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dACCEPT_HZ, 1)) << "the credits button was not accepted\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dACCEPT_HZ)) << "the credits did not take back\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Up, gc_dMOVE_HZ)) << "the main menu came back without focus\n" << m_report << m_game.out();
  const KeyCode code = XKeysymToKeycode(m_pX, XK_Return);
  XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
  XSync(m_pX, False);
  EXPECT_FALSE(mixOn(static_cast<size_t>(m_tap.rate()) * 5)) << "Quit did not end the game";
  XTestFakeKeyEvent(m_pX, code, False, CurrentTime);
  XSync(m_pX, False);
  if (!m_game.hasEnded()) kill(m_game.pid(), SIGKILL);
  const int iStatus = m_game.hasEnded() ? m_game.endedStatus() : m_game.finish();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n"
                                                                           << m_game.out();
}

// A level played from the development settings that go straight into play ("SKIP_UI"), in a data root of the
// test's own that links the build's archives.
class LevelPlay : public FrontEndPlay {
 protected:
  std::string dataRoot() override {
    const std::string root = m_dir + "/data";
    fs::create_directories(root);
    for (const fs::directory_entry& entry : fs::directory_iterator(KV_DATA_ROOT)) {
      if (entry.path().filename() != "project.ini" && entry.path().filename() != "SAVEDATA") {
        fs::create_symlink(entry.path(), root + "/" + entry.path().filename().string());
      }
    }
    std::ofstream(root + "/project.ini") << "SKIP_UI 1\nSKIP_SPLASH 1\n";
    return root;
  }
};

// In a level, Escape opens the pause menu with its first entry focused (its move is heard): Down moves (heard), and
// How to play, accepted, shows the pages, whose back (heard) returns to play: the pause menu opens again with Escape.
TEST_F(LevelPlay, PauseMenuAndHowToPlayThroughTheKeyboard) {
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dMOVE_HZ)) << "the pause menu came without focus\n" << m_game.out();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pressUntilHeard(XK_Down, gc_dMOVE_HZ, 1)) << i << "\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dACCEPT_HZ, 1)) << "How to play was not accepted\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dACCEPT_HZ)) << "the pages' back was not accepted\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dMOVE_HZ)) << "play did not resume\n" << m_report;
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

}  // namespace
