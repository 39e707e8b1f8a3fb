// The stand-in's mixer: every voice read from its sound (resampled when its frequency is not the mix rate:
// linearly by the mixer itself, by libsamplerate for the other resamplers), scaled by its gains and added into a
// stereo float block. A sample is read from its
// frames in memory, a stream from the ring its decoder thread fills; the mixer allocates nothing and never
// reads a file.
#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Platform/FMODEx/FMODExInternal.h"

namespace FMODExInternal {

namespace {

using ERun = StreamFeed::ERun;

// The run of source frames at the voice's cursor, read in place: a sample's frames to the end of the pass, or
// what a stream's ring holds.
ERun peekSource(Voice& voice, bool bWait, const float** ppFrames, std::int64_t* piFrames) {
  SoundState& sound = *voice.pSound;
  if (sound.bStream) {
    return sound.pStream->peek(bWait, ppFrames, piFrames);
  }
  if (voice.iCursor >= sound.iLengthFrames) {
    return ERun::PassEnd;
  }
  *ppFrames = sound.samples.data() + voice.iCursor * sound.iChannels;
  *piFrames = sound.iLengthFrames - voice.iCursor;
  return ERun::Frames;
}

void consumeSource(Voice& voice, std::int64_t iFrames) {
  if (voice.pSound->bStream) {
    voice.pSound->pStream->consume(iFrames);
  }
  voice.iCursor += iFrames;
}

// At the end of a pass: the next pass when the voice loops (and its sound has frames), else the source ends.
void endPass(Voice& voice, ERun eRun) {
  SoundState& sound = *voice.pSound;
  bool bLoops = eRun == ERun::PassEnd && voice.iLoopsLeft != 0;
  if (sound.bStream) {
    if (eRun == ERun::PassEnd) {
      sound.pStream->endPass();
    }
  } else {
    bLoops = bLoops && sound.iLengthFrames > 0;
  }
  if (bLoops) {
    if (voice.iLoopsLeft > 0) {
      --voice.iLoopsLeft;
    }
    voice.iCursor = 0;
  } else {
    voice.bSourceEnded = true;
  }
}

// Copies up to iFrames source frames of the voice into pDest, looping as its loop count says. Fewer frames mean
// the sound has ended (bSourceEnded is then set) or its stream has not been decoded that far (an underrun).
std::int64_t readSource(Voice& voice, bool bWait, float* pDest, std::int64_t iFrames) {
  const int iChannels = voice.pSound->iChannels;
  std::int64_t iDone = 0;
  while (iDone < iFrames && !voice.bSourceEnded) {
    const float* pRun = nullptr;
    std::int64_t iRun = 0;
    const ERun eRun = peekSource(voice, bWait, &pRun, &iRun);
    if (eRun == ERun::Starved) {
      break;
    }
    if (eRun != ERun::Frames) {
      endPass(voice, eRun);
      continue;
    }
    const std::int64_t iTake = std::min(iRun, iFrames - iDone);
    std::memcpy(pDest + iDone * iChannels, pRun, static_cast<size_t>(iTake * iChannels) * sizeof(float));
    consumeSource(voice, iTake);
    iDone += iTake;
  }
  return iDone;
}

// Linear interpolation of one run of iIn source frames into up to iOutMax output frames; returns the frames
// made and sets *piUsed to the source frames consumed. The output frame at position t (source frames from the
// run's start) lies between frames floor(t) - 1 and floor(t), the frame before the run being the last one of
// the previous run, so loops and a stream's ring join without a break. These are libsamplerate's linear
// converter's values (the same one-frame lag, the same arithmetic) with the position kept in one running sum
// instead of being split and divided again at every frame.
template <int CHANNELS>
std::int64_t interpolateRun(Voice& voice, int iChannelsAny, double dStep, const float* pIn, std::int64_t iIn,
                            float* pOut, std::int64_t iOutMax, std::int64_t* piUsed) {
  const int iChannels = CHANNELS > 0 ? CHANNELS : iChannelsAny;
  *piUsed = 0;
  if (iIn <= 0) {
    return 0;
  }
  float* pLast = voice.afLastFrame;
  if (!voice.bLinearPrimed) {
    std::copy(pIn, pIn + iChannels, pLast);
    voice.bLinearPrimed = true;
  }
  const double dEnd = static_cast<double>(iIn);
  double dAt = voice.dLinearPosition;
  std::int64_t iOut = 0;
  // Before the run's first frame: between the last frame and the first.
  for (; iOut < iOutMax && dAt < 1.0 && dAt < dEnd; ++iOut, dAt += dStep) {
    for (int c = 0; c < iChannels; ++c) {
      pOut[iOut * iChannels + c] = static_cast<float>(pLast[c] + dAt * (pIn[c] - pLast[c]));
    }
  }
  for (; iOut < iOutMax && dAt < dEnd; ++iOut, dAt += dStep) {
    const std::int64_t iAt = static_cast<std::int64_t>(dAt);
    const double dFraction = dAt - static_cast<double>(iAt);
    const float* pFrom = pIn + (iAt - 1) * iChannels;
    for (int c = 0; c < iChannels; ++c) {
      pOut[iOut * iChannels + c] =
          static_cast<float>(pFrom[c] + dFraction * (pFrom[iChannels + c] - pFrom[c]));
    }
  }
  const std::int64_t iUsed = std::min(static_cast<std::int64_t>(dAt), iIn);
  voice.dLinearPosition = dAt - static_cast<double>(iUsed);
  if (iUsed > 0) {
    std::copy(pIn + (iUsed - 1) * iChannels, pIn + iUsed * iChannels, pLast);
  }
  *piUsed = iUsed;
  return iOut;
}

// One run through the voice's resampler: its libsamplerate converter, or the mixer's linear one when it has
// none (the linear resampler needs no converter). Returns the
// frames made (negative on a converter error) and sets *piUsed to the source frames consumed.
std::int64_t resampleRun(Voice& voice, double dRatio, const float* pIn, std::int64_t iIn, bool bEndOfInput,
                         float* pOut, std::int64_t iOutMax, std::int64_t* piUsed) {
  const int iChannels = voice.pSound->iChannels;
  if (voice.pResampler == nullptr) {
    const double dStep = 1.0 / dRatio;
    switch (iChannels) {
      case 1:
        return interpolateRun<1>(voice, 1, dStep, pIn, iIn, pOut, iOutMax, piUsed);
      case 2:
        return interpolateRun<2>(voice, 2, dStep, pIn, iIn, pOut, iOutMax, piUsed);
      default:
        return interpolateRun<0>(voice, iChannels, dStep, pIn, iIn, pOut, iOutMax, piUsed);
    }
  }
  SRC_DATA data = {};
  data.data_in = pIn;
  data.input_frames = static_cast<long>(iIn);
  data.data_out = pOut;
  data.output_frames = static_cast<long>(iOutMax);
  data.src_ratio = dRatio;
  data.end_of_input = bEndOfInput ? 1 : 0;
  if (src_process(voice.pResampler, &data) != 0) {
    return -1;
  }
  *piUsed = data.input_frames_used;
  return data.output_frames_gen;
}

// Resamples the voice's source in place (a sample's frames, a stream's ring), crossing loops without a break,
// into up to iFrames output frames. Fewer mean the sound has ended and the resampler has given out all it held,
// or an underrun.
std::int64_t resampleSource(Voice& voice, double dRatio, bool bWait, float* pOut, std::int64_t iFrames) {
  static const float s_fNoInput = 0.0f;
  const int iChannels = voice.pSound->iChannels;
  std::int64_t iDone = 0;
  while (iDone < iFrames) {
    const float* pRun = &s_fNoInput;
    std::int64_t iRun = 0;
    if (!voice.bSourceEnded) {
      const ERun eRun = peekSource(voice, bWait, &pRun, &iRun);
      if (eRun == ERun::Starved) {
        break;  // what the resampler holds waits for the rest of the stream
      }
      if (eRun != ERun::Frames) {
        endPass(voice, eRun);
        continue;
      }
    }
    std::int64_t iUsed = 0;
    const std::int64_t iMade =
        resampleRun(voice, dRatio, pRun, iRun, voice.bSourceEnded, pOut + iDone * iChannels, iFrames - iDone, &iUsed);
    if (iMade < 0) {
      break;
    }
    consumeSource(voice, iUsed);
    iDone += iMade;
    if (iUsed == 0 && iMade == 0) {
      break;  // drained after the end, or nothing it can do
    }
  }
  return iDone;
}

int converterFor(FMOD_DSP_RESAMPLER eResampler) {
  switch (eResampler) {
    case FMOD_DSP_RESAMPLER_NOINTERP:
      return SRC_ZERO_ORDER_HOLD;
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

bool SystemState::prepareResamplerLocked(Voice& voice) {
  const int iChannels = voice.pSound->iChannels;
  if (eResampler == FMOD_DSP_RESAMPLER_LINEAR || voice.fFrequency == static_cast<float>(iRate) ||
      (voice.pResampler != nullptr && voice.iResamplerChannels == iChannels)) {
    return true;
  }
  if (voice.pResampler != nullptr) {
    src_delete(voice.pResampler);
  }
  int iError = 0;
  voice.pResampler = src_new(converterFor(eResampler), iChannels, &iError);
  voice.iResamplerChannels = voice.pResampler != nullptr ? iChannels : 0;
  voice.bResampling = false;
  return voice.pResampler != nullptr;
}

void SystemState::mixLocked(float* pOut, int iFrames) {
  std::fill(pOut, pOut + static_cast<size_t>(iFrames) * 2, 0.0f);
  // The manual output's time stands still while a stream decodes; the real-time outputs never wait for one.
  const bool bWaitForStreams = eOutput == EFMODExOutput::Manual;
  for (Voice& voice : voices) {
    if (!voice.bActive || voice.bPaused || voice.fFrequency <= 0.0f) {
      continue;
    }
    SoundState& sound = *voice.pSound;
    const int iChannels = sound.iChannels;
    float* pVoiceBlock = afVoiceBlock;
    std::int64_t iGot = 0;
    bool bEnded = false;
    const bool bDirect = voice.fFrequency == static_cast<float>(iRate);
    if (bDirect) {
      voice.bResampling = false;
      iGot = readSource(voice, bWaitForStreams, pVoiceBlock, iFrames);
      voice.dPlayed = static_cast<double>(voice.iCursor);
      bEnded = voice.bSourceEnded;
    } else {
      const bool bLinear = eResampler == FMOD_DSP_RESAMPLER_LINEAR;
      if (!bLinear && (voice.pResampler == nullptr || voice.iResamplerChannels != iChannels)) {
        stopVoiceLocked(voice);  // prepareResamplerLocked failed where the frequency was set
        continue;
      }
      if (!voice.bResampling) {
        if (bLinear) {
          voice.bLinearPrimed = false;
          voice.dLinearPosition = 0.0;
        } else {
          src_reset(voice.pResampler);
        }
        voice.bResampling = true;
        voice.dPlayed = static_cast<double>(voice.iCursor);
      }
      const double dRatio = std::clamp(static_cast<double>(iRate) / voice.fFrequency, 1.0 / 256.0, 256.0);
      // A new frequency holds from the start of the block, as the library applies it at the next mix: no glide
      // across the block (which also keeps the played position exact).
      if (!bLinear) {
        src_set_ratio(voice.pResampler, dRatio);
      }
      iGot = std::max<std::int64_t>(resampleSource(voice, dRatio, bWaitForStreams, pVoiceBlock, iFrames), 0);
      voice.dPlayed += static_cast<double>(iGot) / dRatio;
      bEnded = voice.bSourceEnded && iGot < iFrames;
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
    const float* pIn = pVoiceBlock;
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
    if (bEnded) {
      stopVoiceLocked(voice);
    }
  }
  for (const std::shared_ptr<PcmInput>& pInput : pcmInputs) {
    // An input only this system still holds gets nothing more: what it holds plays out.
    pInput->mixInto(pOut, iFrames, pInput.use_count() == 1);
  }
}

void SystemState::runOutput(float* pOut, int iFrames, float* pScratch) {
  while (iFrames > 0) {
    const int iBlock = std::min(iFrames, gc_iMIX_BLOCK_FRAMES);
    float* pBlock = pOut != nullptr ? pOut : pScratch;
    {
      std::lock_guard<std::mutex> guard(lock);
      mixLocked(pBlock, iBlock);
      if (pWavFile != nullptr) {
        sf_writef_float(static_cast<SNDFILE*>(pWavFile), pBlock, iBlock);
      }
      uiMixedFrames += static_cast<std::uint64_t>(iBlock);
    }
    notifyObserver(*this, pBlock, iBlock);
    if (pOut != nullptr) {
      pOut += static_cast<size_t>(iBlock) * 2;
    }
    iFrames -= iBlock;
  }
}

void SystemState::dropPlayedInputs() {
  std::lock_guard<std::mutex> guard(lock);
  pcmInputs.erase(std::remove_if(pcmInputs.begin(), pcmInputs.end(),
                                 [](const std::shared_ptr<PcmInput>& pInput) {
                                   return pInput.use_count() == 1 && pInput->empty();
                                 }),
                  pcmInputs.end());
}

void SystemState::stopVoiceLocked(Voice& voice) {
  voice.bActive = false;
  voice.bResampling = false;
  voice.pSound = nullptr;
  voice.pGroup = nullptr;
}

}  // namespace FMODExInternal
