// The full-screen video player: the volume mapping, the allocator-presenter's contract, the player's states through
// play, stop, the end of a movie and close, with the render worker consuming frames as the frame composition does
// (waiting for a frame, then releasing it), and the bounded waits that keep a stalled or closed stream from hanging
// the program.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cmath>
#include <limits>
#include <thread>

#include "Corvane/FMV/ClVRM9Allocator_Win32.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Platform/DShow/DShow.h"
#include "Platform/Win32/Win32.h"
#include "Tests/Support/FMVTestSupport.h"
#include "Tests/Support/MovieTestSupport.h"

namespace {

class FMVPlayer : public FMVTestBase {
 protected:
  void SetUp() override { startVideo(&m_hooks); }
  static i32 state() { return ClFullScreenFMVPlayer_Win32::getState(); }
  CConsumingHooks m_hooks;
};

TEST(FMVVolume, HundredthsOfADecibelKeptWithinSilenceAndFull) {
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::volumeToAttenuation(0.0f), -10000);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::volumeToAttenuation(0.5f), -602);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::volumeToAttenuation(0.25f), -1204);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::volumeToAttenuation(1.0f), 0);
  // Out of range: louder than full stays full, quieter than -100 dB (and negative or NaN) is silence.
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::volumeToAttenuation(2.0f), 0);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::volumeToAttenuation(1e-6f), -10000);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::volumeToAttenuation(-0.5f), -10000);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::volumeToAttenuation(std::numeric_limits<f32>::quiet_NaN()), -10000);
}

// QueryInterface, counting that never frees, the texture of the asked size, surfaces only with a texture, the frame
// state's changes, PresentImage returning at once after StopPresenting, and the locks given back.
TEST_F(FMVPlayer, TheAllocatorPresenterKeepsItsContract) {
  const i32 iLocksBefore = ClMutexLock::getPoolCount();
  const UINT uiResourcesBefore = D3D9TestLiveDefaultPoolResources(ClGraphics::mp_pDevice);
  auto* pAllocator = new ClVRM9Allocator();
  EXPECT_EQ(ClMutexLock::getPoolCount(), iLocksBefore + 2);
  EXPECT_EQ(pAllocator->QueryInterface(IID_IVMRSurfaceAllocator9, nullptr), E_POINTER);
  void* pFirst = nullptr;
  void* pUnknown = nullptr;
  void* pSecond = nullptr;
  void* pOther = nullptr;
  EXPECT_EQ(pAllocator->QueryInterface(IID_IVMRSurfaceAllocator9, &pFirst), S_OK);
  EXPECT_EQ(pAllocator->QueryInterface(IID_IUnknown, &pUnknown), S_OK);
  EXPECT_EQ(pAllocator->QueryInterface(IID_IVMRImagePresenter9, &pSecond), S_OK);
  EXPECT_EQ(pAllocator->QueryInterface(IID_IMediaControl, &pOther), E_NOINTERFACE);
  EXPECT_EQ(pFirst, pUnknown);
  EXPECT_EQ(pSecond, static_cast<IVMRImagePresenter9*>(pAllocator));
  EXPECT_EQ(pAllocator->getRefCount(), 4);
  for (int i = 0; i < 4; ++i) pAllocator->Release();
  EXPECT_EQ(pAllocator->getRefCount(), 0) << "counted down, still alive";

  IDirect3DSurface9* pSurface = nullptr;
  EXPECT_EQ(pAllocator->GetSurface(gc_uiFMV_ALLOCATOR_ID, 0, 0, &pSurface), E_POINTER) << "no texture yet";
  VMR9AllocationInfo info{};
  info.dwWidth = 96;
  info.dwHeight = 54;
  EXPECT_EQ(pAllocator->InitializeDevice(7, &info, nullptr), E_FAIL);
  DWORD dwBuffers = 1;
  ASSERT_EQ(pAllocator->InitializeDevice(gc_uiFMV_ALLOCATOR_ID, &info, &dwBuffers), S_OK);
  EXPECT_EQ(info.dwFlags, 0xFFFFFFF7u);
  EXPECT_EQ(pAllocator->getUserID(), 0xACDCACDCu);
  ClTexture* pTexture = pAllocator->lockTexture();
  ASSERT_NE(pTexture, nullptr);
  EXPECT_EQ(pTexture->getWidth(), 96.0f);
  EXPECT_EQ(pTexture->getHeight(), 54.0f);
  pAllocator->unlockTexture();

  ClFullScreenFMVPlayer_Win32::mp_iFrameState = E_FMV_FRAME_WAITING;
  EXPECT_EQ(pAllocator->GetSurface(gc_uiFMV_ALLOCATOR_ID, 0, 0, nullptr), E_POINTER);
  ASSERT_EQ(pAllocator->GetSurface(gc_uiFMV_ALLOCATOR_ID, 0, 0, &pSurface), S_OK);
  D3DSURFACE_DESC desc{};
  pSurface->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 96u);
  EXPECT_EQ(desc.Usage, D3DUSAGE_RENDERTARGET);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::getFrameState(), E_FMV_FRAME_NONE);

  // Stopped: PresentImage returns at once and GetSurface keeps the state.
  VMR9PresentationInfo present{};
  EXPECT_EQ(pAllocator->PresentImage(gc_uiFMV_ALLOCATOR_ID, &present), E_POINTER) << "no surface";
  present.lpSurf = pSurface;
  EXPECT_EQ(pAllocator->StopPresenting(gc_uiFMV_ALLOCATOR_ID), S_OK);
  EXPECT_EQ(pAllocator->PresentImage(gc_uiFMV_ALLOCATOR_ID, &present), S_OK);
  IDirect3DSurface9* pAgain = nullptr;
  pAllocator->GetSurface(gc_uiFMV_ALLOCATOR_ID, 0, 0, &pAgain);
  pAgain->Release();
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::getFrameState(), E_FMV_FRAME_STOPPED);
  pAllocator->releaseFrame();
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::getFrameState(), E_FMV_FRAME_STOPPED) << "drawing does not undo a stop";

  // Presenting: the presenter waits until the frame is drawn.
  EXPECT_EQ(pAllocator->StartPresenting(gc_uiFMV_ALLOCATOR_ID), S_OK);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::getFrameState(), E_FMV_FRAME_NONE);
  std::atomic<bool> bReturned{false};
  std::thread streaming([&] {
    pAllocator->PresentImage(gc_uiFMV_ALLOCATOR_ID, &present);
    bReturned = true;
  });
  ASSERT_TRUE(waitFor([] {
    Sleep(1);
    return ClFullScreenFMVPlayer_Win32::getFrameState() == E_FMV_FRAME_WAITING;
  }));
  EXPECT_FALSE(bReturned.load()) << "the frame is not drawn yet";
  pAllocator->releaseFrame();
  streaming.join();
  EXPECT_TRUE(bReturned.load());
  pSurface->Release();

  EXPECT_EQ(pAllocator->TerminateDevice(gc_uiFMV_ALLOCATOR_ID), S_OK);
  EXPECT_EQ(pAllocator->lockTexture(), nullptr);
  pAllocator->unlockTexture();
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(ClGraphics::mp_pDevice), uiResourcesBefore);
  delete pAllocator;
  EXPECT_EQ(ClMutexLock::getPoolCount(), iLocksBefore);
}

// A movie plays through the render worker to its end on the test clock, every frame it hands over drawn; the
// graph's message then stops the player (state 0) with the graph still open; close frees everything (state 4).
TEST_F(FMVPlayer, AMoviePlaysToItsEndAndTheNextNotificationStopsThePlayer) {
  useTestClock();
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_bVideoAvailable, 1u);
  EXPECT_EQ(state(), E_FMV_STATE_CLOSED);
  const i32 iLocksBefore = ClMutexLock::getPoolCount();
  const UINT uiResourcesBefore = D3D9TestLiveDefaultPoolResources(ClGraphics::mp_pDevice);
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 0.5f), 1);
  EXPECT_EQ(state(), E_FMV_STATE_RUNNING);
  EXPECT_STREQ(ClFullScreenFMVPlayer_Win32::mp_szMovieName, "Test_Counter");
  EXPECT_EQ(ClMutexLock::getPoolCount(), iLocksBefore + 2);
  LONG lVolume = 1;
  ASSERT_NE(ClFullScreenFMVPlayer_Win32::mp_pBasicAudio, nullptr);
  ClFullScreenFMVPlayer_Win32::mp_pBasicAudio->get_Volume(&lVolume);
  EXPECT_EQ(lVolume, -602) << "volume 0.5 reached the sound renderer in hundredths of a decibel";

  ASSERT_TRUE(advanceMovieUntil([] { return state() == E_FMV_STATE_STOPPED; }, 0.02, 4.0));
  EXPECT_GE(m_hooks.m_iEvents.load(), 1);
  SDShowStats stats;
  ASSERT_TRUE(DShowTestGetStats(ClFullScreenFMVPlayer_Win32::mp_pGraph, &stats));
  EXPECT_EQ(stats.uiFramesPresented + stats.uiFramesDropped, 50u);
  EXPECT_EQ(m_hooks.m_iFrames.load(), static_cast<i32>(stats.uiFramesPresented)) << "every frame handed over was drawn";
  EXPECT_GE(m_hooks.m_iFrames.load(), 48) << "steps shorter than a frame drop none but the first";
  EXPECT_NE(ClFullScreenFMVPlayer_Win32::mp_pGraph, nullptr);
  ClFullScreenFMVPlayer_Win32::close();
  EXPECT_EQ(state(), E_FMV_STATE_CLOSED);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_pGraph, nullptr);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_pAllocator, nullptr);
  EXPECT_EQ(ClMutexLock::getPoolCount(), iLocksBefore);
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(ClGraphics::mp_pDevice), uiResourcesBefore) << "the video texture went";
}

// A movie without sound plays: its sound renderer goes, the clock runs it, and it ends when its two seconds are
// over, not before.
TEST_F(FMVPlayer, ASilentMoviePlays) {
  useTestClock();
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Silent", 1.0f), 1);
  EXPECT_FALSE(advanceMovieUntil([] { return state() == E_FMV_STATE_STOPPED; }, 0.02, 1.9));
  EXPECT_EQ(state(), E_FMV_STATE_RUNNING);
  ASSERT_TRUE(advanceMovieUntil([] { return state() == E_FMV_STATE_STOPPED; }, 0.02, 0.3));
  EXPECT_GE(m_hooks.m_iFrames.load(), 48);
}

// stop acts only while running: back to the start, paused, graph kept; in states 0 and 4 it does nothing.
TEST_F(FMVPlayer, StopActsOnlyWhileRunning) {
  useTestClock();
  ClFullScreenFMVPlayer_Win32::stop();
  EXPECT_EQ(state(), E_FMV_STATE_CLOSED);
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  ASSERT_TRUE(advanceMovieUntil([&] { return m_hooks.m_iFrames.load() >= 10; }, 0.02, 2.0));
  ClFullScreenFMVPlayer_Win32::stop();
  EXPECT_EQ(state(), E_FMV_STATE_STOPPED);
  ASSERT_NE(ClFullScreenFMVPlayer_Win32::mp_pMediaControl, nullptr);
  OAFilterState eState = State_Stopped;
  ClFullScreenFMVPlayer_Win32::mp_pMediaControl->GetState(0, &eState);
  EXPECT_EQ(eState, State_Paused);
  REFTIME dPosition = -1.0;
  ClFullScreenFMVPlayer_Win32::mp_pMediaPosition->get_CurrentPosition(&dPosition);
  EXPECT_EQ(dPosition, 0.0);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::getFrameState(), E_FMV_FRAME_STOPPED);
  // Not showing any more: frames go on without the video path.
  const i32 iFrames = m_hooks.m_iFrames.load();
  for (int i = 0; i < 5; ++i) step();
  EXPECT_EQ(m_hooks.m_iFrames.load(), iFrames);
  ClFullScreenFMVPlayer_Win32::stop();
  EXPECT_EQ(state(), E_FMV_STATE_STOPPED);
  eState = State_Stopped;
  ClFullScreenFMVPlayer_Win32::mp_pMediaControl->GetState(0, &eState);
  EXPECT_EQ(eState, State_Paused) << "a second stop changed nothing";
}

// play while a movie runs closes it first (its locks go back to the pool) and starts the new one.
TEST_F(FMVPlayer, PlayWhilePlayingClosesTheRunningMovieFirst) {
  useTestClock();
  const i32 iLocksBefore = ClMutexLock::getPoolCount();
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  ASSERT_TRUE(advanceMovieUntil([&] { return m_hooks.m_iFrames.load() >= 5; }, 0.02, 1.0));
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Silent", 1.0f), 1);
  EXPECT_EQ(ClMutexLock::getPoolCount(), iLocksBefore + 2);
  EXPECT_STREQ(ClFullScreenFMVPlayer_Win32::mp_szMovieName, "Test_Silent");
  REFTIME dPosition = -1.0;
  ClFullScreenFMVPlayer_Win32::mp_pMediaPosition->get_CurrentPosition(&dPosition);
  EXPECT_EQ(dPosition, 0.0) << "the new movie starts from its beginning";
  ASSERT_TRUE(advanceMovieUntil([] { return state() == E_FMV_STATE_STOPPED; }, 0.02, 3.0));
}

// A movie that is missing or that FFmpeg cannot open leaves the player closed; without a renderer play does nothing.
TEST_F(FMVPlayer, MoviesThatCannotStartLeaveThePlayerClosed) {
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::play("Not_There", 1.0f), 0);
  EXPECT_EQ(state(), E_FMV_STATE_CLOSED);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_pGraph, nullptr);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_pAllocator, nullptr);
  EXPECT_KV_ASSERT(ClFullScreenFMVPlayer_Win32::play(nullptr, 1.0f), "pMovieName");

  SDShowFaults faults;
  faults.bNoVMR = true;
  DShowTestSetFaults(faults);
  ClFullScreenFMVPlayer_Win32::initialize();
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_bVideoAvailable, 0u);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 0);
  EXPECT_EQ(state(), E_FMV_STATE_CLOSED);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_pGraph, nullptr);
}

// A file cut short ends where its data ends, without a hang.
TEST_F(FMVPlayer, ATruncatedMovieEndsWithoutAHang) {
  useTestClock();
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Truncated", 1.0f), 1);
  ASSERT_TRUE(advanceMovieUntil([] { return state() == E_FMV_STATE_STOPPED; }, 0.02, 4.0));
  EXPECT_GT(m_hooks.m_iFrames.load(), 5);
}

// Closing while the streaming thread waits in PresentImage for the render worker: the presenter is stopped first,
// so close returns.
TEST_F(FMVPlayer, ClosingDuringPlaybackNeverHangs) {
  useTestClock();
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  ASSERT_TRUE(advanceMovieUntil([&] { return m_hooks.m_iFrames.load() >= 3; }, 0.02, 1.0));
  // The clock moves on with no main-loop step: the next frame's presenter waits for the worker.
  ASSERT_TRUE(DShowTestAdvanceClock(ClFullScreenFMVPlayer_Win32::mp_pGraph, 0.1));
  ASSERT_TRUE(waitFor([] {
    Sleep(1);
    return ClFullScreenFMVPlayer_Win32::getFrameState() == E_FMV_FRAME_WAITING;
  }));
  ClFullScreenFMVPlayer_Win32::close();
  EXPECT_EQ(state(), E_FMV_STATE_CLOSED);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::getFrameState(), E_FMV_FRAME_NONE);
  for (int i = 0; i < 3; ++i) step();
}

// A stream that stops delivering while short of its end: the render worker waits at most the limit each frame and
// the game goes on; close still returns at once.
TEST_F(FMVPlayer, AStalledStreamSlowsFramesToTheLimitButNeverStopsThem) {
  SDShowFaults faults;
  faults.uiStallAfterFrames = 3;
  DShowTestSetFaults(faults);
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  ASSERT_TRUE(runUntil([&] { return m_hooks.m_iFrames.load() >= 3; }, gc_dHANG_GUARD));
  // Each step returns (a wait without its limit would keep the first one for good) and draws no new frame.
  for (int i = 0; i < 6; ++i) step();
  EXPECT_EQ(m_hooks.m_iFrames.load(), 3);
  EXPECT_EQ(state(), E_FMV_STATE_RUNNING);
  ClFullScreenFMVPlayer_Win32::close();
}

// A movie whose pictures are larger than the largest texture the device makes (8192 x 8192 here) is refused with a
// message naming the file and both sizes; the player stays closed. One at the largest size plays.
TEST_F(FMVPlayer, AMovieLargerThanAnyTextureIsRefusedWithAMessage) {
  struct SCase {
    int iWidth;
    int iHeight;
    bool bPlays;
  };
  for (const SCase& test : {SCase{12000, 12000, false}, SCase{8200, 16, false}, SCase{16, 8200, false},
                            SCase{8192, 16, true}}) {
    const std::string name = "Test_Size_" + std::to_string(getpid()) + "_" + std::to_string(test.iWidth) + "x" +
                             std::to_string(test.iHeight);
    const std::string path = std::string(KV_FMV_DIR) + "/" + name + ".wmv";
    SCOPED_TRACE(name);
    std::string error;
    ASSERT_TRUE(KvTestWriteMovieHeader(path, test.iWidth, test.iHeight, &error)) << error;
    ::testing::internal::CaptureStderr();
    const i32 iPlayed = ClFullScreenFMVPlayer_Win32::play(name.c_str(), 1.0f);
    const std::string said = ::testing::internal::GetCapturedStderr();
    std::remove(path.c_str());
    if (test.bPlays) {
      EXPECT_EQ(iPlayed, 1) << said;
      EXPECT_EQ(said.find("not played"), std::string::npos) << said;
    } else {
      EXPECT_EQ(iPlayed, 0);
      EXPECT_EQ(state(), E_FMV_STATE_CLOSED);
      EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_pGraph, nullptr);
      const std::string size = std::to_string(test.iWidth) + " x " + std::to_string(test.iHeight);
      EXPECT_NE(said.find(name + ".wmv"), std::string::npos) << said;
      EXPECT_NE(said.find(size), std::string::npos) << said;
      EXPECT_NE(said.find("8192 x 8192"), std::string::npos) << said;
    }
    ClFullScreenFMVPlayer_Win32::close();
  }
}

// The window procedure's video branches need a windowless control, which the renderless graph never has: with
// one, moves set its video rectangle to the client area, display changes reach it, and paints repaint a movie that
// has video.
class CRecordingWindowless final : public IVMRWindowlessControl9 {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT SetVideoPosition(const RECT* pSource, const RECT* pDestination) override {
    calls.push_back(pSource == nullptr && pDestination != nullptr ? "position " + std::to_string(pDestination->right) +
                                                                        "x" + std::to_string(pDestination->bottom)
                                                                  : "position?");
    return S_OK;
  }
  HRESULT RepaintVideo(HWND, HDC) override {
    calls.push_back("repaint");
    return S_OK;
  }
  HRESULT DisplayModeChanged() override {
    calls.push_back("display");
    return S_OK;
  }
  std::vector<std::string> calls;
};

TEST_F(FMVPlayer, WindowMessagesReachAWindowlessControl) {
  ClFullScreenFMVPlayer_Win32::onWindowMoved();
  ClFullScreenFMVPlayer_Win32::onDisplayModeChanged();
  ClFullScreenFMVPlayer_Win32::repaintVideo(ClGraphics::mp_hWnd, nullptr);
  CRecordingWindowless control;
  ClFullScreenFMVPlayer_Win32::mp_pWindowlessControl = &control;
  RECT client{};
  GetClientRect(ClGraphics::mp_hWnd, &client);
  ClFullScreenFMVPlayer_Win32::onWindowMoved();
  ClFullScreenFMVPlayer_Win32::onDisplayModeChanged();
  ClFullScreenFMVPlayer_Win32::mp_bHasVideoStream = 0;
  ClFullScreenFMVPlayer_Win32::repaintVideo(ClGraphics::mp_hWnd, nullptr);
  ClFullScreenFMVPlayer_Win32::mp_bHasVideoStream = 1;
  ClFullScreenFMVPlayer_Win32::repaintVideo(ClGraphics::mp_hWnd, nullptr);
  ClFullScreenFMVPlayer_Win32::mp_pWindowlessControl = nullptr;
  ClFullScreenFMVPlayer_Win32::mp_bHasVideoStream = 0;
  const std::string position = "position " + std::to_string(client.right) + "x" + std::to_string(client.bottom);
  EXPECT_EQ(control.calls, std::vector<std::string>({position, "display", "repaint"}));
  // The graph the player builds has a video stream but, renderless, no windowless control.
  ASSERT_EQ(ClFullScreenFMVPlayer_Win32::play("Test_Counter", 1.0f), 1);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_bHasVideoStream, 1u);
  EXPECT_EQ(ClFullScreenFMVPlayer_Win32::mp_pWindowlessControl, nullptr);
}

}  // namespace
