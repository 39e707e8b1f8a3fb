// fontc: builds font families from real fonts (FreeType) and prints what a family or font file holds, as the
// engine's loader reads it.
#include <string>
#include <vector>

#include "Tools/Common/ClTool.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolJson.h"
#include "Tools/fontc/FontBuilder.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: fontc content <description.json> -o <output folder> [--fonts <folder>] [--manifest <file>]\n"
    "                          build the families of a description into <output>/Fonts and <output>/ImagesFonts;\n"
    "                          the archive lines of what was written go to the manifest file\n"
    "       fontc dump <file.kff | file.kcf> [-o <output.json>]\n"
    "                          check a family or font file with the engine's loader and print it as JSON\n"
    "       fontc --help       print this text\n"
    "See Tools/fontc/FontBuilder.h.\n";

const ClTool gc_tool("fontc", gc_pszUSAGE);

int dump(const std::string& input, const std::string& output) {
  std::string bytes;
  if (std::string refused; !ToolReadInput(input, &bytes, &refused)) return ClTool::fail(refused);
  const std::vector<uint8_t> file(bytes.begin(), bytes.end());
  const bool bFamily = input.size() >= 4 && input.compare(input.size() - 4, 4, ".kff") == 0;
  const bool bFont = input.size() >= 4 && input.compare(input.size() - 4, 4, ".kcf") == 0;
  if (!bFamily && !bFont) return gc_tool.usageError("dump reads a .kff or a .kcf file");
  nlohmann::ordered_json json;
  std::string error;
  if (!(bFamily ? FontDumpFamily(file, input, &json, &error) : FontDumpFont(file, input, &json, &error))) {
    return ClTool::fail(error);
  }
  return ClTool::writeOutput(output, ToolJsonDump(json));
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  std::string fonts = "/usr/share/fonts/truetype";
  std::string manifest;
  const std::vector<SToolOption> options = {
      {"-o", &output, nullptr}, {"--fonts", &fonts, nullptr}, {"--manifest", &manifest, nullptr}};
  return gc_tool.main(argc, argv, {{"content", options, 1}, {"dump", options, 1}}, [&](const SToolCommandLine& line) {
    const std::string& input = line.input();
    if (input.empty()) return gc_tool.usageError("no input");
    if (line.command == "dump") return dump(input, output);
    if (output.empty()) return gc_tool.usageError("content needs -o");
    std::string lines;
    std::string error;
    if (!FontMakeContent(input, output, fonts, &lines, &error)) return ClTool::fail(error);
    return manifest.empty() ? 0 : ClTool::writeOutput(manifest, lines);
  });
}
