// Feeds Mag archive pairs to the engine's reader: the table of contents through loadTOC, then every entry
// through open, allocReadBuffers and read, with the data file on disk or loaded whole.
//
// Input: byte 0 flags (bit 0: load the data file into memory; bit 1: read 64 bytes more than each entry's
// size), bytes 1-4 the length L of the table of contents (little-endian, clipped to what follows), then L bytes
// of table of contents, then the data file. Both are written as FZZ_win32.mtc/.mdf into a private data root
// (an empty part is left out, as a missing file). The archive key is "fuzz-key". The data root is an absolute
// temp folder rather than the current folder, which stays where libFuzzer reads its corpus.
//
// Seeds in Fuzz/corpus/MagArchive/ were made by packing a small folder (a plain, a compressed, an encrypted and
// a compressed-and-encrypted entry) with magpack --key fuzz-key and joining the two files as above.
//
// Every failure reachable from file bytes must be a result code: an engine assertion is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Support/KvScratchFolder.h"

namespace {

// Entries larger than this are skipped: a compressed entry may claim any final size, and allocating it is
// not a fault of the reader.
constexpr u32 gc_uiMAX_ENTRY_SIZE = 4u << 20;
constexpr i32 gc_iMAX_ENTRIES_READ = 64;

const char* const gc_apPROBE_PATHS[] = {"Text\\Plain.txt", "Text\\Packed.txt", "Text\\Sealed.bin", "Text\\Both.txt",
                                        "Missing.txt"};

std::string g_root;

// A path under the data root as the loaders build it: "\" separators throughout.
std::string underRoot(const char* pPath) {
  std::string full = g_root + pPath;
  for (char& c : full) {
    if (c == '/') c = '\\';
  }
  return full;
}

bool initialize() {
  const std::string folder = KvMakeScratchFolder("grindlow-fuzz-mag");
  if (folder.empty()) {
    std::abort();
  }
  g_root = folder + "/";
  ClMutexLock::initializePool();
  ClFileIO::initialize();
  KvInitializeDataPaths();
  KvStrLCpy(g_szBaseDataPath, g_root.c_str(), KV_MAX_PATH_LEN);
  ClMagFileIO::initTOCPool();
  ClMagFileIO::initRefPool();
  ClMagFileIO::setArchiveKey("FZZ", "fuzz-key");
  return true;
}

void writePart(const char* pName, const uint8_t* pBytes, size_t uiSize) {
  const std::string path = g_root + pName;
  if (uiSize == 0) {
    std::remove(path.c_str());
    return;
  }
  FILE* pFile = std::fopen(path.c_str(), "wb");
  if (pFile == nullptr) std::abort();
  std::fwrite(pBytes, 1, uiSize, pFile);
  std::fclose(pFile);
}

void readOne(SMagRef* pRef, u32 uiSize, u32 uiExtra) {
  if (ClMagFileIO::allocReadBuffers(pRef, uiSize + uiExtra, 16)) {
    if (ClMagFileIO::read(pRef, uiSize + uiExtra) == E_FILE_OK && uiSize + uiExtra > 0) {
      // Touch the first and last byte the reader handed out.
      volatile u8 uiFirst = pRef->mp_pDestinationBuffer[0];
      volatile u8 uiLast = pRef->mp_pDestinationBuffer[uiSize + uiExtra - 1];
      (void)uiFirst;
      (void)uiLast;
    }
  }
  ClMagFileIO::close(pRef);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  static const bool s_bInitialized = initialize();
  (void)s_bInitialized;
  if (uiSize < 5) {
    return 0;
  }
  const uint8_t uiFlags = pData[0];
  u32 uiTOCSize;
  std::memcpy(&uiTOCSize, pData + 1, 4);
  const size_t uiRest = uiSize - 5;
  if (uiTOCSize > uiRest) uiTOCSize = static_cast<u32>(uiRest);
  writePart("FZZ_win32.mtc", pData + 5, uiTOCSize);
  writePart("FZZ_win32.mdf", pData + 5 + uiTOCSize, uiRest - uiTOCSize);

  const u32 uiHash = KvStrHash("FZZ");
  if (ClMagFileIO::loadTOC("FZZ")) {
    if (uiFlags & 1) {
      ClMagFileIO::loadDataFile(uiHash);
    }
    const u32 uiExtra = (uiFlags & 2) ? 64 : 0;
    ClMagTOC* pTOC = ClMagFileIO::findTOC(uiHash);
    const i32 iCount = ClMagFileIO::getEntryCount(pTOC);
    for (i32 i = 0; i < iCount && i < gc_iMAX_ENTRIES_READ; ++i) {
      i32 iNameHash = 0;
      const ClMagDataInfo* pInfo = ClMagFileIO::getEntry(pTOC, i, &iNameHash);
      if (pInfo->mp_uiFinalSize > gc_uiMAX_ENTRY_SIZE) continue;
      u32 uiEntrySize = 0;
      SMagRef* pRef = nullptr;
      if (ClMagFileIO::openEntry(pTOC, pInfo, iNameHash, &uiEntrySize, &pRef) == E_FILE_OK) {
        readOne(pRef, uiEntrySize, uiExtra);
      }
    }
    for (const char* pProbe : gc_apPROBE_PATHS) {
      const std::string path = underRoot(pProbe);
      ClMagTOC* pOwner = nullptr;
      const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pOwner, path.c_str());
      if (pInfo == nullptr || pInfo->mp_uiFinalSize > gc_uiMAX_ENTRY_SIZE) continue;
      u32 uiEntrySize = 0;
      SMagRef* pRef = nullptr;
      if (ClMagFileIO::open(path.c_str(), &uiEntrySize, &pRef) == E_FILE_OK) {
        readOne(pRef, uiEntrySize, 0);
      }
    }
  }
  ClMagFileIO::shutdown();
  return 0;
}
