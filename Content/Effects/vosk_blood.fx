// Blood drops and decals: the image in its own colour, modulated by the vertex colour (flying drops are drawn
// greyer than landed ones) and faded by its alpha.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tDiffuse < string Name = "diffuse"; >;

technique Blood {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = ONE;
    DestBlend = INVSRCALPHA;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tDiffuse { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Textured;
    PixelShader = PS_Blood;
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

fragment PS_Blood %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  vec4 tint = vec4(v_color.rgb * v_color.a, v_color.a);
  out_Color = texture(g_tDiffuse, v_uv) * tint;
}
%}
