// Pictures of a played level: the game started with "SKIP_UI", a fixed seed and
// the random-input tester plays the first story level in frames of 1/60 s, and
// the back buffer read at fixed times of the run is compared with the
// references: early with the level's start banner, at 8 s with the Dragon
// special in a fight and at 30 s in a fight with the player hurt; the HUD over
// the scene each time. The level opens on the how-to-play pages, which the
// tester leaves as a player does; the times count from there. Without the
// tester, the pages themselves, readable over the level's held fade-in, and
// the pause menu and the options opened from it while the start banner runs,
// which is left out under them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"

namespace {

class ActionFrames : public GameFrame {
protected:
  void SetUp() override {
    m_settings += "SKIP_SPLASH 1\nSKIP_UI 1\nRANDOM_SEED 1234\nMONKEY_SCHEME "
                  "Scheme_InGame\n";
    m_bUntilLoadEnds = true;
    GameFrame::SetUp();
  }
};

TEST_F(ActionFrames, TheFirstLevelAtFixedTimesOfAScriptedRun) {
  for (int i = 0; i < 10 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i)
    ClGame::tickFrame(1.0f / 60.0f);
  ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
  for (int i = 0; i < 600 && GAMEGetRootValue("HowToPlayFromGame", 0) != 0; ++i)
    ClGame::tickFrame(1.0f / 60.0f);
  ASSERT_EQ(GAMEGetRootValue("PauseGame", 0), 0) << "the pages were left";
  const struct {
    int iFrame; // frames of the Action mode before the picture
    const char *pReference;
  } aShots[] = {{90, "ActionStartBanner"},
                {8 * 60, "ActionFight8s"},
                {30 * 60, "ActionFight30s"}};
  int iFrame = 0;
  for (const auto &shot : aShots) {
    SCOPED_TRACE(shot.pReference);
    for (; iFrame < shot.iFrame; ++iFrame)
      ClGame::tickFrame(1.0f / 60.0f);
    ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
    const STestPicture picture = readBackBuffer();
    std::printf("%s: score %d, streak %d, hit points %d, %u health bars\n",
                shot.pReference, g_iScore, g_iKillStreak,
                g_pPlayer != nullptr ? g_pPlayer->m_iHitPoints : -1,
                ClUI::getWidget("InGameHealthBars")->mp_AllChildren.getSize());
    expectMatchesReference(picture, shot.pReference);
  }
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

class ActionScreens : public GameFrame {
protected:
  void SetUp() override {
    m_settings += "SKIP_SPLASH 1\nSKIP_UI 1\nRANDOM_SEED 1234\n";
    m_bUntilLoadEnds = true;
    GameFrame::SetUp();
  }
};

TEST_F(ActionScreens, HowToPlayAndPauseOverTheFirstLevelsFadeAndBanner) {
  for (int i = 0; i < 10 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i)
    ClGame::tickFrame(1.0f / 60.0f);
  ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
  for (int i = 0; i < 20; ++i)
    ClGame::tickFrame(1.0f / 60.0f);
  expectMatchesReference(readBackBuffer(), "ActionHowToPlay");
  ASSERT_TRUE(leaveHowToPlayPages());
  // The fade-in's second, then half a second of the start banner, whose time
  // stands while the game is paused: the pause menu, then the options that
  // the pause menu's button opens, each with nothing of the banner drawn.
  for (int i = 0; i < 90; ++i)
    ClGame::tickFrame(1.0f / 60.0f);
  const struct {
    void (*pfnOpen)();
    const char *pScreen;
    const char *pReference;
  } aScreens[] = {
      {[] { g_gameModeAction.pauseGame(); }, "Pause", "ActionPauseOverBanner"},
      {[] {
         ClUI::getWidget("PauseOptionsButton")->callEvent(KvStrHash("onClick"));
       },
       "Options", "ActionOptionsOverBanner"}};
  for (const auto &screen : aScreens) {
    SCOPED_TRACE(screen.pReference);
    screen.pfnOpen();
    for (int i = 0; i < 40; ++i)
      ClGame::tickFrame(1.0f / 60.0f);
    ASSERT_EQ(ClUI::getWidget("TopLevelSwitcher")->getActiveSwitchedChild(),
              ClUI::getWidget(screen.pScreen));
    ASSERT_NE(g_bStartBanner, 0);
    expectMatchesReference(readBackBuffer(), screen.pReference);
  }
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

} // namespace
