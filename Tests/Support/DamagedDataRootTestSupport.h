// Copies of the built data root with one file damaged, for the tests that run the game on them: an archive packed
// again from its build manifest with one entry left out, emptied or replaced, or an archive's table of contents
// zeroed. Files that stay as built are hard links (copies where links cannot be made); files written are new. The
// built root's development settings ("project.ini", which a user may keep there) are left out: each run writes its
// own, and through a link it would write the user's file and every other copy's at once.
// The including target defines KV_DATA_ROOT, KV_MAGPACK_PATH, KV_CONTENT_BUILD_DIR and KV_RWN_LOOSE_ROOT.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>

#include "Code/System/GAMEArchiveKeys.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"

// One damage: pEntry of archive pArchive ("RWN", "RWK", "RWG", "SPLA") left out (pReplacement null), or holding
// pReplacement; a replacement "@<entry>" holds that other entry's built bytes (of any archive), gc_szZEROED the
// entry's own built bytes set to zero, gc_szHALVED their first half, gc_szFLIPPED them with one bit in every 64 bytes
// flipped (the same bits in every run), "<word OFFSET VALUE>" its built bytes with the
// little-endian u32 at OFFSET set to VALUE, and "<toc FIELD VALUE>" leaves the archive as built but for one word of
// the entry's data-info in its table of contents (FIELD "offset" or "final", VALUE in C notation); gc_szSTORED_ZEROED
// leaves the table as built and zeroes the entry's stored bytes in the data file. The entry "TOC" stands for the
// archive's table of contents: zeroed (same size) with no replacement, with "<toc count VALUE>" its entry count
// word set, with gc_szHASH_TWICE or gc_szOVERLAP its entries no longer all told apart (KvTestDamageTOC). The entries
// "TOC" and "DATA" with gc_szFOLDER put a folder in place of the table or the data file (a file that is there and
// cannot be read, even by root), with gc_szSELF_LOOP a symbolic link to itself, and "DATA" with "" empties the data
// file; the entry "ARCHIVE" with "<swap NAME>" exchanges both files of
// the archive with those of archive NAME. A null entry leaves the root as built. pExpected is what the game's reason
// must name.
struct SDamage {
  const char* pName;
  const char* pArchive;
  const char* pEntry;
  const char* pReplacement;
  const char* pExpected;
};

inline constexpr char gc_szZEROED[] = "<zeroed>";
inline constexpr char gc_szHALVED[] = "<halved>";
inline constexpr char gc_szSTORED_ZEROED[] = "<stored zeroed>";
inline constexpr char gc_szFOLDER[] = "<folder>";
inline constexpr char gc_szSELF_LOOP[] = "<self-loop>";
inline constexpr char gc_szFLIPPED[] = "<flipped>";

// The damage's name in test listings.
inline void PrintTo(const SDamage& damage, std::ostream* pOut) { *pOut << damage.pName; }

inline std::string KvTestArchiveKey(const std::string& archive) {
  for (const SGameArchiveKey* pKey = g_aGameArchiveKeys; pKey->mp_pArchiveName != nullptr; ++pKey) {
    if (archive == pKey->mp_pArchiveName) return pKey->mp_pKey;
  }
  return "";
}

// The source file a build manifest line names for an archive entry, "" when none does.
inline std::string KvTestManifestSource(const std::string& manifest, const std::string& entry) {
  std::ifstream in(manifest);
  for (std::string line; std::getline(in, line);) {
    // "file <entry> <source> <storage>", each name quoted or bare.
    std::istringstream words(line);
    std::string word;
    std::string name;
    std::string source;
    words >> word >> std::quoted(name) >> std::quoted(source);
    if (word == "file" && name == entry) return source;
  }
  return "";
}

// The built source of an archive entry: from the archive's own manifest, else from another archive's.
inline std::string KvTestBuiltSource(const std::string& archive, const std::string& entry) {
  for (const std::string& name : {archive, std::string("RWN"), std::string("RWK"), std::string("RWG")}) {
    const std::string manifest = std::string(KV_CONTENT_BUILD_DIR) + "/" + name + ".manifest";
    const std::string source = KvTestManifestSource(manifest, entry);
    if (!source.empty()) return source;
  }
  return "";
}

// Makes root/Data as described above.
inline ::testing::AssertionResult KvTestMakeDamagedRoot(const SDamage& damage, const std::string& root) {
  namespace fs = std::filesystem;
  const std::string data = root + "/Data";
  fs::remove_all(root);
  fs::create_directories(data);
  for (const auto& item : fs::recursive_directory_iterator(KV_DATA_ROOT)) {
    const fs::path relative = fs::relative(item.path(), KV_DATA_ROOT);
    const fs::path target = fs::path(data) / relative;
    std::error_code error;
    if (relative == "project.ini") {
      continue;
    }
    if (item.is_directory()) {
      fs::create_directories(target);
    } else if (fs::create_hard_link(item.path(), target, error); error) {
      fs::copy_file(item.path(), target);
    }
  }
  if (damage.pEntry == nullptr) {
    return ::testing::AssertionSuccess();
  }
  const std::string archive = damage.pArchive;
  const std::string toc = data + "/" + archive + "_win32.mtc";
  const std::string mdf = data + "/" + archive + "_win32.mdf";
  const std::string entry = damage.pEntry;
  const std::string replacement = damage.pReplacement != nullptr ? damage.pReplacement : "";
  // Files written are new: never written through the links to the built ones.
  const auto writeNew = [](const std::string& path, const std::string& bytes) {
    fs::remove(path);
    std::ofstream(path, std::ios::binary) << bytes;
  };
  if ((entry == "TOC" || entry == "DATA") && (replacement == gc_szFOLDER || replacement == gc_szSELF_LOOP)) {
    const std::string file = entry == "TOC" ? toc : mdf;
    fs::remove(file);
    if (replacement == gc_szFOLDER) {
      fs::create_directory(file);
    } else {
      fs::create_symlink(fs::path(file).filename(), file);
    }
    return ::testing::AssertionSuccess();
  }
  if (entry == "DATA" && damage.pReplacement != nullptr && replacement.empty()) {
    writeNew(mdf, "");
    return ::testing::AssertionSuccess();
  }
  if (entry == "ARCHIVE" && replacement.rfind("<swap ", 0) == 0) {
    const std::string other = data + "/" + replacement.substr(6, replacement.size() - 7) + "_win32";
    for (const std::string& extension : {std::string(".mtc"), std::string(".mdf")}) {
      const std::string mine = data + "/" + archive + "_win32" + extension;
      fs::rename(mine, root + "/swapped");
      fs::rename(other + extension, mine);
      fs::rename(root + "/swapped", other + extension);
    }
    return ::testing::AssertionSuccess();
  }
  if (entry == "TOC" && replacement.rfind("<toc count ", 0) == 0) {
    std::string bytes = KvTestFileBytes(toc);
    const u32 uiCount = static_cast<u32>(std::stoul(replacement.substr(11), nullptr, 0));
    std::memcpy(bytes.data() + offsetof(SMagTOCHeader, mp_iNumEntries), &uiCount, sizeof(uiCount));
    writeNew(toc, bytes);
    return ::testing::AssertionSuccess();
  }
  if (entry == "TOC" && (replacement == gc_szHASH_TWICE || replacement == gc_szOVERLAP)) {
    std::string bytes = KvTestFileBytes(toc);
    if (!KvTestDamageTOC(&bytes, replacement)) return ::testing::AssertionFailure() << toc << " has too few entries";
    writeNew(toc, bytes);
    return ::testing::AssertionSuccess();
  }
  if (entry == "TOC") {
    writeNew(toc, std::string(fs::file_size(toc), '\0'));
    return ::testing::AssertionSuccess();
  }
  if (replacement == gc_szSTORED_ZEROED) {
    const std::string table = KvTestFileBytes(toc);
    const size_t uiInfo = KvTestTOCDataInfoOffset(table, entry);
    if (uiInfo == std::string::npos) return ::testing::AssertionFailure() << entry << " is not in " << toc;
    ClMagDataInfo info;
    std::memcpy(&info, table.data() + uiInfo, sizeof(info));
    std::string bytes = KvTestFileBytes(mdf);
    std::fill_n(bytes.begin() + info.mp_uiDataOffset, info.getStoredSize(), '\0');
    writeNew(mdf, bytes);
    return ::testing::AssertionSuccess();
  }
  if (replacement.rfind("<toc ", 0) == 0) {
    std::istringstream words(replacement.substr(5));
    std::string field;
    std::string value;
    words >> field >> value;
    std::string bytes = KvTestFileBytes(toc);
    const u32 uiField =
        field == "offset" ? offsetof(ClMagDataInfo, mp_uiDataOffset) : offsetof(ClMagDataInfo, mp_uiFinalSize);
    if (!KvTestSetTOCWord(&bytes, entry, uiField, static_cast<u32>(std::stoul(value, nullptr, 0)))) {
      return ::testing::AssertionFailure() << entry << " is not in " << toc;
    }
    writeNew(toc, bytes);
    return ::testing::AssertionSuccess();
  }
  const std::string built = std::string(KV_CONTENT_BUILD_DIR) + "/" + archive + ".manifest";
  std::ifstream in(built);
  if (!in) return ::testing::AssertionFailure() << "no build manifest for " << archive;
  const std::string manifest = root + "/" + archive + ".manifest";
  std::ofstream out(manifest);
  const std::string replacementFile = root + "/replacement";
  if (damage.pReplacement != nullptr && damage.pReplacement[0] == '@') {
    const std::string source = KvTestBuiltSource(archive, damage.pReplacement + 1);
    if (source.empty()) return ::testing::AssertionFailure() << damage.pReplacement << " is not in a manifest";
    fs::copy_file(source, replacementFile);
  } else if (damage.pReplacement != nullptr &&
             (std::string(damage.pReplacement) == gc_szZEROED || std::string(damage.pReplacement) == gc_szHALVED ||
              std::string(damage.pReplacement) == gc_szFLIPPED ||
              std::string(damage.pReplacement).rfind("<word ", 0) == 0)) {
    const std::string source = KvTestManifestSource(built, damage.pEntry);
    if (source.empty()) return ::testing::AssertionFailure() << damage.pEntry << " is not in the manifest";
    std::string bytes = KvTestFileBytes(source);
    if (std::string(damage.pReplacement) == gc_szZEROED) {
      bytes.assign(bytes.size(), '\0');
    } else if (std::string(damage.pReplacement) == gc_szHALVED) {
      bytes.resize(bytes.size() / 2);
    } else if (std::string(damage.pReplacement) == gc_szFLIPPED) {
      // A fixed walk: the bit of each 64-byte block is chosen by a linear congruential step from one seed.
      u32 uiState = 70;
      for (size_t uiBlock = 0; uiBlock < bytes.size(); uiBlock += 64) {
        uiState = uiState * 1664525u + 1013904223u;
        const size_t uiAt = uiBlock + (uiState >> 8) % std::min<size_t>(64, bytes.size() - uiBlock);
        bytes[uiAt] = static_cast<char>(bytes[uiAt] ^ (1u << ((uiState >> 4) % 8)));
      }
    } else {
      char* pValue = nullptr;
      const size_t uiAt = std::strtoul(damage.pReplacement + 6, &pValue, 0);
      const u32 uiValue = static_cast<u32>(std::strtoul(pValue, nullptr, 0));
      if (uiAt + 4 > bytes.size()) return ::testing::AssertionFailure() << damage.pReplacement << " is past the end";
      std::memcpy(bytes.data() + uiAt, &uiValue, 4);
    }
    std::ofstream(replacementFile, std::ios::binary) << bytes;
  } else if (damage.pReplacement != nullptr) {
    std::ofstream(replacementFile, std::ios::binary) << damage.pReplacement;
  }
  bool bFound = false;
  for (std::string line; std::getline(in, line);) {
    const bool bEntry = line.rfind("file ", 0) == 0 && (line.find(" " + entry + " ") != std::string::npos ||
                                                        line.find(" \"" + entry + "\" ") != std::string::npos);
    if (!bEntry) {
      out << line << "\n";
      continue;
    }
    bFound = true;
    if (damage.pReplacement != nullptr) out << "file \"" << entry << "\" \"" << replacementFile << "\" plain\n";
  }
  out.close();
  if (!bFound) return ::testing::AssertionFailure() << damage.pEntry << " is not in the manifest";
  // The packer writes new files, never through the links to the built ones.
  fs::remove(toc);
  fs::remove(mdf);
  std::string command = KvTestShellQuote(KV_MAGPACK_PATH) + " pack --quiet --name " + archive + " --out " +
                        KvTestShellQuote(data) + " --manifest " + KvTestShellQuote(manifest) + " --key " +
                        KvTestShellQuote(KvTestArchiveKey(archive));
  if (archive == "RWN") command += " --root " + KvTestShellQuote(KV_RWN_LOOSE_ROOT);
  const SKvToolRun packed = KvTestRunTool(command);
  if (packed.iExit != 0) return ::testing::AssertionFailure() << command << "\n" << packed.out;
  return ::testing::AssertionSuccess();
}
