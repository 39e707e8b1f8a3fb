// Started (and killed) by GameSaveTest.KilledSavesLeaveTheOldOrTheNewProfile on that test's store folder: saves
// the profile again and again, profile k filled from k, from the first number given on the command line. Before
// asking for save k it writes "k" on its own line to standard output; it asks for the next save only once save
// k has been written. Runs until killed; exit 2 when the store does not start, 1 when a save fails.
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "Code/System/GAMEProfileSave.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Code/System/Helpers/ProfilePattern.h"

int main(int argc, char** argv) {
  if (argc != 2 || !SteamAPI_Init()) {
    std::fprintf(stderr, "usage: game_saves_until_killed FIRST (with a store that starts) %s\n", StoreGetInitFailure());
    return 2;
  }
  ClMutexLock::initializePool();
  ClThreadMgr::initialize();
  ClFileIO::initialize();
  ClProfileMgr::initialize();
  KvSetStoreGameHooks(g_GAMEProfileSaveHooks);
  for (u32 k = static_cast<u32>(std::atoi(argv[1]));; ++k) {
    fillProfilePattern(mpr_pPlayerProfile, k);
    std::printf("%u\n", k);
    std::fflush(stdout);
    ClSaveGameUtility::gameSpecificAutoSave();
    while (ClSaveGameUtility::isSaveRunning() || ClThreadMgr::mp_daOrphanedThreads.getCount() > 0) {
      ClThreadMgr::update();
      std::this_thread::yield();
    }
    if (g_uiAutoSaveState.load() != gc_uiAUTO_SAVE_WRITTEN) {
      std::fprintf(stderr, "save %u failed\n", k);
      return 1;
    }
  }
}
