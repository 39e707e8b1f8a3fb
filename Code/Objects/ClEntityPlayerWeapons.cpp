// The player's melee weapons (table, take, drop, drain) and super weapons (chainsaw, crossbow, T-shirt cannon)
// with the chainsaw's start, loop and end sounds.
//
// Timers and the held loop cue: a timer is released before its field is overwritten and its field is nulled
// when released, and the loop's handle is nulled when stopped, so a later use never finds a spent timer or a
// stale handle; clear and reset release both timers and stop the loop.
#include <cmath>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

f32 g_fWeedWhackerHitCooldown = 0.0f;

const SMeleeWeaponRow gc_aMeleeWeapons[NUM_E_PLAYER_WEAPON] = {
    {"Animations", 36.0f, 0, 1.0f, 0.0f, "PlayerHitting"},
    {"Sledgehammer", 75.0f, 1, 1.1f, 1.0f / 12.0f, "PlayerSledge"},
    {"Machete", 45.0f, 2, 0.8f, 1.0f / 12.0f, "PlayerMachete"},
    {"Axe", 70.0f, 2, 0.8f, 1.0f / 12.0f, "PlayerHitting"},
};

namespace {

constexpr f32 gc_fSUPER_METER_DRAIN = 0.2f;  // per second: each whole 1.0 of meter gives 5 s
constexpr f32 gc_fSUPER_SPEED = 150.0f;
constexpr f32 gc_fSUPER_GRACE = 1.2f;
constexpr f32 gc_fCHAINSAW_LOOP_DELAY = 0.1f;

bool isSurvivor() { return GameTypes::isSurvivor(g_iGameType); }

bool isPowerState(i32 eState) { return eState >= E_PLAYER_STATE_CHAINSAW && eState <= E_PLAYER_STATE_TSHIRT_CANNON; }

f32 gameplayDeltaTime() { return ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime; }

// Releases a timer the clock still owns and nulls the field. After the clock's shutdown the pool is already
// empty, so the field is only forgotten.
void releaseTimer(SClockTimer** ppTimer) {
  if (*ppTimer != nullptr && ClClock::mp_bIsInitialized) {
    ClClock::releaseTimer(*ppTimer);
  }
  *ppTimer = nullptr;
}

SClockTimer* newTimer(const char* pFieldName) {
  SClockTimer* pTimer = ClClock::createTimer(gc_fCHAINSAW_LOOP_DELAY);
  KV_ASSERT_MSG(pTimer != nullptr, pFieldName);
  return pTimer;
}

}  // namespace

void ClEntityPlayer::setWeaponRow(i32 eWeapon) {
  const SMeleeWeaponRow& row = gc_aMeleeWeapons[eWeapon];
  m_fWeaponDrain = row.m_fDrain;
  m_fWeaponWearPerHit = 0.0f;
  m_fVoiceRange = row.m_fVoiceRange;
  m_eTargetIcon = row.m_iTargetIcon;
  m_fReach = row.m_fReach;
  m_strAnimSet = row.mp_pAnimSet;
}

void ClEntityPlayer::takeWeapon(i32 eWeapon, i32 iKeepCharge) {
  m_eWeapon = eWeapon;
  setWeaponRow(eWeapon);
  if (iKeepCharge == 0) {
    m_fWeaponLeft = 1.0f;
  }
  if (eWeapon != E_PLAYER_WEAPON_SLEDGEHAMMER) {
    m_iSledgehammerKills = 0;
  }
  if (m_eState == E_PLAYER_STATE_RUNNING) {
    setRunningOrDeath();
  }
  if (iKeepCharge == 0) {
    ClWorldServices& services = WorldServices::get();
    services.playCue(KvStrHash("PowerUpTransEffect"));
    if (!isPowerState(m_eState)) {
      services.playSuperWeaponLoop();
    }
    services.playVoiceOver(10);
  }
}

void ClEntityPlayer::takeSledgehammer(i32 iKeepCharge) { takeWeapon(E_PLAYER_WEAPON_SLEDGEHAMMER, iKeepCharge); }

void ClEntityPlayer::takeMachete(i32 iKeepCharge) { takeWeapon(E_PLAYER_WEAPON_MACHETE, iKeepCharge); }

void ClEntityPlayer::takeAxe(i32 iKeepCharge) { takeWeapon(E_PLAYER_WEAPON_AXE, iKeepCharge); }

void ClEntityPlayer::takeMeleeWeapon(E_PLAYER_WEAPON eWeapon, i32 bKeepCharge) {
  if (eWeapon >= E_PLAYER_WEAPON_SLEDGEHAMMER && eWeapon <= E_PLAYER_WEAPON_AXE) {
    takeWeapon(eWeapon, bKeepCharge);
  }
}

void ClEntityPlayer::dropWeapon(i32 iKeepCharge) {
  m_eWeapon = E_PLAYER_WEAPON_NONE;
  if (iKeepCharge == 0) {
    m_fWeaponLeft = 0.0f;
  }
  setWeaponRow(E_PLAYER_WEAPON_NONE);
  m_iSledgehammerKills = 0;
  if (m_eState == E_PLAYER_STATE_RUNNING) {
    setRunningOrDeath();
  }
}

void ClEntityPlayer::drainWeapon() {
  const f32 fBefore = m_fWeaponLeft;
  m_fWeaponLeft -= gameplayDeltaTime() * m_fWeaponDrain;
  if (m_fWeaponLeft <= 0.0f) {
    WorldServices::get().stopSuperWeaponLoop();
    dropWeapon(0);
  }
  // Under two seconds left: the player blinks until the weapon is gone.
  if (m_eWeapon != E_PLAYER_WEAPON_NONE && fBefore / m_fWeaponDrain > 2.0f && m_fWeaponLeft / m_fWeaponDrain < 2.0f) {
    m_bHittable = 0;
    if (m_fGraceTime < 2.0f) {
      m_fGraceTime = 2.0f;
    }
  }
}

bool ClEntityPlayer::startSuperWeapon(const char* pBodyKey, i32 eState) {
  if (isSurvivor() && g_fTimeLeft <= 1.0f) {
    return false;
  }
  m_iSpecialKills = 0;
  playMove(pBodyKey, E_FLIPBOOK_MODE_LOOP);
  m_eState = eState;
  m_bAttackResolved = 0;
  return true;
}

void ClEntityPlayer::startChainsaw() {
  if (!startSuperWeapon("Chainsaw", E_PLAYER_STATE_CHAINSAW)) {
    return;
  }
  m_bUpperBody = 0;
  m_eTargetIcon = 3;
  m_fReach = 40.0f;
  if (m_bChainsawSound != 0) {
    return;  // the sound sequence of an earlier use still runs
  }
  ClWorldServices& services = WorldServices::get();
  if (m_eWeapon != E_PLAYER_WEAPON_NONE) {
    services.stopSuperWeaponLoop();
  }
  services.playCue(KvStrHash("WeedWhackerStart"));
  releaseTimer(&mp_chainsawLoopDelayStartTimer);
  mp_chainsawLoopDelayStartTimer = newTimer("mp_chainsawLoopDelayStartTimer");
  m_bChainsawSound = 1;
  services.playPowerUpStinger();
  services.playVoiceOver(7);
}

void ClEntityPlayer::startGun(const char* pUpperBodyKey, i32 iVoiceOver) {
  m_bUpperBody = 1;
  const ClDScriptData2* pValue = g_pEntityPlayerScript->getChild(m_strAnimSet.getCStr())->getChild(pUpperBodyKey);
  m_upperBody.playFlipBook(ClFlipBookMgr::getFlipBook(pValue->getString()), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  ClWorldServices& services = WorldServices::get();
  if (m_eWeapon != E_PLAYER_WEAPON_NONE) {
    services.stopSuperWeaponLoop();
  }
  services.playPowerUpStinger();
  services.playVoiceOver(iVoiceOver);
}

void ClEntityPlayer::startCrossbow() {
  if (startSuperWeapon("PlayerCrossbowLegs", E_PLAYER_STATE_CROSSBOW)) {
    startGun("PlayerCrossbowUpperBody", 8);
  }
}

void ClEntityPlayer::startTShirtCannon() {
  if (startSuperWeapon("PlayerCrossbowLegs", E_PLAYER_STATE_TSHIRT_CANNON)) {
    startGun("PlayerTShirtUpperBody", 9);
  }
}

bool ClEntityPlayer::drainSuperMeter() {
  m_bHittable = 0;
  m_fGraceTime = gc_fSUPER_GRACE;
  g_fSuperMeter -= gc_fSUPER_METER_DRAIN * gameplayDeltaTime();
  if (g_fSuperMeter <= 0.0f) {
    endSuperWeapon();
    return false;
  }
  return true;
}

void ClEntityPlayer::updateChainsaw() {
  const f32 dt = gameplayDeltaTime();
  g_fWeedWhackerHitCooldown -= dt;
  if (!drainSuperMeter()) {
    return;
  }
  const f32 ax = m_vPosition[0] + m_fReach;
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pEnemy == nullptr || pEnemy->m_iLane != m_iLane) {
      continue;
    }
    const f32 h = pEnemy->m_vPosition[2];
    const f32 dx = pEnemy->m_vPosition[0] - ax;
    if (std::sqrt(h * h * 0.25f + dx * dx) < 32.0f && pEnemy->tryHit('E', 0.0f, 0) &&
        g_fWeedWhackerHitCooldown <= 0.0f) {
      WorldServices::get().playCue(KvStrHash("WeedWhackerHit"));
      g_fWeedWhackerHitCooldown = 0.3f;
    }
  }
  m_vPosition[0] += gc_fSUPER_SPEED * dt;
  moveLanes(1);
}

void ClEntityPlayer::updateGun(const char* pIdleBook, const char* pShootingBook, const char* pProjectile,
                               const char* pShotCue, f32 fInterval) {
  const f32 dt = gameplayDeltaTime();
  if (!drainSuperMeter()) {
    return;
  }
  m_fFireTimer -= dt;
  if (m_fFireTimer > 0.0f) {
    if (m_upperBody.mp_curAnimators.mp_flipBookAnimator.m_bPlaying == 0) {
      m_upperBody.playFlipBook(ClFlipBookMgr::getFlipBook(pIdleBook), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    }
  } else {
    m_fFireTimer += fInterval;
    ClEntityEnemy* pShot = EntityList::create<ClEntityEnemy>();
    pShot->setup(m_vPosition[0], m_vPosition[1], m_vPosition[2] - 40.0f, m_vPosition[3], m_iLane, pProjectile);
    pShot->m_vPosition[0] = m_vPosition[0] + 54.0f;
    EntityList::add(pShot);
    m_upperBody.playFlipBook(ClFlipBookMgr::getFlipBook(pShootingBook), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
    WorldServices::get().playCue(KvStrHash(pShotCue));
  }
  m_vPosition[0] += gc_fSUPER_SPEED * dt;
  moveLanes(1);
}

void ClEntityPlayer::updateCrossbow() {
  updateGun("PlayerCrossbowUpperBody", "PlayerCrossbowUpperBodyShooting", "PlayerCrossbowSawblades",
            "SawbladeCrossbowShooting", 1.0f);
}

void ClEntityPlayer::updateTShirtCannon() {
  updateGun("PlayerTShirtUpperBody", "PlayerTShirtUpperBodyShooting", "PlayerBulletTShirt", "ShirtShooting", 0.3f);
}

void ClEntityPlayer::endSuperWeapon() {
  const i32 eLeaving = m_eState;
  g_fSuperMeter = 0.0f;
  setRunningOrDeath();
  // The held weapon is back in the player's hands with its charge as it was.
  if (m_eWeapon == E_PLAYER_WEAPON_NONE) {
    dropWeapon(1);
  } else {
    setWeaponRow(m_eWeapon);
    if (m_eWeapon != E_PLAYER_WEAPON_SLEDGEHAMMER) {
      m_iSledgehammerKills = 0;
    }
    if (m_eState == E_PLAYER_STATE_RUNNING) {
      setRunningOrDeath();
    }
  }
  if (eLeaving == E_PLAYER_STATE_CHAINSAW && m_bChainsawSound != 0) {
    WorldServices::get().playCue(KvStrHash("WeedWhackerEnd"));
  }
  stepState();
}

void ClEntityPlayer::startChainsawEndTimer() {
  releaseTimer(&mp_chainsawLoopDelayEndTimer);
  mp_chainsawLoopDelayEndTimer = newTimer("mp_chainsawLoopDelayEndTimer");
}

void ClEntityPlayer::updateChainsawSound() {
  if (m_bChainsawSound == 0) {
    return;
  }
  if (mp_chainsawLoopDelayStartTimer != nullptr && mp_chainsawLoopDelayStartTimer->m_fRemaining <= 0.0f) {
    m_chainsawLoopCue = WorldServices::get().createHeldCue(KvStrHash("WeedWhackerLoop"));
    releaseTimer(&mp_chainsawLoopDelayStartTimer);
  }
  if (mp_chainsawLoopDelayEndTimer != nullptr && mp_chainsawLoopDelayEndTimer->m_fRemaining <= 0.0f) {
    if (!m_chainsawLoopCue.isNull()) {
      WorldServices::get().stopHeldCue(m_chainsawLoopCue);
      m_chainsawLoopCue = SCueHandle();
    }
    releaseTimer(&mp_chainsawLoopDelayEndTimer);
    m_bChainsawSound = 0;
  }
}

void ClEntityPlayer::releaseChainsawSound() {
  if (!m_chainsawLoopCue.isNull()) {
    WorldServices::get().stopHeldCue(m_chainsawLoopCue);
  }
  m_chainsawLoopCue = SCueHandle();
  releaseTimer(&mp_chainsawLoopDelayStartTimer);
  releaseTimer(&mp_chainsawLoopDelayEndTimer);
  m_bChainsawSound = 0;
}
