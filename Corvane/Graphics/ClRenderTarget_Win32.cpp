#include "Corvane/Graphics/ClRenderTarget.h"

#include <cstdio>
#include <new>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Graphics/KvReleaseAndClear.h"
#include "Platform/D3D9/D3DX9.h"
#include "Platform/D3D9/DxErr.h"

namespace {

struct SFormatEntry {
  D3DFORMAT eFormat;
  const char* pName;
};

// The colour format of each selector (the depth-only selector has the FOURCC "NULL").
const SFormatEntry gc_aFormats[] = {
    {D3DFMT_A8R8G8B8, "A8R8G8B8"},
    {D3DFMT_R5G6B5, "R5G6B5"},
    {static_cast<D3DFORMAT>(MAKEFOURCC('N', 'U', 'L', 'L')), "NULL"},
    {D3DFMT_R32F, "R32F"},
    {D3DFMT_A2R10G10B10, "A2R10G10B10"},
};
static_assert(sizeof(gc_aFormats) / sizeof(gc_aFormats[0]) == NUM_E_RENDER_TARGET_FORMAT);

const char* depthFormatName(D3DFORMAT eFormat) {
  switch (eFormat) {
    case D3DFMT_D16:
      return "D16";
    case D3DFMT_D24X8:
      return "D24X8";
    case D3DFMT_D24S8:
      return "D24S8";
    case D3DFMT_D32:
      return "D32";
    default:
      return "unknown depth format";
  }
}

// A failed creation stops the program: nothing may go on with a target it would draw into through a null surface.
void checkCreated(HRESULT hr, const void* pObject, const char* pWhat, f32 fWidth, f32 fHeight, const char* pFormat) {
  if (FAILED(hr) || pObject == nullptr) {
    KV_FATALF("ClRenderTarget::create() -> Could not create the %s of %.0fx%.0f in format %s (%s)!", pWhat,
              static_cast<f64>(fWidth), static_cast<f64>(fHeight), pFormat, DXGetErrorStringA(hr));
  }
}

// A ClTexture wrapping a render-target texture (owned by it from now on), named as the target names its parts.
ClTexture* wrapTexture(IDirect3DTexture9* pTexture, const char* pKind, f32 fWidth, f32 fHeight, const char* pAssertion) {
  void* pMemory = KvAlignedAlloc(sizeof(ClTexture), 16);
  KV_ASSERT_MSG(pMemory != nullptr, pAssertion);
  ClTexture* pWrapper = new (pMemory) ClTexture();
  std::snprintf(pWrapper->mp_szName, sizeof(pWrapper->mp_szName), "RTT %s %.0fx%.0f", pKind, static_cast<f64>(fWidth),
                static_cast<f64>(fHeight));
  pWrapper->setD3DTexture(pTexture);
  return pWrapper;
}

// Forgets every signature of the texture, then destroys it (which releases its Direct3D texture).
void destroyTexture(ClTexture*& pTexture) {
  if (pTexture == nullptr) return;
  ClSignatureMgr::releaseTexture(pTexture);
  pTexture->~ClTexture();
  KvAlignedFree(pTexture);
  pTexture = nullptr;
}

}  // namespace

ClRenderTarget::ClRenderTarget(f32 fWidth, f32 fHeight, i32 iFormat, u32 bHasDepth)
    : mp_pD3DColorTex(nullptr), mp_pD3DDepthTex(nullptr), mp_pD3DColorSurface(nullptr),
      mp_pD3DDepthSurface(nullptr), mp_fWidth(fWidth), mp_fHeight(fHeight), mp_iFormat(iFormat),
      mp_bHasDepth(bHasDepth), m_pColorTex(nullptr), m_pDepthTex(nullptr) {}

ClRenderTarget::~ClRenderTarget() { release(); }

void ClRenderTarget::create() {
  createColor();
  if (mp_bHasDepth) {
    createDepth();
  }
}

void ClRenderTarget::createColor() {
  KV_ASSERT_MSG(m_pColorTex == nullptr, "!m_pColorTex");
  KV_ASSERT_MSG(mp_pD3DColorTex == nullptr, "!mp_pD3DColorTex");
  if (mp_iFormat < 0 || mp_iFormat >= NUM_E_RENDER_TARGET_FORMAT) {
    KV_FATAL("UNKNOWN_RENDER_TARGET_FORMAT");
  }
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  const UINT uiWidth = static_cast<UINT>(mp_fWidth);
  const UINT uiHeight = static_cast<UINT>(mp_fHeight);
  const SFormatEntry& format = gc_aFormats[mp_iFormat];
  if (mp_iFormat == E_RENDER_TARGET_FORMAT_DEPTH_ONLY) {
    const HRESULT hr = pDevice->CreateRenderTarget(uiWidth, uiHeight, format.eFormat, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                   &mp_pD3DColorSurface, nullptr);
    checkCreated(hr, mp_pD3DColorSurface, "depth-only surface", mp_fWidth, mp_fHeight, format.pName);
    return;
  }
  if (FAILED(ClGraphics::mp_pD3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                                    D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format.eFormat))) {
    KV_FATAL("NO_FALLBACK_FOR_UNSUPPORTED_RENDER_TARGET_FORMAT");
  }
  const HRESULT hr = D3DXCreateTexture(pDevice, uiWidth, uiHeight, 1, D3DUSAGE_RENDERTARGET, format.eFormat,
                                       D3DPOOL_DEFAULT, &mp_pD3DColorTex);
  checkCreated(hr, mp_pD3DColorTex, "colour texture", mp_fWidth, mp_fHeight, format.pName);
  const HRESULT hrSurface = mp_pD3DColorTex->GetSurfaceLevel(0, &mp_pD3DColorSurface);
  checkCreated(hrSurface, mp_pD3DColorSurface, "colour surface", mp_fWidth, mp_fHeight, format.pName);
  m_pColorTex = wrapTexture(mp_pD3DColorTex, "COLOR", mp_fWidth, mp_fHeight, "m_pColorTex");
}

void ClRenderTarget::createDepth() {
  KV_ASSERT_MSG(mp_pD3DDepthTex == nullptr, "!mp_pD3DDepthTex");
  KV_ASSERT_MSG(mp_pD3DDepthSurface == nullptr, "!mp_pD3DDepthSurface");
  // The depth-only target takes the device's second choice, a format without stencil.
  const D3DFORMAT eFormat = static_cast<D3DFORMAT>(mp_iFormat == E_RENDER_TARGET_FORMAT_DEPTH_ONLY
                                                       ? ClGraphics::mp_eDepthTextureFormat
                                                       : ClGraphics::mp_eDepthStencilFormat);
  const HRESULT hr = D3DXCreateTexture(ClGraphics::mp_pDevice, static_cast<UINT>(mp_fWidth),
                                       static_cast<UINT>(mp_fHeight), 1, D3DUSAGE_DEPTHSTENCIL, eFormat,
                                       D3DPOOL_DEFAULT, &mp_pD3DDepthTex);
  checkCreated(hr, mp_pD3DDepthTex, "depth texture", mp_fWidth, mp_fHeight, depthFormatName(eFormat));
  const HRESULT hrSurface = mp_pD3DDepthTex->GetSurfaceLevel(0, &mp_pD3DDepthSurface);
  checkCreated(hrSurface, mp_pD3DDepthSurface, "depth surface", mp_fWidth, mp_fHeight, depthFormatName(eFormat));
  m_pDepthTex = wrapTexture(mp_pD3DDepthTex, "DEPTH", mp_fWidth, mp_fHeight, "m_pDepthTex");
}

void ClRenderTarget::release() {
  // A texture the wrapper does not hold yet (its creation stopped half-way) is released here instead.
  if (m_pColorTex == nullptr) KvReleaseAndClear(mp_pD3DColorTex);
  if (m_pDepthTex == nullptr) KvReleaseAndClear(mp_pD3DDepthTex);
  destroyTexture(m_pColorTex);
  destroyTexture(m_pDepthTex);
  mp_pD3DColorTex = nullptr;
  mp_pD3DDepthTex = nullptr;
  KvReleaseAndClear(mp_pD3DColorSurface);
  KvReleaseAndClear(mp_pD3DDepthSurface);
}
