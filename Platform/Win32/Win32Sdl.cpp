#include "Platform/Win32/Win32Sdl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "Platform/Win32/Win32Window.h"
#include "Platform/Win32/Win32WindowInternal.h"

namespace {

std::mutex g_initMutex;
bool g_bHintsSet = false;
bool g_bOffscreenNoted = false;

constexpr const char* gc_pszX_DISPLAY = "X display";
constexpr const char* gc_pszWAYLAND_DISPLAY = "Wayland display";

bool isSet(const char* pValue) { return pValue != nullptr && pValue[0] != '\0'; }

}  // namespace

SWin32VideoChoice Win32ChooseVideoDriver(const char* pRequested, const char* pX11Display, const char* pWaylandDisplay) {
  if (isSet(pRequested)) {
    // A driver asked for by name is left to SDL; the display it reads is what it could not open.
    if (std::strcmp(pRequested, "x11") == 0 && isSet(pX11Display)) return {nullptr, pX11Display, gc_pszX_DISPLAY};
    if (std::strcmp(pRequested, "wayland") == 0 && isSet(pWaylandDisplay)) {
      return {nullptr, pWaylandDisplay, gc_pszWAYLAND_DISPLAY};
    }
    return {nullptr, nullptr, nullptr};
  }
  if (isSet(pX11Display)) return {"x11", pX11Display, gc_pszX_DISPLAY};
  if (isSet(pWaylandDisplay)) return {"wayland", pWaylandDisplay, gc_pszWAYLAND_DISPLAY};
  return {nullptr, nullptr, nullptr};
}

int Win32InitSdlSubSystem(Uint32 uiFlags) {
  std::lock_guard<std::mutex> lock(g_initMutex);
  if (!g_bHintsSet) {
    g_bHintsSet = true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  }
  const bool bStartsVideo = (uiFlags & SDL_INIT_VIDEO) != 0 && !SDL_WasInit(SDL_INIT_VIDEO);
  SWin32VideoChoice choice{nullptr, nullptr, nullptr};
  if (bStartsVideo) {
    // A display that is named must be the one used: SDL would otherwise go on to its offscreen driver and run
    // unseen. The environment is read at each start.
    choice = Win32ChooseVideoDriver(std::getenv("SDL_VIDEODRIVER"), std::getenv("DISPLAY"),
                                    std::getenv("WAYLAND_DISPLAY"));
    if (choice.pKind == gc_pszX_DISPLAY) {
      Win32WatchDisplayServer();
    }
    if (choice.pDriver != nullptr) {
      // Over an empty SDL_VIDEODRIVER too, which SDL would read as "any driver".
      SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, choice.pDriver, SDL_HINT_OVERRIDE);
    } else {
      SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    }
  }
  const int iResult = SDL_InitSubSystem(uiFlags);
  if (iResult != 0 && bStartsVideo && choice.pDisplay != nullptr) {
    // A server that went away after the program had connected is a lost display, not one that cannot be opened.
    if (choice.pKind == gc_pszX_DISPLAY && Win32DisplayServerLost()) Win32EndForLostDisplay();
    SDL_SetError("the %s \"%s\" cannot be opened", choice.pKind, choice.pDisplay);
  }
  if (iResult == 0 && bStartsVideo) Win32StopPoint(WIN32_STOP_VIDEO_STARTED);
  if (iResult == 0 && (uiFlags & SDL_INIT_VIDEO) != 0 && !g_bOffscreenNoted) {
    const char* pDriver = SDL_GetCurrentVideoDriver();
    if (pDriver != nullptr && std::strcmp(pDriver, "offscreen") == 0) {
      g_bOffscreenNoted = true;
      std::fprintf(stderr, "%s\n", gc_pszWIN32_OFFSCREEN_NOTE);
    }
  }
  return iResult;
}
