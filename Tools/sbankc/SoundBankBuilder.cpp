#include "Tools/sbankc/SoundBankBuilder.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClSoundBank.h"
#include "Tools/sbankc/BuilderJson.h"

using nlohmann::json;
using namespace SbankcJson;

namespace {

// A value or a {"min", "max"} range: (value, random flag, min, max).
void valueOrRange(const json& object, const char* pKey, f32 fDefault, const std::string& field, f32* pValue,
                  i32* pRandom, f32* pMin, f32* pMax) {
  *pValue = fDefault;
  *pRandom = 0;
  *pMin = fDefault;
  *pMax = fDefault;
  if (!object.contains(pKey)) {
    return;
  }
  const json& node = object[pKey];
  const std::string where = field + "." + pKey;
  if (node.is_object()) {
    if (!node.contains("min") || !node.contains("max")) {
      fail(where, "a range needs min and max");
    }
    *pMin = number(node["min"], where + ".min");
    *pMax = number(node["max"], where + ".max");
    *pValue = *pMin;
    *pRandom = 1;
  } else {
    *pValue = number(node, where);
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
    out.m_afWeights[i] = numberOr(source, "weight", 1.0f / static_cast<f32>(sources.size()), where);
    if (out.m_afWeights[i] < 0.0f) {
      fail(where + ".weight", "must not be negative");
    }
    dWeights += out.m_afWeights[i];
    out.m_afLengths[i] = numberOr(source, "length", gc_fNO_VALUE, where);
    out.m_afDefaultFrequencies[i] = numberOr(source, "frequency", gc_fNO_VALUE, where);
    out.m_aiHasTrackData[i] = flagOr(source, "trackData", where) ? 1 : 0;
    pSources->push_back({file, storeFlags(source, bStreamed, where), out.m_aiHasTrackData[i] != 0});
  }
  if (sources.size() > 1 && std::fabs(dWeights - 1.0) > 0.001) {
    fail(field + ".sources", "the weights add up to " + std::to_string(dWeights) + ", not 1");
  }
  valueOrRange(cue, "volume", 1.0f, field, &out.m_fVolume, &out.m_iRandomVolume, &out.m_fVolumeMin, &out.m_fVolumeMax);
  valueOrRange(cue, "pitch", 1.0f, field, &out.m_fPitch, &out.m_iRandomPitch, &out.m_fPitchMin, &out.m_fPitchMax);
  valueOrRange(cue, "pan", 0.0f, field, &out.m_fPan, &out.m_iRandomPan, &out.m_fPanMin, &out.m_fPanMax);
  categories(cue, field, &out.m_iNumCategories, out.m_aiCategories);
  const json& ducking = array(cue, "ducking", field, gc_iMAX_DUCKING_GROUPS);
  out.mpr_iNumberDuckingCategories = static_cast<i32>(ducking.size());
  for (size_t i = 0; i < ducking.size(); ++i) {
    const std::string where = field + ".ducking[" + std::to_string(i) + "]";
    const json& group = ducking[i];
    SDuckingCategoryGroup& record = out.mp_aDuckingCategoryGroups[i];
    record.m_iCategory = integer(group.value("category", json()), where + ".category", 0, MAX_NUMBER_CATEGORIES - 1);
    record.mp_fVolumeToDuckTo = numberOr(group, "duckTo", 0.0f, where);
    if (record.mp_fVolumeToDuckTo < 0.0f || record.mp_fVolumeToDuckTo > 1.0f) {
      fail(where + ".duckTo", "must lie in 0..1");
    }
    record.m_fFadeInTime = std::max(0.0f, numberOr(group, "fadeIn", 0.0f, where));
    record.m_fFadeOutTime = std::max(0.0f, numberOr(group, "fadeOut", 0.0f, where));
    record.m_fHoldTime = numberOr(group, "hold", 0.0f, where);
  }
  out.m_iNumMultichannelConfigs = static_cast<i32>(mc.size());
  for (size_t i = 0; i < mc.size(); ++i) {
    const std::string where = field + ".multichannel[" + std::to_string(i) + "]";
    SMultichannelConfig& config = *const_cast<SMultichannelConfig*>(ClSoundBank::multichannelConfig(&out, static_cast<i32>(i)));
    config.m_iType = integer(mc[i].value("type", json(0)), where + ".type", 0, 1);
    config.m_iChannelA = integer(mc[i].value("channelA", json(0)), where + ".channelA", 0, MAX_NUM_MULTICHANNEL_CHANNELS - 1);
    config.m_iChannelB = integer(mc[i].value("channelB", json(0)), where + ".channelB", 0, MAX_NUM_MULTICHANNEL_CHANNELS - 1);
    valueOrRange(mc[i], "level", 1.0f, where, &config.m_fLevel, &config.m_iRandomLevel, &config.m_fLevelMin,
                 &config.m_fLevelMax);
    categories(mc[i], where, &config.m_iNumCategories, config.m_aiCategories);
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

}  // namespace

bool SoundBankParseJson(const std::string& text, const std::string& fileName, json* pOut, std::string* pError) {
  try {
    *pOut = json::parse(text);
    return true;
  } catch (const json::parse_error& error) {
    const size_t uiByte = std::min<size_t>(error.byte > 0 ? error.byte - 1 : 0, text.size());
    const size_t uiLine = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(uiByte), '\n'));
    const size_t uiLineStart = text.rfind('\n', uiByte == 0 ? 0 : uiByte - 1);
    const size_t uiColumn = uiLineStart == std::string::npos || uiByte == 0 ? uiByte + 1 : uiByte - uiLineStart;
    std::string what = error.what();
    const size_t uiColon = what.rfind(": ");
    *pError = fileName + ":" + std::to_string(uiLine) + ":" + std::to_string(uiColumn) + ": " +
              (uiColon == std::string::npos ? what : what.substr(uiColon + 2));
    return false;
  }
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
    const json& sounds = array(soundList, "sounds", "", 4096);
    for (size_t i = 0; i < sounds.size(); ++i) {
      const json& sound = sounds[i];
      const std::string field = "sounds[" + std::to_string(i) + "]";
      if (!sound.is_object() || !sound.contains("file") || !sound["file"].is_string()) {
        fail(field + ".file", "a sound needs a file name");
      }
      const std::string file = sound["file"].get<std::string>();
      const int iFormat = formatOf(file);
      if (iFormat == 0 || file.find('/') != std::string::npos || file.find("..") != std::string::npos) {
        fail(field + ".file", "must be a plain name ending in .wav, .ogg or .flac");
      }
      const i32 iRate = integer(sound.value("rate", json(48000)), field + ".rate", 8000, 192000);
      const i32 iChannels = integer(sound.value("channels", json(1)), field + ".channels", 1, 2);
      const f32 fSeconds = number(sound.value("seconds", json()), field + ".seconds");
      if (fSeconds <= 0.0f || fSeconds > 60.0f) {
        fail(field + ".seconds", "must lie in (0, 60]");
      }
      const i32 iFrames = static_cast<i32>(std::lround(fSeconds * static_cast<f32>(iRate)));
      std::vector<f32> samples(static_cast<size_t>(iFrames) * iChannels, 0.0f);
      const json& layers = array(sound, "layers", field, 16);
      u32 uiNoise = 0x12345678u + static_cast<u32>(i);
      for (size_t l = 0; l < layers.size(); ++l) {
        const json& layer = layers[l];
        const std::string where = field + ".layers[" + std::to_string(l) + "]";
        const std::string wave = layer.value("wave", std::string("sine"));
        if (wave != "sine" && wave != "square" && wave != "saw" && wave != "noise") {
          fail(where + ".wave", "must be sine, square, saw or noise");
        }
        const f64 dFrom = numberOr(layer, "frequency", 440.0f, where);
        const f64 dTo = numberOr(layer, "sweepTo", static_cast<f32>(dFrom), where);
        const f32 fAmplitude = numberOr(layer, "amplitude", 0.5f, where);
        const f32 fAttack = std::max(0.0f, numberOr(layer, "attack", 0.0f, where));
        const f32 fDecay = std::max(0.0f, numberOr(layer, "decay", 0.0f, where));
        const f32 fPan = std::clamp(numberOr(layer, "pan", 0.0f, where), -1.0f, 1.0f);
        const f32 fStart = std::max(0.0f, numberOr(layer, "start", 0.0f, where));
        f64 dPhase = 0.0;
        for (i32 f = static_cast<i32>(fStart * static_cast<f32>(iRate)); f < iFrames; ++f) {
          const f64 dT = static_cast<f64>(f) / iRate - fStart;
          const f64 dHz = dFrom + (dTo - dFrom) * (dT / fSeconds);
          dPhase += dHz / iRate;
          f64 dEnvelope = fAmplitude * std::exp(-fDecay * dT);
          if (fAttack > 0.0f && dT < fAttack) {
            dEnvelope *= dT / fAttack;
          }
          const f32 fValue = static_cast<f32>(dEnvelope) * waveAt(wave, dPhase, &uiNoise);
          if (iChannels == 1) {
            samples[static_cast<size_t>(f)] += fValue;
          } else {
            samples[2 * static_cast<size_t>(f)] += fValue * std::min(1.0f, 1.0f - fPan);
            samples[2 * static_cast<size_t>(f) + 1] += fValue * std::min(1.0f, 1.0f + fPan);
          }
        }
      }
      for (f32& fSample : samples) {
        fSample = std::clamp(fSample, -1.0f, 1.0f);
      }
      SF_INFO info = {};
      info.samplerate = iRate;
      info.channels = iChannels;
      info.format = iFormat;
      const std::string path = outDir + "/" + file;
      SNDFILE* pFile = sf_open(path.c_str(), SFM_WRITE, &info);
      if (pFile == nullptr) {
        fail(field + ".file", "cannot write " + path + ": " + sf_strerror(nullptr));
      }
      sf_writef_float(pFile, samples.data(), iFrames);
      sf_close(pFile);
    }
  });
}
