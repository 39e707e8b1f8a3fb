#include "Platform/Store/StoreLeaderboards.h"

#include <algorithm>
#include <cstring>
#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>
#include <utility>

#include "Platform/Store/StoreApi.h"

// Entries of one board in rank order, keyed (-score, id), with subtree sizes for rank and select.
class StoreLeaderboards::RankIndex {
 public:
  typedef std::pair<std::int64_t, std::int64_t> Key;
  typedef __gnu_pbds::tree<Key, __gnu_pbds::null_type, std::less<Key>, __gnu_pbds::rb_tree_tag,
                           __gnu_pbds::tree_order_statistics_node_update>
      Tree;

  static Key key(std::int32_t iScore, std::int64_t iId) { return Key(-std::int64_t(iScore), iId); }
  static std::int32_t score(const Key& k) { return std::int32_t(-k.first); }

  void insert(const Key& k) { m_tree.insert(k); }
  void erase(const Key& k) { m_tree.erase(k); }
  std::int64_t size() const { return std::int64_t(m_tree.size()); }
  std::int64_t rankOf(const Key& k) const { return std::int64_t(m_tree.order_of_key(k)) + 1; }
  Tree::const_iterator atRank(std::int64_t iRank) const { return m_tree.find_by_order(std::size_t(iRank - 1)); }

 private:
  Tree m_tree;
};

StoreLeaderboards::StoreLeaderboards() = default;
StoreLeaderboards::~StoreLeaderboards() { close(); }

bool StoreLeaderboards::open(sqlite3* pDb, std::string* pError) {
  close();
  mp_db = pDb;
  const struct {
    StoreStatement* pStatement;
    const char* pSql;
  } statements[] = {
      {&m_dataVersion, "PRAGMA data_version"},
      {&m_selectBoards, "SELECT id, name FROM boards"},
      {&m_insertBoard, "INSERT INTO boards(name) VALUES(?1)"},
      {&m_selectRankOrder, "SELECT score, id FROM entries WHERE board = ?1 ORDER BY score DESC, id"},
      {&m_selectUserEntry, "SELECT id, score FROM entries WHERE board = ?1 AND user = ?2"},
      {&m_selectMaxId, "SELECT MAX(id) FROM entries"},
      {&m_insertEntry, "INSERT INTO entries(id, board, user, score, details) VALUES(?1, ?2, ?3, ?4, ?5)"},
      {&m_updateEntry, "UPDATE entries SET id = ?1, score = ?2, details = ?3 WHERE id = ?4"},
      {&m_selectEntry, "SELECT user, details FROM entries WHERE id = ?1"},
      // A run of entries in rank order from (score, id): first the equal scores, then the lower ones.
      {&m_selectTiesFrom,
       "SELECT user, details, id FROM entries WHERE board = ?1 AND score = ?2 AND id >= ?3 ORDER BY id LIMIT ?4"},
      {&m_selectBelow,
       "SELECT user, details, id, score FROM entries WHERE board = ?1 AND score < ?2"
       " ORDER BY score DESC, id LIMIT ?3"},
  };
  for (const auto& entry : statements) {
    if (!entry.pStatement->prepare(pDb, entry.pSql)) {
      *pError = sqlite3_errmsg(pDb);
      close();
      return false;
    }
  }
  return true;
}

void StoreLeaderboards::close() {
  for (StoreStatement* pStatement : {&m_dataVersion, &m_selectBoards, &m_insertBoard, &m_selectRankOrder,
                                     &m_selectUserEntry, &m_selectMaxId, &m_insertEntry, &m_updateEntry,
                                     &m_selectEntry, &m_selectTiesFrom, &m_selectBelow}) {
    pStatement->finalize();
  }
  mp_db = nullptr;
  m_iDataVersion = -1;
  m_iNextId = 0;
  m_boardNames.clear();
  m_boardIds.clear();
  m_indexes.clear();
}

bool StoreLeaderboards::fail(const char* pWhat) {
  m_lastError = std::string(pWhat) + ": " + (mp_db ? sqlite3_errmsg(mp_db) : "store closed");
  return false;
}

bool StoreLeaderboards::syncWithFile() {
  if (mp_db == nullptr) {
    return fail("leaderboards");
  }
  const int iStep = m_dataVersion.step();
  const std::int64_t iVersion = iStep == SQLITE_ROW ? m_dataVersion.columnInt(0) : -1;
  m_dataVersion.reset();
  if (iStep != SQLITE_ROW) {
    return fail("reading the data version");
  }
  if (iVersion == m_iDataVersion) {
    return true;
  }
  m_indexes.clear();
  m_iNextId = 0;
  if (!loadBoards()) {
    return false;
  }
  m_iDataVersion = iVersion;
  return true;
}

bool StoreLeaderboards::loadBoards() {
  m_boardNames.clear();
  m_boardIds.clear();
  int iStep;
  while ((iStep = m_selectBoards.step()) == SQLITE_ROW) {
    const std::int64_t iId = m_selectBoards.columnInt(0);
    const std::string boardName = m_selectBoards.columnText(1);
    m_boardNames[iId] = boardName;
    m_boardIds[boardName] = iId;
  }
  m_selectBoards.reset();
  return iStep == SQLITE_DONE || fail("reading the leaderboards");
}

std::int64_t StoreLeaderboards::find(const std::string& boardName, bool bCreate) {
  if (!syncWithFile()) {
    return -1;
  }
  const auto found = m_boardIds.find(boardName);
  if (found != m_boardIds.end()) {
    return found->second;
  }
  if (!bCreate) {
    return 0;
  }
  const int iStep = m_insertBoard.bind(1, boardName).step();
  m_insertBoard.reset();
  if (iStep != SQLITE_DONE) {
    fail("creating a leaderboard");
    return -1;
  }
  const std::int64_t iId = sqlite3_last_insert_rowid(mp_db);
  m_boardNames[iId] = boardName;
  m_boardIds[boardName] = iId;
  return iId;
}

const std::string* StoreLeaderboards::name(std::int64_t iBoard) {
  if (!syncWithFile()) {
    return nullptr;
  }
  const auto found = m_boardNames.find(iBoard);
  return found == m_boardNames.end() ? nullptr : &found->second;
}

std::int64_t StoreLeaderboards::count(std::int64_t iBoard) {
  RankIndex* pIndex = name(iBoard) ? rankIndex(iBoard) : nullptr;
  return pIndex ? pIndex->size() : -1;
}

StoreLeaderboards::RankIndex* StoreLeaderboards::rankIndex(std::int64_t iBoard) {
  auto found = m_indexes.find(iBoard);
  if (found != m_indexes.end()) {
    return found->second.get();
  }
  auto pIndex = std::make_unique<RankIndex>();
  m_selectRankOrder.bind(1, iBoard);
  int iStep;
  while ((iStep = m_selectRankOrder.step()) == SQLITE_ROW) {
    pIndex->insert(RankIndex::key(std::int32_t(m_selectRankOrder.columnInt(0)), m_selectRankOrder.columnInt(1)));
  }
  m_selectRankOrder.reset();
  if (iStep != SQLITE_DONE) {
    fail("reading a leaderboard");
    return nullptr;
  }
  return m_indexes.emplace(iBoard, std::move(pIndex)).first->second.get();
}

int StoreLeaderboards::findUserEntry(std::int64_t iBoard, std::uint64_t ulUser, UserEntry* pEntry) {
  const int iStep = m_selectUserEntry.bind(1, iBoard).bind(2, std::int64_t(ulUser)).step();
  if (iStep == SQLITE_ROW) {
    pEntry->iId = m_selectUserEntry.columnInt(0);
    pEntry->iScore = std::int32_t(m_selectUserEntry.columnInt(1));
  }
  m_selectUserEntry.reset();
  if (iStep != SQLITE_ROW && iStep != SQLITE_DONE) {
    fail("reading a leaderboard entry");
    return -1;
  }
  return iStep == SQLITE_ROW ? 1 : 0;
}

bool StoreLeaderboards::nextId(std::int64_t* pId) {
  if (m_iNextId == 0) {
    const int iStep = m_selectMaxId.step();
    const std::int64_t iMax = iStep == SQLITE_ROW ? m_selectMaxId.columnInt(0) : 0;
    m_selectMaxId.reset();
    if (iStep != SQLITE_ROW) {
      return fail("reading the entry ids");
    }
    m_iNextId = iMax + 1;
  }
  *pId = m_iNextId;
  return true;
}

bool StoreLeaderboards::upload(std::int64_t iBoard, std::uint64_t ulUser, bool bKeepBest, std::int32_t iScore,
                               const std::int32_t* pDetails, int iDetails, StoreUploadOutcome* pOutcome) {
  *pOutcome = StoreUploadOutcome{};
  if (name(iBoard) == nullptr) {
    m_lastError = "no leaderboard " + std::to_string(iBoard);
    return false;
  }
  RankIndex* pIndex = rankIndex(iBoard);
  UserEntry old{};
  const int iFound = pIndex ? findUserEntry(iBoard, ulUser, &old) : -1;
  std::int64_t iNewId = 0;
  if (iFound < 0 || !nextId(&iNewId)) {
    return false;
  }
  const int iDetailBytes = iDetails * int(sizeof(std::int32_t));
  RankIndex::Key current;
  if (iFound == 1) {
    const RankIndex::Key oldKey = RankIndex::key(old.iScore, old.iId);
    pOutcome->iRankPrevious = std::int32_t(pIndex->rankOf(oldKey));
    pOutcome->bChanged = bKeepBest ? iScore > old.iScore : iScore != old.iScore;
    current = oldKey;
    if (pOutcome->bChanged) {
      // A new id puts the entry behind every entry that reached the same score earlier.
      const int iStep = m_updateEntry.bind(1, iNewId)
                            .bind(2, std::int64_t(iScore))
                            .bindBlob(3, pDetails, iDetailBytes)
                            .bind(4, old.iId)
                            .step();
      m_updateEntry.reset();
      if (iStep != SQLITE_DONE) {
        *pOutcome = StoreUploadOutcome{};
        return fail("updating a leaderboard entry");
      }
      current = RankIndex::key(iScore, iNewId);
      pIndex->erase(oldKey);
      pIndex->insert(current);
      ++m_iNextId;
    }
  } else {
    const int iStep = m_insertEntry.bind(1, iNewId)
                          .bind(2, iBoard)
                          .bind(3, std::int64_t(ulUser))
                          .bind(4, std::int64_t(iScore))
                          .bindBlob(5, pDetails, iDetailBytes)
                          .step();
    m_insertEntry.reset();
    if (iStep != SQLITE_DONE) {
      return fail("adding a leaderboard entry");
    }
    current = RankIndex::key(iScore, iNewId);
    pIndex->insert(current);
    ++m_iNextId;
    pOutcome->bChanged = true;
  }
  pOutcome->iRankNew = std::int32_t(pIndex->rankOf(current));
  return true;
}

bool StoreLeaderboards::readDetails(StoreStatement& statement, int iColumn, std::int64_t iId,
                                    StoreBoardEntry* pEntry) {
  const int iBytes = statement.columnBytes(iColumn);
  const void* pBlob = statement.columnBlob(iColumn);
  const int iWords = iBytes / int(sizeof(std::int32_t));
  if (iBytes % int(sizeof(std::int32_t)) != 0 || iWords > k_cLeaderboardDetailsMax) {
    m_lastError = "leaderboard entry " + std::to_string(iId) + " has damaged details (" + std::to_string(iBytes) +
                  " bytes)";
    return false;
  }
  pEntry->details.resize(std::size_t(iWords));
  if (iWords > 0) {
    std::memcpy(pEntry->details.data(), pBlob, std::size_t(iBytes));
  }
  return true;
}

bool StoreLeaderboards::readEntry(std::int64_t iId, StoreBoardEntry* pEntry) {
  const int iStep = m_selectEntry.bind(1, iId).step();
  bool bOk = iStep == SQLITE_ROW;
  if (bOk) {
    pEntry->ulUser = std::uint64_t(m_selectEntry.columnInt(0));
    bOk = readDetails(m_selectEntry, 1, iId, pEntry);
  } else {
    fail("reading a leaderboard entry");
  }
  m_selectEntry.reset();
  return bOk;
}

bool StoreLeaderboards::downloadRange(std::int64_t iBoard, std::int64_t iFirst, std::int64_t iLast,
                                      std::vector<StoreBoardEntry>* pEntries) {
  pEntries->clear();
  RankIndex* pIndex = name(iBoard) ? rankIndex(iBoard) : nullptr;
  if (pIndex == nullptr) {
    return false;
  }
  const std::int64_t iLow = std::max<std::int64_t>(iFirst, 1);
  const std::int64_t iHigh = std::min(iLast, pIndex->size());
  if (iLow > iHigh) {
    return true;
  }
  // Two index seeks read the run; the tree, walked alongside, gives the ranks and checks every row.
  auto it = pIndex->atRank(iLow);
  const std::int32_t iFirstScore = RankIndex::score(*it);
  const std::int64_t iWanted = iHigh - iLow + 1;
  pEntries->reserve(std::size_t(iWanted));
  bool bOk = true;
  auto readRun = [&](StoreStatement& statement, bool bTies) {
    int iStep;
    while (bOk && (iStep = statement.step()) == SQLITE_ROW) {
      const std::int64_t iId = statement.columnInt(2);
      const std::int32_t iScore = bTies ? iFirstScore : std::int32_t(statement.columnInt(3));
      if (RankIndex::key(iScore, iId) != *it) {
        m_lastError = "leaderboard " + std::to_string(iBoard) + " changed while it was read";
        m_indexes.erase(iBoard);
        bOk = false;
        break;
      }
      StoreBoardEntry entry{std::uint64_t(statement.columnInt(0)),
                            std::int32_t(iLow + std::int64_t(pEntries->size())), iScore, {}};
      bOk = readDetails(statement, 1, iId, &entry);
      pEntries->push_back(std::move(entry));
      ++it;
    }
    if (bOk && iStep != SQLITE_DONE) {
      bOk = fail("reading a leaderboard");
    }
    statement.reset();
  };
  m_selectTiesFrom.bind(1, iBoard).bind(2, std::int64_t(iFirstScore)).bind(3, it->second).bind(4, iWanted);
  readRun(m_selectTiesFrom, true);
  const std::int64_t iRest = iWanted - std::int64_t(pEntries->size());
  if (bOk && iRest > 0) {
    m_selectBelow.bind(1, iBoard).bind(2, std::int64_t(iFirstScore)).bind(3, iRest);
    readRun(m_selectBelow, false);
  }
  if (bOk && std::int64_t(pEntries->size()) != iWanted) {
    m_lastError = "leaderboard " + std::to_string(iBoard) + " has fewer entries than its rank tree";
    m_indexes.erase(iBoard);
    bOk = false;
  }
  if (!bOk) {
    pEntries->clear();
  }
  return bOk;
}

bool StoreLeaderboards::downloadAroundUser(std::int64_t iBoard, std::uint64_t ulUser, std::int64_t iFrom,
                                           std::int64_t iTo, std::vector<StoreBoardEntry>* pEntries) {
  pEntries->clear();
  RankIndex* pIndex = name(iBoard) ? rankIndex(iBoard) : nullptr;
  UserEntry entry{};
  const int iFound = pIndex ? findUserEntry(iBoard, ulUser, &entry) : -1;
  if (iFound <= 0) {
    return iFound == 0;
  }
  const std::int64_t iRank = pIndex->rankOf(RankIndex::key(entry.iScore, entry.iId));
  return downloadRange(iBoard, iRank + iFrom, iRank + iTo, pEntries);
}

bool StoreLeaderboards::downloadUsers(std::int64_t iBoard, const std::vector<std::uint64_t>& users,
                                      std::vector<StoreBoardEntry>* pEntries) {
  pEntries->clear();
  RankIndex* pIndex = name(iBoard) ? rankIndex(iBoard) : nullptr;
  if (pIndex == nullptr) {
    return false;
  }
  std::vector<std::uint64_t> unique = users;
  std::sort(unique.begin(), unique.end());
  unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
  for (const std::uint64_t ulUser : unique) {
    UserEntry found{};
    const int iFound = findUserEntry(iBoard, ulUser, &found);
    if (iFound < 0) {
      pEntries->clear();
      return false;
    }
    if (iFound == 0) {
      continue;
    }
    StoreBoardEntry entry{ulUser, std::int32_t(pIndex->rankOf(RankIndex::key(found.iScore, found.iId))),
                          found.iScore, {}};
    if (!readEntry(found.iId, &entry)) {
      pEntries->clear();
      return false;
    }
    pEntries->push_back(std::move(entry));
  }
  std::sort(pEntries->begin(), pEntries->end(),
            [](const StoreBoardEntry& a, const StoreBoardEntry& b) { return a.iRank < b.iRank; });
  return true;
}
