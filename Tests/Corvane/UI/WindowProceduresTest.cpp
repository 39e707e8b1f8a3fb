// The window procedures: the rectangle a window pushes as parent window (on a canvas of scale 2, nested), the
// pointer detector it registers once after its transition, and its pointer events.
#include <string>
#include <vector>

#include "Corvane/UI/COMMONUIFunctions_Widget_Windows.h"
#include "Corvane/UI/Cl2d.h"
#include "Tests/Corvane/UI/UITestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

// Found by argument lookup, so declared beside the record's own (global) namespace.
static bool operator==(const SParentWindow& a, const SParentWindow& b) {
  return a.mp_fLeft == b.mp_fLeft && a.mp_fRight == b.mp_fRight && a.mp_fTop == b.mp_fTop &&
         a.mp_fBottom == b.mp_fBottom;
}
static std::ostream& operator<<(std::ostream& out, const SParentWindow& w) {
  return out << "{" << w.mp_fLeft << ", " << w.mp_fRight << ", " << w.mp_fTop << ", " << w.mp_fBottom << "}";
}

namespace {

// The parent windows the marker widgets saw while they rendered, in render order.
std::vector<SParentWindow> g_windowsSeen;
void seeParentWindow(ClWidget*, WidgetEventProcedureCall*) {
  g_windowsSeen.push_back(Cl2d::mp_parentWindowStack.getCount() > 0 ? *Cl2d::getParentWindow()
                                                                    : SParentWindow{-1.0f, -1.0f, -1.0f, -1.0f});
}

class CWindowHooks : public ClRecordingUIHooks {
 public:
  void registerGameUIFunctions() override {
    ClRecordingUIHooks::registerGameUIFunctions();
    registerWindowsUIFunctions();
    ClUIEventSystemFunctions::registerFunction(KvStrHash("seeParentWindow"), &seeParentWindow);
  }
};

// A 640 x 432 screen: "FULL" has scale 2.
class WindowProcTest : public UITest {
 protected:
  void SetUp() override {
    m_bStartUI = false;
    UITest::SetUp();
    useScreen(640.0f, 432.0f);
    KvTestSetUIHooks(&m_windowHooks);
    ClUI::initialise();
    g_windowsSeen.clear();
  }

  // A window widget: size, anchors (screen, widget), offset, extra properties and children.
  static std::string window(const std::string& name, f32 fWidth, f32 fHeight, int iScreenAnchor, int iWidgetAnchor,
                            f32 fX, f32 fY, const std::string& extra = "", const std::string& children = "") {
    return R"({"name": ")" + name + R"(", "properties": {"canvas": {"id": "FULL"},
        "size": {"floatxy": [)" + std::to_string(fWidth) + ", " + std::to_string(fHeight) + R"(]},
        "widgetLayout": {"layout": {"screenAnchor": )" + std::to_string(iScreenAnchor) + R"(, "x": )" +
           std::to_string(fX) + R"(, "y": )" + std::to_string(fY) + R"(, "widgetAnchor": )" +
           std::to_string(iWidgetAnchor) + R"(}},
        "onRender": {"event": {"single": "systemWindowRender"}})" + extra + "}" +
           (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
  }
  static std::string marker(const std::string& name) {
    return R"({"name": ")" + name + R"(", "properties": {"onRender": {"event": {"single": "seeParentWindow"}}}})";
  }
  void loadScreen(const std::string& children) {
    ASSERT_TRUE(load("Screen", R"({"root": {"name": "Screen", "children": [)" + children + "]}}"));
    W("Screen")->setVisibleRecursively(1);
  }

  CWindowHooks m_windowHooks;
};

TEST_F(WindowProcTest, TheGroupRegistersItsNamesInOrder) {
  const char* apNames[] = {"systemWindowRender", "systemWindowGetPointer", "systemWindowLosePointer",
                           "systemWindowRegisterWithPointer", "systemWindowUnregisterWithPointer"};
  for (u32 i = 0; i < std::size(apNames); ++i) {
    EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[5 + i].mp_uiNameHash, H(apNames[i])) << apNames[i];
  }
}

// Sizes round to whole pixels after scaling; offsets scale; the anchors place the box on the canvas.
TEST_F(WindowProcTest, AWindowPushesItsRectangleForItsChildrenAndTheRenderPopsIt) {
  struct SCase {
    f32 fWidth, fHeight;
    int iScreen, iWidget;
    f32 fX, fY;
    SParentWindow expected;
  };
  const SCase aCases[] = {
      {100.0f, 50.0f, 7, 7, 0.0f, 0.0f, {220.0f, 420.0f, 166.0f, 266.0f}},  // centred: 200 x 100
      {10.0f, 5.0f, 0, 0, 3.0f, 4.0f, {6.0f, 26.0f, 8.0f, 18.0f}},          // top-left, offset (6, 8) pixels
      {10.25f, 0.3f, 5, 5, 1.0f, 2.0f, {617.0f, 638.0f, 427.0f, 428.0f}},   // 20.5 -> 21, 0.6 -> 1
  };
  for (const SCase& c : aCases) {
    ClUI::terminate();
    ClUI::initialise();
    g_windowsSeen.clear();
    loadScreen(window("Win", c.fWidth, c.fHeight, c.iScreen, c.iWidget, c.fX, c.fY, "", marker("Inside")));
    W("Screen")->render();
    ASSERT_EQ(g_windowsSeen.size(), 1u);
    EXPECT_EQ(g_windowsSeen[0], c.expected) << c.fWidth << " x " << c.fHeight;
    EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
  }
}

// The inner window is placed in the outer rectangle; after its children the outer one is current again.
TEST_F(WindowProcTest, WindowsNest) {
  loadScreen(window("Outer", 100.0f, 50.0f, 7, 7, 0.0f, 0.0f, "",
                    window("Inner", 10.0f, 10.0f, 0, 0, 5.0f, 5.0f, "", marker("InInner")) + "," + marker("After")) +
             "," + marker("Outside"));
  W("Screen")->render();
  const std::vector<SParentWindow> expected = {
      {230.0f, 250.0f, 176.0f, 196.0f}, {220.0f, 420.0f, 166.0f, 266.0f}, {-1.0f, -1.0f, -1.0f, -1.0f}};
  EXPECT_EQ(g_windowsSeen, expected);
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
}

// Registration: once, only after the transition is done, the unrounded box in screen fractions.
TEST_F(WindowProcTest, RegistrationMakesOneDetectorAfterTheTransitionIsDone) {
  loadScreen(window("Win", 100.0f, 50.0f, 0, 0, 10.0f, 20.0f, R"(, "usePointerInput": true)") + "," +
             window("Plain", 1.25f, 1.0f, 0, 0, 0.0f, 0.0f));
  ClWidget* pWin = W("Win");
  pWin->mp_bTransitionDone = 0;
  W("Screen")->render();
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 0) << "still transitioning in";
  EXPECT_EQ(pWin->getInt("PtrDetector"), 0);
  pWin->mp_bTransitionDone = 1;
  W("Screen")->render();
  W("Screen")->render();
  systemWindowRegisterWithPointer(pWin, nullptr);
  ASSERT_EQ(ClPointerTracker::getNumDetectors(), 1);
  SPointerDetector* pDetector = ClPointerTracker::detectorOfHandle(pWin->getInt("PtrDetector"));
  ASSERT_NE(pDetector, nullptr);
  EXPECT_EQ(pDetector->mp_pOwner, pWin);
  EXPECT_EQ(pDetector->mp_uiKind, static_cast<u32>(E_POINTER_DETECTOR_WIDGET));
  EXPECT_FLOAT_EQ(pDetector->mp_fMinX, 20.0f / 640.0f);
  EXPECT_FLOAT_EQ(pDetector->mp_fMinY, 40.0f / 432.0f);
  EXPECT_FLOAT_EQ(pDetector->mp_fMaxX, 220.0f / 640.0f);
  EXPECT_FLOAT_EQ(pDetector->mp_fMaxY, 140.0f / 432.0f);

  // Without "usePointerInput" the render registers nothing; the procedure does, with the box not rounded.
  ClWidget* pPlain = W("Plain");
  pPlain->mp_bTransitionDone = 1;
  W("Screen")->render();
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1);
  systemWindowRegisterWithPointer(pPlain, nullptr);
  SPointerDetector* pPlainDetector = ClPointerTracker::detectorOfHandle(pPlain->getInt("PtrDetector"));
  ASSERT_NE(pPlainDetector, nullptr);
  EXPECT_FLOAT_EQ(pPlainDetector->mp_fMaxX, 2.5f / 640.0f);

  systemWindowUnregisterWithPointer(pWin, nullptr);
  EXPECT_EQ(pWin->getInt("PtrDetector"), 0);
  EXPECT_FALSE(ClPointerTracker::isRegistered(pDetector));
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1);
  systemWindowUnregisterWithPointer(pWin, nullptr);
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1) << "nothing to remove";
  W("Screen")->render();
  EXPECT_NE(pWin->getInt("PtrDetector"), 0) << "the next render registers again";
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 2);
}

TEST_F(WindowProcTest, RegistrationNeedsACanvasAndAKnownOne) {
  ASSERT_TRUE(load("Screen", R"({"root": {"name": "Screen", "children": [
      {"name": "NoCanvas", "properties": {"size": {"floatxy": [1.0, 1.0]}}},
      {"name": "Unknown", "properties": {"canvas": {"id": "NOPE"}, "size": {"floatxy": [1.0, 1.0]},
          "widgetLayout": {"layout": {"screenAnchor": 0, "x": 0.0, "y": 0.0, "widgetAnchor": 0}}}}]}})"));
  W("NoCanvas")->mp_bTransitionDone = 1;
  W("Unknown")->mp_bTransitionDone = 1;
  EXPECT_KV_ASSERT(systemWindowRegisterWithPointer(W("NoCanvas"), nullptr),
                   "Widget [NoCanvas] does not specify [canvas] attribute ([0x36A7E5B0])!");
  EXPECT_KV_FATAL(systemWindowRender(W("Unknown"), nullptr), "Dictionary item not found");
  EXPECT_KV_ASSERT(systemWindowRegisterWithPointer(nullptr, nullptr), "pWidget");
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 0);
}

TEST_F(WindowProcTest, PointerEnterAndLeaveBecomeTheWindowsOwnEvents) {
  ASSERT_TRUE(load("Screen", R"({"root": {"name": "Screen", "children": [{"name": "Win", "properties": {
      "onWindowPointerEnter": {"event": {"calls": [{"call": "record1"}]}},
      "onWindowPointerLeave": {"event": {"calls": [{"call": "record2"}]}}}},
      {"name": "Bare"}]}})"));
  systemWindowGetPointer(W("Win"), nullptr);
  systemWindowLosePointer(W("Win"), nullptr);
  systemWindowGetPointer(W("Bare"), nullptr);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1", "record2"}));
  EXPECT_EQ(g_uiTrace.runs[0].uiEventHash, H("onWindowPointerEnter"));
  EXPECT_EQ(g_uiTrace.runs[1].uiEventHash, H("onWindowPointerLeave"));
}

}  // namespace
