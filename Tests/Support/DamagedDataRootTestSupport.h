// Copies of the built data root with one file damaged, for the tests that run the game on them: an archive packed
// again from its build manifest with one entry left out, emptied or replaced, or an archive's table of contents
// zeroed. Files that stay as built are hard links (copies where links cannot be made); files written are new. The
// built root's development settings ("project.ini", which a user may keep there) are left out: each run writes its
// own, and through a link it would write the user's file and every other copy's at once.
// The including target defines KV_DATA_ROOT, KV_MAGPACK_PATH, KV_CONTENT_BUILD_DIR and KV_RWN_LOOSE_ROOT.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>

#include "Code/System/GAMEArchiveKeys.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"

// One damage: pEntry of archive pArchive ("RWN", "RWK", "RWG", "SPLA") left out (pReplacement null), or holding
// pReplacement; a replacement "@<entry>" holds that other entry's built bytes (of any archive), gc_szZEROED the
// entry's own built bytes set to zero, gc_szHALVED their first half, "<word OFFSET VALUE>" its built bytes with the
// little-endian u32 at OFFSET set to VALUE, and "<toc FIELD VALUE>" leaves the archive as built but for one word of
// the entry's data-info in its table of contents (FIELD "offset" or "final", VALUE in C notation). The entry "TOC"
// stands for the archive's table of contents, zeroed (same size); a null entry leaves the root as built. pExpected is
// what the game's reason must name.
struct SDamage {
  const char* pName;
  const char* pArchive;
  const char* pEntry;
  const char* pReplacement;
  const char* pExpected;
};

inline constexpr char gc_szZEROED[] = "<zeroed>";
inline constexpr char gc_szHALVED[] = "<halved>";

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
  if (std::string(damage.pEntry) == "TOC") {
    const auto uiSize = fs::file_size(toc);
    fs::remove(toc);
    std::ofstream(toc, std::ios::binary) << std::string(uiSize, '\0');
    return ::testing::AssertionSuccess();
  }
  if (damage.pReplacement != nullptr && std::string(damage.pReplacement).rfind("<toc ", 0) == 0) {
    std::istringstream words(std::string(damage.pReplacement + 5));
    std::string field;
    std::string value;
    words >> field >> value;
    std::ifstream in(toc, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    in.close();
    const u32 uiField =
        field == "offset" ? offsetof(ClMagDataInfo, mp_uiDataOffset) : offsetof(ClMagDataInfo, mp_uiFinalSize);
    if (!KvTestSetTOCWord(&bytes, damage.pEntry, uiField, static_cast<u32>(std::stoul(value, nullptr, 0)))) {
      return ::testing::AssertionFailure() << damage.pEntry << " is not in " << toc;
    }
    fs::remove(toc);
    std::ofstream(toc, std::ios::binary) << bytes;
    return ::testing::AssertionSuccess();
  }
  const std::string built = std::string(KV_CONTENT_BUILD_DIR) + "/" + archive + ".manifest";
  std::ifstream in(built);
  if (!in) return ::testing::AssertionFailure() << "no build manifest for " << archive;
  const std::string manifest = root + "/" + archive + ".manifest";
  std::ofstream out(manifest);
  const std::string replacement = root + "/replacement";
  if (damage.pReplacement != nullptr && damage.pReplacement[0] == '@') {
    const std::string source = KvTestBuiltSource(archive, damage.pReplacement + 1);
    if (source.empty()) return ::testing::AssertionFailure() << damage.pReplacement << " is not in a manifest";
    fs::copy_file(source, replacement);
  } else if (damage.pReplacement != nullptr &&
             (std::string(damage.pReplacement) == gc_szZEROED || std::string(damage.pReplacement) == gc_szHALVED ||
              std::string(damage.pReplacement).rfind("<word ", 0) == 0)) {
    const std::string source = KvTestManifestSource(built, damage.pEntry);
    if (source.empty()) return ::testing::AssertionFailure() << damage.pEntry << " is not in the manifest";
    std::ifstream whole(source, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(whole), {}};
    if (std::string(damage.pReplacement) == gc_szZEROED) {
      bytes.assign(bytes.size(), '\0');
    } else if (std::string(damage.pReplacement) == gc_szHALVED) {
      bytes.resize(bytes.size() / 2);
    } else {
      char* pValue = nullptr;
      const size_t uiAt = std::strtoul(damage.pReplacement + 6, &pValue, 0);
      const u32 uiValue = static_cast<u32>(std::strtoul(pValue, nullptr, 0));
      if (uiAt + 4 > bytes.size()) return ::testing::AssertionFailure() << damage.pReplacement << " is past the end";
      std::memcpy(bytes.data() + uiAt, &uiValue, 4);
    }
    std::ofstream(replacement, std::ios::binary) << bytes;
  } else if (damage.pReplacement != nullptr) {
    std::ofstream(replacement, std::ios::binary) << damage.pReplacement;
  }
  bool bFound = false;
  for (std::string line; std::getline(in, line);) {
    const std::string entry = damage.pEntry;
    const bool bEntry = line.rfind("file ", 0) == 0 && (line.find(" " + entry + " ") != std::string::npos ||
                                                        line.find(" \"" + entry + "\" ") != std::string::npos);
    if (!bEntry) {
      out << line << "\n";
      continue;
    }
    bFound = true;
    if (damage.pReplacement != nullptr) out << "file \"" << entry << "\" \"" << replacement << "\" plain\n";
  }
  out.close();
  if (!bFound) return ::testing::AssertionFailure() << damage.pEntry << " is not in the manifest";
  // The packer writes new files, never through the links to the built ones.
  fs::remove(toc);
  fs::remove(data + "/" + archive + "_win32.mdf");
  std::string command = KvTestShellQuote(KV_MAGPACK_PATH) + " pack --quiet --name " + archive + " --out " +
                        KvTestShellQuote(data) + " --manifest " + KvTestShellQuote(manifest) + " --key " +
                        KvTestShellQuote(KvTestArchiveKey(archive));
  if (archive == "RWN") command += " --root " + KvTestShellQuote(KV_RWN_LOOSE_ROOT);
  const SKvToolRun packed = KvTestRunTool(command);
  if (packed.iExit != 0) return ::testing::AssertionFailure() << command << "\n" << packed.out;
  return ::testing::AssertionSuccess();
}
