#include "Platform/Store/StoreDatabase.h"

namespace {

constexpr int gc_iSCHEMA_VERSION = 1;

const char* const gc_pSCHEMA =
    "CREATE TABLE IF NOT EXISTS boards(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE IF NOT EXISTS entries(id INTEGER PRIMARY KEY, board INTEGER NOT NULL,"
    " user INTEGER NOT NULL, score INTEGER NOT NULL, details BLOB);"
    "CREATE UNIQUE INDEX IF NOT EXISTS entries_by_user ON entries(board, user);"
    "CREATE INDEX IF NOT EXISTS entries_by_rank ON entries(board, score DESC, id);"
    "CREATE TABLE IF NOT EXISTS stats(user INTEGER NOT NULL, name TEXT NOT NULL, value NOT NULL,"
    " PRIMARY KEY(user, name)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS achievements(user INTEGER NOT NULL, name TEXT NOT NULL,"
    " achieved INTEGER NOT NULL, PRIMARY KEY(user, name)) WITHOUT ROWID;";

}  // namespace

bool StoreStatement::prepare(sqlite3* pDb, const char* pSql) {
  finalize();
  return sqlite3_prepare_v3(pDb, pSql, -1, SQLITE_PREPARE_PERSISTENT, &mp_stmt, nullptr) == SQLITE_OK;
}

void StoreStatement::finalize() {
  sqlite3_finalize(mp_stmt);
  mp_stmt = nullptr;
}

StoreStatement& StoreStatement::bind(int iIndex, std::int64_t iValue) {
  sqlite3_bind_int64(mp_stmt, iIndex, iValue);
  return *this;
}

StoreStatement& StoreStatement::bind(int iIndex, double fValue) {
  sqlite3_bind_double(mp_stmt, iIndex, fValue);
  return *this;
}

StoreStatement& StoreStatement::bind(int iIndex, const std::string& text) {
  sqlite3_bind_text(mp_stmt, iIndex, text.data(), int(text.size()), SQLITE_TRANSIENT);
  return *this;
}

StoreStatement& StoreStatement::bindBlob(int iIndex, const void* pData, int iBytes) {
  if (pData == nullptr || iBytes <= 0) {
    sqlite3_bind_null(mp_stmt, iIndex);
  } else {
    sqlite3_bind_blob(mp_stmt, iIndex, pData, iBytes, SQLITE_TRANSIENT);
  }
  return *this;
}

int StoreStatement::step() { return sqlite3_step(mp_stmt); }

void StoreStatement::reset() {
  sqlite3_reset(mp_stmt);
  sqlite3_clear_bindings(mp_stmt);
}

std::string StoreStatement::columnText(int iColumn) {
  const unsigned char* pText = sqlite3_column_text(mp_stmt, iColumn);
  return pText ? std::string(reinterpret_cast<const char*>(pText), std::size_t(sqlite3_column_bytes(mp_stmt, iColumn)))
               : std::string();
}

bool StoreExec(sqlite3* pDb, const char* pSql, std::string* pError) {
  char* pMessage = nullptr;
  if (sqlite3_exec(pDb, pSql, nullptr, nullptr, &pMessage) != SQLITE_OK) {
    *pError = pMessage ? pMessage : sqlite3_errmsg(pDb);
    sqlite3_free(pMessage);
    return false;
  }
  return true;
}

sqlite3* StoreOpenDatabase(const std::string& path, std::string* pError) {
  sqlite3* pDb = nullptr;
  const int iFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &pDb, iFlags, nullptr) != SQLITE_OK) {
    *pError = path + ": cannot open the store database (" + (pDb ? sqlite3_errmsg(pDb) : "out of memory") + ")";
    sqlite3_close(pDb);
    return nullptr;
  }
  sqlite3_busy_timeout(pDb, 2000);
  std::string error;
  // user_version reads the header: a file that is not a database fails here, before anything is written.
  StoreStatement version;
  int iVersion = -1;
  if (version.prepare(pDb, "PRAGMA user_version") && version.step() == SQLITE_ROW) {
    iVersion = int(version.columnInt(0));
  } else {
    error = sqlite3_errmsg(pDb);
  }
  version.finalize();
  if (iVersion > gc_iSCHEMA_VERSION) {
    error = "written by a newer store (schema " + std::to_string(iVersion) + ")";
  }
  if (error.empty() && StoreExec(pDb, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", &error) &&
      StoreExec(pDb, "BEGIN IMMEDIATE", &error)) {
    const std::string setVersion = "PRAGMA user_version=" + std::to_string(gc_iSCHEMA_VERSION);
    if (StoreExec(pDb, gc_pSCHEMA, &error) && StoreExec(pDb, setVersion.c_str(), &error) &&
        StoreExec(pDb, "COMMIT", &error)) {
      return pDb;
    }
    std::string ignored;
    StoreExec(pDb, "ROLLBACK", &ignored);
  }
  *pError = path + ": cannot use the store database (" + error + ")";
  sqlite3_close(pDb);
  return nullptr;
}
