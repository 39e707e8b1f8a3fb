#include "Corvane/Audio/ClFMODCueInstance.h"

#include <algorithm>

#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Corvane/Audio/ClFMODCueInstanceContainer.h"
#include "Corvane/System/ClClock.h"
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
      const SAudioCategory& category = ClAudioManager::getCategory(iCategory);
      fFactor *= category.m_fVolume * category.m_fDuckVolume;
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
  setupDucking();
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
  if (m_uiTrackDataNameHash != gc_uiNO_TRACK_DATA && trackDataInstance() == nullptr) {
    mp_pTrackDataInstance = ClAudioTrackDataMgr::createInstance(m_uiTrackDataNameHash);
    m_uiTrackDataGeneration = mp_pTrackDataInstance != nullptr ? mp_pTrackDataInstance->m_uiGeneration : 0;
  }
  m_fTrackTime = 0.0f;
}

void ClFMODCueInstance::tick() {
  mpr_pParentContainer->sayCutEndWhenPlayed(mpr_pWAVDataContainer);
  tickDucking();
  if (m_bFadingOut) {
    m_fadeOut.tick();
  } else {
    m_fadeIn.tick();
  }
  applyPan();
  applyPitch();
  applyVolume();
  ClAudioTrackDataInstance* pTrackData = trackDataInstance();
  if (pTrackData == nullptr || !mpr_pParentContainer->isStreamed()) {
    return;
  }
  if (ClAudioTrackDataMgr::usesFixedFrameTime()) {
    m_fTrackTime += ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
    pTrackData->m_fTime = m_fTrackTime;
  } else if (mp_pChannel != nullptr) {
    unsigned int uiMs = 0;
    FMOD_RESULT eResult = FMOD_OK;
    {
      ClAudioLockScope lock;
      eResult = mp_pChannel->getPosition(&uiMs, FMOD_TIMEUNIT_MS);
    }
    // A channel that has ended has no position: the time stays where it was.
    if (eResult == FMOD_OK) {
      pTrackData->m_fTime = static_cast<f32>(uiMs) * 0.001f + m_fStartTimeOffset;
    }
  }
}

ClAudioTrackDataInstance* ClFMODCueInstance::trackDataInstance() {
  if (mp_pTrackDataInstance != nullptr &&
      !ClAudioTrackDataMgr::isLive(mp_pTrackDataInstance, m_uiTrackDataGeneration)) {
    mp_pTrackDataInstance = nullptr;
  }
  return mp_pTrackDataInstance;
}

void ClFMODCueInstance::releaseTrackData() {
  if (ClAudioTrackDataInstance* pTrackData = trackDataInstance()) {
    ClAudioTrackDataMgr::release(pTrackData);
  }
  mp_pTrackDataInstance = nullptr;
}

i32 ClFMODCueInstance::stop() {
  // A stream played to its end since the last update is said before its channel goes.
  if (mpr_pParentContainer != nullptr && mpr_pWAVDataContainer != nullptr) {
    mpr_pParentContainer->sayCutEndWhenPlayed(mpr_pWAVDataContainer);
  }
  if (mp_pChannel != nullptr) {
    ClAudioLockScope lock;
    mp_pChannel->stop();
  }
  releaseTrackData();
  return 1;
}

void ClFMODCueInstance::fadeIn(f32 fSeconds) { m_fadeIn.set(fSeconds > 0.0f ? fSeconds : 0.0f, 0.0f, 1.0f); }

i32 ClFMODCueInstance::fadeOut(f32 fSeconds) {
  KV_ASSERT_MSG(mpr_pParentContainer != nullptr, "Cue instance has no parent container! Was it stopped already?");
  m_fadeOut.setRaw(0.0f, fSeconds, fSeconds > 0.0f ? 1.0f : 0.0f, 1.0f, 0.0f);
  releaseDucking();
  if (fSeconds > 0.0f) {
    mp_iCueState = gc_iCUE_STATE_FADING_OUT;
    m_bFadingOut = 1;
    releaseTrackData();
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
  if (ClAudioTrackDataInstance* pTrackData = trackDataInstance()) {
    pTrackData->m_bPaused = 1;
  }
  m_bPaused = 1;
}

void ClFMODCueInstance::resume() {
  if (!m_bPaused) {
    return;
  }
  f32 fTime = 0.0f;
  if (mp_pChannel != nullptr) {
    ClAudioLockScope lock;
    mp_pChannel->setPaused(false);
    fTime = static_cast<f32>(m_uiPausedPosition) * 0.001f;
  }
  if (ClAudioTrackDataInstance* pTrackData = trackDataInstance()) {
    pTrackData->m_fTime = fTime;
    pTrackData->m_bPaused = 0;
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

void ClFMODCueInstance::setupDucking() {
  const SPrerenderedCue* pCue = cueData();
  if (pCue->mpr_iNumberDuckingCategories <= 0) {
    return;
  }
  // The bank loader refuses more groups than an instance has faders for.
  KV_ASSERT_MSG(pCue->mpr_iNumberDuckingCategories <= gc_iMAX_DUCKING_GROUPS,
                "mpr_iNumberDuckingCategories <= gc_iMAX_DUCKING_GROUPS");
  m_bDuckingOn = 1;
  mpr_iNumberDuckingCategories = pCue->mpr_iNumberDuckingCategories;
  const f32 fLength = sourceLength();
  for (i32 i = 0; i < mpr_iNumberDuckingCategories; ++i) {
    const SDuckingCategoryGroup& group = pCue->mp_aDuckingCategoryGroups[i];
    const f32 fIn = group.m_fFadeInTime;
    const f32 fOut = group.m_fFadeOutTime;
    const f32 fDuckTo = group.mp_fVolumeToDuckTo;
    if (fIn + fOut <= fLength) {
      const f32 fHold = group.m_fHoldTime > 0.0f ? group.m_fHoldTime : fLength;
      mpr_aDuckingFadeIns[i].set(fIn, 1.0f, fDuckTo);
      mpr_aDuckingFadeOuts[i].set(fOut, fDuckTo, 1.0f);
      m_afDuckHoldTimers[i] = std::max(fHold - fOut, 0.0f);
    } else {
      // Both fades shrunk in proportion to fit the sound; the rise starts one frame after the fall ends.
      const f32 fShrunkIn = fLength * fIn / (fIn + fOut);
      const f32 fShrunkOut = fLength * fOut / (fIn + fOut);
      mpr_aDuckingFadeIns[i].set(fShrunkIn, 1.0f, fDuckTo);
      mpr_aDuckingFadeOuts[i].set(fShrunkOut, fDuckTo, 1.0f);
      m_afDuckHoldTimers[i] = fShrunkIn + gc_fDUCK_SHRUNK_HOLD_EXTRA;
    }
  }
}

void ClFMODCueInstance::tickDucking() {
  if (m_bPaused || !m_bDuckingOn) {
    return;
  }
  KV_ASSERT_MSG(mpr_pParentContainer != nullptr, "mpr_pParentContainer");
  const SPrerenderedCue* pData = cueData();
  KV_ASSERT_MSG(pData != nullptr, "pData");
  const f32 fFrameTime = ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
  for (i32 loop = 0; loop < mpr_iNumberDuckingCategories; ++loop) {
    const f32 fDuckTo = pData->mp_aDuckingCategoryGroups[loop].mp_fVolumeToDuckTo;
    if (!mpr_aDuckingFadeIns[loop].isFinished()) {
      mpr_aDuckingFadeIns[loop].tick();
      KV_ASSERT_MSG(mpr_aDuckingFadeIns[loop].getCurrentValue() >= fDuckTo,
                    "mpr_aDuckingFadeIns[loop].getCurrentValue() >= "
                    "pData->mp_aDuckingCategoryGroups[loop].mp_fVolumeToDuckTo");
    }
    m_afDuckHoldTimers[loop] = std::max(m_afDuckHoldTimers[loop] - fFrameTime, 0.0f);
    if (m_afDuckHoldTimers[loop] == 0.0f && !mpr_aDuckingFadeOuts[loop].isFinished()) {
      mpr_aDuckingFadeOuts[loop].tick();
      KV_ASSERT_MSG(mpr_aDuckingFadeOuts[loop].getCurrentValue() >= fDuckTo,
                    "mpr_aDuckingFadeOuts[loop].getCurrentValue() >= "
                    "pData->mp_aDuckingCategoryGroups[loop].mp_fVolumeToDuckTo");
    }
  }
}

bool ClFMODCueInstance::duckingLevel(i32 iGroup, f32* pfLevel) const {
  if (!mpr_aDuckingFadeIns[iGroup].isFinished()) {
    *pfLevel = mpr_aDuckingFadeIns[iGroup].getCurrentValue();
  } else if (m_afDuckHoldTimers[iGroup] > 0.0f) {
    *pfLevel = cueData()->mp_aDuckingCategoryGroups[iGroup].mp_fVolumeToDuckTo;
  } else if (!mpr_aDuckingFadeOuts[iGroup].isFinished()) {
    *pfLevel = mpr_aDuckingFadeOuts[iGroup].getCurrentValue();
  } else {
    return false;
  }
  return true;
}

void ClFMODCueInstance::applyDucking() const {
  if (!m_bDuckingOn) {
    return;
  }
  const SPrerenderedCue* pCue = cueData();
  for (i32 i = 0; i < mpr_iNumberDuckingCategories; ++i) {
    f32 fLevel = 1.0f;
    if (duckingLevel(i, &fLevel)) {
      ClAudioManager::duckCategory(pCue->mp_aDuckingCategoryGroups[i].m_iCategory, fLevel);
    }
  }
}

void ClFMODCueInstance::releaseDucking() {
  if (!m_bDuckingOn) {
    return;
  }
  const SPrerenderedCue* pCue = cueData();
  const f32 fReleaseTime = mpr_pParentContainer->m_fReleaseTime;
  for (i32 i = 0; i < mpr_iNumberDuckingCategories && fReleaseTime > 0.0f; ++i) {
    f32 fLevel = 1.0f;
    if (duckingLevel(i, &fLevel)) {
      ClAudioManager::startReleaseFade(pCue->mp_aDuckingCategoryGroups[i].m_iCategory, fLevel, fReleaseTime);
    }
  }
  m_bDuckingOn = 0;
}
