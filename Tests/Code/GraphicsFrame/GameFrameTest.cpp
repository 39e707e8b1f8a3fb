// The game's frame composition, drawn by the render worker in the test process: the game starts on the archives the
// build makes, its load mode plays the splash sequence and its front end shows the menus over the sample scene; the
// back buffer is compared with reference images
// made once by this test (GRINDLOW_WRITE_REFERENCES=1 writes them into Reference/ instead of comparing; look at
// them before keeping them).
//
// The fixture, the device size and the tolerance of the comparisons are in GameFrameFixture.h.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Camera/ClTVChannel.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Corvane/UI/KvUILayout.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEInGameUI.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClRenderTargetMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/UI/Cl2d.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Store/StoreApi.h"
#include "Platform/Win32/Win32Window.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"

namespace {

// Without the CRT copy (as the modes that do not use it compose) the scene is copied plainly: the sample scene's
// sprites at twice their size, the UI button on top.
TEST_F(GameFrontEnd, SceneIsCopiedPlainlyOutsideTheCrtModes) {
  ASSERT_TRUE(settleMenus());
  ASSERT_NE(g_bBackgroundsLoaded, 0) << "the title loads the backgrounds";
  ASSERT_NE(ClGraphics::mp_pDevice, nullptr);
  const STestPicture picture = frameAs(E_GAME_MODE_PRELOAD);
  ASSERT_EQ(picture.iWidth, gc_iWIDTH);
  ASSERT_EQ(picture.iHeight, gc_iHEIGHT);
  expectMatchesReference(picture, "SampleScenePlain");
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// The splash sequence in the game follows the loading steps: the first logo while the first four load, the second
// asked for by the fifth step (the third, the movie, by the eighth; it does not exist here, so it ends at once).
// The first logo is pictured in the middle of its fade in: the same frame every run, since the load mode loads one
// step a frame whatever the time.
TEST_F(GameFrame, SplashSequenceFollowsTheLoadingSteps) {
  ClWidget* pSplash = ClUI::getWidget("SplashSwitcher");
  for (int i = 0; i < 3; ++i) ClGame::tickFrame(0.016f);
  EXPECT_EQ(switchStateOf("SplashSwitcher", "SplashActive1"), static_cast<u32>(E_SWITCH_STATE_IN));
  EXPECT_EQ(pSplash->getActiveSwitchedChild(), nullptr) << "still fading in";
  EXPECT_LT(g_iLoadUIStep, 4) << "the second logo's step has not run";
  const STestPicture first = frameAs(E_GAME_MODE_PRELOAD);
  expectMatchesReference(first, "SplashFirstLogo");
  // The first logo stays until the fifth step asks for the second: then it goes out.
  while (g_iLoadUIStep < 4) {
    EXPECT_EQ(switchStateOf("SplashSwitcher", "SplashActive1"), static_cast<u32>(E_SWITCH_STATE_IN));
    ClGame::tickFrame(0.016f);
  }
  EXPECT_EQ(switchStateOf("SplashSwitcher", "SplashActive1"), static_cast<u32>(E_SWITCH_STATE_OUT));
  ASSERT_GT(ticksUntilFrontEnd(400), 0);
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FRONTEND);
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// In the front end the scene goes through the bloom and the CRT copy; the UI batch stays sharp on top.
TEST_F(GameFrontEnd, FrontEndShowsTheSceneThroughBloomAndTheCrtCopy) {
  ASSERT_TRUE(settleMenus());
  const STestPicture plain = frameAs(E_GAME_MODE_PRELOAD);
  const STestPicture crt = frameAs(E_GAME_MODE_FRONTEND);
  expectMatchesReference(crt, "SampleSceneCRT");
  // The button of the UI batch is the same in both pictures: the CRT effect never reaches the UI.
  EXPECT_EQ(pixelAt(crt, 40, 40), pixelAt(plain, 40, 40));
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// A lost device: the geometry, the UI's objects and the scene targets are released (the targets twice, which does
// nothing the second time), the device is reset, everything is made again and the next frames look as before.
TEST_F(GameFrontEnd, FramesLookTheSameAfterAnInjectedDeviceLoss) {
  ASSERT_TRUE(settleMenus());
  stopGameplayClock();
  const STestPicture before = frameAs(E_GAME_MODE_FRONTEND);
  D3D9TestLoseDevice(ClGraphics::mp_pDevice);
  ClGame::tickFrame(0.016f);
  EXPECT_EQ(ClGraphics::mp_bReady.load(), 0u);
  EXPECT_FALSE(ClDynamicGeometry::isReady());
  EXPECT_EQ(g_pSmallRenderTarget->getColorTexture(), nullptr) << "released with the device";
  for (int i = 0; i < 5 && !ClGraphics::mp_bReady.load(); ++i) ClGame::tickFrame(0.016f);
  ASSERT_EQ(ClGraphics::mp_bReady.load(), 1u);
  EXPECT_TRUE(ClDynamicGeometry::isReady());
  EXPECT_NE(g_pSmallRenderTarget->getColorTexture(), nullptr);
  frameAs(E_GAME_MODE_FRONTEND);
  const STestPicture after = frameAs(E_GAME_MODE_FRONTEND);
  size_t uiDifferent = 0;
  for (size_t i = 0; i < before.pixels.size(); ++i) uiDifferent += KvTestChannelDistance(before.pixels[i], after.pixels[i]) > 2;
  EXPECT_EQ(uiDifferent, 0u);
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// The game queues sprites every frame (quad sprites, and the UI's 2D sprites) whether or not the device can draw.
// While graphics are not ready each frame's sprites go with the frame: a loss of seconds at 40 quads a frame (the
// queue holds 1999, about 50 frames' worth) never stops the program, and the first frame drawn afterwards holds that
// frame's quads and UI sprites and no others. The
// same for the debug primitives.
// The loss is driven frame by frame: a few polls that still report the device lost, then Resets that fail.
TEST_F(GameFrontEnd, QuadSpritesQueuedWhileGraphicsAreNotReadyGoWithTheirFrame) {
  constexpr int iQUADS_A_FRAME = 40;
  static constexpr u8 gc_auiDEBUG_BYTES[gc_aiDEBUG_PRIMITIVE_SIZES[9]] = {7};
  const SRenderSignature* pSignature =
      ClSignatureMgr::getSignatureByName("system_blend_premult", ClTextureMgr::findTexture("TexturesUI/rgb"));
  ASSERT_NE(pSignature, nullptr);
  const auto queueQuads = [pSignature] {
    const kv_vector4 vNormal = {0.0f, 0.0f, -1.0f, 0.0f};
    const kv_vector4 vWidthDir = {1.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < iQUADS_A_FRAME; ++i) {
      const kv_vector4 vPosition = {8.0f + 6.0f * static_cast<f32>(i % 20), 40.0f + 6.0f * static_cast<f32>(i / 20),
                                    0.0f, 1.0f};
      ClSpriteMgr::AddQuad(&vPosition, &vNormal, &vWidthDir, 4.0f, 4.0f, 0xFFFFFFFFu, pSignature, 0.0f);
    }
  };
  // What one drawn frame holds with and without the quads: the world's geometry elements of the frame.
  stopGameplayClock();
  ClGame::tickFrame(0.016f);
  const i32 iElementsWithout = ClDynamicGeometry::getNumElements();
  queueQuads();
  ClGame::tickFrame(0.016f);
  const i32 iElementsWith = ClDynamicGeometry::getNumElements();
  ASSERT_EQ(iElementsWith, iElementsWithout + iQUADS_A_FRAME);

  struct SLoss {
    const char* pName;
    UINT uiLostPolls;
    UINT uiResetFailures;
  };
  // Frames of 16 ms: the long loss lasts about three seconds.
  const SLoss aLosses[] = {{"short", 2, 8}, {"long", 5, 180}};
  for (const SLoss& loss : aLosses) {
    SCOPED_TRACE(loss.pName);
    SD3D9Faults faults;
    faults.uiLostPolls = loss.uiLostPolls;
    faults.uiResetFailures = loss.uiResetFailures;
    D3D9TestSetFaults(faults);
    D3D9TestLoseDevice(ClGraphics::mp_pDevice);
    // After the frame whose Present finds the device lost, one frame is thrown away for each poll that still finds
    // it lost, for each failed Reset and for the Reset that succeeds (which comes at the end of its frame).
    const UINT uiFramesToThrowAway = loss.uiLostPolls + loss.uiResetFailures + 1;
    queueQuads();
    ClGame::tickFrame(0.016f);
    UINT uiFramesThrownAway = 0;
    while (!ClGraphics::mp_bReady.load() && uiFramesThrownAway <= uiFramesToThrowAway) {
      queueQuads();
      // A debug primitive's queue holds one a frame: it too must be emptied with every frame thrown away.
      ClDrawPrimitive::queue(9, gc_auiDEBUG_BYTES);
      ClGame::tickFrame(0.016f);
      ++uiFramesThrownAway;
      EXPECT_EQ(ClDrawPrimitive::getPendingCount(9), 0);
    }
    ASSERT_EQ(ClGraphics::mp_bReady.load(), 1u);
    EXPECT_EQ(uiFramesThrownAway, uiFramesToThrowAway);
    D3D9TestSetFaults(SD3D9Faults{});
    queueQuads();
    ClGame::tickFrame(0.016f);
    EXPECT_EQ(ClDynamicGeometry::getNumElements(), iElementsWith) << "the first frame after the loss";
  }
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

}  // namespace

// The 2D sprite queue in the frame: layers up to 2600 go into the scene (copied at twice the size), layers from 2600
// to 2800 onto the back buffer at their own pixels, a sprite on 2600 into both, a sprite above 2800 nowhere; the
// queue is empty once the frame is drawn. Everything outside the sprites stays as the frame without them.
TEST_F(GameFrontEnd, SpriteQueueIsDrawnInTwoLayerRangesAndEmptiedAfterTheFrame) {
  ASSERT_TRUE(settleMenus());
  stopGameplayClock();
  const SRenderSignature* pColor = ClSignatureMgr::getSignatureNoTex(ClShaderMgr::getShader("system_blend_color"));
  struct SSprite {
    u16 uLayer;
    f32 fX, fY, fW, fH;
    u32 uiColor;
  };
  // The lower batch's sprite is above the menu's veil (1800), which darkens the scene's own layers under it.
  const SSprite aSprites[] = {{2100, 20, 230, 12, 8, 0xFF13579Bu},
                              {2700, 700, 300, 25, 14, 0xFF9B5713u},
                              {2600, 200, 150, 10, 10, 0xFF57139Bu},
                              {3000, 600, 400, 20, 20, 0xFF139B57u}};
  // Where each should appear on the back buffer: {x0, y0, x1, y1} (exclusive), or nothing.
  struct SArea {
    int x0, y0, x1, y1;
    u32 uiColor;
  };
  const SArea aAreas[] = {{40, 460, 64, 476, 0xFF13579Bu},
                          {700, 300, 725, 314, 0xFF9B5713u},
                          {400, 300, 420, 320, 0xFF57139Bu},
                          {200, 150, 210, 160, 0xFF57139Bu}};
  const STestPicture without = frameAs(E_GAME_MODE_PRELOAD);
  for (const SSprite& s : aSprites) {
    Cl2d::addSprite(s.uLayer, pColor, s.uiColor, s.fX, s.fY, s.fW, s.fH, {0.0f, 0.0f}, {1.0f, 1.0f});
  }
  const STestPicture with = frameAs(E_GAME_MODE_PRELOAD);
  EXPECT_EQ(Cl2d::getNumSprites(), 0) << "emptied after the 2D pass";
  int iWrong = 0;
  for (int y = 0; y < gc_iHEIGHT; ++y) {
    for (int x = 0; x < gc_iWIDTH; ++x) {
      u32 uiExpected = pixelAt(without, x, y);
      for (const SArea& a : aAreas) {
        if (x >= a.x0 && x < a.x1 && y >= a.y0 && y < a.y1) uiExpected = a.uiColor;
      }
      // Sprites of one layer and signature (the glyphs of a text) may be drawn in another order once the queue
      // holds more sprites, and where their edges overlap the blend rounds differently: one step is allowed there.
      const u32 uiGot = pixelAt(with, x, y);
      bool bClose = true;
      for (int iShift = 0; iShift < 32; iShift += 8) {
        const int iDiff = static_cast<int>((uiGot >> iShift) & 0xFF) - static_cast<int>((uiExpected >> iShift) & 0xFF);
        bClose = bClose && iDiff >= -1 && iDiff <= 1;
      }
      if (!bClose && ++iWrong <= 5) {
        ADD_FAILURE() << "(" << x << ", " << y << ") is " << std::hex << pixelAt(with, x, y) << ", not " << uiExpected;
      }
    }
  }
  EXPECT_EQ(iWrong, 0);
  const STestPicture after = frameAs(E_GAME_MODE_PRELOAD);
  EXPECT_EQ(after.pixels, without.pixels) << "the sprites went with their frame";
}

// The in-game screen of the main screen set: its health bar on the "HUD" canvas (480 x 270 at the scene's top left,
// drawn into the scene and scaled with it) at a second window size, over the scene; the main menu's images are gone.
TEST_F(GameFrameAt576, InGameScreenDrawsTheHudCanvasWithTheScene) {
  ASSERT_TRUE(settleMenus());
  ASSERT_TRUE(switchMainScreenTo("InGame"));
  const STestPicture picture = frameAs(E_GAME_MODE_PRELOAD);
  ASSERT_EQ(picture.iWidth, 1024);
  ASSERT_EQ(picture.iHeight, 576);
  expectMatchesReference(picture, "SampleScreenHud576");
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// The gallery screen: its scroll-finger area of image tiles and flip-book widgets over the scene, once the switch
// has settled and the tiles have faded in. The area ends across the third tile: that tile is cut at the area's bottom
// edge, and the health bar and the flip books below it are not drawn.
TEST_F(GameFrontEnd, GalleryScreenShowsItsTilesAndFlipBooks) {
  ASSERT_TRUE(settleMenus());
  ASSERT_TRUE(switchMainScreenTo("Gallery"));
  const STestPicture picture = frameAs(E_GAME_MODE_PRELOAD);
  expectMatchesReference(picture, "SampleScreenGallery");
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

namespace {

u32 H(const char* pName) { return KvStrHash(pName); }

f32 layoutX(const char* pWidget) {
  return KvLayoutPlacement(ClUI::getWidget(pWidget)->getLayout("widgetLayout")).mp_fX;
}

// The sample content's flip-book scripts (Content/AnimationsGame/<name>.kdt).
std::vector<std::string> sampleFlipBooks() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(KV_FLIPBOOK_CONTENT_DIR)) {
    if (entry.path().extension() == ".kdt") names.push_back(entry.path().stem().string());
  }
  return names;
}

// The game run with "SKIP_SPLASH" and "SKIP_UI": the front end asks for the action mode at its first tick.
class GameSkipUI : public GameFrontEnd {
 protected:
  void SetUp() override {
    m_settings += "SKIP_UI 1\n";
    GameFrontEnd::SetUp();
  }
};

}  // namespace

// The load mode (here without the splash) loads every asset of the sample content, registers every sample flip book
// of its list, sets the prompts and hands over to the front end, which opens the title; its music pauses while the
// window is out of focus.
TEST_F(GameFrontEnd, LoadModeLoadsEverySampleAssetAndTheFrontEndOpensTheMenus) {
  EXPECT_EQ(g_ePreviousGameMode, E_GAME_MODE_LOAD);
  EXPECT_EQ(g_pCurrentGameMode, &g_gameModeFrontEnd);
  EXPECT_EQ(g_iLoadUIStep, gc_iNUM_LOAD_UI_STEPS);
  EXPECT_EQ(g_gameModeLoad.m_bPumpsSoundLoads, 0u) << "the sound bank's progress is the load mode's only";
  // The menus' own camera is registered and shown on channel 0.
  ASSERT_NE(g_gameModeFrontEnd.mp_camera, nullptr);
  EXPECT_EQ(g_aTVChannels[0].m_pBlendStartCamera, g_gameModeFrontEnd.mp_camera);
  g_aTVChannels[0].update();
  EXPECT_EQ(g_aTVChannels[0].m_pFinalCameraObj->getWorldPosition(), (kv_vector3{0.0f, 0.0f, 10.0f}));
  EXPECT_EQ(ClCameraMgr::mp_uiNumCameras, 2);
  // The categories' volumes from the profile's options as the load mode found them.
  ASSERT_NE(g_pPlayerProfileData, nullptr);
  EXPECT_FLOAT_EQ(ClAudioManager::getCategory(E_AUDIO_CATEGORY_MASTER).m_fVolume,
                  static_cast<f32>(g_pPlayerProfileData->m_iMasterVolume) * 0.01f);
  EXPECT_FLOAT_EQ(ClAudioManager::getCategory(E_AUDIO_CATEGORY_MUSIC).m_fVolume,
                  static_cast<f32>(g_pPlayerProfileData->m_iMusicVolume) * 0.01f);
  for (int i : {E_AUDIO_CATEGORY_EFFECTS, E_AUDIO_CATEGORY_VOICE}) {
    EXPECT_FLOAT_EQ(ClAudioManager::getCategory(i).m_fVolume,
                    static_cast<f32>(g_pPlayerProfileData->m_iSoundEffectVolume) * 0.01f) << i;
  }
  // The sample flip books that the load mode's list or the backgrounds' image animations name are registered; the
  // enemies' own are not on the list and wait for the world's loading.
  const std::vector<std::string> flipBooks = sampleFlipBooks();
  ASSERT_FALSE(flipBooks.empty());
  i32 iListed = 0;
  for (const std::string& name : flipBooks) {
    iListed += ClFlipBookMgr::findByHash(H(name.c_str())) != nullptr ? 1 : 0;
  }
  for (const char* pName : {"PickupAxe", "PickupHealth", "DragonEmber"}) {
    EXPECT_NE(ClFlipBookMgr::findByHash(H(pName)), nullptr) << pName;
  }
  EXPECT_EQ(g_iFlipBooksRegistered, iListed);
  // The list's 271 names, then one for each image animation of "Backgrounds" (the sample has some).
  EXPECT_GT(g_iFlipBooksRegistered + g_iFlipBooksAbsent, 271);
  EXPECT_NE(ClAtlasMgr::getAtlasEntry("TexturesUIAtlas", H("ButtonFocus")), nullptr);
  EXPECT_NE(ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", H("Ground_216")), nullptr);
  EXPECT_NE(ClAudioManager::findCue(H("Pickup")), nullptr) << "the sound bank";
  EXPECT_NE(ClFontFamilyMgr::findFamily(H("FontAcknowledge")), nullptr);
  EXPECT_NE(ClTextureMgr::findTexture("TexturesUI/rgb"), nullptr);
  EXPECT_NE(ClTextureMgr::findTexture("TexturesUI/screen_mask"), nullptr);
  // The splash set and the six sets of the list.
  EXPECT_EQ(ClUI::getNumUIDataEntries(), 7);
  for (const char* pSwitcher : {"InfoMenu", "Loading", "UnlockPopup", "HowToPlay", "ControllerOff", "Splash"}) {
    const std::string switcher = std::string(pSwitcher) + "Switcher";
    const std::string inactive = std::string(pSwitcher) + "Inactive";
    EXPECT_EQ(ClUI::getWidget(switcher.c_str())->getActiveSwitchedChild(), ClUI::getWidget(inactive.c_str()))
        << switcher;
  }
  for (int i = 1; i <= 10; ++i) {
    EXPECT_STREQ(ClUI::getWidgetFormatted("accept_%d", i)->getString("textureName"), "IM-Controller-A") << i;
  }
  for (int i = 1; i <= 8; ++i) {
    EXPECT_STREQ(ClUI::getWidgetFormatted("back_%d", i)->getString("textureName"), "IM-Controller-B") << i;
  }
  EXPECT_EQ(layoutX("back_4"), -13.0f);
  EXPECT_EQ(layoutX("accept_7"), -10000.0f);
  EXPECT_NE(layoutX("back_3"), -13.0f);
  // The explicit loading frames alone: 16 between the flip-book groups and 5 in the last step.
  EXPECT_GE(g_uLoadingFramesRun, 21u);
  // The title stays without a start press, over the backgrounds its screens load, with the menu music held.
  ClWidget* pTop = ClUI::getWidget("TopLevelSwitcher");
  for (int i = 0; i < 60; ++i) ClGame::tickFrame(0.016f);
  EXPECT_EQ(pTop->getActiveSwitchedChild(), ClUI::getWidget("TitleScreen"));
  EXPECT_NE(g_bBackgroundsLoaded, 0);
  EXPECT_FALSE(g_gameModeFrontEnd.mp_menuMusicCue.isNull()) << "MainMenuLoop";
  EXPECT_EQ(switchStateOf("TopLevelSwitcher", "MainMenu"), static_cast<u32>(E_SWITCH_STATE_INACTIVE));
  EXPECT_EQ(ClGameStateMgr::getInputMapper(0), ClInputManager::getMenusMapper());
  // The window losing the focus pauses the music, regaining it resumes it: the window system's messages, through
  // the program's message pump.
  const auto musicPausedAfterMessages = [] {
    for (int i = 0; i < 8; ++i) ClGraphics::processMessages();
    return ClAudioManager::getCueInstance(g_gameModeFrontEnd.mp_menuMusicCue)->m_bPaused;
  };
  Win32TestSetFocus(nullptr);
  EXPECT_EQ(musicPausedAfterMessages(), 1);
  Win32TestSetFocus(ClGraphics::mp_hWnd);
  EXPECT_EQ(musicPausedAfterMessages(), 0);
}

// The sound bank's progress, as the loader reports it to the game's frame hooks: while the load mode loads, a count of
// 0 counts 128 KiB, and a loading frame runs each time 5 MiB have been counted; outside it nothing is counted.
TEST_F(GameFrontEnd, ProgressCallbackRunsALoadingFrameEveryFiveMebibytes) {
  struct SCase {
    const char* pName;
    std::vector<u64> counts;
    u64 uFrames;
    u64 uLeft;
  };
  const SCase aCases[] = {
      {"39 streamed sounds", std::vector<u64>(39, 0), 0, 39 * gc_uSTREAMED_SOUND_BYTES},
      {"40 streamed sounds", std::vector<u64>(40, 0), 1, 0},
      {"one sound of 5 MiB", {gc_uLOADING_FRAME_BYTES}, 1, 0},
      {"one sound a byte short", {gc_uLOADING_FRAME_BYTES - 1}, 0, gc_uLOADING_FRAME_BYTES - 1},
      {"one sound of 12 MiB", {12 * 1048576}, 1, 0},
      {"3 MiB twice", {3 * 1048576, 3 * 1048576}, 1, 0},
  };
  // As inside a loading step: the frame's geometry has begun, and the mode's own frame ends it.
  ClDynamicGeometry::beginFrame();
  g_gameModeLoad.m_bPumpsSoundLoads = 1;
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    g_uBytesSinceLoadingFrame = 0;
    const u64 uBefore = g_uLoadingFramesRun;
    for (u64 uBytes : c.counts) KvFrameGameHooks().soundSourceLoaded(nullptr, 1, 1, 1, uBytes);
    EXPECT_EQ(g_uLoadingFramesRun - uBefore, c.uFrames);
    EXPECT_EQ(g_uBytesSinceLoadingFrame, c.uLeft);
  }
  g_gameModeLoad.m_bPumpsSoundLoads = 0;
  g_uBytesSinceLoadingFrame = 0;
  KvFrameGameHooks().soundSourceLoaded(nullptr, 1, 1, 1, gc_uLOADING_FRAME_BYTES);
  EXPECT_EQ(g_uBytesSinceLoadingFrame, 0u);
  ClGraphics::updateAndEndFrame();
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// "StartGame" starts play: the kind of play from "_mode_selected" (the screen set makes it at load, so it is always
// there); a story start at a chapter's first level plays that chapter's video first, and the video mode goes on to
// the action mode.
TEST_F(GameFrontEnd, StartGameChoosesThePlayAndTheChapterVideo) {
  struct SCase {
    const char* pName;
    i32 iModeSelected;
    i32 iChapter, iLevel;
    E_GAME_MODE eNext;
    i32 iGameType;
    const char* pVideo;
  };
  const SCase aCases[] = {
      {"story, chapter 1 from its start", 0, 0, 0, E_GAME_MODE_FMV, 0, "Interstitial_Chapter1"},
      {"story, chapter 3 from its start", 0, 2, 0, E_GAME_MODE_FMV, 0, "Interstitial_Chapter3"},
      {"story, chapter 1 at level 3", 0, 0, 2, E_GAME_MODE_ACTION, 0, ""},
      {"marathon from its start", 1, 0, 0, E_GAME_MODE_ACTION, 1, ""},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    g_gameModeFrontEnd.m_bFinished = 0;
    g_eNextGameMode = E_GAME_MODE_ACTION;
    g_acFMVName[0] = '\0';
    g_iFMVNextGameMode = E_GAME_MODE_NONE;
    g_iSelectedChapter = c.iChapter;
    g_iSelectedLevel = c.iLevel;
    GAMESetRootValue("_mode_selected", c.iModeSelected);
    EXPECT_EQ(g_gameModeFrontEnd.tick(0.016f), 0) << "nothing asked yet";
    GAMESetRootValue("StartGame", 1);
    EXPECT_EQ(g_gameModeFrontEnd.tick(0.016f), 1);
    EXPECT_EQ(GAMEGetRootValue("StartGame", -1), 0);
    EXPECT_EQ(g_eNextGameMode, c.eNext);
    EXPECT_EQ(g_iSelectedGameType, c.iGameType);
    EXPECT_STREQ(g_acFMVName, c.pVideo);
    EXPECT_EQ(g_iFMVNextGameMode, c.pVideo[0] != '\0' ? E_GAME_MODE_ACTION : E_GAME_MODE_NONE);
  }
}

// The return to the title: every screen set back to its title state, the request cleared, the volumes at 80.
TEST_F(GameFrontEnd, ReturnToTheTitleResetsTheScreensAndTheVolumes) {
  ASSERT_NE(g_pPlayerProfileData, nullptr);
  g_pPlayerProfileData->m_iMusicVolume = 10;
  g_pPlayerProfileData->m_iSoundEffectVolume = 20;
  g_pPlayerProfileData->m_iMasterVolume = 30;
  ClUI::switchTo("TopLevelSwitcher", "Options");
  ClUI::switchTo("HowToPlaySwitcher", "Max");
  GAMESetRootValue("PauseGame", 1);
  g_bReturnToFrontEnd = 1;
  EXPECT_EQ(g_gameModeFrontEnd.tick(0.016f), 0);
  EXPECT_EQ(g_bReturnToFrontEnd, 0u);
  EXPECT_EQ(GAMEGetRootValue("PauseGame", -1), 0);
  EXPECT_EQ(g_pPlayerProfileData->m_iMusicVolume, 80);
  EXPECT_EQ(g_pPlayerProfileData->m_iSoundEffectVolume, 80);
  EXPECT_EQ(g_pPlayerProfileData->m_iMasterVolume, 80);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(ClAudioManager::getCategory(i).m_fVolume, 0.8f) << i;
  // The switches run their transitions: frames until the screens have come in.
  ClWidget* pHowToPlay = ClUI::getWidget("HowToPlaySwitcher");
  for (int i = 0; i < 120 && pHowToPlay->getActiveSwitchedChild() != ClUI::getWidget("HowToPlayInactive"); ++i) {
    ClGame::tickFrame(0.016f);
  }
  EXPECT_EQ(pHowToPlay->getActiveSwitchedChild(), ClUI::getWidget("HowToPlayInactive"));
}

// With "SKIP_UI" the front end switches to the in-game screen and asks for the action mode, which this build does
// not have: the mode machine is then in mode 2 with no mode object, and its frames only service the engine.
TEST_F(GameSkipUI, FrontEndAsksForTheActionMode) {
  ClGame::tickFrame(0.016f);
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
  EXPECT_EQ(g_ePreviousGameMode, E_GAME_MODE_FRONTEND);
  EXPECT_EQ(g_pCurrentGameMode, &g_gameModeAction);
  EXPECT_EQ(ClGameStateMgr::getInputMapperCount(0), 1)
      << "the front end's mappers are gone, the gameplay mapper is on";
  EXPECT_EQ(GAMEGetRootValue("StartGame", -1), 0);
  // The sample screens choose the story: its first level with a player at the start.
  EXPECT_EQ(g_iGameType, 0);
  EXPECT_GT(g_spawnRows.getCount(), 0);
  ASSERT_NE(g_pPlayer, nullptr);
  EXPECT_EQ(g_pPlayer->m_iHitPoints, 3);
  ClWidget* pTop = ClUI::getWidget("TopLevelSwitcher");
  for (int i = 0; i < 60 && pTop->getActiveSwitchedChild() != ClUI::getWidget("InGame"); ++i) {
    EXPECT_EQ(ClGame::tickFrame(0.016f), 1u);
  }
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
}

// The splash path: the sequence runs to its end while the UI loads, and the front end follows.
TEST_F(GameFrame, SplashPathRunsToTheFrontEnd) {
  EXPECT_FALSE(splashCanSkip());
  ASSERT_GT(ticksUntilFrontEnd(3000), 0);
  EXPECT_EQ(g_ePreviousGameMode, E_GAME_MODE_LOAD);
  EXPECT_EQ(g_iLoadUIStep, gc_iNUM_LOAD_UI_STEPS);
  // The movie that would end the sequence is not there, so the splash has ended by the time the UI has loaded: the
  // mode finishes in that tick, before the splash could be skipped.
  EXPECT_EQ(g_gameModeLoad.m_iFramesSinceUILoaded, 0);
  EXPECT_FALSE(splashCanSkip());
  EXPECT_EQ(ClUI::getWidget("SplashSwitcher")->getActiveSwitchedChild(), ClUI::getWidget("SplashInactive"));
}

namespace {

// The load mode's next mode under the test settings, without the splash.
struct SLoadNextCase {
  const char* pName;
  const char* pSettings;
  E_GAME_MODE eNext;
  const char* pVideo;
};

class GameLoadNext : public GameFrame, public ::testing::WithParamInterface<SLoadNextCase> {
 protected:
  void SetUp() override {
    g_acFMVName[0] = '\0';
    m_settings = std::string("SKIP_SPLASH 1\n") + GetParam().pSettings;
    m_bUntilLoadEnds = true;
    GameFrame::SetUp();
  }
};

}  // namespace

// "TEST_CAT_FPS" leads to the bonus stage and wins over "TEST_FMV", which leads to the video mode with the video named
// by "FMV_NAME"; neither exists in this build, so the mode machine stays in the mode asked for.
TEST_P(GameLoadNext, LoadModeLeadsWhereTheSettingsSay) {
  EXPECT_EQ(g_ePreviousGameMode, E_GAME_MODE_LOAD);
  EXPECT_EQ(g_eCurrentGameMode, GetParam().eNext);
  EXPECT_EQ(g_gameModeLoad.m_eNextGameMode, GetParam().eNext);
  EXPECT_STREQ(g_acFMVName, GetParam().pVideo);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, GameLoadNext,
    ::testing::Values(SLoadNextCase{"None", "", E_GAME_MODE_FRONTEND, ""},
                      SLoadNextCase{"BonusStage", "TEST_CAT_FPS 1\n", E_GAME_MODE_CATFPS, ""},
                      SLoadNextCase{"BonusStageWins", "TEST_CAT_FPS 1\nTEST_FMV 1\nFMV_NAME Intro\n",
                                    E_GAME_MODE_CATFPS, ""},
                      SLoadNextCase{"Video", "TEST_FMV 1\nFMV_NAME Intro\n", E_GAME_MODE_FMV, "Intro"},
                      SLoadNextCase{"SettingZero", "TEST_CAT_FPS 0\nTEST_FMV 0\n", E_GAME_MODE_FRONTEND, ""}),
    [](const ::testing::TestParamInfo<SLoadNextCase>& info) { return std::string(info.param.pName); });

// The prompt switch: a keyboard menu key shows the keys' images, a pad control the buttons'; a key wins when both
// come in one frame. Each case starts a fresh input frame (nothing held), then holds its controls for one front-end
// tick, whose mappers turn them into this frame's actions.
TEST_F(GameFrontEnd, PromptsFollowTheLastDeviceUsed) {
  constexpr u32 gc_uiSCAN_DOWN = 0xD0;
  struct SCase {
    const char* pName;
    bool bKey, bPad;
    u32 bStartPrompts, bExpected;
  };
  const SCase aCases[] = {
      {"key", true, false, 0, 1},       {"pad", false, true, 1, 0}, {"both", true, true, 0, 1},
      {"both from keys", true, true, 1, 1}, {"nothing", false, false, 1, 1}, {"nothing from pads", false, false, 0, 0},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    ClInputManager::tick();
    ClInputManager::tick();
    ASSERT_EQ(ClGameStateMgr::getInputBlockedFrames(), 0);
    g_bShowKeyboardPrompts = c.bStartPrompts;
    if (c.bKey) ClInputHWtoKv::mp_auiKeyStates[KvKeyIndexFromScanCode(gc_uiSCAN_DOWN)] = E_KEY_DOWN;
    if (c.bPad) ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_A] = 1.0f;
    g_gameModeFrontEnd.tick(0.016f);
    EXPECT_EQ(g_bShowKeyboardPrompts, c.bExpected);
    ClInputHWtoKv::mp_auiKeyStates[KvKeyIndexFromScanCode(gc_uiSCAN_DOWN)] = 0;
    ClInputHWtoKv::mp_aPadStates[0].mp_afInputs[E_PAD_INPUT_A] = 0.0f;
  }
}

namespace {

// The Action mode's drawing as far as the gore effects go: the world's geometry of the frame, the effects, the UI.
class ClGoreFrameMode final : public ClGameMode {
 public:
  i32 enter(i32) override { return 1; }
  i32 tick(f32 fDT) override {
    ClGame::tickClocks(fDT);
    ClDynamicGeometry::beginFrame();
    GoreFx::draw();
    ClUI::update();
    ClUI::render();
    g_aTVChannels[0].advance();
    ClGraphics::endFrame();
    return 0;
  }
  i32 exit() override { return 1; }
};

SGib restingGib(const char* pBody, f32 fX, f32 fSpinRate, f32 fSpinTime) {
  SGib gib;
  gib.m_bodyAnim.playFlipBook(ClFlipBookMgr::getFlipBook(pBody), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  gib.m_vPosition[0] = fX;
  gib.m_vPosition[1] = 150.0f;
  gib.m_vPosition[2] = -20.0f;
  gib.m_fSpinRate = fSpinRate;
  gib.m_fSpinTime = fSpinTime;
  return gib;
}

}  // namespace

// The gore effects in a frame of the sample content, over the in-game screen: a piece of each style (the first two
// turned, the fire piece with its trail), a spark, a ring, and a stacked score text asked for twice ("X2" under
// it) in the game's font.
TEST_F(GameFrontEnd, GoreAndAStackedScoreTextInTheScene) {
  ASSERT_TRUE(settleMenus());
  ASSERT_TRUE(switchMainScreenTo("InGame"));
  WorldRunState::reset();
  GoreFx::initialize();
  g_gibs.append(restingGib("GibNormal2", 80.0f, 1.0f, 0.5f));
  SGib fire = restingGib("GibFire1", 130.0f, -2.0f, 0.5f);
  fire.m_trailAnim.playFlipBook(ClFlipBookMgr::getFlipBook("GibFireAir"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  g_gibs.append(fire);
  g_gibs.append(restingGib("GibElectric2", 180.0f, 0.0f, 0.0f));
  g_gibs.append(restingGib("GibMagic3", 230.0f, 0.0f, 0.0f));
  SSparkAnim spark;
  spark.m_anim.playFlipBook(ClFlipBookMgr::getFlipBook("HitSpark1"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  spark.m_vPosition[0] = 330.0f;
  spark.m_vPosition[1] = 180.0f;
  g_sparkAnims.append(spark);
  SEnemyActionFx ring;
  ring.m_afRadii[0] = 10.0f;
  ring.m_afRadii[1] = 18.0f;
  ring.m_afRadii[2] = 10.0f;
  ring.m_afRadii[3] = 18.0f;
  ring.m_uiInnerColor = 0xFFFFFF80;
  ring.m_uiOuterColor = 0x00FFFF80;
  ring.m_fLifetime = 1.0f;
  ring.m_vPosition[0] = 300.0f;
  ring.m_vPosition[1] = 110.0f;
  g_enemyActionFx.append(ring);
  const f32 vAt[4] = {150.0f, 157.0f, -70.0f, 0.0f};
  GoreFx::addStackedFloatingText("enemy_score_hit_perfect", 250, vAt);
  GoreFx::addStackedFloatingText("enemy_score_hit_perfect", 250, vAt);
  ASSERT_EQ(g_floatingTexts.getCount(), 1);

  ClGoreFrameMode mode;
  ClGameMode* pSaved = g_pCurrentGameMode;
  g_pCurrentGameMode = &mode;
  const STestPicture picture = frameAs(E_GAME_MODE_PRELOAD);
  g_pCurrentGameMode = pSaved;
  GoreFx::releaseAll();
  expectMatchesReference(picture, "GoreAndStackedText");
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}
