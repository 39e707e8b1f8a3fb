#include "Corvane/Audio/ClFMODCueInstance.h"

#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Audio/ClFMODCueInstanceContainer.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/FMODEx/FMODEx.h"

namespace {

constexpr i32 gc_iMAX_STOP_TRIES = 10000;
constexpr i32 gc_iSTREAM_PRIORITY = 64;

// min + (max - min) x u, with u one draw of the random generator.
f32 randomInRange(f32 fMin, f32 fMax) { return fMin + (fMax - fMin) * KvMath::randomUnitFloat(); }

// Product of (volume x duck volume) over a list of categories; indices outside 0..9 count for nothing.
f32 categoryFactor(const i32* piCategories, i32 iCount) {
  f32 fFactor = 1.0f;
  for (i32 i = 0; i < iCount; ++i) {
    const i32 iCategory = piCategories[i];
    if (iCategory >= 0 && iCategory < MAX_NUMBER_CATEGORIES) {
      fFactor *= g_aAudioCategories[iCategory].m_fVolume * g_aAudioCategories[iCategory].m_fDuckVolume;
    }
  }
  return fFactor;
}

}  // namespace

const SPrerenderedCue* ClFMODCueInstance::cueData() const {
  KV_ASSERT_MSG(mpr_pParentContainer != nullptr && mpr_pParentContainer->getCommonCueData() != nullptr,
                "mpr_pParentContainer->getCommonCueData()");
  return mpr_pParentContainer->getCommonCueData();
}

i32 ClFMODCueInstance::initialize(ClCueInstanceContainer* pParent, SCueSoundSource* pSource) {
  KV_ASSERT_MSG(pParent != nullptr, "pParent");
  KV_ASSERT_MSG(pSource != nullptr, "pSound");
  mpr_pWAVDataContainer = pSource;
  mpr_pParentContainer = pParent;
  m_b2D = pParent->m_b2D;
  mp_pSound = pSource->mp_pSound;
  mp_pDryGroup = pSource->mp_pDryGroup;
  mp_pWetGroup = pSource->mp_pWetGroup;
  mp_pTrackDataFile = pSource->mp_pTrackDataFile;
  m_uiTrackDataNameHash = pSource->m_uiTrackDataNameHash;
  m_iSourceIndex = pSource->m_iSourceIndex;
  mp_pChannel = nullptr;
  mp_pTrackDataInstance = nullptr;
  m_fStartTimeOffset = 0.0f;
  for (i32 i = 0; i < 4; ++i) {
    m_afPosition[i] = 0.0f;
    m_afVelocity[i] = 0.0f;
  }
  mpr_iNumberDuckingCategories = 0;
  m_bDuckingOn = 0;
  m_fadeIn.set(0.0f, 0.0f, 1.0f);
  m_fadeOut.setRaw(0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
  m_bFadingOut = 0;
  m_fVolume = 1.0f;
  m_fLastVolume = -1.0f;
  m_fPan = 0.0f;
  m_fLastPan = -2.0f;
  m_fPitch = 1.0f;
  m_fLastPitch = -2.0f;
  if (pParent->hasMultichannelConfigs()) {
    for (i32 i = 0; i < MAX_NUM_MULTICHANNEL_CHANNELS; ++i) {
      m_afChannelLevels[i] = 1.0f;
      m_afInputChannelMix[i] = -1.0f;
    }
  }
  if (pSource->mp_bUseCustomCodec) {
    KV_ASSERT_MSG(!pParent->isLooping(), "!mpr_pParentContainer->isLooping()");
  }
  if (mp_pSound != nullptr) {
    ClAudioLockScope lock;
    mp_pSound->setLoopCount(pParent->isLooping() ? -1 : 0);
  }
  m_bPaused = 0;
  return 1;
}

void ClFMODCueInstance::prepare() {
  for (i32 iTry = 0; iTry < gc_iMAX_STOP_TRIES && !isFinished(); ++iTry) {
    stop();
  }
  const SPrerenderedCue* pCue = cueData();
  m_fVolume = pCue->m_iRandomVolume ? randomInRange(pCue->m_fVolumeMin, pCue->m_fVolumeMax) : pCue->m_fVolume;
  for (i32 i = 0; i < pCue->m_iNumMultichannelConfigs; ++i) {
    setupChannelLevel(static_cast<u32>(i));
  }
  m_fPan = pCue->m_iRandomPan ? randomInRange(pCue->m_fPanMin, pCue->m_fPanMax) : pCue->m_fPan;
  m_fPitch = pCue->m_iRandomPitch ? randomInRange(pCue->m_fPitchMin, pCue->m_fPitchMax) : pCue->m_fPitch;
  if (!ClAudioManager::queuePending(this)) {
    stop();
  }
}

void ClFMODCueInstance::setupChannelLevel(u32 uiConfig) {
  const SPrerenderedCue* pCue = cueData();
  KV_ASSERT_MSG(pCue != nullptr, "pCommonCueData");
  const SMultichannelConfig* pMCConfig = ClSoundBank::multichannelConfig(pCue, static_cast<i32>(uiConfig));
  KV_ASSERT_MSG(pMCConfig != nullptr, "pMCConfig");
  const f32 fLevel = pMCConfig->m_iRandomLevel ? randomInRange(pMCConfig->m_fLevelMin, pMCConfig->m_fLevelMax)
                                               : pMCConfig->m_fLevel;
  const u32 uiA = static_cast<u32>(pMCConfig->m_iChannelA);
  KV_ASSERT_MSG(uiA < MAX_NUM_MULTICHANNEL_CHANNELS, "uiIndex < MAX_NUM_MULTICHANNEL_CHANNELS");
  m_afChannelLevels[uiA] = fLevel;
  if (pMCConfig->m_iType == 1) {
    const u32 uiB = static_cast<u32>(pMCConfig->m_iChannelB);
    KV_ASSERT_MSG(uiB < MAX_NUM_MULTICHANNEL_CHANNELS, "uiIndex < MAX_NUM_MULTICHANNEL_CHANNELS");
    m_afChannelLevels[uiB] = fLevel;
  }
}

void ClFMODCueInstance::start() {
  if (mp_pChannel != nullptr && !isFinished()) {
    stop();
  }
  mp_pChannel = nullptr;
  {
    ClAudioLockScope lock;
    ClAudioManager::getSystem()->playSound(FMOD_CHANNEL_FREE, mp_pSound, true, &mp_pChannel);
  }
  if (mp_pChannel == nullptr) {
    return;
  }
  {
    ClAudioLockScope lock;
    if (mpr_pParentContainer->isStreamed()) {
      mp_pChannel->setPriority(gc_iSTREAM_PRIORITY);
    }
    mp_pChannel->setChannelGroup(mp_pDryGroup);
    if (mp_pWetGroup != nullptr) {
      mp_pWetGroup->setVolume(0.0f);
    }
  }
  applyPan();
  applyPitch();
  applyVolume();
  {
    ClAudioLockScope lock;
    mp_pChannel->setPaused(false);
  }
  m_fTrackTime = 0.0f;
}

void ClFMODCueInstance::tick() {
  if (m_bFadingOut) {
    m_fadeOut.tick();
  } else {
    m_fadeIn.tick();
  }
  applyPan();
  applyPitch();
  applyVolume();
}

i32 ClFMODCueInstance::stop() {
  if (mp_pChannel != nullptr) {
    ClAudioLockScope lock;
    mp_pChannel->stop();
  }
  mp_pTrackDataInstance = nullptr;
  return 1;
}

i32 ClFMODCueInstance::fadeOut(f32 fSeconds) {
  KV_ASSERT_MSG(mpr_pParentContainer != nullptr, "Cue instance has no parent container! Was it stopped already?");
  m_fadeOut.setRaw(0.0f, fSeconds, fSeconds > 0.0f ? 1.0f : 0.0f, 1.0f, 0.0f);
  m_bDuckingOn = 0;
  if (fSeconds > 0.0f) {
    mp_iCueState = gc_iCUE_STATE_FADING_OUT;
    m_bFadingOut = 1;
    mp_pTrackDataInstance = nullptr;
    return 0;
  }
  return stop();
}

bool ClFMODCueInstance::isFinished() {
  if (mp_pChannel == nullptr) {
    return true;
  }
  ClMutexLock& audioLock = ClAudioManager::getAudioLock();
  if (!audioLock.tryEnter()) {
    return false;
  }
  bool bPlaying = false;
  mp_pChannel->isPlaying(&bPlaying);
  audioLock.leave();
  return !bPlaying;
}

void ClFMODCueInstance::pause() {
  if (m_bPaused) {
    return;
  }
  m_uiPausedPosition = 0;
  if (mp_pChannel != nullptr) {
    ClAudioLockScope lock;
    mp_pChannel->setPaused(true);
    mp_pChannel->getPosition(&m_uiPausedPosition, FMOD_TIMEUNIT_MS);
  }
  m_bPaused = 1;
}

void ClFMODCueInstance::resume() {
  if (!m_bPaused) {
    return;
  }
  if (mp_pChannel != nullptr) {
    ClAudioLockScope lock;
    mp_pChannel->setPaused(false);
  }
  m_bPaused = 0;
}

bool ClFMODCueInstance::isLooping() const { return cueData()->m_iLooping > 0; }

f32 ClFMODCueInstance::envelope() const {
  return m_bFadingOut ? m_fadeOut.getCurrentValue() : m_fadeIn.getCurrentValue();
}

f32 ClFMODCueInstance::computeVolume() const {
  const SPrerenderedCue* pCue = cueData();
  const f32 fFactor = categoryFactor(pCue->m_aiCategories, pCue->m_iNumCategories);
  return m_fVolume * (envelope() * fFactor) * g_fAudioMasterVolume;
}

void ClFMODCueInstance::applyVolume() {
  const f32 fVolume = computeVolume();
  if (fVolume != m_fLastVolume && mp_pChannel != nullptr) {
    ClAudioLockScope lock;
    mp_pChannel->setVolume(fVolume);
  }
  m_fLastVolume = fVolume;
  if (mpr_pParentContainer->hasMultichannelConfigs()) {
    applyMultichannel();
  }
}

void ClFMODCueInstance::applyPan() {
  if (!m_b2D || mp_pChannel == nullptr) {
    return;
  }
  if (m_fPan != m_fLastPan) {
    ClAudioLockScope lock;
    mp_pChannel->setPan(m_fPan);
  }
  m_fLastPan = m_fPan;
}

void ClFMODCueInstance::applyPitch() {
  if (m_fPitch == m_fLastPitch || mp_pChannel == nullptr) {
    return;
  }
  const f32 fDefaultFrequency = cueData()->m_afDefaultFrequencies[m_iSourceIndex];
  if (fDefaultFrequency == gc_fNO_VALUE) {
    return;
  }
  {
    ClAudioLockScope lock;
    mp_pChannel->setFrequency(fDefaultFrequency * m_fPitch);
  }
  m_fLastPitch = m_fPitch;
}

f32 ClFMODCueInstance::computeChannelLevel(u32 uiConfig) const {
  const SMultichannelConfig* pMCConfig = ClSoundBank::multichannelConfig(cueData(), static_cast<i32>(uiConfig));
  KV_ASSERT_MSG(pMCConfig != nullptr, "pMCConfig");
  const f32 fFactor = categoryFactor(pMCConfig->m_aiCategories, pMCConfig->m_iNumCategories);
  return m_afChannelLevels[pMCConfig->m_iChannelA] * (envelope() * fFactor) * g_fAudioMasterVolume;
}

void ClFMODCueInstance::applyMultichannel() {
  const SPrerenderedCue* pCue = cueData();
  bool bChanged = false;
  i32 iCounted = 0;
  for (i32 i = 0; i < pCue->m_iNumMultichannelConfigs; ++i) {
    const SMultichannelConfig* pMCConfig = ClSoundBank::multichannelConfig(pCue, i);
    const f32 fLevel = computeChannelLevel(static_cast<u32>(i));
    const i32 iA = pMCConfig->m_iChannelA;
    if (pMCConfig->m_iType == 0) {
      if (m_afInputChannelMix[iA] != fLevel) {
        m_afInputChannelMix[iA] = fLevel;
        bChanged = true;
      }
      iCounted += 1;
    } else if (pMCConfig->m_iType == 1) {
      const i32 iB = pMCConfig->m_iChannelB;
      if (m_afInputChannelMix[iA] != fLevel || m_afInputChannelMix[iB] != fLevel) {
        m_afInputChannelMix[iA] = fLevel;
        m_afInputChannelMix[iB] = fLevel;
        bChanged = true;
      }
      iCounted += 2;
    }
  }
  if (bChanged && mp_pChannel != nullptr) {
    ClAudioLockScope lock;
    mp_pChannel->setInputChannelMix(m_afInputChannelMix, std::min(iCounted, MAX_NUM_MULTICHANNEL_CHANNELS));
  }
}

f32 ClFMODCueInstance::sourceLength() const {
  const f32 fLength = cueData()->m_afLengths[m_iSourceIndex];
  return fLength == gc_fNO_VALUE ? 0.0f : fLength;
}
