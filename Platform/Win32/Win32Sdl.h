// The one way every stand-in starts an SDL subsystem (video, audio, game controllers).
//
// Before the first SDL_InitSubSystem of the process it sets the hints all stand-ins rely on: SDL installs no
// signal handlers (the Win32 stand-in maps SIGINT and SIGTERM itself; SDL's handler would turn Ctrl-C into an
// SDL_QUIT event that nothing reads, so the program would run on), and pads are read while the window is in
// the background. Calling SDL_InitSubSystem directly anywhere else would let SDL install its handlers.
//
// When video starts on SDL's offscreen driver (no display), one line on the standard error says so, once a
// process.
//
// Any thread; SDL's own rule holds that video starts on the window thread. The stand-ins' starts are
// serialised with each other.
#pragma once

#include <SDL.h>

// SDL_InitSubSystem(uiFlags) with the hints set first: 0 on success, else SDL's negative code (SDL_GetError
// says why).
int Win32InitSdlSubSystem(Uint32 uiFlags);
// The line written when video runs on the offscreen driver.
inline constexpr const char* gc_pszWIN32_OFFSCREEN_NOTE =
    "Win32 stand-in: no display; SDL's offscreen video driver runs the window offscreen, nothing is shown.";
