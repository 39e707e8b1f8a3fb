// Object creation, the identifiers, the configuration the tests set and the test interface.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Common/PlatformFaults.h"
#include "Platform/DShow/DShowInternal.h"

// Identifiers of this stand-in's own numbering: only equality within the program matters.
#define DSHOW_GUID(name, n) const GUID name = {0x6B4D0000u + (n), 0x4752, 0x4E44, {0x56, 0x49, 0x44, 0x45, 0x4F, 0x00, 0x00, 0x01}};
DSHOW_GUID(CLSID_FilterGraph, 1)
DSHOW_GUID(CLSID_VideoMixingRenderer9, 2)
DSHOW_GUID(CLSID_DSoundRender, 3)
DSHOW_GUID(IID_IUnknown, 16)
DSHOW_GUID(IID_IPin, 17)
DSHOW_GUID(IID_IEnumPins, 18)
DSHOW_GUID(IID_IBaseFilter, 19)
DSHOW_GUID(IID_IEnumFilters, 20)
DSHOW_GUID(IID_IFilterGraph, 21)
DSHOW_GUID(IID_IGraphBuilder, 22)
DSHOW_GUID(IID_IFilterGraph2, 23)
DSHOW_GUID(IID_IMediaControl, 24)
DSHOW_GUID(IID_IMediaEvent, 25)
DSHOW_GUID(IID_IMediaEventEx, 26)
DSHOW_GUID(IID_IMediaSeeking, 27)
DSHOW_GUID(IID_IMediaPosition, 28)
DSHOW_GUID(IID_IBasicAudio, 29)
DSHOW_GUID(IID_IVMRFilterConfig9, 32)
DSHOW_GUID(IID_IVMRSurfaceAllocatorNotify9, 33)
DSHOW_GUID(IID_IVMRSurfaceAllocator9, 34)
DSHOW_GUID(IID_IVMRImagePresenter9, 35)
DSHOW_GUID(IID_IVMRWindowlessControl9, 36)
#undef DSHOW_GUID

namespace DShowInternal {

namespace {

std::mutex g_configMutex;
bool g_bConfigRead = false;
bool g_bOutputSet = false;
bool g_bFaultsSet = false;
EDShowAudioOutput g_eOutput = EDShowAudioOutput::Device;
SDShowFaults g_faults;
bool g_bFreeRunning = false;
std::atomic<bool> g_bManualClock{false};
std::atomic<SteadyClock::rep> g_manualTicks{0};
std::mutex g_observerMutex;
DShowAudioObserver g_pfnObserver = nullptr;
void* g_pObserverUser = nullptr;

void readConfigLocked() {
  if (g_bConfigRead) return;
  g_bConfigRead = true;
  if (!g_bOutputSet) {
    const char* pOutput = std::getenv("GRINDLOW_DSHOW_AUDIO");
    g_eOutput = pOutput != nullptr && std::strcmp(pOutput, "null") == 0 ? EDShowAudioOutput::Null
                                                                         : EDShowAudioOutput::Device;
  }
  if (!g_bFaultsSet) {
    g_faults = SDShowFaults{};
    const std::vector<SPlatformFault> faults =
        PlatformEnvironmentFaults("GRINDLOW_DSHOW_FAULTS", {{"novmr", 0, false}, {"stall", 1, true}});
    std::vector<std::optional<std::uint32_t>> numbers;
    g_faults.bNoVMR = PlatformFindFault(faults, "novmr");
    if (PlatformFindFault(faults, "stall", &numbers)) g_faults.uiStallAfterFrames = *numbers[0];
  }
}

}  // namespace

double steadySeconds(SteadyClock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

SteadyClock::time_point clockNow() {
  if (!g_bManualClock.load()) return SteadyClock::now();
  return SteadyClock::time_point(SteadyClock::duration(g_manualTicks.load()));
}

bool manualClock() { return g_bManualClock.load(); }

void setTestClock(SteadyClock::time_point t) { g_manualTicks.store(t.time_since_epoch().count()); }

EDShowAudioOutput chosenAudioOutput() {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  return g_eOutput;
}

SDShowFaults currentFaults() {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  return g_faults;
}

bool freeRunning() {
  std::lock_guard<std::mutex> lock(g_configMutex);
  return g_bFreeRunning;
}

void notifyAudioObserver(const std::int16_t* pBlock, unsigned int uiFrames, int iRate, SteadyClock::time_point t,
                         double dMediaTime) {
  std::lock_guard<std::mutex> lock(g_observerMutex);
  if (g_pfnObserver != nullptr) {
    g_pfnObserver(g_pObserverUser, pBlock, uiFrames, iRate, steadySeconds(t), dMediaTime);
  }
}

}  // namespace DShowInternal

using namespace DShowInternal;

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  IUnknown* pObject = nullptr;
  if (rclsid == CLSID_FilterGraph) {
    pObject = static_cast<IFilterGraph2*>(new CGraph());
  } else if (rclsid == CLSID_VideoMixingRenderer9) {
    if (currentFaults().bNoVMR) return REGDB_E_CLASSNOTREG;
    pObject = static_cast<IBaseFilter*>(new CVMRFilter());
  } else if (rclsid == CLSID_DSoundRender) {
    pObject = static_cast<IBaseFilter*>(new CSoundRenderer());
  } else {
    return REGDB_E_CLASSNOTREG;
  }
  const HRESULT hr = pObject->QueryInterface(riid, ppv);
  pObject->Release();
  return hr;
}

void DShowTestSetAudioOutput(EDShowAudioOutput eOutput) {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  g_eOutput = eOutput;
  g_bOutputSet = true;
  // The test clock starts where the steady clock stands, so times stay comparable with it.
  if (eOutput == EDShowAudioOutput::Manual && !g_bManualClock.load()) setTestClock(SteadyClock::now());
  g_bManualClock.store(eOutput == EDShowAudioOutput::Manual);
}

void DShowTestSetFaults(const SDShowFaults& faults) {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  g_faults = faults;
  g_bFaultsSet = true;
}

void DShowTestSetFreeRunning(bool bFreeRunning) {
  std::lock_guard<std::mutex> lock(g_configMutex);
  g_bFreeRunning = bFreeRunning;
}

void DShowTestReset() {
  {
    std::lock_guard<std::mutex> lock(g_configMutex);
    g_bConfigRead = false;
    g_bFreeRunning = false;
    g_bOutputSet = false;
    g_bFaultsSet = false;
    g_bManualClock.store(false);
  }
  DShowTestSetAudioObserver(nullptr, nullptr);
}

namespace {

// The graph behind any of its interfaces; null for another object. The caller releases *ppInterface.
CGraph* graphOf(IUnknown* pObject, IFilterGraph2** ppInterface) {
  *ppInterface = nullptr;
  if (pObject == nullptr) return nullptr;
  if (FAILED(pObject->QueryInterface(IID_IFilterGraph2, reinterpret_cast<void**>(ppInterface)))) return nullptr;
  return dynamic_cast<CGraph*>(*ppInterface);
}

}  // namespace

bool DShowTestGetStats(IUnknown* pGraph, SDShowStats* pStats) {
  if (pStats == nullptr) return false;
  IFilterGraph2* pInterface = nullptr;
  CGraph* pOurs = graphOf(pGraph, &pInterface);
  if (pOurs != nullptr) *pStats = pOurs->stats();
  if (pInterface != nullptr) pInterface->Release();
  return pOurs != nullptr;
}

bool DShowTestAdvanceClock(IUnknown* pGraph, double dSeconds) {
  IFilterGraph2* pInterface = nullptr;
  CGraph* pOurs = graphOf(pGraph, &pInterface);
  const bool bDone = pOurs != nullptr && pOurs->advanceTestClock(dSeconds);
  if (pInterface != nullptr) pInterface->Release();
  return bDone;
}

double DShowTestClockSeconds() { return steadySeconds(clockNow()); }

bool DShowTestIsSettled(IUnknown* pGraph) {
  IFilterGraph2* pInterface = nullptr;
  CGraph* pOurs = graphOf(pGraph, &pInterface);
  const bool bSettled = pOurs != nullptr && pOurs->settled();
  if (pInterface != nullptr) pInterface->Release();
  return bSettled;
}

void DShowTestSetAudioObserver(DShowAudioObserver pfnObserver, void* pUser) {
  std::lock_guard<std::mutex> lock(g_observerMutex);
  g_pfnObserver = pfnObserver;
  g_pObserverUser = pUser;
}
