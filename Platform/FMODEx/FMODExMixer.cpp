// The stand-in's mixer: every voice read from its sound (resampled through libsamplerate when its frequency
// is not the mix rate), scaled by its gains and added into a stereo float block.
#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Platform/FMODEx/FMODExInternal.h"

namespace FMODExInternal {

namespace {

// Reads up to iFrames source frames of the voice into pDest, looping as its loop count says. Fewer frames
// mean the sound has ended (bSourceEnded is then set).
std::int64_t readSource(Voice& voice, float* pDest, std::int64_t iFrames) {
  SoundState& sound = *voice.pSound;
  const int iChannels = sound.iChannels;
  std::int64_t iDone = 0;
  bool bPassGaveFrames = voice.iCursor > 0;
  while (iDone < iFrames && !voice.bSourceEnded) {
    std::int64_t iGot = 0;
    if (sound.bStream) {
      iGot = sound.pStream->read(pDest + iDone * iChannels, iFrames - iDone);
    } else {
      iGot = std::max<std::int64_t>(0, std::min(iFrames - iDone, sound.iLengthFrames - voice.iCursor));
      if (iGot > 0) {
        std::memcpy(pDest + iDone * iChannels, sound.samples.data() + voice.iCursor * iChannels,
                    static_cast<size_t>(iGot * iChannels) * sizeof(float));
      }
    }
    voice.iCursor += iGot;
    iDone += iGot;
    bPassGaveFrames = bPassGaveFrames || iGot > 0;
    if (iDone < iFrames) {
      // The end of the sound: loop, or end. A pass that gave nothing at all ends it too.
      const bool bLoops = voice.iLoopsLeft != 0 && bPassGaveFrames;
      if (bLoops && (!sound.bStream || sound.pStream->rewind())) {
        if (voice.iLoopsLeft > 0) {
          --voice.iLoopsLeft;
        }
        voice.iCursor = 0;
        bPassGaveFrames = false;
      } else {
        voice.bSourceEnded = true;
      }
    }
  }
  return iDone;
}

// Resamples a sample straight from its frames in memory (no copy of the input), crossing loops in place, into
// up to iFrames output frames; fewer mean the sound has ended and the resampler has given out all it held.
std::int64_t resampleSample(Voice& voice, double dRatio, float* pOut, std::int64_t iFrames) {
  static const float s_fNoInput = 0.0f;
  SoundState& sound = *voice.pSound;
  const int iChannels = sound.iChannels;
  std::int64_t iDone = 0;
  while (iDone < iFrames) {
    if (!voice.bSourceEnded && voice.iCursor >= sound.iLengthFrames) {
      if (voice.iLoopsLeft != 0 && sound.iLengthFrames > 0) {
        if (voice.iLoopsLeft > 0) {
          --voice.iLoopsLeft;
        }
        voice.iCursor = 0;
      } else {
        voice.bSourceEnded = true;
      }
    }
    SRC_DATA data = {};
    data.data_in = voice.bSourceEnded ? &s_fNoInput : sound.samples.data() + voice.iCursor * iChannels;
    data.input_frames = voice.bSourceEnded ? 0 : static_cast<long>(sound.iLengthFrames - voice.iCursor);
    data.data_out = pOut + iDone * iChannels;
    data.output_frames = static_cast<long>(iFrames - iDone);
    data.src_ratio = dRatio;
    data.end_of_input = voice.bSourceEnded ? 1 : 0;
    if (src_process(voice.pResampler, &data) != 0) {
      break;
    }
    voice.iCursor += data.input_frames_used;
    iDone += data.output_frames_gen;
    if (data.input_frames_used == 0 && data.output_frames_gen == 0) {
      break;  // drained after the end, or nothing it can do
    }
  }
  return iDone;
}

long resamplerCallback(void* pUser, float** ppData) {
  Voice& voice = *static_cast<Voice*>(pUser);
  const int iChannels = voice.pSound->iChannels;
  constexpr std::int64_t iChunk = 256;
  voice.resamplerInput.resize(static_cast<size_t>(iChunk * iChannels));
  const std::int64_t iGot = readSource(voice, voice.resamplerInput.data(), iChunk);
  *ppData = voice.resamplerInput.data();
  return static_cast<long>(iGot);
}

int converterFor(FMOD_DSP_RESAMPLER eResampler) {
  switch (eResampler) {
    case FMOD_DSP_RESAMPLER_NOINTERP:
      return SRC_ZERO_ORDER_HOLD;
    case FMOD_DSP_RESAMPLER_LINEAR:
      return SRC_LINEAR;
    default:
      return SRC_SINC_FASTEST;
  }
}

// Product of the group volumes from the voice's group to the master group; 0 when the chain does not reach
// the master group (a group that was never added is not heard).
float groupGain(const SystemState& system, const GroupState* pGroup) {
  float fGain = 1.0f;
  for (int iDepth = 0; pGroup != nullptr && iDepth < 64; ++iDepth) {
    fGain *= pGroup->fVolume;
    if (pGroup == &system.master) {
      return fGain;
    }
    pGroup = pGroup->pParent;
  }
  return 0.0f;
}

}  // namespace

void SystemState::mixLocked(float* pOut, int iFrames) {
  std::fill(pOut, pOut + static_cast<size_t>(iFrames) * 2, 0.0f);
  for (Voice& voice : voices) {
    if (!voice.bActive || voice.bPaused || voice.fFrequency <= 0.0f) {
      continue;
    }
    SoundState& sound = *voice.pSound;
    const int iChannels = sound.iChannels;
    voiceBlock.resize(static_cast<size_t>(iFrames * iChannels));
    std::int64_t iGot = 0;
    const bool bDirect = voice.fFrequency == static_cast<float>(iRate);
    if (bDirect) {
      if (voice.bResampling) {
        voice.bResampling = false;
      }
      iGot = readSource(voice, voiceBlock.data(), iFrames);
      voice.dPlayed = static_cast<double>(voice.iCursor);
    } else {
      if (voice.pResampler == nullptr) {
        // A sample is read in place; a stream's decoder fills the resampler through its callback.
        int iError = 0;
        voice.pResampler = sound.bStream
                               ? src_callback_new(&resamplerCallback, converterFor(eResampler), iChannels, &iError, &voice)
                               : src_new(converterFor(eResampler), iChannels, &iError);
        if (voice.pResampler == nullptr) {
          stopVoiceLocked(voice);
          continue;
        }
      }
      if (!voice.bResampling) {
        src_reset(voice.pResampler);
        voice.bResampling = true;
        voice.dPlayed = static_cast<double>(voice.iCursor);
      }
      const double dRatio = std::clamp(static_cast<double>(iRate) / voice.fFrequency, 1.0 / 256.0, 256.0);
      // A new frequency holds from the start of the block, as the library applies it at the next mix: no glide
      // across the block (which also keeps the played position exact).
      src_set_ratio(voice.pResampler, dRatio);
      iGot = sound.bStream ? src_callback_read(voice.pResampler, dRatio, iFrames, voiceBlock.data())
                           : resampleSample(voice, dRatio, voiceBlock.data(), iFrames);
      iGot = std::max<std::int64_t>(iGot, 0);
      voice.dPlayed += static_cast<double>(iGot) / dRatio;
    }

    const float fGain = voice.fVolume * groupGain(*this, voice.pGroup);
    const float fLeft = std::min(1.0f, 1.0f - voice.fPan) * fGain;
    const float fRight = std::min(1.0f, 1.0f + voice.fPan) * fGain;
    float afToLeft[gc_iMAX_INPUT_CHANNELS];
    float afToRight[gc_iMAX_INPUT_CHANNELS];
    for (int c = 0; c < iChannels; ++c) {
      const bool bLeftSide = iChannels == 1 || (c % 2) == 0;
      const bool bRightSide = iChannels == 1 || (c % 2) == 1;
      afToLeft[c] = bLeftSide ? fLeft * voice.afInputLevels[c] : 0.0f;
      afToRight[c] = bRightSide ? fRight * voice.afInputLevels[c] : 0.0f;
    }
    const float* pIn = voiceBlock.data();
    if (iChannels == 1) {
      for (std::int64_t f = 0; f < iGot; ++f) {
        pOut[2 * f] += pIn[f] * afToLeft[0];
        pOut[2 * f + 1] += pIn[f] * afToRight[0];
      }
    } else if (iChannels == 2) {
      for (std::int64_t f = 0; f < iGot; ++f) {
        pOut[2 * f] += pIn[2 * f] * afToLeft[0];
        pOut[2 * f + 1] += pIn[2 * f + 1] * afToRight[1];
      }
    } else {
      for (std::int64_t f = 0; f < iGot; ++f) {
        for (int c = 0; c < iChannels; ++c) {
          pOut[2 * f] += pIn[f * iChannels + c] * afToLeft[c];
          pOut[2 * f + 1] += pIn[f * iChannels + c] * afToRight[c];
        }
      }
    }
    if (iGot < iFrames) {
      stopVoiceLocked(voice);
    }
  }
}

void SystemState::runOutputLocked(float* pOut, int iFrames, std::vector<float>* pObserved) {
  const bool bObserve = pfnObserver.load() != nullptr && pObserved != nullptr;
  while (iFrames > 0) {
    const int iBlock = std::min(iFrames, gc_iMIX_BLOCK_FRAMES);
    mixBlock.resize(static_cast<size_t>(iBlock) * 2);
    mixLocked(mixBlock.data(), iBlock);
    if (pWavFile != nullptr) {
      sf_writef_float(static_cast<SNDFILE*>(pWavFile), mixBlock.data(), iBlock);
    }
    if (bObserve) {
      pObserved->insert(pObserved->end(), mixBlock.begin(), mixBlock.end());
    }
    if (pOut != nullptr) {
      std::copy(mixBlock.begin(), mixBlock.end(), pOut);
      pOut += static_cast<size_t>(iBlock) * 2;
    }
    uiMixedFrames += static_cast<std::uint64_t>(iBlock);
    iFrames -= iBlock;
  }
}

void SystemState::stopVoiceLocked(Voice& voice) {
  voice.bActive = false;
  voice.bResampling = false;
  if (voice.pResampler != nullptr) {
    src_delete(voice.pResampler);
    voice.pResampler = nullptr;
  }
  voice.pSound = nullptr;
  voice.pGroup = nullptr;
}

}  // namespace FMODExInternal
