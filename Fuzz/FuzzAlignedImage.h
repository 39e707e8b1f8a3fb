// A fuzz input copied into a 16-byte aligned block of exactly its size, as loaders that read files whole get them:
// the sanitizer then sees every read past the end. Freed with the object; pData is null when the copy failed or the
// input is larger than a loader's 32-bit sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Corvane/Memory/KvAlloc.h"

class CFuzzAlignedImage {
 public:
  CFuzzAlignedImage(const uint8_t* pInput, size_t uiSize)
      : pData(uiSize <= UINT32_MAX ? static_cast<uint8_t*>(KvAlignedAlloc(uiSize > 0 ? uiSize : 1, 16)) : nullptr),
        uiSize32(static_cast<uint32_t>(uiSize)) {
    if (pData != nullptr && uiSize > 0) std::memcpy(pData, pInput, uiSize);
  }
  ~CFuzzAlignedImage() { KvAlignedFree(pData); }
  CFuzzAlignedImage(const CFuzzAlignedImage&) = delete;
  CFuzzAlignedImage& operator=(const CFuzzAlignedImage&) = delete;

  uint8_t* const pData;
  const uint32_t uiSize32;
};
