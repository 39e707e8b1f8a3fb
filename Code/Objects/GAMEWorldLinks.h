// What the world's enemies and backgrounds reach outside themselves, gathered in one place: the run state, the
// camera, the player and the services (the player factory, gore, floating texts, cues and voice-overs, the store)
// that the game plugs in, so that the world also runs headless (tests, benchmarks) with none of them.
//
// - Run state: the score and kill counters, the shake time and the cue budget are plain globals (main thread).
// - The camera: g_fWorldCameraX is the x of the Action mode's camera position, in world units.
// - The player: g_pPlayer points at the player entity or is null; ClWorldPlayer holds exactly the fields and the
//   three reactions that enemies read and call.
// - Services: one hook object (ClWorldServices) set at start-up by the game; every call the world makes into the
//   game's other systems goes through it. Until one is set, WorldServices::get answers a stand-in that counts the
//   calls it could not pass on (WorldServices::unhandledCalls) and reads every option as off.
#pragma once

#include "Code/Objects/ClEntity.h"
#include "Code/System/GAMEGameTypes.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/System/KvTypes.h"

// Run state (score, multiplier, kill streak and the rest), zeroed by WorldRunState::reset.
extern i32 g_iScore;
extern f32 g_fMultiplier;
extern i32 g_iKillStreak;
extern f32 g_fTimeSinceKill;
extern i32 g_bCrateDue;
extern f32 g_fShakeTime;
extern i32 g_iMagicKind;  // 0 bolt, 1 ninja, 2 dragon
extern i32 g_bResultsShown;
extern i32 g_bLevelWon;
extern i32 g_bFadeOut;
// The rest of one run's state: the game type (E_GAME_TYPE), the level position, the time left, the carried
// health and weapon, the meters and charges, the banners and crates.
extern i32 g_iGameType;
extern i32 g_iChapter;
extern i32 g_iLevel;
extern i32 g_iWave;
extern i32 g_iDay;
extern f32 g_fTimeLeft;
extern f32 g_fStarCooldown;
extern i32 g_iPlayerHealth;
extern f32 g_fDisplayedScore;
extern f32 g_fLastMultiplier;
extern f32 g_fSuperMeter;
extern f32 g_fPrevSuperMeter;
extern i32 g_iSuperWeaponKind;  // 0 chainsaw, 1 crossbow, 2 T-shirt cannon
extern i32 g_iMagicCharges;
extern i32 g_iDefaultMagicKind;
extern f32 g_fShakeClock;
extern u32 g_uiMessageId;
extern f32 g_fMessageTime;
extern f32 g_fPowerReadyTime;
extern i32 g_bCratePending;
extern i32 g_bWeaponCrateNext;
extern i32 g_iCarriedWeaponKind;
extern f32 g_fCarriedWeaponTime;
// The survivor crate banner: shown while the time is above 0 (4.0 s when a crate is earned).
extern i32 g_bCrateBanner;
extern f32 g_fCrateBannerTime;
// 1 exactly while a magic special runs; the level holds gameplay time still meanwhile.
extern i32 g_bMagicFreeze;

// The run statistics, one block in this order (the results screen reads it whole); all cleared at a fresh start.
struct SRunStatistics {
  i32 m_iResultsWord;     // the results screen's own word: nothing in the world writes it
  i32 m_iEnemiesKilled;   // enemies killed in the run (obstacles and projectiles not counted)
  i32 m_iBestStreak;      // best kill streak of the run
  i32 m_iPlayerDistance;  // the player's x truncated toward zero, written by every player update
  i32 m_iSpare;
};
static_assert(sizeof(SRunStatistics) == 5 * sizeof(i32));
extern SRunStatistics g_runStatistics;
// The block's fields under the names the world uses.
extern i32& g_iEnemiesKilled;
extern i32& g_iBestStreak;
extern i32& g_iPlayerDistance;

// The camera's position in world units: x along the road (never below 0 while it follows the player), y the
// shake's vertical offset.
extern f32 g_fWorldCameraX;
extern f32 g_fWorldCameraY;
// Cues started by enemy actions in this Action tick; the Action mode zeroes it at the start of each tick.
extern i32 g_iEnemyCueBudgetUsed;
inline constexpr i32 gc_iENEMY_CUE_BUDGET = 3;

namespace WorldRunState {
// Every run global back to its initial value (score 0, multiplier 1, health 3, one magic charge, counters and
// flags 0, camera at 0, budget unused).
void reset();
// True (and the budget counts it) while fewer than gc_iENEMY_CUE_BUDGET cues were started this tick.
bool takeCue();
}  // namespace WorldRunState

// The player's states; 5 to 7 are the power states (super weapons), 10 to 12 the magic specials.
enum E_PLAYER_STATE : i32 {
  E_PLAYER_STATE_RUNNING = 0,
  E_PLAYER_STATE_HIGH_PUNCH = 1,
  E_PLAYER_STATE_LOW_PUNCH = 2,
  E_PLAYER_STATE_UPPERCUT = 3,
  E_PLAYER_STATE_HIT = 4,
  E_PLAYER_STATE_CHAINSAW = 5,
  E_PLAYER_STATE_CROSSBOW = 6,
  E_PLAYER_STATE_TSHIRT_CANNON = 7,
  E_PLAYER_STATE_LEFT_PUNCH = 8,
  E_PLAYER_STATE_DEATH = 9,
  E_PLAYER_STATE_BOLT = 10,
  E_PLAYER_STATE_NINJA = 11,
  E_PLAYER_STATE_DRAGON = 12,
  E_PLAYER_STATE_LEVEL_END = 13,
  NUM_E_PLAYER_STATE
};

// The super-weapon states (5 to 7): they double the multiplier and light the star shaders.
inline bool KvIsPowerState(i32 eState) { return eState >= E_PLAYER_STATE_CHAINSAW && eState <= E_PLAYER_STATE_TSHIRT_CANNON; }

enum E_PLAYER_WEAPON : i32 {
  E_PLAYER_WEAPON_NONE = 0,
  E_PLAYER_WEAPON_SLEDGEHAMMER = 1,
  E_PLAYER_WEAPON_MACHETE = 2,
  E_PLAYER_WEAPON_AXE = 3,
  NUM_E_PLAYER_WEAPON
};

// The player as the world sees it (kind 0). The player entity derives from it and fills the fields; the
// reactions are its own: the three that enemies call and the weapon take that the weapon pickups call.
class ClWorldPlayer : public ClEntity {
 public:
  virtual void takeDamage() = 0;
  virtual void takeDamageNoReaction() = 0;
  virtual void setRunningOrDeath() = 0;
  // Takes a melee weapon (sledgehammer, machete or axe); bKeepCharge 0 starts the weapon's full charge.
  virtual void takeMeleeWeapon(E_PLAYER_WEAPON eWeapon, i32 bKeepCharge) = 0;
  // The run out of a won level (the level manager starts it).
  virtual void startLevelEndRun() = 0;

  i32 m_eState = 0;
  i32 m_eWeapon = E_PLAYER_WEAPON_NONE;
  f32 m_fReach = 0.0f;
  i32 m_bHittable = 1;
  f32 m_fGraceTime = 0.0f;
  i32 m_bReplaced = 0;
  i32 m_iHitAllFrames = 0;
  i32 m_iHitPoints = 3;
  f32 m_fWeaponLeft = 0.0f;
  // Level flags the end-of-level achievements read.
  i32 m_bNotHitThisLevel = 1;
  i32 m_bNoKillThisLevel = 1;
  i32 m_bNoLaneChangeThisLevel = 1;
  i32 m_bNoTargetMarkerThisLevel = 1;
  i32 m_iProjectileKills = 0;
  i32 m_iSpecialKills = 0;
  i32 m_iSledgehammerKills = 0;
};
extern ClWorldPlayer* g_pPlayer;

// Calls from the world into the game's other systems. Names are data-script names; positions are world units.
class ClWorldServices {
 public:
  virtual ~ClWorldServices() = default;
  virtual void playCue(u32 uiCueNameHash) = 0;
  // The spawn manager's limited cue player.
  virtual void playLimitedCue(u32 uiCueNameHash) = 0;
  virtual void playVoiceOver(i32 iCategory) = 0;
  virtual void addFloatingText(const char* pText, f32 fX, f32 fY, f32 fZ, i32 iPoints, bool bStacked) = 0;
  virtual void spawnGibs(i32 iStyle, i32 iClass, f32 fX, f32 fY, f32 fZ, f32 fWidth, f32 fHeight) = 0;
  virtual void startSlowMotion() = 0;
  // A pickup (its own set-up) at the position and lane, then its x := fSourceX; appended to the list.
  virtual void spawnPickup(const char* pName, const f32* pPosition, i32 iLane, f32 fSourceX) = 0;
  // Sets a store achievement by its API name; answers false when the store's statistics are not available.
  virtual bool setAchievement(const char* pApiName) = 0;
  virtual bool ultraGibOption() = 0;
  virtual bool targetMarkerOption() = 0;
  // The in-game music overlay: the melee weapon's loop and the super weapon's stinger.
  virtual void playSuperWeaponLoop() = 0;
  virtual void stopSuperWeaponLoop() = 0;
  virtual void playPowerUpStinger() = 0;
  virtual void stopPowerUpStinger() = 0;
  // A cue held by the caller (a loop): the handle, or the null handle when none could start.
  virtual SCueHandle createHeldCue(u32 uiCueNameHash) = 0;
  // Stops a held cue at once; a null or stale handle is ignored.
  virtual void stopHeldCue(const SCueHandle& handle) = 0;
  // The player factory: a new player entity (allocated with EntityList::create, owned by the caller), reset at
  // the position (x, y, z, w) with the keep-state flag (1 keeps the carried weapon and health of the last level
  // or wave). Null when no player can be made.
  virtual ClWorldPlayer* createPlayer(const f32* pPosition, i32 bKeepState) = 0;
};

namespace WorldServices {
// The hook object (borrowed), or null to go back to the counting recorder.
void set(ClWorldServices* pServices);
ClWorldServices& get();
// Calls made while no hook object was set.
i32 unhandledCalls();
}  // namespace WorldServices
