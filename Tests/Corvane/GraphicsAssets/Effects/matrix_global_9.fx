// A matrix global of 9 elements: more than the 512 bytes of a global's value hold.
float4x4 g_amBones[9] : GLOBAL;
technique T { pass P0 { VertexShader = VS; PixelShader = PS; } }
vertex VS %{
void main() { gl_Position = in_Position; }
%}

fragment PS %{
void main() { out_Color = vec4(1.0); }
%}
