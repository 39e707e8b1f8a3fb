// Font families and their bitmap fonts. A family ("Fonts/<name>.kff", layout in KvFontFiles.h) lists point sizes
// and, per target screen height, the font of each size; every font of every height is loaded with the family,
// with its glyph textures from "ImagesFonts/". Text code asks for the font of a family at a point size for a
// canvas height (getFont) and looks glyphs and kerning pairs up in it.
//
// Main (game) thread only. Families and fonts live in fixed pools (32 and 64) until terminate; the font data is
// read-only once the game has adjusted its baselines and line heights. Textures belong to the texture manager.
//
// Failures: a family file that is missing or cannot be read is not loaded (getFont answers null for it); one that
// is refused is reported with the reason and not loaded. A font file that is missing or refused, or whose stored
// hash is not that of its name, and a glyph texture that cannot be loaded are fatal data errors naming the file.
// A pool that runs out or a family key loaded twice is a fatal error.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/UI/KvFontFiles.h"
#include "Corvane/System/KvTypes.h"

class ClTexture;
struct SMagRef;

inline constexpr i32 gc_iMAX_FONT_FAMILIES = 32;
inline constexpr i32 gc_iMAX_FONTS = 64;
// The load flags every font of a family is loaded with (the texture manager's to interpret).
inline constexpr u32 gc_uiFONT_LOAD_FLAGS = 4;

struct ClFontFamily {
  SMagRef* mp_pFileRef;
  SFontFamilyData* mp_pFamilyData;  // the .kff read whole, relocated
  void* mp_pRelocation;             // the pointer arrays of the relocation
  u32 mp_bLoaded;
  u32 mp_uiLoadFlags;
  SFontResolution* mp_pBestResolution;  // chosen at load for the screen height
  i32 mp_iPoolIndex;
};

struct ClFontEntry {
  SMagRef* mp_pFileRef;
  SFontData* mp_pFontData;  // the .kcf read whole, relocated
  void* mp_pRelocation;
  u32 mp_bLoaded;
  f32 mp_fLetterSpacing;  // extra x advance per glyph in pixels, 0 after loading
  u32 mp_uiLoadFlags;
  ClTexture* mp_apTextures[gc_iMAX_SIGS_PER_FONT];  // null for a slot without a texture
};

class ClFontFamilyMgr {
 public:
  // Reset the pools (none in use). Run by static initialisation and again by the game's initialisation.
  static void initialiseFamilyPool();
  static void initialiseFontPool();

  // Loads "Fonts/<pFileName>.kff" and all its fonts, found afterwards by KvStrHash of pAlias when given, else of
  // pFileName. The best resolution is chosen for the screen height (ClGraphics::mp_fScreenHeight).
  static void loadFontFamily(const char* pFileName, const char* pAlias);
  // The same for a given screen height in pixels.
  static void loadFontFamilyForHeight(const char* pFileName, const char* pAlias, u32 uiScreenHeight);

  // The font of the family for a point size (the nearest size the family has, see chooseSizeIndex) and a canvas
  // height in pixels (-1: the best resolution chosen at load; else the resolution of the nearest height, the earlier
  // on a tie); null for an unknown family or a font that is not loaded. When a font is returned and piActualSize
  // is given, it takes the point size chosen.
  static ClFontEntry* getFont(u32 uiFamilyHash, u32 uiPointSize, i32 iCanvasHeight, u32* piActualSize);
  // The size-table index for a requested point size: the size itself, else the first of p-1, p-2, ... down to 4
  // (p-1 always), else the first of p+1, p+2, ...; index 0 when the ascent passes both 2p and the last size.
  // Takes one pass over the sizes whatever the point size.
  static i32 chooseSizeIndex(const SFontFamilyData* pData, u32 uiPointSize);
  // The best resolution for a screen height: the first record, replaced by a later one only when that is at least
  // as high as the screen and strictly nearer.
  static SFontResolution* chooseBestResolution(const SFontFamilyData* pData, u32 uiScreenHeight);

  // Binary searches over the sorted glyph and kerning tables; null when the code is not there.
  static const SFontGlyph* findGlyph(const SFontData* pData, u32 uiCode);
  static const SFontKerning* findKerning(const SFontGlyph* pCharacter, u32 uiPreviousCode);

  // Moves every glyph of each distinct size of "FontAcknowledge" (resolution nearest 216) down so that a size of
  // a points has its baseline at floor(a / 20 * 22 + 0.5) from the line top. Run once after loading a language
  // variant of that family.
  static void adjustFontAcknowledgeBaselines();
  // Gives a loaded font other line heights (pixels): the height of every text token and baseline reference, and
  // the height a laid-out line starts with. For the game's own fitting of a font, before or between frames; text
  // laid out with the old heights is laid out again.
  static void setLineHeights(ClFontEntry* pFontEntry, f32 fLineHeight, f32 fEmptyLineHeight);

  // Frees every font and family and returns them to their pools.
  static void terminate();

  // The loaded family or font with that name hash, or null.
  static ClFontFamily* findFamily(u32 uiFamilyHash);
  static ClFontEntry* findFont(u32 uiFontHash);

  static ClPool<ClFontFamily, gc_iMAX_FONT_FAMILIES> mp_familyPool;
  static ClPool<ClFontEntry, gc_iMAX_FONTS> mp_fontPool;

  // Changes whenever a family or font is loaded or freed, the pools are reset, glyphs are moved or line heights
  // set: what was found or laid out with the fonts at one generation holds while it stays the same.
  static u32 getGeneration() { return mp_uiGeneration; }

 private:
  static inline u32 mp_uiGeneration = 0;
  static void loadFont(const char* pFontName, u32 uiLoadFlags);
  static void freeFont(ClFontEntry* pFontEntry);
  static void freeFamily(ClFontFamily* pFamily);
};
