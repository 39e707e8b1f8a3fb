// The GLSL check of an effect's code with glslangValidator, its messages put back at their places in the source.
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string_view>
#include <unordered_set>

#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolText.h"
#include "Tools/fxoc/FxoSource.h"

namespace {

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

// Runs the command line; its output and error output joined, and the exit status (-1 when it did not run).
int run(const std::string& commandLine, std::string* pOutput) {
  std::FILE* pPipe = popen((commandLine + " 2>&1").c_str(), "r");
  if (pPipe == nullptr) return -1;
  char szBuffer[4096];
  size_t uiRead = 0;
  while ((uiRead = std::fread(szBuffer, 1, sizeof(szBuffer), pPipe)) > 0) pOutput->append(szBuffer, uiRead);
  const int iStatus = pclose(pPipe);
  return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
}

std::string lineOf(const std::string& text, int iLine) {
  std::istringstream in(text);
  std::string line;
  for (int i = 1; std::getline(in, line); ++i) {
    if (i == iLine) return line;
  }
  return "";
}

int lineCount(const std::string& text) {
  int iLines = 1;
  for (char c : text) iLines += c == '\n';
  return iLines;
}

// One compiler message ("ERROR: <file>:<line>: '<token>' : <text>") as "source:line:col: error: ...": inside a
// shader's code at its line (the column of the quoted token when the line holds it), elsewhere at the code block.
std::string locate(const SFxoSource& source, const std::map<std::string, UINT>& files, const std::string& message,
                   UINT uiFallbackShader) {
  std::string rest = message.substr(message.find(':') + 1);
  while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  UINT uiShader = uiFallbackShader;
  int iLine = -1;
  for (const auto& [file, uiIndex] : files) {
    if (rest.rfind(file + ":", 0) == 0) {
      uiShader = uiIndex;
      const std::string afterFile = rest.substr(file.size() + 1);
      iLine = std::atoi(afterFile.c_str());
      const size_t uiColon = afterFile.find(':');
      rest = uiColon != std::string::npos ? afterFile.substr(uiColon + 1) : afterFile;
      while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
      break;
    }
  }
  // A compiler given one file names it by its string number: "0:<line>: ...".
  const size_t uiFirstColon = rest.find(':');
  if (iLine < 0 && uiFirstColon != std::string::npos && uiFirstColon > 0 &&
      rest.find_first_not_of("0123456789") == uiFirstColon && uiFirstColon + 1 < rest.size() &&
      std::isdigit(static_cast<unsigned char>(rest[uiFirstColon + 1]))) {
    const std::string afterString = rest.substr(uiFirstColon + 1);
    iLine = std::atoi(afterString.c_str());
    const size_t uiColon = afterString.find(':');
    rest = uiColon != std::string::npos ? afterString.substr(uiColon + 1) : afterString;
    while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  }
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r')) rest.pop_back();
  const SD3DXEffectShader& shader = source.effect.shaders[uiShader];
  SFxoPosition pos = source.shaderPositions[uiShader];
  const int iFirst = static_cast<int>(shader.uiFirstLine);
  if (iLine >= iFirst && iLine < iFirst + lineCount(shader.code)) {
    pos.iLine = iLine;
    pos.iColumn = 1;
    const size_t uiOpen = rest.find('\'');
    const size_t uiClose = uiOpen != std::string::npos ? rest.find('\'', uiOpen + 1) : std::string::npos;
    if (uiClose != std::string::npos && uiClose > uiOpen + 1) {
      const size_t uiAt = lineOf(source.text, iLine).find(rest.substr(uiOpen + 1, uiClose - uiOpen - 1));
      if (uiAt != std::string::npos) pos.iColumn = static_cast<int>(uiAt) + 1;
    }
  } else {
    rest = shader.name + ": " + rest;
  }
  return source.fileName + ":" + std::to_string(pos.iLine) + ":" + std::to_string(pos.iColumn) + ": error: " + rest;
}

struct SInterfaceVariable {
  std::string type;
  std::string name;
  int iLine = 0;  // in the source
  int iColumn = 0;
};

// The global "in" or "out" declarations of a shader's code (interpolation qualifiers allowed), one a line.
std::vector<SInterfaceVariable> interfaceOf(const SD3DXEffectShader& shader, const char* pDirection) {
  static const std::regex s_declaration(
      R"(^\s*((?:flat|smooth|noperspective|centroid)\s+)*(in|out)\s+(\w+)\s+(\w+)\s*(\[\s*\d+\s*\])?\s*;)");
  std::vector<SInterfaceVariable> variables;
  std::istringstream in(shader.code);
  std::string line;
  for (int i = 0; std::getline(in, line); ++i) {
    std::smatch match;
    if (std::regex_search(line, match, s_declaration) && match[2] == pDirection) {
      variables.push_back({match[3].str() + match[5].str(), match[4],
                           static_cast<int>(shader.uiFirstLine) + i,
                           static_cast<int>(match.position(4)) + 1});
    }
  }
  return variables;
}

// OpenGL links a fragment input only to a vertex output of the same name and type; the reference compiler does not
// check that, so the tool does.
void checkInterface(const SFxoSource& source, UINT uiVertex, UINT uiFragment, std::vector<std::string>* pMessages) {
  const std::vector<SInterfaceVariable> outputs = interfaceOf(source.effect.shaders[uiVertex], "out");
  for (const SInterfaceVariable& input : interfaceOf(source.effect.shaders[uiFragment], "in")) {
    bool bMatched = false;
    for (const SInterfaceVariable& output : outputs) bMatched = bMatched || (output.name == input.name && output.type == input.type);
    if (!bMatched) {
      pMessages->push_back(source.fileName + ":" + std::to_string(input.iLine) + ":" + std::to_string(input.iColumn) +
                           ": error: fragment input '" + input.name + "' (" + input.type +
                           ") has no vertex output of that name and type in " +
                           source.effect.shaders[uiVertex].name);
    }
  }
}

// The shader's composed text with only the parameters its code names. The linker compares every uniform of one
// stage with every uniform of the other, so linking texts that declare thousands of unused parameters takes time
// that grows with the square of their count; each text is compiled whole on its own as well.
std::string composeForLink(const SD3DXEffectDescription& effect, UINT uiShader) {
  const std::string& code = effect.shaders[uiShader].code;
  std::unordered_set<std::string_view> identifiers;
  for (size_t i = 0; i < code.size();) {
    const unsigned char c = static_cast<unsigned char>(code[i]);
    if (std::isalpha(c) || c == '_') {
      size_t uiEnd = i + 1;
      while (uiEnd < code.size() && (std::isalnum(static_cast<unsigned char>(code[uiEnd])) || code[uiEnd] == '_')) {
        ++uiEnd;
      }
      identifiers.insert(std::string_view(code).substr(i, uiEnd - i));
      i = uiEnd;
    } else if (std::isdigit(c)) {
      while (i < code.size() && (std::isalnum(static_cast<unsigned char>(code[i])) || code[i] == '_')) ++i;
    } else {
      ++i;
    }
  }
  SD3DXEffectDescription used;
  used.shaders.push_back(effect.shaders[uiShader]);
  for (const SD3DXEffectParameter& parameter : effect.parameters) {
    if (identifiers.count(parameter.name) > 0) used.parameters.push_back(parameter);
  }
  return D3DXEffectComposeGLSL(used, 0);
}


}  // namespace

bool FxoCheckGlsl(const SFxoSource& source, const std::string& glslangPath, const std::string& scratchDir,
                  std::string* pErrors) {
  std::error_code error;
  std::filesystem::create_directories(scratchDir, error);
  const SD3DXEffectDescription& effect = source.effect;
  // Each shader's composed text in a file of its own, named by stage for the compiler.
  // Each shader's whole text and, for linking, its text with the parameters it names only.
  std::map<std::string, UINT> files;
  std::vector<std::string> paths;
  std::vector<std::string> linkPaths;
  for (UINT i = 0; i < effect.shaders.size(); ++i) {
    const std::string stem = scratchDir + "/" + std::to_string(i) + "_" + effect.shaders[i].name;
    const std::string extension = effect.shaders[i].uiStage == D3DX_EFFECT_STAGE_VERTEX ? ".vert" : ".frag";
    const std::string path = stem + extension;
    const std::string linkPath = stem + ".link" + extension;
    for (const auto& [file, text] : {std::pair{path, D3DXEffectComposeGLSL(effect, i)},
                                     std::pair{linkPath, composeForLink(effect, i)}}) {
      if (std::string why; !ToolWriteFile(file, text.data(), text.size(), &why)) {
        *pErrors = source.fileName + ":1:1: error: cannot write the scratch file " + file + ": " + why;
        return false;
      }
      files[file] = i;
    }
    paths.push_back(path);
    linkPaths.push_back(linkPath);
  }
  // Every shader compiled on its own, then every pass's pair linked together.
  std::vector<std::vector<UINT>> groups;
  for (UINT i = 0; i < effect.shaders.size(); ++i) groups.push_back({i});
  std::set<std::pair<UINT, UINT>> pairs;
  for (const SD3DXEffectPass& pass : effect.passes) {
    if (pairs.insert({pass.uiVertexShader, pass.uiFragmentShader}).second) {
      groups.push_back({pass.uiVertexShader, pass.uiFragmentShader});
    }
  }
  std::vector<std::string> messages;
  std::set<std::string> seen;
  for (const std::vector<UINT>& group : groups) {
    std::string commandLine = shellQuoted(glslangPath) + (group.size() > 1 ? " -l" : "");
    for (UINT uiShader : group) commandLine += " " + shellQuoted(group.size() > 1 ? linkPaths[uiShader] : paths[uiShader]);
    std::string output;
    const int iExit = run(commandLine, &output);
    if (iExit < 0 || iExit == 126 || iExit == 127) {
      *pErrors = source.fileName + ":1:1: error: cannot run the GLSL compiler " + glslangPath + ": " + output;
      return false;
    }
    std::istringstream lines(output);
    std::string line;
    bool bFound = false;
    std::vector<std::string> linkErrors;
    while (std::getline(lines, line)) {
      if (line.rfind("ERROR:", 0) != 0 || line.find("compilation errors") != std::string::npos ||
          line.find("compilation terminated") != std::string::npos) {
        continue;
      }
      if (line.find("Linking") != std::string::npos) {
        linkErrors.push_back(line);
        continue;
      }
      bFound = true;
      const std::string located = locate(source, files, line, group[0]);
      if (seen.insert(located).second) messages.push_back(located);
    }
    // A stage that did not compile makes the link fail as well: its message adds nothing.
    for (const std::string& linkError : bFound ? std::vector<std::string>{} : linkErrors) {
      bFound = true;
      const std::string located = locate(source, files, linkError, group[0]);
      if (seen.insert(located).second) messages.push_back(located);
    }
    if (group.size() == 2 && iExit == 0) checkInterface(source, group[0], group[1], &messages);
    if (iExit != 0 && !bFound) {
      const std::string located = locate(source, files, "ERROR: " + output, group[0]);
      if (seen.insert(located).second) messages.push_back(located);
    }
  }
  std::string joined;
  for (const std::string& message : messages) joined += ToolEscapeText(message) + "\n";
  *pErrors = joined;
  return messages.empty();
}
