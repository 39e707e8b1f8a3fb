// kdsc: compiles data-script text into ".kds" files and prints compiled files as JSON.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Corvane/Data/ClDScriptMgr2.h"
#include "Tools/Common/ToolArgs.h"
#include "Tools/Common/ToolText.h"
#include "Tools/kdsc/KdsJson.h"
#include "Tools/kdsc/KdsSource.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: kdsc [-o <output.kds>] <input>   compile data-script text into a .kds file\n"
    "                                        (default output: the input's name with .kds)\n"
    "       kdsc --dump <file.kds>           print a compiled file's tree as JSON on standard output\n"
    "       kdsc --check <file.kds>          load a compiled file with the engine's loader\n"
    "       kdsc --help                      print this text\n"
    "\n"
    "Text syntax: a file lists the children of the unnamed root array.\n"
    "  Name = value       a named value; \"Quoted name\" = value for other names\n"
    "  value              an unnamed value (a list element); commas or line ends separate values\n"
    "  12  -3  0x1F       integers          1.5  -0.25  2e3   floats\n"
    "  \"text\"             a text            #noLoop  #\"a b\"   a hash id (text and name hash)\n"
    "  [ ... ]  { ... }   a list            1.5 .. 3          a range: { Min = 1.5, Max = 3 }\n"
    "  // and /* */       comments\n";

int usageError(const std::string& problem) { return ToolUsageError("kdsc", problem, gc_pszUSAGE); }

bool readFile(const std::string& path, std::vector<unsigned char>* pBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  pBytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Loads a compiled file with the engine's loader and, when bPrint, prints its tree as JSON.
int load(const std::string& path, bool bPrint) {
  std::vector<unsigned char> bytes;
  if (!readFile(path, &bytes)) {
    std::fprintf(stderr, "%s: error: cannot open the file\n", path.c_str());
    return 1;
  }
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(bytes.data(), bytes.size(), path.c_str(), szError, sizeof(szError));
  if (pRoot == nullptr) {
    std::fprintf(stderr, "%s\n", szError);
    return 1;
  }
  if (bPrint) {
    const std::string json = KdsTreeToJson(pRoot);
    std::fwrite(json.data(), 1, json.size(), stdout);
  }
  ClDScriptData2::destroyTree(pRoot);
  return 0;
}

int compile(const std::string& input, std::string output) {
  if (output.empty()) {
    const size_t uiSlash = input.find_last_of('/');
    const size_t uiDot = input.find_last_of('.');
    output = (uiDot != std::string::npos && (uiSlash == std::string::npos || uiDot > uiSlash))
                 ? input.substr(0, uiDot) + ".kds"
                 : input + ".kds";
  }
  std::vector<uint8_t> image;
  std::string error;
  if (!KdsCompileFile(input, &image, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const std::string temp = output + ".tmp";
  std::FILE* pOut = std::fopen(temp.c_str(), "wb");
  if (pOut == nullptr) {
    std::fprintf(stderr, "%s: error: cannot write the file\n", output.c_str());
    return 1;
  }
  const bool bWritten = std::fwrite(image.data(), 1, image.size(), pOut) == image.size();
  if (std::fclose(pOut) != 0 || !bWritten || std::rename(temp.c_str(), output.c_str()) != 0) {
    std::remove(temp.c_str());
    std::fprintf(stderr, "%s: error: cannot write the file\n", output.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string input;
  std::string output;
  std::string dumpPath;
  std::string checkPath;
  std::string error;
  const EToolArgs eParsed = ToolParseArguments(args, 0,
                                               {{"-o", &output, nullptr},
                                                {"--dump", &dumpPath, nullptr},
                                                {"--check", &checkPath, nullptr}},
                                               &input, &error);
  if (const int iExit = ToolArgsExitCode(eParsed, gc_pszUSAGE, [&] { return usageError(error); }); iExit >= 0) {
    return iExit;
  }
  if (!dumpPath.empty() || !checkPath.empty()) {
    if (!input.empty() || !output.empty() || (!dumpPath.empty() && !checkPath.empty())) {
      return usageError("--dump and --check take no other arguments");
    }
    return dumpPath.empty() ? load(checkPath, false) : load(dumpPath, true);
  }
  if (input.empty()) {
    return usageError("no input file");
  }
  return compile(input, output);
}
