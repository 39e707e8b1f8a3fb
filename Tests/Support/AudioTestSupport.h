// Sounds made in memory for the audio tests (their programs link libsndfile through the sound stand-in), and
// reading what a mix holds.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Platform/FMODEx/FMODEx.h"

// A sound file in memory: frames x channels samples from fnSample(frame, channel). 32-bit float WAV by default,
// so that the mixer sees the values exactly.
inline std::vector<std::uint8_t> KvTestMakeSoundFile(int iChannels, int iRate, int iFrames,
                                                     const std::function<float(int, int)>& fnSample,
                                                     int iFormat = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
  struct SBuffer {
    std::vector<std::uint8_t> bytes;
    sf_count_t iPosition = 0;
  } buffer;
  SF_VIRTUAL_IO io = {};
  io.get_filelen = [](void* pUser) -> sf_count_t { return static_cast<sf_count_t>(static_cast<SBuffer*>(pUser)->bytes.size()); };
  io.seek = [](sf_count_t iOffset, int iWhence, void* pUser) -> sf_count_t {
    SBuffer& b = *static_cast<SBuffer*>(pUser);
    const sf_count_t iBase = iWhence == SEEK_CUR ? b.iPosition : (iWhence == SEEK_END ? static_cast<sf_count_t>(b.bytes.size()) : 0);
    b.iPosition = iBase + iOffset;
    return b.iPosition;
  };
  io.read = [](void* pDest, sf_count_t iCount, void* pUser) -> sf_count_t {
    SBuffer& b = *static_cast<SBuffer*>(pUser);
    const sf_count_t iTake = std::max<sf_count_t>(0, std::min<sf_count_t>(iCount, static_cast<sf_count_t>(b.bytes.size()) - b.iPosition));
    std::memcpy(pDest, b.bytes.data() + b.iPosition, static_cast<size_t>(iTake));
    b.iPosition += iTake;
    return iTake;
  };
  io.write = [](const void* pSource, sf_count_t iCount, void* pUser) -> sf_count_t {
    SBuffer& b = *static_cast<SBuffer*>(pUser);
    if (b.iPosition + iCount > static_cast<sf_count_t>(b.bytes.size())) {
      b.bytes.resize(static_cast<size_t>(b.iPosition + iCount));
    }
    std::memcpy(b.bytes.data() + b.iPosition, pSource, static_cast<size_t>(iCount));
    b.iPosition += iCount;
    return iCount;
  };
  io.tell = [](void* pUser) -> sf_count_t { return static_cast<SBuffer*>(pUser)->iPosition; };
  SF_INFO info = {};
  info.channels = iChannels;
  info.samplerate = iRate;
  info.format = iFormat;
  SNDFILE* pFile = sf_open_virtual(&io, SFM_WRITE, &info, &buffer);
  if (pFile == nullptr) {
    return {};
  }
  std::vector<float> frames(static_cast<size_t>(iFrames) * iChannels);
  for (int f = 0; f < iFrames; ++f) {
    for (int c = 0; c < iChannels; ++c) {
      frames[static_cast<size_t>(f) * iChannels + c] = fnSample(f, c);
    }
  }
  sf_writef_float(pFile, frames.data(), iFrames);
  sf_close(pFile);
  return buffer.bytes;
}

// A constant signal (one value per channel).
inline std::vector<std::uint8_t> KvTestMakeConstantSound(int iRate, int iFrames, std::vector<float> values) {
  return KvTestMakeSoundFile(static_cast<int>(values.size()), iRate, iFrames,
                             [values](int, int c) { return values[static_cast<size_t>(c)]; });
}

// A mono sine of the given frequency and amplitude.
inline std::vector<std::uint8_t> KvTestMakeSine(int iRate, int iFrames, double dHz, float fAmplitude) {
  return KvTestMakeSoundFile(1, iRate, iFrames, [=](int f, int) {
    return fAmplitude * static_cast<float>(std::sin(2.0 * 3.14159265358979 * dHz * f / iRate));
  });
}

inline void KvTestWriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Frequency of one channel of an interleaved stereo block, from its rising zero crossings (Hz).
inline double KvTestMeasureFrequency(const std::vector<float>& stereo, int iChannel, int iRate) {
  int iFirst = -1;
  int iLast = -1;
  int iCrossings = 0;
  const int iFrames = static_cast<int>(stereo.size() / 2);
  for (int f = 1; f < iFrames; ++f) {
    if (stereo[2 * (f - 1) + iChannel] < 0.0f && stereo[2 * f + iChannel] >= 0.0f) {
      if (iFirst < 0) {
        iFirst = f;
      } else {
        ++iCrossings;
      }
      iLast = f;
    }
  }
  return iCrossings > 0 ? static_cast<double>(iCrossings) * iRate / (iLast - iFirst) : 0.0;
}

// Largest absolute sample of one channel (0 or 1) of an interleaved stereo block, from frame iFrom on.
inline float KvTestPeak(const std::vector<float>& stereo, int iChannel, size_t uiFrom = 0) {
  float fPeak = 0.0f;
  for (size_t f = uiFrom; f < stereo.size() / 2; ++f) {
    fPeak = std::max(fPeak, std::fabs(stereo[2 * f + iChannel]));
  }
  return fPeak;
}

// The share of a block's energy at one frequency (Goertzel), for mono samples at iRate: about 1 for a pure tone,
// near 0 without it; 0 for a silent block. A block of n samples tells apart tones iRate / n Hz apart.
inline double KvTestToneShare(const float* pSamples, size_t uiCount, double dHz, int iRate) {
  const double dCoefficient = 2.0 * std::cos(2.0 * M_PI * dHz / iRate);
  double dPrev = 0.0, dPrev2 = 0.0, dEnergy = 0.0;
  for (size_t i = 0; i < uiCount; ++i) {
    const double dValue = pSamples[i] + dCoefficient * dPrev - dPrev2;
    dPrev2 = dPrev;
    dPrev = dValue;
    dEnergy += static_cast<double>(pSamples[i]) * pSamples[i];
  }
  if (dEnergy < 1e-6 * static_cast<double>(uiCount)) return 0.0;
  const double dPower = dPrev * dPrev + dPrev2 * dPrev2 - dCoefficient * dPrev * dPrev2;
  return 2.0 * dPower / (static_cast<double>(uiCount) * dEnergy);
}

// One page of an Ogg file: where it starts, its bytes, and its granule position (for Vorbis, the frames decoded
// once the page has been read; -1 on a page that ends no packet).
struct SKvTestOggPage {
  size_t uiOffset;
  size_t uiSize;
  std::int64_t iGranule;
};

// The whole pages of an Ogg file, in order (the first two of a Vorbis file hold its headers, its sound follows).
inline std::vector<SKvTestOggPage> KvTestOggPages(const std::vector<std::uint8_t>& bytes) {
  std::vector<SKvTestOggPage> pages;
  for (size_t uiAt = 0; uiAt + 27 <= bytes.size() && std::memcmp(bytes.data() + uiAt, "OggS", 4) == 0;) {
    const size_t uiSegments = bytes[uiAt + 26];
    size_t uiSize = 27 + uiSegments;
    for (size_t i = 0; i < uiSegments && uiAt + 27 + i < bytes.size(); ++i) uiSize += bytes[uiAt + 27 + i];
    if (uiAt + uiSize > bytes.size()) break;
    std::int64_t iGranule = 0;
    std::memcpy(&iGranule, bytes.data() + uiAt + 6, sizeof(iGranule));
    pages.push_back({uiAt, uiSize, iGranule});
    uiAt += uiSize;
  }
  return pages;
}

// A sound of the sound library made from a file image in memory (null when it cannot be made).
inline FMOD::Sound* KvTestCreateSound(FMOD::System* pSystem, const std::vector<std::uint8_t>& bytes,
                                      FMOD_MODE eMode = FMOD_OPENMEMORY | FMOD_2D) {
  FMOD_CREATESOUNDEXINFO exinfo = {};
  exinfo.cbsize = sizeof(exinfo);
  exinfo.length = static_cast<unsigned int>(bytes.size());
  FMOD::Sound* pSound = nullptr;
  pSystem->createSound(reinterpret_cast<const char*>(bytes.data()), eMode, &exinfo, &pSound);
  return pSound;
}
