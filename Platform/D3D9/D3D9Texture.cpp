// Textures, cube textures and the surfaces of texture levels; the device's texture stages and sampler states.
#include <algorithm>
#include <cstring>

#include "Platform/D3D9/D3D9Internal.h"

namespace {

constexpr SD3D9TextureFormat gc_aTextureFormats[] = {
#define D3D9_FORMAT_ENTRY(format, bytes, depth, glInternal, glFormat, glType) {format, bytes, depth},
    D3D9_TEXTURE_FORMATS(D3D9_FORMAT_ENTRY)
#undef D3D9_FORMAT_ENTRY
};

// Checks shared by both kinds of texture; the level count is made concrete (0 = the full chain).
HRESULT checkTextureRequest(UINT uiWidth, UINT uiHeight, UINT* puiLevels, DWORD dwUsage, D3DFORMAT eFormat,
                            D3DPOOL ePool) {
  const SD3D9TextureFormat* pFormat = D3D9FindTextureFormat(eFormat);
  if (pFormat == nullptr || uiWidth == 0 || uiHeight == 0 || uiWidth > 8192 || uiHeight > 8192) {
    return D3DERR_INVALIDCALL;
  }
  if ((dwUsage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC)) != 0) return D3DERR_INVALIDCALL;
  // As Direct3D 9 requires: render targets, depth surfaces and dynamic textures live in the default pool, depth
  // formats only with the depth usage.
  if ((dwUsage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC)) != 0 && ePool != D3DPOOL_DEFAULT) {
    return D3DERR_INVALIDCALL;
  }
  if (pFormat->bDepth != ((dwUsage & D3DUSAGE_DEPTHSTENCIL) != 0)) return D3DERR_INVALIDCALL;
  const UINT uiFull = D3D9FullMipChain(uiWidth, uiHeight);
  if (*puiLevels == 0) *puiLevels = uiFull;
  if (*puiLevels > uiFull) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

class CD3D9Texture;

// A level of a 2D texture seen as a surface; it keeps its texture alive.
class CD3D9TextureSurface final : public IDirect3DSurface9, public CD3D9ObjectBase {
 public:
  CD3D9TextureSurface(CD3D9Device* pDevice, D3DPOOL ePool, IDirect3DTexture9* pTexture, UINT uiLevel)
      : CD3D9ObjectBase(pDevice, ePool, false), mp_pTexture(pTexture), m_uiLevel(uiLevel) {
    mp_pTexture->AddRef();
  }
  ~CD3D9TextureSurface() override { mp_pTexture->Release(); }
  D3D9_OBJECT_COMMON(IDirect3DSurface9)
  bool holdsBackendObject() const override { return false; }
  CD3D9TextureBase* texture() const { return D3D9TextureOf(mp_pTexture); }
  UINT level() const { return m_uiLevel; }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override { return mp_pTexture->GetLevelDesc(m_uiLevel, pDesc); }
  HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD dwFlags) override {
    return mp_pTexture->LockRect(m_uiLevel, pLockedRect, pRect, dwFlags);
  }
  HRESULT UnlockRect() override { return mp_pTexture->UnlockRect(m_uiLevel); }

 private:
  IDirect3DTexture9* mp_pTexture;
  UINT m_uiLevel;
};

class CD3D9Texture final : public IDirect3DTexture9, public CD3D9TextureBase {
 public:
  CD3D9Texture(CD3D9Device* pDevice, D3DPOOL ePool, const SD3D9TextureDesc& desc, DWORD dwUsage)
      : CD3D9TextureBase(pDevice, ePool, desc, dwUsage), m_locks(desc.uiLevels) {}
  D3D9_OBJECT_COMMON(IDirect3DTexture9)
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return m_desc.uiLevels; }
  HRESULT GetLevelDesc(UINT uiLevel, D3DSURFACE_DESC* pDesc) override { return levelDesc(uiLevel, pDesc); }
  HRESULT GetSurfaceLevel(UINT uiLevel, IDirect3DSurface9** ppSurface) override {
    if (ppSurface == nullptr) return D3DERR_INVALIDCALL;
    *ppSurface = nullptr;
    if (uiLevel >= m_desc.uiLevels || mp_pDevice == nullptr) return D3DERR_INVALIDCALL;
    *ppSurface = new CD3D9TextureSurface(mp_pDevice, pool(), this, uiLevel);
    return D3D_OK;
  }
  HRESULT LockRect(UINT uiLevel, D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD dwFlags) override {
    if (pLocked == nullptr || pRect != nullptr || uiLevel >= m_desc.uiLevels || !lockable()) return D3DERR_INVALIDCALL;
    SLock& lock = m_locks[uiLevel];
    if (lock.bLocked) return D3DERR_INVALIDCALL;
    lock.bits.assign(levelBytes(uiLevel), 0);
    lock.bLocked = true;
    lock.bReadOnly = (dwFlags & D3DLOCK_READONLY) != 0;
    if ((dwFlags & D3DLOCK_DISCARD) == 0 && mp_pDevice != nullptr) {
      mp_pDevice->acquire();
      applyPendingCopy();
      mp_pDevice->backend()->readTexture(m_uiHandle, 0, uiLevel, lock.bits.data());
    }
    pLocked->Pitch = static_cast<INT>(levelWidth(uiLevel) * D3D9FindTextureFormat(m_desc.eFormat)->uiBytesPerTexel);
    pLocked->pBits = lock.bits.data();
    return D3D_OK;
  }
  HRESULT UnlockRect(UINT uiLevel) override {
    if (uiLevel >= m_desc.uiLevels || !m_locks[uiLevel].bLocked) return D3DERR_INVALIDCALL;
    SLock& lock = m_locks[uiLevel];
    if (!lock.bReadOnly) {
      upload(0, uiLevel, lock.bits.data());
    }
    lock.bLocked = false;
    std::vector<BYTE>().swap(lock.bits);
    return D3D_OK;
  }

 private:
  struct SLock {
    std::vector<BYTE> bits;
    bool bLocked = false;
    bool bReadOnly = false;
  };
  bool lockable() const {
    if (D3D9FindTextureFormat(m_desc.eFormat)->bDepth || (m_dwUsage & D3DUSAGE_RENDERTARGET) != 0) return false;
    return pool() != D3DPOOL_DEFAULT || (m_dwUsage & D3DUSAGE_DYNAMIC) != 0;
  }
  std::vector<SLock> m_locks;
};

class CD3D9CubeTexture final : public IDirect3DCubeTexture9, public CD3D9TextureBase {
 public:
  CD3D9CubeTexture(CD3D9Device* pDevice, D3DPOOL ePool, const SD3D9TextureDesc& desc, DWORD dwUsage)
      : CD3D9TextureBase(pDevice, ePool, desc, dwUsage) {}
  D3D9_OBJECT_COMMON(IDirect3DCubeTexture9)
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
  DWORD GetLevelCount() override { return m_desc.uiLevels; }
  HRESULT GetLevelDesc(UINT uiLevel, D3DSURFACE_DESC* pDesc) override { return levelDesc(uiLevel, pDesc); }
};

}  // namespace

const SD3D9TextureFormat* D3D9FindTextureFormat(D3DFORMAT eFormat) {
  for (const SD3D9TextureFormat& format : gc_aTextureFormats) {
    if (format.eFormat == eFormat) return &format;
  }
  return nullptr;
}

UINT D3D9FullMipChain(UINT uiWidth, UINT uiHeight) {
  UINT uiLevels = 1;
  for (UINT uiSize = std::max(uiWidth, uiHeight); uiSize > 1; uiSize >>= 1) {
    ++uiLevels;
  }
  return uiLevels;
}

CD3D9TextureBase* D3D9TextureOf(IDirect3DBaseTexture9* pTexture) {
  return pTexture != nullptr ? dynamic_cast<CD3D9TextureBase*>(pTexture) : nullptr;
}

CD3D9TextureBase::CD3D9TextureBase(CD3D9Device* pDevice, D3DPOOL ePool, const SD3D9TextureDesc& desc, DWORD dwUsage)
    : CD3D9ObjectBase(pDevice, ePool, false), m_desc(desc), m_dwUsage(dwUsage) {
  m_uiHandle = pDevice->backend()->createTexture(desc);
}

CD3D9TextureBase::~CD3D9TextureBase() { dropPendingCopy(); }

void CD3D9TextureBase::freeBackend() {
  dropPendingCopy();
  mp_pDevice->backend()->deleteTexture(m_uiHandle);
}

void CD3D9TextureBase::queueCopy(CD3D9PlainSurface* pSource, UINT uiLevel) {
  pSource->AddRef();
  CD3D9PlainSurface* pReplaced = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_copyMutex);
    pReplaced = mp_pCopySource;
    mp_pCopySource = pSource;
    m_uiCopyLevel = uiLevel;
    if (pReplaced == nullptr && mp_pDevice != nullptr) mp_pDevice->notePendingCopy();
    m_bCopyPending.store(true, std::memory_order_release);
  }
  if (pReplaced != nullptr) pReplaced->Release();
}

void CD3D9TextureBase::applyPendingCopy() {
  if (!m_bCopyPending.load(std::memory_order_acquire) || mp_pDevice == nullptr) return;
  CD3D9PlainSurface* pSource = nullptr;
  UINT uiLevel = 0;
  {
    std::lock_guard<std::mutex> lock(m_copyMutex);
    pSource = mp_pCopySource;
    uiLevel = m_uiCopyLevel;
    mp_pCopySource = nullptr;
    m_bCopyPending.store(false, std::memory_order_release);
    if (pSource != nullptr) mp_pDevice->noteCopyDone();
  }
  if (pSource == nullptr) return;
  pSource->readBits([&](const BYTE* pBits) { mp_pDevice->backend()->uploadTexture(m_uiHandle, 0, uiLevel, pBits); });
  pSource->Release();
}

void CD3D9TextureBase::dropPendingCopy() {
  CD3D9PlainSurface* pSource = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_copyMutex);
    pSource = mp_pCopySource;
    mp_pCopySource = nullptr;
    m_bCopyPending.store(false, std::memory_order_release);
    if (pSource != nullptr && mp_pDevice != nullptr) mp_pDevice->noteCopyDone();
  }
  if (pSource != nullptr) pSource->Release();
}

// --- System-memory surfaces ---

CD3D9PlainSurface::CD3D9PlainSurface(CD3D9Device* pDevice, UINT uiWidth, UINT uiHeight, D3DFORMAT eFormat)
    : CD3D9ObjectBase(pDevice, D3DPOOL_SYSTEMMEM, false), m_uiWidth(uiWidth), m_uiHeight(uiHeight),
      m_eFormat(eFormat),
      m_bits(static_cast<size_t>(uiWidth) * uiHeight * D3D9FindTextureFormat(eFormat)->uiBytesPerTexel, 0) {}

HRESULT CD3D9PlainSurface::GetDesc(D3DSURFACE_DESC* pDesc) {
  if (pDesc == nullptr) return D3DERR_INVALIDCALL;
  *pDesc = D3DSURFACE_DESC{m_eFormat, D3DRTYPE_SURFACE, 0, D3DPOOL_SYSTEMMEM, D3DMULTISAMPLE_NONE, 0, m_uiWidth,
                           m_uiHeight};
  return D3D_OK;
}

HRESULT CD3D9PlainSurface::LockRect(D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD) {
  if (pLocked == nullptr || pRect != nullptr) return D3DERR_INVALIDCALL;
  if (m_bLocked.exchange(true)) return D3DERR_INVALIDCALL;
  m_bitsMutex.lock();
  pLocked->Pitch = static_cast<INT>(m_uiWidth * D3D9FindTextureFormat(m_eFormat)->uiBytesPerTexel);
  pLocked->pBits = m_bits.data();
  return D3D_OK;
}

HRESULT CD3D9PlainSurface::UnlockRect() {
  if (!m_bLocked.load()) return D3DERR_INVALIDCALL;
  m_bitsMutex.unlock();
  m_bLocked.store(false);
  return D3D_OK;
}

HRESULT CD3D9TextureBase::levelDesc(UINT uiLevel, D3DSURFACE_DESC* pDesc) const {
  if (pDesc == nullptr || uiLevel >= m_desc.uiLevels) return D3DERR_INVALIDCALL;
  *pDesc = D3DSURFACE_DESC{m_desc.eFormat,       D3DRTYPE_SURFACE,      m_dwUsage,           pool(),
                           D3DMULTISAMPLE_NONE, 0, levelWidth(uiLevel), levelHeight(uiLevel)};
  return D3D_OK;
}

UINT CD3D9TextureBase::levelBytes(UINT uiLevel) const {
  return levelWidth(uiLevel) * levelHeight(uiLevel) * D3D9FindTextureFormat(m_desc.eFormat)->uiBytesPerTexel;
}

void CD3D9TextureBase::upload(UINT uiFace, UINT uiLevel, const void* pBits) {
  if (mp_pDevice == nullptr) return;
  mp_pDevice->acquire();
  mp_pDevice->backend()->uploadTexture(m_uiHandle, uiFace, uiLevel, pBits);
}

void CD3D9TextureBase::generateMipmaps() {
  if (mp_pDevice == nullptr || m_desc.uiLevels < 2) return;
  mp_pDevice->acquire();
  mp_pDevice->backend()->generateMipmaps(m_uiHandle);
}

// --- The device's part ---

HRESULT CD3D9Device::CreateTexture(UINT uiWidth, UINT uiHeight, UINT uiLevels, DWORD dwUsage, D3DFORMAT eFormat,
                                   D3DPOOL ePool, IDirect3DTexture9** ppTexture, HANDLE*) {
  if (ppTexture == nullptr) return D3DERR_INVALIDCALL;
  *ppTexture = nullptr;
  const HRESULT hr = checkTextureRequest(uiWidth, uiHeight, &uiLevels, dwUsage, eFormat, ePool);
  if (FAILED(hr)) return hr;
  acquire();
  *ppTexture = new CD3D9Texture(this, ePool, SD3D9TextureDesc{uiWidth, uiHeight, uiLevels, eFormat, false}, dwUsage);
  return D3D_OK;
}

HRESULT CD3D9Device::CreateCubeTexture(UINT uiEdge, UINT uiLevels, DWORD dwUsage, D3DFORMAT eFormat, D3DPOOL ePool,
                                       IDirect3DCubeTexture9** ppTexture, HANDLE*) {
  if (ppTexture == nullptr) return D3DERR_INVALIDCALL;
  *ppTexture = nullptr;
  const HRESULT hr = checkTextureRequest(uiEdge, uiEdge, &uiLevels, dwUsage, eFormat, ePool);
  if (FAILED(hr) || (dwUsage & D3DUSAGE_DEPTHSTENCIL) != 0) return FAILED(hr) ? hr : D3DERR_INVALIDCALL;
  acquire();
  *ppTexture = new CD3D9CubeTexture(this, ePool, SD3D9TextureDesc{uiEdge, uiEdge, uiLevels, eFormat, true}, dwUsage);
  return D3D_OK;
}

HRESULT CD3D9Device::CreateOffscreenPlainSurface(UINT uiWidth, UINT uiHeight, D3DFORMAT eFormat, D3DPOOL ePool,
                                                 IDirect3DSurface9** ppSurface, HANDLE*) {
  if (ppSurface == nullptr) return D3DERR_INVALIDCALL;
  *ppSurface = nullptr;
  const SD3D9TextureFormat* pFormat = D3D9FindTextureFormat(eFormat);
  if (ePool != D3DPOOL_SYSTEMMEM || pFormat == nullptr || pFormat->bDepth || uiWidth == 0 || uiHeight == 0 ||
      uiWidth > 8192 || uiHeight > 8192) {
    return D3DERR_INVALIDCALL;
  }
  *ppSurface = new CD3D9PlainSurface(this, uiWidth, uiHeight, eFormat);
  return D3D_OK;
}

HRESULT CD3D9Device::UpdateSurface(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                                   IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) {
  auto* pSource = dynamic_cast<CD3D9PlainSurface*>(pSourceSurface);
  auto* pDestination = dynamic_cast<CD3D9TextureSurface*>(pDestinationSurface);
  if (pSource == nullptr || pDestination == nullptr || pSourceRect != nullptr || pDestPoint != nullptr ||
      pSource->device() != this || pDestination->device() != this) {
    return D3DERR_INVALIDCALL;
  }
  CD3D9TextureBase* pTexture = pDestination->texture();
  const UINT uiLevel = pDestination->level();
  if (pTexture == nullptr || pTexture->pool() != D3DPOOL_DEFAULT || pTexture->desc().eFormat != pSource->format() ||
      pTexture->levelWidth(uiLevel) != pSource->width() || pTexture->levelHeight(uiLevel) != pSource->height()) {
    return D3DERR_INVALIDCALL;
  }
  pTexture->queueCopy(pSource, uiLevel);
  return D3D_OK;
}

HRESULT CD3D9Device::SetTexture(DWORD dwStage, IDirect3DBaseTexture9* pTexture) {
  if (dwStage >= gc_uiD3D9_TEXTURE_UNITS) return D3DERR_INVALIDCALL;
  CD3D9TextureBase* pBase = D3D9TextureOf(pTexture);
  if (pTexture != nullptr && (pBase == nullptr || pBase->device() != this)) return D3DERR_INVALIDCALL;
  acquire();
  if (m_apTextures[dwStage] == pTexture) return D3D_OK;
  if (pTexture != nullptr) pTexture->AddRef();
  IDirect3DBaseTexture9* pOld = m_apTextures[dwStage];
  m_apTextures[dwStage] = pTexture;
  m_state.textures[dwStage] = pBase != nullptr ? SD3D9TextureBinding{pBase->handle(), pBase->isCube()}
                                               : SD3D9TextureBinding{};
  markDirty(D3D9_DIRTY_TEXTURES);
  if (pOld != nullptr) pOld->Release();
  return D3D_OK;
}

HRESULT CD3D9Device::GetTexture(DWORD dwStage, IDirect3DBaseTexture9** ppTexture) {
  if (ppTexture == nullptr || dwStage >= gc_uiD3D9_TEXTURE_UNITS) return D3DERR_INVALIDCALL;
  acquire();
  *ppTexture = m_apTextures[dwStage];
  if (*ppTexture != nullptr) (*ppTexture)->AddRef();
  return D3D_OK;
}

HRESULT CD3D9Device::SetSamplerState(DWORD dwSampler, D3DSAMPLERSTATETYPE eType, DWORD dwValue) {
  if (dwSampler >= gc_uiD3D9_TEXTURE_UNITS || eType == 0 || eType >= gc_uiD3D9_SAMPLER_STATE_SLOTS) {
    return D3DERR_INVALIDCALL;
  }
  acquire();
  DWORD& dwSlot = m_state.samplerStates[dwSampler][eType];
  if (dwSlot != dwValue) {
    dwSlot = dwValue;
    markDirty(D3D9_DIRTY_SAMPLERS);
  }
  return D3D_OK;
}

HRESULT CD3D9Device::GetSamplerState(DWORD dwSampler, D3DSAMPLERSTATETYPE eType, DWORD* pValue) {
  if (pValue == nullptr || dwSampler >= gc_uiD3D9_TEXTURE_UNITS || eType == 0 ||
      eType >= gc_uiD3D9_SAMPLER_STATE_SLOTS) {
    return D3DERR_INVALIDCALL;
  }
  acquire();
  *pValue = m_state.samplerStates[dwSampler][eType];
  return D3D_OK;
}
