// Until the archive reader is part of the engine, data files are read as loose files through a reader with
// the archive reader's calls: the path's "\" separators become "/" for the file system. Going through the
// archive reader means replacing SLooseFileReader below by its calls (KvReadDataFileWith<...>).
#include "Corvane/Data/KvDataFileRead.h"

#include <cstdio>
#include <new>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"

namespace {

struct SLooseFileReader {
  struct Ref {
    std::FILE* pFile;
    u8* pBuffer;
  };

  static i32 open(const char* pPath, u32* puiSize, Ref** ppRef) {
    char szDiskPath[KV_MAX_PATH_LEN];
    KvStrLCpy(szDiskPath, pPath, sizeof(szDiskPath));
    for (char* p = szDiskPath; *p; ++p) {
      if (*p == '\\') {
        *p = '/';
      }
    }
    std::FILE* pFile = std::fopen(szDiskPath, "rb");
    if (pFile == nullptr) {
      return 1;
    }
    long iSize = -1;
    if (std::fseek(pFile, 0, SEEK_END) == 0) {
      iSize = std::ftell(pFile);
    }
    Ref* pRef = static_cast<Ref*>(KvAlignedAlloc(sizeof(Ref), 16));
    if (iSize < 0 || iSize > 0x7FFFFFFF || std::fseek(pFile, 0, SEEK_SET) != 0 || pRef == nullptr) {
      KvAlignedFree(pRef);
      std::fclose(pFile);
      return 1;
    }
    *ppRef = new (pRef) Ref{pFile, nullptr};
    *puiSize = static_cast<u32>(iSize);
    return 0;
  }

  static i32 allocReadBuffers(Ref* pRef, u32 uiBytes, u32 uiAlignment) {
    pRef->pBuffer = static_cast<u8*>(KvAlignedAlloc(uiBytes, uiAlignment));
    return pRef->pBuffer != nullptr ? 1 : 0;
  }

  static i32 read(Ref* pRef, u32 uiBytes) {
    return std::fread(pRef->pBuffer, 1, uiBytes, pRef->pFile) == uiBytes ? 0 : 9;
  }

  static i32 closeFileHandle(Ref* pRef) {
    if (pRef->pFile != nullptr) {
      std::fclose(pRef->pFile);
      pRef->pFile = nullptr;
    }
    return 0;
  }

  static i32 close(Ref* pRef) {
    closeFileHandle(pRef);
    KvAlignedFree(pRef->pBuffer);
    KvAlignedFree(pRef);
    return 1;
  }

  static const u8* destination(Ref* pRef) { return pRef->pBuffer; }
};

}  // namespace

const char* KvGetDataRootPath() { return "./"; }

E_DATA_READ KvReadDataFile(const char* pPath, SDataFileRead* pRead) {
  return KvReadDataFileWith<SLooseFileReader>(pPath, pRead);
}
