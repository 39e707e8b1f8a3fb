// Saves killed with SIGKILL at random points, in a second program: whatever the moment, the stored profile is
// whole, loads, and is the old or the new one.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "Code/System/GAMEProfileSave.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Tests/Code/System/Helpers/ProfilePattern.h"
#include "Tests/Platform/Store/StoreTestFixture.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

class KilledSaves : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    ASSERT_TRUE(SteamAPI_Init());
    ClMutexLock::initializePool();
    ClThreadMgr::initialize();
    ClFileIO::initialize();
    ClProfileMgr::initialize();
    KvSetStoreGameHooks(g_GAMEProfileSaveHooks);
  }
  void TearDown() override {
    ClSaveGameUtility::freeSnapshots();
    KvTestInstallHookDoubles();
    ClProfileMgr::terminate();
    ClThreadMgr::shutdown();
    ClFileIO::shutdown();
    ClMutexLock::shutdownPool();
    StoreTest::TearDown();
  }
};

// Another run of the program saves the profile again and again and is killed (SIGKILL) at random points of its
// saves. After every kill the stored profile loads and is the one of the last save asked for or of the one
// before it, never a mix or a cut block.
TEST_F(KilledSaves, KilledSavesLeaveTheOldOrTheNewProfile) {
  fillProfilePattern(mpr_pPlayerProfile, 0);
  ClSaveGameUtility::gameSpecificAutoSave();
  while (ClSaveGameUtility::isSaveRunning() || ClThreadMgr::mp_daOrphanedThreads.getCount() > 0) {
    ClThreadMgr::update();
    std::this_thread::yield();
  }
  // A store folder belongs to one program at a time.
  SteamAPI_Shutdown();
  std::mt19937 random(20261207);
  alignas(16) static SPlayerProfile s_loaded;
  u32 uiNext = 1;
  int iKilledMidSave = 0;
  for (int iKill = 0; iKill < 200; ++iKill) {
    int aiPipe[2];
    ASSERT_EQ(pipe(aiPipe), 0);
    const std::string first = std::to_string(uiNext);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(aiPipe[1], STDOUT_FILENO);
      close(aiPipe[0]);
      close(aiPipe[1]);
      execl(GAME_SAVES_UNTIL_KILLED_PATH, GAME_SAVES_UNTIL_KILLED_PATH, first.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(aiPipe[1]);
    std::FILE* pOut = fdopen(aiPipe[0], "r");
    ASSERT_NE(pOut, nullptr);
    u32 uiLast = uiNext - 1;
    char szLine[32];
    // The kill lands after a random number of save requests and a random spin into the last one.
    const int iLines = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < iLines && std::fgets(szLine, sizeof(szLine), pOut) != nullptr; ++i) {
      uiLast = static_cast<u32>(std::strtoul(szLine, nullptr, 10));
    }
    std::atomic<u32> uiSpin{static_cast<u32>(random() % 400000)};
    while (uiSpin.fetch_sub(1, std::memory_order_relaxed) > 0) {
    }
    kill(pid, SIGKILL);
    int iStatus = 0;
    ASSERT_EQ(waitpid(pid, &iStatus, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(iStatus)) << "kill " << iKill << ": the saving program ended by itself";
    while (std::fgets(szLine, sizeof(szLine), pOut) != nullptr) {
      uiLast = static_cast<u32>(std::strtoul(szLine, nullptr, 10));
    }
    std::fclose(pOut);

    ASSERT_TRUE(SteamAPI_Init());  // also clears what a killed write left behind
    ASSERT_TRUE(GAMEReadStoredProfile(&s_loaded)) << "kill " << iKill;
    const bool bNew = profileMatchesPattern(&s_loaded, uiLast);
    const bool bOld = uiLast > 0 && profileMatchesPattern(&s_loaded, uiLast - 1);
    ASSERT_TRUE(bNew || bOld) << "kill " << iKill << ": save " << uiLast << " was asked for last";
    iKilledMidSave += bOld ? 1 : 0;
    SteamAPI_Shutdown();
    // The next run numbers on from the stored save, so its old profile is always the save before its first.
    uiNext = (bNew ? uiLast : uiLast - 1) + 1;
  }
  // The kills did land inside saves.
  EXPECT_GT(iKilledMidSave, 0);
  ASSERT_TRUE(SteamAPI_Init());
}

}  // namespace
