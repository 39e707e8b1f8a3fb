// One input of the font loaders' targets: the input copied as a file image (CFuzzAlignedImage), checked by the
// loader's check under the given file name (as the file of the name hash it holds, at uiNameHashOffset) and, when
// accepted, relocated in place; while the relocation holds, walk reads the tables and answers a value kept from the
// optimiser; then the relocation is freed. Problem reports are silenced; any stop is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/UI/KvFontFiles.h"
#include "Fuzz/FuzzAlignedImage.h"
#include "Fuzz/FuzzQuiet.h"

template <typename FWalk>
void KvFuzzFontImage(const uint8_t* pData, size_t uiSize, const char* pFileName, size_t uiNameHashOffset,
                     bool (*pfnCheck)(const u8*, u32, const char*, u32, char*, u32), void* (*pfnRelocate)(u8*),
                     FWalk walk) {
  static uint64_t s_uiSink = 0;
  KvFuzzSilenceProblemReports();
  CFuzzAlignedImage image(pData, uiSize);
  u8* pImage = image.pData;
  if (pImage == nullptr) return;
  char szError[gc_uiFONT_FILE_ERROR_SIZE];
  // The image is checked as the file of the name it holds, so that every input reaches the checks of its layout.
  u32 uiNameHash = 0;
  if (image.uiSize32 >= uiNameHashOffset + sizeof(uiNameHash)) std::memcpy(&uiNameHash, pImage + uiNameHashOffset, 4);
  if (pfnCheck(pImage, image.uiSize32, pFileName, uiNameHash, szError, sizeof(szError))) {
    void* pRelocation = pfnRelocate(pImage);
    if (pRelocation != nullptr) {
      s_uiSink += walk(pImage);
      KvAlignedFree(pRelocation);
    }
  }
  asm volatile("" : : "r"(s_uiSink));
}
