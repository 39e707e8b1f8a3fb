// The asynchronous path of the archive reader: the asynchronous loader opens, reads and closes one plain entry or
// loose file at a time through the file layer's callbacks, which are relayed to the loader's step and error
// callbacks.
#include <cstring>

#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Files/ClMagFileIOInternal.h"
#include "Corvane/System/KvDebug.h"

using namespace KvMag;

namespace {

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

void relayOpenDone(Win32FileData* pFile, u64 uiFileSize, void* pUser) {
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

// The asynchronous open of a file, with a file record freed first as for every open.
i32 openWithCallbacks(const char* pPath, SMagRef* pRef) {
  freeFileRecord();
  return ClFileIO::openWithCallbacks(pPath, &relayOpenDone, pRef, &relayOpenError, pRef);
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

}  // namespace

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
    reportProblem(
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
      closeIdleDataFile(pTOC);
      iResult = openWithCallbacks(pTOC->mp_szDataFilePath, pRef);
      if (iResult != E_FILE_OK) {
        reportDataFileNotOpened(pTOC, iResult);
      } else if (!entryInsideData(pTOC, pInfo, iNameHash, pRef->mp_uiDiskFileSize)) {
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
    iResult = openWithCallbacks(pFilenameWithPath, pRef);
    if (iResult != E_FILE_OK) {
      noteLooseFileNotOpened(pFilenameWithPath, iResult);
    } else {
      if (pRef->mp_uiDiskFileSize <= gc_uiMAG_MAX_LOADED_FILE) {
        asyncStepDone(pRef, E_AAS_STEP_OPEN, static_cast<u32>(pRef->mp_uiDiskFileSize));
        return E_FILE_OK;
      }
      reportProblem("[%s] is %llu bytes, too large to be read (at most %u)", pFilenameWithPath,
                    static_cast<unsigned long long>(pRef->mp_uiDiskFileSize), gc_uiMAG_MAX_LOADED_FILE);
      ClFileIO::close(pRef->mp_FileHandle);
      pRef->mp_FileHandle = nullptr;
      iResult = E_FILE_TOO_LARGE;
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
    uiSize = boundedSize(numberOfBytesToRead, static_cast<u32>(pRef->mp_uiDiskFileSize));
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
