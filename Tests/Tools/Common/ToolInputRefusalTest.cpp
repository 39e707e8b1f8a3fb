// Every tool command that reads a compiled file refuses what is no file at once, naming the file and what it is:
// a pipe without a writer is not waited on, a device not read.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolWriteTestSupport.h"

namespace {

struct SReadingCommand {
  const char* pName;
  const char* pTool;
  const char* pBefore;  // the words before the file
  const char* pFile;    // the file's name (some commands go by its extension)
};

void PrintTo(const SReadingCommand& command, std::ostream* pOut) { *pOut << command.pName; }

const SReadingCommand gc_aReadingCommands[] = {
    {"FontcDump", KV_FONTC_PATH, "dump", "x.kff"},
    {"KdscCheck", KV_KDSC_PATH, "--check", "x.kds"},
    {"KdscDump", KV_KDSC_PATH, "--dump", "x.kds"},
    {"KuicDump", KV_KUIC_PATH, "--dump", "x.kui"},
    {"SbankcDump", KV_SBANKC_PATH, "dump", "x.ksb"},
    {"SbankcDumpTrack", KV_SBANKC_PATH, "dump-track", "x.ktd"},
    {"FxocDump", KV_FXOC_PATH, "--dump", "x.fxo"},
    {"AtlascCheck", KV_ATLASC_PATH, "check", "x.atf"},
    {"AtlascList", KV_ATLASC_PATH, "list", "x.atf"},
    {"Uicalls", KV_UICALLS_PATH, "", "x.kui"},
};

// A chain of links past the system's limit ends at a regular file, and is refused as a loop is.
const EKvNotAFile gc_aNotFiles[] = {EKvNotAFile::Fifo,     EKvNotAFile::Socket, EKvNotAFile::EndlessDevice,
                                    EKvNotAFile::SelfLoop, EKvNotAFile::Folder, EKvNotAFile::ChainOf60Links};

class ToolInputRefusal : public ::testing::TestWithParam<SReadingCommand> {};

TEST_P(ToolInputRefusal, SaysWhatTheFileIsInsteadOfAFile) {
  const SReadingCommand& command = GetParam();
  for (const EKvNotAFile eKind : gc_aNotFiles) {
    const std::string why = KvTestNotAFileWhy(eKind);
    SCOPED_TRACE(why);
    const std::string dir = KvTestTempDir(std::string("tool-refusal-") + command.pName);
    const std::string path = dir + "/" + command.pFile;
    KvTestWriteBytes(dir + "/real", "a file\n");
    ASSERT_TRUE(KvTestMakeNotAFile(eKind, path, dir + "/real")) << std::strerror(errno);
    const SKvToolRun run = KvTestRunTool(KvTestShellQuote(command.pTool) + " " + command.pBefore + " " +
                                         KvTestShellQuote(path) + " </dev/null");
    EXPECT_EQ(run.iExit, 1) << run.out;
    EXPECT_EQ(run.out, path + ": error: cannot open the file (it " + why + ")\n");
  }
}

INSTANTIATE_TEST_SUITE_P(EachCommand, ToolInputRefusal, ::testing::ValuesIn(gc_aReadingCommands),
                         [](const ::testing::TestParamInfo<SReadingCommand>& info) {
                           return std::string(info.param.pName);
                         });

}  // namespace
