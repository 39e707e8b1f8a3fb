// The window side of the stand-in's test interface (Win32Window.h): faults set by hand, SDL input events pushed as
// a device would send them, the focus moved, and everything the windows hold reset between tests.
#include <string>
#include <vector>

#include "Platform/Win32/Win32Window.h"
#include "Platform/Win32/Win32WindowInternal.h"
#include "Platform/Win32/Win32WindowRecords.h"

using namespace Win32Windows;

namespace {


Uint32 sdlIdOf(HWND hWnd) { return live(hWnd) ? hWnd->uiSdlId : 0; }

}  // namespace

// --- Tests ---

void Win32TestSetFaults(unsigned uiFaults) {
  g_bFaultsRead = true;
  g_uiFaults = uiFaults;
}

void Win32TestPushKey(SDL_Scancode eScancode, bool bDown, Uint16 uiMod, bool bRepeat) {
  if (!ensureVideo()) {
    return;
  }
  SDL_Event event{};
  event.type = bDown ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.timestamp = SDL_GetTicks();
  event.key.windowID = sdlIdOf(g_hActive);
  event.key.state = bDown ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = bRepeat ? 1 : 0;
  event.key.keysym.scancode = eScancode;
  event.key.keysym.sym = SDL_GetKeyFromScancode(eScancode);
  event.key.keysym.mod = uiMod;
  SDL_PushEvent(&event);
}

void Win32TestPushMouseMotion(HWND hWnd, int x, int y, int iRelX, int iRelY) {
  if (!ensureVideo()) {
    return;
  }
  SDL_Event event{};
  event.type = SDL_MOUSEMOTION;
  event.motion.timestamp = SDL_GetTicks();
  event.motion.windowID = sdlIdOf(hWnd);
  event.motion.state = g_uiMouseButtons;
  event.motion.x = x;
  event.motion.y = y;
  event.motion.xrel = iRelX;
  event.motion.yrel = iRelY;
  SDL_PushEvent(&event);
}

void Win32TestPushMouseButton(HWND hWnd, Uint8 uiButton, bool bDown, int x, int y) {
  if (!ensureVideo()) {
    return;
  }
  SDL_Event event{};
  event.type = bDown ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  event.button.timestamp = SDL_GetTicks();
  event.button.windowID = sdlIdOf(hWnd);
  event.button.button = uiButton;
  event.button.state = bDown ? SDL_PRESSED : SDL_RELEASED;
  event.button.clicks = 1;
  event.button.x = x;
  event.button.y = y;
  SDL_PushEvent(&event);
}

void Win32TestPushMouseWheel(HWND hWnd, int iNotchesY) {
  if (!ensureVideo()) {
    return;
  }
  SDL_Event event{};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.timestamp = SDL_GetTicks();
  event.wheel.windowID = sdlIdOf(hWnd);
  event.wheel.y = iNotchesY;
  event.wheel.preciseY = static_cast<float>(iNotchesY);
  event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  SDL_PushEvent(&event);
}

void Win32TestPushWindowEvent(HWND hWnd, SDL_WindowEventID eEvent, int iData1, int iData2) {
  if (!ensureVideo()) {
    return;
  }
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.timestamp = SDL_GetTicks();
  event.window.windowID = sdlIdOf(hWnd);
  event.window.event = static_cast<Uint8>(eEvent);
  event.window.data1 = iData1;
  event.window.data2 = iData2;
  SDL_PushEvent(&event);
}

void Win32TestPushDrop(HWND hWnd, const std::vector<std::string>& paths) {
  if (!ensureVideo()) {
    return;
  }
  SDL_Event event{};
  event.drop.timestamp = SDL_GetTicks();
  event.drop.windowID = sdlIdOf(hWnd);
  event.type = SDL_DROPBEGIN;
  SDL_PushEvent(&event);
  for (const std::string& path : paths) {
    event.type = SDL_DROPFILE;
    event.drop.file = SDL_strdup(path.c_str());
    SDL_PushEvent(&event);
  }
  event.type = SDL_DROPCOMPLETE;
  event.drop.file = nullptr;
  SDL_PushEvent(&event);
}

void Win32TestSetFocus(HWND hWnd) {
  Win32RequireWindowThread("Win32TestSetFocus");
  setActive(live(hWnd), WA_ACTIVE, false);
}

void Win32TestReset() {
  Win32RequireWindowThread("Win32TestReset");
  // Read what is waiting so that dropped-file names are freed the normal way.
  Win32PumpEvents();
  while (!g_windows.empty()) {
    HWND hWnd = g_windows.back();
    if (!DestroyWindow(hWnd)) {
      break;
    }
  }
  g_classes.clear();
  for (HDROP hDrop : g_drops) {
    delete hDrop;
  }
  g_drops.clear();
  g_hActive = nullptr;
  if (g_iCursorCounter < 0 && SDL_WasInit(SDL_INIT_VIDEO)) {
    SDL_ShowCursor(SDL_ENABLE);
  }
  g_iCursorCounter = 0;
  g_uiMouseButtons = 0;
  g_uiFaults = 0;
  g_videoStartProblem.clear();
  g_bFaultsRead = false;
  g_warpEcho = SWarpEcho{};
  g_uiExtraSdlFlags = 0;
  Win32SetCursorModel(0, 0);
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  // The windows' last events (focus lost, hidden) outlive the video while another subsystem keeps SDL's event
  // queue; the next video numbers its windows from 1 again, so they would reach the next start's windows.
  if (SDL_WasInit(SDL_INIT_EVENTS)) {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  Win32QueueReset();
}
