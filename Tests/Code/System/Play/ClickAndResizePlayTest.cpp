// The mouse and the window as a player meets them, through the game's own X server (see PointerPlay.h): a click
// where nothing may be chosen does nothing, and a window resized through the server shows the 16:9 picture fitted
// into it with black margins, the drawn pointer where the mouse is. Each key and click is sent once and its answer
// waited for on the mix's clock; a screen is known to be up by what it sounds or draws, and is given half a second
// of mix to fade its entries in (they take no accept or click while they fade).
#include "Tests/Code/System/Play/PointerPlay.h"

namespace {

// Pixels of the window that are not black (any channel above 16): their bounding box, right and bottom exclusive.
struct SBox {
  int iLeft;
  int iTop;
  int iRight;
  int iBottom;
};

// The edges of the picture may be off by 2 pixels: the fitted size is rounded, and the scaled copy blends the
// picture's edge pixels with its margins.
constexpr int gc_iEDGE_TOLERANCE = 2;

class ClickAndResizePlay : public PointerPlay {
 protected:
  // Straight to the title, whose music is then the first sound in the mix.
  std::string dataRoot() override { return dataRootWith("SKIP_SPLASH 1\n"); }
  // Over an empty part of the main menu, and of the picture in each window size the tests give.
  std::pair<int, int> pointerAtStart() const override { return {653, 446}; }

  size_t mixFrames(double dSeconds) const { return static_cast<size_t>(std::max(m_tap.rate(), 10000) * dSeconds); }

  // Presses the key once and holds it until the tone is heard, for at most four seconds of mix; whether it was.
  bool pressOnce(KeySym key, double dHz) {
    const KeyCode code = XKeysymToKeycode(m_pX, key);
    m_tap.poll();
    const size_t uiFrom = m_tap.frames();
    XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
    XSync(m_pX, False);
    const bool bHeard = mixUntil([&] { return m_tap.rate() > 0 && m_tap.heard(dHz, uiFrom); }, 4.0);
    XTestFakeKeyEvent(m_pX, code, False, CurrentTime);
    XSync(m_pX, False);
    return bHeard;
  }

  // Once the title's music plays, Return there (the coin) opens the main menu, which draws the pointer.
  void openMainMenu() {
    ASSERT_TRUE(mixUntil(
        [&] { return m_tap.frames() > mixFrames(0.1) && m_tap.rms(m_tap.frames() - mixFrames(0.1), mixFrames(0.1)) > 0.02; },
        30.0))
        << "no music on the title\n" << m_game.out();
    ASSERT_TRUE(mixOn(mixFrames(0.5)));
    ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "the title took no start press\n" << m_game.out();
    ASSERT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second)) << "no pointer on the main menu";
    ASSERT_TRUE(mixOn(mixFrames(0.5)));
  }

  // The game's top-level window (the server's one viewable child of the root) and its place on the screen.
  Window gameWindow(int* pX, int* pY) {
    Window root = 0, parent = 0, game = 0;
    Window* pChildren = nullptr;
    unsigned int uiCount = 0;
    XQueryTree(m_pX, DefaultRootWindow(m_pX), &root, &parent, &pChildren, &uiCount);
    for (unsigned int i = 0; i < uiCount; ++i) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(m_pX, pChildren[i], &attributes) && attributes.map_state == IsViewable) {
        game = pChildren[i];
      }
    }
    if (pChildren != nullptr) XFree(pChildren);
    Window child = 0;
    XTranslateCoordinates(m_pX, game, root, 0, 0, pX, pY, &child);
    return game;
  }

  void resizeWindow(int iWidth, int iHeight) {
    int iX = 0, iY = 0;
    XResizeWindow(m_pX, gameWindow(&iX, &iY), static_cast<unsigned>(iWidth), static_cast<unsigned>(iHeight));
    XSync(m_pX, False);
  }

  // What of a window of that size is not black, read from the root window where the game's window is (the part of
  // it on the screen: the window's frame puts it lower than the screen's top).
  SBox drawnBox(int iWidth, int iHeight) {
    int iX = 0, iY = 0;
    gameWindow(&iX, &iY);
    XWindowAttributes root;
    XGetWindowAttributes(m_pX, DefaultRootWindow(m_pX), &root);
    iWidth = std::min(iWidth, root.width - iX);
    iHeight = std::min(iHeight, root.height - iY);
    SBox box{iWidth, iHeight, 0, 0};
    XImage* pImage = XGetImage(m_pX, DefaultRootWindow(m_pX), iX, iY, static_cast<unsigned>(iWidth),
                               static_cast<unsigned>(iHeight), AllPlanes, ZPixmap);
    if (pImage == nullptr) return SBox{-1, -1, -1, -1};
    for (int y = 0; y < iHeight; ++y) {
      for (int x = 0; x < iWidth; ++x) {
        const unsigned long uiPixel = XGetPixel(pImage, x, y);
        if (((uiPixel >> 16) & 0xFF) > 16 || ((uiPixel >> 8) & 0xFF) > 16 || (uiPixel & 0xFF) > 16) {
          box = SBox{std::min(box.iLeft, x), std::min(box.iTop, y), std::max(box.iRight, x + 1),
                     std::max(box.iBottom, y + 1)};
        }
      }
    }
    XDestroyImage(pImage);
    return box;
  }

  // Whether the window (resized to iWidth x iHeight) comes to show the picture in the expected rectangle, black
  // around it (waited for on the mix's clock). The picture's top rows may be black (a night sky), so its drawn
  // part may start lower; its left, right and bottom edges are the street's.
  ::testing::AssertionResult pictureComesTo(int iWidth, int iHeight, const SBox& expected) {
    SBox box{};
    const auto fits = [&] {
      box = drawnBox(iWidth, iHeight);
      return std::abs(box.iLeft - expected.iLeft) <= gc_iEDGE_TOLERANCE &&
             std::abs(box.iRight - expected.iRight) <= gc_iEDGE_TOLERANCE &&
             std::abs(box.iBottom - expected.iBottom) <= gc_iEDGE_TOLERANCE &&
             box.iTop >= expected.iTop - gc_iEDGE_TOLERANCE;
    };
    if (mixUntil(fits)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "drawn from (" << box.iLeft << ", " << box.iTop << ") to (" << box.iRight
                                         << ", " << box.iBottom << ")";
  }
};

// On a fresh profile Marathon and Survivor are locked: faint on the street and skipped by Up and Down. Clicks where
// they are (below Story) neither accept nor move anything, and the main menu stays: a click on Options opens them
// (accepted), whose music row then takes Left (moved; the main menu has nothing to the left).
TEST_F(ClickAndResizePlay, ClicksWhereTheLockedModesAreDoNothingAndAClickOnOptionsOpensThem) {
  openMainMenu();
  if (HasFatalFailure()) return;
  for (const int y : {290, 335}) {
    moveTo(640, y);
    ASSERT_TRUE(pointerComesTo(640, y));
    const size_t uiFrom = click();
    ASSERT_TRUE(mixOn(mixFrames(1.0)));
    EXPECT_FALSE(m_tap.heard(gc_dACCEPT_HZ, uiFrom)) << "a click at y " << y << " accepted something";
    EXPECT_FALSE(m_tap.heard(gc_dMOVE_HZ, uiFrom)) << "a click at y " << y << " moved the focus";
  }
  moveTo(640, 390);
  ASSERT_TRUE(pointerComesTo(640, 390));
  const size_t uiFrom = click();
  ASSERT_TRUE(mixUntil([&] { return m_tap.heard(gc_dACCEPT_HZ, uiFrom); }, 4.0)) << "the click on Options";
  ASSERT_TRUE(mixOn(mixFrames(0.5)));
  EXPECT_TRUE(pressOnce(XK_Left, gc_dMOVE_HZ)) << "the options did not open";
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

// The main menu's window resized through the server, taller and then wider than 16:9: from the next frame the
// picture fills the window's width or height, centred, with black margins, and the pointer is drawn where the
// mouse stands, which did not move.
TEST_F(ClickAndResizePlay, AResizedWindowFitsThePictureWithBlackMarginsAndThePointerStaysAtTheMouse) {
  openMainMenu();
  if (HasFatalFailure()) return;
  struct SSize {
    int iWidth;
    int iHeight;
    SBox picture;
    const char* pWhat;
  };
  const SSize aSizes[] = {{800, 700, {0, 125, 800, 575}, "800 x 700: margins above and below"},
                          {1200, 500, {155, 0, 1044, 500}, "1200 x 500: margins left and right"}};
  for (const SSize& size : aSizes) {
    resizeWindow(size.iWidth, size.iHeight);
    EXPECT_TRUE(pictureComesTo(size.iWidth, size.iHeight, size.picture)) << size.pWhat;
    EXPECT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second)) << size.pWhat;
  }
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

// The first story level straight from the development settings ("SKIP_UI"): its how-to-play pages come in with
// their button focused (the move tone), Return goes on into play (accepted). The window resized in play shows the
// picture fitted with black margins above and below; Escape then opens the pause menu (its focus heard), which
// draws the pointer where the mouse stands: the pointer was hidden in play, and the mouse has not moved since the
// game started.
class LevelResizePlay : public ClickAndResizePlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_UI 1\nSKIP_SPLASH 1\n"); }
  std::pair<int, int> pointerAtStart() const override { return {653, 520}; }
};

TEST_F(LevelResizePlay, AWindowResizedInPlayFitsThePictureAndThePauseMenuDrawsThePointerAtTheMouse) {
  ASSERT_TRUE(mixUntil([&] { return m_tap.rate() > 0 && m_tap.heard(gc_dMOVE_HZ, 0); }, 30.0))
      << "the how-to-play pages came without focus\n" << m_game.out();
  ASSERT_TRUE(mixOn(mixFrames(0.5)));
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the pages did not go on into play\n" << m_game.out();
  ASSERT_TRUE(mixOn(mixFrames(0.5)));
  resizeWindow(800, 700);
  EXPECT_TRUE(pictureComesTo(800, 700, {0, 125, 800, 575}));
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "no pause menu\n" << m_game.out();
  EXPECT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second));
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

}  // namespace
