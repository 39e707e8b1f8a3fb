#include "Tools/fontc/FontFiles.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Corvane/UI/KvFontFiles.h"

namespace {

// A file image grown record by record; every record starts on a 4-byte boundary.
class CImage {
 public:
  uint32_t add(size_t uiBytes) {
    const uint32_t uiAt = static_cast<uint32_t>((m_bytes.size() + 3) & ~size_t{3});
    m_bytes.resize(uiAt + uiBytes, 0);
    return uiAt;
  }
  template <typename T>
  void put(uint32_t uiAt, T value) {
    std::memcpy(m_bytes.data() + uiAt, &value, sizeof(T));
  }
  // A table of offsets whose own offset goes to uiSlot.
  uint32_t table(uint32_t uiSlot, size_t uiCount) {
    const uint32_t uiTable = add(4 * uiCount);
    put<uint32_t>(uiSlot, uiTable);
    return uiTable;
  }
  std::vector<uint8_t> take() { return std::move(m_bytes); }

 private:
  std::vector<uint8_t> m_bytes;
};

// A 16-byte aligned copy of a file image that the engine may relocate, freed with its relocation.
struct SAlignedImage {
  explicit SAlignedImage(const std::vector<uint8_t>& bytes)
      : pData(static_cast<u8*>(KvAlignedAlloc(bytes.size() + 1, 16))) {
    if (pData != nullptr && !bytes.empty()) std::memcpy(pData, bytes.data(), bytes.size());
  }
  ~SAlignedImage() {
    KvAlignedFree(pRelocation);
    KvAlignedFree(pData);
  }
  SAlignedImage(const SAlignedImage&) = delete;
  SAlignedImage& operator=(const SAlignedImage&) = delete;
  u8* pData;
  void* pRelocation = nullptr;
};

using CheckFunction = bool (*)(const u8*, u32, const char*, u32, char*, u32);

// The name the loader loads a file by: its file name without folder and extension.
std::string loadedName(const std::string& fileName) {
  const size_t uiSlash = fileName.find_last_of("/\\");
  std::string name = uiSlash == std::string::npos ? fileName : fileName.substr(uiSlash + 1);
  const size_t uiDot = name.find_last_of('.');
  return uiDot == std::string::npos ? name : name.substr(0, uiDot);
}

bool check(CheckFunction pfnCheck, const std::vector<uint8_t>& bytes, const std::string& fileName, u8* pImage,
           std::string* pError) {
  char szError[gc_uiFONT_FILE_ERROR_SIZE];
  if (bytes.size() > 0xFFFFFFFFu) {
    *pError = fileName + ": the file is larger than 4 GiB";
    return false;
  }
  if (!pfnCheck(pImage, static_cast<u32>(bytes.size()), fileName.c_str(), KvStrHash(loadedName(fileName).c_str()),
                szError, sizeof(szError))) {
    *pError = szError;
    return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> FontWriteFamily(const SFontFamilyDesc& family) {
  CImage image;
  image.add(sizeof(SFontFamilyData));
  image.put<int32_t>(offsetof(SFontFamilyData, mp_iNumberResolutions), static_cast<int32_t>(family.resolutions.size()));
  image.put<int32_t>(offsetof(SFontFamilyData, mp_iNumberSizes), static_cast<int32_t>(family.sizes.size()));
  char acName[gc_iFONT_FAMILY_NAME_SIZE] = {};
  std::strncpy(acName, family.name.c_str(), sizeof(acName) - 1);
  for (size_t i = 0; i < sizeof(acName); ++i) image.put<char>(static_cast<uint32_t>(offsetof(SFontFamilyData, mp_acName) + i), acName[i]);
  image.put<uint32_t>(offsetof(SFontFamilyData, mp_uiNameHash), KvStrHash(acName));
  const uint32_t uiSizes = image.table(offsetof(SFontFamilyData, mp_ppSizes), family.sizes.size());
  for (size_t i = 0; i < family.sizes.size(); ++i) {
    const uint32_t uiRecord = image.add(sizeof(SFontSize));
    image.put<uint32_t>(uiRecord, family.sizes[i]);
    image.put<uint32_t>(static_cast<uint32_t>(uiSizes + 4 * i), uiRecord);
  }
  const uint32_t uiResolutions = image.table(offsetof(SFontFamilyData, mp_ppResolutions), family.resolutions.size());
  for (size_t r = 0; r < family.resolutions.size(); ++r) {
    const SFontResolutionDesc& resolution = family.resolutions[r];
    const uint32_t uiRecord = image.add(sizeof(SFontResolution));
    image.put<uint32_t>(static_cast<uint32_t>(uiResolutions + 4 * r), uiRecord);
    image.put<int32_t>(uiRecord + offsetof(SFontResolution, mp_iNumberFonts),
                       static_cast<int32_t>(resolution.fontNumbers.size()));
    image.put<uint32_t>(uiRecord + offsetof(SFontResolution, mp_uiHeight), resolution.uiHeight);
    const uint32_t uiFonts = image.table(uiRecord, resolution.fontNumbers.size());
    for (size_t f = 0; f < resolution.fontNumbers.size(); ++f) {
      const uint32_t uiFont = image.add(sizeof(SFontRecord));
      image.put<int32_t>(uiFont + offsetof(SFontRecord, mp_iFontNumber), resolution.fontNumbers[f]);
      image.put<uint32_t>(static_cast<uint32_t>(uiFonts + 4 * f), uiFont);
    }
  }
  return image.take();
}

std::vector<uint8_t> FontWriteFont(const SFontDesc& font) {
  std::vector<SFontGlyphDesc> glyphs = font.glyphs;
  std::sort(glyphs.begin(), glyphs.end(),
            [](const SFontGlyphDesc& a, const SFontGlyphDesc& b) { return a.uiCode < b.uiCode; });
  CImage image;
  image.add(sizeof(SFontData));
  image.put<int32_t>(offsetof(SFontData, mp_iNumberGlyphs), static_cast<int32_t>(glyphs.size()));
  image.put<int32_t>(offsetof(SFontData, mp_iNumberTextures), static_cast<int32_t>(font.textures.size()));
  image.put<uint32_t>(offsetof(SFontData, mp_uiNameHash), KvStrHash(font.name.c_str()));
  image.put<float>(offsetof(SFontData, mp_fLineHeight), font.fLineHeight);
  image.put<float>(offsetof(SFontData, mp_fEmptyLineHeight), font.fEmptyLineHeight);
  image.put<uint16_t>(offsetof(SFontData, mp_usDefaultCharacter), font.usDefaultCharacter);
  const uint32_t uiNames = image.table(offsetof(SFontData, mp_ppTextureNames), font.textures.size());
  for (size_t t = 0; t < font.textures.size(); ++t) {
    const uint32_t uiName = image.add(font.textures[t].size() + 1);
    for (size_t c = 0; c < font.textures[t].size(); ++c) image.put<char>(static_cast<uint32_t>(uiName + c), font.textures[t][c]);
    image.put<uint32_t>(static_cast<uint32_t>(uiNames + 4 * t), uiName);
  }
  const uint32_t uiGlyphs = image.table(offsetof(SFontData, mp_ppGlyphs), glyphs.size());
  for (size_t g = 0; g < glyphs.size(); ++g) {
    const SFontGlyphDesc& glyph = glyphs[g];
    const uint32_t uiGlyph = image.add(sizeof(SFontGlyph));
    image.put<uint32_t>(static_cast<uint32_t>(uiGlyphs + 4 * g), uiGlyph);
    image.put<uint32_t>(uiGlyph + offsetof(SFontGlyph, mp_uiCode), glyph.uiCode);
    const float afFields[] = {glyph.fAdvanceX, glyph.fAdvanceY, glyph.fWidth, glyph.fHeight, glyph.fOffsetX,
                              glyph.fOffsetY,  glyph.fU0,       glyph.fV0,    glyph.fU1,     glyph.fV1};
    for (size_t i = 0; i < std::size(afFields); ++i) {
      image.put<float>(static_cast<uint32_t>(uiGlyph + offsetof(SFontGlyph, mp_fAdvanceX) + 4 * i), afFields[i]);
    }
    image.put<int32_t>(uiGlyph + offsetof(SFontGlyph, mp_iTextureIndex), glyph.iTexture);
    std::vector<SFontKerningDesc> kerning = glyph.kerning;
    std::sort(kerning.begin(), kerning.end(),
              [](const SFontKerningDesc& a, const SFontKerningDesc& b) { return a.uiPrevious < b.uiPrevious; });
    image.put<int32_t>(uiGlyph + offsetof(SFontGlyph, mp_iNumberKernings), static_cast<int32_t>(kerning.size()));
    const uint32_t uiKerning = image.table(uiGlyph, kerning.size());
    for (size_t k = 0; k < kerning.size(); ++k) {
      const uint32_t uiRecord = image.add(sizeof(SFontKerning));
      image.put<uint32_t>(uiRecord, kerning[k].uiPrevious);
      image.put<float>(uiRecord + 4, kerning[k].fX);
      image.put<float>(uiRecord + 8, kerning[k].fY);
      image.put<uint32_t>(static_cast<uint32_t>(uiKerning + 4 * k), uiRecord);
    }
  }
  return image.take();
}

bool FontCheckFamily(const std::vector<uint8_t>& bytes, const std::string& fileName, std::string* pError) {
  SAlignedImage image(bytes);
  return image.pData != nullptr && check(KvCheckFontFamily, bytes, fileName, image.pData, pError);
}

bool FontCheckFont(const std::vector<uint8_t>& bytes, const std::string& fileName, std::string* pError) {
  SAlignedImage image(bytes);
  return image.pData != nullptr && check(KvCheckFontFile, bytes, fileName, image.pData, pError);
}

bool FontDumpFamily(const std::vector<uint8_t>& bytes, const std::string& fileName, nlohmann::ordered_json* pOut,
                    std::string* pError) {
  SAlignedImage image(bytes);
  if (image.pData == nullptr || !check(KvCheckFontFamily, bytes, fileName, image.pData, pError)) return false;
  image.pRelocation = KvRelocateFontFamily(image.pData);
  if (image.pRelocation == nullptr) {
    *pError = fileName + ": no memory for the relocation";
    return false;
  }
  const SFontFamilyData* pData = reinterpret_cast<const SFontFamilyData*>(image.pData);
  nlohmann::ordered_json out;
  out["name"] = pData->mp_acName;
  out["nameHash"] = pData->mp_uiNameHash;
  nlohmann::ordered_json sizes = nlohmann::ordered_json::array();
  for (i32 i = 0; i < pData->mp_iNumberSizes; ++i) sizes.push_back(pData->mp_ppSizes[i]->mp_uiPointSize);
  out["sizes"] = sizes;
  nlohmann::ordered_json resolutions = nlohmann::ordered_json::array();
  for (i32 r = 0; r < pData->mp_iNumberResolutions; ++r) {
    const SFontResolution* pResolution = pData->mp_ppResolutions[r];
    nlohmann::ordered_json fonts = nlohmann::ordered_json::array();
    for (i32 f = 0; f < pResolution->mp_iNumberFonts; ++f) {
      fonts.push_back(std::string(pData->mp_acName) + "_" + std::to_string(pResolution->mp_ppFonts[f]->mp_iFontNumber));
    }
    resolutions.push_back({{"height", pResolution->mp_uiHeight}, {"fonts", fonts}});
  }
  out["resolutions"] = resolutions;
  *pOut = out;
  return true;
}

bool FontDumpFont(const std::vector<uint8_t>& bytes, const std::string& fileName, nlohmann::ordered_json* pOut,
                  std::string* pError) {
  SAlignedImage image(bytes);
  if (image.pData == nullptr || !check(KvCheckFontFile, bytes, fileName, image.pData, pError)) return false;
  image.pRelocation = KvRelocateFontFile(image.pData);
  if (image.pRelocation == nullptr) {
    *pError = fileName + ": no memory for the relocation";
    return false;
  }
  const SFontData* pData = reinterpret_cast<const SFontData*>(image.pData);
  nlohmann::ordered_json out;
  out["nameHash"] = pData->mp_uiNameHash;
  out["lineHeight"] = pData->mp_fLineHeight;
  out["emptyLineHeight"] = pData->mp_fEmptyLineHeight;
  out["defaultCharacter"] = pData->mp_usDefaultCharacter;
  out["defaultCharacterHasGlyph"] = ClFontFamilyMgr::findGlyph(pData, pData->mp_usDefaultCharacter) != nullptr;
  nlohmann::ordered_json textures = nlohmann::ordered_json::array();
  for (i32 t = 0; t < pData->mp_iNumberTextures; ++t) textures.push_back(pData->mp_ppTextureNames[t]);
  out["textures"] = textures;
  nlohmann::ordered_json glyphs = nlohmann::ordered_json::array();
  for (i32 g = 0; g < pData->mp_iNumberGlyphs; ++g) {
    const SFontGlyph* pGlyph = pData->mp_ppGlyphs[g];
    nlohmann::ordered_json glyph = {{"code", pGlyph->mp_uiCode},
                                    {"advance", {pGlyph->mp_fAdvanceX, pGlyph->mp_fAdvanceY}},
                                    {"size", {pGlyph->mp_fWidth, pGlyph->mp_fHeight}},
                                    {"offset", {pGlyph->mp_fOffsetX, pGlyph->mp_fOffsetY}},
                                    {"uv", {pGlyph->mp_fU0, pGlyph->mp_fV0, pGlyph->mp_fU1, pGlyph->mp_fV1}},
                                    {"texture", pGlyph->mp_iTextureIndex}};
    if (pGlyph->mp_iNumberKernings > 0) {
      nlohmann::ordered_json kerning = nlohmann::ordered_json::array();
      for (i32 k = 0; k < pGlyph->mp_iNumberKernings; ++k) {
        const SFontKerning* pKerning = pGlyph->mp_ppKerning[k];
        kerning.push_back({pKerning->mp_uiPrevious, pKerning->mp_fX, pKerning->mp_fY});
      }
      glyph["kerning"] = kerning;
    }
    glyphs.push_back(glyph);
  }
  out["glyphs"] = glyphs;
  *pOut = out;
  return true;
}
