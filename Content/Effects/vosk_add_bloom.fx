// The scene with its bloom added, at the scene's size: the CRT copy then reads one filtered texture across the
// screen instead of two. Both are read texel for texel (the same size, point sampling). The sum is kept at half its
// value so that it fits 8 bits unclamped: the copy filters the sum as it filtered the two, then doubles and clamps.
//   texture00 the scene, texture01 its blurred bright parts.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tScene < string Name = "texture00"; >;
texture g_tBloom < string Name = "texture01"; >;

technique AddBloom {
  pass P0 {
    AlphaBlendEnable = FALSE;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tScene { MinFilter = POINT; MagFilter = POINT; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    sampler g_tBloom { MinFilter = POINT; MagFilter = POINT; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Copy;
    PixelShader = PS_AddBloom;
  }
}

vertex VS_Copy %{
out vec2 v_uv;

void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_uv = in_TexCoord0;
}
%}

fragment PS_AddBloom %{
in vec2 v_uv;

void main() {
  vec3 lit = textureLod(g_tScene, v_uv, 0.0).rgb + textureLod(g_tBloom, v_uv, 0.0).rgb;
  out_Color = vec4(lit * 0.5, 1.0);
}
%}
