#include "Corvane/Graphics/ClAtlasMgr.h"

#include <cmath>
#include <cstring>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/Graphics/KvGraphicsFiles.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

ClSimpleHashTable ClAtlasMgr::mp_atlasTable;
u32 ClAtlasMgr::mp_uiLastAtlasKey = 0;
SAtlasFileInfo* ClAtlasMgr::mp_pLastAtlas = nullptr;

namespace {

constexpr i32 gc_iATLAS_VECTOR_CAPACITY = 4;

void forgetLastAtlas() {
  ClAtlasMgr::mp_uiLastAtlasKey = 0;
  ClAtlasMgr::mp_pLastAtlas = nullptr;
}

u32 wordAt(const u8* pData, u64 uiOffset) {
  u32 uiValue;
  std::memcpy(&uiValue, pData + uiOffset, 4);
  return uiValue;
}

const SAtlasFileHeader& headerOf(const u8* pData) { return *reinterpret_cast<const SAtlasFileHeader*>(pData); }

const SAtlasTexInfo* recordAt(const u8* pData, i32 iIndex) {
  return reinterpret_cast<const SAtlasTexInfo*>(
      pData + wordAt(pData, headerOf(pData).mp_uiEntryTableOffset + 4ull * static_cast<u32>(iIndex)));
}

// Texture names are built from the base name below the data root: it may name subfolders, never leave the root.
bool baseNameStaysInside(const char* pBase) {
  if (pBase[0] == '/' || pBase[0] == '\\' || std::strchr(pBase, ':') != nullptr) {
    return false;
  }
  for (const char* pPart = pBase; *pPart != '\0';) {
    const size_t uiLength = std::strcspn(pPart, "/\\");
    if (uiLength == 2 && pPart[0] == '.' && pPart[1] == '.') {
      return false;
    }
    pPart += uiLength;
    if (*pPart != '\0') {
      ++pPart;
    }
  }
  return true;
}

// The name of the first float of a record that is not a finite number, or one of 0 or more where it must be, or
// null. Texture coordinates and sizes are measured from a page's or a frame's top-left corner; anchors are pivots
// that may lie anywhere, outside the frame too.
const char* badFloatField(const SAtlasTexInfo& record) {
  struct SField {
    f32 fValue;
    const char* pName;
    bool bSigned = false;
  };
  const SField aFields[] = {{record.mp_fU0, "u0"},
                            {record.mp_fV0, "v0"},
                            {record.mp_fU1, "u1"},
                            {record.mp_fV1, "v1"},
                            {record.mp_fWidth, "width"},
                            {record.mp_fHeight, "height"},
                            {record.mp_fFrameWidth, "frame width"},
                            {record.mp_fFrameHeight, "frame height"},
                            {record.mp_fAnchorX, "anchor x", true},
                            {record.mp_fAnchorY, "anchor y", true}};
  for (const SField& field : aFields) {
    if (!std::isfinite(field.fValue) || (!field.bSigned && field.fValue < 0.0f)) {
      return field.pName;
    }
  }
  return nullptr;
}

}  // namespace

void ClAtlasMgr::initialize() {
  if (!mp_atlasTable.isAllocated()) {
    mp_atlasTable.initialize(gc_iATLAS_TABLE_SLOTS);
  }
}

bool ClAtlasMgr::checkAtlasImage(const u8* pData, u32 uiSize, char* pReason, u32 uiReasonSize) {
  if (pData == nullptr || uiSize < gc_uiATLAS_HEADER_SIZE + 1) {
    KvSNPrintf(pReason, uiReasonSize, "the file is %u bytes, shorter than its header and base name", uiSize);
    return false;
  }
  if ((reinterpret_cast<uintptr_t>(pData) & 3) != 0) {
    KvSNPrintf(pReason, uiReasonSize, "the image is not 4-byte aligned");
    return false;
  }
  const SAtlasFileHeader& header = headerOf(pData);
  if (std::memchr(pData + gc_uiATLAS_HEADER_SIZE, 0, uiSize - gc_uiATLAS_HEADER_SIZE) == nullptr) {
    KvSNPrintf(pReason, uiReasonSize, "the base name does not end inside the file");
    return false;
  }
  if (header.mp_iNumEntries < 0 || header.mp_iNumTextures < 0 || header.mp_iNumTextures > gc_iMAX_ATLAS_TEXTURES) {
    KvSNPrintf(pReason, uiReasonSize, "%d entries and %d textures (0 or more entries, 0 to %d textures)",
               header.mp_iNumEntries, header.mp_iNumTextures, gc_iMAX_ATLAS_TEXTURES);
    return false;
  }
  if (!baseNameStaysInside(reinterpret_cast<const char*>(pData + gc_uiATLAS_HEADER_SIZE))) {
    KvSNPrintf(pReason, uiReasonSize, "the base name leaves the data root (an absolute path, a drive or a \"..\" part)");
    return false;
  }
  const char* pBaseName = reinterpret_cast<const char*>(pData + gc_uiATLAS_HEADER_SIZE);
  const u64 uiNameEnd = gc_uiATLAS_HEADER_SIZE + std::strlen(pBaseName) + 1;
  if (header.mp_uiEntryTableOffset < uiNameEnd) {
    KvSNPrintf(pReason, uiReasonSize, "the entry table (at %u) lies inside the header and base name (%u bytes)",
               header.mp_uiEntryTableOffset, static_cast<u32>(uiNameEnd));
    return false;
  }
  const u64 uiTableEnd = header.mp_uiEntryTableOffset + 4ull * static_cast<u32>(header.mp_iNumEntries);
  if ((header.mp_uiEntryTableOffset & 3) != 0 || uiTableEnd > uiSize) {
    KvSNPrintf(pReason, uiReasonSize, "the entry table (%d entries at %u) does not lie inside the file",
               header.mp_iNumEntries, header.mp_uiEntryTableOffset);
    return false;
  }
  for (i32 i = 0; i < header.mp_iNumEntries; ++i) {
    const u32 uiOffset = wordAt(pData, header.mp_uiEntryTableOffset + 4ull * static_cast<u32>(i));
    if ((uiOffset & 3) != 0 || static_cast<u64>(uiOffset) + gc_uiATLAS_RECORD_SIZE > uiSize) {
      KvSNPrintf(pReason, uiReasonSize, "entry %d (at %u) does not lie inside the file", i, uiOffset);
      return false;
    }
    const SAtlasTexInfo* pRecord = recordAt(pData, i);
    if (pRecord->mp_uiTextureIndex >= static_cast<u32>(header.mp_iNumTextures)) {
      KvSNPrintf(pReason, uiReasonSize, "entry %d is on texture %u, which the atlas does not have", i,
                 pRecord->mp_uiTextureIndex);
      return false;
    }
    const char* pField = badFloatField(*pRecord);
    if (pField != nullptr) {
      KvSNPrintf(pReason, uiReasonSize, "entry %d has a %s that is not a finite number of 0 or more", i, pField);
      return false;
    }
    if (i > 0 && static_cast<i32>(recordAt(pData, i - 1)->mp_uiNameHash) < static_cast<i32>(pRecord->mp_uiNameHash)) {
      KvSNPrintf(pReason, uiReasonSize, "entries %d and %d are not in descending order of their signed name hashes",
                 i - 1, i);
      return false;
    }
  }
  return true;
}

void ClAtlasMgr::textureName(const SAtlasFileInfo* pAtlasFileInfo, i32 iIndex, char* pOut) {
  const char* pBase = reinterpret_cast<const char*>(pAtlasFileInfo->mp_pData + gc_uiATLAS_HEADER_SIZE);
  if (pAtlasFileInfo->mp_szTexturePrefix[0] != '\0') {
    KvSNPrintf(pOut, KV_MAX_PATH_LEN, "%s%s_%d", pAtlasFileInfo->mp_szTexturePrefix, pBase, iIndex);
  } else {
    KvSNPrintf(pOut, KV_MAX_PATH_LEN, "%s_%d", pBase, iIndex);
  }
}

void ClAtlasMgr::actualLoadAtlasSync(const char* pFileName, const char* pTexturePrefix, const char* pKeyName) {
  KV_ASSERT_MSG(pFileName != nullptr, "pFileName");
  initialize();
  const u32 uiKeyHash = KvStrHash(pKeyName != nullptr ? pKeyName : pFileName);
  if (mp_atlasTable.find(uiKeyHash) != 0) {
    return;
  }
  void* pMemory = KvAlignedAlloc(sizeof(SAtlasFileInfo), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pNew");
  SAtlasFileInfo* pNew = new (pMemory) SAtlasFileInfo();
  pNew->mp_daEntries.initialize(gc_iATLAS_VECTOR_CAPACITY);
  pNew->mp_daTextures.initialize(gc_iATLAS_VECTOR_CAPACITY);
  pNew->mp_szTexturePrefix[0] = '\0';
  if (pTexturePrefix != nullptr) {
    KvStrLCpy(pNew->mp_szTexturePrefix, pTexturePrefix, sizeof(pNew->mp_szTexturePrefix));
  }

  const char* pPath = pNew->mp_szFilePath;
  KvBuildGraphicsPath(pNew->mp_szFilePath, KvGetBaseDataPath(), pFileName, ".atf");
  u32 uiSize = 0;
  i32 iCode = 0;
  char szReason[gc_uiMAX_MESSAGE_LEN + 1] = "";
  const bool bRead = KvReadGraphicsFile(pPath, &pNew->mp_pFileRef, &uiSize, &iCode) == E_GRAPHICS_READ_OK;
  if (!bRead) {
    KvSNPrintf(szReason, sizeof(szReason), "the file could not be read (%s)", ClMagFileIO::getLastProblem());
  }
  const u8* pData = bRead ? pNew->mp_pFileRef->mp_pDestinationBuffer : nullptr;
  if (!bRead || !checkAtlasImage(pData, uiSize, szReason, sizeof(szReason))) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1] = "";
    if (bRead) {
      ClMagFileIO::describeLocation(pPath, szWhere, sizeof(szWhere));
    }
    KvPrintProblem("Atlas file [%s]%s%s: %s", pPath, bRead ? " in " : "", szWhere, szReason);
    freeAtlas(pNew);
    KV_DATA_FATALF("ClAtlasMgr::actualLoadAtlasSync() -> Could not open Atlas file [%s]! (%s)", pFileName,
                   KvGetLastProblem());
  }
  pNew->mp_pData = pData;
  pNew->mp_uiDataSize = uiSize;
  // The word at 8 may hold anything; it is resolved only when it points inside the file, and never read.
  const u32 uiExtraOffset = headerOf(pData).mp_uiExtraOffset;
  pNew->mp_pExtra = uiExtraOffset < uiSize ? pData + uiExtraOffset : nullptr;
  const i32 iNumEntries = headerOf(pData).mp_iNumEntries;
  for (i32 i = 0; i < iNumEntries; ++i) {
    pNew->mp_daEntries.append(SAtlasEntry{recordAt(pData, i), nullptr});
  }
  indexEntries(pNew);
  attemptToLoadAtlasTexturesSync(pNew);
  forgetLastAtlas();
  mp_atlasTable.insertPtr(uiKeyHash, pNew);
}

void ClAtlasMgr::attemptToLoadAtlasTexturesSync(SAtlasFileInfo* pAtlasFileInfo) {
  KV_ASSERT_MSG(pAtlasFileInfo != nullptr, "pAtlasFileInfo");
  KV_ASSERT_MSG(pAtlasFileInfo->mp_pData != nullptr, "pAtlasFileInfo->mp_pData");
  const i32 iNumTextures = headerOf(pAtlasFileInfo->mp_pData).mp_iNumTextures;
  for (i32 i = 0; i < iNumTextures; ++i) {
    char szName[KV_MAX_PATH_LEN];
    textureName(pAtlasFileInfo, i, szName);
    ClTexture* pTexture = ClTextureMgr::loadTexture(szName, 0);
    if (pTexture == nullptr) {
      char szWhy[gc_uiMAX_MESSAGE_LEN + 1];
      ClTextureMgr::describeNotLoaded(szName, false, szWhy, sizeof(szWhy));
      freeAtlas(pAtlasFileInfo);
      KV_DATA_FATALF("ClAtlasMgr::attemptToLoadAtlasTexturesSync() -> Could NOT load texture [%s]; texture indexing "
                     "will be off! (%s)",
                     szName, szWhy);
    }
    pAtlasFileInfo->mp_daTextures.append(pTexture);
  }
  for (i32 loop = 0; loop < pAtlasFileInfo->mp_daEntries.getCount(); ++loop) {
    SAtlasEntry& entry = pAtlasFileInfo->mp_daEntries[loop];
    KV_ASSERT_MSG(static_cast<i32>(entry.mp_pAtlasTexInfo->mp_uiTextureIndex) < pAtlasFileInfo->mp_daTextures.getCount(),
                  "pAtlasFileInfo->mp_daEntries[loop].mp_pAtlasTexInfo->mp_uiTextureIndex < "
                  "pAtlasFileInfo->mp_daTextures.getCount()");
    entry.mp_pTexture = pAtlasFileInfo->mp_daTextures[static_cast<i32>(entry.mp_pAtlasTexInfo->mp_uiTextureIndex)];
  }
}

SAtlasFileInfo* ClAtlasMgr::findAtlas(u32 uiAtlasKeyHash) {
  if (mp_pLastAtlas != nullptr && uiAtlasKeyHash == mp_uiLastAtlasKey) {
    return mp_pLastAtlas;
  }
  SAtlasFileInfo* pAtlas = mp_atlasTable.isAllocated() ? mp_atlasTable.findPtr<SAtlasFileInfo>(uiAtlasKeyHash) : nullptr;
  if (pAtlas != nullptr) {
    mp_uiLastAtlasKey = uiAtlasKeyHash;
    mp_pLastAtlas = pAtlas;
  }
  return pAtlas;
}

namespace {

// The key name hashed last and its hash: callers name the same atlas over and over, and comparing a short name
// costs less than hashing it. Empty when nothing is kept (names too long are not kept).
char g_szLastKeyName[64] = "";
u32 g_uiLastKeyNameHash = 0;

u32 keyNameHash(const char* pAtlasKeyName) {
  if (g_szLastKeyName[0] != '\0' && std::strcmp(pAtlasKeyName, g_szLastKeyName) == 0) {
    return g_uiLastKeyNameHash;
  }
  const u32 uiHash = KvStrHash(pAtlasKeyName);
  if (std::strlen(pAtlasKeyName) < sizeof(g_szLastKeyName)) {
    KvStrLCpy(g_szLastKeyName, pAtlasKeyName, sizeof(g_szLastKeyName));
    g_uiLastKeyNameHash = uiHash;
  }
  return uiHash;
}

}  // namespace

SAtlasEntry* ClAtlasMgr::getAtlasEntry(const char* pAtlasKeyName, u32 uiImageNameHash) {
  SAtlasFileInfo* pAtlas = findAtlas(keyNameHash(pAtlasKeyName));
  if (pAtlas == nullptr) {
    KV_FATALF("Atlas file not found [%s]\n", pAtlasKeyName);
    return nullptr;
  }
  return entryIn(pAtlas, uiImageNameHash);
}

SAtlasFileInfo* ClAtlasMgr::findAtlasOrFatal(u32 uiAtlasKeyHash) {
  SAtlasFileInfo* pAtlas = findAtlas(uiAtlasKeyHash);
  if (pAtlas == nullptr) {
    KV_FATAL("Atlas file not found");
  }
  return pAtlas;
}

namespace {

// The entries' name hashes in table order, as signed values; null when the block cannot be allocated.
i32* entryHashes(const SAtlasFileInfo* pAtlasFileInfo) {
  const i32 iCount = pAtlasFileInfo->mp_daEntries.getCount();
  i32* piHashes = static_cast<i32*>(KvAlignedAlloc(sizeof(i32) * static_cast<size_t>(iCount > 0 ? iCount : 1), 16));
  for (i32 i = 0; piHashes != nullptr && i < iCount; ++i) {
    piHashes[i] = static_cast<i32>(pAtlasFileInfo->mp_daEntries[i].mp_pAtlasTexInfo->mp_uiNameHash);
  }
  return piHashes;
}

}  // namespace

void ClAtlasMgr::indexEntries(SAtlasFileInfo* pAtlasFileInfo) {
  KV_ASSERT_MSG(pAtlasFileInfo != nullptr, "pAtlasFileInfo");
  i32* piHashes = entryHashes(pAtlasFileInfo);
  KV_ASSERT_MSG(piHashes != nullptr, "piHashes");
  const bool bBuilt =
      pAtlasFileInfo->mp_entryIndex.build(piHashes, pAtlasFileInfo->mp_daEntries.getCount(), E_SORTED_HASH_DESCENDING);
  KvAlignedFree(piHashes);
  KV_ASSERT_MSG(bBuilt, "pAtlasFileInfo->mp_entryIndex");
}

i32 ClAtlasMgr::findEntryIndex(const SAtlasFileInfo* pAtlasFileInfo, u32 uiImageNameHash) {
  KV_ASSERT_MSG(pAtlasFileInfo != nullptr, "pAtlasFileInfo");
  KV_ASSERT_MSG(pAtlasFileInfo->mp_pData != nullptr, "pAtlasFileInfo->mp_pData");
  return pAtlasFileInfo->mp_entryIndex.find(static_cast<i32>(uiImageNameHash));
}

i32 ClAtlasMgr::searchEntryIndex(const SAtlasFileInfo* pAtlasFileInfo, u32 uiImageNameHash) {
  KV_ASSERT_MSG(pAtlasFileInfo != nullptr, "pAtlasFileInfo");
  i32* piHashes = entryHashes(pAtlasFileInfo);
  KV_ASSERT_MSG(piHashes != nullptr, "piHashes");
  const i32 iIndex = KvSortedHashSearch(piHashes, pAtlasFileInfo->mp_daEntries.getCount(),
                                        static_cast<i32>(uiImageNameHash), E_SORTED_HASH_DESCENDING);
  KvAlignedFree(piHashes);
  return iIndex;
}

void ClAtlasMgr::freeAtlas(SAtlasFileInfo* pAtlasFileInfo) {
  KV_ASSERT_MSG(pAtlasFileInfo != nullptr, "pAtlasFileInfo");
  if (pAtlasFileInfo->mp_pData != nullptr) {
    for (i32 i = 0; i < headerOf(pAtlasFileInfo->mp_pData).mp_iNumTextures; ++i) {
      char szName[KV_MAX_PATH_LEN];
      textureName(pAtlasFileInfo, i, szName);
      ClTextureMgr::unloadTexture(szName);
    }
  }
  pAtlasFileInfo->mp_daEntries.terminate();
  pAtlasFileInfo->mp_daTextures.terminate();
  pAtlasFileInfo->mp_entryIndex.terminate();
  if (pAtlasFileInfo->mp_pFileRef != nullptr) {
    ClMagFileIO::close(pAtlasFileInfo->mp_pFileRef);
  }
  pAtlasFileInfo->~SAtlasFileInfo();
  KvAlignedFree(pAtlasFileInfo);
}

void ClAtlasMgr::terminate() {
  if (!mp_atlasTable.isAllocated()) return;
  forgetLastAtlas();
  mp_atlasTable.forEachValue([](uintptr_t uiValue, i32) { freeAtlas(reinterpret_cast<SAtlasFileInfo*>(uiValue)); });
  mp_atlasTable.terminate();
}
