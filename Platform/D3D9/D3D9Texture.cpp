// Textures, cube textures and the surfaces of texture levels; the device's texture stages and sampler states.
#include <algorithm>
#include <cstdint>
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
class CD3D9TextureSurface final : public IDirect3DSurface9, public CD3D9ObjectBase, public CD3D9SurfaceBase {
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
  SD3D9Attachment attachment() const override {
    return SD3D9Attachment{SD3D9Attachment::TEXTURE, D3D9TextureOf(mp_pTexture)->handle(), m_uiLevel};
  }
  D3DSURFACE_DESC surfaceDesc() const override {
    D3DSURFACE_DESC desc{};
    mp_pTexture->GetLevelDesc(m_uiLevel, &desc);
    return desc;
  }
  CD3D9Device* owner() const override { return mp_pDevice; }

 private:
  IDirect3DTexture9* mp_pTexture;
  UINT m_uiLevel;
};

// A render-target surface of its own (CreateRenderTarget): one level of colour storage that nothing samples, or,
// for the format "NULL", no storage at all.
class CD3D9RenderTargetSurface final : public IDirect3DSurface9, public CD3D9ObjectBase, public CD3D9SurfaceBase {
 public:
  CD3D9RenderTargetSurface(CD3D9Device* pDevice, D3DFORMAT eFormat, UINT uiWidth, UINT uiHeight)
      : CD3D9ObjectBase(pDevice, D3DPOOL_DEFAULT, false), m_eFormat(eFormat), m_uiWidth(uiWidth),
        m_uiHeight(uiHeight) {
    if (D3D9FindTextureFormat(eFormat) != nullptr) {
      m_uiHandle = pDevice->backend()->createTexture(SD3D9TextureDesc{uiWidth, uiHeight, 1, eFormat, false});
    }
  }
  D3D9_OBJECT_COMMON(IDirect3DSurface9)
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override {
    if (pDesc == nullptr) return D3DERR_INVALIDCALL;
    *pDesc = surfaceDesc();
    return D3D_OK;
  }
  HRESULT LockRect(D3DLOCKED_RECT*, const RECT*, DWORD) override { return D3DERR_INVALIDCALL; }
  HRESULT UnlockRect() override { return D3DERR_INVALIDCALL; }
  void freeBackend() override {
    if (m_uiHandle != 0) mp_pDevice->backend()->deleteTexture(m_uiHandle);
  }
  SD3D9Attachment attachment() const override {
    return m_uiHandle != 0 ? SD3D9Attachment{SD3D9Attachment::TEXTURE, m_uiHandle, 0} : SD3D9Attachment{};
  }
  D3DSURFACE_DESC surfaceDesc() const override {
    return D3DSURFACE_DESC{m_eFormat, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, D3DMULTISAMPLE_NONE,
                           0, m_uiWidth, m_uiHeight};
  }
  CD3D9Device* owner() const override { return mp_pDevice; }

 private:
  D3DFORMAT m_eFormat;
  UINT m_uiWidth;
  UINT m_uiHeight;
  UINT m_uiHandle = 0;
};

// One texel of a level in the format's layout as 0xAARRGGBB.
DWORD texelAsARGB(D3DFORMAT eFormat, const BYTE* p) {
  uint32_t uiWord = 0;
  switch (eFormat) {
    case D3DFMT_A8R8G8B8:
      std::memcpy(&uiWord, p, 4);
      return uiWord;
    case D3DFMT_X8R8G8B8:
      std::memcpy(&uiWord, p, 4);
      return uiWord | 0xFF000000u;
    case D3DFMT_R5G6B5: {
      uint16_t uiHalf = 0;
      std::memcpy(&uiHalf, p, 2);
      const DWORD r = (uiHalf >> 11) & 0x1F;
      const DWORD g = (uiHalf >> 5) & 0x3F;
      const DWORD b = uiHalf & 0x1F;
      return 0xFF000000u | (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
    }
    case D3DFMT_A2R10G10B10: {
      std::memcpy(&uiWord, p, 4);
      const DWORD a = (uiWord >> 30) * 85;
      return (a << 24) | (((uiWord >> 22) & 0xFF) << 16) | (((uiWord >> 12) & 0xFF) << 8) | ((uiWord >> 2) & 0xFF);
    }
    case D3DFMT_R32F: {
      float fValue = 0.0f;
      std::memcpy(&fValue, p, 4);
      const float fClamped = fValue < 0.0f ? 0.0f : (fValue > 1.0f ? 1.0f : fValue);
      return 0xFF000000u | (static_cast<DWORD>(fClamped * 255.0f + 0.5f) << 16);
    }
    default:
      return 0;
  }
}

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

CD3D9SurfaceBase* D3D9SurfaceOf(IDirect3DSurface9* pSurface) {
  return pSurface != nullptr ? dynamic_cast<CD3D9SurfaceBase*>(pSurface) : nullptr;
}

std::vector<DWORD> D3D9TestReadTexture(IDirect3DTexture9* pTexture, UINT uiLevel, UINT* pWidth, UINT* pHeight) {
  CD3D9TextureBase* pBase = D3D9TextureOf(pTexture);
  *pWidth = 0;
  *pHeight = 0;
  if (pBase == nullptr || uiLevel >= pBase->desc().uiLevels) return {};
  const D3DFORMAT eFormat = pBase->desc().eFormat;
  const SD3D9TextureFormat* pFormat = D3D9FindTextureFormat(eFormat);
  if (pFormat->bDepth) return {};
  std::vector<BYTE> bits(pBase->levelBytes(uiLevel));
  if (!pBase->read(0, uiLevel, bits.data())) return {};
  *pWidth = pBase->levelWidth(uiLevel);
  *pHeight = pBase->levelHeight(uiLevel);
  std::vector<DWORD> texels(static_cast<size_t>(*pWidth) * *pHeight);
  for (size_t i = 0; i < texels.size(); ++i) {
    texels[i] = texelAsARGB(eFormat, bits.data() + i * pFormat->uiBytesPerTexel);
  }
  return texels;
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
  if ((dwUsage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) != 0 && D3D9CurrentFaults().bRenderTargetFails) {
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  acquire();
  *ppTexture = new CD3D9Texture(this, ePool, SD3D9TextureDesc{uiWidth, uiHeight, uiLevels, eFormat, false}, dwUsage);
  return D3D_OK;
}

HRESULT CD3D9Device::CreateRenderTarget(UINT uiWidth, UINT uiHeight, D3DFORMAT eFormat, D3DMULTISAMPLE_TYPE eMultiSample,
                                        DWORD, BOOL bLockable, IDirect3DSurface9** ppSurface, HANDLE*) {
  if (ppSurface == nullptr) return D3DERR_INVALIDCALL;
  *ppSurface = nullptr;
  const bool bNull = eFormat == static_cast<D3DFORMAT>(MAKEFOURCC('N', 'U', 'L', 'L'));
  const SD3D9TextureFormat* pFormat = D3D9FindTextureFormat(eFormat);
  if ((!bNull && (pFormat == nullptr || pFormat->bDepth)) || uiWidth == 0 || uiHeight == 0 || uiWidth > 8192 ||
      uiHeight > 8192 || eMultiSample != D3DMULTISAMPLE_NONE || bLockable) {
    return D3DERR_INVALIDCALL;
  }
  if (D3D9CurrentFaults().bRenderTargetFails) return D3DERR_OUTOFVIDEOMEMORY;
  acquire();
  *ppSurface = new CD3D9RenderTargetSurface(this, eFormat, uiWidth, uiHeight);
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
