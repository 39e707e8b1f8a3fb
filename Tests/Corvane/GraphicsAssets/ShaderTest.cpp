// The shader manager and its shaders: effects loaded by name from an archive, the parameter scan, globals shared
// between effects and set by the setters, the overflow checks, begin/commit/end with the values reaching the
// pixels, the transforms from the matrix stacks, and the asynchronous load.
#include <gtest/gtest.h>

#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Math/ClWorldObject.h"
#include "Platform/D3D9/D3DX9.h"
#include "Platform/Win32/Win32.h"
#include "Tests/Corvane/GraphicsAssets/GraphicsAssetsTestSupport.h"

namespace {

constexpr const char* gc_apENGINE_EFFECTS[] = {"system_blend_premult",    "system_blend_color",      "system_copy_tv",
                                               "system_copy_nofiltering", "PostFx_ExtractThreshold", "PostFx_Blur15"};

class ShaderTest : public GraphicsAssetsTest {
 protected:
  // Every effect given, stored under Shaders/ in the archive GFX.
  void packEffects(const std::vector<std::string>& names, bool bInMemory = false) {
    std::vector<SMagPackInput> entries;
    for (const std::string& name : names) {
      const std::vector<u8> bytes = KvTestEffect(name);
      ASSERT_FALSE(bytes.empty()) << name;
      entries.push_back(packInput("Shaders\\" + name + ".fxo", bytes));
    }
    packArchive("GFX", entries, bInMemory);
  }

  // A shader of the caller's over an effect made from a compiled file (the scan runs in initFromEffect).
  static ID3DXEffect* effectOf(const std::string& name) {
    const std::vector<u8> bytes = KvTestEffect(name);
    ID3DXEffect* pEffect = nullptr;
    EXPECT_EQ(D3DXCreateEffect(ClGraphics::mp_pDevice, bytes.data(), static_cast<UINT>(bytes.size()), nullptr, nullptr,
                               D3DXFX_LARGEADDRESSAWARE, nullptr, &pEffect, nullptr),
              D3D_OK)
        << name;
    return pEffect;
  }

  static void initialiseScanGlobals() {
    const f32 afWeights[4] = {0.0f, 0.5f, 0.0f, 0.0f};
    ClShaderMgr::setGlobalFloatArray("g_afWeights", afWeights, 4);
    const f32 afVectors[8] = {0, 0, 0, 7, 0, 0, 1.0f, 7};
    ClShaderMgr::setGlobalVector3Array("g_av3Global", afVectors, 2);
    ClShaderMgr::setGlobalColor("g_v4Color", 0xFFFFFFFFu);
    // No setter takes float2 or matrix globals: their values are written as the records hold them.
    SShaderGlobalVar* pV2 = ClShaderMgr::findGlobalVar("g_v2Global");
    pV2->mp_afValues[0][1] = 0.25f;
    pV2->mp_bInitialized = 1;
    ClShaderMgr::findGlobalVar("g_mGlobal")->mp_bInitialized = 1;
  }
};

// The engine's effects load by name from an archive; a name that is not there is fatal with its text.
TEST_F(ShaderTest, EffectsLoadFromAnArchiveByName) {
  packEffects(std::vector<std::string>(std::begin(gc_apENGINE_EFFECTS), std::end(gc_apENGINE_EFFECTS)));
  for (const char* pName : gc_apENGINE_EFFECTS) {
    ClShader* pShader = ClShaderMgr::createShader(pName);
    ASSERT_NE(pShader, nullptr) << pName;
    EXPECT_NE(pShader->getEffect(), nullptr);
    EXPECT_EQ(ClShaderMgr::getShader(pName), pShader);
    EXPECT_EQ(ClShaderMgr::getShaderByHash(KvStrHash(pName)), pShader);
    EXPECT_NE(pShader->mp_pFileRef, nullptr) << "the shader keeps the bytes it was made from";
  }
  EXPECT_EQ(ClShaderMgr::getShader("system_copy_tv")->mp_texParams.mp_iNumTextures, 4);
  EXPECT_KV_FATAL(ClShaderMgr::getShader("vosk_bullet"), "ClShaderMgr::getShader() -> Could not find shader [vosk_bullet]!");
  EXPECT_KV_FATAL(ClShaderMgr::getShaderByHash(0x1234ABCDu), "Could not find shader [0x1234ABCD]!");
  EXPECT_KV_FATAL(ClShaderMgr::createShader("vosk_bullet"), "Could not open shader data file [vosk_bullet]!");

  // A shader draws as itself unless its override names another registered one (looked up once, then cached).
  ClShader* pPremult = ClShaderMgr::getShader("system_blend_premult");
  ClShader* pColor = ClShaderMgr::getShader("system_blend_color");
  EXPECT_EQ(pPremult->resolveOverride(), pPremult);
  pPremult->setOverrideName("system_blend_color");
  EXPECT_EQ(pPremult->resolveOverride(), pColor);
  EXPECT_EQ(pPremult->mp_pOverrideShader, pColor);
  pPremult->setOverrideName("vosk_blend_premult_zwrite");
  EXPECT_KV_ASSERT(pPremult->resolveOverride(), "Shader override [vosk_blend_premult_zwrite] is not loaded.");
  pPremult->setOverrideName(nullptr);
  EXPECT_EQ(pPremult->resolveOverride(), pPremult);
}

// The scan records the transform semantics in their order, the globals with their types (semantic "GLOBAL" in
// that case only), the per-object values, and one texture record per matching annotation.
TEST_F(ShaderTest, ScanFindsSemanticsGlobalsPerObjectValuesAndSamplers) {
  packEffects({"scan"});
  ClShader* pShader = ClShaderMgr::createShader("scan");
  ASSERT_EQ(pShader->mp_semanticBindings.mp_iNum, 3);
  EXPECT_EQ(pShader->mp_semanticBindings.mp_aBindings[0].mp_eKind, E_SHADER_SEMANTIC_WORLDVIEWPROJ);
  EXPECT_EQ(pShader->mp_semanticBindings.mp_aBindings[1].mp_eKind, E_SHADER_SEMANTIC_VIEWPROJ);
  EXPECT_EQ(pShader->mp_semanticBindings.mp_aBindings[2].mp_eKind, E_SHADER_SEMANTIC_WORLD);

  ASSERT_EQ(pShader->mp_globalParams.mp_iNum, 5);
  struct SExpected {
    const char* pName;
    i32 eType;
    i32 iSize;
  };
  for (const SExpected& e : {SExpected{"g_afWeights", E_SHADER_VAR_FLOAT, 4}, SExpected{"g_v2Global", E_SHADER_VAR_FLOAT2, 1},
                             SExpected{"g_av3Global", E_SHADER_VAR_FLOAT3, 2}, SExpected{"g_v4Color", E_SHADER_VAR_FLOAT4, 1},
                             SExpected{"g_mGlobal", E_SHADER_VAR_MATRIX, 1}}) {
    const SShaderGlobalVar* pVar = ClShaderMgr::findGlobalVar(e.pName);
    ASSERT_NE(pVar, nullptr) << e.pName;
    EXPECT_EQ(pVar->mp_eType, e.eType) << e.pName;
    EXPECT_EQ(pVar->mp_iArraySize, e.iSize) << e.pName;
    EXPECT_EQ(pVar->mp_bInitialized, 0);
  }
  EXPECT_STREQ(pShader->mp_globalParams.mp_aParams[0].mp_szName, "g_afWeights");
  EXPECT_EQ(ClShaderMgr::findGlobalVar("g_fLowerCase"), nullptr) << "\"global\" is not \"GLOBAL\"";

  ASSERT_EQ(pShader->mp_customPerObjParams.mp_iNum, 2);
  EXPECT_STREQ(pShader->mp_customPerObjParams.mp_aParams[0].mp_szName, "g_v4Tint");
  EXPECT_EQ(pShader->mp_customPerObjParams.mp_aParams[0].mp_eType, E_SHADER_VAR_FLOAT4);
  EXPECT_EQ(pShader->mp_customPerObjParams.mp_aParams[1].mp_eType, E_SHADER_VAR_FLOAT);
  EXPECT_EQ(pShader->mp_customPerObjParams.mp_aParams[1].mp_iNumElements, 3);

  ASSERT_EQ(pShader->mp_texParams.mp_iNumTextures, 3);
  EXPECT_EQ(pShader->mp_texParams.mp_aParams[0].mp_iSamplerIndex, 0);
  EXPECT_EQ(pShader->mp_texParams.mp_aParams[1].mp_iSamplerIndex, 2) << "a second matching annotation, recorded again";
  EXPECT_EQ(pShader->mp_texParams.mp_aParams[0].mp_hParam, pShader->mp_texParams.mp_aParams[1].mp_hParam);
  EXPECT_EQ(pShader->mp_texParams.mp_aParams[2].mp_iSamplerIndex, 1);
}

// Effects declaring the same global share one record; another type for it is fatal; the setters keep their rules.
TEST_F(ShaderTest, GlobalsAreSharedAndKeepTheirTypes) {
  packEffects({"PostFx_ExtractThreshold", "shared_threshold", "PostFx_Blur15", "clash_float3", "clash_float4"});
  ClShaderMgr::createShader("PostFx_ExtractThreshold");
  const i32 iRecords = ClShaderMgr::mp_globalVarPool.getCount();
  ClShaderMgr::createShader("shared_threshold");
  EXPECT_EQ(ClShaderMgr::mp_globalVarPool.getCount(), iRecords) << "one record for both effects";
  const f32 fThreshold = 0.75f;
  ClShaderMgr::setGlobalFloatArray("g_fBlurThreshold", &fThreshold, 1);
  EXPECT_EQ(ClShaderMgr::getGlobalVar("g_fBlurThreshold")->mp_afValues[0][0], 0.75f);

  ClShaderMgr::createShader("PostFx_Blur15");
  f32 afWeights[15];
  for (i32 i = 0; i < 15; ++i) afWeights[i] = static_cast<f32>(i);
  ClShaderMgr::setGlobalFloatArray("g_afBlurWeights", afWeights, 15);
  const f32 afTwo[2] = {-1.0f, -2.0f};
  ClShaderMgr::setGlobalFloatArray("g_afBlurWeights", afTwo, 2);
  const f32* pValues = &ClShaderMgr::getGlobalVar("g_afBlurWeights")->mp_afValues[0][0];
  EXPECT_EQ(pValues[1], -2.0f);
  EXPECT_EQ(pValues[2], 2.0f) << "elements past the count keep their values";
  EXPECT_KV_FATAL(ClShaderMgr::setGlobalFloatArray("g_afBlurWeights", afWeights, 16),
                  "Global shader variable 'g_afBlurWeights' type mismatch!");
  f32 afOffsets[60];
  for (i32 i = 0; i < 60; ++i) afOffsets[i] = static_cast<f32>(i + 1);
  ClShaderMgr::setGlobalVector3Array("g_av2BlurOffsets", afOffsets, 15);
  const SShaderGlobalVar* pOffsets = ClShaderMgr::getGlobalVar("g_av2BlurOffsets");
  EXPECT_EQ(pOffsets->mp_afValues[1][2], 7.0f);
  EXPECT_EQ(pOffsets->mp_afValues[1][3], 0.0f) << "w is 0";
  EXPECT_KV_FATAL(ClShaderMgr::setGlobalVector3Array("g_afBlurWeights", afOffsets, 1),
                  "Global shader variable 'g_afBlurWeights' type mismatch!");
  EXPECT_KV_FATAL(ClShaderMgr::setGlobalColor("g_afBlurWeights", 0xFFFFFFFFu), "type mismatch!");
  ClShaderMgr::setGlobalColor("g_av2BlurOffsets", 0x80FF0000u);
  EXPECT_FLOAT_EQ(ClShaderMgr::getGlobalVar("g_av2BlurOffsets")->mp_afValues[0][3], 128.0f / 255.0f);
  EXPECT_KV_FATAL(ClShaderMgr::setGlobalFloatArray("g_fBlurDestColor", afTwo, 1),
                  "Set: cannot find global shader variable 'g_fBlurDestColor' in shaders?!");
  EXPECT_KV_FATAL(ClShaderMgr::getGlobalVar("g_fGammaFactor"), "Cannot find global shader variable 'g_fGammaFactor'");

  ClShaderMgr::createShader("clash_float3");
  EXPECT_KV_FATAL(ClShaderMgr::getGlobalVar("g_vShared"), "Global shader variable 'g_vShared' was never initialized!");
  // The clash stops the scan of a shader of the test's own, which then frees what it holds.
  ClShader shader;
  EXPECT_KV_FATAL(shader.initFromEffect(effectOf("clash_float4")),
                  "Global shader variable 'g_vShared' is used with mismatching types!");
}

// Every count is checked before its record is written: the 33rd global, the 17th per-object value and the 9th
// texture stop the scan with the counts at the limit and the next member untouched.
TEST_F(ShaderTest, OverflowsStopBeforeWritingPastTheRecords) {
  {
    ClShader shader;
    shader.initFromEffect(effectOf("globals_32"));
    EXPECT_EQ(shader.mp_globalParams.mp_iNum, MAX_PARAMGLOBAL);
  }
  {
    ClShader shader;
    EXPECT_KV_ASSERT(shader.initFromEffect(effectOf("globals_33")), "mp_globalParams.mp_iNum < MAX_PARAMGLOBAL");
    EXPECT_EQ(shader.mp_globalParams.mp_iNum, MAX_PARAMGLOBAL);
  }
  {
    ClShader shader;
    EXPECT_KV_ASSERT(shader.initFromEffect(effectOf("perobj_17")),
                     "mp_customPerObjParams.mp_iNum < MAX_CUSTOM_PARAM_PER_SHADER");
    EXPECT_EQ(shader.mp_customPerObjParams.mp_iNum, MAX_CUSTOM_PARAM_PER_SHADER);
    EXPECT_EQ(shader.mp_texParams.mp_iNumTextures, 0) << "the member after the records is untouched";
  }
  {
    ClShader shader;
    EXPECT_KV_ASSERT(shader.initFromEffect(effectOf("samplers_9")), "mp_texParams.mp_iNumTextures < MAX_TEXTURES_PER_SET");
    EXPECT_EQ(shader.mp_texParams.mp_iNumTextures, MAX_TEXTURES_PER_SET);
    EXPECT_EQ(shader.mp_globalParams.mp_iNum, 0) << "the member after the records is untouched";
  }
  {
    ClShader shader;
    EXPECT_KV_ASSERT(shader.initFromEffect(effectOf("global_name_40")), "strlen(paramDesc.Name) < MAX_GLOBAL_NAMELEN");
  }
  {
    ClShader shader;
    EXPECT_KV_ASSERT(shader.initFromEffect(effectOf("matrix_global_9")), "a matrix array holds at most 8 elements");
  }
  // The pool of 128 records: the 129th distinct name is an assertion naming it.
  for (i32 i = ClShaderMgr::mp_globalVarPool.getCount(); i < gc_iMAX_GLOBAL_SHADER_VARS; ++i) {
    ClShaderMgr::registerGlobalVar(("g_fFiller" + std::to_string(i)).c_str(), E_SHADER_VAR_FLOAT, 1);
  }
  EXPECT_KV_ASSERT(ClShaderMgr::registerGlobalVar("g_fOneTooMany", E_SHADER_VAR_FLOAT, 1), "mp_globalVarPool");
  EXPECT_KV_ASSERT(ClShaderMgr::registerGlobalVar("g_fTooLong", E_SHADER_VAR_FLOAT, 33),
                   "iArraySize <= MAX_SHADERVAR_ARRAYSIZE");
}

// Begin sets every global from its record and commits; with the per-object values and the transforms the pixels
// show all of them. A second pass, an undefined sampler and a per-object value of the wrong type stop.
TEST_F(ShaderTest, BeginCommitAndEndCarryTheValuesToThePixels) {
  packEffects({"scan", "two_passes"});
  ClShader* pShader = ClShaderMgr::createShader("scan");
  EXPECT_KV_FATAL(pShader->begin(), "Global shader variable 'g_afWeights' was never initialized!");
  pShader->end();
  initialiseScanGlobals();
  ClGraphics::pushOrtho2D(ClGraphics::mp_fScreenWidth, ClGraphics::mp_fScreenHeight);
  clear(0xFF000000u);
  pShader->begin();
  pShader->setTransforms(nullptr);
  SShaderPerObjectParamList list{};
  list.mp_iNum = 1;
  std::strcpy(list.mp_aParams[0].mp_szName, "g_v4Tint");
  list.mp_aParams[0].mp_eType = E_SHADER_VAR_FLOAT4;
  list.mp_aParams[0].mp_iNumElements = 1;
  const f32 afTint[4] = {1.0f, 1.0f, 0.5f, 1.0f};
  std::memcpy(list.mp_aParams[0].mp_afValues[0], afTint, sizeof(afTint));
  pShader->setPerObjectParams(&list);
  pShader->setPerObjectParams(nullptr);
  pShader->commitChanges();
  drawQuad(10, 10, 40, 30, 0xFFFFFFFFu);
  pShader->end();
  // (1 x 1 x 0.5 weight, 1 x 1 x 0.25, 1 x 0.5 x 1.0) within rounding.
  EXPECT_TRUE(near(pixel(20, 20), 0xFF804080u, 2)) << std::hex << pixel(20, 20);
  EXPECT_EQ(pixel(50, 20), 0xFF000000u);

  list.mp_aParams[0].mp_eType = E_SHADER_VAR_FLOAT3;
  pShader->begin();
  EXPECT_KV_ASSERT(pShader->setPerObjectParams(&list), "Shader variable type mismatch");
  EXPECT_KV_FATAL(pShader->setTexture(5, nullptr),
                  "Texture in slot 'sampler05' is not defined in shader, but is set in the SIGNATURE!");
  pShader->end();
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);

  ClShader* pTwoPasses = ClShaderMgr::createShader("two_passes");
  EXPECT_KV_ASSERT(pTwoPasses->begin(), "uiPasses == 1");
  pTwoPasses->getEffect()->End();
}

// WORLDVIEWPROJ is WORLD x VIEW x PROJECTION of the device with the object's transform pushed, WORLD the device's
// world; the push is undone afterwards.
TEST_F(ShaderTest, WorldViewProjectionComesFromTheStoredTransforms) {
  packEffects({"scan"});
  ClShader* pShader = ClShaderMgr::createShader("scan");
  ClGraphics::pushOrtho2D(320.0f, 240.0f);
  kv_matrix world;
  world.m[0][3] = 5.0f;  // the stacks' layout: translation in the fourth column
  world.m[1][3] = -3.0f;
  ClGraphics::pushMatrix(E_MATRIX_STACK_WORLD, world);
  ClWorldObject object;
  object.setWorldPosition(kv_vector3{2.0f, 1.0f, 0.0f});
  const i32 iWorldDepth = ClGraphics::getMatrixStackDepth(E_MATRIX_STACK_WORLD);
  pShader->setTransforms(&object);
  EXPECT_EQ(ClGraphics::getMatrixStackDepth(E_MATRIX_STACK_WORLD), iWorldDepth);

  D3DXMATRIX wvp{};
  ID3DXEffect* pEffect = pShader->getEffect();
  ASSERT_EQ(pEffect->GetMatrix(pEffect->GetParameterBySemantic(nullptr, "WORLDVIEWPROJ"), &wvp), D3D_OK);
  // A point at the origin moves by the object (2, 1) and the world (5, -3): pixel (7, -2).
  const f32 fX = wvp.m[3][0] / wvp.m[3][3];
  const f32 fY = wvp.m[3][1] / wvp.m[3][3];
  EXPECT_NEAR(fX, 2.0f * 7.0f / 320.0f - 1.0f, 1e-5f);
  EXPECT_NEAR(fY, 1.0f - 2.0f * -2.0f / 240.0f, 1e-5f);
  D3DXMATRIX worldParam{};
  pEffect->GetMatrix(pEffect->GetParameterBySemantic(nullptr, "WORLD"), &worldParam);
  EXPECT_EQ(worldParam.m[3][0], 7.0f) << "the device's world with the object pushed";
  D3DXMATRIX untouched{};
  pEffect->GetMatrix(pEffect->GetParameterBySemantic(nullptr, "VIEWPROJ"), &untouched);
  EXPECT_EQ(untouched.m[0][0], 0.0f) << "VIEWPROJ is recorded but set by nothing";
  ClGraphics::popMatrix(E_MATRIX_STACK_WORLD);
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
}

// The asynchronous load: a plain entry through the loader's steps, the last request setting the flag; an entry the
// archive stores compressed is read through the decoding path instead of reaching D3DX undecoded.
TEST_F(ShaderTest, AsynchronousLoadsMakeTheirEffects) {
  std::vector<u8> compressedTable;
  {
    // An archive whose one entry is stored compressed under an effect's name: packed under another extension (the
    // packer keeps effects plain), then the record's name hash set to the effect's path.
    std::vector<SMagPackInput> entries = {packInput("Shaders\\packed.fxz", KvTestEffect("system_blend_color"), true)};
    std::vector<SMagPackedEntry> packed;
    std::string error;
    ASSERT_TRUE(MagWriteArchive(m_root, "ZIP", "", entries, &packed, &error)) << error;
    ASSERT_TRUE(packed[0].bCompressed);
    std::vector<u8> toc = KvReadFileBytes(MagTOCFileName(m_root, "ZIP"));
    u32 uiTable = 0;
    u32 uiRecord = 0;
    std::memcpy(&uiTable, toc.data(), 4);
    std::memcpy(&uiRecord, toc.data() + uiTable, 4);
    const u32 uiHash = KvStrHash("Shaders\\compressed.fxo");
    std::memcpy(toc.data() + uiRecord + 8, &uiHash, 4);
    KvWriteFileBytes(MagTOCFileName(m_root, "ZIP"), toc);
    ASSERT_EQ(ClMagFileIO::loadTOC("ZIP"), 1);
  }
  packEffects({"system_blend_premult", "system_copy_nofiltering"});

  ClShader first;
  ClShader second;
  ASSERT_TRUE(first.load("system_blend_premult"));
  ASSERT_TRUE(second.load("system_copy_nofiltering"));
  EXPECT_EQ(ClShaderMgr::mp_pLastRequestedShaderEntry, second.mp_pAsyncRequest);
  for (i32 i = 0; i < 200 && ClShaderMgr::mp_bAllShadersLoaded == 0; ++i) {
    SleepEx(0, TRUE);
    ClAsyncAssetLoaderMgr::tick();
    ClAsyncAssetLoaderMgr::dispatchFinished();
  }
  EXPECT_EQ(ClShaderMgr::mp_bAllShadersLoaded, 1u);
  ASSERT_NE(first.getEffect(), nullptr);
  ASSERT_NE(second.getEffect(), nullptr);
  EXPECT_EQ(first.mp_texParams.mp_iNumTextures, 1);

  ClShader compressed;
  ClShaderMgr::mp_bAllShadersLoaded = 0;
  ASSERT_TRUE(compressed.load("compressed"));
  EXPECT_EQ(compressed.mp_pAsyncRequest, nullptr) << "no request for an entry the asynchronous reader cannot serve";
  ASSERT_NE(compressed.getEffect(), nullptr);
  EXPECT_EQ(compressed.mp_globalParams.mp_iNum, 0);
  EXPECT_EQ(ClShaderMgr::mp_bAllShadersLoaded, 1u) << "nothing else is waiting";
  // The shaders release their requests before the loader shuts down.
  first.release();
  second.release();
}

}  // namespace
