// The opening of a file a stand-in writes to: a regular file is made or emptied; anything else in its place is
// refused at once with what it is and left as it was. A pipe nobody reads would hold a plain open for good, so an
// answer at all shows it was not waited on.
#include "Platform/Common/PlatformFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/NotAFileTestSupport.h"

namespace {

namespace fs = std::filesystem;

enum class EInPlace { Nothing, File, Pipe, Socket, Folder, SelfLoop, LinkToFile, MissingFolder };

struct SWriteTarget {
  const char* pName;
  EInPlace eInPlace;
  EPlatformFileProblem eProblem;  // None: opened
};

void PrintTo(const SWriteTarget& target, std::ostream* pOut) { *pOut << target.pName; }

const SWriteTarget gc_aWriteTargets[] = {
    {"Nothing", EInPlace::Nothing, EPlatformFileProblem::None},
    {"RegularFile", EInPlace::File, EPlatformFileProblem::None},
    {"LinkToAFile", EInPlace::LinkToFile, EPlatformFileProblem::None},
    {"Pipe", EInPlace::Pipe, EPlatformFileProblem::Pipe},
    {"Socket", EInPlace::Socket, EPlatformFileProblem::Socket},
    {"Folder", EInPlace::Folder, EPlatformFileProblem::Folder},
    {"SelfLoop", EInPlace::SelfLoop, EPlatformFileProblem::SymlinkLoop},
    {"InAMissingFolder", EInPlace::MissingFolder, EPlatformFileProblem::Missing},
};

class WriteTarget : public ::testing::TestWithParam<SWriteTarget> {};

TEST_P(WriteTarget, IsAnEmptyRegularFileOrRefused) {
  const SWriteTarget& target = GetParam();
  const std::string dir = KvTestTempDir(std::string("WriteTarget") + target.pName);
  std::string path = dir + "/out.bin";
  switch (target.eInPlace) {
    case EInPlace::Nothing: break;
    case EInPlace::File: std::ofstream(path) << "old bytes"; break;
    case EInPlace::LinkToFile:
      std::ofstream(dir + "/target.bin") << "old bytes";
      fs::create_symlink("target.bin", path);
      break;
    case EInPlace::Pipe: ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); break;
    case EInPlace::Socket: ASSERT_TRUE(KvTestMakeNotAFile(EKvNotAFile::Socket, path)); break;
    case EInPlace::Folder: fs::create_directory(path); break;
    case EInPlace::SelfLoop: fs::create_symlink("out.bin", path); break;
    case EInPlace::MissingFolder: path = dir + "/missing/out.bin"; break;
  }
  const fs::file_type eBefore = fs::symlink_status(path).type();
  SPlatformFileProblem problem;
  const int iFd = PlatformOpenFileForWriting(path.c_str(), &problem);
  EXPECT_EQ(problem.eKind, target.eProblem) << PlatformDescribeFileProblem(problem);
  if (target.eProblem == EPlatformFileProblem::None) {
    ASSERT_GE(iFd, 0);
    EXPECT_EQ(::write(iFd, "new", 3), 3);
    ::close(iFd);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
  } else {
    EXPECT_EQ(iFd, -1);
    EXPECT_EQ(fs::symlink_status(path).type(), eBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, WriteTarget, ::testing::ValuesIn(gc_aWriteTargets),
                         [](const ::testing::TestParamInfo<SWriteTarget>& info) {
                           return std::string(info.param.pName);
                         });

}  // namespace
