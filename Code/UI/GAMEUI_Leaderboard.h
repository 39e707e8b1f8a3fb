// The leaderboard screen and the game's leaderboard listener.
//
// The screen ("Leaderboards") shows 13 lines of one of the 31 boards (ClSteamLeaderboardDef.h) in one of three
// views: 0 the global board from a rank, 1 the entries around the player, 2 the player's friends. Up and down
// move the cursor and page by 6; left and right change the board (the cycle skips the two daily boards); the
// leaderboard key (E_GAME_ACTION_MENU_ALT2) changes the view; back and the Back button leave alike, for the screen
// it was opened from (the switch history's: a level's results, a menu). Its lines are filled by the listener,
// which the load mode adds once the UI is loaded: it copies every download into the lines and every upload and
// download into the profile (the board's world rank, world-record score and best score).
//
// Without a store (no user statistics) or with the leaderboard manager off, requests send nothing and the screen
// keeps blank lines. Main thread; the listener runs inside the store manager's per-frame update.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;
struct SLeaderboardListener;
struct LeaderboardEntry_t;

inline constexpr i32 gc_iLB_NUM_LINES = 13;
inline constexpr i32 gc_iLB_PAGE_STEP = 6;
inline constexpr i64 gc_iLB_LAST_FIRST_RANK = 99994;
inline constexpr i32 gc_iLB_NAME_UNITS = 32;
inline constexpr f32 gc_fLB_NAME_BOX_WIDTH = 213.0f;
inline constexpr u32 gc_uiLB_CURSOR_COLOR = 0xFFFFEF40u;
inline constexpr u32 gc_uiLB_LINE_COLOR = 0xFFFFFFFFu;

// One line of the screen. An empty line: valid 0, score 0, the name 32 '-'.
struct SLBEntryLine {
  u32 m_bValid;
  i64 m_iRank;
  i64 m_iScore;
  wchar16 m_auiName[gc_iLB_NAME_UNITS];  // at most 31 units, always terminated
};
static_assert(sizeof(SLBEntryLine) == 88);

enum ELeaderboardView : i32 { E_LB_VIEW_GLOBAL = 0, E_LB_VIEW_AROUND_USER = 1, E_LB_VIEW_FRIENDS = 2, NUM_E_LB_VIEW };

extern SLBEntryLine g_aCommonLBEntryLines[gc_iLB_NUM_LINES];
// The friends' lines of the last friends download (16-byte aligned), null when there are none.
extern SLBEntryLine* g_pCommonLBFriendEntryLines;
extern u32 g_uiNumFriendScoreEntries;
// The store entries of the last global or around-user download, null when there are none.
extern LeaderboardEntry_t* g_pLeaderboardEntries;
extern u32 g_uiNumLeaderboardEntries;

// The board the leaderboard screen opens on (EGameSpecificSteamLeaderboardIndex). The screens that lead to it (the
// marathon and survivor menus' shortcut, stage select, results) choose it.
extern i32 g_iLeaderboardIndex;
// Kept across visits.
extern i32 g_iLeaderboardView;
// Reset at each visit: the global window's first rank (0..99994; its lines show the ranks after it), the first
// friends line shown, the cursor line (0..12), and whether a result arrived since the last request and whether
// the lines have been drawn from it.
extern i64 g_iLeaderboardFirstRank;
extern i64 g_iLeaderboardFriendsOffset;
extern i32 g_iLeaderboardCursorLine;
extern u32 g_bLeaderboardDataReady;
extern u32 g_bLeaderboardLinesShown;
// The listener entry the load mode added (null before that and after shutdownLeaderboardUI).
extern SLeaderboardListener* g_pLeaderboardListener;
// Raised by the listener for the results and stage select screens: an upload finished, a world-record score
// was stored, the player's rank was stored. The results screen clears them before it uploads.
extern u32 g_bLeaderboardScoreUploaded;
extern u32 g_bLeaderboardWorldRecordStored;
extern u32 g_bLeaderboardOwnRankStored;

void systemLeaderboardInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemLeaderboardTick(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemLeaderboardTerminate(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// The Back button's click: the same way out as the back key.
void systemLeaderboardBackClick(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

// The attract loop's leaderboard page: the first lines of the story's first board (rank, name, score) in the
// widgets "AttractLB_rank_%d", "AttractLB_displayName_%d" (names fitted to its "maxWidth") and "AttractLB_score_%d";
// "AttractLeaderboardText" says the board is empty when it came back so. Initialize empties them and asks for the
// lines at the next tick that finds no other download on its way (whose result would fill the same lines); without
// a store the lines stay empty.
inline constexpr i32 gc_iATTRACT_LB_BOARD = 0;  // STORY_MODE_LEVEL_1_1
inline constexpr i32 gc_iATTRACT_LB_LINES = 5;
void systemAttractLeaderboardInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemAttractLeaderboardTick(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

// Registers "systemLeaderboardInitialize", "systemLeaderboardTick", "systemLeaderboardTerminate",
// "systemLeaderboardBackClick", "systemAttractLeaderboardInitialize" and "systemAttractLeaderboardTick".
void registerLeaderboardUIFunctions();

// Switches "TopLevelSwitcher" to "Leaderboards"; true.
bool openLeaderboardScreen();
// The board of a game type's runs (GAMEGameTypes.h): the marathons' and survivor modes' own boards; the story's
// first board for the story (whose boards are by level), the daily game and any other value.
i32 leaderboardIndexForGameType(i32 iGameType);
// The same with the story's board of the chapter (0..2) and level (0..7).
i32 leaderboardIndexForRun(i32 iGameType, i32 iChapter, i32 iLevel);
// The board cycle: the story's boards in order, then marathon, marathon extreme, marathon ultra, survivor and
// survivor hardcore, and round; an index outside it (the daily boards) gives the story's first board.
i32 nextLeaderboardIndex(i32 iIndex);
i32 previousLeaderboardIndex(i32 iIndex);
// The board whose store handle this is, -1 when no found board has it (handle 0 never matches).
i32 leaderboardIndexForHandle(u64 hSteamLeaderboard);

// The profile's record of a board: a story board's level record, a mode's board the record of its game type; any
// other index is ignored. The best score is only raised (strictly greater).
void setBoardWorldRank(i32 iIndex, i32 iRank);
void setBoardWorldRecord(i32 iIndex, i32 iScore);
void raiseBoardBestScore(i32 iIndex, i32 iScore);
// World rank by game type: the story's record of chapter and level, the modes' records; 0 for a type without one.
i32 getWorldRankForGameType(i32 iGameType, i32 iChapter, i32 iLevel);

// Clears the data-ready flag and asks for the lines of the current board: the global window when forced or in
// view 0, 6 entries either side of the player in view 1, the friends in view 2. Nothing is sent while the
// leaderboard manager is off.
void requestLeaderboardDownload(bool bForceGlobal);
// Adds the listener (once); the load mode calls it when the UI is loaded. Null while the manager is off.
SLeaderboardListener* addLeaderboardListener();
// The listener: event 0 upload finished, 1 global entries, 2 entries around the player, 3 friends' entries.
void onLeaderboardDownloaded(SLeaderboardListener* pScoreLeaderboardCallback, void* pUserData);
// Game shutdown: removes the listener and frees the entries and friends' lines.
void shutdownLeaderboardUI();

// The lines' helpers: an empty line; a store persona name (UTF-8; a byte that does not start a valid sequence
// stands for the code point of its value) into at most 31 UTF-16 units, a longer one cut at a character boundary
// and ended with "...".
void resetLeaderboardLine(SLBEntryLine* pLine);
void leaderboardNameFromPersona(const char* pName, wchar16 (&auiName)[gc_iLB_NAME_UNITS]);
