// Set-up, states, properties and reactions of enemies.
#include "Code/Objects/ClEntityEnemy.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvStrHashConst.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDataScriptEvaluator.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"

ClDScriptData2* g_pEntityEnemyScript = nullptr;
ClEntityEnemy* (*ClEntityEnemy::sp_pStarInner)(ClEntity*) = nullptr;

namespace {

// The name a STRING or HASH_ID value gives.
const char* valueText(const ClDScriptData2* pNode) { return pNode->getString(); }

void readVector3(const ClDScriptData2* pNode, f32* pOut) {
  const kv_vector3 v = pNode->getVector3();
  pOut[0] = v.x;
  pOut[1] = v.y;
  pOut[2] = v.z;
}

}  // namespace

ClEntityEnemy::ClEntityEnemy() { m_eKind = E_ENTITY_KIND_ENEMY; }

bool ClEntityEnemy::typeContains(const char* pText) const {
  return std::strstr(m_typeName.getCStr(), pText) != nullptr;
}

ClEntityEnemy* ClEntityEnemy::hitTarget(ClEntity* pEntity) {
  if (pEntity->m_eKind == E_ENTITY_KIND_ENEMY) {
    return static_cast<ClEntityEnemy*>(pEntity);
  }
  if (pEntity->m_eKind == E_ENTITY_KIND_STAR_ENEMY && sp_pStarInner != nullptr) {
    return sp_pStarInner(pEntity);
  }
  return nullptr;
}

void ClEntityEnemy::resetFields() {
  m_fXOffset = 0.0f;
  m_fOrderOffset = 0.0f;
  for (i32 i = 0; i < 3; ++i) {
    m_vVelocity[i] = 0.0f;
    m_vTargetVelocity[i] = 0.0f;
    m_vAcceleration[i] = 0.0f;
  }
  m_bUseTargetVelocity = 0;
  m_fHitPoints = 1.0f;
  setHitMask("LHUCEB");
  m_fShield = 0.0f;
  m_iScore = 0;
  m_bRotate = 0;
  m_bMirror = 0;
  m_bCanHitPlayer = 1;
  m_cHitType = 0;
  m_iShadow = 1;
  m_fInsultOffset = 0.0f;
  m_fInsultRadius = 0.0f;
  m_bLeftScreen = 0;
  m_fRotationTime = 0.0f;
  m_bHitReceived = 0;
  m_cHitLetter = 0;
  m_fHitGrade = 0.0f;
  m_fDistanceHorizontal = 0.0f;
  m_fDistanceVertical = 0.0f;
  m_fStateDamage = 0.0f;
  m_bHitGround = 0;
  m_fDuration = 0.0f;
  m_bDisplayTrail = 0;
  m_bReplacePlayer = 0;
  m_fToPlayerTarget = 0.0f;
  m_bStarLook = 0;
  m_bBulletHit = 0;
  m_bTShirtHit = 0;
  m_bGibsSpawned = 0;
  m_bHittingPlayer = 0;
}

ClDScriptData2* ClEntityEnemy::getScriptNode(const char* pTypeName) {
  KV_ASSERT_MSG(g_pEntityEnemyScript != nullptr, "EntityEnemy script not loaded");
  return g_pEntityEnemyScript->getChild(pTypeName);
}

void ClEntityEnemy::setup(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iLane, const char* pTypeName) {
  m_typeName = pTypeName;
  mp_pTypeNode = getScriptNode(pTypeName);
  resetFields();
  playAnimation("Running", E_FLIPBOOK_MODE_LOOP);
  loadProperties(mp_pTypeNode);
  initialize(fX, fY, fZ, fW, E_ENTITY_KIND_ENEMY, m_iValue, iLane);
  const ClDScriptData2* pFirst = mp_pTypeNode->findChild("State");
  setState(pFirst != nullptr ? valueText(pFirst) : "default");
  m_vPosition[0] += m_mainAnim.getCurFrame()->mp_fAnchorX;
  m_vPosition[1] = KvLaneLine(iLane);
  m_bFromLeft = 0;
  if (m_vTargetVelocity[0] > 0.0f) {
    m_bFromLeft = 1;
    m_vPosition[0] = g_fWorldCameraX - 100.0f;
    m_indicatorAnim.playFlipBook(ClFlipBookMgr::getFlipBook("EnemyLeftIndicator"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  }
  m_fInitialHitPoints = m_fHitPoints;
  if (typeIs("EnemyPistolBullet") || typeIs("EnemyRifleBullet")) {
    m_fHitRadiusSq = 9.0f;
  }
}

void ClEntityEnemy::setHitMask(const char* pText) {
  const size_t uiLength = std::strlen(pText);
  if (uiLength > static_cast<size_t>(gc_iENEMY_HIT_MASK_LEN)) {
    std::fprintf(stderr, "EntityEnemy [%s]: HitMask \"%s\" has more than %d letters; the rest is dropped\n",
                 m_typeName.getCStr(), pText, gc_iENEMY_HIT_MASK_LEN);
  }
  const size_t uiKeep = uiLength < static_cast<size_t>(gc_iENEMY_HIT_MASK_LEN) ? uiLength : gc_iENEMY_HIT_MASK_LEN;
  std::memcpy(m_szHitMask, pText, uiKeep);
  std::memset(m_szHitMask + uiKeep, 0, sizeof(m_szHitMask) - uiKeep);
  m_bHitMaskSet = uiKeep != 0 ? 1 : 0;
}

void ClEntityEnemy::playAnimation(const char* pName, i32 iMode) {
  const ClDScriptData2* pEntry = mp_pTypeNode->getChild("Animations")->getChild(pName);
  const char* pFlipBook = nullptr;
  m_bMirror = 0;
  if (pEntry->getType() == E_DSVT_ARRAY) {
    pFlipBook = pEntry->getChildAt(0)->getString();
    if (const ClDScriptData2* pMirror = pEntry->findChild("Mirror")) {
      m_bMirror = pMirror->getInt();
    }
  } else {
    pFlipBook = pEntry->getString();
  }
  m_mainAnim.playFlipBook(ClFlipBookMgr::getFlipBook(pFlipBook), iMode, 0, 0.0f);
}

namespace {
// A key of a state, action or type node by its hash (made by the compiler): properties load whenever an action runs.
const ClDScriptData2* key(const ClDScriptData2* pNode, u32 uiHash) { return pNode->findChildByHash(uiHash); }
}  // namespace

void ClEntityEnemy::loadProperties(const ClDScriptData2* pNode) {
  const ClDScriptData2* pKey = nullptr;
  if ((pKey = key(pNode, KvStrHashConst("XOffset"))) != nullptr) m_fXOffset = pKey->getFloatExact();
  if ((pKey = key(pNode, KvStrHashConst("OrderOffset"))) != nullptr) m_fOrderOffset = pKey->getFloatExact();
  if ((pKey = key(pNode, KvStrHashConst("Velocity"))) != nullptr) readVector3(pKey, m_vVelocity);
  if ((pKey = key(pNode, KvStrHashConst("UseTargetVelocity"))) != nullptr) m_bUseTargetVelocity = pKey->getInt();
  if ((pKey = key(pNode, KvStrHashConst("TargetVelocity"))) != nullptr) readVector3(pKey, m_vTargetVelocity);
  if ((pKey = key(pNode, KvStrHashConst("InsultOffset"))) != nullptr) m_fInsultOffset = pKey->getFloatExact();
  if ((pKey = key(pNode, KvStrHashConst("InsultRadius"))) != nullptr) m_fInsultRadius = pKey->getFloatExact();
  if ((pKey = key(pNode, KvStrHashConst("Acceleration"))) != nullptr) readVector3(pKey, m_vAcceleration);
  if ((pKey = key(pNode, KvStrHashConst("HitPoints"))) != nullptr) m_fHitPoints = pKey->getFloatExact();
  if ((pKey = key(pNode, KvStrHashConst("InitialSound"))) != nullptr) {
    WorldServices::get().playLimitedCue(KvStrHash(valueText(pKey)));
  }
  if ((pKey = key(pNode, KvStrHashConst("HitMask"))) != nullptr) setHitMask(valueText(pKey));
  if ((pKey = key(pNode, KvStrHashConst("EnemyHitType"))) != nullptr) m_cHitType = valueText(pKey)[0];
  if ((pKey = key(pNode, KvStrHashConst("Shield"))) != nullptr) m_fShield = pKey->getFloatExact();
  if ((pKey = key(pNode, KvStrHashConst("Score"))) != nullptr) m_iScore = pKey->getInt();
  if ((pKey = key(pNode, KvStrHashConst("Animation"))) != nullptr) playAnimation(valueText(pKey), E_FLIPBOOK_MODE_LOOP);
  if ((pKey = key(pNode, KvStrHashConst("AnimationPlayOnce"))) != nullptr) {
    playAnimation(valueText(pKey), E_FLIPBOOK_MODE_ONCE);
  }
  if ((pKey = key(pNode, KvStrHashConst("AnimationPlayPaused"))) != nullptr) {
    playAnimation(valueText(pKey), E_FLIPBOOK_MODE_ONCE);
    m_mainAnim.mp_curAnimators.mp_flipBookAnimator.pause();
  }
  if ((pKey = key(pNode, KvStrHashConst("CanHitPlayer"))) != nullptr) m_bCanHitPlayer = pKey->getInt();
  // An action's "Rotate" is a FLOAT that the action rows handle; only the INT form is the property.
  if ((pKey = key(pNode, KvStrHashConst("Rotate"))) != nullptr && pKey->getType() == E_DSVT_INT) {
    m_bRotate = pKey->getInt();
  }
  if ((pKey = key(pNode, KvStrHashConst("DisplayTrail"))) != nullptr) {
    m_bDisplayTrail = pKey->getInt();
    const SEnemyTrailSample pose{m_vPosition[0], m_vPosition[1] + m_vPosition[2], m_mainAnim.getCurFrame(),
                                 m_bRotate != 0 ? m_fRotationTime : 0.0f};
    m_aTrail[0] = pose;
    m_aTrail[1] = pose;
  }
  if ((pKey = key(pNode, KvStrHashConst("ReplacePlayer"))) != nullptr) m_bReplacePlayer = pKey->getInt();
  m_fToPlayerTarget = 0.0f;
  if ((pKey = key(pNode, KvStrHashConst("ToPlayerTarget"))) != nullptr) m_fToPlayerTarget = pKey->getFloatExact();
  if ((pKey = key(pNode, KvStrHashConst("Shadow"))) != nullptr) m_iShadow = pKey->getInt();
}

void ClEntityEnemy::setState(const char* pStateName) {
  // Copy first: the name may be this enemy's own state name.
  const String newName(pStateName);
  const char* pState = newName.getCStr();
  const auto is = [pState](const char* pName) { return std::strcmp(pState, pName) == 0; };
  const bool bPlayerFree = g_pPlayer != nullptr && g_pPlayer->m_eState != E_PLAYER_STATE_CHAINSAW &&
                           g_pPlayer->m_eState != E_PLAYER_STATE_CROSSBOW;
  if ((typeIs("EnemyBarrel") || typeIs("EnemyFast")) && is("Spinning") && bPlayerFree) {
    WorldServices::get().playVoiceOver(17);
  }
  if (typeIs("EnemyBulletShield") && is("Bullet") && bPlayerFree) {
    WorldServices::get().playVoiceOver(17);
  }
  if ((typeIs("EnemyStomper") && is("DeadLeg")) || (typeIs("EnemyThug") && is("DeadAirHeadless"))) {
    WorldServices::get().playVoiceOver(18);
  }
  if ((typeIs("EnemyRifle") && (is("HitDisarm") || is("DeadAirDisarm"))) ||
      (typeIs("EnemyPistol") && (is("HitDisarm") || is("DeadAirDisarmed")))) {
    WorldServices::get().playVoiceOver(17);
  }
  const ClDScriptData2* pStateNode = mp_pTypeNode->getChild("States")->getChild(pState);
  if (m_bReplacePlayer != 0) {
    if (g_pPlayer != nullptr) {
      g_pPlayer->m_bReplaced = 0;
      m_vPosition[0] = g_pPlayer->m_vPosition[0] + (typeIs("EnemyFast") ? 60.0f : 32.0f);
      g_pPlayer->setRunningOrDeath();
      g_pPlayer->m_bHittable = 0;
      g_pPlayer->m_fGraceTime = 2.0f;
    }
    m_bReplacePlayer = 0;
  }
  loadProperties(pStateNode);
  m_stateName = newName;
  m_fDistanceHorizontal = 0.0f;
  m_fDistanceVertical = 0.0f;
  m_fStateDamage = 0.0f;
  m_fDuration = 0.0f;
  m_bHitReceived = 0;
}

// The names of the constants an enemy's reactions read, fixed: the evaluator keeps them between evaluations.
namespace {
constexpr SDataScriptName s_State{"State"};
constexpr SDataScriptName s_DistanceTravelledHorizontal{"DistanceTravelledHorizontal"};
constexpr SDataScriptName s_DistanceTravelledVertical{"DistanceTravelledVertical"};
constexpr SDataScriptName s_VelocityHorizontal{"VelocityHorizontal"};
constexpr SDataScriptName s_VelocityVertical{"VelocityVertical"};
constexpr SDataScriptName s_HitGround{"HitGround"};
constexpr SDataScriptName s_Duration{"Duration"};
constexpr SDataScriptName s_HitPoints{"HitPoints"};
constexpr SDataScriptName s_Shield{"Shield"};
constexpr SDataScriptName s_StateDamageReceived{"StateDamageReceived"};
constexpr SDataScriptName s_HitReceived{"HitReceived"};
constexpr SDataScriptName s_HitType{"HitType"};
constexpr SDataScriptName s_HitCameFromPistolish{"HitCameFromPistolish"};
constexpr SDataScriptName s_HitDistance{"HitDistance"};
constexpr SDataScriptName s_FlipBookDone{"FlipBookDone"};
constexpr SDataScriptName s_BulletHit{"BulletHit"};
constexpr SDataScriptName s_HittingPlayer{"HittingPlayer"};
constexpr SDataScriptName s_Random{"Random"};
constexpr SDataScriptName s_PlayerDistance{"PlayerDistance"};
constexpr SDataScriptName s_RelDistanceFromPlayer{"RelDistanceFromPlayer"};
}  // namespace

ClDScriptData2* ClEntityEnemy::evaluateReactions() {
  // The state's name as a quoted text, built on the stack: this runs for every enemy every frame.
  char szState[gc_iEVALUATOR_TEXT_LEN];
  const size_t uiStateLength = m_stateName.getLength();
  if (uiStateLength + 3 <= sizeof(szState)) {
    szState[0] = '\'';
    std::memcpy(szState + 1, m_stateName.getCStr(), uiStateLength);
    szState[uiStateLength + 1] = '\'';
    szState[uiStateLength + 2] = 0;
  } else {
    std::snprintf(szState, sizeof(szState), "'%s'", m_stateName.getCStr());
  }
  // Before any hit the letter is the zero character: the constant is then the empty quoted text "''".
  char szHitType[4] = {'\'', m_cHitLetter, '\'', 0};
  if (m_cHitLetter == 0) {
    szHitType[1] = '\'';
    szHitType[2] = 0;
  }
  const bool bStopped = m_mainAnim.mp_curAnimators.mp_flipBookAnimator.m_bPlaying == 0;
  const f32 fRandom = KvMath::randomUnitFloat();
  const f32 fRel = g_pPlayer != nullptr ? m_vPosition[0] - g_pPlayer->m_vPosition[0] : 0.0f;
  // The table is filled in one call, in this order (the reactions may read any of them).
  // Written one by one (an initialiser list would clear the whole array first).
  SDataScriptValue aValues[20];
  aValues[0] = {&s_State, szState, 0.0f};
  aValues[1] = {&s_DistanceTravelledHorizontal, nullptr, m_fDistanceHorizontal};
  aValues[2] = {&s_DistanceTravelledVertical, nullptr, m_fDistanceVertical};
  aValues[3] = {&s_VelocityHorizontal, nullptr, m_vVelocity[0]};
  aValues[4] = {&s_VelocityVertical, nullptr, m_vVelocity[2]};
  aValues[5] = {&s_HitGround, nullptr, static_cast<f32>(m_bHitGround)};
  aValues[6] = {&s_Duration, nullptr, m_fDuration};
  aValues[7] = {&s_HitPoints, nullptr, m_fHitPoints};
  aValues[8] = {&s_Shield, nullptr, m_fShield};
  aValues[9] = {&s_StateDamageReceived, nullptr, m_fStateDamage};
  aValues[10] = {&s_HitReceived, nullptr, static_cast<f32>(m_bHitReceived)};
  aValues[11] = {&s_HitType, szHitType, 0.0f};
  aValues[12] = {&s_HitCameFromPistolish, nullptr, static_cast<f32>(m_bHitFromDisarmed)};
  aValues[13] = {&s_HitDistance, nullptr, m_fHitGrade};
  aValues[14] = {&s_FlipBookDone, nullptr, bStopped ? 1.0f : 0.0f};
  aValues[15] = {&s_BulletHit, nullptr, static_cast<f32>(m_bBulletHit)};
  aValues[16] = {&s_HittingPlayer, nullptr, static_cast<f32>(m_bHittingPlayer)};
  aValues[17] = {&s_Random, nullptr, fRandom};
  aValues[18] = {&s_PlayerDistance, nullptr, std::fabs(fRel)};
  aValues[19] = {&s_RelDistanceFromPlayer, nullptr, fRel};
  ClDataScriptEvaluator::setConstants(aValues, static_cast<i32>(sizeof(aValues) / sizeof(aValues[0])));
  // The keys' hashes once: this runs for every enemy every frame (getChild reports a missing key).
  static const u32 s_uiReactions = KvStrHash("Reactions");
  static const u32 s_uiActions = KvStrHash("Actions");
  ClDScriptData2* pReactions = mp_pTypeNode->findChildByHash(s_uiReactions);
  const ClDScriptData2* pFound =
      ClDataScriptEvaluator::findAction(pReactions != nullptr ? pReactions : mp_pTypeNode->getChild("Reactions"));
  if (pFound == nullptr) {
    return nullptr;
  }
  const ClDScriptData2* pActions = mp_pTypeNode->findChildByHash(s_uiActions);
  return (pActions != nullptr ? pActions : mp_pTypeNode->getChild("Actions"))->getChild(valueText(pFound));
}

void ClEntityEnemy::clear() {
  ClEntity::clear();
  if (m_bFromLeft != 0) {
    m_indicatorAnim.mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
  }
  m_typeName = "";
  m_stateName = "";
}

void ClEntityEnemy::update() {
  moveAndCollide();
  runActions();
  m_mainAnim.update(1);
  m_effectAnim.update(1);
  if (m_bReplacePlayer != 0 && g_pPlayer != nullptr && m_bGone == 0) {
    g_pPlayer->m_bReplaced = 1;
    g_pPlayer->m_bHittable = 0;
    g_pPlayer->m_fGraceTime = 0.0f;
    g_pPlayer->m_iLane = m_iLane;
    g_pPlayer->m_vPosition[1] = m_vPosition[1];
  }
}
