// The texture manager: every texture loaded from the game data, by the name hash of the name it was asked for.
// It finds the file's extension itself: "<name>.bmp", "<name>.png", "<name>.tga", then the name as it stands, in
// the archives or as loose files. Localized UI images come from the language folder.
//
// Main thread only. The manager owns the textures of its table (1024 slots); callers keep the pointers until the
// texture is unloaded or the manager shuts down.
#pragma once

#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iTEXTURE_TABLE_SLOTS = 1024;

class ClTextureMgr {
 public:
  // Makes the table (once).
  static void initObjectList();
  // Destroys every texture of the table; the table stays.
  static void terminateObjectList();
  // terminateObjectList, then frees the table.
  static void terminate();

  // The cached texture, or the first file of the probing order loaded with a full mip chain unless bNoMipmaps.
  // Null, with nothing reported (the thread's last problem forgotten), when no file exists; null, with the problem
  // reported, when a file exists but gives no texture (nothing stays in the table then).
  static ClTexture* loadTexture(const char* pName, u32 bNoMipmaps = 0);
  // The same from the language folder (data root + "Lang\<code>\"), without mipmaps, cached under the name.
  static ClTexture* loadLocalizedTexture(const char* pName);
  // Destroys the texture of that name (asserting "!ClUI::hasUITextureBeenLoaded(pcFilename)" when the UI holds the
  // same name); an unknown name does nothing.
  static void unloadTexture(const char* pcFilename);
  // The cached texture, or null.
  static ClTexture* findTexture(const char* pName);
  // Why the last load of pName from the data root (bLocalized false) or the language folder answered null, for a
  // line that names it: the problem the load reported, which names where the file lives on disk, or, when no file
  // was found, the tables of contents and the disk it was looked for in. Answers pText, cut to uiSize bytes.
  static const char* describeNotLoaded(const char* pName, bool bLocalized, char* pText, u32 uiSize);

  static ClSimpleHashTable mp_textureTable;

 private:
  static ClTexture* loadFrom(const char* pFolder, const char* pName, u32 bNoMipmaps);
};
