// The player's record, lifecycle, state machine, lanes, damage and drawing.
#include "Code/Objects/ClEntityPlayer.h"

#include "Code/Objects/GAMEGoreFx.h"

#include <cmath>
#include <cstdio>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Input/ClRumbleMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

i32 g_bSkipStateStep = 0;

namespace {

constexpr f32 gc_fRUN_SPEED = 100.0f;
constexpr f32 gc_fLANE_SPEED = 400.0f;
constexpr f32 gc_fDAMAGE_GRACE = 1.5f;

bool isSurvivor() { return GameTypes::isSurvivor(g_iGameType); }

bool levelEnding() { return g_bResultsShown != 0 || g_bLevelWon != 0 || g_bFadeOut != 0; }

const ClFlipBookAnimator& animator(const ClTexAnimObj& anim) { return anim.mp_curAnimators.mp_flipBookAnimator; }

}  // namespace

ClEntityPlayer::ClEntityPlayer() { m_eKind = E_ENTITY_KIND_PLAYER; }

ClEntityPlayer::~ClEntityPlayer() = default;

void ClEntityPlayer::initialize(f32, f32, f32, f32, i32, i32, i32) {
  KV_FATALF("Port this code to the Win32 (NOW!!!) -> [%s] in [%s], Line [%d]!", "ClEntityPlayer::initialize",
            __FILE__, __LINE__);
}

f32 ClEntityPlayer::stateDeltaTime() const {
  const u32 uiClock = m_eState >= E_PLAYER_STATE_BOLT ? gc_uiCLOCK_SYSTEM : gc_uiCLOCK_GAMEPLAY;
  return ClClock::m_aClockFrames[uiClock].m_fFrameTime;
}

void ClEntityPlayer::playMove(const char* pKey, i32 iMode) {
  KV_ASSERT_MSG(g_pEntityPlayerScript != nullptr, "EntityPlayer script not loaded");
  const ClDScriptData2* pValue = g_pEntityPlayerScript->getChild(m_strAnimSet.getCStr())->getChild(pKey);
  KV_ASSERT_MSG(pValue->getType() == E_DSVT_STRING || pValue->getType() == E_DSVT_HASH_ID,
                "mp_eValueType == E_DSVT_STRING || mp_eValueType == E_DSVT_HASH_ID");
  m_mainAnim.playFlipBook(ClFlipBookMgr::getFlipBook(pValue->getString()), iMode, 0, 0.0f);
}

void ClEntityPlayer::reset(const f32* pPosition, i32) {
  m_eKind = E_ENTITY_KIND_PLAYER;
  m_bGone = 0;
  m_iLane = 1;
  m_bStar = 0;
  m_fHitRadiusSq = gc_fENTITY_HIT_RADIUS_SQ;
  m_bHittable = 1;
  m_fGraceTime = 0.0f;
  m_iHitPoints = 3;
  m_bReplaced = 0;
  m_iHitAllFrames = 0;
  m_fStateTime = 0.0f;
  for (i32 i = 0; i < 4; ++i) {
    m_vPosition[i] = pPosition[i];
  }
  m_vPosition[1] = KvLaneLine(1);
  if (isSurvivor()) {
    m_iHitPoints = g_iPlayerHealth;
  }
  m_eWeapon = E_PLAYER_WEAPON_NONE;
  m_fWeaponLeft = 0.0f;
  setWeaponRow(E_PLAYER_WEAPON_NONE);
  m_iSledgehammerKills = 0;
  if (m_eState == E_PLAYER_STATE_RUNNING) {
    setRunningOrDeath();
  }
  if (isSurvivor()) {
    if (g_iCarriedWeaponKind == E_PLAYER_WEAPON_AXE) {
      takeAxe(0);
    } else if (g_iCarriedWeaponKind == E_PLAYER_WEAPON_MACHETE) {
      takeMachete(0);
    } else if (g_iCarriedWeaponKind == E_PLAYER_WEAPON_SLEDGEHAMMER) {
      takeSledgehammer(0);
    }
    // Five seconds' worth of extra charge on top of what the wave carried over.
    m_fWeaponLeft = 5.0f * m_fWeaponDrain + (g_fCarriedWeaponTime > 0.0f ? g_fCarriedWeaponTime : m_fWeaponLeft);
  }
  m_bUpperBody = 0;
  m_fFireTimer = 0.0f;
  setRunningOrDeath();
  releaseChainsawSound();
  m_bNotHitThisLevel = 1;
  m_bNoKillThisLevel = 1;
  m_bNoLaneChangeThisLevel = 1;
  m_bNoTargetMarkerThisLevel = 1;
  m_iSledgehammerKills = 0;
  m_iProjectileKills = 0;
  m_iSpecialKills = 0;
}

void ClEntityPlayer::update() {
  if (m_bReplaced != 0) {
    return;
  }
  stepState();
  g_iPlayerDistance = static_cast<i32>(m_vPosition[0]);
  m_mainAnim.update(gc_uiCLOCK_GAMEPLAY);
  m_effectAnim.update(gc_uiCLOCK_GAMEPLAY);
  const f32 dt = ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
  m_fGraceTime -= dt;
  if (m_fGraceTime < 0.0f && m_iHitPoints > 0 && m_bHittable == 0) {
    m_iSpecialKills = 0;
    m_bHittable = 1;
  }
  --m_iHitAllFrames;
  if (m_iHitAllFrames > 0) {
    hitAllEnemies();
  }
  if (m_eWeapon != E_PLAYER_WEAPON_NONE &&
      (m_eState < E_PLAYER_STATE_CHAINSAW || m_eState > E_PLAYER_STATE_TSHIRT_CANNON)) {
    drainWeapon();
  }
  if (m_bUpperBody != 0) {
    m_upperBody.update(gc_uiCLOCK_GAMEPLAY);
  }
  updateChainsawSound();
  if (WorldServices::get().targetMarkerOption()) {
    m_bNoTargetMarkerThisLevel = 0;
  }
}

void ClEntityPlayer::stepState() {
  if (g_bSkipStateStep != 0) {
    g_bSkipStateStep = 0;
    return;
  }
  switch (m_eState) {
    case E_PLAYER_STATE_RUNNING: handleRunning(); break;
    case E_PLAYER_STATE_HIGH_PUNCH: updatePunch('H', 0); break;
    case E_PLAYER_STATE_LOW_PUNCH: updatePunch('L', 0); break;
    case E_PLAYER_STATE_UPPERCUT: updatePunch('U', 0); break;
    case E_PLAYER_STATE_HIT: handleHit(); break;
    case E_PLAYER_STATE_CHAINSAW: updateChainsaw(); break;
    case E_PLAYER_STATE_CROSSBOW: updateCrossbow(); break;
    case E_PLAYER_STATE_TSHIRT_CANNON: updateTShirtCannon(); break;
    case E_PLAYER_STATE_LEFT_PUNCH: updatePunch('C', 1); break;
    case E_PLAYER_STATE_DEATH: handleDeath(); break;
    case E_PLAYER_STATE_BOLT: updateBolt(); break;
    case E_PLAYER_STATE_NINJA: updateNinja(); break;
    case E_PLAYER_STATE_DRAGON: updateDragon(); break;
    case E_PLAYER_STATE_LEVEL_END: handleLevelEnd(); break;
    default: KV_FATALF("Unhandled player state [%d]", m_eState);
  }
}

void ClEntityPlayer::handleRunning() {
  if (readAttackInput() == 0) {
    m_vPosition[0] += gc_fRUN_SPEED * stateDeltaTime();
  }
  moveLanes(1);
}

void ClEntityPlayer::handleHit() {
  if (animator(m_mainAnim).m_bPlaying != 0) {
    m_vPosition[0] -= gc_fRUN_SPEED * stateDeltaTime();
    moveLanes(0);
    return;
  }
  setRunningOrDeath();
  stepState();
}

void ClEntityPlayer::handleDeath() {
  const ClFlipBookAnimator& body = animator(m_mainAnim);
  if (body.m_bPlaying != 0 && body.m_pFlipBook != nullptr && body.getCurrentFrameIndex() != body.getNumFrames() - 1) {
    m_vPosition[0] -= 50.0f * stateDeltaTime();
  }
}

bool ClEntityPlayer::commandJustPressed(i32 iCommand) const {
  if (ClInputManager::m_apGameSpecificInputs[ClInputManager::m_auiPadMap[0]] == nullptr) {
    return false;  // no input manager: nothing is pressed
  }
  return ClInputManager::isActionJustPressed(ClInputManager::getActions(0)[iCommand]);
}

i32 ClEntityPlayer::readAttackInput() {
  if (!ClGameStateMgr::isInputBlocked()) {
    void (ClEntityPlayer::*pStart)() = nullptr;
    if (commandJustPressed(E_GAME_ACTION_LEFT_PUNCH)) {
      pStart = &ClEntityPlayer::startLeftPunch;
    } else if (commandJustPressed(E_GAME_ACTION_LOW_PUNCH)) {
      pStart = &ClEntityPlayer::startLowPunch;
    } else if (commandJustPressed(E_GAME_ACTION_HIGH_PUNCH)) {
      pStart = &ClEntityPlayer::startHighPunch;
    } else if (commandJustPressed(E_GAME_ACTION_UPPERCUT)) {
      pStart = &ClEntityPlayer::startUppercut;
    }
    if (pStart != nullptr) {
      g_bSkipStateStep = 1;
      (this->*pStart)();
      stepState();
      ClRumbleMgr::startRumble();
      return 1;
    }
  }
  if (g_fSuperMeter >= 1.0f && commandJustPressed(E_GAME_ACTION_SUPER_WEAPON)) {
    if (isSurvivor() && g_fTimeLeft <= 1.0f) {
      return 0;
    }
    static constexpr i32 s_aiStates[3] = {E_PLAYER_STATE_CHAINSAW, E_PLAYER_STATE_CROSSBOW,
                                          E_PLAYER_STATE_TSHIRT_CANNON};
    if (g_iSuperWeaponKind < 0 || g_iSuperWeaponKind > 2 || m_eState == s_aiStates[g_iSuperWeaponKind]) {
      return 0;
    }
    if (g_iSuperWeaponKind == 0) {
      startChainsaw();
    } else if (g_iSuperWeaponKind == 1) {
      startCrossbow();
    } else {
      startTShirtCannon();
    }
    stepState();
    return 1;
  }
  if (g_iMagicCharges >= 1 && commandJustPressed(E_GAME_ACTION_MAGIC)) {
    if (!(isSurvivor() && g_fTimeLeft <= 1.0f)) {
      startMagic();
    }
  }
  return 0;
}

void ClEntityPlayer::moveLanes(i32 bAllowInput) {
  if (bAllowInput != 0 && !ClGameStateMgr::isInputBlocked()) {
    if (commandJustPressed(E_GAME_ACTION_LANE_UP)) {
      m_iLane = m_iLane > 0 ? m_iLane - 1 : 0;
      m_bNoLaneChangeThisLevel = 0;
    } else if (commandJustPressed(E_GAME_ACTION_LANE_DOWN)) {
      m_iLane = m_iLane < 2 ? m_iLane + 1 : 2;
      m_bNoLaneChangeThisLevel = 0;
    }
  }
  const f32 fTarget = KvLaneLine(m_iLane);
  const f32 fStep = gc_fLANE_SPEED * ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
  if (m_vPosition[1] < fTarget) {
    m_vPosition[1] = std::fmin(m_vPosition[1] + fStep, fTarget);
  } else if (m_vPosition[1] > fTarget) {
    m_vPosition[1] = std::fmax(m_vPosition[1] - fStep, fTarget);
  }
}

void ClEntityPlayer::setRunningOrDeath() {
  ClWorldServices& services = WorldServices::get();
  if (m_eState >= E_PLAYER_STATE_CHAINSAW && m_eState <= E_PLAYER_STATE_TSHIRT_CANNON) {
    if (m_eWeapon != E_PLAYER_WEAPON_NONE) {
      services.playSuperWeaponLoop();
    } else {
      services.stopPowerUpStinger();
    }
  }
  if (m_eState == E_PLAYER_STATE_CHAINSAW) {
    startChainsawEndTimer();
  }
  if (m_eWeapon != E_PLAYER_WEAPON_NONE && isSurvivor() && g_fTimeLeft < 0.0f) {
    services.stopSuperWeaponLoop();
  }
  if (m_iHitPoints > 0) {
    playMove("Running", E_FLIPBOOK_MODE_LOOP);
    m_eState = E_PLAYER_STATE_RUNNING;
    m_bUpperBody = 0;
  } else {
    playMove("Death", E_FLIPBOOK_MODE_ONCE);
    m_eState = E_PLAYER_STATE_DEATH;
    m_fGraceTime = 0.0f;
  }
}

void ClEntityPlayer::die() {
  WorldServices::get().playCue(KvStrHash("PlayerDeath"));
  playMove("Death", E_FLIPBOOK_MODE_ONCE);
  m_eState = E_PLAYER_STATE_DEATH;
  m_fGraceTime = 0.0f;
}

bool ClEntityPlayer::loseHitPoint(i32 bHeavyBlood) {
  if (levelEnding() || m_iHitPoints <= 0) {
    return false;
  }
  --g_iPlayerHealth;
  --m_iHitPoints;
  m_bHittable = 0;
  m_fGraceTime = gc_fDAMAGE_GRACE;
  spawnBloodSplatter(m_vPosition[0], m_vPosition[1] + m_vPosition[2], bHeavyBlood);
  return true;
}

void ClEntityPlayer::takeDamage() {
  if (!loseHitPoint(0)) {
    return;
  }
  m_bNotHitThisLevel = 0;
  m_eState = E_PLAYER_STATE_HIT;
  if (m_iHitPoints == 0) {
    die();
  } else {
    playMove("Hit", E_FLIPBOOK_MODE_ONCE);
    WorldServices::get().playVoiceOver(0);
    if (g_fMultiplier > 1.0f) {
      WorldServices::get().playCue(KvStrHash("MultiplierDown"));
    }
  }
  g_iKillStreak = 0;
}

void ClEntityPlayer::takeDamageNoReaction() {
  if (!loseHitPoint(1)) {
    return;
  }
  if (m_iHitPoints == 0) {
    die();
  } else if (g_fMultiplier > 1.0f) {
    WorldServices::get().playCue(KvStrHash("MultiplierDown"));
  }
  g_iKillStreak = 0;
}

void ClEntityPlayer::spawnBloodSplatter(f32 fX, f32 fY, i32 bHeavy) {
  GoreFx::spawnBloodSplatter(fX, fY, bHeavy != 0);
}

void ClEntityPlayer::startLevelEndRun() {
  if (m_eState >= E_PLAYER_STATE_CHAINSAW && m_eState <= E_PLAYER_STATE_TSHIRT_CANNON) {
    WorldServices::get().stopPowerUpStinger();
  } else if (m_eWeapon != E_PLAYER_WEAPON_NONE) {
    WorldServices::get().stopSuperWeaponLoop();
  }
  if (m_eState == E_PLAYER_STATE_CHAINSAW) {
    startChainsawEndTimer();
  }
  m_iSpecialKills = 0;
  m_eState = E_PLAYER_STATE_LEVEL_END;
  m_fStateTime = 0.0f;
  m_bUpperBody = 0;
}

void ClEntityPlayer::handleLevelEnd() {
  const f32 dt = stateDeltaTime();
  if (m_fStateTime <= 0.0f) {
    playMove("Running", E_FLIPBOOK_MODE_ONCE);
  }
  m_bHittable = 0;
  m_fGraceTime = 1.6f;
  if (m_fStateTime < 0.1f) {
    m_vPosition[0] += dt * 90.0f / 0.1f;
    m_mainAnim.update(gc_uiCLOCK_SYSTEM);
    if (m_fStateTime + dt >= 0.1f) {
      m_mainAnim.playFlipBook(ClFlipBookMgr::getFlipBook("BoltMaxPose"), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
    }
  } else if (m_fStateTime < 5.0f) {
    m_mainAnim.update(gc_uiCLOCK_SYSTEM);
  }
  m_fStateTime += dt;
}

void ClEntityPlayer::draw(u32 uiOrderIndex) {
  if (g_fSuperMeter > 0.0f && g_fSuperMeter < 0.4f &&
      (static_cast<i64>(ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_dTotalTime * 10.0) & 1) != 0) {
    return;
  }
  if (m_bReplaced != 0 || (m_eState == E_PLAYER_STATE_NINJA && m_fStateTime >= 0.9f)) {
    return;
  }
  const bool bSpecial = m_eState >= E_PLAYER_STATE_BOLT && m_eState <= E_PLAYER_STATE_DRAGON;
  if (m_fGraceTime > 0.0f && !bSpecial) {
    const f32 fBlink = m_fGraceTime * 7.5f;
    if (fBlink - std::floor(fBlink) < 0.5f) {
      return;
    }
  }
  drawTargetMarker(uiOrderIndex);
  m_bStar = (m_eState >= E_PLAYER_STATE_CHAINSAW && m_eState <= E_PLAYER_STATE_TSHIRT_CANNON) ? 1 : 0;
  ClEntity::draw(uiOrderIndex);
  if (m_bUpperBody != 0) {
    drawUpperBody(uiOrderIndex);
  }
  drawShadow(2);
}

void ClEntityPlayer::drawTargetMarker(u32 uiOrderIndex) {
  if (levelEnding() || m_bUpperBody != 0 || !WorldServices::get().targetMarkerOption()) {
    return;
  }
  switch (m_eState) {
    case E_PLAYER_STATE_CHAINSAW:
    case E_PLAYER_STATE_DEATH:
    case E_PLAYER_STATE_BOLT:
    case E_PLAYER_STATE_NINJA:
    case E_PLAYER_STATE_DRAGON:
      return;
    default:
      break;
  }
  static const char* const s_apIcons[4] = {"PlayerTarget_216", "PlayerTargetSledgehammer_216",
                                           "PlayerTargetMachete_216", "PlayerTargetChainsaw_216"};
  const i32 iIcon = m_eTargetIcon >= 0 && m_eTargetIcon <= 3 ? m_eTargetIcon : 0;
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(s_apIcons[iIcon]));
  if (pEntry == nullptr) {
    return;  // the atlas reports its own missing images
  }
  SWorldQuad quad;
  quad.mp_pEntry = pEntry;
  quad.m_vPosition = {WorldDraw::snap(m_vPosition[0] + m_fReach), WorldDraw::snap(m_vPosition[1] - 27.0f)};
  quad.m_vPivot = {pEntry->mp_pAtlasTexInfo->mp_fWidth * 0.5f, pEntry->mp_pAtlasTexInfo->mp_fHeight * 0.5f};
  quad.m_fScale = 0.5f;
  quad.m_uiColor = 0x7FFFFFFF;
  quad.m_uiShaderHash = KvStrHash("system_blend_premult");
  quad.m_fDepth = static_cast<f32>(uiOrderIndex) * 0.1f + (100.0f - m_vPosition[1]) - 1.0f;
  WorldDraw::submit(quad);
}

void ClEntityPlayer::drawUpperBody(u32 uiOrderIndex) {
  if (animator(m_upperBody).getFlipBook() == nullptr) {
    return;
  }
  const SFlipBookFrame* pFrame = m_upperBody.getCurFrame();
  SWorldQuad quad;
  quad.mp_pEntry = pFrame->mp_pImage;
  quad.m_vPosition = {WorldDraw::snap(m_vPosition[0]), WorldDraw::snap(m_vPosition[1] + m_vPosition[2])};
  quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
  quad.m_uiShaderHash = KvStrHash(m_bStar != 0 ? "vosk_star_world" : "system_blend_premult");
  quad.m_fDepth = static_cast<f32>(uiOrderIndex) * 0.1f + (100.0f - m_vPosition[1]) - 2.0f;
  WorldDraw::submit(quad);
}

void ClEntityPlayer::clear() {
  ClEntity::clear();
  m_upperBody.mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
  m_strAnimSet = "";
  releaseChainsawSound();
  if (m_eState >= E_PLAYER_STATE_BOLT && m_eState <= E_PLAYER_STATE_DRAGON) {
    releaseMagicEffects();
  }
}
