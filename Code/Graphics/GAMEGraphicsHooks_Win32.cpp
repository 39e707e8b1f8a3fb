#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"

#include "Code/Graphics/GAMEVideoFrame_Win32.h"

#include <cmath>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClRenderTargetMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Stats/ClDiffMgr.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/ClTaskMgr.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUI_Win32.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Win32/Win32.h"

ClGAMEGraphicsHooks g_GAMEGraphicsHooks;
ClRenderTargetGroup* g_pSmallRenderTarget = nullptr;
ClRenderTargetGroup* g_pBlurRenderTarget = nullptr;
kv_vector2 g_vWorldCameraPosition = {0.0f, 0.0f};
u32 g_bCRTEffectOption = 1;

namespace {

constexpr f32 gc_fWIDESCREEN_RATIO = 1.7777778f;
constexpr u32 gc_uiWHITE = 0xFFFFFFFFu;
// World units are drawn 1.25 drawing units (scene pixels) large.
constexpr f32 gc_fWORLD_TO_DRAWING = 1.25f;
// The 2D sprite layers of the lower batch (into the scene) and of the UI batch (over the final picture). Layer 2600
// belongs to both ranges, so a sprite there is drawn twice. The 2D pass keeps every sprite at z = 0: the order comes
// from the sort, not from depth.
constexpr u16 gc_u2D_SCENE_FIRST_LAYER = 0;
constexpr u16 gc_u2D_SCENE_LAST_LAYER = 2600;
constexpr u16 gc_u2D_UI_FIRST_LAYER = 2600;
constexpr u16 gc_u2D_UI_LAST_LAYER = 2800;
constexpr f32 gc_f2D_DEPTH_FACTOR = 0.0f;

// The shaders of the game, registered in this order: the engine's own, then the world's (bullets, stars, blood,
// shadows), the depth-writing pair of the bonus stage and the bloom's addition to the scene; last the Gaussian pass
// compiled for each fetch count, which the bloom's set-up prefers to the general one.
constexpr const char* gc_apGAME_SHADERS[] = {
    "system_blend_premult",      "system_blend_color",     "system_copy_tv",  "system_copy_nofiltering",
    "PostFx_ExtractThreshold",   "PostFx_Blur15",          "vosk_bullet",     "vosk_star",
    "vosk_star_world",           "vosk_blood",             "vosk_blood_orange", "vosk_shadow",
    "vosk_blend_premult_zwrite", "vosk_blend_color_zwrite", "vosk_add_bloom",         "PostFx_Blur15_Fetches1",
    "PostFx_Blur15_Fetches2",    "PostFx_Blur15_Fetches3", "PostFx_Blur15_Fetches4", "PostFx_Blur15_Fetches5",
    "PostFx_Blur15_Fetches6",    "PostFx_Blur15_Fetches7", "PostFx_Blur15_Fetches8", "PostFx_Blur15_Fetches9"};

void clearTarget(IDirect3DDevice9* pDevice) {
  pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiGAME_CLEAR_COLOR, 1.0f, 0);
}

// The back buffer made ready for the scene's copy: its colour is cleared only where the copy leaves margins (a
// full-screen clear costs as much as a plain copy on a software rasteriser).
void clearBackBufferAround(const ClTexture* pScene) {
  const DWORD dwFlags = ClUI::aspectFitCoversTarget(pScene) ? D3DCLEAR_ZBUFFER : D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
  ClGraphics::mp_pDevice->Clear(0, nullptr, dwFlags, gc_uiGAME_CLEAR_COLOR, 1.0f, 0);
}

// The CRT effect belongs to the front end, the action mode and the bonus stage.
bool crtEffectWanted() {
  return g_bCRTEffectOption != 0 && (g_eCurrentGameMode == E_GAME_MODE_FRONTEND ||
                                     g_eCurrentGameMode == E_GAME_MODE_ACTION || g_eCurrentGameMode == E_GAME_MODE_CATFPS);
}

// The back buffer bound with the device's own depth surface, nothing in the further slots.
}  // namespace

const char* ClGAMEGraphicsHooks::localizedText(const char* pKey) {
  const wchar16* pText = KvLangID::findStringByHash(KvStrHash(pKey));
  if (pText == nullptr) {
    // Message boxes come before the string table only on broken installs: the key is better than nothing.
    return pKey;
  }
  size_t i = 0;
  for (; pText[i] != 0 && i + 1 < sizeof(m_szText); ++i) {
    m_szText[i] = pText[i] < 128 ? static_cast<char>(pText[i]) : '?';
  }
  m_szText[i] = 0;
  return m_szText;
}

void ClGAMEGraphicsHooks::abortProgram() { KvStopForCondition(E_KV_STOP_CAUSE_START_UP); }

i32 ClGAMEGraphicsHooks::allowQuit() {
  // The UI's "AllowQuit" value decides once the UI exists; before that the window always closes.
  return 0;
}

void ClGAMEGraphicsHooks::buildResolutionList() {
  ClGraphics::clearResolutionList();
  const ClDynamicVector<DisplayMode>& modes = ClGraphics::mp_displayModes;
  for (i32 i = 0; i < modes.getCount(); ++i) {
    const DisplayMode& mode = modes[i];
    if (mode.m_iBits != 32 || ClGraphics::isDisplayModeAvailable(mode.m_uiWidth, mode.m_uiHeight)) {
      continue;
    }
    // One entry per size: the last 32-bit mode listed for it.
    i32 iLast = i;
    for (i32 j = i + 1; j < modes.getCount(); ++j) {
      if (modes[j].m_iBits == 32 && modes[j].m_uiWidth == mode.m_uiWidth && modes[j].m_uiHeight == mode.m_uiHeight) {
        iLast = j;
      }
    }
    ClGraphics::addToResolutionList(modes[iLast]);
  }
}

void ClGAMEGraphicsHooks::pickWidescreenMode(u32* puiWidth, u32* puiHeight) {
  const f32 fDesktopHeight = static_cast<f32>(*puiHeight);
  const u32 uiMin = static_cast<u32>(fDesktopHeight * 0.55f);
  const u32 uiMax = static_cast<u32>(fDesktopHeight * 0.9f);
  const DisplayMode* pBest = nullptr;
  const ClDynamicVector<DisplayMode>& modes = ClGraphics::mp_displayModes;
  for (i32 i = 0; i < modes.getCount(); ++i) {
    const DisplayMode& mode = modes[i];
    const f32 fRatio = static_cast<f32>(mode.m_uiWidth) / static_cast<f32>(mode.m_uiHeight);
    if (mode.m_iBits != 32 || std::fabs(fRatio - gc_fWIDESCREEN_RATIO) > 0.03f || mode.m_uiHeight < uiMin ||
        mode.m_uiHeight > uiMax) {
      continue;
    }
    if (pBest == nullptr || mode.m_uiHeight > pBest->m_uiHeight ||
        (mode.m_uiHeight == pBest->m_uiHeight && mode.m_uiRefreshRate > pBest->m_uiRefreshRate)) {
      pBest = &mode;
    }
  }
  if (pBest != nullptr) {
    *puiWidth = pBest->m_uiWidth;
    *puiHeight = pBest->m_uiHeight;
  }
}

void ClGAMEGraphicsHooks::blackFrame() {
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  if (FAILED(pDevice->BeginScene())) {
    return;
  }
  ClGraphics::setRenderTargetGroup(nullptr);
  pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, gc_uiGAME_CLEAR_COLOR, 0.0f, 0);
  pDevice->EndScene();
  pDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

void ClGAMEGraphicsHooks::renderFrame() {
  if (!ClDiffMgr::mp_bInitialized || ClDevINI::getInt("NOGFX") == 1) {
    discardFrame();
    return;
  }
  queue2DSprites();
  ClSpriteMgr::renderQuadSprites();
  // The camera-facing sprite jobs belong to the bonus stage's 3D world.
  if (g_eCurrentGameMode == E_GAME_MODE_CATFPS) {
    const ClCamera& camera = g_gameModeCatFPS.m_camera;
    ClSpriteMgr::runSpriteJobs(kv_vector4::from(camera.getWorldPosition(), 1.0f), g_gameModeCatFPS.m_vUp);
  }
  buildFrameBatches();
  // While a movie shows, only its frame is drawn; the frame's queued work is let go all the same.
  if (GAMERenderVideoFrame()) {
    cleanUpFrame();
    return;
  }
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  if (SUCCEEDED(pDevice->BeginScene())) {
    drawScene();
    drawFinalPicture();
    drawUIAndPresent();
  }
  cleanUpFrame();
}

void ClGAMEGraphicsHooks::queue2DSprites() {
  Cl2d::sortSprites();
  if (Cl2d::isInitialised()) {
    Cl2d::refreshView();
  }
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_2D, gc_u2D_SCENE_FIRST_LAYER, gc_u2D_SCENE_LAST_LAYER, gc_f2D_DEPTH_FACTOR);
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, gc_u2D_UI_FIRST_LAYER, gc_u2D_UI_LAST_LAYER, gc_f2D_DEPTH_FACTOR);
  // The pointer's own layer joins the UI batch, whose depth order puts it over everything else.
  Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, gc_uiPOINTER_LAYER, gc_uiPOINTER_LAYER, gc_f2D_DEPTH_FACTOR);
}

void ClGAMEGraphicsHooks::buildFrameBatches() {
  ClDynamicGeometry::buildBatch(gc_iGAME_BATCH_WORLD, gc_uiDYNGEO_FLAG_WORLD);
  ClDynamicGeometry::buildBatch(gc_iGAME_BATCH_2D, gc_uiDYNGEO_FLAG_2D);
  ClDynamicGeometry::buildBatch(gc_iGAME_BATCH_UI, gc_uiDYNGEO_FLAG_UI);
  ClDynamicGeometry::unlockBuffers();
}

// The world (in drawing units, following the camera, y down) and the lower 2D batch into the scene target.
void ClGAMEGraphicsHooks::drawScene() {
  ClGraphics::setRenderTargetGroup(g_pSmallRenderTarget);
  clearTarget(ClGraphics::mp_pDevice);
  f32 afSize[2];
  g_pSmallRenderTarget->getDimensions(afSize);
  if (g_eCurrentGameMode == E_GAME_MODE_CATFPS) {
    // The bonus stage's world is 3D: seen through the stage's camera, its quads hiding one another by depth.
    ClCamera& camera = g_gameModeCatFPS.m_camera;
    camera.pushPerspective();
    camera.pushView();
    ClDynamicGeometry::drawBatch(gc_iGAME_BATCH_WORLD);
    camera.popView();
    camera.popProjection();
    Cl2d::pushProjection();
    ClDynamicGeometry::drawBatch(gc_iGAME_BATCH_2D);
    Cl2d::popProjection();
    return;
  }
  const f32 fLeft = Cl2d::roundToPixel(g_vWorldCameraPosition.x * gc_fWORLD_TO_DRAWING);
  const f32 fTop = Cl2d::roundToPixel(g_vWorldCameraPosition.y * gc_fWORLD_TO_DRAWING);
  const f32 fRight = Cl2d::roundToPixel(g_vWorldCameraPosition.x * gc_fWORLD_TO_DRAWING + afSize[0]);
  const f32 fBottom = Cl2d::roundToPixel(g_vWorldCameraPosition.y * gc_fWORLD_TO_DRAWING + afSize[1]);
  ClGraphics::pushOrthoOffCenter(0.0f, 0.0f, afSize[1], afSize[0], fTop, fLeft, fBottom, fRight, 0.0f, 0.0f);
  ClDynamicGeometry::drawBatch(gc_iGAME_BATCH_WORLD);
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
  Cl2d::pushProjection();
  ClDynamicGeometry::drawBatch(gc_iGAME_BATCH_2D);
  Cl2d::popProjection();
}

// The scene onto the back buffer: through bloom and the CRT effect, or plainly.
void ClGAMEGraphicsHooks::drawFinalPicture() {
  ClTexture* pScene = g_pSmallRenderTarget->getColorTexture();
  ClTexture* pMask = ClTextureMgr::findTexture("TexturesUI/screen_mask");
  ClTexture* pPhosphor = ClTextureMgr::findTexture("TexturesUI/rgb");
  if (crtEffectWanted() && pMask != nullptr && pPhosphor != nullptr) {
    f32 afSize[2];
    g_pSmallRenderTarget->getDimensions(afSize);
    ClRenderTargetMgr::setupBlurEffect("Bloom1", afSize, 1.0f, 0.0f, 0.35f);
    ClRenderTargetMgr::applyBlurEffect("Bloom1", g_pSmallRenderTarget, 0, g_pBlurRenderTarget, 1.0f, gc_uiWHITE, 1.0f,
                                       1.0f, 1.0f, 1.0f);
    ClTexture* pBloom = g_pBlurRenderTarget->getColorTexture();
    // The bloom added at the scene's size, where it costs a sixteenth of what adding it across the screen would.
    ClRenderTargetGroup* pLit =
        ClRenderTargetMgr::lockAutoRenderTarget(gc_uiRENDER_TARGET_BORROWED, afSize[0], afSize[1]);
    ClGraphics::setRenderTargetGroup(pLit);
    STextureSet* pSceneAndBloom = ClSignatureMgr::getTexSet2(pScene, pBloom);
    const SRenderSignature* pAddBloom =
        ClSignatureMgr::getSignature(ClShaderMgr::getShader("vosk_add_bloom"), pSceneAndBloom);
    g_GAMEGraphicsHooks.renderAspectFitQuad(pAddBloom, gc_uiWHITE, 0.0f, 0.0f, afSize[0], afSize[1]);
    ClGraphics::setRenderTargetGroup(nullptr);
    clearBackBufferAround(pScene);
    STextureSet* pSet = ClSignatureMgr::getTexSet4(pLit->getColorTexture(), pBloom, pMask, pPhosphor);
    const SRenderSignature* pSignature = ClSignatureMgr::getSignature(ClShaderMgr::getShader("system_copy_tv"), pSet);
    ClUI::blitRenderTargetAspectFit(pScene, pSignature, gc_uiWHITE);
    return;
  }
  ClGraphics::setRenderTargetGroup(nullptr);
  const SRenderSignature* pSignature = ClSignatureMgr::getSignatureByName("system_copy_nofiltering", pScene);
  if (!ClShaderMgr::mp_bAllShadersLoaded) {
    clearTarget(ClGraphics::mp_pDevice);
    return;
  }
  clearBackBufferAround(pScene);
  ClUI::blitRenderTargetAspectFit(pScene, pSignature, gc_uiWHITE);
}

void ClGAMEGraphicsHooks::drawUIAndPresent() {
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  Cl2d::pushProjection();
  ClDynamicGeometry::drawBatch(gc_iGAME_BATCH_UI);
  Cl2d::popProjection();
  pDevice->EndScene();
  ClGraphics::presentFrame();
}

void ClGAMEGraphicsHooks::cleanUpFrame() {
  ClDrawPrimitive::freeRendered();
  ClSpriteMgr::clearCurrentBuffer();
  Cl2d::clearSprites();
}

void ClGAMEGraphicsHooks::frameDropped() { Cl2d::clearSprites(); }

void ClGAMEGraphicsHooks::discardFrame() {
  ClDynamicGeometry::unlockBuffers();
  cleanUpFrame();
}

void ClGAMEGraphicsHooks::waitForGPU() {
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  if (mp_pEventQuery == nullptr && SUCCEEDED(ClGraphics::mp_hrLastPresent.load())) {
    pDevice->CreateQuery(D3DQUERYTYPE_EVENT, &mp_pEventQuery);
  }
  if (mp_pEventQuery == nullptr) {
    return;
  }
  mp_pEventQuery->Issue(D3DISSUE_END);
  while (mp_pEventQuery->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
  }
}

void ClGAMEGraphicsHooks::releaseEventQuery() {
  if (mp_pEventQuery != nullptr) {
    mp_pEventQuery->Release();
    mp_pEventQuery = nullptr;
  }
}

void ClGAMEGraphicsHooks::platformLostFocus() {
  ClJobMgr::setDispatchSuspended(true);
  while (ClTaskMgr::isInitialized() && ClTaskMgr::isAnyWorkerAwake()) {
    SleepEx(1, TRUE);
  }
  ClRenderTargetMgr::releaseAutoRenderTargets();
  // A movie's frames live in a default-pool texture that would keep every Reset from succeeding: a lost device
  // ends the movie, as switching away from the window does.
  ClFullScreenFMVPlayer_Win32::close();
}

void ClGAMEGraphicsHooks::platformRegainedFocus() {
  ClRenderTargetMgr::restoreAutoRenderTargets();
  ClJobMgr::setDispatchSuspended(false);
}

void ClGAMEGraphicsHooks::soundSourceLoaded(const SPrerenderedCue* pCue, u32 /*bFromArchive*/, u32 /*bResident*/,
                                            u32 bSucceeded, u64 uiBytes) {
  g_gameModeLoad.soundSourceLoaded(pCue, bSucceeded, uiBytes);
}

void ClGAMEGraphicsHooks::loadShaders() {
  for (const char* pName : gc_apGAME_SHADERS) {
    ClShaderMgr::createShader(pName);
  }
  ClShaderMgr::markAllShadersLoaded();
}

void ClGAMEGraphicsHooks::renderAspectFitQuad(const SRenderSignature* pSignature, u32 uiColor, f32 fX, f32 fY,
                                              f32 fWidth, f32 fHeight) {
  ClUI_Win32::renderAspectFitQuad(pSignature, uiColor, fX, fY, fWidth, fHeight);
}

void ClGAMEGraphicsHooks::releaseUIDeviceObjects() { ClUI_Win32::releaseDeviceObjects(); }

void ClGAMEGraphicsHooks::createUIDeviceObjects() { ClUI_Win32::createDeviceObjects(); }
