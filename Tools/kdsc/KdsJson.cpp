#include "Tools/kdsc/KdsJson.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "Corvane/Data/ClDScriptData2.h"

namespace {

using Json = nlohmann::ordered_json;

// Texts are 8-bit: each byte is the code point of the same number (Latin-1), so any text makes valid JSON.
std::string latin1ToUtf8(const char* pText) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pText); *p != 0; ++p) {
    if (*p < 0x80) {
      out.push_back(static_cast<char>(*p));
    } else {
      out.push_back(static_cast<char>(0xC0 | (*p >> 6)));
      out.push_back(static_cast<char>(0x80 | (*p & 0x3F)));
    }
  }
  return out;
}

Json floatValue(float fValue) {
  if (std::isnan(fValue)) {
    return "nan";
  }
  if (std::isinf(fValue)) {
    return fValue > 0 ? "inf" : "-inf";
  }
  return static_cast<double>(fValue);
}

Json nodeToJson(const ClDScriptData2* pNode) {
  Json node = Json::object();
  if (pNode->hasName()) {
    node["name"] = latin1ToUtf8(pNode->getName());
    node["nameHash"] = pNode->getNameHash();
  }
  switch (pNode->getType()) {
    case E_DSVT_ARRAY: {
      node["type"] = "array";
      Json children = Json::array();
      for (int i = 0; i < pNode->getCount(); ++i) {
        children.push_back(nodeToJson(pNode->getChildAt(i)));
      }
      node["children"] = std::move(children);
      break;
    }
    case E_DSVT_FLOAT:
      node["type"] = "float";
      node["value"] = floatValue(pNode->getFloatExact());
      break;
    case E_DSVT_INT:
      node["type"] = "int";
      node["value"] = pNode->getInt();
      break;
    case E_DSVT_STRING:
      node["type"] = "string";
      node["value"] = latin1ToUtf8(pNode->getString());
      break;
    case E_DSVT_HASH_ID:
      node["type"] = "hash_id";
      node["value"] = latin1ToUtf8(pNode->getString());
      node["hash"] = pNode->getHashValue();
      break;
    default:
      node["type"] = "none";
      break;
  }
  return node;
}

}  // namespace

std::string KdsTreeToJson(const ClDScriptData2* pRoot) {
  // Bytes above 127 come out as \u00XX escapes: the dump is plain ASCII.
  return nodeToJson(pRoot).dump(2, ' ', true) + "\n";
}
