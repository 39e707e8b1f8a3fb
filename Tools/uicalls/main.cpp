// uicalls: fails when a compiled screen set names an event procedure that the game does not register.
#include <cstdio>
#include <string>
#include <vector>

#include "Tools/Common/ClTool.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/kuic/KuiSource.h"
#include "Tools/uicalls/UiCalls.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: uicalls [-o <stamp>] <file.kui>[=<description.json>]...\n"
    "       loads each compiled screen set with the engine's loader and lists every procedure that one of its\n"
    "       events names and the game's registration does not register (the description, when given, names\n"
    "       the hashes). Exit status 1 when there is one; the stamp file is written only when there is none.\n";

const ClTool gc_tool("uicalls", gc_pszUSAGE);

int run(const std::vector<std::string>& inputs, const std::string& stamp) {
  if (inputs.empty()) return gc_tool.usageError("no input file");
  const std::set<uint32_t> registered = UiCallsRegisteredHashes();
  size_t uiMissing = 0;
  for (const std::string& input : inputs) {
    const size_t uiEquals = input.find('=');
    const std::string path = input.substr(0, uiEquals);
    std::vector<std::pair<uint32_t, std::string>> names;
    std::string error;
    if (uiEquals != std::string::npos && !KuiCollectNames(input.substr(uiEquals + 1), &names, &error)) {
      return ClTool::fail(error);
    }
    std::string bytes;
    if (std::string refused; !ToolReadInput(path, &bytes, &refused)) return ClTool::fail(refused);
    std::vector<SUiMissingCall> missing;
    if (!UiCallsFindMissing(std::vector<uint8_t>(bytes.begin(), bytes.end()), path, names, registered, &missing,
                            &error)) {
      return ClTool::fail(error);
    }
    for (const SUiMissingCall& call : missing) {
      std::fprintf(stderr, "%s: error: widget [%s] event [%s] calls [%s], which is not registered\n", path.c_str(),
                   call.widget.c_str(), call.event.c_str(), call.procedure.c_str());
    }
    uiMissing += missing.size();
  }
  if (uiMissing > 0) {
    std::fprintf(stderr, "uicalls: %zu calls of unregistered procedures\n", uiMissing);
    return 1;
  }
  return stamp.empty() ? 0 : ClTool::writeOutput(stamp, "checked\n", 8);
}

}  // namespace

int main(int argc, char** argv) {
  std::string stamp;
  return gc_tool.main(argc, argv, {{nullptr, {{"-o", &stamp, nullptr}}, SIZE_MAX}},
                      [&](const SToolCommandLine& line) { return run(line.inputs, stamp); });
}
