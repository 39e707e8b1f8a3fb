// magpack: packs, lists and extracts Mag archives, and prints name hashes.
//
//   magpack pack --name NAME --out DIR [--root DIR] [--manifest FILE] [--key KEY] [--depfile FILE] [--quiet]
//       Packs every file under --root (rules from the manifest) and the manifest's own "file" lines into
//       DIR/NAME_win32.mtc and DIR/NAME_win32.mdf (see MagPacker.h). --depfile writes the inputs as a make rule.
//   magpack list --dir DIR --name NAME [--root DIR] [--manifest FILE]
//       Loads the archive's table of contents with the engine's reader and prints one line per entry: name
//       hash, flags (C compressed, E encrypted), final, compressed and encrypted size, data offset, and the path
//       when --root or --manifest names it.
//   magpack extract --dir DIR --name NAME --path PATH [--key KEY] [--memory] [--out FILE]
//       Reads one entry through the engine's reader (the data file loaded whole with --memory) and writes it to
//       FILE or standard output. PATH is the path below the data root; "/" is taken as "\".
//   magpack check --dir DIR --name NAME [--key KEY]
//       Loads the archive with the engine's reader and reads every entry through it, from disk and with the
//       data file in memory: what the build packs is checked this way.
//   magpack hash TEXT...
//       Prints the name hash of each text as it stands: hex, signed decimal, text.
//   magpack --help
//       Prints the usage.
//
// Exit status 0 on success, 1 on a failure (with one line on standard error), 2 for bad usage.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/System/KvDebug.h"
#include "Tools/Common/ToolText.h"
#include "Tools/magpack/MagPacker.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* gc_pUSAGE =
    "usage: magpack pack --name NAME --out DIR [--root DIR] [--manifest FILE] [--key KEY] [--depfile FILE] [--quiet]\n"
    "       magpack list --dir DIR --name NAME [--root DIR] [--manifest FILE]\n"
    "       magpack extract --dir DIR --name NAME --path PATH [--key KEY] [--memory] [--out FILE]\n"
    "       magpack check --dir DIR --name NAME [--key KEY]\n"
    "       magpack hash TEXT...\n"
    "       magpack --help\n";

struct SOptions {
  std::map<std::string, std::string> values;
  std::map<std::string, bool> switches;
};

int usage(const std::string& problem) { return ToolUsageError("magpack", problem, gc_pUSAGE); }

int failure(const std::string& problem) {
  std::fprintf(stderr, "magpack: %s\n", problem.c_str());
  return 1;
}

// Options of the form --name value, and the given switches; false for anything else.
bool parseOptions(int argc, char** argv, const std::vector<std::string>& valueNames,
                  const std::vector<std::string>& switchNames, SOptions* pOptions, std::string* pProblem) {
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto isOneOf = [&](const std::vector<std::string>& names) {
      for (const std::string& name : names) {
        if (argument == "--" + name) return true;
      }
      return false;
    };
    if (isOneOf(switchNames)) {
      pOptions->switches[argument.substr(2)] = true;
    } else if (isOneOf(valueNames)) {
      if (i + 1 >= argc) {
        *pProblem = argument + " needs a value";
        return false;
      }
      pOptions->values[argument.substr(2)] = argv[++i];
    } else {
      *pProblem = "unknown argument [" + argument + "]";
      return false;
    }
  }
  return true;
}

std::string value(const SOptions& options, const std::string& name) {
  const auto it = options.values.find(name);
  return it != options.values.end() ? it->second : std::string();
}

std::string absolute(const std::string& path) { return path.empty() ? path : fs::absolute(path).string(); }

// An engine stop in the tool ends it with the report instead of a fault.
void stopHook(u32 /*uiAddress*/) {
  std::fprintf(stderr, "magpack: the engine stopped:\n%s", KvGetLastMessage());
  std::_Exit(1);
}

// Starts the engine's file layer with the archive folder as the data root.
bool startReader(const std::string& dir, std::string* pProblem) {
  KvSetStopHook(&stopHook);
  if (chdir(dir.c_str()) != 0) {
    *pProblem = "cannot enter [" + dir + "]";
    return false;
  }
  ClMutexLock::initializePool();
  KvInitializeDataPaths();
  ClFileIO::initialize();
  ClMagFileIO::initTOCPool();
  ClMagFileIO::initRefPool();
  return true;
}

void stopReader() {
  ClMagFileIO::shutdown();
  ClFileIO::shutdown();
}

bool gatherInputs(const SOptions& options, std::vector<SMagPackInput>* pInputs, std::string* pProblem) {
  SMagManifest manifest;
  const std::string manifestPath = value(options, "manifest");
  if (!manifestPath.empty() && !MagReadManifest(manifestPath, &manifest, pProblem)) {
    return false;
  }
  return MagGatherInputs(value(options, "root"), manifest, pInputs, pProblem);
}

bool writeDepfile(const std::string& depfile, const std::string& target, const SOptions& options,
                  const std::vector<SMagPackInput>& inputs) {
  std::ofstream file(depfile, std::ios::trunc);
  const auto escape = [](const std::string& path) {
    std::string escaped;
    for (char c : path) {
      if (c == ' ' || c == '#' || c == '\\') escaped += '\\';
      if (c == '$') escaped += '$';
      escaped += c;
    }
    return escaped;
  };
  file << escape(target) << ":";
  if (!value(options, "manifest").empty()) {
    file << " \\\n  " << escape(absolute(value(options, "manifest")));
  }
  for (const SMagPackInput& input : inputs) {
    file << " \\\n  " << escape(absolute(input.sourcePath));
  }
  file << "\n";
  return static_cast<bool>(file);
}

int pack(int argc, char** argv) {
  SOptions options;
  std::string problem;
  if (!parseOptions(argc, argv, {"name", "out", "root", "manifest", "key", "depfile"}, {"quiet"}, &options,
                    &problem)) {
    return usage(problem);
  }
  const std::string name = value(options, "name");
  const std::string outDir = value(options, "out");
  if (name.empty() || outDir.empty()) {
    return usage("pack needs --name and --out");
  }
  if (value(options, "root").empty() && value(options, "manifest").empty()) {
    return usage("pack needs --root or --manifest");
  }
  std::vector<SMagPackInput> inputs;
  if (!gatherInputs(options, &inputs, &problem)) {
    return failure(problem);
  }
  std::vector<SMagPackedEntry> packed;
  if (!MagWriteArchive(outDir, name, value(options, "key"), inputs, &packed, &problem)) {
    return failure(name + ": " + problem);
  }
  const std::string depfile = value(options, "depfile");
  if (!depfile.empty() && !writeDepfile(depfile, absolute(MagTOCFileName(outDir, name)), options, inputs)) {
    return failure("cannot write [" + depfile + "]");
  }
  if (!options.switches["quiet"]) {
    i32 iCompressed = 0;
    i32 iEncrypted = 0;
    for (const SMagPackedEntry& entry : packed) {
      iCompressed += entry.bCompressed ? 1 : 0;
      iEncrypted += entry.bEncrypted ? 1 : 0;
    }
    std::printf("%s: %zu entries (%d compressed, %d encrypted) in %s\n", name.c_str(), packed.size(), iCompressed,
                iEncrypted, MagDataFileName(outDir, name).c_str());
  }
  return 0;
}

int list(int argc, char** argv) {
  SOptions options;
  std::string problem;
  if (!parseOptions(argc, argv, {"dir", "name", "root", "manifest"}, {}, &options, &problem)) {
    return usage(problem);
  }
  const std::string name = value(options, "name");
  if (name.empty() || value(options, "dir").empty()) {
    return usage("list needs --dir and --name");
  }
  // Paths are known only from the sources the archive was made from.
  std::map<i32, std::string> knownPaths;
  if (!value(options, "root").empty() || !value(options, "manifest").empty()) {
    std::vector<SMagPackInput> inputs;
    options.values["root"] = absolute(value(options, "root"));
    options.values["manifest"] = absolute(value(options, "manifest"));
    if (!gatherInputs(options, &inputs, &problem)) {
      return failure(problem);
    }
    for (const SMagPackInput& input : inputs) {
      knownPaths[static_cast<i32>(KvStrHash(input.archivePath.c_str()))] = input.archivePath;
    }
  }
  if (!startReader(value(options, "dir"), &problem)) {
    return failure(problem);
  }
  // Listing decrypts nothing, so any key lets a table with encrypted entries load.
  ClMagFileIO::setArchiveKey(name.c_str(), "list");
  if (!ClMagFileIO::loadTOC(name.c_str())) {
    stopReader();
    return failure("archive [" + name + "] could not be loaded");
  }
  const ClMagTOC* pTOC = ClMagFileIO::findTOC(KvStrHash(name.c_str()));
  std::printf("%-10s %-11s %-2s %10s %10s %10s %10s  %s\n", "hash", "signed", "", "final", "compressed", "encrypted",
              "offset", "path");
  for (i32 i = 0; i < ClMagFileIO::getEntryCount(pTOC); ++i) {
    i32 iHash = 0;
    const ClMagDataInfo* pInfo = ClMagFileIO::getEntry(pTOC, i, &iHash);
    const auto known = knownPaths.find(iHash);
    std::printf("0x%08X %11d %c%c %10u %10u %10u %10u  %s\n", static_cast<u32>(iHash), iHash,
                pInfo->mp_uiCompressed ? 'C' : '-', pInfo->mp_uiEncrypted ? 'E' : '-', pInfo->mp_uiFinalSize,
                pInfo->mp_uiCompressedSize, pInfo->mp_uiEncryptedSize, pInfo->mp_uiDataOffset,
                known != knownPaths.end() ? known->second.c_str() : "?");
  }
  stopReader();
  return 0;
}

int extract(int argc, char** argv) {
  SOptions options;
  std::string problem;
  if (!parseOptions(argc, argv, {"dir", "name", "path", "key", "out"}, {"memory"}, &options, &problem)) {
    return usage(problem);
  }
  const std::string name = value(options, "name");
  std::string entryPath = value(options, "path");
  if (name.empty() || entryPath.empty() || value(options, "dir").empty()) {
    return usage("extract needs --dir, --name and --path");
  }
  const std::string outPath = absolute(value(options, "out"));
  if (!startReader(value(options, "dir"), &problem)) {
    return failure(problem);
  }
  ClMagFileIO::setArchiveKey(name.c_str(), value(options, "key").c_str());
  if (!ClMagFileIO::loadTOC(name.c_str()) ||
      (options.switches["memory"] && !ClMagFileIO::loadDataFile(KvStrHash(name.c_str())))) {
    stopReader();
    return failure("archive [" + name + "] could not be loaded");
  }
  // The path as the loaders build it: data root, then "\" separators throughout.
  std::string fullPath = std::string(KvGetBaseDataPath()) + entryPath;
  std::replace(fullPath.begin(), fullPath.end(), '/', '\\');
  ClMagTOC* pOwner = nullptr;
  if (ClMagFileIO::findOwningTOC(&pOwner, fullPath.c_str()) == nullptr) {
    stopReader();
    return failure("[" + entryPath + "] is not in archive [" + name + "]");
  }
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  i32 iResult = ClMagFileIO::open(fullPath.c_str(), &uiSize, &pRef);
  if (iResult == E_FILE_OK && !ClMagFileIO::allocReadBuffers(pRef, uiSize, 16)) {
    iResult = -1;
  }
  if (iResult == E_FILE_OK) {
    iResult = ClMagFileIO::read(pRef, uiSize);
  }
  bool bWritten = false;
  if (iResult == E_FILE_OK) {
    if (outPath.empty()) {
      bWritten = std::fwrite(pRef->mp_pDestinationBuffer, 1, uiSize, stdout) == uiSize;
    } else {
      std::ofstream file(outPath, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(pRef->mp_pDestinationBuffer), static_cast<std::streamsize>(uiSize));
      bWritten = static_cast<bool>(file);
    }
  }
  ClMagFileIO::close(pRef);
  stopReader();
  if (iResult != E_FILE_OK) {
    return failure("[" + entryPath + "] could not be read (code " + std::to_string(iResult) + ")");
  }
  return bWritten ? 0 : failure("cannot write the entry");
}

// Reads every entry of the loaded archive; the number that failed (the engine has said why).
i32 readEveryEntry(ClMagTOC* pTOC) {
  i32 iFailed = 0;
  for (i32 i = 0; i < ClMagFileIO::getEntryCount(pTOC); ++i) {
    i32 iHash = 0;
    const ClMagDataInfo* pInfo = ClMagFileIO::getEntry(pTOC, i, &iHash);
    u32 uiSize = 0;
    SMagRef* pRef = nullptr;
    i32 iResult = ClMagFileIO::openEntry(pTOC, pInfo, iHash, &uiSize, &pRef);
    if (iResult == E_FILE_OK) {
      iResult = ClMagFileIO::allocReadBuffers(pRef, uiSize, 16) ? ClMagFileIO::read(pRef, uiSize) : -1;
      ClMagFileIO::close(pRef);
    }
    if (iResult != E_FILE_OK) {
      std::fprintf(stderr, "magpack: entry 0x%08X could not be read (code %d)\n", static_cast<u32>(iHash), iResult);
      ++iFailed;
    }
  }
  return iFailed;
}

int check(int argc, char** argv) {
  SOptions options;
  std::string problem;
  if (!parseOptions(argc, argv, {"dir", "name", "key"}, {}, &options, &problem)) {
    return usage(problem);
  }
  const std::string name = value(options, "name");
  if (name.empty() || value(options, "dir").empty()) {
    return usage("check needs --dir and --name");
  }
  if (!startReader(value(options, "dir"), &problem)) {
    return failure(problem);
  }
  ClMagFileIO::setArchiveKey(name.c_str(), value(options, "key").c_str());
  const u32 uiHash = KvStrHash(name.c_str());
  i32 iFailed = 0;
  if (!ClMagFileIO::loadTOC(name.c_str())) {
    stopReader();
    return failure("archive [" + name + "] does not load with the engine's reader");
  }
  iFailed += readEveryEntry(ClMagFileIO::findTOC(uiHash));
  if (!ClMagFileIO::loadDataFile(uiHash)) {
    ++iFailed;
  } else {
    iFailed += readEveryEntry(ClMagFileIO::findTOC(uiHash));
  }
  stopReader();
  return iFailed == 0 ? 0 : failure("archive [" + name + "] does not read back whole with the engine's reader");
}

int hash(int argc, char** argv) {
  if (argc < 3) {
    return usage("hash needs a text");
  }
  for (int i = 2; i < argc; ++i) {
    const u32 uiHash = KvStrHash(argv[i]);
    std::printf("0x%08X %11d %s\n", uiHash, static_cast<i32>(uiHash), argv[i]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return usage("no command");
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h") {
    std::fputs(gc_pUSAGE, stdout);
    return 0;
  }
  if (command == "pack") return pack(argc, argv);
  if (command == "check") return check(argc, argv);
  if (command == "list") return list(argc, argv);
  if (command == "extract") return extract(argc, argv);
  if (command == "hash") return hash(argc, argv);
  return usage("unknown command [" + command + "]");
}
