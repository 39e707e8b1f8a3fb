// Declares g_fBlurThreshold as PostFx_ExtractThreshold does: the two share one global variable.
float g_fBlurThreshold : GLOBAL;
technique T { pass P0 { VertexShader = VS; PixelShader = PS; } }
vertex VS %{
void main() { gl_Position = in_Position; }
%}

fragment PS %{
void main() { out_Color = vec4(g_fBlurThreshold); }
%}
