// Untextured quads of the bonus stage's 3D street (the bullets' lines): the vertex colour alpha blended as in
// "system_blend_color", but depth-tested and depth-writing like the textured quads around them.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;

technique BlendColorZWrite {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = SRCALPHA;
    DestBlend = INVSRCALPHA;
    ZEnable = TRUE;
    ZWriteEnable = TRUE;
    ZFunc = LESSEQUAL;
    // Fully transparent fragments neither draw nor hide what lies behind them.
    AlphaTestEnable = TRUE;
    AlphaFunc = GREATER;
    AlphaRef = 0;
    CullMode = NONE;
    VertexShader = VS_Color;
    PixelShader = PS_Color;
  }
}

vertex VS_Color %{
out vec4 v_color;

void main() {
  gl_Position = g_mWorldViewProj * vec4(in_Position.xyz, 1.0);
  v_color = in_Color;
}
%}

fragment PS_Color %{
in vec4 v_color;

void main() {
  out_Color = v_color;
}
%}
