// Objects that enemies spawn (projectiles, dropped weapons, the knocked-off shield, crate pickups) and the
// explosions and the flame sweep that hurt what is near.
#include <cmath>
#include <cstdio>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Math/KvRandom.h"

namespace {

// One row of the spawn table: the type, its set-up offsets from the source, and what is overwritten after.
struct SEnemySpawnRow {
  const char* mp_pActionKey;
  const char* mp_pType;
  f32 m_fSetupDX;
  f32 m_fSetupDZ;
  f32 m_fAfterDX;
  i32 m_eZRule;  // 0 keep, 1 a fixed z, 2 the source's z plus the value
  f32 m_fZ;
};

constexpr SEnemySpawnRow gc_aSpawnRows[] = {
    {"LoseThugHead", "EnemyBulletThugHead", 0.0f, -48.0f, 0.0f, 0, 0.0f},
    {"SpawnStomperWave", "EnemyStomperWave", -9.0f, 0.0f, -20.0f, 0, 0.0f},
    {"LoseLeg", "EnemyBulletStomperLeg", 0.0f, -48.0f, 16.0f, 1, -16.0f},
    {"SpawnGrenade", "EnemyBulletGrenade", 0.0f, 0.0f, 0.0f, 1, -16.0f},
    {"SpawnPistolBullet", "EnemyPistolBullet", 0.0f, 0.0f, -16.0f, 1, -24.0f},
    {"SpawnRifleBullet", "EnemyRifleBullet", 0.0f, 0.0f, -34.0f, 1, -14.0f},
    {"SpawnMachete", "EnemyMacheteProjectile", 0.0f, 0.0f, 0.0f, 1, -16.0f},
    {"SpawnPistolDisarmedWeapon", "EnemyPistolDisarmedWeapon", 0.0f, 0.0f, -10.0f, 1, -6.0f},
    {"SpawnPistolDisarmedWeapon", "EnemyBulletPistolDisarmedWeapon", 0.0f, 0.0f, 0.0f, 1, -6.0f},
    {"SpawnMacheteDisarmedWeapons", "EnemyMacheteDisarmedWeapon", 0.0f, 0.0f, 0.0f, 1, -6.0f},
    {"SpawnRifleDisarmedWeapon", "EnemyRifleDisarmedWeapon", 0.0f, 0.0f, 0.0f, 1, -16.0f},
    {"SpawnBulletRifleDW1", "EnemyBulletRifleDW1", 0.0f, 0.0f, 0.0f, 2, 0.0f},
    {"SpawnBulletRifleDW2", "EnemyBulletRifleDW2", 0.0f, 0.0f, 0.0f, 2, 0.0f},
    {"SpawnBulletRifleDW3", "EnemyBulletRifleDW3", 0.0f, 0.0f, 0.0f, 2, 0.0f},
    {"LaunchFlamer", "FlamerAsAProjectile", 0.0f, 0.0f, 0.0f, 0, 0.0f},
    {"KnockOffShield", "EnemyBulletShield", -4.0f, -12.0f, 0.0f, 2, -34.0f},
};

f32 planeDistance(const ClEntity* pA, const ClEntity* pB) {
  const f32 dx = pA->m_vPosition[0] - pB->m_vPosition[0];
  const f32 dy = pA->m_vPosition[1] - pB->m_vPosition[1];
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

ClEntityEnemy* ClEntityEnemy::spawnObject(const char* pTypeName, f32 fX, f32 fY, f32 fZ) {
  if (g_pEntityEnemyScript == nullptr || g_pEntityEnemyScript->findChild(pTypeName) == nullptr) {
    std::fprintf(stderr, "EntityEnemy: [%s] spawns [%s], a type the script does not define; nothing spawned\n",
                 m_typeName.getCStr(), pTypeName);
    return nullptr;
  }
  ClEntityEnemy* pObject = EntityList::create<ClEntityEnemy>();
  pObject->setup(fX, fY, fZ, 0.0f, m_iLane, pTypeName);
  EntityList::add(pObject);
  return pObject;
}

void ClEntityEnemy::runSpawner(const char* pActionKey) {
  const f32 fX = m_vPosition[0];
  const f32 fY = m_vPosition[1];
  const f32 fZ = m_vPosition[2];
  for (const SEnemySpawnRow& row : gc_aSpawnRows) {
    if (String(row.mp_pActionKey) != pActionKey) {
      continue;
    }
    ClEntityEnemy* pObject = spawnObject(row.mp_pType, fX + row.m_fSetupDX, fY, fZ + row.m_fSetupDZ);
    if (pObject == nullptr) {
      continue;
    }
    pObject->m_vPosition[0] = fX + row.m_fAfterDX;
    if (row.m_eZRule == 1) {
      pObject->m_vPosition[2] = row.m_fZ;
    } else if (row.m_eZRule == 2) {
      pObject->m_vPosition[2] = fZ + row.m_fZ;
    }
  }
}

void ClEntityEnemy::knockOffShield() {
  if (m_fShield > -1.0f) {
    m_fShield = -1.0f;
    runSpawner("KnockOffShield");
  }
}

void ClEntityEnemy::spawnWeaponCratePickup() {
  static const char* const s_apWeapons[3] = {"PickupMachete", "PickupSledgehammer", "PickupFireAxe"};
  const char* pName = m_crateContent.getCStr();
  if (m_crateContent.getLength() == 0) {
    pName = s_apWeapons[KvMath::randomIntBelow(3)];
  }
  WorldServices::get().spawnPickup(pName, m_vPosition, m_iLane, m_vPosition[0]);
}

void ClEntityEnemy::spawnSupportCratePickup() {
  const char* pName = m_crateContent.getCStr();
  if (m_crateContent.getLength() == 0) {
    const i32 iHitPoints = g_pPlayer != nullptr ? g_pPlayer->m_iHitPoints : 0;
    if (iHitPoints < 3) {
      pName = "PickupHealth";
    } else if (g_iMagicCharges == 0) {
      pName = "PickupMagic";
    } else {
      pName = "PickupPoints";
    }
  }
  WorldServices::get().spawnPickup(pName, m_vPosition, m_iLane, m_vPosition[0]);
}

void ClEntityEnemy::spawnFlamerProjectile() {
  const f32 fFrom = m_vPosition[0] - 275.0f;
  const f32 fTo = m_vPosition[0];
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    ClEntity* pEntry = g_entityList[i];
    if (pEntry->m_iLane != m_iLane) {
      continue;
    }
    if (pEntry->m_eKind == E_ENTITY_KIND_PLAYER) {
      if (g_pPlayer != nullptr && g_pPlayer->m_bHittable != 0 && fFrom < g_pPlayer->m_vPosition[0] &&
          g_pPlayer->m_vPosition[0] < fTo) {
        g_pPlayer->takeDamage();
      }
      continue;
    }
    ClEntityEnemy* pTarget = hitTarget(pEntry);
    if (pTarget == nullptr || pTarget->m_bGone != 0 || !(fFrom < pTarget->m_vPosition[0]) ||
        !(pTarget->m_vPosition[0] < fTo)) {
      continue;
    }
    if (pTarget->typeContains("Wall") || pTarget->typeContains("Barrel") || pTarget->typeContains("Flamer")) {
      continue;
    }
    pTarget->throwGibs(1, 1);
    pTarget->m_bGone = 1;
    if (pTarget->m_bReplacePlayer != 0 && g_pPlayer != nullptr) {
      g_pPlayer->m_bReplaced = 0;
    }
  }
}

namespace {

// Offers 'E' to every other enemy in reach and knocks off shields there.
void blastEnemies(ClEntityEnemy* pSource, f32 fReach) {
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    ClEntityEnemy* pTarget = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pTarget == nullptr || pTarget == pSource) {
      continue;
    }
    const f32 fDistance = planeDistance(pSource, pTarget);
    if (!(fDistance < fReach) || pTarget->typeIs("EnemyBulletShield")) {
      continue;
    }
    pTarget->tryHit('E', fDistance, 0);
    if (pTarget->m_fShield > 0.0f) {
      pTarget->knockOffShield();
    }
  }
}

}  // namespace

void ClEntityEnemy::explode() {
  if (g_pPlayer != nullptr && g_pPlayer->m_bHittable != 0 && planeDistance(this, g_pPlayer) < 80.0f) {
    g_pPlayer->takeDamage();
  }
  blastEnemies(this, 80.0f);
  for (i32 i = 0; i < 100; ++i) {
    KvSpawnBloodDrop(m_vPosition[0], m_vPosition[1], 0.8f, E_BLOOD_DROP_ORANGE);
  }
}

void ClEntityEnemy::explodeGrenade() {
  if (g_pPlayer != nullptr && g_pPlayer->m_bHittable != 0 && planeDistance(this, g_pPlayer) < 40.0f) {
    g_pPlayer->takeDamage();
  }
  blastEnemies(this, 80.0f);
  SSparkAnim spark;
  spark.m_anim.playFlipBook(ClFlipBookMgr::getFlipBook("EnemyGrenadeExplosion"), E_FLIPBOOK_MODE_ONCE, 0, 0.0f);
  spark.m_vPosition[0] = m_vPosition[0];
  spark.m_vPosition[1] = m_vPosition[1];
  g_sparkAnims.append(spark);
}
