// Entries for the tests that pack archives with the archive tool's writer (their programs link magpack_lib), and
// one word of a packed table of contents changed.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Tools/magpack/MagPacker.h"

// An entry stored under path (also its source name) with these bytes and storage flags.
inline SMagPackInput packInput(const std::string& path, const std::vector<u8>& bytes, bool bCompress = false,
                               bool bEncrypt = false) {
  SMagPackInput entry;
  entry.archivePath = path;
  entry.sourcePath = path;
  entry.bytes = bytes;
  entry.bCompress = bCompress;
  entry.bEncrypt = bEncrypt;
  return entry;
}

// Where an entry's data-info lies in a table of contents, found by the name hash of the entry's path ("\"
// separators); std::string::npos when the table has no such entry.
inline size_t KvTestTOCDataInfoOffset(const std::string& toc, std::string entry) {
  std::replace(entry.begin(), entry.end(), '/', '\\');
  const auto word = [&toc](size_t uiAt) {
    u32 uiWord = 0;
    std::memcpy(&uiWord, toc.data() + uiAt, sizeof(uiWord));
    return uiWord;
  };
  for (u32 i = 0; i < word(8); ++i) {
    const u32 uiRecord = word(word(0) + 4 * i);
    if (word(uiRecord + 8) == KvStrHash(entry.c_str())) {
      return word(uiRecord);
    }
  }
  return std::string::npos;
}

// Sets one u32 of an entry's data-info (at uiField bytes into it) in a table of contents. False when the table has
// no such entry.
inline bool KvTestSetTOCWord(std::string* pTOC, const std::string& entry, u32 uiField, u32 uiValue) {
  const size_t uiInfo = KvTestTOCDataInfoOffset(*pTOC, entry);
  if (uiInfo == std::string::npos) {
    return false;
  }
  std::memcpy(pTOC->data() + uiInfo + uiField, &uiValue, sizeof(uiValue));
  return true;
}
