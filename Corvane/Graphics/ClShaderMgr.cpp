#include "Corvane/Graphics/ClShaderMgr.h"

#include <cstring>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

ClSimpleHashTable ClShaderMgr::mp_shaderTable;
ClSimpleHashTable ClShaderMgr::mp_globalVarTable;
// The variable pool is one of the engine's fixed globals (Program/KvEngineGlobals_Win32.cpp).
u32 ClShaderMgr::mp_bAllShadersLoaded = 0;
u32 ClShaderMgr::mp_uiGeneration = 0;
SAsyncAssetEntry* ClShaderMgr::mp_pLastRequestedShaderEntry = nullptr;

namespace {

// The record a setter writes, or the setter's fatal error.
SShaderGlobalVar* varToSet(const char* pName) {
  SShaderGlobalVar* pVar = ClShaderMgr::findGlobalVar(pName);
  if (pVar == nullptr) {
    KV_FATALF("Set: cannot find global shader variable '%s' in shaders?!", pName);
  }
  return pVar;
}

void typeMismatch(const char* pName) { KV_FATALF("Global shader variable '%s' type mismatch!", pName); }

}  // namespace

void ClShaderMgr::initialize() {
  if (!mp_shaderTable.isAllocated()) {
    mp_shaderTable.initialize(gc_iSHADER_TABLE_SLOTS);
  }
  if (!mp_globalVarTable.isAllocated()) {
    mp_globalVarTable.initialize(gc_iGLOBAL_VAR_TABLE_SLOTS);
  }
  initGlobalVarPool();
  mp_pLastRequestedShaderEntry = nullptr;
  mp_bAllShadersLoaded = 0;
  ++mp_uiGeneration;
}

void ClShaderMgr::initGlobalVarPool() { mp_globalVarPool.initialize(); }

void ClShaderMgr::terminate() {
  mp_bAllShadersLoaded = 0;
  if (mp_globalVarTable.isAllocated()) {
    mp_globalVarTable.forEachValue(
        [](uintptr_t uiValue, i32) { mp_globalVarPool.free(reinterpret_cast<SShaderGlobalVar*>(uiValue)); });
    mp_globalVarTable.terminate();
  }
  while (mp_globalVarPool.getCount() > 0) {
    mp_globalVarPool.free(mp_globalVarPool.get(0));
  }
  if (mp_shaderTable.isAllocated()) {
    mp_shaderTable.forEachValue([](uintptr_t uiValue, i32) {
      ClShader* pShader = reinterpret_cast<ClShader*>(uiValue);
      pShader->release();
      pShader->~ClShader();
      KvAlignedFree(pShader);
    });
    mp_shaderTable.terminate();
  }
  mp_pLastRequestedShaderEntry = nullptr;
  ++mp_uiGeneration;
}

ClShader* ClShaderMgr::findShader(u32 uiNameHash) {
  return mp_shaderTable.isAllocated() ? mp_shaderTable.findPtr<ClShader>(uiNameHash) : nullptr;
}

ClShader* ClShaderMgr::getShader(const char* pShaderName) {
  ClShader* pShader = findShader(KvStrHash(pShaderName));
  if (pShader == nullptr) {
    KV_FATALF("ClShaderMgr::getShader() -> Could not find shader [%s]!", pShaderName);
  }
  return pShader;
}

ClShader* ClShaderMgr::getShaderByHash(u32 uiNameHash) {
  ClShader* pShader = findShader(uiNameHash);
  if (pShader == nullptr) {
    KV_FATALF("ClShaderMgr::getShader() -> Could not find shader [0x%8X]!", uiNameHash);
  }
  return pShader;
}

void ClShaderMgr::registerShader(const char* pShaderName, ClShader* pShader) {
  KV_ASSERT_MSG(pShader != nullptr, "pNewShader");
  mp_shaderTable.insertPtr(KvStrHash(pShaderName), pShader);
  ++mp_uiGeneration;
}

void ClShaderMgr::registerGlobalVar(const char* pName, i32 eType, i32 iArraySize) {
  KV_ASSERT_MSG(iArraySize <= MAX_SHADERVAR_ARRAYSIZE, "iArraySize <= MAX_SHADERVAR_ARRAYSIZE");
  // 512 bytes hold 8 matrices: a longer matrix array would be read past its storage at every begin.
  KV_ASSERTF(eType != E_SHADER_VAR_MATRIX || iArraySize <= MAX_SHADERVAR_MATRIX_ARRAYSIZE,
             "Global shader variable '%s': a matrix array holds at most %d elements", pName,
             MAX_SHADERVAR_MATRIX_ARRAYSIZE);
  SShaderGlobalVar* pVar = findGlobalVar(pName);
  if (pVar != nullptr) {
    if (pVar->mp_eType != eType) {
      KV_FATALF("Global shader variable '%s' is used with mismatching types!", pName);
    }
    return;
  }
  KV_ASSERTF(!mp_globalVarPool.isFull(), "ClShaderMgr::mp_globalVarPool: all %d global shader variables are in use",
             gc_iMAX_GLOBAL_SHADER_VARS);
  pVar = mp_globalVarPool.alloc();
  std::memset(pVar, 0, sizeof(*pVar));
  pVar->mp_eType = eType;
  pVar->mp_iArraySize = iArraySize;
  pVar->mp_bInitialized = 0;
  mp_globalVarTable.insertPtr(KvStrHash(pName), pVar);
}

SShaderGlobalVar* ClShaderMgr::findGlobalVar(const char* pName) {
  return mp_globalVarTable.isAllocated() ? mp_globalVarTable.findPtr<SShaderGlobalVar>(KvStrHash(pName)) : nullptr;
}

SShaderGlobalVar* ClShaderMgr::getGlobalVar(const char* pName) {
  SShaderGlobalVar* pVar = findGlobalVar(pName);
  if (pVar == nullptr) {
    KV_FATALF("Cannot find global shader variable '%s' in shaders?!", pName);
  }
  if (!pVar->mp_bInitialized) {
    KV_FATALF("Global shader variable '%s' was never initialized!", pName);
  }
  return pVar;
}

void ClShaderMgr::setGlobalFloatArray(const char* pName, const f32* pValues, i32 iCount) {
  SShaderGlobalVar* pVar = varToSet(pName);
  if (pVar->mp_eType != E_SHADER_VAR_FLOAT || iCount < 0 || pVar->mp_iArraySize < iCount) {
    typeMismatch(pName);
  }
  std::memcpy(&pVar->mp_afValues[0][0], pValues, static_cast<size_t>(iCount) * sizeof(f32));
  pVar->mp_bInitialized = 1;
}

void ClShaderMgr::setGlobalVector3Array(const char* pName, const f32* pVectors4, i32 iCount) {
  SShaderGlobalVar* pVar = varToSet(pName);
  // The count is held to the array size too, so no write can pass the value's storage.
  if ((pVar->mp_eType != E_SHADER_VAR_FLOAT3 && pVar->mp_eType != E_SHADER_VAR_FLOAT4) || iCount < 0 ||
      pVar->mp_iArraySize < iCount) {
    typeMismatch(pName);
  }
  for (i32 i = 0; i < iCount; ++i) {
    pVar->mp_afValues[i][0] = pVectors4[i * 4 + 0];
    pVar->mp_afValues[i][1] = pVectors4[i * 4 + 1];
    pVar->mp_afValues[i][2] = pVectors4[i * 4 + 2];
    pVar->mp_afValues[i][3] = KV_ZERO;
  }
  pVar->mp_bInitialized = 1;
}

void ClShaderMgr::setGlobalColor(const char* pName, u32 uiColor) {
  SShaderGlobalVar* pVar = varToSet(pName);
  if (pVar->mp_eType != E_SHADER_VAR_FLOAT4) {
    typeMismatch(pName);
  }
  pVar->mp_afValues[0][0] = static_cast<f32>((uiColor >> 16) & 0xFF) / 255.0f;
  pVar->mp_afValues[0][1] = static_cast<f32>((uiColor >> 8) & 0xFF) / 255.0f;
  pVar->mp_afValues[0][2] = static_cast<f32>(uiColor & 0xFF) / 255.0f;
  pVar->mp_afValues[0][3] = static_cast<f32>((uiColor >> 24) & 0xFF) / 255.0f;
  pVar->mp_bInitialized = 1;
}
