// The Direct3D object, the recording back end, the fault injection and the test interface.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <cstring>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Platform/Common/PlatformFaults.h"
#include "Platform/D3D9/D3D9Internal.h"
#include "Platform/Win32/Win32Threads.h"
#include "Platform/Win32/Win32Window.h"

namespace {

std::mutex g_configMutex;
bool g_bConfigRead = false;
SD3D9Faults g_faults;
bool g_bRecording = false;
bool g_bNoCache = false;
bool g_bTestModes = false;
std::vector<std::pair<D3DFORMAT, D3DDISPLAYMODE>> g_testModes;

const std::vector<SPlatformFaultKind> gc_faultKinds = {
    {"create", 0, false},    {"createdevice", 0, false},   {"nodepth", 0, false},
    {"noshader3", 0, false}, {"norendertarget", 0, false}, {"nodepthsurface", 0, false},
    {"lose", 1, true},       {"lostpolls", 1, true},       {"resetfail", 1, true},
    {"rtfail", 0, false},    {"nofloatrt", 0, false},
};

// GRINDLOW_D3D9_MODES: "WxH[@R],..." lists those 32-bit modes (refresh 60 unless given) instead of the display's,
// for X servers that list only their one screen size. A malformed list is said once and ignored.
void readModesSwitch() {
  const char* pModes = std::getenv("GRINDLOW_D3D9_MODES");
  if (pModes == nullptr || pModes[0] == '\0') return;
  std::vector<std::pair<D3DFORMAT, D3DDISPLAYMODE>> modes;
  for (const char* p = pModes; *p != '\0';) {
    unsigned int uiWidth = 0, uiHeight = 0, uiRefresh = 60;
    int iUsed = 0;
    const bool bSize = std::sscanf(p, "%ux%u%n", &uiWidth, &uiHeight, &iUsed) == 2;
    p += bSize ? iUsed : 0;
    if (bSize && *p == '@') {
      const bool bRefresh = std::sscanf(p + 1, "%u%n", &uiRefresh, &iUsed) == 1;
      p = bRefresh ? p + 1 + iUsed : p;
    }
    if (!bSize || uiWidth == 0 || uiHeight == 0 || uiRefresh == 0 || (*p != ',' && *p != '\0')) {
      std::fprintf(stderr, "GRINDLOW_D3D9_MODES: \"%s\" is not a list of WxH[@R]; the display's modes are used\n",
                   pModes);
      return;
    }
    modes.push_back({D3DFMT_X8R8G8B8, D3DDISPLAYMODE{uiWidth, uiHeight, uiRefresh, D3DFMT_X8R8G8B8}});
    p += *p == ',' ? 1 : 0;
  }
  g_testModes = modes;
  g_bTestModes = !modes.empty();
}

void readConfigLocked() {
  if (g_bConfigRead) return;
  g_bConfigRead = true;
  g_faults = SD3D9Faults{};
  const std::vector<SPlatformFault> faults = PlatformEnvironmentFaults("GRINDLOW_D3D9_FAULTS", gc_faultKinds);
  std::vector<std::optional<std::uint32_t>> numbers;
  g_faults.bCreate = PlatformFindFault(faults, "create");
  g_faults.bCreateDevice = PlatformFindFault(faults, "createdevice");
  g_faults.bNoDepth = PlatformFindFault(faults, "nodepth");
  g_faults.bNoShader3 = PlatformFindFault(faults, "noshader3");
  g_faults.bNoRenderTarget = PlatformFindFault(faults, "norendertarget");
  g_faults.bNoDepthSurface = PlatformFindFault(faults, "nodepthsurface");
  if (PlatformFindFault(faults, "lose", &numbers)) g_faults.uiLoseEveryNthPresent = *numbers[0];
  if (PlatformFindFault(faults, "lostpolls", &numbers)) g_faults.uiLostPolls = *numbers[0];
  if (PlatformFindFault(faults, "resetfail", &numbers)) g_faults.uiResetFailures = *numbers[0];
  g_faults.bRenderTargetFails = PlatformFindFault(faults, "rtfail");
  g_faults.bNoFloatTargets = PlatformFindFault(faults, "nofloatrt");
  const char* pBackend = std::getenv("GRINDLOW_D3D9_BACKEND");
  g_bRecording = pBackend != nullptr && std::strcmp(pBackend, "record") == 0;
  const char* pNoCache = std::getenv("GRINDLOW_D3D9_NOCACHE");
  g_bNoCache = pNoCache != nullptr && pNoCache[0] == '1';
  readModesSwitch();
}

// --- Recording back end ---

class CD3D9BackendRecording final : public CD3D9Backend {
 public:
  bool createContext(SDL_Window*, UINT uiWidth, UINT uiHeight, bool bVsync, std::string*) override {
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    record("createContext " + std::to_string(uiWidth) + "x" + std::to_string(uiHeight) + (bVsync ? " vsync" : ""));
    return true;
  }
  void destroyContext() override { record("destroyContext"); }
  void makeCurrent() override {}
  void releaseCurrent() override {}
  void resizeBackBuffer(UINT uiWidth, UINT uiHeight) override {
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    record("resizeBackBuffer " + std::to_string(uiWidth) + "x" + std::to_string(uiHeight));
  }
  UINT createBuffer(UINT uiSize, bool bIndex, bool bDynamic) override {
    const UINT uiHandle = ++m_uiNextHandle;
    record(std::string(bIndex ? "createIndexBuffer " : "createVertexBuffer ") + std::to_string(uiSize) +
           (bDynamic ? " dynamic" : ""));
    return uiHandle;
  }
  void uploadBuffer(UINT, bool bIndex, UINT uiOffset, const void*, UINT uiSize, bool bWhole) override {
    record(std::string(bIndex ? "uploadIndices " : "uploadVertices ") + std::to_string(uiOffset) + "+" +
           std::to_string(uiSize) + (bWhole ? " whole" : ""));
  }
  void deleteBuffer(UINT) override { record("deleteBuffer"); }
  UINT createTexture(const SD3D9TextureDesc& desc) override {
    const UINT uiHandle = ++m_uiNextHandle;
    STexture& texture = m_textures[uiHandle];
    texture.desc = desc;
    const UINT uiBytes = D3D9FindTextureFormat(desc.eFormat)->uiBytesPerTexel;
    for (UINT uiFace = 0; uiFace < (desc.bCube ? 6u : 1u); ++uiFace) {
      for (UINT uiLevel = 0; uiLevel < desc.uiLevels; ++uiLevel) {
        texture.levels.emplace_back(static_cast<size_t>(std::max(desc.uiWidth >> uiLevel, 1u)) *
                                    std::max(desc.uiHeight >> uiLevel, 1u) * uiBytes);
      }
    }
    record(std::string(desc.bCube ? "createCubeTexture " : "createTexture ") + std::to_string(desc.uiWidth) + "x" +
           std::to_string(desc.uiHeight) + " levels " + std::to_string(desc.uiLevels) + " format " +
           std::to_string(desc.eFormat));
    return uiHandle;
  }
  void uploadTexture(UINT uiHandle, UINT uiFace, UINT uiLevel, const void* pBits) override {
    std::vector<BYTE>& level = levelOf(uiHandle, uiFace, uiLevel);
    std::memcpy(level.data(), pBits, level.size());
    record("uploadTexture " + std::to_string(uiHandle) + " face " + std::to_string(uiFace) + " level " +
           std::to_string(uiLevel));
  }
  void readTexture(UINT uiHandle, UINT uiFace, UINT uiLevel, void* pBits) override {
    const std::vector<BYTE>& level = levelOf(uiHandle, uiFace, uiLevel);
    std::memcpy(pBits, level.data(), level.size());
  }
  void generateMipmaps(UINT uiHandle) override { record("generateMipmaps " + std::to_string(uiHandle)); }
  void deleteTexture(UINT uiHandle) override {
    m_textures.erase(uiHandle);
    record("deleteTexture " + std::to_string(uiHandle));
  }
  UINT createProgram(const std::string&, const std::string&, std::string*) override {
    const UINT uiHandle = ++m_uiNextHandle;
    m_programs[uiHandle];
    record("createProgram " + std::to_string(uiHandle));
    return uiHandle;
  }
  INT uniformLocation(UINT uiProgram, const char* pName) override {
    auto it = m_programs.find(uiProgram);
    if (it == m_programs.end()) return -1;
    auto& names = it->second;
    auto found = names.emplace(pName, static_cast<INT>(names.size()));
    return found.first->second;
  }
  void setUniforms(UINT uiProgram, const SD3D9Uniform*, UINT uiCount) override {
    record("uniforms " + std::to_string(uiProgram) + " " + std::to_string(uiCount));
  }
  void deleteProgram(UINT uiProgram) override {
    m_programs.erase(uiProgram);
    record("deleteProgram " + std::to_string(uiProgram));
  }
  void clear(const SD3D9State& state, UINT, DWORD dwFlags, D3DCOLOR color, float fZ, DWORD) override {
    recordTargets(state);
    char szText[96];
    std::snprintf(szText, sizeof(szText), "clear %u %08X %.3f", dwFlags, color, fZ);
    record(szText);
  }
  void draw(const SD3D9State& state, UINT, D3DPRIMITIVETYPE eType, UINT uiFirst, UINT uiCount, bool bIndexed,
            INT) override {
    recordTargets(state);
    // What reaches the GPU lazily: a program or a texture binding that differs from the last draw's.
    if (state.uiProgram != m_uiLastProgram) {
      record("useProgram " + std::to_string(state.uiProgram));
      m_uiLastProgram = state.uiProgram;
    }
    for (UINT u = 0; u < gc_uiD3D9_TEXTURE_UNITS; ++u) {
      if (!(state.textures[u] == m_lastTextures[u])) {
        record("bindTexture " + std::to_string(u) + " " + std::to_string(state.textures[u].uiHandle));
        m_lastTextures[u] = state.textures[u];
      }
    }
    record(std::string(bIndexed ? "drawIndexed " : "draw ") + std::to_string(eType) + " " + std::to_string(uiFirst) +
           " " + std::to_string(uiCount));
  }
  void present(bool, const RECT*, const std::vector<POINT>& probes, std::vector<DWORD>* pProbed) override {
    record("present");
    pProbed->insert(pProbed->end(), probes.size(), 0u);
  }
  std::uintptr_t insertFence() override { return 1; }
  bool fencePassed(std::uintptr_t, bool) override { return true; }
  void deleteFence(std::uintptr_t) override {}
  std::vector<DWORD> readBackBuffer(UINT* pWidth, UINT* pHeight) override {
    *pWidth = m_uiWidth;
    *pHeight = m_uiHeight;
    return std::vector<DWORD>(static_cast<size_t>(m_uiWidth) * m_uiHeight, 0);
  }
  std::vector<DWORD> capturedWindow(UINT* pWidth, UINT* pHeight) override { return readBackBuffer(pWidth, pHeight); }
  UINT framebufferCount() override { return 0; }
  bool backBufferIsWindow() override { return false; }
  UINT errorCount() override { return 0; }
  std::vector<std::string> log() override {
    std::lock_guard<std::mutex> lock(m_logMutex);
    return m_log;
  }
  void clearLog() override {
    std::lock_guard<std::mutex> lock(m_logMutex);
    m_log.clear();
  }

 private:
  void record(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_logMutex);
    m_log.push_back(text);
  }
  static std::string attachmentText(const SD3D9Attachment& attachment) {
    switch (attachment.eKind) {
      case SD3D9Attachment::NONE:
        return "-";
      case SD3D9Attachment::BACK_BUFFER:
        return "back";
      case SD3D9Attachment::TEXTURE:
        return std::to_string(attachment.uiHandle) + "." + std::to_string(attachment.uiLevel);
    }
    return "?";
  }
  // The targets a draw or clear writes, when they differ from the last ones (the back buffer at first).
  void recordTargets(const SD3D9State& state) {
    if (state.targets == m_lastTargets) return;
    m_lastTargets = state.targets;
    std::string text = "targets";
    for (const SD3D9Attachment& colour : state.targets.colour) text += " " + attachmentText(colour);
    record(text + " depth " + attachmentText(state.targets.depth));
  }
  struct STexture {
    SD3D9TextureDesc desc;
    std::vector<std::vector<BYTE>> levels;  // face by face, level by level
  };
  std::vector<BYTE>& levelOf(UINT uiHandle, UINT uiFace, UINT uiLevel) {
    STexture& texture = m_textures.at(uiHandle);
    return texture.levels.at(uiFace * texture.desc.uiLevels + uiLevel);
  }
  std::mutex m_logMutex;
  std::vector<std::string> m_log;
  std::map<UINT, STexture> m_textures;
  std::map<UINT, std::map<std::string, INT>> m_programs;
  UINT m_uiLastProgram = 0;
  std::array<SD3D9TextureBinding, gc_uiD3D9_TEXTURE_UNITS> m_lastTextures{};
  SD3D9Targets m_lastTargets{{SD3D9Attachment{SD3D9Attachment::BACK_BUFFER, 0, 0}},
                             SD3D9Attachment{SD3D9Attachment::BACK_BUFFER, 0, 0}};
  UINT m_uiWidth = 0;
  UINT m_uiHeight = 0;
  UINT m_uiNextHandle = 0;
};

// --- The Direct3D object ---

bool isDepthFormat(D3DFORMAT eFormat) {
  return eFormat == D3DFMT_D16 || eFormat == D3DFMT_D24X8 || eFormat == D3DFMT_D24S8 || eFormat == D3DFMT_D32;
}

bool isRenderTargetFormat(D3DFORMAT eFormat, D3DRESOURCETYPE eType) {
  if (eFormat == D3DFMT_A2R10G10B10 || eFormat == D3DFMT_R32F) return !D3D9CurrentFaults().bNoFloatTargets;
  if (eFormat == static_cast<D3DFORMAT>(MAKEFOURCC('N', 'U', 'L', 'L'))) return eType == D3DRTYPE_SURFACE;
  return eFormat == D3DFMT_X8R8G8B8 || eFormat == D3DFMT_A8R8G8B8 || eFormat == D3DFMT_R5G6B5;
}

class CDirect3D9 final : public IDirect3D9 {
 public:
  HRESULT QueryInterface(REFIID, void** ppvObject) override {
    if (ppvObject != nullptr) *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_uiRefs; }
  ULONG Release() override {
    const ULONG uiLeft = --m_uiRefs;
    if (uiLeft == 0) delete this;
    return uiLeft;
  }

  UINT GetAdapterCount() override { return 1; }

  UINT GetAdapterModeCount(UINT uiAdapter, D3DFORMAT eFormat) override {
    return uiAdapter == D3DADAPTER_DEFAULT ? static_cast<UINT>(modesOf(eFormat).size()) : 0;
  }

  HRESULT EnumAdapterModes(UINT uiAdapter, D3DFORMAT eFormat, UINT uiMode, D3DDISPLAYMODE* pMode) override {
    if (uiAdapter != D3DADAPTER_DEFAULT || pMode == nullptr) return D3DERR_INVALIDCALL;
    const std::vector<D3DDISPLAYMODE> modes = modesOf(eFormat);
    if (uiMode >= modes.size()) return D3DERR_INVALIDCALL;
    *pMode = modes[uiMode];
    return D3D_OK;
  }

  HRESULT CheckDeviceFormat(UINT uiAdapter, D3DDEVTYPE, D3DFORMAT, DWORD dwUsage, D3DRESOURCETYPE eType,
                            D3DFORMAT eCheck) override {
    if (uiAdapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (dwUsage & D3DUSAGE_DEPTHSTENCIL) {
      return isDepthFormat(eCheck) && !D3D9CurrentFaults().bNoDepth ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    return isRenderTargetFormat(eCheck, eType) || (dwUsage & D3DUSAGE_RENDERTARGET) == 0 ? D3D_OK
                                                                                          : D3DERR_NOTAVAILABLE;
  }

  HRESULT GetDeviceCaps(UINT uiAdapter, D3DDEVTYPE, D3DCAPS9* pCaps) override {
    if (uiAdapter != D3DADAPTER_DEFAULT || pCaps == nullptr) return D3DERR_INVALIDCALL;
    const bool bShader3 = !D3D9CurrentFaults().bNoShader3;
    *pCaps = D3DCAPS9{D3DDEVTYPE_HAL, 0, 8192, 8192, 0xFFFFF, 0xFFFFFF, 16, 4,
                      bShader3 ? D3DVS_VERSION(3, 0) : D3DVS_VERSION(2, 0),
                      bShader3 ? D3DPS_VERSION(3, 0) : D3DPS_VERSION(2, 0)};
    return D3D_OK;
  }

  HMONITOR GetAdapterMonitor(UINT uiAdapter) override {
    // One monitor: any distinct non-null handle names it.
    static int s_iMonitor = 0;
    return uiAdapter == D3DADAPTER_DEFAULT ? reinterpret_cast<HMONITOR>(&s_iMonitor) : nullptr;
  }

  HRESULT CreateDevice(UINT uiAdapter, D3DDEVTYPE, HWND hFocusWindow, DWORD, D3DPRESENT_PARAMETERS* pParams,
                       IDirect3DDevice9** ppDevice) override {
    if (ppDevice == nullptr) return D3DERR_INVALIDCALL;
    *ppDevice = nullptr;
    if (uiAdapter != D3DADAPTER_DEFAULT || pParams == nullptr || pParams->BackBufferWidth == 0 ||
        pParams->BackBufferHeight == 0) {
      return D3DERR_INVALIDCALL;
    }
    if (D3D9CurrentFaults().bCreateDevice) return D3DERR_NOTAVAILABLE;
    const bool bRecording = D3D9RecordingBackendChosen();
    SDL_Window* pWindow = Win32GetSdlWindow(pParams->hDeviceWindow != nullptr ? pParams->hDeviceWindow : hFocusWindow);
    if (pWindow == nullptr && !bRecording) return D3DERR_INVALIDCALL;
    if (!bRecording && (SDL_GetWindowFlags(pWindow) & SDL_WINDOW_OPENGL) == 0) {
      std::fprintf(stderr, "D3D9 stand-in: the window was made before Direct3DCreate9, without OpenGL\n");
      return D3DERR_NOTAVAILABLE;
    }
    if (!pParams->Windowed && pWindow != nullptr) {
      SDL_SetWindowFullscreen(pWindow, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    UINT uiRefresh = pParams->FullScreen_RefreshRateInHz;
    SDL_DisplayMode desktop{};
    if (uiRefresh == 0 && SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
      uiRefresh = static_cast<UINT>(desktop.refresh_rate);
    }
    CD3D9Backend* pBackend = bRecording ? D3D9CreateRecordingBackend() : D3D9CreateGLBackend(!D3D9StateCacheOff());
    auto* pDevice = new CD3D9Device(pBackend, *pParams, pWindow, uiRefresh);
    std::string error;
    if (!pDevice->start(&error)) {
      std::fprintf(stderr, "D3D9 stand-in: CreateDevice failed: %s\n", error.c_str());
      pDevice->Release();
      return D3DERR_NOTAVAILABLE;
    }
    *ppDevice = pDevice;
    return D3D_OK;
  }

 private:
  static std::vector<D3DDISPLAYMODE> modesOf(D3DFORMAT eFormat) {
    std::vector<D3DDISPLAYMODE> modes;
    {
      std::lock_guard<std::mutex> lock(g_configMutex);
      readConfigLocked();
      if (g_bTestModes) {
        for (const auto& [eModeFormat, mode] : g_testModes) {
          if (eModeFormat == eFormat) modes.push_back(mode);
        }
        return modes;
      }
    }
    if (eFormat != D3DFMT_X8R8G8B8 && eFormat != D3DFMT_R5G6B5) return modes;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return modes;
    const int iCount = SDL_GetNumDisplayModes(0);
    bool bAnyUsable = false;
    for (int i = 0; i < iCount; ++i) {
      SDL_DisplayMode sdlMode{};
      if (SDL_GetDisplayMode(0, i, &sdlMode) != 0 || sdlMode.w <= 0 || sdlMode.h <= 0) continue;
      const D3DFORMAT eModeFormat = displayFormatOf(sdlMode);
      if (eModeFormat == D3DFMT_UNKNOWN) continue;
      bAnyUsable = true;
      if (eModeFormat == eFormat) modes.push_back(displayModeOf(sdlMode, eModeFormat));
    }
    // A driver without a screen of its own (offscreen, dummy) lists no usable mode: the desktop is its one
    // mode, in the 32-bit format whatever format it names.
    SDL_DisplayMode desktop{};
    if (!bAnyUsable && eFormat == D3DFMT_X8R8G8B8 && Win32GetDesktopMode(&desktop)) {
      modes.push_back(displayModeOf(desktop, D3DFMT_X8R8G8B8));
    }
    return modes;
  }

  static D3DFORMAT displayFormatOf(const SDL_DisplayMode& sdlMode) {
    const int iBits = SDL_BITSPERPIXEL(sdlMode.format);
    // SDL reports XRGB8888 displays as 24 bits: both are the 32-bit display format.
    return iBits >= 24 ? D3DFMT_X8R8G8B8 : iBits == 16 ? D3DFMT_R5G6B5 : D3DFMT_UNKNOWN;
  }

  static D3DDISPLAYMODE displayModeOf(const SDL_DisplayMode& sdlMode, D3DFORMAT eFormat) {
    return D3DDISPLAYMODE{static_cast<UINT>(sdlMode.w), static_cast<UINT>(sdlMode.h),
                          sdlMode.refresh_rate > 0 ? static_cast<UINT>(sdlMode.refresh_rate) : 60u, eFormat};
  }

  std::atomic<ULONG> m_uiRefs{1};
};

CD3D9Device* deviceOf(IDirect3DDevice9* pDevice) { return static_cast<CD3D9Device*>(pDevice); }

}  // namespace

CD3D9Backend* D3D9CreateRecordingBackend() { return new CD3D9BackendRecording(); }

const SD3D9Faults& D3D9CurrentFaults() {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  return g_faults;
}

bool D3D9RecordingBackendChosen() {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  return g_bRecording;
}

bool D3D9StateCacheOff() {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  return g_bNoCache;
}

IDirect3D9* Direct3DCreate9(UINT uiSdkVersion) {
  if (uiSdkVersion != D3D_SDK_VERSION || D3D9CurrentFaults().bCreate) {
    return nullptr;
  }
  Win32SetWindowCreationFlags(SDL_WINDOW_OPENGL);
  Win32SetBlockingCallHook(&CD3D9Device::releaseHeldContext);
  return new CDirect3D9();
}

void D3D9TestSetFaults(const SD3D9Faults& faults) {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  g_faults = faults;
}

void D3D9TestLoseDevice(IDirect3DDevice9* pDevice) { deviceOf(pDevice)->loseNow(); }

void D3D9TestUseRecordingBackend(bool bRecording) {
  std::lock_guard<std::mutex> lock(g_configMutex);
  readConfigLocked();
  g_bRecording = bRecording;
}

void D3D9TestSetAdapterModes(const std::vector<std::pair<D3DFORMAT, D3DDISPLAYMODE>>& modes) {
  std::lock_guard<std::mutex> lock(g_configMutex);
  g_testModes = modes;
  g_bTestModes = !modes.empty();
}

void D3D9TestReset() {
  std::lock_guard<std::mutex> lock(g_configMutex);
  g_bConfigRead = false;
  g_testModes.clear();
  g_bTestModes = false;
  D3D9TestSetContextWaitReport(gc_dwD3D9_CONTEXT_WAIT_REPORT_MS, nullptr);
}

std::vector<std::string> D3D9TestLog(IDirect3DDevice9* pDevice) { return deviceOf(pDevice)->backend()->log(); }

void D3D9TestClearLog(IDirect3DDevice9* pDevice) { deviceOf(pDevice)->backend()->clearLog(); }

std::vector<DWORD> D3D9TestReadBackBuffer(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight) {
  deviceOf(pDevice)->acquire();
  // A back buffer that is the window's is undefined after a swap: the Presents from now on keep their picture.
  deviceOf(pDevice)->setCaptureWindow(true);
  return deviceOf(pDevice)->backend()->readBackBuffer(pWidth, pHeight);
}

std::vector<DWORD> D3D9TestReadWindow(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight) {
  deviceOf(pDevice)->setCaptureWindow(true);
  return deviceOf(pDevice)->backend()->capturedWindow(pWidth, pHeight);
}

UINT D3D9TestGLErrorCount(IDirect3DDevice9* pDevice) {
  deviceOf(pDevice)->acquire();
  return deviceOf(pDevice)->backend()->errorCount();
}

UINT D3D9TestLiveDefaultPoolResources(IDirect3DDevice9* pDevice) { return deviceOf(pDevice)->liveDefaultPoolResources(); }

UINT D3D9TestPresentCount(IDirect3DDevice9* pDevice) { return deviceOf(pDevice)->presentCount(); }

void D3D9TestProbeAtPresent(IDirect3DDevice9* pDevice, const std::vector<POINT>& points) {
  deviceOf(pDevice)->probeAtPresent(points);
}

std::vector<DWORD> D3D9TestTakeProbes(IDirect3DDevice9* pDevice) { return deviceOf(pDevice)->takeProbes(); }

bool D3D9TestBackBufferIsWindow(IDirect3DDevice9* pDevice) {
  deviceOf(pDevice)->acquire();
  return deviceOf(pDevice)->backend()->backBufferIsWindow();
}

UINT D3D9TestFramebufferCount(IDirect3DDevice9* pDevice) {
  deviceOf(pDevice)->acquire();
  return deviceOf(pDevice)->backend()->framebufferCount();
}
