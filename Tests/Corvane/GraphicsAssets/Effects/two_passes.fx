// Two passes: the engine's shaders draw with one; begin stops.
technique T { pass P0 { VertexShader = VS; PixelShader = PS; } pass P1 { VertexShader = VS; PixelShader = PS; } }
vertex VS %{
void main() { gl_Position = in_Position; }
%}

fragment PS %{
void main() { out_Color = vec4(1.0); }
%}
