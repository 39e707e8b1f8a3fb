// String tables from outside data: any bytes are either refused or loaded, and every lookup of a loaded
// table stays inside its image.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Language/KvLangID.h"
#include "Fuzz/FuzzGameHooks.h"
#include "Fuzz/FuzzQuiet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize) {
  KvFuzzSilenceProblemReports();
  if (uiSize > (1u << 20)) {
    return 0;
  }
  static bool s_bInitialized = false;
  if (!s_bInitialized) {
    KvLangID::initialize();
    s_bInitialized = true;
  }
  u8* pImage = static_cast<u8*>(KvAlignedAlloc(uiSize, 16));
  if (uiSize > 0) {
    memcpy(pImage, pData, uiSize);
  }
  if (KvLangID::loadStringTableFromMemory("Fuzz", pImage, static_cast<u32>(uiSize)) == 1) {
    const SStringTable* pTable = KvLangID::getTable(0);
    for (i32 i = 0; i < pTable->m_iNumPairs; ++i) {
      const u32 uiKey = static_cast<u32>(pTable->mp_piSortedKeys[i]);
      const wchar16* pText = KvLangID::findStringByHash(uiKey);
      if (pText == nullptr || KvStrLenW(pText) >= uiSize) {
        __builtin_trap();
      }
      wchar16 szDest[64];
      KvLangID::formatStringWithArg(szDest, 64, uiKey, u"arg");
    }
    KvLangID::unloadAllStringTables();
  }
  return 0;
}
