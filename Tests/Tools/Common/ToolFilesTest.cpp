// How a tool writes a file: whole or not at all. A new file is made beside the target and renamed over it; whatever
// fails, the old output stays byte for byte and nothing is left in the folder. (What is in a target's way, and a
// full disk, are tried through the tools themselves: ToolOutputWriteTest.cpp.)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolWriteTestSupport.h"
#include "Tools/Common/ToolFiles.h"

namespace {

const std::string gc_filesNewBytes = "the new output\n";
const std::string gc_filesOldBytes = "the old output, longer than the new one\n";

bool writeText(const std::string& path, std::string* pWhy) {
  return ToolWriteFile(path, gc_filesNewBytes.data(), gc_filesNewBytes.size(), pWhy);
}

// Writes the new bytes to path in a child process, as a user other than root; the exit status says whether it was
// written and the output is why not.
SKvToolRun writeInChild(const std::string& path) {
  int aiPipe[2];
  SKvToolRun result;
  if (pipe(aiPipe) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    std::string why;
    const bool bWritten = writeText(path, &why);
    if (write(aiPipe[1], why.data(), why.size()) < 0) _exit(3);
    _exit(bWritten ? 0 : 1);
  }
  close(aiPipe[1]);
  char buffer[512];
  for (ssize_t n; (n = read(aiPipe[0], buffer, sizeof(buffer))) > 0;) result.out.append(buffer, size_t(n));
  close(aiPipe[0]);
  int iStatus = 0;
  waitpid(pid, &iStatus, 0);
  result.iExit = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
  return result;
}

// A folder the tool may not write to: the old output stays byte for byte, nothing is beside it, and the reason is the
// system's. A folder that is not there is said the same way.
TEST(ToolWriteFile, AFolderThatTakesNoNewFileKeepsTheOldOutput) {
  const std::string dir = KvTestTempDir("tool-write-folder-not-writable");
  const std::string path = dir + "/out.bin";
  KvTestWriteBytes(path, gc_filesOldBytes);
  ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
  const std::set<std::string> before = KvTestFolderListing(dir);
  const SKvToolRun run = writeInChild(path);
  chmod(dir.c_str(), 0755);
  EXPECT_EQ(run.iExit, 1);
  EXPECT_EQ(run.out, "cannot make a file beside it: Permission denied");
  EXPECT_EQ(KvTestFileBytes(path), gc_filesOldBytes);
  EXPECT_EQ(KvTestFolderListing(dir), before);

  std::string why;
  EXPECT_FALSE(writeText(KvTestTempDir("tool-write-no-folder") + "/none/out.bin", &why));
  EXPECT_EQ(why, "cannot make a file beside it: No such file or directory");
}

// A pair of files goes in both or neither: when the second cannot be replaced, the first gets its old bytes back
// (or is gone again when it was not there), and nothing else is left.
TEST(ToolPutPairInPlace, PutsBothInOrLeavesBothAsTheyWere) {
  for (const bool bFirstWasThere : {true, false}) {
    SCOPED_TRACE(bFirstWasThere ? "first target there" : "first target new");
    const std::string dir = KvTestTempDir(std::string("tool-pair-") + (bFirstWasThere ? "there" : "new"));
    const std::string first = dir + "/A.mdf";
    const std::string second = dir + "/A.mtc";
    if (bFirstWasThere) KvTestWriteBytes(first, gc_filesOldBytes);
    // A folder that holds something cannot be replaced by a rename.
    ASSERT_TRUE(std::filesystem::create_directories(second + "/inside"));
    const std::set<std::string> before = KvTestFolderListing(dir);
    std::string firstNew;
    std::string secondNew;
    std::string why;
    ASSERT_TRUE(ToolMakeNewFile(first, "1234", 4, &firstNew, &why)) << why;
    ASSERT_TRUE(ToolMakeNewFile(second, "56", 2, &secondNew, &why)) << why;
    std::string failed;
    EXPECT_FALSE(ToolPutPairInPlace(firstNew, first, secondNew, second, &failed, &why));
    EXPECT_EQ(failed, second);
    EXPECT_EQ(why.rfind("cannot be replaced: ", 0), 0u) << why;
    EXPECT_EQ(KvTestFolderListing(dir), before);
    if (bFirstWasThere) {
      EXPECT_EQ(KvTestFileBytes(first), gc_filesOldBytes);
    }

    std::filesystem::remove_all(second);
    ASSERT_TRUE(ToolMakeNewFile(first, "1234", 4, &firstNew, &why)) << why;
    ASSERT_TRUE(ToolMakeNewFile(second, "56", 2, &secondNew, &why)) << why;
    EXPECT_TRUE(ToolPutPairInPlace(firstNew, first, secondNew, second, &failed, &why)) << why;
    EXPECT_EQ(KvTestFolderListing(dir), (std::set<std::string>{"A.mdf file 4", "A.mtc file 2"}));
  }
}

// What is checked is the new file as read back, before it replaces anything: a refusal keeps the old output.
TEST(ToolWriteChecked, ARefusalOfWhatWasWrittenKeepsTheOldOutput) {
  const std::string dir = KvTestTempDir("tool-write-checked");
  const std::string path = dir + "/out.bin";
  KvTestWriteBytes(path, gc_filesOldBytes);
  int iChecks = 0;
  const auto secondCheckRefuses = [&iChecks](const std::vector<unsigned char>&, std::string* pProblem) {
    *pProblem = "refused";
    return ++iChecks == 1;
  };
  const std::vector<unsigned char> bytes(gc_filesNewBytes.begin(), gc_filesNewBytes.end());
  std::string problem;
  EXPECT_FALSE(ToolWriteChecked(path, bytes, secondCheckRefuses, &problem));
  EXPECT_EQ(problem, path + ": the engine refuses what was written: refused");
  EXPECT_EQ(iChecks, 2);
  EXPECT_EQ(KvTestFileBytes(path), gc_filesOldBytes);
  EXPECT_EQ(KvTestFolderListing(dir), std::set<std::string>{"out.bin file 40"});
}

}  // namespace
