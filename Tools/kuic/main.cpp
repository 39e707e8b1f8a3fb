// kuic: compiles UI screen-set descriptions (JSON) into ".kui" files and prints compiled files as JSON.
#include <string>
#include <vector>

#include "Corvane/UI/KvUIGameHooks.h"
#include "Tools/Common/ClTool.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/kuic/KuiJson.h"
#include "Tools/kuic/KuiSource.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: kuic [-o <output.kui>] <input.json>   compile a screen-set description into a .kui file\n"
    "                                            (default output: the input's name with .kui)\n"
    "       kuic --dump <file.kui> [--names <description.json>] [-o <output.json>]\n"
    "                                            load a compiled file with the engine's loader and print it\n"
    "                                            as a description; names found in the given description are\n"
    "                                            printed instead of their hashes\n"
    "       kuic --help                          print this text\n"
    "\n"
    "A description: { \"root\": widget }, a widget: { \"name\", \"properties\": {name: value}, \"children\":\n"
    "[widget or name], \"switched\": [name] }. Values: 12 INT, 1.5 FLOAT, true BOOL, \"text\" ASCII_STRING,\n"
    "{\"id\": name}, {\"color\": \"0xAARRGGBB\"}, {\"layout\": {\"screenAnchor\", \"x\", \"y\", \"widgetAnchor\"}},\n"
    "{\"percentxy\"|\"floatxy\"|\"gridxy\"|\"type9\": [a, b]}, {\"type12\"|\"type13\": \"hex\"},\n"
    "{\"event\": {\"single\": procedure, \"calls\": [{\"call\": procedure, \"params\": [3, 0.5, \"t\", {\"id\": n}]}]}}.\n"
    "\"#0x1234ABCD\" stands for a name by its hash. See Tools/kuic/KuiSource.h.\n";

const ClTool gc_tool("kuic", gc_pszUSAGE);

int dump(const std::string& path, const std::string& namesPath, const std::string& output) {
  std::string bytes;
  if (std::string refused; !ToolReadInput(path, &bytes, &refused)) return ClTool::fail(refused);
  const std::vector<uint8_t> image(bytes.begin(), bytes.end());
  std::vector<std::pair<uint32_t, std::string>> names;
  std::string error;
  if (!namesPath.empty() && !KuiCollectNames(namesPath, &names, &error)) return ClTool::fail(error);
  std::string json;
  if (!KuiDumpImage(image, path, names, &json, &error)) return ClTool::fail(error);
  return ClTool::writeOutput(output, json);
}

int compile(const std::string& input, std::string output) {
  if (output.empty()) output = ClTool::outputName(input, ".kui");
  std::vector<uint8_t> image;
  std::string error;
  if (!KuiCompileFile(input, &image, &error)) return ClTool::fail(error);
  // What is written is what the engine's loader takes: the image is loaded before and after it is written.
  const auto loads = [&output](const std::vector<unsigned char>& bytes, std::string* pProblem) {
    std::string json;
    return KuiDumpImage(bytes, output, {}, &json, pProblem);
  };
  return ToolWriteChecked(output, image, loads, &error) ? 0 : ClTool::fail(error);
}

// The UI runs here without the game: it registers no procedures (a dump only reads the tree).
class CNoProcedures final : public ClUIHooks {
 public:
  void registerGameUIFunctions() override {}
};

}  // namespace

int main(int argc, char** argv) {
  static CNoProcedures s_hooks;
  KvSetUIGameHooks(s_hooks);
  std::string output;
  std::string dumpPath;
  std::string namesPath;
  const SToolCommand syntax = {
      nullptr, {{"-o", &output, nullptr}, {"--dump", &dumpPath, nullptr}, {"--names", &namesPath, nullptr}}, 1};
  return gc_tool.main(argc, argv, {syntax}, [&](const SToolCommandLine& line) {
    const std::string& input = line.input();
    if (!dumpPath.empty()) {
      if (!input.empty()) return gc_tool.usageError("--dump takes no input description");
      return dump(dumpPath, namesPath, output);
    }
    if (!namesPath.empty()) return gc_tool.usageError("--names goes with --dump");
    if (input.empty()) return gc_tool.usageError("no input file");
    return compile(input, output);
  });
}
