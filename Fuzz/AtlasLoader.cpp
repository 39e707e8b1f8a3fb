// Atlas tables (".atf") from outside data through the engine's loader, ClAtlasMgr::actualLoadAtlasSync, in a data
// root of the process's own that holds four small pages "A_0" to "A_3": any bytes are refused with the loader's
// fatal error (caught here), or give an atlas whose every entry the signed-descending search finds at its own
// index, on a loaded page, with its record inside the file. Any other stop (an assertion) is a fault.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Corvane/ADT/ClSortedHashIndex.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/KvDebug.h"
#include "Fuzz/FuzzDataRoot.h"
#include "Fuzz/FuzzQuiet.h"
#include "Fuzz/FuzzRecordingDevice.h"
#include "Fuzz/FuzzMaxLen.h"
#include "Tests/Support/GameHooksDoubles.h"

KV_FUZZ_MAX_LEN(1048576)

namespace {

// A 2 x 2 32-bit BMP.
void writePage(const std::filesystem::path& path) {
  u8 abFile[54 + 16] = {'B', 'M'};
  const u32 aWords[][2] = {{2, sizeof(abFile)}, {10, 54}, {14, 40}, {18, 2}, {22, 2}, {34, 16}};
  for (const auto& word : aWords) std::memcpy(abFile + word[0], &word[1], 4);
  const u16 auiPlanesAndBits[] = {1, 32};
  std::memcpy(abFile + 26, auiPlanesAndBits, 4);
  std::memset(abFile + 54, 0x7F, 16);
  KvFuzzWriteInput(path.string(), abFile, sizeof(abFile));
}

std::string startAtlasRoot() {
  const std::filesystem::path root = KvFuzzStartDataRoot("grindlow-fuzz-atlas");
  for (int i = 0; i < 4; ++i) writePage(root / ("A_" + std::to_string(i) + ".bmp"));
  ClTextureMgr::initObjectList();
  ClGraphics::mp_pDevice = KvFuzzRecordingDevice();
  return (root / "Fuzz.atf").string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize) {
  KvFuzzSilenceProblemReports();
  static const std::string s_path = startAtlasRoot();
  if (ClGraphics::mp_pDevice == nullptr) return 0;
  KvFuzzWriteInput(s_path, pData, uiSize);
  try {
    ClAtlasMgr::actualLoadAtlasSync("Fuzz", nullptr, "FuzzAtlas");
  } catch (const KvStopped& stop) {
    if (stop.uiAddress != gc_uiSTOP_FATAL || ClAtlasMgr::findAtlas(KvStrHash("FuzzAtlas")) != nullptr) __builtin_trap();
    if (ClMagFileIO::getOpenRefCount() != 0) __builtin_trap();
    return 0;
  }
  const SAtlasFileInfo* pAtlas = ClAtlasMgr::findAtlas(KvStrHash("FuzzAtlas"));
  if (pAtlas == nullptr) __builtin_trap();
  const uintptr_t uiStart = reinterpret_cast<uintptr_t>(pAtlas->mp_pData);
  // Every record inside the file; the table's hashes gathered once for the reference search (a search per
  // entry through searchEntryIndex copies the table each time, quadratic in a large atlas).
  std::vector<i32> hashes;
  for (i32 i = 0; i < pAtlas->mp_daEntries.getCount(); ++i) {
    const SAtlasEntry& entry = pAtlas->mp_daEntries[i];
    const uintptr_t uiRecord = reinterpret_cast<uintptr_t>(entry.mp_pAtlasTexInfo);
    if (uiRecord < uiStart || uiRecord + sizeof(SAtlasTexInfo) > uiStart + pAtlas->mp_uiDataSize) __builtin_trap();
    if (entry.mp_pTexture == nullptr) __builtin_trap();
    hashes.push_back(static_cast<i32>(entry.mp_pAtlasTexInfo->mp_uiNameHash));
  }
  // Entries may share a hash: the look-up answers the one the binary search meets.
  const i32 iCount = static_cast<i32>(hashes.size());
  for (i32 i = 0; i < iCount; ++i) {
    const i32 iHash = hashes[static_cast<size_t>(i)];
    const i32 iSearched = KvSortedHashSearch(hashes.data(), iCount, iHash, E_SORTED_HASH_DESCENDING);
    const u32 uiHash = static_cast<u32>(iHash);
    if (iSearched < 0 || ClAtlasMgr::getAtlasEntry("FuzzAtlas", uiHash) != &pAtlas->mp_daEntries[iSearched]) {
      __builtin_trap();
    }
  }
  ClAtlasMgr::terminate();
  if (ClMagFileIO::getOpenRefCount() != 0) __builtin_trap();
  return 0;
}
