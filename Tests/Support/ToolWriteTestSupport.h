// What tests of the tools' writes and refusals share besides the things that are no files (NotAFileTestSupport.h):
// the words the file door says each with, what is put in the place of an output to be replaced, a folder's listing to
// see that nothing was left behind, and a tool run whose files may not grow past a size (a full disk without mounting
// one: SIGXFSZ is ignored, so a write past the limit fails with EFBIG). Header only.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/NotAFileTestSupport.h"

// The words the file door says such a thing is with.
inline const char* KvTestNotAFileWhy(EKvNotAFile eKind) {
  switch (eKind) {
    case EKvNotAFile::Fifo: return "is a pipe";
    case EKvNotAFile::Socket: return "is a socket";
    case EKvNotAFile::EndlessDevice: return "is a character device";
    case EKvNotAFile::SelfLoop:
    case EKvNotAFile::ChainOf60Links: return "is a symlink loop";
    case EKvNotAFile::Folder: return "is a folder";
    case EKvNotAFile::DanglingLink: return "does not exist";
  }
  return "";
}

// What stands in the place of an output a tool is to replace, so that the replacement must be refused.
enum class EKvInTheWay { Pipe, Socket, Link, SelfLoop, Folder };

// Makes the kind at path, where nothing may be; a link points at linkTo (a file that must not be written through).
// False when it cannot be made (errno says why).
inline bool KvTestPutInTheWay(EKvInTheWay eKind, const std::string& path, const std::string& linkTo = "") {
  switch (eKind) {
    case EKvInTheWay::Pipe: return KvTestMakeNotAFile(EKvNotAFile::Fifo, path);
    case EKvInTheWay::Socket: return KvTestMakeNotAFile(EKvNotAFile::Socket, path);
    case EKvInTheWay::Link: return symlink(linkTo.c_str(), path.c_str()) == 0;
    case EKvInTheWay::SelfLoop: return KvTestMakeNotAFile(EKvNotAFile::SelfLoop, path);
    case EKvInTheWay::Folder: return std::filesystem::create_directories(path + "/inside");
  }
  return false;
}

// The names in a folder (not below it), each with its kind as lstat sees it: "name file 12", "name pipe" ...
inline std::set<std::string> KvTestFolderListing(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    struct stat info {};
    if (lstat(entry.path().c_str(), &info) != 0) {
      names.insert(name + " gone");
    } else if (S_ISREG(info.st_mode)) {
      names.insert(name + " file " + std::to_string(info.st_size));
    } else {
      names.insert(name + (S_ISFIFO(info.st_mode)  ? " pipe"
                           : S_ISLNK(info.st_mode) ? " link"
                           : S_ISDIR(info.st_mode) ? " folder"
                                                   : " other"));
    }
  }
  return names;
}

inline void KvTestWriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Runs a shell command line as KvTestRunTool does, with no file it writes allowed past uiMaxFileBytes. The child
// makes only async-signal-safe calls up to exec.
inline SKvToolRun KvTestRunToolWithFileLimit(const std::string& commandLine, rlim_t uiMaxFileBytes) {
  SKvToolRun result;
  int aiPipe[2];
  if (pipe2(aiPipe, O_CLOEXEC) != 0) return result;
  const std::string line = commandLine + " 2>&1";
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit limit = {uiMaxFileBytes, uiMaxFileBytes};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    if (dup2(aiPipe[1], STDOUT_FILENO) >= 0 && setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        sigaction(SIGXFSZ, &ignore, nullptr) == 0) {
      execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  close(aiPipe[1]);
  char buffer[4096];
  for (ssize_t n; (n = read(aiPipe[0], buffer, sizeof(buffer))) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    result.out.append(buffer, static_cast<size_t>(n));
  }
  close(aiPipe[0]);
  int iStatus = 0;
  while (pid > 0 && waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
  }
  result.iExit = pid > 0 && WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
  return result;
}
