// Signatures and texture sets: interning, the release cascade and the pools' limits; setSignature's filtering of
// redundant state (with a shader that records what it is asked); quads drawn through the engine's effects with the
// right pixels; and everything drawing again after an injected device loss.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Corvane/Math/ClWorldObject.h"
#include "Tests/Corvane/GraphicsAssets/GraphicsAssetsTestSupport.h"
#include "Tests/Support/ImageTestSupport.h"

namespace {

// Records the calls setSignature makes instead of reaching an effect.
class CRecordingShader : public ClShader {
 public:
  explicit CRecordingShader(std::vector<std::string>* pCalls, const char* pName) : mp_pCalls(pCalls), m_name(pName) {}
  void begin() override { mp_pCalls->push_back(m_name + ".begin"); }
  void end() override { mp_pCalls->push_back(m_name + ".end"); }
  void commitChanges() override { mp_pCalls->push_back(m_name + ".commit"); }
  void setTexture(i32 iSampler, ClTextureBase* pTexture) override {
    mp_pCalls->push_back(m_name + ".texture" + std::to_string(iSampler) + "=" +
                         static_cast<ClTexture*>(pTexture)->mp_szName);
  }
  void setTransforms(const ClWorldObject* pObject) override {
    mp_pCalls->push_back(m_name + (pObject == &g_defaultObjectTransform ? ".transforms" : ".transforms?"));
  }
  void setPerObjectParams(const SShaderPerObjectParamList*) override {}

 private:
  std::vector<std::string>* mp_pCalls;
  std::string m_name;
};

class SignatureTest : public GraphicsAssetsTest {
 protected:
  ClTexture* namedTexture(const char* pName) {
    m_textures.emplace_back(new ClTexture());
    std::strcpy(m_textures.back()->mp_szName, pName);
    return m_textures.back().get();
  }
  // Takes the calls recorded so far.
  std::vector<std::string> calls() {
    std::vector<std::string> taken;
    taken.swap(m_calls);
    return taken;
  }
  void packEngineEffects() {
    std::vector<SMagPackInput> entries;
    for (const char* pName : {"system_blend_color", "system_blend_premult"}) {
      entries.push_back(packInput(std::string("Shaders\\") + pName + ".fxo", KvTestEffect(pName)));
    }
    packArchive("RWN", entries, true);
  }

  std::vector<std::unique_ptr<ClTexture>> m_textures;
  std::vector<std::string> m_calls;
};

// Equal pairs are one record; sets compare by their pairs in order, signatures by the set's address.
TEST_F(SignatureTest, EqualPairsAreOneRecord) {
  CRecordingShader shaderA(&m_calls, "A");
  CRecordingShader shaderB(&m_calls, "B");
  ClTexture* pT1 = namedTexture("t1");
  ClTexture* pT2 = namedTexture("t2");
  STextureSet* pSet = ClSignatureMgr::getTexSet(pT1);
  EXPECT_EQ(ClSignatureMgr::getTexSet(pT1), pSet);
  EXPECT_EQ(pSet->mp_uiCount, 1u);
  EXPECT_EQ(pSet->mp_aSlots[1].mp_pTexture, nullptr) << "slots past the count are zero";
  SRenderSignature* pSignature = ClSignatureMgr::getSignature(&shaderA, pSet);
  EXPECT_EQ(ClSignatureMgr::getSignature(&shaderA, ClSignatureMgr::getTexSet(pT1)), pSignature);
  EXPECT_NE(ClSignatureMgr::getSignature(&shaderB, pSet), pSignature);
  EXPECT_NE(ClSignatureMgr::getSignatureNoTex(&shaderA), pSignature) << "no textures never matches a set";
  EXPECT_EQ(ClSignatureMgr::getSignatureNoTex(&shaderA), ClSignatureMgr::getSignatureNoTex(&shaderA));
  EXPECT_EQ(ClSignatureMgr::getSignatureNoTex(&shaderA)->mp_pTextureSet, nullptr);

  STextureSet* pPair = ClSignatureMgr::getTexSet2(pT1, pT2);
  STextureSet* pSwapped = ClSignatureMgr::getTexSet2(pT2, pT1);
  EXPECT_NE(pPair, pSwapped);
  EXPECT_EQ(pPair->mp_aSlots[1].mp_uiSamplerIndex, 1u);
  EXPECT_NE(ClSignatureMgr::getSignature(&shaderA, pPair), ClSignatureMgr::getSignature(&shaderA, pSwapped));
  EXPECT_NE(ClSignatureMgr::getTexSet4(pT1, pT2, pT1, pT2), pPair);
  EXPECT_KV_ASSERT(ClSignatureMgr::getTexSet4(pT1, pT2, nullptr, pT2), "pTexBase1 && pTexBase2 && pTexBase3 && pTexBase4");
  EXPECT_KV_ASSERT(ClSignatureMgr::getSignature(nullptr, pSet), "pShader");
  EXPECT_KV_ASSERT(ClSignatureMgr::getSignature(&shaderA, nullptr), "pTexSet");
  EXPECT_KV_FATAL(ClSignatureMgr::getSignatureByHash(0xCAFEu, pT1), "Could not find shader [0x    CAFE]!");
}

// Releasing a texture frees every set holding it and every signature using those sets; asking again builds new
// records. Other records stay.
TEST_F(SignatureTest, ReleasingATextureFreesItsSetsAndSignatures) {
  CRecordingShader shader(&m_calls, "A");
  ClTexture* pT1 = namedTexture("t1");
  ClTexture* pT2 = namedTexture("t2");
  SRenderSignature* pKept = ClSignatureMgr::getSignature(&shader, ClSignatureMgr::getTexSet(pT2));
  ClSignatureMgr::getSignature(&shader, ClSignatureMgr::getTexSet(pT1));
  ClSignatureMgr::getSignature(&shader, ClSignatureMgr::getTexSet2(pT2, pT1));
  ClSignatureMgr::getSignatureNoTex(&shader);
  EXPECT_EQ(ClSignatureMgr::mp_texSetPool.getCount(), 3);
  EXPECT_EQ(ClSignatureMgr::mp_signaturePool.getCount(), 4);
  ClSignatureMgr::releaseTexture(pT1);
  EXPECT_EQ(ClSignatureMgr::mp_texSetPool.getCount(), 1);
  EXPECT_EQ(ClSignatureMgr::mp_signaturePool.getCount(), 2);
  EXPECT_EQ(ClSignatureMgr::getSignature(&shader, ClSignatureMgr::getTexSet(pT2)), pKept);
  SRenderSignature* pNew = ClSignatureMgr::getSignature(&shader, ClSignatureMgr::getTexSet(pT1));
  EXPECT_EQ(pNew->mp_pTextureSet->mp_aSlots[0].mp_pTexture, pT1);
  EXPECT_EQ(ClSignatureMgr::mp_signaturePool.getCount(), 3);
  EXPECT_KV_ASSERT(ClSignatureMgr::releaseTexture(nullptr), "pTex");
}

// 1024 distinct sets and signatures fit; the 1025th of each is the assertion "pNew".
TEST_F(SignatureTest, The1025thRecordAsserts) {
  CRecordingShader shader(&m_calls, "A");
  std::vector<ClTexture> textures(gc_iMAX_TEXTURE_SETS + 1);
  for (i32 i = 0; i < gc_iMAX_TEXTURE_SETS; ++i) {
    ClSignatureMgr::getSignature(&shader, ClSignatureMgr::getTexSet(&textures[static_cast<size_t>(i)]));
  }
  EXPECT_EQ(ClSignatureMgr::mp_texSetPool.getCount(), gc_iMAX_TEXTURE_SETS);
  EXPECT_EQ(ClSignatureMgr::mp_signaturePool.getCount(), gc_iMAX_SIGNATURES);
  EXPECT_KV_ASSERT(ClSignatureMgr::getTexSet(&textures.back()), "pNew");
  EXPECT_KV_ASSERT(ClSignatureMgr::getSignatureNoTex(&shader), "pNew");
  EXPECT_EQ(ClSignatureMgr::getTexSet(&textures[7]), ClSignatureMgr::mp_texSetPool.get(7)) << "found ones still answer";
}

// setSignature does only what changed: the same signature twice nothing; a new texture set binds its textures and
// commits; a new shader ends the old one, binds every texture, begins (its globals), gets its per-object set-up
// and commits once.
TEST_F(SignatureTest, SetSignatureFiltersRedundantState) {
  CRecordingShader shaderA(&m_calls, "A");
  CRecordingShader shaderB(&m_calls, "B");
  ClTexture* pT1 = namedTexture("t1");
  ClTexture* pT2 = namedTexture("t2");
  STextureSet* pSet1 = ClSignatureMgr::getTexSet(pT1);
  STextureSet* pSet12 = ClSignatureMgr::getTexSet2(pT1, pT2);

  ClGraphics::setSignature(ClSignatureMgr::getSignature(&shaderA, pSet1));
  EXPECT_EQ(calls(), (std::vector<std::string>{"A.texture0=t1", "A.begin", "A.transforms", "A.commit"}));
  ClGraphics::setSignature(ClSignatureMgr::getSignature(&shaderA, pSet1));
  EXPECT_TRUE(calls().empty()) << "the same signature again";
  ClGraphics::setSignature(ClSignatureMgr::getSignature(&shaderA, pSet12));
  EXPECT_EQ(calls(), (std::vector<std::string>{"A.texture0=t1", "A.texture1=t2", "A.commit"}));
  ClGraphics::setSignature(ClSignatureMgr::getSignatureNoTex(&shaderA));
  EXPECT_EQ(calls(), (std::vector<std::string>{"A.commit"})) << "a null set is a change without binding";
  ClGraphics::setSignature(ClSignatureMgr::getSignature(&shaderB, pSet12));
  EXPECT_EQ(calls(), (std::vector<std::string>{"A.end", "B.texture0=t1", "B.texture1=t2", "B.begin", "B.transforms",
                                               "B.commit"}));
  // Another shader with the set already current: ending the old shader forgot the set, so all of it is bound.
  ClGraphics::setSignature(ClSignatureMgr::getSignature(&shaderA, pSet12));
  EXPECT_EQ(calls(), (std::vector<std::string>{"B.end", "A.texture0=t1", "A.texture1=t2", "A.begin", "A.transforms",
                                               "A.commit"}));
  ClGraphics::endSignature();
  EXPECT_EQ(calls(), (std::vector<std::string>{"A.end"}));
  ClGraphics::endSignature();
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(ClGraphics::mp_pCurrentShader, nullptr);
}

// Through the engine's effects: a blend-colour quad blends its vertex colour, a premultiplied quad its texture.
TEST_F(SignatureTest, BlendColourAndPremultipliedQuadsDrawTheirPixels) {
  packEngineEffects();
  ClShaderMgr::createShader("system_blend_color");
  ClShaderMgr::createShader("system_blend_premult");
  // Left half opaque red, right half premultiplied half white.
  std::vector<uint32_t> texels(8 * 8);
  for (size_t i = 0; i < texels.size(); ++i) texels[i] = (i % 8) < 4 ? 0xFFFF0000u : 0x80808080u;
  writeLoose("Images/Half.png", KvTestEncodeImage(texels, 8, 8, ETestImageFormat::PNG));
  ClTexture* pTexture = ClTextureMgr::loadTexture("Images/Half", 1);
  ASSERT_NE(pTexture, nullptr);

  ClGraphics::pushOrtho2D(ClGraphics::mp_fScreenWidth, ClGraphics::mp_fScreenHeight);
  clear(0xFF0000FFu);
  ClGraphics::setSignature(ClSignatureMgr::getSignatureNoTex(ClShaderMgr::getShader("system_blend_color")));
  drawQuad(10, 10, 30, 30, 0x80FF0000u);
  drawQuad(40, 10, 60, 30, 0xFF00FF00u);
  ClGraphics::setSignature(ClSignatureMgr::getSignatureByName("system_blend_premult", pTexture));
  drawQuad(100, 10, 164, 74, 0xFFFFFFFFu);
  drawQuad(200, 10, 264, 74, 0x80FFFFFFu);
  ClGraphics::endSignature();
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);

  // Tolerances: 2 per channel for the blends' rounding.
  EXPECT_TRUE(near(pixel(20, 20), 0xFF800080u, 2)) << std::hex << pixel(20, 20);
  EXPECT_EQ(pixel(50, 20), 0xFF00FF00u);
  EXPECT_EQ(pixel(35, 20), 0xFF0000FFu);
  EXPECT_EQ(pixel(110, 40), 0xFFFF0000u) << "opaque texels cover";
  EXPECT_TRUE(near(pixel(150, 40), 0xFF8080FFu, 2)) << std::hex << pixel(150, 40) << ": premultiplied half white";
  // Faded to half by the vertex colour: red at half over blue; the half white at a quarter over blue.
  EXPECT_TRUE(near(pixel(210, 40), 0xFF800080u, 2)) << std::hex << pixel(210, 40);
  EXPECT_TRUE(near(pixel(250, 40), 0xFF4040FFu, 2)) << std::hex << pixel(250, 40);
}

// An injected device loss: the effects leave the default pool so the Reset goes through, come back after it, and
// the managed textures survive; the same draw gives the same pixels afterwards.
TEST_F(SignatureTest, EverythingDrawsAgainAfterAnInjectedDeviceLoss) {
  packEngineEffects();
  ClShaderMgr::createShader("system_blend_color");
  ClShaderMgr::createShader("system_blend_premult");
  writeLoose("Images/Red.png", KvTestEncodeImage(std::vector<uint32_t>(16, 0xFFFF0000u), 4, 4, ETestImageFormat::PNG));
  ClTexture* pTexture = ClTextureMgr::loadTexture("Images/Red", 1);
  auto drawFrame = [&]() {
    ClGraphics::pushOrtho2D(ClGraphics::mp_fScreenWidth, ClGraphics::mp_fScreenHeight);
    clear(0xFF000000u);
    ClGraphics::setSignature(ClSignatureMgr::getSignatureNoTex(ClShaderMgr::getShader("system_blend_color")));
    drawQuad(10, 10, 30, 30, 0xFF00FF00u);
    ClGraphics::setSignature(ClSignatureMgr::getSignatureByName("system_blend_premult", pTexture));
    drawQuad(40, 10, 60, 30, 0xFFFFFFFFu);
    ClGraphics::endSignature();
    ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
    ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
  };
  drawFrame();
  EXPECT_EQ(pixel(20, 20), 0xFF00FF00u);
  EXPECT_EQ(pixel(50, 20), 0xFFFF0000u);

  D3D9TestLoseDevice(ClGraphics::mp_pDevice);
  ClGraphics::endFrame();
  EXPECT_EQ(ClGraphics::mp_bDeviceLost.load(), 1u);
  for (i32 i = 0; i < 20 && ClGraphics::mp_bDeviceLost.load(); ++i) {
    ClGraphics::endFrame();
  }
  ASSERT_EQ(ClGraphics::mp_bDeviceLost.load(), 0u) << "the Reset went through with the effects released";
  ASSERT_EQ(ClGraphics::mp_bReady.load(), 1u);
  drawFrame();
  EXPECT_EQ(pixel(20, 20), 0xFF00FF00u);
  EXPECT_EQ(pixel(50, 20), 0xFFFF0000u);
}

}  // namespace
