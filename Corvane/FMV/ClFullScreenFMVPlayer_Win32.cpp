#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/FMV/ClVRM9Allocator_Win32.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/DShow/DShow.h"
#include "Platform/DShow/VMR9.h"
#include "Platform/Win32/Win32.h"

u32 ClFullScreenFMVPlayer_Win32::mp_bVideoAvailable = 0;
std::atomic<i32> ClFullScreenFMVPlayer_Win32::mp_iState{E_FMV_STATE_CLOSED};
f32 ClFullScreenFMVPlayer_Win32::mp_fVolume = 1.0f;
char ClFullScreenFMVPlayer_Win32::mp_szMovieName[KV_MAX_PATH_LEN] = {};
std::atomic<i32> ClFullScreenFMVPlayer_Win32::mp_iFrameState{E_FMV_FRAME_NONE};
IGraphBuilder* ClFullScreenFMVPlayer_Win32::mp_pGraph = nullptr;
IMediaControl* ClFullScreenFMVPlayer_Win32::mp_pMediaControl = nullptr;
IMediaEventEx* ClFullScreenFMVPlayer_Win32::mp_pMediaEvent = nullptr;
IMediaSeeking* ClFullScreenFMVPlayer_Win32::mp_pMediaSeeking = nullptr;
IMediaPosition* ClFullScreenFMVPlayer_Win32::mp_pMediaPosition = nullptr;
IBasicAudio* ClFullScreenFMVPlayer_Win32::mp_pBasicAudio = nullptr;
IVMRWindowlessControl9* ClFullScreenFMVPlayer_Win32::mp_pWindowlessControl = nullptr;
u32 ClFullScreenFMVPlayer_Win32::mp_bHasVideoStream = 0;
ClVRM9Allocator* ClFullScreenFMVPlayer_Win32::mp_pAllocator = nullptr;

static_assert(gc_uiFMV_GRAPH_NOTIFY == gc_uiGRAPH_NOTIFY_MESSAGE, "the window procedure hears the graph's message");

namespace {

constexpr const char* gc_pFMV_FOLDER = "FMV/";
constexpr const char* gc_pFMV_EXTENSION = ".wmv";

template <typename Interface>
void releaseInterface(Interface*& pInterface) {
  if (pInterface != nullptr) {
    pInterface->Release();
    pInterface = nullptr;
  }
}

template <typename Interface>
HRESULT queryGraph(const IID& iid, Interface** ppInterface) {
  return ClFullScreenFMVPlayer_Win32::mp_pGraph->QueryInterface(iid, reinterpret_cast<void**>(ppInterface));
}

}  // namespace

void ClFullScreenFMVPlayer_Win32::initialize() {
  IBaseFilter* pRenderer = nullptr;
  mp_bVideoAvailable = SUCCEEDED(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                                                  reinterpret_cast<void**>(&pRenderer)))
                           ? 1
                           : 0;
  releaseInterface(pRenderer);
  mp_iState.store(E_FMV_STATE_CLOSED);
  mp_fVolume = 1.0f;
  mp_szMovieName[0] = 0;
  mp_iFrameState.store(E_FMV_FRAME_NONE);
}

i32 ClFullScreenFMVPlayer_Win32::volumeToAttenuation(f32 fVolume) {
  // Out-of-range volumes (and NaN) are kept within what the sound renderer takes: silence to full.
  if (!(fVolume > 0.0f)) return gc_iFMV_SILENCE;
  const f64 dAttenuation = 2000.0 * std::log10(static_cast<f64>(fVolume));
  if (dAttenuation >= 0.0) return 0;
  if (dAttenuation <= static_cast<f64>(gc_iFMV_SILENCE)) return gc_iFMV_SILENCE;
  return static_cast<i32>(dAttenuation);
}

i32 ClFullScreenFMVPlayer_Win32::play(const char* pMovieName, f32 fVolume) {
  mp_iFrameState.store(E_FMV_FRAME_NONE);
  KV_ASSERT_MSG(pMovieName != nullptr, "pMovieName");
  if (!mp_bVideoAvailable) return 0;

  char szPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szPath, KvGetBaseDataPath(), KV_MAX_PATH_LEN);
  KvStrLCat(szPath, gc_pFMV_FOLDER, KV_MAX_PATH_LEN);
  KvStrLCat(szPath, pMovieName, KV_MAX_PATH_LEN);
  KvStrLCat(szPath, gc_pFMV_EXTENSION, KV_MAX_PATH_LEN);
  for (char* p = szPath; *p != 0; ++p) {
    if (*p == '/') *p = '\\';
  }
  mp_fVolume = fVolume;
  KvStrLCpy(mp_szMovieName, pMovieName, KV_MAX_PATH_LEN);

  if (mp_iState.load() != E_FMV_STATE_CLOSED) close();
  mp_iState.store(E_FMV_STATE_STOPPED);

  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void**>(&mp_pGraph))) ||
      FAILED(createRenderer())) {
    close();
    return 0;
  }
  wchar16 wszPath[KV_MAX_PATH_LEN];
  i32 i = 0;
  for (; szPath[i] != 0 && i < KV_MAX_PATH_LEN - 1; ++i) {
    wszPath[i] = szPath[i] == '/' ? u'\\' : static_cast<wchar16>(static_cast<u8>(szPath[i]));
  }
  wszPath[i] = 0;
  if (FAILED(renderFile(wszPath)) || refusedPictureSize(szPath) ||
      FAILED(queryGraph(IID_IMediaControl, &mp_pMediaControl)) ||
      FAILED(queryGraph(IID_IMediaEventEx, &mp_pMediaEvent)) ||
      FAILED(queryGraph(IID_IMediaSeeking, &mp_pMediaSeeking)) ||
      FAILED(queryGraph(IID_IMediaPosition, &mp_pMediaPosition))) {
    close();
    return 0;
  }
  if (FAILED(queryGraph(IID_IBasicAudio, &mp_pBasicAudio))) {
    // Without a volume control the graph stays open, stopped.
    return 0;
  }
  mp_pBasicAudio->put_Volume(volumeToAttenuation(fVolume));
  HWND hWnd = ClGraphics::mp_hWnd;
  if (FAILED(mp_pMediaEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(hWnd), static_cast<LONG>(gc_uiFMV_GRAPH_NOTIFY),
                                             0))) {
    close();
    return 0;
  }
  ShowWindow(hWnd, SW_SHOWNORMAL);
  UpdateWindow(hWnd);
  SetForegroundWindow(hWnd);
  SetFocus(hWnd);
  if (FAILED(mp_pMediaControl->Run())) {
    close();
    return 0;
  }
  mp_iState.store(E_FMV_STATE_RUNNING);
  SetFocus(hWnd);
  return 1;
}

bool ClFullScreenFMVPlayer_Win32::refusedPictureSize(const char* pPath) {
  u32 uiWidth = 0;
  u32 uiHeight = 0;
  u32 uiMaxWidth = 0;
  u32 uiMaxHeight = 0;
  if (mp_pAllocator == nullptr || !mp_pAllocator->refusedSize(&uiWidth, &uiHeight, &uiMaxWidth, &uiMaxHeight)) {
    return false;
  }
  std::fprintf(stderr,
               "Movie %s: its pictures are %u x %u pixels; this graphics device makes textures of at most %u x %u, "
               "so the movie is not played\n",
               pPath, uiWidth, uiHeight, uiMaxWidth, uiMaxHeight);
  return true;
}

i32 ClFullScreenFMVPlayer_Win32::createRenderer() {
  IBaseFilter* pRenderer = nullptr;
  IVMRFilterConfig9* pConfig = nullptr;
  IVMRSurfaceAllocatorNotify9* pNotify = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&pRenderer));
  if (SUCCEEDED(hr)) hr = mp_pGraph->AddFilter(pRenderer, u"Video Mixing Renderer 9");
  if (SUCCEEDED(hr)) hr = pRenderer->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(&pConfig));
  if (SUCCEEDED(hr)) hr = pConfig->SetRenderingMode(VMR9Mode_Renderless);
  if (SUCCEEDED(hr)) hr = pConfig->SetNumberOfStreams(1);
  if (SUCCEEDED(hr)) {
    hr = pRenderer->QueryInterface(IID_IVMRSurfaceAllocatorNotify9, reinterpret_cast<void**>(&pNotify));
  }
  if (SUCCEEDED(hr)) {
    if (mp_pAllocator == nullptr) mp_pAllocator = new ClVRM9Allocator();
    hr = pNotify->AdviseSurfaceAllocator(gc_uiFMV_ALLOCATOR_ID, mp_pAllocator);
  }
  if (SUCCEEDED(hr)) hr = mp_pAllocator->AdviseNotify(pNotify);
  releaseInterface(pNotify);
  releaseInterface(pConfig);
  releaseInterface(pRenderer);
  return hr;
}

i32 ClFullScreenFMVPlayer_Win32::addAudioRenderer() {
  IBaseFilter* pRenderer = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&pRenderer));
  if (SUCCEEDED(hr)) hr = mp_pGraph->AddFilter(pRenderer, u"Audio Renderer");
  releaseInterface(pRenderer);
  return hr;
}

i32 ClFullScreenFMVPlayer_Win32::renderFile(const wchar16* pPath) {
  IFilterGraph2* pGraph = nullptr;
  IBaseFilter* pSource = nullptr;
  HRESULT hr = queryGraph(IID_IFilterGraph2, &pGraph);
  if (SUCCEEDED(hr)) hr = pGraph->AddSourceFilter(pPath, u"SOURCE", &pSource);
  if (SUCCEEDED(hr)) hr = addAudioRenderer();
  IEnumPins* pPins = nullptr;
  if (SUCCEEDED(hr)) hr = pSource->EnumPins(&pPins);
  if (SUCCEEDED(hr)) {
    // Only the two renderers already in the graph take the streams.
    IPin* pPin = nullptr;
    while (pPins->Next(1, &pPin, nullptr) == S_OK) {
      pGraph->RenderEx(pPin, AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr);
      releaseInterface(pPin);
    }
    removeUnconnectedFilters();
  }
  releaseInterface(pPins);
  releaseInterface(pSource);
  releaseInterface(pGraph);
  return hr;
}

void ClFullScreenFMVPlayer_Win32::removeUnconnectedFilters() {
  mp_bHasVideoStream = 0;
  IEnumFilters* pFilters = nullptr;
  if (FAILED(mp_pGraph->EnumFilters(&pFilters))) return;
  IBaseFilter* pFilter = nullptr;
  while (pFilters->Next(1, &pFilter, nullptr) == S_OK) {
    IEnumPins* pPins = nullptr;
    bool bConnected = false;
    if (SUCCEEDED(pFilter->EnumPins(&pPins))) {
      IPin* pPin = nullptr;
      while (pPins->Next(1, &pPin, nullptr) == S_OK) {
        IPin* pOther = nullptr;
        if (SUCCEEDED(pPin->ConnectedTo(&pOther))) {
          bConnected = true;
          releaseInterface(pOther);
        }
        releaseInterface(pPin);
      }
    }
    if (bConnected) {
      // The video renderer stayed: the movie has a video stream.
      IVMRFilterConfig9* pConfig = nullptr;
      if (SUCCEEDED(pFilter->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(&pConfig)))) {
        mp_bHasVideoStream = 1;
        releaseInterface(pConfig);
      }
    } else {
      if (pPins != nullptr) {
        pPins->Reset();
        IPin* pPin = nullptr;
        while (pPins->Next(1, &pPin, nullptr) == S_OK) {
          pPin->Disconnect();
          releaseInterface(pPin);
        }
      }
      mp_pGraph->RemoveFilter(pFilter);
    }
    releaseInterface(pPins);
    releaseInterface(pFilter);
    if (!bConnected) {
      // The enumeration starts again after each removal.
      releaseInterface(pFilters);
      if (FAILED(mp_pGraph->EnumFilters(&pFilters))) return;
    }
  }
  releaseInterface(pFilters);
}

void ClFullScreenFMVPlayer_Win32::stop() {
  if (mp_iState.load() != E_FMV_STATE_RUNNING) return;
  // Presenting stops first, so a presenter waiting for its frame returns while the graph stops.
  if (mp_pAllocator != nullptr) mp_pAllocator->StopPresenting(gc_uiFMV_ALLOCATOR_ID);
  mp_pMediaControl->Stop();
  mp_iState.store(E_FMV_STATE_STOPPED);
  LONGLONG iStart = 0;
  mp_pMediaSeeking->SetPositions(&iStart, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
  mp_pMediaControl->Pause();
}

void ClFullScreenFMVPlayer_Win32::handleGraphEvents() {
  if (mp_pMediaEvent == nullptr) return;
  LONG lCode = 0;
  LONG_PTR lParam1 = 0;
  LONG_PTR lParam2 = 0;
  while (SUCCEEDED(mp_pMediaEvent->GetEvent(&lCode, &lParam1, &lParam2, 0))) {
    mp_pMediaEvent->FreeEventParams(lCode, lParam1, lParam2);
    if (lCode == EC_COMPLETE) mp_iState.store(E_FMV_STATE_STOPPED);
  }
}

void ClFullScreenFMVPlayer_Win32::close() {
  releaseGraph();
  releasePresenter();
}

void ClFullScreenFMVPlayer_Win32::releaseGraph() {
  // Presenting stops first, so a presenter waiting for its frame returns while the graph stops.
  if (mp_pAllocator != nullptr) mp_pAllocator->StopPresenting(gc_uiFMV_ALLOCATOR_ID);
  if (mp_pMediaControl != nullptr) mp_pMediaControl->Stop();
  mp_iState.store(E_FMV_STATE_STOPPED);
  if (mp_pMediaEvent != nullptr) mp_pMediaEvent->SetNotifyWindow(0, 0, 0);
  releaseInterface(mp_pMediaEvent);
  releaseInterface(mp_pMediaSeeking);
  releaseInterface(mp_pMediaPosition);
  releaseInterface(mp_pMediaControl);
  releaseInterface(mp_pBasicAudio);
  releaseInterface(mp_pGraph);
  mp_pWindowlessControl = nullptr;
  mp_bHasVideoStream = 0;
  mp_iState.store(E_FMV_STATE_CLOSED);
}

void ClFullScreenFMVPlayer_Win32::releasePresenter() {
  if (mp_pAllocator == nullptr) return;
  mp_pAllocator->destroyTexture();
  delete mp_pAllocator;
  mp_pAllocator = nullptr;
  mp_iFrameState.store(E_FMV_FRAME_NONE);
}

void ClFullScreenFMVPlayer_Win32::onWindowMoved() {
  if (mp_pWindowlessControl == nullptr) return;
  RECT client{};
  GetClientRect(ClGraphics::mp_hWnd, &client);
  mp_pWindowlessControl->SetVideoPosition(nullptr, &client);
}

void ClFullScreenFMVPlayer_Win32::onDisplayModeChanged() {
  if (mp_pWindowlessControl != nullptr) mp_pWindowlessControl->DisplayModeChanged();
}

void ClFullScreenFMVPlayer_Win32::repaintVideo(HWND hWnd, HDC hDC) {
  if (mp_pWindowlessControl != nullptr && mp_bHasVideoStream) mp_pWindowlessControl->RepaintVideo(hWnd, hDC);
}

bool ClFullScreenFMVPlayer_Win32::isVideoShowing() {
  const i32 iState = mp_iState.load();
  return iState == E_FMV_STATE_STARTING || iState == E_FMV_STATE_RUNNING;
}

bool ClFullScreenFMVPlayer_Win32::waitForVideoFrame() {
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::duration<f32>(gc_fFMV_FRAME_WAIT_LIMIT);
  while (mp_iFrameState.load() != E_FMV_FRAME_WAITING && mp_pMediaPosition != nullptr) {
    REFTIME dDuration = 0.0;
    REFTIME dPosition = 0.0;
    mp_pMediaPosition->get_Duration(&dDuration);
    mp_pMediaPosition->get_CurrentPosition(&dPosition);
    // A stream that stalls below its end would keep this thread, and the main thread waiting for it, here for
    // good: after the limit the last frame is drawn again.
    if (!(dDuration - dPosition > 0.0) || std::chrono::steady_clock::now() - start >= limit) break;
    Sleep(1);
  }
  return mp_iFrameState.load() == E_FMV_FRAME_WAITING;
}

ClTexture* ClFullScreenFMVPlayer_Win32::lockVideoTexture() {
  return mp_pAllocator != nullptr ? mp_pAllocator->lockTexture() : nullptr;
}

void ClFullScreenFMVPlayer_Win32::unlockVideoTexture() {
  if (mp_pAllocator != nullptr) mp_pAllocator->unlockTexture();
}

void ClFullScreenFMVPlayer_Win32::releaseVideoFrame() {
  if (mp_pAllocator != nullptr) mp_pAllocator->releaseFrame();
}
