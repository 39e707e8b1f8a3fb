#include "Code/Graphics/GAMEVideoFrame_Win32.h"

#include <algorithm>
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Platform/D3D9/D3D9.h"

namespace {

constexpr u32 gc_uiVIDEO_BAR_COLOR = 0xFF000000u;
constexpr u32 gc_uiVIDEO_TINT = 0xFFFFFFFFu;

// The engine's vertex: position, normal, colour, texture coordinates.
struct SVideoVertex {
  f32 x, y, z;
  f32 nx, ny, nz;
  u32 color;
  f32 u, v;
};
constexpr u32 gc_uiVIDEO_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Made once the first Present has succeeded; kept until shutdown.
IDirect3DQuery9* g_pVideoEventQuery = nullptr;

// Waits until the GPU has passed everything issued so far.
void waitForGPU() {
  if (g_pVideoEventQuery == nullptr) return;
  g_pVideoEventQuery->Issue(D3DISSUE_END);
  while (g_pVideoEventQuery->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
  }
}

// The texture over the whole screen, as large as fits with its aspect kept, centred (pixel centres half a pixel
// in, as the device rasterises).
void drawFitted(ClTexture* pTexture) {
  const f32 fScreenW = ClGraphics::mp_fScreenWidth;
  const f32 fScreenH = ClGraphics::mp_fScreenHeight;
  const f32 fScale = std::min(fScreenW / pTexture->getWidth(), fScreenH / pTexture->getHeight());
  const f32 fW = pTexture->getWidth() * fScale;
  const f32 fH = pTexture->getHeight() * fScale;
  const f32 x0 = (fScreenW - fW) * 0.5f - 0.5f;
  const f32 y0 = (fScreenH - fH) * 0.5f - 0.5f;
  const f32 x1 = x0 + fW;
  const f32 y1 = y0 + fH;
  const u32 c = gc_uiVIDEO_TINT;
  const SVideoVertex quad[6] = {{x0, y0, 0, 0, 0, 1, c, 0, 0}, {x1, y0, 0, 0, 0, 1, c, 1, 0},
                                {x0, y1, 0, 0, 0, 1, c, 0, 1}, {x1, y0, 0, 0, 0, 1, c, 1, 0},
                                {x1, y1, 0, 0, 0, 1, c, 1, 1}, {x0, y1, 0, 0, 0, 1, c, 0, 1}};
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  IDirect3DVertexBuffer9* pBuffer = nullptr;
  if (FAILED(pDevice->CreateVertexBuffer(sizeof(quad), D3DUSAGE_WRITEONLY, gc_uiVIDEO_FVF, D3DPOOL_MANAGED, &pBuffer,
                                         nullptr))) {
    return;
  }
  void* pData = nullptr;
  if (SUCCEEDED(pBuffer->Lock(0, 0, &pData, 0))) {
    std::memcpy(pData, quad, sizeof(quad));
    pBuffer->Unlock();
    ClGraphics::pushOrtho2D(fScreenW, fScreenH);
    ClGraphics::setSignature(ClSignatureMgr::getSignatureByName(gc_pGAME_VIDEO_SHADER, pTexture));
    pDevice->SetFVF(gc_uiVIDEO_FVF);
    pDevice->SetStreamSource(0, pBuffer, 0, sizeof(SVideoVertex));
    pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2);
    pDevice->SetStreamSource(0, nullptr, 0, 0);
    ClGraphics::endSignature();
    ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
    ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
  }
  pBuffer->Release();
}

}  // namespace

bool GAMERenderVideoFrame() {
  if (!ClFullScreenFMVPlayer_Win32::isVideoShowing()) return false;
  ClFullScreenFMVPlayer_Win32::waitForVideoFrame();
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  if (FAILED(pDevice->BeginScene())) return true;
  if (SUCCEEDED(ClGraphics::mp_hrLastPresent.load()) && g_pVideoEventQuery == nullptr) {
    pDevice->CreateQuery(D3DQUERYTYPE_EVENT, &g_pVideoEventQuery);
  }
  waitForGPU();
  pDevice->SetRenderTarget(0, ClGraphics::mp_pBackBufferSurface);
  // The bars beside a frame of another aspect are black, not what the back buffer held before.
  pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiVIDEO_BAR_COLOR, 1.0f, 0);
  if (ClFullScreenFMVPlayer_Win32::getState() == E_FMV_STATE_RUNNING) {
    ClTexture* pTexture = ClFullScreenFMVPlayer_Win32::lockVideoTexture();
    const bool bDrawable = pTexture != nullptr && pTexture->getD3DTexture() != nullptr &&
                           pTexture->getWidth() > 0.0f && pTexture->getHeight() > 0.0f &&
                           ClSignatureMgr::isInitialized() &&
                           ClShaderMgr::findShader(KvStrHash(gc_pGAME_VIDEO_SHADER)) != nullptr;
    if (bDrawable) drawFitted(pTexture);
    ClFullScreenFMVPlayer_Win32::unlockVideoTexture();
  }
  waitForGPU();
  ClFullScreenFMVPlayer_Win32::releaseVideoFrame();
  pDevice->EndScene();
  ClGraphics::presentFrame();
  return true;
}

void GAMEReleaseVideoFrameObjects() {
  if (g_pVideoEventQuery != nullptr) {
    g_pVideoEventQuery->Release();
    g_pVideoEventQuery = nullptr;
  }
}
