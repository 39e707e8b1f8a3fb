// atlasc: packs images into atlas pages and their table (".atf"), checks and lists an ".atf" as the engine reads
// it, and makes the sample content's images and atlases from a description.
#include <filesystem>
#include <string>
#include <vector>

#include "Tools/Common/ClTool.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/atlasc/AtlasBuilder.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: atlasc pack <folder> -o <output folder> --base <name> [--page <size>] [--padding <texels>] [--no-trim]\n"
    "                          pack the folder's .png, .bmp and .tga images into <name>_<i>.png and <name>.atf\n"
    "       atlasc list <file.atf> [--names <folder>] [-o <output.txt>]\n"
    "                          check an atlas table as \"check\" does and print its entries (names from the\n"
    "                          images of the folder)\n"
    "       atlasc check <file.atf> [--names <folder>]\n"
    "                          check an atlas table with the engine's loader (an all-zero table is refused) and,\n"
    "                          with --names, that it holds every image of the folder; prints nothing when it does\n"
    "       atlasc content <description.json> -o <output folder> --scratch <folder> [--manifest <file>]\n"
    "                          make the images and atlases of a content description; the archive lines of what\n"
    "                          was written go to the manifest file\n"
    "       atlasc --help      print this text\n"
    "See Tools/atlasc/AtlasBuilder.h.\n";

const ClTool gc_tool("atlasc", gc_pszUSAGE);

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
  std::string output;
  std::string base;
  std::string names;
  std::string scratch;
  std::string manifest;
  std::string page;
  std::string padding;
  bool bNoTrim = false;
  const std::vector<SToolOption> options = {{"-o", &output, nullptr},         {"--base", &base, nullptr},
                                            {"--names", &names, nullptr},     {"--scratch", &scratch, nullptr},
                                            {"--manifest", &manifest, nullptr}, {"--page", &page, nullptr},
                                            {"--padding", &padding, nullptr}, {"--no-trim", nullptr, &bNoTrim}};
  return gc_tool.main(argc, argv,
                      {{"pack", options, 1}, {"list", options, 1}, {"check", options, 1}, {"content", options, 1}},
                      [&](const SToolCommandLine& line) {
    const std::string& input = line.input();
    SAtlasPackOptions packing;
    if (!page.empty() && !parseInt(page, 16, 8192, &packing.iPageSize)) {
      return gc_tool.usageError("--page takes 16 to 8192");
    }
    if (!padding.empty() && !parseInt(padding, 0, 16, &packing.iPadding)) {
      return gc_tool.usageError("--padding takes 0 to 16");
    }
    packing.bTrim = !bNoTrim;
    if (input.empty()) return gc_tool.usageError("no input");
    std::string error;
    if (line.command == "pack") {
      if (output.empty() || base.empty()) return gc_tool.usageError("pack needs -o and --base");
      std::vector<std::string> written;
      return AtlasPackFolder(input, output, base, packing, &written, &error) ? 0 : ClTool::fail(error);
    }
    if (line.command == "list" || line.command == "check") {
      std::string bytes;
      if (std::string refused; !ToolReadInput(input, &bytes, &refused)) return ClTool::fail(refused);
      std::vector<std::string> imageNames;
      if (!names.empty()) {
        std::error_code folderError;
        for (const auto& entry : std::filesystem::directory_iterator(names, folderError)) {
          imageNames.push_back(entry.path().stem().string());
        }
        if (folderError) return ClTool::fail(names + ": error: cannot read the folder");
      }
      const std::vector<uint8_t> file(bytes.begin(), bytes.end());
      std::string text;
      const bool bGood = line.command == "check" ? AtlasCheck(file, imageNames, &error)
                                                 : AtlasList(file, imageNames, &text, &error);
      if (!bGood) return ClTool::fail(input + ": error: " + error);
      return line.command == "check" ? 0 : ClTool::writeOutput(output, text);
    }
    // The one command left: content.
    if (output.empty() || scratch.empty()) return gc_tool.usageError("content needs -o and --scratch");
    std::string lines;
    if (!AtlasMakeContent(input, output, scratch, &lines, &error)) return ClTool::fail(error);
    return manifest.empty() ? 0 : ClTool::writeOutput(manifest, lines);
  });
}
