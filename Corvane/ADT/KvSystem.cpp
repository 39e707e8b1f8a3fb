#include "Corvane/ADT/KvSystem.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Corvane/System/KvDebug.h"

namespace {

constexpr u32 gc_uiMESSAGE_BUFFER_SIZE = gc_uiMAX_MESSAGE_LEN + 1;

// Formats an overrun message and raises it as an assertion; used only after the bounded copy is done.
#define KV_REPORT_OVERRUN(...)                                  \
  do {                                                          \
    char szMessage_[gc_uiMESSAGE_BUFFER_SIZE];                  \
    KvSNPrintf(szMessage_, gc_uiMESSAGE_BUFFER_SIZE, __VA_ARGS__); \
    reportAssertion(szMessage_, __FILE__, __LINE__);            \
    KvStop(gc_uiSTOP_ASSERTION);                                \
  } while (0)

// UTF-16 to UTF-8 for reports: whole code points only, cut where the next one would not fit; an unpaired
// surrogate becomes U+FFFD.
void wideToUtf8(char* pOut, u32 uiSize, const wchar16* pIn) {
  u32 uiOut = 0;
  while (*pIn) {
    u32 uiCode = *pIn++;
    if (uiCode >= 0xD800 && uiCode <= 0xDBFF && *pIn >= 0xDC00 && *pIn <= 0xDFFF) {
      uiCode = 0x10000 + ((uiCode - 0xD800) << 10) + (static_cast<u32>(*pIn++) - 0xDC00);
    } else if (uiCode >= 0xD800 && uiCode <= 0xDFFF) {
      uiCode = 0xFFFD;
    }
    char acBytes[4];
    u32 uiBytes = 0;
    if (uiCode < 0x80) {
      acBytes[uiBytes++] = static_cast<char>(uiCode);
    } else if (uiCode < 0x800) {
      acBytes[uiBytes++] = static_cast<char>(0xC0 | (uiCode >> 6));
      acBytes[uiBytes++] = static_cast<char>(0x80 | (uiCode & 0x3F));
    } else if (uiCode < 0x10000) {
      acBytes[uiBytes++] = static_cast<char>(0xE0 | (uiCode >> 12));
      acBytes[uiBytes++] = static_cast<char>(0x80 | ((uiCode >> 6) & 0x3F));
      acBytes[uiBytes++] = static_cast<char>(0x80 | (uiCode & 0x3F));
    } else {
      acBytes[uiBytes++] = static_cast<char>(0xF0 | (uiCode >> 18));
      acBytes[uiBytes++] = static_cast<char>(0x80 | ((uiCode >> 12) & 0x3F));
      acBytes[uiBytes++] = static_cast<char>(0x80 | ((uiCode >> 6) & 0x3F));
      acBytes[uiBytes++] = static_cast<char>(0x80 | (uiCode & 0x3F));
    }
    if (uiOut + uiBytes + 1 > uiSize) {
      break;
    }
    std::memcpy(pOut + uiOut, acBytes, uiBytes);
    uiOut += uiBytes;
  }
  pOut[uiOut] = 0;
}

void appendWide(wchar16* pText, const char* pSuffix) {
  KvCheckPointer(pText);
  wchar16* pEnd = pText + KvStrLenW(pText);
  while (*pSuffix) {
    *pEnd++ = static_cast<unsigned char>(*pSuffix++);
  }
  *pEnd = 0;
}

}  // namespace

u32 KvStrLen(const char* pText) {
  KvCheckPointer(pText);
  return static_cast<u32>(std::strlen(pText));
}

u32 KvStrLenW(const wchar16* pText) {
  KvCheckPointer(pText);
  const wchar16* pEnd = pText;
  while (*pEnd) {
    ++pEnd;
  }
  return static_cast<u32>(pEnd - pText);
}

u32 KvStrLCpy(char* pDest, const char* pSource, u32 uiSize) {
  KvCheckPointer(pDest);
  const u32 uiLength = KvStrLen(pSource);
  if (uiSize > 0) {
    const u32 uiCopy = uiLength < uiSize ? uiLength : uiSize - 1;
    std::memmove(pDest, pSource, uiCopy);
    pDest[uiCopy] = 0;
  }
  if (uiLength >= uiSize) {
    KV_REPORT_OVERRUN("KvStrLCpy overrun for string [%s]", pSource);
  }
  return uiLength;
}

u32 KvStrLCpyW(wchar16* pDest, const wchar16* pSource, u32 uiSize) {
  KvCheckPointer(pDest);
  const u32 uiLength = KvStrLenW(pSource);
  if (uiSize > 0) {
    const u32 uiCopy = uiLength < uiSize ? uiLength : uiSize - 1;
    std::memmove(pDest, pSource, uiCopy * sizeof(wchar16));
    pDest[uiCopy] = 0;
  }
  if (uiLength >= uiSize) {
    // The report is 8-bit text: the source is shown as UTF-8 where the format would take it as wide.
    char szSource[gc_uiMESSAGE_BUFFER_SIZE];
    wideToUtf8(szSource, sizeof(szSource), pSource);
    KV_REPORT_OVERRUN("KvStrLCpy overrun for string [%s]", szSource);
  }
  return uiLength;
}

u32 KvStrLCat(char* pDest, const char* pSource, u32 uiSize) {
  const u32 uiDestLength = KvStrLen(pDest);
  const u32 uiSourceLength = KvStrLen(pSource);
  if (uiDestLength >= uiSize) {
    KV_REPORT_OVERRUN("KvStrLCat destination overrun BEFORE copy for string [%s]", pDest);
  }
  const u32 uiRoom = uiSize - 1 - uiDestLength;
  const u32 uiCopy = uiSourceLength < uiRoom ? uiSourceLength : uiRoom;
  std::memmove(pDest + uiDestLength, pSource, uiCopy);
  pDest[uiDestLength + uiCopy] = 0;
  const u32 uiTotal = uiDestLength + uiSourceLength;
  if (uiTotal >= uiSize) {
    KV_REPORT_OVERRUN("KvStrLCpy overrun AFTER copy for strings [%s] + [%s]", pDest, pSource);
  }
  return uiTotal;
}

void KvStrCpy(char* pDest, const char* pSource) {
  KvCheckPointer(pDest);
  std::memmove(pDest, pSource, KvStrLen(pSource) + 1);
}

void KvStrCat(char* pDest, const char* pSource) {
  const u32 uiDestLength = KvStrLen(pDest);
  std::memmove(pDest + uiDestLength, pSource, KvStrLen(pSource) + 1);
}

void KvStrCpyW(wchar16* pDest, const wchar16* pSource) {
  KvCheckPointer(pDest);
  std::memmove(pDest, pSource, (KvStrLenW(pSource) + 1) * sizeof(wchar16));
}

void KvStrNCpyW(wchar16* pDest, const wchar16* pSource, u32 uiCount) {
  KvCheckPointer(pDest);
  KvCheckPointer(pSource);
  u32 i = 0;
  for (; i < uiCount && pSource[i]; ++i) {
    pDest[i] = pSource[i];
  }
  for (; i < uiCount; ++i) {
    pDest[i] = 0;
  }
}

void KvStrToWideTemp(wchar16* pDest, const char* pSource) {
  KvCheckPointer(pDest);
  KV_ASSERT(KvStrLen(pSource) < gc_iMAX_TEMP_STRING_LEN - 1);
  wchar16 auiTemp[gc_iMAX_TEMP_STRING_LEN];
  u32 i = 0;
  for (; pSource[i]; ++i) {
    auiTemp[i] = static_cast<unsigned char>(pSource[i]);
  }
  auiTemp[i] = 0;
  KvStrCpyW(pDest, auiTemp);
}

void KvStrAppendEllipsisW(wchar16* pText) { appendWide(pText, "..."); }

void KvStrAppendSaveDataFolderW(wchar16* pText) { appendWide(pText, "SAVEDATA/"); }

i32 KvSNPrintf(char* pBuffer, u32 uiSize, const char* pFormat, ...) {
  KvCheckPointer(pBuffer);
  KvCheckPointer(pFormat);
  if (uiSize == 0) {
    return 0;
  }
  va_list args;
  va_start(args, pFormat);
  const int iWanted = std::vsnprintf(pBuffer, uiSize, pFormat, args);
  va_end(args);
  if (iWanted < 0) {
    pBuffer[0] = 0;
    return 0;
  }
  return static_cast<u32>(iWanted) < uiSize ? iWanted : static_cast<i32>(uiSize - 1);
}

namespace {
thread_local char t_szLastProblem[gc_uiMESSAGE_BUFFER_SIZE] = "";
}  // namespace

void KvPrintProblem(const char* pFormat, ...) {
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(t_szLastProblem, sizeof(t_szLastProblem), pFormat, args);
  va_end(args);
  std::fprintf(stderr, "%s\n", t_szLastProblem);
}

const char* KvGetLastProblem() { return t_szLastProblem; }

void KvForgetLastProblem() { t_szLastProblem[0] = '\0'; }
