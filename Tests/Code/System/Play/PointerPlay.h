// The game played with the mouse through the X server (see FrontEndPlay.h): where the drawn pointer is, found in
// the screen's picture, and moves and clicks of the mouse.
#pragma once

#include "Tests/Code/System/Play/FrontEndPlay.h"
// After the fixture (and GoogleTest): XGetPixel and XDestroyImage.
#include <X11/Xutil.h>

// The mouse through the X server: the game starts with it over an empty part of the main menu's screen.
class PointerPlay : public FrontEndPlay {
 protected:
  std::pair<int, int> pointerAtStart() const override { return {150, 420}; }

  // The centre of the drawn pointer (its white disc) within 40 pixels of (x, y) of the screen, or (-1, -1) when
  // fewer than 10 white pixels are there. The menus draw nothing white; the disc is.
  std::pair<double, double> pointerNear(int x, int y) {
    const int iRadius = 40;
    XImage* pImage = XGetImage(m_pX, DefaultRootWindow(m_pX), x - iRadius, y - iRadius, 2 * iRadius + 1,
                               2 * iRadius + 1, AllPlanes, ZPixmap);
    if (pImage == nullptr) return {-1.0, -1.0};
    double dX = 0.0, dY = 0.0;
    int iCount = 0;
    for (int j = 0; j <= 2 * iRadius; ++j) {
      for (int i = 0; i <= 2 * iRadius; ++i) {
        const unsigned long uiPixel = XGetPixel(pImage, i, j);
        if (((uiPixel >> 16) & 0xFF) >= 0xE0 && ((uiPixel >> 8) & 0xFF) >= 0xE0 && (uiPixel & 0xFF) >= 0xE0) {
          dX += x - iRadius + i;
          dY += y - iRadius + j;
          ++iCount;
        }
      }
    }
    XDestroyImage(pImage);
    return iCount >= 10 ? std::pair{dX / iCount, dY / iCount} : std::pair{-1.0, -1.0};
  }
  // Whether the drawn pointer comes within 3 pixels of (x, y) (waited for on the mix's clock).
  ::testing::AssertionResult pointerComesTo(int x, int y) {
    std::pair<double, double> at;
    if (mixUntil([&] { return std::hypot((at = pointerNear(x, y)).first - x, at.second - y) <= 3.0; })) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the pointer is at " << at.first << ", " << at.second;
  }
  void moveTo(int x, int y) {
    XTestFakeMotionEvent(m_pX, 0, x, y, CurrentTime);
    XSync(m_pX, False);
  }
  // Clicks the left button; the mix's frame before the click.
  size_t click() {
    m_tap.poll();
    const size_t uiFrom = m_tap.frames();
    XTestFakeButtonEvent(m_pX, 1, True, CurrentTime);
    XTestFakeButtonEvent(m_pX, 1, False, 30);
    XSync(m_pX, False);
    return uiFrom;
  }
};
