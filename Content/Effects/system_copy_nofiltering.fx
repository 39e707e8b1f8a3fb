// A texel-exact copy of a texture (a render target onto the screen, pixel art scaled by whole factors): point
// sampling, no blending, tinted by the vertex colour.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tSource < string Name = "texture00"; >;

technique CopyNoFiltering {
  pass P0 {
    AlphaBlendEnable = FALSE;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tSource { MinFilter = POINT; MagFilter = POINT; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Copy;
    PixelShader = PS_Copy;
  }
}

vertex VS_Copy %{
out vec4 v_color;
out vec2 v_uv;

void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_color = in_Color;
  v_uv = in_TexCoord0;
}
%}

fragment PS_Copy %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  out_Color = texture(g_tSource, v_uv) * v_color;
}
%}
