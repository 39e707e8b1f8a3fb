// Textures of the stand-in and of D3DX: image files in memory (BMP, PNG, TGA) with their formats, sizes and mip
// chains, colour keys, the reasons bad files are refused, cube strips, locking and the lock rules, saving as PNG, and
// D3DXCreateTexture.
#include <gtest/gtest.h>

#include <SDL.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Platform/D3D9/D3DX9.h"
#include "Tests/Platform/D3D9/D3D9TestDevice.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// A 3 x 2 picture: red, green, blue / white, half-transparent grey, transparent.
const std::vector<uint32_t> gc_picture = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu,
                                          0xFFFFFFFFu, 0x80404040u, 0x00000000u};

class D3DXTextureTest : public D3D9Device {
 protected:
  void SetUp() override {
    D3D9Device::SetUp();
    createDevice();
  }
  void TearDown() override {
    for (IUnknown* pObject : m_objects) pObject->Release();
    m_objects.clear();
    D3D9Device::TearDown();
  }

  HRESULT load(const std::vector<uint8_t>& file, IDirect3DTexture9** ppTexture, UINT uiWidth = D3DX_DEFAULT_NONPOW2,
               UINT uiHeight = D3DX_DEFAULT_NONPOW2, UINT uiLevels = 1, D3DCOLOR colorKey = 0,
               D3DXIMAGE_INFO* pInfo = nullptr) {
    const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
        mp_pDevice, file.data(), static_cast<UINT>(file.size()), uiWidth, uiHeight, uiLevels, 0, D3DFMT_UNKNOWN,
        D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, colorKey, pInfo, nullptr, ppTexture);
    if (SUCCEEDED(hr)) m_objects.push_back(*ppTexture);
    return hr;
  }

  static std::vector<uint32_t> texels(IDirect3DTexture9* pTexture, UINT uiLevel = 0) {
    D3DSURFACE_DESC desc{};
    pTexture->GetLevelDesc(uiLevel, &desc);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(pTexture->LockRect(uiLevel, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint32_t> out(static_cast<size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y) {
      std::memcpy(&out[y * desc.Width], static_cast<const BYTE*>(locked.pBits) + y * static_cast<UINT>(locked.Pitch),
                  desc.Width * 4);
    }
    pTexture->UnlockRect(uiLevel);
    return out;
  }

  std::vector<IUnknown*> m_objects;
};

// Each file type gives its texels, top row first; alpha decides between A8R8G8B8 and X8R8G8B8.
TEST_F(D3DXTextureTest, ImageFilesGiveTheirTexelsAndFormats) {
  struct SCase {
    ETestImageFormat eFormat;
    D3DXIMAGE_FILEFORMAT eFile;
    D3DFORMAT eTexture;
  };
  for (const SCase& c : {SCase{ETestImageFormat::PNG, D3DXIFF_PNG, D3DFMT_A8R8G8B8},
                         SCase{ETestImageFormat::PNG_OPAQUE, D3DXIFF_PNG, D3DFMT_X8R8G8B8},
                         SCase{ETestImageFormat::BMP, D3DXIFF_BMP, D3DFMT_X8R8G8B8},
                         SCase{ETestImageFormat::TGA, D3DXIFF_TGA, D3DFMT_A8R8G8B8}}) {
    IDirect3DTexture9* pTexture = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(load(KvTestEncodeImage(gc_picture, 3, 2, c.eFormat), &pTexture, D3DX_DEFAULT_NONPOW2,
                   D3DX_DEFAULT_NONPOW2, 1, 0, &info),
              D3D_OK);
    EXPECT_EQ(info.ImageFileFormat, c.eFile);
    EXPECT_EQ(info.Width, 3u);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(pTexture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Format, c.eTexture);
    EXPECT_EQ(desc.Width, 3u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    std::vector<uint32_t> expected = gc_picture;
    if (c.eTexture == D3DFMT_X8R8G8B8) {
      // Without alpha in the file, the colours stay and alpha reads as opaque.
      for (uint32_t& texel : expected) texel |= 0xFF000000u;
    }
    EXPECT_EQ(texels(pTexture), expected) << static_cast<int>(c.eFormat);
  }
}

// Sizes: the file's, rounded up to powers of two, or given; full mip chains halve down to 1 x 1.
TEST_F(D3DXTextureTest, SizesAndMipChainsFollowTheRequest) {
  const std::vector<uint8_t> file = KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::PNG);
  IDirect3DTexture9* pTexture = nullptr;
  ASSERT_EQ(load(file, &pTexture, D3DX_DEFAULT, D3DX_DEFAULT, 0), D3D_OK);
  D3DSURFACE_DESC desc{};
  pTexture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(desc.Height, 2u);
  EXPECT_EQ(pTexture->GetLevelCount(), 3u);
  pTexture->GetLevelDesc(2, &desc);
  EXPECT_EQ(desc.Width, 1u);
  EXPECT_EQ(desc.Height, 1u);
  EXPECT_EQ(pTexture->GetLevelDesc(3, &desc), D3DERR_INVALIDCALL);

  // A uniform colour stays that colour down the chain.
  const std::vector<uint32_t> grey(16 * 8, 0xFF808080u);
  ASSERT_EQ(load(KvTestEncodeImage(grey, 16, 8, ETestImageFormat::PNG), &pTexture, D3DX_DEFAULT_NONPOW2,
                 D3DX_DEFAULT_NONPOW2, 0),
            D3D_OK);
  EXPECT_EQ(pTexture->GetLevelCount(), 5u);
  EXPECT_EQ(texels(pTexture, 3), std::vector<uint32_t>(2, 0xFF808080u));

  ASSERT_EQ(load(file, &pTexture, 6, 4, D3DX_FROM_FILE), D3D_OK);
  pTexture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 6u);
  EXPECT_EQ(pTexture->GetLevelCount(), 1u);
}

// Each mip level is made from the one above: a texel is the mean of the 2 x 2 block it covers, channel by channel
// (within 1 of the exact mean), and a side already 1 texel long keeps its texels.
TEST_F(D3DXTextureTest, MipLevelsAreTheMeansOfTheLevelAbove) {
  const std::vector<uint32_t> picture = {0xFF102030u, 0x80405061u, 0x40FF0000u, 0x0000FF00u,
                                         0x20708090u, 0x11A0B0C3u, 0xC00000FFu, 0xFFFFFFFFu};
  IDirect3DTexture9* pTexture = nullptr;
  ASSERT_EQ(load(KvTestEncodeImage(picture, 4, 2, ETestImageFormat::PNG), &pTexture, D3DX_DEFAULT_NONPOW2,
                 D3DX_DEFAULT_NONPOW2, 0),
            D3D_OK);
  ASSERT_EQ(pTexture->GetLevelCount(), 3u);
  struct SLevel {
    UINT uiLevel;
    std::vector<std::vector<uint32_t>> blocks;  // per texel of the level, the texels it is the mean of
  };
  const std::vector<uint32_t> level1 = texels(pTexture, 1);
  ASSERT_EQ(level1.size(), 2u);
  for (const SLevel& level : {SLevel{1, {{picture[0], picture[1], picture[4], picture[5]},
                                         {picture[2], picture[3], picture[6], picture[7]}}},
                              SLevel{2, {{level1[0], level1[1]}}}}) {
    const std::vector<uint32_t> made = texels(pTexture, level.uiLevel);
    ASSERT_EQ(made.size(), level.blocks.size());
    for (size_t i = 0; i < made.size(); ++i) {
      for (int iShift = 0; iShift < 32; iShift += 8) {
        double fSum = 0.0;
        for (uint32_t texel : level.blocks[i]) fSum += (texel >> iShift) & 0xFF;
        EXPECT_NEAR((made[i] >> iShift) & 0xFF, fSum / static_cast<double>(level.blocks[i].size()), 1.0)
            << "level " << level.uiLevel << " texel " << i << " bits " << iShift;
      }
    }
  }
}

// A colour key makes texels of that colour transparent black; bytes that are no image are refused (and so are the
// rows of RefusedImage below: text, a BMP header whose pixel data lies far past the end).
TEST_F(D3DXTextureTest, ColourKeysAndBadFiles) {
  IDirect3DTexture9* pTexture = nullptr;
  ASSERT_EQ(load(KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::PNG), &pTexture, D3DX_DEFAULT_NONPOW2,
                 D3DX_DEFAULT_NONPOW2, 1, 0xFF00FF00u),
            D3D_OK);
  EXPECT_EQ(texels(pTexture)[1], 0u);
  EXPECT_EQ(texels(pTexture)[0], 0xFFFF0000u);

  std::vector<uint8_t> truncated = KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::PNG);
  truncated.resize(truncated.size() / 2);
  EXPECT_EQ(load(truncated, &pTexture), D3DXERR_INVALIDDATA);
  EXPECT_EQ(load({}, &pTexture), D3DXERR_INVALIDDATA);
  // Headers whose promises the file cannot keep are refused before a decoder allocates what they claim: sizes over
  // 8192 texels.
  std::vector<uint8_t> png = KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::PNG);
  png[17] = 0x40;
  EXPECT_EQ(load(png, &pTexture), D3DXERR_INVALIDDATA);
  std::vector<uint8_t> tga = KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::TGA);
  tga[15] = 0x30;
  EXPECT_EQ(load(tga, &pTexture), D3DXERR_INVALIDDATA);
}

// The offset of a PNG file's first chunk of a type (its length word), from the signature on.
size_t pngChunk(const std::vector<uint8_t>& png, const char* pType) {
  for (size_t uiAt = 8; uiAt + 8 <= png.size();) {
    const size_t uiLength = (size_t{png[uiAt]} << 24) | (size_t{png[uiAt + 1]} << 16) | (size_t{png[uiAt + 2]} << 8) |
                            png[uiAt + 3];
    if (std::memcmp(&png[uiAt + 4], pType, 4) == 0) return uiAt;
    uiAt += 12 + uiLength;
  }
  return png.size();
}

// Bytes that are refused say why, in the decoder's words for what it decoded (libpng's for PNG files, SDL2_image's
// for TGA), and the reason is there only for the load that was refused.
struct SRefusedImage {
  const char* pName;
  std::vector<uint8_t> (*pfnMake)();
  bool bCube;
  const char* pWhy;  // D3DXGetLastImageProblem holds it
};

std::vector<uint8_t> pngOfThePicture() { return KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::PNG); }

const SRefusedImage gc_aRefusedImages[] = {
    {"Text", [] { return std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}; }, false,
     "it is neither a BMP nor a PNG file, and no TGA image of 12 bytes"},
    {"PlaylistNamingAFile", [] {
       const std::string text = "#EXTM3U\n#EXTINF:2.0,\npicture.png\n";
       return std::vector<uint8_t>(text.begin(), text.end());
     },
     false, "it is neither a BMP nor a PNG file, and no TGA image of 33 bytes"},
    {"PngCut", [] {
       std::vector<uint8_t> png = pngOfThePicture();
       png.resize(pngChunk(png, "IDAT") + 10);
       return png;
     },
     false, "the PNG data ends at byte "},
    {"PngHeaderChecksumWrong", [] {
       std::vector<uint8_t> png = pngOfThePicture();
       png[29] ^= 0xFF;  // the IHDR chunk's CRC
       return png;
     },
     false, "libpng error: IHDR: CRC error"},
    {"PngPixelChecksumZeroed", [] {
       std::vector<uint8_t> png = pngOfThePicture();
       const size_t uiIdat = pngChunk(png, "IDAT");
       const size_t uiLength = (size_t{png[uiIdat + 2]} << 8) | png[uiIdat + 3];
       std::fill_n(png.begin() + static_cast<std::ptrdiff_t>(uiIdat + 8 + uiLength - 4), 4, 0);  // zlib's Adler-32
       return png;
     },
     false, "libpng error: IDAT: incorrect data check"},
    {"BmpHeaderPastTheEnd", [] {
       std::vector<uint8_t> bmp = KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::BMP);
       bmp[13] = 0x5B;  // the pixel data's offset
       return bmp;
     },
     false, "its BMP header does not fit its "},
    {"TgaOfAnUnsupportedDepth", [] {
       std::vector<uint8_t> tga = KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::TGA);
       tga[2] = 3;  // grey, which SDL2_image reads only at 8 bits
       return tga;
     },
     false, "SDL_image: Unsupported TGA format"},
    {"CubeOfTheWrongShape", pngOfThePicture, true, "its 3 x 2 texels are not six square faces side by side"},
};

void PrintTo(const SRefusedImage& image, std::ostream* pOut) { *pOut << image.pName; }

class RefusedImage : public D3DXTextureTest, public ::testing::WithParamInterface<SRefusedImage> {};

TEST_P(RefusedImage, SaysTheDecodersReason) {
  const SRefusedImage& refused = GetParam();
  const std::vector<uint8_t> file = refused.pfnMake();
  IDirect3DBaseTexture9* pTexture = nullptr;
  const auto loadAs = [&](const std::vector<uint8_t>& bytes, bool bCube) {
    return bCube ? D3DXCreateCubeTextureFromFileInMemoryEx(
                       mp_pDevice, bytes.data(), static_cast<UINT>(bytes.size()), 0, 0, 0, D3DFMT_UNKNOWN,
                       D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                       reinterpret_cast<IDirect3DCubeTexture9**>(&pTexture))
                 : D3DXCreateTextureFromFileInMemoryEx(mp_pDevice, bytes.data(), static_cast<UINT>(bytes.size()),
                                                       D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                                       D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                       nullptr, nullptr,
                                                       reinterpret_cast<IDirect3DTexture9**>(&pTexture));
  };
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(loadAs(file, refused.bCube), D3DXERR_INVALIDDATA);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(pTexture, nullptr);
  const std::string why = D3DXGetLastImageProblem();
  EXPECT_EQ(why.rfind(refused.pWhy, 0), 0u) << why;
  EXPECT_EQ(said, "") << "the reason is the caller's to say";
  ASSERT_EQ(loadAs(pngOfThePicture(), false), D3D_OK);
  pTexture->Release();
  EXPECT_STREQ(D3DXGetLastImageProblem(), "");
}

INSTANTIATE_TEST_SUITE_P(EachKind, RefusedImage, ::testing::ValuesIn(gc_aRefusedImages),
                         [](const ::testing::TestParamInfo<SRefusedImage>& info) {
                           return std::string(info.param.pName);
                         });

// The largest single request made through SDL's allocator while it is watched. The watch wraps the functions SDL
// had, so blocks allocated before it and freed during it (or the other way round) stay with the same allocator.
class CLargestSdlAllocation {
 public:
  CLargestSdlAllocation() {
    SDL_GetMemoryFunctions(&s_pMalloc, &s_pCalloc, &s_pRealloc, &s_pFree);
    s_uiLargest = 0;
    SDL_SetMemoryFunctions(watchMalloc, watchCalloc, watchRealloc, s_pFree);
  }
  ~CLargestSdlAllocation() { SDL_SetMemoryFunctions(s_pMalloc, s_pCalloc, s_pRealloc, s_pFree); }
  size_t largest() const { return s_uiLargest; }

 private:
  static void note(size_t uiSize) { s_uiLargest = std::max(s_uiLargest, uiSize); }
  static void* watchMalloc(size_t uiSize) {
    note(uiSize);
    return s_pMalloc(uiSize);
  }
  static void* watchCalloc(size_t uiCount, size_t uiSize) {
    note(uiCount * uiSize);
    return s_pCalloc(uiCount, uiSize);
  }
  static void* watchRealloc(void* pBlock, size_t uiSize) {
    note(uiSize);
    return s_pRealloc(pBlock, uiSize);
  }
  static inline SDL_malloc_func s_pMalloc = nullptr;
  static inline SDL_calloc_func s_pCalloc = nullptr;
  static inline SDL_realloc_func s_pRealloc = nullptr;
  static inline SDL_free_func s_pFree = nullptr;
  static inline size_t s_uiLargest = 0;
};

void putLittle(std::vector<uint8_t>* pFile, size_t uiOffset, uint32_t uiValue, int iBytes) {
  for (int i = 0; i < iBytes; ++i) (*pFile)[uiOffset + static_cast<size_t>(i)] = static_cast<uint8_t>(uiValue >> (8 * i));
}

uint32_t crc32Of(const uint8_t* p, size_t uiSize) {
  uint32_t uiCrc = 0xFFFFFFFFu;
  for (size_t i = 0; i < uiSize; ++i) {
    uiCrc ^= p[i];
    for (int k = 0; k < 8; ++k) uiCrc = (uiCrc >> 1) ^ (0xEDB88320u & (0u - (uiCrc & 1u)));
  }
  return ~uiCrc;
}

// Small files whose headers claim 8192 x 8192 texels their bytes cannot hold are refused before the decoder
// allocates the picture; files that hold what they claim still load, a highly compressed one included.
TEST_F(D3DXTextureTest, HeadersClaimingMoreThanTheFileHoldsAllocateNothingLarge) {
  struct SCase {
    const char* pWhat;
    std::vector<uint8_t> file;
  };
  std::vector<SCase> cases;
  std::vector<uint8_t> bmp(890, 0);  // file header, 40-byte info header, then far too few texels
  bmp[0] = 'B';
  bmp[1] = 'M';
  putLittle(&bmp, 2, 890, 4);
  putLittle(&bmp, 10, 54, 4);
  putLittle(&bmp, 14, 40, 4);
  putLittle(&bmp, 18, 8192, 4);
  putLittle(&bmp, 22, 8192, 4);
  putLittle(&bmp, 26, 1, 2);
  putLittle(&bmp, 28, 32, 2);
  cases.push_back({"BMP 8192x8192x32 in 890 bytes", bmp});
  std::vector<uint8_t> tga = KvTestEncodeImage(std::vector<uint32_t>(64, 0xFF112233u), 8, 8, ETestImageFormat::TGA);
  putLittle(&tga, 12, 8192, 2);
  putLittle(&tga, 14, 8192, 2);
  cases.push_back({"raw TGA 8192x8192", tga});
  tga[2] = 10;  // run-length coded: still at most 128 texels a byte
  cases.push_back({"RLE TGA 8192x8192", tga});
  std::vector<uint8_t> png = KvTestEncodeImage(std::vector<uint32_t>(64, 0xFF112233u), 8, 8, ETestImageFormat::PNG);
  for (size_t uiAt : {16u, 20u}) {
    png[uiAt] = 0;
    png[uiAt + 1] = 0;
    png[uiAt + 2] = 0x20;
    png[uiAt + 3] = 0;
  }
  const uint32_t uiCrc = crc32Of(png.data() + 12, 17);  // "IHDR" and its 13 bytes, so the decoder reads on
  for (int i = 0; i < 4; ++i) png[29 + static_cast<size_t>(i)] = static_cast<uint8_t>(uiCrc >> (24 - 8 * i));
  cases.push_back({"PNG 8192x8192", png});
  for (const SCase& c : cases) {
    IDirect3DTexture9* pTexture = nullptr;
    CLargestSdlAllocation watch;
    EXPECT_EQ(load(c.file, &pTexture), D3DXERR_INVALIDDATA) << c.pWhat;
    EXPECT_LT(watch.largest(), size_t{1} << 20) << c.pWhat;
  }
  IDirect3DTexture9* pTexture = nullptr;
  EXPECT_EQ(load(KvTestEncodeImage(std::vector<uint32_t>(1024 * 1024, 0xFF336699u), 1024, 1024,
                                   ETestImageFormat::PNG),
                 &pTexture),
            D3D_OK);
  for (ETestImageFormat eFormat : {ETestImageFormat::BMP, ETestImageFormat::TGA}) {
    EXPECT_EQ(load(KvTestEncodeImage(std::vector<uint32_t>(300 * 7, 0xFF336699u), 300, 7, eFormat), &pTexture), D3D_OK)
        << static_cast<int>(eFormat);
  }
}

// A strip of six faces becomes a cube texture; other shapes are refused; a cube is neither locked nor saved.
TEST_F(D3DXTextureTest, CubeTexturesComeFromAStripOfSixFaces) {
  std::vector<uint32_t> strip(6 * 4 * 4);
  for (size_t i = 0; i < strip.size(); ++i) strip[i] = 0xFF000000u | static_cast<uint32_t>((i % 24) / 4 * 40);
  const std::vector<uint8_t> file = KvTestEncodeImage(strip, 24, 4, ETestImageFormat::PNG);
  IDirect3DCubeTexture9* pCube = nullptr;
  ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(mp_pDevice, file.data(), static_cast<UINT>(file.size()), 0,
                                                    D3DX_FROM_FILE, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                    D3DX_DEFAULT, 0, nullptr, nullptr, &pCube),
            D3D_OK);
  m_objects.push_back(pCube);
  EXPECT_EQ(pCube->GetType(), D3DRTYPE_CUBETEXTURE);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(pCube->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(pCube->GetLevelCount(), 1u);
  EXPECT_EQ(D3DXSaveTextureToFileA((KvTestTempDir("cube") + "/cube.png").c_str(), D3DXIFF_PNG, pCube, nullptr),
            D3DERR_INVALIDCALL);

  const std::vector<uint8_t> square = KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::PNG);
  IDirect3DCubeTexture9* pNone = nullptr;
  EXPECT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(mp_pDevice, square.data(), static_cast<UINT>(square.size()), 0,
                                                    0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                                    0, nullptr, nullptr, &pNone),
            D3DXERR_INVALIDDATA);
}

// A lock hands out the level's texels; what is written reaches the texture at UnlockRect (as a draw shows), and
// read-only locks write nothing back. Locks follow Direct3D 9's rules.
TEST_F(D3DXTextureTest, LockingFollowsTheRules) {
  IDirect3DTexture9* pTexture = nullptr;
  ASSERT_EQ(mp_pDevice->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pTexture, nullptr), D3D_OK);
  m_objects.push_back(pTexture);
  EXPECT_EQ(pTexture->GetLevelCount(), 3u);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(pTexture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 16);
  EXPECT_EQ(pTexture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
  std::fill_n(static_cast<uint32_t*>(locked.pBits), 16, 0xFF123456u);
  ASSERT_EQ(pTexture->UnlockRect(0), D3D_OK);
  EXPECT_EQ(pTexture->UnlockRect(0), D3DERR_INVALIDCALL);
  EXPECT_EQ(texels(pTexture)[15], 0xFF123456u);

  ASSERT_EQ(pTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  static_cast<uint32_t*>(locked.pBits)[0] = 0;
  pTexture->UnlockRect(0);
  EXPECT_EQ(texels(pTexture)[0], 0xFF123456u) << "a read-only lock writes nothing back";

  // Through the level's surface, which keeps the texture alive.
  IDirect3DSurface9* pSurface = nullptr;
  ASSERT_EQ(pTexture->GetSurfaceLevel(1, &pSurface), D3D_OK);
  D3DSURFACE_DESC desc{};
  pSurface->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 2u);
  ASSERT_EQ(pSurface->LockRect(&locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
  std::fill_n(static_cast<uint32_t*>(locked.pBits), 4, 0xFFABCDEFu);
  pSurface->UnlockRect();
  pSurface->Release();
  EXPECT_EQ(texels(pTexture, 1), std::vector<uint32_t>(4, 0xFFABCDEFu));

  IDirect3DTexture9* pTarget = nullptr;
  ASSERT_EQ(mp_pDevice->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &pTarget,
                                      nullptr),
            D3D_OK);
  EXPECT_EQ(pTarget->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "render targets are not lockable";
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 1u);
  pTarget->Release();
  IDirect3DTexture9* pDynamic = nullptr;
  ASSERT_EQ(mp_pDevice->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &pDynamic, nullptr),
            D3D_OK);
  EXPECT_EQ(pDynamic->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
  pDynamic->UnlockRect(0);
  pDynamic->Release();
  IDirect3DTexture9* pRefused = nullptr;
  EXPECT_EQ(mp_pDevice->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pRefused,
                                      nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(mp_pDevice->CreateTexture(4, 4, 1, 0, D3DFMT_D24S8, D3DPOOL_DEFAULT, &pRefused, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(mp_pDevice->CreateTexture(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pRefused, nullptr),
            D3DERR_INVALIDCALL)
      << "more levels than the chain has";
}

// Saving writes level 0 as PNG, which loads back to the same texels; a texture without alpha is saved opaque.
TEST_F(D3DXTextureTest, SavedPngLoadsBackTheSame) {
  const std::string dir = KvTestTempDir("save");
  IDirect3DTexture9* pTexture = nullptr;
  ASSERT_EQ(load(KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::TGA), &pTexture), D3D_OK);
  const std::u16string widePath = u"" + std::u16string(dir.begin(), dir.end()) + u"/wide \u00e9.png";
  ASSERT_EQ(D3DXSaveTextureToFileW(reinterpret_cast<LPCWSTR>(widePath.c_str()), D3DXIFF_PNG, pTexture, nullptr),
            D3D_OK);
  std::ifstream in(dir + "/wide \xc3\xa9.png", std::ios::binary);
  ASSERT_TRUE(in.good());
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes[1], 'P');
  IDirect3DTexture9* pBack = nullptr;
  ASSERT_EQ(load(bytes, &pBack), D3D_OK);
  EXPECT_EQ(texels(pBack), gc_picture);

  IDirect3DTexture9* pOpaque = nullptr;
  ASSERT_EQ(load(KvTestEncodeImage(gc_picture, 3, 2, ETestImageFormat::BMP), &pOpaque), D3D_OK);
  const std::string opaquePath = dir + "/opaque.png";
  ASSERT_EQ(D3DXSaveTextureToFileA(opaquePath.c_str(), D3DXIFF_PNG, pOpaque, nullptr), D3D_OK);
  std::ifstream opaqueIn(opaquePath, std::ios::binary);
  const std::vector<uint8_t> opaqueBytes((std::istreambuf_iterator<char>(opaqueIn)), std::istreambuf_iterator<char>());
  IDirect3DTexture9* pOpaqueBack = nullptr;
  ASSERT_EQ(load(opaqueBytes, &pOpaqueBack), D3D_OK);
  D3DSURFACE_DESC desc{};
  pOpaqueBack->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(D3DXSaveTextureToFileA((dir + "/nope/x.png").c_str(), D3DXIFF_PNG, pOpaque, nullptr), E_FAIL);
  // A pipe in the file's place (nobody reading it) is refused at once, never waited on; a folder too.
  const std::string pipe = dir + "/pipe.png";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(D3DXSaveTextureToFileA(pipe.c_str(), D3DXIFF_PNG, pOpaque, nullptr), E_FAIL);
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_EQ(D3DXSaveTextureToFileA(dir.c_str(), D3DXIFF_BMP, pOpaque, nullptr), E_FAIL);
  EXPECT_EQ(D3DXSaveTextureToFileA((dir + "/x.dds").c_str(), D3DXIFF_DDS, pOpaque, nullptr), D3DERR_INVALIDCALL);
}

// D3DXCreateTexture fills in D3DX's defaults.
TEST_F(D3DXTextureTest, CreateTextureFillsInDefaults) {
  IDirect3DTexture9* pTexture = nullptr;
  ASSERT_EQ(D3DXCreateTexture(mp_pDevice, 0, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, &pTexture),
            D3D_OK);
  m_objects.push_back(pTexture);
  D3DSURFACE_DESC desc{};
  pTexture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 256u);
  EXPECT_EQ(desc.Height, 256u);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(pTexture->GetLevelCount(), 9u);
  IDirect3DTexture9* pDepth = nullptr;
  ASSERT_EQ(D3DXCreateTexture(mp_pDevice, 64, 32, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_D24S8, D3DPOOL_DEFAULT, &pDepth),
            D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(pDepth->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  pDepth->Release();
}

// The device holds bound textures, and a Reset unbinds them.
TEST_F(D3DXTextureTest, BoundTexturesAreHeldUntilReset) {
  IDirect3DTexture9* pTexture = nullptr;
  ASSERT_EQ(mp_pDevice->CreateTexture(2, 2, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &pTexture, nullptr),
            D3D_OK);
  ASSERT_EQ(mp_pDevice->SetTexture(3, pTexture), D3D_OK);
  EXPECT_EQ(mp_pDevice->SetTexture(16, pTexture), D3DERR_INVALIDCALL);
  EXPECT_EQ(pTexture->Release(), 1u) << "the device still holds it";
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 1u);
  D3D9TestLoseDevice(mp_pDevice);
  mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
  mp_pDevice->TestCooperativeLevel();
  ASSERT_EQ(mp_pDevice->Reset(&m_params), D3D_OK);
  IDirect3DBaseTexture9* pBound = nullptr;
  mp_pDevice->GetTexture(3, &pBound);
  EXPECT_EQ(pBound, nullptr);
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 0u);
}

}  // namespace
