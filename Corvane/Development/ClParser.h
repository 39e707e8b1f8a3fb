// Line and token reader for small text files (the development settings).
//
// One global reader: loadFile (or loadBuffer) takes the whole file, readLine hands it out line by line, and
// getToken splits a line into blank-separated tokens, where a token in double quotes may hold blanks.
// release gives the file back. Main thread only.
#pragma once

#include <cstddef>

#include "Corvane/Data/KvDataFileRead.h"
#include "Corvane/System/KvTypes.h"

// Size of the line and token buffers: lines and tokens hold at most 2047 characters.
inline constexpr i32 gc_iPARSER_LINE_SIZE = 2048;

enum E_TOKEN_ERROR : i32 {
  E_TOKEN_ERROR_NONE = 0,
  E_TOKEN_ERROR_UNFINISHED_STRING,  // a quoted token without its closing quote
  E_TOKEN_ERROR_TOO_LONG,           // a token longer than 2047 characters
};

class ClParser {
 public:
  // Reads the file at pPath (data root included, "\" separators) whole; read position 0. 0 when the file is
  // missing, empty or unreadable (nothing is held then).
  static i32 loadFile(const char* pPath);
  // Takes a copy of uiSize bytes as the file (for text that is already in memory). 0 when empty.
  static i32 loadBuffer(const void* pBytes, size_t uiSize);
  // Frees the file; the reader is empty again.
  static void release();
  // The offset of the file's first byte that text does not hold (a zero byte, or a control character other than
  // tab, line feed and carriage return), or -1 when it is all text; the byte itself in *puiByte.
  static i64 findNonTextByte(u8* puiByte);

  // Copies the next line, up to and including its first line feed or carriage return (at most 2047 bytes),
  // into pBuffer (gc_iPARSER_LINE_SIZE bytes) and answers it; null with an empty buffer at the end. A CR LF
  // pair gives a line and then a line holding only the LF. With pbCutShort given, a line that does not fit
  // is not split: what fits is answered, the rest of the line up to and including its line end (CR LF as one) is skipped, and
  // *pbCutShort tells whether that happened (without it the rest comes back as the next line).
  static char* readLine(char* pBuffer, bool* pbCutShort = nullptr);

  // Reads one token of pText into pToken (gc_iPARSER_LINE_SIZE bytes) and answers the rest of the text
  // after the token and the blanks behind it, or null when nothing follows. Without pError an unfinished
  // quoted token or a token longer than 2047 characters stops the program; with pError it is reported
  // there (the answer is null and the token empty).
  static const char* getToken(const char* pText, char* pToken, E_TOKEN_ERROR* pError = nullptr);

  // "0x" or "0X" followed only by hexadecimal digits ("0x" alone counts).
  static bool isHex(const char* pText);
  // An optional "-", then digits and exactly one ".".
  static bool isDecimalFraction(const char* pText);
  // 0 for an empty line, a single blank character, or a line whose first characters after spaces and tabs
  // are "//"; else 1.
  static i32 isContentLine(const char* pLine);

 private:
  static char* mpr_pFileBuffer;
  static size_t m_uiFileSize;
  static size_t m_uiReadPosition;
  static SDataFileRead m_fileRead;
};
