// The effect tool's compile of a source (parse and GLSL check with the reference compiler) at 1k, 4k and 16k
// parameters, each named by the code of a few of them. items_per_second (parameters a second of real time: the
// compiler runs in processes of its own) shows how the cost per parameter holds as effects grow: the aim is a time
// per parameter at 16k within 2x of that at 1k (the compiler's linker compares the uniforms of two stages pairwise,
// so linking texts that declare every parameter grew with the square of the count).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Tools/fxoc/FxoSource.h"

namespace {

std::string source(int iParameters) {
  std::string text;
  for (int i = 0; i < iParameters; ++i) {
    text += "float4 g_v" + std::to_string(i) + " : PEROBJ < string Usage = \"texture" + std::to_string(i) + "\"; >;\n";
  }
  text += "technique T { pass P { VertexShader = VS; PixelShader = PS; } }\n";
  text += "vertex VS %{\nvoid main() { gl_Position = in_Position * g_v0.x; }\n%}\n";
  text += "fragment PS %{\nvoid main() { out_Color = g_v1 + g_v2; }\n%}\n";
  return text;
}

void BM_FxocCompile(benchmark::State& state) {
  const int iParameters = static_cast<int>(state.range(0));
  const std::string text = source(iParameters);
  const std::string scratch =
      (std::filesystem::temp_directory_path() / ("grindlow-fxoc-bench-" + std::to_string(iParameters))).string();
  for (auto _ : state) {
    SFxoSource compiled;
    std::string error;
    if (!FxoParseSource(text, "bench.fx", &compiled, &error) ||
        !FxoCheckGlsl(compiled, KV_GLSLANG, scratch, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    benchmark::DoNotOptimize(compiled.effect.parameters.data());
  }
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  state.SetItemsProcessed(state.iterations() * iParameters);
}
BENCHMARK(BM_FxocCompile)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
