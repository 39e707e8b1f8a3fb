// The frame of every offline tool's main(): one reading of the command line, one answer to "--help", one form for
// bad usage and one for failures, so that every tool behaves alike:
//
// - A tool with sub-commands takes one first ("magpack pack ..."); each command (or the tool itself, when it has
//   none) takes its own options and at most its own number of other arguments (the inputs), as ToolArgs.h reads them.
// - "--help" or "-h" prints the usage on standard output: exit code 0.
// - Bad usage prints "<tool>: <problem>" and the usage on standard error: exit code 2.
// - A failure prints one line on standard error (a source error "file:line:column: error: what", a file's "<file>:
//   error: what"): exit code 1. An exception that escapes the tool's body (no memory, a file-system error) ends it
//   the same way, with "<tool>: error: <what>", rather than with an abort.
//
// Each tool has one constant ClTool with its name and usage; its main() is ClTool::main. Main thread only.
#pragma once

#include <cstddef>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Tools/Common/ToolArgs.h"

// What one sub-command takes; pName is null for the one entry of a tool without sub-commands.
struct SToolCommand {
  const char* pName;
  std::vector<SToolOption> options;
  size_t uiMaxInputs;
};

// A command line as read: the sub-command ("" for a tool without) and the inputs in their order.
struct SToolCommandLine {
  std::string command;
  std::vector<std::string> inputs;

  // The first input, or "" when there is none.
  const std::string& input() const { return inputs.empty() ? m_none : inputs[0]; }

 private:
  std::string m_none;
};

class ClTool {
 public:
  constexpr ClTool(const char* pName, const char* pUsage) : m_pName(pName), m_pUsage(pUsage) {}

  // Reads argv against commands, answers help and bad usage, then runs body(const SToolCommandLine&) -> int, the
  // exit code, with the options already stored where commands point.
  template <typename Body>
  int main(int argc, char** argv, const std::vector<SToolCommand>& commands, Body body) const {
    try {
      const std::vector<std::string> args(argv + 1, argv + argc);
      SToolCommandLine line;
      std::string problem;
      const SToolCommand* pCommand = &commands[0];
      EToolArgs eArgs = EToolArgs::Run;
      if (pCommand->pName != nullptr) {
        std::vector<std::string> names;
        for (const SToolCommand& command : commands) names.push_back(command.pName);
        eArgs = ToolParseCommand(args, names, &line.command, &problem);
        for (const SToolCommand& command : commands) {
          if (line.command == command.pName) pCommand = &command;
        }
      }
      if (eArgs == EToolArgs::Run) {
        eArgs = ToolParseArguments(args, line.command.empty() ? 0 : 1, pCommand->options, &line.inputs,
                                   pCommand->uiMaxInputs, &problem);
      }
      if (eArgs == EToolArgs::Help) {
        std::fputs(m_pUsage, stdout);
        return 0;
      }
      if (eArgs == EToolArgs::Error) return usageError(problem);
      return body(static_cast<const SToolCommandLine&>(line));
    } catch (const std::exception& error) {
      return failTool(std::string("error: ") + error.what());
    }
  }

  // Bad usage: "<tool>: <problem>" and the usage on standard error; answers 2.
  int usageError(const std::string& problem) const;
  // A failure of the tool itself: "<tool>: <problem>" as one line; answers 1.
  int failTool(const std::string& problem) const;
  // A failure that names its own file or source: the message as one line; answers 1.
  static int fail(const std::string& message);

  // Writes the bytes to the file at path (whole or not at all, ToolFiles.h), or to standard output when path is
  // empty; 0, or 1 after "<path>: error: <why>" ("cannot write the file: No space left on device").
  static int writeOutput(const std::string& path, const void* pData, size_t uiSize);
  static int writeOutput(const std::string& path, const std::string& text) {
    return writeOutput(path, text.data(), text.size());
  }
  // The output a compiler writes when none is given: the input with its extension (if its file name has one)
  // replaced by pExtension (".kds").
  static std::string outputName(const std::string& input, const char* pExtension);

 private:
  const char* m_pName;
  const char* m_pUsage;
};
