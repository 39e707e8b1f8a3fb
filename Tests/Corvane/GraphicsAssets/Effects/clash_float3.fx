// Declares g_vShared as float3; clash_float4.fx declares it as float4.
float3 g_vShared : GLOBAL;
technique T { pass P0 { VertexShader = VS; PixelShader = PS; } }
vertex VS %{
void main() { gl_Position = in_Position; }
%}

fragment PS %{
void main() { out_Color = vec4(1.0); }
%}
