// Small image files made in memory for texture tests: texels as 0xAARRGGBB words, top row first, written as PNG
// (with or without alpha), 24-bit BMP or 32-bit uncompressed TGA. Header only; links SDL2 and SDL2_image.
#pragma once

#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <stdexcept>
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
