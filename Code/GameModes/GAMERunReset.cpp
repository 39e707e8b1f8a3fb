#include "Code/GameModes/GAMERunReset.h"

#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Objects/ClEntity.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/UI/GAMEInGameUI.h"

void GAMEResetRunAndWorldState() {
  EntityList::destroyAll();
  g_pPlayer = nullptr;
  GoreFx::releaseAll();
  ClSpawnMgr::terminate();
  WorldRunState::reset();
  g_vWorldCameraPosition = kv_vector2{0.0f, 0.0f};

  g_fDeathTimer = 5.0f;
  g_bStartBanner = 0;
  g_fBannerTime = 0.0f;
  g_bFadeIn = 1;
  g_fFadeTime = 0.0f;
  g_bNextLevelRequest = 0;
  g_bRestartRequest = 0;
  g_slowMotionAnimator = ClAnimator<f32>();

  g_bSkipStateStep = 0;
  for (i32& iVariant : g_aiPunchVariant) iVariant = 0;
  g_bLeftPunchVariant = 0;
  g_fWeedWhackerHitCooldown = 0.0f;

  resetInGameHudState();
  g_inGameHudState.m_fComboPhaseTimer = -1.0f;
  // The button pictures start as the pad's, as in a new process, until a key is pressed.
  g_bShowKeyboardPrompts = 0;
}
