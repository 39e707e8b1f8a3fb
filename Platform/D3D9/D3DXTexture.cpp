// D3DX textures: image files in memory decoded with SDL2_image, texture saving, and D3DXCreateTexture.
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Platform/D3D9/D3D9Internal.h"
#include "Platform/D3D9/D3DX9.h"
#include "Platform/Win32/Win32KernelObjects.h"

namespace {

struct SSurfaceDeleter {
  void operator()(SDL_Surface* pSurface) const { SDL_FreeSurface(pSurface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SSurfaceDeleter>;

// A decoded image as 0xAARRGGBB texels (B, G, R, A in memory), top row first, with what the file said.
struct SImage {
  UINT uiWidth = 0;
  UINT uiHeight = 0;
  std::vector<DWORD> texels;
  bool bAlpha = false;
  D3DXIMAGE_FILEFORMAT eFileFormat = D3DXIFF_PNG;
};

constexpr UINT gc_uiMAX_IMAGE_SIDE = 8192;

uint32_t littleEndian(const BYTE* p, int iBytes) {
  uint32_t uiValue = 0;
  for (int i = iBytes - 1; i >= 0; --i) uiValue = (uiValue << 8) | p[i];
  return uiValue;
}

bool sideOk(int64_t iSide) { return iSide != 0 && (iSide < 0 ? -iSide : iSide) <= gc_uiMAX_IMAGE_SIDE; }

// Texels a run-length coded byte may stand for at most (a TGA packet of 2 bytes gives 128 texels, a BMP run of 2
// bytes 255): a header claiming more than this many texels for the bytes it has lies.
constexpr uint64_t gc_uiMAX_TEXELS_PER_RLE_BYTE = 128;
// Deflate's largest ratio (a 258-byte match in one bit... about 1032 to 1): the most raw PNG rows a byte can give.
constexpr uint64_t gc_uiMAX_DEFLATE_RATIO = 1032;

// The header's promises checked against the file before a decoder trusts them: sizes within 8192 texels, the
// pixel data and palettes inside the file, and the texels the header claims within what the file's bytes can hold
// (raw rows, or run-length and deflate data at their largest ratios). A decoder handed a header that lies could
// otherwise allocate what the header claims, whatever the file's size.
bool plausibleHeader(const BYTE* p, UINT uiSize, D3DXIMAGE_FILEFORMAT eFormat) {
  switch (eFormat) {
    case D3DXIFF_BMP: {
      if (uiSize < 26) return false;
      const uint32_t uiDataOffset = littleEndian(p + 10, 4);
      const uint32_t uiInfoSize = littleEndian(p + 14, 4);
      if (uiDataOffset >= uiSize || uiInfoSize < 12 || uiInfoSize > 124 || 14u + uiInfoSize > uiSize) return false;
      const int64_t iWidth = uiInfoSize == 12 ? static_cast<int16_t>(littleEndian(p + 18, 2))
                                               : static_cast<int32_t>(littleEndian(p + 18, 4));
      const int64_t iHeight = uiInfoSize == 12 ? static_cast<int16_t>(littleEndian(p + 20, 2))
                                                : static_cast<int32_t>(littleEndian(p + 22, 4));
      const uint32_t uiBits = littleEndian(p + (uiInfoSize == 12 ? 24 : 28), 2);
      if (uiInfoSize >= 40 && littleEndian(p + 46, 4) > 256) return false;  // palette entries
      if (!sideOk(iWidth) || !sideOk(iHeight) ||
          !(uiBits == 1 || uiBits == 4 || uiBits == 8 || uiBits == 16 || uiBits == 24 || uiBits == 32)) {
        return false;
      }
      const uint64_t uiWidth = static_cast<uint64_t>(iWidth < 0 ? -iWidth : iWidth);
      const uint64_t uiHeight = static_cast<uint64_t>(iHeight < 0 ? -iHeight : iHeight);
      const uint64_t uiData = uiSize - uiDataOffset;
      const uint32_t uiCompression = uiInfoSize >= 40 ? littleEndian(p + 30, 4) : 0;
      if (uiCompression == 1 || uiCompression == 2) {  // RLE8, RLE4
        return uiWidth * uiHeight <= uiData * 2 * gc_uiMAX_TEXELS_PER_RLE_BYTE;
      }
      if (uiCompression != 0 && uiCompression != 3 && uiCompression != 6) return false;  // raw or bit fields
      // Rows are padded to 4 bytes; the last row's padding may be missing.
      const uint64_t uiRowBytes = (uiWidth * uiBits + 31) / 32 * 4;
      return uiRowBytes * (uiHeight - 1) + (uiWidth * uiBits + 7) / 8 <= uiData;
    }
    case D3DXIFF_PNG: {
      // The signature, then the IHDR chunk: length 13, "IHDR", width, height (big-endian), bit depth, colour type.
      if (uiSize < 33 || std::memcmp(p + 12, "IHDR", 4) != 0) return false;
      const uint32_t uiWidth = (static_cast<uint32_t>(p[16]) << 24) | (p[17] << 16) | (p[18] << 8) | p[19];
      const uint32_t uiHeight = (static_cast<uint32_t>(p[20]) << 24) | (p[21] << 16) | (p[22] << 8) | p[23];
      if (!sideOk(uiWidth) || !sideOk(uiHeight)) return false;
      const uint64_t uiDepth = p[24];
      const uint64_t uiChannels = p[25] == 2 ? 3 : p[25] == 4 ? 2 : p[25] == 6 ? 4 : 1;
      const uint64_t uiRawBytes = uiHeight * (1 + (uiWidth * uiChannels * uiDepth + 7) / 8);
      return uiRawBytes <= uiSize * gc_uiMAX_DEFLATE_RATIO;
    }
    default: {
      // TGA: id length, colour-map type, image type, colour-map length and entry size, width, height, depth.
      if (uiSize < 18) return false;
      const uint32_t uiType = p[2];
      const uint32_t uiMapBytes = p[1] != 0 ? littleEndian(p + 5, 2) * ((p[7] + 7u) / 8u) : 0u;
      const uint32_t uiDepth = p[16];
      const bool bType = uiType == 1 || uiType == 2 || uiType == 3 || uiType == 9 || uiType == 10 || uiType == 11;
      const uint64_t uiHeader = 18u + p[0] + uiMapBytes;
      if (!bType || uiHeader > uiSize || !sideOk(littleEndian(p + 12, 2)) || !sideOk(littleEndian(p + 14, 2)) ||
          !(uiDepth == 8 || uiDepth == 15 || uiDepth == 16 || uiDepth == 24 || uiDepth == 32)) {
        return false;
      }
      const uint64_t uiTexels = static_cast<uint64_t>(littleEndian(p + 12, 2)) * littleEndian(p + 14, 2);
      const uint64_t uiData = uiSize - uiHeader;
      if (uiType >= 9) return uiTexels <= uiData * gc_uiMAX_TEXELS_PER_RLE_BYTE;
      return uiTexels * ((uiDepth + 7) / 8) <= uiData;
    }
  }
}

// BMP and PNG are known by their signatures; anything else is tried as TGA, which has none.
bool decode(LPCVOID pData, UINT uiSize, SImage* pImage) {
  if (pData == nullptr || uiSize == 0 || uiSize > static_cast<UINT>(INT32_MAX)) return false;
  SDL_RWops* pRw = SDL_RWFromConstMem(pData, static_cast<int>(uiSize));
  if (pRw == nullptr) return false;
  SurfacePtr decoded;
  pImage->eFileFormat = IMG_isBMP(pRw) ? D3DXIFF_BMP : IMG_isPNG(pRw) ? D3DXIFF_PNG : D3DXIFF_TGA;
  if (plausibleHeader(static_cast<const BYTE*>(pData), uiSize, pImage->eFileFormat)) {
    if (pImage->eFileFormat == D3DXIFF_BMP) {
      decoded.reset(IMG_LoadBMP_RW(pRw));
    } else if (pImage->eFileFormat == D3DXIFF_PNG) {
      decoded.reset(IMG_LoadPNG_RW(pRw));
    } else {
      decoded.reset(IMG_LoadTGA_RW(pRw));
    }
  }
  SDL_RWclose(pRw);
  if (decoded == nullptr || decoded->w <= 0 || decoded->h <= 0 || decoded->w > 8192 || decoded->h > 8192) {
    return false;
  }
  pImage->bAlpha = SDL_ISPIXELFORMAT_ALPHA(decoded->format->format) || SDL_HasColorKey(decoded.get()) ||
                   (decoded->format->palette != nullptr && decoded->format->Amask != 0);
  SurfacePtr converted(SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_ARGB8888, 0));
  if (converted == nullptr) return false;
  pImage->uiWidth = static_cast<UINT>(converted->w);
  pImage->uiHeight = static_cast<UINT>(converted->h);
  pImage->texels.resize(static_cast<size_t>(pImage->uiWidth) * pImage->uiHeight);
  for (UINT y = 0; y < pImage->uiHeight; ++y) {
    std::memcpy(&pImage->texels[static_cast<size_t>(y) * pImage->uiWidth],
                static_cast<const BYTE*>(converted->pixels) + static_cast<size_t>(y) * converted->pitch,
                pImage->uiWidth * 4u);
  }
  return true;
}

UINT nextPowerOfTwo(UINT uiValue) {
  UINT uiPower = 1;
  while (uiPower < uiValue) uiPower <<= 1;
  return uiPower;
}

// The size asked for, from the file's.
UINT sizeFor(UINT uiAsked, UINT uiFile) {
  if (uiAsked == D3DX_DEFAULT_NONPOW2 || uiAsked == D3DX_FROM_FILE) return uiFile;
  if (uiAsked == 0 || uiAsked == D3DX_DEFAULT) return nextPowerOfTwo(uiFile);
  return uiAsked;
}

// Texels of a w x h region (at x0 of a wider image) scaled to the target size.
std::vector<DWORD> scaled(const SImage& image, UINT uiX0, UINT uiWidth, UINT uiTargetWidth, UINT uiTargetHeight,
                          DWORD dwFilter) {
  std::vector<DWORD> region(static_cast<size_t>(uiWidth) * image.uiHeight);
  for (UINT y = 0; y < image.uiHeight; ++y) {
    std::memcpy(&region[static_cast<size_t>(y) * uiWidth], &image.texels[static_cast<size_t>(y) * image.uiWidth + uiX0],
                uiWidth * 4u);
  }
  if (uiWidth == uiTargetWidth && image.uiHeight == uiTargetHeight) return region;
  std::vector<DWORD> out(static_cast<size_t>(uiTargetWidth) * uiTargetHeight);
  SurfacePtr source(SDL_CreateRGBSurfaceWithFormatFrom(region.data(), static_cast<int>(uiWidth),
                                                       static_cast<int>(image.uiHeight), 32,
                                                       static_cast<int>(uiWidth * 4), SDL_PIXELFORMAT_ARGB8888));
  SurfacePtr target(SDL_CreateRGBSurfaceWithFormatFrom(out.data(), static_cast<int>(uiTargetWidth),
                                                       static_cast<int>(uiTargetHeight), 32,
                                                       static_cast<int>(uiTargetWidth * 4), SDL_PIXELFORMAT_ARGB8888));
  if (source != nullptr && target != nullptr) {
    const bool bPoint = (dwFilter & 0xFF) == D3DX_FILTER_POINT || (dwFilter & 0xFF) == D3DX_FILTER_NONE;
    if (bPoint) {
      SDL_SoftStretch(source.get(), nullptr, target.get(), nullptr);
    } else {
      SDL_SoftStretchLinear(source.get(), nullptr, target.get(), nullptr);
    }
  }
  return out;
}

// The texture format from the file and the request; UNKNOWN when the request cannot be met.
D3DFORMAT formatFor(D3DFORMAT eAsked, const SImage& image) {
  if (eAsked == D3DFMT_UNKNOWN || eAsked == D3DFMT_FROM_FILE) return image.bAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
  return eAsked == D3DFMT_A8R8G8B8 || eAsked == D3DFMT_X8R8G8B8 ? eAsked : D3DFMT_UNKNOWN;
}

void applyColorKeyAndFormat(std::vector<DWORD>* pTexels, D3DCOLOR colorKey, D3DFORMAT eFormat) {
  for (DWORD& texel : *pTexels) {
    if (colorKey != 0 && texel == colorKey) texel = 0;
    if (eFormat == D3DFMT_X8R8G8B8) texel |= 0xFF000000u;
  }
}

UINT levelsFor(UINT uiAsked, UINT uiWidth, UINT uiHeight) {
  const UINT uiFull = D3D9FullMipChain(uiWidth, uiHeight);
  if (uiAsked == 0 || uiAsked == D3DX_DEFAULT) return uiFull;
  if (uiAsked == D3DX_FROM_FILE) return 1;
  return std::min(uiAsked, uiFull);
}

void fillInfo(D3DXIMAGE_INFO* pInfo, const SImage& image, UINT uiWidth, D3DFORMAT eFormat, D3DRESOURCETYPE eType) {
  if (pInfo == nullptr) return;
  *pInfo = D3DXIMAGE_INFO{uiWidth, image.uiHeight, 1, 1, eFormat, eType, image.eFileFormat};
}

HRESULT save(const std::string& path, D3DXIMAGE_FILEFORMAT eFormat, LPDIRECT3DBASETEXTURE9 pTexture) {
  CD3D9TextureBase* pBase = D3D9TextureOf(pTexture);
  if (pBase == nullptr || pBase->isCube() || (eFormat != D3DXIFF_PNG && eFormat != D3DXIFF_BMP)) {
    return D3DERR_INVALIDCALL;
  }
  const D3DFORMAT eTexFormat = pBase->desc().eFormat;
  if (eTexFormat != D3DFMT_A8R8G8B8 && eTexFormat != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
  const UINT uiWidth = pBase->desc().uiWidth;
  const UINT uiHeight = pBase->desc().uiHeight;
  std::vector<DWORD> texels(static_cast<size_t>(uiWidth) * uiHeight);
  if (!pBase->read(0, 0, texels.data())) return D3DERR_INVALIDCALL;
  SurfacePtr surface(SDL_CreateRGBSurfaceWithFormatFrom(texels.data(), static_cast<int>(uiWidth),
                                                        static_cast<int>(uiHeight), 32, static_cast<int>(uiWidth * 4),
                                                        SDL_PIXELFORMAT_ARGB8888));
  if (surface == nullptr) return E_OUTOFMEMORY;
  // A texture without alpha is written without it.
  SurfacePtr written(eTexFormat == D3DFMT_X8R8G8B8 ? SDL_ConvertSurfaceFormat(surface.get(), SDL_PIXELFORMAT_RGB24, 0)
                                                   : SDL_DuplicateSurface(surface.get()));
  if (written == nullptr) return E_OUTOFMEMORY;
  const int iResult = eFormat == D3DXIFF_PNG ? IMG_SavePNG(written.get(), path.c_str())
                                             : SDL_SaveBMP(written.get(), path.c_str());
  if (iResult != 0) {
    std::fprintf(stderr, "D3D9 stand-in: cannot write \"%s\": %s\n", path.c_str(), SDL_GetError());
    return E_FAIL;
  }
  return D3D_OK;
}

}  // namespace

bool CD3D9TextureBase::read(UINT uiFace, UINT uiLevel, void* pBits) {
  if (mp_pDevice == nullptr || uiLevel >= m_desc.uiLevels || D3D9FindTextureFormat(m_desc.eFormat)->bDepth) {
    return false;
  }
  mp_pDevice->acquire();
  applyPendingCopy();
  mp_pDevice->backend()->readTexture(m_uiHandle, uiFace, uiLevel, pBits);
  return true;
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT uiSrcDataSize,
                                            UINT uiWidth, UINT uiHeight, UINT uiMipLevels, DWORD dwUsage,
                                            D3DFORMAT eFormat, D3DPOOL ePool, DWORD dwFilter, DWORD,
                                            D3DCOLOR colorKey, D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            LPDIRECT3DTEXTURE9* ppTexture) {
  if (ppTexture == nullptr || pDevice == nullptr || pPalette != nullptr) return D3DERR_INVALIDCALL;
  *ppTexture = nullptr;
  SImage image;
  if (!decode(pSrcData, uiSrcDataSize, &image)) return D3DXERR_INVALIDDATA;
  const D3DFORMAT eTexFormat = formatFor(eFormat, image);
  if (eTexFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
  const UINT uiTexWidth = sizeFor(uiWidth, image.uiWidth);
  const UINT uiTexHeight = sizeFor(uiHeight, image.uiHeight);
  if (uiTexWidth == 0 || uiTexHeight == 0 || uiTexWidth > 8192 || uiTexHeight > 8192) return D3DERR_INVALIDCALL;
  IDirect3DTexture9* pTexture = nullptr;
  const HRESULT hr = pDevice->CreateTexture(uiTexWidth, uiTexHeight, levelsFor(uiMipLevels, uiTexWidth, uiTexHeight),
                                            dwUsage, eTexFormat, ePool, &pTexture, nullptr);
  if (FAILED(hr)) return hr;
  std::vector<DWORD> texels = scaled(image, 0, image.uiWidth, uiTexWidth, uiTexHeight, dwFilter);
  applyColorKeyAndFormat(&texels, colorKey, eTexFormat);
  CD3D9TextureBase* pBase = D3D9TextureOf(pTexture);
  pBase->upload(0, 0, texels.data());
  pBase->generateMipmaps();
  fillInfo(pSrcInfo, image, image.uiWidth, eTexFormat, D3DRTYPE_TEXTURE);
  *ppTexture = pTexture;
  return D3D_OK;
}

HRESULT D3DXCreateCubeTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT uiSrcDataSize,
                                                UINT uiSize, UINT uiMipLevels, DWORD dwUsage, D3DFORMAT eFormat,
                                                D3DPOOL ePool, DWORD dwFilter, DWORD, D3DCOLOR colorKey,
                                                D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                                LPDIRECT3DCUBETEXTURE9* ppCubeTexture) {
  if (ppCubeTexture == nullptr || pDevice == nullptr || pPalette != nullptr) return D3DERR_INVALIDCALL;
  *ppCubeTexture = nullptr;
  SImage image;
  if (!decode(pSrcData, uiSrcDataSize, &image) || image.uiWidth != image.uiHeight * 6) return D3DXERR_INVALIDDATA;
  const D3DFORMAT eTexFormat = formatFor(eFormat, image);
  if (eTexFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
  const UINT uiFace = image.uiHeight;
  const UINT uiEdge = uiSize == 0 || uiSize == D3DX_DEFAULT || uiSize == D3DX_FROM_FILE ? uiFace : uiSize;
  if (uiEdge > 8192) return D3DERR_INVALIDCALL;
  IDirect3DCubeTexture9* pTexture = nullptr;
  const HRESULT hr = pDevice->CreateCubeTexture(uiEdge, levelsFor(uiMipLevels, uiEdge, uiEdge), dwUsage, eTexFormat,
                                                ePool, &pTexture, nullptr);
  if (FAILED(hr)) return hr;
  CD3D9TextureBase* pBase = D3D9TextureOf(pTexture);
  for (UINT uiIndex = 0; uiIndex < 6; ++uiIndex) {
    std::vector<DWORD> texels = scaled(image, uiIndex * uiFace, uiFace, uiEdge, uiEdge, dwFilter);
    applyColorKeyAndFormat(&texels, colorKey, eTexFormat);
    pBase->upload(uiIndex, 0, texels.data());
  }
  pBase->generateMipmaps();
  fillInfo(pSrcInfo, image, uiFace, eTexFormat, D3DRTYPE_CUBETEXTURE);
  *ppCubeTexture = pTexture;
  return D3D_OK;
}

HRESULT D3DXSaveTextureToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT eFormat, LPDIRECT3DBASETEXTURE9 pSrcTexture,
                               const PALETTEENTRY* pSrcPalette) {
  if (pDestFile == nullptr || pSrcPalette != nullptr) return D3DERR_INVALIDCALL;
  return save(pDestFile, eFormat, pSrcTexture);
}

HRESULT D3DXSaveTextureToFileW(LPCWSTR pDestFile, D3DXIMAGE_FILEFORMAT eFormat, LPDIRECT3DBASETEXTURE9 pSrcTexture,
                               const PALETTEENTRY* pSrcPalette) {
  if (pDestFile == nullptr || pSrcPalette != nullptr) return D3DERR_INVALIDCALL;
  return save(Win32Internal::utf16ToUtf8(pDestFile), eFormat, pSrcTexture);
}

HRESULT D3DXCreateTexture(LPDIRECT3DDEVICE9 pDevice, UINT uiWidth, UINT uiHeight, UINT uiMipLevels, DWORD dwUsage,
                          D3DFORMAT eFormat, D3DPOOL ePool, LPDIRECT3DTEXTURE9* ppTexture) {
  if (pDevice == nullptr || ppTexture == nullptr) return D3DERR_INVALIDCALL;
  if (uiWidth == 0 || uiWidth == D3DX_DEFAULT) uiWidth = 256;
  if (uiHeight == 0 || uiHeight == D3DX_DEFAULT) uiHeight = 256;
  if (uiMipLevels == D3DX_DEFAULT) uiMipLevels = 0;
  if (eFormat == D3DFMT_UNKNOWN) eFormat = D3DFMT_A8R8G8B8;
  return pDevice->CreateTexture(uiWidth, uiHeight, uiMipLevels, dwUsage, eFormat, ePool, ppTexture, nullptr);
}
