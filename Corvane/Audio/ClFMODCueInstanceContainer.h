// The cue-instance container: one per cue of a loaded sound bank. It owns the cue's sounds (one per sound
// source, resident in memory or streamed), two channel groups per source (the dry one added to the master
// group, the wet one left unattached) and a pool of 64 cue instances. Main thread only.
//
// Resident sources are read through the archive reader and made into sounds from memory; the file's bytes
// stay owned by the source's file reference while the sound exists. Streamed sources play from the file on
// disk: a loose file by its path, an archive entry stored plain as a window of the archive's data file. An
// archive entry that is compressed or encrypted cannot be streamed in place: it is read into memory (decrypted
// and inflated) and streamed from there.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/Audio/ClFMODCueInstance.h"
#include "Corvane/Audio/ClSoundBank.h"
#include "Corvane/System/KvTypes.h"

struct SMagRef;

inline constexpr i32 gc_iMAX_CUE_INSTANCES = 64;

// One sound source of a cue.
struct SCueSoundSource {
  SMagRef* mp_pFileRef;            // owns the source's bytes (resident, or a stream read into memory)
  void* mp_pAsyncAsset;            // an alternative owner; this loader leaves it null
  const SPrerenderedCue* mp_pCueData;
  FMOD::Sound* mp_pSound;          // null when the source could not be loaded
  FMOD::ChannelGroup* mp_pDryGroup;
  FMOD::ChannelGroup* mp_pWetGroup;
  const void* mp_pTrackDataFile;   // music-track data, null when none
  u32 m_uiTrackDataNameHash;       // 0xFFFFFFFF when none
  i32 m_iSourceIndex;
  u32 mp_bUseCustomCodec;          // never set by this loader
  void* mp_pCustomCodecInstance;
  u32 m_bCutEndUnsaid;             // a stream cut short whose file gives no length: said once its end is played
};

class ClCueInstanceContainer {
 public:
  // Builds a 2-D container from the cue data (loading every source) with the bank's release time. Returns 1.
  i32 create(const SPrerenderedCue* pCueData, f32 fReleaseTime);
  // Releases every instance still taken (and its handle), the groups, the sounds and their files.
  void terminate();

  bool isLooping() const { return getCommonCueData()->m_iLooping > 0; }
  bool isStreamed() const { return getCommonCueData()->m_iStreamed != 0; }
  bool hasMultichannelConfigs() const { return getCommonCueData()->m_iNumMultichannelConfigs > 0; }
  const SPrerenderedCue* getCommonCueData() const;
  // The source of this play: source 0 for a one-source cue (no random draw), else the first source whose
  // running weight reaches one draw of the random generator (u in [0, 1)).
  SCueSoundSource* chooseSource();
  // A streamed source cut short is said once, in one line naming its file: at load when its header gives the
  // length it falls short of, else (m_bCutEndUnsaid) once the stream has been played to where its data ends, which
  // its playing instances ask here each update.
  void sayCutEndWhenPlayed(SCueSoundSource* pSource);

  SCueSoundSource mpr_aSoundSources[gc_iMAX_CUE_SOURCES] = {};
  i32 m_b2D = 1;
  const SPrerenderedCue* mpr_pCommonCueData = nullptr;
  const void* mpr_p3DCueData = nullptr;
  ClPool<ClFMODCueInstance, gc_iMAX_CUE_INSTANCES> m_instancePool;
  f32 m_fReleaseTime = 0.0f;

 private:
  void loadSource(i32 iSource, const char* pFullPath);
};
