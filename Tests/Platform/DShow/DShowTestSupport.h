// The DirectShow stand-in's test fixture: a Direct3D device on a window of its own, an allocator and presenter
// that record what the renderer hands them (and read each frame's number from its pixels), and graphs built on the
// sample movies the build makes.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/DShow/DShow.h"
#include "Platform/DShow/DShowTest.h"
#include "Platform/DShow/VMR9.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Platform/D3D9/D3D9TestDevice.h"
#include "Tests/Support/MovieTestSupport.h"

// A host path as a wide Win32 path ("\" separators).
inline std::u16string widePath(const std::string& path) {
  std::u16string wide;
  for (char c : path) wide += c == '/' ? u'\\' : static_cast<char16_t>(static_cast<unsigned char>(c));
  return wide;
}
// A sample movie's wide path.
inline std::u16string movieWidePath(const std::string& name) {
  return widePath(std::string(KV_FMV_DIR) + "/" + name + ".wmv");
}

// How long a wait for something that must happen goes on before the test gives up: only there so a fault ends in a
// failure instead of a hang, never a measure of speed.
inline constexpr double gc_dHANG_GUARD = 60.0;

// The program's side of the renderer, for tests: lockable textures of the asked size, a record of the frames (the
// frame number read from the centre pixel of the texture as the renderer filled it, and the media time), and an
// optional hold that keeps PresentImage waiting until StopPresenting.
class CTestPresenter final : public IVMRSurfaceAllocator9, public IVMRImagePresenter9 {
 public:
  explicit CTestPresenter(IDirect3DDevice9* pDevice) : mp_pDevice(pDevice) {}
  ~CTestPresenter() {
    if (mp_pTexture != nullptr) mp_pTexture->Release();
  }
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IVMRSurfaceAllocator9) {
      *ppvObject = static_cast<IVMRSurfaceAllocator9*>(this);
    } else if (riid == IID_IVMRImagePresenter9) {
      *ppvObject = static_cast<IVMRImagePresenter9*>(this);
    } else {
      *ppvObject = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++m_iRefs; }
  ULONG Release() override { return --m_iRefs; }

  // The device is called outside the presenter's lock, which the streaming thread takes.
  HRESULT InitializeDevice(DWORD_PTR, VMR9AllocationInfo* pInfo, DWORD* pBuffers) override {
    IDirect3DTexture9* pTexture = nullptr;
    const HRESULT hr = mp_pDevice->CreateTexture(pInfo->dwWidth, pInfo->dwHeight, 1, D3DUSAGE_DYNAMIC,
                                                 D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &pTexture, nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_info = *pInfo;
    ++m_iInitialised;
    *pBuffers = 1;
    mp_pTexture = pTexture;
    return hr;
  }
  HRESULT TerminateDevice(DWORD_PTR) override {
    IDirect3DTexture9* pTexture = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      ++m_iTerminated;
      pTexture = mp_pTexture;
      mp_pTexture = nullptr;
    }
    if (pTexture != nullptr) pTexture->Release();
    return S_OK;
  }
  HRESULT GetSurface(DWORD_PTR, DWORD, DWORD, IDirect3DSurface9** ppSurface) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (mp_pTexture == nullptr) return E_POINTER;
    return mp_pTexture->GetSurfaceLevel(0, ppSurface);
  }
  HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* pNotify) override {
    return pNotify->SetD3DDevice(mp_pDevice, nullptr);
  }
  HRESULT StartPresenting(DWORD_PTR) override {
    ++m_iStarts;
    m_bStopped = false;
    return S_OK;
  }
  HRESULT StopPresenting(DWORD_PTR) override {
    ++m_iStops;
    m_bStopped = true;
    return S_OK;
  }
  // The frame is read by the test's thread (serve), which holds the device, as the render worker would draw it.
  HRESULT PresentImage(DWORD_PTR, VMR9PresentationInfo* pInfo) override {
    ++m_iPresented;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_pendingTime = pInfo->rtStart;
      m_bPending = true;
    }
    while ((m_bPending.load() || m_bHold.load()) && !m_bStopped.load()) {
      // A Win32 sleep, as the engine's presenter waits.
      Sleep(1);
    }
    return S_OK;
  }
  // The test's thread: reads a waiting frame's number from the centre of the texture and lets its presenter go.
  // The texture is made and let go on this thread too, so it is read without the presenter's lock, which the
  // streaming thread takes while this thread holds the device.
  void serve() {
    if (!m_bPending.load()) return;
    int iNumber = -1;
    D3DLOCKED_RECT locked{};
    if (mp_pTexture != nullptr && SUCCEEDED(mp_pTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) {
      const DWORD* pRow =
          reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + locked.Pitch * (m_info.dwHeight / 2));
      const DWORD uiPixel = pRow[m_info.dwWidth / 2];
      iNumber = counterFrameNumber(uiPixel);
      mp_pTexture->UnlockRect(0);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.push_back(iNumber);
    m_times.push_back(m_pendingTime);
    m_bPending = false;
  }

  std::vector<int> frames() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
  }
  std::vector<REFERENCE_TIME> times() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_times;
  }
  VMR9AllocationInfo info() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_info;
  }

  IDirect3DDevice9* mp_pDevice;
  IDirect3DTexture9* mp_pTexture = nullptr;
  std::mutex m_mutex;
  VMR9AllocationInfo m_info{};
  std::vector<int> m_frames;
  std::vector<REFERENCE_TIME> m_times;
  REFERENCE_TIME m_pendingTime = 0;
  std::atomic<bool> m_bPending{false};
  std::atomic<int> m_iRefs{1};
  std::atomic<int> m_iInitialised{0};
  std::atomic<int> m_iTerminated{0};
  std::atomic<int> m_iStarts{0};
  std::atomic<int> m_iStops{0};
  std::atomic<int> m_iPresented{0};
  std::atomic<bool> m_bHold{false};
  std::atomic<bool> m_bStopped{false};
};

// Releases a COM pointer and nulls it.
template <typename T>
void releaseCom(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

// A device, then graphs with the VMR-9 (renderless, the test presenter) and the sound renderer on a movie, on the
// manual output: the graphs' clock moves only when the test moves it.
class DShowGraphTest : public D3D9Device {
 protected:
  void SetUp() override {
    D3D9Device::SetUp();
    DShowTestReset();
    DShowTestSetAudioOutput(EDShowAudioOutput::Manual);
    createDevice();
    mp_pPresenter = new CTestPresenter(mp_pDevice);
  }
  void TearDown() override {
    releaseGraph();
    if (mp_pPresenter != nullptr) {
      EXPECT_EQ(mp_pPresenter->m_iRefs.load(), 1) << "the renderer gave back every reference to the presenter";
      delete mp_pPresenter;
    }
    DShowTestReset();
    D3D9Device::TearDown();
  }

  // Graph, renderers and source as the player builds them; the unconnected renderer is removed.
  void buildGraph(const std::string& movie) { buildGraphOn(movieWidePath(movie)); }
  void buildGraphOn(const std::u16string& path) {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                               reinterpret_cast<void**>(&mp_pGraph)),
              S_OK);
    IBaseFilter* pVMR = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                               reinterpret_cast<void**>(&pVMR)),
              S_OK);
    ASSERT_EQ(mp_pGraph->AddFilter(pVMR, u"Video Mixing Renderer 9"), S_OK);
    IVMRFilterConfig9* pConfig = nullptr;
    ASSERT_EQ(pVMR->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(&pConfig)), S_OK);
    EXPECT_EQ(pConfig->SetRenderingMode(VMR9Mode_Windowless), E_NOTIMPL);
    ASSERT_EQ(pConfig->SetRenderingMode(VMR9Mode_Renderless), S_OK);
    ASSERT_EQ(pConfig->SetNumberOfStreams(1), S_OK);
    IVMRSurfaceAllocatorNotify9* pNotify = nullptr;
    ASSERT_EQ(pVMR->QueryInterface(IID_IVMRSurfaceAllocatorNotify9, reinterpret_cast<void**>(&pNotify)), S_OK);
    ASSERT_EQ(pNotify->AdviseSurfaceAllocator(0xACDCACDC, mp_pPresenter), S_OK);
    ASSERT_EQ(mp_pPresenter->AdviseNotify(pNotify), S_OK);
    releaseCom(pNotify);
    releaseCom(pConfig);
    releaseCom(pVMR);
    IBaseFilter* pSound = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                               reinterpret_cast<void**>(&pSound)),
              S_OK);
    IBaseFilter* pSource = nullptr;
    ASSERT_EQ(mp_pGraph->AddSourceFilter(path.c_str(), u"SOURCE", &pSource), S_OK);
    ASSERT_EQ(mp_pGraph->AddFilter(pSound, u"Audio Renderer"), S_OK);
    IEnumPins* pPins = nullptr;
    ASSERT_EQ(pSource->EnumPins(&pPins), S_OK);
    IPin* pPin = nullptr;
    while (pPins->Next(1, &pPin, nullptr) == S_OK) {
      EXPECT_EQ(mp_pGraph->RenderEx(pPin, AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr), S_OK);
      releaseCom(pPin);
    }
    releaseCom(pPins);
    IPin* pSoundPin = nullptr;
    ASSERT_EQ(pSound->EnumPins(&pPins), S_OK);
    ASSERT_EQ(pPins->Next(1, &pSoundPin, nullptr), S_OK);
    IPin* pOther = nullptr;
    if (pSoundPin->ConnectedTo(&pOther) == VFW_E_NOT_CONNECTED) {
      EXPECT_EQ(mp_pGraph->RemoveFilter(pSound), S_OK);
    }
    releaseCom(pOther);
    releaseCom(pSoundPin);
    releaseCom(pPins);
    releaseCom(pSound);
    releaseCom(pSource);
    ASSERT_EQ(mp_pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&mp_pControl)), S_OK);
    ASSERT_EQ(mp_pGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&mp_pEvent)), S_OK);
    ASSERT_EQ(mp_pGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&mp_pSeeking)), S_OK);
    ASSERT_EQ(mp_pGraph->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&mp_pPosition)), S_OK);
  }

  // The counter movie's graph with its sound observed; with bMixer the sound library's mixer runs first on its
  // manual output, so the movie's sound goes into it (the mixer is returned, for stopMixer).
  FMOD::System* startObservedCounter(bool bMixer, SObservedSound* pObserved) {
    FMOD::System* pMixer = nullptr;
    if (bMixer) {
      FMODExSetOutput(EFMODExOutput::Manual);
      EXPECT_EQ(FMOD::System_Create(&pMixer), FMOD_OK);
      EXPECT_EQ(pMixer->init(32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    }
    buildGraph("Test_Counter");
    DShowTestSetAudioObserver(&observeSound, pObserved);
    return pMixer;
  }
  static void stopMixer(FMOD::System* pMixer) {
    if (pMixer == nullptr) return;
    EXPECT_EQ(pMixer->release(), FMOD_OK);
    FMODExClearOutput();
  }

  void releaseGraph() {
    releaseCom(mp_pControl);
    releaseCom(mp_pEvent);
    releaseCom(mp_pSeeking);
    releaseCom(mp_pPosition);
    releaseCom(mp_pGraph);
  }

  // Serves a waiting frame, then sleeps a little (a Win32 sleep, so the device may move).
  void pump() {
    if (mp_pPresenter != nullptr) mp_pPresenter->serve();
    Sleep(1);
  }

  // Pumps until the condition holds (true) or the hang guard's time is up (false).
  template <typename Condition>
  bool waitUntil(Condition condition, double dSeconds) {
    const auto start = std::chrono::steady_clock::now();
    while (!condition()) {
      if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > dSeconds) return false;
      pump();
    }
    return true;
  }

  // Moves the test clock on, then serves the presenter until the graph has done everything that fell due.
  void advance(double dSeconds) {
    ASSERT_TRUE(DShowTestAdvanceClock(mp_pGraph, dSeconds));
    ASSERT_TRUE(waitUntil([&] { return DShowTestIsSettled(mp_pGraph); }, gc_dHANG_GUARD)) << "the graph settles";
  }

  // Whether the event is waiting now (events before it are taken as well).
  bool eventWaiting(LONG lWanted) {
    LONG lCode = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    while (mp_pEvent->GetEvent(&lCode, &p1, &p2, 0) == S_OK) {
      mp_pEvent->FreeEventParams(lCode, p1, p2);
      if (lCode == lWanted) return true;
    }
    return false;
  }

  // Advances the clock in steps until the movie completes; the clock's seconds then (negative when it did not
  // complete before dLimit seconds had passed).
  double playToCompletion(double dStep, double dLimit) {
    for (double dPassed = 0.0; dPassed < dLimit; dPassed += dStep) {
      advance(dStep);
      if (eventWaiting(EC_COMPLETE)) return dPassed + dStep;
    }
    return -1.0;
  }

  double position() {
    REFTIME dPosition = -1.0;
    mp_pPosition->get_CurrentPosition(&dPosition);
    return dPosition;
  }

  CTestPresenter* mp_pPresenter = nullptr;
  IFilterGraph2* mp_pGraph = nullptr;
  IMediaControl* mp_pControl = nullptr;
  IMediaEventEx* mp_pEvent = nullptr;
  IMediaSeeking* mp_pSeeking = nullptr;
  IMediaPosition* mp_pPosition = nullptr;
};
