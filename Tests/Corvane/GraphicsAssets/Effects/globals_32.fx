// 32 globals: as many as a shader holds.
float g_fGlobal00 : GLOBAL;
float g_fGlobal01 : GLOBAL;
float g_fGlobal02 : GLOBAL;
float g_fGlobal03 : GLOBAL;
float g_fGlobal04 : GLOBAL;
float g_fGlobal05 : GLOBAL;
float g_fGlobal06 : GLOBAL;
float g_fGlobal07 : GLOBAL;
float g_fGlobal08 : GLOBAL;
float g_fGlobal09 : GLOBAL;
float g_fGlobal10 : GLOBAL;
float g_fGlobal11 : GLOBAL;
float g_fGlobal12 : GLOBAL;
float g_fGlobal13 : GLOBAL;
float g_fGlobal14 : GLOBAL;
float g_fGlobal15 : GLOBAL;
float g_fGlobal16 : GLOBAL;
float g_fGlobal17 : GLOBAL;
float g_fGlobal18 : GLOBAL;
float g_fGlobal19 : GLOBAL;
float g_fGlobal20 : GLOBAL;
float g_fGlobal21 : GLOBAL;
float g_fGlobal22 : GLOBAL;
float g_fGlobal23 : GLOBAL;
float g_fGlobal24 : GLOBAL;
float g_fGlobal25 : GLOBAL;
float g_fGlobal26 : GLOBAL;
float g_fGlobal27 : GLOBAL;
float g_fGlobal28 : GLOBAL;
float g_fGlobal29 : GLOBAL;
float g_fGlobal30 : GLOBAL;
float g_fGlobal31 : GLOBAL;
technique T { pass P0 { VertexShader = VS; PixelShader = PS; } }
vertex VS %{
void main() { gl_Position = in_Position; }
%}

fragment PS %{
void main() { out_Color = vec4(1.0); }
%}
