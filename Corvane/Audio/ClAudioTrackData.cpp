#include "Corvane/Audio/ClAudioTrackData.h"

#include <cmath>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Audio/KvAudioImage.h"
#include "Corvane/System/KvDebug.h"

i32 ClAudioTrackData::check(const u8* pImage, u64 uiSize, char* pProblem, u32 uiProblemSize) {
  KV_ASSERT_MSG(pImage == nullptr || reinterpret_cast<std::uintptr_t>(pImage) % 4 == 0,
                "Track data image must be 4-byte aligned");
  if (pImage == nullptr || uiSize < sizeof(STrackDataHeader)) {
    KvSNPrintf(pProblem, uiProblemSize, "too short for a track data header (%llu bytes)",
               static_cast<unsigned long long>(uiSize));
    return 0;
  }
  const STrackDataHeader& head = *header(pImage);
  const u64 uiTracks = head.mp_pTracks;
  if (!KvAudioArrayInside(uiTracks, head.m_iNumTracks, sizeof(STrackDataTrack), uiSize)) {
    KvSNPrintf(pProblem, uiProblemSize, "the track array (offset %llu, %d tracks) does not lie inside the file",
               static_cast<unsigned long long>(uiTracks), head.m_iNumTracks);
    return 0;
  }
  for (i32 t = 0; t < head.m_iNumTracks; ++t) {
    const STrackDataTrack& entry = *track(pImage, t);
    const u64 uiTimes = entry.mp_pfEventTimes;
    if (!KvAudioArrayInside(uiTimes, entry.m_iNumEvents, sizeof(f32), uiSize)) {
      KvSNPrintf(pProblem, uiProblemSize,
                 "track %d (id 0x%08X): its event times (offset %llu, %d events) do not lie inside the file", t,
                 entry.m_uiTrackID, static_cast<unsigned long long>(uiTimes), entry.m_iNumEvents);
      return 0;
    }
    const f32* pfTimes = eventTimes(pImage, &entry);
    for (i32 e = 0; e < entry.m_iNumEvents; ++e) {
      if (!std::isfinite(pfTimes[e])) {
        KvSNPrintf(pProblem, uiProblemSize, "track %d (id 0x%08X): event %d has a time that is not a number", t,
                   entry.m_uiTrackID, e);
        return 0;
      }
      if (e > 0 && pfTimes[e] < pfTimes[e - 1]) {
        KvSNPrintf(pProblem, uiProblemSize, "track %d (id 0x%08X): event %d (%g s) comes before event %d (%g s)", t,
                   entry.m_uiTrackID, e, static_cast<double>(pfTimes[e]), e - 1, static_cast<double>(pfTimes[e - 1]));
        return 0;
      }
    }
  }
  return 1;
}
