#include "Tools/sbankc/SoundBankBuilder.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClSoundBank.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/sbankc/BuilderJson.h"

using nlohmann::json;
using namespace SbankcJson;

namespace {

// The values a cue's volume, pitch and pan and a configuration's level may take.
struct SBounds {
  f32 fMin;
  f32 fMax;
  bool bAboveMin;  // fMin itself is left out
};
constexpr SBounds gc_VOLUME = {0.0f, 1.0f, false};
constexpr SBounds gc_PITCH = {0.0f, std::numeric_limits<f32>::max(), true};
constexpr SBounds gc_PAN = {-1.0f, 1.0f, false};
constexpr SBounds gc_LEVEL = {0.0f, std::numeric_limits<f32>::max(), false};

// A value or a {"min", "max"} range, within the bounds: (value, random flag, min, max).
void valueOrRange(const json& object, const char* pKey, f32 fDefault, const std::string& field, const SBounds& bounds,
                  f32* pValue, i32* pRandom, f32* pMin, f32* pMax) {
  *pValue = fDefault;
  *pRandom = 0;
  *pMin = fDefault;
  *pMax = fDefault;
  if (!object.contains(pKey)) {
    return;
  }
  const json& node = object[pKey];
  const std::string where = member(field, pKey);
  if (node.is_object()) {
    if (!node.contains("min") || !node.contains("max")) {
      fail(where, "a range needs min and max");
    }
    *pMin = numberIn(node["min"], where + ".min", bounds.fMin, bounds.fMax, bounds.bAboveMin);
    *pMax = numberIn(node["max"], where + ".max", bounds.fMin, bounds.fMax, bounds.bAboveMin);
    if (*pMin > *pMax) {
      fail(where, "the range's min is above its max");
    }
    *pValue = *pMin;
    *pRandom = 1;
  } else {
    *pValue = numberIn(node, where, bounds.fMin, bounds.fMax, bounds.bAboveMin);
    *pMin = *pValue;
    *pMax = *pValue;
  }
}

void categories(const json& object, const std::string& field, i32* piCount, i32* piCategories) {
  const json& list = array(object, "categories", field, gc_iMAX_CUE_CATEGORIES);
  *piCount = static_cast<i32>(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    piCategories[i] = integer(list[i], field + ".categories[" + std::to_string(i) + "]", 0, MAX_NUMBER_CATEGORIES - 1);
  }
}

std::string storeFlags(const json& source, bool bStreamed, const std::string& field) {
  std::string store = bStreamed ? "plain" : "compress";
  if (source.contains("store")) {
    if (!source["store"].is_string()) {
      fail(field + ".store", "must be a text");
    }
    store = source["store"].get<std::string>();
    if (store != "plain" && store != "compress" && store != "encrypt" && store != "compress encrypt") {
      fail(field + ".store", "must be plain, compress, encrypt or \"compress encrypt\"");
    }
    if (bStreamed && store != "plain") {
      fail(field + ".store", "a streamed source is played from the archive as it lies: it must be plain");
    }
  }
  return store;
}

// One cue's data (1156 bytes and its multichannel configurations).
std::vector<u8> compileCue(const json& cue, const std::string& field, std::vector<SSoundBankSourceFile>* pSources) {
  if (!cue.is_object()) {
    fail(field, "must be an object");
  }
  const json& mc = array(cue, "multichannel", field, gc_iMAX_MULTICHANNEL_CONFIGS);
  std::vector<u8> bytes(sizeof(SPrerenderedCue) + mc.size() * sizeof(SMultichannelConfig), 0);
  SPrerenderedCue& out = *reinterpret_cast<SPrerenderedCue*>(bytes.data());
  const bool bStreamed = flagOr(cue, "stream", field);
  out.m_iLooping = flagOr(cue, "loop", field) ? 1 : 0;
  out.m_iStreamed = bStreamed ? 1 : 0;
  const json& sources = array(cue, "sources", field, gc_iMAX_CUE_SOURCES);
  if (sources.empty()) {
    fail(field + ".sources", "a cue needs 1 to 8 sources");
  }
  out.m_iNumSources = static_cast<i32>(sources.size());
  f64 dWeights = 0.0;
  for (size_t i = 0; i < sources.size(); ++i) {
    const json& source = sources[i];
    const std::string where = field + ".sources[" + std::to_string(i) + "]";
    if (!source.is_object() || !source.contains("file") || !source["file"].is_string()) {
      fail(where, "needs a file name");
    }
    const std::string file = source["file"].get<std::string>();
    if (file.empty() || file.size() >= static_cast<size_t>(gc_iCUE_SOURCE_NAME_LEN) || file.find("..") != std::string::npos ||
        file[0] == '/' || file[0] == '\\') {
      fail(where + ".file", "must be a name below Audio/ of 1 to 63 characters");
    }
    std::memcpy(out.m_aszSourceNames[i], file.c_str(), file.size() + 1);
    const f32 fMaxValue = std::numeric_limits<f32>::max();
    out.m_afWeights[i] = numberInOr(source, "weight", 1.0f / static_cast<f32>(sources.size()), where, 0.0f, 1.0f);
    dWeights += out.m_afWeights[i];
    out.m_afLengths[i] = numberInOr(source, "length", gc_fNO_VALUE, where, 0.0f, fMaxValue);
    out.m_afDefaultFrequencies[i] = numberInOr(source, "frequency", gc_fNO_VALUE, where, 0.0f, fMaxValue, true);
    out.m_aiHasTrackData[i] = flagOr(source, "trackData", where) ? 1 : 0;
    pSources->push_back({file, storeFlags(source, bStreamed, where), out.m_aiHasTrackData[i] != 0});
  }
  if (sources.size() > 1 && std::fabs(dWeights - 1.0) > 0.001) {
    fail(field + ".sources", "the weights add up to " + std::to_string(dWeights) + ", not 1");
  }
  valueOrRange(cue, "volume", 1.0f, field, gc_VOLUME, &out.m_fVolume, &out.m_iRandomVolume, &out.m_fVolumeMin,
               &out.m_fVolumeMax);
  valueOrRange(cue, "pitch", 1.0f, field, gc_PITCH, &out.m_fPitch, &out.m_iRandomPitch, &out.m_fPitchMin,
               &out.m_fPitchMax);
  valueOrRange(cue, "pan", 0.0f, field, gc_PAN, &out.m_fPan, &out.m_iRandomPan, &out.m_fPanMin, &out.m_fPanMax);
  categories(cue, field, &out.m_iNumCategories, out.m_aiCategories);
  const json& ducking = array(cue, "ducking", field, gc_iMAX_DUCKING_GROUPS);
  out.mpr_iNumberDuckingCategories = static_cast<i32>(ducking.size());
  for (size_t i = 0; i < ducking.size(); ++i) {
    const std::string where = field + ".ducking[" + std::to_string(i) + "]";
    const json& group = object(ducking[i], where);
    SDuckingCategoryGroup& record = out.mp_aDuckingCategoryGroups[i];
    const f32 fMaxTime = std::numeric_limits<f32>::max();
    record.m_iCategory = integer(group.value("category", json()), where + ".category", 0, MAX_NUMBER_CATEGORIES - 1);
    record.mp_fVolumeToDuckTo = numberInOr(group, "duckTo", 0.0f, where, 0.0f, 1.0f);
    record.m_fFadeInTime = numberInOr(group, "fadeIn", 0.0f, where, 0.0f, fMaxTime);
    record.m_fFadeOutTime = numberInOr(group, "fadeOut", 0.0f, where, 0.0f, fMaxTime);
    record.m_fHoldTime = numberInOr(group, "hold", 0.0f, where, 0.0f, fMaxTime);
  }
  out.m_iNumMultichannelConfigs = static_cast<i32>(mc.size());
  for (size_t i = 0; i < mc.size(); ++i) {
    const std::string where = field + ".multichannel[" + std::to_string(i) + "]";
    SMultichannelConfig& config = *const_cast<SMultichannelConfig*>(ClSoundBank::multichannelConfig(&out, static_cast<i32>(i)));
    const json& entry = object(mc[i], where);
    config.m_iType = integer(entry.value("type", json(0)), where + ".type", 0, 1);
    config.m_iChannelA = integer(entry.value("channelA", json(0)), where + ".channelA", 0, MAX_NUM_MULTICHANNEL_CHANNELS - 1);
    config.m_iChannelB = integer(entry.value("channelB", json(0)), where + ".channelB", 0, MAX_NUM_MULTICHANNEL_CHANNELS - 1);
    valueOrRange(entry, "level", 1.0f, where, gc_LEVEL, &config.m_fLevel, &config.m_iRandomLevel, &config.m_fLevelMin,
                 &config.m_fLevelMax);
    categories(entry, where, &config.m_iNumCategories, config.m_aiCategories);
  }
  return bytes;
}

void put32(std::vector<u8>* pBytes, size_t uiOffset, u32 uiValue) { std::memcpy(pBytes->data() + uiOffset, &uiValue, 4); }

size_t alignUp(size_t uiValue) { return (uiValue + 15) & ~static_cast<size_t>(15); }

json valueJson(f32 fValue, i32 iRandom, f32 fMin, f32 fMax) {
  if (iRandom) {
    return json{{"min", fMin}, {"max", fMax}};
  }
  return fValue;
}

json categoriesJson(const i32* piCategories, i32 iCount) {
  return json(std::vector<i32>(piCategories, piCategories + iCount));
}

// Synthesis ------------------------------------------------------------------------------------------------------

f32 waveAt(const std::string& wave, f64 dPhase, u32* puiNoise) {
  const f64 dCycle = dPhase - std::floor(dPhase);
  if (wave == "sine") return static_cast<f32>(std::sin(2.0 * 3.14159265358979 * dPhase));
  if (wave == "square") return dCycle < 0.5 ? 1.0f : -1.0f;
  if (wave == "saw") return static_cast<f32>(2.0 * dCycle - 1.0);
  *puiNoise = *puiNoise * 1664525u + 1013904223u;
  return static_cast<f32>(static_cast<f64>(*puiNoise >> 8) / 8388608.0 - 1.0);
}

int formatOf(const std::string& file) {
  const auto dot = file.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : file.substr(dot);
  if (ext == ".wav") return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  if (ext == ".ogg") return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  if (ext == ".flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  return 0;
}

struct SSynthLayer {
  std::string wave;
  f64 dFrom;
  f64 dTo;
  f32 fAmplitude;
  f32 fAttack;
  f32 fDecay;
  f32 fPan;
  f32 fStart;
};

struct SSynthSound {
  std::string file;
  int iFormat;
  i32 iRate;
  i32 iChannels;
  f32 fSeconds;
  std::vector<SSynthLayer> layers;
};

SSynthSound synthSound(const json& node, const std::string& field) {
  const json& sound = object(node, field);
  SSynthSound out;
  if (!sound.contains("file") || !sound["file"].is_string()) {
    fail(field + ".file", "a sound needs a file name");
  }
  out.file = sound["file"].get<std::string>();
  out.iFormat = formatOf(out.file);
  if (out.iFormat == 0 || out.file.find('/') != std::string::npos || out.file.find("..") != std::string::npos) {
    fail(field + ".file", "must be a plain name ending in .wav, .ogg or .flac");
  }
  out.iRate = integer(sound.value("rate", json(48000)), field + ".rate", 8000, 192000);
  out.iChannels = integer(sound.value("channels", json(1)), field + ".channels", 1, 2);
  out.fSeconds = numberIn(sound.value("seconds", json()), field + ".seconds", 0.0f, 60.0f, true);
  const json& layers = array(sound, "layers", field, 16);
  const f32 fMax = std::numeric_limits<f32>::max();
  for (size_t l = 0; l < layers.size(); ++l) {
    const std::string where = field + ".layers[" + std::to_string(l) + "]";
    const json& layer = object(layers[l], where);
    SSynthLayer entry;
    entry.wave = textOr(layer, "wave", "sine", where);
    if (entry.wave != "sine" && entry.wave != "square" && entry.wave != "saw" && entry.wave != "noise") {
      fail(where + ".wave", "must be sine, square, saw or noise");
    }
    entry.dFrom = numberInOr(layer, "frequency", 440.0f, where, 0.0f, fMax);
    entry.dTo = numberInOr(layer, "sweepTo", static_cast<f32>(entry.dFrom), where, 0.0f, fMax);
    entry.fAmplitude = numberOr(layer, "amplitude", 0.5f, where);
    entry.fAttack = numberInOr(layer, "attack", 0.0f, where, 0.0f, fMax);
    entry.fDecay = numberInOr(layer, "decay", 0.0f, where, 0.0f, fMax);
    entry.fPan = numberInOr(layer, "pan", 0.0f, where, -1.0f, 1.0f);
    entry.fStart = numberInOr(layer, "start", 0.0f, where, 0.0f, out.fSeconds);
    out.layers.push_back(entry);
  }
  return out;
}

void writeSound(const SSynthSound& sound, u32 uiIndex, const std::string& outDir, const std::string& field) {
  const i32 iRate = sound.iRate;
  const i32 iChannels = sound.iChannels;
  const f32 fSeconds = sound.fSeconds;
  const i32 iFrames = static_cast<i32>(std::lround(fSeconds * static_cast<f32>(iRate)));
  std::vector<f32> samples(static_cast<size_t>(iFrames) * iChannels, 0.0f);
  u32 uiNoise = 0x12345678u + uiIndex;
  for (const SSynthLayer& layer : sound.layers) {
    f64 dPhase = 0.0;
    for (i32 f = static_cast<i32>(layer.fStart * static_cast<f32>(iRate)); f < iFrames; ++f) {
      const f64 dT = static_cast<f64>(f) / iRate - layer.fStart;
      const f64 dHz = layer.dFrom + (layer.dTo - layer.dFrom) * (dT / fSeconds);
      dPhase += dHz / iRate;
      f64 dEnvelope = layer.fAmplitude * std::exp(-layer.fDecay * dT);
      if (layer.fAttack > 0.0f && dT < layer.fAttack) {
        dEnvelope *= dT / layer.fAttack;
      }
      const f32 fValue = static_cast<f32>(dEnvelope) * waveAt(layer.wave, dPhase, &uiNoise);
      if (iChannels == 1) {
        samples[static_cast<size_t>(f)] += fValue;
      } else {
        samples[2 * static_cast<size_t>(f)] += fValue * std::min(1.0f, 1.0f - layer.fPan);
        samples[2 * static_cast<size_t>(f) + 1] += fValue * std::min(1.0f, 1.0f + layer.fPan);
      }
    }
  }
  for (f32& fSample : samples) {
    fSample = std::clamp(fSample, -1.0f, 1.0f);
  }
  SF_INFO info = {};
  info.samplerate = iRate;
  info.channels = iChannels;
  info.format = sound.iFormat;
  // Encoded into a new file beside the target, which replaces it once whole.
  const std::string path = outDir + "/" + sound.file;
  std::string why = ToolWhyNotReplaceable(path);
  std::string newPath;
  const int iFd = why.empty() ? ToolCreateNewFile(path, &newPath, &why) : -1;
  if (iFd < 0) {
    fail(field + ".file", "cannot write " + path + ": " + why);
  }
  SNDFILE* pFile = sf_open_fd(iFd, SFM_WRITE, &info, SF_FALSE);
  bool bWritten = pFile != nullptr && sf_writef_float(pFile, samples.data(), iFrames) == iFrames;
  if (!bWritten) {
    // A failed system call in the system's own words, as every tool's failed write says it.
    const int iError = errno;
    why = std::string("cannot write the file: ") +
          (sf_error(pFile) == SF_ERR_SYSTEM && iError != 0 ? std::strerror(iError) : sf_strerror(pFile));
  }
  if (pFile != nullptr) {
    const int iClosed = sf_close(pFile);
    if (iClosed != 0 && bWritten) {
      bWritten = false;
      why = std::string("cannot write the file: ") + sf_error_number(iClosed);
    }
  }
  if (!ToolFinishNewFile(iFd, newPath, bWritten, &why) || !ToolPutInPlace(newPath, path, &why)) {
    fail(field + ".file", "cannot write " + path + ": " + why);
  }
}

}  // namespace

bool SoundBankParseJson(const std::string& text, const std::string& fileName, json* pOut, std::string* pError) {
  return ToolJsonParse(text, fileName, false, pOut, pError);
}

bool SoundBankCompile(const json& cueList, const std::string& fileName, std::vector<u8>* pBank,
                      std::vector<SSoundBankSourceFile>* pSources, std::string* pError) {
  return compileReporting(fileName, pError, [&] {
    if (!cueList.is_object() || !cueList.contains("bank") || !cueList["bank"].is_string()) {
      fail("bank", "the cue list needs the bank's name");
    }
    const f32 fRelease = numberOr(cueList, "releaseTime", 0.0f, "");
    if (fRelease < 0.0f) {
      fail("releaseTime", "must not be negative");
    }
    if (!cueList.contains("cues") || !cueList["cues"].is_array()) {
      fail("cues", "must be a list");
    }
    std::map<u32, std::pair<std::string, std::vector<u8>>> cues;
    const json& list = cueList["cues"];
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string field = "cues[" + std::to_string(i) + "]";
      if (!list[i].is_object() || !list[i].contains("name") || !list[i]["name"].is_string()) {
        fail(field + ".name", "a cue needs a name");
      }
      const std::string name = list[i]["name"].get<std::string>();
      std::vector<u8> data = compileCue(list[i], field, pSources);
      const u32 uiHash = KvStrHash(name.c_str());
      reinterpret_cast<SPrerenderedCue*>(data.data())->m_uiNameHash = uiHash;
      if (cues.count(uiHash) != 0) {
        fail(field + ".name", "[" + name + "] has the name hash of [" + cues[uiHash].first + "]");
      }
      cues[uiHash] = {name, std::move(data)};
    }
    const size_t uiIndex = alignUp(sizeof(SSoundBankHeader));
    size_t uiOffset = alignUp(uiIndex + cues.size() * sizeof(SSoundBankIndexEntry));
    std::vector<u8>& bank = *pBank;
    bank.assign(uiOffset, 0);
    put32(&bank, 0, static_cast<u32>(uiIndex));
    put32(&bank, 8, KvStrHash(cueList["bank"].get<std::string>().c_str()));
    put32(&bank, 20, static_cast<u32>(cues.size()));
    std::memcpy(bank.data() + 24, &fRelease, 4);
    size_t uiEntry = uiIndex;
    for (const auto& [uiHash, cue] : cues) {
      put32(&bank, uiEntry, uiHash);
      put32(&bank, uiEntry + 8, static_cast<u32>(uiOffset));
      uiEntry += sizeof(SSoundBankIndexEntry);
      bank.resize(uiOffset + cue.second.size(), 0);
      std::memcpy(bank.data() + uiOffset, cue.second.data(), cue.second.size());
      uiOffset = alignUp(bank.size());
      bank.resize(uiOffset, 0);
    }
  });
}

bool SoundBankDump(const std::vector<u8>& bank, json* pOut, std::string* pError) {
  char szProblem[512];
  if (ClSoundBank::check(bank.data(), bank.size(), szProblem, sizeof(szProblem)) != 1) {
    *pError = szProblem;
    return false;
  }
  const SSoundBankHeader* pHeader = ClSoundBank::header(bank.data());
  json out = {{"bankNameHash", pHeader->m_uiBankNameHash}, {"releaseTime", pHeader->m_fReleaseTime}};
  json cues = json::array();
  for (i32 i = 0; i < pHeader->m_iNumEntries; ++i) {
    const SPrerenderedCue& cue = *ClSoundBank::cue(bank.data(), i);
    json sources = json::array();
    for (i32 s = 0; s < cue.m_iNumSources; ++s) {
      sources.push_back({{"file", cue.m_aszSourceNames[s]},
                         {"weight", cue.m_afWeights[s]},
                         {"length", cue.m_afLengths[s]},
                         {"frequency", cue.m_afDefaultFrequencies[s]},
                         {"trackData", cue.m_aiHasTrackData[s] != 0}});
    }
    json ducking = json::array();
    for (i32 d = 0; d < cue.mpr_iNumberDuckingCategories; ++d) {
      const SDuckingCategoryGroup& group = cue.mp_aDuckingCategoryGroups[d];
      ducking.push_back({{"category", group.m_iCategory}, {"duckTo", group.mp_fVolumeToDuckTo},
                         {"fadeIn", group.m_fFadeInTime}, {"fadeOut", group.m_fFadeOutTime}, {"hold", group.m_fHoldTime}});
    }
    json multichannel = json::array();
    for (i32 m = 0; m < cue.m_iNumMultichannelConfigs; ++m) {
      const SMultichannelConfig& config = *ClSoundBank::multichannelConfig(&cue, m);
      multichannel.push_back({{"type", config.m_iType}, {"channelA", config.m_iChannelA}, {"channelB", config.m_iChannelB},
                              {"level", valueJson(config.m_fLevel, config.m_iRandomLevel, config.m_fLevelMin, config.m_fLevelMax)},
                              {"categories", categoriesJson(config.m_aiCategories, config.m_iNumCategories)}});
    }
    cues.push_back({{"nameHash", ClSoundBank::entry(bank.data(), i)->m_uiCueNameHash},
                    {"sources", sources},
                    {"loop", cue.m_iLooping > 0},
                    {"stream", cue.m_iStreamed != 0},
                    {"volume", valueJson(cue.m_fVolume, cue.m_iRandomVolume, cue.m_fVolumeMin, cue.m_fVolumeMax)},
                    {"pitch", valueJson(cue.m_fPitch, cue.m_iRandomPitch, cue.m_fPitchMin, cue.m_fPitchMax)},
                    {"pan", valueJson(cue.m_fPan, cue.m_iRandomPan, cue.m_fPanMin, cue.m_fPanMax)},
                    {"categories", categoriesJson(cue.m_aiCategories, cue.m_iNumCategories)},
                    {"ducking", ducking},
                    {"multichannel", multichannel}});
  }
  out["cues"] = cues;
  *pOut = out;
  return true;
}

bool SoundBankSynthesize(const json& soundList, const std::string& fileName, const std::string& outDir,
                         std::string* pError) {
  return compileReporting(fileName, pError, [&] {
    object(soundList, "the sound list");
    if (!soundList.contains("sounds")) {
      fail("sounds", "the sound list needs its sounds");
    }
    const json& sounds = array(soundList, "sounds", "", 4096);
    if (sounds.empty()) {
      fail("sounds", "lists no sound");
    }
    // Every description is checked before anything is written.
    std::vector<SSynthSound> parsed;
    for (size_t i = 0; i < sounds.size(); ++i) {
      parsed.push_back(synthSound(sounds[i], "sounds[" + std::to_string(i) + "]"));
    }
    for (size_t i = 0; i < parsed.size(); ++i) {
      writeSound(parsed[i], static_cast<u32>(i), outDir, "sounds[" + std::to_string(i) + "]");
    }
  });
}
