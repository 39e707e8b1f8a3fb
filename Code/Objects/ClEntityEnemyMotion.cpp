// Enemy motion: kinematics, the aimed throw, landing, contact with the player, projectile hits, lane following
// and leaving the screen.
#include <cmath>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/System/ClClock.h"

bool ClEntityEnemy::isObstacle() const {
  return typeIs("EnemyWall") || typeIs("EnemyBarrel") || typeIs("EnemyBulletShield") || typeContains("Pickup");
}

bool ClEntityEnemy::isProjectile() const { return typeContains("Bullet") || typeContains("Projectile"); }

void ClEntityEnemy::moveAndCollide() {
  const f32 dt = ClClock::m_aClockFrames[1].m_fFrameTime;
  const f32 cam = g_fWorldCameraX;
  f32* p = m_vPosition;
  f32* v = m_vVelocity;
  f32* a = m_vAcceleration;

  if (m_fToPlayerTarget > 0.0f) {
    const f32 t = m_fToPlayerTarget;
    const f32 k = 0.55f * t;
    f32 target[3] = {0.0f, 0.0f, 0.0f};
    if (g_pPlayer != nullptr) {
      target[0] = g_pPlayer->m_vPosition[0] + g_pPlayer->m_fReach + 100.0f * t;
      target[1] = g_pPlayer->m_vPosition[1];
      target[2] = g_pPlayer->m_vPosition[2] + 27.0f;
    }
    for (i32 i = 0; i < 3; ++i) {
      const f32 q = p[i] + a[i] * (k * t);
      v[i] = (target[i] - q) / t;
    }
    m_fToPlayerTarget = 0.0f;
  }

  m_fDistanceHorizontal += std::fabs(v[0] * dt);
  m_fDistanceVertical += std::fabs(v[2] * dt);
  for (i32 i = 0; i < 3; ++i) {
    p[i] += v[i] * dt;
  }
  for (i32 i = 0; i < 3; ++i) {
    v[i] += a[i] * dt;
  }
  if (m_bUseTargetVelocity != 0) {
    const f32* T = m_vTargetVelocity;
    const f32 fTT = T[0] * T[0] + T[1] * T[1] + T[2] * T[2];
    if (fTT > 0.0f) {
      const f32 f = (v[0] * T[0] + v[1] * T[1] + v[2] * T[2]) / fTT;
      if (f > 1.0f) {
        for (i32 i = 0; i < 3; ++i) {
          v[i] -= (f - 1.0f) * T[i];
        }
      }
    }
  }
  m_bHitGround = 0;
  m_fRotationTime += dt;
  m_fDuration += dt;
  if (p[2] >= 0.0f && v[2] > 0.0f) {
    p[2] = 0.0f;
    v[2] = 0.0f;
    a[2] = 0.0f;
    m_bHitGround = 1;
  }

  m_bHittingPlayer = 0;
  if (m_bCanHitPlayer != 0 && g_pPlayer != nullptr && g_pPlayer->m_iLane == m_iLane) {
    const f32 dx = p[0] - g_pPlayer->m_vPosition[0];
    if (dx * dx <= m_fHitRadiusSq && g_pPlayer->m_bHittable != 0) {
      g_pPlayer->takeDamage();
      m_bHittingPlayer = 1;
    }
  }

  if (m_cHitType != 0) {
    projectileHits();
  }

  if (v[1] == 0.0f) {
    const f32 fLine = KvLaneLine(m_iLane);
    const f32 fStep = (typeIs("EnemyPugilist") ? 96.0f : 400.0f) * dt;
    if (p[1] < fLine) {
      p[1] = (p[1] + fStep < fLine) ? p[1] + fStep : fLine;
    } else if (p[1] > fLine) {
      p[1] = (p[1] - fStep > fLine) ? p[1] - fStep : fLine;
    }
  }

  const SFlipBookFrame* pFrame = m_mainAnim.getCurFrame();
  const f32 fEntryAnchorX = pFrame->mp_pImage->mp_pAtlasTexInfo->mp_fAnchorX;
  const bool bBehind = p[0] + 100.0f < cam && v[0] <= 0.0f;
  const bool bFarBehind = p[0] + 1000.0f < cam;
  const bool bAhead =
      p[0] > cam + 424.0f && v[0] > 0.0f && p[0] - 1.25f * (pFrame->mp_fAnchorX - fEntryAnchorX) >= cam + 480.0f;
  if (bBehind || bFarBehind || bAhead) {
    m_bGone = 1;
    m_bLeftScreen = 1;
  }
  if (p[0] < cam && v[0] > 0.0f && m_indicatorAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook() != nullptr) {
    m_indicatorAnim.update(1);
  }
  if (v[1] != 0.0f) {
    const f32 d0 = std::fabs(p[1] - 115.0f);
    const f32 d1 = std::fabs(p[1] - 157.0f);
    const f32 d2 = std::fabs(p[1] - 200.0f);
    if (d1 <= d0) {
      m_iLane = d2 <= d1 ? 2 : 1;
    } else {
      m_iLane = d2 > d0 ? 0 : 2;
    }
  }
}

void ClEntityEnemy::projectileHits() {
  const bool bTShirt = typeIs("PlayerBulletTShirt");
  const bool bSawblade = typeIs("PlayerCrossbowSawblades");
  const i32 bDisarmed = (typeIs("EnemyBulletPistolDisarmedWeapon") || typeIs("EnemyBulletRifleDW1") ||
                         typeIs("EnemyBulletRifleDW2") || typeIs("EnemyBulletRifleDW3") ||
                         typeIs("EnemyMacheteDisarmedWeapon") || typeIs("EnemyMacheteProjectile"))
                            ? 1
                            : 0;
  // The screen's right edge in drawing units, compared with world x as the rule is written.
  const f32 R = static_cast<f32>(std::floor(static_cast<f64>(g_fWorldCameraX) * 1.25 + 0.5)) + 480.0f;
  static const u32 s_uiPlayerHitting = KvStrHash("PlayerHitting");
  // By index: a hit may append entities (a knocked-off shield) and move the list's storage.
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    ClEntity* pEntry = g_entityList[i];
    if (pEntry == this) {
      continue;
    }
    ClEntityEnemy* pTarget = hitTarget(pEntry);
    if (pTarget == nullptr || pTarget == this) {
      continue;
    }
    const f32 dx = pTarget->m_vPosition[0] - m_vPosition[0];
    const f32 dy = pTarget->m_vPosition[1] - m_vPosition[1];
    if (!(std::sqrt(dx * dx + dy * dy) < 40.0f) || pTarget->m_cHitType != 0 || pTarget->m_bTShirtHit != 0) {
      continue;
    }
    if ((bTShirt || bSawblade) && (pTarget->m_vPosition[0] > R - 230.0f || pTarget->m_fHitPoints <= 0.0f)) {
      continue;
    }
    bool bHit = pTarget->tryHit(m_cHitType, 0.0f, bDisarmed);
    if (bTShirt && ((pTarget->isObstacle() && !pTarget->typeContains("Pickup")) || pTarget->isProjectile())) {
      bHit = false;
      pTarget->m_bHitReceived = 0;
    }
    if (bHit && pTarget->m_fHitPoints == pTarget->m_fInitialHitPoints &&
        !(pTarget->typeIs("EnemyMachete") && pTarget->stateIs("Running2") && m_cHitType == 'B')) {
      WorldServices::get().playCue(s_uiPlayerHitting);
    }
    if (bHit && bTShirt && !pTarget->typeContains("Pickup")) {
      pTarget->m_bTShirtHit = 1;
    }
    m_bBulletHit = (m_bBulletHit != 0 || bHit) ? 1 : 0;
  }
}
