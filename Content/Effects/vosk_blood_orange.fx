// Orange blood (the game's gentler gore): the red blood images recoloured orange by their brightness, then modulated
// and faded by the vertex colour like the plain blood.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tDiffuse < string Name = "diffuse"; >;

technique BloodOrange {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = ONE;
    DestBlend = INVSRCALPHA;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tDiffuse { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Textured;
    PixelShader = PS_BloodOrange;
  }
}

vertex VS_Textured %{
out vec4 v_color;
out vec2 v_uv;

void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_color = in_Color;
  v_uv = in_TexCoord0;
}
%}

fragment PS_BloodOrange %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  vec4 texel = texture(g_tDiffuse, v_uv);
  // The brightest channel carries the shading of the red images; alpha keeps the result premultiplied.
  float shade = texel.a > 0.0 ? max(texel.r, max(texel.g, texel.b)) / texel.a : 0.0;
  vec3 orange = vec3(1.0, 0.55, 0.1) * min(shade * 1.4, 1.0) * texel.a;
  vec4 tint = vec4(v_color.rgb * v_color.a, v_color.a);
  out_Color = vec4(orange, texel.a) * tint;
}
%}
