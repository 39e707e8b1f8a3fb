// The UI frame: pad actions turned into events on the focused widgets (edges, order, masks, refocusing,
// disconnected and blocked pads, the click-and-back delay), deferred events on both clocks, the trees'
// tick and render.
#include <algorithm>
#include <map>

#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Tests/Corvane/UI/UIPadInput.h"
#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

const char* const gc_apEvents[] = {"onLeft",      "onRight",     "onDown", "onUp",   "onClick",
                                   "onUnClick",   "onClickAlt1", "onClickAlt2", "onBack", "onStart"};
const char* const gc_apTraced[] = {"onLeft",      "onRight",     "onDown", "onUp",    "onClick",  "onUnClick",
                                   "onClickAlt1", "onClickAlt2", "onBack", "onStart", "onTick",   "onRender"};

// What one of a widget's events runs after record0: "event=procedure", or "" for nothing more.
using SExtraCall = std::pair<std::string, std::string>;

// A widget whose every pad event, "onTick" and "onRender" run record0 (and one of them a procedure more).
std::string widget(const std::string& name, const SExtraCall& extra = {}) {
  std::string properties;
  for (const char* pEvent : gc_apTraced) {
    const std::string more = extra.first == pEvent ? R"(, {"call": ")" + extra.second + "\"}" : "";
    properties += std::string(properties.empty() ? "" : ",") + "\"" + pEvent +
                  R"(": {"event": {"calls": [{"call": "record0"})" + more + "]}}";
  }
  return R"({"name": ")" + name + R"(", "properties": {)" + properties + "}}";
}

SExtraCall call(const char* pEvent, const char* pProcedure) { return {pEvent, pProcedure}; }

// Procedures of the tests.
void focusW2(ClWidget* pThis, WidgetEventProcedureCall*) {
  ClUI::removeFocus(pThis, gc_uiANY_PAD);
  ClUI::setFocus(ClUI::getWidget("W2"), gc_uiANY_PAD);
}
void dropFocus(ClWidget* pThis, WidgetEventProcedureCall*) { ClUI::removeFocus(pThis, gc_uiANY_PAD); }
// Queues "onBack" and "onStart" on W2 at once (0 seconds, system clock).
void deferBack(ClWidget*, WidgetEventProcedureCall*) {
  ClUI::addDeferredEvent(ClUI::getWidget("W2"), gc_uiCLOCK_SYSTEM, KvStrHash("onBack"), 0.0f);
  ClUI::addDeferredEvent(ClUI::getWidget("W2"), gc_uiCLOCK_SYSTEM, KvStrHash("onStart"), 0.0f);
}

class UIFrameTest : public UITest {
 protected:
  static void registerProcedures() {
    ClUIEventSystemFunctions::registerFunction(H("focusW2"), &focusW2);
    ClUIEventSystemFunctions::registerFunction(H("dropFocus"), &dropFocus);
    ClUIEventSystemFunctions::registerFunction(H("deferBack"), &deferBack);
  }
  // A UI started again, with nothing loaded and no action held (for the cases of a table that load their
  // own data).
  void restartUI() {
    m_pads.release();
    ClUI::terminate();
    ClUI::initialise();
    registerProcedures();
  }

  void SetUp() override {
    UITest::SetUp();
    registerProcedures();
    m_pads.start();
    for (const char* pEvent : gc_apEvents) {
      m_eventNames[H(pEvent)] = pEvent;
    }
    m_eventNames[H("onTick")] = "onTick";
    m_eventNames[H("onRender")] = "onRender";
  }
  void TearDown() override {
    m_pads.stop();
    UITest::TearDown();
  }

  void loadWidgets(const SExtraCall& w1Extra = {}, const SExtraCall& w2Extra = {}) {
    ASSERT_TRUE(load("A", R"({"root": {"name": "Screen", "children": [)" + widget("W1", w1Extra) + "," +
                              widget("W2", w2Extra) + "]}}"));
    g_uiTrace.runs.clear();
  }

  // One input frame as the input manager makes it: the frame flips, this frame's values are the given ones
  // (action -> value) on the hardware pad, 0 elsewhere. Then the UI's update.
  void frame(const std::map<i32, f32>& values = {}, u32 uiHardwarePad = 0) { m_pads.frame(values, uiHardwarePad); }

  // "event:widget" for each pad event run since the last call (ticks and renders left out unless asked).
  std::vector<std::string> events(bool bWithTickAndRender = false) {
    std::vector<std::string> out;
    for (const SProcedureRun& run : g_uiTrace.runs) {
      if (run.procedure != "record0") {
        continue;
      }
      const std::string name = m_eventNames[run.uiEventHash];
      if (!bWithTickAndRender && (name == "onTick" || name == "onRender")) {
        continue;
      }
      out.push_back(name + ":" + run.pWidget->getName());
    }
    g_uiTrace.runs.clear();
    return out;
  }

  static f32 delay() { return ClUI::getRootWidget()->getFloat("delayMenuInputClickBack"); }

  using Events = std::vector<std::string>;
  CUIPadInput m_pads;
  std::map<u32, std::string> m_eventNames;
};

TEST_F(UIFrameTest, AnActionFiresOnItsEdgeOnlyAndExactlyTheThresholdIsNotPressed) {
  loadWidgets();
  ClUI::setFocus(W("W1"), 0);
  g_uiTrace.runs.clear();
  struct SCase {
    const char* pName;
    std::vector<f32> values;  // action 19, one per frame
    std::vector<Events> expected;
  } const aCases[] = {
      {"threshold", {0.1f, 0.1f, 0.0f}, {{}, {}, {}}},
      {"just above", {0.1001f, 0.0f}, {{"onClick:W1"}, {"onUnClick:W1"}}},
      {"held", {1.0f, 1.0f, 1.0f, 0.0f, 0.0f}, {{"onClick:W1"}, {}, {}, {"onUnClick:W1"}, {}}},
      {"release to the threshold", {0.5f, 0.1f}, {{"onClick:W1"}, {"onUnClick:W1"}}},
      {"press again", {1.0f, 0.0f, 1.0f}, {{"onClick:W1"}, {"onUnClick:W1"}, {"onClick:W1"}}},
  };
  for (const SCase& c : aCases) {
    for (size_t i = 0; i < c.values.size(); ++i) {
      frame({{19, c.values[i]}});
      EXPECT_EQ(events(), c.expected[i]) << c.pName << " frame " << i;
    }
    frame();
    events();
  }
}

TEST_F(UIFrameTest, EventsComeInTheirOrderAndTheMaskBitsHoldBackTheirOwnEventsButNeverStart) {
  loadWidgets();
  ClUI::setFocus(W("W1"), 0);
  const std::map<i32, f32> all = {{13, 1.0f}, {14, 1.0f}, {15, 1.0f}, {16, 1.0f}, {19, 1.0f},
                                  {20, 1.0f}, {21, 1.0f}, {22, 1.0f}, {23, 1.0f}};
  const Events everyEvent = {"onLeft:W1",      "onRight:W1",      "onDown:W1", "onUp:W1",   "onClick:W1",
                             "onClickAlt1:W1", "onClickAlt2:W1", "onBack:W1", "onStart:W1"};
  struct SCase {
    u32 uiClearedBits;
    Events held;  // events the cleared bits hold back
  } const aCases[] = {
      {0, {}},
      {gc_uiINPUT_CLICK, {"onClick:W1", "onClickAlt1:W1", "onClickAlt2:W1"}},
      {gc_uiINPUT_BACK, {"onBack:W1"}},
      {gc_uiINPUT_UP, {"onUp:W1"}},
      {gc_uiINPUT_DOWN, {"onDown:W1"}},
      {gc_uiINPUT_LEFT, {"onLeft:W1"}},
      {gc_uiINPUT_RIGHT, {"onRight:W1"}},
      {0xFFFFFFFFu, {"onLeft:W1", "onRight:W1", "onDown:W1", "onUp:W1", "onClick:W1", "onClickAlt1:W1",
                     "onClickAlt2:W1", "onBack:W1"}},
  };
  for (const SCase& c : aCases) {
    W("W1")->mp_uiInputMask = ~c.uiClearedBits;
    g_uiTrace.runs.clear();
    frame(all);
    Events expected;
    std::copy_if(everyEvent.begin(), everyEvent.end(), std::back_inserter(expected),
                 [&c](const std::string& e) { return std::find(c.held.begin(), c.held.end(), e) == c.held.end(); });
    EXPECT_EQ(events(), expected) << std::hex << c.uiClearedBits;
    frame();  // releases (an onUnClick when click is allowed)
    events();
  }
}

TEST_F(UIFrameTest, AProcedureThatMovesFocusSendsTheRestOfTheFrameToTheNewWidget) {
  struct SCase {
    const char* pMovingEvent;
    std::map<i32, f32> pressed;
    Events expected;
  } const aCases[] = {
      {"onClick", {{19, 1.0f}, {20, 1.0f}, {22, 1.0f}, {23, 1.0f}},
       {"onClick:W1", "onClickAlt1:W2", "onBack:W2", "onStart:W2"}},
      {"onLeft", {{15, 1.0f}, {16, 1.0f}, {19, 1.0f}}, {"onLeft:W1", "onRight:W2", "onClick:W2"}},
  };
  for (const SCase& c : aCases) {
    restartUI();
    loadWidgets(call(c.pMovingEvent, "focusW2"));
    ClUI::setFocus(W("W1"), gc_uiANY_PAD);
    g_uiTrace.runs.clear();
    frame(c.pressed);
    EXPECT_EQ(events(), c.expected) << c.pMovingEvent;
    EXPECT_EQ(ClUI::getFocusedWidget(0), W("W2"));
  }
  // A procedure that leaves no focus ends the pad's checks.
  restartUI();
  loadWidgets(call("onClick", "dropFocus"));
  ClUI::setFocus(W("W1"), gc_uiANY_PAD);
  g_uiTrace.runs.clear();
  frame({{19, 1.0f}, {23, 1.0f}});
  EXPECT_EQ(events(), Events{"onClick:W1"});
}

TEST_F(UIFrameTest, PadsThatAreDisabledDisconnectedBlockedOrOutsideTheExclusiveListFireNothing) {
  loadWidgets();
  ClUI::setFocus(W("W1"), gc_uiANY_PAD);
  struct SCase {
    const char* pName;
    u32 uiHardwarePad;
    u32 uiConnected;  // connected flag of that hardware pad
    u32 bEnabled;     // pad-enabled flag of every logical pad
    i32 iBlocked;
    bool bFires;
  } const aCases[] = {
      {"pad 0 even when not connected", 0, 0, 1, 0, true},
      {"pad 2 connected", 2, 1, 1, 0, true},
      {"pad 2 disconnected", 2, 0, 1, 0, false},
      {"disabled", 2, 1, 0, 0, false},
      {"blocked", 0, 1, 1, 2, false},
  };
  for (const SCase& c : aCases) {
    ClInputHWtoKv::mp_auiPadConnected[c.uiHardwarePad] = c.uiConnected;
    for (u32& bEnabled : ClUI::mp_abPadEnabled) {
      bEnabled = c.bEnabled;
    }
    ClGameStateMgr::blockInput(c.iBlocked);
    frame({{19, 1.0f}}, c.uiHardwarePad);
    EXPECT_EQ(events(), c.bFires ? Events{"onClick:W1"} : Events{}) << c.pName;
    if (c.bFires) {
      EXPECT_EQ(ClUI::mp_uiCurrentLogicalPad, c.uiHardwarePad) << c.pName;
    }
    frame({}, c.uiHardwarePad);
    events();
    ClInputHWtoKv::mp_auiPadConnected[c.uiHardwarePad] = 0;
    ClGameStateMgr::blockInput(0);
  }

  // A logical pad follows the map: logical 1 reads hardware pad 3.
  for (u32& bEnabled : ClUI::mp_abPadEnabled) {
    bEnabled = 1;
  }
  ClUI::removeFocus(W("W1"), gc_uiANY_PAD);
  ClUI::setFocus(W("W1"), 1);
  ClInputManager::m_auiPadMap[1] = 3;
  ClInputHWtoKv::mp_auiPadConnected[3] = 1;
  frame({{22, 1.0f}}, 3);
  EXPECT_EQ(events(), Events{"onBack:W1"});
  ClInputHWtoKv::mp_auiPadConnected[3] = 0;
  frame({}, 3);
  frame({{22, 1.0f}}, 3);
  EXPECT_EQ(events(), Events{}) << "hardware pad 3 is gone";
  ClInputManager::resetLogicalPadMap();

  // The exclusive list takes focus away from a widget it does not hold.
  ClUI::setFocus(W("W2"), gc_uiANY_PAD);
  ClUI::mp_daExclusiveAvailableWidgets.append(W("W1"));
  frame({{19, 1.0f}});
  EXPECT_EQ(events(), Events{});
  EXPECT_EQ(ClUI::getFocusedWidget(0), nullptr) << "W2's any-pad focus was removed";
  EXPECT_EQ(ClUI::getFocusedWidget(1), W("W1"));
}

TEST_F(UIFrameTest, TheClickAndBackDelayLetsDirectionsThroughAndRunsDownOncePerActivePad) {
  loadWidgets();
  ClUI::setFocus(W("W1"), gc_uiANY_PAD);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.02f;
  struct SCase {
    u32 uiActivePads;
    f32 fAfterOneFrame;
  } const aCases[] = {{1, 0.08f}, {2, 0.06f}, {4, 0.02f}};
  for (const SCase& c : aCases) {
    for (u32 i = 1; i < cuiMAX_GAME_PADS; ++i) {
      ClInputHWtoKv::mp_auiPadConnected[i] = i < c.uiActivePads ? 1 : 0;
    }
    ClUI::getRootWidget()->setFloat(H("delayMenuInputClickBack"), 0.1f);
    frame({{15, 1.0f}, {19, 1.0f}, {22, 1.0f}, {23, 1.0f}});
    EXPECT_EQ(events(), Events{"onLeft:W1"}) << c.uiActivePads << " pads";
    EXPECT_NEAR(delay(), c.fAfterOneFrame, 1e-6f) << c.uiActivePads << " pads";
    frame();
    events();
  }
  // It stops at 0, and the frame after that lets clicks through again.
  ClUI::getRootWidget()->setFloat(H("delayMenuInputClickBack"), 0.01f);
  frame();
  EXPECT_EQ(delay(), 0.0f);
  frame({{19, 1.0f}});
  EXPECT_EQ(events(), Events{"onClick:W1"});
  // The countdown runs while input is blocked; a paused gameplay clock holds it.
  frame();
  events();
  for (u32 i = 1; i < cuiMAX_GAME_PADS; ++i) {
    ClInputHWtoKv::mp_auiPadConnected[i] = 0;
  }
  ClUI::getRootWidget()->setFloat(H("delayMenuInputClickBack"), 0.05f);
  ClGameStateMgr::blockInput(1);
  frame();
  EXPECT_NEAR(delay(), 0.03f, 1e-6f);
  ClGameStateMgr::blockInput(0);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
  frame({{19, 1.0f}});
  EXPECT_NEAR(delay(), 0.03f, 1e-6f);
  EXPECT_EQ(events(), Events{});
}

TEST_F(UIFrameTest, DeferredEventsCountDownOnTheirOwnClocks) {
  loadWidgets();
  ClUI::addDeferredEvent(W("W1"), gc_uiCLOCK_SYSTEM, H("onUp"), 0.05f);
  ClUI::addDeferredEvent(W("W2"), gc_uiCLOCK_GAMEPLAY, H("onDown"), 0.05f);
  setFrameTime(0.03f);  // the system clock; the gameplay clock stands (paused)
  frame();
  EXPECT_EQ(events(), Events{});
  frame();
  EXPECT_EQ(events(), Events{"onUp:W1"});
  EXPECT_EQ(ClUI::mp_DeferredEventPool.getCount(), 1);
  EXPECT_EQ(ClUI::mp_DeferredEventPool.get(0)->mp_fTimeLeft, 0.05f) << "a paused gameplay clock holds it";
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.04f;
  frame();
  EXPECT_NEAR(ClUI::mp_DeferredEventPool.get(0)->mp_fTimeLeft, 0.01f, 1e-6f);
  frame();
  EXPECT_EQ(events(), Events{"onDown:W2"});
  EXPECT_EQ(ClUI::mp_DeferredEventPool.getCount(), 0);
}

TEST_F(UIFrameTest, AZeroSecondEventFiresInTheSameUpdateUnlessItWasQueuedWhileDeferredEventsFired) {
  struct SCase {
    const char* pName;
    const char* pQueuingEvent;  // W1's event whose procedure queues onBack on W2
    bool bDeferredTrigger;      // the queuing event itself comes from a deferred event
    Events sameUpdate;
    Events nextUpdate;
  } const aCases[] = {
      // Deferred events fire from the last record to the first.
      {"by a pad event", "onClick", false, {"onClick:W1", "onStart:W2", "onBack:W2"}, {}},
      {"by a tree's tick", "onTick", false, {"onTick:W1", "onStart:W2", "onBack:W2"}, {}},
      {"while firing", "onUp", true, {"onUp:W1"}, {"onStart:W2", "onBack:W2"}},
  };
  for (const SCase& c : aCases) {
    restartUI();
    loadWidgets(call(c.pQueuingEvent, "deferBack"));
    ClUI::setFocus(W("W1"), 0);
    if (c.bDeferredTrigger) {
      ClUI::addDeferredEvent(W("W1"), gc_uiCLOCK_SYSTEM, H(c.pQueuingEvent), 0.0f);
    }
    g_uiTrace.runs.clear();
    const bool bPress = std::string(c.pQueuingEvent) == "onClick";
    frame(bPress ? std::map<i32, f32>{{19, 1.0f}} : std::map<i32, f32>{});
    Events seen = events(true);
    std::erase(seen, "onTick:W2");
    if (std::string(c.pQueuingEvent) != "onTick") {
      std::erase(seen, "onTick:W1");
    }
    EXPECT_EQ(seen, c.sameUpdate) << c.pName;
    if (std::string(c.pQueuingEvent) == "onTick") {
      // Each tick queues another; only the first is of interest.
      continue;
    }
    frame(bPress ? std::map<i32, f32>{{19, 1.0f}} : std::map<i32, f32>{});  // the same input: no edge
    seen = events(true);
    std::erase(seen, "onTick:W1");
    std::erase(seen, "onTick:W2");
    EXPECT_EQ(seen, c.nextUpdate) << c.pName;
  }
}

// A press of the mouse's button over two hot spots, W1's small one on a panel's large one, with F (no hot spot)
// focused: the click goes to the smaller, W1, while it takes clicks and has something to do with them, may be chosen
// and is drawn; otherwise it falls through to the panel. A click that nothing under the pointer takes clicks
// nothing, the focused widget included.
TEST_F(UIFrameTest, APointerClickGoesOnlyToAWidgetOnTheScreenThatMayBeChosen) {
  const struct {
    const char* pName;
    void (*pfnChange)();           // what keeps W1 from the click
    const char* pShown = "Screen";  // the switched child the switcher shows
    bool bClickAction = true;       // W1's data names procedures for "onClick"
    bool bHotSpots = true;
    Events expected = {"onClick:Panel"};
  } aCases[] = {
      {"it may be chosen: the smaller hot spot takes it", [] {}, "Screen", true, true, {"onClick:W1"}},
      {"its input mask lets no click through", [] { W("W1")->mp_uiInputMask &= ~gc_uiINPUT_CLICK; }},
      {"it has no click action", [] {}, "Screen", false},
      {"disabled", [] { W("W1")->setBool(H("disabled"), 1); }},
      {"skipped by the grid's focus moves", [] { W("W1")->setBool(H("gridDisabled"), 1); }},
      {"fading out", [] { W("W1")->mp_bTransitioningOut = 1; }},
      {"hidden", [] { W("W1")->mp_bVisible = 0; }},
      {"its screen hidden", [] { W("Screen")->mp_bVisible = 0; }},
      {"its screen switched out", [] {}, "Other"},
      {"not in the exclusive list",
       [] {
         ClUI::mp_daExclusiveAvailableWidgets.append(W("Panel"));
         ClUI::mp_daExclusiveAvailableWidgets.append(W("F"));
       }},
      {"no hot spot under the pointer", [] {}, "Screen", true, false, {}},
  };
  for (const auto& c : aCases) {
    restartUI();
    const std::string w1 = c.bClickAction ? widget("W1") : R"({"name": "W1"})";
    ASSERT_TRUE(load("A", R"({"root": {"name": "Top", "children": [)" + widget("Panel") + "," + widget("F") +
                              R"(, {"name": "Switcher", "children": [{"name": "Screen", "children": [)" + w1 +
                              R"(]}, {"name": "Other"}], "switched": ["Screen", "Other"]}]}})"));
    for (const char* pName : {"Top", "Panel", "F", "Switcher", "Screen", "W1"}) W(pName)->mp_bVisible = 1;
    W("Switcher")->switchTo(W(c.pShown));
    ClUI::setFocus(W("F"), gc_uiANY_PAD);
    if (c.bHotSpots) {
      const f32 afMin[2] = {0.0f, 0.0f}, afSmall[2] = {0.25f, 0.25f}, afLarge[2] = {1.0f, 1.0f};
      ClPointerTracker::registerDetector(W("W1"), afMin, afSmall, E_POINTER_DETECTOR_WIDGET);
      ClPointerTracker::registerDetector(W("Panel"), afMin, afLarge, E_POINTER_DETECTOR_WIDGET);
    }
    c.pfnChange();
    g_uiTrace.runs.clear();
    // The mouse's button is also hardware pad 0's accept.
    ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_MOUSE_LEFT] = 1.0f;
    frame({{gc_iUI_ACTION_ACCEPT, 1.0f}});
    ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_MOUSE_LEFT] = 0.0f;
    EXPECT_EQ(events(), c.expected) << c.pName;
  }
}

TEST_F(UIFrameTest, UpdateTicksAndRenderDrawsEveryLoadedTree) {
  ASSERT_TRUE(load("A", "{\"root\": " + widget("W1") + "}"));
  ASSERT_TRUE(load("B", "{\"root\": " + widget("W2") + "}"));
  g_uiTrace.runs.clear();
  frame();
  EXPECT_EQ(events(true), (Events{"onTick:W1", "onTick:W2"}));
  ClUI::render();
  EXPECT_EQ(events(true), Events{}) << "invisible trees draw nothing";
  W("W2")->mp_bVisible = 1;
  W("W1")->mp_bVisible = 1;
  ClUI::render();
  EXPECT_EQ(events(true), (Events{"onRender:W1", "onRender:W2"}));
}

}  // namespace
