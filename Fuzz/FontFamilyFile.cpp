// Fuzzes the font family loader's check and relocation (".kff") with arbitrary file images: every image is either
// refused with a message or relocates into tables whose sizes, resolutions and font records can all be read, the
// size and resolution choices made for every size and height, and the relocation freed. Any stop is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Fuzz/FuzzAlignedImage.h"
#include "Fuzz/FuzzQuiet.h"

namespace {

uint64_t g_uiSink = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  CFuzzAlignedImage image(pData, uiSize);
  u8* pImage = image.pData;
  if (pImage == nullptr) return 0;
  char szError[gc_uiFONT_FILE_ERROR_SIZE];
  if (KvCheckFontFamily(pImage, image.uiSize32, "fuzz.kff", szError, sizeof(szError))) {
    void* pRelocation = KvRelocateFontFamily(pImage);
    if (pRelocation != nullptr) {
      const SFontFamilyData* pFamily = reinterpret_cast<const SFontFamilyData*>(pImage);
      g_uiSink += std::strlen(pFamily->mp_acName) + pFamily->mp_uiNameHash;
      for (u32 uiPoints = 1; uiPoints < 80; ++uiPoints) {
        g_uiSink += static_cast<u32>(ClFontFamilyMgr::chooseSizeIndex(pFamily, uiPoints));
      }
      for (u32 uiHeight : {0u, 216u, 720u, 1080u, 0xFFFFFFFFu}) {
        g_uiSink += ClFontFamilyMgr::chooseBestResolution(pFamily, uiHeight)->mp_uiHeight;
      }
      for (i32 r = 0; r < pFamily->mp_iNumberResolutions; ++r) {
        const SFontResolution* pResolution = pFamily->mp_ppResolutions[r];
        for (i32 f = 0; f < pResolution->mp_iNumberFonts; ++f) {
          g_uiSink += static_cast<u32>(pResolution->mp_ppFonts[f]->mp_iFontNumber);
        }
      }
      KvAlignedFree(pRelocation);
    }
  }
  asm volatile("" : : "r"(g_uiSink));
  return 0;
}
