// 17 per-object parameters: one more than a shader holds.
float4 g_v4PerObj00 : PEROBJ;
float4 g_v4PerObj01 : PEROBJ;
float4 g_v4PerObj02 : PEROBJ;
float4 g_v4PerObj03 : PEROBJ;
float4 g_v4PerObj04 : PEROBJ;
float4 g_v4PerObj05 : PEROBJ;
float4 g_v4PerObj06 : PEROBJ;
float4 g_v4PerObj07 : PEROBJ;
float4 g_v4PerObj08 : PEROBJ;
float4 g_v4PerObj09 : PEROBJ;
float4 g_v4PerObj10 : PEROBJ;
float4 g_v4PerObj11 : PEROBJ;
float4 g_v4PerObj12 : PEROBJ;
float4 g_v4PerObj13 : PEROBJ;
float4 g_v4PerObj14 : PEROBJ;
float4 g_v4PerObj15 : PEROBJ;
float4 g_v4PerObj16 : PEROBJ;
technique T { pass P0 { VertexShader = VS; PixelShader = PS; } }
vertex VS %{
void main() { gl_Position = in_Position; }
%}

fragment PS %{
void main() { out_Color = vec4(1.0); }
%}
