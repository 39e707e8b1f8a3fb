#include "Platform/Win32/Win32Sdl.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_initMutex;
bool g_bHintsSet = false;
bool g_bOffscreenNoted = false;

}  // namespace

int Win32InitSdlSubSystem(Uint32 uiFlags) {
  std::lock_guard<std::mutex> lock(g_initMutex);
  if (!g_bHintsSet) {
    g_bHintsSet = true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  }
  const int iResult = SDL_InitSubSystem(uiFlags);
  if (iResult == 0 && (uiFlags & SDL_INIT_VIDEO) != 0 && !g_bOffscreenNoted) {
    const char* pDriver = SDL_GetCurrentVideoDriver();
    if (pDriver != nullptr && std::strcmp(pDriver, "offscreen") == 0) {
      g_bOffscreenNoted = true;
      std::fprintf(stderr, "%s\n", gc_pszWIN32_OFFSCREEN_NOTE);
    }
  }
  return iResult;
}
