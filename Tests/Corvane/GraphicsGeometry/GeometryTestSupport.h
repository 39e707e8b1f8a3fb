// The fixture of the geometry, sprite, render-target and 2D tests: the graphics-assets fixture (a 320 x 240 device,
// the managers as the graphics start-up makes them) with the engine's six effects registered, dynamic geometry
// started, the render-target lists made, and hooks that reach the UI's aspect-fit quad and restore the automatic
// targets after a Reset as the game does. Helpers write synthetic atlas images and read elements back.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClRenderTargetMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Corvane/UI/ClUI_Win32.h"
#include "Tests/Corvane/GraphicsAssets/GraphicsAssetsTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

class CGeometryTestHooks : public CTestGraphicsHooks {
 public:
  void renderAspectFitQuad(const SRenderSignature* pSignature, u32 uiColor, f32 fX, f32 fY, f32 fWidth,
                           f32 fHeight) override {
    ClUI_Win32::renderAspectFitQuad(pSignature, uiColor, fX, fY, fWidth, fHeight);
  }
  void releaseUIDeviceObjects() override { ClUI_Win32::releaseDeviceObjects(); }
  void createUIDeviceObjects() override { ClUI_Win32::createDeviceObjects(); }
  void platformLostFocus() override {
    CTestGraphicsHooks::platformLostFocus();
    ClRenderTargetMgr::releaseAutoRenderTargets();
  }
  void platformRegainedFocus() override {
    CTestGraphicsHooks::platformRegainedFocus();
    ClRenderTargetMgr::restoreAutoRenderTargets();
  }
};

inline constexpr const char* gc_apENGINE_EFFECTS[] = {"system_blend_premult", "system_blend_color", "system_copy_tv",
                                                      "system_copy_nofiltering", "PostFx_ExtractThreshold",
                                                      "PostFx_Blur15"};

class GeometryTest : public GraphicsAssetsTest {
 protected:
  void SetUp() override {
    GraphicsAssetsTest::SetUp();
    if (HasFatalFailure()) return;
    KvTestSetGraphicsHooks(&m_geometryHooks);
    for (const char* pName : gc_apENGINE_EFFECTS) {
      writeLoose(std::string("Shaders/") + pName + ".fxo", KvTestEffect(pName));
      ClShaderMgr::createShader(pName);
    }
    ClShaderMgr::mp_bAllShadersLoaded = 1;
    ClDynamicGeometry::platformInitialize(1);
    ClUI_Win32::createDeviceObjects();
    ClRenderTargetMgr::initAutoRenderTargets();
    ClRenderTargetMgr::initBlurEffects();
    ClSpriteMgr::initLineSpriteJobPool();
    ClSpriteMgr::initSpriteJobPool();
    ClSpriteMgr::initLineSpriteExJobPool();
  }
  void TearDown() override {
    ClSpriteMgr::termLineSpriteJobPool();
    ClSpriteMgr::termSpriteJobPool();
    ClSpriteMgr::termLineSpriteExJobPool();
    for (i32 i = 0; i < 2; ++i) {
      ClSpriteMgr::mp_iNumQuadSprites[i] = ClSpriteMgr::mp_iNumLineSprites[i] = 0;
      ClSpriteMgr::mp_iNumSprites[i] = ClSpriteMgr::mp_iNumLineSpritesEx[i] = 0;
    }
    ClGraphics::mp_pBoundRenderTargetGroup = nullptr;
    if (ClGraphics::mp_pDevice != nullptr) ClGraphics::setRenderTargetGroup(nullptr);
    ClRenderTargetMgr::terminate();
    ClUI_Win32::releaseDeviceObjects();
    ClDynamicGeometry::platformTerminate();
    ClShaderMgr::mp_bAllShadersLoaded = 0;
    KvTestSetGraphicsHooks(&m_hooks);
    GraphicsAssetsTest::TearDown();
  }

  // The reservation's element as a plain record.
  struct SElement {
    u32 uiFlags;
    SDynamicGeometryRange range;
    f32 fDepth;
    const SRenderSignature* pSignature;
    std::uintptr_t uiUserWord;
  };
  static SElement element(i32 i) {
    return {ClDynamicGeometry::mp_auiFlags[i], ClDynamicGeometry::mp_aRanges[i], ClDynamicGeometry::mp_afDepths[i],
            ClDynamicGeometry::mp_apSignatures[i], ClDynamicGeometry::mp_auiUserWords[i]};
  }
  // The vertices of the current frame (the locked buffer) and the staging indices.
  static const SDynamicGeometryVertex& vertex(u32 uiNumber) { return ClDynamicGeometry::m_pLockedVerts[uiNumber]; }
  static u32 stagingIndex(u32 uiSlot) { return ClDynamicGeometry::mp_auiStagingIndexes[uiSlot]; }

  // An atlas image of w x h texels with its texture coordinates and anchor, on a texture of its own.
  SAtlasEntry atlasEntry(f32 fWidth, f32 fHeight, f32 fU0, f32 fV0, f32 fU1, f32 fV1, f32 fAnchorX, f32 fAnchorY) {
    m_infos.push_back(SAtlasTexInfo{0, 0, fU0, fV0, fU1, fV1, fWidth, fHeight, fWidth, fHeight, fAnchorX, fAnchorY});
    return SAtlasEntry{&m_infos.back(), nullptr};
  }

  const SRenderSignature* colorSignature() {
    return ClSignatureMgr::getSignatureNoTex(ClShaderMgr::getShader("system_blend_color"));
  }

  CGeometryTestHooks m_geometryHooks;
  std::deque<SAtlasTexInfo> m_infos;  // never moves what it handed out
};
