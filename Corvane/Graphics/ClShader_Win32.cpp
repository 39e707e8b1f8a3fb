// ClShader over ID3DXEffect: the parameter scan, begin/end with the globals, textures, transforms and per-object
// values, and the asynchronous load.
#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClShader.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Graphics/KvGraphicsFiles.h"
#include "Corvane/Math/ClWorldObject.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/D3D9/D3DX9.h"

namespace {

constexpr const char* gc_apSEMANTICS[NUM_E_SHADER_SEMANTIC] = {"WORLDVIEWPROJ", "VIEWPROJ", "WORLD", "WORLDINVERSE",
                                                                "BONEPALETTE"};

struct SSamplerName {
  const char* pName;
  i32 iSampler;
};
constexpr SSamplerName gc_aSAMPLER_NAMES[] = {
    {"diffuse", 0},   {"texture00", 0}, {"refraction", 1}, {"texture01", 1}, {"specular", 2},  {"texture02", 2},
    {"texture03", 3}, {"texture04", 4}, {"texture05", 5},  {"texture06", 6}, {"texture07", 7},
};

// The type code of a float scalar or vector (2 to 5), a 4-column row-major matrix (6) when allowed, else 0.
i32 typeCodeOf(const D3DXPARAMETER_DESC& desc, bool bMatrixAllowed) {
  if (desc.Type != D3DXPT_FLOAT) return 0;
  if (desc.Class == D3DXPC_SCALAR) return E_SHADER_VAR_FLOAT;
  if (desc.Class == D3DXPC_VECTOR && desc.Columns >= 2 && desc.Columns <= 4) {
    return E_SHADER_VAR_FLOAT2 + static_cast<i32>(desc.Columns) - 2;
  }
  if (bMatrixAllowed && desc.Class == D3DXPC_MATRIX_ROWS && desc.Columns == 4) return E_SHADER_VAR_MATRIX;
  return 0;
}

D3DXMATRIX deviceTransform(D3DTRANSFORMSTATETYPE eState) {
  D3DXMATRIX matrix{};
  ClGraphics::mp_pDevice->GetTransform(eState, &matrix);
  return matrix;
}

void onShaderLoaded(SAsyncAssetEntry* pEntry, void* pUser) {
  KV_ASSERT_MSG(pUser != nullptr, "pShader");
  ClShader* pShader = static_cast<ClShader*>(pUser);
  ID3DXEffect* pEffect = nullptr;
  char szWhy[gc_uiMAX_MESSAGE_LEN + 1];
  if (ClShader::createEffect(pEntry->mp_pData, pEntry->mp_uiDataSize, pEntry->mp_szFileName, &pEffect, szWhy,
                             sizeof(szWhy))) {
    pShader->initFromEffect(pEffect);
  } else {
    KvPrintProblem("Could not create the effect of shader file [%s]! (%s)", pEntry->mp_szFileName, szWhy);
  }
  if (pEntry == ClShaderMgr::mp_pLastRequestedShaderEntry) {
    ClShaderMgr::mp_bAllShadersLoaded = 1;
  }
}

void onShaderFailed(SAsyncAssetEntry*, void* pUser, i32, i32) { KV_ASSERT_MSG(pUser != nullptr, "pShader"); }

void onShaderUnused(SAsyncAssetEntry*, void* pUser) { KV_ASSERT_MSG(pUser != nullptr, "pShader"); }

}  // namespace

ClShader::ClShader()
    : mp_pOverrideShader(nullptr), mp_pFileRef(nullptr), mp_pAsyncRequest(nullptr), mp_pEffect(nullptr) {
  std::memset(mp_szOverrideName, 0, sizeof(mp_szOverrideName));
  std::memset(&mp_semanticBindings, 0, sizeof(mp_semanticBindings));
  std::memset(&mp_customPerObjParams, 0, sizeof(mp_customPerObjParams));
  std::memset(&mp_texParams, 0, sizeof(mp_texParams));
  std::memset(&mp_globalParams, 0, sizeof(mp_globalParams));
}

ClShader::~ClShader() { release(); }

bool ClShader::createEffect(const void* pBytes, u32 uiSize, const char* pPath, ID3DXEffect** ppEffect, char* pWhy,
                            u32 uiWhySize) {
  *ppEffect = nullptr;
  ID3DXBuffer* pErrors = nullptr;
  const HRESULT hr = D3DXCreateEffect(ClGraphics::mp_pDevice, pBytes, uiSize, nullptr, nullptr,
                                      D3DXFX_LARGEADDRESSAWARE, nullptr, ppEffect, &pErrors);
  if (SUCCEEDED(hr) && *ppEffect != nullptr) {
    return true;
  }
  char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
  KvSNPrintf(pWhy, uiWhySize, "%s: %s", ClMagFileIO::describeLocation(pPath, szWhere, sizeof(szWhere)),
             pErrors != nullptr ? static_cast<const char*>(pErrors->GetBufferPointer()) : "the effect was not made");
  if (pErrors != nullptr) {
    pErrors->Release();
  }
  return false;
}

bool ClShader::initFromEffect(ID3DXEffect* pEffect) {
  KV_ASSERT_MSG(pEffect != nullptr, "pEffect");
  mp_pEffect = pEffect;
  scanParameters();
  return true;
}

bool ClShader::load(const char* pName) {
  char szFolder[KV_MAX_PATH_LEN];
  KvStrLCpy(szFolder, KvGetBaseDataPath(), sizeof(szFolder));
  KvStrLCat(szFolder, "Shaders/", sizeof(szFolder));
  char szPath[KV_MAX_PATH_LEN];
  KvBuildGraphicsPath(szPath, szFolder, pName, ".fxo");
  // The asynchronous reader hands entries over as they are stored: an entry stored compressed or encrypted is read
  // through the synchronous path, which decrypts and decompresses it, instead of reaching D3DX undecoded.
  ClMagTOC* pTOC = nullptr;
  const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pTOC, szPath);
  if (pInfo != nullptr && (pInfo->mp_uiCompressed != 0 || pInfo->mp_uiEncrypted != 0)) {
    u32 uiSize = 0;
    i32 iCode = 0;
    if (KvReadGraphicsFile(szPath, &mp_pFileRef, &uiSize, &iCode) != E_GRAPHICS_READ_OK) {
      KvPrintProblem("Could not read from shader data file [%s]! (code %d: %s)", pName, iCode,
                     ClMagFileIO::getLastProblem());
      return false;
    }
    ID3DXEffect* pEffect = nullptr;
    char szWhy[gc_uiMAX_MESSAGE_LEN + 1];
    if (createEffect(mp_pFileRef->mp_pDestinationBuffer, uiSize, szPath, &pEffect, szWhy, sizeof(szWhy))) {
      initFromEffect(pEffect);
    } else {
      KvPrintProblem("Could not create the effect of shader [%s]! (%s)", pName, szWhy);
    }
    // Loaded at once: the flag waits only for a request still in the queue.
    const SAsyncAssetEntry* pLast = ClShaderMgr::mp_pLastRequestedShaderEntry;
    if (pLast == nullptr || pLast->mp_bLoadedCallbackCalled != 0) {
      ClShaderMgr::mp_bAllShadersLoaded = 1;
    }
    return pEffect != nullptr;
  }
  mp_pAsyncRequest = ClAsyncAssetLoaderMgr::requestAsset(szPath, this, &onShaderLoaded, &onShaderFailed,
                                                         &onShaderUnused);
  if (mp_pAsyncRequest != nullptr) {
    ClShaderMgr::mp_pLastRequestedShaderEntry = mp_pAsyncRequest;
  }
  return mp_pAsyncRequest != nullptr;
}

bool ClShader::release() {
  if (mp_pEffect != nullptr) {
    mp_pEffect->Release();
    mp_pEffect = nullptr;
  }
  if (mp_pFileRef != nullptr) {
    ClMagFileIO::close(mp_pFileRef);
    mp_pFileRef = nullptr;
  }
  if (mp_pAsyncRequest != nullptr) {
    if (ClShaderMgr::mp_pLastRequestedShaderEntry == mp_pAsyncRequest) {
      ClShaderMgr::mp_pLastRequestedShaderEntry = nullptr;
    }
    ClAsyncAssetLoaderMgr::releaseAsset(mp_pAsyncRequest);
    mp_pAsyncRequest = nullptr;
  }
  return true;
}

void ClShader::scanParameters() {
  // 1. Transform semantics, in their order.
  mp_semanticBindings.mp_iNum = 0;
  for (i32 iKind = 0; iKind < NUM_E_SHADER_SEMANTIC; ++iKind) {
    D3DXHANDLE hParam = mp_pEffect->GetParameterBySemantic(nullptr, gc_apSEMANTICS[iKind]);
    if (hParam != nullptr) {
      mp_semanticBindings.mp_aBindings[mp_semanticBindings.mp_iNum++] = SSemanticBinding{iKind, hParam};
    }
  }
  D3DXEFFECT_DESC effectDesc{};
  mp_pEffect->GetDesc(&effectDesc);

  // 2. Global variables. Every count is checked before its record is written.
  mp_globalParams.mp_iNum = 0;
  for (UINT i = 0; i < effectDesc.Parameters; ++i) {
    D3DXHANDLE hParam = mp_pEffect->GetParameter(nullptr, i);
    D3DXPARAMETER_DESC desc{};
    mp_pEffect->GetParameterDesc(hParam, &desc);
    if (desc.Semantic == nullptr || std::strcmp(desc.Semantic, "GLOBAL") != 0) continue;
    KV_ASSERT_MSG(std::strlen(desc.Name) < MAX_GLOBAL_NAMELEN, "strlen(paramDesc.Name) < MAX_GLOBAL_NAMELEN");
    KV_ASSERT_MSG(mp_globalParams.mp_iNum < MAX_PARAMGLOBAL, "mp_globalParams.mp_iNum < MAX_PARAMGLOBAL");
    const i32 eType = typeCodeOf(desc, true);
    if (eType == 0) {
      KV_FATALF("Unrecognized global shader variable type for '%s'", desc.Name);
    }
    SGlobalParam& record = mp_globalParams.mp_aParams[mp_globalParams.mp_iNum++];
    KvStrLCpy(record.mp_szName, desc.Name, sizeof(record.mp_szName));
    record.mp_hParam = hParam;
    ClShaderMgr::registerGlobalVar(desc.Name, eType, desc.Elements > 0 ? static_cast<i32>(desc.Elements) : 1);
  }

  // 3. Per-object parameters.
  mp_customPerObjParams.mp_iNum = 0;
  for (UINT i = 0; i < effectDesc.Parameters; ++i) {
    D3DXHANDLE hParam = mp_pEffect->GetParameter(nullptr, i);
    D3DXPARAMETER_DESC desc{};
    mp_pEffect->GetParameterDesc(hParam, &desc);
    if (desc.Semantic == nullptr || std::strcmp(desc.Semantic, "PEROBJ") != 0) continue;
    KV_ASSERT_MSG(std::strlen(desc.Name) < MAX_CUSTOM_PARAM_NAME_LEN, "strlen(paramDesc.Name) < MAX_CUSTOM_PARAM_NAME_LEN");
    KV_ASSERT_MSG(mp_customPerObjParams.mp_iNum < MAX_CUSTOM_PARAM_PER_SHADER,
                  "mp_customPerObjParams.mp_iNum < MAX_CUSTOM_PARAM_PER_SHADER");
    const i32 eType = typeCodeOf(desc, false);
    if (eType == 0) {
      KV_FATALF("Unrecognized per-obj shader variable type for '%s'", desc.Name);
    }
    SCustomPerObjParam& record = mp_customPerObjParams.mp_aParams[mp_customPerObjParams.mp_iNum++];
    record.mp_eType = eType;
    record.mp_iNumElements = static_cast<i32>(desc.Elements);
    KvStrLCpy(record.mp_szName, desc.Name, sizeof(record.mp_szName));
    record.mp_hParam = hParam;
  }

  // 4. Textures by the string value of their annotations; a parameter may be recorded once per matching annotation.
  mp_texParams.mp_iNumTextures = 0;
  for (UINT i = 0; i < effectDesc.Parameters; ++i) {
    D3DXHANDLE hParam = mp_pEffect->GetParameter(nullptr, i);
    D3DXPARAMETER_DESC desc{};
    mp_pEffect->GetParameterDesc(hParam, &desc);
    for (UINT j = 0; j < desc.Annotations; ++j) {
      D3DXHANDLE hAnnotation = mp_pEffect->GetAnnotation(hParam, j);
      D3DXPARAMETER_DESC annotationDesc{};
      mp_pEffect->GetParameterDesc(hAnnotation, &annotationDesc);
      LPCSTR pValue = nullptr;
      if (FAILED(mp_pEffect->GetString(hAnnotation, &pValue)) || pValue == nullptr) continue;
      for (const SSamplerName& sampler : gc_aSAMPLER_NAMES) {
        if (std::strcmp(pValue, sampler.pName) != 0) continue;
        KV_ASSERT_MSG(mp_texParams.mp_iNumTextures < MAX_TEXTURES_PER_SET,
                      "mp_texParams.mp_iNumTextures < MAX_TEXTURES_PER_SET");
        mp_texParams.mp_aParams[mp_texParams.mp_iNumTextures++] = STexParam{sampler.iSampler, hParam};
        break;
      }
    }
  }
}

void ClShader::begin() {
  UINT uiPasses = 0;
  mp_pEffect->Begin(&uiPasses, 0);
  KV_ASSERT_MSG(uiPasses == 1, "uiPasses == 1");
  mp_pEffect->BeginPass(0);
  for (i32 i = 0; i < mp_globalParams.mp_iNum; ++i) {
    const SGlobalParam& param = mp_globalParams.mp_aParams[i];
    const SShaderGlobalVar* pVar = ClShaderMgr::getGlobalVar(param.mp_szName);
    const UINT uiCount = static_cast<UINT>(pVar->mp_iArraySize);
    switch (pVar->mp_eType) {
      case E_SHADER_VAR_FLOAT:
        mp_pEffect->SetFloatArray(param.mp_hParam, &pVar->mp_afValues[0][0], uiCount);
        break;
      case E_SHADER_VAR_FLOAT2:
      case E_SHADER_VAR_FLOAT3:
      case E_SHADER_VAR_FLOAT4: {
        const auto* pVectors = reinterpret_cast<const D3DXVECTOR4*>(pVar->mp_afValues);
        if (uiCount < 2) {
          mp_pEffect->SetVector(param.mp_hParam, pVectors);
        } else {
          mp_pEffect->SetVectorArray(param.mp_hParam, pVectors, uiCount);
        }
        break;
      }
      case E_SHADER_VAR_MATRIX: {
        const auto* pMatrices = reinterpret_cast<const D3DXMATRIX*>(pVar->mp_afValues);
        if (uiCount < 2) {
          mp_pEffect->SetMatrix(param.mp_hParam, pMatrices);
        } else {
          mp_pEffect->SetMatrixArray(param.mp_hParam, pMatrices, uiCount);
        }
        break;
      }
      default:
        KV_FATAL("Invalid global shader variable type");
    }
  }
  if (mp_globalParams.mp_iNum > 0) {
    commitChanges();
  }
}

void ClShader::end() {
  mp_pEffect->EndPass();
  mp_pEffect->End();
}

void ClShader::commitChanges() { mp_pEffect->CommitChanges(); }

void ClShader::setTexture(i32 iSamplerIndex, ClTextureBase* pTexture) {
  for (i32 i = 0; i < mp_texParams.mp_iNumTextures; ++i) {
    if (mp_texParams.mp_aParams[i].mp_iSamplerIndex == iSamplerIndex) {
      ClTexture* pD3DTexture = static_cast<ClTexture*>(pTexture);
      mp_pEffect->SetTexture(mp_texParams.mp_aParams[i].mp_hParam,
                             pD3DTexture != nullptr ? pD3DTexture->getD3DTexture() : nullptr);
      return;
    }
  }
  KV_FATALF("Texture in slot 'sampler%02d' is not defined in shader, but is set in the SIGNATURE!", iSamplerIndex);
}

void ClShader::setTransforms(const ClWorldObject* pObjectTransform) {
  const ClWorldObject& object = pObjectTransform != nullptr ? *pObjectTransform : g_defaultObjectTransform;
  ClGraphics::pushObjectTransform(object.getWorldTransform(), kv_vector3{KV_ONE, KV_ONE, KV_ONE});
  for (i32 i = 0; i < mp_semanticBindings.mp_iNum; ++i) {
    const SSemanticBinding& binding = mp_semanticBindings.mp_aBindings[i];
    if (binding.mp_eKind == E_SHADER_SEMANTIC_WORLDVIEWPROJ) {
      const D3DXMATRIX projection = deviceTransform(D3DTS_PROJECTION);
      const D3DXMATRIX view = deviceTransform(D3DTS_VIEW);
      const D3DXMATRIX world = deviceTransform(D3DTS_WORLD);
      D3DXMATRIX worldView;
      D3DXMatrixMultiply(&worldView, &world, &view);
      D3DXMATRIX worldViewProjection;
      D3DXMatrixMultiply(&worldViewProjection, &worldView, &projection);
      mp_pEffect->SetMatrix(binding.mp_hParam, &worldViewProjection);
    } else if (binding.mp_eKind == E_SHADER_SEMANTIC_WORLD) {
      const D3DXMATRIX world = deviceTransform(D3DTS_WORLD);
      mp_pEffect->SetMatrix(binding.mp_hParam, &world);
    }
  }
  ClGraphics::popObjectTransform();
}

void ClShader::setPerObjectParams(const SShaderPerObjectParamList* pList) {
  if (pList == nullptr) {
    return;
  }
  for (i32 i = 0; i < mp_customPerObjParams.mp_iNum; ++i) {
    const SCustomPerObjParam& param = mp_customPerObjParams.mp_aParams[i];
    for (i32 j = 0; j < pList->mp_iNum && j < MAX_PEROBJ_LIST_ITEMS; ++j) {
      const SShaderPerObjectParam& item = pList->mp_aParams[j];
      if (std::strncmp(item.mp_szName, param.mp_szName, MAX_CUSTOM_PARAM_NAME_LEN) != 0) continue;
      KV_ASSERT_MSG(item.mp_eType == param.mp_eType, "Shader variable type mismatch");
      const UINT uiCount = static_cast<UINT>(item.mp_iNumElements);
      switch (item.mp_eType) {
        case E_SHADER_VAR_FLOAT:
          KV_ASSERT_MSG(item.mp_iNumElements >= 0 && item.mp_iNumElements <= MAX_PEROBJ_VALUE_VECTORS * 4,
                        "a per-object list item holds at most 64 floats");
          mp_pEffect->SetFloatArray(param.mp_hParam, &item.mp_afValues[0][0], uiCount);
          break;
        case E_SHADER_VAR_FLOAT2:
        case E_SHADER_VAR_FLOAT3:
        case E_SHADER_VAR_FLOAT4: {
          KV_ASSERT_MSG(item.mp_iNumElements >= 0 && item.mp_iNumElements <= MAX_PEROBJ_VALUE_VECTORS,
                        "a per-object list item holds at most 16 vectors");
          const auto* pVectors = reinterpret_cast<const D3DXVECTOR4*>(item.mp_afValues);
          if (uiCount > 1) {
            mp_pEffect->SetVectorArray(param.mp_hParam, pVectors, uiCount);
          } else {
            mp_pEffect->SetVector(param.mp_hParam, pVectors);
          }
          break;
        }
        default:
          KV_FATAL("Invalid Per-Object shader variable type");
      }
    }
  }
}
