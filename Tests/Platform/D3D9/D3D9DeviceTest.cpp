#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "Platform/D3D9/DxErr.h"
#include "Tests/Platform/D3D9/D3D9TestDevice.h"

namespace {

// Pixel centres sit on integer coordinates, row 0 is the top row and colours are 0xAARRGGBB words.
TEST_F(D3D9Device, RectanglesLandOnTheirPixelsTopLeftFirst) {
  createDevice();
  ASSERT_EQ(mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0), D3D_OK);
  drawRect(10, 8, 20, 16, 0.5f, gc_uiRED);
  // Inside, at both corners, and one pixel past each edge.
  EXPECT_EQ(pixel(10, 8), gc_uiRED);
  EXPECT_EQ(pixel(19, 15), gc_uiRED);
  EXPECT_EQ(pixel(9, 8), gc_uiBLUE);
  EXPECT_EQ(pixel(20, 8), gc_uiBLUE);
  EXPECT_EQ(pixel(10, 7), gc_uiBLUE);
  EXPECT_EQ(pixel(10, 16), gc_uiBLUE);
  // Edges half-way between integers: Direct3D 9 covers the centres 31..40 and 9..16 (OpenGL's own rule would
  // give 30..39 and 8..15).
  drawRect(30.5f, 8.5f, 40.5f, 16.5f, 0.5f, gc_uiGREEN);
  EXPECT_EQ(pixel(30, 9), gc_uiBLUE);
  EXPECT_EQ(pixel(31, 9), gc_uiGREEN);
  EXPECT_EQ(pixel(40, 16), gc_uiGREEN);
  EXPECT_EQ(pixel(41, 16), gc_uiBLUE);
  EXPECT_EQ(pixel(31, 8), gc_uiBLUE);
  EXPECT_EQ(pixel(31, 17), gc_uiBLUE);
}

// Clip-space depth runs 0 to 1: a depth below 0 is clipped, 1 still passes a buffer cleared to 1.
TEST_F(D3D9Device, DepthRunsFromZeroToOne) {
  createDevice();
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  drawRect(0, 0, 16, 16, -0.1f, gc_uiRED);
  EXPECT_EQ(pixel(8, 8), gc_uiBLUE) << "depth below 0 is clipped";
  drawRect(0, 0, 16, 16, 1.0f, gc_uiRED);
  EXPECT_EQ(pixel(8, 8), gc_uiRED) << "depth 1 passes LESSEQUAL against a clear of 1";
  drawRect(0, 0, 16, 16, 0.5f, gc_uiGREEN);
  drawRect(0, 0, 16, 16, 0.8f, gc_uiWHITE);
  EXPECT_EQ(pixel(8, 8), gc_uiGREEN) << "farther geometry stays hidden";
  mp_pDevice->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
  drawRect(0, 0, 16, 16, 0.8f, gc_uiWHITE);
  EXPECT_EQ(pixel(8, 8), gc_uiWHITE) << "the compare function comes from the render state";
}

// Depth clears land whatever comes between them and the draw that tests depth: draws without the depth test, another
// whole clear (the last one counts), a clear of part of the buffer (over the earlier whole one) or a Present.
TEST_F(D3D9Device, DepthClearsHoldUntilTheDrawThatTestsDepth) {
  struct SCase {
    const char* pName;
    // Between the whole clear to 0.3 and the depth-tested draws at 0.2 (left half) and 0.6 (right half).
    std::function<void()> between;
    DWORD dwLeft;   // the pixel of the left half after the draws
    DWORD dwRight;  // the right half
  };
  const D3DRECT rightHalf{32, 0, 64, 48};
  const SCase aCases[] = {
      {"nothing", [] {}, gc_uiRED, gc_uiBLUE},
      {"a draw without the depth test",
       [this] {
         mp_pDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
         drawRect(0, 0, 64, 48, 0.9f, gc_uiGREEN);
         mp_pDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
       },
       gc_uiRED, gc_uiGREEN},
      {"a later whole clear",
       [this] { mp_pDevice->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }, gc_uiRED, gc_uiRED},
      {"a clear of the right half",
       [this, &rightHalf] { mp_pDevice->Clear(1, &rightHalf, D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }, gc_uiRED,
       gc_uiRED},
      {"a Present", [this] { mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr); }, gc_uiRED,
       gc_uiBLUE},
      // The window resized without a Reset: the back buffer is copied into it from then on and has a depth buffer
      // of its own, where the clear still holds; and back again. (Its colour is undefined after the Present.)
      {"the window resized and a Present",
       [this] {
         MoveWindow(m_hWnd, 0, 0, 2 * gc_uiW, 2 * gc_uiH, FALSE);
         mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
         EXPECT_FALSE(D3D9TestBackBufferIsWindow(mp_pDevice));
         mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiBLUE, 1.0f, 0);
       },
       gc_uiRED, gc_uiBLUE},
      {"the window at the back buffer's size again and a Present",
       [this] {
         MoveWindow(m_hWnd, 0, 0, gc_uiW, gc_uiH, FALSE);
         mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
         mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiBLUE, 1.0f, 0);
       },
       gc_uiRED, gc_uiBLUE},
  };
  createDevice();
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    mp_pDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    mp_pDevice->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiBLUE, 1.0f, 0);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.3f, 0);
    c.between();
    drawRect(0, 0, 32, 48, 0.2f, gc_uiRED);
    drawRect(32, 0, 64, 48, 0.6f, gc_uiRED);
    EXPECT_EQ(pixel(8, 8), c.dwLeft);
    EXPECT_EQ(pixel(40, 8), c.dwRight);
  }
}

// A viewport limits drawing and clearing; setting render target 0 restores the whole target.
TEST_F(D3D9Device, ViewportLimitsDrawsAndClearsUntilTheTargetIsSetAgain) {
  createDevice();
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  const D3DVIEWPORT9 corner{32, 24, 32, 24, 0.0f, 1.0f};
  ASSERT_EQ(mp_pDevice->SetViewport(&corner), D3D_OK);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0);
  EXPECT_EQ(pixel(31, 23), gc_uiBLUE);
  EXPECT_EQ(pixel(32, 24), gc_uiRED);
  EXPECT_EQ(pixel(63, 47), gc_uiRED);

  IDirect3DSurface9* pBackBuffer = nullptr;
  ASSERT_EQ(mp_pDevice->GetRenderTarget(0, &pBackBuffer), D3D_OK);
  ASSERT_EQ(mp_pDevice->SetRenderTarget(0, pBackBuffer), D3D_OK);
  pBackBuffer->Release();
  D3DVIEWPORT9 viewport{};
  mp_pDevice->GetViewport(&viewport);
  EXPECT_EQ(viewport.X, 0u);
  EXPECT_EQ(viewport.Width, gc_uiW);
  EXPECT_EQ(viewport.Height, gc_uiH);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiGREEN, 1.0f, 0);
  EXPECT_EQ(pixel(0, 0), gc_uiGREEN);
}

// The window shows the back buffer upright after Present.
TEST_F(D3D9Device, PresentShowsTheBackBufferUpright) {
  createDevice();
  UINT uiW = 0;
  UINT uiH = 0;
  D3D9TestReadWindow(mp_pDevice, &uiW, &uiH);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  drawRect(0, 0, 8, 4, 0.5f, gc_uiRED);
  ASSERT_EQ(mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  const std::vector<DWORD> window = D3D9TestReadWindow(mp_pDevice, &uiW, &uiH);
  ASSERT_EQ(uiW, gc_uiW);
  ASSERT_EQ(uiH, gc_uiH);
  EXPECT_EQ(window[0] | 0xFF000000u, gc_uiRED);
  EXPECT_EQ(window[(gc_uiH - 1) * gc_uiW] | 0xFF000000u, gc_uiBLUE);
}

// The back buffer is the window's own framebuffer when their sizes agree (nothing copied at Present) and is copied
// into the window, stretched, when they do not. Either way rows count from the top for draws, viewports, scissored
// clears and the winding of front faces, and the window, the read-back before Present and the read-back after it
// show the same upright picture.
TEST_F(D3D9Device, BackBufferIsUprightWhetherItIsTheWindowOrCopiedIntoIt) {
  struct SCase {
    const char* pName;
    UINT uiScale;  // window pixels per back-buffer pixel
    bool bWindow;
  };
  const SCase aCases[] = {{"the window's size", 1, true}, {"half the window's size", 2, false}};
  for (const SCase& test : aCases) {
    SCOPED_TRACE(test.pName);
    const UINT uiW = gc_uiW / test.uiScale;
    const UINT uiH = gc_uiH / test.uiScale;
    createDeviceOfSize(uiW, uiH);
    EXPECT_EQ(D3D9TestBackBufferIsWindow(mp_pDevice), test.bWindow);
    UINT uiReadW = 0;
    UINT uiReadH = 0;
    D3D9TestReadWindow(mp_pDevice, &uiReadW, &uiReadH);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
    // Red at the top left, drawn clockwise (a front face).
    drawRect(0, 0, 4, 2, 0.5f, gc_uiRED);
    // Green in the bottom two rows' left end, by a scissored clear.
    const RECT scissor{0, static_cast<LONG>(uiH) - 2, 4, static_cast<LONG>(uiH)};
    mp_pDevice->SetScissorRect(&scissor);
    mp_pDevice->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiGREEN, 1.0f, 0);
    mp_pDevice->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    // White at the top right, by a clear limited to a viewport.
    const D3DVIEWPORT9 corner{uiW - 4, 0, 4, 2, 0.0f, 1.0f};
    mp_pDevice->SetViewport(&corner);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiWHITE, 1.0f, 0);
    const D3DVIEWPORT9 whole{0, 0, uiW, uiH, 0.0f, 1.0f};
    mp_pDevice->SetViewport(&whole);
    // A counter-clockwise rectangle in the middle: culled.
    const float x0 = 8.0f;
    const float y0 = 8.0f;
    const SVertex aBackFacing[6] = {{x0, y0, 0.5f, gc_uiRED},        {x0, y0 + 8, 0.5f, gc_uiRED},
                                    {x0 + 8, y0, 0.5f, gc_uiRED},    {x0 + 8, y0, 0.5f, gc_uiRED},
                                    {x0, y0 + 8, 0.5f, gc_uiRED},    {x0 + 8, y0 + 8, 0.5f, gc_uiRED}};
    drawVertices(aBackFacing, D3DFVF_XYZ | D3DFVF_DIFFUSE);

    // Back-buffer pixels and what each should hold.
    const struct {
      UINT x, y;
      DWORD color;
    } aExpected[] = {{1, 0, gc_uiRED}, {1, uiH - 2, gc_uiGREEN}, {uiW - 3, 0, gc_uiWHITE}, {11, 11, gc_uiBLUE},
                     {uiW / 2, uiH - 1, gc_uiBLUE}};
    const auto expectPicture = [&](const std::vector<DWORD>& pixels, UINT uiWidth, UINT uiScale, const char* pWhat) {
      ASSERT_EQ(pixels.size(), static_cast<size_t>(uiWidth) * (uiWidth == gc_uiW ? gc_uiH : uiH)) << pWhat;
      for (const auto& expected : aExpected) {
        // The window pixel whose centre falls between the texel and its right and lower neighbours.
        const UINT x = expected.x * uiScale + uiScale / 2;
        const UINT y = expected.y * uiScale + uiScale / 2;
        EXPECT_EQ(pixels.at(static_cast<size_t>(y) * uiWidth + x) | 0xFF000000u, expected.color)
            << pWhat << " at " << expected.x << ", " << expected.y;
      }
    };
    expectPicture(D3D9TestReadBackBuffer(mp_pDevice, &uiReadW, &uiReadH), uiW, 1, "the back buffer");
    ASSERT_EQ(mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const std::vector<DWORD> window = D3D9TestReadWindow(mp_pDevice, &uiReadW, &uiReadH);
    ASSERT_EQ(uiReadW, gc_uiW);
    ASSERT_EQ(uiReadH, gc_uiH);
    expectPicture(window, gc_uiW, test.uiScale, "the window");
    expectPicture(D3D9TestReadBackBuffer(mp_pDevice, &uiReadW, &uiReadH), uiW, 1, "the back buffer after Present");
    EXPECT_EQ(D3D9TestGLErrorCount(mp_pDevice), 0u);
    mp_pDevice->Release();
    mp_pDevice = nullptr;
  }
}

// Every Present reads the back buffer at the probe points, upright, whether it is the window or copied into it (a
// point off the back buffer reads 0); taking the pixels forgets them, and an empty list stops the probes.
TEST_F(D3D9Device, PresentReadsTheProbePointsOfEveryFrame) {
  struct SCase {
    const char* pName;
    UINT uiScale;  // window pixels per back-buffer pixel
  };
  const SCase aCases[] = {{"the window's size", 1}, {"half the window's size", 2}};
  const DWORD auiFrames[] = {gc_uiBLUE, gc_uiGREEN, gc_uiWHITE};
  for (const SCase& test : aCases) {
    SCOPED_TRACE(test.pName);
    const UINT uiW = gc_uiW / test.uiScale;
    const UINT uiH = gc_uiH / test.uiScale;
    createDeviceOfSize(uiW, uiH);
    // A red block in the back buffer's top-left quarter; the points: inside it, in the cleared rest near the
    // bottom, and off the back buffer.
    const std::vector<POINT> points{{4, 4}, {static_cast<LONG>(uiW) - 3, static_cast<LONG>(uiH) - 2},
                                    {static_cast<LONG>(uiW), 0}};
    D3D9TestProbeAtPresent(mp_pDevice, points);
    for (DWORD uiClear : auiFrames) {
      mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, uiClear, 1.0f, 0);
      drawRect(0, 0, static_cast<float>(uiW / 2), static_cast<float>(uiH / 2), 0.5f, gc_uiRED);
      ASSERT_EQ(mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    const std::vector<DWORD> probed = D3D9TestTakeProbes(mp_pDevice);
    ASSERT_EQ(probed.size(), std::size(auiFrames) * points.size());
    for (size_t f = 0; f < std::size(auiFrames); ++f) {
      EXPECT_EQ(probed[f * 3] | 0xFF000000u, gc_uiRED) << "frame " << f;
      EXPECT_EQ(probed[f * 3 + 1] | 0xFF000000u, auiFrames[f]) << "frame " << f;
      EXPECT_EQ(probed[f * 3 + 2], 0u) << "frame " << f;
    }
    EXPECT_TRUE(D3D9TestTakeProbes(mp_pDevice).empty());
    D3D9TestProbeAtPresent(mp_pDevice, {});
    mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(D3D9TestTakeProbes(mp_pDevice).empty());
    EXPECT_EQ(D3D9TestGLErrorCount(mp_pDevice), 0u);
    mp_pDevice->Release();
    mp_pDevice = nullptr;
  }
}

// The loss injector: lost -> not reset -> reset; Reset refuses while default-pool resources or references to the
// device's surfaces are held; a lost device ignores draws.
TEST_F(D3D9Device, LostDeviceResetsOnlyWithDefaultPoolResourcesReleased) {
  SD3D9Faults faults;
  faults.uiLostPolls = 2;
  D3D9TestSetFaults(faults);
  createDevice();
  IDirect3DVertexBuffer9* pDefault = nullptr;
  ASSERT_EQ(mp_pDevice->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &pDefault, nullptr), D3D_OK);
  IDirect3DSurface9* pBackBuffer = nullptr;
  mp_pDevice->GetRenderTarget(0, &pBackBuffer);
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 2u);

  D3D9TestLoseDevice(mp_pDevice);
  EXPECT_EQ(mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0), D3D_OK);
  EXPECT_EQ(mp_pDevice->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(mp_pDevice->Reset(&m_params), D3DERR_DEVICELOST);
  EXPECT_EQ(mp_pDevice->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(mp_pDevice->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(mp_pDevice->Reset(&m_params), D3DERR_INVALIDCALL);
  pDefault->Release();
  EXPECT_EQ(mp_pDevice->Reset(&m_params), D3DERR_INVALIDCALL);
  pBackBuffer->Release();
  mp_pDevice->SetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER);
  EXPECT_EQ(mp_pDevice->Reset(&m_params), D3D_OK);
  EXPECT_EQ(mp_pDevice->TestCooperativeLevel(), D3D_OK);
  DWORD dwValue = 0;
  mp_pDevice->GetRenderState(D3DRS_ZFUNC, &dwValue);
  EXPECT_EQ(dwValue, static_cast<DWORD>(D3DCMP_LESSEQUAL)) << "states return to their defaults";
  EXPECT_EQ(mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_STREQ(DXGetErrorStringA(D3DERR_DEVICELOST), "D3DERR_DEVICELOST");
  EXPECT_STREQ(DXGetErrorStringA(0x12345678), "Unknown");
}

// The recording back end answers without OpenGL and logs what reaches the GPU.
TEST_F(D3D9Device, RecordingBackEndLogsWithoutOpenGL) {
  D3D9TestUseRecordingBackend(true);
  createDevice();
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0);
  drawRect(0, 0, 4, 4, 0.5f, gc_uiRED);
  mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
  const std::vector<std::string> log = D3D9TestLog(mp_pDevice);
  const std::vector<std::string> expected = {"createContext 64x48", "clear 1 FFFF0000 1.000",
                                             "createVertexBuffer 96", "uploadVertices 0+96", "draw 4 0 6",
                                             "deleteBuffer", "present"};
  EXPECT_EQ(log, expected);
}

// The context moves with the work: buffers made and deleted on this thread, drawn on another thread in lockstep
// through Win32 events, for many frames, with no OpenGL error.
TEST_F(D3D9Device, ContextMovesBetweenThreadsInLockstep) {
  createDevice();
  HANDLE hStart = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE hDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  IDirect3DVertexBuffer9* pBuffer = nullptr;
  bool bQuit = false;
  int iDrawn = 0;
  std::thread worker([&] {
    for (;;) {
      WaitForSingleObject(hStart, INFINITE);
      ResetEvent(hStart);
      if (bQuit) break;
      mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
      mp_pDevice->SetStreamSource(0, pBuffer, 0, sizeof(SVertex));
      mp_pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2);
      mp_pDevice->SetStreamSource(0, nullptr, 0, 0);
      mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
      ++iDrawn;
      SetEvent(hDone);
    }
    SDL_TLSCleanup();
  });
  for (int iFrame = 0; iFrame < 200; ++iFrame) {
    const float fX = static_cast<float>(iFrame % 32);
    const SVertex quad[6] = {{fX, 0, 0.5f, gc_uiRED},  {fX + 8, 0, 0.5f, gc_uiRED}, {fX, 8, 0.5f, gc_uiRED},
                             {fX + 8, 0, 0.5f, gc_uiRED}, {fX + 8, 8, 0.5f, gc_uiRED}, {fX, 8, 0.5f, gc_uiRED}};
    ASSERT_EQ(mp_pDevice->CreateVertexBuffer(sizeof(quad), 0, 0, D3DPOOL_DEFAULT, &pBuffer, nullptr), D3D_OK);
    void* pData = nullptr;
    pBuffer->Lock(0, 0, &pData, 0);
    std::memcpy(pData, quad, sizeof(quad));
    pBuffer->Unlock();
    SetEvent(hStart);
    WaitForSingleObject(hDone, INFINITE);
    ResetEvent(hDone);
    if (iFrame % 50 == 0) {
      EXPECT_EQ(pixel(static_cast<UINT>(fX), 4), gc_uiRED);
      EXPECT_EQ(pixel(static_cast<UINT>(fX) + 8, 4), gc_uiBLUE);
    }
    pBuffer->Release();
    pBuffer = nullptr;
  }
  bQuit = true;
  SetEvent(hStart);
  worker.join();
  CloseHandle(hStart);
  CloseHandle(hDone);
  EXPECT_EQ(iDrawn, 200);
}

}  // namespace

namespace {

// Without injected modes the adapter lists SDL's display modes. A driver with no screen of its own (the tests'
// offscreen driver lists one mode of 0 x 0) lists the desktop as its one 32-bit mode, the size GetSystemMetrics
// reports, and never a mode of zero size.
TEST_F(D3D9Device, ADriverWithoutModesListsTheDesktop) {
  SDL_DisplayMode sdlMode{};
  ASSERT_EQ(SDL_GetNumDisplayModes(0), 1) << "the offscreen driver";
  ASSERT_EQ(SDL_GetDisplayMode(0, 0, &sdlMode), 0);
  ASSERT_EQ(sdlMode.w, 0) << "the offscreen driver's one mode";
  ASSERT_EQ(mp_pD3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8), 1u);
  EXPECT_EQ(mp_pD3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5), 0u);
  D3DDISPLAYMODE mode{};
  ASSERT_EQ(mp_pD3D->EnumAdapterModes(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8, 0, &mode), D3D_OK);
  EXPECT_EQ(mode.Width, static_cast<UINT>(GetSystemMetrics(SM_CXSCREEN)));
  EXPECT_EQ(mode.Height, static_cast<UINT>(GetSystemMetrics(SM_CYSCREEN)));
  EXPECT_GT(mode.Width, 0u);
  EXPECT_GT(mode.Height, 0u);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
  EXPECT_GT(mode.RefreshRate, 0u);
}

}  // namespace

namespace {

// GRINDLOW_D3D9_MODES lists its sizes as 32-bit modes (60 Hz unless given) instead of the display's; a malformed
// list is ignored.
TEST_F(D3D9Device, TheModesSwitchReplacesTheDisplaysModes) {
  const std::pair<const char*, std::vector<std::array<UINT, 3>>> aCases[] = {
      {"1920x1080,1280x720@75", {{1920, 1080, 60}, {1280, 720, 75}}}, {"1920x1080,12x", {}}, {"1280x720@", {}}};
  for (const auto& [pSwitch, modes] : aCases) {
    setenv("GRINDLOW_D3D9_MODES", pSwitch, 1);
    D3D9TestReset();
    const UINT uiCount = mp_pD3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8);
    EXPECT_EQ(uiCount, modes.empty() ? 1u : modes.size()) << pSwitch << ": the desktop when malformed";
    for (UINT i = 0; i < modes.size() && i < uiCount; ++i) {
      D3DDISPLAYMODE mode{};
      ASSERT_EQ(mp_pD3D->EnumAdapterModes(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8, i, &mode), D3D_OK);
      EXPECT_EQ((std::array<UINT, 3>{mode.Width, mode.Height, mode.RefreshRate}), modes[i]) << pSwitch << " " << i;
    }
  }
  unsetenv("GRINDLOW_D3D9_MODES");
  D3D9TestReset();
}

}  // namespace
