#include "Platform/Store/StoreDatabase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "Platform/Common/PlatformFiles.h"

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

namespace {

// How far a database file can be used.
enum class EFileState { USABLE, DAMAGED, IN_USE, REFUSED };

EFileState stateOfError(int iCode) {
  switch (iCode & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return EFileState::DAMAGED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return EFileState::IN_USE;
    default:
      return EFileState::REFUSED;
  }
}

// Looks at the file before anything is written to it: its header, its schema version, and its pages (a quick
// check of every page and the b-trees they make up). The connection already runs in exclusive locking mode,
// so the first read takes the file's lock and keeps it.
EFileState checkFile(sqlite3* pDb, std::string* pReason) {
  StoreStatement version;
  if (!version.prepare(pDb, "PRAGMA user_version")) {
    *pReason = sqlite3_errmsg(pDb);
    return stateOfError(sqlite3_extended_errcode(pDb));
  }
  if (version.step() != SQLITE_ROW) {
    *pReason = sqlite3_errmsg(pDb);
    return stateOfError(sqlite3_extended_errcode(pDb));
  }
  const std::int64_t iVersion = version.columnInt(0);
  version.finalize();
  if (iVersion > gc_iSCHEMA_VERSION) {
    *pReason = "written by a newer store (schema " + std::to_string(iVersion) + ")";
    return EFileState::REFUSED;
  }
  StoreStatement check;
  if (!check.prepare(pDb, "PRAGMA quick_check(1)")) {
    *pReason = sqlite3_errmsg(pDb);
    return stateOfError(sqlite3_extended_errcode(pDb));
  }
  const int iStep = check.step();
  if (iStep != SQLITE_ROW) {
    *pReason = sqlite3_errmsg(pDb);
    return stateOfError(sqlite3_extended_errcode(pDb));
  }
  const std::string verdict = check.columnText(0);
  if (verdict != "ok") {
    *pReason = verdict;
    return EFileState::DAMAGED;
  }
  return EFileState::USABLE;
}

// The files SQLite keeps beside a database: its write-ahead log, the log's index and its rollback journal.
const char* const gc_apJOURNAL_SUFFIXES[] = {"-wal", "-shm", "-journal"};

// Whether the name is taken by anything at all (a dangling or looping link too).
bool nameTaken(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// One of the database's files as the file door sees it: a regular file (behind links as every other path takes
// them), or nothing of that name. False with the reason naming the file for anything else; a link that leads
// nowhere is refused too, since SQLite would make its file wherever the link points.
bool checkStoreFile(const std::string& path, bool* pbExists, std::string* pError) {
  SPlatformFileProblem problem;
  const int iFd = PlatformOpenRegularFile(path.c_str(), &problem);
  if (iFd >= 0) {
    ::close(iFd);
    *pbExists = true;
    return true;
  }
  *pbExists = false;
  if (problem.eKind == EPlatformFileProblem::Missing && problem.iErrno == ENOENT) {
    if (!nameTaken(path)) {
      return true;
    }
    *pError = path + " is a symlink to a file that does not exist";
    return false;
  }
  *pError = path + " " + PlatformDescribeFileProblem(problem);
  return false;
}

// Checks the database's files before SQLite opens any of them, so that a pipe is never opened for writing, a
// device never written, a folder never taken for a file, and nothing is touched when one of them is refused. SQLite
// follows the database's links and keeps its journals beside the file they end at: the files checked, and the path
// answered for SQLite to open, are those.
bool checkStoreFiles(const std::string& path, std::string* pResolved, std::string* pError) {
  bool bExists = false;
  if (!checkStoreFile(path, &bExists, pError)) {
    return false;
  }
  *pResolved = path;
  struct stat info {};
  if (bExists && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    char* pResolvedText = ::realpath(path.c_str(), nullptr);
    if (pResolvedText == nullptr) {
      const SPlatformFileProblem problem{EPlatformFileProblem::CannotOpen, errno, 0};
      *pError = path + " " + PlatformDescribeFileProblem(problem);
      return false;
    }
    *pResolved = pResolvedText;
    std::free(pResolvedText);
  }
  for (const char* pSuffix : gc_apJOURNAL_SUFFIXES) {
    if (!checkStoreFile(*pResolved + pSuffix, &bExists, pError)) {
      return false;
    }
  }
  return true;
}

// Opens the file (creating it when absent) for this connection alone: in exclusive locking mode the connection
// takes the file's lock at its first read and never gives it back, so no other program can change the file
// under the store and no statement pays for taking and releasing file locks. The WAL index then lives in the
// connection's memory, not in a shared "-shm" file.
sqlite3* openConnection(const std::string& path, std::string* pError) {
  std::string resolved;
  if (!checkStoreFiles(path, &resolved, pError)) {
    return nullptr;
  }
  sqlite3* pDb = nullptr;
  const int iFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(resolved.c_str(), &pDb, iFlags, nullptr) != SQLITE_OK) {
    *pError = path + ": cannot open the store database (" + (pDb ? sqlite3_errmsg(pDb) : "out of memory") + ")";
    sqlite3_close(pDb);
    return nullptr;
  }
  // Waits a little for a program that is just closing the same store.
  sqlite3_busy_timeout(pDb, 500);
  std::string error;
  if (!StoreExec(pDb, "PRAGMA locking_mode=EXCLUSIVE", &error)) {
    *pError = path + ": cannot open the store database (" + error + ")";
    sqlite3_close(pDb);
    return nullptr;
  }
  return pDb;
}

// A free name beside the file for keeping a damaged database: "store.damaged-<date>-<time>[-<n>].db".
std::string asidePath(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char acStamp[32];
  std::strftime(acStamp, sizeof(acStamp), "%Y%m%d-%H%M%S", &local);
  std::string stem = path;
  if (stem.size() > 3 && stem.compare(stem.size() - 3, 3, ".db") == 0) {
    stem.resize(stem.size() - 3);
  }
  for (int i = 1;; ++i) {
    const std::string candidate =
        stem + ".damaged-" + acStamp + (i > 1 ? "-" + std::to_string(i) : std::string()) + ".db";
    if (!nameTaken(candidate) && !nameTaken(candidate + "-wal")) {
      return candidate;
    }
  }
}

// Moves the database and its journal files to the aside name; nothing is deleted.
bool keepAside(const std::string& path, const std::string& aside, std::string* pError) {
  const auto moveAside = [&](const char* pSuffix) {
    if (!nameTaken(path + pSuffix)) {
      return true;
    }
    std::error_code error;
    std::filesystem::rename(path + pSuffix, aside + pSuffix, error);
    if (error) {
      *pError = path + pSuffix + ": cannot move the damaged store database aside (" + error.message() + ")";
      return false;
    }
    return true;
  };
  return moveAside("") && std::ranges::all_of(gc_apJOURNAL_SUFFIXES, moveAside);
}

// Brings the schema up to date in the first write, which takes the file's exclusive lock for good.
bool prepareSchema(sqlite3* pDb, std::string* pError) {
  if (!StoreExec(pDb, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", pError) ||
      !StoreExec(pDb, "BEGIN EXCLUSIVE", pError)) {
    return false;
  }
  const std::string setVersion = "PRAGMA user_version=" + std::to_string(gc_iSCHEMA_VERSION);
  if (StoreExec(pDb, gc_pSCHEMA, pError) && StoreExec(pDb, setVersion.c_str(), pError) &&
      StoreExec(pDb, "COMMIT", pError)) {
    return true;
  }
  std::string ignored;
  StoreExec(pDb, "ROLLBACK", &ignored);
  return false;
}

std::string inUseMessage(const std::string& path) {
  return path + ": the store database is in use by another program (one program at a time may use a store folder)";
}

}  // namespace

sqlite3* StoreOpenDatabase(const std::string& path, std::string* pError, std::string* pNotice) {
  for (int iAttempt = 0; iAttempt < 2; ++iAttempt) {
    sqlite3* pDb = openConnection(path, pError);
    if (pDb == nullptr) {
      return nullptr;
    }
    std::string reason;
    EFileState eState = checkFile(pDb, &reason);
    if (eState == EFileState::USABLE) {
      if (prepareSchema(pDb, &reason)) {
        return pDb;
      }
      eState = stateOfError(sqlite3_extended_errcode(pDb));
    }
    sqlite3_close(pDb);
    if (eState == EFileState::IN_USE) {
      *pError = inUseMessage(path);
      return nullptr;
    }
    if (eState != EFileState::DAMAGED || iAttempt > 0) {
      *pError = path + ": cannot use the store database (" + reason + ")";
      return nullptr;
    }
    const std::string aside = asidePath(path);
    if (!keepAside(path, aside, pError)) {
      return nullptr;
    }
    const std::string notice = path + " was damaged (" + reason + "); it was kept as " + aside +
                               " and a new, empty store database was started";
    if (pNotice != nullptr) {
      *pNotice = notice;
    }
  }
  return nullptr;
}
