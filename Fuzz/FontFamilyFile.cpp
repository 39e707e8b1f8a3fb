// Fuzzes the font family loader's check and relocation (".kff") with arbitrary file images: every image is either
// refused with a message or relocates into tables whose sizes, resolutions and font records can all be read, the
// size and resolution choices made for every size and height, and the relocation freed. Any stop is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Fuzz/FuzzFontImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzFontImage(pData, uiSize, "fuzz.kff",
                  offsetof(SFontFamilyData, mp_uiNameHash), &KvCheckFontFamily, &KvRelocateFontFamily, [](u8* pImage) {
    const SFontFamilyData* pFamily = reinterpret_cast<const SFontFamilyData*>(pImage);
    uint64_t uiSink = std::strlen(pFamily->mp_acName) + pFamily->mp_uiNameHash;
    for (u32 uiPoints = 1; uiPoints < 80; ++uiPoints) {
      uiSink += static_cast<u32>(ClFontFamilyMgr::chooseSizeIndex(pFamily, uiPoints));
    }
    for (u32 uiHeight : {0u, 216u, 720u, 1080u, 0xFFFFFFFFu}) {
      uiSink += ClFontFamilyMgr::chooseBestResolution(pFamily, uiHeight)->mp_uiHeight;
    }
    for (i32 r = 0; r < pFamily->mp_iNumberResolutions; ++r) {
      const SFontResolution* pResolution = pFamily->mp_ppResolutions[r];
      for (i32 f = 0; f < pResolution->mp_iNumberFonts; ++f) {
        uiSink += static_cast<u32>(pResolution->mp_ppFonts[f]->mp_iFontNumber);
      }
    }
    return uiSink;
  });
  return 0;
}
