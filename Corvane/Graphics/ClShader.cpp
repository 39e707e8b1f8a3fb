#include "Corvane/Graphics/ClShader.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/System/KvDebug.h"

bool ClShaderBase::initFromEffect(ID3DXEffect*) { return true; }
bool ClShaderBase::load(const char*) { return true; }
bool ClShaderBase::release() { return true; }

ClShader* ClShader::resolveOverride() {
  if (mp_szOverrideName[0] == '\0') {
    return this;
  }
  if (mp_pOverrideShader == nullptr) {
    mp_pOverrideShader = ClShaderMgr::findShader(KvStrHash(mp_szOverrideName));
    KV_ASSERTF(mp_pOverrideShader != nullptr, "Shader override [%s] is not loaded. Was a loaded?", mp_szOverrideName);
  }
  return mp_pOverrideShader;
}

void ClShader::setOverrideName(const char* pName) {
  mp_szOverrideName[0] = '\0';
  if (pName != nullptr) {
    KvStrLCpy(mp_szOverrideName, pName, sizeof(mp_szOverrideName));
  }
  mp_pOverrideShader = nullptr;
}
