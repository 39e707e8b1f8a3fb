// The level manager: set-up from a "Levels" script, the level's clock, death, victory and fades by game type, the
// clear test, slow motion, achievements and star ratings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Tests/Code/Objects/SampleWorldRun.h"

namespace {

const char* const gc_pLEVELS = R"(
Chapter1_1 = {
  TimeInSeconds = 90.5
  BackgroundPattern = "BackgroundPatternChapter1A"
  Spawns = [ [ 100.0, 1, "EnemyThug" ] [ 50.0, 0, "EnemyThug" ] ]
}
Chapter1_2 = {
  BackgroundPattern = "BackgroundPatternChapter1B"
  Spawns = [ [ 10.0, 2, "EnemyThug" ] ]
}
NoPattern = { Spawns = [ ] }
IntTime = { TimeInSeconds = 30, BackgroundPattern = "BackgroundPatternChapter1A", Spawns = [ ] }
NoSpawns = { BackgroundPattern = "BackgroundPatternChapter1A" }
UnknownPattern = { BackgroundPattern = "Nowhere", Spawns = [ ] }
)";

struct SHookLog {
  i32 m_iResults = 0;
  i32 m_iOutros = 0;
  f32 m_fLongTimer = -1.0f;
  i32 m_iLevelCounter = 0;
};
SHookLog s_log;

class LevelMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s_log = SHookLog{};
    SLevelHooks hooks;
    hooks.pShowResults = [] { ++s_log.m_iResults; };
    hooks.pRequestOutro = [] { ++s_log.m_iOutros; };
    hooks.pResetVoiceOverTimers = [](f32 fLong) { s_log.m_fLongTimer = fLong; };
    hooks.pLevelCounter = [] { return s_log.m_iLevelCounter; };
    ClLevelMgr::setHooks(hooks);
    KvAddSampleBackgroundArt(m_world);
    ASSERT_EQ(m_world.loadEnemies(KvReadSourceFile("Content/Scripts/EntityEnemy.kdt")), "");
    std::string error;
    m_pBackgrounds = KvTestCompileScript(KvReadSourceFile("Content/Scripts/Backgrounds.kdt"), "Backgrounds", &error);
    ASSERT_NE(m_pBackgrounds, nullptr) << error;
    Backgrounds::initializeWithScript(m_pBackgrounds);
    m_pLevels = KvTestCompileScript(gc_pLEVELS, "Levels", &error);
    ASSERT_NE(m_pLevels, nullptr) << error;
    ClSpawnMgr::initialize();
    ClLevelMgr::resetLevelDataWithScript(m_pLevels);
  }

  void TearDown() override {
    g_pPlayer = nullptr;
    ClLevelMgr::destroyAllEntities();
    ClSpawnMgr::terminate();
    Backgrounds::release();
    ClDScriptData2::destroyTree(m_pLevels);
    ClDScriptData2::destroyTree(m_pBackgrounds);
    ClLevelMgr::setHooks(SLevelHooks{});
  }

  // A stand-in player that the level does not own (it stays out of the list).
  void addPlayer() {
    m_world.m_player.initialize(100.0f, KvLaneLine(1), 0.0f, 0.0f, E_ENTITY_KIND_PLAYER, 0, 1);
    g_pPlayer = &m_world.m_player;
  }

  // Frames of dt on both clocks until the predicate holds or the time runs out; answers the time taken.
  template <typename F>
  f32 runUntil(F done, f32 fLimit, f32 fDT = 0.05f) {
    ClClock::m_aClockFrames[0].m_fFrameTime = fDT;
    ClClock::m_aClockFrames[1].m_fFrameTime = fDT;
    f32 t = 0.0f;
    while (!done() && t < fLimit) {
      ClLevelMgr::update();
      t += fDT;
    }
    return t;
  }

  ClWorldHarness m_world;
  ClDScriptData2* m_pBackgrounds = nullptr;
  ClDScriptData2* m_pLevels = nullptr;
};

TEST_F(LevelMgrTest, ResetStartsAFreshLevelWithOneDraw) {
  g_bLevelWon = 1;
  g_bResultsShown = 1;
  g_bMagicFreeze = 1;
  g_fWorldCameraX = 300.0f;
  const u32 uiDraws = KvRandomGetDrawCount();
  ClLevelMgr::resetLevelDataWithScript(m_pLevels);
  EXPECT_EQ(KvRandomGetDrawCount(), uiDraws + 1);
  EXPECT_GE(s_log.m_fLongTimer, 0.0f);
  EXPECT_LT(s_log.m_fLongTimer, 25.0f);
  EXPECT_FLOAT_EQ(g_fTimeLeft, 60.999f);
  EXPECT_FLOAT_EQ(g_fDeathTimer, 5.0f);
  EXPECT_EQ(g_bLevelWon + g_bResultsShown + g_bMagicFreeze, 0);
  EXPECT_EQ(g_bFadeIn, 1);
  EXPECT_FLOAT_EQ(g_fWorldCameraX, 0.0f);
  EXPECT_EQ(g_entityList.getCount(), 0);
}

TEST_F(LevelMgrTest, StoryLevelSetUpAndRefusals) {
  ASSERT_TRUE(ClLevelMgr::setupLevel("Chapter1_1"));
  EXPECT_FLOAT_EQ(g_fTimeLeft, 90.5f);
  EXPECT_EQ(g_spawnRows.getCount(), 2);
  EXPECT_FLOAT_EQ(g_fLevelLength, 150.0f);

  ClLevelMgr::resetLevelDataWithScript(m_pLevels);
  ASSERT_TRUE(ClLevelMgr::setupLevel("Chapter1_2"));
  EXPECT_FLOAT_EQ(g_fTimeLeft, 60.999f) << "no TimeInSeconds keeps the reset time";

  const struct {
    const char* pEntry;
    const char* pExpected;
  } cases[] = {
      {"Chapter9_9", "Levels: Chapter9_9: no such level"},
      {"NoPattern", "\"BackgroundPattern\""},
      {"IntTime", "\"TimeInSeconds\""},
      {"NoSpawns", "\"Spawns\""},
      {"UnknownPattern", "Nowhere"},
  };
  for (const auto& c : cases) {
    ClLevelMgr::resetLevelDataWithScript(m_pLevels);
    std::string error;
    EXPECT_FALSE(ClLevelMgr::setupLevel(c.pEntry, &error)) << c.pEntry;
    EXPECT_NE(error.find(c.pExpected), std::string::npos) << error;
    EXPECT_FLOAT_EQ(g_fTimeLeft, 60.999f) << c.pEntry;
  }
}

TEST_F(LevelMgrTest, EndlessSetUpDrawsTheChapterAndLetter) {
  for (u32 uiSeed : {1u, 2u, 3u, 4u, 5u, 6u}) {
    sfmtInitGenRand(uiSeed);
    const u32 r1 = sfmtNextWord();
    sfmtInitGenRand(uiSeed);
    const i32 iChapter = ClLevelMgr::setupEndlessLevel();
    EXPECT_EQ(iChapter, static_cast<i32>((r1 % 0x7FFFFFFFu) % 3u));
  }
}

// The sequence by game type, from a level whose rows are all spawned and whose enemies are gone (or whose timer
// ran out): victory, then the results, the outro or a fade-out with the next-level request.
TEST_F(LevelMgrTest, WinningEndsTheLevelByGameType) {
  const struct {
    i32 iType;
    i32 iChapter;
    i32 iLevel;
    bool bLevelEndRun;
    i32 iResults;
    i32 iOutros;
    i32 iNextLevel;
  } cases[] = {
      {0, 0, 0, true, 1, 0, 0},  {0, 2, 7, true, 0, 1, 0},  {1, 0, 3, true, 0, 0, 1},
      {2, 0, 3, false, 0, 0, 1}, {6, 2, 7, false, 1, 0, 0}, {3, 0, 0, false, 0, 0, 1},
      {5, 0, 0, true, 1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.iType << " chapter " << c.iChapter << " level " << c.iLevel);
    ClLevelMgr::resetLevelDataWithScript(m_pLevels);
    s_log = SHookLog{};
    addPlayer();
    m_world.m_player.m_eState = 0;
    m_world.m_player.m_iLevelEndRuns = 0;
    m_world.m_player.m_eWeapon = 2;
    m_world.m_player.m_fWeaponLeft = 0.4f;
    g_iCarriedWeaponKind = 0;
    g_iGameType = c.iType;
    g_iChapter = c.iChapter;
    g_iLevel = c.iLevel;
    m_world.m_services.m_cues.clear();
    if (c.iType >= 3) {
      g_fTimeLeft = 0.5f;
    }
    runUntil([] { return g_bLevelWon != 0; }, 10.0f);
    ASSERT_EQ(g_bLevelWon, 1);
    EXPECT_EQ(m_world.m_services.cueCount("StingerVictory"), 1);
    EXPECT_EQ(m_world.m_player.m_iLevelEndRuns, c.bLevelEndRun ? 1 : 0);
    if (c.iType == 3) {
      EXPECT_EQ(g_iCarriedWeaponKind, 2);
      EXPECT_FLOAT_EQ(g_fCarriedWeaponTime, 0.4f);
      EXPECT_FLOAT_EQ(m_world.m_player.m_fGraceTime, 999.0f);
      EXPECT_EQ(m_world.m_player.m_bHittable, 0);
    }
    runUntil([] { return g_bNextLevelRequest != 0 || g_bResultsShown != 0 || s_log.m_iOutros != 0; }, 10.0f);
    runUntil([] { return false; }, 2.0f);
    EXPECT_EQ(s_log.m_iResults, c.iResults);
    EXPECT_EQ(s_log.m_iOutros, c.iOutros);
    EXPECT_EQ(g_bNextLevelRequest, c.iNextLevel);
    EXPECT_EQ(m_world.m_services.cueCount("StingerVictory"), 1) << "a level is won once";
  }
}

TEST_F(LevelMgrTest, FadeInThenStartBannerThenDeathShowsResultsOnce) {
  addPlayer();
  ASSERT_TRUE(ClLevelMgr::setupLevel("Chapter1_1"));
  // Steps of 1/8 s add up exactly.
  const f32 fFade = runUntil([] { return g_bStartBanner != 0; }, 5.0f, 0.125f);
  EXPECT_FLOAT_EQ(fFade, 1.125f);
  EXPECT_EQ(g_bFadeIn, 0);
  EXPECT_FLOAT_EQ(g_fBannerTime, 3.0f);
  const f32 fBanner = runUntil([] { return g_bStartBanner == 0; }, 5.0f, 0.125f);
  EXPECT_FLOAT_EQ(fBanner, 3.125f);

  m_world.m_player.m_iHitPoints = 0;
  m_world.m_player.m_eState = E_PLAYER_STATE_DEATH;
  const f32 fDeath = runUntil([] { return s_log.m_iResults != 0; }, 10.0f, 0.125f);
  EXPECT_FLOAT_EQ(fDeath, 5.125f);
  runUntil([] { return false; }, 3.0f, 0.125f);
  EXPECT_EQ(s_log.m_iResults, 1);
  const auto& got = m_world.m_services.m_achievements;
  EXPECT_EQ(std::count(got.begin(), got.end(), "INSERT_COIN"), 0) << "a dead player earns no survival award";
}

TEST_F(LevelMgrTest, WhatHoldsALevelOpen) {
  ASSERT_TRUE(ClLevelMgr::setupLevel("Chapter1_1"));
  EXPECT_FALSE(ClLevelMgr::isLevelCleared()) << "rows still to spawn";
  g_iNextSpawnRow = g_spawnRows.getCount();
  EXPECT_TRUE(ClLevelMgr::isLevelCleared());
  const struct {
    const char* pType;
    bool bHoldsOpen;
  } cases[] = {{"EnemyThug", true}, {"PlayerBulletTShirt", false}, {"PlayerCrossbowSawblades", false}};
  for (const auto& c : cases) {
    if (g_pEntityEnemyScript->findChild(c.pType) == nullptr) {
      continue;
    }
    ClEntityEnemy* pEnemy = m_world.spawn(c.pType, 200.0f, 1);
    EXPECT_EQ(ClLevelMgr::isLevelCleared(), !c.bHoldsOpen) << c.pType;
    pEnemy->m_bGone = 1;
    EntityList::removalPass();
  }
}

TEST_F(LevelMgrTest, SlowMotionBurstAndMagicFreeze) {
  ClClock::m_aClockFrames[0].m_fFrameTime = 0.1f;
  ClClock::m_aClockFrames[1].m_fFrameTime = 0.1f;
  ClLevelMgr::update();
  EXPECT_FLOAT_EQ(g_slowMotionAnimator.mp_current, 1.0f);
  ClLevelMgr::startSlowMotion();
  EXPECT_FLOAT_EQ(g_slowMotionAnimator.mp_current, 0.15f);
  ClLevelMgr::update();
  ClLevelMgr::update();
  EXPECT_FLOAT_EQ(g_slowMotionAnimator.mp_current, 0.15f) << "held through the 0.3 s delay";
  ClLevelMgr::update();
  ClLevelMgr::update();
  EXPECT_GT(g_slowMotionAnimator.mp_current, 0.15f);
  EXPECT_LT(g_slowMotionAnimator.mp_current, 1.0f);
  g_bMagicFreeze = 1;
  ClLevelMgr::update();
  EXPECT_FLOAT_EQ(g_slowMotionAnimator.mp_current, 0.0f);
  for (i32 i = 0; i < 20; ++i) {
    ClLevelMgr::update();
  }
  EXPECT_FLOAT_EQ(g_slowMotionAnimator.mp_current, 0.0f);
  g_bMagicFreeze = 0;
  ClLevelMgr::update();
  EXPECT_FLOAT_EQ(g_slowMotionAnimator.mp_current, 1.0f);
}

TEST_F(LevelMgrTest, EndOfLevelAchievements) {
  const struct {
    bool bPlayer;
    i32 iState;
    i32 iNotHit, iNoKill, iNoLane, iNoMarker, iProjectileKills;
    i32 iType, iCounter, iChapter, iBestStreak;
    std::vector<std::string> expected;
  } cases[] = {
      {true, 0, 1, 1, 1, 1, 20, 0, 0, 0, 0,
       {"CANT_TOUCH_THIS", "INTROVERT", "ON_RAILS", "FLYING_BLIND", "AIRBORNE_APPENDAGES", "INSERT_COIN"}},
      {true, 9, 1, 1, 1, 1, 19, 0, 0, 0, 0, {}},
      {true, 0, 0, 0, 0, 0, 0, 3, 9, 0, 99, {"INSERT_COIN", "I_AM_ENDLESS", "_99_PROBLEMS_AND_A_ZOMBIE"}},
      {false, 0, 1, 1, 1, 1, 50, 1, 7, 2, 98, {"QUITE_THE_JOURNEY"}},
      {true, 0, 0, 0, 0, 0, 0, 1, 7, 1, 0, {"INSERT_COIN"}},
  };
  for (const auto& c : cases) {
    addPlayer();
    ClWorldPlayer& p = m_world.m_player;
    p.m_eState = c.iState;
    p.m_bNotHitThisLevel = c.iNotHit;
    p.m_bNoKillThisLevel = c.iNoKill;
    p.m_bNoLaneChangeThisLevel = c.iNoLane;
    p.m_bNoTargetMarkerThisLevel = c.iNoMarker;
    p.m_iProjectileKills = c.iProjectileKills;
    if (!c.bPlayer) {
      g_pPlayer = nullptr;
    }
    g_iGameType = c.iType;
    s_log.m_iLevelCounter = c.iCounter;
    g_iChapter = c.iChapter;
    g_iBestStreak = c.iBestStreak;
    m_world.m_services.m_achievements.clear();
    ClLevelMgr::awardLevelAchievements();
    EXPECT_EQ(m_world.m_services.m_achievements, c.expected) << "type " << c.iType << " state " << c.iState;
  }
}

TEST_F(LevelMgrTest, StarRatings) {
  std::string text = "LevelStars = [";
  for (i32 i = 0; i < gc_iLEVEL_STAR_COUNT; ++i) {
    text += " " + std::to_string((i % 5) * 1000 + (i / 5));
  }
  text += " ]";
  std::string error;
  ClDScriptData2* pStars = KvTestCompileScript(text, "LevelStars", &error);
  ASSERT_NE(pStars, nullptr) << error;
  ASSERT_TRUE(ClLevelMgr::loadLevelStarsFromScript(pStars, &error)) << error;
  // Chapter 0, level 0: thresholds 0, 1000, 2000, 3000, 4000.
  const struct {
    i32 iChapter, iLevel, iScore, iStars, iNext;
  } cases[] = {
      {0, 0, 0, 1, 1000},   {0, 0, 999, 1, 1000}, {0, 0, 1000, 2, 2000}, {0, 0, 4000, 5, -1},
      {2, 7, 4023, 5, -1},  {2, 7, 23, 1, 1023},  {1, 3, 10, 0, 11},  {1, 3, 11, 1, 1011},     {3, 0, 5000, 0, -1},
      {0, 8, 5000, 0, -1},
  };
  for (const auto& c : cases) {
    if (c.iChapter < NUMBER_MAX_OF_CHAPTERS && c.iLevel < NUMBER_MAX_OF_LEVELS) {
      EXPECT_EQ(ClLevelMgr::getNumStars(c.iChapter, c.iLevel, c.iScore), c.iStars);
    }
    EXPECT_EQ(ClLevelMgr::getNextStarScore(c.iChapter, c.iLevel, c.iScore), c.iNext)
        << c.iChapter << "/" << c.iLevel << " score " << c.iScore;
  }
  ClDScriptData2::destroyTree(pStars);

  for (const char* pBad : {"LevelStars = [ 1 2 3 ]", "Other = 1", "LevelStars = { A = 1 }"}) {
    ClDScriptData2* pTree = KvTestCompileScript(pBad, "LevelStars", &error);
    ASSERT_NE(pTree, nullptr) << error;
    error.clear();
    EXPECT_FALSE(ClLevelMgr::loadLevelStarsFromScript(pTree, &error)) << pBad;
    EXPECT_NE(error.find("LevelStars"), std::string::npos);
    ClDScriptData2::destroyTree(pTree);
  }
  // A refused table is said once: the ratings asked for afterwards (each frame) read 0 stars without a word, and
  // without reading the script again.
  g_bLevelStarsLoaded = 0;
  ::testing::internal::CaptureStderr();
  for (i32 i = 0; i < 3; ++i) EXPECT_EQ(ClLevelMgr::getNumStars(0, 0, 5000), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
