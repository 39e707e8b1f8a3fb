// A text element laid out once and drawn again frame after frame: what ClFont::drawText needs of a package (each
// line's widths and height, each drawn character's glyph and the kerning drawText gives it) with everything the
// layout was made from. ClUI::renderTextElement keeps one per widget (ClWidget::mp_pTextLayoutCache) and lays the
// text out again only when one of those inputs differs: the text's characters, the font family, point size,
// canvas resolution height, the wrapping width and best-fit height in pixels, or the font manager's generation
// (fonts loaded, freed or moved). The position, colours, layer, alignment and shadow are applied at each draw, so
// they change nothing here; the glyph pages' signatures are kept while the signature manager's generation and the
// shader stay the same.
//
// The buffers grow only (KvAlignedAlloc); a frame that draws the same text makes no allocation. Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"
#include "Corvane/UI/KvFontFiles.h"

struct ClFontEntry;
struct SFontGlyph;
struct SRenderSignature;

struct STextLayoutGlyph {
  const SFontGlyph* mp_pGlyph;
  f32 mp_fKernX;
  f32 mp_fKernY;
};

struct STextLayoutLine {
  f32 mp_fWidth;
  f32 mp_fHeight;
  i32 mp_iGlyphCount;
};

struct STextLayoutCache {
  // What the layout was made from; mp_bValid 0: nothing laid out.
  u32 mp_bValid;
  u32 mp_uiFontFamilyHash;
  u32 mp_uiPointSize;
  f32 mp_fCanvasHeight;
  f32 mp_fWidth;
  f32 mp_fHeight;
  u32 mp_bLimitWidth;
  u32 mp_uiFontGeneration;
  i32 mp_iTextLength;
  wchar16* mp_puiText;  // mp_iTextLength units and a terminator
  i32 mp_iTextCapacity;
  // The layout.
  const ClFontEntry* mp_pFont;
  f32 mp_fPackageWidth;
  f32 mp_fPackageHeight;
  STextLayoutLine* mp_pLines;
  i32 mp_iLineCount;
  i32 mp_iLineCapacity;
  STextLayoutGlyph* mp_pGlyphs;
  i32 mp_iGlyphCount;
  i32 mp_iGlyphCapacity;
  // The glyph pages' signatures for mp_uiSignatureShader at mp_uiSignatureGeneration; mp_iNumSignatures -1: none.
  u32 mp_uiSignatureShader;
  u32 mp_uiSignatureGeneration;
  i32 mp_iNumSignatures;
  const SRenderSignature* mp_apSignatures[gc_iMAX_SIGS_PER_FONT];
};

// A new, empty cache.
STextLayoutCache* KvNewTextLayoutCache();
// Frees a cache and its buffers; null is ignored.
void KvFreeTextLayoutCache(STextLayoutCache* pCache);
// Room for that many units of text, lines and glyphs (what is there is not kept).
void KvReserveTextLayoutCache(STextLayoutCache* pCache, i32 iTextLength, i32 iLines, i32 iGlyphs);
