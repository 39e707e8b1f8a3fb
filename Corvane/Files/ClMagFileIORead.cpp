// References and synchronous reads: an entry opened from an archive in memory or on disk (or a loose file),
// its stored bytes brought into read buffers, decrypted in place and inflated, and the reference closed.
#include <zlib.h>

#include <cstring>

#include "Corvane/Files/ClMagFileIOInternal.h"
#include "Corvane/System/KvDebug.h"

using namespace KvMag;

namespace {

void freeStagingBuffer(SMagRef* pRef) {
  giveBufferBack(pRef->mp_pStagingBuffer, pRef->mp_uiStagingCapacity);
  pRef->mp_pStagingBuffer = nullptr;
  pRef->mp_uiStagingCapacity = 0;
}

// Takes a reference's disk file from it: an archive's data file goes back to the archive to be kept when it
// keeps none yet, anything else is closed. The ClFileIO::close code (0 for a kept file).
i32 releaseRefFile(SMagRef* pRef) {
  Win32FileData* pFile = pRef->mp_FileHandle;
  pRef->mp_FileHandle = nullptr;
  if (pFile == nullptr) {
    return E_FILE_OK;
  }
  ClMagTOC* pTOC = pRef->mp_pOwningMagTOC;
  if (pRef->mp_eKind != E_MAG_REF_LOOSE && pTOC != nullptr && pTOC->mp_bTOCLoaded &&
      pTOC->mp_pIdleDataFile == nullptr && !ClFileIO::isReading(pFile)) {
    pTOC->mp_pIdleDataFile = pFile;
    pTOC->mp_uiIdleDataFileSize = pRef->mp_uiDiskFileSize;
    return E_FILE_OK;
  }
  return ClFileIO::close(pFile);
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
  const i32 iResult = openDataFile(pTOC, &pRef->mp_uiDiskFileSize, &pRef->mp_FileHandle);
  if (iResult != E_FILE_OK) {
    reportDataFileNotOpened(pTOC, iResult);
    pRef->mp_FileHandle = nullptr;
    return iResult;
  }
  if (!entryInsideData(pTOC, pInfo, iNameHash, pRef->mp_uiDiskFileSize)) {
    releaseRefFile(pRef);
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
  const i32 iResult = ClFileIO::read(pRef->mp_FileHandle, pInfo->mp_uiDataOffset, uiSize, pTarget);
  if (iResult != E_FILE_OK) {
    // The file layer has said how the read failed.
    noteProblem("Mag data file [%s] could not be read: entry 0x%08X (%u bytes at offset %u), code %d",
                pTOC->mp_szDataFilePath, static_cast<u32>(pRef->mp_iNameHash), uiSize, pInfo->mp_uiDataOffset,
                iResult);
  }
  return iResult;
}

i32 inflateEntry(SMagRef* pRef, const u8* pStream, u32 uiDestinationSize) {
  const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
  uLongf uiProduced = uiDestinationSize;
  const int iZResult = uncompress(pRef->mp_pDestinationBuffer, &uiProduced, pStream, pInfo->mp_uiCompressedSize);
  if (iZResult != Z_OK || uiProduced != pInfo->mp_uiFinalSize) {
    reportProblem(
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
    reportProblem("Mag data file [%s] is damaged: entry 0x%08X could not be decrypted",
                  pRef->mp_pOwningMagTOC->mp_szDataFilePath, static_cast<u32>(pRef->mp_iNameHash));
    return E_FILE_DAMAGED;
  }
  return E_FILE_OK;
}

i32 readEncodedEntry(SMagRef* pRef, u32 numberOfBytesToRead) {
  const ClMagDataInfo* pInfo = pRef->mp_pMagDataInfo;
  i32 iResult = E_FILE_OK;
  u32 uiProduced = pInfo->mp_uiFinalSize;
  if (!pInfo->mp_uiCompressed) {
    // Encrypted only: the ciphertext is no longer than the entry, so it is brought and decrypted where it ends
    // up; an entry longer than its ciphertext ends in zeros.
    iResult = bringStoredBytes(pRef, pInfo->mp_uiEncryptedSize, pRef->mp_pDestinationBuffer);
    if (iResult == E_FILE_OK) {
      iResult = decryptInPlace(pRef, pRef->mp_pDestinationBuffer);
    }
    uiProduced = pInfo->mp_uiEncryptedSize;
  } else {
    KV_ASSERT(pRef->mp_pStagingBuffer);
    iResult = bringStoredBytes(pRef, pInfo->getStoredSize(), pRef->mp_pStagingBuffer);
    if (iResult == E_FILE_OK && pInfo->mp_uiEncrypted) {
      iResult = decryptInPlace(pRef, pRef->mp_pStagingBuffer);
    }
    if (iResult == E_FILE_OK) {
      iResult = inflateEntry(pRef, pRef->mp_pStagingBuffer, numberOfBytesToRead);
    }
    freeStagingBuffer(pRef);
  }
  if (iResult == E_FILE_OK) {
    zeroTail(pRef->mp_pDestinationBuffer, uiProduced, numberOfBytesToRead);
  }
  return iResult;
}

}  // namespace

namespace KvMag {

SMagRef* takeRef() {
  if (g_MagRefPool.isFull()) {
    reportProblem("All %d archive references are in use", gc_iMAX_MAG_REFS);
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
    giveBufferBack(pRef->mp_pDestinationBuffer, pRef->mp_uiBufferCapacity);
  }
  pRef->mp_pDestinationBuffer = nullptr;
  pRef->mp_uiBufferSize = 0;
  pRef->mp_uiBufferCapacity = 0;
  freeStagingBuffer(pRef);
}

bool entryInsideData(const ClMagTOC* pTOC, const ClMagDataInfo* pInfo, i32 iNameHash, u64 uiDataSize) {
  if (fitsIn(pInfo->mp_uiDataOffset, pInfo->getStoredSize(), uiDataSize)) {
    return true;
  }
  reportProblem("Mag data file [%s] is damaged: entry 0x%08X (%u bytes at offset %u) lies past its end (%llu bytes)",
                pTOC->mp_szDataFilePath, static_cast<u32>(iNameHash), pInfo->getStoredSize(), pInfo->mp_uiDataOffset,
                static_cast<unsigned long long>(uiDataSize));
  return false;
}

bool isEncoded(const ClMagDataInfo* pInfo) { return pInfo->mp_uiCompressed || pInfo->mp_uiEncrypted; }

// Reads min(asked, available) bytes and zero-fills the rest of the asked size.
u32 boundedSize(u32 uiAsked, u32 uiAvailable) { return uiAsked < uiAvailable ? uiAsked : uiAvailable; }

void zeroTail(u8* pBuffer, u32 uiFilled, u32 uiAsked) {
  if (uiAsked > uiFilled) {
    std::memset(pBuffer + uiFilled, 0, uiAsked - uiFilled);
  }
}

}  // namespace KvMag

void ClMagFileIO::initRefPool() { g_MagRefPool.initialize(); }

i32 ClMagFileIO::open(const char* pFilenameWithPath, u32* pOutSize, SMagRef** ppOutRef) {
  KV_ASSERT(pFilenameWithPath);
  KV_ASSERT(pOutSize);
  KV_ASSERT(ppOutRef);
  *ppOutRef = nullptr;
  if (pathTooLong(pFilenameWithPath)) {
    reportProblem("Path of %d characters or more cannot be opened: [%.80s...]", KV_MAX_PATH_LEN, pFilenameWithPath);
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
  const i32 iResult = openFile(pFilenameWithPath, &pRef->mp_uiDiskFileSize, &pRef->mp_FileHandle);
  if (iResult != E_FILE_OK) {
    pRef->mp_FileHandle = nullptr;
    giveRefBack(pRef);
    noteLooseFileNotOpened(pFilenameWithPath, iResult);
    return iResult;
  }
  if (pRef->mp_uiDiskFileSize > gc_uiMAG_MAX_LOADED_FILE) {
    reportProblem("[%s] is %llu bytes, too large to be read (at most %u)", pFilenameWithPath,
                  static_cast<unsigned long long>(pRef->mp_uiDiskFileSize), gc_uiMAG_MAX_LOADED_FILE);
    ClFileIO::close(pRef->mp_FileHandle);
    pRef->mp_FileHandle = nullptr;
    giveRefBack(pRef);
    return E_FILE_TOO_LARGE;
  }
  *pOutSize = static_cast<u32>(pRef->mp_uiDiskFileSize);
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
    noteProblem("read buffers asked for a reference that is not open");
    return 0;
  }
  freeOwnBuffers(pRef);
  if (pRef->mp_eKind == E_MAG_REF_LOOSE) {
    pRef->mp_pDestinationBuffer = takeBuffer(numberOfBytesToRead, uiAlignment, &pRef->mp_uiBufferCapacity);
    pRef->mp_uiBufferSize = pRef->mp_pDestinationBuffer != nullptr ? numberOfBytesToRead : 0;
    if (pRef->mp_pDestinationBuffer == nullptr) {
      noteProblem("no memory for a read buffer of %u bytes", numberOfBytesToRead);
      return 0;
    }
    return 1;
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
  pRef->mp_pDestinationBuffer = takeBuffer(numberOfBytesToRead, uiAlignment, &pRef->mp_uiBufferCapacity);
  if (pRef->mp_pDestinationBuffer == nullptr) {
    noteProblem("no memory for a read buffer of %u bytes", numberOfBytesToRead);
    return 0;
  }
  if (uiSizeToAllocate != 0) {
    pRef->mp_pStagingBuffer = takeBuffer(uiSizeToAllocate, uiAlignment, &pRef->mp_uiStagingCapacity);
    if (pRef->mp_pStagingBuffer == nullptr) {
      freeOwnBuffers(pRef);
      noteProblem("no memory for a read buffer of %u bytes", uiSizeToAllocate);
      return 0;
    }
  }
  pRef->mp_uiBufferSize = numberOfBytesToRead;
  return 1;
}

i32 ClMagFileIO::read(SMagRef* pRef, u32 numberOfBytesToRead) {
  if (pRef == nullptr || !pRef->mp_bInUse) {
    noteProblem("read of a reference that is not open");
    return pRef == nullptr ? E_FILE_BAD_ARGUMENT : E_FILE_REFERENCE_NOT_IN_USE;
  }
  if (pRef->mp_eKind == E_MAG_REF_IN_MEMORY) {
    pRef->mp_pDestinationBuffer = pRef->mp_pOwningMagTOC->mp_pData + pRef->mp_pMagDataInfo->mp_uiDataOffset;
    return E_FILE_OK;
  }
  KV_ASSERT(pRef->mp_pDestinationBuffer);
  KV_ASSERT_MSG(numberOfBytesToRead <= pRef->mp_uiBufferSize, "Mag read larger than its read buffer!");
  if (pRef->mp_eKind == E_MAG_REF_LOOSE) {
    KV_ASSERT(pRef->mp_FileHandle);
    const u32 uiSize = boundedSize(numberOfBytesToRead, static_cast<u32>(pRef->mp_uiDiskFileSize));
    const i32 iResult = uiSize != 0 ? ClFileIO::read(pRef->mp_FileHandle, 0, uiSize, pRef->mp_pDestinationBuffer)
                                    : static_cast<i32>(E_FILE_OK);
    if (iResult != E_FILE_OK) {
      // The file layer has said how the read failed.
      noteProblem("[%s] could not be read (code %d)", ClFileIO::getFileName(pRef->mp_FileHandle), iResult);
    }
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
  return releaseRefFile(pRef);
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
  releaseRefFile(pRef);
  giveRefBack(pRef);
  return 1;
}

i32 ClMagFileIO::getOpenRefCount() { return g_MagRefPool.getCount(); }
