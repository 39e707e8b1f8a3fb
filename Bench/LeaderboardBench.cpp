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
//
// Both sides check, untimed, what their last iteration answered against the boards as filled (kept in memory, with
// the user's entry as each side's uploads left it): an upload's previous and new rank and the user's score it leaves
// in the file, a window's entries one by one (user, score, rank) and their number, a rank exactly.
// GRINDLOW_BENCH_SKIP "<case>.engine.entries" leaves out reading the downloaded entries, "Upload.engine.callbacks"
// running the store's call results; "Upload.baseline.update" and ".previous" leave out the SQL's update and its
// rank before it, "<case>.baseline.rank" the rank's COUNT, "AroundUser.baseline.before" and ".after" the entries
// above and from the user down, "PageDown.baseline.entries" reading the rows' columns.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Bench/BenchSkip.h"
#include "Platform/Store/StoreApi.h"

namespace {

constexpr std::uint64_t gc_ulUSER = std::uint64_t(1) << 40;
constexpr int gc_iBOARDS = 4;
constexpr int gc_iTOP_BOARD = 3;
const char* const gc_pBOARDS[gc_iBOARDS] = {"BOARD_10K", "BOARD_100K", "BOARD_1M", "BOARD_1M_TOP"};
const int gc_iBOARD_SIZES[gc_iBOARDS] = {10000, 100000, 1000000, 1000000};
// The user's score on each board.
const int gc_iUSER_SCORES[gc_iBOARDS] = {500000, 500000, 500000, 2000000};

// One entry of an answer, as both sides report it.
struct SRow {
  std::uint64_t ulUser = 0;
  std::int32_t iRank = 0;
  std::int32_t iScore = 0;
  bool operator==(const SRow&) const = default;
};

// Where the user's entry stands: its score, and whether it was reached after every other entry (an upload that
// changes it gives it a new id).
struct SUserStanding {
  std::int32_t iScore = 0;
  bool bLatest = false;
};

enum E_SIDE { E_SIDE_STORE, E_SIDE_SQL, NUM_E_SIDE };

// A board as filled: every entry but the user's, in rank order (higher score first; among equal scores the one
// filled first), the user's place in the filling, and the user's entry as each side's uploads left it.
struct SBoardModel {
  std::vector<SRow> others;  // ranks not set
  std::int64_t iUserFill = 0;
  SUserStanding standing[NUM_E_SIDE];

  // Entries before the user's in rank order.
  std::int64_t before(const SUserStanding& user) const {
    const auto higher = std::partition_point(others.begin(), others.end(),
                                             [&](const SRow& row) { return row.iScore > user.iScore; });
    const auto ties = std::partition_point(higher, others.end(), [&](const SRow& row) {
      return row.iScore == user.iScore && (user.bLatest || std::int64_t(row.ulUser) - 1 < iUserFill);
    });
    return ties - others.begin();
  }
  std::int32_t rank(const SUserStanding& user) const { return std::int32_t(before(user) + 1); }
  // The entries of ranks iFirst..iLast, clamped to the board.
  std::vector<SRow> window(std::int64_t iFirst, std::int64_t iLast, const SUserStanding& user) const {
    const std::int64_t iUser = before(user);
    std::vector<SRow> rows;
    for (std::int64_t iRank = std::max<std::int64_t>(iFirst, 1);
         iRank <= std::min<std::int64_t>(iLast, std::int64_t(others.size()) + 1); ++iRank) {
      SRow row = iRank - 1 < iUser    ? others[std::size_t(iRank - 1)]
                 : iRank - 1 == iUser ? SRow{gc_ulUSER, 0, user.iScore}
                                      : others[std::size_t(iRank - 2)];
      row.iRank = std::int32_t(iRank);
      rows.push_back(row);
    }
    return rows;
  }
};

// Empty when the rows are the ones wanted; else the first difference.
std::string compareRows(const std::vector<SRow>& rows, const std::vector<SRow>& wanted) {
  if (rows.size() != wanted.size()) {
    return std::to_string(rows.size()) + " entries instead of " + std::to_string(wanted.size());
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i] != wanted[i]) {
      return "entry " + std::to_string(i) + " is user " + std::to_string(rows[i].ulUser) + " of rank " +
             std::to_string(rows[i].iRank) + " and score " + std::to_string(rows[i].iScore) + ", not user " +
             std::to_string(wanted[i].ulUser) + " of rank " + std::to_string(wanted[i].iRank) + " and score " +
             std::to_string(wanted[i].iScore);
    }
  }
  return std::string();
}

struct Fixture {
  std::string dir;
  SBoardModel models[gc_iBOARDS];
  SteamLeaderboard_t boards[gc_iBOARDS] = {};
  sqlite3* pSql = nullptr;
};

struct Receiver {
  void onUpload(LeaderboardScoreUploaded_t* pResult, bool) {
    iRank = pResult->m_nGlobalRankNew;
    iRankPrevious = pResult->m_nGlobalRankPrevious;
  }
  void onDownload(LeaderboardScoresDownloaded_t* pResult, bool) {
    hEntries = pResult->m_hSteamLeaderboardEntries;
    iCount = pResult->m_cEntryCount;
  }
  void onFind(LeaderboardFindResult_t* pResult, bool) { hBoard = pResult->m_hSteamLeaderboard; }
  CCallResult<Receiver, LeaderboardScoreUploaded_t> upload;
  CCallResult<Receiver, LeaderboardScoresDownloaded_t> download;
  CCallResult<Receiver, LeaderboardFindResult_t> find;
  int iRank = 0;
  int iRankPrevious = 0;
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

// Fills a board and its model.
void fillBoard(sqlite3* pDb, SteamLeaderboard_t hBoard, int iEntries, int iUserScore, SBoardModel* pModel) {
  std::mt19937 random{std::uint32_t(iEntries)};
  pModel->iUserFill = iEntries / 2;
  for (SUserStanding& standing : pModel->standing) standing = {iUserScore, false};
  sqlite3_stmt* pInsert = nullptr;
  sqlite3_prepare_v2(pDb, "INSERT INTO entries(board, user, score) VALUES(?1, ?2, ?3)", -1, &pInsert, nullptr);
  for (int i = 0; i < iEntries; ++i) {
    const bool bUser = i == iEntries / 2;
    sqlite3_bind_int64(pInsert, 1, std::int64_t(hBoard));
    sqlite3_bind_int64(pInsert, 2, std::int64_t(bUser ? gc_ulUSER : std::uint64_t(i) + 1));
    const std::int32_t iScore = bUser ? iUserScore : std::int32_t(random() % 1000000);
    sqlite3_bind_int64(pInsert, 3, iScore);
    if (sqlite3_step(pInsert) != SQLITE_DONE) {
      fail(sqlite3_errmsg(pDb));
    }
    sqlite3_reset(pInsert);
    if (!bUser) pModel->others.push_back({std::uint64_t(i) + 1, 0, iScore});
  }
  sqlite3_finalize(pInsert);
  std::stable_sort(pModel->others.begin(), pModel->others.end(),
                   [](const SRow& a, const SRow& b) { return a.iScore > b.iScore; });
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
    fillBoard(f.pSql, f.boards[i], gc_iBOARD_SIZES[i], gc_iUSER_SCORES[i], &f.models[i]);
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

// The score an upload benchmark sends in iteration i: one below and one above the user's score in turn.
std::int32_t uploadScore(std::int64_t iBoard, std::int64_t i) { return gc_iUSER_SCORES[iBoard] + ((i & 1) ? 1 : -1); }

// Empty when the last of iUploads uploads (previous rank, new rank) answered the ranks the model gives, and leaves
// the model with the last score; else what went wrong.
std::string checkUploads(benchmark::State& state, E_SIDE eSide, std::int64_t iUploads, int iRankPrevious, int iRank) {
  if (iUploads == 0) return std::string();
  SBoardModel& model = fixture().models[state.range(0)];
  SUserStanding& standing = model.standing[eSide];
  const SUserStanding previous =
      iUploads >= 2 ? SUserStanding{uploadScore(state.range(0), iUploads - 2), true} : standing;
  standing = {uploadScore(state.range(0), iUploads - 1), true};
  const int iWantedPrevious = model.rank(previous);
  const int iWanted = model.rank(standing);
  if (iRankPrevious != iWantedPrevious || iRank != iWanted) {
    return "the last upload answered the ranks " + std::to_string(iRankPrevious) + " before and " +
           std::to_string(iRank) + " after, not " + std::to_string(iWantedPrevious) + " and " + std::to_string(iWanted);
  }
  return std::string();
}

// Argument: the board (2 = 1M with the user at the median, 3 = 1M with the user on top).
void BM_Engine_Upload(benchmark::State& state) {
  const SteamLeaderboard_t hBoard = fixture().boards[state.range(0)];
  const bool bCallbacks = !benchSkips("Upload.engine.callbacks");
  Receiver receiver;
  std::int64_t i = 0;
  for (auto _ : state) {
    receiver.upload.Set(SteamUserStats()->UploadLeaderboardScore(hBoard, k_ELeaderboardUploadScoreMethodForceUpdate,
                                                                 uploadScore(state.range(0), i++), nullptr, 0),
                        &receiver, &Receiver::onUpload);
    if (bCallbacks) SteamAPI_RunCallbacks();
  }
  std::string problem = checkUploads(state, E_SIDE_STORE, i, receiver.iRankPrevious, receiver.iRank);
  // The score stays in the store.
  receiver.download.Set(
      SteamUserStats()->DownloadLeaderboardEntries(hBoard, k_ELeaderboardDataRequestGlobalAroundUser, 0, 0), &receiver,
      &Receiver::onDownload);
  SteamAPI_RunCallbacks();
  LeaderboardEntry_t entry{};
  if (problem.empty() && i > 0 &&
      (receiver.iCount != 1 ||
       !SteamUserStats()->GetDownloadedLeaderboardEntry(receiver.hEntries, 0, &entry, nullptr, 0) ||
       entry.m_nScore != uploadScore(state.range(0), i - 1))) {
    problem = "the store does not hold the score uploaded last";
  }
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.counters["rank"] = receiver.iRank;
}

// Downloads (eRequest, iFirst, iLast) from the board in every iteration, reading each entry of the download unless
// bEntries is false; the last download's entries.
std::vector<SRow> timedDownloads(benchmark::State& state, SteamLeaderboard_t hBoard, ELeaderboardDataRequest eRequest,
                                 int iFirst, int iLast, bool bEntries) {
  constexpr int iMOST = 16;
  Receiver receiver;
  LeaderboardEntry_t aEntries[iMOST] = {};
  for (auto _ : state) {
    receiver.download.Set(SteamUserStats()->DownloadLeaderboardEntries(hBoard, eRequest, iFirst, iLast), &receiver,
                          &Receiver::onDownload);
    SteamAPI_RunCallbacks();
    for (int i = 0; bEntries && i < std::min(receiver.iCount, iMOST); ++i) {
      SteamUserStats()->GetDownloadedLeaderboardEntry(receiver.hEntries, i, &aEntries[i], nullptr, 0);
    }
    benchmark::ClobberMemory();
  }
  std::vector<SRow> rows;
  for (int i = 0; i < receiver.iCount; ++i) {
    const LeaderboardEntry_t& entry = aEntries[std::min(i, iMOST - 1)];
    rows.push_back({entry.m_steamIDUser.ConvertToUint64(), entry.m_nGlobalRank, entry.m_nScore});
  }
  return rows;
}

// Downloads the entries from iBefore above the user to iAfter below; the last download's entries must be the model's.
void aroundUser(benchmark::State& state, const char* pCase, int iBefore, int iAfter) {
  const std::vector<SRow> rows =
      timedDownloads(state, fixture().boards[state.range(0)], k_ELeaderboardDataRequestGlobalAroundUser, -iBefore,
                     iAfter, !benchSkips(std::string(pCase) + ".engine.entries"));
  const SBoardModel& model = fixture().models[state.range(0)];
  const SUserStanding& standing = model.standing[E_SIDE_STORE];
  const std::int64_t iRank = model.rank(standing);
  const std::string problem = compareRows(rows, model.window(iRank - iBefore, iRank + iAfter, standing));
  if (!problem.empty()) state.SkipWithError(("the download around the user: " + problem).c_str());
  state.counters["entries"] = double(rows.size());
  state.counters["rank"] = double(iRank);
}

void BM_Engine_PageDown(benchmark::State& state) {
  const std::vector<SRow> rows = timedDownloads(state, fixture().boards[1], k_ELeaderboardDataRequestGlobal, 50001,
                                                50013, !benchSkips("PageDown.engine.entries"));
  const SBoardModel& model = fixture().models[1];
  const std::string problem = compareRows(rows, model.window(50001, 50013, model.standing[E_SIDE_STORE]));
  if (!problem.empty()) state.SkipWithError(("the page: " + problem).c_str());
  state.counters["rank"] = rows.empty() ? 0 : rows.back().iRank;
}

void BM_Engine_AroundUser(benchmark::State& state) { aroundUser(state, "AroundUser", 6, 6); }
void BM_Engine_RankLookup(benchmark::State& state) { aroundUser(state, "RankLookup", 0, 0); }

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
  // Steps through the rows, writing each one's user and score (columns 0 and 1) to pRows, pRows + iStep, ... (unless
  // bRead); the number of rows.
  int rows(int iStmt, std::initializer_list<std::int64_t> args, SRow* pRows, int iStep, bool bRead) {
    sqlite3_stmt* pStmt = stmts[iStmt];
    int iIndex = 1;
    for (const std::int64_t iArg : args) {
      sqlite3_bind_int64(pStmt, iIndex++, iArg);
    }
    int iRows = 0;
    for (SRow* pRow = pRows; sqlite3_step(pStmt) == SQLITE_ROW; pRow += iStep) {
      if (bRead) {
        pRow->ulUser = std::uint64_t(sqlite3_column_int64(pStmt, 0));
        pRow->iScore = std::int32_t(sqlite3_column_int64(pStmt, 1));
      }
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

// The user's score read back from the SQL copy.
std::int64_t sqlUserScore(SqlStatements& sql, std::int64_t iBoard) {
  sql.one(0, {iBoard, std::int64_t(gc_ulUSER)});
  const std::int64_t iScore = sql.column(0, 1);
  sql.reset(0);
  return iScore;
}

void BM_Baseline_Upload(benchmark::State& state) {
  Fixture& f = fixture();
  const std::int64_t iBoard = std::int64_t(f.boards[state.range(0)]);
  const bool bUpdate = !benchSkips("Upload.baseline.update");
  const bool bPrevious = !benchSkips("Upload.baseline.previous");
  SqlStatements sql(f.pSql);
  std::int64_t i = 0;
  std::int64_t iRankPrevious = 0;
  std::int64_t iRank = 0;
  for (auto _ : state) {
    const std::int64_t iScore = uploadScore(state.range(0), i++);
    sql.one(0, {iBoard, std::int64_t(gc_ulUSER)});
    const std::int64_t iOldId = sql.column(0, 0);
    const std::int64_t iOldScore = sql.column(0, 1);
    sql.reset(0);
    iRankPrevious = bPrevious ? sqlRank(sql, iBoard, iOldScore, iOldId) : 0;
    const std::int64_t iNewId = sql.one(2, {}) + 1;
    sql.reset(2);
    if (bUpdate) sql.one(3, {iNewId, iScore, iOldId});
    sql.reset(3);
    iRank = sqlRank(sql, iBoard, iScore, iNewId);
    if (iOldId == 0) {
      state.SkipWithError("the user's entry was not found");
      return;
    }
  }
  std::string problem = checkUploads(state, E_SIDE_SQL, i, int(iRankPrevious), int(iRank));
  if (problem.empty() && i > 0 && sqlUserScore(sql, iBoard) != uploadScore(state.range(0), i - 1)) {
    problem = "the SQL copy does not hold the score uploaded last";
  }
  if (!problem.empty()) state.SkipWithError(problem.c_str());
}

// The user's rank and the entries from iBefore above to iAfter below, in rank order; the last iteration's must be
// the model's.
void sqlAroundUser(benchmark::State& state, const char* pCase, int iBefore, int iAfter) {
  const std::int64_t iBoard = std::int64_t(fixture().boards[state.range(0)]);
  const std::string name = pCase;
  const bool bRank = !benchSkips(name + ".baseline.rank");
  const bool bBefore = !benchSkips(name + ".baseline.before");
  const bool bAfter = !benchSkips(name + ".baseline.after");
  SqlStatements sql(fixture().pSql);
  // The window: the entries above the user are written upwards from the user's place.
  std::vector<SRow> window(std::size_t(iBefore + iAfter + 1));
  SRow* pUser = &window[std::size_t(iBefore)];
  std::int64_t iRank = 0;
  int iAbove = 0;
  int iFromUser = 0;
  for (auto _ : state) {
    sql.one(0, {iBoard, std::int64_t(gc_ulUSER)});
    const std::int64_t iId = sql.column(0, 0);
    const std::int64_t iScore = sql.column(0, 1);
    sql.reset(0);
    iRank = bRank ? sqlRank(sql, iBoard, iScore, iId) : 0;
    iAbove = 0;
    if (iBefore > 0 && bBefore) {
      iAbove = sql.rows(4, {iBoard, iScore, iId, iBefore}, pUser - 1, -1, true);
      iAbove += sql.rows(5, {iBoard, iScore, iBefore - iAbove}, pUser - 1 - iAbove, -1, true);
    }
    iFromUser = 0;
    if (bAfter) {
      iFromUser = sql.rows(6, {iBoard, iScore, iId, iAfter + 1}, pUser, 1, true);
      iFromUser += sql.rows(7, {iBoard, iScore, iAfter + 1 - iFromUser}, pUser + iFromUser, 1, true);
    }
    if (iId == 0) {
      state.SkipWithError("the user's entry was not found");
      return;
    }
  }
  std::vector<SRow> rows(pUser - iAbove, pUser + iFromUser);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].iRank = std::int32_t(iRank - iAbove + std::int64_t(i));
  const SBoardModel& model = fixture().models[state.range(0)];
  const SUserStanding& standing = model.standing[E_SIDE_SQL];
  const std::int64_t iWanted = model.rank(standing);
  std::string problem = compareRows(rows, model.window(iWanted - iBefore, iWanted + iAfter, standing));
  if (problem.empty() && iRank != iWanted) {
    problem = "rank " + std::to_string(iRank) + " instead of " + std::to_string(iWanted);
  }
  if (!problem.empty()) state.SkipWithError(("the entries around the user: " + problem).c_str());
}

void BM_Baseline_AroundUser(benchmark::State& state) { sqlAroundUser(state, "AroundUser", 6, 6); }
void BM_Baseline_RankLookup(benchmark::State& state) { sqlAroundUser(state, "RankLookup", 0, 0); }

void BM_Baseline_PageDown(benchmark::State& state) {
  sqlite3_stmt* pStmt = nullptr;
  if (sqlite3_prepare_v2(fixture().pSql,
                         "SELECT user, score FROM entries WHERE board = ?1"
                         " ORDER BY score DESC, id LIMIT 13 OFFSET ?2",
                         -1, &pStmt, nullptr) != SQLITE_OK) {
    fail(sqlite3_errmsg(fixture().pSql));
  }
  const bool bEntries = !benchSkips("PageDown.baseline.entries");
  SRow aRows[13] = {};
  int iRows = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(pStmt, 1, std::int64_t(fixture().boards[1]));
    sqlite3_bind_int64(pStmt, 2, 50000);
    iRows = 0;
    while (sqlite3_step(pStmt) == SQLITE_ROW) {
      if (bEntries && iRows < 13) {
        aRows[iRows].ulUser = std::uint64_t(sqlite3_column_int64(pStmt, 0));
        aRows[iRows].iScore = std::int32_t(sqlite3_column_int64(pStmt, 1));
      }
      ++iRows;
    }
    sqlite3_reset(pStmt);
    benchmark::ClobberMemory();
  }
  sqlite3_finalize(pStmt);
  std::vector<SRow> rows;
  for (int i = 0; i < iRows; ++i) {
    rows.push_back({aRows[std::min(i, 12)].ulUser, 50001 + i, aRows[std::min(i, 12)].iScore});
  }
  const SBoardModel& model = fixture().models[1];
  const std::string problem = compareRows(rows, model.window(50001, 50013, model.standing[E_SIDE_SQL]));
  if (!problem.empty()) state.SkipWithError(("the page: " + problem).c_str());
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
