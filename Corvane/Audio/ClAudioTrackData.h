// Music track data (".iAudioTD" under "Audio/", named after the sound it belongs to): for each track, the times
// at which its timed events fall, in seconds from the start of the sound. Read whole into memory and used in
// place; the image is never written to (offsets are resolved against it when read).
//
// Layout, little-endian, every offset from the start of the file:
//   header (16 bytes)
//     0   u32  offset of the track array (4-aligned)
//     4   u32  not read
//     8   u32  not read
//     12  i32  number of tracks (0 or more)
//   track (24 bytes each, at the track-array offset)
//     0   u32  offset of the track's event times (4-aligned)
//     4   u32  not read
//     8   u32  track identifier
//     12  i32  number of events (0 or more)
//     16  8 bytes not read
//   event times: f32 seconds, ascending (equal times allowed)
// check() refuses an image whose header, track array or event times do not lie inside it, or whose times are
// not finite or go backwards; every accessor below trusts a checked image.
#pragma once

#include <cstddef>

#include "Corvane/System/KvTypes.h"

inline constexpr const char* gc_pszTRACK_DATA_EXTENSION = ".iAudioTD";

struct STrackDataHeader {
  u32 mp_pTracks;
  u32 m_auiUnread4[2];
  i32 m_iNumTracks;
};
static_assert(sizeof(STrackDataHeader) == 16);
static_assert(offsetof(STrackDataHeader, mp_pTracks) == 0);
static_assert(offsetof(STrackDataHeader, m_iNumTracks) == 12);

struct STrackDataTrack {
  u32 mp_pfEventTimes;
  u32 m_uiUnread4;
  u32 m_uiTrackID;
  i32 m_iNumEvents;
  u32 m_auiUnread16[2];
};
static_assert(sizeof(STrackDataTrack) == 24);
static_assert(offsetof(STrackDataTrack, mp_pfEventTimes) == 0);
static_assert(offsetof(STrackDataTrack, m_uiTrackID) == 8);
static_assert(offsetof(STrackDataTrack, m_iNumEvents) == 12);

class ClAudioTrackData {
 public:
  // 1 when the image can be read safely; else 0 with the problem (one line, no file name) in pProblem. The
  // image must be 4-byte aligned.
  static i32 check(const u8* pImage, u64 uiSize, char* pProblem, u32 uiProblemSize);

  static const STrackDataHeader* header(const u8* pImage) {
    return reinterpret_cast<const STrackDataHeader*>(pImage);
  }
  static i32 trackCount(const u8* pImage) { return header(pImage)->m_iNumTracks; }
  static const STrackDataTrack* track(const u8* pImage, i32 iTrack) {
    return reinterpret_cast<const STrackDataTrack*>(pImage + header(pImage)->mp_pTracks) + iTrack;
  }
  static const f32* eventTimes(const u8* pImage, const STrackDataTrack* pTrack) {
    return reinterpret_cast<const f32*>(pImage + pTrack->mp_pfEventTimes);
  }
};
