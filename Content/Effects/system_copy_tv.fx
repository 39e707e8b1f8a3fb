// The CRT copy of the frame onto the screen: the scene with its bloom, seen through a scanline mask and an RGB
// phosphor pattern that repeat over the screen pixel for pixel, tinted by the vertex colour (the fade).
//   texture00 half the sum of the scene and its blurred bright parts, made at the scene's size ("vosk_add_bloom"),
//   texture01 the bloom itself (added in texture00, so not read again for every screen pixel),
//   texture02 "TexturesUI/screen_mask", texture03 "TexturesUI/rgb": bound, but not read. Both masks repeat every three
//   pixels, so the fragments work them out from the pixel's position with the values the build gives those
//   textures (Content/Images/Content.json): a texture read per pixel each costs more across the screen.
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
out vec2 v_pixel;

void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_color = in_Color;
  v_uv = in_TexCoord0;
  // The quad is given in pixels of the target from its top-left corner, pixel centres on whole numbers: half a
  // pixel on, a fragment's position lies in the middle of its window pixel, far from any rounding edge.
  v_pixel = in_Position.xy + vec2(0.5);
}
%}

fragment PS_TV %{
in vec4 v_color;
in vec2 v_uv;
in vec2 v_pixel;

void main() {
  // The scene has no mipmaps: level 0, without the derivatives an implicit level needs.
  vec3 scene = min(textureLod(g_tScene, v_uv, 0.0).rgb * 2.0, vec3(1.0));
  // The window pixel's column and row, each modulo 3 (0, 1 or 2 exactly: a third of a whole number and a half is
  // never within a sixth of a whole number, so the division cannot round across one; negative positions too).
  vec2 cell = floor(v_pixel);
  vec2 phase = cell - 3.0 * floor((cell + vec2(0.5)) / 3.0);
  // The scanlines: two full rows, then one at 0x5A.
  float mask = phase.y > 1.5 ? 90.0 / 255.0 : 1.0;
  // The phosphor triads: red, green then blue at full, the other two at 0xA0.
  vec3 phosphor = vec3(160.0 / 255.0);
  if (phase.x < 0.5) {
    phosphor.r = 1.0;
  } else if (phase.x < 1.5) {
    phosphor.g = 1.0;
  } else {
    phosphor.b = 1.0;
  }
  out_Color = vec4(scene * mask * phosphor, 1.0) * v_color;
}
%}
