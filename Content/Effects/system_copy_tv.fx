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
  // The scene and its bloom have no mipmaps: level 0, without the derivatives an implicit level needs.
  vec3 scene = textureLod(g_tScene, v_uv, 0.0).rgb + textureLod(g_tBloom, v_uv, 0.0).rgb;
  vec3 mask = textureLod(g_tScreenMask, v_maskUV, 0.0).rgb;
  vec3 phosphor = textureLod(g_tRGB, v_phosphorUV, 0.0).rgb;
  out_Color = vec4(min(scene, vec3(1.0)) * mask * phosphor, 1.0) * v_color;
}
%}
