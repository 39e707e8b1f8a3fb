// The stage select screen: the story's chapters and their levels, from the profile's progress and
// level records. Per level it shows the name (grey locked, green open but not played, white played), the best
// score and five stars; for the focused level the world record and the player's world rank, alternating every
// second while both are known. Left and right page through the chapters with wrap-round, back leaves, the
// leaderboard key (E_GAME_ACTION_MENU_ALT2) opens the leaderboard of the focused level; a level entry's click
// goes on to the equipment screen when the chapter and the level are open. Three seconds after a level gains focus
// the store is asked once for its board's entries around the player and its top entry.
//
// The chosen chapter and level are the gameplay's g_iSelectedChapter and g_iSelectedLevel: the chapter survives
// leaving the screen, the level starts at 0 whenever a chapter is selected.
//
// Also here: the pick-chapter screen's chapter picture ("IM-Chapter<n>"). Main thread, inside the UI's tick.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Camera/ClInterpolator.h"
#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

struct SStageSelectLevel {
  i32 m_iBestScore;
  i32 m_iReserved;  // the level record's reserved word, carried along
  i32 m_iWorldRecordScore;
  i32 m_iWorldRank;
  i32 m_bPlayed;
  i32 m_bUnlocked;
};

struct SStageSelectChapter {
  ClDynamicVector<SStageSelectLevel> m_daLevels;
  i32 m_bUnlocked = 0;
};

// Seconds a level keeps the focus before its scores are asked for.
inline constexpr f32 gc_fSTAGE_SELECT_DOWNLOAD_DELAY = 3.0f;
// Seconds of one full world-record / ranking alternation.
inline constexpr f32 gc_fSTAGE_SELECT_ALTERNATION = 2.0f;

// The screen's chapters; initialised by the first visit, terminated by the game's shutdown.
extern ClDynamicVector<SStageSelectChapter> g_TEMPdaChapters;
// Seconds since the focused level gained focus, held at the delay once reached.
extern f32 g_fStageSelectDelayTimer;
// The focused level's world record and rank are shown (they alternate).
extern i32 g_bStageSelectWorldRecordShown;
extern ClInterpolator<f32> g_stageSelectAlternation;
// Raised by the game's leaderboard listener when it has stored the focused board's world record or the player's
// rank into the profile: the screen copies them into its level entry and rebuilds.
extern i32 g_bStageSelectWorldRecordReceived;
extern i32 g_bStageSelectOwnRankReceived;
// Raised around the score requests the screens make, so the listener knows whose answer it is.
extern i32 g_bLeaderboardRequestFromScreens;

// Selects a chapter (assertion when out of range): focus to its first level, level 0, rebuilt, delay restarted.
void stageSelectSelectChapter(i32 iChapter);
// Rewrites every level entry of the selected chapter from the chapter entries.
void stageSelectRebuild();
// Terminates each chapter's level vector, then the chapter vector; nothing when never initialised.
void stageSelectTerminateChapters();

void systemStageSelectInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemStageSelectTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
// INT parameter 0: the focused level, counted from 1.
void systemStageSelectChangeLevel(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemStageSelectTerminate(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemStageSelectBackClick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemStageSelectContinueButtonClick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
// The calling widget's INT "ChapterNumber" (1 when missing) names the picture "IM-Chapter<n>" that
// PickChapterChapterImage shows.
void systemPickChapterChangeSelectedChapter(ClWidget* pWidget, WidgetEventProcedureCall* pData);
