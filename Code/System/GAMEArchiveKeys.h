// The keys of the game's Mag archives. The game's start-up registers them with the archive reader before it
// loads the first table of contents; the build packs the sample archives with the same keys.
#pragma once

struct SGameArchiveKey {
  const char* mp_pArchiveName;
  const char* mp_pKey;  // 1 to 15 characters
};

// The game's archives and their keys, ending with a null name.
extern const SGameArchiveKey g_aGameArchiveKeys[];

// Registers every key of g_aGameArchiveKeys with ClMagFileIO::setArchiveKey.
void GameSpecificRegisterArchiveKeys();
