#include "Code/System/ClProfileMgr.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

SPlayerProfile* mpr_pPlayerProfile = nullptr;
SPlayerProfileData* g_pPlayerProfileData = nullptr;

void ClProfileMgr::initialize() {
  mpr_pPlayerProfile = static_cast<SPlayerProfile*>(KvAlignedAlloc(sizeof(SPlayerProfile), 16));
  KV_ASSERT_MSG(mpr_pPlayerProfile != nullptr, "mpr_pPlayerProfile");
  mpr_pPlayerProfile->m_iVersion = gc_iPROFILE_VERSION;
  std::memset(&mpr_pPlayerProfile->m_data, 0, sizeof(SPlayerProfileData));
  g_pPlayerProfileData = &mpr_pPlayerProfile->m_data;
}

void ClProfileMgr::terminate() {
  KvAlignedFree(mpr_pPlayerProfile);
  mpr_pPlayerProfile = nullptr;
  g_pPlayerProfileData = nullptr;
}

void ClProfileMgr::resetToDefaults(SPlayerProfile* pProfile) {
  KV_ASSERT_MSG(pProfile != nullptr, "pProfile");
  SPlayerProfileData& data = pProfile->m_data;
  std::memset(&data, 0, sizeof(data));
  data.m_iMusicVolume = 80;
  data.m_iSoundEffectVolume = 80;
  data.m_iMasterVolume = 80;
  data.m_bCRTEffect = 1;
  data.m_bShowCrosshair = 1;
  data.m_bUltraGib = 0;
  data.m_bSlowMotion = 1;
  data.m_iDisplayWidth = -1;
  data.m_iDisplayHeight = -1;
  data.m_iDisplayRefreshRate = -1;
  data.m_bVSync = 1;
  data.m_iWindowMode = 2;
}

namespace {

// Clamps one value into [iLow, iHigh]; true when it was out of range.
bool intoRange(i32* piValue, i32 iLow, i32 iHigh) {
  if (*piValue >= iLow && *piValue <= iHigh) {
    return false;
  }
  *piValue = *piValue < iLow ? iLow : iHigh;
  return true;
}

// Adds a name to the comma-separated list of what changed.
void noteChanged(bool bChanged, const char* pName, std::string* pChanged) {
  if (bChanged) {
    *pChanged += (pChanged->empty() ? "" : ", ") + std::string(pName);
  }
}

// Scores, counts, distances and world ranks are not below 0 (a rank of 0 is unknown).
bool notBelowZero(std::initializer_list<i32*> words) {
  bool bChanged = false;
  for (i32* piWord : words) {
    bChanged |= intoRange(piWord, 0, INT32_MAX);
  }
  return bChanged;
}

// A record's stage pair: a chapter and a level of the story's stage table.
bool intoStageTable(i32* piChapter, i32* piLevel) {
  return intoRange(piChapter, 0, gc_iLAST_STORY_CHAPTER) | intoRange(piLevel, 0, gc_iLAST_STORY_LEVEL);
}

std::string clampRecords(SPlayerProfileData* pData) {
  std::string changed;
  noteChanged(intoStageTable(&pData->m_iStoryChapterReached, &pData->m_iStoryLevelReached), "story progress",
              &changed);
  bool bLevels = false;
  for (SProfileLevelRecord& r : pData->m_aLevelRecords) {
    bLevels |= notBelowZero({&r.m_iBestScore, &r.m_iMostKills, &r.m_iLongestKillStreak, &r.m_iWorldRank,
                             &r.m_iWorldRecordScore});
  }
  noteChanged(bLevels, "story level records", &changed);
  const struct {
    SProfileMarathonRecord* pRecord;
    const char* pName;
  } aMarathons[] = {{&pData->m_marathon, "marathon record"},
                    {&pData->m_marathonExtreme, "marathon extreme record"},
                    {&pData->m_marathonUltra, "marathon ultra record"}};
  for (const auto& entry : aMarathons) {
    SProfileMarathonRecord& r = *entry.pRecord;
    noteChanged(notBelowZero({&r.m_iBestScore, &r.m_iMostKills, &r.m_iLongestKillStreak, &r.m_iLongestDistance,
                              &r.m_iWorldRank, &r.m_iWorldRecordScore}) |
                    intoStageTable(&r.m_iFurthestChapter, &r.m_iFurthestLevel),
                entry.pName, &changed);
  }
  const struct {
    SProfileSurvivorRecord* pRecord;
    const char* pName;
  } aSurvivors[] = {{&pData->m_survivor, "survivor record"}, {&pData->m_survivorHardcore, "survivor hardcore record"}};
  for (const auto& entry : aSurvivors) {
    SProfileSurvivorRecord& r = *entry.pRecord;
    noteChanged(notBelowZero({&r.m_iBestScore, &r.m_iMostKills, &r.m_iLongestKillStreak, &r.m_iLongestDistance,
                              &r.m_iWorldRank, &r.m_iWorldRecordScore}),
                entry.pName, &changed);
  }
  return changed;
}

}  // namespace

std::string ClProfileMgr::clampToRanges(SPlayerProfileData* pData) {
  KV_ASSERT_MSG(pData != nullptr, "pData");
  std::string changed = clampRecords(pData);
  const struct {
    i32* piValue;
    const char* pName;
  } aVolumes[] = {{&pData->m_iMusicVolume, "music volume"},
                  {&pData->m_iSoundEffectVolume, "sound effect volume"},
                  {&pData->m_iMasterVolume, "master volume"}},
    aSwitches[] = {{&pData->m_bEquipmentUnlock1, "equipment unlock 1"},
                   {&pData->m_bEquipmentUnlock2, "equipment unlock 2"},
                   {&pData->m_bEquipmentUnlock3, "equipment unlock 3"},
                   {&pData->m_bEquipmentUnlock4, "equipment unlock 4"},
                   {&pData->m_bChapter2RewardSeen, "chapter 2 reward seen"},
                   {&pData->m_bChapter1RewardSeen, "chapter 1 reward seen"},
                   {&pData->m_bMarathonUnlocked, "marathon unlocked"},
                   {&pData->m_bMarathonExtremeUnlocked, "marathon extreme unlocked"},
                   {&pData->m_bMarathonUltraUnlocked, "marathon ultra unlocked"},
                   {&pData->m_bGameCompleted, "game completed"},
                   {&pData->m_bSurvivorUnlocked, "survivor unlocked"},
                   {&pData->m_bSurvivorHardcoreUnlocked, "survivor hardcore unlocked"},
                   {&pData->m_bUltraGibOptionUnlocked, "ultra gib option unlocked"},
                   {&pData->m_bCRTEffect, "CRT effect"},
                   {&pData->m_bShowCrosshair, "crosshair"},
                   {&pData->m_bUltraGib, "ultra gib"},
                   {&pData->m_bSlowMotion, "slow motion"},
                   {&pData->m_bVSync, "vertical sync"}};
  for (const auto& volume : aVolumes) noteChanged(intoRange(volume.piValue, 0, 100), volume.pName, &changed);
  for (const auto& entry : aSwitches) noteChanged(intoRange(entry.piValue, 0, 1), entry.pName, &changed);
  noteChanged(intoRange(&pData->m_iWindowMode, 0, 2), "window mode", &changed);
  const bool bNone = pData->m_iDisplayWidth == -1 && pData->m_iDisplayHeight == -1;
  const bool bSize = pData->m_iDisplayWidth > 0 && pData->m_iDisplayHeight > 0;
  if ((!bNone && !bSize) || pData->m_iDisplayRefreshRate < -1) {
    forgetDisplaySize(pData);
    noteChanged(true, "resolution", &changed);
  }
  return changed;
}

bool ClProfileMgr::forgetDisplaySize(SPlayerProfileData* pData) {
  const bool bChosen = pData->m_iDisplayHeight != -1 || pData->m_iDisplayWidth != -1;
  pData->m_iDisplayWidth = -1;
  pData->m_iDisplayHeight = -1;
  pData->m_iDisplayRefreshRate = -1;
  return bChosen;
}

bool ClProfileMgr::raise(i32* piStored, i32 iValue) {
  if (iValue > *piStored) {
    *piStored = iValue;
    return true;
  }
  return false;
}

void ClProfileMgr::raiseMarathonStage(SProfileMarathonRecord* pRecord, i32 iChapter, i32 iLevel) {
  if (iChapter > pRecord->m_iFurthestChapter) {
    pRecord->m_iFurthestChapter = iChapter;
    pRecord->m_iFurthestLevel = iLevel;
  } else {
    raise(&pRecord->m_iFurthestLevel, iLevel);
  }
}

namespace {

// The three words the per-mode accessors share, of the record of a mode.
struct SModeWords {
  i32* piBest;
  i32* piWorldRank;
  i32* piWorldRecord;
};

SModeWords modeWords(i32 iMode, i32 iChapter, i32 iLevel) {
  KV_ASSERT_MSG(g_pPlayerProfileData != nullptr, "pProfile");
  SPlayerProfileData& data = *g_pPlayerProfileData;
  const auto marathon = [](SProfileMarathonRecord& r) {
    return SModeWords{&r.m_iBestScore, &r.m_iWorldRank, &r.m_iWorldRecordScore};
  };
  const auto survivor = [](SProfileSurvivorRecord& r) {
    return SModeWords{&r.m_iBestScore, &r.m_iWorldRank, &r.m_iWorldRecordScore};
  };
  switch (iMode) {
    case E_GAME_TYPE_STORY: {
      SProfileLevelRecord& r = data.m_aLevelRecords[ClProfileMgr::levelRecordIndex(iChapter, iLevel)];
      return {&r.m_iBestScore, &r.m_iWorldRank, &r.m_iWorldRecordScore};
    }
    case E_GAME_TYPE_MARATHON:
      return marathon(data.m_marathon);
    case E_GAME_TYPE_MARATHON_EXTREME:
      return marathon(data.m_marathonExtreme);
    case E_GAME_TYPE_MARATHON_ULTRA:
      return marathon(data.m_marathonUltra);
    case E_GAME_TYPE_SURVIVOR:
      return survivor(data.m_survivor);
    case E_GAME_TYPE_SURVIVOR_HARDCORE:
      return survivor(data.m_survivorHardcore);
    default:
      KvReportF(E_KV_REPORT_ASSERTION, __FILE__, __LINE__, "UNSUPPORTED GAME MODE %d: it has no profile record",
                iMode);
  }
}

}  // namespace

i32 ClProfileMgr::levelRecordIndex(i32 iChapter, i32 iLevel) {
  KV_ASSERTF(iChapter >= 0 && iChapter < NUMBER_MAX_OF_CHAPTERS && iLevel >= 0 &&
                 iLevel < gc_iPROFILE_LEVEL_SLOTS_PER_CHAPTER,
             "No story level record for chapter %d, level %d", iChapter, iLevel);
  return iChapter * gc_iPROFILE_LEVEL_SLOTS_PER_CHAPTER + iLevel;
}

i32 ClProfileMgr::getBestScore(i32 iMode, i32 iChapter, i32 iLevel) {
  return *modeWords(iMode, iChapter, iLevel).piBest;
}
bool ClProfileMgr::raiseBestScore(i32 iMode, i32 iChapter, i32 iLevel, i32 iScore) {
  return raise(modeWords(iMode, iChapter, iLevel).piBest, iScore);
}
i32 ClProfileMgr::getWorldRank(i32 iMode, i32 iChapter, i32 iLevel) {
  return *modeWords(iMode, iChapter, iLevel).piWorldRank;
}
void ClProfileMgr::setWorldRank(i32 iMode, i32 iChapter, i32 iLevel, i32 iRank) {
  *modeWords(iMode, iChapter, iLevel).piWorldRank = iRank;
}
void ClProfileMgr::setWorldRecordScore(i32 iMode, i32 iChapter, i32 iLevel, i32 iScore) {
  *modeWords(iMode, iChapter, iLevel).piWorldRecord = iScore;
}
