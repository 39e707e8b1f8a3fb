// The scroll-finger procedures: the rectangles and detectors areas register from their properties, the record an area
// name keeps across registrations, a drag through the pointer that moves the registered area and lets it settle, and
// records that stay put and let go of destroyed widgets.
#include <string>
#include <vector>

#include "Corvane/UI/COMMONUIFunctions_ScrollFinger.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

constexpr f32 cFingerWidth = 1280.0f;
constexpr f32 cFingerHeight = 720.0f;  // "FULL": 720 / 216 pixels a canvas unit
constexpr f32 cSCALE = cFingerHeight / 216.0f;

// An area widget: its name, its "scrollAreaLayout" offset and "scrollAreaSize" in canvas units (no size when the
// string is empty).
std::string area(const std::string& name, const std::string& areaName, f32 fX, f32 fY, const std::string& size,
                 const std::string& children = "") {
  return R"({"name": ")" + name + R"(", "properties": {"canvas": {"id": "FULL"},
      "scrollAreaName": {"id": ")" + areaName + R"("}, "scrollAreaRenderYOffset": 4.5,
      "scrollAreaLayout": {"layout": {"screenAnchor": 0, "x": )" + std::to_string(fX) + R"(, "y": )" +
         std::to_string(fY) + R"(, "widgetAnchor": 0}},
      "movingWidgetLayoutForChildren": {"layout": {"screenAnchor": 0, "x": 0.5, "y": 0.5, "widgetAnchor": 0}},
      "onLoad": {"event": {"calls": [{"call": "systemRegisterScrollFingerArea"}]}},
      "onDestroy": {"event": {"calls": [{"call": "systemUnregisterScrollFingerArea"}]}},
      "onFocus": {"event": {"calls": [{"call": "systemUnregisterScrollFingerArea"}]}})" +
         (size.empty() ? "" : R"(, "scrollAreaSize": {"floatxy": [)" + size + "]}") + "}" +
         (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
}

class ScrollFingerAreaTest : public UITest {
 protected:
  ScrollFingerAreaTest() { m_bStartUI = false; }

  void SetUp() override {
    UITest::SetUp();
    useScreen(cFingerWidth, cFingerHeight);
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 1.0f / 60.0f;
    m_hooks.m_extra = {{"systemRegisterScrollFingerArea", systemRegisterScrollFingerArea},
                       {"systemUnregisterScrollFingerArea", systemUnregisterScrollFingerArea}};
    ClUI::initialise();
  }

  void loadAreas(const std::string& areas) {
    ASSERT_TRUE(load("Areas", R"({"root": {"name": "Screen", "children": [)" + areas + "]}}"));
  }

  static const SPointerDetector* detectorOf(const char* pWidget) {
    return ClPointerTracker::detectorOfHandle(W(pWidget)->getInt("PtrDetector"));
  }

  static void pointerAt(f32 fX, f32 fY) {
    f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
    pInputs[E_PAD_INPUT_POINTER_PRESENT] = 1.0f;
    pInputs[E_PAD_INPUT_POINTER_X] = fX / cFingerWidth;
    pInputs[E_PAD_INPUT_POINTER_Y] = fY / cFingerHeight;
  }
};

// An area at pixel (100, 300) of 100 x 300 pixels on a 1280 x 720 screen, and an area without a size.
TEST_F(ScrollFingerAreaTest, RegistrationGivesTheRectangleAndAKindOneDetector) {
  loadAreas(area("List", "Gallery", 100.0f / cSCALE, 300.0f / cSCALE,
                 std::to_string(100.0f / cSCALE) + ", " + std::to_string(300.0f / cSCALE)) +
            "," + area("Bare", "Empty", 30.0f, 60.0f, ""));
  const SScrollFingerArea* pList = findScrollFingerArea(H("Gallery"));
  ASSERT_NE(pList, nullptr);
  EXPECT_EQ(pList->mp_pAreaWidget, W("List"));
  EXPECT_EQ(pList->mp_uiCanvasHash, H("FULL"));
  EXPECT_EQ(pList->mp_fTopMargin, 4.5f);
  const std::vector<f32> rect = {pList->mp_fLeft, pList->mp_fRight, pList->mp_fViewTop, pList->mp_fViewBottom};
  const std::vector<f32> expected = {100.0f, 200.0f, 300.0f, 600.0f};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(rect[i], expected[i], 1e-3f) << i;
  }
  const SPointerDetector* pDetector = detectorOf("List");
  ASSERT_NE(pDetector, nullptr);
  EXPECT_EQ(pDetector->mp_pOwner, pList);
  EXPECT_EQ(pDetector->mp_uiKind, static_cast<u32>(E_POINTER_DETECTOR_SCROLL_AREA));
  const std::vector<f32> fractions = {pDetector->mp_fMinX, pDetector->mp_fMinY, pDetector->mp_fMaxX,
                                      pDetector->mp_fMaxY};
  const std::vector<f32> expectedFractions = {0.078125f, 300.0f / 720.0f, 0.15625f, 600.0f / 720.0f};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(fractions[i], expectedFractions[i], 1e-6f) << i;
  }

  const SScrollFingerArea* pBare = findScrollFingerArea(H("Empty"));
  ASSERT_NE(pBare, nullptr);
  EXPECT_EQ(pBare->mp_fLeft, pBare->mp_fRight);
  EXPECT_EQ(pBare->mp_fViewTop, pBare->mp_fViewBottom);
  EXPECT_NEAR(pBare->mp_fLeft, 30.0f * cSCALE, 1e-3f);
  EXPECT_EQ(ClUI::mp_daScrollAreas.getCount(), 2);
  EXPECT_EQ(ClUI::mp_bScrollAreaRegisteredThisFrame, 1u) << "the scroll update runs once more this frame";
}

// Unregistering lets go of the detector only; the name takes its record back with the scroll state at rest.
TEST_F(ScrollFingerAreaTest, RegisteringAgainReusesTheRecordFromRest) {
  loadAreas(area("List", "Gallery", 10.0f, 20.0f, "30.0, 40.0"));
  SScrollFingerArea* pRecord = findScrollFingerArea(H("Gallery"));
  ASSERT_NE(pRecord, nullptr);
  pRecord->mp_fOffset = -50.0f;
  pRecord->mp_fVelocity = 120.0f;
  W("List")->callEvent(H("onFocus"));
  EXPECT_EQ(W("List")->getInt("PtrDetector"), 0);
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 0);
  EXPECT_EQ(findScrollFingerArea(H("Gallery")), pRecord) << "the record stays";
  W("List")->callEvent(H("onFocus"));  // nothing to let go of
  systemRegisterScrollFingerArea(W("List"), nullptr);
  EXPECT_EQ(findScrollFingerArea(H("Gallery")), pRecord);
  EXPECT_EQ(pRecord->mp_fOffset, 0.0f);
  EXPECT_EQ(pRecord->mp_fVelocity, 0.0f);
  EXPECT_EQ(ClUI::mp_daScrollAreas.getCount(), 1);
  EXPECT_NE(detectorOf("List"), nullptr);
}

// A widget registered again while it still holds a detector gives the old one back first.
TEST_F(ScrollFingerAreaTest, RegisteringTwiceKeepsOneDetector) {
  loadAreas(area("List", "Gallery", 10.0f, 20.0f, "30.0, 40.0"));
  for (i32 i = 0; i < 3; ++i) {
    systemRegisterScrollFingerArea(W("List"), nullptr);
  }
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1);
  EXPECT_EQ(detectorOf("List")->mp_pOwner, findScrollFingerArea(H("Gallery")));
}

// Many areas: every detector still names its own record after the later registrations, so the pointer captures and
// drags the area under it; released, the area settles back.
TEST_F(ScrollFingerAreaTest, ManyAreasKeepTheirDetectorsAndTheDraggedOneFollowsThePointer) {
  std::string areas;
  constexpr i32 cAREAS = 20;
  for (i32 i = 0; i < cAREAS; ++i) {
    // Columns 60 units wide along the top, each 60 units high.
    areas += (i ? "," : "") + area("L" + std::to_string(i), "G" + std::to_string(i), 2.0f + 19.0f * static_cast<f32>(i),
                                   10.0f, "15.0, 60.0");
  }
  loadAreas(areas);
  for (i32 i = 0; i < cAREAS; ++i) {
    const std::string name = "L" + std::to_string(i);
    const SPointerDetector* pDetector = detectorOf(name.c_str());
    ASSERT_NE(pDetector, nullptr) << name;
    EXPECT_EQ(static_cast<const SScrollFingerArea*>(pDetector->mp_pOwner)->mp_pAreaWidget, W(name.c_str())) << name;
  }

  // Inside L3: x from (2 + 57) units.
  SScrollFingerArea* pRecord = findScrollFingerArea(H("G3"));
  const f32 fX = (2.0f + 57.0f + 5.0f) * cSCALE;
  pointerAt(fX, 100.0f);
  ClUI::update();
  ASSERT_EQ(ClUI::mp_pCapturedScrollArea, pRecord);
  pointerAt(fX, 110.0f);
  ClUI::update();
  EXPECT_TRUE(ClUI::isScrollAreaDragged()) << "the first move starts the drag";
  pointerAt(fX, 130.0f);
  ClUI::update();
  EXPECT_FLOAT_EQ(pRecord->mp_fOffset, 20.0f) << "the list follows the pointer";
  pointerAt(fX, 150.0f);
  ClUI::update();
  EXPECT_FLOAT_EQ(pRecord->mp_fOffset, 30.0f) << "half as far beyond the start";
  for (i32 i = 0; i < cAREAS; ++i) {
    if (i != 3) {
      EXPECT_EQ(findScrollFingerArea(H(("G" + std::to_string(i)).c_str()))->mp_fOffset, 0.0f) << i;
    }
  }

  ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_POINTER_PRESENT] = 0.0f;
  ClUI::update();
  EXPECT_FALSE(ClUI::isScrollAreaDragged());
  EXPECT_FLOAT_EQ(pRecord->mp_fOffset, 30.0f * 0.85f);
  for (i32 i = 0; i < 60; ++i) {
    ClUI::update();
  }
  EXPECT_LT(pRecord->mp_fOffset, 0.01f) << "sprung back to the start";
}

// A cloned area destroyed with its parent's children takes its record and detector out of the scroll update; the
// record is free for the next area.
TEST_F(ScrollFingerAreaTest, ADestroyedAreaWidgetLeavesTheUpdate) {
  loadAreas(area("List", "Gallery", 10.0f, 20.0f, "30.0, 40.0"));
  ClWidget* pClone = W("List")->clone();
  W("Screen")->mp_AllChildren.append(pClone);
  W("Screen")->mp_DrawnChildren.append(pClone);
  pClone->mp_pParent = W("Screen");
  pClone->setID(H("scrollAreaName"), H("Copy"));
  systemRegisterScrollFingerArea(pClone, nullptr);
  ASSERT_NE(findScrollFingerArea(H("Copy")), nullptr);
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 2);

  W("Screen")->destroyChildren();
  EXPECT_EQ(findScrollFingerArea(H("Copy")), nullptr);
  EXPECT_EQ(ClUI::mp_daScrollAreas.getCount(), 1);
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1);
  pointerAt(100.0f, 100.0f);
  ClUI::update();  // only the remaining area is settled and laid out
  ASSERT_EQ(findScrollFingerArea(H("Gallery"))->mp_pAreaWidget, W("List"));
}

// The three groups register their names in their fixed order.
TEST(ScrollFingerRegistration, GroupsRegisterTheirNamesInOrder) {
  ClUIEventSystemFunctions::createTable();
  registerImagesUIFunctions();
  registerScrollFingerUIFunctions();
  registerAnimsUIFunctions();
  const std::vector<std::string> names = {
      "systemImageLoad", "systemImageInitColor", "systemImageParams", "systemDeferredImageLoad",
      "systemDeferredImageLoadByName", "systemImageLocalizedLoad", "systemDeferredImageLocalizedLoad",
      "systemDeferredImageLocalizedLoadByName", "systemImagePulse", "systemImageRender",
      "systemImageAutoHideOnZeroAlpha", "systemImageTransitionInFromAlpha", "systemImageTransitionOutToAlpha",
      "systemImageTransitionOutNoFade", "systemImageShowTooltipIfPresent", "systemImageHideTooltipIfPresent",
      "systemScrollFingerRender", "systemRegisterScrollFingerArea", "systemUnregisterScrollFingerArea",
      "systemScrollFingerPushOnWindowStackForChildRender", "systemScrollFingerTransitionIn",
      "systemScrollFingerTransitionOut", "systemAnimInitColor", "systemAnimRender", "systemDeleteTexAnimObj",
      "systemCreateTexAnimObj", "systemSetCumulRenderingOn"};
  ASSERT_EQ(ClUIEventSystemFunctions::getCount(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[static_cast<u32>(i)].mp_uiNameHash, KvStrHash(names[i].c_str()))
        << names[i];
  }
  // The placeholders share the one empty procedure.
  for (const char* pEmpty : {"systemImageParams", "systemScrollFingerRender", "systemScrollFingerTransitionIn",
                             "systemScrollFingerTransitionOut"}) {
    EXPECT_EQ(ClUIEventSystemFunctions::findFunction(KvStrHash(pEmpty)), &systemEmptyProcedure) << pEmpty;
  }
  ClUIEventSystemFunctions::terminate();
}

}  // namespace
