#include "Code/UI/GAMEUI_StageSelect.h"

#include <cstdio>
#include <cstring>

#include "Code/Objects/ClLevelMgr.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

ClDynamicVector<SStageSelectChapter> g_TEMPdaChapters;
f32 g_fStageSelectDelayTimer = 0.0f;
i32 g_bStageSelectWorldRecordShown = 0;
ClInterpolator<f32> g_stageSelectAlternation;
i32 g_bStageSelectWorldRecordReceived = 0;
i32 g_bStageSelectOwnRankReceived = 0;
i32 g_bLeaderboardRequestFromScreens = 0;

namespace {

constexpr i32 gc_iSTARS = 5;
constexpr f32 gc_fSTAR_STEP_X = 16.0f;
constexpr f32 gc_fSTAR_STEP_Y = 15.0f;
constexpr f32 gc_fBACKGROUND_OFFSET_Y = 7.0f;

// A level name's look: (textColor_off, textColor_rollover); the first is also its current colour.
struct SNameLook {
  u32 m_uiOff;
  u32 m_uiRollover;
};
constexpr SNameLook gc_GREY = {0xFF9B9898u, 0xFF9B9898u};
constexpr SNameLook gc_GREEN = {0xFF00FC00u, 0xFFFFEF40u};
constexpr SNameLook gc_WHITE = {0xFFFFFFFFu, 0xFFFFEF40u};
constexpr u32 gc_uiSCORE_WHITE = 0xFFFFFFFFu;

// The colour animators that draw the text: a button's second, a text widget's first.
constexpr i32 gc_iBUTTON_TEXT_ANIMATOR = 1;
constexpr i32 gc_iTEXT_ANIMATOR = 0;

void setCurrentColor(ClWidget* pWidget, i32 iAnimator, u32 uiColor) {
  SAnimatorParams params{};
  params.mp_iKind = gc_iANIM_PLAY_SET;
  params.mp_uiEndColor = uiColor;
  pWidget->mp_aColorAnimators[iAnimator].play(params);
}

void applyNameLook(ClWidget* pName, const SNameLook& look) {
  pName->setColor(gc_TEXT_COLOR_OFF.mp_uiHash, look.m_uiOff);
  pName->setColor(gc_TEXT_COLOR_ROLLOVER.mp_uiHash, look.m_uiRollover);
  setCurrentColor(pName, gc_iBUTTON_TEXT_ANIMATOR, look.m_uiOff);
}

// A text by localized ID: the dynamic text that would hide it is cleared.
void setLocalizedText(ClWidget* pWidget, const char* pTextID) {
  const wchar16 wEmpty[1] = {0};
  pWidget->setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, wEmpty);
  pWidget->setLocalizedID(pTextID);
}

void show(ClWidget* pWidget, u32 bVisible) { pWidget->setVisible(bVisible); }

f32 layoutWord(const ClWidget* pWidget, i32 iWord) {
  f32 fValue;
  std::memcpy(&fValue, static_cast<const u8*>(pWidget->getLayout(gc_WIDGET_LAYOUT)) + iWord * 4, sizeof(fValue));
  return fValue;
}

void setLayoutXY(ClWidget* pWidget, f32 fX, f32 fY) {
  u8 auiLayout[gc_iLAYOUT_SIZE];
  std::memcpy(auiLayout, pWidget->getLayout(gc_WIDGET_LAYOUT), sizeof(auiLayout));
  std::memcpy(auiLayout + gc_iLAYOUT_X_WORD * 4, &fX, sizeof(fX));
  std::memcpy(auiLayout + gc_iLAYOUT_Y_WORD * 4, &fY, sizeof(fY));
  pWidget->setLayout(gc_WIDGET_LAYOUT.mp_uiHash, auiLayout);
}

ClWidget* childOf(const char* pParent, i32 iIndex) {
  ClWidget* pParentWidget = ClUI::getWidget(pParent);
  KV_ASSERT_MSG(iIndex >= 0 && static_cast<u32>(iIndex) < pParentWidget->mp_AllChildren.getSize(),
                "index >=0 && index < m_iSize");
  return pParentWidget->mp_AllChildren[static_cast<u32>(iIndex)];
}

void addStar(ClWidget* pWindow, const char* pExample, i32 iStar, i32 iLevel) {
  ClWidget* pStar = ClUI::getWidget(pExample)->clone();
  setLayoutXY(pStar, static_cast<f32>(iStar) * gc_fSTAR_STEP_X, static_cast<f32>(iLevel) * gc_fSTAR_STEP_Y);
  pStar->setVisible(1);
  pWindow->addDrawnChild(pStar);
}

const SProfileLevelRecord& levelRecord(i32 iChapter, i32 iLevel) {
  KvCheckPointer(g_pPlayerProfileData);
  return g_pPlayerProfileData->m_aLevelRecords[ClProfileMgr::levelRecordIndex(iChapter, iLevel)];
}

// Whether a level entry holds a focus: the selected level's frame marks the focus, so it stands only then.
bool levelEntryHasFocus() {
  const ClWidget* pLevels = ClUI::getWidget("StageSelectLevelName");
  for (i32 i = 0; i < ClUI::mp_iNumFocus; ++i) {
    if (ClUI::mp_aFocus[i].mp_pWidget->mp_pParent == pLevels) {
      return true;
    }
  }
  return false;
}

SStageSelectChapter& selectedChapter() { return g_TEMPdaChapters[g_iSelectedChapter]; }

i32 focusedBoard() { return leaderboardIndexForRun(g_iSelectedGameType, g_iSelectedChapter, g_iSelectedLevel); }

}  // namespace

void stageSelectTerminateChapters() {
  if (!g_TEMPdaChapters.isInitialized()) {
    return;
  }
  for (i32 i = 0; i < g_TEMPdaChapters.getCount(); ++i) {
    g_TEMPdaChapters[i].m_daLevels.terminate();
  }
  g_TEMPdaChapters.terminate();
}

void stageSelectRebuild() {
  g_bStageSelectWorldRecordReceived = 0;
  g_bStageSelectOwnRankReceived = 0;
  const i32 iChapter = g_iSelectedChapter;
  SStageSelectChapter& chapter = selectedChapter();
  ClUI::getWidget("StageSelectChapterText")->setLocalizedTextWithInt("stageselect_chapter", iChapter + 1);
  ClWidget* pStars = ClUI::getWidget("StageSelectStarsWindow");
  pStars->destroyChildren();
  ClWidget* pLocked = ClUI::getWidget("StageSelectLockedChapterImage");
  bool bSelectedLocked = false;
  for (i32 l = 0; l < NUMBER_MAX_OF_LEVELS; ++l) {
    ClWidget* pName = childOf("StageSelectLevelName", l);
    ClWidget* pScore = childOf("StageSelectLevelScore", l);
    if (l >= chapter.m_daLevels.getCount()) {
      show(pName, 0);
      show(pScore, 0);
      continue;
    }
    const SStageSelectLevel& level = chapter.m_daLevels[l];
    show(pName, 1);
    pName->setStageSelectLevelText(iChapter + 1, l + 1);
    i32 iStars = 0;
    if (chapter.m_bUnlocked == 0) {
      show(pLocked, 1);
      g_bStageSelectWorldRecordShown = 0;
      show(pScore, 0);
      applyNameLook(pName, gc_GREY);
    } else {
      show(pLocked, 0);
      if (level.m_bUnlocked == 0) {
        show(pScore, 0);
        applyNameLook(pName, gc_GREY);
      } else if (level.m_bPlayed == 0) {
        applyNameLook(pName, gc_GREEN);
        show(pScore, 0);
        setLocalizedText(pScore, "stageselect_level_score_no");
      } else {
        applyNameLook(pName, gc_WHITE);
        setCurrentColor(pScore, gc_iTEXT_ANIMATOR, gc_uiSCORE_WHITE);
        show(pScore, 1);
        pScore->setLocalizedTextWithInt("stageselect_level_score", level.m_iBestScore);
        iStars = ClLevelMgr::getNumStars(iChapter, l, level.m_iBestScore);
      }
    }
    for (i32 s = 0; s < gc_iSTARS; ++s) {
      addStar(pStars, s < iStars ? "StageSelectStarActiveExample" : "StageSelectStarInactiveExample", s, l);
    }
    if (l != g_iSelectedLevel) {
      continue;
    }
    bSelectedLocked = level.m_bUnlocked == 0;
    if (level.m_bUnlocked != 0 && level.m_bPlayed == 0) {
      setLocalizedText(pScore, "stageselect_level_score_selected");
    }
    setCurrentColor(pName, gc_iBUTTON_TEXT_ANIMATOR, static_cast<u32>(pName->getInt(gc_TEXT_COLOR_ROLLOVER)));
    setCurrentColor(pScore, gc_iTEXT_ANIMATOR, static_cast<u32>(pScore->getInt(gc_TEXT_COLOR_ROLLOVER)));
    ClWidget* pBackground = ClUI::getWidget("StageSelectLevelBackground");
    setLayoutXY(pBackground, layoutWord(pBackground, gc_iLAYOUT_X_WORD),
                layoutWord(pName, gc_iLAYOUT_Y_WORD) + gc_fBACKGROUND_OFFSET_Y);
    // The lock, when shown, stands on the selected level's row beside its stars.
    setLayoutXY(pLocked, layoutWord(pLocked, gc_iLAYOUT_X_WORD),
                layoutWord(pName, gc_iLAYOUT_Y_WORD) + gc_fBACKGROUND_OFFSET_Y);
    if (pBackground->mp_bVisible == 0) {
      pBackground->setVisible(1);  // fires "onBecomeVisible"
    }
    if (chapter.m_bUnlocked != 0 && level.m_bUnlocked != 0 && level.m_bPlayed != 0 && level.m_iWorldRank != 0 &&
        level.m_iWorldRecordScore != 0) {
      g_stageSelectAlternation.start(0.0f, 1.0f, 0.0f, gc_fSTAGE_SELECT_ALTERNATION);
      g_bStageSelectWorldRecordShown = 1;
      ClUI::getWidget("StageSelectWorldRecordText")
          ->setLocalizedTextWithInt("stageselect_level_worldrecord_score", level.m_iWorldRecordScore);
      ClUI::getWidget("StageSelectRankingText")->setLocalizedTextWithInt("stageselect_level_ranking_pos",
                                                                          level.m_iWorldRank);
    } else {
      g_bStageSelectWorldRecordShown = 0;
    }
  }
  if (chapter.m_bUnlocked != 0 && bSelectedLocked) {
    show(pLocked, 1);
  }
}

void stageSelectSelectChapter(i32 iChapter) {
  KV_ASSERT_MSG(iChapter >= 0 && iChapter < g_TEMPdaChapters.getCount(),
                "iChapter >= 0 && iChapter < g_TEMPdaChapters.getCount()");
  g_iSelectedChapter = iChapter;
  // The focus moves (its entry's change-level call runs), the pointer stays where it is.
  setFocusAndSnapPointer(childOf("StageSelectLevelName", 0));
  g_iSelectedLevel = 0;
  stageSelectRebuild();
  g_fStageSelectDelayTimer = 0.0f;
}

void systemStageSelectInitialize(ClWidget*, WidgetEventProcedureCall*) {
  if (g_TEMPdaChapters.isInitialized()) {
    // The levels of the last visit go with their chapters.
    for (i32 i = 0; i < g_TEMPdaChapters.getCount(); ++i) {
      g_TEMPdaChapters[i].m_daLevels.terminate();
    }
    g_TEMPdaChapters.clear();
  } else {
    g_TEMPdaChapters.initialize(8);
  }
  KvCheckPointer(g_pPlayerProfileData);
  const i32 iChapterReached = g_pPlayerProfileData->m_iStoryChapterReached;
  const i32 iLevelReached = g_pPlayerProfileData->m_iStoryLevelReached;
  for (i32 c = 0; c < NUMBER_MAX_OF_CHAPTERS; ++c) {
    SStageSelectChapter* pChapter = g_TEMPdaChapters.appendInPlace();
    pChapter->m_daLevels.initialize(8);
    pChapter->m_bUnlocked = c <= iChapterReached ? 1 : 0;
    for (i32 l = 0; l < NUMBER_MAX_OF_LEVELS; ++l) {
      const SProfileLevelRecord& record = levelRecord(c, l);
      SStageSelectLevel level{};
      level.m_iBestScore = record.m_iBestScore;
      level.m_iReserved = record.m_iReserved;
      level.m_iWorldRecordScore = record.m_iWorldRecordScore;
      level.m_iWorldRank = record.m_iWorldRank;
      level.m_bPlayed = record.m_iBestScore != 0 ? 1 : 0;
      level.m_bUnlocked = c < iChapterReached || (c == iChapterReached && l <= iLevelReached) ? 1 : 0;
      pChapter->m_daLevels.append(level);
    }
  }
  KV_ASSERT_MSG(g_TEMPdaChapters.getCount() > 0, "g_TEMPdaChapters.getCount() > 0");
  stageSelectSelectChapter(g_iSelectedChapter);
}

void systemStageSelectChangeLevel(ClWidget*, WidgetEventProcedureCall* pData) {
  g_iSelectedLevel = getParamInt(pData, 0) - 1;
  stageSelectRebuild();
  g_fStageSelectDelayTimer = 0.0f;
}

void systemStageSelectTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  ClWidget* pRecord = ClUI::getWidget("StageSelectWorldRecordWindow");
  ClWidget* pRanking = ClUI::getWidget("StageSelectRankingWindow");
  if (g_bStageSelectWorldRecordShown != 0) {
    g_stageSelectAlternation.update(ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime);
    if (g_stageSelectAlternation.isIdle()) {
      g_stageSelectAlternation.start(0.0f, 1.0f, 0.0f, gc_fSTAGE_SELECT_ALTERNATION);
      show(pRecord, 1);
      show(pRanking, 0);
    } else {
      const bool bRecord = g_stageSelectAlternation.m_current < 0.5f;
      show(pRecord, bRecord ? 1 : 0);
      show(pRanking, bRecord ? 0 : 1);
    }
  } else {
    show(pRecord, 0);
    show(pRanking, 0);
  }
  if (!isGoingOut(pWidget)) {
    const i32 iChapters = g_TEMPdaChapters.getCount();
    if (justPressed(E_GAME_ACTION_MENU_LEFT)) {
      playUIAcceptSound();
      stageSelectSelectChapter((g_iSelectedChapter + iChapters - 1) % iChapters);
    } else if (justPressed(E_GAME_ACTION_MENU_RIGHT)) {
      playUIAcceptSound();
      stageSelectSelectChapter((g_iSelectedChapter + 1) % iChapters);
    } else if (justPressed(E_GAME_ACTION_MENU_BACK)) {
      playUIAcceptSound();
      ClUI::switchBack();
    } else if (justPressed(E_GAME_ACTION_MENU_ALT2)) {
      playUIAcceptSound();
      g_iLeaderboardIndex = leaderboardIndexForRun(E_GAME_TYPE_STORY, g_iSelectedChapter, g_iSelectedLevel);
      ClUI::switchTo("TopLevelSwitcher", "Leaderboards");
    }
  }
  // The download is asked for once, when the timer reaches the delay.
  if (g_fStageSelectDelayTimer < gc_fSTAGE_SELECT_DOWNLOAD_DELAY) {
    g_fStageSelectDelayTimer += ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;
    if (g_fStageSelectDelayTimer >= gc_fSTAGE_SELECT_DOWNLOAD_DELAY) {
      g_fStageSelectDelayTimer = gc_fSTAGE_SELECT_DOWNLOAD_DELAY;
      // Without the store's leaderboards (the store did not start) there is nobody to ask.
      if (ClScoreLeaderboardMgr::isInitialized()) {
        const i32 iBoard = focusedBoard();
        g_bLeaderboardRequestFromScreens = 1;
        ClScoreLeaderboardMgr::downloadScoresAroundUser(iBoard, 1, 1);
        ClScoreLeaderboardMgr::downloadGlobalScores(iBoard, 0, 1);
        g_bLeaderboardRequestFromScreens = 0;
      }
    }
  }
  // The chapters go with the screen's end, while its transition out still ticks it.
  if (g_TEMPdaChapters.isInitialized() &&
      (g_bStageSelectWorldRecordReceived != 0 || g_bStageSelectOwnRankReceived != 0)) {
    g_bStageSelectWorldRecordReceived = 0;
    g_bStageSelectOwnRankReceived = 0;
    const SProfileLevelRecord& record = levelRecord(g_iSelectedChapter, g_iSelectedLevel);
    SStageSelectLevel& level = selectedChapter().m_daLevels[g_iSelectedLevel];
    level.m_iWorldRecordScore = record.m_iWorldRecordScore;
    level.m_iWorldRank = record.m_iWorldRank;
    stageSelectRebuild();
  }
  // One focus at a time: with Back focused the selected level's frame goes; a level's focus brings it back (its
  // focus rebuilds the screen).
  ClWidget* pFrame = ClUI::getWidget("StageSelectLevelBackground");
  if (pFrame->mp_bVisible != 0 && !levelEntryHasFocus()) {
    show(pFrame, 0);
  }
}

void systemStageSelectTerminate(ClWidget*, WidgetEventProcedureCall*) { stageSelectTerminateChapters(); }

void systemStageSelectBackClick(ClWidget*, WidgetEventProcedureCall*) {
  ClUI::switchTo("TopLevelSwitcher", "MainMenu");
}

void systemStageSelectContinueButtonClick(ClWidget*, WidgetEventProcedureCall*) {
  const SStageSelectChapter& chapter = selectedChapter();
  if (chapter.m_bUnlocked != 0 && chapter.m_daLevels[g_iSelectedLevel].m_bUnlocked != 0) {
    playUIAcceptSound();
    ClUI::switchTo("TopLevelSwitcher", "ChooseEquipement");
  } else {
    playUICancelSound();
  }
}

void systemPickChapterChangeSelectedChapter(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const bool bNumbered = pWidget != nullptr && pWidget->findProperty(gc_CHAPTER_NUMBER.mp_uiHash) != nullptr;
  const i32 iChapter = bNumbered ? pWidget->getInt(gc_CHAPTER_NUMBER) : 1;
  char szName[32];
  std::snprintf(szName, sizeof(szName), "IM-Chapter%d", iChapter);
  ClUI::getWidget("PickChapterChapterImage")->setString(gc_TEXTURE_NAME.mp_uiHash, szName);
}
