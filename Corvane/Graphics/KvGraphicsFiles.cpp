#include "Corvane/Graphics/KvGraphicsFiles.h"

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClMagFileIO.h"

void KvBuildGraphicsPath(char* pOut, const char* pFolder, const char* pName, const char* pExtension) {
  pOut[0] = '\0';
  KvStrLCat(pOut, pFolder, KV_MAX_PATH_LEN);
  KvStrLCat(pOut, pName, KV_MAX_PATH_LEN);
  KvStrLCat(pOut, pExtension, KV_MAX_PATH_LEN);
  for (char* p = pOut; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
}

E_GRAPHICS_READ KvReadGraphicsFile(const char* pPath, SMagRef** ppRef, u32* puiSize, i32* piCode) {
  *ppRef = nullptr;
  *puiSize = 0;
  *piCode = 0;
  SMagRef* pRef = nullptr;
  u32 uiSize = 0;
  const i32 iOpen = ClMagFileIO::open(pPath, &uiSize, &pRef);
  if (iOpen != E_FILE_OK) {
    *piCode = iOpen;
    return E_GRAPHICS_READ_OPEN_FAILED;
  }
  if (!ClMagFileIO::allocReadBuffers(pRef, uiSize, gc_uiMAG_ALIGNMENT)) {
    ClMagFileIO::closeFileHandle(pRef);
    ClMagFileIO::close(pRef);
    return E_GRAPHICS_READ_ALLOC_FAILED;
  }
  const i32 iRead = ClMagFileIO::read(pRef, uiSize);
  if (iRead != E_FILE_OK) {
    ClMagFileIO::closeFileHandle(pRef);
    ClMagFileIO::close(pRef);
    *piCode = iRead;
    return E_GRAPHICS_READ_READ_FAILED;
  }
  ClMagFileIO::closeFileHandle(pRef);
  *ppRef = pRef;
  *puiSize = uiSize;
  return E_GRAPHICS_READ_OK;
}
