// Atlas tables (".atf") from outside data: any bytes are refused by the engine's checks with a reason, or every
// record lies inside the file on a texture the atlas has, and the engine's signed-descending search finds each
// record's hash at its own index.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Fuzz/FuzzQuiet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize) {
  KvFuzzSilenceProblemReports();
  if (uiSize > (1u << 20)) {
    return 0;
  }
  // The archive reader hands files over 16-byte aligned.
  std::vector<std::uint32_t> aligned(uiSize / 4 + 4, 0);
  std::memcpy(aligned.data(), pData, uiSize);
  const u8* pImage = reinterpret_cast<const u8*>(aligned.data());
  char szReason[256] = "";
  if (!ClAtlasMgr::checkAtlasImage(pImage, static_cast<u32>(uiSize), szReason, sizeof(szReason))) {
    if (szReason[0] == '\0') __builtin_trap();
    return 0;
  }
  SAtlasFileHeader header;
  std::memcpy(&header, pImage, sizeof(header));
  SAtlasFileInfo info{};
  info.mp_pData = pImage;
  info.mp_uiDataSize = static_cast<u32>(uiSize);
  info.mp_daEntries.initialize(4);
  for (i32 i = 0; i < header.mp_iNumEntries; ++i) {
    u32 uiOffset;
    std::memcpy(&uiOffset, pImage + header.mp_uiEntryTableOffset + 4u * static_cast<u32>(i), 4);
    const SAtlasTexInfo* pRecord = reinterpret_cast<const SAtlasTexInfo*>(pImage + uiOffset);
    if (pRecord->mp_uiTextureIndex >= static_cast<u32>(header.mp_iNumTextures)) __builtin_trap();
    info.mp_daEntries.append(SAtlasEntry{pRecord, nullptr});
  }
  for (i32 i = 0; i < header.mp_iNumEntries; ++i) {
    if (ClAtlasMgr::findEntryIndex(&info, info.mp_daEntries[i].mp_pAtlasTexInfo->mp_uiNameHash) != i) __builtin_trap();
  }
  info.mp_daEntries.terminate();
  return 0;
}
