#include "Platform/D3D9/D3DXImageCheck.h"

#include <cstdint>
#include <cstring>

namespace {

uint32_t littleEndian(const BYTE* p, int iBytes) {
  uint32_t uiValue = 0;
  for (int i = iBytes - 1; i >= 0; --i) uiValue = (uiValue << 8) | p[i];
  return uiValue;
}

constexpr UINT gc_uiMAX_IMAGE_SIDE = 8192;

bool sideOk(int64_t iSide) { return iSide != 0 && (iSide < 0 ? -iSide : iSide) <= gc_uiMAX_IMAGE_SIDE; }

// Texels a run-length coded byte may stand for at most (a TGA packet of 2 bytes gives 128 texels, a BMP run of 2
// bytes 255): a header claiming more than this many texels for the bytes it has lies.
constexpr uint64_t gc_uiMAX_TEXELS_PER_RLE_BYTE = 128;
// Deflate's largest ratio (about 1032 to 1): the most bytes of raw PNG rows one byte of the file can give.
constexpr uint64_t gc_uiMAX_DEFLATE_RATIO = 1032;

}  // namespace

bool D3DXImageHeaderPlausible(const void* pData, size_t uiFileSize, D3DXIMAGE_FILEFORMAT eFormat) {
  const BYTE* p = static_cast<const BYTE*>(pData);
  if (p == nullptr || uiFileSize > UINT32_MAX) return false;
  const UINT uiSize = static_cast<UINT>(uiFileSize);
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

D3DXIMAGE_FILEFORMAT D3DXImageFileFormatOf(const void* pData, size_t uiSize) {
  const BYTE* p = static_cast<const BYTE*>(pData);
  if (p != nullptr && uiSize >= 2 && p[0] == 'B' && p[1] == 'M') return D3DXIFF_BMP;
  if (p != nullptr && uiSize >= 4 && std::memcmp(p, "\x89PNG", 4) == 0) return D3DXIFF_PNG;
  return D3DXIFF_TGA;
}
