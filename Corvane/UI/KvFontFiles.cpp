#include "Corvane/UI/KvFontFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "Corvane/Memory/KvAlloc.h"

namespace {

// One byte range of the image that a later step overwrites or reads after relocation.
struct SRange {
  u64 uiStart;
  u64 uiEnd;
  const char* pWhat;
  i32 iIndex;
};

class CFontFileCheck {
 public:
  CFontFileCheck(const u8* pImage, u32 uiSize, const char* pFileName, u32 uiNameHash, char* pError, u32 uiErrorSize)
      : m_pImage(pImage),
        m_uiSize(uiSize),
        m_pFileName(pFileName),
        m_uiNameHash(uiNameHash),
        m_pError(pError),
        m_uiErrorSize(uiErrorSize) {}

  // The loader finds a loaded file by the name hash it holds, so one that holds another is as good as not loaded.
  bool holdsItsName(u32 uiStoredHash) {
    if (uiStoredHash != m_uiNameHash) {
      return fail("it holds the name hash 0x%08X, not 0x%08X of the name it is loaded by", uiStoredHash, m_uiNameHash);
    }
    return true;
  }

  bool fail(const char* pFormat, ...) __attribute__((format(printf, 2, 3))) {
    if (m_pError != nullptr && m_uiErrorSize > 0) {
      char szProblem[gc_uiFONT_FILE_ERROR_SIZE];
      va_list args;
      va_start(args, pFormat);
      std::vsnprintf(szProblem, sizeof(szProblem), pFormat, args);
      va_end(args);
      std::snprintf(m_pError, m_uiErrorSize, "%s: %s", m_pFileName != nullptr ? m_pFileName : "?", szProblem);
    }
    return false;
  }

  u32 word(u64 uiOffset) const {
    u32 uiValue;
    std::memcpy(&uiValue, m_pImage + uiOffset, 4);
    return uiValue;
  }
  f32 real(u64 uiOffset) const {
    f32 fValue;
    std::memcpy(&fValue, m_pImage + uiOffset, 4);
    return fValue;
  }
  bool inside(u64 uiOffset, u64 uiBytes) const { return uiOffset + uiBytes <= m_uiSize; }

  // A table of iCount u32 offsets at the offset in the slot at uiSlot, each to a record of uiRecordSize bytes on a
  // 4-byte boundary inside the file.
  bool table(u64 uiSlot, i32 iCount, u32 uiRecordSize, const char* pWhat) {
    if (iCount < 0) return fail("the %s count is %d", pWhat, iCount);
    const u32 uiTable = word(uiSlot);
    if ((uiTable & 3) != 0 || !inside(uiTable, 4ull * static_cast<u32>(iCount))) {
      return fail("the %s table (%d entries at %u) does not lie inside the file", pWhat, iCount, uiTable);
    }
    for (i32 i = 0; i < iCount; ++i) {
      const u32 uiRecord = word(uiTable + 4ull * static_cast<u32>(i));
      if ((uiRecord & 3) != 0 || !inside(uiRecord, uiRecordSize)) {
        return fail("%s %d (at %u) does not lie inside the file", pWhat, i, uiRecord);
      }
    }
    return true;
  }
  u32 entry(u64 uiSlot, i32 iIndex) const { return word(word(uiSlot) + 4ull * static_cast<u32>(iIndex)); }

  // The ranges may not overlap: each is overwritten by relocation or read after it.
  bool disjoint(std::vector<SRange>* pRanges) {
    std::sort(pRanges->begin(), pRanges->end(),
              [](const SRange& a, const SRange& b) { return a.uiStart < b.uiStart; });
    for (size_t i = 1; i < pRanges->size(); ++i) {
      const SRange& before = (*pRanges)[i - 1];
      const SRange& after = (*pRanges)[i];
      if (after.uiStart < before.uiEnd) {
        return fail("%s %d (at %llu) overlaps %s %d (at %llu)", after.pWhat, after.iIndex,
                    static_cast<unsigned long long>(after.uiStart), before.pWhat, before.iIndex,
                    static_cast<unsigned long long>(before.uiStart));
      }
    }
    return true;
  }

  bool family() {
    if (m_pImage == nullptr || m_uiSize < sizeof(SFontFamilyData)) {
      return fail("the file is %u bytes, shorter than the %zu-byte header", m_uiSize, sizeof(SFontFamilyData));
    }
    const SFontFamilyData& header = *reinterpret_cast<const SFontFamilyData*>(m_pImage);
    if (!holdsItsName(header.mp_uiNameHash)) return false;
    if (std::memchr(header.mp_acName, 0, sizeof(header.mp_acName)) == nullptr) {
      return fail("the family name does not end inside its %d bytes", gc_iFONT_FAMILY_NAME_SIZE);
    }
    if (header.mp_iNumberResolutions < 1) return fail("the resolution count is %d", header.mp_iNumberResolutions);
    if (header.mp_iNumberSizes < 1) return fail("the size count is %d", header.mp_iNumberSizes);
    if (!table(offsetof(SFontFamilyData, mp_ppResolutions), header.mp_iNumberResolutions, sizeof(SFontResolution),
               "resolution") ||
        !table(offsetof(SFontFamilyData, mp_ppSizes), header.mp_iNumberSizes, sizeof(SFontSize), "size")) {
      return false;
    }
    u32 uiLastSize = 0;
    for (i32 i = 0; i < header.mp_iNumberSizes; ++i) {
      const u32 uiPointSize = word(entry(offsetof(SFontFamilyData, mp_ppSizes), i));
      if (uiPointSize <= uiLastSize) {
        return fail("size %d is %u points: sizes start above 0 and ascend strictly", i, uiPointSize);
      }
      uiLastSize = uiPointSize;
    }
    std::vector<SRange> ranges;
    ranges.push_back({0, sizeof(SFontFamilyData), "the header", 0});
    for (i32 i = 0; i < header.mp_iNumberResolutions; ++i) {
      const u32 uiResolution = entry(offsetof(SFontFamilyData, mp_ppResolutions), i);
      const i32 iFonts = static_cast<i32>(word(uiResolution + offsetof(SFontResolution, mp_iNumberFonts)));
      if (iFonts < header.mp_iNumberSizes) {
        return fail("resolution %d has %d fonts for %d sizes", i, iFonts, header.mp_iNumberSizes);
      }
      char szWhat[32];
      std::snprintf(szWhat, sizeof(szWhat), "resolution %d font", i);
      if (!table(uiResolution, iFonts, sizeof(SFontRecord), szWhat)) return false;
      ranges.push_back({uiResolution, uiResolution + sizeof(SFontResolution), "resolution", i});
    }
    return disjoint(&ranges);
  }

  bool font() {
    if (m_pImage == nullptr || m_uiSize < sizeof(SFontData)) {
      return fail("the file is %u bytes, shorter than the %zu-byte header", m_uiSize, sizeof(SFontData));
    }
    const SFontData& header = *reinterpret_cast<const SFontData*>(m_pImage);
    if (!holdsItsName(header.mp_uiNameHash)) return false;
    if (header.mp_iNumberTextures < 0 || header.mp_iNumberTextures > gc_iMAX_SIGS_PER_FONT) {
      return fail("the texture count is %d (0 to %d)", header.mp_iNumberTextures, gc_iMAX_SIGS_PER_FONT);
    }
    if (!std::isfinite(header.mp_fLineHeight) || !std::isfinite(header.mp_fEmptyLineHeight)) {
      return fail("the line height or the empty-line height is not a finite number");
    }
    if (!table(offsetof(SFontData, mp_ppGlyphs), header.mp_iNumberGlyphs, sizeof(SFontGlyph), "glyph") ||
        !table(offsetof(SFontData, mp_ppTextureNames), header.mp_iNumberTextures, 1, "texture name")) {
      return false;
    }
    std::vector<SRange> ranges;
    ranges.push_back({0, sizeof(SFontData), "the header", 0});
    for (i32 i = 0; i < header.mp_iNumberTextures; ++i) {
      const u32 uiName = entry(offsetof(SFontData, mp_ppTextureNames), i);
      const char* pName = reinterpret_cast<const char*>(m_pImage + uiName);
      const void* pEnd = std::memchr(pName, 0, m_uiSize - uiName);
      if (pEnd == nullptr) return fail("texture name %d does not end inside the file", i);
      if (!nameStaysInside(pName)) {
        return fail("texture name %d is empty or leaves the data root (an absolute path, a drive or a \"..\" part)", i);
      }
      ranges.push_back({uiName, static_cast<u64>(static_cast<const u8*>(pEnd) - m_pImage) + 1, "texture name", i});
    }
    for (i32 i = 0; i < header.mp_iNumberGlyphs; ++i) {
      const u32 uiGlyph = entry(offsetof(SFontData, mp_ppGlyphs), i);
      ranges.push_back({uiGlyph, uiGlyph + sizeof(SFontGlyph), "glyph", i});
    }
    if (!disjoint(&ranges)) return false;
    m_pSorted = &ranges;
    u32 uiLastCode = 0;
    for (i32 i = 0; i < header.mp_iNumberGlyphs; ++i) {
      const u32 uiGlyph = entry(offsetof(SFontData, mp_ppGlyphs), i);
      if (!glyph(uiGlyph, i, header.mp_iNumberTextures)) return false;
      const u32 uiCode = word(uiGlyph + offsetof(SFontGlyph, mp_uiCode));
      if (i > 0 && uiCode <= uiLastCode) {
        return fail("glyph %d (code %u) does not follow glyph %d (code %u) in ascending order", i, uiCode, i - 1,
                    uiLastCode);
      }
      uiLastCode = uiCode;
    }
    return true;
  }

  bool glyph(u32 uiGlyph, i32 iIndex, i32 iNumberTextures) {
    const u32 uiCode = word(uiGlyph + offsetof(SFontGlyph, mp_uiCode));
    if (uiCode > 0xFFFF) return fail("glyph %d has the code %u, above 0xFFFF", iIndex, uiCode);
    for (u32 uiField = offsetof(SFontGlyph, mp_fAdvanceX); uiField < offsetof(SFontGlyph, mp_iTextureIndex);
         uiField += 4) {
      if (!std::isfinite(real(uiGlyph + uiField))) {
        return fail("glyph %d (code %u) has a field at %u that is not a finite number", iIndex, uiCode, uiField);
      }
    }
    const i32 iTexture = static_cast<i32>(word(uiGlyph + offsetof(SFontGlyph, mp_iTextureIndex)));
    const bool bDraws = real(uiGlyph + offsetof(SFontGlyph, mp_fWidth)) != 0.0f &&
                        real(uiGlyph + offsetof(SFontGlyph, mp_fHeight)) != 0.0f;
    if (iTexture < 0 || iTexture >= gc_iMAX_SIGS_PER_FONT || (bDraws && iTexture >= iNumberTextures)) {
      return fail("glyph %d (code %u) is on texture %d, which the font does not have (%d textures)", iIndex, uiCode,
                  iTexture, iNumberTextures);
    }
    const i32 iKernings = static_cast<i32>(word(uiGlyph + offsetof(SFontGlyph, mp_iNumberKernings)));
    char szWhat[48];
    std::snprintf(szWhat, sizeof(szWhat), "glyph %d kerning", iIndex);
    if (!table(uiGlyph, iKernings, sizeof(SFontKerning), szWhat)) return false;
    u32 uiLastPrevious = 0;
    for (i32 k = 0; k < iKernings; ++k) {
      const u32 uiKerning = entry(uiGlyph, k);
      const u32 uiPrevious = word(uiKerning);
      if (uiPrevious > 0xFFFF) {
        return fail("glyph %d (code %u): kerning %d has the previous code %u, above 0xFFFF", iIndex, uiCode, k,
                    uiPrevious);
      }
      if (const SRange* pRange = overlapping(uiKerning, uiKerning + sizeof(SFontKerning))) {
        return fail("glyph %d (code %u): kerning %d (at %u) overlaps %s %d", iIndex, uiCode, k, uiKerning,
                    pRange->pWhat, pRange->iIndex);
      }
      if (k > 0 && uiPrevious <= uiLastPrevious) {
        return fail("glyph %d (code %u): kerning %d is not in ascending order of previous codes", iIndex, uiCode, k);
      }
      if (!std::isfinite(real(uiKerning + 4)) || !std::isfinite(real(uiKerning + 8))) {
        return fail("glyph %d (code %u): kerning %d is not a finite number", iIndex, uiCode, k);
      }
      uiLastPrevious = uiPrevious;
    }
    return true;
  }

  // The record of the sorted, disjoint ranges that [uiStart, uiEnd) overlaps, or null: kerning records are read
  // after relocation, so no slot may be written over them.
  const SRange* overlapping(u64 uiStart, u64 uiEnd) const {
    if (m_pSorted == nullptr) return nullptr;
    const auto it = std::upper_bound(m_pSorted->begin(), m_pSorted->end(), uiStart,
                                     [](u64 uiValue, const SRange& range) { return uiValue < range.uiStart; });
    if (it != m_pSorted->end() && it->uiStart < uiEnd) return &*it;
    if (it != m_pSorted->begin() && std::prev(it)->uiEnd > uiStart) return &*std::prev(it);
    return nullptr;
  }

  static bool nameStaysInside(const char* pName) {
    if (pName[0] == '\0' || pName[0] == '/' || pName[0] == '\\' || std::strchr(pName, ':') != nullptr) return false;
    for (const char* pPart = pName; *pPart != '\0';) {
      const size_t uiLength = std::strcspn(pPart, "/\\");
      if (uiLength == 2 && pPart[0] == '.' && pPart[1] == '.') return false;
      pPart += uiLength;
      if (*pPart != '\0') ++pPart;
    }
    return true;
  }

 private:
  const u8* m_pImage;
  u32 m_uiSize;
  const char* m_pFileName;
  u32 m_uiNameHash;
  char* m_pError;
  u32 m_uiErrorSize;
  const std::vector<SRange>* m_pSorted = nullptr;
};

u32 wordAt(const u8* pImage, u64 uiOffset) {
  u32 uiValue;
  std::memcpy(&uiValue, pImage + uiOffset, 4);
  return uiValue;
}

// Fills iCount pointers of ppOut from the u32 offset table whose offset is the word at uiSlot.
template <typename T>
void resolveTable(u8* pImage, u64 uiSlot, i32 iCount, T** ppOut) {
  const u32 uiTable = wordAt(pImage, uiSlot);
  for (i32 i = 0; i < iCount; ++i) {
    ppOut[i] = reinterpret_cast<T*>(pImage + wordAt(pImage, uiTable + 4ull * static_cast<u32>(i)));
  }
}

void** allocPointers(size_t uiCount) {
  return static_cast<void**>(KvAlignedAlloc(sizeof(void*) * (uiCount > 0 ? uiCount : 1), 16));
}

}  // namespace

bool KvCheckFontFamily(const u8* pImage, u32 uiSize, const char* pFileName, u32 uiNameHash, char* pError,
                       u32 uiErrorSize) {
  return CFontFileCheck(pImage, uiSize, pFileName, uiNameHash, pError, uiErrorSize).family();
}

bool KvCheckFontFile(const u8* pImage, u32 uiSize, const char* pFileName, u32 uiNameHash, char* pError,
                     u32 uiErrorSize) {
  return CFontFileCheck(pImage, uiSize, pFileName, uiNameHash, pError, uiErrorSize).font();
}

// Every offset is read from the untouched image before any slot is overwritten; the check keeps the slots
// apart from the counts and names read afterwards.
void* KvRelocateFontFamily(u8* pImage) {
  SFontFamilyData* pHeader = reinterpret_cast<SFontFamilyData*>(pImage);
  const i32 iResolutions = pHeader->mp_iNumberResolutions;
  const i32 iSizes = pHeader->mp_iNumberSizes;
  std::vector<u32> resolutionOffsets(static_cast<size_t>(iResolutions));
  size_t uiTotal = static_cast<size_t>(iResolutions) + static_cast<size_t>(iSizes);
  const u32 uiResolutionTable = wordAt(pImage, offsetof(SFontFamilyData, mp_ppResolutions));
  for (i32 i = 0; i < iResolutions; ++i) {
    resolutionOffsets[static_cast<size_t>(i)] = wordAt(pImage, uiResolutionTable + 4ull * static_cast<u32>(i));
    uiTotal += wordAt(pImage, resolutionOffsets[static_cast<size_t>(i)] + offsetof(SFontResolution, mp_iNumberFonts));
  }
  void** ppBlock = allocPointers(uiTotal);
  if (ppBlock == nullptr) return nullptr;
  SFontResolution** ppResolutions = reinterpret_cast<SFontResolution**>(ppBlock);
  SFontSize** ppSizes = reinterpret_cast<SFontSize**>(ppBlock + iResolutions);
  resolveTable(pImage, offsetof(SFontFamilyData, mp_ppResolutions), iResolutions, ppResolutions);
  resolveTable(pImage, offsetof(SFontFamilyData, mp_ppSizes), iSizes, ppSizes);
  void** ppNext = ppBlock + iResolutions + iSizes;
  std::vector<SFontRecord**> fontTables(static_cast<size_t>(iResolutions));
  for (i32 i = 0; i < iResolutions; ++i) {
    const u32 uiResolution = resolutionOffsets[static_cast<size_t>(i)];
    const i32 iFonts = static_cast<i32>(wordAt(pImage, uiResolution + offsetof(SFontResolution, mp_iNumberFonts)));
    fontTables[static_cast<size_t>(i)] = reinterpret_cast<SFontRecord**>(ppNext);
    resolveTable(pImage, uiResolution, iFonts, fontTables[static_cast<size_t>(i)]);
    ppNext += iFonts;
  }
  for (i32 i = 0; i < iResolutions; ++i) {
    ppResolutions[i]->mp_ppFonts = fontTables[static_cast<size_t>(i)];
  }
  pHeader->mp_ppResolutions = ppResolutions;
  pHeader->mp_ppSizes = ppSizes;
  return ppBlock;
}

void* KvRelocateFontFile(u8* pImage) {
  SFontData* pHeader = reinterpret_cast<SFontData*>(pImage);
  const i32 iGlyphs = pHeader->mp_iNumberGlyphs;
  const i32 iTextures = pHeader->mp_iNumberTextures;
  size_t uiTotal = static_cast<size_t>(iGlyphs) + static_cast<size_t>(iTextures);
  const u32 uiGlyphTable = wordAt(pImage, offsetof(SFontData, mp_ppGlyphs));
  for (i32 i = 0; i < iGlyphs; ++i) {
    const u32 uiGlyph = wordAt(pImage, uiGlyphTable + 4ull * static_cast<u32>(i));
    uiTotal += wordAt(pImage, uiGlyph + offsetof(SFontGlyph, mp_iNumberKernings));
  }
  void** ppBlock = allocPointers(uiTotal);
  if (ppBlock == nullptr) return nullptr;
  SFontGlyph** ppGlyphs = reinterpret_cast<SFontGlyph**>(ppBlock);
  const char** ppNames = const_cast<const char**>(reinterpret_cast<char**>(ppBlock + iGlyphs));
  resolveTable(pImage, offsetof(SFontData, mp_ppGlyphs), iGlyphs, ppGlyphs);
  resolveTable(pImage, offsetof(SFontData, mp_ppTextureNames), iTextures, ppNames);
  void** ppNext = ppBlock + iGlyphs + iTextures;
  std::vector<SFontKerning**> kerningTables(static_cast<size_t>(iGlyphs));
  for (i32 i = 0; i < iGlyphs; ++i) {
    const u64 uiGlyph = static_cast<u64>(reinterpret_cast<u8*>(ppGlyphs[i]) - pImage);
    const i32 iKernings = static_cast<i32>(wordAt(pImage, uiGlyph + offsetof(SFontGlyph, mp_iNumberKernings)));
    kerningTables[static_cast<size_t>(i)] = reinterpret_cast<SFontKerning**>(ppNext);
    resolveTable(pImage, uiGlyph, iKernings, kerningTables[static_cast<size_t>(i)]);
    ppNext += iKernings;
  }
  for (i32 i = 0; i < iGlyphs; ++i) {
    ppGlyphs[i]->mp_ppKerning = kerningTables[static_cast<size_t>(i)];
  }
  pHeader->mp_ppGlyphs = ppGlyphs;
  pHeader->mp_ppTextureNames = ppNames;
  return ppBlock;
}
