// Development settings: the optional file "project.ini" in the data root, one key and one value a line.
//
//   // a comment line (blanks may stand before the slashes)
//   FIXED_DT 0.0166
//   RESOLUTION 720
//   COLOR 0x1F
//   TITLE "a b c"
//
// Read once at start-up into a table of at most 127 entries, found by the key's name hash (so letter case
// in keys does not matter); a repeated key takes the value of its last line. A value is kept as text and,
// when it reads as one, as a number: hexadecimal ("0x1F"), decimal integer ("-12") or decimal fraction
// ("2.5"). Integer readers truncate a fraction; float readers convert an integer.
//
// A missing file is normal: every key is then absent. A file that is there but cannot be read (a folder, a file
// this user may not read) or is not text (a zero byte or another control character than tab, line feed and
// carriage return) is said in one line on standard error, naming it and why, and is not used: every key is
// absent as without it. A malformed line (one longer than 2047 characters, whose tail is never read as a line of
// its own; a key of 128 characters or more, a value of 256 or more, an empty
// or unfinished quoted value, a key that hashes to 0) is skipped with one line on standard error naming the
// file, the line number and the problem; the other lines are kept. A 128th setting is reported the same way
// and ends the reading; the 127 before it are kept. What a value means is up to its reader, which reports a
// value it cannot use with getFileName and getLine.
//
// Written on the main thread at start-up; read-only afterwards, from any thread.
#pragma once

#include <cstddef>

#include "Corvane/System/KvTypes.h"

inline constexpr i32 cMAX_INI_ENTRIES = 128;
inline constexpr i32 cMAX_STRING_TOKEN_LEN = 256;
inline constexpr i32 gc_iINI_KEY_SIZE = 128;
inline constexpr i32 gc_iINI_VALUE_SIZE = 256;

enum E_INI_NUMBER : i32 { E_INI_NUMBER_NONE = 0, E_INI_NUMBER_INT, E_INI_NUMBER_FLOAT };

struct SDevINIEntry {
  char m_szName[gc_iINI_KEY_SIZE];
  char m_szValue[gc_iINI_VALUE_SIZE];
  union {
    i32 m_iNumber;
    f32 m_fNumber;
  };
  u32 m_uiHash;
  E_INI_NUMBER m_eNumberKind;
  i32 m_iLine;  // in the file, from 1
};

class ClDevINI {
 public:
  // Creates the empty index (128 slots) and sets mp_bInitialized. Called by the game's start-up before load.
  static void initialize();
  // Empties the table and frees the index.
  static void terminate();

  // Reads "<data root><file name>" ("/" turned into "\"): 1 when read and parsed, 0 when missing, unreadable or
  // not text.
  static i32 load(const char* pFileName);
  // Parses settings text already in memory; pFileName names it in messages. 1 unless the text is empty.
  static i32 loadFromBuffer(const void* pBytes, size_t uiSize, const char* pFileName);

  static i32 hasKey(const char* pKey);
  // The number as an integer (a fraction truncated towards zero, saturated); 0 when absent or no number.
  static i32 getInt(const char* pKey);
  // The number as a float (an integer converted); 0 when absent or no number.
  static f32 getFloat(const char* pKey);
  // The value text, or null when absent.
  static const char* getStringValue(const char* pKey);
  static const char* getString(const char* pKey) { return getStringValue(pKey); }
  // The kind of number the value text reads as (E_INI_NUMBER_NONE when absent or no number).
  static E_INI_NUMBER getNumberKind(const char* pKey);
  // The line of the file the value comes from (0 when absent), and the name of the file read last.
  static i32 getLine(const char* pKey);
  static const char* getFileName();
  static i32 getEntryCount();

  static bool mp_bInitialized;

 private:
  static const SDevINIEntry* findEntry(const char* pKey);
  static void parseLoadedFile(const char* pFileName);
};
