#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/Math/KvRandom.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tools/kdsc/KdsSource.h"

namespace {

constexpr f32 gc_fDT = 1.0f / 64.0f;  // exact in binary, so timers run out on exact ticks

// A tester script with every kind of input: weighted and repeated buttons, sticks and the d-pad, and a
// pointer program.
const char* const gc_pRichScript = R"(
Scheme_InGame = [
  { Weight = 3.0, Duration = 0.5 .. 1.5, Programs = [
      { Buttons = [ "A", [ "B", Weight = 2.0 ], [ "X", Repetitions = [ 2, 3 ] ], #LA, "RA", "DPAD" ],
        TimeBetweenPresses = 0.05 .. 0.3, TimeHeld = 0.02 .. 0.2, AllowButtonPressOverlap = "yes" },
      { Buttons = [ "START", "P1", "RTRIG" ], TimeBetweenPresses = 0.1 .. 0.4, TimeHeld = 0.1,
        AllowButtonPressOverlap = "no",
        Pointer = { TimeBetweenMoves = 0.05 .. 0.1, MoveLengths = 0.01 .. 0.1,
                    FractionOfProgramSetTimeToSnapToDetectors = 0.5 } } ] },
  { Weight = 1.0, Duration = 0.25, Programs = [
      { Buttons = [ "LB", "RB", "LTRIG", "SELECT", "P2", "Y" ], TimeBetweenPresses = 0.1, TimeHeld = 0.05,
        AllowButtonPressOverlap = "yes" } ] }
]
Scheme_UI = [
  { Weight = 1.0, Duration = 100.0, Programs = [
      { Buttons = [ [ "A", Repetitions = [ 3 ] ] ], TimeBetweenPresses = 0.25 .. 0.25, TimeHeld = 0.125,
        AllowButtonPressOverlap = "no" } ] }
]
)";

class CDetectors : public ClMonkeyPointerDetectors {
 public:
  i32 getDetectorCount() override { return static_cast<i32>(rects.size()); }
  void getDetectorRect(i32 i, f32* pLeft, f32* pTop, f32* pRight, f32* pBottom) override {
    *pLeft = rects[i][0];
    *pTop = rects[i][1];
    *pRight = rects[i][2];
    *pBottom = rects[i][3];
  }
  std::vector<std::vector<f32>> rects;
};

class Monkey : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories("Scripts");
    ClDevINI::initialize();
    ClDScriptMgr2::initialize();
    ClMonkeyMgr::initialize();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = gc_fDT;
    std::memset(ClInputHWtoKv::mp_aPadStates, 0, sizeof(ClInputHWtoKv::mp_aPadStates));
  }
  void TearDown() override {
    ClMonkeyMgr::setPointerDetectors(nullptr);
    ClMonkeyMgr::terminate();
    ClDScriptMgr2::terminate();
    ClDevINI::terminate();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    std::filesystem::current_path(m_previous);
  }

  static void writeScript(const char* pName, const std::string& text) {
    SKdsSourceNode root;
    std::string error;
    ASSERT_TRUE(KdsParseSource(text, pName, &root, &error)) << error;
    const std::vector<uint8_t> image = KdsWriteImage(root);
    std::ofstream file(std::string("Scripts/") + pName + ".kds", std::ios::binary);
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }

  // Seeds the generator from "RANDOM_SEED", as the game's start-up does.
  static void seedFromSettings(const std::string& text) {
    ClDevINI::terminate();
    ClDevINI::initialize();
    ClDevINI::loadFromBuffer(text.data(), text.size(), "project.ini");
    sfmtInitGenRand(static_cast<u32>(ClDevINI::getInt("RANDOM_SEED")));
  }

  // Ticks as the hardware layer does (records zeroed first) and keeps pad record 0 of every tick.
  static std::vector<SInputPadState> run(i32 iTicks) {
    std::vector<SInputPadState> records;
    for (i32 i = 0; i < iTicks; ++i) {
      std::memset(ClInputHWtoKv::mp_aPadStates, 0, sizeof(ClInputHWtoKv::mp_aPadStates));
      ClMonkeyMgr::tick();
      records.push_back(ClInputHWtoKv::mp_aPadStates[0]);
    }
    return records;
  }

  std::filesystem::path m_previous;
};

bool samePad(const SInputPadState& a, const SInputPadState& b) {
  return std::memcmp(&a, &b, sizeof(SInputPadState)) == 0;
}

TEST_F(Monkey, TheSameSeedDrivesPadRecordZeroTheSameWayTwice) {
  writeScript("monkey", gc_pRichScript);
  CDetectors detectors;
  detectors.rects = {{0.1f, 0.2f, 0.3f, 0.4f}, {0.6f, 0.6f, 0.8f, 0.9f}};
  ClMonkeyMgr::setPointerDetectors(&detectors);

  auto session = [this](const char* pSettings) {
    ClMonkeyMgr::terminate();
    ClMonkeyMgr::initialize();
    seedFromSettings(pSettings);
    ClMonkeyMgr::start("monkey", "Scheme_InGame");
    return run(600);
  };
  const std::vector<SInputPadState> first = session("RANDOM_SEED 4242\n");
  const u32 uiDraws = KvRandomGetDrawCount();
  const std::vector<SInputPadState> second = session("RANDOM_SEED 4242\n");
  EXPECT_EQ(KvRandomGetDrawCount(), uiDraws);
  ASSERT_EQ(first.size(), second.size());
  i32 iDiffering = 0;
  for (size_t i = 0; i < first.size(); ++i) {
    iDiffering += samePad(first[i], second[i]) ? 0 : 1;
  }
  EXPECT_EQ(iDiffering, 0);

  // The run did press things, and another seed plays differently.
  i32 iActive = 0;
  for (const SInputPadState& pad : first) {
    for (i32 i : {0, 1, 2, 3, 6, 7, 8, 9, 12, 13, 14, 15, 16, 17, 18, 19, 22, 23, 34, 35}) {
      iActive += pad.mp_afInputs[i] != 0.0f ? 1 : 0;
    }
    EXPECT_EQ(pad.mp_afInputs[E_PAD_INPUT_POINTER_PRESENT], 1.0f);
    EXPECT_GE(pad.mp_afInputs[E_PAD_INPUT_POINTER_X], 0.0f);
    EXPECT_LE(pad.mp_afInputs[E_PAD_INPUT_POINTER_X], 1.0f);
  }
  EXPECT_GT(iActive, 100);
  const std::vector<SInputPadState> other = session("RANDOM_SEED 4243\n");
  i32 iDifferentTicks = 0;
  for (size_t i = 0; i < first.size(); ++i) {
    iDifferentTicks += samePad(first[i], other[i]) ? 0 : 1;
  }
  EXPECT_GT(iDifferentTicks, 100);
}

TEST_F(Monkey, RepeatedPressesHoldReleaseAndWaitForTheWholeSequence) {
  writeScript("monkey", gc_pRichScript);
  sfmtInitGenRand(7);
  ClMonkeyMgr::start("monkey", "Scheme_UI");
  // Names hash without case: "Monkey", as the game's modes write it, is the same cached script.
  EXPECT_EQ(ClDScriptMgr2::getScript("Monkey", nullptr), ClDScriptMgr2::getScript("monkey", nullptr));
  const std::vector<SInputPadState> records = run(100);
  std::string pattern;
  for (const SInputPadState& pad : records) {
    pattern += pad.mp_afInputs[E_PAD_INPUT_A] == 1.0f ? '#' : '.';
  }
  // First press after 0.25 s (tick 16); three holds of 0.125 s with gaps of 0.25 s; then the next press
  // 1.125 s after the first: (held + gap) x 2 + held + interval.
  const std::string expected = std::string(15, '.') + std::string(8, '#') + std::string(16, '.') +
                               std::string(8, '#') + std::string(16, '.') + std::string(8, '#') +
                               std::string(16, '.') + std::string(8, '#') + std::string(5, '.');
  EXPECT_EQ(pattern, expected.substr(0, 100));
  // Nothing else is pressed by this scheme.
  for (const SInputPadState& pad : records) {
    EXPECT_EQ(pad.mp_afInputs[E_PAD_INPUT_B], 0.0f);
  }
}

TEST_F(Monkey, SticksAndTheDpadFollowThePressDirection) {
  writeScript("monkey", R"(
Dirs = [ { Weight = 1.0, Duration = 100.0, Programs = [
  { Buttons = [ "DPAD", "LA", "RA" ], TimeBetweenPresses = 0.5, TimeHeld = 0.25, AllowButtonPressOverlap = "yes" }
] } ]
)");
  sfmtInitGenRand(99);
  ClMonkeyMgr::start("monkey", "Dirs");
  i32 iChecked = 0;
  for (i32 iTick = 0; iTick < 64 * 20; ++iTick) {
    std::memset(ClInputHWtoKv::mp_aPadStates, 0, sizeof(ClInputHWtoKv::mp_aPadStates));
    ClMonkeyMgr::tick();
    const f32* pPad = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
    if (ClMonkeyMgr::mp_daActivePresses.getCount() != 1) {
      continue;
    }
    const SMonkeyButtonPress& press = ClMonkeyMgr::mp_daActivePresses[0];
    const f32 x = press.mp_fDirectionX;
    const f32 y = press.mp_fDirectionY;
    EXPECT_NEAR(x * x + y * y, 1.0f, 1e-5f);
    if (press.mp_iInputCode == 14) {
      EXPECT_EQ(pPad[E_PAD_INPUT_DPAD_UP], y > 0.0f ? 1.0f : 0.0f);
      EXPECT_EQ(pPad[E_PAD_INPUT_DPAD_DOWN], y < 0.0f ? 1.0f : 0.0f);
      EXPECT_EQ(pPad[E_PAD_INPUT_DPAD_LEFT], x < 0.0f ? 1.0f : 0.0f);
      EXPECT_EQ(pPad[E_PAD_INPUT_DPAD_RIGHT], x > 0.0f ? 1.0f : 0.0f);
    } else if (press.mp_iInputCode == 17) {
      EXPECT_EQ(pPad[E_PAD_INPUT_LEFT_STICK_X], x);
      EXPECT_EQ(pPad[E_PAD_INPUT_LEFT_STICK_Y], y);
    } else {
      ASSERT_EQ(press.mp_iInputCode, 19);
      EXPECT_EQ(pPad[E_PAD_INPUT_RIGHT_STICK_X], x);
      EXPECT_EQ(pPad[E_PAD_INPUT_RIGHT_STICK_Y], y);
    }
    ++iChecked;
  }
  EXPECT_GT(iChecked, 500);
}

TEST_F(Monkey, ThePointerWalksFreelyThenJumpsToDetectors) {
  writeScript("monkey", R"(
Walk = [ { Weight = 1.0, Duration = 2.0, Programs = [
  { Buttons = [], TimeBetweenPresses = 1.0, TimeHeld = 0.1, AllowButtonPressOverlap = "yes",
    Pointer = { TimeBetweenMoves = 0.0625, MoveLengths = 0.1, FractionOfProgramSetTimeToSnapToDetectors = 0.5 } }
] } ]
)");
  sfmtInitGenRand(5);
  // Without detectors the pointer only walks, inside the unit square.
  ClMonkeyMgr::start("monkey", "Walk");
  EXPECT_FLOAT_EQ(ClMonkeyMgr::mp_fFreeMovementTime, 1.0f);
  std::vector<SInputPadState> records = run(120);
  i32 iMoves = 0;
  for (size_t i = 1; i < records.size(); ++i) {
    const f32 x = records[i].mp_afInputs[E_PAD_INPUT_POINTER_X];
    const f32 y = records[i].mp_afInputs[E_PAD_INPUT_POINTER_Y];
    EXPECT_TRUE(x >= 0.0f && x <= 1.0f && y >= 0.0f && y <= 1.0f) << x << "," << y;
    iMoves += x != records[i - 1].mp_afInputs[E_PAD_INPUT_POINTER_X] ? 1 : 0;
  }
  EXPECT_GE(iMoves, 10);  // a move every 4 ticks, some held at an edge

  // With detectors: free for the first half of the set, then on detector centres only.
  CDetectors detectors;
  detectors.rects = {{0.1f, 0.1f, 0.3f, 0.5f}, {0.5f, 0.7f, 0.9f, 0.9f}};
  ClMonkeyMgr::setPointerDetectors(&detectors);
  ClMonkeyMgr::start("monkey", "Walk");
  records = run(127);  // the set lasts 128 ticks
  std::set<std::pair<f32, f32>> lateSpots;
  for (size_t i = 70; i < records.size(); ++i) {
    lateSpots.insert({records[i].mp_afInputs[E_PAD_INPUT_POINTER_X], records[i].mp_afInputs[E_PAD_INPUT_POINTER_Y]});
  }
  const std::pair<f32, f32> first{(0.1f + 0.3f) / 2.0f, (0.1f + 0.5f) / 2.0f};
  const std::pair<f32, f32> second{(0.5f + 0.9f) / 2.0f, (0.7f + 0.9f) / 2.0f};
  for (const auto& spot : lateSpots) {
    EXPECT_TRUE(spot == first || spot == second) << spot.first << "," << spot.second;
  }
  EXPECT_EQ(lateSpots.size(), 2u);
}

TEST_F(Monkey, AnEmptySetIsReplacedAtTheNextTick) {
  writeScript("monkey", R"(
Short = [ { Weight = 1.0, Duration = 0, Programs = [] } ]
)");
  sfmtInitGenRand(1);
  ClMonkeyMgr::start("monkey", "Short");
  const u32 uiDraws = KvRandomGetDrawCount();
  run(3);
  EXPECT_EQ(KvRandomGetDrawCount(), uiDraws + 3);  // one set pick per tick
  EXPECT_EQ(ClMonkeyMgr::mp_fMoveTimer, FLT_MAX);
}

TEST_F(Monkey, MalformedScriptsStopWithTheirMessages) {
  writeScript("monkey", R"(
Unknown = [ { Weight = 1.0, Duration = 9.0, Programs = [
  { Buttons = [ "TURBO" ], TimeBetweenPresses = 0.0, TimeHeld = 0.1, AllowButtonPressOverlap = "yes" } ] } ]
TwoPointers = [ { Weight = 1.0, Duration = 9.0, Programs = [
  { Buttons = [], TimeBetweenPresses = 1.0, TimeHeld = 0.1, AllowButtonPressOverlap = "yes",
    Pointer = { TimeBetweenMoves = 1.0, MoveLengths = 0.1, FractionOfProgramSetTimeToSnapToDetectors = 0.5 } },
  { Buttons = [], TimeBetweenPresses = 1.0, TimeHeld = 0.1, AllowButtonPressOverlap = "yes",
    Pointer = { TimeBetweenMoves = 1.0, MoveLengths = 0.1, FractionOfProgramSetTimeToSnapToDetectors = 0.5 } }
] } ]
ZeroWeight = [ { Weight = 0.0, Duration = 9.0, Programs = [] } ]
BadFraction = [ { Weight = 1.0, Duration = 9.0, Programs = [
  { Buttons = [], TimeBetweenPresses = 1.0, TimeHeld = 0.1, AllowButtonPressOverlap = "yes",
    Pointer = { TimeBetweenMoves = 1.0, MoveLengths = 0.1, FractionOfProgramSetTimeToSnapToDetectors = 1.5 } } ] } ]
ZeroRepetitions = [ { Weight = 1.0, Duration = 9.0, Programs = [
  { Buttons = [ [ "A", Repetitions = [ 0 ] ] ], TimeBetweenPresses = 0.0 .. 0.0, TimeHeld = 0.1,
    AllowButtonPressOverlap = "yes" } ] } ]
Overlap = [ { Weight = 1.0, Duration = 9.0, Programs = [
  { Buttons = [ "A" ], TimeBetweenPresses = 0.0, TimeHeld = 0.1, AllowButtonPressOverlap = "maybe" } ] } ]
)");
  sfmtInitGenRand(3);
  ClMonkeyMgr::start("monkey", "Unknown");
  EXPECT_KV_FATAL(ClMonkeyMgr::tick(), "Unknown Monkey input [TURBO]");
  EXPECT_KV_ASSERT(ClMonkeyMgr::start("monkey", "TwoPointers"),
                   "Only define pointer movement for one program in a Monkey program set");
  EXPECT_KV_ASSERT(ClMonkeyMgr::start("monkey", "ZeroWeight"), "fWeight>KV_EPSILON");
  EXPECT_KV_ASSERT(ClMonkeyMgr::start("monkey", "BadFraction"),
                   "fFractionOfFreeMovement >= KV_ZERO && fFractionOfFreeMovement <= KV_ONE");
  ClMonkeyMgr::start("monkey", "ZeroRepetitions");
  EXPECT_KV_ASSERT(ClMonkeyMgr::tick(), "buttonDown.mp_iRepetitionsLeft >= 0");
  ClMonkeyMgr::start("monkey", "Overlap");
  EXPECT_KV_ASSERT(ClMonkeyMgr::tick(),
                   "pProgramRoot->getChild(\"AllowButtonPressOverlap\")->asStringObj() == \"yes\"");
  EXPECT_KV_FATAL(ClMonkeyMgr::start("nomonkey", "Unknown"), "Could not open script data file at [nomonkey]!");
}

}  // namespace
