// Drop shadows under the world's entities: any image becomes a dark translucent silhouette on the ground (its
// texels' coverage, in black, doubled so that the faint shadow images read on a dark street), faded by the vertex
// alpha. Premultiplied blend, so black with alpha a darkens what lies under it by a.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tDiffuse < string Name = "diffuse"; >;

technique Shadow {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = ONE;
    DestBlend = INVSRCALPHA;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tDiffuse { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Textured;
    PixelShader = PS_Shadow;
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

fragment PS_Shadow %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  // Never fully black: a lane line or a crate under a shadow still reads.
  out_Color = vec4(0.0, 0.0, 0.0, min(texture(g_tDiffuse, v_uv).a * 2.0, 0.75) * v_color.a);
}
%}
