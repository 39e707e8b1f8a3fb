// The window through the game's own X server (see FrontEndPlay.h): a resized window shows the 16:9 picture fitted
// with black margins and the drawn pointer at the mouse. Each key is sent once and its answer waited for on the
// mix's clock; a screen known to be up (by a sound) gets its way in to fade its entries in.
#include "Tests/Code/System/Play/FrontEndPlay.h"

namespace {

class ResizePlay : public PointerPlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_SPLASH 1\n"); }
  std::pair<int, int> pointerAtStart() const override { return {653, 446}; }

  // Resizes the game's window and waits until the part of it on the screen shows the picture in the expected box
  // (window pixels), black (no channel above 16) around it. The picture's top rows may be a black sky; its left,
  // right and bottom edges are the street's, within 2 pixels (the fitted size is rounded, the scaled copy blends
  // edges).
  ::testing::AssertionResult resizeShowsPicture(int iWidth, int iHeight, const SBox& expected) {
    XWindowAttributes window{};
    XResizeWindow(m_pX, gameWindow(&window), static_cast<unsigned>(iWidth), static_cast<unsigned>(iHeight));
    SBox box{};
    const auto fits = [&] {
      const CScreenShot shot(m_pX, {window.x, window.y, window.x + iWidth, window.y + iHeight});
      box = SBox{iWidth, iHeight, 0, 0};
      for (const auto& [x, y] : shot.where([](SRgb c) { return std::max({c.r, c.g, c.b}) > 16; })) {
        box = SBox{std::min(box.iLeft, x - window.x), std::min(box.iTop, y - window.y),
                   std::max(box.iRight, x - window.x + 1), std::max(box.iBottom, y - window.y + 1)};
      }
      return std::abs(box.iLeft - expected.iLeft) <= 2 && std::abs(box.iRight - expected.iRight) <= 2 &&
             std::abs(box.iBottom - expected.iBottom) <= 2 && box.iTop >= expected.iTop - 2;
    };
    if (mixUntil(fits)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "drawn in (" << box.iLeft << ", " << box.iTop << ") to (" << box.iRight
                                         << ", " << box.iBottom << ")";
  }
};

// The main menu's window made taller, then wider than 16:9: the picture fills its width or height, centred, black
// around it, and the pointer is drawn where the mouse stands (it did not move).
TEST_F(ResizePlay, AResizedWindowFitsThePictureWithBlackMarginsAndThePointerStaysAtTheMouse) {
  ASSERT_TRUE(waitForTitle()) << "no title music\n" << m_game.out();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "no start press\n" << m_report << m_game.out();
  ASSERT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second) && waitScreenIn());
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
class LevelResizePlay : public ResizePlay {
 protected:
  std::string dataRoot() override { return dataRootWith("SKIP_UI 1\nSKIP_SPLASH 1\n"); }
  std::pair<int, int> pointerAtStart() const override { return {653, 520}; }
};

TEST_F(LevelResizePlay, AWindowResizedInPlayFitsThePictureAndThePauseMenuDrawsThePointerAtTheMouse) {
  ASSERT_TRUE(waitForTone(gc_dMOVE_HZ, 0, 30.0)) << m_game.out();
  ASSERT_TRUE(mixFor(0.5) && pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the pages did not go on\n" << m_game.out();
  ASSERT_TRUE(mixFor(0.5));
  EXPECT_TRUE(resizeShowsPicture(800, 700, {0, 125, 800, 575}));
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dMOVE_HZ)) << "no pause menu\n" << m_game.out();
  EXPECT_TRUE(pointerComesTo(pointerAtStart().first, pointerAtStart().second));
}

}  // namespace
