// The effect sources (".fx") and their compiler into the compiled effect format that D3DXCreateEffect reads
// (Platform/D3D9/D3DXEffectFile.h), the GLSL check, and the text dump of a compiled effect.
//
// A source holds parameter declarations, one technique and the GLSL code blocks, in any order; "//" and "/* */"
// are comments outside the code:
//
//   float4x4 g_mWorldViewProj : WORLDVIEWPROJ;           float, float2, float3, float4 or float4x4;
//   float    g_afBlurWeights[15] : GLOBAL;               an array of 1 to 64; a semantic after ":"
//   texture  g_tScene < string Usage = "texture00"; >;   texture (or texture2D, textureCUBE); string annotations
//
//   technique Main {
//     pass P0 {
//       AlphaBlendEnable = TRUE;                          render states: ZEnable ZWriteEnable ZFunc FillMode
//       SrcBlend = ONE; DestBlend = INVSRCALPHA;          AlphaTestEnable AlphaFunc AlphaRef AlphaBlendEnable
//       sampler g_tScene { MinFilter = LINEAR; }          SrcBlend DestBlend BlendOp CullMode ColorWriteEnable
//       VertexShader = VS_Main;                           ScissorTestEnable; sampler states: AddressU/V/W
//       PixelShader = PS_Main;                            BorderColor Mag/Min/MipFilter MipMapLodBias
//     }                                                   MaxMipLevel MaxAnisotropy; values by name or number
//   }
//
//   vertex VS_Main %{ ...GLSL... %}                       "fragment" for fragment code; the code runs from
//                                                         after "%{" to the next "%}"
//
// The GLSL code sees the parameters as uniforms and the stand-in's inputs and output (Platform/D3D9/D3DX9.h).
// Errors name the file, line and column: "effect.fx:12:5: error: ...".
#pragma once

#include <string>
#include <vector>

#include "Platform/D3D9/D3DXEffectFile.h"

struct SFxoPosition {
  int iLine = 1;
  int iColumn = 1;
};

// A parsed source: the effect, where each shader block begins, and the text (for columns in GLSL messages).
struct SFxoSource {
  std::string fileName;  // as messages name it
  std::string text;
  SD3DXEffectDescription effect;
  std::vector<SFxoPosition> shaderPositions;  // per shader of the effect
};

// Parses the text of a source; false with "file:line:col: error: message".
bool FxoParseSource(const std::string& text, const std::string& fileName, SFxoSource* pSource, std::string* pError);

// Checks each pass's vertex and fragment code, as the device compiles it, with the reference GLSL compiler
// (glslangValidator at the given path) in a scratch folder. False with every error as "file:line:col: error: ...",
// one a line, at the place in the source; also false when the compiler cannot be run.
bool FxoCheckGlsl(const SFxoSource& source, const std::string& glslangPath, const std::string& scratchDir,
                  std::string* pErrors);

// A compiled effect as source text: compiling it again gives the same effect (only the code's file name and line
// numbers become the dump's).
std::string FxoDumpText(const SD3DXEffectDescription& effect);
