// The action interpreter: each frame the chosen action's keys act in a fixed order, then its properties load.
#include <cmath>
#include <cstring>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvStrHashConst.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Math/KvRandom.h"

namespace {

void countKill() {
  ++g_iKillStreak;
  g_bCrateDue = 1;
  if (g_iKillStreak > g_iBestStreak) {
    g_iBestStreak = g_iKillStreak;
  }
}

void playBudgetedCue(const char* pName) {
  if (WorldRunState::takeCue()) {
    WorldServices::get().playCue(KvStrHash(pName));
  }
}

bool playerIn(i32 eState) { return g_pPlayer != nullptr && g_pPlayer->m_eState == eState; }

// Whether the action holds the key: by the key's hash, which the compiler makes (an action's keys are read every
// time it runs).
bool holds(const ClDScriptData2* pAction, u32 uiKeyHash) { return pAction->findChildByHash(uiKeyHash) != nullptr; }

// A spawner's key: its name and the name's hash, made by the compiler.
struct SSpawnerKey {
  consteval SSpawnerKey(const char* pName) : m_pName(pName), m_uiHash(KvStrHashConst(pName)) {}
  const char* m_pName;
  u32 m_uiHash;
};

}  // namespace

void ClEntityEnemy::throwGibs(i32 iStyle, i32 iClass) {
  const SFlipBookFrame* pFrame = m_mainAnim.getCurFrame();
  const SAtlasTexInfo* pInfo = pFrame->mp_pImage->mp_pAtlasTexInfo;
  WorldServices::get().spawnGibs(iStyle, iClass, m_vPosition[0] - pFrame->mp_fAnchorX + pInfo->mp_fAnchorX,
                                 m_vPosition[1] - pFrame->mp_fAnchorY + pInfo->mp_fAnchorY, m_vPosition[2],
                                 pInfo->mp_fWidth, pInfo->mp_fHeight);
}

void ClEntityEnemy::convertTShirt() {
  const auto resetCounters = [this]() {
    m_fDistanceHorizontal = 0.0f;
    m_fDistanceVertical = 0.0f;
    m_fStateDamage = 0.0f;
    m_fDuration = 0.0f;
    m_bHitReceived = 0;
  };
  if (!stateIs("Shirt") && !stateIs("ShirtExplosion")) {
    m_stateName = "Shirt";
    resetCounters();
    if (m_fShield > 0.0f) {
      knockOffShield();
    }
    for (i32 i = 0; i < 3; ++i) {
      m_vVelocity[i] = 0.0f;
      m_vAcceleration[i] = 0.0f;
    }
    String book;
    if (typeIs("EnemyWeakA")) {
      book = "EnemyWeakTShirt";
    } else if (typeIs("EnemyLeft")) {
      book = "EnemyHyenaTShirt";
    } else if (typeIs("EnemyFlankerA") || typeIs("EnemyFlankerB")) {
      book = "EnemyFlankerTShirt";
    } else {
      book = m_typeName.withTShirtSuffix();
    }
    m_mainAnim.playFlipBook(ClFlipBookMgr::getFlipBook(book.getCStr()), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
    if (typeIs("EnemyLeft")) {
      m_bMirror = 1;
    }
    m_effectAnim.playFlipBook(ClFlipBookMgr::getFlipBook("PlayerTShirtSmoke"), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
    ++g_iKillStreak;
    m_bHitFlash = 0;
    g_fTimeSinceKill = 0.0f;
    if (g_iKillStreak > g_iBestStreak) {
      g_iBestStreak = g_iKillStreak;
    }
    ++g_iEnemiesKilled;
    g_bCrateDue = 1;
    g_iScore += static_cast<i32>(g_fMultiplier * 100.0f);
  } else if (stateIs("Shirt") && m_fDuration > 1.0f) {
    m_stateName = "ShirtExplosion";
    resetCounters();
    m_mainAnim.playFlipBook(ClFlipBookMgr::getFlipBook("PlayerTShirtExplosion"), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
    WorldServices::get().playCue(KvStrHash("GrenadeExplosion"));
    if (m_bGibsSpawned == 0) {
      m_bGibsSpawned = 1;
      throwGibs(1, 2);
    }
  } else if (stateIs("ShirtExplosion") && m_mainAnim.mp_curAnimators.mp_flipBookAnimator.m_bPlaying == 0) {
    m_bGone = 1;
  }
}

void ClEntityEnemy::applyDamage(f32 fDamage, f32* pDealt, i32* pFirstHit) {
  const f32 h = m_fHitPoints;
  const f32 h0 = m_fInitialHitPoints;
  *pFirstHit = (h0 == h && h0 != 0.0f) ? 1 : 0;
  const f32 fDealt = fDamage <= h ? fDamage : (h >= 0.0f ? h : 0.0f);
  *pDealt = fDealt;
  if (fDealt > 0.0f || h >= 0.0f) {
    if (fDealt >= 1.0f) {
      g_fTimeSinceKill = 0.0f;
    }
    if (h - fDamage <= 0.0f) {
      countKill();
      if (!isObstacle() && !isProjectile()) {
        ++g_iEnemiesKilled;
      }
      if (WorldServices::get().ultraGibOption() && !typeIs("EnemyWall")) {
        throwGibs(0, 0);
      }
    }
    if (h0 != 0.0f) {
      g_iScore += static_cast<i32>(static_cast<f32>(m_iScore) * fDealt * g_fMultiplier / h0);
    }
  }
  m_fHitPoints -= fDamage;
  if (fDealt > 0.0f) {
    const f32 fX = m_vPosition[0];
    const f32 fY = m_vPosition[1] + m_vPosition[2] - 16.0f;
    if (m_fHitGrade <= 1.0f) {
      spawnImpactRing(fX, fY);
      spawnFlashRing(fX, fY);
      if (m_fHitGrade == 0.0f) {
        spawnPerfectRing(fX, fY);
      }
    }
    doHitSparks(fX, fY);
  }
  if (m_fHitPoints <= 0.0f) {
    m_fOrderOffset += 1.0f;
    if (g_pPlayer != nullptr) {
      g_pPlayer->m_bNoKillThisLevel = 0;
      if (m_cHitLetter == 'B') {
        ++g_pPlayer->m_iProjectileKills;
      } else if (m_cHitLetter == 'E') {
        ++g_pPlayer->m_iSpecialKills;
      } else if (g_pPlayer->m_eWeapon == E_PLAYER_WEAPON_SLEDGEHAMMER) {
        ++g_pPlayer->m_iSledgehammerKills;
        if (g_pPlayer->m_iSledgehammerKills == 10) {
          WorldServices::get().setAchievement("POUND_CAKE");
        }
      }
    }
  }
}

void ClEntityEnemy::deathAndGibs(const ClDScriptData2* pAction, f32 fDealt, f32 fDamageKey) {
  const bool bAllHits =
      g_pPlayer != nullptr && (g_pPlayer->m_eState == E_PLAYER_STATE_CHAINSAW || g_pPlayer->m_iHitAllFrames > 0);
  if (!(m_fHitPoints <= 0.0f || (fDamageKey != 0.0f && bAllHits))) {
    return;
  }
  i32 iClass = 1;
  i32 iStyle = 0;
  bool bThrow = false;
  const i32 bWasGone = m_bGone;
  if (fDealt == 0.0f) {
    const bool bRemoveScored = holds(pAction, KvStrHashConst("Remove")) && holds(pAction, KvStrHashConst("Score"));
    if (bRemoveScored || m_cHitLetter == 'E') {
      bThrow = true;
      const i32 eWeapon = g_pPlayer != nullptr ? g_pPlayer->m_eWeapon : E_PLAYER_WEAPON_NONE;
      if (eWeapon == E_PLAYER_WEAPON_MACHETE) {
        iClass = 1;
        iStyle = 2;
      } else if (eWeapon == E_PLAYER_WEAPON_AXE) {
        iClass = 0;
        iStyle = 1;
      } else {
        iClass = 0;
        iStyle = 0;
      }
    }
  } else {
    const bool bMeleeLetter = m_cHitLetter == 'L' || m_cHitLetter == 'H' || m_cHitLetter == 'U';
    if (bMeleeLetter && !typeIs("EnemyBulletGrenade") && !typeIs("EnemyMacheteProjectile") && g_pPlayer != nullptr) {
      const i32 eWeapon = g_pPlayer->m_eWeapon;
      if (eWeapon >= E_PLAYER_WEAPON_SLEDGEHAMMER && eWeapon <= E_PLAYER_WEAPON_AXE) {
        iClass = eWeapon == E_PLAYER_WEAPON_AXE ? 0 : 1;
        iStyle = eWeapon == E_PLAYER_WEAPON_SLEDGEHAMMER ? 0 : (eWeapon == E_PLAYER_WEAPON_MACHETE ? 2 : 1);
        m_bGone = 1;
        bThrow = true;
      }
    } else if (playerIn(E_PLAYER_STATE_CHAINSAW)) {
      iClass = 2;
      iStyle = 0;
      m_bGone = 1;
      bThrow = true;
    }
    if (g_pPlayer != nullptr && g_pPlayer->m_iHitAllFrames > 0) {
      iClass = 3;
      m_bGone = 1;
      static const i32 s_aiStyleByMagic[3] = {2, 0, 3};
      if (g_iMagicKind >= 0 && g_iMagicKind <= 2) {
        iStyle = s_aiStyleByMagic[g_iMagicKind];
        bThrow = true;
      }
    } else if (m_cHitLetter == 'E' && playerIn(E_PLAYER_STATE_CROSSBOW)) {
      iClass = 2;
      iStyle = 0;
      m_bGone = 1;
      bThrow = true;
    }
  }
  if (isObstacle()) {
    m_bGone = bWasGone;
    return;
  }
  if (bThrow && m_bGibsSpawned == 0) {
    m_bGibsSpawned = 1;
    throwGibs(iStyle, iClass);
  }
}

void ClEntityEnemy::runActions() {
  const ClDScriptData2* pAction = evaluateReactions();
  if (m_bTShirtHit != 0) {
    convertTShirt();
    return;
  }
  if (pAction == nullptr) {
    return;  // no reaction applies this frame: nothing acts
  }
  const ClDScriptData2* pKey = nullptr;
  if ((pKey = pAction->findChildByHash(KvStrHashConst("State"))) != nullptr) {
    setState(pKey->getString());
  }
  f32 fDealt = 0.0f;
  f32 fDamageKey = 0.0f;
  i32 bFirstHit = 0;
  if ((pKey = pAction->findChildByHash(KvStrHashConst("Damage"))) != nullptr) {
    fDamageKey = pKey->getFloatExact();
    if (fDamageKey > 0.0f) {
      applyDamage(fDamageKey, &fDealt, &bFirstHit);
    }
  }
  if ((pKey = pAction->findChildByHash(KvStrHashConst("ShieldDamage"))) != nullptr) {
    const f32 s = pKey->getFloatExact();
    if (m_fShield > 0.0f && m_fShield <= s) {
      knockOffShield();
    }
    m_fShield -= s;
  }
  i32 iScorePoints = 0;
  bool bHasScore = false;
  if ((pKey = pAction->findChildByHash(KvStrHashConst("Score"))) != nullptr) {
    iScorePoints = static_cast<i32>(static_cast<f32>(pKey->getInt()) * g_fMultiplier);
    g_iScore += iScorePoints;
    bHasScore = true;
  }
  const i32 iGrade = bFirstHit != 0 ? static_cast<i32>(m_fHitGrade) : -1;
  i32 iBonus = 0;
  if (iGrade == 0) {
    iBonus = static_cast<i32>(g_fMultiplier * 100.0f);
  } else if (iGrade == 1) {
    iBonus = static_cast<i32>(g_fMultiplier * 50.0f);
  }
  g_iScore += iBonus;
  if ((pKey = pAction->findChildByHash(KvStrHashConst("Text"))) != nullptr) {
    const i32 iShown = (iGrade == 0 || iGrade == 1) ? iBonus : (bHasScore ? iScorePoints : 0);
    String text(pKey->getString());
    const u32 uiLength = text.getLength();
    const bool bStacked = uiLength > 0 && text.getCStr()[uiLength - 1] == '*';
    if (bStacked) {
      text = text.subString(0, uiLength - 1);
    }
    WorldServices::get().addFloatingText(text.getCStr(), m_vPosition[0], m_vPosition[1], m_vPosition[2], iShown,
                                         bStacked);
  } else if (iGrade == 0) {
    WorldServices::get().addFloatingText("enemy_score_hit_perfect", m_vPosition[0], m_vPosition[1], m_vPosition[2],
                                         iBonus, true);
    playBudgetedCue("PerfectStinger");
    playBudgetedCue("PlayerHittingPerfect");
  } else if (iGrade == 1) {
    WorldServices::get().addFloatingText("enemy_score_hit_good", m_vPosition[0], m_vPosition[1], m_vPosition[2],
                                         iBonus, false);
  }
  if ((pKey = pAction->findChildByHash(KvStrHashConst("Blood"))) != nullptr) {
    const i32 iAmount = pKey->getInt() + (iGrade == 0 ? 2 : (iGrade == 1 ? 1 : 0));
    const bool bLowOnly = std::strcmp(m_szHitMask, "L") == 0;
    spawnBlood(iAmount, m_vPosition[0], m_vPosition[1] + m_vPosition[2] - (bLowOnly ? 0.0f : 16.0f));
  }
  deathAndGibs(pAction, fDealt, fDamageKey);
  if ((pKey = pAction->findChildByHash(KvStrHashConst("Shake"))) != nullptr) {
    g_fShakeTime = static_cast<f32>(pKey->getInt() + (iGrade == 0 ? 1 : 0)) * 0.3f;
  }
  if ((pKey = pAction->findChildByHash(KvStrHashConst("Sound"))) != nullptr) playBudgetedCue(pKey->getString());
  if ((pKey = pAction->findChildByHash(KvStrHashConst("Sound2"))) != nullptr) playBudgetedCue(pKey->getString());
  if (holds(pAction, KvStrHashConst("ChangeLane"))) {
    m_iLane = m_iLane == 1 ? KvMath::randomIntRange(0, 1) * 2 : 1;
  }
  if (holds(pAction, KvStrHashConst("Explode"))) explode();
  if (holds(pAction, KvStrHashConst("GrenadeExplode"))) explodeGrenade();
  if (holds(pAction, KvStrHashConst("IncrementFrame"))) {
    ClFlipBookAnimator& animator = m_mainAnim.mp_curAnimators.mp_flipBookAnimator;
    const i32 iLast = animator.getNumFrames() - 1;
    const i32 iNext = animator.getCurrentFrameIndex() + 1;
    animator.setCurrentFrameIndex(iNext > iLast ? iLast : iNext);
    setState(m_stateName.getCStr());
  }
  if (holds(pAction, KvStrHashConst("LaunchFlamer"))) runSpawner("LaunchFlamer");
  if (holds(pAction, KvStrHashConst("Remove"))) m_bGone = 1;
  if ((pKey = pAction->findChildByHash(KvStrHashConst("Rotate"))) != nullptr) {
    m_fRotationTime = 0.0f;
    m_bRotate = pKey->getNumber() > 0.0f ? 1 : 0;
  }
  if (holds(pAction, KvStrHashConst("SlowDown")) || iGrade == 0) {
    if (!playerIn(E_PLAYER_STATE_CHAINSAW)) {
      WorldServices::get().startSlowMotion();
    }
  }
  loadProperties(pAction);
  if (m_fHitPoints <= 0.0f && m_fShield > 0.0f) {
    if (m_cHitLetter == 'U' || (m_cHitLetter == 'B' && m_bHitFromDisarmed == 0)) {
      knockOffShield();
    }
    m_fShield = 0.0f;
  }
  if (holds(pAction, KvStrHashConst("HitPlayer")) && g_pPlayer != nullptr) {
    if (g_pPlayer->m_bHittable != 0) {
      g_pPlayer->takeDamage();
    } else {
      g_pPlayer->takeDamageNoReaction();
    }
  }
  static constexpr SSpawnerKey s_aFirstSpawners[] = {"LoseThugHead",      "SpawnStomperWave", "LoseLeg",
                                                      "SpawnGrenade",      "SpawnPistolBullet", "SpawnRifleBullet",
                                                      "SpawnMachete"};
  for (const SSpawnerKey& key : s_aFirstSpawners) {
    if (holds(pAction, key.m_uiHash)) runSpawner(key.m_pName);
  }
  if (holds(pAction, KvStrHashConst("HitLane")) && g_pPlayer != nullptr && g_pPlayer->m_iLane == m_iLane) {
    g_pPlayer->takeDamage();
  }
  if (holds(pAction, KvStrHashConst("SpawnFlamerProjectile"))) spawnFlamerProjectile();
  if ((pKey = pAction->findChildByHash(KvStrHashConst("SpawnPickup"))) != nullptr) {
    if (pKey->getInt() == 2) {
      spawnSupportCratePickup();
    } else {
      spawnWeaponCratePickup();
    }
  }
  static constexpr SSpawnerKey s_aLastSpawners[] = {"SpawnPistolDisarmedWeapon", "SpawnMacheteDisarmedWeapons",
                                                     "SpawnRifleDisarmedWeapon",  "SpawnBulletRifleDW1",
                                                     "SpawnBulletRifleDW2",       "SpawnBulletRifleDW3"};
  for (const SSpawnerKey& key : s_aLastSpawners) {
    if (holds(pAction, key.m_uiHash)) runSpawner(key.m_pName);
  }
}
