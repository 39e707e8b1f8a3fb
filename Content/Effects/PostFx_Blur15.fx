// Bloom, the Gaussian passes: 15 taps along one axis at g_av2BlurOffsets (texture coordinates in x and y) weighted
// by g_afBlurWeights; the bloom set-up runs it once across and once down. The taps come as the centre, then the
// pairs +d and -d texels for d = 1..7. Two neighbouring taps on one side are read by one linearly filtered fetch
// between their texels, placed by their weights: the same sum from 9 fetches instead of 15.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
float g_afBlurWeights[15] : GLOBAL;
float4 g_av2BlurOffsets[15] : GLOBAL;
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

vec3 tap(int i) { return texture(g_tSource, v_uv + g_av2BlurOffsets[i].xy).rgb * g_afBlurWeights[i]; }

// Taps i and i + 2: d and d + 1 texels away on the same side, read between their texels.
vec3 pairedTaps(int i) {
  float weight = g_afBlurWeights[i] + g_afBlurWeights[i + 2];
  vec2 offset = (g_av2BlurOffsets[i].xy * g_afBlurWeights[i] + g_av2BlurOffsets[i + 2].xy * g_afBlurWeights[i + 2]) /
                max(weight, 1e-30);
  return texture(g_tSource, v_uv + offset).rgb * weight;
}

void main() {
  vec3 sum = tap(0) + pairedTaps(1) + pairedTaps(2) + pairedTaps(5) + pairedTaps(6) + pairedTaps(9) + pairedTaps(10) +
             tap(13) + tap(14);
  out_Color = vec4(sum, 1.0);
}
%}
