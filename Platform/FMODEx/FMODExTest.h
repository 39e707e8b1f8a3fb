// Test controls of the sound library stand-in: the output a System starts at init, mixing by hand, injected
// faults, counts of the calls made, and an observer of every mixed block. Not for the game's own use.
//
// Output: GRINDLOW_FMOD_OUTPUT ("device", "null" or "manual"; default "device") and GRINDLOW_FMOD_WAV (a path:
// the mix is also written there as 16-bit stereo WAV) are read by System::init unless FMODExSetOutput set an
// output. "device" opens SDL's default audio device and falls back to "null" (with one line on standard
// error) when SDL has no audio driver or device.
//
// Faults: FMODExSetFaults or GRINDLOW_FMOD_FAULTS, a comma-separated list of the names below, which
// FMOD_System_Create reads and adds to the set faults.
#pragma once

#include <cstdint>
#include <string>

#include "Platform/FMODEx/FMODEx.h"

enum class EFMODExOutput {
  Device,  // the SDL audio device (16-bit stereo), or Null when there is none
  Null,    // no device: System::update mixes the time that passed and discards it
  Manual,  // time stands still until FMODExMix, which lets each playing stream decode what it needs first
};

// The output (and WAV path, empty for none) that the next System::init starts; FMODExClearOutput returns to
// the environment's choice.
void FMODExSetOutput(EFMODExOutput eOutput, const std::string& wavPath = std::string());
void FMODExClearOutput();
// What an initialised system runs (Null for a system that is not initialised).
EFMODExOutput FMODExGetOutput(FMOD::System* pSystem);
// Frames of one device buffer (the latency of the device output), and the device's own rate; 0 without one.
int FMODExGetDeviceBufferFrames(FMOD::System* pSystem);

// Manual output: mixes uiFrames frames (advancing every channel) and writes them to pOut as interleaved
// stereo floats (null: discarded). FMOD_ERR_UNSUPPORTED for another output.
FMOD_RESULT FMODExMix(FMOD::System* pSystem, float* pOut, unsigned int uiFrames);
// Frames mixed since init.
std::uint64_t FMODExGetMixedFrames(FMOD::System* pSystem);

// Holds every later read of a stream's file on its decoder thread (the read waits inside) until called again
// with false: a stalled disk. The held stream's channel plays silence once its decoded frames run out, and
// picks up where it stopped; other channels and calls go on. FMOD_ERR_INVALID_PARAM for a sample.
FMOD_RESULT FMODExHoldStreamReads(FMOD::Sound* pStream, bool bHold);

// Called on the mixing thread after each block, outside the library's lock: the block (interleaved stereo,
// before it is turned into 16-bit samples) and its frame count. Null removes it.
typedef void (*FMODExMixObserver)(void* pUser, const float* pBlock, unsigned int uiFrames);
void FMODExSetMixObserver(FMOD::System* pSystem, FMODExMixObserver pfnObserver, void* pUser);

// X(enumerator, name, what it does)
#define FMODEX_FAULT_LIST(X)                                                                        \
  X(FMODEX_FAULT_MEMORY, "memory_fail", "FMOD_Memory_Initialize answers FMOD_ERR_MEMORY")           \
  X(FMODEX_FAULT_CREATE, "create_fail", "FMOD_System_Create answers FMOD_ERR_MEMORY")               \
  X(FMODEX_FAULT_CHANNELS, "channels_fail", "setSoftwareChannels answers FMOD_ERR_INITIALIZED")     \
  X(FMODEX_FAULT_INIT, "init_fail", "System::init answers FMOD_ERR_OUTPUT_INIT")                    \
  X(FMODEX_FAULT_NO_DEVICE, "no_device", "the device output finds no device and runs the null one") \
  X(FMODEX_FAULT_SOUND_OPEN, "sound_open_fail", "createSound and createStream answer FMOD_ERR_FILE_NOTFOUND")

enum EFMODExFaultBit : std::uint32_t {
#define FMODEX_FAULT_BIT(name, text, what) name##_BIT,
  FMODEX_FAULT_LIST(FMODEX_FAULT_BIT)
#undef FMODEX_FAULT_BIT
  NUM_E_FMODEX_FAULT
};

enum EFMODExFault : std::uint32_t {
#define FMODEX_FAULT_MASK(name, text, what) name = 1u << name##_BIT,
  FMODEX_FAULT_LIST(FMODEX_FAULT_MASK)
#undef FMODEX_FAULT_MASK
};

void FMODExSetFaults(std::uint32_t uiFaults);
std::uint32_t FMODExGetFaults();
// Parses a comma-separated list of fault names (empty: none). False for an unknown name, named in pError.
bool FMODExParseFaults(const char* pText, std::uint32_t* puiFaults, std::string* pError);

// The calls that are counted (every call, successful or not).
#define FMODEX_CALL_LIST(X)                                                                      \
  X(SystemUpdate) X(SystemPlaySound) X(SystemCreateSound) X(SystemCreateStream)                  \
  X(ChannelSetPaused) X(ChannelSetVolume) X(ChannelSetPan) X(ChannelSetFrequency)                \
  X(ChannelSetPriority) X(ChannelSetChannelGroup) X(ChannelStop) X(ChannelIsPlaying)             \
  X(ChannelGetPosition) X(ChannelSetInputChannelMix) X(GroupSetVolume) X(SoundSetLoopCount)

enum class EFMODExCall {
#define FMODEX_CALL_ENUMERATOR(name) name,
  FMODEX_CALL_LIST(FMODEX_CALL_ENUMERATOR)
#undef FMODEX_CALL_ENUMERATOR
  Count
};

std::uint64_t FMODExGetCallCount(EFMODExCall eCall);
void FMODExResetCallCounts();
