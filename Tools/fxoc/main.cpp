// fxoc: compiles effect sources (".fx") into compiled effects (".fxo"), checking their GLSL with the reference
// compiler, and prints compiled effects as source text.
#include <cstdio>
#include <string>
#include <vector>

#include "Tools/Common/ToolArgs.h"
#include "Tools/Common/ToolText.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolText.h"
#include "Tools/fxoc/FxoSource.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: fxoc [-o <output.fxo>] [--glslang <path>] [--scratch <dir>] <input.fx>\n"
    "                          compile an effect source; the GLSL code is checked with glslangValidator (or the\n"
    "                          given compiler) in the scratch folder (default: the output's name + \".glsl\")\n"
    "       fxoc --dump <file.fxo> [-o <output.fx>]\n"
    "                          load a compiled effect with the stand-in's reader and print it as source text\n"
    "       fxoc --help        print this text\n"
    "\n"
    "A source: parameter declarations (float, float2..4, float4x4, texture, texture2D, textureCUBE; arrays;\n"
    "\": SEMANTIC\"; < string Name = \"value\"; > annotations), one technique of passes (render states,\n"
    "\"sampler <texture> { states }\", VertexShader = <name>; PixelShader = <name>;) and code blocks\n"
    "\"vertex <name> %{ GLSL %}\" / \"fragment <name> %{ GLSL %}\". See Tools/fxoc/FxoSource.h.\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "fxoc: %s\n%s", message.c_str(), gc_pszUSAGE);
  return 2;
}

std::string baseName(const std::string& path) {
  const size_t uiSlash = path.find_last_of('/');
  return uiSlash == std::string::npos ? path : path.substr(uiSlash + 1);
}

int dump(const std::string& path, const std::string& output) {
  std::string bytes;
  if (!ToolReadFile(path, &bytes)) {
    std::fprintf(stderr, "%s: error: cannot open the file\n", path.c_str());
    return 1;
  }
  SD3DXEffectDescription effect;
  std::string error;
  if (!D3DXEffectFileRead(bytes.data(), bytes.size(), &effect, &error)) {
    std::fprintf(stderr, "%s: error: %s\n", path.c_str(), ToolEscapeText(error).c_str());
    return 1;
  }
  const std::string text = FxoDumpText(effect);
  if (output.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
  } else if (!ToolWriteFile(output, text.data(), text.size())) {
    std::fprintf(stderr, "%s: error: cannot write the file\n", output.c_str());
    return 1;
  }
  return 0;
}

int compile(const std::string& input, std::string output, const std::string& glslang, std::string scratch) {
  if (output.empty()) {
    const size_t uiDot = input.find_last_of('.');
    const size_t uiSlash = input.find_last_of('/');
    output = (uiDot != std::string::npos && (uiSlash == std::string::npos || uiDot > uiSlash) ? input.substr(0, uiDot)
                                                                                               : input) +
             ".fxo";
  }
  if (scratch.empty()) scratch = output + ".glsl";
  std::string text;
  std::string error;
  if (!ToolReadTextSource(input, &text, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  SFxoSource source;
  if (!FxoParseSource(text, input, &source, &error)) {
    std::fprintf(stderr, "%s\n", ToolEscapeText(error).c_str());
    return 1;
  }
  // The code keeps the source's file name only, so compiled files do not depend on where the tree lies.
  for (SD3DXEffectShader& shader : source.effect.shaders) shader.sourceFile = baseName(input);
  if (!FxoCheckGlsl(source, glslang, scratch, &error)) {
    std::fprintf(stderr, "%s", error.c_str());
    return 1;
  }
  const std::vector<BYTE> image = D3DXEffectFileWrite(source.effect);
  if (!ToolWriteFile(output, image.data(), image.size())) {
    std::fprintf(stderr, "%s: error: cannot write the file\n", output.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string output;
  std::string dumpPath;
  std::string glslang = "glslangValidator";
  std::string scratch;
  std::string input;
  std::string error;
  const EToolArgs eParsed = ToolParseArguments(args, 0,
                                               {{"-o", &output, nullptr},
                                                {"--dump", &dumpPath, nullptr},
                                                {"--glslang", &glslang, nullptr},
                                                {"--scratch", &scratch, nullptr}},
                                               &input, &error);
  if (const int iExit = ToolArgsExitCode(eParsed, gc_pszUSAGE, [&] { return usageError(error); }); iExit >= 0) {
    return iExit;
  }
  if (!dumpPath.empty()) {
    return input.empty() ? dump(dumpPath, output) : usageError("--dump takes no source");
  }
  if (input.empty()) return usageError("no input");
  return compile(input, output, glslang, scratch);
}
