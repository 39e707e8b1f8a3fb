// The short-lived effect records of combat: floating score texts, rings, sparks, blood drops and gibs, each kind
// in one global vector that owns its records by value (removal moves the last record into the freed slot, so
// order is not kept). Gameplay code appends; the gore effects (GAMEGoreFx.h) advance, draw and remove them each
// frame. Positions in world units (texts and rings relative to the camera), times in seconds. Main thread only.
#pragma once

#include <utility>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/String.h"
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

// A body piece: flies, spins until its first landing, bounces and comes to rest. Fire and magic pieces trail a
// looping animation in the air and play their landing burst once.
struct SGib {
  ClTexAnimObj m_bodyAnim;
  ClTexAnimObj m_trailAnim;
  f32 m_vPosition[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vVelocity[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vAcceleration[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_fAge = 0.0f;
  f32 m_fSpinRate = 0.0f;  // radians per second
  f32 m_fSpinTime = 0.0f;  // seconds until the first landing
  i32 m_iBounces = 0;
  i32 m_bBurstPlayed = 0;
  i32 m_bMagic = 0;
};

// A score text hanging in screen space (position relative to the camera). The five draw parameters are the UI's
// text-draw arguments: layer, point size, screen-alignment flags (left | top), anchor flags (centre | middle) and
// line alignment (centre); the scale pair is the outline's offset in pixels.
struct SFloatingText {
  StringW m_text;
  String m_fontFamily;
  String m_shader;
  u16 m_uLayer = 2000;
  u32 m_uiPointSize = 20;
  i32 m_iRepeatCount = 1;
  u32 m_uiScreenFlags = 9;
  u32 m_uiAnchorFlags = 18;
  u32 m_uiAlignment = 2;
  u32 m_uiColorA = 0xFFFFFFFF;
  u32 m_uiColorB = 0xFFFFFFFF;
  f32 m_afScale[2] = {1.0f, 1.0f};
  u32 m_uiOutlineColor = 0xFF000000;
  f32 m_vPosition[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vVelocity[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_vAcceleration[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_fLifetime = 0.0f;
  f32 m_fAge = 0.0f;
};

extern ClDynamicVector<SFloatingText> g_floatingTexts;
extern ClDynamicVector<SEnemyActionFx> g_enemyActionFx;
extern ClDynamicVector<SSparkAnim> g_sparkAnims;
extern ClDynamicVector<SBloodSplat> g_bloodSplats;
extern ClDynamicVector<SGib> g_gibs;

namespace GoreRecords {
// The five empty vectors (room for 8, doubling), in the order texts, rings, blood, sparks, gibs.
void initialize();
// Frees every record and the vectors; a vector that was not made is skipped.
void terminate();
}  // namespace GoreRecords

// Removes every record the predicate accepts by moving the last record into its slot and testing that slot again;
// constant time a removal, order not kept.
template <typename T, typename Pred>
void KvRemoveRecordsWhere(ClDynamicVector<T>& records, Pred isDone) {
  i32 i = 0;
  while (i < records.getCount()) {
    if (!isDone(records[i])) {
      ++i;
      continue;
    }
    const i32 iLast = records.getCount() - 1;
    if (i != iLast) {
      records[i] = std::move(records[iLast]);
    }
    records.erase(iLast);
  }
}
