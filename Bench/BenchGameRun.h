// The game started in the benchmark's process, as the benchmarks that run it share it: on a data root of the build's
// archives (KV_DATA_DIR) with a fresh store, on whatever SDL video driver is set (without a display: offscreen) and
// SDL's dummy audio, run into its front end; shut down when it goes.
#pragma once

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/Objects/Backgrounds.h"
#include "Code/System/GAMEStartUpTimes.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Platform/D3D9/D3D9.h"
#include "Tests/Support/InProcessGameTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

inline constexpr int gc_iGAME_WIDTH = 1920;
inline constexpr int gc_iGAME_HEIGHT = 1080;

inline void useDisplayOrOffscreen() {
  if (std::getenv("SDL_VIDEODRIVER") == nullptr && std::getenv("DISPLAY") == nullptr) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
  }
  setenv("SDL_AUDIODRIVER", "dummy", 0);
}

// A data root of the build's archives, copied once a process (the game writes its project.ini beside them): its
// folder, or empty with *pError set.
inline const std::string& benchDataRoot(std::string* pError) {
  static std::string s_root;
  static std::string s_error;
  if (s_root.empty() && s_error.empty()) {
    const std::string dir = KvTestTempDir("BenchGameData");
    if (KvTestCopyGameArchives(KV_DATA_DIR, dir, &s_error)) s_root = dir;
  }
  if (s_root.empty()) *pError = s_error;
  return s_root;
}

// The game from start-up to shut-down on the data root of benchDataRoot with a fresh store, no vsync: a 2560 x 1440
// desktop makes it pick the 1920 x 1080 mode for its window. start runs it into its front end.
class CGameRun {
 public:
  // sExtraSettings: more project.ini lines; the Action mode is registered too, for a run that plays.
  bool start(std::string* pError, bool bSkipSplash = true, const std::string& sExtraSettings = std::string()) {
    const std::string& data = benchDataRoot(pError);
    if (data.empty()) return false;
    useDisplayOrOffscreen();
    SInProcessGameStart how;
    how.dataRoot = data;
    how.storeDir = KvTestTempDir("BenchGameStore");
    how.settings = (bSkipSplash ? "SKIP_SPLASH 1\n" : "") + sExtraSettings;
    how.modes = {{D3DFMT_X8R8G8B8, {gc_iGAME_WIDTH, gc_iGAME_HEIGHT, 60, D3DFMT_X8R8G8B8}},
                 {D3DFMT_X8R8G8B8, {2560, 1440, 60, D3DFMT_X8R8G8B8}}};
    how.pfnStartUp = &GAMEStartUpTimes::startUp;
    if (!m_game.start(how, pError)) return false;
    // The profile's load ends on its own thread: frames until the second start-up stage has run, then frames until
    // the front end has drawn its first one.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!g_bGameInitialized && std::chrono::steady_clock::now() < giveUp) GAMEStartUpTimes::tickFrame(0.016f);
    // A run with SKIP_UI goes on from the front end's first frame into the Action mode.
    for (int i = 0; i < 2000 && !(g_eCurrentGameMode == E_GAME_MODE_FRONTEND && m_iFrontEndFrames > 0) &&
                    g_eCurrentGameMode != E_GAME_MODE_ACTION;
         ++i) {
      const bool bInFrontEnd = g_eCurrentGameMode == E_GAME_MODE_FRONTEND;
      GAMEStartUpTimes::tickFrame(0.016f);
      m_iFrontEndFrames += bInFrontEnd ? 1 : 0;
    }
    const bool bInAction = g_eCurrentGameMode == E_GAME_MODE_ACTION;
    if (ClGraphics::mp_pDevice == nullptr || (!bInAction && (m_iFrontEndFrames == 0 || g_bBackgroundsLoaded == 0))) {
      *pError = "the game did not reach its front end (mode " + std::to_string(g_eCurrentGameMode) + ", loading step " +
                std::to_string(g_iLoadUIStep) + ")";
      return false;
    }
    // The size from the device's parameters: a read-back would make every later Present keep a copy.
    const UINT uiW = ClGraphics::mp_presentParams.BackBufferWidth;
    const UINT uiH = ClGraphics::mp_presentParams.BackBufferHeight;
    if (uiW != gc_iGAME_WIDTH || uiH != gc_iGAME_HEIGHT) {
      *pError = "the back buffer is " + std::to_string(uiW) + " x " + std::to_string(uiH) + ", not 1920 x 1080";
      return false;
    }
    return true;
  }
  // start, or the benchmark stopped with the reason.
  bool startFor(benchmark::State& state) {
    std::string error;
    if (start(&error)) return true;
    state.SkipWithError(error.c_str());
    return false;
  }

 private:
  CInProcessGame m_game;
  int m_iFrontEndFrames = 0;
};
