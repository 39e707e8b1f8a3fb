#include "Tools/kuic/KuiJson.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Tools/Common/ToolJson.h"

namespace {

using Json = nlohmann::ordered_json;

class ClKuiDumper {
 public:
  explicit ClKuiDumper(const std::vector<std::pair<uint32_t, std::string>>& names) {
    for (const auto& entry : names) {
      m_names.emplace(entry.first, entry.second);
    }
  }

  Json widget(const ClWidget* pWidget) {
    m_written.insert(pWidget);
    Json out;
    const SRawWidgetInstance* pRaw = pWidget->mp_pRawData;
    const std::string name = pRaw != nullptr ? std::string(pRaw->mp_acName) : std::string(pWidget->getName());
    out["name"] = name;
    // A name cut to its first 31 bytes keeps the hash of the whole name, printed as that name when known.
    if (KvStrHash(name.c_str()) != pWidget->mp_uiInstanceNameHash) {
      out["instanceID"] = nameOf(pWidget->mp_uiInstanceNameHash);
    }
    if (pRaw != nullptr && pRaw->mp_iNumProperties > 0) {
      Json properties = Json::object();
      for (i32 i = 0; i < pRaw->mp_iNumProperties; ++i) {
        const SRawWidgetProperty* pProp = pRaw->mp_ppProperties[i];
        properties[nameOf(pProp->mp_uiNameHash)] = value(pProp);
      }
      out["properties"] = properties;
    }
    if (pWidget->mp_AllChildren.getSize() > 0) {
      Json children = Json::array();
      for (u32 i = 0; i < pWidget->mp_AllChildren.getSize(); ++i) {
        const ClWidget* pChild = pWidget->mp_AllChildren[i];
        children.push_back(m_written.count(pChild) ? Json(nameOfWidget(pChild)) : widget(pChild));
      }
      out["children"] = children;
    }
    if (pWidget->mp_SwitchedChildren.getSize() > 0) {
      Json switched = Json::array();
      for (u32 i = 0; i < pWidget->mp_SwitchedChildren.getSize(); ++i) {
        switched.push_back(nameOfWidget(pWidget->mp_SwitchedChildren[i].mp_pChild));
      }
      out["switched"] = switched;
    }
    return out;
  }

 private:
  static std::string hashText(uint32_t uiHash) {
    char szText[16];
    std::snprintf(szText, sizeof(szText), "#0x%08X", uiHash);
    return szText;
  }

  std::string nameOf(uint32_t uiHash) const {
    const auto found = m_names.find(uiHash);
    return found != m_names.end() ? found->second : hashText(uiHash);
  }

  static std::string nameOfWidget(const ClWidget* pWidget) {
    return pWidget->mp_pRawData != nullptr ? std::string(pWidget->mp_pRawData->mp_acName)
                                           : std::string(pWidget->getName());
  }

  static uint32_t word(const SRawWidgetProperty* pProp, size_t uiIndex) {
    uint32_t uiWord;
    std::memcpy(&uiWord, pProp->mp_aucValue + 4 * uiIndex, 4);
    return uiWord;
  }
  static float floatWord(const SRawWidgetProperty* pProp, size_t uiIndex) {
    float fValue;
    std::memcpy(&fValue, pProp->mp_aucValue + 4 * uiIndex, 4);
    return fValue;
  }

  // A word of a layout or a two-word value: integers as such, floats where the word is known to be one.
  static Json wordJson(const SRawWidgetProperty* pProp, size_t uiIndex, bool bFloat) {
    if (bFloat) {
      return floatWord(pProp, uiIndex);
    }
    return static_cast<int64_t>(static_cast<int32_t>(word(pProp, uiIndex)));
  }

  static std::string hexBytes(const SRawWidgetProperty* pProp) {
    size_t uiLength = gc_iRAW_PROPERTY_VALUE_SIZE;
    while (uiLength > 0 && pProp->mp_aucValue[uiLength - 1] == 0) {
      --uiLength;
    }
    std::string hex;
    char szByte[3];
    for (size_t i = 0; i < uiLength; ++i) {
      std::snprintf(szByte, sizeof(szByte), "%02x", pProp->mp_aucValue[i]);
      hex += szByte;
    }
    return hex;
  }

  Json idJson(uint32_t uiHash) const { return uiHash == 0 ? Json("") : Json(nameOf(uiHash)); }

  Json param(const WidgetEventProcedureCallData* pParam) const {
    switch (pParam->mp_eType) {
      case E_ESCP_TYPE_INT:
        return pParam->mp_iValue;
      case E_ESCP_TYPE_FLOAT:
        return static_cast<double>(pParam->mp_fValue);
      case E_ESCP_TYPE_STRING:
        return pParam->mp_acString;
      default:
        return Json{{"id", idJson(pParam->mp_uiID)}};
    }
  }

  Json value(const SRawWidgetProperty* pProp) const {
    char szColor[16];
    switch (pProp->mp_uiType) {
      case E_BASE_TYPE_INT:
        return static_cast<int32_t>(word(pProp, 0));
      case E_BASE_TYPE_FLOAT:
        return static_cast<double>(floatWord(pProp, 0));
      case E_BASE_TYPE_BOOL:
        return word(pProp, 0) <= 1 ? Json(word(pProp, 0) == 1) : Json{{"bool", word(pProp, 0)}};
      case E_BASE_TYPE_ID:
        return Json{{"id", idJson(word(pProp, 0))}};
      case E_BASE_TYPE_ASCII_STRING:
        return reinterpret_cast<const char*>(pProp->mp_aucValue);
      case E_BASE_TYPE_COLOR:
        std::snprintf(szColor, sizeof(szColor), "0x%08X", word(pProp, 0));
        return Json{{"color", szColor}};
      case E_BASE_TYPE_LAYOUT: {
        bool bAnchorsOnly = true;
        for (size_t i = 0; i < static_cast<size_t>(gc_iLAYOUT_WORDS); ++i) {
          bAnchorsOnly = bAnchorsOnly && (word(pProp, i) == 0 || (i >= 3 && i <= 6));
        }
        if (bAnchorsOnly) {
          return Json{{"layout", Json{{"screenAnchor", wordJson(pProp, 3, false)}, {"x", wordJson(pProp, 4, true)},
                                      {"y", wordJson(pProp, 5, true)}, {"widgetAnchor", wordJson(pProp, 6, false)}}}};
        }
        Json words = Json::array();
        for (size_t i = 0; i < static_cast<size_t>(gc_iLAYOUT_WORDS); ++i) {
          words.push_back(wordJson(pProp, i, i == 4 || i == 5));
        }
        return Json{{"layout", words}};
      }
      case E_BASE_TYPE_PERCENTXY:
      case E_BASE_TYPE_FLOATXY:
        return Json{{pProp->mp_uiType == E_BASE_TYPE_PERCENTXY ? "percentxy" : "floatxy",
                     Json::array({floatWord(pProp, 0), floatWord(pProp, 1)})}};
      case E_BASE_TYPE_GRIDXY:
        return Json{{"gridxy", Json::array({wordJson(pProp, 0, false), wordJson(pProp, 1, false)})}};
      case E_BASE_TYPE_UNNAMED_9:
        return Json{{"type9", Json::array({wordJson(pProp, 0, false), wordJson(pProp, 1, false)})}};
      case E_BASE_TYPE_UNNAMED_12:
      case E_BASE_TYPE_UNNAMED_13:
        return Json{{pProp->mp_uiType == E_BASE_TYPE_UNNAMED_12 ? "type12" : "type13", hexBytes(pProp)}};
      default: {
        const SWidgetEventCallback* pCallback = reinterpret_cast<const SWidgetEventCallback*>(pProp->mp_aucValue);
        Json event = Json::object();
        if (pCallback->mp_uiSingleProcedureNameHash != 0) {
          event["single"] = nameOf(pCallback->mp_uiSingleProcedureNameHash);
        }
        Json calls = Json::array();
        for (i32 i = 0; i < pCallback->mp_iNumberCalls; ++i) {
          const WidgetEventProcedureCall* pCall = pCallback->mp_ppCalls[i];
          Json call{{"call", nameOf(pCall->mp_uiProcedureNameHash)}};
          if (pCall->mp_iNumberWidgetEventProcedureCallDatas > 0) {
            Json params = Json::array();
            for (i32 p = 0; p < pCall->mp_iNumberWidgetEventProcedureCallDatas; ++p) {
              params.push_back(param(pCall->mp_ppWidgetEventProcedureCallDatas[p]));
            }
            call["params"] = params;
          }
          calls.push_back(call);
        }
        event["calls"] = calls;
        return Json{{"event", event}};
      }
    }
  }

  std::map<uint32_t, std::string> m_names;
  std::set<const ClWidget*> m_written;
};

}  // namespace

std::string KuiTreeToJson(const ClWidget* pRoot, const std::vector<std::pair<uint32_t, std::string>>& names) {
  ClKuiDumper dumper(names);
  Json document{{"root", dumper.widget(pRoot)}};
  return ToolJsonDump(document);
}

bool KuiDumpImage(const std::vector<uint8_t>& image, const std::string& fileName,
                  const std::vector<std::pair<uint32_t, std::string>>& names, std::string* pJson, std::string* pError) {
  const bool bStarted = !ClUI::isInitialised();
  if (bStarted) {
    ClUI::initialise();
  }
  // The loader reports a refused file on the error stream; the message goes to the caller instead.
  char szError[gc_uiUI_DATA_ERROR_SIZE];
  bool bLoaded = KvValidateUIData(image.data(), static_cast<u32>(image.size()), fileName.c_str(),
                                  [](u32 uiID) { return ClUI::findWidget(uiID) != nullptr; }, szError,
                                  sizeof(szError));
  if (!bLoaded) {
    *pError = szError;
  } else {
    bLoaded = ClUI::loadUIDataFromImage(fileName.c_str(), image.data(), static_cast<u32>(image.size()));
    if (!bLoaded) {
      *pError = fileName + ": the loader refused the file";
    } else {
      *pJson = KuiTreeToJson(ClUI::getUIDataEntry(ClUI::getNumUIDataEntries() - 1)->mp_pRootWidget, names);
    }
  }
  if (bStarted) {
    ClUI::terminate();
  }
  return bLoaded;
}
