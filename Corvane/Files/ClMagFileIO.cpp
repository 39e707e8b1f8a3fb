// Archives: the keys, the tables of contents read and checked into their slots, the data file loaded whole or
// left on disk (its file kept open between references), the look-up of a path and the unloading.
#include "Corvane/Files/ClMagFileIO.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Files/ClMagFileIOInternal.h"
#include "Corvane/System/KvDebug.h"

// The archive and reference pools are built with the engine's other fixed globals (KvEngineGlobals_Win32.cpp).

using namespace KvMag;

namespace {

// Keys registered by archive name hash; copied into an archive's slot each time its table of contents loads.
struct SMagArchiveKey {
  u32 uiNameHash;
  u8 aucKey[gc_iCRYPTO_KEY_SIZE];
};
SMagArchiveKey g_aArchiveKeys[gc_iMAX_MAG_ARCHIVES];
i32 g_iArchiveKeyCount = 0;

void slashesToBackslashes(char* pPath) {
  for (char* p = pPath; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
}

// Data root + folder + base name + extension, with "\\" separators.
void buildArchivePath(char* pPath, const char* pFolder, const char* pBaseName, const char* pExtension) {
  KvStrLCpy(pPath, KvGetBaseDataPath(), KV_MAX_PATH_LEN);
  KvStrLCat(pPath, pFolder, KV_MAX_PATH_LEN);
  KvStrLCat(pPath, pBaseName, KV_MAX_PATH_LEN);
  KvStrLCat(pPath, pExtension, KV_MAX_PATH_LEN);
  slashesToBackslashes(pPath);
}

u32 readU32(const u8* pImage, u64 uiOffset) {
  u32 uiValue;
  std::memcpy(&uiValue, pImage + uiOffset, sizeof(uiValue));
  return uiValue;
}

// No zlib stream inflates to more than this many bytes per byte of stream (deflate's best case: a 258-byte match
// in two bits).
constexpr u64 gc_uiMAG_MAX_INFLATE_RATIO = 1032;

// Why an entry's sizes do not agree with its flags, or null. The final size is what a read allocates, so it must
// be what the stored bytes can give: a zlib stream inflates to at most 1032 times its size, and a ciphertext
// alone decrypts to its own length (the entry may end in part of a block of zeros after it, never more). With
// compression the ciphertext holds the whole stream.
const char* entrySizesProblem(const ClMagDataInfo& info) {
  const u64 uiFinal = info.mp_uiFinalSize;
  if (info.mp_uiCompressed &&
      (info.mp_uiCompressedSize == 0 || info.mp_uiCompressedSize > uiFinal ||
       uiFinal > gc_uiMAG_MAX_INFLATE_RATIO * info.mp_uiCompressedSize)) {
    return "a compressed entry's size is out of range for its stream";
  }
  if (info.mp_uiEncrypted) {
    const u64 uiEncrypted = info.mp_uiEncryptedSize;
    if (uiEncrypted == 0 || uiEncrypted % gc_iCRYPTO_BLOCK_SIZE != 0 || uiEncrypted > uiFinal ||
        (info.mp_uiCompressed ? uiEncrypted < info.mp_uiCompressedSize
                              : uiFinal >= uiEncrypted + gc_iCRYPTO_BLOCK_SIZE)) {
      return "an encrypted entry's size is out of range for its ciphertext";
    }
  }
  return nullptr;
}

// A problem that names an entry of a table of contents.
char g_szTOCProblem[gc_uiMAX_MESSAGE_LEN + 1] = "";

// Why two entries' stored bytes overlap in the data file (ClMagFileIO.h says which sharing is allowed), or null. An
// encrypted entry's bytes are never shared: a ciphertext decrypts only under its own name's initialisation vector.
const char* overlapProblem(const i32* piHashes, const ClMagDataInfo* pInfos, i32 iCount) {
  i32* piByOffset = static_cast<i32*>(KvAlignedAlloc(sizeof(i32) * static_cast<size_t>(iCount), 16));
  if (piByOffset == nullptr && iCount > 0) {
    return "no memory for its entries";
  }
  i32 iPlaced = 0;
  for (i32 i = 0; i < iCount; ++i) {
    if (pInfos[i].getStoredSize() != 0) {
      piByOffset[iPlaced++] = i;
    }
  }
  // By where they start, then by size, so that records of the same bytes lie side by side.
  const auto key = [pInfos](i32 i) { return std::tuple(pInfos[i].mp_uiDataOffset, pInfos[i].getStoredSize(), i); };
  std::sort(piByOffset, piByOffset + iPlaced, [&key](i32 a, i32 b) { return key(a) < key(b); });
  // So sorted, when any two ranges overlap other than as the same range exactly, two neighbours do.
  const char* pProblem = nullptr;
  for (i32 i = 1; i < iPlaced && pProblem == nullptr; ++i) {
    const ClMagDataInfo& before = pInfos[piByOffset[i - 1]];
    const ClMagDataInfo& after = pInfos[piByOffset[i]];
    const bool bSame =
        before.mp_uiDataOffset == after.mp_uiDataOffset && before.getStoredSize() == after.getStoredSize();
    const bool bShared = bSame && (before.mp_uiEncrypted || after.mp_uiEncrypted);
    const bool bOverlap = static_cast<u64>(before.mp_uiDataOffset) + before.getStoredSize() > after.mp_uiDataOffset;
    if (bSame ? bShared : bOverlap) {
      std::snprintf(g_szTOCProblem, sizeof(g_szTOCProblem),
                    "entries 0x%08X (%u bytes at offset %u) and 0x%08X (%u bytes at offset %u) overlap in the data "
                    "file%s",
                    static_cast<u32>(piHashes[piByOffset[i - 1]]), before.getStoredSize(), before.mp_uiDataOffset,
                    static_cast<u32>(piHashes[piByOffset[i]]), after.getStoredSize(), after.mp_uiDataOffset,
                    bShared ? ", and an encrypted entry's bytes cannot be shared" : "");
      pProblem = g_szTOCProblem;
    }
  }
  KvAlignedFree(piByOffset);
  return pProblem;
}

// Checks every offset, count and size of a table of contents image before anything trusts it, and copies the
// records' name hashes and data-infos out of it (the image may hold them at any offset). A negative entry count is
// no count: the table is refused rather than read as empty. Answers null when sound, else what is wrong; the side
// tables are then not made.
const char* readTOCImage(ClMagTOC* pTOC) {
  const u64 uiSize = pTOC->mp_uiTOCSize;
  const u8* pImage = pTOC->mp_pTOC;
  if (uiSize < sizeof(SMagTOCHeader)) {
    return "the file is shorter than its 12-byte header";
  }
  SMagTOCHeader header;
  std::memcpy(&header, pImage, sizeof(header));
  // The record table lies after the header: a zeroed table would otherwise read as an empty archive.
  if (header.mp_uiRecordTableOffset < sizeof(SMagTOCHeader)) {
    return "the record table overlaps the header";
  }
  if (header.mp_iNumEntries < 0) {
    std::snprintf(g_szTOCProblem, sizeof(g_szTOCProblem), "its entry count (0x%08X) is negative",
                  static_cast<u32>(header.mp_iNumEntries));
    return g_szTOCProblem;
  }
  const i32 iCount = header.mp_iNumEntries;
  if (!fitsIn(header.mp_uiRecordTableOffset, 4ull * static_cast<u64>(iCount), uiSize)) {
    return "the record table lies outside the file";
  }
  pTOC->mp_uiRecordTableOffset = header.mp_uiRecordTableOffset;
  i32* piHashes = static_cast<i32*>(KvAlignedAlloc(sizeof(i32) * static_cast<size_t>(iCount), 16));
  ClMagDataInfo* pInfos =
      static_cast<ClMagDataInfo*>(KvAlignedAlloc(sizeof(ClMagDataInfo) * static_cast<size_t>(iCount), 16));
  const char* pProblem = nullptr;
  if (piHashes == nullptr || pInfos == nullptr) {
    pProblem = "no memory for its entries";
  }
  for (i32 i = 0; i < iCount && pProblem == nullptr; ++i) {
    const u64 uiRecordOffset = readU32(pImage, header.mp_uiRecordTableOffset + 4ull * static_cast<u64>(i));
    if (!fitsIn(uiRecordOffset, sizeof(SMagTOCRecord), uiSize)) {
      pProblem = "a record lies outside the file";
      break;
    }
    SMagTOCRecord record;
    std::memcpy(&record, pImage + uiRecordOffset, sizeof(record));
    if (i > 0 && piHashes[i - 1] == record.mp_iNameHash) {
      std::snprintf(g_szTOCProblem, sizeof(g_szTOCProblem), "entries %d and %d have the same name hash 0x%08X", i - 1,
                    i, static_cast<u32>(record.mp_iNameHash));
      pProblem = g_szTOCProblem;
      break;
    }
    if (i > 0 && piHashes[i - 1] > record.mp_iNameHash) {
      pProblem = "the records are not sorted by signed name hash";
      break;
    }
    if (!fitsIn(record.mp_uiDataInfoOffset, sizeof(ClMagDataInfo), uiSize)) {
      pProblem = "a data-info lies outside the file";
      break;
    }
    ClMagDataInfo info;
    std::memcpy(&info, pImage + record.mp_uiDataInfoOffset, sizeof(info));
    if (const char* pSizes = entrySizesProblem(info)) {
      std::snprintf(g_szTOCProblem, sizeof(g_szTOCProblem), "entry 0x%08X: %s", static_cast<u32>(record.mp_iNameHash),
                    pSizes);
      pProblem = g_szTOCProblem;
      break;
    }
    piHashes[i] = record.mp_iNameHash;
    pInfos[i] = info;
  }
  if (pProblem == nullptr) {
    pProblem = overlapProblem(piHashes, pInfos, iCount);
  }
  if (pProblem == nullptr && !pTOC->mp_nameIndex.build(piHashes, iCount, E_SORTED_HASH_ASCENDING)) {
    pProblem = "no memory for its entries";
  }
  if (pProblem != nullptr) {
    KvAlignedFree(piHashes);
    KvAlignedFree(pInfos);
    return pProblem;
  }
  pTOC->mp_iNumEntries = iCount;
  pTOC->mp_piNameHashes = piHashes;
  pTOC->mp_pInfos = pInfos;
  return nullptr;
}

// Why the stored bytes of the table's entries do not all lie inside its data file (the data file or the table may
// be the damaged one, so both are named), or null. A data file that does not open is not measured: opening an entry
// says so.
const char* dataFileProblem(const ClMagTOC* pTOC) {
  u64 uiDataSize = 0;
  Win32FileData* pFile = nullptr;
  if (openFile(pTOC->mp_szDataFilePath, &uiDataSize, &pFile) != E_FILE_OK) {
    return nullptr;
  }
  ClFileIO::close(pFile);
  for (i32 i = 0; i < pTOC->mp_iNumEntries; ++i) {
    const ClMagDataInfo& info = pTOC->mp_pInfos[i];
    if (!fitsIn(info.mp_uiDataOffset, info.getStoredSize(), uiDataSize)) {
      std::snprintf(g_szTOCProblem, sizeof(g_szTOCProblem),
                    "Mag data file [%s] does not hold what its table [%s] says, and the archive was not loaded: "
                    "entry 0x%08X (%u bytes at offset %u) lies past its end (%llu bytes)",
                    pTOC->mp_szDataFilePath, pTOC->mp_szTOCFilePath, static_cast<u32>(pTOC->mp_piNameHashes[i]),
                    info.getStoredSize(), info.mp_uiDataOffset, static_cast<unsigned long long>(uiDataSize));
      return g_szTOCProblem;
    }
  }
  return nullptr;
}

void assertNoOpenReference(const ClMagTOC* pTOC) {
  for (i32 i = 0; i < g_MagRefPool.getCount(); ++i) {
    const SMagRef* pRef = g_MagRefPool.get(i);
    KV_ASSERT_MSG(pRef->mp_pOwningMagTOC != pTOC, "Mag archive unloaded while a reference into it is open!");
  }
}

void freeTOCImage(ClMagTOC* pSlot) {
  KvAlignedFree(pSlot->mp_pTOC);
  pSlot->mp_pTOC = nullptr;
  KvAlignedFree(pSlot->mp_piNameHashes);
  pSlot->mp_piNameHashes = nullptr;
  KvAlignedFree(pSlot->mp_pInfos);
  pSlot->mp_pInfos = nullptr;
  pSlot->mp_nameIndex.terminate();
  pSlot->mp_uiTOCSize = 0;
  pSlot->mp_iNumEntries = 0;
}

void releaseSlotWhenEmpty(ClMagTOC* pSlot) {
  if (pSlot->mp_bTOCLoaded || pSlot->mp_bDataLoaded) {
    return;
  }
  closeIdleDataFile(pSlot);
  // A load stopped half-way may leave an image without its flag.
  freeTOCImage(pSlot);
  KvAlignedFree(pSlot->mp_pData);
  pSlot->mp_pData = nullptr;
  pSlot->mp_unloadTOCCallbacks.terminate();
  pSlot->mp_unloadDataCallbacks.terminate();
  g_MagTOCPool.free(pSlot);
}

void runUnloadCallbacks(ClDynamicVector<SMagUnloadCallback>& callbacks) {
  for (i32 i = 0; i < callbacks.getCount(); ++i) {
    const SMagUnloadCallback& callback = callbacks[i];
    if (callback.mp_pfnCallback != nullptr) {
      callback.mp_pfnCallback(callback.mp_pArgument);
    }
  }
  callbacks.clear();
}

// Where a path was looked for: "not in the archive[s] [<table file>], ..." or "in no archive (none is loaded)".
void describeLoadedTables(char* pText, u32 uiSize) {
  i32 iLoaded = 0;
  for (i32 i = 0; i < g_MagTOCPool.getCount(); ++i) {
    iLoaded += g_MagTOCPool.get(i)->mp_bTOCLoaded ? 1 : 0;
  }
  if (iLoaded == 0) {
    KvSNPrintf(pText, uiSize, "in no archive (none is loaded)");
    return;
  }
  u32 uiUsed =
      static_cast<u32>(KvSNPrintf(pText, uiSize, "%s", iLoaded == 1 ? "not in the archive" : "not in the archives"));
  const char* pSeparator = " ";
  for (i32 i = 0; i < g_MagTOCPool.getCount() && uiUsed + 1 < uiSize; ++i) {
    const ClMagTOC* pTOC = g_MagTOCPool.get(i);
    if (pTOC->mp_bTOCLoaded) {
      uiUsed += static_cast<u32>(
          KvSNPrintf(pText + uiUsed, uiSize - uiUsed, "%s[%s]", pSeparator, pTOC->mp_szTOCFilePath));
      pSeparator = ", ";
    }
  }
}

}  // namespace

namespace KvMag {

char g_szLastProblem[gc_uiMAX_MESSAGE_LEN + 1] = "";

void reportProblem(const char* pFormat, ...) {
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(g_szLastProblem, sizeof(g_szLastProblem), pFormat, args);
  va_end(args);
  KvPrintProblem("%s", g_szLastProblem);
}

void noteProblem(const char* pFormat, ...) {
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(g_szLastProblem, sizeof(g_szLastProblem), pFormat, args);
  va_end(args);
}

void describeOpenFailure(i32 iCode, char* pText, u32 uiSize) {
  if (iCode == E_FILE_EMPTY) {
    KvSNPrintf(pText, uiSize, "it is empty");
  } else if (iCode != E_FILE_CANNOT_OPEN) {
    KvSNPrintf(pText, uiSize, "code %d", iCode);
  } else {
    char szReason[256];
    ClFileIO::describeOpenError(ClFileIO::getLastOpenError(), szReason, sizeof(szReason));
    KvSNPrintf(pText, uiSize, "it %s", szReason);
  }
}

bool isOnDisk(const char* pPath) {
  u64 uiSize = 0;
  Win32FileData* pFile = nullptr;
  const i32 iResult = openFile(pPath, &uiSize, &pFile);
  if (iResult == E_FILE_OK) {
    ClFileIO::close(pFile);
    return true;
  }
  return iResult == E_FILE_EMPTY ||
         (iResult == E_FILE_CANNOT_OPEN && !ClFileIO::isNotFoundError(ClFileIO::getLastOpenError()));
}

void reportDataFileNotOpened(const ClMagTOC* pTOC, i32 iCode) {
  char szWhy[320];
  describeOpenFailure(iCode, szWhy, sizeof(szWhy));
  reportProblem("Mag data file [%s] could not be opened: %s", pTOC->mp_szDataFilePath, szWhy);
}

void noteLooseFileNotOpened(const char* pPath, i32 iCode) {
  char szWhy[gc_uiMAX_MESSAGE_LEN + 1];
  if (iCode == E_FILE_CANNOT_OPEN && ClFileIO::isNotFoundError(ClFileIO::getLastOpenError())) {
    describeLoadedTables(szWhy, sizeof(szWhy));
    noteProblem("it is %s and not on disk", szWhy);
  } else {
    describeOpenFailure(iCode, szWhy, sizeof(szWhy));
    noteProblem("[%s] could not be opened: %s", pPath, szWhy);
  }
}

bool fitsIn(u64 uiOffset, u64 uiSize, u64 uiLimit) { return uiOffset <= uiLimit && uiSize <= uiLimit - uiOffset; }

ClMagTOC* findSlot(u32 uiNameHash) {
  for (i32 i = 0; i < g_MagTOCPool.getCount(); ++i) {
    ClMagTOC* pSlot = g_MagTOCPool.get(i);
    if (pSlot->mp_uiNameHash == uiNameHash) {
      return pSlot;
    }
  }
  return nullptr;
}

// The data-info of a path, its archive and its name hash; null when no loaded table of contents holds it. The
// path is hashed where it lies, from past the data root (callers have checked its length).
const ClMagDataInfo* lookUpPath(const char* pFilenameWithPath, ClMagTOC** ppOwningTOC, i32* pNameHash) {
  const i32 iKey = static_cast<i32>(KvStrHash(KvSkipDataRoot(pFilenameWithPath)));
  *pNameHash = iKey;
  *ppOwningTOC = nullptr;
  for (i32 iSlot = 0; iSlot < g_MagTOCPool.getCount(); ++iSlot) {
    ClMagTOC* pTOC = g_MagTOCPool.get(iSlot);
    if (!pTOC->mp_bTOCLoaded || pTOC->mp_pTOC == nullptr) {
      continue;
    }
    const i32 iIndex = pTOC->mp_nameIndex.find(iKey);
    if (iIndex >= 0) {
      *ppOwningTOC = pTOC;
      return &pTOC->mp_pInfos[iIndex];
    }
  }
  return nullptr;
}

bool pathTooLong(const char* pPath) {
  return strnlen(pPath, KV_MAX_PATH_LEN) >= static_cast<size_t>(KV_MAX_PATH_LEN);
}

// An archive left on disk keeps the data file of its last closed reference open for the next one: reading an
// archive entry after entry would otherwise open, measure and close the same file for each. A kept file takes
// one of the file layer's few records, so it is closed as soon as a record is wanted for another file, and when
// its archive goes.
void closeIdleDataFile(ClMagTOC* pTOC) {
  if (pTOC->mp_pIdleDataFile != nullptr) {
    ClFileIO::close(pTOC->mp_pIdleDataFile);
    pTOC->mp_pIdleDataFile = nullptr;
    pTOC->mp_uiIdleDataFileSize = 0;
  }
}

// Closes a kept data file when every record of the file layer is taken, so that a file can be opened.
void freeFileRecord() {
  for (i32 i = 0; i < g_MagTOCPool.getCount() && ClFileIO::getOpenFileCount() >= gc_iMAX_OPEN_FILES; ++i) {
    closeIdleDataFile(g_MagTOCPool.get(i));
  }
}

i32 openFile(const char* pPath, u64* puiSize, Win32FileData** ppFile) {
  freeFileRecord();
  return ClFileIO::open(pPath, puiSize, ppFile);
}

// The archive's data file: the one it kept, or a newly opened one.
i32 openDataFile(ClMagTOC* pTOC, u64* puiSize, Win32FileData** ppFile) {
  if (pTOC->mp_pIdleDataFile != nullptr) {
    *ppFile = pTOC->mp_pIdleDataFile;
    *puiSize = pTOC->mp_uiIdleDataFileSize;
    pTOC->mp_pIdleDataFile = nullptr;
    pTOC->mp_uiIdleDataFileSize = 0;
    return E_FILE_OK;
  }
  return openFile(pTOC->mp_szDataFilePath, puiSize, ppFile);
}

}  // namespace KvMag

void ClMagFileIO::initTOCPool() { g_MagTOCPool.initialize(); }

void ClMagFileIO::setArchiveKey(const char* pArchiveName, const char* pKeyText) {
  KV_ASSERT(pArchiveName);
  const u32 uiHash = KvStrHash(pArchiveName);
  i32 iIndex = 0;
  while (iIndex < g_iArchiveKeyCount && g_aArchiveKeys[iIndex].uiNameHash != uiHash) {
    ++iIndex;
  }
  if (pKeyText == nullptr || pKeyText[0] == '\0') {
    if (iIndex < g_iArchiveKeyCount) {
      g_aArchiveKeys[iIndex] = g_aArchiveKeys[--g_iArchiveKeyCount];
    }
    return;
  }
  KV_ASSERT_MSG(iIndex < gc_iMAX_MAG_ARCHIVES, "Too many Mag archive keys!");
  SMagArchiveKey key;
  key.uiNameHash = uiHash;
  KV_ASSERT_MSG(ClCrypto::makeKey(pKeyText, key.aucKey), "Mag archive keys are 1 to 15 characters!");
  g_aArchiveKeys[iIndex] = key;
  if (iIndex == g_iArchiveKeyCount) {
    ++g_iArchiveKeyCount;
  }
}

bool ClMagFileIO::archiveIsPresent(const char* pTOCName) {
  char szBaseName[KV_MAX_PATH_LEN];
  KvStrLCpy(szBaseName, pTOCName, sizeof(szBaseName));
  KvStrLCat(szBaseName, gc_pMAG_PLATFORM_SUFFIX, sizeof(szBaseName));
  char szPath[KV_MAX_PATH_LEN];
  buildArchivePath(szPath, "", szBaseName, gc_pMAG_TOC_EXTENSION);
  if (isOnDisk(szPath)) {
    return true;
  }
  buildArchivePath(szPath, gc_pMAG_SUBFOLDER, szBaseName, gc_pMAG_TOC_EXTENSION);
  return isOnDisk(szPath);
}

i32 ClMagFileIO::loadTOC(const char* pTOCName) {
  KV_ASSERT(pTOCName);
  const u32 uiHash = KvStrHash(pTOCName);
  ClMagTOC* pMagEntry = findSlot(uiHash);
  if (pMagEntry != nullptr && pMagEntry->mp_bTOCLoaded) {
    return 0;
  }
  if (pMagEntry == nullptr) {
    if (g_MagTOCPool.isFull()) {
      reportProblem("Mag archive [%s] not loaded: all %d archive slots are in use", pTOCName, gc_iMAX_MAG_ARCHIVES);
      return 0;
    }
    pMagEntry = g_MagTOCPool.alloc();
    pMagEntry->mp_bTOCLoaded = 0;
    pMagEntry->mp_bDataLoaded = 0;
    pMagEntry->mp_pTOC = nullptr;
    pMagEntry->mp_pData = nullptr;
    pMagEntry->mp_uiTOCSize = 0;
    pMagEntry->mp_uiDataSize = 0;
    pMagEntry->mp_iNumEntries = 0;
    pMagEntry->mp_uiRecordTableOffset = 0;
    pMagEntry->mp_piNameHashes = nullptr;
    pMagEntry->mp_pInfos = nullptr;
    pMagEntry->mp_nameIndex = ClSortedHashIndex();
    pMagEntry->mp_pIdleDataFile = nullptr;
    pMagEntry->mp_uiIdleDataFileSize = 0;
    pMagEntry->mp_unloadTOCCallbacks.initialize();
    pMagEntry->mp_unloadDataCallbacks.initialize();
    pMagEntry->mp_uiNameHash = uiHash;
  }
  std::memset(pMagEntry->mp_aucKey, 0, sizeof(pMagEntry->mp_aucKey));
  for (i32 i = 0; i < g_iArchiveKeyCount; ++i) {
    if (g_aArchiveKeys[i].uiNameHash == uiHash) {
      std::memcpy(pMagEntry->mp_aucKey, g_aArchiveKeys[i].aucKey, sizeof(pMagEntry->mp_aucKey));
    }
  }

  char szBaseName[KV_MAX_PATH_LEN];
  KvStrLCpy(szBaseName, pTOCName, sizeof(szBaseName));
  KvStrLCat(szBaseName, gc_pMAG_PLATFORM_SUFFIX, sizeof(szBaseName));
  char szRootTOCPath[KV_MAX_PATH_LEN];
  char szMagTOCPath[KV_MAX_PATH_LEN];
  char szMagDataPath[KV_MAX_PATH_LEN];
  char* pDataPath = pMagEntry->mp_szDataFilePath;
  buildArchivePath(pDataPath, "", szBaseName, gc_pMAG_DATA_EXTENSION);
  buildArchivePath(szRootTOCPath, "", szBaseName, gc_pMAG_TOC_EXTENSION);
  buildArchivePath(szMagTOCPath, gc_pMAG_SUBFOLDER, szBaseName, gc_pMAG_TOC_EXTENSION);
  buildArchivePath(szMagDataPath, gc_pMAG_SUBFOLDER, szBaseName, gc_pMAG_DATA_EXTENSION);
  // The archive lives under "Mag/" when its data file is there and not in the root. With its data file in
  // neither place, it lives where its table of contents is, so that the message about the missing data file
  // names the file that is missing. A file that is there but cannot be read counts as there: it is named as
  // unreadable, not passed over.
  pMagEntry->mp_bUnderMagFolder = 0;
  if (!isOnDisk(pDataPath) && (isOnDisk(szMagDataPath) || !isOnDisk(szRootTOCPath))) {
    KvStrLCpy(pDataPath, szMagDataPath, KV_MAX_PATH_LEN);
    pMagEntry->mp_bUnderMagFolder = 1;
  }
  char* pTOCPath = pMagEntry->mp_szTOCFilePath;
  KvStrLCpy(pTOCPath, pMagEntry->mp_bUnderMagFolder ? szMagTOCPath : szRootTOCPath, KV_MAX_PATH_LEN);

  u64 uiSizeOfTOCFile = 0;
  Win32FileData* pFile = nullptr;
  const i32 iOpenResult = openFile(pTOCPath, &uiSizeOfTOCFile, &pFile);
  if (iOpenResult == E_FILE_CANNOT_OPEN && ClFileIO::isNotFoundError(ClFileIO::getLastOpenError()) &&
      !isOnDisk(szRootTOCPath) && !isOnDisk(szMagTOCPath)) {
    reportProblem("Mag archive [%s] not found: neither [%s] nor [%s] exists", pTOCName, szRootTOCPath, szMagTOCPath);
    unloadTOC(uiHash);
    return 0;
  }
  if (iOpenResult != E_FILE_OK) {
    char szWhy[320];
    describeOpenFailure(iOpenResult, szWhy, sizeof(szWhy));
    reportProblem("Mag TOC file [%s] could not be opened: %s", pTOCPath, szWhy);
    unloadTOC(uiHash);
    return 0;
  }
  if (uiSizeOfTOCFile > gc_uiMAG_MAX_LOADED_FILE) {
    reportProblem("Mag TOC file [%s] is damaged and was not loaded: %llu bytes is more than a table can be",
                  pTOCPath, static_cast<unsigned long long>(uiSizeOfTOCFile));
    ClFileIO::close(pFile);
    unloadTOC(uiHash);
    return 0;
  }
  const u32 uiTOCSize = static_cast<u32>(uiSizeOfTOCFile);
  pMagEntry->mp_pTOC = static_cast<u8*>(KvAlignedAlloc(uiTOCSize, gc_uiMAG_ALIGNMENT));
  KV_ASSERT(pMagEntry->mp_pTOC);
  pMagEntry->mp_uiTOCSize = uiTOCSize;
  const i32 iReadResult = ClFileIO::read(pFile, 0, uiTOCSize, pMagEntry->mp_pTOC);
  ClFileIO::close(pFile);
  if (iReadResult != E_FILE_OK) {
    reportProblem("Mag TOC file [%s] could not be read (code %d)", pTOCPath, iReadResult);
    unloadTOC(uiHash);
    return 0;
  }
  // The file image stays as read: its offsets are resolved into side tables, never turned into pointers.
  if (const char* pProblem = readTOCImage(pMagEntry)) {
    reportProblem("Mag TOC file [%s] is damaged and was not loaded: %s", pTOCPath, pProblem);
    unloadTOC(uiHash);
    return 0;
  }
  if (const char* pProblem = dataFileProblem(pMagEntry)) {
    reportProblem("%s", pProblem);
    unloadTOC(uiHash);
    return 0;
  }
  for (i32 i = 0; i < pMagEntry->mp_iNumEntries; ++i) {
    if (pMagEntry->mp_pInfos[i].mp_uiEncrypted && pMagEntry->mp_aucKey[0] == 0) {
      KV_FATALF("No encryption key passed-in for Mag TOC file [%s]; this Mag TOC file has encrypted files and MUST "
                "have a valid key!",
                pTOCPath);
    }
  }
  pMagEntry->mp_bTOCLoaded = 1;
  return 1;
}

i32 ClMagFileIO::loadDataFile(u32 uiNameHash) {
  ClMagTOC* pEntry = findSlot(uiNameHash);
  if (pEntry == nullptr || pEntry->mp_bDataLoaded) {
    return 0;
  }
  u64 uiSizeOfDataFile = 0;
  Win32FileData* pFile = nullptr;
  const i32 iOpenResult = openDataFile(pEntry, &uiSizeOfDataFile, &pFile);
  if (iOpenResult != E_FILE_OK) {
    reportDataFileNotOpened(pEntry, iOpenResult);
    return 0;
  }
  // Entries of an archive left on disk are read on demand; only a data file that fits one read and the
  // memory at hand is loaded whole.
  if (uiSizeOfDataFile > gc_uiMAG_MAX_LOADED_FILE) {
    ClFileIO::close(pFile);
    reportProblem("Mag data file [%s] is %llu bytes, too large to load whole (at most %u); its entries are read "
                  "from disk",
                  pEntry->mp_szDataFilePath, static_cast<unsigned long long>(uiSizeOfDataFile),
                  gc_uiMAG_MAX_LOADED_FILE);
    return 0;
  }
  const u32 uiDataSize = static_cast<u32>(uiSizeOfDataFile);
  pEntry->mp_pData = static_cast<u8*>(KvAlignedAlloc(uiDataSize, gc_uiMAG_ALIGNMENT));
  if (pEntry->mp_pData == nullptr) {
    ClFileIO::close(pFile);
    reportProblem("Mag data file [%s] is not loaded whole: no memory for its %u bytes; its entries are read from "
                  "disk",
                  pEntry->mp_szDataFilePath, uiDataSize);
    return 0;
  }
  const i32 iReadResult = ClFileIO::read(pFile, 0, uiDataSize, pEntry->mp_pData);
  ClFileIO::close(pFile);
  if (iReadResult != E_FILE_OK) {
    reportProblem("Mag data file [%s] could not be read (code %d)", pEntry->mp_szDataFilePath, iReadResult);
    KvAlignedFree(pEntry->mp_pData);
    pEntry->mp_pData = nullptr;
    return 0;
  }
  pEntry->mp_uiDataSize = uiDataSize;
  pEntry->mp_bDataLoaded = 1;
  return 1;
}

bool ClMagFileIO::dataFileOpens(u32 uiNameHash) {
  ClMagTOC* pSlot = findTOC(uiNameHash);
  if (pSlot == nullptr) {
    return false;
  }
  if (pSlot->mp_bDataLoaded || pSlot->mp_pIdleDataFile != nullptr) {
    return true;
  }
  u64 uiSize = 0;
  Win32FileData* pFile = nullptr;
  const i32 iResult = openDataFile(pSlot, &uiSize, &pFile);
  if (iResult != E_FILE_OK) {
    char szWhy[320];
    describeOpenFailure(iResult, szWhy, sizeof(szWhy));
    noteProblem("Mag data file [%s] could not be opened: %s", pSlot->mp_szDataFilePath, szWhy);
    return false;
  }
  pSlot->mp_pIdleDataFile = pFile;
  pSlot->mp_uiIdleDataFileSize = uiSize;
  return true;
}

i32 ClMagFileIO::unloadTOC(u32 uiNameHash) {
  ClMagTOC* pSlot = findSlot(uiNameHash);
  if (pSlot == nullptr) {
    return 0;
  }
  assertNoOpenReference(pSlot);
  runUnloadCallbacks(pSlot->mp_unloadTOCCallbacks);
  closeIdleDataFile(pSlot);
  freeTOCImage(pSlot);
  pSlot->mp_bTOCLoaded = 0;
  releaseSlotWhenEmpty(pSlot);
  return 1;
}

i32 ClMagFileIO::unloadDataFile(u32 uiNameHash) {
  ClMagTOC* pSlot = findSlot(uiNameHash);
  if (pSlot == nullptr) {
    return 0;
  }
  assertNoOpenReference(pSlot);
  runUnloadCallbacks(pSlot->mp_unloadDataCallbacks);
  KvAlignedFree(pSlot->mp_pData);
  pSlot->mp_pData = nullptr;
  pSlot->mp_uiDataSize = 0;
  pSlot->mp_bDataLoaded = 0;
  releaseSlotWhenEmpty(pSlot);
  return 1;
}

void ClMagFileIO::shutdown() {
  while (g_MagRefPool.getCount() > 0) {
    SMagRef* pRef = g_MagRefPool.get(g_MagRefPool.getCount() - 1);
    freeOwnBuffers(pRef);
    if (pRef->mp_FileHandle != nullptr) {
      ClFileIO::close(pRef->mp_FileHandle);
      pRef->mp_FileHandle = nullptr;
    }
    giveRefBack(pRef);
  }
  closeIdleFiles();
  while (g_MagTOCPool.getCount() > 0) {
    const u32 uiHash = g_MagTOCPool.get(g_MagTOCPool.getCount() - 1)->mp_uiNameHash;
    unloadDataFile(uiHash);
    unloadTOC(uiHash);
  }
  g_MagRefPool.initialize();
  g_MagTOCPool.initialize();
  freeSpareBuffers();
}

i32 ClMagFileIO::addUnloadCallback(u32 uiNameHash, bool bDataFile, void (*pfnCallback)(void*), void* pArgument) {
  ClMagTOC* pSlot = findSlot(uiNameHash);
  if (pSlot == nullptr) {
    return 0;
  }
  (bDataFile ? pSlot->mp_unloadDataCallbacks : pSlot->mp_unloadTOCCallbacks).append({pfnCallback, pArgument});
  return 1;
}

i32 ClMagFileIO::fileExists(const char* pFilenameWithPath, i32 allowLoose) {
  KV_ASSERT(pFilenameWithPath);
  if (pathTooLong(pFilenameWithPath)) {
    return 0;
  }
  ClMagTOC* pTOC = nullptr;
  i32 iNameHash = 0;
  if (lookUpPath(pFilenameWithPath, &pTOC, &iNameHash) != nullptr) {
    return 1;
  }
  return allowLoose ? ClFileIO::fileExists(pFilenameWithPath) : 0;
}

const ClMagDataInfo* ClMagFileIO::findOwningTOC(ClMagTOC** ppOwningTOC, const char* pFilenameWithPath) {
  KV_ASSERT(ppOwningTOC);
  KV_ASSERT(pFilenameWithPath);
  *ppOwningTOC = nullptr;
  if (pathTooLong(pFilenameWithPath)) {
    return nullptr;
  }
  i32 iNameHash = 0;
  return lookUpPath(pFilenameWithPath, ppOwningTOC, &iNameHash);
}

ClMagTOC* ClMagFileIO::findTOC(u32 uiNameHash) {
  ClMagTOC* pSlot = findSlot(uiNameHash);
  return pSlot != nullptr && pSlot->mp_bTOCLoaded ? pSlot : nullptr;
}

i32 ClMagFileIO::getEntryCount(const ClMagTOC* pTOC) {
  KV_ASSERT(pTOC);
  return pTOC->mp_bTOCLoaded ? pTOC->mp_iNumEntries : 0;
}

const ClMagDataInfo* ClMagFileIO::getEntry(const ClMagTOC* pTOC, i32 iIndex, i32* pOutNameHash) {
  KV_ASSERT(pTOC);
  KV_ASSERT(pOutNameHash);
  KV_ASSERT(pTOC->mp_bTOCLoaded && iIndex >= 0 && iIndex < pTOC->mp_iNumEntries);
  *pOutNameHash = pTOC->mp_piNameHashes[iIndex];
  return &pTOC->mp_pInfos[iIndex];
}

const char* ClMagFileIO::getLastProblem() { return g_szLastProblem; }

const char* ClMagFileIO::describeLocation(const char* pFilenameWithPath, char* pText, u32 uiSize) {
  KV_ASSERT(pFilenameWithPath && pText && uiSize > 0);
  ClMagTOC* pTOC = nullptr;
  i32 iNameHash = 0;
  if (!pathTooLong(pFilenameWithPath) && lookUpPath(pFilenameWithPath, &pTOC, &iNameHash) != nullptr) {
    KvSNPrintf(pText, uiSize, "entry [%s] of Mag data file [%s]", KvSkipDataRoot(pFilenameWithPath),
               pTOC->mp_szDataFilePath);
  } else if (isOnDisk(pFilenameWithPath)) {
    char szHost[KV_MAX_PATH_LEN];
    ClFileIO::getHostPath(pFilenameWithPath, szHost, sizeof(szHost));
    KvSNPrintf(pText, uiSize, "loose file [%s]", szHost);
  } else {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    describeLoadedTables(szWhere, sizeof(szWhere));
    KvSNPrintf(pText, uiSize, "[%s], which is %s and not on disk", pFilenameWithPath, szWhere);
  }
  return pText;
}

void ClMagFileIO::closeIdleFiles() {
  for (i32 i = 0; i < g_MagTOCPool.getCount(); ++i) {
    closeIdleDataFile(g_MagTOCPool.get(i));
  }
}
