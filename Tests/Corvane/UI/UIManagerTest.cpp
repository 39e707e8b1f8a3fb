// The UI manager: start and end in their orders, finding widgets, focus per pad (pad 4 meaning any pad),
// switching with the history, deferred events, and forgetting destroyed clones everywhere.
#include <algorithm>
#include <cstring>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

class UIManagerTest : public UITest {
 protected:
  // Screens S1..S4 on the top-level switcher, and two widgets that are no screens.
  void loadScreens() {
    ASSERT_TRUE(load("A", R"({"root": {"name": "TopLevelSwitcher", "children": [
        {"name": "S1", "properties": {"onFocus": {"event": {"calls": [{"call": "record0"}]}},
                                      "onLoseFocus": {"event": {"calls": [{"call": "record1"}]}}}},
        {"name": "S2", "properties": {"onFocus": {"event": {"calls": [{"call": "record0"}]}},
                                      "onLoseFocus": {"event": {"calls": [{"call": "record1"}]}}}},
        {"name": "S3", "properties": {"onFocus": {"event": {"calls": [{"call": "record0"}]}},
                                      "onLoseFocus": {"event": {"calls": [{"call": "record1"}]}}}},
        {"name": "S4"},
        {"name": "Panel", "children": [{"name": "Deep"}]}],
      "switched": ["S1", "S2", "S3", "S4"]}})"));
    g_uiTrace = SUITrace{};
  }

  // "focus:S1"/"lose:S1" for the focus events since the last call.
  static std::vector<std::string> focusEvents() {
    std::vector<std::string> out;
    for (const SProcedureRun& run : g_uiTrace.runs) {
      out.push_back(std::string(run.procedure == "record0" ? "focus:" : "lose:") + run.pWidget->getName());
    }
    g_uiTrace.runs.clear();
    return out;
  }
  using Events = std::vector<std::string>;
};

TEST_F(UIManagerTest, InitialiseAndTerminateCallTheLaterPartsInTheirOrder) {
  EXPECT_EQ(g_uiTrace.hookCalls, (std::vector<std::string>{"registerGameUIFunctions"}));
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 0);
  EXPECT_TRUE(ClUI::isInitialised());
  EXPECT_EQ(ClUIEventSystemFunctions::getCount(), 5u);
  const WidgetProperty* pDelay = ClUI::getRootWidget()->findProperty(H("delayMenuInputClickBack"));
  ASSERT_NE(pDelay, nullptr);
  EXPECT_EQ(pDelay->mp_eType, E_BASE_TYPE_FLOAT);
  EXPECT_EQ(ClUI::getRootWidget()->getFloat("delayMenuInputClickBack"), 0.0f);
  for (u32 bEnabled : ClUI::mp_abPadEnabled) {
    EXPECT_EQ(bEnabled, 1u);
  }
  const char* pInUse = nullptr;
  EXPECT_GE(KvCountEngineGlobalsInUse(&pInUse), 1);

  holdPointerHit();
  g_uiTrace.hookCalls.clear();
  ClUI::terminate();
  // Ending asks nothing of the game (the UI releases its device objects itself).
  EXPECT_TRUE(g_uiTrace.hookCalls.empty());
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 0) << "every pointer detector is freed";
  EXPECT_FALSE(ClUI::isInitialised());
  EXPECT_EQ(KvCountEngineGlobalsInUse(&pInUse), 0) << pInUse;
  g_uiTrace.hookCalls.clear();
  ClUI::terminate();
  EXPECT_TRUE(g_uiTrace.hookCalls.empty()) << "nothing happens unless initialised";

  // The UI starts again with nothing of the last run: the same files load again.
  ClUI::initialise();
  loadScreens();
  ClUI::terminate();
  ClUI::initialise();
  loadScreens();
  EXPECT_EQ(ClUI::getNumUIDataEntries(), 1);
}

TEST_F(UIManagerTest, WidgetsAreFoundByNameAndAMissingOneIsAnAssertion) {
  loadScreens();
  EXPECT_EQ(ClUI::getWidget("s2"), ClUI::findWidget(H("S2")));
  EXPECT_EQ(ClUI::getWidgetFormatted("S%d", 3), W("S3"));
  EXPECT_KV_ASSERT(ClUI::getWidget("Nope"), "Widget [Nope] does not exist!!!");
  EXPECT_KV_ASSERT(ClUI::getWidgetFormatted("%s", std::string(800, 'n').c_str()), "KvStrLen(acTemp) < KV_MAX_PATH_LEN");
  EXPECT_TRUE(ClUI::isWidgetInSubtree(W("Deep"), W("TopLevelSwitcher")));
  EXPECT_TRUE(ClUI::isWidgetInSubtree(nullptr, W("S1")));
  EXPECT_TRUE(ClUI::isWidgetInSubtree(W("S1"), W("S1")));
  EXPECT_FALSE(ClUI::isWidgetInSubtree(W("Deep"), W("S1")));
}

TEST_F(UIManagerTest, FocusForAnyPadIsFoundByEveryPadAndKeepsItsEntryWhenOnePadTakesAnother) {
  loadScreens();
  ClUI::setFocus(W("S1"), gc_uiANY_PAD);
  EXPECT_EQ(focusEvents(), (Events{"focus:S1"}));
  for (u32 uiPad = 0; uiPad < 4; ++uiPad) {
    EXPECT_EQ(ClUI::getFocusedWidget(uiPad), W("S1"));
  }
  // Pad 2 focuses another widget: the entry for any pad stays and, coming first, still answers pad 2.
  ClUI::setFocus(W("S2"), 2);
  EXPECT_EQ(focusEvents(), (Events{"focus:S2"}));
  EXPECT_EQ(ClUI::mp_iNumFocus, 2);
  EXPECT_EQ(ClUI::getFocusedWidget(2), W("S1"));
  // A widget that holds focus for any pad, or for the pad asked, is not focused again.
  ClUI::setFocus(W("S1"), 3);
  ClUI::setFocus(W("S2"), 2);
  EXPECT_TRUE(focusEvents().empty());
  // A new entry for any pad replaces the old one; pad 2's entry then answers pad 2.
  ClUI::setFocus(W("S3"), gc_uiANY_PAD);
  EXPECT_EQ(focusEvents(), (Events{"lose:S1", "focus:S3"}));
  EXPECT_EQ(ClUI::getFocusedWidget(2), W("S2"));
  EXPECT_EQ(ClUI::getFocusedWidget(0), W("S3"));
  // Pad 2 moving on replaces only pad 2's entry.
  ClUI::setFocus(W("S1"), 2);
  EXPECT_EQ(focusEvents(), (Events{"lose:S2", "focus:S1"}));
  EXPECT_EQ(ClUI::mp_iNumFocus, 2);
  EXPECT_KV_ASSERT(ClUI::setFocus(nullptr, 0), "pWidget");
}

TEST_F(UIManagerTest, RemovingFocusWithTheOtherKindOfPadIsFatalAndTheFocusListIsBounded) {
  loadScreens();
  ClUI::setFocus(W("S1"), gc_uiANY_PAD);
  ClUI::setFocus(W("S2"), 1);
  focusEvents();
  EXPECT_KV_FATAL(ClUI::removeFocus(W("S1"), 1), "ClUI::removeFocus() -> Widget pad assignment mismatch");
  EXPECT_KV_FATAL(ClUI::removeFocus(W("S2"), gc_uiANY_PAD), "ClUI::removeFocus() -> Widget pad assignment mismatch");
  ClUI::removeFocus(W("S3"), 1);  // holds no focus: nothing
  ClUI::removeFocus(W("S1"), gc_uiANY_PAD);
  EXPECT_EQ(focusEvents(), (Events{"lose:S1"}));
  EXPECT_EQ(ClUI::getFocusedWidget(0), nullptr);
  EXPECT_EQ(ClUI::getFocusedWidget(1), W("S2"));

  // The list has 8 places.
  for (i32 i = 0; i < gc_iMAX_FOCUS_ENTRIES; ++i) {
    ClUI::mp_aFocus[i] = {static_cast<u32>(10 + i), W("S4")};
  }
  ClUI::mp_iNumFocus = gc_iMAX_FOCUS_ENTRIES;
  EXPECT_KV_ASSERT(ClUI::setFocus(W("S1"), 0), "focus list full");
  ClUI::mp_iNumFocus = 0;
}

TEST_F(UIManagerTest, WhileTheExclusiveListHoldsWidgetsOnlyTheyTakeFocus) {
  loadScreens();
  ClUI::mp_daExclusiveAvailableWidgets.append(W("S2"));
  ClUI::setFocus(W("S1"), gc_uiANY_PAD);
  EXPECT_EQ(ClUI::getFocusedWidget(0), nullptr);
  EXPECT_TRUE(focusEvents().empty());
  ClUI::setFocus(W("S2"), gc_uiANY_PAD);
  EXPECT_EQ(ClUI::getFocusedWidget(0), W("S2"));
}

TEST_F(UIManagerTest, SwitchingByNameKeepsAHistoryAndSwitchingBackTwiceGoesTwoScreensBack) {
  loadScreens();
  ClUI::switchTo("TopLevelSwitcher", "S1");
  ClUI::switchTo("TopLevelSwitcher", "S2");
  holdPointerHit();
  ClUI::switchToByHash("TopLevelSwitcher", H("S3"));
  EXPECT_EQ(ClPointerTracker::getNumCurrentHits(), 0u) << "a switch empties the pointer's current hits";
  EXPECT_EQ(W("TopLevelSwitcher")->getActiveSwitchedChild(), W("S3"));
  EXPECT_EQ(ClUI::getSwitchHistory(0), W("S3"));
  EXPECT_EQ(ClUI::getSwitchHistory(2), W("S1"));

  ClUI::switchBack();
  EXPECT_EQ(W("TopLevelSwitcher")->getActiveSwitchedChild(), W("S2"));
  ClUI::switchBack();
  EXPECT_EQ(W("TopLevelSwitcher")->getActiveSwitchedChild(), W("S1"));
  EXPECT_EQ(ClUI::getSwitchHistory(0), W("S1"));
  EXPECT_KV_ASSERT(ClUI::switchBack(), "pTarget");
  EXPECT_KV_ASSERT(ClUI::switchTo("TopLevelSwitcher", "Nope"), "Widget [Nope] does not exist!!!");
}

TEST_F(UIManagerTest, SwitchingBackSkipsWidgetsThatAreNoScreensOfTheTopLevelSwitcher) {
  loadScreens();
  ClUI::switchTo("TopLevelSwitcher", "S1");
  ClUI::pushSwitchHistory(W("Panel"));
  ClUI::pushSwitchHistory(W("Deep"));
  ClUI::switchTo("TopLevelSwitcher", "S4");
  ClUI::switchBack();  // Deep and Panel are passed over
  EXPECT_EQ(W("TopLevelSwitcher")->getActiveSwitchedChild(), W("S1"));

  for (i32 i = 0; i < NUM_OF_WIDGETS_SWITCHED_IN_HISTORY; ++i) {
    ClUI::pushSwitchHistory(W("Panel"));
  }
  EXPECT_KV_ASSERT(ClUI::switchBack(), "iInvalidCount < NUM_OF_WIDGETS_SWITCHED_IN_HISTORY");
  EXPECT_KV_ASSERT(ClUI::pushSwitchHistory(nullptr), "pWidget");
}

TEST_F(UIManagerTest, TheSeventeenthDeferredEventIsDropped) {
  loadScreens();
  for (int i = 0; i < gc_iMAX_DEFERRED_EVENTS; ++i) {
    EXPECT_TRUE(ClUI::addDeferredEvent(W("S1"), i % 2, H("onClick"), 0.5f * static_cast<f32>(i)));
  }
  EXPECT_FALSE(ClUI::addDeferredEvent(W("S2"), 0, H("onClick"), 1.0f));
  EXPECT_EQ(ClUI::mp_DeferredEventPool.getCount(), 16);
  const SDeferredWidgetEvent* pLast = ClUI::mp_DeferredEventPool.get(15);
  EXPECT_EQ(pLast->mp_pWidget, W("S1"));
  EXPECT_EQ(pLast->mp_uiClock, 1u);
  EXPECT_EQ(pLast->mp_fTimeLeft, 7.5f);
  EXPECT_KV_ASSERT(ClUI::addDeferredEvent(nullptr, 0, H("onClick"), 1.0f), "pWidget");
  EXPECT_KV_ASSERT(ClUI::addDeferredEvent(W("S1"), 0, H("onClick"), -0.5f), "fTime >= KV_ZERO");
}

TEST_F(UIManagerTest, ADestroyedCloneIsForgottenByFocusHistoryDeferredEventsListsAndGrids) {
  loadScreens();
  ClWidget* pPanel = W("Panel");
  ClWidget* pClone = pPanel->clone();
  ClWidget* pCloneChild = pClone->mp_AllChildren[0];
  pPanel->mp_AllChildren.append(pClone);
  pPanel->mp_DrawnChildren.append(pClone);
  ClUI::setFocus(W("S1"), gc_uiANY_PAD);
  ClUI::setFocus(pClone, 1);
  ClUI::setFocus(pCloneChild, 2);
  ClUI::pushSwitchHistory(W("S1"));
  ClUI::pushSwitchHistory(pClone);
  ClUI::pushSwitchHistory(W("S2"));
  ClUI::addDeferredEvent(pCloneChild, 0, H("onClick"), 1.0f);
  ClUI::addDeferredEvent(W("S3"), 0, H("onClick"), 1.0f);
  ClUI::addDeferredEvent(pClone, 1, H("onClick"), 1.0f);
  ClUI::mp_daExclusiveAvailableWidgets.append(pClone);
  ClUI::mp_daExclusiveAvailableWidgets.append(W("S1"));
  ClUI::mp_daEventForwardingStack.append(pCloneChild);
  ClUI::mp_pPointerExclusiveWidget = pClone;
  // A focus grid of another widget that holds the clone's child in a cell.
  W("S4")->mp_pWidgetGrid = static_cast<SWidgetGrid*>(KvAlignedAlloc(sizeof(SWidgetGrid), 16));
  std::memset(W("S4")->mp_pWidgetGrid, 0, sizeof(SWidgetGrid));
  ClUI::noteGridOwner(W("S4"), true);  // as the grid procedure notes the grids it makes
  W("S4")->mp_pWidgetGrid->mp_apCells[1 * gc_iWIDGET_GRID_SIZE + 2] = pCloneChild;
  W("S4")->mp_pWidgetGrid->mp_apCells[0] = W("S1");
  const f32 afMin[2] = {0.0f, 0.0f};
  const f32 afMax[2] = {0.5f, 0.5f};
  ClPointerTracker::registerDetector(pClone, afMin, afMax, 0);
  SPointerDetector* pS1Detector = ClPointerTracker::registerDetector(W("S1"), afMin, afMax, 0);
  ClPointerTracker::registerDetector(pCloneChild, afMin, afMax, 0);

  pPanel->destroyChildren();

  EXPECT_EQ(ClUI::mp_iNumFocus, 1);
  EXPECT_EQ(ClUI::getFocusedWidget(1), W("S1"));
  EXPECT_EQ(ClUI::getSwitchHistory(0), W("S2"));
  EXPECT_EQ(ClUI::getSwitchHistory(1), W("S1")) << "the history closes up over the clone";
  EXPECT_EQ(ClUI::getSwitchHistory(2), nullptr);
  ASSERT_EQ(ClUI::mp_DeferredEventPool.getCount(), 1);
  EXPECT_EQ(ClUI::mp_DeferredEventPool.get(0)->mp_pWidget, W("S3"));
  ASSERT_EQ(ClUI::mp_daExclusiveAvailableWidgets.getCount(), 1);
  EXPECT_EQ(ClUI::mp_daExclusiveAvailableWidgets[0], W("S1"));
  EXPECT_EQ(ClUI::mp_daEventForwardingStack.getCount(), 0);
  EXPECT_EQ(ClUI::mp_pPointerExclusiveWidget, nullptr);
  EXPECT_EQ(W("S4")->mp_pWidgetGrid->mp_apCells[1 * gc_iWIDGET_GRID_SIZE + 2], nullptr);
  EXPECT_EQ(W("S4")->mp_pWidgetGrid->mp_apCells[0], W("S1"));
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1) << "the clones' pointer detectors are unregistered";
  EXPECT_TRUE(ClPointerTracker::isRegistered(pS1Detector));
  // Switching back now lands on a screen that exists.
  ClUI::switchBack();
  EXPECT_EQ(W("TopLevelSwitcher")->getActiveSwitchedChild(), W("S1"));
}

}  // namespace
