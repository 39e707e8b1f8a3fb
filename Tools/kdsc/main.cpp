// kdsc: compiles data-script text into ".kds" files and prints compiled files as JSON.
#include <cstdint>
#include <filesystem>
#include <set>
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
    "       kdsc --out-dir <dir> <input>...  compile each input into <dir>/<name>.kds and load each with the\n"
    "                                        engine's loader (<name>: the input's file name without its extension)\n"
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

// Compiles each input into dir/<name>.kds (making dir when it is missing) and loads what was written with the
// engine's loader, all in one process: the build compiles a folder of scripts at once. Two inputs of one name are
// refused before anything is written.
int compileInto(const std::string& dir, const std::vector<std::string>& inputs) {
  std::vector<std::string> outputs;
  std::set<std::string> names;
  for (const std::string& input : inputs) {
    const std::string name = std::filesystem::path(input).stem().string();
    if (!names.insert(name).second) {
      return ClTool::fail(input + ": error: another input is also compiled into " + dir + "/" + name + ".kds");
    }
    outputs.push_back(dir + "/" + name + ".kds");
  }
  std::filesystem::create_directories(dir);
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (const int iExit = compile(inputs[i], outputs[i]); iExit != 0) return iExit;
    if (const int iExit = load(outputs[i], false); iExit != 0) return iExit;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  std::string dumpPath;
  std::string checkPath;
  std::string outDir;
  const SToolCommand syntax = {nullptr,
                               {{"-o", &output, nullptr},
                                {"--dump", &dumpPath, nullptr},
                                {"--check", &checkPath, nullptr},
                                {"--out-dir", &outDir, nullptr}},
                               SIZE_MAX};
  return gc_tool.main(argc, argv, {syntax}, [&](const SToolCommandLine& line) {
    const std::string& input = line.input();
    if (!dumpPath.empty() || !checkPath.empty()) {
      if (!input.empty() || !output.empty() || !outDir.empty() || (!dumpPath.empty() && !checkPath.empty())) {
        return gc_tool.usageError("--dump and --check take no other arguments");
      }
      return dumpPath.empty() ? load(checkPath, false) : load(dumpPath, true);
    }
    if (input.empty()) return gc_tool.usageError("no input file");
    if (!outDir.empty()) {
      if (!output.empty()) return gc_tool.usageError("-o and --out-dir cannot be given together");
      return compileInto(outDir, line.inputs);
    }
    if (line.inputs.size() > 1) return gc_tool.usageError("one input at a time (or --out-dir <dir>)");
    return compile(input, output);
  });
}
