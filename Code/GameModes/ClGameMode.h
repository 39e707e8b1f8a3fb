// The game modes: the game is always in exactly one of them, and the mode machine of ClGame ticks the current
// one each frame and switches when its tick reports it finished.
//
// Every mode is a singleton object of a class derived from ClGameMode, registered with the mode machine under
// its id (ClGame::registerGameMode). Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

enum E_GAME_MODE : i32 {
  E_GAME_MODE_NONE = 0,  // the previous mode before the first switch
  E_GAME_MODE_FRONTEND = 1,
  E_GAME_MODE_ACTION = 2,
  E_GAME_MODE_CATFPS = 3,
  E_GAME_MODE_FMV = 4,
  E_GAME_MODE_PRELOAD = 5,
  E_GAME_MODE_LOAD = 6,
  NUM_E_GAME_MODE
};

class ClGameMode {
 public:
  ClGameMode() = default;
  virtual ~ClGameMode() = default;

  // Called before enter when m_bCallPreEnter is set (no mode sets it).
  virtual bool preEnter(i32 /*iPreviousMode*/) { return true; }
  // The mode becomes current; clears m_bFinished. Returns 1.
  virtual i32 enter(i32 iPreviousMode) = 0;
  // One frame with the frame time in seconds; non-zero once the mode has finished.
  virtual i32 tick(f32 fDT) = 0;
  // The mode stops being current, before the next mode's enter. Returns 1.
  virtual i32 exit() = 0;

  u32 m_bCallPreEnter = 0;
  u32 m_bFinished = 0;
};

// The video the video mode plays next and the mode it goes on to: written by the modes that ask for a video
// (the load mode under "TEST_FMV", the front end before a chapter); at most 767 characters and a terminator.
inline constexpr u32 gc_uiFMV_NAME_SIZE = 768;
extern char g_acFMVName[gc_uiFMV_NAME_SIZE];
extern i32 g_iFMVNextGameMode;
