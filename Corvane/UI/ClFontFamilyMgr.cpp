#include "Corvane/UI/ClFontFamilyMgr.h"

#include <cmath>
#include <cstdlib>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/Graphics/KvGraphicsFiles.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

// The font's name: the family name, an underscore and the font number.
void fontName(char* pOut, u32 uiSize, const SFontFamilyData* pData, const SFontRecord* pRecord) {
  KvSNPrintf(pOut, uiSize, "%s_%d", pData->mp_acName, pRecord->mp_iFontNumber);
}

// "<data root>Fonts/<name><extension>", as the archive reader is asked for it.
void fontFilePath(char* pPath, const char* pName, const char* pExtension) {
  char szName[KV_MAX_PATH_LEN];
  KvSNPrintf(szName, sizeof(szName), "Fonts/%s", pName);
  KvBuildGraphicsPath(pPath, KvGetBaseDataPath(), szName, pExtension);
}

// Reads "<data root>Fonts/<name><extension>" whole; false when it cannot be read (open failures are not reported:
// a family that is not there is simply not loaded) or the check refuses it (reported, with where the file lives).
template <typename Check>
bool readFontFile(const char* pName, const char* pExtension, Check check, SMagRef** ppRef, u32* puiSize) {
  char szPath[KV_MAX_PATH_LEN];
  fontFilePath(szPath, pName, pExtension);
  i32 iCode = 0;
  const E_GRAPHICS_READ eRead = KvReadGraphicsFile(szPath, ppRef, puiSize, &iCode);
  if (eRead != E_GRAPHICS_READ_OK) {
    if (eRead != E_GRAPHICS_READ_OPEN_FAILED) {
      KvPrintProblem("Font file [%s] could not be read (code %d): %s", szPath, iCode, ClMagFileIO::getLastProblem());
    }
    return false;
  }
  char szError[gc_uiFONT_FILE_ERROR_SIZE];
  if (!check((*ppRef)->mp_pDestinationBuffer, *puiSize, szPath, KvStrHash(pName), szError, sizeof(szError))) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvPrintProblem("%s (%s)", szError, ClMagFileIO::describeLocation(szPath, szWhere, sizeof(szWhere)));
    ClMagFileIO::close(*ppRef);
    *ppRef = nullptr;
    return false;
  }
  return true;
}

}  // namespace

void ClFontFamilyMgr::initialiseFamilyPool() {
  mp_familyPool.initialize();
  ++mp_uiGeneration;
}

void ClFontFamilyMgr::initialiseFontPool() {
  mp_fontPool.initialize();
  ++mp_uiGeneration;
}

ClFontFamily* ClFontFamilyMgr::findFamily(u32 uiFamilyHash) {
  for (i32 i = 0; i < mp_familyPool.getCount(); ++i) {
    ClFontFamily* pFamily = mp_familyPool.get(i);
    if (pFamily->mp_bLoaded && pFamily->mp_pFamilyData->mp_uiNameHash == uiFamilyHash) return pFamily;
  }
  return nullptr;
}

ClFontEntry* ClFontFamilyMgr::findFont(u32 uiFontHash) {
  for (i32 i = 0; i < mp_fontPool.getCount(); ++i) {
    ClFontEntry* pFontEntry = mp_fontPool.get(i);
    if (pFontEntry->mp_bLoaded && pFontEntry->mp_pFontData->mp_uiNameHash == uiFontHash) return pFontEntry;
  }
  return nullptr;
}

void ClFontFamilyMgr::loadFontFamily(const char* pFileName, const char* pAlias) {
  const f32 fHeight = ClGraphics::mp_fScreenHeight;
  loadFontFamilyForHeight(pFileName, pAlias, fHeight > 0.0f ? static_cast<u32>(fHeight) : 0u);
}

void ClFontFamilyMgr::loadFontFamilyForHeight(const char* pFileName, const char* pAlias, u32 uiScreenHeight) {
  ++mp_uiGeneration;
  KV_ASSERT_MSG(pFileName != nullptr, "pFileName");
  const u32 uiKey = KvStrHash(pAlias != nullptr ? pAlias : pFileName);
  if (findFamily(uiKey) != nullptr) {
    if (pAlias != nullptr) {
      KV_FATALF("Font family [%s] (Alias we would like to use for font [%s] is already loaded!", pAlias, pFileName);
    } else {
      KV_FATALF("Font family [%s] is already loaded!", pFileName);
    }
    return;
  }
  if (mp_familyPool.isFull()) {
    KV_FATALF("Could not load font family [%s]; out of font entries in pool!", pFileName);
    return;
  }
  ClFontFamily* pFamily = mp_familyPool.alloc();
  *pFamily = ClFontFamily{};
  pFamily->mp_uiLoadFlags = gc_uiFONT_LOAD_FLAGS;
  pFamily->mp_iPoolIndex = mp_familyPool.indexOf(pFamily);
  u32 uiSize = 0;
  if (!readFontFile(pFileName, ".kff", KvCheckFontFamily, &pFamily->mp_pFileRef, &uiSize)) {
    mp_familyPool.free(pFamily);
    return;
  }
  u8* pImage = pFamily->mp_pFileRef->mp_pDestinationBuffer;
  pFamily->mp_pRelocation = KvRelocateFontFamily(pImage);
  if (pFamily->mp_pRelocation == nullptr) {
    ClMagFileIO::close(pFamily->mp_pFileRef);
    mp_familyPool.free(pFamily);
    return;
  }
  SFontFamilyData* pData = reinterpret_cast<SFontFamilyData*>(pImage);
  pFamily->mp_pFamilyData = pData;
  pFamily->mp_bLoaded = 1;
  pFamily->mp_pBestResolution = chooseBestResolution(pData, uiScreenHeight);
  for (i32 r = 0; r < pData->mp_iNumberResolutions; ++r) {
    const SFontResolution* pResolution = pData->mp_ppResolutions[r];
    for (i32 f = 0; f < pResolution->mp_iNumberFonts; ++f) {
      char szFont[KV_MAX_PATH_LEN];
      fontName(szFont, sizeof(szFont), pData, pResolution->mp_ppFonts[f]);
      loadFont(szFont, pFamily->mp_uiLoadFlags);
    }
  }
  if (pAlias != nullptr) pData->mp_uiNameHash = uiKey;
}

void ClFontFamilyMgr::loadFont(const char* pFontName, u32 uiLoadFlags) {
  ++mp_uiGeneration;
  const u32 uiHash = KvStrHash(pFontName);
  if (findFont(uiHash) != nullptr) return;
  if (mp_fontPool.isFull()) {
    KV_FATALF("Could not load font [%s]; out of font entries in pool!", pFontName);
    return;
  }
  ClFontEntry* pFontEntry = mp_fontPool.alloc();
  *pFontEntry = ClFontEntry{};
  pFontEntry->mp_uiLoadFlags = uiLoadFlags;
  u32 uiSize = 0;
  KvForgetLastProblem();
  bool bLoaded = readFontFile(pFontName, ".kcf", KvCheckFontFile, &pFontEntry->mp_pFileRef, &uiSize);
  const bool bRead = bLoaded;
  if (bLoaded) {
    u8* pImage = pFontEntry->mp_pFileRef->mp_pDestinationBuffer;
    pFontEntry->mp_pRelocation = KvRelocateFontFile(pImage);
    bLoaded = pFontEntry->mp_pRelocation != nullptr;
    if (bLoaded) {
      pFontEntry->mp_pFontData = reinterpret_cast<SFontData*>(pImage);
      pFontEntry->mp_bLoaded = 1;
      pFontEntry->mp_fLetterSpacing = 0.0f;
    } else {
      ClMagFileIO::close(pFontEntry->mp_pFileRef);
    }
  }
  if (!bLoaded) mp_fontPool.free(pFontEntry);
  pFontEntry = findFont(uiHash);
  if (pFontEntry == nullptr) {
    // The font file is what is missing or damaged: its reason, which names where it lives on disk.
    char szPath[KV_MAX_PATH_LEN];
    fontFilePath(szPath, pFontName, ".kcf");
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    if (bLoaded) {
      KV_DATA_FATALF("Could NOT load textures for font [%s] ([0x%08X])! (%s: the font it holds is named otherwise)",
                     pFontName, uiHash, ClMagFileIO::describeLocation(szPath, szWhere, sizeof(szWhere)));
    } else if (bRead) {
      KV_DATA_FATALF("Could NOT load textures for font [%s] ([0x%08X])! (%s: no memory to relocate it)", pFontName,
                     uiHash, ClMagFileIO::describeLocation(szPath, szWhere, sizeof(szWhere)));
    } else if (KvGetLastProblem()[0] != '\0') {
      KV_DATA_FATALF("Could NOT load textures for font [%s] ([0x%08X])! (%s)", pFontName, uiHash, KvGetLastProblem());
    }
    KV_DATA_FATALF("Could NOT load textures for font [%s] ([0x%08X])! (Font file [%s] could not be opened: %s)",
                   pFontName, uiHash, szPath, ClMagFileIO::getLastProblem());
  }
  SFontData* pData = pFontEntry->mp_pFontData;
  KV_ASSERT_MSG(pData->mp_iNumberTextures <= gc_iMAX_SIGS_PER_FONT,
                "pFontEntry->mp_pFontData->mp_iNumberTextures <= gc_iMAX_SIGS_PER_FONT");
  for (i32 t = 0; t < pData->mp_iNumberTextures; ++t) {
    char szPath[KV_MAX_PATH_LEN];
    KvSNPrintf(szPath, sizeof(szPath), "ImagesFonts/%s", pData->mp_ppTextureNames[t]);
    pFontEntry->mp_apTextures[t] = ClTextureMgr::loadTexture(szPath, 1);
    if (pFontEntry->mp_apTextures[t] == nullptr) {
      char szWhy[gc_uiMAX_MESSAGE_LEN + 1];
      KV_DATA_FATALF("Could not load font texture (%s)!! (%s)", szPath,
                     ClTextureMgr::describeNotLoaded(szPath, false, szWhy, sizeof(szWhy)));
    }
  }
}

SFontResolution* ClFontFamilyMgr::chooseBestResolution(const SFontFamilyData* pData, u32 uiScreenHeight) {
  SFontResolution* pBestResolution = pData->mp_iNumberResolutions > 0 ? pData->mp_ppResolutions[0] : nullptr;
  KV_ASSERT_MSG(pBestResolution != nullptr, "pBestResolution");
  for (i32 r = 1; r < pData->mp_iNumberResolutions; ++r) {
    SFontResolution* pResolution = pData->mp_ppResolutions[r];
    const i64 iDistance = std::llabs(static_cast<i64>(pResolution->mp_uiHeight) - uiScreenHeight);
    const i64 iBest = std::llabs(static_cast<i64>(pBestResolution->mp_uiHeight) - uiScreenHeight);
    if (pResolution->mp_uiHeight >= uiScreenHeight && iDistance < iBest) pBestResolution = pResolution;
  }
  return pBestResolution;
}

// The same answer as trying p-1, p-2, ... and then p+1, p+2, ... one value at a time, found in one pass over the
// sizes: the descent takes the largest size in [min(p-1, 4), p-1], the ascent the smallest size above p (it only
// gives up past both 2p and the last size, so any larger size is reached).
i32 ClFontFamilyMgr::chooseSizeIndex(const SFontFamilyData* pData, u32 uiPointSize) {
  const i32 ciMaxNum = pData->mp_iNumberSizes;
  KV_ASSERT_MSG(ciMaxNum > 0, "ciMaxNum > 0");
  for (i32 i = 0; i < ciMaxNum; ++i) {
    if (pData->mp_ppSizes[i]->mp_uiPointSize == uiPointSize) return i;
  }
  KV_ASSERT_MSG(uiPointSize != 0, "uiPointSize");
  const u32 uiHighest = uiPointSize - 1;
  const u32 uiLowest = uiHighest > 4 ? 4 : uiHighest;
  i32 iBelow = -1;
  i32 iAbove = -1;
  for (i32 i = 0; i < ciMaxNum; ++i) {
    const u32 uiSize = pData->mp_ppSizes[i]->mp_uiPointSize;
    if (uiSize >= uiLowest && uiSize <= uiHighest &&
        (iBelow < 0 || uiSize > pData->mp_ppSizes[iBelow]->mp_uiPointSize)) {
      iBelow = i;
    }
    if (uiSize > uiPointSize && (iAbove < 0 || uiSize < pData->mp_ppSizes[iAbove]->mp_uiPointSize)) iAbove = i;
  }
  if (iBelow >= 0) return iBelow;
  return iAbove >= 0 ? iAbove : 0;
}

ClFontEntry* ClFontFamilyMgr::getFont(u32 uiFamilyHash, u32 uiPointSize, i32 iCanvasHeight, u32* piActualSize) {
  const ClFontFamily* pFamily = findFamily(uiFamilyHash);
  if (pFamily == nullptr) return nullptr;
  const SFontFamilyData* pData = pFamily->mp_pFamilyData;
  const i32 iSizeIndex = chooseSizeIndex(pData, uiPointSize);
  const SFontResolution* pFAMResolutionToUse = nullptr;
  if (iCanvasHeight == -1) {
    pFAMResolutionToUse = pFamily->mp_pBestResolution;
  } else {
    i64 iBest = 0;
    for (i32 r = 0; r < pData->mp_iNumberResolutions; ++r) {
      const SFontResolution* pResolution = pData->mp_ppResolutions[r];
      const i64 iDistance = std::llabs(static_cast<i64>(static_cast<i32>(pResolution->mp_uiHeight)) - iCanvasHeight);
      if (pFAMResolutionToUse == nullptr || iDistance < iBest) {
        pFAMResolutionToUse = pResolution;
        iBest = iDistance;
      }
    }
  }
  KV_ASSERT_MSG(pFAMResolutionToUse != nullptr, "pFAMResolutionToUse");
  char szFont[KV_MAX_PATH_LEN];
  fontName(szFont, sizeof(szFont), pData, pFAMResolutionToUse->mp_ppFonts[iSizeIndex]);
  ClFontEntry* pFontEntry = findFont(KvStrHash(szFont));
  if (pFontEntry != nullptr && piActualSize != nullptr) {
    *piActualSize = pData->mp_ppSizes[iSizeIndex]->mp_uiPointSize;
  }
  return pFontEntry;
}

namespace {

// Binary search over a table sorted by a 16-bit code (compared unsigned): low 0, high count-1, the middle's code
// above the key moves high below it, below the key moves low above it.
template <typename Record, typename CodeOf>
const Record* searchByCode(Record* const* ppTable, i32 iCount, u32 uiKey, CodeOf codeOf) {
  const u16 usKey = static_cast<u16>(uiKey);
  i32 iLow = 0;
  i32 iHigh = iCount - 1;
  while (iLow <= iHigh) {
    const i32 iMiddle = (iLow + iHigh) / 2;
    const u16 usCode = static_cast<u16>(codeOf(ppTable[iMiddle]));
    if (usCode > usKey) {
      iHigh = iMiddle - 1;
    } else if (usCode < usKey) {
      iLow = iMiddle + 1;
    } else {
      return ppTable[iMiddle];
    }
  }
  return nullptr;
}

}  // namespace

const SFontGlyph* ClFontFamilyMgr::findGlyph(const SFontData* pData, u32 uiCode) {
  KV_ASSERT_MSG(pData != nullptr, "pData");
  return searchByCode(pData->mp_ppGlyphs, pData->mp_iNumberGlyphs, uiCode,
                      [](const SFontGlyph* pGlyph) { return pGlyph->mp_uiCode; });
}

const SFontKerning* ClFontFamilyMgr::findKerning(const SFontGlyph* pCharacter, u32 uiPreviousCode) {
  KV_ASSERT_MSG(pCharacter != nullptr, "pCharacter");
  return searchByCode(pCharacter->mp_ppKerning, pCharacter->mp_iNumberKernings, uiPreviousCode,
                      [](const SFontKerning* pKerning) { return pKerning->mp_uiPrevious; });
}

void ClFontFamilyMgr::adjustFontAcknowledgeBaselines() {
  ++mp_uiGeneration;
  const u32 uiFamilyHash = KvStrHash("FontAcknowledge");
  u32 uiLastAdjusted = 0;
  for (u32 p = 1; p < 300; ++p) {
    u32 uiActual = 0;
    ClFontEntry* pFontEntry = getFont(uiFamilyHash, p, 216, &uiActual);
    if (pFontEntry == nullptr || uiActual == uiLastAdjusted) continue;
    uiLastAdjusted = uiActual;
    SFontData* pData = pFontEntry->mp_pFontData;
    const f32 fDelta = std::floor(static_cast<f32>(uiActual) / 20.0f * 22.0f + 0.5f) - pData->mp_fLineHeight;
    for (i32 g = 0; g < pData->mp_iNumberGlyphs; ++g) {
      pData->mp_ppGlyphs[g]->mp_fOffsetY += fDelta;
    }
  }
}

void ClFontFamilyMgr::setLineHeights(ClFontEntry* pFontEntry, f32 fLineHeight, f32 fEmptyLineHeight) {
  KV_ASSERT_MSG(pFontEntry != nullptr && pFontEntry->mp_pFontData != nullptr, "pFontEntry->mp_pFontData");
  ++mp_uiGeneration;
  pFontEntry->mp_pFontData->mp_fLineHeight = fLineHeight;
  pFontEntry->mp_pFontData->mp_fEmptyLineHeight = fEmptyLineHeight;
}

void ClFontFamilyMgr::freeFont(ClFontEntry* pFontEntry) {
  ++mp_uiGeneration;
  KvAlignedFree(pFontEntry->mp_pRelocation);
  if (pFontEntry->mp_pFileRef != nullptr) ClMagFileIO::close(pFontEntry->mp_pFileRef);
  *pFontEntry = ClFontEntry{};
}

void ClFontFamilyMgr::freeFamily(ClFontFamily* pFamily) {
  ++mp_uiGeneration;
  KvAlignedFree(pFamily->mp_pRelocation);
  if (pFamily->mp_pFileRef != nullptr) ClMagFileIO::close(pFamily->mp_pFileRef);
  *pFamily = ClFontFamily{};
}

void ClFontFamilyMgr::terminate() {
  ++mp_uiGeneration;
  while (mp_fontPool.getCount() > 0) {
    ClFontEntry* pFontEntry = mp_fontPool.get(mp_fontPool.getCount() - 1);
    freeFont(pFontEntry);
    mp_fontPool.free(pFontEntry);
  }
  while (mp_familyPool.getCount() > 0) {
    ClFontFamily* pFamily = mp_familyPool.get(mp_familyPool.getCount() - 1);
    freeFamily(pFamily);
    mp_familyPool.free(pFamily);
  }
}
