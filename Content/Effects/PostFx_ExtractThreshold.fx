// Bloom, first step: the scene shrunk into a smaller target (linear filtering does the averaging) keeping only
// what is brighter than g_fBlurThreshold, rescaled to 0..1.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
float g_fBlurThreshold : GLOBAL;
texture g_tSource < string Name = "texture00"; >;

technique ExtractThreshold {
  pass P0 {
    AlphaBlendEnable = FALSE;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tSource { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Copy;
    PixelShader = PS_Extract;
  }
}

vertex VS_Copy %{
out vec2 v_uv;

void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_uv = in_TexCoord0;
}
%}

fragment PS_Extract %{
in vec2 v_uv;

void main() {
  vec3 color = texture(g_tSource, v_uv).rgb;
  float range = max(1.0 - g_fBlurThreshold, 0.0001);
  out_Color = vec4(max(color - vec3(g_fBlurThreshold), vec3(0.0)) / range, 1.0);
}
%}
