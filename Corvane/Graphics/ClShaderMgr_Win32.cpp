// The shader manager's platform part: the synchronous load of an effect and the device-loss notifications.
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/KvGraphicsFiles.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/D3D9/D3DX9.h"

ClShader* ClShaderMgr::createShader(const char* pShaderName) {
  KV_ASSERT_MSG(pShaderName != nullptr, "pShaderName");
  void* pMemory = KvAlignedAlloc(sizeof(ClShader), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pNewShader");
  ClShader* pNewShader = new (pMemory) ClShader();

  char szFolder[KV_MAX_PATH_LEN];
  KvStrLCpy(szFolder, KvGetBaseDataPath(), sizeof(szFolder));
  KvStrLCat(szFolder, "Shaders/", sizeof(szFolder));
  char szPath[KV_MAX_PATH_LEN];
  KvBuildGraphicsPath(szPath, szFolder, pShaderName, ".fxo");
  u32 uiSize = 0;
  i32 iCode = 0;
  const E_GRAPHICS_READ eRead = KvReadGraphicsFile(szPath, &pNewShader->mp_pFileRef, &uiSize, &iCode);
  ID3DXEffect* pEffect = nullptr;
  char szWhy[gc_uiMAX_MESSAGE_LEN + 1] = "";
  if (eRead == E_GRAPHICS_READ_OK) {
    ClShader::createEffect(pNewShader->mp_pFileRef->mp_pDestinationBuffer, uiSize, szPath, &pEffect, szWhy,
                           sizeof(szWhy));
  }
  if (pEffect == nullptr) {
    // Nothing of the shader outlives the stop (a test's stop hook returns to its caller).
    pNewShader->~ClShader();
    KvAlignedFree(pNewShader);
    switch (eRead) {
      case E_GRAPHICS_READ_OPEN_FAILED:
        KV_DATA_FATALF("Could not open shader data file [%s]! (%s)", pShaderName, ClMagFileIO::getLastProblem());
      case E_GRAPHICS_READ_ALLOC_FAILED:
        KV_FATALF("Could not allocate memory for shader data file [%s]!", pShaderName);
      case E_GRAPHICS_READ_READ_FAILED:
        KV_DATA_FATALF("Could not read from shader data file [%s]! (%s)", pShaderName, ClMagFileIO::getLastProblem());
      case E_GRAPHICS_READ_OK:
        KV_DATA_FATALF("Could not create the effect of shader [%s]! (%s)", pShaderName, szWhy);
    }
  }
  pNewShader->initFromEffect(pEffect);
  mp_shaderTable.insertPtr(KvStrHash(pShaderName), pNewShader);
  ++mp_uiGeneration;
  return pNewShader;
}

void ClShaderMgr::onLostDevice() {
  if (!mp_shaderTable.isAllocated()) return;
  mp_shaderTable.forEachValue([](uintptr_t uiValue, i32) {
    ID3DXEffect* pEffect = reinterpret_cast<ClShader*>(uiValue)->getEffect();
    if (pEffect != nullptr) pEffect->OnLostDevice();
  });
}

void ClShaderMgr::onResetDevice() {
  ++mp_uiGeneration;
  if (!mp_shaderTable.isAllocated()) return;
  mp_shaderTable.forEachValue([](uintptr_t uiValue, i32) {
    ID3DXEffect* pEffect = reinterpret_cast<ClShader*>(uiValue)->getEffect();
    if (pEffect != nullptr) pEffect->OnResetDevice();
  });
}
