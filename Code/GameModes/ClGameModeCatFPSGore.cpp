// The bonus stage's blood drops and gibs: a burst from every hit that falls under four times earth's gravity,
// lands on the street (drops leave a splatter) and rides with it towards the camera until it passes z = 5.
#include <cstdio>

#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"

namespace {

constexpr f32 gc_fREMOVE_Z = 5.0f;
// Slightly less than two pi (the float with the bits 0x40C90F77).
constexpr f32 gc_fFULL_TURN = 6.2831378f;

void playLooped(ClTexAnimObj* pAnim, const char* pFormat, i32 n) {
  char szName[32];
  std::snprintf(szName, sizeof(szName), pFormat, n);
  pAnim->playFlipBook(ClFlipBookMgr::getFlipBook(szName), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
}

// Velocity of a piece thrown with strength s: draws f, then a random unit vector.
kv_vector4 throwVelocity(f32 s, f32 fStreetSpeed) {
  const f32 f = KvMath::randomUnitFloat();
  const kv_vector3 u = KvMath::getRandomUnitVector();
  return {u.x * s * f, u.y * s * f + 2.0f * s, fStreetSpeed + u.z * s * f, 0.0f};
}

// Removes the pieces past z = 5 from the four parallel vectors, order kept.
template <typename T>
void removePassed(ClDynamicVector<kv_vector4>& pos, ClDynamicVector<kv_vector4>& vel,
                  ClDynamicVector<ClTexAnimObj>& anims, ClDynamicVector<T>& extra) {
  for (i32 i = 0; i < pos.getCount();) {
    if (pos[i].z > gc_fREMOVE_Z) {
      anims[i].mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
      pos.erase(i);
      vel.erase(i);
      anims.erase(i);
      extra.erase(i);
    } else {
      ++i;
    }
  }
}

// One frame of flight; true when the piece is on the ground afterwards (strictly below for drops, at or below for
// gibs), where it is put back to the ground and given the street's speed.
bool fly(kv_vector4& p, kv_vector4& v, f32 fDT, f32 fStreetSpeed, bool bLandAtGround) {
  p = {p.x + v.x * fDT, p.y + v.y * fDT, p.z + v.z * fDT, p.w};
  v.y -= fDT * gc_fCATFPS_GORE_GRAVITY;
  const bool bLanded = bLandAtGround ? p.y <= gc_fCATFPS_GROUND_Y : p.y < gc_fCATFPS_GROUND_Y;
  if (bLanded) {
    p.y = gc_fCATFPS_GROUND_Y;
    v = {0.0f, 0.0f, fStreetSpeed, 0.0f};
  }
  return bLanded;
}

}  // namespace

void ClGameModeCatFPS::spawnBloodAndGibs(i32 iEnemy) {
  const kv_vector4 E = m_daEnemyPos[iEnemy];
  const bool bWeak = m_daEnemyKind[iEnemy] == 0;
  i32 n = KvMath::randomIntBelow(5) + 1;
  f32 y0 = 0.11f + 1.89f * KvMath::randomUnitFloat() + E.y;
  i32 iCount = 12;
  f32 s = 7.5f;
  if (!bWeak) {
    iCount = 20;
    s = 12.0f;
    n = KvMath::randomIntBelow(5) + 1;
  }
  char szSplat[32];
  std::snprintf(szSplat, sizeof(szSplat), "IM-splatter%d_216", n);
  const SAtlasEntry* pSplat = catFPSAtlasEntry(szSplat);
  for (i32 i = 0; i < iCount; ++i) {
    m_daDropPos.append({E.x, y0, E.z - 2.0f, 0.0f});
    m_daDropVel.append(throwVelocity(s, streetSpeed()));
    playLooped(m_daDropAnim.appendInPlace(), "Blood%d", n);
    m_daDropSplat.append(pSplat);
  }
  n = KvMath::randomIntBelow(6) + 1;
  y0 = 0.11f + 1.89f * KvMath::randomUnitFloat() + E.y;
  iCount = 2;
  s = 9.5f;
  if (!bWeak) {
    iCount = 3;
    s = 15.0f;
    n = KvMath::randomIntBelow(6) + 1;
  }
  for (i32 i = 0; i < iCount; ++i) {
    m_daGibPos.append({E.x, y0, E.z - 2.0f, 0.0f});
    m_daGibVel.append(throwVelocity(s, streetSpeed()));
    m_daGibAngle.append(KvMath::randomUnitFloat() * gc_fFULL_TURN);
    playLooped(m_daGibAnim.appendInPlace(), "GibNormal%d", n);
  }
}

void ClGameModeCatFPS::updateBloodDrops(f32 fDT) {
  removePassed(m_daDropPos, m_daDropVel, m_daDropAnim, m_daDropSplat);
  for (i32 i = 0; i < m_daDropPos.getCount(); ++i) {
    fly(m_daDropPos[i], m_daDropVel[i], fDT, streetSpeed(), false);
    m_daDropAnim[i].update(gc_uiCLOCK_GAMEPLAY);
  }
}

void ClGameModeCatFPS::updateGibs(f32 fDT) {
  removePassed(m_daGibPos, m_daGibVel, m_daGibAnim, m_daGibAngle);
  for (i32 i = 0; i < m_daGibPos.getCount(); ++i) {
    // A gib spins while in the air; its angle stays as it was once it has landed.
    if (!fly(m_daGibPos[i], m_daGibVel[i], fDT, streetSpeed(), true)) {
      m_daGibAngle[i] += fDT;
    }
    m_daGibAnim[i].update(gc_uiCLOCK_GAMEPLAY);
  }
}
