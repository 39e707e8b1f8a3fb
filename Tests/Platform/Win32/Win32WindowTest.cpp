#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Win32/Win32Messages.h"
#include "Platform/Win32/Win32Threads.h"
#include "Platform/Win32/Win32Window.h"

namespace {

struct SSeen {
  HWND hWnd;
  UINT uiMsg;
  WPARAM wParam;
  LPARAM lParam;
};

std::vector<SSeen> g_seen;
bool g_bRefuseClose = false;
LRESULT g_createResult = 0;

LRESULT recordingProc(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back({hWnd, uiMsg, wParam, lParam});
  switch (uiMsg) {
    case WM_CREATE:
      return g_createResult;
    case WM_DESTROY:
      PostQuitMessage(7);
      return 0;
    case WM_CLOSE:
      if (g_bRefuseClose) {
        return 0;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(hWnd, &paint);
      EndPaint(hWnd, &paint);
      break;
    }
    default:
      break;
  }
  return DefWindowProcA(hWnd, uiMsg, wParam, lParam);
}

std::vector<UINT> seenMessages() {
  std::vector<UINT> messages;
  for (const SSeen& seen : g_seen) {
    messages.push_back(seen.uiMsg);
  }
  return messages;
}

const SSeen* lastSeen(UINT uiMsg) {
  for (auto it = g_seen.rbegin(); it != g_seen.rend(); ++it) {
    if (it->uiMsg == uiMsg) {
      return &*it;
    }
  }
  return nullptr;
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    g_bRefuseClose = false;
    g_createResult = 0;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &recordingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Test Class";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
  }
  void TearDown() override { Win32TestReset(); }

  static HWND makeWindow(DWORD uiStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU, int x = 100, int y = 50,
                         int w = 400, int h = 300) {
    return CreateWindowExA(0, "Test Class", "Test Window", uiStyle, x, y, w, h, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  }

  // Takes every waiting message as a message loop does, and returns what was taken.
  static std::vector<MSG> pumpAll() {
    std::vector<MSG> taken;
    MSG msg;
    while (taken.size() < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      taken.push_back(msg);
      if (msg.message == WM_QUIT) {
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return taken;
  }

  static std::vector<MSG> only(const std::vector<MSG>& messages, std::initializer_list<UINT> kinds) {
    std::vector<MSG> kept;
    for (const MSG& msg : messages) {
      for (UINT uiKind : kinds) {
        if (msg.message == uiKind) {
          kept.push_back(msg);
        }
      }
    }
    return kept;
  }
};

TEST_F(Win32Window, CreationSendsItsMessagesAndKeepsClassAndTitle) {
  HWND hWnd = makeWindow();
  ASSERT_NE(hWnd, nullptr);
  const std::vector<UINT> expected = {WM_CREATE, WM_SIZE, WM_MOVE, WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS};
  EXPECT_EQ(seenMessages(), expected);
  EXPECT_EQ(lastSeen(WM_ACTIVATEAPP)->wParam, static_cast<WPARAM>(TRUE));
  EXPECT_EQ(LOWORD(lastSeen(WM_ACTIVATE)->wParam), WA_ACTIVE);
  EXPECT_EQ(GetForegroundWindow(), hWnd);

  char title[64];
  EXPECT_EQ(GetWindowTextA(hWnd, title, sizeof(title)), 11);
  EXPECT_STREQ(title, "Test Window");
  EXPECT_EQ(GetWindowTextA(hWnd, title, 5), 4);
  EXPECT_STREQ(title, "Test");
  EXPECT_TRUE(SetWindowTextW(hWnd, u"Grindl\u00f6w \U0001F3AE"));
  EXPECT_STREQ(SDL_GetWindowTitle(Win32GetSdlWindow(hWnd)), "Grindl\xc3\xb6w \xf0\x9f\x8e\xae");

  // Class names compare without case; unknown classes and duplicate registrations are refused.
  HWND hSecond = CreateWindowExA(0, "TEST CLASS", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(hSecond, nullptr);
  EXPECT_EQ(CreateWindowExA(0, "No Such Class", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  WNDCLASSEXA again{};
  again.cbSize = sizeof(again);
  again.lpfnWndProc = &recordingProc;
  again.lpszClassName = "test class";
  EXPECT_EQ(RegisterClassExA(&again), 0);
  again.lpszClassName = "Other Class";
  again.cbSize = 48;
  EXPECT_EQ(RegisterClassExA(&again), 0);

  EXPECT_FALSE(UnregisterClassA("Test Class", nullptr));
  EXPECT_TRUE(DestroyWindow(hWnd));
  EXPECT_TRUE(DestroyWindow(hSecond));
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_FALSE(DestroyWindow(hWnd));
  EXPECT_TRUE(UnregisterClassA("Test Class", nullptr));
  EXPECT_FALSE(UnregisterClassA("Test Class", nullptr));
}

TEST_F(Win32Window, RefusedCreationAndInjectedFailure) {
  g_createResult = -1;
  EXPECT_EQ(makeWindow(), nullptr);
  const std::vector<UINT> expected = {WM_CREATE, WM_DESTROY};
  EXPECT_EQ(seenMessages(), expected);

  g_createResult = 0;
  // Each failure sets its own last error, whatever an earlier call left there.
  SetLastError(ERROR_ALREADY_EXISTS);
  Win32TestSetFaults(WIN32_FAULT_CREATE_WINDOW);
  EXPECT_EQ(makeWindow(), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));
  Win32TestSetFaults(WIN32_FAULT_NONE);
  SetLastError(ERROR_ALREADY_EXISTS);
  EXPECT_EQ(CreateWindowExA(0, "No Such Class", "x", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));

  // The environment names the same faults; a reset reads it again.
  Win32TestReset();
  setenv("GRINDLOW_WIN32_FAULTS", "nofocus", 1);
  SetUp();
  HWND hWnd = makeWindow();
  unsetenv("GRINDLOW_WIN32_FAULTS");
  ASSERT_NE(hWnd, nullptr);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  EXPECT_EQ(lastSeen(WM_ACTIVATE), nullptr);
}

TEST_F(Win32Window, OuterRectangleAddsTheFrameAndMovingSetsTheClientSize) {
  HWND hWnd = makeWindow();
  RECT outer{};
  RECT client{};
  ASSERT_TRUE(GetWindowRect(hWnd, &outer));
  ASSERT_TRUE(GetClientRect(hWnd, &client));
  EXPECT_EQ(outer.left, 100);
  EXPECT_EQ(outer.top, 50);
  EXPECT_EQ(outer.right - outer.left, 400);
  EXPECT_EQ(outer.bottom - outer.top, 300);
  const int iFrameW = (outer.right - outer.left) - client.right;
  const int iFrameH = (outer.bottom - outer.top) - client.bottom;
  EXPECT_GT(iFrameH, 0);  // a captioned window has a frame
  EXPECT_EQ(client.left, 0);
  EXPECT_EQ(client.top, 0);

  // Sizing the outer rectangle by the frame makes the client area exactly the wanted size.
  g_seen.clear();
  ASSERT_TRUE(MoveWindow(hWnd, 20, 30, 640 + iFrameW, 480 + iFrameH, TRUE));
  ASSERT_TRUE(GetClientRect(hWnd, &client));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  const SSeen* pSize = lastSeen(WM_SIZE);
  ASSERT_NE(pSize, nullptr);
  EXPECT_EQ(pSize->wParam, static_cast<WPARAM>(SIZE_RESTORED));
  EXPECT_EQ(LOWORD(pSize->lParam), 640);
  EXPECT_EQ(HIWORD(pSize->lParam), 480);

  POINT point{5, 7};
  ASSERT_TRUE(ClientToScreen(hWnd, &point));
  ASSERT_TRUE(GetWindowRect(hWnd, &outer));
  EXPECT_EQ(point.x, outer.left + iFrameW / 2 + 5);  // the nominal frame is as wide on both sides
  ASSERT_TRUE(ScreenToClient(hWnd, &point));
  EXPECT_EQ(point.x, 5);
  EXPECT_EQ(point.y, 7);

  // The later SDL size event repeats nothing: WM_SIZE only follows a real change.
  g_seen.clear();
  pumpAll();
  EXPECT_EQ(lastSeen(WM_SIZE), nullptr);

  HWND hPopup = makeWindow(WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
  ASSERT_TRUE(GetWindowRect(hPopup, &outer));
  ASSERT_TRUE(GetClientRect(hPopup, &client));
  EXPECT_EQ(outer.right - outer.left, client.right);
  EXPECT_EQ(outer.bottom - outer.top, client.bottom);

  // The tests' offscreen driver lists no display mode of a size (its desktop's 1024 x 768 is made up): the
  // desktop is the default size.
  SDL_DisplayMode mode;
  ASSERT_EQ(SDL_GetDisplayMode(0, 0, &mode), 0);
  ASSERT_EQ(mode.w, 0) << "the offscreen driver";
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), gc_iWIN32_DEFAULT_DESKTOP_WIDTH);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), gc_iWIN32_DEFAULT_DESKTOP_HEIGHT);
}

TEST_F(Win32Window, CloseButtonLeadsThroughDestroyToQuit) {
  HWND hWnd = makeWindow();
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_CLOSE);
  const std::vector<MSG> taken = pumpAll();
  ASSERT_FALSE(taken.empty());
  EXPECT_EQ(only(taken, {WM_CLOSE}).size(), 1u);
  EXPECT_EQ(taken.back().message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(taken.back().wParam, 7u);
  EXPECT_EQ(taken.back().hwnd, nullptr);
  EXPECT_FALSE(IsWindow(hWnd));
  // Close, then destroy (with the deactivation first); WM_QUIT never reaches a window procedure.
  std::vector<UINT> tail = seenMessages();
  tail.erase(tail.begin(), std::find(tail.begin(), tail.end(), static_cast<UINT>(WM_CLOSE)));
  const std::vector<UINT> expected = {WM_CLOSE, WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS, WM_DESTROY};
  EXPECT_EQ(tail, expected);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  // A procedure that refuses the close keeps its window.
  g_bRefuseClose = true;
  hWnd = makeWindow();
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_CLOSE);
  pumpAll();
  EXPECT_TRUE(IsWindow(hWnd));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32Window, QuitComesAfterPostedMessagesWhateverTheRange) {
  HWND hWnd = makeWindow();
  pumpAll();
  PostQuitMessage(3);
  ASSERT_TRUE(PostMessageA(hWnd, WM_USER + 1, 11, 12));
  ASSERT_TRUE(PostMessageA(nullptr, WM_APP, 0, 0));
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(&g_seen), WM_USER, 0, 0));

  MSG msg;
  // The window filter excludes thread messages and the quit request.
  ASSERT_TRUE(PeekMessageA(&msg, hWnd, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  ASSERT_TRUE(PeekMessageA(&msg, hWnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 11u);
  EXPECT_FALSE(PeekMessageA(&msg, hWnd, 0, 0, PM_REMOVE));
  // A range that excludes WM_APP still yields WM_QUIT, but only once WM_APP is gone.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 5, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP));
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32Window, InterruptAndTerminateSignalsBecomeQuit) {
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // the queue is in use: signals are mapped
  for (int iSignal : {SIGINT, SIGTERM}) {
    ASSERT_EQ(std::raise(iSignal), 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(alarm(0), 0u) << "a served signal no longer ends the program by itself";
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  }
}

// A quit signal that no pump serves, because a call holds the window thread for good (a read of a pipe that never
// gets a byte), still ends the program, by the signal's default action.
TEST(Win32QuitSignals, OneThatNoPumpServesStillEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const int iSignal : {SIGTERM, SIGINT}) {
    EXPECT_EXIT(
        {
          Win32HandleQuitSignals();
          int aiPipe[2];
          if (pipe(aiPipe) == 0) {
            std::raise(iSignal);
            char cByte = 0;
            while (read(aiPipe[0], &cByte, 1) != 0) {
            }
          }
        },
        ::testing::KilledBySignal(iSignal), "");
  }
}

TEST_F(Win32Window, KeysBecomeKeyMessagesAndCharacters) {
  HWND hWnd = makeWindow();
  pumpAll();
  Win32TestPushKey(SDL_SCANCODE_A, true);
  Win32TestPushKey(SDL_SCANCODE_A, true, KMOD_NONE, true);
  Win32TestPushKey(SDL_SCANCODE_A, false);
  MSG peeked;
  ASSERT_TRUE(PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE));  // the pump queues the keys
  ASSERT_TRUE(PostMessageA(hWnd, WM_USER, 0, 0));  // posted after the keys: the characters come before it
  std::vector<MSG> taken = pumpAll();
  std::vector<UINT> kinds;
  for (const MSG& msg : taken) {
    kinds.push_back(msg.message);
  }
  const std::vector<UINT> expected = {WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_USER};
  ASSERT_EQ(kinds, expected);
  EXPECT_EQ(taken[0].wParam, static_cast<WPARAM>('A'));
  EXPECT_EQ(taken[0].lParam, 1 | (0x1E << 16));  // repeat count 1, scan code of A
  EXPECT_EQ(taken[1].wParam, static_cast<WPARAM>('a'));
  EXPECT_NE(taken[2].lParam & (1 << 30), 0);  // auto-repeat: the key was down before
  EXPECT_EQ(static_cast<DWORD>(taken[4].lParam) & 0xC0000000u, 0xC0000000u);
  EXPECT_EQ(taken[0].hwnd, hWnd);

  struct SCase {
    Uint16 uiMod;
    WPARAM expected;
  };
  for (const SCase& test : {SCase{KMOD_LSHIFT, 'A'}, SCase{KMOD_CAPS, 'A'},
                            SCase{static_cast<Uint16>(KMOD_CAPS | KMOD_LSHIFT), 'a'}}) {
    if (test.uiMod & KMOD_LSHIFT) {
      Win32TestPushKey(SDL_SCANCODE_LSHIFT, true, test.uiMod);
    }
    Win32TestPushKey(SDL_SCANCODE_A, true, test.uiMod);
    Win32TestPushKey(SDL_SCANCODE_A, false, test.uiMod);
    if (test.uiMod & KMOD_LSHIFT) {
      Win32TestPushKey(SDL_SCANCODE_LSHIFT, false, test.uiMod & ~KMOD_LSHIFT);
    }
    const std::vector<MSG> chars = only(pumpAll(), {WM_CHAR});
    ASSERT_EQ(chars.size(), 1u) << test.uiMod;
    EXPECT_EQ(chars[0].wParam, test.expected) << test.uiMod;
  }
  EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 1);
  EXPECT_GE(GetKeyState(VK_SHIFT), 0);

  // Held keys read as down once their message has been taken; left and right modifiers are told apart.
  Win32TestPushKey(SDL_SCANCODE_RCTRL, true, KMOD_RCTRL);
  Win32TestPushKey(SDL_SCANCODE_RIGHT, true, KMOD_RCTRL);
  taken = pumpAll();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].wParam, static_cast<WPARAM>(VK_CONTROL));
  EXPECT_EQ(taken[1].wParam, static_cast<WPARAM>(VK_RIGHT));
  EXPECT_EQ(taken[1].lParam, 1 | (0x4D << 16) | (1 << 24));  // extended key
  EXPECT_LT(GetKeyState(VK_CONTROL), 0);
  EXPECT_LT(GetKeyState(VK_RCONTROL), 0);
  EXPECT_GE(GetKeyState(VK_LCONTROL), 0);
  Win32TestPushKey(SDL_SCANCODE_RIGHT, false);
  Win32TestPushKey(SDL_SCANCODE_RCTRL, false);
  pumpAll();
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);

  // Alt combinations are system keys.
  Win32TestPushKey(SDL_SCANCODE_F, true, KMOD_LALT);
  taken = pumpAll();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_SYSKEYDOWN));
  EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_SYSCHAR));
  EXPECT_NE(taken[0].lParam & (1 << 29), 0);

  // Without the focus no key reaches the window.
  Win32TestSetFocus(nullptr);
  pumpAll();
  Win32TestPushKey(SDL_SCANCODE_B, true);
  EXPECT_TRUE(only(pumpAll(), {WM_KEYDOWN, WM_CHAR}).empty());
}

TEST_F(Win32Window, MouseMessagesCarryClientCoordinatesAndButtons) {
  HWND hWnd = makeWindow();
  pumpAll();
  Win32TestPushMouseMotion(hWnd, 10, 20, 1, 1);
  Win32TestPushMouseMotion(hWnd, -5, 30, -15, 10);  // replaces the waiting move
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, true, -5, 30);
  Win32TestPushMouseMotion(hWnd, 40, 50, 45, 20);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, false, 40, 50);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_RIGHT, true, 40, 50);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_MIDDLE, true, 40, 50);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_X2, true, 40, 50);
  Win32TestPushMouseWheel(hWnd, -2);
  const std::vector<MSG> taken = pumpAll();
  std::vector<UINT> kinds;
  for (const MSG& msg : taken) {
    kinds.push_back(msg.message);
  }
  const std::vector<UINT> expected = {WM_MOUSEMOVE,  WM_LBUTTONDOWN, WM_MOUSEMOVE,   WM_LBUTTONUP,
                                      WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_XBUTTONDOWN, WM_MOUSEWHEEL};
  ASSERT_EQ(kinds, expected);
  EXPECT_EQ(GET_X_LPARAM(taken[0].lParam), -5);
  EXPECT_EQ(GET_Y_LPARAM(taken[0].lParam), 30);
  EXPECT_EQ(LOWORD(taken[1].wParam), MK_LBUTTON);
  EXPECT_EQ(LOWORD(taken[2].wParam), MK_LBUTTON);  // moved with the button held
  EXPECT_EQ(GET_X_LPARAM(taken[2].lParam), 40);
  EXPECT_EQ(LOWORD(taken[3].wParam), 0);
  EXPECT_EQ(LOWORD(taken[5].wParam), MK_RBUTTON | MK_MBUTTON);
  EXPECT_EQ(GET_XBUTTON_WPARAM(taken[6].wParam), XBUTTON2);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(taken[7].wParam), -2 * WHEEL_DELTA);
  // The wheel reports the cursor in screen coordinates.
  POINT cursor{40, 50};
  ClientToScreen(hWnd, &cursor);
  EXPECT_EQ(GET_X_LPARAM(taken[7].lParam), cursor.x);
  POINT reported{};
  ASSERT_TRUE(GetCursorPos(&reported));
  EXPECT_EQ(reported.x, cursor.x);
  EXPECT_EQ(reported.y, cursor.y);
  EXPECT_LT(GetKeyState(VK_RBUTTON), 0);
  EXPECT_GE(GetKeyState(VK_LBUTTON), 0);
}

// A window moved under a still cursor: SDL's button events still carry the cursor's place in the window from before
// the move, but a press does not move the cursor, so it keeps its screen place and the message gives its place in
// the moved window. A motion after the move gives a fresh place again.
TEST_F(Win32Window, APressAfterTheWindowMovedUnderAStillCursorKeepsTheCursorsScreenPlace) {
  struct SMoveCase {
    const char* pWhat;
    int iDX, iDY;  // the window's move
    bool bMotionAfter;  // the mouse moves (to client 30, 40) after the window did
  };
  const SMoveCase aCases[] = {{"moved down", 0, 26, false},
                              {"moved up and left", -15, -26, false},
                              {"not moved", 0, 0, false},
                              {"moved, then the mouse moved", 10, 26, true}};
  for (const SMoveCase& c : aCases) {
    SCOPED_TRACE(c.pWhat);
    HWND hWnd = makeWindow();
    pumpAll();
    Win32TestPushMouseMotion(hWnd, 30, 40, 1, 1);
    pumpAll();
    POINT before{};
    ASSERT_TRUE(GetCursorPos(&before));
    RECT outer{};
    ASSERT_TRUE(GetWindowRect(hWnd, &outer));
    ASSERT_TRUE(MoveWindow(hWnd, outer.left + c.iDX, outer.top + c.iDY, outer.right - outer.left,
                           outer.bottom - outer.top, TRUE));
    pumpAll();
    if (c.bMotionAfter) {
      Win32TestPushMouseMotion(hWnd, 30, 40, 1, 1);
    }
    // SDL's press still says (30, 40): where the cursor was in the window before the move.
    Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, true, 30, 40);
    Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, false, 30, 40);
    const std::vector<MSG> presses = only(pumpAll(), {WM_LBUTTONDOWN});
    ASSERT_EQ(presses.size(), 1u);
    POINT expected = c.bMotionAfter ? POINT{30, 40} : POINT{30 - c.iDX, 40 - c.iDY};
    EXPECT_EQ(GET_X_LPARAM(presses[0].lParam), expected.x);
    EXPECT_EQ(GET_Y_LPARAM(presses[0].lParam), expected.y);
    ClientToScreen(hWnd, &expected);
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, expected.x);
    EXPECT_EQ(cursor.y, expected.y);
    if (!c.bMotionAfter) {
      EXPECT_EQ(cursor.x, before.x) << "the press moved the cursor";
      EXPECT_EQ(cursor.y, before.y);
    }
    DestroyWindow(hWnd);
    pumpAll();
  }
}

TEST_F(Win32Window, MouseLeaveFollowsTracking) {
  HWND hWnd = makeWindow();
  pumpAll();
  TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, hWnd, 0};
  // The cursor was never inside: the leave comes at once.
  ASSERT_TRUE(TrackMouseEvent(&track));
  EXPECT_EQ(only(pumpAll(), {WM_MOUSELEAVE}).size(), 1u);

  Win32TestPushMouseMotion(hWnd, 3, 3, 0, 0);
  pumpAll();
  ASSERT_TRUE(TrackMouseEvent(&track));
  EXPECT_TRUE(only(pumpAll(), {WM_MOUSELEAVE}).empty());
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_LEAVE);
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_ENTER);
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_LEAVE);  // tracking ended with the first leave
  EXPECT_EQ(only(pumpAll(), {WM_MOUSELEAVE}).size(), 1u);

  track.cbSize = 0;
  EXPECT_FALSE(TrackMouseEvent(&track));
}

class CActivationListener final : public Win32PumpListener {
 public:
  void onSdlEvent(const SDL_Event& event) override {
    if (event.type == SDL_MOUSEMOTION) {
      motions.push_back(event.motion);
    }
  }
  void onWindowActivation(HWND, bool bActive) override {
    changes.push_back(bActive);
    uiMessagesAtChange.push_back(g_seen.size());
  }
  void onPumpFinished() override {}

  std::vector<bool> changes;
  std::vector<size_t> uiMessagesAtChange;
  std::vector<SDL_MouseMotionEvent> motions;
};

TEST_F(Win32Window, FocusChangesArriveAsActivationMessages) {
  HWND hWnd = makeWindow();
  pumpAll();
  CActivationListener listener;
  Win32AddPumpListener(&listener);

  g_seen.clear();
  Win32TestSetFocus(nullptr);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  ASSERT_EQ(listener.changes, std::vector<bool>{false});
  EXPECT_TRUE(g_seen.empty());  // delivered inside the next PeekMessageA
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  std::vector<UINT> expected = {WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS};
  EXPECT_EQ(seenMessages(), expected);
  EXPECT_EQ(g_seen[0].wParam, static_cast<WPARAM>(WA_INACTIVE));
  EXPECT_EQ(g_seen[1].wParam, static_cast<WPARAM>(FALSE));

  g_seen.clear();
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_FOCUS_LOST);  // already inactive: nothing
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  expected = {WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS};
  EXPECT_EQ(seenMessages(), expected);
  EXPECT_EQ(g_seen[1].wParam, static_cast<WPARAM>(WA_ACTIVE));
  EXPECT_EQ(GetForegroundWindow(), hWnd);
  ASSERT_EQ(listener.changes, (std::vector<bool>{false, true}));
  EXPECT_EQ(listener.uiMessagesAtChange[1], 0u);  // the listener heard before the window procedure

  // Hiding deactivates at once; showing again activates.
  g_seen.clear();
  EXPECT_TRUE(ShowWindow(hWnd, SW_HIDE));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  EXPECT_EQ(LOWORD(g_seen.at(0).wParam), WA_INACTIVE);
  EXPECT_FALSE(ShowWindow(hWnd, SW_SHOWDEFAULT));
  EXPECT_EQ(GetForegroundWindow(), hWnd);
  // A visible window is not activated again by showing it.
  Win32TestSetFocus(nullptr);
  pumpAll();
  EXPECT_TRUE(ShowWindow(hWnd, SW_SHOWDEFAULT));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  EXPECT_TRUE(SetForegroundWindow(hWnd));
  EXPECT_EQ(GetForegroundWindow(), hWnd);
  Win32RemovePumpListener(&listener);
}

TEST_F(Win32Window, CursorWarpsAreNotReportedAsMotionToListeners) {
  HWND hWnd = makeWindow();
  pumpAll();
  CActivationListener listener;
  Win32AddPumpListener(&listener);
  POINT target{60, 70};
  ClientToScreen(hWnd, &target);
  ASSERT_TRUE(SetCursorPos(target.x, target.y));
  POINT cursor{};
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, target.x);
  EXPECT_EQ(cursor.y, target.y);
  // Drivers with a real pointer report the warp as motion to the new spot with a relative step; replace
  // whatever this driver queued by such an event.
  Win32PumpEvents();
  listener.motions.clear();
  ASSERT_TRUE(SetCursorPos(target.x, target.y));
  SDL_FlushEvent(SDL_MOUSEMOTION);
  Win32TestPushMouseMotion(hWnd, 60, 70, 50, 60);
  pumpAll();
  ASSERT_EQ(listener.motions.size(), 1u);
  EXPECT_EQ(listener.motions[0].xrel, 0);
  EXPECT_EQ(listener.motions[0].yrel, 0);
  // Later motion passes unchanged, also to the same spot.
  listener.motions.clear();
  Win32TestPushMouseMotion(hWnd, 60, 70, 7, -2);
  pumpAll();
  ASSERT_EQ(listener.motions.size(), 1u);
  EXPECT_EQ(listener.motions[0].xrel, 7);
  EXPECT_EQ(listener.motions[0].yrel, -2);
  Win32RemovePumpListener(&listener);

  // The display counter shows the cursor at 0 and above.
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_EQ(ShowCursor(FALSE), -2);
  EXPECT_EQ(ShowCursor(TRUE), -1);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_EQ(ShowCursor(TRUE), 0);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

}

TEST_F(Win32Window, DroppedFilesReachAcceptingWindows) {
  HWND hWnd = makeWindow();
  pumpAll();
  Win32TestPushDrop(hWnd, {"/tmp/a.txt"});
  EXPECT_TRUE(only(pumpAll(), {WM_DROPFILES}).empty());  // not accepting yet

  DragAcceptFiles(hWnd, TRUE);
  Win32TestPushDrop(hWnd, {"/tmp/first.txt", "/tmp/\xc3\xa4\xf0\x9f\x8e\xae"});
  const std::vector<MSG> drops = only(pumpAll(), {WM_DROPFILES});
  ASSERT_EQ(drops.size(), 1u);
  HDROP hDrop = reinterpret_cast<HDROP>(drops[0].wParam);
  EXPECT_EQ(DragQueryFileA(hDrop, 0xFFFFFFFFu, nullptr, 0), 2u);
  EXPECT_EQ(DragQueryFileA(hDrop, 0, nullptr, 0), 14u);
  char name[8];
  EXPECT_EQ(DragQueryFileA(hDrop, 0, name, sizeof(name)), 7u);
  EXPECT_STREQ(name, "/tmp/fi");
  WCHAR wide[32];
  EXPECT_EQ(DragQueryFileW(hDrop, 1, nullptr, 0), 8u);  // ä is one unit, the pad two
  EXPECT_EQ(DragQueryFileW(hDrop, 1, wide, 32), 8u);
  EXPECT_EQ(std::u16string(wide), u"/tmp/\u00e4\U0001F3AE");
  EXPECT_EQ(DragQueryFileA(hDrop, 2, name, sizeof(name)), 0u);
  DragFinish(hDrop);
  EXPECT_EQ(DragQueryFileA(hDrop, 0xFFFFFFFFu, nullptr, 0), 0u);
}

TEST_F(Win32Window, PaintIsMadeWhileTheWindowNeedsIt) {
  HWND hWnd = makeWindow();
  MSG msg;
  // A new window needs painting; WM_PAINT stays until the window is painted.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  DispatchMessageA(&msg);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  g_seen.clear();
  UpdateWindow(hWnd);
  EXPECT_TRUE(g_seen.empty());
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_EXPOSED);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));  // pumps the event
  UpdateWindow(hWnd);
  EXPECT_EQ(seenMessages(), std::vector<UINT>{WM_PAINT});
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32Window, DestroyingDropsWaitingMessages) {
  HWND hWnd = makeWindow();
  HWND hOther = makeWindow(WS_POPUP | WS_VISIBLE);
  pumpAll();
  PostMessageA(hWnd, WM_USER, 1, 0);
  PostMessageA(hOther, WM_USER, 2, 0);
  DestroyWindow(hWnd);
  const std::vector<MSG> users = only(pumpAll(), {WM_USER});
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].hwnd, hOther);
  EXPECT_FALSE(PostMessageA(hWnd, WM_USER, 0, 0));
}

TEST_F(Win32Window, OtherThreadsMayPostButNotUseTheWindow) {
  HWND hWnd = makeWindow();
  pumpAll();
  std::thread poster([hWnd] {
    for (int i = 0; i < 200; ++i) {
      PostMessageA(hWnd, WM_APP, static_cast<WPARAM>(i), 0);
    }
  });
  std::vector<WPARAM> values;
  MSG msg;
  while (values.size() < 200) {
    if (PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE)) {
      values.push_back(msg.wParam);
    }
  }
  poster.join();
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_EQ(values[i], i);
  }

  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        std::thread intruder([hWnd] { ShowWindow(hWnd, SW_HIDE); });
        intruder.join();
      },
      "thread other than the window thread");
}

// A real window under an X server (Xvfb in CI): skipped when there is no display.
TEST(Win32WindowX11, RealWindowOpensWithItsTitleAndCloses) {
  const char* pDisplay = std::getenv("DISPLAY");
  if (pDisplay == nullptr || *pDisplay == '\0') {
    GTEST_SKIP() << "no X display";
  }
  Win32TestReset();
  setenv("SDL_VIDEODRIVER", "x11", 1);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &recordingProc;
  windowClass.lpszClassName = "X11 Class";
  ASSERT_NE(RegisterClassExA(&windowClass), 0);
  HWND hWnd = CreateWindowExA(0, "X11 Class", "X11 Window", WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 10, 10, 320,
                              240, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(hWnd, nullptr);
  EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
  ASSERT_TRUE(SetWindowTextW(hWnd, u"Grindlow"));
  EXPECT_STREQ(SDL_GetWindowTitle(Win32GetSdlWindow(hWnd)), "Grindlow");
  EXPECT_NE(SDL_GetWindowFlags(Win32GetSdlWindow(hWnd)) & SDL_WINDOW_SHOWN, 0u);

  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_CLOSE);
  MSG msg;
  bool bQuit = false;
  for (int i = 0; i < 1000 && !bQuit; ++i) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      bQuit = msg.message == WM_QUIT;
      DispatchMessageA(&msg);
    }
  }
  EXPECT_TRUE(bQuit);
  EXPECT_FALSE(IsWindow(hWnd));
  Win32TestReset();
  unsetenv("SDL_VIDEODRIVER");
}

}  // namespace
