// Brings graphics up and down for tests and benchmarks: a small adapter-mode list, development settings from text,
// the graphics options, hooks that draw a cleared frame of a chosen colour and count what the engine asks.
// Header only; no test framework needed.
#pragma once

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Win32/Win32.h"
#include "Tests/Support/GameHooksDoubles.h"

// Thrown by the hooks' abortProgram.
struct KvTestAborted : std::runtime_error {
  KvTestAborted() : std::runtime_error("abort") {}
};

class CTestGraphicsHooks : public ClTestGraphicsHooks {
 public:
  void buildResolutionList() override {
    for (i32 i = 0; i < ClGraphics::mp_displayModes.getCount(); ++i) {
      const DisplayMode& mode = ClGraphics::mp_displayModes[i];
      if (mode.m_iBits == 32 && !ClGraphics::isDisplayModeAvailable(mode.m_uiWidth, mode.m_uiHeight)) {
        ClGraphics::addToResolutionList(mode);
      }
    }
  }
  void blackFrame() override {
    IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
    pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.0f, 0);
    pDevice->Present(nullptr, nullptr, nullptr, nullptr);
  }
  void renderFrame() override {
    m_iBufferSeen = ClGraphics::getCurCPUBuffer();
    IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
    if (m_bDraw) {
      pDevice->BeginScene();
      pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, m_uiColor, 1.0f, 0);
      if (m_pfnDraw != nullptr) m_pfnDraw();
      pDevice->EndScene();
      const HRESULT hr = pDevice->Present(nullptr, nullptr, nullptr, nullptr);
      ClGraphics::setLastPresentResult(m_hrForcedPresent != 0 ? m_hrForcedPresent : hr);
    }
    ClDrawPrimitive::freeRendered();
    m_iRendered.fetch_add(1);
    record("render");
  }
  void discardFrame() override {
    m_iDiscarded.fetch_add(1);
    record("discard");
  }
  void platformLostFocus() override { record("lostFocus"); }
  void platformRegainedFocus() override { record("regainedFocus"); }
  const char* localizedText(const char* pKey) override {
    const std::string key = pKey;
    if (key == "MB_DIRECTX_CREATE_RT_FAILED" || key == "MB_DIRECTX_CREATE_STENCIL_SURFACE_FAILED") {
      m_text = key + " [%s]";
      return m_text.c_str();
    }
    return pKey;
  }
  [[noreturn]] void abortProgram() override { throw KvTestAborted(); }

  void record(const char* pWhat) {
    if (m_bTrace) m_trace.push_back(pWhat);
  }

  u32 m_uiColor = 0xFF2040C0u;
  bool m_bDraw = true;
  void (*m_pfnDraw)() = nullptr;
  HRESULT m_hrForcedPresent = 0;
  std::atomic<i32> m_iRendered{0};
  std::atomic<i32> m_iDiscarded{0};
  i32 m_iBufferSeen = -1;
  bool m_bTrace = false;
  std::vector<std::string> m_trace;  // written on the worker only while the main thread waits
  std::string m_text;
};

// Modes small enough for any desktop; the tests ask for 320 x 240.
inline std::vector<std::pair<D3DFORMAT, D3DDISPLAYMODE>> KvTestAdapterModes() {
  return {{D3DFMT_X8R8G8B8, {320, 240, 60, D3DFMT_X8R8G8B8}},
          {D3DFMT_X8R8G8B8, {640, 480, 60, D3DFMT_X8R8G8B8}},
          {D3DFMT_X8R8G8B8, {800, 600, 60, D3DFMT_X8R8G8B8}}};
}

// Development settings and graphics options as a game start-up leaves them, before ClGraphics::initialize.
template <typename THooks>
inline void KvTestPrepareGraphics(THooks* pHooks, const std::string& settings, bool bVsync = false,
                                  u32 uiWidth = 320, u32 uiHeight = 240) {
  D3D9TestReset();
  D3D9TestSetAdapterModes(KvTestAdapterModes());
  ClDevINI::initialize();
  ClDevINI::loadFromBuffer(settings.data(), settings.size(), "project.ini");
  ClGraphics::initializeGraphicsOptions();
  *ClGraphics::accessGraphicsOption("FULLSCREEN") = 0;
  *ClGraphics::accessGraphicsOption("VSYNC") = bVsync ? 1 : 0;
  *ClGraphics::accessGraphicsOption("RES_X") = static_cast<i32>(uiWidth);
  *ClGraphics::accessGraphicsOption("RES_Y") = static_cast<i32>(uiHeight);
  KvTestSetGraphicsHooks(pHooks);
}

template <typename THooks>
inline void KvTestStartGraphics(THooks* pHooks, const std::string& settings = "", bool bVsync = false) {
  KvTestPrepareGraphics(pHooks, settings, bVsync);
  ClGraphics::initialize();
}

// The shader manager and the signature and texture-set pools, as the game's second start-up stage makes them (after
// graphics); the stop undoes them (before graphics stop).
inline void KvTestStartShadersAndSignatures() {
  ClShaderMgr::initialize();
  ClSignatureMgr::initSignaturePool();
  ClSignatureMgr::initTexSetPool();
  ClSignatureMgr::initialize();
}

inline void KvTestStopShadersAndSignatures() {
  ClGraphics::endSignature();
  ClSignatureMgr::termSignaturePool();
  ClSignatureMgr::termTexSetPool();
  ClSignatureMgr::terminate();
  ClShaderMgr::terminate();
}

// Everything graphics made is gone afterwards, whatever state a failed start-up left.
inline void KvTestStopGraphics() {
  ClGraphics::terminate();
  g_aTVChannels[0].terminate();
  ClGraphics::terminateGraphicsOptions();
  if (ClDevINI::mp_bInitialized) {
    ClDevINI::terminate();
  }
  KvTestSetGraphicsHooks(nullptr);
  ClGraphics::mp_hWnd = nullptr;
  for (i32 i = 0; i < gc_iNUM_MATRIX_STACKS; ++i) {
    ClGraphics::mp_aiMatrixStackDepth[i] = 0;
  }
  Win32TestReset();
  D3D9TestReset();
}
