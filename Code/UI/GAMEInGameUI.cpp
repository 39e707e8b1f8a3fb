#include "Code/UI/GAMEInGameUI.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEHudValues.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

SInGameHudState g_inGameHudState;
u32 g_bShowKeyboardPrompts = 0;

namespace {

constexpr u16 gc_uiBAR_LAYER = 2202;
constexpr u16 gc_uiBAR_CAP_LAYER = 2203;

// The profile read for the best scores; a zeroed one before the profile block
// exists.
const SPlayerProfileData &profileData() {
  static const SPlayerProfileData s_emptyProfile{};
  return g_pPlayerProfileData != nullptr ? *g_pPlayerProfileData
                                         : s_emptyProfile;
}

void setTexture(ClWidget *pWidget, const char *pName) {
  pWidget->setString(gc_TEXTURE_NAME.mp_uiHash, pName);
}

// No flip book playing, no colour animation running: a burst has played out.
bool isAnimIdle(const ClWidget *pWidget) {
  const ClTexAnimObj *pObj = getWidgetAnimObj(pWidget);
  if (pObj == nullptr) {
    return true;
  }
  const bool bColorRuns = pObj->mp_colorAnimator.mp_params.mp_iKind != 0 &&
                          pObj->mp_colorAnimator.mp_bActive != 0;
  return pObj->mp_curAnimators.mp_flipBookAnimator.m_bPlaying == 0 &&
         !bColorRuns;
}

void hideIfVisible(ClWidget *pWidget) {
  if (pWidget->mp_bVisible != 0) {
    pWidget->setVisible(0);
  }
}

void updateScore() {
  const i32 iRounded = HudValues::roundedScore(g_iScore);
  const i32 iBest = HudValues::bestScore(iRounded, g_iGameType, g_iChapter,
                                         g_iLevel, profileData());
  char szText[32];
  std::snprintf(szText, sizeof(szText), "\n%d", iRounded);
  ClUI::getWidget("InGameScore")
      ->setLocalizedTextWithString("ingame_score", szText);
  std::snprintf(szText, sizeof(szText), "%d", iBest);
  ClUI::getWidget("InGameBestScore")
      ->setLocalizedTextWithString("ingame_bestscore", szText);
  ClWidget *pPercent = ClUI::getWidget("InGameLevelPercent");
  if (HudValues::showsLevelPercent(g_iGameType)) {
    std::snprintf(szText, sizeof(szText), "%d",
                  HudValues::levelPercent(g_fWorldCameraX, g_fLevelLength));
    pPercent->setLocalizedTextWithString("ingame_level_percent", szText);
    pPercent->setVisible(1);
  } else {
    pPercent->setVisible(0);
  }
}

void updateTime() {
  ClWidget *pTime = ClUI::getWidget("InGameTime");
  if (!HudValues::showsTimeLeft(g_iGameType)) {
    pTime->setVisible(0);
    return;
  }
  pTime->setVisible(1);
  pTime->setLocalizedTextWithString(
      "ingame_timer", HudValues::timeLeftText(g_fTimeLeft).c_str());
}

void updateHealth() {
  ClWidget *pBars = ClUI::getWidget("InGameHealthBars");
  pBars->destroyChildren();
  const i32 iBars = HudValues::healthBars(g_pPlayer);
  ClWidget *pExample = ClUI::getWidget("InGameHealthBarExample");
  for (i32 i = 0; i < iBars; ++i) {
    ClWidget *pBar = pExample->clone();
    pBars->addDrawnChild(pBar);
    f32 afLayout[18];
    static_assert(sizeof(afLayout) == 72, "a widget layout value is 72 bytes");
    std::memcpy(afLayout, pBar->getLayout(gc_WIDGET_LAYOUT), sizeof(afLayout));
    afLayout[gc_iLAYOUT_X_WORD] = static_cast<f32>(i) * gc_fHUD_HEALTH_BAR_STEP;
    pBar->setLayout(gc_WIDGET_LAYOUT.mp_uiHash, afLayout);
  }
  char szIcon[32];
  std::snprintf(szIcon, sizeof(szIcon), "IM-HUD-Character%d",
                HudValues::characterIcon(iBars));
  setTexture(ClUI::getWidget("InGameCharacterIcon"), szIcon);
}

void updateMultiplierAndCombos() {
  SInGameHudState &state = g_inGameHudState;
  ClWidget *pUnder = ClUI::getWidget("InGameMultiplier_Under");
  ClWidget *pOver = ClUI::getWidget("InGameMultiplier_Over");
  ClWidget *pMultiplier = ClUI::getWidget("InGameMultiplier");
  const bool bPowered = HudValues::isPlayerPowered(g_pPlayer);
  if (g_fMultiplier > 1.0f && g_fMultiplier != state.m_fLastMultiplierShown) {
    pUnder->setVisible(1);
    pOver->setVisible(1);
    pMultiplier->setVisible(1);
    playAnimOnWidget(pUnder,
                     bPowered ? "IM-HUD-Combo2xBurstUnder"
                              : "IM-HUD-ComboBurstUnder",
                     false, 0.0f);
    playAnimOnWidget(
        pOver, bPowered ? "IM-HUD-Combo2xBurstOver" : "IM-HUD-ComboBurstOver",
        false, 0.0f);
    char szName[32];
    // The run keeps the multiplier unscaled while a super weapon doubles the
    // points; the powered plates are named by the doubled value (2xX4 for a
    // multiplier of 2).
    const i32 iShown = static_cast<i32>(g_fMultiplier);
    std::snprintf(szName, sizeof(szName),
                  bPowered ? "IM-HUD-2xX%d" : "IM-HUD-X%d",
                  bPowered ? iShown * 2 : iShown);
    playAnimOnWidget(pMultiplier, szName, true, 0.0f);
    state.m_fLastMultiplierShown = g_fMultiplier;
  } else if (g_fMultiplier <= 1.0f) {
    pMultiplier->setVisible(0);
    pUnder->setVisible(0);
    pOver->setVisible(0);
    // Whatever multiplier comes next is new to the display, even the one shown
    // before it fell.
    state.m_fLastMultiplierShown = 1.0f;
  }
  for (ClWidget *pBurst : {pOver, pUnder}) {
    if (pBurst->mp_bVisible != 0 && isAnimIdle(pBurst)) {
      pBurst->setVisible(0);
    }
  }

  const i32 iPips = HudValues::comboPips(g_iKillStreak);
  state.m_fComboPhaseTimer +=
      ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
  ClWidget *pCombos = ClUI::getWidget("InGameMultiplierCombos");
  const i32 iNumPips = static_cast<i32>(pCombos->mp_AllChildren.getSize());
  const i32 bPowered32 = bPowered ? 1 : 0;
  if (bPowered32 != state.m_bLastPowered) {
    for (i32 i = 0; i < iNumPips; ++i) {
      pCombos->mp_AllChildren[i]->setBool(gc_TICK_ACTIVE.mp_uiHash, 0);
    }
  }
  if (iPips != state.m_iLastComboCount || bPowered32 != state.m_bLastPowered) {
    if (iPips == 1) {
      state.m_fComboPhaseTimer = 0.0f;
    }
    for (i32 i = 1; i <= iNumPips; ++i) {
      ClWidget *pPip = ClUI::getWidgetFormatted("InGameMultiplierCombo%d", i);
      ClWidget *pOverlay =
          ClUI::getWidgetFormatted("InGameMultiplierComboBURSTOVERLAY%d", i);
      if (i <= iPips) {
        if (pPip->getInt(gc_TICK_ACTIVE) == 0) {
          pPip->setBool(gc_TICK_ACTIVE.mp_uiHash, 1);
          playAnimOnWidget(
              pPip,
              bPowered ? "IM-HUD-Combo2xActivate" : "IM-HUD-ComboActivate",
              false, HudValues::pipDelay(state.m_fComboPhaseTimer));
          queueAnimOnWidget(pPip, bPowered ? "IM-HUD-Combo2xFullLoop"
                                           : "IM-HUD-ComboFullLoop");
          pOverlay->setVisible(1);
          playAnimOnWidget(pOverlay, "IM-HUD-ComboActivateBurst", false, 0.0f);
        }
      } else {
        pPip->setBool(gc_TICK_ACTIVE.mp_uiHash, 0);
        hideIfVisible(pOverlay);
        playAnimOnWidget(pPip,
                         bPowered ? "IM-HUD-Combo2xEmpty" : "IM-HUD-ComboEmpty",
                         false, 0.0f);
      }
    }
  }
  ClWidget *pOverlays = ClUI::getWidget("InGameMultiplierCombosBURSTOVERLAY");
  for (i32 i = 0; i < iNumPips &&
                  i < static_cast<i32>(pOverlays->mp_AllChildren.getSize());
       ++i) {
    ClWidget *pOverlay = pOverlays->mp_AllChildren[i];
    if (pOverlay->mp_bVisible != 0 && isAnimIdle(pOverlay)) {
      pOverlay->setVisible(0);
    }
  }
  state.m_iLastComboCount = iPips;
  state.m_bLastPowered = bPowered32;
}

void updateBomb() {
  ClWidget *pBomb = ClUI::getWidget("InGameBomb");
  if (g_iMagicCharges >= 1) {
    setTexture(pBomb, HudValues::bombTexture(g_iMagicKind));
    pBomb->setVisible(1);
  } else {
    pBomb->setVisible(0);
  }
}

void updateWeaponAndLevelBar() {
  setTexture(ClUI::getWidget("InGameWeaponIcon"),
             HudValues::weaponTexture(g_iSuperWeaponKind));
  const f32 fWidth = HudValues::levelBarWidth(g_fSuperMeter);
  const u32 uiAtlas = KvStrHash("TexturesUIAtlas");
  const u32 uiShader = KvStrHash("system_blend_premult");
  const u32 uiCanvas = KvStrHash("HUD");
  ClUI::renderAtlasEntrySized(uiAtlas, KvStrHash("IM-HUD-Level-FullBar_216"),
                              uiShader, 0xFFFFFFFFu, uiCanvas, gc_uiBAR_LAYER,
                              gc_fHUD_BAR_X, gc_fHUD_BAR_Y,
                              gc_ui2D_ALIGN_TOP_LEFT, gc_ui2D_ALIGN_TOP_LEFT,
                              fWidth, gc_fHUD_BAR_HEIGHT);
  ClUI::renderAtlasEntry(uiAtlas, KvStrHash("IM-HUD-Level-FullBar-Right_216"),
                         uiShader, 0xFFFFFFFFu, uiCanvas, gc_uiBAR_CAP_LAYER,
                         fWidth + gc_fHUD_BAR_X - gc_fHUD_BAR_CAP_OVERLAP,
                         gc_fHUD_BAR_Y, gc_ui2D_ALIGN_TOP_LEFT,
                         gc_ui2D_ALIGN_TOP_LEFT, 1.0f);
}

void runHudUpdates() {
  updateScore();
  updateTime();
  updateHealth();
  updateMultiplierAndCombos();
  updateBomb();
  updateWeaponAndLevelBar();
}

} // namespace

void resetInGameHudState() {
  g_inGameHudState.m_fLastMultiplierShown = -1.0f;
  g_inGameHudState.m_iLastComboCount = -1;
  g_inGameHudState.m_bLastPowered = 0;
}

void systemInGameTransitionIn(ClWidget *, WidgetEventProcedureCall *) {
  ClWidget *pOverlays = ClUI::getWidget("InGameMultiplierCombosBURSTOVERLAY");
  for (u32 i = 0; i < pOverlays->mp_AllChildren.getSize(); ++i) {
    hideIfVisible(pOverlays->mp_AllChildren[i]);
  }
  runHudUpdates();
}

void systemInGameTick(ClWidget *, WidgetEventProcedureCall *) {
  runHudUpdates();
}

void systemControllerImageRender(ClWidget *pWidget,
                                 WidgetEventProcedureCall *pCall) {
  std::string name = pWidget->getString(gc_TEXTURE_NAME);
  if (HudValues::controllerTexture(g_bShowKeyboardPrompts != 0, &name)) {
    setTexture(pWidget, name.c_str());
  }
  systemImageRender(pWidget, pCall);
}

void registerInGameUIFunctions() {
  ClUIEventSystemFunctions::registerFunction(
      KvStrHash("systemInGameTransitionIn"), systemInGameTransitionIn);
  ClUIEventSystemFunctions::registerFunction(KvStrHash("systemInGameTick"),
                                             systemInGameTick);
}
