// The mouse and the window through the game's own X server (see PointerPlay.h): a click where nothing may be chosen
// does nothing, and a resized window shows the 16:9 picture fitted with black margins and the drawn pointer at the
// mouse. Each key and click is sent once and its answer waited for on the mix's clock; a screen known to be up (by a
// sound or the pointer) gets half a second of mix to fade its entries in, while they take no accept or click.
#include "Tests/Code/System/Play/PointerPlay.h"

namespace {

// The window's pixels that are not black (a channel above 16): their bounds, right and bottom exclusive.
struct SBox {
  int iLeft, iTop, iRight, iBottom;
};

class ClickAndResizePlay : public PointerPlay {
 protected:
  // Straight to the title, whose music is the mix's first sound.
  std::string dataRoot() override { return dataRootWith("SKIP_SPLASH 1\n"); }
  std::pair<int, int> pointerAtStart() const override { return {653, 446}; }
  size_t mix(double dSeconds) const { return static_cast<size_t>(std::max(m_tap.rate(), 10000) * dSeconds); }

  void openMainMenu() {
    const auto musicPlays = [&] {
      return m_tap.frames() > mix(0.1) && m_tap.rms(m_tap.frames() - mix(0.1), mix(0.1)) > 0.02;
    };
    ASSERT_TRUE(mixUntil(musicPlays, 30.0)) << "no title music\n" << m_game.out();
    ASSERT_TRUE(mixOn(mix(0.5)) && pressOnce(XK_Return, gc_dCOIN_HZ)) << "no start press\n" << m_game.out();
    ASSERT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second) && mixOn(mix(0.5)));
  }

  // Resizes the game's window (the fixture gave it the keyboard) and waits until the part of it on the screen shows
  // the picture in the expected box, black around it. The picture's top rows may be a black sky; its left, right
  // and bottom edges are the street's, within 2 pixels (the fitted size is rounded, the scaled copy blends edges).
  ::testing::AssertionResult resizeShowsPicture(int iWidth, int iHeight, const SBox& expected) {
    Window game = 0, child = 0;
    int iRevert = 0, iX = 0, iY = 0;
    XGetInputFocus(m_pX, &game, &iRevert);
    XTranslateCoordinates(m_pX, game, DefaultRootWindow(m_pX), 0, 0, &iX, &iY, &child);
    XResizeWindow(m_pX, game, static_cast<unsigned>(iWidth), static_cast<unsigned>(iHeight));
    XWindowAttributes root;
    XGetWindowAttributes(m_pX, DefaultRootWindow(m_pX), &root);
    const int iW = std::min(iWidth, root.width - iX), iH = std::min(iHeight, root.height - iY);
    SBox box{};
    const auto fits = [&] {
      box = SBox{iW, iH, 0, 0};
      XImage* pImage = XGetImage(m_pX, DefaultRootWindow(m_pX), iX, iY, iW, iH, AllPlanes, ZPixmap);
      for (int y = 0; pImage != nullptr && y < iH; ++y) {
        for (int x = 0; x < iW; ++x) {
          const unsigned long uiPixel = XGetPixel(pImage, x, y);
          if (((uiPixel >> 16) & 0xFF) > 16 || ((uiPixel >> 8) & 0xFF) > 16 || (uiPixel & 0xFF) > 16) {
            box = SBox{std::min(box.iLeft, x), std::min(box.iTop, y), std::max(box.iRight, x + 1),
                       std::max(box.iBottom, y + 1)};
          }
        }
      }
      if (pImage != nullptr) XDestroyImage(pImage);
      return std::abs(box.iLeft - expected.iLeft) <= 2 && std::abs(box.iRight - expected.iRight) <= 2 &&
             std::abs(box.iBottom - expected.iBottom) <= 2 && box.iTop >= expected.iTop - 2;
    };
    if (mixUntil(fits)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "drawn in (" << box.iLeft << ", " << box.iTop << ") to (" << box.iRight
                                         << ", " << box.iBottom << ")";
  }
};

// On a fresh profile Marathon and Survivor are locked (faint, skipped by Up and Down): clicks where they are neither
// accept nor move anything, and the main menu stays, as a click on Options opens them (accepted), whose music row
// takes Left (moved; the main menu has nothing to the left).
TEST_F(ClickAndResizePlay, ClicksWhereTheLockedModesAreDoNothingAndAClickOnOptionsOpensThem) {
  openMainMenu();
  if (HasFatalFailure()) return;
  for (const int y : {290, 335}) {
    moveTo(640, y);
    ASSERT_TRUE(pointerComesTo(640, y));
    const size_t uiFrom = click();
    ASSERT_TRUE(mixOn(mix(1.0)));
    EXPECT_FALSE(m_tap.heard(gc_dACCEPT_HZ, uiFrom) || m_tap.heard(gc_dMOVE_HZ, uiFrom)) << "a click at y " << y;
  }
  moveTo(640, 390);
  ASSERT_TRUE(pointerComesTo(640, 390));
  const size_t uiFrom = click();
  ASSERT_TRUE(mixUntil([&] { return m_tap.heard(gc_dACCEPT_HZ, uiFrom); }, 4.0)) << "the click on Options";
  EXPECT_TRUE(mixOn(mix(0.5)) && pressOnce(XK_Left, gc_dMOVE_HZ)) << "the options did not open";
}

// The main menu's window made taller, then wider than 16:9: the picture fills its width or height, centred, black
// around it, and the pointer is drawn where the mouse stands (it did not move).
TEST_F(ClickAndResizePlay, AResizedWindowFitsThePictureWithBlackMarginsAndThePointerStaysAtTheMouse) {
  openMainMenu();
  if (HasFatalFailure()) return;
  const struct {
    int iWidth, iHeight;
    SBox picture;
  } aSizes[] = {{800, 700, {0, 125, 800, 575}}, {1200, 500, {155, 0, 1044, 500}}};
  for (const auto& size : aSizes) {
    EXPECT_TRUE(resizeShowsPicture(size.iWidth, size.iHeight, size.picture)) << size.iWidth << " x " << size.iHeight;
    EXPECT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second)) << size.iWidth;
  }
}

// The first story level from the development settings: its how-to-play pages come in focused (the move tone) and
// Return goes on into play (accepted). The window resized in play shows the picture fitted; the pause menu then
// (Escape, its focus heard) draws the pointer where the mouse has stood since the start, hidden during play.
class LevelResizePlay : public ClickAndResizePlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_UI 1\nSKIP_SPLASH 1\n"); }
  std::pair<int, int> pointerAtStart() const override { return {653, 520}; }
};

TEST_F(LevelResizePlay, AWindowResizedInPlayFitsThePictureAndThePauseMenuDrawsThePointerAtTheMouse) {
  ASSERT_TRUE(mixUntil([&] { return m_tap.rate() > 0 && m_tap.heard(gc_dMOVE_HZ, 0); }, 30.0)) << m_game.out();
  ASSERT_TRUE(mixOn(mix(0.5)) && pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the pages did not go on\n" << m_game.out();
  ASSERT_TRUE(mixOn(mix(0.5)));
  EXPECT_TRUE(resizeShowsPicture(800, 700, {0, 125, 800, 575}));
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "no pause menu\n" << m_game.out();
  EXPECT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second));
}

}  // namespace
