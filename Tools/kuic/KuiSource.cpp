#include "Tools/kuic/KuiSource.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClWidget.h"
#include "Tools/Common/ToolJson.h"
#include "Tools/Common/ToolText.h"

namespace {

using Json = nlohmann::ordered_json;

// Parses JSON with comments; errors name the file (and the line and column of a syntax error).
bool parseJson(const std::string& text, const std::string& fileName, Json* pJson, std::string* pError) {
  return ToolJsonParse(text, fileName, true, pJson, pError);
}

bool isHashText(const std::string& text) {
  if (text.size() != 11 || text.compare(0, 3, "#0x") != 0) {
    return false;
  }
  for (size_t i = 3; i < text.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
      return false;
    }
  }
  return true;
}

uint32_t hashOfText(const std::string& text) {
  return isHashText(text) ? static_cast<uint32_t>(std::stoul(text.substr(1), nullptr, 16)) : KvStrHash(text.c_str());
}

class ClKuiParser {
 public:
  ClKuiParser(const std::string& fileName, SKuiScreenSet* pSet) : m_fileName(fileName), m_pSet(pSet) {}

  bool parse(const Json& document, std::string* pError) {
    bool bOk = document.is_object() || fail("", "a description is a JSON object");
    for (auto it = document.begin(); bOk && it != document.end(); ++it) {
      bOk = it.key() == "root" || fail("/" + it.key(), "unknown key (a description holds \"root\")");
    }
    if (bOk && !document.contains("root")) {
      bOk = fail("", "the description has no \"root\" widget");
    }
    int iRoot = 0;
    bOk = bOk && parseWidget(document["root"], "/root", 1, &iRoot) && resolveLinks();
    if (!bOk) {
      *pError = m_error;
    }
    return bOk;
  }

 private:
  struct SPendingChild {
    int iParent;
    size_t uiSlot;
    std::string name;
    std::string where;
  };
  struct SPendingSwitch {
    int iParent;
    std::string name;
    std::string where;
  };

  bool fail(const std::string& where, const std::string& message) {
    if (m_error.empty()) {
      m_error = m_fileName + ": error: at " + (where.empty() ? std::string("/") : where) + ": " + message;
    }
    return false;
  }

  // A name or "#0x..." turned into its hash; bAllowEmpty lets "" stand for 0.
  bool hashOf(const Json& value, const std::string& where, bool bAllowEmpty, uint32_t* pHash) {
    if (!value.is_string()) {
      return fail(where, "a name (text) is needed");
    }
    const std::string text = value.get<std::string>();
    if (text.empty() && !bAllowEmpty) {
      return fail(where, "the name is empty");
    }
    if (!text.empty() && text[0] == '#' && !isHashText(text)) {
      return fail(where, "a hash is written \"#0x\" and eight hexadecimal digits");
    }
    *pHash = hashOfText(text);
    if (*pHash == 0 && !bAllowEmpty) {
      return fail(where, "the name hashes to 0, which marks nothing");
    }
    return true;
  }

  // An integer (stored as its bits, -2^31 to 2^32 - 1) or, unless bIntegerOnly, a number with a fraction
  // (stored as a float's bits).
  bool wordOf(const Json& value, const std::string& where, bool bIntegerOnly, uint32_t* pBits) {
    if (value.is_number_integer()) {
      const int64_t iValue = value.is_number_unsigned() ? static_cast<int64_t>(std::min<uint64_t>(
                                                              value.get<uint64_t>(), 1ull << 40))
                                                        : value.get<int64_t>();
      if (iValue < INT32_MIN || iValue > static_cast<int64_t>(UINT32_MAX)) {
        return fail(where, "the integer does not fit 32 bits");
      }
      *pBits = static_cast<uint32_t>(iValue);
      return true;
    }
    if (value.is_number_float() && !bIntegerOnly) {
      return floatOf(value, where, pBits);
    }
    return fail(where, bIntegerOnly ? "an integer is needed" : "a number is needed");
  }

  bool floatOf(const Json& value, const std::string& where, uint32_t* pBits) {
    if (!value.is_number()) {
      return fail(where, "a number is needed");
    }
    const double dValue = value.get<double>();
    if (!(std::fabs(dValue) <= static_cast<double>(std::numeric_limits<float>::max()))) {
      return fail(where, "the number does not fit a 32-bit float");
    }
    const float fValue = static_cast<float>(dValue);
    std::memcpy(pBits, &fValue, 4);
    return true;
  }

  bool wordsOf(const Json& value, const std::string& where, size_t uiCount, int iKind, SKuiProperty* pProp) {
    if (!value.is_array() || value.size() != uiCount) {
      return fail(where, "a list of " + std::to_string(uiCount) + " numbers is needed");
    }
    for (size_t i = 0; i < uiCount; ++i) {
      uint32_t uiBits = 0;
      const std::string at = where + "/" + std::to_string(i);
      const bool bOk = iKind == 0 ? wordOf(value[i], at, false, &uiBits)
                                  : (iKind == 1 ? floatOf(value[i], at, &uiBits) : wordOf(value[i], at, true, &uiBits));
      if (!bOk) {
        return false;
      }
      std::memcpy(pProp->value.data() + 4 * i, &uiBits, 4);
    }
    return true;
  }

  bool layoutOf(const Json& value, const std::string& where, SKuiProperty* pProp) {
    if (value.is_array()) {
      return wordsOf(value, where, gc_iLAYOUT_WORDS, 0, pProp);
    }
    if (!value.is_object()) {
      return fail(where, "a layout is a list of 18 numbers or an object of anchors and offsets");
    }
    static const std::map<std::string, std::pair<size_t, bool>> s_fields = {
        {"screenAnchor", {3, true}}, {"x", {4, false}}, {"y", {5, false}}, {"widgetAnchor", {6, true}}};
    for (auto it = value.begin(); it != value.end(); ++it) {
      const auto field = s_fields.find(it.key());
      if (field == s_fields.end()) {
        return fail(where + "/" + it.key(), "unknown layout field (screenAnchor, x, y, widgetAnchor)");
      }
      uint32_t uiBits = 0;
      const std::string at = where + "/" + it.key();
      if (!(field->second.second ? wordOf(it.value(), at, true, &uiBits) : floatOf(it.value(), at, &uiBits))) {
        return false;
      }
      std::memcpy(pProp->value.data() + 4 * field->second.first, &uiBits, 4);
    }
    return true;
  }

  bool textOf(const Json& value, const std::string& where, std::string* pText) {
    if (!value.is_string()) {
      return fail(where, "a text is needed");
    }
    *pText = value.get<std::string>();
    if (pText->find('\0') != std::string::npos) {
      return fail(where, "a text cannot hold a zero byte");
    }
    return true;
  }

  bool bytesOf(const Json& value, const std::string& where, SKuiProperty* pProp) {
    std::string hex;
    if (!textOf(value, where, &hex)) {
      return false;
    }
    if (hex.size() % 2 != 0 || hex.size() > 2 * gc_iRAW_PROPERTY_VALUE_SIZE ||
        hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      return fail(where, "up to 512 bytes as pairs of hexadecimal digits are needed");
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
      pProp->value[i / 2] = static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16));
    }
    return true;
  }

  bool paramOf(const Json& value, const std::string& where, SKuiParam* pParam) {
    if (value.is_number_integer()) {
      pParam->eType = E_ESCP_TYPE_INT;
      return wordOf(value, where, true, &pParam->uiBits);
    }
    if (value.is_number_float()) {
      pParam->eType = E_ESCP_TYPE_FLOAT;
      return floatOf(value, where, &pParam->uiBits);
    }
    if (value.is_string()) {
      pParam->eType = E_ESCP_TYPE_STRING;
      return textOf(value, where, &pParam->text);
    }
    if (value.is_object() && value.size() == 1) {
      const std::string kind = value.begin().key();
      const Json& inner = value.begin().value();
      const std::string at = where + "/" + kind;
      if (kind == "id") {
        pParam->eType = E_ESCP_TYPE_ID;
        return hashOf(inner, at, true, &pParam->uiBits);
      }
      if (kind == "int") {
        pParam->eType = E_ESCP_TYPE_INT;
        return wordOf(inner, at, true, &pParam->uiBits);
      }
      if (kind == "float") {
        pParam->eType = E_ESCP_TYPE_FLOAT;
        return floatOf(inner, at, &pParam->uiBits);
      }
      if (kind == "string") {
        pParam->eType = E_ESCP_TYPE_STRING;
        return textOf(inner, at, &pParam->text);
      }
    }
    return fail(where, "a parameter is an integer, a number, a text or {\"id\": name}");
  }

  bool eventOf(const Json& value, const std::string& where, SKuiProperty* pProp) {
    if (!value.is_object()) {
      return fail(where, "an event is an object of \"single\" and \"calls\"");
    }
    for (auto it = value.begin(); it != value.end(); ++it) {
      const std::string at = where + "/" + it.key();
      if (it.key() == "single") {
        if (!hashOf(it.value(), at, true, &pProp->uiSingleProcedureHash)) {
          return false;
        }
      } else if (it.key() == "calls") {
        if (!it.value().is_array()) {
          return fail(at, "a list of calls is needed");
        }
        for (size_t i = 0; i < it.value().size(); ++i) {
          const Json& call = it.value()[i];
          const std::string callAt = at + "/" + std::to_string(i);
          if (!call.is_object() || !call.contains("call")) {
            return fail(callAt, "a call is an object with \"call\" and optional \"params\"");
          }
          SKuiCall entry;
          for (auto field = call.begin(); field != call.end(); ++field) {
            const std::string fieldAt = callAt + "/" + field.key();
            if (field.key() == "call") {
              if (!hashOf(field.value(), fieldAt, false, &entry.uiProcedureHash)) {
                return false;
              }
            } else if (field.key() == "params") {
              if (!field.value().is_array()) {
                return fail(fieldAt, "a list of parameters is needed");
              }
              for (size_t p = 0; p < field.value().size(); ++p) {
                SKuiParam param;
                if (!paramOf(field.value()[p], fieldAt + "/" + std::to_string(p), &param)) {
                  return false;
                }
                entry.params.push_back(param);
              }
            } else {
              return fail(fieldAt, "unknown key of a call (call, params)");
            }
          }
          pProp->calls.push_back(entry);
        }
      } else {
        return fail(at, "unknown key of an event (single, calls)");
      }
    }
    return true;
  }

  bool propertyOf(const std::string& key, const Json& value, const std::string& where, SKuiProperty* pProp) {
    if (!hashOf(Json(key), where, false, &pProp->uiNameHash)) {
      return false;
    }
    uint32_t uiBits = 0;
    if (value.is_boolean()) {
      pProp->uiType = E_BASE_TYPE_BOOL;
      uiBits = value.get<bool>() ? 1 : 0;
      std::memcpy(pProp->value.data(), &uiBits, 4);
      return true;
    }
    if (value.is_number_integer() || value.is_number_float()) {
      pProp->uiType = value.is_number_integer() ? E_BASE_TYPE_INT : E_BASE_TYPE_FLOAT;
      if (!(value.is_number_integer() ? wordOf(value, where, true, &uiBits) : floatOf(value, where, &uiBits))) {
        return false;
      }
      std::memcpy(pProp->value.data(), &uiBits, 4);
      return true;
    }
    if (value.is_string()) {
      return stringOf(value, where, pProp);
    }
    if (!value.is_object() || value.size() != 1) {
      return fail(where, "a property value is a number, true or false, a text, or a one-key object naming the type");
    }
    const std::string kind = value.begin().key();
    const Json& inner = value.begin().value();
    const std::string at = where + "/" + kind;
    if (kind == "int" || kind == "id" || kind == "color" || kind == "float" || kind == "bool") {
      if (kind == "int") {
        pProp->uiType = E_BASE_TYPE_INT;
        if (!wordOf(inner, at, true, &uiBits)) {
          return false;
        }
      } else if (kind == "float") {
        pProp->uiType = E_BASE_TYPE_FLOAT;
        if (!floatOf(inner, at, &uiBits)) {
          return false;
        }
      } else if (kind == "bool") {
        pProp->uiType = E_BASE_TYPE_BOOL;
        if (!(inner.is_boolean() ? (uiBits = inner.get<bool>() ? 1 : 0, true) : wordOf(inner, at, true, &uiBits))) {
          return false;
        }
      } else if (kind == "id") {
        pProp->uiType = E_BASE_TYPE_ID;
        if (!hashOf(inner, at, true, &uiBits)) {
          return false;
        }
      } else {
        pProp->uiType = E_BASE_TYPE_COLOR;
        if (inner.is_string()) {
          const std::string text = inner.get<std::string>();
          if (text.size() < 3 || text.size() > 10 || text.compare(0, 2, "0x") != 0 ||
              text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos) {
            return fail(at, "a colour is written \"0xAARRGGBB\"");
          }
          uiBits = static_cast<uint32_t>(std::stoul(text, nullptr, 16));
        } else if (!wordOf(inner, at, true, &uiBits)) {
          return false;
        }
      }
      std::memcpy(pProp->value.data(), &uiBits, 4);
      return true;
    }
    if (kind == "string") {
      return stringOf(inner, at, pProp);
    }
    if (kind == "layout") {
      pProp->uiType = E_BASE_TYPE_LAYOUT;
      return layoutOf(inner, at, pProp);
    }
    if (kind == "percentxy" || kind == "floatxy") {
      pProp->uiType = kind == "percentxy" ? E_BASE_TYPE_PERCENTXY : E_BASE_TYPE_FLOATXY;
      return wordsOf(inner, at, 2, 1, pProp);
    }
    if (kind == "gridxy") {
      pProp->uiType = E_BASE_TYPE_GRIDXY;
      return wordsOf(inner, at, 2, 2, pProp);
    }
    if (kind == "type9") {
      pProp->uiType = E_BASE_TYPE_UNNAMED_9;
      return wordsOf(inner, at, 2, 0, pProp);
    }
    if (kind == "type12" || kind == "type13") {
      pProp->uiType = kind == "type12" ? E_BASE_TYPE_UNNAMED_12 : E_BASE_TYPE_UNNAMED_13;
      return bytesOf(inner, at, pProp);
    }
    if (kind == "event") {
      pProp->uiType = E_BASE_TYPE_EVENTCALLBACK;
      return eventOf(inner, at, pProp);
    }
    return fail(where, "unknown value type \"" + kind + "\"");
  }

  bool stringOf(const Json& value, const std::string& where, SKuiProperty* pProp) {
    std::string text;
    if (!textOf(value, where, &text)) {
      return false;
    }
    if (text.size() >= static_cast<size_t>(gc_iMAX_UI_STRING_LEN)) {
      return fail(where, "a text holds at most 255 bytes");
    }
    pProp->uiType = E_BASE_TYPE_ASCII_STRING;
    std::memcpy(pProp->value.data(), text.data(), text.size());
    return true;
  }

  // iDepth counts the root as 1: the loader builds trees of at most gc_iMAX_UI_TREE_DEPTH levels.
  bool parseWidget(const Json& value, const std::string& where, int iDepth, int* pIndex) {
    if (!value.is_object()) {
      return fail(where, "a widget is an object");
    }
    if (iDepth > gc_iMAX_UI_TREE_DEPTH) {
      return fail(where, "the widget tree is more than " + std::to_string(gc_iMAX_UI_TREE_DEPTH) + " levels deep");
    }
    const int iIndex = static_cast<int>(m_pSet->widgets.size());
    m_pSet->widgets.emplace_back();
    std::vector<std::pair<std::string, std::string>> switched;
    for (auto it = value.begin(); it != value.end(); ++it) {
      const std::string at = where + "/" + it.key();
      if (it.key() == "name") {
        if (!textOf(it.value(), at, &m_pSet->widgets[iIndex].name)) {
          return false;
        }
      } else if (it.key() == "instanceID") {
        if (!hashOf(it.value(), at, false, &m_pSet->widgets[iIndex].uiInstanceID)) {
          return false;
        }
      } else if (it.key() == "properties") {
        if (!it.value().is_object()) {
          return fail(at, "properties are an object of names and values");
        }
        for (auto prop = it.value().begin(); prop != it.value().end(); ++prop) {
          SKuiProperty property;
          const std::string propAt = at + "/" + prop.key();
          if (!propertyOf(prop.key(), prop.value(), propAt, &property)) {
            return false;
          }
          for (const SKuiProperty& other : m_pSet->widgets[iIndex].properties) {
            if (other.uiNameHash == property.uiNameHash) {
              return fail(propAt, "a widget names each property once (names hash without case)");
            }
          }
          m_pSet->widgets[iIndex].properties.push_back(std::move(property));
        }
      } else if (it.key() == "children") {
        if (!it.value().is_array()) {
          return fail(at, "children are a list of widgets and names");
        }
        for (size_t i = 0; i < it.value().size(); ++i) {
          const Json& child = it.value()[i];
          const std::string childAt = at + "/" + std::to_string(i);
          if (child.is_string()) {
            m_pSet->widgets[iIndex].children.push_back(-1);
            m_links.push_back({iIndex, m_pSet->widgets[iIndex].children.size() - 1, child.get<std::string>(), childAt});
          } else {
            int iChild = 0;
            if (!parseWidget(child, childAt, iDepth + 1, &iChild)) {
              return false;
            }
            m_pSet->widgets[iIndex].children.push_back(iChild);
          }
        }
      } else if (it.key() == "switched") {
        if (!it.value().is_array()) {
          return fail(at, "switched children are a list of names");
        }
        for (size_t i = 0; i < it.value().size(); ++i) {
          const std::string switchAt = at + "/" + std::to_string(i);
          std::string name;
          if (!textOf(it.value()[i], switchAt, &name)) {
            return false;
          }
          m_switches.push_back({iIndex, name, switchAt});
        }
      } else {
        return fail(at, "unknown key of a widget (name, instanceID, properties, children, switched)");
      }
    }
    SKuiWidget& widget = m_pSet->widgets[iIndex];
    if (widget.name.empty()) {
      return fail(where, "a widget needs a \"name\"");
    }
    if (widget.uiInstanceID == 0) {
      widget.uiInstanceID = KvStrHash(widget.name.c_str());
      if (widget.uiInstanceID == 0) {
        return fail(where + "/name", "the name hashes to 0; give an \"instanceID\"");
      }
    }
    if (m_paths.size() <= static_cast<size_t>(iIndex)) {
      m_paths.resize(static_cast<size_t>(iIndex) + 1);
    }
    m_paths[static_cast<size_t>(iIndex)] = where;
    *pIndex = iIndex;
    return true;
  }

  bool resolveLinks() {
    // Names and IDs in the order of the definitions, so a repeat is blamed on the later one.
    for (size_t i = 0; i < m_pSet->widgets.size(); ++i) {
      const SKuiWidget& widget = m_pSet->widgets[i];
      const auto known = m_ids.find(widget.uiInstanceID);
      if (known != m_ids.end()) {
        return fail(m_paths[i] + "/name", "the instance ID of [" + widget.name + "] is already the ID of [" +
                                              m_pSet->widgets[static_cast<size_t>(known->second)].name + "]");
      }
      m_ids[widget.uiInstanceID] = static_cast<int>(i);
      m_byName[widget.name] = static_cast<int>(i);
    }
    for (const SPendingChild& link : m_links) {
      const auto found = m_byName.find(link.name);
      if (found == m_byName.end()) {
        return fail(link.where, "no widget is named [" + link.name + "]");
      }
      m_pSet->widgets[link.iParent].children[link.uiSlot] = found->second;
    }
    for (const SPendingSwitch& entry : m_switches) {
      SKuiWidget& parent = m_pSet->widgets[entry.iParent];
      int iFound = -1;
      for (const int iChild : parent.children) {
        if (m_pSet->widgets[iChild].name == entry.name) {
          iFound = iChild;
        }
      }
      if (iFound < 0) {
        return fail(entry.where, "[" + entry.name + "] is not a child of [" + parent.name + "]");
      }
      parent.switched.push_back(iFound);
    }
    std::vector<int> built(m_pSet->widgets.size(), 0);  // 0 not yet, 1 being built, 2 built
    return checkNoLinkUp(0, 1, built);
  }

  // The loader builds by instance ID, depth first: a link to a widget still being built (an ancestor) would
  // make the tree a loop. Links may make the tree deeper than the definitions' nesting: iDepth is bounded too.
  bool checkNoLinkUp(int iWidget, int iDepth, std::vector<int>& built) {
    if (iDepth > gc_iMAX_UI_TREE_DEPTH) {
      return fail(m_paths[static_cast<size_t>(iWidget)], "the widget tree is more than " +
                                                             std::to_string(gc_iMAX_UI_TREE_DEPTH) +
                                                             " levels deep (through linked children)");
    }
    built[static_cast<size_t>(iWidget)] = 1;
    const std::vector<int> children = m_pSet->widgets[static_cast<size_t>(iWidget)].children;
    for (size_t i = 0; i < children.size(); ++i) {
      const int iChild = children[i];
      if (built[static_cast<size_t>(iChild)] == 1) {
        std::string where = "/";
        for (const SPendingChild& link : m_links) {
          if (link.iParent == iWidget && link.uiSlot == i) {
            where = link.where;
          }
        }
        return fail(where, "[" + m_pSet->widgets[static_cast<size_t>(iWidget)].name + "] lists its ancestor [" +
                               m_pSet->widgets[static_cast<size_t>(iChild)].name + "] as a child");
      }
      if (built[static_cast<size_t>(iChild)] == 0 && !checkNoLinkUp(iChild, iDepth + 1, built)) {
        return false;
      }
    }
    built[static_cast<size_t>(iWidget)] = 2;
    return true;
  }

  std::string m_fileName;
  SKuiScreenSet* m_pSet;
  std::string m_error;
  std::vector<SPendingChild> m_links;
  std::vector<SPendingSwitch> m_switches;
  std::map<uint32_t, int> m_ids;
  std::map<std::string, int> m_byName;
  std::vector<std::string> m_paths;  // of each widget's definition
};

// Appends records to an image, each at the next multiple of its alignment.
class ClImageWriter {
 public:
  uint32_t place(size_t uiSize, size_t uiAlignment) {
    while (m_bytes.size() % uiAlignment != 0) {
      m_bytes.push_back(0);
    }
    const uint32_t uiOffset = static_cast<uint32_t>(m_bytes.size());
    m_bytes.resize(m_bytes.size() + uiSize, 0);
    return uiOffset;
  }
  void put32(uint32_t uiOffset, uint32_t uiValue) { std::memcpy(m_bytes.data() + uiOffset, &uiValue, 4); }
  void putBytes(uint32_t uiOffset, const void* pData, size_t uiSize) {
    std::memcpy(m_bytes.data() + uiOffset, pData, uiSize);
  }
  // An offset array of the given offsets behind a slot (the slot stays 0 for an empty list).
  void putArray(uint32_t uiSlot, const std::vector<uint32_t>& offsets) {
    if (offsets.empty()) {
      return;
    }
    const uint32_t uiArray = place(4 * offsets.size(), 8);
    for (size_t i = 0; i < offsets.size(); ++i) {
      put32(uiArray + static_cast<uint32_t>(4 * i), offsets[i]);
    }
    put32(uiSlot, uiArray);
  }
  std::vector<uint8_t> take() { return std::move(m_bytes); }

 private:
  std::vector<uint8_t> m_bytes;
};

uint32_t writeParam(ClImageWriter& out, const SKuiParam& param) {
  const size_t uiSize = param.eType == E_ESCP_TYPE_STRING ? 4 + param.text.size() + 1 : 8;
  const uint32_t uiParam = out.place(uiSize, 4);
  out.put32(uiParam, static_cast<uint32_t>(param.eType));
  if (param.eType == E_ESCP_TYPE_STRING) {
    out.putBytes(uiParam + 4, param.text.data(), param.text.size());
  } else {
    out.put32(uiParam + 4, param.uiBits);
  }
  return uiParam;
}

void writeEvent(ClImageWriter& out, uint32_t uiValue, const SKuiProperty& prop) {
  out.put32(uiValue + offsetof(SWidgetEventCallback, mp_iNumberCalls), static_cast<uint32_t>(prop.calls.size()));
  out.put32(uiValue + offsetof(SWidgetEventCallback, mp_uiSingleProcedureNameHash), prop.uiSingleProcedureHash);
  std::vector<uint32_t> calls;
  for (size_t i = 0; i < prop.calls.size(); ++i) {
    calls.push_back(out.place(sizeof(WidgetEventProcedureCall), 8));
  }
  out.putArray(uiValue, calls);
  for (size_t i = 0; i < prop.calls.size(); ++i) {
    const SKuiCall& call = prop.calls[i];
    out.put32(calls[i] + offsetof(WidgetEventProcedureCall, mp_iNumberWidgetEventProcedureCallDatas),
              static_cast<uint32_t>(call.params.size()));
    out.put32(calls[i] + offsetof(WidgetEventProcedureCall, mp_uiProcedureNameHash), call.uiProcedureHash);
    std::vector<uint32_t> params;
    for (const SKuiParam& param : call.params) {
      params.push_back(writeParam(out, param));
    }
    out.putArray(calls[i], params);
  }
}

}  // namespace

bool KuiParseDescription(const std::string& text, const std::string& fileName, SKuiScreenSet* pSet,
                         std::string* pError) {
  Json document;
  if (!parseJson(text, fileName, &document, pError)) {
    return false;
  }
  *pSet = SKuiScreenSet{};
  ClKuiParser parser(fileName, pSet);
  return parser.parse(document, pError);
}

std::vector<uint8_t> KuiWriteImage(const SKuiScreenSet& set) {
  ClImageWriter out;
  const uint32_t uiHeader = out.place(24, 8);
  std::vector<uint32_t> instances;
  for (size_t i = 0; i < set.widgets.size(); ++i) {
    instances.push_back(out.place(sizeof(SRawWidgetInstance), 8));
  }
  out.putArray(uiHeader, instances);
  out.put32(uiHeader + offsetof(SUIDataHeader, mp_pRoot), instances.empty() ? 0 : instances[0]);
  out.put32(uiHeader + offsetof(SUIDataHeader, mp_iNumWidgets), static_cast<uint32_t>(instances.size()));

  for (size_t i = 0; i < set.widgets.size(); ++i) {
    const SKuiWidget& widget = set.widgets[i];
    const uint32_t uiInstance = instances[i];
    out.put32(uiInstance + offsetof(SRawWidgetInstance, mp_iNumProperties),
              static_cast<uint32_t>(widget.properties.size()));
    out.put32(uiInstance + offsetof(SRawWidgetInstance, mp_uiInstanceID), widget.uiInstanceID);
    out.put32(uiInstance + offsetof(SRawWidgetInstance, mp_iNumChildren), static_cast<uint32_t>(widget.children.size()));
    out.put32(uiInstance + offsetof(SRawWidgetInstance, mp_iNumSwitchedChildren),
              static_cast<uint32_t>(widget.switched.size()));
    // A longer name keeps its first 31 bytes and a terminator, what the loader would cut it to; the instance ID
    // still hashes the whole name.
    out.putBytes(uiInstance + offsetof(SRawWidgetInstance, mp_acName), widget.name.data(),
                 std::min<size_t>(widget.name.size(), sizeof(SRawWidgetInstance::mp_acName) - 1));
    std::vector<uint32_t> offsets;
    for (const int iChild : widget.children) {
      offsets.push_back(instances[static_cast<size_t>(iChild)]);
    }
    out.putArray(uiInstance + offsetof(SRawWidgetInstance, mp_ppChildren), offsets);
    offsets.clear();
    for (const int iChild : widget.switched) {
      offsets.push_back(instances[static_cast<size_t>(iChild)]);
    }
    out.putArray(uiInstance + offsetof(SRawWidgetInstance, mp_ppSwitchedChildren), offsets);
    offsets.clear();
    for (size_t p = 0; p < widget.properties.size(); ++p) {
      offsets.push_back(out.place(sizeof(SRawWidgetProperty), 8));
    }
    out.putArray(uiInstance + offsetof(SRawWidgetInstance, mp_ppProperties), offsets);
    for (size_t p = 0; p < widget.properties.size(); ++p) {
      const SKuiProperty& prop = widget.properties[p];
      out.put32(offsets[p] + offsetof(SRawWidgetProperty, mp_uiType), prop.uiType);
      out.put32(offsets[p] + offsetof(SRawWidgetProperty, mp_uiNameHash), prop.uiNameHash);
      if (prop.uiType == E_BASE_TYPE_EVENTCALLBACK) {
        writeEvent(out, offsets[p], prop);
      } else {
        out.putBytes(offsets[p], prop.value.data(), prop.value.size());
      }
    }
  }
  return out.take();
}

bool KuiCompileFile(const std::string& inputPath, std::vector<uint8_t>* pImage, std::string* pError) {
  std::string text;
  if (!ToolReadTextSource(inputPath, &text, pError)) {
    return false;
  }
  SKuiScreenSet set;
  if (!KuiParseDescription(text, inputPath, &set, pError)) {
    return false;
  }
  *pImage = KuiWriteImage(set);
  return true;
}

bool KuiCollectNames(const std::string& inputPath, std::vector<std::pair<uint32_t, std::string>>* pNames,
                     std::string* pError) {
  std::string text;
  Json document;
  if (!ToolReadTextSource(inputPath, &text, pError)) {
    return false;
  }
  if (!parseJson(text, inputPath, &document, pError)) {
    return false;
  }
  const auto add = [pNames](const std::string& name) {
    if (!name.empty() && name[0] != '#') {
      pNames->emplace_back(KvStrHash(name.c_str()), name);
    }
  };
  // Every key and every text of the description may be a name.
  std::vector<const Json*> pending = {&document};
  while (!pending.empty()) {
    const Json* pNode = pending.back();
    pending.pop_back();
    if (pNode->is_string()) {
      add(pNode->get<std::string>());
    } else if (pNode->is_object()) {
      for (auto it = pNode->begin(); it != pNode->end(); ++it) {
        add(it.key());
        pending.push_back(&it.value());
      }
    } else if (pNode->is_array()) {
      for (const Json& element : *pNode) {
        pending.push_back(&element);
      }
    }
  }
  return true;
}
