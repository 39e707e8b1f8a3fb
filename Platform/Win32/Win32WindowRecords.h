// The window records and the window thread's state, shared by the window functions (Win32Window.cpp), the
// translation of SDL events into window messages (Win32WindowEvents.cpp) and the test interface
// (Win32WindowTest.cpp). Window thread only, as every window function; not for use outside those files.
#pragma once

#include <SDL.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "Platform/Win32/Win32Window.h"


// A window handle points at its record.
struct HWND__ {
  std::string className;
  WNDPROC pProc = nullptr;
  DWORD uiStyle = 0;
  DWORD uiExStyle = 0;
  SDL_Window* pSdlWindow = nullptr;
  Uint32 uiSdlId = 0;
  std::string title;
  bool bVisible = false;
  bool bMinimized = false;
  bool bNeedsPaint = false;
  bool bAcceptFiles = false;
  bool bTrackLeave = false;
  bool bMouseInside = false;
  // The window moved with the mouse in it since SDL last saw the mouse move: SDL's window-relative mouse position,
  // which its button events carry, is where the cursor was in the window before the move.
  bool bMouseSpotStale = false;
  bool bDestroying = false;
  int iClientW = 0;  // last size and position told to the window procedure
  int iClientH = 0;
  int iClientX = 0;
  int iClientY = 0;
  bool bDropOpen = false;
  std::vector<std::string> dropFiles;
};

struct HDROP__ {
  std::vector<std::string> files;
};

namespace Win32Windows {

struct SWindowClass {
  WNDCLASSEXA record;
  std::string name;
  ATOM uiAtom;
  int iWindows;
};

struct SWarpEcho {
  bool bPending = false;
  Uint32 uiSdlId = 0;
  int x = 0;
  int y = 0;
  Uint64 uiTicks = 0;
};

extern std::vector<SWindowClass> g_classes;
extern std::vector<HWND> g_windows;
extern std::unordered_set<HDROP> g_drops;
extern HWND g_hActive;
extern Uint32 g_uiExtraSdlFlags;
extern int g_iCursorCounter;
extern Uint32 g_uiMouseButtons;  // SDL button mask as of the last button event
extern unsigned g_uiFaults;
extern bool g_bFaultsRead;
extern SWarpEcho g_warpEcho;
// Why SDL video could not start the last time it was tried; empty once it starts.
extern std::string g_videoStartProblem;

// The faults asked for (WIN32_FAULT_...), read from the environment on first use.
unsigned faults();
// Starts SDL video when it is not running; false (the reason said once) when it cannot.
bool ensureVideo();
// hWnd when it is a window that exists (being destroyed included), else null.
HWND live(HWND hWnd);
// The window of an SDL window identifier, not one being destroyed; null when none.
HWND bySdlId(Uint32 uiId);
// Calls the window procedure now, or has the message delivered inside the next PeekMessageA.
void deliver(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam, bool bNow);
// Moves the activation from the current active window to hNew (null: away from the program).
void setActive(HWND hNew, WORD uiHow, bool bNow);
// WM_MOVE or WM_SIZE when the client area moved or changed size since the last one told (WM_SIZE always with
// bForce).
void reportMove(HWND hWnd, bool bNow);
void reportSize(HWND hWnd, WPARAM uiKind, bool bForce, bool bNow);
// A point of the client area in screen coordinates.
POINT clientToScreen(HWND hWnd, int x, int y);
// Appends an input message for the window, with the cursor position the stand-in believes in.
void postInput(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam, Uint32 uiTime);

}  // namespace Win32Windows
