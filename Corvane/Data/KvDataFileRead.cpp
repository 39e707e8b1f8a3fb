// Until the archive reader is part of the engine, data files are read as loose files: the path's "\"
// separators become "/" for the file system. This file is the only place that changes when the reads go
// through the archive reader (open, allocReadBuffers, read, closeFileHandle, close).
#include "Corvane/Data/KvDataFileRead.h"

#include <cstdio>
#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"

const char* KvGetDataRootPath() { return "./"; }

E_DATA_READ KvReadDataFile(const char* pPath, SDataFileRead* pRead) {
  *pRead = SDataFileRead{};
  char szDiskPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szDiskPath, pPath, sizeof(szDiskPath));
  for (char* p = szDiskPath; *p; ++p) {
    if (*p == '\\') {
      *p = '/';
    }
  }
  std::FILE* pFile = std::fopen(szDiskPath, "rb");
  if (pFile == nullptr) {
    return E_DATA_READ_CANNOT_OPEN;
  }
  long iSize = -1;
  if (std::fseek(pFile, 0, SEEK_END) == 0) {
    iSize = std::ftell(pFile);
  }
  if (iSize < 0 || iSize > 0x7FFFFFFF || std::fseek(pFile, 0, SEEK_SET) != 0) {
    std::fclose(pFile);
    return E_DATA_READ_FAILED;
  }
  u8* pBytes = static_cast<u8*>(KvAlignedAlloc(static_cast<size_t>(iSize), 16));
  if (pBytes == nullptr) {
    std::fclose(pFile);
    return E_DATA_READ_NO_BUFFER;
  }
  const size_t uiRead = std::fread(pBytes, 1, static_cast<size_t>(iSize), pFile);
  std::fclose(pFile);
  if (uiRead != static_cast<size_t>(iSize)) {
    KvAlignedFree(pBytes);
    return E_DATA_READ_FAILED;
  }
  pRead->mp_pBytes = pBytes;
  pRead->mp_uiSize = static_cast<u32>(iSize);
  pRead->mp_bHeld = true;
  return E_DATA_READ_OK;
}

void KvReleaseDataFile(SDataFileRead* pRead) {
  if (!pRead->mp_bHeld) {
    return;
  }
  KvAlignedFree(const_cast<u8*>(pRead->mp_pBytes));
  *pRead = SDataFileRead{};
}
