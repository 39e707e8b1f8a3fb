// String tables from outside data: any bytes are either refused or loaded, and every lookup of a loaded
// table stays inside its image. A loaded table then answers the texts the game's screens ask for: each is
// there, or asking for it is the data stop (a fatal stop whose report names it); a text too long for where the
// game puts it is that stop too. Any other stop is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/System/KvDebug.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

// Texts the game asks for by identifier, and those it formats with numbers or a text.
const char* const gc_apGameKeys[] = {
    "mainmenu_press_start",  "catmode_start",      "mainmenu_storymode",        "mainmenu_marathonmode",
    "mainmenu_survivormode", "mainmenu_weeklymode", "mainmenu_survivormodeextreme", "results_mode",
    "results_level_ranking_pos", "options_value",   "MB_FMOD_ISSUE_TITLE",       "MB_DIRECTX_COULD_NOT_INIT",
};

void stopUnlessDataStop(const KvStopped& stop, const char* pKey) {
  const bool bNamed = std::strstr(KvGetLastMessage(), pKey) != nullptr ||
                      std::strstr(KvGetLastMessage(), "Truncating string!") != nullptr;
  if (stop.uiAddress != gc_uiSTOP_FATAL || !bNamed) {
    __builtin_trap();
  }
}

void askAsTheGameDoes(const char* pKey, u32 uiSize) {
  try {
    const wchar16* pText = KvLangID::getString(pKey);
    if (pText == nullptr || KvStrLenW(pText) >= uiSize) __builtin_trap();
  } catch (const KvStopped& stop) {
    if (KvLangID::findStringByHash(KvStrHash(pKey)) != nullptr) __builtin_trap();
    stopUnlessDataStop(stop, pKey);
    return;
  }
  const u32 uiKey = KvStrHash(pKey);
  wchar16 szDest[gc_iFORMAT_INT_DEST_LEN];
  try {
    KvLangID::formatStringInt(szDest, uiKey, -2147483647 - 1);
    KvLangID::formatStringInt2(szDest, 256, uiKey, 7, -42);
  } catch (const KvStopped& stop) {
    stopUnlessDataStop(stop, pKey);
  }
  KvLangID::formatStringWithArg(szDest, 64, uiKey, u"arg");
  KvLangID::formatStringWithNarrowArg(szDest, 16, uiKey, "a longer narrow argument");
}

}  // namespace

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
    for (const char* pKey : gc_apGameKeys) {
      askAsTheGameDoes(pKey, static_cast<u32>(uiSize));
    }
    KvLangID::unloadAllStringTables();
  }
  return 0;
}
