// The System of the sound library stand-in: creation, the outputs, sounds, groups and playSound.
#include <SDL.h>
#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Platform/Common/PlatformFiles.h"
#include "Platform/FMODEx/FMODExInternal.h"
#include "Platform/Win32/Win32Sdl.h"

using namespace FMODExInternal;

namespace {

std::atomic<int> g_iSystemsAlive{0};

SystemState& state(FMOD::System* pSystem) { return *static_cast<SystemState*>(pSystem); }

// SDL's audio thread: mixes straight into the system's own device block, so nothing is allocated here.
void deviceCallback(void* pUser, Uint8* pStream, int iLength) {
  SystemState& system = *static_cast<SystemState*>(pUser);
  std::int16_t* pOut = reinterpret_cast<std::int16_t*>(pStream);
  int iFrames = iLength / static_cast<int>(2 * sizeof(std::int16_t));
  while (iFrames > 0) {
    const int iBlock = std::min(iFrames, gc_iMIX_BLOCK_FRAMES);
    system.runOutput(system.afDeviceBlock, iBlock, nullptr);
    for (int i = 0; i < 2 * iBlock; ++i) {
      pOut[i] = static_cast<std::int16_t>(std::lrint(std::clamp(system.afDeviceBlock[i], -1.0f, 1.0f) * 32767.0f));
    }
    pOut += 2 * iBlock;
    iFrames -= iBlock;
  }
}

// Opens the SDL device, paused; 0 (with one line on standard error) when there is none. Called without the
// system's lock.
SDL_AudioDeviceID openDevice(SystemState& system, int* piBufferFrames) {
  if (faultSet(FMODEX_FAULT_NO_DEVICE)) {
    std::fprintf(stderr, "FMODEx: no audio device (injected); the mix goes to the null output\n");
    return 0;
  }
  if (Win32InitSdlSubSystem(SDL_INIT_AUDIO) != 0) {
    std::fprintf(stderr, "FMODEx: no audio driver (%s); the mix goes to the null output\n", SDL_GetError());
    return 0;
  }
  SDL_AudioSpec want = {};
  want.freq = system.iRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = gc_iDEVICE_BUFFER_FRAMES;
  want.callback = &deviceCallback;
  want.userdata = &system;
  SDL_AudioSpec have = {};
  const SDL_AudioDeviceID uiDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (uiDevice == 0) {
    std::fprintf(stderr, "FMODEx: no audio device (%s); the mix goes to the null output\n", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  *piBufferFrames = have.samples;
  return uiDevice;
}

FMOD_RESULT createSoundCommon(SystemState& system, const char* pNameOrData, FMOD_MODE eMode,
                              FMOD_CREATESOUNDEXINFO* pExInfo, bool bStream, FMOD::Sound** ppSound) {
  lastProblem().clear();
  if (ppSound == nullptr || pNameOrData == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  *ppSound = nullptr;
  if (pExInfo != nullptr && pExInfo->cbsize != static_cast<int>(sizeof(FMOD_CREATESOUNDEXINFO))) {
    return FMOD_ERR_INVALID_PARAM;
  }
  {
    std::lock_guard<std::mutex> guard(system.lock);
    if (!system.bInitialized) {
      return FMOD_ERR_UNINITIALIZED;
    }
  }
  if (faultSet(FMODEX_FAULT_SOUND_OPEN)) {
    return FMOD_ERR_FILE_NOTFOUND;
  }
  bStream = bStream || (eMode & FMOD_CREATESTREAM) != 0;
  std::unique_ptr<ByteSource> pSource;
  FMOD_RESULT eResult = FMOD_OK;
  if ((eMode & (FMOD_OPENMEMORY | FMOD_OPENMEMORY_POINT)) != 0) {
    if (pExInfo == nullptr || pExInfo->length == 0) {
      return FMOD_ERR_INVALID_PARAM;
    }
    // A sample is decoded at once, so only a stream of copied memory needs its own copy.
    const bool bCopy = bStream && (eMode & FMOD_OPENMEMORY_POINT) == 0;
    pSource = makeMemorySource(pNameOrData, pExInfo->length, bCopy);
  } else {
    const std::int64_t iOffset = pExInfo != nullptr ? pExInfo->fileoffset : 0;
    const std::int64_t iLength = pExInfo != nullptr ? pExInfo->length : 0;
    pSource = makeFileWindowSource(hostPath(pNameOrData), iOffset, iLength, &eResult);
    if (pSource == nullptr) {
      return eResult;
    }
  }
  // A stream's decoder runs on its feed's thread from the first play on; a sample is decoded here, without
  // the lock.
  std::unique_ptr<StreamFeed> pFeed;
  std::unique_ptr<Decoder> pSampleDecoder;
  if (bStream) {
    pFeed = StreamFeed::open(std::move(pSource), (eMode & FMOD_LOOP_NORMAL) != 0, &eResult);
  } else {
    pSampleDecoder = Decoder::open(std::move(pSource), Decoder::ECut::Refused, &eResult);
  }
  if (pFeed == nullptr && pSampleDecoder == nullptr) {
    return eResult;
  }
  const Decoder& decoder = pFeed != nullptr ? pFeed->decoder() : *pSampleDecoder;
  auto pSound = std::make_unique<SoundState>();
  pSound->pSystem = &system;
  pSound->eMode = eMode;
  pSound->bStream = bStream;
  pSound->iChannels = decoder.channels();
  pSound->iRate = decoder.rate();
  pSound->fDefaultFrequency = static_cast<float>(
      pExInfo != nullptr && pExInfo->defaultfrequency > 0 ? pExInfo->defaultfrequency : decoder.rate());
  pSound->pUserData = pExInfo != nullptr ? pExInfo->userdata : nullptr;
  pSound->bCutShort = decoder.cutShort();
  if (bStream) {
    pSound->iLengthFrames = decoder.declaredFrames();
    pSound->pStream = std::move(pFeed);
  } else {
    pSound->samples = pSampleDecoder->readAll();
    pSound->iLengthFrames = static_cast<std::int64_t>(pSound->samples.size()) / pSound->iChannels;
  }
  std::lock_guard<std::mutex> guard(system.lock);
  *ppSound = pSound.get();
  system.sounds.push_back(std::move(pSound));
  return FMOD_OK;
}

}  // namespace

namespace FMODExInternal {

SystemState::SystemState() {
  master.pSystem = this;
  master.name = "FMOD master group";
  for (ChannelHandle& handle : handles) {
    handle.pSystem = this;
  }
}

SystemState::~SystemState() {
  for (Voice& voice : voices) {
    if (voice.pResampler != nullptr) {
      src_delete(voice.pResampler);
    }
  }
}

Voice* SystemState::findVoiceLocked(const FMOD::Channel* pChannel) {
  const ChannelHandle* pHandle = static_cast<const ChannelHandle*>(pChannel);
  if (pHandle == nullptr || pHandle->pSystem != this || pHandle->iVoice < 0 ||
      pHandle->iVoice >= gc_iMAX_SOFTWARE_CHANNELS) {
    return nullptr;
  }
  Voice& voice = voices[pHandle->iVoice];
  return voice.bActive && voice.pHandle == pHandle ? &voice : nullptr;
}

bool SystemState::isGroupLocked(const FMOD::ChannelGroup* pGroup) {
  if (pGroup == &master) {
    return true;
  }
  return std::any_of(groups.begin(), groups.end(), [&](const auto& p) { return p.get() == pGroup; });
}

bool SystemState::isSoundLocked(const FMOD::Sound* pSound) {
  return std::any_of(sounds.begin(), sounds.end(), [&](const auto& p) { return p.get() == pSound; });
}

void SystemState::shutdownOutputLocked() {
  if (pWavFile != nullptr) {
    sf_close(static_cast<SNDFILE*>(pWavFile));
    pWavFile = nullptr;
  }
}

}  // namespace FMODExInternal

FMOD_RESULT FMOD_Memory_Initialize(void* poolmem, int poollen, FMOD_MEMORY_ALLOCCALLBACK, FMOD_MEMORY_REALLOCCALLBACK,
                                   FMOD_MEMORY_FREECALLBACK, FMOD_MEMORY_TYPE) {
  if (faultSet(FMODEX_FAULT_MEMORY)) {
    return FMOD_ERR_MEMORY;
  }
  if (g_iSystemsAlive.load() > 0) {
    return FMOD_ERR_INITIALIZATION;
  }
  if (poolmem == nullptr || poollen < (1 << 20)) {
    return FMOD_ERR_INVALID_PARAM;
  }
  return FMOD_OK;
}

FMOD_RESULT FMOD::System_Create(FMOD::System** system) {
  if (system == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  *system = nullptr;
  FMODExSetFaults(FMODExGetFaults() | environmentFaults());
  if (faultSet(FMODEX_FAULT_CREATE)) {
    return FMOD_ERR_MEMORY;
  }
  *system = new SystemState();
  g_iSystemsAlive.fetch_add(1);
  return FMOD_OK;
}

FMOD_RESULT FMOD_System_Create(FMOD::System** system) { return FMOD::System_Create(system); }

FMOD_RESULT FMOD::System::release() {
  SystemState* pSystem = &state(this);
  PlatformRemovePcmSink(&pSystem->pcmSink);
  // The device's thread takes the lock in its callback: close the device first, without the lock.
  if (pSystem->uiDevice != 0) {
    SDL_CloseAudioDevice(pSystem->uiDevice);
    pSystem->uiDevice = 0;
  }
  // A stream's decoder thread may be inside a slow read: the sounds go after the lock is let go.
  std::vector<std::unique_ptr<SoundState>> sounds;
  {
    std::lock_guard<std::mutex> guard(pSystem->lock);
    for (Voice& voice : pSystem->voices) {
      if (voice.bActive) {
        pSystem->stopVoiceLocked(voice);
      }
    }
    pSystem->shutdownOutputLocked();
    // A movie still writing to an input is not told: its writes are dropped from now on.
    for (const std::shared_ptr<PcmInput>& pInput : pSystem->pcmInputs) {
      pInput->detach();
    }
    pSystem->pcmInputs.clear();
    sounds.swap(pSystem->sounds);
    pSystem->groups.clear();
  }
  sounds.clear();
  if (pSystem->bAudioSubsystem) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  delete pSystem;
  g_iSystemsAlive.fetch_sub(1);
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::setPluginPath(const char* path) {
  if (path == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  std::lock_guard<std::mutex> guard(state(this).lock);
  state(this).pluginPath = path;
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::getNumPlugins(FMOD_PLUGINTYPE, int* numplugins) {
  if (numplugins == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  *numplugins = 0;
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::getPluginHandle(FMOD_PLUGINTYPE, int, unsigned int* handle) {
  if (handle != nullptr) {
    *handle = 0;
  }
  return FMOD_ERR_PLUGIN_MISSING;
}

FMOD_RESULT FMOD::System::getPluginInfo(unsigned int, FMOD_PLUGINTYPE*, char* name, int namelen, unsigned int*) {
  if (name != nullptr && namelen > 0) {
    name[0] = '\0';
  }
  return FMOD_ERR_PLUGIN_MISSING;
}

FMOD_RESULT FMOD::System::setSoftwareChannels(int numsoftwarechannels) {
  SystemState& system = state(this);
  if (faultSet(FMODEX_FAULT_CHANNELS)) {
    return FMOD_ERR_INITIALIZED;
  }
  std::lock_guard<std::mutex> guard(system.lock);
  if (system.bInitialized) {
    return FMOD_ERR_INITIALIZED;
  }
  if (numsoftwarechannels < 1 || numsoftwarechannels > gc_iMAX_SOFTWARE_CHANNELS) {
    return FMOD_ERR_INVALID_PARAM;
  }
  system.iSoftwareChannels = numsoftwarechannels;
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::setSoftwareFormat(int samplerate, FMOD_SOUND_FORMAT format, int numoutputchannels,
                                            int maxinputchannels, FMOD_DSP_RESAMPLER resamplemethod) {
  SystemState& system = state(this);
  std::lock_guard<std::mutex> guard(system.lock);
  if (system.bInitialized) {
    return FMOD_ERR_INITIALIZED;
  }
  if (samplerate < 8000 || samplerate > 192000 || (numoutputchannels != 0 && numoutputchannels != 2) ||
      maxinputchannels < 1 || maxinputchannels > gc_iMAX_INPUT_CHANNELS) {
    return FMOD_ERR_INVALID_PARAM;
  }
  if (format != FMOD_SOUND_FORMAT_PCM16) {
    return FMOD_ERR_UNSUPPORTED;
  }
  system.iRate = samplerate;
  system.iMaxInputChannels = maxinputchannels;
  system.eResampler = resamplemethod;
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::getSoftwareFormat(int* samplerate, FMOD_SOUND_FORMAT* format, int* numoutputchannels,
                                            int* maxinputchannels, FMOD_DSP_RESAMPLER* resamplemethod, int* bits) {
  SystemState& system = state(this);
  std::lock_guard<std::mutex> guard(system.lock);
  if (samplerate != nullptr) *samplerate = system.iRate;
  if (format != nullptr) *format = FMOD_SOUND_FORMAT_PCM16;
  if (numoutputchannels != nullptr) *numoutputchannels = 2;
  if (maxinputchannels != nullptr) *maxinputchannels = system.iMaxInputChannels;
  if (resamplemethod != nullptr) *resamplemethod = system.eResampler;
  if (bits != nullptr) *bits = 16;
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::init(int maxchannels, FMOD_INITFLAGS, void*) {
  SystemState& system = state(this);
  if (maxchannels < 1 || maxchannels > 4093) {
    return FMOD_ERR_INVALID_PARAM;
  }
  {
    std::lock_guard<std::mutex> guard(system.lock);
    if (system.bInitialized) {
      return FMOD_ERR_INITIALIZED;
    }
  }
  if (faultSet(FMODEX_FAULT_INIT)) {
    return FMOD_ERR_OUTPUT_INIT;
  }
  std::string wavPath;
  EFMODExOutput eOutput = chosenOutput(&wavPath);
  std::unique_lock<std::mutex> guard(system.lock);
  if (!wavPath.empty()) {
    SF_INFO info = {};
    info.samplerate = system.iRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    // Written through a descriptor of a regular file: a pipe or a device in its place is refused, never waited on.
    SPlatformFileProblem problem;
    const int iFd = PlatformOpenFileForWriting(wavPath.c_str(), &problem);
    SNDFILE* pWav = iFd >= 0 ? sf_open_fd(iFd, SFM_WRITE, &info, SF_TRUE) : nullptr;
    if (pWav == nullptr) {
      const std::string why = iFd >= 0 ? sf_strerror(nullptr) : "it " + PlatformDescribeFileProblem(problem);
      std::fprintf(stderr, "FMODEx: cannot write the mix to [%s]: %s\n", wavPath.c_str(), why.c_str());
    } else {
      sf_command(pWav, SFC_SET_CLIPPING, nullptr, SF_TRUE);
      system.pWavFile = pWav;
    }
  }
  system.bInitialized = true;
  system.uiMixedFrames = 0;
  system.eOutput = EFMODExOutput::Null;
  system.lastNullMix = std::chrono::steady_clock::now();
  // SDL holds its device lock around the callback, which takes this lock: the device opens without it.
  guard.unlock();
  int iBufferFrames = 0;
  const SDL_AudioDeviceID uiDevice = eOutput == EFMODExOutput::Device ? openDevice(system, &iBufferFrames) : 0;
  guard.lock();
  if (uiDevice == 0 && eOutput == EFMODExOutput::Device) {
    eOutput = EFMODExOutput::Null;
  }
  system.eOutput = eOutput;
  system.uiDevice = uiDevice;
  system.bAudioSubsystem = uiDevice != 0;
  system.iDeviceBufferFrames = iBufferFrames;
  system.lastNullMix = std::chrono::steady_clock::now();
  guard.unlock();
  if (uiDevice != 0) {
    SDL_PauseAudioDevice(uiDevice, 0);
  }
  PlatformInstallPcmSink(&system.pcmSink);
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::set3DSettings(float dopplerscale, float distancefactor, float rolloffscale) {
  SystemState& system = state(this);
  std::lock_guard<std::mutex> guard(system.lock);
  system.afSettings3D[0] = dopplerscale;
  system.afSettings3D[1] = distancefactor;
  system.afSettings3D[2] = rolloffscale;
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::get3DSettings(float* dopplerscale, float* distancefactor, float* rolloffscale) {
  SystemState& system = state(this);
  std::lock_guard<std::mutex> guard(system.lock);
  if (dopplerscale != nullptr) *dopplerscale = system.afSettings3D[0];
  if (distancefactor != nullptr) *distancefactor = system.afSettings3D[1];
  if (rolloffscale != nullptr) *rolloffscale = system.afSettings3D[2];
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::update() {
  countCall(EFMODExCall::SystemUpdate);
  SystemState& system = state(this);
  int iFrames = 0;
  {
    std::lock_guard<std::mutex> guard(system.lock);
    if (!system.bInitialized) {
      return FMOD_ERR_UNINITIALIZED;
    }
    if (system.eOutput == EFMODExOutput::Null) {
      const auto now = std::chrono::steady_clock::now();
      const double dSeconds = std::min(std::chrono::duration<double>(now - system.lastNullMix).count(), 10.0);
      iFrames = static_cast<int>(dSeconds * system.iRate);
      system.lastNullMix += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(static_cast<double>(iFrames) / system.iRate));
      if (dSeconds >= 10.0) {
        system.lastNullMix = now;
      }
    }
  }
  float afBlock[gc_iMIX_BLOCK_FRAMES * 2];
  system.runOutput(nullptr, iFrames, afBlock);
  system.dropPlayedInputs();
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::createSound(const char* name_or_data, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                                      Sound** sound) {
  countCall(EFMODExCall::SystemCreateSound);
  return createSoundCommon(state(this), name_or_data, mode, exinfo, false, sound);
}

FMOD_RESULT FMOD::System::createStream(const char* name_or_data, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                                       Sound** sound) {
  countCall(EFMODExCall::SystemCreateStream);
  return createSoundCommon(state(this), name_or_data, mode, exinfo, true, sound);
}

FMOD_RESULT FMOD::System::createChannelGroup(const char* name, ChannelGroup** channelgroup) {
  if (channelgroup == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  SystemState& system = state(this);
  auto pGroup = std::make_unique<GroupState>();
  pGroup->pSystem = &system;
  pGroup->name = name != nullptr ? name : "";
  std::lock_guard<std::mutex> guard(system.lock);
  *channelgroup = pGroup.get();
  system.groups.push_back(std::move(pGroup));
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::getMasterChannelGroup(ChannelGroup** channelgroup) {
  if (channelgroup == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  *channelgroup = &state(this).master;
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::playSound(FMOD_CHANNELINDEX channelid, Sound* sound, bool paused, Channel** channel) {
  countCall(EFMODExCall::SystemPlaySound);
  SystemState& system = state(this);
  if (channel != nullptr) {
    *channel = nullptr;
  }
  if (channelid != FMOD_CHANNEL_FREE) {
    return FMOD_ERR_UNSUPPORTED;
  }
  std::lock_guard<std::mutex> guard(system.lock);
  if (!system.bInitialized) {
    return FMOD_ERR_UNINITIALIZED;
  }
  if (sound == nullptr || !system.isSoundLocked(sound)) {
    return FMOD_ERR_INVALID_PARAM;
  }
  SoundState& soundState = *static_cast<SoundState*>(sound);
  if (soundState.bStream) {
    for (Voice& voice : system.voices) {
      if (voice.bActive && voice.pSound == &soundState) {
        system.stopVoiceLocked(voice);
      }
    }
    // The decoder thread goes back to the first frame; a file that cannot seek ends the channel there.
    soundState.pStream->restart();
  }
  Voice* pVoice = nullptr;
  int iVoice = 0;
  for (; iVoice < system.iSoftwareChannels; ++iVoice) {
    if (!system.voices[iVoice].bActive) {
      pVoice = &system.voices[iVoice];
      break;
    }
  }
  if (pVoice == nullptr) {
    return FMOD_ERR_CHANNEL_ALLOC;
  }
  ChannelHandle* pHandle = nullptr;
  for (int i = 0; i < gc_iNUM_CHANNEL_HANDLES && pHandle == nullptr; ++i) {
    ChannelHandle& candidate = system.handles[(system.iNextHandle + i) % gc_iNUM_CHANNEL_HANDLES];
    if (system.findVoiceLocked(&candidate) == nullptr) {
      pHandle = &candidate;
      system.iNextHandle = (system.iNextHandle + i + 1) % gc_iNUM_CHANNEL_HANDLES;
    }
  }
  Voice& voice = *pVoice;
  SRC_STATE* const pResampler = voice.pResampler;
  const int iResamplerChannels = voice.iResamplerChannels;
  voice = Voice();
  voice.pResampler = pResampler;
  voice.iResamplerChannels = iResamplerChannels;
  voice.pSound = &soundState;
  voice.fFrequency = soundState.fDefaultFrequency;
  if (!system.prepareResamplerLocked(voice)) {
    voice.pSound = nullptr;
    return FMOD_ERR_MEMORY;
  }
  pHandle->iVoice = iVoice;
  voice.bActive = true;
  voice.pHandle = pHandle;
  voice.pGroup = &system.master;
  voice.bPaused = paused;
  voice.iLoopsLeft = (soundState.eMode & FMOD_LOOP_NORMAL) != 0 ? soundState.iLoopCount : 0;
  std::fill(std::begin(voice.afInputLevels), std::end(voice.afInputLevels), 1.0f);
  if (channel != nullptr) {
    *channel = pHandle;
  }
  return FMOD_OK;
}

FMOD_RESULT FMOD::System::getChannelsPlaying(int* channels) {
  if (channels == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  SystemState& system = state(this);
  std::lock_guard<std::mutex> guard(system.lock);
  *channels = static_cast<int>(std::count_if(std::begin(system.voices), std::end(system.voices),
                                             [](const Voice& voice) { return voice.bActive; }));
  return FMOD_OK;
}

EFMODExOutput FMODExGetOutput(FMOD::System* pSystem) {
  SystemState& system = state(pSystem);
  std::lock_guard<std::mutex> guard(system.lock);
  return system.bInitialized ? system.eOutput : EFMODExOutput::Null;
}

int FMODExGetDeviceBufferFrames(FMOD::System* pSystem) {
  SystemState& system = state(pSystem);
  std::lock_guard<std::mutex> guard(system.lock);
  return system.uiDevice != 0 ? system.iDeviceBufferFrames : 0;
}

FMOD_RESULT FMODExMix(FMOD::System* pSystem, float* pOut, unsigned int uiFrames) {
  SystemState& system = state(pSystem);
  {
    std::lock_guard<std::mutex> guard(system.lock);
    if (!system.bInitialized || system.eOutput != EFMODExOutput::Manual) {
      return FMOD_ERR_UNSUPPORTED;
    }
  }
  float afBlock[gc_iMIX_BLOCK_FRAMES * 2];
  system.runOutput(pOut, static_cast<int>(uiFrames), afBlock);
  return FMOD_OK;
}

std::uint64_t FMODExGetMixedFrames(FMOD::System* pSystem) {
  SystemState& system = state(pSystem);
  std::lock_guard<std::mutex> guard(system.lock);
  return system.uiMixedFrames;
}

void FMODExSetMixObserver(FMOD::System* pSystem, FMODExMixObserver pfnObserver, void* pUser) {
  SystemState& system = state(pSystem);
  system.pObserverUser.store(pUser);
  system.pfnObserver.store(pfnObserver);
}
