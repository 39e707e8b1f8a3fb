// The pointer tracker: which grid squares a detector is entered into, the hits of the pointer's square with
// their entered and left lists, emptied hits after a switch, hiding and locking the pointer, and the pool's
// and the squares' limits.
#include <set>

#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

class PointerTrackerTest : public UITest {
 protected:
  // The input layer's pointer (fractions), held.
  static void pointerAt(f32 fX, f32 fY) {
    f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
    pInputs[E_PAD_INPUT_POINTER_PRESENT] = 1.0f;
    pInputs[E_PAD_INPUT_POINTER_X] = fX;
    pInputs[E_PAD_INPUT_POINTER_Y] = fY;
  }

  static SPointerDetector* reg(f32 fMinX, f32 fMinY, f32 fMaxX, f32 fMaxY, void* pOwner = nullptr) {
    const f32 afMin[2] = {fMinX, fMinY};
    const f32 afMax[2] = {fMaxX, fMaxY};
    return ClPointerTracker::registerDetector(pOwner, afMin, afMax, E_POINTER_DETECTOR_WIDGET);
  }

  static bool squareHolds(i32 iX, i32 iY, const SPointerDetector* pDetector) {
    for (const SPointerDetector* pSlot : ClPointerTracker::m_aGrid[iX][iY].mp_apSlots) {
      if (pSlot == pDetector) {
        return true;
      }
    }
    return false;
  }

  using Names = std::vector<std::string>;
  // The owners' names of a list (owners are C strings in these tests).
  static Names names(const SPointerHit* pList, u32 uiCount) {
    Names out;
    for (u32 i = 0; i < uiCount; ++i) {
      out.push_back(static_cast<const char*>(pList[i].mp_pDetector->mp_pOwner));
    }
    return out;
  }
  static Names entered() { return names(ClPointerTracker::m_aEntered, ClPointerTracker::m_uiNumEntered); }
  static Names left() { return names(ClPointerTracker::m_aLeft, ClPointerTracker::m_uiNumLeft); }
  static Names hits() { return names(ClPointerTracker::getCurrentHits(), ClPointerTracker::getNumCurrentHits()); }

  char m_acA[2] = "A";
  char m_acB[2] = "B";
};

TEST_F(PointerTrackerTest, ARectangleIsEnteredIntoEverySquareItTouchesWithCoordinatesClamped) {
  struct SCase {
    f32 fMinX, fMaxX;
    i32 iFirst, iLast;  // columns
  } const aCases[] = {
      {0.0f, 0.5f, 0, 8},      // 0.5 x 16 = 8: column 8 as well
      {0.0f, 1.0f, 0, 15},     // 1.0 x 16 = 16, clamped to 15
      {-0.5f, 0.03f, 0, 0},    // below 0: the first column
      {0.97f, 3.0f, 15, 15},   // beyond 1: the last column
      {0.25f, 0.25f, 4, 4},    // a point
      {0.3125f, 0.3749f, 5, 5},
  };
  for (const SCase& c : aCases) {
    SPointerDetector* pDetector = reg(c.fMinX, 0.5f, c.fMaxX, 0.5f);
    for (i32 x = 0; x < MD_GRID_SIZE; ++x) {
      EXPECT_EQ(squareHolds(x, 8, pDetector), x >= c.iFirst && x <= c.iLast) << c.fMinX << ".." << c.fMaxX << " x " << x;
      EXPECT_FALSE(squareHolds(x, 7, pDetector));
    }
    ClPointerTracker::unregisterDetector(pDetector);
    for (i32 x = 0; x < MD_GRID_SIZE; ++x) {
      EXPECT_FALSE(squareHolds(x, 8, pDetector)) << "removed from the grid";
    }
  }
}

TEST_F(PointerTrackerTest, APointOnARectanglesEdgeIsInsideAndFoundFromTheSquareBeyond) {
  reg(0.25f, 0.25f, 0.5f, 0.5f, m_acA);
  struct SCase {
    f32 fX, fY;
    bool bHit;
  } const aCases[] = {
      {0.5f, 0.5f, true},  // on the corner; square (8, 8)
      {0.25f, 0.25f, true},
      {0.375f, 0.4f, true},
      {0.5001f, 0.4f, false},
      {0.3f, 0.2499f, false},
  };
  for (const SCase& c : aCases) {
    ClPointerTracker::m_afPosition[0] = c.fX;
    ClPointerTracker::m_afPosition[1] = c.fY;
    ClPointerTracker::tick();
    EXPECT_EQ(hits(), c.bHit ? Names{"A"} : Names{}) << c.fX << ", " << c.fY;
  }
}

TEST_F(PointerTrackerTest, EnteredAndLeftFollowThePointerAcrossOverlappingDetectors) {
  reg(0.0f, 0.0f, 0.3f, 1.0f, m_acA);
  reg(0.2f, 0.0f, 0.6f, 1.0f, m_acB);
  struct SStep {
    f32 fX;
    Names hits, entered, left;
  } const aSteps[] = {
      {0.1f, {"A"}, {"A"}, {}},
      {0.25f, {"A", "B"}, {"B"}, {}},
      {0.25f, {"A", "B"}, {}, {}},
      {0.5f, {"B"}, {}, {"A"}},
      {0.9f, {}, {}, {"B"}},
      {0.28f, {"A", "B"}, {"A", "B"}, {}},
  };
  for (const SStep& step : aSteps) {
    pointerAt(step.fX, 0.5f);
    ClPointerTracker::tick();
    EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], step.fX);
    EXPECT_EQ(hits(), step.hits) << step.fX;
    EXPECT_EQ(entered(), step.entered) << step.fX;
    EXPECT_EQ(left(), step.left) << step.fX;
  }
}

TEST_F(PointerTrackerTest, AfterTheCurrentHitsAreClearedEveryDetectorUnderAStillPointerIsEnteredAgain) {
  reg(0.0f, 0.0f, 0.3f, 0.3f, m_acA);
  reg(0.1f, 0.1f, 0.2f, 0.2f, m_acB);
  pointerAt(0.15f, 0.15f);
  ClPointerTracker::tick();
  ClPointerTracker::tick();
  EXPECT_EQ(entered(), Names{});
  ClPointerTracker::clearCurrentHits();
  EXPECT_EQ(hits(), Names{});
  ClPointerTracker::tick();
  EXPECT_EQ(entered(), (Names{"A", "B"}));
  EXPECT_EQ(left(), Names{});
}

TEST_F(PointerTrackerTest, AnUnheldPointerIgnoresTheInputAndAHiddenOneHitsNothingAndComesBack) {
  reg(0.0f, 0.0f, 0.5f, 0.5f, m_acA);
  pointerAt(0.25f, 0.25f);
  ClPointerTracker::tick();
  EXPECT_EQ(hits(), Names{"A"});

  // Not held: the input moves, the pointer does not.
  ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_POINTER_PRESENT] = 0.0f;
  ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_POINTER_X] = 0.9f;
  ClPointerTracker::tick();
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], 0.25f);

  pointerAt(0.25f, 0.25f);
  ClPointerTracker::tick();
  ClPointerTracker::m_bHideRequest = 1;
  ClPointerTracker::tick();
  EXPECT_EQ(ClPointerTracker::m_afPosition[0], gc_fPOINTER_HIDDEN);
  EXPECT_EQ(ClPointerTracker::m_afPosition[1], gc_fPOINTER_HIDDEN);
  EXPECT_EQ(hits(), Names{});
  EXPECT_EQ(left(), Names{"A"});
  EXPECT_EQ(ClPointerTracker::m_bHideRequest, 0u) << "the request lasts one tick";

  // The next tick puts it back where it was, and moves it by what the input did meanwhile.
  pointerAt(0.3f, 0.25f);
  ClPointerTracker::tick();
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], 0.3f);
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[1], 0.25f);
  EXPECT_EQ(entered(), Names{"A"});
}

TEST_F(PointerTrackerTest, ALockedAxisHoldsThePointerAndResumesFromThereAfterUnlocking) {
  pointerAt(0.4f, 0.4f);
  ClPointerTracker::tick();
  ClPointerTracker::m_abAxisLocked[0] = 1;
  pointerAt(0.6f, 0.5f);
  ClPointerTracker::tick();
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], 0.4f) << "x is locked";
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[1], 0.5f) << "y moves";
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afLockedMovement[0], 0.2f);
  pointerAt(0.7f, 0.5f);
  ClPointerTracker::tick();
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], 0.4f);

  ClPointerTracker::m_abAxisLocked[0] = 0;
  pointerAt(0.75f, 0.5f);
  ClPointerTracker::tick();
  EXPECT_FLOAT_EQ(ClPointerTracker::m_afPosition[0], 0.45f) << "moves on by the input's movement from where it stood";
}

TEST_F(PointerTrackerTest, UnregisteringTakesADetectorOutOfEveryListAndIgnoresOneNotRegistered) {
  SPointerDetector* pA = reg(0.0f, 0.0f, 0.5f, 0.5f, m_acA);
  reg(0.0f, 0.0f, 0.5f, 0.5f, m_acB);
  pointerAt(0.1f, 0.1f);
  ClPointerTracker::tick();
  ASSERT_EQ(entered(), (Names{"A", "B"}));
  ClPointerTracker::unregisterDetector(pA);
  EXPECT_EQ(entered(), Names{"B"});
  EXPECT_EQ(hits(), Names{"B"});
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1);
  ClPointerTracker::unregisterDetector(pA);  // ignored
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 1);
  ClPointerTracker::tick();
  EXPECT_EQ(left(), Names{}) << "the unregistered detector is not reported as left";
  EXPECT_KV_ASSERT(ClPointerTracker::unregisterDetector(nullptr), "pDetector");
}

TEST_F(PointerTrackerTest, UpdatingADetectorMovesItInTheGrid) {
  SPointerDetector* pA = reg(0.0f, 0.0f, 0.1f, 0.1f, m_acA);
  const f32 afMin[2] = {0.8f, 0.8f};
  const f32 afMax[2] = {0.9f, 0.9f};
  ClPointerTracker::updateDetector(pA, afMin, afMax);
  EXPECT_FALSE(squareHolds(0, 0, pA));
  EXPECT_TRUE(squareHolds(13, 14, pA));
  pointerAt(0.85f, 0.85f);
  ClPointerTracker::tick();
  EXPECT_EQ(hits(), Names{"A"});
  ClPointerTracker::unregisterDetector(pA);
  EXPECT_KV_ASSERT(ClPointerTracker::updateDetector(pA, afMin, afMax), "m_detectorPool.objectExists(pDetector)");
}

TEST_F(PointerTrackerTest, LimitsOfTheSquaresThePoolAndTheRectangle) {
  // 36 detectors share a square; the 37th that touches it stops.
  for (int i = 0; i < MD_GRID_DEPTH; ++i) {
    reg(0.0f, 0.0f, 0.01f * static_cast<f32>(i), 0.01f);
  }
  EXPECT_KV_ASSERT(reg(0.05f, 0.05f, 0.06f, 0.06f), "Too many pointer detectors allocated in a grid square");
  ClPointerTracker::freeAllDetectors();

  // 128 detectors, each in a square of its own, with distinct pool indices; the 129th stops.
  std::set<i32> indices;
  for (int i = 0; i < MAX_DETECTORS; ++i) {
    const f32 fX = (static_cast<f32>(i % 16) + 0.5f) / 16.0f;
    const f32 fY = (static_cast<f32>(i / 16) + 0.5f) / 16.0f;
    indices.insert(reg(fX, fY, fX, fY)->mp_iPoolIndex);
  }
  EXPECT_EQ(indices.size(), static_cast<size_t>(MAX_DETECTORS));
  EXPECT_EQ(*indices.begin(), 0);
  EXPECT_EQ(*indices.rbegin(), MAX_DETECTORS - 1);
  EXPECT_KV_ASSERT(reg(0.99f, 0.99f, 0.99f, 0.99f), "pNew");
  ClPointerTracker::freeAllDetectors();

  EXPECT_KV_ASSERT(reg(0.5f, 0.1f, 0.4f, 0.2f), "Invalid rectangle for pointer registration!");
  EXPECT_KV_ASSERT(reg(0.1f, 0.5f, 0.2f, 0.4f), "Invalid rectangle for pointer registration!");
  EXPECT_EQ(ClPointerTracker::getNumDetectors(), 0);
}

TEST_F(PointerTrackerTest, TheDefaultPointerNamesItsImageAndColour) {
  EXPECT_STREQ(ClPointerTracker::m_acPointerImage, "") << "no image after a reset";
  ClPointerTracker::setDefaultPointer(0xFF80C0E0u);
  EXPECT_STREQ(ClPointerTracker::m_acPointerImage, "PointerDefault");
  EXPECT_EQ(ClPointerTracker::m_uiPointerColor, 0xFF80C0E0u);
  ClPointerTracker::reset();
  EXPECT_STREQ(ClPointerTracker::m_acPointerImage, "");
}

}  // namespace
