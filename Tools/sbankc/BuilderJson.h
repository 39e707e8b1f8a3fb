// JSON reading shared by sbankc's builders: fields read with their place named in every problem.
#pragma once

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "Corvane/System/KvTypes.h"
#include "Tools/Common/ToolJson.h"

namespace SbankcJson {

using nlohmann::json;

// A problem with one field: thrown while compiling, caught at the top.
struct SFieldError {
  std::string field;
  std::string problem;
};

[[noreturn]] inline void fail(const std::string& field, const std::string& problem) { throw SFieldError{field, problem}; }

// The place of a member: "cues[0].volume", or "releaseTime" at the top.
inline std::string member(const std::string& field, const char* pKey) {
  return field.empty() ? std::string(pKey) : field + "." + pKey;
}

inline std::string formatted(f32 fValue) {
  char szValue[32];
  std::snprintf(szValue, sizeof(szValue), "%g", static_cast<double>(fValue));
  return szValue;
}

inline f32 number(const json& node, const std::string& field) {
  if (!node.is_number() || !std::isfinite(node.get<double>())) {
    fail(field, "must be a number");
  }
  const double dValue = node.get<double>();
  if (std::fabs(dValue) > static_cast<double>(std::numeric_limits<f32>::max())) {
    fail(field, "does not fit a 32-bit float");
  }
  return static_cast<f32>(dValue);
}

// A number from fMin to fMax; bAboveMin leaves fMin itself out.
inline f32 numberIn(const json& node, const std::string& field, f32 fMin, f32 fMax, bool bAboveMin = false) {
  const f32 fValue = number(node, field);
  if (fValue < fMin || fValue > fMax || (bAboveMin && fValue == fMin)) {
    fail(field, std::string("must lie in ") + (bAboveMin ? "(" : "[") + formatted(fMin) + ", " + formatted(fMax) +
                    "]");
  }
  return fValue;
}

inline f32 numberOr(const json& object, const char* pKey, f32 fDefault, const std::string& field) {
  return object.contains(pKey) ? number(object[pKey], member(field, pKey)) : fDefault;
}

inline f32 numberInOr(const json& object, const char* pKey, f32 fDefault, const std::string& field, f32 fMin,
                      f32 fMax, bool bAboveMin = false) {
  return object.contains(pKey) ? numberIn(object[pKey], member(field, pKey), fMin, fMax, bAboveMin) : fDefault;
}

// An object, or a field error.
inline const json& object(const json& node, const std::string& field) {
  if (!node.is_object()) {
    fail(field, "must be an object");
  }
  return node;
}

inline std::string textOr(const json& object, const char* pKey, const std::string& fallback, const std::string& field) {
  if (!object.contains(pKey)) {
    return fallback;
  }
  if (!object[pKey].is_string()) {
    fail(member(field, pKey), "must be a text");
  }
  return object[pKey].get<std::string>();
}

inline bool flagOr(const json& object, const char* pKey, const std::string& field) {
  if (!object.contains(pKey)) {
    return false;
  }
  if (!object[pKey].is_boolean()) {
    fail(member(field, pKey), "must be true or false");
  }
  return object[pKey].get<bool>();
}

inline i32 integer(const json& node, const std::string& field, i32 iMin, i32 iMax) {
  const bool bTooLarge = node.is_number_unsigned() && node.get<u64>() > static_cast<u64>(iMax);
  if (!node.is_number_integer() || bTooLarge || node.get<i64>() < iMin || node.get<i64>() > iMax) {
    fail(field, "must be a whole number from " + std::to_string(iMin) + " to " + std::to_string(iMax));
  }
  return node.get<i32>();
}

inline const json& array(const json& object, const char* pKey, const std::string& field, size_t uiMax) {
  static const json s_empty = json::array();
  if (!object.contains(pKey)) {
    return s_empty;
  }
  const json& node = object[pKey];
  if (!node.is_array() || node.size() > uiMax) {
    fail(member(field, pKey), "must be a list of at most " + std::to_string(uiMax) + " entries");
  }
  return node;
}

// Runs a compile step: a field problem or a JSON error becomes "file: field: problem" in pError and false.
template <typename Body>
bool compileReporting(const std::string& fileName, std::string* pError, Body body) {
  try {
    body();
    return true;
  } catch (const SFieldError& error) {
    *pError = fileName + ": " + error.field + ": " + error.problem;
    return false;
  } catch (const json::exception& error) {
    *pError = fileName + ": error: " + ToolJsonMessage(error);
    return false;
  }
}

}  // namespace SbankcJson
