// Bloom, the Gaussian passes: 15 taps along one axis at g_av2BlurOffsets (texture coordinates in x and y) weighted
// by g_afBlurWeights; the bloom set-up runs it once across and once down.
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

void main() {
  vec3 sum = vec3(0.0);
  for (int i = 0; i < 15; ++i) {
    sum += texture(g_tSource, v_uv + g_av2BlurOffsets[i].xy).rgb * g_afBlurWeights[i];
  }
  out_Color = vec4(sum, 1.0);
}
%}
