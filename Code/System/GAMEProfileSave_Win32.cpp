#include "Code/System/GAMEProfileSave.h"

#include <cstring>

#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Store/StoreApi.h"

std::atomic<u32> g_uiAutoSaveState{gc_uiAUTO_SAVE_IDLE};
ClGAMEProfileSaveHooks g_GAMEProfileSaveHooks;
void* mpr_pPlayerProfile = nullptr;

namespace {

u32 saveProfileThread(ClThread*, void*) {
  u32 uiSize = 0;
  const void* pData = ClSaveGameUtility::getSaveSnapshot(&uiSize);
  KV_ASSERT(pData);
  KV_ASSERT(uiSize > 0);
  ClMutexLock* pFileLock = ClFileIO::getFileLock();
  if (pFileLock != nullptr) {
    pFileLock->enter();
  }
  ISteamRemoteStorage* pStorage = SteamRemoteStorage();
  const bool bWritten =
      pStorage != nullptr && pStorage->FileWrite(gc_szPROFILE_FILE_NAME, pData, static_cast<std::int32_t>(uiSize));
  g_uiAutoSaveState.store(bWritten ? gc_uiAUTO_SAVE_WRITTEN : gc_uiAUTO_SAVE_FAILED);
  if (pFileLock != nullptr) {
    pFileLock->leave();
  }
  // The last touch of the save snapshot.
  ClSaveGameUtility::endSave();
  return 0;
}

}  // namespace

i32 ClGAMEProfileSaveHooks::autoSave() {
  KV_ASSERT_MSG(mpr_pPlayerProfile, "pProfile");
  const bool bStarts = ClSaveGameUtility::tryBeginSave();
  if (bStarts) {
    g_uiAutoSaveState.store(gc_uiAUTO_SAVE_IDLE);
  }
  void* pData = ClSaveGameUtility::getSnapshotBuffer(!bStarts);
  KV_ASSERT(pData);
  std::memcpy(pData, mpr_pPlayerProfile, gc_uiSAVE_SNAPSHOT_SIZE);
  if (!bStarts) {
    ClSaveGameUtility::requestSaveAgain();
    return 1;
  }
  g_uiAutoSaveState.store(gc_uiAUTO_SAVE_BUSY);
  ClThreadInfo params;
  params.mp_creationParams.mp_threadCall = &saveProfileThread;
  ClThreadMgr::orphanThread(ClThreadMgr::createThread(params));
  return 1;
}
