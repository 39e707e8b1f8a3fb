#include "Tools/kdsc/KdsSource.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "Corvane/ADT/KvStrHash.h"
#include "Tools/Common/ToolText.h"

namespace {

constexpr int gc_iMAX_NESTING = gc_iKDS_MAX_DEPTH;

enum class ETok { End, Name, String, HashId, Number, Equals, Comma, Open, Close, Range };

struct SToken {
  ETok eKind = ETok::End;
  std::string text;  // name, string contents, hash-id text or number text
  char cBracket = 0;  // '[' '{' ']' '}'
  int iLine = 1;
  int iColumn = 1;
};

class KdsParser {
 public:
  KdsParser(const std::string& text, const std::string& fileName) : m_text(text), m_fileName(fileName) {}

  bool parse(SKdsSourceNode* pRoot, std::string* pError) {
    pRoot->eType = E_DSCT_ARRAY;
    pRoot->iLine = 1;
    pRoot->iColumn = 1;
    const bool bOk = next() && parseElements(pRoot, 0, 0) && expectEnd();
    if (!bOk) {
      *pError = m_error;
    }
    return bOk;
  }

 private:
  bool error(int iLine, int iColumn, const std::string& message) {
    if (m_error.empty()) {
      std::ostringstream s;
      s << m_fileName << ":" << iLine << ":" << iColumn << ": error: " << message;
      m_error = s.str();
    }
    return false;
  }

  char peek(size_t uiAhead = 0) const {
    return m_uiPos + uiAhead < m_text.size() ? m_text[m_uiPos + uiAhead] : '\0';
  }
  bool atEnd() const { return m_uiPos >= m_text.size(); }

  void advance() {
    if (m_text[m_uiPos] == '\n') {
      ++m_iLine;
      m_iColumn = 1;
    } else {
      ++m_iColumn;
    }
    ++m_uiPos;
  }

  bool skipBlanksAndComments() {
    for (;;) {
      while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\r' || peek() == '\n')) {
        advance();
      }
      if (peek() == '/' && peek(1) == '/') {
        while (!atEnd() && peek() != '\n') {
          advance();
        }
      } else if (peek() == '/' && peek(1) == '*') {
        const int iLine = m_iLine;
        const int iColumn = m_iColumn;
        advance();
        advance();
        while (!atEnd() && !(peek() == '*' && peek(1) == '/')) {
          advance();
        }
        if (atEnd()) {
          return error(iLine, iColumn, "unfinished block comment");
        }
        advance();
        advance();
      } else {
        return true;
      }
    }
  }

  static bool isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
  static bool isDigit(char c) { return c >= '0' && c <= '9'; }
  static bool isNameChar(char c) { return isNameStart(c) || isDigit(c); }

  bool readQuoted(std::string* pOut) {
    const int iLine = m_iLine;
    const int iColumn = m_iColumn;
    advance();  // opening quote
    pOut->clear();
    for (;;) {
      if (atEnd() || peek() == '\n') {
        return error(iLine, iColumn, "unfinished text: a closing double quote is missing");
      }
      char c = peek();
      if (c == '"') {
        advance();
        return true;
      }
      if (c == '\\') {
        const int iEscLine = m_iLine;
        const int iEscColumn = m_iColumn;
        advance();
        const char e = peek();
        switch (e) {
          case '"': c = '"'; break;
          case '\\': c = '\\'; break;
          case 'n': c = '\n'; break;
          case 'r': c = '\r'; break;
          case 't': c = '\t'; break;
          case 'x': {
            advance();
            int iValue = 0;
            for (int i = 0; i < 2; ++i) {
              const char h = peek();
              int iDigit = -1;
              if (h >= '0' && h <= '9') iDigit = h - '0';
              if (h >= 'a' && h <= 'f') iDigit = h - 'a' + 10;
              if (h >= 'A' && h <= 'F') iDigit = h - 'A' + 10;
              if (iDigit < 0) {
                return error(iEscLine, iEscColumn, "\\x needs two hexadecimal digits");
              }
              iValue = iValue * 16 + iDigit;
              if (i == 0) advance();
            }
            if (iValue == 0) {
              return error(iEscLine, iEscColumn, "texts cannot hold a zero byte");
            }
            c = static_cast<char>(iValue);
            break;
          }
          default:
            return error(iEscLine, iEscColumn, std::string("unknown escape \\") + (e ? std::string(1, e) : ""));
        }
      }
      pOut->push_back(c);
      advance();
    }
  }

  bool next() {
    if (!skipBlanksAndComments()) {
      return false;
    }
    m_token = SToken{};
    m_token.iLine = m_iLine;
    m_token.iColumn = m_iColumn;
    if (atEnd()) {
      m_token.eKind = ETok::End;
      return true;
    }
    const char c = peek();
    if (c == '=' || c == ',') {
      m_token.eKind = c == '=' ? ETok::Equals : ETok::Comma;
      advance();
      return true;
    }
    if (c == '[' || c == '{' || c == ']' || c == '}') {
      m_token.eKind = (c == '[' || c == '{') ? ETok::Open : ETok::Close;
      m_token.cBracket = c;
      advance();
      return true;
    }
    if (c == '.' && peek(1) == '.') {
      m_token.eKind = ETok::Range;
      advance();
      advance();
      return true;
    }
    if (c == '"') {
      m_token.eKind = ETok::String;
      return readQuoted(&m_token.text);
    }
    if (c == '#') {
      advance();
      m_token.eKind = ETok::HashId;
      if (peek() == '"') {
        return readQuoted(&m_token.text);
      }
      while (isNameChar(peek())) {
        m_token.text.push_back(peek());
        advance();
      }
      if (m_token.text.empty()) {
        return error(m_token.iLine, m_token.iColumn, "\"#\" must be followed by a name or a quoted text");
      }
      return true;
    }
    if (isNameStart(c)) {
      m_token.eKind = ETok::Name;
      while (isNameChar(peek())) {
        m_token.text.push_back(peek());
        advance();
      }
      return true;
    }
    if (isDigit(c) || ((c == '-' || c == '+') && (isDigit(peek(1)) || peek(1) == '.'))) {
      m_token.eKind = ETok::Number;
      if (c == '-' || c == '+') {
        m_token.text.push_back(c);
        advance();
      }
      if (peek() == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
        m_token.text += "0x";
        advance();
        advance();
        while (isNameChar(peek())) {
          m_token.text.push_back(peek());
          advance();
        }
        return true;
      }
      while (isDigit(peek())) {
        m_token.text.push_back(peek());
        advance();
      }
      if (peek() == '.' && isDigit(peek(1))) {
        m_token.text.push_back('.');
        advance();
        while (isDigit(peek())) {
          m_token.text.push_back(peek());
          advance();
        }
      }
      if ((peek() == 'e' || peek() == 'E') &&
          (isDigit(peek(1)) || ((peek(1) == '-' || peek(1) == '+') && isDigit(peek(2))))) {
        m_token.text.push_back('e');
        advance();
        if (peek() == '-' || peek() == '+') {
          m_token.text.push_back(peek());
          advance();
        }
        while (isDigit(peek())) {
          m_token.text.push_back(peek());
          advance();
        }
      }
      if (isNameChar(peek()) || (peek() == '.' && peek(1) != '.')) {
        return error(m_iLine, m_iColumn, "malformed number");
      }
      return true;
    }
    return error(m_token.iLine, m_token.iColumn, std::string("unexpected character '") + c + "'");
  }

  bool numberValue(const SToken& token, SKdsSourceNode* pNode) {
    const std::string& t = token.text;
    const size_t uiSign = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    if (t.size() > uiSign + 1 && t[uiSign] == '0' && (t[uiSign + 1] == 'x' || t[uiSign + 1] == 'X')) {
      const std::string digits = t.substr(uiSign + 2);
      if (uiSign != 0 || digits.empty() || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return error(token.iLine, token.iColumn, "malformed hexadecimal number [" + t + "]");
      }
      errno = 0;
      const unsigned long long uiValue = std::strtoull(digits.c_str(), nullptr, 16);
      if (errno != 0 || uiValue > 0xFFFFFFFFull) {
        return error(token.iLine, token.iColumn, "[" + t + "] does not fit 32 bits");
      }
      pNode->eType = E_DSCT_INT;
      pNode->iValue = static_cast<int32_t>(static_cast<uint32_t>(uiValue));
      return true;
    }
    if (t.find_first_of(".e") != std::string::npos) {
      errno = 0;
      const float fValue = std::strtof(t.c_str(), nullptr);
      if (errno == ERANGE && std::isinf(fValue)) {
        return error(token.iLine, token.iColumn, "[" + t + "] is too large for a float");
      }
      pNode->eType = E_DSCT_FLOAT;
      pNode->fValue = fValue;
      return true;
    }
    errno = 0;
    const long long iValue = std::strtoll(t.c_str(), nullptr, 10);
    if (errno != 0 || iValue < INT32_MIN || iValue > INT32_MAX) {
      return error(token.iLine, token.iColumn, "[" + t + "] does not fit a 32-bit integer");
    }
    pNode->eType = E_DSCT_INT;
    pNode->iValue = static_cast<int32_t>(iValue);
    return true;
  }

  bool parseValue(SKdsSourceNode* pNode, int iDepth) {
    const SToken token = m_token;
    pNode->iLine = token.iLine;
    pNode->iColumn = token.iColumn;
    switch (token.eKind) {
      case ETok::Number: {
        if (!numberValue(token, pNode) || !next()) {
          return false;
        }
        if (m_token.eKind != ETok::Range) {
          return true;
        }
        if (!next()) {
          return false;
        }
        if (m_token.eKind != ETok::Number) {
          return error(m_token.iLine, m_token.iColumn, "a range needs a number after \"..\"");
        }
        SKdsSourceNode minNode;
        SKdsSourceNode maxNode;
        minNode = *pNode;
        if (!parseValue(&maxNode, iDepth)) {
          return false;
        }
        if (maxNode.eType == E_DSCT_ARRAY) {
          return error(maxNode.iLine, maxNode.iColumn, "a range has two ends only");
        }
        if (iDepth + 1 > gc_iMAX_NESTING) {
          return error(token.iLine, token.iColumn, "a range here nests lists too deep (it is a list itself)");
        }
        minNode.name = "Min";
        minNode.bNamed = true;
        maxNode.name = "Max";
        maxNode.bNamed = true;
        pNode->eType = E_DSCT_ARRAY;
        pNode->children = {minNode, maxNode};
        return true;
      }
      case ETok::String:
        pNode->eType = E_DSCT_STRING;
        pNode->text = token.text;
        return next();
      case ETok::HashId:
        pNode->eType = E_DSCT_HASH_ID;
        pNode->text = token.text;
        return next();
      case ETok::Open: {
        if (iDepth + 1 > gc_iMAX_NESTING) {
          return error(token.iLine, token.iColumn, "lists nest too deep");
        }
        pNode->eType = E_DSCT_ARRAY;
        const char cClose = token.cBracket == '[' ? ']' : '}';
        if (!next() || !parseElements(pNode, iDepth + 1, cClose)) {
          return false;
        }
        return next();
      }
      case ETok::Name:
        return error(token.iLine, token.iColumn,
                     "expected \"=\" after the name [" + token.text + "] (texts are written in double quotes)");
      case ETok::End:
        return error(token.iLine, token.iColumn, "expected a value, found the end of the file");
      default:
        return error(token.iLine, token.iColumn, "expected a value");
    }
  }

  // Elements up to the closing bracket cClose (0: up to the end of the file).
  bool parseElements(SKdsSourceNode* pArray, int iDepth, char cClose) {
    std::unordered_map<uint32_t, size_t> names;
    for (;;) {
      if (m_token.eKind == ETok::Comma) {
        if (!next()) return false;
        continue;
      }
      if (m_token.eKind == ETok::Close) {
        if (cClose == 0) {
          return error(m_token.iLine, m_token.iColumn, std::string("unexpected '") + m_token.cBracket + "'");
        }
        if (m_token.cBracket != cClose) {
          return error(m_token.iLine, m_token.iColumn,
                       std::string("expected '") + cClose + "', found '" + m_token.cBracket + "'");
        }
        return true;
      }
      if (m_token.eKind == ETok::End) {
        if (cClose != 0) {
          return error(m_token.iLine, m_token.iColumn, std::string("missing '") + cClose + "' at the end of the file");
        }
        return true;
      }
      SKdsSourceNode node;
      if (m_token.eKind == ETok::Name || m_token.eKind == ETok::String) {
        const SToken nameToken = m_token;
        if (!next()) return false;
        if (m_token.eKind == ETok::Equals) {
          const uint32_t uiHash = KvStrHash(nameToken.text.c_str());
          const auto found = names.find(uiHash);
          if (found != names.end()) {
            const SKdsSourceNode& first = pArray->children[found->second];
            std::ostringstream s;
            s << "the name [" << nameToken.text << "] is already used in this list at line " << first.iLine
              << " ([" << first.name << "]; names differing only in case are the same)";
            return error(nameToken.iLine, nameToken.iColumn, s.str());
          }
          names.emplace(uiHash, pArray->children.size());
          if (!next() || !parseValue(&node, iDepth)) return false;
          node.name = nameToken.text;
          node.bNamed = true;
          node.iLine = nameToken.iLine;
          node.iColumn = nameToken.iColumn;
        } else if (nameToken.eKind == ETok::String) {
          node.eType = E_DSCT_STRING;
          node.text = nameToken.text;
          node.iLine = nameToken.iLine;
          node.iColumn = nameToken.iColumn;
        } else {
          return error(nameToken.iLine, nameToken.iColumn,
                       "expected \"=\" after the name [" + nameToken.text + "] (texts are written in double quotes)");
        }
      } else if (!parseValue(&node, iDepth)) {
        return false;
      }
      pArray->children.push_back(std::move(node));
    }
  }

  bool expectEnd() {
    if (m_token.eKind != ETok::End) {
      return error(m_token.iLine, m_token.iColumn, "unexpected text after the last value");
    }
    return true;
  }

  const std::string& m_text;
  std::string m_fileName;
  size_t m_uiPos = 0;
  int m_iLine = 1;
  int m_iColumn = 1;
  SToken m_token;
  std::string m_error;
};

class KdsWriter {
 public:
  std::vector<uint8_t> write(const SKdsSourceNode& root) {
    m_out.assign(8, 0);
    const uint32_t uiRoot = writeArray(root);
    patch(0, uiRoot);
    // Characters follow the records; the slots that name them are patched now.
    std::vector<uint32_t> textOffsets(m_texts.size());
    for (size_t i = 0; i < m_texts.size(); ++i) {
      textOffsets[i] = static_cast<uint32_t>(m_out.size());
      m_out.insert(m_out.end(), m_texts[i].begin(), m_texts[i].end());
      m_out.push_back(0);
    }
    for (const auto& fixup : m_textFixups) {
      patch(fixup.first, textOffsets[fixup.second]);
    }
    while (m_out.size() % 4 != 0) {
      m_out.push_back(0);
    }
    return std::move(m_out);
  }

 private:
  uint32_t reserve(size_t uiBytes) {
    const uint32_t uiOffset = static_cast<uint32_t>(m_out.size());
    m_out.resize(m_out.size() + uiBytes, 0);
    return uiOffset;
  }
  void patch(size_t uiAt, uint32_t uiValue) { std::memcpy(&m_out[uiAt], &uiValue, 4); }

  size_t textIndex(const std::string& text) {
    const auto found = m_textIndex.find(text);
    if (found != m_textIndex.end()) {
      return found->second;
    }
    m_texts.push_back(text);
    m_textIndex.emplace(text, m_texts.size() - 1);
    return m_texts.size() - 1;
  }

  // A name record or hash-id record of its own for this use of the text: a loader that turns the record's
  // offset into a pointer in place must meet every record once. The characters, which nothing rewrites, are
  // stored once for all uses.
  uint32_t nameRecord(const std::string& text) {
    const uint32_t uiRecord = reserve(sizeof(SKdsNameRecord));
    m_textFixups.emplace_back(uiRecord, textIndex(text));
    patch(uiRecord + offsetof(SKdsNameRecord, uiHash), KvStrHash(text.c_str()));
    return uiRecord;
  }

  uint32_t writeArray(const SKdsSourceNode& node) {
    const uint32_t uiRecord = reserve(sizeof(SKdsArrayRecord));
    const uint32_t uiCount = static_cast<uint32_t>(node.children.size());
    patch(uiRecord + offsetof(SKdsArrayRecord, iCount), uiCount);
    if (uiCount == 0) {
      return uiRecord;
    }
    const uint32_t uiTable = reserve(4 * static_cast<size_t>(uiCount));
    patch(uiRecord, uiTable);
    for (uint32_t i = 0; i < uiCount; ++i) {
      patch(uiTable + 4 * i, writeValue(node.children[i]));
    }
    return uiRecord;
  }

  uint32_t writeValue(const SKdsSourceNode& node) {
    const uint32_t uiRecord = reserve(sizeof(SKdsValueRecord));
    patch(uiRecord + offsetof(SKdsValueRecord, iType), static_cast<uint32_t>(node.eType));
    if (node.bNamed) {
      patch(uiRecord + offsetof(SKdsValueRecord, name), nameRecord(node.name));
    }
    const uint32_t uiValueSlot = uiRecord + offsetof(SKdsValueRecord, value);
    switch (node.eType) {
      case E_DSCT_INT:
      case E_DSCT_INT2:
        patch(uiValueSlot, static_cast<uint32_t>(node.iValue));
        break;
      case E_DSCT_FLOAT: {
        uint32_t uiBits;
        std::memcpy(&uiBits, &node.fValue, 4);
        patch(uiValueSlot, uiBits);
        break;
      }
      case E_DSCT_STRING:
        m_textFixups.emplace_back(uiValueSlot, textIndex(node.text));
        break;
      case E_DSCT_HASH_ID:
        patch(uiValueSlot, nameRecord(node.text));
        break;
      default:
        patch(uiValueSlot, writeArray(node));
        break;
    }
    return uiRecord;
  }

  std::vector<uint8_t> m_out;
  std::vector<std::string> m_texts;
  std::unordered_map<std::string, size_t> m_textIndex;
  std::vector<std::pair<size_t, size_t>> m_textFixups;
};

}  // namespace

bool KdsParseSource(const std::string& text, const std::string& fileName, SKdsSourceNode* pRoot,
                    std::string* pError) {
  *pRoot = SKdsSourceNode{};
  std::string prepared = text;
  if (!ToolPrepareText(&prepared, fileName, pError)) {
    return false;
  }
  KdsParser parser(prepared, fileName);
  return parser.parse(pRoot, pError);
}

namespace {

// What a tree needs: its texts as the loader copies them (names and values, each with its terminator), and the
// bytes of its compiled file at most.
void measure(const SKdsSourceNode& node, uint64_t* puiText, uint64_t* puiFile) {
  if (node.bNamed) {
    *puiText += node.name.size() + 1;
    *puiFile += sizeof(SKdsNameRecord) + node.name.size() + 1;
  }
  if (node.eType == E_DSCT_STRING || node.eType == E_DSCT_HASH_ID) {
    *puiText += node.text.size() + 1;
    *puiFile += sizeof(SKdsNameRecord) + node.text.size() + 1;
  }
  if (node.eType == E_DSCT_ARRAY) {
    *puiFile += sizeof(SKdsArrayRecord) + 4 * node.children.size();
    for (const SKdsSourceNode& child : node.children) {
      *puiFile += sizeof(SKdsValueRecord);
      measure(child, puiText, puiFile);
    }
  }
}

}  // namespace

bool KdsCheckLimits(const SKdsSourceNode& root, const std::string& fileName, std::string* pError) {
  uint64_t uiText = 0;
  uint64_t uiFile = sizeof(SKdsSlot) + 4;
  measure(root, &uiText, &uiFile);
  if (uiText > gc_uiKDS_MAX_TEXT_BYTES) {
    *pError = fileName + ": error: its texts and names come to " + std::to_string(uiText) +
              " bytes; a data script may hold at most " + std::to_string(gc_uiKDS_MAX_TEXT_BYTES);
    return false;
  }
  if (uiFile > 0xFFFFFFFFull) {
    *pError = fileName + ": error: it would compile to more than 4 GiB, more than 32-bit offsets reach";
    return false;
  }
  return true;
}

std::vector<uint8_t> KdsWriteImage(const SKdsSourceNode& root) { return KdsWriter().write(root); }

bool KdsCompileFile(const std::string& inputPath, std::vector<uint8_t>* pImage, std::string* pError) {
  std::string contents;
  if (!ToolReadTextSource(inputPath, &contents, pError)) {
    return false;
  }
  SKdsSourceNode root;
  if (!KdsParseSource(contents, inputPath, &root, pError) || !KdsCheckLimits(root, inputPath, pError)) {
    return false;
  }
  *pImage = KdsWriteImage(root);
  return true;
}
