// Entries for the tests that pack archives with the archive tool's writer (their programs link magpack_lib), one
// word of a packed table of contents changed, and tables whose entries cannot all be told apart.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClMagFileIO.h"
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

// Damages a table of contents whose entries can no longer all be told apart, keeping it sorted: gc_szHASH_TWICE gives
// the second record the first one's name hash; gc_szOVERLAP places the second entry that stores bytes at the first
// one's offset. False when the table has too few entries for it.
inline constexpr char gc_szHASH_TWICE[] = "<toc hash twice>";
inline constexpr char gc_szOVERLAP[] = "<toc overlap>";

template <typename Bytes>
bool KvTestDamageTOC(Bytes* pTOC, const std::string& kind) {
  const auto word = [pTOC](size_t uiAt) {
    u32 uiWord = 0;
    std::memcpy(&uiWord, pTOC->data() + uiAt, sizeof(uiWord));
    return uiWord;
  };
  const bool bHash = kind == gc_szHASH_TWICE;
  // The first two records, or the data-infos of the first two entries that store bytes.
  std::vector<size_t> pair;
  for (u32 i = 0; i < word(8) && pair.size() < 2; ++i) {
    const u32 uiRecord = word(word(0) + 4ull * i);
    ClMagDataInfo info;
    std::memcpy(&info, pTOC->data() + word(uiRecord), sizeof(info));
    if (bHash || info.getStoredSize() != 0) pair.push_back(bHash ? uiRecord : word(uiRecord));
  }
  if (pair.size() < 2) return false;
  const size_t uiField = bHash ? offsetof(SMagTOCRecord, mp_iNameHash) : offsetof(ClMagDataInfo, mp_uiDataOffset);
  std::memcpy(pTOC->data() + pair[1] + uiField, pTOC->data() + pair[0] + uiField, 4);
  return true;
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
