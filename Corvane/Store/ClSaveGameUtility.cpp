#include "Corvane/Store/ClSaveGameUtility.h"

#include <chrono>
#include <thread>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/System/KvDebug.h"

void* ClSaveGameUtility::mpr_pSaveGameDataSnapshot = nullptr;
u32 ClSaveGameUtility::m_uiSaveGameDataSnapshotSize = 0;
u32 ClSaveGameUtility::m_uiSaveGameDataSnapshotTag = gc_uiSAVE_SNAPSHOT_TAG;
void* ClSaveGameUtility::mpr_pSaveGameDirtyFlagDataSnapshot = nullptr;
u32 ClSaveGameUtility::m_uiSaveGameDirtyFlagDataSnapshotSize = 0;
u32 ClSaveGameUtility::m_uiSaveGameDirtyFlagDataSnapshotTag = gc_uiSAVE_SNAPSHOT_TAG;
std::atomic<u32> ClSaveGameUtility::mp_uiSaveRunning{0};
std::atomic<u32> ClSaveGameUtility::mp_uiSaveAgain{0};

namespace {

ClSaveGameHooks* g_pSaveGameHooks = nullptr;

}  // namespace

void KvSetStoreGameHooks(ClSaveGameHooks& hooks) { g_pSaveGameHooks = &hooks; }

ClSaveGameHooks& KvStoreGameHooks() {
  KV_ASSERT_MSG(g_pSaveGameHooks != nullptr, "The game's store hooks are not installed");
  return *g_pSaveGameHooks;
}

void ClSaveGameUtility::makeSaveFolder() {
  wchar16 szPath[KV_MAX_PATH_LEN];
  KvStrLCpyW(szPath, g_wszUserFolder, KV_MAX_PATH_LEN);
  KvStrLCpyW(szPath + KvStrLenW(szPath), u"SAVEDATA/", KV_MAX_PATH_LEN - KvStrLenW(szPath));
  KvWideSlashesToBackslashes(szPath);
  // An existing folder, or one that cannot be made, is not reported: the profile lives in remote storage.
  ClFileIO::createDirectory(szPath);
}

bool ClSaveGameUtility::tryBeginSave() { return mp_uiSaveRunning.exchange(1, std::memory_order_acq_rel) == 0; }

void ClSaveGameUtility::abandonSave() { mp_uiSaveRunning.store(0, std::memory_order_release); }

void ClSaveGameUtility::endSave() { mp_uiSaveRunning.store(0, std::memory_order_release); }

void* ClSaveGameUtility::getSnapshotBuffer(bool bSaveRunning) {
  if (bSaveRunning) {
    KvAlignedFree(mpr_pSaveGameDirtyFlagDataSnapshot);
    mpr_pSaveGameDirtyFlagDataSnapshot = KvAlignedAlloc(gc_uiSAVE_SNAPSHOT_SIZE, 16);
    KV_ASSERT(mpr_pSaveGameDirtyFlagDataSnapshot);
    m_uiSaveGameDirtyFlagDataSnapshotSize = gc_uiSAVE_SNAPSHOT_SIZE;
    m_uiSaveGameDirtyFlagDataSnapshotTag = gc_uiSAVE_SNAPSHOT_TAG;
    return mpr_pSaveGameDirtyFlagDataSnapshot;
  }
  KvAlignedFree(mpr_pSaveGameDataSnapshot);
  mpr_pSaveGameDataSnapshot = KvAlignedAlloc(gc_uiSAVE_SNAPSHOT_SIZE, 16);
  KV_ASSERT(mpr_pSaveGameDataSnapshot);
  m_uiSaveGameDataSnapshotSize = gc_uiSAVE_SNAPSHOT_SIZE;
  m_uiSaveGameDataSnapshotTag = gc_uiSAVE_SNAPSHOT_TAG;
  return mpr_pSaveGameDataSnapshot;
}

const void* ClSaveGameUtility::getSaveSnapshot(u32* puiSize) {
  KvCheckPointer(puiSize);
  *puiSize = m_uiSaveGameDataSnapshotSize;
  return mpr_pSaveGameDataSnapshot;
}

void ClSaveGameUtility::tickPendingSave() {
  if (!isSaveAgainRequested() || isSaveRunning()) {
    return;
  }
  mp_uiSaveAgain.store(0, std::memory_order_relaxed);
  KvAlignedFree(mpr_pSaveGameDataSnapshot);
  mpr_pSaveGameDataSnapshot = mpr_pSaveGameDirtyFlagDataSnapshot;
  m_uiSaveGameDataSnapshotSize = m_uiSaveGameDirtyFlagDataSnapshotSize;
  m_uiSaveGameDataSnapshotTag = m_uiSaveGameDirtyFlagDataSnapshotTag;
  mpr_pSaveGameDirtyFlagDataSnapshot = nullptr;
  m_uiSaveGameDirtyFlagDataSnapshotSize = 0;
  m_uiSaveGameDirtyFlagDataSnapshotTag = gc_uiSAVE_SNAPSHOT_TAG;
  gameSpecificAutoSave();
}

void ClSaveGameUtility::waitForSave() {
  while (isSaveRunning()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void ClSaveGameUtility::freeSnapshots() {
  // The save thread may still be reading the save snapshot.
  waitForSave();
  KvAlignedFree(mpr_pSaveGameDataSnapshot);
  mpr_pSaveGameDataSnapshot = nullptr;
  m_uiSaveGameDataSnapshotSize = 0;
  KvAlignedFree(mpr_pSaveGameDirtyFlagDataSnapshot);
  mpr_pSaveGameDirtyFlagDataSnapshot = nullptr;
  m_uiSaveGameDirtyFlagDataSnapshotSize = 0;
  mp_uiSaveAgain.store(0, std::memory_order_relaxed);
}
