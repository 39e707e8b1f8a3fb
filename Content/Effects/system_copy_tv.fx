// The CRT copy of the frame onto the screen: the scene plus its bloom, seen through a scanline mask and an RGB
// phosphor pattern that repeat over the screen pixel for pixel, tinted by the vertex colour (the fade).
//   texture00 the scene, texture01 its blurred bright parts, texture02 "TexturesUI/screen_mask",
//   texture03 "TexturesUI/rgb".
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
texture g_tScene < string Name = "texture00"; >;
texture g_tBloom < string Name = "texture01"; >;
texture g_tScreenMask < string Name = "texture02"; >;
texture g_tRGB < string Name = "texture03"; >;

technique CopyTV {
  pass P0 {
    AlphaBlendEnable = FALSE;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
    CullMode = NONE;
    sampler g_tScene { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    sampler g_tBloom { MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; }
    sampler g_tScreenMask { MinFilter = POINT; MagFilter = POINT; MipFilter = NONE; AddressU = WRAP; AddressV = WRAP; }
    sampler g_tRGB { MinFilter = POINT; MagFilter = POINT; MipFilter = NONE; AddressU = WRAP; AddressV = WRAP; }
    VertexShader = VS_Copy;
    PixelShader = PS_TV;
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

fragment PS_TV %{
in vec4 v_color;
in vec2 v_uv;

void main() {
  vec3 scene = texture(g_tScene, v_uv).rgb + texture(g_tBloom, v_uv).rgb;
  // Render targets keep their top row first, so the window position counts pixels from the top-left corner as
  // the masks are drawn.
  vec2 pixel = gl_FragCoord.xy;
  vec3 mask = texture(g_tScreenMask, pixel / vec2(textureSize(g_tScreenMask, 0))).rgb;
  vec3 phosphor = texture(g_tRGB, pixel / vec2(textureSize(g_tRGB, 0))).rgb;
  out_Color = vec4(min(scene, vec3(1.0)) * mask * phosphor, 1.0) * v_color;
}
%}
