// Enemy drawing: trail, target marker, body with its effect overlay, shield, the left arrow and the shadow.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometryHelper.h"
#include "Corvane/Math/KvRandom.h"

namespace {

u32 premultHash() {
  static const u32 s_uiHash = KvStrHash("system_blend_premult");
  return s_uiHash;
}

SWorldQuad frameQuad(const SFlipBookFrame* pFrame, f32 fX, f32 fY, u32 uiShader, f32 fDepth) {
  SWorldQuad quad;
  quad.mp_pEntry = pFrame->mp_pImage;
  quad.m_vPosition = {WorldDraw::snap(fX), WorldDraw::snap(fY)};
  quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
  quad.m_uiShaderHash = uiShader;
  quad.m_fDepth = fDepth;
  return quad;
}

// A frame turned by the angle a: the quad's x axis along (sin a, -cos a); scaled, not snapped.
SWorldQuad rotatedQuad(const SFlipBookFrame* pFrame, f32 fX, f32 fY, f32 fAngle, u32 uiColor, u32 uiShader,
                       f32 fDepth) {
  SWorldQuad quad;
  quad.mp_pEntry = pFrame->mp_pImage;
  quad.m_vPosition = {fX * gc_fWORLD_TO_SCREEN, fY * gc_fWORLD_TO_SCREEN};
  quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
  // The helper lays the x axis along (-dy, dx): that is (sin a, -cos a) for the direction (cos a, sin a).
  quad.m_vDirection = {std::cos(fAngle), std::sin(fAngle)};
  quad.m_bRotated = 1;
  quad.m_uiColor = uiColor;
  quad.m_uiShaderHash = uiShader;
  quad.m_fDepth = fDepth;
  return quad;
}

const SAtlasEntry* gameAtlasEntry(u32 uiNameHash) { return ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", uiNameHash); }

}  // namespace

u32 ClEntityEnemy::drawShaderHash() const {
  static const u32 s_uiBullet = KvStrHash("vosk_bullet");
  static const u32 s_uiStar = KvStrHash("vosk_star");
  if (m_bStarLook != 0) {
    return s_uiStar;
  }
  if (m_cHitType != 0) {
    const f32 f = m_fDuration * 15.0f;
    if (f - std::floor(f) > 0.5f) {
      return s_uiBullet;
    }
  }
  return premultHash();
}

void ClEntityEnemy::drawTrail(u32 uiShaderHash) {
  const SEnemyTrailSample& older = m_aTrail[1];
  const SEnemyTrailSample& newer = m_aTrail[0];
  if (older.mp_pFrame != nullptr) {
    WorldDraw::submit(rotatedQuad(older.mp_pFrame, older.m_fX, older.m_fY, 5.0f * older.m_fAngleTime, 0x3FFFFFFF,
                                  uiShaderHash, 0.01f));
  }
  if (newer.mp_pFrame != nullptr) {
    WorldDraw::submit(rotatedQuad(newer.mp_pFrame, newer.m_fX, newer.m_fY, 5.0f * newer.m_fAngleTime, 0x7FFFFFFF,
                                  uiShaderHash, 0.0f));
  }
  m_aTrail[1] = m_aTrail[0];
  m_aTrail[0] = {m_vPosition[0], m_vPosition[1] + m_vPosition[2] - (typeIs("EnemyFlamer") ? 30.0f : 0.0f),
                 m_mainAnim.getCurFrame(), m_bRotate != 0 ? m_fRotationTime : 0.0f};
}

void ClEntityEnemy::draw(u32 uiOrderIndex) {
  const f32 fBaseDepth = (100.0f - m_vPosition[1]) + static_cast<f32>(uiOrderIndex) * 0.1f;
  const f32 D = fBaseDepth + m_fOrderOffset;
  const f32 cam = g_fWorldCameraX;
  const f32 x = m_vPosition[0];
  const f32 y = m_vPosition[1];
  const f32 z = m_vPosition[2];
  if (m_bReplacePlayer != 0) {
    if (g_pPlayer != nullptr) {
      WorldDraw::submit(frameQuad(m_mainAnim.getCurFrame(), g_pPlayer->m_vPosition[0],
                                  g_pPlayer->m_vPosition[1] + g_pPlayer->m_vPosition[2], premultHash(), fBaseDepth));
    }
    return;
  }
  const u32 uiShader = drawShaderHash();
  if (m_bDisplayTrail != 0) {
    drawTrail(uiShader);
  }

  f32 t = 0.0f;
  if (g_pPlayer != nullptr) {
    t = (100.0f - std::fabs(x - (g_pPlayer->m_vPosition[0] + g_pPlayer->m_fReach)) - std::fabs(z)) / 100.0f;
  }
  if ((g_pPlayer != nullptr && g_pPlayer->m_eState == E_PLAYER_STATE_DEATH) ||
      (std::strcmp(m_szHitMask, "L") == 0 && m_fHitPoints <= 0.0f) || std::strcmp(m_szHitMask, "B") == 0 ||
      std::strcmp(m_szHitMask, "BE") == 0 || !WorldServices::get().targetMarkerOption() || typeIs("EnemyBarrel") ||
      typeIs("PickupWeaponCrate") || typeIs("PickupSupportCrate")) {
    t = 0.0f;
  }
  if (m_bHitMaskSet != 0 && t > 0.0f && g_bResultsShown == 0 && g_bLevelWon == 0 && g_bFadeOut == 0) {
    static const u32 s_uiTarget = KvStrHash("EnemyTarget_216");
    if (const SAtlasEntry* pTarget = gameAtlasEntry(s_uiTarget)) {
      SWorldQuad quad;
      quad.mp_pEntry = pTarget;
      quad.m_vPosition = {WorldDraw::snap(x), WorldDraw::snap(std::min(y - 27.0f, y + z))};
      quad.m_vPivot = {pTarget->mp_pAtlasTexInfo->mp_fWidth * 0.5f, pTarget->mp_pAtlasTexInfo->mp_fHeight * 0.5f};
      quad.m_uiColor = (static_cast<u32>(static_cast<i32>(t * 255.0f)) << 24) | 0x00FFFFFF;
      quad.m_uiShaderHash = premultHash();
      quad.m_fDepth = D - 1.0f;
      WorldDraw::submit(quad);
    }
  }

  if (m_bRotate == 0) {
    const u32 uiFlip = m_bMirror != 0 ? gc_uiATLAS_FLIP_U : 0;
    SWorldQuad body = frameQuad(m_mainAnim.getCurFrame(), x + m_fXOffset, y + z, uiShader, D);
    body.m_uiFlipFlags = uiFlip;
    WorldDraw::submit(body);
    if (m_effectAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook() != nullptr) {
      SWorldQuad effect = frameQuad(m_effectAnim.getCurFrame(), x + m_fXOffset, y + z, uiShader, D);
      effect.m_uiFlipFlags = uiFlip;
      WorldDraw::submit(effect);
      if (m_bHitFlash != 0) {
        for (i32 i = 0; i < 3; ++i) {
          const f32 r1 = KvMath::randomUnitFloat();
          const f32 r2 = KvMath::randomUnitFloat();
          SWorldQuad flash =
              frameQuad(m_effectAnim.getCurFrame(), x + m_fXOffset + 45.0f - 90.0f * r1, y + z - 45.0f * r2, uiShader, D);
          flash.m_uiFlipFlags = uiFlip;
          WorldDraw::submit(flash);
        }
      }
    }
  } else {
    const f32 fLift = typeIs("EnemyFlamer") ? 30.0f : 0.0f;
    WorldDraw::submit(rotatedQuad(m_mainAnim.getCurFrame(), x, y + z - fLift, 5.0f * m_fRotationTime, 0xFFFFFFFF,
                                  uiShader, D));
  }

  if (m_fShield > 0.0f && !stateIs("Counter") && !stateIs("CounterBullet")) {
    static const u32 s_uiShield = KvStrHash("EnemyShieldShield_216");
    if (const SAtlasEntry* pShield = gameAtlasEntry(s_uiShield)) {
      SWorldQuad quad;
      quad.mp_pEntry = pShield;
      quad.m_vPosition = {WorldDraw::snap(x - 18.0f + m_fXOffset), WorldDraw::snap(y - 34.0f)};
      quad.m_vPivot = {pShield->mp_pAtlasTexInfo->mp_fWidth * 0.5f, pShield->mp_pAtlasTexInfo->mp_fHeight * 0.5f};
      quad.m_uiShaderHash = premultHash();
      quad.m_fDepth = D - 0.5f;
      WorldDraw::submit(quad);
    }
  }

  if (m_bFromLeft != 0 && x < cam && m_vVelocity[0] > 0.0f &&
      m_indicatorAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook() != nullptr) {
    const f32 s = std::min((x - (cam - 100.0f)) / 50.0f, 1.0f);
    if (s > 0.0f) {
      const SFlipBookFrame* pFrame = m_indicatorAnim.getCurFrame();
      SWorldQuad quad;
      quad.mp_pEntry = pFrame->mp_pImage;
      quad.m_vPosition = {(cam + 20.0f) * gc_fWORLD_TO_SCREEN, (y + z - 30.0f) * gc_fWORLD_TO_SCREEN};
      quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
      quad.m_vDirection = {0.0f, -1.0f};
      quad.m_bRotated = 1;
      quad.m_uiColor = (static_cast<u32>(static_cast<i32>(s * 255.0f)) << 24) | 0x00FFFFFF;
      quad.m_uiShaderHash = uiShader;
      quad.m_fDepth = D;
      WorldDraw::submit(quad);
    }
  }

  if (m_iShadow != 0) {
    drawShadow(m_iShadow);
  }
}
