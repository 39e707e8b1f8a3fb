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
// per-level boards (GameTypes::storyIndex after it).
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

// The story's size: its chapters, each of the same number of levels, played in order (the marathons play the same
// levels in the same order). Its levels are counted chapter by chapter (GameTypes::storyIndex): the story's boards,
// the star table and the profile's progress follow that count.
inline constexpr i32 NUMBER_MAX_OF_CHAPTERS = 3;
inline constexpr i32 NUMBER_MAX_OF_LEVELS = 8;  // in each chapter
inline constexpr i32 gc_iSTORY_LEVELS = NUMBER_MAX_OF_CHAPTERS * NUMBER_MAX_OF_LEVELS;
inline constexpr i32 gc_iLAST_STORY_CHAPTER = NUMBER_MAX_OF_CHAPTERS - 1;
inline constexpr i32 gc_iLAST_STORY_LEVEL = NUMBER_MAX_OF_LEVELS - 1;  // the last level of a chapter
// The story's boards are one a level.
static_assert(E_GSSLI_STORY_MODE_LEVEL_3_8 - E_GSSLI_STORY_MODE_LEVEL_1_1 == gc_iSTORY_LEVELS - 1);

// Whose board a board is: the type whose own board it is (-1 for boards no type has) and, for a story board, the
// chapter and level it keeps; 0 and 0 for the others.
struct SBoardOwner {
  i32 m_iType;
  i32 m_iChapter;
  i32 m_iLevel;
};

namespace GameTypes {

// A story level's place in the story, chapter by chapter: 0 for the first level, gc_iSTORY_LEVELS - 1 for the
// last (its chapter is the place / NUMBER_MAX_OF_LEVELS, its level the place % NUMBER_MAX_OF_LEVELS).
constexpr i32 storyIndex(i32 iChapter, i32 iLevel) { return iChapter * NUMBER_MAX_OF_LEVELS + iLevel; }
// The story's last level: the last level of its last chapter.
constexpr bool isLastStoryLevel(i32 iChapter, i32 iLevel) {
  return iChapter == gc_iLAST_STORY_CHAPTER && iLevel == gc_iLAST_STORY_LEVEL;
}

// The family of a type; E_GAME_FAMILY_NONE outside the enumeration.
E_GAME_FAMILY family(i32 iType);
inline bool isStory(i32 iType) { return family(iType) == E_GAME_FAMILY_STORY; }
inline bool isMarathon(i32 iType) { return family(iType) == E_GAME_FAMILY_MARATHON; }
inline bool isSurvivor(i32 iType) { return family(iType) == E_GAME_FAMILY_SURVIVOR; }
// The survivor and daily types: their levels are generated, end when the time runs out and run on real time.
inline bool isTimed(i32 iType) { return isSurvivor(iType) || family(iType) == E_GAME_FAMILY_DAILY; }
// Every type but the daily game keeps a profile record and uploads to a board.
inline bool hasRecord(i32 iType) { return isStory(iType) || isMarathon(iType) || isSurvivor(iType); }
// The board of a type's runs: the story's of the chapter and level, the others' own;
// gc_iNO_LEADERBOARD for the daily game and values outside the enumeration.
i32 board(i32 iType, i32 iChapter, i32 iLevel);
// The owner of a board (SBoardOwner): board's inverse.
SBoardOwner boardOwner(i32 iBoard);
// The text id naming the type on the results; the story's for values outside the enumeration.
const char* modeTextID(i32 iType);

}  // namespace GameTypes
