// Fuzzes the font loader's check and relocation (".kcf") with arbitrary file images: every image is either refused
// with a message or relocates into glyphs that are all found again by their codes, whose kerning pairs are all found
// by their previous codes, whose texture index names one of the font's two slots, and whose baselines can be moved
// as the game moves them; texture names are read to their end. Any stop is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Fuzz/FuzzFontImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzFontImage(pData, uiSize, "fuzz.kcf",
                  offsetof(SFontData, mp_uiNameHash), &KvCheckFontFile, &KvRelocateFontFile, [](u8* pImage) {
    SFontData* pFont = reinterpret_cast<SFontData*>(pImage);
    uint64_t uiSink = 0;
    for (i32 t = 0; t < pFont->mp_iNumberTextures; ++t) uiSink += std::strlen(pFont->mp_ppTextureNames[t]);
    uiSink += ClFontFamilyMgr::findGlyph(pFont, pFont->mp_usDefaultCharacter) != nullptr;
    for (i32 g = 0; g < pFont->mp_iNumberGlyphs; ++g) {
      SFontGlyph* pGlyph = pFont->mp_ppGlyphs[g];
      if (ClFontFamilyMgr::findGlyph(pFont, pGlyph->mp_uiCode) != pGlyph) __builtin_trap();
      if (pGlyph->mp_iTextureIndex < 0 || pGlyph->mp_iTextureIndex >= gc_iMAX_SIGS_PER_FONT) __builtin_trap();
      for (i32 k = 0; k < pGlyph->mp_iNumberKernings; ++k) {
        const SFontKerning* pKerning = pGlyph->mp_ppKerning[k];
        if (ClFontFamilyMgr::findKerning(pGlyph, pKerning->mp_uiPrevious) == nullptr) __builtin_trap();
      }
      uiSink += ClFontFamilyMgr::findKerning(pGlyph, 0x20) != nullptr;
      pGlyph->mp_fOffsetY += 2.0f;
    }
    return uiSink;
  });
  return 0;
}
