// The render worker, the frame hand-over, the lost device and graphics shut-down.
#include <cstdio>

#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClRenderTargetMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Win32/Win32.h"

void* ClGraphics::mp_hStartFrameEvent = nullptr;
void* ClGraphics::mp_hFrameCompleteEvent = nullptr;
std::uintptr_t ClGraphics::mp_hRenderWorkerThread = 0;
std::atomic<u32> ClGraphics::mp_bQuitRenderWorker{0};
std::atomic<u32> ClGraphics::mp_bRenderWorkerExited{0};
std::atomic<i32> ClGraphics::mp_iCurCPUBuffer{0};
std::atomic<u32> ClGraphics::mp_bDeviceLost{0};
std::atomic<i32> ClGraphics::mp_hrLastPresent{0};
u32 ClGraphics::mp_bRestorePending = 0;
i32 ClGraphics::mp_iRestoreFailures = 0;

void ClGraphics::startRenderWorker() {
  mp_bQuitRenderWorker = 0;
  mp_bRenderWorkerExited = 0;
  const DWORD dwTime = timeGetTime();
  char szName[128];
  std::snprintf(szName, sizeof(szName), "Render worker thread frame complete [%d]", static_cast<i32>(dwTime));
  mp_hFrameCompleteEvent = CreateEventA(nullptr, TRUE, FALSE, szName);
  std::snprintf(szName, sizeof(szName), "Start frame for render worker thread [%d]", static_cast<i32>(dwTime));
  mp_hStartFrameEvent = CreateEventA(nullptr, TRUE, FALSE, szName);
  if (mp_hFrameCompleteEvent == nullptr || mp_hStartFrameEvent == nullptr) {
    KV_FATALF("Failed to create event(s) for render worker thread!  Reason code [%d]\n",
              static_cast<i32>(GetLastError()));
  }
  unsigned uiThreadId = 0;
  mp_hRenderWorkerThread = _beginthreadex(nullptr, 0, &ClGraphics::renderWorkerThread, nullptr, 0, &uiThreadId);
  if (mp_hRenderWorkerThread == 0) {
    KV_FATALF("Failed to create render worker thread! Reason code [%d].\n", static_cast<i32>(GetLastError()));
  }
}

unsigned ClGraphics::renderWorkerThread(void*) {
  WaitForSingleObject(mp_hStartFrameEvent, INFINITE);
  ResetEvent(mp_hStartFrameEvent);
  while (!mp_bQuitRenderWorker.load()) {
    if (mp_bReady.load() && !mp_bDeviceLost.load()) {
      gameSpecificRenderFrame();
    } else {
      ClDynamicGeometry::unlockBuffers();
      ClDrawPrimitive::freeRendered();
      ClSpriteMgr::clearCurrentBuffer();
      gameSpecificDiscardFrame();
      SleepEx(1, TRUE);
    }
    // Signalled after a discarded frame too: a main thread that waits must never wait for good.
    SetEvent(mp_hFrameCompleteEvent);
    WaitForSingleObject(mp_hStartFrameEvent, INFINITE);
    ResetEvent(mp_hStartFrameEvent);
  }
  mp_bRenderWorkerExited = 1;
  return 0;
}

void ClGraphics::presentFrame() {
  i32 aiShownAt[4];
  RECT dest{};
  const RECT* pDest = nullptr;
  if (backBufferInWindow(mp_iClientWidth.load(std::memory_order_relaxed),
                         mp_iClientHeight.load(std::memory_order_relaxed), aiShownAt)) {
    dest = RECT{aiShownAt[0], aiShownAt[1], aiShownAt[0] + aiShownAt[2], aiShownAt[1] + aiShownAt[3]};
    pDest = &dest;
  }
  setLastPresentResult(mp_pDevice->Present(nullptr, pDest, nullptr, nullptr));
}

void ClGraphics::endFrame() {
  if (mp_bReady.load()) {
    ClDrawPrimitive::flushPending();
    mp_iCurCPUBuffer.store(1 - mp_iCurCPUBuffer.load());
    SetEvent(mp_hStartFrameEvent);
    WaitForSingleObject(mp_hFrameCompleteEvent, INFINITE);
    ResetEvent(mp_hFrameCompleteEvent);
  } else {
    // Nothing is handed over while the device is lost: the frame the game queued goes now, so a long loss never
    // fills the queues and the first frame after it draws only its own work.
    ClDrawPrimitive::flushPending();
    ClDrawPrimitive::freeRendered();
    ClSpriteMgr::clearWrittenBuffer();
    gameSpecificFrameDropped();
  }
  handleLostDevice();
}

void ClGraphics::updateAndEndFrame() {
  g_aTVChannels[0].advanceBlend(ClClock::m_aClockFrames[1].m_fFrameTime);
  g_aTVChannels[0].update();
  endFrame();
}

i32 ClGraphics::handleLostDevice() {
  if (mp_pDevice == nullptr) {
    return static_cast<i32>(mp_bReady.load());
  }
  if (!mp_bDeviceLost.load()) {
    if (mp_hrLastPresent.load() == D3DERR_DEVICELOST) {
      mp_bDeviceLost = 1;
      mp_bReady = 0;
      mp_hrLastPresent = D3D_OK;
      releaseDeviceObjects();
      gameSpecificPlatformLostFocus();
      return 0;
    }
    return static_cast<i32>(mp_bReady.load());
  }
  if (mp_bRestorePending) {
    // The Reset went through but the objects could not all be made again: the device reports OK now, so only
    // the restore is tried again, never a second Reset.
    if (restoreDeviceObjects()) {
      mp_bRestorePending = 0;
      mp_iRestoreFailures = 0;
      gameSpecificPlatformRegainedFocus();
      mp_bDeviceLost = 0;
      mp_bReady = 1;
      return 1;
    }
    if (++mp_iRestoreFailures >= gc_iMAX_RESTORE_ATTEMPTS) {
      KV_FATALF("Could not restore the device objects after a Reset (%d attempts)", mp_iRestoreFailures);
    }
    Sleep(30);
    return 0;
  }
  const HRESULT hr = mp_pDevice->TestCooperativeLevel();
  if (hr == D3DERR_DEVICENOTRESET) {
    // The focus-loss hook has released them already; releasing again finds nothing to do.
    ClRenderTargetMgr::releaseAutoRenderTargets();
    if (FAILED(mp_pDevice->Reset(&mp_presentParams))) {
      return 0;
    }
    if (!restoreDeviceObjects()) {
      mp_bRestorePending = 1;
      mp_iRestoreFailures = 1;
      return 0;
    }
    gameSpecificPlatformRegainedFocus();
    mp_bDeviceLost = 0;
    mp_bReady = 1;
    return 1;
  }
  Sleep(30);
  return 0;
}

void ClGraphics::releaseDeviceObjects() {
  ClShaderMgr::onLostDevice();
  ClDrawPrimitive::releaseDeviceObjects();
  ClDynamicGeometry::platformTerminate();
  KvUIRenderHooks().releaseUIDeviceObjects();
  if (mp_pBackBufferSurface != nullptr) {
    mp_pBackBufferSurface->Release();
    mp_pBackBufferSurface = nullptr;
  }
  if (mp_pDepthStencilSurface != nullptr) {
    mp_pDepthStencilSurface->Release();
    mp_pDepthStencilSurface = nullptr;
  }
}

i32 ClGraphics::restoreDeviceObjects() {
  if (FAILED(mp_pDevice->GetRenderTarget(0, &mp_pBackBufferSurface))) {
    mp_pBackBufferSurface = nullptr;
    return 0;
  }
  if (FAILED(mp_pDevice->GetDepthStencilSurface(&mp_pDepthStencilSurface))) {
    // Give the first surface back too, so that the next attempt starts from nothing held.
    mp_pBackBufferSurface->Release();
    mp_pBackBufferSurface = nullptr;
    mp_pDepthStencilSurface = nullptr;
    return 0;
  }
  // Textures of the data live in the managed pool and survive the Reset untouched.
  ClShaderMgr::onResetDevice();
  ClDrawPrimitive::createDeviceObjects();
  // The geometry comes back only where the game had started it (the registered target stays).
  if (ClDynamicGeometry::wasStarted()) {
    ClDynamicGeometry::platformInitialize(0);
  }
  KvUIRenderHooks().createUIDeviceObjects();
  return 1;
}

void ClGraphics::terminate() {
  if (mp_displayModes.isInitialized()) {
    mp_displayModes.terminate();
  }
  if (mp_resolutionList.isInitialized()) {
    mp_resolutionList.terminate();
  }
  mp_bQuitRenderWorker = 1;
  if (mp_hRenderWorkerThread != 0) {
    SetEvent(mp_hStartFrameEvent);
    while (!mp_bRenderWorkerExited.load()) {
      SleepEx(1, TRUE);
    }
    CloseHandle(reinterpret_cast<HANDLE>(mp_hRenderWorkerThread));
    mp_hRenderWorkerThread = 0;
  }
  if (mp_hFrameCompleteEvent != nullptr) {
    CloseHandle(mp_hFrameCompleteEvent);
    mp_hFrameCompleteEvent = nullptr;
  }
  if (mp_hStartFrameEvent != nullptr) {
    CloseHandle(mp_hStartFrameEvent);
    mp_hStartFrameEvent = nullptr;
  }
  // The same sequence as a lost device's, so that nothing holds the device when it goes. The game's shutdown has
  // released the shaders, the geometry and the UI's objects before; what is left of them goes here.
  releaseDeviceObjects();
  mp_pBoundRenderTargetGroup = nullptr;
  if (mp_pDevice != nullptr) {
    mp_pDevice->Release();
    mp_pDevice = nullptr;
  }
  if (mp_pD3D != nullptr) {
    mp_pD3D->Release();
    mp_pD3D = nullptr;
  }
  unregisterWindowClass();
  mp_bReady = 0;
  mp_bDeviceLost = 0;
  mp_bRestorePending = 0;
  mp_iRestoreFailures = 0;
  mp_hrLastPresent = D3D_OK;
}
