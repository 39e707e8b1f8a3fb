#include "Code/System/GAMEProfileSave.h"

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Corvane/ADT/ClRepeatedProblem.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/Store/ClStoreWarnings.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Store/StoreApi.h"

std::atomic<u32> g_uiAutoLoadState{gc_uiAUTO_LOAD_IDLE};
std::atomic<u32> g_uiAutoLoadRunning{0};
std::atomic<u32> g_uiAutoSaveState{gc_uiAUTO_SAVE_IDLE};
std::atomic<u32> g_uiProfileUnsaved{0};
std::atomic<u32> g_uiProfileSavesHeld{0};
ClGAMEProfileSaveHooks g_GAMEProfileSaveHooks;

namespace {

// A save that fails for the reason the last failed one was said with is not said again; a save that succeeds in
// between ends that (g_uiProfileUnsaved back at 0).
ClRepeatedProblem g_notSaved;

// The file lock around a storage call, when the file layer has one; released only when it was taken.
class CFileLockGuard {
 public:
  CFileLockGuard() : m_pLock(ClFileIO::getFileLock()) {
    if (m_pLock != nullptr) {
      m_pLock->enter();
    }
  }
  ~CFileLockGuard() {
    if (m_pLock != nullptr) {
      m_pLock->leave();
    }
  }
  CFileLockGuard(const CFileLockGuard&) = delete;
  CFileLockGuard& operator=(const CFileLockGuard&) = delete;

 private:
  ClMutexLock* m_pLock;
};

u32 loadProfileThread(ClThread*, void*) {
  KV_ASSERT_MSG(mpr_pPlayerProfile, "pProfile");
  {
    CFileLockGuard lock;
    const bool bLoaded = GAMEReadStoredProfile(mpr_pPlayerProfile);
    // Release: the block written above, and a hold of the saves, are complete for whoever sees the state.
    g_uiAutoLoadState.store(bLoaded ? gc_uiAUTO_LOAD_LOADED : gc_uiAUTO_LOAD_FAILED, std::memory_order_release);
  }
  g_uiAutoLoadRunning.store(0, std::memory_order_release);
  return 0;
}

u32 saveProfileThread(ClThread*, void*) {
  u32 uiSize = 0;
  const void* pData = ClSaveGameUtility::getSaveSnapshot(&uiSize);
  KV_ASSERT(pData);
  KV_ASSERT(uiSize > 0);
  {
    CFileLockGuard lock;
    ClStoreWarnings warnings;
    ISteamRemoteStorage* pStorage = SteamRemoteStorage();
    const bool bWritten =
        pStorage != nullptr && pStorage->FileWrite(gc_szPROFILE_FILE_NAME, pData, static_cast<std::int32_t>(uiSize));
    if (!bWritten) {
      // The store keeps the stored file whole when a write fails; its warning holds the reason.
      const std::string reason = pStorage == nullptr            ? std::string("the store is not running")
                                 : !warnings.text().empty() ? warnings.text()
                                                            : std::string("the store refused the write");
      if (g_uiProfileUnsaved.load(std::memory_order_relaxed) == 0) {
        g_notSaved.forget();
      }
      g_notSaved.say("Profile \"%s\" not saved (%s); the records stay in memory and the next save writes them.",
                     gc_szPROFILE_FILE_NAME, reason.c_str());
    }
    g_uiProfileUnsaved.store(bWritten ? 0 : 1, std::memory_order_relaxed);
    g_uiAutoSaveState.store(bWritten ? gc_uiAUTO_SAVE_WRITTEN : gc_uiAUTO_SAVE_FAILED, std::memory_order_release);
  }
  // The last touch of the save snapshot.
  ClSaveGameUtility::endSave();
  return 0;
}

void startOrphanThread(KvThreadCall pCall) {
  ClThreadInfo params;
  params.mp_creationParams.mp_threadCall = pCall;
  ClThreadMgr::orphanThread(ClThreadMgr::createThread(params));
}

}  // namespace

bool GAMEReadStoredProfile(SPlayerProfile* pProfile) {
  KV_ASSERT_MSG(pProfile, "pProfile");
  ISteamRemoteStorage* pStorage = SteamRemoteStorage();
  if (pStorage == nullptr) {
    KvPrintProblem("Profile \"%s\" could not be loaded: the store is not running.", gc_szPROFILE_FILE_NAME);
    return false;
  }
  // What the store says of the calls below goes into the one line that tells a file that does not load.
  ClStoreWarnings warnings;
  constexpr std::int32_t iBlockSize = static_cast<std::int32_t>(gc_uiPLAYER_PROFILE_SIZE);
  if (!pStorage->FileExists(gc_szPROFILE_FILE_NAME)) {
    return false;
  }
  // The file is read once, whatever its size: a file of the block's size loads from it, any other is kept from it
  // (a longer file would fill the block with its first part). What is there without a size (a folder, a symlink
  // loop, a pipe, a device) is read too, so that the store says why it cannot be.
  const std::int32_t iStored = pStorage->GetFileSize(gc_szPROFILE_FILE_NAME);
  std::vector<u8> bytes(static_cast<size_t>(iStored > 0 ? iStored : 1));
  const std::int32_t iRead =
      pStorage->FileRead(gc_szPROFILE_FILE_NAME, bytes.data(), static_cast<std::int32_t>(bytes.size()));
  if (iStored == iBlockSize && iRead == iBlockSize) {
    std::memcpy(pProfile, bytes.data(), gc_uiPLAYER_PROFILE_SIZE);
    return true;
  }
  // The store warns only of a read that failed.
  if (iRead != iStored || !warnings.text().empty()) {
    // The only copy of the player's progress may be in that file: nothing of this run is written over it.
    g_uiProfileSavesHeld.store(1, std::memory_order_relaxed);
    const std::string reason = !warnings.text().empty()
                                   ? warnings.text()
                                   : std::to_string(iRead) + " of its " + std::to_string(iStored) + " bytes were read";
    KvPrintProblem("Profile \"%s\" cannot be read (%s), nor kept as \"%s\": the game goes on with the default "
                   "profile and saves no progress until the file can be read.",
                   gc_szPROFILE_FILE_NAME, reason.c_str(), gc_szPROFILE_KEPT_FILE_NAME);
  } else if (pStorage->FileWrite(gc_szPROFILE_KEPT_FILE_NAME, bytes.data(), iStored)) {
    KvPrintProblem("Profile \"%s\" could not be loaded (%d bytes stored, %u expected); kept as \"%s\".",
                   gc_szPROFILE_FILE_NAME, iStored, gc_uiPLAYER_PROFILE_SIZE, gc_szPROFILE_KEPT_FILE_NAME);
  } else {
    KvPrintProblem("Profile \"%s\" could not be loaded (%d bytes stored, %u expected) nor kept as \"%s\"%s%s.",
                   gc_szPROFILE_FILE_NAME, iStored, gc_uiPLAYER_PROFILE_SIZE, gc_szPROFILE_KEPT_FILE_NAME,
                   warnings.text().empty() ? "" : ": ", warnings.text().c_str());
  }
  return false;
}

void GAMEFinishProfileSaves() {
  ClSaveGameUtility::waitForSave();
  // A request made during the last save.
  if (ClSaveGameUtility::isSaveAgainRequested()) {
    ClSaveGameUtility::tickPendingSave();
    ClSaveGameUtility::waitForSave();
  }
  if (g_uiProfileUnsaved.load(std::memory_order_relaxed) == 0 || mpr_pPlayerProfile == nullptr) {
    return;
  }
  ClSaveGameUtility::gameSpecificAutoSave();
  ClSaveGameUtility::waitForSave();
  if (g_uiProfileUnsaved.load(std::memory_order_relaxed) != 0) {
    KvPrintProblem("Profile \"%s\": the records since the last save that failed are lost as the game ends.",
                   gc_szPROFILE_FILE_NAME);
  }
}

void GAMEWaitForProfileLoad() {
  while (g_uiAutoLoadRunning.load(std::memory_order_acquire) != 0) {
    std::this_thread::yield();
  }
}

i32 ClGAMEProfileSaveHooks::autoLoad() {
  u32 uiIdle = 0;
  if (!g_uiAutoLoadRunning.compare_exchange_strong(uiIdle, 1, std::memory_order_acq_rel)) {
    return 0;
  }
  g_uiAutoLoadState.store(gc_uiAUTO_LOAD_IDLE, std::memory_order_relaxed);
  g_uiProfileSavesHeld.store(0, std::memory_order_relaxed);
  g_uiAutoLoadState.store(gc_uiAUTO_LOAD_BUSY, std::memory_order_relaxed);
  startOrphanThread(&loadProfileThread);
  return 1;
}

i32 ClGAMEProfileSaveHooks::autoSave() {
  KV_ASSERT_MSG(mpr_pPlayerProfile, "pProfile");
  // Set by the load thread before its state (release), which every request follows.
  if (g_uiProfileSavesHeld.load(std::memory_order_relaxed) != 0) {
    // The stored file the load could not read stays as it is; the load has said so.
    g_uiAutoSaveState.store(gc_uiAUTO_SAVE_FAILED, std::memory_order_relaxed);
    return 1;
  }
  // The one decision of this request: whether it starts a save (and owns the save snapshot) or is queued.
  const bool bStarts = ClSaveGameUtility::tryBeginSave();
  if (bStarts) {
    g_uiAutoSaveState.store(gc_uiAUTO_SAVE_IDLE, std::memory_order_relaxed);
  }
  void* pData = ClSaveGameUtility::getSnapshotBuffer(!bStarts);
  KV_ASSERT(pData);
  std::memcpy(pData, mpr_pPlayerProfile, gc_uiSAVE_SNAPSHOT_SIZE);
  if (!bStarts) {
    ClSaveGameUtility::requestSaveAgain();
    return 1;
  }
  g_uiAutoSaveState.store(gc_uiAUTO_SAVE_BUSY, std::memory_order_relaxed);
  startOrphanThread(&saveProfileThread);
  return 1;
}
