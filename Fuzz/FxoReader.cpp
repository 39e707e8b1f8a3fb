// Compiled effects (".fxo") from outside data: any bytes are refused by the reader with a reason, or give an effect
// whose description writes and reads back the same, whose GLSL texts can be composed, and which D3DXCreateEffect
// turns into an effect (on the recording back end: no OpenGL) that answers its parameter queries and runs its
// passes with values set.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Fuzz/FuzzQuiet.h"
#include "Fuzz/FuzzRecordingDevice.h"
#include "Platform/D3D9/D3DXEffectFile.h"
#include "Fuzz/FuzzMaxLen.h"

KV_FUZZ_MAX_LEN(1048576)

namespace {

void abortUnless(bool bCondition) {
  if (!bCondition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize) {
  KvFuzzSilenceProblemReports();
  SD3DXEffectDescription effect;
  std::string error;
  if (!D3DXEffectFileRead(pData, uiSize, &effect, &error)) {
    abortUnless(!error.empty());
    return 0;
  }
  const std::vector<BYTE> written = D3DXEffectFileWrite(effect);
  SD3DXEffectDescription again;
  abortUnless(D3DXEffectFileRead(written.data(), written.size(), &again, &error));
  abortUnless(D3DXEffectFileWrite(again) == written);
  size_t uiText = 0;
  for (UINT i = 0; i < effect.shaders.size(); ++i) uiText += D3DXEffectComposeGLSL(effect, i).size();
  abortUnless(uiText > 0 || effect.shaders.empty());

  IDirect3DDevice9* pDevice = KvFuzzRecordingDevice();
  ID3DXEffect* pEffect = nullptr;
  if (pDevice == nullptr || FAILED(D3DXCreateEffect(pDevice, pData, static_cast<UINT>(uiSize), nullptr, nullptr,
                                                    D3DXFX_LARGEADDRESSAWARE, nullptr, &pEffect, nullptr))) {
    return 0;
  }
  D3DXEFFECT_DESC desc{};
  pEffect->GetDesc(&desc);
  const float afValues[64 * 16] = {1.0f};
  for (UINT i = 0; i < desc.Parameters; ++i) {
    D3DXHANDLE hParam = pEffect->GetParameter(nullptr, i);
    D3DXPARAMETER_DESC paramDesc{};
    pEffect->GetParameterDesc(hParam, &paramDesc);
    for (UINT j = 0; j < paramDesc.Annotations; ++j) {
      LPCSTR pValue = nullptr;
      pEffect->GetString(pEffect->GetAnnotation(hParam, j), &pValue);
    }
    pEffect->SetFloatArray(hParam, afValues, 64 * 16);
    pEffect->SetMatrixArray(hParam, reinterpret_cast<const D3DXMATRIX*>(afValues), 64);
    if (paramDesc.Semantic != nullptr) pEffect->GetParameterBySemantic(nullptr, paramDesc.Semantic);
  }
  UINT uiPasses = 0;
  pEffect->Begin(&uiPasses, 0);
  for (UINT uiPass = 0; uiPass < uiPasses; ++uiPass) {
    pEffect->BeginPass(uiPass);
    pEffect->CommitChanges();
    pEffect->EndPass();
  }
  pEffect->End();
  pEffect->Release();
  return 0;
}
