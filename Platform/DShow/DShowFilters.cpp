// Pins, their enumerators and the three filters: the file's source, the Video Mixing Renderer 9 and the sound
// renderer.
extern "C" {
#include <libavutil/frame.h>
}

#include <cmath>

#include "Platform/DShow/DShowInternal.h"

namespace DShowInternal {

namespace {

// A snapshot of objects, each holding a reference, handed out one by one.
template <typename Enum, typename Item>
class TEnumerator final : public Enum {
 public:
  TEnumerator(const IID& iid, std::vector<Item*> items) : m_iid(iid), m_items(std::move(items)) {
    for (Item* pItem : m_items) pItem->AddRef();
  }
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == m_iid) {
      AddRef();
      *ppvObject = this;
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_uiRefs; }
  ULONG Release() override {
    const ULONG uiLeft = --m_uiRefs;
    if (uiLeft == 0) {
      for (Item* pItem : m_items) pItem->Release();
      delete this;
    }
    return uiLeft;
  }
  HRESULT Next(ULONG uiCount, Item** ppItems, ULONG* puiFetched) override {
    if (ppItems == nullptr || (uiCount > 1 && puiFetched == nullptr)) return E_POINTER;
    ULONG uiFetched = 0;
    while (uiFetched < uiCount && m_uiNext < m_items.size()) {
      ppItems[uiFetched] = m_items[m_uiNext++];
      ppItems[uiFetched]->AddRef();
      ++uiFetched;
    }
    if (puiFetched != nullptr) *puiFetched = uiFetched;
    return uiFetched == uiCount ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    m_uiNext = 0;
    return S_OK;
  }

 private:
  const IID& m_iid;
  std::vector<Item*> m_items;
  size_t m_uiNext = 0;
  std::atomic<ULONG> m_uiRefs{1};
};

}  // namespace

IEnumFilters* makeFilterEnumerator(std::vector<IBaseFilter*> filters) {
  return new TEnumerator<IEnumFilters, IBaseFilter>(IID_IEnumFilters, std::move(filters));
}

// --- Pins ---

CPin::CPin(CFilter* pFilter, PIN_DIRECTION eDirection, EPinKind eKind)
    : mp_pFilter(pFilter), m_eDirection(eDirection), m_eKind(eKind) {}

HRESULT CPin::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPin) {
    AddRef();
    *ppvObject = static_cast<IPin*>(this);
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

ULONG CPin::AddRef() { return mp_pFilter->AddRef(); }
ULONG CPin::Release() { return mp_pFilter->Release(); }

HRESULT CPin::ConnectedTo(IPin** ppPin) {
  if (ppPin == nullptr) return E_POINTER;
  *ppPin = mp_pPeer;
  if (mp_pPeer == nullptr) return VFW_E_NOT_CONNECTED;
  mp_pPeer->AddRef();
  return S_OK;
}

HRESULT CPin::Disconnect() {
  if (mp_pPeer == nullptr) return S_FALSE;
  CPin* pInput = m_eDirection == PINDIR_INPUT ? this : mp_pPeer;
  pInput->filter()->onDisconnect(pInput);
  mp_pPeer->setPeer(nullptr);
  mp_pPeer = nullptr;
  return S_OK;
}

HRESULT CPin::QueryDirection(PIN_DIRECTION* pPinDir) {
  if (pPinDir == nullptr) return E_POINTER;
  *pPinDir = m_eDirection;
  return S_OK;
}

// --- Filters ---

CFilter::~CFilter() = default;

HRESULT CFilter::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  void* pInterface = nullptr;
  if (riid == IID_IUnknown || riid == IID_IBaseFilter) {
    pInterface = static_cast<IBaseFilter*>(this);
  } else {
    pInterface = findInterface(riid);
  }
  *ppvObject = pInterface;
  if (pInterface == nullptr) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG CFilter::Release() {
  const ULONG uiLeft = --m_uiRefs;
  if (uiLeft == 0) delete this;
  return uiLeft;
}

HRESULT CFilter::EnumPins(IEnumPins** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  std::vector<IPin*> pins;
  for (const std::unique_ptr<CPin>& pPin : m_pins) pins.push_back(pPin.get());
  *ppEnum = new TEnumerator<IEnumPins, IPin>(IID_IEnumPins, std::move(pins));
  return S_OK;
}

CPin* CFilter::addPin(PIN_DIRECTION eDirection, EPinKind eKind) {
  m_pins.push_back(std::make_unique<CPin>(this, eDirection, eKind));
  return m_pins.back().get();
}

CSourceFilter::CSourceFilter(std::unique_ptr<CMovie> pMovie) : mp_pMovie(std::move(pMovie)) {
  if (mp_pMovie->hasVideo()) addPin(PINDIR_OUTPUT, EPinKind::Video);
  if (mp_pMovie->hasAudio()) addPin(PINDIR_OUTPUT, EPinKind::Audio);
}

// --- The Video Mixing Renderer 9 ---

CVMRFilter::CVMRFilter() { addPin(PINDIR_INPUT, EPinKind::Video); }

CVMRFilter::~CVMRFilter() {
  for (const std::unique_ptr<CPin>& pPin : pins()) pPin->Disconnect();
  releaseAllocator();
  if (mp_pDevice != nullptr) mp_pDevice->Release();
}

void* CVMRFilter::findInterface(REFIID riid) {
  if (riid == IID_IVMRFilterConfig9) return static_cast<IVMRFilterConfig9*>(this);
  if (riid == IID_IVMRSurfaceAllocatorNotify9) return static_cast<IVMRSurfaceAllocatorNotify9*>(this);
  // IVMRWindowlessControl9 belongs to windowless mode, which this renderer does not run.
  return nullptr;
}

HRESULT CVMRFilter::SetRenderingMode(DWORD dwMode) {
  if (dwMode != VMR9Mode_Renderless) return E_NOTIMPL;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (pins()[0]->peer() != nullptr) return VFW_E_WRONG_STATE;
  m_dwMode = dwMode;
  return S_OK;
}

HRESULT CVMRFilter::SetNumberOfStreams(DWORD dwMaxStreams) { return dwMaxStreams == 1 ? S_OK : E_INVALIDARG; }

void CVMRFilter::releaseAllocator() {
  if (mp_pPresenter != nullptr) mp_pPresenter->Release();
  if (mp_pAllocator != nullptr) mp_pAllocator->Release();
  if (mp_pStaging != nullptr) mp_pStaging->Release();
  mp_pPresenter = nullptr;
  mp_pAllocator = nullptr;
  mp_pStaging = nullptr;
}

HRESULT CVMRFilter::AdviseSurfaceAllocator(DWORD_PTR dwUserID, IVMRSurfaceAllocator9* pAllocator) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_dwMode != VMR9Mode_Renderless) return VFW_E_WRONG_STATE;
  if (pins()[0]->peer() != nullptr) return VFW_E_WRONG_STATE;
  IVMRImagePresenter9* pPresenter = nullptr;
  if (pAllocator != nullptr &&
      FAILED(pAllocator->QueryInterface(IID_IVMRImagePresenter9, reinterpret_cast<void**>(&pPresenter)))) {
    return E_NOINTERFACE;
  }
  if (pAllocator != nullptr) pAllocator->AddRef();
  releaseAllocator();
  mp_pAllocator = pAllocator;
  mp_pPresenter = pPresenter;
  m_dwUserID = dwUserID;
  return S_OK;
}

HRESULT CVMRFilter::SetD3DDevice(IDirect3DDevice9* pDevice, HMONITOR) {
  if (pDevice == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  pDevice->AddRef();
  if (mp_pDevice != nullptr) mp_pDevice->Release();
  mp_pDevice = pDevice;
  return S_OK;
}

HRESULT CVMRFilter::onConnect(CPin*, CPin* pOutput) {
  auto* pSource = dynamic_cast<CSourceFilter*>(pOutput->filter());
  IVMRSurfaceAllocator9* pAllocator = nullptr;
  DWORD_PTR dwUserID = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pSource == nullptr || m_dwMode != VMR9Mode_Renderless || mp_pAllocator == nullptr || mp_pDevice == nullptr) {
      return VFW_E_CANNOT_RENDER;
    }
    pAllocator = mp_pAllocator;
    pAllocator->AddRef();
    dwUserID = m_dwUserID;
  }
  const CMovie* pMovie = pSource->movie();
  VMR9AllocationInfo info{};
  info.dwFlags = VMR9AllocFlag_TextureSurface;
  info.dwWidth = static_cast<DWORD>(pMovie->width());
  info.dwHeight = static_cast<DWORD>(pMovie->height());
  info.Format = D3DFMT_X8R8G8B8;
  info.Pool = D3DPOOL_DEFAULT;
  info.MinBuffers = 1;
  pMovie->aspectRatio(&info.szAspectRatio.cx, &info.szAspectRatio.cy);
  info.szNativeSize = SIZE{pMovie->width(), pMovie->height()};
  DWORD dwBuffers = 1;
  // The allocator makes its surfaces with the device: outside this filter's lock, which the streaming thread takes.
  const HRESULT hr = pAllocator->InitializeDevice(dwUserID, &info, &dwBuffers);
  pAllocator->Release();
  if (FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bDeviceInitialised = true;
  return S_OK;
}

void CVMRFilter::onDisconnect(CPin*) {
  IVMRSurfaceAllocator9* pAllocator = nullptr;
  IDirect3DSurface9* pStaging = nullptr;
  DWORD_PTR dwUserID = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bDeviceInitialised && mp_pAllocator != nullptr) {
      pAllocator = mp_pAllocator;
      pAllocator->AddRef();
    }
    dwUserID = m_dwUserID;
    m_bDeviceInitialised = false;
    pStaging = mp_pStaging;
    mp_pStaging = nullptr;
  }
  if (pAllocator != nullptr) {
    pAllocator->TerminateDevice(dwUserID);
    pAllocator->Release();
  }
  if (pStaging != nullptr) pStaging->Release();
}

void CVMRFilter::startPresenting() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (mp_pPresenter != nullptr) mp_pPresenter->StartPresenting(m_dwUserID);
}

void CVMRFilter::stopPresenting() {
  // Not under the lock: the streaming thread may hold it while it waits in PresentImage, which this call ends.
  IVMRImagePresenter9* pPresenter = mp_pPresenter;
  if (pPresenter != nullptr) pPresenter->StopPresenting(m_dwUserID);
}

bool CVMRFilter::presentFrame(const SVideoFrame& frame, LONG lAspectX, LONG lAspectY) {
  IVMRImagePresenter9* pPresenter = nullptr;
  IDirect3DSurface9* pSurface = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bDeviceInitialised || mp_pPresenter == nullptr) return false;
    if (FAILED(mp_pAllocator->GetSurface(m_dwUserID, 0, 0, &pSurface)) || pSurface == nullptr) return false;
    D3DSURFACE_DESC desc{};
    pSurface->GetDesc(&desc);
    D3DSURFACE_DESC staging{};
    if (mp_pStaging != nullptr) mp_pStaging->GetDesc(&staging);
    if (mp_pStaging == nullptr || staging.Width != desc.Width || staging.Height != desc.Height ||
        staging.Format != desc.Format) {
      if (mp_pStaging != nullptr) mp_pStaging->Release();
      mp_pStaging = nullptr;
      mp_pDevice->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &mp_pStaging,
                                              nullptr);
    }
    D3DLOCKED_RECT locked{};
    bool bFilled = false;
    if (mp_pStaging != nullptr && SUCCEEDED(mp_pStaging->LockRect(&locked, nullptr, 0))) {
      bFilled = m_converter.convert(frame.pFrame.get(), static_cast<BYTE*>(locked.pBits), locked.Pitch, desc.Width,
                                    desc.Height, desc.Format);
      mp_pStaging->UnlockRect();
    }
    if (!bFilled || FAILED(mp_pDevice->UpdateSurface(mp_pStaging, nullptr, pSurface, nullptr))) {
      pSurface->Release();
      return false;
    }
    pPresenter = mp_pPresenter;
    pPresenter->AddRef();
  }
  VMR9PresentationInfo info{};
  info.dwFlags = VMR9Sample_TimeValid | VMR9Sample_SrcDstRectsValid;
  info.lpSurf = pSurface;
  info.rtStart = static_cast<REFERENCE_TIME>(std::llround(frame.dPts * 1e7));
  info.rtEnd = static_cast<REFERENCE_TIME>(std::llround((frame.dPts + frame.dDuration) * 1e7));
  info.szAspectRatio = SIZE{lAspectX, lAspectY};
  info.rcSrc = RECT{0, 0, frame.pFrame->width, frame.pFrame->height};
  D3DSURFACE_DESC desc{};
  pSurface->GetDesc(&desc);
  info.rcDst = RECT{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
  pPresenter->PresentImage(m_dwUserID, &info);
  pPresenter->Release();
  pSurface->Release();
  return true;
}

// --- The sound renderer ---

CSoundRenderer::CSoundRenderer() { addPin(PINDIR_INPUT, EPinKind::Audio); }

CSoundRenderer::~CSoundRenderer() {
  for (const std::unique_ptr<CPin>& pPin : pins()) pPin->Disconnect();
}

HRESULT CSoundRenderer::onConnect(CPin*, CPin* pOutput) {
  auto* pSource = dynamic_cast<CSourceFilter*>(pOutput->filter());
  if (pSource == nullptr) return VFW_E_CANNOT_RENDER;
  const EDShowAudioOutput eOutput = chosenAudioOutput();
  // The sound goes into the sound library's mixer when one runs (the null output keeps it out of any mix), at the
  // mixer's rate; a movie whose sound cannot be resampled to it plays on its own.
  SPlatformPcmInput mixer;
  const bool bMixer = eOutput != EDShowAudioOutput::Null && PlatformOpenPcmInput(&mixer) &&
                      pSource->movie()->setAudioRate(mixer.iRate);
  mp_pOutput = std::make_unique<CAudioOutput>(pSource->movie()->audioRate(), eOutput, bMixer ? &mixer : nullptr);
  mp_pOutput->setVolume(m_lVolume);
  return S_OK;
}

void CSoundRenderer::onDisconnect(CPin*) { mp_pOutput.reset(); }

void CSoundRenderer::setVolume(LONG lVolume) {
  m_lVolume = lVolume;
  if (mp_pOutput != nullptr) mp_pOutput->setVolume(lVolume);
}

}  // namespace DShowInternal
