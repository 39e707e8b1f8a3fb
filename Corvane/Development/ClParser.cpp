#include "Corvane/Development/ClParser.h"

#include <cstring>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

char* ClParser::mpr_pFileBuffer = nullptr;
size_t ClParser::m_uiFileSize = 0;
size_t ClParser::m_uiReadPosition = 0;
SDataFileRead ClParser::m_fileRead;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

}  // namespace

i32 ClParser::loadFile(const char* pPath) {
  KV_ASSERT(pPath);
  release();
  if (KvReadDataFile(pPath, &m_fileRead) != E_DATA_READ_OK) {
    return 0;
  }
  if (m_fileRead.mp_uiSize == 0) {
    KvReleaseDataFile(&m_fileRead);
    return 0;
  }
  // The reader only reads the buffer; it stays the archive reader's until release.
  mpr_pFileBuffer = const_cast<char*>(reinterpret_cast<const char*>(m_fileRead.mp_pBytes));
  m_uiFileSize = m_fileRead.mp_uiSize;
  m_uiReadPosition = 0;
  return 1;
}

i32 ClParser::loadBuffer(const void* pBytes, size_t uiSize) {
  release();
  if (pBytes == nullptr || uiSize == 0) {
    return 0;
  }
  mpr_pFileBuffer = static_cast<char*>(KvAlignedAlloc(uiSize, 16));
  if (mpr_pFileBuffer == nullptr) {
    return 0;
  }
  std::memcpy(mpr_pFileBuffer, pBytes, uiSize);
  m_uiFileSize = uiSize;
  m_uiReadPosition = 0;
  return 1;
}

void ClParser::release() {
  if (m_fileRead.mp_bHeld) {
    KvReleaseDataFile(&m_fileRead);
  } else {
    KvAlignedFree(mpr_pFileBuffer);
  }
  mpr_pFileBuffer = nullptr;
  m_uiFileSize = 0;
  m_uiReadPosition = 0;
}

i64 ClParser::findNonTextByte(u8* puiByte) {
  KV_ASSERT(puiByte);
  for (size_t i = 0; i < m_uiFileSize; ++i) {
    const u8 uiByte = static_cast<u8>(mpr_pFileBuffer[i]);
    if ((uiByte < 0x20 && uiByte != '\t' && uiByte != '\n' && uiByte != '\r') || uiByte == 0x7F) {
      *puiByte = uiByte;
      return static_cast<i64>(i);
    }
  }
  return -1;
}

char* ClParser::readLine(char* pBuffer, bool* pbCutShort) {
  KV_ASSERT(pBuffer);
  KV_ASSERT(mpr_pFileBuffer);
  i32 iLength = 0;
  bool bEnded = false;
  while (m_uiReadPosition < m_uiFileSize && iLength < gc_iPARSER_LINE_SIZE - 1) {
    const char c = mpr_pFileBuffer[m_uiReadPosition++];
    pBuffer[iLength++] = c;
    if (c == '\n' || c == '\r') {
      bEnded = true;
      break;
    }
  }
  pBuffer[iLength] = 0;
  if (pbCutShort != nullptr) {
    *pbCutShort = false;
    if (!bEnded && m_uiReadPosition < m_uiFileSize) {
      // The buffer is full and the line goes on: its tail is no line of its own.
      *pbCutShort = true;
      while (m_uiReadPosition < m_uiFileSize) {
        const char c = mpr_pFileBuffer[m_uiReadPosition++];
        if (c == '\r' && m_uiReadPosition < m_uiFileSize && mpr_pFileBuffer[m_uiReadPosition] == '\n') {
          ++m_uiReadPosition;  // CR LF ends it as one line end
        }
        if (c == '\n' || c == '\r') {
          break;
        }
      }
    }
  }
  return iLength > 0 ? pBuffer : nullptr;
}

const char* ClParser::getToken(const char* pText, char* pToken, E_TOKEN_ERROR* pError) {
  KV_ASSERT(pText);
  KV_ASSERT(pToken);
  if (pError != nullptr) {
    *pError = E_TOKEN_ERROR_NONE;
  }
  pToken[0] = 0;
  const char* p = pText;
  while (isBlank(*p)) {
    ++p;
  }
  const bool bQuoted = *p == '"';
  if (bQuoted) {
    ++p;
    if (*p == 0) {
      if (pError == nullptr) {
        KV_FATAL("Unfinished string token found!");
      }
      *pError = E_TOKEN_ERROR_UNFINISHED_STRING;
      return nullptr;
    }
  }
  const i32 iMaxSize = gc_iPARSER_LINE_SIZE;
  i32 iGuard = 0;
  while (*p != 0 && (bQuoted ? *p != '"' : !isBlank(*p))) {
    if (iGuard >= iMaxSize - 1) {
      if (pError == nullptr) {
        KV_ASSERT(iGuard < iMaxSize - 1);
      }
      pToken[0] = 0;
      *pError = E_TOKEN_ERROR_TOO_LONG;
      return nullptr;
    }
    pToken[iGuard++] = *p++;
  }
  if (bQuoted) {
    if (*p != '"') {
      pToken[0] = 0;
      if (pError == nullptr) {
        KV_ASSERT_MSG(false, "Unfinished string token found!");
      }
      *pError = E_TOKEN_ERROR_UNFINISHED_STRING;
      return nullptr;
    }
    ++p;
  }
  pToken[iGuard] = 0;
  while (isBlank(*p)) {
    ++p;
  }
  return *p == 0 ? nullptr : p;
}

bool ClParser::isHex(const char* pText) {
  KV_ASSERT(pText);
  if (pText[0] != '0' || (pText[1] != 'x' && pText[1] != 'X')) {
    return false;
  }
  for (const char* p = pText + 2; *p != 0; ++p) {
    if (!isHexDigit(*p)) {
      return false;
    }
  }
  return true;
}

bool ClParser::isDecimalFraction(const char* pText) {
  KV_ASSERT(pText);
  const char* p = pText[0] == '-' ? pText + 1 : pText;
  i32 iDots = 0;
  for (; *p != 0; ++p) {
    if (*p == '.') {
      ++iDots;
    } else if (*p < '0' || *p > '9') {
      return false;
    }
  }
  return iDots == 1;
}

i32 ClParser::isContentLine(const char* pLine) {
  KV_ASSERT(pLine);
  if (pLine[0] == 0 || (isBlank(pLine[0]) && pLine[1] == 0)) {
    return 0;
  }
  const char* p = pLine;
  while (*p == ' ' || *p == '\t') {
    ++p;
  }
  return (p[0] == '/' && p[1] == '/') ? 0 : 1;
}
