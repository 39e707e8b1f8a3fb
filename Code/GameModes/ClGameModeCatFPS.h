// The bonus stage (mode 3): a first-person shooting gallery looking down a street from a vehicle that drives into
// it. The street and its scenery come towards the camera, 500 enemies run about on it and two guns fire on their
// own; the player only aims. 22 seconds of play, a 6 second fade to white, then the video "Final" and the front
// end's results for the stage ("CatResults").
//
// World: x to the right, y up (the street at y = 0), z towards the camera, which stands near z = 0 looking
// towards negative z. Everything is drawn as flat world-space quads of the sprite manager (nine passes a frame,
// ClGameModeCatFPSDraw.cpp); the street is laid in blocks of 38 rows (ClGameModeCatFPSStreet.cpp); blood drops
// and gibs fly from every hit (ClGameModeCatFPSGore.cpp).
//
// Every random draw comes from the engine's one generator in a fixed order, so a seed replays a run. Parallel
// vectors of one family always have the same length; removal shifts the later elements down. Main thread only;
// the render worker reads the camera during the hand-over at the end of the tick, while this thread waits.
#pragma once

#include "Code/GameModes/ClGameMode.h"
#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Camera/ClCamera.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

struct SAtlasEntry;
class ClFlipBook;

// m_daEnemyState.
enum E_CATFPS_ENEMY_STATE : i32 {
  E_CATFPS_ENEMY_RUNNING = 0,
  E_CATFPS_ENEMY_HIT = 1,
  E_CATFPS_ENEMY_DEAD = 2,
};

inline constexpr i32 gc_iCATFPS_NUM_ENEMIES = 500;
inline constexpr i32 gc_iCATFPS_NUM_KINDS = 15;
inline constexpr i32 gc_iCATFPS_STREET_ROWS = 38;
inline constexpr f32 gc_fCATFPS_BLOCK_SPACING = 303.0f;
inline constexpr f32 gc_fCATFPS_PLAY_TIME = 22.0f;
inline constexpr f32 gc_fCATFPS_ENDING_TIME = 6.0f;
inline constexpr f32 gc_fCATFPS_BULLET_SPEED = 100.0f;
inline constexpr f32 gc_fCATFPS_GORE_GRAVITY = 9.81f * 4.0f;
inline constexpr f32 gc_fCATFPS_GROUND_Y = 0.1f;

// The flip books of an enemy kind: running, shot, cut down at close range, dead (null: none started, the shot
// animation is final).
struct SCatFPSKindAnims {
  const char* pRunning;
  const char* pShot;
  const char* pClose;
  const char* pDead;
};
extern const SCatFPSKindAnims gc_aCatFPSKinds[gc_iCATFPS_NUM_KINDS];

// The kind of a choice below 36: residues 26 and 32 give kind 0, so kinds 5 and 11 never appear.
i32 catFPSKindOfChoice(i32 iChoice);

// A colour word from four components in 0..1, the first in the highest byte: each times 255 truncated, no masking
// (components outside 0..1 bleed into their neighbours). Written to *pOut, whose address is returned.
u32* packColor(u32* pOut, f32 c1, f32 c2, f32 c3, f32 c4);

class ClGameModeCatFPS : public ClGameMode {
 public:
  ClGameModeCatFPS();

  i32 enter(i32 iPreviousMode) override;
  i32 tick(f32 fDT) override;
  i32 exit() override;

  // One block of 38 rows from fStartDepth away from the camera; every piece's atlas entry must exist.
  void layStreet(f32 fStartDepth);
  // A burst of drops and gibs from the enemy (after its hit animation started).
  void spawnBloodAndGibs(i32 iEnemy);
  void updateBloodDrops(f32 fDT);
  void updateGibs(f32 fDT);

  // The running enemy a bullet hits this frame: within its step (bullet z > enemy z > bullet z + dir z x dt x
  // 100), less than 2 sideways, the greatest z among those; -1 for none.
  i32 findBulletTarget(i32 iBullet, f32 fDT) const;
  // Tick steps 7 to 16: aim, guns, bullets, hits, enemies, gore and street, by dt seconds (0 while paused).
  void simulate(f32 fDT);

  // The nine passes, in drawing order.
  void drawForeground();
  void drawBullets();
  void drawEnemies();
  void drawBloodDrops();
  void drawGibs();
  void drawCrosshair();
  void drawStandingPieces();
  void drawGroundTiles();
  void drawScenery();

  u32 m_bLeaveForResults = 0;
  // Enemies cut down since the stage was entered (shot or at close range); the results after the stage show it.
  i32 m_iKills = 0;
  ClCamera m_camera;
  f32 m_fAimOffset = 0.0f;
  f32 m_fAim = 0.0f;
  f32 m_fShake = 0.0f;
  ClTexAnimObj m_gunFire;
  ClTexAnimObj m_van1AC;
  ClTexAnimObj m_van2Shutters;
  ClTexAnimObj m_van3Roof;
  ClTexAnimObj m_casingsL;
  ClTexAnimObj m_casingsR;
  u32 m_bSecondShotPending = 0;
  ClAnimator<f32> m_streetSpeed;
  f32 m_fStreetCountdown = 0.0f;
  u32 m_bFadingIn = 0;
  u32 m_bEnding = 0;
  f32 m_fPhaseTime = 0.0f;
  ClDynamicVector<kv_vector4> m_daBulletPos;
  ClDynamicVector<kv_vector4> m_daBulletDir;
  ClDynamicVector<f32> m_daEnemySpeed;
  ClDynamicVector<kv_vector4> m_daEnemyPos;
  ClDynamicVector<ClTexAnimObj> m_daEnemyAnim;
  ClDynamicVector<i32> m_daEnemyState;
  ClDynamicVector<i32> m_daEnemyKind;
  ClDynamicVector<kv_vector4> m_daDropPos;
  ClDynamicVector<kv_vector4> m_daDropVel;
  ClDynamicVector<ClTexAnimObj> m_daDropAnim;
  ClDynamicVector<const SAtlasEntry*> m_daDropSplat;
  ClDynamicVector<kv_vector4> m_daGibPos;
  ClDynamicVector<kv_vector4> m_daGibVel;
  ClDynamicVector<ClTexAnimObj> m_daGibAnim;
  ClDynamicVector<f32> m_daGibAngle;
  ClDynamicVector<kv_vector4> m_daStandingPos;
  ClDynamicVector<const SAtlasEntry*> m_daStandingEntry;
  ClDynamicVector<kv_vector4> m_daGroundPos;
  ClDynamicVector<const SAtlasEntry*> m_daGroundEntry;
  ClDynamicVector<kv_vector4> m_daSceneryPos;
  ClDynamicVector<const SAtlasEntry*> m_daSceneryEntry;
  kv_vector4 m_vViewDir = {0.0f, 0.0f, -1.0f, 0.0f};
  kv_vector4 m_vUp = {0.0f, 1.0f, 0.0f, 0.0f};
  SCueHandle m_hTurretLoop;
  SCueHandle m_hGunCue;

  // The current street speed (units per second).
  f32 streetSpeed() const { return m_streetSpeed.mp_current; }

 private:
  void createEnemy();
  void fireBullet(f32 fSideX, f32 fDirX);
  void hitEnemy(i32 iEnemy, bool bCloseRange);
  void drawIntroAndFades();
  void terminateVectors();
};

extern ClGameModeCatFPS g_gameModeCatFPS;

// The atlas entry of a stage image in "TexturesGameAtlas"; a missing one is fatal, naming it.
const SAtlasEntry* catFPSAtlasEntry(const char* pImageName);
