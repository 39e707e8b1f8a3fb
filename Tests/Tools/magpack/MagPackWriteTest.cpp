// "magpack pack" replaces an archive's pair (table of contents and data file) both or neither: when the new pair
// cannot be written whole (no room for one of its files, something other than a file in the place of one), it
// says which file and why (exit 1), the old pair stays byte for byte and loadable, and nothing is left beside it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolWriteTestSupport.h"

namespace {

std::string packLine(const std::string& dir) {
  return KvTestShellQuote(KV_MAGPACK_PATH) + " pack --name S --out " + KvTestShellQuote(dir + "/out") + " --root " +
         KvTestShellQuote(dir + "/root") + " </dev/null";
}

// Three files of 4 KiB each, of the given byte.
void makeThreeFiles(const std::string& dir, char cByte) {
  std::filesystem::create_directories(dir + "/root");
  for (int i = 0; i < 3; ++i) KvTestWriteBytes(dir + "/root/f" + std::to_string(i) + ".bin", std::string(4096, cByte));
}

// No room for one of the new files (the largest file the pack may write), or something in the place of the file the
// failure names; or pipes at the names the pack once wrote the new files under first, which it goes through.
struct SPackFault {
  const char* pName;
  rlim_t uiLimit;
  std::optional<EKvInTheWay> eInTheWay;
  const char* pFile;  // the file the failure names; null when the pack goes through
  const char* pWhy;
};

void PrintTo(const SPackFault& fault, std::ostream* pOut) { *pOut << fault.pName; }

// The new data file (12 KiB) fits in 14000 bytes and its table of 403 entries (17 KiB) does not; neither fits in
// 8000.
const SPackFault gc_aPackFaults[] = {
    {"TableTooLarge", 14000, std::nullopt, "S_win32.mtc", "cannot write the file: File too large"},
    {"DataTooLarge", 8000, std::nullopt, "S_win32.mdf", "cannot write the file: File too large"},
    {"PipeAtTable", RLIM_INFINITY, EKvInTheWay::Pipe, "S_win32.mtc", "cannot be replaced: it is a pipe"},
    {"FolderAtData", RLIM_INFINITY, EKvInTheWay::Folder, "S_win32.mdf", "cannot be replaced: it is a folder"},
    {"LinkAtTable", RLIM_INFINITY, EKvInTheWay::Link, "S_win32.mtc", "cannot be replaced: it is a symlink"},
    {"PipesAtOldPartNames", RLIM_INFINITY, std::nullopt, nullptr, nullptr},
};

class MagPackWrite : public ::testing::TestWithParam<SPackFault> {};

TEST_P(MagPackWrite, ReplacesThePairWholeOrLeavesTheOldOne) {
  const SPackFault& fault = GetParam();
  const std::string dir = KvTestTempDir(std::string("magpack-write-") + fault.pName);
  const std::string out = dir + "/out";
  makeThreeFiles(dir, 'a');
  const SKvToolRun first = KvTestRunTool(packLine(dir));
  ASSERT_EQ(first.iExit, 0) << first.out;
  const std::string oldTable = KvTestFileBytes(out + "/S_win32.mtc");
  const std::string oldData = KvTestFileBytes(out + "/S_win32.mdf");
  ASSERT_EQ(oldData.size(), 3u * 4096);

  // The next pack: other bytes, and entries enough to make the table larger than the data file.
  makeThreeFiles(dir, 'b');
  for (int i = 0; i < 400; ++i) KvTestWriteBytes(dir + "/root/e" + std::to_string(i) + ".txt", "");
  if (fault.eInTheWay) {
    // A link leads to a copy of the old table elsewhere.
    const std::string path = out + "/" + fault.pFile;
    if (*fault.eInTheWay == EKvInTheWay::Link) KvTestWriteBytes(dir + "/table-elsewhere", oldTable);
    ASSERT_EQ(std::remove(path.c_str()), 0);
    ASSERT_TRUE(KvTestPutInTheWay(*fault.eInTheWay, path, "../table-elsewhere")) << std::strerror(errno);
  }
  if (fault.pFile == nullptr) {
    ASSERT_TRUE(KvTestMakeNotAFile(EKvNotAFile::Fifo, out + "/S_win32.mtc.part"));
    ASSERT_TRUE(KvTestMakeNotAFile(EKvNotAFile::Fifo, out + "/S_win32.mdf.part"));
  }
  const std::set<std::string> before = KvTestFolderListing(out);
  const SKvToolRun run = KvTestRunToolWithFileLimit(packLine(dir), fault.uiLimit);
  const SKvToolRun check = KvTestRunTool(KvTestShellQuote(KV_MAGPACK_PATH) + " check --dir " + KvTestShellQuote(out) +
                                         " --name S");

  if (fault.pFile == nullptr) {
    EXPECT_EQ(run.iExit, 0) << run.out;
    EXPECT_EQ(check.iExit, 0) << check.out;
    EXPECT_TRUE(KvTestFileBytes(out + "/S_win32.mdf") != oldData) << "the new data file is not in";
    EXPECT_EQ(KvTestFolderListing(out).size(), 4u);
    EXPECT_EQ(KvTestFolderListing(out).count("S_win32.mtc.part pipe"), 1u);
    return;
  }
  EXPECT_EQ(run.iExit, 1) << run.out;
  EXPECT_EQ(run.out, out + "/" + fault.pFile + ": error: " + fault.pWhy + "\n");
  EXPECT_EQ(KvTestFolderListing(out), before);
  // The old data file is kept unless something else took its place.
  if (!fault.eInTheWay || std::string(fault.pFile) != "S_win32.mdf") {
    EXPECT_TRUE(KvTestFileBytes(out + "/S_win32.mdf") == oldData) << "the old data file was not kept";
  }
  if (!fault.eInTheWay) {
    EXPECT_TRUE(KvTestFileBytes(out + "/S_win32.mtc") == oldTable) << "the old table was not kept";
    EXPECT_EQ(check.iExit, 0) << check.out;
  }
  if (fault.eInTheWay == EKvInTheWay::Link) {
    EXPECT_TRUE(KvTestFileBytes(dir + "/table-elsewhere") == oldTable) << "written through the link";
  }
}

INSTANTIATE_TEST_SUITE_P(EachFault, MagPackWrite, ::testing::ValuesIn(gc_aPackFaults),
                         [](const ::testing::TestParamInfo<SPackFault>& info) {
                           return std::string(info.param.pName);
                         });

}  // namespace
