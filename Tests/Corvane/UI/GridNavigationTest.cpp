// Pad navigation across grid widgets: the table built from "gridPos", moves in four directions with their scoring
// and scan order, overrides, exits at the edges, the exclusive list, the entry path, gridRemoveWidget, focus by
// name, cells outside the table, destroyed widgets, moves driven by the pads through the UI's update, and the move
// sound heard through the audio manager.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"
#include "Tests/Corvane/UI/UIPadInput.h"
#include "Tests/Corvane/UI/UITestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

// What a focused cell runs for its direction events: the event goes up to its parent with the forwarding stack
// holding it, as the data's forwarding procedure does.
void forwardToParent(ClWidget* pThis, WidgetEventProcedureCall*) {
  if (pThis->mp_pParent == nullptr) {
    return;
  }
  ClUI::mp_daEventForwardingStack.append(pThis);
  pThis->mp_pParent->callEventFrom(pThis->mp_uiInstanceNameHash, pThis->mp_uiCurrentEventHash, true, true);
  ClUI::mp_daEventForwardingStack.erase(ClUI::mp_daEventForwardingStack.getCount() - 1);
}

const char* const gc_apDirections[] = {"onLeft", "onRight", "onDown", "onUp"};
const char* const gc_apExits[] = {"onExitLeft", "onExitRight", "onExitDown", "onExitUp"};

std::string cellName(int iX, int iY) { return "C" + std::to_string(iX) + "_" + std::to_string(iY); }

// A widget on the grid that forwards its direction events; extra properties are JSON members.
std::string cell(const std::string& name, int iX, int iY, const std::string& extra = "",
                 const std::string& children = "") {
  std::string properties = R"("gridPos": {"gridxy": [)" + std::to_string(iX) + ", " + std::to_string(iY) + "]}";
  for (const char* pEvent : gc_apDirections) {
    properties += std::string(", \"") + pEvent + R"(": {"event": {"calls": [{"call": "testForward"}]}})";
  }
  return R"({"name": ")" + name + R"(", "properties": {)" + properties + extra + "}" +
         (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
}

std::string cellAt(int iX, int iY, const std::string& extra = "") { return cell(cellName(iX, iY), iX, iY, extra); }

// The grid widget: its table built on load, the four handlers (with the parameters given, JSON), the exits
// recorded by record0.
std::string grid(const std::string& children, const std::string& params = "", const std::string& name = "Grid") {
  static const char* const apHandlers[] = {"systemGridHandleLeft", "systemGridHandleRight", "systemGridHandleDown",
                                           "systemGridHandleUp"};
  std::string properties = R"("onLoad": {"event": {"calls": [{"call": "systemGridRegisterChildren"}]}})";
  for (int i = 0; i < 4; ++i) {
    properties += std::string(", \"") + gc_apDirections[i] + R"(": {"event": {"calls": [{"call": ")" + apHandlers[i] +
                  "\"" + (params.empty() ? "" : ", \"params\": [" + params + "]") + "}]}}";
    properties += std::string(", \"") + gc_apExits[i] + R"(": {"event": {"calls": [{"call": "record0"}]}})";
  }
  return R"({"name": ")" + name + R"(", "properties": {)" + properties + R"(}, "children": [)" + children + "]}";
}

class GridNavigationTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    registerProcedures();
    for (int i = 0; i < 4; ++i) {
      m_exitNames[H(gc_apExits[i])] = gc_apExits[i];
    }
  }
  static void registerProcedures() {
    registerGridUIFunctions();
    ClUIEventSystemFunctions::registerFunction(H("testForward"), &forwardToParent);
  }
  // A fresh UI for the next case of a table.
  static void restartUI() {
    ClUI::terminate();
    ClUI::initialise();
    registerProcedures();
  }
  // Loads the widgets under a root "Screen" and shows them all.
  void loadScreen(const std::string& children) {
    ASSERT_TRUE(load("A", R"({"root": {"name": "Screen", "children": [)" + children + "]}}"));
    W("Screen")->setVisibleRecursively(1);
    g_uiTrace.runs.clear();
  }
  // Cells at the coordinates, named by cellName, in one grid.
  void loadCells(const std::vector<std::pair<int, int>>& cells, const std::string& params = "") {
    std::string children;
    for (const auto& [iX, iY] : cells) {
      children += (children.empty() ? "" : ",") + cellAt(iX, iY);
    }
    loadScreen(grid(children, params));
  }

  // Fires the direction event on the widget (the focused one of any pad by default) and says what came of it: the
  // exit event the grid fired, else the name of the widget that now has the focus of that pad.
  std::string move(const char* pDirection, ClWidget* pFrom = nullptr, u32 uiPad = gc_uiANY_PAD) {
    if (pFrom == nullptr) {
      pFrom = ClUI::getFocusedWidget(uiPad);
    }
    g_uiTrace.runs.clear();
    pFrom->callEvent(H(pDirection));
    std::string exits;
    for (const SProcedureRun& run : g_uiTrace.runs) {
      exits += (exits.empty() ? "" : "+") + m_exitNames[run.uiEventHash] + ":" + run.pWidget->getName();
    }
    g_uiTrace.runs.clear();
    if (!exits.empty()) {
      return exits;
    }
    ClWidget* pFocused = ClUI::getFocusedWidget(uiPad);
    return pFocused != nullptr ? pFocused->getName() : "(none)";
  }
  static std::pair<i32, i32> lastCell(const char* pGrid = "Grid") { return {W(pGrid)->mp_iGridX, W(pGrid)->mp_iGridY}; }
  static ClWidget* cellOf(const char* pGrid, int iX, int iY) {
    return W(pGrid)->mp_pWidgetGrid->mp_apCells[iX * gc_iWIDGET_GRID_SIZE + iY];
  }

  std::map<u32, std::string> m_exitNames;
};

TEST_F(GridNavigationTest, TheGroupRegistersItsSixNamesInOrder) {
  ClUI::terminate();
  ClUI::initialise();
  const u32 uiBefore = ClUIEventSystemFunctions::getCount();
  registerGridUIFunctions();
  const std::pair<const char*, WidgetEventProcedure> aExpected[] = {
      {"systemGridRegisterChildren", &systemGridRegisterChildren},
      {"systemGridHandleLeft", &systemGridHandleLeft},
      {"systemGridHandleRight", &systemGridHandleRight},
      {"systemGridHandleDown", &systemGridHandleDown},
      {"systemGridHandleUp", &systemGridHandleUp},
      {"systemSetFocusAndSnapPointer", &systemSetFocusAndSnapPointer},
  };
  ASSERT_EQ(ClUIEventSystemFunctions::getCount(), uiBefore + 6);
  for (u32 i = 0; i < 6; ++i) {
    const UIEventFunctionEntry& entry = ClUIEventSystemFunctions::mp_entries[uiBefore + i];
    EXPECT_EQ(entry.mp_uiNameHash, H(aExpected[i].first)) << i;
    EXPECT_EQ(entry.mp_pfnFunction, aExpected[i].second) << i;
    EXPECT_EQ(ClUIEventSystemFunctions::findFunction(H(aExpected[i].first)), aExpected[i].second) << i;
  }
}

TEST_F(GridNavigationTest, TheTableHoldsDescendantsAtEveryDepthAndMeasuresOneMoreThanTheLargestCell) {
  // A nested panel without a cell passes its children's cells up to the grid; (-1, -1) and a missing gridPos keep a
  // widget off the table; so does x = -1 whatever y says.
  loadScreen(grid(cellAt(0, 0) + "," + cell("Panel", -1, -1, "", cellAt(4, 1) + "," + cell("Deep", 2, 6)) + "," +
                  R"({"name": "NoCell"}, {"name": "HalfCell", "properties": {"gridPos": {"gridxy": [-1, 3]}}})"));
  const SWidgetGrid* pGrid = W("Grid")->mp_pWidgetGrid;
  ASSERT_NE(pGrid, nullptr);
  EXPECT_EQ(pGrid->mp_uiWidth, 5u);
  EXPECT_EQ(pGrid->mp_uiHeight, 7u);
  std::map<int, std::string> occupied;
  for (int i = 0; i < gc_iWIDGET_GRID_SIZE * gc_iWIDGET_GRID_SIZE; ++i) {
    if (pGrid->mp_apCells[i] != nullptr) {
      occupied[i] = pGrid->mp_apCells[i]->getName();
    }
  }
  EXPECT_EQ(occupied, (std::map<int, std::string>{{0, "C0_0"}, {4 * 32 + 1, "C4_1"}, {2 * 32 + 6, "Deep"}}));
  EXPECT_EQ(lastCell(), std::make_pair(-1, -1));

  // Building again replaces the table: a widget taken off since is gone from it.
  W("Deep")->setGridXY(H("gridPos"), -1, -1);
  W("Grid")->callEvent(H("onLoad"));
  EXPECT_EQ(W("Grid")->mp_pWidgetGrid->mp_uiHeight, 2u);
  EXPECT_EQ(cellOf("Grid", 2, 6), nullptr);
}

TEST_F(GridNavigationTest, AGridWithoutCellsIsOneByOneAndEveryMoveExits) {
  loadScreen(grid(R"({"name": "Plain", "properties": {"onLeft": {"event": {"calls": [{"call": "testForward"}]}},
      "onRight": {"event": {"calls": [{"call": "testForward"}]}},
      "onDown": {"event": {"calls": [{"call": "testForward"}]}},
      "onUp": {"event": {"calls": [{"call": "testForward"}]}}}})"));
  EXPECT_EQ(W("Grid")->mp_pWidgetGrid->mp_uiWidth, 1u);
  EXPECT_EQ(W("Grid")->mp_pWidgetGrid->mp_uiHeight, 1u);
  ClUI::setFocus(W("Plain"), gc_uiANY_PAD);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(move(gc_apDirections[i]), std::string(gc_apExits[i]) + ":Grid");
    EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), W("Plain"));
  }
}

TEST_F(GridNavigationTest, MovesTakeTheMostNearlyStraightUsableCellInScanOrder) {
  struct SCase {
    const char* pLabel;
    std::vector<std::pair<int, int>> cells;
    std::pair<int, int> from;
    const char* pDirection;
    std::string expected;
  } const aCases[] = {
      // A cell straight ahead beats a nearer diagonal one, in each direction.
      {"straight left beats near diagonal", {{3, 1}, {0, 1}, {2, 2}}, {3, 1}, "onLeft", "C0_1"},
      {"straight right beats near diagonal", {{0, 1}, {3, 1}, {1, 0}}, {0, 1}, "onRight", "C3_1"},
      {"straight down beats near diagonal", {{1, 0}, {0, 1}, {1, 3}}, {1, 0}, "onDown", "C1_3"},
      {"straight up beats near diagonal", {{1, 3}, {2, 2}, {1, 0}}, {1, 3}, "onUp", "C1_0"},
      // Equal angles: left and right take the smaller y; down and up the smaller x.
      {"equal angles left", {{2, 1}, {1, 2}, {1, 0}}, {2, 1}, "onLeft", "C1_0"},
      {"equal angles right", {{0, 1}, {1, 2}, {1, 0}}, {0, 1}, "onRight", "C1_0"},
      {"equal angles down", {{1, 0}, {2, 1}, {0, 1}}, {1, 0}, "onDown", "C0_1"},
      {"equal angles up", {{1, 2}, {2, 1}, {0, 1}}, {1, 2}, "onUp", "C0_1"},
      // Among cells straight ahead the nearer one comes first in the scan.
      {"nearer column first", {{3, 0}, {0, 0}, {2, 0}}, {3, 0}, "onLeft", "C2_0"},
      {"nearer row first", {{0, 0}, {0, 3}, {0, 1}}, {0, 0}, "onDown", "C0_1"},
      // Only cells beyond the start's column or row count; the edges exit.
      {"left from column 0", {{0, 0}, {1, 0}, {0, 1}}, {0, 0}, "onLeft", "onExitLeft:Grid"},
      {"right from the last column", {{0, 0}, {1, 0}, {1, 1}}, {1, 0}, "onRight", "onExitRight:Grid"},
      {"down from the last row", {{0, 0}, {1, 1}}, {1, 1}, "onDown", "onExitDown:Grid"},
      {"up to the only cell of the row above", {{0, 0}, {1, 1}, {0, 1}}, {1, 1}, "onUp", "C0_0"},
      {"up from row 0 exits", {{0, 0}, {1, 0}}, {0, 0}, "onUp", "onExitUp:Grid"},
      // A far cell in the same column beats a near one a column aside going down.
      {"far straight vs near aside", {{2, 0}, {3, 1}, {2, 9}}, {2, 0}, "onDown", "C2_9"},
  };
  for (const SCase& c : aCases) {
    restartUI();
    loadCells(c.cells);
    ClUI::setFocus(W(cellName(c.from.first, c.from.second).c_str()), gc_uiANY_PAD);
    EXPECT_EQ(move(c.pDirection), c.expected) << c.pLabel;
  }
}

TEST_F(GridNavigationTest, AMoveRecordsTheTargetCellAndAFocusedWidgetOutsideTheGridSearchesFromIt) {
  struct SCase {
    const char* pDirection;
    std::pair<int, int> last;  // the grid's last cell before the move
    std::string expected;
  } const aCases[] = {
      // No last cell: left and up find nothing, right and down search the whole table.
      {"onLeft", {-1, -1}, "onExitLeft:Grid"},
      {"onUp", {-1, -1}, "onExitUp:Grid"},
      {"onRight", {-1, -1}, "C2_0"},
      {"onDown", {-1, -1}, "C0_1"},
      // From a last cell.
      {"onLeft", {2, 1}, "C1_1"},
      {"onUp", {2, 1}, "C2_0"},
      {"onRight", {0, 1}, "C1_1"},
      {"onDown", {2, 0}, "C2_1"},
  };
  for (const SCase& c : aCases) {
    restartUI();
    loadScreen(grid(cellAt(0, 1) + "," + cellAt(1, 1) + "," + cellAt(2, 0) + "," + cellAt(2, 1) + "," +
                    cell("Outside", -1, -1)));
    W("Grid")->mp_iGridX = c.last.first;
    W("Grid")->mp_iGridY = c.last.second;
    ClUI::setFocus(W("Outside"), gc_uiANY_PAD);
    const std::string result = move(c.pDirection);
    EXPECT_EQ(result, c.expected) << c.pDirection << " from " << c.last.first << "," << c.last.second;
    if (result.rfind("onExit", 0) == 0) {
      EXPECT_EQ(lastCell(), c.last) << "an exit leaves the last cell";
    } else {
      i32 iX = 0;
      i32 iY = 0;
      W(result.c_str())->getGridXY("gridPos", &iX, &iY);
      EXPECT_EQ(lastCell(), std::make_pair(iX, iY)) << c.pDirection;
    }
  }
}

TEST_F(GridNavigationTest, OverridesAreTakenWhenUsableElseTheSearchStartsFromThem) {
  // Start S at (4, 0); A (2, 0) is straight left of S; B (2, 3) is straight left of the override cell (3, 3).
  struct SCase {
    const char* pLabel;
    std::string overrideCell;   // "gridOverrideLeft" of S, JSON gridxy, or "" for none
    std::string overrideExtra;  // properties of the widget O at (3, 3), or "absent" for no widget there
    bool bExclusive;            // S, A, B in the exclusive list, O not
    std::string expected;
  } const aCases[] = {
      {"no override", "", "", false, "A"},
      {"usable override", "[3, 3]", "", false, "O"},
      {"usable override the other way", "[5, 0]", "", false, "R"},
      {"override on an empty cell", "[3, 3]", "absent", false, "B"},
      {"override on a hidden cell", "[3, 3]", "hidden", false, "B"},
      {"override on a disabled cell", "[3, 3]", R"(, "gridDisabled": true)", false, "B"},
      {"override on a cell outside the exclusive list", "[3, 3]", "", true, "B"},
      {"override (-1, -1) is none", "[-1, -1]", "", false, "A"},
  };
  for (const SCase& c : aCases) {
    restartUI();
    const std::string overrideProperty =
        c.overrideCell.empty() ? "" : R"(, "gridOverrideLeft": {"gridxy": )" + c.overrideCell + "}";
    const bool bWithO = c.overrideExtra != "absent";
    const std::string oExtra = c.overrideExtra == "hidden" || !bWithO ? "" : c.overrideExtra;
    loadScreen(grid(cell("S", 4, 0, overrideProperty) + "," + cell("A", 2, 0) + "," + cell("B", 2, 3) + "," +
                    cell("R", 5, 0) + (bWithO ? "," + cell("O", 3, 3, oExtra) : "")));
    if (c.overrideExtra == "hidden") {
      W("O")->setVisible(0);
    }
    if (c.bExclusive) {
      for (const char* pName : {"S", "A", "B", "R"}) {
        ClUI::mp_daExclusiveAvailableWidgets.append(W(pName));
      }
    }
    ClUI::setFocus(W("S"), gc_uiANY_PAD);
    EXPECT_EQ(move("onLeft"), c.expected) << c.pLabel;
  }
}

TEST_F(GridNavigationTest, OnlyVisibleEnabledAndWhileThereIsOneExclusiveCellsAreTargets) {
  struct SCase {
    const char* pLabel;
    std::vector<const char*> hidden;
    std::vector<const char*> disabled;
    std::vector<const char*> exclusive;
    std::string expected;
  } const aCases[] = {
      {"all usable", {}, {}, {}, "C1_0"},
      {"nearest hidden", {"C1_0"}, {}, {}, "C3_0"},
      {"nearest disabled", {}, {"C1_0"}, {}, "C3_0"},
      {"exclusive list picks a diagonal cell", {}, {}, {"C0_0", "C1_1"}, "C1_1"},
      {"exclusive list of other widgets", {}, {}, {"C0_0", "Screen"}, "onExitRight:Grid"},
      {"all hidden", {"C1_0", "C1_1", "C3_0", "C9_9"}, {}, {}, "onExitRight:Grid"},
  };
  for (const SCase& c : aCases) {
    restartUI();
    loadCells({{0, 0}, {1, 0}, {1, 1}, {3, 0}, {9, 9}});
    for (const char* pName : c.hidden) W(pName)->setVisible(0);
    for (const char* pName : c.disabled) W(pName)->setBool(H("gridDisabled"), 1);
    for (const char* pName : c.exclusive) ClUI::mp_daExclusiveAvailableWidgets.append(W(pName));
    ClUI::setFocus(W("C0_0"), gc_uiANY_PAD);
    EXPECT_EQ(move("onRight"), c.expected) << c.pLabel;
  }
}

TEST_F(GridNavigationTest, AMoveKeepsThePadOfTheFocusEntryAndAnUnfocusedSourceEntersTheGrid) {
  loadCells({{0, 0}, {1, 0}, {2, 0}});
  ClUI::setFocus(W("C0_0"), 2);
  EXPECT_EQ(move("onRight", nullptr, 2), "C1_0");
  ASSERT_EQ(ClUI::mp_iNumFocus, 1);
  EXPECT_EQ(ClUI::mp_aFocus[0].mp_uiPad, 2u);
  // The event reaching a cell that holds no focus has no source behind it: focus enters the grid at its first
  // cell, for any pad.
  EXPECT_EQ(move("onRight", W("C2_0"), gc_uiANY_PAD), "C0_0");
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), W("C0_0"));
}

TEST_F(GridNavigationTest, TheEntryPathFocusesTheFirstVisibleCellEvenADisabledOne) {
  struct SCase {
    const char* pLabel;
    std::vector<const char*> hidden;
    bool bDisableFirst;
    bool bPointerExclusive;  // the pointer-exclusive widget is the other grid
    std::string expected;
    std::pair<i32, i32> last;
  } const aCases[] = {
      {"first in depth-first order", {}, false, false, "Nested", {0, 2}},
      {"disabled still taken", {}, true, false, "Nested", {0, 2}},
      {"hidden skipped", {"Nested"}, false, false, "C1_0", {1, 0}},
      {"nothing visible", {"Nested", "C1_0"}, false, false, "(none)", {-1, -1}},
      {"the pointer-exclusive widget's first", {"Nested", "C1_0"}, false, true, "Other", {-1, -1}},
  };
  for (const SCase& c : aCases) {
    restartUI();
    loadScreen(grid(cell("Panel", -1, -1, "", cell("Nested", 0, 2)) + "," + cellAt(1, 0)) + "," +
               grid(cell("Other", 0, 0), "", "OtherGrid"));
    for (const char* pName : c.hidden) W(pName)->setVisible(0);
    if (c.bDisableFirst) W("Nested")->setBool(H("gridDisabled"), 1);
    if (c.bPointerExclusive) ClUI::mp_pPointerExclusiveWidget = W("OtherGrid");
    ClUI::setFocus(W("Grid"), gc_uiANY_PAD);
    const std::string result = move("onDown", W("Grid"));
    EXPECT_EQ(result, c.expected == "(none)" ? "Grid" : c.expected) << c.pLabel;
    EXPECT_EQ(lastCell(), c.last) << c.pLabel;
  }
}

TEST_F(GridNavigationTest, GridRemoveWidgetClearsTheCellsOfAWidgetAndItsDescendantsInTheNearestTable) {
  // Inner is a grid inside Grid: its cells are in both tables; removal clears the nearest one only.
  loadScreen(grid(cellAt(0, 0) + "," + cell("Box", 1, 0, "", cell("InBox", 2, 0)) + "," + cellAt(3, 0) + "," +
                  grid(cell("InInner", 4, 0), "", "Inner")));
  ASSERT_EQ(cellOf("Grid", 4, 0), W("InInner"));
  ASSERT_EQ(cellOf("Inner", 4, 0), W("InInner"));
  gridRemoveWidget(W("Box"));
  gridRemoveWidget(W("InInner"));
  EXPECT_EQ(cellOf("Grid", 1, 0), nullptr);
  EXPECT_EQ(cellOf("Grid", 2, 0), nullptr);
  EXPECT_EQ(cellOf("Inner", 4, 0), nullptr);
  EXPECT_EQ(cellOf("Grid", 4, 0), W("InInner")) << "only the nearest table with a cell is cleared";
  EXPECT_EQ(W("Grid")->mp_pWidgetGrid->mp_uiWidth, 5u) << "the size stays";
  for (const char* pName : {"Box", "InBox", "InInner"}) {
    i32 iX = 0;
    i32 iY = 0;
    W(pName)->getGridXY("gridPos", &iX, &iY);
    EXPECT_EQ(std::make_pair(iX, iY), std::make_pair(-1, -1)) << pName;
  }
  EXPECT_EQ(cellOf("Grid", 0, 0), W("C0_0"));
  ClUI::setFocus(W("C0_0"), gc_uiANY_PAD);
  EXPECT_EQ(move("onRight"), "C3_0");
  // A widget off any table still has its cell taken away, and a widget without one gets none.
  W("Screen")->setGridXY(H("gridPos"), 7, 7);
  gridRemoveWidget(W("Screen"));
  i32 iX = 0;
  i32 iY = 0;
  W("Screen")->getGridXY("gridPos", &iX, &iY);
  EXPECT_EQ(std::make_pair(iX, iY), std::make_pair(-1, -1));
}

TEST_F(GridNavigationTest, SetFocusAndSnapPointerKeepsTheFocusEntrysPadElseAnyPad) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "Screen", "children": [{"name": "A"}, {"name": "B"},
      {"name": "Button", "properties": {"onClick": {"event": {"calls": [{"call": "systemSetFocusAndSnapPointer",
          "params": [{"id": "B"}]}]}}, "onBack": {"event": {"calls": [{"call": "systemSetFocusAndSnapPointer",
          "params": [{"id": "Nobody"}]}]}}}}]}})"));
  ClUI::setFocus(W("A"), 3);
  setFocusAndSnapPointer(W("A"));
  ASSERT_EQ(ClUI::mp_iNumFocus, 1);
  EXPECT_EQ(ClUI::mp_aFocus[0].mp_uiPad, 3u);
  W("Button")->callEvent(H("onClick"));
  EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), W("B"));
  EXPECT_EQ(ClUI::getFocusedWidget(3), W("A"));
  EXPECT_KV_ASSERT(W("Button")->callEvent(H("onBack")), "pWidget");
}

TEST_F(GridNavigationTest, BadTablesAndMovesWithoutATableStop) {
  struct SCase {
    const char* pLabel;
    std::string children;
    std::string message;
  } const aCases[] = {
      {"y missing", cell("Half", 2, -1), "gridVal.mp_iY!=-1"},
      {"duplicate", cell("One", 1, 2) + "," + cell("Two", 1, 2), "Duplicate grid elements in grid [Grid] at (1, 2)!"},
      {"x past the table", cell("Far", 32, 0), "Grid element [Far] of grid [Grid] at (32, 0) lies outside"},
      {"y past the table", cell("Low", 0, 32), "Grid element [Low] of grid [Grid] at (0, 32) lies outside"},
      {"negative x", cell("Neg", -5, 1), "Grid element [Neg] of grid [Grid] at (-5, 1) lies outside"},
      {"negative y", cell("NegY", 3, -2), "Grid element [NegY] of grid [Grid] at (3, -2) lies outside"},
  };
  for (const SCase& c : aCases) {
    restartUI();
    SCOPED_TRACE(c.pLabel);
    EXPECT_KV_ASSERT(load("A", R"({"root": {"name": "Screen", "children": [)" + grid(c.children) + "]}}"),
                     c.message);
  }
  restartUI();
  loadScreen(R"({"name": "NoTable"})");
  EXPECT_KV_ASSERT(systemGridHandleUp(W("NoTable"), nullptr), "pThis->mp_pWidgetGrid");
}

TEST_F(GridNavigationTest, OverridesAndStartsOutsideTheTableCountAsNone) {
  // S holds (2, 1); the grid's last cell is (0, 1). An override outside the table is ignored; a start outside it (a
  // focused widget off this grid with a stray cell) searches from the last cell.
  struct SCase {
    const char* pLabel;
    const char* pWidget;
    std::string overrideCell;
    const char* pDirection;
    std::string expected;
  } const aCases[] = {
      {"override x past the table", "S", "[32, 0]", "onLeft", "L"},
      {"override y past the table", "S", "[1, 40]", "onLeft", "L"},
      {"override one coordinate -1", "S", "[1, -1]", "onLeft", "L"},
      {"override far negative", "S", "[-100, 3]", "onLeft", "L"},
      {"start past the table, left", "Stray", "", "onLeft", "onExitLeft:Grid"},
      {"start past the table, right", "Stray", "", "onRight", "L"},
      {"start past the table, down", "Stray", "", "onDown", "D"},
  };
  for (const SCase& c : aCases) {
    restartUI();
    const std::string overrideProperty =
        c.overrideCell.empty() ? "" : R"(, "gridOverrideLeft": {"gridxy": )" + c.overrideCell + "}";
    loadScreen(grid(cell("S", 2, 1, overrideProperty) + "," + cell("L", 1, 1) + "," + cell("D", 0, 3) + "," +
                    cell("Holder", -1, -1, "", cell("Stray", 0, 0))));
    // Stray's cell lies outside every table: it moves there after the build.
    W("Stray")->setGridXY(H("gridPos"), 40, 1);
    W("Grid")->mp_pWidgetGrid->mp_apCells[0] = nullptr;
    W("Grid")->mp_iGridX = 0;
    W("Grid")->mp_iGridY = 1;
    ClUI::setFocus(W(c.pWidget), gc_uiANY_PAD);
    EXPECT_EQ(move(c.pDirection), c.expected) << c.pLabel;
  }
}

TEST_F(GridNavigationTest, ADestroyedCloneLeavesNoCellBehind) {
  loadScreen(grid(cellAt(0, 0) + "," + R"({"name": "Row", "children": [{"name": "Template"}]})" + "," +
                  cellAt(2, 0)));
  ClWidget* pClone = W("Template")->clone();
  pClone->setGridXY(H("gridPos"), 1, 0);
  pClone->setVisible(1);
  W("Row")->mp_AllChildren.append(pClone);
  W("Row")->mp_DrawnChildren.append(pClone);
  W("Grid")->callEvent(H("onLoad"));
  ClUI::setFocus(W("C0_0"), gc_uiANY_PAD);
  EXPECT_EQ(move("onRight"), pClone->getName());
  ClUI::setFocus(W("C0_0"), gc_uiANY_PAD);

  W("Row")->destroyChildren();

  EXPECT_EQ(cellOf("Grid", 1, 0), nullptr);
  EXPECT_EQ(move("onRight"), "C2_0");
}

// The moves as the pads make them: the UI's update fires the direction events on the focused cell.
class GridPadTest : public GridNavigationTest {
 protected:
  void SetUp() override {
    GridNavigationTest::SetUp();
    m_pads.start();
  }
  void TearDown() override {
    m_pads.stop();
    GridNavigationTest::TearDown();
  }
  // One input frame with the action pressed on hardware pad 0 (nothing else), then one with nothing pressed.
  void press(i32 iAction) {
    m_pads.frame({{iAction, 1.0f}});
    m_pads.frame();
  }

  CUIPadInput m_pads;
};

TEST_F(GridPadTest, PadDirectionsMoveFocusAcrossTheGridAndExitAtItsEdges) {
  loadCells({{0, 0}, {1, 0}, {2, 0}, {0, 1}, {2, 1}});
  ClUI::setFocus(W("C0_0"), 0);
  struct SStep {
    i32 iAction;  // 13 up, 14 down, 15 left, 16 right
    const char* pFocused;
    const char* pExit;  // the exit event fired, or null
  } const aSteps[] = {
      {16, "C1_0", nullptr}, {16, "C2_0", nullptr}, {16, "C2_0", "onExitRight"}, {14, "C2_1", nullptr},
      {15, "C0_1", nullptr}, {15, "C0_1", "onExitLeft"}, {13, "C0_0", nullptr},  {13, "C0_0", "onExitUp"},
  };
  for (const SStep& step : aSteps) {
    g_uiTrace.runs.clear();
    press(step.iAction);
    EXPECT_EQ(ClUI::getFocusedWidget(0), W(step.pFocused)) << "action " << step.iAction << " to " << step.pFocused;
    ASSERT_EQ(g_uiTrace.runs.size(), step.pExit != nullptr ? 1u : 0u) << step.pFocused;
    if (step.pExit != nullptr) {
      EXPECT_EQ(g_uiTrace.runs[0].uiEventHash, H(step.pExit));
    }
    ASSERT_EQ(ClUI::mp_iNumFocus, 1);
    EXPECT_EQ(ClUI::mp_aFocus[0].mp_uiPad, 0u) << "the move keeps the pad";
  }
  EXPECT_EQ(lastCell(), std::make_pair(0, 0));
}

// The move sound, heard through a running audio manager whose bank holds "UIMove".
class GridSoundTest : public AudioManagerTest {
 protected:
  void SetUp() override {
    AudioManagerTest::SetUp();
    writeLoose("Audio/VOSK_SFX.iAudioSB",
               compileBank(R"({"bank": "VOSK_SFX", "cues": [{"name": "UIMove", "sources": [{"file": "Move.wav"}]}]})"));
    writeLoose("Audio/Move.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {0.5f}));
    start();
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
    g_uiTrace = SUITrace{};
    m_hooks.m_extra = {{"testForward", &forwardToParent}};
    KvTestSetUIHooks(&m_hooks);
  }
  void TearDown() override {
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    AudioManagerTest::TearDown();
  }
  // A fresh UI with a grid of two cells in a row whose handlers take the parameters given (JSON).
  void loadGrid(const std::string& params) {
    ClUI::terminate();
    ClUI::initialise();
    registerGridUIFunctions();
    SKuiScreenSet set;
    std::string error;
    ASSERT_TRUE(KuiParseDescription(
        R"({"root": {"name": "Screen", "children": [)" + grid(cellAt(0, 0) + "," + cellAt(1, 0), params) + "]}}",
        "grid.json", &set, &error))
        << error;
    const std::vector<uint8_t> image = KuiWriteImage(set);
    ASSERT_TRUE(ClUI::loadUIDataFromImage("A", image.data(), static_cast<u32>(image.size())));
    ClUI::getWidget("Screen")->setVisibleRecursively(1);
  }

  ClRecordingUIHooks m_hooks;
};

TEST_F(GridSoundTest, AMoveThatLandsPlaysUIMoveUnlessItsParameterIsZeroOrLess) {
  enum EPath { MOVE, EXIT, ENTRY };
  struct SCase {
    const char* pLabel;
    std::string params;
    EPath ePath;
    bool bHeard;
  } const aCases[] = {
      {"no parameter", "", MOVE, true},
      {"INT 0", "0", MOVE, false},
      {"INT -1", "-1", MOVE, false},
      {"INT 2", "2", MOVE, true},
      {"FLOAT 0.0", "0.0", MOVE, false},
      {"FLOAT 0.25", "0.25", MOVE, true},
      {"STRING", R"("loud")", MOVE, true},
      {"ID", R"({"id": "Screen"})", MOVE, true},
      {"exit", "", EXIT, false},
      {"entry", "", ENTRY, true},
      {"entry, INT 0", "0", ENTRY, false},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pLabel);
    loadGrid(c.params);
    ClWidget* pFrom = ClUI::getWidget(c.ePath == ENTRY ? "Grid" : c.ePath == EXIT ? "C1_0" : "C0_0");
    ClUI::setFocus(pFrom, gc_uiANY_PAD);
    // Nothing is playing before the move.
    for (int i = 0; i < 10 && ClAudioManager::getActiveCueCount() > 0; ++i) {
      frame();
    }
    ASSERT_EQ(ClAudioManager::getActiveCueCount(), 0);
    pFrom->callEvent(KvStrHash(c.ePath == ENTRY ? "onDown" : "onRight"));
    EXPECT_EQ(ClUI::getFocusedWidget(gc_uiANY_PAD), ClUI::getWidget(c.ePath == ENTRY ? "C0_0" : "C1_0"));
    EXPECT_EQ(ClAudioManager::getPendingCueCount(), c.bHeard ? 1 : 0);
    const std::vector<float> heard = frame();
    if (c.bHeard) {
      EXPECT_NEAR(KvTestPeak(heard, 0), 0.5f, 1e-3f);
    } else {
      EXPECT_EQ(KvTestPeak(heard, 0), 0.0f);
    }
  }
}

}  // namespace
