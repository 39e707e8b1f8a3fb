// The game's frame composition as the tests in this folder see it: the game started in a fresh data root on the
// archives the build makes, run into its load mode or its front end, its back buffer read back and compared with
// reference images made once by the tests (GRINDLOW_WRITE_REFERENCES=1 writes them into Reference/ instead of
// comparing; look at them before keeping them).
//
// The device is 960 x 540 (a 16:9 desktop mode picked for the window), so the 480 x 270 scene is scaled by two.
// Tolerance: every channel of at least 99.5 % of the pixels within 6 levels of the reference, none further off than
// 48, and a mean absolute difference over all channels of at most 0.05 levels. The first two allow another software
// rasteriser's rounding at edges but not a moved sprite, a missing bloom or a lost CRT pattern; the mean catches a
// bloom of another width (a blur deviation of 0.25 instead of 0.35 moves 10 % of the pixels, nearly all by 6 levels
// or less, for a mean of 0.13).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeFMV.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/Objects/Backgrounds.h"
#include "Code/Objects/ClEntityEnemy.h"
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
#include "Platform/FMODEx/FMODExTest.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tests/Support/InProcessGameTestSupport.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Code/System/GAMEGameHooks.h"
#include "Code/UI/GAMEScreenPause.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"

inline constexpr int gc_iWIDTH = 960;
inline constexpr int gc_iHEIGHT = 540;
// The bounds of the opening note.
inline constexpr STestPictureTolerance gc_TOLERANCE = {6, 0.995, 48, 0.05};

inline STestPicture readBackBuffer() {
  UINT uiW = 0;
  UINT uiH = 0;
  std::vector<DWORD> pixels = D3D9TestReadBackBuffer(ClGraphics::mp_pDevice, &uiW, &uiH);
  STestPicture picture;
  picture.pixels.assign(pixels.begin(), pixels.end());
  for (uint32_t& pixel : picture.pixels) pixel |= 0xFF000000u;
  picture.iWidth = static_cast<int>(uiW);
  picture.iHeight = static_cast<int>(uiH);
  return picture;
}


inline uint32_t pixelAt(const STestPicture& picture, int x, int y) {
  return picture.pixels.at(static_cast<size_t>(y) * picture.iWidth + x);
}


// The switch state of a switcher's screen (E_SWITCH_STATE); 0xFFFFFFFF when it is none of its screens.
inline u32 switchStateOf(const char* pSwitcher, const char* pScreen) {
  const ClWidget* pParent = ClUI::getWidget(pSwitcher);
  for (u32 i = 0; i < pParent->mp_SwitchedChildren.getSize(); ++i) {
    if (pParent->mp_SwitchedChildren[i].mp_pChild == ClUI::getWidget(pScreen)) {
      return pParent->mp_SwitchedChildren[i].mp_uiState;
    }
  }
  return 0xFFFFFFFFu;
}

// Compares with the reference of that name, or writes it when asked to.
inline void expectMatchesReference(const STestPicture& picture, const std::string& name) {
  const std::string path = std::string(KV_FRAME_REFERENCE_DIR) + "/" + name + ".png";
  const char* pWrite = std::getenv("GRINDLOW_WRITE_REFERENCES");
  if (pWrite != nullptr && std::string(pWrite) == "1") {
    const std::vector<uint8_t> png = KvTestEncodeImage(picture.pixels, picture.iWidth, picture.iHeight,
                                                       ETestImageFormat::PNG_OPAQUE);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()),
                                                 static_cast<std::streamsize>(png.size()));
    GTEST_SKIP() << "wrote " << path;
  }
  const ::testing::AssertionResult matches = KvTestPictureMatches(picture, KvTestLoadPicture(path), gc_TOLERANCE);
  // The margin is worth seeing when it passes too: a change of the composition shows how near the bounds it comes.
  std::printf("%s: %s\n", name.c_str(), matches.message());
  EXPECT_TRUE(matches) << path;
}

// The game from its start-up to its shutdown in a fresh data root: the archives the build makes, no vsync, a
// 960 x 540 desktop mode.
class GameFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    if (m_bMixedByTheTest) FMODExSetOutput(EFMODExOutput::Manual);
    const std::string dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string error;
    ASSERT_TRUE(KvTestCopyGameArchives(KvTestBinaryDir() + "/Data", dir + "/Data", &error)) << error;
    SInProcessGameStart how;
    how.dataRoot = dir + "/Data";
    how.storeDir = dir + "/store";
    how.settings = m_settings;
    how.modes = {{D3DFMT_X8R8G8B8, {m_uiModeWidth, m_uiModeHeight, 60, D3DFMT_X8R8G8B8}}};
    if (m_uiModeHeight > 480) how.modes.insert(how.modes.begin(), {D3DFMT_X8R8G8B8, {640, 480, 60, D3DFMT_X8R8G8B8}});
    ASSERT_TRUE(m_game.start(how, &error)) << error;
    // The first frame starts the profile's load, the frame that sees it ended runs the second start-up stage, the
    // next one enters the load mode.
    ASSERT_TRUE(eventually([] {
      ClGame::tickFrame(0.016f);
      return g_bGameInitialized != 0;
    }));
    ClGame::tickFrame(0.016f);
    ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_LOAD);
    if (m_bUntilLoadEnds) {
      for (int i = 0; i < 100 && g_eCurrentGameMode == E_GAME_MODE_LOAD; ++i) ClGame::tickFrame(0.016f);
      ASSERT_NE(g_eCurrentGameMode, E_GAME_MODE_LOAD);
      return;
    }
    if (m_bToFrontEnd) {
      ASSERT_GT(ticksUntilFrontEnd(100), 0);
      return;
    }
    // Otherwise the load mode's first tick has switched the splash on.
    ASSERT_EQ(ClUI::getWidget("SplashSwitcher")->getActiveSwitchedChild(), nullptr) << "coming in, not yet in";
  }
  // Frames of 16 ms until the title has come in, then the switch to the main menu that a start press makes, and
  // frames until its fades have run out; false when the menu did not come in within 300 frames.
  static bool settleMenus() {
    ClWidget* pTop = ClUI::getWidget("TopLevelSwitcher");
    ClWidget* pTitle = ClUI::getWidget("TitleScreen");
    ClWidget* pMenu = ClUI::getWidget("MainMenu");
    for (int i = 0; i < 300 && pTop->getActiveSwitchedChild() != pTitle; ++i) ClGame::tickFrame(0.016f);
    if (pTop->getActiveSwitchedChild() == pTitle) ClUI::switchTo("TopLevelSwitcher", "MainMenu");
    for (int i = 0; i < 300 && pTop->getActiveSwitchedChild() != pMenu; ++i) ClGame::tickFrame(0.016f);
    for (int i = 0; i < 60; ++i) ClGame::tickFrame(0.016f);
    return pTop->getActiveSwitchedChild() == pMenu;
  }
  // The gameplay clock stands still (state 1 is its time scale): the backgrounds behind the menus scroll and
  // animate on it, so every later frame of the menus is the same picture.
  static void stopGameplayClock() { ClGameStateMgr::setFloatState(1, 0.0f); }
  // Frames of 16 ms until the front end is the current mode; how many it took, or 0 when it did not come within
  // iLimit frames.
  static int ticksUntilFrontEnd(int iLimit) {
    for (int i = 1; i <= iLimit; ++i) {
      ClGame::tickFrame(0.016f);
      if (g_eCurrentGameMode == E_GAME_MODE_FRONTEND) {
        return i;
      }
    }
    return 0;
  }
  // Frames of 16 ms until the splash is on the active screen with its transition in done; how many it took, or 0
  // when it did not come within iLimit frames.
  static int ticksUntilSplash(const char* pScreen, int iLimit) {
    const ClWidget* pScreenWidget = ClUI::getWidget(pScreen);
    for (int i = 1; i <= iLimit; ++i) {
      ClGame::tickFrame(0.016f);
      if (ClUI::getWidget("SplashSwitcher")->getActiveSwitchedChild() == pScreenWidget &&
          pScreenWidget->mp_bTransitionDone) {
        return i;
      }
    }
    return 0;
  }
  void TearDown() override {
    m_game.stop();
    const char* pFirst = nullptr;
    EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 0) << "still in use: " << (pFirst ? pFirst : "");
    KvTestInstallHookDoubles();
    if (m_bMixedByTheTest) FMODExClearOutput();
  }
  // One game frame drawn as in the given mode (the composition reads the current mode; the mode object stays).
  static STestPicture frameAs(E_GAME_MODE eMode) {
    const E_GAME_MODE eSaved = g_eCurrentGameMode;
    g_eCurrentGameMode = eMode;
    ClGame::tickFrame(0.016f);
    g_eCurrentGameMode = eSaved;
    return readBackBuffer();
  }
  CInProcessGame m_game;
  // The 16:9 desktop mode the game picks for its window.
  UINT m_uiModeWidth = gc_iWIDTH;
  UINT m_uiModeHeight = gc_iHEIGHT;
  // A game whose pictures the test does not look at (a whole level played for its state or its sound) runs in a
  // 480 x 270 window, the size of the scene: the software rasteriser's passes over the window are most of a frame.
  void smallWindow() {
    m_uiModeWidth = 480;
    m_uiModeHeight = 270;
  }
  // Development settings beyond NOVSYNC, one a line; and whether the set-up runs on into the front end.
  std::string m_settings;
  bool m_bToFrontEnd = false;
  // Whether the set-up runs until the load mode has finished, wherever it leads.
  bool m_bUntilLoadEnds = false;
  // Whether the game's sound runs on the manual output, its time mixed by tickMixed: the sounds still playing (and
  // the cue instances still taken, which decides whether a cue draws its random parameters) then follow the
  // test's clock, not how fast the machine runs the frames.
  bool m_bMixedByTheTest = false;
  // One game frame of 1/60 s, then its 800 frames (at the mixer's 48 kHz) mixed and discarded.
  static void tickMixed() {
    ClGame::tickFrame(1.0f / 60.0f);
    EXPECT_EQ(FMODExMix(ClAudioManager::getSystem(), nullptr, 800), FMOD_OK);
  }
};

// The game without its splash ("SKIP_SPLASH"), run into the front end, which draws its menus over the sample scene.
class GameFrontEnd : public GameFrame {
 protected:
  void SetUp() override {
    m_settings += "SKIP_SPLASH 1\n";
    m_bToFrontEnd = true;
    GameFrame::SetUp();
  }
};

// The same game in a 1024 x 576 window (a 16:9 mode the game picks on a 1280 x 720 desktop as on a larger one): the
// scene is scaled by 32 / 15.
class GameFrameAt576 : public GameFrontEnd {
 protected:
  void SetUp() override {
    m_uiModeWidth = 1024;
    m_uiModeHeight = 576;
    GameFrontEnd::SetUp();
  }
};

// Frames of 16 ms until the main screen set's switcher has the screen active, then a second of frames for its fades.
inline bool switchMainScreenTo(const char* pScreen) {
  ClUI::switchTo("TopLevelSwitcher", pScreen);
  ClWidget* pSwitcher = ClUI::getWidget("TopLevelSwitcher");
  ClWidget* pTarget = ClUI::getWidget(pScreen);
  for (int i = 0; i < 300 && pSwitcher->getActiveSwitchedChild() != pTarget; ++i) ClGame::tickFrame(0.016f);
  for (int i = 0; i < 60; ++i) ClGame::tickFrame(0.016f);
  return pSwitcher->getActiveSwitchedChild() == pTarget;
}

// The first story level opens on the how-to-play pages, paused and without its music; this goes back into play as
// the pages' back button does. False (and nothing done) when the pages were not opened from play.
inline bool leaveHowToPlayPages() {
  if (GAMEGetRootValue("HowToPlayFromGame", 0) == 0 || GAMEGetRootValue("PauseGame", 0) == 0) {
    return false;
  }
  systemHowToPlayBackClick(nullptr, nullptr);
  return true;
}

// Whether an enemy or pickup that holds the level open (anything but the player's own shots) stands on screen: the
// camera's 384 units and a sprite's width either side.
inline bool levelEnemyOnScreen() {
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    ClEntity* pEntity = g_entityList[i];
    const ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(pEntity);
    const bool bHolds = pEntity->m_eKind == E_ENTITY_KIND_PICKUP ||
                        (pEnemy != nullptr && !pEnemy->typeIs("PlayerBulletTShirt") &&
                         !pEnemy->typeIs("PlayerCrossbowSawblades"));
    const f32 fX = pEntity->m_vPosition[0] - g_fWorldCameraX;
    if (bHolds && fX > -60.0f && fX < 440.0f) return true;
  }
  return false;
}
