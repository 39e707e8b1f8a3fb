// The spawn manager: turns a level into entities.
//
// A level is a list of spawn rows (a distance step, a lane, an entity name, a star group). A story level's rows
// are its "Spawns" array in the data script "Levels"; an endless level (survivor waves, the daily level) is
// assembled from the "pattern" sections of the story levels, picked at random without repeats, a star pattern
// only once enough plain distance has passed (g_fStarCooldown), each pattern mirrored across the lanes at random.
// Each frame tick creates the rows the camera has passed, 484 units ahead of the camera, as enemies, star
// enemies, crates or pickups, appended to g_entityList.
//
// "Spawns" rows: [distance FLOAT, lane INT 0-2, name STRING or HASH_ID, tags...]; the tags read are "star" and
// "star_end" (exact): "star" rows and the "star_end" row that follows them form one star group, numbered in the
// order of the "star_end" rows. A row whose first element is a HASH_ID is a marker: #pattern opens a pattern
// for endless levels, any other marker ends one; story play skips markers. A "Spawns" array that breaks these
// rules is refused with one line naming the level, the row and the fault; its level then has no rows (story) or
// gives no patterns (endless).
//
// It also holds the star groups' counters (g_aiStarGroupCounts: star enemies still standing per group) and the
// limited cue player, which plays a cue only when it was not started within the last 1.0 s (3 slots, system
// clock). Free functions over globals, main thread only.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/ClListPickerNoRepeat.h"
#include "Corvane/ADT/String.h"
#include "Corvane/System/KvTypes.h"

class ClDScriptData2;
class ClEntityPickup;

struct SSpawnRow {
  SSpawnRow() = default;
  SSpawnRow(f32 fDistance, i32 iLane, const char* pName, i32 iStarGroup)
      : m_fDistance(fDistance), m_iLane(iLane), m_name(pName), m_iStarGroup(iStarGroup) {}

  f32 m_fDistance = 0.0f;  // from the previous row's position, world units
  i32 m_iLane = 0;
  String m_name;
  i32 m_iStarGroup = -1;  // index into g_aiStarGroupCounts, -1 for rows that are not star enemies
};

struct SSpawnPattern {
  const ClDScriptData2* mp_pSpawns = nullptr;
  i32 m_iFirstSpawn = 0;
  i32 mp_iNumberOfSpawns = 0;
  i32 m_iChapter = 0;
  i32 m_iLevel = 0;
  i32 m_bHasStar = 0;
  f32 m_fDistance = 0.0f;  // the sum of its rows' distance steps
};

inline constexpr f32 gc_fSPAWN_AHEAD = 484.0f;
inline constexpr i32 gc_iLIMITED_CUE_SLOTS = 3;
// Endless generation stops with a report past this many rows (patterns that cover almost no distance).
inline constexpr i32 gc_iMAX_ENDLESS_ROWS = 100000;

extern ClDynamicVector<SSpawnRow> g_spawnRows;
extern i32 g_iNextSpawnRow;
extern f32 g_fSpawnBase;     // position of the last created row (plus survivor crate pushes)
extern f32 g_fLevelLength;   // sum of a story level's distance steps (the HUD's progress); 0 for endless levels
extern ClDynamicVector<i32> g_aiStarGroupCounts;
extern ClDynamicVector<SSpawnPattern> g_spawnPatterns;
extern ClListPickerNoRepeat<i32> g_patternPicker;
extern u32 g_auiLimitedCueHashes[gc_iLIMITED_CUE_SLOTS];
extern f32 g_afLimitedCueTimes[gc_iLIMITED_CUE_SLOTS];

class ClSpawnMgr {
 public:
  // Empty rows, groups and patterns; the picker ready; the cue slots free.
  static void initialize();
  // The rows of a story level's "Spawns" array. False, with the line printed, when the array is refused.
  static bool loadLevelSpawns(const ClDScriptData2* pSpawns);
  // An endless level from the patterns of the loaded "Levels" (ClDScriptMgr2), or of pLevels when given.
  static void generateEndlessSpawns(const ClDScriptData2* pLevels = nullptr);
  static void tick();
  static void terminate();

  // Creators at (x, 0, 0) in the lane, appended to g_entityList. A type or pickup the game does not know is
  // reported and not created (null).
  static void spawnEnemy(i32 iLane, const char* pName, f32 fX);
  // "<crate type>_<pickup>": the crate releases that pickup; without "_" it chooses its own.
  static void spawnCrate(i32 iLane, const char* pName, f32 fX);
  static void spawnStarEnemy(i32 iLane, const char* pName, i32 iStarGroup, f32 fX);
  static ClEntityPickup* spawnPickup(i32 iLane, const char* pName, f32 fX);

  // Plays the cue unless it was started within the last 1.0 s; the first slot whose time ran out takes it.
  static void playLimitedCue(u32 uiCueNameHash);

  // Checks one "Spawns" array (named pLevelName in messages). True when every row can be read.
  static bool checkSpawns(const ClDScriptData2* pSpawns, const char* pLevelName, String* pError);
};
