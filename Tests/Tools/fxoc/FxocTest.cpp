// The effect tool: sources compile into effects the stand-in reads, dumps compile back to the same effect, and bad
// sources and GLSL code are refused with the file, line and column of the fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Tests/Support/KvTestSupport.h"
#include "Tools/fxoc/FxoSource.h"

namespace {

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// A valid effect; the cases below change one thing in it.
constexpr const char* gc_pGOOD = R"(float4x4 g_mWVP : WORLDVIEWPROJ;
texture g_tDiffuse < string Name = "diffuse"; >;
technique T {
  pass P0 {
    SrcBlend = ONE;
    sampler g_tDiffuse { MinFilter = LINEAR; }
    VertexShader = VS;
    PixelShader = PS;
  }
}
vertex VS %{
out vec2 v_uv;
void main() {
  gl_Position = g_mWVP * in_Position;
  v_uv = in_TexCoord0;
}
%}
fragment PS %{
in vec2 v_uv;
void main() {
  out_Color = texture(g_tDiffuse, v_uv);
}
%}
)";

std::string replaced(const std::string& text, const std::string& from, const std::string& to) {
  std::string out = text;
  const size_t uiAt = out.find(from);
  EXPECT_NE(uiAt, std::string::npos) << from;
  if (uiAt != std::string::npos) out.replace(uiAt, from.size(), to);
  return out;
}

// The engine's effects compile, load with the stand-in's reader, and their dumps compile to the same effects.
TEST(Fxoc, EngineEffectsRoundTripThroughTheirDumps) {
  for (const auto& file : std::filesystem::directory_iterator(KV_EFFECTS_DIR)) {
    if (file.path().extension() != ".fxo") continue;
    const std::string bytes = KvTestFileBytes(file.path().string());
    SD3DXEffectDescription effect;
    std::string error;
    ASSERT_TRUE(D3DXEffectFileRead(bytes.data(), bytes.size(), &effect, &error)) << file.path() << ": " << error;
    SFxoSource again;
    ASSERT_TRUE(FxoParseSource(FxoDumpText(effect), "dump.fx", &again, &error)) << error;
    for (size_t i = 0; i < effect.shaders.size(); ++i) {
      again.effect.shaders[i].sourceFile = effect.shaders[i].sourceFile;
      again.effect.shaders[i].uiFirstLine = effect.shaders[i].uiFirstLine;
    }
    EXPECT_EQ(D3DXEffectFileWrite(again.effect), std::vector<BYTE>(bytes.begin(), bytes.end())) << file.path();
  }
}

// Parameters, annotations, the technique's passes and states reach the compiled effect as written.
TEST(Fxoc, SourcesCompileIntoTheirDescriptions) {
  SFxoSource source;
  std::string error;
  ASSERT_TRUE(FxoParseSource(gc_pGOOD, "good.fx", &source, &error)) << error;
  const SD3DXEffectDescription& effect = source.effect;
  ASSERT_EQ(effect.parameters.size(), 2u);
  EXPECT_EQ(effect.parameters[0].eClass, D3DXPC_MATRIX_ROWS);
  EXPECT_EQ(effect.parameters[0].semantic, "WORLDVIEWPROJ");
  EXPECT_EQ(effect.parameters[1].annotations[0].value, "diffuse");
  ASSERT_EQ(effect.passes.size(), 1u);
  EXPECT_EQ(effect.passes[0].renderStates[0].dwState, static_cast<DWORD>(D3DRS_SRCBLEND));
  EXPECT_EQ(effect.passes[0].renderStates[0].dwValue, static_cast<DWORD>(D3DBLEND_ONE));
  EXPECT_EQ(effect.passes[0].samplerStates[0].uiParameter, 1u);
  EXPECT_EQ(effect.passes[0].samplerStates[0].dwValue, static_cast<DWORD>(D3DTEXF_LINEAR));
  EXPECT_EQ(effect.shaders[0].uiFirstLine, 11u) << "the code starts right after \"%{\"";
  const std::string dir = KvTestTempDir("glsl-good");
  EXPECT_TRUE(FxoCheckGlsl(source, KV_GLSLANG, dir, &error)) << error;
}

// Every fault of a source names its file, line and column; GLSL faults of a source that reads come back at their
// line and column of the source too, and stages that do not connect are found.
TEST(Fxoc, BadSourcesAndGlslFaultsAreRefusedAtTheirPlace) {
  struct SCase {
    std::string text;
    const char* pLocation;
    const char* pMessage;
    bool bGlsl = false;  // the source reads; its GLSL code is what is refused
  };
  const std::string good = gc_pGOOD;
  const SCase aCases[] = {
      {replaced(good, "SrcBlend = ONE;", "SrcBlend = ONCE;"), "good.fx:5:16:", "\"ONCE\" is not a value of SrcBlend"},
      {replaced(good, "SrcBlend", "SourceBlend"), "good.fx:5:5:", "unknown render state \"SourceBlend\""},
      {replaced(good, "float4x4 g_mWVP", "float5 g_mWVP"), "good.fx:1:1:", "unknown parameter type \"float5\""},
      {replaced(good, "WORLDVIEWPROJ;", "WORLDVIEWPROJ"), "good.fx:2:1:", "expected ';'"},
      {replaced(good, "float4x4 g_mWVP", "float4x4 in_WVP"), "good.fx:1:10:", "not a name a parameter may have"},
      {replaced(good, "texture g_tDiffuse <", "float4x4 g_mWVP; texture g_tDiffuse <"), "good.fx:2:10:", "declared twice"},
      {replaced(good, "PixelShader = PS;", "PixelShader = VS;"), "good.fx:8:19:", "vertex code, not fragment code"},
      {replaced(good, "PixelShader = PS;", "PixelShader = Nothing;"), "good.fx:8:19:", "no code block is called"},
      {replaced(good, "    PixelShader = PS;\n", ""), "good.fx:4:8:", "needs a VertexShader and a PixelShader"},
      {replaced(good, "sampler g_tDiffuse", "sampler g_mWVP"), "good.fx:6:13:", "is not a texture parameter"},
      {good + "technique U { pass P { VertexShader = VS; PixelShader = PS; } }\n", "good.fx:24:1:", "one technique"},
      {good.substr(0, good.rfind("%}")), "good.fx:18:13:", "no closing \"%}\""},
      {replaced(good, "string Name", "float Name"), "good.fx:2:22:", "annotations are strings"},
      {replaced(good, "out vec2 v_uv;", "#version 330\nout vec2 v_uv;"), "good.fx:11:", "GLSL version"},
      {replaced(good, "texture(g_tDiffuse, v_uv)", "texture(g_tDifuse, v_uv)"), "good.fx:21:23:", "undeclared identifier",
       true},
      {replaced(good, "v_uv = in_TexCoord0;", "v_uv = in_TexCoord0"), "good.fx:", "error:", true},
      {replaced(replaced(good, "in vec2 v_uv;", "in vec2 v_uv2;"), "g_tDiffuse, v_uv)", "g_tDiffuse, v_uv2)"),
       "good.fx:19:9:", "fragment input 'v_uv2' (vec2) has no vertex output of that name and type in VS", true},
      // A parameter no code names is still declared in every shader's whole text, which must compile.
      {replaced(good, "texture g_tDiffuse", "float highp;\ntexture g_tDiffuse"), "good.fx:", "VS: ", true},
  };
  for (const SCase& c : aCases) {
    SFxoSource source;
    std::string error;
    const bool bRead = FxoParseSource(c.text, "good.fx", &source, &error);
    if (c.bGlsl) {
      ASSERT_TRUE(bRead) << error;
      EXPECT_FALSE(FxoCheckGlsl(source, KV_GLSLANG, KvTestTempDir("glsl-bad"), &error)) << c.pMessage;
    } else {
      EXPECT_FALSE(bRead) << c.pMessage;
    }
    EXPECT_EQ(error.rfind(c.pLocation, 0), 0u) << error;
    EXPECT_NE(error.find(c.pMessage), std::string::npos) << error;
  }
  SFxoSource source;
  std::string error;
  ASSERT_TRUE(FxoParseSource(good, "good.fx", &source, &error));
  EXPECT_FALSE(FxoCheckGlsl(source, "/nonexistent/glslangValidator", KvTestTempDir("glsl-none"), &error));
  EXPECT_NE(error.find("cannot run the GLSL compiler"), std::string::npos) << error;
}

// The command line: help, a compile, a dump, a refused source that leaves no output, and bad arguments.
TEST(Fxoc, CommandLine) {
  EXPECT_EQ(KvTestRunTool(KvTestShellQuote(FXOC_PATH) + " --help").iExit, 0);
  EXPECT_EQ(KvTestRunTool(KvTestShellQuote(FXOC_PATH) + " --bogus").iExit, 2);
  const std::string dir = KvTestTempDir("fxoc-cli");
  writeText(dir + "/good.fx", gc_pGOOD);
  const std::string tool = KvTestShellQuote(FXOC_PATH) + " --glslang " + KV_GLSLANG + " ";
  SKvToolRun run = KvTestRunTool(tool + "-o " + dir + "/good.fxo " + dir + "/good.fx");
  ASSERT_EQ(run.iExit, 0) << run.out;
  run = KvTestRunTool(KvTestShellQuote(FXOC_PATH) + " --dump " + dir + "/good.fxo");
  ASSERT_EQ(run.iExit, 0) << run.out;
  EXPECT_NE(run.out.find("texture g_tDiffuse < string Name = \"diffuse\"; >;"), std::string::npos) << run.out;
  writeText(dir + "/bad.fx", replaced(gc_pGOOD, "SrcBlend = ONE;", "SrcBlend = ONCE;"));
  run = KvTestRunTool(tool + "-o " + dir + "/bad.fxo " + dir + "/bad.fx");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("bad.fx:5:16: error:"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(dir + "/bad.fxo"));
  writeText(dir + "/broken.fxo", "GFXO and nothing more");
  run = KvTestRunTool(KvTestShellQuote(FXOC_PATH) + " --dump " + dir + "/broken.fxo");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("broken.fxo: error:"), std::string::npos) << run.out;

  // Control bytes from a file reach the terminal escaped: in a source, and in a compiled effect's names.
  writeText(dir + "/escape.fx", replaced(gc_pGOOD, "SrcBlend = ONE;", "SrcBlend = ONE;\x1b[2J"));
  run = KvTestRunTool(tool + "-o " + dir + "/escape.fxo " + dir + "/escape.fx");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("escape.fx:5:20: error: unexpected character '\\x1B'"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
  std::string image = KvTestFileBytes(dir + "/good.fxo");
  const size_t uiName = image.find("g_mWVP");
  ASSERT_NE(uiName, std::string::npos);
  image[uiName + 1] = '\x1b';
  writeText(dir + "/escape.fxo", image);
  run = KvTestRunTool(KvTestShellQuote(FXOC_PATH) + " --dump " + dir + "/escape.fxo");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("g\\x1BmWVP"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
}

}  // namespace
