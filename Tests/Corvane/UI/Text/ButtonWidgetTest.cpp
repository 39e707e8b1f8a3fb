// The button procedures over a running device with fonts: the registry rows, looks and faces, fades and focus
// colour changes driven by the test's clocks, the held repeat on the gameplay clock, click switching, disabling,
// tooltips, and the drawing with its pointer hot spot (atlas, UI-texture and text buttons, forced sizes, clipping)
// on "FULL" at scale 2 and at scale 1.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Buttons.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Windows.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Tests/Corvane/UI/Text/TextTestSupport.h"
#include "Tests/Support/FlipBookTestSupport.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

std::vector<std::string> g_events;
void recordEvent(ClWidget* pWidget, WidgetEventProcedureCall*) {
  g_events.push_back(std::string(pWidget->getName()) + " " + std::to_string(pWidget->mp_uiCurrentEventHash));
}

// The parent window a marker child saw while it rendered ({-1} without one).
std::vector<f32> g_windowSeen;
void seeParentWindow(ClWidget*, WidgetEventProcedureCall*) {
  if (Cl2d::mp_parentWindowStack.getCount() == 0) {
    g_windowSeen = {-1.0f};
    return;
  }
  const SParentWindow* pWindow = Cl2d::getParentWindow();
  g_windowSeen = {pWindow->mp_fLeft, pWindow->mp_fRight, pWindow->mp_fTop, pWindow->mp_fBottom};
}

class CButtonHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerButtonsUIFunctions();
    ClUIEventSystemFunctions::registerFunction(KvStrHash("recordEvent"), recordEvent);
    ClUIEventSystemFunctions::registerFunction(KvStrHash("seeParentWindow"), seeParentWindow);
    ClUIEventSystemFunctions::registerFunction(KvStrHash("systemSetTransitionDoneAndClickEventMaskAfterTimer"),
                                               systemSetTransitionDoneAndClickEventMaskAfterTimer);
  }
};

u32 alphaOf(u32 uiColor) { return uiColor >> 24; }

std::string layout(int iScreen, f32 fX, f32 fY, int iWidget) {
  return R"({"layout": {"screenAnchor": )" + std::to_string(iScreen) + R"(, "x": )" + std::to_string(fX) +
         R"(, "y": )" + std::to_string(fY) + R"(, "widgetAnchor": )" + std::to_string(iWidget) + "}}";
}

// The four looks: image colours 0xFFnn0000 and text colours 0xFF00nn00 with nn 0x10 off, 0x20 on, 0x30 rollover,
// 0x40 rollover-on; every shader the premultiplied blend.
std::string looks() {
  std::string out;
  const char* apLooks[] = {"off", "on", "rollover", "rollover_on"};
  for (int i = 0; i < 4; ++i) {
    const std::string look = apLooks[i];
    char acImage[16];
    char acText[16];
    std::snprintf(acImage, sizeof(acImage), "0xFF%02X0000", 0x10 * (i + 1));
    std::snprintf(acText, sizeof(acText), "0xFF00%02X00", 0x10 * (i + 1));
    out += R"(, "textureShader_)" + look + R"(": "system_blend_premult", "textShader_)" + look +
           R"(": "system_blend_premult", "textureColor_)" + look + R"(": {"color": ")" + acImage +
           R"("}, "textColor_)" + look + R"(": {"color": ")" + acText + R"("})";
  }
  return out;
}

// A button on "FULL": text "Go" in "Mono" at size 16, left aligned at the top left of the image or the canvas.
std::string button(const std::string& name, const std::string& extra, const std::string& children = "") {
  return R"({"name": ")" + name + R"(", "properties": {"canvas": {"id": "FULL"}, "fontName": {"id": "Mono"},
      "pointSize": 16, "textAlign": {"id": "L"}, "maxWidth": 0.0, "maxHeight": 0.0, "imageLayer": 50,
      "dynamicText": "Go", "textLayout": )" +
         layout(0, 0.0f, 0.0f, 0) + R"(, "widgetLayout": )" + layout(0, 10.0f, 5.0f, 0) + looks() +
         R"(, "onRender": {"event": {"single": "systemButtonRender"}})" + extra + "}" +
         (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
}

class ButtonTest : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    if (HasFatalFailure()) return;
    restartUIWith(&m_buttonHooks);
    g_events.clear();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
    g_kvClipRect = gc_kvEmptyRect;
    ClPointerTracker::reset();
    // "Pad": 20 x 10 texels for asset height 216, so 40 x 20 pixels at scale 2.
    writeLoose("Images/UI/Pad_216.png",
               KvTestEncodeImage(std::vector<uint32_t>(20 * 10, 0xFFFFFFFFu), 20, 10, ETestImageFormat::PNG));
    ClUI::loadUITexture("Pad", false);
    writeLoose("Images/UI/Sheet_1.png",
               KvTestEncodeImage(std::vector<uint32_t>(64 * 64, 0xFFFFFFFFu), 64, 64, ETestImageFormat::PNG));
    m_pSheet = ClTextureMgr::loadTexture("Images/UI/Sheet_1");
    ASSERT_NE(m_pSheet, nullptr);
    // Atlas images: a 40 x 20 frame holding a 30 x 10 image at (4, 6), for the suffixes of both scales.
    KvTestRegisterAtlas("Atlas", {"Knob_216", "Knob_432", "Roll_216", "Roll_432", "Slim_216", "Slim_432"},
                        &m_atlas);
    for (SAtlasTexInfo& info : m_atlas.records) {
      // "Slim": a frame 16 pixels high on either canvas (16 units at scale 1, 8 at scale 2), lower than the text's
      // line at size 16.
      const bool bSlim = info.mp_uiNameHash == KvStrHash("Slim_432") || info.mp_uiNameHash == KvStrHash("Slim_216");
      const f32 fSlimHeight = info.mp_uiNameHash == KvStrHash("Slim_216") ? 16.0f : 8.0f;
      info.mp_fU1 = info.mp_fV1 = 0.5f;
      info.mp_fWidth = 30.0f;
      info.mp_fHeight = 10.0f;
      info.mp_fFrameWidth = 40.0f;
      info.mp_fFrameHeight = bSlim ? fSlimHeight : 20.0f;
      info.mp_fAnchorX = 4.0f;
      info.mp_fAnchorY = bSlim ? 0.0f : 6.0f;
      if (bSlim) info.mp_fHeight = fSlimHeight;
    }
    for (const char* pName : {"Knob_216", "Knob_432", "Roll_216", "Roll_432", "Slim_216", "Slim_432"}) {
      ClAtlasMgr::getAtlasEntryByHash(KvStrHash("Atlas"), KvStrHash(pName))->mp_pTexture = m_pSheet;
    }
  }
  void TearDown() override {
    g_kvClipRect = gc_kvEmptyRect;
    ClAtlasMgr::terminate();
    TextTest::TearDown();
  }

  static void loadScreen(const std::string& children) { loadScreenOf("Buttons", children); }

  // A fresh UI with the "Pad" texture loaded.
  static void restartUI() {
    ClUI::terminate();
    ClUI::initialise();
    ClUI::loadUITexture("Pad", false);
  }

  // One frame of the screen: sprites cleared, parent windows popped by the widget render.
  static void renderFrame() {
    Cl2d::clearSprites();
    ClUI::getWidget("Screen")->render();
  }

  static void tickAfter(ClWidget* pWidget, f32 fDT) {
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = fDT;
    pWidget->tick();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
  }

  // The widget's hot spot in pixels {left, right, top, bottom} on the 320 x 240 screen; empty without one.
  static std::vector<f32> hotSpot(const ClWidget* pWidget) {
    const SPointerDetector* pDetector = ClPointerTracker::detectorOfHandle(pWidget->getInt("PtrDetector"));
    if (pWidget->getInt("PtrDetector") == 0 || pDetector == nullptr) return {};
    return {std::round(pDetector->mp_fMinX * 320.0f), std::round(pDetector->mp_fMaxX * 320.0f),
            std::round(pDetector->mp_fMinY * 240.0f), std::round(pDetector->mp_fMaxY * 240.0f)};
  }

  static u32 imageColor(const char* pName) { return ClUI::getWidget(pName)->mp_aColorAnimators[0].mp_uiCurrentColor; }
  static u32 textColor(const char* pName) { return ClUI::getWidget(pName)->mp_aColorAnimators[1].mp_uiCurrentColor; }

  CButtonHooks m_buttonHooks;
  STestAtlas m_atlas;
  ClTexture* m_pSheet = nullptr;
};

// The group's rows follow the registry's order, and names that share a procedure hold the other group's procedure.
TEST_F(ButtonTest, RegistryRowsInOrderWithSharedProcedures) {
  const char* apNames[] = {"systemButtonUnregisterWithMouse", "systemButtonRender", "systemButtonLoad",
                           "systemButtonLocalizedLoad", "systemButtonImmediateTransitionIn",
                           "systemButtonImmediateTransitionOut", "systemButtonTransitionInFromAlpha",
                           "systemButtonTransitionOutToAlpha", "systemButtonGrabFullFocus", "systemButtonGetFocus",
                           "systemButtonLoseFocus", "systemButtonClickSwitch", "systemDisableButton",
                           "systemButtonStartHeldEventTimer", "systemButtonTickHeldEvent",
                           "systemButtonStopHeldEventTimer", "systemButtonShowTooltipIfPresent",
                           "systemButtonHideTooltipIfPresent"};
  ASSERT_GE(ClUIEventSystemFunctions::getCount(), 18u);
  for (u32 i = 0; i < 18; ++i) {
    EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[i].mp_uiNameHash, KvStrHash(apNames[i])) << apNames[i];
  }
  EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[0].mp_pfnFunction, &systemWindowUnregisterWithPointer);
  EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[8].mp_pfnFunction, &systemGrabFullFocus);
  EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[16].mp_pfnFunction, &systemImageShowTooltipIfPresent);
  EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[17].mp_pfnFunction, &systemImageHideTooltipIfPresent);
}

// Load shows the off look even on an "on" button and queues the off and rollover images; the localized load queues
// them in the localized table and leaves the current image and shaders alone.
TEST_F(ButtonTest, LoadsShowTheOffLookAndQueueTheirImages) {
  loadScreen(button("Plain", R"(, "isOn": true, "textureName_off": "Pad", "textureName_rollover": "Pad2",
                    "textureName_on": "Pad3", "textureLayer": 7, "textLayer": 8)") +
             "," + button("Local", R"(, "textureName_off": "Pad4", "textureLayer": 7)"));
  ClWidget* pPlain = ClUI::getWidget("Plain");
  ClWidget* pLocal = ClUI::getWidget("Local");
  pPlain->mp_bTransitionDone = 0;
  systemButtonLoad(pPlain, nullptr);
  systemButtonLocalizedLoad(pLocal, nullptr);
  EXPECT_EQ(pPlain->mp_bTransitionDone, 1u);
  EXPECT_STREQ(pPlain->getString("curTexture"), "Pad");
  EXPECT_STREQ(pPlain->getString("curShader"), "system_blend_premult");
  EXPECT_STREQ(pPlain->getString("curTextShader"), "system_blend_premult");
  EXPECT_EQ(imageColor("Plain"), 0xFF100000u);
  EXPECT_EQ(textColor("Plain"), 0xFF001000u);
  EXPECT_EQ(pPlain->getInt("curTextureLayer"), 7);
  EXPECT_EQ(pPlain->getInt("curTextLayer"), 8);
  EXPECT_EQ(pLocal->findProperty(KvStrHash("curTexture")), nullptr);
  EXPECT_EQ(pLocal->findProperty(KvStrHash("curTextShader")), nullptr);
  EXPECT_EQ(pLocal->getInt("curTextLayer"), 0);
  EXPECT_EQ(ClUI::mp_aDeferredTextureNames[0].getCount(), 2) << "Pad and Pad2, not the on image";
  EXPECT_EQ(ClUI::mp_aDeferredTextureNames[1].getCount(), 1);
}

// A fade in from alpha over 0.5 s of the system clock: colours and input bits during and after, for both faces.
TEST_F(ButtonTest, FadeInFollowsTheSystemClockAndRestoresInput) {
  struct SCase {
    const char* pName;
    u32 uiImage;
    u32 uiText;
  };
  const std::string fade = R"(, "textureName_off": "Pad", "textureName_on": "Pad", "buttonTransitionInTime": 0.5,
      "onTick": {"event": {"calls": [{"call": "systemSetTransitionDoneAndClickEventMaskAfterTimer"}]}})";
  loadScreen(button("Off", fade) + "," + button("On", fade + R"(, "isOn": true)"));
  for (const SCase& c : {SCase{"Off", 0xFF100000u, 0xFF001000u}, SCase{"On", 0xFF200000u, 0xFF002000u}}) {
    SCOPED_TRACE(c.pName);
    ClWidget* pButton = ClUI::getWidget(c.pName);
    const u32 uiMask = pButton->mp_uiInputMask;
    systemButtonTransitionInFromAlpha(pButton, nullptr);
    EXPECT_EQ(pButton->mp_bTransitionDone, 0u);
    EXPECT_EQ(pButton->mp_uiInputMask & 3u, 0u);
    EXPECT_EQ(imageColor(c.pName), c.uiImage & 0x00FFFFFFu);
    EXPECT_EQ(alphaOf(textColor(c.pName)), 0u);
    tickAfter(pButton, 0.25f);
    EXPECT_NEAR(alphaOf(imageColor(c.pName)), 128u, 1u);
    EXPECT_NEAR(alphaOf(textColor(c.pName)), 128u, 1u);
    EXPECT_EQ(pButton->mp_bTransitionDone, 0u);
    tickAfter(pButton, 0.25f);
    EXPECT_EQ(imageColor(c.pName), c.uiImage);
    EXPECT_EQ(textColor(c.pName), c.uiText);
    EXPECT_EQ(pButton->mp_bTransitionDone, 1u);
    EXPECT_EQ(pButton->mp_uiInputMask, uiMask);
  }
}

// Focus during a fade retargets it (ending when the fade would have ended); focus afterwards plays a new change over
// the rollover time; losing focus goes back over the rollover-out time and puts the normal layers back.
TEST_F(ButtonTest, FocusRetargetsARunningFadeAndPlaysOtherwise) {
  loadScreen(button("B", R"(, "textureName_off": "Pad", "textureName_rollover": "Pad",
      "buttonTransitionInTime": 1.0, "buttonRolloverInTime": 0.5, "buttonRolloverOutTime": 0.25,
      "textureLayer_rollover": 9, "textLayer_rollover": 10)"));
  ClWidget* pButton = ClUI::getWidget("B");
  systemButtonTransitionInFromAlpha(pButton, nullptr);
  tickAfter(pButton, 0.5f);
  systemButtonGetFocus(pButton, nullptr);
  EXPECT_EQ(pButton->getInt("curTextureLayer"), 9);
  EXPECT_EQ(pButton->getInt("curTextLayer"), 10);
  // Half way through: the new fade starts from the colour shown and steps half of the way at once.
  const u32 uiHalf = alphaOf(imageColor("B"));
  EXPECT_GT(uiHalf, 128u);
  tickAfter(pButton, 0.5f);
  EXPECT_EQ(imageColor("B"), 0xFF300000u) << "ends when the fade in would have ended";
  EXPECT_EQ(textColor("B"), 0xFF003000u);

  pButton->mp_bTransitionDone = 1;
  systemButtonLoseFocus(pButton, nullptr);
  EXPECT_EQ(pButton->getInt("curTextureLayer"), 0) << "no textureLayer: 0";
  tickAfter(pButton, 0.125f);
  EXPECT_NE(imageColor("B"), 0xFF300000u);
  EXPECT_NE(imageColor("B"), 0xFF100000u);
  tickAfter(pButton, 0.125f);
  EXPECT_EQ(imageColor("B"), 0xFF100000u);
  systemButtonGetFocus(pButton, nullptr);
  tickAfter(pButton, 0.25f);
  EXPECT_NE(textColor("B"), 0xFF003000u) << "half of the rollover-in time";
  tickAfter(pButton, 0.25f);
  EXPECT_EQ(textColor("B"), 0xFF003000u);
}

// Fade out and the immediate forms: alpha goes to 0, the immediate out hides the button and tells its children.
TEST_F(ButtonTest, TransitionsOutHideTheButton) {
  loadScreen(button("B", R"(, "textureName_off": "Pad", "buttonTransitionOutTime": 0.5)",
                    R"({"name": "Child", "properties": {
                       "onTransitionOut": {"event": {"calls": [{"call": "recordEvent"}]}}}})") +
             "," + button("C", R"(, "textureName_off": "Pad",
                    "onBecomeInvisible": {"event": {"calls": [{"call": "recordEvent"}]}})"));
  ClWidget* pB = ClUI::getWidget("B");
  systemButtonImmediateTransitionIn(pB, nullptr);
  EXPECT_EQ(imageColor("B"), 0xFF100000u);
  systemButtonTransitionOutToAlpha(pB, nullptr);
  EXPECT_EQ(pB->mp_bTransitioningOut, 1u);
  EXPECT_EQ(pB->mp_uiInputMask & 3u, 0u);
  tickAfter(pB, 0.5f);
  EXPECT_EQ(imageColor("B"), 0x00100000u);
  EXPECT_EQ(textColor("B"), 0x00001000u);

  ClWidget* pC = ClUI::getWidget("C");
  systemButtonImmediateTransitionIn(pC, nullptr);
  systemButtonImmediateTransitionOut(pC, nullptr);
  EXPECT_EQ(pC->mp_bVisible, 0u);
  EXPECT_EQ(alphaOf(imageColor("C")), 0u);
  systemButtonImmediateTransitionOut(pB, nullptr);
  EXPECT_EQ(g_events, (std::vector<std::string>{"C " + std::to_string(KvStrHash("onBecomeInvisible")),
                                                "Child " + std::to_string(KvStrHash("onTransitionOut"))}));
}

// The held repeat counts the gameplay clock only; one event a frame at most; a hidden button stops.
TEST_F(ButtonTest, HeldRepeatRunsOnTheGameplayClock) {
  loadScreen(button("B", R"(, "timeUntilFirstHeldEvent": 0.5, "timeUntilNextHeldEvents": 0.2,
      "onHeldButtonEvent": {"event": {"calls": [{"call": "recordEvent"}]}})") +
             "," + button("Every", R"(, "timeUntilFirstHeldEvent": 0.1,
      "onHeldButtonEvent": {"event": {"calls": [{"call": "recordEvent"}]}})"));
  ClWidget* pB = ClUI::getWidget("B");
  systemButtonStartHeldEventTimer(pB, nullptr);
  struct SFrame {
    f32 fSystem;
    f32 fGameplay;
    size_t uEvents;
  };
  const SFrame aFrames[] = {{0.4f, 0.0f, 0}, {0.0f, 0.4f, 0}, {0.0f, 0.2f, 1}, {0.0f, 5.0f, 2}, {0.0f, 0.1f, 2},
                            {0.0f, 0.15f, 3}};
  for (const SFrame& frame : aFrames) {
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = frame.fSystem;
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = frame.fGameplay;
    systemButtonTickHeldEvent(pB, nullptr);
    EXPECT_EQ(g_events.size(), frame.uEvents) << frame.fGameplay;
  }
  systemButtonStopHeldEventTimer(pB, nullptr);
  systemButtonTickHeldEvent(pB, nullptr);
  EXPECT_EQ(g_events.size(), 3u);

  g_events.clear();
  ClWidget* pEvery = ClUI::getWidget("Every");
  systemButtonStartHeldEventTimer(pEvery, nullptr);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.2f;
  for (int i = 0; i < 3; ++i) systemButtonTickHeldEvent(pEvery, nullptr);
  EXPECT_EQ(g_events.size(), 3u) << "no next time: every frame";
  pEvery->setVisible(0);
  systemButtonTickHeldEvent(pEvery, nullptr);
  EXPECT_EQ(g_events.size(), 3u);
  EXPECT_EQ(pEvery->getInt("ButtonHeld"), 0);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
  EXPECT_KV_ASSERT(systemButtonStartHeldEventTimer(ClUI::getWidget("Screen"), nullptr), "timeUntilFirstHeldEvent");
}

// A click switches only from 0.5 s after the fade in ended; a button without a timer never switches.
TEST_F(ButtonTest, ClickSwitchWaitsHalfASecondAfterTheFade) {
  const std::string click = R"(, "onClick": {"event": {"calls": [{"call": "systemButtonClickSwitch",
      "params": [{"id": "Switcher"}, {"id": "Second"}]}]}},
      "onTick": {"event": {"calls": [{"call": "systemSetTransitionDoneAndClickEventMaskAfterTimer"}]}})";
  loadScreen(button("B", click) + "," + button("NoTimer", R"(, "onClick": {"event": {"calls": [
      {"call": "systemButtonClickSwitch", "params": [{"id": "Switcher"}, {"id": "Second"}]}]}})") +
             R"(, {"name": "Switcher", "children": [{"name": "First"}, {"name": "Second"}], "switched": ["First", "Second"]})");
  ClWidget* pSwitcher = ClUI::getWidget("Switcher");
  ClWidget* pB = ClUI::getWidget("B");
  const u32 uiTarget = ClUI::getWidget("Second")->mp_uiInstanceNameHash;
  const auto switched = [pSwitcher, uiTarget] {
    for (u32 i = 0; i < pSwitcher->mp_SwitchedChildren.getSize(); ++i) {
      const SWidgetSwitchedChild& child = pSwitcher->mp_SwitchedChildren[i];
      if (child.mp_pChild->mp_uiInstanceNameHash == uiTarget && child.mp_uiState != E_SWITCH_STATE_INACTIVE) {
        return true;
      }
    }
    return false;
  };
  ASSERT_GT(pSwitcher->mp_SwitchedChildren.getSize(), 0u);
  ClUI::getWidget("NoTimer")->callEvent(KvStrHash("onClick"));
  EXPECT_FALSE(switched());
  systemButtonTransitionInFromAlpha(pB, nullptr);
  tickAfter(pB, 0.3f);
  pB->callEvent(KvStrHash("onClick"));
  EXPECT_FALSE(switched()) << "timer -0.3";
  tickAfter(pB, 0.2f);
  pB->callEvent(KvStrHash("onClick"));
  EXPECT_TRUE(switched()) << "timer -0.5";
}

// Disabling removes the hot spot for good, marks the button and shows the disabled colours that exist.
TEST_F(ButtonTest, DisableRemovesTheHotSpotAndShowsDisabledColours) {
  loadScreen(button("B", R"(, "textureName_off": "Pad", "textureColor_disabled": {"color": "0x80808080"},
      "onClick": {"event": {"calls": [{"call": "systemDisableButton", "params": ["B"]}]}})") +
             "," + button("Bad", R"(, "onClick": {"event": {"calls": [{"call": "systemDisableButton",
      "params": ["Missing"]}]}})"));
  ClWidget* pB = ClUI::getWidget("B");
  systemButtonLoad(pB, nullptr);
  systemButtonLoad(ClUI::getWidget("Bad"), nullptr);
  systemButtonImmediateTransitionIn(pB, nullptr);
  renderFrame();
  ASSERT_FALSE(hotSpot(pB).empty());
  const i32 iDetectors = ClPointerTracker::getNumDetectors();
  pB->callEvent(KvStrHash("onClick"));
  EXPECT_EQ(pB->getInt("PtrDetector"), 0);
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), iDetectors - 1);
  EXPECT_EQ(pB->getInt("disabled"), 1);
  EXPECT_EQ(pB->getInt("gridDisabled"), 1);
  EXPECT_EQ(imageColor("B"), 0x80808080u);
  EXPECT_EQ(textColor("B"), 0xFF001000u) << "no disabled text colour: kept";
  renderFrame();
  EXPECT_EQ(pB->getInt("PtrDetector"), 0);
  EXPECT_KV_ASSERT(ClUI::getWidget("Bad")->callEvent(KvStrHash("onClick")), "Widget [Missing] does not exist!!!");
}

// Show and hide fire the tooltip's transitions (show only while visible); the render keeps it at the pointer.
TEST_F(ButtonTest, TooltipFollowsThePointerAndComesAndGoes) {
  loadScreen(button("B", R"(, "tooltipWidgetID": {"id": "Tip"})") +
             R"(, {"name": "Tip", "properties": {"canvas": {"id": "FULL"}, "widgetLayout": )" +
             layout(0, 3.0f, 4.0f, 0) + R"(,
      "onTransitionIn": {"event": {"calls": [{"call": "recordEvent"}]}},
      "onTransitionOut": {"event": {"calls": [{"call": "recordEvent"}]}}}})");
  ClWidget* pB = ClUI::getWidget("B");
  systemButtonLoad(pB, nullptr);
  ClPointerTracker::m_afPosition[0] = 0.5f;   // 160 pixels: 80 units
  ClPointerTracker::m_afPosition[1] = 0.25f;  // 60 pixels: 30 units
  systemImageShowTooltipIfPresent(pB, nullptr);
  const u32 uiIn = KvStrHash("onTransitionIn");
  const u32 uiOut = KvStrHash("onTransitionOut");
  EXPECT_EQ(g_events, (std::vector<std::string>{"Tip " + std::to_string(uiIn)}));
  const SLayoutPlacement at = KvLayoutPlacement(ClUI::getWidget("Tip")->getLayout("widgetLayout"));
  EXPECT_EQ((std::vector<f32>{at.mp_fX, at.mp_fY}), (std::vector<f32>{83.0f, 34.0f}));
  ClPointerTracker::m_afPosition[0] = 0.25f;
  renderFrame();
  const SLayoutPlacement moved = KvLayoutPlacement(ClUI::getWidget("Tip")->getLayout("widgetLayout"));
  EXPECT_EQ(moved.mp_fX, 43.0f);
  pB->setVisible(0);
  ClUIEventSystemFunctions::findFunction(KvStrHash("systemButtonShowTooltipIfPresent"))(pB, nullptr);
  ClUIEventSystemFunctions::findFunction(KvStrHash("systemButtonHideTooltipIfPresent"))(pB, nullptr);
  EXPECT_EQ(g_events, (std::vector<std::string>{"Tip " + std::to_string(uiIn), "Tip " + std::to_string(uiOut)}));
}

// A settled button's hot spot is the rectangle its image is drawn in: an atlas image's trimmed part at any canvas
// scale, also when only the rollover look names an image; else the UI texture's rectangle.
TEST_F(ButtonTest, HotSpotIsTheDrawnImageAtEveryScale) {
  struct SCase {
    f32 fResolutionHeight;
    const char* pExtra;
    std::vector<f32> expected;
  };
  const SCase aCases[] = {
      {432.0f, R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Knob")", {28, 88, 22, 42}},
      {216.0f, R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Knob")", {14, 44, 11, 21}},
      {432.0f, R"(, "atlas": {"id": "Atlas"}, "textureName_rollover": "Roll")", {28, 88, 22, 42}},
      {432.0f, R"(, "textureName_off": "Pad")", {20, 60, 10, 30}},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(std::to_string(c.fResolutionHeight) + c.pExtra);
    fullCanvas(c.fResolutionHeight, {216});
    loadScreen(button("B", c.pExtra));
    ClWidget* pB = ClUI::getWidget("B");
    systemButtonLoad(pB, nullptr);
    systemButtonImmediateTransitionIn(pB, nullptr);
    if (pB->findProperty(KvStrHash("curTexture")) == nullptr) {
      systemButtonGetFocus(pB, nullptr);  // the rollover look names the image
    }
    renderFrame();
    EXPECT_EQ(hotSpot(pB), c.expected);
    ASSERT_GT(Cl2d::getNumSprites(), 1) << "the image, then the text";
    const SQueuedSprite image = queued(0);
    EXPECT_EQ(hotSpot(pB), (std::vector<f32>{image.fX, image.fX + image.fWidth, image.fY, image.fY + image.fHeight}));
    restartUI();
  }
}

// Forced hot-spot sizes (canvas units, scale 2) by the anchor, and the anchors that have no forced size.
TEST_F(ButtonTest, ForcedHotSpotSizesFollowTheAnchor) {
  struct SCase {
    std::string extra;
    std::vector<f32> expected;
  };
  const std::string atlas = R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Knob")";
  const std::string pad = R"(, "textureName_off": "Pad")";
  const SCase aCases[] = {
      {atlas + R"(, "widgetLayout": )" + layout(0, 60.0f, 40.0f, 7) +
           R"(, "forcedHotSpotWidth": 50.0, "forcedHotSpotHeight": 30.0)",
       {68, 168, 52, 112}},
      {pad + R"(, "forcedHotSpotWidth": 30.0, "forcedHotSpotHeight": 5.0)", {20, 80, 10, 20}},
      {pad + R"(, "forcedHotSpotWidth": 0.0, "widgetLayout": )" + layout(0, 10.0f, 50.0f, 3) +
           R"(, "forcedHotSpotHeight": 5.0)",
       {20, 60, 90, 100}},
      {pad + R"(, "widgetLayout": )" + layout(0, 10.0f, 50.0f, 6) + R"(, "forcedHotSpotHeight": 5.0)",
       {20, 60, 95, 105}},
  };
  std::string buttons;
  for (size_t i = 0; i < std::size(aCases); ++i) {
    buttons += (i == 0 ? "" : ",") + button("B" + std::to_string(i), aCases[i].extra);
  }
  loadScreen(buttons);
  for (size_t i = 0; i < std::size(aCases); ++i) {
    ClWidget* pB = ClUI::getWidget(("B" + std::to_string(i)).c_str());
    systemButtonLoad(pB, nullptr);
    systemButtonImmediateTransitionIn(pB, nullptr);
  }
  renderFrame();
  for (size_t i = 0; i < std::size(aCases); ++i) {
    EXPECT_EQ(hotSpot(ClUI::getWidget(("B" + std::to_string(i)).c_str())), aCases[i].expected) << i;
  }
}

TEST_F(ButtonTest, UnsupportedForcedAnchorsStop) {
  loadScreen(button("Atlas", R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Knob", "forcedHotSpotWidth": 5.0)") +
             "," + button("Pad", R"(, "textureName_off": "Pad", "forcedHotSpotWidth": 5.0, "widgetLayout": )" +
                          layout(0, 10.0f, 5.0f, 1)));
  for (const char* pName : {"Atlas", "Pad"}) {
    ClWidget* pB = ClUI::getWidget(pName);
    systemButtonLoad(pB, nullptr);
    systemButtonImmediateTransitionIn(pB, nullptr);
  }
  EXPECT_KV_FATAL(buttonRegisterWithPointer(ClUI::getWidget("Atlas")), "[buttonRegisterWithPointer]");
  EXPECT_KV_ASSERT(buttonRegisterWithPointer(ClUI::getWidget("Pad")), "Implement alignment");
}

// A text button's hot spot is its text's box; a forced width keeps the box's centre with a centred text.
TEST_F(ButtonTest, TextHotSpotAndItsForcedWidth) {
  const std::string centred = R"(, "textLayout": )" + layout(0, 40.0f, 20.0f, 1);
  loadScreen(button("Text", centred) + "," + button("Forced", centred + R"(, "forcedHotSpotWidth": 30.0)") + "," +
             button("Empty", R"(, "dynamicText": "")"));
  for (const char* pName : {"Text", "Forced", "Empty"}) {
    ClWidget* pB = ClUI::getWidget(pName);
    systemButtonLoad(pB, nullptr);
    systemButtonImmediateTransitionIn(pB, nullptr);
  }
  renderFrame();
  const std::vector<f32> text = hotSpot(ClUI::getWidget("Text"));
  const std::vector<f32> forced = hotSpot(ClUI::getWidget("Forced"));
  ASSERT_EQ(text.size(), 4u);
  ASSERT_EQ(forced.size(), 4u);
  EXPECT_GT(text[1] - text[0], 0.0f);
  EXPECT_NE(text[1] - text[0], 60.0f);
  EXPECT_EQ(forced[1] - forced[0], 60.0f);
  EXPECT_EQ(forced[0] + forced[1], text[0] + text[1]);
  EXPECT_EQ((std::vector<f32>{forced[2], forced[3]}), (std::vector<f32>{text[2], text[3]}));
  EXPECT_TRUE(hotSpot(ClUI::getWidget("Empty")).empty()) << "no text, no hot spot";
}

// No hot spot while fading or clipped away; the next frames try again. The hot-spot removal brings a new one at the
// next render.
TEST_F(ButtonTest, HotSpotWaitsForTheFadeAndTheClip) {
  loadScreen(button("B", R"(, "textureName_off": "Pad", "buttonTransitionInTime": 0.5,
      "onTick": {"event": {"calls": [{"call": "systemSetTransitionDoneAndClickEventMaskAfterTimer"}]}})"));
  ClWidget* pB = ClUI::getWidget("B");
  systemButtonLoad(pB, nullptr);
  systemButtonTransitionInFromAlpha(pB, nullptr);
  renderFrame();
  EXPECT_TRUE(hotSpot(pB).empty());
  tickAfter(pB, 0.5f);
  g_kvClipRect = {0.5f, 1.0f, 0.0f, 1.0f};
  renderFrame();
  EXPECT_TRUE(hotSpot(pB).empty()) << "clipped away";
  g_kvClipRect = {0.0f, 0.125f, 0.0f, 1.0f};
  renderFrame();
  EXPECT_EQ(hotSpot(pB), (std::vector<f32>{20, 40, 10, 30})) << "clipped to the left 40 pixels";
  g_kvClipRect = gc_kvEmptyRect;
  const i32 iFirst = pB->getInt("PtrDetector");
  ClUIEventSystemFunctions::findFunction(KvStrHash("systemButtonUnregisterWithMouse"))(pB, nullptr);
  EXPECT_EQ(pB->getInt("PtrDetector"), 0);
  renderFrame();
  EXPECT_NE(pB->getInt("PtrDetector"), 0);
  EXPECT_EQ(hotSpot(pB), (std::vector<f32>{20, 60, 10, 30}));
  (void)iFirst;
}

// An atlas image is the parent window of the button's children (and its text, which it limits with
// "textRelativeToImage" in canvas units); a UI-texture image is not.
TEST_F(ButtonTest, AtlasImageIsTheParentWindowAndLimitsTheText) {
  const std::string marker = R"({"name": "Marker", "properties": {"onRender": {"event": {"single": "seeParentWindow"}}}})";
  loadScreen(button("Atlas", R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Knob")", marker));
  systemButtonLoad(ClUI::getWidget("Atlas"), nullptr);
  renderFrame();
  EXPECT_EQ(g_windowSeen, (std::vector<f32>{20, 100, 10, 50})) << "the 80 x 40 frame";
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0) << "popped after the children";

  restartUI();
  loadScreen(button("Pad", R"(, "textureName_off": "Pad", "textRelativeToImage": true)", marker));
  systemButtonLoad(ClUI::getWidget("Pad"), nullptr);
  renderFrame();
  EXPECT_EQ(g_windowSeen, (std::vector<f32>{-1.0f}));

  // "Slim" is 16 pixels high at scale 2: the size-16 text (18 pixels a line) shrinks to size 12.
  restartUI();
  loadScreen(button("Slim", R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Slim", "textRelativeToImage": true)") +
             "," + button("Free", R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Slim",
                 "textRelativeToImage": true, "clampTextToImage": false, "widgetLayout": )" +
                          layout(0, 10.0f, 60.0f, 0)));
  systemButtonLoad(ClUI::getWidget("Slim"), nullptr);
  systemButtonLoad(ClUI::getWidget("Free"), nullptr);
  renderFrame();
  std::vector<f32> heights;
  for (const SQueuedSprite& s : sprites()) heights.push_back(s.fHeight);
  EXPECT_EQ(heights, (std::vector<f32>{16, 12, 12, 16, 16, 16})) << "image, \"Go\" limited, image, \"Go\" free";

  // The same at scale 1, with a family made for that resolution height.
  writeFamily("Mono216", {8, 12, 16}, true, 216);
  ClFontFamilyMgr::loadFontFamilyForHeight("Mono216", nullptr, 216);
  fullCanvas(216.0f, {216});
  restartUI();
  loadScreen(button("Slim", R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Slim", "textRelativeToImage": true)"));
  ClWidget* pSlim = ClUI::getWidget("Slim");
  pSlim->setID(KvStrHash("fontName"), KvStrHash("Mono216"));
  systemButtonLoad(pSlim, nullptr);
  renderFrame();
  heights.clear();
  for (const SQueuedSprite& s : sprites()) heights.push_back(s.fHeight);
  EXPECT_EQ(heights, (std::vector<f32>{16, 12, 12})) << "image, \"Go\" limited";
}

// What a button's render keeps from frame to frame follows each change: the next frame queues what a render that
// reads everything again queues, and something else than the frame before. A countdown ticking keeps the record.
TEST_F(ButtonTest, TheKeptRecordFollowsEachChangeAsAFreshRenderDoes) {
  loadScreen(button("B", R"(, "atlas": {"id": "Atlas"}, "textureName_off": "Knob", "textureName_rollover": "Roll",
      "textLayer": 60, "textShadowOffset": {"floatxy": [1.0, 1.0]}, "textShadowColor": {"color": "0xFF000000"},
      "transitionTimer": 5.0, "onTick": {"event": {"calls": [{"call":
      "systemSetTransitionDoneAndClickEventMaskAfterTimer"}]}})"));
  ClWidget* pB = ClUI::getWidget("B");
  systemButtonLoad(pB, nullptr);
  const auto frame = [] {
    renderFrame();
    std::vector<std::vector<f32>> out;
    for (const SQueuedSprite& q : sprites()) {
      out.push_back({q.fX, q.fY, q.fWidth, q.fHeight, q.fU0, q.fV0, q.fU1, q.fV1, static_cast<f32>(q.uiColor >> 8),
                     static_cast<f32>(q.uLayer), static_cast<f32>(q.pSignature == nullptr)});
    }
    return out;
  };
  struct SCase {
    const char* pWhat;
    std::function<void()> change;
    bool bVisible;
  };
  const std::vector<SCase> cases = {
      {"focus look", [pB] { systemButtonGetFocus(pB, nullptr); }, true},
      {"dynamic text", [pB] { pB->setString(KvStrHash("dynamicText"), "Stop"); }, true},
      {"text layer", [pB] { pB->setInt(KvStrHash("curTextLayer"), 90); }, true},
      {"point size", [pB] { pB->setInt(KvStrHash("pointSize"), 8); }, true},
      {"shadow offset", [pB] { pB->setFloatXY(KvStrHash("textShadowOffset"), std::vector<f32>{3, 2}.data()); }, true},
      {"canvas at scale 1 (another atlas suffix)", [] { fullCanvas(216.0f, {216}); }, true},
      {"countdown ticked", [pB] { tickAfter(pB, 0.25f); }, false},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pWhat);
    frame();
    const auto before = frame();
    c.change();
    const auto after = frame();
    pB->invalidateFrameCache();
    const auto fresh = frame();
    EXPECT_EQ(after, fresh);
    EXPECT_EQ(after != before, c.bVisible);
  }
  EXPECT_FLOAT_EQ(pB->getFloat("transitionTimer"), 4.75f);
  const u32 uiVersion = pB->mp_uiPropertyVersion;
  tickAfter(pB, 0.25f);
  EXPECT_FLOAT_EQ(pB->getFloat("transitionTimer"), 4.5f);
  EXPECT_EQ(pB->mp_uiPropertyVersion, uiVersion) << "the countdown leaves what the render keeps alone";
}

// A focused and an unfocused button read back from the screen: the sample font, a white image tinted by the look's
// colours. Tolerance as for the text pictures: a glyph or an image edge moved by a pixel, or another colour, fails.
class ButtonPictureTest : public ButtonTest {
 protected:
  void SetUp() override {
    ButtonTest::SetUp();
    if (HasFatalFailure()) return;
    std::filesystem::copy(KV_CONTENT_FONTS_DIR, m_root,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
    ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledge", nullptr, 432);
    writeLoose("Images/UI/Wide_216.png",
               KvTestEncodeImage(std::vector<uint32_t>(48 * 12, 0xFFFFFFFFu), 48, 12, ETestImageFormat::PNG));
    ClUI::loadUITexture("Wide", false);
  }
};

TEST_F(ButtonPictureTest, FocusedAndUnfocusedButtons) {
  const std::string centred = layout(7, 0.0f, 0.0f, 7);
  loadScreen(button("B", R"(, "textureName_off": "Wide", "textureName_rollover": "Wide", "fontName":
      {"id": "FontAcknowledge"}, "textAlign": {"id": "C"}, "dynamicText": "Play", "textLayer": 60, "widgetLayout": )" +
                              centred + R"(, "textLayout": )" + centred));
  ClWidget* pB = ClUI::getWidget("B");
  systemButtonLoad(pB, nullptr);
  systemButtonImmediateTransitionIn(pB, nullptr);
  renderFrame();
  const STestPicture unfocused = KvTestDrawUIQueue();
  systemButtonGetFocus(pB, nullptr);
  renderFrame();
  const STestPicture focused = KvTestDrawUIQueue();
  EXPECT_NE(unfocused.pixels, focused.pixels);
  // The image's corner in the off and the rollover image colours (0xFF100000, 0xFF300000).
  const auto at = [](const STestPicture& p, int x, int y) { return p.pixels[static_cast<size_t>(y * p.iWidth + x)]; };
  EXPECT_EQ(at(unfocused, 113, 109) & 0x00FFFFFFu, 0x00100000u);
  EXPECT_EQ(at(focused, 113, 109) & 0x00FFFFFFu, 0x00300000u);
  constexpr STestPictureTolerance tolerance = {8, 0.995, 64, 0.25};
  KvTestExpectReference(unfocused, "ButtonUnfocused", tolerance);
  KvTestExpectReference(focused, "ButtonFocused", tolerance);
}

}  // namespace
