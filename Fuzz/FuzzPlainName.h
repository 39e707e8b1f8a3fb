// The world's script targets run scripts in the test harness, which makes frames for every flip book a script
// names; it can do that only for short words of letters and digits.
#pragma once

#include <cctype>
#include <cstring>

inline bool KvFuzzPlainName(const char* pName) {
  const size_t uiLength = std::strlen(pName);
  if (uiLength == 0 || uiLength > 48) return false;
  for (size_t i = 0; i < uiLength; ++i) {
    if (!std::isalnum(static_cast<unsigned char>(pName[i]))) return false;
  }
  return true;
}
