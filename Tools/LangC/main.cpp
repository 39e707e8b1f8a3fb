// langc: compiles one string-table source (UTF-8 text) into a ".lang" table, and checks tables.
//
//   langc <source.txt> <output.lang>   compile (see LangCompiler.h for the source syntax)
//   langc --check <table.lang>         load the table with the engine's loader and look every key up
//   langc --help                       print the usage
//
// Exit code 0 when the table was written or checked, 1 on a source error (printed as
// "file:line:column: error: what") or a refused table, 2 on misuse.
#include <string>
#include <vector>

#include "Tools/Common/ClTool.h"
#include "Tools/LangC/LangCompiler.h"

namespace {

constexpr const char* gc_pUSAGE =
    "usage: langc <source.txt> <output.lang>   compile a string-table source into a table\n"
    "       langc --check <table.lang>         load a table with the engine's loader\n"
    "       langc --help                       print this text\n";

const ClTool gc_tool("langc", gc_pUSAGE);

}  // namespace

int main(int argc, char** argv) {
  std::string checkPath;
  const SToolCommand syntax = {nullptr, {{"--check", &checkPath, nullptr}}, 2};
  return gc_tool.main(argc, argv, {syntax}, [&](const SToolCommandLine& line) {
    const std::vector<std::string>& files = line.inputs;
    std::string error;
    if (!checkPath.empty()) {
      if (!files.empty()) return gc_tool.usageError("--check takes no other arguments");
      return LangCheckTable(checkPath, &error) ? 0 : gc_tool.failTool(error);
    }
    if (files.size() != 2) return gc_tool.usageError("a source and an output file are needed");
    return LangCompileFile(files[0], files[1], &error) ? 0 : gc_tool.failTool(error);
  });
}
