// Nine annotated textures: one more than a texture set holds; the ninth names sampler 7.
texture g_tExtra < string Name = "diffuse"; >;
texture g_tTexture0 < string Name = "texture00"; >;
texture g_tTexture1 < string Name = "texture01"; >;
texture g_tTexture2 < string Name = "texture02"; >;
texture g_tTexture3 < string Name = "texture03"; >;
texture g_tTexture4 < string Name = "texture04"; >;
texture g_tTexture5 < string Name = "texture05"; >;
texture g_tTexture6 < string Name = "texture06"; >;
texture g_tTexture7 < string Name = "texture07"; >;
technique T { pass P0 { VertexShader = VS; PixelShader = PS; } }
vertex VS %{
void main() { gl_Position = in_Position; }
%}

fragment PS %{
void main() { out_Color = vec4(1.0); }
%}
