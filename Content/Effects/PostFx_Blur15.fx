// Bloom, the Gaussian passes: 15 taps along one axis at g_av2BlurOffsets (texture coordinates in x and y) weighted
// by g_afBlurWeights; the bloom set-up runs it once across and once down. The pass reads them as folded by the
// set-up into g_avBlurFetches (x, y the offset, z the weight; g_fBlurFetchCount of them): two neighbouring taps on
// one side by one linearly filtered fetch between their texels, placed by their weights, and taps too light to
// change an 8-bit output left out (the narrow bloom needs 5 fetches instead of 15).
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
float g_afBlurWeights[15] : GLOBAL;
float4 g_av2BlurOffsets[15] : GLOBAL;
float4 g_avBlurFetches[9] : GLOBAL;
float g_fBlurFetchCount : GLOBAL;
texture g_tSource < string Name = "texture00"; >;

technique Blur15 {
  pass P0 {
    AlphaBlendEnable = FALSE;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tSource { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Copy;
    PixelShader = PS_Blur;
  }
}

vertex VS_Copy %{
out vec2 v_uv;

void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_uv = in_TexCoord0;
}
%}

fragment PS_Blur %{
in vec2 v_uv;

void main() {
  // A loop bound the compiler cannot know: the pass runs as many fetches as were set, not the most there can be.
  // The build makes this pass once more for each count with the bound a constant ("PostFx_Blur15_Fetches<n>").
  vec3 sum = vec3(0.0);
  int count = int(g_fBlurFetchCount);
  for (int i = 0; i < count; ++i) {
    sum += textureLod(g_tSource, v_uv + g_avBlurFetches[i].xy, 0.0).rgb * g_avBlurFetches[i].z;
  }
  out_Color = vec4(sum, 1.0);
}
%}
