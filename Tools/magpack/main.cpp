// magpack: packs, lists and extracts Mag archives, and prints name hashes.
//
//   magpack pack --name NAME --out DIR [--root DIR] [--manifest FILE] [--key KEY] [--depfile FILE] [--quiet]
//       Packs every file under --root (rules from the manifest) and the manifest's own "file" lines into
//       DIR/NAME_win32.mtc and DIR/NAME_win32.mdf (see MagPacker.h). --depfile writes the inputs as a make rule.
//       The pair is replaced both or neither: when the new one cannot be written whole, the old one stays as it was.
//   magpack list --dir DIR --name NAME [--root DIR] [--manifest FILE]
//       Loads the archive's table of contents with the engine's reader and prints one line per entry: name
//       hash, flags (C compressed, E encrypted), final, compressed and encrypted size, data offset, and the path
//       when --root or --manifest names it. A table the engine refuses (an impossible entry count, an offset or size
//       outside its file, a name hash out of order or twice, entries that overlap, an entry outside the data file)
//       fails the command, naming the file; so it does for extract and check, which load the table the same way.
//   magpack extract --dir DIR --name NAME --path PATH [--key KEY] [--memory] [--out FILE]
//       Reads one entry through the engine's reader (the data file loaded whole with --memory) and writes it to
//       FILE or standard output. PATH is the path below the data root; "/" is taken as "\". The key is needed
//       when the entry is encrypted.
//   magpack check --dir DIR --name NAME [--key KEY]
//       Loads the archive with the engine's reader and reads every entry through it, from disk and with the
//       data file in memory: what the build packs is checked this way. The key is needed when an entry is
//       encrypted.
//   magpack hash [--] TEXT...
//       Prints the name hash of each text as it stands: hex, signed decimal, text. Texts after "--" may start
//       with '-'.
//   magpack --help
//       Prints the usage.
//
// Exit status 0 on success, 1 on a failure (with one line on standard error), 2 for bad usage (a missing option, a
// key of the wrong length, a name too long for the reader's paths, no key for what is to be decrypted).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClCrypto.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/System/KvDebug.h"
#include "Tools/Common/ClTool.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/magpack/MagPacker.h"
#include "Corvane/System/KvSystemGameHooks.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* gc_pUSAGE =
    "usage: magpack pack --name NAME --out DIR [--root DIR] [--manifest FILE] [--key KEY] [--depfile FILE] [--quiet]\n"
    "       magpack list --dir DIR --name NAME [--root DIR] [--manifest FILE]\n"
    "       magpack extract --dir DIR --name NAME --path PATH [--key KEY] [--memory] [--out FILE]\n"
    "       magpack check --dir DIR --name NAME [--key KEY]\n"
    "       magpack hash [--] TEXT...\n"
    "       magpack --help\n";

// Every option of every command; each command accepts its own few.
struct SOptions {
  std::string name;
  std::string out;
  std::string root;
  std::string manifest;
  std::string key;
  std::string depfile;
  std::string dir;
  std::string path;
  bool bQuiet = false;
  bool bMemory = false;
};

const ClTool gc_tool("magpack", gc_pUSAGE);

std::string absolute(const std::string& path) { return path.empty() ? path : fs::absolute(path).string(); }

// The engine runs here without the game: no job rows, and an engine stop ends the tool with the report instead
// of a fault.
class CToolSystemHooks final : public ClSystemGameHooks {
 public:
  ClJobType* gameJobTypes(i32* piCount) override {
    *piCount = 0;
    return nullptr;
  }
  void stopping(u32 /*uiStopAddress*/) override {
    std::fprintf(stderr, "magpack: the engine stopped:\n%s", KvGetLastMessage());
    std::_Exit(1);
  }
  void endForCondition(E_KV_STOP_CAUSE /*eCause*/) override {}
};
CToolSystemHooks g_toolHooks;

// Starts the engine's file layer with the archive folder as the data root.
bool startReader(const std::string& dir, std::string* pProblem) {
  KvSetSystemGameHooks(g_toolHooks);
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

// Stops the reader and fails with what it said of the archive, which names its file (relative to the folder).
int failToLoad(const SOptions& options, const std::string& what) {
  const std::string problem = ClMagFileIO::getLastProblem();
  stopReader();
  return gc_tool.failTool("archive [" + options.name + "] in [" + options.dir + "] " + what + ": " + problem);
}

// The longest archive name whose file paths the reader can build: data root, "Mag/", NAME, "_win32.mtc".
size_t maxNameLength() {
  return KV_MAX_PATH_LEN - 1 - std::strlen(KvGetBaseDataPath()) - std::strlen(gc_pMAG_SUBFOLDER) -
         std::strlen(gc_pMAG_PLATFORM_SUFFIX) - std::strlen(gc_pMAG_TOC_EXTENSION);
}

// What is wrong with the name and key a command was given, or "": bad usage, never left for the engine to stop on.
std::string badNameOrKey(const SOptions& options) {
  if (options.name.size() > maxNameLength()) {
    return "--name is " + std::to_string(options.name.size()) + " characters, more than the " +
           std::to_string(maxNameLength()) + " an archive's name can be";
  }
  u8 aucKey[gc_iCRYPTO_KEY_SIZE];
  if (!options.key.empty() && !ClCrypto::makeKey(options.key.c_str(), aucKey)) {
    return "--key must be 1 to 15 characters";
  }
  return "";
}

// Starts the reader in the archive's folder and loads its table of contents, whole and checked; 0, or the exit code
// after saying why not. Without --key the table is loaded with a key that decrypts nothing: the commands that would
// decrypt with it say first that the key is missing (needsKey), so that the tool, not the reader, says so.
int loadArchive(const SOptions& options, const std::string& what) {
  std::string problem;
  if (!startReader(options.dir, &problem)) {
    return gc_tool.failTool(problem);
  }
  ClMagFileIO::setArchiveKey(options.name.c_str(), options.key.empty() ? "no key given" : options.key.c_str());
  if (!ClMagFileIO::loadTOC(options.name.c_str())) {
    return failToLoad(options, what);
  }
  return 0;
}

// Bad usage (the problem), after stopping the reader, when the command is to decrypt without a key; else 0.
int needsKey(const SOptions& options, bool bDecrypts, const std::string& problem) {
  if (!bDecrypts || !options.key.empty()) {
    return 0;
  }
  stopReader();
  return gc_tool.usageError(problem);
}

bool gatherInputs(const SOptions& options, std::vector<SMagPackInput>* pInputs, std::string* pProblem) {
  SMagManifest manifest;
  const std::string manifestPath = options.manifest;
  if (!manifestPath.empty() && !MagReadManifest(manifestPath, &manifest, pProblem)) {
    return false;
  }
  return MagGatherInputs(options.root, manifest, pInputs, pProblem);
}

// The inputs as a make rule for the archive's table of contents.
std::string depfileText(const std::string& target, const SOptions& options, const std::vector<SMagPackInput>& inputs) {
  const auto escape = [](const std::string& path) {
    std::string escaped;
    for (char c : path) {
      if (c == ' ' || c == '#' || c == '\\') escaped += '\\';
      if (c == '$') escaped += '$';
      escaped += c;
    }
    return escaped;
  };
  std::string text = escape(target) + ":";
  if (!options.manifest.empty()) {
    text += " \\\n  " + escape(absolute(options.manifest));
  }
  for (const SMagPackInput& input : inputs) {
    text += " \\\n  " + escape(absolute(input.sourcePath));
  }
  return text + "\n";
}

int pack(const SOptions& options) {
  std::string problem;
  const std::string name = options.name;
  const std::string outDir = options.out;
  if (name.empty() || outDir.empty()) {
    return gc_tool.usageError("pack needs --name and --out");
  }
  if (options.root.empty() && options.manifest.empty()) {
    return gc_tool.usageError("pack needs --root or --manifest");
  }
  std::vector<SMagPackInput> inputs;
  if (!gatherInputs(options, &inputs, &problem)) {
    return gc_tool.failTool(problem);
  }
  std::vector<SMagPackedEntry> packed;
  std::vector<u8> toc;
  std::vector<u8> data;
  if (!MagBuildArchive(name, options.key, inputs, &packed, &toc, &data, &problem)) {
    return gc_tool.failTool(name + ": " + problem);
  }
  // A failed write is said as the file's own line: "<file>: error: <why>".
  if (!MagWriteArchiveFiles(outDir, name, toc, data, &problem)) {
    return ClTool::fail(problem);
  }
  const std::string depfile = options.depfile;
  if (!depfile.empty()) {
    const std::string text = depfileText(absolute(MagTOCFileName(outDir, name)), options, inputs);
    if (std::string why; !ToolWriteFile(depfile, text.data(), text.size(), &why)) {
      return ClTool::fail(depfile + ": error: " + why);
    }
  }
  if (!options.bQuiet) {
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

int list(const SOptions& given) {
  SOptions options = given;
  std::string problem;
  const std::string name = options.name;
  if (name.empty() || options.dir.empty()) {
    return gc_tool.usageError("list needs --dir and --name");
  }
  // Paths are known only from the sources the archive was made from.
  std::map<i32, std::string> knownPaths;
  if (!options.root.empty() || !options.manifest.empty()) {
    std::vector<SMagPackInput> inputs;
    options.root = absolute(options.root);
    options.manifest = absolute(options.manifest);
    if (!gatherInputs(options, &inputs, &problem)) {
      return gc_tool.failTool(problem);
    }
    for (const SMagPackInput& input : inputs) {
      knownPaths[static_cast<i32>(KvStrHash(input.archivePath.c_str()))] = input.archivePath;
    }
  }
  // Listing decrypts nothing: no key is needed.
  if (const int iExit = loadArchive(options, "could not be loaded")) {
    return iExit;
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

int extract(const SOptions& options) {
  const std::string name = options.name;
  std::string entryPath = options.path;
  if (name.empty() || entryPath.empty() || options.dir.empty()) {
    return gc_tool.usageError("extract needs --dir, --name and --path");
  }
  const std::string outPath = absolute(options.out);
  if (const int iExit = loadArchive(options, "could not be loaded")) {
    return iExit;
  }
  if (options.bMemory && !ClMagFileIO::loadDataFile(KvStrHash(name.c_str()))) {
    return failToLoad(options, "could not be loaded");
  }
  // The path as the loaders build it: data root, then "\" separators throughout.
  std::string fullPath = std::string(KvGetBaseDataPath()) + entryPath;
  std::replace(fullPath.begin(), fullPath.end(), '/', '\\');
  ClMagTOC* pOwner = nullptr;
  const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pOwner, fullPath.c_str());
  if (pInfo == nullptr) {
    stopReader();
    return gc_tool.failTool("[" + entryPath + "] is not in archive [" + name + "]");
  }
  if (const int iExit =
          needsKey(options, pInfo->mp_uiEncrypted != 0, "extract needs --key: [" + entryPath + "] is encrypted")) {
    return iExit;
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
  std::string why;
  if (iResult == E_FILE_OK) {
    if (outPath.empty()) {
      bWritten = std::fwrite(pRef->mp_pDestinationBuffer, 1, uiSize, stdout) == uiSize;
      why = "cannot write the entry";
    } else {
      bWritten = ToolWriteFile(outPath, pRef->mp_pDestinationBuffer, uiSize, &why);
    }
  }
  ClMagFileIO::close(pRef);
  stopReader();
  if (iResult != E_FILE_OK) {
    return gc_tool.failTool("[" + entryPath + "] could not be read (code " + std::to_string(iResult) + ")");
  }
  if (bWritten) return 0;
  return outPath.empty() ? gc_tool.failTool(why) : ClTool::fail(options.out + ": error: " + why);
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

int check(const SOptions& options) {
  const std::string name = options.name;
  if (name.empty() || options.dir.empty()) {
    return gc_tool.usageError("check needs --dir and --name");
  }
  if (const int iExit = loadArchive(options, "does not load with the engine's reader")) {
    return iExit;
  }
  const u32 uiHash = KvStrHash(name.c_str());
  const ClMagTOC* pTOC = ClMagFileIO::findTOC(uiHash);
  bool bEncrypted = false;
  for (i32 i = 0; i < ClMagFileIO::getEntryCount(pTOC); ++i) {
    i32 iHash = 0;
    bEncrypted = bEncrypted || ClMagFileIO::getEntry(pTOC, i, &iHash)->mp_uiEncrypted != 0;
  }
  if (const int iExit =
          needsKey(options, bEncrypted, "check needs --key: archive [" + name + "] has encrypted entries")) {
    return iExit;
  }
  i32 iFailed = 0;
  iFailed += readEveryEntry(ClMagFileIO::findTOC(uiHash));
  if (!ClMagFileIO::loadDataFile(uiHash)) {
    ++iFailed;
  } else {
    iFailed += readEveryEntry(ClMagFileIO::findTOC(uiHash));
  }
  stopReader();
  if (iFailed != 0) return gc_tool.failTool("archive [" + name + "] does not read back whole with the engine's reader");
  return 0;
}

int hash(const std::vector<std::string>& texts) {
  if (texts.empty()) {
    return gc_tool.usageError("hash needs a text");
  }
  for (const std::string& text : texts) {
    const u32 uiHash = KvStrHash(text.c_str());
    std::printf("0x%08X %11d %s\n", uiHash, static_cast<i32>(uiHash), text.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SOptions o;
  const SToolOption name = {"--name", &o.name, nullptr}, out = {"--out", &o.out, nullptr},
                    root = {"--root", &o.root, nullptr}, manifest = {"--manifest", &o.manifest, nullptr},
                    key = {"--key", &o.key, nullptr}, depfile = {"--depfile", &o.depfile, nullptr},
                    dir = {"--dir", &o.dir, nullptr}, path = {"--path", &o.path, nullptr},
                    quiet = {"--quiet", nullptr, &o.bQuiet}, memory = {"--memory", nullptr, &o.bMemory};
  const std::vector<SToolCommand> commands = {
      {"pack", {name, out, root, manifest, key, depfile, quiet}, 0},
      {"list", {dir, name, root, manifest}, 0},
      {"extract", {dir, name, path, key, out, memory}, 0},
      {"check", {dir, name, key}, 0},
      {"hash", {}, SIZE_MAX},
  };
  return gc_tool.main(argc, argv, commands, [&](const SToolCommandLine& line) {
    if (const std::string bad = badNameOrKey(o); !bad.empty()) return gc_tool.usageError(bad);
    if (line.command == "pack") return pack(o);
    if (line.command == "list") return list(o);
    if (line.command == "extract") return extract(o);
    if (line.command == "check") return check(o);
    return hash(line.inputs);
  });
}
