#include "Platform/Common/PlatformWriteFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int PlatformOpenFileForWriting(const char* pPath, SPlatformFileProblem* pProblem) {
  *pProblem = SPlatformFileProblem{};
  const auto refuse = [pProblem](EPlatformFileProblem eKind, int iErrno) {
    *pProblem = SPlatformFileProblem{eKind, iErrno, 0};
    return -1;
  };
  if (pPath == nullptr || pPath[0] == '\0') return refuse(EPlatformFileProblem::Missing, ENOENT);
  int iFd = -1;
  do {
    iFd = ::open(pPath, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  } while (iFd < 0 && errno == EINTR);
  if (iFd < 0) {
    const int iError = errno;
    switch (iError) {
      case ENOENT:
      case ENOTDIR: return refuse(EPlatformFileProblem::Missing, iError);  // a folder on its way
      case ELOOP: return refuse(EPlatformFileProblem::SymlinkLoop, iError);
      case EISDIR: return refuse(EPlatformFileProblem::Folder, iError);
      case ENXIO:  // a pipe nobody reads, a socket, a device without its driver: named for what it is
      case EOPNOTSUPP: {
        struct stat info {};
        const EPlatformFileProblem eKind =
            ::stat(pPath, &info) == 0 ? PlatformFileKind(info.st_mode) : EPlatformFileProblem::None;
        return refuse(eKind != EPlatformFileProblem::None ? eKind : EPlatformFileProblem::CannotOpen, iError);
      }
      default: return refuse(EPlatformFileProblem::CannotOpen, iError);
    }
  }
  struct stat info {};
  if (::fstat(iFd, &info) != 0) {
    const int iError = errno;
    ::close(iFd);
    return refuse(EPlatformFileProblem::CannotOpen, iError);
  }
  if (!S_ISREG(info.st_mode)) {
    // A pipe that has a reader, or a device that opened: nothing is written to it.
    ::close(iFd);
    return refuse(PlatformFileKind(info.st_mode), 0);
  }
  const int iFlags = ::fcntl(iFd, F_GETFL);
  if (iFlags < 0 || ::fcntl(iFd, F_SETFL, iFlags & ~O_NONBLOCK) != 0 || ::ftruncate(iFd, 0) != 0) {
    const int iError = errno;
    ::close(iFd);
    return refuse(EPlatformFileProblem::CannotOpen, iError);
  }
  return iFd;
}
