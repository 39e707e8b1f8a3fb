#include "Tools/fxoc/FxoSource.h"

#include <cctype>
#include <map>
#include <set>
#include <unordered_map>

namespace {

enum class EToken { End, Name, Number, String, Code, Punct };

struct SToken {
  EToken eKind = EToken::End;
  std::string text;
  SFxoPosition pos;
  SFxoPosition codePos;  // Code: where the code itself starts
};

struct SParseError {
  SFxoPosition pos;
  std::string message;
};

class CLexer {
 public:
  explicit CLexer(const std::string& text) : m_text(text) {}

  SToken next() {
    skipSpaceAndComments();
    SToken token;
    token.pos = position();
    if (m_uiAt >= m_text.size()) return token;
    const char c = m_text[m_uiAt];
    if (c == '%' && peek(1) == '{') {
      advance(2);
      token.eKind = EToken::Code;
      token.codePos = position();
      const size_t uiEnd = m_text.find("%}", m_uiAt);
      if (uiEnd == std::string::npos) throw SParseError{token.pos, "the code block has no closing \"%}\""};
      token.text = m_text.substr(m_uiAt, uiEnd - m_uiAt);
      advance(uiEnd + 2 - m_uiAt);
      return token;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      token.eKind = EToken::Name;
      while (m_uiAt < m_text.size() &&
             (std::isalnum(static_cast<unsigned char>(m_text[m_uiAt])) || m_text[m_uiAt] == '_')) {
        token.text += m_text[m_uiAt];
        advance(1);
      }
      return token;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      token.eKind = EToken::Number;
      while (m_uiAt < m_text.size() && std::isalnum(static_cast<unsigned char>(m_text[m_uiAt]))) {
        token.text += m_text[m_uiAt];
        advance(1);
      }
      return token;
    }
    if (c == '"') {
      token.eKind = EToken::String;
      advance(1);
      while (m_uiAt < m_text.size() && m_text[m_uiAt] != '"') {
        if (m_text[m_uiAt] == '\n') throw SParseError{token.pos, "the string does not end on its line"};
        token.text += m_text[m_uiAt];
        advance(1);
      }
      if (m_uiAt >= m_text.size()) throw SParseError{token.pos, "the string does not end"};
      advance(1);
      return token;
    }
    if (std::string(";:,=<>{}[]").find(c) != std::string::npos) {
      token.eKind = EToken::Punct;
      token.text = std::string(1, c);
      advance(1);
      return token;
    }
    throw SParseError{token.pos, std::string("unexpected character '") + c + "'"};
  }

 private:
  char peek(size_t uiAhead) const { return m_uiAt + uiAhead < m_text.size() ? m_text[m_uiAt + uiAhead] : 0; }
  SFxoPosition position() const { return SFxoPosition{m_iLine, m_iColumn}; }
  void advance(size_t uiCount) {
    for (size_t i = 0; i < uiCount && m_uiAt < m_text.size(); ++i, ++m_uiAt) {
      if (m_text[m_uiAt] == '\n') {
        ++m_iLine;
        m_iColumn = 1;
      } else {
        ++m_iColumn;
      }
    }
  }
  void skipSpaceAndComments() {
    while (m_uiAt < m_text.size()) {
      const char c = m_text[m_uiAt];
      if (std::isspace(static_cast<unsigned char>(c))) {
        advance(1);
      } else if (c == '/' && peek(1) == '/') {
        while (m_uiAt < m_text.size() && m_text[m_uiAt] != '\n') advance(1);
      } else if (c == '/' && peek(1) == '*') {
        const SFxoPosition start = position();
        const size_t uiEnd = m_text.find("*/", m_uiAt + 2);
        if (uiEnd == std::string::npos) throw SParseError{start, "the comment does not end"};
        advance(uiEnd + 2 - m_uiAt);
      } else {
        return;
      }
    }
  }

  const std::string& m_text;
  size_t m_uiAt = 0;
  int m_iLine = 1;
  int m_iColumn = 1;
};

struct SParamType {
  const char* pName;
  D3DXPARAMETER_CLASS eClass;
  D3DXPARAMETER_TYPE eType;
  UINT uiRows;
  UINT uiColumns;
};
constexpr SParamType gc_aParamTypes[] = {
    {"float", D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1},          {"float2", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 2},
    {"float3", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 3},         {"float4", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4},
    {"float4x4", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 4},  {"texture", D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0},
    {"texture2D", D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 0, 0}, {"textureCUBE", D3DXPC_OBJECT, D3DXPT_TEXTURECUBE, 0, 0},
};

const SParamType* findParamType(const std::string& name) {
  for (const SParamType& type : gc_aParamTypes) {
    if (name == type.pName) return &type;
  }
  return nullptr;
}

const char* typeNameOf(const SD3DXEffectParameter& parameter) {
  for (const SParamType& type : gc_aParamTypes) {
    if (type.eClass == parameter.eClass && type.eType == parameter.eType && type.uiColumns == parameter.uiColumns) {
      return type.pName;
    }
  }
  return "float";
}

class CParser {
 public:
  CParser(const std::string& text, SFxoSource* pSource) : m_lexer(text), mp_pSource(pSource) { m_token = m_lexer.next(); }

  void parse() {
    SD3DXEffectDescription& effect = mp_pSource->effect;
    while (m_token.eKind != EToken::End) {
      if (isName("technique")) {
        parseTechnique();
      } else if (isName("vertex") || isName("fragment")) {
        parseShader();
      } else {
        parseParameter();
      }
    }
    if (!m_bTechnique) throw SParseError{m_token.pos, "the effect has no technique"};
    // Passes name their code by name: resolve now that every block is known.
    for (size_t i = 0; i < m_passShaders.size(); ++i) {
      effect.passes[i].uiVertexShader = resolveShader(m_passShaders[i].first, D3DX_EFFECT_STAGE_VERTEX);
      effect.passes[i].uiFragmentShader = resolveShader(m_passShaders[i].second, D3DX_EFFECT_STAGE_FRAGMENT);
    }
  }

 private:
  bool isName(const char* pText) const { return m_token.eKind == EToken::Name && m_token.text == pText; }
  bool isPunct(char c) const { return m_token.eKind == EToken::Punct && m_token.text[0] == c; }

  SToken take() {
    SToken taken = m_token;
    m_token = m_lexer.next();
    return taken;
  }
  [[noreturn]] void expected(const std::string& what) const {
    const std::string found = m_token.eKind == EToken::End ? "the end of the file" : "\"" + m_token.text + "\"";
    throw SParseError{m_token.pos, "expected " + what + ", found " + found};
  }
  void expectPunct(char c) {
    if (!isPunct(c)) expected(std::string("'") + c + "'");
    take();
  }
  SToken expectName(const char* pWhat) {
    if (m_token.eKind != EToken::Name) expected(pWhat);
    return take();
  }

  void parseParameter() {
    const SToken typeToken = expectName("a parameter type, \"technique\", \"vertex\" or \"fragment\"");
    const SParamType* pType = findParamType(typeToken.text);
    if (pType == nullptr) throw SParseError{typeToken.pos, "unknown parameter type \"" + typeToken.text + "\""};
    const SToken nameToken = expectName("the parameter's name");
    if (!D3DXEffectParameterNameAllowed(nameToken.text)) {
      throw SParseError{nameToken.pos, "\"" + nameToken.text + "\" is not a name a parameter may have (reserved or " +
                                           "longer than 63 characters)"};
    }
    if (!m_parameterIndices.emplace(nameToken.text, static_cast<UINT>(mp_pSource->effect.parameters.size())).second) {
      throw SParseError{nameToken.pos, "parameter \"" + nameToken.text + "\" is declared twice"};
    }
    SD3DXEffectParameter parameter;
    parameter.name = nameToken.text;
    parameter.eClass = pType->eClass;
    parameter.eType = pType->eType;
    parameter.uiRows = pType->uiRows;
    parameter.uiColumns = pType->uiColumns;
    if (isPunct('[')) {
      take();
      if (m_token.eKind != EToken::Number) expected("the element count");
      const SToken count = take();
      DWORD dwCount = 0;
      if (!D3DXParseStateValue(E_D3DX_VALUES_NUMBER, count.text, &dwCount) || dwCount < 1 ||
          dwCount > gc_uiFXO_MAX_ELEMENTS || parameter.isTexture()) {
        throw SParseError{count.pos, parameter.isTexture() ? "textures cannot be arrays"
                                                           : "an array has 1 to 64 elements"};
      }
      parameter.uiElements = dwCount;
      expectPunct(']');
    }
    if (isPunct(':')) {
      take();
      parameter.semantic = expectName("the semantic").text;
    }
    if (isPunct('<')) {
      take();
      while (!isPunct('>')) {
        const SToken type = expectName("\"string\" or '>'");
        if (type.text != "string") throw SParseError{type.pos, "annotations are strings: \"string Name = \\\"value\\\";\""};
        const SToken name = expectName("the annotation's name");
        expectPunct('=');
        if (m_token.eKind != EToken::String) expected("a string in double quotes");
        parameter.annotations.push_back({name.text, take().text});
        expectPunct(';');
      }
      take();
    }
    expectPunct(';');
    if (parameter.isTexture() && ++m_iTextures > static_cast<int>(gc_uiFXO_MAX_TEXTURES)) {
      throw SParseError{nameToken.pos, "an effect has at most 16 textures"};
    }
    mp_pSource->effect.parameters.push_back(std::move(parameter));
  }

  void parseTechnique() {
    const SToken keyword = take();
    if (m_bTechnique) throw SParseError{keyword.pos, "an effect has one technique"};
    m_bTechnique = true;
    mp_pSource->effect.techniqueName = expectName("the technique's name").text;
    expectPunct('{');
    std::set<std::string> passNames;
    while (!isPunct('}')) {
      if (!isName("pass")) expected("\"pass\" or '}'");
      take();
      const SToken passName = expectName("the pass's name");
      if (!passNames.insert(passName.text).second) throw SParseError{passName.pos, "two passes are called \"" + passName.text + "\""};
      if (mp_pSource->effect.passes.size() == gc_uiFXO_MAX_PASSES) throw SParseError{passName.pos, "a technique has at most 16 passes"};
      parsePass(passName);
    }
    take();
    if (mp_pSource->effect.passes.empty()) throw SParseError{keyword.pos, "the technique has no pass"};
  }

  void parsePass(const SToken& passName) {
    SD3DXEffectPass pass;
    pass.name = passName.text;
    SToken vertex;
    SToken fragment;
    std::set<DWORD> states;
    expectPunct('{');
    while (!isPunct('}')) {
      const SToken name = expectName("a render state, \"sampler\", \"VertexShader\", \"PixelShader\" or '}'");
      if (name.text == "sampler") {
        parseSampler(&pass);
        continue;
      }
      expectPunct('=');
      const SToken value = take();
      if (value.eKind != EToken::Name && value.eKind != EToken::Number) {
        throw SParseError{value.pos, "expected a value"};
      }
      expectPunct(';');
      if (name.text == "VertexShader" || name.text == "PixelShader" || name.text == "FragmentShader") {
        SToken& slot = name.text == "VertexShader" ? vertex : fragment;
        if (slot.eKind != EToken::End) throw SParseError{name.pos, name.text + " is set twice"};
        slot = value;
        continue;
      }
      const SD3DXStateName* pState = D3DXFindRenderState(name.text);
      if (pState == nullptr) throw SParseError{name.pos, "unknown render state \"" + name.text + "\""};
      DWORD dwValue = 0;
      if (!D3DXParseStateValue(pState->eValues, value.text, &dwValue)) {
        throw SParseError{value.pos, "\"" + value.text + "\" is not a value of " + pState->pName};
      }
      if (!states.insert(pState->dwState).second) throw SParseError{name.pos, std::string(pState->pName) + " is set twice"};
      pass.renderStates.push_back({pState->dwState, dwValue});
    }
    take();
    if (vertex.eKind == EToken::End || fragment.eKind == EToken::End) {
      throw SParseError{passName.pos, "pass \"" + passName.text + "\" needs a VertexShader and a PixelShader"};
    }
    m_passShaders.emplace_back(vertex, fragment);
    mp_pSource->effect.passes.push_back(std::move(pass));
  }

  void parseSampler(SD3DXEffectPass* pPass) {
    const SToken texture = expectName("the texture parameter the sampler reads");
    const auto found = m_parameterIndices.find(texture.text);
    const UINT uiParameter = found != m_parameterIndices.end() ? found->second : 0;
    if (found == m_parameterIndices.end() || !mp_pSource->effect.parameters[uiParameter].isTexture()) {
      throw SParseError{texture.pos, "\"" + texture.text + "\" is not a texture parameter declared before the technique"};
    }
    std::set<DWORD> states;
    expectPunct('{');
    while (!isPunct('}')) {
      const SToken name = expectName("a sampler state or '}'");
      expectPunct('=');
      const SToken value = take();
      expectPunct(';');
      const SD3DXStateName* pState = D3DXFindSamplerState(name.text);
      if (pState == nullptr) throw SParseError{name.pos, "unknown sampler state \"" + name.text + "\""};
      DWORD dwValue = 0;
      if ((value.eKind != EToken::Name && value.eKind != EToken::Number) ||
          !D3DXParseStateValue(pState->eValues, value.text, &dwValue)) {
        throw SParseError{value.pos, "\"" + value.text + "\" is not a value of " + pState->pName};
      }
      if (!states.insert(pState->dwState).second) throw SParseError{name.pos, std::string(pState->pName) + " is set twice"};
      pPass->samplerStates.push_back({uiParameter, pState->dwState, dwValue});
    }
    take();
  }

  void parseShader() {
    const SToken keyword = take();
    const SToken name = expectName("the code block's name");
    if (m_token.eKind != EToken::Code) expected("\"%{\" and the GLSL code");
    const SToken code = take();
    if (m_shaderNames.count(name.text) > 0) throw SParseError{name.pos, "two code blocks are called \"" + name.text + "\""};
    if (code.text.find("#version") != std::string::npos) {
      throw SParseError{code.codePos, "the code names no GLSL version: the effect tool sets it"};
    }
    m_shaderNames[name.text] = static_cast<UINT>(mp_pSource->effect.shaders.size());
    SD3DXEffectShader shader;
    shader.uiStage = keyword.text == "vertex" ? D3DX_EFFECT_STAGE_VERTEX : D3DX_EFFECT_STAGE_FRAGMENT;
    shader.name = name.text;
    shader.code = code.text;
    shader.sourceFile = mp_pSource->fileName;
    shader.uiFirstLine = static_cast<UINT>(code.codePos.iLine);
    mp_pSource->effect.shaders.push_back(std::move(shader));
    mp_pSource->shaderPositions.push_back(keyword.pos);
  }

  UINT resolveShader(const SToken& name, UINT uiStage) const {
    auto it = m_shaderNames.find(name.text);
    if (it == m_shaderNames.end()) throw SParseError{name.pos, "no code block is called \"" + name.text + "\""};
    if (mp_pSource->effect.shaders[it->second].uiStage != uiStage) {
      throw SParseError{name.pos, "\"" + name.text + "\" is " +
                                      (uiStage == D3DX_EFFECT_STAGE_VERTEX ? "fragment code, not vertex code"
                                                                           : "vertex code, not fragment code")};
    }
    return it->second;
  }

  CLexer m_lexer;
  SFxoSource* mp_pSource;
  SToken m_token;
  bool m_bTechnique = false;
  int m_iTextures = 0;
  std::unordered_map<std::string, UINT> m_parameterIndices;
  std::unordered_map<std::string, UINT> m_shaderNames;
  std::vector<std::pair<SToken, SToken>> m_passShaders;
};

std::string located(const std::string& fileName, SFxoPosition pos, const std::string& message) {
  return fileName + ":" + std::to_string(pos.iLine) + ":" + std::to_string(pos.iColumn) + ": error: " + message;
}

}  // namespace

bool FxoParseSource(const std::string& text, const std::string& fileName, SFxoSource* pSource, std::string* pError) {
  *pSource = SFxoSource{};
  pSource->fileName = fileName;
  pSource->text = text;
  try {
    CParser parser(pSource->text, pSource);
    parser.parse();
  } catch (const SParseError& error) {
    *pError = located(fileName, error.pos, error.message);
    return false;
  }
  std::string rule;
  if (!D3DXEffectValidate(pSource->effect, &rule)) {
    *pError = located(fileName, SFxoPosition{}, rule);
    return false;
  }
  return true;
}

std::string FxoDumpText(const SD3DXEffectDescription& effect) {
  std::string text;
  for (const SD3DXEffectParameter& parameter : effect.parameters) {
    text += std::string(typeNameOf(parameter)) + " " + parameter.name;
    if (parameter.uiElements > 0) text += "[" + std::to_string(parameter.uiElements) + "]";
    if (!parameter.semantic.empty()) text += " : " + parameter.semantic;
    if (!parameter.annotations.empty()) {
      text += " <";
      for (const SD3DXEffectAnnotation& annotation : parameter.annotations) {
        text += " string " + annotation.name + " = \"" + annotation.value + "\";";
      }
      text += " >";
    }
    text += ";\n";
  }
  text += "\ntechnique " + effect.techniqueName + " {\n";
  for (const SD3DXEffectPass& pass : effect.passes) {
    text += "  pass " + pass.name + " {\n";
    for (const SD3DXEffectState& state : pass.renderStates) {
      const SD3DXStateName* pState = D3DXFindRenderState(state.dwState);
      text += std::string("    ") + pState->pName + " = " + D3DXStateValueText(pState->eValues, state.dwValue) + ";\n";
    }
    UINT uiLast = ~0u;
    for (const SD3DXEffectSamplerState& state : pass.samplerStates) {
      // One block per run of states of the same texture.
      if (state.uiParameter != uiLast) {
        if (uiLast != ~0u) text += " }\n";
        text += "    sampler " + effect.parameters[state.uiParameter].name + " {";
        uiLast = state.uiParameter;
      }
      const SD3DXStateName* pState = D3DXFindSamplerState(state.dwState);
      text += std::string(" ") + pState->pName + " = " + D3DXStateValueText(pState->eValues, state.dwValue) + ";";
    }
    if (uiLast != ~0u) text += " }\n";
    text += "    VertexShader = " + effect.shaders[pass.uiVertexShader].name + ";\n";
    text += "    PixelShader = " + effect.shaders[pass.uiFragmentShader].name + ";\n";
    text += "  }\n";
  }
  text += "}\n";
  for (const SD3DXEffectShader& shader : effect.shaders) {
    text += std::string("\n") + (shader.uiStage == D3DX_EFFECT_STAGE_VERTEX ? "vertex " : "fragment ") + shader.name +
            " %{" + shader.code + "%}\n";
  }
  return text;
}
