// uicalls: fails when a compiled screen set names an event procedure that the game does not register.
#include <cstdio>
#include <string>
#include <vector>

#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolText.h"
#include "Tools/kuic/KuiSource.h"
#include "Tools/uicalls/UiCalls.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: uicalls [-o <stamp>] <file.kui>[=<description.json>]...\n"
    "       loads each compiled screen set with the engine's loader and lists every procedure that one of its\n"
    "       events names and the game's registration does not register (the description, when given, names\n"
    "       the hashes). Exit status 1 when there is one; the stamp file is written only when there is none.\n";

int run(const std::vector<std::string>& args) {
  std::string stamp;
  std::vector<std::string> inputs;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(gc_pszUSAGE, stdout);
      return 0;
    }
    if (args[i] == "-o" && i + 1 < args.size()) {
      stamp = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      std::fprintf(stderr, "uicalls: unknown option [%s]\n%s", args[i].c_str(), gc_pszUSAGE);
      return 2;
    } else {
      inputs.push_back(args[i]);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "uicalls: no input file\n%s", gc_pszUSAGE);
    return 2;
  }
  const std::set<uint32_t> registered = UiCallsRegisteredHashes();
  size_t uiMissing = 0;
  for (const std::string& input : inputs) {
    const size_t uiEquals = input.find('=');
    const std::string path = input.substr(0, uiEquals);
    std::vector<std::pair<uint32_t, std::string>> names;
    std::string error;
    if (uiEquals != std::string::npos && !KuiCollectNames(input.substr(uiEquals + 1), &names, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    std::string bytes;
    if (!ToolReadFile(path, &bytes)) {
      std::fprintf(stderr, "%s: error: cannot open the file\n", path.c_str());
      return 1;
    }
    std::vector<SUiMissingCall> missing;
    if (!UiCallsFindMissing(std::vector<uint8_t>(bytes.begin(), bytes.end()), path, names, registered, &missing,
                            &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
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
  if (!stamp.empty() && !ToolWriteFile(stamp, "checked\n", 8)) {
    std::fprintf(stderr, "%s: error: cannot write the file\n", stamp.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
