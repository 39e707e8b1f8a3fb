// Remote storage of the local store: whole files in the store folder's "remote/".
//
// A write goes to a temporary file ".tmp.<pid>.<n>" in the same folder, is flushed to the disk, renamed over
// the file and the folder is flushed, so the file always holds a complete old or new content. Temporary files
// left by a killed process are removed when the store opens. Any thread may call; SteamAPI_Shutdown waits for
// the calls in flight.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "Platform/Common/PlatformFiles.h"
#include "Platform/Store/StoreInternal.h"
#include "Platform/Store/StoreTest.h"

namespace {

constexpr std::int64_t gc_iMAX_FILE_BYTES = std::int64_t(100) << 20;
constexpr std::int64_t gc_iWRITE_CHUNK = std::int64_t(1) << 20;
constexpr std::size_t gc_uiMAX_NAME = 255;
const char gc_TEMP_PREFIX[] = ".tmp.";

std::shared_mutex g_mutex;
int g_iDirFd = -1;  // the open "remote/" folder; -1 while closed
std::string g_dir;
std::atomic<bool> g_bOpen{false};
std::atomic<StoreWriteHook> g_pWriteHook{nullptr};
std::atomic<std::uint64_t> g_uiTempCount{0};

bool validName(const char* pchFile) {
  if (pchFile == nullptr || pchFile[0] == '\0' || pchFile[0] == '.') {
    return false;
  }
  const std::size_t uiLength = std::strlen(pchFile);
  return uiLength <= gc_uiMAX_NAME && std::strchr(pchFile, '/') == nullptr;
}

bool writeAll(int iFd, const char* pchFile, const unsigned char* pData, std::int64_t iTotal) {
  std::int64_t iWritten = 0;
  while (iWritten < iTotal) {
    const std::int64_t iChunkEnd = std::min(iTotal, iWritten + gc_iWRITE_CHUNK);
    while (iWritten < iChunkEnd) {
      const ssize_t iResult = ::write(iFd, pData + iWritten, std::size_t(iChunkEnd - iWritten));
      if (iResult < 0 && errno == EINTR) {
        continue;
      }
      if (iResult <= 0) {
        if (iResult == 0) {
          errno = EIO;
        }
        return false;
      }
      iWritten += iResult;
    }
    if (StoreWriteHook pHook = g_pWriteHook.load()) {
      pHook(pchFile, iWritten, iTotal);
    }
  }
  return true;
}

class StoreRemote final : public ISteamRemoteStorage {
 public:
  bool FileWrite(const char* pchFile, const void* pvData, std::int32_t cubData) override {
    if (!validName(pchFile) || cubData < 0 || cubData > gc_iMAX_FILE_BYTES || (cubData > 0 && pvData == nullptr)) {
      StoreWarn("FileWrite refused: bad name, size or data");
      return false;
    }
    std::shared_lock<std::shared_mutex> lock(g_mutex);
    if (g_iDirFd < 0) {
      StoreWarn("FileWrite refused: the store is closed");
      return false;
    }
    if (StoreHasFault(STORE_FAULT_WRITE_FAIL)) {
      // Said as a real failure is, so that the caller's report of it can be checked.
      StoreWarn("%s/%s: cannot write, the old content stays (fault write_fail)", g_dir.c_str(), pchFile);
      return false;
    }
    const std::string temp = std::string(gc_TEMP_PREFIX) + std::to_string(::getpid()) + "." +
                             std::to_string(g_uiTempCount.fetch_add(1));
    const int iFd = ::openat(g_iDirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (iFd < 0) {
      StoreWarn("%s/%s: cannot write (%s)", g_dir.c_str(), pchFile, std::strerror(errno));
      return false;
    }
    bool bOk = writeAll(iFd, pchFile, static_cast<const unsigned char*>(pvData), cubData) && ::fsync(iFd) == 0;
    int iError = errno;
    if (::close(iFd) != 0 && bOk) {
      bOk = false;
      iError = errno;
    }
    if (bOk && ::renameat(g_iDirFd, temp.c_str(), g_iDirFd, pchFile) != 0) {
      bOk = false;
      iError = errno;
    }
    if (!bOk) {
      ::unlinkat(g_iDirFd, temp.c_str(), 0);
      StoreWarn("%s/%s: cannot write, the old content stays (%s)", g_dir.c_str(), pchFile, std::strerror(iError));
      return false;
    }
    if (::fsync(g_iDirFd) != 0) {
      StoreWarn("%s: cannot flush the folder after writing %s (%s)", g_dir.c_str(), pchFile, std::strerror(errno));
      return false;
    }
    return true;
  }

  std::int32_t FileRead(const char* pchFile, void* pvData, std::int32_t cubDataToRead) override {
    if (!validName(pchFile) || pvData == nullptr || cubDataToRead <= 0) {
      return 0;
    }
    std::shared_lock<std::shared_mutex> lock(g_mutex);
    if (g_iDirFd < 0 || StoreHasFault(STORE_FAULT_READ_FAIL)) {
      return 0;
    }
    SPlatformFileProblem problem;
    const int iFd = PlatformOpenRegularFile(pchFile, &problem, g_iDirFd);
    if (iFd < 0) {
      if (problem.eKind == EPlatformFileProblem::CannotOpen) {
        StoreWarn("%s/%s: cannot read (%s)", g_dir.c_str(), pchFile, std::strerror(problem.iErrno));
      } else if (problem.eKind != EPlatformFileProblem::Missing) {
        StoreWarn("%s/%s %s", g_dir.c_str(), pchFile, PlatformDescribeFileProblem(problem).c_str());
      }
      return 0;
    }
    // A file larger than the store holds is never read into memory, nor taken for its first part.
    struct stat status {};
    if (::fstat(iFd, &status) == 0 && status.st_size > gc_iMAX_FILE_BYTES) {
      StoreWarn("%s/%s is larger than the %lld bytes a stored file may hold", g_dir.c_str(), pchFile,
                static_cast<long long>(gc_iMAX_FILE_BYTES));
      ::close(iFd);
      return 0;
    }
    std::int32_t iRead = 0;
    auto* pBytes = static_cast<unsigned char*>(pvData);
    while (iRead < cubDataToRead) {
      const ssize_t iResult = ::read(iFd, pBytes + iRead, std::size_t(cubDataToRead - iRead));
      if (iResult < 0 && errno == EINTR) {
        continue;
      }
      if (iResult < 0) {
        StoreWarn("%s/%s: cannot read (%s)", g_dir.c_str(), pchFile, std::strerror(errno));
        iRead = 0;
        break;
      }
      if (iResult == 0) {
        break;
      }
      iRead += std::int32_t(iResult);
    }
    ::close(iFd);
    return iRead;
  }

  // Anything of that name counts, a file or not: a folder, a symlink loop, a pipe or a device in its place is a file
  // that is there and cannot be read (FileRead says why), never one to write over as if there were none.
  bool FileExists(const char* pchFile) override {
    struct stat status {};
    const int iError = fileStatus(pchFile, &status);
    return iError == 0 || iError == ELOOP;
  }

  // The size of a regular file the store may hold; 0 for anything else (a file larger than that included, which
  // FileRead refuses).
  std::int32_t GetFileSize(const char* pchFile) override {
    struct stat status {};
    if (fileStatus(pchFile, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > gc_iMAX_FILE_BYTES) {
      return 0;
    }
    return std::int32_t(status.st_size);
  }

 private:
  // 0 with the status of what the name leads to, else why there is none (ENOENT for a bad name or a closed store).
  static int fileStatus(const char* pchFile, struct stat* pStatus) {
    if (!validName(pchFile)) {
      return ENOENT;
    }
    std::shared_lock<std::shared_mutex> lock(g_mutex);
    if (g_iDirFd < 0) {
      return ENOENT;
    }
    return ::fstatat(g_iDirFd, pchFile, pStatus, 0) == 0 ? 0 : errno;
  }
};

StoreRemote g_remote;

// Removes the temporary files of writes that never finished.
void removeStaleTemporaries(int iDirFd) {
  const int iListFd = ::dup(iDirFd);
  DIR* pDir = iListFd >= 0 ? ::fdopendir(iListFd) : nullptr;
  if (pDir == nullptr) {
    if (iListFd >= 0) {
      ::close(iListFd);
    }
    return;
  }
  ::rewinddir(pDir);
  while (const dirent* pEntry = ::readdir(pDir)) {
    if (std::strncmp(pEntry->d_name, gc_TEMP_PREFIX, sizeof(gc_TEMP_PREFIX) - 1) == 0) {
      ::unlinkat(iDirFd, pEntry->d_name, 0);
    }
  }
  ::closedir(pDir);
}

}  // namespace

bool StoreRemoteOpen(const std::string& dir, std::string* pError) {
  std::unique_lock<std::shared_mutex> lock(g_mutex);
  if (g_iDirFd >= 0) {
    ::close(g_iDirFd);
  }
  g_iDirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (g_iDirFd < 0) {
    *pError = dir + ": cannot open the remote-storage folder (" + std::strerror(errno) + ")";
    g_bOpen = false;
    return false;
  }
  g_dir = dir;
  removeStaleTemporaries(g_iDirFd);
  g_bOpen = true;
  return true;
}

void StoreRemoteClose() {
  g_bOpen = false;
  std::unique_lock<std::shared_mutex> lock(g_mutex);
  if (g_iDirFd >= 0) {
    ::close(g_iDirFd);
    g_iDirFd = -1;
  }
}

ISteamRemoteStorage* StoreRemoteInterface() { return g_bOpen ? &g_remote : nullptr; }

void StoreSetWriteHook(StoreWriteHook pHook) { g_pWriteHook = pHook; }
