// How a tool writes a file: whole or not at all. A new file is made beside the target and renamed over it, so
// nothing already there is opened, followed or waited on; whatever fails, the old output stays byte for byte and
// nothing is left in the folder.
#include <gtest/gtest.h>
#include <sys/resource.h>
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

// What may be at the target; each but a regular file is left as it is and the write refused, saying what it is.
struct SAtTarget {
  const char* pName;
  bool bOldFile;             // else pKind's thing
  EKvTestNotAFile eKind;
  const char* pWhy;          // null when the write goes through
};

void PrintTo(const SAtTarget& atTarget, std::ostream* pOut) { *pOut << atTarget.pName; }

const SAtTarget gc_aAtTarget[] = {
    {"OldFile", true, EKvTestNotAFile::Pipe, nullptr},
    {"Pipe", false, EKvTestNotAFile::Pipe, "cannot be replaced: it is a pipe"},
    {"Socket", false, EKvTestNotAFile::Socket, "cannot be replaced: it is a socket"},
    {"LinkToDevNull", false, EKvTestNotAFile::LinkToDevNull, "cannot be replaced: it is a symlink"},
    {"SymlinkLoop", false, EKvTestNotAFile::SymlinkLoop, "cannot be replaced: it is a symlink"},
    {"Folder", false, EKvTestNotAFile::Folder, "cannot be replaced: it is a folder"},
};

class ToolWriteAtTarget : public ::testing::TestWithParam<SAtTarget> {};

TEST_P(ToolWriteAtTarget, ReplacesOnlyARegularFileAndLeavesAnythingElseAsItIs) {
  const SAtTarget& atTarget = GetParam();
  const std::string dir = KvTestTempDir(std::string("tool-write-at-") + atTarget.pName);
  const std::string path = dir + "/out.bin";
  if (atTarget.bOldFile) {
    KvTestWriteBytes(path, gc_filesOldBytes);
  } else {
    ASSERT_TRUE(KvTestMakeNotAFile(atTarget.eKind, path)) << std::strerror(errno);
  }
  const std::set<std::string> before = KvTestFolderListing(dir);

  std::string why;
  const bool bWritten = writeText(path, &why);
  if (atTarget.pWhy == nullptr) {
    EXPECT_TRUE(bWritten) << why;
    EXPECT_EQ(KvTestFileBytes(path), gc_filesNewBytes);
    EXPECT_EQ(KvTestFolderListing(dir), std::set<std::string>{"out.bin file 15"});
  } else {
    EXPECT_FALSE(bWritten);
    EXPECT_EQ(why, atTarget.pWhy);
    EXPECT_EQ(KvTestFolderListing(dir), before);
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, ToolWriteAtTarget, ::testing::ValuesIn(gc_aAtTarget),
                         [](const ::testing::TestParamInfo<SAtTarget>& info) { return std::string(info.param.pName); });

// A link at the target is not written through: the file it leads to keeps its bytes.
TEST(ToolWriteFile, DoesNotWriteThroughALinkAtTheTarget) {
  const std::string dir = KvTestTempDir("tool-write-through-link");
  KvTestWriteBytes(dir + "/victim.txt", gc_filesOldBytes);
  ASSERT_EQ(symlink("victim.txt", (dir + "/out.bin").c_str()), 0);
  std::string why;
  EXPECT_FALSE(writeText(dir + "/out.bin", &why));
  EXPECT_EQ(why, "cannot be replaced: it is a symlink");
  EXPECT_EQ(KvTestFileBytes(dir + "/victim.txt"), gc_filesOldBytes);
}

// The names tools once wrote through ("<output>.tmp", "<output>.part") are nothing to a write now: a pipe there is
// not waited on, a link there not written through, and both stay.
TEST(ToolWriteFile, ThingsAtTheOldFixedTemporaryNamesAreLeftAlone) {
  const std::string dir = KvTestTempDir("tool-write-old-temporary");
  const std::string path = dir + "/out.bin";
  ASSERT_TRUE(KvTestMakeNotAFile(EKvTestNotAFile::Pipe, path + ".tmp"));
  KvTestWriteBytes(dir + "/victim.txt", gc_filesOldBytes);
  ASSERT_EQ(symlink("victim.txt", (path + ".part").c_str()), 0);
  std::string why;
  EXPECT_TRUE(writeText(path, &why)) << why;
  EXPECT_EQ(KvTestFileBytes(path), gc_filesNewBytes);
  EXPECT_EQ(KvTestFileBytes(dir + "/victim.txt"), gc_filesOldBytes);
  EXPECT_EQ(KvTestFolderListing(dir), (std::set<std::string>{"out.bin file 15", "out.bin.part link", "out.bin.tmp pipe",
                                                             "victim.txt file 40"}));
}

// Writes the new bytes to path in a child process, with no file allowed past uiMaxBytes and, when bUnprivileged,
// as a user other than root; the exit status says whether it was written and the output is why not.
SKvToolRun writeInChild(const std::string& path, rlim_t uiMaxBytes, bool bUnprivileged) {
  int aiPipe[2];
  SKvToolRun result;
  if (pipe(aiPipe) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit limit = {uiMaxBytes, uiMaxBytes};
    signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
    if (bUnprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
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

// A write that fails leaves the old output byte for byte and nothing beside it, and says the system's reason.
TEST(ToolWriteFile, AFailedWriteKeepsTheOldOutputAndLeavesNothing) {
  const struct {
    const char* pName;
    rlim_t uiMaxBytes;
    bool bReadOnlyFolder;
    const char* pWhy;
  } aCases[] = {
      {"FileTooLarge", 8, false, "cannot write the file: File too large"},
      {"FolderNotWritable", RLIM_INFINITY, true, "cannot make a file beside it: Permission denied"},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.pName);
    const std::string dir = KvTestTempDir(std::string("tool-write-fails-") + c.pName);
    const std::string path = dir + "/out.bin";
    KvTestWriteBytes(path, gc_filesOldBytes);
    if (c.bReadOnlyFolder) {
      ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    }
    const std::set<std::string> before = KvTestFolderListing(dir);
    const SKvToolRun run = writeInChild(path, c.uiMaxBytes, c.bReadOnlyFolder);
    chmod(dir.c_str(), 0755);
    EXPECT_EQ(run.iExit, 1);
    EXPECT_EQ(run.out, c.pWhy);
    EXPECT_EQ(KvTestFileBytes(path), gc_filesOldBytes);
    EXPECT_EQ(KvTestFolderListing(dir), before);
  }
  std::string why;
  EXPECT_FALSE(writeText(KvTestTempDir("tool-write-fails-no-folder") + "/none/out.bin", &why));
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
