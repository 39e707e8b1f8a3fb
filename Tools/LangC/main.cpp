// langc: compiles one string-table source (UTF-8 text) into a ".lang" table, and checks tables.
//
//   langc <source.txt> <output.lang>   compile (see LangCompiler.h for the source syntax)
//   langc --check <table.lang>         load the table with the engine's loader and look every key up
//   langc --help                       print the usage
//
// Exit code 0 when the table was written or checked, 1 on a source error (printed as
// "file:line:column: error: what") or a refused table, 2 on misuse.
#include <cstdio>
#include <string>
#include <vector>

#include "Tools/Common/ToolArgs.h"
#include "Tools/Common/ToolText.h"
#include "Tools/LangC/LangCompiler.h"

namespace {

constexpr const char* gc_pUSAGE =
    "usage: langc <source.txt> <output.lang>   compile a string-table source into a table\n"
    "       langc --check <table.lang>         load a table with the engine's loader\n"
    "       langc --help                       print this text\n";

int usage(const std::string& problem) { return ToolUsageError("langc", problem, gc_pUSAGE); }

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string checkPath;
  std::vector<std::string> files;
  std::string error;
  const EToolArgs eParsed = ToolParseArguments(args, 0, {{"--check", &checkPath, nullptr}}, &files, 2, &error);
  if (const int iExit = ToolArgsExitCode(eParsed, gc_pUSAGE, [&] { return usage(error); }); iExit >= 0) {
    return iExit;
  }
  if (!checkPath.empty()) {
    if (!files.empty()) {
      return usage("--check takes no other arguments");
    }
    if (!LangCheckTable(checkPath, &error)) {
      std::fprintf(stderr, "langc: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (files.size() != 2) {
    return usage("a source and an output file are needed");
  }
  if (!LangCompileFile(files[0], files[1], &error)) {
    std::fprintf(stderr, "langc: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
