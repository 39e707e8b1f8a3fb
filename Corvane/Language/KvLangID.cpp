#include "Corvane/Language/KvLangID.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/System/KvDebug.h"

const char g_szLanguageCodes[NUM_LANGUAGES][4] = {
    "eng", "fra", "ger", "spa", "ita", "nor", "dut", "por", "jap", "kor", "cht", "chs",
    "rus", "fin", "swe", "dan", "tha", "pol", "hun", "cze", "rom", "tur", "bra", "bul",
};

// The table pool is built with the engine's other fixed globals (KvEngineGlobals_Win32.cpp).
char KvLangID::mp_szLastError[gc_uiMAX_MESSAGE_LEN + 1] = "";

i32 getLangIDFromCode(const char* pCode) {
  KvCheckPointer(pCode);
  for (i32 i = 0; i < NUM_LANGUAGES; ++i) {
    if (KvLangID::compareStrings(pCode, g_szLanguageCodes[i]) == 0) {
      return i;
    }
  }
  return -1;
}

i32 KvLangID::compareStrings(const char* pFirst, const char* pSecond) {
  KvCheckPointer(pFirst);
  KvCheckPointer(pSecond);
  const i32 iOrder = strcmp(pFirst, pSecond);
  return iOrder < 0 ? -1 : (iOrder > 0 ? 1 : 0);
}

void KvLangID::intToString(wchar16* pDest, i32 iValue) {
  KvCheckPointer(pDest);
  // The magnitude in 64 bits, so that the most negative value has one too.
  i64 iMagnitude = iValue < 0 ? -static_cast<i64>(iValue) : static_cast<i64>(iValue);
  i32 iLength = 0;
  do {
    pDest[iLength++] = static_cast<wchar16>(u'0' + iMagnitude % 10);
    iMagnitude /= 10;
  } while (iMagnitude > 0);
  if (iValue < 0) {
    pDest[iLength++] = u'-';
  }
  pDest[iLength] = 0;
  for (i32 i = 0, j = iLength - 1; i < j; ++i, --j) {
    const wchar16 swap = pDest[i];
    pDest[i] = pDest[j];
    pDest[j] = swap;
  }
}

i32 KvLangID::getLangIDFromStoreName(const char* pStoreLanguage) {
  static const struct {
    const char* pName;
    i32 iLanguage;
  } s_storeNames[] = {
      {"english", 0},  {"russian", 12}, {"french", 1},    {"german", 2},  {"italian", 4},    {"koreana", 9},
      {"spanish", 3},  {"schinese", 11}, {"japanese", 8}, {"polish", 17}, {"brazilian", 22},
  };
  if (pStoreLanguage == nullptr) {
    return gc_iLANGUAGE_ENGLISH;
  }
  for (const auto& entry : s_storeNames) {
    if (compareStrings(pStoreLanguage, entry.pName) == 0) {
      return entry.iLanguage;
    }
  }
  return gc_iLANGUAGE_ENGLISH;
}

i32 KvLangID::chooseLanguage(const char* pLangSetting) {
  return chooseLanguageFrom(pLangSetting, pLangSetting == nullptr ? getStoreLanguageName() : nullptr);
}

i32 KvLangID::chooseLanguageFrom(const char* pLangSetting, const char* pStoreLanguage) {
  if (pLangSetting != nullptr) {
    const i32 iLanguage = getLangIDFromCode(pLangSetting);
    if (iLanguage >= 0) {
      return iLanguage;
    }
    // Without a usable code the language folder would be meaningless: English serves instead.
    fprintf(stderr, "LANG [%s] is not a language code; using [%s]\n", pLangSetting,
            g_szLanguageCodes[gc_iLANGUAGE_ENGLISH]);
    return gc_iLANGUAGE_ENGLISH;
  }
  return getLangIDFromStoreName(pStoreLanguage);
}

void KvLangID::setLanguage(i32 iLanguage, const char* pBaseDataPath) {
  KV_ASSERT(iLanguage >= 0 && iLanguage < NUM_LANGUAGES);
  KvCheckPointer(pBaseDataPath);
  g_iLanguageIndex = iLanguage;
  KvStrLCpy(g_szLanguagePath, pBaseDataPath, KV_MAX_PATH_LEN);
  KvStrLCat(g_szLanguagePath, "Lang\\", KV_MAX_PATH_LEN);
  KvStrLCat(g_szLanguagePath, g_szLanguageCodes[iLanguage], KV_MAX_PATH_LEN);
  KvStrLCat(g_szLanguagePath, "\\", KV_MAX_PATH_LEN);
}

i32 KvLangID::getLanguage() {
  // The index is only ever set through setLanguage, but it is a plain global.
  KV_ASSERT(g_iLanguageIndex >= 0 && g_iLanguageIndex < NUM_LANGUAGES);
  return g_iLanguageIndex;
}

const char* KvLangID::getLanguagePath() { return g_szLanguagePath; }

void KvInitializeLanguagePath(const char* pLangSetting) {
  KvLangID::setLanguage(KvLangID::chooseLanguage(pLangSetting), KvGetBaseDataPath());
}

// ---- String tables ----

namespace {

void setError(char* pError, u32 uiErrorSize, const char* pFormat, ...) __attribute__((format(printf, 3, 4)));

void setError(char* pError, u32 uiErrorSize, const char* pFormat, ...) {
  if (pError == nullptr || uiErrorSize == 0) {
    return;
  }
  va_list args;
  va_start(args, pFormat);
  vsnprintf(pError, uiErrorSize, pFormat, args);
  va_end(args);
}

u32 readU32(const u8* pImage, u64 uiOffset) {
  u32 uiValue;
  memcpy(&uiValue, pImage + uiOffset, sizeof(uiValue));
  return uiValue;
}

i32 readI32(const u8* pImage, u64 uiOffset) { return static_cast<i32>(readU32(pImage, uiOffset)); }

// The number of pairs of a table of at least 12 bytes: a negative count means none.
i32 pairCount(const u8* pImage) {
  const i32 iNumPairs = readI32(pImage, 8);
  return iNumPairs > 0 ? iNumPairs : 0;
}

// Units of a zero-terminated text at an offset of a checked image, the terminator included.
u64 textUnits(const u8* pImage, u64 uiText) {
  u64 uiUnits = 1;
  for (u64 uiUnit = uiText; pImage[uiUnit] != 0 || pImage[uiUnit + 1] != 0; uiUnit += 2) {
    ++uiUnits;
  }
  return uiUnits;
}

void freeImage(void*, u8* pImage) { KvAlignedFree(pImage); }

// The archive reference owns the image (its own buffer, or the archive's memory).
void closeMagRef(void* pOwner, u8*) { ClMagFileIO::close(static_cast<SMagRef*>(pOwner)); }

}  // namespace

bool KvValidateStringTable(const u8* pImage, u32 uiSize, char* pError, u32 uiErrorSize) {
  if (pImage == nullptr) {
    setError(pError, uiErrorSize, "no image");
    return false;
  }
  if (uiSize < sizeof(SStringTableHeader)) {
    setError(pError, uiErrorSize, "%u bytes is too short for the 12-byte header", uiSize);
    return false;
  }
  const u64 uiTableOffset = readU32(pImage, 0);
  const i32 iNumPairs = pairCount(pImage);
  constexpr u64 uiHeader = sizeof(SStringTableHeader);
  // A pair takes at least its offset and its record; with an empty text, 18 bytes.
  constexpr u64 uiPairBytes = 4 + sizeof(SStringValuePair);
  if (uiTableOffset < uiHeader) {
    setError(pError, uiErrorSize, "the pair-offset table at %llu overlaps the 12-byte header",
             static_cast<unsigned long long>(uiTableOffset));
    return false;
  }
  if (iNumPairs == 0 && uiSize >= uiHeader + uiPairBytes + 2) {
    setError(pError, uiErrorSize, "it holds no pairs, yet its %u bytes have room for some", uiSize);
    return false;
  }
  if (uiHeader + uiPairBytes * static_cast<u64>(iNumPairs) > uiSize) {
    setError(pError, uiErrorSize, "%d pairs cannot fit in %u bytes", iNumPairs, uiSize);
    return false;
  }
  if (uiTableOffset + 4ull * static_cast<u64>(iNumPairs) > uiSize) {
    setError(pError, uiErrorSize, "pair-offset table at %llu with %d entries does not fit in %u bytes",
             static_cast<unsigned long long>(uiTableOffset), iNumPairs, uiSize);
    return false;
  }
  i64 iPreviousKey = INT32_MIN;
  for (i32 i = 0; i < iNumPairs; ++i) {
    const u64 uiPair = readU32(pImage, uiTableOffset + 4ull * static_cast<u64>(i));
    if (uiPair < uiHeader || uiPair + sizeof(SStringValuePair) > uiSize) {
      setError(pError, uiErrorSize, "pair %d at %llu lies outside the file past its header", i,
               static_cast<unsigned long long>(uiPair));
      return false;
    }
    const i32 iKey = readI32(pImage, uiPair + 8);
    if (iKey < iPreviousKey) {
      setError(pError, uiErrorSize, "pair %d (key 0x%08X) is out of key order", i, static_cast<u32>(iKey));
      return false;
    }
    iPreviousKey = iKey;
    const u64 uiText = readU32(pImage, uiPair);
    if (uiText < uiHeader || uiText >= uiSize) {
      setError(pError, uiErrorSize, "text of key 0x%08X at %llu lies outside the file past its header",
               static_cast<u32>(iKey), static_cast<unsigned long long>(uiText));
      return false;
    }
    bool bTerminated = false;
    for (u64 uiUnit = uiText; uiUnit + 2 <= uiSize; uiUnit += 2) {
      if (pImage[uiUnit] == 0 && pImage[uiUnit + 1] == 0) {
        bTerminated = true;
        break;
      }
    }
    if (!bTerminated) {
      setError(pError, uiErrorSize, "text of key 0x%08X at %llu runs past the end of the file",
               static_cast<u32>(iKey), static_cast<unsigned long long>(uiText));
      return false;
    }
  }
  return true;
}

void KvLangID::initialize() {
  mp_tables.initialize();
  mp_szLastError[0] = '\0';
}

namespace {

bool isTableLoaded(u32 uiNameHash) {
  for (i32 i = 0; i < KvLangID::mp_tables.getCount(); ++i) {
    if (KvLangID::mp_tables.get(i)->m_uiNameHash == uiNameHash) {
      return true;
    }
  }
  return false;
}

}  // namespace

i32 KvLangID::loadStringTableImage(const char* pStringDataFileName, u8* pImage, u32 uiSize, void* pOwner,
                                   KvStringTableRelease pfnRelease, const char* pDisplayName, bool bRequireTexts) {
  KV_ASSERT(pStringDataFileName);
  KV_ASSERT(pfnRelease);
  u8* pMemory = pImage;
  KV_ASSERT(pMemory);
  const u32 uiNameHash = KvStrHash(pStringDataFileName);
  const char* pName = pDisplayName != nullptr ? pDisplayName : pStringDataFileName;
  char szReason[256];
  if (isTableLoaded(uiNameHash) || mp_tables.isFull()) {
    KvSNPrintf(mp_szLastError, sizeof(mp_szLastError), "String table [%s] not loaded: %s", pStringDataFileName,
               mp_tables.isFull() ? "all tables in use" : "already loaded");
    pfnRelease(pOwner, pMemory);
    return 0;
  }
  bool bRefused = !KvValidateStringTable(pMemory, uiSize, szReason, sizeof(szReason));
  if (!bRefused && bRequireTexts && pairCount(pMemory) == 0) {
    bRefused = true;
    KvStrLCpy(szReason, "it holds no texts", sizeof(szReason));
  }
  if (bRefused) {
    // A table read from a file names where the file lives on disk.
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1] = "";
    if (pDisplayName != nullptr) {
      ClMagFileIO::describeLocation(pDisplayName, szWhere, sizeof(szWhere));
    }
    KvSNPrintf(mp_szLastError, sizeof(mp_szLastError), "String table [%s] refused: %s%s%s%s", pName, szReason,
               szWhere[0] != '\0' ? " (" : "", szWhere, szWhere[0] != '\0' ? ")" : "");
    KvPrintProblem("%s", mp_szLastError);
    pfnRelease(pOwner, pMemory);
    return 0;
  }
  SStringTable* pData = mp_tables.alloc();
  pData->mp_pOwner = pOwner;
  pData->mp_pfnRelease = pfnRelease;
  pData->mp_pImage = pMemory;
  pData->m_uiImageSize = uiSize;
  std::snprintf(pData->m_szName, sizeof(pData->m_szName), "%s", pName);
  pData->m_uiNameHash = uiNameHash;
  const i32 iNumPairs = pairCount(pMemory);
  pData->m_iNumPairs = iNumPairs;
  pData->mp_piSortedKeys = static_cast<i32*>(KvAlignedAlloc(sizeof(i32) * static_cast<size_t>(iNumPairs), 16));
  pData->mp_ppSortedTexts =
      static_cast<const wchar16**>(KvAlignedAlloc(sizeof(wchar16*) * static_cast<size_t>(iNumPairs), 16));
  KV_ASSERT_MSG(pData->mp_piSortedKeys && pData->mp_ppSortedTexts, "pData->mp_ppSortedStringValuePairs");
  const u64 uiTableOffset = readU32(pMemory, 0);
  // Texts at an odd offset are copied, so that no misaligned text is handed out.
  u64 uiOddUnits = 0;
  for (i32 i = 0; i < iNumPairs; ++i) {
    const u64 uiText = readU32(pMemory, readU32(pMemory, uiTableOffset + 4ull * static_cast<u64>(i)));
    uiOddUnits += uiText % 2 != 0 ? textUnits(pMemory, uiText) : 0;
  }
  pData->mp_pAlignedTexts =
      uiOddUnits > 0 ? static_cast<wchar16*>(KvAlignedAlloc(sizeof(wchar16) * uiOddUnits, 16)) : nullptr;
  KV_ASSERT_MSG(uiOddUnits == 0 || pData->mp_pAlignedTexts, "pData->mp_ppSortedStringValuePairs");
  wchar16* pCopy = pData->mp_pAlignedTexts;
  for (i32 i = 0; i < iNumPairs; ++i) {
    const u64 uiPair = readU32(pMemory, uiTableOffset + 4ull * static_cast<u64>(i));
    const u64 uiText = readU32(pMemory, uiPair);
    pData->mp_piSortedKeys[i] = readI32(pMemory, uiPair + 8);
    if (uiText % 2 == 0) {
      pData->mp_ppSortedTexts[i] = reinterpret_cast<const wchar16*>(pMemory + uiText);
    } else {
      const u64 uiUnits = textUnits(pMemory, uiText);
      std::memcpy(pCopy, pMemory + uiText, sizeof(wchar16) * uiUnits);
      pData->mp_ppSortedTexts[i] = pCopy;
      pCopy += uiUnits;
    }
  }
  return 1;
}

i32 KvLangID::loadStringTable(const char* pStringDataFileName, bool bRequireTexts) {
  KV_ASSERT(pStringDataFileName);
  if (isTableLoaded(KvStrHash(pStringDataFileName))) {
    return 0;
  }
  char szPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szPath, g_szLanguagePath, sizeof(szPath));
  KvStrLCat(szPath, "Strings/", sizeof(szPath));
  KvStrLCat(szPath, pStringDataFileName, sizeof(szPath));
  KvStrLCat(szPath, ".lang", sizeof(szPath));
  for (char* p = szPath; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  // Every failure but an empty loose file adds the archive reader's reason, which names the file on disk.
  const i32 iOpened = ClMagFileIO::open(szPath, &uiSize, &pRef);
  if (iOpened == E_FILE_CANNOT_OPEN && !ClMagFileIO::fileExists(szPath, 0)) {
    KvSNPrintf(mp_szLastError, sizeof(mp_szLastError), "String table [%s] not found: %s", szPath,
               ClMagFileIO::getLastProblem());
    return 0;
  }
  // An entry of an archive is never empty itself: its data file is, as the archive reader says.
  if (iOpened == E_FILE_EMPTY && !ClMagFileIO::fileExists(szPath, 0)) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvSNPrintf(mp_szLastError, sizeof(mp_szLastError), "String table [%s] is empty (code %d, %s)", szPath, iOpened,
               ClMagFileIO::describeLocation(szPath, szWhere, sizeof(szWhere)));
    KvPrintProblem("%s", mp_szLastError);
    return 0;
  }
  if (iOpened != E_FILE_OK) {
    KvSNPrintf(mp_szLastError, sizeof(mp_szLastError), "String table [%s] could not be opened (code %d): %s", szPath,
               iOpened, ClMagFileIO::getLastProblem());
    KvPrintProblem("%s", mp_szLastError);
    return 0;
  }
  if (uiSize == 0 || !ClMagFileIO::allocReadBuffers(pRef, uiSize, 16) ||
      ClMagFileIO::read(pRef, uiSize) != E_FILE_OK) {
    ClMagFileIO::close(pRef);
    if (uiSize == 0) {
      KvSNPrintf(mp_szLastError, sizeof(mp_szLastError), "String table [%s] is empty", szPath);
    } else {
      KvSNPrintf(mp_szLastError, sizeof(mp_szLastError), "String table [%s] could not be read: %s", szPath,
                 ClMagFileIO::getLastProblem());
    }
    KvPrintProblem("%s", mp_szLastError);
    return 0;
  }
  ClMagFileIO::closeFileHandle(pRef);
  // The table is named by its path in messages; its slot is keyed by the plain name.
  return loadStringTableImage(pStringDataFileName, pRef->mp_pDestinationBuffer, uiSize, pRef, &closeMagRef,
                              szPath, bRequireTexts);
}

i32 KvLangID::loadStringTableFromMemory(const char* pStringDataFileName, u8* pImage, u32 uiSize) {
  return loadStringTableImage(pStringDataFileName, pImage, uiSize, nullptr, &freeImage);
}

void KvLangID::unloadAllStringTables() {
  while (mp_tables.getCount() > 0) {
    SStringTable* pData = mp_tables.get(mp_tables.getCount() - 1);
    KvAlignedFree(pData->mp_piSortedKeys);
    KvAlignedFree(pData->mp_ppSortedTexts);
    KvAlignedFree(pData->mp_pAlignedTexts);
    pData->mp_pfnRelease(pData->mp_pOwner, const_cast<u8*>(pData->mp_pImage));
    *pData = SStringTable();
    mp_tables.free(pData);
  }
}

const wchar16* KvLangID::findInTable(const SStringTable* pData, u32 uiKeyHash) {
  KV_ASSERT(pData);
  const i32 iKey = static_cast<i32>(uiKeyHash);
  i32 iLow = 0;
  i32 iHigh = pData->m_iNumPairs - 1;
  while (iLow <= iHigh) {
    const i32 iMid = iLow + (iHigh - iLow) / 2;
    const i32 iMidKey = pData->mp_piSortedKeys[iMid];
    if (iMidKey > iKey) {
      iHigh = iMid - 1;
    } else if (iMidKey < iKey) {
      iLow = iMid + 1;
    } else {
      return pData->mp_ppSortedTexts[iMid];
    }
  }
  return nullptr;
}

const wchar16* KvLangID::findStringByHash(u32 uiKeyHash) {
  for (i32 i = 0; i < mp_tables.getCount(); ++i) {
    const wchar16* pText = findInTable(mp_tables.get(i), uiKeyHash);
    if (pText != nullptr) {
      return pText;
    }
  }
  return nullptr;
}

const wchar16* KvLangID::getString(const char* pTextId) {
  KvCheckPointer(pTextId);
  const wchar16* pText = findStringByHash(KvStrHash(pTextId));
  if (pText == nullptr) {
    // Before any table is loaded only the program can be at fault; after, the tables lack what the game asks.
    KV_ASSERTF(mp_tables.getCount() > 0, "Cannot find localized string [%s]", pTextId);
    char szTables[gc_iMAX_TEMP_STRING_LEN] = "";
    for (i32 i = 0, iUsed = 0; i < mp_tables.getCount() && iUsed < static_cast<i32>(sizeof(szTables)); ++i) {
      iUsed += std::snprintf(szTables + iUsed, sizeof(szTables) - static_cast<size_t>(iUsed), "%s[%s]",
                             i > 0 ? ", " : "", mp_tables.get(i)->m_szName);
    }
    KV_DATA_FATALF("Cannot find localized string [%s] in the string tables %s", pTextId, szTables);
  }
  return pText;
}

// ---- Formatting ----

namespace {

// The result as narrow text for a report: every unit from 256 up becomes '_'.
void narrowForReport(char* pDest, u32 uiDestSize, const wchar16* pText, i32 iLength) {
  u32 i = 0;
  for (; i + 1 < uiDestSize && static_cast<i32>(i) < iLength; ++i) {
    pDest[i] = pText[i] < 256 ? static_cast<char>(pText[i]) : '_';
  }
  pDest[i] = '\0';
}

}  // namespace

i32 KvLangID::formatInts(wchar16* pDestString, i32 iSizeOfString, u32 uiKeyHash, i32 iFirst, i32 iSecond) {
  KV_ASSERT(pDestString);
  KV_ASSERT(iSizeOfString > 0);
  const wchar16* pText = findStringByHash(uiKeyHash);
  if (pText == nullptr) {
    return 0;
  }
  wchar16 szNumber[12];
  bool bFirstUsed = false;
  i32 iLength = 0;
  bool bFits = true;
  for (const wchar16* p = pText; *p != 0 && bFits; ++p) {
    const wchar16* pInsert = p;
    i32 iInsertLength = 1;
    if (p[0] == u'%' && p[1] == u'd') {
      intToString(szNumber, bFirstUsed ? iSecond : iFirst);
      bFirstUsed = true;
      pInsert = szNumber;
      iInsertLength = static_cast<i32>(KvStrLenW(szNumber));
      ++p;
    }
    for (i32 i = 0; i < iInsertLength; ++i) {
      if (iLength + 1 >= iSizeOfString) {
        bFits = false;
        break;
      }
      pDestString[iLength++] = pInsert[i];
    }
  }
  pDestString[iLength] = 0;
  if (!bFits) {
    char szResult[gc_iMAX_TEMP_STRING_LEN];
    narrowForReport(szResult, sizeof(szResult), pDestString, iLength);
    // The text came from a table: a text too long for its place is the data's fault.
    KV_DATA_FATALF("Truncating string!  Result [%s]", szResult);
  }
  KV_ASSERT_MSG(iLength == 0 || static_cast<i32>(KvStrLenW(pDestString)) < iSizeOfString,
                "KvStrLen(pDestString) < iSizeOfString");
  return 1;
}

i32 KvLangID::formatStringInt(wchar16* pDestString, u32 uiKeyHash, i32 iValue) {
  return formatInts(pDestString, gc_iFORMAT_INT_DEST_LEN, uiKeyHash, iValue, iValue);
}

i32 KvLangID::formatStringInt2(wchar16* pDestString, i32 iSizeOfString, u32 uiKeyHash, i32 iFirst, i32 iSecond) {
  return formatInts(pDestString, iSizeOfString, uiKeyHash, iFirst, iSecond);
}

i32 KvLangID::formatStringWithArg(wchar16* pDestString, i32 iSizeOfString, u32 uiKeyHash, const wchar16* pArg) {
  KV_ASSERT(pDestString);
  KV_ASSERT(iSizeOfString > 0);
  KvCheckPointer(pArg);
  const wchar16* pText = findStringByHash(uiKeyHash);
  if (pText == nullptr) {
    return 0;
  }
  i32 iLength = 0;
  for (const wchar16* p = pText; *p != 0 && iLength + 1 < iSizeOfString; ++p) {
    if (p[0] == u'%' && p[1] == u's') {
      for (const wchar16* q = pArg; *q != 0 && iLength + 1 < iSizeOfString; ++q) {
        pDestString[iLength++] = *q;
      }
      ++p;
    } else {
      pDestString[iLength++] = *p;
    }
  }
  pDestString[iLength] = 0;
  KV_ASSERT_MSG(iLength == 0 || static_cast<i32>(KvStrLenW(pDestString)) < iSizeOfString,
                "KvStrLen(pDestString) < iSizeOfString");
  return 1;
}

i32 KvLangID::formatStringWithNarrowArg(wchar16* pDestString, i32 iSizeOfString, u32 uiKeyHash,
                                        const char* pNarrowArg) {
  KV_ASSERT(pDestString);
  KV_ASSERT(iSizeOfString > 0);
  KvCheckPointer(pNarrowArg);
  // The destination cannot show more of the argument than its own size.
  wchar16 szWide[gc_iMAX_TEMP_STRING_LEN];
  const i32 iMaxUnits = iSizeOfString < gc_iMAX_TEMP_STRING_LEN ? iSizeOfString : gc_iMAX_TEMP_STRING_LEN;
  i32 i = 0;
  for (; i + 1 < iMaxUnits && pNarrowArg[i] != '\0'; ++i) {
    szWide[i] = static_cast<wchar16>(static_cast<u8>(pNarrowArg[i]));
  }
  szWide[i] = 0;
  return formatStringWithArg(pDestString, iSizeOfString, uiKeyHash, szWide);
}
