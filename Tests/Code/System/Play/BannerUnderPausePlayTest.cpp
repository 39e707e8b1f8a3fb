// The level's start banner and the pause menu, played as a player does: the first story level started from the
// development settings that go straight into play, keys sent once each through the X server (XTest) and their
// answers heard in the mix, the screen read back from the server. Time here is the mix's.
#include "Tests/Code/System/Play/FrontEndPlay.h"
// After the fixture (and GoogleTest): XGetPixel and XDestroyImage.
#include <X11/Xutil.h>

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
    XWindowAttributes root;
    XGetWindowAttributes(m_pX, DefaultRootWindow(m_pX), &root);
    const int iLeft = root.width * 15 / 100, iTop = root.height * 30 / 100;
    const int iWidth = root.width * 70 / 100, iHeight = root.height * 52 / 100 - iTop;
    XImage* pImage = XGetImage(m_pX, DefaultRootWindow(m_pX), iLeft, iTop, iWidth, iHeight, AllPlanes, ZPixmap);
    SLook result;
    if (pImage == nullptr) return result;
    result.iBanner = 0;
    const int iBandTop = root.height * 485 / 1000 - iTop;
    const int iMenuLeft = root.width * 40 / 100 - iLeft, iMenuRight = root.width * 60 / 100 - iLeft;
    const int iMenuBottom = root.height * 45 / 100 - iTop;
    for (int y = 0; y < iHeight; ++y) {
      for (int x = 0; x < iWidth; ++x) {
        const unsigned long uiPixel = XGetPixel(pImage, x, y);
        const unsigned long uiRed = (uiPixel >> 16) & 0xFF, uiGreen = (uiPixel >> 8) & 0xFF, uiBlue = uiPixel & 0xFF;
        if (y >= iBandTop) result.iBanner += uiRed + uiGreen + uiBlue >= 3 * 140;
        if (y < iMenuBottom && x >= iMenuLeft && x < iMenuRight) {
          result.iMenu += uiRed >= 150 && uiGreen >= 150 && uiBlue <= 110;
        }
      }
    }
    XDestroyImage(pImage);
    return result;
  }
};

// A few stray pixels (the pointer's edge, a bloom's glint) are allowed; the banner's text is thousands.
constexpr int gc_iSTRAY_PIXELS = 20;
// "Resume" in the focus colour is a few hundred yellow pixels.
constexpr int gc_iMENU_PIXELS = 60;

// The level opens on its how-to-play pages: Return leaves them (accepted) and play begins, with a second of fade-in
// and then three seconds of "Chapter 1 - Level 1". Paused 1.5, 2 and 2.5 s into play (Escape; the pause menu's
// focus heard), nothing of the banner shows beside or through the menu over half a second from the first
// frame it is seen in (the mix may run ahead of the frames presented); each time Escape resumes (accepted) and the banner is seen again, for the rest of its time.
TEST_F(BannerPlay, NothingOfTheStartBannerShowsWithThePauseMenu) {
  // The pages' button takes the focus as they come in (heard), and takes a press once it has faded in.
  ASSERT_TRUE(mixUntil([&] { return m_tap.rate() > 0 && m_tap.heard(gc_dMOVE_HZ, 0); }, 30.0)) << m_game.out();
  ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 2)));
  const size_t uiPlay = tapOnce(XK_Return);
  ASSERT_TRUE(mixUntil([&] { return m_tap.heard(gc_dACCEPT_HZ, uiPlay); }, 10.0)) << "the pages were not left\n"
                                                                                 << m_game.out();
  const size_t uiRate = static_cast<size_t>(m_tap.rate());
  size_t uiPaused = 0;
  for (const double dSeconds : {1.5, 2.0, 2.5}) {
    SCOPED_TRACE(dSeconds);
    const size_t uiAt = uiPlay + uiPaused + static_cast<size_t>(dSeconds * static_cast<double>(uiRate));
    ASSERT_TRUE(mixUntil([&] { return m_tap.frames() >= uiAt; }, 5.0));
    const size_t uiPause = tapOnce(XK_Escape);
    ASSERT_TRUE(mixUntil([&] { return m_tap.heard(gc_dMOVE_HZ, uiPause); }, 3.0)) << "no pause menu\n"
                                                                                 << m_game.out();
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
    ASSERT_TRUE(mixUntil([&] { return m_tap.heard(gc_dACCEPT_HZ, uiResume); }, 3.0)) << "Escape did not resume";
    uiPaused += uiResume - uiPause;
    int iBack = 0;
    EXPECT_TRUE(mixUntil([&] { return (iBack = look().iBanner) > 50 * gc_iSTRAY_PIXELS; }, 1.5))
        << "the banner is not seen in play: " << iBack << " light pixels";
  }
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

}  // namespace
