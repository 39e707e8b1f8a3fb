// A GLOBAL whose name has 40 characters, one more than a global's record holds.
float g_fThisGlobalNameHasFortyCharactersInAll : GLOBAL;
technique T { pass P0 { VertexShader = VS; PixelShader = PS; } }
vertex VS %{
void main() { gl_Position = in_Position; }
%}

fragment PS %{
void main() { out_Color = vec4(1.0); }
%}
