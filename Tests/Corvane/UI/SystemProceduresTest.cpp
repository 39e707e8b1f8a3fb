// The engine's system event procedures driven from compiled screen descriptions: the registry's names and order,
// values on the root widget and on the widget, forwarding with the forwarding stack, deferral on both clocks, the
// transition helpers, visibility, switching and focus, the pointer (display, lock, move in pixels of the input
// layer and fractions of the tracker), the exclusive list and the build text.
#include <string>
#include <vector>

#include "Corvane/Input/ClInputHWtoKvPlatform.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Windows.h"
#include "Corvane/UI/Cl2d.h"
#include "Tests/Corvane/UI/UITestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

class CSystemHooks : public ClRecordingUIHooks {
 public:
  void registerGameUIFunctions() override {
    ClRecordingUIHooks::registerGameUIFunctions();
    registerSystemUIFunctions();
    registerWindowsUIFunctions();
  }
};

// The UI on a 640 x 432 screen: "FULL" has scale 2.
class SystemProcTest : public UITest {
 protected:
  void SetUp() override {
    m_bStartUI = false;
    UITest::SetUp();
    useScreen(640.0f, 432.0f);
    KvTestSetUIHooks(&m_systemHooks);
    ClUI::initialise();
  }

  // A widget description: name, properties (without braces) and children.
  static std::string widget(const std::string& name, const std::string& properties,
                            const std::string& children = "") {
    return R"({"name": ")" + name + R"(", "properties": {)" + properties + "}" +
           (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
  }
  // An event property calling one procedure with the parameters (JSON list text).
  static std::string call(const std::string& event, const std::string& procedure, const std::string& params = "[]") {
    return "\"" + event + R"(": {"event": {"calls": [{"call": ")" + procedure + R"(", "params": )" + params + "}]}}";
  }
  void loadScreen(const std::string& children) {
    ASSERT_TRUE(load("Screen", R"({"root": )" + widget("Screen", "", children) + "}"));
  }
  void click(const char* pName) { W(pName)->callEvent(H("onClick")); }

  CSystemHooks m_systemHooks;
};

const std::vector<std::string> gc_SYSTEM_NAMES = {
    "systemIdle", "systemSetGlobalValue", "systemSetLocalValue", "systemForwardEvent", "systemForwardEventToParent",
    "systemDoDeferredEventCallSystemClock", "systemDoDeferredEventCallGameplayClock", "systemCallEvent",
    "systemImmediateTransitionIn", "systemImmediateTransitionOut", "systemChildrenTransitionIn",
    "systemChildrenTransitionOut", "systemSetTransitionDoneBasedOnChildren",
    "systemSetTransitionDoneWhenInterpolationsAreDone", "systemSetTransitionDoneAndClickEventMaskAfterTimer",
    "systemSetPointerDisplay", "systemSetFocus", "systemGrabFullFocus", "systemSwitch", "systemSwitchKeepFocus",
    "systemSwitchIfNotTransitioning", "systemSwitchToNextChild", "systemSwitchToPrevChild",
    "systemSetFocusToSwitchedChild", "systemSetFocusToParentIfInFocus", "systemResetPointerFocus",
    "systemSetWidgetAsPointerExclusive", "systemRemovePointerExclusivity", "systemClearPointerExclusive",
    "systemAddWidgetToExclusiveClickableList", "systemClearExclusiveWidgetList",
    "systemSaveWhichLogicalPadIntoGlobalVariable", "systemLockPointer", "systemUnlockPointer", "systemMovePointer",
    "systemBecomeVisible", "systemBecomeVisibleAndChildren", "systemSetVisible", "systemSetVisibleAndOnAllChildren",
    "systemSetVisibleRecursively", "systemPlayOneShotSound", "systemSetBuildNumberText"};
const std::vector<std::string> gc_WINDOW_NAMES = {"systemWindowRender", "systemWindowGetPointer",
                                                  "systemWindowLosePointer", "systemWindowRegisterWithPointer",
                                                  "systemWindowUnregisterWithPointer"};

TEST_F(SystemProcTest, TheGroupsRegisterTheirNamesInOrderAndTheClearAliasSharesItsProcedure) {
  const u32 uiFirst = 5;  // after the five recording procedures
  ASSERT_EQ(ClUIEventSystemFunctions::getCount(), uiFirst + gc_SYSTEM_NAMES.size() + gc_WINDOW_NAMES.size());
  std::vector<std::string> names = gc_SYSTEM_NAMES;
  names.insert(names.end(), gc_WINDOW_NAMES.begin(), gc_WINDOW_NAMES.end());
  for (u32 i = 0; i < names.size(); ++i) {
    const UIEventFunctionEntry& entry = ClUIEventSystemFunctions::mp_entries[uiFirst + i];
    EXPECT_EQ(entry.mp_uiNameHash, H(names[i].c_str())) << names[i];
    EXPECT_EQ(ClUIEventSystemFunctions::findFunction(entry.mp_uiNameHash), entry.mp_pfnFunction) << names[i];
  }
  EXPECT_EQ(ClUIEventSystemFunctions::findFunction(H("systemClearPointerExclusive")),
            ClUIEventSystemFunctions::findFunction(H("systemRemovePointerExclusivity")));
  EXPECT_NE(ClUIEventSystemFunctions::findFunction(H("systemIdle")),
            ClUIEventSystemFunctions::findFunction(H("systemUnlockPointer")));
}

// Global values land on the root widget, local ones on the widget itself, each with its parameter's type.
TEST_F(SystemProcTest, ValuesTakeTheirParameterTypeOnTheRootOrOnTheWidget) {
  std::string properties;
  const char* apProcedures[] = {"systemSetGlobalValue", "systemSetLocalValue"};
  const char* apPrefixes[] = {"g", "l"};
  for (int i = 0; i < 2; ++i) {
    const std::string p = apPrefixes[i];
    properties += R"("on)" + p + R"(": {"event": {"calls": [)";
    properties += R"({"call": ")" + std::string(apProcedures[i]) + R"(", "params": [")" + p + R"(Int", -7]},)";
    properties += R"({"call": ")" + std::string(apProcedures[i]) + R"(", "params": [")" + p + R"(Float", 0.25]},)";
    properties += R"({"call": ")" + std::string(apProcedures[i]) + R"(", "params": [")" + p + R"(Text", "hello"]},)";
    properties += R"({"call": ")" + std::string(apProcedures[i]) + R"(", "params": [")" + p + R"(Id", {"id": "Foo"}]}]}},)";
  }
  properties += call("onOne", "systemSetGlobalValue", R"(["only"])") + "," +
                R"("onSingle": {"event": {"single": "systemSetLocalValue"}})";
  loadScreen(widget("W", properties));
  ClWidget* pRoot = ClUI::getRootWidget();
  ClWidget* pW = W("W");
  pW->callEvent(H("ong"));
  pW->callEvent(H("onl"));
  struct SCase {
    ClWidget* pHolder;
    ClWidget* pOther;
    const char* pPrefix;
  };
  for (const SCase& c : {SCase{pRoot, pW, "g"}, SCase{pW, pRoot, "l"}}) {
    const std::string p = c.pPrefix;
    EXPECT_EQ(c.pHolder->findProperty(H((p + "Int").c_str()))->mp_eType, E_BASE_TYPE_INT);
    EXPECT_EQ(c.pHolder->getInt((p + "Int").c_str()), -7);
    EXPECT_EQ(c.pHolder->findProperty(H((p + "Float").c_str()))->mp_eType, E_BASE_TYPE_FLOAT);
    EXPECT_EQ(c.pHolder->getFloat((p + "Float").c_str()), 0.25f);
    EXPECT_STREQ(c.pHolder->getString((p + "Text").c_str()), "hello");
    EXPECT_EQ(c.pHolder->findProperty(H((p + "Id").c_str()))->mp_eType, E_BASE_TYPE_ID);
    EXPECT_EQ(c.pHolder->getID((p + "Id").c_str()), H("Foo"));
    EXPECT_EQ(c.pOther->findProperty(H((p + "Int").c_str())), nullptr) << p;
  }
  EXPECT_KV_ASSERT(pW->callEvent(H("onOne")), "pData->mp_iNumberWidgetEventProcedureCallDatas == 2");
  EXPECT_KV_ASSERT(pW->callEvent(H("onSingle")), "pData");
}

// runSingle and runList default to true; an INT at index 1 or 2 sets them, another type leaves the default.
TEST_F(SystemProcTest, ForwardingChoosesTheTargetsSingleProcedureAndListFromItsParameters) {
  struct SCase {
    const char* pParams;
    std::vector<std::string> runs;
  };
  const SCase aCases[] = {
      {R"([{"id": "T"}])", {"record0", "record1"}},
      {R"([{"id": "T"}, 0])", {"record1"}},
      {R"([{"id": "T"}, 1, 0])", {"record0"}},
      {R"([{"id": "T"}, 0, -3])", {}},
      {R"([{"id": "T"}, 0.0, 0])", {"record0"}},
      {R"([{"id": "T"}, "no", 5])", {"record0", "record1"}},
      {R"([{"id": "Nobody"}])", {}},
      {R"(["T"])", {}},
      {R"([])", {}},
  };
  std::string sources;
  for (size_t i = 0; i < std::size(aCases); ++i) {
    sources += "," + widget("S" + std::to_string(i), call("onClick", "systemForwardEvent", aCases[i].pParams));
  }
  loadScreen(widget("T", R"("onClick": {"event": {"single": "record0", "calls": [{"call": "record1"}]}})") + sources);
  for (size_t i = 0; i < std::size(aCases); ++i) {
    g_uiTrace.runs.clear();
    const std::string source = "S" + std::to_string(i);
    click(source.c_str());
    EXPECT_EQ(runNames(), aCases[i].runs) << aCases[i].pParams;
    for (const SProcedureRun& run : g_uiTrace.runs) {
      EXPECT_EQ(run.pWidget, W("T"));
      EXPECT_EQ(run.uiEventHash, H("onClick"));
      EXPECT_EQ(W("T")->mp_uiForwardSourceHash, H(source.c_str()));
    }
  }
  // The single-procedure form has no target: nothing happens.
  systemForwardEvent(W("T"), nullptr);
}

std::vector<ClWidget*> g_stackSeen;
void seeForwardingStack(ClWidget*, WidgetEventProcedureCall*) {
  for (i32 i = 0; i < ClUI::mp_daEventForwardingStack.getCount(); ++i) {
    g_stackSeen.push_back(ClUI::mp_daEventForwardingStack[i]);
  }
}

// The parent sees the widget that first forwarded at the bottom of the stack; the stack is empty afterwards.
TEST_F(SystemProcTest, ForwardingToTheParentStacksTheForwardersForTheParentsProcedures) {
  ClUI::terminate();
  m_systemHooks.m_extra = {{"seeForwardingStack", &seeForwardingStack}};
  ClUI::initialise();
  g_stackSeen.clear();
  loadScreen(widget("P", R"("onClick": {"event": {"single": "record0", "calls": [{"call": "seeForwardingStack"}]}})",
                    widget("C", call("onClick", "systemForwardEventToParent"),
                           widget("G", call("onClick", "systemForwardEventToParent", R"([0, 0])")))));
  click("G");
  EXPECT_EQ(g_stackSeen, (std::vector<ClWidget*>{W("G"), W("C")}));
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record0"})) << "C forwards with the defaults";
  EXPECT_EQ(W("P")->mp_uiForwardSourceHash, H("C"));
  EXPECT_EQ(ClUI::mp_daEventForwardingStack.getCount(), 0);
  // G's own parameters reached C: C forwarded only its list, which holds the forward to P.
  g_uiTrace.runs.clear();
  g_stackSeen.clear();
  click("C");
  EXPECT_EQ(g_stackSeen, (std::vector<ClWidget*>{W("C")}));
  systemForwardEventToParent(ClUI::getRootWidget(), nullptr);
  EXPECT_EQ(ClUI::mp_daEventForwardingStack.getCount(), 0);
}

TEST_F(SystemProcTest, DeferralQueuesTheEventOnItsClockAndRefusesOtherParameterTypes) {
  loadScreen(widget("W", call("onA", "systemDoDeferredEventCallSystemClock", R"(["onLater", 1])") + "," +
                             call("onB", "systemDoDeferredEventCallGameplayClock", R"([{"id": "onLaterG"}, 2])") +
                             "," + call("onC", "systemDoDeferredEventCallSystemClock", R"(["onHalf", 0.5])") + "," +
                             call("onBadEvent", "systemDoDeferredEventCallSystemClock", R"([3, 1])") + "," +
                             call("onBadTime", "systemDoDeferredEventCallSystemClock", R"(["onX", "soon"])") + "," +
                             call("onBadEventG", "systemDoDeferredEventCallGameplayClock", R"([0.5, 1])") + "," +
                             call("onBadTimeG", "systemDoDeferredEventCallGameplayClock", R"(["onX", {"id": "a"}])") +
                             "," + call("onOne", "systemDoDeferredEventCallGameplayClock", R"(["onX"])") + "," +
                             R"("onLater": {"event": {"calls": [{"call": "record1"}]}},
                                "onLaterG": {"event": {"calls": [{"call": "record2"}]}})"));
  ClWidget* pW = W("W");
  for (const char* pEvent : {"onA", "onB", "onC"}) {
    pW->callEvent(H(pEvent));
  }
  struct SExpected {
    u32 uiClock;
    const char* pEvent;
    f32 fSeconds;
  };
  const SExpected aExpected[] = {{gc_uiCLOCK_SYSTEM, "onLater", 1.0f},
                                 {gc_uiCLOCK_GAMEPLAY, "onLaterG", 2.0f},
                                 {gc_uiCLOCK_SYSTEM, "onHalf", 0.5f}};
  ASSERT_EQ(ClUI::mp_DeferredEventPool.getCount(), 3);
  for (i32 i = 0; i < 3; ++i) {
    const SDeferredWidgetEvent* pEvent = ClUI::mp_DeferredEventPool.get(i);
    EXPECT_EQ(pEvent->mp_pWidget, pW);
    EXPECT_EQ(pEvent->mp_uiClock, aExpected[i].uiClock);
    EXPECT_EQ(pEvent->mp_uiEventHash, H(aExpected[i].pEvent));
    EXPECT_EQ(pEvent->mp_fTimeLeft, aExpected[i].fSeconds);
  }
  struct SBad {
    const char* pEvent;
    const char* pMessage;
  };
  const SBad aBad[] = {
      {"onBadEvent", "systemDoDeferredEventCallSystemClock: event to call MUST be ID or string!"},
      {"onBadTime", "systemDoDeferredEventCallSystemClock: time must be integer or floating-point constant!"},
      {"onBadEventG", "systemDoDeferredEventCallGameplayClock: event to call MUST be ID or string!"},
      {"onBadTimeG", "systemDoDeferredEventCallGameplayClock: time must be integer or floating-point constant!"},
  };
  for (const SBad& bad : aBad) {
    EXPECT_KV_FATAL(pW->callEvent(H(bad.pEvent)), bad.pMessage);
  }
  EXPECT_KV_ASSERT(pW->callEvent(H("onOne")), "pData->mp_iNumberWidgetEventProcedureCallDatas == 2");
  EXPECT_EQ(ClUI::mp_DeferredEventPool.getCount(), 3);

  // The gameplay event waits for two seconds of its own clock.
  setFrameTime(1.0f);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 1.5f;
  ClUI::update();
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1"}));
  ClUI::update();
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1", "record2"}));
}

TEST_F(SystemProcTest, CallEventFiresOnlyOnAVisibleWidgetWhoseTransitionIsDone) {
  loadScreen(widget("W", call("onClick", "systemCallEvent", R"(["onMine"])") + "," +
                             R"("onMine": {"event": {"calls": [{"call": "record1"}]}})"));
  struct SCase {
    u32 bVisible;
    u32 bDone;
    bool bFires;
  };
  for (const SCase& c : {SCase{0, 0, false}, SCase{1, 0, false}, SCase{0, 1, false}, SCase{1, 1, true}}) {
    g_uiTrace.runs.clear();
    W("W")->mp_bVisible = c.bVisible;
    W("W")->mp_bTransitionDone = c.bDone;
    click("W");
    EXPECT_EQ(runNames().size(), c.bFires ? 1u : 0u) << c.bVisible << c.bDone;
  }
}

// The finish helpers: done once their condition holds (again on every further call), hidden when going out.
TEST_F(SystemProcTest, TransitionDoneFollowsTheChildrenOrTheAnimators) {
  loadScreen(widget("P", R"("onTick": {"event": {"single": "systemSetTransitionDoneBasedOnChildren"}})",
                    widget("A", "") + "," + widget("B", "", widget("BB", ""))) +
             "," + widget("Lone", R"("onTick": {"event": {"single": "systemSetTransitionDoneBasedOnChildren"}})") +
             "," + widget("Anim", R"("onTick": {"event": {"single": "systemSetTransitionDoneWhenInterpolationsAreDone"}})"));
  ClWidget* pP = W("P");
  W("A")->mp_bTransitionDone = 1;
  W("B")->mp_bTransitionDone = 0;
  pP->mp_bTransitionDone = 0;
  pP->callEvent(H("onTick"));
  EXPECT_EQ(pP->mp_bTransitionDone, 0u);
  W("B")->mp_bTransitionDone = 1;
  pP->mp_bTransitioningOut = 1;
  pP->setVisibleRecursively(1);
  pP->callEvent(H("onTick"));
  EXPECT_EQ(pP->mp_bTransitionDone, 1u);
  for (const char* pName : {"P", "A", "B", "BB"}) {
    EXPECT_EQ(W(pName)->mp_bVisible, 0u) << pName << " hidden by the finished transition out";
  }
  pP->mp_bTransitionDone = 0;
  pP->callEvent(H("onTick"));
  EXPECT_EQ(pP->mp_bTransitionDone, 1u) << "set again on a further call";

  W("Lone")->mp_bTransitionDone = 0;
  W("Lone")->callEvent(H("onTick"));
  EXPECT_EQ(W("Lone")->mp_bTransitionDone, 1u) << "no drawn child";

  ClWidget* pAnim = W("Anim");
  pAnim->mp_bTransitionDone = 0;
  for (int i = 0; i < 4; ++i) {
    pAnim->mp_aColorAnimators[0].mp_bActive = i == 0;
    pAnim->mp_aColorAnimators[1].mp_bActive = i == 1;
    pAnim->mp_aVectorAnimators[0].mp_bRunning = i == 2;
    pAnim->mp_aVectorAnimators[1].mp_bRunning = i == 3;
    pAnim->callEvent(H("onTick"));
    EXPECT_EQ(pAnim->mp_bTransitionDone, 0u) << "animator " << i << " running";
  }
  pAnim->mp_aVectorAnimators[1].mp_bRunning = 0;
  pAnim->callEvent(H("onTick"));
  EXPECT_EQ(pAnim->mp_bTransitionDone, 1u);
}

// The timer counts down by the system clock's frame time with no lower bound; at or below 0 the transition is
// done and, unless going out, the saved input mask comes back.
TEST_F(SystemProcTest, TheTimedFinishRestoresTheInputMaskWhenTheTimeIsOver) {
  struct SCase {
    const char* pTimer;  // the property text, empty for none
    u32 bOut;
    std::vector<f32> frames;
    std::vector<u32> doneAfter;
    f32 fTimerAtEnd;
  };
  const SCase aCases[] = {
      {"", 0, {0.1f}, {1}, -0.1f},
      {R"("transitionTimer": 0.5,)", 0, {0.2f, 0.2f, 0.2f, 0.2f}, {0, 0, 1, 1}, -0.3f},
      {R"("transitionTimer": 0.25,)", 0, {0.25f}, {1}, 0.0f},
      {R"("transitionTimer": 0.3,)", 1, {0.2f, 0.2f}, {0, 1}, -0.1f},
  };
  for (const SCase& c : aCases) {
    ASSERT_TRUE(load("Timed", R"({"root": )" + widget("Screen", "", widget("T", std::string(c.pTimer) +
        R"("onTick": {"event": {"single": "systemSetTransitionDoneAndClickEventMaskAfterTimer"}})")) + "}"));
    ClWidget* pT = W("T");
    pT->mp_bTransitionDone = 0;
    pT->mp_bTransitioningOut = c.bOut;
    pT->mp_bVisible = 1;
    pT->mp_uiInputMask = gc_uiINPUT_BACK;
    pT->mp_uiSavedInputMask = gc_uiINPUT_CLICK | gc_uiINPUT_UP;
    for (size_t i = 0; i < c.frames.size(); ++i) {
      setFrameTime(c.frames[i]);
      pT->callEvent(H("onTick"));
      EXPECT_EQ(pT->mp_bTransitionDone, c.doneAfter[i]) << c.pTimer << " call " << i;
      const u32 uiMask = c.doneAfter[i] && !c.bOut ? (gc_uiINPUT_BACK | gc_uiINPUT_CLICK | gc_uiINPUT_UP) : gc_uiINPUT_BACK;
      EXPECT_EQ(pT->mp_uiInputMask, uiMask) << c.pTimer << " call " << i;
    }
    EXPECT_NEAR(pT->getFloat("transitionTimer"), c.fTimerAtEnd, 1e-6f) << c.pTimer;
    EXPECT_EQ(pT->mp_bVisible, c.bOut ? 0u : 1u) << c.pTimer;
    ClUI::terminate();
    ClUI::initialise();
  }
}

TEST_F(SystemProcTest, ImmediateAndChildrenTransitionsSetTheFlagsVisibilityAndChildEvents) {
  const std::string quick = R"("onTransitionIn": {"event": {"calls": [{"call": "record1"}, {"call": "systemImmediateTransitionIn"}]}},
                               "onTransitionOut": {"event": {"calls": [{"call": "record2"}]}})";
  loadScreen(widget("P", "", widget("A", quick, widget("AA", "")) + "," + widget("B", quick)) + "," +
             widget("Q", "", widget("Slow", R"("onTransitionIn": {"event": {"calls": [{"call": "record1"}]}})")));
  ClWidget* pP = W("P");
  pP->mp_bTransitioningOut = 1;
  systemImmediateTransitionIn(pP, nullptr);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1", "record1"}));
  EXPECT_EQ(pP->mp_bTransitionDone, 1u);
  EXPECT_EQ(pP->mp_bTransitioningOut, 0u);
  for (const char* pName : {"P", "A", "AA", "B"}) {
    EXPECT_EQ(W(pName)->mp_bVisible, 1u) << pName;
  }

  g_uiTrace.runs.clear();
  systemImmediateTransitionOut(pP, nullptr);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record2", "record2"}));
  EXPECT_EQ(pP->mp_bTransitionDone, 1u);
  EXPECT_EQ(pP->mp_bTransitioningOut, 1u);
  for (const char* pName : {"P", "A", "AA", "B"}) {
    EXPECT_EQ(W(pName)->mp_bVisible, 0u) << pName;
  }

  g_uiTrace.runs.clear();
  systemChildrenTransitionIn(pP, nullptr);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1", "record1"}));
  EXPECT_EQ(pP->mp_bTransitionDone, 0u) << "the children finish it";
  EXPECT_EQ(pP->mp_bTransitioningOut, 0u);
  EXPECT_EQ(W("AA")->mp_bVisible, 1u);
  g_uiTrace.runs.clear();
  pP->mp_bTransitionDone = 1;
  systemChildrenTransitionOut(pP, nullptr);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record2", "record2"}));
  EXPECT_EQ(pP->mp_bTransitionDone, 0u);
  EXPECT_EQ(pP->mp_bTransitioningOut, 1u);
  EXPECT_EQ(W("A")->mp_bVisible, 1u) << "a transition out hides nothing by itself";

  W("Slow")->mp_bTransitionDone = 0;
  EXPECT_KV_ASSERT(systemImmediateTransitionIn(W("Q"), nullptr),
                   "Widget [Q]: Calling an immediate transition IN, but some children of this widget do NOT have an "
                   "immediate transition");
}

TEST_F(SystemProcTest, VisibilityProceduresReachTheNamedWidgetsAndTheirChildren) {
  const std::string becomes = R"("onBecomeVisible": {"event": {"calls": [{"call": "record1"}]}})";
  loadScreen(widget("Ctl",
                    call("onA", "systemSetVisible", R"([{"id": "V"}, 1])") + "," +
                        call("onB", "systemSetVisibleRecursively", R"([{"id": "V"}, 0])") + "," +
                        call("onC", "systemSetVisibleAndOnAllChildren", "[1]") + "," +
                        call("onD", "systemSetVisible", R"([{"id": "Nobody"}, 1])") + "," +
                        call("onE", "systemSetVisibleRecursively", R"([{"id": "Nobody"}, 1])"),
                    widget("K", becomes)) +
             "," + widget("V", becomes, widget("VC", becomes, widget("VCC", becomes))));
  ClWidget* pCtl = W("Ctl");
  pCtl->callEvent(H("onA"));
  EXPECT_EQ(W("V")->mp_bVisible, 1u);
  EXPECT_EQ(W("VC")->mp_bVisible, 0u);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1"}));
  pCtl->callEvent(H("onB"));
  EXPECT_EQ(W("V")->mp_bVisible, 0u);
  pCtl->callEvent(H("onC"));
  EXPECT_EQ(pCtl->mp_bVisible, 1u);
  EXPECT_EQ(W("K")->mp_bVisible, 1u);
  EXPECT_KV_ASSERT(pCtl->callEvent(H("onD")), "pWid");
  EXPECT_KV_ASSERT(pCtl->callEvent(H("onE")), "pWid");

  // One level only: the grandchild stays hidden, and a child already visible gets no event.
  W("VC")->mp_bVisible = 1;
  g_uiTrace.runs.clear();
  systemBecomeVisibleAndChildren(W("V"), nullptr);
  EXPECT_EQ(W("V")->mp_bVisible, 1u);
  EXPECT_EQ(W("VCC")->mp_bVisible, 0u);
  EXPECT_EQ(g_uiTrace.runs.size(), 1u) << "V itself; VC was visible already";
  W("VC")->mp_bVisible = 0;
  W("V")->mp_bVisible = 0;
  g_uiTrace.runs.clear();
  systemBecomeVisibleAndChildren(W("V"), nullptr);
  ASSERT_EQ(g_uiTrace.runs.size(), 2u);
  EXPECT_EQ(g_uiTrace.runs[1].pWidget, W("VC"));
  systemBecomeVisible(W("VCC"), nullptr);
  EXPECT_EQ(W("VCC")->mp_bVisible, 1u);
}

TEST_F(SystemProcTest, FocusGoesOnlyToVisibleTargetsAndBackToTheParent) {
  loadScreen(widget("Ctl", call("onClick", "systemSetFocus", R"([{"id": "T"}])") + "," +
                               call("onMissing", "systemSetFocus", R"([{"id": "Nobody"}])"),
                    widget("T", "")));
  ClWidget* pT = W("T");
  pT->mp_bVisible = 0;
  click("Ctl");
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), nullptr);
  pT->mp_bVisible = 1;
  click("Ctl");
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), pT);
  EXPECT_KV_ASSERT(W("Ctl")->callEvent(H("onMissing")), "pTarget");

  systemSetFocusToParentIfInFocus(pT, nullptr);
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), W("Ctl"));
  systemSetFocusToParentIfInFocus(pT, nullptr);
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), W("Ctl")) << "T is not in focus: nothing";
  systemGrabFullFocus(pT, nullptr);
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), pT);
}

// A switched child whose transition out waits (state 3) until the test finishes it.
void holdTransition(ClWidget* pThis, WidgetEventProcedureCall*) { pThis->mp_bTransitionDone = 0; }

TEST_F(SystemProcTest, SwitchingPushesHistoryExceptWhenOnlyAllowedOutsideTransitions) {
  ClUI::terminate();
  m_systemHooks.m_extra = {{"holdTransition", &holdTransition}};
  ClUI::initialise();
  const std::string page = R"("onTransitionOut": {"event": {"calls": [{"call": "holdTransition"}]}})";
  ASSERT_TRUE(load("Screen", R"({"root": {"name": "Screen", "children": [)" +
                                 widget("Ctl", call("onA", "systemSwitch", R"([{"id": "Sw"}, {"id": "B"}])") + "," +
                                                   call("onB", "systemSwitchIfNotTransitioning", R"([{"id": "Sw"}, {"id": "C"}])") + "," +
                                                   call("onD", "systemSwitch", R"([{"id": "Nobody"}, {"id": "C"}])") + "," +
                                                   call("onE", "systemSwitch", R"([{"id": "Sw"}, {"id": "Nobody"}])")) +
                                 "," + R"({"name": "Sw", "children": [)" + widget("A", page) + "," + widget("B", page) +
                                 "," + widget("C", page) + R"(], "switched": ["A", "B", "C"]}]}})"));
  ClWidget* pSw = W("Sw");
  ClWidget* pCtl = W("Ctl");
  pSw->switchTo(W("A"));
  pSw->tick();
  ASSERT_EQ(pSw->getActiveSwitchedChild(), W("A"));
  pCtl->callEvent(H("onA"));
  EXPECT_EQ(ClUI::getSwitchHistory(0), W("B"));
  ASSERT_FALSE(pSw->areTransitionsCompleted()) << "A is held going out";
  pCtl->callEvent(H("onB"));
  EXPECT_EQ(pSw->mp_uiSwitchTargetIndex, 1u) << "refused mid-way: B is still the target";
  // Finish the switch, then the same call goes through and leaves the history alone.
  W("A")->mp_bTransitionDone = 1;
  W("B")->mp_bTransitionDone = 1;
  pSw->tick();
  ASSERT_TRUE(pSw->areTransitionsCompleted());
  pCtl->callEvent(H("onB"));
  EXPECT_EQ(pSw->mp_uiSwitchTargetIndex, 2u);
  EXPECT_EQ(pSw->mp_SwitchedChildren[1].mp_uiState, static_cast<u32>(E_SWITCH_STATE_OUT));
  EXPECT_EQ(ClUI::getSwitchHistory(0), W("B"));
  EXPECT_KV_ASSERT(pCtl->callEvent(H("onD")), "pSwitcher");
  EXPECT_KV_ASSERT(pCtl->callEvent(H("onE")), "pTarget");
}

// The exclusive list takes only widgets that exist: a null entry would refuse focus to every widget.
TEST_F(SystemProcTest, NamedWidgetsThatDoNotExistAreAssertionsNotNullEntries) {
  loadScreen(widget("Ctl", call("onAdd", "systemAddWidgetToExclusiveClickableList", R"([{"id": "Nobody"}])") + "," +
                               call("onAddMe", "systemAddWidgetToExclusiveClickableList", R"([{"id": "Ctl"}])") + "," +
                               call("onPad", "systemSaveWhichLogicalPadIntoGlobalVariable", R"(["pad", 1])")));
  ClWidget* pCtl = W("Ctl");
  EXPECT_KV_ASSERT(pCtl->callEvent(H("onAdd")), "pWidget");
  EXPECT_EQ(ClUI::mp_daExclusiveAvailableWidgets.getCount(), 0) << "no null entry locks the focus";
  EXPECT_KV_ASSERT(pCtl->callEvent(H("onPad")), "pData->mp_iNumberWidgetEventProcedureCallDatas == 1");
  pCtl->callEvent(H("onAddMe"));
  EXPECT_EQ(ClUI::mp_daExclusiveAvailableWidgets.getCount(), 1);
  systemClearExclusiveWidgetList(pCtl, nullptr);
  EXPECT_EQ(ClUI::mp_daExclusiveAvailableWidgets.getCount(), 0);
}

TEST_F(SystemProcTest, NextAndPreviousSwitchStepThroughTheSwitchedChildren) {
  ASSERT_TRUE(load("Screen", R"({"root": {"name": "Screen", "children": [)" +
                                 widget("Ctl", call("onNext", "systemSwitchToNextChild", R"([{"id": "Sw"}])") + "," +
                                                   call("onPrev", "systemSwitchToPrevChild", R"([{"id": "Sw"}])") + "," +
                                                   call("onNextMissing", "systemSwitchToNextChild", R"([{"id": "Nobody"}])") + "," +
                                                   call("onPrevMissing", "systemSwitchToPrevChild", R"([{"id": "Nobody"}])")) +
                                 "," + R"({"name": "Sw", "children": [)" + widget("A", "") + "," + widget("B", "") +
                                 R"(], "switched": ["A", "B"]}]}})"));
  ClWidget* pSw = W("Sw");
  pSw->switchTo(W("A"));
  pSw->tick();
  ASSERT_EQ(pSw->getActiveSwitchedChild(), W("A"));
  W("Ctl")->callEvent(H("onNext"));
  pSw->tick();
  EXPECT_EQ(pSw->getActiveSwitchedChild(), W("B"));
  W("Ctl")->callEvent(H("onNext"));
  pSw->tick();
  EXPECT_EQ(pSw->getActiveSwitchedChild(), W("B")) << "nothing past the end";
  W("Ctl")->callEvent(H("onPrev"));
  pSw->tick();
  EXPECT_EQ(pSw->getActiveSwitchedChild(), W("A"));
  // A switcher that does not exist is an assertion, not a call through null.
  EXPECT_KV_ASSERT(W("Ctl")->callEvent(H("onNextMissing")), "pSwitcher");
  EXPECT_KV_ASSERT(W("Ctl")->callEvent(H("onPrevMissing")), "pSwitcher");
}

TEST_F(SystemProcTest, PointerExclusivityDisplayLockAndTheSavedPad) {
  loadScreen(widget("Ctl", call("onExcl", "systemSetWidgetAsPointerExclusive", R"([{"id": "Ctl"}])") + "," +
                               call("onExclMissing", "systemSetWidgetAsPointerExclusive", R"([{"id": "Nobody"}])") +
                               "," + call("onShow", "systemSetPointerDisplay", "[1]") + "," +
                               call("onHide", "systemSetPointerDisplay", "[-2]") + "," +
                               call("onPad", "systemSaveWhichLogicalPadIntoGlobalVariable", R"(["whichPad"])")));
  ClWidget* pCtl = W("Ctl");
  pCtl->callEvent(H("onExcl"));
  EXPECT_EQ(ClUI::mp_pPointerExclusiveWidget, pCtl);
  systemRemovePointerExclusivity(pCtl, nullptr);
  EXPECT_EQ(ClUI::mp_pPointerExclusiveWidget, nullptr);
  EXPECT_KV_ASSERT(pCtl->callEvent(H("onExclMissing")), "pNewRoot");

  pCtl->callEvent(H("onShow"));
  EXPECT_TRUE(ClPointerTracker::isPointerShown());
  pCtl->callEvent(H("onHide"));
  EXPECT_FALSE(ClPointerTracker::isPointerShown());

  ClUI::mp_uiCurrentLogicalPad = 2;
  pCtl->callEvent(H("onPad"));
  EXPECT_EQ(ClUI::getRootWidget()->getInt("whichPad"), 2);

  // Locked, the pointer stays while the input moves; the movement is kept for whoever reads it.
  f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
  pInputs[E_PAD_INPUT_POINTER_PRESENT] = 1.0f;
  pInputs[E_PAD_INPUT_POINTER_X] = 0.25f;
  pInputs[E_PAD_INPUT_POINTER_Y] = 0.5f;
  ClPointerTracker::tick();
  ClPointerTracker::m_afLockedMovement[0] = 9.0f;
  systemLockPointer(pCtl, nullptr);
  EXPECT_EQ(ClPointerTracker::m_afSavedPosition[0], 0.25f);
  EXPECT_EQ(ClPointerTracker::m_afSavedPosition[1], 0.5f);
  EXPECT_EQ(ClPointerTracker::m_afLockedMovement[0], 0.0f);
  pInputs[E_PAD_INPUT_POINTER_X] = 0.375f;
  ClPointerTracker::tick();
  EXPECT_EQ(ClPointerTracker::m_afPosition[0], 0.25f);
  EXPECT_EQ(ClPointerTracker::m_afLockedMovement[0], 0.125f);
  systemUnlockPointer(pCtl, nullptr);
  pInputs[E_PAD_INPUT_POINTER_X] = 0.5f;
  ClPointerTracker::tick();
  EXPECT_EQ(ClPointerTracker::m_afPosition[0], 0.375f);

  // An emptied hit list reports every detector under the pointer as entered again.
  holdPointerHit();
  systemResetPointerFocus(pCtl, nullptr);
  EXPECT_EQ(ClPointerTracker::getNumCurrentHits(), 0u);
}

// The position is canvas units rounded to whole pixels, given to the input layer as pixels of pointer 0, and the
// tracker follows in screen fractions on its next tick.
TEST_F(SystemProcTest, MovePointerPlacesThePointerInCanvasUnitsOfTheWidgetsCanvas) {
  // "HALF": scale 1.5 (324 / 216), placed at (100, 60) on the screen.
  Cl2d::createCanvas("HALF", gc_ui2D_ALIGN_TOP_LEFT, 216.0f, 324.0f, 100.0f, 60.0f, 400.0f, 300.0f,
                     gc_ui2D_ALIGN_TOP_LEFT);
  loadScreen(widget("OnFull", R"("canvas": {"id": "FULL"},)" + call("onClick", "systemMovePointer", "[10, 7]")) +
             "," + widget("OnHalf", R"("canvas": {"id": "HALF"},)" + call("onClick", "systemMovePointer", "[3, 5]")) +
             "," + widget("NoCanvas", call("onClick", "systemMovePointer", "[1, 1]")) + "," +
             widget("OneParam", R"("canvas": {"id": "FULL"},)" + call("onClick", "systemMovePointer", "[1]")));
  ClInputHWtoKvPlatform layer;
  ClInputHWtoKv* pSaved = g_pInputHWToKv;
  g_pInputHWToKv = &layer;
  struct SCase {
    const char* pWidget;
    f32 fPixelX, fPixelY;
  };
  // 3 x 1.5 = 4.5 rounds up to 5; 5 x 1.5 = 7.5 to 8.
  const SCase aCases[] = {{"OnFull", 20.0f, 14.0f}, {"OnHalf", 105.0f, 68.0f}};
  f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
  pInputs[E_PAD_INPUT_POINTER_PRESENT] = 1.0f;
  for (const SCase& c : aCases) {
    click(c.pWidget);
    EXPECT_EQ(ClInputHWtoKv::mp_aPointerPositions[0].x, c.fPixelX) << c.pWidget;
    EXPECT_EQ(ClInputHWtoKv::mp_aPointerPositions[0].y, c.fPixelY) << c.pWidget;
    ClPointerTracker::tick();
    EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], c.fPixelX / 640.0f) << c.pWidget;
    EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[1], c.fPixelY / 432.0f) << c.pWidget;
  }
  EXPECT_KV_FATAL(click("NoCanvas"), "Dictionary item not found");
  EXPECT_KV_ASSERT(click("OneParam"), "pData->mp_iNumberWidgetEventProcedureCallDatas == 2");
  g_pInputHWToKv = pSaved;
}

TEST_F(SystemProcTest, TheBuildNumberTextGoesToTheNamedWidgetWhenItExists) {
  loadScreen(widget("Ctl", call("onA", "systemSetBuildNumberText", R"([{"id": "Label"}])") + "," +
                               call("onB", "systemSetBuildNumberText", R"([{"id": "Nobody"}])")) +
             "," + widget("Label", ""));
  W("Ctl")->callEvent(H("onB"));
  EXPECT_EQ(W("Label")->findProperty(H("dynamicText")), nullptr);
  W("Ctl")->callEvent(H("onA"));
  EXPECT_STREQ(W("Label")->getString("dynamicText"), "v1.0.4.534 [Steam]");
  EXPECT_KV_ASSERT(systemSetBuildNumberText(W("Ctl"), nullptr), "pData");
}

}  // namespace

namespace {

// Keeping focus still records the screen in the history; focus then follows the switched child on request.
TEST_F(SystemProcTest, SwitchKeepFocusPushesHistoryWithoutFocusingAndFocusCanFollowTheSwitchedChild) {
  ASSERT_TRUE(load("Screen", R"({"root": {"name": "Screen", "children": [)" +
                                 widget("Ctl", call("onClick", "systemSwitchKeepFocus", R"([{"id": "Sw"}, {"id": "B"}])")) +
                                 "," + R"({"name": "Sw", "children": [)" + widget("A", "") + "," + widget("B", "") +
                                 R"(], "switched": ["A", "B"]}]}})"));
  ClWidget* pSw = W("Sw");
  pSw->switchTo(W("A"));
  pSw->tick();
  ClUI::setFocus(W("Ctl"), gc_uiANY_PAD);
  click("Ctl");
  pSw->tick();
  EXPECT_EQ(pSw->getActiveSwitchedChild(), W("B"));
  EXPECT_EQ(ClUI::getSwitchHistory(0), W("B"));
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), W("Ctl"));
  systemSetFocusToSwitchedChild(pSw, nullptr);
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), W("B"));
}

}  // namespace
