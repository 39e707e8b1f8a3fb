// The game's half of saving over the engine's save-game utility: a request's snapshot written by an orphaned
// thread of the thread manager to the store's remote storage, the state word, and what a killed or failed
// write leaves behind.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Code/System/GAMEProfileSave.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/Store/ClStoreWarnings.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Tests/Platform/Store/StoreTestFixture.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

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
    KvSetStoreGameHooks(g_GAMEProfileSaveHooks);
    // As the program body does: the store's warnings reach the game.
    SteamClient()->SetWarningMessageHook(&ClStoreWarnings::hook);
    g_uiProfileUnsaved.store(0);
    g_uiProfileSavesHeld.store(0);
  }
  void TearDown() override {
    settle();
    if (SteamClient() != nullptr) {
      SteamClient()->SetWarningMessageHook(nullptr);
    }
    mpr_pPlayerProfile = nullptr;
    ClSaveGameUtility::freeSnapshots();
    KvTestInstallHookDoubles();
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

// What makes a write fail: the store's fault, or the disk's (a file-size limit stands in for a full disk); neither
// for a write that succeeds.
struct SSaveCause {
  u32 uiFaults;
  rlim_t uiFileSizeLimit;
  const char* pReason;  // what the store says of the failure, after "cannot write, "; null for none
};
const SSaveCause gc_storeFault = {STORE_FAULT_WRITE_FAIL, RLIM_INFINITY, "the old content stays (fault write_fail)"};
const SSaveCause gc_diskFull = {0, 1000, "the old content stays (File too large)"};
const SSaveCause gc_noCause = {0, RLIM_INFINITY, nullptr};

// The line a save that failed for the cause says.
std::string notSavedLine(const SSaveCause& cause) {
  return "Profile \"USR-DATAs\" not saved (" + StoreGetDirectory() + "/remote/USR-DATAs: cannot write, " +
         cause.pReason + "); the records stay in memory and the next save writes them.\n";
}

// One save request under the cause, to its end; what it said on the standard error.
std::string saveUnder(const SSaveCause& cause) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  rlimit lowered = limit;
  lowered.rlim_cur = cause.uiFileSizeLimit;
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
  StoreSetFaults(cause.uiFaults);
  ::testing::internal::CaptureStderr();
  ClSaveGameUtility::gameSpecificAutoSave();
  settle();
  std::string said = ::testing::internal::GetCapturedStderr();
  StoreSetFaults(0);
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  return said;
}

// A write that fails is said in one line naming the file and the store's reason; the stored profile stays as it
// was, the profile is marked unsaved, and the next request writes it whole.
TEST_F(GameSaveTest, FailedWriteIsSaidInOneLineAndTheNextRequestWritesTheRecords) {
  u8 uiRun = 0;
  for (const SSaveCause& cause : {gc_storeFault, gc_diskFull}) {
    SCOPED_TRACE(cause.pReason);
    fillProfile(++uiRun);
    ClSaveGameUtility::gameSpecificAutoSave();
    settle();
    const std::vector<u8> stored = profileBytes();
    fillProfile(++uiRun);  // the run's records
    EXPECT_EQ(saveUnder(cause), notSavedLine(cause));
    EXPECT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_FAILED);
    EXPECT_EQ(g_uiProfileUnsaved.load(), 1u);
    EXPECT_EQ(storedProfile(), stored);
    ClSaveGameUtility::gameSpecificAutoSave();
    settle();
    EXPECT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_WRITTEN);
    EXPECT_EQ(g_uiProfileUnsaved.load(), 0u);
    EXPECT_EQ(storedProfile(), profileBytes());
  }
}

// Saves that keep failing for one cause (a full disk, at every change of the profile) say it once; a new cause is
// said, and so is a failure after a save that succeeded. Every failed save still leaves the profile unsaved.
TEST_F(GameSaveTest, AFailureIsSaidOnceUntilItsCauseChangesOrASaveSucceeds) {
  struct SCase {
    const char* pName;
    std::vector<const SSaveCause*> saves;  // in order
    std::vector<bool> said;                // whether each failed save says its line
  };
  const SCase aCases[] = {
      {"same cause twice", {&gc_diskFull, &gc_diskFull}, {true, false}},
      {"same cause three times", {&gc_storeFault, &gc_storeFault, &gc_storeFault}, {true, false, false}},
      {"cause changes", {&gc_storeFault, &gc_diskFull}, {true, true}},
      {"cause changes and back", {&gc_diskFull, &gc_storeFault, &gc_diskFull}, {true, true, true}},
      {"success in between", {&gc_diskFull, &gc_noCause, &gc_diskFull}, {true, false, true}},
  };
  u8 uiRun = 0;
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    // Each case starts from a saved profile.
    ASSERT_EQ(saveUnder(gc_noCause), "");
    for (size_t i = 0; i < c.saves.size(); ++i) {
      const SSaveCause& cause = *c.saves[i];
      fillProfile(++uiRun);
      EXPECT_EQ(saveUnder(cause), c.said[i] ? notSavedLine(cause) : std::string()) << "save " << i;
      EXPECT_EQ(g_uiProfileUnsaved.load(), cause.pReason != nullptr ? 1u : 0u) << "save " << i;
    }
  }
}

// Shutdown writes what is owed before the profile goes: a request made during the running save, and a profile
// whose last save failed; what still cannot be written is said.
TEST_F(GameSaveTest, FinishingWritesTheSavesStillOwed) {
  // The save thread waits for the file lock, which the test holds, so the second request is queued behind it.
  ClMutexLock* pFileLock = ClFileIO::getFileLock();
  pFileLock->enter();
  ClSaveGameUtility::gameSpecificAutoSave();
  fillProfile(2);
  ClSaveGameUtility::gameSpecificAutoSave();
  EXPECT_TRUE(ClSaveGameUtility::isSaveAgainRequested());
  pFileLock->leave();
  GAMEFinishProfileSaves();
  EXPECT_EQ(storedProfile(), profileBytes());

  StoreSetFaults(STORE_FAULT_WRITE_FAIL);
  fillProfile(3);
  ClSaveGameUtility::gameSpecificAutoSave();
  settle();
  StoreSetFaults(0);
  GAMEFinishProfileSaves();
  EXPECT_EQ(g_uiProfileUnsaved.load(), 0u);
  EXPECT_EQ(storedProfile(), profileBytes());

  // The last try fails as the save before it did: its failure is not said again, the loss is.
  fillProfile(4);
  EXPECT_EQ(saveUnder(gc_storeFault), notSavedLine(gc_storeFault));
  StoreSetFaults(STORE_FAULT_WRITE_FAIL);
  ::testing::internal::CaptureStderr();
  GAMEFinishProfileSaves();
  const std::string said = ::testing::internal::GetCapturedStderr();
  StoreSetFaults(0);
  EXPECT_EQ(said, "Profile \"USR-DATAs\": the records since the last save that failed are lost as the game ends.\n");
  EXPECT_NE(storedProfile(), profileBytes());
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

// Holds each profile write inside the store until the test lets it end, so that requests and frames land on
// either side of the end of a save by the test's choice, not by timing.
struct SWriteGate {
  std::mutex lock;
  std::condition_variable changed;
  bool bOpen = true;
  i32 iHeld = 0;    // writes waiting at the gate
  i32 iPasses = 0;  // writes let through while closed
};
SWriteGate g_gate;

void holdAtGate(const char* /*pchFile*/, std::int64_t /*iWritten*/, std::int64_t /*iTotal*/) {
  std::unique_lock<std::mutex> lock(g_gate.lock);
  ++g_gate.iHeld;
  g_gate.changed.notify_all();
  g_gate.changed.wait(lock, [] { return g_gate.bOpen || g_gate.iPasses > 0; });
  if (!g_gate.bOpen) --g_gate.iPasses;
  --g_gate.iHeld;
}

// Lets the running save's write end, once its thread has reached it, and waits until the save has ended.
void endRunningSave() {
  if (!ClSaveGameUtility::isSaveRunning()) return;
  {
    std::unique_lock<std::mutex> lock(g_gate.lock);
    ASSERT_TRUE(g_gate.changed.wait_for(lock, std::chrono::seconds(10), [] { return g_gate.iHeld == 1; }));
    g_gate.iPasses = 1;
    g_gate.changed.notify_all();
  }
  ASSERT_TRUE(eventually([] { return !ClSaveGameUtility::isSaveRunning(); }));
}

void openGate(bool bOpen) {
  std::lock_guard<std::mutex> guard(g_gate.lock);
  g_gate.bOpen = bOpen;
  g_gate.iPasses = 0;
  g_gate.changed.notify_all();
}

TEST_F(GameSaveTest, RequestsRacingTheEndOfASaveAreNeverLost) {
  // Every order of requests (r), frames (t) and ends of the running save (e) up to six steps after a first
  // request: once the frames settle, the stored block is the last profile asked for.
  StoreSetWriteHook(&holdAtGate);
  u8 uiVersion = 0;
  for (i32 iSchedule = 0; iSchedule < 3 * 3 * 3 * 3 * 3; ++iSchedule) {
    std::string steps = "r";
    for (i32 iRest = iSchedule, iStep = 0; iStep < 5; ++iStep, iRest /= 3) steps += "rte"[iRest % 3];
    openGate(false);
    for (const char cStep : steps) {
      if (cStep == 'r') {
        fillProfile(++uiVersion);
        ClSaveGameUtility::gameSpecificAutoSave();
      } else if (cStep == 't') {
        ClSaveGameUtility::tickPendingSave();
      } else {
        endRunningSave();
      }
    }
    openGate(true);
    settle();
    ASSERT_EQ(storedProfile(), profileBytes()) << steps;
    ASSERT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_WRITTEN) << steps;
  }
  StoreSetWriteHook(nullptr);
}

// The stored file's bytes under a name; empty when there is none.
std::vector<u8> storedFile(const char* pName) {
  const std::int32_t iSize = SteamRemoteStorage()->GetFileSize(pName);
  std::vector<u8> bytes(static_cast<size_t>(iSize));
  if (iSize > 0) {
    bytes.resize(static_cast<size_t>(SteamRemoteStorage()->FileRead(pName, bytes.data(), iSize)));
  }
  return bytes;
}

std::vector<u8> patternBytes(size_t uiSize, u8 uiSeed) {
  std::vector<u8> bytes(uiSize);
  for (size_t i = 0; i < uiSize; ++i) {
    bytes[i] = static_cast<u8>(uiSeed * 31 + i * 13);
  }
  return bytes;
}

// Frames until the load thread is done and reaped; false when that never happens.
bool settleLoad() {
  return eventually([] {
    ClThreadMgr::update();
    return g_uiAutoLoadRunning.load() == 0 && ClThreadMgr::mp_daOrphanedThreads.getCount() == 0;
  });
}

// What is in the profile's place when it is no file: a symlink loop, a pipe, a device that never ends, a folder; or a
// file larger than the store holds (sparse: it takes no room on the disk).
enum class EProfilePlace { File, SelfLoop, Fifo, EndlessDevice, Folder, Huge };

// Puts what ePlace names where the stored profile is; true when it could.
bool placeNotAFile(EProfilePlace ePlace) {
  const std::string path = StoreGetDirectory() + "/remote/" + gc_szPROFILE_FILE_NAME;
  std::error_code error;
  std::filesystem::remove_all(path, error);
  switch (ePlace) {
    case EProfilePlace::File: return true;
    case EProfilePlace::SelfLoop: return symlink(gc_szPROFILE_FILE_NAME, path.c_str()) == 0;
    case EProfilePlace::Fifo: return mkfifo(path.c_str(), 0600) == 0;
    case EProfilePlace::EndlessDevice: return symlink("/dev/zero", path.c_str()) == 0;
    case EProfilePlace::Folder: return std::filesystem::create_directory(path, error);
    case EProfilePlace::Huge: {
      const int iFd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
      const bool bMade = iFd >= 0 && ftruncate(iFd, off_t(2000) << 20) == 0;
      if (iFd >= 0) close(iFd);
      return bMade;
    }
  }
  return false;
}

// What a stored profile file gives the load: only exactly the block's size loads; a file that exists and does not
// load is kept, byte for byte, under its own name before anything can replace it; one that cannot be read, or
// something in its place that is no file, cannot be kept, and the saves that follow leave it as it is.
TEST_F(GameSaveTest, AutoLoadTakesOnlyAFileOfTheBlocksSizeAndKeepsOneThatDoesNotLoad) {
  struct SCase {
    const char* pName;
    i32 iStoredSize;  // -1: no file
    u32 uiFaults;
    u32 uiState;
    bool bKept;
    bool bSavesHeld;
    EProfilePlace ePlace;
  };
  const SCase aCases[] = {
      {"exact", 2584, 0, gc_uiAUTO_LOAD_LOADED, false, false, EProfilePlace::File},
      {"missing", -1, 0, gc_uiAUTO_LOAD_FAILED, false, false, EProfilePlace::File},
      {"one byte short", 2583, 0, gc_uiAUTO_LOAD_FAILED, true, false, EProfilePlace::File},
      {"empty", 0, 0, gc_uiAUTO_LOAD_FAILED, true, false, EProfilePlace::File},
      {"longer", 4000, 0, gc_uiAUTO_LOAD_FAILED, true, false, EProfilePlace::File},
      {"unreadable", 2584, STORE_FAULT_READ_FAIL, gc_uiAUTO_LOAD_FAILED, false, true, EProfilePlace::File},
      {"unreadable and short", 100, STORE_FAULT_READ_FAIL, gc_uiAUTO_LOAD_FAILED, false, true, EProfilePlace::File},
      {"symlink loop", -1, 0, gc_uiAUTO_LOAD_FAILED, false, true, EProfilePlace::SelfLoop},
      {"pipe", -1, 0, gc_uiAUTO_LOAD_FAILED, false, true, EProfilePlace::Fifo},
      {"endless device", -1, 0, gc_uiAUTO_LOAD_FAILED, false, true, EProfilePlace::EndlessDevice},
      {"folder", -1, 0, gc_uiAUTO_LOAD_FAILED, false, true, EProfilePlace::Folder},
      {"larger than the store holds", -1, 0, gc_uiAUTO_LOAD_FAILED, false, true, EProfilePlace::Huge},
  };
  u8 uiSeed = 1;
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    StoreSetFaults(0);
    SteamRemoteStorage()->FileWrite(gc_szPROFILE_KEPT_FILE_NAME, "x", 1);
    const std::vector<u8> stored = patternBytes(c.iStoredSize > 0 ? size_t(c.iStoredSize) : 0, ++uiSeed);
    ASSERT_TRUE(placeNotAFile(c.ePlace)) << std::strerror(errno);
    if (c.iStoredSize >= 0) {
      ASSERT_TRUE(SteamRemoteStorage()->FileWrite(gc_szPROFILE_FILE_NAME, stored.data(), std::int32_t(stored.size())));
    } else {
      ASSERT_EQ(SteamRemoteStorage()->FileExists(gc_szPROFILE_FILE_NAME), c.ePlace != EProfilePlace::File);
    }
    StoreSetFaults(c.uiFaults);
    fillProfile(0);
    ASSERT_EQ(ClSaveGameUtility::gameSpecificAutoLoad(), 1);
    EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);  // handed to the manager at once
    ASSERT_TRUE(settleLoad());
    StoreSetFaults(0);
    EXPECT_EQ(g_uiAutoLoadState.load(), c.uiState);
    if (c.uiState == gc_uiAUTO_LOAD_LOADED) {
      EXPECT_EQ(profileBytes(), stored);
    }
    EXPECT_EQ(storedFile(gc_szPROFILE_KEPT_FILE_NAME), c.bKept ? stored : std::vector<u8>{'x'});
    // A save point once the store reads again.
    fillProfile(0x55);
    ClSaveGameUtility::gameSpecificAutoSave();
    settle();
    EXPECT_EQ(g_uiAutoSaveState.load(), c.bSavesHeld ? gc_uiAUTO_SAVE_FAILED : gc_uiAUTO_SAVE_WRITTEN);
    EXPECT_EQ(storedFile(gc_szPROFILE_FILE_NAME), c.bSavesHeld ? stored : profileBytes());
    // What is in the profile's place stays there.
    const std::filesystem::file_type eLeft =
        std::filesystem::symlink_status(StoreGetDirectory() + "/remote/" + gc_szPROFILE_FILE_NAME).type();
    EXPECT_EQ(eLeft == std::filesystem::file_type::regular,
              c.ePlace == EProfilePlace::File || c.ePlace == EProfilePlace::Huge);
    if (c.ePlace == EProfilePlace::Huge) {
      EXPECT_EQ(std::filesystem::file_size(StoreGetDirectory() + "/remote/" + gc_szPROFILE_FILE_NAME),
                std::uintmax_t(2000) << 20);
    }
  }
  ASSERT_TRUE(placeNotAFile(EProfilePlace::File));
}

TEST_F(GameSaveTest, SecondAutoLoadWhileOneRunsStartsNothing) {
  // The load thread waits for the file lock, which this test holds.
  ClMutexLock* pFileLock = ClFileIO::getFileLock();
  ASSERT_NE(pFileLock, nullptr);
  pFileLock->enter();
  EXPECT_EQ(ClSaveGameUtility::gameSpecificAutoLoad(), 1);
  EXPECT_EQ(g_uiAutoLoadState.load(), gc_uiAUTO_LOAD_BUSY);
  EXPECT_EQ(ClSaveGameUtility::gameSpecificAutoLoad(), 0);
  EXPECT_EQ(ClThreadMgr::mp_daOrphanedThreads.getCount(), 1);
  EXPECT_EQ(g_uiAutoLoadState.load(), gc_uiAUTO_LOAD_BUSY);
  pFileLock->leave();
  ASSERT_TRUE(settleLoad());
  EXPECT_EQ(g_uiAutoLoadState.load(), gc_uiAUTO_LOAD_FAILED);  // nothing stored yet
  // Once it has ended another may start.
  EXPECT_EQ(ClSaveGameUtility::gameSpecificAutoLoad(), 1);
  ASSERT_TRUE(settleLoad());
}

// The profile threads run also where the file layer has no lock (before it starts or after it stops): they take
// no lock then and release none.
TEST_F(GameSaveTest, LoadAndSaveWithoutAFileLockReleaseNothing) {
  ClFileIO::shutdown();
  ASSERT_EQ(ClFileIO::getFileLock(), nullptr);
  ClSaveGameUtility::gameSpecificAutoSave();
  settle();
  EXPECT_EQ(g_uiAutoSaveState.load(), gc_uiAUTO_SAVE_WRITTEN);
  const std::vector<u8> saved = profileBytes();
  fillProfile(9);
  ASSERT_EQ(ClSaveGameUtility::gameSpecificAutoLoad(), 1);
  ASSERT_TRUE(settleLoad());
  EXPECT_EQ(g_uiAutoLoadState.load(), gc_uiAUTO_LOAD_LOADED);
  EXPECT_EQ(profileBytes(), saved);
  ClFileIO::initialize();
}

// A load thread that ends before the request has returned must not leave the running flag behind: after every
// one of many quick loads the next one starts.
TEST_F(GameSaveTest, EveryQuickLoadClearsItsRunningFlag) {
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(ClSaveGameUtility::gameSpecificAutoLoad(), 1) << "load " << i;
    ASSERT_TRUE(settleLoad());
  }
}



}  // namespace
