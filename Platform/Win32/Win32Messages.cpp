#include "Platform/Win32/Win32Messages.h"

#include <array>
#include <atomic>
#include <csignal>
#include <signal.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Platform/Win32/Win32WindowInternal.h"

namespace {

// Shared with threads that post: the posted messages, the live window handles and the quit request. Never
// destroyed, so a thread that posts during process exit finds it intact.
struct SPostedQueue {
  std::mutex mutex;
  std::deque<MSG> messages;
  std::unordered_set<HWND> windows;
  bool bQuit = false;
  int iQuitCode = 0;
};

SPostedQueue& postedQueue() {
  static SPostedQueue* s_pQueue = new SPostedQueue;
  return *s_pQueue;
}

struct SSentMessage {
  HWND hWnd;
  UINT uiMsg;
  WPARAM wParam;
  LPARAM lParam;
};

// Window thread only.
std::deque<SSentMessage> g_sentLater;
std::vector<Win32PumpListener*> g_listeners;
bool g_bPumping = false;
std::array<BYTE, 256> g_keyDown{};
std::array<BYTE, 256> g_keyToggled{};
bool g_bKeyModKnown = false;
Uint16 g_uiKeyMod = 0;

std::mutex g_threadMutex;
std::thread::id g_windowThread;
std::atomic<bool> g_bSignalsInstalled{false};

std::atomic<LONG> g_iCursorX{0};
std::atomic<LONG> g_iCursorY{0};

// The quit signal waiting to be served (0: none), which ends the program if it is not served in time.
std::atomic<int> g_iQuitSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "written inside the signal handler");

// How long a quit signal may wait for the next pump: a call that holds the window thread for good (a file that
// never answers) must not keep the program running past it.
constexpr unsigned int gc_uiQUIT_SERVE_SECONDS = 5;

void endByQuitSignal(int iSignal) {
  std::signal(iSignal, SIG_DFL);
  std::raise(iSignal);
}

void onQuitSignal(int iSignal) {
  // A message box that is up is closed instead (the program is ending with it or goes on past it).
  if (Win32DismissMessageBoxForSignal()) {
    return;
  }
  if (g_iQuitSignal.exchange(iSignal) != 0) {
    // The first request has not been served: the program is not pumping, so end it the default way.
    endByQuitSignal(iSignal);
    return;
  }
  alarm(gc_uiQUIT_SERVE_SECONDS);
}

// The quit signal was not served in time: the window thread is held, so the signal ends the program the default way.
void onQuitNotServed(int) {
  const int iSignal = g_iQuitSignal.load();
  if (iSignal != 0) {
    endByQuitSignal(iSignal);
  }
}

void installQuitSignals() {
  if (g_bSignalsInstalled.exchange(true)) {
    return;
  }
  struct sigaction action {};
  action.sa_handler = &onQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  struct sigaction notServed {};
  notServed.sa_handler = &onQuitNotServed;
  sigemptyset(&notServed.sa_mask);
  sigaction(SIGALRM, &notServed, nullptr);
  // A program started with these signals (and the alarm) blocked (a launcher's mask is inherited) would never hear
  // them; one that arrived before this call is delivered now, to the handler.
  sigset_t quitSignals;
  sigemptyset(&quitSignals);
  sigaddset(&quitSignals, SIGINT);
  sigaddset(&quitSignals, SIGTERM);
  sigaddset(&quitSignals, SIGALRM);
  pthread_sigmask(SIG_UNBLOCK, &quitSignals, nullptr);
}

void serveQuitSignal() {
  if (g_iQuitSignal.exchange(0) != 0) {
    alarm(0);
    PostQuitMessage(0);
  }
}

bool inRange(UINT uiMsg, UINT uiMin, UINT uiMax) {
  if (uiMin == 0 && uiMax == 0) {
    return true;
  }
  return uiMsg >= uiMin && uiMsg <= uiMax;
}

bool matchesWindow(HWND hMsg, HWND hFilter) {
  if (hFilter == nullptr) {
    return true;
  }
  if (hFilter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
    return hMsg == nullptr;
  }
  return hMsg == hFilter;
}

void setKey(BYTE vk, bool bDown) { g_keyDown[vk] = bDown ? 0x80 : 0x00; }

// Updates the key state when a message leaves the queue, as Windows does: GetKeyState answers for the
// messages the program has seen, not for the hardware.
void noteRetrieved(const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      const bool bDown = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
      const BYTE vk = static_cast<BYTE>(msg.wParam);
      const bool bWasDown = (msg.lParam & (1 << 30)) != 0;
      if (bDown && !bWasDown) {
        g_keyToggled[vk] ^= 1;
      }
      setKey(vk, bDown);
      const BYTE uiScan = static_cast<BYTE>((msg.lParam >> 16) & 0xFF);
      const bool bExtended = (msg.lParam & (1 << 24)) != 0;
      if (vk == VK_SHIFT) {
        setKey(uiScan == 0x36 ? VK_RSHIFT : VK_LSHIFT, bDown);
        setKey(VK_SHIFT, g_keyDown[VK_LSHIFT] || g_keyDown[VK_RSHIFT]);
      } else if (vk == VK_CONTROL) {
        setKey(bExtended ? VK_RCONTROL : VK_LCONTROL, bDown);
        setKey(VK_CONTROL, g_keyDown[VK_LCONTROL] || g_keyDown[VK_RCONTROL]);
      } else if (vk == VK_MENU) {
        setKey(bExtended ? VK_RMENU : VK_LMENU, bDown);
        setKey(VK_MENU, g_keyDown[VK_LMENU] || g_keyDown[VK_RMENU]);
      }
      break;
    }
    default:
      if (msg.message >= WM_MOUSEMOVE && msg.message <= WM_MOUSEHWHEEL) {
        const WORD uiFlags = LOWORD(msg.wParam);
        setKey(VK_LBUTTON, uiFlags & MK_LBUTTON);
        setKey(VK_RBUTTON, uiFlags & MK_RBUTTON);
        setKey(VK_MBUTTON, uiFlags & MK_MBUTTON);
        setKey(VK_XBUTTON1, uiFlags & MK_XBUTTON1);
        setKey(VK_XBUTTON2, uiFlags & MK_XBUTTON2);
      }
      break;
  }
}

void deliverSentMessages() {
  while (!g_sentLater.empty()) {
    const SSentMessage sent = g_sentLater.front();
    g_sentLater.pop_front();
    if (WNDPROC pProc = Win32WindowProcOf(sent.hWnd)) {
      pProc(sent.hWnd, sent.uiMsg, sent.wParam, sent.lParam);
    }
  }
}

// Character of a key under the US layout; 0 when the key makes none.
WCHAR characterOf(BYTE vk, bool bShift, bool bCaps, bool bControl, bool bAlt) {
  if (bControl && bAlt) {
    return 0;
  }
  if (vk >= 'A' && vk <= 'Z') {
    if (bControl) {
      return static_cast<WCHAR>(vk - 'A' + 1);
    }
    return static_cast<WCHAR>((bShift != bCaps) ? vk : vk - 'A' + 'a');
  }
  if (vk >= '0' && vk <= '9') {
    if (bControl) {
      return 0;
    }
    static const char s_shifted[] = ")!@#$%^&*(";
    return static_cast<WCHAR>(bShift ? s_shifted[vk - '0'] : vk);
  }
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
    return static_cast<WCHAR>('0' + (vk - VK_NUMPAD0));
  }
  struct SPunctuation {
    BYTE vk;
    char plain;
    char shifted;
    char control;
  };
  static const SPunctuation s_punctuation[] = {
      {VK_OEM_1, ';', ':', 0},     {VK_OEM_PLUS, '=', '+', 0},   {VK_OEM_COMMA, ',', '<', 0},
      {VK_OEM_MINUS, '-', '_', 0}, {VK_OEM_PERIOD, '.', '>', 0}, {VK_OEM_2, '/', '?', 0},
      {VK_OEM_3, '`', '~', 0},     {VK_OEM_4, '[', '{', 27},     {VK_OEM_5, '\\', '|', 28},
      {VK_OEM_6, ']', '}', 29},    {VK_OEM_7, '\'', '"', 0},     {VK_OEM_102, '\\', '|', 28},
      {VK_SPACE, ' ', ' ', ' '},   {VK_RETURN, '\r', '\r', '\n'}, {VK_TAB, '\t', '\t', 0},
      {VK_BACK, 8, 8, 127},        {VK_ESCAPE, 27, 27, 27},      {VK_MULTIPLY, '*', '*', 0},
      {VK_ADD, '+', '+', 0},       {VK_SUBTRACT, '-', '-', 0},   {VK_DECIMAL, '.', '.', 0},
      {VK_DIVIDE, '/', '/', 0},
  };
  for (const SPunctuation& entry : s_punctuation) {
    if (entry.vk == vk) {
      return static_cast<WCHAR>(bControl ? entry.control : (bShift ? entry.shifted : entry.plain));
    }
  }
  return 0;
}

// Set-1 scan codes of SDL's keys (0x80 marks the E0 prefix), as DirectInput numbers them.
struct SScanEntry {
  SDL_Scancode eScancode;
  BYTE uiCode;
};
const SScanEntry g_scanEntries[] = {
    {SDL_SCANCODE_ESCAPE, 0x01}, {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03}, {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05}, {SDL_SCANCODE_5, 0x06}, {SDL_SCANCODE_6, 0x07}, {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09}, {SDL_SCANCODE_9, 0x0A}, {SDL_SCANCODE_0, 0x0B}, {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D}, {SDL_SCANCODE_BACKSPACE, 0x0E}, {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12}, {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15}, {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_O, 0x18}, {SDL_SCANCODE_P, 0x19}, {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_S, 0x1F}, {SDL_SCANCODE_D, 0x20}, {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23}, {SDL_SCANCODE_J, 0x24}, {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26}, {SDL_SCANCODE_SEMICOLON, 0x27}, {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29}, {SDL_SCANCODE_LSHIFT, 0x2A}, {SDL_SCANCODE_BACKSLASH, 0x2B},
    {SDL_SCANCODE_NONUSHASH, 0x2B}, {SDL_SCANCODE_Z, 0x2C}, {SDL_SCANCODE_X, 0x2D}, {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_V, 0x2F}, {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31}, {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_CAPSLOCK, 0x3A}, {SDL_SCANCODE_F1, 0x3B}, {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D}, {SDL_SCANCODE_F4, 0x3E}, {SDL_SCANCODE_F5, 0x3F}, {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41}, {SDL_SCANCODE_F8, 0x42}, {SDL_SCANCODE_F9, 0x43}, {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46}, {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49}, {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B}, {SDL_SCANCODE_KP_5, 0x4C}, {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E}, {SDL_SCANCODE_KP_1, 0x4F}, {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51}, {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56}, {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_F13, 0x64}, {SDL_SCANCODE_F14, 0x65}, {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70}, {SDL_SCANCODE_INTERNATIONAL1, 0x73},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79}, {SDL_SCANCODE_INTERNATIONAL5, 0x7B},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D}, {SDL_SCANCODE_KP_EQUALS, 0x8D}, {SDL_SCANCODE_AUDIOPREV, 0x90},
    {SDL_SCANCODE_AUDIONEXT, 0x99}, {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_MUTE, 0xA0}, {SDL_SCANCODE_AUDIOMUTE, 0xA0}, {SDL_SCANCODE_CALCULATOR, 0xA1},
    {SDL_SCANCODE_AUDIOPLAY, 0xA2}, {SDL_SCANCODE_AUDIOSTOP, 0xA4}, {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
    {SDL_SCANCODE_VOLUMEUP, 0xB0}, {SDL_SCANCODE_AC_HOME, 0xB2}, {SDL_SCANCODE_KP_COMMA, 0xB3},
    {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_PRINTSCREEN, 0xB7}, {SDL_SCANCODE_RALT, 0xB8},
    {SDL_SCANCODE_PAUSE, 0xC5}, {SDL_SCANCODE_HOME, 0xC7}, {SDL_SCANCODE_UP, 0xC8},
    {SDL_SCANCODE_PAGEUP, 0xC9}, {SDL_SCANCODE_LEFT, 0xCB}, {SDL_SCANCODE_RIGHT, 0xCD},
    {SDL_SCANCODE_END, 0xCF}, {SDL_SCANCODE_DOWN, 0xD0}, {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2}, {SDL_SCANCODE_DELETE, 0xD3}, {SDL_SCANCODE_LGUI, 0xDB},
    {SDL_SCANCODE_RGUI, 0xDC}, {SDL_SCANCODE_APPLICATION, 0xDD}, {SDL_SCANCODE_POWER, 0xDE},
    {SDL_SCANCODE_SLEEP, 0xDF}, {SDL_SCANCODE_AC_SEARCH, 0xE5}, {SDL_SCANCODE_AC_BOOKMARKS, 0xE6},
    {SDL_SCANCODE_AC_REFRESH, 0xE7}, {SDL_SCANCODE_AC_STOP, 0xE8}, {SDL_SCANCODE_AC_FORWARD, 0xE9},
    {SDL_SCANCODE_AC_BACK, 0xEA}, {SDL_SCANCODE_COMPUTER, 0xEB}, {SDL_SCANCODE_MAIL, 0xEC},
    {SDL_SCANCODE_MEDIASELECT, 0xED},
};

// Virtual keys of SDL's keys by position, for everything but letters and the numeric pad.
const std::pair<SDL_Scancode, BYTE> g_virtualKeyEntries[] = {
    {SDL_SCANCODE_1, '1'}, {SDL_SCANCODE_2, '2'}, {SDL_SCANCODE_3, '3'}, {SDL_SCANCODE_4, '4'},
    {SDL_SCANCODE_5, '5'}, {SDL_SCANCODE_6, '6'}, {SDL_SCANCODE_7, '7'}, {SDL_SCANCODE_8, '8'},
    {SDL_SCANCODE_9, '9'}, {SDL_SCANCODE_0, '0'}, {SDL_SCANCODE_RETURN, VK_RETURN},
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE}, {SDL_SCANCODE_BACKSPACE, VK_BACK}, {SDL_SCANCODE_TAB, VK_TAB},
    {SDL_SCANCODE_SPACE, VK_SPACE}, {SDL_SCANCODE_MINUS, VK_OEM_MINUS}, {SDL_SCANCODE_EQUALS, VK_OEM_PLUS},
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4}, {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6},
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5}, {SDL_SCANCODE_NONUSHASH, VK_OEM_5}, {SDL_SCANCODE_SEMICOLON, VK_OEM_1},
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_7}, {SDL_SCANCODE_GRAVE, VK_OEM_3}, {SDL_SCANCODE_COMMA, VK_OEM_COMMA},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD}, {SDL_SCANCODE_SLASH, VK_OEM_2}, {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL},
    {SDL_SCANCODE_F1, VK_F1}, {SDL_SCANCODE_F2, VK_F1 + 1}, {SDL_SCANCODE_F3, VK_F1 + 2},
    {SDL_SCANCODE_F4, VK_F1 + 3}, {SDL_SCANCODE_F5, VK_F1 + 4}, {SDL_SCANCODE_F6, VK_F1 + 5},
    {SDL_SCANCODE_F7, VK_F1 + 6}, {SDL_SCANCODE_F8, VK_F1 + 7}, {SDL_SCANCODE_F9, VK_F1 + 8},
    {SDL_SCANCODE_F10, VK_F1 + 9}, {SDL_SCANCODE_F11, VK_F1 + 10}, {SDL_SCANCODE_F12, VK_F1 + 11},
    {SDL_SCANCODE_F13, VK_F1 + 12}, {SDL_SCANCODE_F14, VK_F1 + 13}, {SDL_SCANCODE_F15, VK_F1 + 14},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT}, {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL}, {SDL_SCANCODE_PAUSE, VK_PAUSE},
    {SDL_SCANCODE_INSERT, VK_INSERT}, {SDL_SCANCODE_HOME, VK_HOME}, {SDL_SCANCODE_PAGEUP, VK_PRIOR},
    {SDL_SCANCODE_DELETE, VK_DELETE}, {SDL_SCANCODE_END, VK_END}, {SDL_SCANCODE_PAGEDOWN, VK_NEXT},
    {SDL_SCANCODE_RIGHT, VK_RIGHT}, {SDL_SCANCODE_LEFT, VK_LEFT}, {SDL_SCANCODE_DOWN, VK_DOWN},
    {SDL_SCANCODE_UP, VK_UP}, {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK}, {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY}, {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT},
    {SDL_SCANCODE_KP_PLUS, VK_ADD}, {SDL_SCANCODE_KP_ENTER, VK_RETURN}, {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102},
    {SDL_SCANCODE_APPLICATION, VK_APPS}, {SDL_SCANCODE_LCTRL, VK_CONTROL}, {SDL_SCANCODE_RCTRL, VK_CONTROL},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT}, {SDL_SCANCODE_RSHIFT, VK_SHIFT}, {SDL_SCANCODE_LALT, VK_MENU},
    {SDL_SCANCODE_RALT, VK_MENU}, {SDL_SCANCODE_LGUI, VK_LWIN}, {SDL_SCANCODE_RGUI, VK_RWIN},
    {SDL_SCANCODE_SLEEP, VK_SLEEP}, {SDL_SCANCODE_MUTE, VK_VOLUME_MUTE}, {SDL_SCANCODE_AUDIOMUTE, VK_VOLUME_MUTE},
    {SDL_SCANCODE_VOLUMEDOWN, VK_VOLUME_DOWN}, {SDL_SCANCODE_VOLUMEUP, VK_VOLUME_UP},
    {SDL_SCANCODE_AUDIONEXT, VK_MEDIA_NEXT_TRACK}, {SDL_SCANCODE_AUDIOPREV, VK_MEDIA_PREV_TRACK},
    {SDL_SCANCODE_AUDIOSTOP, VK_MEDIA_STOP}, {SDL_SCANCODE_AUDIOPLAY, VK_MEDIA_PLAY_PAUSE},
};

template <typename Entry, size_t N>
std::array<BYTE, SDL_NUM_SCANCODES> buildTable(const Entry (&entries)[N]) {
  std::array<BYTE, SDL_NUM_SCANCODES> table{};
  for (const Entry& entry : entries) {
    if constexpr (std::is_same_v<Entry, SScanEntry>) {
      table[entry.eScancode] = entry.uiCode;
    } else {
      table[entry.first] = entry.second;
    }
  }
  return table;
}

}  // namespace

void Win32RequireWindowThread(const char* pFunction) {
  std::lock_guard<std::mutex> lock(g_threadMutex);
  const std::thread::id self = std::this_thread::get_id();
  if (g_windowThread == std::thread::id()) {
    g_windowThread = self;
    installQuitSignals();
    return;
  }
  if (g_windowThread != self) {
    std::fprintf(stderr, "Win32 stand-in: %s called from a thread other than the window thread\n", pFunction);
    std::abort();
  }
}

void Win32HandleQuitSignals() { installQuitSignals(); }

bool Win32QuitSignalPending() { return g_iQuitSignal.load() != 0; }

void Win32AddPumpListener(Win32PumpListener* pListener) {
  for (Win32PumpListener* pKnown : g_listeners) {
    if (pKnown == pListener) {
      return;
    }
  }
  g_listeners.push_back(pListener);
}

void Win32RemovePumpListener(Win32PumpListener* pListener) {
  for (size_t i = 0; i < g_listeners.size(); ++i) {
    if (g_listeners[i] == pListener) {
      g_listeners.erase(g_listeners.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void Win32NotifyActivation(HWND hWnd, bool bActive) {
  for (size_t i = 0; i < g_listeners.size(); ++i) {
    g_listeners[i]->onWindowActivation(hWnd, bActive);
  }
}

void Win32PumpEvents() {
  Win32RequireWindowThread("Win32PumpEvents");
  if (g_bPumping) {
    return;
  }
  if (SDL_WasInit(SDL_INIT_EVENTS)) {
    g_bPumping = true;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      SDL_Event forListeners = event;
      if (event.type == SDL_MOUSEMOTION && Win32WindowIsWarpEcho(event)) {
        forListeners.motion.xrel = 0;
        forListeners.motion.yrel = 0;
      }
      for (size_t i = 0; i < g_listeners.size(); ++i) {
        g_listeners[i]->onSdlEvent(forListeners);
      }
      Win32WindowTranslateSdlEvent(event);
      if ((event.type == SDL_DROPFILE || event.type == SDL_DROPTEXT) && event.drop.file) {
        SDL_free(event.drop.file);
      }
    }
    for (size_t i = 0; i < g_listeners.size(); ++i) {
      g_listeners[i]->onPumpFinished();
    }
    g_bPumping = false;
  }
  serveQuitSignal();
}

void Win32QueuePostInput(const MSG& msg) {
  SPostedQueue& queue = postedQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  // Windows keeps one pending mouse move: a newer one replaces it while nothing came after it.
  if (msg.message == WM_MOUSEMOVE && !queue.messages.empty()) {
    MSG& last = queue.messages.back();
    if (last.message == WM_MOUSEMOVE && last.hwnd == msg.hwnd) {
      last = msg;
      return;
    }
  }
  queue.messages.push_back(msg);
}

void Win32QueueSendLater(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam) {
  g_sentLater.push_back({hWnd, uiMsg, wParam, lParam});
}

void Win32QueueAddWindow(HWND hWnd) {
  SPostedQueue& queue = postedQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.windows.insert(hWnd);
}

void Win32QueueRemoveWindow(HWND hWnd) {
  {
    SPostedQueue& queue = postedQueue();
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.windows.erase(hWnd);
    std::erase_if(queue.messages, [hWnd](const MSG& msg) { return msg.hwnd == hWnd; });
  }
  std::erase_if(g_sentLater, [hWnd](const SSentMessage& sent) { return sent.hWnd == hWnd; });
}

void Win32QueueReset() {
  {
    SPostedQueue& queue = postedQueue();
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.messages.clear();
    queue.bQuit = false;
    queue.iQuitCode = 0;
  }
  g_sentLater.clear();
  g_keyDown.fill(0);
  g_keyToggled.fill(0);
  g_bKeyModKnown = false;
  g_uiKeyMod = 0;
  g_iQuitSignal.store(0);
  alarm(0);
  std::lock_guard<std::mutex> lock(g_threadMutex);
  g_windowThread = std::thread::id();
}

Uint16 Win32CurrentKeyMod() { return g_bKeyModKnown ? g_uiKeyMod : static_cast<Uint16>(SDL_GetModState()); }

void Win32NoteKeyMod(Uint16 uiMod) {
  g_bKeyModKnown = true;
  g_uiKeyMod = uiMod;
}

POINT Win32CursorModel() { return POINT{g_iCursorX.load(), g_iCursorY.load()}; }

void Win32SetCursorModel(LONG x, LONG y) {
  g_iCursorX.store(x);
  g_iCursorY.store(y);
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  Win32RequireWindowThread("PeekMessageA");
  if (lpMsg == nullptr) {
    return FALSE;
  }
  Win32PumpEvents();
  deliverSentMessages();

  const bool bRemove = (wRemoveMsg & PM_REMOVE) != 0;
  bool bFound = false;
  {
    SPostedQueue& queue = postedQueue();
    std::lock_guard<std::mutex> lock(queue.mutex);
    for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
      if (matchesWindow(it->hwnd, hWnd) && inRange(it->message, wMsgFilterMin, wMsgFilterMax)) {
        *lpMsg = *it;
        if (bRemove) {
          queue.messages.erase(it);
        }
        bFound = true;
        break;
      }
    }
    if (!bFound && queue.bQuit && matchesWindow(nullptr, hWnd)) {
      *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.iQuitCode), 0, SDL_GetTicks(), Win32CursorModel()};
      if (bRemove) {
        queue.bQuit = false;
      }
      bFound = true;
    }
  }
  if (bFound) {
    if (bRemove) {
      noteRetrieved(*lpMsg);
    }
    return TRUE;
  }
  HWND hPaint = nullptr;
  if (inRange(WM_PAINT, wMsgFilterMin, wMsgFilterMax) && Win32WindowFindPaint(hWnd, &hPaint)) {
    *lpMsg = MSG{hPaint, WM_PAINT, 0, 0, SDL_GetTicks(), Win32CursorModel()};
    return TRUE;
  }
  *lpMsg = MSG{};
  return FALSE;
}

BOOL TranslateMessage(const MSG* lpMsg) {
  if (lpMsg == nullptr) {
    return FALSE;
  }
  if (lpMsg->message == WM_KEYUP || lpMsg->message == WM_SYSKEYUP) {
    return TRUE;
  }
  if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN) {
    return FALSE;
  }
  const bool bShift = GetKeyState(VK_SHIFT) < 0;
  const bool bControl = GetKeyState(VK_CONTROL) < 0;
  const bool bAlt = GetKeyState(VK_MENU) < 0;
  const bool bCaps = (GetKeyState(VK_CAPITAL) & 1) != 0;
  const WCHAR character = characterOf(static_cast<BYTE>(lpMsg->wParam), bShift, bCaps, bControl, bAlt);
  if (character != 0) {
    MSG charMsg = *lpMsg;
    charMsg.message = lpMsg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    charMsg.wParam = character;
    SPostedQueue& queue = postedQueue();
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.messages.push_front(charMsg);
  }
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
  if (lpMsg == nullptr || lpMsg->hwnd == nullptr) {
    return 0;
  }
  Win32RequireWindowThread("DispatchMessageA");
  WNDPROC pProc = Win32WindowProcOf(lpMsg->hwnd);
  return pProc ? pProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam) : 0;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  SPostedQueue& queue = postedQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  if (hWnd != nullptr && queue.windows.count(hWnd) == 0) {
    return FALSE;
  }
  queue.messages.push_back(MSG{hWnd, Msg, wParam, lParam, SDL_GetTicks(), Win32CursorModel()});
  return TRUE;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Win32RequireWindowThread("SendMessageA");
  WNDPROC pProc = Win32WindowProcOf(hWnd);
  return pProc ? pProc(hWnd, Msg, wParam, lParam) : 0;
}

void PostQuitMessage(int nExitCode) {
  SPostedQueue& queue = postedQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.bQuit = true;
  queue.iQuitCode = nExitCode;
}

SHORT GetKeyState(int nVirtKey) {
  if (nVirtKey < 0 || nVirtKey > 255) {
    return 0;
  }
  unsigned uiState = g_keyDown[nVirtKey] ? 0x8000u : 0u;
  const Uint16 uiMod = Win32CurrentKeyMod();
  switch (nVirtKey) {
    case VK_CAPITAL:
      uiState |= (uiMod & KMOD_CAPS) ? 1u : 0u;
      break;
    case VK_NUMLOCK:
      uiState |= (uiMod & KMOD_NUM) ? 1u : 0u;
      break;
    case VK_SCROLL:
      uiState |= (uiMod & KMOD_SCROLL) ? 1u : 0u;
      break;
    default:
      uiState |= g_keyToggled[nVirtKey];
      break;
  }
  return static_cast<SHORT>(uiState);
}

BYTE Win32KeyboardScanCode(SDL_Scancode eScancode) {
  static const std::array<BYTE, SDL_NUM_SCANCODES> s_table = buildTable(g_scanEntries);
  return (eScancode >= 0 && eScancode < SDL_NUM_SCANCODES) ? s_table[eScancode] : 0;
}

BYTE Win32VirtualKey(const SDL_Keysym& keysym) {
  static const std::array<BYTE, SDL_NUM_SCANCODES> s_table = buildTable(g_virtualKeyEntries);
  if (keysym.sym >= SDLK_a && keysym.sym <= SDLK_z) {
    return static_cast<BYTE>('A' + (keysym.sym - SDLK_a));
  }
  const SDL_Scancode eScancode = keysym.scancode;
  if (eScancode >= SDL_SCANCODE_A && eScancode <= SDL_SCANCODE_Z) {
    return static_cast<BYTE>('A' + (eScancode - SDL_SCANCODE_A));
  }
  if ((eScancode >= SDL_SCANCODE_KP_1 && eScancode <= SDL_SCANCODE_KP_0) || eScancode == SDL_SCANCODE_KP_PERIOD) {
    const bool bNumLock = (keysym.mod & KMOD_NUM) != 0;
    static const BYTE s_navigation[] = {VK_END,  VK_DOWN, VK_NEXT, VK_LEFT, VK_CLEAR, VK_RIGHT,
                                        VK_HOME, VK_UP,   VK_PRIOR, VK_INSERT, VK_DELETE};
    const int iKey = eScancode - SDL_SCANCODE_KP_1;  // KP_1..KP_9, KP_0, KP_PERIOD are consecutive
    if (!bNumLock) {
      return s_navigation[iKey];
    }
    if (eScancode == SDL_SCANCODE_KP_PERIOD) {
      return VK_DECIMAL;
    }
    return static_cast<BYTE>(eScancode == SDL_SCANCODE_KP_0 ? VK_NUMPAD0 : VK_NUMPAD0 + 1 + iKey);
  }
  return (eScancode >= 0 && eScancode < SDL_NUM_SCANCODES) ? s_table[eScancode] : 0;
}
