// The game's language and its string tables.
//
// The language is chosen once at start-up (a "LANG" development setting holding one of the 24 codes below,
// else the store's language) and gives a three-letter code and the language folder. Every text a player
// sees comes from a string table: a ".lang" file of UTF-16 texts keyed by the name hash (KvStrHash) of a
// text identifier. Up to 8 tables are loaded at a time; a lookup searches them in load order, so the first
// table that holds a key answers for it.
//
// String table file (little-endian, offsets from the start of the file; the same scheme as an archive's
// table of contents):
//
//   offset  size   field
//   0       4      u32 offset of the pair-offset table
//   4       4      u32 not read (0)
//   8       4      i32 number of pairs N
//   table   4N     u32 offsets of the pair records, by ascending key hash compared as signed 32-bit values
//   pair    12     u32 offset of the text, u32 not read (0), i32 key hash
//   text    2k+2   UTF-16 code units ending with a zero unit
//
// Every offset is checked when a table is loaded: the pair-offset table, each pair record and each text must lie
// past the header and inside the file, each text must end with a zero unit inside the file, and the keys must be
// in order. The count must agree with the file's size: N pairs take at least 16N bytes past the header (an
// offset and a record each), and a table of no pairs (a count of 0 or below) has no room for one (18 bytes: an
// offset, a record and an empty text), so a zeroed file is no empty table. Offsets may be any byte offset. A
// table that breaks any of this is refused as a whole with one line naming it and what is wrong (on stderr, and
// in getLastError). The file image is kept
// unchanged; side tables of the keys and the texts serve the lookups (a text at an odd offset is copied to an
// aligned place once, at load, so every text handed out is properly aligned UTF-16).
//
// A text asked for by its identifier (getString) that no loaded table holds is a data stop naming the text and
// the tables: the tables came from data. Asking before any table is loaded is an assertion.
//
// Main thread only. Texts returned stay valid until unloadAllStringTables, which must run before the archives
// they came from are unloaded.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 NUM_LANGUAGES = 24;
inline constexpr i32 gc_iLANGUAGE_ENGLISH = 0;
inline constexpr i32 gc_iMAX_STRING_TABLES = 8;
inline constexpr i32 gc_iFORMAT_INT_DEST_LEN = 768;

// The language codes by index: three letters and a zero byte each.
extern const char g_szLanguageCodes[NUM_LANGUAGES][4];

// The index 0-23 of a three-letter code (exact, case-sensitive), or -1.
i32 getLangIDFromCode(const char* pCode);

struct SStringTableHeader {
  u32 m_uiPairTableOffset;
  u32 m_uiUnused;
  i32 m_iNumPairs;
};
static_assert(sizeof(SStringTableHeader) == 12);
static_assert(offsetof(SStringTableHeader, m_iNumPairs) == 8);

struct SStringValuePair {
  u32 m_uiTextOffset;
  u32 m_uiUnused;
  i32 m_iKeyHash;
};
static_assert(sizeof(SStringValuePair) == 12);
static_assert(offsetof(SStringValuePair, m_iKeyHash) == 8);

// Gives a table's image back when the table is unloaded (closes the archive reference that owns it, or
// frees it).
typedef void (*KvStringTableRelease)(void* pOwner, u8* pImage);

// One loaded table: a slot of the table pool.
struct SStringTable {
  void* mp_pOwner;
  KvStringTableRelease mp_pfnRelease;
  const u8* mp_pImage;
  u32 m_uiImageSize;
  char m_szName[KV_MAX_PATH_LEN];  // in messages: the file's path, or the name the table was loaded under
  u32 m_uiNameHash;
  i32 m_iNumPairs;  // 0 for a negative count
  // The pairs in key order: their keys, and their texts (in the image, or aligned copies of texts that lie at
  // an odd offset), 16-byte aligned blocks.
  i32* mp_piSortedKeys;
  const wchar16** mp_ppSortedTexts;
  wchar16* mp_pAlignedTexts;
};

// Checks a table image as described above. False with the reason in pError (at most uiErrorSize bytes,
// terminated) when it is malformed.
bool KvValidateStringTable(const u8* pImage, u32 uiSize, char* pError, u32 uiErrorSize);

// Chooses the language (KvLangID::chooseLanguage) and sets the language folder under the data root. The
// caller passes the development setting "LANG" (null when absent); the language module reads no settings
// itself, so it stays below the settings reader.
void KvInitializeLanguagePath(const char* pLangSetting);

class KvLangID {
 public:
  // The language: the development setting "LANG" when given (null: absent), else the store's language.
  static i32 chooseLanguage(const char* pLangSetting);
  // The choice itself: the "LANG" text when given (null: no setting), else the store's language name. A
  // setting that is not one of the 24 codes falls back to English (0), with a message.
  static i32 chooseLanguageFrom(const char* pLangSetting, const char* pStoreLanguage);
  // The store's language name: "english" 0, "russian" 12, "french" 1, "german" 2, "italian" 4, "koreana" 9,
  // "spanish" 3, "schinese" 11, "japanese" 8, "polish" 17, "brazilian" 22; anything else (or null) 0.
  static i32 getLangIDFromStoreName(const char* pStoreLanguage);
  // The store's current language name; null while the store does not run.
  static const char* getStoreLanguageName();

  // Records the language (g_iLanguageIndex) and sets the language folder (g_szLanguagePath) to base path +
  // "Lang\" + code + "\".
  static void setLanguage(i32 iLanguage, const char* pBaseDataPath);
  static i32 getLanguage();
  static const char* getLanguageCode() { return g_szLanguageCodes[getLanguage()]; }
  static const char* getLanguagePath();

  // Empties the table pool.
  static void initialize();
  // Loads the table language folder + "Strings\" + name + ".lang" through the archive reader (an archive
  // entry, else a loose file). 1 when loaded; 0 when a table of this name is loaded, the pool is full, the
  // file is in no archive and not on disk, cannot be read, is empty or malformed, or (with bRequireTexts)
  // holds no pairs; nothing is kept, and getLastError names the file.
  static i32 loadStringTable(const char* pStringDataFileName, bool bRequireTexts = false);
  // Takes a table whose image is already in memory: the image must be 16-byte aligned and stays with the
  // table (given back through pfnRelease, with pOwner, when the table is unloaded or refused). 1 when
  // loaded; 0 when a table of this name is loaded, the pool is full or the image is malformed (the image
  // is given back at once).
  // pDisplayName, when given, names the table in messages (its path).
  static i32 loadStringTableImage(const char* pStringDataFileName, u8* pImage, u32 uiSize, void* pOwner,
                                  KvStringTableRelease pfnRelease, const char* pDisplayName = nullptr,
                                  bool bRequireTexts = false);
  // The same for an image from KvAlignedAlloc, freed with KvAlignedFree.
  static i32 loadStringTableFromMemory(const char* pStringDataFileName, u8* pImage, u32 uiSize);
  static void unloadAllStringTables();
  static i32 getNumLoadedTables() { return mp_tables.getCount(); }
  static const SStringTable* getTable(i32 iIndex) { return mp_tables.get(iIndex); }
  // Why the last table was refused ("" when none was).
  static const char* getLastError() { return mp_szLastError; }

  // The text of one table, or null.
  static const wchar16* findInTable(const SStringTable* pData, u32 uiKeyHash);
  // The first text found in the loaded tables in pool order, or null.
  static const wchar16* findStringByHash(u32 uiKeyHash);
  // The text of a text identifier. One that no loaded table holds is the data stop "Cannot find localized
  // string [%s] in the string tables [...]"; with no table loaded it is that assertion.
  static const wchar16* getString(const char* pTextId);

  // Formatting: the text of keyHash copied into pDestString with its placeholders replaced. 0 when the key
  // is in no table (the destination is untouched), 1 otherwise.
  // Every "%d" becomes iValue; the destination holds 768 units; a result that does not fit is the data stop.
  static i32 formatStringInt(wchar16* pDestString, u32 uiKeyHash, i32 iValue);
  // The first "%d" becomes iFirst, every later one iSecond; a result that does not fit is the data stop.
  static i32 formatStringInt2(wchar16* pDestString, i32 iSizeOfString, u32 uiKeyHash, i32 iFirst, i32 iSecond);
  // Every "%s" becomes the argument; the result is cut to iSizeOfString - 1 units without a message.
  static i32 formatStringWithArg(wchar16* pDestString, i32 iSizeOfString, u32 uiKeyHash, const wchar16* pArg);
  // The argument widened byte by byte (at most iSizeOfString units), then formatStringWithArg.
  static i32 formatStringWithNarrowArg(wchar16* pDestString, i32 iSizeOfString, u32 uiKeyHash,
                                       const char* pNarrowArg);

  // The decimal text of iValue in UTF-16 (at most 12 units with the terminator).
  static void intToString(wchar16* pDest, i32 iValue);
  // -1, 0 or 1 as the first text sorts before, equal to or after the second (bytes as unsigned).
  static i32 compareStrings(const char* pFirst, const char* pSecond);

  static ClPool<SStringTable, gc_iMAX_STRING_TABLES> mp_tables;

 private:
  static i32 formatInts(wchar16* pDestString, i32 iSizeOfString, u32 uiKeyHash, i32 iFirst, i32 iSecond);
  static char mp_szLastError[gc_uiMAX_MESSAGE_LEN + 1];
};
