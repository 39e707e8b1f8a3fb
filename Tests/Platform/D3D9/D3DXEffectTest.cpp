// D3DX effects over the compiled format: what the parameter scan sees, the setters' D3DX semantics, pixels drawn
// through passes (vertex colour with alpha blending, a premultiplied texture, sampler states), state saved and
// restored around Begin/End, the Reset rule, refused files and code, and the recording back end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Platform/D3D9/D3DXEffectFile.h"
#include "Tests/Platform/D3D9/D3D9TestDevice.h"

namespace {

SD3DXEffectParameter numeric(const char* pName, const char* pSemantic, UINT uiColumns, UINT uiElements = 0) {
  SD3DXEffectParameter p;
  p.name = pName;
  p.semantic = pSemantic;
  p.eClass = uiColumns == 1 ? D3DXPC_SCALAR : D3DXPC_VECTOR;
  p.uiColumns = uiColumns;
  p.uiElements = uiElements;
  return p;
}

SD3DXEffectParameter matrix(const char* pName, const char* pSemantic) {
  SD3DXEffectParameter p;
  p.name = pName;
  p.semantic = pSemantic;
  p.eClass = D3DXPC_MATRIX_ROWS;
  p.uiRows = 4;
  p.uiColumns = 4;
  return p;
}

SD3DXEffectParameter texture(const char* pName, std::vector<SD3DXEffectAnnotation> annotations) {
  SD3DXEffectParameter p;
  p.name = pName;
  p.eClass = D3DXPC_OBJECT;
  p.eType = D3DXPT_TEXTURE;
  p.uiRows = 0;
  p.uiColumns = 0;
  p.annotations = std::move(annotations);
  return p;
}

SD3DXEffectShader shader(UINT uiStage, const char* pName, const char* pCode) {
  SD3DXEffectShader s;
  s.uiStage = uiStage;
  s.name = pName;
  s.code = pCode;
  s.sourceFile = "test.fx";
  return s;
}

constexpr const char* gc_pVERTEX = R"(out vec4 v_color;
out vec2 v_uv;
void main() {
  gl_Position = g_mWorldViewProj * in_Position;
  v_color = in_Color * g_v4Tint;
  v_uv = in_TexCoord0;
})";

// Vertex colour times tint, alpha blended.
SD3DXEffectDescription colourEffect() {
  SD3DXEffectDescription effect;
  effect.parameters = {matrix("g_mWorldViewProj", "WORLDVIEWPROJ"), numeric("g_v4Tint", "PEROBJ", 4)};
  effect.techniqueName = "Main";
  effect.shaders = {shader(D3DX_EFFECT_STAGE_VERTEX, "VS", gc_pVERTEX),
                    shader(D3DX_EFFECT_STAGE_FRAGMENT, "PS", "in vec4 v_color;\nvoid main() { out_Color = v_color; }\n")};
  SD3DXEffectPass pass;
  pass.name = "P0";
  pass.uiVertexShader = 0;
  pass.uiFragmentShader = 1;
  pass.renderStates = {{D3DRS_ALPHABLENDENABLE, TRUE}, {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
                       {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}, {D3DRS_ZENABLE, FALSE}, {D3DRS_CULLMODE, D3DCULL_NONE}};
  effect.passes = {pass};
  return effect;
}

// A premultiplied texture times the vertex colour: ONE, INVSRCALPHA, point sampled and clamped.
SD3DXEffectDescription premultipliedEffect() {
  SD3DXEffectDescription effect = colourEffect();
  effect.parameters.push_back(texture("g_tDiffuse", {{"Usage", "diffuse"}}));
  effect.shaders[1].code = "in vec4 v_color;\nin vec2 v_uv;\nvoid main() { out_Color = texture(g_tDiffuse, v_uv) * v_color; }\n";
  SD3DXEffectPass& pass = effect.passes[0];
  pass.renderStates[1].dwValue = D3DBLEND_ONE;
  pass.samplerStates = {{2, D3DSAMP_MINFILTER, D3DTEXF_POINT}, {2, D3DSAMP_MAGFILTER, D3DTEXF_POINT},
                        {2, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP}, {2, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP}};
  return effect;
}

class D3DXEffectTest : public D3D9Device {
 protected:
  void TearDown() override {
    for (IUnknown* pObject : m_objects) pObject->Release();
    m_objects.clear();
    D3D9Device::TearDown();
  }

  ID3DXEffect* create(const SD3DXEffectDescription& desc) {
    const std::vector<BYTE> image = D3DXEffectFileWrite(desc);
    ID3DXEffect* pEffect = nullptr;
    EXPECT_EQ(D3DXCreateEffect(mp_pDevice, image.data(), static_cast<UINT>(image.size()), nullptr, nullptr,
                               D3DXFX_LARGEADDRESSAWARE, nullptr, &pEffect, nullptr),
              D3D_OK);
    if (pEffect != nullptr) m_objects.push_back(pEffect);
    return pEffect;
  }

  // A texture of w x h texels (0xAARRGGBB, top row first) in the managed pool.
  IDirect3DTexture9* makeTexture(UINT uiW, UINT uiH, const std::vector<DWORD>& texels) {
    IDirect3DTexture9* pTexture = nullptr;
    EXPECT_EQ(mp_pDevice->CreateTexture(uiW, uiH, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pTexture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(pTexture->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
    for (UINT y = 0; y < uiH; ++y) {
      std::memcpy(static_cast<BYTE*>(locked.pBits) + y * static_cast<UINT>(locked.Pitch), &texels[y * uiW], uiW * 4);
    }
    EXPECT_EQ(pTexture->UnlockRect(0), D3D_OK);
    m_objects.push_back(pTexture);
    return pTexture;
  }

  // Clears to blue and draws the 32 x 32 quad at the top left through the effect's one pass with the texture.
  void drawPremultipliedQuad(ID3DXEffect* pEffect, IDirect3DBaseTexture9* pTexture) {
    ASSERT_EQ(pEffect->SetTexture("g_tDiffuse", pTexture), D3D_OK);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
    UINT uiPasses = 0;
    pEffect->Begin(&uiPasses, 0);
    pEffect->BeginPass(0);
    drawTexturedRect(0, 0, 32, 32, 0.5f, gc_uiWHITE);
    pEffect->EndPass();
    pEffect->End();
  }

  void setPixelProjection(ID3DXEffect* pEffect) {
    D3DXMATRIX wvp;
    static_cast<D3DMATRIX&>(wvp) = pixelProjection(static_cast<float>(gc_uiW), static_cast<float>(gc_uiH));
    ASSERT_EQ(pEffect->SetMatrix(pEffect->GetParameterBySemantic(nullptr, "WORLDVIEWPROJ"), &wvp), D3D_OK);
    const D3DXVECTOR4 white{1.0f, 1.0f, 1.0f, 1.0f};
    ASSERT_EQ(pEffect->SetVector("g_v4Tint", &white), D3D_OK);
  }

  std::vector<IUnknown*> m_objects;
};

// The parameter scan's view: descriptions with class, type, columns, elements and semantics, semantics found without
// case, names usable as handles, and string annotations.
TEST_F(D3DXEffectTest, ParametersShowTheirDescriptionsSemanticsAndAnnotations) {
  createDevice();
  SD3DXEffectDescription desc = premultipliedEffect();
  desc.parameters.push_back(numeric("g_afWeights", "GLOBAL", 1, 15));
  desc.parameters.push_back(numeric("g_av3Offsets", "GLOBAL", 3, 15));
  desc.parameters[2].annotations.push_back({"Name", "texture03"});
  ID3DXEffect* pEffect = create(desc);
  ASSERT_NE(pEffect, nullptr);

  D3DXEFFECT_DESC effectDesc{};
  ASSERT_EQ(pEffect->GetDesc(&effectDesc), D3D_OK);
  EXPECT_EQ(effectDesc.Parameters, 5u);
  D3DXPARAMETER_DESC p{};
  ASSERT_EQ(pEffect->GetParameterDesc(pEffect->GetParameter(nullptr, 0), &p), D3D_OK);
  EXPECT_STREQ(p.Name, "g_mWorldViewProj");
  EXPECT_EQ(p.Class, D3DXPC_MATRIX_ROWS);
  EXPECT_EQ(p.Columns, 4u);
  ASSERT_EQ(pEffect->GetParameterDesc(pEffect->GetParameter(nullptr, 3), &p), D3D_OK);
  EXPECT_STREQ(p.Semantic, "GLOBAL");
  EXPECT_EQ(p.Class, D3DXPC_SCALAR);
  EXPECT_EQ(p.Type, D3DXPT_FLOAT);
  EXPECT_EQ(p.Elements, 15u);
  ASSERT_EQ(pEffect->GetParameterDesc("g_av3Offsets", &p), D3D_OK);
  EXPECT_EQ(p.Class, D3DXPC_VECTOR);
  EXPECT_EQ(p.Columns, 3u);
  EXPECT_EQ(p.Bytes, 15u * 3u * 4u);
  EXPECT_EQ(pEffect->GetParameter(nullptr, 5), nullptr);

  EXPECT_EQ(pEffect->GetParameterBySemantic(nullptr, "worldviewproj"), pEffect->GetParameter(nullptr, 0));
  EXPECT_EQ(pEffect->GetParameterBySemantic(nullptr, "BONEPALETTE"), nullptr);
  EXPECT_EQ(pEffect->GetParameterByName(nullptr, "g_tDiffuse"), pEffect->GetParameter(nullptr, 2));

  D3DXHANDLE hTexture = pEffect->GetParameter(nullptr, 2);
  ASSERT_EQ(pEffect->GetParameterDesc(hTexture, &p), D3D_OK);
  EXPECT_EQ(p.Class, D3DXPC_OBJECT);
  EXPECT_EQ(p.Type, D3DXPT_TEXTURE);
  EXPECT_EQ(p.Semantic, nullptr);
  ASSERT_EQ(p.Annotations, 2u);
  const char* apValues[] = {"diffuse", "texture03"};
  for (UINT i = 0; i < 2; ++i) {
    D3DXHANDLE hAnnotation = pEffect->GetAnnotation(hTexture, i);
    ASSERT_NE(hAnnotation, nullptr);
    D3DXPARAMETER_DESC a{};
    ASSERT_EQ(pEffect->GetParameterDesc(hAnnotation, &a), D3D_OK);
    EXPECT_EQ(a.Type, D3DXPT_STRING);
    LPCSTR pValue = nullptr;
    ASSERT_EQ(pEffect->GetString(hAnnotation, &pValue), D3D_OK);
    EXPECT_STREQ(pValue, apValues[i]);
  }
  EXPECT_EQ(pEffect->GetAnnotation(hTexture, 2), nullptr);
  LPCSTR pValue = nullptr;
  EXPECT_EQ(pEffect->GetString(hTexture, &pValue), D3DERR_INVALIDCALL) << "a texture is not a string";

  D3DXTECHNIQUE_DESC technique{};
  ASSERT_EQ(pEffect->GetTechniqueDesc(pEffect->GetCurrentTechnique(), &technique), D3D_OK);
  EXPECT_STREQ(technique.Name, "Main");
  EXPECT_EQ(technique.Passes, 1u);
}

// Setters write what D3DX writes: partial arrays keep the rest, vectors their columns, counts are cut to the size,
// and a value of the wrong kind is refused.
TEST_F(D3DXEffectTest, SettersKeepD3DXSemantics) {
  createDevice();
  SD3DXEffectDescription desc = premultipliedEffect();
  desc.parameters.push_back(numeric("g_afWeights", "GLOBAL", 1, 4));
  desc.parameters.push_back(numeric("g_av3Offsets", "GLOBAL", 3, 2));
  ID3DXEffect* pEffect = create(desc);
  ASSERT_NE(pEffect, nullptr);

  const float afFour[4] = {1, 2, 3, 4};
  ASSERT_EQ(pEffect->SetFloatArray("g_afWeights", afFour, 4), D3D_OK);
  const float afTwo[2] = {9, 8};
  ASSERT_EQ(pEffect->SetFloatArray("g_afWeights", afTwo, 2), D3D_OK);
  float afRead[6] = {0, 0, 0, 0, -1, -1};
  ASSERT_EQ(pEffect->GetFloatArray("g_afWeights", afRead, 6), D3D_OK);
  EXPECT_EQ(std::vector<float>(afRead, afRead + 6), (std::vector<float>{9, 8, 3, 4, -1, -1}))
      << "two written, two kept, nothing past the size";

  const D3DXVECTOR4 av[3] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 9, 9, 9}};
  ASSERT_EQ(pEffect->SetVectorArray("g_av3Offsets", av, 3), D3D_OK);
  float afVectors[6] = {};
  pEffect->GetFloatArray("g_av3Offsets", afVectors, 6);
  EXPECT_EQ(std::vector<float>(afVectors, afVectors + 6), (std::vector<float>{1, 2, 3, 5, 6, 7}));
  D3DXVECTOR4 first{};
  ASSERT_EQ(pEffect->GetVector("g_av3Offsets", &first), D3D_OK);
  EXPECT_EQ(first.z, 3.0f);
  EXPECT_EQ(first.w, 0.0f);

  D3DXMATRIX m{};
  for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = static_cast<float>(i);
  ASSERT_EQ(pEffect->SetMatrix("g_mWorldViewProj", &m), D3D_OK);
  D3DXMATRIX back{};
  ASSERT_EQ(pEffect->GetMatrix("g_mWorldViewProj", &back), D3D_OK);
  EXPECT_EQ(back.m[3][1], 13.0f);

  EXPECT_EQ(pEffect->SetMatrix("g_v4Tint", &m), D3DERR_INVALIDCALL);
  EXPECT_EQ(pEffect->SetVector("g_mWorldViewProj", &av[0]), D3DERR_INVALIDCALL);
  EXPECT_EQ(pEffect->SetFloatArray("g_tDiffuse", afFour, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(pEffect->SetTexture("g_v4Tint", nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(pEffect->SetFloatArray("g_nothing", afFour, 1), D3DERR_INVALIDCALL);
}

// A blend-colour quad: the vertex colour times the per-object tint, alpha blended over the clear colour.
TEST_F(D3DXEffectTest, BlendColourQuadDrawsItsPixels) {
  createDevice();
  ID3DXEffect* pEffect = create(colourEffect());
  ASSERT_NE(pEffect, nullptr);
  setPixelProjection(pEffect);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  UINT uiPasses = 0;
  ASSERT_EQ(pEffect->Begin(&uiPasses, 0), D3D_OK);
  ASSERT_EQ(uiPasses, 1u);
  ASSERT_EQ(pEffect->BeginPass(0), D3D_OK);
  drawRect(8, 8, 24, 24, 0.5f, gc_uiRED);
  const D3DXVECTOR4 halfGreen{1.0f, 1.0f, 1.0f, 0.5f};
  pEffect->SetVector("g_v4Tint", &halfGreen);
  ASSERT_EQ(pEffect->CommitChanges(), D3D_OK);
  drawRect(32, 8, 48, 24, 0.5f, gc_uiGREEN);
  pEffect->EndPass();
  pEffect->End();
  // Tolerance 2 per channel for rounding of the blend.
  EXPECT_EQ(pixel(8, 8), gc_uiRED);
  EXPECT_EQ(pixel(23, 23), gc_uiRED);
  EXPECT_EQ(pixel(24, 24), gc_uiBLUE);
  EXPECT_TRUE(nearColor(pixel(40, 16), 0xFF008080u, 2)) << std::hex << pixel(40, 16);
}

// A premultiplied textured quad: each quarter of a 2 x 2 texture fills its quarter of the quad (point sampling,
// texture row 0 on top), premultiplied texels blend with ONE / INVSRCALPHA.
TEST_F(D3DXEffectTest, PremultipliedTexturedQuadDrawsItsTexels) {
  createDevice();
  ID3DXEffect* pEffect = create(premultipliedEffect());
  ASSERT_NE(pEffect, nullptr);
  setPixelProjection(pEffect);
  IDirect3DTexture9* pTexture = makeTexture(2, 2, {0xFFFF0000u, 0xFF00FF00u, 0x80808080u, 0x00000000u});
  drawPremultipliedQuad(pEffect, pTexture);
  EXPECT_EQ(pixel(4, 4), gc_uiRED);
  EXPECT_EQ(pixel(27, 4), gc_uiGREEN);
  EXPECT_TRUE(nearColor(pixel(4, 27), 0xFF8080FFu, 2)) << std::hex << pixel(4, 27);
  EXPECT_EQ(pixel(27, 27), gc_uiBLUE) << "a transparent premultiplied texel leaves the target";
  EXPECT_EQ(pixel(40, 4), gc_uiBLUE);
}

// The alpha test, whether the pass or the device turns it on, before BeginPass or before a CommitChanges: a quad of
// alpha 0x40 and one of 0xC0 drawn unblended, the test "greater than 0x80" keeps only the second.
TEST_F(D3DXEffectTest, AlphaTestFromThePassOrTheDeviceRejectsPixels) {
  struct SCase {
    const char* pName;
    bool bPassTests;
    DWORD dwDeviceFunc;  // 0: the device's test left off
    bool bTurnOnAfterBeginPass;
    bool bLowDrawn;
  };
  const SCase aCases[] = {{"no test", false, 0, false, true},
                          {"the pass's test", true, 0, false, false},
                          {"the device's test", false, D3DCMP_GREATER, false, false},
                          {"the device's test turned on in the pass", false, D3DCMP_GREATER, true, false},
                          {"the device's test that passes all", false, D3DCMP_ALWAYS, false, true}};
  createDevice();
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    SD3DXEffectDescription desc = colourEffect();
    desc.passes[0].renderStates[0].dwValue = FALSE;
    if (c.bPassTests) {
      desc.passes[0].renderStates.push_back({D3DRS_ALPHATESTENABLE, TRUE});
      desc.passes[0].renderStates.push_back({D3DRS_ALPHAFUNC, D3DCMP_GREATER});
      desc.passes[0].renderStates.push_back({D3DRS_ALPHAREF, 0x80});
    }
    ID3DXEffect* pEffect = create(desc);
    ASSERT_NE(pEffect, nullptr);
    setPixelProjection(pEffect);
    const auto deviceTest = [&](bool bOn) {
      mp_pDevice->SetRenderState(D3DRS_ALPHATESTENABLE, bOn ? TRUE : FALSE);
      mp_pDevice->SetRenderState(D3DRS_ALPHAFUNC, c.dwDeviceFunc != 0 ? c.dwDeviceFunc : D3DCMP_ALWAYS);
      mp_pDevice->SetRenderState(D3DRS_ALPHAREF, 0x80);
    };
    deviceTest(c.dwDeviceFunc != 0 && !c.bTurnOnAfterBeginPass);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
    UINT uiPasses = 0;
    ASSERT_EQ(pEffect->Begin(&uiPasses, 0), D3D_OK);
    ASSERT_EQ(pEffect->BeginPass(0), D3D_OK);
    if (c.bTurnOnAfterBeginPass) {
      deviceTest(true);
      ASSERT_EQ(pEffect->CommitChanges(), D3D_OK);
    }
    drawRect(8, 8, 24, 24, 0.5f, 0x40FF0000u);
    drawRect(32, 8, 48, 24, 0.5f, 0xC000FF00u);
    pEffect->EndPass();
    pEffect->End();
    deviceTest(false);
    EXPECT_EQ(pixel(16, 16), c.bLowDrawn ? gc_uiRED : gc_uiBLUE);
    EXPECT_EQ(pixel(40, 16), gc_uiGREEN);
  }
}

// Sampler states of the device reach the texture: clamping against wrapping, point against linear filtering.
TEST_F(D3DXEffectTest, SamplerStatesDecideAddressingAndFiltering) {
  createDevice();
  SD3DXEffectDescription desc = premultipliedEffect();
  desc.passes[0].samplerStates.clear();
  ID3DXEffect* pEffect = create(desc);
  ASSERT_NE(pEffect, nullptr);
  setPixelProjection(pEffect);
  IDirect3DTexture9* pTexture = makeTexture(2, 1, {0xFF000000u, 0xFFFFFFFFu});
  pEffect->SetTexture("g_tDiffuse", pTexture);
  auto drawWith = [&](DWORD dwAddress, DWORD dwFilter) {
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiBLUE, 1.0f, 0);
    mp_pDevice->SetSamplerState(0, D3DSAMP_ADDRESSU, dwAddress);
    mp_pDevice->SetSamplerState(0, D3DSAMP_MINFILTER, dwFilter);
    mp_pDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, dwFilter);
    UINT uiPasses = 0;
    pEffect->Begin(&uiPasses, 0);
    pEffect->BeginPass(0);
    // u runs 0..2 over 32 pixels: the texture twice when wrapped.
    drawTexturedRect(0, 0, 32, 8, 0.5f, gc_uiWHITE, 0.0f, 0.0f, 2.0f, 1.0f);
    pEffect->EndPass();
    pEffect->End();
  };
  drawWith(D3DTADDRESS_WRAP, D3DTEXF_POINT);
  EXPECT_EQ(pixel(2, 4), 0xFF000000u);
  EXPECT_EQ(pixel(12, 4), gc_uiWHITE);
  EXPECT_EQ(pixel(18, 4), 0xFF000000u) << "wrapped: the texture starts again";
  drawWith(D3DTADDRESS_CLAMP, D3DTEXF_POINT);
  EXPECT_EQ(pixel(18, 4), gc_uiWHITE) << "clamped: the edge texel repeats";
  drawWith(D3DTADDRESS_CLAMP, D3DTEXF_LINEAR);
  EXPECT_TRUE(nearColor(pixel(8, 4), 0xFF808080u, 8)) << std::hex << pixel(8, 4) << ": linear blends the texels";
}

// Begin saves what the passes change and End puts it back: render states, sampler states, the texture of the
// unit and the fixed-function program. With D3DXFX_DONOTSAVESTATE the pass's states stay.
TEST_F(D3DXEffectTest, EndRestoresTheStateThePassesChanged) {
  createDevice();
  ID3DXEffect* pEffect = create(premultipliedEffect());
  ASSERT_NE(pEffect, nullptr);
  setPixelProjection(pEffect);
  IDirect3DTexture9* pBefore = makeTexture(1, 1, {0xFF00FF00u});
  IDirect3DTexture9* pEffectTexture = makeTexture(1, 1, {0xFFFF0000u});
  mp_pDevice->SetTexture(0, pBefore);
  mp_pDevice->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
  pEffect->SetTexture("g_tDiffuse", pEffectTexture);

  UINT uiPasses = 0;
  pEffect->Begin(&uiPasses, 0);
  pEffect->BeginPass(0);
  DWORD dwValue = 0;
  mp_pDevice->GetRenderState(D3DRS_ALPHABLENDENABLE, &dwValue);
  EXPECT_EQ(dwValue, static_cast<DWORD>(TRUE));
  mp_pDevice->GetSamplerState(0, D3DSAMP_ADDRESSU, &dwValue);
  EXPECT_EQ(dwValue, static_cast<DWORD>(D3DTADDRESS_CLAMP));
  pEffect->EndPass();
  pEffect->End();

  mp_pDevice->GetRenderState(D3DRS_ALPHABLENDENABLE, &dwValue);
  EXPECT_EQ(dwValue, static_cast<DWORD>(FALSE));
  mp_pDevice->GetRenderState(D3DRS_CULLMODE, &dwValue);
  EXPECT_EQ(dwValue, static_cast<DWORD>(D3DCULL_CCW));
  mp_pDevice->GetSamplerState(0, D3DSAMP_ADDRESSU, &dwValue);
  EXPECT_EQ(dwValue, static_cast<DWORD>(D3DTADDRESS_MIRROR));
  IDirect3DBaseTexture9* pBound = nullptr;
  mp_pDevice->GetTexture(0, &pBound);
  EXPECT_EQ(pBound, pBefore);
  if (pBound != nullptr) pBound->Release();
  // The fixed-function subset draws again: the vertex colour, untextured.
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  drawRect(0, 0, 8, 8, 0.5f, gc_uiWHITE);
  EXPECT_EQ(pixel(4, 4), gc_uiWHITE);

  pEffect->Begin(&uiPasses, D3DXFX_DONOTSAVESTATE);
  pEffect->BeginPass(0);
  pEffect->EndPass();
  pEffect->End();
  mp_pDevice->GetRenderState(D3DRS_ALPHABLENDENABLE, &dwValue);
  EXPECT_EQ(dwValue, static_cast<DWORD>(TRUE)) << "not saved, not restored";
}

// Passes run in turn; calls out of order are refused.
TEST_F(D3DXEffectTest, PassesRunInTurnAndOutOfOrderCallsAreRefused) {
  createDevice();
  SD3DXEffectDescription desc = colourEffect();
  SD3DXEffectPass second = desc.passes[0];
  second.name = "P1";
  second.renderStates = {{D3DRS_ALPHABLENDENABLE, FALSE}, {D3DRS_ZENABLE, FALSE}};
  desc.passes.push_back(second);
  ID3DXEffect* pEffect = create(desc);
  ASSERT_NE(pEffect, nullptr);
  setPixelProjection(pEffect);
  EXPECT_EQ(pEffect->BeginPass(0), D3DERR_INVALIDCALL) << "no Begin yet";
  UINT uiPasses = 0;
  ASSERT_EQ(pEffect->Begin(&uiPasses, 0), D3D_OK);
  EXPECT_EQ(uiPasses, 2u);
  EXPECT_EQ(pEffect->Begin(&uiPasses, 0), D3DERR_INVALIDCALL);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  const D3DXVECTOR4 halfWhite{1, 1, 1, 0.5f};
  pEffect->SetVector("g_v4Tint", &halfWhite);
  for (UINT uiPass = 0; uiPass < 2; ++uiPass) {
    ASSERT_EQ(pEffect->BeginPass(uiPass), D3D_OK);
    EXPECT_EQ(pEffect->BeginPass(uiPass), D3DERR_INVALIDCALL);
    drawRect(16.0f * static_cast<float>(uiPass), 0, 16.0f * static_cast<float>(uiPass) + 8, 8, 0.5f, gc_uiRED);
    pEffect->EndPass();
  }
  EXPECT_EQ(pEffect->BeginPass(2), D3DERR_INVALIDCALL);
  pEffect->End();
  EXPECT_TRUE(nearColor(pixel(4, 4), 0xFF800080u, 2)) << "pass 0 blends";
  EXPECT_EQ(pixel(20, 4), gc_uiRED) << "pass 1 does not";
}

// A Reset waits until every effect has had OnLostDevice; after OnResetDevice the effect draws as before.
TEST_F(D3DXEffectTest, ResetWaitsForOnLostDeviceAndTheEffectDrawsAfterwards) {
  createDevice();
  ID3DXEffect* pEffect = create(colourEffect());
  ASSERT_NE(pEffect, nullptr);
  D3D9TestLoseDevice(mp_pDevice);
  EXPECT_EQ(mp_pDevice->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(mp_pDevice->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(mp_pDevice->Reset(&m_params), D3DERR_INVALIDCALL);
  ASSERT_EQ(pEffect->OnLostDevice(), D3D_OK);
  ASSERT_EQ(mp_pDevice->Reset(&m_params), D3D_OK);
  ASSERT_EQ(pEffect->OnResetDevice(), D3D_OK);
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 1u) << "the effect is back in the default pool";

  const D3DMATRIX projection = pixelProjection(static_cast<float>(gc_uiW), static_cast<float>(gc_uiH));
  mp_pDevice->SetTransform(D3DTS_PROJECTION, &projection);
  setPixelProjection(pEffect);
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiBLUE, 1.0f, 0);
  UINT uiPasses = 0;
  pEffect->Begin(&uiPasses, 0);
  pEffect->BeginPass(0);
  drawRect(0, 0, 8, 8, 0.5f, gc_uiGREEN);
  pEffect->EndPass();
  pEffect->End();
  EXPECT_EQ(pixel(4, 4), gc_uiGREEN);
}

// Files that are not effects and code that does not compile are refused with the reason.
TEST_F(D3DXEffectTest, BrokenFilesAndCodeAreRefusedWithTheirReason) {
  createDevice();
  std::vector<BYTE> image = D3DXEffectFileWrite(colourEffect());
  struct SCase {
    const char* pWhat;
    size_t uiOffset;  // a header word to change, or the size to cut the file to
    DWORD dwValue;
    bool bCut;
    const char* pReason;
  };
  const SCase aCases[] = {
      {"truncated header", 40, 0, true, "shorter than its header"},
      {"cut short", 0, 0, true, "bytes but says"},
      {"magic", 0, 0x12345678u, false, "magic"},
      {"string table past the end", 16, 0x10000u, false, "string table"},
      {"parameter table past the end", 24, 0xFFFFFFF0u, false, "parameter table"},
      {"technique name outside the strings", 36, 0x7FFFFFu, false, "technique"},
      {"no passes", 40, 0, false, "passes"},
      {"too many shaders for the file", 64, 1000, false, "shader table"},
  };
  for (const SCase& c : aCases) {
    std::vector<BYTE> bad = image;
    if (c.bCut) {
      bad.resize(c.uiOffset > 0 ? c.uiOffset : bad.size() - 1);
    } else {
      std::memcpy(bad.data() + c.uiOffset, &c.dwValue, 4);
    }
    ID3DXEffect* pEffect = nullptr;
    ID3DXBuffer* pErrors = nullptr;
    EXPECT_EQ(D3DXCreateEffect(mp_pDevice, bad.data(), static_cast<UINT>(bad.size()), nullptr, nullptr, 0, nullptr,
                               &pEffect, &pErrors),
              D3DXERR_INVALIDDATA)
        << c.pWhat;
    EXPECT_EQ(pEffect, nullptr);
    ASSERT_NE(pErrors, nullptr) << c.pWhat;
    const std::string reason = static_cast<const char*>(pErrors->GetBufferPointer());
    EXPECT_NE(reason.find(c.pReason), std::string::npos) << c.pWhat << ": " << reason;
    pErrors->Release();
  }

  SD3DXEffectDescription broken = colourEffect();
  broken.shaders[1].code = "in vec4 v_color;\nvoid main() { out_Color = v_colour; }\n";
  const std::vector<BYTE> brokenImage = D3DXEffectFileWrite(broken);
  ID3DXEffect* pEffect = nullptr;
  ID3DXBuffer* pErrors = nullptr;
  EXPECT_EQ(D3DXCreateEffect(mp_pDevice, brokenImage.data(), static_cast<UINT>(brokenImage.size()), nullptr, nullptr, 0,
                             nullptr, &pEffect, &pErrors),
            E_FAIL);
  ASSERT_NE(pErrors, nullptr);
  EXPECT_NE(std::string(static_cast<const char*>(pErrors->GetBufferPointer())).find("does not compile"),
            std::string::npos);
  pErrors->Release();
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(mp_pDevice), 0u) << "nothing is left of a refused effect";
}

// The file round-trips, and the reader applies the rules of a valid effect.
TEST(D3DXEffectFile, RoundTripsAndRefusesBrokenRules) {
  SD3DXEffectDescription desc = premultipliedEffect();
  desc.parameters[2].annotations.push_back({"Second", "texture01"});
  const std::vector<BYTE> image = D3DXEffectFileWrite(desc);
  SD3DXEffectDescription read;
  std::string error;
  ASSERT_TRUE(D3DXEffectFileRead(image.data(), image.size(), &read, &error)) << error;
  ASSERT_EQ(read.parameters.size(), 3u);
  EXPECT_EQ(read.parameters[2].annotations[1].value, "texture01");
  EXPECT_EQ(read.passes[0].samplerStates.size(), 4u);
  EXPECT_EQ(read.shaders[1].code, desc.shaders[1].code);
  EXPECT_EQ(D3DXEffectFileWrite(read), image);

  auto refused = [](SD3DXEffectDescription bad, const char* pReason) {
    std::string why;
    const std::vector<BYTE> badImage = D3DXEffectFileWrite(bad);
    SD3DXEffectDescription out;
    EXPECT_FALSE(D3DXEffectFileRead(badImage.data(), badImage.size(), &out, &why)) << pReason;
    EXPECT_NE(why.find(pReason), std::string::npos) << why;
  };
  SD3DXEffectDescription bad = desc;
  bad.parameters[1].name = "in_Tint";
  refused(bad, "not a name");
  bad = desc;
  bad.parameters[1].name = bad.parameters[0].name;
  refused(bad, "declared twice");
  bad = desc;
  bad.passes[0].uiFragmentShader = 0;
  refused(bad, "one vertex and one fragment");
  bad = desc;
  bad.passes[0].renderStates.push_back({D3DRS_SRCBLEND, 99});
  refused(bad, "render state");
  bad = desc;
  bad.passes[0].samplerStates.push_back({0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR});
  refused(bad, "no texture parameter");
  bad = desc;
  bad.parameters[1].uiElements = 65;
  refused(bad, "size");
}

DWORD fxoWord(const std::vector<BYTE>& image, size_t uiOffset) {
  DWORD dwValue;
  std::memcpy(&dwValue, image.data() + uiOffset, 4);
  return dwValue;
}

// The reader never copies more than the file can justify: annotation ranges that overlap, one large text named
// by many records and over-long names are refused before they are copied; shared texts within the budget load.
TEST(D3DXEffectFile, CopiesStayInProportionToTheFile) {
  const std::string large(10000, 'x');
  struct SCase {
    const char* pWhat;
    std::vector<BYTE> image;
    const char* pReason;  // null: the file loads
  };
  std::vector<SCase> cases;
  // 100 parameters, the first holding 5 annotations of one shared 10 kB value; then every parameter names them all.
  SD3DXEffectDescription desc = colourEffect();
  for (int i = 0; i < 100; ++i) desc.parameters.push_back(numeric(("g_f" + std::to_string(i)).c_str(), "", 1));
  for (int i = 0; i < 5; ++i) desc.parameters[2].annotations.push_back({"Note" + std::to_string(i), large});
  std::vector<BYTE> image = D3DXEffectFileWrite(desc);
  cases.push_back({"5 annotations sharing a text", image, nullptr});
  const DWORD dwParameters = fxoWord(image, 24);
  for (size_t i = 0; i < desc.parameters.size(); ++i) {
    const DWORD dwFirstAndCount[] = {0, 5};
    std::memcpy(image.data() + dwParameters + i * gc_uiFXO_PARAMETER_SIZE + 28, dwFirstAndCount, 8);
  }
  cases.push_back({"overlapping annotation ranges", image, "annotations; the file holds"});
  // 600 parameters with one annotation each, all naming the same 10 kB value: 6 MB of copies from a 40 kB file.
  desc = colourEffect();
  for (int i = 0; i < 600; ++i) {
    desc.parameters.push_back(numeric(("g_f" + std::to_string(i)).c_str(), "", 1));
    desc.parameters.back().annotations.push_back({"Note", large});
  }
  cases.push_back({"one text named 600 times", D3DXEffectFileWrite(desc), "named more often than its size allows"});
  // Shaders with the same code share it in the file and are copied each.
  desc = colourEffect();
  desc.shaders.push_back(desc.shaders[1]);
  desc.shaders.back().name = "PS2";
  desc.shaders[1].code += "// " + large + "\n";
  desc.shaders[2].code = desc.shaders[1].code;
  cases.push_back({"two shaders sharing their code", D3DXEffectFileWrite(desc), nullptr});
  desc = colourEffect();
  desc.parameters[1].name = std::string(100000, 'g');
  cases.push_back({"a name of 100000 characters", D3DXEffectFileWrite(desc), "longer than 63 characters"});
  for (const SCase& c : cases) {
    SD3DXEffectDescription read;
    std::string error;
    EXPECT_EQ(D3DXEffectFileRead(c.image.data(), c.image.size(), &read, &error), c.pReason == nullptr)
        << c.pWhat << ": " << error;
    if (c.pReason != nullptr) {
      EXPECT_NE(error.find(c.pReason), std::string::npos) << c.pWhat << ": " << error;
    }
  }
}

// Without OpenGL the recording back end still runs effects, and only changed programs and textures reach it.
TEST_F(D3DXEffectTest, RecordingBackEndSeesOnlyChangedProgramsAndTextures) {
  D3D9TestUseRecordingBackend(true);
  createDevice();
  ID3DXEffect* pEffect = create(premultipliedEffect());
  ASSERT_NE(pEffect, nullptr);
  IDirect3DTexture9* pTexture = makeTexture(1, 1, {0xFFFFFFFFu});
  pEffect->SetTexture("g_tDiffuse", pTexture);
  D3D9TestClearLog(mp_pDevice);
  UINT uiPasses = 0;
  pEffect->Begin(&uiPasses, 0);
  pEffect->BeginPass(0);
  drawTexturedRect(0, 0, 8, 8, 0.5f, gc_uiWHITE);
  drawTexturedRect(0, 0, 8, 8, 0.5f, gc_uiWHITE);
  pEffect->EndPass();
  pEffect->End();
  drawRect(0, 0, 8, 8, 0.5f, gc_uiWHITE);
  std::vector<std::string> binds;
  for (const std::string& line : D3D9TestLog(mp_pDevice)) {
    if (line.rfind("useProgram", 0) == 0 || line.rfind("bindTexture", 0) == 0) binds.push_back(line);
  }
  ASSERT_EQ(binds.size(), 4u);
  EXPECT_EQ(binds[0].rfind("useProgram ", 0), 0u);
  EXPECT_EQ(binds[1].rfind("bindTexture 0 ", 0), 0u);
  EXPECT_EQ(binds[2], "useProgram 0") << "End went back to the fixed-function subset";
  EXPECT_EQ(binds[3], "bindTexture 0 0") << "and to the unit's texture before Begin";
}

}  // namespace

namespace {

// A system-memory surface copied into a render-target texture with UpdateSurface: the copy is only queued (a thread
// that never holds the device makes it without waiting for the device), the thread that draws with the texture
// carries it out, and a newer copy replaces one not yet carried out. Mismatched copies are refused.
TEST_F(D3DXEffectTest, UpdateSurfaceCopiesReachTheTextureOnTheDrawingThread) {
  createDevice();
  IDirect3DSurface9* pPlain = nullptr;
  EXPECT_EQ(mp_pDevice->CreateOffscreenPlainSurface(2, 2, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &pPlain, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(mp_pDevice->CreateOffscreenPlainSurface(2, 2, D3DFMT_D24S8, D3DPOOL_SYSTEMMEM, &pPlain, nullptr),
            D3DERR_INVALIDCALL);
  ASSERT_EQ(mp_pDevice->CreateOffscreenPlainSurface(2, 2, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &pPlain, nullptr),
            D3D_OK);
  m_objects.push_back(pPlain);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(pPlain->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
  EXPECT_EQ(desc.Width, 2u);
  D3DLOCKED_RECT locked{};
  const RECT part{0, 0, 1, 1};
  EXPECT_EQ(pPlain->LockRect(&locked, &part, 0), D3DERR_INVALIDCALL) << "whole surfaces only";
  EXPECT_EQ(pPlain->UnlockRect(), D3DERR_INVALIDCALL) << "not locked";

  IDirect3DTexture9* pTarget = nullptr;
  ASSERT_EQ(mp_pDevice->CreateTexture(2, 2, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &pTarget,
                                      nullptr),
            D3D_OK);
  m_objects.push_back(pTarget);
  IDirect3DSurface9* pLevel = nullptr;
  ASSERT_EQ(pTarget->GetSurfaceLevel(0, &pLevel), D3D_OK);
  m_objects.push_back(pLevel);

  // Another thread fills the surface and queues the copy while this thread holds the device throughout.
  const auto fill = [&](const std::vector<DWORD>& texels) {
    D3DLOCKED_RECT lockedRect{};
    if (FAILED(pPlain->LockRect(&lockedRect, nullptr, 0))) return false;
    EXPECT_EQ(pPlain->LockRect(&lockedRect, nullptr, 0), D3DERR_INVALIDCALL) << "locked once at a time";
    for (UINT y = 0; y < 2; ++y) {
      std::memcpy(static_cast<BYTE*>(lockedRect.pBits) + y * static_cast<UINT>(lockedRect.Pitch), &texels[y * 2], 8);
    }
    pPlain->UnlockRect();
    return mp_pDevice->UpdateSurface(pPlain, nullptr, pLevel, nullptr) == D3D_OK;
  };
  std::atomic<int> iDone{0};
  std::thread streaming([&] {
    if (fill({0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u}) &&
        fill({0xFFFF0000u, 0xFF00FF00u, 0xFF00FF00u, 0xFFFF0000u})) {
      iDone = 1;
    } else {
      iDone = 2;
    }
  });
  for (int i = 0; i < 2000 && iDone.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const int iResult = iDone.load();
  if (iResult == 0) Sleep(0);  // give the device up so a thread that wrongly waits for it can finish
  streaming.join();
  ASSERT_EQ(iResult, 1) << "the copy was queued without the device";

  ID3DXEffect* pEffect = create(premultipliedEffect());
  setPixelProjection(pEffect);
  drawPremultipliedQuad(pEffect, pTarget);
  EXPECT_EQ(pixel(4, 4), gc_uiRED) << "the newer copy replaced the older";
  EXPECT_EQ(pixel(27, 4), gc_uiGREEN);
  EXPECT_EQ(pixel(4, 27), gc_uiGREEN);

  // Refused: sizes or formats that differ, a source that is not in system memory, a destination outside the
  // default pool, rectangles.
  IDirect3DSurface9* pWide = nullptr;
  mp_pDevice->CreateOffscreenPlainSurface(4, 2, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &pWide, nullptr);
  m_objects.push_back(pWide);
  EXPECT_EQ(mp_pDevice->UpdateSurface(pWide, nullptr, pLevel, nullptr), D3DERR_INVALIDCALL);
  IDirect3DSurface9* pArgb = nullptr;
  mp_pDevice->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &pArgb, nullptr);
  m_objects.push_back(pArgb);
  EXPECT_EQ(mp_pDevice->UpdateSurface(pArgb, nullptr, pLevel, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mp_pDevice->UpdateSurface(pLevel, nullptr, pLevel, nullptr), D3DERR_INVALIDCALL);
  IDirect3DTexture9* pManaged = makeTexture(2, 2, {0, 0, 0, 0});
  IDirect3DSurface9* pManagedLevel = nullptr;
  pManaged->GetSurfaceLevel(0, &pManagedLevel);
  m_objects.push_back(pManagedLevel);
  EXPECT_EQ(mp_pDevice->UpdateSurface(pPlain, nullptr, pManagedLevel, nullptr), D3DERR_INVALIDCALL);
  const POINT origin{0, 0};
  EXPECT_EQ(mp_pDevice->UpdateSurface(pPlain, nullptr, pLevel, &origin), D3DERR_INVALIDCALL);

  // A copy still queued when its texture goes is dropped with it.
  EXPECT_EQ(mp_pDevice->UpdateSurface(pPlain, nullptr, pLevel, nullptr), D3D_OK);
}

// The display mode the renderer's allocator reads, and the one monitor.
TEST_F(D3DXEffectTest, DisplayModeAndMonitor) {
  createDevice();
  D3DDISPLAYMODE mode{};
  ASSERT_EQ(mp_pDevice->GetDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
  EXPECT_GT(mode.Width, 0u);
  EXPECT_GT(mode.RefreshRate, 0u);
  EXPECT_EQ(mp_pDevice->GetDisplayMode(1, &mode), D3DERR_INVALIDCALL);
  EXPECT_NE(mp_pD3D->GetAdapterMonitor(D3DADAPTER_DEFAULT), nullptr);
  EXPECT_EQ(mp_pD3D->GetAdapterMonitor(1), nullptr);
}

}  // namespace
