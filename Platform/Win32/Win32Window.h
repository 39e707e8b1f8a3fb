// Windows of the Win32 stand-in: window classes, top-level windows backed by SDL windows, the default window
// procedure, placement, activation, the cursor and dropped files.
//
// Coordinates are pixels. Screen coordinates are SDL's global coordinates; a window's client area is its SDL
// window, and its outer rectangle adds a frame: the frame SDL reports when the video driver has one, else a
// nominal frame for captioned styles (3 pixels left, right and bottom, 26 on top), so that code which sizes a
// window from its frame sees the same arithmetic everywhere. CreateWindowExA and MoveWindow take outer sizes.
//
// Activation follows Windows: showing a window activates it (WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS sent at
// once), and SDL focus changes later activate or deactivate it (those messages are delivered inside the next
// PeekMessageA). Video drivers that never give focus (offscreen, dummy) thus still see an active window.
//
// Only top-level windows exist (no children, menus or dialogs). Window functions run on the window thread.
// Text of the A functions is UTF-8; the W functions take UTF-16.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "Platform/Win32/Win32Messages.h"
#include "Platform/Win32/Win32System.h"
#include "Platform/Win32/Win32Types.h"

struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;
struct HBRUSH__;
typedef HBRUSH__* HBRUSH;
struct HMENU__;
typedef HMENU__* HMENU;
struct HDC__;
typedef HDC__* HDC;
struct HDROP__;
typedef HDROP__* HDROP;

// Class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002

// Window styles.
#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_MINIMIZE 0x20000000u
#define WS_VISIBLE 0x10000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_MAXIMIZE 0x01000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_THICKFRAME 0x00040000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_MAXIMIZEBOX 0x00010000u
#define WS_OVERLAPPEDWINDOW \
  (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define WS_EX_TOPMOST 0x00000008u
#define WS_EX_ACCEPTFILES 0x00000010u

#define CW_USEDEFAULT (static_cast<int>(0x80000000u))

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

// GetSystemMetrics.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// TrackMouseEvent.
#define TME_LEAVE 0x00000002u
#define TME_CANCEL 0x80000000u

#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))

typedef struct tagWNDCLASSEXA {
  UINT cbSize;  // sizeof(WNDCLASSEXA)
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
} WNDCLASSEXA;

// lParam of WM_CREATE.
typedef struct tagCREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTA;

typedef struct tagPAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

typedef struct tagTRACKMOUSEEVENT {
  DWORD cbSize;  // sizeof(TRACKMOUSEEVENT)
  DWORD dwFlags;
  HWND hwndTrack;
  DWORD dwHoverTime;
} TRACKMOUSEEVENT, *LPTRACKMOUSEEVENT;

// GetModuleHandleA (the program's module for a null name) is declared in Win32System.h.

// Registers a class (cbSize must be sizeof(WNDCLASSEXA), a window procedure and a class name are required;
// names compare without case). 0 when the class exists already or the record is invalid.
ATOM RegisterClassExA(const WNDCLASSEXA* lpwcx);
// FALSE when the class does not exist or still has windows.
BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
// There are no icon resources in this build: always null, so the class simply has no icon.
HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);

// Makes a top-level window of a registered class: WM_CREATE (a result of -1 refuses the window), WM_SIZE and
// WM_MOVE are sent; with WS_VISIBLE the window is then shown and activated. Styles: no WS_CAPTION makes a
// borderless window, WS_THICKFRAME a resizable one, WS_EX_TOPMOST one that stays on top. Null when the class
// is unknown, a parent is given, or SDL cannot make the window.
HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam);
// Deactivates the window if it is active, sends WM_DESTROY, then closes the SDL window and drops its waiting
// messages.
BOOL DestroyWindow(HWND hWnd);
BOOL IsWindow(HWND hWnd);
// The default handling: WM_CLOSE destroys the window, WM_SYSCOMMAND SC_CLOSE sends WM_CLOSE, WM_PAINT
// validates the window; every message answers 0.
LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Returns whether the window was visible before. Showing a hidden or minimised window activates it unless the
// command says not to (SW_SHOWNA, SW_SHOWNOACTIVATE); a visible window is not re-activated (the foreground is
// never taken from another program). Hiding or minimising the active window deactivates it.
BOOL ShowWindow(HWND hWnd, int nCmdShow);
// Sends WM_PAINT at once when the window is visible and needs painting.
BOOL UpdateWindow(HWND hWnd);
// Moves and sizes the outer rectangle; sends WM_MOVE and, when the client size changed, WM_SIZE.
BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);
BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString);
BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString);
// Copies at most nMaxCount - 1 bytes and a terminator; returns the bytes copied.
int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
// Outer rectangle in screen coordinates.
BOOL GetWindowRect(HWND hWnd, LPRECT lpRect);
// Client rectangle: (0, 0, width, height).
BOOL GetClientRect(HWND hWnd, LPRECT lpRect);
BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint);
BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint);
// SM_CXSCREEN, SM_CYSCREEN: the size of the first display's desktop; 0 for other metrics.
int GetSystemMetrics(int nIndex);
HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);

// The active window of this program, null while another program has the focus.
HWND GetForegroundWindow();
// Raises and activates a visible window (messages sent at once).
BOOL SetForegroundWindow(HWND hWnd);
// Activates the window as SetForegroundWindow does; returns the window that had the focus.
HWND SetFocus(HWND hWnd);

// TME_LEAVE: WM_MOUSELEAVE is posted once when the cursor leaves the client area (at once when it is not
// inside); TME_CANCEL | TME_LEAVE disarms. Other flags are refused (FALSE).
BOOL TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack);
// Moves the cursor (screen coordinates). The motion this causes is not reported as mouse movement to
// DirectInput devices.
BOOL SetCursorPos(int X, int Y);
BOOL GetCursorPos(LPPOINT lpPoint);
// Display counter: starts at 0, TRUE adds one, FALSE takes one away; the cursor shows while it is 0 or more.
// Returns the new counter.
int ShowCursor(BOOL bShow);
// Keeps the cursor inside the rectangle (screen coordinates, clipped to the window under it); null frees it.
BOOL ClipCursor(const RECT* lpRect);

// Dropped files: WM_DROPFILES reaches windows that accept files, with the drop handle as wParam.
void DragAcceptFiles(HWND hWnd, BOOL fAccept);
// iFile 0xFFFFFFFF: the number of files. Null buffer: the length of name iFile without terminator. Otherwise
// copies at most cch - 1 characters and a terminator and returns the characters copied; 0 for a bad handle or
// index.
UINT DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch);
UINT DragQueryFileW(HDROP hDrop, UINT iFile, LPWSTR lpszFile, UINT cch);
// Frees the drop handle.
void DragFinish(HDROP hDrop);

// --- Stand-in interface for the other stand-ins (not a platform call) ---

// The SDL window behind a window handle; null for a handle that is not a window.
SDL_Window* Win32GetSdlWindow(HWND hWnd);
// The desktop's display mode (display 0), false when SDL video is not running. A display that reports no size (a
// zero desktop, or no listed mode of a non-zero size, as SDL's offscreen driver lists) has a desktop of
// gc_iWIN32_DEFAULT_DESKTOP_WIDTH x gc_iWIN32_DEFAULT_DESKTOP_HEIGHT, so that GetSystemMetrics and the display
// modes of the graphics stand-in agree.
inline constexpr int gc_iWIN32_DEFAULT_DESKTOP_WIDTH = 1280;
inline constexpr int gc_iWIN32_DEFAULT_DESKTOP_HEIGHT = 720;
bool Win32GetDesktopMode(SDL_DisplayMode* pMode);
// Why the window system could not be started when a window function last tried (SDL's text: no display, an
// unknown video driver); empty when it runs or was not tried.
const char* Win32VideoStartProblem();
// When the connection to the display server breaks (the X server went away), no thread can use the window
// system again (threads waiting inside Xlib stay blocked), so the program cannot shut down through its window
// and graphics calls. The stand-in then writes a note on the error output, calls the handler set here on the
// thread whose call failed, and ends the process at once (_exit, no static destructors) with the code the
// handler answers, 1 without a handler. The handler must not touch the window, the graphics or locks that
// those may hold.
typedef int (*Win32DisplayLostHandler)();
Win32DisplayLostHandler Win32SetDisplayLostHandler(Win32DisplayLostHandler pHandler);
// Watches the connection behind an SDL window (called for every window made; once per connection).
void Win32WatchDisplayConnection(SDL_Window* pSdlWindow);
// Before a first connection to the X server of DISPLAY (SDL's video start, the graphics driver's warm-up): opens
// one more connection that only watches the server, so that a fault on any thread while the server is gone
// (a graphics library reading a reply that never came) is told apart from a crash and ends the program as a
// lost display. Once a process; any thread.
void Win32WatchDisplayServer();
// The client size the window system gives the SDL window now, in pixels, into *pWidth and *pHeight: on X11 asked
// of the server (one round trip), so that a resize the event pump has not read yet counts; false where the window
// system cannot be asked (another video driver: SDL's own record, GetClientRect, is then the size). Any thread (SDL
// opens Xlib for threads).
bool Win32WindowSizeNow(SDL_Window* pSdlWindow, int* pWidth, int* pHeight);
// SDL window flags added to every window made from now on (the graphics stand-in asks for SDL_WINDOW_OPENGL
// before the program makes its window).
void Win32SetWindowCreationFlags(Uint32 uiSdlFlags);

// --- Test and fault-injection interface ---
//
// The environment variable GRINDLOW_WIN32_FAULTS holds comma-separated faults read at first use:
// "createwindow" (CreateWindowExA fails), "nofocus" (showing a window does not activate it, as with a window
// manager that never gives the focus). Win32TestSetFaults replaces them. "stopat:N" stops the whole process
// (SIGSTOP) the first time it passes stop point N below, so that a test can take the display server away at a
// known moment of the start-up and let the program go on (SIGCONT).

// The moments of the start-up that touch the display server, in their usual order (the warm-up runs on a thread
// of its own, beside the others).
enum EWin32StopPoint : unsigned {
  WIN32_STOP_WATCH_OPENED = 1,  // the connection that watches the server is open
  WIN32_STOP_DRIVER_WARM_UP,    // the graphics driver's warm-up has connected
  WIN32_STOP_VIDEO_STARTED,     // SDL video runs
  WIN32_STOP_WINDOW_MADE,       // the first SDL window exists
  WIN32_STOP_DEVICE_MADE,       // the graphics device's OpenGL context exists
  WIN32_STOP_FRAME_PRESENTED,   // the first frame was presented
  NUM_WIN32_STOP_POINTS
};
// Called at each stop point by the stand-ins; stops the process there when "stopat" names it. Any thread.
void Win32StopPoint(EWin32StopPoint ePoint);

enum EWin32Fault : unsigned {
  WIN32_FAULT_NONE = 0,
  WIN32_FAULT_CREATE_WINDOW = 1u << 0,
  WIN32_FAULT_NO_FOCUS = 1u << 1,
};
void Win32TestSetFaults(unsigned uiFaults);

// Synthetic SDL events, read by the next pump like real ones. Keys go to the window with the focus; mouse
// events to hWnd at client coordinates (x, y).
void Win32TestPushKey(SDL_Scancode eScancode, bool bDown, Uint16 uiMod = KMOD_NONE, bool bRepeat = false);
void Win32TestPushMouseMotion(HWND hWnd, int x, int y, int iRelX, int iRelY);
void Win32TestPushMouseButton(HWND hWnd, Uint8 uiButton, bool bDown, int x, int y);
void Win32TestPushMouseWheel(HWND hWnd, int iNotchesY);
void Win32TestPushWindowEvent(HWND hWnd, SDL_WindowEventID eEvent, int iData1 = 0, int iData2 = 0);
void Win32TestPushDrop(HWND hWnd, const std::vector<std::string>& paths);
// Moves the focus as the window system would: to hWnd, or away from the program with null. The messages are
// delivered inside the next PeekMessageA.
void Win32TestSetFocus(HWND hWnd);
// Destroys every window and class, empties the queue, clears the quit request, the key state and the cursor
// counter, forgets Win32TestSetFaults (the environment's faults are read again), and shuts SDL's video down,
// so the next call starts afresh (with the video driver then named by SDL_VIDEODRIVER).
void Win32TestReset();
