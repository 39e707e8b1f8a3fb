// The game's leaderboards: one row per board, addressed by its index everywhere (requests, the store
// manager's handle cache, the game's screens and profile). Only the store name is read by the engine; the
// other words are kept as the table has them (0, 0, 1, 0, then the index of the following row, 0 on the
// last row).
#pragma once

#include "Corvane/System/KvTypes.h"

// X(enumerator, store name)
#define KV_LEADERBOARD_LIST(X)                                                           \
  X(E_GSSLI_STORY_MODE_LEVEL_1_1, "STORY_MODE_LEVEL_1_1")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_1_2, "STORY_MODE_LEVEL_1_2")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_1_3, "STORY_MODE_LEVEL_1_3")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_1_4, "STORY_MODE_LEVEL_1_4")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_1_5, "STORY_MODE_LEVEL_1_5")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_1_6, "STORY_MODE_LEVEL_1_6")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_1_7, "STORY_MODE_LEVEL_1_7")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_1_8, "STORY_MODE_LEVEL_1_8")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_2_1, "STORY_MODE_LEVEL_2_1")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_2_2, "STORY_MODE_LEVEL_2_2")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_2_3, "STORY_MODE_LEVEL_2_3")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_2_4, "STORY_MODE_LEVEL_2_4")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_2_5, "STORY_MODE_LEVEL_2_5")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_2_6, "STORY_MODE_LEVEL_2_6")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_2_7, "STORY_MODE_LEVEL_2_7")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_2_8, "STORY_MODE_LEVEL_2_8")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_3_1, "STORY_MODE_LEVEL_3_1")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_3_2, "STORY_MODE_LEVEL_3_2")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_3_3, "STORY_MODE_LEVEL_3_3")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_3_4, "STORY_MODE_LEVEL_3_4")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_3_5, "STORY_MODE_LEVEL_3_5")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_3_6, "STORY_MODE_LEVEL_3_6")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_3_7, "STORY_MODE_LEVEL_3_7")                                \
  X(E_GSSLI_STORY_MODE_LEVEL_3_8, "STORY_MODE_LEVEL_3_8")                                \
  X(E_GSSLI_MARATHON_MODE, "MARATHON_MODE")                                              \
  X(E_GSSLI_SURVIVOR_MODE_BASIC, "SURVIVOR_MODE_BASIC")                                  \
  X(E_GSSLI_SURVIVOR_MODE_HARDCORE, "SURVIVOR_MODE_HARDCORE")                            \
  X(E_GSSLI_DAILY_MODE_SCORE, "DAILY_MODE_SCORE")                                        \
  X(E_GSSLI_DAILY_MODE_NUMBER_OF_DAYS, "DAILY_MODE_NUMBER_OF_DAYS")                      \
  X(E_GSSLI_MARATHON_MODE_EXTREME, "MARATHON_MODE_EXTREME")                              \
  X(E_GSSLI_MARATHON_MODE_ULTRA, "MARATHON_MODE_ULTRA")

enum EGameSpecificSteamLeaderboardIndex : i32 {
#define KV_LEADERBOARD_ENUM(name, text) name,
  KV_LEADERBOARD_LIST(KV_LEADERBOARD_ENUM)
#undef KV_LEADERBOARD_ENUM
  NUM_E_GSSLI
};
static_assert(NUM_E_GSSLI == 31);

struct ClSteamLeaderboardDef {
  const char* mp_pName;
  u32 m_uiWord1;
  u32 m_uiWord2;
  u32 m_uiWord3;
  u32 m_uiWord4;
  i32 m_iNextIndex;
};

extern const ClSteamLeaderboardDef g_steamLeaderboardDefs[NUM_E_GSSLI];

// The store name of a board; the index must lie in 0..NUM_E_GSSLI-1 (assertion).
const char* KvGetLeaderboardName(i32 iLeaderboard);
