// The pre-load mode (mode 5), the first mode of every run. Its first tick opens the archive "RWK", starts the
// profile's load thread (GAMEProfileSave.h) and registers the store-side listeners; later ticks poll the load. A
// loaded profile leads straight to the second start-up stage (ClGame::initialize, which opens the window with the
// profile's video options) and the input manager; a profile that does not load is reset to its defaults and
// saved, and the stage runs once that save has ended, written or not. Every tick also services the clocks, TV
// channel 0 and the end of the frame.
//
// The mode finishes once the profile step is over and its next mode (the load mode) is registered; until then it
// keeps drawing (empty) frames. Main thread only; the mode never waits on the profile threads, it polls their
// state words once a frame.
#pragma once

#include "Code/GameModes/ClGameMode.h"

// The archive the mode loads whole; unloaded at game shutdown.
inline constexpr const char* gc_pszPRELOAD_ARCHIVE = "RWK";

class ClGameModePreLoad : public ClGameMode {
 public:
  i32 enter(i32 iPreviousMode) override;
  i32 tick(f32 fDT) override;
  i32 exit() override;

  // The archive, the load thread and the listeners.
  void startAutoLoad();
  // One poll of the load (or of the corrective save); runs the second stage once the profile step is over. An
  // unknown state is a fatal error naming it.
  void tickDataPreLoad();

  i32 m_eNextGameMode = E_GAME_MODE_LOAD;
  u32 m_bAutoLoadStarted = 0;
  u32 m_bDataPreLoadDone = 0;
  // 1 while the load's outcome is awaited, 0 while the corrective save's is.
  u32 m_bAutoLoadPending = 0;

 private:
  void runSecondStage();
};

extern ClGameModePreLoad g_gameModePreLoad;
// Set once, just before the second start-up stage runs; never cleared, so the stage runs at most once a run.
extern u32 g_bGameInitialized;
