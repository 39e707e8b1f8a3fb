#include "Tools/Common/ToolText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Tools/Common/ToolFiles.h"

std::string ToolErrorAt(const std::string& fileName, int iLine, int iColumn, const std::string& what) {
  return fileName + ":" + std::to_string(iLine) + ":" + std::to_string(iColumn) + ": error: " + what;
}

bool ToolPrepareText(std::string* pText, const std::string& fileName, std::string* pError) {
  if (pText->compare(0, 3, "\xEF\xBB\xBF") == 0) {
    pText->erase(0, 3);
  }
  const size_t uiZero = pText->find('\0');
  if (uiZero == std::string::npos) {
    return true;
  }
  int iLine = 1;
  size_t uiLineStart = 0;
  for (size_t i = 0; i < uiZero; ++i) {
    if ((*pText)[i] == '\n') {
      ++iLine;
      uiLineStart = i + 1;
    }
  }
  *pError = ToolErrorAt(fileName, iLine, static_cast<int>(uiZero - uiLineStart) + 1,
                        "the file holds a zero byte, which no text may hold");
  return false;
}

bool ToolReadTextSource(const std::string& path, std::string* pText, std::string* pError) {
  errno = 0;
  if (!ToolReadFile(path, pText)) {
    *pError = path + ": error: cannot open the file" + (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : "");
    return false;
  }
  return ToolPrepareText(pText, path, pError);
}

bool ToolSplitWords(const std::string& line, std::vector<SToolWord>* pWords, int* piBadColumn) {
  pWords->clear();
  size_t i = 0;
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) {
      ++i;
    }
    if (i >= line.size()) {
      break;
    }
    SToolWord token;
    token.iColumn = static_cast<int>(i) + 1;
    std::string& word = token.text;
    if (line[i] == '"') {
      const size_t uiOpen = i++;
      bool bClosed = false;
      while (i < line.size()) {
        const char c = line[i++];
        if (c == '"') {
          bClosed = true;
          break;
        }
        if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
          word.push_back(line[i++]);
        } else {
          word.push_back(c);
        }
      }
      if (!bClosed) {
        *piBadColumn = static_cast<int>(uiOpen) + 1;
        return false;
      }
    } else {
      while (i < line.size() && !isBlank(line[i])) {
        word.push_back(line[i++]);
      }
    }
    pWords->push_back(std::move(token));
  }
  return true;
}

std::string ToolQuoteWord(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\r\"\\") == std::string::npos) {
    return word;
  }
  std::string quoted = "\"";
  for (char c : word) {
    if (c == '"' || c == '\\') {
      quoted.push_back('\\');
    }
    quoted.push_back(c);
  }
  return quoted + "\"";
}

int ToolUsageError(const char* pTool, const std::string& problem, const char* pUsage) {
  std::fprintf(stderr, "%s: %s\n%s", pTool, problem.c_str(), pUsage);
  return 2;
}
