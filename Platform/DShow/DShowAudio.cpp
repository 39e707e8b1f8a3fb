// The sound renderer's output (the sound library's mixer, an SDL audio device of its own, or a null output in real
// time) and the movie clock.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Platform/DShow/DShowInternal.h"
#include "Platform/Win32/Win32Sdl.h"

namespace DShowInternal {

namespace {

// Queued sound is kept in a ring of this many seconds; the streaming thread queues about half a second ahead.
constexpr double gc_dRING_SECONDS = 4.0;

double secondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

CAudioOutput::CAudioOutput(int iRate, EDShowAudioOutput eOutput, const SPlatformPcmInput* pMixer)
    : m_iRate(iRate), m_ring(static_cast<size_t>(gc_dRING_SECONDS * iRate) * 2, 0) {
  if (pMixer != nullptr) {
    mp_pMixer = pMixer->pInput;
    m_dMixerLatency = pMixer->dLatency;
  }
  // The mixer holds the program's sound device: a device of the movie's own is opened only without it.
  if (eOutput == EDShowAudioOutput::Device && mp_pMixer == nullptr) {
    if (Win32InitSdlSubSystem(SDL_INIT_AUDIO) == 0) {
      m_bSdlAudio = true;
      SDL_AudioSpec want{};
      want.freq = iRate;
      want.format = AUDIO_S16SYS;
      want.channels = 2;
      want.samples = gc_iBLOCK_FRAMES;
      want.callback = &CAudioOutput::deviceCallback;
      want.userdata = this;
      m_uiDevice = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    }
    if (m_uiDevice == 0) {
      std::fprintf(stderr, "DirectShow stand-in: no audio device for the movie's sound (%s); it plays silently\n",
                   m_bSdlAudio ? SDL_GetError() : "no audio driver");
      if (m_bSdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
      m_bSdlAudio = false;
    }
  }
  if (eOutput == EDShowAudioOutput::Manual) {
    m_bManual = true;
    m_manualBlock.resize(static_cast<size_t>(gc_iBLOCK_FRAMES) * 2);
  } else if (m_uiDevice == 0) {
    m_null = std::thread(&CAudioOutput::nullThread, this);
  }
}

CAudioOutput::~CAudioOutput() {
  if (m_uiDevice != 0) {
    SDL_CloseAudioDevice(m_uiDevice);
  }
  if (m_bSdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  if (m_null.joinable()) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bQuit = true;
    }
    m_nullWake.notify_all();
    m_null.join();
  }
}

void CAudioOutput::setRunning(bool bRunning) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bRunning == bRunning) return;
    if (!bRunning) {
      m_dPaused = clockLocked(clockNow());
      m_dFloor = m_dPaused;
    } else {
      // What was handed over before the pause is taken as heard; the clock goes on from where it stood.
      m_bHandedOver = false;
      m_uiTakenBeforeLast = m_uiTaken;
      m_uiLastFrames = 0;
      m_tDrained = clockNow();
      m_dDrained = m_dPaused;
      m_tNextHandOver = m_tDrained;
    }
    m_bRunning = bRunning;
  }
  if (m_bManual) return;
  if (m_uiDevice != 0) {
    SDL_PauseAudioDevice(m_uiDevice, bRunning ? 0 : 1);
  } else {
    m_nullWake.notify_all();
  }
}

void CAudioOutput::setVolume(LONG lVolume) {
  const float fGain = lVolume <= -10000 ? 0.0f : std::pow(10.0f, static_cast<float>(lVolume) / 2000.0f);
  m_fGain.store(std::min(fGain, 1.0f));
}

void CAudioOutput::queue(const std::int16_t* pSamples, size_t uiFrames, double dPts) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_bBaseSet) {
    // The clock counts from the first frame queued after a flush.
    m_bBaseSet = true;
    m_dBasePts = dPts;
    m_dFloor = std::max(m_dFloor, dPts);
  }
  m_bDrained = false;
  const size_t uiCapacity = m_ring.size() / 2;
  uiFrames = std::min(uiFrames, uiCapacity - m_uiQueued);
  size_t uiWrite = (m_uiRead + m_uiQueued) % uiCapacity;
  for (size_t i = 0; i < uiFrames;) {
    const size_t uiRun = std::min(uiFrames - i, uiCapacity - uiWrite);
    std::memcpy(&m_ring[uiWrite * 2], pSamples + i * 2, uiRun * 2 * sizeof(std::int16_t));
    i += uiRun;
    uiWrite = (uiWrite + uiRun) % uiCapacity;
  }
  m_uiQueued += uiFrames;
}

double CAudioOutput::queuedSeconds() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<double>(m_uiQueued) / m_iRate;
}

void CAudioOutput::flush(double dPts) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_uiRead = 0;
  m_uiQueued = 0;
  m_bEndOfStream = false;
  m_bBaseSet = false;
  m_dBasePts = dPts;
  m_uiTaken = 0;
  m_uiTakenBeforeLast = 0;
  m_uiLastFrames = 0;
  m_bHandedOver = false;
  m_dFloor = dPts;
  m_dPaused = dPts;
  m_bDrained = false;
}

void CAudioOutput::setEndOfStream() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bEndOfStream = true;
}

bool CAudioOutput::finished() {
  std::lock_guard<std::mutex> lock(m_mutex);
  clockLocked(clockNow());
  return m_bDrained;
}

double CAudioOutput::clock(SteadyClock::time_point now) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return clockLocked(now);
}

double CAudioOutput::clockLocked(SteadyClock::time_point now) {
  if (!m_bRunning) return m_dPaused;
  double dValue = m_dFloor;
  const double dLastEnd = static_cast<double>(m_uiLastFrames) / m_iRate + latency();
  if (m_bHandedOver) {
    // The last block with queued frames starts to be heard one block (the latency) after its hand-over; the frames
    // before it were heard up to then.
    const double dSince = secondsBetween(m_tLast, now);
    dValue = std::max(dValue, m_dBasePts + static_cast<double>(m_uiTakenBeforeLast) / m_iRate +
                                  std::min(dSince, dLastEnd) - latency());
  }
  if (m_bEndOfStream && m_uiQueued == 0 && (!m_bHandedOver || secondsBetween(m_tLast, now) >= dLastEnd)) {
    // Every frame has been heard: the clock goes on with the wall clock from then.
    if (!m_bDrained) {
      m_bDrained = true;
      if (m_bHandedOver) {
        m_tDrained = m_tLast + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(dLastEnd));
        m_dDrained = m_dBasePts + static_cast<double>(m_uiTaken) / m_iRate;
      } else {
        m_tDrained = now;
        m_dDrained = dValue;
      }
    }
    dValue = std::max(dValue, m_dDrained + secondsBetween(m_tDrained, now));
  }
  m_dFloor = dValue;
  return dValue;
}

void CAudioOutput::fill(std::int16_t* pOut, int iFrames) {
  const SteadyClock::time_point now = clockNow();
  double dMediaTime = 0.0;
  bool bPlaying = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    bPlaying = m_bRunning;
    dMediaTime = m_dBasePts + static_cast<double>(m_uiTaken) / m_iRate;
    const size_t uiCapacity = m_ring.size() / 2;
    const size_t uiFrames = m_bRunning ? std::min(static_cast<size_t>(iFrames), m_uiQueued) : 0;
    const float fGain = m_fGain.load();
    for (size_t i = 0; i < uiFrames; ++i) {
      const size_t uiAt = ((m_uiRead + i) % uiCapacity) * 2;
      pOut[i * 2] = static_cast<std::int16_t>(std::lrint(m_ring[uiAt] * fGain));
      pOut[i * 2 + 1] = static_cast<std::int16_t>(std::lrint(m_ring[uiAt + 1] * fGain));
    }
    std::memset(pOut + uiFrames * 2, 0, (static_cast<size_t>(iFrames) - uiFrames) * 2 * sizeof(std::int16_t));
    if (uiFrames > 0) {
      // Taken as heard from the previous hand-over's end, so the clock never jumps back.
      clockLocked(now);
      m_tLast = now;
      m_uiTakenBeforeLast = m_uiTaken;
      m_uiLastFrames = static_cast<unsigned int>(uiFrames);
      m_bHandedOver = true;
      m_uiTaken += uiFrames;
      m_uiRead = (m_uiRead + uiFrames) % uiCapacity;
      m_uiQueued -= uiFrames;
    }
  }
  // The whole block goes on, its silence too, so the mixer's input keeps time with this clock.
  if (mp_pMixer != nullptr && bPlaying) mp_pMixer->write(pOut, static_cast<unsigned int>(iFrames));
  notifyAudioObserver(pOut, static_cast<unsigned int>(iFrames), m_iRate, now, dMediaTime);
}

SteadyClock::time_point CAudioOutput::nextHandOver() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bManual && m_bRunning ? m_tNextHandOver : SteadyClock::time_point::max();
}

void CAudioOutput::handOverManual() {
  fill(m_manualBlock.data(), gc_iBLOCK_FRAMES);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_tNextHandOver += std::chrono::duration_cast<SteadyClock::duration>(
      std::chrono::duration<double>(static_cast<double>(gc_iBLOCK_FRAMES) / m_iRate));
}

void CAudioOutput::deviceCallback(void* pUser, std::uint8_t* pStream, int iLength) {
  static_cast<CAudioOutput*>(pUser)->fill(reinterpret_cast<std::int16_t*>(pStream),
                                          iLength / static_cast<int>(2 * sizeof(std::int16_t)));
}

void CAudioOutput::nullThread() {
  std::vector<std::int16_t> block(static_cast<size_t>(gc_iBLOCK_FRAMES) * 2);
  const auto period = std::chrono::duration_cast<SteadyClock::duration>(
      std::chrono::duration<double>(static_cast<double>(gc_iBLOCK_FRAMES) / m_iRate));
  SteadyClock::time_point next = SteadyClock::now();
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_bQuit) {
    if (!m_bRunning) {
      m_nullWake.wait(lock);
      next = SteadyClock::now();
      continue;
    }
    if (m_nullWake.wait_until(lock, next, [this] { return m_bQuit || !m_bRunning; })) continue;
    next += period;
    lock.unlock();
    fill(block.data(), gc_iBLOCK_FRAMES);
    lock.lock();
  }
}

void CWallClock::reset(double dPts) {
  m_dValue = dPts;
  m_tStart = clockNow();
}

void CWallClock::setRunning(bool bRunning, SteadyClock::time_point now) {
  if (bRunning == m_bRunning) return;
  m_dValue = clock(now);
  m_tStart = now;
  m_bRunning = bRunning;
}

double CWallClock::clock(SteadyClock::time_point now) const {
  return m_bRunning ? m_dValue + secondsBetween(m_tStart, now) : m_dValue;
}

}  // namespace DShowInternal
