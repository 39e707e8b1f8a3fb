// The spawn manager: story rows from "Spawns" created 484 units ahead of the camera, star groups, crates and
// pickups, the survivor's quiet last seconds, the limited cue player, endless generation (pattern collection,
// length, star cooldown, mirroring, the picker's draw order) and damaged "Spawns" arrays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Code/Objects/ClEntityPickup.h"
#include "Code/Objects/ClEntityStarEnemy.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Code/Objects/SampleWorldRun.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

class SpawnMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* pName : {"PickupHealth", "PickupPoints", "PickupMachete", "PickupAxe", "PickupSledgehammer"}) {
      m_world.flipBook(pName, 2, 10.0f, 6.0f, 12.0f);
    }
    for (const char* pName : {"IM-HUD-Bomb-1_216", "IM-HUD-Bomb-2_216", "IM-HUD-Bomb-3_216"}) {
      m_world.uiImage(pName, 20.0f, 18.0f);
    }
    ASSERT_EQ(m_world.loadEnemies(KvTestEnemyScript({{"Walker", "HitPoints = 3.0\nInitialSound = \"Growl\""},
                                                     {"EnemyWeakA", ""},
                                                     {"PickupWeaponCrate", ""},
                                                     {"PickupSupportCrate", ""}})),
              "");
    ClSpawnMgr::initialize();
  }
  void TearDown() override {
    ClSpawnMgr::terminate();
    for (ClDScriptData2* pTree : m_trees) {
      ClDScriptData2::destroyTree(pTree);
    }
  }
  const ClDScriptData2* levels(const std::string& text) {
    std::string error;
    ClDScriptData2* pTree = KvTestCompileScript(text, "Levels", &error);
    EXPECT_NE(pTree, nullptr) << error;
    m_trees.push_back(pTree);
    return pTree;
  }
  const ClDScriptData2* spawns(const std::string& rows) {
    const ClDScriptData2* pLevels = levels("Chapter1_1 = { TimeInSeconds = 60, Spawns = [\n" + rows + "\n] }");
    return pLevels != nullptr ? pLevels->getChild("Chapter1_1")->getChild("Spawns") : nullptr;
  }
  void tickAt(f32 fCameraX, f32 fSystemDT = 0.0f) {
    g_fWorldCameraX = fCameraX;
    ClClock::m_aClockFrames[0].m_fFrameTime = fSystemDT;
    ClSpawnMgr::tick();
  }
  // Where a created entity's row lies: its x less the spawn distance and the anchor its set-up adds.
  static f32 rowPosition(const ClEntity* pEntity) {
    const ClEntityPickup* pPickup = dynamic_cast<const ClEntityPickup*>(pEntity);
    const f32 fShift = pPickup != nullptr && pPickup->mp_pImage != nullptr
                           ? pPickup->mp_pImage->mp_pAtlasTexInfo->mp_fWidth * 0.5f
                           : pEntity->m_mainAnim.getCurFrame()->mp_fAnchorX;
    return pEntity->m_vPosition[0] - fShift - gc_fSPAWN_AHEAD;
  }
  ClWorldHarness m_world;
  std::vector<ClDScriptData2*> m_trees;
};

constexpr const char* gc_pSTORY_ROWS = R"(
  [100.0, 0, "Walker"]
  [0.0, 2, #Walker]
  [#pattern]
  [50.0, 1, "PickupHealth"]
  [#end]
  [200.0, 1, "PickupWeaponCrate_PickupMachete"]
  [10.0, 0, "PickupSupportCrate"]
  [40.0, 2, "Walker", "star"]
  [0.0, 1, "Walker"]
  [5.0, 0, "Walker", "star"]
  [5.0, 1, "Walker", "star_end"]
  [30.0, 1, "Walker", "star_end"]
)";

TEST_F(SpawnMgrTest, StoryRowsLoadWithTheirStarGroups) {
  ASSERT_TRUE(ClSpawnMgr::loadLevelSpawns(spawns(gc_pSTORY_ROWS)));
  struct SRow {
    f32 fDistance;
    i32 iLane;
    const char* pName;
    i32 iGroup;
  };
  const SRow aExpected[] = {
      {100.0f, 0, "Walker", -1},  {0.0f, 2, "Walker", -1}, {50.0f, 1, "PickupHealth", -1},
      {200.0f, 1, "PickupWeaponCrate_PickupMachete", -1},  {10.0f, 0, "PickupSupportCrate", -1},
      {40.0f, 2, "Walker", 0},    {0.0f, 1, "Walker", -1}, {5.0f, 0, "Walker", 0},
      {5.0f, 1, "Walker", 0},     {30.0f, 1, "Walker", 1},
  };
  ASSERT_EQ(g_spawnRows.getCount(), 10);
  for (i32 i = 0; i < 10; ++i) {
    EXPECT_EQ(g_spawnRows[i].m_fDistance, aExpected[i].fDistance) << "row " << i;
    EXPECT_EQ(g_spawnRows[i].m_iLane, aExpected[i].iLane) << "row " << i;
    EXPECT_STREQ(g_spawnRows[i].m_name.getCStr(), aExpected[i].pName) << "row " << i;
    EXPECT_EQ(g_spawnRows[i].m_iStarGroup, aExpected[i].iGroup) << "row " << i;
  }
  ASSERT_EQ(g_aiStarGroupCounts.getCount(), 2);
  EXPECT_EQ(g_aiStarGroupCounts[0], 3);  // "star", "star", "star_end"
  EXPECT_EQ(g_aiStarGroupCounts[1], 1);  // a lone "star_end"
  EXPECT_EQ(g_fLevelLength, 440.0f);
}

TEST_F(SpawnMgrTest, RowsAreCreatedAheadOfTheCameraAsItPassesThem) {
  ASSERT_TRUE(ClSpawnMgr::loadLevelSpawns(spawns(gc_pSTORY_ROWS)));
  struct SStep {
    f32 fCameraX;
    i32 iCreated;
  };
  const SStep aSteps[] = {{0.0f, 0},   {100.0f, 0},  {100.5f, 2}, {150.0f, 2},
                          {150.5f, 3}, {400.5f, 7},  {420.0f, 9}, {5000.0f, 10}};
  const f32 afRowPositions[] = {100.0f, 100.0f, 150.0f, 350.0f, 360.0f, 400.0f, 400.0f, 405.0f, 410.0f, 440.0f};
  for (const SStep& step : aSteps) {
    tickAt(step.fCameraX);
    EXPECT_EQ(g_iNextSpawnRow, step.iCreated) << "camera " << step.fCameraX;
    ASSERT_EQ(g_entityList.getCount(), step.iCreated) << "camera " << step.fCameraX;
  }
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    EXPECT_FLOAT_EQ(rowPosition(g_entityList[i]), afRowPositions[i]) << "row " << i;
    EXPECT_EQ(g_entityList[i]->m_iLane, g_spawnRows[i].m_iLane) << "row " << i;
  }
  EXPECT_EQ(g_fSpawnBase, 440.0f);
  // What each row made.
  EXPECT_NE(dynamic_cast<ClEntityPickup*>(g_entityList[2]), nullptr);
  const ClEntityEnemy* pWeaponCrate = dynamic_cast<ClEntityEnemy*>(g_entityList[3]);
  ASSERT_NE(pWeaponCrate, nullptr);
  EXPECT_TRUE(pWeaponCrate->typeIs("PickupWeaponCrate"));
  EXPECT_STREQ(pWeaponCrate->m_crateContent.getCStr(), "PickupMachete");
  const ClEntityEnemy* pSupportCrate = dynamic_cast<ClEntityEnemy*>(g_entityList[4]);
  ASSERT_NE(pSupportCrate, nullptr);
  EXPECT_TRUE(pSupportCrate->typeIs("PickupSupportCrate"));
  EXPECT_EQ(pSupportCrate->m_crateContent.getLength(), 0u);
  for (i32 i : {5, 7, 8, 9}) {
    const ClEntityStarEnemy* pStar = dynamic_cast<ClEntityStarEnemy*>(g_entityList[i]);
    ASSERT_NE(pStar, nullptr) << "row " << i;
    EXPECT_EQ(pStar->m_iStarGroup, g_spawnRows[i].m_iStarGroup);
    EXPECT_TRUE(pStar->m_inner.typeIs("Walker"));
  }
  EXPECT_EQ(dynamic_cast<ClEntityStarEnemy*>(g_entityList[6]), nullptr);
}

TEST_F(SpawnMgrTest, SurvivorSpawnsNothingInAWavesLastTwoSeconds) {
  ASSERT_TRUE(ClSpawnMgr::loadLevelSpawns(spawns("[10.0, 0, \"Walker\"]\n[10.0, 1, \"Walker\"]")));
  ClSpawnMgr::playLimitedCue(KvStrHash("Cue"));
  struct SCase {
    i32 iGameType;
    f32 fTimeLeft;
    i32 iCreated;
  };
  const SCase aCases[] = {{3, 2.0f, 0}, {4, 1.0f, 0}, {4, -3.0f, 0}, {0, 1.0f, 2}, {3, 2.5f, 2}};
  for (const SCase& c : aCases) {
    g_iNextSpawnRow = 0;
    g_fSpawnBase = 0.0f;
    g_afLimitedCueTimes[0] = 1.0f;
    g_iGameType = c.iGameType;
    g_fTimeLeft = c.fTimeLeft;
    const i32 iBefore = g_entityList.getCount();
    tickAt(100.0f, 0.25f);
    EXPECT_EQ(g_entityList.getCount() - iBefore, c.iCreated) << "type " << c.iGameType << " time " << c.fTimeLeft;
    // The quiet seconds hold the cue timers too.
    EXPECT_EQ(g_afLimitedCueTimes[0], c.iCreated == 0 ? 1.0f : 0.75f);
  }
}

TEST_F(SpawnMgrTest, LimitedCuesPlayOncePerSecondInThreeSlots) {
  m_world.m_services.m_bLimitCues = true;
  struct SStep {
    const char* pCue;
    f32 fSystemDTBefore;
    bool bPlays;
    i32 iSlot;  // the slot that holds it afterwards
  };
  const SStep aSteps[] = {
      {"A", 0.0f, true, 0},  {"A", 0.0f, false, 0}, {"B", 0.0f, true, 1},  {"C", 0.0f, true, 2},
      {"D", 0.0f, true, 2},  // the fourth takes slot 2
      {"C", 0.0f, true, 2},  // C's slot was taken: it plays again
      {"A", 0.5f, false, 0}, {"A", 0.5f, true, 0},  // a second later the slots are free again
      {"E", 0.0f, true, 1},
  };
  for (const SStep& step : aSteps) {
    if (step.fSystemDTBefore > 0.0f) {
      tickAt(-1.0f, step.fSystemDTBefore);
    }
    const size_t uiCues = m_world.m_services.m_cues.size();
    WorldServices::get().playLimitedCue(KvStrHash(step.pCue));
    EXPECT_EQ(m_world.m_services.m_cues.size(), uiCues + (step.bPlays ? 1 : 0)) << step.pCue;
    EXPECT_EQ(g_auiLimitedCueHashes[step.iSlot], KvStrHash(step.pCue)) << step.pCue;
  }
}

TEST_F(SpawnMgrTest, EnemiesSpawnedTogetherPlayTheirInitialSoundOnce) {
  m_world.m_services.m_bLimitCues = true;
  ASSERT_TRUE(ClSpawnMgr::loadLevelSpawns(spawns("[10.0, 0, \"Walker\"]\n[0.0, 1, \"Walker\"]\n[0.0, 2, \"Walker\"]\n"
                                                 "[100.0, 0, \"Walker\"]")));
  tickAt(20.0f, 0.5f);
  EXPECT_EQ(g_entityList.getCount(), 3);
  EXPECT_EQ(m_world.m_services.cueCount("Growl"), 1);
  tickAt(50.0f, 0.6f);  // the timers run after the frame's rows: the slot is free after this frame
  tickAt(111.0f, 0.0f);
  EXPECT_EQ(g_entityList.getCount(), 4);
  EXPECT_EQ(m_world.m_services.cueCount("Growl"), 2);
}

TEST_F(SpawnMgrTest, StarRowsWithoutTheirEndStillFormAGroup) {
  ASSERT_TRUE(ClSpawnMgr::loadLevelSpawns(spawns("[10.0, 0, \"Walker\", \"star_end\"]\n[10.0, 0, \"Walker\", \"star\"]\n"
                                                 "[10.0, 1, \"Walker\", \"star\"]")));
  ASSERT_EQ(g_aiStarGroupCounts.getCount(), 2);
  EXPECT_EQ(g_aiStarGroupCounts[0], 1);
  EXPECT_EQ(g_aiStarGroupCounts[1], 2);
  EXPECT_EQ(g_spawnRows[2].m_iStarGroup, 1);
}

TEST_F(SpawnMgrTest, DamagedSpawnsAreRefusedWithTheLevelAndRow) {
  struct SCase {
    const char* pRows;
    const char* pFault;
  };
  const SCase aCases[] = {
      {"[10.0, 0, \"Walker\"]\n5.0", "row 1: a row must be a non-empty array"},
      {"[]", "row 0: a row must be a non-empty array"},
      {"[10.0, 0]", "row 0: a row needs a distance, a lane and a name"},
      {"[10, 0, \"Walker\"]", "row 0: element 0 (the distance step) must be a FLOAT"},
      {"[-1.0, 0, \"Walker\"]", "row 0: element 0 (the distance step) must be a FLOAT"},
      {"[1.0 .. 2.0, 0, \"Walker\"]", "row 0: element 0"},
      {"[10.0, 3, \"Walker\"]", "row 0: element 1 (the lane) must be an INT 0, 1 or 2"},
      {"[10.0, 1.0, \"Walker\"]", "row 0: element 1 (the lane)"},
      {"[10.0, 1, 7]", "row 0: element 2 (the name)"},
      {"[10.0, 1, \"\"]", "row 0: element 2 (the name)"},
      {"[10.0, 1, \"Walker\", 4]", "row 0: a tag must be a STRING or HASH_ID"},
      {"[10.0, 1, \"PickupBanana\"]", "row 0: the name begins with \"Pickup\" but is no pickup or crate"},
  };
  for (const SCase& c : aCases) {
    const ClDScriptData2* pSpawns = spawns(c.pRows);
    ASSERT_NE(pSpawns, nullptr) << c.pRows;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ClSpawnMgr::loadLevelSpawns(pSpawns)) << c.pRows;
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find(std::string("Levels: Chapter1_1/Spawns ") + c.pFault), std::string::npos) << error;
    EXPECT_EQ(g_spawnRows.getCount(), 0);
    EXPECT_EQ(g_fLevelLength, 0.0f);
  }
}

TEST_F(SpawnMgrTest, UnknownTypesAreReportedAndNotSpawned) {
  ASSERT_TRUE(ClSpawnMgr::loadLevelSpawns(spawns("[10.0, 0, \"Ghost\"]\n[0.0, 0, \"Ghost\", \"star_end\"]\n"
                                                 "[0.0, 1, \"PickupWeaponCrateX_PickupHealth\"]\n[0.0, 1, \"Walker\"]")));
  testing::internal::CaptureStderr();
  tickAt(50.0f);
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_EQ(g_iNextSpawnRow, 4);
  EXPECT_EQ(g_entityList.getCount(), 1);
  EXPECT_NE(error.find("[Ghost]"), std::string::npos) << error;
  EXPECT_NE(error.find("[PickupWeaponCrateX]"), std::string::npos) << error;
}

// Patterns: P0 (1000 + 0, plain, with a pickup), P1 (500 + 10, stars), P2 (650 + 0, plain). The second
// "#pattern" of Chapter1_1 only ends P0, so the 700 row after it is in no pattern; Chapter4_2 is never read.
constexpr const char* gc_pENDLESS_LEVELS = R"(
Chapter1_1 = { Spawns = [
  [100.0, 0, "Walker"]
  [#pattern]
  [1000.0, 0, "Walker"]
  [0.0, 1, "PickupHealth"]
  [#pattern]
  [700.0, 2, "Walker"]
  [#end]
  [#pattern]
  [500.0, 0, "Walker", "star"]
  [10.0, 2, "Walker", "star_end"]
] }
Chapter4_2 = { Spawns = [ [#pattern], [333.0, 0, "Walker"] ] }
Chapter2_3 = { Spawns = [ [#pattern], [650.0, 1, "Walker"], [0.0, 0, "Walker"] ] }
)";

struct SPlacedPattern {
  i32 iPattern;
  bool bMirrored;
};

// Splits generated rows into the test patterns by their first distance.
std::vector<SPlacedPattern> placedPatterns() {
  std::vector<SPlacedPattern> placed;
  for (i32 i = 0; i < g_spawnRows.getCount(); i += 2) {
    const SSpawnRow& row = g_spawnRows[i];
    const i32 iPattern = row.m_fDistance == 1000.0f ? 0 : (row.m_fDistance == 500.0f ? 1 : 2);
    const i32 iUnmirroredLane = iPattern == 2 ? 1 : 0;
    placed.push_back({iPattern, row.m_iLane != iUnmirroredLane || (iPattern != 2 && row.m_iLane == 2)});
    if (iPattern == 2) {
      placed.back().bMirrored = g_spawnRows[i + 1].m_iLane == 2;
    }
  }
  return placed;
}

TEST_F(SpawnMgrTest, EndlessPatternsAreCollectedFromTheStoryLevels) {
  g_fStarCooldown = 1500.0f;
  ClSpawnMgr::generateEndlessSpawns(levels(gc_pENDLESS_LEVELS));
  ASSERT_EQ(g_spawnPatterns.getCount(), 3);
  struct SPattern {
    i32 iFirst;
    i32 iCount;
    i32 iChapter;
    i32 iLevel;
    i32 bHasStar;
  };
  const SPattern aExpected[] = {{2, 2, 0, 0, 0}, {8, 2, 0, 0, 1}, {1, 2, 1, 2, 0}};
  for (i32 i = 0; i < 3; ++i) {
    EXPECT_EQ(g_spawnPatterns[i].m_iFirstSpawn, aExpected[i].iFirst) << "pattern " << i;
    EXPECT_EQ(g_spawnPatterns[i].mp_iNumberOfSpawns, aExpected[i].iCount) << "pattern " << i;
    EXPECT_EQ(g_spawnPatterns[i].m_iChapter, aExpected[i].iChapter) << "pattern " << i;
    EXPECT_EQ(g_spawnPatterns[i].m_iLevel, aExpected[i].iLevel) << "pattern " << i;
    EXPECT_EQ(g_spawnPatterns[i].m_bHasStar, aExpected[i].bHasStar) << "pattern " << i;
  }
  EXPECT_EQ(g_patternPicker.getCount(), 3);
  // Pickups become weak enemies; the rows outside patterns never appear.
  for (i32 i = 0; i < g_spawnRows.getCount(); ++i) {
    EXPECT_STRNE(g_spawnRows[i].m_name.getCStr(), "PickupHealth");
    EXPECT_NE(g_spawnRows[i].m_fDistance, 700.0f);
    EXPECT_NE(g_spawnRows[i].m_fDistance, 333.0f);
    if (g_spawnRows[i].m_fDistance == 0.0f && g_spawnRows[i - 1].m_fDistance == 1000.0f) {
      EXPECT_STREQ(g_spawnRows[i].m_name.getCStr(), "EnemyWeakA");
    }
  }
}

TEST_F(SpawnMgrTest, EndlessLengthGrowsWithTheWaveAndEndsWithAWholePattern) {
  struct SCase {
    i32 iGameType;
    i32 iWave;
    f32 fMaxLength;
  };
  const SCase aCases[] = {
      {3, 0, 7099.9f}, {4, 0, 1.5f * 7099.9f}, {3, 4, 1.2f * 7099.9f}, {5, 1, 1.05f * 7099.9f * 120.999f / 60.999f},
  };
  for (const SCase& c : aCases) {
    ClSpawnMgr::terminate();
    ClSpawnMgr::initialize();
    g_iGameType = c.iGameType;
    g_iWave = c.iWave;
    g_fStarCooldown = 1500.0f;
    ClSpawnMgr::generateEndlessSpawns(levels(gc_pENDLESS_LEVELS));
    f32 fTotal = 0.0f;
    for (i32 i = 0; i < g_spawnRows.getCount(); ++i) {
      fTotal += g_spawnRows[i].m_fDistance;
    }
    const std::vector<SPlacedPattern> placed = placedPatterns();
    ASSERT_FALSE(placed.empty());
    const f32 afLengths[] = {1000.0f, 510.0f, 650.0f};
    EXPECT_GE(fTotal, c.fMaxLength) << "type " << c.iGameType << " wave " << c.iWave;
    EXPECT_LT(fTotal - afLengths[placed.back().iPattern], c.fMaxLength * 1.0001f);
    EXPECT_EQ(g_spawnRows.getCount() % 2, 0);
    EXPECT_EQ(g_fLevelLength, 0.0f);
  }
}

TEST_F(SpawnMgrTest, EndlessDrawsOnePickThenOneMirrorWordPerAcceptedPattern) {
  g_iGameType = 3;
  g_iWave = 2;
  g_fStarCooldown = 1500.0f;
  sfmtInitGenRand(77);
  ClSpawnMgr::generateEndlessSpawns(levels(gc_pENDLESS_LEVELS));
  const i32 iPicks = g_patternPicker.getPickCounter();
  const u32 uiDraws = KvRandomGetDrawCount();
  const std::vector<SPlacedPattern> placed = placedPatterns();

  // The same stream read by hand: the engine's picker over three patterns, a star pattern taken only once the
  // cooldown is below 0 (3000 again after it), the cooldown shortened by the rows placed in the first 80 % of
  // the minimum length, and one mirror word after each accepted pick.
  sfmtInitGenRand(77);
  ClListPickerNoRepeat<i32> picker;
  picker.initialize();
  for (i32 i = 0; i < 3; ++i) picker.add(i, 1.0f);
  const f32 afRows[3][2] = {{1000.0f, 0.0f}, {500.0f, 10.0f}, {650.0f, 0.0f}};
  const f32 d = 1.1f;
  f32 fCooldown = 1500.0f;
  f32 fTotal = 0.0f;
  std::vector<SPlacedPattern> expected;
  while (d * 7099.9f > fTotal) {
    const i32 iPattern = picker.pick();
    if ((iPattern == 1) != (fCooldown < 0.0f)) continue;
    if (iPattern == 1) fCooldown = 3000.0f;
    expected.push_back({iPattern, sfmtNextWord() > 0x7FFFFFFFu});
    for (f32 fDistance : afRows[iPattern]) {
      fTotal += fDistance;
      if (d * 6099.9f * 0.8f > d * fTotal) fCooldown -= fDistance;
    }
  }
  EXPECT_EQ(picker.getPickCounter(), iPicks);
  picker.terminate();

  ASSERT_EQ(placed.size(), expected.size());
  i32 iMirrored = 0;
  for (size_t i = 0; i < placed.size(); ++i) {
    EXPECT_EQ(placed[i].iPattern, expected[i].iPattern) << "pattern " << i;
    EXPECT_EQ(placed[i].bMirrored, expected[i].bMirrored) << "pattern " << i;
    iMirrored += placed[i].bMirrored ? 1 : 0;
  }
  EXPECT_EQ(uiDraws, static_cast<u32>(iPicks) + static_cast<u32>(placed.size()));
  EXPECT_GT(iPicks, static_cast<i32>(placed.size()));  // some picks were refused and still counted
  EXPECT_GT(iMirrored, 0);
  EXPECT_LT(iMirrored, static_cast<i32>(placed.size()));
  EXPECT_FLOAT_EQ(g_fStarCooldown, fCooldown);
  // The first star pattern needs 1500 units of plain patterns first.
  f32 fPlain = 0.0f;
  for (const SPlacedPattern& p : placed) {
    if (p.iPattern == 1) break;
    fPlain += p.iPattern == 0 ? 1000.0f : 650.0f;
  }
  EXPECT_GE(fPlain, 1500.0f);
  // Star groups carry their ids across patterns: one group of 2 per star pattern.
  i32 iStarPatterns = 0;
  for (const SPlacedPattern& p : placed) iStarPatterns += p.iPattern == 1 ? 1 : 0;
  ASSERT_EQ(g_aiStarGroupCounts.getCount(), iStarPatterns);
  for (i32 i = 0; i < iStarPatterns; ++i) EXPECT_EQ(g_aiStarGroupCounts[i], 2);
}

TEST_F(SpawnMgrTest, EndlessWithOneKindOfPatternStillEnds) {
  struct SCase {
    const char* pLevels;
    f32 fCooldown;
  };
  const SCase aCases[] = {
      // No star pattern while the cooldown asks for one.
      {"Chapter1_1 = { Spawns = [ [#pattern], [400.0, 0, \"Walker\"] ] }", -1.0f},
      // Only star patterns while the cooldown asks for plain ones.
      {"Chapter1_1 = { Spawns = [ [#pattern], [400.0, 0, \"Walker\", \"star_end\"] ] }", 1500.0f},
      // Star patterns that cover no distance: only the plain ones move the level on.
      {"Chapter1_1 = { Spawns = [ [#pattern], [0.0, 0, \"Walker\", \"star_end\"], [#end], [#pattern], "
       "[300.0, 1, \"Walker\"] ] }",
       -1.0f},
  };
  for (const SCase& c : aCases) {
    ClSpawnMgr::terminate();
    ClSpawnMgr::initialize();
    g_iGameType = 3;
    g_iWave = 0;
    g_fStarCooldown = c.fCooldown;
    ClSpawnMgr::generateEndlessSpawns(levels(c.pLevels));
    f32 fTotal = 0.0f;
    for (i32 i = 0; i < g_spawnRows.getCount(); ++i) fTotal += g_spawnRows[i].m_fDistance;
    EXPECT_GE(fTotal, 7099.9f) << c.pLevels;
    EXPECT_LT(fTotal, 7099.9f + 400.0f) << c.pLevels;
  }
}

TEST_F(SpawnMgrTest, EndlessWithoutDistanceIsEmptyAndSaysSo) {
  const char* const apLevels[] = {
      "Chapter1_1 = { Spawns = [ [#pattern], [0.0, 0, \"Walker\"], [#pattern], [0.0, 1, \"Walker\", \"star_end\"] ] }",
      "Chapter1_1 = { Spawns = [ [10.0, 0, \"Walker\"] ] }",  // no pattern at all
      "Chapter1_1 = { Spawns = [ [#pattern], [#pattern] ] }",  // empty patterns only
  };
  for (const char* pLevels : apLevels) {
    ClSpawnMgr::terminate();
    ClSpawnMgr::initialize();
    g_iGameType = 3;
    g_fStarCooldown = 1500.0f;
    testing::internal::CaptureStderr();
    ClSpawnMgr::generateEndlessSpawns(levels(pLevels));
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_spawnRows.getCount(), 0) << pLevels;
    EXPECT_NE(error.find("Levels:"), std::string::npos) << pLevels;
    tickAt(1.0e6f);
    EXPECT_EQ(g_entityList.getCount(), 0);
  }
}

TEST_F(SpawnMgrTest, PatternsOfADamagedLevelAreLeftOut) {
  testing::internal::CaptureStderr();
  g_fStarCooldown = 1500.0f;
  ClSpawnMgr::generateEndlessSpawns(levels(
      "Chapter1_1 = { Spawns = [ [#pattern], [400.0, 7, \"Walker\"] ] }\n"
      "Chapter1_2 = { Spawns = [ [#pattern], [400.0, 1, \"Walker\"] ] }"));
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("Levels: Chapter1_1/Spawns row 1: element 1 (the lane)"), std::string::npos) << error;
  ASSERT_EQ(g_spawnPatterns.getCount(), 1);
  EXPECT_EQ(g_spawnPatterns[0].m_iLevel, 1);
}

}  // namespace

namespace {

// The sample "Levels" against the sample "EntityEnemy": every level is accepted, every name spawns, and the
// patterns make endless levels.
class SampleLevelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* pName : {"PickupHealth", "PickupPoints", "PickupMachete", "PickupAxe", "PickupSledgehammer"}) {
      m_world.flipBook(pName);
    }
    for (const char* pName : {"IM-HUD-Bomb-1_216", "IM-HUD-Bomb-2_216", "IM-HUD-Bomb-3_216"}) {
      m_world.uiImage(pName, 20.0f, 18.0f);
    }
    ASSERT_EQ(m_world.loadEnemies(KvReadSourceFile("Content/Scripts/EntityEnemy.kdt")), "");
    std::string error;
    mp_pLevels = KvTestCompileScript(KvReadSourceFile("Content/Scripts/Levels.kdt"), "Levels", &error);
    ASSERT_NE(mp_pLevels, nullptr) << error;
    ClSpawnMgr::initialize();
  }
  void TearDown() override {
    ClSpawnMgr::terminate();
    if (mp_pLevels != nullptr) ClDScriptData2::destroyTree(mp_pLevels);
  }
  ClWorldHarness m_world;
  ClDScriptData2* mp_pLevels = nullptr;
};

TEST_F(SampleLevelsTest, EveryStoryLevelSpawnsEveryRow) {
  i32 iLevels = 0;
  for (const char* pName : {"Chapter1_1", "Chapter1_2", "Chapter1_3"}) {
    const ClDScriptData2* pLevel = mp_pLevels->findChild(pName);
    ASSERT_NE(pLevel, nullptr) << pName;
    EXPECT_EQ(pLevel->getChild("TimeInSeconds")->getType(), E_DSVT_FLOAT);
    ClSpawnMgr::terminate();
    ClSpawnMgr::initialize();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(ClSpawnMgr::loadLevelSpawns(pLevel->getChild("Spawns"))) << pName;
    i32 iRows = g_spawnRows.getCount();
    EXPECT_GT(g_aiStarGroupCounts.getCount(), 0) << pName;
    EXPECT_GT(g_fLevelLength, 1000.0f) << pName;
    // Walk the camera through the level; nothing is updated, so each row stays as made.
    EntityList::destroyAll();
    EntityList::initialize();
    for (f32 fX = 0.0f; fX <= g_fLevelLength + 20.0f; fX += 10.0f) {
      g_fWorldCameraX = fX;
      ClSpawnMgr::tick();
    }
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, "") << pName;
    EXPECT_EQ(g_iNextSpawnRow, iRows) << pName;
    // Enemies may add their own objects; every row made at least its own entity.
    EXPECT_GE(g_entityList.getCount(), iRows) << pName;
    ++iLevels;
  }
  EXPECT_EQ(iLevels, 3);
}

TEST_F(SampleLevelsTest, EndlessLevelsComeFromThePatterns) {
  g_iGameType = 4;
  g_iWave = 1;
  g_fStarCooldown = 1500.0f;
  ClSpawnMgr::generateEndlessSpawns(mp_pLevels);
  i32 iStarPatterns = 0;
  for (i32 i = 0; i < g_spawnPatterns.getCount(); ++i) iStarPatterns += g_spawnPatterns[i].m_bHasStar;
  EXPECT_GT(iStarPatterns, 0);
  EXPECT_LT(iStarPatterns, g_spawnPatterns.getCount());
  f32 fTotal = 0.0f;
  for (i32 i = 0; i < g_spawnRows.getCount(); ++i) {
    fTotal += g_spawnRows[i].m_fDistance;
    EXPECT_EQ(std::string(g_spawnRows[i].m_name.getCStr()).find("Pickup"), std::string::npos);
  }
  EXPECT_GE(fTotal, 1.55f * 7099.9f);
  EXPECT_GT(g_aiStarGroupCounts.getCount(), 0);
}

}  // namespace
