// The font builder's file side: writes family (".kff") and font (".kcf") files from plain descriptions, in the
// layout of Corvane/UI/KvFontFiles.h, and describes such files as JSON after the engine's own check and
// relocation (what the dump prints is what the game would use).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct SFontKerningDesc {
  uint32_t uiPrevious = 0;
  float fX = 0.0f;
  float fY = 0.0f;
};

struct SFontGlyphDesc {
  uint32_t uiCode = 0;
  float fAdvanceX = 0.0f;
  float fAdvanceY = 0.0f;
  float fWidth = 0.0f;  // quad size in pixels; 0 draws nothing
  float fHeight = 0.0f;
  float fOffsetX = 0.0f;  // from the pen
  float fOffsetY = 0.0f;  // from the line top
  float fU0 = 0.0f, fV0 = 0.0f, fU1 = 0.0f, fV1 = 0.0f;
  int32_t iTexture = 0;
  std::vector<SFontKerningDesc> kerning;  // written sorted by previous code
};

struct SFontDesc {
  std::string name;  // "<family>_<n>": its hash is stored in the file
  float fLineHeight = 0.0f;
  float fEmptyLineHeight = 0.0f;
  uint16_t usDefaultCharacter = '?';
  std::vector<std::string> textures;  // names below "ImagesFonts/"
  std::vector<SFontGlyphDesc> glyphs;  // written sorted by code
};

struct SFontResolutionDesc {
  uint32_t uiHeight = 0;
  std::vector<int32_t> fontNumbers;  // one per size
};

struct SFontFamilyDesc {
  std::string name;  // builds the fonts' names and is hashed as the family's key
  std::vector<uint32_t> sizes;  // ascending
  std::vector<SFontResolutionDesc> resolutions;
};

std::vector<uint8_t> FontWriteFamily(const SFontFamilyDesc& family);
std::vector<uint8_t> FontWriteFont(const SFontDesc& font);

// The engine's check of a family or font image, as the loader makes it for the name the file is loaded by (the
// file name's last part without its extension: "Fonts/Trip_0.kcf" holds the font "Trip_0"); false with its one-line
// reason.
bool FontCheckFamily(const std::vector<uint8_t>& bytes, const std::string& fileName, std::string* pError);
bool FontCheckFont(const std::vector<uint8_t>& bytes, const std::string& fileName, std::string* pError);

// A family or font file, as the engine reads it, as JSON; false with the reason it refuses the file.
bool FontDumpFamily(const std::vector<uint8_t>& bytes, const std::string& fileName, nlohmann::ordered_json* pOut,
                    std::string* pError);
bool FontDumpFont(const std::vector<uint8_t>& bytes, const std::string& fileName, nlohmann::ordered_json* pOut,
                  std::string* pError);
