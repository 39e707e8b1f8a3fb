// Textured quads of the bonus stage's 3D street: the premultiplied blend of "system_blend_premult", but depth-tested
// and depth-writing so that the quads hide one another by distance whatever order they are drawn in.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tDiffuse < string Name = "diffuse"; >;

technique BlendPremultZWrite {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = ONE;
    DestBlend = INVSRCALPHA;
    ZEnable = TRUE;
    ZWriteEnable = TRUE;
    ZFunc = LESSEQUAL;
    // Fully transparent texels neither draw nor hide what lies behind them.
    AlphaTestEnable = TRUE;
    AlphaFunc = GREATER;
    AlphaRef = 0;
    CullMode = NONE;
    sampler g_tDiffuse { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Textured;
    PixelShader = PS_Premult;
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

fragment PS_Premult %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  vec4 tint = vec4(v_color.rgb * v_color.a, v_color.a);
  out_Color = texture(g_tDiffuse, v_uv) * tint;
}
%}
