// atlasc: packs images into atlas pages and their table (".atf"), lists an ".atf" as the engine reads it, and
// makes the sample content's images and atlases from a description.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Tools/Common/ToolArgs.h"
#include "Tools/Common/ToolText.h"
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
  std::string command;
  std::string error;
  const EToolArgs eParsed = ToolParseCommand(args, {"pack", "list", "content"}, &command, &error);
  if (const int iExit = ToolArgsExitCode(eParsed, gc_pszUSAGE, [&] { return usageError(error); }); iExit >= 0) {
    return iExit;
  }
  std::string input;
  std::string output;
  std::string base;
  std::string names;
  std::string scratch;
  std::string manifest;
  SAtlasPackOptions options;
  std::string page;
  std::string padding;
  bool bNoTrim = false;
  const EToolArgs eOptions = ToolParseArguments(args, 1,
                                                {{"-o", &output, nullptr},
                                                 {"--base", &base, nullptr},
                                                 {"--names", &names, nullptr},
                                                 {"--scratch", &scratch, nullptr},
                                                 {"--manifest", &manifest, nullptr},
                                                 {"--page", &page, nullptr},
                                                 {"--padding", &padding, nullptr},
                                                 {"--no-trim", nullptr, &bNoTrim}},
                                                &input, &error);
  if (const int iExit = ToolArgsExitCode(eOptions, gc_pszUSAGE, [&] { return usageError(error); }); iExit >= 0) {
    return iExit;
  }
  if (!page.empty() && !parseInt(page, 16, 8192, &options.iPageSize)) return usageError("--page takes 16 to 8192");
  if (!padding.empty() && !parseInt(padding, 0, 16, &options.iPadding)) return usageError("--padding takes 0 to 16");
  options.bTrim = !bNoTrim;
  if (input.empty()) return usageError("no input");
  if (command == "pack") {
    if (output.empty() || base.empty()) return usageError("pack needs -o and --base");
    std::vector<std::string> written;
    if (!AtlasPackFolder(input, output, base, options, &written, &error)) {
      std::fprintf(stderr, "%s\n", ToolEscapeText(error).c_str());
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
    if (in.bad()) {
      std::fprintf(stderr, "%s: error: cannot read the file\n", input.c_str());
      return 1;
    }
    std::vector<std::string> imageNames;
    if (!names.empty()) {
      std::error_code ignored;
      for (const auto& entry : std::filesystem::directory_iterator(names, ignored)) {
        imageNames.push_back(entry.path().stem().string());
      }
    }
    std::string text;
    if (!AtlasList(file, imageNames, &text, &error)) {
      std::fprintf(stderr, "%s: error: %s\n", ToolEscapeText(input).c_str(), ToolEscapeText(error).c_str());
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
  // The one command left: content.
  if (output.empty() || scratch.empty()) return usageError("content needs -o and --scratch");
  std::string lines;
  if (!AtlasMakeContent(input, output, scratch, &lines, &error)) {
    std::fprintf(stderr, "%s\n", ToolEscapeText(error).c_str());
    return 1;
  }
  if (!manifest.empty() && !ToolWriteFile(manifest, lines.data(), lines.size())) {
    std::fprintf(stderr, "%s: error: cannot write the file\n", manifest.c_str());
    return 1;
  }
  return 0;
}
