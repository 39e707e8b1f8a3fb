// The sound layer against SDL2_mixer, both on an SDL audio device:
//  - Mix64Voices: CPU time of the audio thread for one 1024-frame block of 64 looping voices at 48 kHz whose
//    volume and pan change before every block, and with pitch:1 their pitch too (never exactly 1 there, so every
//    voice is resampled), against a plain mixer in SDL's audio callback doing the same (linear resampling of every
//    voice whose pitch is not 1, a straight copy of the others), both with the engine's pan law.
//    Mix64VoicesSdlMixer: volume and pan only, against SDL2_mixer (which cannot change pitch) with its own pan law.
//    SDL's disk driver writes to /dev/null with no delay, so blocks follow each other as fast as they are mixed.
//    Each side starts every voice from its first frame on the audio thread after a block, then sets the next
//    block's settings there after every block (left out of the blocks' times, as the checks are), so that every
//    block is known to be mixed with one block's settings from known places in the voices' loops. Both sides check
//    every block against a reference mix of all 64 voices computed here in double precision from the voices'
//    samples, their settings and their places (a voice's place moves by its pitch a frame; the engine's linear
//    resampler reads one frame behind, as libsamplerate's does): the difference of the two, in each side's
//    channel, must stay within 1% of a voice's full level (root mean square over the block), far below what one
//    voice's setting a step off gives.
//    GRINDLOW_BENCH_SKIP "<case>.<side>.volume" (".pan", ".pitch") keeps that setting at the first block's,
//    ".everysecond" the last voice's settings of every second block, ".partial" leaves the last voice out of every
//    block (its volume set to nothing), ".middle" the first voice out of the middle block, ".repeat" gives the
//    previous block again in every third block, ".replay" the block mixed before the voices started (untimed) in
//    every block.
//  - PlayToFirstSample: milliseconds from asking for a sound to its first sample leaving the device, at the
//    default device buffer (1024 frames) of SDL's dummy driver, which runs in real time: the time until the mix
//    block that holds the first sample is made, plus the sample's place in the block, plus one device buffer.
//    The engine side is the whole cue path: playCue, the update that starts it, the mixer. Each side checks that
//    the sound is heard within 100 blocks and that its first block holds the sound at full level on both sides;
//    GRINDLOW_BENCH_SKIP "PlayToFirstSample.engine.cue" (".update") leaves out asking for the cue (the update),
//    "PlayToFirstSample.baseline.play" the call that plays the sound, ".<side>.everysecond" that ask or call of every
//    second iteration; ".<side>.partial" stands for a side whose first block of the sound lacks its last 64 frames,
//    ".<side>.middle" for one that plays the middle iteration's sound at half its level. Every play is of the same
//    sound, timed by the benchmark from the ask to the block that holds it: a side gives no result of its own to
//    repeat or replay.
#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Bench/BenchSkip.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/FMODEx/FMODEx.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Support/KvScratchFolder.h"

namespace {

constexpr int gc_iRATE = 48000;
constexpr int gc_iBLOCK = 1024;
constexpr int gc_iVOICES = 64;
constexpr double gc_dPI = 3.14159265358979;

double threadCpuSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Voice v's tone: a whole number of cycles in its half-second loop.
double toneHz(int iVoice) { return 200.0 + 10.0 * iVoice; }

constexpr int gc_iLOOP_FRAMES = gc_iRATE / 2;
constexpr double gc_dTONE_AMPLITUDE = 3000.0 / 32768.0;

// The volume, pan and pitch (a frequency ratio, 1 with bPitch false) of voice v in block iBlock.
struct SVoiceSettings {
  float fVolume;
  float fPan;  // -1 left .. 1 right
  float fPitch;
};
SVoiceSettings voiceSettings(int iBlock, int v, bool bPitch) {
  const float fPhase = static_cast<float>((iBlock + v) % 16) / 16.0f;
  return {0.2f + 0.6f * fPhase, 2.0f * fPhase - 1.0f, bPitch ? 0.90625f + 0.2f * fPhase : 1.0f};
}

// The engine's pan law: full level on the near side, the far side falling linearly.
float sideGain(const SVoiceSettings& settings, int iSide) {
  return settings.fVolume * std::min(1.0f, iSide == 0 ? 1.0f - settings.fPan : 1.0f + settings.fPan);
}

// What SDL2_mixer is given for the settings: Mix_Volume's 0..128 and Mix_SetPanning's right level 0..255 (the left
// level is the rest of 255).
int mixerVolume(const SVoiceSettings& settings) { return static_cast<int>(MIX_MAX_VOLUME * settings.fVolume); }
Uint8 mixerRight(const SVoiceSettings& settings) { return static_cast<Uint8>(127.5f * (settings.fPan + 1.0f)); }

enum class EPanLaw { Engine, SdlMixer };

// A voice's gain on one side (0 left, 1 right) under a side's pan law.
double gainUnder(EPanLaw eLaw, const SVoiceSettings& settings, int iSide) {
  if (eLaw == EPanLaw::Engine) return sideGain(settings, iSide);
  const double dRight = mixerRight(settings) / 255.0;
  return mixerVolume(settings) / static_cast<double>(MIX_MAX_VOLUME) * (iSide == 0 ? 1.0 - dRight : dRight);
}

// A looping 48 kHz voice (a sine of the voice's tone), 16-bit. The tones' phases are spread (Schroeder's phases):
// started in phase, tones 10 Hz apart would add up to a pulse ten times a second that clips SDL2_mixer's 16-bit
// sums.
std::vector<Sint16> loopSamples(int iVoice) {
  const double dPhase = gc_dPI * iVoice * iVoice / gc_iVOICES;
  std::vector<Sint16> pcm(static_cast<size_t>(gc_iLOOP_FRAMES));
  for (int f = 0; f < gc_iLOOP_FRAMES; ++f) {
    pcm[static_cast<size_t>(f)] =
        static_cast<Sint16>(3000.0 * std::sin(2.0 * gc_dPI * toneHz(iVoice) * f / gc_iRATE + dPhase));
  }
  return pcm;
}

// How a side plays its voices, for the reference mix.
struct SMixSide {
  EPanLaw eLaw;
  // Source frames a resampled voice reads behind its place (the engine's linear resampler: one).
  double dResampledLag;
};

// The settings schedule of a mix benchmark, run on the audio thread after every block. After the first block it
// starts every voice from its first frame; after each later one it checks the block against the reference mix of
// the settings and places it was mixed with, then sets the next block's through the side's calls. The steps
// "<case>.<side>.volume", ".pan" and ".pitch" keep that setting at the first block's; ".everysecond" leaves the last
// voice's settings of every second block unset; the steps of CBenchCheat stand for a side whose blocks cheat (see the
// top of this file).
class CVoiceSchedule {
 public:
  // Starts every voice from its first frame at the next block; false when the side could not.
  using FStart = std::function<bool()>;
  // Sets one voice's settings; false when the side could not.
  using FSet = std::function<bool(int iVoice, const SVoiceSettings& settings)>;

  void start(const std::string& side, bool bPitch, SMixSide mixSide, FStart startVoices, FSet set, int iBlocks) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_samples.empty()) {
      for (int v = 0; v < gc_iVOICES; ++v) {
        std::vector<double>& samples = m_samples.emplace_back();
        for (const Sint16 iSample : loopSamples(v)) samples.push_back(iSample / 32768.0);
      }
    }
    m_bPitch = bPitch;
    m_side = mixSide;
    m_start = std::move(startVoices);
    m_set = std::move(set);
    m_abKeep[0] = benchSkips(side + ".volume");
    m_abKeep[1] = benchSkips(side + ".pan");
    m_abKeep[2] = benchSkips(side + ".pitch");
    m_everySecond = CBenchEverySecond(side);
    m_cheat = CBenchCheat(side);
    m_iBlocks = iBlocks;
    m_iSet = -1;
    m_iChecked = 0;
    m_dWorst = 0.0;
    m_error.clear();
    m_bRunning = true;
  }
  // After it returns no block is checked and nothing is set.
  void stop() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bRunning = false;
    m_start = nullptr;
    m_set = nullptr;
  }
  int checked() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_iChecked;
  }
  // The largest difference of a block from the reference mix so far, in parts of a voice's full level.
  double worst() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_dWorst;
  }
  std::string error() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_error;
  }

  void afterBlock(const void* pSamples, int iFrames, bool bFloat) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_bRunning || iFrames <= 0 || !m_error.empty()) return;
    m_block.resize(static_cast<size_t>(iFrames) * 2);
    for (size_t i = 0; i < m_block.size(); ++i) {
      m_block[i] = bFloat ? static_cast<const float*>(pSamples)[i] : static_cast<const Sint16*>(pSamples)[i] / 32768.0f;
    }
    if (m_iSet < 0) {
      m_replayed = m_block;
      if (!m_start()) {
        m_error = "the voices could not start";
        return;
      }
      m_adPlace.assign(gc_iVOICES, 0.0);
    } else {
      // "repeat" and "replay" give another block in place of the one mixed.
      if (m_cheat.repeats(m_iSet) && m_previous.size() == m_block.size()) m_block = m_previous;
      if (m_cheat.replays() && m_replayed.size() == m_block.size()) m_block = m_replayed;
      checkBlock(m_block.data(), iFrames);
      m_previous = m_block;
      ++m_iChecked;
    }
    ++m_iSet;
    for (int v = 0; v < gc_iVOICES && m_error.empty(); ++v) {
      SVoiceSettings settings = voiceSettings(m_iSet, v, m_bPitch);
      const SVoiceSettings first = voiceSettings(0, v, m_bPitch);
      if (m_abKeep[0]) settings.fVolume = first.fVolume;
      if (m_abKeep[1]) settings.fPan = first.fPan;
      if (m_abKeep[2]) settings.fPitch = first.fPitch;
      // "everysecond": the last voice keeps its settings for every second block.
      if (v == gc_iVOICES - 1 && m_everySecond.leavesOut(m_iSet)) continue;
      if ((v == gc_iVOICES - 1 && m_cheat.partial()) || (v == 0 && m_cheat.changes(m_iSet, m_iBlocks))) {
        settings.fVolume = 0.0f;
      }
      if (!m_set(v, settings)) m_error = "voice " + std::to_string(v) + " could not take its settings";
    }
  }

 private:
  // The block against the reference mix of block m_iSet's settings from the voices' places, which it then moves on.
  void checkBlock(const float* pSamples, int iFrames) {
    m_reference.assign(static_cast<size_t>(iFrames) * 2, 0.0);
    for (int v = 0; v < gc_iVOICES; ++v) {
      const SVoiceSettings settings = voiceSettings(m_iSet, v, m_bPitch);
      const std::vector<double>& samples = m_samples[static_cast<size_t>(v)];
      const double dStep = settings.fPitch;
      const double dLag = dStep == 1.0 ? 0.0 : m_side.dResampledLag;
      const double adGain[2] = {gainUnder(m_side.eLaw, settings, 0), gainUnder(m_side.eLaw, settings, 1)};
      double& dPlace = m_adPlace[static_cast<size_t>(v)];
      for (int f = 0; f < iFrames; ++f) {
        // Before the first frame (a lagging resampler's start) the voice holds its first frame.
        const double dAt = std::max(0.0, dPlace + dStep * f - dLag);
        const double dWhole = std::floor(dAt);
        const size_t uiAt = static_cast<size_t>(dWhole) % samples.size();
        const size_t uiNext = (uiAt + 1) % samples.size();
        const double dValue = samples[uiAt] + (dAt - dWhole) * (samples[uiNext] - samples[uiAt]);
        m_reference[2 * static_cast<size_t>(f)] += dValue * adGain[0];
        m_reference[2 * static_cast<size_t>(f) + 1] += dValue * adGain[1];
      }
      dPlace = std::fmod(dPlace + dStep * iFrames, gc_iLOOP_FRAMES);
    }
    for (int iSide = 0; iSide < 2; ++iSide) {
      double dSquares = 0.0;
      for (int f = 0; f < iFrames; ++f) {
        const size_t i = 2 * static_cast<size_t>(f) + static_cast<size_t>(iSide);
        const double dSample = pSamples[i];
        dSquares += (dSample - m_reference[i]) * (dSample - m_reference[i]);
      }
      const double dOff = std::sqrt(dSquares / iFrames) / gc_dTONE_AMPLITUDE;
      m_dWorst = std::max(m_dWorst, dOff);
      if (!(dOff <= 0.01)) {
        char acError[200];
        std::snprintf(acError, sizeof(acError), "block %d: the %s channel differs from the reference mix of the 64 "
                      "voices by %.3f of a voice's full level", m_iSet, iSide == 0 ? "left" : "right", dOff);
        m_error = acError;
        return;
      }
    }
  }

  std::mutex m_lock;
  bool m_bRunning = false;
  bool m_bPitch = false;
  SMixSide m_side = {EPanLaw::Engine, 0.0};
  FStart m_start;
  FSet m_set;
  bool m_abKeep[3] = {};  // volume, pan, pitch kept at the first block's
  CBenchEverySecond m_everySecond{std::string()};
  CBenchCheat m_cheat{std::string()};
  int m_iBlocks = 0;      // the blocks a run times
  int m_iSet = -1;        // the settings the next block is mixed with
  int m_iChecked = 0;
  double m_dWorst = 0.0;
  std::string m_error;
  std::vector<std::vector<double>> m_samples;  // each voice's loop, in parts of full scale
  std::vector<double> m_adPlace;               // each voice's place in its loop at the next block, in source frames
  std::vector<double> m_reference;
  std::vector<float> m_block;     // the block checked, in parts of full scale
  std::vector<float> m_previous;  // the block checked before it
  std::vector<float> m_replayed;  // the block mixed before the voices started
};

CVoiceSchedule g_schedule;

constexpr int gc_iSOUND_WAIT_BLOCKS = 100;

// What the audio thread reports after each block: its CPU time since the previous block, and when the first
// non-silent sample appeared, checked against the sound asked for.
struct SBlockClock {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<double> cpuPerBlock;
  double dLastCpu = -1.0;
  std::thread::id lastThread;
  bool bWatchSound = false;
  std::chrono::steady_clock::time_point firstSound;
  int iFirstFrame = -1;
  int iSilentBlocks = 0;
  std::vector<Sint16> soundSamples;  // the sound watched for, from its first frame
  bool bPartialSound = false;        // the step "partial": the block's last frames are left silent
  bool bChangedSound = false;        // the step "middle": the block is heard at half its level
  std::string soundError;

  void onBlock(const void* pSamples, int iFrames, bool bFloat) {
    const double dCpu = threadCpuSeconds();
    // The checks of the block and the next block's settings are left out of the blocks' times.
    g_schedule.afterBlock(pSamples, iFrames, bFloat);
    const double dChecked = threadCpuSeconds();
    std::lock_guard<std::mutex> guard(lock);
    // A block's time is measured from the previous block of the same thread.
    if (std::this_thread::get_id() != lastThread) {
      lastThread = std::this_thread::get_id();
      dLastCpu = -1.0;
    }
    if (dLastCpu >= 0.0 && dCpu >= dLastCpu) {
      cpuPerBlock.push_back(dCpu - dLastCpu);
      if (cpuPerBlock.size() > 64) {
        cpuPerBlock.pop_front();
      }
    }
    dLastCpu = dChecked;
    if (bWatchSound && iFirstFrame < 0 && soundError.empty()) {
      watchBlock(pSamples, iFrames, bFloat);
    }
    changed.notify_all();
  }
  // Forgets the previous device's thread (a new device may run on a thread of the same id).
  void reset() {
    std::lock_guard<std::mutex> guard(lock);
    dLastCpu = -1.0;
    lastThread = std::thread::id();
    cpuPerBlock.clear();
  }
  double nextBlockCpu() {
    std::unique_lock<std::mutex> guard(lock);
    cpuPerBlock.clear();
    changed.wait(guard, [&] { return !cpuPerBlock.empty(); });
    return cpuPerBlock.front();
  }
  // Watches for the sound of these samples, played once at full level in the middle. bPartial and bChanged stand for a
  // side that makes only part of its first block, or changes its level.
  void watchSound(const std::vector<Sint16>& samples, bool bPartial = false, bool bChanged = false) {
    std::lock_guard<std::mutex> guard(lock);
    bWatchSound = true;
    iFirstFrame = -1;
    iSilentBlocks = 0;
    soundSamples = samples;
    bPartialSound = bPartial;
    bChangedSound = bChanged;
    soundError.clear();
  }
  // Seconds from start to the first sample leaving the device; negative with *pError set when the sound was not
  // heard within gc_iSOUND_WAIT_BLOCKS blocks or was not the one asked for.
  double waitSound(std::chrono::steady_clock::time_point start, std::string* pError) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [&] { return iFirstFrame >= 0 || !soundError.empty(); });
    bWatchSound = false;
    if (!soundError.empty()) {
      *pError = soundError;
      return -1.0;
    }
    return std::chrono::duration<double>(firstSound - start).count() +
           static_cast<double>(iFirstFrame + gc_iBLOCK) / gc_iRATE;
  }

 private:
  // The first non-silent frame of the block, and the rest of the block against the sound's samples from there on
  // (its first sample is silent: the tone starts at a zero crossing), on both sides.
  void watchBlock(const void* pSamples, int iFrames, bool bFloat) {
    auto sample = [&](int i) {
      if (bPartialSound && i >= 2 * (iFrames - 64)) return 0.0f;
      const float fSample =
          bFloat ? static_cast<const float*>(pSamples)[i] : static_cast<const Sint16*>(pSamples)[i] / 32768.0f;
      return bChangedSound ? fSample * 0.5f : fSample;
    };
    int iFirst = 0;
    while (iFirst < iFrames && sample(2 * iFirst) == 0.0f) ++iFirst;
    if (iFirst == iFrames) {
      if (++iSilentBlocks >= gc_iSOUND_WAIT_BLOCKS) {
        soundError = "no sound in " + std::to_string(iSilentBlocks) + " blocks after it was asked for";
      }
      return;
    }
    for (int f = iFirst; f < iFrames; ++f) {
      const size_t uiAt = static_cast<size_t>(f - iFirst + 1);
      const float fExpected = uiAt < soundSamples.size() ? soundSamples[uiAt] / 32768.0f : 0.0f;
      for (int iSide = 0; iSide < 2; ++iSide) {
        if (std::fabs(sample(2 * f + iSide) - fExpected) > 1e-3f) {
          soundError = "the sound heard is not the one asked for at full level: frame " + std::to_string(f) +
                       " of its first block is " + std::to_string(sample(2 * f + iSide)) + ", not " +
                       std::to_string(fExpected);
          return;
        }
      }
    }
    iFirstFrame = iFirst;
    firstSound = std::chrono::steady_clock::now();
  }
};

SBlockClock g_blockClock;

// Waits for the sound watched for and takes its time as the iteration's; false, the benchmark stopped with the
// error, when it was not heard as asked for.
bool timeSound(benchmark::State& state, std::chrono::steady_clock::time_point start) {
  std::string error;
  const double dSeconds = g_blockClock.waitSound(start, &error);
  if (dSeconds < 0.0) {
    state.SkipWithError(error.c_str());
    return false;
  }
  state.SetIterationTime(dSeconds);
  return true;
}

void engineObserver(void*, const float* pBlock, unsigned int uiFrames) {
  g_blockClock.onBlock(pBlock, static_cast<int>(uiFrames), true);
}

void mixerPostMix(void*, Uint8* pStream, int iLength) { g_blockClock.onBlock(pStream, iLength / 4, false); }

// Voice v's loop as a WAV file image.
std::vector<Uint8> loopSound(int iVoice) {
  const std::vector<Sint16> pcm = loopSamples(iVoice);
  const Uint32 uiData = static_cast<Uint32>(pcm.size() * 2);
  std::vector<Uint8> wav(44 + uiData);
  auto put32 = [&](size_t o, Uint32 v) { std::memcpy(&wav[o], &v, 4); };
  auto put16 = [&](size_t o, Uint16 v) { std::memcpy(&wav[o], &v, 2); };
  std::memcpy(&wav[0], "RIFF", 4);
  put32(4, 36 + uiData);
  std::memcpy(&wav[8], "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);
  put16(22, 1);
  put32(24, gc_iRATE);
  put32(28, gc_iRATE * 2);
  put16(32, 2);
  put16(34, 16);
  std::memcpy(&wav[36], "data", 4);
  put32(40, uiData);
  std::memcpy(&wav[44], pcm.data(), uiData);
  return wav;
}

void useDiskDriver() {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
}

// Times blocks until the benchmark ends, the schedule starting the voices and setting every block's settings
// through the side's calls.
void timeBlocks(benchmark::State& state, const std::string& side, bool bPitch, SMixSide mixSide,
                CVoiceSchedule::FStart startVoices, CVoiceSchedule::FSet set) {
  g_schedule.start(side, bPitch, mixSide, std::move(startVoices), std::move(set),
                   static_cast<int>(state.max_iterations));
  g_blockClock.nextBlockCpu();  // the first block of this device sets its thread's clock
  for (auto _ : state) {
    state.SetIterationTime(g_blockClock.nextBlockCpu());
    // A block that failed its check ends the run (checkMix names it).
    if (!g_schedule.error().empty()) {
      state.SkipWithError(g_schedule.error().c_str());
      break;
    }
  }
  g_schedule.stop();
}

// Whether every timed block matched the reference mix; an empty answer when it did.
std::string checkMix(benchmark::State& state) {
  state.counters["blocks_checked"] = g_schedule.checked();
  state.counters["worst_off_reference"] = g_schedule.worst();
  if (!g_schedule.error().empty()) return g_schedule.error();
  if (g_schedule.checked() < state.iterations()) {
    return "only " + std::to_string(g_schedule.checked()) + " blocks were checked";
  }
  return "";
}

void engineMix(benchmark::State& state, const std::string& side, bool bPitch) {
  useDiskDriver();
  g_blockClock.reset();
  FMODExSetOutput(EFMODExOutput::Device);
  FMOD::System* pSystem = nullptr;
  FMOD_System_Create(&pSystem);
  pSystem->setSoftwareChannels(128);
  pSystem->setSoftwareFormat(gc_iRATE, FMOD_SOUND_FORMAT_PCM16, 0, 16, FMOD_DSP_RESAMPLER_LINEAR);
  if (pSystem->init(128, FMOD_INIT_NORMAL, nullptr) != FMOD_OK || FMODExGetOutput(pSystem) != EFMODExOutput::Device) {
    state.SkipWithError("no SDL disk audio device");
    pSystem->release();
    return;
  }
  std::vector<std::vector<Uint8>> files;
  std::vector<FMOD::Channel*> channels;
  for (int v = 0; v < gc_iVOICES; ++v) {
    files.push_back(loopSound(v));
    FMOD_CREATESOUNDEXINFO exinfo = {};
    exinfo.cbsize = sizeof(exinfo);
    exinfo.length = static_cast<unsigned int>(files.back().size());
    FMOD::Sound* pSound = nullptr;
    FMOD::Channel* pChannel = nullptr;
    if (pSystem->createSound(reinterpret_cast<const char*>(files.back().data()), FMOD_OPENMEMORY | FMOD_LOOP_NORMAL,
                             &exinfo, &pSound) != FMOD_OK ||
        pSystem->playSound(FMOD_CHANNEL_FREE, pSound, true, &pChannel) != FMOD_OK) {
      state.SkipWithError("a voice could not start");
      pSystem->release();
      return;
    }
    channels.push_back(pChannel);
  }
  FMODExSetMixObserver(pSystem, &engineObserver, nullptr);
  // The voices wait paused at their first frames until the schedule starts them. The stand-in's linear resampler
  // reads one frame behind, as libsamplerate's linear converter does.
  timeBlocks(
      state, side, bPitch, {EPanLaw::Engine, 1.0},
      [&channels] {
        return std::all_of(channels.begin(), channels.end(),
                           [](FMOD::Channel* pChannel) { return pChannel->setPaused(false) == FMOD_OK; });
      },
      [&channels, bPitch](int v, const SVoiceSettings& settings) {
        FMOD::Channel* pChannel = channels[static_cast<size_t>(v)];
        return pChannel->setVolume(settings.fVolume) == FMOD_OK && pChannel->setPan(settings.fPan) == FMOD_OK &&
               (!bPitch || pChannel->setFrequency(gc_iRATE * settings.fPitch) == FMOD_OK);
      });
  FMODExSetMixObserver(pSystem, nullptr, nullptr);
  const std::string error = checkMix(state);
  if (!error.empty()) state.SkipWithError(error.c_str());
  pSystem->release();
  FMODExClearOutput();
}

void BM_Engine_Mix64Voices(benchmark::State& state) { engineMix(state, "Mix64Voices.engine", state.range(0) != 0); }
void BM_Engine_Mix64VoicesSdlMixer(benchmark::State& state) { engineMix(state, "Mix64VoicesSdlMixer.engine", false); }

// The plain mixer: 64 looping mono voices into a stereo 16-bit block, in SDL's audio callback.
struct SPlainVoice {
  const Sint16* pSamples;
  int iFrames;
  double dPosition;  // in source frames
  SVoiceSettings settings;
};
struct SPlainMixer {
  std::vector<std::vector<Sint16>> pcm;
  std::vector<SPlainVoice> voices;
  std::vector<float> mix;  // interleaved stereo
};

void plainMix(void* pUserData, Uint8* pStream, int iLength) {
  SPlainMixer& mixer = *static_cast<SPlainMixer*>(pUserData);
  const int iFrames = iLength / 4;
  mixer.mix.assign(static_cast<size_t>(iFrames) * 2, 0.0f);
  float* pMix = mixer.mix.data();
  for (SPlainVoice& voice : mixer.voices) {
    const float fLeft = sideGain(voice.settings, 0) / 32768.0f;
    const float fRight = sideGain(voice.settings, 1) / 32768.0f;
    const Sint16* pIn = voice.pSamples;
    if (voice.settings.fPitch == 1.0f) {
      // Runs up to the loop's end, then from its start.
      int iAt = static_cast<int>(voice.dPosition);
      for (int f = 0; f < iFrames;) {
        const int iRun = std::min(iFrames - f, voice.iFrames - iAt);
        const Sint16* pRun = pIn + iAt;
        float* pOut = pMix + 2 * f;
        for (int i = 0; i < iRun; ++i) {
          const float fSample = pRun[i];
          pOut[2 * i] += fSample * fLeft;
          pOut[2 * i + 1] += fSample * fRight;
        }
        f += iRun;
        iAt += iRun;
        if (iAt == voice.iFrames) iAt = 0;
      }
      voice.dPosition = iAt;
      continue;
    }
    const double dStep = voice.settings.fPitch;
    double dAt = voice.dPosition;
    for (int f = 0; f < iFrames; ++f) {
      const int iAt = static_cast<int>(dAt);
      const int iNext = iAt + 1 == voice.iFrames ? 0 : iAt + 1;
      const float fFraction = static_cast<float>(dAt - iAt);
      const float fSample = pIn[iAt] + (pIn[iNext] - pIn[iAt]) * fFraction;
      pMix[2 * f] += fSample * fLeft;
      pMix[2 * f + 1] += fSample * fRight;
      dAt += dStep;
      if (dAt >= voice.iFrames) dAt -= voice.iFrames;
    }
    voice.dPosition = dAt;
  }
  Sint16* pOut = reinterpret_cast<Sint16*>(pStream);
  for (int i = 0; i < 2 * iFrames; ++i) {
    const float fValue = std::clamp(pMix[i], -1.0f, 1.0f);
    pOut[i] = static_cast<Sint16>(fValue * 32767.0f);
  }
  g_blockClock.onBlock(pMix, iFrames, true);
}

void BM_Baseline_Mix64Voices(benchmark::State& state) {
  const bool bPitch = state.range(0) != 0;
  useDiskDriver();
  g_blockClock.reset();
  SDL_InitSubSystem(SDL_INIT_AUDIO);
  SPlainMixer mixer;
  for (int v = 0; v < gc_iVOICES; ++v) {
    mixer.pcm.push_back(loopSamples(v));
  }
  for (int v = 0; v < gc_iVOICES; ++v) {
    const std::vector<Sint16>& pcm = mixer.pcm[static_cast<size_t>(v)];
    mixer.voices.push_back({pcm.data(), static_cast<int>(pcm.size()), 0.0, voiceSettings(0, v, bPitch)});
  }
  SDL_AudioSpec want{};
  want.freq = gc_iRATE;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = gc_iBLOCK;
  want.callback = &plainMix;
  want.userdata = &mixer;
  const SDL_AudioDeviceID uiDevice = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (uiDevice == 0) {
    state.SkipWithError("SDL could not open the disk audio device");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return;
  }
  SDL_PauseAudioDevice(uiDevice, 0);
  // The callback runs on the audio thread, as the settings are set: no lock is needed.
  timeBlocks(
      state, "Mix64Voices.baseline", bPitch, {EPanLaw::Engine, 0.0},
      [&mixer] {
        for (SPlainVoice& voice : mixer.voices) voice.dPosition = 0.0;
        return true;
      },
      [&mixer](int v, const SVoiceSettings& settings) {
        mixer.voices[static_cast<size_t>(v)].settings = settings;
        return true;
      });
  SDL_CloseAudioDevice(uiDevice);
  const std::string error = checkMix(state);
  if (!error.empty()) state.SkipWithError(error.c_str());
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void BM_Baseline_Mix64VoicesSdlMixer(benchmark::State& state) {
  useDiskDriver();
  g_blockClock.reset();
  SDL_InitSubSystem(SDL_INIT_AUDIO);
  if (Mix_OpenAudioDevice(gc_iRATE, AUDIO_S16SYS, 2, gc_iBLOCK, nullptr, 0) != 0) {
    state.SkipWithError("SDL2_mixer could not open the disk audio device");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return;
  }
  Mix_AllocateChannels(gc_iVOICES);
  std::vector<Mix_Chunk*> chunks;
  for (int v = 0; v < gc_iVOICES; ++v) {
    std::vector<Uint8> wav = loopSound(v);
    chunks.push_back(Mix_LoadWAV_RW(SDL_RWFromConstMem(wav.data(), static_cast<int>(wav.size())), 1));
    if (chunks.back() == nullptr) {
      state.SkipWithError("SDL2_mixer could not load a voice");
      Mix_CloseAudio();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return;
    }
  }
  Mix_SetPostMix(&mixerPostMix, nullptr);
  // The post-mix callback runs inside SDL2_mixer's own, under its lock. Starting a channel drops its panning,
  // which the settings set again right after.
  timeBlocks(
      state, "Mix64VoicesSdlMixer.baseline", false, {EPanLaw::SdlMixer, 0.0},
      [&chunks] {
        for (int v = 0; v < gc_iVOICES; ++v) {
          if (Mix_PlayChannel(v, chunks[static_cast<size_t>(v)], -1) != v) return false;
        }
        return true;
      },
      [](int v, const SVoiceSettings& settings) {
        Mix_Volume(v, mixerVolume(settings));
        const Uint8 uiRight = mixerRight(settings);
        return Mix_SetPanning(v, static_cast<Uint8>(255 - uiRight), uiRight) != 0;
      });
  Mix_SetPostMix(nullptr, nullptr);
  const std::string error = checkMix(state);
  if (!error.empty()) state.SkipWithError(error.c_str());
  Mix_HaltChannel(-1);
  for (Mix_Chunk* pChunk : chunks) {
    Mix_FreeChunk(pChunk);
  }
  Mix_CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// A data root with a one-cue bank for the engine's latency.
void writeLatencyBank() {
  static const std::filesystem::path s_root = KvMakeScratchFolder("grindlow-bench-audio");
  if (s_root.empty()) std::abort();
  static const int s_iRemoved = std::atexit([] { std::filesystem::remove_all(s_root); });
  (void)s_iRemoved;
  const std::filesystem::path& root = s_root;
  std::filesystem::create_directories(root / "Audio");
  std::filesystem::current_path(root);
  const std::vector<Uint8> wav = loopSound(0);
  std::ofstream(root / "Audio" / "Tone.wav", std::ios::binary).write(reinterpret_cast<const char*>(wav.data()),
                                                                     static_cast<std::streamsize>(wav.size()));
  std::vector<Uint8> bank(64 + sizeof(SPrerenderedCue), 0);
  SSoundBankHeader& header = *reinterpret_cast<SSoundBankHeader*>(bank.data());
  header.mp_pSortedIndexEntries = 32;
  header.m_uiBankNameHash = KvStrHash(gc_pszSOUND_BANK_NAME);
  header.m_iNumEntries = 1;
  SSoundBankIndexEntry& entry = *reinterpret_cast<SSoundBankIndexEntry*>(bank.data() + 32);
  entry.m_uiCueNameHash = KvStrHash("Tone");
  entry.mp_pPrerenderedCue = 64;
  SPrerenderedCue& cue = *reinterpret_cast<SPrerenderedCue*>(bank.data() + 64);
  cue.m_iNumSources = 1;
  std::strcpy(cue.m_aszSourceNames[0], "Tone.wav");
  cue.m_afWeights[0] = 1.0f;
  cue.m_afLengths[0] = 0.5f;
  cue.m_afDefaultFrequencies[0] = gc_iRATE;
  cue.m_fVolume = cue.m_fPitch = 1.0f;
  std::ofstream(root / "Audio" / "VOSK_SFX.iAudioSB", std::ios::binary)
      .write(reinterpret_cast<const char*>(bank.data()), static_cast<std::streamsize>(bank.size()));
}

void BM_Engine_PlayToFirstSample(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const std::filesystem::path previous = std::filesystem::current_path();
  writeLatencyBank();
  ClMutexLock::initializePool();
  KvInitializeDataPaths();
  ClFileIO::initialize();
  ClMagFileIO::initTOCPool();
  ClMagFileIO::initRefPool();
  ClDevINI::initialize();
  FMODExSetOutput(EFMODExOutput::Device);
  ClAudioManager::initialize();
  if (ClAudioManager::loadSoundBank() != 1 || FMODExGetOutput(ClAudioManager::getSystem()) != EFMODExOutput::Device) {
    state.SkipWithError("no bank or no dummy audio device");
  }
  FMODExSetMixObserver(ClAudioManager::getSystem(), &engineObserver, nullptr);
  const u32 uiTone = KvStrHash("Tone");
  const std::vector<Sint16> tone = loopSamples(0);
  const bool bUpdate = !benchSkips("PlayToFirstSample.engine.update");
  const CBenchEverySecond everySecond("PlayToFirstSample.engine");
  const CBenchCheat cheat("PlayToFirstSample.engine");
  i64 iPlay = 0;
  for (auto _ : state) {
    g_blockClock.watchSound(tone, cheat.partial(), cheat.changes(iPlay, state.max_iterations));
    const bool bCue = !benchSkips("PlayToFirstSample.engine.cue") && !everySecond.leavesOut(iPlay++);
    const auto start = std::chrono::steady_clock::now();
    SCueHandle handle = bCue ? ClAudioManager::createCueInstance(uiTone) : SCueHandle();
    if (bCue && handle.isNull()) {
      state.SkipWithError("the cue did not start");
      break;
    }
    if (bUpdate) ClAudioManager::update();
    if (!timeSound(state, start)) break;
    if (!handle.isNull()) ClAudioManager::stopCue(&handle, 0.0f);
    g_blockClock.nextBlockCpu();  // one silent block before the next play
  }
  FMODExSetMixObserver(ClAudioManager::getSystem(), nullptr, nullptr);
  ClAudioManager::terminate();
  ClDevINI::terminate();
  ClMagFileIO::shutdown();
  ClFileIO::shutdown();
  ClMutexLock::shutdownPool();
  FMODExClearOutput();
  std::filesystem::current_path(previous);
}

void BM_Baseline_PlayToFirstSample(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  SDL_InitSubSystem(SDL_INIT_AUDIO);
  if (Mix_OpenAudioDevice(gc_iRATE, AUDIO_S16SYS, 2, gc_iBLOCK, nullptr, 0) != 0) {
    state.SkipWithError("SDL2_mixer could not open the dummy audio device");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return;
  }
  std::vector<Uint8> wav = loopSound(0);
  Mix_Chunk* pChunk = Mix_LoadWAV_RW(SDL_RWFromConstMem(wav.data(), static_cast<int>(wav.size())), 1);
  Mix_SetPostMix(&mixerPostMix, nullptr);
  const std::vector<Sint16> tone = loopSamples(0);
  const CBenchEverySecond everySecond("PlayToFirstSample.baseline");
  const CBenchCheat cheat("PlayToFirstSample.baseline");
  i64 iPlay = 0;
  for (auto _ : state) {
    g_blockClock.watchSound(tone, cheat.partial(), cheat.changes(iPlay, state.max_iterations));
    const bool bPlay = !benchSkips("PlayToFirstSample.baseline.play") && !everySecond.leavesOut(iPlay++);
    const auto start = std::chrono::steady_clock::now();
    const int iChannel = pChunk != nullptr && bPlay ? Mix_PlayChannel(-1, pChunk, 0) : -1;
    if (iChannel < 0 && bPlay) {
      state.SkipWithError("SDL2_mixer could not play the sound");
      break;
    }
    if (!timeSound(state, start)) break;
    if (iChannel >= 0) Mix_HaltChannel(iChannel);
    g_blockClock.nextBlockCpu();
  }
  Mix_SetPostMix(nullptr, nullptr);
  Mix_FreeChunk(pChunk);
  Mix_CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

BENCHMARK(BM_Engine_Mix64Voices)->UseManualTime()->Iterations(400)->Unit(benchmark::kMicrosecond)->DenseRange(0, 1)->ArgName("pitch");
BENCHMARK(BM_Baseline_Mix64Voices)->UseManualTime()->Iterations(400)->Unit(benchmark::kMicrosecond)->DenseRange(0, 1)->ArgName("pitch");
BENCHMARK(BM_Engine_Mix64VoicesSdlMixer)->UseManualTime()->Iterations(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline_Mix64VoicesSdlMixer)->UseManualTime()->Iterations(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Engine_PlayToFirstSample)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_PlayToFirstSample)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
