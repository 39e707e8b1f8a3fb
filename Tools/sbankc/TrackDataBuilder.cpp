#include "Tools/sbankc/TrackDataBuilder.h"

#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioTrackData.h"
#include "Tools/sbankc/BuilderJson.h"

using nlohmann::json;
using namespace SbankcJson;

namespace {

// Tracks and events a file may list: far more than music needs, little enough to stay small.
constexpr size_t gc_uiMAX_TRACKS = 1024;
constexpr size_t gc_uiMAX_EVENTS = 65536;

u32 trackID(const json& track, const std::string& field) {
  if (!track.contains("id")) {
    fail(field + ".id", "a track needs an id");
  }
  const json& id = track["id"];
  if (id.is_string() && !id.get<std::string>().empty()) {
    return KvStrHash(id.get<std::string>().c_str());
  }
  if (!id.is_number_unsigned() || id.get<u64>() > 0xFFFFFFFFull) {
    fail(field + ".id", "must be a name or a whole number from 0 to 4294967295");
  }
  return id.get<u32>();
}

}  // namespace

bool TrackDataCompile(const json& trackList, const std::string& fileName, std::vector<u8>* pTrackData,
                      std::string* pError) {
  return compileReporting(fileName, pError, [&] {
    if (!trackList.is_object() || !trackList.contains("tracks")) {
      fail("tracks", "the track list needs its tracks");
    }
    const json& tracks = array(trackList, "tracks", "", gc_uiMAX_TRACKS);
    std::vector<STrackDataTrack> records(tracks.size());
    std::vector<std::vector<f32>> times(tracks.size());
    for (size_t t = 0; t < tracks.size(); ++t) {
      const std::string field = "tracks[" + std::to_string(t) + "]";
      if (!tracks[t].is_object()) {
        fail(field, "must be an object");
      }
      records[t] = STrackDataTrack{};
      records[t].m_uiTrackID = trackID(tracks[t], field);
      const json& events = array(tracks[t], "events", field, gc_uiMAX_EVENTS);
      for (size_t e = 0; e < events.size(); ++e) {
        const std::string where = field + ".events[" + std::to_string(e) + "]";
        const f32 fTime = number(events[e], where);
        if (e > 0 && fTime < times[t].back()) {
          fail(where, "comes before the event ahead of it: times must ascend");
        }
        times[t].push_back(fTime);
      }
      records[t].m_iNumEvents = static_cast<i32>(times[t].size());
    }
    std::vector<u8>& out = *pTrackData;
    const size_t uiTracks = sizeof(STrackDataHeader);
    size_t uiOffset = uiTracks + records.size() * sizeof(STrackDataTrack);
    out.assign(uiOffset, 0);
    STrackDataHeader head = {};
    head.mp_pTracks = static_cast<u32>(uiTracks);
    head.m_iNumTracks = static_cast<i32>(records.size());
    std::memcpy(out.data(), &head, sizeof(head));
    for (size_t t = 0; t < records.size(); ++t) {
      records[t].mp_pfEventTimes = static_cast<u32>(uiOffset);
      std::memcpy(out.data() + uiTracks + t * sizeof(STrackDataTrack), &records[t], sizeof(STrackDataTrack));
      out.resize(uiOffset + times[t].size() * sizeof(f32));
      if (!times[t].empty()) {
        std::memcpy(out.data() + uiOffset, times[t].data(), times[t].size() * sizeof(f32));
      }
      uiOffset = out.size();
    }
  });
}

bool TrackDataDump(const std::vector<u8>& trackData, json* pOut, std::string* pError) {
  // The engine reads an aligned image: copy the bytes into one.
  std::vector<u32> aligned((trackData.size() + 3) / 4);
  if (!trackData.empty()) {
    std::memcpy(aligned.data(), trackData.data(), trackData.size());
  }
  const u8* pImage = reinterpret_cast<const u8*>(aligned.data());
  char szProblem[512];
  if (ClAudioTrackData::check(pImage, trackData.size(), szProblem, sizeof(szProblem)) != 1) {
    *pError = szProblem;
    return false;
  }
  json tracks = json::array();
  for (i32 t = 0; t < ClAudioTrackData::trackCount(pImage); ++t) {
    const STrackDataTrack* pTrack = ClAudioTrackData::track(pImage, t);
    const f32* pfTimes = ClAudioTrackData::eventTimes(pImage, pTrack);
    tracks.push_back({{"id", pTrack->m_uiTrackID}, {"events", std::vector<f32>(pfTimes, pfTimes + pTrack->m_iNumEvents)}});
  }
  *pOut = json{{"tracks", tracks}};
  return true;
}
