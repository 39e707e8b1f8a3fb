// Sound, Channel and ChannelGroup of the sound library stand-in.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Platform/FMODEx/FMODExInternal.h"

using namespace FMODExInternal;

namespace {

SoundState& state(FMOD::Sound* pSound) { return *static_cast<SoundState*>(pSound); }
GroupState& state(FMOD::ChannelGroup* pGroup) { return *static_cast<GroupState*>(pGroup); }

// Runs fn(system, voice) under the system's lock for a channel that still plays; FMOD_ERR_INVALID_HANDLE for
// one that has ended.
template <typename Fn>
FMOD_RESULT withVoice(FMOD::Channel* pChannel, EFMODExCall eCall, Fn fn) {
  countCall(eCall);
  SystemState& system = *static_cast<ChannelHandle*>(pChannel)->pSystem;
  std::lock_guard<std::mutex> guard(system.lock);
  Voice* pVoice = system.findVoiceLocked(pChannel);
  if (pVoice == nullptr) {
    return FMOD_ERR_INVALID_HANDLE;
  }
  return fn(system, *pVoice);
}

template <typename Fn>
FMOD_RESULT withVoice(FMOD::Channel* pChannel, Fn fn) {
  SystemState& system = *static_cast<ChannelHandle*>(pChannel)->pSystem;
  std::lock_guard<std::mutex> guard(system.lock);
  Voice* pVoice = system.findVoiceLocked(pChannel);
  if (pVoice == nullptr) {
    return FMOD_ERR_INVALID_HANDLE;
  }
  return fn(system, *pVoice);
}

// A field of a sound or group read under its system's lock.
template <typename Owner, typename T>
FMOD_RESULT readLocked(Owner& owner, const T& field, T* pOut) {
  if (pOut == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  std::lock_guard<std::mutex> guard(owner.pSystem->lock);
  *pOut = field;
  return FMOD_OK;
}

float finiteOr(float fValue, float fFallback) { return std::isfinite(fValue) ? fValue : fFallback; }

bool isTimeUnit(FMOD_TIMEUNIT eUnit) { return eUnit == FMOD_TIMEUNIT_PCM || eUnit == FMOD_TIMEUNIT_MS; }

// Frames in a time unit (PCM frames, or milliseconds at iRate) without overflow; false for a count that is not
// known (negative) or that 32 bits cannot hold in that unit.
bool framesInUnit(std::int64_t iFrames, int iRate, FMOD_TIMEUNIT eUnit, unsigned int* puiOut) {
  if (iFrames < 0 || iRate <= 0) {
    return false;
  }
  std::int64_t iValue = iFrames;
  if (eUnit == FMOD_TIMEUNIT_MS) {
    // Whole seconds and the frames past them apart, so that no product overflows.
    const std::int64_t iSeconds = iFrames / iRate;
    if (iSeconds > std::int64_t{UINT32_MAX} / 1000) {
      return false;
    }
    iValue = iSeconds * 1000 + iFrames % iRate * 1000 / iRate;
  }
  if (iValue > std::int64_t{UINT32_MAX}) {
    return false;
  }
  *puiOut = static_cast<unsigned int>(iValue);
  return true;
}

// A channel setting read back.
template <typename T>
FMOD_RESULT readSetting(FMOD::Channel* pChannel, T Voice::*pField, T* pOut) {
  return withVoice(pChannel, [&](SystemState&, Voice& voice) {
    if (pOut != nullptr) *pOut = voice.*pField;
    return FMOD_OK;
  });
}

// A float channel setting written, clamped (a value that is not finite counts as fFallback).
FMOD_RESULT writeSetting(FMOD::Channel* pChannel, EFMODExCall eCall, float Voice::*pField, float fValue, float fLow,
                         float fHigh, float fFallback) {
  return withVoice(pChannel, eCall, [&](SystemState&, Voice& voice) {
    voice.*pField = std::clamp(finiteOr(fValue, fFallback), fLow, fHigh);
    return FMOD_OK;
  });
}

void detachGroupLocked(GroupState& group) {
  if (group.pParent != nullptr) {
    auto& siblings = group.pParent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), &group), siblings.end());
    group.pParent = nullptr;
  }
}

}  // namespace

namespace FMODExInternal {

std::int64_t SoundState::passFrames() const {
  if (!bStream || (!bCutShort && iLengthFrames != gc_iUNKNOWN_FRAMES)) {
    return iLengthFrames;
  }
  return pStream->framesToEnd();
}

}  // namespace FMODExInternal

FMOD_RESULT FMOD_Sound_GetUserData(FMOD_SOUND* sound, void** userdata) {
  if (sound == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  return reinterpret_cast<FMOD::Sound*>(sound)->getUserData(userdata);
}

// Sound -------------------------------------------------------------------------------------------------------

FMOD_RESULT FMOD::Sound::release() {
  SoundState& sound = state(this);
  SystemState& system = *sound.pSystem;
  // A stream's decoder thread may be inside a slow read: the sound goes after the lock is let go.
  std::unique_ptr<SoundState> pReleased;
  {
    std::lock_guard<std::mutex> guard(system.lock);
    for (Voice& voice : system.voices) {
      if (voice.bActive && voice.pSound == &sound) {
        system.stopVoiceLocked(voice);
      }
    }
    auto it =
        std::find_if(system.sounds.begin(), system.sounds.end(), [&](const auto& p) { return p.get() == &sound; });
    if (it == system.sounds.end()) {
      return FMOD_ERR_INVALID_HANDLE;
    }
    pReleased = std::move(*it);
    system.sounds.erase(it);
  }
  return FMOD_OK;
}

FMOD_RESULT FMOD::Sound::setLoopCount(int loopcount) {
  countCall(EFMODExCall::SoundSetLoopCount);
  if (loopcount < -1) {
    return FMOD_ERR_INVALID_PARAM;
  }
  SoundState& sound = state(this);
  std::lock_guard<std::mutex> guard(sound.pSystem->lock);
  sound.iLoopCount = loopcount;
  return FMOD_OK;
}

FMOD_RESULT FMOD::Sound::getLoopCount(int* loopcount) {
  SoundState& sound = state(this);
  return readLocked(sound, sound.iLoopCount, loopcount);
}

FMOD_RESULT FMOD::Sound::getDefaults(float* frequency, float* volume, float* pan, int* priority) {
  SoundState& sound = state(this);
  if (frequency != nullptr) *frequency = sound.fDefaultFrequency;
  if (volume != nullptr) *volume = 1.0f;
  if (pan != nullptr) *pan = 0.0f;
  if (priority != nullptr) *priority = 128;
  return FMOD_OK;
}

FMOD_RESULT FMOD::Sound::getLength(unsigned int* length, FMOD_TIMEUNIT lengthtype) {
  if (length == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  if (!isTimeUnit(lengthtype)) {
    return FMOD_ERR_UNSUPPORTED;
  }
  SoundState& sound = state(this);
  const bool bKnown = framesInUnit(sound.iLengthFrames, sound.iRate, lengthtype, length) ||
                      (sound.bStream && framesInUnit(sound.pStream->framesToEnd(), sound.iRate, lengthtype, length));
  if (!bKnown) {
    *length = FMODEX_LENGTH_UNKNOWN;
  }
  return FMOD_OK;
}

FMOD_RESULT FMOD::Sound::getCutShort(bool* cutshort) {
  if (cutshort == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  *cutshort = state(this).bCutShort;
  return FMOD_OK;
}

FMOD_RESULT FMOD::Sound::getFormat(int* channels, int* bits) {
  if (channels != nullptr) *channels = state(this).iChannels;
  if (bits != nullptr) *bits = 32;
  return FMOD_OK;
}

FMOD_RESULT FMOD::Sound::setUserData(void* userdata) {
  state(this).pUserData = userdata;
  return FMOD_OK;
}

FMOD_RESULT FMOD::Sound::getUserData(void** userdata) {
  if (userdata == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  *userdata = state(this).pUserData;
  return FMOD_OK;
}

// Channel -----------------------------------------------------------------------------------------------------

FMOD_RESULT FMOD::Channel::setPaused(bool paused) {
  return withVoice(this, EFMODExCall::ChannelSetPaused, [&](SystemState&, Voice& voice) {
    voice.bPaused = paused;
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD::Channel::getPaused(bool* paused) { return readSetting(this, &Voice::bPaused, paused); }

FMOD_RESULT FMOD::Channel::setVolume(float volume) {
  return writeSetting(this, EFMODExCall::ChannelSetVolume, &Voice::fVolume, volume, 0.0f, 1.0f, 0.0f);
}

FMOD_RESULT FMOD::Channel::getVolume(float* volume) { return readSetting(this, &Voice::fVolume, volume); }

FMOD_RESULT FMOD::Channel::setPan(float pan) {
  return writeSetting(this, EFMODExCall::ChannelSetPan, &Voice::fPan, pan, -1.0f, 1.0f, 0.0f);
}

FMOD_RESULT FMOD::Channel::getPan(float* pan) { return readSetting(this, &Voice::fPan, pan); }

FMOD_RESULT FMOD::Channel::setFrequency(float frequency) {
  return withVoice(this, EFMODExCall::ChannelSetFrequency, [&](SystemState& system, Voice& voice) {
    const float fEarlier = voice.fFrequency;
    voice.fFrequency = std::clamp(finiteOr(frequency, 0.0f), 0.0f, 8.0f * static_cast<float>(system.iRate));
    // The resampler is made here, on the caller's thread, never by the mixer.
    if (!system.prepareResamplerLocked(voice)) {
      voice.fFrequency = fEarlier;
      return FMOD_ERR_MEMORY;
    }
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD::Channel::getFrequency(float* frequency) { return readSetting(this, &Voice::fFrequency, frequency); }

FMOD_RESULT FMOD::Channel::setPriority(int priority) {
  return withVoice(this, EFMODExCall::ChannelSetPriority, [&](SystemState&, Voice& voice) {
    if (priority < 0 || priority > 256) {
      return FMOD_ERR_INVALID_PARAM;
    }
    voice.iPriority = priority;
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD::Channel::getPriority(int* priority) { return readSetting(this, &Voice::iPriority, priority); }

FMOD_RESULT FMOD::Channel::setChannelGroup(ChannelGroup* channelgroup) {
  return withVoice(this, EFMODExCall::ChannelSetChannelGroup, [&](SystemState& system, Voice& voice) {
    if (channelgroup == nullptr) {
      voice.pGroup = &system.master;
      return FMOD_OK;
    }
    if (!system.isGroupLocked(channelgroup)) {
      return FMOD_ERR_INVALID_PARAM;
    }
    voice.pGroup = static_cast<GroupState*>(channelgroup);
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD::Channel::getChannelGroup(ChannelGroup** channelgroup) {
  return withVoice(this, [&](SystemState&, Voice& voice) {
    if (channelgroup != nullptr) *channelgroup = voice.pGroup;
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD::Channel::stop() {
  return withVoice(this, EFMODExCall::ChannelStop, [&](SystemState& system, Voice& voice) {
    system.stopVoiceLocked(voice);
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD::Channel::isPlaying(bool* isplaying) {
  if (isplaying != nullptr) {
    *isplaying = false;
  }
  return withVoice(this, EFMODExCall::ChannelIsPlaying, [&](SystemState&, Voice&) {
    if (isplaying != nullptr) *isplaying = true;
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD::Channel::getPosition(unsigned int* position, FMOD_TIMEUNIT postype) {
  return withVoice(this, EFMODExCall::ChannelGetPosition, [&](SystemState&, Voice& voice) {
    if (position == nullptr) {
      return FMOD_ERR_INVALID_PARAM;
    }
    if (!isTimeUnit(postype)) {
      return FMOD_ERR_UNSUPPORTED;
    }
    const SoundState& sound = *voice.pSound;
    double dFrames = voice.bResampling ? voice.dPlayed : static_cast<double>(voice.iCursor);
    const std::int64_t iPassFrames = sound.passFrames();
    if (iPassFrames > 0) {
      dFrames = std::fmod(dFrames, static_cast<double>(iPassFrames));
    }
    // A position past what 32 bits hold (or an int64) is given as the largest there is.
    if (!framesInUnit(static_cast<std::int64_t>(std::min(dFrames, 9.0e18)), sound.iRate, postype, position)) {
      *position = UINT32_MAX;
    }
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD::Channel::setInputChannelMix(float* levels, int numlevels) {
  return withVoice(this, EFMODExCall::ChannelSetInputChannelMix, [&](SystemState&, Voice& voice) {
    if (levels == nullptr || numlevels < 1 || numlevels > gc_iMAX_INPUT_CHANNELS) {
      return FMOD_ERR_INVALID_PARAM;
    }
    for (int i = 0; i < numlevels; ++i) {
      voice.afInputLevels[i] = std::max(0.0f, finiteOr(levels[i], 0.0f));
    }
    return FMOD_OK;
  });
}

// ChannelGroup ------------------------------------------------------------------------------------------------

FMOD_RESULT FMOD::ChannelGroup::release() {
  GroupState& group = state(this);
  SystemState& system = *group.pSystem;
  std::lock_guard<std::mutex> guard(system.lock);
  if (&group == &system.master) {
    return FMOD_ERR_INVALID_PARAM;
  }
  for (Voice& voice : system.voices) {
    if (voice.bActive && voice.pGroup == &group) {
      voice.pGroup = &system.master;
    }
  }
  for (GroupState* pChild : group.children) {
    pChild->pParent = &system.master;
    system.master.children.push_back(pChild);
  }
  group.children.clear();
  detachGroupLocked(group);
  auto it = std::find_if(system.groups.begin(), system.groups.end(), [&](const auto& p) { return p.get() == &group; });
  if (it == system.groups.end()) {
    return FMOD_ERR_INVALID_HANDLE;
  }
  system.groups.erase(it);
  return FMOD_OK;
}

FMOD_RESULT FMOD::ChannelGroup::addGroup(ChannelGroup* group) {
  GroupState& parent = state(this);
  SystemState& system = *parent.pSystem;
  std::lock_guard<std::mutex> guard(system.lock);
  if (group == nullptr || !system.isGroupLocked(group) || group == &system.master) {
    return FMOD_ERR_INVALID_PARAM;
  }
  GroupState& child = state(group);
  for (const GroupState* pAncestor = &parent; pAncestor != nullptr; pAncestor = pAncestor->pParent) {
    if (pAncestor == &child) {
      return FMOD_ERR_INVALID_PARAM;
    }
  }
  detachGroupLocked(child);
  child.pParent = &parent;
  parent.children.push_back(&child);
  return FMOD_OK;
}

FMOD_RESULT FMOD::ChannelGroup::setVolume(float volume) {
  countCall(EFMODExCall::GroupSetVolume);
  GroupState& group = state(this);
  std::lock_guard<std::mutex> guard(group.pSystem->lock);
  group.fVolume = std::clamp(finiteOr(volume, 0.0f), 0.0f, 1.0f);
  return FMOD_OK;
}

FMOD_RESULT FMOD::ChannelGroup::getVolume(float* volume) {
  GroupState& group = state(this);
  return readLocked(group, group.fVolume, volume);
}

FMOD_RESULT FMOD::ChannelGroup::getName(char* name, int namelen) {
  if (name == nullptr || namelen <= 0) {
    return FMOD_ERR_INVALID_PARAM;
  }
  const std::string& text = state(this).name;
  const size_t uiCount = std::min(text.size(), static_cast<size_t>(namelen - 1));
  std::memcpy(name, text.data(), uiCount);
  name[uiCount] = '\0';
  return FMOD_OK;
}

FMOD_RESULT FMOD::ChannelGroup::getParentGroup(ChannelGroup** group) {
  if (group == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  GroupState& self = state(this);
  std::lock_guard<std::mutex> guard(self.pSystem->lock);
  *group = self.pParent;
  return FMOD_OK;
}

FMOD_RESULT FMOD::ChannelGroup::getNumChannels(int* numchannels) {
  if (numchannels == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  GroupState& group = state(this);
  SystemState& system = *group.pSystem;
  std::lock_guard<std::mutex> guard(system.lock);
  *numchannels = static_cast<int>(std::count_if(std::begin(system.voices), std::end(system.voices),
                                                [&](const Voice& voice) { return voice.bActive && voice.pGroup == &group; }));
  return FMOD_OK;
}
