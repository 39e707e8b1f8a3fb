#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <random>
#include <tuple>

#include "Tests/Platform/Store/StoreTestFixture.h"

namespace {

constexpr std::uint64_t gc_ulME = 1000;

class StoreBoardTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    writeConfig("[app]\ncreate_boards_on_find = 0\n[friends]\n21 = Ann\n22 = Ben\n23 = Cid\n"
                "[leaderboards]\nboard = MARATHON_MODE\nboard = SURVIVOR_MODE_BASIC\n");
    ASSERT_TRUE(SteamAPI_Init());
    m_hBoard = find("MARATHON_MODE").m_hSteamLeaderboard;
    ASSERT_NE(m_hBoard, 0u);
  }

  static LeaderboardFindResult_t find(const char* pName, bool* pbIOFailure = nullptr) {
    return await<LeaderboardFindResult_t>(SteamUserStats()->FindLeaderboard(pName), pbIOFailure);
  }

  LeaderboardScoreUploaded_t upload(std::int32_t iScore,
                                    ELeaderboardUploadScoreMethod eMethod = k_ELeaderboardUploadScoreMethodKeepBest,
                                    const std::int32_t* pDetails = nullptr, int iDetails = 0) {
    return await<LeaderboardScoreUploaded_t>(
        SteamUserStats()->UploadLeaderboardScore(m_hBoard, eMethod, iScore, pDetails, iDetails));
  }

  // (user, rank, score) of every downloaded entry.
  std::vector<std::tuple<std::uint64_t, int, int>> download(ELeaderboardDataRequest eRequest, int iStart, int iEnd) {
    const auto result = await<LeaderboardScoresDownloaded_t>(
        SteamUserStats()->DownloadLeaderboardEntries(m_hBoard, eRequest, iStart, iEnd));
    EXPECT_EQ(result.m_hSteamLeaderboard, m_hBoard);
    std::vector<std::tuple<std::uint64_t, int, int>> entries;
    for (int i = 0; i < result.m_cEntryCount; ++i) {
      LeaderboardEntry_t entry{};
      EXPECT_TRUE(SteamUserStats()->GetDownloadedLeaderboardEntry(result.m_hSteamLeaderboardEntries, i, &entry,
                                                                  nullptr, 0));
      entries.emplace_back(entry.m_steamIDUser.ConvertToUint64(), entry.m_nGlobalRank, entry.m_nScore);
    }
    LeaderboardEntry_t past{};
    EXPECT_FALSE(SteamUserStats()->GetDownloadedLeaderboardEntry(result.m_hSteamLeaderboardEntries,
                                                                 result.m_cEntryCount, &past, nullptr, 0));
    return entries;
  }

  // Users 101..120 with scores 2000, 1900, ..., 100 (rank = user - 100).
  void fillBoard() {
    for (int i = 1; i <= 20; ++i) {
      ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, 100 + std::uint64_t(i), 2100 - 100 * i));
    }
  }

  SteamLeaderboard_t m_hBoard = 0;
};

typedef std::vector<std::tuple<std::uint64_t, int, int>> Entries;

TEST_F(StoreBoardTest, FindReportsFoundAndNotFound) {
  const LeaderboardFindResult_t other = find("SURVIVOR_MODE_BASIC");
  EXPECT_EQ(other.m_bLeaderboardFound, 1);
  EXPECT_NE(other.m_hSteamLeaderboard, m_hBoard);
  EXPECT_STREQ(SteamUserStats()->GetLeaderboardName(other.m_hSteamLeaderboard), "SURVIVOR_MODE_BASIC");
  bool bIOFailure = true;
  const LeaderboardFindResult_t missing = find("NO_SUCH_BOARD", &bIOFailure);
  EXPECT_EQ(missing.m_bLeaderboardFound, 0);
  EXPECT_EQ(missing.m_hSteamLeaderboard, 0u);
  EXPECT_FALSE(bIOFailure);
  StoreSetFaults(STORE_FAULT_FIND_NOTFOUND);
  EXPECT_EQ(find("MARATHON_MODE").m_bLeaderboardFound, 0);
  StoreSetFaults(STORE_FAULT_IO_FAIL);
  find("MARATHON_MODE", &bIOFailure);
  EXPECT_TRUE(bIOFailure);

  // With creation on find, the same name always gives the same board, also after a restart.
  StoreSetFaults(0);
  writeConfig("");
  ASSERT_TRUE(restart());
  const LeaderboardFindResult_t created = find("NEW_BOARD");
  EXPECT_EQ(created.m_bLeaderboardFound, 1);
  EXPECT_EQ(find("MARATHON_MODE").m_hSteamLeaderboard, m_hBoard);
  ASSERT_TRUE(restart());
  EXPECT_EQ(find("NEW_BOARD").m_hSteamLeaderboard, created.m_hSteamLeaderboard);
}

TEST_F(StoreBoardTest, UploadKeepsTheBestScore) {
  LeaderboardScoreUploaded_t result = upload(500);
  EXPECT_EQ(result.m_bSuccess, 1);
  EXPECT_EQ(result.m_bScoreChanged, 1);
  EXPECT_EQ(result.m_nGlobalRankNew, 1);
  EXPECT_EQ(result.m_nGlobalRankPrevious, 0);
  ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, 7, 900));
  ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, 8, 600));

  result = upload(550);  // below the top two
  EXPECT_EQ(result.m_bScoreChanged, 1);
  EXPECT_EQ(result.m_nScore, 550);
  EXPECT_EQ(result.m_nGlobalRankNew, 3);
  EXPECT_EQ(result.m_nGlobalRankPrevious, 3);
  result = upload(100);
  EXPECT_EQ(result.m_bSuccess, 1);
  EXPECT_EQ(result.m_bScoreChanged, 0);
  EXPECT_EQ(result.m_nGlobalRankNew, 3);
  result = upload(700);
  EXPECT_EQ(result.m_nGlobalRankNew, 2);
  EXPECT_EQ(result.m_nGlobalRankPrevious, 3);
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobal, 1, 10), (Entries{{7, 1, 900}, {gc_ulME, 2, 700}, {8, 3, 600}}));

  result = upload(10, k_ELeaderboardUploadScoreMethodForceUpdate);
  EXPECT_EQ(result.m_bScoreChanged, 1);
  EXPECT_EQ(result.m_nGlobalRankNew, 3);
  StoreSetFaults(STORE_FAULT_UPLOAD_FAIL);
  EXPECT_EQ(upload(5000).m_bSuccess, 0);
  StoreSetFaults(0);
  EXPECT_EQ(SteamUserStats()->GetLeaderboardEntryCount(m_hBoard), 3);
  EXPECT_EQ(std::get<2>(download(k_ELeaderboardDataRequestGlobal, 3, 3).at(0)), 10);
}

TEST_F(StoreBoardTest, EqualScoresRankInTheOrderTheyWereReached) {
  for (const std::uint64_t ulUser : {31, 32, 33}) {
    ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, ulUser, 100));
  }
  ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, 31, 100));  // equal again: keeps its place
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobal, 1, 3), (Entries{{31, 1, 100}, {32, 2, 100}, {33, 3, 100}}));
  ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, 32, 90));  // lower: ignored
  ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, 33, 101));
  EXPECT_EQ(upload(100).m_nGlobalRankNew, 4);  // behind 31 and 32, which reached 100 first
  ASSERT_TRUE(restart());
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobal, 1, 4),
            (Entries{{33, 1, 101}, {31, 2, 100}, {32, 3, 100}, {gc_ulME, 4, 100}}));
}

TEST_F(StoreBoardTest, GlobalDownloadsUseOneBasedRanks) {
  fillBoard();
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobal, 1, 3), (Entries{{101, 1, 2000}, {102, 2, 1900}, {103, 3, 1800}}));
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobal, 0, 1), (Entries{{101, 1, 2000}}));
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobal, 19, 40), (Entries{{119, 19, 200}, {120, 20, 100}}));
  EXPECT_TRUE(download(k_ELeaderboardDataRequestGlobal, 21, 30).empty());
  EXPECT_TRUE(download(k_ELeaderboardDataRequestGlobal, 5, 4).empty());
}

TEST_F(StoreBoardTest, DownloadsAroundTheUserAndOfFriends) {
  fillBoard();
  EXPECT_TRUE(download(k_ELeaderboardDataRequestGlobalAroundUser, -2, 2).empty());  // no entry yet
  EXPECT_TRUE(download(k_ELeaderboardDataRequestFriends, 0, 0).empty());
  ASSERT_EQ(upload(1450).m_nGlobalRankNew, 7);
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobalAroundUser, -2, 1),
            (Entries{{105, 5, 1600}, {106, 6, 1500}, {gc_ulME, 7, 1450}, {107, 8, 1400}}));
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobalAroundUser, 0, 0), (Entries{{gc_ulME, 7, 1450}}));
  ASSERT_EQ(upload(5000).m_nGlobalRankNew, 1);
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobalAroundUser, -3, 2),
            (Entries{{gc_ulME, 1, 5000}, {101, 2, 2000}, {102, 3, 1900}}));

  // Friends 21..23; 22 has no entry. Ranks stay global.
  ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, 23, 1750));
  ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, 21, 50));
  EXPECT_EQ(download(k_ELeaderboardDataRequestFriends, 0, 0),
            (Entries{{gc_ulME, 1, 5000}, {23, 5, 1750}, {21, 23, 50}}));
  EXPECT_STREQ(SteamFriends()->GetFriendPersonaName(CSteamID(23)), "Cid");
}

TEST_F(StoreBoardTest, DetailsAndEntrySets) {
  const std::int32_t details[3] = {7, -8, 9};
  upload(40, k_ELeaderboardUploadScoreMethodKeepBest, details, 3);
  const auto result = await<LeaderboardScoresDownloaded_t>(
      SteamUserStats()->DownloadLeaderboardEntries(m_hBoard, k_ELeaderboardDataRequestGlobal, 1, 1));
  LeaderboardEntry_t entry{};
  std::int32_t got[3] = {0, 0, 0};
  ASSERT_TRUE(SteamUserStats()->GetDownloadedLeaderboardEntry(result.m_hSteamLeaderboardEntries, 0, &entry, got, 2));
  EXPECT_EQ(entry.m_cDetails, 3);
  EXPECT_EQ(got[0], 7);
  EXPECT_EQ(got[1], -8);
  EXPECT_EQ(got[2], 0);  // beyond cDetailsMax
  EXPECT_EQ(SteamUserStats()->UploadLeaderboardScore(m_hBoard, k_ELeaderboardUploadScoreMethodKeepBest, 1, details,
                                                     k_cLeaderboardDetailsMax + 1),
            k_uAPICallInvalid);
  for (int i = 0; i < 32; ++i) {
    download(k_ELeaderboardDataRequestGlobal, 1, 1);
  }
  EXPECT_FALSE(SteamUserStats()->GetDownloadedLeaderboardEntry(result.m_hSteamLeaderboardEntries, 0, &entry, got, 3));
}

TEST_F(StoreBoardTest, IOFailureChangesNothing) {
  StoreSetFaults(STORE_FAULT_IO_FAIL);
  bool bIOFailure = false;
  await<LeaderboardScoreUploaded_t>(
      SteamUserStats()->UploadLeaderboardScore(m_hBoard, k_ELeaderboardUploadScoreMethodKeepBest, 9, nullptr, 0),
      &bIOFailure);
  EXPECT_TRUE(bIOFailure);
  await<LeaderboardScoresDownloaded_t>(
      SteamUserStats()->DownloadLeaderboardEntries(m_hBoard, k_ELeaderboardDataRequestGlobal, 1, 9), &bIOFailure);
  EXPECT_TRUE(bIOFailure);
  StoreSetFaults(0);
  EXPECT_EQ(SteamUserStats()->GetLeaderboardEntryCount(m_hBoard), 0);
}

// Another program may change the database only while the store is closed; the store sees the change at its
// next start.
TEST_F(StoreBoardTest, ChangesMadeWhileTheStoreIsClosedAreSeen) {
  fillBoard();
  EXPECT_EQ(upload(1450).m_nGlobalRankNew, 7);
  sqlite3* pDb = nullptr;
  ASSERT_EQ(sqlite3_open((m_dir + "/store.db").c_str(), &pDb), SQLITE_OK);
  const std::string sql = "INSERT INTO entries(id, board, user, score) VALUES(100000, " + std::to_string(m_hBoard) +
                          ", 555, 3000)";
  EXPECT_EQ(sqlite3_exec(pDb, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_BUSY);  // the running store's own
  SteamAPI_Shutdown();
  EXPECT_EQ(sqlite3_exec(pDb, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(pDb);
  ASSERT_TRUE(SteamAPI_Init());
  ASSERT_EQ(find("MARATHON_MODE").m_hSteamLeaderboard, m_hBoard);
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobalAroundUser, 0, 0), (Entries{{gc_ulME, 8, 1450}}));
  EXPECT_EQ(upload(1460).m_nGlobalRankNew, 8);
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobal, 1, 1), (Entries{{555, 1, 3000}}));

  // Details that are not whole words: the download fails as an I/O failure instead of passing them on.
  SteamAPI_Shutdown();
  ASSERT_EQ(sqlite3_open((m_dir + "/store.db").c_str(), &pDb), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(pDb, "UPDATE entries SET details = x'0102030405' WHERE user = 555", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(pDb);
  ASSERT_TRUE(SteamAPI_Init());
  bool bIOFailure = false;
  await<LeaderboardScoresDownloaded_t>(
      SteamUserStats()->DownloadLeaderboardEntries(m_hBoard, k_ELeaderboardDataRequestGlobal, 1, 3), &bIOFailure);
  EXPECT_TRUE(bIOFailure);
  EXPECT_EQ(download(k_ELeaderboardDataRequestGlobal, 2, 2), (Entries{{101, 2, 2000}}));
}

// Random uploads against a plain model: every rank, score and order must match after every round.
TEST_F(StoreBoardTest, RanksMatchAModelUnderRandomUploads) {
  std::mt19937 random(1234);
  std::map<std::uint64_t, std::pair<int, int>> best;  // user -> (score, order reached)
  int iOrder = 0;
  for (int iRound = 0; iRound < 6; ++iRound) {
    for (int i = 0; i < 150; ++i) {
      const std::uint64_t ulUser = 200 + random() % 60;
      const int iScore = int(random() % 40) - 10;  // many ties, negative scores
      ASSERT_TRUE(StoreTestUploadScoreAs(m_hBoard, ulUser, iScore));
      const auto found = best.find(ulUser);
      if (found == best.end() || iScore > found->second.first) {
        best[ulUser] = {iScore, iOrder++};
      }
    }
    std::vector<std::tuple<int, int, std::uint64_t>> model;  // (-score, order, user)
    for (const auto& [ulUser, value] : best) {
      model.emplace_back(-value.first, value.second, ulUser);
    }
    std::sort(model.begin(), model.end());
    Entries expected;
    for (std::size_t i = 0; i < model.size(); ++i) {
      expected.emplace_back(std::get<2>(model[i]), int(i) + 1, -std::get<0>(model[i]));
    }
    ASSERT_EQ(download(k_ELeaderboardDataRequestGlobal, 1, 1000), expected) << "round " << iRound;
    if (iRound == 2) {
      ASSERT_TRUE(restart());  // the rank trees are rebuilt from the file
    }
  }
}

}  // namespace
