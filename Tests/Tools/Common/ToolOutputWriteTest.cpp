// Every kind of tool output is written whole or not at all: with something other than a file in its place (a link
// is not written through), a pipe at the name tools once wrote through, or no room for it, the tool says so (exit
// 1, "<file>: error: <why>"), the old output stays byte for byte and nothing is left in its folder; nothing is
// waited on or written through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolWriteTestSupport.h"

namespace {

const std::string gc_outputOldBytes = "an output of an earlier run\n";

// A command that writes an output named pTarget in the folder out (its line's OUT is that file); its inputs are
// made in the folder first.
struct SWritingCommand {
  const char* pName;
  const char* pTarget;
  void (*makeInputs)(const std::string& dir);
  std::string (*line)(const std::string& dir, const std::string& out);
  bool bFirstOutput;  // the output is the first file it writes (a size limit reaches it first)
};

void PrintTo(const SWritingCommand& command, std::ostream* pOut) { *pOut << command.pName; }

std::string quoted(const std::string& word) { return KvTestShellQuote(word); }

void makeArchiveInputs(const std::string& dir) {
  std::filesystem::create_directories(dir + "/root");
  KvTestWriteBytes(dir + "/root/a.txt", "the entry's bytes\n");
  const SKvToolRun packed = KvTestRunTool(quoted(KV_MAGPACK_PATH) + " pack --quiet --name S --out " +
                                          quoted(dir + "/archive") + " --root " + quoted(dir + "/root"));
  EXPECT_EQ(packed.iExit, 0) << packed.out;
}

// A 2 x 2 uncompressed true-colour image with alpha.
void makeImageFolder(const std::string& dir) {
  std::filesystem::create_directories(dir + "/images");
  std::string image(18, '\0');
  image[2] = 2;
  image[12] = 2;
  image[14] = 2;
  image[16] = 32;
  image[17] = 8;
  for (int i = 0; i < 4; ++i) image += std::string("\x10\x20\x30\xff", 4);
  KvTestWriteBytes(dir + "/images/Square.tga", image);
}

const SWritingCommand gc_aWritingCommands[] = {
    {"KdscCompile", "result", [](const std::string& dir) { KvTestWriteBytes(dir + "/in.kdt", "A = 1\n"); },
     [](const std::string& dir, const std::string& out) {
       return quoted(KV_KDSC_PATH) + " -o " + quoted(out) + " " + quoted(dir + "/in.kdt");
     },
     true},
    {"LangcCompile", "result", [](const std::string& dir) { KvTestWriteBytes(dir + "/in.txt", "KEY = a text\n"); },
     [](const std::string& dir, const std::string& out) {
       return quoted(KV_LANGC_PATH) + " " + quoted(dir + "/in.txt") + " " + quoted(out);
     },
     true},
    {"MagpackExtract", "result", makeArchiveInputs,
     [](const std::string& dir, const std::string& out) {
       return quoted(KV_MAGPACK_PATH) + " extract --dir " + quoted(dir + "/archive") +
              " --name S --path a.txt --out " + quoted(out);
     },
     true},
    {"MagpackDepfile", "result", makeArchiveInputs,
     [](const std::string& dir, const std::string& out) {
       return quoted(KV_MAGPACK_PATH) + " pack --quiet --name S --out " + quoted(dir + "/archive") + " --root " +
              quoted(dir + "/root") + " --depfile " + quoted(out);
     },
     false},
    {"KuicCompile", "result.kui",
     [](const std::string& dir) { KvTestWriteBytes(dir + "/in.json", R"({"root": {"name": "Root"}})"); },
     [](const std::string& dir, const std::string& out) {
       return quoted(KV_KUIC_PATH) + " -o " + quoted(out) + " " + quoted(dir + "/in.json");
     },
     true},
    {"SbankcSynth", "result.wav",
     [](const std::string& dir) {
       KvTestWriteBytes(dir + "/in.json", R"({"sounds": [{"file": "result.wav", "rate": 8000, "channels": 1,
           "seconds": 0.1, "layers": [{"wave": "sine", "frequency": 300}]}]})");
     },
     [](const std::string& dir, const std::string& out) {
       return quoted(KV_SBANKC_PATH) + " synth --in " + quoted(dir + "/in.json") + " --out " +
              quoted(std::filesystem::path(out).parent_path().string());
     },
     true},
    {"AtlascPackImage", "result_0.png", makeImageFolder,
     [](const std::string& dir, const std::string& out) {
       return quoted(KV_ATLASC_PATH) + " pack " + quoted(dir + "/images") + " -o " +
              quoted(std::filesystem::path(out).parent_path().string()) + " --base result";
     },
     true},
};

class ToolOutputWrite : public ::testing::TestWithParam<SWritingCommand> {};

TEST_P(ToolOutputWrite, IsWholeOrNotAtAll) {
  const SWritingCommand& command = GetParam();
  // Something in the output's place, or (none there) an old output beside a pipe at its old temporary name, which the
  // write goes through (no why), or beside no room for the new one.
  const struct {
    const char* pName;
    std::optional<EKvInTheWay> eAtTarget;
    const char* pWhy;  // null when the write goes through
  } aCases[] = {
      {"PipeAtTarget", EKvInTheWay::Pipe, "cannot be replaced: it is a pipe"},
      {"SocketAtTarget", EKvInTheWay::Socket, "cannot be replaced: it is a socket"},
      {"LinkAtTarget", EKvInTheWay::Link, "cannot be replaced: it is a symlink"},
      {"LoopAtTarget", EKvInTheWay::SelfLoop, "cannot be replaced: it is a symlink"},
      {"FolderAtTarget", EKvInTheWay::Folder, "cannot be replaced: it is a folder"},
      {"PipeAtOldTemporary", std::nullopt, nullptr},
      {"FileTooLarge", std::nullopt, "cannot write the file: File too large"},
  };
  for (const auto& c : aCases) {
    const bool bTooLarge = !c.eAtTarget && c.pWhy != nullptr;
    if (bTooLarge && !command.bFirstOutput) continue;
    SCOPED_TRACE(c.pName);
    const std::string dir = KvTestTempDir(std::string("tool-output-") + command.pName + "-" + c.pName);
    command.makeInputs(dir);
    const std::string out = dir + "/out/" + command.pTarget;
    std::filesystem::create_directories(dir + "/out");
    KvTestWriteBytes(dir + "/victim", gc_outputOldBytes);
    if (c.eAtTarget) {
      ASSERT_TRUE(KvTestPutInTheWay(*c.eAtTarget, out, "../victim")) << std::strerror(errno);
    } else {
      KvTestWriteBytes(out, gc_outputOldBytes);
    }
    if (c.pWhy == nullptr) {
      ASSERT_TRUE(KvTestMakeNotAFile(EKvNotAFile::Fifo, out + ".tmp"));
    }
    const std::set<std::string> before = KvTestFolderListing(dir + "/out");
    const std::string line = command.line(dir, out) + " </dev/null";
    const SKvToolRun run = bTooLarge ? KvTestRunToolWithFileLimit(line, 2) : KvTestRunTool(line);
    EXPECT_EQ(KvTestFileBytes(dir + "/victim"), gc_outputOldBytes);
    if (c.pWhy == nullptr) {
      EXPECT_EQ(run.iExit, 0) << run.out;
      EXPECT_NE(KvTestFileBytes(out), gc_outputOldBytes);
      // The pipe is left alone, and no new file is left beside the output.
      const std::set<std::string> after = KvTestFolderListing(dir + "/out");
      EXPECT_EQ(after.count(std::string(command.pTarget) + ".tmp pipe"), 1u);
      EXPECT_TRUE(std::none_of(after.begin(), after.end(), [](const std::string& name) { return name[0] == '.'; }));
      continue;
    }
    EXPECT_EQ(run.iExit, 1) << run.out;
    // The file and why, on a line of the tool's own or after the input that asked for it.
    const bool bSaid = run.out.find(out + ": error: " + c.pWhy + "\n") != std::string::npos ||
                       run.out.find("cannot write " + out + ": " + c.pWhy + "\n") != std::string::npos;
    EXPECT_TRUE(bSaid) << run.out;
    EXPECT_EQ(KvTestFolderListing(dir + "/out"), before);
    if (bTooLarge) {
      EXPECT_EQ(KvTestFileBytes(out), gc_outputOldBytes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachCommand, ToolOutputWrite, ::testing::ValuesIn(gc_aWritingCommands),
                         [](const ::testing::TestParamInfo<SWritingCommand>& info) {
                           return std::string(info.param.pName);
                         });

}  // namespace
