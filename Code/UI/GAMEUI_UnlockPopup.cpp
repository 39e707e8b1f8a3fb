#include "Code/UI/GAMEUI_UnlockPopup.h"

#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

i32 g_iUnlockKind = 0;
i32 g_bUnlockPopupActive = 0;

namespace {

struct SUnlockLook {
  const char* m_pTextID;
  const char* m_pIcon;
};

// By kind - 1.
constexpr SUnlockLook gc_aUNLOCK_LOOKS[] = {
    {"unlock_popup_text_magic_dragon", "IM-RewardMagicDragon"},
    {"unlock_popup_text_magic_ninja", "IM-RewardMagicNinja"},
    {"unlock_popup_text_weapon_machete", "IM-RewardMachete"},
    {"unlock_popup_text_weapon_fireaxe", "IM-RewardFireAxe"},
    {"unlock_popup_text_mode_marathon", "IM-RewardModeMarathon"},
    {"unlock_popup_text_mode_survivor", "IM-RewardModeSurvivor"},
    {"unlock_popup_text_mode_ultragib", "IM-RewardModeUltra"},
    {"unlock_popup_text_mode_story_x", "IM-HUD-Combobar-Full"},
    {"unlock_popup_text_mode_marathon_extreme", "IM-RewardModeExtreme"},
    {"unlock_popup_text_mode_marathon_ultra", "IM-RewardModeUltra"},
    {"unlock_popup_text_mode_survivor_extreme", "IM-RewardModeExtreme"},
    {"unlock_popup_text_crossbow", "IM-RewardWeaponCrossbow"},
    {"unlock_popup_text_shirtcannon", "IM-RewardWeaponCannon"},
    {"unlock_popup_text_chapter2", "IM-RewardChapter2"},
    {"unlock_popup_text_chapter3", "IM-RewardChapter3"},
};
constexpr i32 gc_iNUM_UNLOCK_KINDS = static_cast<i32>(sizeof(gc_aUNLOCK_LOOKS) / sizeof(gc_aUNLOCK_LOOKS[0]));

void showCurrentKind() {
  if (g_iUnlockKind >= 1 && g_iUnlockKind <= gc_iNUM_UNLOCK_KINDS) {
    const SUnlockLook& look = gc_aUNLOCK_LOOKS[g_iUnlockKind - 1];
    ClUI::getWidget("UnlockPopupItemText")->setLocalizedID(look.m_pTextID);
    ClUI::getWidget("UnlockPopupItemIcon")->setString(gc_TEXTURE_NAME.mp_uiHash, look.m_pIcon);
  }
  ClAudioManager::playCue(KvStrHash("StingerUnlock"));
}

}  // namespace

i32 nextUnlockKind(i32 iKind) {
  switch (iKind) {
    case 14: return 1;
    case 1: return 3;
    case 3: return 12;
    case 15: return 2;
    case 2: return 4;
    case 4: return 13;
    case 5: return 6;
    case 6: return 7;
    default: return iKind;
  }
}

void systemInitializeUnlockPopup(ClWidget*, WidgetEventProcedureCall*) { showCurrentKind(); }

void systemUnlockPopupTick(ClWidget*, WidgetEventProcedureCall*) {
  // The input layer's newly-pressed test is false while input is blocked, which covers the pad-0 accept's rule.
  const bool bConfirm = justPressed(E_GAME_ACTION_MENU_START) || justPressedOnPad0(E_GAME_ACTION_MENU_ACCEPT);
  if (!bConfirm) {
    return;
  }
  const i32 iNext = nextUnlockKind(g_iUnlockKind);
  playUIAcceptSound();
  if (iNext == g_iUnlockKind) {
    g_bUnlockPopupActive = 0;
    ClUI::getWidget("UnlockPopupSwitcher")->switchToKeepFocus(ClUI::getWidget("UnlockPopupInactive"));
    return;
  }
  g_iUnlockKind = iNext;
  showCurrentKind();
}
