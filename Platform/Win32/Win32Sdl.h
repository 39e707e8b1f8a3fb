// The one way every stand-in starts an SDL subsystem (video, audio, game controllers).
//
// Before the first SDL_InitSubSystem of the process it sets the hints all stand-ins rely on: SDL installs no
// signal handlers (the Win32 stand-in maps SIGINT and SIGTERM itself; SDL's handler would turn Ctrl-C into an
// SDL_QUIT event that nothing reads, so the program would run on), and pads are read while the window is in
// the background. Calling SDL_InitSubSystem directly anywhere else would let SDL install its handlers.
//
// Video runs on the display the environment names: SDL_VIDEODRIVER when set, else the X server of DISPLAY, else
// the Wayland compositor of WAYLAND_DISPLAY; only when none of them is set does SDL pick (its offscreen driver
// where nothing else works). A named display that cannot be opened fails the start, naming the display, instead
// of running unseen; an X server that went away after the program had reached it ends the program as a lost
// display (Win32Window.h), whose watch starts here. When video starts on SDL's offscreen driver, one line on the
// standard error says so, once a process.
//
// Any thread; SDL's own rule holds that video starts on the window thread. The stand-ins' starts are
// serialised with each other.
#pragma once

#include <SDL.h>

// SDL_InitSubSystem(uiFlags) with the hints set first: 0 on success, else SDL's negative code (SDL_GetError
// says why).
int Win32InitSdlSubSystem(Uint32 uiFlags);

// The video driver to ask SDL for, from the environment's SDL_VIDEODRIVER, DISPLAY and WAYLAND_DISPLAY (null or
// empty when unset): pDriver null leaves the choice to SDL (it then honours SDL_VIDEODRIVER itself); pDisplay and
// pKind ("X display") name the display a failed start names, null when none is named.
struct SWin32VideoChoice {
  const char* pDriver;
  const char* pDisplay;
  const char* pKind;
};
SWin32VideoChoice Win32ChooseVideoDriver(const char* pRequested, const char* pX11Display, const char* pWaylandDisplay);
// The line written when video runs on the offscreen driver.
inline constexpr const char* gc_pszWIN32_OFFSCREEN_NOTE =
    "Win32 stand-in: no display; SDL's offscreen video driver runs the window offscreen, nothing is shown.";
