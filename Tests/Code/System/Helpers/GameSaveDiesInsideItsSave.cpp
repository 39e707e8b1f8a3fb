// Started by GameSaveTest.SaveKilledMidWriteLeavesThePreviousBlock on that test's store folder: starts the next
// save of the profile and dies (exit 3) inside the store's write, before the new block is in place. Exit 1 when
// the save ends instead, 2 when the store does not start.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "Code/System/GAMEProfileSave.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Platform/Store/StoreApi.h"
#include "Platform/Store/StoreTest.h"

int main() {
  if (!SteamAPI_Init()) {
    std::fprintf(stderr, "the store did not start: %s\n", StoreGetInitFailure());
    return 2;
  }
  ClMutexLock::initializePool();
  ClThreadMgr::initialize();
  ClFileIO::initialize();
  StoreSetWriteHook([](const char*, std::int64_t, std::int64_t) { _exit(3); });
  alignas(16) static u8 s_aProfile[gc_uiSAVE_SNAPSHOT_SIZE];
  std::memset(s_aProfile, 6, sizeof(s_aProfile));
  mpr_pPlayerProfile = reinterpret_cast<SPlayerProfile*>(s_aProfile);
  KvSetStoreGameHooks(g_GAMEProfileSaveHooks);
  ClSaveGameUtility::gameSpecificAutoSave();
  while (ClSaveGameUtility::isSaveRunning() || ClThreadMgr::mp_daOrphanedThreads.getCount() > 0) {
    ClThreadMgr::update();
    std::this_thread::yield();
  }
  std::fprintf(stderr, "the save ended instead of dying inside its write\n");
  return 1;
}
