#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "Tests/Platform/D3D9/D3D9TestDevice.h"

namespace {

class D3D9RenderTarget : public D3D9Device {
 protected:
  // A render-target texture of w x h and its level 0 (both references the caller releases).
  void makeTarget(UINT uiW, UINT uiH, D3DFORMAT eFormat, IDirect3DTexture9** ppTexture, IDirect3DSurface9** ppSurface,
                  DWORD dwUsage = D3DUSAGE_RENDERTARGET) {
    ASSERT_EQ(mp_pDevice->CreateTexture(uiW, uiH, 1, dwUsage, eFormat, D3DPOOL_DEFAULT, ppTexture, nullptr), D3D_OK);
    ASSERT_EQ((*ppTexture)->GetSurfaceLevel(0, ppSurface), D3D_OK);
  }
  // Pixel projection for a target of w x h (the back buffer's is set by createDevice).
  void projectOnto(UINT uiW, UINT uiH) {
    const D3DMATRIX projection = pixelProjection(static_cast<float>(uiW), static_cast<float>(uiH));
    mp_pDevice->SetTransform(D3DTS_PROJECTION, &projection);
  }
  static DWORD texel(IDirect3DTexture9* pTexture, UINT x, UINT y) {
    UINT uiW = 0;
    UINT uiH = 0;
    const std::vector<DWORD> texels = D3D9TestReadTexture(pTexture, 0, &uiW, &uiH);
    return texels.empty() ? 0xDEADBEEFu : texels.at(static_cast<size_t>(y) * uiW + x);
  }
  IDirect3DSurface9* backBuffer() {
    IDirect3DSurface9* pSurface = nullptr;
    mp_pDevice->GetRenderTarget(0, &pSurface);
    pSurface->Release();  // the device keeps its own
    return pSurface;
  }
};

// Drawing into a texture level: the viewport follows the target, rows are stored top row first, and the back
// buffer is untouched until it is bound again.
TEST_F(D3D9RenderTarget, DrawsLandInTheBoundTextureTopRowFirst) {
  createDevice();
  IDirect3DSurface9* pBack = backBuffer();
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  IDirect3DTexture9* pTexture = nullptr;
  IDirect3DSurface9* pSurface = nullptr;
  makeTarget(32, 16, D3DFMT_A8R8G8B8, &pTexture, &pSurface);
  ASSERT_EQ(mp_pDevice->SetRenderTarget(0, pSurface), D3D_OK);
  D3DVIEWPORT9 viewport{};
  mp_pDevice->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 32u);
  EXPECT_EQ(viewport.Height, 16u);
  const D3DVIEWPORT9 tooBig{0, 0, 64, 48, 0.0f, 1.0f};
  EXPECT_EQ(mp_pDevice->SetViewport(&tooBig), D3DERR_INVALIDCALL) << "the viewport is checked against the target";
  // The back buffer's depth surface is larger than the target: it still serves it.
  projectOnto(32, 16);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiGREEN, 1.0f, 0);
  drawRect(4, 2, 8, 6, 0.5f, gc_uiRED);
  EXPECT_EQ(texel(pTexture, 4, 2), gc_uiRED);
  EXPECT_EQ(texel(pTexture, 7, 5), gc_uiRED);
  EXPECT_EQ(texel(pTexture, 8, 5), gc_uiGREEN);
  EXPECT_EQ(texel(pTexture, 4, 6), gc_uiGREEN);
  EXPECT_EQ(texel(pTexture, 31, 15), gc_uiGREEN);
  EXPECT_EQ(pixel(4, 2), gc_uiBLUE) << "the back buffer is not drawn into";

  ASSERT_EQ(mp_pDevice->SetRenderTarget(0, pBack), D3D_OK);
  mp_pDevice->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, gc_uiW);
  projectOnto(gc_uiW, gc_uiH);
  drawRect(40, 30, 44, 34, 0.5f, gc_uiWHITE);
  EXPECT_EQ(pixel(40, 30), gc_uiWHITE);
  EXPECT_EQ(texel(pTexture, 31, 15), gc_uiGREEN);
  pSurface->Release();
  pTexture->Release();
}

// Each colour format is drawable and reads back as its colour (within the format's precision); R32F keeps its
// value in red.
TEST_F(D3D9RenderTarget, EveryColourFormatClearsAndReadsBack) {
  createDevice();
  const struct {
    D3DFORMAT eFormat;
    DWORD expected;
    int iTolerance;
  } cases[] = {{D3DFMT_A8R8G8B8, 0x80336699u, 0},
               {D3DFMT_R5G6B5, 0xFF336699u, 8},
               {D3DFMT_A2R10G10B10, 0xFF336699u, 1},
               {D3DFMT_R32F, 0xFF330000u, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.eFormat);
    EXPECT_EQ(mp_pD3D->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                         c.eFormat),
              D3D_OK);
    IDirect3DTexture9* pTexture = nullptr;
    IDirect3DSurface9* pSurface = nullptr;
    makeTarget(8, 8, c.eFormat, &pTexture, &pSurface);
    ASSERT_EQ(mp_pDevice->SetRenderTarget(0, pSurface), D3D_OK);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, c.eFormat == D3DFMT_A8R8G8B8 ? 0x80336699u : 0xFF336699u, 1.0f, 0);
    const DWORD got = texel(pTexture, 3, 3);
    EXPECT_TRUE(nearColor(got, c.expected, c.iTolerance)) << std::hex << got;
    if (c.eFormat == D3DFMT_A8R8G8B8) {
      EXPECT_EQ(got >> 24, 0x80u) << "alpha is kept";
    }
    pSurface->Release();
    pTexture->Release();
  }
  mp_pDevice->SetRenderTarget(0, backBuffer());
}

// The depth-only target ("NULL" format) writes only depth: a later colour pass with the same depth texture is kept
// out where the depth-only pass drew nearer geometry.
TEST_F(D3D9RenderTarget, DepthOnlyTargetWritesTheDepthTextureOthersTestAgainst) {
  createDevice();
  IDirect3DSurface9* pBack = backBuffer();
  IDirect3DSurface9* pAutoDepth = nullptr;
  ASSERT_EQ(mp_pDevice->GetDepthStencilSurface(&pAutoDepth), D3D_OK);
  pAutoDepth->Release();
  IDirect3DSurface9* pNullTarget = nullptr;
  ASSERT_EQ(mp_pDevice->CreateRenderTarget(32, 32, static_cast<D3DFORMAT>(MAKEFOURCC('N', 'U', 'L', 'L')),
                                           D3DMULTISAMPLE_NONE, 0, FALSE, &pNullTarget, nullptr),
            D3D_OK);
  D3DSURFACE_DESC desc{};
  pNullTarget->GetDesc(&desc);
  EXPECT_EQ(desc.Format, static_cast<D3DFORMAT>(0x4C4C554Eu));
  IDirect3DTexture9* pDepthTexture = nullptr;
  IDirect3DSurface9* pDepth = nullptr;
  makeTarget(32, 32, D3DFMT_D24S8, &pDepthTexture, &pDepth, D3DUSAGE_DEPTHSTENCIL);
  EXPECT_EQ(mp_pDevice->SetRenderTarget(0, pDepth), D3DERR_INVALIDCALL) << "a depth surface is no colour target";
  EXPECT_EQ(mp_pDevice->SetDepthStencilSurface(pNullTarget), D3DERR_INVALIDCALL) << "nor a colour target depth";

  ASSERT_EQ(mp_pDevice->SetRenderTarget(0, pNullTarget), D3D_OK);
  ASSERT_EQ(mp_pDevice->SetDepthStencilSurface(pDepth), D3D_OK);
  projectOnto(32, 32);
  EXPECT_EQ(mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiWHITE, 1.0f, 0), D3D_OK);
  drawRect(0, 0, 16, 32, 0.25f, gc_uiWHITE);

  IDirect3DTexture9* pColour = nullptr;
  IDirect3DSurface9* pColourSurface = nullptr;
  makeTarget(32, 32, D3DFMT_A8R8G8B8, &pColour, &pColourSurface);
  ASSERT_EQ(mp_pDevice->SetRenderTarget(0, pColourSurface), D3D_OK);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiBLUE, 1.0f, 0);
  drawRect(0, 0, 32, 32, 0.5f, gc_uiRED);
  EXPECT_EQ(texel(pColour, 8, 16), gc_uiBLUE) << "hidden by the depth the depth-only pass wrote";
  EXPECT_EQ(texel(pColour, 24, 16), gc_uiRED);

  ASSERT_EQ(mp_pDevice->SetRenderTarget(0, pBack), D3D_OK);
  ASSERT_EQ(mp_pDevice->SetDepthStencilSurface(pAutoDepth), D3D_OK);
  for (IUnknown* p : {static_cast<IUnknown*>(pNullTarget), static_cast<IUnknown*>(pDepth),
                      static_cast<IUnknown*>(pDepthTexture), static_cast<IUnknown*>(pColourSurface),
                      static_cast<IUnknown*>(pColour)}) {
    p->Release();
  }
}

// Up to four targets at once: a clear reaches every bound target; slots answer what is bound; each distinct
// combination is one framebuffer, made once and dropped with its textures.
TEST_F(D3D9RenderTarget, MultipleTargetsShareClearsAndFramebuffersAreCachedPerBinding) {
  createDevice();
  IDirect3DSurface9* pBack = backBuffer();
  IDirect3DTexture9* apTextures[4] = {};
  IDirect3DSurface9* apSurfaces[4] = {};
  for (int i = 0; i < 4; ++i) makeTarget(16, 16, D3DFMT_A8R8G8B8, &apTextures[i], &apSurfaces[i]);
  EXPECT_EQ(mp_pDevice->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mp_pDevice->SetRenderTarget(4, apSurfaces[0]), D3DERR_INVALIDCALL);
  IDirect3DSurface9* pGot = nullptr;
  EXPECT_EQ(mp_pDevice->GetRenderTarget(1, &pGot), D3DERR_NOTFOUND);

  for (int i = 0; i < 4; ++i) ASSERT_EQ(mp_pDevice->SetRenderTarget(static_cast<DWORD>(i), apSurfaces[i]), D3D_OK);
  ASSERT_EQ(mp_pDevice->GetRenderTarget(2, &pGot), D3D_OK);
  EXPECT_EQ(pGot, apSurfaces[2]);
  pGot->Release();
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiGREEN, 1.0f, 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(texel(apTextures[i], 5, 5), gc_uiGREEN) << "target " << i;
  EXPECT_EQ(D3D9TestFramebufferCount(mp_pDevice), 1u);

  // Two targets: slots 2 and 3 emptied; a new combination, the old one kept.
  mp_pDevice->SetRenderTarget(2, nullptr);
  mp_pDevice->SetRenderTarget(3, nullptr);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0);
  EXPECT_EQ(texel(apTextures[1], 5, 5), gc_uiRED);
  EXPECT_EQ(texel(apTextures[2], 5, 5), gc_uiGREEN);
  EXPECT_EQ(D3D9TestFramebufferCount(mp_pDevice), 2u);
  // Back to the four: found again, not made again.
  for (int i = 2; i < 4; ++i) mp_pDevice->SetRenderTarget(static_cast<DWORD>(i), apSurfaces[i]);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiBLUE, 1.0f, 0);
  EXPECT_EQ(D3D9TestFramebufferCount(mp_pDevice), 2u);
  EXPECT_EQ(texel(apTextures[3], 5, 5), gc_uiBLUE);

  // The device holds what is bound: the caller's references can go; unbinding frees the textures and their
  // framebuffers.
  for (int i = 0; i < 4; ++i) {
    apSurfaces[i]->Release();
    apTextures[i]->Release();
  }
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 8u);
  mp_pDevice->SetRenderTarget(0, pBack);
  for (DWORD i = 1; i < 4; ++i) mp_pDevice->SetRenderTarget(i, nullptr);
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 0u);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiBLUE, 1.0f, 0);
  EXPECT_EQ(D3D9TestFramebufferCount(mp_pDevice), 0u);
}

// Reset binds the back buffer and the automatic depth surface again and lets go of the targets it held; a target
// the caller still holds keeps the Reset from succeeding, as on Direct3D 9.
TEST_F(D3D9RenderTarget, ResetLetsGoOfBoundTargetsButNotOfHeldOnes) {
  createDevice();
  IDirect3DTexture9* pTexture = nullptr;
  IDirect3DSurface9* pSurface = nullptr;
  makeTarget(16, 16, D3DFMT_A8R8G8B8, &pTexture, &pSurface);
  ASSERT_EQ(mp_pDevice->SetRenderTarget(0, pSurface), D3D_OK);
  ASSERT_EQ(mp_pDevice->SetDepthStencilSurface(nullptr), D3D_OK);
  IDirect3DSurface9* pGot = nullptr;
  EXPECT_EQ(mp_pDevice->GetDepthStencilSurface(&pGot), D3DERR_NOTFOUND);
  D3D9TestLoseDevice(mp_pDevice);
  EXPECT_EQ(mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(mp_pDevice->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(mp_pDevice->Reset(&m_params), D3DERR_INVALIDCALL) << "the caller still holds the target";
  pSurface->Release();
  pTexture->Release();
  ASSERT_EQ(mp_pDevice->Reset(&m_params), D3D_OK);
  ASSERT_EQ(mp_pDevice->GetRenderTarget(0, &pGot), D3D_OK);
  D3DSURFACE_DESC desc{};
  pGot->GetDesc(&desc);
  EXPECT_EQ(desc.Width, gc_uiW);
  pGot->Release();
  ASSERT_EQ(mp_pDevice->GetDepthStencilSurface(&pGot), D3D_OK);
  pGot->Release();
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 0u);
  projectOnto(gc_uiW, gc_uiH);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  drawRect(0, 0, 8, 8, 0.5f, gc_uiRED);
  EXPECT_EQ(pixel(2, 2), gc_uiRED);
}

// Refusals: surfaces that cannot be targets, the injected creation failure and the formats a driver may lack.
TEST_F(D3D9RenderTarget, RefusedTargetsAndInjectedFailures) {
  SD3D9Faults faults;
  faults.bRenderTargetFails = true;
  faults.bNoFloatTargets = true;
  D3D9TestSetFaults(faults);
  createDevice();
  IDirect3DTexture9* pTexture = nullptr;
  EXPECT_EQ(mp_pDevice->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &pTexture,
                                      nullptr),
            D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(pTexture, nullptr);
  IDirect3DSurface9* pSurface = nullptr;
  EXPECT_EQ(mp_pDevice->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &pSurface, nullptr),
            D3DERR_OUTOFVIDEOMEMORY);
  for (D3DFORMAT eFormat : {D3DFMT_R32F, D3DFMT_A2R10G10B10}) {
    EXPECT_EQ(mp_pD3D->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                         eFormat),
              D3DERR_NOTAVAILABLE);
  }
  EXPECT_EQ(mp_pD3D->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                       D3DFMT_A8R8G8B8),
            D3D_OK);
  // A plain texture's level is no render target.
  ASSERT_EQ(mp_pDevice->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pTexture, nullptr), D3D_OK);
  ASSERT_EQ(pTexture->GetSurfaceLevel(0, &pSurface), D3D_OK);
  EXPECT_EQ(mp_pDevice->SetRenderTarget(0, pSurface), D3DERR_INVALIDCALL);
  EXPECT_EQ(mp_pDevice->SetDepthStencilSurface(pSurface), D3DERR_INVALIDCALL);
  pSurface->Release();
  pTexture->Release();
}

// The recording back end names the targets each draw writes when they change.
TEST_F(D3D9RenderTarget, RecordingBackEndLogsTargetChanges) {
  D3D9TestUseRecordingBackend(true);
  createDevice();
  IDirect3DSurface9* pBack = backBuffer();
  IDirect3DTexture9* pTexture = nullptr;
  IDirect3DSurface9* pSurface = nullptr;
  makeTarget(16, 16, D3DFMT_R5G6B5, &pTexture, &pSurface);
  D3D9TestClearLog(mp_pDevice);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0);
  mp_pDevice->SetRenderTarget(0, pSurface);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0);
  mp_pDevice->SetRenderTarget(0, pBack);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0);
  const std::vector<std::string> log = D3D9TestLog(mp_pDevice);
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], "clear 1 FFFF0000 1.000");
  EXPECT_EQ(log[1].rfind("targets ", 0), 0u);
  EXPECT_NE(log[1].find(" - - - depth back"), std::string::npos) << log[1];
  EXPECT_EQ(log[3], "targets back - - - depth back");
  pSurface->Release();
  pTexture->Release();
}

// A dynamic buffer is a CPU copy: a thread that does not hold the device's context locks and fills it without
// waiting for the context, and the thread that holds the context uploads it at Unlock and draws it.
TEST_F(D3D9RenderTarget, DynamicBuffersAreFilledWithoutTheContextAndUploadedAtUnlock) {
  createDevice();
  IDirect3DVertexBuffer9* pBuffer = nullptr;
  ASSERT_EQ(mp_pDevice->CreateVertexBuffer(sizeof(SVertex) * 6, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                           D3DPOOL_DEFAULT, &pBuffer, nullptr),
            D3D_OK);
  std::promise<void> holding;
  std::promise<void> filled;
  std::future<void> fillDone = filled.get_future();
  DWORD drawn = 0;
  Sleep(0);  // this thread gives the context back: the worker takes it
  std::thread worker([&] {
    // Takes the context and keeps it: no blocking platform call gives it back until the end.
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
    holding.set_value();
    fillDone.wait();
    pBuffer->Unlock();
    mp_pDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    mp_pDevice->SetStreamSource(0, pBuffer, 0, sizeof(SVertex));
    mp_pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2);
    mp_pDevice->SetStreamSource(0, nullptr, 0, 0);
    UINT uiW = 0;
    UINT uiH = 0;
    drawn = D3D9TestReadBackBuffer(mp_pDevice, &uiW, &uiH).at(4 * uiW + 4) | 0xFF000000u;
    Sleep(0);  // gives the context back
    SDL_TLSCleanup();
  });
  holding.get_future().wait();
  void* pData = nullptr;
  ASSERT_EQ(pBuffer->Lock(0, 0, &pData, D3DLOCK_DISCARD), D3D_OK);
  const SVertex quad[6] = {{0, 0, 0.5f, gc_uiRED},  {8, 0, 0.5f, gc_uiRED}, {0, 8, 0.5f, gc_uiRED},
                           {8, 0, 0.5f, gc_uiRED}, {8, 8, 0.5f, gc_uiRED}, {0, 8, 0.5f, gc_uiRED}};
  std::memcpy(pData, quad, sizeof(quad));
  filled.set_value();
  worker.join();
  EXPECT_EQ(drawn, gc_uiRED);
  pBuffer->Release();
}

}  // namespace
