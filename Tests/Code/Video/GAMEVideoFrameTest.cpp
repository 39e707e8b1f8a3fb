// The frame composition's video path: the movie's frames reach the back buffer in order (each frame's number read
// back from its colours), fitted to the screen with black bars, the last frame drawn again while a stream stalls,
// and the pictures keeping time with the sound over ten seconds of the test clock.
extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "Code/Graphics/GAMEVideoFrame_Win32.h"
#include "Corvane/Stats/ClDiffMgr.h"
#include "Tests/Support/FMVTestSupport.h"
#include "Tests/Support/GameVideoTestSupport.h"
#include "Tests/Support/MovieTestSupport.h"

namespace {

class GameVideoFrame : public FMVTestBase {
 protected:
  void SetUp() override {
    startVideo(&m_hooks);
    ClDiffMgr::mp_bInitialized = true;
    ClShaderMgr::createShader(gc_pGAME_VIDEO_SHADER);
  }
  void TearDown() override {
    ClFullScreenFMVPlayer_Win32::close();
    GAMEReleaseVideoFrameObjects();
    ClDiffMgr::mp_bInitialized = false;
    FMVTestBase::TearDown();
  }
  static i32 state() { return ClFullScreenFMVPlayer_Win32::getState(); }

  // The frame numbers shown at the centre of the screen, in drawing order.
  std::vector<int> centreNumbers() {
    std::vector<int> numbers;
    for (const SDrawnFrame& frame : m_hooks.frames()) {
      numbers.push_back(counterFrameNumber(m_hooks.pixel(frame, 160, 120)));
    }
    return numbers;
  }

  CRecordingGameHooks m_hooks;
};

// On the test clock in steps shorter than a frame: every drawn frame shows a later movie frame than the one before;
// all 50 frames appear but the first (the sound starts after it), up to the last; the whole screen shows the frame
// (a 4:3 movie on a 4:3 screen).
TEST_F(GameVideoFrame, FramesReachTheBackBufferInOrder) {
  useTestClock();
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  ASSERT_TRUE(advanceMovieUntil([] { return state() == E_FMV_STATE_STOPPED; }, 0.02, 4.0));
  const std::vector<int> numbers = centreNumbers();
  ASSERT_FALSE(numbers.empty());
  std::vector<int> shown;
  for (int iNumber : numbers) {
    ASSERT_GE(iNumber, 0) << "a clean counter colour";
    if (shown.empty() || iNumber != shown.back()) {
      if (!shown.empty()) {
        EXPECT_GT(iNumber, shown.back()) << "in order";
      }
      shown.push_back(iNumber);
    }
  }
  EXPECT_LE(shown.front(), 1);
  EXPECT_EQ(shown.back(), 49);
  EXPECT_GE(shown.size(), 49u) << "no frame is dropped";
  const SDrawnFrame last = m_hooks.frames().back();
  EXPECT_EQ(counterFrameNumber(m_hooks.pixel(last, 1, 1)), 49) << "the frame covers the screen";
  EXPECT_EQ(counterFrameNumber(m_hooks.pixel(last, 318, 238)), 49);
}

// A 16:9 movie on a 4:3 screen: as wide as the screen, centred, black above and below.
TEST_F(GameVideoFrame, AWiderMovieIsFittedBetweenBlackBars) {
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Intro", 1.0f), 1);
  ASSERT_TRUE(runUntil([&] { return m_hooks.frameCount() >= 5; }, gc_dHANG_GUARD));
  const SDrawnFrame frame = m_hooks.frames().back();
  // 320 x 180 scaled by 1 on a 320 x 240 screen: rows 30 to 209 hold the picture.
  for (UINT y : {0u, 15u, 28u, 211u, 239u}) {
    for (UINT x : {0u, 160u, 319u}) EXPECT_EQ(m_hooks.pixel(frame, x, y), 0xFF000000u) << x << ", " << y;
  }
  int iLit = 0;
  for (UINT x = 0; x < 320; ++x) iLit += m_hooks.pixel(frame, x, 120) != 0xFF000000u ? 1 : 0;
  EXPECT_GT(iLit, 300) << "the picture fills its rows";
}

// A stream that stalls: the worker waits no longer than the limit and draws the last frame again; the game's frames
// go on.
TEST_F(GameVideoFrame, AStalledStreamKeepsItsLastFrameOnScreen) {
  SDShowFaults faults;
  faults.uiStallAfterFrames = 10;
  DShowTestSetFaults(faults);
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  const auto presented = [] {
    SDShowStats stats;
    DShowTestGetStats(ClFullScreenFMVPlayer_Win32::mp_pGraph, &stats);
    return stats.uiFramesPresented;
  };
  ASSERT_TRUE(runUntil([&] { return presented() >= 10; }, gc_dHANG_GUARD));
  step();  // the tenth frame drawn
  const size_t uiBefore = m_hooks.frameCount();
  for (int i = 0; i < 5; ++i) step();
  const std::vector<int> numbers = centreNumbers();
  ASSERT_EQ(numbers.size(), uiBefore + 5) << "every game frame was drawn";
  for (size_t i = uiBefore; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], numbers[uiBefore - 1]);
  EXPECT_EQ(state(), E_FMV_STATE_RUNNING);
}

// A device lost while a movie shows: the movie ends (its frames' texture is in the default pool), the device
// comes back at the next Reset instead of failing it for as long as the movie lasts, and a new movie plays and is
// drawn.
TEST_F(GameVideoFrame, ALostDeviceEndsTheMovieAndComesBack) {
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  ASSERT_TRUE(runUntil([&] { return m_hooks.frameCount() >= 3; }, gc_dHANG_GUARD));
  D3D9TestLoseDevice(ClGraphics::mp_pDevice);
  ASSERT_TRUE(runUntil([] { return ClGraphics::mp_bDeviceLost.load() != 0; }, gc_dHANG_GUARD));
  EXPECT_EQ(state(), E_FMV_STATE_CLOSED);
  ASSERT_TRUE(runUntil([] { return ClGraphics::mp_bReady.load() != 0; }, gc_dHANG_GUARD)) << "the Reset went through";
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);

  const size_t uiBefore = m_hooks.frameCount();
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  ASSERT_TRUE(runUntil([&] { return m_hooks.frameCount() >= uiBefore + 3; }, gc_dHANG_GUARD));
  EXPECT_GE(centreNumbers().back(), 0) << "a counter frame on the screen again";
}

// The sound and the pictures over the ten seconds of a movie, on the test clock moved one sound block at a time.
// The media time heard at each moment comes from the blocks handed to the audio output (each heard from one output
// latency after its hand-over, frame by frame); each picture's media time is its frame's presentation time in the
// file (read with FFmpeg). After every step the picture on the back buffer is exactly the latest frame the sound
// has reached (a frame may go up to 2 ms early): never one ahead, never one behind. How closely this holds in real
// time on a busy machine is measured by the video benchmark.
TEST_F(GameVideoFrame, PicturesKeepTimeWithTheSound) {
  // The movie's first frame time and frame rate as FFmpeg reads them.
  AVFormatContext* pFormat = nullptr;
  const std::string path = std::string(KV_FMV_DIR) + "/Test_Sync.wmv";
  ASSERT_EQ(avformat_open_input(&pFormat, path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(pFormat, nullptr), 0);
  const int iVideo = av_find_best_stream(pFormat, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  ASSERT_GE(iVideo, 0);
  const AVStream* pStream = pFormat->streams[iVideo];
  const double dFirstPts = static_cast<double>(pStream->start_time) * av_q2d(pStream->time_base);
  const double dFrameTime = av_q2d(av_inv_q(pStream->avg_frame_rate));
  avformat_close_input(&pFormat);
  constexpr int gc_iLAST_FRAME = 249;
  constexpr double gc_dEARLY = 0.002;

  useTestClock();
  SObservedSound observed;
  DShowTestSetAudioObserver(&observeSound, &observed);
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Sync", 1.0f), 1);
  SDShowStats stats;
  ASSERT_TRUE(DShowTestGetStats(ClFullScreenFMVPlayer_Win32::mp_pGraph, &stats));
  const double dBlock = stats.dAudioLatency;
  int iMeasured = 0;
  double dFirstHeard = -1.0;
  double dLastHeard = 0.0;
  const auto check = [&] {
    double dHeard = 0.0;
    DWORD uiCentre = 0;
    if (state() != E_FMV_STATE_RUNNING || !m_hooks.newestPixel(160, 120, &uiCentre) ||
        !heardAt(observed, dBlock, DShowTestClockSeconds(), &dHeard)) {
      return state() == E_FMV_STATE_STOPPED;
    }
    const int iShown = counterFrameNumber(uiCentre);
    const int iDue = std::min(static_cast<int>(std::floor((dHeard + gc_dEARLY - dFirstPts) / dFrameTime)),
                              gc_iLAST_FRAME);
    EXPECT_EQ(iShown, iDue) << "sound at " << dHeard << " s";
    if (dFirstHeard < 0.0) dFirstHeard = dHeard;
    dLastHeard = dHeard;
    ++iMeasured;
    return false;
  };
  EXPECT_TRUE(advanceMovieUntil(check, dBlock, 11.0)) << "the movie ends";
  DShowTestSetAudioObserver(nullptr, nullptr);
  EXPECT_GT(dLastHeard - dFirstHeard, 9.5) << "measured over the ten seconds";
  EXPECT_GE(iMeasured, 200);
}

}  // namespace
