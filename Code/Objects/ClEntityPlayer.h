// The player character: runs right along the road, changes lanes, punches, swings a melee weapon, fires a super
// weapon, casts a magic special, takes damage and dies. One instance per game; the player's creation makes it,
// keeps it in g_pPlayer and on the entity list, and calls reset at every level or wave.
//
// Behaviour is a state machine of 14 states (E_PLAYER_STATE) stepped once a frame by update through stepState.
// A handler that leaves its state calls setRunningOrDeath and stepState again, so the next state's handler runs in
// the same frame; g_bSkipStateStep is a one-shot latch that makes the next stepState do nothing (a punch starts in
// one frame and is first handled in the next).
//
// Split by concern: ClEntityPlayer.cpp (record, lifecycle, states, lanes, damage, drawing),
// ClEntityPlayerAttacks.cpp (punches and hit resolution), ClEntityPlayerWeapons.cpp (melee and super weapons,
// the chainsaw's sound sequence), ClEntityPlayerMagic.cpp (the three magic specials and their effects).
//
// Units: world units and seconds. dt is the gameplay clock's frame time, except in the specials and the
// level-end run (states 10 to 13), which run on the system clock so they play at full speed while the gameplay
// clock is slowed or frozen. Commands come from pad 0's gameplay actions (ClInputManager). Animations come from
// the checked "EntityPlayer" script (PlayerScript::load). Random draws come from the engine's SFMT stream in a
// fixed order. Main thread only, inside the Action mode's tick.
#pragma once

#include <string>

#include "Code/Input/GAMEInputActions.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/String.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/System/KvTypes.h"

struct SClockTimer;
struct SAtlasEntry;
class ClDScriptData2;

// One row of the melee-weapon table (bare hands included).
struct SMeleeWeaponRow {
  const char* mp_pAnimSet;
  f32 m_fReach;       // world units from the player's x to the attack point
  i32 m_iTargetIcon;  // 0 bare, 1 sledgehammer, 2 machete and axe (3 is the chainsaw's)
  f32 m_fVoiceRange;  // scale of the close-hit voice-over range
  f32 m_fDrain;       // charge lost per second of gameplay while held
  const char* mp_pImpactCue;
};
extern const SMeleeWeaponRow gc_aMeleeWeapons[NUM_E_PLAYER_WEAPON];

// A point of an effect, world units.
struct SEffectPoint {
  f32 x;
  f32 y;
};

// One of the Bolt's five sprites with its phase (0 idle, 1 playing its first half, 2 its second half, 3 spent its
// turn in the chain, 4 stopped, 5 chain done).
struct SBoltSprite {
  ClTexAnimObj m_anim;
  i32 m_iPhase = 0;
};

enum E_BOLT_SPRITE : i32 {
  E_BOLT_SPRITE_LEFT = 0,
  E_BOLT_SPRITE_RIGHT,
  E_BOLT_SPRITE_FRONT,
  E_BOLT_SPRITE_BACK,
  E_BOLT_SPRITE_TOP,
  NUM_E_BOLT_SPRITE
};

class ClEntityPlayer final : public ClWorldPlayer {
 public:
  ClEntityPlayer();
  ~ClEntityPlayer() override;

  // Not available for the player: a fatal error.
  void initialize(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iKind, i32 iValue, i32 iLane) override;
  // Ends a level: the animators' queues, the chainsaw loop and its timers, a running special's effects.
  void clear() override;
  void update() override;
  void draw(u32 uiOrderIndex) override;
  // Starts a level or wave at pPosition (four floats; y becomes lane 1's line). iUnused is ignored.
  virtual void reset(const f32* pPosition, i32 iUnused);

  // Reactions the enemies call.
  void takeDamage() override;
  void takeDamageNoReaction() override;
  void setRunningOrDeath() override;
  // The level manager's: the dash out of a won level (state 13).
  void startLevelEndRun() override;

  // Melee weapons (pickups and reset); iKeepCharge 0 gives a full charge and the pickup's sound and music.
  void takeSledgehammer(i32 iKeepCharge);
  void takeMachete(i32 iKeepCharge);
  void takeAxe(i32 iKeepCharge);
  // The weapon pickups' way in: one of the three above by kind (bare hands takes nothing).
  void takeMeleeWeapon(E_PLAYER_WEAPON eWeapon, i32 bKeepCharge) override;
  void dropWeapon(i32 iKeepCharge);

  // The state machine and its pieces, public for the tests' vectors.
  void playMove(const char* pKey, i32 iMode);
  void stepState();
  i32 readAttackInput();
  void moveLanes(i32 bAllowInput);
  void spawnBloodSplatter(f32 fX, f32 fY, i32 bHeavy);

  void startHighPunch();
  void startLowPunch();
  void startUppercut();
  void startLeftPunch();
  void updatePunch(char cLetter, i32 bBackward);
  void resolveAttack(char cLetter, i32 bBackward);

  void startChainsaw();
  void startCrossbow();
  void startTShirtCannon();
  void updateChainsaw();
  void updateCrossbow();
  void updateTShirtCannon();

  void startMagic();
  void updateBolt();
  void updateNinja();
  void updateDragon();
  void hitAllEnemies();
  void drawEffectFrame(const ClTexAnimObj& anim, const SEffectPoint& point) const;

  // Fields the rest of the world does not read (the shared ones live in ClWorldPlayer).
  f32 m_fStateTime = 0.0f;
  f32 m_fWeaponDrain = 0.0f;
  f32 m_fWeaponWearPerHit = 0.0f;
  f32 m_fVoiceRange = 1.0f;
  i32 m_eTargetIcon = 0;
  String m_strAnimSet;
  i32 m_bUpperBody = 0;
  ClTexAnimObj m_upperBody;
  f32 m_fFireTimer = 0.0f;
  i32 m_bChainsawSound = 0;
  SCueHandle m_chainsawLoopCue;
  SClockTimer* mp_chainsawLoopDelayStartTimer = nullptr;
  SClockTimer* mp_chainsawLoopDelayEndTimer = nullptr;
  i32 m_bAttackResolved = 0;

 private:
  f32 stateDeltaTime() const;
  void handleRunning();
  void handleHit();
  void handleDeath();
  void handleLevelEnd();
  bool commandJustPressed(i32 iCommand) const;
  // The common part of both damages; false when the damage is ignored (a level ending, or already dead).
  bool loseHitPoint(i32 bHeavyBlood);
  void die();
  void setWeaponRow(i32 eWeapon);
  void takeWeapon(i32 eWeapon, i32 iKeepCharge);
  bool startSuperWeapon(const char* pBodyKey, i32 eState);
  void startGun(const char* pUpperBodyKey, i32 iVoiceOver);
  void updateGun(const char* pIdleBook, const char* pShootingBook, const char* pProjectile, const char* pShotCue,
                 f32 fInterval);
  // The grace and the meter of a super-weapon frame; false when the meter ran out and the weapon ended.
  bool drainSuperMeter();
  void endSuperWeapon();
  void drainWeapon();
  void updateChainsawSound();
  void startChainsawEndTimer();
  void releaseChainsawSound();
  void drawUpperBody(u32 uiOrderIndex);
  void drawTargetMarker(u32 uiOrderIndex);
  void endMagic();
  static void releaseMagicEffects();
};

// The "EntityPlayer" script: one array per animation set, each mapping every move key to a flip-book name.
namespace PlayerScript {
inline constexpr i32 gc_iNUM_SETS = 4;
inline constexpr i32 gc_iNUM_KEYS = 18;
extern const char* const gc_apSets[gc_iNUM_SETS];
extern const char* const gc_apKeys[gc_iNUM_KEYS];
// True when every set is an array holding every key as a STRING or HASH_ID, every name matches its hash and, when
// the flip-book manager runs, every named flip book and every fixed one the player plays is loaded; otherwise false
// and pError (when given) holds one line naming the script, the entry and the fault.
bool check(const ClDScriptData2* pRoot, std::string* pError);
// Gets "EntityPlayer" from the script manager, checks it and makes it the player's script; false, with the line
// printed, when it cannot be read or is refused (the player's script is then null).
bool load();
// The flip books the player plays by fixed name, besides those "EntityPlayer" names.
i32 fixedFlipBookCount();
const char* fixedFlipBook(i32 iIndex);
}  // namespace PlayerScript

// The checked "EntityPlayer" script, or null.
extern ClDScriptData2* g_pEntityPlayerScript;

// Globals of the player (zero at start, main thread only).
extern i32 g_bSkipStateStep;
extern i32 g_aiPunchVariant[3];  // high, low, uppercut: 0, 1 or 2; never reset, so combos continue across levels
extern i32 g_bLeftPunchVariant;
extern f32 g_fWeedWhackerHitCooldown;

// The specials' effect objects, alive only while their special runs.
extern SBoltSprite g_boltSprites[NUM_E_BOLT_SPRITE];
extern ClDynamicVector<ClTexAnimObj> g_boltHitEffects;
extern ClDynamicVector<SEffectPoint> g_boltHitPoints;
extern ClDynamicVector<ClTexAnimObj> g_ninjaClones;
extern ClDynamicVector<SEffectPoint> g_ninjaClonePoints;
extern ClDynamicVector<f32> g_ninjaCloneAngles;
extern ClDynamicVector<ClTexAnimObj> g_dragonEmbers;
extern ClDynamicVector<SEffectPoint> g_dragonEmberPoints;
