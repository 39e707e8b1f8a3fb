// JSON in the offline tools: every error of the JSON library caught and named by the file, and output that is
// valid JSON whatever bytes the file it describes held. Header only; a tool that includes it links
// nlohmann_json.
#pragma once

#include <nlohmann/json.hpp>

#include <exception>
#include <string>

#include "Tools/Common/ToolText.h"

// The JSON library's message without its "[json.exception.type_error.302] " prefix.
inline std::string ToolJsonMessage(const std::exception& error) {
  const std::string what = error.what();
  const size_t uiClose = what.rfind("] ");
  return what.compare(0, 16, "[json.exception.") == 0 && uiClose != std::string::npos ? what.substr(uiClose + 2)
                                                                                       : what;
}

// Parses a JSON text (with // and /* */ comments when bComments). False with "file:line:column: error: ..." for
// a syntax error, or "file: error: ..." for a value the library cannot hold (a number such as 1e400).
template <typename Json>
bool ToolJsonParse(const std::string& text, const std::string& fileName, bool bComments, Json* pOut,
                   std::string* pError) {
  try {
    *pOut = Json::parse(text, nullptr, true, bComments);
    return true;
  } catch (const typename Json::parse_error& error) {
    const size_t uiByte = error.byte > 0 ? error.byte - 1 : 0;
    int iLine = 1;
    int iColumn = 1;
    for (size_t i = 0; i < uiByte && i < text.size(); ++i) {
      if (text[i] == '\n') {
        ++iLine;
        iColumn = 1;
      } else {
        ++iColumn;
      }
    }
    // The place is given as line and column: the library's own "parse error at line 1, column 2: " goes.
    std::string message = ToolJsonMessage(error);
    const size_t uiColon = message.find(": ");
    if (message.compare(0, 12, "parse error ") == 0 && uiColon != std::string::npos) {
      message = message.substr(uiColon + 2);
    }
    *pError = ToolErrorAt(fileName, iLine, iColumn, message);
  } catch (const typename Json::out_of_range& error) {
    *pError = fileName + ": error: a number out of range (" + ToolJsonMessage(error) + ")";
  } catch (const typename Json::exception& error) {
    *pError = fileName + ": error: " + ToolJsonMessage(error);
  }
  return false;
}

// A copy of a JSON value whose texts and keys are well-formed UTF-8 (ToolUtf8Text): bytes read from a file can
// be printed with the library's strict dump.
template <typename Json>
Json ToolJsonUtf8(const Json& value) {
  if (value.is_string()) {
    return Json(ToolUtf8Text(value.template get_ref<const typename Json::string_t&>()));
  }
  if (value.is_array()) {
    Json out = Json::array();
    for (const Json& element : value) {
      out.push_back(ToolJsonUtf8(element));
    }
    return out;
  }
  if (value.is_object()) {
    Json out = Json::object();
    for (auto it = value.begin(); it != value.end(); ++it) {
      out[ToolUtf8Text(it.key())] = ToolJsonUtf8(it.value());
    }
    return out;
  }
  return value;
}

// The document as the tools print it: indented by two, texts made well-formed UTF-8, a line end after it.
template <typename Json>
std::string ToolJsonDump(const Json& value) {
  return ToolJsonUtf8(value).dump(2) + "\n";
}
