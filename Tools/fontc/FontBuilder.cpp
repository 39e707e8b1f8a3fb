#include "Tools/fontc/FontBuilder.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolJson.h"
#include "Tools/Common/ToolText.h"
#include "Tools/atlasc/AtlasBuilder.h"

namespace fs = std::filesystem;

namespace {

// The UI's design height: a font for screen height H is rasterised H / 216 times its point size.
constexpr double gc_dDESIGN_HEIGHT = 216.0;
constexpr int gc_iMAX_PAGES = 2;

// FreeType's library and face, released in any case.
class CFace {
 public:
  ~CFace() {
    if (m_face != nullptr) FT_Done_Face(m_face);
    if (m_library != nullptr) FT_Done_FreeType(m_library);
  }
  bool open(const std::string& path, std::string* pError) {
    if (FT_Init_FreeType(&m_library) != 0) {
      *pError = "FreeType cannot start";
      return false;
    }
    // FreeType reads the face from memory for its whole life: the bytes stay with it.
    std::string why;
    if (!ToolReadFile(path, &m_bytes, &why)) {
      *pError = path + ": error: cannot read the file (it " + why + ")";
      return false;
    }
    if (FT_New_Memory_Face(m_library, reinterpret_cast<const FT_Byte*>(m_bytes.data()),
                           static_cast<FT_Long>(m_bytes.size()), 0, &m_face) != 0) {
      *pError = path + ": error: not a font FreeType can read";
      return false;
    }
    if (FT_Select_Charmap(m_face, FT_ENCODING_UNICODE) != 0) {
      *pError = path + ": error: the font has no Unicode character map";
      return false;
    }
    return true;
  }
  FT_Face get() const { return m_face; }

 private:
  std::string m_bytes;
  FT_Library m_library = nullptr;
  FT_Face m_face = nullptr;
};

struct SRasterGlyph {
  SFontGlyphDesc desc;
  SAtlasImage bitmap;  // empty for a glyph that draws nothing
};

// Rasterises one font: glyph metrics, bitmaps and kerning at a pixel size.
bool rasterise(FT_Face face, const std::vector<uint16_t>& characters, uint32_t uiPixels,
               std::vector<SRasterGlyph>* pGlyphs, float* pfLineHeight, std::string* pError) {
  if (FT_Set_Pixel_Sizes(face, 0, uiPixels) != 0) {
    *pError = "the font cannot be set to " + std::to_string(uiPixels) + " pixels";
    return false;
  }
  const float fAscender = static_cast<float>(face->size->metrics.ascender) / 64.0f;
  *pfLineHeight = std::round(static_cast<float>(face->size->metrics.height) / 64.0f);
  std::vector<FT_UInt> indices;
  for (uint16_t usCode : characters) {
    const FT_UInt uiIndex = FT_Get_Char_Index(face, usCode);
    if (uiIndex == 0 && usCode != ' ') continue;
    if (FT_Load_Glyph(face, uiIndex, FT_LOAD_RENDER) != 0) {
      *pError = "the glyph of U+" + std::to_string(usCode) + " cannot be rendered";
      return false;
    }
    const FT_GlyphSlot slot = face->glyph;
    SRasterGlyph glyph;
    glyph.desc.uiCode = usCode;
    glyph.desc.fAdvanceX = static_cast<float>(slot->advance.x) / 64.0f;
    glyph.desc.fAdvanceY = 0.0f;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.width > 0 && bitmap.rows > 0 && bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
      glyph.bitmap.iWidth = static_cast<int>(bitmap.width);
      glyph.bitmap.iHeight = static_cast<int>(bitmap.rows);
      glyph.bitmap.texels.resize(static_cast<size_t>(bitmap.width) * bitmap.rows);
      for (unsigned y = 0; y < bitmap.rows; ++y) {
        for (unsigned x = 0; x < bitmap.width; ++x) {
          const uint32_t a = bitmap.buffer[static_cast<ptrdiff_t>(y) * bitmap.pitch + x];
          glyph.bitmap.texels[static_cast<size_t>(y) * bitmap.width + x] = a << 24 | a << 16 | a << 8 | a;
        }
      }
      glyph.desc.fWidth = static_cast<float>(bitmap.width);
      glyph.desc.fHeight = static_cast<float>(bitmap.rows);
      glyph.desc.fOffsetX = static_cast<float>(slot->bitmap_left);
      glyph.desc.fOffsetY = fAscender - static_cast<float>(slot->bitmap_top);
    }
    indices.push_back(uiIndex);
    pGlyphs->push_back(std::move(glyph));
  }
  if (FT_HAS_KERNING(face)) {
    for (size_t g = 0; g < pGlyphs->size(); ++g) {
      for (size_t p = 0; p < pGlyphs->size(); ++p) {
        FT_Vector delta{0, 0};
        if (FT_Get_Kerning(face, indices[p], indices[g], FT_KERNING_DEFAULT, &delta) != 0) continue;
        if (delta.x == 0 && delta.y == 0) continue;
        (*pGlyphs)[g].desc.kerning.push_back(SFontKerningDesc{(*pGlyphs)[p].desc.uiCode,
                                                              static_cast<float>(delta.x) / 64.0f,
                                                              static_cast<float>(delta.y) / 64.0f});
      }
    }
  }
  return true;
}

// Packs the glyph bitmaps on at most two pages, as small a square page size as holds them.
bool pack(const std::vector<SRasterGlyph>& glyphs, const std::string& baseName, int iMaxPageSize,
          SAtlasPacked* pPacked, std::string* pError) {
  std::vector<SAtlasImage> images;
  for (const SRasterGlyph& glyph : glyphs) {
    if (glyph.bitmap.texels.empty()) continue;
    SAtlasImage image = glyph.bitmap;
    image.name = "u" + std::to_string(glyph.desc.uiCode);
    images.push_back(std::move(image));
  }
  SAtlasPackOptions options;
  options.bTrim = false;
  options.iPadding = 2;
  std::string lastError;
  // One page when any size holds them all (one texture a font draws in fewer batches), else two.
  for (int iPages = 1; iPages <= gc_iMAX_PAGES; ++iPages) {
    for (options.iPageSize = 128; options.iPageSize <= iMaxPageSize; options.iPageSize *= 2) {
      if (AtlasPack(images, baseName, options, pPacked, &lastError) &&
          static_cast<int>(pPacked->pages.size()) <= iPages) {
        return true;
      }
    }
  }
  *pError = "the glyphs of " + baseName + " do not fit on " + std::to_string(gc_iMAX_PAGES) + " pages of " +
            std::to_string(iMaxPageSize) + " texels" + (lastError.empty() ? "" : " (" + lastError + ")");
  return false;
}

void appendLine(std::string* pLines, const std::string& archivePath, const std::string& file) {
  *pLines += "file " + ToolQuoteWord(archivePath) + " " + ToolQuoteWord(file) + " plain\n";
}

}  // namespace

bool FontUtf8ToUnits(const std::string& text, std::vector<uint16_t>* pUnits, size_t* puiBadByte) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int iLength = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (iLength == 0 || i + static_cast<size_t>(iLength) > text.size()) {
      *puiBadByte = i;
      return false;
    }
    uint32_t uiCode = iLength == 1 ? c : c & (0x7Fu >> iLength);
    for (int k = 1; k < iLength; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) {
        *puiBadByte = i;
        return false;
      }
      uiCode = uiCode << 6 | (next & 0x3Fu);
    }
    const uint32_t auiMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (uiCode < auiMin[iLength] || (uiCode >= 0xD800 && uiCode < 0xE000) || uiCode > 0x10FFFF) {
      *puiBadByte = i;
      return false;
    }
    if (uiCode <= 0xFFFF) pUnits->push_back(static_cast<uint16_t>(uiCode));
    i += static_cast<size_t>(iLength);
  }
  return true;
}

bool FontBuildFamily(const SFontBuildRequest& request, const std::string& outDir, std::string* pManifestLines,
                     std::string* pError) {
  CFace face;
  if (!face.open(request.fontPath, pError)) return false;
  std::set<uint16_t> unique;
  for (uint16_t usCode = 0x20; usCode < 0x7F; ++usCode) unique.insert(usCode);
  for (uint16_t usCode : request.characters) {
    if (usCode >= 0x20 && usCode != 0x7F && !(usCode >= 0xD800 && usCode < 0xE000)) unique.insert(usCode);
  }
  unique.insert(request.usDefault);
  const std::vector<uint16_t> characters(unique.begin(), unique.end());
  std::error_code ignored;
  fs::create_directories(fs::path(outDir) / "Fonts", ignored);
  fs::create_directories(fs::path(outDir) / "ImagesFonts", ignored);

  SFontFamilyDesc family;
  family.name = request.familyName;
  family.sizes = request.sizes;
  int32_t iNumber = 0;
  for (uint32_t uiHeight : request.heights) {
    SFontResolutionDesc resolution;
    resolution.uiHeight = uiHeight;
    for (uint32_t uiSize : request.sizes) {
      const std::string fontName = request.familyName + "_" + std::to_string(iNumber);
      const uint32_t uiPixels =
          std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(uiSize * uiHeight / gc_dDESIGN_HEIGHT)));
      std::vector<SRasterGlyph> glyphs;
      SFontDesc font;
      font.name = fontName;
      if (!rasterise(face.get(), characters, uiPixels, &glyphs, &font.fLineHeight, pError)) {
        *pError = request.fontPath + ": error: " + fontName + ": " + *pError;
        return false;
      }
      if (std::none_of(glyphs.begin(), glyphs.end(),
                       [&](const SRasterGlyph& glyph) { return glyph.desc.uiCode == request.usDefault; })) {
        *pError = request.fontPath + ": error: the font has no glyph for the default character U+" +
                  std::to_string(request.usDefault);
        return false;
      }
      font.fEmptyLineHeight = font.fLineHeight;
      font.usDefaultCharacter = request.usDefault;
      SAtlasPacked packed;
      if (!pack(glyphs, fontName, request.iMaxPageSize, &packed, pError)) return false;
      for (const SAtlasImage& page : packed.pages) {
        const std::string archivePath = "ImagesFonts/" + page.name + ".png";
        const std::string file = (fs::path(outDir) / archivePath).string();
        std::string error;
        if (!AtlasWriteImage(file, page, &error)) {
          *pError = file + ": error: " + error;
          return false;
        }
        appendLine(pManifestLines, archivePath, file);
        font.textures.push_back(page.name);
      }
      for (SRasterGlyph& glyph : glyphs) {
        const std::string name = "u" + std::to_string(glyph.desc.uiCode);
        for (const SAtlasPlacedImage& placed : packed.placed) {
          if (placed.name != name) continue;
          const SAtlasImage& page = packed.pages[placed.uiPage];
          glyph.desc.iTexture = static_cast<int32_t>(placed.uiPage);
          glyph.desc.fU0 = static_cast<float>(placed.iX) / static_cast<float>(page.iWidth);
          glyph.desc.fV0 = static_cast<float>(placed.iY) / static_cast<float>(page.iHeight);
          glyph.desc.fU1 = static_cast<float>(placed.iX + placed.iWidth) / static_cast<float>(page.iWidth);
          glyph.desc.fV1 = static_cast<float>(placed.iY + placed.iHeight) / static_cast<float>(page.iHeight);
        }
        font.glyphs.push_back(glyph.desc);
      }
      const std::string archivePath = "Fonts/" + fontName + ".kcf";
      const std::string file = (fs::path(outDir) / archivePath).string();
      const std::vector<uint8_t> bytes = FontWriteFont(font);
      if (!ToolWriteChecked(file, bytes,
                            [&](const std::vector<unsigned char>& written, std::string* pProblem) {
                              return FontCheckFont(written, file, pProblem);
                            },
                            pError)) {
        return false;
      }
      appendLine(pManifestLines, archivePath, file);
      resolution.fontNumbers.push_back(iNumber++);
    }
    family.resolutions.push_back(resolution);
  }
  const std::string archivePath = "Fonts/" + request.familyName + ".kff";
  const std::string file = (fs::path(outDir) / archivePath).string();
  if (!ToolWriteChecked(file, FontWriteFamily(family),
                        [&](const std::vector<unsigned char>& written, std::string* pProblem) {
                          return FontCheckFamily(written, file, pProblem);
                        },
                        pError)) {
    return false;
  }
  appendLine(pManifestLines, archivePath, file);
  return true;
}

namespace {

struct SPlaceError {
  std::string where;
  std::string what;
};

std::vector<uint32_t> positiveList(const nlohmann::json& object, const char* pKey, const std::string& where,
                                   uint32_t uiMax, bool bAscending) {
  const std::string place = where + "/" + pKey;
  if (!object.contains(pKey) || !object.at(pKey).is_array() || object.at(pKey).empty()) {
    throw SPlaceError{place, "a list of whole numbers is needed"};
  }
  std::vector<uint32_t> values;
  for (size_t i = 0; i < object.at(pKey).size(); ++i) {
    const nlohmann::json& value = object.at(pKey)[i];
    if (!value.is_number_integer() || value.get<int64_t>() < 1 || value.get<int64_t>() > uiMax) {
      throw SPlaceError{place + "/" + std::to_string(i), "a whole number from 1 to " + std::to_string(uiMax)};
    }
    values.push_back(value.get<uint32_t>());
    if (bAscending && i > 0 && values[i] <= values[i - 1]) {
      throw SPlaceError{place + "/" + std::to_string(i), "the list ascends strictly"};
    }
  }
  return values;
}

std::string textOf(const nlohmann::json& object, const char* pKey, const std::string& where, bool bNeeded) {
  if (!object.contains(pKey)) {
    if (bNeeded) throw SPlaceError{where + "/" + pKey, "is needed"};
    return "";
  }
  if (!object.at(pKey).is_string()) throw SPlaceError{where + "/" + pKey, "a text in double quotes is needed"};
  return object.at(pKey).get<std::string>();
}

}  // namespace

bool FontMakeContent(const std::string& descriptionPath, const std::string& outDir, const std::string& fontsDir,
                     std::string* pManifestLines, std::string* pError) {
  std::string text;
  if (!ToolReadTextSource(descriptionPath, &text, pError)) return false;
  nlohmann::json description;
  if (!ToolJsonParse(text, descriptionPath, true, &description, pError)) return false;
  std::vector<SFontBuildRequest> requests;
  try {
    if (!description.is_object() || !description.contains("families") || !description["families"].is_array()) {
      throw SPlaceError{"", "the description is an object with a list \"families\""};
    }
    const nlohmann::json& families = description["families"];
    for (size_t f = 0; f < families.size(); ++f) {
      const std::string where = "/families/" + std::to_string(f);
      const nlohmann::json& entry = families[f];
      if (!entry.is_object()) throw SPlaceError{where, "a family is an object"};
      for (auto it = entry.begin(); it != entry.end(); ++it) {
        static const std::set<std::string> known = {"name", "font", "sizes", "resolutions", "characters", "strings", "default"};
        if (known.count(it.key()) == 0) throw SPlaceError{where + "/" + it.key(), "is not a family field"};
      }
      SFontBuildRequest request;
      request.familyName = textOf(entry, "name", where, true);
      if (request.familyName.empty() || request.familyName.size() >= 48 ||
          request.familyName.find_first_of("/\\:. ") != std::string::npos) {
        throw SPlaceError{where + "/name", "a name of 1 to 47 characters without '/', '\\', ':', '.' or blanks"};
      }
      const std::string font = textOf(entry, "font", where, true);
      request.fontPath = fs::path(font).is_absolute() ? font : (fs::path(fontsDir) / font).string();
      request.sizes = positiveList(entry, "sizes", where, 400, true);
      request.heights = positiveList(entry, "resolutions", where, 8192, false);
      size_t uiBad = 0;
      if (!FontUtf8ToUnits(textOf(entry, "characters", where, false), &request.characters, &uiBad)) {
        throw SPlaceError{where + "/characters", "not UTF-8 at byte " + std::to_string(uiBad)};
      }
      if (entry.contains("strings")) {
        if (!entry["strings"].is_array()) throw SPlaceError{where + "/strings", "a list of files is needed"};
        for (size_t s = 0; s < entry["strings"].size(); ++s) {
          const std::string place = where + "/strings/" + std::to_string(s);
          if (!entry["strings"][s].is_string()) throw SPlaceError{place, "a file name in double quotes is needed"};
          const std::string path =
              (fs::path(descriptionPath).parent_path() / entry["strings"][s].get<std::string>()).string();
          std::string strings;
          if (std::string why; !ToolReadFile(path, &strings, &why)) throw SPlaceError{place, path + " " + why};
          if (!FontUtf8ToUnits(strings, &request.characters, &uiBad)) {
            throw SPlaceError{place, path + " is not UTF-8 at byte " + std::to_string(uiBad)};
          }
        }
      }
      const std::string defaultCharacter = textOf(entry, "default", where, false);
      if (!defaultCharacter.empty()) {
        std::vector<uint16_t> units;
        if (!FontUtf8ToUnits(defaultCharacter, &units, &uiBad) || units.size() != 1 || units[0] < 0x20) {
          throw SPlaceError{where + "/default", "one printable character is needed"};
        }
        request.usDefault = units[0];
      }
      requests.push_back(request);
    }
  } catch (const SPlaceError& error) {
    *pError = descriptionPath + ": " + (error.where.empty() ? "/" : error.where) + ": " + error.what;
    return false;
  } catch (const nlohmann::json::exception& error) {
    *pError = descriptionPath + ": error: " + ToolJsonMessage(error);
    return false;
  }
  for (const SFontBuildRequest& request : requests) {
    if (!FontBuildFamily(request, outDir, pManifestLines, pError)) return false;
  }
  return true;
}
