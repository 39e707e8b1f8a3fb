// A key tapped through a real X server: the test starts an Xvfb of its own, opens the stand-in's window on it
// and sends a 10 ms tap with XTest (the server holds the release back 10 ms), as a user or xdotool would,
// between two reads of the keyboard. Nothing waits on a clock: the test waits for the server to have sent
// the tap, then reads until the window's client has read it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/DInput/DInput8.h"
#include "Platform/Win32/Win32Messages.h"
#include "Platform/Win32/Win32Window.h"
#include "Tests/Support/GameProcessTestSupport.h"

// Xlib's macros (None, Bool, Status) clash with the test framework's names: included last.
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// Only there so that a fault ends in a failure instead of a hang; never a measure of speed.
constexpr int gc_iHANG_GUARD_SECONDS = 60;

// Sets an environment variable for the test's length.
class CScopedEnv {
 public:
  CScopedEnv(const char* pName, const std::string& value) : m_name(pName) {
    if (const char* pOld = std::getenv(pName)) m_old = pOld;
    setenv(pName, value.c_str(), 1);
  }
  ~CScopedEnv() {
    if (m_old) {
      setenv(m_name.c_str(), m_old->c_str(), 1);
    } else {
      unsetenv(m_name.c_str());
    }
  }

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

// The keyboard's buffered events of one read, as (scan code, data).
std::vector<std::pair<DWORD, DWORD>> readKeys(LPDIRECTINPUTDEVICE8A pKeyboard) {
  DIDEVICEOBJECTDATA aEvents[32];
  DWORD uiCount = 32;
  EXPECT_EQ(pKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), aEvents, &uiCount, 0), DI_OK);
  std::vector<std::pair<DWORD, DWORD>> keys;
  for (DWORD i = 0; i < uiCount; ++i) keys.emplace_back(aEvents[i].dwOfs, aEvents[i].dwData);
  return keys;
}

TEST(DInput8X11, AKeyTappedThroughTheXServerBetweenTwoReadsIsOnePressThenARelease) {
  CProcess server;
  const std::string display = startVirtualXServer(&server, ".", "640x480x24");
  if (display.empty()) {
    GTEST_SKIP() << "needs Xvfb";
  }
  Win32TestReset();
  CScopedEnv displayVariable("DISPLAY", display);
  CScopedEnv driverVariable("SDL_VIDEODRIVER", "x11");

  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &DefWindowProcA;
  windowClass.lpszClassName = "Tap Class";
  ASSERT_NE(RegisterClassExA(&windowClass), 0);
  HWND hWnd = CreateWindowExA(0, "Tap Class", "Tap", WS_VISIBLE | WS_CAPTION, 10, 10, 320, 240, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(hWnd, nullptr);
  ASSERT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(Win32GetSdlWindow(hWnd), &info));
  const Window window = info.info.x11.window;

  // The test's own connection: it gives the window the keyboard focus (no window manager does) and sends
  // the tap.
  Display* pDisplay = XOpenDisplay(display.c_str());
  ASSERT_NE(pDisplay, nullptr);
  int iEventBase = 0, iErrorBase = 0, iMajor = 0, iMinor = 0;
  ASSERT_TRUE(XTestQueryExtension(pDisplay, &iEventBase, &iErrorBase, &iMajor, &iMinor));
  XSetInputFocus(pDisplay, window, RevertToParent, CurrentTime);
  XSync(pDisplay, False);

  // Background, so that the window system's own focus changes cannot take the keyboard away mid-test.
  LPDIRECTINPUT8A pInput = nullptr;
  ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                               reinterpret_cast<void**>(&pInput), nullptr),
            DI_OK);
  LPDIRECTINPUTDEVICE8A pKeyboard = nullptr;
  ASSERT_EQ(pInput->CreateDevice(GUID_SysKeyboard, &pKeyboard, nullptr), DI_OK);
  ASSERT_EQ(pKeyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  ASSERT_EQ(pKeyboard->SetCooperativeLevel(hWnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  DIPROPDWORD property{};
  property.diph.dwSize = sizeof(DIPROPDWORD);
  property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
  property.diph.dwHow = DIPH_DEVICE;
  property.dwData = 32;
  ASSERT_EQ(pKeyboard->SetProperty(DIPROP_BUFFERSIZE, &property.diph), DI_OK);
  ASSERT_EQ(pKeyboard->Acquire(), DI_OK);
  EXPECT_TRUE(readKeys(pKeyboard).empty());

  // The tap: pressed now, released 10 ms later by the server.
  const KeyCode uiSpace = XKeysymToKeycode(pDisplay, XK_space);
  ASSERT_NE(uiSpace, 0);
  ASSERT_TRUE(XTestFakeKeyEvent(pDisplay, uiSpace, True, 0));
  ASSERT_TRUE(XTestFakeKeyEvent(pDisplay, uiSpace, False, 10));
  // The server sleeps on the release for the 10 ms and answers the sync after it: by then it has sent both
  // events to the window's client.
  XSync(pDisplay, False);

  // The first read that sees the tap sees the press alone, the read after it the release.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(gc_iHANG_GUARD_SECONDS);
  std::vector<std::pair<DWORD, DWORD>> keys;
  while (keys.empty() && std::chrono::steady_clock::now() < deadline) keys = readKeys(pKeyboard);
  EXPECT_EQ(keys, (std::vector<std::pair<DWORD, DWORD>>{{DIK_SPACE, 0x80}}));
  EXPECT_EQ(readKeys(pKeyboard), (std::vector<std::pair<DWORD, DWORD>>{{DIK_SPACE, 0}}));
  EXPECT_TRUE(readKeys(pKeyboard).empty());

  pKeyboard->Unacquire();
  EXPECT_EQ(pKeyboard->Release(), 0u);
  EXPECT_EQ(pInput->Release(), 0u);
  XCloseDisplay(pDisplay);
  Win32TestReset();
}

}  // namespace
