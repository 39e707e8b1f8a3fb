// fontc: builds font families from real fonts (FreeType) and prints what a family or font file holds, as the
// engine's loader reads it.
#include <cstdio>
#include <string>
#include <vector>

#include "Tools/Common/ToolArgs.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolJson.h"
#include "Tools/Common/ToolText.h"
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

int usageError(const std::string& problem) { return ToolUsageError("fontc", problem, gc_pszUSAGE); }

int dump(const std::string& input, const std::string& output) {
  std::string bytes;
  if (!ToolReadFile(input, &bytes)) {
    ToolPrintError(input + ": error: cannot read the file");
    return 1;
  }
  const std::vector<uint8_t> file(bytes.begin(), bytes.end());
  const bool bFamily = input.size() >= 4 && input.compare(input.size() - 4, 4, ".kff") == 0;
  const bool bFont = input.size() >= 4 && input.compare(input.size() - 4, 4, ".kcf") == 0;
  if (!bFamily && !bFont) return usageError("dump reads a .kff or a .kcf file");
  nlohmann::ordered_json json;
  std::string error;
  if (!(bFamily ? FontDumpFamily(file, input, &json, &error) : FontDumpFont(file, input, &json, &error))) {
    ToolPrintError(error);
    return 1;
  }
  const std::string text = ToolJsonDump(json);
  if (output.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
  } else if (!ToolWriteFile(output, text.data(), text.size())) {
    ToolPrintError(output + ": error: cannot write the file");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return ToolRunMain("fontc", [&] {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string command;
    std::string error;
    const EToolArgs eParsed = ToolParseCommand(args, {"content", "dump"}, &command, &error);
    if (const int iExit = ToolArgsExitCode(eParsed, gc_pszUSAGE, [&] { return usageError(error); }); iExit >= 0) {
      return iExit;
    }
    std::string input;
    std::string output;
    std::string fonts = "/usr/share/fonts/truetype";
    std::string manifest;
    const EToolArgs eOptions = ToolParseArguments(
        args, 1, {{"-o", &output, nullptr}, {"--fonts", &fonts, nullptr}, {"--manifest", &manifest, nullptr}}, &input,
        &error);
    if (const int iExit = ToolArgsExitCode(eOptions, gc_pszUSAGE, [&] { return usageError(error); }); iExit >= 0) {
      return iExit;
    }
    if (input.empty()) return usageError("no input");
    if (command == "dump") return dump(input, output);
    if (output.empty()) return usageError("content needs -o");
    std::string lines;
    if (!FontMakeContent(input, output, fonts, &lines, &error)) {
      ToolPrintError(error);
      return 1;
    }
    if (!manifest.empty() && !ToolWriteFile(manifest, lines.data(), lines.size())) {
      ToolPrintError(manifest + ": error: cannot write the file");
      return 1;
    }
    return 0;
  });
}
