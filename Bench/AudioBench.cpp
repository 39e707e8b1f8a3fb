// The sound layer against SDL2_mixer, both on an SDL audio device:
//  - Mix64Voices: CPU time of the audio thread for one 1024-frame block of 64 looping voices at 48 kHz whose
//    volume and pan change before every block, and with pitch:1 their pitch too, against a plain mixer in SDL's
//    audio callback doing the same (linear resampling of every voice whose pitch is not 1, a straight copy of the
//    others), both with the engine's pan law. Mix64VoicesSdlMixer: volume and pan only, against SDL2_mixer (which
//    cannot change pitch) with its own pan law. SDL's disk driver writes to /dev/null with no delay, so blocks
//    follow each other as fast as they are mixed.
//    Each side sets the next block's settings on the audio thread after every block (left out of the blocks'
//    times, as the checks are), so that every block is known to be mixed with one block's settings. Both sides
//    check what they mixed, block by block: four probe voices, whose tones lie far above the others and apart from
//    each other at any pitch, must sound on each side at the level their volume and pan give and at the frequency
//    their pitch gives (a Hann-windowed DFT of the block at that frequency, within 3% of a voice's full level);
//    and the mean power of each side over the timed blocks must be the sum of the voices' powers (sines whose
//    phases drift apart, so the cross terms average out; every block's settings give the same sum), within 3%.
//    GRINDLOW_BENCH_SKIP "<case>.<side>.volume" (".pan", ".pitch") keeps that setting at the first block's.
//  - PlayToFirstSample: milliseconds from asking for a sound to its first sample leaving the device, at the
//    default device buffer (1024 frames) of SDL's dummy driver, which runs in real time: the time until the mix
//    block that holds the first sample is made, plus the sample's place in the block, plus one device buffer.
//    The engine side is the whole cue path: playCue, the update that starts it, the mixer.
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

// The probe voices and their tones: at any pitch of the schedule (0.9 to 1.09) each stays more than three DFT bins
// of a block (47 Hz) from the others, and far above the other voices' 200 to 830 Hz.
struct SProbe {
  int iVoice;
  double dHz;
};
constexpr SProbe gc_aPROBES[] = {{0, 1500.0}, {21, 2000.0}, {42, 2600.0}, {63, 3400.0}};

// Voice v's tone: a whole number of cycles in its half-second loop.
double toneHz(int iVoice) {
  for (const SProbe& probe : gc_aPROBES) {
    if (probe.iVoice == iVoice) return probe.dHz;
  }
  return 200.0 + 10.0 * iVoice;
}

constexpr double gc_dTONE_AMPLITUDE = 3000.0 / 32768.0;

// The volume, pan and pitch (a frequency ratio, 1 with bPitch false) of voice v in block iBlock.
struct SVoiceSettings {
  float fVolume;
  float fPan;  // -1 left .. 1 right
  float fPitch;
};
SVoiceSettings voiceSettings(int iBlock, int v, bool bPitch) {
  const float fPhase = static_cast<float>((iBlock + v) % 16) / 16.0f;
  return {0.2f + 0.6f * fPhase, 2.0f * fPhase - 1.0f, bPitch ? 0.9f + 0.2f * fPhase : 1.0f};
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

// The amplitude of the tone of dHz in one side (0 left, 1 right) of an interleaved stereo block, through a Hann
// window (its leakage from a tone three bins away is under 1%).
double toneAmplitude(const std::vector<double>& block, int iSide, double dHz) {
  const size_t uiFrames = block.size() / 2;
  double dRe = 0.0;
  double dIm = 0.0;
  double dWindow = 0.0;
  for (size_t f = 0; f < uiFrames; ++f) {
    const double dW = 0.5 - 0.5 * std::cos(2.0 * gc_dPI * static_cast<double>(f) / static_cast<double>(uiFrames));
    const double dAngle = 2.0 * gc_dPI * dHz * static_cast<double>(f) / gc_iRATE;
    dRe += dW * block[2 * f + static_cast<size_t>(iSide)] * std::cos(dAngle);
    dIm += dW * block[2 * f + static_cast<size_t>(iSide)] * std::sin(dAngle);
    dWindow += dW;
  }
  return 2.0 * std::sqrt(dRe * dRe + dIm * dIm) / dWindow;
}

// The settings schedule of a mix benchmark, run on the audio thread after every block: it checks the block against
// the settings it was mixed with (those it set after the block before; the first block only starts them), then
// sets the next block's through the side's calls. The steps "<case>.<side>.volume", ".pan" and ".pitch" keep that
// setting at the first block's.
class CVoiceSchedule {
 public:
  // Sets one voice's settings; false when the side could not.
  using FSet = std::function<bool(int iVoice, const SVoiceSettings& settings)>;

  void start(const std::string& side, bool bPitch, EPanLaw eLaw, FSet set) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bPitch = bPitch;
    m_eLaw = eLaw;
    m_set = std::move(set);
    m_abKeep[0] = benchSkips(side + ".volume");
    m_abKeep[1] = benchSkips(side + ".pan");
    m_abKeep[2] = benchSkips(side + ".pitch");
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
    m_set = nullptr;
  }
  int checked() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_iChecked;
  }
  // The largest difference of a probe's level from its settings' so far, in parts of a voice's full level.
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
    if (!m_bRunning || iFrames <= 0) return;
    if (m_iSet >= 0 && m_error.empty()) {
      m_block.resize(static_cast<size_t>(iFrames) * 2);
      for (size_t i = 0; i < m_block.size(); ++i) {
        m_block[i] = bFloat ? static_cast<const float*>(pSamples)[i] : static_cast<const Sint16*>(pSamples)[i] / 32768.0;
      }
      checkBlock();
      ++m_iChecked;
    }
    ++m_iSet;
    for (int v = 0; v < gc_iVOICES && m_error.empty(); ++v) {
      SVoiceSettings settings = voiceSettings(m_iSet, v, m_bPitch);
      const SVoiceSettings first = voiceSettings(0, v, m_bPitch);
      if (m_abKeep[0]) settings.fVolume = first.fVolume;
      if (m_abKeep[1]) settings.fPan = first.fPan;
      if (m_abKeep[2]) settings.fPitch = first.fPitch;
      if (!m_set(v, settings)) m_error = "voice " + std::to_string(v) + " could not take its settings";
    }
  }

 private:
  void checkBlock() {
    for (const SProbe& probe : gc_aPROBES) {
      const SVoiceSettings settings = voiceSettings(m_iSet, probe.iVoice, m_bPitch);
      const double dHz = probe.dHz * settings.fPitch;
      for (int iSide = 0; iSide < 2; ++iSide) {
        const double dHeard = toneAmplitude(m_block, iSide, dHz) / gc_dTONE_AMPLITUDE;
        const double dGiven = gainUnder(m_eLaw, settings, iSide);
        m_dWorst = std::max(m_dWorst, std::fabs(dHeard - dGiven));
        if (std::fabs(dHeard - dGiven) > 0.03) {
          char acError[200];
          std::snprintf(acError, sizeof(acError), "block %d: voice %d sounds at %.3f of its level at %.0f Hz on the %s, "
                        "its settings give %.3f", m_iSet, probe.iVoice, dHeard, dHz, iSide == 0 ? "left" : "right",
                        dGiven);
          m_error = acError;
          return;
        }
      }
    }
  }

  std::mutex m_lock;
  bool m_bRunning = false;
  bool m_bPitch = false;
  EPanLaw m_eLaw = EPanLaw::Engine;
  FSet m_set;
  bool m_abKeep[3] = {};  // volume, pan, pitch kept at the first block's
  int m_iSet = -1;        // the settings the next block is mixed with
  int m_iChecked = 0;
  double m_dWorst = 0.0;
  std::string m_error;
  std::vector<double> m_block;
};

CVoiceSchedule g_schedule;

// What the audio thread reports after each block: its CPU time since the previous block, and when the first
// non-silent sample appeared.
struct SBlockClock {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<double> cpuPerBlock;
  double dLastCpu = -1.0;
  std::thread::id lastThread;
  bool bWatchSound = false;
  std::chrono::steady_clock::time_point firstSound;
  int iFirstFrame = -1;
  // Sums of the blocks' mean squares, left and right, and how many blocks.
  double adPower[2] = {0.0, 0.0};
  int iPowerBlocks = 0;

  void onBlock(const void* pSamples, int iFrames, bool bFloat) {
    const double dCpu = threadCpuSeconds();
    // The checks of the block and the next block's settings are left out of the blocks' times.
    double adSquares[2] = {0.0, 0.0};
    for (int i = 0; i < 2 * iFrames; ++i) {
      const double dSample = bFloat ? static_cast<const float*>(pSamples)[i]
                                    : static_cast<const Sint16*>(pSamples)[i] / 32768.0;
      adSquares[i % 2] += dSample * dSample;
    }
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
    if (iFrames > 0) {
      adPower[0] += adSquares[0] / iFrames;
      adPower[1] += adSquares[1] / iFrames;
      ++iPowerBlocks;
    }
    if (bWatchSound && iFirstFrame < 0) {
      for (int f = 0; f < iFrames; ++f) {
        const float fLeft = bFloat ? static_cast<const float*>(pSamples)[2 * f]
                                   : static_cast<const Sint16*>(pSamples)[2 * f] / 32768.0f;
        if (fLeft != 0.0f) {
          iFirstFrame = f;
          firstSound = std::chrono::steady_clock::now();
          break;
        }
      }
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
  void startPower() {
    std::lock_guard<std::mutex> guard(lock);
    adPower[0] = adPower[1] = 0.0;
    iPowerBlocks = 0;
  }
  // The mean power of one side (0 left, 1 right) over the blocks since startPower.
  double meanPower(int iSide) {
    std::lock_guard<std::mutex> guard(lock);
    return iPowerBlocks > 0 ? adPower[iSide] / iPowerBlocks : 0.0;
  }
  void watchSound() {
    std::lock_guard<std::mutex> guard(lock);
    bWatchSound = true;
    iFirstFrame = -1;
  }
  // Seconds from start to the first sample leaving the device.
  double waitSound(std::chrono::steady_clock::time_point start) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [&] { return iFirstFrame >= 0; });
    bWatchSound = false;
    return std::chrono::duration<double>(firstSound - start).count() +
           static_cast<double>(iFirstFrame + gc_iBLOCK) / gc_iRATE;
  }
};

SBlockClock g_blockClock;

void engineObserver(void*, const float* pBlock, unsigned int uiFrames) {
  g_blockClock.onBlock(pBlock, static_cast<int>(uiFrames), true);
}

void mixerPostMix(void*, Uint8* pStream, int iLength) { g_blockClock.onBlock(pStream, iLength / 4, false); }

// A looping 48 kHz sound (a sine of the voice's tone) as a WAV file image. The tones' phases are spread (Schroeder's
// phases): started in phase, tones 10 Hz apart would add up to a pulse ten times a second that clips SDL2_mixer's
// 16-bit sums.
std::vector<Uint8> loopSound(int iVoice) {
  const int iFrames = gc_iRATE / 2;
  const double dPhase = gc_dPI * iVoice * iVoice / gc_iVOICES;
  std::vector<Sint16> pcm(static_cast<size_t>(iFrames));
  for (int f = 0; f < iFrames; ++f) {
    pcm[static_cast<size_t>(f)] =
        static_cast<Sint16>(3000.0 * std::sin(2.0 * gc_dPI * toneHz(iVoice) * f / gc_iRATE + dPhase));
  }
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

// Times blocks until the benchmark ends, the schedule setting every block's settings through the side's calls.
void timeBlocks(benchmark::State& state, const std::string& side, bool bPitch, EPanLaw eLaw, CVoiceSchedule::FSet set) {
  g_schedule.start(side, bPitch, eLaw, std::move(set));
  g_blockClock.nextBlockCpu();  // the first block of this device sets its thread's clock
  g_blockClock.startPower();
  for (auto _ : state) {
    state.SetIterationTime(g_blockClock.nextBlockCpu());
  }
  g_schedule.stop();
}

// What the timed blocks show against their settings: every block's probe voices, then the mean power of both sides
// against the sum of the voices' powers; an empty answer when both hold.
std::string checkMix(benchmark::State& state, bool bPitch, EPanLaw eLaw) {
  state.counters["blocks_checked"] = g_schedule.checked();
  state.counters["probe_worst"] = g_schedule.worst();
  if (!g_schedule.error().empty()) return g_schedule.error();
  if (g_schedule.checked() < state.iterations()) {
    return "only " + std::to_string(g_schedule.checked()) + " blocks were checked";
  }
  std::string error;
  for (int iSide = 0; iSide < 2; ++iSide) {
    double dExpected = 0.0;
    for (int v = 0; v < gc_iVOICES; ++v) {
      const double dGain = gainUnder(eLaw, voiceSettings(0, v, bPitch), iSide) * gc_dTONE_AMPLITUDE;
      dExpected += dGain * dGain / 2.0;
    }
    const double dRatio = g_blockClock.meanPower(iSide) / dExpected;
    state.counters[iSide == 0 ? "power_left" : "power_right"] = dRatio;
    if (!(std::fabs(dRatio - 1.0) <= 0.03) && error.empty()) {
      error = "the mix's power is " + std::to_string(dRatio) + " of the voices' power";
    }
  }
  return error;
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
        pSystem->playSound(FMOD_CHANNEL_FREE, pSound, false, &pChannel) != FMOD_OK) {
      state.SkipWithError("a voice could not start");
      pSystem->release();
      return;
    }
    channels.push_back(pChannel);
  }
  FMODExSetMixObserver(pSystem, &engineObserver, nullptr);
  timeBlocks(state, side, bPitch, EPanLaw::Engine, [&channels, bPitch](int v, const SVoiceSettings& settings) {
    FMOD::Channel* pChannel = channels[static_cast<size_t>(v)];
    return pChannel->setVolume(settings.fVolume) == FMOD_OK && pChannel->setPan(settings.fPan) == FMOD_OK &&
           (!bPitch || pChannel->setFrequency(gc_iRATE * settings.fPitch) == FMOD_OK);
  });
  FMODExSetMixObserver(pSystem, nullptr, nullptr);
  const std::string error = checkMix(state, bPitch, EPanLaw::Engine);
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
    const std::vector<Uint8> wav = loopSound(v);
    std::vector<Sint16> pcm((wav.size() - 44) / 2);
    std::memcpy(pcm.data(), wav.data() + 44, pcm.size() * 2);
    mixer.pcm.push_back(std::move(pcm));
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
  timeBlocks(state, "Mix64Voices.baseline", bPitch, EPanLaw::Engine, [&mixer](int v, const SVoiceSettings& settings) {
    mixer.voices[static_cast<size_t>(v)].settings = settings;
    return true;
  });
  SDL_CloseAudioDevice(uiDevice);
  const std::string error = checkMix(state, bPitch, EPanLaw::Engine);
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
    if (chunks.back() == nullptr || Mix_PlayChannel(v, chunks.back(), -1) != v) {
      state.SkipWithError("SDL2_mixer could not start a voice");
      Mix_CloseAudio();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return;
    }
  }
  Mix_SetPostMix(&mixerPostMix, nullptr);
  // The post-mix callback runs inside SDL2_mixer's own, under its lock.
  timeBlocks(state, "Mix64VoicesSdlMixer.baseline", false, EPanLaw::SdlMixer, [](int v, const SVoiceSettings& settings) {
    Mix_Volume(v, mixerVolume(settings));
    const Uint8 uiRight = mixerRight(settings);
    return Mix_SetPanning(v, static_cast<Uint8>(255 - uiRight), uiRight) != 0;
  });
  Mix_SetPostMix(nullptr, nullptr);
  const std::string error = checkMix(state, false, EPanLaw::SdlMixer);
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
  for (auto _ : state) {
    g_blockClock.watchSound();
    const auto start = std::chrono::steady_clock::now();
    SCueHandle handle = ClAudioManager::createCueInstance(uiTone);
    if (handle.isNull()) {
      state.SkipWithError("the cue did not start");
      break;
    }
    ClAudioManager::update();
    const double dSeconds = g_blockClock.waitSound(start);
    state.SetIterationTime(dSeconds);
    ClAudioManager::stopCue(&handle, 0.0f);
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
  for (auto _ : state) {
    g_blockClock.watchSound();
    const auto start = std::chrono::steady_clock::now();
    const int iChannel = pChunk != nullptr ? Mix_PlayChannel(-1, pChunk, 0) : -1;
    if (iChannel < 0) {
      state.SkipWithError("SDL2_mixer could not play the sound");
      break;
    }
    state.SetIterationTime(g_blockClock.waitSound(start));
    Mix_HaltChannel(iChannel);
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
