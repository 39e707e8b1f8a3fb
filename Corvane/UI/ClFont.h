// Text with bitmap fonts: UTF-16 text cut into tokens and laid out into lines for one font (ClFontFamilyMgr) and a
// maximum width. initialise and terminate bracket the module's use at the game's start-up and shutdown; they hold
// no state that laying out needs.
//
// Tokens: blank runs (spaces and tabs), words, newlines ("\n" written as a backslash and 'n', CR LF, or LF) and
// the end. A word also ends before "##", which marks a place to break without a space (the '#' are kept). A
// character is measured with the glyph it is drawn with (below); each character's advance takes the kerning
// against the one before it, within a line.
//
// Layout wraps greedily: a token that would take a line holding tokens past the maximum width (0: no wrapping)
// starts the next line, and a blank run that would do so is dropped. A line is as high as its tallest token and at
// least the font's empty-line height. The package's width is the widest line measured before its trailing blank
// run is removed (the line's own width leaves it out); its height the sum of the line heights.
//
// Main (game) thread only: the previous character of the tokeniser is module state, so layouts do not overlap.
// Sizes in pixels of the font. The caller owns a package (ClFont::freePackage) and keeps the text alive as long
// as it: tokens point into it.
//
// Drawing queues one sprite per visible glyph (and one more, a layer lower, for a drop shadow) into Cl2d's sprite
// queue; glyph quads are pixels of the font chosen for the canvas and are not scaled. Measuring and drawing differ
// on purpose in one way: drawing kerns only within a token. A character without a glyph is drawn (and measured) as
// the font's default character; a font lacking that glyph too draws nothing there and does not move the pen.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/KvTypes.h"

struct ClFontEntry;
struct SFontData;
struct SRenderSignature;
struct STextLayoutCache;

enum E_TEXT_TOKEN : u32 {
  E_TEXT_TOKEN_BLANK = 0,
  E_TEXT_TOKEN_WORD = 2,
  E_TEXT_TOKEN_NEWLINE = 3,
  E_TEXT_TOKEN_COLOR = 4,  // drawn only; the tokeniser never makes one
  E_TEXT_TOKEN_END = 6,
};

struct STextToken {
  E_TEXT_TOKEN mp_eKind;
  f32 mp_fWidth;
  f32 mp_fHeight;  // the font's line height; 0 for the end token
  const wchar16* mp_pFirst;  // blank runs and words
  i32 mp_iCount;             // blank runs and words; for a colour token its flag (0 set the RGB, 1 restore)
  u32 mp_uiColor;            // colour tokens: the RGB that replaces the drawing colour's
};

struct STextLine {
  ClDynamicVector<STextToken*> mp_daTokens;
  f32 mp_fWidth;
  f32 mp_fHeight;
};

struct STextPackage {
  u32 mp_bIsFTFont;  // always 0
  ClFontEntry* mp_pFont;
  ClDynamicVector<STextLine> mp_daLines;  // at least one
  const wchar16* mp_pText;
  f32 mp_fWidth;
  f32 mp_fHeight;
};

// Text alignment within a package: left 1, centre 2, right 4.
inline constexpr u32 gc_uiTEXT_ALIGN_LEFT = 1;
inline constexpr u32 gc_uiTEXT_ALIGN_CENTRE = 2;
inline constexpr u32 gc_uiTEXT_ALIGN_RIGHT = 4;

class ClFont {
 public:
  static void initialise();
  static void terminate();
  static bool isInitialised() { return mp_bInitialised; }

  // The next token at *ppuiText, which moves past it (not past the end). Asserts on null arguments.
  static STextToken* nextToken(const wchar16** INOUT_ppuiText, const SFontData* pFontMetaData);
  // Lays the text out; fWidth 0 does not wrap. Asserts "pFont", "puiString" and "pFontMetaData".
  static STextPackage* layoutText(ClFontEntry* pFont, const wchar16* puiString, f32 fWidth);
  // Frees a package, its lines and their tokens; null is ignored.
  static void freePackage(STextPackage* pPackage);
  // Where a line starts in x for an alignment, the package's left edge at fX0; any other alignment is the fatal
  // "Unhandled case".
  static f32 lineStartX(const STextPackage& crPackage, const STextLine& crLine, u32 uiAlignment, f32 fX0);
  // The same from the package's and the line's widths.
  static f32 lineStartX(f32 fPackageWidth, f32 fLineWidth, u32 uiAlignment, f32 fX0);

  // Queues the package's glyphs. (fX, fY) are canvas units of the canvas named by uiCanvasHash, scaled by it and
  // placed with the flags on the canvas (or the current parent window); pOutRect, when given, receives the pixel
  // box {left, right, top, bottom}. uiSecondaryTextureHash (0: none) names a texture given to the shader beside
  // the glyph page: a loaded texture, else the UI texture's best fit for the canvas. A shadow offset of (0, 0)
  // draws no shadow; the shadow goes one layer lower, layer 0 staying 0. An unknown shader or alignment is fatal.
  static void drawText(const STextPackage& crPackage, u32 uiShaderHash, u32 uiSecondaryTextureHash, u32 uiCanvasHash,
                       u16 uLayer, u32 uiScreenFlags, f32 fX, f32 fY, u32 uiAnchorFlags, u32 uiAlignment,
                       const u32* puiColor, f32* pOutRect, const f32* pShadowOffset, u32 uiShadowColor);

  // The signature of each glyph page of the font for the shader (with the secondary texture when one is named, as
  // drawText finds it); the number of pages.
  static i32 glyphSignatures(const ClFontEntry* pFont, u32 uiShaderHash, u32 uiSecondaryTextureHash,
                             u32 uiCanvasHash, const SRenderSignature** ppSignatures);
  // Keeps in the cache what drawText would draw of the package (its font, sizes, lines and each drawn character's
  // glyph and kerning); false, with the cache's layout left empty, for a package drawText would stop on or report
  // (a token other than a blank run or a word, a glyph on a page the font does not have).
  static bool keepLayout(const STextPackage& crPackage, STextLayoutCache* pCache);
  // drawText on the package the cache keeps: the same sprites in the same order.
  static void drawKeptLayout(STextLayoutCache* pCache, u32 uiShaderHash, u32 uiSecondaryTextureHash,
                             u32 uiCanvasHash, u16 uLayer, u32 uiScreenFlags, f32 fX, f32 fY, u32 uiAnchorFlags,
                             u32 uiAlignment, const u32* puiColor, f32* pOutRect, const f32* pShadowOffset,
                             u32 uiShadowColor);

 private:
  static bool mp_bInitialised;
};
