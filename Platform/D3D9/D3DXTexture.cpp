// D3DX textures: image files in memory decoded with libpng (PNG) and SDL2_image (BMP, TGA), texture saving, and
// D3DXCreateTexture.
#include <SDL.h>
#include <SDL_image.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Common/PlatformFiles.h"
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

constexpr int gc_iMAX_IMAGE_SIDE = 8192;

// Why the calling thread's last image was refused (cleared as each load starts).
thread_local std::string t_lastProblem;

bool refuse(const std::string& why) {
  t_lastProblem = why;
  return false;
}

// A PNG file in memory as libpng reads it, and the reason it was refused. Its errors are taken here instead of
// being printed: the refusal says them.
struct SPngInput {
  const BYTE* pData = nullptr;
  size_t uiSize = 0;
  size_t uiAt = 0;
  char szWhy[160] = "";
};

[[noreturn]] void pngFailed(png_structp pPng, png_const_charp pMessage) {
  auto* pInput = static_cast<SPngInput*>(png_get_error_ptr(pPng));
  if (pInput->szWhy[0] == '\0') std::snprintf(pInput->szWhy, sizeof(pInput->szWhy), "libpng error: %s", pMessage);
  png_longjmp(pPng, 1);
}

// Warnings (an ancillary chunk left out, a profile libpng doubts) do not refuse the image.
void pngWarned(png_structp, png_const_charp) {}

void pngRead(png_structp pPng, png_bytep pOut, size_t uiCount) {
  auto* pInput = static_cast<SPngInput*>(png_get_io_ptr(pPng));
  if (uiCount > pInput->uiSize - pInput->uiAt) {
    std::snprintf(pInput->szWhy, sizeof(pInput->szWhy), "the PNG data ends at byte %zu, inside its image",
                  pInput->uiSize);
    png_error(pPng, pInput->szWhy);
  }
  std::memcpy(pOut, pInput->pData + pInput->uiAt, uiCount);
  pInput->uiAt += uiCount;
}

// A PNG file as 0xAARRGGBB texels, converted as SDL2_image converts it (16-bit channels cut to 8, palettes and grey
// expanded, transparency from a tRNS chunk as alpha, no gamma correction). Only plain data lives here between
// setjmp and a libpng error: the texels and row pointers belong to the caller's objects.
bool decodePng(SPngInput* pInput, SImage* pImage, std::vector<png_bytep>* pRows) {
  png_structp pPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, pInput, &pngFailed, &pngWarned);
  png_infop pInfo = pPng != nullptr ? png_create_info_struct(pPng) : nullptr;
  if (pInfo == nullptr) {
    png_destroy_read_struct(&pPng, nullptr, nullptr);
    return refuse("libpng error: out of memory");
  }
  if (setjmp(png_jmpbuf(pPng)) != 0) {
    png_destroy_read_struct(&pPng, &pInfo, nullptr);
    return refuse(pInput->szWhy);
  }
  png_set_read_fn(pPng, pInput, &pngRead);
  png_set_user_limits(pPng, gc_iMAX_IMAGE_SIDE, gc_iMAX_IMAGE_SIDE);
  png_read_info(pPng, pInfo);
  const int iColour = png_get_color_type(pPng, pInfo);
  const bool bTransparency = png_get_valid(pPng, pInfo, PNG_INFO_tRNS) != 0;
  pImage->bAlpha = (iColour & PNG_COLOR_MASK_ALPHA) != 0 || bTransparency;
  png_set_strip_16(pPng);
  png_set_packing(pPng);
  png_set_expand(pPng);  // palette to RGB, grey of 1 to 4 bits to 8, tRNS to alpha
  if ((iColour & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(pPng);
  if (!pImage->bAlpha) png_set_filler(pPng, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(pPng);  // B, G, R, A in memory: a little-endian 0xAARRGGBB word
  png_set_interlace_handling(pPng);
  png_read_update_info(pPng, pInfo);
  pImage->uiWidth = png_get_image_width(pPng, pInfo);
  pImage->uiHeight = png_get_image_height(pPng, pInfo);
  if (png_get_rowbytes(pPng, pInfo) != static_cast<size_t>(pImage->uiWidth) * 4) {
    png_error(pPng, "the image does not convert to 8-bit BGRA");
  }
  pImage->texels.resize(static_cast<size_t>(pImage->uiWidth) * pImage->uiHeight);
  pRows->resize(pImage->uiHeight);
  for (UINT y = 0; y < pImage->uiHeight; ++y) {
    (*pRows)[y] = reinterpret_cast<png_bytep>(&pImage->texels[static_cast<size_t>(y) * pImage->uiWidth]);
  }
  png_read_image(pPng, pRows->data());
  png_destroy_read_struct(&pPng, &pInfo, nullptr);
  return true;
}

bool decode(LPCVOID pData, UINT uiSize, SImage* pImage) {
  if (pData == nullptr || uiSize == 0) return refuse("it is empty");
  if (uiSize > static_cast<UINT>(INT32_MAX)) return refuse("it is larger than 2 GiB");
  pImage->eFileFormat = D3DXImageFileFormatOf(pData, uiSize);
  if (!D3DXImageHeaderPlausible(pData, uiSize, pImage->eFileFormat)) {
    const std::string size = std::to_string(uiSize);
    return refuse(pImage->eFileFormat == D3DXIFF_TGA
                      ? "it is neither a BMP nor a PNG file, and no TGA image of " + size + " bytes"
                      : std::string("its ") + (pImage->eFileFormat == D3DXIFF_BMP ? "BMP" : "PNG") +
                            " header does not fit its " + size + " bytes");
  }
  if (pImage->eFileFormat == D3DXIFF_PNG) {
    SPngInput input{static_cast<const BYTE*>(pData), uiSize};
    std::vector<png_bytep> rows;
    return decodePng(&input, pImage, &rows);
  }
  SDL_RWops* pRw = SDL_RWFromConstMem(pData, static_cast<int>(uiSize));
  if (pRw == nullptr) return refuse(std::string("SDL: ") + SDL_GetError());
  SDL_ClearError();
  SurfacePtr decoded(pImage->eFileFormat == D3DXIFF_BMP ? IMG_LoadBMP_RW(pRw) : IMG_LoadTGA_RW(pRw));
  SDL_RWclose(pRw);
  if (decoded == nullptr) {
    const std::string error = SDL_GetError();
    return refuse(std::string("SDL_image: ") + (error.empty() ? "cannot decode it" : error));
  }
  if (decoded->w <= 0 || decoded->h <= 0 || decoded->w > gc_iMAX_IMAGE_SIDE || decoded->h > gc_iMAX_IMAGE_SIDE) {
    return refuse("its size " + std::to_string(decoded->w) + " x " + std::to_string(decoded->h) +
                  " is not within 1 to 8192 texels a side");
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
    if (SDL_ConvertPixels(decoded->w, decoded->h, uiFormat, decoded->pixels, decoded->pitch,
                          SDL_PIXELFORMAT_ARGB8888, pImage->texels.data(), decoded->w * 4) != 0) {
      return refuse(std::string("SDL: ") + SDL_GetError());
    }
    return true;
  }
  SurfacePtr converted(SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_ARGB8888, 0));
  if (converted == nullptr) return refuse(std::string("SDL: ") + SDL_GetError());
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

// The file a texture is saved to, through a descriptor of a new or emptied regular file (a pipe in its place is
// refused at once, never written to); null with why otherwise.
SDL_RWops* openForSaving(const std::string& path, std::string* pWhy) {
  SPlatformFileProblem problem;
  const int iFd = PlatformOpenFileForWriting(path.c_str(), &problem);
  if (iFd < 0) {
    *pWhy = "it " + PlatformDescribeFileProblem(problem);
    return nullptr;
  }
  std::FILE* pFile = ::fdopen(iFd, "wb");
  if (pFile == nullptr) {
    *pWhy = std::strerror(errno);
    ::close(iFd);
    return nullptr;
  }
  SDL_RWops* pRw = SDL_RWFromFP(pFile, SDL_TRUE);
  if (pRw == nullptr) {
    *pWhy = SDL_GetError();
    std::fclose(pFile);
  }
  return pRw;
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
  std::string why;
  SDL_RWops* pRw = openForSaving(path, &why);
  if (pRw != nullptr) {
    bool bWritten = (eFormat == D3DXIFF_PNG ? IMG_SavePNG_RW(written.get(), pRw, 0)
                                            : SDL_SaveBMP_RW(written.get(), pRw, 0)) == 0;
    if (!bWritten) why = SDL_GetError();
    // Closing flushes: a failure there is a failed write too.
    if (SDL_RWclose(pRw) != 0 && bWritten) {
      bWritten = false;
      why = SDL_GetError();
    }
    if (bWritten) return D3D_OK;
  }
  std::fprintf(stderr, "D3D9 stand-in: cannot write \"%s\": %s\n", path.c_str(), why.c_str());
  return E_FAIL;
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
  t_lastProblem.clear();
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
  t_lastProblem.clear();
  if (ppCubeTexture == nullptr || pDevice == nullptr || pPalette != nullptr) return D3DERR_INVALIDCALL;
  *ppCubeTexture = nullptr;
  SImage image;
  if (!decode(pSrcData, uiSrcDataSize, &image)) return D3DXERR_INVALIDDATA;
  if (image.uiWidth != image.uiHeight * 6) {
    refuse("its " + std::to_string(image.uiWidth) + " x " + std::to_string(image.uiHeight) +
           " texels are not six square faces side by side");
    return D3DXERR_INVALIDDATA;
  }
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

const char* D3DXGetLastImageProblem() { return t_lastProblem.c_str(); }

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
