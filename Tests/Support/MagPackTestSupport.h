// Entries for the tests that pack archives with the archive tool's writer (their programs link magpack_lib), one
// word of a packed table of contents changed, tables whose entries cannot all be told apart, and tables that name one
// stored content under two names.
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

// Where an entry's data-info lies in a table of contents (a std::string or std::vector<u8>), found by the name hash of
// the entry's path ("\" separators); std::string::npos when the table has no such entry.
template <typename Bytes>
size_t KvTestTOCDataInfoOffset(const Bytes& toc, std::string entry) {
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

// Gives the record of entry "to" the data-info of entry "from" (flags, offset and sizes): the table then names one
// stored content under two names, and "to" reads as "from". False when the table lacks either.
template <typename Bytes>
bool KvTestShareStoredBytes(Bytes* pTOC, const std::string& from, const std::string& to) {
  const size_t uiFrom = KvTestTOCDataInfoOffset(*pTOC, from);
  const size_t uiTo = KvTestTOCDataInfoOffset(*pTOC, to);
  if (uiFrom == std::string::npos || uiTo == std::string::npos) return false;
  std::memmove(pTOC->data() + uiTo, pTOC->data() + uiFrom, sizeof(ClMagDataInfo));
  return true;
}

// Damages a table of contents whose entries can no longer all be told apart, keeping it sorted. gc_szHASH_TWICE gives
// the second record the first one's name hash. Among the entries that store bytes: gc_szOVERLAP makes one start in the
// last byte of another (at least 2 bytes long); gc_szSAME_OFFSET places one at the offset of another of a larger
// stored size, neither encrypted (it lies wholly inside the other's bytes, at their start); gc_szSHARED_ENCRYPTED
// gives a record the data-info of an encrypted entry, so that both name its ciphertext. False when the table has no
// entries for it.
inline constexpr char gc_szHASH_TWICE[] = "<toc hash twice>";
inline constexpr char gc_szOVERLAP[] = "<toc overlap>";
inline constexpr char gc_szSAME_OFFSET[] = "<toc same offset>";
inline constexpr char gc_szSHARED_ENCRYPTED[] = "<toc shared encrypted>";

// Those damages by name, for the tests of the reader and of the archive tool to go through with their own expectation
// for each: a name hash twice (a look-up would answer one of them), stored bytes overlapping other than as the same
// range (the one written over reads as neither), and a ciphertext under two names (it decrypts under its own only).
struct SKvTestTOCDamage {
  const char* pName;
  const char* pKind;  // for KvTestDamageTOC
};
inline constexpr SKvTestTOCDamage gc_aKvTestEntriesNotToldApart[] = {
    {"a name hash twice", gc_szHASH_TWICE},
    {"an entry starting inside another", gc_szOVERLAP},
    {"two entries at one offset with other sizes", gc_szSAME_OFFSET},
    {"two records of one encrypted entry's bytes", gc_szSHARED_ENCRYPTED},
};

template <typename Bytes>
bool KvTestDamageTOC(Bytes* pTOC, const std::string& kind) {
  const auto word = [pTOC](size_t uiAt) {
    u32 uiWord = 0;
    std::memcpy(&uiWord, pTOC->data() + uiAt, sizeof(uiWord));
    return uiWord;
  };
  const auto setWord = [pTOC](size_t uiAt, u32 uiWord) { std::memcpy(pTOC->data() + uiAt, &uiWord, sizeof(uiWord)); };
  if (kind == gc_szHASH_TWICE) {
    if (word(8) < 2) return false;
    const size_t uiNameHash = offsetof(SMagTOCRecord, mp_iNameHash);
    setWord(word(word(0) + 4) + uiNameHash, word(word(word(0)) + uiNameHash));
    return true;
  }
  // Every record's data-info, in table order.
  std::vector<size_t> infos;
  std::vector<ClMagDataInfo> values;
  for (u32 i = 0; i < word(8); ++i) {
    infos.push_back(word(word(word(0) + 4ull * i)));
    ClMagDataInfo info;
    std::memcpy(&info, pTOC->data() + infos.back(), sizeof(info));
    values.push_back(info);
  }
  const size_t uiOffset = offsetof(ClMagDataInfo, mp_uiDataOffset);
  for (size_t a = 0; a < infos.size(); ++a) {
    for (size_t b = 0; b < infos.size(); ++b) {
      const u32 uiSizeA = values[a].getStoredSize();
      const u32 uiSizeB = values[b].getStoredSize();
      if (a == b || infos[a] == infos[b]) continue;
      if (kind == gc_szOVERLAP && uiSizeA >= 2 && uiSizeB != 0) {
        setWord(infos[b] + uiOffset, values[a].mp_uiDataOffset + uiSizeA - 1);
        return true;
      }
      if (kind == gc_szSAME_OFFSET && uiSizeB != 0 && uiSizeB < uiSizeA && !values[a].mp_uiEncrypted &&
          !values[b].mp_uiEncrypted) {
        setWord(infos[b] + uiOffset, values[a].mp_uiDataOffset);
        return true;
      }
      if (kind == gc_szSHARED_ENCRYPTED && values[a].mp_uiEncrypted && uiSizeA != 0) {
        std::memcpy(pTOC->data() + infos[b], &values[a], sizeof(ClMagDataInfo));
        return true;
      }
    }
  }
  return false;
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
