// The filter graph manager: filters and connections, the graph's state, events and positions, and the streaming
// thread that decodes, keeps the sound queued and hands each video frame over when it falls due.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Platform/DShow/DShowInternal.h"

namespace DShowInternal {

IEnumFilters* makeFilterEnumerator(std::vector<IBaseFilter*> filters);

namespace {

// Sound is decoded this far ahead of what is heard; video frames up to this many ahead (more only while the sound
// needs packets that lie behind them in the file).
constexpr double gc_dAUDIO_AHEAD = 0.5;
constexpr double gc_dAUDIO_AHEAD_MAX = 3.0;
constexpr size_t gc_uiVIDEO_AHEAD = 4;
constexpr size_t gc_uiVIDEO_AHEAD_MAX = 32;
// A frame this early counts as due; a frame this late is dropped when the next one is due as well.
constexpr double gc_dDUE_TOLERANCE = 0.002;
constexpr double gc_dLATE = 0.025;
// The longest the thread sleeps before it looks at the clock again.
constexpr auto gc_IDLE_WAIT = std::chrono::milliseconds(10);
// Stop waits this long for the streaming thread to let go; a presenter that never returns is reported, not waited
// for forever.
constexpr auto gc_STOP_WAIT = std::chrono::seconds(5);

std::u16string wideString(LPCWSTR pText) { return pText != nullptr ? std::u16string(pText) : std::u16string(); }

std::string narrowPath(LPCWSTR pPath) {
  std::string path;
  for (const char16_t* p = pPath; *p != 0; ++p) {
    const char32_t c = *p;
    if (c < 0x80) {
      path += static_cast<char>(c);
    } else if (c < 0x800) {
      path += static_cast<char>(0xC0 | (c >> 6));
      path += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      path += static_cast<char>(0xE0 | (c >> 12));
      path += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      path += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return path;
}

}  // namespace

CGraph::CGraph() = default;

CGraph::~CGraph() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_eState = State_Stopped;
  stopStreaming(lock);
  std::vector<SFilterEntry> filters;
  filters.swap(m_filters);
  lock.unlock();
  for (SFilterEntry& entry : filters) {
    for (const std::unique_ptr<CPin>& pPin : entry.pFilter->pins()) pPin->Disconnect();
  }
  for (SFilterEntry& entry : filters) {
    entry.pFilter->setGraph(nullptr);
    entry.pFilter->Release();
  }
}

HRESULT CGraph::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  void* pInterface = nullptr;
  if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder || riid == IID_IFilterGraph2) {
    pInterface = static_cast<IFilterGraph2*>(this);
  } else if (riid == IID_IMediaControl) {
    pInterface = static_cast<IMediaControl*>(this);
  } else if (riid == IID_IMediaEvent || riid == IID_IMediaEventEx) {
    pInterface = static_cast<IMediaEventEx*>(this);
  } else if (riid == IID_IMediaSeeking) {
    pInterface = static_cast<IMediaSeeking*>(this);
  } else if (riid == IID_IMediaPosition) {
    pInterface = static_cast<IMediaPosition*>(this);
  } else if (riid == IID_IBasicAudio) {
    pInterface = static_cast<IBasicAudio*>(this);
  }
  *ppvObject = pInterface;
  if (pInterface == nullptr) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG CGraph::Release() {
  const ULONG uiLeft = --m_uiRefs;
  if (uiLeft == 0) delete this;
  return uiLeft;
}

// --- Filters and connections ---

bool CGraph::hasFilterLocked(const CFilter* pFilter) const {
  return std::any_of(m_filters.begin(), m_filters.end(),
                     [pFilter](const SFilterEntry& entry) { return entry.pFilter == pFilter; });
}

HRESULT CGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
  auto* pOurs = dynamic_cast<CFilter*>(pFilter);
  if (pOurs == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_eState != State_Stopped) return VFW_E_WRONG_STATE;
  if (pOurs->graph() != nullptr) return VFW_E_WRONG_STATE;
  const std::u16string name = wideString(pName);
  for (const SFilterEntry& entry : m_filters) {
    if (!name.empty() && entry.name == name) return VFW_E_DUPLICATE_NAME;
  }
  pOurs->AddRef();
  pOurs->setGraph(this);
  m_filters.push_back(SFilterEntry{pOurs, name});
  return S_OK;
}

HRESULT CGraph::RemoveFilter(IBaseFilter* pFilter) {
  auto* pOurs = dynamic_cast<CFilter*>(pFilter);
  std::unique_lock<std::mutex> lock(m_mutex);
  if (pOurs == nullptr || !hasFilterLocked(pOurs)) return VFW_E_NOT_IN_GRAPH;
  if (m_eState != State_Stopped) return VFW_E_WRONG_STATE;
  m_filters.erase(std::remove_if(m_filters.begin(), m_filters.end(),
                                 [pOurs](const SFilterEntry& entry) { return entry.pFilter == pOurs; }),
                  m_filters.end());
  lock.unlock();
  for (const std::unique_ptr<CPin>& pPin : pOurs->pins()) pPin->Disconnect();
  pOurs->setGraph(nullptr);
  pOurs->Release();
  return S_OK;
}

HRESULT CGraph::EnumFilters(IEnumFilters** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  std::vector<IBaseFilter*> filters;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const SFilterEntry& entry : m_filters) filters.push_back(entry.pFilter);
  }
  *ppEnum = makeFilterEnumerator(std::move(filters));
  return S_OK;
}

HRESULT CGraph::AddSourceFilter(LPCWSTR pFileName, LPCWSTR pFilterName, IBaseFilter** ppFilter) {
  if (ppFilter == nullptr) return E_POINTER;
  *ppFilter = nullptr;
  if (pFileName == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  std::unique_ptr<CMovie> pMovie = CMovie::open(Win32ToHostPath(narrowPath(pFileName).c_str()), &hr);
  if (pMovie == nullptr) return hr;
  auto* pSource = new CSourceFilter(std::move(pMovie));
  hr = AddFilter(pSource, pFilterName);
  if (FAILED(hr)) {
    pSource->Release();
    return hr;
  }
  *ppFilter = pSource;
  return S_OK;
}

HRESULT CGraph::RenderEx(IPin* pPinOut, DWORD dwFlags, DWORD*) {
  auto* pOutput = dynamic_cast<CPin*>(pPinOut);
  if (pOutput == nullptr) return E_POINTER;
  if ((dwFlags & ~AM_RENDEREX_RENDERTOEXISTINGRENDERERS) != 0) return E_INVALIDARG;
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!hasFilterLocked(pOutput->filter()) || pOutput->direction() != PINDIR_OUTPUT) return VFW_E_NOT_IN_GRAPH;
  if (m_eState != State_Stopped) return VFW_E_WRONG_STATE;
  if (pOutput->peer() != nullptr) return VFW_E_ALREADY_CONNECTED;
  // The graph never adds a filter itself: a free input pin of the pin's kind on a renderer already present.
  CPin* pInput = nullptr;
  for (const SFilterEntry& entry : m_filters) {
    for (const std::unique_ptr<CPin>& pPin : entry.pFilter->pins()) {
      if (pInput == nullptr && pPin->direction() == PINDIR_INPUT && pPin->kind() == pOutput->kind() &&
          pPin->peer() == nullptr) {
        pInput = pPin.get();
      }
    }
  }
  if (pInput == nullptr) return VFW_E_CANNOT_RENDER;
  lock.unlock();
  // The renderer sets itself up (the VMR's allocator makes its surfaces) outside the graph's lock.
  const HRESULT hr = pInput->filter()->onConnect(pInput, pOutput);
  if (FAILED(hr)) return hr;
  pInput->setPeer(pOutput);
  pOutput->setPeer(pInput);
  return S_OK;
}

void CGraph::findStreamsLocked(CSourceFilter** ppSource, CVMRFilter** ppVMR, CSoundRenderer** ppSound) const {
  *ppSource = nullptr;
  *ppVMR = nullptr;
  *ppSound = nullptr;
  for (const SFilterEntry& entry : m_filters) {
    auto* pSource = dynamic_cast<CSourceFilter*>(entry.pFilter);
    if (pSource == nullptr) continue;
    for (const std::unique_ptr<CPin>& pPin : pSource->pins()) {
      if (pPin->peer() == nullptr) continue;
      *ppSource = pSource;
      if (auto* pVMR = dynamic_cast<CVMRFilter*>(pPin->peer()->filter())) *ppVMR = pVMR;
      if (auto* pSound = dynamic_cast<CSoundRenderer*>(pPin->peer()->filter())) *ppSound = pSound;
    }
    if (*ppSource != nullptr) return;
  }
}

// --- Events ---

void CGraph::queueEventLocked(LONG lCode, LONG_PTR lParam1, LONG_PTR lParam2) {
  m_events.push_back(SEvent{lCode, lParam1, lParam2});
  m_event.notify_all();
  if (m_hNotifyWindow != nullptr) {
    PostMessageA(m_hNotifyWindow, m_uiNotifyMessage, 0, m_lNotifyParam);
  }
}

HRESULT CGraph::GetEvent(LONG* plEventCode, LONG_PTR* plParam1, LONG_PTR* plParam2, LONG lTimeout) {
  if (plEventCode == nullptr || plParam1 == nullptr || plParam2 == nullptr) return E_POINTER;
  std::unique_lock<std::mutex> lock(m_mutex);
  const auto ready = [this] { return !m_events.empty(); };
  if (static_cast<DWORD>(lTimeout) == INFINITE) {
    m_event.wait(lock, ready);
  } else if (lTimeout > 0) {
    m_event.wait_for(lock, std::chrono::milliseconds(lTimeout), ready);
  }
  if (m_events.empty()) return E_ABORT;
  const SEvent event = m_events.front();
  m_events.pop_front();
  *plEventCode = event.lCode;
  *plParam1 = event.lParam1;
  *plParam2 = event.lParam2;
  return S_OK;
}

HRESULT CGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR) { return S_OK; }

HRESULT CGraph::SetNotifyWindow(OAHWND hWnd, LONG lMessage, LONG_PTR lInstanceData) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_hNotifyWindow = reinterpret_cast<HWND>(hWnd);
  m_uiNotifyMessage = static_cast<UINT>(lMessage);
  m_lNotifyParam = lInstanceData;
  // Events already waiting are announced as well, so none is left without its message.
  if (m_hNotifyWindow != nullptr) {
    for (size_t i = 0; i < m_events.size(); ++i) PostMessageA(m_hNotifyWindow, m_uiNotifyMessage, 0, m_lNotifyParam);
  }
  return S_OK;
}

// --- State ---

void CGraph::setRunningLocked(bool bRunning) {
  const SteadyClock::time_point now = clockNow();
  m_wallClock.setRunning(bRunning, now);
  if (mp_pSound != nullptr && mp_pSound->output() != nullptr) mp_pSound->output()->setRunning(bRunning);
}

void CGraph::startStreamingLocked(std::unique_lock<std::mutex>&) {
  findStreamsLocked(&mp_pSource, &mp_pVMR, &mp_pSound);
  m_faults = currentFaults();
  m_bFreeRunning = freeRunning();
  if (mp_pSource != nullptr) mp_pSource->AddRef();
  if (mp_pVMR != nullptr) mp_pVMR->AddRef();
  if (mp_pSound != nullptr) mp_pSound->AddRef();
  m_bThreadQuit = false;
  if (mp_pSource != nullptr) {
    m_decodeThread = std::thread(&CGraph::decodingThread, this);
    m_presentThread = std::thread(&CGraph::presentingThread, this);
  }
}

void CGraph::stopStreaming(std::unique_lock<std::mutex>& lock) {
  if (m_decodeThread.joinable()) {
    m_bThreadQuit = true;
    m_wake.notify_all();
    lock.unlock();
    // A presenter waiting for its frame to be shown returns once presenting has stopped.
    if (mp_pVMR != nullptr) mp_pVMR->stopPresenting();
    lock.lock();
    const bool bLetGo = m_wake.wait_for(lock, gc_STOP_WAIT, [this] { return !m_bPresentBusy && !m_bDecodeBusy; });
    if (!bLetGo) {
      std::fprintf(stderr, "DirectShow stand-in: the presenter holds the streaming thread; waiting for it\n");
    }
    lock.unlock();
    m_decodeThread.join();
    m_presentThread.join();
    lock.lock();
  }
  setRunningLocked(false);
  // Stopped, the position stays where the clock stood.
  m_dStartPosition = positionLocked(clockNow());
  if (mp_pSource != nullptr) mp_pSource->Release();
  if (mp_pVMR != nullptr) mp_pVMR->Release();
  if (mp_pSound != nullptr) mp_pSound->Release();
  mp_pSource = nullptr;
  mp_pVMR = nullptr;
  mp_pSound = nullptr;
}

HRESULT CGraph::Pause() {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_eState == State_Stopped) startStreamingLocked(lock);
  if (m_eState == State_Running) setRunningLocked(false);
  m_eState = State_Paused;
  m_wake.notify_all();
  return S_OK;
}

HRESULT CGraph::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_eState == State_Running) return S_OK;
  if (m_eState == State_Stopped) startStreamingLocked(lock);
  // The presenter is ready before the first frame can be handed over.
  CVMRFilter* pVMR = mp_pVMR;
  lock.unlock();
  if (pVMR != nullptr) pVMR->startPresenting();
  lock.lock();
  m_eState = State_Running;
  setRunningLocked(true);
  m_wake.notify_all();
  return S_OK;
}

HRESULT CGraph::Stop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_eState == State_Stopped) return S_OK;
  m_eState = State_Stopped;
  stopStreaming(lock);
  return S_OK;
}

HRESULT CGraph::GetState(LONG, OAFilterState* pState) {
  if (pState == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  *pState = m_eState;
  return S_OK;
}

// --- Positions ---

double CGraph::positionLocked(SteadyClock::time_point now) const {
  if (m_bSeekPending) return m_dSeekTarget;
  const CMovie* pMovie = nullptr;
  for (const SFilterEntry& entry : m_filters) {
    if (auto* pSource = dynamic_cast<CSourceFilter*>(entry.pFilter)) pMovie = pSource->movie();
  }
  const double dDuration = pMovie != nullptr ? pMovie->duration() : 0.0;
  // At the end the position is the stop time, whatever the last frame's time was.
  if (m_bCompleted && dDuration > 0.0) return dDuration;
  double dPosition = m_dStartPosition;
  if (mp_pSound != nullptr && mp_pSound->output() != nullptr) {
    dPosition = mp_pSound->output()->clock(now);
  } else if (mp_pSource != nullptr) {
    dPosition = m_wallClock.clock(now);
  }
  return dDuration > 0.0 ? std::min(dPosition, dDuration) : dPosition;
}

void CGraph::seekLocked(double dSeconds) {
  if (mp_pSource == nullptr) {
    CSourceFilter* pSource = nullptr;
    CVMRFilter* pVMR = nullptr;
    CSoundRenderer* pSound = nullptr;
    findStreamsLocked(&pSource, &pVMR, &pSound);
    if (pSource != nullptr) pSource->movie()->seek(dSeconds);
    if (pSound != nullptr && pSound->output() != nullptr) pSound->output()->flush(dSeconds);
  } else {
    mp_pSource->movie()->seek(dSeconds);
    if (mp_pSound != nullptr && mp_pSound->output() != nullptr) mp_pSound->output()->flush(dSeconds);
  }
  m_videoQueue.clear();
  m_wallClock.reset(dSeconds);
  m_wallClock.setRunning(m_eState == State_Running, clockNow());
  m_dStartPosition = dSeconds;
  m_dEndTime = dSeconds;
  m_bCompleted = false;
  m_bDecodedAll = false;
}

HRESULT CGraph::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG*, DWORD dwStopFlags) {
  if ((dwStopFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning) return E_NOTIMPL;
  const DWORD dwHow = dwCurrentFlags & AM_SEEKING_PositioningBitsMask;
  if (dwHow == AM_SEEKING_NoPositioning) return S_OK;
  if (pCurrent == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  double dTarget = static_cast<double>(*pCurrent) / 1e7;
  if (dwHow == AM_SEEKING_RelativePositioning) {
    dTarget += positionLocked(clockNow());
  } else if (dwHow != AM_SEEKING_AbsolutePositioning) {
    return E_INVALIDARG;
  }
  dTarget = std::max(dTarget, 0.0);
  if (m_decodeThread.joinable()) {
    // The decoding thread owns the movie while it runs: it seeks at its next step.
    m_bSeekPending = true;
    m_dSeekTarget = dTarget;
    m_wake.notify_all();
  } else {
    seekLocked(dTarget);
  }
  return S_OK;
}

HRESULT CGraph::GetCurrentPosition(LONGLONG* pCurrent) {
  if (pCurrent == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  *pCurrent = static_cast<LONGLONG>(std::llround(positionLocked(clockNow()) * 1e7));
  return S_OK;
}

HRESULT CGraph::GetDuration(LONGLONG* pDuration) {
  if (pDuration == nullptr) return E_POINTER;
  REFTIME dDuration = 0.0;
  const HRESULT hr = get_Duration(&dDuration);
  *pDuration = static_cast<LONGLONG>(std::llround(dDuration * 1e7));
  return hr;
}

HRESULT CGraph::get_Duration(REFTIME* pLength) {
  if (pLength == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  *pLength = 0.0;
  for (const SFilterEntry& entry : m_filters) {
    if (auto* pSource = dynamic_cast<CSourceFilter*>(entry.pFilter)) *pLength = pSource->movie()->duration();
  }
  return S_OK;
}

HRESULT CGraph::get_CurrentPosition(REFTIME* pTime) {
  if (pTime == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  *pTime = positionLocked(clockNow());
  return S_OK;
}

// --- Sound ---

HRESULT CGraph::put_Volume(LONG lVolume) {
  if (lVolume < -10000 || lVolume > 0) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(m_mutex);
  bool bFound = false;
  for (const SFilterEntry& entry : m_filters) {
    if (auto* pSound = dynamic_cast<CSoundRenderer*>(entry.pFilter)) {
      pSound->setVolume(lVolume);
      bFound = true;
    }
  }
  return bFound ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT CGraph::get_Volume(LONG* plVolume) {
  if (plVolume == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const SFilterEntry& entry : m_filters) {
    if (auto* pSound = dynamic_cast<CSoundRenderer*>(entry.pFilter)) {
      *plVolume = pSound->volume();
      return S_OK;
    }
  }
  return VFW_E_NOT_CONNECTED;
}

SDShowStats CGraph::stats() {
  std::lock_guard<std::mutex> lock(m_mutex);
  SDShowStats stats;
  stats.uiFramesPresented = m_uiPresented;
  stats.uiFramesDropped = m_uiDropped;
  for (const SFilterEntry& entry : m_filters) {
    if (auto* pSource = dynamic_cast<CSourceFilter*>(entry.pFilter)) stats.uiDecodeErrors = pSource->movie()->decodeErrors();
    auto* pSound = dynamic_cast<CSoundRenderer*>(entry.pFilter);
    if (pSound != nullptr && pSound->output() != nullptr) {
      stats.bAudioDevice = pSound->output()->isDevice();
      stats.bAudioMixer = pSound->output()->isMixer();
      stats.iAudioRate = pSound->output()->rate();
      stats.dAudioBlock = static_cast<double>(CAudioOutput::gc_iBLOCK_FRAMES) / pSound->output()->rate();
      stats.dAudioLatency = pSound->output()->latency();
    }
  }
  return stats;
}

// --- The streaming thread ---

bool CGraph::stalledLocked() const {
  return m_faults.uiStallAfterFrames > 0 && m_uiPresented >= m_faults.uiStallAfterFrames;
}

bool CGraph::decodeAheadNeededLocked() const {
  if (m_bDecodedAll || stalledLocked()) return false;
  const bool bVideo = mp_pVMR != nullptr;
  CAudioOutput* pOutput = mp_pSound != nullptr ? mp_pSound->output() : nullptr;
  const double dAudioAhead = pOutput != nullptr ? pOutput->queuedSeconds() : 0.0;
  if (bVideo && m_videoQueue.size() < gc_uiVIDEO_AHEAD && dAudioAhead < gc_dAUDIO_AHEAD_MAX) return true;
  if (pOutput != nullptr && dAudioAhead < gc_dAUDIO_AHEAD && m_videoQueue.size() < gc_uiVIDEO_AHEAD_MAX) return true;
  // A stream whose frames feed neither renderer is read through to its end.
  return !bVideo && pOutput == nullptr;
}

bool CGraph::finishedLocked(SteadyClock::time_point now) const {
  if (!m_bDecodedAll || !m_videoQueue.empty()) return false;
  if (m_bFreeRunning) return true;
  CAudioOutput* pOutput = mp_pSound != nullptr ? mp_pSound->output() : nullptr;
  if (pOutput != nullptr) return pOutput->finished() && pOutput->clock(now) >= m_dEndTime;
  return mp_pVMR == nullptr || m_wallClock.clock(now) >= m_dEndTime;
}

void CGraph::decodingThread() {
  CMovie* pMovie = mp_pSource->movie();
  std::deque<SVideoFrame> decoded;
  std::vector<std::int16_t> audio;
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_bThreadQuit) {
    if (m_bSeekPending) {
      m_bSeekPending = false;
      seekLocked(m_dSeekTarget);
      m_wake.notify_all();
      continue;
    }
    if (m_eState == State_Stopped || !decodeAheadNeededLocked()) {
      // The sound drains without telling: look again soon.
      m_wake.wait_for(lock, gc_IDLE_WAIT);
      continue;
    }
    CAudioOutput* pOutput = mp_pSound != nullptr ? mp_pSound->output() : nullptr;
    m_bDecodeBusy = true;
    lock.unlock();
    double dAudioPts = 0.0;
    const bool bMore = pMovie->decodeStep(&decoded, &audio, &dAudioPts);
    if (pOutput != nullptr && !audio.empty()) pOutput->queue(audio.data(), audio.size() / 2, dAudioPts);
    if (!bMore && pOutput != nullptr) pOutput->setEndOfStream();
    audio.clear();
    lock.lock();
    m_bDecodeBusy = false;
    if (m_bSeekPending) {
      decoded.clear();
    } else {
      m_bDecodedAll = !bMore;
      for (SVideoFrame& frame : decoded) {
        m_dEndTime = std::max(m_dEndTime, frame.dPts + frame.dDuration);
        if (mp_pVMR != nullptr) m_videoQueue.push_back(std::move(frame));
      }
      decoded.clear();
    }
    m_wake.notify_all();
  }
  m_bDecodeBusy = false;
  m_wake.notify_all();
}

CGraph::EPresentStep CGraph::presentStepLocked(SteadyClock::time_point now, double* pdWaitSeconds) const {
  *pdWaitSeconds = std::chrono::duration<double>(gc_IDLE_WAIT).count();
  if (m_eState != State_Running || stalledLocked() || m_bSeekPending) return EPresentStep::Wait;
  if (!m_videoQueue.empty()) {
    const SVideoFrame& front = m_videoQueue.front();
    const double dClock = m_bFreeRunning ? front.dPts : positionLocked(now);
    if (front.dPts <= dClock + gc_dDUE_TOLERANCE) {
      const bool bNextDue = m_videoQueue.size() > 1 && m_videoQueue[1].dPts <= dClock;
      return dClock - front.dPts > gc_dLATE && bNextDue ? EPresentStep::Drop : EPresentStep::Present;
    }
    *pdWaitSeconds = std::min(*pdWaitSeconds, front.dPts - dClock);
  }
  if (!m_bCompleted && finishedLocked(now)) return EPresentStep::Complete;
  return EPresentStep::Wait;
}

void CGraph::presentingThread() {
  LONG lAspectX = 0;
  LONG lAspectY = 0;
  mp_pSource->movie()->aspectRatio(&lAspectX, &lAspectY);
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_bThreadQuit) {
    double dWait = 0.0;
    switch (presentStepLocked(clockNow(), &dWait)) {
      case EPresentStep::Drop:
        m_videoQueue.pop_front();
        ++m_uiDropped;
        m_wake.notify_all();
        continue;
      case EPresentStep::Present: {
        SVideoFrame frame = std::move(m_videoQueue.front());
        m_videoQueue.pop_front();
        m_wake.notify_all();
        CVMRFilter* pVMR = mp_pVMR;
        m_bPresentBusy = true;
        lock.unlock();
        const bool bShown = pVMR->presentFrame(frame, lAspectX, lAspectY);
        frame.pFrame.reset();
        lock.lock();
        m_bPresentBusy = false;
        m_wake.notify_all();
        if (bShown) ++m_uiPresented;
        continue;
      }
      case EPresentStep::Complete:
        m_bCompleted = true;
        queueEventLocked(EC_COMPLETE, 0, 0);
        m_wake.notify_all();
        continue;
      case EPresentStep::Wait:
        break;
    }
    m_wake.wait_for(lock, std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(dWait)));
  }
  m_bPresentBusy = false;
  m_wake.notify_all();
}

// --- The test clock ---

bool CGraph::decoderIdleLocked() const {
  if (m_bDecodeBusy || m_bSeekPending) return false;
  return !m_decodeThread.joinable() || m_bThreadQuit || m_eState == State_Stopped || !decodeAheadNeededLocked();
}

bool CGraph::settled() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!decoderIdleLocked() || m_bPresentBusy) return false;
  double dWait = 0.0;
  return presentStepLocked(clockNow(), &dWait) == EPresentStep::Wait;
}

bool CGraph::advanceTestClock(double dSeconds) {
  if (!manualClock() || !(dSeconds >= 0.0)) return false;
  std::unique_lock<std::mutex> lock(m_mutex);
  const SteadyClock::time_point target =
      clockNow() + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(dSeconds));
  for (;;) {
    CAudioOutput* pOutput = m_eState == State_Running && mp_pSound != nullptr ? mp_pSound->output() : nullptr;
    const SteadyClock::time_point next =
        pOutput != nullptr ? pOutput->nextHandOver() : SteadyClock::time_point::max();
    if (next > target) break;
    // The decoding thread reads ahead before the block is taken, as it would while the time passed.
    while (!decoderIdleLocked()) m_wake.wait_for(lock, gc_IDLE_WAIT);
    setTestClock(std::max(next, clockNow()));
    pOutput->handOverManual();
    m_wake.notify_all();
  }
  setTestClock(target);
  m_wake.notify_all();
  return true;
}

}  // namespace DShowInternal
