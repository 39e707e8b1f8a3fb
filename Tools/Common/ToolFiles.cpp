#include "Tools/Common/ToolFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "Platform/Common/PlatformFiles.h"

namespace {

std::string systemText(int iErrno) { return std::strerror(iErrno); }

// Removes a file this tool made, keeping errno as the failure that led here left it.
void removeMade(const std::string& path) {
  const int iSaved = errno;
  ::unlink(path.c_str());
  errno = iSaved;
}

}  // namespace

bool ToolReadFile(const std::string& path, std::string* pBytes, std::string* pWhy, size_t uiMaxBytes) {
  SPlatformFileProblem problem;
  if (PlatformReadRegularFile(path, uiMaxBytes, pBytes, &problem)) return true;
  if (pWhy != nullptr) *pWhy = PlatformDescribeFileProblem(problem);
  return false;
}

bool ToolReadInput(const std::string& path, std::string* pBytes, std::string* pError) {
  std::string why;
  if (ToolReadFile(path, pBytes, &why)) return true;
  *pError = path + ": error: cannot open the file (it " + why + ")";
  return false;
}

std::string ToolWhyNotReplaceable(const std::string& target) {
  struct stat info {};
  if (::lstat(target.c_str(), &info) != 0) {
    // Nothing there; a folder on the way that is missing or cannot be searched is said by the creation.
    return "";
  }
  if (S_ISLNK(info.st_mode)) return "cannot be replaced: it is a symlink";
  const EPlatformFileProblem eKind = PlatformFileKind(info.st_mode);
  if (eKind == EPlatformFileProblem::None) return "";
  return "cannot be replaced: it " + PlatformDescribeFileProblem(SPlatformFileProblem{eKind, 0, 0});
}

std::string ToolNameBeside(const std::string& target) {
  // Hidden, and told apart by the process and a random number: a name someone placed in advance (a pipe, a link)
  // only makes the exclusive creation try another.
  static std::mt19937 s_random{std::random_device{}()};
  const size_t uiSlash = target.find_last_of('/');
  const std::string folder = uiSlash == std::string::npos ? "" : target.substr(0, uiSlash + 1);
  const std::string name = uiSlash == std::string::npos ? target : target.substr(uiSlash + 1);
  return folder + "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(s_random() % 1000000) + ".new";
}

int ToolCreateNewFile(const std::string& target, std::string* pNewPath, std::string* pWhy) {
  for (int iTry = 0; iTry < 100; ++iTry) {
    const std::string candidate = ToolNameBeside(target);
    int iFd = -1;
    do {
      iFd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    } while (iFd < 0 && errno == EINTR);
    if (iFd >= 0) {
      *pNewPath = candidate;
      return iFd;
    }
    if (errno != EEXIST) {
      *pWhy = "cannot make a file beside it: " + systemText(errno);
      return -1;
    }
  }
  *pWhy = "cannot make a file beside it: every name tried was taken";
  return -1;
}

bool ToolWriteAll(int iFd, const void* pData, size_t uiSize, std::string* pWhy) {
  const char* pBytes = static_cast<const char*>(pData);
  size_t uiDone = 0;
  while (uiDone < uiSize) {
    const ssize_t iWritten = ::write(iFd, pBytes + uiDone, uiSize - uiDone);
    if (iWritten < 0 && errno == EINTR) continue;
    if (iWritten <= 0) {
      // A write that takes nothing and says nothing is a full disk.
      *pWhy = "cannot write the file: " + systemText(iWritten < 0 ? errno : ENOSPC);
      return false;
    }
    uiDone += static_cast<size_t>(iWritten);
  }
  return true;
}

bool ToolFinishNewFile(int iFd, const std::string& newPath, bool bWritten, std::string* pWhy) {
  bool bGood = bWritten;
  if (bGood && ::fsync(iFd) != 0) {
    *pWhy = "cannot write the file: " + systemText(errno);
    bGood = false;
  }
  // A failed close may be a write the system deferred; it is not retried (the descriptor is gone either way).
  if (::close(iFd) != 0 && bGood && errno != EINTR) {
    *pWhy = "cannot write the file: " + systemText(errno);
    bGood = false;
  }
  if (!bGood) removeMade(newPath);
  return bGood;
}

bool ToolMakeNewFile(const std::string& target, const void* pData, size_t uiSize, std::string* pNewPath,
                     std::string* pWhy) {
  const int iFd = ToolCreateNewFile(target, pNewPath, pWhy);
  if (iFd < 0) return false;
  const bool bWritten = ToolWriteAll(iFd, pData, uiSize, pWhy);
  return ToolFinishNewFile(iFd, *pNewPath, bWritten, pWhy);
}

bool ToolPutInPlace(const std::string& newPath, const std::string& target, std::string* pWhy) {
  if (::rename(newPath.c_str(), target.c_str()) == 0) return true;
  *pWhy = "cannot be replaced: " + systemText(errno);
  removeMade(newPath);
  return false;
}

bool ToolPutPairInPlace(const std::string& firstNew, const std::string& firstTarget, const std::string& secondNew,
                        const std::string& secondTarget, std::string* pFailed, std::string* pWhy) {
  const auto fail = [&](const std::string& why) {
    *pFailed = firstTarget;
    *pWhy = why;
    removeMade(firstNew);
    removeMade(secondNew);
    return false;
  };
  // The first target's old file, kept by a second name while the pair is swapped.
  std::string kept;
  struct stat info {};
  if (::lstat(firstTarget.c_str(), &info) == 0) {
    bool bKept = false;
    for (int iTry = 0; iTry < 100 && !bKept; ++iTry) {
      kept = ToolNameBeside(firstTarget);
      bKept = ::link(firstTarget.c_str(), kept.c_str()) == 0;
      if (!bKept && errno != EEXIST) {
        return fail("cannot keep the old file while the new one goes in: " + systemText(errno));
      }
    }
    if (!bKept) return fail("cannot keep the old file while the new one goes in: every name tried was taken");
  }
  if (::rename(firstNew.c_str(), firstTarget.c_str()) != 0) {
    const std::string why = "cannot be replaced: " + systemText(errno);
    if (!kept.empty()) removeMade(kept);
    return fail(why);
  }
  if (::rename(secondNew.c_str(), secondTarget.c_str()) != 0) {
    std::string why = "cannot be replaced: " + systemText(errno);
    // The first target back as it was: its old file, or nothing when there was none.
    const bool bBack = kept.empty() ? ::unlink(firstTarget.c_str()) == 0
                                    : ::rename(kept.c_str(), firstTarget.c_str()) == 0;
    if (!bBack) {
      why += "; and " + firstTarget + " cannot be put back: " + systemText(errno) +
             (kept.empty() ? "" : " (the old file is " + kept + ")");
    }
    *pFailed = secondTarget;
    *pWhy = why;
    removeMade(secondNew);
    return false;
  }
  if (!kept.empty()) ::unlink(kept.c_str());
  return true;
}

bool ToolWriteFile(const std::string& path, const void* pData, size_t uiSize, std::string* pWhy) {
  std::string why = ToolWhyNotReplaceable(path);
  std::string newPath;
  const bool bWritten = why.empty() && ToolMakeNewFile(path, pData, uiSize, &newPath, &why) &&
                        ToolPutInPlace(newPath, path, &why);
  if (!bWritten && pWhy != nullptr) *pWhy = why;
  return bWritten;
}
