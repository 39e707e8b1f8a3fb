// The profile block: its words at their file offsets after initialise and reset, the raise-only records and the
// per-mode accessors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "Code/System/ClProfileMgr.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// The 32-bit word at a block offset, read from the bytes as a file reader would.
i32 wordAt(u32 uiOffset) {
  i32 iWord = 0;
  std::memcpy(&iWord, reinterpret_cast<const u8*>(mpr_pPlayerProfile) + uiOffset, sizeof(iWord));
  return iWord;
}

class ProfileMgr : public ::testing::Test {
 protected:
  void SetUp() override { ClProfileMgr::initialize(); }
  void TearDown() override { ClProfileMgr::terminate(); }
};

TEST_F(ProfileMgr, InitialiseWritesTheVersionAndZeroesEveryDataWord) {
  // Dirty the heap block first, so that zeroes are written rather than found.
  std::memset(mpr_pPlayerProfile, 0xA5, gc_uiPLAYER_PROFILE_SIZE);
  ClProfileMgr::terminate();
  ClProfileMgr::initialize();
  ASSERT_NE(mpr_pPlayerProfile, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(mpr_pPlayerProfile) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<u8*>(g_pPlayerProfileData), reinterpret_cast<u8*>(mpr_pPlayerProfile) + 4);
  EXPECT_EQ(wordAt(0), 22);
  for (u32 uiOffset = 4; uiOffset < gc_uiPLAYER_PROFILE_SIZE; uiOffset += 4) {
    ASSERT_EQ(wordAt(uiOffset), 0) << "offset " << uiOffset;
  }
}

TEST_F(ProfileMgr, ResetKeepsTheVersionClearsRecordsAndSetsTheOptionWords) {
  std::memset(mpr_pPlayerProfile, 0x5A, gc_uiPLAYER_PROFILE_SIZE);
  mpr_pPlayerProfile->m_iVersion = 17;
  ClProfileMgr::resetToDefaults(mpr_pPlayerProfile);
  EXPECT_EQ(wordAt(0), 17);
  for (u32 uiOffset = 4; uiOffset < 2536; uiOffset += 4) {
    ASSERT_EQ(wordAt(uiOffset), 0) << "offset " << uiOffset;
  }
  const i32 aiOptions[] = {80, 80, 80, 1, 1, 0, 1, -1, -1, -1, 1, 2};
  for (u32 i = 0; i < 12; ++i) {
    EXPECT_EQ(wordAt(2536 + 4 * i), aiOptions[i]) << "option word " << i;
  }
}

TEST_F(ProfileMgr, AFailedAllocationNamesTheBlock) {
  ClProfileMgr::terminate();
  KvAllocFailNext(1);
  EXPECT_KV_ASSERT(ClProfileMgr::initialize(), "mpr_pPlayerProfile");
  KvAllocFailNext(0);
}

TEST_F(ProfileMgr, RecordsRiseOnlyForAStrictlyGreaterValue) {
  struct SCase {
    i32 iStored;
    i32 iValue;
    bool bRises;
  };
  const SCase aCases[] = {{0, 1, true}, {5, 5, false}, {5, 4, false}, {-3, -2, true}, {0, -1, false}};
  for (const SCase& c : aCases) {
    i32 iWord = c.iStored;
    EXPECT_EQ(ClProfileMgr::raise(&iWord, c.iValue), c.bRises) << c.iStored << " <- " << c.iValue;
    EXPECT_EQ(iWord, c.bRises ? c.iValue : c.iStored);
  }
}

TEST_F(ProfileMgr, MarathonStagePairRisesByChapterFirst) {
  struct SCase {
    i32 iStoredChapter, iStoredLevel, iChapter, iLevel, iExpectChapter, iExpectLevel;
  };
  const SCase aCases[] = {
      {1, 3, 2, 0, 2, 0},  // a later chapter takes both words, even with a lower level
      {1, 3, 0, 6, 1, 6},  // an earlier chapter with a higher level raises the level word alone
      {1, 3, 1, 2, 1, 3},  // nothing higher: unchanged
      {1, 3, 1, 5, 1, 5},
  };
  for (const SCase& c : aCases) {
    SProfileMarathonRecord record{};
    record.m_iFurthestChapter = c.iStoredChapter;
    record.m_iFurthestLevel = c.iStoredLevel;
    ClProfileMgr::raiseMarathonStage(&record, c.iChapter, c.iLevel);
    EXPECT_EQ(record.m_iFurthestChapter, c.iExpectChapter);
    EXPECT_EQ(record.m_iFurthestLevel, c.iExpectLevel);
  }
}

TEST_F(ProfileMgr, ModeAccessorsReachTheirRecordsAtTheFileOffsets) {
  struct SCase {
    i32 iMode, iChapter, iLevel;
    u32 uiRecordOffset;  // block offset of the record's best-score word
    u32 uiRankOffset;    // of its world rank, relative to the record
  };
  const SCase aCases[] = {
      {0, 0, 0, 12, 16},
      {0, 2, 7, 12 + (2 * 16 + 7) * 24, 16},
      {0, 1, 15, 12 + (1 * 16 + 15) * 24, 16},
      {1, 0, 0, 2316, 24},
      {2, 0, 0, 2348, 24},
      {6, 0, 0, 2380, 24},
      {3, 0, 0, 2412, 16},
      {4, 0, 0, 2436, 16},
  };
  i32 iValue = 100;
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.iMode);
    ++iValue;
    EXPECT_TRUE(ClProfileMgr::raiseBestScore(c.iMode, c.iChapter, c.iLevel, iValue));
    EXPECT_FALSE(ClProfileMgr::raiseBestScore(c.iMode, c.iChapter, c.iLevel, iValue));
    ClProfileMgr::setWorldRank(c.iMode, c.iChapter, c.iLevel, iValue + 1);
    ClProfileMgr::setWorldRecordScore(c.iMode, c.iChapter, c.iLevel, iValue + 2);
    EXPECT_EQ(wordAt(c.uiRecordOffset), iValue);
    EXPECT_EQ(wordAt(c.uiRecordOffset + c.uiRankOffset), iValue + 1);
    EXPECT_EQ(wordAt(c.uiRecordOffset + c.uiRankOffset + 4), iValue + 2);
    EXPECT_EQ(ClProfileMgr::getBestScore(c.iMode, c.iChapter, c.iLevel), iValue);
    EXPECT_EQ(ClProfileMgr::getWorldRank(c.iMode, c.iChapter, c.iLevel), iValue + 1);
  }
  EXPECT_KV_ASSERT(ClProfileMgr::getBestScore(5, 0, 0), "UNSUPPORTED GAME MODE 5: it has no profile record");
  EXPECT_KV_ASSERT(ClProfileMgr::getBestScore(0, 3, 0), "No story level record for chapter 3, level 0");
}

}  // namespace

namespace {

// A loaded profile's values are brought into their ranges and named; values in range and the records stay.
TEST_F(ProfileMgr, ClampBringsOptionsAndSwitchesIntoRange) {
  SPlayerProfileData& data = *g_pPlayerProfileData;
  ClProfileMgr::resetToDefaults(mpr_pPlayerProfile);
  data.m_iDisplayWidth = 1280;
  data.m_iDisplayHeight = 720;
  data.m_marathon.m_iBestScore = 5;
  EXPECT_EQ(ClProfileMgr::clampToRanges(&data), "");
  EXPECT_EQ(data.m_iDisplayWidth, 1280);
  EXPECT_EQ(data.m_marathon.m_iBestScore, 5);
  data.m_iMusicVolume = 1600000000;
  data.m_iMasterVolume = -3;
  data.m_bVSync = 7;
  data.m_bGameCompleted = -1;
  data.m_iWindowMode = 2104112879;
  data.m_iDisplayHeight = -1;
  EXPECT_EQ(ClProfileMgr::clampToRanges(&data),
            "music volume, master volume, game completed, vertical sync, window mode, resolution");
  EXPECT_EQ(data.m_iMusicVolume, 100);
  EXPECT_EQ(data.m_iMasterVolume, 0);
  EXPECT_EQ(data.m_iSoundEffectVolume, 80);
  EXPECT_EQ(data.m_bVSync, 1);
  EXPECT_EQ(data.m_bGameCompleted, 0);
  EXPECT_EQ(data.m_iWindowMode, 2);
  EXPECT_EQ(data.m_iDisplayWidth, -1);
  EXPECT_EQ(data.m_iDisplayRefreshRate, -1);
  EXPECT_EQ(ClProfileMgr::clampToRanges(&data), "");
}

// Progress and records out of range: each word to its nearest allowed value, each record named once; the words in
// range beside them stay.
TEST_F(ProfileMgr, ClampBringsProgressAndRecordsIntoRange) {
  SPlayerProfileData& data = *g_pPlayerProfileData;
  struct SCase {
    const char* pNamed;
    i32* piWord;
    i32 iStored, iExpected;
  };
  SProfileLevelRecord& level = data.m_aLevelRecords[2 * gc_iPROFILE_LEVEL_SLOTS_PER_CHAPTER + 7];
  const SCase aCases[] = {
      {"story progress", &data.m_iStoryChapterReached, 7, 2},
      {"story progress", &data.m_iStoryLevelReached, 99, 7},
      {"story progress", &data.m_iStoryChapterReached, -1, 0},
      {"story level records", &level.m_iBestScore, -5, 0},
      {"story level records", &level.m_iWorldRank, -1520885310, 0},
      {"story level records", &level.m_iWorldRecordScore, INT32_MIN, 0},
      {"story level records", &data.m_aLevelRecords[95].m_iMostKills, -1, 0},
      {"marathon record", &data.m_marathon.m_iFurthestLevel, 8, 7},
      {"marathon extreme record", &data.m_marathonExtreme.m_iFurthestChapter, 3, 2},
      {"marathon ultra record", &data.m_marathonUltra.m_iLongestDistance, -40, 0},
      {"survivor record", &data.m_survivor.m_iLongestKillStreak, -2, 0},
      {"survivor record", &data.m_survivor.m_iLongestDistance, -3, 0},
      {"survivor hardcore record", &data.m_survivorHardcore.m_iWorldRank, -7, 0},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pNamed);
    ClProfileMgr::resetToDefaults(mpr_pPlayerProfile);
    data.m_iStoryChapterReached = 1;
    data.m_iStoryLevelReached = 3;
    level.m_iBestScore = 1234;
    level.m_iWorldRank = 17;
    level.m_iReserved = -9;  // never written by the game: left as stored
    *c.piWord = c.iStored;
    EXPECT_EQ(ClProfileMgr::clampToRanges(&data), c.pNamed);
    EXPECT_EQ(*c.piWord, c.iExpected);
    EXPECT_EQ(level.m_iReserved, -9);
    EXPECT_EQ(ClProfileMgr::clampToRanges(&data), "");
  }
  EXPECT_EQ(data.m_iStoryLevelReached, 3);
  EXPECT_EQ(level.m_iBestScore, 1234);
  EXPECT_EQ(level.m_iWorldRank, 17);
}

// A stored profile of random words: every word the game reads comes out in its range, all named in one line.
TEST_F(ProfileMgr, ClampOfARandomProfileLeavesEveryWordInRange) {
  std::mt19937 random(56);
  for (u32 uiOffset = 4; uiOffset < gc_uiPLAYER_PROFILE_SIZE; uiOffset += 4) {
    const u32 uiWord = random();
    std::memcpy(reinterpret_cast<u8*>(mpr_pPlayerProfile) + uiOffset, &uiWord, sizeof(uiWord));
  }
  SPlayerProfileData& data = *g_pPlayerProfileData;
  const std::string named = ClProfileMgr::clampToRanges(&data);
  EXPECT_EQ(named.rfind("story progress, story level records, marathon record, ", 0), 0u) << named;
  EXPECT_NE(named.find("survivor hardcore record, music volume"), std::string::npos) << named;
  EXPECT_EQ(ClProfileMgr::clampToRanges(&data), "");
  const auto inRange = [](std::initializer_list<i32> words, i32 iHigh = INT32_MAX) {
    return std::all_of(words.begin(), words.end(), [iHigh](i32 iWord) { return iWord >= 0 && iWord <= iHigh; });
  };
  // The words a marathon and a survivor record share.
  const auto recordInRange = [&inRange](const auto& r) {
    return inRange({r.m_iBestScore, r.m_iMostKills, r.m_iLongestKillStreak, r.m_iLongestDistance, r.m_iWorldRank,
                    r.m_iWorldRecordScore});
  };
  EXPECT_TRUE(inRange({data.m_iStoryChapterReached}, 2) && inRange({data.m_iStoryLevelReached}, 7));
  for (const SProfileLevelRecord& r : data.m_aLevelRecords) {
    ASSERT_TRUE(
        inRange({r.m_iBestScore, r.m_iMostKills, r.m_iLongestKillStreak, r.m_iWorldRank, r.m_iWorldRecordScore}))
        << &r - data.m_aLevelRecords;
  }
  for (const SProfileMarathonRecord* r : {&data.m_marathon, &data.m_marathonExtreme, &data.m_marathonUltra}) {
    EXPECT_TRUE(recordInRange(*r) && inRange({r->m_iFurthestChapter}, 2) && inRange({r->m_iFurthestLevel}, 7));
  }
  EXPECT_TRUE(recordInRange(data.m_survivor) && recordInRange(data.m_survivorHardcore));
}

}  // namespace
