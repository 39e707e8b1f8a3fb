#include "Platform/D3D9/D3DXEffectFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace {

struct SValueName {
  const char* pName;
  DWORD dwValue;
};

constexpr SValueName gc_aBoolValues[] = {{"FALSE", 0}, {"TRUE", 1}};
constexpr SValueName gc_aBlendValues[] = {
    {"ZERO", D3DBLEND_ZERO},         {"ONE", D3DBLEND_ONE},
    {"SRCCOLOR", D3DBLEND_SRCCOLOR}, {"INVSRCCOLOR", D3DBLEND_INVSRCCOLOR},
    {"SRCALPHA", D3DBLEND_SRCALPHA}, {"INVSRCALPHA", D3DBLEND_INVSRCALPHA},
    {"DESTALPHA", D3DBLEND_DESTALPHA}, {"INVDESTALPHA", D3DBLEND_INVDESTALPHA},
    {"DESTCOLOR", D3DBLEND_DESTCOLOR}, {"INVDESTCOLOR", D3DBLEND_INVDESTCOLOR}};
constexpr SValueName gc_aBlendOpValues[] = {{"ADD", D3DBLENDOP_ADD},
                                            {"SUBTRACT", D3DBLENDOP_SUBTRACT},
                                            {"REVSUBTRACT", D3DBLENDOP_REVSUBTRACT},
                                            {"MIN", D3DBLENDOP_MIN},
                                            {"MAX", D3DBLENDOP_MAX}};
constexpr SValueName gc_aCmpValues[] = {{"NEVER", D3DCMP_NEVER},     {"LESS", D3DCMP_LESS},
                                        {"EQUAL", D3DCMP_EQUAL},     {"LESSEQUAL", D3DCMP_LESSEQUAL},
                                        {"GREATER", D3DCMP_GREATER}, {"NOTEQUAL", D3DCMP_NOTEQUAL},
                                        {"GREATEREQUAL", D3DCMP_GREATEREQUAL}, {"ALWAYS", D3DCMP_ALWAYS}};
constexpr SValueName gc_aCullValues[] = {{"NONE", D3DCULL_NONE}, {"CW", D3DCULL_CW}, {"CCW", D3DCULL_CCW}};
constexpr SValueName gc_aFillValues[] = {
    {"POINT", D3DFILL_POINT}, {"WIREFRAME", D3DFILL_WIREFRAME}, {"SOLID", D3DFILL_SOLID}};
constexpr SValueName gc_aAddressValues[] = {{"WRAP", D3DTADDRESS_WRAP},
                                            {"MIRROR", D3DTADDRESS_MIRROR},
                                            {"CLAMP", D3DTADDRESS_CLAMP},
                                            {"BORDER", D3DTADDRESS_BORDER},
                                            {"MIRRORONCE", D3DTADDRESS_MIRRORONCE}};
constexpr SValueName gc_aFilterValues[] = {
    {"NONE", D3DTEXF_NONE}, {"POINT", D3DTEXF_POINT}, {"LINEAR", D3DTEXF_LINEAR}, {"ANISOTROPIC", D3DTEXF_ANISOTROPIC}};

struct SValueTable {
  const SValueName* pNames;
  size_t uiCount;
};
template <size_t N>
constexpr SValueTable table(const SValueName (&names)[N]) {
  return {names, N};
}
// Indexed by E_D3DX_STATE_VALUES.
constexpr SValueTable gc_aValueTables[] = {table(gc_aBoolValues),    table(gc_aBlendValues), table(gc_aBlendOpValues),
                                           table(gc_aCmpValues),     table(gc_aCullValues),  table(gc_aFillValues),
                                           table(gc_aAddressValues), table(gc_aFilterValues), {nullptr, 0}};
static_assert(sizeof(gc_aValueTables) / sizeof(gc_aValueTables[0]) == NUM_E_D3DX_VALUES);

constexpr SD3DXStateName gc_aRenderStates[] = {
    {"ZEnable", D3DRS_ZENABLE, E_D3DX_VALUES_BOOL},
    {"FillMode", D3DRS_FILLMODE, E_D3DX_VALUES_FILL},
    {"ZWriteEnable", D3DRS_ZWRITEENABLE, E_D3DX_VALUES_BOOL},
    {"AlphaTestEnable", D3DRS_ALPHATESTENABLE, E_D3DX_VALUES_BOOL},
    {"SrcBlend", D3DRS_SRCBLEND, E_D3DX_VALUES_BLEND},
    {"DestBlend", D3DRS_DESTBLEND, E_D3DX_VALUES_BLEND},
    {"CullMode", D3DRS_CULLMODE, E_D3DX_VALUES_CULL},
    {"ZFunc", D3DRS_ZFUNC, E_D3DX_VALUES_CMP},
    {"AlphaRef", D3DRS_ALPHAREF, E_D3DX_VALUES_NUMBER},
    {"AlphaFunc", D3DRS_ALPHAFUNC, E_D3DX_VALUES_CMP},
    {"AlphaBlendEnable", D3DRS_ALPHABLENDENABLE, E_D3DX_VALUES_BOOL},
    {"ColorWriteEnable", D3DRS_COLORWRITEENABLE, E_D3DX_VALUES_NUMBER},
    {"BlendOp", D3DRS_BLENDOP, E_D3DX_VALUES_BLENDOP},
    {"ScissorTestEnable", D3DRS_SCISSORTESTENABLE, E_D3DX_VALUES_BOOL},
};

constexpr SD3DXStateName gc_aSamplerStates[] = {
    {"AddressU", D3DSAMP_ADDRESSU, E_D3DX_VALUES_ADDRESS},
    {"AddressV", D3DSAMP_ADDRESSV, E_D3DX_VALUES_ADDRESS},
    {"AddressW", D3DSAMP_ADDRESSW, E_D3DX_VALUES_ADDRESS},
    {"BorderColor", D3DSAMP_BORDERCOLOR, E_D3DX_VALUES_NUMBER},
    {"MagFilter", D3DSAMP_MAGFILTER, E_D3DX_VALUES_FILTER},
    {"MinFilter", D3DSAMP_MINFILTER, E_D3DX_VALUES_FILTER},
    {"MipFilter", D3DSAMP_MIPFILTER, E_D3DX_VALUES_FILTER},
    {"MipMapLodBias", D3DSAMP_MIPMAPLODBIAS, E_D3DX_VALUES_NUMBER},
    {"MaxMipLevel", D3DSAMP_MAXMIPLEVEL, E_D3DX_VALUES_NUMBER},
    {"MaxAnisotropy", D3DSAMP_MAXANISOTROPY, E_D3DX_VALUES_NUMBER},
};

template <size_t N>
const SD3DXStateName* findByName(const SD3DXStateName (&states)[N], std::string_view name) {
  for (const SD3DXStateName& state : states) {
    if (D3DXEffectEqualNoCase(state.pName, name)) return &state;
  }
  return nullptr;
}

template <size_t N>
const SD3DXStateName* findByValue(const SD3DXStateName (&states)[N], DWORD dwState) {
  for (const SD3DXStateName& state : states) {
    if (state.dwState == dwState) return &state;
  }
  return nullptr;
}

bool isIdentifier(const std::string& name) {
  if (name.empty() || name.size() > gc_uiFXO_MAX_NAME_LEN) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool bLetter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    const bool bDigit = c >= '0' && c <= '9';
    if (!bLetter && !(bDigit && i > 0)) return false;
  }
  // GLSL reserves names with two underscores in a row.
  return name.find("__") == std::string::npos;
}

bool isReservedName(const std::string& name) {
  for (const char* pPrefix : {"gl_", "in_", "out_", "d3d_"}) {
    if (name.rfind(pPrefix, 0) == 0) return true;
  }
  return name == "main";
}

bool fail(std::string* pError, const std::string& message) {
  if (pError != nullptr) *pError = message;
  return false;
}

bool validParameterShape(const SD3DXEffectParameter& parameter) {
  if (parameter.isTexture()) {
    return (parameter.eType == D3DXPT_TEXTURE || parameter.eType == D3DXPT_TEXTURE2D ||
            parameter.eType == D3DXPT_TEXTURECUBE) &&
           parameter.uiRows == 0 && parameter.uiColumns == 0 && parameter.uiElements == 0;
  }
  if (parameter.eType != D3DXPT_FLOAT || parameter.uiElements > gc_uiFXO_MAX_ELEMENTS) return false;
  switch (parameter.eClass) {
    case D3DXPC_SCALAR:
      return parameter.uiRows == 1 && parameter.uiColumns == 1;
    case D3DXPC_VECTOR:
      return parameter.uiRows == 1 && parameter.uiColumns >= 2 && parameter.uiColumns <= 4;
    case D3DXPC_MATRIX_ROWS:
      return parameter.uiRows == 4 && parameter.uiColumns == 4;
    default:
      return false;
  }
}

// --- Writing ---

class CWriter {
 public:
  UINT string(const std::string& text) {
    auto it = m_offsets.find(text);
    if (it != m_offsets.end()) return it->second;
    const UINT uiOffset = static_cast<UINT>(m_strings.size());
    m_strings.insert(m_strings.end(), text.begin(), text.end());
    m_strings.push_back(0);
    m_offsets.emplace(text, uiOffset);
    return uiOffset;
  }
  void put(std::vector<BYTE>* pOut, DWORD dwValue) {
    for (int i = 0; i < 4; ++i) pOut->push_back(static_cast<BYTE>(dwValue >> (8 * i)));
  }
  const std::vector<BYTE>& strings() const { return m_strings; }

 private:
  std::vector<BYTE> m_strings;
  std::map<std::string, UINT> m_offsets;
};

// --- Reading ---

class CReader {
 public:
  CReader(const BYTE* pData, size_t uiSize) : mp_pData(pData), m_uiSize(uiSize) {}

  bool word(uint64_t uiOffset, DWORD* pValue) const {
    if (uiOffset + 4 > m_uiSize) return false;
    std::memcpy(pValue, mp_pData + uiOffset, 4);
    return true;
  }
  // A table of uiCount records of uiRecordSize bytes at uiOffset lies inside the file.
  bool table(DWORD dwOffset, DWORD dwCount, UINT uiRecordSize) const {
    return static_cast<uint64_t>(dwOffset) + static_cast<uint64_t>(dwCount) * uiRecordSize <= m_uiSize;
  }
  void setStrings(DWORD dwOffset, DWORD dwSize) {
    m_uiStrings = dwOffset;
    m_uiStringsSize = dwSize;
  }
  // The string at dwRef, checked before it is copied: a name is at most gc_uiFXO_MAX_NAME_LEN characters; any
  // other text counts against the copy budget. Null, or why the string cannot be had.
  const char* string(DWORD dwRef, bool bName, std::string* pText) {
    if (dwRef >= m_uiStringsSize) return "lies outside the string table";
    const char* pStart = reinterpret_cast<const char*>(mp_pData + m_uiStrings + dwRef);
    const size_t uiLimit = bName ? std::min<size_t>(m_uiStringsSize - dwRef, gc_uiFXO_MAX_NAME_LEN + 1)
                                 : m_uiStringsSize - dwRef;
    const void* pEnd = std::memchr(pStart, 0, uiLimit);
    if (pEnd == nullptr) {
      return uiLimit < m_uiStringsSize - dwRef ? "is a name longer than 63 characters"
                                               : "does not end inside the string table";
    }
    const size_t uiLength = static_cast<size_t>(static_cast<const char*>(pEnd) - pStart);
    if (!bName) {
      if (uiLength + 1 > m_uiBudget) return "is one copy too many: the file's texts are named more often than its size allows";
      m_uiBudget -= uiLength + 1;
    }
    pText->assign(pStart, uiLength);
    return nullptr;
  }

 private:
  const BYTE* mp_pData;
  size_t m_uiSize;
  size_t m_uiStrings = 0;
  size_t m_uiStringsSize = 0;
  // Bytes of texts (not names) the reader may still copy. Texts may be shared, so a description may hold more than
  // the file, but never more than a few times its size whatever the references say.
  size_t m_uiBudget = gc_uiFXO_TEXT_COPY_FACTOR * m_uiSize + gc_uiFXO_TEXT_COPY_SLACK;
};

const char* glslType(const SD3DXEffectParameter& parameter) {
  if (parameter.isTexture()) return parameter.eType == D3DXPT_TEXTURECUBE ? "samplerCube" : "sampler2D";
  if (parameter.eClass == D3DXPC_MATRIX_ROWS) return "mat4";
  switch (parameter.uiColumns) {
    case 2:
      return "vec2";
    case 3:
      return "vec3";
    case 4:
      return "vec4";
    default:
      return "float";
  }
}

}  // namespace

bool D3DXEffectParameterNameAllowed(const std::string& name) { return isIdentifier(name) && !isReservedName(name); }

bool D3DXEffectEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char ca = a[i];
    char cb = b[i];
    if (ca >= 'a' && ca <= 'z') ca = static_cast<char>(ca - 32);
    if (cb >= 'a' && cb <= 'z') cb = static_cast<char>(cb - 32);
    if (ca != cb) return false;
  }
  return true;
}

bool D3DXEffectValidate(const SD3DXEffectDescription& effect, std::string* pError) {
  std::set<std::string> names;
  UINT uiTextures = 0;
  for (size_t i = 0; i < effect.parameters.size(); ++i) {
    const SD3DXEffectParameter& parameter = effect.parameters[i];
    if (!D3DXEffectParameterNameAllowed(parameter.name)) {
      return fail(pError, "parameter " + std::to_string(i) + ": \"" + parameter.name + "\" is not a name a parameter may have");
    }
    if (!names.insert(parameter.name).second) {
      return fail(pError, "parameter \"" + parameter.name + "\" is declared twice");
    }
    if (!validParameterShape(parameter)) {
      return fail(pError, "parameter \"" + parameter.name + "\" has a class, type or size the effects do not offer");
    }
    if (parameter.isTexture() && ++uiTextures > gc_uiFXO_MAX_TEXTURES) {
      return fail(pError, "more than 16 texture parameters");
    }
    for (const SD3DXEffectAnnotation& annotation : parameter.annotations) {
      if (!isIdentifier(annotation.name)) {
        return fail(pError, "parameter \"" + parameter.name + "\": annotation \"" + annotation.name + "\" is not a name");
      }
    }
  }
  if (!isIdentifier(effect.techniqueName)) return fail(pError, "the technique has no valid name");
  if (effect.passes.empty() || effect.passes.size() > gc_uiFXO_MAX_PASSES) {
    return fail(pError, "the technique has " + std::to_string(effect.passes.size()) + " passes (1 to 16)");
  }
  for (const SD3DXEffectShader& shader : effect.shaders) {
    if (shader.uiStage > D3DX_EFFECT_STAGE_FRAGMENT || !isIdentifier(shader.name)) {
      return fail(pError, "shader \"" + shader.name + "\" has no valid stage or name");
    }
    if (shader.code.find("#version") != std::string::npos) {
      return fail(pError, "shader \"" + shader.name + "\" names a GLSL version (the stand-in sets it)");
    }
  }
  for (const SD3DXEffectPass& pass : effect.passes) {
    if (!isIdentifier(pass.name)) return fail(pError, "a pass has no valid name");
    if (pass.uiVertexShader >= effect.shaders.size() ||
        effect.shaders[pass.uiVertexShader].uiStage != D3DX_EFFECT_STAGE_VERTEX ||
        pass.uiFragmentShader >= effect.shaders.size() ||
        effect.shaders[pass.uiFragmentShader].uiStage != D3DX_EFFECT_STAGE_FRAGMENT) {
      return fail(pError, "pass \"" + pass.name + "\" needs one vertex and one fragment shader of the effect");
    }
    for (const SD3DXEffectState& state : pass.renderStates) {
      const SD3DXStateName* pState = D3DXFindRenderState(state.dwState);
      if (pState == nullptr || !D3DXStateValueValid(pState->eValues, state.dwValue)) {
        return fail(pError, "pass \"" + pass.name + "\": render state " + std::to_string(state.dwState) +
                                " with value " + std::to_string(state.dwValue) + " is not offered");
      }
    }
    for (const SD3DXEffectSamplerState& state : pass.samplerStates) {
      const SD3DXStateName* pState = D3DXFindSamplerState(state.dwState);
      if (state.uiParameter >= effect.parameters.size() || !effect.parameters[state.uiParameter].isTexture()) {
        return fail(pError, "pass \"" + pass.name + "\": a sampler state belongs to no texture parameter");
      }
      if (pState == nullptr || !D3DXStateValueValid(pState->eValues, state.dwValue)) {
        return fail(pError, "pass \"" + pass.name + "\": sampler state " + std::to_string(state.dwState) +
                                " with value " + std::to_string(state.dwValue) + " is not offered");
      }
    }
  }
  return true;
}

std::vector<BYTE> D3DXEffectFileWrite(const SD3DXEffectDescription& effect) {
  CWriter writer;
  std::vector<BYTE> parameters;
  std::vector<BYTE> annotations;
  std::vector<BYTE> passes;
  std::vector<BYTE> states;
  std::vector<BYTE> samplers;
  std::vector<BYTE> shaders;
  UINT uiAnnotations = 0;
  UINT uiStates = 0;
  UINT uiSamplers = 0;
  for (const SD3DXEffectParameter& parameter : effect.parameters) {
    writer.put(&parameters, writer.string(parameter.name));
    writer.put(&parameters, parameter.semantic.empty() ? gc_dwFXO_NO_STRING : writer.string(parameter.semantic));
    writer.put(&parameters, parameter.eClass);
    writer.put(&parameters, parameter.eType);
    writer.put(&parameters, parameter.uiRows);
    writer.put(&parameters, parameter.uiColumns);
    writer.put(&parameters, parameter.uiElements);
    writer.put(&parameters, uiAnnotations);
    writer.put(&parameters, static_cast<DWORD>(parameter.annotations.size()));
    for (const SD3DXEffectAnnotation& annotation : parameter.annotations) {
      writer.put(&annotations, writer.string(annotation.name));
      writer.put(&annotations, writer.string(annotation.value));
      ++uiAnnotations;
    }
  }
  for (const SD3DXEffectPass& pass : effect.passes) {
    writer.put(&passes, writer.string(pass.name));
    writer.put(&passes, pass.uiVertexShader);
    writer.put(&passes, pass.uiFragmentShader);
    writer.put(&passes, uiStates);
    writer.put(&passes, static_cast<DWORD>(pass.renderStates.size()));
    writer.put(&passes, uiSamplers);
    writer.put(&passes, static_cast<DWORD>(pass.samplerStates.size()));
    for (const SD3DXEffectState& state : pass.renderStates) {
      writer.put(&states, state.dwState);
      writer.put(&states, state.dwValue);
      ++uiStates;
    }
    for (const SD3DXEffectSamplerState& state : pass.samplerStates) {
      writer.put(&samplers, state.uiParameter);
      writer.put(&samplers, state.dwState);
      writer.put(&samplers, state.dwValue);
      ++uiSamplers;
    }
  }
  for (const SD3DXEffectShader& shader : effect.shaders) {
    writer.put(&shaders, shader.uiStage);
    writer.put(&shaders, writer.string(shader.name));
    writer.put(&shaders, writer.string(shader.code));
    writer.put(&shaders, writer.string(shader.sourceFile));
    writer.put(&shaders, shader.uiFirstLine);
  }
  const DWORD dwTechnique = writer.string(effect.techniqueName);

  // Tables follow the header in this order, then the strings.
  std::vector<BYTE> file;
  DWORD dwOffset = gc_uiFXO_HEADER_SIZE;
  const DWORD dwParameters = dwOffset;
  dwOffset += static_cast<DWORD>(parameters.size());
  const DWORD dwAnnotations = dwOffset;
  dwOffset += static_cast<DWORD>(annotations.size());
  const DWORD dwPasses = dwOffset;
  dwOffset += static_cast<DWORD>(passes.size());
  const DWORD dwStates = dwOffset;
  dwOffset += static_cast<DWORD>(states.size());
  const DWORD dwSamplers = dwOffset;
  dwOffset += static_cast<DWORD>(samplers.size());
  const DWORD dwShaders = dwOffset;
  dwOffset += static_cast<DWORD>(shaders.size());
  const DWORD dwStrings = dwOffset;
  const DWORD dwSize = dwStrings + static_cast<DWORD>(writer.strings().size());
  for (DWORD dwValue : {gc_dwFXO_MAGIC, gc_dwFXO_VERSION, dwSize, dwStrings,
                        static_cast<DWORD>(writer.strings().size()), static_cast<DWORD>(effect.parameters.size()),
                        dwParameters, uiAnnotations, dwAnnotations, dwTechnique,
                        static_cast<DWORD>(effect.passes.size()), dwPasses, uiStates, dwStates, uiSamplers, dwSamplers,
                        static_cast<DWORD>(effect.shaders.size()), dwShaders}) {
    writer.put(&file, dwValue);
  }
  const std::vector<BYTE>* apParts[] = {&parameters, &annotations, &passes,          &states,
                                        &samplers,   &shaders,     &writer.strings()};
  for (const std::vector<BYTE>* pPart : apParts) {
    file.insert(file.end(), pPart->begin(), pPart->end());
  }
  return file;
}

bool D3DXEffectFileRead(const void* pData, size_t uiSize, SD3DXEffectDescription* pEffect, std::string* pError) {
  *pEffect = SD3DXEffectDescription{};
  if (pData == nullptr) return fail(pError, "no data");
  CReader reader(static_cast<const BYTE*>(pData), uiSize);
  DWORD header[gc_uiFXO_HEADER_SIZE / 4];
  for (UINT i = 0; i < gc_uiFXO_HEADER_SIZE / 4; ++i) {
    if (!reader.word(i * 4u, &header[i])) return fail(pError, "the file is shorter than its header");
  }
  if (header[0] != gc_dwFXO_MAGIC) return fail(pError, "not a compiled effect (wrong magic)");
  if (header[1] != gc_dwFXO_VERSION) return fail(pError, "effect format version " + std::to_string(header[1]) + " is not 1");
  if (header[2] != uiSize) {
    return fail(pError, "the file is " + std::to_string(uiSize) + " bytes but says " + std::to_string(header[2]));
  }
  const DWORD dwStrings = header[3];
  const DWORD dwStringsSize = header[4];
  if (!reader.table(dwStrings, dwStringsSize, 1)) return fail(pError, "the string table lies outside the file");
  reader.setStrings(dwStrings, dwStringsSize);
  struct STable {
    DWORD dwCount;
    DWORD dwOffset;
    UINT uiRecord;
    const char* pWhat;
  };
  const STable aTables[] = {{header[5], header[6], gc_uiFXO_PARAMETER_SIZE, "parameter"},
                            {header[7], header[8], gc_uiFXO_ANNOTATION_SIZE, "annotation"},
                            {header[10], header[11], gc_uiFXO_PASS_SIZE, "pass"},
                            {header[12], header[13], gc_uiFXO_STATE_SIZE, "render state"},
                            {header[14], header[15], gc_uiFXO_SAMPLER_STATE_SIZE, "sampler state"},
                            {header[16], header[17], gc_uiFXO_SHADER_SIZE, "shader"}};
  for (const STable& t : aTables) {
    if (!reader.table(t.dwOffset, t.dwCount, t.uiRecord)) {
      return fail(pError, std::string("the ") + t.pWhat + " table lies outside the file");
    }
  }
  auto field = [&](const STable& t, DWORD dwIndex, UINT uiField) {
    DWORD dwValue = 0;
    reader.word(static_cast<uint64_t>(t.dwOffset) + static_cast<uint64_t>(dwIndex) * t.uiRecord + uiField * 4u,
                &dwValue);
    return dwValue;
  };
  auto read = [&](DWORD dwRef, bool bName, std::string* pOut, const char* pWhat) {
    const char* pWhy = reader.string(dwRef, bName, pOut);
    return pWhy == nullptr ? true : fail(pError, std::string("a string of ") + pWhat + " " + pWhy);
  };
  auto name = [&](DWORD dwRef, std::string* pOut, const char* pWhat) { return read(dwRef, true, pOut, pWhat); };
  auto text = [&](DWORD dwRef, std::string* pOut, const char* pWhat) { return read(dwRef, false, pOut, pWhat); };
  if (!name(header[9], &pEffect->techniqueName, "the technique")) return false;

  const STable& params = aTables[0];
  const STable& notes = aTables[1];
  // Each annotation belongs to one parameter: ranges that overlap would copy the same records again and again.
  uint64_t uiNamed = 0;
  for (DWORD i = 0; i < params.dwCount; ++i) uiNamed += field(params, i, 8);
  if (uiNamed > notes.dwCount) {
    return fail(pError, "the parameters name " + std::to_string(uiNamed) + " annotations; the file holds " +
                            std::to_string(notes.dwCount));
  }
  pEffect->parameters.reserve(params.dwCount);
  for (DWORD i = 0; i < params.dwCount; ++i) {
    SD3DXEffectParameter parameter;
    if (!name(field(params, i, 0), &parameter.name, "a parameter")) return false;
    const DWORD dwSemantic = field(params, i, 1);
    if (dwSemantic != gc_dwFXO_NO_STRING && !text(dwSemantic, &parameter.semantic, "a parameter")) return false;
    parameter.eClass = static_cast<D3DXPARAMETER_CLASS>(field(params, i, 2));
    parameter.eType = static_cast<D3DXPARAMETER_TYPE>(field(params, i, 3));
    parameter.uiRows = field(params, i, 4);
    parameter.uiColumns = field(params, i, 5);
    parameter.uiElements = field(params, i, 6);
    const DWORD dwFirst = field(params, i, 7);
    const DWORD dwCount = field(params, i, 8);
    if (dwFirst > notes.dwCount || dwCount > notes.dwCount - dwFirst) {
      return fail(pError, "parameter \"" + parameter.name + "\" names annotations the file does not have");
    }
    for (DWORD j = dwFirst; j < dwFirst + dwCount; ++j) {
      SD3DXEffectAnnotation annotation;
      if (!name(field(notes, j, 0), &annotation.name, "an annotation") ||
          !text(field(notes, j, 1), &annotation.value, "an annotation")) {
        return false;
      }
      parameter.annotations.push_back(std::move(annotation));
    }
    pEffect->parameters.push_back(std::move(parameter));
  }

  const STable& shaders = aTables[5];
  for (DWORD i = 0; i < shaders.dwCount; ++i) {
    SD3DXEffectShader shader;
    shader.uiStage = field(shaders, i, 0);
    if (!name(field(shaders, i, 1), &shader.name, "a shader") || !text(field(shaders, i, 2), &shader.code, "a shader") ||
        !text(field(shaders, i, 3), &shader.sourceFile, "a shader")) {
      return false;
    }
    shader.uiFirstLine = field(shaders, i, 4);
    pEffect->shaders.push_back(std::move(shader));
  }

  const STable& passes = aTables[2];
  const STable& states = aTables[3];
  const STable& samplers = aTables[4];
  if (passes.dwCount > gc_uiFXO_MAX_PASSES) {
    return fail(pError, "the technique has " + std::to_string(passes.dwCount) + " passes (1 to 16)");
  }
  for (DWORD i = 0; i < passes.dwCount; ++i) {
    SD3DXEffectPass pass;
    if (!name(field(passes, i, 0), &pass.name, "a pass")) return false;
    pass.uiVertexShader = field(passes, i, 1);
    pass.uiFragmentShader = field(passes, i, 2);
    const DWORD dwFirstState = field(passes, i, 3);
    const DWORD dwStateCount = field(passes, i, 4);
    const DWORD dwFirstSampler = field(passes, i, 5);
    const DWORD dwSamplerCount = field(passes, i, 6);
    if (dwFirstState > states.dwCount || dwStateCount > states.dwCount - dwFirstState ||
        dwFirstSampler > samplers.dwCount || dwSamplerCount > samplers.dwCount - dwFirstSampler) {
      return fail(pError, "pass \"" + pass.name + "\" names states the file does not have");
    }
    for (DWORD j = dwFirstState; j < dwFirstState + dwStateCount; ++j) {
      pass.renderStates.push_back({field(states, j, 0), field(states, j, 1)});
    }
    for (DWORD j = dwFirstSampler; j < dwFirstSampler + dwSamplerCount; ++j) {
      pass.samplerStates.push_back({field(samplers, j, 0), field(samplers, j, 1), field(samplers, j, 2)});
    }
    pEffect->passes.push_back(std::move(pass));
  }
  return D3DXEffectValidate(*pEffect, pError);
}

std::string D3DXEffectComposeGLSL(const SD3DXEffectDescription& effect, UINT uiShader, bool bAlphaTest) {
  const SD3DXEffectShader& shader = effect.shaders.at(uiShader);
  const bool bVertex = shader.uiStage == D3DX_EFFECT_STAGE_VERTEX;
  std::string text = "#version 330 core\n";
  if (bVertex) {
    text +=
        "layout(location = 0) in vec4 in_Position;\n"
        "layout(location = 1) in vec4 in_Color;\n"
        "layout(location = 2) in vec3 in_Normal;\n"
        "layout(location = 3) in vec2 in_TexCoord0;\n"
        "uniform vec3 d3d_target;\n";
  } else {
    // Window positions count rows from the top as Direct3D's do, whether the target is a render target (top row
    // first) or the window (bottom row first).
    text +=
        "layout(location = 0) out vec4 out_Color;\n"
        "uniform int d3d_alphaFunc;\n"
        "uniform float d3d_alphaRef;\n"
        "uniform vec2 d3d_rowFromTop;\n"
        "vec4 d3d_fragCoord() {\n"
        "  return vec4(gl_FragCoord.x, d3d_rowFromTop.x + d3d_rowFromTop.y * gl_FragCoord.y, gl_FragCoord.zw);\n"
        "}\n"
        "#define gl_FragCoord d3d_fragCoord()\n";
  }
  for (const SD3DXEffectParameter& parameter : effect.parameters) {
    text += "uniform ";
    text += glslType(parameter);
    text += " " + parameter.name;
    if (parameter.uiElements > 0) text += "[" + std::to_string(parameter.uiElements) + "]";
    text += ";\n";
  }
  text += "#define main d3d_main\n#line " + std::to_string(shader.uiFirstLine) + "\n";
  text += shader.code;
  if (!text.empty() && text.back() != '\n') text += "\n";
  text += "#undef main\n";
  if (bVertex) {
    // Direct3D's clip space has y up and depth 0..1 and puts pixel centres on integer coordinates; the render
    // targets keep their top row first, the window its bottom row. So y is mirrored for a render target
    // (d3d_target.z), depth widened to -1..1 and positions moved half a pixel (d3d_target.xy).
    text +=
        "void main() {\n"
        "  d3d_main();\n"
        "  vec4 p = gl_Position;\n"
        "  p.z = p.z * 2.0 - p.w;\n"
        "  p.y *= d3d_target.z;\n"
        "  p.xy += d3d_target.xy * p.w;\n"
        "  gl_Position = p;\n"
        "}\n";
  } else if (!bAlphaTest) {
    text += "void main() { d3d_main(); }\n";
  } else {
    text +=
        "void main() {\n"
        "  d3d_main();\n"
        "  float a = out_Color.a;\n"
        "  bool pass = true;\n"
        "  if (d3d_alphaFunc == 1) pass = false;\n"
        "  else if (d3d_alphaFunc == 2) pass = a < d3d_alphaRef;\n"
        "  else if (d3d_alphaFunc == 3) pass = a == d3d_alphaRef;\n"
        "  else if (d3d_alphaFunc == 4) pass = a <= d3d_alphaRef;\n"
        "  else if (d3d_alphaFunc == 5) pass = a > d3d_alphaRef;\n"
        "  else if (d3d_alphaFunc == 6) pass = a != d3d_alphaRef;\n"
        "  else if (d3d_alphaFunc == 7) pass = a >= d3d_alphaRef;\n"
        "  if (!pass) discard;\n"
        "}\n";
  }
  return text;
}

const SD3DXStateName* D3DXFindRenderState(std::string_view name) { return findByName(gc_aRenderStates, name); }
const SD3DXStateName* D3DXFindRenderState(DWORD dwState) { return findByValue(gc_aRenderStates, dwState); }
const SD3DXStateName* D3DXFindSamplerState(std::string_view name) { return findByName(gc_aSamplerStates, name); }
const SD3DXStateName* D3DXFindSamplerState(DWORD dwState) { return findByValue(gc_aSamplerStates, dwState); }

bool D3DXParseStateValue(E_D3DX_STATE_VALUES eValues, std::string_view text, DWORD* pValue) {
  if (eValues >= NUM_E_D3DX_VALUES || text.empty()) return false;
  const SValueTable& values = gc_aValueTables[eValues];
  for (size_t i = 0; i < values.uiCount; ++i) {
    if (D3DXEffectEqualNoCase(values.pNames[i].pName, text)) {
      *pValue = values.pNames[i].dwValue;
      return true;
    }
  }
  if (eValues != E_D3DX_VALUES_NUMBER) return false;
  // Decimal, or hexadecimal after "0x".
  const bool bHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  uint64_t uiValue = 0;
  for (size_t i = bHex ? 2 : 0; i < text.size(); ++i) {
    const char c = text[i];
    int iDigit = -1;
    if (c >= '0' && c <= '9') iDigit = c - '0';
    else if (bHex && c >= 'a' && c <= 'f') iDigit = c - 'a' + 10;
    else if (bHex && c >= 'A' && c <= 'F') iDigit = c - 'A' + 10;
    if (iDigit < 0) return false;
    uiValue = uiValue * (bHex ? 16 : 10) + static_cast<uint64_t>(iDigit);
    if (uiValue > 0xFFFFFFFFu) return false;
  }
  *pValue = static_cast<DWORD>(uiValue);
  return true;
}

std::string D3DXStateValueText(E_D3DX_STATE_VALUES eValues, DWORD dwValue) {
  if (eValues < NUM_E_D3DX_VALUES) {
    const SValueTable& values = gc_aValueTables[eValues];
    for (size_t i = 0; i < values.uiCount; ++i) {
      if (values.pNames[i].dwValue == dwValue) return values.pNames[i].pName;
    }
  }
  char szText[16];
  std::snprintf(szText, sizeof(szText), dwValue > 255 ? "0x%08X" : "%u", dwValue);
  return szText;
}

bool D3DXStateValueValid(E_D3DX_STATE_VALUES eValues, DWORD dwValue) {
  if (eValues >= NUM_E_D3DX_VALUES) return false;
  if (eValues == E_D3DX_VALUES_NUMBER) return true;
  const SValueTable& values = gc_aValueTables[eValues];
  for (size_t i = 0; i < values.uiCount; ++i) {
    if (values.pNames[i].dwValue == dwValue) return true;
  }
  return false;
}
