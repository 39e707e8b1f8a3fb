// The data-script manager: loads compiled data scripts (".kds") into ClDScriptData2 trees and caches them.
//
// getScript(name, folder) answers the cached tree of a script, loading it on first use; the same request
// always answers the same tree, which lives until terminate (at shutdown). A script without a folder is read
// from "<data root>Scripts\<name>.kds", one with a folder from "<data root><folder>\<name>.kds". The cache
// key is the name hash of the name as given (folder + "\" + name with a folder), so one script asked for
// with and without a folder is loaded twice under two keys. Main thread only; one load at a time.
//
// A missing file is the fatal error "Could not open script data file at [%s]!". A file that cannot be read,
// or whose contents are malformed, is refused: getScript answers null, caches nothing and prints one line
// naming the file and the fault. The file image is never trusted: every offset, count, type and text is
// checked against the file before use, arrays nest at most gc_iKDS_MAX_DEPTH deep, a file may not make more
// nodes than it has room for value records, so a looping or shared record cannot run away, and the texts of a
// tree come to at most gc_uiKDS_MAX_TEXT_BYTES. The compiler (Tools/kdsc) keeps to the same limits.
//
// A tree is built in one block: a first walk over the file checks it and measures the tree, a second builds the
// nodes, child tables and texts side by side in a block of that size, held by the root (ClDScriptData2.h).
//
// ".kds" layout (little-endian; every offset counts bytes from the start of the file). A slot is 8 bytes:
// the offset in the low u32, 0 in the high u32; a slot whose two words are 0 means "none".
//
// | place    | size      | record                                                                           |
// |----------|-----------|----------------------------------------------------------------------------------|
// | 0        | 8         | slot: offset of the root array record (the root is unnamed)                       |
// | anywhere | 12        | array record: slot of the child table; i32 child count                            |
// | anywhere | 4 x count | child table: u32 offset of each child's value record                              |
// | anywhere | 20        | value record: name slot (name record or none); value slot; i32 compiled type      |
// | anywhere | 12        | name record / hash-id record: slot of the characters; u32 name hash of them       |
// | anywhere | n + 1     | characters: 8-bit text ending in a zero byte                                      |
//
// Compiled types (E_DSCT) and their value slots: 0 and 2 INT (the i32 in the low word), 1 FLOAT (the f32's
// bits in the low word), 3 STRING (slot of the characters), 4 HASH_ID (slot of a hash-id record), 5 ARRAY
// (slot of an array record). A STRING, HASH_ID or ARRAY whose value slot is none is an empty text or array.
#pragma once

#include <cstddef>

#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/System/KvTypes.h"

enum E_DSCT : i32 {
  E_DSCT_INT = 0,
  E_DSCT_FLOAT = 1,
  E_DSCT_INT2 = 2,
  E_DSCT_STRING = 3,
  E_DSCT_HASH_ID = 4,
  E_DSCT_ARRAY = 5,
  NUM_E_DSCT = 6
};

// Records of the file, as laid out on disk. They are read field by field from the image (records may lie
// at any offset), never through a pointer into it.
struct SKdsSlot {
  u32 uiOffset;  // or the value itself for INT and FLOAT
  u32 uiHigh;    // 0
};
struct SKdsArrayRecord {
  SKdsSlot table;
  i32 iCount;
};
struct SKdsValueRecord {
  SKdsSlot name;
  SKdsSlot value;
  i32 iType;  // E_DSCT
};
struct SKdsNameRecord {
  SKdsSlot characters;
  u32 uiHash;
};
static_assert(sizeof(SKdsSlot) == 8);
static_assert(sizeof(SKdsArrayRecord) == 12 && offsetof(SKdsArrayRecord, iCount) == 8);
static_assert(sizeof(SKdsValueRecord) == 20 && offsetof(SKdsValueRecord, value) == 8 &&
              offsetof(SKdsValueRecord, iType) == 16);
static_assert(sizeof(SKdsNameRecord) == 12 && offsetof(SKdsNameRecord, uiHash) == 8);

inline constexpr i32 gc_iDSCRIPT_CACHE_SLOTS = 512;
// Arrays nest at most this deep below the root.
inline constexpr i32 gc_iKDS_MAX_DEPTH = 128;
// The texts of one tree (names and values, each with its terminator) come to at most this many bytes. The
// compiler holds its scripts to the same limit, so whatever it writes loads.
inline constexpr u64 gc_uiKDS_MAX_TEXT_BYTES = 256ull << 20;
// Room for the one-line message of a refused file.
inline constexpr u32 gc_uiKDS_ERROR_SIZE = 512;

class ClDScriptMgr2 {
 public:
  // Creates the empty cache (512 slots). Called once by the game's start-up.
  static void initialize();
  // The cached or newly loaded tree, or null when the script could not be read (nothing cached then).
  static ClDScriptData2* getScript(const char* pName, const char* pFolder);
  // Loads a script without caching it: "<data root>[Scripts\]<name>.kds"; the caller owns the tree.
  static ClDScriptData2* loadScript(const char* pName, bool bUseScriptsFolder);
  // Where the file of the script getScript(pName, pFolder) reads lives on disk (KvDescribeDataFileLocation), for a
  // line about what its loader refused in it. Answers pText.
  static const char* describeLocation(const char* pName, const char* pFolder, char* pText, u32 uiSize);
  // Destroys every cached tree, frees the cache and releases a file still held.
  static void terminate();

  static bool isInitialized();
  static i32 getCachedCount();

  // Builds a tree from a ".kds" image (read-only; the caller keeps it). A malformed image answers null and,
  // when pError is given, a one-line message naming pFileName and the fault.
  static ClDScriptData2* buildTree(const void* pImage, size_t uiSize, const char* pFileName,
                                   char* pError = nullptr, u32 uiErrorSize = 0);
};
