// The game's store data as the local store serves it: app id, language, user, friends, achievements,
// leaderboards and statistics, read from an INI text file ("store.ini" in the store folder, or the file named
// by GRINDLOW_STORE_CONFIG). Without a file the defaults below apply, so a fresh machine runs.
//
//   ; comments start with ';' or '#'; blank lines are ignored; spaces around names and values are trimmed
//   [app]
//   id = 24680                  ; application number, 1..16777215
//   language = english          ; GetCurrentGameLanguage (GRINDLOW_STORE_LANGUAGE overrides it)
//   create_boards_on_find = 1   ; a leaderboard not listed is created by its first find (0: not found)
//   [user]
//   id = 1000                   ; the local user's 64-bit id, not 0
//   name = Player
//   [friends]
//   1001 = Alice                ; one friend per line: id = persona name
//   [players]
//   2001 = Zed                  ; other players the store knows by name (not friends): id = persona name
//   [scores MARATHON_MODE]      ; scores of other players on one leaderboard, uploaded with keep-best at
//   2001 = 125000               ; every start (a seeded store shows names on its boards): id = score
//   [leaderboards]
//   board = MARATHON_MODE       ; one line per leaderboard, names of 1..128 bytes
//   [stats]
//   KILLS = int                 ; statistics: name = int | float
//   [achievement BOW_TO_ME]     ; one section per achievement, by API name (1..127 bytes)
//   name = Bow to me            ; display name
//   desc = Earn every star      ; description
//   hidden = 0                  ; 0 or 1
//
// A line that does not fit is an error naming the file and the line; the store then does not start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Store/StoreApi.h"

enum class EStoreStatType { Int, Float };

struct StoreStatDef {
  std::string name;
  EStoreStatType eType;
};

struct StoreAchievementDef {
  std::string apiName;
  std::string displayName;
  std::string description;
  bool bHidden = false;
};

struct StoreFriend {
  std::uint64_t ulId;
  std::string name;
};

struct StoreSeedScore {
  std::string board;
  std::uint64_t ulUser;
  std::int32_t iScore;
};

struct StoreConfig {
  AppId_t appId = 24680;
  std::string language = "english";
  bool bCreateBoardsOnFind = true;
  std::uint64_t ulUserId = 1000;
  std::string userName = "Player";
  std::vector<StoreFriend> friends;
  std::vector<StoreFriend> players;
  std::vector<StoreSeedScore> seedScores;
  std::vector<std::string> leaderboards;
  std::vector<StoreStatDef> stats;
  std::vector<StoreAchievementDef> achievements;
};

inline constexpr std::size_t gc_uiSTORE_MAX_BOARD_NAME = 128;
inline constexpr std::size_t gc_uiSTORE_MAX_ACHIEVEMENT_NAME = 127;

// Parses configuration text over the defaults already in *pConfig. False with "file:line: what" in pError.
bool StoreParseConfig(const std::string& text, const std::string& fileName, StoreConfig* pConfig,
                      std::string* pError);
// The most a configuration file may hold: a few hundred lines of text.
inline constexpr std::size_t gc_uiSTORE_MAX_CONFIG_BYTES = std::size_t(1) << 20;

// Reads and parses a file. An optional file that does not exist leaves the configuration as it is. False with a
// message naming the file and why when it cannot be read: not there (unless optional), not a regular file (a folder,
// a symlink loop, a pipe or a device is never read, nor waited on), larger than gc_uiSTORE_MAX_CONFIG_BYTES; or when
// it does not parse.
bool StoreLoadConfig(const std::string& path, bool bOptional, StoreConfig* pConfig, std::string* pError);
