#include "Corvane/Audio/ClSoundBank.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Audio/KvAudioImage.h"
#include "Corvane/Memory/KvAlloc.h"

namespace {

bool finite(f32 fValue) { return std::isfinite(fValue); }

bool finiteAll(const f32* pValues, i32 iCount) {
  for (i32 i = 0; i < iCount; ++i) {
    if (!finite(pValues[i])) {
      return false;
    }
  }
  return true;
}

// A source name: terminated within its 64 characters, not empty, staying below "Audio/".
const char* sourceNameProblem(const char* pName) {
  const void* pEnd = std::memchr(pName, '\0', gc_iCUE_SOURCE_NAME_LEN);
  if (pEnd == nullptr) {
    return "is not terminated within 64 characters";
  }
  if (pName[0] == '\0') {
    return "is empty";
  }
  if (pName[0] == '\\' || pName[0] == '/' || std::strstr(pName, "..") != nullptr || std::strchr(pName, ':') != nullptr) {
    return "leaves the Audio folder";
  }
  return nullptr;
}

// The checks of one cue; false with the problem written.
bool checkCue(const SPrerenderedCue& cue, u64 uiRoomAfter, char* pProblem, u32 uiSize) {
  if (cue.m_i3D != 0) {
    KvSNPrintf(pProblem, uiSize, "is a 3-D cue, which this engine cannot load");
    return false;
  }
  if (cue.m_iNumSources < 1 || cue.m_iNumSources > gc_iMAX_CUE_SOURCES) {
    KvSNPrintf(pProblem, uiSize, "has %d sources (1 to %d)", cue.m_iNumSources, gc_iMAX_CUE_SOURCES);
    return false;
  }
  f64 dWeights = 0.0;
  for (i32 i = 0; i < cue.m_iNumSources; ++i) {
    if (const char* pWhat = sourceNameProblem(cue.m_aszSourceNames[i])) {
      KvSNPrintf(pProblem, uiSize, "source %d: the name %s", i, pWhat);
      return false;
    }
    if (!finite(cue.m_afWeights[i]) || !finite(cue.m_afLengths[i]) || !finite(cue.m_afDefaultFrequencies[i])) {
      KvSNPrintf(pProblem, uiSize, "source %d: weight, length or frequency is not a number", i);
      return false;
    }
    if (cue.m_afWeights[i] < 0.0f) {
      KvSNPrintf(pProblem, uiSize, "source %d: negative weight", i);
      return false;
    }
    dWeights += cue.m_afWeights[i];
  }
  if (cue.m_iNumSources > 1 && std::fabs(dWeights - 1.0) > 0.001) {
    KvSNPrintf(pProblem, uiSize, "source weights add up to %.4f, not 1", dWeights);
    return false;
  }
  const f32 afValues[] = {cue.m_fVolume, cue.m_fVolumeMin, cue.m_fVolumeMax, cue.m_fPitch, cue.m_fPitchMin,
                          cue.m_fPitchMax, cue.m_fPan,       cue.m_fPanMin,    cue.m_fPanMax};
  if (!finiteAll(afValues, static_cast<i32>(sizeof(afValues) / sizeof(afValues[0])))) {
    KvSNPrintf(pProblem, uiSize, "volume, pitch or pan is not a number");
    return false;
  }
  if (cue.m_iNumCategories < 0 || cue.m_iNumCategories > gc_iMAX_CUE_CATEGORIES) {
    KvSNPrintf(pProblem, uiSize, "has %d categories (0 to %d)", cue.m_iNumCategories, gc_iMAX_CUE_CATEGORIES);
    return false;
  }
  if (cue.mpr_iNumberDuckingCategories < 0 || cue.mpr_iNumberDuckingCategories > gc_iMAX_DUCKING_GROUPS) {
    KvSNPrintf(pProblem, uiSize, "has %d ducking groups (0 to %d)", cue.mpr_iNumberDuckingCategories,
               gc_iMAX_DUCKING_GROUPS);
    return false;
  }
  for (i32 i = 0; i < cue.mpr_iNumberDuckingCategories; ++i) {
    const SDuckingCategoryGroup& group = cue.mp_aDuckingCategoryGroups[i];
    const f32 afTimes[] = {group.mp_fVolumeToDuckTo, group.m_fFadeInTime, group.m_fFadeOutTime, group.m_fHoldTime};
    if (group.m_iCategory < 0 || group.m_iCategory >= MAX_NUMBER_CATEGORIES || !finiteAll(afTimes, 4) ||
        group.m_fFadeInTime < 0.0f || group.m_fFadeOutTime < 0.0f) {
      KvSNPrintf(pProblem, uiSize, "ducking group %d: category outside 0..9 or a bad time", i);
      return false;
    }
    // The fades run from 1.0 down to this level and back: a level above 1 or below 0 is no ducking.
    if (group.mp_fVolumeToDuckTo < 0.0f || group.mp_fVolumeToDuckTo > 1.0f) {
      KvSNPrintf(pProblem, uiSize, "ducking group %d: the level to duck to (%g) lies outside 0..1", i,
                 static_cast<double>(group.mp_fVolumeToDuckTo));
      return false;
    }
  }
  if (cue.m_iNumMultichannelConfigs < 0 || cue.m_iNumMultichannelConfigs > gc_iMAX_MULTICHANNEL_CONFIGS) {
    KvSNPrintf(pProblem, uiSize, "has %d multichannel configurations (0 to %d)", cue.m_iNumMultichannelConfigs,
               gc_iMAX_MULTICHANNEL_CONFIGS);
    return false;
  }
  if (static_cast<u64>(cue.m_iNumMultichannelConfigs) * sizeof(SMultichannelConfig) > uiRoomAfter) {
    KvSNPrintf(pProblem, uiSize, "multichannel configurations run past the end of the file");
    return false;
  }
  for (i32 i = 0; i < cue.m_iNumMultichannelConfigs; ++i) {
    const SMultichannelConfig& config = *ClSoundBank::multichannelConfig(&cue, i);
    const f32 afLevels[] = {config.m_fLevel, config.m_fLevelMin, config.m_fLevelMax};
    // Every configuration's level is read at channel A, whatever its type; only type 1 uses channel B, and
    // other types count no channel in the mix.
    const bool bChannels = config.m_iChannelA >= 0 && config.m_iChannelA < MAX_NUM_MULTICHANNEL_CHANNELS &&
                           (config.m_iType != 1 ||
                            (config.m_iChannelB >= 0 && config.m_iChannelB < MAX_NUM_MULTICHANNEL_CHANNELS));
    if (!bChannels || !finiteAll(afLevels, 3) || config.m_iNumCategories < 0 ||
        config.m_iNumCategories > gc_iMAX_CUE_CATEGORIES) {
      KvSNPrintf(pProblem, uiSize, "multichannel configuration %d: bad channel, level or category count", i);
      return false;
    }
  }
  return true;
}

// The index entries as (cue data offset << 32 | entry index), sorted: entries of one cue data side by side, in
// index order. Null when no memory is left; the caller frees it (KvAlignedFree).
u64* sortedCueOffsets(const u8* pImage) {
  const i32 iCount = ClSoundBank::header(pImage)->m_iNumEntries;
  u64* pKeys = static_cast<u64*>(KvAlignedAlloc(sizeof(u64) * static_cast<size_t>(std::max(iCount, 1)), 16));
  if (pKeys == nullptr) {
    return nullptr;
  }
  for (i32 i = 0; i < iCount; ++i) {
    pKeys[i] = static_cast<u64>(ClSoundBank::entry(pImage, i)->mp_pPrerenderedCue) << 32 | static_cast<u32>(i);
  }
  std::sort(pKeys, pKeys + iCount);
  return pKeys;
}

}  // namespace

bool ClSoundBank::firstEntriesOfCues(const u8* pImage, i32* piFirst) {
  u64* pKeys = sortedCueOffsets(pImage);
  if (pKeys == nullptr) {
    return false;
  }
  const i32 iCount = header(pImage)->m_iNumEntries;
  i32 iFirst = 0;
  for (i32 k = 0; k < iCount; ++k) {
    const i32 iEntry = static_cast<i32>(pKeys[k] & 0xFFFFFFFFu);
    if (k == 0 || (pKeys[k] >> 32) != (pKeys[k - 1] >> 32)) {
      iFirst = iEntry;
    }
    piFirst[iEntry] = iFirst;
  }
  KvAlignedFree(pKeys);
  return true;
}

i32 ClSoundBank::check(const u8* pImage, u64 uiSize, char* pProblem, u32 uiProblemSize) {
  if (pImage == nullptr || uiSize < sizeof(SSoundBankHeader)) {
    KvSNPrintf(pProblem, uiProblemSize, "too short for a sound bank header (%llu bytes)",
               static_cast<unsigned long long>(uiSize));
    return 0;
  }
  const SSoundBankHeader& bank = *header(pImage);
  if (!finite(bank.m_fReleaseTime) || bank.m_fReleaseTime < 0.0f) {
    KvSNPrintf(pProblem, uiProblemSize, "the release time is not a number of seconds");
    return 0;
  }
  const u64 uiIndex = bank.mp_pSortedIndexEntries;
  if (uiIndex == 0 || !KvAudioArrayInside(uiIndex, bank.m_iNumEntries, sizeof(SSoundBankIndexEntry), uiSize)) {
    KvSNPrintf(pProblem, uiProblemSize, "the index (offset %llu, %d entries) does not lie inside the file",
               static_cast<unsigned long long>(uiIndex), bank.m_iNumEntries);
    return 0;
  }
  for (i32 i = 0; i < bank.m_iNumEntries; ++i) {
    const SSoundBankIndexEntry& indexEntry = *entry(pImage, i);
    const u64 uiCue = indexEntry.mp_pPrerenderedCue;
    if (!KvAudioArrayInside(uiCue, 1, sizeof(SPrerenderedCue), uiSize)) {
      KvSNPrintf(pProblem, uiProblemSize, "cue %d (0x%08X): its data (offset %llu) does not lie inside the file", i,
                 indexEntry.m_uiCueNameHash, static_cast<unsigned long long>(uiCue));
      return 0;
    }
    char szWhat[256];
    if (!checkCue(*cue(pImage, i), uiSize - uiCue - sizeof(SPrerenderedCue), szWhat, sizeof(szWhat))) {
      KvSNPrintf(pProblem, uiProblemSize, "cue %d (0x%08X) %s", i, indexEntry.m_uiCueNameHash, szWhat);
      return 0;
    }
  }
  // Entries may share one cue's data (and so its container), but cue data that starts inside another's would
  // have its container slot and fields read as the other's.
  u64* pKeys = sortedCueOffsets(pImage);
  if (pKeys == nullptr) {
    KvSNPrintf(pProblem, uiProblemSize, "no memory to check %d index entries", bank.m_iNumEntries);
    return 0;
  }
  i32 iBad = -1;
  u64 uiOther = 0;
  for (i32 k = 1; k < bank.m_iNumEntries && iBad < 0; ++k) {
    const u64 uiPrevious = pKeys[k - 1] >> 32;
    const u64 uiThis = pKeys[k] >> 32;
    const SPrerenderedCue* pPrevious = reinterpret_cast<const SPrerenderedCue*>(pImage + uiPrevious);
    const u64 uiEnd = uiPrevious + sizeof(SPrerenderedCue) +
                      static_cast<u64>(pPrevious->m_iNumMultichannelConfigs) * sizeof(SMultichannelConfig);
    if (uiThis != uiPrevious && uiThis < uiEnd) {
      iBad = static_cast<i32>(pKeys[k] & 0xFFFFFFFFu);
      uiOther = uiPrevious;
    }
  }
  KvAlignedFree(pKeys);
  if (iBad >= 0) {
    KvSNPrintf(pProblem, uiProblemSize, "cue %d (0x%08X): its data (offset %u) starts inside the data of the cue at %llu",
               iBad, entry(pImage, iBad)->m_uiCueNameHash, entry(pImage, iBad)->mp_pPrerenderedCue,
               static_cast<unsigned long long>(uiOther));
    return 0;
  }
  return 1;
}
