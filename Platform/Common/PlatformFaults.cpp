#include "Platform/Common/PlatformFaults.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

std::string trimmed(const std::string& text) {
  const size_t uiFirst = text.find_first_not_of(" \t");
  if (uiFirst == std::string::npos) return std::string();
  return text.substr(uiFirst, text.find_last_not_of(" \t") - uiFirst + 1);
}

std::vector<std::string> split(const std::string& text, char cSeparator) {
  std::vector<std::string> parts;
  size_t uiStart = 0;
  for (;;) {
    const size_t uiEnd = text.find(cSeparator, uiStart);
    parts.push_back(text.substr(uiStart, uiEnd - uiStart));
    if (uiEnd == std::string::npos) return parts;
    uiStart = uiEnd + 1;
  }
}

bool parseNumber(const std::string& text, std::uint32_t* puiValue) {
  if (text.empty() || !(text[0] >= '0' && text[0] <= '9')) return false;
  errno = 0;
  char* pEnd = nullptr;
  const unsigned long long ullValue = std::strtoull(text.c_str(), &pEnd, 0);
  if (errno != 0 || *pEnd != '\0' || ullValue > 0xFFFFFFFFull) return false;
  *puiValue = static_cast<std::uint32_t>(ullValue);
  return true;
}

std::string knownNames(const std::vector<SPlatformFaultKind>& kinds) {
  std::string names;
  for (const SPlatformFaultKind& kind : kinds) {
    names += (names.empty() ? "" : ", ") + std::string(kind.pName);
  }
  return names;
}

// Why the entry is not understood, or empty when it is (then *pFault holds it).
std::string parseEntry(const std::string& entry, const std::vector<SPlatformFaultKind>& kinds,
                       SPlatformFault* pFault) {
  const size_t uiNameEnd = entry.find_first_of("=:");
  const std::string name = entry.substr(0, uiNameEnd);
  const SPlatformFaultKind* pKind = nullptr;
  for (const SPlatformFaultKind& kind : kinds) {
    if (name == kind.pName) pKind = &kind;
  }
  if (pKind == nullptr) return "not a fault (known: " + knownNames(kinds) + ")";
  pFault->pName = pKind->pName;
  pFault->numbers.clear();
  const std::vector<std::string> fields =
      uiNameEnd == std::string::npos ? std::vector<std::string>() : split(entry.substr(uiNameEnd + 1), ':');
  if (static_cast<int>(fields.size()) > pKind->iMaxNumbers) {
    return pKind->iMaxNumbers == 0 ? std::string("takes no number")
                                   : "takes at most " + std::to_string(pKind->iMaxNumbers) +
                                         (pKind->iMaxNumbers == 1 ? " number" : " numbers");
  }
  for (const std::string& field : fields) {
    std::uint32_t uiValue = 0;
    if (field.empty()) {
      pFault->numbers.push_back(std::nullopt);
    } else if (parseNumber(field, &uiValue)) {
      pFault->numbers.push_back(uiValue);
    } else {
      return "[" + field + "] is not a whole number from 0 to 4294967295";
    }
  }
  if (pKind->bNumberRequired && (pFault->numbers.empty() || !pFault->numbers[0].has_value())) {
    return "needs a number (" + name + "=N)";
  }
  return std::string();
}

std::vector<SPlatformFaultKind> bareKinds(const std::vector<const char*>& names) {
  std::vector<SPlatformFaultKind> kinds;
  for (const char* pName : names) kinds.push_back({pName, 0, false});
  return kinds;
}

std::uint32_t bitsOf(const std::vector<SPlatformFault>& faults, const std::vector<const char*>& names) {
  std::uint32_t uiBits = 0;
  for (const SPlatformFault& fault : faults) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (std::strcmp(fault.pName, names[i]) == 0) uiBits |= std::uint32_t{1} << i;
    }
  }
  return uiBits;
}

}  // namespace

bool PlatformParseFaults(const std::string& text, const std::vector<SPlatformFaultKind>& kinds,
                         std::vector<SPlatformFault>* pFaults, std::vector<std::string>* pErrors) {
  bool bAllUnderstood = true;
  for (const std::string& part : split(text, ',')) {
    const std::string entry = trimmed(part);
    if (entry.empty()) continue;
    SPlatformFault fault;
    const std::string why = parseEntry(entry, kinds, &fault);
    if (why.empty()) {
      pFaults->push_back(fault);
    } else {
      pErrors->push_back("\"" + entry + "\": " + why);
      bAllUnderstood = false;
    }
  }
  return bAllUnderstood;
}

std::vector<SPlatformFault> PlatformEnvironmentFaults(const char* pVariable,
                                                      const std::vector<SPlatformFaultKind>& kinds) {
  static std::mutex s_reportedLock;
  static std::set<std::string>* const s_pReported = new std::set<std::string>;
  std::vector<SPlatformFault> faults;
  const char* pText = std::getenv(pVariable);
  if (pText == nullptr) return faults;
  std::vector<std::string> errors;
  PlatformParseFaults(pText, kinds, &faults, &errors);
  std::lock_guard<std::mutex> guard(s_reportedLock);
  for (const std::string& error : errors) {
    const std::string line = std::string(pVariable) + ": " + error + ", ignored";
    if (s_pReported->insert(line).second) std::fprintf(stderr, "%s\n", line.c_str());
  }
  return faults;
}

bool PlatformFindFault(const std::vector<SPlatformFault>& faults, const char* pName,
                       std::vector<std::optional<std::uint32_t>>* pNumbers) {
  bool bFound = false;
  for (const SPlatformFault& fault : faults) {
    if (std::strcmp(fault.pName, pName) == 0) {
      bFound = true;
      if (pNumbers != nullptr) *pNumbers = fault.numbers;
    }
  }
  return bFound;
}

bool PlatformParseFaultBits(const std::string& text, const std::vector<const char*>& names, std::uint32_t* puiBits,
                            std::string* pError) {
  std::vector<SPlatformFault> faults;
  std::vector<std::string> errors;
  const bool bAllUnderstood = PlatformParseFaults(text, bareKinds(names), &faults, &errors);
  *puiBits = bitsOf(faults, names);
  pError->clear();
  for (const std::string& error : errors) *pError += (pError->empty() ? "" : "; ") + error;
  return bAllUnderstood;
}

std::uint32_t PlatformEnvironmentFaultBits(const char* pVariable, const std::vector<const char*>& names) {
  return bitsOf(PlatformEnvironmentFaults(pVariable, bareKinds(names)), names);
}
