// atlasc: packs images into atlas pages and their table (".atf"), lists an ".atf" as the engine reads it, and
// makes the sample content's images and atlases from a description.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Tools/Common/ToolFiles.h"
#include "Tools/atlasc/AtlasBuilder.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: atlasc pack <folder> -o <output folder> --base <name> [--page <size>] [--padding <texels>] [--no-trim]\n"
    "                          pack the folder's .png, .bmp and .tga images into <name>_<i>.png and <name>.atf\n"
    "       atlasc list <file.atf> [--names <folder>] [-o <output.txt>]\n"
    "                          check an atlas table with the engine's loader and print its entries (names from\n"
    "                          the images of the folder)\n"
    "       atlasc content <description.json> -o <output folder> --scratch <folder> [--manifest <file>]\n"
    "                          make the images and atlases of a content description; the archive lines of what\n"
    "                          was written go to the manifest file\n"
    "       atlasc --help      print this text\n"
    "See Tools/atlasc/AtlasBuilder.h.\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "atlasc: %s\n%s", message.c_str(), gc_pszUSAGE);
  return 2;
}

bool parseInt(const std::string& text, int iMin, int iMax, int* piValue) {
  try {
    size_t uiUsed = 0;
    const int iValue = std::stoi(text, &uiUsed);
    if (uiUsed != text.size() || iValue < iMin || iValue > iMax) return false;
    *piValue = iValue;
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usageError("no command");
  if (args[0] == "--help" || args[0] == "-h") {
    std::fputs(gc_pszUSAGE, stdout);
    return 0;
  }
  const std::string command = args[0];
  std::string input;
  std::string output;
  std::string base;
  std::string names;
  std::string scratch;
  std::string manifest;
  SAtlasPackOptions options;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* pOut) {
      if (i + 1 >= args.size()) return false;
      *pOut = args[++i];
      return true;
    };
    std::string number;
    if (arg == "--help" || arg == "-h") {
      std::fputs(gc_pszUSAGE, stdout);
      return 0;
    } else if (arg == "-o") {
      if (!value(&output)) return usageError("-o needs a path");
    } else if (arg == "--base") {
      if (!value(&base)) return usageError("--base needs a name");
    } else if (arg == "--names") {
      if (!value(&names)) return usageError("--names needs a folder");
    } else if (arg == "--scratch") {
      if (!value(&scratch)) return usageError("--scratch needs a folder");
    } else if (arg == "--manifest") {
      if (!value(&manifest)) return usageError("--manifest needs a file");
    } else if (arg == "--page") {
      if (!value(&number) || !parseInt(number, 16, 8192, &options.iPageSize)) return usageError("--page takes 16 to 8192");
    } else if (arg == "--padding") {
      if (!value(&number) || !parseInt(number, 0, 16, &options.iPadding)) return usageError("--padding takes 0 to 16");
    } else if (arg == "--no-trim") {
      options.bTrim = false;
    } else if (!arg.empty() && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else if (input.empty()) {
      input = arg;
    } else {
      return usageError("one input at a time");
    }
  }
  if (input.empty()) return usageError("no input");
  std::string error;
  if (command == "pack") {
    if (output.empty() || base.empty()) return usageError("pack needs -o and --base");
    std::vector<std::string> written;
    if (!AtlasPackFolder(input, output, base, options, &written, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (command == "list") {
    std::ifstream in(input, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: error: cannot open the file\n", input.c_str());
      return 1;
    }
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> imageNames;
    if (!names.empty()) {
      std::error_code ignored;
      for (const auto& entry : std::filesystem::directory_iterator(names, ignored)) {
        imageNames.push_back(entry.path().stem().string());
      }
    }
    std::string text;
    if (!AtlasList(file, imageNames, &text, &error)) {
      std::fprintf(stderr, "%s: error: %s\n", input.c_str(), error.c_str());
      return 1;
    }
    if (output.empty()) {
      std::fwrite(text.data(), 1, text.size(), stdout);
    } else if (!ToolWriteFile(output, text.data(), text.size())) {
      std::fprintf(stderr, "%s: error: cannot write the file\n", output.c_str());
      return 1;
    }
    return 0;
  }
  if (command == "content") {
    if (output.empty() || scratch.empty()) return usageError("content needs -o and --scratch");
    std::string lines;
    if (!AtlasMakeContent(input, output, scratch, &lines, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    if (!manifest.empty() && !ToolWriteFile(manifest, lines.data(), lines.size())) {
      std::fprintf(stderr, "%s: error: cannot write the file\n", manifest.c_str());
      return 1;
    }
    return 0;
  }
  return usageError("unknown command " + command);
}
