#include "Code/Objects/GAMERunState.h"

#include <algorithm>
#include <cmath>

#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"

namespace {

constexpr i32 gc_iCRATE_STREAK = 30;
constexpr f32 gc_fCRATE_MIN_TIME_LEFT = 10.0f;

f32 gameplayFrameTime() { return ClClock::m_aClockFrames[1].m_fFrameTime; }

f32 multiplierForStreak(i32 iStreak) {
  if (iStreak >= 30) return 4.0f;
  if (iStreak >= 20) return 3.0f;
  if (iStreak >= 10) return 2.0f;
  return 1.0f;
}

}  // namespace

void createPlayer(i32 bKeepState) {
  const bool bFreshStart = bKeepState == 0 || g_iGameType == E_GAME_TYPE_STORY;
  // The ultra marathon and the timed types start the player further on.
  const bool bStartsBehind = g_iGameType == E_GAME_TYPE_STORY || g_iGameType == E_GAME_TYPE_MARATHON ||
                             g_iGameType == E_GAME_TYPE_MARATHON_EXTREME;
  const f32 avPosition[4] = {bStartsBehind ? -75.0f : 100.0f, 100.0f, 0.0f, 0.0f};
  g_pPlayer = WorldServices::get().createPlayer(avPosition, bKeepState);
  if (g_pPlayer != nullptr) {
    EntityList::add(g_pPlayer);
  }
  g_fShakeTime = 0.0f;
  g_fShakeClock = 0.0f;
  if (bFreshStart) {
    g_iScore = 0;
    g_fDisplayedScore = 0.0f;
    g_fSuperMeter = 0.0f;
    g_iMagicCharges = 1;
    g_iMagicKind = g_iDefaultMagicKind;
    g_fPrevSuperMeter = 0.0f;
    g_fPowerReadyTime = 0.0f;
    g_iKillStreak = 0;
    g_fTimeSinceKill = 0.0f;
    g_fMultiplier = 1.0f;
    g_bCratePending = 0;
    g_runStatistics = {};
  }
  g_fMessageTime = 0.0f;
}

void updateScoreAndCombo() {
  const f32 dt = gameplayFrameTime();
  g_fShakeClock += dt;
  if (g_fShakeTime > 0.0f) {
    g_fShakeTime = std::max(g_fShakeTime - dt, 0.0f);
  }
  if (g_pPlayer != nullptr) {
    if (g_pPlayer->m_bGone != 0) {
      g_pPlayer = nullptr;
    } else {
      updateCameraFollow();
      spawnSurvivorCrate();
    }
  }
  g_fDisplayedScore = static_cast<f32>(g_iScore);
  g_fMessageTime -= dt;
  g_fPowerReadyTime -= dt;
  if (g_fSuperMeter >= 1.0f && g_fPrevSuperMeter < 1.0f) {
    g_fPowerReadyTime = 3.0f;
  }
  g_fSuperMeter = std::min(g_fSuperMeter, 4.0f);
  g_fTimeSinceKill += dt;
  g_fMultiplier = multiplierForStreak(g_iKillStreak);
  g_fPrevSuperMeter = g_fSuperMeter;
  const bool bPowered = isPlayerPowered();
  if (g_fMultiplier != g_fLastMultiplier && g_fMultiplier != 1.0f && !bPowered) {
    static const u32 s_uiMultiplierUp = KvStrHash("MultiplierUp");
    WorldServices::get().playCue(s_uiMultiplierUp);
    WorldServices::get().playVoiceOver(g_fMultiplier == 2.0f ? 1 : (g_fMultiplier == 3.0f ? 2 : 3));
  }
  g_fLastMultiplier = g_fMultiplier;
  if (bPowered) {
    g_fMultiplier *= 2.0f;
    g_fTimeSinceKill = 0.0f;
  }
}

void updateCameraFollow() {
  if (g_pPlayer == nullptr || g_pPlayer->m_eState == E_PLAYER_STATE_BOLT ||
      g_pPlayer->m_eState == E_PLAYER_STATE_LEVEL_END || g_bResultsShown != 0 || g_bLevelWon != 0 ||
      g_bFadeOut != 0) {
    return;
  }
  const f32 t = g_fShakeClock * 40.0f;
  const f32 a = g_fShakeTime * 2.0f;
  g_fWorldCameraX = std::max(std::cos(t) * a + (g_pPlayer->m_vPosition[0] - 80.0f), 0.0f);
  g_fWorldCameraY = std::cos(t * 1.618034f) * a;
}

void spawnSurvivorCrate() {
  if (g_bCrateDue == 0 && g_bCratePending == 0) return;
  if (!GameTypes::isSurvivor(g_iGameType)) return;
  const bool bStreakEarns = g_iKillStreak > 0 && g_iKillStreak % gc_iCRATE_STREAK == 0;
  if (!bStreakEarns && g_bCratePending == 0) return;
  const i32 bWasPending = g_bCratePending;
  if (g_fTimeLeft >= gc_fCRATE_MIN_TIME_LEFT) {
    g_fSpawnBase += 400.0f;
    g_bCratePending = 0;
    const i32 iLane = KvMath::randomIntBelow(3);
    ClSpawnMgr::spawnCrate(iLane, g_bWeaponCrateNext == 1 ? "PickupWeaponCrate" : "PickupSupportCrate",
                           g_fWorldCameraX + 520.0f);
    g_bCrateDue = 0;
    g_bWeaponCrateNext = g_bWeaponCrateNext == 1 ? 0 : 1;
  } else {
    g_bCratePending = 1;
  }
  if (bWasPending == 0) {
    g_bCrateBanner = 1;
    g_fCrateBannerTime = 4.0f;
  }
}

bool isPlayerPowered() { return g_pPlayer != nullptr && KvIsPowerState(g_pPlayer->m_eState); }
