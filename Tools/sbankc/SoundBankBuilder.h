// The sound-bank builder: JSON cue lists compiled into the ".iAudioSB" layout (Corvane/Audio/ClSoundBank.h),
// banks dumped back as JSON through the engine's own checks and accessors, and sample sounds synthesized from
// JSON descriptions (no recorded audio in the tree).
//
// Cue list:
//   {"bank": "VOSK_SFX", "releaseTime": 0.25, "cues": [ {
//       "name": "PlayerHitting",                      the cue's name (its name hash keys the cue)
//       "sources": [ {"file": "Punch01.wav",          below "Audio/", with its extension
//                     "weight": 0.5,                  choice weights add up to 1 (default: equal shares)
//                     "length": 0.2,                  seconds (default: none)
//                     "frequency": 48000,             default frequency in Hz (default: none: pitch unused)
//                     "trackData": false,             the source has music-track data ("Punch01.iAudioTD",
//                                                     made by sbankc track)
//                     "store": "compress"} ],         how the archive stores it: plain, compress, encrypt,
//                                                     "compress encrypt" (streamed sources: plain only)
//       "loop": false, "stream": false,
//       "volume": 0.8,  "pitch": {"min": 0.9, "max": 1.1},  "pan": 0,   a value, or a range drawn per play
//       "categories": [1],                            0..9, at most 8
//       "ducking": [{"category": 0, "duckTo": 0.3, "fadeIn": 0.2, "fadeOut": 0.3, "hold": 2.0}],   at most 8
//       "multichannel": [{"type": 1, "channelA": 0, "channelB": 1, "level": 1.0, "categories": [1]}] } ] }
//
// Sound list (synthesis):
//   {"sounds": [ {"file": "Punch01.wav", "rate": 48000, "channels": 1, "seconds": 0.2,
//                 "layers": [ {"wave": "sine"|"square"|"saw"|"noise", "frequency": 90, "sweepTo": 40,
//                              "amplitude": 0.7, "attack": 0.005, "decay": 12, "pan": 0, "start": 0} ] } ] }
//   The file's extension picks the format: .wav (16-bit PCM), .ogg (Vorbis), .flac (16-bit).
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "Corvane/System/KvTypes.h"

// A source file named by a cue list, with the way the archive should store it.
struct SSoundBankSourceFile {
  std::string file;
  std::string store;  // "plain", "compress", "encrypt" or "compress encrypt"
  bool bTrackData;    // the source has music-track data: "<base name>.iAudioTD" beside it
};

// Parses JSON text; on a syntax error pError holds "file:line:col: problem".
bool SoundBankParseJson(const std::string& text, const std::string& fileName, nlohmann::json* pOut,
                        std::string* pError);
// Compiles a cue list. False with "file: field: problem" in pError.
bool SoundBankCompile(const nlohmann::json& cueList, const std::string& fileName, std::vector<u8>* pBank,
                      std::vector<SSoundBankSourceFile>* pSources, std::string* pError);
// The bank as JSON through the engine's checks. False with the problem when the engine refuses it.
bool SoundBankDump(const std::vector<u8>& bank, nlohmann::json* pOut, std::string* pError);
// Writes every sound of a sound list into outDir. False with "file: field: problem".
bool SoundBankSynthesize(const nlohmann::json& soundList, const std::string& fileName, const std::string& outDir,
                         std::string* pError);
