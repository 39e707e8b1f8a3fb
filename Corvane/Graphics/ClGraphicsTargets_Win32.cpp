// Binding render-target groups to the device.
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClRenderTargetGroup.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/D3D9/D3D9.h"

void ClGraphics::setRenderTargetGroup(ClRenderTargetGroup* pGroup) {
  mp_pBoundRenderTargetGroup = pGroup;
  IDirect3DDevice9* pDevice = mp_pDevice;
  if (pGroup == nullptr) {
    pDevice->SetRenderTarget(0, mp_pBackBufferSurface);
    pDevice->SetDepthStencilSurface(mp_pDepthStencilSurface);
    for (DWORD dwSlot = 1; dwSlot < static_cast<DWORD>(gc_iMAX_GROUP_RENDER_TARGETS); ++dwSlot) {
      pDevice->SetRenderTarget(dwSlot, nullptr);
    }
    return;
  }
  pDevice->SetRenderTarget(0, pGroup->getRenderTarget(0)->mp_pD3DColorSurface);
  pDevice->SetDepthStencilSurface(ClRenderTargetGroup::getDepthTarget(pGroup)->mp_pD3DDepthSurface);
  for (i32 iSlot = 1; iSlot < gc_iMAX_GROUP_RENDER_TARGETS; ++iSlot) {
    IDirect3DSurface9* pSurface = nullptr;
    if (pGroup->mpr_pRenderTargets.getCount() > iSlot) {
      pGroup->getRenderTarget(iSlot)->mp_pD3DColorTex->GetSurfaceLevel(0, &pSurface);
    }
    pDevice->SetRenderTarget(static_cast<DWORD>(iSlot), pSurface);
    // The device holds its own reference to what it binds.
    if (pSurface != nullptr) {
      pSurface->Release();
    }
  }
}
