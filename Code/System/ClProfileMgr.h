// The player's profile: the one block of persistent data the game keeps (story progress, per-level and
// per-mode records, leaderboard ranks, unlock flags, options). It lives in memory for the whole run and is
// stored and loaded whole, byte for byte, as the remote-storage file "USR-DATAs" (GAMEProfileSave.h).
//
// Layout (little-endian, every field a 32-bit signed integer, booleans 0 or 1; offsets from the block start,
// which is also the file start; the data pointer is block + 4, so a data offset is the block offset - 4):
//
//   offset  size  field                              default
//      0      4   version                            22 (written at creation; never compared)
//      4      4   story chapter reached (0..2)       0
//      8      4   story level reached (0..7)         0
//     12   2304   96 SProfileLevelRecord, index chapter * 16 + level (chapters 0..2, levels 0..7 used)
//   2316     32   marathon record
//   2348     32   marathon extreme record
//   2380     32   marathon ultra record
//   2412     24   survivor record
//   2436     24   survivor hardcore record
//   2460     24   reserved
//   2484     52   13 unlock flags (equipment 1-4, chapter 2 and chapter 1 reward seen, marathon, marathon
//                 extreme, marathon ultra, game completed, survivor, survivor hardcore, ultra gib option)
//   2536     48   options: music, effects, master volume (80, 80, 80, percent), CRT effect 1, show crosshair 1,
//                 ultra gib 0, slow motion 1, display width, height and refresh rate (-1, -1, -1: none chosen),
//                 vsync 1, window mode 2 (0 is full screen)
//   2584          end
//
// A loaded file replaces the whole block; nothing but its exact size is checked by the load, and the game's
// start-up brings the words into their ranges (clampToRanges) before any screen reads them. Ownership:
// ClProfileMgr allocates the block (16-byte aligned) at start-up and frees it at shutdown; readers use
// g_pPlayerProfileData. Main thread, except the load thread that fills the block while the pre-load mode waits.
#pragma once

#include <string>

#include <cstddef>

#include "Code/System/GAMEGameTypes.h"
#include "Corvane/System/KvTypes.h"

struct SProfileLevelRecord {
  i32 m_iBestScore;  // 0: never played
  i32 m_iMostKills;
  i32 m_iLongestKillStreak;
  i32 m_iReserved;
  i32 m_iWorldRank;
  i32 m_iWorldRecordScore;
};
static_assert(sizeof(SProfileLevelRecord) == 24);

struct SProfileMarathonRecord {
  i32 m_iBestScore;
  i32 m_iFurthestChapter;
  i32 m_iFurthestLevel;
  i32 m_iMostKills;
  i32 m_iLongestKillStreak;
  i32 m_iLongestDistance;  // whole world units
  i32 m_iWorldRank;
  i32 m_iWorldRecordScore;
};
static_assert(sizeof(SProfileMarathonRecord) == 32);

struct SProfileSurvivorRecord {
  i32 m_iBestScore;
  i32 m_iMostKills;
  i32 m_iLongestKillStreak;
  i32 m_iLongestDistance;
  i32 m_iWorldRank;
  i32 m_iWorldRecordScore;
};
static_assert(sizeof(SProfileSurvivorRecord) == 24);

inline constexpr i32 gc_iPROFILE_VERSION = 22;
// The stored block keeps room for more of the story than it has: 16 record slots a chapter, 96 in all (the story's
// chapters first, the rest stays zero).
inline constexpr i32 gc_iPROFILE_LEVEL_SLOTS_PER_CHAPTER = 16;
inline constexpr i32 gc_iPROFILE_LEVEL_RECORDS = 96;
static_assert(NUMBER_MAX_OF_LEVELS <= gc_iPROFILE_LEVEL_SLOTS_PER_CHAPTER, "a chapter's levels fit its record slots");
static_assert(NUMBER_MAX_OF_CHAPTERS * gc_iPROFILE_LEVEL_SLOTS_PER_CHAPTER <= gc_iPROFILE_LEVEL_RECORDS,
              "the story's chapters fit the level records");

// Everything after the version word.
struct SPlayerProfileData {
  i32 m_iStoryChapterReached;
  i32 m_iStoryLevelReached;
  SProfileLevelRecord m_aLevelRecords[gc_iPROFILE_LEVEL_RECORDS];
  SProfileMarathonRecord m_marathon;
  SProfileMarathonRecord m_marathonExtreme;
  SProfileMarathonRecord m_marathonUltra;
  SProfileSurvivorRecord m_survivor;
  SProfileSurvivorRecord m_survivorHardcore;
  i32 m_aiReserved[6];
  i32 m_bEquipmentUnlock1;
  i32 m_bEquipmentUnlock2;
  i32 m_bEquipmentUnlock3;
  i32 m_bEquipmentUnlock4;
  i32 m_bChapter2RewardSeen;
  i32 m_bChapter1RewardSeen;
  i32 m_bMarathonUnlocked;
  i32 m_bMarathonExtremeUnlocked;
  i32 m_bMarathonUltraUnlocked;
  i32 m_bGameCompleted;
  i32 m_bSurvivorUnlocked;
  i32 m_bSurvivorHardcoreUnlocked;
  i32 m_bUltraGibOptionUnlocked;
  i32 m_iMusicVolume;  // percent
  i32 m_iSoundEffectVolume;
  i32 m_iMasterVolume;
  i32 m_bCRTEffect;
  i32 m_bShowCrosshair;
  i32 m_bUltraGib;
  i32 m_bSlowMotion;
  i32 m_iDisplayWidth;  // -1: none chosen
  i32 m_iDisplayHeight;
  i32 m_iDisplayRefreshRate;
  i32 m_bVSync;
  i32 m_iWindowMode;  // 0: full screen
};

struct SPlayerProfile {
  i32 m_iVersion;
  SPlayerProfileData m_data;
};

inline constexpr u32 gc_uiPLAYER_PROFILE_SIZE = 2584;
static_assert(sizeof(SPlayerProfile) == gc_uiPLAYER_PROFILE_SIZE);
static_assert(sizeof(SPlayerProfileData) == 2580);

// Block offsets of the layout table above.
#define KV_PROFILE_OFFSET(field) (offsetof(SPlayerProfile, m_data) + offsetof(SPlayerProfileData, field))
static_assert(offsetof(SPlayerProfile, m_data) == 4);
static_assert(KV_PROFILE_OFFSET(m_iStoryChapterReached) == 4);
static_assert(KV_PROFILE_OFFSET(m_iStoryLevelReached) == 8);
static_assert(KV_PROFILE_OFFSET(m_aLevelRecords) == 12);
static_assert(KV_PROFILE_OFFSET(m_marathon) == 2316);
static_assert(KV_PROFILE_OFFSET(m_marathonExtreme) == 2348);
static_assert(KV_PROFILE_OFFSET(m_marathonUltra) == 2380);
static_assert(KV_PROFILE_OFFSET(m_survivor) == 2412);
static_assert(KV_PROFILE_OFFSET(m_survivorHardcore) == 2436);
static_assert(KV_PROFILE_OFFSET(m_aiReserved) == 2460);
static_assert(KV_PROFILE_OFFSET(m_bEquipmentUnlock1) == 2484);
static_assert(KV_PROFILE_OFFSET(m_bEquipmentUnlock2) == 2488);
static_assert(KV_PROFILE_OFFSET(m_bEquipmentUnlock3) == 2492);
static_assert(KV_PROFILE_OFFSET(m_bEquipmentUnlock4) == 2496);
static_assert(KV_PROFILE_OFFSET(m_bChapter2RewardSeen) == 2500);
static_assert(KV_PROFILE_OFFSET(m_bChapter1RewardSeen) == 2504);
static_assert(KV_PROFILE_OFFSET(m_bMarathonUnlocked) == 2508);
static_assert(KV_PROFILE_OFFSET(m_bMarathonExtremeUnlocked) == 2512);
static_assert(KV_PROFILE_OFFSET(m_bMarathonUltraUnlocked) == 2516);
static_assert(KV_PROFILE_OFFSET(m_bGameCompleted) == 2520);
static_assert(KV_PROFILE_OFFSET(m_bSurvivorUnlocked) == 2524);
static_assert(KV_PROFILE_OFFSET(m_bSurvivorHardcoreUnlocked) == 2528);
static_assert(KV_PROFILE_OFFSET(m_bUltraGibOptionUnlocked) == 2532);
static_assert(KV_PROFILE_OFFSET(m_iMusicVolume) == 2536);
static_assert(KV_PROFILE_OFFSET(m_iSoundEffectVolume) == 2540);
static_assert(KV_PROFILE_OFFSET(m_iMasterVolume) == 2544);
static_assert(KV_PROFILE_OFFSET(m_bCRTEffect) == 2548);
static_assert(KV_PROFILE_OFFSET(m_bShowCrosshair) == 2552);
static_assert(KV_PROFILE_OFFSET(m_bUltraGib) == 2556);
static_assert(KV_PROFILE_OFFSET(m_bSlowMotion) == 2560);
static_assert(KV_PROFILE_OFFSET(m_iDisplayWidth) == 2564);
static_assert(KV_PROFILE_OFFSET(m_iDisplayHeight) == 2568);
static_assert(KV_PROFILE_OFFSET(m_iDisplayRefreshRate) == 2572);
static_assert(KV_PROFILE_OFFSET(m_bVSync) == 2576);
static_assert(KV_PROFILE_OFFSET(m_iWindowMode) == 2580);
#undef KV_PROFILE_OFFSET

// The block and its data pointer (block + 4); null before initialize and after terminate.
extern SPlayerProfile* mpr_pPlayerProfile;
extern SPlayerProfileData* g_pPlayerProfileData;

class ClProfileMgr {
 public:
  // Once at start-up: allocates the block (assertion "mpr_pPlayerProfile" when the heap refuses), version 22,
  // every data word 0 (no option defaults: those come from a load or a reset).
  static void initialize();
  // Game shutdown: frees the block and clears both pointers.
  static void terminate();
  // Clears the data words (the version word is kept) and sets the option defaults.
  static void resetToDefaults(SPlayerProfile* pProfile);

  // Brings a loaded profile into its ranges: the story progress and the records' stage pairs to a chapter 0-2 and
  // a level 0-7; scores, counts, distances and world-record scores to 0 or more; a world rank below 0 to 0
  // (unknown); volumes 0-100, switches 0 or 1, window mode 0-2, a display size both -1 or both positive, with a
  // refresh rate of -1 or more (else "none chosen"). Answers the names of what changed (a record or the progress
  // named once), comma-separated, "" when all was in range. Only the block in memory changes: the stored file
  // keeps its bytes until the next save.
  static std::string clampToRanges(SPlayerProfileData* pData);
  // Forgets a chosen display size (-1 for width, height and refresh rate); answers whether one was chosen.
  static bool forgetDisplaySize(SPlayerProfileData* pData);

  // The index in m_aLevelRecords of the story level record of a chapter and a level; outside the story's chapters
  // or a chapter's record slots, the assertion "No story level record for chapter %d, level %d".
  static i32 levelRecordIndex(i32 iChapter, i32 iLevel);

  // Per-mode accessors, by game type (E_GAME_TYPE; the story uses the record of chapter and level). A type without
  // a record (the daily game, or any other value) is an assertion naming the mode.
  static i32 getBestScore(i32 iMode, i32 iChapter, i32 iLevel);
  // Stores iScore only when it is greater than the stored best; true when it did.
  static bool raiseBestScore(i32 iMode, i32 iChapter, i32 iLevel, i32 iScore);
  static i32 getWorldRank(i32 iMode, i32 iChapter, i32 iLevel);
  static void setWorldRank(i32 iMode, i32 iChapter, i32 iLevel, i32 iRank);
  static void setWorldRecordScore(i32 iMode, i32 iChapter, i32 iLevel, i32 iScore);

  // Raise-only update of one best/most/longest word (strictly greater, signed); true when it rose.
  static bool raise(i32* piStored, i32 iValue);
  // The marathon stage pair: a later chapter takes both words; otherwise only a higher level is taken.
  static void raiseMarathonStage(SProfileMarathonRecord* pRecord, i32 iChapter, i32 iLevel);
};
