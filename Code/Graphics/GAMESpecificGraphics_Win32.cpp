#include "Code/Graphics/GAMESpecificGraphics_Win32.h"

#include "Code/Graphics/GAMEVideoFrame_Win32.h"

#include <cmath>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Stats/ClDiffMgr.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/ClTaskMgr.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Win32/Win32.h"

ClGAMEGraphicsHooks g_GAMEGraphicsHooks;

namespace {

constexpr f32 gc_fWIDESCREEN_RATIO = 1.7777778f;

// The back buffer bound with the device's own depth surface, nothing in the further slots.
void bindBackBuffer(IDirect3DDevice9* pDevice) {
  pDevice->SetRenderTarget(0, ClGraphics::mp_pBackBufferSurface);
  pDevice->SetDepthStencilSurface(ClGraphics::mp_pDepthStencilSurface);
  for (DWORD i = 1; i < 4; ++i) {
    pDevice->SetRenderTarget(i, nullptr);
  }
}

}  // namespace

const char* ClGAMEGraphicsHooks::localizedText(const char* pKey) {
  const wchar16* pText = KvLangID::findStringByHash(KvStrHash(pKey));
  if (pText == nullptr) {
    // Message boxes come before the string table only on broken installs: the key is better than nothing.
    return pKey;
  }
  size_t i = 0;
  for (; pText[i] != 0 && i + 1 < sizeof(m_szText); ++i) {
    m_szText[i] = pText[i] < 128 ? static_cast<char>(pText[i]) : '?';
  }
  m_szText[i] = 0;
  return m_szText;
}

i32 ClGAMEGraphicsHooks::allowQuit() {
  // The UI's "AllowQuit" value decides once the UI exists; before that the window always closes.
  return 0;
}

void ClGAMEGraphicsHooks::buildResolutionList() {
  ClDynamicVector<DisplayMode>& list = ClGraphics::mp_resolutionList;
  if (!list.isInitialized()) {
    list.initialize(8);
  }
  list.clear();
  const ClDynamicVector<DisplayMode>& modes = ClGraphics::mp_displayModes;
  for (i32 i = 0; i < modes.getCount(); ++i) {
    const DisplayMode& mode = modes[i];
    if (mode.m_iBits != 32 || ClGraphics::isDisplayModeAvailable(mode.m_uiWidth, mode.m_uiHeight)) {
      continue;
    }
    // One entry per size: the last 32-bit mode listed for it.
    i32 iLast = i;
    for (i32 j = i + 1; j < modes.getCount(); ++j) {
      if (modes[j].m_iBits == 32 && modes[j].m_uiWidth == mode.m_uiWidth && modes[j].m_uiHeight == mode.m_uiHeight) {
        iLast = j;
      }
    }
    list.append(modes[iLast]);
  }
}

void ClGAMEGraphicsHooks::pickWidescreenMode(u32* puiWidth, u32* puiHeight) {
  const f32 fDesktopHeight = static_cast<f32>(*puiHeight);
  const u32 uiMin = static_cast<u32>(fDesktopHeight * 0.55f);
  const u32 uiMax = static_cast<u32>(fDesktopHeight * 0.9f);
  const DisplayMode* pBest = nullptr;
  const ClDynamicVector<DisplayMode>& modes = ClGraphics::mp_displayModes;
  for (i32 i = 0; i < modes.getCount(); ++i) {
    const DisplayMode& mode = modes[i];
    const f32 fRatio = static_cast<f32>(mode.m_uiWidth) / static_cast<f32>(mode.m_uiHeight);
    if (mode.m_iBits != 32 || std::fabs(fRatio - gc_fWIDESCREEN_RATIO) > 0.03f || mode.m_uiHeight < uiMin ||
        mode.m_uiHeight > uiMax) {
      continue;
    }
    if (pBest == nullptr || mode.m_uiHeight > pBest->m_uiHeight ||
        (mode.m_uiHeight == pBest->m_uiHeight && mode.m_uiRefreshRate > pBest->m_uiRefreshRate)) {
      pBest = &mode;
    }
  }
  if (pBest != nullptr) {
    *puiWidth = pBest->m_uiWidth;
    *puiHeight = pBest->m_uiHeight;
  }
}

void ClGAMEGraphicsHooks::blackFrame() {
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  if (FAILED(pDevice->BeginScene())) {
    return;
  }
  ClGraphics::mp_pBoundRenderTargetGroup = nullptr;
  bindBackBuffer(pDevice);
  pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiGAME_CLEAR_COLOR, 0.0f, 0);
  pDevice->EndScene();
  pDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

void ClGAMEGraphicsHooks::renderFrame() {
  if (!ClDiffMgr::mp_bInitialized || ClDevINI::getInt("NOGFX") == 1) {
    discardFrame();
    return;
  }
  // While a movie shows, only its frame is drawn; the frame's queued work is let go all the same.
  if (GAMERenderVideoFrame()) {
    ClDrawPrimitive::freeRendered();
    return;
  }
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  if (SUCCEEDED(pDevice->BeginScene())) {
    bindBackBuffer(pDevice);
    pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiGAME_CLEAR_COLOR, 1.0f, 0);
    pDevice->EndScene();
    ClGraphics::setLastPresentResult(pDevice->Present(nullptr, nullptr, nullptr, nullptr));
  }
  ClDrawPrimitive::freeRendered();
}

void ClGAMEGraphicsHooks::discardFrame() { ClDrawPrimitive::freeRendered(); }

void ClGAMEGraphicsHooks::platformLostFocus() {
  ClJobMgr::setDispatchSuspended(true);
  while (ClTaskMgr::isInitialized() && ClTaskMgr::isAnyWorkerAwake()) {
    SleepEx(1, TRUE);
  }
}

void ClGAMEGraphicsHooks::platformRegainedFocus() { ClJobMgr::setDispatchSuspended(false); }
