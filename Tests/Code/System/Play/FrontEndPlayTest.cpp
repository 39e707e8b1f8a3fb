// The front end played as a player does: the game runs in a window of a virtual X server of the test's own, keys
// are sent through that server (XTest), and what happens is heard in the mix the game writes (GRINDLOW_FMOD_WAV).
// Nothing is set inside the game: a screen that came in without a focused button would not answer the keys, and a
// press the menus did not take would not be heard.
#include "Tests/Code/System/Play/FrontEndPlay.h"

namespace {

// The credits' music ("CreditsLoop") opens on 523.25 Hz; the credits start it as they come in.
constexpr double gc_dCREDITS_MUSIC_HZ = 523.25;

// From the title to the main menu, into the credits and back, and out through Quit. Return on the title is heard
// as the coin; the main menu comes in with its first button focused, so Down moves (heard) and Up comes back; its
// entries wrap round, so Up from the first is Quit, the last, and Up again the credits (those three Up presses are
// 10 ms taps), whose accept is heard and whose music starts as they come in; their back is heard, back on the main
// menu the first entry has the focus again, and Quit ends the game with exit code 0.
TEST_F(FrontEndPlay, TitleMenusAndQuitThroughTheKeyboard) {
  ASSERT_TRUE(waitForTitle()) << "the menu music was not heard\n" << m_game.out();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "the title took no start press\n" << m_report << m_game.out();
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Down, gc_dMOVE_HZ)) << "the main menu had no focused button\n" << m_report;
  // Taps shorter than a frame count as presses.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pressOnce(XK_Up, gc_dMOVE_HZ, true)) << i << "\n" << m_report;
  m_tap.poll();
  const size_t uiCredits = m_tap.frames();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the credits button was not accepted\n" << m_report;
  ASSERT_TRUE(waitForTone(gc_dCREDITS_MUSIC_HZ, uiCredits, 10.0)) << "the credits did not come in\n" << m_report;
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dACCEPT_HZ)) << "the credits did not take back\n" << m_report;
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Up, gc_dMOVE_HZ)) << "the main menu came back without focus\n" << m_report << m_game.out();
  keyDown(XK_Return);
  EXPECT_FALSE(mixFor(5.0)) << "Quit did not end the game\n" << m_report;
  keyUp(XK_Return);
  if (!m_game.hasEnded()) kill(m_game.pid(), SIGKILL);
  const int iStatus = m_game.hasEnded() ? m_game.endedStatus() : m_game.finish();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n"
                                                                           << m_game.out();
}

// On the main menu (Story focused) the pointer is drawn where the mouse stood when the game started and follows it;
// a click beside the buttons does nothing (nothing heard), nor do clicks where Marathon and Survivor are, locked on a
// fresh profile (faint, skipped by Up and Down); a click on Options (not focused) opens the options (accepted; the
// focus tone sounds with it), whose first row lowers the music (Left, heard; the main menu has nothing to the left)
// and whose back saves it: the profile stores 70, which Story, the focused entry, would not.
TEST_F(PointerPlay, ThePointerFollowsTheMouseAndAClickOpensTheButtonUnderIt) {
  ASSERT_TRUE(waitForTitle()) << "the menu music was not heard\n" << m_game.out();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "the title took no start press\n" << m_report << m_game.out();
  // The main menu's buttons take no click before their way in is over.
  ASSERT_TRUE(waitScreenIn());
  EXPECT_TRUE(pointerComesTo(150, 420)) << "not where the mouse started";
  for (const auto& [x, y] : {std::pair{1150, 420}, std::pair{640, 290}, std::pair{640, 335}}) {
    moveTo(x, y);
    EXPECT_TRUE(pointerComesTo(x, y)) << "it did not follow the mouse to " << x << ", " << y;
    const size_t uiFrom = click();
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate())));
    EXPECT_FALSE(m_tap.heard(gc_dACCEPT_HZ, uiFrom)) << "a click at " << x << ", " << y << " accepted something";
    EXPECT_FALSE(m_tap.heard(gc_dMOVE_HZ, uiFrom)) << "a click at " << x << ", " << y << " moved the focus";
  }

  // The Options entry, the second below Story.
  moveTo(640, 390);
  ASSERT_TRUE(pointerComesTo(640, 390));
  const size_t uiFrom = click();
  ASSERT_TRUE(mixUntil([&] { return m_tap.heard(gc_dACCEPT_HZ, uiFrom); }, 4.0)) << "the click was not accepted";
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Left, gc_dMOVE_HZ)) << "no music row\n" << m_report;
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dACCEPT_HZ)) << "no back\n" << m_report;
  EXPECT_EQ(waitForStored(2536, {70}), (std::vector<int32_t>{70})) << "the click did not open the options";
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

// A level played from the development settings that go straight into play ("SKIP_UI"), in a data root of the
// test's own that links the build's archives. The first story level opens on the how-to-play pages, which come in
// with their button focused (its move heard); once they are in, Return's accept (heard) leaves them for play.
class LevelPlay : public FrontEndPlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_UI 1\nSKIP_SPLASH 1\n"); }
  void SetUp() override {
    FrontEndPlay::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(waitForTone(gc_dMOVE_HZ, 0, 30.0)) << "the how-to-play pages did not come in\n" << m_game.out();
    ASSERT_TRUE(waitScreenIn());
    ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the pages took no Return\n" << m_report << m_game.out();
  }
};

// In a level, Escape opens the pause menu with its first entry focused (its move is heard), Escape on it resumes
// (accepted) and Escape pauses again: Down moves (heard), and How to play, accepted, shows the pages, whose back
// (heard) returns to play: the pause menu opens again with Escape.
TEST_F(LevelPlay, PauseMenuAndHowToPlayThroughTheKeyboard) {
  // Each key waits out the way in of the screen the last one switched to (play included: the pages go out and the
  // gameplay keys read nothing for two frames; the pause menu's entries take no back while they fade in).
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "the pause menu came without focus\n" << m_report << m_game.out();
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dACCEPT_HZ)) << "back on the pause menu was not taken\n" << m_report;
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "back on the pause menu did not resume\n" << m_report;
  ASSERT_TRUE(waitScreenIn());
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pressOnce(XK_Down, gc_dMOVE_HZ)) << i << "\n" << m_report;
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "How to play was not accepted\n" << m_report;
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the pages' back was not accepted\n" << m_report;
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "play did not resume\n" << m_report;
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

// From the title into the first story level as a player with a fresh profile meets it: Return on the title (the
// coin), on Story and on the first level of chapter 1 (accepted), then the equipment screen, which opens on two
// locked items: Right takes the open weapon (accepted), Down the magic row (moved), Right the open magic, Down the
// play button and Return plays. The chapter's video is heard in the mix (its 440 Hz tone holds most of a second:
// the movie's sound goes through the game's mixer) and leads into the level, which opens on the how-to-play pages
// (their focus heard): Return continues, the level's music is heard (its chord's 277.18 Hz over a second, told
// apart from the menu music's 275 Hz), and a punch (K) is heard as its burst. Then Escape pauses (its focus
// heard), Up goes round to Quit (moved) and Return quits (accepted) to the main menu, whose music starts with it,
// whose first entry takes the focus and Down moves on (heard; the title has no focus to move).
TEST_F(FrontEndPlay, ReturnThroughTheMenusPlaysTheFirstStoryLevel) {
  struct SPress {
    KeySym key;
    double dHz;
    bool bScreenIn;  // the key waits out the way in of the screen the last one switched to
    const char* pWhat;
  };
  const SPress aPresses[] = {{XK_Return, gc_dCOIN_HZ, false, "the title"},
                             {XK_Return, gc_dACCEPT_HZ, true, "Story on the main menu"},
                             {XK_Return, gc_dACCEPT_HZ, true, "chapter 1 level 1 on the stage select"},
                             {XK_Right, gc_dACCEPT_HZ, true, "the open weapon"},
                             {XK_Down, gc_dMOVE_HZ, false, "the magic row"},
                             {XK_Right, gc_dACCEPT_HZ, false, "the open magic"},
                             {XK_Down, gc_dMOVE_HZ, false, "the play button"},
                             {XK_Return, gc_dACCEPT_HZ, false, "play"}};
  ASSERT_TRUE(waitForTitle()) << "the menu music was not heard\n" << m_game.out();
  for (const SPress& press : aPresses) {
    // The level's chord is nowhere in the menus.
    EXPECT_LT(m_tap.secondShare(277.18, 0), 0.05) << "before " << press.pWhat;
    ASSERT_TRUE(!press.bScreenIn || waitScreenIn());
    ASSERT_TRUE(pressOnce(press.key, press.dHz)) << press.pWhat << "\n" << m_report << m_game.out();
  }
  m_tap.poll();
  const size_t uiPlayed = m_tap.frames();
  ASSERT_TRUE(mixUntil([&] { return m_tap.secondShare(440.0, uiPlayed) > 0.5; }, 30.0))
      << "the chapter's video was not heard\n" << m_game.out();
  ASSERT_TRUE(waitForTone(gc_dMOVE_HZ, uiPlayed, 20.0)) << "the how-to-play pages did not come in\n" << m_game.out();
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the how-to-play pages' continue\n" << m_report << m_game.out();
  while (m_tap.secondShare(277.18, uiPlayed) < 0.1 && m_tap.frames() < uiPlayed + 30u * m_tap.rate()) {
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 4))) << m_game.out();
  }
  ASSERT_GT(m_tap.secondShare(277.18, uiPlayed), 0.1) << "the level's music was not heard\n" << m_game.out();

  // The level's music strikes a noise every two seconds (1 s and 3 s into its 4 s loop), as rough as a punch for
  // about 50 ms: a strike is found in 2.5 s of music, K (held a tenth of a second) pressed 0.6 s after one, and its
  // burst listened for over five seconds of mix outside the strikes (the player's first voice line comes later).
  m_tap.poll();
  const size_t uiSecond = static_cast<size_t>(m_tap.rate());
  const size_t uiMusic = m_tap.frames();
  ASSERT_TRUE(mixTo(uiMusic + uiSecond * 5 / 2));
  size_t uiStrike = m_tap.noisiestBlock(uiMusic, uiSecond * 5 / 2);
  while (uiStrike + uiSecond * 6 / 10 < m_tap.frames()) uiStrike += 2 * uiSecond;
  ASSERT_TRUE(mixTo(uiStrike + uiSecond * 6 / 10));
  m_tap.poll();
  const size_t uiPunch = m_tap.frames();
  keyDown(XK_k);
  ASSERT_TRUE(mixFor(0.1));
  keyUp(XK_k);
  // Blocks from one before a strike to 80 ms after it.
  const auto struck = [&](size_t uiBlock) {
    return (uiBlock - uiStrike + uiSecond / 50) % (2 * uiSecond) < uiSecond / 50 + uiSecond * 8 / 100;
  };
  EXPECT_TRUE(mixUntil([&] { return m_tap.burstHeard(uiPunch, uiPunch + 5 * uiSecond, struck); }, 5.0))
      << "no punch was heard\n" << m_report;

  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "the pause menu\n" << m_report << m_game.out();
  // The pause silences the level: the menu music is heard anew as quit lands on the main menu.
  m_tap.poll();
  const size_t uiPaused = m_tap.frames();
  ASSERT_TRUE(waitScreenIn());
  ASSERT_TRUE(pressOnce(XK_Up, gc_dMOVE_HZ)) << "Quit on the pause menu\n" << m_report << m_game.out();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "quit\n" << m_report << m_game.out();
  ASSERT_TRUE(waitForTone(gc_dMENU_MUSIC_HZ, uiPaused, 20.0)) << "the main menu's music\n" << m_report << m_game.out();
  ASSERT_TRUE(waitScreenIn());
  EXPECT_TRUE(pressOnce(XK_Down, gc_dMOVE_HZ)) << "quit did not land on the main menu\n" << m_report;
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

// A 10 ms tap of S, shorter than a frame, moves the player down a lane, and one of W moves it back: the player's
// cyan box is found in the screen's picture (the columns it runs in, a fifth of the way across), whose bottom drops
// by a lane and comes back. The taps come a second after the box first shows (the level's fade in is over), before
// the first enemies reach the player.
TEST_F(LevelPlay, KeyTapsShorterThanAFrameChangeLanes) {
  // The bottom of the player's box: the lowest cyan row (most of the columns' pixels cyan) with at least 40 cyan
  // rows among the 90 above it. The box is about 90 rows tall, two rows in three cyan under the CRT effect's
  // scanlines; a smaller cyan thing passing through the columns has too few. -1 while no box is drawn there (the
  // player blinks while it cannot be hurt).
  const auto playerBottom = [&]() -> int {
    const int iScreenWidth = DisplayWidth(m_pX, DefaultScreen(m_pX));
    const int iHeight = DisplayHeight(m_pX, DefaultScreen(m_pX));
    const int iLeft = iScreenWidth * 19 / 100, iWidth = iScreenWidth / 25;
    const CScreenShot shot(m_pX, {iLeft, 0, iLeft + iWidth, iHeight});
    if (!shot.read()) return -1;
    std::vector<int> cyanInRow(static_cast<size_t>(iHeight), 0);
    for (const auto& [x, y] : shot.where([](SRgb c) { return c.r < 120 && c.g > 150 && c.b > 150; })) ++cyanInRow[y];
    std::vector<int> cyanRowsTo(static_cast<size_t>(iHeight) + 1, 0);  // cyan rows above each row
    for (int y = 0; y < iHeight; ++y) cyanRowsTo[y + 1] = cyanRowsTo[y] + (cyanInRow[y] * 2 > iWidth ? 1 : 0);
    for (int y = iHeight - 1; y >= 90; --y) {
      if (cyanRowsTo[y + 1] > cyanRowsTo[y] && cyanRowsTo[y + 1] - cyanRowsTo[y - 89] >= 40) return y;
    }
    return -1;
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
  while (m_tap.rate() == 0) ASSERT_TRUE(mixOn(4800)) << m_game.out();
  const auto shown = [](int iRow) { return iRow > 0; };
  ASSERT_GT(bottomWhen(shown, 200), 0) << "no player box in the picture\n" << m_game.out();
  ASSERT_TRUE(mixFor(1.0)) << m_game.out();
  const int iStart = bottomWhen(shown, 20);
  ASSERT_GT(iStart, 0) << "the player's box went away\n" << m_game.out();
  keyDown(XK_s, 10);
  EXPECT_GT(bottomWhen([&](int iRow) { return iRow > iStart + 20; }, 20), iStart + 20)
      << "the tap of S did not move the player down a lane\n" << m_report;
  keyDown(XK_w, 10);
  EXPECT_NEAR(bottomWhen([&](int iRow) { return shown(iRow) && std::abs(iRow - iStart) <= 4; }, 20), iStart, 4)
      << "the tap of W did not bring the player back\n" << m_report;
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

}  // namespace
