// The game program run as a user starts it, for the tests that watch it from outside: a process whose standard
// output and error come through one pipe, how it ended as text, programs found on PATH, and a virtual X server of
// the test's own. Nothing here waits on a clock, reads block until the other side writes or ends, but for the one
// bounded wait for a process that was told to end (CProcess::endsWithin).
#pragma once

#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

// The user (and group) that CProcess::runUnprivileged starts programs as when the test has root's rights: nobody.
inline constexpr uid_t gc_TEST_UNPRIVILEGED_ID = 65534;

// A program started with its standard output and error on one pipe; killed when dropped while still running.
class CProcess {
 public:
  CProcess() = default;
  CProcess(const CProcess&) = delete;
  CProcess& operator=(const CProcess&) = delete;
  ~CProcess() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_iFd >= 0) close(m_iFd);
  }

  // From here on, when this process has root's rights, start runs programs as the unprivileged user
  // gc_TEST_UNPRIVILEGED_ID (its group alone), so that file modes bind them as they bind a player; without root's
  // rights they run as this process's user anyway. What such a program must reach has to let that user in.
  void runUnprivileged() { m_bUnprivileged = true; }

  // Starts argv[0] in dir with the environment, minus the display variables and those named in added, plus
  // added. With iExtraFd >= 0, that descriptor becomes the child's descriptor 3. With bQuitSignalsBlocked the
  // child starts with SIGINT and SIGTERM blocked, as a launcher may start it: a signal sent at once then waits
  // for the program to take it instead of ending the loading process. A program that cannot be started as the
  // unprivileged user ends with exit code 127.
  bool start(const std::vector<std::string>& argv, const std::string& dir, const std::vector<std::string>& added,
             int iExtraFd = -1, bool bQuitSignalsBlocked = false) {
    std::vector<std::string> env = added;
    for (char** p = environ; *p != nullptr; ++p) {
      const std::string entry = *p;
      const std::string name = entry.substr(0, entry.find('='));
      bool bReplaced = name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "SDL_VIDEODRIVER" ||
                       name == "ASAN_OPTIONS";
      for (const std::string& add : added) bReplaced |= add.compare(0, name.size() + 1, name + "=") == 0;
      if (!bReplaced) env.push_back(entry);
    }
    // Under AddressSanitizer the X and GL client libraries' allocations kept to the end would be reported from
    // the game; exit codes and messages are what is tested.
    env.push_back("ASAN_OPTIONS=detect_leaks=0:allow_user_segv_handler=1");
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args) argp.push_back(arg.data());
    argp.push_back(nullptr);

    int aiPipe[2];
    if (pipe(aiPipe) != 0) return false;
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    int iResult = 0;
    if (m_bUnprivileged && geteuid() == 0) {
      // posix_spawn cannot change the user. The test process has threads: the child makes only async-signal-safe
      // calls up to exec.
      m_pid = fork();
      if (m_pid == 0) {
        const bool bReady = close(aiPipe[0]) == 0 && dup2(aiPipe[1], STDOUT_FILENO) >= 0 &&
                            dup2(aiPipe[1], STDERR_FILENO) >= 0 && (iExtraFd < 0 || dup2(iExtraFd, 3) >= 0) &&
                            chdir(dir.c_str()) == 0 &&
                            (!bQuitSignalsBlocked || sigprocmask(SIG_SETMASK, &blocked, nullptr) == 0) &&
                            setgroups(0, nullptr) == 0 && setgid(gc_TEST_UNPRIVILEGED_ID) == 0 &&
                            setuid(gc_TEST_UNPRIVILEGED_ID) == 0;
        if (bReady) execve(args[0].c_str(), argp.data(), envp.data());
        _exit(127);
      }
      iResult = m_pid < 0 ? errno : 0;
    } else {
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addclose(&actions, aiPipe[0]);
      posix_spawn_file_actions_adddup2(&actions, aiPipe[1], STDOUT_FILENO);
      posix_spawn_file_actions_adddup2(&actions, aiPipe[1], STDERR_FILENO);
      if (iExtraFd >= 0) posix_spawn_file_actions_adddup2(&actions, iExtraFd, 3);
      posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
      posix_spawnattr_t attributes;
      posix_spawnattr_init(&attributes);
      if (bQuitSignalsBlocked) {
        posix_spawnattr_setsigmask(&attributes, &blocked);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
      }
      iResult = posix_spawn(&m_pid, args[0].c_str(), &actions, &attributes, argp.data(), envp.data());
      posix_spawnattr_destroy(&attributes);
      posix_spawn_file_actions_destroy(&actions);
    }
    close(aiPipe[1]);
    m_iFd = aiPipe[0];
    if (iResult != 0) m_pid = 0;
    return iResult == 0;
  }

  // Reads until text is in the output (true) or the output ends (false).
  bool readUntil(const std::string& text) {
    while (m_out.find(text) == std::string::npos) {
      if (!readMore()) return false;
    }
    return true;
  }
  // Reads to the end of the output and answers the exit status as waitpid gives it.
  int finish() {
    while (readMore()) {
    }
    if (m_pid <= 0) return m_iEndedStatus;
    int iStatus = -1;
    rusage usage{};
    if (wait4(m_pid, &iStatus, 0, &usage) == m_pid) m_lMaxResidentKiB = usage.ru_maxrss;
    m_pid = 0;
    return iStatus;
  }
  // Whether the process ends within iMilliseconds, its output read meanwhile (finish then answers how); false when
  // it still runs then. A bound for a process told to end (a signal sent to it), never one on its own progress.
  bool endsWithin(int iMilliseconds) {
    if (m_pid <= 0) return true;
    const int iPidFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    if (iPidFd < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMilliseconds);
    bool bEnded = false;
    while (!bEnded) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd afds[2] = {{iPidFd, POLLIN, 0}, {m_iFd, POLLIN, 0}};
      if (poll(afds, m_iFd >= 0 ? 2 : 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
      bEnded = (afds[0].revents & POLLIN) != 0;
      if ((afds[1].revents & (POLLIN | POLLHUP)) != 0 && !readMore()) {
        close(m_iFd);
        m_iFd = -1;
      }
    }
    close(iPidFd);
    return bEnded;
  }
  // The most memory the process held resident at once, in KiB, once finish has reaped it; -1 before.
  long maxResidentKiB() const { return m_lMaxResidentKiB; }
  // Waits until the process stops (SIGSTOP: true) or ends (false; finish then answers how).
  bool waitStopped() {
    int iStatus = 0;
    if (m_pid <= 0 || waitpid(m_pid, &iStatus, WUNTRACED) != m_pid) return false;
    if (WIFSTOPPED(iStatus)) return true;
    m_iEndedStatus = iStatus;
    m_pid = -1;
    return false;
  }
  // Whether the process has ended (reaped; its status then comes from finish).
  bool hasEnded() {
    if (m_pid <= 0) return true;
    int iStatus = 0;
    if (waitpid(m_pid, &iStatus, WNOHANG) != m_pid) return false;
    m_iEndedStatus = iStatus;
    m_pid = -1;
    return true;
  }
  pid_t pid() const { return m_pid; }
  const std::string& out() const { return m_out; }
  int endedStatus() const { return m_iEndedStatus; }

 private:
  bool readMore() {
    char buffer[4096];
    const ssize_t iRead = m_iFd >= 0 ? read(m_iFd, buffer, sizeof(buffer)) : 0;
    if (iRead <= 0) return false;
    m_out.append(buffer, static_cast<size_t>(iRead));
    return true;
  }
  pid_t m_pid = 0;
  bool m_bUnprivileged = false;
  int m_iFd = -1;
  int m_iEndedStatus = -1;
  long m_lMaxResidentKiB = -1;
  std::string m_out;
};

// How a process ended, as a test message: "exit N" or "signal N".
inline std::string statusText(int iStatus) {
  if (WIFEXITED(iStatus)) return "exit " + std::to_string(WEXITSTATUS(iStatus));
  if (WIFSIGNALED(iStatus)) return "signal " + std::to_string(WTERMSIG(iStatus));
  return "status " + std::to_string(iStatus);
}

// How many times text occurs in out.
inline size_t occurrences(const std::string& out, const std::string& text) {
  size_t uiCount = 0;
  for (size_t uiAt = out.find(text); uiAt != std::string::npos; uiAt = out.find(text, uiAt + text.size())) ++uiCount;
  return uiCount;
}

// Whether the program closed the store in that folder: its database's file alone is left, no log or index beside it.
inline ::testing::AssertionResult storeLeftClosed(const std::string& store) {
  for (const char* pBeside : {"-wal", "-shm"}) {
    if (std::filesystem::exists(store + "/store.db" + pBeside)) {
      return ::testing::AssertionFailure() << "store.db" << pBeside << " is left in " << store;
    }
  }
  return ::testing::AssertionSuccess();
}

// The path of a program on PATH, empty when there is none.
inline std::string onPath(const std::string& name) {
  const char* pPath = std::getenv("PATH");
  std::stringstream folders(pPath != nullptr ? pPath : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + name;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Starts Xvfb on a free display number with one screen of the given size ("1280x720x24"); the number (":N"),
// or an empty string when the server could not start. The server answers once it accepts connections; it does not
// reset when its last client leaves (a reset refuses the connections that come meanwhile).
inline std::string startVirtualXServer(CProcess* pServer, const std::string& dir, const std::string& screen) {
  const std::string xvfb = onPath("Xvfb");
  if (xvfb.empty()) return "";
  int aiDisplayPipe[2];
  if (pipe(aiDisplayPipe) != 0) return "";
  const bool bStarted = pServer->start(
      {xvfb, "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0", screen}, dir, {}, aiDisplayPipe[1]);
  close(aiDisplayPipe[1]);
  std::string number;
  char c = 0;
  while (bStarted && read(aiDisplayPipe[0], &c, 1) == 1 && c != '\n') number += c;
  close(aiDisplayPipe[0]);
  return number.empty() ? "" : ":" + number;
}
