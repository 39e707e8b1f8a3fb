// The tools' one argument parser: options, switches, inputs, "--", help and the reasons it refuses a command line;
// the frame of their main(): each command's own options, and the exit codes of help, bad usage and failures.
#include "Tools/Common/ToolArgs.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Tools/Common/ClTool.h"

namespace {

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

struct SParse {
  EToolArgs eResult;
  std::string summary;  // what was read, "o=<value> q=<0|1> in=<inputs joined by |>", or the error
};

SParse parse(const std::string& line, size_t uiMaxInputs) {
  std::string output;
  bool bQuiet = false;
  std::vector<std::string> inputs;
  std::string error;
  const EToolArgs eResult = ToolParseArguments(words(line), 0, {{"-o", &output, nullptr}, {"--quiet", nullptr, &bQuiet}},
                                               &inputs, uiMaxInputs, &error);
  if (eResult == EToolArgs::Error) return {eResult, error};
  std::string joined;
  for (const std::string& input : inputs) joined += (joined.empty() ? "" : "|") + input;
  return {eResult, "o=" + output + " q=" + (bQuiet ? "1" : "0") + " in=" + joined};
}

TEST(ToolArgs, ReadsOptionsSwitchesAndInputsOrRefusesWithAReason) {
  struct SCase {
    const char* pLine;
    size_t uiMaxInputs;
    EToolArgs eResult;
    const char* pSummary;
  };
  const SCase cases[] = {
      {"", 1, EToolArgs::Run, "o= q=0 in="},
      {"a.txt -o b.bin --quiet", 1, EToolArgs::Run, "o=b.bin q=1 in=a.txt"},
      {"-o -x a", 1, EToolArgs::Run, "o=-x q=0 in=a"},
      {"a b", 2, EToolArgs::Run, "o= q=0 in=a|b"},
      {"-- -a --quiet", 2, EToolArgs::Run, "o= q=0 in=-a|--quiet"},
      {"a b c", 9, EToolArgs::Run, "o= q=0 in=a|b|c"},
      {"a --help", 1, EToolArgs::Help, "o= q=0 in=a"},
      {"-h --bogus", 1, EToolArgs::Help, "o= q=0 in="},
      {"a -o", 1, EToolArgs::Error, "-o needs a value"},
      {"--bogus a", 1, EToolArgs::Error, "unknown option --bogus"},
      {"a b", 1, EToolArgs::Error, "one input at a time"},
      {"a b c", 2, EToolArgs::Error, "at most 2 inputs"},
      {"a", 0, EToolArgs::Error, "unexpected argument [a]"},
      {"-- --help", 0, EToolArgs::Error, "unexpected argument [--help]"},
  };
  for (const SCase& c : cases) {
    const SParse result = parse(c.pLine, c.uiMaxInputs);
    EXPECT_EQ(result.eResult, c.eResult) << "[" << c.pLine << "]";
    if (c.eResult != EToolArgs::Help) {
      EXPECT_EQ(result.summary, c.pSummary) << "[" << c.pLine << "]";
    }
  }
}

TEST(ToolArgs, ASubCommandComesFirst) {
  const std::vector<std::string> commands = {"pack", "list"};
  struct SCase {
    const char* pLine;
    EToolArgs eResult;
    const char* pText;  // the command, or the error
  };
  const SCase cases[] = {
      {"pack -o x", EToolArgs::Run, "pack"}, {"list", EToolArgs::Run, "list"},
      {"--help", EToolArgs::Help, ""},       {"", EToolArgs::Error, "no command"},
      {"unpack", EToolArgs::Error, "unknown command [unpack]"},
      {"-o pack", EToolArgs::Error, "unknown command [-o]"},
  };
  for (const SCase& c : cases) {
    std::string command;
    std::string error;
    EXPECT_EQ(ToolParseCommand(words(c.pLine), commands, &command, &error), c.eResult) << "[" << c.pLine << "]";
    EXPECT_EQ(c.eResult == EToolArgs::Error ? error : command, c.pText) << "[" << c.pLine << "]";
  }
}

TEST(ClTool, EachCommandTakesItsOwnOptionsAndEveryEndHasItsExitCode) {
  struct SCase {
    const char* pLine;
    int iExit;  // 10 + the number of inputs when the body ran
    const char* pOutput;
  };
  const SCase cases[] = {
      {"pack -o x a", 11, "x"},      {"pack --help", 0, ""},         {"list a b c", 13, ""},
      {"list -o x", 2, ""},          {"pack a b", 2, ""},            {"unpack", 2, ""},
      {"", 2, ""},                   {"pack throw", 1, ""},
  };
  const ClTool tool("tool", "usage: tool\n");
  for (const SCase& c : cases) {
    std::vector<std::string> args = words(std::string("tool ") + c.pLine);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    std::string output;
    const int iExit = tool.main(static_cast<int>(argv.size()), argv.data(),
                                {{"pack", {{"-o", &output, nullptr}}, 1}, {"list", {}, 3}},
                                [](const SToolCommandLine& line) {
                                  if (line.input() == "throw") throw std::runtime_error("thrown");
                                  return 10 + static_cast<int>(line.inputs.size());
                                });
    EXPECT_EQ(iExit, c.iExit) << "[" << c.pLine << "]";
    EXPECT_EQ(output, c.pOutput) << "[" << c.pLine << "]";
  }
  EXPECT_EQ(ClTool::outputName("a.b/c", ".kds"), "a.b/c.kds");
  EXPECT_EQ(ClTool::outputName("a.b/c.kdt", ".kds"), "a.b/c.kds");
}

}  // namespace
