// kdsc: compiles data-script text into ".kds" files and prints compiled files as JSON.
#include <string>
#include <vector>

#include "Corvane/Data/ClDScriptMgr2.h"
#include "Tools/Common/ClTool.h"
#include "Tools/Common/ToolFiles.h"
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

const ClTool gc_tool("kdsc", gc_pszUSAGE);

// Loads a compiled file with the engine's loader and, when bPrint, prints its tree as JSON.
int load(const std::string& path, bool bPrint) {
  std::string bytes;
  if (std::string refused; !ToolReadInput(path, &bytes, &refused)) return ClTool::fail(refused);
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(bytes.data(), bytes.size(), path.c_str(), szError, sizeof(szError));
  if (pRoot == nullptr) return ClTool::fail(szError);
  const int iExit = bPrint ? ClTool::writeOutput("", KdsTreeToJson(pRoot)) : 0;
  ClDScriptData2::destroyTree(pRoot);
  return iExit;
}

int compile(const std::string& input, std::string output) {
  if (output.empty()) output = ClTool::outputName(input, ".kds");
  std::vector<uint8_t> image;
  std::string error;
  if (!KdsCompileFile(input, &image, &error)) return ClTool::fail(error);
  return ClTool::writeOutput(output, image.data(), image.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  std::string dumpPath;
  std::string checkPath;
  const SToolCommand syntax = {
      nullptr, {{"-o", &output, nullptr}, {"--dump", &dumpPath, nullptr}, {"--check", &checkPath, nullptr}}, 1};
  return gc_tool.main(argc, argv, {syntax}, [&](const SToolCommandLine& line) {
    const std::string& input = line.input();
    if (!dumpPath.empty() || !checkPath.empty()) {
      if (!input.empty() || !output.empty() || (!dumpPath.empty() && !checkPath.empty())) {
        return gc_tool.usageError("--dump and --check take no other arguments");
      }
      return dumpPath.empty() ? load(checkPath, false) : load(dumpPath, true);
    }
    if (input.empty()) return gc_tool.usageError("no input file");
    return compile(input, output);
  });
}
