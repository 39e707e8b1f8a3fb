#include "Tools/Common/ClTool.h"

#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolText.h"

int ClTool::usageError(const std::string& problem) const {
  std::fprintf(stderr, "%s: %s\n%s", m_pName, ToolEscapeText(problem).c_str(), m_pUsage);
  return 2;
}

int ClTool::failTool(const std::string& problem) const { return fail(std::string(m_pName) + ": " + problem); }

int ClTool::fail(const std::string& message) {
  ToolPrintError(message);
  return 1;
}

int ClTool::writeOutput(const std::string& path, const void* pData, size_t uiSize) {
  if (path.empty()) {
    return std::fwrite(pData, 1, uiSize, stdout) == uiSize ? 0 : fail("error: cannot write the standard output");
  }
  std::string why;
  return ToolWriteFile(path, pData, uiSize, &why) ? 0 : fail(path + ": error: " + why);
}

std::string ClTool::outputName(const std::string& input, const char* pExtension) {
  const size_t uiSlash = input.find_last_of('/');
  const size_t uiDot = input.find_last_of('.');
  const bool bExtension = uiDot != std::string::npos && (uiSlash == std::string::npos || uiDot > uiSlash);
  return (bExtension ? input.substr(0, uiDot) : input) + pExtension;
}
