// fxoc: compiles effect sources (".fx") into compiled effects (".fxo"), checking their GLSL with the reference
// compiler, and prints compiled effects as source text.
#include <cstdio>
#include <string>
#include <vector>

#include "Tools/Common/ClTool.h"
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

const ClTool gc_tool("fxoc", gc_pszUSAGE);

std::string baseName(const std::string& path) {
  const size_t uiSlash = path.find_last_of('/');
  return uiSlash == std::string::npos ? path : path.substr(uiSlash + 1);
}

int dump(const std::string& path, const std::string& output) {
  std::string bytes;
  if (std::string refused; !ToolReadInput(path, &bytes, &refused)) return ClTool::fail(refused);
  SD3DXEffectDescription effect;
  std::string error;
  if (!D3DXEffectFileRead(bytes.data(), bytes.size(), &effect, &error)) {
    return ClTool::fail(path + ": error: " + error);
  }
  return ClTool::writeOutput(output, FxoDumpText(effect));
}

int compile(const std::string& input, std::string output, const std::string& glslang, std::string scratch) {
  if (output.empty()) output = ClTool::outputName(input, ".fxo");
  if (scratch.empty()) scratch = output + ".glsl";
  std::string text;
  std::string error;
  if (!ToolReadTextSource(input, &text, &error)) return ClTool::fail(error);
  SFxoSource source;
  if (!FxoParseSource(text, input, &source, &error)) return ClTool::fail(error);
  // The code keeps the source's file name only, so compiled files do not depend on where the tree lies.
  for (SD3DXEffectShader& shader : source.effect.shaders) shader.sourceFile = baseName(input);
  if (!FxoCheckGlsl(source, glslang, scratch, &error)) {
    // The compiler's own report, several lines as it wrote them.
    std::fprintf(stderr, "%s", error.c_str());
    return 1;
  }
  const std::vector<BYTE> image = D3DXEffectFileWrite(source.effect);
  return ClTool::writeOutput(output, image.data(), image.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  std::string dumpPath;
  std::string glslang = "glslangValidator";
  std::string scratch;
  const SToolCommand syntax = {nullptr,
                               {{"-o", &output, nullptr},
                                {"--dump", &dumpPath, nullptr},
                                {"--glslang", &glslang, nullptr},
                                {"--scratch", &scratch, nullptr}},
                               1};
  return gc_tool.main(argc, argv, {syntax}, [&](const SToolCommandLine& line) {
    const std::string& input = line.input();
    if (!dumpPath.empty()) return input.empty() ? dump(dumpPath, output) : gc_tool.usageError("--dump takes no source");
    if (input.empty()) return gc_tool.usageError("no input");
    return compile(input, output, glslang, scratch);
  });
}
