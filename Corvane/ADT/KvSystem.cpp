#include "Corvane/ADT/KvSystem.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

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

const char* KvEscapeName(const char* pName, char* pOut, u32 uiSize) {
  KvCheckPointer(pName);
  KvCheckPointer(pOut);
  KV_ASSERT(uiSize > 0);
  u32 uiUsed = 0;
  for (const char* p = pName; *p != '\0'; ++p) {
    const u8 ucByte = static_cast<u8>(*p);
    const bool bPlain = ucByte > 0x20 && ucByte < 0x7F;
    const u32 uiNeeded = bPlain ? 1 : 4;
    if (uiUsed + uiNeeded >= uiSize) {
      break;
    }
    if (bPlain) {
      pOut[uiUsed] = *p;
    } else {
      std::snprintf(pOut + uiUsed, 5, "\\x%02X", ucByte);
    }
    uiUsed += uiNeeded;
  }
  pOut[uiUsed] = '\0';
  return pOut;
}

namespace {
thread_local char t_szLastProblem[gc_uiMESSAGE_BUFFER_SIZE] = "";

// The held lines, each ending in a line break, in the order they came.
constexpr u32 gc_uiHELD_PROBLEMS_SIZE = 16384;
thread_local char t_acHeldProblems[gc_uiHELD_PROBLEMS_SIZE];
thread_local u32 t_uiHeldLength = 0;
thread_local i32 t_iHoldDepth = 0;

// Keeps the held lines for which bKeep(line, length) answers true, in order; says the others when bSayOthers.
template <typename TKeep>
void keepHeldProblems(TKeep bKeep, bool bSayOthers) {
  u32 uiKept = 0;
  for (u32 uiAt = 0; uiAt < t_uiHeldLength;) {
    const char* pLine = t_acHeldProblems + uiAt;
    const u32 uiLength =
        static_cast<u32>(static_cast<const char*>(std::memchr(pLine, '\n', t_uiHeldLength - uiAt)) - pLine);
    if (bKeep(pLine, uiLength)) {
      std::memmove(t_acHeldProblems + uiKept, pLine, uiLength + 1);
      uiKept += uiLength + 1;
    } else if (bSayOthers) {
      std::fwrite(pLine, 1, uiLength + 1, stderr);
    }
    uiAt += uiLength + 1;
  }
  t_uiHeldLength = uiKept;
}

// Whether pText holds the uiLength characters at pLine.
bool contains(const char* pText, const char* pLine, u32 uiLength) {
  return std::string_view(pText).find(std::string_view(pLine, uiLength)) != std::string_view::npos;
}

}  // namespace

void KvPrintProblem(const char* pFormat, ...) {
  // Formatted apart first: the arguments may hold the last problem itself.
  char szLine[gc_uiMESSAGE_BUFFER_SIZE];
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(szLine, sizeof(szLine), pFormat, args);
  va_end(args);
  std::memcpy(t_szLastProblem, szLine, sizeof(szLine));
  if (t_iHoldDepth == 0) {
    std::fprintf(stderr, "%s\n", t_szLastProblem);
    return;
  }
  // A held line the new one repeats is said with it.
  keepHeldProblems([](const char* pLine, u32 uiLength) { return !contains(t_szLastProblem, pLine, uiLength); },
                   false);
  const u32 uiLength = static_cast<u32>(std::strlen(t_szLastProblem));
  if (t_uiHeldLength + uiLength + 1 > gc_uiHELD_PROBLEMS_SIZE) {
    KvSayHeldProblems(nullptr);
  }
  std::memcpy(t_acHeldProblems + t_uiHeldLength, t_szLastProblem, uiLength);
  t_acHeldProblems[t_uiHeldLength + uiLength] = '\n';
  t_uiHeldLength += uiLength + 1;
}

ClProblemHold::ClProblemHold() { ++t_iHoldDepth; }

ClProblemHold::~ClProblemHold() {
  if (--t_iHoldDepth == 0) {
    KvSayHeldProblems(nullptr);
  }
}

void KvSayHeldProblems(const char* pText) {
  keepHeldProblems(
      [pText](const char* pLine, u32 uiLength) { return pText != nullptr && contains(pText, pLine, uiLength); },
      true);
  t_uiHeldLength = 0;
}

const char* KvGetLastProblem() { return t_szLastProblem; }

void KvForgetLastProblem() { t_szLastProblem[0] = '\0'; }
