// Solid rectangles of the UI and the 2D batches: the vertex colour, alpha blended over the target.
float4x4 g_mWorldViewProj : WORLDVIEWPROJ;

technique BlendColor {
  pass P0 {
    AlphaBlendEnable = TRUE;
    SrcBlend = SRCALPHA;
    DestBlend = INVSRCALPHA;
    ZEnable = FALSE;
    ZWriteEnable = FALSE;
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
