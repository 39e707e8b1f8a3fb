#include "Code/UI/GAMEUI_Results.h"

#include <cmath>
#include <cstdio>

#include "Code/Objects/Backgrounds.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEGameTypes.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Code/UI/GAMEUI_UnlockPopup.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/Store/ClTrophyAchMgr.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"

i32 g_iRunFinalScore = 0;
i32 g_bNoNextLevel = 0;
i32 g_bResultsRankingRequested = 0;
i32 g_bResultsRankingShown = 0;

namespace {

constexpr const char* gc_pSWITCHER = "TopLevelSwitcher";
constexpr i32 gc_iPLAYER_STATE_DEAD = E_PLAYER_STATE_DEATH;
constexpr i32 gc_iSURVIVOR_HARDCORE_STAGE = 10;

using GameTypes::isLastStoryLevel;
using GameTypes::isMarathon;
using GameTypes::isStory;
using GameTypes::isSurvivor;
using GameTypes::storyIndex;
bool playerAlive() { return g_pPlayer != nullptr && g_pPlayer->m_iHitPoints > 0; }
bool catResults() { return GAMEGetRootValue("CatResults", 0) == 1; }

SPlayerProfileData& profile() {
  KvCheckPointer(g_pPlayerProfileData);
  return *g_pPlayerProfileData;
}

SProfileMarathonRecord& marathonRecord(i32 iType) {
  if (iType == E_GAME_TYPE_MARATHON_EXTREME) return profile().m_marathonExtreme;
  if (iType == E_GAME_TYPE_MARATHON_ULTRA) return profile().m_marathonUltra;
  return profile().m_marathon;
}

SProfileSurvivorRecord& survivorRecord(i32 iType) {
  return iType == E_GAME_TYPE_SURVIVOR_HARDCORE ? profile().m_survivorHardcore : profile().m_survivor;
}

// Which records of the run rose.
struct SRecordMarks {
  i32 m_bScore = 0;
  i32 m_bStage = 0;
  i32 m_bStreak = 0;
  i32 m_bKills = 0;
  i32 m_bDistance = 0;
};

struct SRun {
  i32 m_iType = 0;
  i32 m_iChapter = 0;
  i32 m_iLevel = 0;
  i32 m_iKills = 0;
  i32 m_iStreak = 0;
  i32 m_iDistance = 0;
};

// What the screen shows of the run: filled once when the run ends, and again from here when the screen comes back
// from the leaderboards it opened, so that nothing is raised, uploaded or saved twice and the marks stay.
struct SShownRun {
  SRun m_run;
  SRecordMarks m_marks;
  char m_szStage[32] = {};
  // A story level lost: it says so, without stars, next star or rank.
  bool m_bFailed = false;
  // After the bonus stage: the stage's own block and figures.
  bool m_bBonusStage = false;
};
SShownRun s_shown;
// Set while the leaderboards opened from the results are up.
bool s_bAwayAtLeaderboards = false;

// Records of the run's type raised; story progress advanced. Returns the marks.
SRecordMarks raiseRecords(const SRun& run) {
  SRecordMarks marks;
  const i32 iScore = g_iRunFinalScore;
  if (isStory(run.m_iType)) {
    SProfileLevelRecord& record =
        profile().m_aLevelRecords[ClProfileMgr::levelRecordIndex(run.m_iChapter, run.m_iLevel)];
    raiseToMax(&record.m_iBestScore, iScore, &marks.m_bScore);
    i32 iNext = storyIndex(run.m_iChapter, run.m_iLevel) + 1;
    if (iNext >= gc_iSTORY_LEVELS) {
      g_bNoNextLevel = 1;
      iNext = gc_iSTORY_LEVELS - 1;
    }
    if (storyIndex(profile().m_iStoryChapterReached, profile().m_iStoryLevelReached) < iNext) {
      if (iScore >= -1 && playerAlive()) {
        profile().m_iStoryChapterReached = iNext / NUMBER_MAX_OF_LEVELS;
        profile().m_iStoryLevelReached = iNext % NUMBER_MAX_OF_LEVELS;
      } else {
        g_bNoNextLevel = 1;
      }
    }
    raiseToMax(&record.m_iLongestKillStreak, run.m_iStreak, &marks.m_bStreak);
    raiseToMax(&record.m_iMostKills, run.m_iKills, &marks.m_bKills);
  } else if (isMarathon(run.m_iType)) {
    SProfileMarathonRecord& record = marathonRecord(run.m_iType);
    raiseToMax(&record.m_iBestScore, iScore, nullptr);
    // A later chapter takes both words; otherwise only a higher level counts (not compared as a pair).
    if (run.m_iChapter > record.m_iFurthestChapter) {
      record.m_iFurthestChapter = run.m_iChapter;
      record.m_iFurthestLevel = run.m_iLevel;
      marks.m_bStage = 1;
    } else {
      raiseToMax(&record.m_iFurthestLevel, run.m_iLevel, &marks.m_bStage);
    }
    raiseToMax(&record.m_iLongestKillStreak, run.m_iStreak, &marks.m_bStreak);
    raiseToMax(&record.m_iLongestDistance, run.m_iDistance, &marks.m_bDistance);
    raiseToMax(&record.m_iMostKills, run.m_iKills, &marks.m_bKills);
  } else if (isSurvivor(run.m_iType)) {
    SProfileSurvivorRecord& record = survivorRecord(run.m_iType);
    raiseToMax(&record.m_iLongestKillStreak, run.m_iStreak, &marks.m_bStreak);
    raiseToMax(&record.m_iLongestDistance, run.m_iDistance, &marks.m_bDistance);
    raiseToMax(&record.m_iMostKills, run.m_iKills, &marks.m_bKills);
    raiseToMax(&record.m_iBestScore, iScore, nullptr);
  }
  if (GameTypes::hasRecord(run.m_iType) &&
      !(ClDevINI::hasKey("INFINITE_FUEL") != 0 && ClDevINI::getFloat("INFINITE_FUEL") != 0.0f)) {
    g_iLeaderboardIndex = leaderboardIndexForRun(run.m_iType, run.m_iChapter, run.m_iLevel);
    if (ClScoreLeaderboardMgr::isInitialized()) {
      ClScoreLeaderboardMgr::uploadScore(g_iLeaderboardIndex, iScore);
    } else {
      std::fprintf(stderr, "Results: the leaderboards are not available; the score %d is not uploaded\n", iScore);
    }
  }
  return marks;
}

// Sets the flag (marks it unlocked) and answers whether it was still clear.
bool unlock(i32* pbFlag) {
  const bool bWasLocked = *pbFlag == 0;
  *pbFlag = 1;
  return bWasLocked;
}

void chooseUnlocks(const SRun& run) {
  SPlayerProfileData& p = profile();
  const bool bStory = isStory(run.m_iType);
  // The ends of the first two chapters hand over their rewards.
  if (bStory && run.m_iLevel == gc_iLAST_STORY_LEVEL && run.m_iChapter == 0 && playerAlive()) {
    g_iUnlockKind = p.m_bEquipmentUnlock3 == 0 ? 14 : p.m_bChapter1RewardSeen == 0 ? 3 : p.m_bEquipmentUnlock1 == 0 ? 12 : 0;
    p.m_bEquipmentUnlock3 = p.m_bChapter1RewardSeen = p.m_bEquipmentUnlock1 = 1;
  }
  if (bStory && run.m_iLevel == gc_iLAST_STORY_LEVEL && run.m_iChapter == 1 && playerAlive()) {
    g_iUnlockKind = p.m_bEquipmentUnlock4 == 0 ? 15 : p.m_bChapter2RewardSeen == 0 ? 4 : p.m_bEquipmentUnlock2 == 0 ? 12 : 0;
    p.m_bEquipmentUnlock4 = p.m_bChapter2RewardSeen = p.m_bEquipmentUnlock2 = 1;
  }
  if (bStory && catResults()) {
    if (p.m_bMarathonUnlocked == 0) {
      g_iUnlockKind = 5;
    } else if (p.m_bSurvivorUnlocked == 0) {
      g_iUnlockKind = 6;
    } else if (p.m_bUltraGibOptionUnlocked == 0) {
      g_iUnlockKind = 7;
    } else if (p.m_bGameCompleted == 0) {
      g_iUnlockKind = 8;
    }
    p.m_bMarathonUnlocked = p.m_bMarathonExtremeUnlocked = p.m_bMarathonUltraUnlocked = 1;
    p.m_bSurvivorUnlocked = p.m_bUltraGibOptionUnlocked = p.m_bGameCompleted = 1;
  }
  const bool bLastLevel = isLastStoryLevel(run.m_iChapter, run.m_iLevel);
  if (bStory && bLastLevel && g_bBackgroundsLoaded == 0) {
    g_attractTimer.start(0.0f, 1.0f, 0.0f, gc_fATTRACT_SCREEN_SECONDS);
    g_iAttractScreenCounter = 1;
    if (Backgrounds::initialize()) {
      Backgrounds::loadPattern("BackgroundPatternChapter1A");
    }
  }
  if (run.m_iType == E_GAME_TYPE_MARATHON && bLastLevel && p.m_bMarathonExtremeUnlocked == 0 && playerAlive() &&
      unlock(&p.m_bMarathonExtremeUnlocked)) {
    g_iUnlockKind = 9;
  }
  if (run.m_iType == E_GAME_TYPE_MARATHON_EXTREME && bLastLevel && p.m_bMarathonUltraUnlocked == 0 && playerAlive() &&
      unlock(&p.m_bMarathonUltraUnlocked)) {
    g_iUnlockKind = 10;
  }
  if (run.m_iType == E_GAME_TYPE_SURVIVOR && run.m_iLevel >= gc_iSURVIVOR_HARDCORE_STAGE &&
      unlock(&p.m_bSurvivorHardcoreUnlocked)) {
    g_iUnlockKind = 11;
  }
}

ClWidget* W(const char* pName) { return ClUI::getWidget(pName); }
void show(const char* pName, bool bVisible) { W(pName)->setVisibleRecursively(bVisible ? 1 : 0); }
void value(const char* pName, const char* pTextID, i32 iValue) { W(pName)->setLocalizedTextWithInt(pTextID, iValue); }

// The three values every block shows, under the block's prefix.
void fillCommon(const char* pPrefix, const SRun& run, bool bDistance) {
  char szName[64];
  std::snprintf(szName, sizeof(szName), "%sScoreValue", pPrefix);
  value(szName, "results_score_value", g_iRunFinalScore);
  std::snprintf(szName, sizeof(szName), "%sKillsValue", pPrefix);
  value(szName, "results_kills_value", run.m_iKills);
  std::snprintf(szName, sizeof(szName), "%sComboValue", pPrefix);
  value(szName, "results_combo_value", run.m_iStreak);
  if (bDistance) {
    std::snprintf(szName, sizeof(szName), "%sDistanceValue", pPrefix);
    value(szName, "results_distance_value", run.m_iDistance);
  }
}

void showStage(const char* pValue, const char* pName, const char* pStageText) {
  W(pValue)->setLocalizedTextWithString("results_stage_value", pStageText);
  W(pValue)->setVisible(1);
  W(pName)->setVisible(1);
}

// The hint line names the keys that act on this screen: accept retries an endless run, leaves after a marathon's
// last level or the bonus stage as back does, and does nothing after the daily game; the retry key acts in the story
// only. The story's continue has its own line ("ResultsStoryContinueButton").
const char* promptFor(const SShownRun& shown) {
  const i32 iType = shown.m_run.m_iType;
  if (shown.m_bBonusStage || (isMarathon(iType) && isLastStoryLevel(shown.m_run.m_iChapter, shown.m_run.m_iLevel))) {
    return "results_prompt_leave_accept";
  }
  if (iType == E_GAME_TYPE_DAILY) {
    return "results_prompt_leave";
  }
  return isMarathon(iType) || isSurvivor(iType) ? "results_prompt_replay" : "results_prompt";
}

bool showsRanking(const SShownRun& shown) { return !shown.m_bFailed && !shown.m_bBonusStage; }

// While an unlock is announced the screen takes no key: its hint line gives way to the announcement's own, which
// names the key that acts, and comes back when the announcement closes. Its visibility is touched only then.
bool s_bHintLineAway = false;
void hintLineAwayWhileAnnouncing() {
  const bool bAnnouncing = g_bUnlockPopupActive != 0;
  if (bAnnouncing != s_bHintLineAway) {
    W("ResultsPrompt")->setVisible(bAnnouncing ? 0u : 1u);
    s_bHintLineAway = bAnnouncing;
  }
}

void showRanking() {
  value("ResultsRankingText", "results_level_ranking_pos", getWorldRankForGameType(g_iGameType, g_iChapter, g_iLevel));
  show("ResultsRankingText", true);
  show("ResultsRankingLabel", true);
}

// The bonus stage's block: the stage and the enemies cut down in it.
void fillBonusStage() {
  show("ResultsBonus", true);
  // The story's continue never acts here, wherever the screens place it.
  show("ResultsStoryContinueButton", false);
  W("ResultsBonusStageValue")->setLocalizedID("results_bonus_stage");
  value("ResultsBonusKillsValue", "results_kills_value", ScreenFlow::bonusStageKills());
}

// The widgets of the run's block. The "KillsBest" mark follows the kill streak and the "ComboBest" mark the
// kills: the screens' data places the marks that way.
void fillWidgets(const SShownRun& shown) {
  const SRun& run = shown.m_run;
  const SRecordMarks& marks = shown.m_marks;
  const char* pStageText = shown.m_szStage;
  show("ResultsStory", false);
  show("ResultsMarathon", false);
  show("ResultsSurvivor", false);
  show("ResultsBonus", false);
  // The values of a mode without records stand in a block of their own in the screens' data.
  show("ResultsOther", run.m_iType == E_GAME_TYPE_DAILY);
  W("ResultsPrompt")->setLocalizedID(promptFor(shown));
  if (shown.m_bBonusStage) {
    fillBonusStage();
  } else if (isStory(run.m_iType)) {
    show("ResultsStory", true);
    fillCommon("ResultsStory", run, false);
    const i32 iStars = shown.m_bFailed ? 0 : ClLevelMgr::getNumStars(run.m_iChapter, run.m_iLevel, g_iRunFinalScore);
    const i32 iNext =
        shown.m_bFailed ? -1 : ClLevelMgr::getNextStarScore(run.m_iChapter, run.m_iLevel, g_iRunFinalScore);
    show("ResultsStoryFailed", shown.m_bFailed);
    show("ResultsStoryStarNextLabel", iNext >= 1);
    show("ResultsStoryStarNextValue", iNext >= 1);
    if (iNext >= 1) value("ResultsStoryStarNextValue", "results_score_value", iNext);
    show("ResultsStoryMoreStarsRequired", false);
    for (i32 iStar = 1; iStar <= 5; ++iStar) {
      ClUI::getWidgetFormatted("ResultsStar%d", iStar)->setVisibleRecursively(iStars >= iStar ? 1 : 0);
    }
    show("ResultsStoryScoreBest", marks.m_bScore != 0);
    show("ResultsStoryKillsBest", marks.m_bStreak != 0);
    show("ResultsStoryComboBest", marks.m_bKills != 0);
    showStage("ResultsStoryStageReachedValue", "ResultsStoryStageReachedName", pStageText);
    show("ResultsStoryContinueButton", !shown.m_bFailed && g_pPlayer != nullptr &&
                                           g_pPlayer->m_eState != gc_iPLAYER_STATE_DEAD && g_bNoNextLevel == 0);
    show("ResultsStoryUnlockedItem", false);
  } else if (isMarathon(run.m_iType)) {
    show("ResultsMarathon", true);
    fillCommon("ResultsMarathon", run, true);
    show("ResultsMarathonStageReachedBest", marks.m_bStage != 0);
    show("ResultsMarathonKillsBest", marks.m_bStreak != 0);
    show("ResultsMarathonComboBest", marks.m_bKills != 0);
    show("ResultsMarathonDistanceBest", marks.m_bDistance != 0);
    showStage("ResultsMarathonStageReachedValue", "ResultsMarathonStageReachedName", pStageText);
  } else if (isSurvivor(run.m_iType)) {
    show("ResultsSurvivor", true);
    fillCommon("ResultsSurvivor", run, true);
    show("ResultsSurvivorKillsBest", marks.m_bStreak != 0);
    show("ResultsSurvivorComboBest", marks.m_bKills != 0);
    show("ResultsSurvivorDistanceBest", marks.m_bDistance != 0);
    show("ResultsSurvivorUnlockedItem", false);
  } else if (run.m_iType == E_GAME_TYPE_DAILY) {
    fillCommon("Results", run, true);
    W("ResultsStageReachedName")->setVisible(0);
    W("ResultsStageReachedValue")->setVisible(0);
  }
  value("ResultsRankingText", "results_level_ranking_pos", 0);
  show("ResultsRankingText", false);
  show("ResultsRankingLabel", false);
  W("ResultsGameMode")
      ->setLocalizedTextWithUnicodeString("results_mode", KvLangID::getString(GameTypes::modeTextID(run.m_iType)));
}

void grantAchievements(const SRun& run) {
  i32 iFiveStarLevels = 0;
  for (i32 iChapter = 0; iChapter < NUMBER_MAX_OF_CHAPTERS; ++iChapter) {
    for (i32 iLevel = 0; iLevel < NUMBER_MAX_OF_LEVELS; ++iLevel) {
      const i32 iBest = profile().m_aLevelRecords[ClProfileMgr::levelRecordIndex(iChapter, iLevel)].m_iBestScore;
      iFiveStarLevels += ClLevelMgr::getNumStars(iChapter, iLevel, iBest) >= 5 ? 1 : 0;
    }
  }
  if (iFiveStarLevels == gc_iSTORY_LEVELS) {
    ClTrophyAchMgr::grantAchievement("BOW_TO_ME");
  }
  if (catResults() && isStory(run.m_iType)) {
    ClTrophyAchMgr::grantAchievement("NO_CAT_LEFT_BEHIND");
  }
}

// Opens the leaderboard screen on the board just played (g_iLeaderboardIndex, set by the upload); its back
// brings the results in again.
void resultsOpenLeaderboards() {
  s_bAwayAtLeaderboards = true;
  openLeaderboardScreen();
}

}  // namespace

void raiseToMax(i32* piValue, i32 iCandidate, i32* pbRose) {
  const bool bRises = *piValue < iCandidate;
  if (bRises) *piValue = iCandidate;
  if (pbRose != nullptr) *pbRose = bRises ? 1 : 0;
}

i32 resultsFinalScore(f32 fScore) { return static_cast<i32>(std::floor(fScore * 0.2f + 0.5f) * 5.0f); }

void systemResultsInitialize(ClWidget*, WidgetEventProcedureCall*) {
  // Play started again since the leaderboards were opened clears "InResultsScreen": those are new results.
  const bool bBackFromLeaderboards = s_bAwayAtLeaderboards && GAMEGetRootValue("InResultsScreen", 0) != 0;
  s_bAwayAtLeaderboards = false;
  GAMESetRootValue("InResultsScreen", 1);
  ClGameStateMgr::popInputMapper(0);
  ClGameStateMgr::pushInputMapper(0, ClInputManager::getMenusMapper());
  ClGameStateMgr::blockInput();
  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::start("Monkey", "Scheme_UI");
  }
  if (bBackFromLeaderboards) {
    fillWidgets(s_shown);
    if (g_bResultsRankingShown != 0) {
      showRanking();
    }
    return;
  }
  g_iRunFinalScore = resultsFinalScore(static_cast<f32>(g_iScore));
  g_bNoNextLevel = 0;
  SRun run = {g_iGameType, g_iChapter, g_iLevel, g_iEnemiesKilled, g_iBestStreak, g_iPlayerDistance};
  s_shown = SShownRun();
  std::snprintf(s_shown.m_szStage, sizeof(s_shown.m_szStage), "%d-%d", run.m_iChapter + 1, run.m_iLevel + 1);
  if (isSurvivor(run.m_iType) && run.m_iLevel == 0) {
    run.m_iLevel = g_iWave;
  }
  s_shown.m_marks = raiseRecords(run);
  s_shown.m_run = run;
  s_shown.m_bBonusStage = catResults();
  s_shown.m_bFailed = isStory(run.m_iType) && !s_shown.m_bBonusStage && !playerAlive();
  g_bLeaderboardScoreUploaded = g_bLeaderboardOwnRankStored = g_bLeaderboardWorldRecordStored = 0;
  g_bResultsRankingRequested = g_bResultsRankingShown = 0;
  g_iUnlockKind = 0;
  chooseUnlocks(run);
  ClSaveGameUtility::gameSpecificAutoSave();
  fillWidgets(s_shown);
  if (g_iUnlockKind != 0) {
    g_bUnlockPopupActive = 1;
    W("UnlockPopupSwitcher")->switchToKeepFocus(W("UnlockPopup"));
  }
  hintLineAwayWhileAnnouncing();
  grantAchievements(run);
}

void systemResultsTick(ClWidget*, WidgetEventProcedureCall*) {
  const i32 iType = g_iGameType;
  if (g_bLeaderboardScoreUploaded != 0 && g_bResultsRankingRequested == 0 && g_bLeaderboardOwnRankStored == 0) {
    if (ClScoreLeaderboardMgr::isInitialized()) {
      ClScoreLeaderboardMgr::downloadScoresAroundUser(leaderboardIndexForRun(iType, g_iChapter, g_iLevel), 1, 1);
    }
    g_bResultsRankingRequested = 1;
  }
  // A lost level and the bonus stage have no rank to show: the upload was the last level's.
  if (g_bLeaderboardOwnRankStored != 0 && g_bResultsRankingShown == 0 && showsRanking(s_shown)) {
    showRanking();
    g_bResultsRankingShown = 1;
  }
  // The announcement closes in its own tick.
  hintLineAwayWhileAnnouncing();
  if (g_bUnlockPopupActive != 0) {
    return;
  }
  if (catResults()) {
    if (justPressedOnPad0(E_GAME_ACTION_MENU_BACK) || justPressedOnPad0(E_GAME_ACTION_MENU_ACCEPT)) {
      playUIAcceptSound();
      ScreenFlow::quitToMenu();
      ClUI::switchTo(gc_pSWITCHER, "TitleScreen");
      g_attractTimer.start(0.0f, 1.0f, 0.0f, gc_fATTRACT_SCREEN_SECONDS);
      g_iAttractScreenCounter = 1;
      if (g_bBackgroundsLoaded == 0 && Backgrounds::initialize()) {
        Backgrounds::loadPattern("BackgroundPatternChapter1A");
      }
      GAMESetRootValue("CatResults", 0);
      return;
    }
  } else {
    if (justPressedOnPad0(E_GAME_ACTION_MENU_BACK)) {
      playUIAcceptSound();
      ScreenFlow::quitToMenu();
      return;
    }
    if (isLastStoryLevel(g_iChapter, g_iLevel) && isMarathon(iType) && justPressedOnPad0(E_GAME_ACTION_MENU_ACCEPT)) {
      playUIAcceptSound();
      ScreenFlow::quitToMenu();
      return;
    }
    if (isStory(iType) && justPressedOnPad0(E_GAME_ACTION_MENU_ALT1)) {
      playUIAcceptSound();
      g_bRestartRequest = 1;
      return;
    }
    if (justPressedOnPad0(E_GAME_ACTION_MENU_ACCEPT)) {
      if (isMarathon(iType) || isSurvivor(iType)) {
        playUIAcceptSound();
        g_bRestartRequest = 1;
      } else if (isStory(iType) && g_pPlayer != nullptr && g_pPlayer->m_eState != gc_iPLAYER_STATE_DEAD &&
                 g_bNoNextLevel == 0) {
        playUIAcceptSound();
        GAMESetRootValue("PauseGame", 0);
        ClUI::switchTo(gc_pSWITCHER, "InGame");
        g_bNextLevelRequest = 1;
        ClGameStateMgr::popInputMapper(0);
        ClGameStateMgr::pushInputMapper(0, ClInputManager::getGameplayMapper());
        if (ClMonkeyMgr::isRunning()) {
          ClMonkeyMgr::start("Monkey", "Scheme_InGame");
        }
      }
      return;
    }
  }
  if (justPressedOnPad0(E_GAME_ACTION_MENU_ALT2)) {
    playUIAcceptSound();
    resultsOpenLeaderboards();
  }
}
