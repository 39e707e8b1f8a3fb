// The font builder: rasterises real fonts with FreeType into glyph pages and writes a family's ".kff" and its
// ".kcf" fonts (Tools/fontc/FontFiles.h), each checked by reading it back with the engine's loader.
//
// A family is built for point sizes and target screen heights: the font for size p at height H is rasterised at
// round(p * H / 216) pixels (216 is the height of the UI's design canvas), so text keeps its size on every screen.
// Fonts are numbered resolution by resolution, size by size from 0 ("<family>_<n>"); the glyphs of font n go on at
// most two pages "ImagesFonts/<family>_<n>_<i>.png", white with premultiplied coverage alpha. Line height and
// empty-line height are the face's line spacing at that pixel size; a glyph's quad is offset from the pen by the
// bitmap's left bearing and from the line top by the ascender less the bitmap's top; kerning pairs are the face's
// (FT_Get_Kerning) for every pair of the family's characters that it adjusts.
//
// Content description (JSON with comments):
//   { "families": [ { "name", "font", "sizes": [p...], "resolutions": [H...], "characters", "strings": [file...],
//                     "default" } ] }
// "font" is a font file (relative paths are looked up below the fonts folder, by default
// /usr/share/fonts/truetype); "characters" a UTF-8 text whose characters are built (printable ASCII always is);
// "strings" UTF-8 text files (relative to the description) whose characters are built too; "default" the one
// character drawn for codes without a glyph ('?' unless given). Errors name the file and the place:
// "Fonts.json:3:14: error: ..." for JSON syntax, "Fonts.json: /families/0/sizes/2: ..." for a bad value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Tools/fontc/FontFiles.h"

struct SFontBuildRequest {
  std::string familyName;
  std::string fontPath;
  std::vector<uint32_t> sizes;
  std::vector<uint32_t> heights;
  std::vector<uint16_t> characters;  // UTF-16 units; sorted and unique when built
  uint16_t usDefault = '?';
  int iMaxPageSize = 4096;
};

// Builds a family into <outDir>/Fonts/ and <outDir>/ImagesFonts/, checking every file with the engine's loader;
// the archive lines ("file <path> <file> plain") of what was written are appended to pManifestLines.
bool FontBuildFamily(const SFontBuildRequest& request, const std::string& outDir, std::string* pManifestLines,
                     std::string* pError);

// Builds every family of a content description.
bool FontMakeContent(const std::string& descriptionPath, const std::string& outDir, const std::string& fontsDir,
                     std::string* pManifestLines, std::string* pError);

// The UTF-16 units of a UTF-8 text (characters outside the basic plane are left out); false at the byte offset of
// a malformed sequence.
bool FontUtf8ToUnits(const std::string& text, std::vector<uint16_t>* pUnits, size_t* puiBadByte);
