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

#include "Tools/Common/ToolText.h"
#include "Tools/LangC/LangCompiler.h"

namespace {

constexpr const char* gc_pUSAGE =
    "usage: langc <source.txt> <output.lang>   compile a string-table source into a table\n"
    "       langc --check <table.lang>         load a table with the engine's loader\n"
    "       langc --help                       print this text\n";

int usage(const char* pProblem) { return ToolUsageError("langc", pProblem, gc_pUSAGE); }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(gc_pUSAGE, stdout);
    return 0;
  }
  std::string error;
  if (argc == 3 && std::string(argv[1]) == "--check") {
    if (!LangCheckTable(argv[2], &error)) {
      std::fprintf(stderr, "langc: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (argc != 3 || argv[1][0] == '-' || argv[2][0] == '-') {
    return usage(argc == 3 ? "unknown option" : "a source and an output file are needed");
  }
  if (!LangCompileFile(argv[1], argv[2], &error)) {
    std::fprintf(stderr, "langc: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
