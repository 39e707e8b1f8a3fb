// Graphics start-up: options, display modes, the resolution and the device.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/Development/ClCommandParameters.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/D3D9/DxErr.h"
#include "Platform/Win32/Win32.h"

IDirect3D9* ClGraphics::mp_pD3D = nullptr;
IDirect3DDevice9* ClGraphics::mp_pDevice = nullptr;
IDirect3DSurface9* ClGraphics::mp_pBackBufferSurface = nullptr;
IDirect3DSurface9* ClGraphics::mp_pDepthStencilSurface = nullptr;
D3DPRESENT_PARAMETERS ClGraphics::mp_presentParams = {};
ClDictionaryPool<i32> ClGraphics::mp_graphicsOptionsDict;
ClDynamicVector<DisplayMode> ClGraphics::mp_displayModes;
ClDynamicVector<DisplayMode> ClGraphics::mp_resolutionList;
DisplayMode ClGraphics::mp_bestDisplayMode = {};
DisplayMode ClGraphics::mp_curDisplayMode = {};
u32 ClGraphics::mp_bForcedResolution = 0;
u32 ClGraphics::mp_eDepthStencilFormat = D3DFMT_UNKNOWN;
u32 ClGraphics::mp_eDepthTextureFormat = D3DFMT_UNKNOWN;


namespace {

constexpr const char* gc_pREQUIRED_OPTION_MESSAGE =
    "The game did not set up one of the required graphics options prior to graphics initialization (for this "
    "platform)! The game should set default values, then overwrite these from a saved game profile if applicable.";

// The adapter formats enumerated, in list order, with their bit depth.
struct SModeFormat {
  D3DFORMAT eFormat;
  i32 iBits;
};
constexpr SModeFormat gc_aModeFormats[] = {
    {D3DFMT_A1R5G5B5, 16}, {D3DFMT_A8R8G8B8, 32}, {D3DFMT_R5G6B5, 16}, {D3DFMT_X1R5G5B5, 16}, {D3DFMT_X8R8G8B8, 32},
};

struct SForcedResolution {
  i32 iCode;
  u32 uiWidth;
  u32 uiHeight;
};
// Code 456 is 608 x 456, or 832 x 456 with "EMULATE_WIDE_SCREEN".
constexpr SForcedResolution gc_aForcedResolutions[] = {
    {69, 320, 480},    {70, 480, 320},    {192, 256, 192},   {272, 480, 272},   {320, 480, 320},
    {456, 608, 456},   {480, 640, 480},   {481, 720, 480},   {482, 800, 480},   {483, 854, 480},
    {576, 720, 576},   {600, 800, 600},   {601, 1024, 600},  {640, 960, 640},   {720, 1280, 720},
    {768, 1024, 768},  {800, 1280, 800},  {900, 1600, 900},  {901, 1200, 900},  {960, 640, 960},
    {961, 1280, 960},  {1024, 1280, 1024}, {1025, 768, 1024}, {1050, 1680, 1050}, {1080, 1920, 1080},
    {1136, 640, 1136}, {1152, 2048, 1152}, {1200, 1920, 1200}, {1440, 2560, 1440}, {2048, 1536, 2048},
    {2880, 5120, 2880}, {9001, 1440, 900},
};
// The values "-resolution" accepts.
constexpr i32 gc_aiCommandLineResolutions[] = {480, 600, 720, 768, 900, 1024, 1050, 1080, 1152, 1200, 1440, 2880};

const SCommandParameter* commandParameter(const char* pName) {
  return ClCommandParameters::findParameter(pName);
}

// The integer argument of a parsed command-line option, when it has one.
bool commandIntArgument(const char* pName, i32* piValue) {
  const SCommandParameter* pParameter = commandParameter(pName);
  if (pParameter == nullptr || pParameter->m_iNumArgsRead < 1 || pParameter->mp_pDefinition == nullptr ||
      pParameter->mp_pDefinition->m_eArgType != E_COMMAND_ARG_INT) {
    return false;
  }
  *piValue = pParameter->m_values[0].m_iValue;
  return true;
}

// Backslash + double quote becomes a double quote, backslash + "n" a line feed.
std::string resolveEscapes(const char* pText) {
  std::string out;
  for (const char* p = pText; *p != 0; ++p) {
    if (p[0] == '\\' && p[1] == 'n') {
      out += '\n';
      ++p;
    } else if (p[0] == '\\' && p[1] == '"') {
      out += '"';
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

void messageBox(const std::string& text, const char* pTitleKey) {
  MessageBoxA(nullptr, text.c_str(), KvWindowGameHooks().localizedText(pTitleKey), MB_ICONERROR);
}

void releaseDeviceAndDirect3D() {
  if (ClGraphics::mp_pDevice != nullptr) {
    ClGraphics::mp_pDevice->Release();
    ClGraphics::mp_pDevice = nullptr;
  }
  if (ClGraphics::mp_pD3D != nullptr) {
    ClGraphics::mp_pD3D->Release();
    ClGraphics::mp_pD3D = nullptr;
  }
}

// The failures that take the window down: shrink it, show the cursor, tell, destroy it and stop.
[[noreturn]] void failAndDestroyWindow(const std::string& text, const char* pTitleKey, bool bReleaseDevice) {
  if (bReleaseDevice) {
    releaseDeviceAndDirect3D();
  }
  ClGraphics::resizeWindow(1, 1);
  ShowCursor(TRUE);
  messageBox(text, pTitleKey);
  reportFatalError(text.c_str(), __FILE__, __LINE__);
  DestroyWindow(ClGraphics::mp_hWnd);
  ClGraphics::mp_hWnd = nullptr;
  ClGraphics::unregisterWindowClass();
  KvWindowGameHooks().abortProgram();
  std::abort();
}

std::string errorText(HRESULT hr) {
  return std::string(DXGetErrorString(hr)) + ": " + DXGetErrorDescription(hr);
}

void requireOption(const char* pName) {
  KV_ASSERT_MSG(ClGraphics::hasGraphicsOption(pName), gc_pREQUIRED_OPTION_MESSAGE);
}

}  // namespace

i32* ClGraphics::accessGraphicsOption(const char* pName) { return mp_graphicsOptionsDict.getOrCreate(pName); }

i32 ClGraphics::hasGraphicsOption(const char* pName) { return mp_graphicsOptionsDict.has(pName); }

void ClGraphics::initializeGraphicsOptions() {
  if (!mp_graphicsOptionsDict.isInitialized()) {
    mp_graphicsOptionsDict.initialize(gc_iMAX_GRAPHICS_OPTIONS);
  }
}

void ClGraphics::terminateGraphicsOptions() {
  if (mp_graphicsOptionsDict.isInitialized()) {
    mp_graphicsOptionsDict.terminate();
  }
}

i32 ClGraphics::isFullscreen() {
  if (commandParameter("-fullscreen") != nullptr) {
    i32 iValue = 1;
    return commandIntArgument("-fullscreen", &iValue) && iValue <= 0 ? 0 : 1;
  }
  if (ClDevINI::mp_bInitialized && ClDevINI::hasKey("FULLSCREEN")) {
    return ClDevINI::getInt("FULLSCREEN") > 0 ? 1 : 0;
  }
  requireOption("FULLSCREEN");
  return *accessGraphicsOption("FULLSCREEN") != 0 ? 1 : 0;
}

i32 ClGraphics::getAspectClass(u32 uiWidth, u32 uiHeight) {
  const f32 fRatio = static_cast<f32>(uiWidth) / static_cast<f32>(uiHeight);
  if (fRatio > 1.82f) return 0;
  if (fRatio > 1.7f) return 1;
  if (fRatio > 1.58f) return 2;
  if (fRatio > 1.4f) return 3;
  if (fRatio > 1.29f) return 4;
  return 6;
}

void ClGraphics::buildDisplayModeList() {
  if (mp_displayModes.isInitialized()) {
    mp_displayModes.terminate();
  }
  mp_displayModes.initialize(8);
  for (const SModeFormat& row : gc_aModeFormats) {
    const UINT uiCount = mp_pD3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, row.eFormat);
    for (UINT j = 0; j < uiCount; ++j) {
      D3DDISPLAYMODE mode{};
      if (FAILED(mp_pD3D->EnumAdapterModes(D3DADAPTER_DEFAULT, row.eFormat, j, &mode)) || mode.Height == 0) {
        continue;
      }
      if (static_cast<f32>(mode.Width) / static_cast<f32>(mode.Height) < 1.0f) {
        continue;
      }
      mp_displayModes.append(DisplayMode{mode.Width, mode.Height, mode.RefreshRate, mode.Format, row.eFormat,
                                         row.iBits, getAspectClass(mode.Width, mode.Height)});
    }
  }
  mp_bestDisplayMode = DisplayMode{};
  i32 i = 0;
  while (i < mp_displayModes.getCount()) {
    const DisplayMode mode = mp_displayModes[i];
    if (static_cast<i32>(mode.m_uiWidth) > mp_iDesktopWidth || static_cast<i32>(mode.m_uiHeight) > mp_iDesktopHeight ||
        mode.m_uiHeight > mode.m_uiWidth) {
      mp_displayModes.erase(i);
      continue;
    }
    if (mode.m_iBits == 32 && mode.m_uiHeight >= mp_bestDisplayMode.m_uiHeight) {
      mp_bestDisplayMode = mode;
    }
    ++i;
  }
}

i32 ClGraphics::isDisplayModeAvailable(u32 uiWidth, u32 uiHeight) {
  for (i32 i = 0; i < mp_resolutionList.getCount(); ++i) {
    if (mp_resolutionList[i].m_uiWidth == uiWidth && mp_resolutionList[i].m_uiHeight == uiHeight) {
      return 1;
    }
  }
  return 0;
}

void ClGraphics::clearResolutionList() {
  if (mp_resolutionList.isInitialized()) {
    mp_resolutionList.clear();
  }
}

void ClGraphics::addToResolutionList(const DisplayMode& mode) {
  if (!mp_resolutionList.isInitialized()) {
    mp_resolutionList.initialize(8);
  }
  mp_resolutionList.append(mode);
}

i32 ClGraphics::findDisplayMode(u32 uiWidth, u32 uiHeight, DisplayMode* pMode32, DisplayMode* pMode16) {
  u32 uiBest32 = 0;
  u32 uiBest16 = 0;
  i32 bFound = 0;
  for (i32 i = 0; i < mp_displayModes.getCount(); ++i) {
    const DisplayMode& mode = mp_displayModes[i];
    if (mode.m_uiWidth != uiWidth || mode.m_uiHeight != uiHeight) {
      continue;
    }
    u32* puiBest = mode.m_iBits == 32 ? &uiBest32 : &uiBest16;
    DisplayMode* pOut = mode.m_iBits == 32 ? pMode32 : pMode16;
    if (mode.m_uiRefreshRate > *puiBest) {
      *puiBest = mode.m_uiRefreshRate;
      if (pOut != nullptr) {
        *pOut = mode;
      }
      bFound = 1;
    }
  }
  return bFound;
}

void ClGraphics::getForcedResolutionSize(i32 iCode, u32* puiWidth, u32* puiHeight) {
  *puiWidth = 0;
  *puiHeight = 0;
  for (const SForcedResolution& forced : gc_aForcedResolutions) {
    if (forced.iCode == iCode) {
      *puiWidth = forced.uiWidth;
      *puiHeight = forced.uiHeight;
      if (iCode == 456 && ClDevINI::mp_bInitialized && ClDevINI::getInt("EMULATE_WIDE_SCREEN") != 0) {
        *puiWidth = 832;
      }
      return;
    }
  }
}

void ClGraphics::applyForcedResolution(u32* puiWidth, u32* puiHeight) {
  i32 iCode = ClDevINI::mp_bInitialized ? ClDevINI::getInt("RESOLUTION") : 0;
  i32 iArgument = 0;
  if (commandIntArgument("-resolution", &iArgument)) {
    for (i32 iAccepted : gc_aiCommandLineResolutions) {
      if (iAccepted == iArgument) {
        iCode = iArgument;
      }
    }
  }
  if (iCode == 0 && hasGraphicsOption("FORCED_RESOLUTION")) {
    iCode = *accessGraphicsOption("FORCED_RESOLUTION");
  }
  if (iCode == 0) {
    return;
  }
  mp_bForcedResolution = 1;
  u32 uiWidth = 0;
  u32 uiHeight = 0;
  getForcedResolutionSize(iCode, &uiWidth, &uiHeight);
  if (uiWidth == 0) {
    mp_bForcedResolution = 0;
    return;
  }
  *puiWidth = uiWidth;
  *puiHeight = uiHeight;
  // Without such a mode, full screen forgets the forced size; a window takes it anyway.
  if (!findDisplayMode(uiWidth, uiHeight, nullptr, nullptr) && isFullscreen()) {
    mp_bForcedResolution = 0;
  }
}

void ClGraphics::sortResolutionList() {
  if (!mp_resolutionList.isInitialized() || mp_resolutionList.getCount() < 2) {
    return;
  }
  std::qsort(mp_resolutionList.at(0), static_cast<size_t>(mp_resolutionList.getCount()), sizeof(DisplayMode),
             [](const void* pA, const void* pB) -> int {
               // Tallest first; of one height, widest first, so the list reads in order of size.
               const DisplayMode& a = *static_cast<const DisplayMode*>(pA);
               const DisplayMode& b = *static_cast<const DisplayMode*>(pB);
               if (a.m_uiHeight != b.m_uiHeight) {
                 return b.m_uiHeight > a.m_uiHeight ? 1 : -1;
               }
               return b.m_uiWidth > a.m_uiWidth ? 1 : b.m_uiWidth < a.m_uiWidth ? -1 : 0;
             });
}

i32 ClGraphics::createDevice(u32* puiWidth, u32* puiHeight, const DisplayMode& mode) {
  const bool bFullscreen = isFullscreen() != 0;
  mp_presentParams = D3DPRESENT_PARAMETERS{};
  mp_presentParams.hDeviceWindow = mp_hWnd;
  mp_presentParams.BackBufferCount = 1;
  mp_presentParams.Windowed = bFullscreen ? FALSE : TRUE;
  // Windowed, Present names where the back buffer goes in a window of another size, which the copy swap allows.
  mp_presentParams.SwapEffect = bFullscreen ? D3DSWAPEFFECT_FLIP : D3DSWAPEFFECT_COPY;
  mp_presentParams.BackBufferFormat = static_cast<D3DFORMAT>(mode.m_eFormat);
  mp_presentParams.EnableAutoDepthStencil = TRUE;

  const D3DFORMAT eAdapterFormat = static_cast<D3DFORMAT>(mode.m_eFormat);
  auto accepted = [eAdapterFormat](D3DFORMAT eCandidate) {
    return SUCCEEDED(mp_pD3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, eAdapterFormat,
                                                D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, eCandidate));
  };
  auto noDepthFormat = []() {
    messageBox(resolveEscapes(KvWindowGameHooks().localizedText("MB_DIRECTX_ISSUE_FEW_SUGGESTIONS")), "MB_DIRECTX_ERROR_TITLE");
    KV_FATAL_CONDITION(E_KV_STOP_CAUSE_START_UP, "No suitable depth buffer format found!");
  };
  D3DFORMAT eDepth = D3DFMT_UNKNOWN;
  if (ClDevINI::getInt("USE_STENCIL") == 1) {
    eDepth = accepted(D3DFMT_D24S8) ? D3DFMT_D24S8 : D3DFMT_UNKNOWN;
  } else {
    for (D3DFORMAT eCandidate : {D3DFMT_D32, D3DFMT_D24X8, D3DFMT_D16, D3DFMT_D24X4S4}) {
      if (accepted(eCandidate)) {
        eDepth = eCandidate;
        break;
      }
    }
  }
  if (eDepth == D3DFMT_UNKNOWN) {
    noDepthFormat();
  }
  mp_presentParams.AutoDepthStencilFormat = eDepth;
  mp_eDepthStencilFormat = eDepth;
  mp_eDepthTextureFormat = D3DFMT_UNKNOWN;
  for (D3DFORMAT eCandidate : {D3DFMT_D32, D3DFMT_D24X8, D3DFMT_D16}) {
    if (accepted(eCandidate)) {
      mp_eDepthTextureFormat = eCandidate;
      break;
    }
  }
  if (mp_eDepthTextureFormat == D3DFMT_UNKNOWN) {
    noDepthFormat();
  }

  const i32 iFSAA = ClDevINI::getInt("FSAA");
  if (iFSAA == 4 || iFSAA == 2) {
    KV_FATAL("Implement proper FSAA mode detection");
  }
  mp_presentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
  mp_presentParams.MultiSampleQuality = 0;

  const bool bVsync = ClDevINI::hasKey("NOVSYNC") ? ClDevINI::getInt("NOVSYNC") == 0
                                                  : *accessGraphicsOption("VSYNC") != 0;
  mp_presentParams.PresentationInterval =
      bVsync && ClDevINI::getInt("NOGFX") <= 0 ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
  mp_presentParams.FullScreen_RefreshRateInHz = bFullscreen ? mode.m_uiRefreshRate : 0;
  mp_presentParams.BackBufferWidth = mode.m_uiWidth;
  mp_presentParams.BackBufferHeight = mode.m_uiHeight;

  if (!bFullscreen) {
    const i32 iDivisor = ClDevINI::hasKey("HARD_FORCED_WINDOW_DIVISOR") && ClDevINI::getInt("HARD_FORCED_WINDOW_DIVISOR") != 0
                             ? ClDevINI::getInt("HARD_FORCED_WINDOW_DIVISOR")
                             : 1;
    const u32 uiDivisor = static_cast<u32>(iDivisor);
    resizeWindow(static_cast<i32>(mode.m_uiWidth / uiDivisor), static_cast<i32>(mode.m_uiHeight / uiDivisor));
  }

  const DWORD dwFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING |
                        (ClDevINI::getInt("PRESERVE_FPU") != 0 ? D3DCREATE_FPU_PRESERVE : D3DCREATE_MULTITHREADED);
  const HRESULT hrCreate = mp_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mp_hWnd, dwFlags,
                                                 &mp_presentParams, &mp_pDevice);
  if (FAILED(hrCreate)) {
    resizeWindow(1, 1);
    ShowCursor(TRUE);
    const std::string text = errorText(hrCreate);
    messageBox(resolveEscapes(KvWindowGameHooks().localizedText("MB_DIRECTX_ISSUE_FEW_SUGGESTIONS")), "MB_DIRECTX_ERROR_TITLE");
    KV_FATAL_CONDITION(E_KV_STOP_CAUSE_START_UP, text.c_str());
  }

  D3DCAPS9 caps{};
  mp_pD3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
  if (caps.PixelShaderVersion < D3DPS_VERSION(3, 0) || caps.VertexShaderVersion < D3DVS_VERSION(3, 0)) {
    failAndDestroyWindow(KvWindowGameHooks().localizedText("MB_DIRECTX_HARDWARE_NOT_SHADER_3_0"),
                         "MB_DIRECTX_HARDWARE_ISSUE_TITLE", true);
  }

  auto surfaceFailure = [](const char* pTextKey, HRESULT hr) {
    std::string text = KvWindowGameHooks().localizedText(pTextKey);
    const size_t uiMarker = text.find("%s");
    if (uiMarker != std::string::npos) {
      text.replace(uiMarker, 2, errorText(hr));
    }
    failAndDestroyWindow(text, "MB_DIRECTX_ERROR_TITLE", true);
  };
  HRESULT hr = mp_pDevice->GetRenderTarget(0, &mp_pBackBufferSurface);
  if (FAILED(hr)) {
    surfaceFailure("MB_DIRECTX_CREATE_RT_FAILED", hr);
  }
  hr = mp_pDevice->GetDepthStencilSurface(&mp_pDepthStencilSurface);
  if (FAILED(hr)) {
    mp_pBackBufferSurface->Release();
    mp_pBackBufferSurface = nullptr;
    surfaceFailure("MB_DIRECTX_CREATE_STENCIL_SURFACE_FAILED", hr);
  }
  *puiWidth = mode.m_uiWidth;
  *puiHeight = mode.m_uiHeight;
  return 1;
}

void ClGraphics::initializePlatform() {
  KV_ASSERT_MSG(ClDevINI::mp_bInitialized, "ClDevINI::mp_bInitialized");
  mp_pD3D = Direct3DCreate9(D3D_SDK_VERSION);
  if (mp_pD3D == nullptr) {
    messageBox(KvWindowGameHooks().localizedText("MB_DIRECTX_COULD_NOT_INIT"), "MB_DIRECTX_ISSUE_TITLE");
    KV_FATAL_CONDITION(E_KV_STOP_CAUSE_START_UP, "Could not initialize DirectX");
  }
  requireOption("FULLSCREEN");
  requireOption("VSYNC");
  readDesktopSize();
  const bool bFullscreen = isFullscreen() != 0;

  buildDisplayModeList();
  u32 uiWidth = mp_bestDisplayMode.m_uiWidth;
  u32 uiHeight = mp_bestDisplayMode.m_uiHeight;
  const u32 uiDesktopWidth = static_cast<u32>(mp_iDesktopWidth);
  const u32 uiDesktopHeight = static_cast<u32>(mp_iDesktopHeight);
  if (uiDesktopWidth != uiWidth || uiDesktopHeight != uiHeight) {
    DisplayMode desktopMode{};
    if (findDisplayMode(uiDesktopWidth, uiDesktopHeight, &desktopMode, nullptr)) {
      if (desktopMode.m_uiWidth != 0) {
        mp_bestDisplayMode = desktopMode;
      }
      uiWidth = uiDesktopWidth;
      uiHeight = uiDesktopHeight;
    }
  }

  bool bOptionsSizeFailed = false;
  const bool bHasOptionsSize = hasGraphicsOption("RES_X") != 0;
  if (bHasOptionsSize) {
    KV_ASSERT_MSG(hasGraphicsOption("RES_Y"), "ClGraphics::mp_graphicsOptionsDict.keyExists(\"RES_Y\")");
    const u32 uiResX = static_cast<u32>(*accessGraphicsOption("RES_X"));
    const u32 uiResY = static_cast<u32>(*accessGraphicsOption("RES_Y"));
    DisplayMode mode32{};
    DisplayMode mode16{};
    if (findDisplayMode(uiResX, uiResY, &mode32, &mode16)) {
      uiWidth = uiResX;
      uiHeight = uiResY;
      mp_curDisplayMode = mode32.m_uiWidth != 0 ? mode32 : mode16;
    } else {
      bOptionsSizeFailed = true;
    }
  }

  if (!mp_resolutionList.isInitialized()) {
    mp_resolutionList.initialize(8);
  }
  gameSpecificBuildResolutionList();
  if (!bFullscreen && (!bHasOptionsSize || bOptionsSizeFailed)) {
    gameSpecificPickWidescreenMode(&uiWidth, &uiHeight);
  }
  DisplayMode mode32{};
  DisplayMode mode16{};
  if (findDisplayMode(uiWidth, uiHeight, &mode32, &mode16)) {
    mp_curDisplayMode = mode32.m_uiWidth != 0 ? mode32 : mode16;
  } else {
    mp_curDisplayMode = mp_bestDisplayMode;
    if (mp_curDisplayMode.m_uiHeight != 0) {
      mp_curDisplayMode.m_iAspectClass = getAspectClass(mp_curDisplayMode.m_uiWidth, mp_curDisplayMode.m_uiHeight);
    }
  }

  mp_bForcedResolution = 0;
  registerWindowClass(bFullscreen);
  applyForcedResolution(&uiWidth, &uiHeight);
  createMainWindow(static_cast<i32>(uiWidth), static_cast<i32>(uiHeight), bFullscreen, mp_bForcedResolution != 0);
  sortResolutionList();

  const i32 iCount = mp_resolutionList.getCount();
  i32 iStart = 0;
  for (i32 i = 0; i < iCount; ++i) {
    if (mp_resolutionList[i].m_uiWidth == mp_curDisplayMode.m_uiWidth &&
        mp_resolutionList[i].m_uiHeight == mp_curDisplayMode.m_uiHeight) {
      iStart = i;
    }
  }
  for (i32 k = 0; k < iCount && mp_pDevice == nullptr; ++k) {
    DisplayMode& entry = mp_resolutionList[(iStart + k) % iCount];
    if (ClDevINI::getInt("HARD_FORCED_WIDTH") > 0) {
      uiWidth = static_cast<u32>(ClDevINI::getInt("HARD_FORCED_WIDTH"));
      entry.m_uiWidth = uiWidth;
    }
    if (ClDevINI::getInt("HARD_FORCED_HEIGHT") > 0) {
      uiHeight = static_cast<u32>(ClDevINI::getInt("HARD_FORCED_HEIGHT"));
      entry.m_uiHeight = uiHeight;
    }
    i32 iValue = 0;
    if (commandParameter("-w") != nullptr) {
      entry.m_uiWidth = commandIntArgument("-w", &iValue) ? static_cast<u32>(iValue) : uiWidth;
    }
    if (commandParameter("-h") != nullptr) {
      entry.m_uiHeight = commandIntArgument("-h", &iValue) ? static_cast<u32>(iValue) : uiHeight;
    }
    if (mp_bForcedResolution && (hasGraphicsOption("FORCED_RESOLUTION") || !bFullscreen)) {
      entry.m_uiWidth = uiWidth;
      entry.m_uiHeight = uiHeight;
    }
    createDevice(&uiWidth, &uiHeight, entry);
  }
  if (mp_pDevice == nullptr) {
    failAndDestroyWindow(KvWindowGameHooks().localizedText("MB_DIRECTX_COULD_NOT_CREATE_D3D_DEVICE"), "MB_DIRECTX_ISSUE_TITLE",
                         true);
  }

  startRenderWorker();
  ClDrawPrimitive::createDeviceObjects();
  showMainWindow();
  mp_fScreenWidth = static_cast<f32>(mp_presentParams.BackBufferWidth);
  mp_fScreenHeight = static_cast<f32>(mp_presentParams.BackBufferHeight);
  gameSpecificBlackFrame();
  mp_bDeviceLost = 0;
}

void ClGraphics::initialize() {
  KV_ASSERT_MSG(mp_graphicsOptionsDict.isInitialized(),
                "HACK: game MUST initialize mp_graphicsOptionsDict prior to calling ClGraphics::initialize()");
  for (i32& iDepth : mp_aiMatrixStackDepth) {
    iDepth = 0;
  }
  pushMatrix(E_MATRIX_STACK_WORLD, kv_matrix{});
  mp_pCurrentShader = nullptr;
  mp_pCurrentTextureSet = nullptr;
  mp_pBoundObjectTransform = nullptr;
  mp_iCurCPUBuffer = 0;
  g_aTVChannels[0].initialize();
  initializePlatform();
  mp_bReady = 1;
}
