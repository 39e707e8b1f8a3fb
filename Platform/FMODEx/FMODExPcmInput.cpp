#include "Platform/FMODEx/FMODExPcmInput.h"

#include <algorithm>

#include "Platform/FMODEx/FMODExInternal.h"

namespace FMODExInternal {

PcmInput::PcmInput(int iStartFrames, int iMostFrames)
    : m_ring(static_cast<size_t>(gc_iPCM_CAPACITY_FRAMES) * 2, 0),
      m_uiStart(static_cast<size_t>(iStartFrames)),
      m_uiMost(static_cast<size_t>(std::min(iMostFrames, gc_iPCM_CAPACITY_FRAMES))) {}

void PcmInput::write(const std::int16_t* pFrames, unsigned int uiFrames) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_bDetached) return;
  const size_t uiCapacity = m_ring.size() / 2;
  if (uiFrames > uiCapacity) {
    pFrames += (uiFrames - uiCapacity) * 2;
    uiFrames = static_cast<unsigned int>(uiCapacity);
  }
  // Full: the oldest frames go, so what is heard stays close to what is written.
  const size_t uiOverflow = m_uiQueued + uiFrames > uiCapacity ? m_uiQueued + uiFrames - uiCapacity : 0;
  m_uiRead = (m_uiRead + uiOverflow) % uiCapacity;
  m_uiQueued -= uiOverflow;
  size_t uiWrite = (m_uiRead + m_uiQueued) % uiCapacity;
  for (size_t i = 0; i < uiFrames;) {
    const size_t uiRun = std::min<size_t>(uiFrames - i, uiCapacity - uiWrite);
    std::copy(pFrames + i * 2, pFrames + (i + uiRun) * 2, m_ring.begin() + static_cast<std::ptrdiff_t>(uiWrite * 2));
    i += uiRun;
    uiWrite = (uiWrite + uiRun) % uiCapacity;
  }
  m_uiQueued += uiFrames;
  if (m_uiQueued > m_uiMost) {
    const size_t uiDrop = m_uiQueued - std::min(m_uiStart, m_uiQueued);
    m_uiRead = (m_uiRead + uiDrop) % uiCapacity;
    m_uiQueued -= uiDrop;
  }
}

void PcmInput::mixInto(float* pOut, int iFrames, bool bFlush) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_bStarted && (bFlush || m_uiQueued >= m_uiStart)) m_bStarted = true;
  if (!m_bStarted) return;
  const size_t uiCapacity = m_ring.size() / 2;
  const size_t uiFrames = std::min(static_cast<size_t>(iFrames), m_uiQueued);
  constexpr float fScale = 1.0f / 32768.0f;
  for (size_t i = 0; i < uiFrames; ++i) {
    const size_t uiAt = ((m_uiRead + i) % uiCapacity) * 2;
    pOut[i * 2] += static_cast<float>(m_ring[uiAt]) * fScale;
    pOut[i * 2 + 1] += static_cast<float>(m_ring[uiAt + 1]) * fScale;
  }
  m_uiRead = (m_uiRead + uiFrames) % uiCapacity;
  m_uiQueued -= uiFrames;
  // Ran dry: it waits for the start amount again rather than stutter block by block.
  if (uiFrames < static_cast<size_t>(iFrames)) m_bStarted = false;
}

void PcmInput::detach() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bDetached = true;
  m_uiQueued = 0;
}

bool PcmInput::empty() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_uiQueued == 0;
}

int PcmSink::startFramesLocked() const {
  if (mp_pSystem->eOutput == EFMODExOutput::Null) {
    return static_cast<int>(gc_dPCM_NULL_START_SECONDS * mp_pSystem->iRate);
  }
  return gc_iPCM_START_FRAMES;
}

int PcmSink::mostFramesLocked() const {
  if (mp_pSystem->uiDevice != 0) return startFramesLocked() + gc_iPCM_DEVICE_SLACK_FRAMES;
  return gc_iPCM_CAPACITY_FRAMES;
}

int PcmSink::pcmRate() {
  std::lock_guard<std::mutex> guard(mp_pSystem->lock);
  return mp_pSystem->iRate;
}

double PcmSink::pcmLatency() {
  std::lock_guard<std::mutex> guard(mp_pSystem->lock);
  const int iDeviceFrames = mp_pSystem->uiDevice != 0 ? mp_pSystem->iDeviceBufferFrames : 0;
  return static_cast<double>(startFramesLocked() + iDeviceFrames) / mp_pSystem->iRate;
}

std::shared_ptr<IPlatformPcmInput> PcmSink::openPcmInput() {
  std::lock_guard<std::mutex> guard(mp_pSystem->lock);
  if (!mp_pSystem->bInitialized) return nullptr;
  auto pInput = std::make_shared<PcmInput>(startFramesLocked(), mostFramesLocked());
  mp_pSystem->pcmInputs.push_back(pInput);
  return pInput;
}

}  // namespace FMODExInternal
