// The player in a power state: the premultiplied image brightened with a warm golden glow (added, not mixed, so the
// character keeps its own colours under the glow); tinted and faded by the vertex colour.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tDiffuse < string Name = "diffuse"; >;

technique StarWorld {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = ONE;
    DestBlend = INVSRCALPHA;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tDiffuse { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Textured;
    PixelShader = PS_StarWorld;
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

fragment PS_StarWorld %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  vec4 texel = texture(g_tDiffuse, v_uv);
  vec3 glow = vec3(0.45, 0.35, 0.05) * texel.a;
  vec4 tint = vec4(v_color.rgb * v_color.a, v_color.a);
  out_Color = vec4(min(texel.rgb + glow, vec3(texel.a)), texel.a) * tint;
}
%}
