#include "Corvane/Files/ClMagFileIO.h"

#include <zlib.h>

#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/System/KvDebug.h"

// The archive and reference pools are built with the engine's other fixed globals (KvEngineGlobals_Win32.cpp).

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

const SMagTOCRecord* recordAt(const ClMagTOC* pTOC, i32 iIndex) {
  u32 uiRecordOffset;
  std::memcpy(&uiRecordOffset, pTOC->mp_pTOC + pTOC->mp_uiRecordTableOffset + 4u * static_cast<u32>(iIndex), 4);
  return reinterpret_cast<const SMagTOCRecord*>(pTOC->mp_pTOC + uiRecordOffset);
}

const ClMagDataInfo* infoOf(const ClMagTOC* pTOC, const SMagTOCRecord* pRecord) {
  return reinterpret_cast<const ClMagDataInfo*>(pTOC->mp_pTOC + pRecord->mp_uiDataInfoOffset);
}

// Checks every offset, count and size of a table of contents image before anything trusts it. Answers null
// when sound, else what is wrong.
const char* checkTOCImage(ClMagTOC* pTOC) {
  const u64 uiSize = pTOC->mp_uiTOCSize;
  const u8* pImage = pTOC->mp_pTOC;
  if (uiSize < sizeof(SMagTOCHeader)) {
    return "the file is shorter than its 12-byte header";
  }
  SMagTOCHeader header;
  std::memcpy(&header, pImage, sizeof(header));
  if (header.mp_iNumEntries < 0) {
    return "the entry count is negative";
  }
  if (header.mp_uiRecordTableOffset % 4 != 0 ||
      !fitsIn(header.mp_uiRecordTableOffset, 4ull * static_cast<u64>(header.mp_iNumEntries), uiSize)) {
    return "the record table lies outside the file";
  }
  pTOC->mp_uiRecordTableOffset = header.mp_uiRecordTableOffset;
  pTOC->mp_iNumEntries = header.mp_iNumEntries;
  for (i32 i = 0; i < header.mp_iNumEntries; ++i) {
    u32 uiRecordOffset;
    std::memcpy(&uiRecordOffset, pImage + header.mp_uiRecordTableOffset + 4u * static_cast<u32>(i), 4);
    if (uiRecordOffset % 4 != 0 || !fitsIn(uiRecordOffset, sizeof(SMagTOCRecord), uiSize)) {
      return "a record lies outside the file";
    }
    const SMagTOCRecord* pRecord = recordAt(pTOC, i);
    if (i > 0 && recordAt(pTOC, i - 1)->mp_iNameHash > pRecord->mp_iNameHash) {
      return "the records are not sorted by signed name hash";
    }
    if (pRecord->mp_uiDataInfoOffset % 4 != 0 ||
        !fitsIn(pRecord->mp_uiDataInfoOffset, sizeof(ClMagDataInfo), uiSize)) {
      return "a data-info lies outside the file";
    }
    const ClMagDataInfo* pInfo = infoOf(pTOC, pRecord);
    if (pInfo->mp_uiCompressed &&
        (pInfo->mp_uiCompressedSize == 0 || pInfo->mp_uiCompressedSize > pInfo->mp_uiFinalSize)) {
      return "a compressed entry's size is out of range";
    }
    if (pInfo->mp_uiEncrypted) {
      const u32 uiEncrypted = pInfo->mp_uiEncryptedSize;
      if (uiEncrypted == 0 || uiEncrypted % gc_iCRYPTO_BLOCK_SIZE != 0 || uiEncrypted > pInfo->mp_uiFinalSize ||
          (!pInfo->mp_uiCompressed && uiEncrypted != pInfo->mp_uiFinalSize) ||
          (pInfo->mp_uiCompressed && uiEncrypted < pInfo->mp_uiCompressedSize)) {
        return "an encrypted entry's size is out of range";
      }
    }
    if (!fitsIn(pInfo->mp_uiDataOffset, pInfo->getStoredSize(), 0xFFFFFFFFull)) {
      return "an entry's stored bytes pass the 4 GiB limit";
    }
  }
  return nullptr;
}

// The data-info of a path, its archive and its name hash; null when no loaded table of contents holds it.
const ClMagDataInfo* lookUpPath(const char* pFilenameWithPath, ClMagTOC** ppOwningTOC, i32* pNameHash) {
  char szPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szPath, pFilenameWithPath, sizeof(szPath));
  KvStripDataRoot(szPath);
  const i32 iKey = static_cast<i32>(KvStrHash(szPath));
  *pNameHash = iKey;
  *ppOwningTOC = nullptr;
  for (i32 iSlot = 0; iSlot < g_MagTOCPool.getCount(); ++iSlot) {
    ClMagTOC* pTOC = g_MagTOCPool.get(iSlot);
    if (!pTOC->mp_bTOCLoaded || pTOC->mp_pTOC == nullptr) {
      continue;
    }
    const i32* piHashes = pTOC->mp_piNameHashes;
    i32 iLo = 0;
    i32 iHi = pTOC->mp_iNumEntries - 1;
    while (iLo <= iHi) {
      const i32 iMid = (iLo + iHi) / 2;
      if (piHashes[iMid] > iKey) {
        iHi = iMid - 1;
      } else if (piHashes[iMid] < iKey) {
        iLo = iMid + 1;
      } else {
        *ppOwningTOC = pTOC;
        return infoOf(pTOC, recordAt(pTOC, iMid));
      }
    }
  }
  return nullptr;
}

bool pathTooLong(const char* pPath) {
  return strnlen(pPath, KV_MAX_PATH_LEN) >= static_cast<size_t>(KV_MAX_PATH_LEN);
}

SMagRef* takeRef() {
  if (g_MagRefPool.isFull()) {
    KvPrintProblem("All %d archive references are in use", gc_iMAX_MAG_REFS);
    return nullptr;
  }
  SMagRef* pRef = g_MagRefPool.alloc();
  *pRef = SMagRef{};
  pRef->mp_bInUse = 1;
  return pRef;
}

void giveRefBack(SMagRef* pRef) {
  pRef->mp_bInUse = 0;
  g_MagRefPool.free(pRef);
}

void freeOwnBuffers(SMagRef* pRef) {
  if (pRef->mp_eKind != E_MAG_REF_IN_MEMORY) {
    KvAlignedFree(pRef->mp_pDestinationBuffer);
  }
  pRef->mp_pDestinationBuffer = nullptr;
  pRef->mp_uiBufferSize = 0;
  KvAlignedFree(pRef->mp_pStagingBuffer);
  pRef->mp_pStagingBuffer = nullptr;
}

bool entryInsideData(const ClMagTOC* pTOC, const ClMagDataInfo* pInfo, i32 iNameHash, u32 uiDataSize) {
  if (fitsIn(pInfo->mp_uiDataOffset, pInfo->getStoredSize(), uiDataSize)) {
    return true;
  }
  KvPrintProblem("Mag data file [%s] is damaged: entry 0x%08X (%u bytes at offset %u) lies past its end (%u bytes)",
                 pTOC->mp_szDataFilePath, static_cast<u32>(iNameHash), pInfo->getStoredSize(), pInfo->mp_uiDataOffset,
                 uiDataSize);
  return false;
}

// Points a found reference at its entry; opens the data file when the archive is not in memory.
i32 attachEntry(SMagRef* pRef, ClMagTOC* pTOC, const ClMagDataInfo* pInfo, i32 iNameHash) {
  pRef->mp_pMagDataInfo = pInfo;
  pRef->mp_pOwningMagTOC = pTOC;
  pRef->mp_iNameHash = iNameHash;
  if (pTOC->mp_bDataLoaded) {
    pRef->mp_eKind = E_MAG_REF_IN_MEMORY;
    return entryInsideData(pTOC, pInfo, iNameHash, pTOC->mp_uiDataSize) ? E_FILE_OK : E_FILE_DAMAGED;
  }
  pRef->mp_eKind = E_MAG_REF_OWN_BUFFER;
  const i32 iResult = ClFileIO::open(pTOC->mp_szDataFilePath, &pRef->mp_uiDiskFileSize, &pRef->mp_FileHandle);
  if (iResult != E_FILE_OK) {
    KvPrintProblem("Mag data file [%s] could not be opened (code %d)", pTOC->mp_szDataFilePath, iResult);
    pRef->mp_FileHandle = nullptr;
    return iResult;
  }
  if (!entryInsideData(pTOC, pInfo, iNameHash, pRef->mp_uiDiskFileSize)) {
    ClFileIO::close(pRef->mp_FileHandle);
    pRef->mp_FileHandle = nullptr;
    return E_FILE_DAMAGED;
  }
  return E_FILE_OK;
}

// Brings uiSize stored bytes of the entry (from its start) into pTarget: from the archive in memory when it
// is loaded, else from the open data file.
i32 bringStoredBytes(SMagRef* pRef, u32 uiSize, u8* pTarget) {
  if (uiSize == 0) {
    return E_FILE_OK;
  }
  const ClMagTOC* pTOC = pRef->mp_pOwningMagTOC;
  const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
  if (pTOC->mp_bDataLoaded) {
    if (!entryInsideData(pTOC, pInfo, pRef->mp_iNameHash, pTOC->mp_uiDataSize)) {
      return E_FILE_DAMAGED;
    }
    std::memcpy(pTarget, pTOC->mp_pData + pInfo->mp_uiDataOffset, uiSize);
    return E_FILE_OK;
  }
  KV_ASSERT(pRef->mp_FileHandle);
  return ClFileIO::read(pRef->mp_FileHandle, pInfo->mp_uiDataOffset, uiSize, pTarget);
}

i32 inflateEntry(SMagRef* pRef, const u8* pStream, u32 uiDestinationSize) {
  const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
  uLongf uiProduced = uiDestinationSize;
  const int iZResult = uncompress(pRef->mp_pDestinationBuffer, &uiProduced, pStream, pInfo->mp_uiCompressedSize);
  if (iZResult != Z_OK || uiProduced != pInfo->mp_uiFinalSize) {
    KvPrintProblem(
        "Mag data file [%s] is damaged: entry 0x%08X does not inflate to its %u bytes (zlib result %d, "
        "%lu bytes)",
        pRef->mp_pOwningMagTOC->mp_szDataFilePath, static_cast<u32>(pRef->mp_iNameHash), pInfo->mp_uiFinalSize,
        iZResult, static_cast<unsigned long>(uiProduced));
    return E_FILE_DAMAGED;
  }
  return E_FILE_OK;
}

// Decrypts the entry's ciphertext in place: no buffer of its own is needed, as the plaintext is exactly as
// long as the ciphertext.
i32 decryptInPlace(SMagRef* pRef, u8* pCiphertext) {
  const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
  u8 aucKey[gc_iCRYPTO_KEY_SIZE];
  std::memcpy(aucKey, pRef->mp_pOwningMagTOC->mp_aucKey, sizeof(aucKey));
  aucKey[gc_iCRYPTO_KEY_SIZE - 1] = 0;
  u8 aucIV[gc_iCRYPTO_BLOCK_SIZE];
  ClCrypto::buildIV(aucKey, pRef->mp_iNameHash, aucIV);
  if (!ClCrypto::decryptInto(pCiphertext, static_cast<i32>(pInfo->mp_uiEncryptedSize), aucKey, aucIV,
                             pCiphertext)) {
    KvPrintProblem("Mag data file [%s] is damaged: entry 0x%08X could not be decrypted",
                   pRef->mp_pOwningMagTOC->mp_szDataFilePath, static_cast<u32>(pRef->mp_iNameHash));
    return E_FILE_DAMAGED;
  }
  return E_FILE_OK;
}

i32 readEncodedEntry(SMagRef* pRef, u32 numberOfBytesToRead) {
  const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
  i32 iResult = E_FILE_OK;
  if (!pInfo->mp_uiCompressed) {
    // Encrypted only: the ciphertext is as long as the entry, so it is brought and decrypted where it ends up.
    iResult = bringStoredBytes(pRef, pInfo->mp_uiEncryptedSize, pRef->mp_pDestinationBuffer);
    if (iResult == E_FILE_OK) {
      iResult = decryptInPlace(pRef, pRef->mp_pDestinationBuffer);
    }
  } else {
    KV_ASSERT(pRef->mp_pStagingBuffer);
    iResult = bringStoredBytes(pRef, pInfo->getStoredSize(), pRef->mp_pStagingBuffer);
    if (iResult == E_FILE_OK && pInfo->mp_uiEncrypted) {
      iResult = decryptInPlace(pRef, pRef->mp_pStagingBuffer);
    }
    if (iResult == E_FILE_OK) {
      iResult = inflateEntry(pRef, pRef->mp_pStagingBuffer, numberOfBytesToRead);
    }
    KvAlignedFree(pRef->mp_pStagingBuffer);
    pRef->mp_pStagingBuffer = nullptr;
  }
  if (iResult == E_FILE_OK && numberOfBytesToRead > pInfo->mp_uiFinalSize) {
    std::memset(pRef->mp_pDestinationBuffer + pInfo->mp_uiFinalSize, 0, numberOfBytesToRead - pInfo->mp_uiFinalSize);
  }
  return iResult;
}

// Reads min(asked, available) bytes and zero-fills the rest of the asked size.
u32 boundedSize(u32 uiAsked, u32 uiAvailable) { return uiAsked < uiAvailable ? uiAsked : uiAvailable; }

void zeroTail(u8* pBuffer, u32 uiFilled, u32 uiAsked) {
  if (uiAsked > uiFilled) {
    std::memset(pBuffer + uiFilled, 0, uiAsked - uiFilled);
  }
}

bool isEncoded(const ClMagDataInfo* pInfo) { return pInfo->mp_uiCompressed || pInfo->mp_uiEncrypted; }

void asyncStepDone(SMagRef* pRef, i32 iStep, u32 uiSize) {
  if (pRef->mp_pfnAsyncStepCallback != nullptr) {
    pRef->mp_pfnAsyncStepCallback(pRef, iStep, uiSize, pRef->mp_pAsyncStepUser);
  }
}

void asyncStepFailed(SMagRef* pRef, i32 iOperation, u32 uiCode) {
  if (pRef->mp_pfnAsyncErrorCallback != nullptr) {
    pRef->mp_pfnAsyncErrorCallback(pRef, iOperation, uiCode, pRef->mp_pAsyncErrorUser);
  }
}

void relayOpenDone(Win32FileData* pFile, u32 uiFileSize, void* pUser) {
  SMagRef* pRef = static_cast<SMagRef*>(pUser);
  pRef->mp_FileHandle = pFile;
  pRef->mp_uiDiskFileSize = uiFileSize;
  pRef->mp_bInUse = 1;
}

void relayOpenError(Win32FileData* /*pFile*/, u32 uiCode, void* pUser) {
  SMagRef* pRef = static_cast<SMagRef*>(pUser);
  pRef->mp_bInUse = 1;
  asyncStepFailed(pRef, gc_iMAG_ASYNC_OPERATION_OPEN, uiCode);
}

void relayReadDone(Win32FileData* /*pFile*/, void* pUser) {
  SMagRef* pRef = static_cast<SMagRef*>(pUser);
  pRef->mp_bInUse = 1;
  asyncStepDone(pRef, E_AAS_STEP_READ, 0);
}

void relayReadError(Win32FileData* /*pFile*/, u32 uiCode, void* pUser) {
  SMagRef* pRef = static_cast<SMagRef*>(pUser);
  pRef->mp_bInUse = 1;
  asyncStepFailed(pRef, gc_iMAG_ASYNC_OPERATION_READ, uiCode);
}

void relayCloseDone(Win32FileData* referenceHandle, void* pUser) {
  SMagRef* pMagRef = static_cast<SMagRef*>(pUser);
  KV_ASSERT(pMagRef->mp_FileHandle == referenceHandle);
  pMagRef->mp_FileHandle = nullptr;
  asyncStepDone(pMagRef, E_AAS_STEP_CLOSE, 0);
}

void relayCloseError(Win32FileData* referenceHandle, u32 uiCode, void* pUser) {
  SMagRef* pMagRef = static_cast<SMagRef*>(pUser);
  KV_ASSERT(pMagRef->mp_FileHandle == referenceHandle);
  pMagRef->mp_FileHandle = nullptr;
  asyncStepFailed(pMagRef, gc_iMAG_ASYNC_OPERATION_CLOSE, uiCode);
}

void assertNoOpenReference(const ClMagTOC* pTOC) {
  for (i32 i = 0; i < g_MagRefPool.getCount(); ++i) {
    const SMagRef* pRef = g_MagRefPool.get(i);
    KV_ASSERT_MSG(pRef->mp_pOwningMagTOC != pTOC, "Mag archive unloaded while a reference into it is open!");
  }
}

void releaseSlotWhenEmpty(ClMagTOC* pSlot) {
  if (pSlot->mp_bTOCLoaded || pSlot->mp_bDataLoaded) {
    return;
  }
  // A load stopped half-way may leave an image without its flag.
  KvAlignedFree(pSlot->mp_pTOC);
  pSlot->mp_pTOC = nullptr;
  KvAlignedFree(pSlot->mp_piNameHashes);
  pSlot->mp_piNameHashes = nullptr;
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

}  // namespace

void ClMagFileIO::initTOCPool() { g_MagTOCPool.initialize(); }

void ClMagFileIO::initRefPool() { g_MagRefPool.initialize(); }

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

i32 ClMagFileIO::loadTOC(const char* pTOCName) {
  KV_ASSERT(pTOCName);
  const u32 uiHash = KvStrHash(pTOCName);
  ClMagTOC* pMagEntry = findSlot(uiHash);
  if (pMagEntry != nullptr && pMagEntry->mp_bTOCLoaded) {
    return 0;
  }
  if (pMagEntry == nullptr) {
    if (g_MagTOCPool.isFull()) {
      KvPrintProblem("Mag archive [%s] not loaded: all %d archive slots are in use", pTOCName, gc_iMAX_MAG_ARCHIVES);
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
  char* pDataPath = pMagEntry->mp_szDataFilePath;
  KvStrLCpy(pDataPath, KvGetBaseDataPath(), KV_MAX_PATH_LEN);
  KvStrLCat(pDataPath, szBaseName, KV_MAX_PATH_LEN);
  KvStrLCat(pDataPath, gc_pMAG_DATA_EXTENSION, KV_MAX_PATH_LEN);
  slashesToBackslashes(pDataPath);
  pMagEntry->mp_bUnderMagFolder = 0;
  if (!ClFileIO::fileExists(pDataPath)) {
    KvStrLCpy(pDataPath, KvGetBaseDataPath(), KV_MAX_PATH_LEN);
    KvStrLCat(pDataPath, gc_pMAG_SUBFOLDER, KV_MAX_PATH_LEN);
    KvStrLCat(pDataPath, szBaseName, KV_MAX_PATH_LEN);
    KvStrLCat(pDataPath, gc_pMAG_DATA_EXTENSION, KV_MAX_PATH_LEN);
    slashesToBackslashes(pDataPath);
    pMagEntry->mp_bUnderMagFolder = 1;
  }
  char* pTOCPath = pMagEntry->mp_szTOCFilePath;
  KvStrLCpy(pTOCPath, KvGetBaseDataPath(), KV_MAX_PATH_LEN);
  if (pMagEntry->mp_bUnderMagFolder) {
    KvStrLCat(pTOCPath, gc_pMAG_SUBFOLDER, KV_MAX_PATH_LEN);
  }
  KvStrLCat(pTOCPath, szBaseName, KV_MAX_PATH_LEN);
  KvStrLCat(pTOCPath, gc_pMAG_TOC_EXTENSION, KV_MAX_PATH_LEN);
  slashesToBackslashes(pTOCPath);

  u32 uiSizeOfTOCFile = 0;
  Win32FileData* pFile = nullptr;
  const i32 iOpenResult = ClFileIO::open(pTOCPath, &uiSizeOfTOCFile, &pFile);
  if (iOpenResult != E_FILE_OK) {
    KvPrintProblem("Mag TOC file [%s] could not be opened (code %d)", pTOCPath, iOpenResult);
    unloadTOC(uiHash);
    return 0;
  }
  KV_ASSERT(uiSizeOfTOCFile != 0);
  pMagEntry->mp_pTOC = static_cast<u8*>(KvAlignedAlloc(uiSizeOfTOCFile, gc_uiMAG_ALIGNMENT));
  KV_ASSERT(pMagEntry->mp_pTOC);
  pMagEntry->mp_uiTOCSize = uiSizeOfTOCFile;
  const i32 iReadResult = ClFileIO::read(pFile, 0, uiSizeOfTOCFile, pMagEntry->mp_pTOC);
  ClFileIO::close(pFile);
  if (iReadResult != E_FILE_OK) {
    KvPrintProblem("Mag TOC file [%s] could not be read (code %d)", pTOCPath, iReadResult);
    unloadTOC(uiHash);
    return 0;
  }
  // The file image stays as read: offsets are resolved against it when used, never turned into pointers.
  if (const char* pProblem = checkTOCImage(pMagEntry)) {
    KvPrintProblem("Mag TOC file [%s] is damaged and was not loaded: %s", pTOCPath, pProblem);
    unloadTOC(uiHash);
    return 0;
  }
  pMagEntry->mp_piNameHashes =
      static_cast<i32*>(KvAlignedAlloc(sizeof(i32) * static_cast<size_t>(pMagEntry->mp_iNumEntries), 16));
  if (pMagEntry->mp_piNameHashes == nullptr) {
    KvPrintProblem("Mag TOC file [%s] was not loaded: no memory for its %d entries", pTOCPath,
                   pMagEntry->mp_iNumEntries);
    unloadTOC(uiHash);
    return 0;
  }
  for (i32 i = 0; i < pMagEntry->mp_iNumEntries; ++i) {
    pMagEntry->mp_piNameHashes[i] = recordAt(pMagEntry, i)->mp_iNameHash;
    if (infoOf(pMagEntry, recordAt(pMagEntry, i))->mp_uiEncrypted && pMagEntry->mp_aucKey[0] == 0) {
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
  u32 uiSizeOfDataFile = 0;
  Win32FileData* pFile = nullptr;
  const i32 iOpenResult = ClFileIO::open(pEntry->mp_szDataFilePath, &uiSizeOfDataFile, &pFile);
  if (iOpenResult != E_FILE_OK) {
    KvPrintProblem("Mag data file [%s] could not be opened (code %d)", pEntry->mp_szDataFilePath, iOpenResult);
    return 0;
  }
  KV_ASSERT(uiSizeOfDataFile != 0);
  pEntry->mp_pData = static_cast<u8*>(KvAlignedAlloc(uiSizeOfDataFile, gc_uiMAG_ALIGNMENT));
  KV_ASSERT(pEntry->mp_pData);
  const i32 iReadResult = ClFileIO::read(pFile, 0, uiSizeOfDataFile, pEntry->mp_pData);
  ClFileIO::close(pFile);
  if (iReadResult != E_FILE_OK) {
    KvPrintProblem("Mag data file [%s] could not be read (code %d)", pEntry->mp_szDataFilePath, iReadResult);
    unloadDataFile(uiNameHash);
    return 0;
  }
  pEntry->mp_uiDataSize = uiSizeOfDataFile;
  pEntry->mp_bDataLoaded = 1;
  return 1;
}

i32 ClMagFileIO::unloadTOC(u32 uiNameHash) {
  ClMagTOC* pSlot = findSlot(uiNameHash);
  if (pSlot == nullptr) {
    return 0;
  }
  assertNoOpenReference(pSlot);
  runUnloadCallbacks(pSlot->mp_unloadTOCCallbacks);
  KvAlignedFree(pSlot->mp_pTOC);
  pSlot->mp_pTOC = nullptr;
  KvAlignedFree(pSlot->mp_piNameHashes);
  pSlot->mp_piNameHashes = nullptr;
  pSlot->mp_uiTOCSize = 0;
  pSlot->mp_iNumEntries = 0;
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
  while (g_MagTOCPool.getCount() > 0) {
    const u32 uiHash = g_MagTOCPool.get(g_MagTOCPool.getCount() - 1)->mp_uiNameHash;
    unloadDataFile(uiHash);
    unloadTOC(uiHash);
  }
  g_MagRefPool.initialize();
  g_MagTOCPool.initialize();
}

i32 ClMagFileIO::addUnloadCallback(u32 uiNameHash, bool bDataFile, void (*pfnCallback)(void*), void* pArgument) {
  ClMagTOC* pSlot = findSlot(uiNameHash);
  if (pSlot == nullptr) {
    return 0;
  }
  (bDataFile ? pSlot->mp_unloadDataCallbacks : pSlot->mp_unloadTOCCallbacks).append({pfnCallback, pArgument});
  return 1;
}

i32 ClMagFileIO::open(const char* pFilenameWithPath, u32* pOutSize, SMagRef** ppOutRef) {
  KV_ASSERT(pFilenameWithPath);
  KV_ASSERT(pOutSize);
  KV_ASSERT(ppOutRef);
  *ppOutRef = nullptr;
  if (pathTooLong(pFilenameWithPath)) {
    KvPrintProblem("Path of %d characters or more cannot be opened: [%.80s...]", KV_MAX_PATH_LEN, pFilenameWithPath);
    return E_FILE_BAD_ARGUMENT;
  }
  ClMagTOC* pTOC = nullptr;
  i32 iNameHash = 0;
  const ClMagDataInfo* pInfo = lookUpPath(pFilenameWithPath, &pTOC, &iNameHash);
  if (pInfo != nullptr) {
    return openEntry(pTOC, pInfo, iNameHash, pOutSize, ppOutRef);
  }
  SMagRef* pRef = takeRef();
  if (pRef == nullptr) {
    return E_FILE_NO_REFERENCE;
  }
  pRef->mp_eKind = E_MAG_REF_LOOSE;
  pRef->mp_iNameHash = iNameHash;
  const i32 iResult = ClFileIO::open(pFilenameWithPath, &pRef->mp_uiDiskFileSize, &pRef->mp_FileHandle);
  if (iResult != E_FILE_OK) {
    pRef->mp_FileHandle = nullptr;
    giveRefBack(pRef);
    return iResult;
  }
  *pOutSize = pRef->mp_uiDiskFileSize;
  *ppOutRef = pRef;
  return E_FILE_OK;
}

i32 ClMagFileIO::openEntry(ClMagTOC* pTOC, const ClMagDataInfo* pInfo, i32 iNameHash, u32* pOutSize,
                           SMagRef** ppOutRef) {
  KV_ASSERT(pTOC);
  KV_ASSERT(pInfo);
  KV_ASSERT(pOutSize);
  KV_ASSERT(ppOutRef);
  *ppOutRef = nullptr;
  SMagRef* pRef = takeRef();
  if (pRef == nullptr) {
    return E_FILE_NO_REFERENCE;
  }
  const i32 iResult = attachEntry(pRef, pTOC, pInfo, iNameHash);
  if (iResult != E_FILE_OK) {
    giveRefBack(pRef);
    return iResult;
  }
  *pOutSize = pInfo->mp_uiFinalSize;
  *ppOutRef = pRef;
  return E_FILE_OK;
}

i32 ClMagFileIO::allocReadBuffers(SMagRef* pRef, u32 numberOfBytesToRead, u32 uiAlignment) {
  if (pRef == nullptr || !pRef->mp_bInUse) {
    return 0;
  }
  freeOwnBuffers(pRef);
  const auto allocate = [uiAlignment](u32 uiBytes) { return static_cast<u8*>(KvAlignedAlloc(uiBytes, uiAlignment)); };
  if (pRef->mp_eKind == E_MAG_REF_LOOSE) {
    pRef->mp_pDestinationBuffer = allocate(numberOfBytesToRead);
    pRef->mp_uiBufferSize = pRef->mp_pDestinationBuffer != nullptr ? numberOfBytesToRead : 0;
    return pRef->mp_pDestinationBuffer != nullptr ? 1 : 0;
  }
  const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
  if (!isEncoded(pInfo) && pRef->mp_eKind == E_MAG_REF_IN_MEMORY && numberOfBytesToRead == pInfo->mp_uiFinalSize) {
    pRef->mp_pDestinationBuffer = pRef->mp_pOwningMagTOC->mp_pData + pInfo->mp_uiDataOffset;
    return 1;
  }
  u32 uiSizeToAllocate = 0;
  if (pInfo->mp_uiEncrypted && pInfo->mp_uiCompressed) {
    KV_ASSERT(pRef->mp_pMagDataInfo->mp_uiEncryptedSize > 0 && pRef->mp_pMagDataInfo->mp_uiCompressedSize > 0);
    uiSizeToAllocate = pInfo->mp_uiEncryptedSize > pInfo->mp_uiCompressedSize ? pInfo->mp_uiEncryptedSize
                                                                             : pInfo->mp_uiCompressedSize;
    KV_ASSERT(uiSizeToAllocate <= numberOfBytesToRead);
  } else if (pInfo->mp_uiEncrypted) {
    // The ciphertext is decrypted in the destination itself: no staging buffer.
    KV_ASSERT(pRef->mp_pMagDataInfo->mp_uiEncryptedSize > 0);
    KV_ASSERT(pRef->mp_pMagDataInfo->mp_uiEncryptedSize <= numberOfBytesToRead);
  } else if (pInfo->mp_uiCompressed) {
    KV_ASSERT(pRef->mp_pMagDataInfo->mp_uiCompressedSize > 0);
    KV_ASSERT(pRef->mp_pMagDataInfo->mp_uiCompressedSize <= numberOfBytesToRead);
    uiSizeToAllocate = pInfo->mp_uiCompressedSize;
  }
  // From here on the reference owns its destination.
  pRef->mp_eKind = E_MAG_REF_OWN_BUFFER;
  pRef->mp_pDestinationBuffer = allocate(numberOfBytesToRead);
  if (pRef->mp_pDestinationBuffer == nullptr) {
    return 0;
  }
  if (uiSizeToAllocate != 0) {
    pRef->mp_pStagingBuffer = allocate(uiSizeToAllocate);
    if (pRef->mp_pStagingBuffer == nullptr) {
      KvAlignedFree(pRef->mp_pDestinationBuffer);
      pRef->mp_pDestinationBuffer = nullptr;
      return 0;
    }
  }
  pRef->mp_uiBufferSize = numberOfBytesToRead;
  return 1;
}

i32 ClMagFileIO::read(SMagRef* pRef, u32 numberOfBytesToRead) {
  if (pRef == nullptr) {
    return E_FILE_BAD_ARGUMENT;
  }
  if (!pRef->mp_bInUse) {
    return E_FILE_REFERENCE_NOT_IN_USE;
  }
  if (pRef->mp_eKind == E_MAG_REF_IN_MEMORY) {
    pRef->mp_pDestinationBuffer = pRef->mp_pOwningMagTOC->mp_pData + pRef->mp_pMagDataInfo->mp_uiDataOffset;
    return E_FILE_OK;
  }
  KV_ASSERT(pRef->mp_pDestinationBuffer);
  KV_ASSERT_MSG(numberOfBytesToRead <= pRef->mp_uiBufferSize, "Mag read larger than its read buffer!");
  if (pRef->mp_eKind == E_MAG_REF_LOOSE) {
    KV_ASSERT(pRef->mp_FileHandle);
    const u32 uiSize = boundedSize(numberOfBytesToRead, pRef->mp_uiDiskFileSize);
    const i32 iResult = uiSize != 0 ? ClFileIO::read(pRef->mp_FileHandle, 0, uiSize, pRef->mp_pDestinationBuffer)
                                    : static_cast<i32>(E_FILE_OK);
    zeroTail(pRef->mp_pDestinationBuffer, uiSize, numberOfBytesToRead);
    return iResult;
  }
  KV_ASSERT(pRef->mp_pMagDataInfo);
  KV_ASSERT(pRef->mp_pOwningMagTOC);
  const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
  if (isEncoded(pInfo)) {
    return readEncodedEntry(pRef, numberOfBytesToRead);
  }
  const u32 uiSize = boundedSize(numberOfBytesToRead, pInfo->mp_uiFinalSize);
  const i32 iResult = bringStoredBytes(pRef, uiSize, pRef->mp_pDestinationBuffer);
  zeroTail(pRef->mp_pDestinationBuffer, uiSize, numberOfBytesToRead);
  return iResult;
}

i32 ClMagFileIO::closeFileHandle(SMagRef* pRef) {
  if (pRef == nullptr) {
    return E_FILE_BAD_ARGUMENT;
  }
  if (!pRef->mp_bInUse) {
    return E_FILE_REFERENCE_NOT_IN_USE;
  }
  if (pRef->mp_FileHandle == nullptr) {
    return E_FILE_OK;
  }
  const i32 iResult = ClFileIO::close(pRef->mp_FileHandle);
  pRef->mp_FileHandle = nullptr;
  return iResult;
}

i32 ClMagFileIO::close(SMagRef* pRef) {
  if (pRef == nullptr) {
    return E_FILE_BAD_ARGUMENT;
  }
  // Owners may close after shutdown has given every reference back: nothing is left to do then.
  if (!pRef->mp_bInUse) {
    return E_FILE_REFERENCE_NOT_IN_USE;
  }
  freeOwnBuffers(pRef);
  if (pRef->mp_FileHandle != nullptr) {
    ClFileIO::close(pRef->mp_FileHandle);
    pRef->mp_FileHandle = nullptr;
  }
  giveRefBack(pRef);
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

i32 ClMagFileIO::openAsync(const char* pFilenameWithPath) {
  KV_ASSERT(pFilenameWithPath);
  ClAsyncAssetLoaderMgr::mpr_hCurrentAssetMagHandle = nullptr;
  if (pathTooLong(pFilenameWithPath)) {
    return E_FILE_BAD_ARGUMENT;
  }
  ClMagTOC* pTOC = nullptr;
  i32 iNameHash = 0;
  const ClMagDataInfo* pInfo = lookUpPath(pFilenameWithPath, &pTOC, &iNameHash);
  if (pInfo != nullptr && isEncoded(pInfo)) {
    KvPrintProblem(
        "[%s] is stored compressed or encrypted in [%s]; the asynchronous loader reads only plain "
        "entries",
        pFilenameWithPath, pTOC->mp_szDataFilePath);
    return E_FILE_DAMAGED;
  }
  SMagRef* pRef = takeRef();
  if (pRef == nullptr) {
    return E_FILE_NO_REFERENCE;
  }
  pRef->mp_pfnAsyncStepCallback = &ClAsyncAssetLoaderMgr::onStepDone;
  pRef->mp_pfnAsyncErrorCallback = &ClAsyncAssetLoaderMgr::onStepFailed;
  pRef->mp_iNameHash = iNameHash;
  ClAsyncAssetLoaderMgr::mpr_hCurrentAssetMagHandle = pRef;

  i32 iResult = E_FILE_OK;
  if (pInfo != nullptr) {
    pRef->mp_pMagDataInfo = pInfo;
    pRef->mp_pOwningMagTOC = pTOC;
    if (pTOC->mp_bDataLoaded) {
      pRef->mp_eKind = E_MAG_REF_IN_MEMORY;
      if (!entryInsideData(pTOC, pInfo, iNameHash, pTOC->mp_uiDataSize)) {
        iResult = E_FILE_DAMAGED;
      } else {
        asyncStepDone(pRef, E_AAS_STEP_OPEN, pInfo->mp_uiFinalSize);
        return E_FILE_OK;
      }
    } else {
      pRef->mp_eKind = E_MAG_REF_OWN_BUFFER;
      iResult = ClFileIO::openWithCallbacks(pTOC->mp_szDataFilePath, &relayOpenDone, pRef, &relayOpenError, pRef);
      if (iResult == E_FILE_OK && !entryInsideData(pTOC, pInfo, iNameHash, pRef->mp_uiDiskFileSize)) {
        ClFileIO::close(pRef->mp_FileHandle);
        pRef->mp_FileHandle = nullptr;
        iResult = E_FILE_DAMAGED;
      }
      if (iResult == E_FILE_OK) {
        asyncStepDone(pRef, E_AAS_STEP_OPEN, pInfo->mp_uiFinalSize);
        return E_FILE_OK;
      }
    }
  } else {
    pRef->mp_eKind = E_MAG_REF_LOOSE;
    iResult = ClFileIO::openWithCallbacks(pFilenameWithPath, &relayOpenDone, pRef, &relayOpenError, pRef);
    if (iResult == E_FILE_OK) {
      asyncStepDone(pRef, E_AAS_STEP_OPEN, pRef->mp_uiDiskFileSize);
      return E_FILE_OK;
    }
  }
  // Like open: a failed open gives its reference back.
  ClAsyncAssetLoaderMgr::mpr_hCurrentAssetMagHandle = nullptr;
  giveRefBack(pRef);
  return iResult;
}

i32 ClMagFileIO::readAsync(u32 numberOfBytesToRead) {
  SMagRef* pRef = ClAsyncAssetLoaderMgr::mpr_hCurrentAssetMagHandle;
  if (pRef == nullptr) {
    return E_FILE_BAD_ARGUMENT;
  }
  if (pRef->mp_eKind == E_MAG_REF_IN_MEMORY) {
    pRef->mp_pDestinationBuffer = pRef->mp_pOwningMagTOC->mp_pData + pRef->mp_pMagDataInfo->mp_uiDataOffset;
    asyncStepDone(pRef, E_AAS_STEP_READ, 0);
    return E_FILE_OK;
  }
  KV_ASSERT(pRef->mp_pDestinationBuffer);
  KV_ASSERT_MSG(numberOfBytesToRead <= pRef->mp_uiBufferSize, "Mag read larger than its read buffer!");
  u32 uiOffset = 0;
  u32 uiSize = 0;
  if (pRef->mp_eKind == E_MAG_REF_OWN_BUFFER) {
    const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
    uiSize = boundedSize(numberOfBytesToRead, pInfo->mp_uiFinalSize);
    uiOffset = pInfo->mp_uiDataOffset;
    if (pRef->mp_pOwningMagTOC->mp_bDataLoaded) {
      std::memcpy(pRef->mp_pDestinationBuffer, pRef->mp_pOwningMagTOC->mp_pData + uiOffset, uiSize);
      zeroTail(pRef->mp_pDestinationBuffer, uiSize, numberOfBytesToRead);
      asyncStepDone(pRef, E_AAS_STEP_READ, 0);
      return E_FILE_OK;
    }
  } else {
    uiSize = boundedSize(numberOfBytesToRead, pRef->mp_uiDiskFileSize);
  }
  zeroTail(pRef->mp_pDestinationBuffer, uiSize, numberOfBytesToRead);
  if (uiSize == 0) {
    asyncStepDone(pRef, E_AAS_STEP_READ, 0);
    return E_FILE_OK;
  }
  KV_ASSERT(pRef->mp_FileHandle);
  pRef->mp_bInUse = 0;
  const i32 iResult = ClFileIO::readAsyncWithCallbacks(pRef->mp_FileHandle, uiOffset, uiSize,
                                                       pRef->mp_pDestinationBuffer, &relayReadDone, pRef,
                                                       &relayReadError, pRef);
  if (iResult != E_FILE_OK) {
    pRef->mp_bInUse = 1;
  }
  return iResult;
}

i32 ClMagFileIO::closeAsync() {
  SMagRef* pRef = ClAsyncAssetLoaderMgr::mpr_hCurrentAssetMagHandle;
  if (pRef == nullptr) {
    return E_FILE_BAD_ARGUMENT;
  }
  if (pRef->mp_FileHandle == nullptr) {
    asyncStepDone(pRef, E_AAS_STEP_CLOSE, 0);
    return E_FILE_OK;
  }
  return ClFileIO::closeWithCallbacks(pRef->mp_FileHandle, &relayCloseDone, pRef, &relayCloseError, pRef);
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
  const SMagTOCRecord* pRecord = recordAt(pTOC, iIndex);
  *pOutNameHash = pRecord->mp_iNameHash;
  return infoOf(pTOC, pRecord);
}

i32 ClMagFileIO::getOpenRefCount() { return g_MagRefPool.getCount(); }
