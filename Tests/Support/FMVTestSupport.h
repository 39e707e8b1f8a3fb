// Brings the full-screen video player up for tests: a data root of its own (the current folder) whose FMV/ is the
// build's sample movies and whose Shaders/ holds the engine's effects, the file layer, graphics on a 320 x 240
// device with the render worker, shaders and signatures, and the player; a main loop that pumps the window's
// messages and hands frames to the worker until a condition holds (the time limits only keep a fault from hanging
// the test); and movies on the test clock, which moves only when the test moves it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/DShow/DShowTest.h"
#include "Tests/Support/GraphicsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

// The render worker's frame consumer without drawing: the frame composition's wait and release, counted; the graph's
// notifications go to the player.
class CConsumingHooks : public CTestGraphicsHooks {
 public:
  void renderFrame() override {
    if (ClFullScreenFMVPlayer_Win32::isVideoShowing()) {
      if (ClFullScreenFMVPlayer_Win32::waitForVideoFrame()) m_iFrames.fetch_add(1);
      ClFullScreenFMVPlayer_Win32::releaseVideoFrame();
    }
    CTestGraphicsHooks::renderFrame();
  }
  void videoGraphEvent() override {
    m_iEvents.fetch_add(1);
    ClFullScreenFMVPlayer_Win32::handleGraphEvents();
  }
  std::atomic<i32> m_iFrames{0};
  std::atomic<i32> m_iEvents{0};
};

class FMVTestBase : public ::testing::Test {
 protected:
  // hooks: the window hooks the graphics run with (they must pass the graph's message to the player).
  template <typename THooks>
  void startVideo(THooks* pHooks, const std::string& settings = "") {
    ClMutexLock::initializePool();
    DShowTestReset();
    m_root = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directory_symlink(KV_FMV_DIR, m_root + "/FMV");
    std::filesystem::create_directories(m_root + "/Shaders");
    for (const char* pEffect : {"system_blend_premult", "system_copy_nofiltering"}) {
      std::filesystem::copy_file(std::string(KV_CONTENT_EFFECTS_DIR) + "/" + pEffect + ".fxo",
                                 m_root + "/Shaders/" + pEffect + ".fxo");
    }
    m_savedCwd = KvTestChangeFolder(m_root);
    ASSERT_FALSE(m_savedCwd.empty());
    KvTestStartFileIO();
    ClAsyncAssetLoaderMgr::initialize();
    KvTestStartGraphics(pHooks, settings);
    KvTestStartShadersAndSignatures();
    ClFullScreenFMVPlayer_Win32::initialize();
    m_bStarted = true;
  }

  void TearDown() override {
    if (!m_bStarted) return;
    ClFullScreenFMVPlayer_Win32::close();
    KvTestStopShadersAndSignatures();
    ClAsyncAssetLoaderMgr::terminate();
    if (ClGraphics::mp_pDevice != nullptr) {
      EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
    }
    KvTestStopGraphics();
    KvTestStopFileIO();
    ASSERT_FALSE(KvTestChangeFolder(m_savedCwd).empty());
    DShowTestReset();
  }

  // One main-loop step without the game: every waiting message to the window procedure, then a frame handed to
  // the render worker.
  static void step() {
    pumpMessages();
    ClGraphics::endFrame();
  }

  // How long a wait for something that must happen goes on before the test gives up: only there so a fault ends in
  // a failure instead of a hang, never a measure of speed.
  static constexpr double gc_dHANG_GUARD = 60.0;

  // Movies started from now on run on the test clock (the DirectShow stand-in's manual output).
  static void useTestClock() { DShowTestSetAudioOutput(EDShowAudioOutput::Manual); }

  // Test clock: moves the movie's clock on, then hands each frame that waits to the render worker (one main-loop
  // step each) until the graph has done everything due. False when the clock cannot move or the graph never
  // settles.
  static bool advanceMovie(double dSeconds) {
    if (!DShowTestAdvanceClock(ClFullScreenFMVPlayer_Win32::mp_pGraph, dSeconds)) return false;
    return waitFor([] {
      if (DShowTestIsSettled(ClFullScreenFMVPlayer_Win32::mp_pGraph)) return true;
      if (ClFullScreenFMVPlayer_Win32::getFrameState() == E_FMV_FRAME_WAITING) {
        step();
      } else {
        Sleep(1);  // a Win32 sleep: the streaming thread may need the device
      }
      return false;
    });
  }

  // Test clock: advances one step at a time until the condition holds after a step (true), or the clock has run
  // dLimit seconds (false); the window's messages are handled after each step.
  static bool advanceMovieUntil(const std::function<bool()>& condition, double dStep, double dLimit) {
    for (double dPassed = 0.0; dPassed < dLimit; dPassed += dStep) {
      if (!advanceMovie(dStep)) return false;
      pumpMessages();
      if (condition()) return true;
    }
    return false;
  }

  // The window's waiting messages to its procedure.
  static void pumpMessages() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  // Checks the condition until it holds (true) or the hang guard runs out (false); the condition does its own
  // waiting.
  static bool waitFor(const std::function<bool()>& condition) {
    const auto start = std::chrono::steady_clock::now();
    while (!condition()) {
      if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > gc_dHANG_GUARD) {
        return false;
      }
    }
    return true;
  }

  // Steps until the condition holds (true) or the time is up (false).
  static bool runUntil(const std::function<bool()>& condition, double dSeconds) {
    const auto start = std::chrono::steady_clock::now();
    while (!condition()) {
      if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > dSeconds) return false;
      step();
    }
    return true;
  }

  std::string m_root;
  std::string m_savedCwd;
  bool m_bStarted = false;
};
