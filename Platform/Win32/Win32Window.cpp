// The window functions of the Win32 stand-in: classes, windows backed by SDL windows, the default procedure,
// placement, activation, the cursor and dropped files (contract in Win32Window.h). The records and the state they
// share with the event translation and the test interface are in Win32WindowRecords.h.
#include "Platform/Win32/Win32Window.h"

#include <SDL_syswm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <unordered_set>
#include <vector>

#include "Platform/Win32/Win32KernelObjects.h"
#include "Platform/Win32/Win32Threads.h"
#include "Platform/Win32/Win32WindowInternal.h"
#include "Platform/Win32/Win32WindowRecords.h"
#include "Platform/Win32/Win32Sdl.h"

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#endif

namespace Win32Windows {

// Window thread only.
std::vector<SWindowClass> g_classes;
std::vector<HWND> g_windows;
std::unordered_set<HDROP> g_drops;
HWND g_hActive = nullptr;
Uint32 g_uiExtraSdlFlags = 0;
int g_iCursorCounter = 0;
Uint32 g_uiMouseButtons = 0;  // SDL button mask as of the last button event
unsigned g_uiFaults = 0;
bool g_bFaultsRead = false;

SWarpEcho g_warpEcho;

// Why SDL video could not start the last time it was tried; empty once it starts.
std::string g_videoStartProblem;

unsigned faults() {
  if (!g_bFaultsRead) {
    g_bFaultsRead = true;
    const std::vector<SPlatformFault> environment = Win32Internal::environmentFaults();
    if (PlatformFindFault(environment, "createwindow")) g_uiFaults |= WIN32_FAULT_CREATE_WINDOW;
    if (PlatformFindFault(environment, "nofocus")) g_uiFaults |= WIN32_FAULT_NO_FOCUS;
  }
  return g_uiFaults;
}

bool ensureVideo() {
  Win32RequireWindowThread("the window functions");
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    return true;
  }
  if (Win32InitSdlSubSystem(SDL_INIT_VIDEO) != 0) {
    const std::string problem = SDL_GetError();
    if (problem != g_videoStartProblem) {
      std::fprintf(stderr, "Win32 stand-in: SDL video could not start: %s\n", problem.c_str());
    }
    g_videoStartProblem = problem;
    return false;
  }
  g_videoStartProblem.clear();
  return true;
}

HWND live(HWND hWnd) {
  if (hWnd == nullptr) {
    return nullptr;
  }
  return std::find(g_windows.begin(), g_windows.end(), hWnd) != g_windows.end() ? hWnd : nullptr;
}

HWND bySdlId(Uint32 uiId) {
  for (HWND hWnd : g_windows) {
    if (hWnd->uiSdlId == uiId && !hWnd->bDestroying) {
      return hWnd;
    }
  }
  return nullptr;
}

void deliver(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam, bool bNow) {
  if (bNow) {
    if (live(hWnd)) {
      hWnd->pProc(hWnd, uiMsg, wParam, lParam);
    }
  } else {
    Win32QueueSendLater(hWnd, uiMsg, wParam, lParam);
  }
}

// Moves the activation from the current active window to hNew (null: away from the program). Listeners hear
// of it first, so input devices follow the focus before the window procedure runs.
void setActive(HWND hNew, WORD uiHow, bool bNow) {
  HWND hOld = g_hActive;
  if (hOld == hNew) {
    return;
  }
  g_hActive = hNew;
  if (hOld) {
    Win32NotifyActivation(hOld, false);
  }
  if (hNew) {
    Win32NotifyActivation(hNew, true);
  }
  if (hOld) {
    deliver(hOld, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, hOld->bMinimized ? 1 : 0), reinterpret_cast<LPARAM>(hNew),
            bNow);
    if (!hNew) {
      deliver(hOld, WM_ACTIVATEAPP, FALSE, 0, bNow);
    }
    deliver(hOld, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hNew), 0, bNow);
  }
  if (hNew) {
    if (!hOld) {
      deliver(hNew, WM_ACTIVATEAPP, TRUE, 0, bNow);
    }
    deliver(hNew, WM_ACTIVATE, uiHow, reinterpret_cast<LPARAM>(hOld), bNow);
    deliver(hNew, WM_SETFOCUS, reinterpret_cast<WPARAM>(hOld), 0, bNow);
  }
}

void reportMove(HWND hWnd, bool bNow) {
  int x = 0;
  int y = 0;
  SDL_GetWindowPosition(hWnd->pSdlWindow, &x, &y);
  if (x != hWnd->iClientX || y != hWnd->iClientY) {
    hWnd->iClientX = x;
    hWnd->iClientY = y;
    // The cursor stayed where it was on the screen, so its place in the window changed under SDL.
    hWnd->bMouseSpotStale = hWnd->bMouseInside;
    deliver(hWnd, WM_MOVE, 0, MAKELPARAM(x, y), bNow);
  }
}

void reportSize(HWND hWnd, WPARAM uiKind, bool bForce, bool bNow) {
  int w = 0;
  int h = 0;
  SDL_GetWindowSize(hWnd->pSdlWindow, &w, &h);
  if (bForce || w != hWnd->iClientW || h != hWnd->iClientH) {
    hWnd->iClientW = w;
    hWnd->iClientH = h;
    deliver(hWnd, WM_SIZE, uiKind, MAKELPARAM(w, h), bNow);
  }
}

POINT clientToScreen(HWND hWnd, int x, int y) {
  int iLeft = 0;
  int iTop = 0;
  SDL_GetWindowPosition(hWnd->pSdlWindow, &iLeft, &iTop);
  return POINT{iLeft + x, iTop + y};
}

void postInput(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam, Uint32 uiTime) {
  Win32QueuePostInput(MSG{hWnd, uiMsg, wParam, lParam, uiTime, Win32CursorModel()});
}

}  // namespace Win32Windows

using namespace Win32Windows;

namespace {

ATOM g_uiNextAtom = 0xC000;

SWindowClass* findClass(LPCSTR pName) {
  for (SWindowClass& windowClass : g_classes) {
    if (strcasecmp(windowClass.name.c_str(), pName) == 0) {
      return &windowClass;
    }
  }
  return nullptr;
}

// Frame around the client area: left, top, right, bottom widths.
RECT frameOf(DWORD uiStyle, SDL_Window* pSdlWindow) {
  if ((uiStyle & (WS_CAPTION | WS_THICKFRAME)) == 0) {
    return RECT{0, 0, 0, 0};
  }
  int iTop = 0;
  int iLeft = 0;
  int iBottom = 0;
  int iRight = 0;
  if (pSdlWindow && SDL_GetWindowBordersSize(pSdlWindow, &iTop, &iLeft, &iBottom, &iRight) == 0 &&
      (iTop | iLeft | iBottom | iRight) != 0) {
    return RECT{iLeft, iTop, iRight, iBottom};
  }
  return RECT{3, (uiStyle & WS_CAPTION) == WS_CAPTION ? 26 : 3, 3, 3};
}

void show(HWND hWnd, int nCmdShow) {
  const bool bWasShown = hWnd->bVisible && !hWnd->bMinimized;
  bool bActivate = false;
  switch (nCmdShow) {
    case SW_HIDE:
      SDL_HideWindow(hWnd->pSdlWindow);
      hWnd->bVisible = false;
      if (g_hActive == hWnd) {
        setActive(nullptr, 0, true);
      }
      return;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      SDL_ShowWindow(hWnd->pSdlWindow);
      SDL_MinimizeWindow(hWnd->pSdlWindow);
      hWnd->bVisible = true;
      hWnd->bMinimized = true;
      if (g_hActive == hWnd) {
        setActive(nullptr, 0, true);
      }
      return;
    case SW_SHOWMAXIMIZED:
      SDL_MaximizeWindow(hWnd->pSdlWindow);
      hWnd->bMinimized = false;
      bActivate = true;
      break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
      break;
    default:  // SW_SHOWNORMAL, SW_SHOW, SW_RESTORE, SW_SHOWDEFAULT
      if (hWnd->bMinimized) {
        SDL_RestoreWindow(hWnd->pSdlWindow);
        hWnd->bMinimized = false;
      }
      bActivate = true;
      break;
  }
  if (!hWnd->bVisible) {
    SDL_ShowWindow(hWnd->pSdlWindow);
    hWnd->bVisible = true;
    hWnd->bNeedsPaint = true;
  }
  if (bActivate && !bWasShown && (faults() & WIN32_FAULT_NO_FOCUS) == 0) {
    SDL_RaiseWindow(hWnd->pSdlWindow);
    setActive(hWnd, WA_ACTIVE, true);
  }
}

std::string utf8FromUtf16(LPCWSTR pText) {
  std::string out;
  for (size_t i = 0; pText[i] != 0; ++i) {
    char32_t c = pText[i];
    if (c >= 0xD800 && c <= 0xDBFF && pText[i + 1] >= 0xDC00 && pText[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (pText[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Malformed bytes become U+FFFD.
std::u16string utf16FromUtf8(const std::string& text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    int iMore = 0;
    char32_t c = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      c = lead & 0x1F;
      iMore = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      c = lead & 0x0F;
      iMore = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      c = lead & 0x07;
      iMore = 3;
    } else {
      c = 0xFFFD;
    }
    ++i;
    for (int k = 0; k < iMore; ++k) {
      if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
        c = 0xFFFD;
        break;
      }
      c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
      ++i;
    }
    if (c >= 0x10000 && c <= 0x10FFFF) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c);
    }
  }
  return out;
}

}  // namespace

// --- Glue for the queue ---

WNDPROC Win32WindowProcOf(HWND hWnd) {
  HWND hLive = live(hWnd);
  return hLive ? hLive->pProc : nullptr;
}

bool Win32WindowFindPaint(HWND hFilter, HWND* phWnd) {
  for (HWND hWnd : g_windows) {
    if ((hFilter == nullptr || hFilter == hWnd) && hWnd->bVisible && !hWnd->bMinimized && hWnd->bNeedsPaint &&
        !hWnd->bDestroying) {
      *phWnd = hWnd;
      return true;
    }
  }
  return false;
}

// --- Platform calls ---

ATOM RegisterClassExA(const WNDCLASSEXA* lpwcx) {
  Win32RequireWindowThread("RegisterClassExA");
  if (lpwcx == nullptr || lpwcx->cbSize != sizeof(WNDCLASSEXA) || lpwcx->lpfnWndProc == nullptr ||
      lpwcx->lpszClassName == nullptr || findClass(lpwcx->lpszClassName) != nullptr) {
    return 0;
  }
  SWindowClass windowClass{*lpwcx, lpwcx->lpszClassName, g_uiNextAtom++, 0};
  windowClass.record.lpszClassName = nullptr;  // the caller's text may not outlive the call
  windowClass.record.lpszMenuName = nullptr;
  g_classes.push_back(windowClass);
  return windowClass.uiAtom;
}

BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
  Win32RequireWindowThread("UnregisterClassA");
  if (lpClassName == nullptr) {
    return FALSE;
  }
  SWindowClass* pClass = findClass(lpClassName);
  if (pClass == nullptr || pClass->iWindows > 0) {
    return FALSE;
  }
  g_classes.erase(g_classes.begin() + (pClass - g_classes.data()));
  return TRUE;
}

HICON LoadIconA(HINSTANCE, LPCSTR) { return nullptr; }

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
  Win32RequireWindowThread("CreateWindowExA");
  // Every failure sets the last error, so that a caller reporting it never shows an older call's code.
  if (faults() & WIN32_FAULT_CREATE_WINDOW) {
    SetLastError(ERROR_GEN_FAILURE);
    return nullptr;
  }
  if (lpClassName == nullptr || hWndParent != nullptr || (dwStyle & WS_CHILD)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SWindowClass* pClass = findClass(lpClassName);
  if (pClass == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  // No window system (no display, an unknown video driver): the program cannot have windows here.
  if (!ensureVideo()) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  const RECT frame = frameOf(dwStyle, nullptr);
  int iClientW = 640;
  int iClientH = 480;
  if (nWidth != CW_USEDEFAULT) {
    iClientW = std::max(1, static_cast<int>(nWidth - frame.left - frame.right));
    iClientH = std::max(1, static_cast<int>(nHeight - frame.top - frame.bottom));
  }
  int iClientX = static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
  int iClientY = static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
  if (X != CW_USEDEFAULT) {
    iClientX = X + frame.left;
    iClientY = Y + frame.top;
  }
  Uint32 uiFlags = SDL_WINDOW_HIDDEN | g_uiExtraSdlFlags;
  if ((dwStyle & WS_CAPTION) != WS_CAPTION) uiFlags |= SDL_WINDOW_BORDERLESS;
  if (dwStyle & WS_THICKFRAME) uiFlags |= SDL_WINDOW_RESIZABLE;
  if (dwExStyle & WS_EX_TOPMOST) uiFlags |= SDL_WINDOW_ALWAYS_ON_TOP;
  const char* pTitle = lpWindowName ? lpWindowName : "";
  if (uiFlags & SDL_WINDOW_OPENGL) {
    // The graphics stand-in draws its back buffer straight into an OpenGL window, with this depth and stencil.
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  }
  SDL_Window* pSdlWindow = SDL_CreateWindow(pTitle, iClientX, iClientY, iClientW, iClientH, uiFlags);
  if (pSdlWindow == nullptr) {
    std::fprintf(stderr, "Win32 stand-in: SDL could not make the window: %s\n", SDL_GetError());
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }

  Win32WatchDisplayConnection(pSdlWindow);
  Win32StopPoint(WIN32_STOP_WINDOW_MADE);
  HWND hWnd = new HWND__;
  hWnd->className = pClass->name;
  hWnd->pProc = pClass->record.lpfnWndProc;
  hWnd->uiStyle = dwStyle;
  hWnd->uiExStyle = dwExStyle;
  hWnd->pSdlWindow = pSdlWindow;
  hWnd->uiSdlId = SDL_GetWindowID(pSdlWindow);
  hWnd->title = pTitle;
  hWnd->bAcceptFiles = (dwExStyle & WS_EX_ACCEPTFILES) != 0;
  SDL_GetWindowPosition(pSdlWindow, &hWnd->iClientX, &hWnd->iClientY);
  SDL_GetWindowSize(pSdlWindow, &hWnd->iClientW, &hWnd->iClientH);
  g_windows.push_back(hWnd);
  ++pClass->iWindows;
  Win32QueueAddWindow(hWnd);

  CREATESTRUCTA create{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                       static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
  if (hWnd->pProc(hWnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(hWnd);
    return nullptr;
  }
  if (!live(hWnd)) {
    return nullptr;
  }
  deliver(hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(hWnd->iClientW, hWnd->iClientH), true);
  deliver(hWnd, WM_MOVE, 0, MAKELPARAM(hWnd->iClientX, hWnd->iClientY), true);
  if (live(hWnd) && (dwStyle & WS_VISIBLE)) {
    show(hWnd, SW_SHOW);
  }
  return live(hWnd);
}

BOOL DestroyWindow(HWND hWnd) {
  Win32RequireWindowThread("DestroyWindow");
  if (!live(hWnd) || hWnd->bDestroying) {
    return FALSE;
  }
  hWnd->bDestroying = true;
  if (g_hActive == hWnd) {
    setActive(nullptr, 0, true);
  }
  hWnd->pProc(hWnd, WM_DESTROY, 0, 0);
  Win32QueueRemoveWindow(hWnd);
  g_windows.erase(std::find(g_windows.begin(), g_windows.end(), hWnd));
  if (SWindowClass* pClass = findClass(hWnd->className.c_str())) {
    --pClass->iWindows;
  }
  if (g_warpEcho.uiSdlId == hWnd->uiSdlId) {
    g_warpEcho.bPending = false;
  }
  SDL_DestroyWindow(hWnd->pSdlWindow);
  delete hWnd;
  return TRUE;
}

BOOL IsWindow(HWND hWnd) { return live(hWnd) && !hWnd->bDestroying ? TRUE : FALSE; }

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM) {
  switch (Msg) {
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        SendMessageA(hWnd, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_PAINT:
      if (live(hWnd)) {
        hWnd->bNeedsPaint = false;
      }
      return 0;
    default:
      return 0;
  }
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  Win32RequireWindowThread("ShowWindow");
  if (!IsWindow(hWnd)) {
    return FALSE;
  }
  const BOOL bWasVisible = hWnd->bVisible ? TRUE : FALSE;
  show(hWnd, nCmdShow);
  return bWasVisible;
}

BOOL UpdateWindow(HWND hWnd) {
  Win32RequireWindowThread("UpdateWindow");
  if (!IsWindow(hWnd)) {
    return FALSE;
  }
  if (hWnd->bVisible && !hWnd->bMinimized && hWnd->bNeedsPaint) {
    hWnd->pProc(hWnd, WM_PAINT, 0, 0);
  }
  return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  Win32RequireWindowThread("MoveWindow");
  if (!IsWindow(hWnd)) {
    return FALSE;
  }
  const RECT frame = frameOf(hWnd->uiStyle, hWnd->pSdlWindow);
  SDL_SetWindowPosition(hWnd->pSdlWindow, X + frame.left, Y + frame.top);
  SDL_SetWindowSize(hWnd->pSdlWindow, std::max(1, static_cast<int>(nWidth - frame.left - frame.right)),
                    std::max(1, static_cast<int>(nHeight - frame.top - frame.bottom)));
  reportMove(hWnd, true);
  if (live(hWnd)) {
    reportSize(hWnd, SIZE_RESTORED, false, true);
  }
  if (live(hWnd) && bRepaint) {
    hWnd->bNeedsPaint = true;
  }
  return TRUE;
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  Win32RequireWindowThread("SetWindowTextA");
  if (!IsWindow(hWnd)) {
    return FALSE;
  }
  hWnd->title = lpString ? lpString : "";
  SDL_SetWindowTitle(hWnd->pSdlWindow, hWnd->title.c_str());
  return TRUE;
}

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  const std::string text = lpString ? utf8FromUtf16(lpString) : std::string();
  return SetWindowTextA(hWnd, text.c_str());
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (!IsWindow(hWnd) || lpString == nullptr || nMaxCount <= 0) {
    return 0;
  }
  const size_t uiCount = std::min(hWnd->title.size(), static_cast<size_t>(nMaxCount - 1));
  std::memcpy(lpString, hWnd->title.data(), uiCount);
  lpString[uiCount] = '\0';
  return static_cast<int>(uiCount);
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (!IsWindow(hWnd) || lpRect == nullptr) {
    return FALSE;
  }
  const RECT frame = frameOf(hWnd->uiStyle, hWnd->pSdlWindow);
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  SDL_GetWindowPosition(hWnd->pSdlWindow, &x, &y);
  SDL_GetWindowSize(hWnd->pSdlWindow, &w, &h);
  *lpRect = RECT{x - frame.left, y - frame.top, x + w + frame.right, y + h + frame.bottom};
  return TRUE;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (!IsWindow(hWnd) || lpRect == nullptr) {
    return FALSE;
  }
  int w = 0;
  int h = 0;
  SDL_GetWindowSize(hWnd->pSdlWindow, &w, &h);
  *lpRect = RECT{0, 0, w, h};
  return TRUE;
}

bool Win32WindowSizeNow(SDL_Window* pSdlWindow, int* pWidth, int* pHeight) {
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (pSdlWindow == nullptr || !SDL_GetWindowWMInfo(pSdlWindow, &info) || info.subsystem != SDL_SYSWM_X11) {
    return false;
  }
  ::Window root = 0;
  int x = 0;
  int y = 0;
  unsigned int uiWidth = 0;
  unsigned int uiHeight = 0;
  unsigned int uiBorder = 0;
  unsigned int uiDepth = 0;
  if (XGetGeometry(info.info.x11.display, info.info.x11.window, &root, &x, &y, &uiWidth, &uiHeight, &uiBorder,
                   &uiDepth) == 0) {
    return false;
  }
  *pWidth = static_cast<int>(uiWidth);
  *pHeight = static_cast<int>(uiHeight);
  return true;
#else
  (void)pSdlWindow;
  (void)pWidth;
  (void)pHeight;
  return false;
#endif
}

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  if (!IsWindow(hWnd) || lpPoint == nullptr) {
    return FALSE;
  }
  *lpPoint = clientToScreen(hWnd, lpPoint->x, lpPoint->y);
  return TRUE;
}

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  if (!IsWindow(hWnd) || lpPoint == nullptr) {
    return FALSE;
  }
  const POINT origin = clientToScreen(hWnd, 0, 0);
  lpPoint->x -= origin.x;
  lpPoint->y -= origin.y;
  return TRUE;
}

int GetSystemMetrics(int nIndex) {
  if ((nIndex != SM_CXSCREEN && nIndex != SM_CYSCREEN) || !ensureVideo()) {
    return 0;
  }
  SDL_DisplayMode mode;
  if (!Win32GetDesktopMode(&mode)) {
    return 0;
  }
  return nIndex == SM_CXSCREEN ? mode.w : mode.h;
}

const char* Win32VideoStartProblem() { return g_videoStartProblem.c_str(); }

bool Win32GetDesktopMode(SDL_DisplayMode* pMode) {
  if (!SDL_WasInit(SDL_INIT_VIDEO) || SDL_GetDesktopDisplayMode(0, pMode) != 0) {
    return false;
  }
  // SDL's offscreen driver gives its desktop a made-up size while its one display mode is 0 x 0.
  bool bSized = false;
  for (int i = 0; i < SDL_GetNumDisplayModes(0) && !bSized; ++i) {
    SDL_DisplayMode listed{};
    bSized = SDL_GetDisplayMode(0, i, &listed) == 0 && listed.w > 0 && listed.h > 0;
  }
  if (!bSized || pMode->w <= 0 || pMode->h <= 0) {
    pMode->w = gc_iWIN32_DEFAULT_DESKTOP_WIDTH;
    pMode->h = gc_iWIN32_DEFAULT_DESKTOP_HEIGHT;
  }
  return true;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  if (!IsWindow(hWnd) || lpPaint == nullptr) {
    return nullptr;
  }
  *lpPaint = PAINTSTRUCT{};
  lpPaint->hdc = reinterpret_cast<HDC>(hWnd);
  GetClientRect(hWnd, &lpPaint->rcPaint);
  hWnd->bNeedsPaint = false;
  return lpPaint->hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT*) { return IsWindow(hWnd); }

HWND GetForegroundWindow() { return g_hActive; }

BOOL SetForegroundWindow(HWND hWnd) {
  Win32RequireWindowThread("SetForegroundWindow");
  if (!IsWindow(hWnd) || !hWnd->bVisible) {
    return FALSE;
  }
  SDL_RaiseWindow(hWnd->pSdlWindow);
  setActive(hWnd, WA_ACTIVE, true);
  return TRUE;
}

HWND SetFocus(HWND hWnd) {
  HWND hPrevious = g_hActive;
  if (hWnd != nullptr) {
    SetForegroundWindow(hWnd);
  }
  return hPrevious;
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack) {
  Win32RequireWindowThread("TrackMouseEvent");
  if (lpEventTrack == nullptr || lpEventTrack->cbSize != sizeof(TRACKMOUSEEVENT) ||
      (lpEventTrack->dwFlags & ~(TME_LEAVE | TME_CANCEL)) != 0 || (lpEventTrack->dwFlags & TME_LEAVE) == 0) {
    return FALSE;
  }
  HWND hWnd = lpEventTrack->hwndTrack;
  if (!IsWindow(hWnd)) {
    return FALSE;
  }
  if (lpEventTrack->dwFlags & TME_CANCEL) {
    hWnd->bTrackLeave = false;
  } else if (!hWnd->bMouseInside) {
    postInput(hWnd, WM_MOUSELEAVE, 0, 0, SDL_GetTicks());
  } else {
    hWnd->bTrackLeave = true;
  }
  return TRUE;
}

BOOL SetCursorPos(int X, int Y) {
  if (!ensureVideo()) {
    return FALSE;
  }
  HWND hTarget = nullptr;
  for (HWND hWnd : g_windows) {
    RECT client{};
    GetClientRect(hWnd, &client);
    const POINT origin = clientToScreen(hWnd, 0, 0);
    if (hWnd->bVisible && X >= origin.x && Y >= origin.y && X < origin.x + client.right &&
        Y < origin.y + client.bottom && (hTarget == nullptr || hWnd == g_hActive)) {
      hTarget = hWnd;
    }
  }
  if (hTarget) {
    const POINT origin = clientToScreen(hTarget, 0, 0);
    g_warpEcho = SWarpEcho{true, hTarget->uiSdlId, X - origin.x, Y - origin.y, SDL_GetTicks64()};
    SDL_WarpMouseInWindow(hTarget->pSdlWindow, X - origin.x, Y - origin.y);
  } else {
    SDL_WarpMouseGlobal(X, Y);
  }
  Win32SetCursorModel(X, Y);
  return TRUE;
}

BOOL GetCursorPos(LPPOINT lpPoint) {
  if (lpPoint == nullptr) {
    return FALSE;
  }
  *lpPoint = Win32CursorModel();
  return TRUE;
}

int ShowCursor(BOOL bShow) {
  const bool bWasShown = g_iCursorCounter >= 0;
  g_iCursorCounter += bShow ? 1 : -1;
  const bool bShown = g_iCursorCounter >= 0;
  if (bShown != bWasShown && ensureVideo()) {
    SDL_ShowCursor(bShown ? SDL_ENABLE : SDL_DISABLE);
  }
  return g_iCursorCounter;
}

BOOL ClipCursor(const RECT* lpRect) {
  Win32RequireWindowThread("ClipCursor");
  for (HWND hWnd : g_windows) {
    if (lpRect == nullptr) {
      SDL_SetWindowMouseRect(hWnd->pSdlWindow, nullptr);
      continue;
    }
    RECT client{};
    GetClientRect(hWnd, &client);
    const POINT origin = clientToScreen(hWnd, 0, 0);
    const int iLeft = std::max<int>(lpRect->left - origin.x, 0);
    const int iTop = std::max<int>(lpRect->top - origin.y, 0);
    const int iRight = std::min<int>(lpRect->right - origin.x, client.right);
    const int iBottom = std::min<int>(lpRect->bottom - origin.y, client.bottom);
    if (iRight > iLeft && iBottom > iTop) {
      const SDL_Rect area{iLeft, iTop, iRight - iLeft, iBottom - iTop};
      SDL_SetWindowMouseRect(hWnd->pSdlWindow, &area);
    } else {
      SDL_SetWindowMouseRect(hWnd->pSdlWindow, nullptr);
    }
  }
  return TRUE;
}

void DragAcceptFiles(HWND hWnd, BOOL fAccept) {
  if (!IsWindow(hWnd)) {
    return;
  }
  hWnd->bAcceptFiles = fAccept != FALSE;
  if (fAccept) {
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  }
}

UINT DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch) {
  if (g_drops.count(hDrop) == 0) {
    return 0;
  }
  if (iFile == 0xFFFFFFFFu) {
    return static_cast<UINT>(hDrop->files.size());
  }
  if (iFile >= hDrop->files.size()) {
    return 0;
  }
  const std::string& name = hDrop->files[iFile];
  if (lpszFile == nullptr) {
    return static_cast<UINT>(name.size());
  }
  if (cch == 0) {
    return 0;
  }
  const size_t uiCount = std::min<size_t>(name.size(), cch - 1);
  std::memcpy(lpszFile, name.data(), uiCount);
  lpszFile[uiCount] = '\0';
  return static_cast<UINT>(uiCount);
}

UINT DragQueryFileW(HDROP hDrop, UINT iFile, LPWSTR lpszFile, UINT cch) {
  if (g_drops.count(hDrop) == 0 || iFile == 0xFFFFFFFFu) {
    return DragQueryFileA(hDrop, iFile, nullptr, 0);
  }
  if (iFile >= hDrop->files.size()) {
    return 0;
  }
  const std::u16string name = utf16FromUtf8(hDrop->files[iFile]);
  if (lpszFile == nullptr) {
    return static_cast<UINT>(name.size());
  }
  if (cch == 0) {
    return 0;
  }
  const size_t uiCount = std::min<size_t>(name.size(), cch - 1);
  std::memcpy(lpszFile, name.data(), uiCount * sizeof(WCHAR));
  lpszFile[uiCount] = 0;
  return static_cast<UINT>(uiCount);
}

void DragFinish(HDROP hDrop) {
  if (g_drops.erase(hDrop) != 0) {
    delete hDrop;
  }
}

// --- Stand-in interface ---

SDL_Window* Win32GetSdlWindow(HWND hWnd) { return IsWindow(hWnd) ? hWnd->pSdlWindow : nullptr; }

void Win32SetWindowCreationFlags(Uint32 uiSdlFlags) { g_uiExtraSdlFlags = uiSdlFlags; }
