// Bitmap font files: the family file (".kff": point sizes and, per target screen height, the font of each size)
// and the font file (".kcf": glyphs, kerning, heights, default character, glyph texture names). Written by the
// font builder (Tools/fontc), read whole by ClFontFamilyMgr, which keeps each block for as long as the font is
// loaded and uses it in place.
//
// Little-endian; every offset counts bytes from the start of the same file. A pointer slot is 8 bytes: a u32
// offset and 4 bytes the loader ignores; relocation overwrites the whole slot with a pointer to a new array of
// pointers (the packed u32 offset array it came from is left alone). Fields marked "free" are not read.
//
// Family file:
// | record          | size | fields (offset: field)                                                        |
// |-----------------|------|-------------------------------------------------------------------------------|
// | header (at 0)   | 92   | 0 slot: resolution table (offsets of resolution records); 8 slot: size table   |
// |                 |      | (offsets of size records); 16 i32 resolution count; 20 i32 size count; 24      |
// |                 |      | char[64] family name, zero-terminated; 88 u32 KvStrHash of the family's key   |
// | size record     | 4    | 0 u32 point size; the size table is in strictly ascending point-size order    |
// | resolution      | 16   | 0 slot: font table (offsets of font records, entry i for size i); 8 i32 font   |
// |                 |      | count (at least the size count); 12 u32 target screen height in pixels        |
// | font record     | 68   | 0..63 free; 64 i32 font number n: the font is "<family name>_<n>"             |
//
// Font file:
// | record          | size | fields (offset: field)                                                        |
// |-----------------|------|-------------------------------------------------------------------------------|
// | header (at 0)   | 44   | 0 slot: glyph table (offsets of glyph records, ascending by code); 8 slot:     |
// |                 |      | texture-name table (offsets of zero-terminated names); 16 i32 glyph count; 20 |
// |                 |      | i32 texture count (0 to gc_iMAX_SIGS_PER_FONT); 24 u32 KvStrHash of the font's |
// |                 |      | name; 28 free; 32 f32 line height; 36 f32 empty-line height; 40 u16 default   |
// |                 |      | character; 42 free (2 bytes)                                                   |
// | glyph           | 60   | 0 slot: kerning table (offsets of kerning records, ascending by previous       |
// |                 |      | code); 8 u32 code (a UTF-16 unit); 12 f32 x advance; 16 f32 y advance; 20 f32  |
// |                 |      | quad width; 24 f32 quad height (0 = nothing drawn); 28 f32 quad x offset from  |
// |                 |      | the pen; 32 f32 quad y offset from the line top; 36 f32 left u; 40 f32 top v;   |
// |                 |      | 44 f32 right u; 48 f32 bottom v; 52 i32 texture index; 56 i32 kerning count    |
// | kerning         | 12   | 0 u32 previous code; 4 f32 x adjustment; 8 f32 y adjustment                   |
//
// What the loader demands beyond the tables, so that nothing it reads or relocates lies outside the block and no
// slot it overwrites holds a count or a name it reads later (KvCheckFontFamily, KvCheckFontFile):
// - the name hash is that of the name the file is loaded by;
// - records, tables and names lie inside the file; records and tables start on 4-byte boundaries; counts are not
//   negative;
// - family: at least one resolution and one size; sizes strictly ascending and above 0; every resolution has at
//   least as many fonts as there are sizes; the family name ends inside its 64 bytes; the header and the
//   resolution records overlap nothing of each other;
// - font: codes at most 0xFFFF and strictly ascending; kerning records strictly ascending by previous code;
//   texture indices 0 or 1, and below the texture count for glyphs that draw something (quad width and height
//   not 0); every float finite; texture names end inside the file, are not empty and stay below the data root (no "..", no
//   absolute path); kerning previous codes are at most 0xFFFF; the header, the glyph records and the texture
//   names overlap nothing of each other, and kerning records overlap none of them.
#pragma once

#include <cstddef>

#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iMAX_SIGS_PER_FONT = 2;
inline constexpr i32 gc_iFONT_FAMILY_NAME_SIZE = 64;
// Room for the one-line message of a refused file.
inline constexpr u32 gc_uiFONT_FILE_ERROR_SIZE = 512;

#pragma pack(push, 4)

struct SFontSize {
  u32 mp_uiPointSize;
};
static_assert(sizeof(SFontSize) == 4);

struct SFontRecord {
  u8 mp_aucFree[64];
  i32 mp_iFontNumber;
};
static_assert(sizeof(SFontRecord) == 68);
static_assert(offsetof(SFontRecord, mp_iFontNumber) == 64);

struct SFontResolution {
  SFontRecord** mp_ppFonts;
  i32 mp_iNumberFonts;
  u32 mp_uiHeight;
};
static_assert(sizeof(SFontResolution) == 16);
static_assert(offsetof(SFontResolution, mp_iNumberFonts) == 8);
static_assert(offsetof(SFontResolution, mp_uiHeight) == 12);

struct SFontFamilyData {
  SFontResolution** mp_ppResolutions;
  SFontSize** mp_ppSizes;
  i32 mp_iNumberResolutions;
  i32 mp_iNumberSizes;
  char mp_acName[gc_iFONT_FAMILY_NAME_SIZE];
  u32 mp_uiNameHash;
};
static_assert(sizeof(SFontFamilyData) == 92);
static_assert(offsetof(SFontFamilyData, mp_ppSizes) == 8);
static_assert(offsetof(SFontFamilyData, mp_iNumberResolutions) == 16);
static_assert(offsetof(SFontFamilyData, mp_iNumberSizes) == 20);
static_assert(offsetof(SFontFamilyData, mp_acName) == 24);
static_assert(offsetof(SFontFamilyData, mp_uiNameHash) == 88);

struct SFontKerning {
  u32 mp_uiPrevious;
  f32 mp_fX;
  f32 mp_fY;
};
static_assert(sizeof(SFontKerning) == 12);

struct SFontGlyph {
  SFontKerning** mp_ppKerning;
  u32 mp_uiCode;
  f32 mp_fAdvanceX;
  f32 mp_fAdvanceY;
  f32 mp_fWidth;
  f32 mp_fHeight;
  f32 mp_fOffsetX;
  f32 mp_fOffsetY;
  f32 mp_fU0;
  f32 mp_fV0;
  f32 mp_fU1;
  f32 mp_fV1;
  i32 mp_iTextureIndex;
  i32 mp_iNumberKernings;
};
static_assert(sizeof(SFontGlyph) == 60);
static_assert(offsetof(SFontGlyph, mp_uiCode) == 8);
static_assert(offsetof(SFontGlyph, mp_fWidth) == 20);
static_assert(offsetof(SFontGlyph, mp_fOffsetY) == 32);
static_assert(offsetof(SFontGlyph, mp_fU0) == 36);
static_assert(offsetof(SFontGlyph, mp_fV1) == 48);
static_assert(offsetof(SFontGlyph, mp_iTextureIndex) == 52);
static_assert(offsetof(SFontGlyph, mp_iNumberKernings) == 56);

struct SFontData {
  SFontGlyph** mp_ppGlyphs;
  const char** mp_ppTextureNames;
  i32 mp_iNumberGlyphs;
  i32 mp_iNumberTextures;
  u32 mp_uiNameHash;
  u32 mp_uiFree28;
  f32 mp_fLineHeight;
  f32 mp_fEmptyLineHeight;
  u16 mp_usDefaultCharacter;
  u16 mp_usFree42;
};
static_assert(sizeof(SFontData) == 44);
static_assert(offsetof(SFontData, mp_ppTextureNames) == 8);
static_assert(offsetof(SFontData, mp_iNumberGlyphs) == 16);
static_assert(offsetof(SFontData, mp_iNumberTextures) == 20);
static_assert(offsetof(SFontData, mp_uiNameHash) == 24);
static_assert(offsetof(SFontData, mp_fLineHeight) == 32);
static_assert(offsetof(SFontData, mp_fEmptyLineHeight) == 36);
static_assert(offsetof(SFontData, mp_usDefaultCharacter) == 40);

#pragma pack(pop)

// Checks a family or font file image (as read, before relocation) against the rules above and that it holds
// uiNameHash, the KvStrHash of the name it is loaded by (its file's name without folder and extension: "<family>" or
// "<family>_<n>"): the loader finds what it loaded by that hash. False with one line "<file>: <what is wrong>" in
// pError (at most uiErrorSize bytes, terminated). The image is not changed. The font tool's dump and check call these
// too, so that what the tool accepts the loader accepts.
bool KvCheckFontFamily(const u8* pImage, u32 uiSize, const char* pFileName, u32 uiNameHash, char* pError,
                       u32 uiErrorSize);
bool KvCheckFontFile(const u8* pImage, u32 uiSize, const char* pFileName, u32 uiNameHash, char* pError,
                     u32 uiErrorSize);

// Relocates a checked image in place (16-byte aligned). The pointer arrays live in one block, returned; the
// caller frees it with KvAlignedFree after it stops using the data. Null, with the image unchanged, when the
// block cannot be allocated.
void* KvRelocateFontFamily(u8* pImage);
void* KvRelocateFontFile(u8* pImage);
