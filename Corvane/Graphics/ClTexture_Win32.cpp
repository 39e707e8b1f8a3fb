#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Graphics/KvGraphicsFiles.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/D3D9/D3DX9.h"
#include "Platform/D3D9/DxErr.h"

namespace {

// "<what> [<name>]! (<where the file lives on disk>: <the code>: <the decoder's reason>)", without the place for
// bytes that are no file's. The reason is the decoder's own when it gave one, else the code's description.
void sayRefused(const char* pWhat, const char* pName, bool bNameIsFile, HRESULT hr) {
  char szWhere[gc_uiMAX_MESSAGE_LEN + 1] = "";
  if (bNameIsFile) {
    ClMagFileIO::describeLocation(pName, szWhere, sizeof(szWhere));
  }
  const char* pCause = hr == D3DXERR_INVALIDDATA ? D3DXGetLastImageProblem() : "";
  KvPrintProblem("%s [%s]! (%s%s%s: %s)", pWhat, pName, szWhere, bNameIsFile ? ": " : "", DXGetErrorString(hr),
                 pCause[0] != '\0' ? pCause : DXGetErrorDescription(hr));
}

}  // namespace

ClTexture::ClTexture()
    : mp_fWidth(KV_ZERO), mp_fHeight(KV_ZERO), mp_bIsCubeTexture(0), m_pD3DTex(nullptr), mp_pFileRef(nullptr),
      m_pLockedSurface(nullptr) {
  std::memset(mp_szName, 0, sizeof(mp_szName));
}

ClTexture::~ClTexture() {
  if (m_pLockedSurface != nullptr) {
    m_pLockedSurface->UnlockRect();
    m_pLockedSurface->Release();
    m_pLockedSurface = nullptr;
  }
  if (m_pD3DTex != nullptr) {
    m_pD3DTex->Release();
    m_pD3DTex = nullptr;
  }
  releaseFile();
  mp_fWidth = KV_ZERO;
  mp_fHeight = KV_ZERO;
  mp_bIsCubeTexture = 0;
}

void ClTexture::releaseFile() {
  if (mp_pFileRef != nullptr) {
    ClMagFileIO::close(mp_pFileRef);
    mp_pFileRef = nullptr;
  }
}

i32 ClTexture::load(const char* pPath, u32 bCubeTexture, u32 bNoMipmaps) {
  if (!ClMagFileIO::fileExists(pPath, 1)) {
    KV_FATALF("Texture [%s] not found!", pPath);
  }
  releaseFile();
  u32 uiSize = 0;
  i32 iCode = 0;
  char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
  switch (KvReadGraphicsFile(pPath, &mp_pFileRef, &uiSize, &iCode)) {
    case E_GRAPHICS_READ_OK:
      break;
    case E_GRAPHICS_READ_OPEN_FAILED:
      // An entry of an archive is never empty itself: its data file is, as the archive reader says.
      if (iCode == E_FILE_EMPTY && !ClMagFileIO::fileExists(pPath, 0)) {
        KvPrintProblem("Texture [%s] is empty (0 bytes): not an image (%s)", pPath,
                       ClMagFileIO::describeLocation(pPath, szWhere, sizeof(szWhere)));
      } else {
        KvPrintProblem("Texture [%s] could not be opened (code %d): %s", pPath, iCode, ClMagFileIO::getLastProblem());
      }
      return iCode;
    case E_GRAPHICS_READ_ALLOC_FAILED:
      // A texture whose bytes could not be had is not made from an empty buffer.
      KvPrintProblem("Texture [%s]: no memory for its %u bytes", pPath, uiSize);
      return gc_iTEXTURE_ALLOCATION_FAILED;
    case E_GRAPHICS_READ_READ_FAILED:
      KvPrintProblem("Texture [%s] could not be read (code %d): %s", pPath, iCode, ClMagFileIO::getLastProblem());
      return iCode;
  }
  if (uiSize == 0) {
    // An empty file is bad data like a damaged one: refused, not asserted.
    KvPrintProblem("Texture [%s] is empty (0 bytes): not an image (%s)", pPath,
                   ClMagFileIO::describeLocation(pPath, szWhere, sizeof(szWhere)));
    releaseFile();
    return gc_iTEXTURE_NOT_CREATED;
  }
  return create(mp_pFileRef->mp_pDestinationBuffer, static_cast<i32>(uiSize), pPath, bCubeTexture, bNoMipmaps, true);
}

i32 ClTexture::createFromMemory(const void* pRawMemory, i32 iSizeOfRawMemory, const char* pName, u32 bCubeTexture,
                                u32 bNoMipmaps) {
  return create(pRawMemory, iSizeOfRawMemory, pName, bCubeTexture, bNoMipmaps, false);
}

i32 ClTexture::create(const void* pRawMemory, i32 iSizeOfRawMemory, const char* pName, u32 bCubeTexture,
                      u32 bNoMipmaps, bool bNameIsFile) {
  KV_ASSERT_MSG(pRawMemory != nullptr, "pRawMemory");
  KV_ASSERT_MSG(iSizeOfRawMemory > 0, "iSizeOfRawMemory > 0");
  const UINT uiSize = static_cast<UINT>(iSizeOfRawMemory);
  if (!bCubeTexture) {
    IDirect3DTexture9* pTexture = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
        ClGraphics::mp_pDevice, pRawMemory, uiSize, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, bNoMipmaps ? 1 : 0, 0,
        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &pTexture);
    if (FAILED(hr) || pTexture == nullptr) {
      // Bad data is reported and refused, never made into a texture.
      sayRefused("Could not loosely init texture from memory", pName, bNameIsFile, hr);
      return gc_iTEXTURE_NOT_CREATED;
    }
    D3DSURFACE_DESC desc{};
    pTexture->GetLevelDesc(0, &desc);
    m_pD3DTex = pTexture;
    mp_fWidth = static_cast<f32>(desc.Width);
    mp_fHeight = static_cast<f32>(desc.Height);
    mp_bIsCubeTexture = 0;
    return 0;
  }
  IDirect3DCubeTexture9* pCube = nullptr;
  const HRESULT hr = D3DXCreateCubeTextureFromFileInMemoryEx(
      ClGraphics::mp_pDevice, pRawMemory, uiSize, 0, bNoMipmaps ? D3DX_FROM_FILE : 0, 0, D3DFMT_UNKNOWN,
      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &pCube);
  if (FAILED(hr) || pCube == nullptr) {
    sayRefused("Could not loosely init cube texture from memory", pName, bNameIsFile, hr);
    return gc_iTEXTURE_NOT_CREATED;
  }
  m_pD3DTex = pCube;
  mp_fWidth = KV_ZERO;
  mp_fHeight = KV_ZERO;
  mp_bIsCubeTexture = 1;
  return 0;
}

i32 ClTexture::reload(const char* pPath) {
  KV_ASSERT_MSG(m_pD3DTex != nullptr, "m_pD3DTex");
  m_pD3DTex->Release();
  m_pD3DTex = nullptr;
  return load(pPath, 0, 0);
}

i32 ClTexture::save(const wchar16* pFilename) {
  KV_ASSERT_MSG(pFilename != nullptr, "pcFilename");
  if (m_pD3DTex == nullptr) return 0;
  return SUCCEEDED(D3DXSaveTextureToFileW(pFilename, D3DXIFF_PNG, m_pD3DTex, nullptr)) ? 1 : 0;
}

i32 ClTexture::save(const char* pFilename) {
  KV_ASSERT_MSG(pFilename != nullptr, "pcFilename");
  if (m_pD3DTex == nullptr) return 0;
  return SUCCEEDED(D3DXSaveTextureToFileA(pFilename, D3DXIFF_PNG, m_pD3DTex, nullptr)) ? 1 : 0;
}

void* ClTexture::lock(i32* piPitch) {
  KV_ASSERT_MSG(m_pLockedSurface == nullptr, "m_pLockedSurface == KVNULL");
  if (m_pD3DTex == nullptr) {
    *piPitch = 0;
    return nullptr;
  }
  KV_ASSERT_MSG(!mp_bIsCubeTexture, "!mp_bIsCubeTexture");
  static_cast<IDirect3DTexture9*>(m_pD3DTex)->GetSurfaceLevel(0, &m_pLockedSurface);
  KV_ASSERT_MSG(m_pLockedSurface != nullptr, "m_pLockedSurface");
  D3DLOCKED_RECT locked{};
  if (FAILED(m_pLockedSurface->LockRect(&locked, nullptr, 0))) {
    m_pLockedSurface->Release();
    m_pLockedSurface = nullptr;
    *piPitch = 0;
    return nullptr;
  }
  *piPitch = locked.Pitch;
  return locked.pBits;
}

i32 ClTexture::unlock() {
  KV_ASSERT_MSG(m_pLockedSurface != nullptr, "m_pLockedSurface");
  m_pLockedSurface->UnlockRect();
  m_pLockedSurface->Release();
  m_pLockedSurface = nullptr;
  return 1;
}

void ClTexture::setD3DTexture(IDirect3DTexture9* pTexture) {
  if (m_pD3DTex != nullptr && m_pD3DTex != pTexture) {
    m_pD3DTex->Release();
  }
  m_pD3DTex = pTexture;
  mp_bIsCubeTexture = 0;
  mp_fWidth = KV_ZERO;
  mp_fHeight = KV_ZERO;
  if (pTexture != nullptr) {
    D3DSURFACE_DESC desc{};
    pTexture->GetLevelDesc(0, &desc);
    mp_fWidth = static_cast<f32>(desc.Width);
    mp_fHeight = static_cast<f32>(desc.Height);
  }
}
