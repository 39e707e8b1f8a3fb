#include "Code/System/GAMEArchiveKeys.h"

#include "Corvane/Files/ClMagFileIO.h"

// Content/CMakeLists.txt reads the keys from here to pack the archives: keep one archive a line, written
// exactly as {"NAME", "key"}.
const SGameArchiveKey g_aGameArchiveKeys[] = {
    {"RWN", "q7Vd2mXe9LpR4tK"},
    {"RWK", "Hc3wZ8nB1sYf6Ju"},
    {"RWG", "e5TgM0rQ7xWa2Nv"},
    {nullptr, nullptr},
};

void GameSpecificRegisterArchiveKeys() {
  for (const SGameArchiveKey* pKey = g_aGameArchiveKeys; pKey->mp_pArchiveName != nullptr; ++pKey) {
    ClMagFileIO::setArchiveKey(pKey->mp_pArchiveName, pKey->mp_pKey);
  }
}
