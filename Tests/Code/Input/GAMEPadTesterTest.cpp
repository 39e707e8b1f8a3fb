// The pad tester: what it presses with the built-in weights, the range of what it writes, how its settings are
// read, its pool of sequences, and where it moves the pointer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Code/Input/GAMEPadTester.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

class PadTester : public ::testing::Test {
 protected:
  void SetUp() override {
    ClDevINI::initialize();
    sfmtInitGenRand(4242);
    ClInputManager::resetLogicalPadMap();
    ClClock::m_aClockFrames[0].m_fFrameTime = 1.0f / 60.0f;
  }
  void TearDown() override {
    ClDevINI::terminate();
    std::memset(ClInputHWtoKv::mp_aPadStates, 0, sizeof(ClInputHWtoKv::mp_aPadStates));
    std::memset(ClInputHWtoKv::mp_auiPadConnected, 0, sizeof(ClInputHWtoKv::mp_auiPadConnected));
  }
  void start(const std::string& settings) {
    ClDevINI::loadFromBuffer(reinterpret_cast<const u8*>(settings.data()), settings.size(), "project.ini");
    m_tester.init();
  }
  // One input-layer frame: the records cleared, then the tester's tick.
  const f32* frame() {
    std::memset(ClInputHWtoKv::mp_aPadStates, 0, sizeof(ClInputHWtoKv::mp_aPadStates));
    m_tester.tick();
    return ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
  }
  GAMEPadTester m_tester;
};

TEST_F(PadTester, BuiltInWeightsClickTheMouseButtonsForOneFrameTenToThree) {
  start("");
  int aiPresses[gc_iPAD_STATE_FLOATS] = {};
  bool bLastFramePressed = false;
  for (int i = 0; i < 20000; ++i) {
    const f32* p = frame();
    bool bPressed = false;
    for (int iSlot = 0; iSlot < gc_iPAD_STATE_FLOATS; ++iSlot) {
      if (iSlot >= E_PAD_INPUT_POINTER_PRESENT && iSlot <= E_PAD_INPUT_POINTER_X) {
        continue;
      }
      if (p[iSlot] != 0.0f) {
        ASSERT_EQ(p[iSlot], 1.0f) << "slot " << iSlot;
        ++aiPresses[iSlot];
        bPressed = true;
      }
    }
    ASSERT_FALSE(bPressed && bLastFramePressed) << "a click held over two frames at frame " << i;
    bLastFramePressed = bPressed;
  }
  const int iLeft = aiPresses[E_PAD_INPUT_MOUSE_LEFT];
  const int iRight = aiPresses[E_PAD_INPUT_MOUSE_RIGHT];
  EXPECT_EQ(iLeft + iRight, [&] {
    int iAll = 0;
    for (int n : aiPresses) iAll += n;
    return iAll;
  }());
  ASSERT_GT(iRight, 0);
  // 10 : 3 = 3.33; 20000 frames give about 4000 clicks.
  EXPECT_GT(iLeft + iRight, 3000);
  EXPECT_NEAR(static_cast<double>(iLeft) / iRight, 10.0 / 3.0, 0.5);
}

TEST_F(PadTester, EverythingItWritesStaysInRange) {
  start("PAD_MONKEY_BETWEEN_TIME 0.01\nPAD_MONKEY_ANALOG_MAX_REPS 4\n");
  for (int iSlot = 0; iSlot <= 21; ++iSlot) {
    m_tester.m_aiWeights[iSlot] = 1 + iSlot % 3;
  }
  bool bNegative = false;
  for (int i = 0; i < 20000; ++i) {
    const f32* p = frame();
    for (int iSlot = 0; iSlot < gc_iPAD_STATE_FLOATS; ++iSlot) {
      ASSERT_GE(p[iSlot], -1.0f) << "slot " << iSlot;
      ASSERT_LE(p[iSlot], 1.0f) << "slot " << iSlot;
      bNegative |= p[iSlot] < 0.0f;
    }
    ASSERT_GE(p[E_PAD_INPUT_POINTER_X], 0.0f);
    ASSERT_GE(p[E_PAD_INPUT_POINTER_Y], 0.0f);
    ASSERT_EQ(p[E_PAD_INPUT_POINTER_PRESENT], 1.0f);
    ASSERT_LE(m_tester.getActiveCount(), gc_iPAD_MONKEY_SEQUENCES);
  }
  EXPECT_TRUE(bNegative) << "analog slots are pressed both ways";
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[0], 1u);
  for (u32 i = 1; i < cuiMAX_GAME_PADS; ++i) {
    EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[i], 0u);
  }
}

TEST_F(PadTester, SettingsReplaceDefaultsOnlyWhenValidAndAreOrdered) {
  struct SCase {
    const char* pSettings;
    SPadMonkeyControl digital;
    SPadMonkeyControl analog;
    f32 fBetween;
  };
  const SCase aCases[] = {
      {"", {0, 0, 1, 5, 0.03f, 0.03f}, {1, 0, 1, 1, 0.075f, 0.075f}, 0.05f},
      {"PAD_MONKEY_DIGITAL_MIN_REPS 0\nPAD_MONKEY_DIGITAL_MAX_HOLD -1\nPAD_MONKEY_BETWEEN_TIME 0\n",
       {0, 0, 1, 5, 0.03f, 0.03f}, {1, 0, 1, 1, 0.075f, 0.075f}, 0.05f},
      {"PAD_MONKEY_DIGITAL_MIN_REPS 2\nPAD_MONKEY_DIGITAL_MAX_HOLD 0.5\nPAD_MONKEY_ANALOG_MAX_REPS 3\n"
       "PAD_MONKEY_BETWEEN_TIME 0.2\n",
       {0, 0, 2, 5, 0.03f, 0.5f}, {1, 0, 1, 3, 0.075f, 0.075f}, 0.2f},
      // A minimum above its maximum: the two swap places.
      {"PAD_MONKEY_DIGITAL_MIN_REPS 6\nPAD_MONKEY_DIGITAL_MAX_REPS 2\nPAD_MONKEY_ANALOG_MIN_HOLD 0.3\n"
       "PAD_MONKEY_ANALOG_MAX_HOLD 0.1\n",
       {0, 0, 2, 6, 0.03f, 0.03f}, {1, 0, 1, 1, 0.1f, 0.3f}, 0.05f},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pSettings);
    ClDevINI::terminate();
    ClDevINI::initialize();
    start(c.pSettings);
    for (int iSlot : {0, 15, 16, 21}) {
      const SPadMonkeyControl& expected = iSlot <= 15 ? c.digital : c.analog;
      const SPadMonkeyControl& got = m_tester.m_aControls[iSlot];
      EXPECT_EQ(got.m_uiKind, expected.m_uiKind);
      EXPECT_EQ(got.m_bOneShot, 0u);
      EXPECT_EQ(got.m_iMinReps, expected.m_iMinReps) << "slot " << iSlot;
      EXPECT_EQ(got.m_iMaxReps, expected.m_iMaxReps) << "slot " << iSlot;
      EXPECT_FLOAT_EQ(got.m_fMinHold, expected.m_fMinHold) << "slot " << iSlot;
      EXPECT_FLOAT_EQ(got.m_fMaxHold, expected.m_fMaxHold) << "slot " << iSlot;
    }
    EXPECT_FLOAT_EQ(m_tester.m_fBetweenTime, c.fBetween);
    EXPECT_EQ(m_tester.m_aControls[E_PAD_INPUT_MOUSE_LEFT].m_bOneShot, 1u);
    EXPECT_EQ(m_tester.m_aControls[22].m_iMaxReps, 0);  // slots without a control
  }
  // With the swapped repetitions, presses of slot 0 run 2 to 6 times.
  std::fill(std::begin(m_tester.m_aiWeights), std::end(m_tester.m_aiWeights), 0);
  m_tester.m_aiWeights[0] = 1;
  for (int i = 0; i < 2000; ++i) {
    frame();
    for (const SPadMonkeySequence& s : m_tester.m_aSequences) {
      if (s.m_bInUse) {
        ASSERT_EQ(s.m_iSlot, 0);
        ASSERT_LE(s.m_iRepsLeft, 6);
        ASSERT_GE(s.m_iRepsLeft, 1);
      }
    }
  }
}

// Moves 11 to 29 of every thirty (step counter 19 down to 1) jump to the centre of a clickable widget drawn
// at random; the others, and every move when no widget has a centre off the origin, are random steps.
// Scroll areas are not widgets.
TEST_F(PadTester, ThePointerJumpsToClickableWidgetsWhileItsStepCounterIsOneToNineteen) {
  struct SRect {
    f32 afMin[2];
    f32 afMax[2];
    u32 uiKind;
  };
  struct SCase {
    const char* pName;
    std::vector<SRect> rects;
    std::set<std::pair<f32, f32>> jumps;  // the centres jumped to; empty: random steps only
  };
  const SCase aCases[] = {
      {"two widgets and a scroll area",
       {{{0.1f, 0.2f}, {0.3f, 0.4f}, E_POINTER_DETECTOR_WIDGET},
        {{0.6f, 0.5f}, {1.0f, 0.9f}, E_POINTER_DETECTOR_WIDGET},
        {{0.4f, 0.4f}, {0.6f, 0.6f}, E_POINTER_DETECTOR_SCROLL_AREA}},
       {{0.2f, 0.3f}, {0.8f, 0.7f}}},
      {"no widget", {{{0.4f, 0.4f}, {0.6f, 0.6f}, E_POINTER_DETECTOR_SCROLL_AREA}}, {}},
      {"a widget centred on the origin", {{{-0.1f, -0.1f}, {0.1f, 0.1f}, E_POINTER_DETECTOR_WIDGET}}, {}},
  };
  ClClock::m_aClockFrames[0].m_fFrameTime = 0.05f;  // one pointer move a frame
  for (const SCase& test : aCases) {
    SCOPED_TRACE(test.pName);
    ClPointerTracker::reset();
    int aiOwners[4] = {};
    for (size_t i = 0; i < test.rects.size(); ++i) {
      ClPointerTracker::registerDetector(&aiOwners[i], test.rects[i].afMin, test.rects[i].afMax, test.rects[i].uiKind);
    }
    start("");
    std::set<std::pair<f32, f32>> jumpedTo;
    bool bLeftTheOrigin = false;
    for (int iMove = 1; iMove <= 60; ++iMove) {
      const f32* p = frame();
      const std::pair<f32, f32> at{p[E_PAD_INPUT_POINTER_X], p[E_PAD_INPUT_POINTER_Y]};
      const bool bJumpMove = (iMove - 1) % 30 >= 10 && (iMove - 1) % 30 <= 28;
      if (bJumpMove && !test.jumps.empty()) {
        ASSERT_EQ(test.jumps.count(at), 1u) << "move " << iMove << " at " << at.first << ", " << at.second;
        jumpedTo.insert(at);
      } else {
        EXPECT_EQ(test.jumps.count(at), 0u) << "move " << iMove;
        bLeftTheOrigin |= at != std::pair<f32, f32>{0.0f, 0.0f};
      }
    }
    EXPECT_EQ(jumpedTo, test.jumps);
    EXPECT_TRUE(bLeftTheOrigin);
  }
  ClPointerTracker::reset();
}

TEST_F(PadTester, A33rdSequenceIsAnAssertion) {
  start("");
  for (SPadMonkeySequence& s : m_tester.m_aSequences) {
    s = {0, 1.0f, 10.0f, 10.0f, 1, 10.0f, 5, 0, 1};
  }
  m_tester.m_fNewSequenceCountdown = 0.0f;
  EXPECT_KV_ASSERT(m_tester.tick(), "pSeq");
}

}  // namespace
