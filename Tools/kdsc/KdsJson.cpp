#include "Tools/kdsc/KdsJson.h"

#include <cmath>
#include <cstdio>

#include "Corvane/Data/ClDScriptData2.h"

namespace {

void appendText(std::string* pOut, const char* pText) {
  pOut->push_back('"');
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pText); *p != 0; ++p) {
    const unsigned char c = *p;
    if (c == '"' || c == '\\') {
      pOut->push_back('\\');
      pOut->push_back(static_cast<char>(c));
    } else if (c == '\n') {
      *pOut += "\\n";
    } else if (c == '\t') {
      *pOut += "\\t";
    } else if (c == '\r') {
      *pOut += "\\r";
    } else if (c < 0x20 || c >= 0x80) {
      char szEscape[8];
      std::snprintf(szEscape, sizeof(szEscape), "\\u%04X", c);
      *pOut += szEscape;
    } else {
      pOut->push_back(static_cast<char>(c));
    }
  }
  pOut->push_back('"');
}

void appendFloat(std::string* pOut, float fValue) {
  if (std::isnan(fValue)) {
    *pOut += "\"nan\"";
  } else if (std::isinf(fValue)) {
    *pOut += fValue > 0 ? "\"inf\"" : "\"-inf\"";
  } else {
    char szNumber[32];
    std::snprintf(szNumber, sizeof(szNumber), "%.9g", static_cast<double>(fValue));
    *pOut += szNumber;
  }
}

void appendNode(std::string* pOut, const ClDScriptData2* pNode, int iIndent) {
  const std::string indent(static_cast<size_t>(iIndent) * 2, ' ');
  *pOut += indent + "{";
  if (pNode->hasName()) {
    *pOut += "\"name\": ";
    appendText(pOut, pNode->getName());
    *pOut += ", \"nameHash\": " + std::to_string(pNode->getNameHash()) + ", ";
  }
  switch (pNode->getType()) {
    case E_DSVT_ARRAY: {
      *pOut += "\"type\": \"array\", \"children\": [";
      const int iCount = pNode->getCount();
      for (int i = 0; i < iCount; ++i) {
        *pOut += i == 0 ? "\n" : ",\n";
        appendNode(pOut, pNode->getChildAt(i), iIndent + 1);
      }
      *pOut += iCount > 0 ? "\n" + indent + "]}" : "]}";
      return;
    }
    case E_DSVT_FLOAT:
      *pOut += "\"type\": \"float\", \"value\": ";
      appendFloat(pOut, pNode->getFloatExact());
      break;
    case E_DSVT_INT:
      *pOut += "\"type\": \"int\", \"value\": " + std::to_string(pNode->getInt());
      break;
    case E_DSVT_STRING:
      *pOut += "\"type\": \"string\", \"value\": ";
      appendText(pOut, pNode->getString());
      break;
    case E_DSVT_HASH_ID:
      *pOut += "\"type\": \"hash_id\", \"value\": ";
      appendText(pOut, pNode->getString());
      *pOut += ", \"hash\": " + std::to_string(pNode->getHashValue());
      break;
    default:
      *pOut += "\"type\": \"none\"";
      break;
  }
  *pOut += "}";
}

}  // namespace

std::string KdsTreeToJson(const ClDScriptData2* pRoot) {
  std::string out;
  appendNode(&out, pRoot, 0);
  out += "\n";
  return out;
}
