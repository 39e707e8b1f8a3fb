// The results screen, the unlock popup and the pause menu's how-to-play pages, run through the registry by name on
// screen sets holding every widget they name: records raised per game type, story progress and the continue
// rule, the upload's board (none with "INFINITE_FUEL"), the unlock chosen and shown one kind at a time, the save,
// the tick's rank request, leave, retry and continue, and the saved switch history.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Code/Objects/Backgrounds.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/UI/GAMEScreenPause.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEUI_Results.h"
#include "Code/UI/GAMEUI_UnlockPopup.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Tests/Code/UI/GAMEScreensTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"
#include "Tools/LangC/LangCompiler.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

std::string leaves(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += R"({"name": ")" + name + R"("},)";
  return out;
}

std::string resultsScreen() {
  std::vector<std::string> names = {"ResultsGameMode", "ResultsRankingText", "ResultsRankingLabel",
                                    "ResultsStageReachedName", "ResultsStageReachedValue"};
  for (const char* pBlock : {"ResultsStory", "ResultsMarathon", "ResultsSurvivor", "Results"}) {
    for (const char* pValue : {"ScoreValue", "KillsValue", "ComboValue", "DistanceValue"}) {
      names.push_back(std::string(pBlock) + pValue);
    }
  }
  for (const char* pName :
       {"StoryStarNextLabel", "StoryStarNextValue", "StoryMoreStarsRequired", "StoryScoreBest", "StoryKillsBest",
        "StoryComboBest", "StoryStageReachedValue", "StoryStageReachedName", "StoryContinueButton",
        "StoryUnlockedItem", "MarathonStageReachedBest", "MarathonKillsBest", "MarathonComboBest",
        "MarathonDistanceBest", "MarathonStageReachedValue", "MarathonStageReachedName", "SurvivorKillsBest",
        "SurvivorComboBest", "SurvivorDistanceBest", "SurvivorUnlockedItem", "Star1", "Star2", "Star3", "Star4",
        "Star5", "Story", "Marathon", "Survivor", "Other", "StoryFailed", "Bonus", "BonusStageValue",
        "BonusKillsValue", "Prompt"}) {
    names.push_back(std::string("Results") + pName);
  }
  std::string pages;
  for (int i = 1; i <= 25; ++i) pages += leaves({"back_htp_" + std::to_string(i), "backtext_htp_" + std::to_string(i)});
  pages.pop_back();
  return R"({"root": {"name": "TopLevelSwitcher", "children": [
    {"name": "TitleScreen"}, {"name": "InGame"}, {"name": "Leaderboards"}, {"name": "Pause"}, {"name": "EmptyScreen"},
    {"name": "Options"}, {"name": "HowToPlay", "children": [{"name": "HowToPlayBack"}]},
    {"name": "Results", "children": [)" + leaves(names) + R"({"name": "UnlockPopupSwitcher", "children": [
      {"name": "UnlockPopupInactive"},
      {"name": "UnlockPopup", "children": [{"name": "UnlockPopupItemText"}, {"name": "UnlockPopupItemIcon"}]}],
      "switched": ["UnlockPopupInactive", "UnlockPopup"]}]},
    {"name": "HowToPlaySwitcher", "children": [{"name": "HowToPlaySwitchOut"}, {"name": "Max", "children": [)" +
         pages + R"(]}], "switched": ["HowToPlaySwitchOut", "Max"]}],
    "switched": ["TitleScreen", "InGame", "Leaderboards", "Pause", "EmptyScreen", "Options", "HowToPlay", "Results"]}})";
}

class ClDummyMapper final : public ClInputMapperBase {
 public:
  void process(u8) override {}
};

class Results : public ::testing::Test, protected CFrontEndUI {
 protected:
  void SetUp() override {
    // The front end's start with this suite's screens in place of the front end's.
    KvTestSetUIHooks(&g_GAMEUIHooks);
    ClUI::initialise();
    ClProfileMgr::initialize();
    m_bOwnSettings = !ClDevINI::mp_bInitialized;
    if (m_bOwnSettings) ClDevINI::initialize();
    m_pads.start();
    for (SClockFrame& clock : ClClock::m_aClockFrames) clock = SClockFrame();
    g_gameModeAction.m_bQuitToMenu = 0;
    g_iLeaderboardIndex = 0;
    // The mode names the results name their mode with.
    std::vector<LangEntry> entries;
    int iId = 1;
    for (const char* pKey : {"mainmenu_storymode", "mainmenu_marathonmode", "mainmenu_survivormode",
                             "mainmenu_survivormodeextreme", "mainmenu_weeklymode"}) {
      entries.push_back({pKey, u"Mode", iId++});
    }
    entries.push_back({"results_kills_value", u"%s", iId++});
    const std::vector<std::uint8_t> table = LangBuildTable(entries);
    u8* pImage = static_cast<u8*>(KvAlignedAlloc(table.size(), 16));
    std::memcpy(pImage, table.data(), table.size());
    ASSERT_EQ(KvLangID::loadStringTableFromMemory("Modes", pImage, static_cast<u32>(table.size())), 1);
    SKuiScreenSet set;
    std::string error;
    ASSERT_TRUE(KuiParseDescription(resultsScreen(), "results.json", &set, &error)) << error;
    const std::vector<uint8_t> image = KuiWriteImage(set);
    ASSERT_TRUE(ClUI::loadUIDataFromImage("Results", image.data(), static_cast<u32>(image.size())));
    KvTestSaveHooks().reset();
    ClGameStateMgr::pushInputMapper(0, &m_mapper);
    // Level (0, 0): five thresholds 100..500; every other level 1000..5000.
    for (i32 i = 0; i < gc_iLEVEL_STAR_COUNT; ++i) g_aiLevelStars[i] = (i < 5 ? 100 : 1000) * (i % 5 + 1);
    g_bLevelStarsLoaded = 1;
    g_pPlayer = &m_player;
    m_player.m_iHitPoints = 3;
    m_player.m_eState = 0;
    g_iScore = 0;
    g_iEnemiesKilled = g_iBestStreak = g_iPlayerDistance = g_iWave = 0;
    g_bRestartRequest = g_bNextLevelRequest = 0;
    g_bUnlockPopupActive = 0;
    g_bBackgroundsLoaded = 1;  // the attract background stays as it is
  }
  void TearDown() override {
    while (ClGameStateMgr::getInputMapperCount(0) > 0) ClGameStateMgr::popInputMapper(0);
    g_pPlayer = nullptr;
    g_bLevelStarsLoaded = 0;
    g_bBackgroundsLoaded = 0;
    GAMESetRootValue("CatResults", 0);
    KvTestSaveHooks().reset();
    KvLangID::unloadAllStringTables();
    stopUI();
  }
  void play(i32 iType, i32 iChapter, i32 iLevel, i32 iScore, i32 iKills = 0, i32 iStreak = 0, i32 iDistance = 0) {
    g_iGameType = iType;
    g_iChapter = iChapter;
    g_iLevel = iLevel;
    g_iScore = iScore;
    g_iEnemiesKilled = iKills;
    g_iBestStreak = iStreak;
    g_iPlayerDistance = iDistance;
    run("systemResultsInitialize");
    ClGameStateMgr::blockInput(0);
  }
  // One input frame with the action newly pressed on pad 0, then the results tick.
  void press(i32 iAction, const char* pTick = "systemResultsTick") {
    ClGameStateMgr::blockInput(0);
    m_pads.frame({{iAction, 1.0f}});
    run(pTick);
    m_pads.frame();
  }
  static bool visible(const char* pName) { return W(pName)->mp_bVisible != 0; }
  static std::string text(const char* pName) {
    std::string narrow;
    for (const wchar16* pChar = W(pName)->getUnicodeString("dynamicUnicodeText"); *pChar != 0; ++pChar) {
      narrow += static_cast<char>(*pChar);
    }
    return narrow;
  }
  // The screen back from the leaderboards as its data brings it in: every child shown, then the initialisation.
  static void backFromLeaderboards() {
    W("Results")->setVisibleRecursively(1);
    run("systemResultsInitialize");
  }
  static SPlayerProfileData& p() { return *g_pPlayerProfileData; }

  ClDummyMapper m_mapper;
  ClTestPlayer m_player;
};

TEST_F(Results, FinalScoreRoundsToTheNearestMultipleOfFive) {
  for (auto [fScore, iFinal] : {std::pair{12.4f, 10}, {12.5f, 15}, {0.0f, 0}, {2.4f, 0}, {1002.6f, 1005}}) {
    EXPECT_EQ(resultsFinalScore(fScore), iFinal) << fScore;
  }
  i32 iValue = 5, bRose = -1;
  raiseToMax(&iValue, 5, &bRose);
  EXPECT_EQ(std::pair(iValue, bRose), std::pair(5, 0)) << "only a strictly greater value rises";
  raiseToMax(&iValue, 6, &bRose);
  EXPECT_EQ(std::pair(iValue, bRose), std::pair(6, 1));
}

TEST_F(Results, StoryRaisesTheLevelRecordAdvancesProgressSavesAndShowsTheBlock) {
  play(0, 0, 0, 212, 7, 3);
  const SProfileLevelRecord& r = p().m_aLevelRecords[0];
  EXPECT_EQ(std::vector<i32>({r.m_iBestScore, r.m_iMostKills, r.m_iLongestKillStreak, p().m_iStoryChapterReached,
                              p().m_iStoryLevelReached, g_bNoNextLevel, KvTestSaveHooks().m_iSaves}),
            std::vector<i32>({210, 7, 3, 0, 1, 0, 1}))
      << "records, progress to the next level, saved once";
  EXPECT_TRUE(visible("ResultsStory") && !visible("ResultsMarathon") && !visible("ResultsOther"));
  // 210 reaches two of 100..500; the next star is at 300.
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(visible(("ResultsStar" + std::to_string(i)).c_str()), i <= 2) << i;
  EXPECT_TRUE(visible("ResultsStoryStarNextValue") && visible("ResultsStoryContinueButton") &&
              visible("ResultsStoryScoreBest") && !visible("ResultsRankingText"));
}

TEST_F(Results, StoryBestMarksFollowTheSwappedFlags) {
  p().m_aLevelRecords[0] = {1000, 5, 5, 0, 0, 0};
  play(0, 0, 0, 100, 6, 5);
  EXPECT_TRUE(!visible("ResultsStoryScoreBest") && visible("ResultsStoryComboBest") && !visible("ResultsStoryKillsBest"))
      << "more kills light the combo mark";
  play(0, 0, 0, 100, 6, 9);
  EXPECT_TRUE(visible("ResultsStoryKillsBest") && !visible("ResultsStoryComboBest")) << "a longer streak: kills mark";
}

TEST_F(Results, ContinueIsBlockedAfterTheLastLevelAndForADeadPlayerButNotForAReplay) {
  play(0, 2, 7, 100);
  EXPECT_EQ(g_bNoNextLevel, 1);
  EXPECT_EQ(std::pair(p().m_iStoryChapterReached, p().m_iStoryLevelReached), std::pair(2, 7));
  EXPECT_FALSE(visible("ResultsStoryContinueButton"));

  p().m_iStoryChapterReached = p().m_iStoryLevelReached = 0;
  m_player.m_iHitPoints = 0;
  play(0, 0, 3, 100);
  EXPECT_EQ(g_bNoNextLevel, 1) << "a dead player does not open the next level";
  EXPECT_EQ(p().m_iStoryLevelReached, 0);

  p().m_iStoryChapterReached = 1;
  play(0, 0, 3, 100);
  EXPECT_EQ(g_bNoNextLevel, 0) << "a level below the progress never blocks";
}

// Back from the leaderboards the screen shows the same run, its marks and rank, while the world has run on under
// it; nothing is raised, uploaded or saved again. Results after play started again are a run of their own.
TEST_F(Results, BackFromTheLeaderboardsShowsTheSameRunAndRaisesNothingTwice) {
  play(0, 0, 0, 212, 7, 3);
  g_bLeaderboardScoreUploaded = g_bLeaderboardOwnRankStored = 1;
  run("systemResultsTick");
  press(gc_iUI_ACTION_ALT2);
  ASSERT_EQ(lastSwitch(), W("Leaderboards"));
  g_iScore = g_iEnemiesKilled = g_iBestStreak = 0;
  g_iLeaderboardIndex = 5;
  backFromLeaderboards();
  for (const char* pName : {"ResultsStoryScoreBest", "ResultsStoryKillsBest", "ResultsStoryComboBest",
                            "ResultsStoryContinueButton", "ResultsStar2", "ResultsRankingText"}) {
    EXPECT_TRUE(visible(pName)) << pName;
  }
  EXPECT_FALSE(visible("ResultsStar3") || visible("ResultsMarathon"));
  EXPECT_EQ(std::tuple(KvTestSaveHooks().m_iSaves, g_iLeaderboardIndex, g_iRunFinalScore), std::tuple(1, 5, 210));
  press(gc_iUI_ACTION_ALT2);
  GAMESetRootValue("InResultsScreen", 0);
  play(0, 0, 0, 100);
  EXPECT_FALSE(visible("ResultsStoryScoreBest") || visible("ResultsRankingText"));
  EXPECT_EQ(KvTestSaveHooks().m_iSaves, 2);
}

// A story level lost says so, without stars, next star, rank or continue; after the bonus stage the stage's own
// block shows the enemies it cut down. The hint line names the retry key that acts: R in the story, accept in an
// endless run, neither where accept leaves (a marathon's last level, after the bonus stage: named with back) or
// does nothing (the daily game).
TEST_F(Results, ALostLevelSaysSoAndTheHintNamesTheKeysThatAct) {
  struct SCase {
    i32 iType, iChapter, iLevel, iHitPoints, iCat;
    const char* pPrompt;
  };
  const SCase cases[] = {{0, 0, 0, 3, 0, "results_prompt"},        {0, 0, 0, 0, 0, "results_prompt"},
                         {1, 0, 3, 0, 0, "results_prompt_replay"}, {1, 2, 7, 3, 0, "results_prompt_leave_accept"},
                         {3, 0, 0, 0, 0, "results_prompt_replay"}, {5, 0, 0, 0, 0, "results_prompt_leave"},
                         {0, 2, 7, 3, 1, "results_prompt_leave_accept"}};
  g_gameModeCatFPS.m_iKills = 37;
  for (const SCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.iType) + " " + std::to_string(c.iHitPoints) + " " + std::to_string(c.iCat));
    m_player.m_iHitPoints = c.iHitPoints;
    m_player.m_eState = c.iHitPoints == 0 ? E_PLAYER_STATE_DEATH : E_PLAYER_STATE_RUNNING;
    GAMESetRootValue("CatResults", c.iCat);
    g_gameModeAction.m_bQuitToMenu = 0;
    play(c.iType, c.iChapter, c.iLevel, 350);
    g_bUnlockPopupActive = 0;
    const bool bLost = c.iType == 0 && c.iCat == 0 && c.iHitPoints == 0;
    if (c.iType == 0 && c.iCat == 0) {
      EXPECT_EQ(visible("ResultsStoryFailed"), bLost);
      EXPECT_EQ(visible("ResultsStar3") && visible("ResultsStoryStarNextValue"), !bLost);
      EXPECT_EQ(visible("ResultsStoryContinueButton"), !bLost);
    }
    EXPECT_EQ(visible("ResultsBonus"), c.iCat == 1);
    if (c.iCat == 1) {
      EXPECT_FALSE(visible("ResultsStory"));
      EXPECT_EQ(text("ResultsBonusKillsValue"), "37");
    }
    g_bLeaderboardScoreUploaded = g_bLeaderboardOwnRankStored = 1;
    run("systemResultsTick");
    EXPECT_EQ(visible("ResultsRankingText"), !bLost && c.iCat == 0) << "no rank for a lost level or the bonus stage";
    EXPECT_EQ(W("ResultsPrompt")->getID("localizedID"), KvStrHash(c.pPrompt));
    for (const auto& [iAction, pRetrying] :
         {std::pair{gc_iUI_ACTION_ALT1, "results_prompt"}, {gc_iUI_ACTION_ACCEPT, "results_prompt_replay"}}) {
      g_bRestartRequest = 0;
      press(iAction);
      EXPECT_EQ(g_bRestartRequest != 0, std::string(c.pPrompt) == pRetrying) << "retried by action " << iAction;
    }
    EXPECT_EQ(g_gameModeAction.m_bQuitToMenu != 0, std::string(c.pPrompt) == "results_prompt_leave_accept")
        << "accept leaves where the hint says so";
  }
}

TEST_F(Results, MarathonAndSurvivorRaiseTheirRecordsAndUploadToTheirBoards) {
  p().m_marathonExtreme.m_iFurthestChapter = 2;
  p().m_marathonExtreme.m_iFurthestLevel = 1;
  play(2, 1, 5, 500, 4, 2, 90);
  const SProfileMarathonRecord& m = p().m_marathonExtreme;
  EXPECT_EQ(std::vector<i32>({m.m_iBestScore, m.m_iFurthestChapter, m.m_iFurthestLevel, m.m_iMostKills,
                              m.m_iLongestKillStreak, m.m_iLongestDistance}),
            std::vector<i32>({500, 2, 5, 4, 2, 90}))
      << "a lower chapter but a higher level raises only the level";
  EXPECT_TRUE(visible("ResultsMarathonStageReachedBest"));
  EXPECT_TRUE(visible("ResultsMarathonDistanceBest"));
  EXPECT_EQ(g_iLeaderboardIndex, 29);

  m_player.m_iHitPoints = 0;
  g_iWave = 10;
  play(3, 0, 0, 50, 1, 1, 30);
  EXPECT_EQ(p().m_survivor.m_iBestScore, 50);
  EXPECT_EQ(p().m_survivor.m_iLongestDistance, 30);
  EXPECT_EQ(g_iLeaderboardIndex, 25);
  EXPECT_EQ(g_iUnlockKind, 11) << "the stage counter reaching 10 unlocks hardcore, even dead";
  EXPECT_EQ(p().m_bSurvivorHardcoreUnlocked, 1);
  EXPECT_TRUE(visible("ResultsSurvivor"));

  play(5, 0, 0, 50);
  EXPECT_EQ(g_iLeaderboardIndex, 25) << "a mode without records uploads nothing";
  EXPECT_TRUE(visible("ResultsOther"));
}

TEST_F(Results, InfiniteFuelUploadsNothingButRecordsAndUnlocksStill) {
  const char* pSettings = "INFINITE_FUEL 1\n";
  ClDevINI::terminate();
  ClDevINI::initialize();
  ClDevINI::loadFromBuffer(pSettings, std::strlen(pSettings), "project.ini");
  g_iLeaderboardIndex = 3;
  play(0, 0, 7, 300);
  EXPECT_EQ(g_iLeaderboardIndex, 3);
  EXPECT_EQ(p().m_aLevelRecords[7].m_iBestScore, 300);
  EXPECT_EQ(g_iUnlockKind, 14);
}

TEST_F(Results, UnlockKindsAndFlagsByWhatWasFinished) {
  struct SCase {
    i32 m_iType, m_iChapter, m_iLevel, m_iCat;
    std::vector<i32 SPlayerProfileData::*> m_set;
    i32 m_iKind;
  };
  using P = SPlayerProfileData;
  const SCase cases[] = {
      {0, 0, 7, 0, {}, 14},
      {0, 0, 7, 0, {&P::m_bEquipmentUnlock3}, 3},
      {0, 0, 7, 0, {&P::m_bEquipmentUnlock3, &P::m_bChapter1RewardSeen}, 12},
      {0, 1, 7, 0, {}, 15},
      {0, 1, 7, 0, {&P::m_bEquipmentUnlock4, &P::m_bChapter2RewardSeen}, 12},
      {0, 2, 7, 1, {}, 5},
      {0, 2, 7, 1, {&P::m_bMarathonUnlocked}, 6},
      {0, 2, 7, 1, {&P::m_bMarathonUnlocked, &P::m_bSurvivorUnlocked, &P::m_bUltraGibOptionUnlocked}, 8},
      {1, 2, 7, 0, {}, 9},
      {2, 2, 7, 0, {}, 10},
      {0, 0, 3, 0, {}, 0},
  };
  for (const SCase& c : cases) {
    ClProfileMgr::resetToDefaults(mpr_pPlayerProfile);
    for (auto pField : c.m_set) p().*pField = 1;
    GAMESetRootValue("CatResults", c.m_iCat);
    g_bUnlockPopupActive = 0;
    play(c.m_iType, c.m_iChapter, c.m_iLevel, 100);
    EXPECT_EQ(g_iUnlockKind, c.m_iKind) << c.m_iType << " " << c.m_iChapter << "-" << c.m_iLevel;
    EXPECT_EQ(g_bUnlockPopupActive, c.m_iKind != 0 ? 1 : 0);
  }
  // After the bonus stage on a fresh profile every mode flag is set at once.
  for (i32 P::*pField : {&P::m_bMarathonUnlocked, &P::m_bMarathonExtremeUnlocked, &P::m_bMarathonUltraUnlocked,
                         &P::m_bSurvivorUnlocked, &P::m_bUltraGibOptionUnlocked, &P::m_bGameCompleted}) {
    ClProfileMgr::resetToDefaults(mpr_pPlayerProfile);
    GAMESetRootValue("CatResults", 1);
    play(0, 2, 7, 100);
    EXPECT_EQ(p().*pField, 1);
  }
  EXPECT_FALSE(visible("ResultsStoryContinueButton")) << "no continue after the bonus stage";
}

TEST_F(Results, PopupShowsOneKindAtATimeAlongItsChainThenCloses) {
  for (auto [iStart, chain] : {std::pair{14, std::vector<i32>{1, 3, 12}}, {15, {2, 4, 13}}, {5, {6, 7}}, {8, {}},
                               {11, {}}}) {
    g_iUnlockKind = iStart;
    g_bUnlockPopupActive = 1;
    W("UnlockPopupSwitcher")->switchTo(W("UnlockPopup"));
    for (i32 iKind : chain) {
      press(gc_iUI_ACTION_ACCEPT, "systemUnlockPopupTick");
      EXPECT_EQ(g_iUnlockKind, iKind);
    }
    EXPECT_EQ(g_bUnlockPopupActive, 1);
    press(gc_iUI_ACTION_START, "systemUnlockPopupTick");
    EXPECT_EQ(g_bUnlockPopupActive, 0) << iStart;
  }
  g_iUnlockKind = 3;
  run("systemInitializeUnlockPopup");
  EXPECT_EQ(W("UnlockPopupItemIcon")->getString("textureName"), std::string("IM-RewardMachete"));
  EXPECT_EQ(W("UnlockPopupItemText")->getID("localizedID"), KvStrHash("unlock_popup_text_weapon_machete"));
}

TEST_F(Results, RankIsRequestedOnceAfterTheUploadAndShownEvenUnderThePopup) {
  play(0, 0, 7, 100);
  ASSERT_EQ(g_bUnlockPopupActive, 1);
  run("systemResultsTick");
  EXPECT_EQ(g_bResultsRankingRequested, 0) << "not before the upload completed";
  g_bLeaderboardScoreUploaded = 1;
  run("systemResultsTick");
  EXPECT_EQ(g_bResultsRankingRequested, 1);
  p().m_aLevelRecords[7].m_iWorldRank = 42;
  g_bLeaderboardOwnRankStored = 1;
  press(gc_iUI_ACTION_BACK);
  EXPECT_TRUE(visible("ResultsRankingText"));
  EXPECT_EQ(g_gameModeAction.m_bQuitToMenu, 0u) << "the popup takes the actions";
}

TEST_F(Results, TickLeavesRetriesContinuesAndOpensTheLeaderboards) {
  play(0, 0, 2, 100);
  press(gc_iUI_ACTION_ALT1);
  EXPECT_EQ(g_bRestartRequest, 1);
  press(gc_iUI_ACTION_ALT2);
  EXPECT_EQ(lastSwitch(), W("Leaderboards"));
  press(gc_iUI_ACTION_ACCEPT);
  EXPECT_EQ(g_bNextLevelRequest, 1);
  EXPECT_EQ(lastSwitch(), W("InGame"));
  EXPECT_EQ(ClGameStateMgr::getInputMapper(0), ClInputManager::getGameplayMapper());
  press(gc_iUI_ACTION_BACK);
  EXPECT_EQ(g_gameModeAction.m_bQuitToMenu, 1u);

  g_gameModeAction.m_bQuitToMenu = 0;
  g_bRestartRequest = 0;
  play(1, 0, 3, 100);
  press(gc_iUI_ACTION_ACCEPT);
  EXPECT_EQ(g_bRestartRequest, 1) << "accept retries an endless run";

  GAMESetRootValue("CatResults", 1);
  play(0, 2, 7, 100);
  g_bUnlockPopupActive = 0;
  press(gc_iUI_ACTION_ACCEPT);
  EXPECT_EQ(lastSwitch(), W("TitleScreen"));
  EXPECT_EQ(GAMEGetRootValue("CatResults", -1), 0);
}

TEST_F(Results, PauseResumesIntoItsScreenOnlyWhilePaused) {
  run("systemUnpauseAndReturnToGame");
  EXPECT_EQ(lastSwitch(), nullptr) << "not paused: nothing";
  GAMESetRootValue("PauseGame", 1);
  GAMESetRootValue("PauseFromCatFPS", 1);
  run("systemUnpauseAndReturnToGame");
  EXPECT_EQ(lastSwitch(), W("EmptyScreen"));
  EXPECT_EQ(GAMEGetRootValue("PauseGame", -1), 0);
}

TEST_F(Results, HowToPlayLooksAndTheSavedHistoryComesBack) {
  for (auto [iFromGame, pPicture, pCaption] : {std::tuple{1, "IM-Controller-A", "results_continue"},
                                               {0, "IM-Controller-B", "how_to_play_back"}}) {
    GAMESetRootValue("HowToPlayFromGame", iFromGame);
    run("systemHowToPlayInit");
    EXPECT_EQ(W("back_htp_25")->getString("textureName"), std::string(pPicture));
    EXPECT_EQ(W("backtext_htp_7")->getID("localizedID"), KvStrHash(pCaption));
    EXPECT_EQ(W("HowToPlayBack")->getID("localizedID"), KvStrHash(pCaption)) << "the button says what it does";
  }
  ClUI::switchTo("TopLevelSwitcher", "Options");
  ClUI::switchTo("TopLevelSwitcher", "InGame");
  run("systemSavePreviousWidgets");
  ClUI::switchTo("TopLevelSwitcher", "HowToPlay");
  ClUI::switchTo("TopLevelSwitcher", "Leaderboards");
  GAMESetRootValue("HowToPlayFromGame", 0);
  run("systemHowToPlayBackClick");
  EXPECT_EQ(lastSwitch(), W("InGame"));
  EXPECT_EQ(ClUI::getSwitchHistory(1), W("Options")) << "the saved entries are back";

  // From the pause menu: back to play, and the resumed level music is the one that plays on.
  ClFMODCueInstance* pMusic = reinterpret_cast<ClFMODCueInstance*>(&m_player);
  g_gameModeAction.mp_levelMusicCue.mp_pInstance = pMusic;
  GAMESetRootValue("HowToPlayFromGame", 1);
  GAMESetRootValue("PauseGame", 1);
  run("systemHowToPlayBackClick");
  EXPECT_EQ(GAMEGetRootValue("PauseGame", -1), 0);
  EXPECT_EQ(GAMEGetRootValue("HowToPlayFromGame", -1), 0);
  EXPECT_EQ(g_gameModeAction.mp_levelMusicCue.mp_pInstance, pMusic) << "no second loop over the resumed one";
  const SWidgetSwitchedChild& pages = W("HowToPlaySwitcher")->mp_SwitchedChildren[1];
  EXPECT_EQ(pages.mp_uiState, static_cast<u32>(E_SWITCH_STATE_INACTIVE)) << "the pages went out with the screen";
  g_gameModeAction.mp_levelMusicCue = SCueHandle();

  for (i32 i = 0; i < NUM_OF_WIDGETS_SWITCHED_IN_HISTORY; ++i) ClUI::pushSwitchHistory(W("ResultsGameMode"));
  run("systemSavePreviousWidgets");
  EXPECT_KV_ASSERT(run("systemHowToPlayBackClick"), "no saved entry is a screen of TopLevelSwitcher");
}

}  // namespace
