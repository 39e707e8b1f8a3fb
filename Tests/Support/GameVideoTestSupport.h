// The game's frame composition while a movie shows, recorded: each drawn frame's back buffer read back after its
// Present, with the steady-clock time its Present returned. For the video path's tests and benchmark.
#pragma once

#include <chrono>
#include <mutex>
#include <vector>

#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Tests/Support/GraphicsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

// One drawn frame: when its Present returned (steady-clock seconds since the clock's epoch) and the back buffer's
// pixels.
struct SDrawnFrame {
  double dTime = 0.0;
  std::vector<DWORD> pixels;
};

// The game's hooks, with every frame drawn while a movie shows read back after its Present. Frames without a movie
// are let go: the fixture has no scene render targets for the game's own picture.
class CRecordingGameHooks : public ClGAMEGraphicsHooks {
 public:
  void renderFrame() override {
    if (!ClFullScreenFMVPlayer_Win32::isVideoShowing()) {
      discardFrame();
      return;
    }
    ClGAMEGraphicsHooks::renderFrame();
    SDrawnFrame frame{std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(), {}};
    UINT uiW = 0;
    UINT uiH = 0;
    frame.pixels = D3D9TestReadBackBuffer(ClGraphics::mp_pDevice, &uiW, &uiH);
    m_uiWidth = uiW;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.push_back(std::move(frame));
  }
  [[noreturn]] void abortProgram() override { throw KvTestAborted(); }

  std::vector<SDrawnFrame> frames() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
  }
  // How many frames were drawn, and a pixel of the newest (false before the first): for checks after every step,
  // which must not copy every frame drawn so far.
  size_t frameCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.size();
  }
  bool newestPixel(UINT x, UINT y, DWORD* pPixel) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_frames.empty()) return false;
    *pPixel = pixel(m_frames.back(), x, y);
    return true;
  }
  DWORD pixel(const SDrawnFrame& frame, UINT x, UINT y) const {
    return frame.pixels.at(y * m_uiWidth + x) | 0xFF000000u;
  }

  std::mutex m_mutex;
  std::vector<SDrawnFrame> m_frames;
  UINT m_uiWidth = 0;
};

