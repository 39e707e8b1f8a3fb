// Leaderboards of the local store against the same work written by hand in SQL on a copy of the same SQLite
// file.
//
// Boards of 10,000, 100,000 and 1,000,000 entries (random scores below 1,000,000, the local user at the median
// score), and one of 1,000,000 with the user on top, where counting ranks costs SQL nothing. Page down: the 13
// entries of ranks 50,001 to 50,013 of the 100,000-entry board, the download the leaderboard screen asks for when
// it pages its global window there (plain SQL reaches a rank with OFFSET). Upload:
// a score that changes the entry, with the previous and new rank. Around the user: the user's rank and the 13
// entries from 6 above to 6 below. Rank lookup: the user's rank alone, as the board grows. The store runs every
// call to its result through SteamAPI_RunCallbacks. The hand-written SQL uses the same indexes, seeks for the
// window and COUNT for ranks (plain SQL has no faster rank). The boards are filled before the store starts;
// the SQL works on its own copy of the file, kept as the store keeps its own (exclusive locking mode, WAL), so
// the order in which the benchmarks run does not matter.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "Platform/Store/StoreApi.h"

namespace {

constexpr std::uint64_t gc_ulUSER = std::uint64_t(1) << 40;
constexpr int gc_iBOARDS = 4;
constexpr int gc_iTOP_BOARD = 3;
const char* const gc_pBOARDS[gc_iBOARDS] = {"BOARD_10K", "BOARD_100K", "BOARD_1M", "BOARD_1M_TOP"};
const int gc_iBOARD_SIZES[gc_iBOARDS] = {10000, 100000, 1000000, 1000000};
// The user's score on each board.
const int gc_iUSER_SCORES[gc_iBOARDS] = {500000, 500000, 500000, 2000000};

struct Fixture {
  std::string dir;
  SteamLeaderboard_t boards[gc_iBOARDS] = {};
  sqlite3* pSql = nullptr;
};

struct Receiver {
  void onUpload(LeaderboardScoreUploaded_t* pResult, bool) { iRank = pResult->m_nGlobalRankNew; }
  void onDownload(LeaderboardScoresDownloaded_t* pResult, bool) {
    hEntries = pResult->m_hSteamLeaderboardEntries;
    iCount = pResult->m_cEntryCount;
  }
  void onFind(LeaderboardFindResult_t* pResult, bool) { hBoard = pResult->m_hSteamLeaderboard; }
  CCallResult<Receiver, LeaderboardScoreUploaded_t> upload;
  CCallResult<Receiver, LeaderboardScoresDownloaded_t> download;
  CCallResult<Receiver, LeaderboardFindResult_t> find;
  int iRank = 0;
  int iCount = 0;
  SteamLeaderboardEntries_t hEntries = 0;
  SteamLeaderboard_t hBoard = 0;
};

void fail(const char* pWhat) {
  std::fprintf(stderr, "LeaderboardBench: %s\n", pWhat);
  std::exit(1);
}

void exec(sqlite3* pDb, const char* pSql) {
  if (sqlite3_exec(pDb, pSql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    fail(sqlite3_errmsg(pDb));
  }
}

void fillBoard(sqlite3* pDb, SteamLeaderboard_t hBoard, int iEntries, int iUserScore) {
  std::mt19937 random{std::uint32_t(iEntries)};
  sqlite3_stmt* pInsert = nullptr;
  sqlite3_prepare_v2(pDb, "INSERT INTO entries(board, user, score) VALUES(?1, ?2, ?3)", -1, &pInsert, nullptr);
  for (int i = 0; i < iEntries; ++i) {
    const bool bUser = i == iEntries / 2;
    sqlite3_bind_int64(pInsert, 1, std::int64_t(hBoard));
    sqlite3_bind_int64(pInsert, 2, std::int64_t(bUser ? gc_ulUSER : std::uint64_t(i) + 1));
    sqlite3_bind_int64(pInsert, 3, bUser ? iUserScore : std::int64_t(random() % 1000000));
    if (sqlite3_step(pInsert) != SQLITE_DONE) {
      fail(sqlite3_errmsg(pDb));
    }
    sqlite3_reset(pInsert);
  }
  sqlite3_finalize(pInsert);
}

void findBoards(Fixture& f) {
  Receiver receiver;
  for (int i = 0; i < gc_iBOARDS; ++i) {
    receiver.find.Set(SteamUserStats()->FindLeaderboard(gc_pBOARDS[i]), &receiver, &Receiver::onFind);
    SteamAPI_RunCallbacks();
    f.boards[i] = receiver.hBoard;
    if (f.boards[i] == 0) {
      fail("a board is missing");
    }
  }
}

Fixture& fixture() {
  static Fixture* s_pFixture = nullptr;
  if (s_pFixture != nullptr) {
    return *s_pFixture;
  }
  s_pFixture = new Fixture;
  Fixture& f = *s_pFixture;
  f.dir = (std::filesystem::temp_directory_path() / ("grindlow-leaderboard-bench-" + std::to_string(getpid())))
              .string();
  std::filesystem::create_directories(f.dir);
  std::atexit([] {
    SteamAPI_Shutdown();
    sqlite3_close(fixture().pSql);
    std::error_code error;
    std::filesystem::remove_all(fixture().dir, error);
  });
  std::ofstream(f.dir + "/store.ini") << "[user]\nid = " << gc_ulUSER << "\n[leaderboards]\nboard = BOARD_10K\n"
                                      << "board = BOARD_100K\nboard = BOARD_1M\nboard = BOARD_1M_TOP\n";
  setenv("GRINDLOW_STORE_DIR", f.dir.c_str(), 1);
  // A first run of the store makes the file and the boards; the entries go in while it is closed.
  if (!SteamAPI_Init()) {
    fail("the store does not start");
  }
  findBoards(f);
  SteamAPI_Shutdown();
  const std::string storeDb = f.dir + "/store.db";
  const std::string sqlDb = f.dir + "/baseline.db";
  if (sqlite3_open(storeDb.c_str(), &f.pSql) != SQLITE_OK) {
    fail("cannot open the store database");
  }
  exec(f.pSql, "BEGIN");
  for (int i = 0; i < gc_iBOARDS; ++i) {
    fillBoard(f.pSql, f.boards[i], gc_iBOARD_SIZES[i], gc_iUSER_SCORES[i]);
  }
  exec(f.pSql, "COMMIT");
  exec(f.pSql, ("VACUUM INTO '" + sqlDb + "'").c_str());
  sqlite3_close(f.pSql);
  f.pSql = nullptr;
  if (sqlite3_open(sqlDb.c_str(), &f.pSql) != SQLITE_OK) {
    fail("cannot open the copy of the store database");
  }
  // The copy is kept the way the store keeps its file: to this connection alone, in WAL mode.
  exec(f.pSql, "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");

  if (!SteamAPI_Init()) {
    fail("the store does not start again");
  }
  findBoards(f);
  // The store builds each board's rank tree on its first use.
  Receiver receiver;
  for (const SteamLeaderboard_t hBoard : f.boards) {
    receiver.download.Set(
        SteamUserStats()->DownloadLeaderboardEntries(hBoard, k_ELeaderboardDataRequestGlobalAroundUser, 0, 0),
        &receiver, &Receiver::onDownload);
    SteamAPI_RunCallbacks();
  }
  return f;
}

// ---- Through the store ----

// Argument: the board (2 = 1M with the user at the median, 3 = 1M with the user on top).
void BM_Engine_Upload(benchmark::State& state) {
  const SteamLeaderboard_t hBoard = fixture().boards[state.range(0)];
  Receiver receiver;
  int i = 0;
  for (auto _ : state) {
    const int iScore = gc_iUSER_SCORES[state.range(0)] + ((i++ & 1) ? 1 : -1);
    receiver.upload.Set(
        SteamUserStats()->UploadLeaderboardScore(hBoard, k_ELeaderboardUploadScoreMethodForceUpdate, iScore, nullptr, 0),
        &receiver, &Receiver::onUpload);
    SteamAPI_RunCallbacks();
    if (receiver.iRank <= 0) {
      state.SkipWithError("the upload answered no rank");
      break;
    }
  }
  state.counters["rank"] = receiver.iRank;
}

void aroundUser(benchmark::State& state, SteamLeaderboard_t hBoard, int iBefore, int iAfter) {
  Receiver receiver;
  LeaderboardEntry_t entry{};
  std::int64_t iSum = 0;
  for (auto _ : state) {
    receiver.download.Set(SteamUserStats()->DownloadLeaderboardEntries(
                              hBoard, k_ELeaderboardDataRequestGlobalAroundUser, -iBefore, iAfter),
                          &receiver, &Receiver::onDownload);
    SteamAPI_RunCallbacks();
    if (receiver.iCount <= 0) {
      state.SkipWithError("the download answered no entries");
      break;
    }
    for (int i = 0; i < receiver.iCount; ++i) {
      SteamUserStats()->GetDownloadedLeaderboardEntry(receiver.hEntries, i, &entry, nullptr, 0);
      iSum += entry.m_nGlobalRank;
    }
  }
  benchmark::DoNotOptimize(iSum);
  state.counters["entries"] = receiver.iCount;
  state.counters["rank"] = entry.m_nGlobalRank;
}

void BM_Engine_PageDown(benchmark::State& state) {
  const SteamLeaderboard_t hBoard = fixture().boards[1];
  Receiver receiver;
  LeaderboardEntry_t entry{};
  std::int64_t iSum = 0;
  for (auto _ : state) {
    receiver.download.Set(
        SteamUserStats()->DownloadLeaderboardEntries(hBoard, k_ELeaderboardDataRequestGlobal, 50001, 50013),
        &receiver, &Receiver::onDownload);
    SteamAPI_RunCallbacks();
    if (receiver.iCount != 13) {
      state.SkipWithError("the download did not answer 13 entries");
      break;
    }
    for (int i = 0; i < receiver.iCount; ++i) {
      SteamUserStats()->GetDownloadedLeaderboardEntry(receiver.hEntries, i, &entry, nullptr, 0);
      iSum += entry.m_nScore;
    }
  }
  benchmark::DoNotOptimize(iSum);
  state.counters["rank"] = entry.m_nGlobalRank;
}

void BM_Engine_AroundUser(benchmark::State& state) { aroundUser(state, fixture().boards[state.range(0)], 6, 6); }
void BM_Engine_RankLookup(benchmark::State& state) { aroundUser(state, fixture().boards[state.range(0)], 0, 0); }

// ---- By hand in SQL ----

struct SqlStatements {
  explicit SqlStatements(sqlite3* pDb) {
    const char* const pSql[] = {
        "SELECT id, score FROM entries WHERE board = ?1 AND user = ?2",
        "SELECT (SELECT COUNT(*) FROM entries WHERE board = ?1 AND score > ?2) +"
        " (SELECT COUNT(*) FROM entries WHERE board = ?1 AND score = ?2 AND id < ?3)",
        "SELECT MAX(id) FROM entries",
        "UPDATE entries SET id = ?1, score = ?2 WHERE id = ?3",
        // Entries before the user, nearest first: equal scores reached earlier, then higher scores.
        "SELECT user, score, id FROM entries WHERE board = ?1 AND score = ?2 AND id < ?3 ORDER BY id DESC LIMIT ?4",
        "SELECT user, score, id FROM entries WHERE board = ?1 AND score > ?2 ORDER BY score, id DESC LIMIT ?3",
        // The user and the entries after: equal scores reached later, then lower scores.
        "SELECT user, score, id FROM entries WHERE board = ?1 AND score = ?2 AND id >= ?3 ORDER BY id LIMIT ?4",
        "SELECT user, score, id FROM entries WHERE board = ?1 AND score < ?2 ORDER BY score DESC, id LIMIT ?3",
    };
    for (int i = 0; i < 8; ++i) {
      if (sqlite3_prepare_v2(pDb, pSql[i], -1, &stmts[i], nullptr) != SQLITE_OK) {
        fail(sqlite3_errmsg(pDb));
      }
    }
  }
  ~SqlStatements() {
    for (sqlite3_stmt* pStmt : stmts) {
      sqlite3_finalize(pStmt);
    }
  }
  // Binds integers to ?1.., steps once; the first column of the row (or 0).
  std::int64_t one(int iStmt, std::initializer_list<std::int64_t> args) {
    sqlite3_stmt* pStmt = stmts[iStmt];
    int iIndex = 1;
    for (const std::int64_t iArg : args) {
      sqlite3_bind_int64(pStmt, iIndex++, iArg);
    }
    const std::int64_t iValue = sqlite3_step(pStmt) == SQLITE_ROW ? sqlite3_column_int64(pStmt, 0) : 0;
    return iValue;
  }
  std::int64_t column(int iStmt, int iColumn) { return sqlite3_column_int64(stmts[iStmt], iColumn); }
  void reset(int iStmt) { sqlite3_reset(stmts[iStmt]); }
  // Steps through the rows, summing the first column; the number of rows.
  int rows(int iStmt, std::initializer_list<std::int64_t> args, std::int64_t* pSum) {
    sqlite3_stmt* pStmt = stmts[iStmt];
    int iIndex = 1;
    for (const std::int64_t iArg : args) {
      sqlite3_bind_int64(pStmt, iIndex++, iArg);
    }
    int iRows = 0;
    while (sqlite3_step(pStmt) == SQLITE_ROW) {
      *pSum += sqlite3_column_int64(pStmt, 1);
      ++iRows;
    }
    sqlite3_reset(pStmt);
    return iRows;
  }
  sqlite3_stmt* stmts[8] = {};
};

std::int64_t sqlRank(SqlStatements& sql, std::int64_t iBoard, std::int64_t iScore, std::int64_t iId) {
  const std::int64_t iRank = sql.one(1, {iBoard, iScore, iId}) + 1;
  sql.reset(1);
  return iRank;
}

void BM_Baseline_Upload(benchmark::State& state) {
  Fixture& f = fixture();
  const std::int64_t iBoard = std::int64_t(f.boards[state.range(0)]);
  SqlStatements sql(f.pSql);
  int i = 0;
  std::int64_t iRank = 0;
  for (auto _ : state) {
    const std::int64_t iScore = gc_iUSER_SCORES[state.range(0)] + ((i++ & 1) ? 1 : -1);
    sql.one(0, {iBoard, std::int64_t(gc_ulUSER)});
    const std::int64_t iOldId = sql.column(0, 0);
    const std::int64_t iOldScore = sql.column(0, 1);
    sql.reset(0);
    iRank = sqlRank(sql, iBoard, iOldScore, iOldId);
    const std::int64_t iNewId = sql.one(2, {}) + 1;
    sql.reset(2);
    sql.one(3, {iNewId, iScore, iOldId});
    sql.reset(3);
    iRank += sqlRank(sql, iBoard, iScore, iNewId);
    if (iOldId == 0 || iRank <= 0) {
      state.SkipWithError("the user's entry was not found");
      break;
    }
  }
}

void sqlAroundUser(benchmark::State& state, std::int64_t iBoard, int iBefore, int iAfter) {
  SqlStatements sql(fixture().pSql);
  std::int64_t iSum = 0;
  for (auto _ : state) {
    sql.one(0, {iBoard, std::int64_t(gc_ulUSER)});
    const std::int64_t iId = sql.column(0, 0);
    const std::int64_t iScore = sql.column(0, 1);
    sql.reset(0);
    iSum += sqlRank(sql, iBoard, iScore, iId);
    if (iBefore > 0) {
      const int iTies = sql.rows(4, {iBoard, iScore, iId, iBefore}, &iSum);
      sql.rows(5, {iBoard, iScore, iBefore - iTies}, &iSum);
    }
    const int iTies = sql.rows(6, {iBoard, iScore, iId, iAfter + 1}, &iSum);
    sql.rows(7, {iBoard, iScore, iAfter + 1 - iTies}, &iSum);
    if (iId == 0 || iTies <= 0) {  // the user's own entry is among the ties
      state.SkipWithError("the user's entry was not found");
      break;
    }
  }
  benchmark::DoNotOptimize(iSum);
}

void BM_Baseline_AroundUser(benchmark::State& state) {
  sqlAroundUser(state, std::int64_t(fixture().boards[state.range(0)]), 6, 6);
}
void BM_Baseline_RankLookup(benchmark::State& state) {
  sqlAroundUser(state, std::int64_t(fixture().boards[state.range(0)]), 0, 0);
}

void BM_Baseline_PageDown(benchmark::State& state) {
  sqlite3_stmt* pStmt = nullptr;
  if (sqlite3_prepare_v2(fixture().pSql,
                         "SELECT user, score FROM entries WHERE board = ?1"
                         " ORDER BY score DESC, id LIMIT 13 OFFSET ?2",
                         -1, &pStmt, nullptr) != SQLITE_OK) {
    fail(sqlite3_errmsg(fixture().pSql));
  }
  std::int64_t iSum = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(pStmt, 1, std::int64_t(fixture().boards[1]));
    sqlite3_bind_int64(pStmt, 2, 50000);
    int iRows = 0;
    while (sqlite3_step(pStmt) == SQLITE_ROW) {
      iSum += sqlite3_column_int64(pStmt, 1);
      ++iRows;
    }
    sqlite3_reset(pStmt);
    if (iRows != 13) {
      state.SkipWithError("the query did not answer 13 rows");
      break;
    }
  }
  sqlite3_finalize(pStmt);
  benchmark::DoNotOptimize(iSum);
}

BENCHMARK(BM_Engine_Upload)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Engine_AroundUser)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Engine_RankLookup)->DenseRange(0, 2)->ArgName("board");
BENCHMARK(BM_Baseline_AroundUser)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Baseline_RankLookup)->DenseRange(0, 2)->ArgName("board");
BENCHMARK(BM_Baseline_Upload)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Engine_PageDown);
BENCHMARK(BM_Baseline_PageDown);

}  // namespace

BENCHMARK_MAIN();
