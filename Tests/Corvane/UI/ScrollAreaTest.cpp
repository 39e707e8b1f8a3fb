// Drag-scrolled areas: momentum and springs, the drag by the pointer (also while the gameplay clock is
// paused), the scrolled layout of the children and their visibility, areas with few children, and the
// second run of the update in the frame an area was registered.
#include <cmath>
#include <cstring>

#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

constexpr f32 cScrollWidth = 640.0f;
constexpr f32 cScrollHeight = 432.0f;  // "FULL" then has 2 pixels a canvas unit
constexpr f32 cDT = 1.0f / 60.0f;

// A LAYOUT with a vertical offset (canvas units; a fraction keeps it a float in the data).
std::string layout(f32 fY) {
  return R"({"layout": {"screenAnchor": 0, "x": 0.5, "y": )" + std::to_string(fY) + R"(, "widgetAnchor": 0}})";
}

f32 layoutY(const ClWidget* pWidget, const char* pName) {
  f32 fY;
  std::memcpy(&fY, static_cast<const u8*>(pWidget->getLayout(pName)) + 20, sizeof(fY));
  return fY;
}

class ScrollAreaTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    useScreen(cScrollWidth, cScrollHeight);
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = cDT;
  }

  // The area "Area" (its layout at y 10.5) with children at the given vertical offsets (canvas units),
  // each tracing its visibility events (record0 visible, record1 invisible).
  void loadArea(const std::vector<f32>& childYs) {
    std::string children;
    for (size_t i = 0; i < childYs.size(); ++i) {
      children += std::string(i ? "," : "") + R"({"name": "C)" + std::to_string(i) +
                  R"(", "properties": {"widgetLayout": )" + layout(childYs[i]) + R"(,
          "onBecomeVisible": {"event": {"calls": [{"call": "record0"}]}},
          "onBecomeInvisible": {"event": {"calls": [{"call": "record1"}]}}}})";
    }
    ASSERT_TRUE(load("A", R"({"root": {"name": "Area", "properties": {"scrollAreaLayout": )" + layout(10.5f) +
                              R"(, "movingWidgetLayoutForChildren": )" + layout(0.5f) + R"(}, "children": [)" +
                              children + "]}}"));
    m_area = SScrollFingerArea{W("Area"), 0.0f, 200.0f, H("FULL"), 0.0f, 0.0f, 400.0f, 0.0f, 0u, 0.0f, 0.0f};
    g_uiTrace.runs.clear();
  }

  // Registers the area and a kind-1 pointer detector over the top half of the screen for it.
  void registerArea() {
    ClUI::registerScrollArea(&m_area);
    const f32 afMin[2] = {0.0f, 0.0f};
    const f32 afMax[2] = {1.0f, 0.5f};
    ClPointerTracker::registerDetector(&m_area, afMin, afMax, E_POINTER_DETECTOR_SCROLL_AREA);
  }

  // The input layer's pointer at a pixel position, held; or not held.
  static void pointerAt(f32 fX, f32 fY) {
    f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
    pInputs[E_PAD_INPUT_POINTER_PRESENT] = 1.0f;
    pInputs[E_PAD_INPUT_POINTER_X] = fX / cScrollWidth;
    pInputs[E_PAD_INPUT_POINTER_Y] = fY / cScrollHeight;
  }
  static void releasePointer() { ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_POINTER_PRESENT] = 0.0f; }

  // Which children are visible, as "C0 C2".
  std::string visible() const {
    std::string out;
    for (u32 i = 0; i < W("Area")->mp_AllChildren.getSize(); ++i) {
      const ClWidget* pChild = W("Area")->mp_AllChildren[i];
      if (pChild->mp_bVisible) {
        out += std::string(out.empty() ? "" : " ") + pChild->getName();
      }
    }
    return out;
  }

  SScrollFingerArea m_area{};
};

TEST_F(ScrollAreaTest, AnAreaNotDraggedCoastsOrSpringsBackFromEitherEnd) {
  loadArea({0.5f, 20.5f});
  struct SCase {
    const char* pName;
    f32 fOffset, fVelocity, fV, fL;
    std::vector<f32> offsets;  // after each update
    f32 fVelocityAfter;
  } const aCases[] = {
      {"momentum at 600 px/s", -100.0f, -600.0f, 200.0f, 1000.0f, {-110.0f, -118.5f, -125.725f}, -600.0f * 0.85f * 0.85f * 0.85f},
      {"beyond the start", 100.0f, 50.0f, 200.0f, 1000.0f, {85.0f, 72.25f, 61.4125f}, 0.0f},
      {"content shorter than the view", -50.0f, 0.0f, 400.0f, 300.0f, {-42.5f, -36.125f}, 0.0f},
      {"40 px past the end", -840.0f, -300.0f, 200.0f, 1000.0f, {-834.0f, -828.9f}, 0.0f},
      {"at rest", -300.0f, 0.0f, 200.0f, 1000.0f, {-300.0f, -300.0f}, 0.0f},
  };
  for (const SCase& c : aCases) {
    m_area.mp_fOffset = c.fOffset;
    m_area.mp_fVelocity = c.fVelocity;
    m_area.mp_fViewBottom = c.fV;
    m_area.mp_fListHeight = c.fL;
    ClUI::registerScrollArea(&m_area);
    for (size_t i = 0; i < c.offsets.size(); ++i) {
      ClUI::updateScrollAreas();
      EXPECT_NEAR(m_area.mp_fOffset, c.offsets[i], 1e-3f) << c.pName << " update " << i;
    }
    EXPECT_NEAR(m_area.mp_fVelocity, c.fVelocityAfter, 1e-3f) << c.pName;
    ClUI::unregisterScrollArea(&m_area);
  }
}

TEST_F(ScrollAreaTest, APausedGameplayClockNeitherCoastsNorDividesByZero) {
  loadArea({0.5f, 20.5f});
  registerArea();
  m_area.mp_fOffset = -100.0f;
  m_area.mp_fVelocity = -600.0f;
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
  ClUI::updateScrollAreas();
  EXPECT_EQ(m_area.mp_fOffset, -100.0f);
  EXPECT_EQ(m_area.mp_fVelocity, -600.0f) << "the velocity waits for the clock";

  // A drag while paused: the list follows the pointer and nothing becomes infinite or NaN.
  pointerAt(100.0f, 100.0f);
  ClUI::update();  // captured
  pointerAt(100.0f, 90.0f);
  ClUI::update();  // the drag starts
  pointerAt(100.0f, 60.0f);
  ClUI::update();
  EXPECT_NEAR(m_area.mp_fOffset, -130.0f, 1e-4f);
  EXPECT_TRUE(std::isfinite(m_area.mp_fVelocity));
  releasePointer();
  ClUI::update();
  EXPECT_TRUE(std::isfinite(m_area.mp_fOffset));
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = cDT;
  ClUI::update();
  EXPECT_TRUE(std::isfinite(m_area.mp_fOffset));
  EXPECT_TRUE(std::isfinite(m_area.mp_fVelocity));
}

TEST_F(ScrollAreaTest, ThePointerCapturesAnAreaDragsItHalfAsFarBeyondAnEndAndLetsItCoast) {
  loadArea({0.5f, 20.5f});
  registerArea();
  ClUI::mp_bScrollAreaRegisteredThisFrame = 0;
  // A pointer outside the area's detector captures nothing.
  pointerAt(100.0f, 400.0f);
  ClUI::update();
  EXPECT_EQ(ClUI::mp_pCapturedScrollArea, nullptr);
  struct SStep {
    f32 fY;  // pointer, pixels
    f32 fOffset;
    bool bDragging;
  } const aSteps[] = {
      {100.0f, 0.0f, false},  // entered: captured, no drag yet
      {100.0f, 0.0f, false},  // not moved
      {110.0f, 0.0f, true},   // moved: the drag starts from here
      {90.0f, -20.0f, true},
      {60.0f, -50.0f, true},
      {90.0f, -20.0f, true},
      {130.0f, 20.0f, true},  // from inside the range the whole way
      {150.0f, 30.0f, true},  // beyond the start: half
  };
  for (const SStep& step : aSteps) {
    pointerAt(100.0f, step.fY);
    ClUI::update();
    EXPECT_EQ(ClUI::mp_pCapturedScrollArea, &m_area) << step.fY;
    EXPECT_EQ(ClUI::isScrollAreaDragged(), step.bDragging) << step.fY;
    EXPECT_NEAR(m_area.mp_fOffset, step.fOffset, 1e-4f) << step.fY;
  }
  EXPECT_NEAR(m_area.mp_fVelocity, 10.0f / cDT, 1e-2f);
  EXPECT_EQ(ClPointerTracker::m_afPosition[0], gc_fPOINTER_HIDDEN) << "no other detector reacts during a drag";

  // Dragged back into range, then let go: the list coasts.
  pointerAt(100.0f, 80.0f);
  ClUI::update();
  pointerAt(100.0f, 70.0f);
  ClUI::update();
  const f32 fOffset = m_area.mp_fOffset;
  const f32 fVelocity = m_area.mp_fVelocity;
  ASSERT_LT(fOffset, 0.0f);
  releasePointer();
  ClUI::update();
  EXPECT_EQ(ClUI::mp_pCapturedScrollArea, nullptr);
  EXPECT_FALSE(ClUI::isScrollAreaDragged());
  EXPECT_NEAR(m_area.mp_fOffset, fOffset + fVelocity * cDT, 1e-3f);
  EXPECT_NEAR(m_area.mp_fVelocity, fVelocity * 0.85f, 1e-2f);
}

TEST_F(ScrollAreaTest, ChildrenFollowTheScrolledLayoutAndShowOnlyInsideTheView) {
  // Children at 0.5, 40.5, 80.5 and 120.5 canvas units: 1, 81, 161 and 241 pixels; the view is 200 high.
  loadArea({0.5f, 40.5f, 80.5f, 120.5f});
  ClUI::registerScrollArea(&m_area);
  struct SCase {
    f32 fOffset, fTopMargin;
    const char* pVisible;
  } const aCases[] = {
      {0.0f, 0.0f, "C0 C1 C2"},     // C3 is below the view
      {-100.0f, 0.0f, "C2 C3"},     // C0 and C1 above it; 241 - 100 fits
      {-100.0f, 20.0f, "C1 C2 C3"}, // the margin keeps C1
      {-10000.0f, 0.0f, "C2 C3"},   // the last two never go through the top test
      {-1.0f, 0.0f, "C0 C1 C2"},    // -0.5 + 0.5 is not below 0
      {-1.2f, 0.0f, "C1 C2"},
  };
  for (const SCase& c : aCases) {
    m_area.mp_fOffset = c.fOffset;
    m_area.mp_fVelocity = 0.0f;
    m_area.mp_fListHeight = 20000.0f;  // every offset here is inside the rest range: the list stays
    m_area.mp_fTopMargin = c.fTopMargin;
    ClUI::updateScrollAreas();
    EXPECT_EQ(m_area.mp_fOffset, c.fOffset);
    EXPECT_EQ(visible(), c.pVisible) << c.fOffset;
    EXPECT_NEAR(layoutY(W("Area"), "movingWidgetLayoutForChildren"), 10.5f + c.fOffset / 2.0f, 1e-3f);
    EXPECT_EQ(layoutY(W("Area"), "scrollAreaLayout"), 10.5f);
  }
  // Each change of visibility fired its event once.
  g_uiTrace.runs.clear();
  m_area.mp_fOffset = 0.0f;
  ClUI::updateScrollAreas();
  std::vector<std::string> fired;
  for (const SProcedureRun& run : g_uiTrace.runs) {
    fired.push_back(run.procedure + ":" + run.pWidget->getName());
  }
  EXPECT_EQ(fired, (std::vector<std::string>{"record0:C0"})) << "from C1 C2 to C0 C1 C2; C3 stays hidden";
}

TEST_F(ScrollAreaTest, AnAreaWithFewerThanTwoChildrenShowsWhatItHas) {
  for (const std::vector<f32>& childYs : {std::vector<f32>{}, std::vector<f32>{0.5f}}) {
    ClUI::terminate();
    ClUI::initialise();
    loadArea(childYs);
    ClUI::registerScrollArea(&m_area);
    m_area.mp_fOffset = -50.0f;
    ClUI::updateScrollAreas();
    EXPECT_EQ(visible(), childYs.empty() ? "" : "C0");
  }
}

TEST_F(ScrollAreaTest, RegisteringDuringAFrameRunsTheUpdateOnceMoreAtItsEnd) {
  loadArea({0.5f, 20.5f});
  m_area.mp_fOffset = 100.0f;
  ClUI::registerScrollArea(&m_area);
  ClUI::update();
  EXPECT_NEAR(m_area.mp_fOffset, 72.25f, 1e-3f) << "twice in the frame of the registration";
  EXPECT_EQ(ClUI::mp_bScrollAreaRegisteredThisFrame, 0u);
  ClUI::update();
  EXPECT_NEAR(m_area.mp_fOffset, 61.4125f, 1e-3f) << "then once a frame";
}

TEST_F(ScrollAreaTest, AMissingLayoutStopsAndADestroyedAreaWidgetTakesItsAreaAndDetectorsAlong) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "Holder", "children": [{"name": "Bare"}]}})"));
  m_area = SScrollFingerArea{W("Bare"), 0.0f, 200.0f, H("FULL"), 0.0f, 0.0f, 400.0f, 0.0f, 0u, 0.0f, 0.0f};
  ClUI::registerScrollArea(&m_area);
  EXPECT_KV_FATAL(ClUI::updateScrollAreas(), "Cannot find Layout property [scrollAreaLayout] for getLayout()!");
  ClUI::unregisterScrollArea(&m_area);

  // A clone that is an area, captured, with a detector for the area and one for the widget.
  ClWidget* pClone = W("Bare")->clone();
  W("Holder")->mp_AllChildren.append(pClone);
  W("Holder")->mp_DrawnChildren.append(pClone);
  SScrollFingerArea cloneArea{pClone, 0.0f, 200.0f, H("FULL"), 0.0f, 0.0f, 400.0f, 0.0f, 0u, 0.0f, 0.0f};
  ClUI::registerScrollArea(&cloneArea);
  ClUI::registerScrollArea(&m_area);
  const f32 afMin[2] = {0.0f, 0.0f};
  const f32 afMax[2] = {0.5f, 0.5f};
  ClPointerTracker::registerDetector(&cloneArea, afMin, afMax, E_POINTER_DETECTOR_SCROLL_AREA);
  ClPointerTracker::registerDetector(pClone, afMin, afMax, E_POINTER_DETECTOR_WIDGET);
  SPointerDetector* pKept = ClPointerTracker::registerDetector(&m_area, afMin, afMax, E_POINTER_DETECTOR_SCROLL_AREA);
  ClUI::mp_pCapturedScrollArea = &cloneArea;
  ClUI::mp_bScrollDragging = 1;

  W("Holder")->destroyChildren();
  ASSERT_EQ(ClUI::mp_daScrollAreas.getCount(), 1);
  EXPECT_EQ(ClUI::mp_daScrollAreas[0], &m_area);
  EXPECT_EQ(ClUI::mp_pCapturedScrollArea, nullptr);
  EXPECT_FALSE(ClUI::isScrollAreaDragged());
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1);
  EXPECT_TRUE(ClPointerTracker::isRegistered(pKept));
}

}  // namespace
