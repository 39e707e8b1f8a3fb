// Sound banks (".iAudioSB" under "Audio/"): a sorted index of cues and each cue's pre-rendered data, read whole
// into memory and used in place. The file image is never written to: offsets are resolved against the image
// when read, and what the loader makes for a cue (its container) lives in a table beside the image.
//
// Layout, little-endian, every offset from the start of the file:
//   header (28 bytes)
//     0   u32  offset of the index entries (non-zero, 4-aligned)
//     8   u32  name hash of the bank's name
//     20  i32  number of index entries
//     24  f32  release time in seconds (of the release fades of a stopped ducking cue)
//   index entry (24 bytes each, at the index offset)
//     0   u32  cue name hash
//     8   u32  offset of the cue's data (4-aligned)
//   cue data (1156 bytes, then 128 bytes per multichannel configuration): SPrerenderedCue below.
// Several index entries may point at the same cue data (one cue under several names); they share its
// container, as the container belongs to the cue data. Cue data that starts inside another cue's is refused.
// Other words are not read. check() refuses an image whose offsets, counts, names or values would lead a
// reader outside the image or outside the engine's tables; every accessor below trusts a checked image.
#pragma once

#include <cstddef>

#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iMAX_CUE_SOURCES = 8;
inline constexpr i32 gc_iCUE_SOURCE_NAME_LEN = 64;
inline constexpr i32 gc_iMAX_CUE_CATEGORIES = 8;
inline constexpr i32 MAX_NUMBER_CATEGORIES = 10;
// Ducking groups an instance can hold; the cue data has room for ten records.
inline constexpr i32 gc_iMAX_DUCKING_GROUPS = 8;
inline constexpr i32 gc_iDUCKING_GROUP_ROOM = 10;
inline constexpr i32 MAX_NUM_MULTICHANNEL_CHANNELS = 16;
inline constexpr i32 gc_iMAX_MULTICHANNEL_CONFIGS = 16;
inline constexpr f32 gc_fNO_VALUE = -1.0f;  // a source's length or default frequency that is not given

struct SSoundBankHeader {
  u32 mp_pSortedIndexEntries;
  u32 m_uiUnread4;
  u32 m_uiBankNameHash;
  u32 m_auiUnread12[2];
  i32 m_iNumEntries;
  f32 m_fReleaseTime;
};
static_assert(sizeof(SSoundBankHeader) == 28);
static_assert(offsetof(SSoundBankHeader, m_uiBankNameHash) == 8);
static_assert(offsetof(SSoundBankHeader, m_iNumEntries) == 20);
static_assert(offsetof(SSoundBankHeader, m_fReleaseTime) == 24);

struct SSoundBankIndexEntry {
  u32 m_uiCueNameHash;
  u32 m_uiUnread4;
  u32 mp_pPrerenderedCue;
  u32 m_auiUnread12[3];
};
static_assert(sizeof(SSoundBankIndexEntry) == 24);
static_assert(offsetof(SSoundBankIndexEntry, mp_pPrerenderedCue) == 8);

struct SDuckingCategoryGroup {
  i32 m_iCategory;
  f32 mp_fVolumeToDuckTo;
  f32 m_fFadeInTime;
  f32 m_fFadeOutTime;
  f32 m_fHoldTime;
  u32 m_uiUnread20;
};
static_assert(sizeof(SDuckingCategoryGroup) == 24);

// One multichannel level configuration: type 0 sets the level of channel A, type 1 of channels A and B.
struct SMultichannelConfig {
  u32 m_uiUnread0;
  i32 m_iType;
  i32 m_iChannelA;
  i32 m_iChannelB;
  u8 m_aucUnread16[56];
  f32 m_fLevel;
  i32 m_iRandomLevel;
  f32 m_fLevelMin;
  f32 m_fLevelMax;
  i32 m_iNumCategories;
  i32 m_aiCategories[gc_iMAX_CUE_CATEGORIES];
  u32 m_uiUnread124;
};
static_assert(sizeof(SMultichannelConfig) == 128);
static_assert(offsetof(SMultichannelConfig, m_iType) == 4);
static_assert(offsetof(SMultichannelConfig, m_fLevel) == 72);
static_assert(offsetof(SMultichannelConfig, m_iNumCategories) == 88);
static_assert(offsetof(SMultichannelConfig, m_aiCategories) == 92);

// The common cue data. The multichannel configurations follow it directly.
struct SPrerenderedCue {
  u8 m_aucUnread0[128];
  u32 m_auiContainerSlot[2];  // the container pointer's place in the file; the loader keeps its own table
  u32 m_uiNameHash;
  i32 m_i3D;
  i32 m_iNumSources;
  u32 m_uiUnread148;
  char m_aszSourceNames[gc_iMAX_CUE_SOURCES][gc_iCUE_SOURCE_NAME_LEN];  // below "Audio/", with extension
  f32 m_afWeights[gc_iMAX_CUE_SOURCES];
  i32 m_aiHasTrackData[gc_iMAX_CUE_SOURCES];
  f32 m_afLengths[gc_iMAX_CUE_SOURCES];             // seconds, or gc_fNO_VALUE
  f32 m_afDefaultFrequencies[gc_iMAX_CUE_SOURCES];  // Hz, or gc_fNO_VALUE
  u32 m_uiUnread792;
  i32 m_iLooping;   // > 0 loops forever
  i32 m_iStreamed;  // non-zero: the sources play as streams
  f32 m_fVolume;
  i32 m_iRandomVolume;
  f32 m_fVolumeMin;
  f32 m_fVolumeMax;
  f32 m_fPitch;
  i32 m_iRandomPitch;
  f32 m_fPitchMin;
  f32 m_fPitchMax;
  f32 m_fPan;
  i32 m_iRandomPan;
  f32 m_fPanMin;
  f32 m_fPanMax;
  i32 m_iNumCategories;
  i32 m_aiCategories[gc_iMAX_CUE_CATEGORIES];
  i32 mpr_iNumberDuckingCategories;
  SDuckingCategoryGroup mp_aDuckingCategoryGroups[gc_iDUCKING_GROUP_ROOM];
  u8 m_aucUnread1132[20];
  i32 m_iNumMultichannelConfigs;
};
static_assert(sizeof(SPrerenderedCue) == 1156);
static_assert(offsetof(SPrerenderedCue, m_auiContainerSlot) == 128);
static_assert(offsetof(SPrerenderedCue, m_uiNameHash) == 136);
static_assert(offsetof(SPrerenderedCue, m_iNumSources) == 144);
static_assert(offsetof(SPrerenderedCue, m_aszSourceNames) == 152);
static_assert(offsetof(SPrerenderedCue, m_afWeights) == 664);
static_assert(offsetof(SPrerenderedCue, m_aiHasTrackData) == 696);
static_assert(offsetof(SPrerenderedCue, m_afLengths) == 728);
static_assert(offsetof(SPrerenderedCue, m_afDefaultFrequencies) == 760);
static_assert(offsetof(SPrerenderedCue, m_iLooping) == 796);
static_assert(offsetof(SPrerenderedCue, m_iStreamed) == 800);
static_assert(offsetof(SPrerenderedCue, m_fVolume) == 804);
static_assert(offsetof(SPrerenderedCue, m_fPitch) == 820);
static_assert(offsetof(SPrerenderedCue, m_fPan) == 836);
static_assert(offsetof(SPrerenderedCue, m_iNumCategories) == 852);
static_assert(offsetof(SPrerenderedCue, m_aiCategories) == 856);
static_assert(offsetof(SPrerenderedCue, mpr_iNumberDuckingCategories) == 888);
static_assert(offsetof(SPrerenderedCue, mp_aDuckingCategoryGroups) == 892);
static_assert(offsetof(SPrerenderedCue, m_iNumMultichannelConfigs) == 1152);

class ClSoundBank {
 public:
  // 1 when the image can be read safely; else 0 with the problem (one line, no file name) in pProblem.
  // Refused: a header, index or cue outside the image or not 4-aligned; a negative entry count; a cue of
  // 3-D sound (no loader exists for those); a source count outside 1..8, a source name that is empty, not
  // terminated within 64 characters or that climbs out of "Audio/" ("..", a leading "\" or "/"); weights of a
  // cue of several sources that are negative or do not add up to 1 (within 0.001); a category count above 8;
  // more than 8 ducking groups, or one whose category lies outside 0..9, whose times are negative or whose
  // level to duck to lies outside 0..1; more than 16 multichannel configurations, or one whose channel A (or,
  // for type 1, channel B) lies outside 0..15 or that has more than 8 categories (a type other than 0 and 1 is
  // valid and counts no channel in the mix); a value that is not a finite number (volume, pitch, pan, their
  // ranges, weights, lengths, frequencies, levels, the release time); cue data that starts inside another's.
  static i32 check(const u8* pImage, u64 uiSize, char* pProblem, u32 uiProblemSize);

  // For each index entry of a checked image, the first entry whose cue data lies at the same offset (the entry
  // itself when none before it does). piFirst holds one element per entry. False when no memory is left.
  static bool firstEntriesOfCues(const u8* pImage, i32* piFirst);

  static const SSoundBankHeader* header(const u8* pImage) { return reinterpret_cast<const SSoundBankHeader*>(pImage); }
  static const SSoundBankIndexEntry* entry(const u8* pImage, i32 iIndex) {
    return reinterpret_cast<const SSoundBankIndexEntry*>(pImage + header(pImage)->mp_pSortedIndexEntries) + iIndex;
  }
  static const SPrerenderedCue* cue(const u8* pImage, i32 iIndex) {
    return reinterpret_cast<const SPrerenderedCue*>(pImage + entry(pImage, iIndex)->mp_pPrerenderedCue);
  }
  static const SMultichannelConfig* multichannelConfig(const SPrerenderedCue* pCue, i32 iConfig) {
    return reinterpret_cast<const SMultichannelConfig*>(pCue + 1) + iConfig;
  }
};
