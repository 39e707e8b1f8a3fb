// The in-game HUD's procedures on the sample "InGame" screen of the running
// game: the run's state set by the test, one "systemInGameTick", and what the
// widgets then show (texts, visibility, clones, textures, flip books, pip
// states and delays); the controller image follows the keyboard-prompt flag
// once a frame has drawn it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEInGameUI.h"
#include "Code/UI/GAMEScreenPause.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

std::string textOf(const char *pWidget) {
  const wchar16 *pText =
      ClUI::getWidget(pWidget)->getUnicodeString("dynamicUnicodeText");
  std::string text;
  for (; *pText != 0; ++pText)
    text += static_cast<char>(*pText);
  return text;
}

bool visible(const char *pWidget) {
  return ClUI::getWidget(pWidget)->mp_bVisible != 0;
}

std::string textureOf(const char *pWidget) {
  return ClUI::getWidget(pWidget)->getString("textureName");
}

// The flip book the widget's animation object plays now.
const ClFlipBook *playing(ClWidget *pWidget) {
  const ClTexAnimObj *pObj = getWidgetAnimObj(pWidget);
  return pObj != nullptr
             ? pObj->mp_curAnimators.mp_flipBookAnimator.getFlipBook()
             : nullptr;
}
const ClFlipBook *flipBook(const char *pName) {
  return *ClFlipBookMgr::findByHash(KvStrHash(pName));
}

class InGameHud : public GameFrontEnd {
protected:
  void SetUp() override {
    GameFrontEnd::SetUp();
    if (HasFatalFailure())
      return;
    ASSERT_TRUE(settleMenus());
    ASSERT_TRUE(switchMainScreenTo("InGame"));
    WorldRunState::reset();
    resetInGameHudState();
    g_pPlayer = nullptr;
  }
  void TearDown() override {
    g_pPlayer = nullptr;
    GameFrontEnd::TearDown();
  }
  static void tick() { systemInGameTick(nullptr, nullptr); }
  ClTestPlayer m_player;
};

TEST_F(InGameHud, ScoreBestProgressAndTimeByGameType) {
  ASSERT_NE(g_pPlayerProfileData, nullptr);
  g_pPlayerProfileData->m_survivor.m_iBestScore = 500;
  g_pPlayerProfileData->m_marathon.m_iBestScore = 0;
  g_fLevelLength = 2000.0f;
  const struct {
    i32 iScore;
    i32 iGameType;
    f32 fCameraX;
    f32 fTimeLeft;
    const char *pScore;
    const char *pBest;
    const char *pPercent; // null: hidden
    const char *pTime;    // null: hidden
  } aCases[] = {
      {12, 1, 500.0f, 30.0f, "SCORE\n10", "BEST 10", "25%", nullptr},
      {13, 1, 2500.0f, 30.0f, "SCORE\n15", "BEST 15", "100%", nullptr},
      {2, 3, 500.0f, 75.0f, "SCORE\n0", "BEST 500", nullptr, "1:15"},
      {1002, 3, 0.0f, -0.5f, "SCORE\n1000", "BEST 1000", nullptr, "0:00"},
  };
  for (const auto &c : aCases) {
    SCOPED_TRACE(c.pScore);
    g_iScore = c.iScore;
    g_iGameType = c.iGameType;
    g_fWorldCameraX = c.fCameraX;
    g_fTimeLeft = c.fTimeLeft;
    tick();
    EXPECT_EQ(textOf("InGameScore"), c.pScore);
    EXPECT_EQ(textOf("InGameBestScore"), c.pBest);
    EXPECT_EQ(visible("InGameLevelPercent"), c.pPercent != nullptr);
    if (c.pPercent != nullptr) {
      EXPECT_EQ(textOf("InGameLevelPercent"), c.pPercent);
    }
    EXPECT_EQ(visible("InGameTime"), c.pTime != nullptr);
    if (c.pTime != nullptr) {
      EXPECT_EQ(textOf("InGameTime"), c.pTime);
    }
  }
}

TEST_F(InGameHud, HealthBarsAreClonesNineApartAndTheIconFollows) {
  const struct {
    bool bPlayer;
    i32 iHitPoints;
    u32 uiBars;
    const char *pIcon;
  } aCases[] = {{true, 5, 3, "IM-HUD-Character1"},
                {true, 2, 2, "IM-HUD-Character2"},
                {true, -1, 0, "IM-HUD-Character4"},
                {false, 3, 0, "IM-HUD-Character4"}};
  for (const auto &c : aCases) {
    SCOPED_TRACE(c.iHitPoints);
    m_player.m_iHitPoints = c.iHitPoints;
    g_pPlayer = c.bPlayer ? &m_player : nullptr;
    tick();
    tick(); // the bars of the last frame are destroyed, not added to
    ClWidget *pBars = ClUI::getWidget("InGameHealthBars");
    ASSERT_EQ(pBars->mp_AllChildren.getSize(), c.uiBars);
    EXPECT_EQ(pBars->mp_DrawnChildren.getSize(), c.uiBars);
    for (u32 i = 0; i < c.uiBars; ++i) {
      ClWidget *pBar = pBars->mp_AllChildren[i];
      EXPECT_EQ(pBar->mp_pParent, pBars);
      EXPECT_NE(pBar, ClUI::getWidget("InGameHealthBarExample"));
      EXPECT_EQ(KvLayoutPlacement(pBar->getLayout("widgetLayout")).mp_fX,
                9.0f * static_cast<f32>(i));
    }
    EXPECT_EQ(textureOf("InGameCharacterIcon"), c.pIcon);
  }
}

TEST_F(InGameHud, MultiplierShowsItsPlateAndHidesAtOne) {
  const struct {
    i32 iStreak;
    i32 eState;
    const char *pPlate; // null: the three widgets hidden
  } aCases[] = {{10, 0, "IM-HUD-X2"},
                {25, 0, "IM-HUD-X3"},
                {0, 0, nullptr},
                // Back to the value shown before it fell: shown again.
                {25, 0, "IM-HUD-X3"},
                // Powered: the doubled plate.
                {31, E_PLAYER_STATE_CHAINSAW, "IM-HUD-2xX8"}};
  g_pPlayer = &m_player;
  for (const auto &c : aCases) {
    SCOPED_TRACE(c.iStreak);
    g_iKillStreak = c.iStreak;
    g_fMultiplier = c.iStreak >= 30   ? 4.0f
                    : c.iStreak >= 20 ? 3.0f
                    : c.iStreak >= 10 ? 2.0f
                                      : 1.0f;
    m_player.m_eState = c.eState;
    tick();
    EXPECT_EQ(visible("InGameMultiplier"), c.pPlate != nullptr);
    EXPECT_EQ(visible("InGameMultiplier_Under"), c.pPlate != nullptr);
    EXPECT_EQ(visible("InGameMultiplier_Over"), c.pPlate != nullptr);
    if (c.pPlate != nullptr) {
      EXPECT_EQ(playing(ClUI::getWidget("InGameMultiplier")),
                flipBook(c.pPlate));
      EXPECT_EQ(playing(ClUI::getWidget("InGameMultiplier_Over")),
                flipBook(c.eState != 0 ? "IM-HUD-Combo2xBurstOver"
                                       : "IM-HUD-ComboBurstOver"));
    }
  }
  // The bursts play once; when they are done the over and under widgets hide
  // and the plate stays.
  for (int i = 0; i < 120; ++i)
    ClGame::tickFrame(0.016f);
  EXPECT_TRUE(visible("InGameMultiplier"));
  EXPECT_FALSE(visible("InGameMultiplier_Over"));
  EXPECT_FALSE(visible("InGameMultiplier_Under"));
  // Resuming from the pause menu forgets what was shown: the same multiplier
  // bursts in again.
  GAMESetRootValue("PauseGame", 1);
  systemUnpauseAndReturnToGame(nullptr, nullptr);
  tick();
  EXPECT_TRUE(visible("InGameMultiplier_Over"));
  EXPECT_EQ(playing(ClUI::getWidget("InGameMultiplier_Over")),
            flipBook("IM-HUD-Combo2xBurstOver"));
}

TEST_F(InGameHud, PipsLightForTheStreakInTheirTier) {
  ClWidget *pCombos = ClUI::getWidget("InGameMultiplierCombos");
  const i32 iPips = static_cast<i32>(pCombos->mp_AllChildren.getSize());
  ASSERT_EQ(iPips, 10);
  const struct {
    i32 iStreak;
    i32 iLit;
  } aCases[] = {{9, 9}, {10, 0}, {13, 3}, {31, 10}, {35, 10}, {2, 2}};
  for (const auto &c : aCases) {
    SCOPED_TRACE(c.iStreak);
    g_iKillStreak = c.iStreak;
    tick();
    const i32 iExpected = c.iLit > iPips ? iPips : c.iLit;
    for (i32 i = 1; i <= iPips; ++i) {
      ClWidget *pPip = ClUI::getWidgetFormatted("InGameMultiplierCombo%d", i);
      EXPECT_EQ(pPip->getInt("TickActive") != 0, i <= iExpected) << "pip " << i;
      if (i > iExpected) {
        EXPECT_EQ(playing(pPip), flipBook("IM-HUD-ComboEmpty")) << "pip " << i;
        EXPECT_FALSE(visible(
            ("InGameMultiplierComboBURSTOVERLAY" + std::to_string(i)).c_str()))
            << "pip " << i;
      }
    }
  }
}

TEST_F(InGameHud, AFirstPipWaitsForTheLoopBoundaryAndLightsWithABurst) {
  g_iKillStreak = 0;
  tick();
  g_iKillStreak = 1;
  tick();
  ClWidget *pPip = ClUI::getWidget("InGameMultiplierCombo1");
  const ClTexAnimObj *pObj = getWidgetAnimObj(pPip);
  ASSERT_NE(pObj, nullptr);
  // The phase timer restarts at 0: the activation waits 1.58 - 0.49 s, then the
  // full loop follows it.
  const STexAnimQueuedPlay *pFirst = pObj->mp_queuedPlays.getHead();
  ASSERT_NE(pFirst, nullptr);
  EXPECT_NEAR(pFirst->mp_fDelay, 1.09f, 1e-4f);
  EXPECT_EQ(pFirst->mp_pFlipBook, flipBook("IM-HUD-ComboActivate"));
  const STexAnimQueuedPlay *pSecond = pObj->mp_queuedPlays.getNext(pFirst);
  ASSERT_NE(pSecond, nullptr);
  EXPECT_EQ(pSecond->mp_pFlipBook, flipBook("IM-HUD-ComboFullLoop"));
  EXPECT_NE(pSecond->mp_bWait, 0);
  EXPECT_TRUE(visible("InGameMultiplierComboBURSTOVERLAY1"));
  EXPECT_EQ(playing(ClUI::getWidget("InGameMultiplierComboBURSTOVERLAY1")),
            flipBook("IM-HUD-ComboActivateBurst"));
  // Switching the HUD in again hides the overlays that are still up.
  systemInGameTransitionIn(nullptr, nullptr);
  EXPECT_FALSE(visible("InGameMultiplierComboBURSTOVERLAY1"));
}

TEST_F(InGameHud, BombAndWeaponPicturesByKind) {
  const struct {
    i32 iCharges;
    i32 iMagicKind;
    i32 iWeaponKind;
    const char *pBomb; // null: hidden
    const char *pWeapon;
  } aCases[] = {{1, 0, 0, "IM-HUD-Bomb-2", "IM-HUD-Powerup-1"},
                {2, 1, 1, "IM-HUD-Bomb-1", "IM-HUD-Powerup-2"},
                {1, 2, 2, "IM-HUD-Bomb-3", "IM-HUD-Powerup-3"},
                {0, 2, 0, nullptr, "IM-HUD-Powerup-1"}};
  for (const auto &c : aCases) {
    SCOPED_TRACE(c.pWeapon);
    g_iMagicCharges = c.iCharges;
    g_iMagicKind = c.iMagicKind;
    g_iSuperWeaponKind = c.iWeaponKind;
    tick();
    EXPECT_EQ(visible("InGameBomb"), c.pBomb != nullptr);
    if (c.pBomb != nullptr) {
      EXPECT_EQ(textureOf("InGameBomb"), c.pBomb);
    }
    EXPECT_EQ(textureOf("InGameWeaponIcon"), c.pWeapon);
  }
}

TEST_F(InGameHud, ControllerImageFollowsTheKeyboardPromptFlagWhenDrawn) {
  const u32 bSaved = g_bShowKeyboardPrompts;
  for (const u32 bKeyboard : {1u, 1u, 0u, 0u}) {
    g_bShowKeyboardPrompts = bKeyboard;
    ClGame::tickFrame(0.016f);
    EXPECT_EQ(textureOf("InGamePausePrompt"),
              bKeyboard ? "IM-HUD-Button-Pause-KB" : "IM-HUD-Button-Pause");
  }
  g_bShowKeyboardPrompts = bSaved;
}

} // namespace
