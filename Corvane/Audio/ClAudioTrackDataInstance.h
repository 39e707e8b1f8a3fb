// One running copy of a sound's music-track data: a time in seconds (advanced by the track-data manager, or
// kept on a streamed cue's playing position by the cue) and, for each track, the next event still to pass.
// Instances come from ClAudioTrackDataMgr (a pool of 128) and go back to it when every track has passed all
// of its events or when their cue releases them. Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

// Where one track of an instance stands.
struct STrackStatus {
  i32 m_iNextEvent;
  i32 m_bDone;
};
static_assert(sizeof(STrackStatus) == 8);

class ClAudioTrackDataInstance {
 public:
  // Takes a checked track-data image and its per-track forward offsets (seconds added to the instance's time
  // for that track) and allocates the zeroed status array; time 0, not finished, not paused. Returns 1.
  i32 initialize(const u8* pTrackData, const f32* pfForwardOffsetTime);
  // Frees the status array and forgets the file.
  void terminate();
  // Passes, on every track not yet done, each event whose time the track's time has reached, telling the
  // track's listeners in order; a track whose events have all passed is done, and the instance is finished
  // when every track is (at once for a file without tracks).
  void walkEvents();

  const u8* mp_pTrackData = nullptr;
  i32 m_bFinished = 0;
  i32 m_iNumFinishedTracks = 0;
  STrackStatus* mpr_pTrackStatus = nullptr;
  f32 m_fTime = 0.0f;  // seconds
  const f32* mp_pfForwardOffsetTime = nullptr;
  i32 m_bPaused = 0;
  // Changes each time the instance goes back to the pool, so a holder can tell that its pointer is stale.
  u32 m_uiGeneration = 0;
};
