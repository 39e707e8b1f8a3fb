// kuic: compiles UI screen-set descriptions (JSON) into ".kui" files and prints compiled files as JSON.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

int usageError(const std::string& message) {
  std::fprintf(stderr, "kuic: %s\n%s", message.c_str(), gc_pszUSAGE);
  return 2;
}

// Writes through a temporary file, so a failed run leaves no half-written output.
bool writeFile(const std::string& path, const void* pData, size_t uiSize) {
  const std::string temp = path + ".tmp";
  std::FILE* pOut = std::fopen(temp.c_str(), "wb");
  if (pOut == nullptr) {
    return false;
  }
  const bool bWritten = std::fwrite(pData, 1, uiSize, pOut) == uiSize;
  if (std::fclose(pOut) != 0 || !bWritten || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

int dump(const std::string& path, const std::string& namesPath, const std::string& output) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "%s: error: cannot open the file\n", path.c_str());
    return 1;
  }
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::pair<uint32_t, std::string>> names;
  std::string error;
  if (!namesPath.empty() && !KuiCollectNames(namesPath, &names, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::string json;
  if (!KuiDumpImage(image, path, names, &json, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (output.empty()) {
    std::fwrite(json.data(), 1, json.size(), stdout);
  } else if (!writeFile(output, json.data(), json.size())) {
    std::fprintf(stderr, "%s: error: cannot write the file\n", output.c_str());
    return 1;
  }
  return 0;
}

int compile(const std::string& input, std::string output) {
  if (output.empty()) {
    const size_t uiSlash = input.find_last_of('/');
    const size_t uiDot = input.find_last_of('.');
    output = (uiDot != std::string::npos && (uiSlash == std::string::npos || uiDot > uiSlash))
                 ? input.substr(0, uiDot) + ".kui"
                 : input + ".kui";
  }
  std::vector<uint8_t> image;
  std::string error;
  if (!KuiCompileFile(input, &image, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (!writeFile(output, image.data(), image.size())) {
    std::fprintf(stderr, "%s: error: cannot write the file\n", output.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input;
  std::string output;
  std::string dumpPath;
  std::string namesPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(gc_pszUSAGE, stdout);
      return 0;
    }
    if (arg == "-o" || arg == "--dump" || arg == "--names") {
      if (i + 1 >= argc) {
        return usageError(arg + " needs a file name");
      }
      (arg == "-o" ? output : (arg == "--dump" ? dumpPath : namesPath)) = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else if (input.empty()) {
      input = arg;
    } else {
      return usageError("only one input file at a time");
    }
  }
  if (!dumpPath.empty()) {
    if (!input.empty()) {
      return usageError("--dump takes no input description");
    }
    return dump(dumpPath, namesPath, output);
  }
  if (!namesPath.empty()) {
    return usageError("--names goes with --dump");
  }
  if (input.empty()) {
    return usageError("no input file");
  }
  return compile(input, output);
}
