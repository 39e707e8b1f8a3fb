// The save-game utility's own protocol: the snapshots, the running and save-again flags, the promotion of the
// pending snapshot, and the save folder. The game's half is reduced here to the calls the engine relies on; the
// test itself plays the save thread (endSave), so no thread runs. The game's real half, its thread and the
// store's writes are tested with the game (Tests/Code/System).
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <thread>
#include <vector>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/Store/StoreApi.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

u8 g_profile[gc_uiSAVE_SNAPSHOT_SIZE];
int g_iRequests = 0;
int g_iSavesClaimed = 0;

void fillProfile(u8 uiVersion) { std::memset(g_profile, uiVersion, sizeof(g_profile)); }

std::vector<u8> bytesOf(const void* pData) {
  const u8* pBytes = static_cast<const u8*>(pData);
  return pBytes != nullptr ? std::vector<u8>(pBytes, pBytes + gc_uiSAVE_SNAPSHOT_SIZE) : std::vector<u8>();
}

// Each request claims the save or queues itself, copying the profile into the buffer the engine gives it.
i32 claimOrQueue() {
  ++g_iRequests;
  const bool bClaimed = ClSaveGameUtility::tryBeginSave();
  std::memcpy(ClSaveGameUtility::getSnapshotBuffer(!bClaimed), g_profile, sizeof(g_profile));
  if (bClaimed) {
    ++g_iSavesClaimed;
  } else {
    ClSaveGameUtility::requestSaveAgain();
  }
  return 1;
}

class ClSaveGameUtilityTest : public KvRuntimeTest {
 protected:
  void SetUp() override {
    KvRuntimeTest::SetUp();
    g_iRequests = 0;
    g_iSavesClaimed = 0;
    fillProfile(1);
    KvTestSaveHooks().m_autoSave = &claimOrQueue;
  }
  void TearDown() override {
    if (ClSaveGameUtility::isSaveRunning()) {
      ClSaveGameUtility::endSave();
    }
    ClSaveGameUtility::freeSnapshots();
    KvTestSaveHooks().reset();
    KvRuntimeTest::TearDown();
  }
};

TEST_F(ClSaveGameUtilityTest, RequestsReachTheInstalledGameHalfAndNothingWithoutOne) {
  KvTestSaveHooks().reset();
  EXPECT_EQ(ClSaveGameUtility::gameSpecificAutoSave(), 1);
  EXPECT_FALSE(ClSaveGameUtility::isSaveRunning());
  EXPECT_EQ(ClSaveGameUtility::mpr_pSaveGameDataSnapshot, nullptr);
  KvTestSaveHooks().m_autoSave = &claimOrQueue;
  EXPECT_EQ(ClSaveGameUtility::gameSpecificAutoSave(), 1);
  EXPECT_EQ(g_iRequests, 1);
  EXPECT_TRUE(ClSaveGameUtility::isSaveRunning());
}

TEST_F(ClSaveGameUtilityTest, RequestWhileIdleFillsTheSaveSnapshotAndStartsTheSave) {
  ClSaveGameUtility::gameSpecificAutoSave();
  EXPECT_TRUE(ClSaveGameUtility::isSaveRunning());
  EXPECT_FALSE(ClSaveGameUtility::isSaveAgainRequested());
  u32 uiSize = 0;
  const void* pSnapshot = ClSaveGameUtility::getSaveSnapshot(&uiSize);
  EXPECT_EQ(uiSize, gc_uiSAVE_SNAPSHOT_SIZE);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pSnapshot) % 16, 0u);
  EXPECT_EQ(ClSaveGameUtility::m_uiSaveGameDataSnapshotTag, gc_uiSAVE_SNAPSHOT_TAG);
  EXPECT_EQ(bytesOf(pSnapshot), bytesOf(g_profile));
  EXPECT_EQ(ClSaveGameUtility::mpr_pSaveGameDirtyFlagDataSnapshot, nullptr);
  ClSaveGameUtility::endSave();
  ClSaveGameUtility::tickPendingSave();  // nothing was asked for meanwhile
  EXPECT_EQ(g_iRequests, 1);
  EXPECT_FALSE(ClSaveGameUtility::isSaveRunning());
}

TEST_F(ClSaveGameUtilityTest, RequestsDuringASaveLeadToExactlyOneMoreWithTheLatestProfile) {
  ClSaveGameUtility::gameSpecificAutoSave();
  const std::vector<u8> first = bytesOf(ClSaveGameUtility::mpr_pSaveGameDataSnapshot);
  for (u8 uiVersion = 2; uiVersion <= 4; ++uiVersion) {
    fillProfile(uiVersion);
    ClSaveGameUtility::gameSpecificAutoSave();
    ClSaveGameUtility::tickPendingSave();  // nothing while the save runs
  }
  EXPECT_EQ(g_iSavesClaimed, 1);
  EXPECT_TRUE(ClSaveGameUtility::isSaveAgainRequested());
  // The running save's snapshot is never touched; the pending one holds the latest request.
  EXPECT_EQ(bytesOf(ClSaveGameUtility::mpr_pSaveGameDataSnapshot), first);
  EXPECT_EQ(bytesOf(ClSaveGameUtility::mpr_pSaveGameDirtyFlagDataSnapshot), std::vector<u8>(gc_uiSAVE_SNAPSHOT_SIZE, 4));

  ClSaveGameUtility::endSave();
  fillProfile(5);  // the next save takes the profile as it is when it starts
  ClSaveGameUtility::tickPendingSave();
  EXPECT_EQ(g_iSavesClaimed, 2);
  EXPECT_EQ(g_iRequests, 5);
  EXPECT_TRUE(ClSaveGameUtility::isSaveRunning());
  EXPECT_FALSE(ClSaveGameUtility::isSaveAgainRequested());
  EXPECT_EQ(ClSaveGameUtility::mpr_pSaveGameDirtyFlagDataSnapshot, nullptr);
  EXPECT_EQ(bytesOf(ClSaveGameUtility::mpr_pSaveGameDataSnapshot), std::vector<u8>(gc_uiSAVE_SNAPSHOT_SIZE, 5));
  ClSaveGameUtility::endSave();
  ClSaveGameUtility::tickPendingSave();
  EXPECT_EQ(g_iSavesClaimed, 2);  // one further save, not one per request
}

TEST_F(ClSaveGameUtilityTest, SaveThatCannotStartLeavesTheNextRequestFree) {
  ASSERT_TRUE(ClSaveGameUtility::tryBeginSave());
  EXPECT_FALSE(ClSaveGameUtility::tryBeginSave());
  ClSaveGameUtility::abandonSave();
  ClSaveGameUtility::gameSpecificAutoSave();
  EXPECT_EQ(g_iSavesClaimed, 1);
  EXPECT_FALSE(ClSaveGameUtility::isSaveAgainRequested());
}

// The save thread ends its save only once the main thread is on its way into freeSnapshots, and until then finds
// the snapshot it reads still there (it looks many times, giving the main thread every chance to free it early).
TEST_F(ClSaveGameUtilityTest, FreeingTheSnapshotsWaitsForTheRunningSave) {
  ClSaveGameUtility::gameSpecificAutoSave();
  ClSaveGameUtility::gameSpecificAutoSave();  // pending
  std::atomic<bool> bFreeing{false};
  std::atomic<bool> bEnded{false};
  std::thread saver([&] {
    while (!bFreeing.load()) std::this_thread::yield();
    for (int i = 0; i < 10000 && ClSaveGameUtility::mpr_pSaveGameDataSnapshot != nullptr; ++i) {
      std::this_thread::yield();
    }
    EXPECT_NE(ClSaveGameUtility::mpr_pSaveGameDataSnapshot, nullptr) << "freed while the save ran";
    bEnded = true;
    ClSaveGameUtility::endSave();
  });
  bFreeing = true;
  ClSaveGameUtility::freeSnapshots();
  EXPECT_TRUE(bEnded.load());
  saver.join();
  EXPECT_EQ(ClSaveGameUtility::mpr_pSaveGameDataSnapshot, nullptr);
  EXPECT_EQ(ClSaveGameUtility::mpr_pSaveGameDirtyFlagDataSnapshot, nullptr);
  EXPECT_FALSE(ClSaveGameUtility::isSaveAgainRequested());
}

// The save folder goes under the user folder, which is the folder the store keeps the player's data in, never
// the program's current folder (the data root); without such a folder none is made, and that is said.
TEST_F(ClSaveGameUtilityTest, SaveFolderIsMadeInTheStoresFolderForThePlayer) {
  const std::string dir = KvTestTempDir("ClSaveGameUtilityTest.SaveFolder");
  const std::string user = dir + "/user/";
  const std::string store = dir + "/st\xC3\xB6re";
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  KvInitializeDataPaths();
  KvStrLCpyW(g_wszUserFolder, std::u16string(user.begin(), user.end()).c_str(), KV_MAX_PATH_LEN);
  ClSaveGameUtility::makeSaveFolder();
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/user/SAVEDATA"));

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClSaveGameUtility::initialize(), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "No save folder is made: the store names no folder for the player's data.\n");
  setenv("GRINDLOW_STORE_DIR", store.c_str(), 1);
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_EQ(ClSaveGameUtility::initialize(), 1);
  SteamAPI_Shutdown();
  unsetenv("GRINDLOW_STORE_DIR");
  EXPECT_EQ(std::u16string(g_wszUserFolder), u"" + std::u16string(dir.begin(), dir.end()) + u"/st\u00F6re/");
  EXPECT_TRUE(std::filesystem::is_directory(store + "/SAVEDATA"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/SAVEDATA"));
  KvInitializeDataPaths();
  std::filesystem::current_path(previous);
}

}  // namespace
