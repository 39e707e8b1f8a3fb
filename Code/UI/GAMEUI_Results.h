// The results screen after a story level, a marathon or survivor run or the bonus stage: its initialisation,
// where the run's outcome becomes permanent (final score, raise-only records, story progress, the leaderboard
// upload, the unlock to announce, the profile save, the screen's values and best marks, two achievements), and
// its tick (the player's rank once the upload has completed, leave, retry, continue, leaderboards).
//
// What the screen shows: the block of the run's game type; after the bonus stage the stage's own block (the
// enemies cut down in it) instead of the story's; a story level lost (no living player) says so, without stars,
// next star, rank or continue. The hint line names only the keys that act, and is hidden while an unlock is
// announced over the screen (which then takes no key; the announcement names its own). Coming back from the
// leaderboards it opened, the screen shows the same run again, marks included, and nothing is raised, uploaded or
// saved twice.
//
// Inputs are the run's globals (GAMEWorldLinks.h: game type, chapter, level, score, kills, best streak,
// distance, the player), the survivor wave counter and the root value "CatResults" (1 after the bonus stage).
// Widgets the procedures name must exist in the loaded screens ("Widget [%s] does not exist!!!"). Main thread,
// inside the UI's tick.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

// The run's final score: the score rounded to the nearest multiple of 5 (12.4 gives 10, 12.5 gives 15).
extern i32 g_iRunFinalScore;
// Non-zero when no following story level is open to continue to: the results hide the continue action.
extern i32 g_bNoNextLevel;
// The leaderboard result flags (g_bLeaderboardScoreUploaded, g_bLeaderboardOwnRankStored,
// g_bLeaderboardWorldRecordStored) are the leaderboard listener's; the results initialisation clears them.
// The results tick's own: the rank was asked for, the rank is on screen.
extern i32 g_bResultsRankingRequested;
extern i32 g_bResultsRankingShown;

// Raise-only update: when *piValue is below iCandidate (signed) it takes it and *pbRose is 1, else nothing
// changes and *pbRose is 0. pbRose may be null.
void raiseToMax(i32* piValue, i32 iCandidate, i32* pbRose);
i32 resultsFinalScore(f32 fScore);

void systemResultsInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemResultsTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
