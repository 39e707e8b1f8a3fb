// Fuzzes the text-file reader with arbitrary file images: the image becomes a terminated UTF-16 text (never read
// past its end), which is laid out and cut into lines with a small in-memory font (printable ASCII, one kerning
// pair) at a width taken from the input. Every line must be terminated where its length says, hold no line feed
// and, all lines together, no more characters than the text. Any stop is a finding.
#include <cstddef>
#include <cstdint>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_TextFile.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Fuzz/FuzzAlignedImage.h"
#include "Fuzz/FuzzQuiet.h"

namespace {

constexpr u32 gc_uiFIRST = 0x20;
constexpr u32 gc_uiCOUNT = 0x7F - gc_uiFIRST;

struct SFuzzFont {
  SFontKerning kerning{'W', -2.0f, 0.0f};
  SFontKerning* apKerning[1] = {&kerning};
  SFontGlyph glyphs[gc_uiCOUNT] = {};
  SFontGlyph* apGlyphs[gc_uiCOUNT] = {};
  SFontData data{};
  ClFontEntry entry{};

  SFuzzFont() {
    for (u32 i = 0; i < gc_uiCOUNT; ++i) {
      SFontGlyph& glyph = glyphs[i];
      glyph.mp_uiCode = gc_uiFIRST + i;
      glyph.mp_fAdvanceX = 4.0f + static_cast<f32>(i % 5);
      glyph.mp_fWidth = glyph.mp_fHeight = 6.0f;
      if (glyph.mp_uiCode == 'o') {
        glyph.mp_ppKerning = apKerning;
        glyph.mp_iNumberKernings = 1;
      }
      apGlyphs[i] = &glyph;
    }
    data.mp_ppGlyphs = apGlyphs;
    data.mp_iNumberGlyphs = static_cast<i32>(gc_uiCOUNT);
    data.mp_fLineHeight = 12.0f;
    data.mp_fEmptyLineHeight = 10.0f;
    data.mp_usDefaultCharacter = '?';
    entry.mp_pFontData = &data;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  static SFuzzFont s_font;
  const f32 fWidth = uiSize > 0 ? static_cast<f32>(pData[0] % 64) * 4.0f : 0.0f;
  CFuzzAlignedImage image(pData, uiSize);
  if (image.pData == nullptr) return 0;
  wchar16* puiText = KvTextFileToString(image.pData, image.uiSize32);
  size_t uTextLength = 0;
  while (puiText[uTextLength] != 0) ++uTextLength;
  if (uTextLength > uiSize / 2) __builtin_trap();

  ClDynamicVector<wchar16*> lines;
  lines.initialize(8);
  if (uTextLength > 0) KvSplitTextIntoLines(&s_font.entry, puiText, fWidth, &lines);
  size_t uTotal = 0;
  for (i32 l = 0; l < lines.getCount(); ++l) {
    for (const wchar16* p = lines[l]; *p != 0; ++p, ++uTotal) {
      if (*p == 0x0A) __builtin_trap();
    }
    KvAlignedFree(lines[l]);
  }
  if (uTotal > uTextLength) __builtin_trap();
  lines.terminate();
  KvAlignedFree(puiText);
  return 0;
}
