// The game's half of saving over the engine's save-game utility: a request's snapshot written by an orphaned
// thread of the thread manager to the store's remote storage, the state word, and what a killed or failed
// write leaves behind.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "Code/System/GAMEProfileSave.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Tests/Platform/Store/StoreTestFixture.h"

namespace {

alignas(16) u8 g_aProfile[gc_uiSAVE_SNAPSHOT_SIZE];

void fillProfile(u8 uiVersion) {
  for (u32 i = 0; i < gc_uiSAVE_SNAPSHOT_SIZE; ++i) {
    g_aProfile[i] = static_cast<u8>(uiVersion + i * 7);
  }
}

std::vector<u8> profileBytes() { return std::vector<u8>(g_aProfile, g_aProfile + sizeof(g_aProfile)); }

std::vector<u8> storedProfile() {
  std::vector<u8> bytes(gc_uiSAVE_SNAPSHOT_SIZE + 16);
  const std::int32_t iRead =
      SteamRemoteStorage()->FileRead(gc_szPROFILE_FILE_NAME, bytes.data(), static_cast<std::int32_t>(bytes.size()));
  bytes.resize(static_cast<size_t>(iRead > 0 ? iRead : 0));
  return bytes;
}

// Frames of the engine until every save has ended, no request waits and the save threads are reaped.
void settle() {
  while (ClSaveGameUtility::isSaveRunning() || ClSaveGameUtility::isSaveAgainRequested() ||
         ClThreadMgr::mp_daOrphanedThreads.getCount() > 0) {
    ClThreadMgr::update();
    ClSaveGameUtility::tickPendingSave();
    std::this_thread::yield();
  }
}

// The engine services the game's half needs: the lock pool, the thread manager and the file layer's lock.
void startEngine() {
  ClMutexLock::initializePool();
  ClThreadMgr::initialize();
  ClFileIO::initialize();
}

class GameSaveTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    ASSERT_TRUE(SteamAPI_Init());
    startEngine();
    fillProfile(1);
    mpr_pPlayerProfile = reinterpret_cast<SPlayerProfile*>(g_aProfile);
    ClSaveGameUtility::setHooks(&g_GAMEProfileSaveHooks);
  }
  void TearDown() override {
    settle();
    mpr_pPlayerProfile = nullptr;
    ClSaveGameUtility::freeSnapshots();
    ClSaveGameUtility::setHooks(nullptr);
    ClThreadMgr::shutdown();
    ClFileIO::shutdown();
    ClMutexLock::shutdownPool();
    const char* pFirst = nullptr;
    EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 0) << "still in use: " << (pFirst ? pFirst : "");
    StoreTest::TearDown();
  }
};

TEST_F(GameSaveTest, RequestWhileIdleIsWrittenByAThreadAndSurvivesARestart) {
  ClSaveGameUtility::gameSpecificAutoSave();
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);  // handed to the manager at once
  fillProfile(2);  // the snapshot was taken: later changes do not reach this save
  settle();
  EXPECT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_WRITTEN);
  fillProfile(1);
  EXPECT_EQ(storedProfile(), profileBytes());
  SteamAPI_Shutdown();
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_EQ(storedProfile(), profileBytes());
}

TEST_F(GameSaveTest, FailedWriteIsReportedAndTheNextRequestWritesAgain) {
  ClSaveGameUtility::gameSpecificAutoSave();
  settle();
  StoreSetFaults(STORE_FAULT_WRITE_FAIL);
  fillProfile(3);
  ClSaveGameUtility::gameSpecificAutoSave();
  settle();
  EXPECT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_FAILED);
  EXPECT_NE(storedProfile(), profileBytes());
  StoreSetFaults(0);
  ClSaveGameUtility::gameSpecificAutoSave();
  settle();
  EXPECT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_WRITTEN);
  EXPECT_EQ(storedProfile(), profileBytes());
}

TEST_F(GameSaveTest, RequestWithoutAProfileIsAProgrammingError) {
  mpr_pPlayerProfile = nullptr;
  EXPECT_KV_ASSERT(ClSaveGameUtility::gameSpecificAutoSave(), "pProfile");
  EXPECT_FALSE(ClSaveGameUtility::isSaveRunning());
}

TEST_F(GameSaveTest, SaveKilledMidWriteLeavesThePreviousBlock) {
  ClSaveGameUtility::gameSpecificAutoSave();
  settle();
  const std::vector<u8> saved = profileBytes();
  // Another run of the program dies inside its save. A store folder belongs to one program at a time, so
  // this one closes its store meanwhile, as a program that had ended would.
  SteamAPI_Shutdown();
  std::string output;
  const int iStatus = KvTestRunProgram({GAME_SAVE_DIES_INSIDE_ITS_SAVE_PATH}, &output);
  ASSERT_TRUE(WIFEXITED(iStatus)) << output;
  EXPECT_EQ(WEXITSTATUS(iStatus), 3) << output;
  ASSERT_TRUE(SteamAPI_Init());  // also clears what the killed write left behind
  EXPECT_EQ(storedProfile(), saved);
}

TEST_F(GameSaveTest, RequestsRacingTheEndOfASaveAreNeverLost) {
  // Requests land at random moments around the end of the running save. Whatever the interleaving, once
  // the frames settle the stored block is the last profile asked for.
  std::mt19937 random(1234);
  for (int iRound = 0; iRound < 60; ++iRound) {
    const int iRequests = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < iRequests; ++i) {
      fillProfile(static_cast<u8>(iRound * 4 + i));
      ClSaveGameUtility::gameSpecificAutoSave();
      if (random() % 2) {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
      }
      ClSaveGameUtility::tickPendingSave();
    }
    settle();
    ASSERT_EQ(storedProfile(), profileBytes()) << "round " << iRound;
    ASSERT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_WRITTEN);
  }
}

}  // namespace
