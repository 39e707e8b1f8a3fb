// Render targets, groups and bloom: the lock and borrow rules, the formats and the depth-only target, binding groups
// to the device's slots, release and restore across a lost device (release safe to repeat), creation failures
// stopping with the size and format, the "Bloom1" weights and offsets, and the blur's picture.
#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <vector>

#include "Corvane/Graphics/ClRenderTargetMgr.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Corvane/GraphicsGeometry/GeometryTestSupport.h"

namespace {

using RenderTargetTest = GeometryTest;

IDirect3DTexture9* d3dTexture(ClTexture* pTexture) { return static_cast<IDirect3DTexture9*>(pTexture->getD3DTexture()); }

std::vector<DWORD> texels(ClTexture* pTexture) {
  UINT uiW = 0;
  UINT uiH = 0;
  return D3D9TestReadTexture(d3dTexture(pTexture), 0, &uiW, &uiH);
}

// Two borrows of one size while neither is bound give one group; once it is bound the next borrow gets another;
// a locked group is never handed to anybody else until it is unlocked.
TEST_F(RenderTargetTest, LockAndBorrowRules) {
  ClRenderTargetGroup* pBorrowed = ClRenderTargetMgr::lockAutoRenderTarget(0, 64, 32);
  EXPECT_EQ(ClRenderTargetMgr::lockAutoRenderTarget(0, 64, 32), pBorrowed);
  ClGraphics::setRenderTargetGroup(pBorrowed);
  ClRenderTargetGroup* pOther = ClRenderTargetMgr::lockAutoRenderTarget(0, 64, 32);
  EXPECT_NE(pOther, pBorrowed) << "the bound group is not lent";
  ClGraphics::setRenderTargetGroup(nullptr);
  EXPECT_EQ(ClRenderTargetMgr::lockAutoRenderTarget(0, 64, 32), pBorrowed);

  ClRenderTargetGroup* pLocked = ClRenderTargetMgr::lockAutoRenderTarget(1, 64, 32);
  EXPECT_EQ(pLocked, pBorrowed) << "a free group of the size is taken";
  EXPECT_EQ(ClRenderTargetMgr::lockAutoRenderTarget(0, 64, 32), pOther);
  EXPECT_EQ(ClRenderTargetMgr::lockAutoRenderTarget(2, 64, 32), pOther);
  ClRenderTargetGroup* pThird = ClRenderTargetMgr::lockAutoRenderTarget(0, 64, 32);
  EXPECT_NE(pThird, pLocked);
  EXPECT_NE(pThird, pOther);
  EXPECT_NE(ClRenderTargetMgr::lockAutoRenderTarget(0, 32, 32), pThird) << "another size is another group";
  EXPECT_EQ(ClRenderTargetMgr::mp_autoRenderTargets.getCount(), 4);
  ClRenderTargetMgr::unlockAutoRenderTarget(pLocked);
  EXPECT_KV_FATAL(ClRenderTargetMgr::unlockAutoRenderTarget(pLocked),
                  "unlockAutoRenderTarget(): Could not find locked target!");
}

// Each format selector: A8R8G8B8 with depth first, further targets of the first one's size; the depth-only target
// has no colour texture and takes its size from its depth texture. Binding a group of two fills slots 0 and 1 and
// empties 2 and 3; null binds the back buffer again.
TEST_F(RenderTargetTest, FormatsGroupsAndBinding) {
  ClRenderTargetGroup* pGroup = ClRenderTargetMgr::lockAutoRenderTarget(1, 48, 24);
  ClTexture* pColor = pGroup->getColorTexture();
  ASSERT_NE(pColor, nullptr);
  EXPECT_STREQ(pColor->mp_szName, "RTT COLOR 48x24");
  EXPECT_STREQ(pGroup->getDepthTexture()->mp_szName, "RTT DEPTH 48x24");
  pGroup->addRenderTarget(E_RENDER_TARGET_FORMAT_R5G6B5);
  pGroup->addRenderTarget(E_RENDER_TARGET_FORMAT_R32F);
  pGroup->addRenderTarget(E_RENDER_TARGET_FORMAT_A2R10G10B10);
  EXPECT_KV_ASSERT(pGroup->addRenderTarget(E_RENDER_TARGET_FORMAT_A8R8G8B8), "gc_iMAX_GROUP_RENDER_TARGETS");
  D3DSURFACE_DESC desc{};
  d3dTexture(pGroup->getRenderTarget(2)->getColorTexture())->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_R32F);
  EXPECT_EQ(desc.Width, 48u);
  EXPECT_EQ(pGroup->getRenderTarget(1)->getDepthTexture(), nullptr) << "added targets have no depth";

  ClGraphics::setRenderTargetGroup(pGroup);
  IDirect3DSurface9* pSlot = nullptr;
  ASSERT_EQ(ClGraphics::mp_pDevice->GetRenderTarget(3, &pSlot), D3D_OK);
  pSlot->GetDesc(&desc);
  EXPECT_EQ(desc.Format, D3DFMT_A2R10G10B10);
  pSlot->Release();
  clear(0xFF804020u);
  EXPECT_TRUE(near(texels(pGroup->getRenderTarget(1)->getColorTexture())[5], 0xFF804020u, 8))
      << "a clear reaches every bound target";
  D3DVIEWPORT9 viewport{};
  ClGraphics::mp_pDevice->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 48u);
  kv_matrix perspective;
  ClGraphics::buildPerspective(perspective, 90.0f, 1.0f, 10.0f, -1.0f);
  EXPECT_NEAR(perspective.m[0][0], 0.5f, 1e-5f) << "the bound group's aspect of 2";

  ClRenderTargetGroup* pPair = ClRenderTargetMgr::lockAutoRenderTarget(2, 48, 24);
  pPair->addRenderTarget(E_RENDER_TARGET_FORMAT_A8R8G8B8);
  ClGraphics::setRenderTargetGroup(pPair);
  EXPECT_EQ(ClGraphics::mp_pDevice->GetRenderTarget(1, &pSlot), D3D_OK);
  pSlot->Release();
  EXPECT_EQ(ClGraphics::mp_pDevice->GetRenderTarget(2, &pSlot), D3DERR_NOTFOUND);
  ClGraphics::setRenderTargetGroup(nullptr);
  EXPECT_EQ(ClGraphics::mp_pBoundRenderTargetGroup, nullptr);
  ClGraphics::mp_pDevice->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 320u);

  // The depth-only target: no colour texture, its group's size from the depth texture.
  void* pMemory = KvAlignedAlloc(sizeof(ClRenderTarget), 16);
  ClRenderTarget* pDepthOnly = new (pMemory) ClRenderTarget(40, 20, E_RENDER_TARGET_FORMAT_DEPTH_ONLY, 1);
  pDepthOnly->create();
  EXPECT_EQ(pDepthOnly->getColorTexture(), nullptr);
  EXPECT_NE(pDepthOnly->mp_pD3DColorSurface, nullptr);
  ASSERT_NE(pDepthOnly->getDepthTexture(), nullptr);
  ClRenderTarget* pFirst = pPair->mpr_pRenderTargets[0];
  pPair->mpr_pRenderTargets[0] = pDepthOnly;
  EXPECT_EQ(pPair->getColorTexture(), nullptr);
  f32 afDimensions[2] = {};
  pPair->getDimensions(afDimensions);
  EXPECT_EQ(afDimensions[0], 40.0f);
  EXPECT_EQ(afDimensions[1], 20.0f);
  ClGraphics::setRenderTargetGroup(pPair);
  EXPECT_EQ(ClGraphics::mp_pDevice->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ClGraphics::setRenderTargetGroup(nullptr);
  pPair->mpr_pRenderTargets[0] = pFirst;
  pDepthOnly->~ClRenderTarget();
  KvAlignedFree(pDepthOnly);
}

// Across a lost device: the targets are released before the Reset (again by the engine itself, which finds nothing
// left to do), made again with new textures after it, and draw again; releasing twice in a row is harmless.
TEST_F(RenderTargetTest, TargetsAreReleasedAndRestoredAcrossALoss) {
  ClRenderTargetGroup* pGroup = ClRenderTargetMgr::lockAutoRenderTarget(1, 64, 64);
  const STextureSet* pSet = ClSignatureMgr::getTexSet(pGroup->getColorTexture());
  ASSERT_NE(pSet, nullptr);
  ClRenderTargetMgr::releaseAutoRenderTargets();
  ClRenderTargetMgr::releaseAutoRenderTargets();
  EXPECT_EQ(pGroup->getColorTexture(), nullptr);
  EXPECT_EQ(ClSignatureMgr::mp_texSetPool.getCount(), 0) << "the released texture's sets are forgotten";
  ClRenderTargetMgr::restoreAutoRenderTargets();
  ASSERT_NE(pGroup->getColorTexture(), nullptr);

  D3D9TestLoseDevice(ClGraphics::mp_pDevice);
  ClGraphics::endFrame();
  EXPECT_EQ(pGroup->getColorTexture(), nullptr) << "released with the device";
  ClGraphics::endFrame();
  ASSERT_TRUE(ClGraphics::mp_bReady.load()) << "the Reset went through";
  ASSERT_NE(pGroup->getColorTexture(), nullptr) << "made again after it";
  ClGraphics::setRenderTargetGroup(pGroup);
  clear(0xFF00FF00u);
  ClGraphics::setRenderTargetGroup(nullptr);
  EXPECT_EQ(texels(pGroup->getColorTexture())[100], 0xFF00FF00u);
}

// A target the device does not make stops the program naming its size and format; so do a format it cannot render
// to and an unknown selector.
TEST_F(RenderTargetTest, CreationFailuresStopWithTheSizeAndFormat) {
  SD3D9Faults faults;
  faults.bRenderTargetFails = true;
  D3D9TestSetFaults(faults);
  {
    ClRenderTarget colour(480, 270, E_RENDER_TARGET_FORMAT_A8R8G8B8, 1);
    EXPECT_KV_FATAL(colour.create(), "colour texture of 480x270 in format A8R8G8B8");
    ClRenderTarget depthOnly(64, 32, E_RENDER_TARGET_FORMAT_DEPTH_ONLY, 1);
    EXPECT_KV_FATAL(depthOnly.create(), "depth-only surface of 64x32 in format NULL");
  }
  faults = SD3D9Faults{};
  faults.bNoFloatTargets = true;
  D3D9TestSetFaults(faults);
  {
    ClRenderTarget floats(16, 16, E_RENDER_TARGET_FORMAT_R32F, 0);
    EXPECT_KV_FATAL(floats.create(), "NO_FALLBACK_FOR_UNSUPPORTED_RENDER_TARGET_FORMAT");
    ClRenderTarget unknown(16, 16, 7, 0);
    EXPECT_KV_FATAL(unknown.create(), "UNKNOWN_RENDER_TARGET_FORMAT");
  }
  D3D9TestSetFaults(SD3D9Faults{});
}

// "Bloom1": 15 taps of a Gaussian of sigma 15 x 0.5 / 2.8 x 0.35, weights adding up to 1 in pairs, offsets of whole
// texels of the work size across and down; the same name again reuses the settings.
TEST_F(RenderTargetTest, Bloom1WeightsAndOffsets) {
  const f32 afSize[2] = {480.0f, 270.0f};
  SBlurEffectSpecs* pSpecs = ClRenderTargetMgr::setupBlurEffect("Bloom1", afSize, 1.0f, 0.0f, 0.35f);
  EXPECT_EQ(ClRenderTargetMgr::setupBlurEffect("Bloom1", afSize, 1.0f, 0.0f, 0.35f), pSpecs);
  EXPECT_EQ(ClRenderTargetMgr::mp_blurEffects.getCount(), 1);
  EXPECT_EQ(pSpecs->mp_iMode, gc_iBLUR_MODE_DIRECT);
  EXPECT_EQ(pSpecs->mp_iTaps, 15);
  EXPECT_EQ(pSpecs->mp_pGaussShader, ClShaderMgr::getShader("PostFx_Blur15"));
  EXPECT_EQ(pSpecs->mp_pShrinkAndExtractShader, ClShaderMgr::getShader("PostFx_ExtractThreshold"));
  // The table computed in double precision from the same rule.
  const double dSigma = 15.0 * 0.5 / 2.8 * 0.35;
  double adWeights[15];
  double dSum = 0.0;
  for (int i = 0; i < 15; ++i) {
    const int x = (i + 1) / 2;
    adWeights[i] = std::exp(-(x * x) / (2.0 * dSigma * dSigma)) / std::sqrt(2.0 * 3.14159265358979 * dSigma * dSigma);
    dSum += adWeights[i];
  }
  f32 fTotal = 0.0f;
  for (int i = 0; i < 15; ++i) {
    EXPECT_NEAR(pSpecs->mp_afWeights[i], adWeights[i] / dSum, 1e-6) << "weight " << i;
    fTotal += pSpecs->mp_afWeights[i];
  }
  EXPECT_NEAR(fTotal, 1.0f, 1e-6f);
  EXPECT_NEAR(pSpecs->mp_afWeights[0], 0.4255384f, 1e-6f);
  EXPECT_NEAR(pSpecs->mp_afWeights[1], 0.2409203f, 1e-6f);
  EXPECT_NEAR(pSpecs->mp_afWeights[4], 0.0437197f, 1e-6f);
  for (int i = 0; i < 7; ++i) {
    const f32 x = static_cast<f32>(i + 1);
    EXPECT_EQ(pSpecs->mp_afWeights[2 * i + 1], pSpecs->mp_afWeights[2 * i + 2]);
    EXPECT_FLOAT_EQ(pSpecs->mp_avHorizontalOffsets[2 * i + 1].x, x / 480.0f);
    EXPECT_FLOAT_EQ(pSpecs->mp_avHorizontalOffsets[2 * i + 2].x, -x / 480.0f);
    EXPECT_EQ(pSpecs->mp_avHorizontalOffsets[2 * i + 1].y, 0.0f);
    EXPECT_FLOAT_EQ(pSpecs->mp_avVerticalOffsets[2 * i + 1].y, x / 270.0f);
    EXPECT_FLOAT_EQ(pSpecs->mp_avVerticalOffsets[2 * i + 2].y, -x / 270.0f);
  }
  EXPECT_EQ(pSpecs->mp_avHorizontalOffsets[0], (kv_vector4{0, 0, 0, 0}));
  EXPECT_KV_ASSERT(ClRenderTargetMgr::applyBlurEffect("Bloom2", nullptr, 0, nullptr, 1, 0, 1, 1, 1, 1), "pSpecs");
}

// The Gaussian pass's folded fetches give the 15 taps' sum: each fetch read by linear filtering between two texels of
// a row of random texels (as the pass reads them) adds up to the taps read one by one, for a narrow and a wide blur
// and along either axis; taps too light to matter are left out (the narrow bloom needs 5 fetches, a wider one 7, the widest 9).
TEST_F(RenderTargetTest, BlurFetchesGiveTheSumOfTheTaps) {
  struct SCase {
    f32 fDeviation;
    bool bDown;
    i32 iFetches;
  };
  const SCase aCases[] = {{0.35f, false, 5}, {0.35f, true, 5}, {1.0f, false, 9}, {1.0f, true, 9}, {0.6f, false, 7}};
  const f32 afSize[2] = {64.0f, 32.0f};
  std::vector<f32> texels(64);
  u32 uiSeed = 12345u;
  for (f32& fTexel : texels) {
    uiSeed = uiSeed * 1664525u + 1013904223u;
    fTexel = static_cast<f32>(uiSeed >> 24) / 255.0f;
  }
  for (const SCase& c : aCases) {
    SCOPED_TRACE(::testing::Message() << "deviation " << c.fDeviation << (c.bDown ? " down" : " across"));
    SBlurEffectSpecs* pSpecs = ClRenderTargetMgr::setupBlurEffect("Bloom1", afSize, 1.0f, 0.0f, c.fDeviation);
    const kv_vector4* pOffsets = c.bDown ? pSpecs->mp_avVerticalOffsets : pSpecs->mp_avHorizontalOffsets;
    const f32 fTexelsPerUnit = c.bDown ? 32.0f : 64.0f;
    kv_vector4 avFetches[9] = {};
    const i32 iCount = ClRenderTargetMgr::foldBlurTaps(*pSpecs, pOffsets, avFetches);
    EXPECT_EQ(iCount, c.iFetches);
    // The texel row read at a position in texels from the centre texel 32, linearly between neighbours.
    const auto read = [&](f32 fAt) {
      const f32 fFloor = std::floor(fAt);
      const f32 fFraction = fAt - fFloor;
      const size_t uiTexel = static_cast<size_t>(32 + static_cast<int>(fFloor));
      return texels[uiTexel] * (1.0f - fFraction) + texels[uiTexel + 1] * fFraction;
    };
    f32 fTaps = 0.0f;
    for (int i = 0; i < 15; ++i) {
      fTaps += pSpecs->mp_afWeights[i] * read((c.bDown ? pOffsets[i].y : pOffsets[i].x) * fTexelsPerUnit);
    }
    f32 fFetched = 0.0f;
    f32 fWeights = 0.0f;
    for (i32 i = 0; i < iCount; ++i) {
      EXPECT_EQ(c.bDown ? avFetches[i].x : avFetches[i].y, 0.0f) << "fetch " << i << " stays on its axis";
      fFetched += avFetches[i].z * read((c.bDown ? avFetches[i].y : avFetches[i].x) * fTexelsPerUnit);
      fWeights += avFetches[i].z;
    }
    EXPECT_NEAR(fFetched, fTaps, 1e-4f);
    EXPECT_NEAR(fWeights, 1.0f, 1e-4f);
  }
}

// The blur of one texel spreads by the weights across and down: the centre keeps w0 * w0, its neighbours w0 * w1 and
// w1 * w1, texel for texel (the passes sample texel centres exactly). A threshold first keeps what is brighter,
// rescaled (a work group of its own); without one the source is blurred as it is. Once the pass compiled for the
// bloom's 5 fetches is registered the set-up takes it, and the picture is the same.
TEST_F(RenderTargetTest, BloomSpreadsOneTexelByTheWeights) {
  struct SCase {
    f32 fThreshold;
    i32 iGroups;     // the two groups of the test and the blur's work groups
    f32 fExtracted;  // the texel of 0x80 after the threshold
    bool bFixedPass;
  };
  const SCase aCases[] = {{0.0f, 3, 128.0f / 255.0f, false},
                          {0.25f, 4, (128.0f / 255.0f - 0.25f) / 0.75f, false},
                          {0.0f, 3, 128.0f / 255.0f, true},
                          {0.25f, 4, (128.0f / 255.0f - 0.25f) / 0.75f, true}};
  constexpr f32 fW = 64.0f;
  constexpr f32 fH = 32.0f;
  for (const SCase& c : aCases) {
    SCOPED_TRACE(::testing::Message() << "threshold " << c.fThreshold << (c.bFixedPass ? ", fixed pass" : ""));
    ClShader* pFixed = ClShaderMgr::findShader(KvStrHash("PostFx_Blur15_Fetches5"));
    if (c.bFixedPass && pFixed == nullptr) {
      writeLoose("Shaders/PostFx_Blur15_Fetches5.fxo", KvTestEffect("PostFx_Blur15_Fetches5"));
      pFixed = ClShaderMgr::createShader("PostFx_Blur15_Fetches5");
      ASSERT_NE(pFixed, nullptr);
    }
    ClRenderTargetMgr::terminate();
    ClRenderTargetMgr::initAutoRenderTargets();
    ClRenderTargetMgr::initBlurEffects();
    ClRenderTargetGroup* pSource = ClRenderTargetMgr::lockAutoRenderTarget(1, fW, fH);
    ClRenderTargetGroup* pDestination = ClRenderTargetMgr::lockAutoRenderTarget(2, fW, fH);
    ClGraphics::setRenderTargetGroup(pSource);
    clear(0xFF000000u);
    const D3DRECT texel{20, 10, 21, 11};
    ClGraphics::mp_pDevice->Clear(1, &texel, D3DCLEAR_TARGET, 0xFF808080u, 1.0f, 0);
    const f32 afSize[2] = {fW, fH};
    SBlurEffectSpecs* pSpecs = ClRenderTargetMgr::setupBlurEffect("Bloom1", afSize, 1.0f, c.fThreshold, 0.35f);
    EXPECT_EQ(pSpecs->mp_pGaussShader, c.bFixedPass ? pFixed : ClShaderMgr::getShader("PostFx_Blur15"));
    ClRenderTargetMgr::applyBlurEffect("Bloom1", pSource, 0, pDestination, 1.0f, 0xFFFFFFFFu, 1, 1, 1, 1);
    ClGraphics::setRenderTargetGroup(nullptr);
    EXPECT_EQ(ClRenderTargetMgr::mp_autoRenderTargets.getCount(), c.iGroups);
    const std::vector<DWORD> out = texels(pDestination->getColorTexture());
    const auto at = [&](int x, int y) { return static_cast<int>(out[static_cast<size_t>(y) * 64 + x] & 0xFF); };
    const f32 w0 = pSpecs->mp_afWeights[0];
    const f32 w1 = pSpecs->mp_afWeights[1];
    const f32 fPeak = 255.0f * c.fExtracted;
    EXPECT_NEAR(at(20, 10), fPeak * w0 * w0, 2.5f);
    EXPECT_NEAR(at(21, 10), fPeak * w0 * w1, 2.5f);
    EXPECT_NEAR(at(19, 10), fPeak * w0 * w1, 2.5f);
    EXPECT_NEAR(at(20, 11), fPeak * w0 * w1, 2.5f);
    EXPECT_NEAR(at(21, 11), fPeak * w1 * w1, 2.5f);
    EXPECT_EQ(at(30, 10), 0) << "nothing far away";
    EXPECT_EQ(at(20, 25), 0);
  }
}

}  // namespace
