// The game's mouse hooks behind the window procedure: mouse messages made from synthetic SDL events (and sent
// straight to the procedure for negative coordinates) against the pointer position the input layer reads and the
// system cursor.
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Code/Graphics/GAMEWindowHooks.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Platform/Win32/Win32.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Code/System/GAMEGameHooks.h"

namespace {

// The game's window hooks installed over a window of the stand-in, with the given development settings.
class GameMouseHooks : public ::testing::Test {
 protected:
  void TearDown() override { closeWindow(); }
  static void openWindow(const std::string& settings) {
    g_bMouseInWindow = 1;
    g_bMouseTracking = 0;
    ClGraphics::mp_bCursorHidden = 0;
    ClGraphics::mp_vWMMousePosition = {0.0f, 0.0f};
    GameSpecificInstallHooks();
    ClDevINI::initialize();
    ClDevINI::loadFromBuffer(settings.data(), settings.size(), "project.ini");
    ClGraphics::readDesktopSize();
    ClGraphics::registerWindowClass(false);
    ClGraphics::createMainWindow(640, 360, false, false);
    ASSERT_NE(ClGraphics::mp_hWnd, nullptr);
    pumpMessages();
  }
  static void closeWindow() {
    KvTestInstallHookDoubles();
    ClGraphics::mp_hWnd = nullptr;
    Win32TestReset();
    if (ClDevINI::mp_bInitialized) ClDevINI::terminate();
  }
  static void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT) {
      ClGraphics::processMessages();
    }
  }
};

// One step of a case: the mouse moves to (x, y) (by an SDL event, or a message straight to the procedure for
// negative coordinates), or leaves the window; then what the pointer, the cursor and the tracking flag show.
struct SStep {
  enum EKind { MOVE, MOVE_MESSAGE, LEAVE } eKind;
  int x;
  int y;
  float fPointerX;
  float fPointerY;
  bool bCursorShown;
  u32 bTracking;
};

struct SCase {
  const char* pName;
  const char* pSettings;
  std::vector<SStep> steps;
};

constexpr float gc_fAWAY = gc_fPOINTER_AWAY;

TEST_F(GameMouseHooks, PointerFollowsTheMouseAndTheCursorHidesOnlyWhenAskedTo) {
  const SCase aCases[] = {
      // The cursor kept by the development setting: it stays, the position follows every move, and a leave keeps
      // the last one.
      {"cursor shown",
       "TOGGLE_MOUSE_CURSOR 0\n",
       {{SStep::MOVE, 40, 30, 40.0f, 30.0f, true, 1},
        {SStep::MOVE, 41, 33, 41.0f, 33.0f, true, 1},
        {SStep::MOVE_MESSAGE, -5, 70, -5.0f, 70.0f, true, 1},
        {SStep::LEAVE, 0, 0, -5.0f, 70.0f, true, 0},
        {SStep::MOVE, 300, 200, 300.0f, 200.0f, true, 1}}},
      // By default, as with "TOGGLE_MOUSE_CURSOR" 1: hidden while over the window; leaving shows it and parks the
      // pointer; coming back hides it again.
      {"cursor hidden by default",
       "",
       {{SStep::MOVE, 41, 32, 41.0f, 32.0f, false, 1},
        {SStep::MOVE_MESSAGE, -5, 70, -5.0f, 70.0f, false, 1},
        {SStep::LEAVE, 0, 0, gc_fAWAY, gc_fAWAY, true, 0},
        {SStep::MOVE, 10, 12, 10.0f, 12.0f, false, 1},
        {SStep::MOVE, 11, 12, 11.0f, 12.0f, false, 1}}},
      {"cursor toggled",
       "TOGGLE_MOUSE_CURSOR 1\n",
       {{SStep::MOVE, 41, 32, 41.0f, 32.0f, false, 1},
        {SStep::LEAVE, 0, 0, gc_fAWAY, gc_fAWAY, true, 0}}},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    openWindow(c.pSettings);
    HWND hWnd = ClGraphics::mp_hWnd;
    int iStep = 0;
    for (const SStep& step : c.steps) {
      SCOPED_TRACE("step " + std::to_string(iStep++));
      switch (step.eKind) {
        case SStep::MOVE:
          Win32TestPushMouseMotion(hWnd, step.x, step.y, 1, 1);
          break;
        case SStep::MOVE_MESSAGE:
          ClGraphics::windowProc(hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(step.x, step.y));
          break;
        case SStep::LEAVE:
          Win32TestPushWindowEvent(hWnd, SDL_WINDOWEVENT_LEAVE);
          break;
      }
      pumpMessages();
      EXPECT_EQ(ClGraphics::mp_vWMMousePosition.x, step.fPointerX);
      EXPECT_EQ(ClGraphics::mp_vWMMousePosition.y, step.fPointerY);
      EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), step.bCursorShown ? SDL_ENABLE : SDL_DISABLE);
      EXPECT_EQ(ClGraphics::mp_bCursorHidden, step.bCursorShown ? 0u : 1u);
      EXPECT_EQ(g_bMouseTracking, step.bTracking);
    }
    closeWindow();
  }
}

}  // namespace
