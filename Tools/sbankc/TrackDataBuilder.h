// The music-track data builder of sbankc: JSON track lists compiled into the ".iAudioTD" layout
// (Corvane/Audio/ClAudioTrackData.h), and track data dumped back as JSON through the engine's own checks.
//
// Track list (one file per sound; the output is named after the sound's base name, "InGameLoop1.iAudioTD"):
//   {"tracks": [ {"id": "Beat",                  the track identifier: a name (its name hash) or a whole
//                                                number 0..4294967295
//                 "events": [1.0, 3.0]} ] }      seconds from the start of the sound, ascending
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "Corvane/System/KvTypes.h"

// Compiles a track list. False with "file: field: problem" in pError.
bool TrackDataCompile(const nlohmann::json& trackList, const std::string& fileName, std::vector<u8>* pTrackData,
                      std::string* pError);
// The track data as JSON ({"tracks": [{"id": number, "events": [...]}]}) through the engine's checks. False
// with the problem when the engine refuses it.
bool TrackDataDump(const std::vector<u8>& trackData, nlohmann::json* pOut, std::string* pError);
