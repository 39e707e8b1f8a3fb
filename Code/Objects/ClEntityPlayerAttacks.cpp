// The player's punches (variants and combos) and the one routine that turns an attack into hits on enemies.
#include <cmath>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"

i32 g_aiPunchVariant[3] = {0, 0, 0};
i32 g_bLeftPunchVariant = 0;

namespace {

constexpr f32 gc_fHIT_RADIUS = 32.0f;

// Plays variant v of the punch and moves the punch on to one of its two other variants with one draw.
void startPunch(ClEntityPlayer* pPlayer, i32 iPunch, const char* const* ppKeys, i32 eState) {
  const i32 v = g_aiPunchVariant[iPunch];
  pPlayer->playMove(ppKeys[v], E_FLIPBOOK_MODE_ONCE);
  g_aiPunchVariant[iPunch] = (v + 1 + KvMath::randomIntBelow(2)) % 3;
  pPlayer->m_eState = eState;
  pPlayer->m_bAttackResolved = 0;
  pPlayer->m_bUpperBody = 0;
}

}  // namespace

void ClEntityPlayer::startHighPunch() {
  static const char* const s_apKeys[3] = {"HighPunch", "HighPunch2", "HighPunch3"};
  startPunch(this, 0, s_apKeys, E_PLAYER_STATE_HIGH_PUNCH);
}

void ClEntityPlayer::startLowPunch() {
  static const char* const s_apKeys[3] = {"LowPunch", "LowPunch2", "LowPunch3"};
  startPunch(this, 1, s_apKeys, E_PLAYER_STATE_LOW_PUNCH);
}

void ClEntityPlayer::startUppercut() {
  static const char* const s_apKeys[3] = {"Uppercut", "Uppercut2", "Uppercut3"};
  startPunch(this, 2, s_apKeys, E_PLAYER_STATE_UPPERCUT);
}

void ClEntityPlayer::startLeftPunch() {
  playMove(g_bLeftPunchVariant != 0 ? "LeftPunch2" : "LeftPunch", E_FLIPBOOK_MODE_ONCE);
  m_eState = E_PLAYER_STATE_LEFT_PUNCH;
  m_bAttackResolved = 0;
  m_bUpperBody = 0;
  g_bLeftPunchVariant = g_bLeftPunchVariant != 0 ? 0 : 1;
}

void ClEntityPlayer::updatePunch(char cLetter, i32 bBackward) {
  if (m_mainAnim.mp_curAnimators.mp_flipBookAnimator.m_bPlaying == 0) {
    setRunningOrDeath();
    stepState();
    return;
  }
  if (readAttackInput() != 0) {
    moveLanes(1);
    return;
  }
  if (m_bAttackResolved == 0) {
    resolveAttack(cLetter, bBackward);
  }
  m_vPosition[0] += 100.0f * ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
  moveLanes(1);
}

void ClEntityPlayer::resolveAttack(char cLetter, i32 bBackward) {
  m_bAttackResolved = 1;
  const f32 ax = bBackward != 0 ? m_vPosition[0] - m_fReach : m_vPosition[0] + m_fReach;
  bool bHit = false;
  bool bCloseFreshHit = false;
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pEnemy == nullptr) {
      continue;
    }
    f32 ex = pEnemy->m_vPosition[0];
    f32 fRadius = gc_fHIT_RADIUS;
    if (pEnemy->m_fHitPoints <= 0.0f && pEnemy->m_fInsultOffset != 0.0f) {
      ex = pEnemy->m_vPosition[0] + pEnemy->m_fInsultOffset;
      fRadius = pEnemy->m_fInsultRadius;
    }
    const f32 h = pEnemy->m_vPosition[2];
    f32 d = std::sqrt(h * h * 0.25f + (ex - ax) * (ex - ax));
    if (pEnemy->m_vVelocity[2] > 200.0f) {
      d *= 0.75f;
    }
    const bool bPassed = h > -5.0f && ax > ex && ex > m_vPosition[0];
    if (pEnemy->m_iLane != m_iLane || !(d < fRadius || bPassed) || !pEnemy->tryHit(cLetter, d, 0)) {
      continue;
    }
    bHit = true;
    m_fWeaponLeft -= m_fWeaponWearPerHit;
    if (d <= 3.0f * m_fVoiceRange && pEnemy->m_fHitPoints > 0.0f &&
        pEnemy->m_fHitPoints >= pEnemy->m_fInitialHitPoints) {
      bCloseFreshHit = true;
    }
  }
  ClWorldServices& services = WorldServices::get();
  if (!bHit) {
    services.playCue(KvStrHash("PlayerWhiff"));
    return;
  }
  const i32 eWeapon = m_eWeapon >= 0 && m_eWeapon < NUM_E_PLAYER_WEAPON ? m_eWeapon : 0;
  services.playCue(KvStrHash(gc_aMeleeWeapons[eWeapon].mp_pImpactCue));
  static constexpr i32 s_aiCloseVoiceOver[NUM_E_PLAYER_WEAPON] = {-1, 4, 5, 6};
  if (bCloseFreshHit && s_aiCloseVoiceOver[eWeapon] >= 0) {
    services.playVoiceOver(s_aiCloseVoiceOver[eWeapon]);
  }
}
