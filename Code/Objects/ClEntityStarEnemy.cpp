#include "Code/Objects/ClEntityStarEnemy.h"

#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"

namespace {

ClEntityEnemy* starInner(ClEntity* pStarEnemy) { return &static_cast<ClEntityStarEnemy*>(pStarEnemy)->m_inner; }

}  // namespace

ClEntityStarEnemy::ClEntityStarEnemy() { ClEntityEnemy::sp_pStarInner = &starInner; }

void ClEntityStarEnemy::mirrorInner() {
  for (i32 i = 0; i < 4; ++i) {
    m_vPosition[i] = m_inner.m_vPosition[i];
  }
  m_iLane = m_inner.m_iLane;
  m_bGone = m_inner.m_bGone;
  m_cHitLetter = m_inner.m_cHitLetter;
  m_mainAnim = m_inner.m_mainAnim;
}

void ClEntityStarEnemy::setup(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iLane, const char* pTypeName, i32 iStarGroup) {
  m_inner.setup(fX, fY, fZ, fW, iLane, pTypeName);
  mirrorInner();
  m_eKind = m_inner.m_eKind;
  m_bStarLook = 1;
  m_inner.m_bStarLook = 1;
  m_bTShirtHit = 0;
  m_bGibsSpawned = 0;
  m_iStarGroup = iStarGroup;
  m_bCounted = 0;
}

void ClEntityStarEnemy::clear() { m_inner.clear(); }

void ClEntityStarEnemy::draw(u32 uiOrderIndex) { m_inner.draw(uiOrderIndex); }

bool ClEntityStarEnemy::tryHit(char cLetter, f32 fDistance, i32 bFromDisarmedWeapon) {
  return m_inner.tryHit(cLetter, fDistance, bFromDisarmedWeapon);
}

void ClEntityStarEnemy::update() {
  m_inner.update();
  mirrorInner();
  m_fShield = m_inner.m_fShield;
  m_eKind = E_ENTITY_KIND_STAR_ENEMY;
  const bool bDestroyed = m_inner.m_fHitPoints <= 0.0f || (m_inner.m_bGone != 0 && m_inner.m_bLeftScreen == 0);
  if (m_bCounted != 0 || !bDestroyed) {
    return;
  }
  m_bCounted = 1;
  m_inner.m_bStarLook = 0;
  // Groups come from the level's rows; a group outside the counters (rows made by hand) counts for nothing.
  if (m_iStarGroup < 0 || m_iStarGroup >= g_aiStarGroupCounts.getCount()) {
    return;
  }
  i32& iLeft = g_aiStarGroupCounts[m_iStarGroup];
  --iLeft;
  if (iLeft <= 0) {
    g_fSuperMeter += 1.0f;
    static const u32 s_uiRefueled = KvStrHash("Refueled");
    WorldServices::get().playCue(s_uiRefueled);
  }
}
