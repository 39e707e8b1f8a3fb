// Atlases: sets of texture pages with a table of named rectangles on them. An atlas file (".atf") is read whole
// and kept; its textures are loaded through the texture manager; a look-up by an image's name hash answers where
// the image lies (SAtlasEntry: the record in the file and its texture).
//
// Atlas file (".atf"), little-endian, every offset from the start of the file:
//   offset  type     field
//   0       u32      offset of the entry table (a multiple of 4)
//   4       u32      not read (0)
//   8       u32      free: any value (0 serves); resolved to a pointer when inside the file, never read
//   12      u32      not read (0)
//   16      i32      entry count N (0 or more)
//   20      u32      not read (0)
//   24      i32      texture count T (0 or more)
//   28      char[]   base name of the texture pages, zero-terminated; below the data root (no "..", no
//                    absolute path)
//   table   u32[N]   at or past the end of the base name (an all-zero file is thus refused, not taken for an
//                    empty atlas): offset of each entry record (a multiple of 4), ordered by the records' name hashes in
//                    descending order compared as signed 32-bit integers (equal hashes may follow each other;
//                    a look-up then answers the one the binary search meets first)
//   record  48 bytes SAtlasTexInfo; its ten floats finite and 0 or more
// The textures are "<prefix><base>_<i>" (or "<base>_<i>" without a prefix), i = 0 .. T-1, found with the texture
// manager's extension probing.
//
// Every offset, count and string is checked against the file's size, the records' texture indices against T and
// the table's order, before anything is trusted; a file that fails is reported with the reason and refused with the
// fatal "ClAtlasMgr::actualLoadAtlasSync() -> Could not open Atlas file [%s]!". The file's bytes stay as they are
// (no offset is turned into a pointer in place): the entries point at the records through a side table.
//
// Main thread (loading, look-ups); the render worker reads the records and textures queued draws point to. Records
// and entries stay valid until terminate.
#pragma once

#include <cstddef>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/ADT/ClSortedHashIndex.h"
#include "Corvane/System/KvTypes.h"

class ClTexture;
struct SMagRef;

inline constexpr i32 gc_iATLAS_TABLE_SLOTS = 1024;
inline constexpr u32 gc_uiATLAS_HEADER_SIZE = 28;
inline constexpr u32 gc_uiATLAS_RECORD_SIZE = 48;
inline constexpr i32 gc_iMAX_ATLAS_TEXTURES = 256;

struct SAtlasFileHeader {
  u32 mp_uiEntryTableOffset;
  u32 mp_uiUnused4;
  u32 mp_uiExtraOffset;
  u32 mp_uiUnused12;
  i32 mp_iNumEntries;
  u32 mp_uiUnused20;
  i32 mp_iNumTextures;
};
static_assert(sizeof(SAtlasFileHeader) == gc_uiATLAS_HEADER_SIZE);
static_assert(offsetof(SAtlasFileHeader, mp_iNumEntries) == 16);
static_assert(offsetof(SAtlasFileHeader, mp_iNumTextures) == 24);

// One image of an atlas, as the file stores it. Sizes and anchors in texels.
struct SAtlasTexInfo {
  u32 mp_uiNameHash;
  u32 mp_uiTextureIndex;
  f32 mp_fU0;  // texture coordinates of the first corner
  f32 mp_fV0;
  f32 mp_fU1;  // and of the opposite one
  f32 mp_fV1;
  f32 mp_fWidth;  // of the image on the page
  f32 mp_fHeight;
  f32 mp_fFrameWidth;  // of the untrimmed frame the image was cut from
  f32 mp_fFrameHeight;
  f32 mp_fAnchorX;  // the image's offset in that frame
  f32 mp_fAnchorY;
};
static_assert(sizeof(SAtlasTexInfo) == gc_uiATLAS_RECORD_SIZE);
static_assert(offsetof(SAtlasTexInfo, mp_fU0) == 8);
static_assert(offsetof(SAtlasTexInfo, mp_fWidth) == 24);
static_assert(offsetof(SAtlasTexInfo, mp_fAnchorX) == 40);

struct SAtlasEntry {
  const SAtlasTexInfo* mp_pAtlasTexInfo;
  ClTexture* mp_pTexture;
};

struct SAtlasFileInfo {
  char mp_szTexturePrefix[KV_MAX_PATH_LEN];
  char mp_szFilePath[KV_MAX_PATH_LEN];  // the file as read (data root, name, ".atf"), for the messages that name it
  SMagRef* mp_pFileRef;
  const u8* mp_pData;
  u32 mp_uiDataSize;
  const u8* mp_pExtra;  // the offset at 8, resolved (null when it points outside the file)
  // The entries by name hash (indexEntries), answering as the signed-descending search over the table does.
  ClSortedHashIndex mp_entryIndex;
  ClDynamicVector<SAtlasEntry> mp_daEntries;
  ClDynamicVector<ClTexture*> mp_daTextures;
};

class ClAtlasMgr {
 public:
  // Makes the table (once).
  static void initialize();
  // Loads the atlas "<data root><file>.atf" unless one is registered under its key (the key name, or else the file
  // name). Asserts "pFileName". A file that cannot be read or is refused, and a texture page that cannot be found
  // ("ClAtlasMgr::attemptToLoadAtlasTexturesSync() -> Could NOT load texture [%s]; texture indexing will be off!"),
  // are fatal.
  static void actualLoadAtlasSync(const char* pFileName, const char* pTexturePrefix, const char* pKeyName);
  // The entry of the image in the atlas, or null for an image it does not hold; an unknown atlas is fatal "Atlas
  // file not found [%s]\n" (by key name) or "Atlas file not found" (by key hash).
  static SAtlasEntry* getAtlasEntry(const char* pAtlasKeyName, u32 uiImageNameHash);
  static SAtlasEntry* getAtlasEntryByHash(u32 uiAtlasKeyHash, u32 uiImageNameHash) {
    SAtlasFileInfo* pAtlas = mp_pLastAtlas != nullptr && uiAtlasKeyHash == mp_uiLastAtlasKey
                                 ? mp_pLastAtlas
                                 : findAtlasOrFatal(uiAtlasKeyHash);
    return pAtlas != nullptr ? entryIn(pAtlas, uiImageNameHash) : nullptr;
  }
  // The loaded atlas, or null.
  static SAtlasFileInfo* findAtlas(u32 uiAtlasKeyHash);
  // The entry's index, or -1: the index the signed-descending binary search over the entry table answers (for a
  // hash held by several entries, the same one of them), found through the atlas's hash index.
  static i32 findEntryIndex(const SAtlasFileInfo* pAtlasFileInfo, u32 uiImageNameHash);
  // The binary search itself over the entries' records, without the index.
  static i32 searchEntryIndex(const SAtlasFileInfo* pAtlasFileInfo, u32 uiImageNameHash);
  // Builds the hash index of the atlas's entries (done by loading; atlases put together by hand call it once their
  // entries are in place).
  static void indexEntries(SAtlasFileInfo* pAtlasFileInfo);
  // Unloads every atlas's textures, frees it and the table.
  static void terminate();

  // Checks a file image against the layout above; false with the reason.
  static bool checkAtlasImage(const u8* pData, u32 uiSize, char* pReason, u32 uiReasonSize);

  static ClSimpleHashTable mp_atlasTable;
  // The atlas found last (look-ups come in long runs on one atlas); cleared whenever the table changes.
  static u32 mp_uiLastAtlasKey;
  static SAtlasFileInfo* mp_pLastAtlas;

 private:
  // findAtlas; null after the fatal "Atlas file not found".
  static SAtlasFileInfo* findAtlasOrFatal(u32 uiAtlasKeyHash);
  // The entry of a loaded atlas through its index, or null.
  static SAtlasEntry* entryIn(SAtlasFileInfo* pAtlas, u32 uiImageNameHash) {
    const i32 iIndex = pAtlas->mp_entryIndex.find(static_cast<i32>(uiImageNameHash));
    return iIndex >= 0 ? &pAtlas->mp_daEntries[iIndex] : nullptr;
  }
  static void attemptToLoadAtlasTexturesSync(SAtlasFileInfo* pAtlasFileInfo);
  static void freeAtlas(SAtlasFileInfo* pAtlasFileInfo);
  static void textureName(const SAtlasFileInfo* pAtlasFileInfo, i32 iIndex, char* pOut);
};
