// The low-level sound library's calls that the audio manager makes (System, Sound, Channel, ChannelGroup),
// under the library's names, written for this project over its own mixer on SDL2 audio. libsndfile decodes
// WAV, Ogg Vorbis and FLAC; libsamplerate resamples a channel whose frequency differs from the mix rate.
//
// Model:
//  - One System mixes up to 128 software channels (setSoftwareChannels) into a stereo float mix at the software
//    format's rate (default 48000 Hz) and hands it to its output: the SDL audio device as 16-bit samples, or,
//    when there is no device, a null output that advances in real time at each System::update, or (tests) a
//    manual output whose time advances only when the test mixes (FMODExTest.h). Any output can also write its
//    mix to a WAV file.
//  - A Sound is a sample (decoded whole into memory at creation: createSound) or a stream (decoded while it
//    plays: createStream) from a file path, from memory (FMOD_OPENMEMORY copies the bytes, FMOD_OPENMEMORY_POINT
//    reads the caller's bytes, which must outlive the sound) or from a window of a file (exinfo fileoffset and
//    length). Paths may use "\" and are matched as the Win32 stand-in matches them. A stream plays on one
//    channel at a time: playing it again stops its previous channel. A stream's own decoder thread (started at
//    its first play) decodes about a third of a second ahead of the mixer; a channel whose stream has not been
//    decoded far enough (a slow disk) plays silence until it has, and the other channels play on. A stream whose
//    data ends before its header says plays to where the data ends (Sound::getCutShort).
//  - A Channel is a handle to one playing voice. It stays valid until the voice ends (its sound ran out, stop, or
//    the sound's release); afterwards every call answers FMOD_ERR_INVALID_HANDLE (isPlaying also writes false).
//    A voice is never stolen: playSound fails with FMOD_ERR_CHANNEL_ALLOC when every channel plays.
//  - Gain of a channel = its volume x its group's volume x every parent group's volume, the master group last.
//    Pan, for a mono sound: left = min(1, 1 - pan), right = min(1, 1 + pan) (the centre keeps full level on both
//    sides); for a stereo sound the same factors scale its left and right input. Sounds of more channels fold
//    even input channels to the left and odd ones to the right. setInputChannelMix scales each input channel.
//  - Loop counts: a sound made with FMOD_LOOP_NORMAL plays its loop count + 1 times (-1: forever); without it,
//    once. A channel takes its sound's loop count when it starts.
//
// Threads: every call may come from any thread; the System's own lock serialises the calls and the mixer,
// which runs on SDL's audio thread for the device output and on the calling thread for the null and manual
// outputs. Neither the calls nor the mixer read a stream's file under that lock, and the mixer allocates
// nothing. The engine keeps its own lock around its calls as well.
#pragma once

#include <cstdint>

// X(enumerator, text) in value order, from 0. Only the codes this library answers.
#define FMOD_RESULT_LIST(X)                                                                                  \
  X(FMOD_OK, "No errors.")                                                                                   \
  X(FMOD_ERR_CHANNEL_ALLOC, "Every software channel is playing; no channel could be given to the sound.")   \
  X(FMOD_ERR_FILE_BAD, "The file could not be decoded: it is damaged or of a format this library cannot read.") \
  X(FMOD_ERR_FILE_NOTFOUND, "The file or the window of it could not be found or opened.")                    \
  X(FMOD_ERR_FORMAT, "The sound has more channels or another layout than the mixer takes.")                  \
  X(FMOD_ERR_INITIALIZATION, "The call belongs before System::init, or FMOD_Memory_Initialize came too late.") \
  X(FMOD_ERR_INITIALIZED, "The system is already initialised.")                                             \
  X(FMOD_ERR_INTERNAL, "An error inside the library.")                                                      \
  X(FMOD_ERR_INVALID_HANDLE, "The handle names a channel that has ended, or an object already released.")   \
  X(FMOD_ERR_INVALID_PARAM, "An argument is out of range or missing.")                                      \
  X(FMOD_ERR_MEMORY, "Not enough memory or resources.")                                                     \
  X(FMOD_ERR_OUTPUT_INIT, "The output could not be started.")                                               \
  X(FMOD_ERR_PLUGIN_MISSING, "No plug-in of that type and index is loaded.")                                \
  X(FMOD_ERR_UNINITIALIZED, "The system has not been initialised with System::init.")                       \
  X(FMOD_ERR_UNSUPPORTED, "The call or the mode is not supported by this library.")

typedef enum FMOD_RESULT {
#define FMOD_RESULT_ENUMERATOR(name, text) name,
  FMOD_RESULT_LIST(FMOD_RESULT_ENUMERATOR)
#undef FMOD_RESULT_ENUMERATOR
  FMOD_RESULT_COUNT
} FMOD_RESULT;

// "ENUMERATOR: text" of a result code ("unknown result" for others).
const char* FMOD_ErrorString(FMOD_RESULT errcode);

// This stand-in's own addition: why the calling thread's last System::createSound or createStream failed, in the
// decoder's words ("libsndfile: Format not recognised.") or the file door's ("it is a pipe"); "" when
// it succeeded or its result code says all there is.
const char* FMODExGetLastProblem();

typedef unsigned int FMOD_MODE;
#define FMOD_DEFAULT 0x00000000u
#define FMOD_LOOP_OFF 0x00000001u
#define FMOD_LOOP_NORMAL 0x00000002u
#define FMOD_2D 0x00000008u
#define FMOD_3D 0x00000010u
#define FMOD_SOFTWARE 0x00000040u
#define FMOD_CREATESTREAM 0x00000080u
#define FMOD_CREATESAMPLE 0x00000100u
#define FMOD_OPENMEMORY 0x00000800u
#define FMOD_OPENMEMORY_POINT 0x10000000u

typedef unsigned int FMOD_INITFLAGS;
#define FMOD_INIT_NORMAL 0x00000000u

typedef unsigned int FMOD_TIMEUNIT;
#define FMOD_TIMEUNIT_MS 0x00000001u
#define FMOD_TIMEUNIT_PCM 0x00000002u
// Sound::getLength's answer for a length it does not know.
#define FMODEX_LENGTH_UNKNOWN 0xFFFFFFFFu

typedef unsigned int FMOD_MEMORY_TYPE;
#define FMOD_MEMORY_ALL 0xFFFFFFFFu

typedef enum FMOD_SOUND_FORMAT {
  FMOD_SOUND_FORMAT_NONE,
  FMOD_SOUND_FORMAT_PCM8,
  FMOD_SOUND_FORMAT_PCM16,
  FMOD_SOUND_FORMAT_PCM24,
  FMOD_SOUND_FORMAT_PCM32,
  FMOD_SOUND_FORMAT_PCMFLOAT,
} FMOD_SOUND_FORMAT;

typedef enum FMOD_DSP_RESAMPLER {
  FMOD_DSP_RESAMPLER_NOINTERP,  // zero-order hold
  FMOD_DSP_RESAMPLER_LINEAR,
  FMOD_DSP_RESAMPLER_CUBIC,     // band-limited (the resampling library's fastest sinc converter)
  FMOD_DSP_RESAMPLER_SPLINE,    // the same
} FMOD_DSP_RESAMPLER;

typedef enum FMOD_PLUGINTYPE {
  FMOD_PLUGINTYPE_OUTPUT,
  FMOD_PLUGINTYPE_CODEC,
  FMOD_PLUGINTYPE_DSP,
} FMOD_PLUGINTYPE;

typedef enum FMOD_CHANNELINDEX {
  FMOD_CHANNEL_FREE = -1,   // the first channel not playing
  FMOD_CHANNEL_REUSE = -2,  // not supported
} FMOD_CHANNELINDEX;

typedef void* (*FMOD_MEMORY_ALLOCCALLBACK)(unsigned int size, FMOD_MEMORY_TYPE type);
typedef void* (*FMOD_MEMORY_REALLOCCALLBACK)(void* ptr, unsigned int size, FMOD_MEMORY_TYPE type);
typedef void (*FMOD_MEMORY_FREECALLBACK)(void* ptr, FMOD_MEMORY_TYPE type);

// Extra information for createSound and createStream. cbsize must be sizeof(FMOD_CREATESOUNDEXINFO).
typedef struct FMOD_CREATESOUNDEXINFO {
  int cbsize;
  unsigned int length;      // bytes of memory to read (FMOD_OPENMEMORY*), or of the file window (0: to the end)
  unsigned int fileoffset;  // where the file window starts
  int numchannels;          // not used: the file says
  int defaultfrequency;     // when not 0, replaces the file's rate as the sound's default frequency
  void* userdata;           // the sound's user data (FMOD_Sound_GetUserData)
} FMOD_CREATESOUNDEXINFO;

typedef struct FMOD_SYSTEM FMOD_SYSTEM;
typedef struct FMOD_SOUND FMOD_SOUND;

// The library's memory: a block it may use for all of its allocations. Accepted and kept (the library takes its
// memory from the process heap); only before the first System exists (else FMOD_ERR_INITIALIZATION). A null
// block or a length below 1 MiB is FMOD_ERR_INVALID_PARAM.
FMOD_RESULT FMOD_Memory_Initialize(void* poolmem, int poollen, FMOD_MEMORY_ALLOCCALLBACK useralloc,
                                   FMOD_MEMORY_REALLOCCALLBACK userrealloc, FMOD_MEMORY_FREECALLBACK userfree,
                                   FMOD_MEMORY_TYPE memtypeflags);
FMOD_RESULT FMOD_Sound_GetUserData(FMOD_SOUND* sound, void** userdata);

namespace FMOD {

class System;
class Sound;
class Channel;
class ChannelGroup;

FMOD_RESULT System_Create(System** system);

class System {
 public:
  // Stops every channel, releases every sound and group, closes the output.
  FMOD_RESULT release();

  // No plug-ins exist: the path is kept, every count is 0 and every handle FMOD_ERR_PLUGIN_MISSING.
  FMOD_RESULT setPluginPath(const char* path);
  FMOD_RESULT getNumPlugins(FMOD_PLUGINTYPE plugintype, int* numplugins);
  FMOD_RESULT getPluginHandle(FMOD_PLUGINTYPE plugintype, int index, unsigned int* handle);
  FMOD_RESULT getPluginInfo(unsigned int handle, FMOD_PLUGINTYPE* plugintype, char* name, int namelen,
                            unsigned int* version);

  // Before init: the number of channels (1 to 128) and the mix format (rate 8000 to 192000; PCM16 only;
  // 0 or 2 output channels; 1 to 16 input channels; the resampler).
  FMOD_RESULT setSoftwareChannels(int numsoftwarechannels);
  FMOD_RESULT setSoftwareFormat(int samplerate, FMOD_SOUND_FORMAT format, int numoutputchannels,
                                int maxinputchannels, FMOD_DSP_RESAMPLER resamplemethod);
  FMOD_RESULT getSoftwareFormat(int* samplerate, FMOD_SOUND_FORMAT* format, int* numoutputchannels,
                                int* maxinputchannels, FMOD_DSP_RESAMPLER* resamplemethod, int* bits);
  // Starts the output. maxchannels (1 to 4093) is accepted; the software channels bound what plays.
  FMOD_RESULT init(int maxchannels, FMOD_INITFLAGS flags, void* extradriverdata);
  // Kept; the mixer is 2-D only.
  FMOD_RESULT set3DSettings(float dopplerscale, float distancefactor, float rolloffscale);
  FMOD_RESULT get3DSettings(float* dopplerscale, float* distancefactor, float* rolloffscale);
  // Once a frame: the null output mixes the time that passed since its last mix.
  FMOD_RESULT update();

  FMOD_RESULT createSound(const char* name_or_data, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                          Sound** sound);
  FMOD_RESULT createStream(const char* name_or_data, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                           Sound** sound);
  FMOD_RESULT createChannelGroup(const char* name, ChannelGroup** channelgroup);
  FMOD_RESULT getMasterChannelGroup(ChannelGroup** channelgroup);
  // Gives the sound a free channel in the master group at the sound's default frequency, full volume, centre
  // pan and priority 128, paused or not. FMOD_CHANNEL_FREE only.
  FMOD_RESULT playSound(FMOD_CHANNELINDEX channelid, Sound* sound, bool paused, Channel** channel);
  FMOD_RESULT getChannelsPlaying(int* channels);

 protected:
  System() = default;
  ~System() = default;
};

class Sound {
 public:
  // Stops every channel that plays it, then frees it.
  FMOD_RESULT release();
  FMOD_RESULT setLoopCount(int loopcount);
  FMOD_RESULT getLoopCount(int* loopcount);
  // Default frequency (the file's rate), volume 1, pan 0, priority 128.
  FMOD_RESULT getDefaults(float* frequency, float* volume, float* pan, int* priority);
  // A sample's length; a stream's as its header gives it. A stream whose file gives none (or one that 32 bits do
  // not hold in that unit) answers FMODEX_LENGTH_UNKNOWN until a channel has played it to where its data ends, and
  // from then on the length to there (however far ahead its decoder reads, which changes from run to run).
  FMOD_RESULT getLength(unsigned int* length, FMOD_TIMEUNIT lengthtype);
  // Not a call of the library this stands in for: whether the stream's data ends before the length its header
  // gives (getLength's), or is an Ogg file that has lost its last page, which gives its length. Such a stream
  // opens and plays to where its data ends, looping from there when it loops; one cut before its first frame
  // does not open (FMOD_ERR_FILE_BAD). A sample answers false: it is decoded whole at creation and its length is
  // what was decoded (a RIFF WAVE sample shorter than its RIFF size does not open, FMOD_ERR_FILE_BAD).
  FMOD_RESULT getCutShort(bool* cutshort);
  FMOD_RESULT getFormat(int* channels, int* bits);
  FMOD_RESULT setUserData(void* userdata);
  FMOD_RESULT getUserData(void** userdata);

 protected:
  Sound() = default;
  ~Sound() = default;
};

class Channel {
 public:
  FMOD_RESULT setPaused(bool paused);
  FMOD_RESULT getPaused(bool* paused);
  // 0 to 1 (clamped).
  FMOD_RESULT setVolume(float volume);
  FMOD_RESULT getVolume(float* volume);
  // -1 (left) to 1 (right), clamped.
  FMOD_RESULT setPan(float pan);
  FMOD_RESULT getPan(float* pan);
  // Playback rate in Hz (0 to 8 x the mix rate; the sound's default frequency plays it as recorded).
  FMOD_RESULT setFrequency(float frequency);
  FMOD_RESULT getFrequency(float* frequency);
  // 0 (most important) to 256; kept.
  FMOD_RESULT setPriority(int priority);
  FMOD_RESULT getPriority(int* priority);
  // Null moves the channel to the master group.
  FMOD_RESULT setChannelGroup(ChannelGroup* channelgroup);
  FMOD_RESULT getChannelGroup(ChannelGroup** channelgroup);
  FMOD_RESULT stop();
  FMOD_RESULT isPlaying(bool* isplaying);
  // Position inside the sound (inside the current loop: a stream cut short loops at where its data ends).
  FMOD_RESULT getPosition(unsigned int* position, FMOD_TIMEUNIT postype);
  // Level of each input channel (1 to 16 of them; channels past numlevels keep their level).
  FMOD_RESULT setInputChannelMix(float* levels, int numlevels);

 protected:
  Channel() = default;
  ~Channel() = default;
};

class ChannelGroup {
 public:
  // Its channels and child groups move to the master group. The master group cannot be released.
  FMOD_RESULT release();
  // Makes group a child of this one (taking it from its former parent).
  FMOD_RESULT addGroup(ChannelGroup* group);
  FMOD_RESULT setVolume(float volume);
  FMOD_RESULT getVolume(float* volume);
  FMOD_RESULT getName(char* name, int namelen);
  FMOD_RESULT getParentGroup(ChannelGroup** group);
  FMOD_RESULT getNumChannels(int* numchannels);

 protected:
  ChannelGroup() = default;
  ~ChannelGroup() = default;
};

}  // namespace FMOD

// The C name of System_Create.
FMOD_RESULT FMOD_System_Create(FMOD::System** system);
