// The pre-load mode (mode 5), the first mode of every run: ticks the clocks, advances TV channel 0 and ends the
// frame, and runs the second start-up stage (ClGame::initialize) once, which opens the window and the device.
//
// The profile step that comes before the second stage is not part of this build yet: the stage runs on the second
// tick with the default options of the first stage, and the mode finishes only once its next mode exists in the
// build. Until then it keeps drawing frames, showing the sample scene (GAMESampleScene) through the frame
// composition. Main thread only.
#pragma once

#include "Code/GameModes/ClGameMode.h"

class ClGameModePreLoad : public ClGameMode {
 public:
  i32 enter(i32 iPreviousMode) override;
  i32 tick(f32 fDT) override;
  i32 exit() override;

  i32 m_eNextGameMode = E_GAME_MODE_LOAD;
  u32 m_bAutoLoadStarted = 0;
  u32 m_bDataPreLoadDone = 0;
};

extern ClGameModePreLoad g_gameModePreLoad;
// Set once, just before the second start-up stage runs.
extern u32 g_bGameInitialized;
