// Star enemies and pickups: the premultiplied image pulled halfway towards gold, so that they stand out among the
// plain enemies whatever their own colours; tinted and faded by the vertex colour.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tDiffuse < string Name = "diffuse"; >;

technique Star {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = ONE;
    DestBlend = INVSRCALPHA;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tDiffuse { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Textured;
    PixelShader = PS_Star;
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

fragment PS_Star %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  vec4 texel = texture(g_tDiffuse, v_uv);
  // Gold scaled by the texel's alpha stays premultiplied.
  vec3 gold = vec3(1.0, 0.82, 0.25) * texel.a;
  vec4 tint = vec4(v_color.rgb * v_color.a, v_color.a);
  out_Color = vec4(mix(texel.rgb, gold, 0.5), texel.a) * tint;
}
%}
