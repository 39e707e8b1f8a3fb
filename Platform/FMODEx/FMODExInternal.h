// Inside the sound library stand-in: the objects behind the public classes, the voices and the mixer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/FMODEx/FMODEx.h"
#include "Platform/FMODEx/FMODExDecoder.h"
#include "Platform/FMODEx/FMODExPcmInput.h"
#include "Platform/FMODEx/FMODExStreamFeed.h"
#include "Platform/FMODEx/FMODExTest.h"

struct SRC_STATE_tag;

namespace FMODExInternal {

inline constexpr int gc_iMAX_SOFTWARE_CHANNELS = 128;
inline constexpr int gc_iMAX_INPUT_CHANNELS = 16;
// Channel handles are handed out round the ring and a handle is reused only after the ring has come round,
// so an ended channel's handle stays recognisably invalid for this many later plays.
inline constexpr int gc_iNUM_CHANNEL_HANDLES = 8 * gc_iMAX_SOFTWARE_CHANNELS;
// Frames mixed at once.
inline constexpr int gc_iMIX_BLOCK_FRAMES = 1024;
// The device buffer asked of SDL.
inline constexpr int gc_iDEVICE_BUFFER_FRAMES = 1024;

struct SystemState;
struct GroupState;

struct SoundState final : FMOD::Sound {
  SystemState* pSystem = nullptr;
  FMOD_MODE eMode = 0;
  bool bStream = false;
  int iChannels = 0;
  int iRate = 0;
  float fDefaultFrequency = 0.0f;
  int iLoopCount = -1;
  void* pUserData = nullptr;
  // A sample's frames; a stream's header length (gc_iUNKNOWN_FRAMES when its file gives none).
  std::int64_t iLengthFrames = 0;
  bool bCutShort = false;  // a stream whose data ends before its header says
  std::vector<float> samples;          // a sample's frames
  std::unique_ptr<StreamFeed> pStream;  // a stream's decoder thread and its ring
  bool bReleased = false;

  // The frames one pass plays: a sample's, a whole stream's header length, else (cut short, or no length given)
  // the frames to where its data ends once it has been played that far; gc_iUNKNOWN_FRAMES until then.
  std::int64_t passFrames() const;
};

struct GroupState final : FMOD::ChannelGroup {
  SystemState* pSystem = nullptr;
  std::string name;
  float fVolume = 1.0f;
  GroupState* pParent = nullptr;
  std::vector<GroupState*> children;
};

struct ChannelHandle final : FMOD::Channel {
  SystemState* pSystem = nullptr;
  int iVoice = -1;
};

struct Voice {
  bool bActive = false;
  ChannelHandle* pHandle = nullptr;
  SoundState* pSound = nullptr;
  GroupState* pGroup = nullptr;
  bool bPaused = false;
  float fVolume = 1.0f;
  float fPan = 0.0f;
  float fFrequency = 0.0f;
  int iPriority = 128;
  int iLoopsLeft = 0;  // -1: forever
  std::int64_t iCursor = 0;  // next source frame to read
  double dPlayed = 0.0;      // source frames heard, for the position while resampling
  float afInputLevels[gc_iMAX_INPUT_CHANNELS] = {};
  // The linear resampler's state between runs (the other resamplers are libsamplerate's): the last source frame
  // read and the position of the next output frame past it, in source frames.
  float afLastFrame[gc_iMAX_INPUT_CHANNELS] = {};
  double dLinearPosition = 0.0;
  bool bLinearPrimed = false;
  // Made by the API calls that set a frequency other than the mix rate (for a resampler other than the linear
  // one) and kept with the voice slot from one play to the next, so the mixer never allocates one.
  SRC_STATE_tag* pResampler = nullptr;
  int iResamplerChannels = 0;
  bool bResampling = false;
  bool bSourceEnded = false;
};

struct SystemState final : FMOD::System {
  SystemState();
  ~SystemState();

  std::mutex lock;
  bool bInitialized = false;
  int iSoftwareChannels = 64;
  int iRate = 48000;
  int iMaxInputChannels = 6;
  FMOD_DSP_RESAMPLER eResampler = FMOD_DSP_RESAMPLER_LINEAR;
  float afSettings3D[3] = {1.0f, 1.0f, 1.0f};
  std::string pluginPath;

  EFMODExOutput eOutput = EFMODExOutput::Null;
  unsigned int uiDevice = 0;  // SDL_AudioDeviceID
  bool bAudioSubsystem = false;
  int iDeviceBufferFrames = 0;
  void* pWavFile = nullptr;  // SNDFILE*
  std::chrono::steady_clock::time_point lastNullMix;
  std::uint64_t uiMixedFrames = 0;
  std::atomic<FMODExMixObserver> pfnObserver{nullptr};
  std::atomic<void*> pObserverUser{nullptr};

  GroupState master;
  std::vector<std::unique_ptr<GroupState>> groups;
  // The movie sound written into the mix (FMODExPcmInput.h); the sink is installed while the system is initialised.
  std::vector<std::shared_ptr<PcmInput>> pcmInputs;
  PcmSink pcmSink{this};
  std::vector<std::unique_ptr<SoundState>> sounds;
  Voice voices[gc_iMAX_SOFTWARE_CHANNELS];
  ChannelHandle handles[gc_iNUM_CHANNEL_HANDLES];
  int iNextHandle = 0;

  // One voice's frames of one block (guarded by the lock).
  float afVoiceBlock[gc_iMIX_BLOCK_FRAMES * gc_iMAX_INPUT_CHANNELS] = {};
  // One block of the device output, used by SDL's audio thread only.
  float afDeviceBlock[gc_iMIX_BLOCK_FRAMES * 2] = {};

  // Lock held: mixes iFrames (at most a block) into pOut (interleaved stereo), advancing every voice.
  void mixLocked(float* pOut, int iFrames);
  // Mixes iFrames into pOut (interleaved stereo; null: discarded) a block at a time, each under the lock, with
  // the WAV file, and hands each block to the observer outside the lock. pScratch holds one block (when pOut is
  // null) and belongs to the calling thread. Allocates nothing, so it can run on the device's thread.
  void runOutput(float* pOut, int iFrames, float* pScratch);
  // Lock held: gives the voice a resampler for its sound's channels when its frequency is not the mix rate.
  // False when none can be made.
  bool prepareResamplerLocked(Voice& voice);
  void stopVoiceLocked(Voice& voice);
  Voice* findVoiceLocked(const FMOD::Channel* pChannel);
  bool isGroupLocked(const FMOD::ChannelGroup* pGroup);
  bool isSoundLocked(const FMOD::Sound* pSound);
  void shutdownOutputLocked();
  // Lets go of the inputs whose writer has let go and that have played out (not on the mixing thread: the last
  // owner frees the input).
  void dropPlayedInputs();
};

void countCall(EFMODExCall eCall);
// The faults GRINDLOW_FMOD_FAULTS names (entries not understood are reported and left out).
std::uint32_t environmentFaults();
bool faultSet(std::uint32_t uiFault);
// The output that init starts (test choice, else the environment) and the WAV path.
EFMODExOutput chosenOutput(std::string* pWavPath);
// Calls the observer with a mixed block, outside the lock.
void notifyObserver(SystemState& system, const float* pBlock, int iFrames);
// A Win32-style path ("\" separators, any case) as the host's path.
std::string hostPath(const char* pPath);

}  // namespace FMODExInternal
