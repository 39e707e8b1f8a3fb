// The voice-over picker: the gaps between lines, the no-repeat weighted picks of each category, "DISABLE_VO",
// and the lines as cues of the sample bank. Time is the test's: it adds to the gap timers as the frame does.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Math/KvRandom.h"
#include "Tests/Code/GameModes/SampleBankTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::string text(const String& s) { return std::string(s.getCStr(), s.getLength()); }

// Lines per category, in the table's order of categories.
const int gc_aiLinesPerCategory[gc_iNUM_VOICE_OVER_CATEGORIES] = {9, 6, 6, 6, 9, 6, 9, 7, 7, 6, 7, 5, 5, 4, 6, 6, 9, 7, 9};

class VoiceOvers : public ::testing::Test {
 protected:
  void SetUp() override {
    ClDevINI::initialize();
    g_fTimeSinceVoiceOver = 0.0f;
    g_fTimeSinceSpacedVoiceOver = 0.0f;
  }
  void TearDown() override {
    ClGame::freeVoiceOvers();
    ClDevINI::terminate();
  }
  static void settings(const std::string& text) {
    ClDevINI::loadFromBuffer(text.data(), text.size(), "project.ini");
  }
  static void advance(f32 fSeconds) {
    g_fTimeSinceVoiceOver += fSeconds;
    g_fTimeSinceSpacedVoiceOver += fSeconds;
  }
  // A pick with both gaps long over.
  static std::string pickNow(i32 iCategory) {
    g_fTimeSinceVoiceOver = 1000.0f;
    g_fTimeSinceSpacedVoiceOver = 1000.0f;
    String line;
    EXPECT_TRUE(ClGame::pickVoiceOver(iCategory, &line));
    return text(line);
  }
};

TEST_F(VoiceOvers, GapsKeepLinesApart) {
  struct SStep {
    f32 fAdvance;  // seconds since the previous step
    i32 iCategory;
    bool bPlays;
  };
  // 0, 11, 12 and 13 wait out only the 3 s gap; every other category the 25 s gap of spaced lines as well.
  const SStep aSteps[] = {
      {0.0f, 0, false},    // t 0: nothing in the first 3 s
      {2.9f, 0, false},    // t 2.9
      {0.1f, 0, true},     // t 3.0
      {2.9f, 0, false},    // 2.9 s after the last line
      {0.1f, 11, true},    // t 6.0: 3.0 s after it
      {3.0f, 3, false},    // t 9.0: 3 s after any line, but no spaced line ever yet and 9 s < 25 s
      {16.0f, 3, true},    // t 25.0: the first spaced line
      {3.0f, 5, false},    // t 28.0: spaced, 3 s after a spaced line
      {0.0f, 12, true},    // t 28.0: unspaced, 3 s after any line
      {3.0f, 13, true},    // t 31.0
      {18.9f, 17, false},  // t 49.9: 24.9 s after the spaced line
      {0.1f, 17, true},    // t 50.0
      {3.0f, 0, true},     // t 53.0: an unspaced line restarts only the 3 s gap...
      {22.0f, 18, true},   // t 75.0: ...so a spaced one follows 25 s after the last spaced one
  };
  sfmtInitGenRand(17);
  ClGame::initVoiceOvers();
  u32 uiDraws = 0;
  for (size_t i = 0; i < sizeof(aSteps) / sizeof(aSteps[0]); ++i) {
    const SStep& step = aSteps[i];
    advance(step.fAdvance);
    String line;
    EXPECT_EQ(ClGame::pickVoiceOver(step.iCategory, &line), step.bPlays) << "step " << i;
    uiDraws += step.bPlays ? 1 : 0;
    EXPECT_EQ(KvRandomGetDrawCount(), uiDraws) << "step " << i << ": one draw for each line, none for a dropped one";
    if (step.bPlays) {
      EXPECT_EQ(g_fTimeSinceVoiceOver, 0.0f) << "step " << i;
    }
  }
}

TEST_F(VoiceOvers, EachCategoryNeverRepeatsItsLastHalf) {
  sfmtInitGenRand(2027);
  ClGame::initVoiceOvers();
  for (i32 iCategory = 0; iCategory < gc_iNUM_VOICE_OVER_CATEGORIES; ++iCategory) {
    const int iLines = gc_aiLinesPerCategory[iCategory];
    std::vector<std::string> history;
    for (int k = 0; k < 120; ++k) {
      const std::string line = pickNow(iCategory);
      for (int j = 0; j < iLines / 2 && j < static_cast<int>(history.size()); ++j) {
        ASSERT_NE(line, history[history.size() - 1 - j]) << "category " << iCategory << " pick " << k;
      }
      history.push_back(line);
    }
    const std::set<std::string> distinct(history.begin(), history.end());
    EXPECT_EQ(static_cast<int>(distinct.size()), iLines) << "category " << iCategory;
  }
  // Lines of the table in a few categories.
  EXPECT_EQ(pickNow(13).rfind("vo_12", 0), 0u);
  EXPECT_EQ(pickNow(18).rfind("vo_16", 0), 0u);
  EXPECT_EQ(pickNow(0).rfind("vo_1", 0), 0u);
}

// Category 3: "vo_2f" weighs 3, the five others 1. Each pick takes one word u and walks the lines not among the
// last 3 picks in table order until the running weight reaches u x their total.
TEST_F(VoiceOvers, WeightedPicksFollowTheWordStream) {
  const char* const apLines[] = {"vo_2a", "vo_2b", "vo_2c", "vo_2g", "vo_2h", "vo_2f"};
  const f32 afWeights[] = {1, 1, 1, 1, 1, 3};
  constexpr int iPicks = 400;
  sfmtInitGenRand(99);
  std::vector<u32> words;
  for (int k = 0; k < iPicks; ++k) {
    words.push_back(sfmtNextWord());
  }
  sfmtInitGenRand(99);
  ClGame::initVoiceOvers();
  std::vector<int> lastPick(6, -1000);
  int iHeavy = 0;
  for (int k = 0; k < iPicks; ++k) {
    f32 fTotal = 0.0f;
    for (int i = 0; i < 6; ++i) {
      fTotal += lastPick[i] < k - 3 ? afWeights[i] : 0.0f;
    }
    const f32 r = KvMath::wordToUnitFloat(words[k]) * fTotal;
    f32 fSum = 0.0f;
    int iExpected = -1;
    for (int i = 0; i < 6 && iExpected < 0; ++i) {
      if (lastPick[i] < k - 3) {
        fSum += afWeights[i];
        iExpected = r <= fSum ? i : -1;
      }
    }
    ASSERT_GE(iExpected, 0);
    ASSERT_EQ(pickNow(3), apLines[iExpected]) << "pick " << k;
    lastPick[iExpected] = k;
    iHeavy += iExpected == 5 ? 1 : 0;
  }
  // Among three candidates of weight 1, 1 and 3 the heavy line wins 3/5 of the picks it is free for.
  EXPECT_GT(iHeavy, iPicks / 5);
}

TEST_F(VoiceOvers, DisableVoSilencesEveryCategory) {
  struct SCase {
    const char* pSettings;
    bool bPlays;
  };
  const SCase aCases[] = {
      {"", true},
      {"DISABLE_VO 0\n", true},
      {"DISABLE_VO 1\n", false},
      {"DISABLE_VO -1\n", false},
  };
  for (const SCase& c : aCases) {
    ClDevINI::terminate();
    ClDevINI::initialize();
    settings(c.pSettings);
    sfmtInitGenRand(5);
    // The game fills the pickers only with voice-overs on: with them off, nothing may reach a picker.
    if (c.bPlays) {
      ClGame::initVoiceOvers();
    }
    for (i32 iCategory = 0; iCategory < gc_iNUM_VOICE_OVER_CATEGORIES; ++iCategory) {
      String line;
      g_fTimeSinceVoiceOver = 1000.0f;
      g_fTimeSinceSpacedVoiceOver = 1000.0f;
      EXPECT_EQ(ClGame::pickVoiceOver(iCategory, &line), c.bPlays) << c.pSettings << iCategory;
      g_fTimeSinceVoiceOver = 1000.0f;
      g_fTimeSinceSpacedVoiceOver = 1000.0f;
      ClGame::playVoiceOver(iCategory);  // no sound layer here: only the decision runs
    }
    EXPECT_EQ(KvRandomGetDrawCount(), c.bPlays ? 2u * gc_iNUM_VOICE_OVER_CATEGORIES : 0u) << c.pSettings;
    ClGame::freeVoiceOvers();
  }
}

TEST_F(VoiceOvers, ACategoryOutsideTheTableIsAnAssertion) {
  ClGame::initVoiceOvers();
  g_fTimeSinceVoiceOver = 1000.0f;
  g_fTimeSinceSpacedVoiceOver = 1000.0f;
  EXPECT_KV_ASSERT(ClGame::playVoiceOver(-1), "Invalid voice-over category");
  EXPECT_KV_ASSERT(ClGame::playVoiceOver(gc_iNUM_VOICE_OVER_CATEGORIES), "Invalid voice-over category");
}

// Every line is a cue of the sample bank, and a line played starts its cue.
class VoiceOverCues : public SampleBankTest {};

TEST_F(VoiceOverCues, EveryLineIsACueOfTheSampleBank) {
  sfmtInitGenRand(3);
  ClGame::initVoiceOvers();
  for (i32 iCategory = 0; iCategory < gc_iNUM_VOICE_OVER_CATEGORIES; ++iCategory) {
    for (int k = 0; k < 60; ++k) {
      g_fTimeSinceVoiceOver = 1000.0f;
      g_fTimeSinceSpacedVoiceOver = 1000.0f;
      String line;
      ASSERT_TRUE(ClGame::pickVoiceOver(iCategory, &line));
      EXPECT_NE(ClAudioManager::findCue(KvStrHash(line.getCStr())), nullptr) << text(line);
    }
  }
  g_fTimeSinceVoiceOver = 1000.0f;
  g_fTimeSinceSpacedVoiceOver = 1000.0f;
  ClGame::playVoiceOver(0);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1);
  ClGame::playVoiceOver(0);  // within the 3 s gap
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1);
  // The line is heard and ends by itself.
  gameplayFrameTime(0.05f);
  double dPeak = 0.0;
  for (int i = 0; i < 40; ++i) {
    dPeak = std::max(dPeak, rms(mixFrame(0.05f)));
  }
  EXPECT_GT(dPeak, 0.01);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
  ClGame::freeVoiceOvers();
}

}  // namespace
