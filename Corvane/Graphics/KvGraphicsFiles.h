// What the graphics loaders (effects, textures, atlases) share to read their files: the path of a data file and
// a whole-file read through the archive reader. Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

struct SMagRef;

// pOut (KV_MAX_PATH_LEN) = folder + name + extension (each may be empty), every "/" turned into "\".
void KvBuildGraphicsPath(char* pOut, const char* pFolder, const char* pName, const char* pExtension);

enum E_GRAPHICS_READ : i32 {
  E_GRAPHICS_READ_OK = 0,
  E_GRAPHICS_READ_OPEN_FAILED,
  E_GRAPHICS_READ_ALLOC_FAILED,
  E_GRAPHICS_READ_READ_FAILED,
};

// Opens, allocates (16-byte aligned) and reads the whole file, decrypting and decompressing as its entry says. On
// success only the disk file is closed: the reference, whose destination buffer holds the bytes, is the caller's
// (ClMagFileIO::close frees it). On failure the disk file and the reference are closed and *ppRef is null;
// *piCode holds the archive reader's code of the failed step (0 for the allocation).
E_GRAPHICS_READ KvReadGraphicsFile(const char* pPath, SMagRef** ppRef, u32* puiSize, i32* piCode);
