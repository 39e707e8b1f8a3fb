// The player's magic specials: the Bolt (2.4 s), the Ninja clones (4.5 s) and the Dragon (4.6 s). Each is a
// scripted show on the system clock while the level holds gameplay time still; when it ends the player has four
// hit-all frames (three of them hit, see update) that do the damage with the letter 'E'.
//
// The Dragon's parts after their rise are this game's own choice: the rise eases the head and jaw with p^0.3, the
// arms with p^0.35, the hands with p^0.4 and the breath pieces with p^0.6; afterwards every part holds its place,
// the jaw opens 12 units while the breath starts, and the head, jaw and breath pieces bob 3 units once a second
// during the breath. The breath pieces hang at the jaw's line, "DragonBreath" at the jaw's line + 20.
#include <cmath>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"

SBoltSprite g_boltSprites[NUM_E_BOLT_SPRITE];
ClDynamicVector<ClTexAnimObj> g_boltHitEffects;
ClDynamicVector<SEffectPoint> g_boltHitPoints;
ClDynamicVector<ClTexAnimObj> g_ninjaClones;
ClDynamicVector<SEffectPoint> g_ninjaClonePoints;
ClDynamicVector<f32> g_ninjaCloneAngles;
ClDynamicVector<ClTexAnimObj> g_dragonEmbers;
ClDynamicVector<SEffectPoint> g_dragonEmberPoints;

namespace {

constexpr f32 gc_fPI = 3.14159265f;
constexpr i32 gc_iNINJA_CLONES = 15;
constexpr f32 gc_fSPECIAL_GRACE = 1.6f;

// The Dragon's breath and sweep, alive with the embers.
ClTexAnimObj s_dragonBreath;
ClTexAnimObj s_dragonSweep;

u32 premultHash() {
  static const u32 s_uiHash = KvStrHash("system_blend_premult");
  return s_uiHash;
}

f32 systemDeltaTime() { return ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime; }

bool plays(const ClTexAnimObj& anim) { return anim.mp_curAnimators.mp_flipBookAnimator.m_bPlaying != 0; }

void play(ClTexAnimObj* pAnim, const char* pBook, i32 iMode) {
  pAnim->playFlipBook(ClFlipBookMgr::getFlipBook(pBook), iMode, 0, 0.0f);
}

void emptyQueue(ClTexAnimObj* pAnim) { pAnim->mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay); }

// The object's current frame at a world point: pixel-snapped or not, plain or turned along a unit direction.
void drawFrame(const ClTexAnimObj& anim, const SEffectPoint& point, f32 fDepth, u32 uiColor, bool bSnapped,
               const kv_vector2* pDirection = nullptr) {
  if (anim.mp_curAnimators.mp_flipBookAnimator.getFlipBook() == nullptr) {
    return;
  }
  const SFlipBookFrame* pFrame = anim.getCurFrame();
  SWorldQuad quad;
  quad.mp_pEntry = pFrame->mp_pImage;
  quad.m_vPosition = bSnapped ? kv_vector2{WorldDraw::snap(point.x), WorldDraw::snap(point.y)}
                              : kv_vector2{point.x * gc_fWORLD_TO_SCREEN, point.y * gc_fWORLD_TO_SCREEN};
  quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
  quad.m_uiColor = uiColor;
  quad.m_uiShaderHash = premultHash();
  quad.m_fDepth = fDepth;
  if (pDirection != nullptr) {
    quad.m_bRotated = 1;
    quad.m_vDirection = *pDirection;
  }
  WorldDraw::submit(quad);
}

// One atlas part of the Dragon at a world point, pixel-snapped.
void drawDragonPart(const char* pName, f32 fX, f32 fY, f32 fDepth) {
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pName));
  SWorldQuad quad;
  quad.mp_pEntry = pEntry;
  quad.m_vPosition = {WorldDraw::snap(fX), WorldDraw::snap(fY)};
  quad.m_uiShaderHash = premultHash();
  quad.m_fDepth = fDepth;
  WorldDraw::submit(quad);
}

void releaseAnims(ClDynamicVector<ClTexAnimObj>* pVector) {
  if (!pVector->isInitialized()) {
    return;
  }
  for (i32 i = 0; i < pVector->getCount(); ++i) {
    emptyQueue(&(*pVector)[i]);
  }
  pVector->terminate();
}

template <typename T>
void releaseVector(ClDynamicVector<T>* pVector) {
  if (pVector->isInitialized()) {
    pVector->terminate();
  }
}

// The Bolt sprite's point around the player.
SEffectPoint boltPoint(i32 iSprite, const f32* pPos) {
  const f32 x = pPos[0];
  const f32 yh = pPos[1] + pPos[2];
  switch (iSprite) {
    case E_BOLT_SPRITE_LEFT: return {x + 10.0f, yh - 30.0f};
    case E_BOLT_SPRITE_RIGHT: return {x - 10.0f, yh - 30.0f};
    case E_BOLT_SPRITE_FRONT: return {x, yh + 24.0f};
    case E_BOLT_SPRITE_BACK: return {x, yh - 50.0f};
    default: return {x, yh};
  }
}

void startBoltSprite(i32 iSprite, const char* pBook) {
  g_boltSprites[iSprite].m_iPhase = 1;
  play(&g_boltSprites[iSprite].m_anim, pBook, E_FLIPBOOK_MODE_ONCE);
}

// y of a Dragon part coming down with eased progress e.
f32 dragonRise(f32 e, f32 fA, f32 fB) { return (fA * e - fB) * (1.0f - e) - 10.0f * e; }

}  // namespace

void ClEntityPlayer::startMagic() {
  if (GameTypes::isSurvivor(g_iGameType) && g_fTimeLeft <= 1.0f) {
    return;
  }
  --g_iMagicCharges;
  m_iSpecialKills = 0;
  m_bHittable = 0;
  m_fGraceTime = 2.0f;
  m_fStateTime = 0.0f;
  struct SSpecial {
    i32 m_eState;
    const char* mp_pCue;
    i32 m_iVoiceOver;
  };
  static constexpr SSpecial s_aSpecials[3] = {{E_PLAYER_STATE_BOLT, "BoltSpecialStart", 11},
                                              {E_PLAYER_STATE_NINJA, "NinjaMagic", 13},
                                              {E_PLAYER_STATE_DRAGON, "DragonMagic", 12}};
  if (g_iMagicKind < 0 || g_iMagicKind > 2) {
    return;  // an unknown kind spends the charge and starts nothing
  }
  const SSpecial& special = s_aSpecials[g_iMagicKind];
  m_eState = special.m_eState;
  WorldServices::get().playCue(KvStrHash(special.mp_pCue));
  g_bMagicFreeze = 1;
  WorldServices::get().playVoiceOver(special.m_iVoiceOver);
}

void ClEntityPlayer::hitAllEnemies() {
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    if (ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i])) {
      pEnemy->tryHit('E', 0.0f, 0);
    }
  }
}

void ClEntityPlayer::drawEffectFrame(const ClTexAnimObj& anim, const SEffectPoint& point) const {
  if (plays(anim)) {
    drawFrame(anim, point, 1.0f, 0xFFFFFFFF, true);
  }
}

void ClEntityPlayer::releaseMagicEffects() {
  for (SBoltSprite& sprite : g_boltSprites) {
    emptyQueue(&sprite.m_anim);
  }
  releaseAnims(&g_boltHitEffects);
  releaseVector(&g_boltHitPoints);
  releaseAnims(&g_ninjaClones);
  releaseVector(&g_ninjaClonePoints);
  releaseVector(&g_ninjaCloneAngles);
  releaseAnims(&g_dragonEmbers);
  releaseVector(&g_dragonEmberPoints);
  s_dragonBreath = ClTexAnimObj();
  s_dragonSweep = ClTexAnimObj();
  g_bMagicFreeze = 0;
}

void ClEntityPlayer::endMagic() {
  releaseMagicEffects();
  m_iHitAllFrames = 4;
  setRunningOrDeath();
  stepState();
}

void ClEntityPlayer::updateBolt() {
  const f32 t = m_fStateTime;
  const f32 dt = systemDeltaTime();
  m_bHittable = 0;
  m_fGraceTime = gc_fSPECIAL_GRACE;
  if (t <= 0.0f && !g_boltHitEffects.isInitialized()) {
    g_boltHitEffects.initialize(8);
    g_boltHitPoints.initialize(8);
  }
  if (t < 0.1f) {
    m_vPosition[0] += dt * 900.0f;
    m_mainAnim.update(gc_uiCLOCK_SYSTEM);
    if (t + dt >= 0.1f) {
      play(&m_mainAnim, "BoltMaxPose", E_FLIPBOOK_MODE_ONCE);
      for (SBoltSprite& sprite : g_boltSprites) {
        sprite.m_iPhase = 0;
      }
      startBoltSprite(E_BOLT_SPRITE_TOP, "BoltTop");
      for (i32 i = 1; i < g_entityList.getCount(); ++i) {
        g_boltHitEffects.append(ClTexAnimObj());
        g_boltHitPoints.append(SEffectPoint{0.0f, 0.0f});
      }
    }
  } else if (t < 1.9f) {
    m_mainAnim.update(gc_uiCLOCK_SYSTEM);
    SBoltSprite* s = g_boltSprites;
    if (s[E_BOLT_SPRITE_FRONT].m_iPhase == 4) {
      s[E_BOLT_SPRITE_FRONT].m_iPhase = 5;
      startBoltSprite(E_BOLT_SPRITE_BACK, "BoltBack");
    }
    if (s[E_BOLT_SPRITE_LEFT].m_iPhase == 2) {
      s[E_BOLT_SPRITE_LEFT].m_iPhase = 3;
      startBoltSprite(E_BOLT_SPRITE_FRONT, "BoltFront");
    }
    if (s[E_BOLT_SPRITE_BACK].m_iPhase == 2) {
      s[E_BOLT_SPRITE_BACK].m_iPhase = 3;
      startBoltSprite(E_BOLT_SPRITE_LEFT, "BoltLeft");
      startBoltSprite(E_BOLT_SPRITE_RIGHT, "BoltRight");
    }
    if (s[E_BOLT_SPRITE_TOP].m_iPhase == 2) {
      s[E_BOLT_SPRITE_TOP].m_iPhase = 3;
      startBoltSprite(E_BOLT_SPRITE_BACK, "BoltBack");
    }
    for (i32 i = 0; i < NUM_E_BOLT_SPRITE; ++i) {
      SBoltSprite& sprite = s[i];
      if (sprite.m_iPhase < 1 || sprite.m_iPhase > 3) {
        continue;
      }
      drawEffectFrame(sprite.m_anim, boltPoint(i, m_vPosition));
      sprite.m_anim.update(gc_uiCLOCK_SYSTEM);
      const ClFlipBookAnimator& body = sprite.m_anim.mp_curAnimators.mp_flipBookAnimator;
      if (sprite.m_iPhase == 1 && body.getCurrentFrameIndex() >= body.getNumFrames() / 2) {
        sprite.m_iPhase = 2;
      }
      if (body.m_bPlaying == 0) {
        sprite.m_iPhase = 4;
      }
    }
    for (i32 i = 0; i < g_boltHitEffects.getCount(); ++i) {
      ClTexAnimObj& hit = g_boltHitEffects[i];
      if (!plays(hit)) {
        const ClEntity* pTarget = g_entityList[i + 1 < g_entityList.getCount() ? i + 1 : 0];
        g_boltHitPoints[i] = {pTarget->m_vPosition[0],
                              pTarget->m_vPosition[1] + std::fmin(pTarget->m_vPosition[2], -27.0f)};
        play(&hit, "BoltHit", E_FLIPBOOK_MODE_ONCE);
      }
      drawFrame(hit, g_boltHitPoints[i], -1000.0f, 0xFFFFFFFF, true);
      hit.update(gc_uiCLOCK_SYSTEM);
    }
    if (t + dt >= 1.9f) {
      play(&m_mainAnim, "PlayerRunning", E_FLIPBOOK_MODE_LOOP);
    }
  } else if (t < 2.4f) {
    m_vPosition[0] -= dt * 180.0f;
    m_mainAnim.update(gc_uiCLOCK_SYSTEM);
    for (i32 i = 0; i < NUM_E_BOLT_SPRITE; ++i) {
      drawEffectFrame(g_boltSprites[i].m_anim, boltPoint(i, m_vPosition));
      g_boltSprites[i].m_anim.update(gc_uiCLOCK_SYSTEM);
    }
  } else {
    endMagic();
    return;
  }
  m_fStateTime += dt;
}

void ClEntityPlayer::updateNinja() {
  const f32 t = m_fStateTime;
  const f32 dt = systemDeltaTime();
  m_bHittable = 0;
  m_fGraceTime = gc_fSPECIAL_GRACE;
  if (t <= 0.0f && !g_ninjaClones.isInitialized()) {
    play(&m_mainAnim, "PlayerSuperClone", E_FLIPBOOK_MODE_ONCE);
    g_ninjaClones.initialize(8);
    g_ninjaClonePoints.initialize(8);
    g_ninjaCloneAngles.initialize(8);
  }
  if (t < 0.9f) {
    m_mainAnim.update(gc_uiCLOCK_SYSTEM);
    if (t + dt >= 0.9f) {
      for (i32 i = 0; i < gc_iNINJA_CLONES; ++i) {
        ClTexAnimObj clone;
        play(&clone, "PlayerSuperClone", E_FLIPBOOK_MODE_HOLD);
        clone.mp_curAnimators.mp_flipBookAnimator.pause();
        g_ninjaClones.append(clone);
        g_ninjaCloneAngles.append(static_cast<f32>(i % 2 == 0 ? i * 5 : -(i * 5)));
        g_ninjaClonePoints.append(SEffectPoint{m_vPosition[0], m_vPosition[1]});
      }
    }
  } else if (t < 1.4f) {
    for (i32 i = 0; i < g_ninjaClones.getCount(); ++i) {
      g_ninjaClonePoints[i].x += g_ninjaCloneAngles[i] * dt * 2.6f;
      drawFrame(g_ninjaClones[i], g_ninjaClonePoints[i], -1000.0f, 0xFFFFFFFF, true);
    }
    if (t + dt >= 1.4f) {
      for (i32 i = 0; i < g_ninjaClones.getCount(); ++i) {
        play(&g_ninjaClones[i], "PlayerShinobiFlying", E_FLIPBOOK_MODE_LOOP);
      }
    }
  } else if (t < 4.5f) {
    m_mainAnim.update(gc_uiCLOCK_SYSTEM);
    f32 a = 1.0f;
    if (t <= 1.5f) {
      a = std::fmin(std::fmax((t - 1.4f) * 2.0f, 0.0f), 1.0f);
    } else if (t >= 4.4f) {
      a = std::fmax(1.0f - (t - 4.4f) * 4.0f, 0.0f);
    }
    const u32 uiColor = (static_cast<u32>(255.0f * a) << 24) | 0x00FFFFFFu;
    const f32 fLeft = g_fWorldCameraX;
    const f32 fRight = g_fWorldCameraX + 400.0f;
    for (i32 i = 0; i < g_ninjaClones.getCount(); ++i) {
      g_ninjaClones[i].update(gc_uiCLOCK_SYSTEM);
      SEffectPoint& p = g_ninjaClonePoints[i];
      f32& h = g_ninjaCloneAngles[i];
      if (p.y < 0.0f || p.y > 300.0f) {
        h = 2.0f * gc_fPI - h;
        p.y = std::fmin(std::fmax(p.y, 0.0f), 300.0f);
      } else if (p.x < fLeft || p.x > fRight) {
        h = h >= gc_fPI ? 3.0f * gc_fPI - h : gc_fPI - h;
        p.x = std::fmin(std::fmax(p.x, fLeft), fRight);
      }
      const kv_vector2 vDir{std::cos(h), std::sin(h)};
      p.x += vDir.x * t * t * 70.0f * dt;
      p.y += vDir.y * t * t * 70.0f * dt;
      drawFrame(g_ninjaClones[i], p, -1000.0f, uiColor, false, &vDir);
    }
  }
  if (t >= 4.5f || (t >= 1.4f && t + dt >= 4.5f)) {
    endMagic();
    return;
  }
  m_fStateTime += dt;
}

void ClEntityPlayer::updateDragon() {
  const f32 t = m_fStateTime;
  const f32 dt = systemDeltaTime();
  m_bHittable = 0;
  m_fGraceTime = gc_fSPECIAL_GRACE;
  if (t <= 0.0f && !g_dragonEmbers.isInitialized()) {
    g_dragonEmbers.initialize(8);
    g_dragonEmberPoints.initialize(8);
    play(&m_mainAnim, "PlayerSuperDragon", E_FLIPBOOK_MODE_ONCE);
  }
  const f32 cx = g_fWorldCameraX;
  if (t < 1.0f) {
    m_mainAnim.update(gc_uiCLOCK_SYSTEM);
  }
  if (t >= 0.5f && t < 4.0f) {
    // Rise progress (1 once risen), jaw opening and the breath's bob.
    const f32 p = t < 1.0f ? (t - 0.5f) * 2.0f : 1.0f;
    const f32 fOpen = t < 1.0f ? 0.0f : (t < 1.5f ? (t - 1.0f) * 2.0f : 1.0f) * 12.0f;
    const f32 fBob = t >= 2.0f ? 3.0f * std::sin((t - 2.0f) * 2.0f * gc_fPI) : 0.0f;
    const f32 fHead = dragonRise(std::pow(p, 0.3f), 310.0f, 220.0f) + fBob;
    const f32 fArm = dragonRise(std::pow(p, 0.35f), 430.0f, 320.0f);
    const f32 fHand = dragonRise(std::pow(p, 0.4f), 430.0f, 320.0f) + 70.0f;
    const f32 fJaw = fHead + 73.0f + fOpen;
    drawDragonPart("DragonArmLeft_216", cx + 30.0f, fArm, -999.0f);
    drawDragonPart("DragonHandLeft_216", cx + 74.0f, fHand, -1001.0f);
    drawDragonPart("DragonHead_216", cx + 111.0f, fHead, -1000.0f);
    drawDragonPart("DragonJaw_216", cx + 161.0f, fJaw, -990.0f);
    drawDragonPart("DragonHandRight_216", cx + 232.0f, fHand, -1001.0f);
    drawDragonPart("DragonArmRight_216", cx + 240.0f, fArm, -999.0f);
    if (t >= 1.0f) {
      const f32 fBreath = fJaw + (1.0f - std::pow(std::fmin((t - 1.0f) * 2.0f, 1.0f), 0.6f)) * -20.0f;
      drawDragonPart("DragonBreathStart1_216", cx + 161.0f, fBreath, -995.0f);
      drawDragonPart("DragonBreathStart2_216", cx + 146.0f, fBreath, -995.0f);
      drawDragonPart("DragonBreathStart3_216", cx + 129.0f, fBreath, -995.0f);
    }
    if (t >= 2.0f) {
      if (s_dragonBreath.mp_curAnimators.mp_flipBookAnimator.getFlipBook() == nullptr) {
        play(&s_dragonBreath, "DragonBreath", E_FLIPBOOK_MODE_LOOP);
      }
      s_dragonBreath.update(gc_uiCLOCK_SYSTEM);
      drawFrame(s_dragonBreath, SEffectPoint{cx + 111.0f, fJaw + 20.0f}, -996.0f, 0xFFFFFFFF, true);
    }
  }
  if (t >= 1.5f && t < 4.0f) {
    const f32 fRate = t < 2.0f ? -60.0f : -40.0f;
    const i32 iNew = static_cast<i32>(std::trunc(t * fRate)) - static_cast<i32>(std::trunc((t + dt) * fRate));
    for (i32 i = 0; i < iNew; ++i) {
      ClTexAnimObj ember;
      play(&ember, "DragonEmber", E_FLIPBOOK_MODE_LOOP);
      const f32 x = cx + KvMath::randomUnitFloat() * 400.0f;
      const f32 y = 50.0f + KvMath::randomUnitFloat() * 166.0f;
      g_dragonEmbers.append(ember);
      g_dragonEmberPoints.append(SEffectPoint{x, y});
    }
    for (i32 i = 0; i < g_dragonEmbers.getCount();) {
      drawFrame(g_dragonEmbers[i], g_dragonEmberPoints[i], -990.0f, 0xFFFFFFFF, true);
      g_dragonEmbers[i].update(gc_uiCLOCK_SYSTEM);
      if (!plays(g_dragonEmbers[i])) {
        emptyQueue(&g_dragonEmbers[i]);
        g_dragonEmbers.erase(i);
        g_dragonEmberPoints.erase(i);
      } else {
        ++i;
      }
    }
  }
  if (t >= 4.0f && t < 4.6f) {
    if (s_dragonSweep.mp_curAnimators.mp_flipBookAnimator.getFlipBook() == nullptr || !plays(s_dragonSweep)) {
      play(&s_dragonSweep, "DragonFireSweep", E_FLIPBOOK_MODE_LOOP);
    }
    s_dragonSweep.update(gc_uiCLOCK_SYSTEM);
    const f32 fAlpha = std::fmax(1.0f - (t - 4.0f) / 0.6f, 0.0f) * 255.0f;
    drawFrame(s_dragonSweep, SEffectPoint{cx - 20.0f, 0.0f}, -1002.0f,
              (static_cast<u32>(fAlpha) << 24) | 0x00FFFFFFu, true);
  }
  if (t >= 4.6f || (t >= 4.0f && t + dt >= 4.6f)) {
    endMagic();
    return;
  }
  m_fStateTime += dt;
}
