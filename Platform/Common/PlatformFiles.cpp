#include "Platform/Common/PlatformFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

int refuse(SPlatformFileProblem* pProblem, EPlatformFileProblem eKind, int iErrno = 0) {
  *pProblem = SPlatformFileProblem{eKind, iErrno, 0};
  return -1;
}

EPlatformFileProblem kindOf(const struct stat& info) { return PlatformFileKind(info.st_mode); }

// The ending of every open: iFd is kept, with reads and writes blocking as usual again, when it is a regular file;
// closed and refused otherwise.
int keepIfRegular(int iFd, SPlatformFileProblem* pProblem) {
  struct stat info {};
  if (::fstat(iFd, &info) != 0) {
    const int iError = errno;
    ::close(iFd);
    return refuse(pProblem, EPlatformFileProblem::CannotOpen, iError);
  }
  if (kindOf(info) != EPlatformFileProblem::None) {
    ::close(iFd);
    return refuse(pProblem, kindOf(info));
  }
  const int iFlags = ::fcntl(iFd, F_GETFL);
  if (iFlags < 0 || ::fcntl(iFd, F_SETFL, iFlags & ~O_NONBLOCK) != 0) {
    const int iError = errno;
    ::close(iFd);
    return refuse(pProblem, EPlatformFileProblem::CannotOpen, iError);
  }
  return iFd;
}

}  // namespace

EPlatformFileProblem PlatformFileKind(unsigned int uiMode) {
  if (S_ISREG(uiMode)) return EPlatformFileProblem::None;
  if (S_ISDIR(uiMode)) return EPlatformFileProblem::Folder;
  if (S_ISFIFO(uiMode)) return EPlatformFileProblem::Pipe;
  if (S_ISSOCK(uiMode)) return EPlatformFileProblem::Socket;
  if (S_ISBLK(uiMode)) return EPlatformFileProblem::BlockDevice;
  // A character device, or a kind this system does not name (a link is never seen here: it is followed first).
  return EPlatformFileProblem::CharacterDevice;
}

int PlatformOpenRegularFile(const char* pPath, SPlatformFileProblem* pProblem, int iDirFd) {
  *pProblem = SPlatformFileProblem{};
  if (pPath == nullptr || pPath[0] == '\0') return refuse(pProblem, EPlatformFileProblem::Missing, ENOENT);
  int iFd = -1;
  do {
    iFd = ::openat(iDirFd, pPath, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (iFd < 0 && errno == EINTR);
  if (iFd < 0) {
    const int iError = errno;
    if (iError == ENOENT || iError == ENOTDIR) return refuse(pProblem, EPlatformFileProblem::Missing, iError);
    if (iError == ELOOP) return refuse(pProblem, EPlatformFileProblem::SymlinkLoop, iError);
    // A socket, or a device without its driver, cannot be opened at all: it is refused for what it is.
    struct stat info {};
    if (::fstatat(iDirFd, pPath, &info, 0) == 0 && kindOf(info) != EPlatformFileProblem::None) {
      return refuse(pProblem, kindOf(info), iError);
    }
    return refuse(pProblem, EPlatformFileProblem::CannotOpen, iError);
  }
  return keepIfRegular(iFd, pProblem);
}

int PlatformOpenFileForWriting(const char* pPath, SPlatformFileProblem* pProblem) {
  *pProblem = SPlatformFileProblem{};
  if (pPath == nullptr || pPath[0] == '\0') return refuse(pProblem, EPlatformFileProblem::Missing, ENOENT);
  int iFd = -1;
  do {
    iFd = ::open(pPath, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  } while (iFd < 0 && errno == EINTR);
  if (iFd < 0) {
    const int iError = errno;
    switch (iError) {
      case ENOENT:
      case ENOTDIR: return refuse(pProblem, EPlatformFileProblem::Missing, iError);  // a folder on its way
      case ELOOP: return refuse(pProblem, EPlatformFileProblem::SymlinkLoop, iError);
      case EISDIR: return refuse(pProblem, EPlatformFileProblem::Folder, iError);
      case ENXIO:  // a pipe nobody reads, a socket, a device without its driver: named for what it is
      case EOPNOTSUPP: {
        struct stat info {};
        const EPlatformFileProblem eKind = ::stat(pPath, &info) == 0 ? kindOf(info) : EPlatformFileProblem::None;
        return refuse(pProblem, eKind != EPlatformFileProblem::None ? eKind : EPlatformFileProblem::CannotOpen,
                      iError);
      }
      default: return refuse(pProblem, EPlatformFileProblem::CannotOpen, iError);
    }
  }
  // A pipe that has a reader, or a device that opened, is refused here: nothing is written to it.
  iFd = keepIfRegular(iFd, pProblem);
  if (iFd >= 0 && ::ftruncate(iFd, 0) != 0) {
    const int iError = errno;
    ::close(iFd);
    return refuse(pProblem, EPlatformFileProblem::CannotOpen, iError);
  }
  return iFd;
}

std::string PlatformDescribeFileProblem(const SPlatformFileProblem& problem) {
  switch (problem.eKind) {
    case EPlatformFileProblem::None: return "can be read";
    case EPlatformFileProblem::Missing: return "does not exist";
    case EPlatformFileProblem::Folder: return "is a folder";
    case EPlatformFileProblem::SymlinkLoop: return "is a symlink loop";
    case EPlatformFileProblem::Pipe: return "is a pipe";
    case EPlatformFileProblem::Socket: return "is a socket";
    case EPlatformFileProblem::CharacterDevice: return "is a character device";
    case EPlatformFileProblem::BlockDevice: return "is a block device";
    case EPlatformFileProblem::CannotOpen: return std::string("cannot be opened: ") + std::strerror(problem.iErrno);
    case EPlatformFileProblem::CannotRead: return std::string("cannot be read: ") + std::strerror(problem.iErrno);
    case EPlatformFileProblem::TooLarge: return "is larger than " + std::to_string(problem.uiLimit) + " bytes";
  }
  return "cannot be read";
}

bool PlatformReadRegularFile(const std::string& path, std::size_t uiMaxBytes, std::string* pBytes,
                             SPlatformFileProblem* pProblem) {
  pBytes->clear();
  const int iFd = PlatformOpenRegularFile(path.c_str(), pProblem);
  if (iFd < 0) return false;
  const auto fail = [&](EPlatformFileProblem eKind, int iErrno) {
    ::close(iFd);
    pBytes->clear();
    pBytes->shrink_to_fit();
    *pProblem = SPlatformFileProblem{eKind, iErrno, uiMaxBytes};
    return false;
  };
  struct stat info {};
  if (::fstat(iFd, &info) != 0) return fail(EPlatformFileProblem::CannotRead, errno);
  if (static_cast<unsigned long long>(info.st_size) > uiMaxBytes) return fail(EPlatformFileProblem::TooLarge, 0);
  // The size is where reading starts, not a promise: a file that grows meanwhile is read on, up to the bound.
  pBytes->resize(static_cast<std::size_t>(info.st_size));
  std::size_t uiRead = 0;
  for (;;) {
    if (uiRead == pBytes->size()) {
      if (uiRead > uiMaxBytes) return fail(EPlatformFileProblem::TooLarge, 0);
      pBytes->resize(uiRead + 4096);
    }
    const ssize_t iGot = ::read(iFd, pBytes->data() + uiRead, pBytes->size() - uiRead);
    if (iGot < 0 && errno == EINTR) continue;
    if (iGot < 0) return fail(EPlatformFileProblem::CannotRead, errno);
    if (iGot == 0) break;
    uiRead += static_cast<std::size_t>(iGot);
  }
  if (uiRead > uiMaxBytes) return fail(EPlatformFileProblem::TooLarge, 0);
  pBytes->resize(uiRead);
  ::close(iFd);
  return true;
}
