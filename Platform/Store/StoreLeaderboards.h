// Leaderboards of the local store, kept in the store database (see StoreDatabase.h).
//
// Ranks are never stored: an entry's rank is 1 + the number of entries before it in rank order (higher score
// first; among equal scores the one reached first). SQLite counts an index range row by row, so ranks come
// from an order-statistics tree per board, built from the rank index on the board's first use and updated
// with every change this connection commits; a change committed by another connection to the file drops
// the trees. Finding a user's entry, uploading and finding the entry at a rank all take O(log n); a download
// of k entries takes O(k log n).
//
// Main thread only.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Platform/Store/StoreDatabase.h"

struct StoreBoardEntry {
  std::uint64_t ulUser;
  std::int32_t iRank;
  std::int32_t iScore;
  std::vector<std::int32_t> details;
};

struct StoreUploadOutcome {
  bool bChanged = false;
  std::int32_t iRankNew = 0;
  std::int32_t iRankPrevious = 0;  // 0 when the user had no entry
};

class StoreLeaderboards {
 public:
  StoreLeaderboards();
  ~StoreLeaderboards();
  StoreLeaderboards(const StoreLeaderboards&) = delete;
  StoreLeaderboards& operator=(const StoreLeaderboards&) = delete;

  // Prepares the statements on an open store database. False with a message.
  bool open(sqlite3* pDb, std::string* pError);
  void close();

  // The board's id (its handle), creating it when bCreate; 0 when it does not exist, -1 on a storage error.
  std::int64_t find(const std::string& name, bool bCreate);
  // Name of a board, null when there is no such board.
  const std::string* name(std::int64_t iBoard);
  // Entries on the board; -1 on a storage error or for an unknown board.
  std::int64_t count(std::int64_t iBoard);

  // Uploads a user's score; with bKeepBest the entry changes only for a strictly higher score. False on a
  // storage error (nothing changed).
  bool upload(std::int64_t iBoard, std::uint64_t ulUser, bool bKeepBest, std::int32_t iScore,
              const std::int32_t* pDetails, int iDetails, StoreUploadOutcome* pOutcome);
  // Entries of ranks first..last (inclusive, 1-based, clamped to the board).
  bool downloadRange(std::int64_t iBoard, std::int64_t iFirst, std::int64_t iLast,
                     std::vector<StoreBoardEntry>* pEntries);
  // Entries of ranks rank(user) + iFrom .. rank(user) + iTo; none when the user has no entry.
  bool downloadAroundUser(std::int64_t iBoard, std::uint64_t ulUser, std::int64_t iFrom, std::int64_t iTo,
                          std::vector<StoreBoardEntry>* pEntries);
  // The entries of these users that exist, in rank order.
  bool downloadUsers(std::int64_t iBoard, const std::vector<std::uint64_t>& users,
                     std::vector<StoreBoardEntry>* pEntries);

  // SQLite's message for the last storage error.
  std::string lastError() const { return m_lastError; }

 private:
  class RankIndex;
  struct UserEntry {
    std::int64_t iId;
    std::int32_t iScore;
  };

  bool fail(const char* pWhat);
  // Drops every cached tree and board when another connection changed the file.
  bool syncWithFile();
  bool loadBoards();
  RankIndex* rankIndex(std::int64_t iBoard);
  // 1 = found, 0 = no entry, -1 = error.
  int findUserEntry(std::int64_t iBoard, std::uint64_t ulUser, UserEntry* pEntry);
  bool nextId(std::int64_t* pId);
  bool readEntry(std::int64_t iId, StoreBoardEntry* pEntry);
  // Reads the details column of the statement's current row (column iColumn) into the entry.
  bool readDetails(StoreStatement& statement, int iColumn, std::int64_t iId, StoreBoardEntry* pEntry);

  sqlite3* mp_db = nullptr;
  std::int64_t m_iDataVersion = -1;
  std::int64_t m_iNextId = 0;  // 0 = not read yet
  std::map<std::int64_t, std::string> m_boardNames;
  std::unordered_map<std::string, std::int64_t> m_boardIds;
  std::unordered_map<std::int64_t, std::unique_ptr<RankIndex>> m_indexes;
  std::string m_lastError;

  StoreStatement m_dataVersion;
  StoreStatement m_selectBoards;
  StoreStatement m_insertBoard;
  StoreStatement m_selectRankOrder;
  StoreStatement m_selectUserEntry;
  StoreStatement m_selectMaxId;
  StoreStatement m_insertEntry;
  StoreStatement m_updateEntry;
  StoreStatement m_selectEntry;
  StoreStatement m_selectTiesFrom;
  StoreStatement m_selectBelow;
};
