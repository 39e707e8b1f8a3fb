// The CRT copy of the frame onto the screen: the scene with its bloom, seen through a scanline mask and an RGB
// phosphor pattern that repeat over the screen pixel for pixel, tinted by the vertex colour (the fade).
//   texture00 half the sum of the scene and its blurred bright parts, made at the scene's size ("vosk_add_bloom"),
//   texture01 the bloom itself (added in texture00, so not read again for every screen pixel),
//   texture02 "TexturesUI/screen_mask", texture03 "TexturesUI/rgb".
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
out vec2 v_maskUV;
out vec2 v_phosphorUV;

void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_color = in_Color;
  v_uv = in_TexCoord0;
  // The quad is given in pixels of the target from its top-left corner, pixel centres on whole numbers: half a
  // pixel on, a position is the window position the masks repeat over. Placed here, the fragments only read.
  vec2 pixel = in_Position.xy + vec2(0.5);
  v_maskUV = pixel / vec2(textureSize(g_tScreenMask, 0));
  v_phosphorUV = pixel / vec2(textureSize(g_tRGB, 0));
}
%}

fragment PS_TV %{
in vec4 v_color;
in vec2 v_uv;
in vec2 v_maskUV;
in vec2 v_phosphorUV;

void main() {
  // The scene has no mipmaps: level 0, without the derivatives an implicit level needs.
  vec3 scene = min(textureLod(g_tScene, v_uv, 0.0).rgb * 2.0, vec3(1.0));
  vec3 mask = textureLod(g_tScreenMask, v_maskUV, 0.0).rgb;
  vec3 phosphor = textureLod(g_tRGB, v_phosphorUV, 0.0).rgb;
  out_Color = vec4(scene * mask * phosphor, 1.0) * v_color;
}
%}
