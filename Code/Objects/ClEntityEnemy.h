// An enemy, and every projectile, obstacle and dropped weapon, whose behaviour is data: its type's properties,
// states, reactions, actions and animations come from the data script "EntityEnemy" (EnemyScript.h checks the
// script when it is loaded, so the look-ups here find what they ask for).
//
// Each frame (update): move and collide (ClEntityEnemyMotion.cpp), pick an action from the reactions and run its
// keys in their fixed order (ClEntityEnemyActions.cpp), then tick the animators. Other entities offer hits through
// tryHit (ClEntityEnemyHits.cpp); actions spawn further objects and explode (ClEntityEnemySpawners.cpp); draw
// renders the trail, target marker, body, shield, left arrow and shadow (ClEntityEnemyDraw.cpp).
//
// Units: world units and seconds on the gameplay clock; velocity x runs along the road, y across the lanes, z
// downward (0 is the ground). Random draws come from the engine's SFMT stream in a fixed order (one "Random" a
// frame, further draws only where a rule asks), so a seeded run replays exactly. Main thread only.
#pragma once

#include <cstring>

#include "Code/Objects/ClEntity.h"
#include "Corvane/ADT/String.h"
#include "Corvane/System/KvTypes.h"

class ClDScriptData2;
struct SFlipBookFrame;

inline constexpr i32 gc_iENEMY_HIT_MASK_LEN = 7;

// One pose kept for the motion trail.
struct SEnemyTrailSample {
  f32 m_fX = 0.0f;
  f32 m_fY = 0.0f;
  const SFlipBookFrame* mp_pFrame = nullptr;
  f32 m_fAngleTime = 0.0f;
};

class ClEntityEnemy : public ClEntity {
 public:
  ClEntityEnemy();
  ~ClEntityEnemy() override = default;

  // Spawn-time set-up of the type (a child of the loaded "EntityEnemy"); asserts that the script is loaded.
  void setup(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iLane, const char* pTypeName);
  // The type's node; a type the script lacks is the data script's fatal report.
  static ClDScriptData2* getScriptNode(const char* pTypeName);
  void loadProperties(const ClDScriptData2* pNode);
  void setState(const char* pStateName);
  void playAnimation(const char* pName, i32 iMode);
  // Publishes the evaluator's constants and answers the chosen "Actions" node, or null when no reaction applies.
  ClDScriptData2* evaluateReactions();

  void clear() override;
  void update() override;
  void draw(u32 uiOrderIndex) override;
  // Offers a hit with a letter at a distance (world units from the ideal spot); true when it counts as landed.
  virtual bool tryHit(char cLetter, f32 fDistance, i32 bFromDisarmedWeapon);

  void moveAndCollide();
  void runActions();
  bool isObstacle() const;
  bool isProjectile() const;

  // Hit effects at (x, y) in drawing space of the world.
  void spawnImpactRing(f32 fX, f32 fY) const;
  void spawnFlashRing(f32 fX, f32 fY) const;
  void spawnPerfectRing(f32 fX, f32 fY) const;
  void doHitSparks(f32 fX, f32 fY) const;
  void spawnBlood(i32 iAmount, f32 fX, f32 fY) const;

  // Spawners and explosions (ClEntityEnemySpawners.cpp); each key is an "Actions" key or the shield knock-off.
  ClEntityEnemy* spawnObject(const char* pTypeName, f32 fX, f32 fY, f32 fZ);
  void runSpawner(const char* pActionKey);
  void knockOffShield();
  void spawnWeaponCratePickup();
  void spawnSupportCratePickup();
  void spawnFlamerProjectile();
  void explode();
  void explodeGrenade();

  // The enemy the entity stands for in hit tests: itself for kind 1, the inner enemy of a star enemy (kind 2)
  // through starInner, null otherwise.
  static ClEntityEnemy* hitTarget(ClEntity* pEntity);
  // Set by the star enemy: answers its inner enemy.
  static ClEntityEnemy* (*sp_pStarInner)(ClEntity* pStarEnemy);

  // Exact comparisons, lengths first: the update and draw ask these of every enemy every frame, mostly of literals
  // whose lengths the compiler knows.
  bool typeIs(const char* pName) const { return sameName(m_typeName, pName); }
  bool typeContains(const char* pText) const;
  bool stateIs(const char* pName) const { return sameName(m_stateName, pName); }

  static bool sameName(const String& name, const char* pName) {
    const size_t uiLength = std::strlen(pName);
    return name.getLength() == uiLength && std::memcmp(name.getCStr(), pName, uiLength) == 0;
  }

  i32 m_bHitFlash = 0;
  String m_typeName;
  String m_crateContent;
  String m_stateName;
  f32 m_fInitialHitPoints = 1.0f;
  f32 m_fHitPoints = 1.0f;
  f32 m_fShield = 0.0f;
  i32 m_iScore = 0;
  i32 m_iShadow = 1;
  f32 m_fInsultOffset = 0.0f;
  f32 m_fInsultRadius = 0.0f;
  i32 m_bUseTargetVelocity = 0;
  f32 m_vTargetVelocity[3] = {0.0f, 0.0f, 0.0f};
  f32 m_vVelocity[3] = {0.0f, 0.0f, 0.0f};
  f32 m_vAcceleration[3] = {0.0f, 0.0f, 0.0f};
  i32 m_bRotate = 0;
  i32 m_bMirror = 0;
  char m_szHitMask[gc_iENEMY_HIT_MASK_LEN + 1] = {'L', 'H', 'U', 'C', 'E', 'B', 0, 0};
  char m_cHitType = 0;
  i32 m_bCanHitPlayer = 1;
  f32 m_fDuration = 0.0f;
  i32 m_bDisplayTrail = 0;
  f32 m_fToPlayerTarget = 0.0f;
  f32 m_fXOffset = 0.0f;
  f32 m_fOrderOffset = 0.0f;
  i32 m_bHitMaskSet = 1;
  f32 m_fRotationTime = 0.0f;
  i32 m_bHitReceived = 0;
  char m_cHitLetter = 0;
  i32 m_bHitFromDisarmed = 0;
  f32 m_fHitGrade = 0.0f;
  f32 m_fDistanceHorizontal = 0.0f;
  f32 m_fDistanceVertical = 0.0f;
  f32 m_fStateDamage = 0.0f;
  i32 m_bHitGround = 0;
  i32 m_bStarLook = 0;
  i32 m_bBulletHit = 0;
  i32 m_bTShirtHit = 0;
  i32 m_bGibsSpawned = 0;
  SEnemyTrailSample m_aTrail[2];  // the newer first
  ClTexAnimObj m_indicatorAnim;
  i32 m_bFromLeft = 0;
  i32 m_bReplacePlayer = 0;
  i32 m_bHittingPlayer = 0;
  i32 m_bLeftScreen = 0;

 private:
  void resetFields();
  void setHitMask(const char* pText);
  void applyDamage(f32 fDamage, f32* pDealt, i32* pFirstHit);
  void deathAndGibs(const ClDScriptData2* pAction, f32 fDealt, f32 fDamageKey);
  void throwGibs(i32 iStyle, i32 iClass);
  void convertTShirt();
  void projectileHits();
  void drawTrail(u32 uiShaderHash);
  u32 drawShaderHash() const;
  ClDScriptData2* mp_pTypeNode = nullptr;
};

// The kinds of blood drop: a hit's (pushed sideways and up), a player's splatter (scattered wider, no push) and
// an explosion's (as the splatter, orange).
enum E_BLOOD_DROP : i32 {
  E_BLOOD_DROP_HIT = 0,
  E_BLOOD_DROP_SPLATTER = 1,
  E_BLOOD_DROP_ORANGE = 2,
};

// One blood drop at (x, y) with the size chance, appended to g_bloodSplats.
void KvSpawnBloodDrop(f32 fX, f32 fY, f32 fChance, E_BLOOD_DROP eKind);

// The loaded "EntityEnemy" script (checked), or null; set by EnemyScript::load.
extern ClDScriptData2* g_pEntityEnemyScript;
