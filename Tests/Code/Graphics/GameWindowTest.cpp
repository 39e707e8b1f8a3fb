#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Tests/Support/KvTestSupport.h"

// Xlib's macros (None, Bool, Status) clash with the test framework's names: included last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

extern char** environ;

namespace {

// Other tests open and close windows on the same X server while this one walks the window tree, so a window
// can vanish between two requests. Xlib's default handler would end the test process (leaving the game
// running); failed requests are answered by the calls' own results instead.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

// How long a wait for something that must happen goes on before the test gives up: only there so a fault ends in a
// failure instead of a hang, never a measure of speed.
constexpr int gc_iHANG_GUARD_SECONDS = 60;

// A look at the window's picture: every seventh pixel of every seventh row, how many are lit, and in the lower half
// how many are the ground band's green and the crates' red.
struct SLook {
  std::vector<unsigned long> pixels;
  int iLit = 0;
  int iStreet = 0;  // grey samples in the lower half: the street of the backgrounds
};

// Runs the game program in its data root on the X server, and finds its window.
class GameWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) {
      GTEST_SKIP() << "needs an X server (scripts/test.sh starts Xvfb)";
    }
    XSetErrorHandler(&ignoreXError);
    m_pDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(m_pDisplay, nullptr);
  }
  void TearDown() override {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_pDisplay != nullptr) XCloseDisplay(m_pDisplay);
  }

  void startGame() {
    const std::string program = KvTestBinaryDir() + "/Code/System/grindlow";
    const std::string dataRoot = KvTestBinaryDir() + "/Data";
    const std::string store = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    // Under AddressSanitizer the X and GL client libraries' allocations kept to the end of the process would be
    // reported from the game (the engine's own leaks are checked by its tests): exit codes are what is tested.
    std::vector<std::string> env = {"SDL_VIDEODRIVER=x11", "GRINDLOW_STORE_DIR=" + store,
                                    std::string("DISPLAY=") + std::getenv("DISPLAY"),
                                    "ASAN_OPTIONS=detect_leaks=0:allow_user_segv_handler=1"};
    for (char** p = environ; *p != nullptr; ++p) {
      if (std::strncmp(*p, "SDL_VIDEODRIVER=", 16) != 0 && std::strncmp(*p, "DISPLAY=", 8) != 0 &&
          std::strncmp(*p, "GRINDLOW_STORE_DIR=", 19) != 0 && std::strncmp(*p, "ASAN_OPTIONS=", 13) != 0) {
        env.push_back(*p);
      }
    }
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    ASSERT_EQ(chdir(dataRoot.c_str()), 0) << dataRoot;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    ASSERT_EQ(posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  }

  // The process that made a window (_NET_WM_PID), 0 when it does not say.
  long windowPid(Window window) {
    Atom type = 0;
    int iFormat = 0;
    unsigned long uiItems = 0;
    unsigned long uiAfter = 0;
    unsigned char* pData = nullptr;
    long iPid = 0;
    if (XGetWindowProperty(m_pDisplay, window, XInternAtom(m_pDisplay, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                           &type, &iFormat, &uiItems, &uiAfter, &pData) == Success &&
        pData != nullptr) {
      if (uiItems == 1) iPid = *reinterpret_cast<long*>(pData);
      XFree(pData);
    }
    return iPid;
  }

  // Our game's top-level window titled "Grindlow" (the window manager-less server keeps it a child of the root;
  // other tests may run games on the same server at the same time).
  Window waitForWindow() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(gc_iHANG_GUARD_SECONDS);
    while (std::chrono::steady_clock::now() < deadline) {
      Window root = 0;
      Window parent = 0;
      Window* pChildren = nullptr;
      unsigned uiCount = 0;
      XQueryTree(m_pDisplay, DefaultRootWindow(m_pDisplay), &root, &parent, &pChildren, &uiCount);
      Window found = 0;
      for (unsigned i = 0; i < uiCount && found == 0; ++i) {
        char* pName = nullptr;
        if (XFetchName(m_pDisplay, pChildren[i], &pName) && pName != nullptr) {
          if (std::string(pName) == "Grindlow" && windowPid(pChildren[i]) == m_pid) found = pChildren[i];
          XFree(pName);
        }
      }
      if (pChildren != nullptr) XFree(pChildren);
      if (found != 0) return found;
      int iStatus = 0;
      if (waitpid(m_pid, &iStatus, WNOHANG) == m_pid) {
        m_pid = 0;
        ADD_FAILURE() << "the game ended before its window appeared, status " << iStatus;
        return 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the poll's pace
    }
    ADD_FAILURE() << "no window titled Grindlow";
    return 0;
  }

  int waitForExit() {
    int iStatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(gc_iHANG_GUARD_SECONDS);
    while (std::chrono::steady_clock::now() < deadline) {
      if (waitpid(m_pid, &iStatus, WNOHANG) == m_pid) {
        m_pid = 0;
        return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the poll's pace
    }
    return -1;
  }

  // Other tests map their windows over the same corner of the screen, so the window's own picture is read: the
  // window is redirected to a pixmap of its own (the server still shows it on the screen) and the pixmap is read.
  void redirect(Window window) {
    int iEventBase = 0;
    int iErrorBase = 0;
    ASSERT_TRUE(XCompositeQueryExtension(m_pDisplay, &iEventBase, &iErrorBase)) << "the X server has no Composite";
    XCompositeRedirectWindow(m_pDisplay, window, CompositeRedirectAutomatic);
    XSync(m_pDisplay, False);
  }

  SLook look(Window window, int iWidth, int iHeight) {
    SLook result;
    const Pixmap pixmap = XCompositeNameWindowPixmap(m_pDisplay, window);
    XImage* pImage = XGetImage(m_pDisplay, pixmap, 0, 0, static_cast<unsigned>(iWidth), static_cast<unsigned>(iHeight),
                               AllPlanes, ZPixmap);
    XFreePixmap(m_pDisplay, pixmap);
    if (pImage == nullptr) return result;
    for (int y = 0; y < iHeight; y += 7) {
      for (int x = 0; x < iWidth; x += 7) {
        const unsigned long uiPixel = XGetPixel(pImage, x, y) & 0xFFFFFFu;
        result.pixels.push_back(uiPixel);
        const int r = static_cast<int>((uiPixel >> 16) & 0xFF);
        const int g = static_cast<int>((uiPixel >> 8) & 0xFF);
        const int b = static_cast<int>(uiPixel & 0xFF);
        result.iLit += uiPixel != 0 ? 1 : 0;
        if (y > iHeight / 2) {
          result.iStreet += r > 60 && std::abs(r - g) < 12 && std::abs(g - b) < 12 ? 1 : 0;
        }
      }
    }
    XDestroyImage(pImage);
    return result;
  }

  // Effects finish loading one after another on the loader's thread, so the first lit frames may lack a layer: the
  // picture is taken once two looks in a row agree and something is lit (empty when that never happens).
  SLook waitForSteadyPicture(Window window, int iWidth, int iHeight) {
    SLook previous;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(gc_iHANG_GUARD_SECONDS);
    while (std::chrono::steady_clock::now() < deadline) {
      SLook current = look(window, iWidth, iHeight);
      if (current.iLit > 0 && current.pixels == previous.pixels) return current;
      previous = std::move(current);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the poll's pace
    }
    ADD_FAILURE() << "the window's picture never settled";
    return SLook{};
  }

  // Looks until one satisfies the test (empty when none does before the guard runs out).
  template <typename FnWanted>
  SLook waitForLook(Window window, int iWidth, int iHeight, FnWanted fnWanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(gc_iHANG_GUARD_SECONDS);
    while (std::chrono::steady_clock::now() < deadline) {
      SLook current = look(window, iWidth, iHeight);
      if (fnWanted(current)) return current;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the poll's pace
    }
    return SLook{};
  }

  Display* m_pDisplay = nullptr;
  pid_t m_pid = 0;
};

// The window shows the game's frames (the splash, then the front end's title over the scrolling backgrounds through
// the frame composition) and Ctrl-C ends the game with 0.
TEST_F(GameWindow, ShowsFramesAndEndsOnCtrlC) {
  startGame();
  const Window window = waitForWindow();
  ASSERT_NE(window, 0u);
  XWindowAttributes attributes{};
  ASSERT_TRUE(XGetWindowAttributes(m_pDisplay, window, &attributes));
  EXPECT_GT(attributes.width, 100);
  EXPECT_GT(attributes.height, 100);
  EXPECT_EQ(attributes.map_state, IsViewable);
  ASSERT_NO_FATAL_FAILURE(redirect(window));
  // Once the load mode has played the splash sequence, every frame is the front end's: the title over the street of
  // the backgrounds, a grey band across the lower half, on a mostly dark picture.
  const int iWidth = attributes.width;
  const int iHeight = attributes.height;
  const SLook first = waitForLook(window, iWidth, iHeight, [](const SLook& candidate) {
    const int iSamples = static_cast<int>(candidate.pixels.size());
    return candidate.iStreet > iSamples / 20 && candidate.iLit < iSamples * 9 / 10;
  });
  ASSERT_FALSE(first.pixels.empty()) << "the title's street never showed";
  // Frames keep coming: the street scrolls behind the title.
  const SLook later = waitForLook(window, iWidth, iHeight, [&first](const SLook& candidate) {
    return !candidate.pixels.empty() && candidate.pixels != first.pixels;
  });
  EXPECT_FALSE(later.pixels.empty()) << "the picture never changed";
  ASSERT_EQ(kill(m_pid, SIGINT), 0);
  EXPECT_EQ(waitForExit(), 0);
}

// The close button (WM_DELETE_WINDOW from the window manager) ends the game with 0.
TEST_F(GameWindow, CloseButtonEndsTheGame) {
  startGame();
  const Window window = waitForWindow();
  ASSERT_NE(window, 0u);
  // As a player would: once the window is on the screen and the game runs its frames.
  XWindowAttributes attributes{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(gc_iHANG_GUARD_SECONDS);
  while (XGetWindowAttributes(m_pDisplay, window, &attributes) && attributes.map_state != IsViewable &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the poll's pace
  }
  ASSERT_EQ(attributes.map_state, IsViewable);
  ASSERT_NO_FATAL_FAILURE(redirect(window));
  ASSERT_GT(waitForSteadyPicture(window, attributes.width, attributes.height).iLit, 0) << "the game draws its frames";
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(m_pDisplay, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_pDisplay, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(m_pDisplay, window, False, NoEventMask, &event);
  XFlush(m_pDisplay);
  EXPECT_EQ(waitForExit(), 0);
}

}  // namespace
