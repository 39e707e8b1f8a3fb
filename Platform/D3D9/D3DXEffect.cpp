// ID3DXEffect over the project's compiled effects: parameters and their values, the technique's passes as
// programs of the device, Begin/BeginPass/CommitChanges/EndPass/End with state save and restore.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>
#include <utility>

#include "Platform/D3D9/D3D9Internal.h"
#include "Platform/D3D9/D3DXEffectFile.h"

namespace {

class CD3DXBuffer final : public ID3DXBuffer {
 public:
  explicit CD3DXBuffer(const std::string& text) : m_bytes(text.begin(), text.end()) { m_bytes.push_back(0); }
  HRESULT QueryInterface(REFIID, void** ppvObject) override {
    if (ppvObject != nullptr) *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_uiRefs; }
  ULONG Release() override {
    const ULONG uiLeft = --m_uiRefs;
    if (uiLeft == 0) delete this;
    return uiLeft;
  }
  LPVOID GetBufferPointer() override { return m_bytes.data(); }
  DWORD GetBufferSize() override { return static_cast<DWORD>(m_bytes.size()); }

 private:
  std::vector<char> m_bytes;
  std::atomic<ULONG> m_uiRefs{1};
};

class CD3DXEffect final : public ID3DXEffect, public CD3D9ObjectBase {
 public:
  CD3DXEffect(CD3D9Device* pDevice, SD3DXEffectDescription desc)
      : CD3D9ObjectBase(pDevice, D3DPOOL_DEFAULT, false), m_desc(std::move(desc)) {
    UINT uiUnit = 0;
    for (SD3DXEffectParameter& parameter : m_desc.parameters) {
      SParameter record;
      record.pDesc = &parameter;
      record.values.assign(parameter.floatCount(), 0.0f);
      record.uiUnit = parameter.isTexture() ? uiUnit++ : 0;
      m_parameters.push_back(std::move(record));
    }
    for (UINT i = 0; i < m_parameters.size(); ++i) {
      for (const SD3DXEffectAnnotation& annotation : m_desc.parameters[i].annotations) {
        m_annotations.push_back(SAnnotation{&annotation, i});
      }
    }
    // Each parameter's annotations are contiguous: remember where they start.
    UINT uiFirst = 0;
    for (SParameter& record : m_parameters) {
      record.uiFirstAnnotation = uiFirst;
      uiFirst += static_cast<UINT>(record.pDesc->annotations.size());
    }
  }

  ~CD3DXEffect() override {
    for (SParameter& record : m_parameters) {
      if (record.pTexture != nullptr) record.pTexture->Release();
    }
  }

  // Builds each pass's program without the alpha test, and with it for a pass that turns the test on itself (the
  // others get theirs when a pass first draws with the device's test on); false with the reason.
  bool build(std::string* pError) {
    for (UINT uiPass = 0; uiPass < m_desc.passes.size(); ++uiPass) {
      m_passPrograms.push_back({-1, -1});
      bool bPassTests = false;
      for (const SD3DXEffectState& state : m_desc.passes[uiPass].renderStates) {
        if (state.dwState == D3DRS_ALPHATESTENABLE) bPassTests = state.dwValue != FALSE;
      }
      if (programFor(uiPass, false, pError) < 0 || (bPassTests && programFor(uiPass, true, pError) < 0)) return false;
    }
    return true;
  }

  // The index in m_programs of the pass's program with or without the alpha test, built on first use (passes of
  // the same shaders share one); -1 with the reason when it does not build.
  INT programFor(UINT uiPass, bool bAlphaTest, std::string* pError) {
    INT& rIndex = m_passPrograms[uiPass][bAlphaTest ? 1 : 0];
    if (rIndex >= 0) return rIndex;
    const SD3DXEffectPass& pass = m_desc.passes[uiPass];
    const auto key = std::make_tuple(pass.uiVertexShader, pass.uiFragmentShader, bAlphaTest);
    auto it = m_programIndex.find(key);
    if (it == m_programIndex.end()) {
      std::string error;
      const UINT uiProgram = mp_pDevice->backend()->createProgram(
          D3DXEffectComposeGLSL(m_desc, pass.uiVertexShader),
          D3DXEffectComposeGLSL(m_desc, pass.uiFragmentShader, bAlphaTest), &error);
      if (uiProgram == 0) {
        *pError = "pass \"" + pass.name + "\" (" + m_desc.shaders[pass.uiVertexShader].name + ", " +
                  m_desc.shaders[pass.uiFragmentShader].name + "): " + error;
        return -1;
      }
      it = m_programIndex.emplace(key, static_cast<INT>(m_programs.size())).first;
      m_programs.push_back(makeProgram(uiProgram));
    }
    rIndex = it->second;
    return rIndex;
  }

  // Whether the device's alpha test (its states as the pass left them) can reject a pixel.
  bool alphaTestOn() {
    DWORD dwEnable = FALSE;
    DWORD dwFunc = D3DCMP_ALWAYS;
    mp_pDevice->GetRenderState(D3DRS_ALPHATESTENABLE, &dwEnable);
    mp_pDevice->GetRenderState(D3DRS_ALPHAFUNC, &dwFunc);
    return dwEnable != FALSE && dwFunc != D3DCMP_ALWAYS;
  }

  // The current pass's program for the alpha test as it stands, made the device's; false when it does not build.
  bool selectProgram(bool bAlways) {
    std::string error;
    const INT iProgram = programFor(static_cast<UINT>(m_iPass), alphaTestOn(), &error);
    if (iProgram < 0) {
      std::fprintf(stderr, "D3DX effect: %s\n", error.c_str());
      return false;
    }
    if (bAlways || iProgram != m_iProgram) mp_pDevice->setProgram(m_programs[static_cast<size_t>(iProgram)].uiHandle);
    m_iProgram = iProgram;
    return true;
  }

  D3D9_OBJECT_COMMON(ID3DXEffect)

  void freeBackend() override {
    for (SProgram& program : m_programs) {
      mp_pDevice->backend()->deleteProgram(program.uiHandle);
    }
    m_programs.clear();
    m_programIndex.clear();
    for (std::array<INT, 2>& indices : m_passPrograms) indices = {-1, -1};
    m_iProgram = -1;
  }

  HRESULT GetDesc(D3DXEFFECT_DESC* pDesc) override {
    if (pDesc == nullptr) return D3DERR_INVALIDCALL;
    *pDesc = D3DXEFFECT_DESC{"Grindlow effect tool", static_cast<UINT>(m_parameters.size()), 1, 0};
    return D3D_OK;
  }

  HRESULT GetParameterDesc(D3DXHANDLE hParameter, D3DXPARAMETER_DESC* pDesc) override {
    if (pDesc == nullptr) return D3DERR_INVALIDCALL;
    if (const SAnnotation* pAnnotation = annotationOf(hParameter)) {
      *pDesc = D3DXPARAMETER_DESC{pAnnotation->pDesc->name.c_str(), nullptr, D3DXPC_OBJECT, D3DXPT_STRING, 0, 0, 0, 0,
                                  0, 0, sizeof(LPCSTR)};
      return D3D_OK;
    }
    const SParameter* pRecord = parameterOf(hParameter);
    if (pRecord == nullptr) return D3DERR_INVALIDCALL;
    const SD3DXEffectParameter& p = *pRecord->pDesc;
    *pDesc = D3DXPARAMETER_DESC{p.name.c_str(),
                                p.semantic.empty() ? nullptr : p.semantic.c_str(),
                                p.eClass,
                                p.eType,
                                p.uiRows,
                                p.uiColumns,
                                p.uiElements,
                                static_cast<UINT>(p.annotations.size()),
                                0,
                                0,
                                p.isTexture() ? static_cast<UINT>(sizeof(void*)) : p.floatCount() * 4u};
    return D3D_OK;
  }

  HRESULT GetTechniqueDesc(D3DXHANDLE hTechnique, D3DXTECHNIQUE_DESC* pDesc) override {
    if (pDesc == nullptr || (hTechnique != nullptr && hTechnique != techniqueHandle() &&
                             std::strcmp(hTechnique, m_desc.techniqueName.c_str()) != 0)) {
      return D3DERR_INVALIDCALL;
    }
    *pDesc = D3DXTECHNIQUE_DESC{m_desc.techniqueName.c_str(), static_cast<UINT>(m_desc.passes.size()), 0};
    return D3D_OK;
  }

  D3DXHANDLE GetParameter(D3DXHANDLE hParameter, UINT uiIndex) override {
    if (hParameter != nullptr || uiIndex >= m_parameters.size()) return nullptr;
    return handleOf(m_parameters[uiIndex]);
  }

  D3DXHANDLE GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName) override {
    if (hParameter != nullptr || pName == nullptr) return nullptr;
    for (const SParameter& record : m_parameters) {
      if (record.pDesc->name == pName) return handleOf(record);
    }
    return nullptr;
  }

  D3DXHANDLE GetParameterBySemantic(D3DXHANDLE hParameter, LPCSTR pSemantic) override {
    if (hParameter != nullptr || pSemantic == nullptr) return nullptr;
    for (const SParameter& record : m_parameters) {
      if (!record.pDesc->semantic.empty() && D3DXEffectEqualNoCase(record.pDesc->semantic, pSemantic)) {
        return handleOf(record);
      }
    }
    return nullptr;
  }

  D3DXHANDLE GetAnnotation(D3DXHANDLE hObject, UINT uiIndex) override {
    const SParameter* pRecord = parameterOf(hObject);
    if (pRecord == nullptr || uiIndex >= pRecord->pDesc->annotations.size()) return nullptr;
    return reinterpret_cast<D3DXHANDLE>(&m_annotations[pRecord->uiFirstAnnotation + uiIndex]);
  }

  D3DXHANDLE GetTechnique(UINT uiIndex) override { return uiIndex == 0 ? techniqueHandle() : nullptr; }
  D3DXHANDLE GetCurrentTechnique() override { return techniqueHandle(); }

  HRESULT GetString(D3DXHANDLE hParameter, LPCSTR* ppString) override {
    const SAnnotation* pAnnotation = annotationOf(hParameter);
    if (pAnnotation == nullptr || ppString == nullptr) return D3DERR_INVALIDCALL;
    *ppString = pAnnotation->pDesc->value.c_str();
    return D3D_OK;
  }

  HRESULT SetFloatArray(D3DXHANDLE hParameter, const float* pf, UINT uiCount) override {
    SParameter* pRecord = numericOf(hParameter);
    if (pRecord == nullptr || (pf == nullptr && uiCount > 0)) return D3DERR_INVALIDCALL;
    const size_t uiWrite = std::min<size_t>(uiCount, pRecord->values.size());
    std::copy(pf, pf + uiWrite, pRecord->values.begin());
    ++pRecord->uiVersion;
    return D3D_OK;
  }

  HRESULT GetFloatArray(D3DXHANDLE hParameter, float* pf, UINT uiCount) override {
    SParameter* pRecord = numericOf(hParameter);
    if (pRecord == nullptr || (pf == nullptr && uiCount > 0)) return D3DERR_INVALIDCALL;
    const size_t uiRead = std::min<size_t>(uiCount, pRecord->values.size());
    std::copy(pRecord->values.begin(), pRecord->values.begin() + static_cast<std::ptrdiff_t>(uiRead), pf);
    return D3D_OK;
  }

  HRESULT SetVector(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) override {
    return pVector == nullptr ? D3DERR_INVALIDCALL : SetVectorArray(hParameter, pVector, 1);
  }

  HRESULT GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) override {
    SParameter* pRecord = numericOf(hParameter);
    if (pRecord == nullptr || pVector == nullptr || pRecord->pDesc->eClass == D3DXPC_MATRIX_ROWS) {
      return D3DERR_INVALIDCALL;
    }
    float af[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::copy(pRecord->values.begin(), pRecord->values.begin() + pRecord->pDesc->uiColumns, af);
    *pVector = D3DXVECTOR4{af[0], af[1], af[2], af[3]};
    return D3D_OK;
  }

  HRESULT SetVectorArray(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector, UINT uiCount) override {
    SParameter* pRecord = numericOf(hParameter);
    if (pRecord == nullptr || (pVector == nullptr && uiCount > 0) || pRecord->pDesc->eClass == D3DXPC_MATRIX_ROWS) {
      return D3DERR_INVALIDCALL;
    }
    const UINT uiColumns = pRecord->pDesc->uiColumns;
    const UINT uiElements = std::max(pRecord->pDesc->uiElements, 1u);
    for (UINT i = 0; i < std::min(uiCount, uiElements); ++i) {
      const float af[4] = {pVector[i].x, pVector[i].y, pVector[i].z, pVector[i].w};
      std::copy(af, af + uiColumns, pRecord->values.begin() + i * uiColumns);
    }
    ++pRecord->uiVersion;
    return D3D_OK;
  }

  HRESULT SetMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) override {
    return pMatrix == nullptr ? D3DERR_INVALIDCALL : SetMatrixArray(hParameter, pMatrix, 1);
  }

  HRESULT GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) override {
    SParameter* pRecord = numericOf(hParameter);
    if (pRecord == nullptr || pMatrix == nullptr || pRecord->pDesc->eClass != D3DXPC_MATRIX_ROWS) {
      return D3DERR_INVALIDCALL;
    }
    std::memcpy(pMatrix->m, pRecord->values.data(), sizeof(pMatrix->m));
    return D3D_OK;
  }

  HRESULT SetMatrixArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT uiCount) override {
    SParameter* pRecord = numericOf(hParameter);
    if (pRecord == nullptr || (pMatrix == nullptr && uiCount > 0) || pRecord->pDesc->eClass != D3DXPC_MATRIX_ROWS) {
      return D3DERR_INVALIDCALL;
    }
    const UINT uiElements = std::max(pRecord->pDesc->uiElements, 1u);
    for (UINT i = 0; i < std::min(uiCount, uiElements); ++i) {
      std::memcpy(pRecord->values.data() + i * 16, pMatrix[i].m, sizeof(pMatrix[i].m));
    }
    ++pRecord->uiVersion;
    return D3D_OK;
  }

  HRESULT SetTexture(D3DXHANDLE hParameter, LPDIRECT3DBASETEXTURE9 pTexture) override {
    SParameter* pRecord = parameterOf(hParameter);
    if (pRecord == nullptr || !pRecord->pDesc->isTexture()) return D3DERR_INVALIDCALL;
    CD3D9TextureBase* pBase = D3D9TextureOf(pTexture);
    if (pTexture != nullptr && pBase == nullptr) return D3DERR_INVALIDCALL;
    if (pBase != nullptr && pBase->isCube() != (pRecord->pDesc->eType == D3DXPT_TEXTURECUBE)) {
      return D3DERR_INVALIDCALL;
    }
    if (pRecord->pTexture != pTexture) {
      if (pTexture != nullptr) pTexture->AddRef();
      if (pRecord->pTexture != nullptr) pRecord->pTexture->Release();
      pRecord->pTexture = pTexture;
      ++pRecord->uiVersion;
    }
    return D3D_OK;
  }

  HRESULT GetTexture(D3DXHANDLE hParameter, LPDIRECT3DBASETEXTURE9* ppTexture) override {
    SParameter* pRecord = parameterOf(hParameter);
    if (pRecord == nullptr || ppTexture == nullptr || !pRecord->pDesc->isTexture()) return D3DERR_INVALIDCALL;
    *ppTexture = pRecord->pTexture;
    if (*ppTexture != nullptr) (*ppTexture)->AddRef();
    return D3D_OK;
  }

  HRESULT Begin(UINT* pPasses, DWORD dwFlags) override {
    if (m_bBegun || mp_pDevice == nullptr) return D3DERR_INVALIDCALL;
    mp_pDevice->acquire();
    m_bBegun = true;
    m_dwBeginFlags = dwFlags;
    if (pPasses != nullptr) *pPasses = static_cast<UINT>(m_desc.passes.size());
    if ((dwFlags & D3DXFX_DONOTSAVESTATE) == 0) saveState();
    return D3D_OK;
  }

  HRESULT BeginPass(UINT uiPass) override {
    if (!m_bBegun || m_iPass >= 0 || uiPass >= m_desc.passes.size() || mp_pDevice == nullptr) {
      return D3DERR_INVALIDCALL;
    }
    mp_pDevice->acquire();
    m_iPass = static_cast<INT>(uiPass);
    const SD3DXEffectPass& pass = m_desc.passes[uiPass];
    for (const SD3DXEffectState& state : pass.renderStates) {
      mp_pDevice->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state.dwState), state.dwValue);
    }
    for (const SD3DXEffectSamplerState& state : pass.samplerStates) {
      mp_pDevice->SetSamplerState(m_parameters[state.uiParameter].uiUnit,
                                  static_cast<D3DSAMPLERSTATETYPE>(state.dwState), state.dwValue);
    }
    if (!selectProgram(true)) {
      m_iPass = -1;
      return E_FAIL;
    }
    commit();
    return D3D_OK;
  }

  // The alpha test may have been turned on or off since BeginPass: the program follows it here.
  HRESULT CommitChanges() override {
    if (m_iPass < 0 || mp_pDevice == nullptr) return D3D_OK;
    mp_pDevice->acquire();
    if (!selectProgram(false)) return E_FAIL;
    commit();
    return D3D_OK;
  }

  HRESULT EndPass() override {
    if (m_iPass < 0) return D3DERR_INVALIDCALL;
    m_iPass = -1;
    return D3D_OK;
  }

  HRESULT End() override {
    if (!m_bBegun || mp_pDevice == nullptr) return D3DERR_INVALIDCALL;
    mp_pDevice->acquire();
    m_iPass = -1;
    m_bBegun = false;
    restoreState();
    return D3D_OK;
  }

  HRESULT OnLostDevice() override {
    // Leaving the default pool is what lets a Reset go through; so does giving back the default-pool textures
    // (render targets) the parameters hold, which the caller releases before the Reset. They are set again before
    // the next pass that samples them.
    setPool(D3DPOOL_MANAGED);
    for (SParameter& record : m_parameters) {
      CD3D9TextureBase* pBase = D3D9TextureOf(record.pTexture);
      if (pBase != nullptr && pBase->pool() == D3DPOOL_DEFAULT) {
        record.pTexture->Release();
        record.pTexture = nullptr;
        ++record.uiVersion;
      }
    }
    return D3D_OK;
  }

  HRESULT OnResetDevice() override {
    setPool(D3DPOOL_DEFAULT);
    // The Reset returned every device state to its default: each program needs its values again only if the
    // context lost them, which it does not; the textures and states are set again by the next BeginPass.
    return D3D_OK;
  }

 private:
  struct SParameter {
    SD3DXEffectParameter* pDesc = nullptr;
    std::vector<float> values;
    IDirect3DBaseTexture9* pTexture = nullptr;
    UINT uiUnit = 0;
    UINT uiVersion = 1;
    UINT uiFirstAnnotation = 0;
  };
  struct SAnnotation {
    const SD3DXEffectAnnotation* pDesc;
    UINT uiParameter;
  };
  struct SProgram {
    UINT uiHandle = 0;
    std::vector<INT> locations;  // per parameter
    std::vector<UINT> uploaded;  // the version of each parameter's value the program holds
  };
  struct SSavedState {
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> renderStates;
    std::vector<std::pair<std::pair<DWORD, D3DSAMPLERSTATETYPE>, DWORD>> samplerStates;
    std::vector<std::pair<DWORD, IDirect3DBaseTexture9*>> textures;
    UINT uiProgram = 0;
    bool bProgram = false;
  };

  SProgram makeProgram(UINT uiHandle) {
    SProgram program;
    program.uiHandle = uiHandle;
    CD3D9Backend* pBackend = mp_pDevice->backend();
    for (const SParameter& record : m_parameters) {
      program.locations.push_back(pBackend->uniformLocation(uiHandle, record.pDesc->name.c_str()));
      program.uploaded.push_back(0);
    }
    // Each sampler reads its parameter's texture unit, fixed for the program's life.
    std::vector<SD3D9Uniform> samplers;
    std::vector<INT> unitValues(m_parameters.size());
    for (size_t i = 0; i < m_parameters.size(); ++i) {
      if (!m_parameters[i].pDesc->isTexture()) continue;
      unitValues[i] = static_cast<INT>(m_parameters[i].uiUnit);
      samplers.push_back(SD3D9Uniform{program.locations[i], SD3D9Uniform::INT1, 1, &unitValues[i]});
    }
    pBackend->setUniforms(uiHandle, samplers.data(), static_cast<UINT>(samplers.size()));
    return program;
  }

  SProgram& currentProgram() { return m_programs[static_cast<size_t>(m_iProgram)]; }

  // Uploads what changed since the program last received it and binds the textures to their units.
  void commit() {
    SProgram& program = currentProgram();
    std::vector<SD3D9Uniform> uniforms;
    for (size_t i = 0; i < m_parameters.size(); ++i) {
      SParameter& record = m_parameters[i];
      if (record.pDesc->isTexture()) {
        mp_pDevice->SetTexture(record.uiUnit, record.pTexture);
        continue;
      }
      if (program.uploaded[i] == record.uiVersion) continue;
      program.uploaded[i] = record.uiVersion;
      if (program.locations[i] < 0) continue;
      const SD3DXEffectParameter& p = *record.pDesc;
      SD3D9Uniform uniform;
      uniform.iLocation = program.locations[i];
      uniform.uiCount = std::max(p.uiElements, 1u);
      uniform.pData = record.values.data();
      uniform.eKind = p.eClass == D3DXPC_MATRIX_ROWS ? SD3D9Uniform::MATRIX4
                                                      : static_cast<SD3D9Uniform::EKind>(SD3D9Uniform::FLOAT1 + p.uiColumns - 1);
      uniforms.push_back(uniform);
    }
    if (!uniforms.empty()) {
      mp_pDevice->backend()->setUniforms(program.uiHandle, uniforms.data(), static_cast<UINT>(uniforms.size()));
    }
  }

  void saveState() {
    SSavedState& saved = m_saved;
    saved = SSavedState{};
    for (const SD3DXEffectPass& pass : m_desc.passes) {
      for (const SD3DXEffectState& state : pass.renderStates) {
        const auto eState = static_cast<D3DRENDERSTATETYPE>(state.dwState);
        bool bKnown = false;
        for (const auto& entry : saved.renderStates) bKnown = bKnown || entry.first == eState;
        if (bKnown) continue;
        DWORD dwValue = 0;
        mp_pDevice->GetRenderState(eState, &dwValue);
        saved.renderStates.emplace_back(eState, dwValue);
      }
      if (m_dwBeginFlags & D3DXFX_DONOTSAVESAMPLERSTATE) continue;
      for (const SD3DXEffectSamplerState& state : pass.samplerStates) {
        const auto key = std::make_pair(static_cast<DWORD>(m_parameters[state.uiParameter].uiUnit),
                                        static_cast<D3DSAMPLERSTATETYPE>(state.dwState));
        bool bKnown = false;
        for (const auto& entry : saved.samplerStates) bKnown = bKnown || entry.first == key;
        if (bKnown) continue;
        DWORD dwValue = 0;
        mp_pDevice->GetSamplerState(key.first, key.second, &dwValue);
        saved.samplerStates.emplace_back(key, dwValue);
      }
    }
    if ((m_dwBeginFlags & D3DXFX_DONOTSAVESAMPLERSTATE) == 0) {
      for (const SParameter& record : m_parameters) {
        if (!record.pDesc->isTexture()) continue;
        IDirect3DBaseTexture9* pTexture = nullptr;
        mp_pDevice->GetTexture(record.uiUnit, &pTexture);
        saved.textures.emplace_back(record.uiUnit, pTexture);
      }
    }
    if ((m_dwBeginFlags & D3DXFX_DONOTSAVESHADERSTATE) == 0) {
      saved.uiProgram = mp_pDevice->program();
      saved.bProgram = true;
    }
    m_bSaved = true;
  }

  void restoreState() {
    if (!m_bSaved) return;
    m_bSaved = false;
    for (const auto& [eState, dwValue] : m_saved.renderStates) {
      mp_pDevice->SetRenderState(eState, dwValue);
    }
    for (const auto& [key, dwValue] : m_saved.samplerStates) {
      mp_pDevice->SetSamplerState(key.first, key.second, dwValue);
    }
    for (const auto& [dwUnit, pTexture] : m_saved.textures) {
      mp_pDevice->SetTexture(dwUnit, pTexture);
      if (pTexture != nullptr) pTexture->Release();
    }
    if (m_saved.bProgram) mp_pDevice->setProgram(m_saved.uiProgram);
    m_saved = SSavedState{};
  }

  D3DXHANDLE techniqueHandle() const { return reinterpret_cast<D3DXHANDLE>(&m_desc.techniqueName); }
  static D3DXHANDLE handleOf(const SParameter& record) { return reinterpret_cast<D3DXHANDLE>(&record); }

  // A handle of this effect's parameters, or a parameter's name.
  SParameter* parameterOf(D3DXHANDLE hParameter) {
    if (hParameter == nullptr) return nullptr;
    const auto uiAddress = reinterpret_cast<std::uintptr_t>(hParameter);
    const auto uiFirst = reinterpret_cast<std::uintptr_t>(m_parameters.data());
    const auto uiEnd = reinterpret_cast<std::uintptr_t>(m_parameters.data() + m_parameters.size());
    if (uiAddress >= uiFirst && uiAddress < uiEnd) {
      return (uiAddress - uiFirst) % sizeof(SParameter) == 0 ? &m_parameters[(uiAddress - uiFirst) / sizeof(SParameter)]
                                                             : nullptr;
    }
    if (annotationOf(hParameter) != nullptr || hParameter == techniqueHandle()) return nullptr;
    for (SParameter& record : m_parameters) {
      if (record.pDesc->name == hParameter) return &record;
    }
    return nullptr;
  }

  SParameter* numericOf(D3DXHANDLE hParameter) {
    SParameter* pRecord = parameterOf(hParameter);
    return pRecord != nullptr && !pRecord->pDesc->isTexture() ? pRecord : nullptr;
  }

  const SAnnotation* annotationOf(D3DXHANDLE hAnnotation) const {
    const auto uiAddress = reinterpret_cast<std::uintptr_t>(hAnnotation);
    const auto uiFirst = reinterpret_cast<std::uintptr_t>(m_annotations.data());
    const auto uiEnd = reinterpret_cast<std::uintptr_t>(m_annotations.data() + m_annotations.size());
    if (hAnnotation == nullptr || uiAddress < uiFirst || uiAddress >= uiEnd ||
        (uiAddress - uiFirst) % sizeof(SAnnotation) != 0) {
      return nullptr;
    }
    return &m_annotations[(uiAddress - uiFirst) / sizeof(SAnnotation)];
  }

  SD3DXEffectDescription m_desc;
  std::vector<SParameter> m_parameters;
  std::vector<SAnnotation> m_annotations;
  std::vector<SProgram> m_programs;
  std::vector<std::array<INT, 2>> m_passPrograms;  // per pass, indices into m_programs without and with alpha test
  std::map<std::tuple<UINT, UINT, bool>, INT> m_programIndex;  // by vertex shader, fragment shader, alpha test
  INT m_iProgram = -1;  // the index of the program the current pass draws with
  bool m_bBegun = false;
  INT m_iPass = -1;
  DWORD m_dwBeginFlags = 0;
  SSavedState m_saved;
  bool m_bSaved = false;
};

// The reason goes to the caller's buffer, or, when it asked for none, to the error output.
HRESULT refuse(HRESULT hr, const std::string& reason, LPD3DXBUFFER* ppErrors) {
  if (ppErrors != nullptr) {
    *ppErrors = new CD3DXBuffer(reason);
  } else {
    std::fprintf(stderr, "D3D9 stand-in: D3DXCreateEffect: %s\n", reason.c_str());
  }
  return hr;
}

}  // namespace

HRESULT D3DXCreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT uiSrcDataLen, const D3DXMACRO* pDefines,
                         LPD3DXINCLUDE pInclude, DWORD, LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                         LPD3DXBUFFER* ppCompilationErrors) {
  if (ppCompilationErrors != nullptr) *ppCompilationErrors = nullptr;
  if (ppEffect == nullptr || pDevice == nullptr || pSrcData == nullptr || pDefines != nullptr || pInclude != nullptr ||
      pPool != nullptr) {
    return D3DERR_INVALIDCALL;
  }
  *ppEffect = nullptr;
  SD3DXEffectDescription desc;
  std::string error;
  if (!D3DXEffectFileRead(pSrcData, uiSrcDataLen, &desc, &error)) {
    return refuse(D3DXERR_INVALIDDATA, error, ppCompilationErrors);
  }
  auto* pD3DDevice = static_cast<CD3D9Device*>(pDevice);
  pD3DDevice->acquire();
  auto* pEffect = new CD3DXEffect(pD3DDevice, std::move(desc));
  if (!pEffect->build(&error)) {
    pEffect->Release();
    return refuse(E_FAIL, error, ppCompilationErrors);
  }
  *ppEffect = pEffect;
  return D3D_OK;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2) {
  D3DMATRIX product{};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      product.m[r][c] = pM1->m[r][0] * pM2->m[0][c] + pM1->m[r][1] * pM2->m[1][c] + pM1->m[r][2] * pM2->m[2][c] +
                        pM1->m[r][3] * pM2->m[3][c];
    }
  }
  std::memcpy(pOut->m, product.m, sizeof(product.m));
  return pOut;
}
