// The compiled effect format (".fxo") that D3DXCreateEffect reads and the effect tool writes, the names of the
// render and sampler states and their values as the effect sources spell them, and the GLSL texts the stand-in
// builds from an effect's code.
//
// File layout, little-endian, every offset from the start of the file, every field a u32:
//
//   header (72 bytes)
//   offset  field
//   0       magic "GFXO" (0x4F584647)
//   4       version (1)
//   8       file size (the whole file; nothing follows it)
//   12      string table offset      16  string table size in bytes
//   20      parameter count P        24  parameter table offset (P records of 36 bytes)
//   28      annotation count A       32  annotation table offset (A records of 8 bytes)
//   36      technique name (string)
//   40      pass count N             44  pass table offset (N records of 28 bytes)
//   48      render state count R     52  render state table offset (R records of 8 bytes)
//   56      sampler state count S    60  sampler state table offset (S records of 12 bytes)
//   64      shader count C           68  shader table offset (C records of 20 bytes)
//
//   parameter:     name, semantic (0xFFFFFFFF: none), class (D3DXPARAMETER_CLASS), type (D3DXPARAMETER_TYPE),
//                  rows, columns, elements, first annotation, annotation count
//   annotation:    name, value (string annotations only)
//   pass:          name, vertex shader index, fragment shader index, first render state, render state count,
//                  first sampler state, sampler state count
//   render state:  D3DRENDERSTATETYPE, value
//   sampler state: parameter index (a texture parameter), D3DSAMPLERSTATETYPE, value
//   shader:        stage (0 vertex, 1 fragment), name, GLSL code, source file name, line of the code's first line
//
// Strings are offsets into the string table, each zero-terminated inside it; names (of parameters, annotations,
// the technique, passes and shaders) are at most 63 characters, and each annotation belongs to one parameter (the
// parameters' annotation counts add up to at most A). The reader checks every offset, count,
// index and string against the file before it trusts it, and the description against the rules of
// D3DXEffectValidate; a file that fails is refused whole with the reason.
//
// Parameters: float, float2, float3, float4 (class SCALAR or VECTOR, rows 1, columns 1 to 4), float4x4 (class
// MATRIX_ROWS, 4 x 4), each optionally an array of 1 to 64 elements; textures (class OBJECT, type TEXTURE,
// TEXTURE2D or TEXTURECUBE, rows and columns 0, no elements), at most 16. Names are GLSL identifiers of at most 63
// characters that do not begin with "gl_", "in_", "out_" or "d3d_", unique in the effect.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/D3D9/D3DX9.h"

inline constexpr DWORD gc_dwFXO_MAGIC = 0x4F584647u;  // "GFXO"
inline constexpr DWORD gc_dwFXO_VERSION = 1;
inline constexpr UINT gc_uiFXO_HEADER_SIZE = 72;
inline constexpr UINT gc_uiFXO_PARAMETER_SIZE = 36;
inline constexpr UINT gc_uiFXO_ANNOTATION_SIZE = 8;
inline constexpr UINT gc_uiFXO_PASS_SIZE = 28;
inline constexpr UINT gc_uiFXO_STATE_SIZE = 8;
inline constexpr UINT gc_uiFXO_SAMPLER_STATE_SIZE = 12;
inline constexpr UINT gc_uiFXO_SHADER_SIZE = 20;
inline constexpr DWORD gc_dwFXO_NO_STRING = 0xFFFFFFFFu;
inline constexpr UINT gc_uiFXO_MAX_NAME_LEN = 63;
inline constexpr UINT gc_uiFXO_MAX_ELEMENTS = 64;
inline constexpr UINT gc_uiFXO_MAX_TEXTURES = 16;
inline constexpr UINT gc_uiFXO_MAX_PASSES = 16;
// The reader copies texts (semantics, annotation values, shader code and file names) of at most this many times the
// file's size plus the slack: a file whose records name one large text again and again is refused.
inline constexpr size_t gc_uiFXO_TEXT_COPY_FACTOR = 4;
inline constexpr size_t gc_uiFXO_TEXT_COPY_SLACK = 64 * 1024;

enum : UINT { D3DX_EFFECT_STAGE_VERTEX = 0, D3DX_EFFECT_STAGE_FRAGMENT = 1 };

struct SD3DXEffectAnnotation {
  std::string name;
  std::string value;
};

struct SD3DXEffectParameter {
  std::string name;
  std::string semantic;  // empty: none
  D3DXPARAMETER_CLASS eClass = D3DXPC_SCALAR;
  D3DXPARAMETER_TYPE eType = D3DXPT_FLOAT;
  UINT uiRows = 1;
  UINT uiColumns = 1;
  UINT uiElements = 0;
  std::vector<SD3DXEffectAnnotation> annotations;

  bool isTexture() const { return eClass == D3DXPC_OBJECT; }
  // Floats the value holds (0 for a texture).
  UINT floatCount() const { return isTexture() ? 0 : uiRows * uiColumns * (uiElements > 0 ? uiElements : 1); }
};

struct SD3DXEffectState {
  DWORD dwState = 0;
  DWORD dwValue = 0;
};

struct SD3DXEffectSamplerState {
  UINT uiParameter = 0;
  DWORD dwState = 0;
  DWORD dwValue = 0;
};

struct SD3DXEffectPass {
  std::string name;
  UINT uiVertexShader = 0;
  UINT uiFragmentShader = 0;
  std::vector<SD3DXEffectState> renderStates;
  std::vector<SD3DXEffectSamplerState> samplerStates;
};

struct SD3DXEffectShader {
  UINT uiStage = D3DX_EFFECT_STAGE_VERTEX;
  std::string name;
  std::string code;
  std::string sourceFile;
  UINT uiFirstLine = 1;
};

struct SD3DXEffectDescription {
  std::vector<SD3DXEffectParameter> parameters;
  std::string techniqueName;
  std::vector<SD3DXEffectPass> passes;
  std::vector<SD3DXEffectShader> shaders;
};

// Whether a parameter may have this name: a GLSL identifier of at most 63 characters, no "__", not "main" and not
// beginning with "gl_", "in_", "out_" or "d3d_".
bool D3DXEffectParameterNameAllowed(const std::string& name);
// Two names equal without regard to case (ASCII).
bool D3DXEffectEqualNoCase(std::string_view a, std::string_view b);

// The rules every effect keeps (names, classes and types, limits, indices, state values); false with the first
// broken rule.
bool D3DXEffectValidate(const SD3DXEffectDescription& effect, std::string* pError);
// The file image of a valid description.
std::vector<BYTE> D3DXEffectFileWrite(const SD3DXEffectDescription& effect);
// Reads a file image; false with the reason when it is not a valid effect file.
bool D3DXEffectFileRead(const void* pData, size_t uiSize, SD3DXEffectDescription* pEffect, std::string* pError);

// The complete GLSL text of one shader of the effect as the device compiles it: the version, the vertex inputs or
// the fragment output, the parameters as uniforms, the code (its lines numbered as in its source file) and the
// stand-in's own main around the code's. Without bAlphaTest a fragment shader leaves the alpha test out (it never
// discards), for draws with the test off: a software rasteriser runs a shader that may discard markedly slower.
std::string D3DXEffectComposeGLSL(const SD3DXEffectDescription& effect, UINT uiShader, bool bAlphaTest = true);

// --- Names of states and values as the sources spell them ---

// How a state's values are written: TRUE/FALSE, names of one enumeration, or a number.
enum E_D3DX_STATE_VALUES : UINT {
  E_D3DX_VALUES_BOOL,
  E_D3DX_VALUES_BLEND,
  E_D3DX_VALUES_BLENDOP,
  E_D3DX_VALUES_CMP,
  E_D3DX_VALUES_CULL,
  E_D3DX_VALUES_FILL,
  E_D3DX_VALUES_ADDRESS,
  E_D3DX_VALUES_FILTER,
  E_D3DX_VALUES_NUMBER,
  NUM_E_D3DX_VALUES
};

struct SD3DXStateName {
  const char* pName;
  DWORD dwState;
  E_D3DX_STATE_VALUES eValues;
};

// Render and sampler states by name (without case), or by value; null when unknown.
const SD3DXStateName* D3DXFindRenderState(std::string_view name);
const SD3DXStateName* D3DXFindRenderState(DWORD dwState);
const SD3DXStateName* D3DXFindSamplerState(std::string_view name);
const SD3DXStateName* D3DXFindSamplerState(DWORD dwState);
// A value's name (without case) or number; false when the text is not a value of that kind.
bool D3DXParseStateValue(E_D3DX_STATE_VALUES eValues, std::string_view text, DWORD* pValue);
// The value as the sources write it (its name, or the number in decimal or, above 255, hexadecimal).
std::string D3DXStateValueText(E_D3DX_STATE_VALUES eValues, DWORD dwValue);
// Whether the value is one of the kind's (any number for E_D3DX_VALUES_NUMBER).
bool D3DXStateValueValid(E_D3DX_STATE_VALUES eValues, DWORD dwValue);
