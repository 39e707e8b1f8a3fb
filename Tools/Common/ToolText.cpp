#include "Tools/Common/ToolText.h"

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
  return ToolReadInput(path, pText, pError) && ToolPrepareText(pText, path, pError);
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

namespace {

// The length (2 to 4) of the well-formed UTF-8 sequence of more than one byte at text[i], or 0.
size_t utf8SequenceAt(std::string_view text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  size_t uiLength = 0;
  unsigned char ucLow = 0x80;
  unsigned char ucHigh = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    uiLength = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    uiLength = 3;
    ucLow = c == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
    ucHigh = c == 0xED ? 0x9F : 0xBF;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    uiLength = 4;
    ucLow = c == 0xF0 ? 0x90 : 0x80;
    ucHigh = c == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (i + uiLength > text.size()) {
    return 0;
  }
  for (size_t k = 1; k < uiLength; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if (next < (k == 1 ? ucLow : 0x80) || next > (k == 1 ? ucHigh : 0xBF)) {
      return 0;
    }
  }
  return uiLength;
}

}  // namespace

std::string ToolEscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t uiSequence = c >= 0x80 ? utf8SequenceAt(text, i) : 0;
    const bool bC1Control = uiSequence == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (uiSequence > 0 && !bC1Control) {
      out.append(text.substr(i, uiSequence));
      i += uiSequence;
    } else if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
      ++i;
    } else {
      for (size_t k = 0; k < (bC1Control ? 2u : 1u); ++k) {
        char szByte[8];
        std::snprintf(szByte, sizeof(szByte), "\\x%02X", static_cast<unsigned char>(text[i + k]));
        out += szByte;
      }
      i += bC1Control ? 2 : 1;
    }
  }
  return out;
}

std::string ToolUtf8Text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const size_t uiSequence = c >= 0x80 ? utf8SequenceAt(bytes, i) : 0;
    if (c < 0x80 || uiSequence > 0) {
      const size_t uiLength = uiSequence > 0 ? uiSequence : 1;
      out.append(bytes.substr(i, uiLength));
      i += uiLength;
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      ++i;
    }
  }
  return out;
}

void ToolPrintError(const std::string& message) { std::fprintf(stderr, "%s\n", ToolEscapeText(message).c_str()); }
