// The base of every object of a running level (player, enemies and their projectiles, star enemies, pickups),
// and the level's entity list.
//
// An entity owns its position (x along the road, y the lane's line on screen, z the body's height, added to y
// when drawn; world units), its lane, two animation objects (the body and an effect laid over it) and the flags
// the level passes read. Subclasses add behaviour through the virtual operations. g_entityList owns every live
// entity; EntityList runs the per-frame passes:
//   update: index 0 up while below the count, re-read before each call, so an entity appended during the pass is
//           updated in the same pass;
//   removal: an entity that set gone is cleared, destroyed and freed, the last entry moves into its place and
//           the place is tested again (the order is not stable);
//   draw: each entity with its list index, which orders equal depths.
// Entities are allocated 16-byte aligned (EntityList::create) and freed only by the removal pass or destroyAll.
// Main thread only.
#pragma once

#include <new>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvTypes.h"

enum E_ENTITY_KIND : i32 {
  E_ENTITY_KIND_PLAYER = 0,
  E_ENTITY_KIND_ENEMY = 1,
  E_ENTITY_KIND_STAR_ENEMY = 2,
  E_ENTITY_KIND_PICKUP = 3,
};

inline constexpr f32 gc_afLANE_LINES[3] = {115.0f, 157.0f, 200.0f};
inline constexpr f32 gc_fENTITY_HIT_RADIUS_SQ = 256.0f;

// The lane line of a lane: 0 and 1 their own, any other value the last.
inline f32 KvLaneLine(i32 iLane) { return iLane == 0 ? 115.0f : (iLane == 1 ? 157.0f : 200.0f); }

class ClEntity {
 public:
  ClEntity() = default;
  ClEntity(const ClEntity&) = delete;
  ClEntity& operator=(const ClEntity&) = delete;
  virtual ~ClEntity() = default;

  // Copies the position, kind, value and lane; clears gone and star; hit radius squared 256.
  virtual void initialize(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iKind, i32 iValue, i32 iLane);
  // Empties both animators' queues.
  virtual void clear();
  // Ticks the body's then the effect's animator on the gameplay clock.
  virtual void update();
  // Draws the body's current frame (see ClEntity.cpp); asserts that the body has a flip book.
  virtual void draw(u32 uiOrderIndex);

  // The drop shadow under (x, y), ignoring z: size 1 tiny, 2 small, 3 medium, anything else large.
  void drawShadow(i32 iSize) const;
  // The body's shader by the star flag and the kind.
  u32 bodyShaderHash() const;

  alignas(16) f32 m_vPosition[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  i32 m_eKind = E_ENTITY_KIND_ENEMY;
  i32 m_iValue = 0;
  ClTexAnimObj m_mainAnim;
  i32 m_bGone = 0;
  i32 m_iLane = 0;
  i32 m_bStar = 0;
  f32 m_fHitRadiusSq = gc_fENTITY_HIT_RADIUS_SQ;
  ClTexAnimObj m_effectAnim;
};

extern ClDynamicVector<ClEntity*> g_entityList;

namespace EntityList {
// The empty list with room for 8 (the level reset).
void initialize();
bool isInitialized();
// Appends an owning pointer.
void add(ClEntity* pEntity);
void updatePass();
void removalPass();
void drawPass();
// Clears, destroys and frees every entity and terminates the list.
void destroyAll();

// A new entity of type T, 16-byte aligned, owned by whoever appends it.
template <typename T, typename... Args>
T* create(Args&&... args) {
  void* pMemory = KvAlignedAlloc(sizeof(T), 16);
  return new (pMemory) T(static_cast<Args&&>(args)...);
}
// Clears, destroys and frees one entity that is in no list.
void destroy(ClEntity* pEntity);
}  // namespace EntityList
