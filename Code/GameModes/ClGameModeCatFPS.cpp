// The bonus stage's mode object: enter, the frame, exit, the enemies, the guns and their bullets.
#include "Code/GameModes/ClGameModeCatFPS.h"

#include <cmath>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/Input/GAMEInputMappers.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEScreenPause.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Input/ClRumbleMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClHLDrawUI.h"
#include "Corvane/UI/ClUI.h"

ClGameModeCatFPS g_gameModeCatFPS;

const SCatFPSKindAnims gc_aCatFPSKinds[gc_iCATFPS_NUM_KINDS] = {
    {"EnemyWeakRunning", "EnemyWeakHit", "EnemyWeakHit", "EnemyWeakDead"},
    {"EnemyFastRunning", "EnemyFastHit", "EnemyFastHit", "EnemyFastDead"},
    {"EnemyShieldRunning", "EnemyShieldHit", "EnemyShieldHit", "EnemyShieldDead"},
    {"EnemyThugWalk", "EnemyThugHit", "EnemyThugHit", "EnemyThugDead"},
    {"EnemyLeaderRunning", "EnemyLeaderHit", "EnemyLeaderHit", "EnemyLeaderDead"},
    {"EnemyFlamerRunning", "EnemyFlamerHit", "EnemyFlamerHit", "EnemyFlamerDead"},
    {"EnemyFlankerRunningLeft", "EnemyFlankerDead", "EnemyFlankerDead", nullptr},
    {"EnemyGrenadierRunning", "EnemyGrenadierHit", "EnemyGrenadierHit", "EnemyGrenadierDead"},
    {"EnemyHyenaRunning", "EnemyHyenaDead", "EnemyHyenaDead", nullptr},
    {"EnemyMaceARunning1", "EnemyMaceADead", "EnemyMaceAHit1", nullptr},
    {"EnemyMacheteRunning", "EnemyMacheteHit", "EnemyMacheteHit", "EnemyMacheteDead"},
    {"EnemyPistolRunning", "EnemyPistolDead", "EnemyPistolDead", nullptr},
    {"EnemyPugilistRunning", "EnemyPugilistHit", "EnemyPugilistHit", "EnemyPugilistDead"},
    {"EnemyRifleRunning", "EnemyRifleHit", "EnemyRifleHit", "EnemyRifleDead"},
    {"EnemyTricksterRunning", "EnemyTricksterHit", "EnemyTricksterHit", "EnemyTricksterDead"},
};

namespace {

constexpr f32 gc_fAIM_LIMIT = 4.5f;
constexpr f32 gc_fAIM_RATE = 8.0f;
constexpr f32 gc_fSTREET_KEEP_Z = 10.0f;

// A flip book played on an animation object: running ones loop (mode 3), the others play once (mode 2).
void play(ClTexAnimObj* pAnim, const char* pName, i32 iMode) {
  pAnim->playFlipBook(ClFlipBookMgr::getFlipBook(pName), iMode, 0, 0.0f);
}

bool isPlaying(const ClTexAnimObj& anim) { return anim.mp_curAnimators.mp_flipBookAnimator.m_bPlaying != 0; }

u32 drawWord() {
  KvRandomCountDraws(1);
  return sfmtNextWord();
}

f32 action(i32 iAction) {
  return ClInputManager::getActions(0)[iAction].mp_afValues[ClInputManager::m_uiCurInputFrame];
}

kv_vector3 add(const kv_vector3& a, const kv_vector3& b, f32 fScale) {
  return {a.x + b.x * fScale, a.y + b.y * fScale, a.z + b.z * fScale};
}

// Removes the elements of both parallel vectors whose position fails the test, order kept.
template <typename T, typename Pred>
void eraseWhere(ClDynamicVector<kv_vector4>& positions, ClDynamicVector<T>& others, Pred bRemove) {
  for (i32 i = 0; i < positions.getCount();) {
    if (bRemove(positions[i])) {
      positions.erase(i);
      others.erase(i);
    } else {
      ++i;
    }
  }
}

void pauseStage() {
  GAMESetRootValue("PauseFromCatFPS", 1);
  ClUI::switchTo("TopLevelSwitcher", "Pause");
  GAMEEnterPause();
}

}  // namespace

i32 catFPSKindOfChoice(i32 iChoice) {
  static const i32 s_aiKinds[36] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  1,
                                    2, 3, 3, 4, 0, 6, 7, 8, 9, 10, 0, 12, 13, 14};
  return iChoice >= 0 && iChoice < 36 ? s_aiKinds[iChoice] : 0;
}

const SAtlasEntry* catFPSAtlasEntry(const char* pImageName) {
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pImageName));
  if (pEntry == nullptr) {
    KV_FATALF("Bonus stage: the image [%s] is not in \"TexturesGameAtlas\"", pImageName);
  }
  return pEntry;
}

ClGameModeCatFPS::ClGameModeCatFPS() { m_camera.m_fFieldOfView = 55.0f; }

void ClGameModeCatFPS::createEnemy() {
  drawWord();
  drawWord();
  const f32 t = 1.0f - KvMath::randomUnitFloat();
  const f32 p = std::pow(KvMath::randomUnitFloat(), t + 0.1f);
  const f32 x = drawWord() >= 0x80000000u ? 25.0f * p : -25.0f * p;
  const f32 z = -50.0f - 650.0f * std::pow(t, 1.5f);
  m_daEnemyPos.append({x, x > 14.0f ? 1.0f : 0.0f, z, 0.0f});
  m_daEnemySpeed.append((1.0f + 4.0f * KvMath::randomUnitFloat()) * (x >= 0.0f ? 1.0f : -1.0f));
  const i32 iKind = catFPSKindOfChoice(KvMath::randomIntBelow(36));
  m_daEnemyKind.append(iKind);
  m_daEnemyState.append(E_CATFPS_ENEMY_RUNNING);
  ClTexAnimObj* pAnim = m_daEnemyAnim.appendInPlace();
  play(pAnim, gc_aCatFPSKinds[iKind].pRunning, E_FLIPBOOK_MODE_LOOP);
}

i32 ClGameModeCatFPS::enter(i32) {
  m_bFinished = 0;
  m_camera.m_fFieldOfView = 80.0f;
  m_fShake = 0.0f;
  ClGameStateMgr::pushInputMapper(0, ClInputManager::getGameplayMapper());
  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::start("Monkey", "Scheme_InGame");
  }
  play(&m_gunFire, "CatFire", E_FLIPBOOK_MODE_ONCE);
  play(&m_van1AC, "Van1AC", E_FLIPBOOK_MODE_LOOP);
  play(&m_van2Shutters, "Van2Shutters", E_FLIPBOOK_MODE_LOOP);
  play(&m_van3Roof, "Van3Roof", E_FLIPBOOK_MODE_LOOP);
  play(&m_casingsL, "CasingsL", E_FLIPBOOK_MODE_LOOP);
  play(&m_casingsR, "CasingsR", E_FLIPBOOK_MODE_LOOP);
  m_daBulletPos.initialize(8);
  m_daBulletDir.initialize(8);
  m_daEnemySpeed.initialize(8);
  m_daEnemyPos.initialize(8);
  m_daEnemyAnim.initialize(8);
  m_daEnemyState.initialize(8);
  m_daEnemyKind.initialize(8);
  m_daDropPos.initialize(8);
  m_daDropVel.initialize(8);
  m_daDropAnim.initialize(8);
  m_daDropSplat.initialize(8);
  m_daGibPos.initialize(8);
  m_daGibVel.initialize(8);
  m_daGibAnim.initialize(8);
  m_daGibAngle.initialize(8);
  m_daStandingPos.initialize(8);
  m_daStandingEntry.initialize(8);
  m_daGroundPos.initialize(8);
  m_daGroundEntry.initialize(8);
  m_daSceneryPos.initialize(8);
  m_daSceneryEntry.initialize(8);
  m_streetSpeed.play(2, 1, 5.0f, 20.0f, 0.0f, 15.0f);
  m_bFadingIn = 1;
  m_bEnding = 0;
  m_fPhaseTime = 0.0f;
  m_fStreetCountdown = 0.0f;
  m_iKills = 0;
  const kv_vector3 vDir = kv_vector3{0.0f, -0.5f, -1.0f}.normalized();
  m_vViewDir = kv_vector4::from(vDir);
  m_vUp = {0.0f, -vDir.z, vDir.y, 0.0f};
  m_daSceneryPos.append({0.0f, -199.0f, -200.0f, 0.0f});
  m_daSceneryEntry.append(catFPSAtlasEntry("Lv4ASea_216"));
  m_daSceneryPos.append({0.0f, 0.0f, -200.0f, 0.0f});
  m_daSceneryEntry.append(catFPSAtlasEntry("Lv4ASky_216"));
  m_daSceneryPos.append({0.0f, 0.0f, -199.0f, 0.0f});
  m_daSceneryEntry.append(catFPSAtlasEntry("Lv4ADistance1_216"));
  layStreet(0.0f);
  for (i32 i = 0; i < gc_iCATFPS_NUM_ENEMIES; ++i) {
    createEnemy();
  }
  ClUI::switchTo("TopLevelSwitcher", "EmptyScreen");
  m_bSecondShotPending = 0;
  m_hTurretLoop = ClAudioManager::createCueInstanceByName("TurretLoop");
  m_hGunCue = ClAudioManager::createCueInstanceByName("CatFPSGun");
  return 1;
}

void ClGameModeCatFPS::fireBullet(f32 fSideX, f32 fDirX) {
  const kv_vector3 vJitter = KvMath::getRandomUnitVector();
  const kv_vector3 vPos = add({m_fAimOffset + fSideX, 2.2f, -6.0f}, vJitter, 0.1f);
  const kv_vector3 vDir = GetRandomVectorAroundNormal(kv_vector3{fDirX, 0.0f, -1.0f}.normalized(), 5.0f);
  m_daBulletPos.append(kv_vector4::from(vPos));
  m_daBulletDir.append(kv_vector4::from(vDir));
}

i32 ClGameModeCatFPS::findBulletTarget(i32 iBullet, f32 fDT) const {
  const kv_vector4& vPos = *const_cast<ClDynamicVector<kv_vector4>&>(m_daBulletPos).at(iBullet);
  const kv_vector4& vDir = *const_cast<ClDynamicVector<kv_vector4>&>(m_daBulletDir).at(iBullet);
  const f32 fFar = vPos.z + vDir.z * fDT * gc_fCATFPS_BULLET_SPEED;
  i32 iBest = -1;
  for (i32 i = 0; i < m_daEnemyPos.getCount(); ++i) {
    const kv_vector4& vEnemy = m_daEnemyPos.getFirst()[i];
    if (m_daEnemyState.getFirst()[i] != E_CATFPS_ENEMY_RUNNING || !(vPos.z > vEnemy.z) || !(vEnemy.z > fFar) ||
        !(std::fabs(vPos.x - vEnemy.x) < 2.0f)) {
      continue;
    }
    if (iBest < 0 || vEnemy.z > m_daEnemyPos.getFirst()[iBest].z) {
      iBest = i;
    }
  }
  return iBest;
}

void ClGameModeCatFPS::hitEnemy(i32 iEnemy, bool bCloseRange) {
  ClAudioManager::playCue(KvStrHash("WeedWhackerHit"));
  m_daEnemyState[iEnemy] = E_CATFPS_ENEMY_HIT;
  ++m_iKills;
  const SCatFPSKindAnims& anims = gc_aCatFPSKinds[m_daEnemyKind[iEnemy]];
  play(&m_daEnemyAnim[iEnemy], bCloseRange ? anims.pClose : anims.pShot, E_FLIPBOOK_MODE_ONCE);
  spawnBloodAndGibs(iEnemy);
}

void ClGameModeCatFPS::simulate(f32 fDT) {
  if (action(E_GAME_ACTION_AIM_LEFT) > gc_fACTION_PRESSED_THRESHOLD) {
    m_fAim -= gc_fAIM_RATE * fDT;
  } else if (action(E_GAME_ACTION_AIM_RIGHT) > gc_fACTION_PRESSED_THRESHOLD) {
    m_fAim += gc_fAIM_RATE * fDT;
  } else if (action(E_GAME_ACTION_AIM_AXIS) != 0.0f) {
    m_fAim += gc_fAIM_RATE * fDT * action(E_GAME_ACTION_AIM_AXIS);
  }
  m_fAim = m_fAim < -gc_fAIM_LIMIT ? -gc_fAIM_LIMIT : (m_fAim > gc_fAIM_LIMIT ? gc_fAIM_LIMIT : m_fAim);
  m_fAimOffset = m_fAim / 10.0f;
  // Two bullets a cycle of the firing animation: the right gun's as it starts, the left one's half-way through.
  if (!isPlaying(m_gunFire)) {
    play(&m_gunFire, m_fAim < -1.0f ? "CatFireL" : (m_fAim > 1.0f ? "CatFireR" : "CatFire"), E_FLIPBOOK_MODE_ONCE);
    fireBullet(2.0f, 0.4f * m_fAim - 0.02f);
    m_bSecondShotPending = 1;
  }
  const ClFlipBookAnimator& gun = m_gunFire.mp_curAnimators.mp_flipBookAnimator;
  if (gun.getCurrentFrameIndex() == gun.getNumFrames() / 2 && m_bSecondShotPending != 0) {
    m_bSecondShotPending = 0;
    fireBullet(-2.0f, 0.4f * m_fAim + 0.02f);
  }
  eraseWhere(m_daBulletPos, m_daBulletDir, [](const kv_vector4& v) { return v.z < -100.0f || v.y < -8.0f; });
  for (i32 i = 0; i < m_daBulletPos.getCount(); ++i) {
    const i32 iTarget = findBulletTarget(i, fDT);
    if (iTarget >= 0) {
      m_daBulletPos[i].z = -5000.0f;
      hitEnemy(iTarget, false);
    }
    kv_vector4& vPos = m_daBulletPos[i];
    const kv_vector4& vDir = m_daBulletDir[i];
    const f32 fStep = fDT * gc_fCATFPS_BULLET_SPEED;
    vPos = {vPos.x + vDir.x * fStep, vPos.y + vDir.y * fStep, vPos.z + vDir.z * fStep, vPos.w};
  }
  for (i32 i = 0; i < m_daEnemyPos.getCount(); ++i) {
    const kv_vector4& v = m_daEnemyPos[i];
    if (v.z > -5.0f && v.z < 0.0f && std::fabs(v.x) < 6.0f && m_daEnemyState[i] == E_CATFPS_ENEMY_RUNNING) {
      hitEnemy(i, true);
      m_fShake = 1.0f;
    }
  }
  const f32 fStreetStep = fDT * streetSpeed();
  for (i32 i = 0; i < m_daEnemyPos.getCount(); ++i) {
    kv_vector4& v = m_daEnemyPos[i];
    f32& fSpeed = m_daEnemySpeed[i];
    if (m_daEnemyState[i] == E_CATFPS_ENEMY_RUNNING && v.z > -80.0f) {
      // The turning bounds are not symmetric: the street's pier side lies to the right.
      if ((v.x > 15.0f && fSpeed > 0.0f) || (v.x < -5.0f && fSpeed < 0.0f)) {
        fSpeed = -fSpeed;
      }
      v.x += fSpeed * fDT;
    }
    v.z += fStreetStep;
    ClTexAnimObj& anim = m_daEnemyAnim[i];
    if (m_daEnemyState[i] == E_CATFPS_ENEMY_HIT && !isPlaying(anim)) {
      m_daEnemyState[i] = E_CATFPS_ENEMY_DEAD;
      if (const char* pDead = gc_aCatFPSKinds[m_daEnemyKind[i]].pDead) {
        play(&anim, pDead, E_FLIPBOOK_MODE_ONCE);
      }
    }
    anim.update(gc_uiCLOCK_GAMEPLAY);
  }
  updateBloodDrops(fDT);
  updateGibs(fDT);
  auto behind = [](const kv_vector4& v) { return v.z > gc_fSTREET_KEEP_Z; };
  eraseWhere(m_daStandingPos, m_daStandingEntry, behind);
  for (i32 i = 0; i < m_daStandingPos.getCount(); ++i) m_daStandingPos[i].z += fStreetStep;
  eraseWhere(m_daGroundPos, m_daGroundEntry, behind);
  for (i32 i = 0; i < m_daGroundPos.getCount(); ++i) m_daGroundPos[i].z += fStreetStep;
  m_fStreetCountdown -= fStreetStep;
  if (m_fStreetCountdown <= 0.0f) {
    layStreet(-gc_fCATFPS_BLOCK_SPACING - m_fStreetCountdown);
    m_fStreetCountdown += gc_fCATFPS_BLOCK_SPACING;
  }
}

i32 ClGameModeCatFPS::tick(f32 fDT) {
  if (g_bReturnToFrontEnd != 0) {
    m_bFinished = 1;
  }
  if (ClInputManager::m_bInitialized && !ClGameStateMgr::isInputBlocked() &&
      ClInputManager::isActionJustPressed(ClInputManager::getActions(0)[E_GAME_ACTION_PAUSE]) &&
      GAMEGetRootValue("PauseFromCatFPS", 0) == 0) {
    pauseStage();
  }
  ClGame::tickClocks(fDT);
  if (GAMEGetRootValue("PauseGame", 0) != 0) {
    ClClock::holdFrame(gc_uiCLOCK_GAMEPLAY);
    fDT = 0.0f;
  }
  if (m_streetSpeed.mp_iPlayKind != 0 && m_streetSpeed.mp_bRunning != 0) {
    m_streetSpeed.update(fDT);
  }
  for (ClTexAnimObj* pAnim : {&m_gunFire, &m_van1AC, &m_van2Shutters, &m_van3Roof, &m_casingsL, &m_casingsR}) {
    pAnim->update(gc_uiCLOCK_GAMEPLAY);
  }
  simulate(fDT);
  const f32 fBob = 0.2f * m_fShake * std::sin(20.0f * m_fShake);
  m_camera.setDirectionAndPosition(m_vViewDir.xyz(), {0.9f * m_fAimOffset, 6.0f + fBob, 0.0f});
  m_fShake = m_fShake - 4.0f * fDT > 0.0f ? m_fShake - 4.0f * fDT : 0.0f;
  ClDynamicGeometry::beginFrame();
  drawForeground();
  drawBullets();
  drawEnemies();
  drawBloodDrops();
  drawGibs();
  drawCrosshair();
  drawStandingPieces();
  drawGroundTiles();
  drawScenery();
  drawIntroAndFades();
  m_fPhaseTime += fDT;
  if (m_fPhaseTime > 1.0f && m_bFadingIn != 0) {
    m_bFadingIn = 0;
  }
  if (m_fPhaseTime > gc_fCATFPS_PLAY_TIME && m_bEnding == 0) {
    m_fPhaseTime = 0.0f;
    m_bEnding = 1;
    ClAudioManager::stopCue(&m_hTurretLoop, gc_fCATFPS_ENDING_TIME);
    ClAudioManager::stopCue(&m_hGunCue, gc_fCATFPS_ENDING_TIME);
  }
  if (m_fPhaseTime > gc_fCATFPS_ENDING_TIME && m_bEnding != 0) {
    m_bEnding = 0;
    m_bFadingIn = 1;
    m_fPhaseTime = 0.0f;
    g_eNextGameMode = E_GAME_MODE_FMV;
    KvStrLCpy(g_acFMVName, "Final", sizeof(g_acFMVName));
    g_iFMVNextGameMode = E_GAME_MODE_FRONTEND;
    m_bFinished = 1;
    m_bLeaveForResults = 1;
    GAMESetRootValue("CatResults", 1);
  }
  if (g_pPlayerProfileData != nullptr && g_pPlayerProfileData->m_bCRTEffect != 0) {
    ClUI::renderAtlasEntry(KvStrHash("TexturesUIAtlas"), KvStrHash("IM-CRT-Overlay_216"),
                           KvStrHash("system_blend_premult"), 0xFFFFFFFFu, KvStrHash("UBER"), 2699, 0.0f, 0.0f,
                           gc_ui2D_ALIGN_TOP_LEFT, gc_ui2D_ALIGN_TOP_LEFT, 1.0f);
  }
  ClUI::update();
  ClUI::render();
  ClGraphics::updateAndEndFrame();
  if (m_bLeaveForResults != 0) {
    m_bLeaveForResults = 0;
    m_bFinished = 1;
    GAMESetRootValue("StartGame", 0);
  }
  return static_cast<i32>(m_bFinished);
}

void ClGameModeCatFPS::drawIntroAndFades() {
  // The intro text is left out under the pause menu, fading out included, which would have it showing beside and
  // through its buttons.
  if (m_fPhaseTime < 4.0f && m_bEnding == 0 && !GAMEScreenOverPlay("EmptyScreen")) {
    wchar16 auiText[768];
    const wchar16* pText = KvLangID::getString("catmode_start");
    i32 i = 0;
    for (; pText[i] != 0 && i < 767; ++i) auiText[i] = pText[i];
    auiText[i] = 0;
    static const STextElement s_element = {KvStrHash("FULL"), 0, KvStrHash("FontAcknowledge")};
    STextDrawArgs args = {};
    args.mp_uiShaderHash = KvStrHash("system_blend_premult");
    args.mp_uLayer = 2000;
    args.mp_uiScreenFlags = 9;
    args.mp_uiAnchorFlags = 18;
    args.mp_uiAlignment = 2;
    args.mp_uiColor = 0xFFFFFFFFu;
    args.mp_afShadowOffset[0] = 1.0f;
    args.mp_afShadowOffset[1] = 1.0f;
    args.mp_uiShadowColor = 0x99000000u;
    const f32 afPosition[2] = {225.0f, 125.0f};
    ClUI::renderTextElement(s_element, auiText, 36, args, false, 0.0f, 0.0f, afPosition);
  }
  if (m_bFadingIn != 0 && m_bEnding == 0) {
    const f32 fAlpha = (1.0f - m_fPhaseTime) * 255.0f;
    const u32 uiColor = static_cast<u32>(fAlpha > 0.0f ? fAlpha : 0.0f) << 24;
    const kv_vector2 vPosition = {0.0f, 0.0f};
    ClHLDrawUI::drawColoredRect(&uiColor, &vPosition, 600.0f, 300.0f);
  }
  if (m_bEnding != 0) {
    const f32 fRatio = m_fPhaseTime / gc_fCATFPS_ENDING_TIME;
    const f32 fAlpha = fRatio * fRatio < 1.0f ? fRatio * fRatio : 1.0f;
    const u32 uiColor = (static_cast<u32>(fAlpha * 255.0f) << 24) | 0x00FFFFFFu;
    ClUI::renderShaderQuad(KvStrHash("system_blend_color"), uiColor, KvStrHash("UBER"), 0.0f, 0.0f, 1920.0f, 1080.0f);
  }
}

void ClGameModeCatFPS::terminateVectors() {
  for (ClDynamicVector<kv_vector4>* p : {&m_daBulletPos, &m_daBulletDir, &m_daEnemyPos, &m_daDropPos, &m_daDropVel,
                                         &m_daGibPos, &m_daGibVel, &m_daStandingPos, &m_daGroundPos, &m_daSceneryPos}) {
    p->terminate();
  }
  for (ClDynamicVector<ClTexAnimObj>* p : {&m_daEnemyAnim, &m_daDropAnim, &m_daGibAnim}) {
    for (i32 i = 0; i < p->getCount(); ++i) {
      (*p)[i].mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
    }
    p->terminate();
  }
  for (ClDynamicVector<const SAtlasEntry*>* p :
       {&m_daDropSplat, &m_daStandingEntry, &m_daGroundEntry, &m_daSceneryEntry}) {
    p->terminate();
  }
  m_daEnemySpeed.terminate();
  m_daGibAngle.terminate();
  m_daEnemyState.terminate();
  m_daEnemyKind.terminate();
}

i32 ClGameModeCatFPS::exit() {
  ClAudioManager::stopCue(&m_hTurretLoop, 0.0f);
  ClAudioManager::stopCue(&m_hGunCue, 0.0f);
  m_gunFire.mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
  terminateVectors();
  // The gameplay mapper pushed on enter (the pause screen's resume has put it back on top): left on the stack,
  // every run would take one of its 32 places.
  ClGameStateMgr::popInputMapper(0);
  return 1;
}
