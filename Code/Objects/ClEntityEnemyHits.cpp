// Hits offered to an enemy and the effects they leave: rings, sparks and blood.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"

bool ClEntityEnemy::tryHit(char cLetter, f32 fDistance, i32 bFromDisarmedWeapon) {
  if (m_szHitMask[0] == 0) {
    return false;
  }
  const bool bPlayerAllHits = g_pPlayer != nullptr &&
                              (g_pPlayer->m_eState == E_PLAYER_STATE_CHAINSAW || g_pPlayer->m_iHitAllFrames > 0);
  const bool bMeleeOnWall = g_pPlayer != nullptr && g_pPlayer->m_eWeapon != E_PLAYER_WEAPON_NONE && typeIs("EnemyWall");
  bool bAccepted = false;
  for (const char* pMask = m_szHitMask; *pMask != 0; ++pMask) {
    if (*pMask == cLetter || bMeleeOnWall || ((*pMask == 'L' || *pMask == 'B') && cLetter == 'E' && bPlayerAllHits)) {
      bAccepted = true;
    }
  }
  if (!bAccepted) {
    return false;
  }
  m_bHitReceived = 1;
  m_cHitLetter = cLetter;
  m_bHitFromDisarmed = bFromDisarmedWeapon;
  f32 fPerfect = 1.0f;
  f32 fGood = 1.0f;
  if (g_pPlayer != nullptr) {
    switch (g_pPlayer->m_eWeapon) {
      case E_PLAYER_WEAPON_NONE:
        fPerfect = 3.0f;
        fGood = 10.0f;
        break;
      case E_PLAYER_WEAPON_SLEDGEHAMMER:
      case E_PLAYER_WEAPON_MACHETE:
      case E_PLAYER_WEAPON_AXE:
        fPerfect = 15.0f;
        fGood = 20.0f;
        break;
      default:
        KV_FATAL("Unhandled weapon type");
    }
  }
  m_fHitGrade = fDistance <= fPerfect ? 0.0f : (fDistance <= fGood ? 1.0f : 2.0f);
  if (typeIs("EnemyLeader") && cLetter == 'H') {
    WorldServices::get().playCue(KvStrHash("WeedWhackerHit"));
    return false;
  }
  if (g_pPlayer != nullptr && g_pPlayer->m_eWeapon == E_PLAYER_WEAPON_MACHETE && cLetter != 'B') {
    m_effectAnim.playFlipBook(ClFlipBookMgr::getFlipBook("BoltHit"), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
    m_bHitFlash = 1;
  }
  return !(typeIs("EnemyMachete") && cLetter == 'B' && bFromDisarmedWeapon != 0);
}

namespace {

void spawnRing(f32 fX, f32 fY, f32 fR0, f32 fR1, f32 fR2, f32 fR3, u32 uiInner, u32 uiOuter, f32 fLifetime) {
  SEnemyActionFx fx;
  fx.m_afRadii[0] = fR0;
  fx.m_afRadii[1] = fR1;
  fx.m_afRadii[2] = fR2;
  fx.m_afRadii[3] = fR3;
  fx.m_uiInnerColor = uiInner;
  fx.m_uiOuterColor = uiOuter;
  fx.m_fLifetime = fLifetime;
  fx.m_vPosition[0] = fX - g_fWorldCameraX;
  fx.m_vPosition[1] = fY;  // the camera does not move across the lanes
  g_enemyActionFx.append(fx);
}

}  // namespace

void ClEntityEnemy::spawnImpactRing(f32 fX, f32 fY) const {
  spawnRing(fX, fY, 28.0f, 48.0f, 38.0f, 58.0f, 0x80FFFFFF, 0x00FFFFFF, 0.1f);
}

void ClEntityEnemy::spawnFlashRing(f32 fX, f32 fY) const {
  spawnRing(fX, fY, 0.0f, 28.0f, 38.0f, 38.0f, 0xFFFFFFFF, 0xFFFFFFFF, 0.1f);
}

void ClEntityEnemy::spawnPerfectRing(f32 fX, f32 fY) const {
  spawnRing(fX, fY, 0.0f, 15.0f, 220.0f, 250.0f, 0x00FFFF80, 0x80FFFF80, 0.15f);
}

void ClEntityEnemy::doHitSparks(f32 fX, f32 fY) const {
  SSparkAnim spark;
  const bool bFirst = KvMath::randomIntBelow(2) == 0;
  spark.m_anim.playFlipBook(ClFlipBookMgr::getFlipBook(bFirst ? "HitSpark1" : "HitSpark2"), E_FLIPBOOK_MODE_ONCE, 0,
                            0.0f);
  spark.m_vPosition[0] = fX;
  spark.m_vPosition[1] = fY;
  g_sparkAnims.append(spark);
}

void KvStartBloodSplat(SBloodSplat* pDrop, f32 fChance) {
  i32 k = 1;
  while (k < 5) {
    if (KvMath::randomUnitFloat() < fChance) {
      ++k;
    } else {
      break;
    }
  }
  pDrop->m_iSize = k;
  char szName[32];
  std::snprintf(szName, sizeof(szName), "IM-splatter%d_216", k);
  pDrop->mp_pDecal = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(szName));
  std::snprintf(szName, sizeof(szName), "Blood%d", k);
  if (ClFlipBook** ppBook = ClFlipBookMgr::findByHash(KvStrHash(szName))) {
    pDrop->m_anim.playFlipBook(*ppBook, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  }
}

// One blood drop in the draw order the replay depends on: size, lifetime, x, z, azimuth, elevation, speed.
void KvSpawnBloodDrop(f32 fX, f32 fY, f32 fChance, bool bOrange) {
  SBloodSplat drop;
  KvStartBloodSplat(&drop, fChance);
  drop.m_bOrange = bOrange ? 1 : 0;
  const i32 k = drop.m_iSize;
  drop.m_fLifetime = KvMath::randomUnitFloat() * (bOrange ? 4.5f : 5.5f) + 0.1f;
  drop.m_vPosition[0] = fX + (bOrange ? KvMath::randomUnitFloat() * 24.0f - 12.0f : KvMath::randomUnitFloat() * 12.0f - 6.0f);
  drop.m_vPosition[1] = fY;
  drop.m_vPosition[2] = bOrange ? KvMath::randomUnitFloat() * 48.0f - 48.0f : KvMath::randomUnitFloat() * 12.0f - 12.0f;
  drop.m_vAcceleration[2] = 300.0f;
  const f32 a = KvMath::randomUnitFloat() * 360.0f * 3.1415f / 180.0f;
  const f32 b = KvMath::randomUnitFloat() * 360.0f * 3.1415f / 180.0f;
  const f32 s = bOrange ? KvMath::randomUnitFloat() * 240.0f + 10.0f
                        : KvMath::randomUnitFloat() * (static_cast<f32>(k < 2 ? k : 2) * 150.0f - 10.0f) + 10.0f;
  drop.m_vVelocity[0] = std::cos(a) * s + (bOrange ? 0.0f : 100.0f);
  drop.m_vVelocity[1] = std::sin(a) * std::cos(b) * s;
  drop.m_vVelocity[2] = std::sin(a) * std::sin(b) * s - (bOrange ? 0.0f : 100.0f);
  g_bloodSplats.append(drop);
}

void ClEntityEnemy::spawnBlood(i32 iAmount, f32 fX, f32 fY) const {
  if (iAmount <= 0) {
    return;
  }
  const i32 iDrops = iAmount == 1 ? 10 : (iAmount == 2 ? 30 : 50);
  const f32 fChance = iAmount == 1 ? 0.5f : (iAmount == 2 ? 0.75f : 0.85f);
  for (i32 i = 0; i < iDrops; ++i) {
    KvSpawnBloodDrop(fX, fY, fChance, false);
  }
}
