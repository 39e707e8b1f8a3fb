#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "Platform/Common/PlatformFiles.h"
#include "Platform/Store/StoreConfig.h"
#include "Tests/Platform/Store/StoreTestFixture.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

TEST_F(StoreTest, InitOpensTheStoreFolderAndShutdownClosesIt) {
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_TRUE(SteamAPI_Init());  // a second start keeps the running store
  EXPECT_EQ(StoreGetDirectory(), m_dir);
  EXPECT_TRUE(fs::is_regular_file(m_dir + "/store.db"));
  EXPECT_TRUE(fs::is_directory(m_dir + "/remote"));
  EXPECT_TRUE(fs::is_directory(m_dir + "/crashes"));
  ASSERT_NE(SteamUtils(), nullptr);
  EXPECT_EQ(SteamUtils()->GetAppID(), 24680u);
  EXPECT_STREQ(SteamApps()->GetCurrentGameLanguage(), "english");
  EXPECT_EQ(SteamUser()->GetSteamID(), CSteamID(1000));
  char szFolder[512];
  ASSERT_TRUE(SteamUser()->GetUserDataFolder(szFolder, sizeof(szFolder)));
  EXPECT_EQ(szFolder, m_dir + "/");
  EXPECT_FALSE(SteamUser()->GetUserDataFolder(szFolder, int(m_dir.size()) + 1));  // no room for the terminator
  EXPECT_STREQ(SteamFriends()->GetFriendPersonaName(CSteamID(1000)), "Player");
  for (const bool bRunning : {true, false}) {
    EXPECT_EQ(SteamClient() != nullptr, bRunning);
    EXPECT_EQ(SteamUserStats() != nullptr, bRunning);
    EXPECT_EQ(SteamRemoteStorage() != nullptr, bRunning);
    EXPECT_EQ(SteamApps() != nullptr, bRunning);
    SteamAPI_Shutdown();
  }
  SteamAPI_RunCallbacks();
  EXPECT_EQ(StoreGetDirectory(), "");
}

TEST_F(StoreTest, InjectedStartFailures) {
  StoreSetFaults(STORE_FAULT_INIT_FAIL);
  EXPECT_FALSE(SteamAPI_Init());
  EXPECT_STREQ(StoreGetInitFailure(), "start refused (fault init_fail)");
  EXPECT_EQ(SteamUtils(), nullptr);
  StoreSetFaults(0);
  setenv("GRINDLOW_STORE_FAULTS", "write_fail, init_fail", 1);
  EXPECT_FALSE(SteamAPI_Init());
  EXPECT_EQ(StoreGetFaults(), STORE_FAULT_WRITE_FAIL | STORE_FAULT_INIT_FAIL);
  setenv("GRINDLOW_STORE_FAULTS", "init_fial", 1);
  StoreSetFaults(0);
  EXPECT_FALSE(SteamAPI_Init());
  EXPECT_NE(std::string(StoreGetInitFailure()).find("GRINDLOW_STORE_FAULTS: \"init_fial\""), std::string::npos)
      << StoreGetInitFailure();
  unsetenv("GRINDLOW_STORE_FAULTS");
  EXPECT_TRUE(SteamAPI_Init());
  EXPECT_STREQ(StoreGetInitFailure(), "");

  std::uint32_t uiFaults = 0;
  std::string error;
  EXPECT_TRUE(StoreParseFaults("", &uiFaults, &error));
  EXPECT_EQ(uiFaults, 0u);
  EXPECT_FALSE(StoreParseFaults("io_fail,,nope", &uiFaults, &error));
  EXPECT_NE(error.find("\"nope\": not a fault"), std::string::npos) << error;
}

TEST_F(StoreTest, MissingInterfacesUnderFaults) {
  ASSERT_TRUE(SteamAPI_Init());
  StoreSetFaults(STORE_FAULT_NO_UTILS | STORE_FAULT_NO_USER | STORE_FAULT_NO_USERSTATS);
  EXPECT_EQ(SteamUtils(), nullptr);
  EXPECT_EQ(SteamUser(), nullptr);
  EXPECT_EQ(SteamUserStats(), nullptr);
  EXPECT_NE(SteamApps(), nullptr);
  StoreSetFaults(0);
  EXPECT_NE(SteamUserStats(), nullptr);
}

TEST_F(StoreTest, DefaultFolderFollowsTheDataHome) {
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  const char* pSavedDataHome = std::getenv("XDG_DATA_HOME");
  const std::string savedDataHome = pSavedDataHome ? pSavedDataHome : "";
  unsetenv("GRINDLOW_STORE_DIR");
  setenv("XDG_DATA_HOME", (m_dir + "/xdg").c_str(), 1);
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_EQ(StoreGetDirectory(), m_dir + "/xdg/grindlow");
  SteamAPI_Shutdown();
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", (m_dir + "/home").c_str(), 1);
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_EQ(StoreGetDirectory(), m_dir + "/home/.local/share/grindlow");
  EXPECT_TRUE(fs::is_regular_file(m_dir + "/home/.local/share/grindlow/store.db"));
  SteamAPI_Shutdown();
  setenv("HOME", savedHome.c_str(), 1);
  if (pSavedDataHome) {
    setenv("XDG_DATA_HOME", savedDataHome.c_str(), 1);
  }
}

TEST_F(StoreTest, ConfigurationFileAndOverrides) {
  writeConfig(
      "; the game's data\n[app]\nid = 16777215\nlanguage = french\n\n[user]\nid = 18446744073709551615\n"
      "name = Zed\n[friends]\n7 = Alice\n8 = Bob = B\n");
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_EQ(SteamUtils()->GetAppID(), 16777215u);
  EXPECT_STREQ(SteamApps()->GetCurrentGameLanguage(), "french");
  EXPECT_EQ(SteamUser()->GetSteamID().ConvertToUint64(), 18446744073709551615ull);
  EXPECT_STREQ(SteamFriends()->GetFriendPersonaName(CSteamID(8)), "Bob = B");
  EXPECT_STREQ(SteamFriends()->GetFriendPersonaName(CSteamID(9)), "");

  // Known players have names; seeded scores stand on their boards at every start (keep-best).
  writeConfig("[players]\n9 = Cy\n[scores LB]\n9 = 70\n7 = -5\n[scores LB]\n9 = 40\n");
  ASSERT_TRUE(restart());
  EXPECT_STREQ(SteamFriends()->GetFriendPersonaName(CSteamID(9)), "Cy");
  const SteamLeaderboard_t hBoard =
      await<LeaderboardFindResult_t>(SteamUserStats()->FindLeaderboard("LB")).m_hSteamLeaderboard;
  ASSERT_NE(hBoard, 0u);
  EXPECT_EQ(SteamUserStats()->GetLeaderboardEntryCount(hBoard), 2);
  const auto download = await<LeaderboardScoresDownloaded_t>(
      SteamUserStats()->DownloadLeaderboardEntries(hBoard, k_ELeaderboardDataRequestGlobal, 1, 2));
  LeaderboardEntry_t entry{};
  ASSERT_TRUE(SteamUserStats()->GetDownloadedLeaderboardEntry(download.m_hSteamLeaderboardEntries, 1, &entry,
                                                              nullptr, 0));
  EXPECT_EQ(entry.m_nScore, -5);
  ASSERT_TRUE(restart());  // seeding again changes nothing
  EXPECT_EQ(SteamUserStats()->GetLeaderboardEntryCount(hBoard), 2);

  setenv("GRINDLOW_STORE_LANGUAGE", "russian", 1);
  ASSERT_TRUE(restart());
  EXPECT_STREQ(SteamApps()->GetCurrentGameLanguage(), "russian");
  const std::string other = m_dir + "/other.ini";
  std::ofstream(other) << "[app]\nid = 5\n";
  setenv("GRINDLOW_STORE_CONFIG", other.c_str(), 1);
  ASSERT_TRUE(restart());
  EXPECT_EQ(SteamUtils()->GetAppID(), 5u);
  setenv("GRINDLOW_STORE_CONFIG", (m_dir + "/missing.ini").c_str(), 1);
  EXPECT_FALSE(restart());
}

TEST_F(StoreTest, BadConfigurationIsRefusedNamingFileAndLine) {
  const struct {
    const char* pText;
    const char* pMessage;
  } cases[] = {
      {"[app]\nid = 0\n", "f.ini:2: app id must be"},
      {"[app]\nid = 16777216\n", "f.ini:2: app id must be"},
      {"[app]\nid = 12x\n", "f.ini:2:"},
      {"\n[nope]\n", "f.ini:2: unknown section [nope]"},
      {"id = 3\n", "f.ini:1: 'id' is outside any section"},
      {"[user]\njust text\n", "f.ini:2: expected 'name = value'"},
      {"[user]\nid = 4\n[friends]\n4 = Me\n", "f.ini: friend 4 is the user"},
      {"[achievement A]\n[achievement A]\n", "f.ini:2: achievement A is defined twice"},
      {"[achievement A]\ncolour = red\n", "f.ini:2: unknown key 'colour'"},
      {"[leaderboards]\nboard = X\nboard = X\n", "f.ini:3: leaderboard X is listed twice"},
      {"[stats]\nKILLS = double\n", "f.ini:2: statistic KILLS must be"},
      {"[app\n", "f.ini:1: a section line must end"},
      {"[players]\n0 = Nobody\n", "f.ini:2: a player line is 'id = name'"},
      {"[scores]\n", "f.ini:1: unknown section [scores]"},
      {"[scores B]\n5 = 1e3\n", "f.ini:2: a score is a 32-bit whole number"},
      {"[scores B]\n5 = 2147483648\n", "f.ini:2: a score is a 32-bit whole number"},
  };
  for (const auto& entry : cases) {
    StoreConfig config;
    std::string error;
    EXPECT_FALSE(StoreParseConfig(entry.pText, "f.ini", &config, &error)) << entry.pText;
    EXPECT_NE(error.find(entry.pMessage), std::string::npos) << error;
  }
  writeConfig("[app]\nid = 3\nspeed = 9\n");
  EXPECT_FALSE(SteamAPI_Init());
}

// The damaged databases kept beside store.db.
std::vector<std::string> keptAside(const std::string& dir) {
  std::vector<std::string> paths;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("store.damaged-", 0) == 0 && name.size() > 3 && name.compare(name.size() - 3, 3, ".db") == 0) {
      paths.push_back(entry.path().string());
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST_F(StoreTest, DamagedDatabaseIsKeptAsideAndAFreshOneStarted) {
  const auto findBoard = [](const char* pName) {
    return await<LeaderboardFindResult_t>(SteamUserStats()->FindLeaderboard(pName)).m_hSteamLeaderboard;
  };
  writeConfig("[leaderboards]\nboard = MARATHON_MODE\n");
  ASSERT_TRUE(SteamAPI_Init());
  SteamLeaderboard_t hBoard = findBoard("MARATHON_MODE");
  for (int i = 0; i < 3000; ++i) {
    ASSERT_TRUE(StoreTestUploadScoreAs(hBoard, 100 + std::uint64_t(i), i));
  }
  SteamAPI_Shutdown();
  // An inner page damaged: the file still opens as a database, but its pages do not hold together.
  const std::string db = m_dir + "/store.db";
  std::string bytes = readFile(db);
  ASSERT_GE(bytes.size(), 8 * 4096u);
  const std::size_t uiPage = bytes.size() / 4096 / 2 * 4096;
  std::fill(bytes.begin() + std::ptrdiff_t(uiPage), bytes.begin() + std::ptrdiff_t(uiPage + 4096), 'Z');
  std::ofstream(db, std::ios::binary | std::ios::trunc) << bytes;

  testing::internal::CaptureStderr();
  ASSERT_TRUE(SteamAPI_Init());
  const std::string report = testing::internal::GetCapturedStderr();
  std::vector<std::string> aside = keptAside(m_dir);
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(readFile(aside[0]), bytes);
  EXPECT_NE(report.find(db), std::string::npos) << report;
  EXPECT_NE(report.find(aside[0]), std::string::npos) << report;
  // The fresh database has the configured board, empty, and takes scores.
  hBoard = findBoard("MARATHON_MODE");
  ASSERT_NE(hBoard, 0u);
  EXPECT_EQ(SteamUserStats()->GetLeaderboardEntryCount(hBoard), 0);
  EXPECT_TRUE(StoreTestUploadScoreAs(hBoard, 7, 70));
  EXPECT_EQ(SteamUserStats()->GetLeaderboardEntryCount(hBoard), 1);

  // A file that is not a database at all goes the same way; the database kept earlier stays.
  SteamAPI_Shutdown();
  const std::string garbage(4096, 'Z');
  std::ofstream(db, std::ios::binary | std::ios::trunc) << garbage;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(SteamAPI_Init());
  testing::internal::GetCapturedStderr();
  aside = keptAside(m_dir);
  ASSERT_EQ(aside.size(), 2u);
  EXPECT_TRUE(readFile(aside[0]) == garbage || readFile(aside[1]) == garbage);
  EXPECT_TRUE(readFile(aside[0]) == bytes || readFile(aside[1]) == bytes);
}

TEST_F(StoreTest, DatabaseOfANewerStoreIsRefusedAndLeftAsItIs) {
  const std::string db = m_dir + "/store.db";
  sqlite3* pDb = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &pDb), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(pDb, "CREATE TABLE later(x); PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(pDb);
  const std::string bytes = readFile(db);
  EXPECT_FALSE(SteamAPI_Init());
  EXPECT_EQ(std::string(StoreGetInitFailure()),
            db + ": cannot use the store database (written by a newer store (schema 99))");
  EXPECT_EQ(readFile(db), bytes);
  EXPECT_TRUE(keptAside(m_dir).empty());
}

// A short chain of links to a database elsewhere is taken, as any path takes it; the journals checked are those
// beside the file the chain ends at, where the database keeps them.
TEST_F(StoreTest, DatabaseBehindLinksKeepsItsJournalsWhereTheLinksEnd) {
  writeConfig("[leaderboards]\nboard = LB\n");
  const auto findBoard = [] {
    return await<LeaderboardFindResult_t>(SteamUserStats()->FindLeaderboard("LB")).m_hSteamLeaderboard;
  };
  fs::create_directories(m_dir + "/elsewhere");
  ASSERT_EQ(symlink("elsewhere/kept.db", (m_dir + "/middle").c_str()), 0);
  ASSERT_EQ(symlink("middle", (m_dir + "/store.db").c_str()), 0);
  // The links end at an empty file, which the first start makes a database.
  std::ofstream(m_dir + "/elsewhere/kept.db").flush();
  ASSERT_TRUE(SteamAPI_Init()) << StoreGetInitFailure();
  ASSERT_TRUE(StoreTestUploadScoreAs(findBoard(), 9, 70));
  SteamAPI_Shutdown();
  EXPECT_TRUE(fs::is_symlink(m_dir + "/store.db"));

  const std::string log = fs::canonical(m_dir + "/elsewhere").string() + "/kept.db-wal";
  ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
  const std::string bytes = readFile(m_dir + "/elsewhere/kept.db");
  EXPECT_FALSE(SteamAPI_Init());
  SPlatformFileProblem problem;
  EXPECT_LT(PlatformOpenRegularFile(log.c_str(), &problem), 0);
  EXPECT_EQ(std::string(StoreGetInitFailure()), log + " " + PlatformDescribeFileProblem(problem));
  EXPECT_EQ(readFile(m_dir + "/elsewhere/kept.db"), bytes);
  fs::remove(log);
  ASSERT_TRUE(SteamAPI_Init()) << StoreGetInitFailure();
  EXPECT_EQ(SteamUserStats()->GetLeaderboardEntryCount(findBoard()), 1);
}

// What a second program that starts and ends the same store printed, its standard error included.
std::string runSecondStore() {
  std::string output;
  const int iStatus = KvTestRunProgram({STORE_SECOND_PROCESS_PATH}, &output);
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0) << output;
  return output;
}

TEST_F(StoreTest, DatabaseIsTheRunningStoresOwn) {
  ASSERT_TRUE(SteamAPI_Init());
  std::string output = runSecondStore();
  EXPECT_NE(output.find("second store: refused"), std::string::npos) << output;
  EXPECT_NE(output.find(m_dir + "/store.db: the store database is in use by another program"), std::string::npos)
      << output;
  SteamAPI_Shutdown();
  output = runSecondStore();
  EXPECT_NE(output.find("second store: started"), std::string::npos) << output;
}

// A program that ends at once, without the store's shutdown, closes the store before: nothing is left beside
// store.db, and what it stored is there at the next start.
TEST_F(StoreTest, CloseForExitLeavesTheDatabaseWholeInItsFile) {
  const auto findBoard = [] {
    return await<LeaderboardFindResult_t>(SteamUserStats()->FindLeaderboard("LB")).m_hSteamLeaderboard;
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool bStored = SteamAPI_Init() && StoreTestUploadScoreAs(findBoard(), 9, 70);
    StoreCloseForExit();
    _exit(bStored ? 0 : 1);
  }
  int iStatus = 0;
  ASSERT_EQ(waitpid(child, &iStatus, 0), child);
  ASSERT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0) << iStatus;
  for (const char* pBeside : {"-wal", "-shm", "-journal"}) {
    EXPECT_FALSE(fs::exists(m_dir + "/store.db" + pBeside)) << pBeside;
  }
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_EQ(SteamUserStats()->GetLeaderboardEntryCount(findBoard()), 1);
}

// ---- Delivery ----

struct ChainedRequester {
  void on(UserStatsReceived_t*) {
    ++iCalls;
    if (iCalls == 1) {
      SteamUserStats()->RequestCurrentStats();
    }
  }
  int iCalls = 0;
  CCallback<ChainedRequester, UserStatsReceived_t> callback{this, &ChainedRequester::on};
};

TEST_F(StoreTest, CallbacksAndResultsArriveOnlyInsideRunCallbacksOnTheMainThread) {
  ASSERT_TRUE(SteamAPI_Init());
  StoreCallbackCatcher<UserStatsReceived_t> stats;
  StoreCallbackCatcher<UserStatsStored_t> stored;
  StoreResultCatcher<LeaderboardFindResult_t> find;
  ASSERT_TRUE(SteamUserStats()->RequestCurrentStats());
  find.bind(SteamUserStats()->FindLeaderboard("BOARD"));
  EXPECT_TRUE(stats.records.empty());
  EXPECT_TRUE(find.records.empty());
  runCallbacks();
  ASSERT_EQ(stats.records.size(), 1u);
  ASSERT_EQ(find.records.size(), 1u);
  EXPECT_EQ(stats.records[0].m_eResult, k_EResultOK);
  EXPECT_EQ(stats.records[0].m_nGameID, CGameID(24680).ToUint64());
  ASSERT_TRUE(SteamUserStats()->StoreStats());
  EXPECT_TRUE(stored.records.empty());
  runCallbacks();
  ASSERT_EQ(stored.records.size(), 1u);
  for (const auto* pSites : {&stats.sites, &find.sites, &stored.sites}) {
    for (const StoreDeliverySite& site : *pSites) {
      EXPECT_TRUE(site.bInsideRun);
      EXPECT_TRUE(site.bOnMainThread);
    }
  }
  runCallbacks();
  EXPECT_EQ(stats.records.size(), 1u);  // each record once

  // A request made by a handler is answered by the next RunCallbacks, not the running one.
  ChainedRequester chained;
  SteamUserStats()->RequestCurrentStats();
  runCallbacks();
  EXPECT_EQ(chained.iCalls, 1);
  runCallbacks();
  EXPECT_EQ(chained.iCalls, 2);
}

TEST_F(StoreTest, CallResultsReachOnlyTheirCurrentBinding) {
  ASSERT_TRUE(SteamAPI_Init());
  StoreResultCatcher<LeaderboardFindResult_t> rebound;
  const SteamAPICall_t hFirst = SteamUserStats()->FindLeaderboard("FIRST");
  rebound.bind(hFirst);
  rebound.bind(SteamUserStats()->FindLeaderboard("SECOND"));  // unbinds the first call
  StoreResultCatcher<LeaderboardFindResult_t> cancelled;
  cancelled.bind(SteamUserStats()->FindLeaderboard("THIRD"));
  cancelled.result.Cancel();
  EXPECT_FALSE(cancelled.result.IsActive());
  {
    StoreResultCatcher<LeaderboardFindResult_t> destroyed;
    destroyed.bind(SteamUserStats()->FindLeaderboard("FOURTH"));
  }
  StoreCallbackCatcher<UserStatsReceived_t> first;
  StoreCallbackCatcher<UserStatsReceived_t> second;
  SteamUserStats()->RequestCurrentStats();
  runCallbacks();
  ASSERT_EQ(rebound.records.size(), 1u);
  EXPECT_EQ(SteamUserStats()->GetLeaderboardName(rebound.records[0].m_hSteamLeaderboard), std::string("SECOND"));
  EXPECT_FALSE(rebound.result.IsActive());
  EXPECT_TRUE(cancelled.records.empty());
  EXPECT_EQ(first.records.size(), 1u);
  EXPECT_EQ(second.records.size(), 1u);
}

TEST_F(StoreTest, ShutdownDropsWhatIsQueued) {
  ASSERT_TRUE(SteamAPI_Init());
  StoreCallbackCatcher<UserStatsReceived_t> stats;
  StoreResultCatcher<LeaderboardFindResult_t> find;
  SteamUserStats()->RequestCurrentStats();
  find.bind(SteamUserStats()->FindLeaderboard("BOARD"));
  ASSERT_TRUE(restart());
  runCallbacks();
  EXPECT_TRUE(stats.records.empty());
  EXPECT_TRUE(find.records.empty());
}

std::vector<std::string> g_warnings;
void recordWarning(int iSeverity, const char* pText) {
  g_warnings.push_back(std::to_string(iSeverity) + " " + pText);
}

TEST_F(StoreTest, RefusedCallsReturnNoHandleAndWarnThroughTheHook) {
  ASSERT_TRUE(SteamAPI_Init());
  g_warnings.clear();
  SteamClient()->SetWarningMessageHook(&recordWarning);
  ISteamUserStats* pStats = SteamUserStats();
  EXPECT_EQ(pStats->FindLeaderboard(""), k_uAPICallInvalid);
  EXPECT_EQ(pStats->FindLeaderboard(std::string(129, 'L').c_str()), k_uAPICallInvalid);
  EXPECT_EQ(pStats->UploadLeaderboardScore(987654, k_ELeaderboardUploadScoreMethodKeepBest, 1, nullptr, 0),
            k_uAPICallInvalid);
  EXPECT_EQ(pStats->DownloadLeaderboardEntries(987654, k_ELeaderboardDataRequestGlobal, 1, 10), k_uAPICallInvalid);
  SteamClient()->SetWarningMessageHook(nullptr);
  ASSERT_EQ(g_warnings.size(), 4u);
  EXPECT_EQ(g_warnings[2], "1 UploadLeaderboardScore refused: unknown leaderboard");
}

TEST_F(StoreTest, MainThreadCallsFromAnotherThreadStopTheProgram) {
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_DEATH(std::thread([] { SteamAPI_RunCallbacks(); }).join(),
               "SteamAPI_RunCallbacks called off the main thread");
  EXPECT_DEATH(std::thread([] { SteamUserStats(); }).join(), "SteamUserStats called off the main thread");
}

}  // namespace
