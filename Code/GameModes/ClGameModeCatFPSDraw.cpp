// The bonus stage's nine sprite passes: every world object as a flat textured quad of the sprite manager, written
// with the depth-writing shaders so that the quads hide one another by distance whatever order they come in.
// Billboards stand along the mode's up vector (the camera's, tilted back with the view); ground tiles and landed
// splatters lie flat.
#include <cmath>

#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Math/KvRandom.h"

namespace {

// The quad being built: corners 0-3, then texture coordinates 0-3; handed to the sprite manager as it is queued.
kv_vector4 s_aStagingQuad[8] = {};

constexpr u32 gc_uiWHITE = 0xFFFFFFFFu;
constexpr f32 gc_fENEMY_SCALE = 0.05f;
constexpr f32 gc_fSTREET_SCALE = 0.07f;
constexpr f32 gc_fSCENERY_SCALE = 0.75f;

// The last page's signature, kept for one frame (the first pass forgets it): most quads share a page.
ClTexture* s_pTexture = nullptr;
const SRenderSignature* s_pSignature = nullptr;
ClShader* s_pShader = nullptr;

const SRenderSignature* texturedSignature(const SAtlasEntry* pEntry) {
  if (s_pShader == nullptr || s_pTexture != pEntry->mp_pTexture) {
    s_pShader = ClShaderMgr::getShader("Vosk_blend_premult_zwrite");
    s_pTexture = pEntry->mp_pTexture;
    s_pSignature = ClSignatureMgr::getSignature(s_pShader, ClSignatureMgr::getTexSet(pEntry->mp_pTexture));
  }
  return s_pSignature;
}

// The staging quad's texture coordinates: bottom-left (u0, v1), bottom-right (u1, v1), top-left (u0, v0), top-right
// (u1, v0); mirrored swaps u0 and u1.
void setTexCoords(const SAtlasTexInfo& info, bool bMirrored) {
  const f32 uL = bMirrored ? info.mp_fU1 : info.mp_fU0;
  const f32 uR = bMirrored ? info.mp_fU0 : info.mp_fU1;
  kv_vector4* pUV = s_aStagingQuad + 4;
  pUV[0] = {uL, info.mp_fV1, 0.0f, 0.0f};
  pUV[1] = {uR, info.mp_fV1, 0.0f, 0.0f};
  pUV[2] = {uL, info.mp_fV0, 0.0f, 0.0f};
  pUV[3] = {uR, info.mp_fV0, 0.0f, 0.0f};
}

// The staging quad's corners for a base point, half-width and height; bFlat keeps the top corners' y.
void setCorners(const kv_vector4& vUp, f32 cx, f32 y, f32 z, f32 hw, f32 H, bool bFlat) {
  const f32 fTopY = bFlat ? y : y + vUp.y * H;
  const f32 fTopZ = z + vUp.z * H;
  kv_vector4* pC = s_aStagingQuad;
  pC[0] = {cx - hw, y, z, 0.0f};
  pC[1] = {cx + hw, y, z, 0.0f};
  pC[2] = {cx - hw, fTopY, fTopZ, 0.0f};
  pC[3] = {cx + hw, fTopY, fTopZ, 0.0f};
}

void queue(const SAtlasEntry* pEntry, u32 uiColor) {
  ClSpriteMgr::setStagingQuad(s_aStagingQuad);
  ClSpriteMgr::addQuadSprite(uiColor, texturedSignature(pEntry));
}

void billboard(const kv_vector4& vUp, const SAtlasEntry* pEntry, f32 cx, f32 y, f32 z, f32 hw, f32 H, bool bFlat,
               u32 uiColor) {
  setCorners(vUp, cx, y, z, hw, H, bFlat);
  setTexCoords(*pEntry->mp_pAtlasTexInfo, false);
  queue(pEntry, uiColor);
}

// Pieces at their own positions, sized from their entries by a scale.
void drawPieces(const kv_vector4& vUp, ClDynamicVector<kv_vector4>& positions,
                ClDynamicVector<const SAtlasEntry*>& entries, f32 fScale, bool bFlat) {
  for (i32 i = 0; i < positions.getCount(); ++i) {
    const SAtlasEntry* pEntry = entries[i];
    const SAtlasTexInfo& info = *pEntry->mp_pAtlasTexInfo;
    const kv_vector4& v = positions[i];
    billboard(vUp, pEntry, v.x, v.y, v.z, info.mp_fWidth * fScale * 0.5f, info.mp_fHeight * fScale, bFlat, gc_uiWHITE);
  }
}

// A height K x h / q of an entry; an entry with no frame height (q = 0) has none, and is not drawn.
bool scaledHeight(const SAtlasTexInfo& info, f32 K, f32* pH) {
  if (info.mp_fFrameHeight == 0.0f) {
    return false;
  }
  *pH = K * info.mp_fHeight / info.mp_fFrameHeight;
  return true;
}

kv_vector3 cross(const kv_vector3& a, const kv_vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace

u32* packColor(u32* pOut, f32 c1, f32 c2, f32 c3, f32 c4) {
  const u32 a = static_cast<u32>(c1 * 255.0f);
  const u32 b = static_cast<u32>(c2 * 255.0f);
  const u32 c = static_cast<u32>(c3 * 255.0f);
  const u32 d = static_cast<u32>(c4 * 255.0f);
  *pOut = ((((a << 8) | b) << 8 | c) << 8) | d;
  return pOut;
}

void ClGameModeCatFPS::drawForeground() {
  s_pShader = nullptr;
  struct SPiece {
    ClTexAnimObj* pAnim;
    f32 fAimFactor;
    f32 fCentre;
    f32 hw;
    f32 y;
    f32 z;
    f32 K;
  };
  const SPiece aPieces[] = {
      {&m_van3Roof, 1.3f, 0.0f, 5.9f, 0.5f, -2.03f, 2.4997709f},
      {&m_van2Shutters, 1.2f, 0.0f, 2.6f, 2.7f, -2.02f, 1.521274f},
      {&m_van1AC, 1.0f, 0.0f, 0.375f, 4.28f, -0.6f, 0.5625f},
      {&m_gunFire, 1.0f, 0.0f, 0.9157f, 4.38f, -1.0f, 1.2149692f},
      {&m_casingsL, 1.4f, -5.2f, 2.7f, 0.2f, -3.0f, 5.0625f},
      {&m_casingsR, 1.4f, 5.2f, 2.7f, 0.2f, -3.0f, 5.0625f},
  };
  for (const SPiece& piece : aPieces) {
    const SAtlasEntry* pEntry = piece.pAnim->getCurFrame()->mp_pImage;
    f32 H = 0.0f;
    if (scaledHeight(*pEntry->mp_pAtlasTexInfo, piece.K, &H)) {
      billboard(m_vUp, pEntry, piece.fAimFactor * m_fAimOffset + piece.fCentre, piece.y, piece.z, piece.hw, H, false,
                gc_uiWHITE);
    }
  }
}

void ClGameModeCatFPS::drawBullets() {
  const SRenderSignature* pSignature =
      ClSignatureMgr::getSignatureNoTex(ClShaderMgr::getShader("Vosk_blend_color_zwrite"));
  for (i32 i = 0; i < m_daBulletPos.getCount(); ++i) {
    const u32 g = static_cast<u32>(KvMath::randomUnitFloat() * 255.0f);
    const u32 a = static_cast<u32>(KvMath::randomUnitFloat() * 255.0f);
    const u32 uiColor = (a << 24) | (0xFFu << 16) | (g << 8);
    const kv_vector4& p = m_daBulletPos[i];
    const kv_vector3 vDir = m_daBulletDir[i].xyz();
    // The quad's length runs along W x N: W = N x dir (normalised) makes that the bullet's direction.
    const kv_vector4 aNormals[2] = {{0.0f, -1.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f, 0.0f}};
    const kv_vector4 aStarts[2] = {{p.x + 0.2f, p.y, p.z, 0.0f}, {p.x, p.y + 0.4f, p.z, 0.0f}};
    const f32 afWidths[2] = {0.2f, 0.4f};
    for (i32 q = 0; q < 2; ++q) {
      const kv_vector4 vWidthDir = kv_vector4::from(cross(aNormals[q].xyz(), vDir).normalized());
      ClSpriteMgr::AddQuad(&aStarts[q], &aNormals[q], &vWidthDir, afWidths[q], 5.0f, uiColor, pSignature, -1.0f);
    }
  }
}

void ClGameModeCatFPS::drawEnemies() {
  for (i32 i = 0; i < m_daEnemyPos.getCount(); ++i) {
    const SFlipBookFrame* pFrame = m_daEnemyAnim[i].getCurFrame();
    const SAtlasEntry* pEntry = pFrame->mp_pImage;
    const SAtlasTexInfo& info = *pEntry->mp_pAtlasTexInfo;
    const f32 hw = info.mp_fWidth * gc_fENEMY_SCALE * 0.5f;
    const f32 H = info.mp_fHeight * gc_fENEMY_SCALE;
    const f32 d = (pFrame->mp_fAnchorX - info.mp_fAnchorX) * gc_fENEMY_SCALE;
    const f32 e = (pFrame->mp_fAnchorY - info.mp_fAnchorY) * gc_fENEMY_SCALE;
    const bool bMirrored = m_daEnemySpeed[i] > 0.0f;
    const kv_vector4& v = m_daEnemyPos[i];
    setCorners(m_vUp, v.x + (bMirrored ? d - hw : hw - d), v.y + e - H, v.z, hw, H, false);
    setTexCoords(info, bMirrored);
    queue(pEntry, gc_uiWHITE);
  }
}

void ClGameModeCatFPS::drawBloodDrops() {
  constexpr u32 uiBLOOD = 0xFF90FFFFu;
  for (i32 i = 0; i < m_daDropPos.getCount(); ++i) {
    kv_vector4& v = m_daDropPos[i];
    if (v.y > gc_fCATFPS_GROUND_Y) {
      const SAtlasEntry* pEntry = m_daDropAnim[i].getCurFrame()->mp_pImage;
      const SAtlasTexInfo& info = *pEntry->mp_pAtlasTexInfo;
      billboard(m_vUp, pEntry, v.x, v.y, v.z, info.mp_fWidth * 0.05f, info.mp_fHeight * 0.1f, false, uiBLOOD);
      continue;
    }
    // Landed: the splatter lies flat, reaching from the drop towards the camera.
    v.y = gc_fCATFPS_GROUND_Y;
    const SAtlasEntry* pSplat = m_daDropSplat[i];
    const SAtlasTexInfo& info = *pSplat->mp_pAtlasTexInfo;
    const f32 hw = info.mp_fWidth * 0.05f;
    const f32 L = info.mp_fHeight * 0.1f * 2.0f;
    kv_vector4* pC = s_aStagingQuad;
    pC[0] = {v.x - hw, v.y, v.z, 0.0f};
    pC[1] = {v.x + hw, v.y, v.z, 0.0f};
    pC[2] = {v.x - hw, v.y, v.z + L, 0.0f};
    pC[3] = {v.x + hw, v.y, v.z + L, 0.0f};
    setTexCoords(info, false);
    queue(pSplat, uiBLOOD);
  }
}

void ClGameModeCatFPS::drawGibs() {
  for (i32 i = 0; i < m_daGibPos.getCount(); ++i) {
    const SAtlasEntry* pEntry = m_daGibAnim[i].getCurFrame()->mp_pImage;
    const SAtlasTexInfo& info = *pEntry->mp_pAtlasTexInfo;
    const f32 hw = info.mp_fWidth * 0.05f;
    const f32 hh = info.mp_fHeight * 0.05f;
    const f32 a = m_daGibAngle[i];
    const f32 c = std::cos(a);
    const f32 s = std::sin(a);
    const kv_vector4& v = m_daGibPos[i];
    const f32 aOffsets[4][2] = {{-hw, -hh}, {hw, -hh}, {-hw, hh}, {hw, hh}};
    for (i32 k = 0; k < 4; ++k) {
      // Rotated by minus the angle: the gib turns clockwise as the camera sees it while its angle grows.
      const f32 rx = aOffsets[k][0] * c + aOffsets[k][1] * s;
      const f32 ry = -aOffsets[k][0] * s + aOffsets[k][1] * c;
      s_aStagingQuad[k] = {v.x + rx, v.y + m_vUp.y * ry, v.z + m_vUp.z * ry, 0.0f};
    }
    setTexCoords(info, false);
    queue(pEntry, gc_uiWHITE);
  }
}

void ClGameModeCatFPS::drawCrosshair() {
  const SAtlasEntry* pEntry = catFPSAtlasEntry("PlayerCrosshair_216");
  f32 H = 0.0f;
  if (scaledHeight(*pEntry->mp_pAtlasTexInfo, 0.35f, &H)) {
    billboard(m_vUp, pEntry, m_fAim, 5.4f, -3.0f, 0.175f, H, false, gc_uiWHITE);
  }
}

void ClGameModeCatFPS::drawStandingPieces() {
  drawPieces(m_vUp, m_daStandingPos, m_daStandingEntry, gc_fSTREET_SCALE, false);
}

void ClGameModeCatFPS::drawGroundTiles() { drawPieces(m_vUp, m_daGroundPos, m_daGroundEntry, gc_fSTREET_SCALE, true); }

void ClGameModeCatFPS::drawScenery() {
  drawPieces(m_vUp, m_daSceneryPos, m_daSceneryEntry, gc_fSCENERY_SCALE, false);
}
