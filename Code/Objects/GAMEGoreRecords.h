// The short-lived effect records that enemy hits and explosions append: rings, sparks and blood drops. The gore
// effects advance, draw and remove them each frame; here they are only made. Positions in world units (rings
// relative to the camera), times in seconds. Main thread only.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/System/KvTypes.h"

struct SAtlasEntry;

struct SEnemyActionFx {
  f32 m_afRadii[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // inner start, outer start, inner end, outer end
  u32 m_uiInnerColor = 0;
  u32 m_uiOuterColor = 0;
  f32 m_fLifetime = 0.0f;
  f32 m_vPosition[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vVelocity[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vAcceleration[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_fAge = 0.0f;
};

struct SSparkAnim {
  ClTexAnimObj m_anim;
  f32 m_vPosition[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vVelocity[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vAcceleration[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_fAge = 0.0f;
};

struct SBloodSplat {
  ClTexAnimObj m_anim;
  const SAtlasEntry* mp_pDecal = nullptr;
  i32 m_iSize = 1;
  f32 m_fLifetime = 0.0f;
  f32 m_fAge = 0.0f;
  f32 m_vPosition[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vVelocity[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vAcceleration[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  i32 m_bLanded = 0;
  i32 m_bOrange = 0;
};

extern ClDynamicVector<SEnemyActionFx> g_enemyActionFx;
extern ClDynamicVector<SSparkAnim> g_sparkAnims;
extern ClDynamicVector<SBloodSplat> g_bloodSplats;

namespace GoreRecords {
// The three empty vectors (room for 8, doubling).
void initialize();
// Frees every record and the vectors; nothing happens when they were not made.
void terminate();
}  // namespace GoreRecords
