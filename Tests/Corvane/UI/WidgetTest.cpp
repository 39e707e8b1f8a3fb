// The widget's tree walk: switching between switched children with and without focus, pending transitions
// finished by the tick, next and previous, the tick and render order, visibility, clones and child removal.
#include <cmath>
#include <cstring>

#include "Corvane/Math/KvMath.h"
#include "Corvane/UI/Cl2d.h"
#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

// Procedures that the test data names: transitions that do not finish at once, and the render helpers.
void slowTransition(ClWidget* pThis, WidgetEventProcedureCall*) { pThis->mp_bTransitionDone = 0; }
void pushWindow(ClWidget*, WidgetEventProcedureCall*) { Cl2d::pushParentWindow({0.0f, 10.0f, 0.0f, 10.0f}); }
void setClip(ClWidget*, WidgetEventProcedureCall*) { g_kvClipRect = {1.0f, 5.0f, 1.0f, 5.0f}; }
i32 g_iStackSeen = -1;
void seeStack(ClWidget*, WidgetEventProcedureCall*) { g_iStackSeen = Cl2d::mp_parentWindowStack.getCount(); }

// A switched child whose events are traced: record0 in, record1 out, record2 out done, record3 focus,
// record4 tick. "extra" adds properties.
std::string child(const std::string& name, const std::string& outCalls = "", const std::string& inCalls = "") {
  return R"({"name": ")" + name + R"(", "properties": {
    "onTransitionIn": {"event": {"calls": [{"call": "record0"})" + inCalls + R"(]}},
    "onTransitionOut": {"event": {"calls": [{"call": "record1"})" + outCalls + R"(]}},
    "onTransitionOutIsDone": {"event": {"calls": [{"call": "record2"}]}},
    "onFocus": {"event": {"calls": [{"call": "record3"}]}},
    "onTick": {"event": {"calls": [{"call": "record4"}]}}}})";
}

class WidgetTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    ClUIEventSystemFunctions::registerFunction(H("slowTransition"), &slowTransition);
    ClUIEventSystemFunctions::registerFunction(H("pushWindow"), &pushWindow);
    ClUIEventSystemFunctions::registerFunction(H("setClip"), &setClip);
    ClUIEventSystemFunctions::registerFunction(H("seeStack"), &seeStack);
  }
  void TearDown() override {
    Cl2d::clearParentWindows();
    g_kvClipRect = gc_kvEmptyRect;
    UITest::TearDown();
  }

  // Switcher "S" with switched children A, B (slow to go out), C, and the drawn child D.
  void loadSwitcher() {
    ASSERT_TRUE(load("A", R"({"root": {"name": "S", "properties": {"onTick": {"event": {"calls": [{"call": "record4"}]}}},
      "children": [)" + child("A") + "," + child("B", R"(, {"call": "slowTransition"})") + "," + child("C") + "," +
                          child("D") + R"(], "switched": ["A", "B", "C"]}})"));
    g_uiTrace.runs.clear();
    g_uiTrace.hookCalls.clear();
  }

  // The trace as "event:widget" entries.
  std::vector<std::string> trace(bool bWithTicks = false) const {
    static const char* const s_apNames[] = {"in", "out", "outDone", "focus", "tick"};
    std::vector<std::string> out;
    for (const SProcedureRun& run : g_uiTrace.runs) {
      const int iKind = run.procedure.back() - '0';
      if (iKind == 4 && !bWithTicks) {
        continue;
      }
      out.push_back(std::string(s_apNames[iKind]) + ":" + run.pWidget->getName());
    }
    g_uiTrace.runs.clear();
    return out;
  }

  static std::vector<u32> states(const char* pSwitcher) {
    std::vector<u32> out;
    const ClWidget* pSwitcherWidget = W(pSwitcher);
    for (u32 i = 0; i < pSwitcherWidget->mp_SwitchedChildren.getSize(); ++i) {
      out.push_back(pSwitcherWidget->mp_SwitchedChildren[i].mp_uiState);
    }
    return out;
  }
};

using Trace = std::vector<std::string>;
using States = std::vector<u32>;

TEST_F(WidgetTest, TheLoaderSplitsChildrenIntoSwitchedAndDrawnAndLoadsChildrenBeforeParents) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "P", "properties": {"onLoad": {"event": {"calls": [{"call": "record0"}]}}},
      "children": [{"name": "X", "properties": {"onLoad": {"event": {"calls": [{"call": "record1"}]}}},
                    "children": [{"name": "Y", "properties": {"onLoad": {"event": {"calls": [{"call": "record2"}]}}}}]},
                   {"name": "Z"}],
      "switched": ["Z"]}})"));
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record2", "record1", "record0"}));
  ClWidget* pP = W("P");
  ASSERT_EQ(pP->mp_AllChildren.getSize(), 2u);
  ASSERT_EQ(pP->mp_SwitchedChildren.getSize(), 1u);
  ASSERT_EQ(pP->mp_DrawnChildren.getSize(), 1u);
  EXPECT_EQ(pP->mp_SwitchedChildren[0].mp_pChild, W("Z"));
  EXPECT_EQ(pP->mp_SwitchedChildren[0].mp_uiState, E_SWITCH_STATE_INACTIVE);
  EXPECT_EQ(pP->mp_DrawnChildren[0], W("X"));
  EXPECT_EQ(W("Y")->mp_pParent, W("X"));
  EXPECT_TRUE(pP->isSwitchedChild(W("Z")));
  EXPECT_TRUE(pP->isSwitchedChildByID(H("z")));
  EXPECT_FALSE(pP->isSwitchedChild(W("X")));
  EXPECT_EQ(pP->getActiveSwitchedChild(), nullptr);
  // A data widget starts invisible, done with its transition, every input allowed.
  EXPECT_EQ(W("Y")->mp_bVisible, 0u);
  EXPECT_EQ(W("Y")->mp_bTransitionDone, 1u);
  EXPECT_EQ(W("Y")->mp_uiInputMask, 0xFFFFFFFFu);
  EXPECT_EQ(W("Y")->mp_iGridX, -1);
}

TEST_F(WidgetTest, SwitchingToAChildWhoseTransitionsAreImmediateCompletesAtOnceWithFocus) {
  loadSwitcher();
  holdPointerHit();
  W("S")->switchTo(W("A"));
  EXPECT_EQ(trace(), (Trace{"in:A", "focus:A"}));
  EXPECT_EQ(states("S"), (States{1, 0, 0}));
  EXPECT_EQ(ClUI::getFocusedWidget(2), W("A")) << "focus is given for any pad";
  EXPECT_EQ(ClPointerTracker::getNumCurrentHits(), 0u) << "the pointer's current hits are emptied";

  W("S")->switchTo(W("C"));
  EXPECT_EQ(trace(), (Trace{"out:A", "outDone:A", "in:C", "focus:C"}));
  EXPECT_EQ(states("S"), (States{0, 0, 1}));
  EXPECT_EQ(W("S")->getActiveSwitchedChild(), W("C"));
  EXPECT_EQ(W("S")->mp_uiSwitchTargetIndex, 0u);

  // The active child switched to again goes out and comes back in.
  W("S")->switchTo(W("C"));
  EXPECT_EQ(trace(), (Trace{"out:C", "outDone:C", "in:C"})) << "C kept its focus entry";
  EXPECT_EQ(states("S"), (States{0, 0, 1}));
  EXPECT_KV_ASSERT(W("S")->switchTo(W("D")), "bFoundTarget");
  EXPECT_KV_ASSERT(W("A")->switchTo(W("B")), "mp_SwitchedChildren.getSize()");
}

TEST_F(WidgetTest, AnOutgoingChildThatIsNotDoneLeavesTheSwitchToTheTick) {
  loadSwitcher();
  W("S")->switchTo(W("B"));
  trace();
  W("S")->switchTo(W("C"));
  EXPECT_EQ(trace(), (Trace{"out:B"}));
  EXPECT_EQ(states("S"), (States{0, 3, 0}));
  EXPECT_EQ(W("S")->mp_uiSwitchTargetIndex, 2u);
  EXPECT_FALSE(W("S")->areTransitionsCompleted());

  // Children in transition are ticked (and so are drawn children), the switcher's own tick comes last.
  W("S")->tick();
  EXPECT_EQ(trace(true), (Trace{"tick:B", "tick:D", "tick:S"}));
  EXPECT_EQ(states("S"), (States{0, 3, 0}));

  W("B")->mp_bTransitionDone = 1;
  W("S")->tick();
  EXPECT_EQ(trace(), (Trace{"outDone:B", "in:C", "focus:C"}));
  EXPECT_EQ(states("S"), (States{0, 0, 1}));
  EXPECT_EQ(W("S")->mp_uiSwitchTargetIndex, 0u);
  EXPECT_TRUE(W("S")->areTransitionsCompleted());
  EXPECT_EQ(ClUI::getFocusedWidget(0), W("C"));
}

TEST_F(WidgetTest, ASwitchWhileAnotherIsPendingCutsTheRunningTransitionsShort) {
  loadSwitcher();
  W("S")->switchTo(W("B"));
  W("S")->switchTo(W("C"));  // B pending out (state 3)
  trace();
  W("S")->switchTo(W("A"));
  EXPECT_EQ(trace(), (Trace{"in:A", "focus:A"})) << "B went to 0 without its out-done event; nothing was active";
  EXPECT_EQ(states("S"), (States{1, 0, 0}));

  // A child still transitioning in (state 2) is taken as arrived, and so it is the child that goes out.
  W("S")->mp_SwitchedChildren[0].mp_uiState = E_SWITCH_STATE_INACTIVE;
  W("S")->mp_SwitchedChildren[2].mp_uiState = E_SWITCH_STATE_IN;
  W("S")->switchTo(W("A"));
  EXPECT_EQ(trace(), (Trace{"out:C", "outDone:C", "in:A"})) << "A keeps the focus it had";
  EXPECT_EQ(states("S"), (States{1, 0, 0}));
}

TEST_F(WidgetTest, KeepFocusSwitchesWithoutFocusAndMarksATargetThatIsNotDoneAtOnce) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "S", "children": [)" + child("A") + "," +
                            child("Slow", "", R"(, {"call": "slowTransition"})") +
                            R"(], "switched": ["A", "Slow"]}})"));
  trace();
  W("S")->switchToKeepFocus(W("A"));
  EXPECT_EQ(trace(), (Trace{"in:A"}));
  EXPECT_EQ(ClUI::getFocusedWidget(0), nullptr);
  EXPECT_EQ(states("S"), (States{1, 0}));

  W("S")->switchToKeepFocus(W("Slow"));
  EXPECT_EQ(trace(), (Trace{"out:A", "outDone:A", "in:Slow"}));
  EXPECT_EQ(states("S"), (States{0, 2}));
  EXPECT_EQ(W("Slow")->getInt("doNotAutomaticallyFocus"), 1);
  W("Slow")->mp_bTransitionDone = 1;
  W("S")->tick();
  EXPECT_EQ(states("S"), (States{0, 1}));
  EXPECT_EQ(ClUI::getFocusedWidget(0), nullptr);
}

TEST_F(WidgetTest, KeepFocusWithAPendingOutgoingChildLetsTheTickFocusUnlessTheTargetSaysNot) {
  loadSwitcher();
  W("S")->switchTo(W("B"));
  W("S")->switchToKeepFocus(W("A"));
  trace();
  W("B")->mp_bTransitionDone = 1;
  W("S")->tick();
  EXPECT_EQ(trace(), (Trace{"outDone:B", "in:A", "focus:A"}));

  W("S")->switchTo(W("B"));
  W("S")->switchToKeepFocus(W("C"));
  W("C")->setBool(H("doNotAutomaticallyFocus"), 1);
  trace();
  W("B")->mp_bTransitionDone = 1;
  W("S")->tick();
  EXPECT_EQ(trace(), (Trace{"outDone:B", "in:C"}));
  EXPECT_EQ(W("C")->getInt("doNotAutomaticallyFocus"), 0) << "the mark is used once";
}

TEST_F(WidgetTest, NextAndPreviousStopAtTheEndsAndRefuseWhileATransitionRuns) {
  loadSwitcher();
  W("S")->switchToPrev();
  W("S")->switchToNext();
  EXPECT_EQ(states("S"), (States{0, 0, 0})) << "no active child: nothing to move from";
  EXPECT_KV_FATAL(W("S")->setFocusToSwitchedChild(), "No selected child!");

  W("S")->switchTo(W("A"));
  W("S")->switchToPrev();
  EXPECT_EQ(states("S"), (States{1, 0, 0}));
  W("S")->switchToNext();
  EXPECT_EQ(states("S"), (States{0, 1, 0}));
  W("S")->switchToNext();  // B is slow to go out
  EXPECT_EQ(states("S"), (States{0, 3, 0}));
  EXPECT_KV_ASSERT(W("S")->switchToNext(), "Only supporting switchToNext when transitions are completed (for now)");
  EXPECT_KV_ASSERT(W("S")->switchToPrev(), "Only supporting switchToPrev when transitions are completed (for now)");
  EXPECT_KV_ASSERT(W("S")->setFocusToSwitchedChild(),
                   "Only supporting setFocusToSwitchedChild when transitions are completed (for now)");
  W("B")->mp_bTransitionDone = 1;
  W("S")->tick();
  EXPECT_EQ(states("S"), (States{0, 0, 1}));
  W("S")->switchToNext();
  EXPECT_EQ(states("S"), (States{0, 0, 1}));
  ClUI::setFocus(W("D"), gc_uiANY_PAD);
  W("S")->setFocusToSwitchedChild();
  EXPECT_EQ(ClUI::getFocusedWidget(1), W("C"));
}

TEST_F(WidgetTest, ChildrenTransitionsAreDoneWhenTheActiveAndDrawnChildrenAre) {
  loadSwitcher();
  W("S")->switchTo(W("A"));
  EXPECT_TRUE(W("S")->areChildrenTransitionsDone());
  W("D")->mp_bTransitionDone = 0;
  EXPECT_FALSE(W("S")->areChildrenTransitionsDone());
  W("D")->mp_bTransitionDone = 1;
  W("C")->mp_bTransitionDone = 0;  // inactive: does not count
  EXPECT_TRUE(W("S")->areChildrenTransitionsDone());
  W("A")->mp_bTransitionDone = 0;
  EXPECT_FALSE(W("S")->areChildrenTransitionsDone());
}

TEST_F(WidgetTest, RenderDrawsVisibleWidgetsAndTakesBackTheParentWindowAndClipItsProcedureSet) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "S",
      "properties": {"onRender": {"event": {"calls": [{"call": "record0"}, {"call": "pushWindow"}, {"call": "setClip"}]}}},
      "children": [{"name": "On", "properties": {"onRender": {"event": {"calls": [{"call": "record1"}, {"call": "seeStack"}]}}}},
                   {"name": "Off", "properties": {"onRender": {"event": {"calls": [{"call": "record2"}]}}}},
                   {"name": "Drawn", "properties": {"onRender": {"event": {"calls": [{"call": "record3"}]}}}}],
      "switched": ["On", "Off"]}})"));
  W("S")->render();
  EXPECT_TRUE(g_uiTrace.runs.empty()) << "an invisible widget draws nothing";

  W("S")->setVisibleRecursively(1);
  W("S")->mp_SwitchedChildren[0].mp_uiState = E_SWITCH_STATE_OUT;
  W("S")->render();
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record0", "record1", "record3"}));
  EXPECT_EQ(g_iStackSeen, 1) << "the children see the parent window";
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0) << "popped after the children";
  EXPECT_EQ(g_kvClipRect, gc_kvEmptyRect) << "the clip it set is cleared after the children";

  // A clip that was set before the render stays.
  g_kvClipRect = {0.0f, 2.0f, 0.0f, 2.0f};
  W("S")->render();
  EXPECT_EQ(g_kvClipRect, (kv_rect{1.0f, 5.0f, 1.0f, 5.0f}));
}

TEST_F(WidgetTest, VisibilityEventsFireOnChangesOnly) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "P", "properties": {
      "onBecomeVisible": {"event": {"calls": [{"call": "record0"}]}},
      "onBecomeInvisible": {"event": {"calls": [{"call": "record1"}]}}},
      "children": [{"name": "K", "properties": {"onBecomeVisible": {"event": {"calls": [{"call": "record2"}]}}}}]}})"));
  W("K")->setVisible(1);
  W("P")->setVisibleRecursively(1);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record2", "record0"}));
  g_uiTrace.runs.clear();
  W("P")->setVisible(1);
  W("P")->setVisibleRecursively(0);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1"}));
  EXPECT_EQ(W("K")->mp_bVisible, 0u);
}

TEST_F(WidgetTest, TheTickAdvancesRunningAnimatorsOnTheSystemClock) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "P"}})"));
  ClWidget* pWidget = W("P");
  pWidget->mp_aVectorAnimators[0].play(gc_iANIM_PLAY_ONCE, gc_iANIM_EASE_LINEAR, {0.0f, 0.0f}, {10.0f, 20.0f}, 0.0f, 2.0f);
  pWidget->mp_aVectorAnimators[1].play(gc_iANIM_PLAY_ONCE, gc_iANIM_EASE_LINEAR, {0.0f, 0.0f}, {10.0f, 20.0f}, 0.0f, 2.0f);
  pWidget->mp_aVectorAnimators[1].mp_bRunning = 0;
  SAnimatorParams fade{};
  fade.mp_iKind = gc_iANIM_PLAY_ONCE;
  fade.mp_iMethod = gc_iANIM_EASE_LINEAR;
  fade.mp_uiStartColor = 0xFF000000u;
  fade.mp_uiEndColor = 0xFFFFFFFFu;
  fade.mp_fDuration = 1.0f;
  pWidget->mp_aColorAnimators[1].play(fade);
  setFrameTime(0.5f);
  pWidget->tick();
  EXPECT_EQ(pWidget->mp_aVectorAnimators[0].mp_current, (kv_vector2{2.5f, 5.0f}));
  EXPECT_EQ(pWidget->mp_aVectorAnimators[1].mp_current, (kv_vector2{0.0f, 0.0f})) << "a stopped animator stays";
  EXPECT_EQ(pWidget->mp_aColorAnimators[1].mp_uiCurrentColor, 0xFF7F7F7Fu);
  pWidget->tick();
  pWidget->tick();
  pWidget->tick();
  EXPECT_EQ(pWidget->mp_aVectorAnimators[0].mp_current, (kv_vector2{10.0f, 20.0f}));
  EXPECT_EQ(pWidget->mp_aVectorAnimators[0].mp_bRunning, 0u);
  EXPECT_EQ(pWidget->mp_aColorAnimators[1].mp_uiCurrentColor, 0xFFFFFFFFu);
  pWidget->mp_bInitialized = 0;
  EXPECT_KV_ASSERT(pWidget->tick(), "mp_bInitialized");
  pWidget->mp_bInitialized = 1;
}

// --- Clones ---

const char* const gc_pCLONE_SOURCE = R"({"root": {"name": "Holder", "children": [{"name": "Item", "properties": {
    "count": 3, "label": "item", "pos": {"percentxy": [0.5, 0.25]}, "raw9": {"type9": [1.5, 2.5]},
    "raw12": {"type12": "0102"}, "cell": {"gridxy": [2, 3]}, "ptrDetector": 77,
    "onClick": {"event": {"calls": [{"call": "record0"}]}},
    "layout": {"layout": {"screenAnchor": 4, "x": 1.0, "y": 2.0, "widgetAnchor": 8}}},
  "children": [{"name": "Part", "properties": {"onDestroy": {"event": {"calls": [{"call": "record1"}]}},
                                               "onBecomeInvisible": {"event": {"calls": [{"call": "record2"}]}}}},
               {"name": "Page"}],
  "switched": ["Page"]}]}})";

TEST_F(WidgetTest, ACloneIsADeepCopyNamedCloneWithTheFirstFreeNumber) {
  // A widget of the data already holds the name the counter gives next: the counter moves on.
  const i32 iNext = KvWidgetCloneCounter();
  const std::string taken = "Clone#" + std::to_string(iNext);
  ASSERT_TRUE(load("A", gc_pCLONE_SOURCE));
  ASSERT_TRUE(load("B", R"({"root": {"name": ")" + taken + R"("}})"));
  ClWidget* pItem = W("Item");
  pItem->mp_bVisible = 1;
  pItem->mp_uiInputMask = 5;
  pItem->mp_SwitchedChildren[0].mp_uiState = E_SWITCH_STATE_ACTIVE;
  ClWidget* pClone = pItem->clone();

  EXPECT_EQ(pClone->mp_uiInstanceNameHash, H(("Clone#" + std::to_string(iNext + 1)).c_str()));
  EXPECT_EQ(ClUI::findWidget(pClone->mp_uiInstanceNameHash), pClone);
  EXPECT_EQ(pClone->mp_pRawData, nullptr);
  EXPECT_STREQ(pClone->getName(), "CLONE/GLOBALDATA");
  EXPECT_EQ(pClone->mp_pParent, W("Holder"));
  EXPECT_EQ(pClone->mp_bVisible, 1u);
  EXPECT_EQ(pClone->mp_uiInputMask, 5u);
  EXPECT_EQ(pClone->getInt("count"), 3);
  EXPECT_STREQ(pClone->getString("label"), "item");
  EXPECT_EQ(pClone->getXY("pos"), (kv_vector2{0.5f, 0.25f}));
  EXPECT_EQ(pClone->findProperty(H("raw9"))->mp_eType, E_BASE_TYPE_PERCENTXY);
  EXPECT_EQ(pClone->getXY("raw9"), (kv_vector2{1.5f, 2.5f}));
  EXPECT_EQ(pClone->findProperty(H("raw12")), nullptr) << "type 12 is not copied";
  i32 iX = 0, iY = 0;
  pClone->getGridXY("cell", &iX, &iY);
  EXPECT_EQ(iX * 10 + iY, 23);
  EXPECT_EQ(pClone->getInt("PtrDetector"), 0) << "the clone has no pointer detector of its own";
  EXPECT_EQ(std::memcmp(pClone->getLayout("layout"), pItem->getLayout("layout"), gc_iLAYOUT_SIZE), 0);
  EXPECT_EQ(pClone->findProperty(H("onClick"))->mp_pData, pItem->findProperty(H("onClick"))->mp_pData)
      << "the event record is shared";
  // Values are copies.
  pClone->setInt(H("count"), 9);
  EXPECT_EQ(pItem->getInt("count"), 3);

  // Children are cloned with their states, switched and drawn.
  ASSERT_EQ(pClone->mp_AllChildren.getSize(), 2u);
  ASSERT_EQ(pClone->mp_SwitchedChildren.getSize(), 1u);
  EXPECT_EQ(pClone->mp_SwitchedChildren[0].mp_uiState, E_SWITCH_STATE_ACTIVE);
  EXPECT_EQ(pClone->mp_AllChildren[0], pClone->mp_SwitchedChildren[0].mp_pChild) << "switched children first";
  EXPECT_EQ(pClone->mp_DrawnChildren[0]->mp_pParent, pClone);
  EXPECT_NE(pClone->mp_DrawnChildren[0], W("Part"));
  EXPECT_EQ(ClUI::mp_daClonedWidgets.getCount(), 3);
  EXPECT_EQ(pClone->mp_DrawnChildren[0]->findProperty(H("onDestroy"))->mp_pData,
            W("Part")->findProperty(H("onDestroy"))->mp_pData);
}

TEST_F(WidgetTest, AWidgetHoldingAUnicodeTextCannotBeCloned) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "W", "properties": {"raw13": {"type13": "01"}}}})"));
  EXPECT_KV_FATAL(W("W")->clone(), "Port this code to the Win32 (NOW!!!) -> [ClWidget::clone]");
  ClUI::getRootWidget()->setUnicodeString(H("dynamicUnicodeText"), u"text");
  EXPECT_KV_FATAL(ClUI::getRootWidget()->clone(), "Port this code to the Win32 (NOW!!!) -> [ClWidget::clone]");
}

// A clone attached as a drawn child is drawn after the children the widget had, under its new parent, and goes
// with the widget's children.
TEST_F(WidgetTest, AnAttachedCloneIsDrawnLastUnderItsNewParent) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "Screen", "children": [
      {"name": "Row", "children": [{"name": "First", "properties": {"onRender": {"event": {"calls": [{"call": "record0"}]}}}}]},
      {"name": "Example", "properties": {"onRender": {"event": {"calls": [{"call": "record1"}]}}}}]}})"));
  ClWidget* pClone = W("Example")->clone();
  W("Row")->addDrawnChild(pClone);
  EXPECT_EQ(pClone->mp_pParent, W("Row"));
  W("Row")->setVisibleRecursively(1);
  g_uiTrace.runs.clear();
  W("Row")->render();
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record0", "record1"}));
  const u32 uiCloneID = pClone->mp_uiInstanceNameHash;
  W("Row")->destroyChildren();
  EXPECT_EQ(ClUI::findWidget(uiCloneID), nullptr);
}

TEST_F(WidgetTest, DestroyChildrenDestroysClonesWithTheirChildrenAndOnlyDetachesDataChildren) {
  ASSERT_TRUE(load("A", gc_pCLONE_SOURCE));
  ClWidget* pHolder = W("Holder");
  ClWidget* pItem = W("Item");
  ClWidget* pClone = pItem->clone();
  pHolder->mp_AllChildren.append(pClone);
  pHolder->mp_DrawnChildren.append(pClone);
  ClWidget* pClonedPart = pClone->mp_DrawnChildren[0];
  pClonedPart->mp_bVisible = 1;
  const u32 uiCloneID = pClone->mp_uiInstanceNameHash;
  const u32 uiPartID = pClonedPart->mp_uiInstanceNameHash;
  g_uiTrace.runs.clear();
  // A pointer detector for each of the three cloned widgets and one for the data child.
  const f32 afMin[2] = {0.1f, 0.1f};
  const f32 afMax[2] = {0.2f, 0.2f};
  SPointerDetector* pItemDetector = ClPointerTracker::registerDetector(pItem, afMin, afMax, 0);
  ClPointerTracker::registerDetector(pClone, afMin, afMax, 0);
  for (u32 i = 0; i < pClone->mp_AllChildren.getSize(); ++i) {
    ClPointerTracker::registerDetector(pClone->mp_AllChildren[i], afMin, afMax, 0);
  }
  ASSERT_EQ(ClPointerTracker::getNumDetectors(), 4);

  pHolder->destroyChildren();
  EXPECT_EQ(pHolder->mp_AllChildren.getSize(), 0u);
  EXPECT_EQ(pHolder->mp_DrawnChildren.getSize(), 0u);
  EXPECT_EQ(ClUI::findWidget(uiCloneID), nullptr);
  EXPECT_EQ(ClUI::findWidget(uiPartID), nullptr);
  EXPECT_EQ(ClUI::mp_daClonedWidgets.getCount(), 0);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record2", "record1"})) << "invisible, then destroyed";
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1) << "the destroyed clones' detectors are unregistered";
  EXPECT_TRUE(ClPointerTracker::isRegistered(pItemDetector));
  // The data child was only detached: it still exists with its own children.
  EXPECT_EQ(ClUI::findWidget(H("Item")), pItem);
  EXPECT_EQ(pItem->mp_AllChildren.getSize(), 2u);

  // A child listed as drawn that mp_AllChildren no longer holds is a fatal error.
  pHolder->mp_DrawnChildren.append(pItem);
  EXPECT_KV_FATAL(pHolder->destroyChildren(), "Item not found to delete!");
}

}  // namespace
