// The front end played as a player does: the game runs in a window of a virtual X server of the test's own, keys
// are sent through that server (XTest), and what happens is heard in the mix the game writes (GRINDLOW_FMOD_WAV).
// Nothing is set inside the game: a screen that came in without a focused button would not answer the keys, and a
// press the menus did not take would not be heard.
#include "Tests/Code/System/Play/FrontEndPlay.h"
#include "Tests/Code/System/Play/PointerPlay.h"
// After the fixture (and GoogleTest): XGetPixel and XDestroyImage.
#include <X11/Xutil.h>

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

// On the main menu (Story focused) the pointer is drawn where the mouse stood when the game started and follows it;
// a click beside the buttons does nothing (nothing heard), and a click on Options (not focused) opens the options
// (accepted; the focus tone sounds with it), whose first row lowers the music (Left, heard) and whose back saves it:
// the profile stores 70, which Story, the focused entry, would not.
TEST_F(PointerPlay, ThePointerFollowsTheMouseAndAClickOpensTheButtonUnderIt) {
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dCOIN_HZ)) << "the title took no start press\n" << m_game.out();
  EXPECT_TRUE(pointerComesTo(150, 420)) << "not where the mouse started";
  moveTo(1150, 420);
  EXPECT_TRUE(pointerComesTo(1150, 420)) << "it did not follow the mouse";

  size_t uiFrom = click();
  ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate())));
  EXPECT_FALSE(m_tap.heard(gc_dACCEPT_HZ, uiFrom)) << "a click beside the buttons accepted something";
  EXPECT_FALSE(m_tap.heard(gc_dMOVE_HZ, uiFrom)) << "a click beside the buttons moved the focus";

  // The Options entry, the second below Story.
  moveTo(640, 390);
  ASSERT_TRUE(pointerComesTo(640, 390));
  uiFrom = click();
  ASSERT_TRUE(mixUntil([&] { return m_tap.heard(gc_dACCEPT_HZ, uiFrom); }, 4.0)) << "the click was not accepted";
  while (!m_tap.quiet(gc_dACCEPT_HZ)) ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 50)));
  ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate()) / 2));
  ASSERT_TRUE(pressUntilHeard(XK_Left, gc_dMOVE_HZ, 1)) << "no music row\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dACCEPT_HZ, 1)) << "no back\n" << m_report;
  EXPECT_EQ(waitForStored(2536, {70}), (std::vector<int32_t>{70})) << "the click did not open the options";
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

// A level played from the development settings that go straight into play ("SKIP_UI"), in a data root of the
// test's own that links the build's archives. The first story level opens on the how-to-play pages; a key's
// accept (heard) leaves them for play.
class LevelPlay : public FrontEndPlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_UI 1\nSKIP_SPLASH 1\n"); }
  void SetUp() override {
    FrontEndPlay::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dACCEPT_HZ)) << "the level did not open on its pages\n" << m_game.out();
  }
};

// In a level, Escape opens the pause menu with its first entry focused (its move is heard), Escape on it resumes
// (accepted) and Escape pauses again: Down moves (heard), and How to play, accepted, shows the pages, whose back
// (heard) returns to play: the pause menu opens again with Escape.
TEST_F(LevelPlay, PauseMenuAndHowToPlayThroughTheKeyboard) {
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dMOVE_HZ)) << "the pause menu came without focus\n" << m_game.out();
  // The entries take no back while they fade in: a press then is pressed again.
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dACCEPT_HZ, 3)) << "back on the pause menu was not taken\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dMOVE_HZ)) << "back on the pause menu did not resume\n" << m_report;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pressUntilHeard(XK_Down, gc_dMOVE_HZ, 1)) << i << "\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dACCEPT_HZ, 1)) << "How to play was not accepted\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dACCEPT_HZ)) << "the pages' back was not accepted\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dMOVE_HZ)) << "play did not resume\n" << m_report;
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

// From the title into the first story level as a player with a fresh profile meets it: Return on the title (the
// coin), on Story and on the first level of chapter 1 (accepted), then the equipment screen, which opens on two
// locked items: Right takes the open weapon (accepted), Down the magic row (moved), Right the open magic, Down the
// play button and Return plays. The chapter's video is heard in the mix (its 440 Hz tone holds most of a second:
// the movie's sound goes through the game's mixer) and leads into the level, which opens on the how-to-play pages:
// Return continues, the level's music is heard (its chord's 277.18 Hz over a second, told apart from the menu
// music's 275 Hz), and punches (K) are heard as their bursts. Then Escape pauses (its focus heard), Up goes round to
// Quit (moved) and Return quits (accepted) to the main menu, whose first entry takes the focus and Down moves on
// (heard; the title has no focus to move).
TEST_F(FrontEndPlay, ReturnThroughTheMenusPlaysTheFirstStoryLevel) {
  struct SPress {
    KeySym key;
    double dHz;
    const char* pWhat;
  };
  const SPress aPresses[] = {{XK_Return, gc_dCOIN_HZ, "the title"},
                             {XK_Return, gc_dACCEPT_HZ, "Story on the main menu"},
                             {XK_Return, gc_dACCEPT_HZ, "chapter 1 level 1 on the stage select"},
                             {XK_Right, gc_dACCEPT_HZ, "the open weapon"},
                             {XK_Down, gc_dMOVE_HZ, "the magic row"},
                             {XK_Right, gc_dACCEPT_HZ, "the open magic"},
                             {XK_Down, gc_dMOVE_HZ, "the play button"},
                             {XK_Return, gc_dACCEPT_HZ, "play"}};
  for (const SPress& press : aPresses) {
    // The level's chord is nowhere in the menus.
    if (m_tap.rate() > 0) {
      EXPECT_LT(m_tap.secondShare(277.18, 0), 0.05) << "before " << press.pWhat;
    }
    ASSERT_TRUE(pressUntilHeard(press.key, press.dHz)) << press.pWhat << "\n" << m_report << m_game.out();
  }
  m_tap.poll();
  const size_t uiPlayed = m_tap.frames();
  ASSERT_TRUE(mixUntil([&] { return m_tap.secondShare(440.0, uiPlayed) > 0.5; }, 10.0))
      << "the chapter's video was not heard\n" << m_game.out();
  // A first Return may still skip the end of the video; the pages' continue is accepted.
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dACCEPT_HZ)) << "the how-to-play pages' continue\n"
                                                         << m_report << m_game.out();
  while (m_tap.secondShare(277.18, uiPlayed) < 0.1 && m_tap.frames() < uiPlayed + 30u * m_tap.rate()) {
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 4))) << m_game.out();
  }
  ASSERT_GT(m_tap.secondShare(277.18, uiPlayed), 0.1) << "the level's music was not heard\n" << m_game.out();
  const KeyCode code = XKeysymToKeycode(m_pX, XK_k);
  bool bBurst = false;
  for (int i = 0; i < 10 && !bBurst; ++i) {
    m_tap.poll();
    const size_t uiFrom = m_tap.frames();
    XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
    XSync(m_pX, False);
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 10)));
    XTestFakeKeyEvent(m_pX, code, False, CurrentTime);
    XSync(m_pX, False);
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 2)));
    bBurst = m_tap.burstHeard(uiFrom);
  }
  EXPECT_TRUE(bBurst) << "no punch was heard";
  const SPress aQuit[] = {{XK_Escape, gc_dMOVE_HZ, "the pause menu"},
                          {XK_Up, gc_dMOVE_HZ, "Quit on the pause menu"},
                          {XK_Return, gc_dACCEPT_HZ, "quit"}};
  for (const SPress& press : aQuit) {
    ASSERT_TRUE(pressUntilHeard(press.key, press.dHz)) << press.pWhat << "\n" << m_report << m_game.out();
  }
  ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate())));
  EXPECT_TRUE(pressUntilHeard(XK_Down, gc_dMOVE_HZ, 3)) << "quit did not land on the main menu\n" << m_report;
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}
// A 10 ms tap of S, shorter than a frame, moves the player down a lane, and one of W moves it back: the player's
// cyan box is found in the screen's picture (its lowest cyan row in the columns it runs in, a fifth of the way
// across), which drops by a lane and comes back.
TEST_F(LevelPlay, KeyTapsShorterThanAFrameChangeLanes) {
  // The lowest row of the player's box: the last row where most pixels of its columns are cyan.
  const auto playerBottom = [&]() -> int {
    XWindowAttributes root;
    XGetWindowAttributes(m_pX, DefaultRootWindow(m_pX), &root);
    const int iLeft = root.width * 19 / 100, iWidth = root.width / 25;
    XImage* pImage = XGetImage(m_pX, DefaultRootWindow(m_pX), iLeft, 0, iWidth, root.height, AllPlanes, ZPixmap);
    if (pImage == nullptr) return -1;
    int iBottom = -1;
    for (int y = 0; y < root.height; ++y) {
      int iCyan = 0;
      for (int x = 0; x < iWidth; ++x) {
        const unsigned long uiPixel = XGetPixel(pImage, x, y);
        iCyan += ((uiPixel >> 16) & 0xFF) < 120 && ((uiPixel >> 8) & 0xFF) > 150 && (uiPixel & 0xFF) > 150;
      }
      if (iCyan * 2 > iWidth) iBottom = y;
    }
    XDestroyImage(pImage);
    return iBottom;
  };
  // Waits (in mix time, a tenth of a second at a time, at most iTenths) until the player's bottom row satisfies
  // the condition; the row last seen.
  const auto bottomWhen = [&](auto condition, int iTenths) {
    int iBottom = playerBottom();
    for (int i = 0; i < iTenths && !condition(iBottom); ++i) {
      if (!mixOn(static_cast<size_t>(std::max(m_tap.rate(), 10) / 10))) break;
      iBottom = playerBottom();
    }
    return iBottom;
  };
  const auto tap = [&](KeySym key) {
    const KeyCode code = XKeysymToKeycode(m_pX, key);
    XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
    XTestFakeKeyEvent(m_pX, code, False, 10);
    XSync(m_pX, False);
  };
  while (m_tap.rate() == 0) ASSERT_TRUE(mixOn(4800)) << m_game.out();
  // The player appears once the level has started; its start banner goes by in three seconds.
  ASSERT_GT(bottomWhen([](int iRow) { return iRow > 0; }, 200), 0) << "no player box in the picture\n" << m_game.out();
  ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate()) * 3)) << m_game.out();
  const int iStart = playerBottom();
  tap(XK_s);
  EXPECT_GT(bottomWhen([&](int iRow) { return iRow > iStart + 20; }, 20), iStart + 20)
      << "the tap of S did not move the player down a lane";
  tap(XK_w);
  EXPECT_NEAR(bottomWhen([&](int iRow) { return std::abs(iRow - iStart) <= 4; }, 20), iStart, 4)
      << "the tap of W did not bring the player back";
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

}  // namespace
