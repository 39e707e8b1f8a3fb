// The bright phase of a blinking projectile (the draw alternates it with the plain blend): the premultiplied image
// pushed most of the way to white; tinted and faded by the vertex colour.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tDiffuse < string Name = "diffuse"; >;

technique Bullet {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = ONE;
    DestBlend = INVSRCALPHA;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tDiffuse { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    VertexShader = VS_Textured;
    PixelShader = PS_Bullet;
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

fragment PS_Bullet %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  vec4 texel = texture(g_tDiffuse, v_uv);
  vec4 tint = vec4(v_color.rgb * v_color.a, v_color.a);
  out_Color = vec4(mix(texel.rgb, vec3(texel.a), 0.75), texel.a) * tint;
}
%}
