// The front end played as a player does: the game runs in a window of a virtual X server of the test's own, keys
// and the mouse are sent through that server (XTest), what happens is heard in the mix the game writes
// (GRINDLOW_FMOD_WAV) and seen on the server's screen. Nothing is set inside the game: a screen that came in without
// a focused button would not answer the keys, and a press the menus did not take would not be heard.
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
  ASSERT_TRUE(waitForTitle()) << "the title did not come (its music, its logo)\n" << m_game.out();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "the title took no start press";
  ASSERT_TRUE(pressOnceWhenIn(XK_Down, gc_dMOVE_HZ)) << "the main menu had no focused button";
  // Taps shorter than a frame count as presses.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pressOnce(XK_Up, gc_dMOVE_HZ, true)) << i;
  m_tap.poll();
  const size_t uiCredits = m_tap.frames();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the credits button was not accepted";
  ASSERT_TRUE(waitForTone(gc_dCREDITS_MUSIC_HZ, uiCredits, 10.0)) << "the credits did not come in\n" << m_report;
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dACCEPT_HZ)) << "the credits did not take back";
  ASSERT_TRUE(pressOnceWhenIn(XK_Up, gc_dMOVE_HZ)) << "the main menu came back without focus";
  keyDown(XK_Return);
  EXPECT_FALSE(mixFor(5.0)) << "Quit did not end the game\n" << m_report;
  keyUp(XK_Return);
  if (!m_game.hasEnded()) kill(m_game.pid(), SIGKILL);
  const int iStatus = m_game.hasEnded() ? m_game.endedStatus() : m_game.finish();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n"
                                                                           << m_game.out();
}

// The mouse through the X server: the game starts with it over an empty part of the main menu's screen.
class PointerPlay : public FrontEndPlay {
 protected:
  std::pair<int, int> pointerAtStart() const override { return {150, 420}; }
};

// On the main menu (Story focused) the pointer is drawn where the mouse stood when the game started and follows it;
// a click beside the buttons does nothing (nothing heard), nor do clicks where Marathon and Survivor are, locked on a
// fresh profile (faint, skipped by Up and Down); a click on Options (not focused) opens the options (accepted; the
// focus tone sounds with it), whose first row lowers the music (Left, heard; the main menu has nothing to the left)
// and whose back saves it: the profile stores 70, which Story, the focused entry, would not. Back on the main menu,
// the window made taller, then wider than 16:9, fits the picture to its width or height, centred, black around it,
// from the first frame drawn at the new size on (no frame in the old place comes after the resize), and the
// pointer is drawn where the mouse stands (it did not move).
TEST_F(PointerPlay, ThePointerFollowsTheMouseAndAClickOpensTheButtonUnderIt) {
  ASSERT_TRUE(waitForTitle()) << "the title did not come (its music, its logo)\n" << m_game.out();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "the title took no start press";
  // The main menu's buttons take no click before their way in is over.
  ASSERT_TRUE(waitScreenIn());
  EXPECT_TRUE(pointerComesTo(150, 420)) << "not where the mouse started";
  for (const auto& [x, y] : {std::pair{1150, 420}, std::pair{640, 290}, std::pair{640, 335}}) {
    EXPECT_TRUE(moveTo(x, y)) << "it did not follow the mouse to " << x << ", " << y;
    const size_t uiFrom = click();
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate())));
    EXPECT_FALSE(m_tap.heard(gc_dACCEPT_HZ, uiFrom)) << "a click at " << x << ", " << y << " accepted something";
    EXPECT_FALSE(m_tap.heard(gc_dMOVE_HZ, uiFrom)) << "a click at " << x << ", " << y << " moved the focus";
  }

  // The Options entry, the second below Story.
  ASSERT_TRUE(moveTo(640, 390));
  const size_t uiFrom = click();
  ASSERT_TRUE(mixUntil([&] { return m_tap.heard(gc_dACCEPT_HZ, uiFrom); }, 4.0)) << "the click was not accepted";
  ASSERT_TRUE(pressOnceWhenIn(XK_Left, gc_dMOVE_HZ)) << "no music row";
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dACCEPT_HZ)) << "no back";
  EXPECT_EQ(waitForStored(2536, {70}), (std::vector<int32_t>{70})) << "the click did not open the options";
  ASSERT_TRUE(moveTo(653, 446));
  const struct {
    int iWidth, iHeight;
    SBox picture;
  } aSizes[] = {{800, 700, {0, 125, 800, 575}}, {1200, 500, {155, 0, 1044, 500}}};
  for (const auto& size : aSizes) {
    EXPECT_TRUE(resizeShowsPicture(size.iWidth, size.iHeight, size.picture)) << size.iWidth << " x " << size.iHeight;
    EXPECT_TRUE(pointerComesTo(653, 446)) << size.iWidth;
  }
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

// A level played from the development settings that go straight into play ("SKIP_UI"), in a data root of the
// test's own that links the build's archives. The first story level opens on the how-to-play pages, which come in
// with their button focused (its move heard); once they are in, Return's accept (heard) leaves them for play
// (m_uiPlay the mix's frame before the press).
class LevelPlay : public FrontEndPlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_UI 1\nSKIP_SPLASH 1\n"); }
  void SetUp() override {
    FrontEndPlay::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(waitForTone(gc_dMOVE_HZ, 0, 30.0) && waitScreenIn()) << "the how-to-play pages did not come in\n"
                                                                      << m_game.out();
    m_tap.poll();
    m_uiPlay = m_tap.frames();
    ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the pages took no Return";
  }
  // What one read of the screen shows: the pause menu's focused "Resume" (yellow text near the top of the middle
  // of the screen, faint while the menu fades in or out: red and green well above blue; the street's colours there
  // are blues and greys; "Resume" in the focus colour is about a thousand yellow pixels, still hundreds half faded,
  // and at full light once the menu's way in is over: resumeStands)
  // and the banner, as light pixels in a band of rows through the middle of its text ("Chapter 1 - Level 1", across
  // most of the screen's width), which passes beside the pause menu and through its buttons' plates (the middle 38%
  // of the width) between the texts of its second and third buttons. Light is a mean of the three channels of 140 or
  // more: the CRT effect's mask and scanlines leave the banner's white at about 190, the plates are darker, and the
  // street has nothing that light at that height (its lamps are near the top; the player and the enemies run lower).
  SOverPlayLook bannerLook() {
    const int iW = DisplayWidth(m_pX, DefaultScreen(m_pX)), iH = DisplayHeight(m_pX, DefaultScreen(m_pX));
    const CScreenShot shot(m_pX, {iW * 15 / 100, iH * 30 / 100, iW * 15 / 100 + iW * 70 / 100, iH * 52 / 100});
    if (!shot.read()) return {};
    const auto light = [](SRgb c) { return c.r + c.g + c.b >= 3 * 140; };
    const auto yellow = [](SRgb c) { return c.r > c.b + 30 && c.g > c.b + 20 && c.r + c.g >= 100; };
    const int iBandTop = iH * 485 / 1000;
    const SBox resume{iW * 40 / 100, shot.box().iTop, iW * 60 / 100, iH * 45 / 100};
    return {shot.count(yellow, resume) >= 60, resumeStands(shot, resume),
            shot.count(light, {shot.box().iLeft, iBandTop, shot.box().iRight, shot.box().iBottom}),
            shot.count(light, {iW * 31 / 100, iBandTop, iW * 69 / 100, shot.box().iBottom})};
  }
  size_t m_uiPlay = 0;
};

// In a level, Escape opens the pause menu with its first entry focused (its move is heard), Escape on it resumes
// (accepted) and Escape pauses again: Down moves (heard), and How to play, accepted, shows the pages, whose back
// (heard) returns to play: the pause menu opens again with Escape.
TEST_F(LevelPlay, PauseMenuAndHowToPlayThroughTheKeyboard) {
  // Each key waits out the way in of the screen the last one switched to (play included: the pages go out and the
  // gameplay keys read nothing for two frames; the pause menu's entries take no back while they fade in).
  ASSERT_TRUE(pressOnceWhenIn(XK_Escape, gc_dMOVE_HZ)) << "the pause menu came without focus";
  ASSERT_TRUE(pressOnceWhenIn(XK_Escape, gc_dACCEPT_HZ)) << "back on the pause menu was not taken";
  ASSERT_TRUE(pressOnceWhenIn(XK_Escape, gc_dMOVE_HZ)) << "back on the pause menu did not resume";
  ASSERT_TRUE(waitScreenIn());
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pressOnce(XK_Down, gc_dMOVE_HZ)) << i;
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "How to play was not accepted";
  ASSERT_TRUE(pressOnceWhenIn(XK_Return, gc_dACCEPT_HZ)) << "the pages' back was not accepted";
  ASSERT_TRUE(pressOnceWhenIn(XK_Escape, gc_dMOVE_HZ)) << "play did not resume";
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
  ASSERT_TRUE(waitForTitle()) << "the title did not come (its music, its logo)\n" << m_game.out();
  for (const SPress& press : aPresses) {
    // The level's chord is nowhere in the menus.
    EXPECT_LT(m_tap.secondShare(277.18, 0), 0.05) << "before " << press.pWhat;
    ASSERT_TRUE(press.bScreenIn ? pressOnceWhenIn(press.key, press.dHz) : pressOnce(press.key, press.dHz))
        << press.pWhat;
  }
  m_tap.poll();
  const size_t uiPlayed = m_tap.frames();
  ASSERT_TRUE(mixUntil([&] { return m_tap.secondShare(440.0, uiPlayed) > 0.5; }, 30.0))
      << "the chapter's video was not heard\n" << m_game.out();
  ASSERT_TRUE(waitForTone(gc_dMOVE_HZ, uiPlayed, 20.0)) << "the how-to-play pages did not come in\n" << m_game.out();
  ASSERT_TRUE(pressOnceWhenIn(XK_Return, gc_dACCEPT_HZ)) << "the how-to-play pages' continue";
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

  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "the pause menu";
  // The pause silences the level: the menu music is heard anew as quit lands on the main menu.
  m_tap.poll();
  const size_t uiPaused = m_tap.frames();
  ASSERT_TRUE(pressOnceWhenIn(XK_Up, gc_dMOVE_HZ)) << "Quit on the pause menu";
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "quit";
  ASSERT_TRUE(waitForTone(gc_dMENU_MUSIC_HZ, uiPaused, 20.0)) << "the main menu's music\n" << m_report << m_game.out();
  EXPECT_TRUE(pressOnceWhenIn(XK_Down, gc_dMOVE_HZ)) << "quit did not land on the main menu";
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

// The level of the lane taps steps its clocks a 60th of a second a frame ("FIXED_DT"; the device presents at most
// 60 frames a second), so its time never runs ahead of the mix's, and on a loaded machine the level slows down with
// its frames instead of bringing the first enemies (some six seconds into play) to the player while the test waits.
class LaneTapPlay : public LevelPlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_UI 1\nSKIP_SPLASH 1\nFIXED_DT 0.016667\n"); }
};

// A 10 ms tap of S, shorter than a frame, moves the player down a lane, and one of W moves it back: the player's
// cyan box is found in the screen's picture (the columns it runs in, a fifth of the way across), whose bottom drops
// by a lane and comes back. The taps come a quarter second after the box first shows (the pages' way out, which
// holds the keys for two frames, is long over), well before the first enemies reach the player.
TEST_F(LaneTapPlay, KeyTapsShorterThanAFrameChangeLanes) {
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
  // Waits (at most dSeconds of mix) until the player's bottom row satisfies the condition; the row last seen.
  const auto bottomWhen = [&](auto condition, double dSeconds) {
    int iBottom = -1;
    mixUntil([&] { return condition(iBottom = playerBottom()); }, dSeconds);
    return iBottom;
  };
  const auto shown = [](int iRow) { return iRow > 0; };
  ASSERT_GT(bottomWhen(shown, 20.0), 0) << "no player box in the picture\n" << m_game.out();
  ASSERT_TRUE(mixFor(0.25)) << m_game.out();
  const int iStart = bottomWhen(shown, 2.0);
  ASSERT_GT(iStart, 0) << "the player's box went away\n" << m_game.out();
  keyDown(XK_s, 10);
  EXPECT_GT(bottomWhen([&](int iRow) { return iRow > iStart + 20; }, 2.0), iStart + 20)
      << "the tap of S did not move the player down a lane\n" << m_report;
  keyDown(XK_w, 10);
  EXPECT_NEAR(bottomWhen([&](int iRow) { return shown(iRow) && std::abs(iRow - iStart) <= 4; }, 2.0), iStart, 4)
      << "the tap of W did not bring the player back\n" << m_report;
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

// The level's start banner and the pause menu: the pages left (Return), play begins with a second of fade-in
// and then three seconds of "Chapter 1 - Level 1". Paused 1, 1.5, 2, 2.5 and 3 s into play, nothing of the banner
// shows with the menu, nor among its buttons while it fades out, and it is seen again once the menu has gone
// (checkTextWaitsForThePauseMenu).
TEST_F(LevelPlay, NothingOfTheStartBannerShowsWithThePauseMenu) {
  checkTextWaitsForThePauseMenu(m_uiPlay, {1.0, 1.5, 2.0, 2.5, 3.0}, [&] { return bannerLook(); },
                                50 * gc_iSTRAY_PIXELS);
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

// The window resized in play shows the picture fitted from the first frame drawn at the new size on; the pause menu
// then (Escape, its focus heard) draws the pointer where the mouse has stood since the start, hidden during play.
class LevelResizePlay : public LevelPlay {
 protected:
  std::pair<int, int> pointerAtStart() const override { return {653, 520}; }
};

TEST_F(LevelResizePlay, AWindowResizedInPlayFitsThePictureAndThePauseMenuDrawsThePointerAtTheMouse) {
  ASSERT_TRUE(mixFor(0.5));
  EXPECT_TRUE(resizeShowsPicture(800, 700, {0, 125, 800, 575}));
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "no pause menu";
  EXPECT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second));
}

// The equipment screen as a player meets it on a fresh profile, in a 16:9 and a 4:3 window. The white frame stands
// round each row's middle item, the one Play takes: the locked crossbow and ninja bomb, with their locks, until
// Right turns each row to its open item, and then Play is accepted.
// The equipment screen's middle slots and one side slot, in scene pixels from the centre of the 480 x 270 picture;
// the frame's ring lies 18 to 20 scene pixels out from a slot's centre, outside its 36-pixel tile.
using SSlot = std::pair<int, int>;
constexpr SSlot gc_WEAPON_MIDDLE{0, -46}, gc_WEAPON_RIGHT{62, -46}, gc_MAGIC_MIDDLE{0, 14}, gc_MAGIC_RIGHT{62, 14};

class EquipmentPlay : public FrontEndPlay, public ::testing::WithParamInterface<const char*> {
 protected:
  std::string screen() const override { return GetParam(); }
  std::string dataRoot() override { return dataRootWith("SKIP_SPLASH 1\n"); }

  // Waits (five seconds of mix at most) until a focused entry stands in the scene rectangle, come in and still:
  // three pictures of it a tenth of a second of mix apart are the same and hold its text at full light (a channel
  // at 252 or more: white or yellow through the CRT copy's coloured columns; a text still fading in is dimmer).
  bool entryStands(int iCX, int iCY, int iHalfW, int iHalfH) {
    CScreenShot before = scene(iCX, iCY, iHalfW, iHalfH);
    int iStill = 0;
    return mixUntil([&] {
      const CScreenShot now = scene(iCX, iCY, iHalfW, iHalfH);
      const bool bLight = now.where([](SRgb c) { return std::max({c.r, c.g, c.b}) >= 0xFC; }).size() > 50;
      iStill = now == before && bLight ? iStill + 1 : 0;
      before = now;
      return iStill >= 2;
    });
  }

  // What the window shows round a slot: the mean brightness (0..255, the mean of the three channels) of the frame's
  // ring, and the mean of red less blue inside the tile, high where the lock's gold covers the picture. Means hold
  // through the CRT copy's scanlines and coloured columns.
  struct SSlotLook {
    double dRing = 0.0;
    double dWarm = 0.0;
  };
  SSlotLook look(const SSlot& slot) {
    constexpr int iHalf = 21;
    const CScreenShot shot = scene(slot.first, slot.second, iHalf, iHalf);
    const SBox& box = shot.box();
    SSlotLook result;
    int iRing = 0, iInside = 0;
    for (int y = box.iTop; y < box.iBottom; ++y) {
      for (int x = box.iLeft; x < box.iRight; ++x) {
        // Scene pixels from the slot's centre.
        const double dX = (x - box.iLeft + 0.5) * 2 * iHalf / shot.width() - iHalf;
        const double dY = (y - box.iTop + 0.5) * 2 * iHalf / shot.height() - iHalf;
        const double dOut = std::max(std::fabs(dX), std::fabs(dY));
        const SRgb c = shot.rgb(x, y);
        if (dOut >= 18.5 && dOut < 19.5) {
          result.dRing += (c.r + c.g + c.b) / 3.0;
          ++iRing;
        } else if (dOut < 14.0) {
          result.dWarm += c.r - c.b;
          ++iInside;
        }
      }
    }
    result.dWarm /= std::max(iInside, 1);
    result.dRing /= std::max(iRing, 1);
    return result;
  }
};

// Measured at 1280 x 720 and 1024 x 768: the frame's ring 140 to 150 bright, the side slots' 35 to 57; a locked
// item's tile 56 to 58 warm, the open items' -26 to 2.
TEST_P(EquipmentPlay, TheFrameMarksTheItemsPlayTakes) {
  // Each key is pressed once the screen that takes it stands: the title with its music, the main menu's Story and
  // the stage select's first level focused, the equipment screen with its frames, each after its way in (a long
  // frame on a loaded machine shows a fading entry still); the weapon row has the focus.
  ASSERT_TRUE(waitForTitle()) << "the title did not come (its music, its logo)\n" << m_game.out();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "the title took no start press";
  ASSERT_TRUE(waitScreenIn() && entryStands(0, -56, 92, 9)) << "the main menu did not come";
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "Story was not accepted";
  ASSERT_TRUE(waitScreenIn() && entryStands(-96, -71, 58, 6)) << "the stage select did not come";
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the first level was not accepted";
  ASSERT_TRUE(waitScreenIn() && mixUntil([&] { return look(gc_WEAPON_MIDDLE).dRing > 110.0; }, 3.0)) << "no frame came";

  const SSlot aaRows[2][2] = {{gc_WEAPON_MIDDLE, gc_WEAPON_RIGHT}, {gc_MAGIC_MIDDLE, gc_MAGIC_RIGHT}};
  SSlotLook aBeside[2];
  for (int iRow = 0; iRow < 2; ++iRow) {
    SCOPED_TRACE(iRow);
    const SSlotLook framed = look(aaRows[iRow][0]);
    aBeside[iRow] = look(aaRows[iRow][1]);
    EXPECT_GT(framed.dRing, 110.0);
    EXPECT_LT(aBeside[iRow].dRing, 80.0);
    EXPECT_GT(framed.dWarm, 40.0) << "the framed item is locked: its lock shows";
    EXPECT_LT(aBeside[iRow].dWarm, 15.0) << "the open item beside it";
  }

  // Right turns the weapon row, Down goes to the magic row, Right turns it: each frame holds the open item that
  // stood beside it, and Play takes them.
  ASSERT_TRUE(pressOnce(XK_Right, gc_dACCEPT_HZ)) << "the weapon row did not turn";
  ASSERT_TRUE(pressOnce(XK_Down, gc_dMOVE_HZ)) << "no move to the magic row";
  ASSERT_TRUE(pressOnce(XK_Right, gc_dACCEPT_HZ)) << "the magic row did not turn";
  for (int iRow = 0; iRow < 2; ++iRow) {
    SCOPED_TRACE(iRow);
    const SSlotLook framed = look(aaRows[iRow][0]);
    EXPECT_GT(framed.dRing, 110.0);
    EXPECT_NEAR(framed.dWarm, aBeside[iRow].dWarm, 10.0);
  }
  ASSERT_TRUE(pressOnce(XK_Down, gc_dMOVE_HZ)) << "no move to Play";
  EXPECT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "Play did not take the framed items";
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

INSTANTIATE_TEST_SUITE_P(Screens, EquipmentPlay, ::testing::Values("1280x720x24", "1024x768x24"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).substr(0, std::string(info.param).rfind('x'));
                         });

}  // namespace
