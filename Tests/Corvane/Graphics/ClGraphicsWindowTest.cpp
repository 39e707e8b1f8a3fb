#include <SDL.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputHWtoKvPlatform_Win32.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Corvane/Program/KvProgram.h"
#include "Platform/Win32/Win32.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// Records what the window procedure and the pump ask of the later subsystems.
class CRecordingHooks : public ClTestGraphicsHooks {
 public:
  bool isUIInitialized() override { return bUIInitialized; }
  bool isActionModeCurrent() override { return bActionMode; }
  void resumeAllCues() override {
    ++iResumes;
    // Activation happens inside window creation, before the title is set.
    char szText[64] = {};
    GetWindowTextA(GetForegroundWindow(), szText, sizeof(szText));
    textAtFirstResume = textAtFirstResume.empty() ? szText : textAtFirstResume;
  }
  i32 allowQuit() override {
    ++iQuitQuestions;
    return iAllowQuitAnswer;
  }
  void focusPause() override { ++iFocusPauses; }
  void videoWindowMoved() override { video.push_back("moved"); }
  void videoDisplayChanged() override { video.push_back("display"); }
  void videoRepaint(HWND__* hWnd, HDC__* hDC) override {
    video.push_back(hDC != nullptr && hWnd == ClGraphics::mp_hWnd ? "repaint" : "repaint without a context");
  }
  void videoGraphEvent() override { video.push_back("graph"); }
  const char* localizedText(const char* pKey) override {
    return std::string(pKey) == "MB_DIRECTX_FAILED_TO_CREATE_MAIN_WIN" ? "No window (code %d), sorry %d" : "Trouble";
  }

  bool bUIInitialized = false;
  bool bActionMode = false;
  i32 iResumes = 0;
  i32 iQuitQuestions = 0;
  i32 iAllowQuitAnswer = 0;
  i32 iFocusPauses = 0;
  std::string textAtFirstResume;
  std::vector<std::string> video;  // the video player's messages, in order
};

// The game frame the main loop runs: counts frames and answers whether to keep running.
i32 g_iTicks = 0;
bool g_bKeepRunning = true;
u32 countingFrame(f32) {
  ++g_iTicks;
  return g_bKeepRunning ? 1 : 0;
}

void resetGraphicsState() {
  ClGraphics::mp_hWnd = nullptr;
  ClGraphics::mp_bAppActivated = 0;
  ClGraphics::mp_bWindowHasFocus = 0;
  ClGraphics::mp_bCursorHidden = 0;
  ClGraphics::mp_bReady = 0;
  ClGraphics::mp_vWMMousePosition = {KV_ZERO, KV_ZERO};
}

class GraphicsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    resetGraphicsState();
    KvTestSetGraphicsHooks(&m_hooks);
    ClDevINI::initialize();
    KvTestUseIdleGame();
    KvTestProgramHooks().m_tickFrame = &countingFrame;
    g_iTicks = 0;
    g_bKeepRunning = true;
  }
  void TearDown() override {
    KvTestSetGraphicsHooks(nullptr);
    Win32TestReset();
    resetGraphicsState();
    ClDevINI::terminate();
  }

  // Development settings as project.ini would give them.
  static void settings(const std::string& text) {
    ClDevINI::terminate();
    ClDevINI::initialize();
    ClDevINI::loadFromBuffer(text.data(), text.size(), "project.ini");
  }

  void openWindow(i32 iWidth = 640, i32 iHeight = 360, bool bFullscreen = false) {
    ClGraphics::readDesktopSize();
    ClGraphics::registerWindowClass(bFullscreen);
    ClGraphics::createMainWindow(iWidth, iHeight, bFullscreen, false);
    ASSERT_NE(ClGraphics::mp_hWnd, nullptr);
  }

  // Runs pump steps until one returns 0 or the step limit is reached; the number of steps taken.
  static i32 pumpUntilEnd(i32 iMaxSteps) {
    for (i32 i = 1; i <= iMaxSteps; ++i) {
      if (ClMainLoop::pump() == 0) {
        return i;
      }
    }
    return -1;
  }

  // Takes every message waiting now through the pump, without frames.
  static void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT) {
      ClMainLoop::pump();
    }
  }

  CRecordingHooks m_hooks;
};

TEST_F(GraphicsWindow, OpensWithItsClassNameAndTitle) {
  openWindow(640, 360);
  char szTitle[64] = {};
  GetWindowTextA(ClGraphics::mp_hWnd, szTitle, sizeof(szTitle));
  EXPECT_STREQ(szTitle, "Grindlow");
  EXPECT_EQ(std::u16string(ClGraphics::mp_szWindowTitle), u"Grindlow");
  // The window was activated during creation, under its initial name.
  EXPECT_EQ(m_hooks.textAtFirstResume, "Tarkwell Engine");
  EXPECT_EQ(ClGraphics::mp_bAppActivated, 1u);
  EXPECT_EQ(ClGraphics::mp_bWindowHasFocus, 1u);

  // The class is "TKW Game" (names compare without case): registering it again is refused, and it cannot be
  // unregistered while the window lives.
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &ClGraphics::windowProc;
  windowClass.lpszClassName = "tkw game";
  EXPECT_EQ(RegisterClassExA(&windowClass), 0);
  EXPECT_FALSE(UnregisterClassA("TKW Game", GetModuleHandleA(nullptr)));

  // Windowed: a caption and the first position a quarter of the free height down.
  RECT outer{};
  RECT client{};
  GetWindowRect(ClGraphics::mp_hWnd, &outer);
  GetClientRect(ClGraphics::mp_hWnd, &client);
  EXPECT_EQ(outer.left, ClGraphics::mp_iDesktopWidth / 2 - 320);
  EXPECT_EQ(outer.top, (ClGraphics::mp_iDesktopHeight / 2 - 180) / 2);
  EXPECT_EQ(outer.right - outer.left, 640);
  EXPECT_LT(client.bottom, 360);  // the outer size is 640 x 360, the caption takes its share
  EXPECT_EQ(ClGraphics::mp_bCursorHidden, 0u);
}

TEST_F(GraphicsWindow, FullScreenHidesTheCursorAndHasNoFrame) {
  openWindow(320, 200, true);
  EXPECT_EQ(ClGraphics::mp_bCursorHidden, 1u);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  RECT outer{};
  RECT client{};
  GetWindowRect(ClGraphics::mp_hWnd, &outer);
  GetClientRect(ClGraphics::mp_hWnd, &client);
  EXPECT_EQ(outer.right - outer.left, client.right);
  EXPECT_EQ(outer.bottom - outer.top, client.bottom);
}

TEST_F(GraphicsWindow, FailedCreationShowsTheErrorAndStops) {
  std::string boxText;
  std::string boxCaption;
  Win32SetMessageBoxHook([&](LPCSTR pText, LPCSTR pCaption, UINT) {
    boxText = pText;
    boxCaption = pCaption;
    return IDOK;
  });
  Win32TestSetFaults(WIN32_FAULT_CREATE_WINDOW);
  ClGraphics::readDesktopSize();
  ClGraphics::registerWindowClass(false);
  EXPECT_KV_FATAL(ClGraphics::createMainWindow(640, 360, false, false), "Failed to create main window");
  Win32SetMessageBoxHook(nullptr);
  EXPECT_EQ(boxCaption, "Trouble");
  // Only the first "%d" becomes the error code.
  EXPECT_EQ(boxText.find("No window (code "), 0u);
  EXPECT_EQ(boxText.find("%d"), boxText.rfind("%d"));
  EXPECT_NE(boxText.find("sorry %d"), std::string::npos);
  EXPECT_EQ(boxText.find("code %d"), std::string::npos);
}

TEST_F(GraphicsWindow, CentredRectangleKeepsTheFrameAndRaisesTallTops) {
  openWindow(640, 360);
  RECT outer{};
  RECT client{};
  GetWindowRect(ClGraphics::mp_hWnd, &outer);
  GetClientRect(ClGraphics::mp_hWnd, &client);
  const i32 iFrameW = (outer.right - outer.left) - client.right;
  const i32 iFrameH = (outer.bottom - outer.top) - client.bottom;
  ASSERT_GT(iFrameH, 0);

  const i32 iDesktopH = ClGraphics::mp_iDesktopHeight;
  i32 l, t, r, b;
  // A top edge above 30 is raised by exactly 30.
  const i32 iTallTop = iDesktopH / 2 - 101 / 2;
  ASSERT_GT(iTallTop, 30);
  ClGraphics::computeCenteredWindowRect(201, 101, &l, &t, &r, &b);
  EXPECT_EQ(l, ClGraphics::mp_iDesktopWidth / 2 - 100);
  EXPECT_EQ(t, iTallTop - 30);
  EXPECT_EQ(r - l, 201 + iFrameW);
  EXPECT_EQ(b - t, 101 + iFrameH);

  // A top at 30 or less stays; at 31 it moves to 1.
  ClGraphics::mp_iDesktopHeight = 2 * 30 + 100;  // top = 80 - 50 = 30
  ClGraphics::computeCenteredWindowRect(200, 100, &l, &t, &r, &b);
  EXPECT_EQ(t, 30);
  ClGraphics::mp_iDesktopHeight = 2 * 31 + 100;
  ClGraphics::computeCenteredWindowRect(200, 100, &l, &t, &r, &b);
  EXPECT_EQ(t, 1);
  ClGraphics::mp_iDesktopHeight = iDesktopH;

  // Resizing gives a client area of exactly the asked size.
  ClGraphics::resizeWindow(480, 270);
  GetClientRect(ClGraphics::mp_hWnd, &client);
  EXPECT_EQ(client.right, 480);
  EXPECT_EQ(client.bottom, 270);
}

TEST_F(GraphicsWindow, QuitEndsThePumpWithoutDispatchAndMessagesComeBeforeFrames) {
  openWindow();
  pumpMessages();
  g_iTicks = 0;
  ClGraphics::mp_bReady = 1;

  // An empty queue after activation runs a frame each step; the frame's answer is the step's.
  EXPECT_EQ(ClMainLoop::pump(), 1);
  EXPECT_EQ(g_iTicks, 1);
  g_bKeepRunning = false;
  EXPECT_EQ(ClMainLoop::pump(), 0);
  g_bKeepRunning = true;

  // Waiting messages are handled one per step, before any frame.
  g_iTicks = 0;
  PostMessageA(ClGraphics::mp_hWnd, WM_USER, 0, 0);
  PostMessageA(ClGraphics::mp_hWnd, WM_USER, 0, 0);
  PostQuitMessage(0);
  EXPECT_EQ(ClMainLoop::pump(), 1);
  EXPECT_EQ(ClMainLoop::pump(), 1);
  EXPECT_EQ(g_iTicks, 0);
  EXPECT_EQ(ClMainLoop::pump(), 0);  // WM_QUIT
  EXPECT_EQ(g_iTicks, 0);
  EXPECT_TRUE(IsWindow(ClGraphics::mp_hWnd));
}

TEST_F(GraphicsWindow, FramesWaitForTheFirstActivationOnceGraphicsAreReady) {
  Win32TestSetFaults(WIN32_FAULT_NO_FOCUS);
  openWindow();
  pumpMessages();
  ASSERT_EQ(ClGraphics::mp_bAppActivated, 0u);

  // Not ready (start-up, lost device): frames run.
  ClGraphics::mp_bReady = 0;
  EXPECT_EQ(ClMainLoop::pump(), 1);
  EXPECT_EQ(g_iTicks, 1);
  // Ready but never activated: each idle step sleeps instead.
  ClGraphics::mp_bReady = 1;
  const Uint64 uiStart = SDL_GetTicks64();
  for (i32 i = 0; i < 5; ++i) {
    EXPECT_EQ(ClMainLoop::pump(), 1);
  }
  EXPECT_EQ(g_iTicks, 1);
  EXPECT_GE(SDL_GetTicks64() - uiStart, 4u);

  // Activation lets frames run, and they go on after the focus is lost.
  Win32TestSetFocus(ClGraphics::mp_hWnd);
  pumpMessages();
  EXPECT_EQ(ClGraphics::mp_bAppActivated, 1u);
  EXPECT_EQ(ClMainLoop::pump(), 1);
  EXPECT_EQ(g_iTicks, 2);
  Win32TestSetFocus(nullptr);
  pumpMessages();
  EXPECT_EQ(ClGraphics::mp_bWindowHasFocus, 0u);
  EXPECT_EQ(ClGraphics::mp_bAppActivated, 1u);
  EXPECT_EQ(ClMainLoop::pump(), 1);
  EXPECT_EQ(g_iTicks, 3);
}

TEST_F(GraphicsWindow, FocusChangesSetTheFlagResumeSoundAndPauseOnlyWithTheUI) {
  openWindow();
  pumpMessages();
  HWND hWnd = ClGraphics::mp_hWnd;
  m_hooks.iResumes = 0;

  // Focus lost before the UI exists: the flag only.
  Win32TestSetFocus(nullptr);
  pumpMessages();
  EXPECT_EQ(ClGraphics::mp_bWindowHasFocus, 0u);
  EXPECT_EQ(m_hooks.iFocusPauses, 0);

  // Focus back: flag and sound.
  Win32TestSetFocus(hWnd);
  pumpMessages();
  EXPECT_EQ(ClGraphics::mp_bWindowHasFocus, 1u);
  EXPECT_EQ(m_hooks.iResumes, 1);

  // With the UI, losing the focus pauses the game; in the action mode the sound stays paused on return.
  m_hooks.bUIInitialized = true;
  m_hooks.bActionMode = true;
  Win32TestSetFocus(nullptr);
  pumpMessages();
  EXPECT_EQ(m_hooks.iFocusPauses, 1);
  Win32TestSetFocus(hWnd);
  pumpMessages();
  EXPECT_EQ(ClGraphics::mp_bWindowHasFocus, 1u);
  EXPECT_EQ(m_hooks.iResumes, 1);

  // Activation while minimised (non-zero high word) changes nothing.
  ClGraphics::windowProc(hWnd, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
  EXPECT_EQ(ClGraphics::mp_bWindowHasFocus, 1u);
  EXPECT_EQ(m_hooks.iFocusPauses, 1);
  ClGraphics::windowProc(hWnd, WM_ACTIVATE, WA_CLICKACTIVE, 0);
  EXPECT_EQ(ClGraphics::mp_bWindowHasFocus, 1u);
  EXPECT_EQ(ClGraphics::windowProc(hWnd, WM_ERASEBKGND, 0, 0), 1);
}

TEST_F(GraphicsWindow, ActivationAcquiresTheInputDevices) {
  openWindow();
  pumpMessages();
  ClInputManager::setActionCount(4);
  ClInputManager::initialize();
  ASSERT_NE(g_pDIKeyboard, nullptr);
  ASSERT_NE(g_pDIMouse, nullptr);

  // Losing the focus loses the foreground devices; regaining it acquires them again.
  Win32TestSetFocus(nullptr);
  pumpMessages();
  DIDEVICEOBJECTDATA events[4];
  DWORD uiCount = 4;
  EXPECT_TRUE(FAILED(g_pDIKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &uiCount, 0)));
  Win32TestSetFocus(ClGraphics::mp_hWnd);
  pumpMessages();
  uiCount = 4;
  EXPECT_EQ(g_pDIKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &uiCount, 0), DI_OK);
  uiCount = 4;
  EXPECT_EQ(g_pDIMouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &uiCount, 0), DI_OK);

  // A menu loop releases the mouse for its duration.
  ClGraphics::windowProc(ClGraphics::mp_hWnd, WM_ENTERMENULOOP, 0, 0);
  uiCount = 4;
  EXPECT_EQ(g_pDIMouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &uiCount, 0), DIERR_NOTACQUIRED);
  ClGraphics::windowProc(ClGraphics::mp_hWnd, WM_EXITMENULOOP, 0, 0);
  uiCount = 4;
  EXPECT_EQ(g_pDIMouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &uiCount, 0), DI_OK);
  ClInputManager::terminate();
}

TEST_F(GraphicsWindow, CloseAsksTheGameAndEndsOnlyThroughQuit) {
  openWindow();
  pumpMessages();
  ClGraphics::mp_bReady = 1;
  HWND hWnd = ClGraphics::mp_hWnd;

  // Refused: the window and the run go on; the default procedure (which would destroy it) is not called.
  m_hooks.iAllowQuitAnswer = 1;
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_CLOSE);
  EXPECT_EQ(pumpUntilEnd(20), -1);
  EXPECT_EQ(m_hooks.iQuitQuestions, 1);
  EXPECT_TRUE(IsWindow(hWnd));
  EXPECT_EQ(ClGraphics::windowProc(hWnd, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(hWnd));
  EXPECT_EQ(pumpUntilEnd(20), -1);

  // Allowed: WM_QUIT ends the pump; the window stays for the shut-down.
  m_hooks.iAllowQuitAnswer = 0;
  Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_CLOSE);
  EXPECT_GT(pumpUntilEnd(20), 0);
  EXPECT_EQ(m_hooks.iQuitQuestions, 3);
  EXPECT_TRUE(IsWindow(hWnd));
}

// The video player hears of moves (and of restoring or maximising sizes, which then count as moves), of display
// changes, of paints with the paint context, and of its graph's message 0x36D1, each through the hooks; the default
// procedure still runs for all of them.
TEST_F(GraphicsWindow, VideoMessagesReachThePlayerThroughTheHooks) {
  openWindow();
  pumpMessages();
  HWND hWnd = ClGraphics::mp_hWnd;
  m_hooks.video.clear();
  ClGraphics::windowProc(hWnd, WM_MOVE, 0, MAKELPARAM(10, 20));
  ClGraphics::windowProc(hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 330));
  ClGraphics::windowProc(hWnd, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(640, 330));
  ClGraphics::windowProc(hWnd, WM_SIZE, SIZE_MINIMIZED, 0);
  ClGraphics::windowProc(hWnd, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
  ClGraphics::windowProc(hWnd, WM_PAINT, 0, 0);
  EXPECT_EQ(m_hooks.video, std::vector<std::string>({"moved", "moved", "moved", "moved", "display", "repaint"}));

  // The graph's notification arrives as a posted message, from any thread, and is dispatched by the pump.
  m_hooks.video.clear();
  ASSERT_TRUE(PostMessageA(hWnd, gc_uiGRAPH_NOTIFY_MESSAGE, 0, 0));
  pumpMessages();
  EXPECT_EQ(m_hooks.video, std::vector<std::string>({"graph"}));
  // Without a player (the default hooks) the messages are harmless.
  KvTestSetGraphicsHooks(nullptr);
  EXPECT_EQ(ClGraphics::windowProc(hWnd, gc_uiGRAPH_NOTIFY_MESSAGE, 0, 0), 0);
  ClGraphics::windowProc(hWnd, WM_MOVE, 0, 0);
  KvTestSetGraphicsHooks(&m_hooks);
}

TEST_F(GraphicsWindow, DroppedFilesAreGatheredAndTheDropFinished) {
  openWindow();
  pumpMessages();
  const std::string dir = KvTestTempDir("graphics_drop");
  const std::string longName = "/tmp/" + std::string(900, 'n');
  Win32TestPushDrop(ClGraphics::mp_hWnd, {dir, "/tmp/not-a-directory.txt", longName});
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_DROPFILES, WM_DROPFILES, PM_REMOVE));
  HDROP hDrop = reinterpret_cast<HDROP>(msg.wParam);

  ClDynamicVector<SDroppedFile> files;
  files.initialize(8);
  ClGraphics::gatherDroppedFiles(hDrop, &files);
  ASSERT_EQ(files.getCount(), 3);
  EXPECT_EQ(files[0].mp_bIsDirectory, 1u);
  EXPECT_EQ(files[1].mp_bIsDirectory, 0u);
  EXPECT_EQ(std::u16string(files[1].mp_szPath), u"/tmp/not-a-directory.txt");
  EXPECT_EQ(std::u16string(files[2].mp_szPath).size(), 767u);
  files.terminate();

  // The window procedure releases the drop once it has handled it.
  ASSERT_EQ(DragQueryFileA(hDrop, 0xFFFFFFFFu, nullptr, 0), 3u);
  ClGraphics::windowProc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
  EXPECT_EQ(DragQueryFileA(hDrop, 0xFFFFFFFFu, nullptr, 0), 0u);
}

// The mouse messages reach the hooks; without a game the pointer position follows every move (the signed words of
// the message) and nothing hides the cursor, whatever the settings say.
TEST_F(GraphicsWindow, MouseMessagesReachTheHooksAndByDefaultThePositionFollowsEveryMove) {
  settings("TOGGLE_MOUSE_CURSOR 1\n");
  openWindow();
  pumpMessages();
  HWND hWnd = ClGraphics::mp_hWnd;
  Win32TestPushMouseMotion(hWnd, 40, 30, 1, 1);
  pumpMessages();
  EXPECT_EQ(ClGraphics::mp_vWMMousePosition.x, 40.0f);
  EXPECT_EQ(ClGraphics::mp_vWMMousePosition.y, 30.0f);
  ClGraphics::windowProc(hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(-5, 70));
  EXPECT_EQ(ClGraphics::mp_vWMMousePosition.x, -5.0f);
  EXPECT_EQ(ClGraphics::mp_vWMMousePosition.y, 70.0f);
  ClGraphics::windowProc(hWnd, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(ClGraphics::mp_vWMMousePosition.x, -5.0f);
  EXPECT_EQ(ClGraphics::mp_bCursorHidden, 0u);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

  // Installed hooks hear both messages instead.
  class CMouseHooks : public ClTestGraphicsHooks {
   public:
    void mouseMoved(std::intptr_t lParam) override { moves.push_back(lParam); }
    void mouseLeft() override { ++iLeaves; }
    std::vector<std::intptr_t> moves;
    i32 iLeaves = 0;
  } mouseHooks;
  KvTestSetGraphicsHooks(&mouseHooks);
  ClGraphics::windowProc(hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(12, 34));
  ClGraphics::windowProc(hWnd, WM_MOUSELEAVE, 0, 0);
  KvTestSetGraphicsHooks(&m_hooks);
  EXPECT_EQ(mouseHooks.moves, std::vector<std::intptr_t>{MAKELPARAM(12, 34)});
  EXPECT_EQ(mouseHooks.iLeaves, 1);
  EXPECT_EQ(ClGraphics::mp_vWMMousePosition.x, -5.0f) << "left to the hooks";
}

TEST_F(GraphicsWindow, ExclusiveMouseIsKeptAtTheWindowsCentre) {
  openWindow();
  pumpMessages();
  SetCursorPos(5, 5);
  ClGraphics::recenterExclusiveMouse();
  POINT cursor{};
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, 5);  // only with the setting

  settings("MOUSE_EXCLUSIVE 1\n");
  RECT outer{};
  GetWindowRect(ClGraphics::mp_hWnd, &outer);
  ClGraphics::recenterExclusiveMouse();
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, (outer.left + outer.right) / 2);
  EXPECT_EQ(cursor.y, (outer.top + outer.bottom) / 2);

  // Not while another program has the focus.
  SetCursorPos(5, 5);
  Win32TestSetFocus(nullptr);
  pumpMessages();
  ClGraphics::recenterExclusiveMouse();
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, 5);
}

TEST_F(GraphicsWindow, ForcedResolutionTakesTheTopEdgeFromTheSettings) {
  settings("INITIAL_WINDOW_Y_POS 12\n");
  ClGraphics::readDesktopSize();
  ClGraphics::registerWindowClass(false);
  ClGraphics::createMainWindow(320, 200, false, true);
  RECT outer{};
  GetWindowRect(ClGraphics::mp_hWnd, &outer);
  EXPECT_EQ(outer.top, 12);
  EXPECT_EQ(outer.left, ClGraphics::mp_iDesktopWidth / 2 - 160);
}

// A real window under an X server (Xvfb): skipped when there is no display.
TEST(GraphicsWindowX11, RealWindowShowsItsTitleAndAnInterruptEndsThePump) {
  const char* pDisplay = std::getenv("DISPLAY");
  if (pDisplay == nullptr || *pDisplay == '\0') {
    GTEST_SKIP() << "no X display";
  }
  Win32TestReset();
  resetGraphicsState();
  setenv("SDL_VIDEODRIVER", "x11", 1);
  CRecordingHooks hooks;
  KvTestSetGraphicsHooks(&hooks);
  ClDevINI::initialize();
  ClGraphics::readDesktopSize();
  ClGraphics::registerWindowClass(false);
  ClGraphics::createMainWindow(320, 240, false, false);
  ASSERT_NE(ClGraphics::mp_hWnd, nullptr);
  EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
  EXPECT_STREQ(SDL_GetWindowTitle(Win32GetSdlWindow(ClGraphics::mp_hWnd)), "Grindlow");
  ClGraphics::showMainWindow();

  ClGraphics::mp_bReady = 1;
  ASSERT_EQ(std::raise(SIGINT), 0);
  i32 iResult = 1;
  for (i32 i = 0; i < 10000 && iResult != 0; ++i) {
    ClGraphics::recenterExclusiveMouse();
    iResult = ClMainLoop::pump();
  }
  EXPECT_EQ(iResult, 0);
  EXPECT_TRUE(IsWindow(ClGraphics::mp_hWnd));

  ClGraphics::unregisterWindowClass();
  KvTestSetGraphicsHooks(nullptr);
  Win32TestReset();
  resetGraphicsState();
  ClDevINI::terminate();
  unsetenv("SDL_VIDEODRIVER");
}

}  // namespace
