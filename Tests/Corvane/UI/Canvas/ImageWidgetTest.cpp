// The image widgets' procedures over a running device: loading a widget's UI texture now or deferred and seeding its
// colour; fades, pulses and the auto-hide driven by the test's clock; tooltips and the image's pointer detector; and
// the sprites its render queues for a UI texture, a forced size or a plain rectangle, with the children placed inside.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

// Which tooltip events fired, in order.
std::vector<std::string> g_tooltipEvents;
void recordTooltipIn(ClWidget* pWidget, WidgetEventProcedureCall*) {
  g_tooltipEvents.push_back(std::string("in ") + pWidget->getName());
}
void recordTooltipOut(ClWidget* pWidget, WidgetEventProcedureCall*) {
  g_tooltipEvents.push_back(std::string("out ") + pWidget->getName());
}

class CImageHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerImagesUIFunctions();
    ClUIEventSystemFunctions::registerFunction(KvStrHash("recordTooltipIn"), recordTooltipIn);
    ClUIEventSystemFunctions::registerFunction(KvStrHash("recordTooltipOut"), recordTooltipOut);
  }
};

u32 alphaOf(u32 uiColor) { return uiColor >> 24; }

// One screen of image widgets on "FULL" (scale 2 on the 320 x 240 screen: resolution height 432).
class ImageWidgetTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (HasFatalFailure()) return;
    restartUIWith(&m_imageHooks);
    fullCanvas(432.0f, {216});
    writeLoose("Images/UI/Badge_216.png",
               KvTestEncodeImage(std::vector<uint32_t>(20 * 10, 0xFFFFFFFFu), 20, 10, ETestImageFormat::PNG));
  }

  // The properties every image needs, with the extra ones given; an extra "onLoad" or "textureColor" replaces the
  // default one.
  static std::string image(const std::string& name, const std::string& extra, const std::string& children = "") {
    const auto unless = [&extra](const char* pKey, const std::string& property) {
      return extra.find(std::string("\"") + pKey + "\"") == std::string::npos ? property : std::string();
    };
    return R"({"name": ")" + name + R"(", "properties": {
        "canvas": {"id": "FULL"}, "imageLayer": 120, "textureShader": {"id": "system_blend_premult"},
        "widgetLayout": {"layout": {"screenAnchor": 0, "x": 10.0, "y": 4.0, "widgetAnchor": 0}},
        "onRender": {"event": {"single": "systemImageRender"}})" +
           unless("textureColor", R"(, "textureColor": {"color": "0x80FF4020"})") +
           unless("onLoad", R"(, "onLoad": {"event": {"calls": [{"call": "systemImageLoad"}]}})") + extra + "}" +
           (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
  }

  static void loadScreen(const std::string& children) { loadScreenOf("Images", children); }

  static void renderScreen() { ClUI::getWidget("Screen")->render(); }

  // One tick of a widget after dt seconds of the system clock.
  static void tickAfter(ClWidget* pWidget, f32 fDT) {
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = fDT;
    pWidget->tick();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
  }

  CImageHooks m_imageHooks;
};

// Loading takes the texture's versions and shows "textureColor" at once; an image without a texture only seeds its
// colour; without "textureColor" the load stops with the attribute message.
TEST_F(ImageWidgetTest, LoadSeedsTheColourAndLoadsTheTexture) {
  loadScreen(image("Pic", R"(, "textureName": "Badge", "forcedWidth": 0.0, "forcedHeight": 0.0)") + "," +
             image("Plain", R"(, "forcedWidth": 8.0, "forcedHeight": 3.0)"));
  const SUITexture* pRecord = ClUI::mp_UITextureTable.findPtr<SUITexture>(KvStrHash("Badge"));
  ASSERT_NE(pRecord, nullptr);
  EXPECT_EQ(pRecord->mp_iNumVersions, 1);
  for (const char* pName : {"Pic", "Plain"}) {
    const ClAnimator<ClColor>& colour = ClUI::getWidget(pName)->mp_aColorAnimators[0];
    EXPECT_EQ(colour.mp_uiCurrentColor, 0x80FF4020u) << pName;
    EXPECT_EQ(colour.mp_params.mp_iKind, 1) << pName;
    EXPECT_FLOAT_EQ(colour.mp_end.a, 128.0f / 255.0f) << pName;
  }
  EXPECT_EQ(ClUI::mp_UITextureTable.getCount(), 1) << "the plain image loads nothing";

  ClWidget* pPic = ClUI::getWidget("Pic");
  EXPECT_KV_ASSERT(systemImageLoad(ClUI::getWidget("Screen"), nullptr),
                   KvTestAttributeMessage("Screen", "textureColor"));
  EXPECT_EQ(pPic->mp_aColorAnimators[0].mp_uiCurrentColor, 0x80FF4020u);
}

// The texture at its best fit (20 x 10 texels at 432 / 216 = 2, then canvas scale 2 for the offset), a forced
// size, and a plain rectangle: one sprite each, in the current colour, on the image layer.
TEST_F(ImageWidgetTest, RenderQueuesOneSpritePerImage) {
  loadScreen(image("Pic", R"(, "textureName": "Badge", "forcedWidth": 0.0, "forcedHeight": 0.0)") + "," +
             image("Sized", R"(, "textureName": "Badge", "forcedWidth": 30.0, "forcedHeight": 5.0)") + "," +
             image("Plain", R"(, "forcedWidth": 8.0, "forcedHeight": 3.0)"));
  renderScreen();
  ASSERT_EQ(Cl2d::getNumSprites(), 3);
  struct SCase {
    f32 fX, fY, fWidth, fHeight;
  };
  const SCase aExpected[] = {{20, 8, 40, 20}, {20, 8, 60, 10}, {20, 8, 16, 6}};
  for (i32 i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const SQueuedSprite s = queued(i);
    EXPECT_EQ((std::vector<f32>{s.fX, s.fY, s.fWidth, s.fHeight}),
              (std::vector<f32>{aExpected[i].fX, aExpected[i].fY, aExpected[i].fWidth, aExpected[i].fHeight}));
    EXPECT_EQ(s.uiColor, 0x80FF4020u);
    EXPECT_EQ(s.uLayer, 120);
  }
  EXPECT_NE(queued(0).pSignature, queued(2).pSignature) << "the plain rectangle has no texture";
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
}

// An image with children places them inside the rectangle it covers, and that window is gone after the children.
TEST_F(ImageWidgetTest, ChildrenArePlacedInsideTheImage) {
  loadScreen(image("Frame", R"(, "textureName": "Badge", "forcedWidth": 0.0, "forcedHeight": 0.0)",
                   image("Inner", R"(, "forcedWidth": 2.0, "forcedHeight": 2.0)")));
  renderScreen();
  ASSERT_EQ(Cl2d::getNumSprites(), 2);
  EXPECT_EQ((std::vector<f32>{queued(1).fX, queued(1).fY}), (std::vector<f32>{40, 16}))
      << "the child's offset (20, 8) counts from the frame's corner (20, 8)";
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
}

// Every drawing path needs its layer, canvas, shader and forced size.
TEST_F(ImageWidgetTest, RenderStopsOnAMissingProperty) {
  loadScreen(image("Pic", R"(, "textureName": "Badge", "forcedWidth": 0.0)"));
  EXPECT_KV_ASSERT(renderScreen(), KvTestAttributeMessage("Pic", "forcedHeight"));
}

// Each load procedure: the plain or the localized version now, or the name queued for the deferred load in the plain
// or the localized queue; every one shows "textureColor" at once.
TEST_F(ImageWidgetTest, EachLoadModeLoadsOrQueuesItsVersion) {
  struct SCase {
    const char* pProcedure;
    bool bByName;     // the name is the call's parameter, not "textureName"
    bool bDeferred;
    bool bLocalized;
  };
  const SCase aCases[] = {
      {"systemImageLoad", false, false, false},
      {"systemImageLocalizedLoad", false, false, true},
      {"systemDeferredImageLoad", false, true, false},
      {"systemDeferredImageLocalizedLoad", false, true, true},
      {"systemDeferredImageLoadByName", true, true, false},
      {"systemDeferredImageLocalizedLoadByName", true, true, true},
  };
  std::string screen;
  for (size_t i = 0; i < std::size(aCases); ++i) {
    const SCase& c = aCases[i];
    const std::string name = "Badge" + std::to_string(i);
    writeLoose("Images/UI/" + name + "_216.png",
               KvTestEncodeImage(std::vector<uint32_t>(4 * 4, 0xFFFFFFFFu), 4, 4, ETestImageFormat::PNG));
    const std::string call = std::string(R"({"call": ")") + c.pProcedure + "\"" +
                             (c.bByName ? R"(, "params": [")" + name + "\"]}" : "}");
    screen += (i == 0 ? "" : ",") +
              image("Pic" + std::to_string(i),
                    R"(, "forcedWidth": 0.0, "forcedHeight": 0.0, "onLoad": {"event": {"calls": [)" + call + "]}}" +
                        (c.bByName ? "" : R"(, "textureName": ")" + name + "\""));
  }
  loadScreen(screen);
  for (size_t i = 0; i < std::size(aCases); ++i) {
    const SCase& c = aCases[i];
    SCOPED_TRACE(c.pProcedure);
    const std::string name = "Badge" + std::to_string(i);
    EXPECT_EQ(ClUI::getWidget(("Pic" + std::to_string(i)).c_str())->mp_aColorAnimators[0].mp_uiCurrentColor,
              0x80FF4020u);
    const SUITexture* pRecord = ClUI::mp_UITextureTable.findPtr<SUITexture>(KvStrHash(name.c_str()));
    const bool bInQueue =
        ClUI::mp_aDeferredTextureNames[c.bLocalized ? 1 : 0].findPtr<char>(KvStrHash(name.c_str())) != nullptr;
    const bool bInOtherQueue =
        ClUI::mp_aDeferredTextureNames[c.bLocalized ? 0 : 1].findPtr<char>(KvStrHash(name.c_str())) != nullptr;
    EXPECT_FALSE(bInOtherQueue);
    EXPECT_EQ(bInQueue, c.bDeferred);
    if (c.bDeferred) {
      EXPECT_EQ(pRecord, nullptr) << "nothing is loaded before the deferred load";
    } else {
      ASSERT_NE(pRecord, nullptr);
      // Only the plain folder holds the file, so the localized load finds no version.
      EXPECT_EQ(pRecord->mp_iNumVersions, c.bLocalized ? 0 : 1);
    }
  }
}

// A fade-in runs from "textureColor" without alpha to "textureColor" over "imageTransitionInTime", and a fade-out
// from the colour shown to no alpha over "imageTransitionOutTime"; both start the transition timer. A fade-in started
// during a fade-out carries on from the colour shown then.
TEST_F(ImageWidgetTest, FadesFollowTheClockAndStartTheTransition) {
  loadScreen(image("Pic", R"(, "forcedWidth": 8.0, "forcedHeight": 3.0,
      "imageTransitionInTime": 1.0, "imageTransitionOutTime": 0.5,
      "onTransitionIn": {"event": {"calls": [{"call": "systemImageTransitionInFromAlpha"}]}},
      "onTransitionOut": {"event": {"calls": [{"call": "systemImageTransitionOutToAlpha"}]}})"));
  ClWidget* pPic = ClUI::getWidget("Pic");
  const ClAnimator<ClColor>& colour = pPic->mp_aColorAnimators[0];

  pPic->callEvent(KvStrHash("onTransitionIn"));
  EXPECT_EQ(pPic->mp_bTransitionDone, 0u);
  EXPECT_EQ(pPic->mp_bTransitioningOut, 0u);
  EXPECT_EQ(pPic->getFloat("transitionTimer"), 1.0f);
  EXPECT_EQ(colour.mp_uiCurrentColor, 0x00FF4020u);
  tickAfter(pPic, 0.5f);
  EXPECT_EQ(alphaOf(colour.mp_uiCurrentColor), 0x40u) << "half of 0x80 after half the time";
  EXPECT_EQ(colour.mp_uiCurrentColor & 0xFFFFFFu, 0xFF4020u);
  tickAfter(pPic, 0.5f);
  EXPECT_EQ(colour.mp_uiCurrentColor, 0x80FF4020u);
  EXPECT_EQ(colour.mp_bActive, 0);

  pPic->callEvent(KvStrHash("onTransitionOut"));
  EXPECT_EQ(pPic->mp_bTransitioningOut, 1u);
  EXPECT_EQ(pPic->getFloat("transitionTimer"), 0.5f);
  tickAfter(pPic, 0.25f);
  EXPECT_EQ(alphaOf(colour.mp_uiCurrentColor), 0x40u);
  ASSERT_EQ(colour.mp_bActive, 1);

  // In again, from alpha 0x40 (not from 0) towards 0x80 over a second.
  pPic->callEvent(KvStrHash("onTransitionIn"));
  EXPECT_EQ(alphaOf(colour.mp_uiCurrentColor), 0x40u);
  tickAfter(pPic, 0.5f);
  EXPECT_NEAR(static_cast<f64>(alphaOf(colour.mp_uiCurrentColor)), 0x60, 1.0);
}

// A fade-out without a fade marks the transition and leaves the colour; a duration of 0 shows the end at once.
TEST_F(ImageWidgetTest, TransitionOutWithoutFadeAndZeroTimes) {
  loadScreen(image("Pic", R"(, "forcedWidth": 8.0, "forcedHeight": 3.0, "imageTransitionOutTime": 0.75,
      "onTransitionOut": {"event": {"calls": [{"call": "systemImageTransitionOutNoFade"}]}},
      "onTransitionIn": {"event": {"calls": [{"call": "systemImageTransitionInFromAlpha"}]}})"));
  ClWidget* pPic = ClUI::getWidget("Pic");
  pPic->callEvent(KvStrHash("onTransitionOut"));
  EXPECT_EQ(pPic->mp_bTransitioningOut, 1u);
  EXPECT_EQ(pPic->mp_bTransitionDone, 0u);
  EXPECT_EQ(pPic->getFloat("transitionTimer"), 0.75f);
  EXPECT_EQ(pPic->mp_aColorAnimators[0].mp_uiCurrentColor, 0x80FF4020u);
  EXPECT_EQ(pPic->mp_aColorAnimators[0].mp_bActive, 0);

  // No "imageTransitionInTime": a fade of 0 seconds is the colour at once.
  pPic->callEvent(KvStrHash("onTransitionIn"));
  EXPECT_EQ(pPic->getFloat("transitionTimer"), 0.0f);
  EXPECT_EQ(pPic->mp_aColorAnimators[0].mp_uiCurrentColor, 0x80FF4020u);
  EXPECT_EQ(pPic->mp_aColorAnimators[0].mp_bActive, 0);
}

// A pulse of period P between colours A and B shows A at the start, the midpoint after P/4, B after P/2 and A again
// after a whole period.
TEST_F(ImageWidgetTest, PulseSwingsBetweenItsColours) {
  const u32 uiA = 0x10204080u;
  const u32 uiB = 0x70E0C0A0u;
  loadScreen(image("Pic", R"(, "forcedWidth": 8.0, "forcedHeight": 3.0, "onFocus": {"event": {"calls": [
      {"call": "systemImagePulse", "params": [)" + std::to_string(uiA) + ", " + std::to_string(uiB) + ", 2.0]}]}}"));
  ClWidget* pPic = ClUI::getWidget("Pic");
  pPic->callEvent(KvStrHash("onFocus"));
  const ClAnimator<ClColor>& colour = pPic->mp_aColorAnimators[0];
  EXPECT_EQ(colour.mp_uiCurrentColor, uiA);
  const auto channels = [](u32 uiColor) {
    return std::vector<f64>{static_cast<f64>(uiColor >> 24), static_cast<f64>((uiColor >> 16) & 0xFF),
                            static_cast<f64>((uiColor >> 8) & 0xFF), static_cast<f64>(uiColor & 0xFF)};
  };
  struct SStep {
    f32 fDT;
    std::vector<f64> expected;
  };
  const std::vector<f64> a = channels(uiA);
  const std::vector<f64> b = channels(uiB);
  std::vector<f64> mid(4);
  for (size_t i = 0; i < 4; ++i) {
    mid[i] = (a[i] + b[i]) / 2.0;
  }
  const SStep aSteps[] = {{0.5f, mid}, {0.5f, b}, {0.5f, mid}, {0.5f, a}};
  for (size_t i = 0; i < std::size(aSteps); ++i) {
    SCOPED_TRACE(i);
    tickAfter(pPic, aSteps[i].fDT);
    const std::vector<f64> got = channels(colour.mp_uiCurrentColor);
    for (size_t c = 0; c < 4; ++c) {
      EXPECT_NEAR(got[c], aSteps[i].expected[c], 1.0) << "channel " << c;
    }
  }
  EXPECT_EQ(colour.mp_bActive, 1) << "a pulse runs until it is replaced";
}

// The auto-hide waits for the fade-out to end, even when the alpha byte already reads 0, then hides the image and
// its children.
TEST_F(ImageWidgetTest, AutoHideWaitsForTheFadeToEnd) {
  loadScreen(image("Pic", R"(, "forcedWidth": 8.0, "forcedHeight": 3.0, "textureColor": {"color": "0x01FF4020"},
      "imageTransitionOutTime": 0.5,
      "onTransitionOut": {"event": {"calls": [{"call": "systemImageTransitionOutToAlpha"}]}},
      "onTick": {"event": {"calls": [{"call": "systemImageAutoHideOnZeroAlpha"}]}})",
                   image("Inner", R"(, "forcedWidth": 2.0, "forcedHeight": 2.0)")));
  ClWidget* pPic = ClUI::getWidget("Pic");
  tickAfter(pPic, 0.1f);
  EXPECT_EQ(pPic->mp_bVisible, 1u) << "alpha 1 is not 0";
  pPic->callEvent(KvStrHash("onTransitionOut"));
  tickAfter(pPic, 0.4f);
  ASSERT_EQ(alphaOf(pPic->mp_aColorAnimators[0].mp_uiCurrentColor), 0u);
  EXPECT_EQ(pPic->mp_bVisible, 1u) << "the fade still runs";
  tickAfter(pPic, 0.1f);
  EXPECT_EQ(pPic->mp_bVisible, 0u);
  EXPECT_EQ(ClUI::getWidget("Inner")->mp_bVisible, 0u);
}

// An image with a tooltip: its render gives it one pointer detector over its texture and places the tooltip at the
// pointer, every frame, from the tooltip's first offset; show and hide fire the tooltip's transitions.
class ImageTooltipTest : public ImageWidgetTest {
 protected:
  void SetUp() override {
    ImageWidgetTest::SetUp();
    if (HasFatalFailure()) return;
    g_tooltipEvents.clear();
    loadScreen(image("Pic", R"(, "textureName": "Badge", "forcedWidth": 0.0, "forcedHeight": 0.0,
        "tooltipWidgetID": {"id": "Tip"},
        "onFocus": {"event": {"calls": [{"call": "systemImageShowTooltipIfPresent"}]}},
        "onLoseFocus": {"event": {"calls": [{"call": "systemImageHideTooltipIfPresent"}]}})") +
               R"(, {"name": "Tip", "properties": {"canvas": {"id": "FULL"},
        "widgetLayout": {"layout": {"screenAnchor": 0, "x": 5.0, "y": 6.0, "widgetAnchor": 0}},
        "onTransitionIn": {"event": {"calls": [{"call": "recordTooltipIn"}]}},
        "onTransitionOut": {"event": {"calls": [{"call": "recordTooltipOut"}]}}}})");
  }

  static kv_vector2 tooltipAt() {
    const SLayoutPlacement at = KvLayoutPlacement(ClUI::getWidget("Tip")->getLayout("widgetLayout"));
    return {at.mp_fX, at.mp_fY};
  }
};

TEST_F(ImageTooltipTest, RenderRegistersOneDetectorAndFollowsThePointer) {
  ClWidget* pPic = ClUI::getWidget("Pic");
  ClPointerTracker::m_afPosition[0] = 0.5f;
  ClPointerTracker::m_afPosition[1] = 0.25f;
  renderScreen();
  const SPointerDetector* pDetector = ClPointerTracker::detectorOfHandle(pPic->getInt("PtrDetector"));
  ASSERT_NE(pDetector, nullptr);
  EXPECT_EQ(pDetector->mp_pOwner, pPic);
  EXPECT_EQ(pDetector->mp_uiKind, static_cast<u32>(E_POINTER_DETECTOR_WIDGET));
  // The 20 x 10 texture at scale 2, placed at (10, 4) units: pixels (20, 8) to (60, 28) of 320 x 240.
  EXPECT_EQ((std::vector<f32>{pDetector->mp_fMinX, pDetector->mp_fMinY, pDetector->mp_fMaxX, pDetector->mp_fMaxY}),
            (std::vector<f32>{20.0f / 320.0f, 8.0f / 240.0f, 60.0f / 320.0f, 28.0f / 240.0f}));
  // The pointer's pixel (160, 60) is (80, 30) units from the canvas corner.
  EXPECT_EQ(tooltipAt().x, 85.0f);
  EXPECT_EQ(tooltipAt().y, 36.0f);

  ClPointerTracker::m_afPosition[0] = 0.25f;
  ClPointerTracker::m_afPosition[1] = 0.5f;
  Cl2d::clearSprites();
  renderScreen();
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1) << "one detector, however many frames";
  EXPECT_EQ(tooltipAt().x, 45.0f) << "moved from the first offset, not from the last place";
  EXPECT_EQ(tooltipAt().y, 66.0f);
}

TEST_F(ImageTooltipTest, NoDetectorWhileHiddenOrTransitioning) {
  ClWidget* pPic = ClUI::getWidget("Pic");
  pPic->mp_bTransitionDone = 0;
  renderScreen();
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 0);
  EXPECT_EQ(pPic->getInt("PtrDetector"), 0);
  pPic->mp_bTransitionDone = 1;
  pPic->mp_bVisible = 0;
  registerImagePointerDetector(pPic);
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 0);
}

TEST_F(ImageTooltipTest, ShowOnlyWhenVisibleHideAlways) {
  ClWidget* pPic = ClUI::getWidget("Pic");
  ClPointerTracker::m_afPosition[0] = 0.5f;
  ClPointerTracker::m_afPosition[1] = 0.25f;
  pPic->callEvent(KvStrHash("onFocus"));
  EXPECT_EQ(tooltipAt().x, 85.0f) << "shown at the pointer";
  pPic->setVisible(0);
  pPic->callEvent(KvStrHash("onFocus"));
  pPic->callEvent(KvStrHash("onLoseFocus"));
  EXPECT_EQ(g_tooltipEvents, (std::vector<std::string>{"in Tip", "out Tip"}));

  ClWidget* pTip = ClUI::getWidget("Tip");
  pTip->setVisible(1);
  EXPECT_KV_ASSERT(systemImageShowTooltipIfPresent(pTip, nullptr), KvTestAttributeMessage("Tip", "tooltipWidgetID"));
}

}  // namespace
