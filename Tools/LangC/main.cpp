// langc: compiles one string-table source (UTF-8 text) into a ".lang" table.
//
//   langc <source.txt> <output.lang>
//
// Exit code 0 when the table was written, 1 on a source error (printed as "file:line: what"), 2 on misuse.
#include <cstdio>
#include <string>

#include "Tools/LangC/LangCompiler.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: langc <source.txt> <output.lang>\n");
    return 2;
  }
  std::string error;
  if (!LangCompileFile(argv[1], argv[2], &error)) {
    std::fprintf(stderr, "langc: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
