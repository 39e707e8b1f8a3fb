// The registry of particle systems: a lock and three fixed pools (the active systems, the systems the manager owns,
// and their transform records), and the teardown of every system still registered at shutdown. Nothing in this
// program creates, updates or draws a particle system; registerSystem and activate are how one would join.
//
// Every operation that touches the lists takes the manager's lock (re-entrant on its thread), so any thread may
// call them between initialize and terminate.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iMAX_PARTICLE_SYSTEMS = 512;

// A system's world transform (identity rotation, position zero, scale 1) and its further zeroed state.
struct SParticleTransform {
  kv_matrix mp_transform;
  kv_vector3 mp_vScale = {1.0f, 1.0f, 1.0f};
  u8 mp_aState[48] = {};
  u32 mp_auiWords[2] = {};
};

// What the manager knows of a particle system: it is destroyed through its virtual destructor after release().
// Systems are made with KvAlignedAlloc and placement new; the manager frees them.
class ClParticleSystem {
 public:
  virtual ~ClParticleSystem() = default;
  virtual void update(f32 /*fSeconds*/) {}
  // Called before the destructor when the manager tears the system down.
  virtual void release() {}

  SParticleTransform* mp_pTransform = nullptr;
  u32 mp_bHasTransform = 0;
};

class ClParticleMgr {
 public:
  // Asserts "ClMutexLock::g_bInitialized" and takes the lock from the pool (fatal when none is free).
  static void initialize();
  // Under the lock, from the last registered system to the first: deactivated, its transform record freed,
  // released, destroyed and freed; then the lock goes back to the pool. Without a lock (never initialised, or
  // terminated before) it does nothing.
  static void terminate();
  // The manager owns the system from now on; with bWithTransform it gets a transform record.
  static void registerSystem(ClParticleSystem* pSystem, bool bWithTransform);
  static void activate(ClParticleSystem* pSystem);
  // Removes the system from the active list when it is there.
  static void deactivate(ClParticleSystem* pSystem);

  static ClPool<ClParticleSystem*, gc_iMAX_PARTICLE_SYSTEMS> mp_activeList;
  static ClPool<ClParticleSystem*, gc_iMAX_PARTICLE_SYSTEMS> mp_systemList;
  static ClPool<SParticleTransform, gc_iMAX_PARTICLE_SYSTEMS> mp_transformPool;
  static ClMutexLock mp_lock;
};
