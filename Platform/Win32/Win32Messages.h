// Message queue of the Win32 stand-in: window messages, their retrieval and dispatch, keyboard state, and the
// one SDL event pump that feeds the queue and every other consumer of SDL input.
//
// Model. There is one message queue, owned by the thread that first used the window functions (the window
// thread, the program's main thread). The pump turns SDL events into window messages: input (keys, mouse,
// dropped files) is posted to the queue in arrival order; activation, focus, size and move messages are
// "sent" messages, delivered to the window procedure inside the next PeekMessageA, as Windows delivers
// messages sent by the system. PostQuitMessage raises a quit flag that PeekMessageA turns into WM_QUIT once no
// posted message matches; WM_PAINT is made last, while a visible window needs painting.
//
// SIGINT and SIGTERM only raise a flag (async-signal-safe); the next pump posts WM_QUIT with exit code 0, so Ctrl-C
// ends the program through its normal shutdown. A second signal while that request is still pending ends the process at
// once, and so does the first when no pump has served it within 5 seconds (a call holds the window thread): the
// signal's default action, through SIGALRM, which the program uses for nothing else. A signal taken while a message box
// is up closes the box instead (Win32Files.h).
//
// Threads: PostMessageA may be called from any thread. Everything else here runs on the window thread; a call
// from another thread stops the program with a message on stderr.
//
// Every SDL event is read by Win32PumpEvents and nowhere else (no other code calls SDL_PollEvent or
// SDL_WaitEvent): consumers that need raw SDL events (the DirectInput and XInput stand-ins) register a
// Win32PumpListener, so no consumer steals events from another.
#pragma once

#include <SDL.h>

#include "Platform/Win32/Win32Types.h"

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_ACTIVATEAPP 0x001C
#define WM_DISPLAYCHANGE 0x007E
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_SYSCOMMAND 0x0112
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MOUSEWHEEL 0x020A
#define WM_XBUTTONDOWN 0x020B
#define WM_XBUTTONUP 0x020C
#define WM_MOUSEHWHEEL 0x020E
#define WM_ENTERMENULOOP 0x0211
#define WM_EXITMENULOOP 0x0212
#define WM_DROPFILES 0x0233
#define WM_MOUSELEAVE 0x02A3
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_ACTIVATE: low word of wParam.
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2

// WM_SIZE: wParam.
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

// WM_SYSCOMMAND: wParam.
#define SC_CLOSE 0xF060

// Mouse messages: key and button flags in wParam.
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010
#define MK_XBUTTON1 0x0020
#define MK_XBUTTON2 0x0040
#define XBUTTON1 0x0001
#define XBUTTON2 0x0002
// One notch of the wheel.
#define WHEEL_DELTA 120

// PeekMessageA: wRemoveMsg.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

// Virtual-key codes (letters and digits are their upper-case ASCII codes).
#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_MBUTTON 0x04
#define VK_XBUTTON1 0x05
#define VK_XBUTTON2 0x06
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_CLEAR 0x0C
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_SNAPSHOT 0x2C
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_APPS 0x5D
#define VK_SLEEP 0x5F
#define VK_NUMPAD0 0x60
#define VK_NUMPAD9 0x69
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SEPARATOR 0x6C
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F1 0x70
#define VK_F10 0x79
#define VK_F24 0x87
#define VK_NUMLOCK 0x90
#define VK_SCROLL 0x91
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5
#define VK_VOLUME_MUTE 0xAD
#define VK_VOLUME_DOWN 0xAE
#define VK_VOLUME_UP 0xAF
#define VK_MEDIA_NEXT_TRACK 0xB0
#define VK_MEDIA_PREV_TRACK 0xB1
#define VK_MEDIA_STOP 0xB2
#define VK_MEDIA_PLAY_PAUSE 0xB3
#define VK_OEM_1 0xBA       // ;:
#define VK_OEM_PLUS 0xBB    // =+
#define VK_OEM_COMMA 0xBC   // ,<
#define VK_OEM_MINUS 0xBD   // -_
#define VK_OEM_PERIOD 0xBE  // .>
#define VK_OEM_2 0xBF       // /?
#define VK_OEM_3 0xC0       // `~
#define VK_OEM_4 0xDB       // [{
#define VK_OEM_5 0xDC       // \|
#define VK_OEM_6 0xDD       // ]}
#define VK_OEM_7 0xDE       // '"
#define VK_OEM_102 0xE2     // the extra key of ISO keyboards

// Word packing of wParam and lParam.
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xFFFF))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xFFFF))
#define MAKELONG(lo, hi) \
  (static_cast<LONG>(static_cast<DWORD>(static_cast<WORD>(lo)) | (static_cast<DWORD>(static_cast<WORD>(hi)) << 16)))
#define MAKEWPARAM(lo, hi) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(lo, hi))))
#define MAKELPARAM(lo, hi) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(lo, hi))))
// Signed client coordinates of mouse messages.
#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(HIWORD(lp))))
#define GET_WHEEL_DELTA_WPARAM(wp) (static_cast<SHORT>(HIWORD(wp)))
#define GET_KEYSTATE_WPARAM(wp) (LOWORD(wp))
#define GET_XBUTTON_WPARAM(wp) (HIWORD(wp))

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;  // milliseconds since SDL start
  POINT pt;    // cursor position in screen coordinates when the message was made
} MSG, *LPMSG;

// Takes the first waiting message for hWnd (null: any window and thread messages; (HWND)-1: thread messages
// only) whose number lies in [wMsgFilterMin, wMsgFilterMax] (0, 0: every message). Pumps SDL events and
// delivers pending sent messages first. FALSE when nothing waits. WM_QUIT ignores the number range; WM_PAINT
// stays in the queue until the window is painted (BeginPaint or DefWindowProcA).
BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
// WM_KEYDOWN and WM_SYSKEYDOWN that make a character post WM_CHAR or WM_SYSCHAR ahead of every other waiting
// message, from the US layout and the shift, caps lock and control state of the retrieved key messages.
// TRUE for every key message, FALSE for others.
BOOL TranslateMessage(const MSG* lpMsg);
// Calls the window procedure of lpMsg->hwnd and returns its result; 0 for thread messages.
LRESULT DispatchMessageA(const MSG* lpMsg);
// Queues a message for a window (or, with a null hWnd, a thread message). Any thread. FALSE for a window that
// does not exist.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once (window thread only); 0 for a window that does not exist.
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Asks for WM_QUIT with the exit code as its wParam.
void PostQuitMessage(int nExitCode);
// Key state as of the key messages retrieved so far: bit 15 (negative result) while the key is down, bit 0
// when a toggle key (caps lock, num lock, scroll lock) is on. Before the first key message, the toggles come
// from SDL's keyboard state.
SHORT GetKeyState(int nVirtKey);

// --- Stand-in interface for the other stand-ins (not a platform call) ---

// Receives every SDL event the pump reads, before the event becomes a window message. Mouse motion caused by
// SetCursorPos arrives with xrel and yrel 0. Activation changes arrive as the stand-in decides them, before
// the window procedure hears of them.
class Win32PumpListener {
 public:
  virtual void onSdlEvent(const SDL_Event& event) = 0;
  virtual void onWindowActivation(HWND hWnd, bool bActive) = 0;
  // After each pump pass (periodic work such as refreshing rumble).
  virtual void onPumpFinished() = 0;

 protected:
  ~Win32PumpListener() = default;
};
// SIGINT and SIGTERM are mapped (as above) from this call on, instead of from the first use of the window
// functions: a program calls it first thing in main, so that a signal at any moment of its start-up ends it
// through its normal shutdown. It also unblocks both signals in the calling thread (and so in the threads it
// starts later), so that one held pending since the program started is served too. Any thread; more calls do
// nothing.
void Win32HandleQuitSignals();
// A quit signal (SIGINT, SIGTERM) was taken and not yet turned into WM_QUIT: work that waits and retries (a folder
// that cannot be made) gives up at once, so that the signal ends the program without waiting for it. Any thread.
bool Win32QuitSignalPending();

void Win32AddPumpListener(Win32PumpListener* pListener);
void Win32RemovePumpListener(Win32PumpListener* pListener);

// Reads every waiting SDL event once: listeners first, then the window messages. Window thread only; a nested
// call (from a listener) returns at once. Never calls a window procedure.
void Win32PumpEvents();

// Keyboard scan code of an SDL key as DirectInput numbers it: the set-1 make code, 0x80 added for keys sent
// with the E0 prefix; 0 for keys without one.
BYTE Win32KeyboardScanCode(SDL_Scancode eScancode);
// Virtual-key code of an SDL key (letters and digits by the key's symbol, the rest by position); the numeric
// pad gives VK_NUMPAD0..9 and VK_DECIMAL only with num lock on. 0 for keys without one.
BYTE Win32VirtualKey(const SDL_Keysym& keysym);
