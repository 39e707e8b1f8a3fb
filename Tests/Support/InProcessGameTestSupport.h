// The game started and stopped inside the calling process, for the tests and benchmarks that run it there: in a
// data root of the build's archives with a store folder of its own, the Direct3D 9 stand-in offering the given
// desktop modes, the store stand-in started, the game's modes registered with the state a fresh process gives them
// and the game's hooks installed. What runs after the start-up (which frames, into which mode) is the caller's.
// Header only: the programs that use it link the game.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/System/GAMEGameHooks.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Store/StoreApi.h"

// The archives the game opens, as the build writes them into its data root.
inline const char* const gc_apGAME_ARCHIVES[] = {"RWN_win32.mtc", "RWN_win32.mdf", "RWK_win32.mtc", "RWK_win32.mdf",
                                                 "RWG_win32.mtc", "RWG_win32.mdf", "SPLA_win32.mtc", "SPLA_win32.mdf"};

// Copies the game's archives from one folder into another (made when missing, copies there replaced); false with
// the reason when one cannot be copied.
inline bool KvTestCopyGameArchives(const std::string& from, const std::string& to, std::string* pError) {
  std::error_code error;
  std::filesystem::create_directories(to, error);
  for (const char* pFile : gc_apGAME_ARCHIVES) {
    std::filesystem::copy_file(from + "/" + pFile, to + "/" + pFile, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
      *pError = std::string("cannot copy the archive ") + pFile + ": " + error.message();
      return false;
    }
  }
  return true;
}

// How the game is started: its data root (the game's current folder while it runs), its store folder, the
// development settings after "NOVSYNC 1" (one a line, as project.ini holds them), the desktop modes the Direct3D 9
// stand-in offers (the game picks its window's mode among them) and the start-up call (the game's own, or one that
// wraps it).
struct SInProcessGameStart {
  std::string dataRoot;
  std::string storeDir;
  std::string settings;
  std::vector<std::pair<D3DFORMAT, D3DDISPLAYMODE>> modes;
  i32 (*pfnStartUp)() = &ClGame::startUp;
};

// One start of the game and its stop; the stop also runs when the object goes.
class CInProcessGame {
 public:
  CInProcessGame() = default;
  CInProcessGame(const CInProcessGame&) = delete;
  CInProcessGame& operator=(const CInProcessGame&) = delete;
  ~CInProcessGame() { stop(); }

  // Goes into the data root, writes its project.ini, points the store at its folder, starts the store stand-in,
  // offers the modes, registers the game's modes, installs its hooks and runs the start-up. False, with the reason,
  // when the data root cannot be entered or the store stand-in does not start.
  bool start(const SInProcessGameStart& how, std::string* pError) {
    std::error_code error;
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(how.dataRoot, error);
    if (error) {
      *pError = "cannot enter the data root " + how.dataRoot + ": " + error.message();
      return false;
    }
    m_bEntered = true;
    std::ofstream("project.ini") << "NOVSYNC 1\n" << how.settings;
    setenv("GRINDLOW_STORE_DIR", how.storeDir.c_str(), 1);
    if (!SteamAPI_Init()) {
      *pError = "the store stand-in did not start";
      return false;
    }
    m_bStarted = true;
    D3D9TestReset();
    D3D9TestSetAdapterModes(how.modes);
    // The modes' state as a fresh process has it (the UI's start hides a pointer an earlier run showed).
    g_iLoadUIStep = -1;
    g_gameModeLoad.m_iFramesSinceUILoaded = 0;
    g_iFlipBooksRegistered = 0;
    g_iFlipBooksAbsent = 0;
    ClGame::registerGameModes();
    GameSpecificInstallHooks();
    how.pfnStartUp();
    return true;
  }

  // Shuts the game down and undoes the rest of start: the modes, the stand-ins, the store folder, the current
  // folder. Nothing for what start did not reach, nor a second time.
  void stop() {
    if (m_bStarted) {
      ClGame::shutDown();
      ClMutexLock::shutdownPool();
      g_bGameInitialized = 0;
      ClGame::unregisterGameModes();
      D3D9TestReset();
      SteamAPI_Shutdown();
      m_bStarted = false;
    }
    if (m_bEntered) {
      unsetenv("GRINDLOW_STORE_DIR");
      std::filesystem::current_path(m_previous);
      m_bEntered = false;
    }
  }

 private:
  std::filesystem::path m_previous;
  bool m_bEntered = false;
  bool m_bStarted = false;
};
