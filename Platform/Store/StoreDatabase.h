// The local store's SQLite file "store.db": schema, and a small prepared-statement wrapper.
//
//   boards(id INTEGER PRIMARY KEY, name TEXT UNIQUE)
//   entries(id INTEGER PRIMARY KEY, board, user, score, details BLOB)
//     unique index (board, user); index (board, score DESC, id) = rank order
//     id is given in upload order (one above every id in use), so among equal scores the entry that
//     reached its score first has the lower id and the better rank; details are little-endian i32 words
//   stats(user, name, value)            PRIMARY KEY (user, name)
//   achievements(user, name, achieved)  PRIMARY KEY (user, name)
//
// Journal: WAL with synchronous NORMAL, so a crash of the process never loses or damages a committed change.
// One connection, used on the main thread only, which keeps the file to itself (exclusive locking mode) from
// start to end: another program cannot open the store meanwhile.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

// A prepared statement, reset after each use.
class StoreStatement {
 public:
  StoreStatement() = default;
  StoreStatement(const StoreStatement&) = delete;
  StoreStatement& operator=(const StoreStatement&) = delete;
  ~StoreStatement() { finalize(); }

  bool prepare(sqlite3* pDb, const char* pSql);
  void finalize();

  StoreStatement& bind(int iIndex, std::int64_t iValue);
  StoreStatement& bind(int iIndex, double fValue);
  StoreStatement& bind(int iIndex, const std::string& text);
  StoreStatement& bindBlob(int iIndex, const void* pData, int iBytes);  // null or 0 bytes binds NULL
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step();
  void reset();

  std::int64_t columnInt(int iColumn) { return sqlite3_column_int64(mp_stmt, iColumn); }
  double columnDouble(int iColumn) { return sqlite3_column_double(mp_stmt, iColumn); }
  std::string columnText(int iColumn);
  const void* columnBlob(int iColumn) { return sqlite3_column_blob(mp_stmt, iColumn); }
  int columnBytes(int iColumn) { return sqlite3_column_bytes(mp_stmt, iColumn); }

 private:
  sqlite3_stmt* mp_stmt = nullptr;
};

// Runs SQL text with no result rows; false with SQLite's message in pError.
bool StoreExec(sqlite3* pDb, const char* pSql, std::string* pError);

// Opens (creating when absent) the store database at path, takes it for this program alone, checks its pages
// and brings its schema up to date. A damaged database (not a database at all, or pages that do not hold
// together) is never deleted: it is moved aside, with its journal files, to "<name>.damaged-<date>-<time>.db"
// beside it, a new empty database is started, and pNotice (when given) receives a line naming both files.
// Null with a message naming the file when the store cannot be used: another program has it open, or it was
// written by a newer store (left as it is), or the file system refuses.
sqlite3* StoreOpenDatabase(const std::string& path, std::string* pError, std::string* pNotice = nullptr);
