// Small image files made in memory for texture tests: texels as 0xAARRGGBB words, top row first, written as PNG
// (with or without alpha), 24-bit BMP or 32-bit uncompressed TGA; and pictures compared with reference images.
// Header only; links SDL2, SDL2_image and the test framework.
#pragma once

#include <SDL.h>
#include <SDL_image.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

enum class ETestImageFormat { PNG, PNG_OPAQUE, BMP, TGA };

inline std::vector<uint8_t> KvTestEncodeImage(const std::vector<uint32_t>& texels, int iWidth, int iHeight,
                                              ETestImageFormat eFormat) {
  if (eFormat == ETestImageFormat::TGA) {
    // Header: no id, no palette, type 2 (true colour), 32 bits, origin top-left (descriptor bit 5), 8 alpha bits.
    std::vector<uint8_t> file = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 static_cast<uint8_t>(iWidth), static_cast<uint8_t>(iWidth >> 8),
                                 static_cast<uint8_t>(iHeight), static_cast<uint8_t>(iHeight >> 8), 32, 0x28};
    for (uint32_t texel : texels) {
      for (int iShift = 0; iShift < 32; iShift += 8) file.push_back(static_cast<uint8_t>(texel >> iShift));
    }
    return file;
  }
  std::vector<uint32_t> copy = texels;
  SDL_Surface* pSurface = SDL_CreateRGBSurfaceWithFormatFrom(copy.data(), iWidth, iHeight, 32, iWidth * 4,
                                                             SDL_PIXELFORMAT_ARGB8888);
  SDL_Surface* pWritten = eFormat == ETestImageFormat::PNG ? SDL_DuplicateSurface(pSurface)
                                                           : SDL_ConvertSurfaceFormat(pSurface, SDL_PIXELFORMAT_RGB24, 0);
  std::vector<uint8_t> buffer(static_cast<size_t>(iWidth) * iHeight * 4 + 4096);
  SDL_RWops* pRw = SDL_RWFromMem(buffer.data(), static_cast<int>(buffer.size()));
  const int iResult = eFormat == ETestImageFormat::BMP ? SDL_SaveBMP_RW(pWritten, pRw, 0) : IMG_SavePNG_RW(pWritten, pRw, 0);
  buffer.resize(static_cast<size_t>(SDL_RWtell(pRw)));
  SDL_RWclose(pRw);
  SDL_FreeSurface(pWritten);
  SDL_FreeSurface(pSurface);
  if (iResult != 0) throw std::runtime_error(SDL_GetError());
  return buffer;
}

// --- Pictures compared with reference images ---
//
// A reference test states its tolerance in four numbers: most pixels close, none far off, and the mean difference
// small. The first two allow another rasteriser's rounding at edges but not a moved shape; the mean catches a
// change spread thinly over many pixels (a slightly different blur) that stays within the close bound everywhere.

// A picture as 0xAARRGGBB words, top row first.
struct STestPicture {
  std::vector<uint32_t> pixels;
  int iWidth = 0;
  int iHeight = 0;
};

// Any file SDL_image reads, converted to 0xAARRGGBB; 0 x 0 when it cannot be read.
inline STestPicture KvTestLoadPicture(const std::string& path) {
  STestPicture picture;
  SDL_Surface* pLoaded = IMG_Load(path.c_str());
  if (pLoaded == nullptr) return picture;
  SDL_Surface* pSurface = SDL_ConvertSurfaceFormat(pLoaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(pLoaded);
  if (pSurface == nullptr) return picture;
  picture.iWidth = pSurface->w;
  picture.iHeight = pSurface->h;
  for (int y = 0; y < pSurface->h; ++y) {
    const uint32_t* pRow =
        reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(pSurface->pixels) + y * pSurface->pitch);
    picture.pixels.insert(picture.pixels.end(), pRow, pRow + pSurface->w);
  }
  SDL_FreeSurface(pSurface);
  return picture;
}

// The largest difference of the red, green and blue levels of two pixels (alpha ignored).
inline int KvTestChannelDistance(uint32_t a, uint32_t b) {
  int iWorst = 0;
  for (int iShift = 0; iShift < 24; iShift += 8) {
    iWorst = std::max(iWorst, std::abs(static_cast<int>((a >> iShift) & 0xFF) - static_cast<int>((b >> iShift) & 0xFF)));
  }
  return iWorst;
}

// What a picture may differ from its reference by, in levels of 0..255 per channel.
struct STestPictureTolerance {
  int iClose = 0;              // a pixel is close when none of its channels is further off than this
  double dCloseShare = 1.0;    // the share of pixels that must be close
  int iFar = 0;                // no channel of any pixel may be further off than this
  double dMeanAbsolute = 0.0;  // the mean absolute difference over every channel of every pixel may not pass this
};

// How far a picture is from its reference (same size), red, green and blue counted.
struct STestPictureDifference {
  double dCloseShare = 0.0;
  int iWorst = 0;
  double dMeanAbsolute = 0.0;
};

inline STestPictureDifference KvTestComparePictures(const STestPicture& picture, const STestPicture& reference,
                                                    int iClose) {
  STestPictureDifference difference;
  const size_t uiCount = std::min(picture.pixels.size(), reference.pixels.size());
  if (uiCount == 0) return difference;
  size_t uiClose = 0;
  uint64_t uiSum = 0;
  for (size_t i = 0; i < uiCount; ++i) {
    const uint32_t a = picture.pixels[i];
    const uint32_t b = reference.pixels[i];
    const int iDistance = KvTestChannelDistance(a, b);
    uiClose += iDistance <= iClose ? 1 : 0;
    difference.iWorst = std::max(difference.iWorst, iDistance);
    for (int iShift = 0; iShift < 24; iShift += 8) {
      uiSum += static_cast<uint64_t>(
          std::abs(static_cast<int>((a >> iShift) & 0xFF) - static_cast<int>((b >> iShift) & 0xFF)));
    }
  }
  difference.dCloseShare = static_cast<double>(uiClose) / static_cast<double>(uiCount);
  difference.dMeanAbsolute = static_cast<double>(uiSum) / static_cast<double>(uiCount * 3);
  return difference;
}

// The picture against its reference: sizes equal and every bound of the tolerance kept; the message gives all
// figures either way.
inline ::testing::AssertionResult KvTestPictureMatches(const STestPicture& picture, const STestPicture& reference,
                                                        const STestPictureTolerance& tolerance) {
  if (picture.iWidth != reference.iWidth || picture.iHeight != reference.iHeight || picture.pixels.empty() ||
      picture.pixels.size() != reference.pixels.size()) {
    return ::testing::AssertionFailure() << "size " << picture.iWidth << " x " << picture.iHeight
                                         << ", reference " << reference.iWidth << " x " << reference.iHeight;
  }
  const STestPictureDifference difference = KvTestComparePictures(picture, reference, tolerance.iClose);
  const bool bMatches = difference.dCloseShare >= tolerance.dCloseShare && difference.iWorst <= tolerance.iFar &&
                        difference.dMeanAbsolute <= tolerance.dMeanAbsolute;
  ::testing::AssertionResult result = bMatches ? ::testing::AssertionSuccess() : ::testing::AssertionFailure();
  result << "close (within " << tolerance.iClose << "): " << difference.dCloseShare * 100.0 << " % (at least "
         << tolerance.dCloseShare * 100.0 << " %); worst " << difference.iWorst << " (at most " << tolerance.iFar
         << "); mean " << difference.dMeanAbsolute << " (at most " << tolerance.dMeanAbsolute << ")";
  return result;
}
