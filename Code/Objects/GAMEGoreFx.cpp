// Gibs, blood, sparks and rings: spawning gibs and the player's blood, the frame update with landing, bouncing
// and removal, and the draw. The floating texts' share lives in GAMEFloatingTexts.cpp.
#include "Code/Objects/GAMEGoreFx.h"

#include <cmath>
#include <cstdio>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/GAMEFloatingTexts.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

namespace {

struct SGibClass {
  f32 fSpeedMax;
  i32 iPiecesMin;
  i32 iPiecesMax;
};
constexpr SGibClass gc_aGibClasses[] = {{60.0f, 6, 8}, {150.0f, 25, 30}, {150.0f, 55, 65}, {450.0f, 150, 250}};
static_assert(sizeof(gc_aGibClasses) / sizeof(gc_aGibClasses[0]) == gc_iNUM_GIB_CLASSES);

struct SGibStyle {
  const char* pBodyPrefix;
  i32 iBodyBooks;
  const char* pTrail;  // null: no trail and no landing burst
  const char* pLandingBurst;
};
constexpr SGibStyle gc_aGibStyles[] = {{"GibNormal", 6, nullptr, nullptr},
                                       {"GibFire", 3, "GibFireAir", "GibFireLand"},
                                       {"GibElectric", 3, nullptr, nullptr},
                                       {"GibMagic", 3, "GibMagicAir", "GibMagicLand"}};
static_assert(sizeof(gc_aGibStyles) / sizeof(gc_aGibStyles[0]) == gc_iNUM_GIB_STYLES);

constexpr f32 gc_fDEGREES_TO_RADIANS = 3.1415f / 180.0f;
constexpr f32 gc_fNEAREST_Y = 100.0f;
constexpr f32 gc_fBEHIND_CAMERA = 100.0f;
constexpr f32 gc_fAHEAD_OF_CAMERA = 700.0f;
constexpr f32 gc_fDECAL_LIFETIME = 10.0f;

u32 hashOf(const char* pName) { return KvStrHash(pName); }

bool isPlaying(const ClTexAnimObj& anim) { return anim.mp_curAnimators.mp_flipBookAnimator.m_bPlaying != 0; }

bool hasFrame(const ClTexAnimObj& anim) { return anim.mp_curAnimators.mp_flipBookAnimator.getFlipBook() != nullptr; }

// position += velocity x dt, then velocity += acceleration x dt.
void integrate(f32* pPosition, f32* pVelocity, const f32* pAcceleration, f32 dt) {
  for (i32 i = 0; i < 3; ++i) {
    pPosition[i] += pVelocity[i] * dt;
    pVelocity[i] += pAcceleration[i] * dt;
  }
}

// Comes to rest on the ground: no height, no motion, no gravity.
void settle(f32* pPosition, f32* pVelocity, f32* pAcceleration) {
  pVelocity[0] = 0.0f;
  pVelocity[1] = 0.0f;
  pVelocity[2] = 0.0f;
  pAcceleration[2] = 0.0f;
  pPosition[2] = 0.0f;
}

// The time at which a piece thrown from height z with vertical speed vz first reaches the ground. A piece that
// starts below the ground and cannot climb back above it gets the root's floor of 0 rather than a stop.
f32 firstLandingTime(f32 fVZ, f32 fZ) {
  f32 fRoot = fVZ * fVZ - 2.0f * gc_fGORE_GRAVITY * fZ;
  if (fRoot < 0.0f) {
    fRoot = 0.0f;
  }
  return (std::sqrt(fRoot) - fVZ) / gc_fGORE_GRAVITY;
}

void leaveDecal(const SGib& gib) {
  SBloodSplat decal;
  decal.m_iSize = KvMath::randomIntRange(3, 5);
  char szName[32];
  std::snprintf(szName, sizeof(szName), "IM-splatter%d_216", decal.m_iSize);
  decal.mp_pDecal = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", hashOf(szName));
  decal.m_bLanded = 1;
  decal.m_fLifetime = gc_fDECAL_LIFETIME;
  decal.m_vPosition[0] = gib.m_vPosition[0];
  decal.m_vPosition[1] = gib.m_vPosition[1];
  g_bloodSplats.append(decal);
}

void updateGib(SGib& gib, f32 dt) {
  gib.m_bodyAnim.update(1);
  gib.m_trailAnim.update(1);
  gib.m_fAge += dt;
  integrate(gib.m_vPosition, gib.m_vVelocity, gib.m_vAcceleration, dt);
  if (gib.m_vPosition[2] > 0.0f) {
    if (gib.m_bBurstPlayed == 0 && isPlaying(gib.m_trailAnim)) {
      gib.m_trailAnim.playFlipBook(ClFlipBookMgr::getFlipBook(gib.m_bMagic != 0 ? "GibMagicLand" : "GibFireLand"),
                                   E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
      gib.m_bBurstPlayed = 1;
    }
    gib.m_vPosition[2] = 0.0f;
    if (gib.m_vAcceleration[2] != 0.0f) {
      const f32 r = KvMath::randomUnitFloat();
      if (r <= static_cast<f32>(gib.m_iBounces) * 0.1f + 0.2f) {
        settle(gib.m_vPosition, gib.m_vVelocity, gib.m_vAcceleration);
      } else {
        for (f32& v : gib.m_vVelocity) {
          v *= 0.3f;
        }
        gib.m_vVelocity[2] *= -1.0f;
        leaveDecal(gib);
      }
      ++gib.m_iBounces;
    }
  }
  if (gib.m_vPosition[1] < gc_fNEAREST_Y) {
    gib.m_vPosition[1] = gc_fNEAREST_Y;
  }
}

void updateBlood(SBloodSplat& drop, f32 dt) {
  if (drop.m_bLanded == 0) {
    drop.m_anim.update(1);
  }
  drop.m_fAge += dt;
  integrate(drop.m_vPosition, drop.m_vVelocity, drop.m_vAcceleration, dt);
  if (drop.m_vPosition[2] > 0.0f) {
    settle(drop.m_vPosition, drop.m_vVelocity, drop.m_vAcceleration);
    drop.m_fLifetime += gc_fDECAL_LIFETIME;
    drop.m_bLanded = 1;
  }
  if (drop.m_vPosition[1] < gc_fNEAREST_Y) {
    drop.m_vPosition[1] = gc_fNEAREST_Y;
  }
}

// The current frame of an animation about its anchor at a snapped world position.
SWorldQuad frameQuad(const ClTexAnimObj& anim, const f32* pPosition, u32 uiColor, u32 uiShader, f32 fDepth) {
  const SFlipBookFrame* pFrame = anim.getCurFrame();
  SWorldQuad quad;
  quad.mp_pEntry = pFrame->mp_pImage;
  quad.m_vPosition = {WorldDraw::snap(pPosition[0]), WorldDraw::snap(pPosition[1] + pPosition[2])};
  quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
  quad.m_uiColor = uiColor;
  quad.m_uiShaderHash = uiShader;
  quad.m_fDepth = fDepth;
  return quad;
}

void drawRings() {
  static const u32 s_uiShader = hashOf("system_blend_color");
  for (i32 i = 0; i < g_enemyActionFx.getCount(); ++i) {
    const SEnemyActionFx& fx = g_enemyActionFx[i];
    const f32 t = fx.m_fAge;
    const f32 f = t / fx.m_fLifetime;
    const f32 fX = g_fWorldCameraX + fx.m_vPosition[0] + t * (fx.m_vVelocity[0] + fx.m_vAcceleration[0] * t * 0.5f);
    const f32 fY = fx.m_vPosition[1] + fx.m_vPosition[2] +
                   t * (fx.m_vVelocity[1] + fx.m_vVelocity[2] + (fx.m_vAcceleration[1] + fx.m_vAcceleration[2]) * t * 0.5f);
    SWorldRing ring;
    ring.m_vCentre = {fX * gc_fWORLD_TO_SCREEN, fY * gc_fWORLD_TO_SCREEN};
    ring.m_fInnerRadius = fx.m_afRadii[0] * (1.0f - f) + fx.m_afRadii[2] * f;
    ring.m_fOuterRadius = fx.m_afRadii[1] * (1.0f - f) + fx.m_afRadii[3] * f;
    ring.m_uiInnerColor = fx.m_uiInnerColor;
    ring.m_uiOuterColor = fx.m_uiOuterColor;
    ring.m_uiShaderHash = s_uiShader;
    ring.m_fDepth = (100.0f - fY) + 5.0f;
    WorldDraw::submitRing(ring);
  }
}

void drawBlood() {
  static const u32 s_uiBlood = hashOf("vosk_blood");
  static const u32 s_uiOrange = hashOf("vosk_blood_orange");
  for (i32 i = 0; i < g_bloodSplats.getCount(); ++i) {
    const SBloodSplat& drop = g_bloodSplats[i];
    const u32 uiShader = drop.m_bOrange != 0 ? s_uiOrange : s_uiBlood;
    const u32 uiColor = drop.m_bOrange != 0 ? 0xE5E5E5E5 : (drop.m_bLanded != 0 ? 0xFFFFFFFF : 0xFFB2B2B2);
    SWorldQuad quad;
    if (drop.m_bLanded != 0) {
      if (drop.mp_pDecal == nullptr) {
        continue;
      }
      // Centred the way every centred world image is: on half the image's size.
      quad.mp_pEntry = drop.mp_pDecal;
      quad.m_vPosition = {WorldDraw::snap(drop.m_vPosition[0]), WorldDraw::snap(drop.m_vPosition[1] + drop.m_vPosition[2])};
      quad.m_vPivot = {drop.mp_pDecal->mp_pAtlasTexInfo->mp_fWidth * 0.5f,
                       drop.mp_pDecal->mp_pAtlasTexInfo->mp_fHeight * 0.5f};
      quad.m_uiColor = uiColor;
      quad.m_uiShaderHash = uiShader;
      quad.m_fDepth = 10.0f;
    } else {
      if (!hasFrame(drop.m_anim)) {
        continue;
      }
      quad = frameQuad(drop.m_anim, drop.m_vPosition, uiColor, uiShader, 10.0f);
    }
    WorldDraw::submit(quad);
  }
}

void drawSparks() {
  static const u32 s_uiShader = hashOf("system_blend_premult");
  for (i32 i = 0; i < g_sparkAnims.getCount(); ++i) {
    const SSparkAnim& spark = g_sparkAnims[i];
    if (hasFrame(spark.m_anim)) {
      WorldDraw::submit(frameQuad(spark.m_anim, spark.m_vPosition, 0xFFFFFFFF, s_uiShader, -100.0f));
    }
  }
}

void drawGibs() {
  static const u32 s_uiShader = hashOf("system_blend_premult");
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    const SGib& gib = g_gibs[i];
    const f32 fTurning = gib.m_fSpinTime - gib.m_fAge;
    const f32 a = gib.m_fSpinRate * (fTurning > 0.0f ? fTurning : 0.0f);
    SWorldQuad quad;
    quad.m_vPosition = {gib.m_vPosition[0] * gc_fWORLD_TO_SCREEN,
                        (gib.m_vPosition[1] + gib.m_vPosition[2]) * gc_fWORLD_TO_SCREEN};
    quad.m_vDirection = {-std::sin(a), -std::cos(a)};
    quad.m_bRotated = 1;
    quad.m_uiShaderHash = s_uiShader;
    quad.m_fDepth = (100.0f - gib.m_vPosition[1]) + static_cast<f32>(i) * 0.1f;
    const SFlipBookFrame* pBody = gib.m_bodyAnim.getCurFrame();
    quad.mp_pEntry = pBody->mp_pImage;
    quad.m_vPivot = {pBody->mp_fAnchorX, pBody->mp_fAnchorY};
    WorldDraw::submit(quad);
    if (isPlaying(gib.m_trailAnim)) {
      const SFlipBookFrame* pTrail = gib.m_trailAnim.getCurFrame();
      quad.mp_pEntry = pTrail->mp_pImage;
      quad.m_vPivot = {pTrail->mp_fAnchorX, pTrail->mp_fAnchorY};
      quad.m_fScale = a >= 0.0f ? 1.0f : -1.0f;
      WorldDraw::submit(quad);
    }
  }
}

}  // namespace

namespace GoreFx {

void initialize() { GoreRecords::initialize(); }

void releaseAll() { GoreRecords::terminate(); }

void spawnGibs(i32 iStyle, i32 iClass, const f32 vOrigin[4], const f32 afArea[2]) {
  KV_ASSERTF(iStyle >= 0 && iStyle < gc_iNUM_GIB_STYLES, "Gib style %d out of range", iStyle);
  KV_ASSERTF(iClass >= 0 && iClass < gc_iNUM_GIB_CLASSES, "Gib class %d out of range", iClass);
  const SGibClass& gibClass = gc_aGibClasses[iClass];
  const SGibStyle& style = gc_aGibStyles[iStyle];
  const bool bUltra = WorldServices::get().ultraGibOption();
  const f32 fUltraSpeed = bUltra ? 2.0f : 1.0f;
  const i32 n = KvMath::randomIntRange(gibClass.iPiecesMin, gibClass.iPiecesMax) * (bUltra ? 2 : 1);
  for (i32 iPiece = 0; iPiece < n && g_gibs.getCount() <= gc_iGIB_CAP; ++iPiece) {
    SGib gib;
    gib.m_fSpinRate = KvMath::randomUnitFloat() * 12.0f - 6.0f;
    const f32 s = KvMath::randomUnitFloat() * (gibClass.fSpeedMax - 10.0f) + 10.0f;
    gib.m_vAcceleration[2] = gc_fGORE_GRAVITY;
    for (i32 i = 0; i < 4; ++i) {
      gib.m_vPosition[i] = vOrigin[i];
    }
    gib.m_vPosition[0] += KvMath::randomUnitFloat() * afArea[0];
    gib.m_vPosition[1] += KvMath::randomUnitFloat() * afArea[1];
    const f32 a1 = KvMath::randomUnitFloat() * 360.0f * gc_fDEGREES_TO_RADIANS;
    const f32 a2 = KvMath::randomUnitFloat() * 360.0f * gc_fDEGREES_TO_RADIANS;
    gib.m_vVelocity[0] = (s * std::cos(a1) + 50.0f) * fUltraSpeed;
    gib.m_vVelocity[1] = std::cos(a2) * std::sin(a1) * s * 0.5f * fUltraSpeed;
    gib.m_vVelocity[2] = (std::sin(a2) * std::sin(a1) * s - 100.0f) * fUltraSpeed;
    gib.m_fSpinTime = firstLandingTime(gib.m_vVelocity[2], gib.m_vPosition[2]);
    gib.m_bMagic = iStyle == 3 ? 1 : 0;
    char szBody[32];
    std::snprintf(szBody, sizeof(szBody), "%s%d", style.pBodyPrefix, KvMath::randomIntRange(1, style.iBodyBooks));
    if (style.pTrail != nullptr) {
      gib.m_trailAnim.playFlipBook(ClFlipBookMgr::getFlipBook(style.pTrail), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    }
    ClFlipBook* pBody = ClFlipBookMgr::getFlipBook(szBody);
    gib.m_bodyAnim.playFlipBook(pBody, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    gib.m_bodyAnim.mp_curAnimators.mp_flipBookAnimator.setCurrentFrameIndex(
        KvMath::randomIntBelow(pBody->getNumFrames()));
    g_gibs.append(gib);
  }
}

void spawnGibs(i32 iStyle, i32 iClass, f32 fX, f32 fY, f32 fZ, f32 fWidth, f32 fHeight) {
  const f32 vOrigin[4] = {fX, fY, fZ, 0.0f};
  const f32 afArea[2] = {fWidth, fHeight};
  spawnGibs(iStyle, iClass, vOrigin, afArea);
}

void spawnBloodSplatter(f32 fX, f32 fY, bool bHeavy) {
  const i32 iDrops = bHeavy ? 100 : 10;
  for (i32 i = 0; i < iDrops; ++i) {
    KvSpawnBloodDrop(fX, fY, bHeavy ? 0.8f : 0.75f, E_BLOOD_DROP_SPLATTER);
  }
}

void update() {
  const f32 dt = ClClock::m_aClockFrames[1].m_fFrameTime;
  FloatingTexts::age(dt);
  for (i32 i = 0; i < g_enemyActionFx.getCount(); ++i) {
    g_enemyActionFx[i].m_fAge += dt;
  }
  for (i32 i = 0; i < g_bloodSplats.getCount(); ++i) {
    updateBlood(g_bloodSplats[i], dt);
  }
  for (i32 i = 0; i < g_sparkAnims.getCount(); ++i) {
    SSparkAnim& spark = g_sparkAnims[i];
    spark.m_fAge += dt;
    integrate(spark.m_vPosition, spark.m_vVelocity, spark.m_vAcceleration, dt);
    spark.m_anim.update(1);
  }
  // A bounce's decal joins the blood, which has had its update this frame.
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    updateGib(g_gibs[i], dt);
  }

  FloatingTexts::removeExpired();
  KvRemoveRecordsWhere(g_enemyActionFx, [](const SEnemyActionFx& fx) { return fx.m_fAge > fx.m_fLifetime; });
  const f32 fCamera = g_fWorldCameraX;
  if (g_bResultsShown == 0 && g_bLevelWon == 0 && g_bFadeOut == 0) {
    KvRemoveRecordsWhere(g_bloodSplats, [fCamera](const SBloodSplat& drop) {
      return drop.m_fAge > drop.m_fLifetime || fCamera > drop.m_vPosition[0] + gc_fBEHIND_CAMERA;
    });
  }
  KvRemoveRecordsWhere(g_sparkAnims, [](const SSparkAnim& spark) { return !isPlaying(spark.m_anim); });
  KvRemoveRecordsWhere(g_gibs, [fCamera](const SGib& gib) {
    return fCamera > gib.m_vPosition[0] + gc_fBEHIND_CAMERA || gib.m_vPosition[0] > fCamera + gc_fAHEAD_OF_CAMERA;
  });
}

void draw() {
  FloatingTexts::draw();
  drawRings();
  drawBlood();
  drawSparks();
  drawGibs();
}

}  // namespace GoreFx
