// The kinds of play the player chooses (the game type): the story, three marathons, two survivor modes and the
// daily game. The numbers are the ones the screens' data writes into the root value "_mode_selected" and the
// profile's per-mode records answer to; every other fact about a type (its family, its leaderboard, the text that
// names it on the results) comes from one list here, so a new type is one row. Values held in i32 variables (a
// root value, a mode field) may be outside the enumeration: every query answers such a value as a type without
// family, board or record. Constant data; any thread.
#pragma once

#include "Corvane/Store/ClSteamLeaderboardDef.h"
#include "Corvane/System/KvTypes.h"

// What a type plays like: the story's levels, the marathons' levels played on without a break, the survivor's
// timed waves, the daily game's timed day. The survivor and daily families run against the clock.
enum E_GAME_FAMILY : i32 {
  E_GAME_FAMILY_NONE = 0,
  E_GAME_FAMILY_STORY,
  E_GAME_FAMILY_MARATHON,
  E_GAME_FAMILY_SURVIVOR,
  E_GAME_FAMILY_DAILY,
};

// A type without a board of its own (the daily game uploads nothing).
inline constexpr i32 gc_iNO_LEADERBOARD = -1;

// X(enumerator, value, family, board, text naming the type on the results). The story's board is the first of its
// per-level boards (chapter x 8 + level after it).
#define GAME_TYPE_LIST(X)                                                                                         \
  X(E_GAME_TYPE_STORY, 0, E_GAME_FAMILY_STORY, E_GSSLI_STORY_MODE_LEVEL_1_1, "mainmenu_storymode")                  \
  X(E_GAME_TYPE_MARATHON, 1, E_GAME_FAMILY_MARATHON, E_GSSLI_MARATHON_MODE, "mainmenu_marathonmode")                \
  X(E_GAME_TYPE_MARATHON_EXTREME, 2, E_GAME_FAMILY_MARATHON, E_GSSLI_MARATHON_MODE_EXTREME, "mainmenu_marathonmode") \
  X(E_GAME_TYPE_SURVIVOR, 3, E_GAME_FAMILY_SURVIVOR, E_GSSLI_SURVIVOR_MODE_BASIC, "mainmenu_survivormode")           \
  X(E_GAME_TYPE_SURVIVOR_HARDCORE, 4, E_GAME_FAMILY_SURVIVOR, E_GSSLI_SURVIVOR_MODE_HARDCORE,                        \
    "mainmenu_survivormodeextreme")                                                                                \
  X(E_GAME_TYPE_DAILY, 5, E_GAME_FAMILY_DAILY, gc_iNO_LEADERBOARD, "mainmenu_weeklymode")                          \
  X(E_GAME_TYPE_MARATHON_ULTRA, 6, E_GAME_FAMILY_MARATHON, E_GSSLI_MARATHON_MODE_ULTRA, "mainmenu_marathonmode")

enum E_GAME_TYPE : i32 {
#define GAME_TYPE_ENUM(name, value, family, board, text) name = value,
  GAME_TYPE_LIST(GAME_TYPE_ENUM)
#undef GAME_TYPE_ENUM
  NUM_E_GAME_TYPE
};

// The story's boards are one row a level, chapter by chapter.
inline constexpr i32 gc_iSTORY_BOARD_CHAPTERS = 3;
inline constexpr i32 gc_iSTORY_BOARD_LEVELS = 8;
inline constexpr i32 gc_iSTORY_BOARDS = gc_iSTORY_BOARD_CHAPTERS * gc_iSTORY_BOARD_LEVELS;
static_assert(E_GSSLI_STORY_MODE_LEVEL_3_8 - E_GSSLI_STORY_MODE_LEVEL_1_1 == gc_iSTORY_BOARDS - 1);

// Whose board a board is: the type whose own board it is (-1 for boards no type has) and, for a story board, the
// chapter (0..2) and level (0..7) it keeps; 0 and 0 for the others.
struct SBoardOwner {
  i32 m_iType;
  i32 m_iChapter;
  i32 m_iLevel;
};

namespace GameTypes {

// The family of a type; E_GAME_FAMILY_NONE outside the enumeration.
E_GAME_FAMILY family(i32 iType);
inline bool isStory(i32 iType) { return family(iType) == E_GAME_FAMILY_STORY; }
inline bool isMarathon(i32 iType) { return family(iType) == E_GAME_FAMILY_MARATHON; }
inline bool isSurvivor(i32 iType) { return family(iType) == E_GAME_FAMILY_SURVIVOR; }
// The survivor and daily types: their levels are generated, end when the time runs out and run on real time.
inline bool isTimed(i32 iType) { return isSurvivor(iType) || family(iType) == E_GAME_FAMILY_DAILY; }
// Every type but the daily game keeps a profile record and uploads to a board.
inline bool hasRecord(i32 iType) { return isStory(iType) || isMarathon(iType) || isSurvivor(iType); }
// The board of a type's runs: the story's of the chapter (0..2) and level (0..7), the others' own;
// gc_iNO_LEADERBOARD for the daily game and values outside the enumeration.
i32 board(i32 iType, i32 iChapter, i32 iLevel);
// The owner of a board (SBoardOwner): board's inverse.
SBoardOwner boardOwner(i32 iBoard);
// The text id naming the type on the results; the story's for values outside the enumeration.
const char* modeTextID(i32 iType);

}  // namespace GameTypes
