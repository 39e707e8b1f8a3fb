#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"

#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/KvDebug.h"

ClList<SAsyncAssetEntry> ClAsyncAssetLoaderMgr::m_queue;
SAsyncAssetEntry* ClAsyncAssetLoaderMgr::pCurrentAsset = nullptr;
SMagRef* ClAsyncAssetLoaderMgr::mpr_hCurrentAssetMagHandle = nullptr;
i32 ClAsyncAssetLoaderMgr::m_iStepMark = E_AAS_STEP_NONE;
bool ClAsyncAssetLoaderMgr::m_bStepCompleted = false;

namespace {

typedef ClAsyncAssetLoaderMgr Mgr;

// The first waiting entry from pStart on (from the queue head when pStart is null).
SAsyncAssetEntry* firstWaitingFrom(SAsyncAssetEntry* pStart) {
  for (SAsyncAssetEntry* pEntry = pStart != nullptr ? pStart : Mgr::m_queue.getHead(); pEntry != nullptr;
       pEntry = ClList<SAsyncAssetEntry>::getNext(pEntry)) {
    if (pEntry->mp_eState == E_AAS_WAITING) {
      return pEntry;
    }
  }
  return nullptr;
}

void chooseCurrent() { Mgr::pCurrentAsset = firstWaitingFrom(Mgr::pCurrentAsset); }

void clearStepMark() {
  Mgr::m_iStepMark = E_AAS_STEP_NONE;
  Mgr::m_bStepCompleted = false;
}

// Gives the current reference and its file back after a failed step.
void dropCurrentReference() {
  ClMagFileIO::closeFileHandle(Mgr::mpr_hCurrentAssetMagHandle);
  ClMagFileIO::close(Mgr::mpr_hCurrentAssetMagHandle);
  Mgr::mpr_hCurrentAssetMagHandle = nullptr;
}

void fail(SAsyncAssetEntry* pEntry, i32 iFailedStep, i32 iErrorCode) {
  dropCurrentReference();
  pEntry->mp_eState = E_AAS_FAILED;
  pEntry->mp_iFailedStep = iFailedStep;
  pEntry->mp_iErrorCode = iErrorCode;
}

// A completion that is not the awaited step is a failure, recorded by onStepFailed.
void failFromErrorCompletion(SAsyncAssetEntry* pEntry) {
  dropCurrentReference();
  pEntry->mp_eState = E_AAS_FAILED;
}

// Whether the completion of the awaited step has arrived. A completion of another step fails the entry (false
// then, as while nothing has arrived yet).
bool awaitedStepArrived(SAsyncAssetEntry* pEntry, i32 iAwaitedStep) {
  if (!Mgr::m_bStepCompleted) {
    return false;
  }
  if (Mgr::m_iStepMark != iAwaitedStep) {
    failFromErrorCompletion(pEntry);
    return false;
  }
  return true;
}

// Only the current entry in states 1 to 3 has I/O of its own; while its read is in flight the completion will
// write into its buffer and report to it, so it must not be freed before.
bool readInFlight(const SAsyncAssetEntry* pEntry) {
  return pEntry == Mgr::pCurrentAsset && pEntry->mp_eState == E_AAS_READING && !Mgr::m_bStepCompleted;
}

bool settled(const SAsyncAssetEntry* pEntry) {
  return pEntry->mp_eState == E_AAS_WAITING || pEntry->mp_eState == E_AAS_LOADED ||
         pEntry->mp_eState == E_AAS_FAILED;
}

void waitForEntry(SAsyncAssetEntry* pAssetToRelease, bool bReleasedEndsWait) {
  for (i32 iRound = 0; !settled(pAssetToRelease) && (iRound < gc_iASYNC_WAIT_ROUNDS || readInFlight(pAssetToRelease));
       ++iRound) {
    if (pAssetToRelease->mp_eState == E_AAS_UNKNOWN) {
      if (bReleasedEndsWait) {
        return;
      }
      KV_ASSERT(pAssetToRelease->mp_eState != E_AAS_UNKNOWN);
    }
    ClFileIO::sleepAlertable(1);
    ClFileIO::sleepAlertable(0);
    ClAsyncAssetLoaderMgr::tick();
  }
}

void destroyEntry(SAsyncAssetEntry* pEntry) {
  pEntry->mp_eState = E_AAS_UNKNOWN;
  pEntry->~SAsyncAssetEntry();
  KvAlignedFree(pEntry);
}

// Frees what the entry holds and the entry itself; the wait has already happened.
void releaseSettled(SAsyncAssetEntry* pEntry) {
  if (pEntry == Mgr::pCurrentAsset) {
    // Whatever its state, the loader must not keep pointing at a freed entry.
    Mgr::pCurrentAsset = firstWaitingFrom(ClList<SAsyncAssetEntry>::getNext(pEntry));
    if (Mgr::mpr_hCurrentAssetMagHandle != nullptr && pEntry->mp_eState != E_AAS_WAITING) {
      dropCurrentReference();
    }
  }
  ClMagFileIO::close(pEntry->mp_hMagHandle);
  pEntry->mp_hMagHandle = nullptr;
  pEntry->mp_pData = nullptr;
  pEntry->mp_uiDataSize = 0;
  KvAlignedFree(pEntry->mp_pPlatformSpecificData);
  pEntry->mp_pPlatformSpecificData = nullptr;
  if (Mgr::m_queue.getCount() > 0) {
    Mgr::m_queue.remove(pEntry);
  }
  destroyEntry(pEntry);
}

}  // namespace

void ClAsyncAssetLoaderMgr::initialize() {
  m_queue = ClList<SAsyncAssetEntry>();
  pCurrentAsset = nullptr;
  mpr_hCurrentAssetMagHandle = nullptr;
  clearStepMark();
}

SAsyncAssetEntry* ClAsyncAssetLoaderMgr::requestAsset(const char* fileName, void* pUser,
                                                      SAsyncAssetEntry::LoadedCallback pfnLoaded,
                                                      SAsyncAssetEntry::FailureCallback pfnFailure,
                                                      SAsyncAssetEntry::UnusedCallback pfnUnused) {
  KV_ASSERT(fileName);
  void* pMemory = KvAlignedAlloc(sizeof(SAsyncAssetEntry), 16);
  if (pMemory == nullptr) {
    return nullptr;
  }
  SAsyncAssetEntry* pEntry = new (pMemory) SAsyncAssetEntry();
  pEntry->mp_uiAssetType = gc_uiASSET_TYPE_EFFECT;
  pEntry->mp_iNameHash = static_cast<i32>(KvStrHash(fileName));
  KvStrLCpy(pEntry->mp_szFileName, fileName, sizeof(pEntry->mp_szFileName));
  pEntry->mp_eState = E_AAS_WAITING;
  pEntry->mp_pfnLoadedCallback = pfnLoaded;
  pEntry->mp_pfnFailureCallback = pfnFailure;
  pEntry->mp_pfnUnusedCallback = pfnUnused;
  pEntry->mp_pUser = pUser;
  m_queue.addTail(pEntry);
  return pEntry;
}

void ClAsyncAssetLoaderMgr::tick() {
  if (pCurrentAsset == nullptr) {
    chooseCurrent();
    if (pCurrentAsset == nullptr) {
      return;
    }
  }
  SAsyncAssetEntry* pEntry = pCurrentAsset;
  switch (pEntry->mp_eState) {
    case E_AAS_WAITING: {
      clearStepMark();
      const i32 iResult = ClMagFileIO::openAsync(pEntry->mp_szFileName);
      if (iResult != E_FILE_OK) {
        fail(pEntry, E_AAS_STEP_OPEN, iResult);
      } else {
        pEntry->mp_eState = E_AAS_OPENING;
      }
      break;
    }
    case E_AAS_OPENING:
      if (!awaitedStepArrived(pEntry, E_AAS_STEP_OPEN)) {
        break;
      }
      clearStepMark();
      if (!ClMagFileIO::allocReadBuffers(mpr_hCurrentAssetMagHandle, pEntry->mp_uiDataSize, 16)) {
        fail(pEntry, E_AAS_STEP_ALLOCATE, 0);
        break;
      }
      pEntry->mp_eState = E_AAS_READING;
      if (const i32 iResult = ClMagFileIO::readAsync(pEntry->mp_uiDataSize); iResult != E_FILE_OK) {
        fail(pEntry, E_AAS_STEP_READ, iResult);
      }
      break;
    case E_AAS_READING:
      if (!awaitedStepArrived(pEntry, E_AAS_STEP_READ)) {
        break;
      }
      clearStepMark();
      pEntry->mp_eState = E_AAS_CLOSING;
      if (ClMagFileIO::closeAsync() != E_FILE_OK) {
        // A failed close counts as a completed one.
        ClMagFileIO::closeFileHandle(mpr_hCurrentAssetMagHandle);
        m_iStepMark = E_AAS_STEP_CLOSE;
        m_bStepCompleted = true;
      }
      break;
    case E_AAS_CLOSING:
      if (!awaitedStepArrived(pEntry, E_AAS_STEP_CLOSE)) {
        break;
      }
      KV_ASSERT(mpr_hCurrentAssetMagHandle);
      pEntry->mp_hMagHandle = mpr_hCurrentAssetMagHandle;
      pEntry->mp_pData = mpr_hCurrentAssetMagHandle->mp_pDestinationBuffer;
      mpr_hCurrentAssetMagHandle = nullptr;
      pEntry->mp_eState = E_AAS_LOADED;
      break;
    case E_AAS_LOADED:
      chooseCurrent();
      if (pEntry->mp_pfnLoadedCallback != nullptr) {
        pEntry->mp_bLoadedCallbackCalled = 1;
        pEntry->mp_pfnLoadedCallback(pEntry, pEntry->mp_pUser);
      }
      break;
    case E_AAS_FAILED:
      chooseCurrent();
      if (pEntry->mp_pfnFailureCallback != nullptr && !pEntry->mp_bFailureCallbackCalled) {
        pEntry->mp_bFailureCallbackCalled = 1;
        pEntry->mp_pfnFailureCallback(pEntry, pEntry->mp_pUser, pEntry->mp_iFailedStep, pEntry->mp_iErrorCode);
      }
      break;
    default:
      // A released entry is never current.
      KV_ASSERT(pEntry->mp_eState != E_AAS_UNKNOWN);
      break;
  }
}

void ClAsyncAssetLoaderMgr::dispatchFinished() {
  SAsyncAssetEntry* pEntry = m_queue.getHead();
  while (pEntry != nullptr) {
    SAsyncAssetEntry* pNext = ClList<SAsyncAssetEntry>::getNext(pEntry);
    if (pEntry->mp_eState == E_AAS_FAILED || pEntry->mp_eState == E_AAS_UNKNOWN) {
      if (pEntry == pCurrentAsset) {
        pCurrentAsset = nullptr;
      }
      if (pEntry->mp_pfnFailureCallback != nullptr && !pEntry->mp_bFailureCallbackCalled) {
        pEntry->mp_bFailureCallbackCalled = 1;
        pEntry->mp_pfnFailureCallback(pEntry, pEntry->mp_pUser, pEntry->mp_iFailedStep, pEntry->mp_iErrorCode);
      }
      releaseSettled(pEntry);
    }
    pEntry = pNext;
  }
}

i32 ClAsyncAssetLoaderMgr::releaseAsset(SAsyncAssetEntry* pAssetToRelease) {
  if (pAssetToRelease == nullptr) {
    return 0;
  }
  waitForEntry(pAssetToRelease, false);
  releaseSettled(pAssetToRelease);
  return 1;
}

void ClAsyncAssetLoaderMgr::terminate() {
  for (SAsyncAssetEntry* pEntry = m_queue.getHead(); pEntry != nullptr;
       pEntry = ClList<SAsyncAssetEntry>::getNext(pEntry)) {
    if (pEntry->mp_eState != E_AAS_UNKNOWN) {
      waitForEntry(pEntry, true);
    }
  }
  while (m_queue.getHead() != nullptr) {
    releaseSettled(m_queue.getHead());
  }
  initialize();
}

void ClAsyncAssetLoaderMgr::onStepDone(SMagRef* pRef, i32 iStep, u32 uiSize, void* /*pUser*/) {
  KV_ASSERT(pCurrentAsset);
  switch (iStep) {
    case E_AAS_STEP_OPEN:
      mpr_hCurrentAssetMagHandle = pRef;
      pCurrentAsset->mp_uiDataSize = uiSize;
      break;
    case E_AAS_STEP_READ:
      if (mpr_hCurrentAssetMagHandle == nullptr) {
        KV_ASSERT(pCurrentAsset->mp_hMagHandle);
        pCurrentAsset->mp_pData = pCurrentAsset->mp_hMagHandle->mp_pDestinationBuffer;
      } else {
        pCurrentAsset->mp_pData = mpr_hCurrentAssetMagHandle->mp_pDestinationBuffer;
      }
      break;
    default:
      break;
  }
  m_iStepMark = iStep;
  m_bStepCompleted = true;
}

void ClAsyncAssetLoaderMgr::onStepFailed(SMagRef* /*pRef*/, i32 iOperation, u32 uiCode, void* /*pUser*/) {
  KV_ASSERT(pCurrentAsset);
  if (iOperation == gc_iMAG_ASYNC_OPERATION_CLOSE) {
    // The file is gone either way: a failed close counts as a completed one.
    m_iStepMark = E_AAS_STEP_CLOSE;
  } else {
    pCurrentAsset->mp_iFailedStep = iOperation == gc_iMAG_ASYNC_OPERATION_OPEN ? E_AAS_STEP_OPEN : E_AAS_STEP_READ;
    pCurrentAsset->mp_iErrorCode = static_cast<i32>(uiCode);
    m_iStepMark = E_AAS_STEP_ERROR;
  }
  m_bStepCompleted = true;
}
