// Leaderboards of the local store against the same work written by hand, twice: in SQL alone on a copy of the same
// SQLite file, and with ranks from a sorted array in memory on another copy.
//
// Boards of 10,000, 100,000 and 1,000,000 entries (random scores below 1,000,000, the local user at the median
// score), and one of 1,000,000 with the user on top, where counting ranks costs SQL nothing. Page down: the 13
// entries of ranks 50,001 to 50,013 of the 100,000-entry board, the download the leaderboard screen asks for when
// it pages its global window there. Upload: a score that changes the entry, with the previous and new rank. Around
// the user: the user's rank and the 13 entries from 6 above to 6 below. Rank lookup: the user's rank alone, as the
// board grows. The store runs every call to its result through SteamAPI_RunCallbacks; it keeps the entries in its
// file and each board's ranks in an order-statistics tree in memory.
//
// Each case has two pairs. <Case> times the store against SQL alone, another algorithm: the same indexes, seeks for
// the window, COUNT for a rank and OFFSET for a page (plain SQL has no faster rank). <Case>SortedArray times it
// against the plain way to keep ranks in memory: each board's (score, id) keys in a sorted array, a rank by binary
// search, a window's first key taken from the array and its entries read from the file from that key on, an upload
// that updates the file and moves the user's key past the keys between its old and new place (statements like the
// store's for the user's entry, the window and the update). The boards are filled before the store starts; each
// hand-written side works on its own copy of the file, kept as the store keeps its own (exclusive locking mode, WAL),
// so the order in which the benchmarks run does not matter.
//
// Every side folds what each iteration answered into a running hash (an upload's score, whether the entry changed,
// its previous and new rank; a window's entries, each with user, score and rank, and their number), and after the
// loop that hash must be the one of the same answers worked out, untimed, from the boards as filled (kept in memory,
// with the user's entry as each side's uploads left it); the last iteration's answers are also compared one by one,
// and the user's score an upload leaves in the file. GRINDLOW_BENCH_SKIP "<case>.<side>.everysecond" leaves out
// every second iteration's call or queries; "<case>.engine.entries" leaves out reading the downloaded entries,
// "Upload.engine.callbacks" running the store's call results; "Upload.baseline.update" and ".previous" leave out the
// SQL's update and its rank before it, "<case>.baseline.rank" the rank's COUNT or binary search,
// "AroundUser.baseline.before" and ".after" the entries above and from the user down, "<case>.baseline.entries"
// reading the entries' columns, "UploadSortedArray.baseline.previous" the previous rank and ".insert" moving the user's
// key to its new place.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <compare>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Bench/BenchCheck.h"
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

enum E_SIDE { E_SIDE_STORE, E_SIDE_SQL, E_SIDE_SORTED, NUM_E_SIDE };

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

// An iteration's entries into the running hash: their number, then each one's user, rank and score.
void foldRows(CBenchHash* pHash, const SRow* pRows, std::size_t uiCount) {
  pHash->add(uiCount);
  for (std::size_t i = 0; i < uiCount; ++i) {
    pHash->add(pRows[i].ulUser);
    pHash->add(std::uint64_t(std::uint32_t(pRows[i].iRank)) << 32 | std::uint32_t(pRows[i].iScore));
  }
}

// How a download moves its window from iteration to iteration, so that each asks for entries of its own: iteration i
// asks for the window iOffset(i) ranks further down (up, when negative) than the case's own.
struct SWindowMoves {
  std::int64_t iCount = 1;  // how many windows it goes through
  std::int64_t iUnit = 0;   // ranks between two of them
  std::int64_t iLow = 0;    // the first one, in units
  std::int64_t offset(std::int64_t i) const { return (iLow + (i + 1) * 5 % iCount) * iUnit; }
};
// Around the user: from 3 ranks up to 3 ranks down. A page: one of eight pages from the case's own on. The user's
// rank alone: no move (the store asks it of the one local user).
constexpr SWindowMoves gc_AROUND_MOVES{7, 1, -3};
constexpr SWindowMoves gc_PAGE_MOVES{8, 13, 0};
constexpr SWindowMoves gc_RANK_MOVES{1, 0, 0};

// What a side's download loop answered, iteration by iteration, into a running hash, with the steps of CBenchCheat:
// "partial" leaves out each download's last entry, "repeat" gives the previous iteration's entries in every third,
// "replay" the untimed record's entries of the first iteration's window in every one, "middle" another score for one
// entry of the middle iteration. wanted(offset) gives the entries of the window moved by offset ranks.
class CDownloadLoop {
 public:
  CDownloadLoop(const benchmark::State& state, const std::string& side, SWindowMoves moves,
                std::function<std::vector<SRow>(std::int64_t)> wanted)
      : m_cheat(side), m_moves(moves), m_wanted(std::move(wanted)), m_iIterations(state.max_iterations) {
    if (m_cheat.replays()) m_replayed = m_wanted(m_moves.offset(0));
    m_out.reserve(32);
  }
  std::int64_t offset(std::int64_t i) const { return m_moves.offset(i); }
  // Whether iteration i downloads its window (else it gives earlier entries).
  bool works(std::int64_t i) const { return !m_cheat.replays() && !m_cheat.repeats(i); }
  // The end of iteration i: the entries it downloaded (when it worked) into the running hash.
  void end(std::int64_t i, const SRow* pRows, int iRows) {
    if (m_cheat.replays()) {
      m_out = m_replayed;
    } else if (!m_cheat.repeats(i)) {
      m_out.assign(pRows, pRows + iRows);
      if (m_cheat.partial() && !m_out.empty()) m_out.pop_back();
      if (m_cheat.changes(i, m_iIterations) && !m_out.empty()) m_out[0].iScore ^= 1;
    }
    foldRows(&m_hash, m_out.data(), m_out.size());
  }
  // After the loop: the last iteration's entries one by one, then every iteration's through the running hash, against
  // the entries of each iteration's window.
  void check(benchmark::State& state, const char* pWhat) const {
    std::map<std::int64_t, std::vector<SRow>> windows;
    const auto wantedAt = [&](std::int64_t i) -> const std::vector<SRow>& {
      auto found = windows.find(offset(i));
      if (found == windows.end()) found = windows.emplace(offset(i), m_wanted(offset(i))).first;
      return found->second;
    };
    const std::int64_t iIterations = state.iterations();
    std::string problem = iIterations > 0 ? compareRows(m_out, wantedAt(iIterations - 1)) : std::string();
    CBenchHash record;
    for (std::int64_t i = 0; i < iIterations; ++i) foldRows(&record, wantedAt(i).data(), wantedAt(i).size());
    if (problem.empty() && !(m_hash == record)) problem = "an earlier iteration's entries are not the board's";
    if (!problem.empty()) state.SkipWithError((std::string(pWhat) + ": " + problem).c_str());
  }
  std::size_t count() const { return m_out.size(); }

 private:
  CBenchCheat m_cheat;
  SWindowMoves m_moves;
  std::function<std::vector<SRow>(std::int64_t)> m_wanted;
  std::int64_t m_iIterations;
  std::vector<SRow> m_replayed;
  std::vector<SRow> m_out;
  CBenchHash m_hash;
};

// What an upload answers: the score sent, whether the user's entry changed, its ranks before and after.
struct SUploadAnswer {
  std::int32_t iScore = 0;
  bool bChanged = false;
  std::int32_t iRankPrevious = 0;
  std::int32_t iRank = 0;
  bool operator==(const SUploadAnswer&) const = default;
};

void foldUpload(CBenchHash* pHash, const SUploadAnswer& answer) {
  pHash->add(std::uint64_t(std::uint32_t(answer.iScore)) | std::uint64_t(answer.bChanged) << 32);
  pHash->add(std::uint64_t(std::uint32_t(answer.iRankPrevious)) << 32 | std::uint32_t(answer.iRank));
}

// A key of a board kept as a sorted array: higher scores first, then the entry reached first (the smaller id).
struct SRankKey {
  std::int64_t iNegScore = 0;
  std::int64_t iId = 0;
  auto operator<=>(const SRankKey&) const = default;
};

struct Fixture {
  std::string dir;
  SBoardModel models[gc_iBOARDS];
  SteamLeaderboard_t boards[gc_iBOARDS] = {};
  sqlite3* pSql = nullptr;     // SQL alone's copy of the file
  sqlite3* pSorted = nullptr;  // the sorted arrays' copy
  std::vector<SRankKey> keys[gc_iBOARDS];
};

struct Receiver {
  void onUpload(LeaderboardScoreUploaded_t* pResult, bool) {
    answer = {pResult->m_nScore, pResult->m_bScoreChanged != 0, pResult->m_nGlobalRankPrevious,
              pResult->m_nGlobalRankNew};
  }
  void onDownload(LeaderboardScoresDownloaded_t* pResult, bool) {
    hEntries = pResult->m_hSteamLeaderboardEntries;
    iCount = pResult->m_cEntryCount;
  }
  void onFind(LeaderboardFindResult_t* pResult, bool) { hBoard = pResult->m_hSteamLeaderboard; }
  CCallResult<Receiver, LeaderboardScoreUploaded_t> upload;
  CCallResult<Receiver, LeaderboardScoresDownloaded_t> download;
  CCallResult<Receiver, LeaderboardFindResult_t> find;
  SUploadAnswer answer;
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

// Fills a board and its model; with no database, only the model (the entries are already in a kept copy).
void fillBoard(sqlite3* pDb, SteamLeaderboard_t hBoard, int iEntries, int iUserScore, SBoardModel* pModel) {
  std::mt19937 random{std::uint32_t(iEntries)};
  pModel->iUserFill = iEntries / 2;
  for (SUserStanding& standing : pModel->standing) standing = {iUserScore, false};
  sqlite3_stmt* pInsert = nullptr;
  if (pDb != nullptr) {
    sqlite3_prepare_v2(pDb, "INSERT INTO entries(board, user, score) VALUES(?1, ?2, ?3)", -1, &pInsert, nullptr);
  }
  for (int i = 0; i < iEntries; ++i) {
    const bool bUser = i == iEntries / 2;
    const std::int32_t iScore = bUser ? iUserScore : std::int32_t(random() % 1000000);
    if (pInsert != nullptr) {
      sqlite3_bind_int64(pInsert, 1, std::int64_t(hBoard));
      sqlite3_bind_int64(pInsert, 2, std::int64_t(bUser ? gc_ulUSER : std::uint64_t(i) + 1));
      sqlite3_bind_int64(pInsert, 3, iScore);
      if (sqlite3_step(pInsert) != SQLITE_DONE) {
        fail(sqlite3_errmsg(pDb));
      }
      sqlite3_reset(pInsert);
    }
    if (!bUser) pModel->others.push_back({std::uint64_t(i) + 1, 0, iScore});
  }
  sqlite3_finalize(pInsert);
  std::stable_sort(pModel->others.begin(), pModel->others.end(),
                   [](const SRow& a, const SRow& b) { return a.iScore > b.iScore; });
}

// Opens a copy of the store's file and keeps it the way the store keeps its own: to this connection alone, in WAL mode.
sqlite3* openCopy(const std::string& path) {
  sqlite3* pDb = nullptr;
  if (sqlite3_open(path.c_str(), &pDb) != SQLITE_OK) {
    fail("cannot open a copy of the store database");
  }
  exec(pDb, "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
  return pDb;
}

// A board's keys in rank order, read from a copy of the file.
std::vector<SRankKey> readKeys(sqlite3* pDb, SteamLeaderboard_t hBoard) {
  sqlite3_stmt* pSelect = nullptr;
  sqlite3_prepare_v2(pDb, "SELECT score, id FROM entries WHERE board = ?1 ORDER BY score DESC, id", -1, &pSelect,
                     nullptr);
  sqlite3_bind_int64(pSelect, 1, std::int64_t(hBoard));
  std::vector<SRankKey> keys;
  while (sqlite3_step(pSelect) == SQLITE_ROW) {
    keys.push_back({-sqlite3_column_int64(pSelect, 0), sqlite3_column_int64(pSelect, 1)});
  }
  sqlite3_finalize(pSelect);
  return keys;
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
    sqlite3_close(fixture().pSorted);
    std::error_code error;
    std::filesystem::remove_all(fixture().dir, error);
  });
  std::ofstream(f.dir + "/store.ini") << "[user]\nid = " << gc_ulUSER << "\n[leaderboards]\nboard = BOARD_10K\n"
                                      << "board = BOARD_100K\nboard = BOARD_1M\nboard = BOARD_1M_TOP\n";
  setenv("GRINDLOW_STORE_DIR", f.dir.c_str(), 1);
  // A first run of the store makes the file and the boards; the entries go in while it is closed.
  if (!SteamAPI_Init()) {
    fail((std::string("the store does not start: ") + StoreGetInitFailure()).c_str());
  }
  findBoards(f);
  SteamAPI_Shutdown();
  const std::string storeDb = f.dir + "/store.db";
  const std::string sqlDb = f.dir + "/baseline.db";
  const std::string sortedDb = f.dir + "/sorted.db";
  // GRINDLOW_BENCH_BOARDS_KEPT=<folder> keeps the three filled files there for the next run of the program, which
  // copies them instead of filling the boards again (the checks' test runs it once per step).
  const char* pKept = std::getenv("GRINDLOW_BENCH_BOARDS_KEPT");
  const std::string kept = pKept != nullptr ? pKept : "";
  const auto copyFiles = [](const std::string& from, const std::string& to) {
    std::error_code error;
    for (const char* pName : {"/store.db", "/baseline.db", "/sorted.db"}) {
      if (!std::filesystem::copy_file(from + pName, to + pName, std::filesystem::copy_options::overwrite_existing,
                                      error)) {
        return false;
      }
    }
    return true;
  };
  if (!kept.empty() && std::filesystem::exists(kept + "/sorted.db") && copyFiles(kept, f.dir)) {
    for (int i = 0; i < gc_iBOARDS; ++i) {
      fillBoard(nullptr, f.boards[i], gc_iBOARD_SIZES[i], gc_iUSER_SCORES[i], &f.models[i]);
    }
  } else {
    if (sqlite3_open(storeDb.c_str(), &f.pSql) != SQLITE_OK) {
      fail("cannot open the store database");
    }
    exec(f.pSql, "BEGIN");
    for (int i = 0; i < gc_iBOARDS; ++i) {
      fillBoard(f.pSql, f.boards[i], gc_iBOARD_SIZES[i], gc_iUSER_SCORES[i], &f.models[i]);
    }
    exec(f.pSql, "COMMIT");
    exec(f.pSql, ("VACUUM INTO '" + sqlDb + "'").c_str());
    exec(f.pSql, ("VACUUM INTO '" + sortedDb + "'").c_str());
    sqlite3_close(f.pSql);
    if (!kept.empty()) {
      std::filesystem::create_directories(kept);
      if (!copyFiles(f.dir, kept)) {
        fail("cannot keep the filled boards");
      }
    }
  }
  f.pSql = openCopy(sqlDb);
  f.pSorted = openCopy(sortedDb);
  for (int i = 0; i < gc_iBOARDS; ++i) {
    f.keys[i] = readKeys(f.pSorted, f.boards[i]);
  }

  if (!SteamAPI_Init()) {
    fail((std::string("the store does not start again: ") + StoreGetInitFailure()).c_str());
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

// Empty when every one of iUploads uploads (the running hash) and the last one on its own answered what the model
// gives; moves the model's entry of that side along with them.
std::string checkUploads(benchmark::State& state, E_SIDE eSide, std::int64_t iUploads, const CBenchHash& hash,
                         const SUploadAnswer& last) {
  const SBoardModel& model = fixture().models[state.range(0)];
  SUserStanding& standing = fixture().models[state.range(0)].standing[eSide];
  CBenchHash record;
  SUploadAnswer wanted;
  for (std::int64_t i = 0; i < iUploads; ++i) {
    const SUserStanding previous = standing;
    wanted.iScore = uploadScore(state.range(0), i);
    wanted.bChanged = wanted.iScore != previous.iScore;
    if (wanted.bChanged) standing = {wanted.iScore, true};
    wanted.iRankPrevious = model.rank(previous);
    wanted.iRank = model.rank(standing);
    foldUpload(&record, wanted);
  }
  if (last != wanted) {
    const auto text = [](const SUploadAnswer& answer) {
      return "score " + std::to_string(answer.iScore) + (answer.bChanged ? " (changed)" : " (unchanged)") +
             ", ranks " + std::to_string(answer.iRankPrevious) + " before and " + std::to_string(answer.iRank) +
             " after";
    };
    return "the last upload answered " + text(last) + ", not " + text(wanted);
  }
  return hash == record ? std::string() : "an earlier upload answered other ranks than the board gives";
}

// The untimed record of a side's first upload of a run, worked out from the model: what a side that replays gives.
SUploadAnswer firstUploadAnswer(std::int64_t iBoardIndex, E_SIDE eSide) {
  const SBoardModel& model = fixture().models[iBoardIndex];
  const SUserStanding previous = model.standing[eSide];
  SUploadAnswer answer;
  answer.iScore = uploadScore(iBoardIndex, 0);
  answer.bChanged = answer.iScore != previous.iScore;
  answer.iRankPrevious = model.rank(previous);
  answer.iRank = model.rank(answer.bChanged ? SUserStanding{answer.iScore, true} : previous);
  return answer;
}

// An upload's answer as a side that cheats leaves it (CBenchCheat): without its new rank ("partial"), or with another
// one in the middle iteration ("middle").
void cheatUpload(const CBenchCheat& cheat, std::int64_t i, std::int64_t iIterations, SUploadAnswer* pAnswer) {
  if (cheat.partial()) pAnswer->iRank = 0;
  if (cheat.changes(i, iIterations)) ++pAnswer->iRank;
}

// Argument: the board (2 = 1M with the user at the median, 3 = 1M with the user on top).
void engineUpload(benchmark::State& state, const std::string& name) {
  const SteamLeaderboard_t hBoard = fixture().boards[state.range(0)];
  const bool bCallbacks = !benchSkips(name + ".engine.callbacks");
  CBenchEverySecond everySecond(state, name + ".engine.everysecond");
  Receiver receiver;
  CBenchHash hash;
  std::int64_t i = 0;
  const CBenchCheat cheat(name + ".engine");
  const SUploadAnswer replayed = firstUploadAnswer(state.range(0), E_SIDE_STORE);
  for (auto _ : state) {
    const std::int32_t iScore = uploadScore(state.range(0), i);
    if (cheat.replays()) {
      receiver.answer = replayed;
    } else if (!cheat.repeats(i)) {
      receiver.answer = SUploadAnswer{};
      if (!everySecond.leavesOut()) {
        receiver.upload.Set(SteamUserStats()->UploadLeaderboardScore(
                                hBoard, k_ELeaderboardUploadScoreMethodForceUpdate, iScore, nullptr, 0),
                            &receiver, &Receiver::onUpload);
        if (bCallbacks) SteamAPI_RunCallbacks();
      }
      cheatUpload(cheat, i, state.max_iterations, &receiver.answer);
    }
    ++i;
    foldUpload(&hash, receiver.answer);
  }
  std::string problem = checkUploads(state, E_SIDE_STORE, i, hash, receiver.answer);
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
  state.counters["rank"] = receiver.answer.iRank;
}

// The entries a download wants from a side's board: ranks iFrom..iTo counted from the user's rank (bAroundUser) or
// from 0.
std::vector<SRow> wantedWindow(std::int64_t iBoard, E_SIDE eSide, bool bAroundUser, std::int64_t iFrom,
                               std::int64_t iTo) {
  const SBoardModel& model = fixture().models[iBoard];
  const SUserStanding& standing = model.standing[eSide];
  const std::int64_t iBase = bAroundUser ? model.rank(standing) : 0;
  return model.window(iBase + iFrom, iBase + iTo, standing);
}

// Downloads (eRequest, iFrom, iTo) from board iBoard in every iteration, the window moved as moves says, reading each
// entry of the download unless "<name>.engine.entries" is left out; every iteration's entries must be its window's.
void engineDownloads(benchmark::State& state, const std::string& name, std::int64_t iBoard,
                     ELeaderboardDataRequest eRequest, int iFrom, int iTo, SWindowMoves moves) {
  constexpr int iMOST = 16;
  const SteamLeaderboard_t hBoard = fixture().boards[iBoard];
  const bool bEntries = !benchSkips(name + ".engine.entries");
  const bool bAroundUser = eRequest == k_ELeaderboardDataRequestGlobalAroundUser;
  CBenchEverySecond everySecond(state, name + ".engine.everysecond");
  CDownloadLoop loop(state, name + ".engine", moves, [=](std::int64_t iOffset) {
    return wantedWindow(iBoard, E_SIDE_STORE, bAroundUser, iFrom + iOffset, iTo + iOffset);
  });
  Receiver receiver;
  SRow aRows[iMOST] = {};
  int iRows = 0;
  std::int64_t iIteration = 0;
  for (auto _ : state) {
    if (loop.works(iIteration)) {
      receiver.iCount = 0;
      if (!everySecond.leavesOut()) {
        const int iOffset = int(loop.offset(iIteration));
        receiver.download.Set(
            SteamUserStats()->DownloadLeaderboardEntries(hBoard, eRequest, iFrom + iOffset, iTo + iOffset), &receiver,
            &Receiver::onDownload);
        SteamAPI_RunCallbacks();
      }
      iRows = std::min(receiver.iCount, iMOST);
      for (int i = 0; i < iRows; ++i) {
        LeaderboardEntry_t entry{};
        if (bEntries) SteamUserStats()->GetDownloadedLeaderboardEntry(receiver.hEntries, i, &entry, nullptr, 0);
        aRows[i] = {entry.m_steamIDUser.ConvertToUint64(), entry.m_nGlobalRank, entry.m_nScore};
      }
    }
    loop.end(iIteration++, aRows, iRows);
  }
  loop.check(state, bAroundUser ? "the download around the user" : "the page");
  state.counters["entries"] = double(loop.count());
  if (bAroundUser) {
    const SBoardModel& model = fixture().models[iBoard];
    state.counters["rank"] = double(model.rank(model.standing[E_SIDE_STORE]));
  }
}

void BM_Engine_Upload(benchmark::State& state) { engineUpload(state, "Upload"); }
void BM_Engine_UploadSortedArray(benchmark::State& state) { engineUpload(state, "UploadSortedArray"); }
void BM_Engine_PageDown(benchmark::State& state) {
  engineDownloads(state, "PageDown", 1, k_ELeaderboardDataRequestGlobal, 50001, 50013, gc_PAGE_MOVES);
}
void BM_Engine_PageDownSortedArray(benchmark::State& state) {
  engineDownloads(state, "PageDownSortedArray", 1, k_ELeaderboardDataRequestGlobal, 50001, 50013, gc_PAGE_MOVES);
}
void BM_Engine_AroundUser(benchmark::State& state) {
  engineDownloads(state, "AroundUser", state.range(0), k_ELeaderboardDataRequestGlobalAroundUser, -6, 6,
                  gc_AROUND_MOVES);
}
void BM_Engine_AroundUserSortedArray(benchmark::State& state) {
  engineDownloads(state, "AroundUserSortedArray", state.range(0), k_ELeaderboardDataRequestGlobalAroundUser, -6, 6,
                  gc_AROUND_MOVES);
}
void BM_Engine_RankLookup(benchmark::State& state) {
  engineDownloads(state, "RankLookup", state.range(0), k_ELeaderboardDataRequestGlobalAroundUser, 0, 0,
                  gc_RANK_MOVES);
}
void BM_Engine_RankLookupSortedArray(benchmark::State& state) {
  engineDownloads(state, "RankLookupSortedArray", state.range(0), k_ELeaderboardDataRequestGlobalAroundUser, 0, 0,
                  gc_RANK_MOVES);
}

// ---- By hand ----

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
  // Steps through the rows, writing each one's user and score (columns 0 and 1; zeros unless bRead) to pRows,
  // pRows + iStep, ...; the number of rows.
  int rows(int iStmt, std::initializer_list<std::int64_t> args, SRow* pRows, int iStep, bool bRead) {
    sqlite3_stmt* pStmt = stmts[iStmt];
    int iIndex = 1;
    for (const std::int64_t iArg : args) {
      sqlite3_bind_int64(pStmt, iIndex++, iArg);
    }
    int iRows = 0;
    for (SRow* pRow = pRows; sqlite3_step(pStmt) == SQLITE_ROW; pRow += iStep) {
      pRow->ulUser = bRead ? std::uint64_t(sqlite3_column_int64(pStmt, 0)) : 0;
      pRow->iScore = bRead ? std::int32_t(sqlite3_column_int64(pStmt, 1)) : 0;
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

// The key of the user's entry, read from a copy of the file.
SRankKey sqlUserKey(SqlStatements& sql, std::int64_t iBoard) {
  sql.one(0, {iBoard, std::int64_t(gc_ulUSER)});
  const SRankKey key{-sql.column(0, 1), sql.column(0, 0)};
  sql.reset(0);
  return key;
}

// Empty when the copy of the file holds the score uploaded last.
std::string checkScoreKept(benchmark::State& state, SqlStatements& sql, std::int64_t iUploads) {
  const bool bKept = iUploads == 0 || -sqlUserKey(sql, std::int64_t(fixture().boards[state.range(0)])).iNegScore ==
                                          uploadScore(state.range(0), iUploads - 1);
  return bKept ? std::string() : "the copy of the file does not hold the score uploaded last";
}

// A hand-written side's uploads on its copy of the file: upload(sql, board, score, answer) makes an iteration's
// upload and fills in its answer, false (with the reason) when it cannot; "<name>.baseline.everysecond" leaves out
// every second one. Empty when every answer was the board's and the file holds the last score; else the problem.
template <typename FUpload>
std::string handUploads(benchmark::State& state, E_SIDE eSide, const std::string& name, sqlite3* pDb,
                        FUpload upload) {
  const std::int64_t iBoard = std::int64_t(fixture().boards[state.range(0)]);
  CBenchEverySecond everySecond(state, name + ".baseline.everysecond");
  SqlStatements sql(pDb);
  CBenchHash hash;
  SUploadAnswer answer;
  std::int64_t i = 0;
  std::string problem;
  const CBenchCheat cheat(name + ".baseline");
  const SUploadAnswer replayed = firstUploadAnswer(state.range(0), eSide);
  for (auto _ : state) {
    const std::int32_t iScore = uploadScore(state.range(0), i);
    if (cheat.replays()) {
      answer = replayed;
    } else if (!cheat.repeats(i)) {
      answer = SUploadAnswer{};
      if (!everySecond.leavesOut() && !upload(sql, iBoard, iScore, &answer, &problem)) {
        state.SkipWithError(problem.c_str());
        return problem;
      }
      cheatUpload(cheat, i, state.max_iterations, &answer);
    }
    ++i;
    foldUpload(&hash, answer);
  }
  problem = checkUploads(state, eSide, i, hash, answer);
  return problem.empty() ? checkScoreKept(state, sql, i) : problem;
}

void BM_Baseline_Upload(benchmark::State& state) {
  const bool bUpdate = !benchSkips("Upload.baseline.update");
  const bool bPrevious = !benchSkips("Upload.baseline.previous");
  const std::string problem = handUploads(
      state, E_SIDE_SQL, "Upload", fixture().pSql,
      [&](SqlStatements& sql, std::int64_t iBoard, std::int32_t iScore, SUploadAnswer* pAnswer, std::string* pProblem) {
        sql.one(0, {iBoard, std::int64_t(gc_ulUSER)});
        const std::int64_t iOldId = sql.column(0, 0);
        const std::int64_t iOldScore = sql.column(0, 1);
        sql.reset(0);
        if (iOldId == 0) {
          *pProblem = "the user's entry was not found";
          return false;
        }
        pAnswer->iScore = iScore;
        pAnswer->bChanged = iOldScore != iScore;
        pAnswer->iRankPrevious = bPrevious ? std::int32_t(sqlRank(sql, iBoard, iOldScore, iOldId)) : 0;
        const std::int64_t iNewId = sql.one(2, {}) + 1;
        sql.reset(2);
        if (bUpdate) sql.one(3, {iNewId, iScore, iOldId});
        sql.reset(3);
        pAnswer->iRank = std::int32_t(sqlRank(sql, iBoard, iScore, iNewId));
        return true;
      });
  if (!problem.empty()) state.SkipWithError(problem.c_str());
}

// The user's key is looked up by binary search and moved to the place of its new score and id by rotating only the
// keys between the old and the new place; the file gets the same update as the store's.
void BM_Baseline_UploadSortedArray(benchmark::State& state) {
  std::vector<SRankKey>& keys = fixture().keys[state.range(0)];
  const bool bPrevious = !benchSkips("UploadSortedArray.baseline.previous");
  const bool bInsert = !benchSkips("UploadSortedArray.baseline.insert");
  std::string problem = handUploads(
      state, E_SIDE_SORTED, "UploadSortedArray", fixture().pSorted,
      [&](SqlStatements& sql, std::int64_t iBoard, std::int32_t iScore, SUploadAnswer* pAnswer, std::string* pProblem) {
        const SRankKey oldKey = sqlUserKey(sql, iBoard);
        const auto old = std::lower_bound(keys.begin(), keys.end(), oldKey);
        if (old == keys.end() || *old != oldKey) {
          *pProblem = "the user's key is not in the sorted array";
          return false;
        }
        pAnswer->iScore = iScore;
        pAnswer->bChanged = -oldKey.iNegScore != iScore;
        pAnswer->iRankPrevious = bPrevious ? std::int32_t(old - keys.begin() + 1) : 0;
        const SRankKey newKey{-std::int64_t(iScore), sql.one(2, {}) + 1};
        sql.reset(2);
        sql.one(3, {newKey.iId, iScore, oldKey.iId});
        sql.reset(3);
        // The new key's place among the others (the old key still in the array): the keys between the two
        // places move by one towards the old place, and the new key takes the place left free.
        const auto place = std::lower_bound(keys.begin(), keys.end(), newKey);
        auto slot = old;
        if (place > old) {
          slot = place - 1;
          if (bInsert) std::rotate(old, old + 1, place);
        } else {
          slot = place;
          if (bInsert) std::rotate(place, old, old + 1);
        }
        pAnswer->iRank = std::int32_t(slot - keys.begin() + 1);
        if (bInsert) *slot = newKey;
        return true;
      });
  const std::size_t uiEntries = fixture().models[state.range(0)].others.size() + 1;
  if (problem.empty() && keys.size() != uiEntries) {
    problem = "the sorted array holds " + std::to_string(keys.size()) + " keys, the board " +
              std::to_string(uiEntries) + " entries";
  }
  if (!problem.empty()) state.SkipWithError(problem.c_str());
}

// The user's rank and the entries from iBefore above to iAfter below, in rank order, by SQL alone; the window moved as
// moves says (iBefore fewer and iAfter more entries for a move down).
void sqlAroundUser(benchmark::State& state, const char* pCase, int iBefore, int iAfter, SWindowMoves moves) {
  const std::int64_t iBoardIndex = state.range(0);
  const std::int64_t iBoard = std::int64_t(fixture().boards[iBoardIndex]);
  const std::string name = pCase;
  const bool bRank = !benchSkips(name + ".baseline.rank");
  const bool bBefore = !benchSkips(name + ".baseline.before");
  const bool bAfter = !benchSkips(name + ".baseline.after");
  CBenchEverySecond everySecond(state, name + ".baseline.everysecond");
  CDownloadLoop loop(state, name + ".baseline", moves, [=](std::int64_t iOffset) {
    return wantedWindow(iBoardIndex, E_SIDE_SQL, true, -iBefore + iOffset, iAfter + iOffset);
  });
  SqlStatements sql(fixture().pSql);
  // The window: the entries above the user are written upwards from the user's place, which leaves room for the
  // most entries above that a move asks for.
  const int iMostMove = int(std::abs(moves.iLow * moves.iUnit) + moves.iCount * moves.iUnit);
  std::vector<SRow> window(std::size_t(iBefore + iAfter + 1 + 2 * iMostMove));
  SRow* pUser = &window[std::size_t(iBefore + iMostMove)];
  int iAbove = 0;
  int iFromUser = 0;
  std::int64_t iIteration = 0;
  for (auto _ : state) {
    if (loop.works(iIteration)) {
      const int iUp = iBefore - int(loop.offset(iIteration));
      const int iDown = iAfter + int(loop.offset(iIteration));
      std::int64_t iRank = 0;
      iAbove = 0;
      iFromUser = 0;
      if (!everySecond.leavesOut()) {
        sql.one(0, {iBoard, std::int64_t(gc_ulUSER)});
        const std::int64_t iId = sql.column(0, 0);
        const std::int64_t iScore = sql.column(0, 1);
        sql.reset(0);
        if (iId == 0) {
          state.SkipWithError("the user's entry was not found");
          return;
        }
        iRank = bRank ? sqlRank(sql, iBoard, iScore, iId) : 0;
        if (iUp > 0 && bBefore) {
          iAbove = sql.rows(4, {iBoard, iScore, iId, iUp}, pUser - 1, -1, true);
          iAbove += sql.rows(5, {iBoard, iScore, iUp - iAbove}, pUser - 1 - iAbove, -1, true);
        }
        if (bAfter && iDown >= 0) {
          iFromUser = sql.rows(6, {iBoard, iScore, iId, iDown + 1}, pUser, 1, true);
          iFromUser += sql.rows(7, {iBoard, iScore, iDown + 1 - iFromUser}, pUser + iFromUser, 1, true);
        }
      }
      for (int i = 0; i < iAbove + iFromUser; ++i) pUser[i - iAbove].iRank = std::int32_t(iRank - iAbove + i);
    }
    loop.end(iIteration++, pUser - iAbove, iAbove + iFromUser);
  }
  loop.check(state, "the entries around the user");
}

void BM_Baseline_AroundUser(benchmark::State& state) { sqlAroundUser(state, "AroundUser", 6, 6, gc_AROUND_MOVES); }
void BM_Baseline_RankLookup(benchmark::State& state) { sqlAroundUser(state, "RankLookup", 0, 0, gc_RANK_MOVES); }

void BM_Baseline_PageDown(benchmark::State& state) {
  sqlite3_stmt* pStmt = nullptr;
  if (sqlite3_prepare_v2(fixture().pSql,
                         "SELECT user, score FROM entries WHERE board = ?1"
                         " ORDER BY score DESC, id LIMIT 13 OFFSET ?2",
                         -1, &pStmt, nullptr) != SQLITE_OK) {
    fail(sqlite3_errmsg(fixture().pSql));
  }
  const bool bEntries = !benchSkips("PageDown.baseline.entries");
  CBenchEverySecond everySecond(state, "PageDown.baseline.everysecond");
  CDownloadLoop loop(state, "PageDown.baseline", gc_PAGE_MOVES, [](std::int64_t iOffset) {
    return wantedWindow(1, E_SIDE_SQL, false, 50001 + iOffset, 50013 + iOffset);
  });
  SRow aRows[13] = {};
  int iRows = 0;
  std::int64_t iIteration = 0;
  for (auto _ : state) {
    if (loop.works(iIteration)) {
      const std::int64_t iFirst = 50001 + loop.offset(iIteration);
      iRows = 0;
      if (!everySecond.leavesOut()) {
        sqlite3_bind_int64(pStmt, 1, std::int64_t(fixture().boards[1]));
        sqlite3_bind_int64(pStmt, 2, iFirst - 1);
        while (sqlite3_step(pStmt) == SQLITE_ROW && iRows < 13) {
          aRows[iRows] = {bEntries ? std::uint64_t(sqlite3_column_int64(pStmt, 0)) : 0, std::int32_t(iFirst + iRows),
                          bEntries ? std::int32_t(sqlite3_column_int64(pStmt, 1)) : 0};
          ++iRows;
        }
        sqlite3_reset(pStmt);
      }
    }
    loop.end(iIteration++, aRows, iRows);
  }
  sqlite3_finalize(pStmt);
  loop.check(state, "the page");
}

// A window from the sorted array: the user's key from the file and its rank by binary search (around the user), then
// the entries of ranks iFrom..iTo (moved as moves says) read from the file from the first one's key on, as the store
// reads them.
void sortedDownloads(benchmark::State& state, const std::string& name, std::int64_t iBoardIndex, bool bAroundUser,
                     std::int64_t iFrom, std::int64_t iTo, SWindowMoves moves) {
  Fixture& f = fixture();
  const std::int64_t iBoard = std::int64_t(f.boards[iBoardIndex]);
  const std::vector<SRankKey>& keys = f.keys[iBoardIndex];
  const bool bRank = !benchSkips(name + ".baseline.rank");
  const bool bEntries = !benchSkips(name + ".baseline.entries");
  CBenchEverySecond everySecond(state, name + ".baseline.everysecond");
  CDownloadLoop loop(state, name + ".baseline", moves, [=](std::int64_t iOffset) {
    return wantedWindow(iBoardIndex, E_SIDE_SORTED, bAroundUser, iFrom + iOffset, iTo + iOffset);
  });
  SqlStatements sql(f.pSorted);
  SRow aRows[16] = {};
  int iRows = 0;
  std::int64_t iIteration = 0;
  for (auto _ : state) {
    if (loop.works(iIteration)) {
      iRows = 0;
      if (!everySecond.leavesOut()) {
        std::int64_t iBase = loop.offset(iIteration);
        if (bAroundUser) {
          const SRankKey key = sqlUserKey(sql, iBoard);
          iBase += bRank ? std::lower_bound(keys.begin(), keys.end(), key) - keys.begin() + 1 : 0;
        }
        const std::int64_t iFirst = std::max<std::int64_t>(iBase + iFrom, 1);
        const int iWanted = int(std::min(iBase + iTo, std::int64_t(keys.size())) - iFirst + 1);
        if (iWanted > 0) {
          const SRankKey& first = keys[std::size_t(iFirst - 1)];
          iRows = sql.rows(6, {iBoard, -first.iNegScore, first.iId, iWanted}, aRows, 1, bEntries);
          if (iRows < iWanted) {
            iRows += sql.rows(7, {iBoard, -first.iNegScore, iWanted - iRows}, aRows + iRows, 1, bEntries);
          }
        }
        for (int i = 0; i < iRows; ++i) aRows[i].iRank = std::int32_t(iFirst + i);
      }
    }
    loop.end(iIteration++, aRows, iRows);
  }
  loop.check(state, bAroundUser ? "the entries around the user" : "the page");
}

void BM_Baseline_AroundUserSortedArray(benchmark::State& state) {
  sortedDownloads(state, "AroundUserSortedArray", state.range(0), true, -6, 6, gc_AROUND_MOVES);
}
void BM_Baseline_RankLookupSortedArray(benchmark::State& state) {
  sortedDownloads(state, "RankLookupSortedArray", state.range(0), true, 0, 0, gc_RANK_MOVES);
}
void BM_Baseline_PageDownSortedArray(benchmark::State& state) {
  sortedDownloads(state, "PageDownSortedArray", 1, false, 50001, 50013, gc_PAGE_MOVES);
}

BENCHMARK(BM_Engine_Upload)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Engine_UploadSortedArray)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Engine_AroundUser)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Engine_AroundUserSortedArray)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Engine_RankLookup)->DenseRange(0, 2)->ArgName("board");
BENCHMARK(BM_Engine_RankLookupSortedArray)->DenseRange(0, 2)->ArgName("board");
BENCHMARK(BM_Baseline_AroundUser)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Baseline_AroundUserSortedArray)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Baseline_RankLookup)->DenseRange(0, 2)->ArgName("board");
BENCHMARK(BM_Baseline_RankLookupSortedArray)->DenseRange(0, 2)->ArgName("board");
BENCHMARK(BM_Baseline_Upload)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Baseline_UploadSortedArray)->DenseRange(2, 3)->ArgName("board");
BENCHMARK(BM_Engine_PageDown);
BENCHMARK(BM_Engine_PageDownSortedArray);
BENCHMARK(BM_Baseline_PageDown);
BENCHMARK(BM_Baseline_PageDownSortedArray);

}  // namespace

BENCHMARK_MAIN();
