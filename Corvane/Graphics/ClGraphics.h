// The graphics manager's window side: the program's one top-level window, its window procedure and the
// one-step message pump that the run loop calls.
//
// Everything here runs on the main thread (the thread that creates the window and pumps its messages). The
// window procedure runs inside processMessages, between frames, never during a game frame.
//
// The window procedure calls into subsystems that are not part of the engine core (the main-loop frame, the
// UI, audio, the game's modes, the string table) through a ClWindowHooks object installed with
// ClGraphics::setWindowHooks; without one, the defaults stand for "none of them exists yet" (see below).
//
// This header names no platform header: the window handle is the platform's opaque HWND__ pointer and the
// window procedure's word arguments are spelled as the integer types they are (WPARAM, LPARAM, LRESULT).
#pragma once

#include <cstdint>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

struct HWND__;
struct HDROP__;

inline constexpr i32 gc_iWINDOW_TITLE_LEN = 256;

// One dropped file: a UTF-16 path (zero-terminated, cut to 767 units) and whether it names a directory.
struct SDroppedFile {
  wchar16 mp_szPath[KV_MAX_PATH_LEN];
  u32 mp_bIsDirectory;
};
static_assert(sizeof(SDroppedFile) == 1540, "a dropped-file record is 1540 bytes");

// Services of later subsystems that the window procedure and the pump call. Each default stands for the
// service not existing yet.
class ClWindowHooks {
 public:
  virtual ~ClWindowHooks() = default;
  // The UI's initialised flag. Default: no UI.
  virtual bool isUIInitialized() { return false; }
  // Whether the current game mode is the action mode, which keeps the sound paused on activation.
  virtual bool isActionModeCurrent() { return false; }
  // ClAudioManager::resumeAllCues.
  virtual void resumeAllCues() {}
  // The game's close decision (body of gameSpecificAllowQuit): 0 lets the window close. Default: 0, as the
  // game answers while its UI is not initialised.
  virtual i32 allowQuit() { return 0; }
  // The game's reaction to losing the focus (body of gameSpecificFocusPause): pause the game and the sound.
  virtual void focusPause() {}
  // Text of a string-table key for message boxes (8-bit); default: the key itself.
  virtual const char* localizedText(const char* pKey) { return pKey; }
};

class ClGraphics {
 public:
  // --- Window start-up and shut-down (steps of the platform start-up) ---

  // Reads the desktop size; done once, before the window class is registered.
  static void readDesktopSize();
  // Registers the class "TKW Game" (its result is not examined) and, in full screen, hides the cursor.
  static void registerWindowClass(bool bFullscreen);
  // Creates the main window of the outer size w x h ("Tarkwell Engine") and sets its title to "Grindlow".
  // bForcedResolution: a forced resolution code was given, so the top edge comes from the development
  // setting "INITIAL_WINDOW_Y_POS". A failure shows a message box and stops with "Failed to create main
  // window".
  static void createMainWindow(i32 iWidth, i32 iHeight, bool bFullscreen, bool bForcedResolution);
  // ShowWindow(SW_SHOWDEFAULT) and UpdateWindow, once the device and the render worker exist.
  static void showMainWindow();
  // Unregisters the window class (the window itself is left to the end of the process).
  static void unregisterWindowClass();

  // --- Placement ---

  // The outer rectangle that gives a client area of w x h, centred on the desktop and, when its top edge
  // would be below 30, raised by 30 pixels. Integer halves truncate toward zero. Needs the window.
  static void computeCenteredWindowRect(i32 iWidth, i32 iHeight, i32* pLeft, i32* pTop, i32* pRight,
                                        i32* pBottom);
  // Moves and sizes the main window so that its client area is exactly w x h.
  static void resizeWindow(i32 iWidth, i32 iHeight);

  // --- Run loop ---

  // One step of the run loop: handles at most one message, or runs one main-loop frame when no message
  // waits and the application has been activated or the graphics are not ready; otherwise sleeps 1 ms in
  // an alertable wait. 0 on WM_QUIT (not dispatched) or when the frame asked to end, else 1.
  static i32 processMessages();
  // With the development setting "MOUSE_EXCLUSIVE" non-zero and the main window in the foreground, moves the
  // cursor to the centre of the window's outer rectangle.
  static void recenterExclusiveMouse();

  // The class's window procedure (WNDPROC: window, message, wParam, lParam).
  static std::intptr_t windowProc(HWND__* hWnd, u32 uiMsg, std::uintptr_t wParam, std::intptr_t lParam);

  // Appends one record per file of a drop to the list (which the caller initialised). The window procedure
  // gathers a drop this way into a temporary list and then releases the drop.
  static void gatherDroppedFiles(HDROP__* hDrop, ClDynamicVector<SDroppedFile>* pFiles);

  // --- The game's window hooks ---

  // 0 when closing the window may end the program; non-zero refuses the close.
  static i32 gameSpecificAllowQuit();
  // Focus lost while the UI is initialised: pauses the game and the sound.
  static void gameSpecificFocusPause();
  // WM_MOUSEMOVE: arms mouse-leave tracking once, hides the cursor when "TOGGLE_MOUSE_CURSOR" is 1 or more,
  // and stores the pointer position (client pixels) while the cursor is hidden, else (-1000, -1000).
  static void gameSpecificMouseMoved(std::intptr_t lParam);
  // WM_MOUSELEAVE: disarms tracking; with "TOGGLE_MOUSE_CURSOR" above 0 shows the cursor again and parks the
  // stored position at (-1000, -1000).
  static void gameSpecificMouseLeft(std::intptr_t lParam);

  // Installs the hooks (not owned); null restores the defaults.
  static void setWindowHooks(ClWindowHooks* pHooks);
  // The main-loop frame that processMessages runs when no message waits: true to keep running. The program
  // body installs ClMainLoop::tick with the game's entry points; without one, an idle step runs no frame.
  static void setMainLoopFrame(bool (*pfnFrame)());
  static ClWindowHooks& hooks();

  // --- State (main thread) ---

  static HWND__* mp_hWnd;                 // the main window; null until created
  static i32 mp_iDesktopWidth;            // desktop size read at start-up
  static i32 mp_iDesktopHeight;
  static u32 mp_bAppActivated;            // set by the first WM_ACTIVATEAPP that activates; never cleared
  static u32 mp_bWindowHasFocus;          // 1 after WA_ACTIVE / WA_CLICKACTIVE, 0 after WA_INACTIVE
  static u32 mp_bCursorHidden;            // the system cursor was hidden by the engine or the game
  static u32 mp_bReady;                   // graphics started and the device not lost
  static f32 mp_fScreenWidth;             // back-buffer size in pixels
  static f32 mp_fScreenHeight;
  static wchar16 mp_szWindowTitle[gc_iWINDOW_TITLE_LEN];
  // Mouse hooks' state: leave tracking armed, and the last pointer position the window procedure received
  // (client pixels; (0, 0) until the first mouse message, (-1000, -1000) while the pointer is away).
  static u32 mp_bMouseTrackingArmed;
  static kv_vector2 mp_vWMMousePosition;
};
