#include "Corvane/UI/ClUI_Win32.h"

#include <cstring>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClRenderTargetGroup.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/Graphics/KvReleaseAndClear.h"
#include "Platform/D3D9/D3D9.h"

IDirect3DVertexDeclaration9* ClUI_Win32::mp_pVertexDeclaration = nullptr;
IDirect3DIndexBuffer9* ClUI_Win32::mp_apIndexBuffers[2] = {};
IDirect3DVertexBuffer9* ClUI_Win32::mp_apVertexBuffers[2] = {};

namespace {

struct SQuadVertex {
  f32 x, y, z;
  u32 color;
  f32 u, v;
};
static_assert(sizeof(SQuadVertex) == 24);

const D3DVERTEXELEMENT9 gc_aQuadElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};
constexpr u16 gc_auiQuadIndices[6] = {2, 0, 1, 2, 3, 1};
// The pair whose buffers the quad draw uses.
constexpr i32 gc_iQUAD_PAIR = 1;

// The size of what draws land in: the bound group's colour (or depth) texture, else the screen.
void currentTargetSize(f32* pWidth, f32* pHeight) {
  *pWidth = ClGraphics::mp_fScreenWidth;
  *pHeight = ClGraphics::mp_fScreenHeight;
  if (ClRenderTargetGroup* pBound = ClGraphics::mp_pBoundRenderTargetGroup) {
    f32 afDimensions[2];
    pBound->getDimensions(afDimensions);
    *pWidth = afDimensions[0];
    *pHeight = afDimensions[1];
  }
}

}  // namespace

void ClUI_Win32::createDeviceObjects() {
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  pDevice->CreateVertexDeclaration(gc_aQuadElements, &mp_pVertexDeclaration);
  KV_ASSERT_MSG(mp_pVertexDeclaration != nullptr, "mp_pVertexDeclaration");
  for (i32 i = 0; i < 2; ++i) {
    pDevice->CreateIndexBuffer(sizeof(gc_auiQuadIndices), D3DUSAGE_DYNAMIC, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                               &mp_apIndexBuffers[i], nullptr);
    KV_ASSERT_MSG(mp_apIndexBuffers[i] != nullptr, "mp_apIndexBuffers[i]");
    void* pLockedIdxes = nullptr;
    mp_apIndexBuffers[i]->Lock(0, 0, &pLockedIdxes, D3DLOCK_DISCARD);
    KV_ASSERT_MSG(pLockedIdxes != nullptr, "pLockedIdxes");
    std::memcpy(pLockedIdxes, gc_auiQuadIndices, sizeof(gc_auiQuadIndices));
    mp_apIndexBuffers[i]->Unlock();
  }
  for (i32 i = 0; i < 2; ++i) {
    pDevice->CreateVertexBuffer(4 * sizeof(SQuadVertex), D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &mp_apVertexBuffers[i],
                                nullptr);
    KV_ASSERT_MSG(mp_apVertexBuffers[i] != nullptr, "mp_apVertexBuffers[i]");
  }
}

void ClUI_Win32::releaseDeviceObjects() {
  KvReleaseAndClear(mp_pVertexDeclaration);
  KvReleaseAndClear(mp_apIndexBuffers[0]);
  KvReleaseAndClear(mp_apVertexBuffers[0]);
  KvReleaseAndClear(mp_apIndexBuffers[1]);
  KvReleaseAndClear(mp_apVertexBuffers[1]);
}

void ClUI_Win32::renderAspectFitQuad(const SRenderSignature* pSignature, u32 uiColor, f32 fX, f32 fY, f32 fWidth,
                                     f32 fHeight) {
  IDirect3DVertexBuffer9* pVertices = mp_apVertexBuffers[gc_iQUAD_PAIR];
  if (pVertices == nullptr) {
    return;
  }
  f32 fTargetWidth = 0.0f;
  f32 fTargetHeight = 0.0f;
  currentTargetSize(&fTargetWidth, &fTargetHeight);
  ClGraphics::pushOrtho2D(fTargetWidth, fTargetHeight);
  void* pLocked = nullptr;
  pVertices->Lock(0, 0, &pLocked, D3DLOCK_DISCARD);
  KV_ASSERT_MSG(pLocked != nullptr, "pLockedVerts");
  const f32 x0 = fX - (ClGraphics::mp_v2DViewOffset.x + 0.5f);
  const f32 y0 = fY - (ClGraphics::mp_v2DViewOffset.y + 0.5f);
  const SQuadVertex aQuad[4] = {{x0, y0, 0.0f, uiColor, 0.0f, 0.0f},
                                {x0 + fWidth, y0, 0.0f, uiColor, 1.0f, 0.0f},
                                {x0, y0 + fHeight, 0.0f, uiColor, 0.0f, 1.0f},
                                {x0 + fWidth, y0 + fHeight, 0.0f, uiColor, 1.0f, 1.0f}};
  std::memcpy(pLocked, aQuad, sizeof(aQuad));
  pVertices->Unlock();
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  pDevice->SetVertexDeclaration(mp_pVertexDeclaration);
  pDevice->SetStreamSource(0, pVertices, 0, sizeof(SQuadVertex));
  pDevice->SetIndices(mp_apIndexBuffers[gc_iQUAD_PAIR]);
  ClGraphics::setSignature(pSignature);
  pDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
  // The effect is ended too: the next draw, whatever its signature, sets its whole state again.
  ClGraphics::endSignature();
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
}

namespace {

// The rectangle (x, y, width, height) of a picture fitted to the bound target's aspect ratio and centred.
void fittedRectOnTarget(const ClTexture* pSource, f32* pRect) {
  f32 fWidth = 0.0f;
  f32 fHeight = 0.0f;
  currentTargetSize(&fWidth, &fHeight);
  ClUI::aspectFitRect(pSource->getWidth(), pSource->getHeight(), fWidth, fHeight, pRect);
}

}  // namespace

void ClUI::aspectFitRect(f32 fSourceWidth, f32 fSourceHeight, f32 fWidth, f32 fHeight, f32 pRect[4]) {
  const f32 fSourceAspect = fSourceWidth / fSourceHeight;
  const f32 fTargetAspect = fWidth / fHeight;
  pRect[0] = 0.0f;
  pRect[1] = 0.0f;
  pRect[2] = fWidth;
  pRect[3] = fHeight;
  if (fSourceAspect > fTargetAspect) {
    const f32 k = fTargetAspect / fSourceAspect;
    pRect[1] = fHeight * (1.0f - k) * 0.5f;
    pRect[3] = fHeight * k;
  } else if (fSourceAspect < fTargetAspect) {
    const f32 k = fSourceAspect / fTargetAspect;
    pRect[0] = fWidth * (1.0f - k) * 0.5f;
    pRect[2] = fWidth * k;
  }
}

void ClUI::blitRenderTargetAspectFit(const ClTexture* pSource, const SRenderSignature* pSignature, u32 uiColor) {
  f32 afRect[4];
  fittedRectOnTarget(pSource, afRect);
  ClUI_Win32::renderAspectFitQuad(pSignature, uiColor, afRect[0], afRect[1], afRect[2], afRect[3]);
}

bool ClUI::aspectFitCoversTarget(const ClTexture* pSource) {
  // The margins hold no pixel centre while they are narrower than half a pixel.
  f32 afRect[4];
  fittedRectOnTarget(pSource, afRect);
  return afRect[0] < 0.5f && afRect[1] < 0.5f;
}
