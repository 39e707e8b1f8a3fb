// The video mode (mode 4): plays one full-screen movie, "FMV/<name>.wmv" under the data root, through the engine's
// video player, then hands over to the mode its requester named. A mode asks for a movie by writing the name into
// g_acFMVName and the follow-up mode into g_iFMVNextGameMode, setting g_eNextGameMode to 4 and finishing
// (GAMERequestMovie does all three for the requesters that finish themselves).
//
// The movie is over when the window is not the active one, when the player is no longer playing (the movie ended,
// could not be opened, or video is unavailable), or when the menus mapper's start (E_GAME_ACTION_MENU_START) or
// accept (MENU_ACCEPT) is newly pressed on any pad; a pending return to the front end also ends it. With the
// development setting "FORCE_FMVS" non-zero the same movie is entered again when it ends. Main thread only.
#pragma once

#include "Code/GameModes/ClGameMode.h"
#include "Corvane/System/KvTypes.h"

class ClGameModeFMV : public ClGameMode {
 public:
  i32 enter(i32 iPreviousMode) override;
  i32 tick(f32 fDT) override;
  // Stops a playing movie, pops the menus mapper and waits 500 ms (a plain sleep), as the player's graph needs
  // before anything else takes the screen.
  i32 exit() override;

  // The movie has been handed to the player in this visit.
  u32 m_bStarted = 0;
  // The pause of exit in milliseconds (tests shorten it).
  u32 m_uiExitSleepMs = 500;
};

extern ClGameModeFMV g_gameModeFMV;

// Writes the movie request: the name (at most 767 characters kept), the follow-up mode, and g_eNextGameMode = 4.
// The caller finishes its mode.
void GAMERequestMovie(const char* pName, E_GAME_MODE eNext);
