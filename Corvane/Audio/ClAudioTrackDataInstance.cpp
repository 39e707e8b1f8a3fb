#include "Corvane/Audio/ClAudioTrackDataInstance.h"

#include <cstring>

#include "Corvane/Audio/ClAudioTrackData.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

i32 ClAudioTrackDataInstance::initialize(const u8* pTrackData, const f32* pfForwardOffsetTime) {
  KV_ASSERT_MSG(pfForwardOffsetTime != nullptr, "pfForwardOffsetTime");
  mp_pTrackData = pTrackData;
  mp_pfForwardOffsetTime = pfForwardOffsetTime;
  const size_t uiBytes = sizeof(STrackStatus) * static_cast<size_t>(ClAudioTrackData::trackCount(pTrackData));
  mpr_pTrackStatus = static_cast<STrackStatus*>(KvAlignedAlloc(uiBytes, 16));
  KV_ASSERT_MSG(mpr_pTrackStatus != nullptr, "mpr_pTrackStatus");
  std::memset(mpr_pTrackStatus, 0, uiBytes);
  m_fTime = 0.0f;
  m_bFinished = 0;
  m_iNumFinishedTracks = 0;
  m_bPaused = 0;
  return 1;
}

void ClAudioTrackDataInstance::terminate() {
  KvAlignedFree(mpr_pTrackStatus);
  mpr_pTrackStatus = nullptr;
  mp_pTrackData = nullptr;
  mp_pfForwardOffsetTime = nullptr;
}

void ClAudioTrackDataInstance::walkEvents() {
  const i32 iNumTracks = ClAudioTrackData::trackCount(mp_pTrackData);
  for (i32 t = 0; t < iNumTracks; ++t) {
    STrackStatus& status = mpr_pTrackStatus[t];
    if (status.m_bDone) {
      continue;
    }
    const STrackDataTrack* pTrack = ClAudioTrackData::track(mp_pTrackData, t);
    const f32* pfTimes = ClAudioTrackData::eventTimes(mp_pTrackData, pTrack);
    const f32 fLocalTime = m_fTime + mp_pfForwardOffsetTime[t];
    for (;;) {
      if (status.m_iNextEvent >= pTrack->m_iNumEvents) {
        status.m_bDone = 1;
        ++m_iNumFinishedTracks;
        break;
      }
      const f32 fEventTime = pfTimes[status.m_iNextEvent];
      if (fLocalTime < fEventTime) {
        break;
      }
      ClAudioTrackDataMgr::tellEvent(pTrack->m_uiTrackID, status.m_iNextEvent, fEventTime, fLocalTime);
      ++status.m_iNextEvent;
    }
  }
  m_bFinished = m_iNumFinishedTracks >= iNumTracks ? 1 : 0;
}
