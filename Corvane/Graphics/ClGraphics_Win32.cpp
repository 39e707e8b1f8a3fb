#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/Input/ClInputHWtoKvPlatform_Win32.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Win32/Win32.h"

static_assert(std::is_same_v<decltype(&ClGraphics::windowProc), WNDPROC>,
              "the window procedure has the platform's signature");

HWND ClGraphics::mp_hWnd = nullptr;
i32 ClGraphics::mp_iDesktopWidth = 0;
i32 ClGraphics::mp_iDesktopHeight = 0;
u32 ClGraphics::mp_bAppActivated = 0;
u32 ClGraphics::mp_bWindowHasFocus = 0;
u32 ClGraphics::mp_bCursorHidden = 0;
std::atomic<u32> ClGraphics::mp_bReady{0};
f32 ClGraphics::mp_fScreenWidth = KV_ZERO;
f32 ClGraphics::mp_fScreenHeight = KV_ZERO;
wchar16 ClGraphics::mp_szWindowTitle[gc_iWINDOW_TITLE_LEN] = {};
kv_vector2 ClGraphics::mp_vWMMousePosition = {KV_ZERO, KV_ZERO};

namespace {

constexpr const char* gc_pWINDOW_CLASS_NAME = "TKW Game";
constexpr const char* gc_pINITIAL_WINDOW_NAME = "Tarkwell Engine";
constexpr const wchar16* gc_pGAME_TITLE = u"Grindlow";
constexpr WORD gc_uiICON_RESOURCE = 102;
constexpr DWORD gc_uiWINDOWED_STYLE = WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD gc_uiFULLSCREEN_STYLE = WS_POPUP | WS_VISIBLE;
constexpr i32 gc_iWINDOW_RAISE = 30;
constexpr i32 gc_iDROPPED_FILES_CAPACITY = 8;

HINSTANCE g_hInstance = nullptr;
WNDCLASSEXA g_windowClass = {};

void acquireIfPresent(LPDIRECTINPUTDEVICE8A pDevice) {
  if (pDevice != nullptr) {
    pDevice->Acquire();
  }
}

void onActivate(WPARAM wParam) {
  if (LOWORD(wParam) != WA_INACTIVE && g_pInputHWToKv != nullptr) {
    acquireIfPresent(g_pDIKeyboard);
    acquireIfPresent(g_pDIMouse);
  }
  if (wParam == WA_ACTIVE || wParam == WA_CLICKACTIVE) {
    ClGraphics::mp_bWindowHasFocus = 1;
    if (!KvWindowGameHooks().isActionModeCurrent()) {
      KvWindowGameHooks().resumeAllCues();
    }
  } else if (wParam == WA_INACTIVE) {
    ClGraphics::mp_bWindowHasFocus = 0;
    if (KvWindowGameHooks().isUIInitialized()) {
      ClGraphics::gameSpecificFocusPause();
    }
  }
}

void onDropFiles(HDROP hDrop) {
  ClDynamicVector<SDroppedFile> files;
  files.initialize(gc_iDROPPED_FILES_CAPACITY);
  ClGraphics::gatherDroppedFiles(hDrop, &files);
  // The game takes no dropped files: the list is let go and the drop finished, so its handle does not outlive
  // the message.
  files.terminate();
  DragFinish(hDrop);
}

}  // namespace



void ClGraphics::readDesktopSize() {
  mp_iDesktopWidth = GetSystemMetrics(SM_CXSCREEN);
  mp_iDesktopHeight = GetSystemMetrics(SM_CYSCREEN);
}

void ClGraphics::registerWindowClass(bool bFullscreen) {
  g_hInstance = GetModuleHandleA(nullptr);
  g_windowClass = {};
  g_windowClass.cbSize = sizeof(WNDCLASSEXA);
  g_windowClass.style = CS_HREDRAW | CS_VREDRAW;
  g_windowClass.lpfnWndProc = &ClGraphics::windowProc;
  g_windowClass.cbClsExtra = 0;
  g_windowClass.cbWndExtra = 0;
  g_windowClass.hInstance = g_hInstance;
  g_windowClass.hIcon = LoadIconA(g_hInstance, MAKEINTRESOURCEA(gc_uiICON_RESOURCE));
  g_windowClass.lpszClassName = gc_pWINDOW_CLASS_NAME;
  // A failure shows up as the window-creation failure.
  RegisterClassExA(&g_windowClass);
  if (bFullscreen) {
    ShowCursor(FALSE);
    mp_bCursorHidden = 1;
  }
}

void ClGraphics::createMainWindow(i32 iWidth, i32 iHeight, bool bFullscreen, bool bForcedResolution) {
  const DWORD uiStyle = bFullscreen ? gc_uiFULLSCREEN_STYLE : gc_uiWINDOWED_STYLE;
  const DWORD uiExStyle = bFullscreen ? WS_EX_TOPMOST : 0;
  const i32 iX = mp_iDesktopWidth / 2 - iWidth / 2;
  // Without a forced resolution the window sits a quarter of the free height down, not half.
  const i32 iY = bForcedResolution ? ClDevINI::getInt("INITIAL_WINDOW_Y_POS")
                                   : (mp_iDesktopHeight / 2 - iHeight / 2) / 2;
  mp_hWnd = CreateWindowExA(uiExStyle, gc_pWINDOW_CLASS_NAME, gc_pINITIAL_WINDOW_NAME, uiStyle, iX, iY, iWidth,
                            iHeight, nullptr, nullptr, g_hInstance, nullptr);
  if (mp_hWnd == nullptr) {
    const DWORD uiError = GetLastError();
    std::string text = KvWindowGameHooks().localizedText("MB_DIRECTX_FAILED_TO_CREATE_MAIN_WIN");
    const size_t uiMarker = text.find("%d");
    if (uiMarker != std::string::npos) {
      text.replace(uiMarker, 2, std::to_string(uiError));
    }
    MessageBoxA(nullptr, text.c_str(), KvWindowGameHooks().localizedText("MB_DIRECTX_ISSUE_TITLE"), MB_ICONERROR);
    KV_FATAL_CONDITION(E_KV_STOP_CAUSE_START_UP, "Failed to create main window");
  }
  KvStrLCpyW(mp_szWindowTitle, gc_pGAME_TITLE, gc_iWINDOW_TITLE_LEN);
  SetWindowTextW(mp_hWnd, mp_szWindowTitle);
}

void ClGraphics::showMainWindow() {
  ShowWindow(mp_hWnd, SW_SHOWDEFAULT);
  UpdateWindow(mp_hWnd);
}

void ClGraphics::unregisterWindowClass() { UnregisterClassA(gc_pWINDOW_CLASS_NAME, g_hInstance); }

void ClGraphics::computeCenteredWindowRect(i32 iWidth, i32 iHeight, i32* pLeft, i32* pTop, i32* pRight,
                                           i32* pBottom) {
  RECT outer{};
  RECT client{};
  GetWindowRect(mp_hWnd, &outer);
  GetClientRect(mp_hWnd, &client);
  const i32 iFrameWidth = (outer.right - outer.left) - (client.right - client.left);
  const i32 iFrameHeight = (outer.bottom - outer.top) - (client.bottom - client.top);
  const i32 iLeft = mp_iDesktopWidth / 2 - iWidth / 2;
  i32 iTop = mp_iDesktopHeight / 2 - iHeight / 2;
  if (iTop > gc_iWINDOW_RAISE) {
    iTop -= gc_iWINDOW_RAISE;
  }
  *pLeft = iLeft;
  *pTop = iTop;
  *pRight = iLeft + iFrameWidth + iWidth;
  *pBottom = iTop + iFrameHeight + iHeight;
}

void ClGraphics::resizeWindow(i32 iWidth, i32 iHeight) {
  i32 iLeft = 0;
  i32 iTop = 0;
  i32 iRight = 0;
  i32 iBottom = 0;
  computeCenteredWindowRect(iWidth, iHeight, &iLeft, &iTop, &iRight, &iBottom);
  MoveWindow(mp_hWnd, iLeft, iTop, iRight - iLeft, iBottom - iTop, TRUE);
}

i32 ClGraphics::processMessages() {
  MSG msg;
  if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      return 0;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return 1;
  }
  if (mp_bAppActivated || !mp_bReady) {
    return gc_iPUMP_FRAME_DUE;
  }
  // Never activated yet while the graphics are ready: wait, alertably, so file reads complete here.
  SleepEx(1, TRUE);
  return 1;
}

void ClGraphics::recenterExclusiveMouse() {
  if (ClDevINI::getInt("MOUSE_EXCLUSIVE") == 0 || mp_hWnd == nullptr || GetForegroundWindow() != mp_hWnd) {
    return;
  }
  RECT outer{};
  GetWindowRect(mp_hWnd, &outer);
  SetCursorPos((outer.left + outer.right) / 2, (outer.top + outer.bottom) / 2);
}

LRESULT ClGraphics::windowProc(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam) {
  switch (uiMsg) {
    case WM_CREATE:
      DragAcceptFiles(hWnd, TRUE);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) {
        // The next Present places the back buffer in the client area of this size.
        mp_iClientWidth.store(LOWORD(lParam), std::memory_order_relaxed);
        mp_iClientHeight.store(HIWORD(lParam), std::memory_order_relaxed);
        ShowWindow(mp_hWnd, SW_SHOWDEFAULT);
        UpdateWindow(mp_hWnd);
      }
      [[fallthrough]];
    case WM_MOVE:
      KvVideoPlayerHooks().videoWindowMoved();
      break;
    case WM_ACTIVATE:
      onActivate(wParam);
      break;
    case WM_PAINT: {
      RECT client{};
      GetClientRect(mp_hWnd, &client);
      PAINTSTRUCT paint;
      HDC hDC = BeginPaint(hWnd, &paint);
      KvVideoPlayerHooks().videoRepaint(hWnd, hDC);
      EndPaint(hWnd, &paint);
      break;
    }
    case WM_CLOSE:
      // The window is never destroyed here: the run ends through WM_QUIT and the normal shut-down.
      if (gameSpecificAllowQuit() == 0) {
        PostQuitMessage(0);
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_ACTIVATEAPP:
      if (LOWORD(wParam) != 0) {
        mp_bAppActivated = 1;
      }
      break;
    case WM_DISPLAYCHANGE:
      KvVideoPlayerHooks().videoDisplayChanged();
      break;
    case WM_MOUSEMOVE:
      gameSpecificMouseMoved(lParam);
      break;
    case WM_ENTERMENULOOP:
      if (g_pInputHWToKv != nullptr && g_pDIMouse != nullptr) {
        g_pDIMouse->Unacquire();
      }
      break;
    case WM_EXITMENULOOP:
      if (g_pInputHWToKv != nullptr && g_pDIMouse != nullptr) {
        g_pDIMouse->Acquire();
      }
      break;
    case WM_DROPFILES:
      onDropFiles(reinterpret_cast<HDROP>(wParam));
      break;
    case WM_MOUSELEAVE:
      gameSpecificMouseLeft(lParam);
      break;
    case gc_uiGRAPH_NOTIFY_MESSAGE:
      KvVideoPlayerHooks().videoGraphEvent();
      break;
    default:
      break;
  }
  return DefWindowProcA(hWnd, uiMsg, wParam, lParam);
}

void ClGraphics::gatherDroppedFiles(HDROP hDrop, ClDynamicVector<SDroppedFile>* pFiles) {
  const UINT uiCount = DragQueryFileW(hDrop, 0xFFFFFFFFu, nullptr, 0);
  for (UINT i = 0; i < uiCount; ++i) {
    WCHAR szName[KV_MAX_PATH_LEN];
    szName[0] = 0;
    DragQueryFileW(hDrop, i, szName, KV_MAX_PATH_LEN);
    SDroppedFile file{};
    KvStrLCpyW(file.mp_szPath, szName, KV_MAX_PATH_LEN);
    const DWORD uiAttributes = GetFileAttributesW(file.mp_szPath);
    file.mp_bIsDirectory =
        uiAttributes != INVALID_FILE_ATTRIBUTES && (uiAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
    pFiles->append(file);
  }
}

i32 ClGraphics::gameSpecificAllowQuit() { return KvWindowGameHooks().allowQuit(); }

void ClGraphics::gameSpecificFocusPause() { KvWindowGameHooks().focusPause(); }

void ClGraphics::gameSpecificBuildResolutionList() { KvFrameGameHooks().buildResolutionList(); }
void ClGraphics::gameSpecificPickWidescreenMode(u32* puiWidth, u32* puiHeight) {
  KvFrameGameHooks().pickWidescreenMode(puiWidth, puiHeight);
}
void ClGraphics::gameSpecificBlackFrame() { KvFrameGameHooks().blackFrame(); }
void ClGraphics::gameSpecificRenderFrame() { KvFrameGameHooks().renderFrame(); }
void ClGraphics::gameSpecificDiscardFrame() { KvFrameGameHooks().discardFrame(); }
void ClGraphics::gameSpecificFrameDropped() { KvFrameGameHooks().frameDropped(); }
void ClGraphics::gameSpecificPlatformLostFocus() { KvFrameGameHooks().platformLostFocus(); }
void ClGraphics::gameSpecificPlatformRegainedFocus() { KvFrameGameHooks().platformRegainedFocus(); }
void ClGraphics::gameSpecificLoadShaders() { KvFrameGameHooks().loadShaders(); }

void ClGraphics::gameSpecificMouseMoved(LPARAM lParam) { KvWindowGameHooks().mouseMoved(lParam); }
void ClGraphics::gameSpecificMouseLeft(LPARAM) { KvWindowGameHooks().mouseLeft(); }

