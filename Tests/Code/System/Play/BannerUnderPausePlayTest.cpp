// The level's start banner and the pause menu, played as a player does: the first story level started from the
// development settings that go straight into play, keys sent once each through the X server (XTest) and their
// answers heard in the mix, the screen read back from the server. Time here is the mix's.
#include "Tests/Code/System/Play/FrontEndPlay.h"

namespace {

class BannerPlay : public FrontEndPlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_UI 1\nSKIP_SPLASH 1\n"); }

  // Presses and releases the key once (the server times the release, 10 ms on); the mix's frame before the press.
  size_t tapOnce(KeySym key) {
    m_tap.poll();
    const size_t uiFrom = m_tap.frames();
    keyDown(key, 10);
    return uiFrom;
  }

  // What one read of the screen shows: the pause menu's focused "Resume" (yellow text near the top of the middle
  // of the screen; the street has no yellow there) and the banner, as light pixels in a band of rows through the
  // middle of its text ("Chapter 1 - Level 1", across most of the screen's width), which passes beside the pause
  // menu and through its plates between the texts of its second and third buttons. Light is a mean of the three
  // channels of 140 or more: the CRT effect's mask and scanlines leave the banner's white at about 190, the plates
  // are darker, and the street has nothing that light at that height (its lamps are near the top; the player and
  // the enemies run lower). Both from one image, so that they belong to one presented frame.
  struct SLook {
    int iMenu = 0;
    int iBanner = -1;
  };
  SLook look() {
    const int iW = DisplayWidth(m_pX, DefaultScreen(m_pX)), iH = DisplayHeight(m_pX, DefaultScreen(m_pX));
    const CScreenShot shot(m_pX, {iW * 15 / 100, iH * 30 / 100, iW * 15 / 100 + iW * 70 / 100, iH * 52 / 100});
    if (!shot.read()) return {};
    const auto light = [](SRgb c) { return c.r + c.g + c.b >= 3 * 140; };
    const auto yellow = [](SRgb c) { return c.r >= 150 && c.g >= 150 && c.b <= 110; };
    return {shot.count(yellow, {iW * 40 / 100, shot.box().iTop, iW * 60 / 100, iH * 45 / 100}),
            shot.count(light, {shot.box().iLeft, iH * 485 / 1000, shot.box().iRight, shot.box().iBottom})};
  }
};

// A few stray pixels (the pointer's edge, a bloom's glint) are allowed; the banner's text is thousands.
constexpr int gc_iSTRAY_PIXELS = 20;
// "Resume" in the focus colour is a few hundred yellow pixels.
constexpr int gc_iMENU_PIXELS = 60;

// The level opens on its how-to-play pages: Return leaves them (accepted) and play begins, with a second of fade-in
// and then three seconds of "Chapter 1 - Level 1". Paused 1.5, 2 and 2.5 s into play (Escape; the pause menu's
// focus heard), nothing of the banner shows beside or through the menu over half a second from the first frame it
// is seen in (the mix may run ahead of the frames presented); each time Escape resumes (accepted) and the banner is
// seen again, for the rest of its time.
TEST_F(BannerPlay, NothingOfTheStartBannerShowsWithThePauseMenu) {
  // The pages' button takes the focus as they come in (heard), and takes a press once it has faded in.
  ASSERT_TRUE(waitForTone(gc_dMOVE_HZ, 0, 30.0) && mixFor(0.5)) << m_game.out();
  const size_t uiPlay = tapOnce(XK_Return);
  ASSERT_TRUE(waitForTone(gc_dACCEPT_HZ, uiPlay, 10.0)) << "the pages were not left\n" << m_game.out();
  const size_t uiRate = static_cast<size_t>(m_tap.rate());
  size_t uiPaused = 0;
  for (const double dSeconds : {1.5, 2.0, 2.5}) {
    SCOPED_TRACE(dSeconds);
    const size_t uiAt = uiPlay + uiPaused + static_cast<size_t>(dSeconds * static_cast<double>(uiRate));
    ASSERT_TRUE(mixUntil([&] { return m_tap.frames() >= uiAt; }, 5.0));
    const size_t uiPause = tapOnce(XK_Escape);
    ASSERT_TRUE(waitForTone(gc_dMOVE_HZ, uiPause, 3.0)) << "no pause menu\n" << m_game.out();
    SLook seen;
    ASSERT_TRUE(mixUntil([&] { return (seen = look()).iMenu >= gc_iMENU_PIXELS; }, 3.0))
        << "the pause menu is not seen: " << seen.iMenu << " yellow pixels";
    int iMost = seen.iBanner;
    const size_t uiUntil = m_tap.frames() + uiRate / 2;
    while (m_tap.frames() < uiUntil) {
      iMost = std::max(iMost, look().iBanner);
      ASSERT_TRUE(mixOn(uiRate / 20));
    }
    EXPECT_LE(iMost, gc_iSTRAY_PIXELS) << "the banner shows with the pause menu";
    const size_t uiResume = tapOnce(XK_Escape);
    ASSERT_TRUE(waitForTone(gc_dACCEPT_HZ, uiResume, 3.0)) << "Escape did not resume";
    uiPaused += uiResume - uiPause;
    int iBack = 0;
    EXPECT_TRUE(mixUntil([&] { return (iBack = look().iBanner) > 50 * gc_iSTRAY_PIXELS; }, 1.5))
        << "the banner is not seen in play: " << iBack << " light pixels";
  }
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

}  // namespace
