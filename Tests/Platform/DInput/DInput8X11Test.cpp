// A key tapped through a real X server: the test starts an Xvfb of its own, opens the stand-in's window on it
// and sends a 10 ms tap with XTest (the server holds the release back 10 ms), as a user or xdotool would,
// between two reads of the keyboard. Nothing waits on a clock: the test waits for the server to have sent
// the tap, then reads until the window's client has read it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Platform/DInput/DInput8.h"
#include "Platform/Win32/Win32Messages.h"
#include "Platform/Win32/Win32Window.h"

// Xlib's macros (None, Bool, Status) clash with the test framework's names: included last.
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

extern char** environ;

namespace {

// Only there so that a fault ends in a failure instead of a hang; never a measure of speed.
constexpr int gc_iHANG_GUARD_SECONDS = 60;

// The path of a program on PATH, empty when there is none.
std::string onPath(const std::string& name) {
  const char* pPath = std::getenv("PATH");
  std::stringstream folders(pPath != nullptr ? pPath : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + name;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// An X server of the test's own; it picks a free display number and writes it on descriptor 3 once it
// accepts connections.
class CXServer {
 public:
  ~CXServer() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }
  // ":N", or empty when the server did not start.
  std::string start(const std::string& program) {
    int aiPipe[2];
    if (pipe(aiPipe) != 0) return "";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, aiPipe[0]);
    posix_spawn_file_actions_adddup2(&actions, aiPipe[1], 3);
    std::vector<std::string> args = {program, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int iResult = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(aiPipe[1]);
    if (iResult != 0) m_pid = 0;
    std::string number;
    char c = 0;
    while (read(aiPipe[0], &c, 1) == 1 && c != '\n') number += c;
    close(aiPipe[0]);
    return number.empty() ? "" : ":" + number;
  }

 private:
  pid_t m_pid = 0;
};

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
  const std::string xvfb = onPath("Xvfb");
  if (xvfb.empty()) {
    GTEST_SKIP() << "needs Xvfb";
  }
  CXServer server;
  const std::string display = server.start(xvfb);
  ASSERT_FALSE(display.empty());
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
