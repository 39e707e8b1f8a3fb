// Everything the parameter scan looks for: the transform semantics, globals of each type, per-object values and
// textures by annotation (one texture named twice, the other under "refraction"), plus parameters it leaves alone.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;
float4x4 g_mWorld : WORLD;
float4x4 g_mViewProj : VIEWPROJ;
float g_afWeights[4] : GLOBAL;
float2 g_v2Global : GLOBAL;
float3 g_av3Global[2] : GLOBAL;
float4 g_v4Color : GLOBAL;
float4x4 g_mGlobal : GLOBAL;
float4 g_v4Tint : PEROBJ;
float g_afScale[3] : PEROBJ;
float g_fLowerCase : global;
float4 g_v4Untouched;
texture g_tMain < string Name = "diffuse"; string Other = "texture02"; >;
texture g_tSecond < string Usage = "refraction"; string Note = "not a sampler name"; >;

technique Scan {
  pass P0 {
    ZEnable = FALSE;
    CullMode = NONE;
    AlphaBlendEnable = TRUE;
    SrcBlend = ONE;
    DestBlend = ZERO;
    VertexShader = VS;
    PixelShader = PS;
  }
}

vertex VS %{
out vec2 v_uv;
void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_uv = in_TexCoord0;
}
%}

// The value of the globals and the per-object tint reach the pixels.
fragment PS %{
in vec2 v_uv;
void main() {
  out_Color = g_v4Color * g_v4Tint * vec4(g_afWeights[1], g_v2Global.y, g_av3Global[1].z, 1.0) + texture(g_tSecond, v_uv) * 0.0;
}
%}
