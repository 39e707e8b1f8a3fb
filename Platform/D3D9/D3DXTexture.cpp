// D3DX textures: image files in memory decoded with SDL2_image, texture saving, and D3DXCreateTexture.
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "Platform/D3D9/D3D9Internal.h"
#include "Platform/D3D9/D3DX9.h"
#include "Platform/D3D9/D3DXImageCheck.h"
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

bool decode(LPCVOID pData, UINT uiSize, SImage* pImage) {
  if (pData == nullptr || uiSize == 0 || uiSize > static_cast<UINT>(INT32_MAX)) return false;
  SDL_RWops* pRw = SDL_RWFromConstMem(pData, static_cast<int>(uiSize));
  if (pRw == nullptr) return false;
  SurfacePtr decoded;
  pImage->eFileFormat = D3DXImageFileFormatOf(pData, uiSize);
  if (D3DXImageHeaderPlausible(pData, uiSize, pImage->eFileFormat)) {
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
  const Uint32 uiFormat = decoded->format->format;
  const bool bFourChannels = uiFormat == SDL_PIXELFORMAT_ABGR8888 || uiFormat == SDL_PIXELFORMAT_ARGB8888;
  if (bFourChannels && !SDL_HasColorKey(decoded.get())) {
    // Four 8-bit channels with alpha (the usual PNG): the channels are reordered straight into the texels, without
    // a converted surface between.
    pImage->uiWidth = static_cast<UINT>(decoded->w);
    pImage->uiHeight = static_cast<UINT>(decoded->h);
    pImage->texels.resize(static_cast<size_t>(pImage->uiWidth) * pImage->uiHeight);
    return SDL_ConvertPixels(decoded->w, decoded->h, uiFormat, decoded->pixels, decoded->pitch,
                             SDL_PIXELFORMAT_ARGB8888, pImage->texels.data(), decoded->w * 4) == 0;
  }
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

// Texels of a w x h region (at x0 of a wider image) scaled to the target size. The whole image at its own size is
// taken from it (its texels are left empty) rather than copied.
std::vector<DWORD> scaled(SImage& image, UINT uiX0, UINT uiWidth, UINT uiTargetWidth, UINT uiTargetHeight,
                          DWORD dwFilter) {
  if (uiX0 == 0 && uiWidth == image.uiWidth && uiWidth == uiTargetWidth && image.uiHeight == uiTargetHeight) {
    return std::move(image.texels);
  }
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

// The next smaller level of a w x h image of 8-bit channels: each texel the rounded mean of the 2 x 2 block it
// covers (a side already 1 texel long keeps its texel).
std::vector<DWORD> halved(const std::vector<DWORD>& texels, UINT uiWidth, UINT uiHeight, UINT uiHalfWidth,
                          UINT uiHalfHeight) {
  std::vector<DWORD> out(static_cast<size_t>(uiHalfWidth) * uiHalfHeight);
  for (UINT y = 0; y < uiHalfHeight; ++y) {
    const DWORD* pRow0 = &texels[static_cast<size_t>(std::min(2 * y, uiHeight - 1)) * uiWidth];
    const DWORD* pRow1 = &texels[static_cast<size_t>(std::min(2 * y + 1, uiHeight - 1)) * uiWidth];
    DWORD* pOut = &out[static_cast<size_t>(y) * uiHalfWidth];
    for (UINT x = 0; x < uiHalfWidth; ++x) {
      const UINT x0 = std::min(2 * x, uiWidth - 1);
      const UINT x1 = std::min(2 * x + 1, uiWidth - 1);
      const DWORD a = pRow0[x0], b = pRow0[x1], c = pRow1[x0], d = pRow1[x1];
      // Two channels at a time: each 8-bit channel's sum of four fits in its 16-bit lane.
      const DWORD uiEven = ((a & 0x00FF00FFu) + (b & 0x00FF00FFu) + (c & 0x00FF00FFu) + (d & 0x00FF00FFu) +
                            0x00020002u) >> 2;
      const DWORD uiOdd = (((a >> 8) & 0x00FF00FFu) + ((b >> 8) & 0x00FF00FFu) + ((c >> 8) & 0x00FF00FFu) +
                           ((d >> 8) & 0x00FF00FFu) + 0x00020002u) >> 2;
      pOut[x] = (uiEven & 0x00FF00FFu) | ((uiOdd & 0x00FF00FFu) << 8);
    }
  }
  return out;
}

// Writes level 0 of a face and makes every smaller level from it on the CPU (a 2 x 2 box filter), which costs far
// less than the driver's mipmap generation on a software renderer.
void uploadWithMipmaps(CD3D9TextureBase* pBase, UINT uiFace, std::vector<DWORD> texels) {
  pBase->upload(uiFace, 0, texels.data());
  for (UINT uiLevel = 1; uiLevel < pBase->desc().uiLevels; ++uiLevel) {
    texels = halved(texels, pBase->levelWidth(uiLevel - 1), pBase->levelHeight(uiLevel - 1), pBase->levelWidth(uiLevel),
                    pBase->levelHeight(uiLevel));
    pBase->upload(uiFace, uiLevel, texels.data());
  }
}

void applyColorKeyAndFormat(std::vector<DWORD>* pTexels, D3DCOLOR colorKey, D3DFORMAT eFormat) {
  if (colorKey == 0 && eFormat != D3DFMT_X8R8G8B8) return;
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
  uploadWithMipmaps(D3D9TextureOf(pTexture), 0, std::move(texels));
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
    uploadWithMipmaps(pBase, uiIndex, std::move(texels));
  }
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
