#include "Corvane/Development/ClDevINI.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClParser.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/System/KvDebug.h"

bool ClDevINI::mp_bInitialized = false;

namespace {

SDevINIEntry s_entries[cMAX_INI_ENTRIES - 1];
i32 s_iTokens = 0;
ClSimpleHashTable s_index;
char s_szFileName[KV_MAX_PATH_LEN] = "";

void reportBadLine(const char* pFileName, i32 iLine, const char* pProblem) {
  std::fprintf(stderr, "%s(%d): %s; line skipped\n", pFileName, iLine, pProblem);
}

const char* tokenProblem(E_TOKEN_ERROR eError, const char* pWhat) {
  if (eError == E_TOKEN_ERROR_UNFINISHED_STRING) {
    return pWhat[0] == 'k' ? "unfinished quoted key" : "unfinished quoted value";
  }
  return pWhat[0] == 'k' ? "key longer than 2047 characters" : "value longer than 2047 characters";
}

// The number of a value text: hexadecimal, decimal integer or decimal fraction, else none (0).
void parseNumber(SDevINIEntry* pEntry) {
  const char* pValue = pEntry->m_szValue;
  pEntry->m_iNumber = 0;
  pEntry->m_eNumberKind = E_INI_NUMBER_NONE;
  if (ClParser::isHex(pValue)) {
    u64 uiValue = 0;
    for (const char* p = pValue + 2; *p != 0; ++p) {
      const char c = *p;
      const u32 uiDigit = c <= '9' ? static_cast<u32>(c - '0') : static_cast<u32>((c | 0x20) - 'a' + 10);
      uiValue = uiValue * 16 + uiDigit;
      if (uiValue > 0xFFFFFFFFull) {
        uiValue = 0xFFFFFFFFull;  // saturate; the bits of a 32-bit word are all a hex value can mean
      }
    }
    pEntry->m_iNumber = static_cast<i32>(static_cast<u32>(uiValue));
    pEntry->m_eNumberKind = E_INI_NUMBER_INT;
    return;
  }
  const bool bNegative = pValue[0] == '-';
  const char* pDigits = bNegative ? pValue + 1 : pValue;
  bool bAllDigits = *pDigits != 0;
  for (const char* p = pDigits; *p != 0 && bAllDigits; ++p) {
    bAllDigits = *p >= '0' && *p <= '9';
  }
  if (bAllDigits) {
    i64 iValue = 0;
    for (const char* p = pDigits; *p != 0; ++p) {
      iValue = iValue * 10 + (*p - '0');
      if (iValue > 0x80000000ll) {
        iValue = 0x80000000ll;
      }
    }
    iValue = bNegative ? -iValue : iValue;
    if (iValue > 0x7FFFFFFFll) {
      iValue = 0x7FFFFFFFll;
    }
    pEntry->m_iNumber = static_cast<i32>(iValue);
    pEntry->m_eNumberKind = E_INI_NUMBER_INT;
    return;
  }
  if (ClParser::isDecimalFraction(pValue)) {
    pEntry->m_fNumber = std::strtof(pValue, nullptr);
    pEntry->m_eNumberKind = E_INI_NUMBER_FLOAT;
  }
}

}  // namespace

void ClDevINI::initialize() {
  if (s_index.isAllocated()) {
    s_index.terminate();
  }
  s_index.initialize(cMAX_INI_ENTRIES);
  s_iTokens = 0;
  mp_bInitialized = true;
}

void ClDevINI::terminate() {
  if (s_index.isAllocated()) {
    s_index.terminate();
  }
  s_iTokens = 0;
  mp_bInitialized = false;
}

i32 ClDevINI::load(const char* pFileName) {
  KV_ASSERT(pFileName);
  char szPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szPath, KvGetDataRootPath(), sizeof(szPath));
  KvStrLCat(szPath, pFileName, sizeof(szPath));
  for (char* p = szPath; *p; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
  if (!ClParser::loadFile(szPath)) {
    // A missing (or empty) file is normal; one that is there and cannot be read is said.
    char szWhy[256];
    if (ClFileIO::whyCannotOpen(szPath, szWhy, sizeof(szWhy))) {
      KvPrintProblem("Development settings [%s] %s; the game runs without them.", szPath, szWhy);
    }
    return 0;
  }
  u8 uiByte = 0;
  const i64 iNonText = ClParser::findNonTextByte(&uiByte);
  if (iNonText >= 0) {
    KvPrintProblem("Development settings [%s] are not text (byte 0x%02X at offset %lld); the game runs without them.",
                   szPath, uiByte, static_cast<long long>(iNonText));
    ClParser::release();
    return 0;
  }
  parseLoadedFile(pFileName);
  ClParser::release();
  return 1;
}

i32 ClDevINI::loadFromBuffer(const void* pBytes, size_t uiSize, const char* pFileName) {
  if (!ClParser::loadBuffer(pBytes, uiSize)) {
    return 0;
  }
  parseLoadedFile(pFileName);
  ClParser::release();
  return 1;
}

void ClDevINI::parseLoadedFile(const char* pFileName) {
  KV_ASSERT(ClDevINI::mp_bInitialized);
  KvStrLCpy(s_szFileName, pFileName, sizeof(s_szFileName));
  char szLine[gc_iPARSER_LINE_SIZE];
  char szKey[gc_iPARSER_LINE_SIZE];
  char szValue[gc_iPARSER_LINE_SIZE];
  i32 iLine = 0;
  bool bAfterCR = false;
  bool bCutShort = false;
  while (ClParser::readLine(szLine, &bCutShort) != nullptr) {
    const size_t uiLength = std::strlen(szLine);
    // Line numbers count the lines of the file: the LF of a CR LF pair belongs to the line before.
    const bool bLFOfCRLF = bAfterCR && szLine[0] == '\n' && uiLength == 1;
    if (!bLFOfCRLF) {
      ++iLine;
    }
    // A zero byte in the file ends the line's text early; the line may then look empty.
    bAfterCR = !bCutShort && uiLength > 0 && szLine[uiLength - 1] == '\r';
    if (bCutShort) {
      // Its tail would otherwise read as a setting of its own (a long comment would make one).
      reportBadLine(pFileName, iLine, "line longer than 2047 characters");
      continue;
    }

    if (!ClParser::isContentLine(szLine)) {
      continue;
    }
    E_TOKEN_ERROR eError;
    const char* pRest = ClParser::getToken(szLine, szKey, &eError);
    if (eError != E_TOKEN_ERROR_NONE) {
      reportBadLine(pFileName, iLine, tokenProblem(eError, "key"));
      continue;
    }
    if (pRest == nullptr) {
      continue;  // a key alone makes no setting
    }
    if (std::strlen(szKey) >= static_cast<size_t>(gc_iINI_KEY_SIZE)) {
      reportBadLine(pFileName, iLine, "key of 128 characters or more");
      continue;
    }
    if (s_iTokens >= cMAX_INI_ENTRIES - 1) {
      std::fprintf(stderr, "%s(%d): more than %d settings; this line and the rest of the file are ignored\n",
                   pFileName, iLine, cMAX_INI_ENTRIES - 1);
      break;
    }
    ClParser::getToken(pRest, szValue, &eError);
    if (eError != E_TOKEN_ERROR_NONE) {
      reportBadLine(pFileName, iLine, tokenProblem(eError, "value"));
      continue;
    }
    if (szValue[0] == 0) {
      reportBadLine(pFileName, iLine, "empty value");
      continue;
    }
    if (std::strlen(szValue) >= static_cast<size_t>(gc_iINI_VALUE_SIZE)) {
      reportBadLine(pFileName, iLine, "value of 256 characters or more");
      continue;
    }
    const u32 uiHash = KvStrHash(szKey);
    if (uiHash == 0) {
      reportBadLine(pFileName, iLine, "key whose name hash is 0");
      continue;
    }

    SDevINIEntry* pEntry = &s_entries[s_iTokens++];
    std::memset(pEntry, 0, sizeof(*pEntry));
    KvStrLCpy(pEntry->m_szName, szKey, sizeof(pEntry->m_szName));
    KvStrLCpy(pEntry->m_szValue, szValue, sizeof(pEntry->m_szValue));
    pEntry->m_uiHash = uiHash;
    pEntry->m_iLine = iLine;
    parseNumber(pEntry);
    if (s_index.find(uiHash) != 0) {
      s_index.remove(uiHash);
    }
    s_index.insertPtr(uiHash, pEntry);
  }
}

const SDevINIEntry* ClDevINI::findEntry(const char* pKey) {
  KV_ASSERT(ClDevINI::mp_bInitialized);
  KV_ASSERT(pKey);
  return s_index.findPtr<const SDevINIEntry>(KvStrHash(pKey));
}

i32 ClDevINI::hasKey(const char* pKey) { return findEntry(pKey) != nullptr ? 1 : 0; }

i32 ClDevINI::getInt(const char* pKey) {
  const SDevINIEntry* pEntry = findEntry(pKey);
  if (pEntry == nullptr) {
    return 0;
  }
  if (pEntry->m_eNumberKind != E_INI_NUMBER_FLOAT) {
    return pEntry->m_iNumber;
  }
  const f32 fValue = pEntry->m_fNumber;
  if (std::isnan(fValue)) {
    return 0;
  }
  if (fValue >= 2147483648.0f) {
    return 0x7FFFFFFF;
  }
  if (fValue <= -2147483648.0f) {
    return static_cast<i32>(0x80000000u);
  }
  return static_cast<i32>(fValue);
}

f32 ClDevINI::getFloat(const char* pKey) {
  const SDevINIEntry* pEntry = findEntry(pKey);
  if (pEntry == nullptr) {
    return KV_ZERO;
  }
  return pEntry->m_eNumberKind == E_INI_NUMBER_FLOAT ? pEntry->m_fNumber : static_cast<f32>(pEntry->m_iNumber);
}

const char* ClDevINI::getStringValue(const char* pKey) {
  const SDevINIEntry* pEntry = findEntry(pKey);
  return pEntry != nullptr ? pEntry->m_szValue : nullptr;
}

i32 ClDevINI::getEntryCount() { return s_iTokens; }

E_INI_NUMBER ClDevINI::getNumberKind(const char* pKey) {
  const SDevINIEntry* pEntry = findEntry(pKey);
  return pEntry != nullptr ? pEntry->m_eNumberKind : E_INI_NUMBER_NONE;
}

i32 ClDevINI::getLine(const char* pKey) {
  const SDevINIEntry* pEntry = findEntry(pKey);
  return pEntry != nullptr ? pEntry->m_iLine : 0;
}

const char* ClDevINI::getFileName() { return s_szFileName; }
