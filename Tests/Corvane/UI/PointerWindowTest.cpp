// The pointer in a real window under an X server: synthetic mouse motion and clicks go through the window's
// event pump and the input layer into the pointer tracker, whose entered and left lists follow the pointer
// across registered detectors. Skipped when there is no display.
#include <SDL.h>

#include <cstdlib>
#include <map>

#include "Corvane/Development/ClDevINI.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Platform/Win32/Win32.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

constexpr i32 cWIDTH = 640;
constexpr i32 cHEIGHT = 360;

i32 g_iFrames = 0;

// The game's frame as far as the pointer goes: input, then the UI.
bool pointerFrame() {
  ClInputManager::tick();
  ClUI::update();
  ++g_iFrames;
  return true;
}

class PointerWindowTest : public UITest {
 protected:
  void SetUp() override {
    const char* pDisplay = std::getenv("DISPLAY");
    if (pDisplay == nullptr || *pDisplay == '\0') {
      GTEST_SKIP() << "no X display";
    }
    m_bWindow = true;
    Win32TestReset();
    setenv("SDL_VIDEODRIVER", "x11", 1);
    ClDevINI::initialize();
    ClGraphics::mp_hWnd = nullptr;
    ClGraphics::readDesktopSize();
    ClGraphics::registerWindowClass(false);
    ClGraphics::createMainWindow(cWIDTH, cHEIGHT, false, false);
    ASSERT_NE(ClGraphics::mp_hWnd, nullptr);
    // The client is the display, as device creation makes it.
    ClGraphics::resizeWindow(static_cast<i32>(cWIDTH), static_cast<i32>(cHEIGHT));
    ASSERT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
    ClGraphics::showMainWindow();
    ClGraphics::mp_fScreenWidth = static_cast<f32>(cWIDTH);
    ClGraphics::mp_fScreenHeight = static_cast<f32>(cHEIGHT);
    ClInputManager::setActionCount(37);
    ClGameStateMgr::blockInput(0);
    ClInputManager::initialize();
    KvTestUseIdleGame();
    KvTestProgramHooks().m_tickFrame = [](f32) { return pointerFrame() ? 1u : 0u; };
    UITest::SetUp();
  }
  void TearDown() override {
    if (!m_bWindow) {
      return;
    }
    UITest::TearDown();
    KvTestProgramHooks().reset();
    ClInputManager::terminate();
    ClGraphics::unregisterWindowClass();
    Win32TestReset();
    ClGraphics::mp_hWnd = nullptr;
    ClDevINI::terminate();
    unsetenv("SDL_VIDEODRIVER");
  }

  // Pumps the window's messages until one game frame has run (the pump runs a frame when no message waits).
  static void runFrame() {
    const i32 iTarget = g_iFrames + 1;
    for (i32 i = 0; i < 1000 && g_iFrames < iTarget; ++i) {
      ClMainLoop::pump();
    }
    ASSERT_EQ(g_iFrames, iTarget) << "the pump ran no frame";
  }

  // Moves the mouse to a pixel of the window (one motion event, as the window system sends it).
  void moveTo(i32 iX, i32 iY) {
    Win32TestPushMouseMotion(ClGraphics::mp_hWnd, iX, iY, iX - m_iX, iY - m_iY);
    m_iX = iX;
    m_iY = iY;
    runFrame();
  }

  // A detector owned by the widget of that name (one of the screen's; none takes clicks).
  SPointerDetector* reg(const char* pName, f32 fMinX, f32 fMinY, f32 fMaxX, f32 fMaxY) {
    const f32 afMin[2] = {fMinX, fMinY};
    const f32 afMax[2] = {fMaxX, fMaxY};
    m_owners[W(pName)] = pName;
    return ClPointerTracker::registerDetector(W(pName), afMin, afMax, E_POINTER_DETECTOR_WIDGET);
  }

  using Names = std::vector<std::string>;
  Names names(const SPointerHit* pList, u32 uiCount) {
    Names out;
    for (u32 i = 0; i < uiCount; ++i) {
      out.push_back(m_owners[pList[i].mp_pDetector->mp_pOwner]);
    }
    return out;
  }

  std::map<const void*, std::string> m_owners;

  bool m_bWindow = false;
  i32 m_iX = 0;
  i32 m_iY = 0;
};

TEST_F(PointerWindowTest, TheTrackersEnteredAndLeftListsFollowTheMouseAcrossDetectors) {
  ASSERT_TRUE(load("Screen", R"({"root": {"name": "Screen", "children": [{"name": "Left"}, {"name": "Right"},
                                                                        {"name": "Strip"}]}})"));
  // Left: the left quarter's top half; Right: the right half; Strip: a thin band across the middle.
  reg("Left", 0.0f, 0.0f, 0.25f, 0.5f);
  reg("Right", 0.5f, 0.0f, 1.0f, 1.0f);
  reg("Strip", 0.0f, 0.45f, 1.0f, 0.55f);
  // The pointer starts wherever the window system left it: bring it to a known spot with no detector.
  Win32TestPushMouseMotion(ClGraphics::mp_hWnd, 0, 0, -4 * cWIDTH, -4 * cHEIGHT);  // clamped to the corner
  runFrame();
  moveTo(200, 300);
  ASSERT_TRUE(names(ClPointerTracker::getCurrentHits(), ClPointerTracker::getNumCurrentHits()).empty());

  struct SStep {
    i32 iX, iY;  // window pixels
    Names entered, left;
  } const aSteps[] = {
      {80, 90, {"Left"}, {}},             // 0.125, 0.25
      {100, 120, {}, {}},                 // still inside
      {100, 175, {"Strip"}, {}},          // y 0.486: inside Left and Strip
      {240, 180, {}, {"Left"}},           // x 0.375: Strip only
      {400, 180, {"Right"}, {}},          // 0.625: Right and Strip
      {400, 300, {}, {"Strip"}},          // 0.833: Right only
      {640, 360, {}, {}},                 // the corner: clamped, still Right
      {10, 350, {}, {"Right"}},           // nothing
  };
  for (const SStep& step : aSteps) {
    moveTo(step.iX, step.iY);
    EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], static_cast<f32>(step.iX) / cWIDTH) << step.iX << "," << step.iY;
    EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[1], static_cast<f32>(step.iY) / cHEIGHT) << step.iX << "," << step.iY;
    Names entered = names(ClPointerTracker::m_aEntered, ClPointerTracker::m_uiNumEntered);
    Names left = names(ClPointerTracker::m_aLeft, ClPointerTracker::m_uiNumLeft);
    EXPECT_EQ(entered, step.entered) << step.iX << "," << step.iY;
    EXPECT_EQ(left, step.left) << step.iX << "," << step.iY;
  }

  // A click over a detector neither moves the pointer nor changes what it is over.
  moveTo(500, 100);
  ASSERT_EQ(names(ClPointerTracker::m_aEntered, ClPointerTracker::m_uiNumEntered), Names{"Right"});
  Win32TestPushMouseButton(ClGraphics::mp_hWnd, SDL_BUTTON_LEFT, true, 500, 100);
  runFrame();
  EXPECT_EQ(ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_MOUSE_LEFT], 1.0f);
  EXPECT_EQ(names(ClPointerTracker::getCurrentHits(), ClPointerTracker::getNumCurrentHits()), Names{"Right"});
  EXPECT_TRUE(names(ClPointerTracker::m_aEntered, ClPointerTracker::m_uiNumEntered).empty());
  Win32TestPushMouseButton(ClGraphics::mp_hWnd, SDL_BUTTON_LEFT, false, 500, 100);
  runFrame();
  EXPECT_TRUE(names(ClPointerTracker::m_aLeft, ClPointerTracker::m_uiNumLeft).empty());
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], 500.0f / cWIDTH);
}

}  // namespace
